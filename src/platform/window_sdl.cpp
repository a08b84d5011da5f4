// The window and its messages on SDL2, and the headless message queue.
#include <SDL.h>

#include <cstdio>
#include <deque>

#include "platform/platform.h"

namespace {
SDL_Window* window = nullptr;
std::deque<SysEvent> posted;  // messages the program sends itself, and headless input
bool destroyed = false;
int clientWidth = 640, clientHeight = 480;

uint32_t packPosition(int x, int y) {
  return (static_cast<uint32_t>(x) & 0xFFFFu) | ((static_cast<uint32_t>(y) & 0xFFFFu) << 16);
}

bool insideClient(int x, int y) { return x >= 0 && y >= 0 && x < clientWidth && y < clientHeight; }

uint32_t keyCode(SDL_Keycode key) {
  switch (key) {
    case SDLK_ESCAPE: return SysKeyEscape;
    case SDLK_F12: return SysKeyF12;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return SysKeyEnter;
    case SDLK_PAUSE: return SysKeyPause;
    case SDLK_UP: return SysKeyUp;
    case SDLK_DOWN: return SysKeyDown;
    case SDLK_KP_PLUS: return SysKeyKeypadPlus;
    case SDLK_KP_MINUS: return SysKeyKeypadMinus;
    default: return static_cast<uint32_t>(key) & 0xFFFFu;
  }
}

// Turns one SDL event into the window's message; false for events the game ignores.
bool translate(const SDL_Event& e, SysEvent* out) {
  switch (e.type) {
    case SDL_QUIT:
      if (destroyed) return false;
      destroyed = true;
      *out = {SysMsgDestroy, 0};
      return true;
    case SDL_WINDOWEVENT:
      if (e.window.event == SDL_WINDOWEVENT_CLOSE) {
        if (destroyed) return false;
        destroyed = true;
        *out = {SysMsgDestroy, 0};
        return true;
      }
      if (e.window.event == SDL_WINDOWEVENT_EXPOSED) {
        *out = {SysMsgPaint, 0};
        return true;
      }
      if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST) {
        *out = {SysMsgFocusLost, 0};
        return true;
      }
      return false;
    case SDL_KEYDOWN:
      *out = {SysMsgKeyDown, keyCode(e.key.keysym.sym)};
      return true;
    // Like a window without mouse capture: moves and releases outside the
    // client area never reach it, so the last position inside stays.
    case SDL_MOUSEMOTION:
      if (!insideClient(e.motion.x, e.motion.y)) return false;
      *out = {SysMsgMouseMove, packPosition(e.motion.x, e.motion.y)};
      return true;
    case SDL_MOUSEBUTTONDOWN:
      if (e.button.button != SDL_BUTTON_LEFT) return false;
      *out = {SysMsgButtonDown, packPosition(e.button.x, e.button.y)};
      return true;
    case SDL_MOUSEBUTTONUP:
      if (e.button.button != SDL_BUTTON_LEFT || !insideClient(e.button.x, e.button.y)) return false;
      *out = {SysMsgButtonUp, 0};
      return true;
    default:
      return false;
  }
}
}  // namespace

SDL_Window* sysSdlWindow() { return window; }

bool sysCreateWindow(const char* caption, int width, int height) {
  clientWidth = width;
  clientHeight = height;
  if (sysIsHeadless()) return true;
  SDL_SetHint(SDL_HINT_MOUSE_AUTO_CAPTURE, "0");
  SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
  SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
    std::fprintf(stderr, "wendlop: cannot open a window: %s\n", SDL_GetError());
    return false;
  }
  window = SDL_CreateWindow(caption, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width, height,
                            SDL_WINDOW_SHOWN);
  if (!window) {
    std::fprintf(stderr, "wendlop: cannot open a window: %s\n", SDL_GetError());
    return false;
  }
  return true;
}

void sysHidePointer() {
  if (window) SDL_ShowCursor(SDL_DISABLE);
}

bool sysPeekMessage(SysEvent* event) {
  if (!posted.empty()) {
    *event = posted.front();
    posted.pop_front();
    return true;
  }
  if (!window) return false;
  SDL_Event e;
  while (SDL_PollEvent(&e)) {
    if (translate(e, event)) return true;
  }
  return false;
}

void sysWaitMessage(uint32_t ms) {
  if (!posted.empty() || ms == 0) return;
  if (!window) {
    sysSleep(ms);
    return;
  }
  // Leaves the event in SDL's queue for sysPeekMessage.
  SDL_WaitEventTimeout(nullptr, static_cast<int>(ms));
}

void sysPostQuit(int code) { posted.push_back({SysMsgQuit, static_cast<uint32_t>(code)}); }

void sysDestroyWindow() {
  if (destroyed) return;
  destroyed = true;
  // The window disappears at once; its resources go at shut-down, after the
  // display that draws into it.
  if (window) SDL_HideWindow(window);
  posted.push_back({SysMsgDestroy, 0});
}

bool sysShiftHeld() {
  if (!window) return false;
  SDL_PumpEvents();
  return (SDL_GetModState() & KMOD_SHIFT) != 0;
}

void sysSetWindowIcon(const uint32_t* rgba, int width, int height) {
  if (!window || !rgba) return;
  SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint32_t*>(rgba), width, height, 32,
                                                         width * 4, SDL_PIXELFORMAT_RGBA32);
  if (!icon) return;
  SDL_SetWindowIcon(window, icon);
  SDL_FreeSurface(icon);
}

void sysPushMessage(int message, uint32_t param) { posted.push_back({message, param}); }

void sysShutdownWindow() {
  if (window) {
    SDL_DestroyWindow(window);
    window = nullptr;
  }
  posted.clear();
  destroyed = false;
  if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
}
