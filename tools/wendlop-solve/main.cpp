// wendlop-solve: finds the fewest presses (DRAG OFF) that clear a stage, by
// playing the stage through the game's own code, and prints one such solution
// in the format of assets/solutions.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "solve/measure.h"
#include "platform/platform.h"
#include "solve/solver.h"

namespace {
int usage() {
  std::fputs(
      "Usage: wendlop-solve --data DIR --stage N [--max-presses K] [--step F] [--seconds S]\n"
      "                     [--table-bits B] [--measure] [--solution FILE]\n"
      "  Searches presses on switchable cells and on the walker at Playing frames\n"
      "  that are multiples of F (default 4), with DRAG OFF, for the fewest that\n"
      "  clear stage N; K presses at most (default 8), S seconds at most (default 60).\n"
      "  --table-bits B: remember 2^B searched states (default 23, 16 bytes each).\n"
      "  --measure: search every pass to its end (at most 7 presses), and print the\n"
      "    effort (positions expanded to prove the fewest) and the number of distinct\n"
      "    minimal solutions.\n"
      "  --solution FILE: also print, for each press of this solution, how many\n"
      "    frames earlier and later it still clears, and every hazard that stands\n"
      "    choosing for more than two seconds while it plays.\n",
      stderr);
  return 2;
}

bool readSolution(const char* path, std::vector<Press>* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "wendlop-solve: cannot read %s\n", path);
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  std::string error;
  if (!parseSolution(text.str(), out, &error)) {
    std::fprintf(stderr, "wendlop-solve: %s: %s\n", path, error.c_str());
    return false;
  }
  return true;
}

void printSolve(int stage, const SolveOptions& options) {
  const SolveResult r = solveStage(stage, options);
  if (r.found) {
    std::printf("stage=%d result=solved presses=%zu playing=%d", stage, r.presses.size(), r.playingFrames);
  } else if (r.timedOut) {
    std::printf("stage=%d result=timeout", stage);
  } else {
    std::printf("stage=%d result=none", stage);
  }
  std::printf(" none-up-to=%d max-presses=%d step=%d frames=%lld branched=%lld seconds=%.1f\n", r.provenNone,
              options.maxPresses, options.step, r.frames, r.nodes, r.seconds);
  if (r.found) std::fputs(formatSolution(r.presses).c_str(), stdout);
}

void printMeasure(int stage, const SolveOptions& options) {
  MeasureOptions o;
  o.maxPresses = options.maxPresses;
  o.step = options.step;
  o.seconds = options.seconds;
  const StageMeasure m = measureStage(stage, o);
  if (m.found) {
    std::printf("stage=%d result=solved presses=%d playing=%d", stage, m.fewest, m.playingFrames);
    if (m.timedOut) std::printf(" timeout=yes");
  } else if (m.timedOut) {
    std::printf("stage=%d result=timeout", stage);
  } else {
    std::printf("stage=%d result=none", stage);
  }
  std::printf(" none-up-to=%d effort=%lld", m.provenNone, m.effort);
  if (m.found) {
    if (m.solutionsComplete) {
      const char* more = m.solutionsCounted ? "" : "+";
      std::printf(" final-effort=%lld solutions=%lld%s orders=%lld%s", m.finalEffort, m.solutions, more, m.orders, more);
    } else {
      std::printf(" final-effort=%lld+ solutions=? orders=?", m.finalEffort);
    }
  }
  std::printf(" max-presses=%d step=%d frames=%lld seconds=%.1f\n", o.maxPresses, o.step, m.frames, m.seconds);
  if (m.found) std::fputs(formatSolution(m.example).c_str(), stdout);
}

void printSolutionMeasures(int stage, const std::vector<Press>& solution) {
  int frames = 0;
  const bool clears = playSolution(stage, solution, &frames);
  std::printf("solution presses=%zu clears=%s playing=%d\n", solution.size(), clears ? "yes" : "no", frames);
  if (!clears) return;
  std::vector<PressWindow> windows;
  pressWindows(stage, solution, &windows);
  for (size_t i = 0; i < windows.size(); ++i) {
    const PressWindow& w = windows[i];
    std::printf("window press=%zu frame=%d earlier=%d%s later=%d%s width=%d\n", i + 1, solution[i].frame, w.earlier,
                w.earlierOpen ? "+" : "", w.later, w.laterOpen ? "+" : "", w.width());
  }
  std::vector<HazardStall> stalls;
  hazardStalls(stage, solution, 121, &stalls);
  for (const HazardStall& h : stalls) {
    std::printf("stall hazard=%d row=%d col=%d from=%d frames=%d%s\n", h.hazard + 1, h.row, h.col, h.from, h.frames,
                h.toEnd ? " to-end" : "");
  }
}

bool number(const char* text, double* out) {
  char* end = nullptr;
  *out = std::strtod(text, &end);
  return end != text && *end == '\0';
}
}  // namespace

int main(int argc, char** argv) {
  const char* data = nullptr;
  int stage = -1;
  bool measure = false;
  const char* solutionPath = nullptr;
  SolveOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--measure") {
      measure = true;
      continue;
    }
    if (i + 1 >= argc) return usage();
    if (a == "--solution") {
      solutionPath = argv[++i];
      continue;
    }
    double v = 0;
    if (a == "--data") {
      data = argv[++i];
      continue;
    }
    if (!number(argv[++i], &v)) return usage();
    if (a == "--stage" && v >= 1 && v <= 99) {
      stage = static_cast<int>(v);
    } else if (a == "--max-presses" && v >= 0 && v <= 64) {
      options.maxPresses = static_cast<int>(v);
    } else if (a == "--step" && v >= 1 && v <= 3600) {
      options.step = static_cast<int>(v);
    } else if (a == "--table-bits" && v >= 10 && v <= 28) {
      options.tableBits = static_cast<int>(v);
    } else if (a == "--seconds" && v > 0) {
      options.seconds = v;
    } else {
      return usage();
    }
  }
  if (!data || stage < 0) return usage();

  sysSetHeadless(true);
  // Read before the search, which runs in the data folder.
  std::vector<Press> solution;
  if (solutionPath && !readSolution(solutionPath, &solution)) return 2;
  if (!sysChangeDirectory(data)) {
    std::fprintf(stderr, "wendlop-solve: no data folder %s\n", data);
    return 2;
  }
  if (!startAttempt(stage)) {
    std::printf("stage=%d result=nostage\n", stage);
    return 1;
  }
  if (measure) {
    printMeasure(stage, options);
  } else {
    printSolve(stage, options);
  }
  if (solutionPath) printSolutionMeasures(stage, solution);
  return 0;
}
