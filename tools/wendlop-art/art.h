// wendlop-art: builds the sprite sheet and the backdrop sheet from the text
// sources in assets/art. Everything is integer arithmetic so that the same
// sources give the same bytes with any compiler.
#pragma once

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace art {

struct Error : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// One source file split into lines, for error messages with a position.
struct Source {
  std::string path;
  std::vector<std::string> lines;
  static Source read(const std::string& path);
  [[noreturn]] void fail(size_t line, const std::string& what) const;
};

std::vector<std::string> words(const std::string& line);  // split on blanks
std::string stripComment(const std::string& line);        // drops " # ..." and trailing blanks
int toInt(const std::string& text, const Source& src, size_t line);

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
};

// The 256-entry colour table shared by both bitmaps. Colours are named
// "ramp.shade" (shade 0 the darkest); "key" is the transparent pure green.
struct Palette {
  std::vector<Rgb> entries;
  std::map<std::string, std::vector<int>> ramps;
  int key = -1;

  static Palette load(const std::string& path);
  // Resolves "ramp.N" or "key"; throws art::Error naming the source line otherwise.
  int colour(const std::string& name, const Source& src, size_t line) const;
  const std::vector<int>& ramp(const std::string& name, const Source& src, size_t line) const;
};

// An 8-bit indexed picture.
struct Image {
  int w = 0, h = 0;
  std::vector<uint8_t> px;
  Image() = default;
  Image(int width, int height, uint8_t fill) : w(width), h(height), px(size_t(width) * height, fill) {}
  uint8_t at(int x, int y) const { return px[size_t(y) * w + x]; }
  void set(int x, int y, uint8_t c) {
    if (x >= 0 && y >= 0 && x < w && y < h) px[size_t(y) * w + x] = c;
  }
  void blit(const Image& src, int dx, int dy);  // copies every pixel, transparent ones included
};

// Writes a bottom-up, uncompressed 8-bit Windows bitmap with a full colour table.
std::vector<uint8_t> encodeBmp(const Image& img, const Palette& pal);
void writeFile(const std::string& path, const std::vector<uint8_t>& bytes);

// Builders, each reading its own source file(s) under the source folder.
Image buildSpriteSheet(const std::string& srcDir, const Palette& pal);
Image buildFont(const std::string& path, const Palette& pal);           // 128 x 256
Image buildLogo(const std::string& path, const Palette& pal);           // 512 x 128
Image buildBackdrops(const std::string& path, const Palette& pal);      // 640 x 1440

// Sprite frame N (0..17) of a built sprite sheet: 64 x 64.
Image spriteFrame(const Image& sheet, int number);

// Desktop icons, size x size: what the frame pictures, cut out and centred,
// enlarged by the largest whole factor that fits (or sampled down when the
// icon is smaller than the picture); the rest is the key colour.
Image iconFromFrame(const Image& frame, int key, int size);
// The icon theme's sizes, and the frame they show: the walker facing us.
inline constexpr int iconSizes[] = {16, 32, 48, 64, 128, 256};
inline constexpr int iconFrame = 6;
// An 8-bit palette PNG in which the palette's key colour is transparent.
std::vector<uint8_t> encodePng(const Image& img, const Palette& pal);

// 4 x 4 ordered-dither threshold, 0..15.
int bayer4(int x, int y);

// Deterministic pseudo-random numbers (a 32-bit LCG) for scattered details.
struct Lcg {
  uint32_t state;
  explicit Lcg(uint32_t seed) : state(seed) {}
  uint32_t next() {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
  }
  int below(int n) { return int(next() % uint32_t(n)); }
};

}  // namespace art
