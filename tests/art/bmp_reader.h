// A small reader for the 8-bit bitmaps that the art generator writes, kept apart
// from the game's own loader so that the two check each other.
#pragma once

#include <array>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

struct IndexedBmp {
  bool ok = false;
  std::string error;
  int width = 0, height = 0;
  std::vector<std::array<uint8_t, 3>> table;  // red, green, blue
  std::vector<uint8_t> pixels;                // top row first
  uint8_t at(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

inline IndexedBmp parseIndexedBmp(const std::vector<uint8_t>& d) {
  IndexedBmp b;
  auto u16 = [&](size_t o) { return uint32_t(d[o]) | uint32_t(d[o + 1]) << 8; };
  auto u32 = [&](size_t o) { return u16(o) | u16(o + 2) << 16; };
  if (d.size() < 54 || d[0] != 'B' || d[1] != 'M') {
    b.error = "not a bitmap";
    return b;
  }
  uint32_t offset = u32(10), infoSize = u32(14);
  int32_t w = int32_t(u32(18)), h = int32_t(u32(22));
  if (infoSize != 40) b.error = "header is not BITMAPINFOHEADER";
  else if (u16(26) != 1 || u16(28) != 8) b.error = "not 8 bits per pixel";
  else if (u32(30) != 0) b.error = "compressed";
  else if (w <= 0 || h <= 0) b.error = "not a bottom-up bitmap of positive size";
  if (!b.error.empty()) return b;
  uint32_t used = u32(46) ? u32(46) : 256;
  if (used > 256 || 54 + size_t(used) * 4 > d.size()) {
    b.error = "bad colour table";
    return b;
  }
  for (uint32_t i = 0; i < used; ++i) b.table.push_back({d[54 + i * 4 + 2], d[54 + i * 4 + 1], d[54 + i * 4]});
  size_t stride = (size_t(w) + 3) & ~size_t(3);
  if (offset < 54 + size_t(used) * 4 || offset + stride * size_t(h) > d.size()) {
    b.error = "pixel data out of the file";
    return b;
  }
  b.width = w;
  b.height = h;
  b.pixels.resize(size_t(w) * size_t(h));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.pixels[size_t(y) * size_t(w) + size_t(x)] = d[offset + size_t(h - 1 - y) * stride + size_t(x)];
  b.ok = true;
  return b;
}

inline IndexedBmp readIndexedBmp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    IndexedBmp b;
    b.error = path + " cannot be read";
    return b;
  }
  std::vector<uint8_t> d((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return parseIndexedBmp(d);
}
