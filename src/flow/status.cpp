// Status lines, the time limit, lives, stars and the extra-life picture.
#include <cstdio>

#include "app/frame_clock.h"
#include "display/display.h"
#include "flow/flow.h"
#include "sound/sound.h"
#include "world/world.h"

namespace {
constexpr int FramesPerSecond = 60;
constexpr int WarningSeconds = 10;  // the last ten seconds beep
constexpr int BonusFrames = 40;
constexpr int StarsForExtraLife = 4;
}  // namespace

void drawStatusLine() {
  if (frameClock.skipPhase != 0) return;
  char line[64];
  std::snprintf(line, sizeof line, "LIFE %d    STAR %d/4", flow.lives, flow.stars);
  drawText(0, 29, line);
  std::snprintf(line, sizeof line, "STAGE %02d    TIME %d", flow.stageNumber, flow.timeLeft);
  drawText(0, 0, line);
}

void stepTimeLimit() {
  flow.timeFrames += 1;
  if (flow.timeFrames < FramesPerSecond) return;
  if (walker.state == AtGoal) return;
  flow.timeFrames = 0;
  flow.timeLeft -= 1;
  if (flow.timeLeft == 0) {
    setScene(Miss);
    return;
  }
  if (flow.timeLeft <= WarningSeconds) playEffect(SoundTimeWarning);
}

void startBonus(int x, int y, int frame) {
  flow.bonus = Bonus{x, y, frame, BonusFrames};
}

void stepBonus() {
  Bonus& b = flow.bonus;
  if (b.bonusFrame == 0) return;
  drawEffect(b.bonusX, b.bonusY, b.bonusFrame);
  b.bonusY -= 1;
  b.bonusTimer -= 1;
  if (b.bonusTimer <= 0) b.bonusFrame = 0;
}

void takeStar() {
  flow.stars += 1;
  if (flow.stars == StarsForExtraLife) {
    playEffect(SoundExtraLife);
    flow.lives += 1;
    startBonus(walker.x, walker.y, FrameExtraLife);
  } else {
    playEffect(SoundStar);
  }
}
