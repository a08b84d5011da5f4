// The game's state as one value: saved and put back concern by concern, so a
// field added to a concern's struct is carried along without anyone listing it.
#include "app/game_state.h"

#include <cstring>

#include "app/controls.h"
#include "app/settings.h"
#include "app/shell.h"
#include "editor/editor.h"
#include "flow/progress.h"
#include "pack/pack.h"

void saveGame(GameSnapshot* out) {
  GameSnapshot& s = *out;
  s.frameClock = frameClock;
  s.livePointer = livePointer;
  s.pointerInput = pointerInput;
  s.flow = flow;
  std::memcpy(s.stageMap.data(), stageMap, sizeof stageMap);
  s.walker = walker;
  s.hazardTable = hazardTable;
  s.tileAnimation = tileAnimation;
  s.pointerTrack = pointerTrack;
}

void restoreGame(const GameSnapshot& s) {
  frameClock = s.frameClock;
  livePointer = s.livePointer;
  pointerInput = s.pointerInput;
  flow = s.flow;
  std::memcpy(stageMap, s.stageMap.data(), sizeof stageMap);
  walker = s.walker;
  hazardTable = s.hazardTable;
  tileAnimation = s.tileAnimation;
  pointerTrack = s.pointerTrack;
}

void resetGame() {
  GameSnapshot start{};
  restoreGame(start);
  resetFrameClock();
  resetReplay();
  giveStageImage(nullptr);
  // What the player keeps between runs is not read or written until the
  // shell names its files again.
  resetControls();
  titleObserver = nullptr;
  setSettingsFile("");
  settings = Settings{};
  setProgressFile("");
  progress = Progress{};
  resetEditor();
  setEditorDataFolder("");
  packState = PackState{};
  forgetBrowserPictures();
}

void startDemonstration(int stage, const char* replayFile, bool drag) {
  resetGame();
  initGameValues();
  setReplayFile(replayFile);
  flow.stageNumber = stage;
  flow.dragMode = flow.savedDragMode = drag;
  flow.demoPlayback = true;
  setScene(DemoStart);
}
