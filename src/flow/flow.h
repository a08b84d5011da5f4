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
};

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
enum class TitleAction { None, Start, PreviousStage, NextStage, Demo, Drag };
enum class TitleText { Fixed, StageNumber, DragState };
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
// Sees every title item that acts (a stage chosen, a game or demonstration
// started, DRAG switched), after it has acted; the shell keeps the choices
// in the settings. nullptr when nobody listens.
extern void (*titleObserver)(TitleAction action);

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
const char* userReplayFolder();
// Makes loadReplay read this file instead of the stage's replay ("" stands for
// a recording of no input at all); nullptr goes back to the stage's files.
// The simulator plays solutions this way.
void setReplayFile(const char* path);
