// Game flow: the scene machine and title menu, the status line, time limit,
// lives and stars, and pointer sampling with recording and replay.
#pragma once

#include <cstdint>

// ---- Scenes ---------------------------------------------------------------
enum Scene {
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

extern int scene;          // the current Scene
extern int sceneEntered;   // set by setScene: the scene's entry actions are due
extern int stageNumber;
extern int stagesCleared;
extern uint8_t dragMode;       // 1 ON, 0 OFF
extern uint8_t savedDragMode;  // what each Title entry restores
extern int selectorHold;
extern int fallSpeed;

enum { LastStage = 50 };

void setScene(int next);
void newGameReset();
void walkerReset();
void runScene();

// ---- Status line, time limit, lives and stars -----------------------------
extern int lives;
extern int stars;
extern int timeLeft;
extern int timeFrames;
extern int bonusX, bonusY, bonusFrame, bonusTimer;

void drawStatusLine();
void stepTimeLimit();
void startBonus(int x, int y, int frame);
void stepBonus();
void takeStar();

// ---- Pointer sampling, recording and replay --------------------------------
enum { ReplayRecords = 3600, ReplayRecordSize = 6, ReplayBytes = ReplayRecords * ReplayRecordSize };

extern int pointerX, pointerY;
extern int pointerButton, previousButton;
extern bool recording;
extern bool demoPlayback;
extern int replayIndex;
// 3,600 records of x (u16 LE), y (u16 LE), button (u8), reserved (u8): the file image.
extern uint8_t replayBuffer[ReplayBytes];

bool isPress();
// Stores one sample as record `index` of the replay buffer, in the file's layout.
void putReplayRecord(int index, int x, int y, int button);
void samplePointer();
void recordingStep();
bool saveReplay();
bool loadReplay();

// Where recordings are written and read first; the shipped ones lie in the
// data folder's replay/. Empty until the shell sets it (then nothing is saved).
void setUserReplayFolder(const char* folder);
const char* userReplayFolder();
// Makes loadReplay read this file instead of the stage's replay ("" stands for
// a recording of no input at all); nullptr goes back to the stage's files.
// The simulator plays solutions this way.
void setReplayFile(const char* path);
