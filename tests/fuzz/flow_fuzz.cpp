// A stage played headless through the scene flow as the title's DEMO plays
// it, for up to a thousand frames: once with no input at all and once with the
// input's replay. The input is the stage file (620 bytes; a shorter input is
// a short stage file) followed by the replay file.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/game_state.h"
#include "app/shell.h"
#include "flow/flow.h"
#include "platform/platform.h"
#include "world/game_reset.h"
#include "world/world.h"

namespace {
constexpr long MaxFrames = 1000;
std::string folder;

bool writeFile(const std::string& path, const uint8_t* data, size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

// One demonstration of stage 1 from the title's DEMO to the title again.
void playDemo(const char* replay, bool drag) {
  testgame::resetGameForTest();
  playEffectObserver = nullptr;
  musicObserver = nullptr;
  startDemonstration(1, replay, drag);
  bool leftTitle = false;
  for (long frame = 0; frame < MaxFrames; ++frame) {
    const Scene ran = flow.scene;
    runFrameWork();
    leftTitle = leftTitle || ran != Title;
    if (leftTitle && flow.scene == Title) break;
  }
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  sysSetHeadless(true);
  // The stage and replay files of each input go to a folder of their own,
  // in memory where the system has one.
  std::string base = sysIsDirectory("/dev/shm") ? "/dev/shm" : "/tmp";
  std::string pattern = base + "/wendlop-fuzz-flow-XXXXXX";
  if (!mkdtemp(pattern.data()) || !sysChangeDirectory(pattern.c_str())) std::abort();
  folder = pattern;
  if (mkdir("map", 0755) != 0) std::abort();
  // Music, effects and pictures stay off: their readers have harnesses of
  // their own, and without them a frame costs little.
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const size_t stageBytes = size < StageMapSize ? size : StageMapSize;
  if (!writeFile("map/map01.fmf", data, stageBytes)) std::abort();
  const bool drag = size > 0 && (data[0] & 1);  // the header is never read by the game
  playDemo("", drag);
  if (size > StageMapSize) {
    if (!writeFile("replay.dat", data + StageMapSize, size - StageMapSize)) std::abort();
    playDemo((folder + "/replay.dat").c_str(), drag);
  }
  return 0;
}
