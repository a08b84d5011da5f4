// The hazard path preview: running the world ahead leaves the game as it was
// and foretells what play without clicks does; Tab draws the paths only while
// it is held, over the waiting stage and over the paused one, whose panel it
// hides; and the panel keeps out of the walker's way.
#include "app/preview.h"

#include <cstdlib>

#include "app/controls.h"
#include "display/display.h"
#include "display/surface.h"
#include "world/game_fixture.h"

using namespace testgame;

namespace {

// The game as a frame leaves it, without the clock, which frames and pauses
// move on by themselves.
GameSnapshot stateOfTheGame() {
  GameSnapshot s;
  saveGame(&s);
  s.frameClock = FrameClock{};
  return s;
}

std::vector<uint8_t> canvas() {
  const uint8_t* p = &FrameCanvas[0][0];
  return std::vector<uint8_t>(p, p + sizeof FrameCanvas);
}

// Every stage of the set, from its waiting picture: each hazard is where its
// path said after every Playing frame of play without clicks, the first five
// seconds or until the attempt ends, and looking ahead changed nothing.
TEST(PathPreview, ForetellsEveryStageWithoutChangingIt) {
  resetGameForTest();
  ASSERT_TRUE(sysChangeDirectory(WENDLOP_SOURCE_DIR "/data"));
  for (int stage = 1; stage <= LastStage; ++stage) {
    startDemonstration(stage, "", false);
    frameClock.frameSkip = 10;  // the pictures play no part
    for (int i = 0; i < 8 && flow.scene != Playing; ++i) runFrameWork();
    ASSERT_EQ(flow.scene, Playing) << "stage " << stage;
    const GameSnapshot waiting = stateOfTheGame();
    const std::vector<HazardPath> paths = lookAhead(PreviewFrames);
    ASSERT_TRUE(waiting == stateOfTheGame()) << "looking ahead changed stage " << stage;
    ASSERT_EQ(static_cast<int>(paths.size()), hazardTable.hazardCount) << "stage " << stage;
    for (size_t f = 0; f < PreviewFrames && flow.scene == Playing; ++f) {
      runFrameWork();
      for (const HazardPath& p : paths) {
        const Hazard& h = hazardTable.hazards[p.hazard];
        if (f < p.x.size()) {
          ASSERT_EQ(h.x, p.x[f]) << "stage " << stage << " hazard " << p.hazard << " frame " << f;
          ASSERT_EQ(h.y, p.y[f]) << "stage " << stage << " hazard " << p.hazard << " frame " << f;
        } else {
          ASSERT_EQ(h.state, HazardStopped) << "stage " << stage << " hazard " << p.hazard << " frame " << f;
        }
      }
    }
  }
  resetGameForTest();
}

TEST(PathPreview, AHazardGoneFromTheTopRowEndsItsPath) {
  resetGameForTest();
  hazardTable.hazardCount = 1;
  Hazard& h = hazardTable.hazards[0];
  h = Hazard{};
  // One cell below the top row, rising a pixel a frame through open space.
  h.col = 3;
  h.row = 1;
  h.x = static_cast<uint16_t>(3 * CellSize - 16);
  h.y = static_cast<uint16_t>(CellSize - 16);
  h.dy = -1;
  h.drow = -1;
  h.stepsPerCell = CellSize;
  h.state = HazardChoosing;
  h.period = 1;
  const std::vector<HazardPath> paths = lookAhead(100);
  ASSERT_EQ(paths.size(), 1u);
  // A frame to choose, 32 to cross: gone in row 0 on the 33rd.
  EXPECT_EQ(paths[0].y.size(), 32u);
  EXPECT_EQ(paths[0].y.back(), static_cast<uint16_t>(CellSize - 16 - 31));  // above the picture
  EXPECT_EQ(hazardTable.hazards[0].row, 1);
  resetGameForTest();
}

class PreviewOnScreen : public GameTest {
 protected:
  void SetUp() override {
    GameTest::SetUp();
    resetControls();
    ASSERT_TRUE(sysChangeDirectory(WENDLOP_SOURCE_DIR "/data"));
    ASSERT_TRUE(initDisplay());
  }
  void TearDown() override {
    releaseDisplay();
    resetControls();
    GameTest::TearDown();
  }
  void key(uint32_t k) { windowProcedure(SysEvent{SysMsgKeyDown, k}); }
  void keyUp(uint32_t k) { windowProcedure(SysEvent{SysMsgKeyUp, k}); }
  // A real game's start of `stage`, waiting for its click.
  void waitAt(int stage) {
    resetGameForTest();
    resetControls();
    initGameValues();
    flow.stageNumber = stage;
    setScene(NewGame);
    frames(2);
    ASSERT_EQ(flow.scene, StageReady);
  }
};

// The same frames of a waiting stage with Tab up, and with Tab held for some:
// the same game after each, a different picture only while the key is down.
TEST_F(PreviewOnScreen, TabChangesTheWaitingPictureOnlyWhileHeld) {
  waitAt(14);
  std::vector<GameSnapshot> states;
  std::vector<std::vector<uint8_t>> pictures;
  for (int i = 0; i < 6; ++i) {
    frame();
    states.push_back(stateOfTheGame());
    pictures.push_back(canvas());
  }
  waitAt(14);
  for (int i = 0; i < 6; ++i) {
    if (i == 2) key(SysKeyTab);
    if (i == 3) key(SysKeyTab);  // the key repeats while held
    if (i == 4) keyUp(SysKeyTab);
    frame();
    EXPECT_TRUE(states[size_t(i)] == stateOfTheGame()) << "frame " << i;
    if (i == 2 || i == 3)
      EXPECT_NE(pictures[size_t(i)], canvas()) << "frame " << i;
    else
      EXPECT_EQ(pictures[size_t(i)], canvas()) << "frame " << i;
  }
}

TEST_F(PreviewOnScreen, TabWhilePausedShowsTheStageAndThePathsInsteadOfThePanel) {
  for (int stage : {1, 14}) {  // without hazards and with one
    waitAt(stage);
    click(16, 16);
    moveTo(600, 460);  // the cursor away from the walker, pointing the same way all along
    frames(30);
    ASSERT_EQ(flow.scene, Playing);
    const auto inPlay = canvas();
    const GameSnapshot held = stateOfTheGame();
    key('p');
    ASSERT_TRUE(pauseState.paused);
    const auto panel = canvas();
    EXPECT_NE(panel, inPlay);
    key(SysKeyTab);
    if (stage == 1)
      EXPECT_EQ(canvas(), inPlay);  // no hazard: the stage exactly as it stood
    else
      EXPECT_NE(canvas(), inPlay);
    EXPECT_NE(canvas(), panel);
    keyUp(SysKeyTab);
    EXPECT_EQ(canvas(), panel);
    // A key that goes up in another window is never seen: losing the focus
    // lets go of it.
    key(SysKeyTab);
    windowProcedure(SysEvent{SysMsgFocusLost, 0});
    EXPECT_FALSE(pathPreview.held);
    EXPECT_EQ(canvas(), panel);
    key('p');
    EXPECT_FALSE(pauseState.paused);
    EXPECT_EQ(canvas(), inPlay);
    EXPECT_TRUE(held == stateOfTheGame());
  }
}

// The panel hides the walker in neither place it can take, and its menu
// answers where it is drawn.
TEST_F(PreviewOnScreen, ThePanelKeepsClearOfTheWalker) {
  for (int walkerRow : {2, 12}) {
    std::vector<std::string> tiles(GridRows, "#..................#");
    tiles.front() = tiles.back() = tiles[size_t(walkerRow + 1)] = "####################";
    std::vector<std::string> objects(GridRows, "....................");
    objects[size_t(walkerRow)] = ".....>..............";
    writeStage(1, tiles, objects);
    ASSERT_TRUE(sysChangeDirectory(dir_.c_str()));
    resetGameForTest();
    resetControls();
    startPlaying(1);
    frame();
    key(SysKeyEscape);
    ASSERT_TRUE(pauseState.paused);
    const int top = pauseState.panelTop * TextCell;
    if (walkerRow == 2)
      EXPECT_GE(top, walker.y + CellSize) << "the panel hides the walker";
    else
      EXPECT_LE(top + 11 * TextCell, walker.y) << "the panel hides the walker";
    // CONTINUE by the pointer, on its line.
    buttonDown(16 * 14 + 8, 16 * pauseMenuRow(0) + 8);
    EXPECT_FALSE(pauseState.paused);
    buttonUp();
  }
}

}  // namespace
