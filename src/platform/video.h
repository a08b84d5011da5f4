// Presenting the canvas: the part of the display that talks to SDL. The game
// composes pictures in 8-bit palette indices; this converts them through the
// colour table into the window, scaled to fit it.
#pragma once

#include <cstdint>
#include <vector>

// Starts presenting `canvas` (width x height palette indices, rows of `width`
// bytes; it must stay valid until sysShutdownVideo). Headless, the picture is
// converted into memory instead of a window. False when the window cannot show it.
bool sysInitVideo(const uint8_t* canvas, int width, int height);
// Why sysInitVideo failed, for the one line on stderr.
const char* sysVideoError();
// The colour table the canvas is shown through: red, green, blue per index.
void sysSetPalette(const uint8_t colours[256][3]);
// Shows the given rectangle of the canvas (cut to it) at its place in the
// window's picture. Rows the window already shows as they are cost little.
void sysPresent(int x, int y, int width, int height);
// For the window code: the window system lost what the window showed, so the
// next present must send every row it is given.
void sysWindowExposed();
// What the window shows now, 0x00RRGGBB per pixel, bars included, in rows of
// *width pixels (for tests); false headless or without a window.
bool sysReadWindowPicture(std::vector<uint32_t>* pixels, int* width, int* height);
// Headless only: the last presented picture, 0x00RRGGBB per pixel; nullptr otherwise.
const uint32_t* sysPresentedPicture();
void sysShutdownVideo();
