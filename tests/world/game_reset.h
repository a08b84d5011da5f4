// The game's globals back at their values at program start, and a log of the
// music calls and sounds a run makes. Free of the test framework, so that the
// fuzzing harnesses start every input from the same state as the tests do.
#pragma once

#include <string>
#include <vector>

#include "app/frame_clock.h"
#include "app/game_state.h"
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
inline void resetGameForTest() {
  sysSetHeadless(true);
  sysSetFakeTicks(1000);
  sysShutdownWindow();  // drops queued messages and the "destroyed" note
  resetGame();
  frameClock.frameBaseTime = 1000;
  eventLog().clear();
  playEffectObserver = noteEffect;
  musicObserver = noteMusic;
}

}  // namespace testgame
