// The check of a stage from the command line:
//   wendlop --check FILE.fmf [--max-clicks K] [--seconds S] [--solution FILE|-]
// and the child process the game runs its checks in:
//   wendlop --check-child [--max-clicks K] [--seconds S]
#pragma once

// -1 when the arguments ask for neither; otherwise the exit code.
int checkCommand(int argc, char** argv);
