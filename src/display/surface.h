// Surfaces of palette indices, the rectangle copies into the canvas, and the
// 8-bit picture files (BMP in, BMP and PNG out).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr int CanvasWidth = 640;
constexpr int CanvasHeight = 480;
// drawText places its glyphs on a grid of these, 40 x 30 over the canvas.
constexpr int TextCell = 16;
constexpr int NoColourKey = -1;

// A number no other sheet has: every sheet made, copied or assigned gets a
// new one, so that what is worked out once from a sheet (the tile layer's
// rows) is known to be about this very sheet.
struct SheetIdentity {
  uint64_t value = next();
  SheetIdentity() = default;
  SheetIdentity(const SheetIdentity&) : value(next()) {}
  SheetIdentity& operator=(const SheetIdentity&) {
    value = next();
    return *this;
  }
  static uint64_t next();
};

// A loaded sheet: 8-bit pixels, rows from the top, `width` bytes per row.
struct Surface {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;
  uint8_t colours[256][3] = {};  // red, green, blue; entries past the file's table stay black
  int colourCount = 0;           // entries the file's colour table had
  int key = NoColourKey;         // pixel value that copies with a key leave out
  SheetIdentity identity;
};

// Everything is composed here; its pixels are indices into the screen's colour table.
extern uint8_t FrameCanvas[CanvasHeight][CanvasWidth];

// "bmp/gamebg.bmp": tiles, font, sprite frames and logo; pure green is transparent.
extern Surface SpriteSheet;
// "bmp/test.bmp": the backdrops, 640 x 480 each, stacked from the top.
extern Surface BackdropSheet;

// Loads an 8-bit BMP through the platform's files and refuses one smaller than
// minWidth x minHeight. On failure `why` says, in one line, which file and why.
bool loadSheet(const char* path, int minWidth, int minHeight, Surface* out, std::string* why);

// Copies the w x h rectangle at (sx, sy) of `sheet` to (dx, dy) of the canvas.
// A source rectangle that is not wholly inside the sheet copies nothing; the
// destination is cut at the canvas edges. With `keyed`, pixels equal to the
// sheet's key leave the canvas unchanged.
void copyToCanvas(const Surface& sheet, int sx, int sy, int w, int h, long long dx, long long dy,
                  bool keyed);

// One row of a copy with the key `key` (NoColourKey: every byte is copied),
// for callers that have placed and cut the row themselves.
void copyRowToCanvas(uint8_t* dst, const uint8_t* src, int n, int key);

// The sheet's pixel value for a colour given as 0x00BBGGRR: the first entry of
// its colour table with exactly that colour, or 0xFFFFFFFF when it has none.
uint32_t matchColour(const Surface& sheet, uint32_t colourRef);

// Reads an 8-bit BMP (uncompressed or RLE8, bottom-up or top-down). On failure
// returns false with `why` set to a short reason ("is not a BMP file", ...).
bool decodeBmp(const uint8_t* data, size_t size, Surface* out, const char** why);

// Writes an 8-bit picture with a 256-entry colour table into `out` (replacing
// its contents, keeping its capacity).
void encodeBmp8(int width, int height, const uint8_t* pixels, const uint8_t colours[256][3],
                std::vector<uint8_t>* out);
// How a palette PNG is written: the entries of the colour table it carries
// (every pixel must be below), the one entry that is transparent (-1: none),
// and zlib's compression level.
struct PngOptions {
  int colours = 256;
  int transparent = -1;
  // Screenshots are taken while the game runs: the fastest level already
  // takes a frame of flat colour to a small fraction of its size.
  int level = 1;
};
// Writes an 8-bit palette PNG, rows unfiltered, into `out` (replacing its
// contents, keeping its capacity).
void encodePng8(int width, int height, const uint8_t* pixels, const uint8_t colours[256][3],
                std::vector<uint8_t>* out, const PngOptions& options = {});
