// Presenting into a real window surface on SDL's dummy video driver, read
// back pixel by pixel: the picture scaled by whole numbers, black bars, only
// changed rows sent, and fullscreen there and back.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/platform.h"
#include "platform/video.h"

namespace {

constexpr int W = 640, H = 480;

struct Window : ::testing::Test {
  uint8_t canvas[H][W];
  uint8_t colours[256][3];

  void SetUp() override {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    sysSetHeadless(false);
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) canvas[y][x] = static_cast<uint8_t>((x / 3) ^ (y * 5));
    for (int i = 0; i < 256; ++i) {
      colours[i][0] = static_cast<uint8_t>(i);
      colours[i][1] = static_cast<uint8_t>(255 - i);
      colours[i][2] = static_cast<uint8_t>(i * 37);
    }
  }
  void TearDown() override {
    sysShutdownVideo();
    sysShutdownWindow();
    sysSetWindowStart(0, false);
    sysSetHeadless(true);
  }

  bool open(int scale, bool fullscreen = false) {
    sysSetWindowStart(scale, fullscreen);
    if (!sysCreateWindow("wendlop window test", W, H)) return false;
    if (!sysInitVideo(&canvas[0][0], W, H)) return false;
    sysSetPalette(colours);
    return true;
  }

  uint32_t colour(int index) const {
    return (colours[index][0] << 16) | (colours[index][1] << 8) | colours[index][2];
  }

  // The window shows the canvas at `scale` from (left, top), black around it.
  void expectPicture(int scale, int left, int top, int width, int height) {
    std::vector<uint32_t> pixels;
    int w = 0, h = 0;
    ASSERT_TRUE(sysReadWindowPicture(&pixels, &w, &h));
    ASSERT_EQ(w, width);
    ASSERT_EQ(h, height);
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        const int cx = x - left, cy = y - top;
        const bool inside = cx >= 0 && cy >= 0 && cx < W * scale && cy < H * scale;
        const uint32_t want = inside ? colour(canvas[cy / scale][cx / scale]) : 0u;
        ASSERT_EQ(pixels[static_cast<size_t>(y) * w + x], want) << "pixel " << x << "," << y;
      }
    }
  }
};

TEST_F(Window, TwiceTheScaleIsEveryPixelDoubled) {
  ASSERT_TRUE(open(2));
  EXPECT_EQ(sysWindowScale(), 2);
  sysPresent(0, 0, W, H);
  expectPicture(2, 0, 0, 2 * W, 2 * H);

  // A band of changed rows, and a present of rows that did not change.
  for (int x = 100; x < 300; ++x) canvas[200][x] = static_cast<uint8_t>(canvas[200][x] + 1);
  canvas[201][639] = static_cast<uint8_t>(canvas[201][639] + 9);
  canvas[250][0] = static_cast<uint8_t>(canvas[250][0] + 3);
  sysPresent(0, 200, W, 51);
  expectPicture(2, 0, 0, 2 * W, 2 * H);
  sysPresent(0, 0, W, H);
  expectPicture(2, 0, 0, 2 * W, 2 * H);

  // New colours reach every pixel, whatever the next present is given.
  for (int i = 0; i < 256; ++i) colours[i][2] = static_cast<uint8_t>(255 - i);
  sysSetPalette(colours);
  sysPresent(0, 10, W, 1);
  expectPicture(2, 0, 0, 2 * W, 2 * H);

  // After the window system lost the picture, a present sends it all again.
  sysWindowExposed();
  sysPresent(0, 0, 1, 1);
  expectPicture(2, 0, 0, 2 * W, 2 * H);
}

TEST_F(Window, OtherScales) {
  for (int scale : {1, 3}) {
    SCOPED_TRACE(scale);
    ASSERT_TRUE(open(scale));
    sysPresent(0, 0, W, H);
    expectPicture(scale, 0, 0, scale * W, scale * H);
    sysShutdownVideo();
    sysShutdownWindow();
  }
}

// The dummy display is 1024 x 768: fullscreen shows the picture at 1x between
// bars, and the window comes back at its size.
TEST_F(Window, FullscreenAndBack) {
  ASSERT_TRUE(open(1));
  sysPresent(0, 0, W, H);
  sysSetFullscreen(true);
  EXPECT_TRUE(sysWindowFullscreen());
  EXPECT_EQ(sysWindowScale(), 1);
  sysPresent(0, 0, W, 1);  // the new size makes a new surface: all of it goes in
  expectPicture(1, 192, 144, 1024, 768);
  sysSetFullscreen(false);
  EXPECT_FALSE(sysWindowFullscreen());
  sysPresent(0, 0, W, 1);
  expectPicture(1, 0, 0, W, H);
}

TEST_F(Window, StartsFullscreen) {
  ASSERT_TRUE(open(1, true));
  EXPECT_TRUE(sysWindowFullscreen());
  EXPECT_EQ(sysWindowScale(), 1);
  sysPresent(0, 0, W, H);
  expectPicture(1, 192, 144, 1024, 768);
  sysSetFullscreen(false);
  sysPresent(0, 0, W, H);
  expectPicture(1, 0, 0, W, H);
}

// 2x of the dummy display's 1024 x 768 does not fit: the window opens at 1x.
TEST_F(Window, FirstSizeFitsTheDisplay) {
  ASSERT_TRUE(open(0));
  EXPECT_EQ(sysWindowScale(), 1);
}

}  // namespace
