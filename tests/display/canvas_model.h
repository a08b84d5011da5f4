// A slow, pixel-by-pixel model of what the primitives should leave in the
// canvas, read straight from the stand-in sheets' formulas, and a fixture that
// puts the stand-in sheets in place without files.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "app/shell.h"
#include "display/display.h"
#include "display/surface.h"
#include "platform/platform.h"
#include "testsheets.h"
#include "world/world.h"

struct CanvasModel {
  std::vector<uint8_t> px = std::vector<uint8_t>(CanvasWidth * CanvasHeight, 0);

  uint8_t at(int x, int y) const { return px[y * CanvasWidth + x]; }
  void set(int x, int y, uint8_t v) {
    if (x >= 0 && y >= 0 && x < CanvasWidth && y < CanvasHeight) px[y * CanvasWidth + x] = v;
  }
  void fill(uint8_t v) { std::fill(px.begin(), px.end(), v); }

  void backdrop(int index) {
    for (int y = 0; y < CanvasHeight; ++y)
      for (int x = 0; x < CanvasWidth; ++x) set(x, y, testBackdropPixel(x, index * 480 + y));
  }
  // A keyed sprite-sheet rectangle placed at (dx, dy).
  void sprite(int sheetX, int sheetY, int w, int h, long long dx, long long dy) {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const long long cx = dx + x, cy = dy + y;
        if (cx < 0 || cy < 0 || cx >= CanvasWidth || cy >= CanvasHeight) continue;
        const uint8_t v = testSpritePixel(sheetX + x, sheetY + y);
        if (v != TestKey) set(static_cast<int>(cx), static_cast<int>(cy), v);
      }
  }
  // Frame f, with the sheet place written out as the frame table gives it.
  void frame(int sheetX, int sheetY, long long dx, long long dy) { sprite(sheetX, sheetY, 64, 64, dx, dy); }
  void glyph(int code, int column, int row) {
    sprite(512 + (code % 8) * 16, (code / 8) * 16, 16, 16, column * 16, row * 16);
  }
  void tile(int n, int col, int row) { sprite((n % 16) * 32, (n / 16) * 32, 32, 32, col * 32, row * 32); }
};

// Where differs first, for a readable failure.
inline ::testing::AssertionResult canvasEquals(const CanvasModel& model) {
  for (int y = 0; y < CanvasHeight; ++y)
    for (int x = 0; x < CanvasWidth; ++x)
      if (FrameCanvas[y][x] != model.at(x, y))
        return ::testing::AssertionFailure()
               << "canvas differs first at (" << x << ", " << y << "): " << int(FrameCanvas[y][x])
               << " drawn, " << int(model.at(x, y)) << " expected";
  return ::testing::AssertionSuccess();
}

inline uint64_t canvasHash() {
  uint64_t h = 1469598103934665603ull;
  for (int y = 0; y < CanvasHeight; ++y)
    for (int x = 0; x < CanvasWidth; ++x) h = (h ^ FrameCanvas[y][x]) * 1099511628211ull;
  return h;
}

class StandInSheets : public ::testing::Test {
 protected:
  void SetUp() override {
    sysSetHeadless(true);
    SpriteSheet = makeTestSpriteSheet();
    BackdropSheet = makeTestBackdropSheet();
    std::memset(FrameCanvas, 0, sizeof FrameCanvas);
    display.drawing = true;
    walker = Walker{};
    std::memset(stageMap, 0, sizeof stageMap);
  }
  void TearDown() override {
    display.drawing = true;
    SpriteSheet = Surface{};
    BackdropSheet = Surface{};
  }
  CanvasModel model;  // starts black, like the canvas
};
