#include <fstream>
#include <sstream>

#include "art.h"
#include "display/surface.h"

namespace art {

Source Source::read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Error(path + ": cannot be read");
  Source src;
  src.path = path;
  std::string line;
  while (std::getline(in, line)) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
    src.lines.push_back(line);
  }
  return src;
}

void Source::fail(size_t line, const std::string& what) const {
  throw Error(path + ":" + std::to_string(line + 1) + ": " + what);
}

std::vector<std::string> words(const std::string& line) {
  std::vector<std::string> out;
  std::istringstream in(line);
  std::string w;
  while (in >> w) out.push_back(w);
  return out;
}

std::string stripComment(const std::string& line) {
  std::string s = line;
  size_t first = s.find_first_not_of(" \t");
  if (first == std::string::npos || s[first] == '#') return "";
  size_t hash = s.find(" #");
  if (hash != std::string::npos) s.resize(hash);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
  return s;
}

int toInt(const std::string& text, const Source& src, size_t line) {
  size_t used = 0;
  int v = 0;
  try {
    v = std::stoi(text, &used, 0);
  } catch (...) {
    used = 0;
  }
  if (used != text.size() || text.empty()) src.fail(line, "not a number: '" + text + "'");
  return v;
}

static Rgb parseHex(const std::string& hex, const Source& src, size_t line) {
  if (hex.size() != 6 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
    src.fail(line, "colour must be six hex digits: '" + hex + "'");
  unsigned v = unsigned(std::stoul(hex, nullptr, 16));
  return Rgb{uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
}

// Palette file:
//   key RRGGBB                       the transparent colour (pure green)
//   ramp NAME RRGGBB RRGGBB ...      shades listed darkest first
//   grad NAME COUNT RRGGBB RRGGBB... COUNT shades spread evenly through the stops
Palette Palette::load(const std::string& path) {
  Source src = Source::read(path);
  Palette pal;
  for (size_t i = 0; i < src.lines.size(); ++i) {
    auto w = words(stripComment(src.lines[i]));
    if (w.empty()) continue;
    std::vector<Rgb> add;
    std::string name;
    if (w[0] == "key" && w.size() == 2) {
      Rgb c = parseHex(w[1], src, i);
      if (c.r != 0 || c.g != 255 || c.b != 0) src.fail(i, "the key colour must be pure green 00ff00");
      if (pal.key >= 0) src.fail(i, "a second key colour");
      pal.key = int(pal.entries.size());
      add.push_back(c);
    } else if (w[0] == "ramp" && w.size() >= 3) {
      name = w[1];
      for (size_t k = 2; k < w.size(); ++k) add.push_back(parseHex(w[k], src, i));
    } else if (w[0] == "grad" && w.size() >= 5) {
      name = w[1];
      int n = toInt(w[2], src, i);
      std::vector<Rgb> stops;
      for (size_t k = 3; k < w.size(); ++k) stops.push_back(parseHex(w[k], src, i));
      if (n < 2) src.fail(i, "a gradient needs at least two shades");
      int den = n - 1, segs = int(stops.size()) - 1;
      for (int s = 0; s < n; ++s) {
        int t = s * segs;
        int seg = t / den;
        if (seg >= segs) seg = segs - 1;
        int frac = t - seg * den;
        const Rgb &a = stops[size_t(seg)], &b = stops[size_t(seg) + 1];
        auto mix = [&](int x, int y) { return uint8_t((x * (den - frac) + y * frac + den / 2) / den); };
        add.push_back(Rgb{mix(a.r, b.r), mix(a.g, b.g), mix(a.b, b.b)});
      }
    } else {
      src.fail(i, "expected 'key', 'ramp' or 'grad'");
    }
    if (!name.empty()) {
      if (pal.ramps.count(name)) src.fail(i, "ramp '" + name + "' defined twice");
      for (const Rgb& c : add)
        if (c.r == 0 && c.g == 255 && c.b == 0) src.fail(i, "pure green is reserved for the key");
      std::vector<int>& r = pal.ramps[name];
      for (size_t k = 0; k < add.size(); ++k) r.push_back(int(pal.entries.size() + k));
    }
    pal.entries.insert(pal.entries.end(), add.begin(), add.end());
    if (pal.entries.size() > 256) src.fail(i, "more than 256 colours");
  }
  if (pal.key < 0) throw Error(path + ": no key colour");
  // Unused entries are black, so that the key stays the only pure green.
  pal.entries.resize(256, Rgb{0, 0, 0});
  return pal;
}

int Palette::colour(const std::string& name, const Source& src, size_t line) const {
  if (name == "key" || name == "clear") return key;
  size_t dot = name.rfind('.');
  if (dot == std::string::npos) src.fail(line, "colour must be 'ramp.shade': '" + name + "'");
  const std::vector<int>& r = ramp(name.substr(0, dot), src, line);
  int shade = toInt(name.substr(dot + 1), src, line);
  if (shade < 0 || shade >= int(r.size())) src.fail(line, "no shade " + std::to_string(shade) + " in '" + name + "'");
  return r[size_t(shade)];
}

const std::vector<int>& Palette::ramp(const std::string& name, const Source& src, size_t line) const {
  auto it = ramps.find(name);
  if (it == ramps.end()) src.fail(line, "unknown ramp '" + name + "'");
  return it->second;
}

void Image::blit(const Image& src, int dx, int dy) {
  for (int y = 0; y < src.h; ++y)
    for (int x = 0; x < src.w; ++x) set(dx + x, dy + y, src.at(x, y));
}

int bayer4(int x, int y) {
  static const int m[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
  return m[y & 3][x & 3];
}

// Through the game's own BMP writer, so that there is one.
std::vector<uint8_t> encodeBmp(const Image& img, const Palette& pal) {
  uint8_t colours[256][3] = {};
  for (size_t i = 0; i < pal.entries.size() && i < 256; ++i) {
    colours[i][0] = pal.entries[i].r;
    colours[i][1] = pal.entries[i].g;
    colours[i][2] = pal.entries[i].b;
  }
  std::vector<uint8_t> b;
  encodeBmp8(img.w, img.h, img.px.data(), colours, &b);
  return b;
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw Error(path + ": cannot be written");
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  if (!out) throw Error(path + ": write failed");
}

}  // namespace art
