#include "world/stagetext.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <sstream>
#include <vector>

#include "world/world.h"

namespace {
constexpr int Rows = 15, Cols = 20;

struct Glyph {
  char ch;
  int tile;
};
// One character for each tile number a stage usually holds.
constexpr Glyph tileGlyphs[] = {
    {'.', 0},   {'#', 32},  {'+', 36},  {'=', 37},  {'%', 52},  {'&', 53},  {'1', 1},   {'!', 35},
    {'2', 2},   {'@', 34},  {'3', 3},   {'$', 48},  {'x', 33},  {'s', 46},  {'S', 62},  {'b', 42},
    {'B', 43},  {'o', 58},  {'O', 59},  {'^', 64},  {'(', 65},  {')', 66},  {'*', 80},  {'|', 96},
    {'G', 144}, {'g', 145},
};
// 2 x 2 pieces: the letter stands for the whole piece; its top-left tile.
constexpr Glyph pieceGlyphs[] = {{'P', 4}, {'Q', 40}, {'T', 6}, {'R', 38}};
// Every top-left tile of a piece, in any state of its chain.
constexpr int pieceTopLefts[] = {4, 40, 6, 8, 10, 12, 14, 38, 44};

constexpr Glyph objectGlyphs[] = {
    {'.', 0},  {'<', 7},  {'>', 8},  {'a', 10}, {'b', 11}, {'c', 12}, {'d', 13}, {'e', 14}, {'f', 15},
    {'g', 16}, {'h', 17}, {'i', 18}, {'j', 19}, {'k', 20}, {'l', 21}, {'m', 22}, {'n', 23}, {'o', 24},
    {'p', 25},
};

// The top-left tile of the piece that tile t is a quarter of, and the quarter's offset.
bool pieceOf(int t, int* topLeft, int* dRow, int* dCol) {
  for (int b : pieceTopLefts) {
    for (int q = 0; q < 4; ++q) {
      const int o = (q & 1) + (q >> 1) * 16;
      if (t == b + o) {
        *topLeft = b;
        *dRow = q >> 1;
        *dCol = q & 1;
        return true;
      }
    }
  }
  return false;
}


uint8_t& tileByte(uint8_t* image, int row, int col) { return image[20 + Cols * row + col]; }
uint8_t& objectByte(uint8_t* image, int row, int col) { return image[320 + Cols * row + col]; }
uint8_t tileByte(const uint8_t* image, int row, int col) { return image[20 + Cols * row + col]; }
uint8_t objectByte(const uint8_t* image, int row, int col) { return image[320 + Cols * row + col]; }

std::string trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\r");
  if (a == std::string::npos) return "";
  size_t b = s.find_last_not_of(" \t\r");
  return s.substr(a, b - a + 1);
}

bool parseNumber(const std::string& s, int* out) {
  if (s.empty()) return false;
  char* end = nullptr;
  long v = std::strtol(s.c_str(), &end, 10);
  if (*end != '\0' || v < 0 || v > 255) return false;
  *out = static_cast<int>(v);
  return true;
}

bool permanentWall(int tile) { return tileKind[tile] == Solid && tileClass[tile] == Fixed; }
}  // namespace

std::string checkStage(const uint8_t image[620], const StageCheck& check) {
  auto tile = [&](int r, int c) { return image[20 + Cols * r + c]; };
  auto object = [&](int r, int c) { return static_cast<int8_t>(image[320 + Cols * r + c]); };
  char msg[160];
  // Pieces must be whole and consistent, or a click would write half of one.
  for (int r = 0; r < Rows && check.wholePieces; ++r) {
    for (int c = 0; c < Cols; ++c) {
      int b, dr, dc;
      if (!pieceOf(tile(r, c), &b, &dr, &dc)) continue;
      const int tr = r - dr, tc = c - dc;
      bool whole = tr >= 0 && tc >= 0 && tr + 1 < Rows && tc + 1 < Cols && tile(tr, tc) == b &&
                   tile(tr, tc + 1) == b + 1 && tile(tr + 1, tc) == b + 16 && tile(tr + 1, tc + 1) == b + 17;
      if (!whole) {
        std::snprintf(msg, sizeof msg, "row %d column %d: tile %d is a quarter of a 2 x 2 piece that is not whole",
                      r, c, tile(r, c));
        return msg;
      }
    }
  }
  if (check.singleStart) {
    int starts = 0;
    for (int r = 0; r < Rows; ++r)
      for (int c = 0; c < Cols; ++c)
        if (object(r, c) == 7 || object(r, c) == 8) {
          ++starts;
          if (r == 0 && c == 0) return "the walker cannot start in the top-left cell";
        }
    if (starts != 1) {
      std::snprintf(msg, sizeof msg, "a stage needs exactly one walker start ('<' or '>'), not %d", starts);
      return msg;
    }
  }
  if (check.enclosure) {
    for (int r = 0; r < Rows; ++r) {
      for (int c = 0; c < Cols; ++c) {
        const bool edge = c == 0 || c == Cols - 1 || r == Rows - 1;
        if (edge && !permanentWall(tile(r, c))) {
          std::snprintf(msg, sizeof msg,
                        "row %d column %d: the left, right and bottom edges must be plain walls (tile %d is not)", r,
                        c, tile(r, c));
          return msg;
        }
        const int code = object(r, c);
        if (code >= 10 && code <= 25 && r == 0) {
          std::snprintf(msg, sizeof msg, "row 0 column %d: a hazard cannot start in the top row", c);
          return msg;
        }
      }
    }
  }
  return "";
}

namespace {
// A stage's text read line by line: the legend, the header and the two grids.
struct StageSource {
  std::vector<std::string> lines;
  std::map<char, int> tiles, objects, pieces;
  bool haveTiles = false, haveObjects = false;
  std::vector<std::string> tileRows, objectRows;
  size_t tileLine = 0, objectLine = 0;
};

std::string lineProblem(size_t lineIndex, const std::string& why) {
  return "line " + std::to_string(lineIndex + 1) + ": " + why;
}

// The line at *at, and for a grid the rows after it; *at is left on the last
// line read. An empty answer when the line is right.
std::string readKeywordLine(StageSource& s, size_t* at, uint8_t image[620]) {
  size_t& i = *at;
  const std::string line = trim(s.lines[i]);
  std::istringstream words(line);
  std::string keyword;
  words >> keyword;
  if (keyword == "title") {
    std::string title = trim(line.substr(5));
    if (title.size() > 20) return lineProblem(i, "a title has at most 20 characters");
    std::memcpy(image, title.data(), title.size());
  } else if (keyword == "header") {
    std::string hex;
    words >> hex;
    if (hex.size() != 40) return lineProblem(i, "header takes 40 hex digits");
    for (int k = 0; k < 20; ++k) {
      unsigned v;
      if (std::sscanf(hex.substr(2 * k, 2).c_str(), "%2x", &v) != 1) return lineProblem(i, "bad hex digit in header");
      image[k] = static_cast<uint8_t>(v);
    }
  } else if (keyword == "tile" || keyword == "object") {
    std::string ch, number;
    words >> ch >> number;
    int value;
    if (ch.size() != 1 || !parseNumber(number, &value))
      return lineProblem(i, "expected: " + keyword + " <character> <0..255>");
    (keyword == "tile" ? s.tiles : s.objects)[ch[0]] = value;
    if (keyword == "tile") s.pieces.erase(ch[0]);
  } else if (keyword == "tiles" || keyword == "objects") {
    auto& rows = keyword == "tiles" ? s.tileRows : s.objectRows;
    (keyword == "tiles" ? s.haveTiles : s.haveObjects) = true;
    (keyword == "tiles" ? s.tileLine : s.objectLine) = i + 1;
    for (int r = 0; r < Rows; ++r) {
      if (i + 1 >= s.lines.size()) return lineProblem(i, "a grid has 15 rows");
      std::string row = s.lines[++i];
      if (!row.empty() && row.back() == '\r') row.pop_back();
      if (row.size() != Cols) return lineProblem(i, "a grid row has exactly 20 characters");
      rows.push_back(row);
    }
  } else {
    return lineProblem(i, "unknown keyword '" + keyword + "'");
  }
  return "";
}

std::string placeTileGrid(const StageSource& s, uint8_t image[620]) {
  std::vector<bool> placed(Rows * Cols, false);
  for (int r = 0; r < Rows; ++r) {
    for (int c = 0; c < Cols; ++c) {
      if (placed[r * Cols + c]) continue;
      const char ch = s.tileRows[r][c];
      if (auto p = s.pieces.find(ch); p != s.pieces.end()) {
        // The first cell of a piece met in reading order is its top-left quarter.
        bool whole = r + 1 < Rows && c + 1 < Cols && s.tileRows[r][c + 1] == ch && s.tileRows[r + 1][c] == ch &&
                     s.tileRows[r + 1][c + 1] == ch && !placed[r * Cols + c + 1];
        if (!whole)
          return lineProblem(s.tileLine + r, "piece '" + std::string(1, ch) + "' at column " + std::to_string(c) +
                                                 " is not a whole 2 x 2 block");
        const int b = p->second;
        tileByte(image, r, c) = static_cast<uint8_t>(b);
        tileByte(image, r, c + 1) = static_cast<uint8_t>(b + 1);
        tileByte(image, r + 1, c) = static_cast<uint8_t>(b + 16);
        tileByte(image, r + 1, c + 1) = static_cast<uint8_t>(b + 17);
        placed[r * Cols + c] = placed[r * Cols + c + 1] = placed[(r + 1) * Cols + c] =
            placed[(r + 1) * Cols + c + 1] = true;
        continue;
      }
      auto t = s.tiles.find(ch);
      if (t == s.tiles.end()) return lineProblem(s.tileLine + r, "unknown tile character '" + std::string(1, ch) + "'");
      tileByte(image, r, c) = static_cast<uint8_t>(t->second);
      placed[r * Cols + c] = true;
    }
  }
  return "";
}

std::string placeObjectGrid(const StageSource& s, uint8_t image[620]) {
  for (int r = 0; r < Rows; ++r) {
    for (int c = 0; c < Cols; ++c) {
      auto o = s.objects.find(s.objectRows[r][c]);
      if (o == s.objects.end())
        return lineProblem(s.objectLine + r, "unknown object character '" + std::string(1, s.objectRows[r][c]) + "'");
      objectByte(image, r, c) = static_cast<uint8_t>(o->second);
    }
  }
  return "";
}

std::string compileStageSource(const std::string& text, uint8_t image[620], const StageCheck& check) {
  StageSource s;
  for (const Glyph& g : tileGlyphs) s.tiles[g.ch] = g.tile;
  for (const Glyph& g : objectGlyphs) s.objects[g.ch] = g.tile;
  for (const Glyph& g : pieceGlyphs) s.pieces[g.ch] = g.tile;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    s.lines.push_back(line);
  }
  for (size_t i = 0; i < s.lines.size(); ++i) {
    const std::string line = trim(s.lines[i]);
    if (line.empty() || line[0] == ';') continue;
    if (std::string problem = readKeywordLine(s, &i, image); !problem.empty()) return problem;
  }
  if (!s.haveTiles) return "no tiles grid";
  if (std::string problem = placeTileGrid(s, image); !problem.empty()) return problem;
  if (s.haveObjects) {
    if (std::string problem = placeObjectGrid(s, image); !problem.empty()) return problem;
  }
  return checkStage(image, check);
}
}  // namespace

bool compileStageText(const std::string& text, uint8_t image[620], std::string* error, const StageCheck& check) {
  std::memset(image, 0, 620);
  const std::string problem = compileStageSource(text, image, check);
  if (problem.empty()) return true;
  if (error) *error = problem;
  return false;
}

namespace {
// The characters a legend may give a number: every printable one but the
// blank, which the legend line could not show. The usual ones come first, so
// that familiar stages read as they always have.
std::string spareCharacters(const std::string& preferred, const std::string& taken) {
  std::string spare;
  auto offer = [&](char ch) {
    if (taken.find(ch) == std::string::npos && spare.find(ch) == std::string::npos) spare += ch;
  };
  for (char ch : preferred) offer(ch);
  for (int ch = 33; ch < 127; ++ch) offer(static_cast<char>(ch));
  return spare;
}
}  // namespace

namespace {
// The header: a title when it is plain text padded with zero bytes, and
// compiling the title gives those bytes back (no blank at either end, which
// the compiler trims); any other header as hex; none when it is all zero.
void writeHeader(const uint8_t image[620], std::ostringstream& out) {
  int length = 0;
  while (length < 20 && image[length] != 0) ++length;
  bool printable = true;
  for (int k = 0; k < 20; ++k) {
    if (k < length ? (image[k] < 32 || image[k] > 126 || image[k] == ';') : image[k] != 0) printable = false;
  }
  if (printable && length > 0 && image[0] != ' ' && image[length - 1] != ' ') {
    out << "title " << std::string(reinterpret_cast<const char*>(image), length) << "\n";
  } else if (length > 0 || !printable) {
    out << "header ";
    char hex[3];
    for (int k = 0; k < 20; ++k) {
      std::snprintf(hex, sizeof hex, "%02x", image[k]);
      out << hex;
    }
    out << "\n";
  }
}

// A legend character per number: a stage with more different numbers than
// there are characters cannot be written as text at all.
std::string tooMany(const char* what, size_t named, int unnamed) {
  return "it holds " + std::to_string(named + unnamed) + " " + what +
         " without a character of their own; stage text has characters for " + std::to_string(named);
}

// The tiles grid and the legend lines of the tile numbers it needs.
bool writeTileGrid(const uint8_t image[620], std::string* legend, std::vector<std::string>* grid,
                   std::string* error) {
  std::map<int, char> tileChar;
  for (const Glyph& g : tileGlyphs) tileChar[g.tile] = g.ch;
  std::string used;
  for (const Glyph& g : tileGlyphs) used += g.ch;
  for (const Glyph& g : pieceGlyphs) used += g.ch;
  const std::string spareTiles =
      spareCharacters("ACDEFHIJKLMNUVWXYZacdefhijklmnpqrtuvwyz0456789-_/?~`',\"<>[]{}", used);
  size_t nextTile = 0;
  int tilesWithoutCharacter = 0;
  auto charForTile = [&](int t) {
    if (auto f = tileChar.find(t); f != tileChar.end()) return f->second;
    if (nextTile == spareTiles.size()) {
      ++tilesWithoutCharacter;
      tileChar[t] = '\0';
      return '\0';
    }
    const char ch = spareTiles[nextTile++];
    tileChar[t] = ch;
    *legend += "tile " + std::string(1, ch) + " " + std::to_string(t) + "\n";
    return ch;
  };
  grid->assign(Rows, std::string(Cols, ' '));
  std::vector<bool> done(Rows * Cols, false);
  auto at = [&](int r, int c) { return tileByte(image, r, c); };
  for (int r = 0; r < Rows; ++r) {
    for (int c = 0; c < Cols; ++c) {
      if (done[r * Cols + c]) continue;
      const int t = at(r, c);
      char piece = 0;
      for (const Glyph& g : pieceGlyphs) {
        if (g.tile == t && r + 1 < Rows && c + 1 < Cols && !done[r * Cols + c + 1] && at(r, c + 1) == t + 1 &&
            at(r + 1, c) == t + 16 && at(r + 1, c + 1) == t + 17)
          piece = g.ch;
      }
      std::vector<std::string>& g = *grid;
      if (piece) {
        g[r][c] = g[r][c + 1] = g[r + 1][c] = g[r + 1][c + 1] = piece;
        done[r * Cols + c] = done[r * Cols + c + 1] = done[(r + 1) * Cols + c] = done[(r + 1) * Cols + c + 1] = true;
      } else {
        g[r][c] = charForTile(t);
        done[r * Cols + c] = true;
      }
    }
  }
  if (tilesWithoutCharacter == 0) return true;
  if (error) *error = tooMany("tile numbers", nextTile, tilesWithoutCharacter);
  return false;
}

// The objects grid and the legend lines of the codes it needs; *any tells
// whether the stage has any object at all.
bool writeObjectGrid(const uint8_t image[620], std::string* legend, std::vector<std::string>* objects, bool* any,
                     std::string* error) {
  std::map<int, char> objectChar;
  for (const Glyph& g : objectGlyphs) objectChar[g.tile] = g.ch;
  std::string usedObjects;
  for (const Glyph& g : objectGlyphs) usedObjects += g.ch;
  const std::string spareObjects = spareCharacters("ABCDEFGHIJKLMNOPQRSTUVWXYZqrstuvwxyz0123456789", usedObjects);
  size_t nextObject = 0;
  int objectsWithoutCharacter = 0;
  objects->assign(Rows, std::string(Cols, '.'));
  *any = false;
  for (int r = 0; r < Rows; ++r) {
    for (int c = 0; c < Cols; ++c) {
      const int code = objectByte(image, r, c);
      if (code != 0) *any = true;
      auto f = objectChar.find(code);
      if (f == objectChar.end()) {
        if (nextObject == spareObjects.size()) {
          ++objectsWithoutCharacter;
          f = objectChar.emplace(code, '\0').first;
        } else {
          const char ch = spareObjects[nextObject++];
          *legend += "object " + std::string(1, ch) + " " + std::to_string(code) + "\n";
          f = objectChar.emplace(code, ch).first;
        }
      }
      (*objects)[r][c] = f->second;
    }
  }
  if (objectsWithoutCharacter == 0) return true;
  if (error) *error = tooMany("object codes", nextObject, objectsWithoutCharacter);
  return false;
}
}  // namespace

bool decompileStage(const uint8_t source[620], std::string* text, std::string* error) {
  uint8_t image[620];
  std::memcpy(image, source, 620);
  std::ostringstream out;
  writeHeader(image, out);
  std::string legend, objectLegend;
  std::vector<std::string> grid, objects;
  bool anyObject = false;
  if (!writeTileGrid(image, &legend, &grid, error)) return false;
  if (!writeObjectGrid(image, &objectLegend, &objects, &anyObject, error)) return false;
  out << legend << objectLegend << "tiles\n";
  for (const auto& row : grid) out << row << "\n";
  if (anyObject) {
    out << "objects\n";
    for (const auto& row : objects) out << row << "\n";
  }

  // Whatever the image, the text must stand for exactly these bytes.
  uint8_t back[620];
  StageCheck none;
  none.enclosure = none.singleStart = none.wholePieces = false;
  std::string compileError;
  if (!compileStageText(out.str(), back, &compileError, none) || std::memcmp(back, source, 620) != 0) {
    if (error) *error = "its stage text would not compile back to the same bytes" +
                        (compileError.empty() ? std::string() : " (" + compileError + ")");
    return false;
  }
  *text = out.str();
  return true;
}
