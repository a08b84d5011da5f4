// The desktop icons: the walker cut out of its sprite frame and enlarged by
// whole pixels, so that it stays as crisp as in the game, written as palette
// PNGs whose transparent colour is the sheet's key.
#include <algorithm>

#include "art.h"
#include "display/surface.h"

namespace art {

Image iconFromFrame(const Image& frame, int key, int size) {
  int x0 = frame.w, y0 = frame.h, x1 = -1, y1 = -1;
  for (int y = 0; y < frame.h; ++y)
    for (int x = 0; x < frame.w; ++x)
      if (frame.at(x, y) != key) {
        x0 = std::min(x0, x);
        y0 = std::min(y0, y);
        x1 = std::max(x1, x);
        y1 = std::max(y1, y);
      }
  if (x1 < 0) throw Error("the icon's sprite frame is empty");
  if (size < 1) throw Error("an icon needs a size");

  // The picture centred in a square, so that it keeps its proportions.
  const int side = std::max(x1 - x0, y1 - y0) + 1;
  Image square(side, side, uint8_t(key));
  const int ox = (side - (x1 - x0 + 1)) / 2, oy = (side - (y1 - y0 + 1)) / 2;
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x) square.set(ox + x - x0, oy + y - y0, frame.at(x, y));

  Image icon(size, size, uint8_t(key));
  const int scale = size / side;
  if (scale >= 1) {
    // Whole pixels, with the remainder as an even margin.
    const int margin = (size - scale * side) / 2;
    for (int y = 0; y < scale * side; ++y)
      for (int x = 0; x < scale * side; ++x) icon.set(margin + x, margin + y, square.at(x / scale, y / scale));
  } else {
    // Smaller than the sprite: the source pixel under each icon pixel's centre.
    for (int y = 0; y < size; ++y)
      for (int x = 0; x < size; ++x)
        icon.set(x, y, square.at((2 * x + 1) * side / (2 * size), (2 * y + 1) * side / (2 * size)));
  }
  return icon;
}

std::vector<uint8_t> encodePng(const Image& img, const Palette& pal) {
  // The colour table only as far as the picture uses it.
  const int colours = img.px.empty() ? 1 : *std::max_element(img.px.begin(), img.px.end()) + 1;
  uint8_t table[256][3] = {};
  for (int i = 0; i < colours; ++i) {
    const Rgb& c = pal.entries[size_t(i)];
    table[i][0] = c.r;
    table[i][1] = c.g;
    table[i][2] = c.b;
  }
  std::vector<uint8_t> png;
  // The game's own PNG writer, at zlib's best compression: the icons are made
  // once and kept, and zlib has encoded the same rows at the same level the
  // same way in every release of it that Debian has shipped.
  encodePng8(img.w, img.h, img.px.data(), table, &png, PngOptions{colours, pal.key, 9});
  return png;
}

}  // namespace art
