// The stage browser: the pack's stages as small pictures of their first
// frame, ten by five to a page, with what the player has done with each.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/frame_clock.h"
#include "display/display.h"
#include "display/surface.h"
#include "flow/flow.h"
#include "flow/progress.h"
#include "pack/pack.h"
#include "platform/platform.h"
#include "sound/sound.h"
#include "world/world.h"

namespace {
// A picture's place: 64 pixels a column, 4 text rows a row, from text row 2;
// its number and cleared mark on the text row under it.
constexpr int CellWidth = 64;
constexpr int CellRows = 4;
constexpr int FirstRow = 2;
constexpr int DetailRow = 23;
constexpr int PageRow = 0, PageColumn = 27;  // "\x1d PAGE 1/2 \x1c"
constexpr int BackRow = 28, BackColumn = 32;  // "[BACK]"

// Pictures are made when a page is first shown, and kept until the pack changes.
struct Pictures {
  std::string pack;  // the folder they were made from
  bool forPack = false;
  std::vector<uint8_t> pixels;     // PictureWidth x PictureHeight for each stage
  std::vector<std::string> titles;
  std::vector<bool> made;
  PackVerdict verdict;
};
Pictures pictures;

void preparePictures() {
  const Pack& pack = currentPack();
  const std::string key = pack.builtIn ? "" : pack.folder;
  if (pictures.forPack && pictures.pack == key && static_cast<int>(pictures.made.size()) == pack.stageCount) return;
  pictures = Pictures{};
  pictures.forPack = true;
  pictures.pack = key;
  const auto n = static_cast<size_t>(pack.stageCount);
  pictures.pixels.assign(n * PictureWidth * PictureHeight, 0);
  pictures.titles.assign(n, "");
  pictures.made.assign(n, false);
  pictures.verdict = readPackVerdict(pack.folder);
}

// False when the page had all its pictures already.
bool makePage(int page) {
  preparePictures();
  bool made = false;
  const int n = packStageCount();
  for (int i = page * BrowserPage; i < n && i < (page + 1) * BrowserPage; ++i) {
    const auto at = static_cast<size_t>(i);
    if (pictures.made[at]) continue;
    char title[21] = {};
    makeStagePicture(i + 1, &pictures.pixels[at * PictureWidth * PictureHeight], title);
    pictures.titles[at] = title;
    pictures.made[at] = true;
    made = true;
  }
  return made;
}

// The most frequent of a 4 x 4 grid of samples over the w x h area at (x, y).
uint8_t reduceArea(int x, int y, int w, int h) {
  uint8_t samples[16];
  for (int k = 0; k < 16; ++k)
    samples[k] = FrameCanvas[y + ((2 * (k / 4) + 1) * h) / 8][x + ((2 * (k % 4) + 1) * w) / 8];
  int best = 0, bestCount = 0;
  for (int k = 0; k < 16; ++k) {
    int count = 0;
    for (int j = 0; j < 16; ++j) count += samples[j] == samples[k];
    if (count > bestCount) {
      best = k;
      bestCount = count;
    }
  }
  return samples[best];
}

uint8_t brightestColour() {
  int best = 0, bestSum = -1;
  for (int i = 0; i < 256; ++i) {
    const int sum = gamePalette[i][0] + gamePalette[i][1] + gamePalette[i][2];
    if (sum > bestSum) {
      best = i;
      bestSum = sum;
    }
  }
  return static_cast<uint8_t>(best);
}

void pictureToCanvas(const uint8_t* picture, int x, int y) {
  for (int row = 0; row < PictureHeight; ++row)
    std::memcpy(&FrameCanvas[y + row][x], picture + row * PictureWidth, PictureWidth);
}

void frameAround(int x, int y, int w, int h, uint8_t colour) {
  for (int i = 0; i < w; ++i) FrameCanvas[y][x + i] = FrameCanvas[y + h - 1][x + i] = colour;
  for (int i = 0; i < h; ++i) FrameCanvas[y + i][x] = FrameCanvas[y + i][x + w - 1] = colour;
}

std::string upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

int pageCount() { return (packStageCount() + BrowserPage - 1) / BrowserPage; }

// The stage whose picture is under the pointer on this page, from 0; -1 for none.
int pictureAt(int x, int y) {
  const int column = x / CellWidth;
  const int textRow = y / TextCell - FirstRow;
  if (x < 0 || y < 0 || column >= BrowserColumns || textRow < 0 || textRow >= BrowserRows * CellRows) return -1;
  const int index = (flow.browserChoice / BrowserPage) * BrowserPage + (textRow / CellRows) * BrowserColumns + column;
  return index < packStageCount() ? index : -1;
}

void moveChoice(int to) {
  const int n = packStageCount();
  if (to < 0) to = 0;
  if (to > n - 1) to = n - 1;
  if (to == flow.browserChoice) return;
  playEffect(SoundTurn);
  flow.browserChoice = to;
}

void leaveBrowser() {
  // Back to the title as it was left: its song plays on.
  flow.scene = Title;
  flow.sceneEntered = false;
  flow.sceneKey = 0;
  flow.selectorHold = 0;
}

void startChosen(int index) {
  flow.stageNumber = index + 1;
  startGameFromTitle();
}
}  // namespace

void forgetBrowserPictures() { pictures = Pictures{}; }

bool makeStagePicture(int stage, uint8_t* out, char title[21]) {
  // The world is the game's: it is put back as it was.
  uint8_t mapBefore[StageMapSize];
  std::memcpy(mapBefore, stageMap, sizeof stageMap);
  const Walker walkerBefore = walker;
  const HazardTable hazardsBefore = hazardTable;
  const bool drawingBefore = display.drawing;
  display.drawing = true;
  const bool loaded = loadStage(stage);
  if (loaded) {
    drawBackdrop(1);
    drawTileLayer();
    drawWalker(walker.x, walker.y, walkerFrame(walker.state));
    drawHazards();
    for (int y = 0; y < PictureHeight; ++y) {
      const int y0 = y * CanvasHeight / PictureHeight, y1 = (y + 1) * CanvasHeight / PictureHeight;
      for (int x = 0; x < PictureWidth; ++x) {
        const int x0 = x * CanvasWidth / PictureWidth, x1 = (x + 1) * CanvasWidth / PictureWidth;
        out[y * PictureWidth + x] = reduceArea(x0, y0, x1 - x0, y1 - y0);
      }
    }
    // The title is the header's text up to its first zero byte, printable only.
    int length = 0;
    for (; length < 20 && stageMap[length] >= 32 && stageMap[length] < 127; ++length) title[length] = static_cast<char>(stageMap[length]);
    title[length] = 0;
  } else {
    std::memset(out, 0, PictureWidth * PictureHeight);
    title[0] = 0;
  }
  display.drawing = drawingBefore;
  std::memcpy(stageMap, mapBefore, sizeof stageMap);
  walker = walkerBefore;
  hazardTable = hazardsBefore;
  return loaded;
}

void openBrowser() {
  playEffect(SoundSwitch);
  const int n = packStageCount();
  flow.browserChoice = flow.stageNumber >= 1 && flow.stageNumber <= n ? flow.stageNumber - 1 : 0;
  flow.sceneKey = 0;
  flow.browserPointer = pictureAt(flow.pointer.x, flow.pointer.y);
  setScene(StageBrowser);
}

bool drawBrowserPage() {
  if (!display.drawing) return false;
  const int page = flow.browserChoice / BrowserPage;
  const bool made = makePage(page);
  const Pack& pack = currentPack();
  const int n = packStageCount();
  drawBackdrop(0);
  char line[48];
  drawText(1, PageRow, upper(pack.info.name).c_str());
  if (pageCount() > 1) {
    std::snprintf(line, sizeof line, "\x1d PAGE %d/%d \x1c", page + 1, pageCount());
    drawText(PageColumn, PageRow, line);
  }
  const uint8_t highlight = brightestColour();
  for (int i = page * BrowserPage; i < n && i < (page + 1) * BrowserPage; ++i) {
    const int slot = i - page * BrowserPage;
    const int column = slot % BrowserColumns, row = FirstRow + (slot / BrowserColumns) * CellRows;
    const int x = column * CellWidth + 2, y = row * TextCell;
    pictureToCanvas(&pictures.pixels[static_cast<size_t>(i) * PictureWidth * PictureHeight], x, y);
    if (i == flow.browserChoice) frameAround(x - 2, y - 2, CellWidth, PictureHeight + 4, highlight);
    std::snprintf(line, sizeof line, "%02d%s", i + 1, bestTimeOf(i + 1) > 0 ? "*" : "");
    drawText(column * CellWidth / TextCell, row + 3, line);
  }
  // What is known of the chosen stage.
  const int chosen = flow.browserChoice + 1;
  std::snprintf(line, sizeof line, "%02d %s", chosen, upper(pictures.titles[static_cast<size_t>(chosen - 1)]).c_str());
  drawText(1, DetailRow, line);
  if (bestTimeOf(chosen) > 0) std::snprintf(line, sizeof line, "CLEARED  BEST TIME %d", bestTimeOf(chosen));
  else std::snprintf(line, sizeof line, "NOT CLEARED YET");
  drawText(1, DetailRow + 1, line);
  const PackVerdict& v = pictures.verdict;
  if (v.known) {
    const auto s = static_cast<size_t>(chosen);
    if (v.outcome[s] == PackVerdict::Cleared)
      std::snprintf(line, sizeof line, "SOLVED IN %d CLICK%s", v.clicks[s], v.clicks[s] == 1 ? "" : "S");
    else if (v.outcome[s] == PackVerdict::Fails)
      std::snprintf(line, sizeof line, "ITS SOLUTION DOES NOT CLEAR IT");
    else
      std::snprintf(line, sizeof line, "NO SOLUTION CAME WITH IT");
    drawText(1, DetailRow + 2, line);
    std::snprintf(line, sizeof line, "PACK VERIFIED: %d OF %d", v.verified(), v.stages);
    drawText(1, DetailRow + 3, line);
  }
  drawText(1, BackRow, "ENTER PLAYS");
  drawText(BackColumn, BackRow, "[BACK]");
  drawCursor(flow.pointer.x, flow.pointer.y);
  return made;
}

void stepBrowser() {
  if (flow.sceneEntered) {
    flow.sceneEntered = false;
    resetSkipPhase();
  } else {
    advanceSkipPhase();
  }
  const PointerSample& p = flow.pointer;
  const int under = pictureAt(p.x, p.y);
  const uint32_t key = flow.sceneKey;
  flow.sceneKey = 0;
  switch (key) {
    case SysKeyLeft: moveChoice(flow.browserChoice - 1); break;
    case SysKeyRight: moveChoice(flow.browserChoice + 1); break;
    case SysKeyUp: if (flow.browserChoice >= BrowserColumns) moveChoice(flow.browserChoice - BrowserColumns); break;
    case SysKeyDown:
      if (flow.browserChoice + BrowserColumns < packStageCount()) moveChoice(flow.browserChoice + BrowserColumns);
      break;
    case SysKeyPageUp: moveChoice(flow.browserChoice - BrowserPage); break;
    case SysKeyPageDown: moveChoice(flow.browserChoice + BrowserPage); break;
    case SysKeyEnter: startChosen(flow.browserChoice); return;
    case SysKeyEscape: leaveBrowser(); return;
    default: break;
  }
  // The choice follows the pointer onto another picture; resting on one
  // leaves the keys free to move on.
  if (under != flow.browserPointer) {
    flow.browserPointer = under;
    if (under >= 0) flow.browserChoice = under;
  }
  // Making a page's pictures is slow work: the frames it took are not caught up.
  if (drawBrowserPage()) restartFrameClock();
  frameClock.frameDrawn = true;
  if (!isPress(p)) return;
  const int column = p.x / TextCell, row = p.y / TextCell;
  if (under >= 0) {
    startChosen(under);
  } else if (row == PageRow && column == PageColumn && flow.browserChoice >= BrowserPage) {
    moveChoice((flow.browserChoice / BrowserPage - 1) * BrowserPage);
  } else if (row == PageRow && column == PageColumn + 11 && pageCount() > 1) {
    moveChoice((flow.browserChoice / BrowserPage + 1) * BrowserPage);
  } else if (row == BackRow && column >= BackColumn && column < BackColumn + 6) {
    leaveBrowser();
  }
}
