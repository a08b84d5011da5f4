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

// Codes of the object layer: where the walker starts, facing left or right,
// and the sixteen kinds of moving hazard (their motions in the spawn table).
enum ObjectCode {
  StartFacingLeft = 7,
  StartFacingRight = 8,
  FirstHazardCode = 10,
  LastHazardCode = 25,
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
// A stage given as its 620-byte image instead of its file (a stage being
// checked, one an editor holds): while one is given, loadStage sets it up
// whatever the number, and says nothing on stderr when it has no walker
// start. nullptr goes back to the files; resetGame does too.
void giveStageImage(const uint8_t* image);

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

// The tile layer's own animation: slow animations move on when their phase
// comes round to 0. A stage start puts both back to 0.
struct TileAnimation {
  int phase16 = 0;  // 0..15
  int phase64 = 0;  // 0..63
  bool operator==(const TileAnimation&) const = default;
};
extern TileAnimation tileAnimation;

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

// How long the walker's moves take, in frames (steps of 2 pixels for walking).
enum WalkerTiming {
  StepsPerCell = 16,         // 16 steps of 2 pixels cross a 32-pixel cell
  SlowStepDelay = 8,         // on slow floor a step takes 8 frames instead of 1
  LiftRowFrames = 32,        // a lift rises one pixel a frame
  FallRowFrames = 8,         // a fall drops 4 pixels a frame
  TurnAtWallFrames = 10,     // bumping into a wall
  TurnAtWallCooldown = 14,   // ... and no click on the walker meanwhile
  TurnFrames = 16,           // turned round by a click
  ClickTurnCooldown = 20,    // a click that turns it on a cell border
  LandingFrames = 32,
  LandingCooldown = 34,
  LedgeWaitFrames = 48,      // teetering before stepping off
  GoalFrames = 32,           // at the goal before the stage is clear
  WalkPhaseFrames = 4,       // frames per step of the leg swing
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
  bool operator==(const Walker&) const = default;
};
extern Walker walker;

void stepWalker();
void enterCell();
// The 64 x 64 sprite frames of the sprite sheet, by what they show. The walker
// has three steps of its leg swing, facing left from 0 and right from 8; at a
// ledge three teetering steps from 3 and 11.
enum SpriteFrame {
  FrameWalkLeft = 0,
  FrameLedgeLeft = 3,
  FrameFacing = 6,      // falling, landing, turning, at the goal
  FrameDazed = 7,       // boxed in, or lost
  FrameWalkRight = 8,
  FrameLedgeRight = 11,
  FrameCursorRight = 14,  // the cursor left of the walker points right at it
  FrameCursorLeft = 15,
  FrameHazard = 16,
  FrameExtraLife = 17,
  SpriteFrameCount = 18,
};

// The sprite frame that shows the walker in `state`, and one step of its leg
// swing: it is called once for every frame the walker is shown, drawn or not.
int walkerFrame(int state);

// ---- Pointer actions ------------------------------------------------------
// One frame's pointer: position in canvas pixels, the button this frame and in
// the frame before. A press is button 1 after button 0. A replayed button may
// hold any byte; only 1 counts as down.
struct PointerSample {
  int x = 320, y = 240;
  int button = 0;
  int previousButton = 0;
  bool operator==(const PointerSample&) const = default;
};
bool isPress(const PointerSample& pointer);

// The cell the pointer was last in while the button was down: dragging
// switches a tile when the pointer enters a new cell.
struct PointerTrack {
  int lastCol = 0;
  int lastRow = 0;
  bool operator==(const PointerTrack&) const = default;
};
extern PointerTrack pointerTrack;

// What the left button does to the walker and the tiles in a Playing frame;
// with `drag`, entering a cell with the button held switches it too.
void applyPointer(const PointerSample& pointer, bool drag);

// ---- Moving hazards -------------------------------------------------------
struct Hazard {
  uint16_t x, y;
  int16_t dx, dy;
  int16_t col, row;
  int16_t dcol, drow;
  int16_t stepsPerCell;
  int16_t stepsLeft;
  int16_t state;  // a HazardState
  int32_t tick;
  int32_t period;
  bool operator==(const Hazard&) const = default;
};
enum HazardState {
  HazardStopped = 0,   // gone for good: reached row 0; neither drawn nor deadly
  HazardChoosing = 1,  // looks for a way on every frame until one opens
  HazardCrossing = 2,  // moving into the next cell
};
// One record per object code of the stage, in the order the stage is read;
// the object layer has 300 cells, so the table cannot overflow.
enum { HazardCapacity = GridRows * GridColumns };
struct HazardTable {
  Hazard hazards[HazardCapacity];
  int hazardCount = 0;
  // Records past hazardCount mean nothing until a stage start fills them, so
  // a copy takes only those in use: searches copy the game's state often.
  HazardTable() = default;
  HazardTable(const HazardTable& other) : hazards{} { *this = other; }
  HazardTable& operator=(const HazardTable& other) {
    hazardCount = other.hazardCount;
    const int n = hazardCount < 0 ? 0 : (hazardCount > HazardCapacity ? HazardCapacity : hazardCount);
    for (int i = 0; i < n; ++i) hazards[i] = other.hazards[i];
    return *this;
  }
  bool operator==(const HazardTable& other) const {
    if (hazardCount != other.hazardCount) return false;
    const int n = hazardCount < 0 ? 0 : (hazardCount > HazardCapacity ? HazardCapacity : hazardCount);
    for (int i = 0; i < n; ++i)
      if (!(hazards[i] == other.hazards[i])) return false;
    return true;
  }
};
extern HazardTable hazardTable;

void hazardContact();
void moveHazards();
