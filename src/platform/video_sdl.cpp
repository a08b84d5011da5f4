// Presenting on SDL2: the canvas is wrapped once in an 8-bit SDL surface that
// carries the colour table, and each present blits it into the window's own
// surface. SDL converts 8-bit to the window's format through a lookup table it
// keeps between blits, and on X11 the window surface goes out through shared
// memory: no GL context, no allocation and no vsync wait per frame.
#include "platform/video.h"

#include <SDL.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace {

const uint8_t* canvasPixels = nullptr;
int canvasWidth = 0;
int canvasHeight = 0;
bool videoReady = false;
std::string videoError;

SDL_Surface* indexedCanvas = nullptr;  // windowed: wraps the canvas, owns the palette
const SDL_Surface* lastTarget = nullptr;  // the window surface of the last present
int lastTargetWidth = 0, lastTargetHeight = 0;

uint32_t headlessColours[256];
std::vector<uint32_t> headlessPicture;

}  // namespace

bool sysInitVideo(const uint8_t* canvas, int width, int height) {
  sysShutdownVideo();
  videoError.clear();
  if (!canvas || width <= 0 || height <= 0) {
    videoError = "no canvas to present";
    return false;
  }
  canvasPixels = canvas;
  canvasWidth = width;
  canvasHeight = height;
  if (sysIsHeadless()) {
    headlessPicture.assign(static_cast<size_t>(width) * height, 0);
    std::fill(std::begin(headlessColours), std::end(headlessColours), 0);
    videoReady = true;
    return true;
  }

  SDL_Window* window = sysSdlWindow();
  if (!window) {
    videoError = "there is no window to draw in";
    return false;
  }
  // Left to itself SDL backs the window surface with a GL texture; with a
  // software GL (virtual X servers, machines without a GPU driver) that costs
  // over a millisecond of processor time per present, against a tenth of that
  // for X11 shared memory. The environment variable still overrides this.
  SDL_SetHintWithPriority(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0", SDL_HINT_DEFAULT);
  if (!SDL_GetWindowSurface(window)) {
    videoError = std::string("the window gives no surface to draw in (") + SDL_GetError() + ")";
    return false;
  }
  indexedCanvas = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint8_t*>(canvas), width, height,
                                                     8, width, SDL_PIXELFORMAT_INDEX8);
  if (!indexedCanvas || !indexedCanvas->format->palette) {
    videoError = std::string("cannot make an 8-bit surface (") + SDL_GetError() + ")";
    if (indexedCanvas) SDL_FreeSurface(indexedCanvas);
    indexedCanvas = nullptr;
    return false;
  }
  SDL_SetSurfaceBlendMode(indexedCanvas, SDL_BLENDMODE_NONE);
  SDL_SetSurfaceRLE(indexedCanvas, 0);
  videoReady = true;
  return true;
}

const char* sysVideoError() { return videoError.c_str(); }

void sysSetPalette(const uint8_t colours[256][3]) {
  if (!videoReady) return;
  if (!indexedCanvas) {
    for (int i = 0; i < 256; ++i)
      headlessColours[i] = (colours[i][0] << 16) | (colours[i][1] << 8) | colours[i][2];
    return;
  }
  SDL_Color entries[256];
  for (int i = 0; i < 256; ++i)
    entries[i] = SDL_Color{colours[i][0], colours[i][1], colours[i][2], 255};
  SDL_SetPaletteColors(indexedCanvas->format->palette, entries, 0, 256);
}

void sysPresent(int x, int y, int width, int height) {
  if (!videoReady) return;
  const int x0 = std::max(x, 0), y0 = std::max(y, 0);
  const int x1 = std::min(static_cast<long long>(x) + width, static_cast<long long>(canvasWidth));
  const int y1 = std::min(static_cast<long long>(y) + height, static_cast<long long>(canvasHeight));
  if (x0 >= x1 || y0 >= y1) return;

  if (!indexedCanvas) {
    for (int row = y0; row < y1; ++row) {
      const uint8_t* src = canvasPixels + static_cast<size_t>(row) * canvasWidth;
      uint32_t* dst = headlessPicture.data() + static_cast<size_t>(row) * canvasWidth;
      for (int col = x0; col < x1; ++col) dst[col] = headlessColours[src[col]];
    }
    return;
  }

  SDL_Window* window = sysSdlWindow();
  SDL_Surface* target = window ? SDL_GetWindowSurface(window) : nullptr;
  if (!target) return;  // the window went away: show nothing rather than fail
  SDL_Rect area{x0, y0, x1 - x0, y1 - y0};
  // SDL makes a new window surface when the window's size changes (a window
  // manager may impose one); it starts blank, so it gets the whole canvas.
  if (target != lastTarget || target->w != lastTargetWidth || target->h != lastTargetHeight) {
    area = SDL_Rect{0, 0, canvasWidth, canvasHeight};
    lastTarget = target;
    lastTargetWidth = target->w;
    lastTargetHeight = target->h;
  }
  SDL_Rect place = area;
  if (SDL_BlitSurface(indexedCanvas, &area, target, &place) != 0) return;
  SDL_UpdateWindowSurfaceRects(window, &area, 1);
}

const uint32_t* sysPresentedPicture() {
  return videoReady && !indexedCanvas ? headlessPicture.data() : nullptr;
}

void sysShutdownVideo() {
  if (indexedCanvas) SDL_FreeSurface(indexedCanvas);
  indexedCanvas = nullptr;
  lastTarget = nullptr;
  videoReady = false;
  canvasPixels = nullptr;
  headlessPicture.clear();
  headlessPicture.shrink_to_fit();
}
