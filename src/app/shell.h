// The application shell: start-up and shut-down order, the window procedure,
// the main loop and the frame clock.
#pragma once

#include "app/frame_clock.h"
#include "flow/flow.h"
#include "platform/platform.h"

extern LivePointer livePointer;

// The frame clock starts from now, stage 1 is chosen and the Title scene's
// entry actions are due.
void initGameValues();
// One tick of the main loop: runs a frame when the frame clock says one is due.
void runFrame();
// The frame's work once the clock has said it is due: pointer sample, scene
// step, overlay texts, present. The simulator runs it without a clock.
void runFrameWork();
void windowProcedure(const SysEvent& event);
// The settings that the game itself reads: DRAG for the title, the stage the
// selector starts at; and the title's choices kept in them from then on.
void applySettingsToGame();
void noteTitleChoice(TitleAction action);
// The window's scale and fullscreen, and keeping in the settings what the
// player changed of them since the start.
struct WindowChoice {
  int scale;
  bool fullscreen;
};
WindowChoice currentWindowChoice();
void rememberWindowChoice(const WindowChoice& atStart);

// The program's entry: returns the process exit code.
int wendlopMain(int argc, char** argv);
