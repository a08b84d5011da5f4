// The stage file image and the setting up of a stage from it.
#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "pack/pack.h"
#include "platform/platform.h"
#include "world/world.h"

uint8_t stageMap[StageMapSize];
Walker walker;
HazardTable hazardTable;

bool insideGrid(int row, int col) { return row >= 0 && row < GridRows && col >= 0 && col < GridColumns; }

uint8_t* tileCell(int row, int col) {
  if (!insideGrid(row, col)) return nullptr;
  return &stageMap[TileLayerOffset + GridColumns * row + col];
}

int tileAt(int row, int col) {
  const uint8_t* cell = tileCell(row, col);
  return cell ? *cell : static_cast<int>(OutsideTile);
}

int kindAt(int row, int col) { return tileKind[tileAt(row, col)]; }

namespace {
struct Spawn {
  int16_t dx, dy, dcol, drow, stepsPerCell;
  int32_t period;
};
// Object codes 10 to 25, in order.
constexpr Spawn spawnTable[LastHazardCode - FirstHazardCode + 1] = {
    {1, 0, 1, 0, 32, 1},   {0, 1, 0, 1, 32, 1},   {2, 0, 1, 0, 16, 1},    {0, 2, 0, 1, 16, 1},
    {1, 0, 1, 0, 32, 16},  {0, 1, 0, 1, 32, 16},  {1, 1, 1, 1, 32, 1},    {1, -1, 1, -1, 32, 1},
    {1, 0, 1, 0, 32, 4},   {0, 1, 0, 1, 32, 4},   {-1, 0, -1, 0, 32, 1},  {0, -1, 0, -1, 32, 1},
    {2, 2, 1, 1, 16, 1},   {2, -2, 1, -1, 16, 1}, {-1, 0, -1, 0, 32, 4},  {0, -1, 0, -1, 32, 4},
};
}  // namespace

namespace {
// The stage given in memory, if any: input, like the replay buffer, rather
// than the world's state.
struct GivenStage {
  bool given = false;
  std::array<uint8_t, StageMapSize> image{};
};
GivenStage givenStage;

void reportStage(int stage, const char* name, const std::string& why) {
  if (sysFirstReport(sysAbsolutePath(name))) std::fprintf(stderr, "wendlop: stage %d not loaded: %s %s\n", stage, name, why.c_str());
}
}  // namespace

void giveStageImage(const uint8_t* image) {
  givenStage = GivenStage{};
  if (!image) return;
  givenStage.given = true;
  std::memcpy(givenStage.image.data(), image, StageMapSize);
}

bool loadStage(int stage) {
  int& hazardCount = hazardTable.hazardCount;
  hazardCount = 0;
  const std::string path = packStagePath(stage);
  const char* name = path.c_str();
  // Read into a scratch block first: a short file must not leave a stage that
  // is half the new file and half the old one. Bytes past the stage's 620 are
  // not read, and do no harm.
  std::vector<uint8_t> image;
  std::string why;
  const SysReadResult read = givenStage.given ? SysReadOk : sysReadWholeFile(name, StageMapSize, &image, &why);
  if (givenStage.given) image.assign(givenStage.image.begin(), givenStage.image.end());
  if (read != SysReadOk) {
    // Stages past the pack's last are looked for only to find the end of the
    // game: that their files are missing is no fault worth a line.
    if (read != SysReadMissing || stage <= packStageCount()) reportStage(stage, name, why);
    return false;
  }
  if (image.size() != StageMapSize) {
    reportStage(stage, name, "is " + std::to_string(image.size()) + " bytes long; a stage file has 620");
    return false;
  }
  std::memcpy(stageMap, image.data(), StageMapSize);

  walker.x = 0;
  walker.y = 0;
  for (int row = 0; row < GridRows; ++row) {
    for (int col = 0; col < GridColumns; ++col) {
      const int code = static_cast<int8_t>(stageMap[ObjectLayerOffset + GridColumns * row + col]);
      if (code == StartFacingLeft || code == StartFacingRight) {
        walker.state = code == StartFacingLeft ? WalkLeft : WalkRight;
        walker.col = col;
        walker.row = row;
        walker.x = CellSize * col;
        walker.y = CellSize * row;
      } else if (code >= FirstHazardCode && code <= LastHazardCode && hazardCount < HazardCapacity) {
        const Spawn& s = spawnTable[code - FirstHazardCode];
        Hazard& h = hazardTable.hazards[hazardCount];
        h = Hazard{};
        h.x = static_cast<uint16_t>(CellSize * col - 16);
        h.y = static_cast<uint16_t>(CellSize * row - 16);
        h.col = static_cast<int16_t>(col);
        h.row = static_cast<int16_t>(row);
        h.dx = s.dx;
        h.dy = s.dy;
        h.dcol = s.dcol;
        h.drow = s.drow;
        h.stepsPerCell = s.stepsPerCell;
        h.period = s.period;
        h.state = HazardChoosing;
        h.tick = 0;
        ++hazardCount;
      }
    }
  }
  if (walker.x == 0 && walker.y == 0) {
    if (!givenStage.given) reportStage(stage, name, "has no walker start (object 7 or 8) outside the top-left cell");
    return false;
  }
  if (kindAt(walker.row + 1, walker.col) == Empty) {
    walker.rowFrames = FallRowFrames;
    walker.resumeState = walker.state;
    walker.state = Falling;
  }
  return true;
}
