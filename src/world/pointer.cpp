// What the left button does to the walker and the tiles while Playing.
#include "sound/sound.h"
#include "world/world.h"

PointerTrack pointerTrack;

namespace {
bool isPiece(int cls) {
  return cls == SwitchTopLeft || cls == SwitchTopRight || cls == SwitchBottomLeft || cls == SwitchBottomRight;
}

// Pieces lying partly outside the grid keep only their quarters inside it.
void writeCell(int row, int col, int tile) {
  if (uint8_t* cell = tileCell(row, col)) *cell = static_cast<uint8_t>(tile);
}

int successor(int tile) { return nextTile[tile & 0xFF]; }

void switchTile(int row, int col, int t, int cls) {
  switch (cls) {
    case SwitchSingle:
      playEffect(tileSound[t]);
      writeCell(row, col, successor(t));
      break;
    case SwitchTopLeft:
      playEffect(tileSound[t]);
      writeCell(row, col, successor(t));
      writeCell(row, col + 1, successor(t + 1));
      writeCell(row + 1, col, successor(t + 16));
      writeCell(row + 1, col + 1, successor(t + 17));
      break;
    case SwitchTopRight:
      playEffect(tileSound[t]);
      writeCell(row, col, successor(t));
      writeCell(row, col - 1, successor(t - 1));
      writeCell(row + 1, col, successor(t + 16));
      writeCell(row + 1, col - 1, successor(t + 15));
      break;
    case SwitchBottomLeft:
      playEffect(tileSound[t]);
      writeCell(row, col, successor(t));
      writeCell(row, col + 1, successor(t + 1));
      writeCell(row - 1, col, successor(t - 16));
      writeCell(row - 1, col + 1, successor(t - 15));
      break;
    case SwitchBottomRight:
      playEffect(tileSound[t]);
      writeCell(row, col, successor(t));
      writeCell(row, col - 1, successor(t - 1));
      writeCell(row - 1, col, successor(t - 16));
      writeCell(row - 1, col - 1, successor(t - 17));
      break;
    default: break;
  }
}

void pressWalker(Walker& w) {
  switch (w.state) {
    case WalkLeft:
      playEffect(SoundTurn);
      w.resumeState = WalkRight;
      w.state = Turning;
      w.timer = TurnFrames;
      w.col -= 1;
      w.stepsLeft = StepsPerCell - w.stepsLeft;
      if (w.stepsLeft == 0) {
        w.clickCooldown = ClickTurnCooldown;
        w.x -= 2;
        w.stepsLeft = 1;
      }
      break;
    case WalkRight:
      playEffect(SoundTurn);
      w.col += 1;
      w.stepsLeft = StepsPerCell - w.stepsLeft;
      w.resumeState = WalkLeft;
      w.state = Turning;
      w.timer = TurnFrames;
      if (w.stepsLeft == 0) {
        w.x += 2;
        w.clickCooldown = ClickTurnCooldown;
        w.stepsLeft = 1;
      }
      break;
    case LiftLeft:
      playEffect(SoundTurn);
      w.state = LiftRight;
      break;
    case LiftRight:
      playEffect(SoundTurn);
      w.state = LiftLeft;
      break;
    case LedgeLeft:
    case LedgeRight: {
      const int below = kindAt(w.row + 1, w.col);
      if (below != Solid && below != Lift) break;
      playEffect(SoundTurn);
      if (w.state == LedgeLeft) {
        w.state = WalkRight;
        w.col -= 1;
        w.x -= 2;
      } else {
        w.state = WalkLeft;
        w.col += 1;
        w.x += 2;
      }
      w.stepsLeft = 1;
      break;
    }
    default: break;
  }
}
}  // namespace

bool isPress(const PointerSample& pointer) { return pointer.button == 1 && pointer.previousButton == 0; }

void applyPointer(const PointerSample& pointer, bool drag) {
  Walker& w = walker;
  if (w.clickCooldown > 0) w.clickCooldown -= 1;
  if (pointer.button != 1) return;

  const int x = pointer.x;
  const int y = pointer.y;
  const int col = x / CellSize;
  const int row = y / CellSize;
  const int previousCol = pointerTrack.lastCol;
  const int previousRow = pointerTrack.lastRow;
  const int dCol = col - previousCol;
  const int dRow = row - previousRow;
  pointerTrack.lastCol = col;
  pointerTrack.lastRow = row;

  const bool press = isPress(pointer);
  if (press && w.clickCooldown == 0 && w.x - 8 < x && x < w.x + 40 && w.y - 32 < y && y < w.y + 32) {
    pressWalker(w);
    return;
  }

  // Recorded positions may lie anywhere; outside the grid there is no tile.
  if (!insideGrid(row, col)) return;
  const int t = tileAt(row, col);
  const int cls = tileClass[t];
  const bool insideHorizontally = (dCol == 1 && (cls == SwitchTopRight || cls == SwitchBottomRight)) ||
                                  (dCol == -1 && (cls == SwitchTopLeft || cls == SwitchBottomLeft));
  const bool insideVertically = (dRow == 1 && (cls == SwitchBottomLeft || cls == SwitchBottomRight)) ||
                                (dRow == -1 && (cls == SwitchTopLeft || cls == SwitchTopRight));
  const bool enteredNewCell = col != previousCol || row != previousRow;
  const bool dragSwitches = drag && enteredNewCell &&
                            (cls == SwitchSingle || (isPiece(cls) && !insideHorizontally && !insideVertically));
  if (dragSwitches || press) switchTile(row, col, t, cls);
}
