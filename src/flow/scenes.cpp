// The scene machine: title menu, stage start, play, clear, the three steps of
// losing a life, game over and all clear, and stage progression.
#include <cctype>
#include <cstdio>
#include <cstring>

#include "app/frame_clock.h"
#include "display/display.h"
#include "display/surface.h"
#include "flow/flow.h"
#include "flow/progress.h"
#include "music/music.h"
#include "pack/pack.h"
#include "platform/platform.h"
#include "sound/sound.h"
#include "world/world.h"

GameFlow flow;
void (*titleObserver)(TitleAction action) = nullptr;

// Row 23: "[START] \x1d 05 \x1c [DEMO]", row 25: "DRAG [ON ]", row 26 the pack
// (see titleItemShown), and the credit line under them.
// The gaps between items on a row are drawn as spaces.
const TitleItem titleItems[] = {
    {"[START]", TitleText::Fixed, 23, 12, 7, TitleAction::Start},
    {"\x1d", TitleText::Fixed, 23, 20, 1, TitleAction::PreviousStage},
    {nullptr, TitleText::StageNumber, 23, 22, 2, TitleAction::Browse},
    {"\x1c", TitleText::Fixed, 23, 25, 1, TitleAction::NextStage},
    {"[DEMO]", TitleText::Fixed, 23, 27, 6, TitleAction::Demo},
    {"DRAG", TitleText::Fixed, 25, 12, 4, TitleAction::None},
    {nullptr, TitleText::DragState, 25, 17, 5, TitleAction::Drag},
    {nullptr, TitleText::PackName, 26, 12, 28, TitleAction::NextPack},
    {"(C) WENDLOP", TitleText::Fixed, 28, 12, 11, TitleAction::None},
};
const int titleItemCount = static_cast<int>(sizeof titleItems / sizeof titleItems[0]);

// The PACK line, when there are packs to choose from, is for a player who
// has gone beyond the built-in stages' title as it always was: something
// cleared (the progress row shows then too), another pack chosen, or packs of
// their own. A player who uses none of it sees that title unchanged, packs
// installed with the game (Extra) or not; Tab chooses a pack all the same.
bool titleItemShown(const TitleItem& item) {
  if (item.kind != TitleText::PackName) return true;
  return packState.packs.size() > 1 && (anyProgressInAnyPack() || !currentPack().builtIn || anyOwnPack());
}

const TitleItem* titleItemAt(int column, int row) {
  for (const TitleItem& item : titleItems) {
    if (!titleItemShown(item)) continue;
    if (item.row == row && column >= item.column && column < item.column + item.width) return &item;
  }
  return nullptr;
}

namespace {
constexpr const char* titleSong = "midi/a004pop3.mid";
constexpr const char* stageSong = "midi/a002pop1.mid";
constexpr const char* gameOverSong = "midi/a003pop2.mid";
constexpr const char* allClearSong = "midi/a005pop4.mid";
// Holding the button on a selector arrow steps once at once, then on every
// frame from the 35th.
constexpr int SelectorRepeatFrames = 35;
constexpr int ClearPauseFrames = 120;
constexpr int MissPauseFrames = 60;
constexpr int MissWaitFrames = 90;
constexpr int FallOffScreenY = 600;

// Showing the walker moves its leg swing on, whether or not the frame is drawn.
void drawWalkerNow() {
  const int frame = walkerFrame(walker.state);
  drawWalker(walker.x, walker.y, frame);
}

void titleItemText(const TitleItem& item, char* out, size_t size) {
  switch (item.kind) {
    case TitleText::Fixed: std::snprintf(out, size, "%s", item.text); break;
    case TitleText::StageNumber: std::snprintf(out, size, "%02d", flow.stageNumber); break;
    case TitleText::DragState: std::snprintf(out, size, "[%s]", flow.dragMode ? "ON " : "OFF"); break;
    case TitleText::PackName: {
      std::snprintf(out, size, "PACK: %s", currentPack().info.name.c_str());
      for (char* p = out; *p; ++p) *p = static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
      break;
    }
  }
}

// Once anything has been cleared, the stage on the selector says whether it
// was, and with how much time to spare at best.
void drawProgressLine() {
  if (!anyProgress()) return;
  const int stage = flow.stageNumber;
  char line[40];
  if (bestTimeOf(stage) > 0)
    std::snprintf(line, sizeof line, "CLEARED  BEST TIME %d", bestTimeOf(stage));
  else
    std::snprintf(line, sizeof line, "NOT CLEARED YET");
  drawText(12, 21, line);
}

// Each row of items as one text from its first item, gaps as spaces.
void drawTitleMenu() {
  for (int first = 0; first < titleItemCount;) {
    const int row = titleItems[first].row;
    const int start = titleItems[first].column;
    char line[64] = {};
    int length = 0;
    for (; first < titleItemCount && titleItems[first].row == row; ++first) {
      const TitleItem& item = titleItems[first];
      if (!titleItemShown(item)) continue;
      char text[40];
      titleItemText(item, text, sizeof text);
      while (length < item.column - start && length < 63) line[length++] = ' ';
      for (const char* p = text; *p && length < 63; ++p) line[length++] = *p;
    }
    drawText(start, row, line);
  }
}

void observeTitle(TitleAction action) {
  if (titleObserver) titleObserver(action);
}

void nextPack() {
  if (packState.packs.size() < 2) return;
  playEffect(SoundTurn);
  choosePack((packState.current + 1) % static_cast<int>(packState.packs.size()));
  if (flow.stageNumber > packStageCount()) flow.stageNumber = packStageCount();
  forgetBrowserPictures();
  observeTitle(TitleAction::NextPack);
}

void titleMenu(const PointerSample& pointer) {
  const TitleItem* item = titleItemAt(pointer.x / TextCell, pointer.y / TextCell);
  const TitleAction action = item ? item->action : TitleAction::None;
  if (pointer.button == 1) {
    if (flow.selectorHold != SelectorRepeatFrames) flow.selectorHold += 1;
    if (flow.selectorHold == 1 || flow.selectorHold == SelectorRepeatFrames) {
      if (action == TitleAction::PreviousStage && flow.stageNumber > 1) {
        playEffect(SoundTurn);
        flow.stageNumber -= 1;
        observeTitle(action);
      }
      if (action == TitleAction::NextStage && flow.stageNumber < packStageCount()) {
        playEffect(SoundTurn);
        flow.stageNumber += 1;
        observeTitle(action);
      }
    }
  } else {
    flow.selectorHold = 0;
  }
  const uint32_t key = flow.sceneKey;
  flow.sceneKey = 0;
  if (key == 'b') openBrowser();
  if (key == SysKeyTab) nextPack();
  if (!isPress(pointer)) return;
  if (action == TitleAction::Start) startGameFromTitle();
  if (action == TitleAction::Browse) openBrowser();
  if (action == TitleAction::NextPack) nextPack();
  if (action == TitleAction::Demo && !flow.recording) {
    playEffect(SoundSwitch);
    flow.savedDragMode = flow.dragMode;
    flow.dragMode = false;
    setScene(DemoStart);
    observeTitle(action);
  }
  if (action == TitleAction::Drag && !flow.recording) {
    playEffect(SoundMiss);
    flow.dragMode = !flow.dragMode;
    observeTitle(action);
  }
}

// Entering a scene's step with its entry actions due: they run once.
bool entering() {
  if (!flow.sceneEntered) return false;
  flow.sceneEntered = false;
  return true;
}

void stepTitle() {
  if (entering()) {
    loadSong(titleSong);
    playSong();
    flow.selectorHold = 0;
    flow.sceneKey = 0;
    flow.dragMode = flow.savedDragMode;
    walker.x = 0;
    flow.demoPlayback = false;
    if (flow.recording) flow.dragMode = false;
  }
  advanceSkipPhase();
  drawBackdrop(0);
  drawTitleMenu();
  drawProgressLine();
  drawLogo(64, 190);
  drawCursor(flow.pointer.x, flow.pointer.y);
  frameClock.frameDrawn = true;
  titleMenu(flow.pointer);
}

void stepDemoStart() {
  flow.demoPlayback = true;
  setScene(loadReplay() ? NewGame : Title);
  restartFrameClock();
}

void stepNewGame() {
  resetSkipPhase();
  newGameReset();
  setScene(StageReady);
}

void stepStageReady() {
  bool loaded = true;
  if (entering()) {
    flow.stars = 0;
    flow.timeLeft = 60;
    walker.stepDelay = 1;
    walker.stepTick = 0;
    walker.clickCooldown = 0;
    flow.replayIndex = 0;
    tileAnimation = TileAnimation{};
    if (flow.recording) std::memset(replayBuffer, 0, sizeof replayBuffer);
    if (loadStage(flow.stageNumber)) {
      loadSong(stageSong);
      playSong();
    } else {
      loaded = false;
      if (flow.stageNumber == 1) {
        // Without a first stage a demonstration would start itself again and
        // again; one that has already begun goes back to the title.
        setScene(flow.demoPlayback ? Title : DemoStart);
        stopSong();
      }
      if (flow.stageNumber > packStageCount() && flow.stagesCleared == packStageCount()) {
        setScene(AllClear);
        unloadSong();
        loadSong(allClearSong);
        playSong();
      }
      flow.stageNumber = 1;
      flow.stagesCleared = 0;
      flow.sceneEntered = true;
    }
  }
  restartFrameClock();
  drawBackdrop(1);
  drawTileLayer();
  drawWalkerNow();
  drawHazards();
  drawText(9, 15, "CLICK BUTTON TO START.");
  drawStatusLine();
  drawCursor(flow.pointer.x, flow.pointer.y);
  frameClock.frameDrawn = true;
  if (loaded && (isPress(flow.pointer) || flow.demoPlayback)) setScene(Playing);
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
  drawCursor(flow.pointer.x, flow.pointer.y);
  frameClock.frameDrawn = true;
  drawStatusLine();
  stepTimeLimit();
  recordingStep();
  stepWalker();
  updateTiles();
  applyPointer(flow.pointer, flow.dragMode);
}

void stepStageClear() {
  if (entering()) {
    resetSkipPhase();
    if (flow.demoPlayback) {
      setScene(Title);
    } else {
      playEffect(SoundClear);
    }
    drawBackdrop(1);
    drawTileLayer();
    drawWalkerNow();
    drawText(16, 15, "CLEAR!");
    drawStatusLine();
    frameClock.frameDrawn = true;
    walker.clickCooldown = ClearPauseFrames;
    if (flow.recording) {
      // The game plays on; the player sees at once that this clear was not kept.
      if (!saveReplay()) drawText(12, 17, "REPLAY NOT SAVED");
      restartFrameClock();
    }
    if (!flow.demoPlayback && noteClear(flow.stageNumber, flow.timeLeft)) restartFrameClock();
  }
  if (walker.clickCooldown > 0) walker.clickCooldown -= 1;
  if (walker.clickCooldown > 0) return;
  flow.stageNumber += 1;
  flow.stagesCleared += 1;
  walkerReset();
  setScene(StageReady);
}

void stepGameOver() {
  if (entering()) {
    unloadSong();
    loadSong(gameOverSong);
    playSong();
    drawBackdrop(1);
    drawTileLayer();
    drawText(15, 15, "GAME  OVER");
    frameClock.frameDrawn = true;
  }
  if (isPress(flow.pointer)) {
    walkerReset();
    setScene(Title);
    stopSong();
    unloadSong();
  }
}

void stepAllClear() {
  if (entering()) {
    drawBackdrop(2);
    drawText(6, 15, "ALL CLEAR. CONGRATULATIONS!");
    frameClock.frameDrawn = true;
  }
  if (isPress(flow.pointer)) {
    stopSong();
    unloadSong();
    setScene(Title);
  }
}

void stepMiss() {
  if (entering()) {
    resetSkipPhase();
    stopSong();
    playEffect(SoundMiss);
    drawBackdrop(1);
    drawTileLayer();
    drawWalkerNow();
    drawHazards();
    walker.timer = MissPauseFrames;
    drawStatusLine();
    frameClock.frameDrawn = true;
  }
  if (--walker.timer == 0) {
    flow.lives -= 1;
    setScene(MissFall);
  }
}

void stepMissFall() {
  if (flow.sceneEntered) {
    playEffect(SoundDeathFall);
    flow.sceneEntered = false;
    flow.fallSpeed = -16;
    walker.state = Dead;
  }
  advanceSkipPhase();
  drawBackdrop(1);
  drawTileLayer();
  drawWalkerNow();
  drawHazards();
  drawStatusLine();
  walker.y += flow.fallSpeed;
  flow.fallSpeed += 1;
  frameClock.frameDrawn = true;
  if (walker.y > FallOffScreenY) setScene(MissWait);
}

void stepMissWait() {
  if (entering()) {
    walker.timer = MissWaitFrames;
    resetSkipPhase();
  }
  if (--walker.timer != 0) return;
  if (flow.demoPlayback) {
    setScene(Title);
  } else if (flow.lives == 0) {
    setScene(GameOver);
  } else {
    walkerReset();
    setScene(StageReady);
  }
}
}  // namespace

void startGameFromTitle() {
  setScene(NewGame);
  playEffect(SoundSwitch);
  stopSong();
  unloadSong();
  observeTitle(TitleAction::Start);
}

bool takeSceneKey(uint32_t key) {
  bool taken = false;
  if (flow.scene == Title && !flow.demoPlayback) taken = key == 'b' || key == SysKeyTab;
  if (flow.scene == StageBrowser)
    taken = key == SysKeyLeft || key == SysKeyRight || key == SysKeyUp || key == SysKeyDown || key == SysKeyPageUp ||
            key == SysKeyPageDown || key == SysKeyEnter || key == SysKeyEscape;
  if (taken) flow.sceneKey = key;
  return taken;
}

void setScene(Scene next) {
  flow.sceneEntered = true;
  flow.scene = next;
}

void newGameReset() {
  walker.stepsLeft = StepsPerCell;
  walker.rowFrames = LiftRowFrames;
  walker.walkPhase = 0;
  flow.lives = 3;
  flow.stagesCleared = 0;
  flow.timeFrames = 0;
}

void walkerReset() {
  walker.walkPhase = 0;
  walker.stepsLeft = StepsPerCell;
  walker.rowFrames = LiftRowFrames;
}

void runScene() {
  switch (flow.scene) {
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
    case StageBrowser: stepBrowser(); break;
    default: break;
  }
}
