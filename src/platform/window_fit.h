// Fitting the fixed-size canvas into windows and screens of any size: the
// window's first size, the picture's whole-number scale and place in the
// window, pointer positions back into the canvas, and the scaler itself.
// Plain arithmetic without the window system, so that tests can call it.
#pragma once

#include <cstdint>

constexpr int MaxWindowScale = 8;

// Room for a window manager's title bar and borders around the client area,
// for when the window system cannot say before the window is shown.
constexpr int FrameAllowanceWidth = 16;
constexpr int FrameAllowanceHeight = 40;

// The largest whole-number scale, 1 to MaxWindowScale, at which the canvas
// and the window's frame around it fit the usable area of a screen; 1 when
// not even that fits.
int firstWindowScale(int usableWidth, int usableHeight, int frameWidth, int frameHeight,
                     int canvasWidth, int canvasHeight);

// The window's first scale for a wanted one: 0 is the largest that fits. A
// scale the player asked for on the command line is honoured even when it
// does not fit, and the window then opens at the usable area's top-left
// corner, so that its title bar is on the screen; a remembered scale (from
// the settings, perhaps of a larger screen) is lowered to the largest that fits.
struct FirstWindow {
  int scale = 1;
  bool lowered = false;   // a remembered scale did not fit
  bool tooLarge = false;  // an asked-for scale does not fit: at the corner
};
FirstWindow chooseFirstWindow(int wanted, bool remembered, int usableWidth, int usableHeight, int frameWidth,
                              int frameHeight, int canvasWidth, int canvasHeight);

// Where the picture goes in a drawable of the given size in pixels.
struct PictureFit {
  int scale = 1;          // each canvas pixel becomes scale x scale pixels
  int x = 0, y = 0;       // the picture's top-left corner; the bars are left and above it
  int width = 0, height = 0;  // canvas size times scale
};
// The largest whole-number scale that fits (at least 1), centred. Along an
// axis where the drawable is smaller than the canvas the picture starts at 0
// and is cut at the far edge.
PictureFit fitPicture(int drawableWidth, int drawableHeight, int canvasWidth, int canvasHeight);

// A pointer position in window coordinates mapped into the canvas.
struct CanvasPoint {
  int x = 0, y = 0;          // clamped to the canvas
  bool overPicture = false;  // false over the bars
};
// The window measures windowWidth x windowHeight in the coordinates that
// pointer positions come in, and its drawable drawableWidth x drawableHeight
// pixels (twice as many each way on a desktop scaled 2x).
CanvasPoint windowToCanvas(int x, int y, int windowWidth, int windowHeight, int drawableWidth,
                           int drawableHeight, int canvasWidth, int canvasHeight);

// Converts the canvas rectangle (x, y, width, height) through the colour
// table and writes it `scale` times wider and higher at the same place of a
// 32-bit picture whose top-left pixel is `target` and whose rows are
// `targetPitch` pixels apart. The caller keeps both rectangles in bounds.
void scaleCanvasRect(const uint8_t* canvas, int canvasWidth, int x, int y, int width, int height,
                     const uint32_t colours[256], int scale, uint32_t* target, long targetPitch);
