// The game world: stage map, tile catalogue and animation, the walker, what
// the pointer does to the world, and the moving hazards.
#pragma once

#include <array>
#include <cstdint>

// ---- Stage map ------------------------------------------------------------
enum {
  GridColumns = 20,
  GridRows = 15,
  CellSize = 32,
  StageMapSize = 620,
  TileLayerOffset = 20,
  ObjectLayerOffset = 320,
};

// The stage file's image, used in place: header, tile layer, object layer.
extern uint8_t stageMap[StageMapSize];

// Every cell outside the grid reads as a wall, so that no rule ever looks into
// the header or the object layer.
uint8_t* tileCell(int row, int col);  // nullptr outside the grid
int tileAt(int row, int col);         // tile number; outside the grid: a Solid wall tile
int kindAt(int row, int col);         // tileKind of tileAt
bool insideGrid(int row, int col);

bool loadStage(int stage);

// ---- Tile catalogue -------------------------------------------------------
enum TileKind {
  Empty = 0,
  Solid = 1,
  Lift = 2,
  Goal = 3,
  DeadlyFloor = 4,
  DeadlySide = 5,
  Star = 6,
  SlowFloor = 7,
};
enum TileClass {
  Fixed = 0,
  AnimEveryFrame = 1,
  SwitchSingle = 2,
  SwitchTopLeft = 3,
  SwitchTopRight = 4,
  SwitchBottomLeft = 5,
  SwitchBottomRight = 6,
  AnimEvery16 = 7,
  AnimEvery64 = 8,
};
enum { StarTile = 80, OutsideTile = 32 };

extern const std::array<uint8_t, 256> tileKind;
extern const std::array<uint8_t, 256> nextTile;
extern const std::array<uint8_t, 256> tileClass;
extern const std::array<uint8_t, 256> tileSound;

extern int phase16;  // 0..15
extern int phase64;  // 0..63

void updateTiles();

// ---- Walker ---------------------------------------------------------------
enum WalkerState {
  WalkLeft = 1,
  WalkRight = 2,
  LiftLeft = 3,
  LiftRight = 4,
  LedgeLeft = 5,
  LedgeRight = 6,
  Dead = 10,
  Landing = 11,
  Falling = 12,
  AtGoal = 13,
  Boxed = 14,
  Turning = 15,
};

struct Walker {
  int32_t x, y;
  int32_t col, row;
  int32_t state;
  int32_t resumeState;
  int32_t stepsLeft;
  int32_t stepDelay;
  int32_t stepTick;
  int32_t rowFrames;
  int32_t timer;
  int32_t clickCooldown;
  int32_t walkPhase;
  int32_t walkPhaseTick;
};
extern Walker walker;

void stepWalker();
void enterCell();
int walkerFrame(int state);

// ---- Pointer actions ------------------------------------------------------
extern int lastCol, lastRow;
void applyPointer();

// ---- Moving hazards -------------------------------------------------------
struct Hazard {
  uint16_t x, y;
  int16_t dx, dy;
  int16_t col, row;
  int16_t dcol, drow;
  int16_t stepsPerCell;
  int16_t stepsLeft;
  int16_t state;  // 0 stopped, 1 choosing, 2 crossing
  int32_t tick;
  int32_t period;
};
enum { HazardCapacity = 300 };
extern Hazard hazards[HazardCapacity];
extern int hazardCount;

void drawHazards();
void hazardContact();
void moveHazards();
