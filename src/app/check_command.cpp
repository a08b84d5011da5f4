#include "app/check_command.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "solve/check.h"
#include "solve/check_runner.h"
#include "world/world.h"

namespace {
int usageError(const char* what, const char* value) {
  std::fprintf(stderr, "wendlop: %s%s%s (try --help)\n", what, value ? " " : "", value ? value : "");
  return 2;
}

bool wholeNumber(const char* text, int low, int high, int* out) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || v < low || v > high) return false;
  *out = static_cast<int>(v);
  return true;
}

bool positiveNumber(const char* text, double* out) {
  char* end = nullptr;
  const double v = std::strtod(text, &end);
  if (end == text || *end != '\0' || !(v > 0) || v > 1e9) return false;
  *out = v;
  return true;
}

// The solution as assets/solutions has it, which wendlop-replay turns into a
// replay.
bool writeSolution(const char* path, const char* stage, const CheckResult& r) {
  std::string text = "; " + std::string(stage) + ": the fewest clicks, " + std::to_string(r.solution.size()) +
                     ", found by wendlop --check\n" + formatSolution(r.solution);
  if (std::strcmp(path, "-") == 0) {
    std::fputs(text.c_str(), stdout);
    return true;
  }
  std::string why;
  if (sysWriteFileAtomic(path, text.data(), text.size(), &why)) return true;
  std::fprintf(stderr, "wendlop: solution not written: %s\n", why.c_str());
  return false;
}
}  // namespace

int checkCommand(int argc, char** argv) {
  bool child = false;
  const char* stage = nullptr;
  const char* solution = nullptr;
  CheckOptions options;
  bool asked = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--version") == 0)
      return -1;
    child = child || std::strcmp(argv[i], "--check-child") == 0;
    asked = asked || child || std::strcmp(argv[i], "--check") == 0;
  }
  if (!asked) return -1;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (std::strcmp(a, "--check-child") == 0) continue;
    if (!value) return usageError(a, "needs a value");
    ++i;
    if (std::strcmp(a, "--check") == 0) {
      stage = value;
    } else if (std::strcmp(a, "--solution") == 0) {
      solution = value;
    } else if (std::strcmp(a, "--max-clicks") == 0) {
      if (!wholeNumber(value, 0, 7, &options.maxClicks)) return usageError("--max-clicks takes 0 to 7, not", value);
    } else if (child && std::strcmp(a, "--memory-mib") == 0) {
      int mib = 0;
      if (!wholeNumber(value, 16, 1 << 20, &mib)) return usageError("--memory-mib takes 16 to 1048576, not", value);
      options.memoryBytes = static_cast<size_t>(mib) << 20;
    } else if (std::strcmp(a, "--seconds") == 0) {
      if (!positiveNumber(value, &options.seconds)) return usageError("--seconds takes a number above 0, not", value);
    } else {
      return usageError("--check takes only --max-clicks, --seconds and --solution, not", a);
    }
  }
  sysSetHeadless(true);
  if (child) return runCheckChild(options);

  std::vector<uint8_t> image;
  std::string why;
  // One byte more than a stage, to tell a longer file from a stage.
  if (sysReadWholeFile(stage, StageMapSize + 1, &image, &why) != SysReadOk) {
    std::fprintf(stderr, "wendlop: %s %s\n", stage, why.c_str());
    return 1;
  }
  if (image.size() != StageMapSize) {
    std::fprintf(stderr, "wendlop: %s is %s bytes long; a stage file has 620\n", stage,
                 image.size() > StageMapSize ? "more than 620" : std::to_string(image.size()).c_str());
    return 1;
  }
  const CheckResult result = checkStage(image.data(), options);
  for (const std::string& line : checkReport(result)) std::printf("%s\n", line.c_str());
  std::fflush(stdout);
  if (solution) {
    if (result.solution.empty() && result.verdict != CheckVerdict::Clears) {
      std::fprintf(stderr, "wendlop: no solution to write to %s\n", solution);
    } else if (!writeSolution(solution, stage, result)) {
      return 1;
    }
  }
  return 0;
}
