// wendlop-bench-display [--frames N] [--window [--scale N] [--fullscreen]] [--data DIR]
// Composes a full Playing frame (backdrop, 300 tiles, walker, 10 hazards,
// cursor, two status lines) with the stand-in sheets and prints microseconds
// per composed frame and per present. Headless unless --window is given, which
// presents into a real window (needs a display, e.g. Xvfb) at the given scale
// or fullscreen. Presents are timed twice: a frame whose every row changed (a
// new backdrop), and a Playing frame after the one before it, sent the way the
// game sends it (only the rows that changed). With --data the sheets are
// DIR/bmp/gamebg.bmp and DIR/bmp/test.bmp instead.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "app/shell.h"
#include "display/display.h"
#include "display/surface.h"
#include "platform/platform.h"
#include "platform/video.h"
#include "testsheets.h"
#include "world/world.h"

namespace {

void composePlayingFrame(int n) {
  drawBackdrop(1);
  drawTileLayer();
  drawWalker(walker.x, walker.y, WalkRight);
  for (int h = 0; h < 10; ++h) drawEffect((h * 67 + n) % 600, (h * 41 + n) % 440, 16);
  drawCursor(320 + n % 50, 240);
  drawText(0, 0, "STAGE 12  TIME 45");
  drawText(0, 1, "LIFE 3  STAR 2");
}

double microsecondsSince(std::chrono::steady_clock::time_point start, int count) {
  const std::chrono::duration<double, std::micro> d = std::chrono::steady_clock::now() - start;
  return d.count() / count;
}

struct PresentCost {
  double wall = 0, cpu = 0;  // microseconds per present
};

// Times `frames` presents of what `compose` draws before each; the drawing
// itself is not counted. Our own processor time beside the wall time: in a
// window part of the wall time is the X server's.
template <typename Compose>
PresentCost timePresents(int frames, Compose compose) {
  SysEvent event;
  double wall = 0, cpu = 0;
  for (int i = 0; i < frames; ++i) {
    compose(i);
    const std::clock_t cpuStart = std::clock();
    const auto start = std::chrono::steady_clock::now();
    presentFrame();
    const std::chrono::duration<double, std::micro> d = std::chrono::steady_clock::now() - start;
    wall += d.count();
    cpu += 1e6 * static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    while (sysPeekMessage(&event)) {
    }
  }
  return PresentCost{wall / frames, cpu / frames};
}

}  // namespace

int main(int argc, char** argv) {
  int frames = 2000;
  bool window = false;
  int scale = 1;
  bool fullscreen = false;
  const char* data = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--frames") == 0 && i + 1 < argc) {
      frames = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--window") == 0) {
      window = true;
    } else if (std::strcmp(argv[i], "--scale") == 0 && i + 1 < argc) {
      scale = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--fullscreen") == 0) {
      fullscreen = true;
    } else if (std::strcmp(argv[i], "--data") == 0 && i + 1 < argc) {
      data = argv[++i];
    } else {
      std::fprintf(stderr,
                   "usage: wendlop-bench-display [--frames N] [--window [--scale N] [--fullscreen]] [--data DIR]\n");
      return 2;
    }
  }
  if (frames < 1) frames = 1;
  sysSetHeadless(!window);
  sysSetWindowStart(scale, fullscreen);
  if (window && !sysCreateWindow("wendlop-bench-display", CanvasWidth, CanvasHeight)) return 1;

  if (data) {
    std::string why;
    const std::string folder(data);
    if (!loadSheet((folder + "/bmp/gamebg.bmp").c_str(), 640, 768, &SpriteSheet, &why) ||
        !loadSheet((folder + "/bmp/test.bmp").c_str(), 640, 1440, &BackdropSheet, &why)) {
      std::fprintf(stderr, "wendlop-bench-display: %s\n", why.c_str());
      return 1;
    }
    const uint32_t key = matchColour(SpriteSheet, 0x0000FF00);
    SpriteSheet.key = key == 0xFFFFFFFFu ? NoColourKey : static_cast<int>(key);
  } else {
    SpriteSheet = makeTestSpriteSheet();
    BackdropSheet = makeTestBackdropSheet();
  }
  if (!sysInitVideo(&FrameCanvas[0][0], CanvasWidth, CanvasHeight)) {
    std::fprintf(stderr, "wendlop-bench-display: %s\n", sysVideoError());
    return 1;
  }
  std::memcpy(gamePalette, BackdropSheet.colours, sizeof gamePalette);
  sysSetPalette(gamePalette);
  for (int i = 0; i < GridColumns * GridRows; ++i)
    stageMap[TileLayerOffset + i] = static_cast<uint8_t>((i * 11) % 97 + 1);
  walker.x = 0;
  walker.y = 416;
  display.drawing = true;

  for (int i = 0; i < 50; ++i) composePlayingFrame(i);  // warm the caches
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < frames; ++i) composePlayingFrame(i);
  const double compose = microsecondsSince(start, frames);

  // The window takes its size and first picture before the timing starts.
  SysEvent event;
  display.displayReady = true;
  for (int i = 0; i < 30; ++i) {
    presentFrame();
    while (sysPeekMessage(&event)) {
    }
    sysSleep(window ? 10 : 0);
  }
  const PresentCost whole = timePresents(frames, [](int i) { drawBackdrop(i % 3); });
  const PresentCost playing = timePresents(frames, composePlayingFrame);
  std::vector<uint32_t> shown;
  int shownWidth = CanvasWidth, shownHeight = CanvasHeight;
  if (window) sysReadWindowPicture(&shown, &shownWidth, &shownHeight);

  // What --screenshot-dir costs per saved frame, without the file write.
  std::vector<uint8_t> picture;
  const int pictures = frames / 20 + 1;
  start = std::chrono::steady_clock::now();
  for (int i = 0; i < pictures; ++i) encodePng8(CanvasWidth, CanvasHeight, &FrameCanvas[0][0], gamePalette, &picture);
  const double screenshot = microsecondsSince(start, pictures);

  std::printf("compose Playing frame: %8.1f us/frame (%d frames)\n", compose, frames);
  std::printf("present into %s %d x %d:\n", window ? "a window of" : "memory,", shownWidth, shownHeight);
  std::printf("  every row changed: %8.1f us/frame wall, %8.1f us/frame of our processor time\n", whole.wall,
              whole.cpu);
  std::printf("  Playing frame:     %8.1f us/frame wall, %8.1f us/frame of our processor time\n",
              playing.wall, playing.cpu);
  std::printf("screenshot PNG encode: %8.1f us/picture (%zu bytes)\n", screenshot, picture.size());
  sysShutdownVideo();
  if (window) sysShutdownWindow();
  return 0;
}
