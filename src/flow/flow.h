// Game flow: the scene machine and title menu, the status line, time limit,
// lives and stars, and pointer sampling with recording and replay.
#pragma once

#include <cstdint>

#include "world/world.h"

// ---- Scenes ---------------------------------------------------------------
// The numbers are the scene's identity in traces and tests.
enum Scene : int {
  Title = 0,
  DemoStart = 1,
  NewGame = 2,
  StageReady = 3,
  Playing = 4,
  StageClear = 7,
  GameOver = 8,
  AllClear = 9,
  Miss = 10,
  MissFall = 11,
  MissWait = 12,
  StageBrowser = 13,
};

// The built-in pack's last stage; a pack of n stages ends at its nth
// (packStageCount in pack/pack.h).
enum { LastStage = 50 };

// The extra-life picture that rises from the walker for 40 frames.
struct Bonus {
  int bonusX = 0, bonusY = 0;
  int bonusFrame = 0;  // 0: none showing
  int bonusTimer = 0;
  bool operator==(const Bonus&) const = default;
};

// Everything the scene machine keeps from one frame to the next.
struct GameFlow {
  Scene scene = Title;
  bool sceneEntered = false;   // set by setScene: the scene's entry actions are due
  int stageNumber = 1;
  int stagesCleared = 0;       // in this game; fifty make ALL CLEAR
  bool dragMode = true;        // DRAG ON: entering a cell with the button held switches it
  bool savedDragMode = true;   // what each Title entry restores
  int selectorHold = 0;        // frames the button has been held on the title, up to 35
  int fallSpeed = 0;           // of the walker falling off the screen after a miss
  // Status line, time limit, lives and stars.
  int lives = 0;
  int stars = 0;
  int timeLeft = 0;            // seconds
  int timeFrames = 0;          // frames of the second under way
  Bonus bonus;
  // The frame's pointer, live or replayed.
  PointerSample pointer;
  bool recording = false;      // for the whole run: cleared stages are saved as replays
  bool demoPlayback = false;
  int replayIndex = 0;         // the Playing frame's record in the replay buffer
  // The title and the stage browser act on their keys in the frame after
  // the key came, as on a click; 0 for none.
  uint32_t sceneKey = 0;
  int browserChoice = 0;       // the stage the browser's frame stands on, from 0
  int browserPointer = -1;     // the picture the pointer was over, -1 none
  bool operator==(const GameFlow&) const = default;
};
extern GameFlow flow;

void setScene(Scene next);
void newGameReset();
void walkerReset();
void runScene();

// ---- Title menu -----------------------------------------------------------
// The title's lines, item by item: each is drawn at its text cell, and the
// cells it covers are where the pointer acts on it.
enum class TitleAction { None, Start, PreviousStage, NextStage, Demo, Drag, Browse, NextPack };
enum class TitleText { Fixed, StageNumber, DragState, PackName };
struct TitleItem {
  const char* text;  // for Fixed; the others are made from the flow's state
  TitleText kind;
  int row, column, width;
  TitleAction action;
};
extern const TitleItem titleItems[];
extern const int titleItemCount;
// The item drawn over text cell (column, row), or nullptr.
const TitleItem* titleItemAt(int column, int row);
// Whether the item is on the title now: the pack's row only while there is
// more than the built-in pack to choose from, and then once something has
// been cleared (in any pack), another pack is chosen, or the player has packs
// of their own.
bool titleItemShown(const TitleItem& item);
// Takes a key that the title or the stage browser acts on (B opens the
// browser, Tab chooses the next pack; in the browser the arrows, Page Up and
// Down, Enter and Escape); false for any other key or scene.
bool takeSceneKey(uint32_t key);
// Sees every title item that acts (a stage chosen, a game or demonstration
// started, DRAG switched), after it has acted; the shell keeps the choices
// in the settings. nullptr when nobody listens.
extern void (*titleObserver)(TitleAction action);

// ---- Stage browser --------------------------------------------------------
// The pack's stages as small pictures, ten by five to a page.
enum { BrowserColumns = 10, BrowserRows = 5, BrowserPage = BrowserColumns * BrowserRows };
void stepBrowser();
// Opens the browser on the title's stage; leaving it goes back to the title
// as it was (its song plays on).
void openBrowser();
// Draws the browser's page for the current choice, pictures made first when
// the page has none yet (then true); the benchmark times it.
bool drawBrowserPage();
// Forgets the pictures made, as when the pack changes.
void forgetBrowserPictures();
// A stage's first frame reduced to PictureWidth x PictureHeight palette
// indices, drawn by the game's own primitives; the world is left as it was.
enum { PictureWidth = 60, PictureHeight = 45 };
bool makeStagePicture(int stage, uint8_t* out, char title[21]);
// What the title's choices start: a new game from the chosen stage.
void startGameFromTitle();

// ---- Status line, time limit, lives and stars -----------------------------
void drawStatusLine();
void stepTimeLimit();
void startBonus(int x, int y, int frame);
void stepBonus();
void takeStar();

// ---- Pointer sampling, recording and replay --------------------------------
enum { ReplayRecords = 3600, ReplayRecordSize = 6, ReplayBytes = ReplayRecords * ReplayRecordSize };

// 3,600 records of x (u16 LE), y (u16 LE), button (u8), reserved (u8): the file image.
extern uint8_t replayBuffer[ReplayBytes];
// An empty buffer, and replays read from and written to the stage's files.
void resetReplay();

// The pointer as the window last reported it; sampling turns it into the frame's.
struct LivePointer {
  int liveX = 320, liveY = 240;  // client pixels, from the last mouse message
  bool liveButton = false;       // from left-button-down until left-button-up
  // A left-button-down arrived since the pointer was last sampled: a click
  // whose release comes within the same frame (a touchpad tap) still counts.
  bool liveClickPending = false;
  // A left-button-up arrived since the pointer was last sampled. When the
  // button was down at that sample and is pressed again before the next, the
  // release is sampled first and the new press a frame later, so that a
  // quick second click still counts as a press.
  bool liveReleasePending = false;
  bool operator==(const LivePointer&) const = default;
};

// Stores one sample as record `index` of the replay buffer, in the file's layout.
void putReplayRecord(int index, int x, int y, int button);
void samplePointer(LivePointer& live);
void recordingStep();
bool saveReplay();
bool loadReplay();

// Where recordings are written and read first; the shipped ones lie in the
// data folder's replay/. Empty until the shell sets it, and then nothing is
// recorded: the data folder may be the installed, shared one.
void setUserReplayFolder(const char* folder);
// Makes loadReplay read this file instead of the stage's replay ("" stands for
// a recording of no input at all); nullptr goes back to the stage's files.
// The simulator plays solutions this way.
void setReplayFile(const char* path);
