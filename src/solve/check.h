// The check of a stage: can it be cleared, and with how few clicks; how hard
// it is beside the fifty built-in stages; how fine the timing of its solution
// is; which hazards stand still; and, before any search, what makes it
// unplayable. Said in the player's words, for the command line and for the
// canvas. The check plays the game's own frames, so it takes over the game's
// state: the game runs it in a child process (solve/check_runner.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "solve/measure.h"
#include "solve/solver.h"

struct CheckOptions {
  int maxClicks = 7;    // 0 to 7
  double seconds = 1200;  // wall-clock budget of the search: the last built-in stage takes 8 minutes
  // The child process's whole address space; the search's table of positions
  // stops at five eighths of it, so that the search ends with what it proved
  // before an allocation fails.
  size_t memoryBytes = size_t{1} << 30;
  int step = 4;         // clicks at Playing frames that are multiples of this
};

enum class CheckVerdict { Clears, NoWay, NotSure, Unplayable };
// Why a check ended before its answer.
enum class CheckStop { None, Time, Memory, Cancelled, Failed };

struct CheckResult {
  CheckVerdict verdict = CheckVerdict::NotSure;
  // Clears: the fewest clicks. NoWay: none with this many or fewer. NotSure:
  // none with this many or fewer was proven (-1: not even none).
  int clicks = -1;
  CheckStop stop = CheckStop::None;
  double budgetSeconds = 0;    // the time and memory allowed, to say what ran out
  size_t budgetBytes = 0;
  std::string unplayable;      // why, in lower case words
  // Positions expanded to prove that fewer clicks do not do (the measure of
  // docs/solver-report.md); for NotSure, those of the passes that finished.
  long long effort = 0;
  int harderThan = 0;          // built-in stages of lower effort
  // The narrowest timing window of the solution's clicks, and whose (from 1).
  int windowFrames = 0;
  int windowPress = 0;
  std::vector<HazardStall> stalls;  // standing still more than two seconds
  std::vector<Press> solution;      // Clears: the clicks, by Playing frame
  int playingFrames = 0;            // of the solution
  long long frames = 0;             // simulated by the search
  double seconds = 0;               // the check's own time
};

// How far a running check has come.
struct CheckProgress {
  int clicks = 0;            // the clicks being tried
  int provenNone = -1;       // none with this many or fewer
  long long positions = 0;
  long long proofEffort = 0; // positions of the passes that finished
  double seconds = 0;
  // The search is over and found the fewest clicks; the solution's timing
  // is being measured.
  bool timing = false;
};

// What makes the stage unplayable before any search ("no walker start", "no
// goal", "walker start in a wall at row 4 column 7", ...); "" when nothing.
std::string unplayableReason(const uint8_t* image);
// The result before any search: the budget, and the verdict Unplayable with
// its reason when the stage cannot be played at all.
CheckResult checkBefore(const uint8_t* image, const CheckOptions& options);

// The check, here in this process: it resets the game's state and leaves it
// at the end of some attempt. `progress`, if given, is told now and then.
CheckResult checkStage(const uint8_t* image, const CheckOptions& options,
                       const std::function<void(const CheckProgress&)>& progress = {});

// What a check stopped from outside had proven, by its last progress.
CheckResult checkStoppedAt(const CheckProgress& last, CheckStop stop, const CheckOptions& options);

// How many of the built-in stages need less effort than this.
int harderThanBuiltins(long long effort);

// The verdict for the command line: the first line is exactly one of
// "clears in N clicks" ("1 click"), "no way with up to K clicks", "not sure
// beyond K clicks", "unplayable: REASON"; then the rank, the narrowest window,
// each standing hazard and why the check stopped, a line each.
std::vector<std::string> checkReport(const CheckResult& result);
// The same for the canvas: upper case, at most 40 columns a line.
std::vector<std::string> checkCanvasLines(const CheckResult& result);
// A progress line for the canvas, at most 40 columns.
std::string checkProgressLine(const CheckProgress& progress);

// The result and the progress as lines of text, for the pipe from the child
// process; decodeCheck* are false on lines they do not know.
std::string encodeCheckProgress(const CheckProgress& progress);
bool decodeCheckProgress(const std::string& line, CheckProgress* out);
std::string encodeCheckResult(const CheckResult& result);  // ends with "end\n"
bool decodeCheckResult(const std::string& text, CheckResult* out);
