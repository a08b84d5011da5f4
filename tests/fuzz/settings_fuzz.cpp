// The settings file as a hostile or careless hand may leave it: whatever is
// read is a value the game takes, something wrong always comes with a problem
// named, and the file the game writes for what was read reads back as it.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/settings.h"

namespace {
bool inRange(const Settings& s) {
  return s.lastStage >= 1 && s.lastStage <= 50 && s.scale >= 0 && s.scale <= 8 && s.masterVolume >= 0 &&
         s.masterVolume <= 100 && s.musicVolume >= 0 && s.musicVolume <= 100 && s.effectsVolume >= 0 &&
         s.effectsVolume <= 100;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  Settings read;
  std::string problems = "left over";
  parseSettings(text, &read, &problems);
  if (!inRange(read)) std::abort();
  // A NUL ends what the reader sees, so the file must say so.
  if (text.find('\0') != std::string::npos && problems.empty()) std::abort();

  const std::string written = formatSettings(read);
  Settings again;
  parseSettings(written, &again, &problems);
  if (!problems.empty() || !(again == read)) std::abort();
  return 0;
}
