// The application shell: start-up and shut-down, the window procedure, the
// main loop and the frame clock.
#include "app/shell.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/check_command.h"
#include "app/controls.h"
#include "app/settings.h"
#include "display/display.h"
#include "flow/progress.h"
#include "music/music.h"
#include "sound/sound.h"
#include "world/world.h"

FrameClock frameClock;
LivePointer livePointer;

namespace {
constexpr uint32_t FramePeriodMs = 16;          // and 666 thousandths
constexpr uint32_t FramePeriodFraction = 666;
constexpr int32_t StallMs = 1000;               // more than this behind drops the backlog
constexpr int MostFrameSkip = 10;

// Drawing follows the skip phase: the primitives draw only on its frames of 0.
void setSkipPhase(int phase) {
  frameClock.skipPhase = phase;
  display.drawing = phase == 0;
}
}  // namespace

void resetFrameClock() {
  frameClock = FrameClock{};
  display.drawing = true;
}

void advanceSkipPhase() { setSkipPhase((frameClock.skipPhase + 1) % frameClock.frameSkip); }
void resetSkipPhase() { setSkipPhase(0); }
void restartFrameClock() { frameClock.frameBaseTime = sysTicks(); }

void initGameValues() {
  restartFrameClock();
  flow.sceneEntered = true;
  flow.stageNumber = 1;
}

void runFrameWork() {
  FrameClock& c = frameClock;
  setSkipPhase(c.skipPhase);
  samplePointer(livePointer);
  runScene();
  char text[32];
  if (c.skipPhase == 0) {
    std::snprintf(text, sizeof text, "SKIPLV %d", c.frameSkip);
    drawText(30, 29, text);
  }
  if (flow.recording) drawText(30, 0, "REC");
  if (flow.demoPlayback) drawText(15, 15, "DEMOPLAY");
  if (presentWithNotice()) {
    c.frameDrawn = false;
  } else if (c.skipPhase == 0 && c.frameDrawn && display.displayReady) {
    presentFrame();
    c.frameDrawn = false;
  }
}

void runFrame() {
  // No frame runs while the game is paused: the world, the time and the
  // replay stand still.
  if (pauseState.paused) return;
  FrameClock& c = frameClock;
  const uint32_t now = sysTicks();
  // Differences, not sums, so that the schedule survives the tick count's wrap.
  const int32_t behind = static_cast<int32_t>(now - c.frameBaseTime);
  if (behind < static_cast<int32_t>(FramePeriodMs)) return;
  if (behind > StallMs) {
    c.frameBaseTime = now;
    if (c.frameSkip < MostFrameSkip) c.frameSkip += 1;
    return;
  }
  c.frameFraction += FramePeriodFraction;
  uint32_t carry = 0;
  if (c.frameFraction >= 1000) {
    c.frameFraction -= 1000;
    carry = 1;
  }
  c.frameBaseTime += FramePeriodMs + carry;
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
      if ((event.param == SysKeyEscape || event.param == SysKeyF12) && flow.scene == Title) {
        sysDestroyWindow();
      } else {
        controlKey(event.param);
      }
      break;
    case SysMsgFocusLost:
      controlFocusLost();
      break;
    case SysMsgMouseMove:
      livePointer.liveX = static_cast<int>(event.param & 0xFFFFu);
      livePointer.liveY = static_cast<int>(event.param >> 16);
      controlPointer(livePointer.liveX, livePointer.liveY, false);
      break;
    case SysMsgButtonDown:
      livePointer.liveX = static_cast<int>(event.param & 0xFFFFu);
      livePointer.liveY = static_cast<int>(event.param >> 16);
      // A press on the pause menu, or one that ends a demonstration, is
      // not the game's.
      if (pauseState.paused) {
        controlPointer(livePointer.liveX, livePointer.liveY, true);
        break;
      }
      if (endDemonstrationByPress()) break;
      livePointer.liveButton = true;
      livePointer.liveClickPending = true;
      break;
    case SysMsgButtonUp:
      livePointer.liveButton = false;
      break;
    default:
      break;
  }
}

void noteTitleChoice(TitleAction action) {
  const Settings before = settings;
  if (action == TitleAction::Drag) settings.drag = flow.dragMode;
  if (action == TitleAction::Start || action == TitleAction::Demo) settings.lastStage = flow.stageNumber;
  if (!(settings == before)) saveSettings();
}

WindowChoice currentWindowChoice() { return {sysWindowScale(), sysWindowFullscreen()}; }

void rememberWindowChoice(const WindowChoice& atStart) {
  // Only what the player changed while playing is kept: a window that merely
  // opened at the size that fits this screen must not pin that size for the
  // next screen.
  const WindowChoice now = currentWindowChoice();
  const Settings before = settings;
  if (now.scale != atStart.scale) settings.scale = now.scale;
  if (now.fullscreen != atStart.fullscreen) settings.fullscreen = now.fullscreen;
  if (!(settings == before)) saveSettings();
}

void applySettingsToGame() {
  flow.savedDragMode = settings.drag;
  flow.stageNumber = settings.lastStage;
  titleObserver = noteTitleChoice;
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
    "  --scale N              open the window at N times 640 x 480, N from 1 to 8\n"
    "                         (default: the largest that fits the screen)\n"
    "  --fullscreen           start fullscreen\n"
    "  --check FILE.fmf       check a stage without a window: the fewest clicks that\n"
    "                         clear it (or none, or not sure), its rank by effort among\n"
    "                         the 50 built-in stages, its narrowest timing window and\n"
    "                         hazards that stand still; exit 1 if FILE cannot be read\n"
    "  --max-clicks K         with --check: try up to K clicks, 0 to 7 (default 7)\n"
    "  --seconds S            with --check: stop after S seconds (default 1200)\n"
    "  --solution FILE        with --check: write the clicks found to FILE (- for\n"
    "                         standard output), as \"press FRAME ROW COL\" and\n"
    "                         \"walker FRAME\" lines\n"
    "  --help                 show this help and exit\n"
    "  --version              show the version and exit\n"
    "\n"
    "Keys: P or Pause pauses and goes on; Escape in a stage opens the menu\n"
    "(CONTINUE, RESTART STAGE, TITLE) and ends a demonstration (so does a click);\n"
    "Escape or F12 on the title closes the game. M mutes, - and + set the volume.\n"
    "F11 or Alt+Enter switches between the window and fullscreen. The window can\n"
    "be resized: the picture takes the largest whole multiple that fits.\n"
    "\n"
    "Files: settings in $XDG_CONFIG_HOME/wendlop/settings.ini (~/.config/wendlop/),\n"
    "cleared stages and recordings in $XDG_DATA_HOME/wendlop/ (~/.local/share/wendlop/).\n"
    "\n"
    "Environment: WENDLOP_DATA names the data folder; WENDLOP_SOUNDFONT a SoundFont.\n";

struct Options {
  bool record = false;
  const char* screenshotDir = nullptr;
  int screenshotEvery = 1;
  int scale = 0;  // 0: the largest that fits the screen
  bool fullscreen = false;
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
    } else if (std::strcmp(a, "--scale") == 0 && i + 1 < argc) {
      const char* n = argv[++i];
      if (std::strlen(n) != 1 || n[0] < '1' || n[0] > '8') {
        std::fprintf(stderr, "wendlop: --scale takes a whole number from 1 to 8, not '%s'\n", n);
        return 3;
      }
      options.scale = n[0] - '0';
    } else if (std::strcmp(a, "--fullscreen") == 0) {
      options.fullscreen = true;
    } else {
      std::fprintf(stderr, "wendlop: unknown option '%s' (try --help)\n", a);
      return 3;
    }
  }
  return 0;
}
}  // namespace

int wendlopMain(int argc, char** argv) {
  if (const int checked = checkCommand(argc, argv); checked >= 0) return checked;
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
  const char* user = sysUserDataFolder();
  if (user) {
    setUserReplayFolder((std::string(user) + "/replay").c_str());
    setProgressFile(std::string(user) + "/progress");
  }
  if (const char* config = sysUserConfigFolder()) setSettingsFile(std::string(config) + "/settings.ini");
  loadSettings();
  loadProgress();
  if (options.screenshotDir) setScreenshotDir(screenshotDir.c_str(), options.screenshotEvery);

  // The command line speaks for this run; the settings for every run.
  sysSetWindowStart(options.scale ? options.scale : settings.scale, options.fullscreen || settings.fullscreen);
  if (!sysCreateWindow("Wendlop 1.0d", 640, 480)) return 1;
  const WindowChoice windowAtStart = currentWindowChoice();
  sysHidePointer();
  initSoundBank();
  applyVolume();
  if (!initDisplay()) {
    sysShutdownWindow();
    return 1;
  }
  initGameValues();
  applySettingsToGame();
  if (sysShiftHeld() || options.record) {
    if (user) {
      flow.recording = true;
    } else {
      std::fprintf(stderr, "wendlop: not recording: neither XDG_DATA_HOME nor HOME names a folder to keep recordings in\n");
    }
  }

  for (;;) {
    SysEvent event;
    if (sysPeekMessage(&event)) {
      if (event.message == SysMsgQuit) break;
      windowProcedure(event);
      continue;
    }
    if (pauseState.paused) {
      // Nothing runs: wait for the player, or for the notice to run out.
      pausedTick();
      sysWaitMessage(pausedWaitMs());
      continue;
    }
    runFrame();
    // At least the millisecond's pause between ticks; when no frame is due
    // yet, sleep until it is, unless a message arrives first.
    const int32_t untilDue = static_cast<int32_t>(frameClock.frameBaseTime + FramePeriodMs - sysTicks());
    sysWaitMessage(untilDue > 1 ? static_cast<uint32_t>(untilDue) : 1);
  }

  rememberWindowChoice(windowAtStart);
  releaseDisplay();
  releaseSoundBank();
  sysShutdownWindow();
  return 0;
}
