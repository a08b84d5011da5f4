#include "solve/replay_build.h"

#include <algorithm>

#include "app/shell.h"
#include "flow/flow.h"
#include "world/world.h"

namespace {
void target(const Press& p, int* x, int* y) {
  if (p.onWalker) {
    *x = walker.x + 16;
    *y = walker.y;
  } else {
    *x = p.col * CellSize + 16;
    *y = p.row * CellSize + 16;
  }
}
}  // namespace

bool buildReplay(const std::vector<Press>& presses, int* playingFrames, std::string* error, size_t* unusedPress) {
  size_t next = 0;
  int fromX = 320, fromY = 240;
  bool cleared = false;
  *playingFrames = 0;
  auto done = [&](bool ok) {
    if (unusedPress) *unusedPress = next;
    return ok;
  };
  for (long frame = 0; frame < 20000; ++frame) {
    const int ranScene = flow.scene;
    if (ranScene == Playing) {
      const int k = flow.replayIndex;
      int x = fromX, y = fromY, button = 0;
      if (next < presses.size()) {
        int tx, ty;
        target(presses[next], &tx, &ty);
        const int start = std::max(presses[next].frame - ReplayGlideFrames, 0);
        if (k == presses[next].frame) {
          x = tx;
          y = ty;
          button = 1;
          fromX = tx;
          fromY = ty;
          ++next;
        } else if (k > start) {
          const int span = presses[next].frame - start;
          x = fromX + (tx - fromX) * (k - start) / span;
          y = fromY + (ty - fromY) * (k - start) / span;
        }
      }
      putReplayRecord(k, x, y, button);
      ++*playingFrames;
    }
    // The frame's work as the shell does it, without presenting: the replay
    // depends only on what the scenes do.
    samplePointer(livePointer);
    runScene();
    if (ranScene == StageClear) cleared = true;
    if (ranScene == Miss) {
      *error = "the walker is lost at Playing frame " + std::to_string(*playingFrames);
      return done(false);
    }
    if (ranScene != Title && flow.scene == Title) break;
  }
  if (next < presses.size()) {
    *error = "the stage ended before press " + std::to_string(next + 1);
    return done(false);
  }
  if (!cleared) *error = "the stage is not cleared";
  return done(cleared);
}
