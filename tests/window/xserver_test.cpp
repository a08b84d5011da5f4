// The built game in a virtual X server with a window manager: the first
// window size on a 1920 x 1080 screen, fullscreen by F11 and Alt+Enter and
// back to the same size and place, a click at a scaled position landing
// where it was meant, and stage 1 cleared with the keyboard alone. Skipped
// where Xvfb, openbox or xdotool is missing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

namespace fs = std::filesystem;

namespace {

const std::string game = std::string(WENDLOP_BINARY_DIR) + "/src/wendlop";
const std::string data = std::string(WENDLOP_SOURCE_DIR) + "/data";

bool onPath(const char* tool) {
  return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs `command` in a process group of its own; stdout goes to /dev/null,
// stderr too unless `errors` names a file for it.
pid_t spawn(const std::string& command, const std::string& errors = "") {
  const pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(errors.empty() ? null : open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
    execl("/bin/sh", "sh", "-c", ("exec " + command).c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

void stop(pid_t pid) {
  if (pid <= 0) return;
  kill(-pid, SIGTERM);
  int status = 0;
  for (int i = 0; i < 50; ++i) {
    if (waitpid(pid, &status, WNOHANG) != 0) return;  // ended, or already waited for
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  kill(-pid, SIGKILL);
  waitpid(pid, &status, 0);
}

std::string output(const std::string& command) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, p)) out += buffer;
    pclose(p);
  }
  return out;
}

struct Geometry {
  int x = -1, y = -1, width = -1, height = -1;
  bool operator==(const Geometry&) const = default;
};
std::ostream& operator<<(std::ostream& o, const Geometry& g) {
  return o << g.width << " x " << g.height << " at " << g.x << "," << g.y;
}

class XServer : public ::testing::Test {
 protected:
  std::string display;
  pid_t xvfb = 0, wm = 0, wendlop = 0;
  int displayPipe = -1;
  std::string window;
  fs::path home;

  void SetUp() override {
    for (const char* tool : {"Xvfb", "openbox", "xdotool"})
      if (!onPath(tool)) GTEST_SKIP() << tool << " is not installed";
    // Xvfb picks a free display number itself and writes it to the pipe.
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    xvfb = fork();
    if (xvfb == 0) {
      setpgid(0, 0);
      close(pipeEnds[0]);
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      dup2(null, 2);
      const std::string fd = std::to_string(pipeEnds[1]);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1920x1080x24", "-nolisten", "tcp",
             static_cast<char*>(nullptr));
      _exit(127);
    }
    close(pipeEnds[1]);
    // The number comes with a newline, possibly in a write of its own; the
    // pipe stays open until the end, as Xvfb dies of writing into a closed one.
    displayPipe = pipeEnds[0];
    std::string number;
    pollfd p{displayPipe, POLLIN, 0};
    while (number.find('\n') == std::string::npos && poll(&p, 1, 20000) == 1) {
      char c[16];
      const ssize_t n = read(displayPipe, c, sizeof c);
      if (n <= 0) break;
      number.append(c, static_cast<size_t>(n));
    }
    if (number.empty() || number[0] < '0' || number[0] > '9') GTEST_SKIP() << "Xvfb did not start";
    display = ":" + std::to_string(std::atoi(number.c_str()));
    wm = spawn("env DISPLAY=" + display + " openbox --sm-disable");
    // A window manager is up once it has named the current desktop.
    ASSERT_TRUE(waitFor([&] {
      return std::system(("env DISPLAY=" + display + " xdotool get_desktop >/dev/null 2>&1").c_str()) == 0;
    }))
        << "openbox did not start on " << display << (waitpid(wm, nullptr, WNOHANG) == 0 ? "" : " (it ended)");
    home = fs::temp_directory_path() / ("wendlop-xserver-" + std::to_string(getpid()));
    fs::create_directories(home);
  }

  void TearDown() override {
    stop(wendlop);
    stop(wm);
    stop(xvfb);
    if (displayPipe >= 0) close(displayPipe);
    if (!home.empty()) fs::remove_all(home);
  }

  std::string xdo(const std::string& args) {
    return output("env DISPLAY=" + display + " xdotool " + args + " 2>/dev/null");
  }

  template <typename Done>
  static bool waitFor(Done done, int seconds = 15) {
    for (int i = 0; i < seconds * 20; ++i) {
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return done();
  }

  // What the game said on stderr.
  std::string said() {
    std::ifstream in(home / "stderr");
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  void startGame(const std::string& args, bool managed = true) {
    wendlop = spawn("env DISPLAY=" + display + " SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy WENDLOP_DATA=" + data +
                        " HOME=" + home.string() + " XDG_DATA_HOME=" + home.string() +
                        " XDG_CONFIG_HOME=" + (home / "config").string() + " " + game + " " + args,
                    (home / "stderr").string());
    ASSERT_TRUE(waitFor([&] {
      window = xdo("search --name '^Wendlop'");
      window = window.substr(0, window.find('\n'));
      return !window.empty();
    })) << "no game window appeared";
    // The window is found as soon as the game has made it, but the window
    // manager has placed it in its frame only once it has made it the active
    // window; a pointer moved relative to it before then ends up elsewhere.
    if (managed) {
      ASSERT_TRUE(waitFor([&] { return xdo("getactivewindow") == window + "\n"; }))
          << "the window manager did not take the game's window";
    }
  }

  Geometry geometry() {
    Geometry g;
    const std::string shell = xdo("getwindowgeometry --shell " + window);
    auto field = [&](const char* name) {
      const size_t at = shell.find(std::string("\n") + name + "=");
      return at == std::string::npos ? -1 : std::atoi(shell.c_str() + at + std::strlen(name) + 2);
    };
    g.x = field("X");
    g.y = field("Y");
    g.width = field("WIDTH");
    g.height = field("HEIGHT");
    return g;
  }

  // The window settles at `want`; sizes pass through others on the way.
  ::testing::AssertionResult settlesAt(const Geometry& want) {
    Geometry last;
    if (waitFor([&] { return (last = geometry()) == want; })) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the window is " << last << ", not " << want;
  }

  bool running() { return wendlop > 0 && waitpid(wendlop, nullptr, WNOHANG) == 0; }
};

TEST_F(XServer, FullscreenAndBackToTheSameWindow) {
  startGame("");
  // 2x is the largest multiple that fits 1920 x 1080 with a title bar.
  ASSERT_TRUE(waitFor([&] { return geometry().width == 1280 && geometry().height == 960; }))
      << geometry();
  // The window manager may still be placing it.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const Geometry windowed = geometry();

  xdo("key --window " + window + " F11");
  EXPECT_TRUE(settlesAt(Geometry{0, 0, 1920, 1080}));
  xdo("key --window " + window + " F11");
  EXPECT_TRUE(settlesAt(windowed));

  xdo("key --window " + window + " alt+Return");
  EXPECT_TRUE(settlesAt(Geometry{0, 0, 1920, 1080}));
  xdo("key --window " + window + " alt+Return");
  EXPECT_TRUE(settlesAt(windowed));
  EXPECT_TRUE(running());
}

TEST_F(XServer, StartsFullscreenAndLeavesToTheChosenScale) {
  startGame("--fullscreen --scale 1");
  EXPECT_TRUE(settlesAt(Geometry{0, 0, 1920, 1080}));
  xdo("key --window " + window + " F11");
  ASSERT_TRUE(waitFor([&] { return geometry().width == 640 && geometry().height == 480; })) << geometry();
}

// A scale larger than the screen is done as asked, said, and the window
// placed where its title bar can be reached: not centred, which would put it
// above the screen.
TEST_F(XServer, AScaleLargerThanTheScreenKeepsTheTitleBarOnIt) {
  startGame("--scale 3");
  ASSERT_TRUE(waitFor([&] { return geometry().width == 1920 && geometry().height == 1440; })) << geometry();
  const Geometry g = geometry();
  EXPECT_GE(g.x, 0) << g;
  // The client area starts below the title bar, which is on the screen.
  EXPECT_GT(g.y, 0) << g;
  EXPECT_LT(g.y, 100) << g;
  EXPECT_EQ(said(), "wendlop: --scale 3 makes a window of 1920 x 1440, larger than this screen (1920 x 1080 free)\n");
  EXPECT_TRUE(running());
}

// Without a window manager nobody makes the window fullscreen: the game says
// so once and stays a window, F11 included; the window manager that named
// itself on the screen before it ended does not count.
TEST_F(XServer, FullscreenWithoutAWindowManagerIsSaid) {
  stop(wm);
  wm = 0;
  startGame("--fullscreen --scale 1", false);
  ASSERT_TRUE(waitFor([&] { return !said().empty(); })) << "nothing said";
  EXPECT_EQ(said(), "wendlop: no fullscreen: the X server has no window manager to make the window fullscreen\n");
  xdo("key --window " + window + " F11");
  xdo("key --window " + window + " F11");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // nothing is to happen: time for it not to
  EXPECT_EQ(geometry().width, 640);
  EXPECT_EQ(geometry().height, 480);
  EXPECT_EQ(said(), "wendlop: no fullscreen: the X server has no window manager to make the window fullscreen\n");
  EXPECT_TRUE(running());
}

// The title's DRAG switch and START save the settings file, which shows what
// the clicks did. Each target is given in canvas points, clicked at twice
// those in the 2x window; a click at (328, 376) of the window, where the 1x
// picture has the previous-stage arrow, lands on the logo in the 2x one.
// The clicks of the last run follow each other at once, as a quick player's
// do: a release and the next press between two frames still make a press.
TEST_F(XServer, ClicksCountAtTheScaledPosition) {
  const fs::path settingsFile = home / "config/wendlop/settings.ini";
  fs::create_directories(settingsFile.parent_path());
  { std::ofstream(settingsFile) << "[game]\nlast-stage = 5\n"; }
  startGame("--scale 2");
  ASSERT_TRUE(waitFor([&] { return geometry().width == 1280; })) << geometry();
  auto click = [&](int canvasX, int canvasY, int scale = 2) {
    return "mousemove --window " + window + " " + std::to_string(canvasX * scale) + " " +
           std::to_string(canvasY * scale) + " mousedown 1 sleep 0.25 mouseup 1 ";
  };
  auto saved = [&] {
    std::ifstream in(settingsFile);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  // DRAG [ON ] at text cell (17, 25). Its saving also shows that the game
  // runs frames, so that the quick clicks below are not taken together
  // while it is still starting.
  xdo(click(17 * 16 + 8, 25 * 16 + 8));
  ASSERT_TRUE(waitFor([&] { return saved().find("drag = off") != std::string::npos; })) << saved();
  // Then the logo, the next-stage arrow at cell (25, 23) and [START] at (12, 23).
  xdo(click(328, 376, 1) + click(25 * 16 + 8, 23 * 16 + 8) + click(14 * 16 + 8, 23 * 16 + 8));
  EXPECT_TRUE(waitFor([&] { return saved().find("last-stage = 6") != std::string::npos; })) << saved();
  EXPECT_TRUE(running());
}

// Never a mouse event: Right puts the pointer on [START], Enter starts, two
// Rights take it to the cell where the walker will wait at the edge of the
// pit, Space starts play, and Space again while the walker is there turns it
// back to the goal. The game's saved pictures (one every 30 frames) say when
// the stage is ready for the keys of play.
TEST_F(XServer, KeysAloneClearTheFirstStage) {
  const fs::path shots = home / "shots";
  startGame("--scale 1 --screenshot-dir " + shots.string() + " --screenshot-every 30");
  auto pictures = [&] {
    std::error_code ignored;
    long n = 0;
    for (auto it = fs::directory_iterator(shots, ignored); it != fs::directory_iterator(); it.increment(ignored)) ++n;
    return n;
  };
  // At least `frames` frames drawn from now on.
  auto framesPass = [&](long frames) {
    const long from = pictures();
    return waitFor([&] { return pictures() >= from + (frames + 29) / 30 + 1; }, 30);
  };
  auto key = [&](const std::string& keys) { xdo("key --window " + window + " " + keys); };
  ASSERT_TRUE(waitFor([&] { return pictures() > 0; }, 30)) << "the game saves no pictures";
  key("Right");
  key("Return");
  ASSERT_TRUE(framesPass(30));  // a new game, and the stage is ready
  key("Right");
  key("Right");
  key("space");
  // The walker is in reach of the pointer for a second of play, from about
  // its 36th frame on. Space every 0.6 seconds: at least once in reach, and
  // once it has turned it is out of reach (or turning, when a press does
  // nothing) until the next one, so it is never turned twice.
  const fs::path progressFile = home / "wendlop" / "progress";
  for (int i = 0; i < 30 && !fs::exists(progressFile); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    key("space");
  }
  EXPECT_TRUE(waitFor([&] { return fs::exists(progressFile); }, 10)) << "stage 1 was not cleared";
  EXPECT_TRUE(running());
}

}  // namespace
