// The stage measures: the exhaustive search counts what it should and finds
// every minimal solution, press windows end where a press stops working, and
// a hazard that stands still is noticed.
#include <gtest/gtest.h>

#include <vector>

#include "solve/measure.h"
#include "world/game_fixture.h"

using namespace testgame;

namespace {

// A walker heading right along row 10 for the goal; row 11 is the floor,
// with deadly floor below it.
std::vector<std::string> floorWith(const std::string& row10, const std::string& row11) {
  return {"####################", "#..................#", "#..................#", "#..................#",
          "#..................#", "#..................#", "#..................#", "#..................#",
          "#..................#", "#..................#", row10, row11, "#^^^^^^^^^^^^^^^^^^#"};
}
const std::vector<std::string> walkerAtColumn3 = {
    "....................", "....................", "....................", "....................",
    "....................", "....................", "....................", "....................",
    "....................", "....................", "...>................"};

class MeasureTest : public GameTest {
 protected:
  // Playing frames of the grid the unpressed attempt lives through.
  int gridFramesWithoutPresses(int stage, int step) {
    int count = 0;
    EXPECT_TRUE(startAttempt(stage));
    for (;;) {
      if (flow.replayIndex > 0 && flow.replayIndex % step == 0) ++count;
      if (playFrame(nullptr) != FrameResult::Playing) return count;
    }
  }
};

TEST_F(MeasureTest, OnePressStageNeedsNoProof) {
  writeStage(1, floorWith("#..............G...#", "###########1########"), walkerAtColumn3);
  const StageMeasure m = measureStage(1, MeasureOptions{});
  ASSERT_TRUE(m.found);
  EXPECT_EQ(m.fewest, 1);
  EXPECT_EQ(m.provenNone, 0);
  // Without a press to spend nothing branches, so proving that none will
  // not do expands nothing.
  EXPECT_EQ(m.effort, 0);
  EXPECT_GT(m.finalEffort, 0);
  EXPECT_EQ(m.solutions, 1);
  EXPECT_TRUE(m.solutionsCounted);
  ASSERT_EQ(m.example.size(), 1u);
  EXPECT_EQ(m.example[0].row, 11);
  EXPECT_EQ(m.example[0].col, 11);
  EXPECT_TRUE(playSolution(1, m.example));
}

TEST_F(MeasureTest, TwoPressEffortIsTheUnpressedRunAndOrdersAreCounted) {
  writeStage(1, floorWith("#..............G...#", "#######1###1########"), walkerAtColumn3);
  MeasureOptions o;
  o.step = 6;
  const StageMeasure m = measureStage(1, o);
  ASSERT_TRUE(m.found);
  EXPECT_EQ(m.fewest, 2);
  // With one press to spend, each frame of the grid on the unpressed run is
  // one position, and nothing else is.
  EXPECT_EQ(m.effort, gridFramesWithoutPresses(1, 6));
  // Both holes closed, in either order: one choice, two orders.
  EXPECT_EQ(m.solutions, 1);
  EXPECT_EQ(m.orders, 2);
  ASSERT_EQ(m.example.size(), 2u);
  for (const Press& p : m.example) EXPECT_EQ(p.frame % 6, 0);
  EXPECT_TRUE(playSolution(1, m.example));

  // The count is the number of positions, so a second search finds the same.
  EXPECT_EQ(measureStage(1, o).effort, m.effort);
}

TEST_F(MeasureTest, APieceIsOneThingToPressWhicheverQuarter) {
  std::vector<std::string> tiles = floorWith("#..............G...#", "#######PP###########");
  tiles[12] = "#######PP###########";
  tiles.push_back("#^^^^^^^^^^^^^^^^^^#");
  writeStage(1, tiles, walkerAtColumn3);
  const StageMeasure m = measureStage(1, MeasureOptions{});
  ASSERT_TRUE(m.found);
  EXPECT_EQ(m.fewest, 1);
  EXPECT_EQ(m.solutions, 1);
  EXPECT_EQ(m.orders, 1);
  ASSERT_EQ(m.example.size(), 1u);
  EXPECT_EQ(m.example[0].row, 11) << "named by its top-left quarter";
  EXPECT_EQ(m.example[0].col, 7);
}

TEST_F(MeasureTest, TwoWaysToTheGoalAreTwoSolutions) {
  // Closed blocks on both sides of the walker, a goal beyond each.
  std::vector<std::string> objects = walkerAtColumn3;
  objects[10] = ".........>..........";
  writeStage(1, floorWith("#.G.....!..!.....G.#", "####################"), objects);
  const StageMeasure m = measureStage(1, MeasureOptions{});
  ASSERT_TRUE(m.found);
  EXPECT_EQ(m.fewest, 1);
  EXPECT_EQ(m.solutions, 2);
  EXPECT_EQ(m.orders, 2);
}

TEST_F(MeasureTest, AtTheFirstClearTheFewestAndTheEffortAreKnown) {
  std::vector<std::string> objects = walkerAtColumn3;
  objects[10] = ".........>..........";
  writeStage(1, floorWith("#.G.....!..!.....G.#", "####################"), objects);
  MeasureOptions o;
  o.keepClears = 4;
  const StageMeasure all = measureStage(1, o);
  ASSERT_TRUE(all.found);
  ASSERT_EQ(all.clears.size(), 2u) << "both ways, met on the way";
  EXPECT_FALSE(all.clears[0][0] == all.clears[1][0]);
  for (const std::vector<Press>& clear : all.clears) EXPECT_TRUE(playSolution(1, clear)) << "with their own frames";
  ASSERT_EQ(all.minimalOrders.size(), 2u);

  o.finalPositions = 0;
  const StageMeasure first = measureStage(1, o);
  ASSERT_TRUE(first.found);
  EXPECT_EQ(first.fewest, all.fewest);
  EXPECT_EQ(first.effort, all.effort);
  EXPECT_FALSE(first.timedOut);
  EXPECT_FALSE(first.solutionsComplete);
  EXPECT_EQ(first.clears.size(), 1u);
  EXPECT_LT(first.frames, all.frames);
  EXPECT_TRUE(playSolution(1, first.example));
}

TEST_F(MeasureTest, NoneWhenTheGoalIsWalledIn) {
  writeStage(1, floorWith("#...........#..G.#.#", "#######1############"), walkerAtColumn3);
  MeasureOptions o;
  o.maxPresses = 2;
  const StageMeasure m = measureStage(1, o);
  EXPECT_FALSE(m.found);
  EXPECT_FALSE(m.timedOut);
  EXPECT_EQ(m.provenNone, 2);
  EXPECT_GT(m.effort, 0);
  EXPECT_TRUE(m.example.empty());
}

TEST_F(MeasureTest, TimeBudgetEndsTheSearchWithoutAnAnswer) {
  writeStage(1, floorWith("#.........#....G...#", "#######1####1#######"), walkerAtColumn3);
  MeasureOptions o;
  o.maxPresses = 7;
  o.seconds = 0.05;
  const StageMeasure m = measureStage(1, o);
  EXPECT_TRUE(m.timedOut);
  EXPECT_FALSE(m.found);
  EXPECT_LT(m.provenNone, 7);
}

TEST_F(MeasureTest, WindowsEndWhereThePressStopsWorking) {
  writeStage(1, floorWith("#..............G...#", "#######1###1########"), walkerAtColumn3);
  const std::vector<Press> solution = {{20, false, 11, 7}, {150, false, 11, 11}};
  ASSERT_TRUE(playSolution(1, solution));
  std::vector<PressWindow> windows;
  ASSERT_TRUE(pressWindows(1, solution, &windows));
  ASSERT_EQ(windows.size(), 2u);

  // The first press may come as early as frame 1, and as late as the end of
  // the walker's wait at the edge of the hole.
  EXPECT_EQ(windows[0].earlier, 19);
  EXPECT_TRUE(windows[0].earlierOpen);
  EXPECT_FALSE(windows[0].laterOpen);
  EXPECT_GT(windows[0].later, 0);
  std::vector<Press> moved = solution;
  moved[0].frame = 20 + windows[0].later;
  EXPECT_TRUE(playSolution(1, moved));
  moved[0].frame += 1;
  EXPECT_FALSE(playSolution(1, moved));

  // The second may come no nearer than two frames after the first.
  EXPECT_EQ(windows[1].earlier, 150 - 22);
  EXPECT_TRUE(windows[1].earlierOpen);
  EXPECT_FALSE(windows[1].laterOpen);
  EXPECT_EQ(windows[1].width(), windows[1].earlier + windows[1].later + 1);
  moved = solution;
  moved[1].frame = 150 + windows[1].later;
  EXPECT_TRUE(playSolution(1, moved));
  moved[1].frame += 1;
  EXPECT_FALSE(playSolution(1, moved));

  EXPECT_FALSE(pressWindows(1, {{20, false, 11, 7}}, &windows)) << "a solution that does not clear";
}

TEST_F(MeasureTest, AHazardWithNoWayOutIsAStall) {
  // The fast hazard bounces between walls; the slow one has a wall on each
  // side and never moves.
  std::vector<std::string> tiles = floorWith("#..............G...#", "#######1############");
  tiles[2] = "#.....#...#.#......#";
  std::vector<std::string> objects = walkerAtColumn3;
  objects[2] = "........c..a........";
  writeStage(1, tiles, objects);
  const std::vector<Press> solution = {{20, false, 11, 7}};
  ASSERT_TRUE(playSolution(1, solution));
  std::vector<HazardStall> stalls;
  ASSERT_TRUE(hazardStalls(1, solution, 121, &stalls));
  ASSERT_EQ(stalls.size(), 1u);
  EXPECT_EQ(stalls[0].hazard, 1);
  EXPECT_EQ(stalls[0].row, 2);
  EXPECT_EQ(stalls[0].col, 11);
  EXPECT_EQ(stalls[0].from, 0);
  EXPECT_TRUE(stalls[0].toEnd);

  EXPECT_FALSE(hazardStalls(1, {}, 121, &stalls)) << "no clear without the press";
}

TEST_F(MeasureTest, SolutionText) {
  std::vector<Press> p;
  std::string error;
  ASSERT_TRUE(parseSolution("; a comment\n\nwalker 300 ; turn\npress 40 11 7\n", &p, &error)) << error;
  ASSERT_EQ(p.size(), 2u);
  EXPECT_EQ(p[0], (Press{40, false, 11, 7}));
  EXPECT_EQ(p[1], (Press{300, true, 0, 0}));
  for (const char* bad : {"press 40 11\n", "press 40 15 0\n", "walker 0\n", "walker 3599\n", "jump 4\n",
                          "walker 40 extra\n", "press x 1 1\n"}) {
    EXPECT_FALSE(parseSolution(bad, &p, &error)) << bad;
    EXPECT_NE(error.find("line 1"), std::string::npos);
  }
}

}  // namespace
