// Inside the platform layer only: the window code's SDL window, which the
// presenting code draws into. The game never sees SDL's types.
#pragma once

struct SDL_Window;
// The main window; nullptr before it exists or headless.
SDL_Window* sdlMainWindow();
