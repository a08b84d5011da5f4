// Shared by the world, flow and app tests: puts every global of the game back
// to its start value, writes test stages into a folder of their own, and runs
// frames headless with a fake clock while it notes music calls and sounds.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/game_state.h"
#include "app/shell.h"
#include "flow/flow.h"
#include "music/music.h"
#include "platform/platform.h"
#include "sound/sound.h"
#include "world/stagetext.h"
#include "world/game_reset.h"
#include "world/world.h"

namespace testgame {

using Image = std::array<uint8_t, StageMapSize>;

// Stage text from rows of 20 characters: the rows given are the top of the
// stage, the rows below them are walls. Objects likewise, '.' below.
inline Image stageImage(std::vector<std::string> tiles, std::vector<std::string> objects = {}) {
  while (tiles.size() < GridRows) tiles.push_back("####################");
  while (objects.size() < GridRows) objects.push_back("....................");
  std::string text = "tiles\n";
  for (const auto& row : tiles) text += row + "\n";
  text += "objects\n";
  for (const auto& row : objects) text += row + "\n";
  Image image{};
  std::string error;
  StageCheck lax;
  lax.enclosure = false;
  lax.singleStart = false;
  const bool ok = compileStageText(text, image.data(), &error, lax);
  EXPECT_TRUE(ok) << error << "\n" << text;
  return image;
}

inline uint8_t& tileByte(Image& image, int row, int col) { return image[TileLayerOffset + GridColumns * row + col]; }
inline uint8_t& objectByte(Image& image, int row, int col) {
  return image[ObjectLayerOffset + GridColumns * row + col];
}

// A folder of its own for stage and replay files, the working folder while the
// test runs.
class GameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    resetGameForTest();
    oldDir_ = std::filesystem::current_path();
    std::string pattern = (std::filesystem::temp_directory_path() / "wendlop-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    std::filesystem::create_directories(dir_ / "map");
    ASSERT_TRUE(sysChangeDirectory(dir_.c_str()));
  }
  void TearDown() override {
    std::filesystem::current_path(oldDir_);
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
    resetGameForTest();
  }

  std::filesystem::path dir_;

  void writeFile(const std::string& relative, const void* data, size_t n) {
    std::filesystem::create_directories((dir_ / relative).parent_path());
    std::ofstream out(dir_ / relative, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(n));
  }
  void writeStage(int n, const Image& image, size_t bytes = StageMapSize) {
    char name[32];
    std::snprintf(name, sizeof name, "map/map%02d.fmf", n);
    writeFile(name, image.data(), bytes);
  }
  void writeStage(int n, std::vector<std::string> tiles, std::vector<std::string> objects = {}) {
    writeStage(n, stageImage(std::move(tiles), std::move(objects)));
  }

  // Loads stage n as a stage start does and enters Playing without a click.
  void startPlaying(int n) {
    flow.stageNumber = n;
    newGameReset();
    setScene(StageReady);
    runFrameWork();
    ASSERT_EQ(flow.scene, StageReady) << "stage " << n << " did not load";
    setScene(Playing);
    eventLog().clear();
  }

  // Runs one frame through the frame clock: the fake tick count moves on 1 ms
  // at a time until the clock says a frame is due.
  void frame() {
    for (int ms = 0; ms < 100; ++ms) {
      const uint32_t before = frameClock.frameFraction;
      sysAdvanceFakeTicks(1);
      runFrame();
      if (frameClock.frameFraction != before) return;
    }
    FAIL() << "no frame became due";
  }
  void frames(int n) {
    for (int i = 0; i < n; ++i) frame();
  }
  // Frames until the scene is `wanted`; the number run, or -1 after `limit`.
  int framesUntil(Scene wanted, int limit = 10000) {
    for (int i = 1; i <= limit; ++i) {
      frame();
      if (flow.scene == wanted) return i;
    }
    return -1;
  }

  // The live pointer as the window procedure keeps it.
  static uint32_t packed(int x, int y) {
    return (static_cast<uint32_t>(x) & 0xFFFFu) | ((static_cast<uint32_t>(y) & 0xFFFFu) << 16);
  }
  void moveTo(int x, int y) { windowProcedure(SysEvent{SysMsgMouseMove, packed(x, y)}); }
  void buttonDown(int x, int y) { windowProcedure(SysEvent{SysMsgButtonDown, packed(x, y)}); }
  void buttonUp() { windowProcedure(SysEvent{SysMsgButtonUp, 0}); }
  // A press at (x, y) for one frame, then the button goes up for one frame.
  void click(int x, int y) {
    buttonDown(x, y);
    frame();
    buttonUp();
    frame();
  }
  // The same at the centre of a cell, for the world's 32-pixel cells.
  void clickCell(int row, int col) { click(32 * col + 16, 32 * row + 16); }

 private:
  std::filesystem::path oldDir_;
};

}  // namespace testgame
