// The arithmetic of moving the game's pointer without a mouse: a cell or a
// pixel at a time, the stick's dead zone and response, and the way from one
// title item to the next. Plain functions of their arguments.
#pragma once

#include "flow/flow.h"

struct PointerPoint {
  int x, y;
  bool operator==(const PointerPoint&) const = default;
};

// The centre of the cell (dx, dy) cells away from the one under (x, y), dx and
// dy each -1, 0 or 1; at the edge of the grid the pointer stays in the edge
// cell, at its centre.
PointerPoint cellStep(int x, int y, int dx, int dy);
// (dx, dy) pixels on, stopping at the picture's edge.
PointerPoint pixelStep(int x, int y, int dx, int dy);

// How far the stick pushes, 0 to 1: 0 while the stick's distance from the
// centre is within `deadZonePercent` of its travel (the same in every
// direction), then rising from 0 at that edge to 1 at full tilt along a
// square, so that a small push moves the pointer slowly enough to aim.
double stickPush(int axisX, int axisY, int deadZonePercent);

// Stick speeds: the shoulders held make it faster or slower by these.
enum StickGear { GearNormal, GearFast, GearSlow };
// The pointer's motion in one frame, in 1/256 pixels, for a stick at (axisX,
// axisY) (each -32768 to 32767; y grows downward): in the stick's direction,
// at `pixelsPerSecond` times its push, scaled by the gear.
constexpr int SubPixels = 256;
PointerPoint stickMotion(int axisX, int axisY, int deadZonePercent, int pixelsPerSecond, StickGear gear);

// The title menu for the arrow keys: the items that act ([START], the two
// selector arrows, [DEMO], DRAG's switch), taken from the title's table.
// The item under (x, y) that acts, or nullptr.
const TitleItem* titleTargetAt(int x, int y);
// Where an arrow leads from `from`: Left and Right (dx) to the nearest item
// that acts on the same line in that direction, Up and Down (dy) to the first
// such item of the nearest line above or below; `from` itself where there is
// none. From nowhere (nullptr), every arrow leads to [START].
const TitleItem* titleStep(const TitleItem* from, int dx, int dy);
// The pixel at the middle of an item's text.
PointerPoint titleItemCentre(const TitleItem& item);
