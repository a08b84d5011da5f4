// The 60-frames-per-second frame clock, and the frame skipping that thins out
// drawing when the machine falls behind. The shell runs it; a scene step may
// advance the skip phase, mark its picture drawn, and restart the clock after
// slow work.
#pragma once

#include <cstdint>

struct FrameClock {
  uint32_t frameBaseTime = 0;  // ms tick at which the last frame was scheduled
  uint32_t frameFraction = 0;  // thousandths of a ms not yet added to frameBaseTime
  int frameSkip = 1;           // 1..10: one frame in frameSkip is drawn
  int skipPhase = 0;           // 0..frameSkip-1; nothing is drawn while not 0
  bool frameDrawn = false;     // a scene drew a new picture this frame
  bool operator==(const FrameClock&) const = default;
};
extern FrameClock frameClock;
void resetFrameClock();

// Title, Playing and MissFall thin out drawing with this at the start of each frame.
void advanceSkipPhase();
// The next frame is drawn whatever the skip level: for scenes that show a
// picture once.
void resetSkipPhase();
// After slow work (loading a stage, saving a replay) the schedule starts again
// from now, so that the work is not taken for a stall.
void restartFrameClock();

// For the shell. Drawing follows the skip phase: the primitives draw only on
// its frames of 0.
void setSkipPhase(int phase);
// True when the next frame is due, and the schedule moves on by one period
// (16 or 17 ms, 60 a second on average). A stall of more than a second drops
// the backlog and raises the skip level instead.
bool frameDue();
// How long the main loop may wait for a message before the next frame is
// due: at least the millisecond's pause between ticks.
uint32_t msUntilFrameDue();
