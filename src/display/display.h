// The display: the 640 x 480 canvas, the two sheets, presenting, and the
// drawing primitives that compose every picture.
#pragma once

#include <cstdint>

extern int32_t displayReady;

int initDisplay();      // 1 ready, 0 failed; ends with initGameValues
int releaseDisplay();
void presentFrame();
void repaintWindow();
void reapplyPalette();

// Every primitive does nothing while skipPhase is not 0 (drawWalker still
// advances the walker's animation).
void drawText(int column, int row, const char* text);
void drawBackdrop(int index);
void drawLogo(int x, int y);
void drawCursor(int x, int y);
void drawWalker(int x, int y, int state);
void drawEffect(int x, int y, int frame);
void drawTileLayer();
