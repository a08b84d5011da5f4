// The check of a stage given as its bytes: the fewest clicks and the effort of
// built-in stages as the solver report has them, what makes a stage
// unplayable, the verdicts when the search ends, stops or fills its memory,
// and the words it says them in.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "solve/builtin_efforts.h"
#include "solve/check.h"
#include "world/game_fixture.h"

using namespace testgame;

namespace {

struct Reported {
  int fewest = -1;
  long long effort = -1;
};

// The table "Full measures of the set" of docs/solver-report.md.
std::map<int, Reported> reportTable() {
  std::ifstream in(std::string(WENDLOP_SOURCE_DIR) + "/docs/solver-report.md");
  std::map<int, Reported> table;
  bool inTable = false;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("## Full measures", 0) == 0) inTable = true;
    if (!inTable || line.rfind("| ", 0) != 0) {
      if (inTable && !table.empty()) break;
      continue;
    }
    std::vector<std::string> cells;
    std::istringstream row(line.substr(1));
    for (std::string cell; std::getline(row, cell, '|');) cells.push_back(cell);
    if (cells.size() < 5) continue;
    try {
      table[std::stoi(cells[0])] = Reported{std::stoi(cells[3]), std::stoll(cells[4])};
    } catch (const std::exception&) {
      // the header
    }
  }
  return table;
}

Image builtIn(int stage) {
  char name[64];
  std::snprintf(name, sizeof name, "/data/map/map%02d.fmf", stage);
  std::ifstream in(std::string(WENDLOP_SOURCE_DIR) + name, std::ios::binary);
  Image image{};
  in.read(reinterpret_cast<char*>(image.data()), StageMapSize);
  EXPECT_EQ(in.gcount(), StageMapSize) << name;
  return image;
}

// A walker heading right along row 10 for the goal; row 11 is the floor,
// with deadly floor below it.
std::vector<std::string> floorWith(const std::string& row10, const std::string& row11) {
  return {"####################", "#..................#", "#..................#", "#..................#",
          "#..................#", "#..................#", "#..................#", "#..................#",
          "#..................#", "#..................#", row10, row11, "#^^^^^^^^^^^^^^^^^^#"};
}
std::vector<std::string> walkerAt(int col, char facing = '>') {
  std::vector<std::string> objects(11, std::string(20, '.'));
  objects[10][static_cast<size_t>(col)] = facing;
  return objects;
}

class CheckTest : public GameTest {
 protected:
  void TearDown() override {
    setAttemptImage(nullptr);
    GameTest::TearDown();
  }
};

TEST_F(CheckTest, BuiltInEffortsAreTheReportsOwn) {
  const std::map<int, Reported> table = reportTable();
  ASSERT_EQ(table.size(), 50u) << "docs/solver-report.md: the full measures";
  for (const auto& [stage, row] : table)
    EXPECT_EQ(builtinEfforts[static_cast<size_t>(stage - 1)], row.effort)
        << "stage " << stage << ": run tools/wendlop-solve/builtin-efforts.sh > src/solve/builtin_efforts.h";
  EXPECT_EQ(harderThanBuiltins(0), 0);
  EXPECT_EQ(harderThanBuiltins(1), 16) << "sixteen stages need no proof";
  EXPECT_EQ(harderThanBuiltins(1LL << 40), 50);
}

TEST_F(CheckTest, QuickBuiltInStagesClearInTheReportsFewestClicks) {
  // Stage 1 of the working folder is another: the check plays the bytes it
  // is given, and attempts play the files again once it is over.
  const Image own = stageImage(floorWith("#..............G...#", "####################"), walkerAt(3));
  writeStage(1, own);
  const std::map<int, Reported> table = reportTable();
  for (int stage : {1, 16, 29}) {
    SCOPED_TRACE(stage);
    const Image image = builtIn(stage);
    const CheckResult r = checkStage(image.data(), CheckOptions{});
    ASSERT_EQ(r.verdict, CheckVerdict::Clears);
    EXPECT_EQ(r.clicks, table.at(stage).fewest);
    EXPECT_EQ(r.effort, table.at(stage).effort);
    EXPECT_EQ(r.harderThan, harderThanBuiltins(r.effort));
    EXPECT_EQ(r.stop, CheckStop::None);
    ASSERT_EQ(static_cast<int>(r.solution.size()), r.clicks);
    EXPECT_GE(r.windowPress, 1);
    EXPECT_GT(r.windowFrames, 0);
    EXPECT_TRUE(r.stalls.empty());
    // Not the first solution met, which turns the walker within four frames
    // of the start, but the gentler one of the report.
    if (stage == 16) {
      EXPECT_EQ(r.windowFrames, 83);
    }
    ASSERT_TRUE(startAttempt(1));
    EXPECT_EQ(0, std::memcmp(stageMap + TileLayerOffset, own.data() + TileLayerOffset, GridRows * GridColumns));
    setAttemptImage(image.data());
    EXPECT_TRUE(playSolution(1, r.solution));
    setAttemptImage(nullptr);
  }
}

TEST_F(CheckTest, TheNarrowestWindowIsWhereAClickStopsWorking) {
  // Close the hole as the walker waits at its edge: the click works from the
  // stage's start to the end of the wait, whatever the other click does.
  const Image image = stageImage(floorWith("#..............G...#", "#######1###1########"), walkerAt(3));
  const CheckResult r = checkStage(image.data(), CheckOptions{});
  ASSERT_EQ(r.verdict, CheckVerdict::Clears);
  ASSERT_EQ(r.clicks, 2);
  ASSERT_GE(r.windowPress, 1);
  std::vector<Press> moved = r.solution;
  Press& p = moved[static_cast<size_t>(r.windowPress - 1)];
  setAttemptImage(image.data());
  // The window ends at the stage's start or at a frame that fails, on each side.
  const int first = p.frame;
  // 1: it clears with the press at p.frame; 0: it does not; -1: another press
  // stands too near to tell.
  auto clearsHere = [&] {
    for (const Press& q : moved)
      if (&q != &p && std::abs(q.frame - p.frame) < 2) return -1;
    std::vector<Press> sorted = moved;
    std::stable_sort(sorted.begin(), sorted.end(), [](const Press& a, const Press& b) { return a.frame < b.frame; });
    return playSolution(1, sorted) ? 1 : 0;
  };
  int earliest = first, latest = first;
  for (p.frame = first - 1; p.frame >= 1; --p.frame) {
    const int clears = clearsHere();
    if (clears == 0) break;
    if (clears == 1) earliest = p.frame;
  }
  for (p.frame = first + 1;; ++p.frame) {
    const int clears = clearsHere();
    if (clears == 0) break;
    if (clears == 1) latest = p.frame;
  }
  EXPECT_EQ(r.windowFrames, latest - earliest + 1);
}

TEST_F(CheckTest, UnplayableStagesAreNamedBeforeAnySearch) {
  const std::vector<std::string> open = floorWith("#..............G...#", "####################");
  EXPECT_EQ(unplayableReason(stageImage(open, walkerAt(3)).data()), "");
  EXPECT_EQ(unplayableReason(stageImage(open).data()), "no walker start");
  std::vector<std::string> two = walkerAt(3);
  two[5][8] = '<';
  EXPECT_EQ(unplayableReason(stageImage(open, two).data()), "2 walker starts");
  std::vector<std::string> corner = walkerAt(3);
  corner[10][3] = '.';
  corner[0][0] = '>';
  EXPECT_EQ(unplayableReason(stageImage(open, corner).data()), "walker start in the top-left cell");
  EXPECT_EQ(unplayableReason(stageImage(open, walkerAt(0)).data()), "walker start in a wall at row 10 column 0");
  EXPECT_EQ(unplayableReason(stageImage(floorWith("#..................#", "####################"), walkerAt(3)).data()),
            "no goal");

  const Image none = stageImage(open);
  const CheckResult r = checkStage(none.data(), CheckOptions{});
  EXPECT_EQ(r.verdict, CheckVerdict::Unplayable);
  EXPECT_EQ(r.frames, 0) << "no search";
  EXPECT_EQ(checkReport(r), std::vector<std::string>{"unplayable: no walker start"});
}

TEST_F(CheckTest, NoWayWhenTheSearchEndsWithoutAClear) {
  // The walker starts over a hole onto deadly floor; the switch block is
  // out of its way.
  const Image image = stageImage(floorWith("#..............G...#", "###.#############1##"), walkerAt(3));
  CheckOptions o;
  o.maxClicks = 2;
  const CheckResult r = checkStage(image.data(), o);
  EXPECT_EQ(r.verdict, CheckVerdict::NoWay);
  EXPECT_EQ(r.clicks, 2);
  EXPECT_EQ(r.stop, CheckStop::None);
  EXPECT_TRUE(r.solution.empty());
  EXPECT_EQ(checkReport(r), std::vector<std::string>{"no way with up to 2 clicks"});
  o.maxClicks = 1;
  EXPECT_EQ(checkReport(checkStage(image.data(), o))[0], "no way with up to 1 click");
}

TEST_F(CheckTest, StoppedByTimeOrMemoryItSaysWhatItProved) {
  const Image image = stageImage(floorWith("#.........#....G...#", "#######1####1#######"), walkerAt(3));
  CheckOptions o;
  o.seconds = 0.05;
  std::vector<CheckProgress> told;
  CheckResult r = checkStage(image.data(), o, [&](const CheckProgress& p) { told.push_back(p); });
  EXPECT_EQ(r.verdict, CheckVerdict::NotSure);
  EXPECT_EQ(r.stop, CheckStop::Time);
  // The pass without a click always ends: it is one attempt.
  EXPECT_GE(r.clicks, 0);
  EXPECT_LT(r.clicks, 7);
  ASSERT_FALSE(told.empty());
  EXPECT_EQ(told.back().provenNone, r.clicks);
  std::vector<std::string> lines = checkReport(r);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "not sure beyond " + std::to_string(r.clicks) + (r.clicks == 1 ? " click" : " clicks"));
  EXPECT_EQ(lines[1].rfind("harder than at least ", 0), 0u) << lines[1];
  EXPECT_EQ(lines[2], "stopped: out of time (0.05 s)");

  o.seconds = 600;
  o.memoryBytes = 8192;
  r = checkStage(image.data(), o);
  EXPECT_EQ(r.verdict, CheckVerdict::NotSure);
  EXPECT_EQ(r.stop, CheckStop::Memory);
  // The pass that fills the table ends (no position is lost); the next
  // stops at its first.
  EXPECT_EQ(r.clicks, 1);
  EXPECT_EQ(checkReport(r).back(), "stopped: memory full (0 MiB)");
}

TEST_F(CheckTest, AHazardStandingStillIsReported) {
  // As in the measure tests: the slow hazard has a wall on each side.
  std::vector<std::string> tiles = floorWith("#..............G...#", "#######1############");
  tiles[2] = "#.....#...#.#......#";
  std::vector<std::string> objects = walkerAt(3);
  objects[2] = "........c..a........";
  const CheckResult r = checkStage(stageImage(tiles, objects).data(), CheckOptions{});
  ASSERT_EQ(r.verdict, CheckVerdict::Clears);
  ASSERT_EQ(r.stalls.size(), 1u);
  const std::vector<std::string> lines = checkReport(r);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[3].rfind("hazard 2 stands still ", 0), 0u) << lines[3];
  EXPECT_NE(lines[3].find(" at row 2 column 11 from 0.00 s to the end"), std::string::npos) << lines[3];
}

TEST_F(CheckTest, CanvasLinesFitTheTextGrid) {
  CheckResult r;
  r.verdict = CheckVerdict::Clears;
  r.clicks = 3;
  r.effort = 1558;
  r.harderThan = 34;
  r.windowFrames = 1201;
  r.windowPress = 3;
  r.solution = {{4, false, 11, 13}, {8, false, 12, 7}, {12, true, 0, 0}};
  r.stalls = {HazardStall{299, 14, 19, 3000, 3599, true}};
  EXPECT_EQ(checkCanvasLines(r), (std::vector<std::string>{"CLEARS IN 3 CLICKS", "HARDER THAN 34 OF 50",
                                                           "NARROWEST WINDOW 1201 FRAMES (20.02 S)",
                                                           "HAZARD AT ROW 14 COL 19 STILL 60.0 S"}));
  CheckResult u;
  u.verdict = CheckVerdict::Unplayable;
  u.unplayable = "walker start in a wall at row 14 column 19";
  CheckResult s;
  s.verdict = CheckVerdict::NotSure;
  s.clicks = 4;
  s.effort = 123456789;
  s.stop = CheckStop::Memory;
  s.budgetBytes = size_t{1} << 30;
  CheckResult c;
  c.stop = CheckStop::Cancelled;
  for (const CheckResult& each : {r, u, s, c}) {
    for (const std::string& line : checkCanvasLines(each)) {
      EXPECT_LE(line.size(), 40u) << line;
      for (char ch : line) EXPECT_TRUE((ch >= ' ' && ch <= 'Z') || ch == '(' || ch == ')') << line;
    }
  }
  EXPECT_EQ(checkCanvasLines(u),
            (std::vector<std::string>{"UNPLAYABLE: WALKER START IN A WALL AT", "ROW 14 COLUMN 19"}));
  EXPECT_EQ(checkCanvasLines(s), (std::vector<std::string>{"NOT SURE BEYOND 4 CLICKS", "HARDER THAN AT LEAST 0 OF 50",
                                                           "STOPPED: MEMORY FULL (1024 MIB)"}));
  EXPECT_EQ(checkCanvasLines(c)[0], "NOT SURE: STOPPED BEFORE THE FIRST");
  EXPECT_EQ(checkProgressLine(CheckProgress{3, 2, 1234567, 1000, 1.5, false}), "TRYING 3 CLICKS: 1234567 POSITIONS");
}

TEST_F(CheckTest, ResultsCrossThePipeWhole) {
  CheckResult r;
  r.verdict = CheckVerdict::Clears;
  r.clicks = 2;
  r.stop = CheckStop::None;
  r.budgetSeconds = 12.5;
  r.effort = 4778113;
  r.harderThan = 49;
  r.windowFrames = 8;
  r.windowPress = 2;
  r.stalls = {HazardStall{0, 10, 12, 0, 381, false}, HazardStall{3, 1, 2, 40, 700, true}};
  r.solution = {{4, false, 11, 13}, {388, true, 0, 0}};
  r.playingFrames = 812;
  r.frames = 123456789012LL;
  r.seconds = 3.25;
  CheckResult back;
  ASSERT_TRUE(decodeCheckResult(encodeCheckResult(r), &back));
  EXPECT_EQ(checkReport(back), checkReport(r));
  EXPECT_EQ(back.solution, r.solution);
  EXPECT_EQ(back.playingFrames, 812);
  EXPECT_EQ(back.frames, r.frames);

  CheckResult u;
  u.verdict = CheckVerdict::Unplayable;
  u.unplayable = "walker start in a wall at row 4 column 7";
  ASSERT_TRUE(decodeCheckResult(encodeCheckResult(u), &back));
  EXPECT_EQ(back.unplayable, u.unplayable);

  const std::string whole = encodeCheckResult(r);
  EXPECT_FALSE(decodeCheckResult(whole.substr(0, whole.size() - 4), &back)) << "no end";
  EXPECT_FALSE(decodeCheckResult("verdict maybe\nend\n", &back));
  EXPECT_FALSE(decodeCheckResult("clicks 3\nend\n", &back)) << "no verdict";
  EXPECT_FALSE(decodeCheckResult("verdict clears\nclicks x\nend\n", &back));
  EXPECT_FALSE(decodeCheckResult("verdict clears\npress 4 99 0\nend\n", &back));

  const CheckProgress p{5, 4, 99999, 8888, 12.25, true};
  CheckProgress q;
  ASSERT_TRUE(decodeCheckProgress(encodeCheckProgress(p), &q));
  EXPECT_EQ(q.clicks, 5);
  EXPECT_EQ(q.provenNone, 4);
  EXPECT_EQ(q.positions, 99999);
  EXPECT_EQ(q.proofEffort, 8888);
  EXPECT_TRUE(q.timing);
  EXPECT_FALSE(decodeCheckProgress("progress 1 2\n", &q));
}

}  // namespace
