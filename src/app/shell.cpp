// The application shell: start-up and shut-down, the window procedure, the
// main loop and the frame clock.
#include "app/shell.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "display/display.h"
#include "flow/flow.h"
#include "music/music.h"
#include "sound/sound.h"
#include "world/world.h"

uint32_t frameBaseTime = 0;
uint32_t frameFraction = 0;
int frameSkip = 1;
int skipPhase = 0;
int frameDrawn = 0;
int liveX = 320, liveY = 240;
int liveButton = 0;
int liveClickPending = 0;

void initGameValues() {
  frameBaseTime = sysTicks();
  sceneEntered = 1;
  stageNumber = 1;
}

void advanceSkipPhase() { skipPhase = (skipPhase + 1) % frameSkip; }

void runFrameWork() {
  samplePointer();
  runScene();
  char text[32];
  if (skipPhase == 0) {
    std::snprintf(text, sizeof text, "SKIPLV %d", frameSkip);
    drawText(30, 29, text);
  }
  if (recording) drawText(30, 0, "REC");
  if (demoPlayback) drawText(15, 15, "DEMOPLAY");
  if (skipPhase == 0 && frameDrawn && displayReady) {
    presentFrame();
    frameDrawn = 0;
  }
}

void runFrame() {
  const uint32_t now = sysTicks();
  // Differences, not sums, so that the schedule survives the tick count's wrap.
  const int32_t behind = static_cast<int32_t>(now - frameBaseTime);
  if (behind < 16) return;
  if (behind > 1000) {
    frameBaseTime = now;
    if (frameSkip < 10) frameSkip += 1;
    return;
  }
  frameFraction += 666;
  uint32_t carry = 0;
  if (frameFraction >= 1000) {
    frameFraction -= 1000;
    carry = 1;
  }
  frameBaseTime += 16 + carry;
  runFrameWork();
}

void windowProcedure(const SysEvent& event) {
  switch (event.message) {
    case SysMsgDestroy:
      sysPostQuit(0);
      break;
    case SysMsgPaint:
      repaintWindow();
      break;
    case SysMsgKeyDown:
      if ((event.param == SysKeyEscape || event.param == SysKeyF12) && scene == Title) sysDestroyWindow();
      break;
    case SysMsgMouseMove:
      liveX = static_cast<int>(event.param & 0xFFFFu);
      liveY = static_cast<int>(event.param >> 16);
      break;
    case SysMsgButtonDown:
      liveButton = 1;
      liveClickPending = 1;
      liveX = static_cast<int>(event.param & 0xFFFFu);
      liveY = static_cast<int>(event.param >> 16);
      break;
    case SysMsgButtonUp:
      liveButton = 0;
      break;
    default:
      break;
  }
}

namespace {
const char* usage =
    "Usage: wendlop [options]\n"
    "A puzzle game: click the walker to turn it, click tiles to switch them,\n"
    "and bring it to the goal within 60 seconds.\n"
    "\n"
    "  --record               record every cleared stage to its replay file\n"
    "                         (the same as holding Shift while the game starts)\n"
    "  --screenshot-dir DIR   save presented frames as pictures in DIR\n"
    "  --screenshot-every N   with --screenshot-dir: every Nth presented frame (default 1)\n"
    "  --help                 show this help and exit\n"
    "  --version              show the version and exit\n"
    "\n"
    "Environment: WENDLOP_DATA names the data folder; WENDLOP_SOUNDFONT a SoundFont.\n";

struct Options {
  bool record = false;
  const char* screenshotDir = nullptr;
  int screenshotEvery = 1;
};

// 0 to go on, otherwise 1 + the exit code.
int parseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if (std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0) {
      std::fputs(usage, stdout);
      return 1;
    }
    if (std::strcmp(a, "--version") == 0) {
      std::printf("Wendlop %s\n", WENDLOP_VERSION);
      return 1;
    }
    if (std::strcmp(a, "--record") == 0) {
      options.record = true;
    } else if (std::strcmp(a, "--screenshot-dir") == 0 && i + 1 < argc) {
      options.screenshotDir = argv[++i];
    } else if (std::strcmp(a, "--screenshot-every") == 0 && i + 1 < argc) {
      options.screenshotEvery = std::atoi(argv[++i]);
      if (options.screenshotEvery < 1) options.screenshotEvery = 1;
    } else {
      std::fprintf(stderr, "wendlop: unknown option '%s' (try --help)\n", a);
      return 3;
    }
  }
  return 0;
}
}  // namespace

int wendlopMain(int argc, char** argv) {
  Options options;
  if (int done = parseOptions(argc, argv, options)) return done - 1;

  constructMusicPlayer();
  std::atexit(teardownMusicPlayer);

  // Paths given on the command line are meant from where the game was started.
  const std::string screenshotDir = options.screenshotDir ? sysAbsolutePath(options.screenshotDir) : "";
  std::string looked;
  const char* data = sysFindDataFolder(&looked);
  if (!data || !sysChangeDirectory(data)) {
    std::fprintf(stderr, "wendlop: cannot find the game's data folder (looked in %s; set WENDLOP_DATA to it)\n",
                 data ? data : looked.c_str());
    return 1;
  }
  if (const char* user = sysUserDataFolder()) setUserReplayFolder((std::string(user) + "/replay").c_str());
  if (options.screenshotDir) setScreenshotDir(screenshotDir.c_str(), options.screenshotEvery);

  if (!sysCreateWindow("Wendlop 1.0d", 640, 480)) return 1;
  sysHidePointer();
  initSoundBank();
  if (!initDisplay()) {
    sysShutdownWindow();
    return 1;
  }
  // The stage buffer is a fixed block that lives for the whole run.
  if (sysShiftHeld() || options.record) recording = true;

  for (;;) {
    SysEvent event;
    if (sysPeekMessage(&event)) {
      if (event.message == SysMsgQuit) break;
      windowProcedure(event);
      continue;
    }
    runFrame();
    // At least the millisecond's pause between ticks; when no frame is due
    // yet, sleep until it is, unless a message arrives first.
    const int32_t untilDue = static_cast<int32_t>(frameBaseTime + 16 - sysTicks());
    sysWaitMessage(untilDue > 1 ? static_cast<uint32_t>(untilDue) : 1);
  }

  releaseDisplay();
  releaseSoundBank();
  sysShutdownWindow();
  return 0;
}
