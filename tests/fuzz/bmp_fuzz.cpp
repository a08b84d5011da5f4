// The BMP reader, then every drawing primitive copying from what it read, as
// the sprite sheet and as the backdrop sheet, into the canvas.
#include <cstdint>
#include <cstring>
#include <utility>

#include "app/shell.h"
#include "display/display.h"
#include "display/surface.h"
#include "platform/platform.h"
#include "world/world.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  sysSetHeadless(true);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Surface sheet;
  const char* why = "";
  if (!decodeBmp(data, size, &sheet, &why)) return 0;
  const uint32_t key = matchColour(sheet, 0x0000FF00);
  sheet.key = key == 0xFFFFFFFFu ? NoColourKey : static_cast<int>(key);
  BackdropSheet = sheet;
  SpriteSheet = std::move(sheet);

  display.drawing = true;
  // Tile numbers and positions from the file's first bytes: any of them may
  // point past a small sheet's edge.
  for (int i = 0; i < GridRows * GridColumns; ++i) stageMap[TileLayerOffset + i] = data[i % size];
  drawTileLayer();
  char text[129];
  for (int c = 1; c < 129; ++c) text[c - 1] = static_cast<char>(c);
  text[128] = 0;
  drawText(0, 0, text);
  drawText(38, 29, text);
  for (int b = -1; b <= 3; ++b) drawBackdrop(b);
  drawLogo(64, 190);
  drawLogo(-600, 470);
  for (int f = -1; f <= FrameCount; ++f) {
    drawEffect(data[(f & 7) % size] * 3 - 100, 400, f);
    drawCursor(f * 40, 479);
  }
  walker.x = 320;
  for (int state = 0; state < 16; ++state) drawWalker(state * 40, 470, state);
  const int w = SpriteSheet.width, h = SpriteSheet.height;
  copyToCanvas(SpriteSheet, 0, 0, w, h, -w / 2, -h / 2, true);
  copyToCanvas(SpriteSheet, w - 1, h - 1, 1, 1, 639, 479, false);
  copyToCanvas(SpriteSheet, 1, 1, w, h, 0, 0, false);  // not wholly inside: nothing
  SpriteSheet = Surface{};
  BackdropSheet = Surface{};
  return 0;
}
