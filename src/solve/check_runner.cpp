#include "solve/check_runner.h"

#include <cstdio>
#include <new>

#include "platform/process.h"
#include "platform/thread.h"
#include "world/world.h"

namespace {
struct CheckRunner {
  CheckRun state = CheckRun::Idle;
  SysChild* child = nullptr;
  std::string unread;      // output not yet a whole line
  std::string resultText;  // the result's lines so far
  CheckProgress progress;
  CheckResult result;
  CheckOptions options;
  std::string program;     // "" for this program's own file
};
CheckRunner runner;

// What the child's progress had proven when it stopped without a result.
CheckResult stopped(CheckStop why) { return checkStoppedAt(runner.progress, why, runner.options); }

void finish(const CheckResult& result) {
  sysStopChild(runner.child);
  runner.child = nullptr;
  runner.result = result;
  runner.state = CheckRun::Done;
}

void takeLine(const std::string& line) {
  CheckProgress p;
  if (decodeCheckProgress(line, &p)) {
    runner.progress = p;
    return;
  }
  runner.resultText += line + "\n";
  if (line == "end") {
    CheckResult r;
    finish(decodeCheckResult(runner.resultText, &r) ? r : stopped(CheckStop::Failed));
  }
}
}  // namespace

void setCheckProgram(const std::string& path) { runner.program = path; }

int checkChildId() { return runner.state == CheckRun::Running ? sysChildId(runner.child) : -1; }

bool startCheck(const uint8_t* image, const CheckOptions& options) {
  clearCheck();
  runner.options = options;
  const CheckResult r = checkBefore(image, options);
  if (r.verdict == CheckVerdict::Unplayable) {
    finish(r);
    return true;
  }
  const std::string program = runner.program.empty() ? sysOwnProgram() : runner.program;
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%g", options.seconds);
  const std::vector<std::string> args = {"--check-child", "--max-clicks", std::to_string(options.maxClicks),
                                         "--seconds", seconds, "--memory-mib",
                                         std::to_string(options.memoryBytes >> 20)};
  std::string why;
  runner.child = program.empty() ? nullptr
                                 : sysStartChild(program, args, std::string(image, image + StageMapSize), &why);
  if (!runner.child) {
    std::fprintf(stderr, "wendlop: the check did not start: %s\n",
                 program.empty() ? "this program's own file is unknown" : why.c_str());
    finish(stopped(CheckStop::Failed));
    return false;
  }
  runner.state = CheckRun::Running;
  return true;
}

CheckRun pollCheck(CheckProgress* progress) {
  if (runner.state != CheckRun::Running) sysCollectChildren();
  if (runner.state == CheckRun::Running) {
    const bool open = sysChildRead(runner.child, &runner.unread);
    size_t start = 0;
    for (size_t end; runner.state == CheckRun::Running && (end = runner.unread.find('\n', start)) != std::string::npos;
         start = end + 1) {
      takeLine(runner.unread.substr(start, end - start));
    }
    runner.unread.erase(0, start);
    // Its output ended without a whole result: it crashed, ran out of
    // memory, or was killed by someone else.
    if (runner.state == CheckRun::Running && !open) finish(stopped(CheckStop::Failed));
  }
  if (progress) *progress = runner.progress;
  return runner.state;
}

const CheckResult& checkResult() { return runner.result; }

void cancelCheck() {
  if (runner.state == CheckRun::Running) finish(stopped(CheckStop::Cancelled));
}

void clearCheck() {
  cancelCheck();
  const std::string program = runner.program;
  runner = CheckRunner{};
  runner.program = program;
}

int runCheckChild(const CheckOptions& options) {
  std::vector<uint8_t> image;
  if (!sysReadStandardInput(StageMapSize, &image) || image.size() != StageMapSize) {
    std::fprintf(stderr, "wendlop: --check-child reads a 620-byte stage on its standard input\n");
    return 1;
  }
  sysEndWithParent();
  sysLimitAddressSpace(options.memoryBytes);
  // A check must not take the processor from the game that waits for it.
  sysLowerPriority();
  // Told often enough to show movement, seldom enough to cost nothing; a
  // parent that has gone ends the child at its next line.
  uint64_t lastTold = 0;
  CheckProgress last;
  auto tell = [&](const CheckProgress& p) {
    last = p;
    const uint64_t now = sysMonotonicUs();
    if (now - lastTold < 100000 && !p.timing) return;
    lastTold = now;
    std::fputs(encodeCheckProgress(p).c_str(), stdout);
    std::fflush(stdout);
  };
  CheckResult result;
  try {
    result = checkStage(image.data(), options, tell);
  } catch (const std::bad_alloc&) {
    // The address space ran out before the search's own limit: what the
    // passes that ended had proven still holds.
    result = checkStoppedAt(last, CheckStop::Memory, options);
  }
  std::fputs(encodeCheckProgress(last).c_str(), stdout);
  std::fputs(encodeCheckResult(result).c_str(), stdout);
  std::fflush(stdout);
  return 0;
}
