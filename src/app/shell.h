// The application shell: start-up and shut-down order, the window procedure,
// the main loop and the 60-frames-per-second frame clock.
#pragma once

#include <cstdint>

#include "platform/platform.h"

extern uint32_t frameBaseTime;  // ms tick at which the last frame was scheduled
extern uint32_t frameFraction;  // thousandths of a ms not yet added to frameBaseTime
extern int frameSkip;           // 1..10: one frame in frameSkip is drawn
extern int skipPhase;           // 0..frameSkip-1; nothing is drawn while not 0
extern int frameDrawn;          // a scene drew a new picture this frame
extern int liveX, liveY;        // pointer in client pixels, from the last mouse message
extern int liveButton;          // 1 from left-button-down until left-button-up
// A left-button-down arrived since the pointer was last sampled: a click whose
// release comes within the same frame (a touchpad tap) still counts as a press.
extern int liveClickPending;

void initGameValues();
// One tick of the main loop: runs a frame when the frame clock says one is due.
void runFrame();
// The frame's work once the clock has said it is due: pointer sample, scene
// step, overlay texts, present. The simulator runs it without a clock.
void runFrameWork();
void windowProcedure(const SysEvent& event);
// Title, Playing and MissFall thin out drawing with this at the start of each frame.
void advanceSkipPhase();

// The program's entry: returns the process exit code.
int wendlopMain(int argc, char** argv);
