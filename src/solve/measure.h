// Measures of how hard a stage is, for the solver report: an exhaustive search
// whose size does not depend on the machine or on the order it tries things,
// the timing slack of each press of a written solution, and hazards that stand
// still for long while that solution plays.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

#include "solve/solver.h"

// How far a search has come, told now and then while it runs.
struct MeasureProgress {
  int presses = 0;            // the pass running: sequences of this many presses
  int provenNone = -1;        // no solution with this many presses or fewer
  long long positions = 0;    // expanded so far
  long long proofEffort = 0;  // expanded by the passes that proved provenNone
  long long frames = 0;
  double seconds = 0;
};

struct MeasureOptions {
  int maxPresses = 7;  // 7 at most
  int step = 4;          // presses only at Playing frames that are multiples of this
  double seconds = 600;  // wall-clock budget; only decides whether the search finishes
  // How many positions the pass that reaches a clear may expand, once it has
  // reached one, to collect every solution (0: it ends at the first clear;
  // the fewest, the effort and a solution are known then). Below 0 only
  // `seconds` limits it. Unlike time, the same on every machine.
  long long finalPositions = -1;
  // Keeps this many of the clears the search reaches on its way, each with
  // another sequence of things pressed, with their frames.
  int keepClears = 0;
  // The table of positions never grows past this many bytes (0: no limit);
  // the search ends there as it does out of time, with memoryFull.
  size_t tableBytes = 0;
  // Told every 4,096 frames and at the end of every pass.
  std::function<void(const MeasureProgress&)> progress;
};

struct StageMeasure {
  bool found = false;        // a solution with at most maxPresses presses
  int fewest = -1;           // its number of presses
  int provenNone = -1;       // no solution with this many presses or fewer (-1: not even 0)
  bool timedOut = false;
  bool memoryFull = false;  // the table reached tableBytes (timedOut is set too)
  // Positions expanded by the passes that prove there is no solution with
  // fewer than `fewest` presses. A position is a world state at a frame of the
  // grid with a number of presses still to spend (at least one); each is
  // expanded once, so the count is the number of such positions reachable,
  // whatever the order of the search and the speed of the machine.
  long long effort = 0;
  // Positions first expanded by the pass at `fewest` presses, which is run to
  // its end to collect every minimal solution.
  long long finalEffort = 0;
  // Distinct minimal solutions: different choices of things to press (the
  // walker, a cell, a whole piece), whatever the order and the frames...
  long long solutions = 0;
  // ... and different sequences of them, where the order counts.
  long long orders = 0;
  bool solutionsCounted = false;  // false when there were too many to keep
  // False when the time ran out in the pass at `fewest`: a clear was reached
  // there, but the solutions were not all collected.
  bool solutionsComplete = false;
  std::vector<Press> example;     // one minimal solution
  // When complete, every minimal solution as the order of things pressed
  // (frames 0), at most 64 of them, the example's first.
  std::vector<std::vector<Press>> minimalOrders;
  // The clears kept (keepClears), the first one found first.
  std::vector<std::vector<Press>> clears;
  int playingFrames = 0;          // of the example
  long long frames = 0;           // frames simulated
  double seconds = 0;
};

// Searches 0, 1, 2, ... presses, each pass to its end.
StageMeasure measureStage(int stage, const MeasureOptions& options);

// The frames of a solution that presses these things in this order, found on
// the grid of frames as the exhaustive search would (the earliest first);
// false when there is none.
bool timeSequence(int stage, const std::vector<Press>& order, int step, std::vector<Press>* out);

// The same from the Playing frame the game is at. It remembers the states
// from which the rest of the order failed, so that finding again from another
// state of the same stage is quicker.
class SequenceTiming {
 public:
  SequenceTiming(const std::vector<Press>& order, int step);
  // Each find gives up, false, after playing this many frames (0: never).
  void limitFrames(long long frames) { limit_ = frames; }
  bool find(int stage, std::vector<Press>* out);
  bool findFromHere(std::vector<Press>* out);

 private:
  bool go(size_t next);
  FrameResult frame(const Press* press);

  const std::vector<Press>& order_;
  int step_;
  long long limit_ = 0, played_ = 0;
  std::vector<Press> path_;
  std::unordered_set<uint64_t> failed_;
  std::vector<uint64_t> marked_;  // by this find, taken back if it gives up
};

// How far one press of a solution can move, alone, and the stage still be
// cleared: every frame from `frame - earlier` to `frame + later` clears.
struct PressWindow {
  int earlier = 0, later = 0;
  // The scan stopped at a neighbouring press, at the start or end of the
  // attempt, or at the scan's limit, rather than at a frame that fails.
  bool earlierOpen = false, laterOpen = false;
  int width() const { return earlier + later + 1; }
};
// False when the solution does not clear the stage as written.
bool pressWindows(int stage, const std::vector<Press>& presses, std::vector<PressWindow>* out, int limit = 600);

// A hazard that keeps choosing its next crossing, not moving, for `frames`
// Playing frames in a row from Playing frame `from`, standing in (row, col).
struct HazardStall {
  int hazard = 0;
  int row = 0, col = 0;
  int from = 0;
  int frames = 0;
  bool toEnd = false;  // still standing when the attempt ended
};
// Plays the solution and lists the stalls of at least `minFrames` frames.
// False when the solution does not clear the stage.
bool hazardStalls(int stage, const std::vector<Press>& presses, int minFrames, std::vector<HazardStall>* out);

// Reads a written solution ("press FRAME ROW COL", "walker FRAME", ';'
// comments), sorted by frame.
bool parseSolution(const std::string& text, std::vector<Press>* out, std::string* error);
