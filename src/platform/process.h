// Child processes: the game runs long searches in a copy of its own program,
// where they cannot touch the game's state and can be stopped at any moment.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct SysChild;

// This program's own file, or "" when the system does not say.
std::string sysOwnProgram();

// Starts `program` with `args` (not counting the program's name). `input` is
// the child's whole standard input (at most 64 KiB), handed over before it
// starts, so that a child that ends early never makes a write fail; its
// standard output comes back through sysChildRead, its standard error is the
// game's. nullptr, with the system's reason in `why`, when it cannot start.
SysChild* sysStartChild(const std::string& program, const std::vector<std::string>& args, const std::string& input,
                        std::string* why);
// Adds to `out` what the child has written since the last call, without
// waiting. False once its output has ended: it closed it, ended or was killed.
bool sysChildRead(SysChild* child, std::string* out);
// The child's process id, for tests.
int sysChildId(const SysChild* child);
// Kills the child if it still runs and releases it, without waiting: a child
// that has not ended yet is collected by a later call of any of these, or by
// sysCollectChildren. nullptr is allowed.
void sysStopChild(SysChild* child);
// Collects the children stopped earlier that have ended since; true when none
// is left to collect.
bool sysCollectChildren();

// For a child: keeps its whole address space below `bytes`, so that an
// allocation past it fails instead of the machine running out. False where
// that cannot be done (under the sanitizers, whose shadow memory needs far
// more address space than it uses).
bool sysLimitAddressSpace(size_t bytes);
// For a child: the system gives it the processor only after others.
void sysLowerPriority();
// For a child: it is killed when the process that started it ends.
void sysEndWithParent();
// Reads standard input to its end, at most `limit` bytes; false when it
// cannot be read or holds more.
bool sysReadStandardInput(size_t limit, std::vector<uint8_t>* out);
