// The check of a stage from the command line:
//   wendlop --check FILE.fmf [--max-clicks K] [--seconds S] [--solution FILE|-]
// and the child process the game runs its checks in:
//   wendlop --check-child [--max-clicks K] [--seconds S] [--memory-mib M]
// The shell reads the command line; these take the check's options from it.
#pragma once

#include <string>

#include "solve/check.h"

struct CheckCommand {
  std::string stage;     // --check FILE
  std::string solution;  // --solution FILE, "-" for standard output
  bool child = false;    // --check-child
  std::string given;     // the first of --max-clicks, --seconds, --solution, --memory-mib given
  bool memoryGiven = false;
  CheckOptions options;
};

// --check, --check-child and the options that go with them (all but
// --check-child take a value).
bool isCheckOption(const std::string& name);
// Takes one of them with its value; false, with one line on stderr, when the
// value is not one it takes.
bool takeCheckOption(const std::string& name, const std::string& value, CheckCommand* command);
// Whether the command line asks for a check (or is the check's child).
bool checkCommandAsked(const CheckCommand& command);
// What is wrong with the check's options as a whole, "" when nothing:
// `otherOption`, when not "", is the first option given that is not the
// check's, which a check does not take.
std::string checkCommandProblem(const CheckCommand& command, const std::string& otherOption);
// Runs the check or the child; the process's exit code: 0 when the check
// ran, 1 when the stage cannot be read or the solution not written.
int runCheckCommand(const CheckCommand& command);
