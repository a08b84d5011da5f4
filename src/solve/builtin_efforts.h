// The effort of each built-in stage (positions the search expands to prove
// that fewer presses do not clear it), stage 1 first: the table "Full
// measures of the set" of docs/solver-report.md. Made by
// tools/wendlop-solve/builtin-efforts.sh; the solve tests compare the two.
#pragma once

#include <array>

constexpr std::array<long long, 50> builtinEfforts = {
    0, 1558, 0, 0, 0, 1393, 0, 177, 5765, 35,
    31, 899, 0, 0, 64, 37, 0, 3659, 0, 899,
    80, 0, 59, 82, 0, 80, 147, 0, 23, 50,
    0, 0, 59, 0, 31, 109, 0, 2553, 2588, 1065083,
    403858, 235451, 108901, 125098, 4028, 1077, 65993, 269859, 8683, 5612350};
