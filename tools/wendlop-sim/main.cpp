// wendlop-sim: plays one stage headless through the game's own scene flow, as
// the title's DEMO does, and says how it ended.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/game_state.h"
#include "app/shell.h"
#include "display/display.h"
#include "flow/flow.h"
#include "platform/platform.h"
#include "sound/sound.h"
#include "world/world.h"

namespace {
std::vector<int> frameEffects;
void noteEffect(int id) { frameEffects.push_back(id); }

int usage() {
  std::fputs(
      "Usage: wendlop-sim --data DIR --stage N [--replay FILE] [--drag on|off]\n"
      "                   [--max-frames K] [--trace FILE] [--timedemo]\n"
      "                   [--screenshot-dir DIR [--screenshot-every N]]\n",
      stderr);
  return 2;
}

void writeTrace(FILE* out, long frame, int ranScene) {
  const Walker& w = walker;
  std::fprintf(out, "{\"f\":%ld,\"scene\":%d,\"w\":[%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d],\"h\":[", frame, ranScene,
               w.x, w.y, w.col, w.row, w.state, w.resumeState, w.stepsLeft, w.stepDelay, w.stepTick, w.rowFrames,
               w.timer, w.clickCooldown, w.walkPhase);
  for (int i = 0; i < hazardTable.hazardCount; ++i) {
    const Hazard& h = hazardTable.hazards[i];
    std::fprintf(out, "%s[%u,%u,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d]", i ? "," : "", h.x, h.y, h.col, h.row, h.dx, h.dy,
                 h.dcol, h.drow, h.stepsPerCell, h.stepsLeft, h.state, h.tick, h.period);
  }
  std::fputs("],\"tiles\":\"", out);
  for (int i = 0; i < GridRows * GridColumns; ++i) std::fprintf(out, "%02x", stageMap[TileLayerOffset + i]);
  const PointerSample& p = flow.pointer;
  std::fprintf(out, "\",\"lives\":%d,\"stars\":%d,\"time\":%d,\"tf\":%d,\"ptr\":[%d,%d,%d,%d],\"fx\":[", flow.lives,
               flow.stars, flow.timeLeft, flow.timeFrames, p.x, p.y, p.button, p.previousButton);
  for (size_t i = 0; i < frameEffects.size(); ++i) std::fprintf(out, "%s%d", i ? "," : "", frameEffects[i]);
  std::fputs("]}\n", out);
}
}  // namespace

int main(int argc, char** argv) {
  const char* data = nullptr;
  const char* replay = nullptr;
  const char* tracePath = nullptr;
  int stage = -1;
  bool drag = false;
  bool timedemo = false;
  const char* screenshotDir = nullptr;
  int screenshotEvery = 1;
  long maxFrames = 20000;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool hasValue = i + 1 < argc;
    if (a == "--data" && hasValue) {
      data = argv[++i];
    } else if (a == "--stage" && hasValue) {
      stage = std::atoi(argv[++i]);
    } else if (a == "--replay" && hasValue) {
      replay = argv[++i];
    } else if (a == "--drag" && hasValue) {
      const std::string v = argv[++i];
      if (v != "on" && v != "off") return usage();
      drag = v == "on";
    } else if (a == "--max-frames" && hasValue) {
      maxFrames = std::atol(argv[++i]);
    } else if (a == "--trace" && hasValue) {
      tracePath = argv[++i];
    } else if (a == "--screenshot-dir" && hasValue) {
      screenshotDir = argv[++i];
    } else if (a == "--screenshot-every" && hasValue) {
      screenshotEvery = std::atoi(argv[++i]);
    } else if (a == "--timedemo") {
      timedemo = true;
    } else {
      return usage();
    }
  }
  if (!data || stage < 0) return usage();

  sysSetHeadless(true);
  // Paths given on the command line are taken from where the tool was started.
  std::string shots;
  if (screenshotDir) {
    shots = sysAbsolutePath(screenshotDir);
    screenshotDir = shots.c_str();
  }
  std::string replayPath;
  if (replay) {
    replayPath = sysAbsolutePath(replay);
  }
  FILE* trace = nullptr;
  if (tracePath) {
    trace = std::fopen(tracePath, "w");
    if (!trace) {
      std::fprintf(stderr, "wendlop-sim: cannot write %s\n", tracePath);
      return 2;
    }
  }
  if (!sysChangeDirectory(data)) {
    std::fprintf(stderr, "wendlop-sim: no data folder %s\n", data);
    return 2;
  }
  if (replay) {
    std::vector<uint8_t> bytes;
    std::string why;
    if (sysReadWholeFile(replayPath.c_str(), ReplayBytes, &bytes, &why) != SysReadOk) {
      std::fprintf(stderr, "wendlop-sim: cannot read %s\n", replay);
      return 2;
    }
  }
  startDemonstration(stage, replay ? replayPath.c_str() : "", drag);
  // Loaded here only to say at once that there is no such stage; the scene
  // flow loads it again when it starts the stage.
  if (!loadStage(stage)) {
    std::printf("stage=%d result=nostage\n", stage);
    return 1;
  }
  if ((timedemo || screenshotDir) && !initDisplay()) return 2;
  if (screenshotDir) setScreenshotDir(screenshotDir, screenshotEvery < 1 ? 1 : screenshotEvery);
  playEffectObserver = noteEffect;

  bool cleared = false, missed = false, leftTitle = false;
  long frames = 0, playingFrames = 0;
  const auto started = std::chrono::steady_clock::now();
  while (frames < maxFrames) {
    const int ranScene = flow.scene;
    frameEffects.clear();
    runFrameWork();
    ++frames;
    if (ranScene == Playing) ++playingFrames;
    if (ranScene == StageClear) cleared = true;
    if (ranScene == Miss) missed = true;
    if (trace) writeTrace(trace, frames, ranScene);
    if (ranScene != Title) leftTitle = true;
    if (leftTitle && flow.scene == Title) break;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (trace) std::fclose(trace);

  const char* result = cleared ? "clear" : (missed ? "miss" : "timeout");
  std::printf("stage=%d result=%s frames=%ld playing=%ld lives=%d stars=%d time=%d\n", stage, result, frames,
              playingFrames, flow.lives, flow.stars, flow.timeLeft);
  if (timedemo) {
    std::printf("timedemo: %ld frames in %.3f s, %.0f frames per second\n", frames, seconds,
                seconds > 0 ? frames / seconds : 0.0);
  }
  return 0;
}
