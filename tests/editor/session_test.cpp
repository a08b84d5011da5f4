// The editor as the player uses it: through the window procedure and its own
// input procedures, headless. Undo and redo, saving and opening, the recovery
// copy, and the test play through the scenes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "app/controls.h"
#include "editor/editor.h"
#include "pack/pack.h"
#include "flow/progress.h"
#include "world/game_fixture.h"
#include "world/stagetext.h"

namespace {
namespace fs = std::filesystem;
using testgame::GameTest;

class EditorTest : public GameTest {
 protected:
  void SetUp() override {
    GameTest::SetUp();
    user_ = dir_ / "user";
    setEditorDataFolder(user_.string());
    findPacks("", (user_ / "packs").string());
    initGameValues();
  }

  fs::path user_;

  static int px(int col) { return 32 * col + 16; }
  void paint(int row, int col) {
    editorButton(1, true, px(col), px(row));
    editorButton(1, false, px(col), px(row));
  }
  void choose(const Tool& tool) {
    editorKey(SysKeyTab, 0);
    ASSERT_EQ(editor.mode, EditorMode::Palette);
    for (const PaletteGroup& g : paletteGroups())
      for (const PaletteItem& item : g.items)
        if (item.tool == tool) {
          editorButton(1, true, item.x + 1, item.y + 1);
          editorButton(1, false, item.x + 1, item.y + 1);
        }
    ASSERT_EQ(editor.mode, EditorMode::Editing);
    ASSERT_EQ(editor.tool, tool);
  }
  void key(uint32_t k, uint32_t modifiers = 0) {
    if (modifiers) windowProcedure(SysEvent{SysMsgKeyModifiers, modifiers});
    windowProcedure(SysEvent{SysMsgKeyDown, k});
  }
  void type(const std::string& text) {
    for (char ch : text) {
      if (ch >= 'A' && ch <= 'Z') key(static_cast<uint32_t>(ch - 'A' + 'a'), SysModShift);
      else key(static_cast<uint32_t>(ch));
    }
  }
  static std::vector<uint8_t> readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  // A small stage where the walker, facing right, reaches the goal two cells on.
  void drawQuickClear() {
    choose(Tool{ToolKind::Start, StartFacingRight});
    paint(13, 3);
    choose(Tool{ToolKind::Tile, 144});
    paint(13, 5);
  }
};

TEST_F(EditorTest, TheTitleOpensItWithEAndItsFramesDoNotChangeOtherwise) {
  frames(3);
  ASSERT_EQ(flow.scene, Title);
  key('x');
  key('e', SysModShift);  // a modified key is still the key
  EXPECT_TRUE(editorOpen());
  EXPECT_EQ(editor.image, emptyStage());
  EXPECT_FALSE(editorUnsaved());
  frames(2);
  key(SysKeyEscape);
  EXPECT_FALSE(editorOpen()) << "nothing unsaved: it leaves without asking";
  EXPECT_EQ(flow.scene, Title);
  EXPECT_TRUE(flow.sceneEntered) << "the title starts afresh, its song with it";
}

TEST_F(EditorTest, PaintEraseAndPickWithTheButtons) {
  openEditor(nullptr);
  choose(Tool{ToolKind::Tile, 35});
  // A stroke paints every cell on its way, even when the pointer jumps.
  editorButton(1, true, px(2), px(4));
  editorPointerMove(px(7), px(4));
  editorButton(1, false, px(7), px(4));
  for (int c = 2; c <= 7; ++c) EXPECT_EQ(editor.image[TileLayerOffset + 20 * 4 + c], 35) << c;
  EXPECT_EQ(editor.undoStack.size(), 1u) << "one stroke, one step";
  // The right button dragged erases; clicked, it opens the palette.
  windowProcedure(SysEvent{SysMsgRightButtonDown, static_cast<uint32_t>(px(3) | (px(4) << 16))});
  windowProcedure(SysEvent{SysMsgMouseMove, static_cast<uint32_t>(px(5) | (px(4) << 16))});
  windowProcedure(SysEvent{SysMsgRightButtonUp, static_cast<uint32_t>(px(5) | (px(4) << 16))});
  for (int c = 3; c <= 5; ++c) EXPECT_EQ(editor.image[TileLayerOffset + 20 * 4 + c], 0) << c;
  EXPECT_EQ(editor.image[TileLayerOffset + 20 * 4 + 6], 35);
  EXPECT_EQ(editor.mode, EditorMode::Editing);
  windowProcedure(SysEvent{SysMsgRightButtonDown, static_cast<uint32_t>(px(9) | (px(9) << 16))});
  windowProcedure(SysEvent{SysMsgRightButtonUp, static_cast<uint32_t>(px(9) | (px(9) << 16))});
  EXPECT_EQ(editor.mode, EditorMode::Palette);
  key(SysKeyEscape);
  EXPECT_EQ(editor.mode, EditorMode::Editing);
  // Delete erases the one cell pointed at.
  windowProcedure(SysEvent{SysMsgMouseMove, static_cast<uint32_t>(px(6) | (px(4) << 16))});
  key(SysKeyDelete);
  EXPECT_EQ(editor.image[TileLayerOffset + 20 * 4 + 6], 0);
  EXPECT_EQ(editor.image[TileLayerOffset + 20 * 4 + 7], 35);
  // The middle button picks what is under it.
  editor.tool = Tool{ToolKind::Tile, 80};
  windowProcedure(SysEvent{SysMsgMiddleButtonDown, static_cast<uint32_t>(px(0) | (px(0) << 16))});
  EXPECT_EQ(editor.tool, (Tool{ToolKind::Tile, 32}));
  // Pieces dragged along a row are laid side by side, each whole.
  choose(Tool{ToolKind::Piece, 4});
  editorButton(1, true, px(2), px(8));
  editorPointerMove(px(6), px(8));
  editorButton(1, false, px(6), px(8));
  StageCheck check;
  check.singleStart = false;
  EXPECT_EQ(checkStage(editor.image.data(), check), "");
  for (int c : {2, 4, 6}) EXPECT_EQ(editor.image[TileLayerOffset + 20 * 8 + c], 4) << c;
  // H hides the lines and shows them again; every mode draws without trouble.
  key('h');
  EXPECT_FALSE(editor.showLines);
  key('h');
  for (EditorMode mode : {EditorMode::Editing, EditorMode::Palette, EditorMode::Ask, EditorMode::TextInput,
                          EditorMode::OpenList, EditorMode::Message}) {
    editor.mode = mode;
    frame();
  }
}

TEST_F(EditorTest, UndoAndRedoToAnyDepthGiveTheStageBackByteForByte) {
  openEditor(nullptr);
  std::mt19937 random(22);
  std::vector<StageImage> states{editor.image};
  const std::vector<Tool> tools = {{ToolKind::Tile, 32}, {ToolKind::Tile, 1},   {ToolKind::Piece, 38},
                                   {ToolKind::Start, 7}, {ToolKind::Hazard, 17}, {ToolKind::Tile, 96}};
  for (int step = 0; step < 40; ++step) {
    const int row = static_cast<int>(random() % 15), col = static_cast<int>(random() % 20);
    if (random() % 4 == 0) {
      windowProcedure(SysEvent{SysMsgRightButtonDown, static_cast<uint32_t>(px(col) | (px(row) << 16))});
      windowProcedure(SysEvent{SysMsgMouseMove, static_cast<uint32_t>(px((col + 1) % 20) | (px(row) << 16))});
      windowProcedure(SysEvent{SysMsgRightButtonUp, static_cast<uint32_t>(px((col + 1) % 20) | (px(row) << 16))});
    } else {
      editor.tool = tools[random() % tools.size()];
      paint(row, col);
    }
    if (editor.image != states.back()) states.push_back(editor.image);
    ASSERT_EQ(editor.undoStack.size() + 1, states.size()) << step;
    if (step % 10 == 0) {
      key('r');
      for (int i = 0; i < MaxTitleLength; ++i) key(SysKeyBackspace);
      type("Step " + std::to_string(step));
      key(SysKeyEnter);
      states.push_back(editor.image);
    }
  }
  ASSERT_EQ(editor.undoStack.size() + 1, states.size());
  for (size_t i = states.size() - 1; i > 0; --i) {
    ASSERT_EQ(editor.image, states[i]);
    key('z', SysModCtrl);
  }
  EXPECT_EQ(editor.image, states[0]);
  key('z', SysModCtrl);
  EXPECT_EQ(editor.image, states[0]) << "nothing more to undo";
  EXPECT_EQ(editor.notice, "NOTHING TO UNDO");
  for (size_t i = 1; i < states.size(); ++i) {
    key(i % 2 ? 'y' : 'z', i % 2 ? SysModCtrl : SysModCtrl | SysModShift);
    ASSERT_EQ(editor.image, states[i]) << i;
  }
  key('z');  // without Ctrl it is no undo
  EXPECT_EQ(editor.image, states.back());
  // A change after undoing drops what could have been redone.
  key('z', SysModCtrl);
  paint(7, 7);
  EXPECT_TRUE(editor.redoStack.empty());
}

TEST_F(EditorTest, SaveInANewPackAndOpenItAgain) {
  openEditor(nullptr);
  drawQuickClear();
  key('r');
  type("Two Steps");
  key(SysKeyEnter);
  EXPECT_EQ(stageTitle(editor.image), "Two Steps");
  key('s');
  ASSERT_EQ(editor.mode, EditorMode::TextInput) << "the first save asks for the pack";
  for (int i = 0; i < 12; ++i) key(SysKeyBackspace);
  type("My Pack");
  key(SysKeyEnter);
  EXPECT_EQ(editor.mode, EditorMode::Editing);
  EXPECT_FALSE(editorUnsaved());
  EXPECT_EQ(editor.place.pack, "my-pack");
  EXPECT_EQ(editor.place.number, 1);
  const fs::path pack = user_ / "packs" / "my-pack";
  const std::vector<uint8_t> saved = readAll(pack / "map" / "map01.fmf");
  ASSERT_EQ(saved.size(), 620u);
  EXPECT_TRUE(std::equal(saved.begin(), saved.end(), editor.image.begin()));
  // The text beside it compiles to the same bytes.
  const std::vector<uint8_t> text = readAll(pack / "map" / "map01.txt");
  uint8_t compiled[620];
  std::string error;
  ASSERT_TRUE(compileStageText(std::string(text.begin(), text.end()), compiled, &error)) << error;
  EXPECT_TRUE(std::equal(saved.begin(), saved.end(), compiled));
  // A pack as the game finds it, among the packs from now on.
  PackInfo info;
  std::string problem;
  ASSERT_TRUE(readPackIni(pack.string(), &info, &problem)) << problem;
  EXPECT_EQ(info.name, "My Pack");
  EXPECT_EQ(info.version, "1");
  ASSERT_EQ(packState.packs.size(), 2u);
  EXPECT_EQ(packState.packs[1].info.name, "My Pack");
  EXPECT_EQ(packState.packs[1].stageCount, 1);
  EXPECT_FALSE(fs::exists(recoveryFile())) << "saved work leaves no recovery copy";

  // Shift+S asks for another pack; Escape keeps it where it was.
  paint(9, 9);
  key('s', SysModShift);
  ASSERT_EQ(editor.mode, EditorMode::TextInput);
  key(SysKeyEscape);
  EXPECT_EQ(editor.place.pack, "my-pack");
  EXPECT_EQ(editor.place.number, 1);
  key('z', SysModCtrl);

  // A second stage goes to the next number; S saves in place from then on.
  key('n');
  paint(5, 5);
  key('s', SysModShift);
  key(SysKeyEnter);  // the pack last used is offered
  EXPECT_EQ(editor.place.number, 2);
  paint(6, 6);
  key('s', SysModCtrl);
  EXPECT_EQ(editor.place.number, 2);
  EXPECT_EQ(readAll(pack / "map" / "map02.fmf").size(), 620u);

  // Opened again from the list: the same bytes, nothing unsaved.
  key('o');
  ASSERT_EQ(editor.mode, EditorMode::OpenList);
  key(SysKeyDown);
  EXPECT_EQ(editor.listPage, 1);
  editorButton(1, true, 5 * 16 + 4, 6 * 16 + 4);  // the first number
  EXPECT_EQ(editor.mode, EditorMode::Editing);
  EXPECT_EQ(editor.place.number, 1);
  EXPECT_TRUE(std::equal(saved.begin(), saved.end(), editor.image.begin()));
  EXPECT_FALSE(editorUnsaved());
  EXPECT_TRUE(editor.undoStack.empty());
}

TEST_F(EditorTest, BuiltInStagesAreSavedAsACopy) {
  const std::vector<uint8_t> builtIn = readAll(fs::path(WENDLOP_SOURCE_DIR) / "data/map/map07.fmf");
  writeFile("map/map07.fmf", builtIn.data(), builtIn.size());
  openEditor(nullptr);
  ASSERT_TRUE(editorOpenStage(StagePlace{"", 7, ""}));
  EXPECT_TRUE(std::equal(builtIn.begin(), builtIn.end(), editor.image.begin()));
  paint(3, 3);
  key('s');
  ASSERT_EQ(editor.mode, EditorMode::TextInput);
  key(SysKeyEnter);
  EXPECT_EQ(editor.place.pack, "my-stages");
  EXPECT_EQ(readAll(dir_ / "map/map07.fmf"), builtIn) << "the built-in data is never written";
  EXPECT_EQ(readAll(user_ / "packs/my-stages/map/map01.fmf").size(), 620u);
}

// O lists every pack found; the player's own open in place, the installed
// ones (like the built-in stages) as a copy, and only the player's are written.
TEST_F(EditorTest, EveryPackFoundOpensAndOnlyThePlayersOwnAreWritten) {
  const testgame::Image extra = testgame::stageImage({"####################", "#..G...............#"},
                                                     {"....................", ".>.................."});
  const testgame::Image mine = testgame::stageImage({"####################", "#....G.............#"},
                                                    {"....................", ".>.................."});
  writeFile("packs/extra/pack.ini", "[pack]\nname = Extra\n", 19);
  writeFile("packs/extra/map/map01.fmf", extra.data(), extra.size());
  writeFile("user/packs/mine/pack.ini", "[pack]\nname = Mine\n", 18);
  writeFile("user/packs/mine/map/map01.fmf", mine.data(), mine.size());
  writeFile("user/packs/mine/verified", "; stages 1\n[verified]\n01 = 0\n", 30);
  findPacks((dir_ / "packs").string(), (user_ / "packs").string());
  ASSERT_EQ(packState.packs.size(), 3u);
  packState.current = 1;  // Extra is being played

  openEditor(nullptr);
  key('o');
  EXPECT_EQ(editor.listPage, 0);
  key(SysKeyDown);
  ASSERT_EQ(editor.listPage, 1);
  editorButton(1, true, 5 * 16 + 4, 6 * 16 + 4);
  EXPECT_TRUE(std::equal(extra.begin(), extra.end(), editor.image.begin()));
  EXPECT_EQ(editor.place.pack, "") << "an installed pack is read only";
  EXPECT_EQ(editor.place.label, "EXTRA 01");

  paint(5, 5);
  key('s');
  ASSERT_EQ(editor.mode, EditorMode::TextInput);
  for (int i = 0; i < 12; ++i) key(SysKeyBackspace);
  type("Extra");
  key(SysKeyEnter);
  ASSERT_EQ(editor.mode, EditorMode::Message);
  EXPECT_EQ(editor.messageLines.back(), "EXTRA IS NOT ONE OF YOUR PACKS");
  EXPECT_EQ(readAll(dir_ / "packs/extra/map/map01.fmf"), std::vector<uint8_t>(extra.begin(), extra.end()));
  EXPECT_FALSE(fs::exists(dir_ / "packs/extra/map/map02.fmf"));
  EXPECT_FALSE(fs::exists(user_ / "packs/extra"));
  key(SysKeyEnter);

  // Into the player's pack, after its stages; what its import proved goes.
  key('s');
  for (int i = 0; i < 12; ++i) key(SysKeyBackspace);
  type("mine");
  key(SysKeyEnter);
  EXPECT_EQ(editor.place.pack, "mine");
  EXPECT_EQ(editor.place.number, 2);
  EXPECT_EQ(editor.place.label, "MINE 02");
  EXPECT_EQ(readAll(user_ / "packs/mine/map/map02.fmf").size(), 620u);
  EXPECT_FALSE(fs::exists(user_ / "packs/mine/verified"));
  EXPECT_EQ(packState.packs[2].stageCount, 2) << "the packs are found again";
  EXPECT_EQ(currentPack().info.name, "Extra") << "and the pack played stays chosen";

  // The player's stage opens in place, with the name of its pack.
  key('o');
  key(SysKeyUp);
  ASSERT_EQ(editor.listPage, 0);
  key(SysKeyUp);
  ASSERT_EQ(editor.listPage, 2);
  editorButton(1, true, 5 * 16 + 4, 6 * 16 + 4);
  EXPECT_TRUE(std::equal(mine.begin(), mine.end(), editor.image.begin()));
  EXPECT_EQ(editor.place.pack, "mine");
  EXPECT_EQ(editor.place.number, 1);

  // A file named by a way out of the packs is no pack's stage.
  std::string folder;
  int number = 0;
  EXPECT_TRUE(ownPackStageOfPath((user_ / "packs/mine/map/map01.fmf").string(), &folder, &number));
  EXPECT_FALSE(ownPackStageOfPath((user_ / "packs/../packs/map/map01.fmf").string(), &folder, &number));
  EXPECT_FALSE(ownPackStageOfPath((user_ / "packs/mine/map/map00.fmf").string(), &folder, &number));
}

TEST_F(EditorTest, LeavingOrOpeningWithUnsavedWorkAsks) {
  openEditor(nullptr);
  paint(4, 4);
  key(SysKeyEscape);
  ASSERT_EQ(editor.mode, EditorMode::Ask);
  key('c');
  EXPECT_EQ(editor.mode, EditorMode::Editing);
  EXPECT_TRUE(editorUnsaved());
  key('n');
  ASSERT_EQ(editor.mode, EditorMode::Ask);
  key(SysKeyEscape);
  EXPECT_TRUE(editorUnsaved());
  // SAVE asks the pack's name, saves, and then does what was asked.
  key(SysKeyEscape);
  key('s');
  ASSERT_EQ(editor.mode, EditorMode::TextInput);
  key(SysKeyEnter);
  EXPECT_FALSE(editorOpen());
  EXPECT_EQ(readAll(user_ / "packs/my-stages/map/map01.fmf").size(), 620u);
  // DISCARD gives it up.
  openEditor(nullptr);
  paint(4, 4);
  key(SysKeyEscape);
  key('d');
  EXPECT_FALSE(editorOpen());
  EXPECT_FALSE(recoveryWaiting());
}

TEST_F(EditorTest, AKilledEditorsRecoveryCopyIsOfferedAndWhole) {
  openEditor(nullptr);
  drawQuickClear();
  paint(2, 2);
  const StageImage work = editor.image;
  ASSERT_TRUE(recoveryWaiting());
  const std::vector<uint8_t> copy = readAll(recoveryFile());
  ASSERT_EQ(copy.size(), 620u);
  EXPECT_TRUE(std::equal(copy.begin(), copy.end(), work.begin()));
  EXPECT_EQ(std::distance(fs::directory_iterator(user_ / "editor"), fs::directory_iterator{}), 2)
      << "no temporary file is left beside it";

  // The game ends without a word: the next run starts with nothing of it.
  resetEditor();
  openEditor(nullptr);
  ASSERT_EQ(editor.mode, EditorMode::Ask);
  EXPECT_EQ(editor.askChoices, 2);
  frame();
  key('r');
  EXPECT_EQ(editor.mode, EditorMode::Editing);
  EXPECT_EQ(editor.image, work);
  EXPECT_TRUE(editorUnsaved());
  EXPECT_TRUE(editor.undoStack.empty()) << "its history went with the run that made it";
  key(SysKeyEscape);
  EXPECT_EQ(editor.mode, EditorMode::Ask) << "a recovered stage is unsaved work";
  key('c');

  // Declined, it is gone, and the file asked for opens.
  resetEditor();
  const StageImage other = emptyStage();
  writeFile("other.fmf", other.data(), other.size());
  openEditor((dir_ / "other.fmf").c_str());
  ASSERT_EQ(editor.mode, EditorMode::Ask);
  key('d');
  EXPECT_FALSE(recoveryWaiting());
  EXPECT_EQ(editor.image, other);
  EXPECT_EQ(editor.place.label, "OTHER.FMF");
}

TEST_F(EditorTest, UndoingBackToTheSavedStageLeavesNoRecoveryCopy) {
  openEditor(nullptr);
  paint(4, 4);
  EXPECT_TRUE(recoveryWaiting());
  key('z', SysModCtrl);
  EXPECT_FALSE(recoveryWaiting());
}

TEST_F(EditorTest, ADamagedFileOpensWithItsLinesAndUndoShowsTheFile) {
  StageImage image = emptyStage();
  image[TileLayerOffset + 45] = 222;
  writeFile("bad.fmf", image.data(), 300);
  openEditor((dir_ / "bad.fmf").c_str());
  ASSERT_EQ(editor.mode, EditorMode::Message);
  EXPECT_EQ(editor.messageLines.size(), 3u);  // the name, the size, the unknown tile
  frame();
  key(SysKeyEnter);
  EXPECT_EQ(editor.mode, EditorMode::Editing);
  EXPECT_TRUE(editorUnsaved());
  EXPECT_EQ(editor.image[TileLayerOffset + 45], 0);
  key('z', SysModCtrl);
  EXPECT_EQ(editor.image[TileLayerOffset + 45], 222);
  // A file that cannot be read at all: a line, and a new stage.
  resetEditor();
  openEditor((dir_ / "missing.fmf").c_str());
  EXPECT_EQ(editor.mode, EditorMode::Message);
  EXPECT_EQ(editor.image, emptyStage());
}

TEST_F(EditorTest, ATestPlayReturnsToTheSameStage) {
  progress = Progress{};
  flow.recording = true;
  openEditor(nullptr);
  key('t');
  EXPECT_EQ(editor.mode, EditorMode::Editing) << "no start: no test";
  EXPECT_FALSE(editor.notice.empty());
  drawQuickClear();
  const StageImage before = editor.image;
  const auto undoDepth = editor.undoStack.size();
  const GameFlow flowBefore = flow;
  key('t');
  ASSERT_EQ(editor.mode, EditorMode::Testing);
  frame();
  EXPECT_EQ(flow.scene, StageReady);
  EXPECT_EQ(walker.col, 3) << "the stage being edited is the one played";
  click(100, 100);
  int n = 0;
  while (editor.mode == EditorMode::Testing && n++ < 1000) frame();
  EXPECT_EQ(editor.mode, EditorMode::Editing);
  EXPECT_EQ(editor.notice, "TEST: CLEAR!");
  EXPECT_EQ(editor.image, before);
  EXPECT_EQ(editor.undoStack.size(), undoDepth);
  EXPECT_EQ(flow, flowBefore);
  EXPECT_FALSE(anyProgress()) << "a test is not a clear of any stage";
  EXPECT_FALSE(fs::exists(dir_ / "replay")) << "nor a recording";
  // The scenes read stage files again afterwards.
  EXPECT_FALSE(loadStage(3));

  // A miss comes back too: the walker walks off into spikes.
  choose(Tool{ToolKind::Tile, 0});
  paint(13, 5);  // the goal is gone: the walker walks on
  choose(Tool{ToolKind::Tile, 64});
  paint(14, 7);
  key('t');
  click(100, 100);
  n = 0;
  while (editor.mode == EditorMode::Testing && n++ < 4000) frame();
  EXPECT_EQ(editor.notice, "TEST: MISS");

  // Escape, paused or not, comes straight back.
  key('t');
  click(100, 100);
  key('p');
  EXPECT_TRUE(pauseState.paused);
  key(SysKeyEscape);
  EXPECT_EQ(editor.mode, EditorMode::Editing);
  EXPECT_FALSE(pauseState.paused);
}

}  // namespace
