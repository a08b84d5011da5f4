// wendlop-shots: the pictures of the README, made headless by the game's own
// code: the title, a stage in play, a clear, a miss, game over and all clear.
//   wendlop-shots --data DIR --out DIR [--play-stage N --play-frame K]
// With --preview-stage N it makes only the pictures of the hazard path
// preview instead: stage N waiting with Tab held (preview.png), and, with
// --preview-frame K, paused at play frame K of its replay, with the pause
// panel (pause.png) and with Tab held (pause-tab.png). With
// --pace-picture it makes only pace.png: five moments of stage 8 one above the
// other, as the honey under the walker and ahead of it turns to metal.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "app/shell.h"
#include "display/display.h"
#include "display/surface.h"
#include "flow/flow.h"
#include "music/music.h"
#include "platform/platform.h"
#include "world/world.h"

namespace fs = std::filesystem;

namespace {
fs::path outDir;

bool save(const char* name) {
  const std::string path = (outDir / name).string();
  if (!saveCanvasPicture(path.c_str())) {
    std::fprintf(stderr, "wendlop-shots: cannot write %s\n", path.c_str());
    return false;
  }
  std::printf("wrote %s\n", path.c_str());
  return true;
}

void frame() { runFrameWork(); }

void moveTo(int x, int y) { sysPushMessage(SysMsgMouseMove, static_cast<uint32_t>(x) | (static_cast<uint32_t>(y) << 16)); }

void handleMessages() {
  SysEvent e;
  while (sysPeekMessage(&e)) windowProcedure(e);
}

// Runs frames until the scene whose step is about to run is `target`, then
// runs that step too. False after `limit` frames without it.
bool runUntilScene(Scene target, int limit) {
  for (int i = 0; i < limit; ++i) {
    handleMessages();
    const int ran = flow.scene;
    frame();
    if (ran == target) return true;
  }
  return false;
}

bool loadReplayRecords(int stage, uint8_t* records) {
  char name[32];
  std::snprintf(name, sizeof name, "replay/%02d.dat", stage);
  std::memset(records, 0, ReplayBytes);
  const long got = sysReadFile(name, records, ReplayBytes);
  if (got < 0) std::fprintf(stderr, "wendlop-shots: no %s\n", name);
  return got >= 0;
}

void tab(bool down) {
  sysPushMessage(down ? SysMsgKeyDown : SysMsgKeyUp, SysKeyTab);
  handleMessages();
}

bool previewShots(int stage, int pauseFrame) {
  static uint8_t records[ReplayBytes];
  loadReplayRecords(stage, records);
  bool ok = true;
  flow.demoPlayback = false;
  flow.stageNumber = stage;
  setScene(NewGame);
  runUntilScene(StageReady, 10);
  moveTo(620, 470);
  tab(true);
  frame();
  ok = save("preview.png") && ok;
  tab(false);
  if (pauseFrame < 0) return ok;
  livePointer.liveButton = true;
  frame();  // the press that starts the stage
  livePointer.liveButton = false;
  for (int k = 0; flow.scene == Playing && k < pauseFrame; ++k) {
    const uint8_t* r = records + k * ReplayRecordSize;
    livePointer.liveX = r[0] | (r[1] << 8);
    livePointer.liveY = r[2] | (r[3] << 8);
    livePointer.liveButton = r[4] != 0;
    frame();
  }
  sysPushMessage(SysMsgKeyDown, 'p');
  handleMessages();
  ok = save("pause.png") && ok;
  tab(true);
  ok = save("pause-tab.png") && ok;
  tab(false);
  sysPushMessage(SysMsgKeyDown, 'p');
  handleMessages();
  stopSong();
  return ok;
}
// Stage 8 played by hand: the walker crawls over honey; the honey under it and
// the cell ahead are switched to metal; it crawls on to the end of its cell
// and only then walks fast. Five bands of the walker's row, 96 pixels each,
// fill the picture, each with what it shows.
bool paceShots() {
  static uint8_t band[5][96][CanvasWidth];
  const char* captions[5] = {"ON HONEY IT CRAWLS", "CLICK: METAL UNDER IT AND AHEAD",
                             "A SECOND ON: STILL CRAWLING", "THE NEXT CELL: ITS PACE CHANGES",
                             "AN EIGHTH OF A SECOND ON"};
  flow.demoPlayback = false;
  flow.stageNumber = 8;
  setScene(NewGame);
  runUntilScene(StageReady, 10);
  moveTo(600, 40);
  handleMessages();
  livePointer.liveButton = true;
  frame();  // the press that starts the stage
  livePointer.liveButton = false;
  auto runTo = [](auto done) {
    for (int i = 0; i < 2000 && flow.scene == Playing; ++i) {
      if (done()) return true;
      frame();
    }
    return false;
  };
  // Just into a cell of honey with honey ahead.
  const int col = 10;
  if (!runTo([&] { return walker.col == col && walker.stepsLeft == StepsPerCell; })) return false;
  const int top = walker.y - 32;
  auto keep = [&](int k) { std::memcpy(band[k], FrameCanvas[top], sizeof band[k]); };
  auto clickCell = [&](int row, int c) {
    livePointer.liveX = c * CellSize + 16;
    livePointer.liveY = row * CellSize + 16;
    livePointer.liveButton = true;
    frame();
    livePointer.liveButton = false;
    frame();
  };
  for (int i = 0; i < 40; ++i) frame();
  keep(0);
  clickCell(walker.row + 1, col);
  clickCell(walker.row + 1, col + 1);
  livePointer.liveX = 600;
  livePointer.liveY = 40;
  frame();
  keep(1);
  for (int i = 0; i < 60; ++i) frame();
  keep(2);
  if (!runTo([&] { return walker.col == col + 1; })) return false;
  for (int i = 0; i < 6; ++i) frame();
  keep(3);
  for (int i = 0; i < 8; ++i) frame();
  keep(4);
  for (int k = 0; k < 5; ++k) std::memcpy(FrameCanvas[96 * k], band[k], sizeof band[k]);
  for (int k = 0; k < 5; ++k) drawText(1, 6 * k, captions[k]);
  stopSong();
  return save("pace.png");
}
}  // namespace

int main(int argc, char** argv) {
  const char* data = nullptr;
  int playStage = 1, playFrame = 120, previewStage = 0, previewFrame = -1;
  bool pace = false;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--pace-picture") pace = true;
  }
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--pace-picture") {
      --i;
      continue;
    }
    if (a == "--data") data = argv[i + 1];
    else if (a == "--out") outDir = fs::absolute(argv[i + 1]);
    else if (a == "--play-stage") playStage = std::atoi(argv[i + 1]);
    else if (a == "--play-frame") playFrame = std::atoi(argv[i + 1]);
    else if (a == "--preview-stage") previewStage = std::atoi(argv[i + 1]);
    else if (a == "--preview-frame") previewFrame = std::atoi(argv[i + 1]);
  }
  if (!data || outDir.empty()) {
    std::fputs(
        "Usage: wendlop-shots --data DIR --out DIR [--play-stage N --play-frame K]\n"
        "       wendlop-shots --data DIR --out DIR --preview-stage N [--preview-frame K]\n"
        "       wendlop-shots --data DIR --out DIR --pace-picture\n",
        stderr);
    return 2;
  }
  sysSetHeadless(true);
  fs::create_directories(outDir);
  if (!sysChangeDirectory(data) || !initDisplay()) return 1;
  initGameValues();
  if (previewStage > 0) return previewShots(previewStage, previewFrame) ? 0 : 1;
  if (pace) return paceShots() ? 0 : 1;
  bool ok = true;

  // The title with the pointer resting beside the menu.
  moveTo(300, 330);
  for (int i = 0; i < 90; ++i) {
    handleMessages();
    frame();
  }
  ok = save("title.png") && ok;

  // A stage in play: a real game whose mouse follows the stage's replay.
  {
    char name[32];
    std::snprintf(name, sizeof name, "replay/%02d.dat", playStage);
    static uint8_t records[ReplayBytes];
    const long got = sysReadFile(name, records, sizeof records);
    if (got < 0) std::fprintf(stderr, "wendlop-shots: no %s\n", name);
    flow.demoPlayback = false;
    flow.stageNumber = playStage;
    setScene(NewGame);
    runUntilScene(StageReady, 10);
    livePointer.liveButton = true;
    frame();  // the press that starts the stage
    livePointer.liveButton = false;
    for (int k = 0; flow.scene == Playing && k < ReplayRecords; ++k) {
      const uint8_t* r = records + k * ReplayRecordSize;
      livePointer.liveX = r[0] | (r[1] << 8);
      livePointer.liveY = r[2] | (r[3] << 8);
      livePointer.liveButton = r[4] != 0;
      frame();
      if (k + 1 == playFrame) ok = save("play.png") && ok;
    }
    ok = runUntilScene(StageClear, 5) && save("clear.png") && ok;
    runUntilScene(StageReady, 200);
    stopSong();
  }

  // A miss: the first stage with nobody at the mouse.
  runUntilScene(Title, 10);
  setReplayFile("");
  walker = Walker{};
  flow.replayIndex = 0;
  flow.stageNumber = 1;
  setScene(DemoStart);
  ok = runUntilScene(Miss, 5000) && save("miss.png") && ok;

  // Game over: a real game on its last life.
  runUntilScene(Title, 1000);
  setReplayFile(nullptr);
  flow.demoPlayback = false;
  flow.stageNumber = 1;
  setScene(NewGame);
  runUntilScene(StageReady, 10);
  flow.lives = 1;
  sysPushMessage(SysMsgButtonDown, 200 | (200u << 16));
  runUntilScene(Playing, 10);
  sysPushMessage(SysMsgButtonUp, 0);
  moveTo(600, 40);
  ok = runUntilScene(GameOver, 5000) && save("gameover.png") && ok;

  // All clear: past the last stage after fifty clears.
  flow.stageNumber = LastStage + 1;
  flow.stagesCleared = LastStage;
  setScene(StageReady);
  ok = runUntilScene(AllClear, 10) && save("allclear.png") && ok;
  return ok ? 0 : 1;
}
