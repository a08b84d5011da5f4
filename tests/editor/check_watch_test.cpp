// C and W in the editor: the check in its child process while the editor's
// frames go on, cancelling it, and the solution watched and saved with the
// stage as the replay that DEMO plays.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "editor/editor.h"
#include "pack/pack.h"
#include "solve/check_runner.h"
#include "world/game_fixture.h"

namespace {
namespace fs = std::filesystem;
using testgame::GameTest;

class EditorCheckTest : public GameTest {
 protected:
  void SetUp() override {
    GameTest::SetUp();
    setEditorDataFolder((dir_ / "user").string());
    findPacks("", (dir_ / "user/packs").string());
    setCheckProgram(std::string(WENDLOP_BINARY_DIR) + "/src/wendlop");
    initGameValues();
    openEditor(nullptr);
  }
  void TearDown() override {
    clearCheck();
    setCheckProgram("");
    GameTest::TearDown();
  }
  void put(int row, int col, const Tool& tool) { ASSERT_TRUE(placeTool(editor.image, row, col, tool)); }
  // Frames until the check's verdict is on the canvas, or the limit.
  bool framesUntilVerdict(double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (editor.mode == EditorMode::Checking && std::chrono::steady_clock::now() < end) frame();
    return editor.mode == EditorMode::Message;
  }
  static std::vector<uint8_t> readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
};

TEST_F(EditorCheckTest, TheVerdictComesWhileFramesGoOnAndTheSolutionIsWatchedAndSaved) {
  // The walker steps off a ledge into a pit with spikes at its bottom
  // unless the switch block over the pit is closed: one click.
  for (int c = 1; c <= 18; ++c) put(13, c, Tool{ToolKind::Tile, c == 6 ? 1 : 32});
  put(14, 6, Tool{ToolKind::Tile, 64});
  put(12, 2, Tool{ToolKind::Start, StartFacingRight});
  put(12, 10, Tool{ToolKind::Tile, 144});
  const StageImage stage = editor.image;
  windowProcedure(SysEvent{SysMsgKeyDown, 'c'});
  ASSERT_EQ(editor.mode, EditorMode::Checking);
  ASSERT_TRUE(framesUntilVerdict(120));
  ASSERT_FALSE(editor.messageLines.empty());
  EXPECT_EQ(editor.messageLines[0], "CLEARS IN 1 CLICK");
  EXPECT_EQ(editor.messageLines.back(), "W: WATCH AND KEEP THE SOLUTION");
  EXPECT_EQ(editor.image, stage);
  ASSERT_EQ(editor.solution.size(), 1u);

  windowProcedure(SysEvent{SysMsgKeyDown, 'w'});
  ASSERT_EQ(editor.mode, EditorMode::Watching);
  EXPECT_TRUE(flow.demoPlayback);
  bool cleared = false;
  for (int n = 0; n < 4000 && editor.mode == EditorMode::Watching; ++n) {
    frame();
    cleared = cleared || flow.scene == StageClear;
  }
  EXPECT_TRUE(cleared) << "the demonstration clears the stage";
  EXPECT_EQ(editor.mode, EditorMode::Editing);
  EXPECT_FALSE(flow.demoPlayback);
  EXPECT_EQ(editor.image, stage);

  // Saved with the stage, as the replay DEMO plays.
  windowProcedure(SysEvent{SysMsgKeyDown, 's'});
  windowProcedure(SysEvent{SysMsgKeyDown, SysKeyEnter});
  const fs::path pack = dir_ / "user/packs/my-stages";
  const std::vector<uint8_t> replay = readAll(pack / "replay/01.dat");
  ASSERT_EQ(replay.size(), static_cast<size_t>(ReplayBytes));
  EXPECT_EQ(replay, editor.replay);
  const std::vector<uint8_t> saved = readAll(pack / "map/map01.fmf");
  writeFile("map/map01.fmf", saved.data(), saved.size());
  writeFile("replay/01.dat", replay.data(), replay.size());
  resetEditor();
  startDemonstration(1, "replay/01.dat", false);
  EXPECT_GT(framesUntil(StageClear, 4000), 0);

  // A stage changed since: its old solution goes at the next save.
  setEditorDataFolder((dir_ / "user").string());
  findPacks("", (dir_ / "user/packs").string());
  openEditor((pack / "map/map01.fmf").c_str());
  EXPECT_EQ(editor.replay, replay) << "a pack's stage opens with its solution";
  put(5, 5, Tool{ToolKind::Tile, 80});
  editorSave();
  EXPECT_FALSE(fs::exists(pack / "replay/01.dat"));
  windowProcedure(SysEvent{SysMsgKeyDown, 'w'});
  EXPECT_EQ(editor.mode, EditorMode::Editing) << "no solution for this stage yet";
  EXPECT_FALSE(editor.notice.empty());
}

TEST_F(EditorCheckTest, EscapeCancelsACheckAtOnceAndTheStageStays) {
  // An open field of switch blocks: far more positions than a test waits for.
  put(13, 1, Tool{ToolKind::Start, StartFacingRight});
  for (int r = 2; r <= 12; r += 2)
    for (int c = 2; c <= 17; c += 3) put(r, c, Tool{ToolKind::Tile, 1});
  put(1, 18, Tool{ToolKind::Tile, 144});
  const StageImage stage = editor.image;
  editorKey('c', 0);
  ASSERT_EQ(editor.mode, EditorMode::Checking);
  frames(30);
  ASSERT_EQ(editor.mode, EditorMode::Checking);
  const int child = checkChildId();
  EXPECT_GT(child, 0);
  editorKey(SysKeyEscape, 0);
  EXPECT_EQ(editor.mode, EditorMode::Message) << "the verdict of what was proven, at once";
  ASSERT_FALSE(editor.messageLines.empty());
  EXPECT_EQ(editor.messageLines[0].rfind("NOT SURE", 0), 0u) << editor.messageLines[0];
  EXPECT_EQ(checkChildId(), -1);
  EXPECT_EQ(editor.image, stage);
  EXPECT_TRUE(editor.solution.empty());
  editorKey('w', 0);
  EXPECT_EQ(editor.mode, EditorMode::Editing);
}

TEST_F(EditorCheckTest, AnUnplayableStageIsSaidBeforeAnySearch) {
  editorKey('c', 0);
  frame();
  ASSERT_EQ(editor.mode, EditorMode::Message);
  EXPECT_EQ(editor.messageLines[0].rfind("UNPLAYABLE", 0), 0u) << editor.messageLines[0];
}

}  // namespace
