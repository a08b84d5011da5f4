// The application shell: start-up and shut-down, the window procedure, the
// main loop and the frame clock.
#include "app/shell.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

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
      livePointer.liveReleasePending = true;
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
    "  --scale N              open the window at N times 640 x 480, N from 1 to 8,\n"
    "                         or 0 for the largest that fits the screen (the default)\n"
    "  --fullscreen           start fullscreen\n"
    "  --help                 show this help and exit\n"
    "  --version              show the version and exit\n"
    "An option's value may also follow an equals sign: --scale=2.\n"
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
    "Environment: WENDLOP_DATA names the data folder; WENDLOP_SOUNDFONT a SoundFont.\n"
    "\n"
    "Exit status: 0 when the game is closed, 1 when it cannot start, 2 for a wrong option.\n";

// The exit statuses: the same in the help and the manual page.
constexpr int ExitStartFailed = 1;
constexpr int ExitUsage = 2;

struct Options {
  bool record = false;
  std::string screenshotDir;  // "" for none
  int screenshotEvery = 1;
  int scale = -1;  // -1: not given; 0: the largest that fits the screen
  bool fullscreen = false;
};

// A whole number from `low` to `high`, written in decimal digits only.
bool wholeNumber(const std::string& text, int low, int high, int* out) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  const int n = std::atoi(text.c_str());
  if (n < low || n > high) return false;
  *out = n;
  return true;
}

// The printable form of a word from the command line, for a message.
std::string shown(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      out += escaped;
    }
  }
  return out;
}

// 0 to go on, otherwise 1 + the exit code.
int parseOptions(int argc, char** argv, Options& options) {
  constexpr int Usage = ExitUsage + 1;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    // "--name=value" as well as "--name value".
    const size_t equals = arg.rfind("--", 0) == 0 ? arg.find('=') : std::string::npos;
    const std::string name = arg.substr(0, equals);
    const bool joined = equals != std::string::npos;
    const bool takesValue = name == "--screenshot-dir" || name == "--screenshot-every" || name == "--scale";
    const bool isFlag = name == "--help" || name == "-h" || name == "--version" || name == "--record" ||
                        name == "--fullscreen";
    if (!takesValue && !isFlag) {
      std::fprintf(stderr, "wendlop: unknown option '%s' (try --help)\n", shown(arg).c_str());
      return Usage;
    }
    if (isFlag && joined) {
      std::fprintf(stderr, "wendlop: %s takes no value (try --help)\n", name.c_str());
      return Usage;
    }
    std::string value;
    if (takesValue) {
      if (joined) {
        value = arg.substr(equals + 1);
      } else if (i + 1 < argc) {
        value = argv[++i];
      } else {
        std::fprintf(stderr, "wendlop: %s needs a value (try --help)\n", name.c_str());
        return Usage;
      }
    }
    if (name == "--help" || name == "-h") {
      std::fputs(usage, stdout);
      return 1;
    }
    if (name == "--version") {
      std::printf("Wendlop %s\n", WENDLOP_VERSION);
      return 1;
    }
    if (name == "--record") {
      options.record = true;
    } else if (name == "--fullscreen") {
      options.fullscreen = true;
    } else if (name == "--screenshot-dir") {
      if (value.empty()) {
        std::fprintf(stderr, "wendlop: --screenshot-dir needs a folder\n");
        return Usage;
      }
      options.screenshotDir = value;
    } else if (name == "--screenshot-every") {
      if (!wholeNumber(value, 1, 1000000, &options.screenshotEvery)) {
        std::fprintf(stderr, "wendlop: --screenshot-every takes a whole number from 1 to 1000000, not '%s'\n",
                     shown(value).c_str());
        return Usage;
      }
    } else if (name == "--scale") {
      if (!wholeNumber(value, 0, 8, &options.scale)) {
        std::fprintf(stderr, "wendlop: --scale takes a whole number from 0 to 8 (0: the largest that fits), not '%s'\n",
                     shown(value).c_str());
        return Usage;
      }
    }
  }
  return 0;
}
}  // namespace

int wendlopMain(int argc, char** argv) {
  Options options;
  if (int done = parseOptions(argc, argv, options)) return done - 1;
  // What ends the start is said before anything else starts and has its say.
  if (!sysStartVideo()) return ExitStartFailed;

  // Paths given on the command line are meant from where the game was started.
  const std::string screenshotDir = options.screenshotDir.empty() ? "" : sysAbsolutePath(options.screenshotDir.c_str());
  std::string problem;
  const char* data = sysFindDataFolder(&problem);
  if (!data) {
    std::fprintf(stderr, "wendlop: %s\n", problem.c_str());
    return ExitStartFailed;
  }
  // Before the move into the data folder: WENDLOP_SOUNDFONT may be a path
  // from where the game was started.
  constructMusicPlayer();
  std::atexit(teardownMusicPlayer);
  if (!sysChangeDirectory(data)) {
    std::fprintf(stderr, "wendlop: the data folder %s cannot be entered\n", data);
    return ExitStartFailed;
  }
  const char* user = sysUserDataFolder();
  if (user) {
    setUserReplayFolder((std::string(user) + "/replay").c_str());
    setProgressFile(std::string(user) + "/progress");
  }
  if (const char* config = sysUserConfigFolder()) setSettingsFile(std::string(config) + "/settings.ini");
  loadSettings();
  loadProgress();
  if (!screenshotDir.empty()) setScreenshotDir(screenshotDir.c_str(), options.screenshotEvery);

  // The command line speaks for this run; the settings for every run.
  const bool scaleGiven = options.scale >= 0;
  sysSetWindowStart(scaleGiven ? options.scale : settings.scale, options.fullscreen || settings.fullscreen,
                    !scaleGiven);
  if (!sysCreateWindow("Wendlop 1.0d", 640, 480)) return ExitStartFailed;
  const WindowChoice windowAtStart = currentWindowChoice();
  sysHidePointer();
  initSoundBank();
  applyVolume();
  if (!initDisplay()) {
    sysShutdownWindow();
    return ExitStartFailed;
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
