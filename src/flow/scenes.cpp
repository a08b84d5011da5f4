// The scene machine: title menu, stage start, play, clear, the three steps of
// losing a life, game over and all clear, and stage progression.
#include <cstdio>
#include <cstring>

#include "app/shell.h"
#include "display/display.h"
#include "flow/flow.h"
#include "music/music.h"
#include "sound/sound.h"
#include "world/world.h"

int scene = Title;
int sceneEntered = 0;
int stageNumber = 1;
int stagesCleared = 0;
uint8_t dragMode = 1;
uint8_t savedDragMode = dragMode;
int selectorHold = 0;
int fallSpeed = 0;

namespace {
constexpr const char* titleSong = "midi/a004pop3.mid";
constexpr const char* stageSong = "midi/a002pop1.mid";
constexpr const char* gameOverSong = "midi/a003pop2.mid";
constexpr const char* allClearSong = "midi/a005pop4.mid";
constexpr const char* creditLine = "(C) WENDLOP";  // 11 characters under the menu

void drawWalkerNow() { drawWalker(walker.x, walker.y, walker.state); }

void titleMenu() {
  const int col = pointerX / 16;
  const int row = pointerY / 16;
  if (pointerButton == 1) {
    if (selectorHold != 35) selectorHold += 1;
    if ((selectorHold == 1 || selectorHold == 35) && row == 23) {
      if (col == 20 && stageNumber > 1) {
        playEffect(SoundTurn);
        stageNumber -= 1;
      }
      if (col == 25 && stageNumber < LastStage) {
        playEffect(SoundTurn);
        stageNumber += 1;
      }
    }
  } else {
    selectorHold = 0;
  }
  if (!isPress()) return;
  if (row == 23 && col >= 12 && col <= 18) {
    setScene(NewGame);
    playEffect(SoundSwitch);
    stopSong();
    unloadSong();
  }
  if (row == 23 && col >= 27 && col <= 32 && !recording) {
    playEffect(SoundSwitch);
    savedDragMode = dragMode;
    dragMode = 0;
    setScene(DemoStart);
  }
  if (row == 25 && col >= 17 && col <= 21 && !recording) {
    playEffect(SoundMiss);
    dragMode = dragMode ? 0 : 1;
  }
}

void stepTitle() {
  if (sceneEntered) {
    sceneEntered = 0;
    loadSong(titleSong);
    playSong();
    selectorHold = 0;
    dragMode = savedDragMode;
    walker.x = 0;
    demoPlayback = false;
    if (recording) dragMode = 0;
  }
  advanceSkipPhase();
  drawBackdrop(0);
  char line[48];
  std::snprintf(line, sizeof line, "[START] \x1d %02d \x1c [DEMO]", stageNumber);
  drawText(12, 23, line);
  std::snprintf(line, sizeof line, "DRAG [%s]", dragMode == 0 ? "OFF" : "ON ");
  drawText(12, 25, line);
  drawText(12, 28, creditLine);
  drawLogo(64, 190);
  drawCursor(pointerX, pointerY);
  frameDrawn = 1;
  titleMenu();
}

void stepDemoStart() {
  demoPlayback = true;
  setScene(loadReplay() ? NewGame : Title);
  frameBaseTime = sysTicks();
}

void stepNewGame() {
  skipPhase = 0;
  newGameReset();
  setScene(StageReady);
}

void stepStageReady() {
  bool loaded = true;
  if (sceneEntered) {
    sceneEntered = 0;
    stars = 0;
    timeLeft = 60;
    walker.stepDelay = 1;
    walker.stepTick = 0;
    walker.clickCooldown = 0;
    replayIndex = 0;
    phase16 = 0;
    phase64 = 0;
    if (recording) std::memset(replayBuffer, 0, sizeof replayBuffer);
    if (loadStage(stageNumber)) {
      loadSong(stageSong);
      playSong();
    } else {
      loaded = false;
      if (stageNumber == 1) {
        // Without a first stage a demonstration would start itself again and
        // again; one that has already begun goes back to the title.
        setScene(demoPlayback ? Title : DemoStart);
        stopSong();
      }
      if (stageNumber > LastStage && stagesCleared == LastStage) {
        setScene(AllClear);
        unloadSong();
        loadSong(allClearSong);
        playSong();
      }
      stageNumber = 1;
      stagesCleared = 0;
      sceneEntered = 1;
    }
  }
  frameBaseTime = sysTicks();
  drawBackdrop(1);
  drawTileLayer();
  drawWalkerNow();
  drawHazards();
  drawText(9, 15, "CLICK BUTTON TO START.");
  drawStatusLine();
  drawCursor(pointerX, pointerY);
  frameDrawn = 1;
  if (loaded && (isPress() || demoPlayback)) setScene(Playing);
}

void stepPlaying() {
  advanceSkipPhase();
  drawBackdrop(1);
  drawTileLayer();
  stepBonus();
  drawWalkerNow();
  drawHazards();
  hazardContact();
  if (walker.state != AtGoal) moveHazards();
  drawCursor(pointerX, pointerY);
  frameDrawn = 1;
  drawStatusLine();
  stepTimeLimit();
  recordingStep();
  stepWalker();
  updateTiles();
  applyPointer();
}

void stepStageClear() {
  if (sceneEntered) {
    sceneEntered = 0;
    skipPhase = 0;
    if (demoPlayback) {
      setScene(Title);
    } else {
      playEffect(SoundClear);
    }
    drawBackdrop(1);
    drawTileLayer();
    drawWalkerNow();
    drawText(16, 15, "CLEAR!");
    drawStatusLine();
    frameDrawn = 1;
    walker.clickCooldown = 120;
    if (recording) {
      // The game plays on; the player sees at once that this clear was not kept.
      if (!saveReplay()) drawText(12, 17, "REPLAY NOT SAVED");
      frameBaseTime = sysTicks();
    }
  }
  if (walker.clickCooldown > 0) walker.clickCooldown -= 1;
  if (walker.clickCooldown > 0) return;
  stageNumber += 1;
  stagesCleared += 1;
  walkerReset();
  setScene(StageReady);
}

void stepGameOver() {
  if (sceneEntered) {
    sceneEntered = 0;
    unloadSong();
    loadSong(gameOverSong);
    playSong();
    drawBackdrop(1);
    drawTileLayer();
    drawText(15, 15, "GAME  OVER");
    frameDrawn = 1;
  }
  if (isPress()) {
    walkerReset();
    setScene(Title);
    stopSong();
    unloadSong();
  }
}

void stepAllClear() {
  if (sceneEntered) {
    sceneEntered = 0;
    drawBackdrop(2);
    drawText(6, 15, "ALL CLEAR. CONGRATULATIONS!");
    frameDrawn = 1;
  }
  if (isPress()) {
    stopSong();
    unloadSong();
    setScene(Title);
  }
}

void stepMiss() {
  if (sceneEntered) {
    sceneEntered = 0;
    skipPhase = 0;
    stopSong();
    playEffect(SoundMiss);
    drawBackdrop(1);
    drawTileLayer();
    drawWalkerNow();
    drawHazards();
    walker.timer = 60;
    drawStatusLine();
    frameDrawn = 1;
  }
  if (--walker.timer == 0) {
    lives -= 1;
    setScene(MissFall);
  }
}

void stepMissFall() {
  if (sceneEntered) {
    playEffect(SoundDeathFall);
    sceneEntered = 0;
    fallSpeed = -16;
    walker.state = Dead;
  }
  advanceSkipPhase();
  drawBackdrop(1);
  drawTileLayer();
  drawWalkerNow();
  drawHazards();
  drawStatusLine();
  walker.y += fallSpeed;
  fallSpeed += 1;
  frameDrawn = 1;
  if (walker.y > 600) setScene(MissWait);
}

void stepMissWait() {
  if (sceneEntered) {
    sceneEntered = 0;
    walker.timer = 90;
    skipPhase = 0;
  }
  if (--walker.timer != 0) return;
  if (demoPlayback) {
    setScene(Title);
  } else if (lives == 0) {
    setScene(GameOver);
  } else {
    walkerReset();
    setScene(StageReady);
  }
}
}  // namespace

void setScene(int next) {
  sceneEntered = 1;
  scene = next;
}

void newGameReset() {
  walker.stepsLeft = 16;
  walker.rowFrames = 32;
  walker.walkPhase = 0;
  lives = 3;
  stagesCleared = 0;
  timeFrames = 0;
}

void walkerReset() {
  walker.walkPhase = 0;
  walker.stepsLeft = 16;
  walker.rowFrames = 32;
}

void runScene() {
  switch (scene) {
    case Title: stepTitle(); break;
    case DemoStart: stepDemoStart(); break;
    case NewGame: stepNewGame(); break;
    case StageReady: stepStageReady(); break;
    case Playing: stepPlaying(); break;
    case StageClear: stepStageClear(); break;
    case GameOver: stepGameOver(); break;
    case AllClear: stepAllClear(); break;
    case Miss: stepMiss(); break;
    case MissFall: stepMissFall(); break;
    case MissWait: stepMissWait(); break;
    default: break;
  }
}
