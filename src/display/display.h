// The display: the 640 x 480 canvas, the two sheets, presenting, and the
// drawing primitives that compose every picture.
#pragma once

#include <cstdint>

#include "world/world.h"

struct DisplayState {
  bool displayReady = false;  // both sheets are loaded and the window can show the canvas
  // Off on the frames that the frame clock skips: every primitive then draws
  // nothing. The shell sets it for each frame.
  bool drawing = true;
};
extern DisplayState display;

int initDisplay();      // 1 ready, 0 failed
int releaseDisplay();
void presentFrame();
void repaintWindow();

// The primitives. None draws while display.drawing is off.
void drawText(int column, int row, const char* text);
void drawBackdrop(int index);
void drawLogo(int x, int y);
void drawCursor(int x, int y);
// The walker at its position in `frame`, as walkerFrame chose it.
void drawWalker(int x, int y, int frame);
void drawEffect(int x, int y, int frame);
void drawTileLayer();
// The moving hazards that are still about.
void drawHazards();
// Text at any pixel, on one line: no wrapping, cut at the canvas edges.
void drawTextAt(int x, int y, const char* text);
// One tile's picture with its top-left corner at (x, y), as the tile layer draws it.
void drawTile(int x, int y, int tile);
// The w x h part at (partX, partY) of sprite frame `frame`, to (x, y).
void drawFramePart(int frame, int partX, int partY, int w, int h, int x, int y);
// A rectangle of one colour of the colour table, cut at the canvas edges.
void fillBox(int x, int y, int w, int h, int colour);
// The entry of the colour table nearest to red, green, blue (0..255 each),
// the first of equals; `except` (the sprite sheet's key, say) is never chosen.
int nearestColour(int red, int green, int blue, int except = -1);

// The 64 x 64 sprite frames 0..17: frame f is cell (frameColumn[f], frameRow[f])
// of the two frame rows, at (64 x column, 512 + 64 x row) of the sprite sheet.
enum { FrameCount = SpriteFrameCount };
extern const uint8_t frameColumn[FrameCount];
extern const uint8_t frameRow[FrameCount];

// The colour table the canvas is shown through: the backdrop sheet's.
extern uint8_t gamePalette[256][3];

// Saves every `every`th presented frame, counting from the first, as
// dir/frame-NNNNNN.png (N the presented frame's number from 1). A null or
// empty dir stops it. Works headless too.
void setScreenshotDir(const char* dir, int every);
// Saves the canvas as it would be presented: a PNG when the path ends in
// ".png", else an 8-bit BMP. False when it cannot be written.
bool saveCanvasPicture(const char* path);
