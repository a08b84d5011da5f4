// Moving hazards through the real Playing step: crossings, reversals at walls,
// the top row, step periods and the contact test.
#include "world/game_fixture.h"

using namespace testgame;

namespace {

class Hazards : public GameTest {
 protected:
  int played = 0;

  // Rows 0..12 as given; the walker paces a short corridor in row 13, out of
  // reach of every hazard above row 12.
  void start(std::vector<std::string> tiles, std::vector<std::string> objects) {
    tiles.resize(13, "####################");
    objects.resize(13, "....................");
    tiles.push_back("#...################");
    objects.push_back(".>..................");
    writeStage(1, tiles, objects);
    played = 0;
    startPlaying(1);
  }
  void playTo(int n) {
    while (played < n) {
      frame();
      ++played;
    }
  }
  const Hazard& hazard(int i) { return hazardTable.hazards[i]; }
};

TEST_F(Hazards, BouncesInATwoCellCorridor) {
  start({"####################", "####################", "####################", "####..##############"},
        {"....................", "....................", "....................", "....a..............."});
  std::vector<int> still;
  for (int f = 1; f <= 133; ++f) {
    const int x = hazard(0).x;
    playTo(f);
    if (hazard(0).x == x) still.push_back(f);
    if (f == 33) {
      EXPECT_EQ(hazard(0).col, 5);
      EXPECT_EQ(hazard(0).x, 144);
      EXPECT_EQ(hazard(0).state, 1);
    }
    if (f == 34) {
      EXPECT_EQ(hazard(0).dx, -1);
      EXPECT_EQ(hazard(0).dcol, -1);
      EXPECT_EQ(hazard(0).state, 2);
      EXPECT_EQ(hazard(0).stepsLeft, 32);
    }
    if (f == 66) {
      EXPECT_EQ(hazard(0).col, 4);
      EXPECT_EQ(hazard(0).x, 112);
    }
  }
  // One frame of choosing in each cell.
  EXPECT_EQ(still, (std::vector<int>{1, 34, 67, 100, 133}));
  EXPECT_EQ(flow.scene, Playing);
}

TEST_F(Hazards, WaitsBetweenWallsUntilASwitchOpensAWay) {
  start({"####################", "#..................#", "#..................#", "#..!.!.............#"},
        {"....................", "....................", "....................", "....a..............."});
  playTo(10);
  EXPECT_EQ(hazard(0).state, 1);
  EXPECT_EQ(hazard(0).x, 112);
  EXPECT_EQ(hazard(0).dx, 1);
  buttonDown(5 * 32 + 16, 3 * 32 + 16);
  playTo(11);
  buttonUp();
  EXPECT_EQ(tileAt(3, 5), 1);
  playTo(12);
  EXPECT_EQ(hazard(0).state, 2);
  EXPECT_EQ(hazard(0).dx, 1);
}

TEST_F(Hazards, DiagonalReversals) {
  start({"####################", "#..................#", "#..................#", "#..................#",
         "#..................#", "#..................#", "#...#..............#", "#..................#",
         "#.....!............#", "#..................#", "#..........#.......#", "#.........#........#"},
        {"....................", "....................", "....................", "..................g.",
         "....................", "....................", "....................", ".....g..............",
         "....................", "....................", "..........g........."});
  playTo(1);
  // A wall on the right only: the horizontal direction turns, the vertical stays.
  const Hazard& right = hazard(0);
  EXPECT_EQ(right.state, 2);
  EXPECT_EQ(right.dx, -1);
  EXPECT_EQ(right.dcol, -1);
  EXPECT_EQ(right.dy, 1);
  EXPECT_EQ(right.drow, 1);
  // Diagonal ahead and behind both closed: the crossings that the straight
  // tests started are taken back.
  const Hazard& stuck = hazard(1);
  EXPECT_EQ(stuck.state, 1);
  EXPECT_EQ(stuck.dx, 1);
  EXPECT_EQ(stuck.dy, 1);
  // In a corner both axes turn, and the diagonal test sees both turns.
  const Hazard& corner = hazard(2);
  EXPECT_EQ(corner.state, 2);
  EXPECT_EQ(corner.dx, -1);
  EXPECT_EQ(corner.dy, -1);
  EXPECT_EQ(corner.dcol, -1);
  EXPECT_EQ(corner.drow, -1);

  playTo(33);
  EXPECT_EQ(right.col, 17);
  EXPECT_EQ(right.row, 4);
  EXPECT_EQ(right.x, 17 * 32 - 16);
  EXPECT_EQ(right.y, 4 * 32 - 16);
  EXPECT_EQ(corner.col, 9);
  EXPECT_EQ(corner.row, 9);
  EXPECT_EQ(stuck.state, 1);
  EXPECT_EQ(stuck.x, 5 * 32 - 16);

  // Opening the diagonal cell lets it go on.
  buttonDown(6 * 32 + 16, 8 * 32 + 16);
  playTo(34);
  buttonUp();
  playTo(35);
  EXPECT_EQ(stuck.state, 2);
  EXPECT_EQ(stuck.dx, 1);
  EXPECT_EQ(stuck.dy, 1);
}

TEST_F(Hazards, VanishesAtTheTopRow) {
  start({"######.#############", "#..................#", "#..................#"},
        {"....................", "....................", "......l............."});
  playTo(33);
  EXPECT_EQ(hazard(0).row, 1);
  EXPECT_EQ(hazard(0).state, 1);
  playTo(65);
  EXPECT_EQ(hazard(0).state, 2);
  playTo(66);
  EXPECT_EQ(hazard(0).row, 0);
  EXPECT_EQ(hazard(0).y, 65520);
  EXPECT_EQ(hazard(0).state, 0);
  playTo(200);
  EXPECT_EQ(hazard(0).state, 0);
  EXPECT_EQ(hazard(0).y, 65520);
}

TEST_F(Hazards, FramesPerCell) {
  // Each cell takes stepsPerCell x period frames, and one more to choose.
  start({"####################", "#..................#", "#..................#", "#..................#",
         "#..................#", "#..................#", "#..................#", "#..................#"},
        {"....................", "..a..........b......", "..c.................", "..i.................",
         "..e................."});
  const int expected[] = {33, 33, 17, 129, 513};
  int changed[5] = {};
  for (int f = 1; f <= 600; ++f) {
    int cols[5];
    for (int i = 0; i < 5; ++i) cols[i] = hazard(i).col + hazard(i).row;
    playTo(f);
    for (int i = 0; i < 5; ++i)
      if (!changed[i] && hazard(i).col + hazard(i).row != cols[i]) changed[i] = f;
    if (f == 512) {
      EXPECT_EQ(hazard(4).col, 2);
      EXPECT_EQ(hazard(4).x, 2 * 32 - 16 + 31);
    }
  }
  for (int i = 0; i < 5; ++i) EXPECT_EQ(changed[i], expected[i]) << "hazard " << i;
  EXPECT_EQ(hazard(4).col, 3);
}

TEST_F(Hazards, StandStillWhileTheWalkerIsAtTheGoal) {
  start({"####################", "#..................#"}, {"....................", "..a................."});
  playTo(10);
  const Hazard before = hazard(0);
  walker.state = AtGoal;
  walker.timer = 1000;
  playTo(40);
  EXPECT_EQ(hazard(0).x, before.x);
  EXPECT_EQ(hazard(0).tick, before.tick);
  EXPECT_EQ(flow.scene, Playing);
}

TEST_F(Hazards, ContactBox) {
  // Walker at (200, 200); the hazard moved about it by hand.
  struct Case {
    int hx, hy;
    bool touches;
  };
  const Case cases[] = {
      {154, 200, false}, {155, 200, true},  // hx + 62 > 216 first holds at 155
      {213, 200, true},  {214, 200, false},  // hx + 2 < 216 last holds at 213
      {190, 200, true},  {190, 201, false}, {190, 144, true}, {190, 143, false},
  };
  for (const Case& c : cases) {
    resetGame();
    flow.scene = Playing;
    walker.x = 200;
    walker.y = 200;
    hazardTable.hazardCount = 2;
    hazardTable.hazards[0] = Hazard{};
    hazardTable.hazards[0].x = static_cast<uint16_t>(c.hx);
    hazardTable.hazards[0].y = static_cast<uint16_t>(c.hy);
    hazardTable.hazards[0].state = 2;
    hazardTable.hazards[1] = hazardTable.hazards[0];
    hazardTable.hazards[1].state = 0;
    hazardTable.hazards[1].x = 190;
    hazardTable.hazards[1].y = 190;  // stopped: never harmful
    hazardContact();
    EXPECT_EQ(flow.scene == Miss, c.touches) << c.hx << "," << c.hy;
  }
  // Positions are unsigned: a hazard in column 0 (x 65520) never reaches a
  // walker at the left edge.
  resetGame();
  flow.scene = Playing;
  walker.x = 0;
  walker.y = 32;
  hazardTable.hazardCount = 1;
  hazardTable.hazards[0] = Hazard{};
  hazardTable.hazards[0].x = 65520;
  hazardTable.hazards[0].y = 16;
  hazardTable.hazards[0].state = 1;
  hazardContact();
  EXPECT_EQ(flow.scene, Playing);
}

}  // namespace
