#!/usr/bin/env bash
# Sets up, builds and runs every test: once under the address and undefined-
# behaviour sanitizers, and the threaded music code again under the thread
# sanitizer; then installs the game into a temporary folder and checks it there,
# and runs every fuzzing harness for a short while (scripts/fuzz.sh runs them longer).
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh --all
jobs=$(nproc)

# No window or sound card needed: SDL runs on its dummy drivers.
export SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1

cmake -S . -B build/test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWENDLOP_SANITIZE=address,undefined >/dev/null
cmake --build build/test -j"$jobs"
(cd build/test && ctest --output-on-failure -j"$jobs" --timeout 600)

cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWENDLOP_SANITIZE=thread >/dev/null
cmake --build build/tsan -j"$jobs"
# The thread sanitizer needs the address-space layout that older kernels gave.
tsan_run=()
if command -v setarch >/dev/null 2>&1 && setarch "$(uname -m)" -R true 2>/dev/null; then
  tsan_run=(setarch "$(uname -m)" -R)
fi
(cd build/tsan && "${tsan_run[@]}" ctest --output-on-failure -j"$jobs" --timeout 600)

# The game as a system installs it, from a plain build like play.sh's.
scripts/check-install.sh

# A few seconds a harness: enough to catch a reader that breaks on its seeds or
# on their first mutations, short enough for every run.
scripts/fuzz.sh 4
