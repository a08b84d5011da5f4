// Status lines, the time limit, lives, stars and the extra-life picture.
#include <cstdio>

#include "app/shell.h"
#include "display/display.h"
#include "flow/flow.h"
#include "sound/sound.h"
#include "world/world.h"

int lives = 0;
int stars = 0;
int timeLeft = 0;
int timeFrames = 0;
int bonusX = 0, bonusY = 0, bonusFrame = 0, bonusTimer = 0;

void drawStatusLine() {
  if (skipPhase != 0) return;
  char line[64];
  std::snprintf(line, sizeof line, "LIFE %d    STAR %d/4", lives, stars);
  drawText(0, 29, line);
  std::snprintf(line, sizeof line, "STAGE %02d    TIME %d", stageNumber, timeLeft);
  drawText(0, 0, line);
}

void stepTimeLimit() {
  timeFrames += 1;
  if (timeFrames < 60) return;
  if (walker.state == AtGoal) return;
  timeFrames = 0;
  timeLeft -= 1;
  if (timeLeft == 0) {
    setScene(Miss);
    return;
  }
  if (timeLeft <= 10) playEffect(SoundTimeWarning);
}

void startBonus(int x, int y, int frame) {
  bonusX = x;
  bonusY = y;
  bonusFrame = frame;
  bonusTimer = 40;
}

void stepBonus() {
  if (bonusFrame == 0) return;
  drawEffect(bonusX, bonusY, bonusFrame);
  bonusY -= 1;
  bonusTimer -= 1;
  if (bonusTimer <= 0) bonusFrame = 0;
}

void takeStar() {
  stars += 1;
  if (stars == 4) {
    playEffect(SoundExtraLife);
    lives += 1;
    startBonus(walker.x, walker.y, 17);
  } else {
    playEffect(SoundStar);
  }
}
