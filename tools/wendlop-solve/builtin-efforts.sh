#!/usr/bin/env bash
# builtin-efforts.sh [REPORT] > src/solve/builtin_efforts.h
# The effort of each built-in stage, from the table "Full measures of the set"
# of docs/solver-report.md, as the header the game ranks a checked stage by.
# The solve tests compare the header with the report.
set -euo pipefail
report=${1:-$(dirname "$0")/../../docs/solver-report.md}
efforts=$(awk -F'|' '
  /^## Full measures/ { on = 1; next }
  on && n > 0 && !/^\|/ { exit }
  on && $2 ~ /^ *[0-9]+ *$/ { n++; gsub(/ /, "", $2); gsub(/ /, "", $6)
    if ($2 != n || $6 !~ /^[0-9]+$/) { print "bad row " n > "/dev/stderr"; exit 1 }
    printf "%s%s", (n > 1 ? (n % 10 == 1 ? ",\n    " : ", ") : "    "), $6 }
  END { if (n != 50) { print "found " n " stages, not 50" > "/dev/stderr"; exit 1 } }' "$report")
cat <<HEADER
// The effort of each built-in stage (positions the search expands to prove
// that fewer presses do not clear it), stage 1 first: the table "Full
// measures of the set" of docs/solver-report.md. Made by
// tools/wendlop-solve/builtin-efforts.sh; the solve tests compare the two.
#pragma once

#include <array>

constexpr std::array<long long, 50> builtinEfforts = {
$efforts};
HEADER
