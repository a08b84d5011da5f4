// A check that never stalls the game: the search runs in a child process of
// the game's own program (`wendlop --check-child`), which is handed the stage
// and writes its progress and its result back on a pipe. The game polls it
// once a frame and may cancel it at any moment; whatever becomes of the child,
// the game's own state and the stage it holds are never touched.
#pragma once

#include <cstdint>
#include <string>

#include "solve/check.h"

enum class CheckRun { Idle, Running, Done };

// Starts checking this 620-byte stage image; a check already running is
// cancelled first. A stage that is unplayable is Done at once, without a child.
// False when no child could be started: the check is Done, and its result
// says it failed.
bool startCheck(const uint8_t* image, const CheckOptions& options);
// Reads what the child has said since, without waiting. Running until the
// result is in; *progress, if given, is the latest progress.
CheckRun pollCheck(CheckProgress* progress = nullptr);
// The result once pollCheck says Done. A child that ended without a result
// (it crashed, or was killed) gives NotSure with what its progress had proven.
const CheckResult& checkResult();
// Stops a running check at once, without waiting for the child to go: Done,
// NotSure with what was proven so far, CheckStop::Cancelled.
void cancelCheck();
// Back to Idle, the result forgotten (a running check is cancelled).
void clearCheck();

// The program run as the child; this program's own file unless set (tests run
// the game's binary from theirs).
void setCheckProgram(const std::string& path);
// The running child's process id, -1 when none (for tests).
int checkChildId();

// The child's side: `wendlop --check-child [--max-clicks K] [--seconds S]
// [--memory-mib M]` reads the stage from standard input and writes progress lines and the
// result to standard output. Returns the exit code.
int runCheckChild(const CheckOptions& options);
