// The display: sheets, canvas, presenting, screenshots and the seven primitives.
#include "display/display.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "display/surface.h"
#include "platform/platform.h"
#include "platform/video.h"
#include "world/world.h"

DisplayState display;
Surface SpriteSheet;
Surface BackdropSheet;
uint8_t gamePalette[256][3];

const uint8_t frameColumn[FrameCount] = {0, 1, 2, 3, 4, 5, 6, 7, 7, 6, 5, 4, 3, 2, 1, 0, 8, 8};
const uint8_t frameRow[FrameCount] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 0, 1};

namespace {

constexpr int TileSize = 32;
constexpr int GlyphSize = TextCell;
constexpr int FontX = 512;
constexpr int TextColumns = 40;
constexpr int TextRows = 30;
constexpr int SpriteSize = 64;
constexpr int FrameRowsTop = 8;  // frame rows start at 8 x 64 = 512
constexpr int LogoX = 0;
constexpr int LogoY = 640;
constexpr int LogoWidth = 512;
constexpr int LogoHeight = 128;
constexpr int SpriteSheetWidth = 640;
constexpr int SpriteSheetHeight = 768;
constexpr int BackdropCount = 3;
constexpr int IconFrame = FrameFacing;
constexpr uint32_t PureGreen = 0x0000FF00;  // 0x00BBGGRR
constexpr const char* SpriteSheetPath = "bmp/gamebg.bmp";
constexpr const char* BackdropSheetPath = "bmp/test.bmp";
// Larger than any sheet that passes the size checks in decodeBmp.
constexpr size_t MaxSheetFileSize = 20u * 1024 * 1024;

// What presenting keeps from one present to the next; initDisplay starts it anew.
struct Presenting {
  uint32_t presentedFrames = 0;  // since the display started or screenshots were asked for
};
Presenting presenting;

struct Screenshots {
  std::string dir;  // "" for none
  int every = 1;
};
Screenshots screenshots;
std::vector<uint8_t> pictureBuffer;  // reused, so that screenshots allocate once

// How each row of each tile of the sprite sheet is drawn in the tile layer:
// most rows are all key (nothing to draw) or hold none (a plain copy), and
// the tile layer is the largest drawing of a frame. Worked out once for each
// sheet and key.
constexpr int TileSheetColumns = 16, TileSheetRows = 16;
enum TileRowCover : uint8_t { RowClear, RowOpaque, RowMixed };
struct TileCovers {
  uint64_t sheet = 0;  // the identity of the sheet they were worked out for
  int key = NoColourKey;
  uint8_t rows[TileSheetColumns * TileSheetRows][TileSize] = {};
};
TileCovers tileCovers;

// The sprite sheet must hold all 256 tiles.
void refreshTileCovers() {
  const Surface& sheet = SpriteSheet;
  if (tileCovers.sheet == sheet.identity.value && tileCovers.key == sheet.key) return;
  tileCovers.sheet = sheet.identity.value;
  tileCovers.key = sheet.key;
  const bool keyed = sheet.key >= 0 && sheet.key <= 255;
  for (int n = 0; n < TileSheetColumns * TileSheetRows; ++n) {
    for (int y = 0; y < TileSize; ++y) {
      const uint8_t* src = sheet.pixels.data() +
                           static_cast<size_t>((n / TileSheetColumns) * TileSize + y) * sheet.width +
                           (n % TileSheetColumns) * TileSize;
      const int keys = keyed ? static_cast<int>(std::count(src, src + TileSize, static_cast<uint8_t>(sheet.key))) : 0;
      tileCovers.rows[n][y] = keys == 0 ? RowOpaque : (keys == TileSize ? RowClear : RowMixed);
    }
  }
}

void copyFrame(int frame, long long x, long long y) {
  if (frame < 0 || frame >= FrameCount) return;
  copyToCanvas(SpriteSheet, frameColumn[frame] * SpriteSize,
               (frameRow[frame] + FrameRowsTop) * SpriteSize, SpriteSize, SpriteSize, x, y, true);
}

// The window icon: the walker as it stands at the goal, its key colour transparent.
void setIconFromSheet() {
  uint32_t icon[SpriteSize * SpriteSize];
  const int sx = frameColumn[IconFrame] * SpriteSize;
  const int sy = (frameRow[IconFrame] + FrameRowsTop) * SpriteSize;
  for (int y = 0; y < SpriteSize; ++y) {
    for (int x = 0; x < SpriteSize; ++x) {
      const uint8_t v = SpriteSheet.pixels[static_cast<size_t>(sy + y) * SpriteSheet.width + sx + x];
      uint8_t bytes[4] = {gamePalette[v][0], gamePalette[v][1], gamePalette[v][2], 255};
      if (v == SpriteSheet.key) std::memset(bytes, 0, sizeof bytes);
      std::memcpy(&icon[y * SpriteSize + x], bytes, 4);
    }
  }
  sysSetWindowIcon(icon, SpriteSize, SpriteSize);
}

void saveScreenshot() {
  char path[4096];
  std::snprintf(path, sizeof path, "%s/frame-%06u.png", screenshots.dir.c_str(),
                static_cast<unsigned>(presenting.presentedFrames));
  if (!saveCanvasPicture(path)) {
    // Once is enough: a full disc or a read-only folder will not get better.
    std::fprintf(stderr, "wendlop: cannot save screenshots in %s; no more will be taken\n",
                 screenshots.dir.c_str());
    screenshots.dir.clear();
  }
}

}  // namespace

bool loadSheet(const char* path, int minWidth, int minHeight, Surface* out, std::string* why) {
  std::vector<uint8_t> data;
  std::string unreadable;
  // One byte past the largest sheet tells a file that is too large from one
  // that just fits.
  if (sysReadWholeFile(path, MaxSheetFileSize + 1, &data, &unreadable) != SysReadOk) {
    *why = std::string(path) + " " + unreadable;
    return false;
  }
  if (data.size() > MaxSheetFileSize) {
    *why = std::string(path) + " is too large to be a sheet";
    return false;
  }
  const char* reason = "";
  Surface sheet;
  if (!decodeBmp(data.data(), data.size(), &sheet, &reason)) {
    *why = std::string(path) + " " + reason;
    return false;
  }
  if (sheet.width < minWidth || sheet.height < minHeight) {
    *why = std::string(path) + " is " + std::to_string(sheet.width) + " x " +
           std::to_string(sheet.height) + " pixels, smaller than the " + std::to_string(minWidth) +
           " x " + std::to_string(minHeight) + " it must have";
    return false;
  }
  *out = std::move(sheet);
  return true;
}

int initDisplay() {
  releaseDisplay();
  display.displayReady = false;
  std::string why;
  if (!loadSheet(SpriteSheetPath, SpriteSheetWidth, SpriteSheetHeight, &SpriteSheet, &why) ||
      !loadSheet(BackdropSheetPath, CanvasWidth, CanvasHeight * BackdropCount, &BackdropSheet,
                 &why)) {
    std::fprintf(stderr, "wendlop: cannot start the display: %s\n", why.c_str());
    releaseDisplay();
    return 0;
  }
  if (!sysInitVideo(&FrameCanvas[0][0], CanvasWidth, CanvasHeight)) {
    std::fprintf(stderr, "wendlop: cannot start the display: %s\n", sysVideoError());
    releaseDisplay();
    return 0;
  }
  // The backdrop sheet is loaded last, so its colour table is the screen's:
  // both sheets are drawn with the same table.
  std::memcpy(gamePalette, BackdropSheet.colours, sizeof gamePalette);
  sysSetPalette(gamePalette);
  // A sheet without pure green has nothing transparent; taking the nearest
  // colour instead would cut holes where the artist drew that colour.
  const uint32_t key = matchColour(SpriteSheet, PureGreen);
  SpriteSheet.key = key == 0xFFFFFFFFu ? NoColourKey : static_cast<int>(key);
  std::memset(FrameCanvas, 0, sizeof FrameCanvas);
  setIconFromSheet();
  presenting = Presenting{};
  display.displayReady = true;
  return 1;
}

int releaseDisplay() {
  sysShutdownVideo();
  SpriteSheet = Surface{};
  BackdropSheet = Surface{};
  return 1;
}

// The platform sends only what changed since it last showed the canvas.
void presentFrame() {
  if (!display.displayReady) return;
  sysPresent(0, 0, CanvasWidth, CanvasHeight);
  ++presenting.presentedFrames;
  if (!screenshots.dir.empty() && (presenting.presentedFrames - 1) % screenshots.every == 0) saveScreenshot();
}

void repaintWindow() {
  if (!display.displayReady) return;
  sysPresent(0, 0, CanvasWidth, CanvasHeight);
}

void setScreenshotDir(const char* dir, int every) {
  screenshots = Screenshots{dir ? dir : "", every < 1 ? 1 : every};
  presenting.presentedFrames = 0;
}

bool saveCanvasPicture(const char* path) {
  if (!path) return false;
  const size_t n = std::strlen(path);
  const bool png = n >= 4 && (std::strcmp(path + n - 4, ".png") == 0 ||
                              std::strcmp(path + n - 4, ".PNG") == 0);
  if (png)
    encodePng8(CanvasWidth, CanvasHeight, &FrameCanvas[0][0], gamePalette, &pictureBuffer);
  else
    encodeBmp8(CanvasWidth, CanvasHeight, &FrameCanvas[0][0], gamePalette, &pictureBuffer);
  return sysWriteFileAtomic(path, pictureBuffer.data(), pictureBuffer.size());
}

// ---- Primitives ---------------------------------------------------------------

void drawText(int column, int row, const char* text) {
  if (!display.drawing || !text) return;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
    const int c = *p;
    // The font has glyphs for 0..127 only; higher codes leave their cell as it is.
    if (c < 128)
      copyToCanvas(SpriteSheet, FontX + (c % 8) * GlyphSize, (c / 8) * GlyphSize, GlyphSize,
                   GlyphSize, static_cast<long long>(column) * GlyphSize,
                   static_cast<long long>(row) * GlyphSize, true);
    if (column >= TextColumns - 1) {
      column = 0;
      row = row >= TextRows - 1 ? TextRows - 1 : row + 1;  // a long text overwrites the last row
    } else {
      ++column;
    }
  }
}

void drawBackdrop(int index) {
  if (!display.drawing || index < 0 || index >= BackdropSheet.height / CanvasHeight) return;
  copyToCanvas(BackdropSheet, 0, index * CanvasHeight, CanvasWidth, CanvasHeight, 0, 0, false);
}

void drawLogo(int x, int y) {
  if (!display.drawing) return;
  copyToCanvas(SpriteSheet, LogoX, LogoY, LogoWidth, LogoHeight, x, y, true);
}

void drawCursor(int x, int y) {
  if (!display.drawing) return;
  copyFrame(walker.x > x ? FrameCursorRight : FrameCursorLeft, static_cast<long long>(x) - 32,
            static_cast<long long>(y) - 32);
}

void drawWalker(int x, int y, int frame) {
  if (!display.drawing) return;
  copyFrame(frame, static_cast<long long>(x) - 16, static_cast<long long>(y) - 32);
}

void drawEffect(int x, int y, int frame) {
  if (!display.drawing) return;
  copyFrame(frame, x, y);
}

void drawHazards() {
  for (int i = 0; i < hazardTable.hazardCount; ++i) {
    const Hazard& h = hazardTable.hazards[i];
    if (h.state != HazardStopped) drawEffect(h.x, h.y, FrameHazard);
  }
}

void drawTextAt(int x, int y, const char* text) {
  if (!display.drawing || !text) return;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p, x += GlyphSize) {
    if (*p < 128)
      copyToCanvas(SpriteSheet, FontX + (*p % 8) * GlyphSize, (*p / 8) * GlyphSize, GlyphSize, GlyphSize, x, y, true);
  }
}

void drawTile(int x, int y, int tile) {
  if (!display.drawing || tile < 0 || tile > 255) return;
  copyToCanvas(SpriteSheet, (tile % 16) * TileSize, (tile / 16) * TileSize, TileSize, TileSize, x, y, true);
}

void drawFramePart(int frame, int partX, int partY, int w, int h, int x, int y) {
  if (!display.drawing || frame < 0 || frame >= FrameCount) return;
  if (partX < 0 || partY < 0 || w <= 0 || h <= 0 || partX + w > SpriteSize || partY + h > SpriteSize) return;
  copyToCanvas(SpriteSheet, frameColumn[frame] * SpriteSize + partX,
               (frameRow[frame] + FrameRowsTop) * SpriteSize + partY, w, h, x, y, true);
}

void fillBox(int x, int y, int w, int h, int colour) {
  if (!display.drawing) return;
  const int left = x < 0 ? 0 : x, top = y < 0 ? 0 : y;
  const int right = x + w > CanvasWidth ? CanvasWidth : x + w;
  const int bottom = y + h > CanvasHeight ? CanvasHeight : y + h;
  for (int row = top; row < bottom; ++row)
    for (int col = left; col < right; ++col) FrameCanvas[row][col] = static_cast<uint8_t>(colour);
}

int nearestColour(int red, int green, int blue, int except) {
  int best = 0;
  long bestDistance = -1;
  for (int i = 0; i < 256; ++i) {
    if (i == except) continue;
    const long dr = gamePalette[i][0] - red, dg = gamePalette[i][1] - green, db = gamePalette[i][2] - blue;
    const long distance = dr * dr + dg * dg + db * db;
    if (bestDistance < 0 || distance < bestDistance) {
      best = i;
      bestDistance = distance;
    }
  }
  return best;
}

void drawTileLayer() {
  if (!display.drawing) return;
  const Surface& sheet = SpriteSheet;
  const bool wholeSheet = sheet.width >= TileSheetColumns * TileSize && sheet.height >= TileSheetRows * TileSize &&
                          sheet.pixels.size() >= static_cast<size_t>(sheet.width) * static_cast<size_t>(sheet.height);
  if (!wholeSheet) {
    // A sheet too small for some tiles: each is copied, or left out, on its own.
    for (int row = 0; row < GridRows; ++row)
      for (int col = 0; col < GridColumns; ++col) {
        const int n = stageMap[TileLayerOffset + GridColumns * row + col];
        copyToCanvas(sheet, (n % TileSheetColumns) * TileSize, (n / TileSheetColumns) * TileSize, TileSize,
                     TileSize, col * TileSize, row * TileSize, true);
      }
    return;
  }
  refreshTileCovers();
  const size_t stride = static_cast<size_t>(sheet.width);
  for (int row = 0; row < GridRows; ++row) {
    for (int col = 0; col < GridColumns; ++col) {
      const int n = stageMap[TileLayerOffset + GridColumns * row + col];
      const uint8_t* src = sheet.pixels.data() + static_cast<size_t>(n / TileSheetColumns) * TileSize * stride +
                           static_cast<size_t>(n % TileSheetColumns) * TileSize;
      for (int y = 0; y < TileSize; ++y, src += stride) {
        uint8_t* dst = &FrameCanvas[row * TileSize + y][col * TileSize];
        switch (tileCovers.rows[n][y]) {
          case RowClear: break;
          case RowOpaque: std::memcpy(dst, src, TileSize); break;
          default: copyRowToCanvas(dst, src, TileSize, sheet.key); break;
        }
      }
    }
  }
}
