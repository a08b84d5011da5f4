// The walker and the pointer, as small stages played frame by frame through the
// real Playing step. Frame n below is the n-th Playing frame of the attempt.
#include "world/game_fixture.h"

using namespace testgame;

namespace {

class Scenario : public GameTest {
 protected:
  int played = 0;

  void start(std::vector<std::string> tiles, std::vector<std::string> objects) {
    writeStage(1, std::move(tiles), std::move(objects));
    restart();
  }
  void restart() {
    played = 0;
    startPlaying(1);
  }
  void playTo(int n) {
    while (played < n) {
      frame();
      ++played;
    }
  }
  // A press in frame n at (x, y); the button goes up afterwards.
  void pressAt(int n, int x, int y) {
    playTo(n - 1);
    buttonDown(x, y);
    playTo(n);
    buttonUp();
  }
  // A press in frame n on the walker (where it stands before that frame), or
  // on the cell above it, which its click box also covers.
  void pressWalker(int n, int dy = 16) {
    playTo(n - 1);
    pressAt(n, walker.x + 16, walker.y + dy);
  }
  int tile(int row, int col) { return tileAt(row, col); }
};

TEST_F(Scenario, GoalWithAWallBehindIt) {
  start({"####################", "#......G############"}, {"....................", ".....>.............."});
  playTo(31);
  EXPECT_EQ(walker.state, WalkRight);
  playTo(32);  // arrives in the goal, and the wall turns it at once
  EXPECT_EQ(walker.state, Turning);
  EXPECT_EQ(walker.resumeState, WalkLeft);
  EXPECT_EQ(walker.col, 8);
  EXPECT_EQ(walker.x, 226);
  EXPECT_EQ(walker.timer, 10);
  EXPECT_EQ(walker.clickCooldown, 13);
  playTo(41);
  EXPECT_EQ(walker.state, Turning);
  playTo(42);
  EXPECT_EQ(walker.state, WalkLeft);
  playTo(43);  // one step back into the goal from the other side
  EXPECT_EQ(walker.state, AtGoal);
  EXPECT_EQ(walker.col, 7);
  EXPECT_EQ(walker.x, 224);
  EXPECT_EQ(walker.timer, 32);
  playTo(74);
  EXPECT_EQ(flow.scene, Playing);
  playTo(75);
  EXPECT_EQ(flow.scene, StageClear);
}

TEST_F(Scenario, FallingIntoAGoal) {
  const std::vector<std::string> objects = {"....................", ".>.................."};
  // Nothing below the goal: it stops there in mid-air.
  start({"####################", "#..................#", "###G...............#", "#..................#"},
        objects);
  playTo(16);
  EXPECT_EQ(walker.state, LedgeRight);
  EXPECT_EQ(walker.col, 2);
  playTo(63);
  EXPECT_EQ(walker.state, LedgeRight);
  EXPECT_EQ(countOf("fx 1"), 0);
  playTo(64);  // steps a whole cell ahead and falls
  EXPECT_EQ(walker.state, Falling);
  EXPECT_EQ(walker.x, 96);
  EXPECT_EQ(walker.col, 3);
  EXPECT_EQ(countOf("fx 1"), 1);
  playTo(71);
  EXPECT_EQ(walker.y, 60);
  playTo(72);
  EXPECT_EQ(walker.state, AtGoal);
  EXPECT_EQ(walker.row, 2);
  EXPECT_EQ(walker.y, 64);
  playTo(104);
  EXPECT_EQ(flow.scene, StageClear);

  // Ground below and one side open: a landing, then the goal.
  start({"####################", "#..................#", "###G...............#"}, objects);
  playTo(72);
  EXPECT_EQ(walker.state, Landing);
  EXPECT_EQ(walker.resumeState, AtGoal);
  EXPECT_EQ(countOf("fx 3"), 1);
  playTo(104);
  EXPECT_EQ(walker.state, AtGoal);
  EXPECT_EQ(walker.col, 2);
  EXPECT_EQ(walker.x, 94);
  EXPECT_EQ(walker.timer, 32);
  playTo(135);
  EXPECT_EQ(flow.scene, Playing);
  playTo(136);
  EXPECT_EQ(flow.scene, StageClear);

  // Both sides closed: boxed in, never at the goal.
  start({"####################", "#..................#", "###G#..............#"}, objects);
  playTo(72);
  EXPECT_EQ(walker.state, Boxed);
  EXPECT_EQ(countOf("fx 3"), 0);
  playTo(300);
  EXPECT_EQ(walker.state, Boxed);
  EXPECT_EQ(flow.scene, Playing);
}

TEST_F(Scenario, BoxedWalkerLeavesWhenItsSidesOpen) {
  // Blinking blocks on both sides open in the same frame: right wins.
  start({"####################", "#..................#", "####B.B............#"},
        {"....................", ".....<.............."});
  playTo(8);
  EXPECT_EQ(walker.state, Boxed);
  EXPECT_EQ(walker.row, 2);
  EXPECT_EQ(walker.y, 64);
  playTo(64);
  EXPECT_EQ(walker.state, Boxed);
  EXPECT_EQ(tile(2, 4), 58);
  playTo(65);
  EXPECT_EQ(walker.state, WalkRight);
  EXPECT_EQ(walker.stepsLeft, 16);
  playTo(80);
  EXPECT_EQ(walker.col, 5);
  playTo(81);  // a whole cell to cross
  EXPECT_EQ(walker.col, 6);
  EXPECT_EQ(walker.x, 192);

  // The floor opening too beats both sides.
  start({"####################", "#..................#", "####B.B#############", "#####B##############"},
        {"....................", ".....<.............."});
  playTo(65);
  EXPECT_EQ(walker.state, Falling);
  EXPECT_EQ(walker.rowFrames, 8);
}

TEST_F(Scenario, LedgeWaitEndedBySwitchingABlock) {
  const std::vector<std::string> tiles = {"####################", "#..................#", "###1################"};
  const std::vector<std::string> objects = {"....................", ".>.................."};
  start(tiles, objects);
  playTo(16);
  EXPECT_EQ(walker.state, LedgeRight);
  EXPECT_EQ(walker.timer, 48);
  pressAt(20, 3 * 32 + 16, 2 * 32 + 16);
  EXPECT_EQ(tile(2, 3), 35);
  EXPECT_EQ(eventsOf("fx"), std::vector<std::string>{"fx 2"});
  EXPECT_EQ(walker.state, LedgeRight);
  playTo(21);
  EXPECT_EQ(walker.state, WalkRight);
  playTo(36);
  EXPECT_EQ(walker.col, 2);
  playTo(37);
  EXPECT_EQ(walker.col, 3);
  EXPECT_EQ(walker.x, 96);

  // A press on the waiting walker over solid ground turns it back.
  restart();
  pressWalker(18);
  EXPECT_EQ(walker.state, WalkLeft);
  EXPECT_EQ(walker.col, 3);
  EXPECT_EQ(walker.x, 66);
  EXPECT_EQ(walker.stepsLeft, 1);
  EXPECT_EQ(countOf("fx 9"), 1);
  playTo(19);
  EXPECT_EQ(walker.col, 2);
  EXPECT_EQ(walker.x, 64);

  // Over slow floor it cannot be turned back.
  start({"####################", "#..................#", "##s1################"}, objects);
  playTo(16);
  ASSERT_EQ(walker.state, LedgeRight);
  pressWalker(18);
  EXPECT_EQ(walker.state, LedgeRight);
  EXPECT_TRUE(eventsOf("fx").empty());
}

TEST_F(Scenario, DeadlySideAheadStillRunsTheLedgeTest) {
  start({"####################", "#..)...............#", "###.################"},
        {"....................", ".>.................."});
  playTo(15);
  EXPECT_EQ(flow.scene, Playing);
  playTo(16);
  EXPECT_EQ(flow.scene, Miss);
  EXPECT_EQ(walker.state, LedgeRight);  // the Miss picture shows it waiting at the edge
  EXPECT_EQ(walker.col, 2);
}

TEST_F(Scenario, SlowFloorUnderTheArrivalCell) {
  start({"####################", "#..................#", "###s################"},
        {"....................", ".>.................."});
  playTo(32);  // arrives over the slow floor
  EXPECT_EQ(walker.col, 3);
  EXPECT_EQ(walker.stepDelay, 8);
  playTo(39);
  EXPECT_EQ(walker.x, 96);
  playTo(40);
  EXPECT_EQ(walker.x, 98);
  playTo(159);
  EXPECT_EQ(walker.col, 3);
  EXPECT_EQ(walker.x, 126);
  playTo(160);  // the whole crossing was slow; the next one is not
  EXPECT_EQ(walker.col, 4);
  EXPECT_EQ(walker.stepDelay, 1);
  playTo(176);
  EXPECT_EQ(walker.col, 5);
}

TEST_F(Scenario, ClickTurnsHalfwayAndAtACellBoundary) {
  const std::vector<std::string> tiles = {"11111111111111111111", "#..................#"};
  const std::vector<std::string> objects = {"....................", "..........<........."};
  start(tiles, objects);
  // Halfway: back the way it came, as many steps as it had taken.
  pressWalker(8);
  EXPECT_EQ(walker.state, Turning);
  EXPECT_EQ(walker.col, 9);
  EXPECT_EQ(walker.stepsLeft, 8);
  EXPECT_EQ(walker.x, 304);
  EXPECT_EQ(walker.timer, 16);
  EXPECT_EQ(walker.clickCooldown, 0);
  EXPECT_EQ(eventsOf("fx"), std::vector<std::string>{"fx 9"});
  playTo(23);
  EXPECT_EQ(walker.state, Turning);
  playTo(24);
  EXPECT_EQ(walker.state, WalkRight);
  playTo(31);
  EXPECT_EQ(walker.x, 318);
  EXPECT_EQ(walker.col, 9);
  playTo(32);
  EXPECT_EQ(walker.col, 10);
  EXPECT_EQ(walker.x, 320);
  EXPECT_EQ(walker.stepsLeft, 16);

  // Exactly at a boundary: 2 pixels further, then one step back, and no click
  // on the walker is taken for 20 frames.
  for (int pressFrame : {35, 36}) {
    restart();
    pressWalker(16);
    EXPECT_EQ(walker.col, 8);
    EXPECT_EQ(walker.x, 286);
    EXPECT_EQ(walker.stepsLeft, 1);
    EXPECT_EQ(walker.clickCooldown, 20);
    playTo(32);
    EXPECT_EQ(walker.state, WalkRight);
    playTo(33);
    EXPECT_EQ(walker.col, 9);
    EXPECT_EQ(walker.x, 288);
    eventLog().clear();
    const int pointerCol = (walker.x + 2 * (pressFrame - 33) + 16) / 32;
    pressWalker(pressFrame, -16);
    if (pressFrame == 35) {
      EXPECT_EQ(walker.state, WalkRight);
      EXPECT_EQ(tile(0, pointerCol), 35);
      EXPECT_EQ(eventsOf("fx"), std::vector<std::string>{"fx 2"});
    } else {
      EXPECT_EQ(walker.state, Turning);
      EXPECT_EQ(tile(0, pointerCol), 1);
      EXPECT_EQ(eventsOf("fx"), std::vector<std::string>{"fx 9"});
    }
  }
}

TEST_F(Scenario, CooldownAfterAWallTurn) {
  for (int pressFrame : {28, 29}) {
    start({"11111111111111111111", "#...#..............#"}, {"....................", "..>................."});
    playTo(16);
    ASSERT_EQ(walker.state, Turning);
    eventLog().clear();
    pressWalker(pressFrame, -16);
    if (pressFrame == 28) {
      EXPECT_EQ(walker.state, WalkLeft);
      EXPECT_EQ(eventsOf("fx"), std::vector<std::string>{"fx 2"});
    } else {
      EXPECT_EQ(walker.state, Turning);
      EXPECT_EQ(eventsOf("fx"), std::vector<std::string>{"fx 9"});
    }
  }
}

TEST_F(Scenario, NoClicksWhileFallingAndACooldownAfterLanding) {
  const std::vector<std::string> tiles = {"####################", "#...11111..........#", "#..................#"};
  const std::vector<std::string> objects = {"....................", ".....>.............."};
  start(tiles, objects);
  pressWalker(3);  // on the falling walker, over a switch block: nothing at all
  EXPECT_EQ(walker.state, Falling);
  EXPECT_EQ(tile(1, 5), 1);
  EXPECT_TRUE(eventsOf("fx").empty());
  playTo(8);
  EXPECT_EQ(walker.state, Landing);
  EXPECT_EQ(walker.clickCooldown, 33);

  for (int pressFrame : {40, 41}) {
    restart();
    playTo(8);
    eventLog().clear();
    pressWalker(pressFrame, -16);
    if (pressFrame == 40) {
      EXPECT_EQ(walker.state, WalkRight);
      EXPECT_EQ(eventsOf("fx"), std::vector<std::string>{"fx 2"});
    } else {
      EXPECT_EQ(walker.state, Turning);
      EXPECT_EQ(eventsOf("fx"), std::vector<std::string>{"fx 9"});
    }
  }
}

TEST_F(Scenario, ClickBoxIsStrict) {
  // A boxed walker at (5, 10): x 320, y 160; the box is 312 < x < 360, 128 < y < 192.
  const std::vector<std::string> tiles = {"####################", "#..................#", "#..................#",
                                          "#..................#", "#........111.......#", "#........!.!.......#",
                                          "#........!!!.......#"};
  std::vector<std::string> objects(5, "....................");
  objects[4] = "..........>.........";
  struct Case {
    int x, y;
    bool inside;
  };
  const Case cases[] = {{312, 170, false}, {313, 170, true}, {360, 170, false}, {359, 170, true},
                        {330, 128, false}, {330, 129, true}, {330, 192, false}, {330, 191, true}};
  for (const Case& c : cases) {
    start(tiles, objects);
    playTo(8);
    ASSERT_EQ(walker.state, Boxed);
    const int before = tile(c.y / 32, c.x / 32);
    pressAt(9, c.x, c.y);
    // A press on a boxed walker does nothing, not even to the tile under it.
    EXPECT_EQ(tile(c.y / 32, c.x / 32) == before, c.inside) << c.x << "," << c.y;
    EXPECT_EQ(eventsOf("fx").empty(), c.inside) << c.x << "," << c.y;
  }
}

TEST_F(Scenario, LiftRides) {
  const std::vector<std::string> objects = {"....................", "....................", "....................",
                                            ".>.................."};
  const std::vector<std::string> lift = {"####################", "#..................#", "#..|#..............#",
                                         "#..|...............#"};
  start(lift, objects);
  playTo(32);
  EXPECT_EQ(walker.state, LiftRight);
  EXPECT_EQ(walker.rowFrames, 32);
  playTo(64);
  EXPECT_EQ(walker.row, 2);
  EXPECT_EQ(walker.y, 64);
  EXPECT_EQ(walker.state, LiftRight);
  playTo(96);
  EXPECT_EQ(walker.row, 1);
  EXPECT_EQ(walker.y, 32);
  EXPECT_EQ(walker.state, WalkRight);
  EXPECT_EQ(walker.col, 2);
  EXPECT_EQ(walker.x, 94);
  EXPECT_EQ(walker.stepsLeft, 1);
  playTo(97);
  EXPECT_EQ(walker.col, 3);
  EXPECT_EQ(walker.state, WalkRight);

  // A press during the ride flips only the facing.
  restart();
  pressWalker(50);
  EXPECT_EQ(walker.state, LiftLeft);
  EXPECT_EQ(countOf("fx 9"), 1);
  playTo(96);
  EXPECT_EQ(walker.state, WalkLeft);
  EXPECT_EQ(walker.col, 4);
  EXPECT_EQ(walker.x, 98);

  // A ride that ends inside a closed block heads back the other way, its
  // cell counted from where the ride's facing put it.
  std::vector<std::string> closed = lift;
  closed[1] = "#..!...............#";
  start(closed, objects);
  playTo(96);
  EXPECT_EQ(walker.state, WalkLeft);
  EXPECT_EQ(walker.col, 2);
  EXPECT_EQ(walker.x, 94);
  playTo(97);  // arrives in "column 1" two cells from where it is drawn, and the wall turns it
  EXPECT_EQ(walker.state, Turning);
  EXPECT_EQ(walker.resumeState, WalkRight);
  EXPECT_EQ(walker.col, 0);
  EXPECT_EQ(walker.x, 90);
}

TEST_F(Scenario, DragThroughAPiece) {
  // An open switch piece at rows 4-5, columns 8-9; two switch blocks at row 7.
  const std::vector<std::string> tiles = {"####################", "#..................#", "#..................#",
                                          "#..................#", "#.......PP.........#", "#.......PP.........#",
                                          "#..................#", "#..11..............#", "#..................#"};
  std::vector<std::string> objects(2, "....................");
  objects[1] = "..<.................";
  start(tiles, objects);
  auto cellX = [](int col) { return 32 * col + 16; };
  auto cellY = [](int row) { return 32 * row + 16; };
  auto pieceOpen = [&] { return tile(4, 8) == 4 && tile(4, 9) == 5 && tile(5, 8) == 20 && tile(5, 9) == 21; };
  auto pieceClosed = [&] { return tile(4, 8) == 40 && tile(4, 9) == 41 && tile(5, 8) == 56 && tile(5, 9) == 57; };
  auto dragTo = [&](int row, int col) {
    moveTo(cellX(col), cellY(row));
    playTo(played + 1);
  };
  ASSERT_EQ(flow.dragMode, 1);
  playTo(5);
  buttonDown(cellX(8), cellY(3));  // the cell above the top-left quarter
  playTo(6);
  dragTo(4, 9);  // diagonally into the top-right quarter: looks like a move inside
  EXPECT_TRUE(pieceOpen());
  dragTo(5, 9);  // down inside the piece
  EXPECT_TRUE(pieceOpen());
  dragTo(6, 9);
  dragTo(5, 9);  // up into the bottom-right quarter from outside
  EXPECT_TRUE(pieceClosed());
  EXPECT_EQ(eventsOf("fx"), std::vector<std::string>{"fx 2"});
  dragTo(5, 8);  // left inside the piece
  EXPECT_TRUE(pieceClosed());
  dragTo(3, 11);
  dragTo(4, 9);  // two columns in one frame always count as from outside
  EXPECT_TRUE(pieceOpen());
  EXPECT_EQ(eventsOf("fx"), (std::vector<std::string>{"fx 2", "fx 5"}));
  buttonUp();
  playTo(played + 1);
  // A press moving inside the piece still switches it, and only once.
  pressAt(played + 1, cellX(8), cellY(4));
  EXPECT_TRUE(pieceClosed());
  EXPECT_EQ(eventsOf("fx").size(), 3u);

  // Back and forth between two switch blocks switches each every time.
  playTo(played + 1);
  eventLog().clear();
  buttonDown(cellX(3), cellY(7));
  playTo(played + 1);
  EXPECT_EQ(tile(7, 3), 35);  // a press on a new cell: once, not twice
  dragTo(7, 4);
  dragTo(7, 3);
  dragTo(7, 4);
  EXPECT_EQ(tile(7, 3), 1);
  EXPECT_EQ(tile(7, 4), 1);
  dragTo(7, 4);  // staying in a cell does nothing
  EXPECT_EQ(tile(7, 4), 1);
  EXPECT_EQ(eventsOf("fx").size(), 4u);
  buttonUp();
  playTo(played + 1);

  // With DRAG OFF, held moves switch nothing.
  flow.dragMode = 0;
  eventLog().clear();
  buttonDown(cellX(2), cellY(7));
  playTo(played + 1);
  dragTo(7, 3);
  dragTo(5, 8);
  EXPECT_EQ(tile(7, 3), 1);
  EXPECT_TRUE(pieceClosed());
  EXPECT_TRUE(eventsOf("fx").empty());
  buttonUp();
}

TEST_F(Scenario, PointerAtTheGridsEdgeAndBeyond) {
  Image image = stageImage({"####################", "#..................#"}, {"....................", "..<................."});
  // Quarters whose piece would reach outside the grid.
  tileByte(image, 8, 0) = 5;    // top-right quarter in column 0
  tileByte(image, 9, 0) = 21;
  tileByte(image, 0, 12) = 20;  // bottom-left quarter in row 0
  tileByte(image, 0, 13) = 21;
  tileByte(image, 7, 19) = 36;
  writeStage(1, image);
  restart();
  pressAt(5, 16, 8 * 32 + 16);
  EXPECT_EQ(tile(8, 0), 41);
  EXPECT_EQ(tile(9, 0), 57);
  EXPECT_EQ(tile(7, 19), 36);  // the cell "left of column 0" in a flat layout
  EXPECT_EQ(tile(8, 19), 32);
  pressAt(7, 12 * 32 + 16, 16);
  EXPECT_EQ(tile(0, 12), 56);
  EXPECT_EQ(tile(0, 13), 57);
  for (int i = 0; i < TileLayerOffset; ++i) EXPECT_EQ(stageMap[i], 0) << "header byte " << i;
  EXPECT_EQ(eventsOf("fx"), (std::vector<std::string>{"fx 2", "fx 2"}));

  // Below and right of the field: no tile, but the cell is remembered.
  Image before;
  std::memcpy(before.data(), stageMap, StageMapSize);
  eventLog().clear();
  pressAt(9, 100, 500);
  EXPECT_EQ(pointerTrack.lastCol, 3);
  EXPECT_EQ(pointerTrack.lastRow, 15);
  pressAt(11, 65535, 65535);
  EXPECT_EQ(pointerTrack.lastCol, 2047);
  EXPECT_EQ(pointerTrack.lastRow, 2047);
  EXPECT_TRUE(eventsOf("fx").empty());
  EXPECT_EQ(std::memcmp(before.data() + TileLayerOffset, stageMap + TileLayerOffset, 300), 0);
}

}  // namespace
