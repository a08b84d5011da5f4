// The logo: letters built from round-ended strokes and elliptic rings, filled
// with a dithered top-to-bottom gradient, rimmed light above and dark below,
// outlined and given a drop shadow. Integer geometry only.
#include <cstdint>

#include "art.h"

namespace art {
namespace {

struct Seg {
  int x0, y0, x1, y1;
};
struct Ring {
  int cx, cy, rx, ry, side;  // side: 0 whole ring, 1 right half (x >= cx), -1 left half
};

bool inSeg(const Seg& s, int px, int py, int r) {
  int64_t dx = s.x1 - s.x0, dy = s.y1 - s.y0;
  int64_t qx = px - s.x0, qy = py - s.y0;
  int64_t len2 = dx * dx + dy * dy;
  int64_t t = qx * dx + qy * dy;  // projection, scaled by len2
  int64_t rr = int64_t(r) * r;
  if (len2 == 0 || t <= 0) return qx * qx + qy * qy <= rr;
  if (t >= len2) {
    int64_t ex = px - s.x1, ey = py - s.y1;
    return ex * ex + ey * ey <= rr;
  }
  int64_t cross = qx * dy - qy * dx;  // distance * sqrt(len2)
  return cross * cross <= rr * len2;
}

bool inEllipse(int64_t dx, int64_t dy, int64_t a, int64_t b) {
  if (a <= 0 || b <= 0) return false;
  return dx * dx * b * b + dy * dy * a * a <= a * a * b * b;
}

bool inRing(const Ring& g, int px, int py, int r) {
  if (g.side > 0 && px < g.cx) return false;
  if (g.side < 0 && px > g.cx) return false;
  int64_t dx = px - g.cx, dy = py - g.cy;
  return inEllipse(dx, dy, g.rx + r, g.ry + r) && !inEllipse(dx, dy, g.rx - r, g.ry - r);
}

}  // namespace

// logo.txt:
//   radius R                 half the stroke width
//   outline N COLOUR         outline width and colour
//   shadow DX DY COLOUR      drop shadow offset and colour
//   fill Y0 Y1 C1 C2 ...     gradient from Y0 to Y1 through the colours
//   rim LIGHT DARK DEPTH     light rim under top edges, dark rim over bottom edges
//   seg X0 Y0 X1 Y1          a stroke
//   ring CX CY RX RY [right|left]  an elliptic ring, or its right or left half
Image buildLogo(const std::string& path, const Palette& pal) {
  Source src = Source::read(path);
  std::vector<Seg> segs;
  std::vector<Ring> rings;
  int radius = 10, outlineWidth = 3, outlineColour = pal.key, sdx = 0, sdy = 0, shadowColour = pal.key;
  int fy0 = 0, fy1 = 127, rimLight = -1, rimDark = -1, rimDepth = 2;
  std::vector<int> fill;
  for (size_t i = 0; i < src.lines.size(); ++i) {
    auto w = words(stripComment(src.lines[i]));
    if (w.empty()) continue;
    auto n = [&](size_t k) { return toInt(w.at(k), src, i); };
    if (w[0] == "radius" && w.size() == 2) {
      radius = n(1);
    } else if (w[0] == "outline" && w.size() == 3) {
      outlineWidth = n(1);
      outlineColour = pal.colour(w[2], src, i);
    } else if (w[0] == "shadow" && w.size() == 4) {
      sdx = n(1);
      sdy = n(2);
      shadowColour = pal.colour(w[3], src, i);
    } else if (w[0] == "fill" && w.size() >= 5) {
      fy0 = n(1);
      fy1 = n(2);
      fill.clear();
      for (size_t k = 3; k < w.size(); ++k) fill.push_back(pal.colour(w[k], src, i));
    } else if (w[0] == "rim" && w.size() == 4) {
      rimLight = pal.colour(w[1], src, i);
      rimDark = pal.colour(w[2], src, i);
      rimDepth = n(3);
    } else if (w[0] == "seg" && w.size() == 5) {
      segs.push_back({n(1), n(2), n(3), n(4)});
    } else if (w[0] == "ring" && (w.size() == 5 || w.size() == 6)) {
      int side = 0;
      if (w.size() == 6) {
        if (w[5] == "right") side = 1;
        else if (w[5] == "left") side = -1;
        else src.fail(i, "ring side is 'right' or 'left'");
      }
      rings.push_back({n(1), n(2), n(3), n(4), side});
    } else {
      src.fail(i, "unknown logo statement '" + w[0] + "'");
    }
  }
  if (fill.size() < 2 || fy1 <= fy0) throw Error(path + ": 'fill' needs a range and two colours");

  const int W = 512, H = 128;
  auto shape = [&](int x, int y, int r) {
    for (const Seg& s : segs)
      if (inSeg(s, x, y, r)) return true;
    for (const Ring& g : rings)
      if (inRing(g, x, y, r)) return true;
    return false;
  };
  std::vector<uint8_t> body(W * H), outer(W * H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      body[size_t(y * W + x)] = shape(x, y, radius);
      outer[size_t(y * W + x)] = shape(x, y, radius + outlineWidth);
    }
  auto at = [&](const std::vector<uint8_t>& m, int x, int y) {
    return x >= 0 && y >= 0 && x < W && y < H && m[size_t(y * W + x)];
  };
  if (outer[0] || outer[W - 1] || outer[size_t((H - 1) * W)] || outer[size_t(H * W - 1)])
    throw Error(path + ": the letters reach the corners of the logo");

  Image img(W, H, uint8_t(pal.key));
  int steps = int(fill.size()) - 1;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      if (at(body, x, y)) {
        int yy = y < fy0 ? fy0 : y > fy1 ? fy1 : y;
        int t = (yy - fy0) * steps * 16 / (fy1 - fy0);  // 16ths of a colour step
        int k = t / 16;
        if (k >= steps) k = steps - 1;
        int frac = t - k * 16;
        int c = fill[size_t(k + (frac > bayer4(x, y) ? 1 : 0))];
        if (rimLight >= 0 && !at(body, x, y - rimDepth)) c = rimLight;
        if (rimDark >= 0 && !at(body, x, y + rimDepth)) c = rimDark;
        img.set(x, y, uint8_t(c));
      } else if (at(outer, x, y)) {
        img.set(x, y, uint8_t(outlineColour));
      } else if (at(outer, x - sdx, y - sdy)) {
        img.set(x, y, uint8_t(shadowColour));
      }
    }
  return img;
}

}  // namespace art
