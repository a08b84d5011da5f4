#!/usr/bin/env bash
# scripts/fuzz.sh [SECONDS] [HARNESS...]
# Builds the libFuzzer harnesses of tests/fuzz with clang under the address and
# undefined-behaviour sanitizers and runs each (or the ones named) for SECONDS
# (default 60), one after the other. Stops at the first finding, whose input is
# left in build/fuzz/findings/. The corpus each harness grows is kept in
# build/fuzz/corpus/ for the next run; logs are in build/fuzz/logs/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
wanted=("$@")

mkdir -p build/fuzz
# Absolute paths: a harness may change its working folder before it reads them.
build=$(cd build/fuzz && pwd)
mkdir -p "$build/findings" "$build/logs" "$build/corpus" "$build/seeds"
launcher=()
command -v ccache >/dev/null 2>&1 && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DWENDLOP_FUZZ=ON -DWENDLOP_TESTS=OFF -DWENDLOP_SANITIZE=address,undefined "${launcher[@]}" >/dev/null
cmake --build "$build" --target fuzz_harnesses -j"$(nproc)" >"$build/logs/build.log" 2>&1 || {
  tail -n 40 "$build/logs/build.log" >&2
  echo "fuzz: the harnesses did not build (see $build/logs/build.log)" >&2
  exit 1
}

# A stage file followed by its replay, the input the flow harness takes.
flowSeeds=$build/seeds/flow
mkdir -p "$flowSeeds"
for map in data/map/map*.fmf; do
  n=$(basename "$map" .fmf)
  n=${n#map}
  if [ -f "data/replay/$n.dat" ]; then cat "$map" "data/replay/$n.dat" >"$flowSeeds/$n"; fi
done

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
failed=0
while IFS=$'\t' read -r name program maxLen seeds; do
  [ -n "$name" ] || continue
  if [ ${#wanted[@]} -gt 0 ] && [[ " ${wanted[*]} " != *" $name "* ]]; then continue; fi
  corpus=$build/corpus/$name
  mkdir -p "$corpus"
  dirs=("$corpus")
  IFS=';' read -r -a seedDirs <<<"$seeds"
  [ "$name" = flow ] && seedDirs+=("$flowSeeds")
  for d in "${seedDirs[@]}"; do
    [ -d "$d" ] && dirs+=("$d")
  done
  log=$build/logs/$name.log
  echo "fuzz: $name for $seconds s"
  if ! "$program" -max_total_time="$seconds" -max_len="$maxLen" -timeout=25 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$build/findings/$name-" "${dirs[@]}" >"$log" 2>&1; then
    tail -n 60 "$log" >&2
    echo "fuzz: $name found a fault; its input is in $build/findings/ (log: $log)" >&2
    failed=1
    break
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  last=$(grep -E '^#[0-9]+' "$log" | tail -n 1 || true)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  units=$(find "$corpus" -type f | wc -l)
  echo "fuzz: $name: ${runs:-?} inputs in $seconds s, coverage ${cov:-?} edges, ${ft:-?} features, corpus $units"
done <"$build/tests/fuzz/harnesses.txt"
exit "$failed"
