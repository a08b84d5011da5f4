// The walker's movement state machine.
#include "flow/flow.h"
#include "sound/sound.h"
#include "world/world.h"

namespace {
int direction(int state) {
  return (state == WalkLeft || state == LiftLeft || state == LedgeLeft) ? -1 : 1;
}
int walkState(int d) { return d < 0 ? WalkLeft : WalkRight; }
bool isGround(int kind) { return kind == Solid || kind == Lift || kind == SlowFloor; }
bool closesSide(int kind) { return kind == Solid || kind == SlowFloor; }

void stepWalking(Walker& w) {
  const int d = direction(w.state);
  if (++w.stepTick < w.stepDelay) return;
  w.stepTick = 0;
  w.stepsLeft -= 1;
  w.x += 2 * d;
  if (w.stepsLeft > 0) return;

  w.stepsLeft = StepsPerCell;
  w.col += d;
  enterCell();
  if (kindAt(w.row, w.col) == Lift) {
    w.rowFrames = LiftRowFrames;
    w.state = d < 0 ? LiftLeft : LiftRight;
    return;
  }
  const int ahead = kindAt(w.row, w.col + d);
  if (ahead == DeadlySide) {
    setScene(Miss);
  } else if (ahead == Solid) {
    w.col += d;
    w.x += 2 * d;
    w.stepsLeft = 1;
    w.resumeState = walkState(-d);
    w.state = Turning;
    w.timer = TurnAtWallFrames;
    w.clickCooldown = TurnAtWallCooldown;
    return;
  }
  if (isGround(kindAt(w.row + 1, w.col + d))) return;
  if (ahead == Lift) return;
  w.timer = LedgeWaitFrames;
  w.state = d < 0 ? LedgeLeft : LedgeRight;
}

void stepLift(Walker& w) {
  const int d = direction(w.state);
  w.y -= 1;
  if (--w.rowFrames > 0) return;
  w.row -= 1;
  w.rowFrames = LiftRowFrames;
  if (kindAt(w.row, w.col) == Lift) return;

  w.state = walkState(d);
  enterCell();
  // A block switched closed above the lift can end the ride inside a wall; the
  // walker then heads back the other way from where it stands.
  const bool roseIntoWall = kindAt(w.row, w.col) == Solid;
  w.col -= d;
  w.x -= 2 * d;
  w.stepsLeft = 1;
  if (roseIntoWall) w.state = walkState(-d);
}

void stepLedge(Walker& w) {
  const int d = direction(w.state);
  w.timer -= 1;
  enterCell();
  if (w.timer == 0) {
    playEffect(SoundStepOff);
    w.x += CellSize * d;
    w.col += d;
    w.rowFrames = FallRowFrames;
    w.resumeState = walkState(d);
    w.state = Falling;
    return;
  }
  if (kindAt(w.row + 1, w.col + d) == Solid) w.state = walkState(d);
}

void stepFalling(Walker& w) {
  if (--w.rowFrames > 0) {
    w.y += 4;
    return;
  }
  w.rowFrames = FallRowFrames;
  w.row += 1;
  enterCell();
  if (isGround(kindAt(w.row + 1, w.col))) {
    if (closesSide(kindAt(w.row, w.col - 1)) && closesSide(kindAt(w.row, w.col + 1))) {
      w.state = Boxed;
    } else {
      playEffect(SoundLanding);
      w.state = Landing;
      w.timer = LandingFrames;
      w.clickCooldown = LandingCooldown;
    }
  }
  w.y += 4;
}

void stepLanding(Walker& w) {
  if (--w.timer > 0) return;
  w.timer = LedgeWaitFrames;
  enterCell();
  w.state = w.resumeState;
  w.stepsLeft = 1;
  if (w.resumeState == WalkLeft) {
    w.x += 2;
    w.col += 1;
  } else {
    w.x -= 2;
    w.col -= 1;
  }
}

void stepBoxed(Walker& w) {
  if (kindAt(w.row, w.col - 1) == Empty) {
    if (kindAt(w.row + 1, w.col - 1) == Empty) {
      w.timer = LedgeWaitFrames;
      w.state = LedgeLeft;
    } else {
      w.state = WalkLeft;
    }
  }
  if (kindAt(w.row, w.col + 1) == Empty) {
    if (kindAt(w.row + 1, w.col + 1) == Empty) {
      w.timer = LedgeWaitFrames;
      w.state = LedgeRight;
    } else {
      w.state = WalkRight;
    }
  }
  if (kindAt(w.row + 1, w.col) == Empty) {
    w.rowFrames = FallRowFrames;
    w.state = Falling;
  }
}
}  // namespace

void stepWalker() {
  Walker& w = walker;
  switch (w.state) {
    case WalkLeft:
    case WalkRight: stepWalking(w); break;
    case LiftLeft:
    case LiftRight: stepLift(w); break;
    case LedgeLeft:
    case LedgeRight: stepLedge(w); break;
    case Falling: stepFalling(w); break;
    case Landing: stepLanding(w); break;
    case Boxed: stepBoxed(w); break;
    case Turning:
      if (--w.timer == 0) w.state = w.resumeState;
      break;
    case AtGoal:
      if (--w.timer == 0) setScene(StageClear);
      break;
    default: break;
  }
}

void enterCell() {
  Walker& w = walker;
  const int own = kindAt(w.row, w.col);
  const int below = kindAt(w.row + 1, w.col);
  if (own == Goal) {
    w.timer = GoalFrames;
    w.resumeState = AtGoal;
    w.state = AtGoal;
  } else if (own == Star) {
    *tileCell(w.row, w.col) = 0;
    takeStar();
  }
  if (below == DeadlyFloor) setScene(Miss);
  w.stepDelay = below == SlowFloor ? SlowStepDelay : 1;
}

int walkerFrame(int state) {
  Walker& w = walker;
  int frame = 0;
  switch (state) {
    case WalkLeft: frame = FrameWalkLeft + w.walkPhase; break;
    case WalkRight: frame = FrameWalkRight + w.walkPhase; break;
    case LiftLeft: frame = FrameWalkLeft; break;
    case LiftRight: frame = FrameWalkRight; break;
    case LedgeLeft: frame = FrameLedgeLeft + w.walkPhase; break;
    case LedgeRight: frame = FrameLedgeRight + w.walkPhase; break;
    case Landing:
    case Falling:
    case AtGoal:
    case Turning: frame = FrameFacing; break;
    case Dead:
    case Boxed: frame = FrameDazed; break;
    default: frame = FrameWalkLeft; break;
  }
  if (++w.walkPhaseTick >= WalkPhaseFrames) {
    w.walkPhaseTick = 0;
    w.walkPhase = (w.walkPhase + 1) % 3;
  }
  return frame;
}
