// The solver: saved states continue exactly as an unbroken run does, and the
// search finds the fewest presses on small stages, or says there are none.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "solve/solver.h"
#include "world/game_fixture.h"

using namespace testgame;

namespace {

// A walker heading right for the goal over a floor with switch-block holes
// (cells '1', open) above deadly floor.
std::vector<std::string> holes(const std::string& floor) {
  return {"####################", "#..................#", "#..................#", "#..................#",
          "#..................#", "#..................#", "#..................#", "#..................#",
          "#..................#", "#..................#", "#..............G...#", floor,
          "#^^^^^^^^^^^^^^^^^^#"};
}
const std::vector<std::string> walkerAtColumn3 = {
    "....................", "....................", "....................", "....................",
    "....................", "....................", "....................", "....................",
    "....................", "....................", "...>................"};

// A busy stage: hazards of several motions, a timed block, a blinking block,
// stars that fall, slow floor and a lift, so that much of the state moves.
const std::vector<std::string> busyTiles = {
    "####################", "#.....*........*...#", "#..................#", "#...#........#.....#",
    "#..............b...#", "#..3...1...........#", "#####..####.########", "#..................#",
    "#.....|............#", "#.....|.......G....#", "#.....|............#", "##ss################"};
const std::vector<std::string> busyObjects = {
    "....................", "....................", "....a...............", "........g...........",
    "..........j.........", "....................", "....................", "..k.................",
    "....................", "....................", "..>................."};

// What a frame leaves behind, beyond the world key: the counters and the
// scene that a snapshot must bring back too.
using Mark = std::tuple<uint64_t, int, int, int, int, int, int, int, int, int, int, int>;
Mark mark() {
  return {worldKey(), flow.scene,     flow.timeLeft, flow.timeFrames, flow.stars,          flow.lives,
          flow.replayIndex, walker.walkPhase, flow.bonus.bonusY, flow.pointer.x, flow.pointer.previousButton, pointerTrack.lastCol * 100 + pointerTrack.lastRow};
}

class SolveTest : public GameTest {
 protected:
  // Runs frames from the current one up to Playing frame `until` (or the end
  // of the attempt), pressing as `presses` says, and notes every frame.
  std::vector<Mark> playOn(const std::vector<Press>& presses, int until) {
    std::vector<Mark> marks;
    while (flow.replayIndex < until) {
      const Press* press = nullptr;
      for (const Press& p : presses)
        if (p.frame == flow.replayIndex) press = &p;
      const FrameResult r = playFrame(press);
      marks.push_back(mark());
      if (r != FrameResult::Playing) break;
    }
    return marks;
  }
};

TEST_F(SolveTest, SavedStateContinuesLikeAnUnbrokenRun) {
  writeStage(1, busyTiles, busyObjects);
  // Taps on the timed block, the switch block and the walker; at frame 91 the
  // button is still down from frame 90, which is no press.
  const std::vector<Press> presses = {
      {40, false, 5, 3}, {90, false, 5, 7}, {91, false, 5, 7}, {130, true, 0, 0}, {300, false, 5, 3}};

  ASSERT_TRUE(startAttempt(1));
  const std::vector<Mark> unbroken = playOn(presses, 700);
  ASSERT_EQ(unbroken.size(), 700u);

  for (int at : {0, 1, 89, 90, 91, 211, 500}) {
    SCOPED_TRACE(at);
    ASSERT_TRUE(startAttempt(1));
    std::vector<Mark> before = playOn(presses, at);
    GameSnapshot saved;
    saveGame(&saved);
    // Wander off: other presses, then past the end of the attempt.
    playOn({{at + 2, false, 5, 7}, {at + 6, true, 0, 0}, {at + 10, false, 5, 3}}, 3700);
    EXPECT_NE(flow.scene, Playing);
    restoreGame(saved);
    std::vector<Mark> after = playOn(presses, 700);
    before.insert(before.end(), after.begin(), after.end());
    EXPECT_EQ(before, unbroken);
  }
}

TEST_F(SolveTest, KeySeesTheWorldButNotTheClock) {
  writeStage(1, holes("###########1########"), walkerAtColumn3);
  ASSERT_TRUE(startAttempt(1));
  GameSnapshot s;
  saveGame(&s);
  const uint64_t k = worldKey();
  EXPECT_EQ(worldKey(s), k);
  flow.timeLeft = 12;
  flow.timeFrames = 30;
  flow.replayIndex = 400;
  walker.walkPhase = 2;
  EXPECT_EQ(worldKey(), k);
  restoreGame(s);
  stageMap[TileLayerOffset + 11 * GridColumns + 11] = 35;
  EXPECT_NE(worldKey(), k);
  restoreGame(s);
  walker.clickCooldown = 3;
  EXPECT_NE(worldKey(), k);
  restoreGame(s);
  EXPECT_EQ(worldKey(), k);
}

TEST_F(SolveTest, FindsTheOnePressThatCloses) {
  writeStage(1, holes("###########1########"), walkerAtColumn3);
  int frames = 0;
  EXPECT_FALSE(playSolution(1, {}, &frames)) << "the stage must need the player";
  EXPECT_TRUE(playSolution(1, {{100, false, 11, 11}}, &frames));

  SolveOptions o;
  o.maxPresses = 3;
  o.tableBits = 16;
  const SolveResult r = solveStage(1, o);
  ASSERT_TRUE(r.found);
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(r.provenNone, 0);
  ASSERT_EQ(r.presses.size(), 1u);
  EXPECT_FALSE(r.presses[0].onWalker);
  EXPECT_EQ(r.presses[0].row, 11);
  EXPECT_EQ(r.presses[0].col, 11);
  EXPECT_TRUE(playSolution(1, r.presses, &frames));
  EXPECT_EQ(frames, r.playingFrames);
  EXPECT_EQ(formatSolution(r.presses), "press " + std::to_string(r.presses[0].frame) + " 11 11\n");
}

TEST_F(SolveTest, TwoHolesNeedTwoPressesOnTheGrid) {
  writeStage(1, holes("#######1###1########"), walkerAtColumn3);
  SolveOptions o;
  o.tableBits = 18;
  o.step = 6;
  o.maxPresses = 1;
  SolveResult r = solveStage(1, o);
  EXPECT_FALSE(r.found);
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(r.provenNone, 1);

  o.maxPresses = 4;
  r = solveStage(1, o);
  ASSERT_TRUE(r.found);
  EXPECT_EQ(r.provenNone, 1);
  ASSERT_EQ(r.presses.size(), 2u);
  for (const Press& p : r.presses) {
    // Never in the first frame, which a demonstration does not see as a press.
    EXPECT_GT(p.frame, 0);
    EXPECT_EQ(p.frame % 6, 0);
    EXPECT_EQ(p.row, 11);
  }
  EXPECT_GE(r.presses[1].frame, r.presses[0].frame + 2);
  EXPECT_TRUE(playSolution(1, r.presses));
}

TEST_F(SolveTest, NoPressesWhenTheWalkerGetsThereAlone) {
  writeStage(1, holes("####################"), walkerAtColumn3);
  const SolveResult r = solveStage(1, SolveOptions{});
  ASSERT_TRUE(r.found);
  EXPECT_TRUE(r.presses.empty());
  EXPECT_GT(r.playingFrames, 0);
}

// Switch blocks, a breakable block and a turnable walker, but the goal is
// walled in.
std::vector<std::string> walledGoal() {
  std::vector<std::string> tiles = holes("##########1#########");
  tiles[10] = "#........1...#.G.#.#";
  tiles[4] = "#....2.........x...#";
  return tiles;
}

TEST_F(SolveTest, NoneForAGoalBehindFixedWalls) {
  writeStage(1, walledGoal(), walkerAtColumn3);
  SolveOptions o;
  o.maxPresses = 2;
  o.tableBits = 18;
  o.seconds = 120;
  const SolveResult r = solveStage(1, o);
  EXPECT_FALSE(r.found);
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(r.provenNone, 2);
  EXPECT_GT(r.nodes, 0);
}

TEST_F(SolveTest, TimeLimitStopsTheSearch) {
  writeStage(1, walledGoal(), walkerAtColumn3);
  SolveOptions o;
  o.maxPresses = 40;
  o.seconds = 0.2;
  const SolveResult r = solveStage(1, o);
  EXPECT_TRUE(r.timedOut);
  EXPECT_FALSE(r.found);
  EXPECT_LT(r.provenNone, 40);
  EXPECT_LT(r.seconds, 5);
}

TEST_F(SolveTest, MissingStage) {
  EXPECT_FALSE(startAttempt(7));
  const SolveResult r = solveStage(7, SolveOptions{});
  EXPECT_FALSE(r.found);
  EXPECT_EQ(r.provenNone, -1);
}

}  // namespace
