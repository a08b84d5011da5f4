// The font: 128 glyphs of 16 x 16, eight to a row. Each glyph is drawn as a
// small grid of '#' cells, doubled in size with the filling half of the Scale2x
// rule (which smooths the diagonals), shaded row by row and ringed with a dark outline.
#include "art.h"

namespace art {
namespace {

using Bits = std::vector<std::vector<uint8_t>>;

Bits scale2x(const Bits& in) {
  int h = int(in.size()), w = int(in[0].size());
  auto at = [&](int x, int y) -> uint8_t {
    if (x < 0 || y < 0 || x >= w || y >= h) return 0;
    return in[size_t(y)][size_t(x)];
  };
  Bits out(size_t(h) * 2, std::vector<uint8_t>(size_t(w) * 2, 0));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t p = at(x, y), a = at(x, y - 1), b = at(x + 1, y), c = at(x - 1, y), d = at(x, y + 1);
      uint8_t e0 = p, e1 = p, e2 = p, e3 = p;
      // Only the filling half of the rule: diagonal steps are smoothed, while the
      // corners of strokes stay square (so D does not turn into O).
      if (!p) {
        if (c == a && c != d && a != b) e0 = a;
        if (a == b && a != c && b != d) e1 = b;
        if (d == c && d != b && c != a) e2 = c;
        if (b == d && b != a && d != c) e3 = d;
      }
      out[size_t(2 * y)][size_t(2 * x)] = e0;
      out[size_t(2 * y)][size_t(2 * x + 1)] = e1;
      out[size_t(2 * y + 1)][size_t(2 * x)] = e2;
      out[size_t(2 * y + 1)][size_t(2 * x + 1)] = e3;
    }
  return out;
}

int glyphCode(const std::string& word, const Source& src, size_t line) {
  if (word.size() == 1) return uint8_t(word[0]);
  int c = toInt(word, src, line);
  if (c < 0 || c > 127) src.fail(line, "glyph code out of range 0..127");
  return c;
}

}  // namespace

// font.txt:
//   rows C0 .. C15     colour of each of the 16 pixel rows of a glyph's body
//   outline C          colour of the outline
//   glyph X [sharp]    X is the character itself or its code (0x41); then
//   .....              the rows of the glyph ('#' set, '.' clear, at most 7 x 7),
//   end                doubled with Scale2x unless 'sharp'
Image buildFont(const std::string& path, const Palette& pal) {
  Source src = Source::read(path);
  Image img(128, 256, uint8_t(pal.key));
  std::vector<int> rows;
  int outline = -1;
  std::vector<bool> seen(128, false);
  for (size_t i = 0; i < src.lines.size(); ++i) {
    auto w = words(stripComment(src.lines[i]));
    if (w.empty()) continue;
    if (w[0] == "rows") {
      if (w.size() != 17) src.fail(i, "rows needs 16 colours");
      rows.clear();
      for (size_t k = 1; k < w.size(); ++k) rows.push_back(pal.colour(w[k], src, i));
      continue;
    }
    if (w[0] == "outline" && w.size() == 2) {
      outline = pal.colour(w[1], src, i);
      continue;
    }
    if (w[0] != "glyph" || w.size() < 2 || w.size() > 3) src.fail(i, "expected 'rows', 'outline' or 'glyph'");
    if (rows.empty() || outline < 0) src.fail(i, "'rows' and 'outline' come before the glyphs");
    int code = glyphCode(w[1], src, i);
    bool sharp = w.size() == 3 && w[2] == "sharp";
    if (w.size() == 3 && !sharp) src.fail(i, "the only glyph option is 'sharp'");
    if (seen[size_t(code)]) src.fail(i, "glyph " + std::to_string(code) + " defined twice");
    seen[size_t(code)] = true;
    Bits bits;
    size_t start = i;
    for (++i; i < src.lines.size() && src.lines[i] != "end"; ++i) {
      const std::string& r = src.lines[i];
      if (!bits.empty() && r.size() != bits[0].size()) src.fail(i, "glyph rows differ in length");
      std::vector<uint8_t> row;
      for (char ch : r) {
        if (ch != '#' && ch != '.') src.fail(i, "glyph rows use '#' and '.' only");
        row.push_back(ch == '#');
      }
      bits.push_back(row);
    }
    if (i >= src.lines.size()) src.fail(start, "glyph without 'end'");
    if (bits.empty() || bits.size() > 7 || bits[0].empty() || bits[0].size() > 7) src.fail(start, "a glyph is 1 to 7 cells each way");
    Bits big;
    if (sharp) {
      for (const auto& r : bits) {
        std::vector<uint8_t> d;
        for (uint8_t b : r) {
          d.push_back(b);
          d.push_back(b);
        }
        big.push_back(d);
        big.push_back(d);
      }
    } else {
      big = scale2x(bits);
    }
    int gw = int(big[0].size()), gh = int(big.size());
    int ox = (code % 8) * 16 + (16 - gw) / 2;
    int oy = (code / 8) * 16 + 1;
    auto set = [&](int x, int y) { return x >= 0 && y >= 0 && x < gw && y < gh && big[size_t(y)][size_t(x)]; };
    for (int y = -1; y <= gh; ++y)
      for (int x = -1; x <= gw; ++x) {
        if (set(x, y)) {
          img.set(ox + x, oy + y, uint8_t(rows[size_t(y + 1)]));
          continue;
        }
        bool near = false;
        for (int dy = -1; dy <= 1; ++dy)
          for (int dx = -1; dx <= 1; ++dx) near = near || set(x + dx, y + dy);
        if (near) img.set(ox + x, oy + y, uint8_t(outline));
      }
  }
  return img;
}

}  // namespace art
