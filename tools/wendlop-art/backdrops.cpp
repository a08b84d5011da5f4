// The backdrop sheet: three 640 x 480 pictures stacked, painted by a short
// list of operations each (gradients, hills, clouds, fireworks, confetti).
// Shades between palette entries come from 4 x 4 ordered dithering.
#include <cstdint>

#include "art.h"

namespace art {
namespace {

// Directions of the sixteen firework spokes, scaled by 1024.
constexpr int spokeX[16] = {1024, 946, 724, 392, 0, -392, -724, -946, -1024, -946, -724, -392, 0, 392, 724, 946};
constexpr int spokeY[16] = {0, 392, 724, 946, 1024, 946, 724, 392, 0, -392, -724, -946, -1024, -946, -724, -392};

struct Painter {
  const Palette& pal;
  const Source& src;
  Image img{640, 1440, 0};
  int top = 0;  // first row of the current backdrop
  int line = 0;

  void put(int x, int y, int c) {
    if (x < 0 || y < 0 || x >= 640 || y >= 480) return;
    img.set(x, top + y, uint8_t(c));
  }

  // Shade of a ramp at position t (16ths of a step from shade s0 toward s1), dithered.
  static int dithered(const std::vector<int>& r, int s0, int s1, int t16, int x, int y) {
    int steps = s1 > s0 ? s1 - s0 : s0 - s1;
    int dir = s1 >= s0 ? 1 : -1;
    if (t16 < 0) t16 = 0;
    if (t16 > steps * 16) t16 = steps * 16;
    int k = t16 / 16, frac = t16 % 16;
    int s = s0 + dir * (k + (frac > bayer4(x, y) ? 1 : 0));
    if (s < 0) s = 0;
    if (s >= int(r.size())) s = int(r.size()) - 1;
    return r[size_t(s)];
  }

  static bool inEllipse(int dx, int dy, int rx, int ry) {
    int64_t a = rx, b = ry;
    return int64_t(dx) * dx * b * b + int64_t(dy) * dy * a * a <= a * a * b * b;
  }
};

int absi(int v) { return v < 0 ? -v : v; }

}  // namespace

// backdrops.txt: see assets/art/README.md for the operations.
Image buildBackdrops(const std::string& path, const Palette& pal) {
  Source src = Source::read(path);
  Painter p{pal, src};
  p.img = Image(640, 1440, uint8_t(pal.ramps.begin()->second.front()));
  bool started[3] = {false, false, false};
  for (size_t i = 0; i < src.lines.size(); ++i) {
    auto w = words(stripComment(src.lines[i]));
    if (w.empty()) continue;
    std::map<std::string, std::string> opt;
    std::vector<std::string> pos;
    for (const auto& s : w) {
      size_t eq = s.find('=');
      if (eq == std::string::npos)
        pos.push_back(s);
      else
        opt[s.substr(0, eq)] = s.substr(eq + 1);
    }
    auto n = [&](size_t k) {
      if (k >= pos.size()) src.fail(i, "'" + pos[0] + "' needs more arguments");
      return toInt(pos[k], src, i);
    };
    auto ramp = [&](size_t k) -> const std::vector<int>& {
      if (k >= pos.size()) src.fail(i, "'" + pos[0] + "' needs a ramp");
      return pal.ramp(pos[k], src, i);
    };
    auto colour = [&](size_t k) {
      if (k >= pos.size()) src.fail(i, "'" + pos[0] + "' needs a colour");
      return pal.colour(pos[k], src, i);
    };
    auto optInt = [&](const char* name, int dflt) { return opt.count(name) ? toInt(opt[name], src, i) : dflt; };
    // A triple "a,b,c" option.
    auto triple = [&](const char* name, int out[3]) {
      if (!opt.count(name)) return false;
      std::string s = opt[name];
      for (int k = 0; k < 3; ++k) {
        size_t comma = s.find(',');
        out[k] = toInt(s.substr(0, comma), src, i);
        if (k < 2) {
          if (comma == std::string::npos) src.fail(i, std::string(name) + " needs three numbers");
          s = s.substr(comma + 1);
        }
      }
      return true;
    };
    const int level = optInt("level", 16);  // dither density 0..16 of plain fills
    auto dense = [&](int x, int y) { return bayer4(x, y) < level; };
    const std::string& op = pos[0];

    if (op == "backdrop") {
      int b = n(1);
      if (b < 0 || b > 2) src.fail(i, "backdrop is 0, 1 or 2");
      if (started[b]) src.fail(i, "backdrop painted twice");
      started[b] = true;
      p.top = b * 480;
    } else if (op == "vgrad") {
      // vgrad Y0 Y1 RAMP S0 S1 [dots=P,R,D] [diamonds=P,W,D] [stripes=P,W,D]
      int y0 = n(1), y1 = n(2);
      const auto& r = ramp(3);
      int s0 = n(4), s1 = n(5);
      int dots[3], diamonds[3], stripes[3];
      bool hasDots = triple("dots", dots), hasDiamonds = triple("diamonds", diamonds), hasStripes = triple("stripes", stripes);
      int steps = absi(s1 - s0);
      for (int y = y0; y < y1; ++y)
        for (int x = 0; x < 640; ++x) {
          int t = y1 - 1 > y0 ? (y - y0) * steps * 16 / (y1 - 1 - y0) : 0;
          if (hasDots) {
            int P = dots[0], cx = (x % P) - P / 2, cy = (y % P) - P / 2;
            if (((y / P) & 1)) cx = ((x + P / 2) % P) - P / 2;
            if (cx * cx + cy * cy <= dots[1] * dots[1]) t += dots[2];
          }
          if (hasDiamonds) {
            int P = diamonds[0];
            int d = absi((x % P) - P / 2) + absi((y % P) - P / 2);
            if (d >= P / 2 - diamonds[1]) t += diamonds[2];
          }
          if (hasStripes) {
            if ((x + y) % stripes[0] < stripes[1]) t += stripes[2];
          }
          p.put(x, y, Painter::dithered(r, s0, s1, t, x, y));
        }
    } else if (op == "rect") {
      // rect X Y W H COLOUR [level=N]
      int x0 = n(1), y0 = n(2), c = colour(5);
      for (int y = y0; y < y0 + n(4); ++y)
        for (int x = x0; x < x0 + n(3); ++x)
          if (dense(x, y)) p.put(x, y, c);
    } else if (op == "ellipse") {
      // ellipse CX CY RX RY COLOUR [level=N]
      int cx = n(1), cy = n(2), rx = n(3), ry = n(4), c = colour(5);
      for (int y = cy - ry; y <= cy + ry; ++y)
        for (int x = cx - rx; x <= cx + rx; ++x)
          if (Painter::inEllipse(x - cx, y - cy, rx, ry) && dense(x, y)) p.put(x, y, c);
    } else if (op == "hill") {
      // hill CX CY RX RY RAMP S0 S1 [rim=SHADE]: a filled ellipse shaded from S0 (top) to S1
      // (its centre line and below), with a lighter rim along its top edge.
      int cx = n(1), cy = n(2), rx = n(3), ry = n(4);
      const auto& r = ramp(5);
      int s0 = n(6), s1 = n(7), rim = optInt("rim", -1);
      int steps = absi(s1 - s0);
      for (int y = cy - ry; y <= cy + ry; ++y)
        for (int x = cx - rx; x <= cx + rx; ++x) {
          if (!Painter::inEllipse(x - cx, y - cy, rx, ry)) continue;
          int t = (y - (cy - ry)) * steps * 16 / (ry > 0 ? ry : 1);
          int c = Painter::dithered(r, s0, s1, t, x, y);
          if (rim >= 0 && !Painter::inEllipse(x - cx, y - 3 - cy, rx, ry)) c = r[size_t(rim)];
          p.put(x, y, c);
        }
    } else if (op == "cloud") {
      // cloud CX CY SIZE RAMP: puffs of a cloud about 4 x SIZE wide, light on top, shaded below.
      int cx = n(1), cy = n(2), s = n(3);
      const auto& r = ramp(4);
      struct Puff {
        int dx, dy, rx, ry;
      };
      const Puff puffs[] = {{0, 0, 2 * s, s / 2 + 2},   {-s, -s / 3, s * 2 / 3, s / 2}, {0, -s / 2, s * 3 / 4, s * 2 / 3},
                            {s, -s / 4, s * 2 / 3, s / 2}, {-2 * s + s / 3, s / 8, s / 2, s / 3}, {2 * s - s / 3, s / 8, s / 2, s / 3}};
      auto inside = [&](int x, int y) {
        for (const Puff& f : puffs)
          if (Painter::inEllipse(x - (cx + f.dx), y - (cy + f.dy), f.rx, f.ry)) return true;
        return false;
      };
      int top = cy - s * 3 / 2, bottom = cy + s / 2 + 2;
      int last = int(r.size()) - 1;
      for (int y = top; y <= bottom; ++y)
        for (int x = cx - 3 * s; x <= cx + 3 * s; ++x) {
          if (!inside(x, y)) continue;
          int t = (bottom - y) * 16 * last / (bottom - top);  // light at the top
          int c = Painter::dithered(r, 0, last, t + 8, x, y);
          if (!inside(x, y + 2) && !inside(x, y + 1)) c = r[0];
          p.put(x, y, c);
        }
    } else if (op == "firework") {
      // firework CX CY R RAMP: sixteen dotted rays growing brighter and bolder toward
      // their tips, and sixteen shorter ones between them.
      int cx = n(1), cy = n(2), R = n(3);
      const auto& r = ramp(4);
      int last = int(r.size()) - 1;
      for (int k = 0; k < 32; ++k) {
        int dir = k / 2;
        bool shortRay = k & 1;
        int len = shortRay ? R * 3 / 5 : R;
        int dx = shortRay ? (spokeX[dir] + spokeX[(dir + 1) % 16]) / 2 : spokeX[dir];
        int dy = shortRay ? (spokeY[dir] + spokeY[(dir + 1) % 16]) / 2 : spokeY[dir];
        for (int d = R / 5; d <= len; d += 4) {
          int x = cx + dx * d / 1024, y = cy + dy * d / 1024;
          int shade = 2 + (d - R / 5) * (last - 2) / (len - R / 5 + 1);
          int size = d > len / 2 ? 1 : 0;
          for (int yy = -size; yy <= size; ++yy)
            for (int xx = -size; xx <= size; ++xx)
              if (absi(xx) + absi(yy) <= size) p.put(x + xx, y + yy, r[size_t(shade)]);
          if (d + 4 > len) {
            p.put(x, y, r[size_t(last)]);
            p.put(x + 1, y, r[size_t(last)]);
            p.put(x, y + 1, r[size_t(last)]);
          }
        }
      }
      p.put(cx, cy, r[size_t(last)]);
    } else if (op == "confetti" || op == "sparkles") {
      // confetti COUNT SEED X0 Y0 X1 Y1 COLOUR...: small bits of paper at random.
      // sparkles COUNT SEED X0 Y0 X1 Y1 COLOUR...: tiny four-pointed twinkles.
      int count = n(1);
      Lcg rng(uint32_t(n(2)));
      int x0 = n(3), y0 = n(4), x1 = n(5), y1 = n(6);
      std::vector<int> cols;
      for (size_t k = 7; k < pos.size(); ++k) cols.push_back(colour(k));
      if (cols.empty()) src.fail(i, "'" + op + "' needs colours");
      for (int k = 0; k < count; ++k) {
        int x = x0 + rng.below(x1 - x0), y = y0 + rng.below(y1 - y0);
        int c = cols[size_t(rng.below(int(cols.size())))];
        if (op == "confetti") {
          int shape = rng.below(4);
          static const int shapes[4][4][2] = {{{0, 0}, {1, 0}, {2, 0}, {3, 0}},
                                              {{0, 0}, {0, 1}, {0, 2}, {1, 2}},
                                              {{0, 0}, {1, 1}, {2, 2}, {1, 2}},
                                              {{0, 0}, {1, 0}, {0, 1}, {1, 1}}};
          for (const auto& q : shapes[shape]) p.put(x + q[0], y + q[1], c);
        } else {
          p.put(x, y, c);
          p.put(x - 1, y, c);
          p.put(x + 1, y, c);
          p.put(x, y - 1, c);
          p.put(x, y + 1, c);
          if (rng.below(2)) {
            p.put(x - 2, y, c);
            p.put(x + 2, y, c);
            p.put(x, y - 2, c);
            p.put(x, y + 2, c);
          }
        }
      }
    } else {
      src.fail(i, "unknown backdrop operation '" + op + "'");
    }
  }
  for (int b = 0; b < 3; ++b)
    if (!started[b]) throw Error(path + ": backdrop " + std::to_string(b) + " is not painted");
  return p.img;
}

}  // namespace art
