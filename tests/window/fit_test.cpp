// The window's first size, the picture's scale and bars, pointer positions
// back into the canvas, and the scaler, as plain arithmetic.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/window_fit.h"

namespace {

constexpr int W = 640, H = 480;

int firstScale(int usableWidth, int usableHeight) {
  return firstWindowScale(usableWidth, usableHeight, FrameAllowanceWidth, FrameAllowanceHeight, W, H);
}

TEST(FirstSize, LargestMultipleThatFitsWithItsFrame) {
  EXPECT_EQ(firstScale(1920, 1080), 2);
  EXPECT_EQ(firstScale(1920, 1040), 2);  // a task bar takes 40 rows
  EXPECT_EQ(firstScale(2560, 1440), 2);  // 3x would need 1440 rows plus the title bar
  EXPECT_EQ(firstScale(2560, 1600), 3);
  EXPECT_EQ(firstScale(3840, 2160), 4);
  EXPECT_EQ(firstScale(3840, 2100), 4);
  EXPECT_EQ(firstScale(7680, 4320), 8);
  EXPECT_EQ(firstScale(15360, 8640), MaxWindowScale);
  // 2x by the height alone, but not by the width with its borders.
  EXPECT_EQ(firstScale(1280, 1024), 1);
  EXPECT_EQ(firstScale(1366, 768), 1);
  // The frame counts: exactly 2x of free room is not room for a framed 2x window.
  EXPECT_EQ(firstWindowScale(1280, 960, 0, 0, W, H), 2);
  EXPECT_EQ(firstWindowScale(1280, 960, 2, 0, W, H), 1);
  EXPECT_EQ(firstWindowScale(1280, 960, 0, 1, W, H), 1);
}

TEST(FirstSize, NeverBelowOne) {
  EXPECT_EQ(firstScale(800, 600), 1);
  EXPECT_EQ(firstScale(640, 480), 1);
  EXPECT_EQ(firstScale(320, 200), 1);
  EXPECT_EQ(firstScale(0, 0), 1);
  EXPECT_EQ(firstScale(-5, 1080), 1);
}

// --scale 8 on 1920 x 1080, a saved 2 on 1024 x 768, and what does fit.
TEST(FirstSize, AnAskedScaleIsKeptAndARememberedOneLowered) {
  auto first = [](int wanted, bool remembered, int w, int h) {
    return chooseFirstWindow(wanted, remembered, w, h, FrameAllowanceWidth, FrameAllowanceHeight, W, H);
  };
  FirstWindow f = first(8, false, 1920, 1080);
  EXPECT_EQ(f.scale, 8);
  EXPECT_TRUE(f.tooLarge);
  EXPECT_FALSE(f.lowered);
  f = first(2, true, 1024, 768);
  EXPECT_EQ(f.scale, 1);
  EXPECT_TRUE(f.lowered);
  EXPECT_FALSE(f.tooLarge);
  for (bool remembered : {false, true}) {
    f = first(2, remembered, 1920, 1080);  // fits: nothing to say
    EXPECT_EQ(f.scale, 2);
    EXPECT_FALSE(f.lowered || f.tooLarge);
    f = first(0, remembered, 3840, 2160);  // 0: the largest that fits
    EXPECT_EQ(f.scale, 4);
    EXPECT_FALSE(f.lowered || f.tooLarge);
    f = first(1, remembered, 800, 600);
    EXPECT_EQ(f.scale, 1);
    EXPECT_FALSE(f.lowered || f.tooLarge);
  }
  // Not even 1x fits: 1 is no lowering, and asking for it is no excess.
  f = first(1, false, 320, 200);
  EXPECT_EQ(f.scale, 1);
  EXPECT_FALSE(f.tooLarge);
  f = first(3, true, 320, 200);
  EXPECT_EQ(f.scale, 1);
  EXPECT_TRUE(f.lowered);
}

TEST(PictureFit, ExactMultiplesHaveNoBars) {
  for (int scale = 1; scale <= 4; ++scale) {
    const PictureFit fit = fitPicture(W * scale, H * scale, W, H);
    EXPECT_EQ(fit.scale, scale);
    EXPECT_EQ(fit.x, 0);
    EXPECT_EQ(fit.y, 0);
    EXPECT_EQ(fit.width, W * scale);
    EXPECT_EQ(fit.height, H * scale);
  }
}

TEST(PictureFit, OtherSizesGetCentredBars) {
  PictureFit fit = fitPicture(1920, 1080, W, H);  // fullscreen on a common screen
  EXPECT_EQ(fit.scale, 2);
  EXPECT_EQ(fit.x, 320);
  EXPECT_EQ(fit.y, 60);
  fit = fitPicture(1279, 959, W, H);  // one pixel short of 2x
  EXPECT_EQ(fit.scale, 1);
  EXPECT_EQ(fit.x, 319);
  EXPECT_EQ(fit.y, 239);
  fit = fitPicture(1001, 2000, W, H);  // tall and narrow: the width decides
  EXPECT_EQ(fit.scale, 1);
  EXPECT_EQ(fit.x, 180);
  EXPECT_EQ(fit.y, 760);
  fit = fitPicture(3840, 2160, W, H);
  EXPECT_EQ(fit.scale, 4);
  EXPECT_EQ(fit.x, 640);
  EXPECT_EQ(fit.y, 120);
}

TEST(PictureFit, SmallerThanTheCanvasStartsAtTheEdge) {
  PictureFit fit = fitPicture(600, 400, W, H);
  EXPECT_EQ(fit.scale, 1);
  EXPECT_EQ(fit.x, 0);
  EXPECT_EQ(fit.y, 0);
  fit = fitPicture(600, 700, W, H);
  EXPECT_EQ(fit.x, 0);
  EXPECT_EQ(fit.y, 110);
}

// Every canvas pixel, reached through any window point over the block of
// pixels it became, maps back to itself.
TEST(PointerMapping, EveryBlockMapsBackToItsPixel) {
  const int sizes[][2] = {{640, 480}, {1280, 960}, {1920, 1440}, {2560, 1920},
                          {1001, 721}, {1920, 1080}, {1333, 999}, {2600, 1925}};
  for (const auto& size : sizes) {
    const PictureFit fit = fitPicture(size[0], size[1], W, H);
    SCOPED_TRACE(testing::Message() << size[0] << " x " << size[1]);
    for (int cy = 0; cy < H; cy += 7) {
      for (int cx = 0; cx < W; cx += 5) {
        for (int dx = 0; dx < fit.scale; dx += fit.scale > 1 ? fit.scale - 1 : 1) {
          const int wx = fit.x + cx * fit.scale + dx, wy = fit.y + cy * fit.scale + (fit.scale - 1 - dx);
          const CanvasPoint p = windowToCanvas(wx, wy, size[0], size[1], size[0], size[1], W, H);
          ASSERT_EQ(p.x, cx) << wx << "," << wy;
          ASSERT_EQ(p.y, cy) << wx << "," << wy;
          ASSERT_TRUE(p.overPicture);
        }
      }
    }
  }
}

TEST(PointerMapping, BarsClampToTheEdge) {
  // 1001 x 721: the picture at 1x from (180, 120) to (819, 599).
  auto at = [](int x, int y) { return windowToCanvas(x, y, 1001, 721, 1001, 721, W, H); };
  CanvasPoint p = at(180, 120);
  EXPECT_EQ(p.x, 0);
  EXPECT_EQ(p.y, 0);
  EXPECT_TRUE(p.overPicture);
  p = at(179, 300);
  EXPECT_EQ(p.x, 0);
  EXPECT_EQ(p.y, 180);
  EXPECT_FALSE(p.overPicture);
  p = at(819, 599);
  EXPECT_EQ(p.x, 639);
  EXPECT_EQ(p.y, 479);
  EXPECT_TRUE(p.overPicture);
  p = at(820, 600);
  EXPECT_EQ(p.x, 639);
  EXPECT_EQ(p.y, 479);
  EXPECT_FALSE(p.overPicture);
  p = at(0, 0);
  EXPECT_EQ(p.x, 0);
  EXPECT_EQ(p.y, 0);
  EXPECT_FALSE(p.overPicture);
  p = at(1000, 720);
  EXPECT_EQ(p.x, 639);
  EXPECT_EQ(p.y, 479);
  EXPECT_FALSE(p.overPicture);
  p = at(500, 5);  // above the picture: the column still counts
  EXPECT_EQ(p.x, 320);
  EXPECT_EQ(p.y, 0);
  EXPECT_FALSE(p.overPicture);

  // Fullscreen 1920 x 1080 at 2x: bars of 320 at the sides, 60 above and below.
  p = windowToCanvas(1919, 1079, 1920, 1080, 1920, 1080, W, H);
  EXPECT_EQ(p.x, 639);
  EXPECT_EQ(p.y, 479);
  EXPECT_FALSE(p.overPicture);
  p = windowToCanvas(1599, 1019, 1920, 1080, 1920, 1080, W, H);
  EXPECT_EQ(p.x, 639);
  EXPECT_EQ(p.y, 479);
  EXPECT_TRUE(p.overPicture);
  p = windowToCanvas(320, 60, 1920, 1080, 1920, 1080, W, H);
  EXPECT_EQ(p.x, 0);
  EXPECT_EQ(p.y, 0);
  EXPECT_TRUE(p.overPicture);
}

// On a desktop scaled 2x a window of 960 x 720 points has 1920 x 1440 pixels:
// the picture is drawn at 3x in pixels, and points count double.
TEST(PointerMapping, HighDpiScalesByPixels) {
  CanvasPoint p = windowToCanvas(480, 360, 960, 720, 1920, 1440, W, H);
  EXPECT_EQ(p.x, 320);
  EXPECT_EQ(p.y, 240);
  p = windowToCanvas(959, 719, 960, 720, 1920, 1440, W, H);
  EXPECT_EQ(p.x, 639);
  EXPECT_EQ(p.y, 479);
  EXPECT_TRUE(p.overPicture);
  // A 640 x 480 window of points is 2x in pixels, and one point is one canvas pixel.
  for (int x = 0; x < W; x += 37) {
    p = windowToCanvas(x, x * 3 / 4, 640, 480, 1280, 960, W, H);
    EXPECT_EQ(p.x, x);
    EXPECT_EQ(p.y, x * 3 / 4);
  }
  // 2x window at 2x desktop with bars: 1000 x 700 points, 2000 x 1400 pixels,
  // the picture at 2x from pixel (360, 220), so from point (180, 110).
  p = windowToCanvas(180, 110, 1000, 700, 2000, 1400, W, H);
  EXPECT_EQ(p.x, 0);
  EXPECT_EQ(p.y, 0);
  EXPECT_TRUE(p.overPicture);
  p = windowToCanvas(179, 109, 1000, 700, 2000, 1400, W, H);
  EXPECT_FALSE(p.overPicture);
  // A window system that has not said its sizes yet: positions are taken as
  // they come, and nothing divides by zero.
  p = windowToCanvas(10, 20, 0, 0, 0, 0, W, H);
  EXPECT_EQ(p.x, 10);
  EXPECT_EQ(p.y, 20);
}

std::vector<uint8_t> patternCanvas() {
  std::vector<uint8_t> canvas(static_cast<size_t>(W) * H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) canvas[static_cast<size_t>(y) * W + x] = static_cast<uint8_t>(x * 7 + y * 13 + (x ^ y));
  return canvas;
}

uint32_t colourOf(int index) { return 0x010203u * static_cast<uint32_t>(index) ^ 0x00A05000u; }

TEST(Scaler, EveryPixelBecomesASquareBlock) {
  const std::vector<uint8_t> canvas = patternCanvas();
  uint32_t colours[256];
  for (int i = 0; i < 256; ++i) colours[i] = colourOf(i);
  for (int scale = 1; scale <= 4; ++scale) {
    SCOPED_TRACE(scale);
    // A target wider than the picture, as a window surface with bars is.
    const long pitch = W * scale + 13;
    std::vector<uint32_t> target(static_cast<size_t>(pitch) * H * scale, 0xDEADBEEF);
    scaleCanvasRect(canvas.data(), W, 0, 0, W, H, colours, scale, target.data(), pitch);
    for (int y = 0; y < H * scale; ++y) {
      for (int x = 0; x < pitch; ++x) {
        const uint32_t want = x < W * scale ? colours[canvas[(y / scale) * W + x / scale]] : 0xDEADBEEF;
        ASSERT_EQ(target[static_cast<size_t>(y) * pitch + x], want) << x << "," << y;
      }
    }
  }
}

TEST(Scaler, ARectangleTouchesOnlyItsBlocks) {
  const std::vector<uint8_t> canvas = patternCanvas();
  uint32_t colours[256];
  for (int i = 0; i < 256; ++i) colours[i] = colourOf(i);
  const int scale = 3;
  const long pitch = W * scale;
  std::vector<uint32_t> target(static_cast<size_t>(pitch) * H * scale, 0);
  scaleCanvasRect(canvas.data(), W, 101, 57, 33, 9, colours, scale, target.data(), pitch);
  for (int y = 0; y < H * scale; ++y) {
    for (int x = 0; x < W * scale; ++x) {
      const int cx = x / scale, cy = y / scale;
      const bool inside = cx >= 101 && cx < 134 && cy >= 57 && cy < 66;
      ASSERT_EQ(target[static_cast<size_t>(y) * pitch + x], inside ? colours[canvas[cy * W + cx]] : 0u)
          << x << "," << y;
    }
  }
  // Nothing to do is nothing done.
  scaleCanvasRect(canvas.data(), W, 0, 0, 0, 5, colours, scale, target.data(), pitch);
  scaleCanvasRect(canvas.data(), W, 0, 0, 5, 0, colours, scale, target.data(), pitch);
  EXPECT_EQ(target[0], 0u);
}

}  // namespace
