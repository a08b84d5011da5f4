// Stand-in until the display lands: a display that is always ready and draws nothing.
#include "display/display.h"

#include "app/shell.h"
#include "world/world.h"

int32_t displayReady = 0;

int initDisplay() {
  displayReady = 1;
  initGameValues();
  return 1;
}
int releaseDisplay() { return 1; }
void presentFrame() {}
void repaintWindow() {}
void reapplyPalette() {}
void drawText(int, int, const char*) {}
void drawBackdrop(int) {}
void drawLogo(int, int) {}
void drawCursor(int, int) {}
void drawWalker(int, int, int state) { walkerFrame(state); }
void drawEffect(int, int, int) {}
void drawTileLayer() {}
