#!/usr/bin/env bash
# Sets up, builds and starts Wendlop. Arguments go to the game (try --help).
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF >/dev/null
cmake --build build/release --target wendlop -j"$(nproc)"
exec build/release/src/wendlop "$@"
