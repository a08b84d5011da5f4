// The application shell: start-up and shut-down order, the window procedure,
// the main loop and the frame clock.
#pragma once

#include <string>

#include "app/frame_clock.h"
#include "flow/flow.h"
#include "platform/platform.h"

extern LivePointer livePointer;

// What the last frame did, for the simulator's trace: it drew a new picture,
// and the picture went to the window.
struct FrameReport {
  bool drew = false;
  bool presented = false;
};
extern FrameReport frameReport;

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

// How the program starts. The game as a player starts it reads and writes the
// player's settings, progress and recordings; the simulator starts it the same
// way with none of them unless it is given files of its own.
struct GameStart {
  const char* dataFolder = nullptr;  // nullptr: found as sysFindDataFolder says
  bool playerFiles = true;           // the player's settings, progress and recordings
  std::string settingsFile;          // these instead, when not empty
  std::string progressFile;
  const char* replayFolder = nullptr;  // where recordings go, instead of the player's
  const char* editorFolder = nullptr;  // the player's packs/ and the editor's recovery copy there, instead
  bool record = false;               // as if Shift were held at start
  std::string screenshotDir;
  int screenshotEvery = 1;
  int scale = -1;                    // -1: as the settings say; 0: the largest that fits
  bool fullscreen = false;
  std::string pack;  // the stage pack to start with, by name or folder; "" the built-in one
};
// Start-up in its order, up to the main loop: 0 when the game is ready, else
// the exit code (the reason is on stderr).
int startGame(const GameStart& start);
// Hands every waiting message to the window procedure; false once the quit
// message has come.
bool dispatchMessages();
// Shut-down in its order, after the main loop.
void shutDownGame();

// The program's entry: returns the process exit code.
int wendlopMain(int argc, char** argv);
