// Presenting on SDL2, into the window's own surface: no GL context, no
// allocation and no vsync wait per frame, and on X11 the surface goes out
// through shared memory. The picture is scaled by whole numbers here: each
// changed span of a canvas row is looked up once in a table of the window's
// pixel values, widened, and copied down; rows and columns that did not
// change since the window last got them cost a comparison and nothing else.
#include "platform/video.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/sdl_window.h"
#include "platform/window_fit.h"

namespace {

const uint8_t* canvasPixels = nullptr;
int canvasWidth = 0;
int canvasHeight = 0;
bool videoReady = false;
std::string videoError;

// Windowed.
SDL_Surface* indexedCanvas = nullptr;  // wraps the canvas and its colours, for SDL's own blits
const SDL_Surface* lastTarget = nullptr;  // the window surface of the last present
int lastTargetWidth = 0, lastTargetHeight = 0;
uint32_t lastTargetFormat = 0;
PictureFit fit;
uint32_t mapped[256];  // the colour table in the window surface's pixel values
// The canvas as the window holds it; when not valid, the next present sends
// the whole picture, whatever rectangle it is given.
std::vector<uint8_t> shown;
bool shownValid = false;
std::vector<SDL_Rect> updates;

// Headless.
uint32_t headlessColours[256];
std::vector<uint32_t> headlessPicture;

void mapColours(const SDL_PixelFormat* format) {
  const SDL_Palette* palette = indexedCanvas->format->palette;
  for (int i = 0; i < 256; ++i) {
    const SDL_Color& c = palette->colors[i];
    mapped[i] = SDL_MapRGB(format, c.r, c.g, c.b);
  }
}

// SDL makes a new window surface when the window's size changes; it starts
// blank, so the bars are painted and the whole picture goes in again.
void adoptTarget(SDL_Surface* target) {
  lastTarget = target;
  lastTargetWidth = target->w;
  lastTargetHeight = target->h;
  lastTargetFormat = target->format->format;
  fit = fitPicture(target->w, target->h, canvasWidth, canvasHeight);
  mapColours(target->format);
  SDL_FillRect(target, nullptr, SDL_MapRGB(target->format, 0, 0, 0));
  shownValid = false;
}

// Window formats other than 32-bit, and windows smaller than the picture,
// are left to SDL's general scaled blit, which converts and cuts as it goes.
void presentThroughSdl(SDL_Window* window, SDL_Surface* target, const SDL_Rect& area, bool whole) {
  SDL_Rect place{fit.x + area.x * fit.scale, fit.y + area.y * fit.scale, area.w * fit.scale,
                 area.h * fit.scale};
  SDL_Rect source = area;
  if (SDL_BlitScaled(indexedCanvas, &source, target, &place) != 0) return;
  if (whole) {
    SDL_UpdateWindowSurface(window);
  } else {
    const SDL_Rect all{0, 0, target->w, target->h};
    SDL_Rect visible;
    if (SDL_IntersectRect(&place, &all, &visible)) SDL_UpdateWindowSurfaceRects(window, &visible, 1);
  }
}

// The first and one past the last place where two rows differ, in [from, to),
// which must hold a difference: eight bytes at a time, then byte by byte.
int firstDifference(const uint8_t* a, const uint8_t* b, int from, int to) {
  for (uint64_t x, y; from + 8 <= to; from += 8) {
    std::memcpy(&x, a + from, 8);
    std::memcpy(&y, b + from, 8);
    if (x != y) break;
  }
  while (a[from] == b[from]) ++from;
  return from;
}

int endOfDifference(const uint8_t* a, const uint8_t* b, int from, int to) {
  for (uint64_t x, y; to - 8 >= from; to -= 8) {
    std::memcpy(&x, a + to - 8, 8);
    std::memcpy(&y, b + to - 8, 8);
    if (x != y) break;
  }
  while (a[to - 1] == b[to - 1]) --to;
  return to;
}

void addUpdate(int top, int bottom, int left, int right) {
  updates.push_back(SDL_Rect{fit.x + left * fit.scale, fit.y + top * fit.scale, (right - left) * fit.scale,
                             (bottom - top) * fit.scale});
}

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
  shown.assign(static_cast<size_t>(width) * height, 0);
  shownValid = false;
  if (sysIsHeadless()) {
    headlessPicture.assign(static_cast<size_t>(width) * height, 0);
    std::fill(std::begin(headlessColours), std::end(headlessColours), 0);
    videoReady = true;
    return true;
  }

  SDL_Window* window = sdlMainWindow();
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
    shownValid = false;  // every pixel's colour may have changed
    return;
  }
  SDL_Color entries[256];
  for (int i = 0; i < 256; ++i)
    entries[i] = SDL_Color{colours[i][0], colours[i][1], colours[i][2], 255};
  SDL_SetPaletteColors(indexedCanvas->format->palette, entries, 0, 256);
  // The next present takes the new colours wherever it looks.
  lastTarget = nullptr;
}

namespace {
// The rows of [y0, y1) that differ from what was last shown, each with the
// span [left, right) where it differs (the whole row when nothing is known
// of what is shown), in order; `shown` takes the spans over as they go.
template <typename Row>
void forEachChangedRow(int x0, int y0, int x1, int y1, Row row) {
  const bool whole = !shownValid;
  for (int r = y0; r < y1; ++r) {
    const uint8_t* now = canvasPixels + static_cast<size_t>(r) * canvasWidth;
    uint8_t* was = shown.data() + static_cast<size_t>(r) * canvasWidth;
    int left = x0, right = x1;
    if (!whole) {
      if (std::memcmp(now + x0, was + x0, static_cast<size_t>(x1 - x0)) == 0) {
        row(r, -1, -1);
        continue;
      }
      left = firstDifference(now, was, x0, x1);
      right = endOfDifference(now, was, left, x1);
    }
    row(r, left, right);
    std::memcpy(was + left, now + left, static_cast<size_t>(right - left));
  }
  shownValid = true;
}

void presentHeadless(int x0, int y0, int x1, int y1) {
  forEachChangedRow(x0, y0, x1, y1, [](int row, int left, int right) {
    const uint8_t* src = canvasPixels + static_cast<size_t>(row) * canvasWidth;
    uint32_t* dst = headlessPicture.data() + static_cast<size_t>(row) * canvasWidth;
    for (int col = left; col < right; ++col) dst[col] = headlessColours[src[col]];
  });
}
}  // namespace

// Only the rows that changed since the window last got them are looked at
// further, and of each only the span between its first and last change: on
// the title and in still scenes most presents change a cursor's worth of
// rows or nothing at all, and every row not sent is work saved for the
// window system as well.
void sysPresent(int x, int y, int width, int height) {
  if (!videoReady) return;
  int x0 = std::max(x, 0), y0 = std::max(y, 0);
  int x1 = std::min(static_cast<long long>(x) + width, static_cast<long long>(canvasWidth));
  int y1 = std::min(static_cast<long long>(y) + height, static_cast<long long>(canvasHeight));
  if (x0 >= x1 || y0 >= y1) return;
  if (!indexedCanvas) {
    presentHeadless(x0, y0, x1, y1);
    return;
  }

  SDL_Window* window = sdlMainWindow();
  SDL_Surface* target = window ? SDL_GetWindowSurface(window) : nullptr;
  if (!target) return;  // the window went away: show nothing rather than fail
  if (target != lastTarget || target->w != lastTargetWidth || target->h != lastTargetHeight ||
      target->format->format != lastTargetFormat)
    adoptTarget(target);
  const bool whole = !shownValid;
  if (whole) {
    x0 = y0 = 0;
    x1 = canvasWidth;
    y1 = canvasHeight;
  }
  if (target->format->BytesPerPixel != 4 || fit.x + fit.width > target->w || fit.y + fit.height > target->h) {
    // SDL's own blit takes the band from the first to the last changed row.
    int top = -1, bottom = -1;
    forEachChangedRow(x0, y0, x1, y1, [&](int row, int left, int) {
      if (left < 0) return;
      if (top < 0) top = row;
      bottom = row + 1;
    });
    if (top >= 0) presentThroughSdl(window, target, SDL_Rect{x0, top, x1 - x0, bottom - top}, whole);
    return;
  }

  const long pitch = target->pitch / 4;
  uint32_t* picture = static_cast<uint32_t*>(target->pixels) + static_cast<long>(fit.y) * pitch + fit.x;
  // Changed rows that follow each other go out as one rectangle, as wide as
  // the widest of their changed spans: few rectangles, little left over.
  updates.clear();
  int runTop = -1, runLeft = 0, runRight = 0;
  forEachChangedRow(x0, y0, x1, y1, [&](int row, int left, int right) {
    if (left < 0) {
      if (runTop >= 0) addUpdate(runTop, row, runLeft, runRight);
      runTop = -1;
      return;
    }
    scaleCanvasRect(canvasPixels, canvasWidth, left, row, right - left, 1, mapped, fit.scale, picture, pitch);
    if (runTop < 0) {
      runTop = row;
      runLeft = left;
      runRight = right;
    } else {
      runLeft = std::min(runLeft, left);
      runRight = std::max(runRight, right);
    }
  });
  if (runTop >= 0) addUpdate(runTop, y1, runLeft, runRight);
  if (whole) {
    SDL_UpdateWindowSurface(window);
  } else if (!updates.empty()) {
    SDL_UpdateWindowSurfaceRects(window, updates.data(), static_cast<int>(updates.size()));
  }
}

void sysWindowExposed() { shownValid = false; }

bool sysReadWindowPicture(std::vector<uint32_t>* pixels, int* width, int* height) {
  SDL_Window* window = sdlMainWindow();
  SDL_Surface* target = window ? SDL_GetWindowSurface(window) : nullptr;
  if (!target || !pixels) return false;
  SDL_Surface* copy = SDL_ConvertSurfaceFormat(target, SDL_PIXELFORMAT_RGB888, 0);
  if (!copy) return false;
  pixels->resize(static_cast<size_t>(copy->w) * copy->h);
  for (int row = 0; row < copy->h; ++row) {
    const auto* src = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(copy->pixels) +
                                                        static_cast<size_t>(row) * copy->pitch);
    for (int col = 0; col < copy->w; ++col) (*pixels)[static_cast<size_t>(row) * copy->w + col] = src[col] & 0xFFFFFFu;
  }
  *width = copy->w;
  *height = copy->h;
  SDL_FreeSurface(copy);
  return true;
}

const uint32_t* sysPresentedPicture() {
  return videoReady && !indexedCanvas ? headlessPicture.data() : nullptr;
}

void sysShutdownVideo() {
  if (indexedCanvas) SDL_FreeSurface(indexedCanvas);
  indexedCanvas = nullptr;
  lastTarget = nullptr;
  shownValid = false;
  shown.clear();
  shown.shrink_to_fit();
  videoReady = false;
  canvasPixels = nullptr;
  headlessPicture.clear();
  headlessPicture.shrink_to_fit();
}
