// The game from the title on, run through the frame clock with a fake tick
// count and a scripted pointer: scenes, lives, music calls and sounds.
#include "world/game_fixture.h"

using namespace testgame;

namespace {

using Lines = std::vector<std::string>;

const Lines goalTiles = {"####################", "#.G................#"};
const Lines deadlyTiles = {"####################", "#.................1#", "##^#################"};
const Lines hazardTiles = {"####################", "#.................1#"};
const Lines pacingTiles = {"####################", "#...#.............1#"};
const Lines walkerAt1 = {"....................", ".>.................."};
const Lines walkerAndHazard = {"....................", ".>....k............."};

const std::string titleSong = "music load midi/a004pop3.mid";
const std::string stageSong = "music load midi/a002pop1.mid";
const std::string gameOverSong = "music load midi/a003pop2.mid";
const std::string allClearSong = "music load midi/a005pop4.mid";

class Flow : public GameTest {
 protected:
  // The program's start: the first frame enters the title.
  void begin() {
    initGameValues();
    flow.scene = Title;
    frame();
    ASSERT_EQ(flow.scene, Title);
  }
  // The middle of the title item that does `action`, in pixels.
  static void itemPoint(TitleAction action, int* x, int* y) {
    for (int i = 0; i < titleItemCount; ++i) {
      const TitleItem& item = titleItems[i];
      if (item.action != action) continue;
      *x = 16 * (item.column + item.width / 2) + 8;
      *y = 16 * item.row + 8;
      return;
    }
    ADD_FAILURE() << "no title item does this";
  }
  // A press on the title item, held for one frame.
  void pressTitle(TitleAction action) {
    int x = 0, y = 0;
    itemPoint(action, &x, &y);
    buttonDown(x, y);
    frame();
    buttonUp();
  }
  void pressStart() { pressTitle(TitleAction::Start); }
  void pressDemo() { pressTitle(TitleAction::Demo); }
  // A press on a wall in the bottom-right corner: starts a stage, ends the
  // game over and all clear pictures, and touches nothing else.
  void pressAnywhere() {
    buttonDown(620, 470);
    frame();
    buttonUp();
  }
  // Frames until `wanted`, pressing to start every stage.
  int playUntil(int wanted, int limit = 20000) {
    for (int i = 1; i <= limit; ++i) {
      if (flow.scene == StageReady && !flow.demoPlayback) {
        pressAnywhere();
      } else {
        frame();
      }
      if (flow.scene == wanted) return i;
    }
    return -1;
  }
};

TEST_F(Flow, TitleStartClearAndTheNextStage) {
  writeStage(1, goalTiles, walkerAt1);
  writeStage(2, goalTiles, walkerAt1);
  begin();
  EXPECT_EQ(eventLog(), (Lines{titleSong, "music play"}));
  EXPECT_EQ(flow.stageNumber, 1);
  EXPECT_EQ(flow.lives, 0);

  // The button held from the title into the stage does not start it.
  int startX = 0, startY = 0;
  itemPoint(TitleAction::Start, &startX, &startY);
  buttonDown(startX, startY);
  frame();
  EXPECT_EQ(flow.scene, NewGame);
  frames(5);
  EXPECT_EQ(flow.scene, StageReady);
  EXPECT_EQ(flow.lives, 3);
  EXPECT_EQ(flow.timeLeft, 60);
  buttonUp();
  frame();
  EXPECT_EQ(flow.scene, StageReady);
  pressAnywhere();
  EXPECT_EQ(flow.scene, Playing);
  EXPECT_EQ(framesUntil(StageClear), 48);
  EXPECT_EQ(framesUntil(StageReady), 120);  // the CLEAR! picture stands two seconds
  frame();
  EXPECT_EQ(flow.stageNumber, 2);
  EXPECT_EQ(flow.stagesCleared, 1);
  EXPECT_EQ(walker.col, 1);  // stage 2 is loaded
  EXPECT_EQ(eventLog(), (Lines{titleSong, "music play", "fx 2", "music stop", "music unload", stageSong, "music play",
                               "fx 7", stageSong, "music play"}));
}

TEST_F(Flow, ALifeIsLostThreeWays) {
  struct Cause {
    const char* name;
    const Lines& tiles;
    const Lines& objects;
    int playingFrames;
  };
  const Cause causes[] = {{"deadly floor", deadlyTiles, walkerAt1, 16},
                          {"hazard", hazardTiles, walkerAndHazard, 46},
                          {"time", pacingTiles, walkerAt1, 3600}};
  for (const Cause& cause : causes) {
    SCOPED_TRACE(cause.name);
    resetGameForTest();
    writeStage(1, cause.tiles, cause.objects);
    begin();
    pressStart();
    playUntil(Playing);
    // A switch block clicked in the lost attempt comes back with the restart;
    // the click follows the frame that sees the start's release.
    frame();
    buttonDown(18 * 32 + 16, 32 + 16);
    frame();
    buttonUp();
    ASSERT_EQ(tileAt(1, 18), 35);
    eventLog().clear();
    EXPECT_EQ(framesUntil(Miss), cause.playingFrames - 2);
    EXPECT_EQ(flow.lives, 3);
    EXPECT_EQ(framesUntil(MissFall), 60);
    EXPECT_EQ(flow.lives, 2);
    const int falling = framesUntil(MissWait, 200);
    EXPECT_GT(falling, 30);
    EXPECT_GT(walker.y, 600);
    EXPECT_EQ(walker.state, Dead);
    EXPECT_EQ(framesUntil(StageReady), 90);
    frame();
    EXPECT_EQ(tileAt(1, 18), 1);
    EXPECT_EQ(flow.timeLeft, 60);
    EXPECT_EQ(flow.stars, 0);
    Lines expected;
    if (std::string(cause.name) == "time") {
      for (int i = 0; i < 10; ++i) expected.push_back("fx 12");
    }
    for (const char* e : {"music stop", "fx 11", "fx 8"}) expected.push_back(e);
    expected.push_back(stageSong);
    expected.push_back("music play");
    EXPECT_EQ(eventLog(), expected);
  }
}

TEST_F(Flow, TimeLimitSoundsFromTenToOne) {
  writeStage(1, pacingTiles, walkerAt1);
  begin();
  pressStart();
  playUntil(Playing);
  std::vector<int> warnedAt;
  for (int f = 1; flow.scene == Playing && f <= 4000; ++f) {
    const int before = countOf("fx 12");
    frame();
    if (countOf("fx 12") != before) warnedAt.push_back(flow.timeLeft);
  }
  EXPECT_EQ(warnedAt, (std::vector<int>{10, 9, 8, 7, 6, 5, 4, 3, 2, 1}));
  EXPECT_EQ(flow.scene, Miss);
  EXPECT_EQ(flow.timeLeft, 0);
}

TEST_F(Flow, TimeFramesCarryOver) {
  // Lost at Playing frame 16: the restarted attempt's first unit is 44 frames.
  writeStage(1, deadlyTiles, walkerAt1);
  begin();
  pressStart();
  playUntil(Playing);
  EXPECT_EQ(framesUntil(Miss), 16);
  EXPECT_EQ(flow.timeFrames, 16);
  writeStage(1, pacingTiles, walkerAt1);  // the restart reads the map again
  playUntil(Playing);
  EXPECT_EQ(flow.timeFrames, 16);
  int f = 0;
  while (flow.timeLeft == 60 && f < 100) {
    frame();
    ++f;
  }
  EXPECT_EQ(f, 44);

  // Standing on the goal stops TIME but not the count: the next stage's first
  // frame lowers TIME at once.
  resetGameForTest();
  const Lines farGoal = {"####################", "#...G..............#"};
  writeStage(1, farGoal, walkerAt1);
  writeStage(2, farGoal, walkerAt1);
  begin();
  pressStart();
  playUntil(Playing);
  EXPECT_EQ(flow.timeFrames, 0);
  EXPECT_EQ(framesUntil(StageClear), 80);
  EXPECT_EQ(flow.timeLeft, 60);
  EXPECT_EQ(flow.timeFrames, 80);
  playUntil(Playing);
  frame();
  EXPECT_EQ(flow.timeLeft, 59);
  EXPECT_EQ(flow.timeFrames, 0);
}

TEST_F(Flow, StarsAndTheExtraLife) {
  writeStage(1, {"####################", "#.*****G...........#"}, walkerAt1);
  begin();
  pressStart();
  playUntil(Playing);
  eventLog().clear();
  frames(63);
  EXPECT_EQ(flow.stars, 3);
  EXPECT_EQ(flow.bonus.bonusFrame, 0);
  frame();  // the fourth
  EXPECT_EQ(flow.stars, 4);
  EXPECT_EQ(flow.lives, 4);
  EXPECT_EQ(flow.bonus.bonusFrame, 17);
  EXPECT_EQ(flow.bonus.bonusX, 160);
  EXPECT_EQ(flow.bonus.bonusY, 32);
  EXPECT_EQ(flow.bonus.bonusTimer, 40);
  EXPECT_EQ(tileAt(1, 5), 0);
  frame();
  EXPECT_EQ(flow.bonus.bonusY, 31);
  frames(15);  // the fifth: a plain star sound, no life
  EXPECT_EQ(flow.stars, 5);
  EXPECT_EQ(flow.lives, 4);
  EXPECT_EQ(eventsOf("fx"), (Lines{"fx 0", "fx 0", "fx 0", "fx 6", "fx 0"}));
  frames(24);
  EXPECT_EQ(flow.bonus.bonusFrame, 0);  // drawn on 40 frames
  EXPECT_EQ(flow.bonus.bonusY, -8);
}

TEST_F(Flow, GameOverReturnsToTheStageWhereItEnded) {
  writeStage(1, goalTiles, walkerAt1);
  writeStage(2, deadlyTiles, walkerAt1);
  begin();
  // DRAG OFF before the game does not survive the return to the title.
  pressTitle(TitleAction::Drag);
  EXPECT_EQ(flow.dragMode, 0);
  frame();
  pressStart();
  EXPECT_EQ(flow.dragMode, 0);
  eventLog().clear();
  ASSERT_GT(playUntil(GameOver), 0);
  EXPECT_EQ(flow.stageNumber, 2);
  EXPECT_EQ(flow.lives, 0);
  EXPECT_EQ(countOf("fx 11"), 3);
  frames(30);
  EXPECT_EQ(flow.scene, GameOver);
  const size_t before = eventLog().size();
  pressAnywhere();
  EXPECT_EQ(flow.scene, Title);
  frame();
  EXPECT_EQ(flow.stageNumber, 2);
  EXPECT_EQ(flow.dragMode, 1);
  const Lines tail(eventLog().end() - 10, eventLog().end());
  EXPECT_EQ(tail, (Lines{"music stop", "fx 11", "fx 8", "music unload", gameOverSong, "music play", "music stop",
                         "music unload", titleSong, "music play"}));
  EXPECT_EQ(eventLog().size(), before + 4);
}

TEST_F(Flow, FiftyClearsToAllClear) {
  for (int n = 1; n <= 50; ++n) writeStage(n, goalTiles, walkerAt1);
  begin();
  pressStart();
  ASSERT_GT(playUntil(AllClear, 20000), 0);
  EXPECT_EQ(countOf("fx 7"), 50);
  EXPECT_EQ(flow.stageNumber, 1);
  EXPECT_EQ(flow.stagesCleared, 0);
  const Lines tail(eventLog().end() - 3, eventLog().end());
  EXPECT_EQ(tail, (Lines{"music unload", allClearSong, "music play"}));
  frames(10);
  EXPECT_EQ(flow.scene, AllClear);
  eventLog().clear();
  pressAnywhere();
  EXPECT_EQ(flow.scene, Title);
  frame();
  EXPECT_EQ(flow.stageNumber, 1);
  EXPECT_EQ(eventLog(), (Lines{"music stop", "music unload", titleSong, "music play"}));
}

TEST_F(Flow, AGameStartedLateWrapsToStageOne) {
  for (int n = 1; n <= 50; ++n) writeStage(n, goalTiles, walkerAt1);
  begin();
  flow.stageNumber = 49;
  pressStart();
  ASSERT_GT(playUntil(StageClear), 0);
  ASSERT_GT(playUntil(StageReady), 0);
  ASSERT_GT(playUntil(StageClear), 0);
  EXPECT_EQ(flow.stageNumber, 50);
  flow.lives = 5;
  // Stage 51 does not exist, and only two stages were cleared: stage 1 next.
  int f = 0;
  while (flow.scene != Playing && f++ < 200) frame();
  EXPECT_EQ(flow.stageNumber, 1);
  EXPECT_EQ(flow.stagesCleared, 0);
  EXPECT_EQ(flow.scene, StageReady);
  EXPECT_EQ(walker.col, 1);
  pressAnywhere();
  EXPECT_EQ(flow.scene, Playing);
  EXPECT_EQ(flow.lives, 5);
}

TEST_F(Flow, SkipPhaseAdvancesOnlyWhereItShould) {
  writeStage(1, deadlyTiles, walkerAt1);
  frameClock.frameSkip = 3;
  begin();
  EXPECT_EQ(frameClock.skipPhase, 1);  // the title advances it
  frame();
  EXPECT_EQ(frameClock.skipPhase, 2);
  pressStart();
  frame();  // NewGame starts every game drawn
  EXPECT_EQ(frameClock.skipPhase, 0);
  pressAnywhere();  // StageReady leaves it
  EXPECT_EQ(frameClock.skipPhase, 0);
  std::vector<int> phases;
  while (flow.scene == Playing) {
    frame();
    phases.push_back(frameClock.skipPhase);
  }
  EXPECT_EQ(phases.size(), 16u);
  EXPECT_EQ((std::vector<int>(phases.begin(), phases.begin() + 4)), (std::vector<int>{1, 2, 0, 1}));
  frame();  // the Miss picture is always drawn
  EXPECT_EQ(flow.scene, Miss);
  EXPECT_EQ(frameClock.skipPhase, 0);
  framesUntil(MissFall);
  frame();
  EXPECT_EQ(frameClock.skipPhase, 1);
  framesUntil(MissWait);
  frame();
  EXPECT_EQ(frameClock.skipPhase, 0);
}

TEST_F(Flow, StageSelectorRepeatsWhileHeld) {
  begin();
  flow.stageNumber = 48;
  eventLog().clear();
  int nextX = 0, nextY = 0, previousX = 0, previousY = 0;
  itemPoint(TitleAction::NextStage, &nextX, &nextY);
  itemPoint(TitleAction::PreviousStage, &previousX, &previousY);
  buttonDown(nextX, nextY);
  std::vector<int> shown;
  for (int f = 1; f <= 40; ++f) {
    frame();
    shown.push_back(flow.stageNumber);
  }
  EXPECT_EQ(shown[0], 49);
  EXPECT_EQ(shown[33], 49);  // frame 34
  EXPECT_EQ(shown[34], 50);  // frame 35
  EXPECT_EQ(shown[39], 50);
  EXPECT_EQ(eventLog(), (Lines{"fx 9", "fx 9"}));
  // Held elsewhere for 35 frames, then moved onto the other arrow: a step on
  // every frame.
  moveTo(0, 0);
  frames(3);
  moveTo(previousX, previousY);
  frame();
  EXPECT_EQ(flow.stageNumber, 49);
  frame();
  EXPECT_EQ(flow.stageNumber, 48);
  buttonUp();
  frame();
  frame();
  EXPECT_EQ(flow.stageNumber, 48);
  // Stage 1 does not go lower.
  flow.stageNumber = 1;
  eventLog().clear();
  pressTitle(TitleAction::PreviousStage);
  EXPECT_EQ(flow.stageNumber, 1);
  EXPECT_TRUE(eventLog().empty());
}

TEST_F(Flow, DragSettingAtTitleEntries) {
  begin();
  pressTitle(TitleAction::Drag);
  EXPECT_EQ(flow.dragMode, 0);
  EXPECT_EQ(eventLog().back(), "fx 11");
  frame();
  // DEMO without a replay file: back to the title, which keeps the setting
  // saved when DEMO was chosen.
  pressDemo();
  EXPECT_EQ(flow.scene, DemoStart);
  EXPECT_EQ(flow.savedDragMode, 0);
  frame();
  EXPECT_EQ(flow.scene, Title);
  frame();
  EXPECT_EQ(flow.dragMode, 0);
  EXPECT_FALSE(flow.demoPlayback);
  pressTitle(TitleAction::Drag);
  EXPECT_EQ(flow.dragMode, 1);

  // A recording run: DRAG forced OFF, and DEMO and the DRAG field do nothing.
  resetGameForTest();
  flow.recording = true;
  begin();
  EXPECT_EQ(flow.dragMode, 0);
  eventLog().clear();
  pressTitle(TitleAction::Drag);
  frame();
  pressDemo();
  frame();
  EXPECT_EQ(flow.dragMode, 0);
  EXPECT_EQ(flow.scene, Title);
  EXPECT_TRUE(eventLog().empty());
}

TEST_F(Flow, WithoutStageOneTheDemoGoesBackToTheTitle) {
  std::vector<uint8_t> zeros(ReplayBytes, 0);
  writeFile("replay/01.dat", zeros.data(), zeros.size());
  begin();
  pressStart();
  EXPECT_EQ(framesUntil(Title, 20), 5);  // NewGame, StageReady, DemoStart, NewGame, StageReady
  frames(100);
  EXPECT_EQ(flow.scene, Title);
  EXPECT_FALSE(flow.demoPlayback);
  EXPECT_EQ(flow.stageNumber, 1);
  EXPECT_EQ(eventLog(), (Lines{titleSong, "music play", "fx 2", "music stop", "music unload", "music stop",
                               "music stop", titleSong, "music play"}));

  // Without a replay either: DemoStart goes to the title at once.
  std::filesystem::remove(dir_ / "replay" / "01.dat");
  pressStart();
  EXPECT_EQ(framesUntil(Title, 20), 3);
}

}  // namespace

// Every text cell an item covers acts on it, and the cells around it do not:
// what the title draws is where it may be pressed.
TEST_F(Flow, TitleItemsActOverTheCellsTheyAreDrawnIn) {
  writeStage(1, goalTiles, walkerAt1);
  for (int i = 0; i < titleItemCount; ++i) {
    const TitleItem& item = titleItems[i];
    if (item.action == TitleAction::None || !titleItemShown(item)) continue;
    for (int column = item.column - 1; column <= item.column + item.width; ++column) {
      const bool inside = column >= item.column && column < item.column + item.width;
      for (int y : {16 * item.row, 16 * item.row + 15}) {
        begin();
        flow.stageNumber = 2;
        eventLog().clear();
        buttonDown(16 * column + (inside ? 15 : 8), y);
        frame();
        buttonUp();
        const TitleItem* under = titleItemAt(column, item.row);
        const TitleAction acted = flow.scene == NewGame        ? TitleAction::Start
                                  : flow.scene == DemoStart    ? TitleAction::Demo
                                  : flow.scene == StageBrowser ? TitleAction::Browse
                                  : !flow.dragMode          ? TitleAction::Drag
                                  : flow.stageNumber == 1   ? TitleAction::PreviousStage
                                  : flow.stageNumber == 3   ? TitleAction::NextStage
                                                            : TitleAction::None;
        EXPECT_EQ(acted, under ? under->action : TitleAction::None) << "item " << i << " column " << column;
        if (inside) {
          EXPECT_EQ(acted, item.action) << "item " << i << " column " << column;
        }
        resetGameForTest();
      }
    }
  }
}

