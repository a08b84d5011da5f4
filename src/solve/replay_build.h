// A solution's clicks as the replay that recording them in the game would
// have written: the cursor glides to each place it presses, presses for one
// frame, and rests there. Used by wendlop-replay for the shipped
// demonstrations and by the editor for the solutions its check finds.
#pragma once

#include <string>
#include <vector>

#include "solve/solver.h"

// How many frames the cursor takes to glide to the next place it presses.
enum { ReplayGlideFrames = 24 };

// Plays a demonstration already set up (DemoStart or NewGame, DRAG OFF) and
// writes each Playing frame's record into the replay buffer just before that
// frame samples it. `presses` are in order of frame, each from Playing frame 1
// with the button up in the frame before. True when the stage is cleared; else
// *error says why and *unusedPress, if given, is the first press not made
// (presses.size() when all were).
bool buildReplay(const std::vector<Press>& presses, int* playingFrames, std::string* error,
                 size_t* unusedPress = nullptr);
