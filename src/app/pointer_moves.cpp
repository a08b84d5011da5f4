// Moving the pointer a cell, a pixel, by the stick, and over the title.
#include "app/pointer_moves.h"

#include <algorithm>
#include <cmath>

#include "display/surface.h"

namespace {
constexpr double AxisTravel = 32767.0;
constexpr int FramesPerSecond = 60;

int clampTo(int v, int low, int high) { return v < low ? low : (v > high ? high : v); }

// The items the arrows go between. The stage number (the browser) and the
// pack line have keys of their own (B, Tab), and stepping over them keeps
// Right, Right, Right, Enter on the next stage.
bool acts(const TitleItem& item) {
  return item.action != TitleAction::None && item.action != TitleAction::Browse &&
         item.action != TitleAction::NextPack;
}
}  // namespace

PointerPoint cellStep(int x, int y, int dx, int dy) {
  const int col = clampTo(clampTo(x, 0, CanvasWidth - 1) / CellSize + dx, 0, GridColumns - 1);
  const int row = clampTo(clampTo(y, 0, CanvasHeight - 1) / CellSize + dy, 0, GridRows - 1);
  return {col * CellSize + CellSize / 2, row * CellSize + CellSize / 2};
}

PointerPoint pixelStep(int x, int y, int dx, int dy) {
  return {clampTo(x + dx, 0, CanvasWidth - 1), clampTo(y + dy, 0, CanvasHeight - 1)};
}

double stickPush(int axisX, int axisY, int deadZonePercent) {
  const double distance = std::min(std::hypot(axisX, axisY) / AxisTravel, 1.0);
  const double deadZone = clampTo(deadZonePercent, 0, 100) / 100.0;
  if (distance <= deadZone || deadZone >= 1.0) return 0.0;
  const double beyond = (distance - deadZone) / (1.0 - deadZone);
  return beyond * beyond;
}

PointerPoint stickMotion(int axisX, int axisY, int deadZonePercent, int pixelsPerSecond, StickGear gear) {
  const double push = stickPush(axisX, axisY, deadZonePercent);
  if (push <= 0.0) return {0, 0};
  double speed = push * pixelsPerSecond * SubPixels / FramesPerSecond;
  if (gear == GearFast) speed *= 2.0;
  if (gear == GearSlow) speed /= 4.0;
  const double length = std::hypot(axisX, axisY);
  return {static_cast<int>(std::lround(speed * axisX / length)), static_cast<int>(std::lround(speed * axisY / length))};
}

const TitleItem* titleTargetAt(int x, int y) {
  const TitleItem* item = titleItemAt(x / TextCell, y / TextCell);
  return item && acts(*item) ? item : nullptr;
}

const TitleItem* titleStep(const TitleItem* from, int dx, int dy) {
  if (!from) {
    for (int i = 0; i < titleItemCount; ++i)
      if (titleItems[i].action == TitleAction::Start) return &titleItems[i];
    return nullptr;
  }
  const TitleItem* best = nullptr;
  for (int i = 0; i < titleItemCount; ++i) {
    const TitleItem& item = titleItems[i];
    if (!acts(item) || &item == from) continue;
    if (dx != 0) {
      if (item.row != from->row || (item.column - from->column) * dx <= 0) continue;
      if (!best || std::abs(item.column - from->column) < std::abs(best->column - from->column)) best = &item;
    } else if (dy != 0) {
      if ((item.row - from->row) * dy <= 0) continue;
      const bool nearerLine = !best || std::abs(item.row - from->row) < std::abs(best->row - from->row);
      const bool sameLineFurtherLeft = best && item.row == best->row && item.column < best->column;
      if (nearerLine || sameLineFurtherLeft) best = &item;
    }
  }
  return best ? best : from;
}

PointerPoint titleItemCentre(const TitleItem& item) {
  return {item.column * TextCell + item.width * TextCell / 2, item.row * TextCell + TextCell / 2};
}
