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
bool valueError(const std::string& what, const std::string& value) {
  std::fprintf(stderr, "wendlop: %s '%s' (try --help)\n", what.c_str(), value.c_str());
  return false;
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

bool isCheckOption(const std::string& name) {
  return name == "--check" || name == "--check-child" || name == "--max-clicks" || name == "--seconds" ||
         name == "--solution" || name == "--memory-mib";
}

bool takeCheckOption(const std::string& name, const std::string& value, CheckCommand* command) {
  CheckCommand& c = *command;
  if (name != "--check" && name != "--check-child" && c.given.empty()) c.given = name;
  if (name == "--check-child") {
    c.child = true;
  } else if (name == "--check") {
    if (value.empty()) return valueError("--check needs a stage file, not", value);
    c.stage = value;
  } else if (name == "--solution") {
    if (value.empty()) return valueError("--solution needs a file (or -), not", value);
    c.solution = value;
  } else if (name == "--max-clicks") {
    if (!wholeNumber(value.c_str(), 0, 7, &c.options.maxClicks)) return valueError("--max-clicks takes 0 to 7, not", value);
  } else if (name == "--seconds") {
    if (!positiveNumber(value.c_str(), &c.options.seconds)) return valueError("--seconds takes a number above 0, not", value);
  } else if (name == "--memory-mib") {
    int mib = 0;
    if (!wholeNumber(value.c_str(), 16, 1 << 20, &mib)) return valueError("--memory-mib takes 16 to 1048576, not", value);
    c.options.memoryBytes = static_cast<size_t>(mib) << 20;
    c.memoryGiven = true;
  }
  return true;
}

bool checkCommandAsked(const CheckCommand& command) { return command.child || !command.stage.empty(); }

std::string checkCommandProblem(const CheckCommand& command, const std::string& otherOption) {
  if (checkCommandAsked(command) && !otherOption.empty())
    return "--check takes only --max-clicks, --seconds and --solution, not " + otherOption;
  if (!checkCommandAsked(command) && !command.given.empty()) return command.given + " goes with --check";
  if (!command.child && command.memoryGiven) return "--memory-mib is the check's child's own";
  return "";
}

int runCheckCommand(const CheckCommand& command) {
  sysSetHeadless(true);
  if (command.child) return runCheckChild(command.options);
  const char* stage = command.stage.c_str();
  const char* solution = command.solution.empty() ? nullptr : command.solution.c_str();

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
  const CheckResult result = checkStage(image.data(), command.options);
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
