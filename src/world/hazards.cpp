// Moving hazards: tested against the walker, and moved cell by cell.
#include "flow/flow.h"
#include "world/world.h"

namespace {
bool blocks(int row, int col) { return kindAt(row, col) == Solid; }

void startCrossing(Hazard& h) {
  h.stepsLeft = h.stepsPerCell;
  h.state = HazardCrossing;
}

int16_t negate(int16_t v) { return static_cast<int16_t>(-v); }

void choose(Hazard& h) {
  if (h.dcol != 0) {
    if (!blocks(h.row, h.col + h.dcol)) {
      startCrossing(h);
    } else if (!blocks(h.row, h.col - h.dcol)) {
      h.dx = negate(h.dx);
      h.dcol = negate(h.dcol);
      startCrossing(h);
    }
  }
  if (h.drow != 0) {
    if (!blocks(h.row + h.drow, h.col)) {
      startCrossing(h);
    } else if (!blocks(h.row - h.drow, h.col)) {
      h.dy = negate(h.dy);
      h.drow = negate(h.drow);
      startCrossing(h);
    }
  }
  if (h.dx != 0 && h.dy != 0) {
    if (!blocks(h.row + h.drow, h.col + h.dcol)) {
      startCrossing(h);
    } else if (!blocks(h.row - h.drow, h.col - h.dcol)) {
      h.dx = negate(h.dx);
      h.dy = negate(h.dy);
      h.dcol = negate(h.dcol);
      h.drow = negate(h.drow);
      startCrossing(h);
    } else {
      h.state = HazardChoosing;
    }
  }
}

void cross(Hazard& h) {
  if (++h.tick < h.period) return;
  h.tick = 0;
  h.x = static_cast<uint16_t>(h.x + h.dx);
  h.y = static_cast<uint16_t>(h.y + h.dy);
  h.stepsLeft = static_cast<int16_t>(h.stepsLeft - 1);
  if (h.stepsLeft != 0) return;
  h.col = static_cast<int16_t>(h.col + h.dcol);
  h.row = static_cast<int16_t>(h.row + h.drow);
  // A hazard that reaches the top row is gone for good.
  h.state = h.row == 0 ? HazardStopped : HazardChoosing;
}
}  // namespace

void hazardContact() {
  const int wx = walker.x;
  const int wy = walker.y;
  for (int i = 0; i < hazardTable.hazardCount; ++i) {
    const Hazard& h = hazardTable.hazards[i];
    if (h.state == HazardStopped) continue;
    const int hx = h.x;
    const int hy = h.y;
    if (hx + 2 < wx + 16 && wx + 16 < hx + 62 && hy <= wy && wy <= hy + 56) setScene(Miss);
  }
}

void moveHazards() {
  for (int i = 0; i < hazardTable.hazardCount; ++i) {
    Hazard& h = hazardTable.hazards[i];
    if (h.state == HazardChoosing) {
      choose(h);
    } else if (h.state == HazardCrossing) {
      cross(h);
    }
  }
}
