// The player's progress, kept between runs: which stages were cleared in a
// game (not in a demonstration), and the most TIME left at a clear.
#pragma once

#include <array>
#include <map>
#include <string>

#include "flow/flow.h"
#include "pack/pack.h"

using PackTimes = std::array<int, MostPackStages + 1>;

struct Progress {
  int bestTime[LastStage + 1] = {};  // the built-in pack's, by stage number; 0: not cleared
  std::map<std::string, PackTimes> packTimes;  // every other pack's, by its name
  bool operator==(const Progress&) const = default;
};
extern Progress progress;

// Reads `text` into *out (from nothing cleared); false when some of it is
// damaged, with what could be read kept.
bool parseProgress(const std::string& text, Progress* out);
std::string formatProgress(const Progress& p);

// Where the progress file lives; "" for nowhere (nothing is read or saved).
void setProgressFile(const std::string& path);
// Reads the file; a damaged one is named in one line on stderr and stays as
// it is until the next clear replaces it.
void loadProgress();
// The best TIME of `stage` in the pack being played; 0: not cleared.
int bestTimeOf(int stage);
// Notes a clear of `stage` of the pack being played with `timeLeft` seconds to spare and saves the file
// at once; a damaged file is kept beside it as progress.damaged. False when
// the file cannot be written.
bool noteClear(int stage, int timeLeft);
// Something cleared in the pack being played; in any pack at all.
bool anyProgress();
bool anyProgressInAnyPack();
