// Stand-in sheets with the exact layouts of the real ones, made by formula so
// that tests can tell every tile, glyph, frame, logo and backdrop pixel apart.
#pragma once

#include <cstdint>

#include "display/surface.h"

// Pixel values with a fixed meaning in both stand-in sheets.
constexpr uint8_t TestBlack = 0;
constexpr uint8_t TestUnused = 1;  // the parts of the sprite sheet no primitive reads
constexpr uint8_t TestKey = 2;     // pure green

// The colour table both stand-in sheets carry; only entry 2 is pure green.
void testSheetColours(uint8_t colours[256][3]);

// Pixel of the stand-in sprite sheet (640 x 768) at (x, y), and of the
// stand-in backdrop sheet (640 x 1440).
uint8_t testSpritePixel(int x, int y);
uint8_t testBackdropPixel(int x, int y);

// The stand-in sheets as loaded: the sprite sheet keyed on pure green.
Surface makeTestSpriteSheet();
Surface makeTestBackdropSheet();

// Writes folder/bmp/gamebg.bmp and folder/bmp/test.bmp; false when it cannot.
bool writeTestSheets(const char* folder);
