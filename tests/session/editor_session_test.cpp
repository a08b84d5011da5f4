// The stage editor driven as a person drives it, from the title's E to the
// saved file: the palette by the right button and Tab, a stroke of walls,
// two test plays (a miss, then a clear with the switch closed), undo and redo,
// saving into a new pack, and back to the title.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "editor/editor.h"
#include "session_support.h"

using namespace session;

namespace {

std::string at(long frame, int x, int y, int button) {
  return std::to_string(frame) + " " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(button) + "\n";
}
std::string key(long frame, const std::string& name) { return std::to_string(frame) + " key " + name + "\n"; }
int cellX(int col) { return 32 * col + 16; }
int cellY(int row) { return 32 * row + 16; }

// A click on the palette's item for `tool`, the palette being open.
std::string choose(long frame, const Tool& tool) {
  for (const PaletteGroup& g : paletteGroups())
    for (const PaletteItem& item : g.items)
      if (item.tool == tool) return at(frame, item.x + 4, item.y + 4, 1) + at(frame + 1, item.x + 4, item.y + 4, 0);
  ADD_FAILURE() << "no palette item for " << toolName(tool);
  return "";
}
std::string paint(long frame, int row, int col) {
  return at(frame, cellX(col), cellY(row), 1) + at(frame + 1, cellX(col), cellY(row), 0);
}

TEST(EditorSession, DrawTestTwiceSaveAndLeave) {
  std::string s;
  s += key(10, "e");
  s += at(20, 320, 240, 3) + at(21, 320, 240, 0);  // the right button clicked: the palette
  s += choose(30, Tool{ToolKind::Start, StartFacingRight});
  s += paint(40, 12, 2);
  s += key(50, "tab") + choose(55, Tool{ToolKind::Tile, 144});
  s += paint(60, 12, 10);
  s += key(70, "tab") + choose(75, Tool{ToolKind::Tile, 32});
  s += at(80, cellX(1), cellY(13), 1) + at(81, cellX(18), cellY(13), 1) + at(82, cellX(18), cellY(13), 0);
  s += key(90, "tab") + choose(95, Tool{ToolKind::Tile, 1});
  s += paint(100, 13, 6);
  s += key(110, "tab") + choose(115, Tool{ToolKind::Tile, 64});
  s += paint(120, 14, 6);
  // A test left alone: the walker steps into the pit.
  s += key(130, "t");
  s += at(140, 320, 100, 1) + at(141, 320, 100, 0);
  // The second, with the switch closed at once: a clear.
  s += key(700, "t");
  s += at(710, 320, 100, 1) + at(711, 320, 100, 0);
  s += paint(720, 13, 6);
  s += key(1200, "ctrl+z") + key(1201, "ctrl+shift+z");
  s += key(1210, "s") + key(1220, "enter");
  s += key(1230, "escape");
  s += key(1240, "f12");
  const SessionRun run = runSession("editor", s, "--editor-dir editor");
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.summary, "session frames=1240 scene=0 end=key");

  // The scenes of the two tests, and the title around them.
  std::vector<long> scenes;
  for (const Frame& f : run.frames)
    if (scenes.empty() || scenes.back() != f["scene"]) scenes.push_back(f["scene"]);
  const std::vector<long> expected = {0, 3, 4, 10, 11, 12, 0, 3, 4, 7, 0};
  EXPECT_EQ(scenes, expected);
  for (const Frame& f : run.frames) {
    if (f["scene"] == 3 || f["scene"] == 4) {
      EXPECT_EQ(f["stageNumber"], 0) << "a test is no stage of the game";
    }
  }

  // The stage as drawn, saved in the new pack.
  const std::string stage = slurp(run.dir / "editor/packs/my-stages/map/map01.fmf");
  ASSERT_EQ(stage.size(), 620u);
  auto tile = [&](int r, int c) { return static_cast<unsigned char>(stage[20 + 20 * r + c]); };
  auto object = [&](int r, int c) { return static_cast<unsigned char>(stage[320 + 20 * r + c]); };
  EXPECT_EQ(object(12, 2), StartFacingRight);
  EXPECT_EQ(tile(12, 10), 144);
  for (int c = 1; c <= 18; ++c) EXPECT_EQ(tile(13, c), c == 6 ? 1 : 32) << c;
  EXPECT_EQ(tile(14, 6), 64);
  EXPECT_FALSE(slurp(run.dir / "editor/packs/my-stages/pack.ini").empty());
  EXPECT_FALSE(slurp(run.dir / "editor/packs/my-stages/map/map01.txt").empty());
  EXPECT_TRUE(slurp(run.dir / "editor/editor/recovery.fmf").empty()) << "saved: no recovery copy is left";
}

}  // namespace
