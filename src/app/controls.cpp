// Pause, the pause menu, leaving a demonstration, the volume keys and the
// notice that shows the volume.
#include "app/controls.h"

#include <cstdio>
#include <cstring>

#include "app/preview.h"
#include "app/settings.h"
#include "app/shell.h"
#include "display/display.h"
#include "display/surface.h"
#include "music/music.h"
#include "sound/sound.h"
#include "world/world.h"

PauseState pauseState;

namespace {
constexpr uint32_t NoticeMs = 1000;
constexpr int VolumeStep = 10;

// The picture at the moment of the pause, to put back on resume, and the same
// darkened, for the overlay.
uint8_t heldCanvas[CanvasHeight][CanvasWidth];
uint8_t dimmedCanvas[CanvasHeight][CanvasWidth];

// What the volume keys keep: the notice they show over the picture for a
// second.
struct VolumeKeys {
  char noticeText[32] = "";
  uint32_t noticeUntil = 0;
  bool noticeShown = false;  // the window shows the notice: it must be taken away
};
VolumeKeys volumeKeys;
constexpr int NoticeRow = 2;
constexpr int NoticeColumn = 1;

// The panel: eleven text rows, either just under the top status line or just
// over the bottom one, so that the middle of the field is never hidden. Its
// lines, counted from its top row: the menu's lines have a marker column,
// then the text.
constexpr int PanelRows = 11, PanelLeft = 5, PanelRight = 35;
constexpr int PanelUpperTop = 1, PanelLowerTop = 29 - PanelRows;
constexpr int TitleLine = 1, MenuFirstLine = 3, GoOnLine = 7, VolumeLine = 8, PreviewLine = 9;
constexpr int MenuColumn = 14;

const char* choiceText(PauseChoice c) {
  switch (c) {
    case PauseChoice::Continue: return "CONTINUE";
    case PauseChoice::RestartStage: return "RESTART STAGE";
    case PauseChoice::Title: return "TITLE";
  }
  return "";
}

bool noticeUp() {
  return volumeKeys.noticeText[0] && static_cast<int32_t>(volumeKeys.noticeUntil - sysTicks()) > 0;
}

// Each colour of the picture's table goes to the entry nearest to it at two
// fifths of its brightness; the transparent key is never chosen.
void makeDimmedCanvas() {
  uint8_t dim[256];
  for (int i = 0; i < 256; ++i) {
    const int r = gamePalette[i][0] * 2 / 5, g = gamePalette[i][1] * 2 / 5, b = gamePalette[i][2] * 2 / 5;
    dim[i] = static_cast<uint8_t>(nearestColour(r, g, b, SpriteSheet.key));
  }
  for (int y = 0; y < CanvasHeight; ++y)
    for (int x = 0; x < CanvasWidth; ++x) dimmedCanvas[y][x] = dim[heldCanvas[y][x]];
  // A plain panel of the darkest colour behind the menu, so that the game's
  // own texts do not show through between its letters.
  int darkest = 0, darkestSum = 1 << 30;
  for (int j = 0; j < 256; ++j) {
    const int sum = gamePalette[j][0] + gamePalette[j][1] + gamePalette[j][2];
    if (j != SpriteSheet.key && sum < darkestSum) {
      darkestSum = sum;
      darkest = j;
    }
  }
  const int top = pauseState.panelTop;
  for (int y = top * TextCell; y < (top + PanelRows) * TextCell; ++y)
    std::memset(&dimmedCanvas[y][PanelLeft * TextCell], darkest, (PanelRight - PanelLeft) * TextCell);
}

void drawCentred(int row, const char* text) {
  const int length = static_cast<int>(std::strlen(text));
  drawText((40 - length) / 2, row, text);
}

void drawPauseOverlay() {
  if (!display.displayReady) return;
  const bool wasDrawing = display.drawing;
  display.drawing = true;
  if (pathPreview.held) {
    // Tab held: the stage as it stood, undimmed and without the panel, and
    // where its hazards are going.
    std::memcpy(FrameCanvas, heldCanvas, sizeof FrameCanvas);
    if (previewShowsPaths()) drawHazardPaths();
  } else {
    std::memcpy(FrameCanvas, dimmedCanvas, sizeof FrameCanvas);
    const int top = pauseState.panelTop;
    drawCentred(top + TitleLine, "PAUSED");
    if (flow.demoPlayback) {
      drawCentred(top + MenuFirstLine, "P: GO ON   ESC: END THE DEMO");
    } else {
      PauseChoice choices[3];
      const int n = pauseMenuChoices(choices);
      for (int i = 0; i < n; ++i) {
        const int row = pauseMenuRow(i);
        if (i == pauseState.selected) drawText(MenuColumn - 2, row, "\x1c");
        drawText(MenuColumn, row, choiceText(choices[i]));
      }
      drawCentred(top + GoOnLine, "P OR ESC: GO ON");
    }
    drawCentred(top + VolumeLine, "M: MUTE   - +: VOLUME");
    drawCentred(top + PreviewLine, "HOLD TAB: HAZARD PATHS");
  }
  if (noticeUp()) drawText(NoticeColumn, NoticeRow, volumeKeys.noticeText);
  volumeKeys.noticeShown = noticeUp();
  drawCursor(livePointer.liveX, livePointer.liveY);
  presentFrame();
  display.drawing = wasDrawing;
}

// A volume key also ends a mute: the player wants to hear the new volume.
void setMasterVolume(int percent) {
  settings.masterVolume = percent < 0 ? 0 : (percent > 100 ? 100 : percent);
  settings.muted = false;
  applyVolume();
  saveSettings();
  char text[32];
  std::snprintf(text, sizeof text, "VOLUME %d%%", settings.masterVolume);
  showNotice(text);
}

// Muting keeps the volume, in this run and the next: M brings back the one
// the player had. A game already silent by its volume gets its sound back.
void toggleMute() {
  if (!settings.muted && settings.masterVolume > 0) {
    settings.muted = true;
    applyVolume();
    saveSettings();
    showNotice("MUTED");
  } else {
    setMasterVolume(settings.masterVolume > 0 ? settings.masterVolume : 100);
  }
}

void endDemonstration() {
  stopSong();
  unloadSong();
  setScene(Title);
}
}  // namespace

void resetControls() {
  pauseState = PauseState{};
  pathPreview = PathPreview{};
  volumeKeys = VolumeKeys{};
}

bool stageInPlay(Scene scene) {
  switch (scene) {
    case StageReady:
    case Playing:
    case StageClear:
    case Miss:
    case MissFall:
    case MissWait: return true;
    default: return false;
  }
}

int pauseMenuChoices(PauseChoice* out) {
  int n = 0;
  out[n++] = PauseChoice::Continue;
  if (flow.scene == StageReady || flow.scene == Playing) out[n++] = PauseChoice::RestartStage;
  out[n++] = PauseChoice::Title;
  return n;
}

void pauseGame() {
  if (pauseState.paused) return;
  pauseState.paused = true;
  pauseState.selected = 0;
  pauseState.panelTop = pausePanelTop();
  holdSong();
  pauseSound(true);
  std::memcpy(heldCanvas, FrameCanvas, sizeof heldCanvas);
  if (display.displayReady) {
    makeDimmedCanvas();
    drawPauseOverlay();
  }
}

void resumeGame() {
  if (!pauseState.paused) return;
  pauseState = PauseState{};
  std::memcpy(FrameCanvas, heldCanvas, sizeof FrameCanvas);
  presentFrame();
  volumeKeys.noticeShown = false;
  pauseSound(false);
  releaseHeldSong();
  // The time spent paused is not a stall: the schedule starts from now.
  restartFrameClock();
}

void choosePause(PauseChoice choice) {
  switch (choice) {
    case PauseChoice::Continue: break;
    case PauseChoice::RestartStage:
      // A restart is a miss the player asks for: it costs a life, and the
      // miss scenes decide what comes after.
      setScene(Miss);
      break;
    case PauseChoice::Title:
      stopSong();
      unloadSong();
      walkerReset();
      setScene(Title);
      break;
  }
  resumeGame();
}

bool controlKey(uint32_t key) {
  switch (key) {
    case 'p':
    case SysKeyPause:
      if (pauseState.paused) {
        resumeGame();
      } else if (stageInPlay(flow.scene)) {
        pauseGame();
      } else {
        return false;
      }
      return true;
    case SysKeyEscape:
      if (pauseState.paused && flow.demoPlayback) {
        // The paused demonstration's line offers Escape as its end.
        resumeGame();
        endDemonstration();
      } else if (pauseState.paused) {
        resumeGame();
      } else if (flow.demoPlayback && flow.scene != Title) {
        endDemonstration();
      } else if (stageInPlay(flow.scene)) {
        pauseGame();
      } else {
        return false;
      }
      return true;
    case SysKeyUp:
    case SysKeyDown: {
      if (!pauseState.paused || flow.demoPlayback) return false;
      PauseChoice choices[3];
      const int n = pauseMenuChoices(choices);
      pauseState.selected = (pauseState.selected + (key == SysKeyUp ? n - 1 : 1)) % n;
      drawPauseOverlay();
      return true;
    }
    case SysKeyEnter:
    case SysKeySpace: {
      if (!pauseState.paused) return false;
      if (flow.demoPlayback) {
        resumeGame();
        return true;
      }
      PauseChoice choices[3];
      const int n = pauseMenuChoices(choices);
      choosePause(choices[pauseState.selected < n ? pauseState.selected : 0]);
      return true;
    }
    case SysKeyTab:
      // Held, not pressed: the preview, and the panel hidden, last while it is down.
      if (previewKey(true) && pauseState.paused) drawPauseOverlay();
      return pauseState.paused || flow.scene == StageReady;
    case 'm':
      toggleMute();
      return true;
    case SysKeyMinus:
    case SysKeyKeypadMinus:
      setMasterVolume(settings.masterVolume - VolumeStep);
      return true;
    case SysKeyPlus:
    case SysKeyEquals:
    case SysKeyKeypadPlus:
      setMasterVolume(settings.masterVolume + VolumeStep);
      return true;
    default: return false;
  }
}

void controlKeyUp(uint32_t key) {
  if (key == SysKeyTab && previewKey(false) && pauseState.paused) drawPauseOverlay();
}

void controlFocusLost() {
  // The key can go up in another window, unseen.
  if (previewKey(false) && pauseState.paused) drawPauseOverlay();
  if (!settings.pauseOnFocusLoss || pauseState.paused || !stageInPlay(flow.scene)) return;
  pauseGame();
  pauseState.notedFocusLoss = true;
}

void controlPointer(int x, int y, bool pressed) {
  if (!pauseState.paused) return;
  if (!flow.demoPlayback) {
    PauseChoice choices[3];
    const int n = pauseMenuChoices(choices);
    const int col = x / TextCell, row = y / TextCell;
    for (int i = 0; i < n; ++i) {
      const int length = static_cast<int>(std::strlen(choiceText(choices[i])));
      if (row == pauseMenuRow(i) && col >= MenuColumn - 2 && col < MenuColumn + length) {
        if (pressed) {
          choosePause(choices[i]);
          return;
        }
        pauseState.selected = i;
      }
    }
  } else if (pressed) {
    resumeGame();
    return;
  }
  drawPauseOverlay();
}

bool endDemonstrationByPress() {
  if (!flow.demoPlayback || flow.scene == Title) return false;
  endDemonstration();
  return true;
}

void showNotice(const char* text) {
  std::snprintf(volumeKeys.noticeText, sizeof volumeKeys.noticeText, "%s", text);
  volumeKeys.noticeUntil = sysTicks() + NoticeMs;
  if (pauseState.paused) drawPauseOverlay();
}

const char* noticeShowing() { return noticeUp() ? volumeKeys.noticeText : ""; }

bool presentWithNotice() {
  const bool up = noticeUp();
  if (!up && !volumeKeys.noticeShown) return false;
  if (!display.displayReady || !display.drawing) return false;
  // Over the picture for the present only: a still scene keeps its canvas.
  constexpr int top = NoticeRow * TextCell, rows = TextCell;
  uint8_t band[rows][CanvasWidth];
  std::memcpy(band, FrameCanvas[top], sizeof band);
  if (up) drawText(NoticeColumn, NoticeRow, volumeKeys.noticeText);
  presentFrame();
  std::memcpy(FrameCanvas[top], band, sizeof band);
  volumeKeys.noticeShown = up;
  return true;
}

uint32_t pausedWaitMs() {
  if (volumeKeys.noticeShown) {
    const int32_t left = static_cast<int32_t>(volumeKeys.noticeUntil - sysTicks());
    return left > 1 ? static_cast<uint32_t>(left) : 1;
  }
  return 1000;
}

void pausedTick() {
  if (pauseState.paused && volumeKeys.noticeShown && !noticeUp()) drawPauseOverlay();
}

void applyVolume() {
  setSoundVolume(settings.muted ? 0 : settings.masterVolume, settings.musicVolume, settings.effectsVolume);
}

int pauseMenuRow(int line) { return pauseState.panelTop + MenuFirstLine + line; }

int pausePanelTop() {
  // What the panel would hide in each place: the walker most, then each
  // hazard, then each tile that does something (not open space, not a plain
  // wall), under the panel's columns.
  auto hidden = [](int top) {
    const int y0 = top * TextCell, y1 = (top + PanelRows) * TextCell;
    const int x0 = PanelLeft * TextCell, x1 = PanelRight * TextCell;
    auto overlaps = [&](int x, int y, int w, int h) { return x < x1 && x + w > x0 && y < y1 && y + h > y0; };
    int cost = 0;
    if (overlaps(walker.x, walker.y, CellSize, CellSize)) cost += 1000;
    for (int i = 0; i < hazardTable.hazardCount; ++i) {
      const Hazard& h = hazardTable.hazards[i];
      // The body, drawn low in its frame.
      if (h.state != HazardStopped && overlaps(h.x + 16, h.y + 20, 32, 32)) cost += 100;
    }
    for (int row = 0; row < GridRows; ++row)
      for (int col = 0; col < GridColumns; ++col) {
        const int t = tileAt(row, col);
        const bool plainWall = tileClass[t] == Fixed && tileKind[t] == Solid;
        if (t != 0 && !plainWall && overlaps(col * CellSize, row * CellSize, CellSize, CellSize)) cost += 1;
      }
    return cost;
  };
  return hidden(PanelLowerTop) < hidden(PanelUpperTop) ? PanelLowerTop : PanelUpperTop;
}
