// The 60-frames-per-second frame clock and the frame skipping: the schedule
// that the shell's main loop follows, and the skip phase the scenes move on.
#include "app/frame_clock.h"

#include "display/display.h"
#include "platform/platform.h"

FrameClock frameClock;

namespace {
constexpr uint32_t FramePeriodMs = 16;          // and 666 thousandths
constexpr uint32_t FramePeriodFraction = 666;
constexpr int32_t StallMs = 1000;               // more than this behind drops the backlog
constexpr int MostFrameSkip = 10;
}  // namespace

void setSkipPhase(int phase) {
  frameClock.skipPhase = phase;
  display.drawing = phase == 0;
}

void resetFrameClock() {
  frameClock = FrameClock{};
  display.drawing = true;
}

void advanceSkipPhase() { setSkipPhase((frameClock.skipPhase + 1) % frameClock.frameSkip); }
void resetSkipPhase() { setSkipPhase(0); }
void restartFrameClock() { frameClock.frameBaseTime = sysTicks(); }

bool frameDue() {
  FrameClock& c = frameClock;
  const uint32_t now = sysTicks();
  // Differences, not sums, so that the schedule survives the tick count's wrap.
  const int32_t behind = static_cast<int32_t>(now - c.frameBaseTime);
  if (behind < static_cast<int32_t>(FramePeriodMs)) return false;
  if (behind > StallMs) {
    c.frameBaseTime = now;
    if (c.frameSkip < MostFrameSkip) c.frameSkip += 1;
    return false;
  }
  c.frameFraction += FramePeriodFraction;
  uint32_t carry = 0;
  if (c.frameFraction >= 1000) {
    c.frameFraction -= 1000;
    carry = 1;
  }
  c.frameBaseTime += FramePeriodMs + carry;
  return true;
}

uint32_t msUntilFrameDue() {
  const int32_t untilDue = static_cast<int32_t>(frameClock.frameBaseTime + FramePeriodMs - sysTicks());
  return untilDue > 1 ? static_cast<uint32_t>(untilDue) : 1;
}
