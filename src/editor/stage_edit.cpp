// Editing one stage image: placing and erasing whole pieces, the one walker
// start, picking, the names of things, and opening a damaged file.
#include <cstdio>
#include <cstring>

#include "editor/editor.h"

namespace {
// The top-left tile of every piece, in every state of its chain.
constexpr int pieceBases[] = {4, 40, 6, 8, 10, 12, 14, 38, 44};
constexpr int QuarterOffsets[4] = {0, 1, 16, 17};

uint8_t& tileOf(StageImage& image, int row, int col) { return image[TileLayerOffset + GridColumns * row + col]; }
uint8_t tileOf(const StageImage& image, int row, int col) { return image[TileLayerOffset + GridColumns * row + col]; }
uint8_t& objectOf(StageImage& image, int row, int col) { return image[ObjectLayerOffset + GridColumns * row + col]; }
int objectOf(const StageImage& image, int row, int col) {
  return static_cast<int8_t>(image[ObjectLayerOffset + GridColumns * row + col]);
}

bool isPlainWall(int tile) { return tileKind[tile] == Solid && tileClass[tile] == Fixed; }
bool isStart(int code) { return code == StartFacingLeft || code == StartFacingRight; }
bool isHazard(int code) { return code >= FirstHazardCode && code <= LastHazardCode; }

// The base and quarter of a piece tile, or false.
bool pieceQuarter(int tile, int* base, int* quarter) {
  for (int b : pieceBases)
    for (int q = 0; q < 4; ++q)
      if (tile == b + QuarterOffsets[q]) {
        *base = b;
        *quarter = q;
        return true;
      }
  return false;
}

// The top-left cell of the whole piece that covers (row, col), if one does.
bool wholePieceAt(const StageImage& image, int row, int col, int* topRow, int* topCol, int* base) {
  int b, q;
  if (!pieceQuarter(tileOf(image, row, col), &b, &q)) return false;
  const int r = row - q / 2, c = col - q % 2;
  if (r < 0 || c < 0 || r + 1 >= GridRows || c + 1 >= GridColumns) return false;
  for (int k = 0; k < 4; ++k)
    if (tileOf(image, r + k / 2, c + k % 2) != b + QuarterOffsets[k]) return false;
  *topRow = r;
  *topCol = c;
  *base = b;
  return true;
}

// A piece that loses a quarter would switch half of itself: it goes whole.
void clearPieceAt(StageImage& image, int row, int col) {
  int r, c, b;
  if (!wholePieceAt(image, row, col, &r, &c, &b)) return;
  for (int k = 0; k < 4; ++k) tileOf(image, r + k / 2, c + k % 2) = 0;
}

void clearStarts(StageImage& image) {
  for (int r = 0; r < GridRows; ++r)
    for (int c = 0; c < GridColumns; ++c)
      if (isStart(objectOf(image, r, c))) objectOf(image, r, c) = 0;
}

std::string tileName(int t) {
  switch (t) {
    case 0: return "EMPTY";
    case 32: return "WALL";
    case 36: return "WALL BRICKS";
    case 52: return "WALL SLABS";
    case 37: return "FLOOR MOSS";
    case 53: return "FLOOR PEBBLES";
    case 144: return "GOAL DOOR";
    case 145: return "GOAL FLAG";
    case 64: return "SPIKES FLOOR";
    case 65: return "SPIKES SIDE LEFT";
    case 66: return "SPIKES SIDE RIGHT";
    case 80: return "STAR";
    case 46: return "SLOW FLOOR";
    case 47: return "SLOW FLOOR TURNING";
    case 62: return "SLOW FLOOR BLOCK";
    case 63: return "SLOW BLOCK TURNING";
    case 1: return "SWITCH A OPEN";
    case 35: return "SWITCH A CLOSED";
    case 2: return "SWITCH B OPEN";
    case 34: return "SWITCH B CLOSED";
    case 3: return "TIMED OPEN";
    case 33: return "BREAKABLE";
    case 42: return "BLINKING CLOSED 1";
    case 43: return "BLINKING CLOSED 2";
    case 58: return "BLINKING OPEN 1";
    case 59: return "BLINKING OPEN 2";
    default: break;
  }
  if (t >= 96 && t <= 103) return t == 96 ? "LIFT" : "LIFT " + std::to_string(t - 95) + "/8";
  if (t >= 48 && t <= 51) return "TIMED CLOSED " + std::to_string(52 - t);
  return "TILE " + std::to_string(t) + " (UNKNOWN)";
}

std::string pieceName(int base) {
  switch (base) {
    case 4: return "SWITCH PIECE OPEN";
    case 40: return "SWITCH PIECE CLOSED";
    case 6: return "TIMED PIECE OPEN";
    case 38: return "BREAKABLE PIECE";
    case 44: return "CRUMBLING PIECE";
    default: return "TIMED PIECE CLOSED " + std::to_string(4 - (base - 8) / 2);
  }
}

// A tile number the catalogue says something about, or open space.
bool knownTile(int t) {
  if (t == 0 || tileKind[t] != Empty || tileClass[t] != Fixed) return true;
  return false;
}
}  // namespace

std::string hazardDirection(int code) {
  static const char* const directions[] = {"RIGHT", "DOWN", "RIGHT", "DOWN", "RIGHT",      "DOWN",      "DOWN-RIGHT", "UP-RIGHT",
                                           "RIGHT", "DOWN", "LEFT",  "UP",   "DOWN-RIGHT", "UP-RIGHT", "LEFT",       "UP"};
  return isHazard(code) ? directions[code - FirstHazardCode] : "";
}

std::string hazardSpeed(int code) {
  static const char* const speeds[] = {"1PX/FRAME", "1PX/FRAME", "2PX/FRAME", "2PX/FRAME", "1PX/16F",   "1PX/16F",
                                       "1PX/FRAME", "1PX/FRAME", "1PX/4F",    "1PX/4F",    "1PX/FRAME", "1PX/FRAME",
                                       "2PX/FRAME", "2PX/FRAME", "1PX/4F",    "1PX/4F"};
  return isHazard(code) ? speeds[code - FirstHazardCode] : "";
}

std::string toolName(const Tool& tool) {
  switch (tool.kind) {
    case ToolKind::Tile: return tileName(tool.code);
    case ToolKind::Piece: return pieceName(tool.code);
    case ToolKind::Start: return tool.code == StartFacingLeft ? "START FACING LEFT" : "START FACING RIGHT";
    case ToolKind::Hazard: return "HAZARD " + hazardDirection(tool.code) + " " + hazardSpeed(tool.code);
  }
  return "";
}

bool placeTool(StageImage& image, int row, int col, const Tool& tool, std::string* refusal) {
  auto refuse = [refusal](const char* why) {
    if (refusal) *refusal = why;
    return false;
  };
  if (!insideGrid(row, col)) return false;
  const StageImage before = image;
  switch (tool.kind) {
    case ToolKind::Tile:
      if (tool.code < 0 || tool.code > 255) return false;
      clearPieceAt(image, row, col);
      tileOf(image, row, col) = static_cast<uint8_t>(tool.code);
      if (isPlainWall(tool.code)) objectOf(image, row, col) = 0;
      break;
    case ToolKind::Piece: {
      int b, q;
      if (!pieceQuarter(tool.code, &b, &q) || q != 0) return false;
      if (row + 1 >= GridRows || col + 1 >= GridColumns) return refuse("A PIECE NEEDS 2 X 2 CELLS");
      for (int k = 0; k < 4; ++k) clearPieceAt(image, row + k / 2, col + k % 2);
      for (int k = 0; k < 4; ++k) {
        tileOf(image, row + k / 2, col + k % 2) = static_cast<uint8_t>(b + QuarterOffsets[k]);
      }
      break;
    }
    case ToolKind::Start:
      if (!isStart(tool.code)) return false;
      if (row == 0 && col == 0) return refuse("NO START IN THE TOP-LEFT CELL");
      clearStarts(image);
      objectOf(image, row, col) = static_cast<uint8_t>(tool.code);
      if (isPlainWall(tileOf(image, row, col))) tileOf(image, row, col) = 0;
      break;
    case ToolKind::Hazard:
      if (!isHazard(tool.code)) return false;
      if (row == 0) return refuse("NO HAZARD IN THE TOP ROW");
      objectOf(image, row, col) = static_cast<uint8_t>(tool.code);
      if (isPlainWall(tileOf(image, row, col))) tileOf(image, row, col) = 0;
      break;
  }
  return image != before;
}

bool eraseCell(StageImage& image, int row, int col) {
  if (!insideGrid(row, col)) return false;
  const StageImage before = image;
  clearPieceAt(image, row, col);
  tileOf(image, row, col) = 0;
  objectOf(image, row, col) = 0;
  return image != before;
}

Tool pickCell(const StageImage& image, int row, int col) {
  if (!insideGrid(row, col)) return Tool{};
  const int code = objectOf(image, row, col);
  if (isStart(code)) return Tool{ToolKind::Start, code};
  if (isHazard(code)) return Tool{ToolKind::Hazard, code};
  int r, c, b;
  if (wholePieceAt(image, row, col, &r, &c, &b)) return Tool{ToolKind::Piece, b};
  return Tool{ToolKind::Tile, tileOf(image, row, col)};
}

std::string describeCell(const StageImage& image, int row, int col) {
  if (!insideGrid(row, col)) return "";
  int r, c, b;
  std::string line = wholePieceAt(image, row, col, &r, &c, &b) ? pieceName(b) : tileName(tileOf(image, row, col));
  const int code = objectOf(image, row, col);
  if (isStart(code) || isHazard(code)) {
    line += " + " + toolName(pickCell(image, row, col));
  } else if (code != 0) {
    line += " + OBJECT " + std::to_string(code & 0xFF) + " (NOTHING)";
  }
  return line;
}

StageImage emptyStage() {
  StageImage image{};
  for (int r = 0; r < GridRows; ++r)
    for (int c = 0; c < GridColumns; ++c)
      if (r == 0 || r == GridRows - 1 || c == 0 || c == GridColumns - 1) tileOf(image, r, c) = 32;
  return image;
}

std::string stageTitle(const StageImage& image) {
  std::string title;
  for (int k = 0; k < MaxTitleLength && image[k] != 0; ++k) {
    const char ch = static_cast<char>(image[k]);
    title += ch >= 32 && ch < 127 ? ch : '?';
  }
  return title;
}

void setStageTitle(StageImage& image, const std::string& title) {
  std::memset(image.data(), 0, MaxTitleLength);
  for (size_t k = 0; k < title.size() && k < MaxTitleLength; ++k) image[k] = static_cast<uint8_t>(title[k]);
}

bool repairStage(const std::vector<uint8_t>& bytes, StageImage* out, std::vector<std::string>* problems) {
  auto say = [problems](const std::string& line) {
    if (problems) problems->push_back(line);
  };
  if (bytes.empty()) {
    say("THE FILE IS EMPTY");
    return false;
  }
  StageImage image{};
  std::memcpy(image.data(), bytes.data(), bytes.size() < image.size() ? bytes.size() : image.size());
  if (bytes.size() != StageMapSize)
    say(std::to_string(bytes.size()) + " BYTES, NOT 620: " + (bytes.size() < StageMapSize ? "REST EMPTY" : "REST LEFT OUT"));
  // Where the first of a kind is, as column,row: the editor's lines count so.
  auto at = [](int r, int c) { return " (" + std::to_string(c) + "," + std::to_string(r) + ")"; };

  int unknownTiles = 0, unknownObjects = 0, starts = 0, inWalls = 0, broken = 0;
  std::string firstTile, firstObject, firstWall, firstBroken;
  int startRow = -1, startCol = -1;
  for (int r = 0; r < GridRows; ++r) {
    for (int c = 0; c < GridColumns; ++c) {
      if (!knownTile(tileOf(image, r, c))) {
        if (unknownTiles++ == 0) firstTile = at(r, c);
        tileOf(image, r, c) = 0;
      }
      const int code = objectOf(image, r, c);
      if (code != 0 && !isStart(code) && !isHazard(code)) {
        if (unknownObjects++ == 0) firstObject = at(r, c);
        objectOf(image, r, c) = 0;
      }
      if (isStart(code)) {
        ++starts;
        startRow = r;  // the game starts the walker at the last one it reads
        startCol = c;
      }
    }
  }
  if (starts > 1) {
    const int keep = objectOf(image, startRow, startCol);
    clearStarts(image);
    objectOf(image, startRow, startCol) = static_cast<uint8_t>(keep);
    say(std::to_string(starts) + " WALKER STARTS: KEPT" + at(startRow, startCol));
  }
  for (int r = 0; r < GridRows; ++r) {
    for (int c = 0; c < GridColumns; ++c) {
      const int code = objectOf(image, r, c);
      if ((isStart(code) || isHazard(code)) && isPlainWall(tileOf(image, r, c))) {
        if (inWalls++ == 0) firstWall = at(r, c);
        tileOf(image, r, c) = 0;
      }
      int b, q, tr, tc, base;
      if (pieceQuarter(tileOf(image, r, c), &b, &q) && !wholePieceAt(image, r, c, &tr, &tc, &base)) {
        if (broken++ == 0) firstBroken = at(r, c);
        tileOf(image, r, c) = 0;
      }
    }
  }
  if (unknownTiles) say(std::to_string(unknownTiles) + " UNKNOWN TILES EMPTIED" + firstTile);
  if (unknownObjects) say(std::to_string(unknownObjects) + " UNKNOWN OBJECTS REMOVED" + firstObject);
  if (inWalls) say(std::to_string(inWalls) + " WALLS UNDER OBJECTS GONE" + firstWall);
  if (broken) say(std::to_string(broken) + " HALF PIECES: QUARTERS GONE" + firstBroken);
  *out = image;
  return true;
}
