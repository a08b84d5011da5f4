// A pack of n stages in play: the selector, ALL CLEAR and the wrap, progress
// kept per pack, the title's pack line, and the stage browser.
#include <cstring>

#include "display/display.h"
#include "display/surface.h"
#include "flow/progress.h"
#include "pack/pack_fixture.h"

using namespace testgame;

namespace {

class PackRules : public PackTest {
 protected:
  void SetUp() override {
    PackTest::SetUp();
    writePack(user() / "three", "Three", 3);
    findTestPacks();
    choosePack(packIndex("Three"));
  }
  void begin() {
    initGameValues();
    flow.scene = Title;
    frame();
    ASSERT_EQ(flow.scene, Title);
  }
  void press(int x, int y) {
    buttonDown(x, y);
    frame();
    buttonUp();
    frame();
  }
  void pressItem(TitleAction action) {
    for (int i = 0; i < titleItemCount; ++i)
      if (titleItems[i].action == action) return press(16 * titleItems[i].column + 8, 16 * titleItems[i].row + 8);
    FAIL() << "no such title item";
  }
  // The game's own sheets, from the source tree's data.
  void useRealSheets() {
    std::filesystem::create_directory_symlink(std::filesystem::path(WENDLOP_SOURCE_DIR) / "data" / "bmp", dir_ / "bmp");
    ASSERT_TRUE(initDisplay());
  }
  void key(uint32_t code) { windowProcedure(SysEvent{SysMsgKeyDown, code}); }
  // Frames until `wanted`, pressing to start every stage; the stages cleared on the way.
  int playUntil(int wanted, std::vector<int>* cleared, int limit = 5000) {
    for (int i = 1; i <= limit; ++i) {
      if (flow.scene == StageReady) {
        press(620, 470);
      } else {
        const Scene was = flow.scene;
        frame();
        if (was != StageClear && flow.scene == StageClear) cleared->push_back(flow.stageNumber);
      }
      if (flow.scene == wanted) return i;
    }
    return -1;
  }
};

TEST_F(PackRules, ThreeClearsFromStageOneGiveAllClear) {
  begin();
  // The selector runs 1..3.
  for (int i = 0; i < 5; ++i) {
    pressItem(TitleAction::NextStage);
    frame();
  }
  EXPECT_EQ(flow.stageNumber, 3);
  for (int i = 0; i < 5; ++i) {
    pressItem(TitleAction::PreviousStage);
    frame();
  }
  EXPECT_EQ(flow.stageNumber, 1);
  pressItem(TitleAction::Start);
  std::vector<int> cleared;
  ASSERT_GT(playUntil(AllClear, &cleared), 0);
  EXPECT_EQ(cleared, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(countOf("music load midi/a005pop4.mid"), 1);
  // Progress is the pack's, not the built-in stages'.
  EXPECT_GT(bestTimeOf(3), 0);
  EXPECT_EQ(progress.bestTime[3], 0);
  ASSERT_EQ(progress.packTimes.count("Three"), 1u);
}

TEST_F(PackRules, AGameStartedFurtherOnWrapsToStageOne) {
  begin();
  pressItem(TitleAction::NextStage);
  frame();
  ASSERT_EQ(flow.stageNumber, 2);
  pressItem(TitleAction::Start);
  std::vector<int> cleared;
  // Stages 2 and 3, then stage 1 again and on: never ALL CLEAR.
  for (int i = 0; i < 5000 && cleared.size() < 4; ++i) {
    if (flow.scene == StageReady) {
      press(620, 470);
    } else {
      const Scene was = flow.scene;
      frame();
      if (was != StageClear && flow.scene == StageClear) cleared.push_back(flow.stageNumber);
    }
    ASSERT_NE(flow.scene, AllClear);
  }
  EXPECT_EQ(cleared, (std::vector<int>{2, 3, 1, 2}));
}

TEST_F(PackRules, TheTitleShowsThePackLineOnlyWhenThereIsMoreThanOnePack) {
  useRealSheets();
  // The built-in pack alone: the title is drawn as it always was.
  std::vector<uint8_t> alone, before;
  auto canvas = [] {
    return std::vector<uint8_t>(&FrameCanvas[0][0], &FrameCanvas[0][0] + sizeof FrameCanvas);
  };
  const PackState withPacks = packState;
  packState = PackState{};
  begin();
  before = canvas();
  findPacks((dir_ / "none").string(), (dir_ / "none").string());
  begin();
  alone = canvas();
  EXPECT_EQ(alone, before);

  // With another pack the PACK line appears on row 26, and nothing else changes.
  packState = withPacks;
  choosePack(0);
  begin();
  const std::vector<uint8_t> shown = canvas();
  for (int y = 0; y < CanvasHeight; ++y) {
    const bool packRow = y / TextCell == 26;
    const bool same = std::memcmp(&shown[static_cast<size_t>(y) * CanvasWidth], &alone[static_cast<size_t>(y) * CanvasWidth],
                                  CanvasWidth) == 0;
    if (!packRow) {
      EXPECT_TRUE(same) << "row of pixels " << y;
    }
  }
  EXPECT_NE(shown, alone);

  // Tab and a click on the line choose the next pack; the stage stays within it.
  flow.stageNumber = 40;
  key('\t');
  frame();
  EXPECT_EQ(currentPack().info.name, "Three");
  EXPECT_EQ(flow.stageNumber, 3);
  pressItem(TitleAction::NextPack);
  EXPECT_TRUE(currentPack().builtIn);
  releaseDisplay();
}

// Packs installed with the game (Extra) leave a fresh player's title as it
// was; the line comes with a clear, with another pack chosen (Tab chooses one
// whether the line shows or not), or with packs of the player's own.
TEST_F(PackRules, InstalledPacksShowTheLineOnlyOnceThePlayerGoesBeyondTheBuiltInStages) {
  useRealSheets();
  auto canvas = [] {
    return std::vector<uint8_t>(&FrameCanvas[0][0], &FrameCanvas[0][0] + sizeof FrameCanvas);
  };
  // Which rows of text differ from the title of the built-in pack alone.
  std::vector<uint8_t> alone;
  auto rowsChanged = [&] {
    std::vector<int> rows;
    const std::vector<uint8_t> now = canvas();
    for (int row = 0; row < CanvasHeight / TextCell; ++row) {
      const size_t from = static_cast<size_t>(row) * TextCell * CanvasWidth, n = TextCell * CanvasWidth;
      if (std::memcmp(&now[from], &alone[from], n) != 0) rows.push_back(row);
    }
    return rows;
  };
  findPacks((dir_ / "none").string(), (dir_ / "none").string());
  begin();
  alone = canvas();

  writePack(installed() / "extra", "Extra", 2);
  findPacks(installed().string(), (dir_ / "none").string());
  ASSERT_EQ(packState.packs.size(), 2u);
  begin();
  EXPECT_EQ(rowsChanged(), std::vector<int>{}) << "a fresh player's title, with Extra installed";
  EXPECT_EQ(titleItemAt(13, 26), nullptr) << "no line to click";

  key('\t');
  frame();
  EXPECT_EQ(currentPack().info.name, "Extra");
  begin();
  EXPECT_EQ(rowsChanged(), std::vector<int>{26});
  key('\t');
  frame();
  EXPECT_TRUE(currentPack().builtIn);
  begin();
  EXPECT_EQ(rowsChanged(), std::vector<int>{});

  // A clear: the progress row and the PACK line come together.
  progress.bestTime[1] = 40;
  begin();
  EXPECT_EQ(rowsChanged(), (std::vector<int>{21, 26}));
  pressItem(TitleAction::NextPack);
  EXPECT_EQ(currentPack().info.name, "Extra");
  moveTo(320, 240);  // where the pointer was for the first picture
  choosePack(0);
  progress = Progress{};
  progress.packTimes["Extra"][2] = 30;  // cleared in Extra only
  begin();
  EXPECT_EQ(rowsChanged(), std::vector<int>{26});

  // Packs of the player's own.
  progress = Progress{};
  writePack(user() / "mine", "Mine", 1);
  findTestPacks();
  begin();
  EXPECT_EQ(rowsChanged(), std::vector<int>{26});
  releaseDisplay();
}

TEST_F(PackRules, TheBrowserMovesWithKeysAndPointerAndStartsTheChosenStage) {
  writePack(user() / "many", "Many", 60);
  findTestPacks();
  choosePack(packIndex("Many"));
  begin();
  eventLog().clear();
  key('b');
  frame();
  ASSERT_EQ(flow.scene, StageBrowser);
  EXPECT_EQ(flow.browserChoice, 0);
  key(SysKeyRight);
  frame();
  key(SysKeyDown);
  frame();
  EXPECT_EQ(flow.browserChoice, 11);
  key(SysKeyUp);
  frame();
  key(SysKeyUp);  // at the top row: stays
  frame();
  key(SysKeyLeft);
  frame();
  key(SysKeyLeft);
  frame();
  EXPECT_EQ(flow.browserChoice, 0);
  // The second page holds stages 51..60.
  key(SysKeyPageDown);
  frame();
  EXPECT_EQ(flow.browserChoice, 50);
  key(SysKeyPageDown);
  frame();
  EXPECT_EQ(flow.browserChoice, 59);
  key(SysKeyPageUp);
  frame();
  EXPECT_EQ(flow.browserChoice, 9);

  // Escape goes back to the title as it was: its song plays on.
  key(SysKeyEscape);
  frame();
  EXPECT_EQ(flow.scene, Title);
  EXPECT_EQ(countOf("music load midi/a004pop3.mid"), 0);
  EXPECT_EQ(flow.stageNumber, 1);

  // A click on the stage number opens it; the pointer chooses; a click starts.
  pressItem(TitleAction::Browse);
  frame();
  ASSERT_EQ(flow.scene, StageBrowser);
  moveTo(3 * 64 + 30, 16 * (2 + 4) + 20);  // the fourth picture of the second row
  frame();
  EXPECT_EQ(flow.browserChoice, 13);
  key(SysKeyRight);  // the keys move on from there while the pointer rests
  frame();
  frame();
  EXPECT_EQ(flow.browserChoice, 14);
  press(5 * 64 + 30, 16 * 2 + 20);  // the sixth picture of the first row
  EXPECT_EQ(flow.scene, StageReady);
  EXPECT_EQ(flow.stageNumber, 6);

  // Enter starts the chosen stage too.
  resetGameForTest();
  findTestPacks();
  choosePack(packIndex("Many"));
  begin();
  key('b');
  frame();
  key(SysKeyDown);
  frame();
  key(SysKeyEnter);
  frame();
  EXPECT_EQ(flow.scene, NewGame);
  EXPECT_EQ(flow.stageNumber, 11);
}

TEST_F(PackRules, PicturesAreTheStagesFirstFramesAndLeaveTheWorldAsItWas) {
  useRealSheets();
  writeStage(1, goalTiles, walkerAt1);
  loadStage(1);
  const Walker walkerBefore = walker;
  uint8_t mapBefore[StageMapSize];
  std::memcpy(mapBefore, stageMap, StageMapSize);
  std::vector<uint8_t> picture(PictureWidth * PictureHeight, 0xEE);
  char title[21];
  ASSERT_TRUE(makeStagePicture(2, picture.data(), title));
  EXPECT_EQ(std::memcmp(mapBefore, stageMap, StageMapSize), 0);
  EXPECT_EQ(walker.x, walkerBefore.x);
  EXPECT_EQ(walker.walkPhase, walkerBefore.walkPhase);
  // Not one colour: walls, floor and backdrop show.
  int colours = 0;
  bool seen[256] = {};
  for (uint8_t p : picture) colours += !seen[p], seen[p] = true;
  EXPECT_GT(colours, 2);
  // A stage that is missing gives a black picture, and says so.
  EXPECT_FALSE(makeStagePicture(4, picture.data(), title));
  EXPECT_EQ(picture, std::vector<uint8_t>(PictureWidth * PictureHeight, 0));
  releaseDisplay();
}

class PackProgress : public PackTest {};

TEST_F(PackProgress, EachPackKeepsItsOwnSectionAndTheOldFileIsTheBuiltInPacks) {
  // Today's file, with no section but [cleared], is the built-in pack's.
  Progress p;
  ASSERT_TRUE(parseProgress("[cleared]\n01 = 40\n50 = 3\n", &p));
  EXPECT_EQ(p.bestTime[1], 40);
  EXPECT_EQ(p.bestTime[50], 3);
  EXPECT_TRUE(p.packTimes.empty());
  // With the built-in pack alone the file is written as it always was.
  EXPECT_EQ(formatProgress(p),
            "; Wendlop: the stages cleared, with the most TIME left at a clear.\n[cleared]\n01 = 40\n50 = 3\n");

  p.packTimes["My Pack"][99] = 12;
  p.packTimes["Other"][2] = 60;
  const std::string text = formatProgress(p);
  EXPECT_NE(text.find("[pack My Pack]\n99 = 12\n"), std::string::npos) << text;
  Progress back;
  ASSERT_TRUE(parseProgress(text, &back));
  EXPECT_TRUE(back == p);
  for (const char* bad : {"[pack ]\n01 = 3\n", "[pack My Pack]\n100 = 3\n", "[pack a/b]\n01 = 3\n",
                          "[packs X]\n01 = 3\n"})
    EXPECT_FALSE(parseProgress(bad, &back)) << bad;

  // A clear is noted for the pack being played, and written at once.
  writePack(user() / "mine", "Mine", 3);
  findTestPacks();
  const std::string file = (dir_ / "progress").string();
  setProgressFile(file);
  loadProgress();
  EXPECT_TRUE(noteClear(5, 30));  // the built-in pack's
  choosePack(packIndex("Mine"));
  EXPECT_FALSE(anyProgress());
  EXPECT_FALSE(noteClear(4, 30));  // no stage 4 in this pack
  EXPECT_TRUE(noteClear(2, 30));
  EXPECT_TRUE(noteClear(2, 20));  // not better
  EXPECT_EQ(bestTimeOf(2), 30);
  EXPECT_TRUE(anyProgress());
  EXPECT_EQ(read(file),
            "; Wendlop: the stages cleared, with the most TIME left at a clear.\n[cleared]\n05 = 30\n"
            "[pack Mine]\n02 = 30\n");
  setProgressFile("");
}

}  // namespace
