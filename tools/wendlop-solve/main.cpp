// wendlop-solve: finds the fewest presses (DRAG OFF) that clear a stage, by
// playing the stage through the game's own code, and prints one such solution
// in the format of assets/solutions.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/platform.h"
#include "solver.h"

namespace {
int usage() {
  std::fputs(
      "Usage: wendlop-solve --data DIR --stage N [--max-presses K] [--step F] [--seconds S]\n"
      "                     [--table-bits B]\n"
      "  Searches presses on switchable cells and on the walker at Playing frames\n"
      "  that are multiples of F (default 4), with DRAG OFF, for the fewest that\n"
      "  clear stage N; K presses at most (default 8), S seconds at most (default 60).\n"
      "  --table-bits B: remember 2^B searched states (default 23, 16 bytes each).\n",
      stderr);
  return 2;
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
  SolveOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (i + 1 >= argc) return usage();
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
  if (!sysChangeDirectory(data)) {
    std::fprintf(stderr, "wendlop-solve: no data folder %s\n", data);
    return 2;
  }
  if (!startAttempt(stage)) {
    std::printf("stage=%d result=nostage\n", stage);
    return 1;
  }
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
  return 0;
}
