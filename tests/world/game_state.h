// The game's globals back at their values at program start, and a log of the
// music calls and sounds a run makes. Free of the test framework, so that the
// fuzzing harnesses start every input from the same state as the tests do.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "app/shell.h"
#include "flow/flow.h"
#include "music/music.h"
#include "platform/platform.h"
#include "sound/sound.h"
#include "world/world.h"

namespace testgame {

inline std::vector<std::string>& eventLog() {
  static std::vector<std::string> log;
  return log;
}
inline void noteEffect(int id) { eventLog().push_back("fx " + std::to_string(id)); }
inline void noteMusic(const char* operation, const char* argument) {
  std::string line = std::string("music ") + operation;
  if (argument) line += std::string(" ") + argument;
  eventLog().push_back(line);
}
// The events of the log that start with `prefix` ("fx", "music").
inline std::vector<std::string> eventsOf(const std::string& prefix) {
  std::vector<std::string> out;
  for (const auto& e : eventLog())
    if (e.rfind(prefix, 0) == 0) out.push_back(e);
  return out;
}
inline int countOf(const std::string& event) {
  int n = 0;
  for (const auto& e : eventLog()) n += e == event;
  return n;
}

// Every global that a test may have changed, back to its value at program start.
inline void resetGame() {
  sysSetHeadless(true);
  sysSetFakeTicks(1000);
  sysShutdownWindow();  // drops queued messages and the "destroyed" note
  walker = Walker{};
  for (auto& h : hazards) h = Hazard{};
  hazardCount = 0;
  std::memset(stageMap, 0, sizeof stageMap);
  phase16 = phase64 = 0;
  lastCol = lastRow = 0;
  scene = Title;
  sceneEntered = 0;
  stageNumber = 1;
  stagesCleared = 0;
  dragMode = 1;
  savedDragMode = 1;
  selectorHold = 0;
  fallSpeed = 0;
  lives = stars = timeLeft = timeFrames = 0;
  bonusX = bonusY = bonusFrame = bonusTimer = 0;
  pointerX = 320;
  pointerY = 240;
  pointerButton = previousButton = 0;
  recording = false;
  demoPlayback = false;
  replayIndex = 0;
  std::memset(replayBuffer, 0, sizeof replayBuffer);
  setReplayFile(nullptr);
  setUserReplayFolder("");
  frameBaseTime = 1000;
  frameFraction = 0;
  frameSkip = 1;
  skipPhase = 0;
  frameDrawn = 0;
  liveX = 320;
  liveY = 240;
  liveButton = 0;
  liveClickPending = 0;
  eventLog().clear();
  playEffectObserver = noteEffect;
  musicObserver = noteMusic;
}

}  // namespace testgame
