// The whole state of a game in progress as one value, for the tools and tests
// that branch from a frame or put the game back to its start.
#pragma once

#include <array>
#include <cstdint>

#include "app/frame_clock.h"
#include "app/pointer_input.h"
#include "flow/flow.h"
#include "world/world.h"

// Everything a frame reads or writes, concern by concern; the replay buffer is
// left out (it is the input, not the state), and so are the display, the
// sounds and the music, which a frame only sends things to.
struct GameSnapshot {
  FrameClock frameClock;
  LivePointer livePointer;
  PointerInput pointerInput;
  GameFlow flow;
  std::array<uint8_t, StageMapSize> stageMap;
  Walker walker;
  HazardTable hazardTable;
  TileAnimation tileAnimation;
  PointerTrack pointerTrack;
  bool operator==(const GameSnapshot&) const = default;
};

void saveGame(GameSnapshot* out);
void restoreGame(const GameSnapshot& in);

// Every concern of the game back to its value at program start, the replay
// buffer, a stage given in memory and where replays, settings and progress are
// kept included.
void resetGame();

// Starts a demonstration of `stage` in a game just reset, as the title's DEMO
// does, playing `replayFile` ("" for a recording of no input, nullptr for the
// stage's own replay) with DRAG as `drag`. The tools that play stages headless
// start here; the scene flow then loads the stage.
void startDemonstration(int stage, const char* replayFile, bool drag);
