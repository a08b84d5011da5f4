// Searches the presses that clear a stage by running the game's own frames
// headless, the way a demonstration plays a stage, and branching from saved
// copies of the game's state instead of replaying every attempt from its start.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/game_state.h"
#include "world/world.h"

// A hash of what decides the rest of the attempt when no press comes: the
// game's snapshot, all of it but what the key names as left out. The clock is
// left out (the frame number stands for it) and so is what is only drawn (the
// walker's leg swing, the extra-life picture).
uint64_t worldKey(const GameSnapshot& s);
// The key of the game as it stands.
uint64_t worldKey();

// One press of a solution: at Playing frame `frame` (from 0) on the walker, or
// on the centre of cell (row, col).
struct Press {
  int frame = 0;
  bool onWalker = false;
  int row = 0, col = 0;
  bool operator==(const Press&) const = default;
};

// Loads `stage` from the working folder and runs the game's flow, as DEMO does
// with DRAG OFF, up to the first Playing frame. False when there is no such stage.
bool startAttempt(int stage);
// From now on every attempt, whatever its stage number, plays this 620-byte
// stage image instead of map/mapNN.fmf; nullptr goes back to the files. How a
// stage that is in no data folder (one being edited) is solved and measured.
void setAttemptImage(const uint8_t* image);

enum class FrameResult { Playing, Clear, Lost };
// Runs the next Playing frame with the button up, or pressed as `press` says
// (its frame is not looked at), and says where the attempt stands.
FrameResult playFrame(const Press* press);

// Plays a whole attempt from its start with these presses (sorted by frame).
// True when the stage is cleared; *playingFrames counts the Playing frames run.
bool playSolution(int stage, const std::vector<Press>& presses, int* playingFrames = nullptr);

struct SolveOptions {
  int maxPresses = 8;
  int step = 4;          // presses only at Playing frames that are multiples of this
  double seconds = 60;   // wall-clock budget of the whole search
  int tableBits = 23;    // 2^bits remembered states
};

struct SolveResult {
  bool found = false;
  std::vector<Press> presses;
  int playingFrames = 0;    // of the solution found
  int provenNone = -1;      // no solution with this many presses or fewer (-1: not even 0)
  bool timedOut = false;
  long long frames = 0;     // frames simulated
  long long nodes = 0;      // states branched from
  double seconds = 0;
};

// Looks for the fewest presses, trying 0, 1, 2, ... up to maxPresses.
SolveResult solveStage(int stage, const SolveOptions& options);

// The presses in the solution text format.
std::string formatSolution(const std::vector<Press>& presses);
