// The application shell: start-up and shut-down, the window procedure and the
// main loop.
#include "app/shell.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/check_command.h"
#include "app/controls.h"
#include "app/pointer_input.h"
#include "app/preview.h"
#include "app/settings.h"
#include "display/display.h"
#include "editor/editor.h"
#include "flow/progress.h"
#include "music/music.h"
#include "pack/pack.h"
#include "pack/share.h"
#include "sound/sound.h"
#include "world/world.h"

LivePointer livePointer;
FrameReport frameReport;

namespace {
WindowChoice windowAtStart{};
// The Shift and Ctrl of the key message that follows.
uint32_t keyModifiers = 0;
}  // namespace

void initGameValues() {
  restartFrameClock();
  flow.sceneEntered = true;
  flow.stageNumber = 1;
}

void runFrameWork() {
  FrameClock& c = frameClock;
  frameReport = FrameReport{};
  setSkipPhase(c.skipPhase);
  stepStickPointer();
  samplePointer(livePointer);
  const Scene ran = flow.scene;
  if (editorOpen()) {
    editorFrame();
  } else {
    runScene();
  }
  // Over the waiting stage's picture, while Tab is held; the scene redraws
  // the whole picture on each of its frames.
  if (ran == StageReady && pathPreview.held && c.frameDrawn) drawHazardPaths();
  char text[32];
  // The editor's own lines take the bottom row; a test play shows it as play does.
  if (c.skipPhase == 0 && !editorTakesPointer()) {
    std::snprintf(text, sizeof text, "SKIPLV %d", c.frameSkip);
    drawText(30, 29, text);
  }
  if (flow.recording) drawText(30, 0, "REC");
  if (flow.demoPlayback) drawText(15, 15, "DEMOPLAY");
  frameReport.drew = c.frameDrawn;
  if (presentWithNotice()) {
    frameReport.presented = true;
    c.frameDrawn = false;
  } else if (c.skipPhase == 0 && c.frameDrawn && display.displayReady) {
    presentFrame();
    frameReport.presented = true;
    c.frameDrawn = false;
  }
}

void runFrame() {
  // No frame runs while the game is paused: the world, the time and the
  // replay stand still.
  if (pauseState.paused) return;
  if (frameDue()) runFrameWork();
}

namespace {
void keyDown(uint32_t key) {
  const uint32_t modifiers = keyModifiers;
  keyModifiers = 0;
  // The editor's keys are its own; in its test play the scenes have all but
  // the key that ends it.
  if (editorOpen() && (editorTakesPointer() || key == SysKeyEscape || key == SysKeyF12)) {
    editorKey(key, modifiers);
    return;
  }
  if (key == 'e' && flow.scene == Title && !pauseState.paused && !editorOpen()) {
    openEditor(nullptr);
    return;
  }
  if (!pauseState.paused && takeSceneKey(key)) return;
  if ((key == SysKeyEscape || key == SysKeyF12) && flow.scene == Title) {
    sysDestroyWindow();
  } else if (pointerKeyRepeats(key)) {
    // Space or Enter held down as the button: the system's repeats.
  } else if (controlKey(key)) {
    pointerKeyTaken(key);
  } else {
    pointerKeyDown(key);
  }
}

// The right and middle buttons are the editor's alone.
void otherButton(const SysEvent& event) {
  if (!editorTakesPointer()) return;
  const bool right = event.message == SysMsgRightButtonDown || event.message == SysMsgRightButtonUp;
  const bool down = event.message == SysMsgRightButtonDown || event.message == SysMsgMiddleButtonDown;
  editorButton(right ? 3 : 2, down, static_cast<int>(event.param & 0xFFFFu), static_cast<int>(event.param >> 16));
}
}  // namespace

void windowProcedure(const SysEvent& event) {
  switch (event.message) {
    case SysMsgDestroy:
      sysPostQuit(0);
      break;
    case SysMsgPaint:
      repaintWindow();
      break;
    case SysMsgKeyModifiers:
      keyModifiers = event.param;
      break;
    case SysMsgKeyDown:
      keyDown(event.param);
      break;
    case SysMsgKeyUp:
      pointerKeyUp(event.param);
      controlKeyUp(event.param);
      break;
    case SysMsgFocusLost:
      pointerFocusLost();
      controlFocusLost();
      break;
    case SysMsgMouseMove: {
      const int x = static_cast<int>(event.param & 0xFFFFu), y = static_cast<int>(event.param >> 16);
      if (editorTakesPointer()) editorPointerMove(x, y);
      if (pointerMouseMove(x, y)) controlPointer(livePointer.liveX, livePointer.liveY, false);
      break;
    }
    case SysMsgButtonDown:
      pointerMouseMove(static_cast<int>(event.param & 0xFFFFu), static_cast<int>(event.param >> 16));
      // A press on the pause menu, or one that ends a demonstration, is
      // not the game's.
      if (pauseState.paused) {
        controlPointer(livePointer.liveX, livePointer.liveY, true);
        break;
      }
      if (editorTakesPointer()) {
        editorButton(1, true, static_cast<int>(event.param & 0xFFFFu), static_cast<int>(event.param >> 16));
        break;
      }
      if (endDemonstrationByPress()) break;
      pointerMouseButton(true);
      break;
    case SysMsgButtonUp:
      pointerMouseButton(false);
      if (editorTakesPointer()) editorButton(1, false, editor.pointerX, editor.pointerY);
      break;
    case SysMsgRightButtonDown:
    case SysMsgRightButtonUp:
    case SysMsgMiddleButtonDown:
    case SysMsgMiddleButtonUp:
      otherButton(event);
      break;
    case SysMsgPadAdded:
    case SysMsgPadRemoved:
    case SysMsgPadButtonDown:
    case SysMsgPadButtonUp:
    case SysMsgPadAxis:
      pointerPadMessage(event.message, event.param);
      break;
    default:
      break;
  }
}

void noteTitleChoice(TitleAction action) {
  const Settings before = settings;
  if (action == TitleAction::Drag) settings.drag = flow.dragMode;
  // The selector's stage kept is the built-in pack's.
  if ((action == TitleAction::Start || action == TitleAction::Demo) && currentPack().builtIn)
    settings.lastStage = flow.stageNumber;
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
  flow.stageNumber = settings.lastStage <= packStageCount() ? settings.lastStage : packStageCount();
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
    "  --pack NAME|DIR        play the stage pack of that name, or in that folder\n"
    "  --import FILE|DIR      check a pack (.zip, .tar.gz or folder), replay each of its\n"
    "                         solutions, and install it among your packs\n"
    "  --replace              with --import: put it in place of your pack of that name\n"
    "  --export NAME FILE     write the pack NAME with its solutions to FILE (.zip or .tar.gz)\n"
    "  --edit [FILE.fmf]      open the stage editor (on FILE, or a new stage)\n"
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
    "An option's value may also follow an equals sign: --scale=2.\n"
    "\n"
    "Keys: P or Pause pauses and goes on; Escape in a stage opens the menu\n"
    "(CONTINUE, RESTART STAGE, TITLE) and ends a demonstration (so does a click);\n"
    "Escape or F12 on the title closes the game. M mutes, - and + set the volume.\n"
    "On the title, B (or a click on the stage number) shows the pack's stages,\n"
    "Tab chooses the next pack (Extra comes with the game), and E opens the stage\n"
    "editor. The PACK line, which a click also turns, shows once a stage has been\n"
    "cleared, another pack chosen, or you have packs of your own.\n"
    "Holding Tab while a stage waits for its first click, or while paused, draws\n"
    "where each hazard goes in the next five seconds (and hides the pause menu).\n"
    "F11 or Alt+Enter switches between the window and fullscreen. The window can\n"
    "be resized: the picture takes the largest whole multiple that fits.\n"
    "\n"
    "Without a mouse: the arrow keys move the pointer, on the title from item to\n"
    "item (the first arrow to [START]; Left and Right along [START] < > [DEMO],\n"
    "Up and Down to DRAG and back), in a stage one cell (with Shift one pixel);\n"
    "Space or Enter is the button. A gamepad's left stick moves the pointer (the\n"
    "right shoulder held: faster, the left: slower), the d-pad one cell, A is the\n"
    "button, B is Escape in a stage and Start pauses. The settings file's [input]\n"
    "pointer-speed (pixels a second at full tilt, default 640) and stick-dead-zone\n"
    "(percent, default 20) tune the stick.\n"
    "\n"
    "Files: settings in $XDG_CONFIG_HOME/wendlop/settings.ini (~/.config/wendlop/),\n"
    "cleared stages and recordings in $XDG_DATA_HOME/wendlop/ (~/.local/share/wendlop/),\n"
    "your packs in its packs/ folder.\n"
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
  std::string pack;
  std::string importSource;
  bool replace = false;
  std::string exportName;
  std::string exportFile;
  bool edit = false;
  std::string editFile;  // "" for a new stage
  CheckCommand check;
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

// One option with its value (if it takes one): 0 to go on, otherwise 1 + the
// exit code. --export takes the file to write from the words after it.
int takeOption(const std::string& name, const std::string& value, int argc, char** argv, int& i, Options& options) {
  if (name == "--record") {
    options.record = true;
  } else if (name == "--fullscreen") {
    options.fullscreen = true;
  } else if (name == "--replace") {
    options.replace = true;
  } else if (name == "--screenshot-dir") {
    if (value.empty()) {
      std::fprintf(stderr, "wendlop: --screenshot-dir needs a folder\n");
      return ExitUsage + 1;
    }
    options.screenshotDir = value;
  } else if (name == "--screenshot-every") {
    if (!wholeNumber(value, 1, 1000000, &options.screenshotEvery)) {
      std::fprintf(stderr, "wendlop: --screenshot-every takes a whole number from 1 to 1000000, not '%s'\n",
                   printable(value).c_str());
      return ExitUsage + 1;
    }
  } else if (name == "--scale") {
    if (!wholeNumber(value, 0, 8, &options.scale)) {
      std::fprintf(stderr, "wendlop: --scale takes a whole number from 0 to 8 (0: the largest that fits), not '%s'\n",
                   printable(value).c_str());
      return ExitUsage + 1;
    }
  } else if (name == "--pack" || name == "--import") {
    if (value.empty()) {
      std::fprintf(stderr, "wendlop: %s needs a name or a folder\n", name.c_str());
      return ExitUsage + 1;
    }
    (name == "--pack" ? options.pack : options.importSource) = value;
  } else if (name == "--export") {
    // The pack's name, then the file to write.
    if (value.empty() || i + 1 >= argc) {
      std::fprintf(stderr, "wendlop: --export needs a pack's name and a file (try --help)\n");
      return ExitUsage + 1;
    }
    options.exportName = value;
    options.exportFile = argv[++i];
  } else if (name == "--edit") {
    options.edit = true;
    options.editFile = value;
  }
  return 0;
}

// 0 to go on, otherwise 1 + the exit code.
int parseOptions(int argc, char** argv, Options& options) {
  constexpr int Usage = ExitUsage + 1;
  std::string otherThanCheck;  // the first option that is not the check's
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    // "--name=value" as well as "--name value".
    const size_t equals = arg.rfind("--", 0) == 0 ? arg.find('=') : std::string::npos;
    const std::string name = arg.substr(0, equals);
    const bool joined = equals != std::string::npos;
    const bool checkOption = isCheckOption(name);
    const bool takesValue = name == "--screenshot-dir" || name == "--screenshot-every" || name == "--scale" ||
                            name == "--pack" || name == "--import" || name == "--export" ||
                            (checkOption && name != "--check-child");
    const bool isFlag = name == "--help" || name == "-h" || name == "--version" || name == "--record" ||
                        name == "--fullscreen" || name == "--replace" || name == "--check-child";
    // FILE after --edit is optional: the next word is it unless it is an option.
    const bool optionalValue = name == "--edit";
    if (!takesValue && !isFlag && !optionalValue) {
      std::fprintf(stderr, "wendlop: unknown option '%s' (try --help)\n", printable(arg).c_str());
      return Usage;
    }
    if (isFlag && joined) {
      std::fprintf(stderr, "wendlop: %s takes no value (try --help)\n", name.c_str());
      return Usage;
    }
    std::string value;
    if (optionalValue) {
      if (joined) value = arg.substr(equals + 1);
      else if (i + 1 < argc && std::strncmp(argv[i + 1], "--", 2) != 0) value = argv[++i];
    } else if (takesValue) {
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
    if (checkOption) {
      if (!takeCheckOption(name, value, &options.check)) return Usage;
      continue;
    }
    if (otherThanCheck.empty()) otherThanCheck = name;
    if (int stop = takeOption(name, value, argc, argv, i, options)) return stop;
  }
  // A check runs alone, without a window.
  if (const std::string why = checkCommandProblem(options.check, otherThanCheck); !why.empty()) {
    std::fprintf(stderr, "wendlop: %s (try --help)\n", why.c_str());
    return Usage;
  }
  return 0;
}
}  // namespace

int startGame(const GameStart& start) {
  // What ends the start is said before anything else starts and has its say.
  if (!sysStartVideo()) return ExitStartFailed;
  std::string problem;
  const char* data = start.dataFolder ? start.dataFolder : sysFindDataFolder(&problem);
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
  const char* user = start.playerFiles ? sysUserDataFolder() : nullptr;
  if (user) {
    setUserReplayFolder((std::string(user) + "/replay").c_str());
    setProgressFile(std::string(user) + "/progress");
    setEditorDataFolder(user);
  }
  if (start.replayFolder) setUserReplayFolder(start.replayFolder);
  if (start.editorFolder) setEditorDataFolder(start.editorFolder);
  if (start.playerFiles) {
    if (const char* config = sysUserConfigFolder()) setSettingsFile(std::string(config) + "/settings.ini");
  }
  if (!start.settingsFile.empty()) setSettingsFile(start.settingsFile);
  if (!start.progressFile.empty()) setProgressFile(start.progressFile);
  // The player's packs are where the editor saves: its folder when one is given.
  const std::string ownPacks = start.editorFolder ? std::string(start.editorFolder) + "/packs"
                                                  : (user ? std::string(user) + "/packs" : "");
  findPacks(sysAbsolutePath("packs"), ownPacks);
  std::string why;
  if (!start.pack.empty() && !choosePackNamed(start.pack, &why)) {
    std::fprintf(stderr, "wendlop: %s\n", why.c_str());
    return ExitStartFailed;
  }
  loadSettings();
  loadProgress();
  if (!start.screenshotDir.empty()) setScreenshotDir(start.screenshotDir.c_str(), start.screenshotEvery);

  // The command line speaks for this run; the settings for every run.
  const bool scaleGiven = start.scale >= 0;
  sysSetWindowStart(scaleGiven ? start.scale : settings.scale, start.fullscreen || settings.fullscreen, !scaleGiven);
  if (!sysCreateWindow("Wendlop 1.0d", 640, 480)) return ExitStartFailed;
  windowAtStart = currentWindowChoice();
  sysHidePointer();
  initSoundBank();
  applyVolume();
  if (!initDisplay()) {
    sysShutdownWindow();
    return ExitStartFailed;
  }
  initGameValues();
  applySettingsToGame();
  if (sysShiftHeld() || start.record) {
    if (user || start.replayFolder) {
      flow.recording = true;
    } else {
      std::fprintf(stderr, "wendlop: not recording: neither XDG_DATA_HOME nor HOME names a folder to keep recordings in\n");
    }
  }
  return 0;
}

bool dispatchMessages() {
  SysEvent event;
  while (sysPeekMessage(&event)) {
    if (event.message == SysMsgQuit) return false;
    windowProcedure(event);
  }
  return true;
}

void shutDownGame() {
  rememberWindowChoice(windowAtStart);
  releaseDisplay();
  releaseSoundBank();
  sysShutdownWindow();
}

int wendlopMain(int argc, char** argv) {
  Options options;
  if (int done = parseOptions(argc, argv, options)) return done - 1;
  if (checkCommandAsked(options.check)) return runCheckCommand(options.check);
  if (!options.importSource.empty() || !options.exportName.empty())
    return packCommand(options.importSource.empty() ? nullptr : options.importSource.c_str(), options.replace,
                       options.exportName.empty() ? nullptr : options.exportName.c_str(),
                       options.exportFile.empty() ? nullptr : options.exportFile.c_str());

  GameStart start;
  start.record = options.record;
  if (!options.pack.empty())
    start.pack = sysIsDirectory(options.pack.c_str()) ? sysAbsolutePath(options.pack.c_str()) : options.pack;
  // Paths given on the command line are meant from where the game was started.
  if (!options.screenshotDir.empty()) start.screenshotDir = sysAbsolutePath(options.screenshotDir.c_str());
  start.screenshotEvery = options.screenshotEvery;
  start.scale = options.scale;
  start.fullscreen = options.fullscreen;
  const std::string editFile = options.editFile.empty() ? "" : sysAbsolutePath(options.editFile.c_str());
  if (int failed = startGame(start)) return failed;
  if (options.edit) openEditor(editFile.empty() ? nullptr : editFile.c_str());

  // Every waiting message is handled before the next frame tick.
  while (dispatchMessages()) {
    if (pauseState.paused) {
      // Nothing runs: wait for the player, or for the notice to run out.
      pausedTick();
      sysWaitMessage(pausedWaitMs());
      continue;
    }
    runFrame();
    // Sleep until the next frame is due. Messages that arrive meanwhile are
    // handled before it, as the frame is the first to look at them; waiting
    // on the window system instead would ask it for its events several times
    // over at every frame.
    sysSleep(msUntilFrameDue());
  }

  shutDownGame();
  return 0;
}
