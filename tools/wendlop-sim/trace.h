// The simulator's trace: one JSON object a frame, for tools and tests to read.
#pragma once

#include <cstdio>
#include <vector>

// The fields every trace line starts with, in their order: the frame, the
// scene that ran, the walker, the hazards, the tiles, lives, stars, time, the
// pointer sample and the effects played. The object is left open.
void writeTraceFields(FILE* out, long frame, int ranScene, const std::vector<int>& frameEffects);
