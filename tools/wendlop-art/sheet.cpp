// The sprite sheet: tiles, pieces and 64 x 64 frames composed from text grids
// and a few drawing operations (see assets/art/README.md for the language).
#include <algorithm>
#include <array>
#include <deque>
#include <memory>
#include <set>

#include "art.h"

namespace art {
namespace {

constexpr int Skip = -1;          // grid cell that leaves the canvas as it is
constexpr int RampBase = -100;    // RampBase - s: shade s of the ramp given when stamping

struct Grid {
  int w = 0, h = 0;
  std::vector<int> cells;
};

// The 64 x 64 frame cells: column and row of frames 0..17 on the frame strip.
constexpr std::array<int, 18> frameColumn = {0, 1, 2, 3, 4, 5, 6, 7, 7, 6, 5, 4, 3, 2, 1, 0, 8, 8};
constexpr std::array<int, 18> frameRow = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 0, 1};

enum class Kind { Tile, Piece, Frame };

struct Target {
  Kind kind;
  int number;
  Image canvas;
};

class Composer {
 public:
  Composer(const std::string& dir, const Palette& pal) : dir_(dir), pal_(pal), sheet_(640, 768, uint8_t(pal.key)) {}

  void run(const std::string& file) {
    sources_.push_back(Source::read(dir_ + "/" + file));
    const Source& src = sources_.back();
    for (size_t i = 0; i < src.lines.size(); ++i) {
      auto w = words(stripComment(src.lines[i]));
      if (w.empty()) continue;
      if (w[0] == "include" && w.size() == 2) {
        finish();
        run(w[1]);
      } else if (w[0] == "legend" && (w.size() == 2 || w.size() == 3)) {
        finish();
        i = readLegend(src, i, w);
      } else if (w[0] == "grid" && w.size() == 3) {
        finish();
        i = readGrid(src, i, w);
      } else if ((w[0] == "tile" || w[0] == "piece" || w[0] == "frame") && w.size() == 2) {
        finish();
        begin(src, i, w);
      } else if (current_) {
        op(src, i, w);
      } else {
        src.fail(i, "unknown statement '" + w[0] + "'");
      }
    }
    finish();
  }

  Image& sheet() { return sheet_; }

 private:
  std::string dir_;
  const Palette& pal_;
  Image sheet_;
  std::deque<Source> sources_;  // a deque: nested includes must not move the files being read
  std::map<std::string, std::map<char, int>> legends_;
  std::map<std::string, Grid> grids_;
  std::map<std::pair<Kind, int>, Image> done_;
  std::set<int> usedTiles_;
  std::unique_ptr<Target> current_;
  const Source* currentSrc_ = nullptr;
  size_t currentLine_ = 0;

  size_t readLegend(const Source& src, size_t i, const std::vector<std::string>& w) {
    std::map<char, int> legend{{'.', Skip}};
    if (w.size() == 3) {
      auto parent = legends_.find(w[2]);
      if (parent == legends_.end()) src.fail(i, "unknown legend '" + w[2] + "'");
      legend = parent->second;
    }
    for (++i; i < src.lines.size(); ++i) {
      const std::string& line = src.lines[i];
      size_t first = line.find_first_not_of(" \t");
      if (first == std::string::npos) continue;
      auto rest = words(stripComment(line.substr(first + 1)));
      if (line.substr(first) == "end") {
        legends_[w[1]] = legend;
        return i;
      }
      if (rest.size() != 1) src.fail(i, "legend line must be 'CHAR COLOUR'");
      char c = line[first];
      const std::string& name = rest[0];
      if (name == "skip") {
        legend[c] = Skip;
      } else if (name.size() >= 2 && name[0] == '@') {
        int shade = toInt(name.substr(1), src, i);
        if (shade < 0 || shade > 31) src.fail(i, "ramp shade out of range");
        legend[c] = RampBase - shade;
      } else {
        legend[c] = pal_.colour(name, src, i);
      }
    }
    src.fail(i - 1, "legend without 'end'");
  }

  size_t readGrid(const Source& src, size_t i, const std::vector<std::string>& w) {
    auto leg = legends_.find(w[2]);
    if (leg == legends_.end()) src.fail(i, "unknown legend '" + w[2] + "'");
    if (grids_.count(w[1])) src.fail(i, "grid '" + w[1] + "' defined twice");
    Grid g;
    for (++i; i < src.lines.size(); ++i) {
      const std::string& row = src.lines[i];
      if (row == "end") {
        if (g.h == 0) src.fail(i, "empty grid");
        grids_[w[1]] = g;
        return i;
      }
      if (g.h == 0) g.w = int(row.size());
      if (int(row.size()) != g.w) src.fail(i, "grid row of " + std::to_string(row.size()) + " characters, expected " + std::to_string(g.w));
      for (char c : row) {
        auto it = leg->second.find(c);
        if (it == leg->second.end()) src.fail(i, std::string("character '") + c + "' is not in legend '" + w[2] + "'");
        g.cells.push_back(it->second);
      }
      ++g.h;
    }
    src.fail(i - 1, "grid without 'end'");
  }

  void begin(const Source& src, size_t i, const std::vector<std::string>& w) {
    int n = toInt(w[1], src, i);
    auto t = std::make_unique<Target>();
    if (w[0] == "tile") {
      if (n < 1 || n > 255) src.fail(i, "tile number out of range");
      t->kind = Kind::Tile;
      t->canvas = Image(32, 32, uint8_t(pal_.key));
    } else if (w[0] == "piece") {
      if (n < 0 || n % 16 == 15 || n + 17 > 255) src.fail(i, "a piece needs tiles n, n+1, n+16, n+17");
      t->kind = Kind::Piece;
      t->canvas = Image(64, 64, uint8_t(pal_.key));
    } else {
      if (n < 0 || n > 17) src.fail(i, "frame number out of range");
      t->kind = Kind::Frame;
      t->canvas = Image(64, 64, uint8_t(pal_.key));
    }
    t->number = n;
    if (done_.count({t->kind, n})) src.fail(i, w[0] + " " + w[1] + " drawn twice");
    current_ = std::move(t);
    currentSrc_ = &src;
    currentLine_ = i;
  }

  void claimTile(int n) {
    if (!usedTiles_.insert(n).second) currentSrc_->fail(currentLine_, "tile " + std::to_string(n) + " drawn twice");
  }

  void finish() {
    if (!current_) return;
    Target& t = *current_;
    switch (t.kind) {
      case Kind::Tile:
        claimTile(t.number);
        sheet_.blit(t.canvas, (t.number % 16) * 32, (t.number / 16) * 32);
        break;
      case Kind::Piece:
        for (int q = 0; q < 4; ++q) {
          int n = t.number + (q & 1) + (q >> 1) * 16;
          claimTile(n);
          for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x)
              sheet_.set((n % 16) * 32 + x, (n / 16) * 32 + y, t.canvas.at((q & 1) * 32 + x, (q >> 1) * 32 + y));
        }
        break;
      case Kind::Frame:
        sheet_.blit(t.canvas, frameColumn[size_t(t.number)] * 64, 512 + frameRow[size_t(t.number)] * 64);
        break;
    }
    done_[{t.kind, t.number}] = t.canvas;
    current_.reset();
  }

  // Options of the form name=value or bare flags after the positional words.
  struct Options {
    std::map<std::string, std::string> values;
    std::set<std::string> flags;
  };
  static Options options(const std::vector<std::string>& w, size_t from) {
    Options o;
    for (size_t k = from; k < w.size(); ++k) {
      size_t eq = w[k].find('=');
      if (eq == std::string::npos)
        o.flags.insert(w[k]);
      else
        o.values[w[k].substr(0, eq)] = w[k].substr(eq + 1);
    }
    return o;
  }

  void op(const Source& src, size_t i, const std::vector<std::string>& w) {
    Image& c = current_->canvas;
    auto num = [&](size_t k) {
      if (k >= w.size()) src.fail(i, "'" + w[0] + "' needs more arguments");
      return toInt(w[k], src, i);
    };
    if (w[0] == "stamp") {
      if (w.size() < 4) src.fail(i, "stamp GRID X Y [ramp=R] [flipx] [flipy] [shifty=N]");
      auto g = grids_.find(w[1]);
      if (g == grids_.end()) src.fail(i, "unknown grid '" + w[1] + "'");
      Options o = options(w, 4);
      const std::vector<int>* ramp = nullptr;
      if (o.values.count("ramp")) ramp = &pal_.ramp(o.values["ramp"], src, i);
      int shift = o.values.count("shifty") ? toInt(o.values["shifty"], src, i) : 0;
      stamp(src, i, g->second, num(2), num(3), ramp, o.flags.count("flipx") > 0, o.flags.count("flipy") > 0, shift);
    } else if (w[0] == "bevel" && w.size() == 6) {
      bevel(c, num(1), num(2), num(3), num(4), pal_.ramp(w[5], src, i));
    } else if (w[0] == "ghost" && w.size() >= 6) {
      Options o = options(w, 6);
      std::string style = o.values.count("style") ? o.values["style"] : "dash";
      Dashes d;
      if (style == "dash")
        d = {8, 5, 1 << 30};
      else if (style == "dot")
        d = {4, 2, 1 << 30};
      else if (style == "corner")
        d = {1 << 30, 1 << 30, 7};
      else
        src.fail(i, "ghost style is dash, dot or corner");
      ghost(c, num(1), num(2), num(3), num(4), pal_.ramp(w[5], src, i), d);
    } else if (w[0] == "bricks" && w.size() >= 6) {
      Options o = options(w, 6);
      int seed = o.values.count("seed") ? toInt(o.values["seed"], src, i) : 1;
      bricks(c, num(1), num(2), num(3), num(4), pal_.ramp(w[5], src, i), uint32_t(seed));
    } else if (w[0] == "rect" && w.size() == 6) {
      int col = pal_.colour(w[5], src, i);
      for (int y = 0; y < num(4); ++y)
        for (int x = 0; x < num(3); ++x) c.set(num(1) + x, num(2) + y, uint8_t(col));
    } else if (w[0] == "draw" && w.size() >= 3) {
      Kind k = w[1] == "tile" ? Kind::Tile : w[1] == "piece" ? Kind::Piece : Kind::Frame;
      if (w[1] != "tile" && w[1] != "piece" && w[1] != "frame") src.fail(i, "draw tile|piece|frame N");
      auto it = done_.find({k, num(2)});
      if (it == done_.end()) src.fail(i, w[1] + " " + w[2] + " is not drawn yet");
      Options o = options(w, 3);
      bool flip = o.flags.count("flipx") > 0;
      int dx = o.values.count("x") ? toInt(o.values["x"], src, i) : 0;
      int dy = o.values.count("y") ? toInt(o.values["y"], src, i) : 0;
      std::string mask = o.values.count("mask") ? o.values["mask"] : "";
      if (!mask.empty() && mask != "checker" && mask != "checker2") src.fail(i, "mask is checker or checker2");
      const Image& s = it->second;
      for (int y = 0; y < s.h; ++y)
        for (int x = 0; x < s.w; ++x) {
          int tx = dx + x, ty = dy + y;
          if (mask == "checker" && ((tx + ty) & 1)) continue;
          if (mask == "checker2" && !((tx + ty) & 1)) continue;
          uint8_t p = s.at(flip ? s.w - 1 - x : x, y);
          if (p != pal_.key) c.set(tx, ty, p);
        }
    } else {
      src.fail(i, "unknown drawing operation '" + w[0] + "'");
    }
  }

  void stamp(const Source& src, size_t i, const Grid& g, int dx, int dy, const std::vector<int>* ramp, bool flipx, bool flipy, int shifty) {
    Image& c = current_->canvas;
    for (int y = 0; y < g.h; ++y)
      for (int x = 0; x < g.w; ++x) {
        int gy = ((flipy ? g.h - 1 - y : y) + shifty) % g.h;
        if (gy < 0) gy += g.h;
        int gx = flipx ? g.w - 1 - x : x;
        int v = g.cells[size_t(gy) * size_t(g.w) + size_t(gx)];
        if (v == Skip) continue;
        if (v <= RampBase) {
          if (!ramp) src.fail(i, "this grid uses ramp shades: give ramp=NAME");
          size_t s = size_t(RampBase - v);
          if (s >= ramp->size()) src.fail(i, "the ramp has no shade " + std::to_string(s));
          v = (*ramp)[s];
        }
        c.set(dx + x, dy + y, uint8_t(v));
      }
  }

  // A raised block: dark outline with the corners cut, light top-left, dark bottom-right.
  static void bevel(Image& c, int x0, int y0, int w, int h, const std::vector<int>& r) {
    auto sh = [&](size_t s) { return uint8_t(r[s < r.size() ? s : r.size() - 1]); };
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        int d = std::min(std::min(x, y), std::min(w - 1 - x, h - 1 - y));
        bool corner = (x == 0 || x == w - 1) && (y == 0 || y == h - 1);
        if (corner) continue;
        uint8_t col;
        bool lit = (y == d && x < w - 1 - d) || (x == d && y < h - 1 - d);
        if (d == 0)
          col = sh(0);
        else if (d == 1)
          col = lit ? sh(6) : sh(2);
        else if (d == 2)
          col = lit ? sh(5) : sh(3);
        else
          col = sh(4);
        c.set(x0 + x, y0 + y, col);
      }
    c.set(x0 + 1, y0 + 1, sh(7));
    c.set(x0 + 2, y0 + 1, sh(7));
    c.set(x0 + 1, y0 + 2, sh(7));
  }

  // A wall of bricks in courses of 8 rows, 16-pixel bricks in a running bond,
  // each brick lit on top and shaded below, the whole ringed by the darkest shade.
  static void bricks(Image& c, int x0, int y0, int w, int h, const std::vector<int>& r, uint32_t seed) {
    auto sh = [&](int s) { return uint8_t(r[size_t(s) < r.size() ? size_t(s) : r.size() - 1]); };
    for (int y = 0; y < h; ++y) {
      int course = y / 8, yy = y % 8;
      int offset = (course & 1) ? 8 : 0;
      for (int x = 0; x < w; ++x) {
        bool corner = (x == 0 || x == w - 1) && (y == 0 || y == h - 1);
        if (corner) continue;
        if (x == 0 || y == 0 || x == w - 1 || y == h - 1) {
          c.set(x0 + x, y0 + y, sh(0));
          continue;
        }
        int bx = (x + offset) % 16;
        int brick = (x + offset) / 16;
        Lcg rng(seed * 7919u + uint32_t(course * 31 + brick));
        int face = 3 + rng.below(2);
        uint8_t col;
        if (yy == 7 || bx == 15) col = sh(1);       // mortar
        else if (yy == 0) col = sh(face + 2);       // lit top edge
        else if (bx == 0) col = sh(face + 1);       // lit left edge
        else if (yy == 6 || bx == 14) col = sh(face - 1);
        else col = sh(face);
        c.set(x0 + x, y0 + y, col);
      }
    }
  }

  // The rhythm of an open block's frame, counted from the nearer corner of each side.
  struct Dashes {
    int period, on, reach;  // a mark where (distance % period) < on and distance < reach
  };

  // An open block: a frame of light marks edged in dark, symmetric on every side
  // so that the corners are always drawn. Each kind of switch has its own rhythm,
  // so that open blocks of different kinds differ in outline, not only in colour.
  static void ghost(Image& c, int x0, int y0, int w, int h, const std::vector<int>& r, Dashes m) {
    // A short ramp lends its last shade, as in bevel.
    auto sh = [&](size_t s) { return uint8_t(r[s < r.size() ? s : r.size() - 1]); };
    std::vector<uint8_t> mask(size_t(w) * h, 0);
    for (int d = 1; d <= 2; ++d) {
      int L = w - 2, H = h - 2;
      for (int y = d; y < h - d; ++y)
        for (int x = d; x < w - d; ++x) {
          bool onRing = x == d || y == d || x == w - 1 - d || y == h - 1 - d;
          if (!onRing) continue;
          bool dash;
          if (y == d || y == h - 1 - d) {
            int pos = x - 1, dist = std::min(pos, L - 1 - pos);
            dash = dist % m.period < m.on && dist < m.reach;
          } else {
            int pos = y - 1, dist = std::min(pos, H - 1 - pos);
            dash = dist % m.period < m.on && dist < m.reach;
          }
          if (dash) mask[size_t(y) * w + x] = 1;
        }
    }
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        if (mask[size_t(y) * w + x]) {
          c.set(x0 + x, y0 + y, sh(5));
          continue;
        }
        bool edge = false;
        const int nx[4] = {1, -1, 0, 0}, ny[4] = {0, 0, 1, -1};
        for (int k = 0; k < 4; ++k) {
          int ax = x + nx[k], ay = y + ny[k];
          if (ax >= 0 && ay >= 0 && ax < w && ay < h && mask[size_t(ay) * w + ax]) edge = true;
        }
        if (edge) c.set(x0 + x, y0 + y, sh(1));
      }
  }
};

}  // namespace

Image spriteFrame(const Image& sheet, int number) {
  if (number < 0 || number > 17) throw Error("no sprite frame " + std::to_string(number));
  Image frame(64, 64, 0);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x)
      frame.set(x, y, sheet.at(frameColumn[size_t(number)] * 64 + x, 512 + frameRow[size_t(number)] * 64 + y));
  return frame;
}

Image buildSpriteSheet(const std::string& srcDir, const Palette& pal) {
  Composer comp(srcDir, pal);
  comp.run("sheet.txt");
  Image sheet = comp.sheet();
  sheet.blit(buildFont(srcDir + "/font.txt", pal), 512, 0);
  sheet.blit(buildLogo(srcDir + "/logo.txt", pal), 0, 640);
  return sheet;
}

}  // namespace art
