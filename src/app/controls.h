// What the player can do around the game itself: pause it (P, Pause, or
// another window chosen), the pause menu (Escape), leave a demonstration, and
// set the volume (M, -, +). None of it touches the game's frames: while
// paused no frame runs, and every picture the game drew is put back as it was.
#pragma once

#include <cstdint>

#include "flow/flow.h"

enum class PauseChoice { Continue, RestartStage, Title };

struct PauseState {
  bool paused = false;
  bool notedFocusLoss = false;  // the pause came from another window being chosen
  int selected = 0;             // the highlighted line of the pause menu
  int panelTop = 1;             // the text row where the pause panel starts
  bool operator==(const PauseState&) const = default;
};
extern PauseState pauseState;

// Not paused, no notice.
void resetControls();

// The scenes of a stage under way, in which the game can be paused.
bool stageInPlay(Scene scene);

void pauseGame();
void resumeGame();
// The lines of the pause menu for the scene under way (RESTART STAGE only
// while the stage can still be lost); at most three.
int pauseMenuChoices(PauseChoice* out);
void choosePause(PauseChoice choice);

// A key the game's own rules leave alone; true when it was taken.
bool controlKey(uint32_t key);
// A key let go: only Tab, held for the hazard path preview, cares.
void controlKeyUp(uint32_t key);
void controlFocusLost();
// The pointer while the game is paused: it moves over the menu and presses
// its lines; none of it reaches the game.
void controlPointer(int x, int y, bool pressed);
// The pause panel keeps to the upper or the lower part of the field, whichever
// hides less of the walker, the hazards and the tiles that do something: the
// text row it starts at for the stage as it stands, and where line `line` of
// its menu is.
int pausePanelTop();
int pauseMenuRow(int line);
// A press during a demonstration ends it; true when one was ended.
bool endDemonstrationByPress();

// The volume notice ("VOLUME 70%") for a second, over whatever the game shows.
void showNotice(const char* text);
// The notice showing now, "" when none is.
const char* noticeShowing();
// Draws the notice for this frame, presents, and puts the canvas back; false
// when there was nothing to do (the frame presents as it always does).
bool presentWithNotice();
// How long the main loop may wait for a message while paused.
uint32_t pausedWaitMs();
// While paused: brings the picture up to date when the notice has run out.
void pausedTick();

// The volumes as the settings hold them, handed to the sound; none while muted.
void applyVolume();
