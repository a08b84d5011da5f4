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
#include "session.h"
#include "trace.h"

namespace {
std::vector<int> frameEffects;
void noteEffect(int id) { frameEffects.push_back(id); }

int usage() {
  std::fputs(
      "Usage: wendlop-sim --data DIR --stage N [--replay FILE] [--drag on|off]\n"
      "                   [--max-frames K] [--trace FILE] [--timedemo]\n"
      "                   [--screenshot-dir DIR [--screenshot-every N]]\n"
      "       wendlop-sim --session INPUT [--data DIR] [--frames K] [--trace FILE]\n"
      "                   [--record --replay-out DIR] [--settings FILE] [--progress FILE]\n"
      "                   [--editor-dir DIR] [--canvas-dir DIR [--canvas-every N]]\n"
      "                   [--pack NAME|DIR]\n"
      "\n"
      "--stage plays one stage as the title's DEMO does and says how it ended.\n"
      "--session starts the whole game as the program does and feeds it INPUT, one\n"
      "line per input change: 'FRAME x y button' (the pointer from that frame on;\n"
      "button 0 none, 1 left, 2 middle, 3 right held) or 'FRAME key NAME' (Escape,\n"
      "F12, F11, P, M, +, -, Enter, Space, Up, Down, Left, Right, Shift, PageUp,\n"
      "PageDown, Tab, Backspace, Delete, a letter or digit, after ctrl+ or shift+\n"
      "if held: pressed and let go); 'FRAME keydown NAME' and 'FRAME keyup NAME'\n"
      "hold a key and let it go; one gamepad with\n"
      "'FRAME pad added|removed', 'FRAME pad BUTTON down|up' (a, b, x, y, back,\n"
      "start, leftshoulder, rightshoulder, dpup, dpdown, dpleft, dpright) and\n"
      "'FRAME pad leftx|lefty VALUE' (-32768 to 32767; y grows downward); frames\n"
      "count from 1 and '#' starts a comment. It runs\n"
      "to the script's last frame (or K), or until a key closes the game, and\n"
      "ends with 'session frames=F scene=S end=key|frames'. The player's settings,\n"
      "progress and recordings are not touched: --settings and --progress name\n"
      "files to use instead, and --record writes recordings into --replay-out;\n"
      "--editor-dir stands for the player's data folder: its packs/ are the\n"
      "player's packs, where the editor saves, and editor/ its recovery copy.\n"
      "--canvas-dir saves every Nth presented frame as DIR/frame-FFFFFF.png, an\n"
      "8-bit picture in the game's palette named by its frame. --pack starts with a\n"
      "stage pack, by its name among the data folder's packs/ or by its folder.\n",
      stderr);
  return 2;
}

// A whole number from `low`, or -1.
long wholeNumber(const char* text, long low) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  return (end == text || *end != '\0' || value < low) ? -1 : value;
}

int sessionMain(int argc, char** argv) {
  const char* input = nullptr;
  const char* data = nullptr;
  const char* tracePath = nullptr;
  const char* canvasDir = nullptr;
  const char* replayOut = nullptr;
  const char* editorDir = nullptr;
  const char* settingsFile = nullptr;
  const char* progressFile = nullptr;
  const char* pack = nullptr;
  bool record = false;
  long frames = 0, canvasEvery = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool hasValue = i + 1 < argc;
    if (a == "--session" && hasValue) {
      input = argv[++i];
    } else if (a == "--data" && hasValue) {
      data = argv[++i];
    } else if (a == "--frames" && hasValue) {
      if ((frames = wholeNumber(argv[++i], 1)) < 0) return usage();
    } else if (a == "--trace" && hasValue) {
      tracePath = argv[++i];
    } else if (a == "--record") {
      record = true;
    } else if (a == "--replay-out" && hasValue) {
      replayOut = argv[++i];
    } else if (a == "--editor-dir" && hasValue) {
      editorDir = argv[++i];
    } else if (a == "--settings" && hasValue) {
      settingsFile = argv[++i];
    } else if (a == "--progress" && hasValue) {
      progressFile = argv[++i];
    } else if (a == "--pack" && hasValue) {
      pack = argv[++i];
    } else if (a == "--canvas-dir" && hasValue) {
      canvasDir = argv[++i];
    } else if (a == "--canvas-every" && hasValue) {
      if ((canvasEvery = wholeNumber(argv[++i], 1)) < 0) return usage();
    } else {
      return usage();
    }
  }
  if (!input || (record && !replayOut)) return usage();

  std::vector<uint8_t> bytes;
  std::string why;
  if (sysReadWholeFile(input, 16u * 1024 * 1024, &bytes, &why) != SysReadOk) {
    std::fprintf(stderr, "wendlop-sim: cannot read %s: %s\n", input, why.c_str());
    return 2;
  }
  std::vector<SessionInput> script;
  if (!parseSession(std::string(bytes.begin(), bytes.end()), &script, &why)) {
    std::fprintf(stderr, "wendlop-sim: %s: %s\n", input, why.c_str());
    return 2;
  }

  sysSetHeadless(true);
  // The game works in its data folder: every path given here is taken from
  // where the tool was started.
  GameStart start;
  start.playerFiles = false;
  std::string dataPath, replayPath, editorPath;
  if (data) {
    dataPath = sysAbsolutePath(data);
    start.dataFolder = dataPath.c_str();
  }
  if (replayOut) {
    replayPath = sysAbsolutePath(replayOut);
    start.replayFolder = replayPath.c_str();
  }
  if (editorDir) {
    editorPath = sysAbsolutePath(editorDir);
    start.editorFolder = editorPath.c_str();
  }
  if (settingsFile) start.settingsFile = sysAbsolutePath(settingsFile);
  if (progressFile) start.progressFile = sysAbsolutePath(progressFile);
  start.record = record;
  if (pack) start.pack = sysIsDirectory(pack) ? sysAbsolutePath(pack) : pack;
  SessionOptions options;
  options.frames = frames;
  options.canvasEvery = static_cast<int>(canvasEvery);
  if (canvasDir) options.canvasDir = sysAbsolutePath(canvasDir);
  if (tracePath) {
    options.trace = std::fopen(tracePath, "w");
    if (!options.trace) {
      std::fprintf(stderr, "wendlop-sim: cannot write %s\n", tracePath);
      return 2;
    }
  }
  if (int failed = startGame(start)) {
    if (options.trace) std::fclose(options.trace);
    return failed;
  }
  const auto started = std::chrono::steady_clock::now();
  const SessionEnd end = runSession(script, options);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  shutDownGame();
  if (options.trace) std::fclose(options.trace);
  if (end.canvasFailed) std::fprintf(stderr, "wendlop-sim: cannot save pictures in %s\n", canvasDir);
  std::fprintf(stderr, "wendlop-sim: %ld frames in %.3f s, %.0f frames per second\n", end.frames, seconds,
               seconds > 0 ? end.frames / seconds : 0.0);
  std::printf("session frames=%ld scene=%d end=%s\n", end.frames, end.scene, end.byKey ? "key" : "frames");
  return end.canvasFailed ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  // A session's editor checks its stage in a child process of this program,
  // as the game does in one of its own.
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--check-child") == 0) return wendlopMain(argc, argv);
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--session") == 0) return sessionMain(argc, argv);
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
    if (trace) {
      writeTraceFields(trace, frames, ranScene, frameEffects);
      std::fputs("}\n", trace);
    }
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
