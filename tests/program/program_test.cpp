// The built game as a whole program, on SDL's dummy drivers: it starts, runs
// its frames, and closes cleanly when the window system asks it to.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace fs = std::filesystem;

namespace {
const std::string game = std::string(WENDLOP_BINARY_DIR) + "/src/wendlop";
const std::string data = std::string(WENDLOP_SOURCE_DIR) + "/data";

struct Result {
  int code;
  std::string out, err;
};

std::string slurp(const fs::path& p) {
  std::ifstream in(p);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs the game with `env` before it; after `seconds` it is asked to close as
// the window system would (SDL turns SIGTERM into a quit request).
Result run(const std::string& env, const std::string& args, double seconds = 0, const std::string& binary = game) {
  const fs::path dir = fs::temp_directory_path() / ("wendlop-program-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::string out = (dir / "out").string(), err = (dir / "err").string();
  const std::string command = "env SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy HOME=" + dir.string() +
                              " XDG_DATA_HOME=" + dir.string() + " XDG_CONFIG_HOME=" + dir.string() + "/config " + env + " " + binary + " " + args + " >" + out +
                              " 2>" + err;
  pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    execl("/bin/sh", "sh", "-c", ("exec " + command).c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  bool ended = false;
  if (seconds > 0) {
    // A game that ends by itself before then is not waited for.
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!(ended = waitpid(pid, &status, WNOHANG) == pid) && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (!ended) kill(pid, SIGTERM);
  }
  // Never hang the test run on a game that does not close.
  for (int i = 0; i < 300 && !ended; ++i) {
    if (waitpid(pid, &status, WNOHANG) == pid) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (i == 299) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
    }
  }
  Result r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(out), slurp(err)};
  fs::remove_all(dir);
  return r;
}

int lines(const std::string& s) {
  int n = 0;
  for (char c : s) n += c == '\n';
  return n;
}
}  // namespace

TEST(Program, StartsAndClosesCleanly) {
  Result r = run("WENDLOP_DATA=" + data, "", 1.5);
  EXPECT_EQ(r.code, 0) << r.err;
  // A degraded start (no SoundFont on this machine, say) says so in one line.
  EXPECT_LE(lines(r.err), 1) << r.err;
}

TEST(Program, RecordingWithoutAUserFolderSaysSoAndPlaysOn) {
  const fs::path before = fs::path(data) / "replay";
  const auto count = [&] { return std::distance(fs::directory_iterator(before), {}); };
  const auto files = count();
  Result r = run("WENDLOP_DATA=" + data + " HOME= XDG_DATA_HOME=", "--record", 1.0);
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.err.find("wendlop: not recording:"), std::string::npos) << r.err;
  EXPECT_EQ(count(), files);
}

// A copy of the program elsewhere looks for its data only where an installed
// copy has it, relative to itself: nothing of the build folder is baked in.
TEST(Program, FindsItsDataBesideItselfWhereverItIs) {
  const fs::path root = fs::temp_directory_path() / ("wendlop-moved-" + std::to_string(getpid()));
  fs::create_directories(root / "bin");
  const fs::path beside = fs::weakly_canonical(root / "bin" / WENDLOP_DATA_FROM_BINARY);
  fs::copy_file(game, root / "bin" / "wendlop");

  Result r = run("", "", 0, (root / "bin" / "wendlop").string());
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("data folder (looked in " + beside.string() + ";"), std::string::npos) << r.err;

  fs::create_directories(beside.parent_path());
  fs::create_directory_symlink(fs::path(WENDLOP_SOURCE_DIR) / "data", beside);
  r = run("", "", 1.0, (root / "bin" / "wendlop").string());
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.err.find("data folder"), std::string::npos) << r.err;
  fs::remove_all(root);
}

// Without a display SDL would fall back to a driver that shows nothing, and
// the game would run unseen for ever: it ends at once instead, with one line.
TEST(Program, WithoutADisplayItEndsAtOnceWithOneLine) {
  Result r = run("SDL_VIDEODRIVER= DISPLAY= WAYLAND_DISPLAY= WENDLOP_DATA=" + data, "", 5.0);
  if (r.code == 0 && r.err.find("no display") == std::string::npos)
    GTEST_SKIP() << "this machine has a display without X or Wayland (a console SDL can draw on)";
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, "wendlop: no display: neither DISPLAY nor WAYLAND_DISPLAY is set\n");
  // Without a session bus libdbus would try to start one for that display,
  // and leak on the way out, which the leak sanitizer reports.
  r = run("SDL_VIDEODRIVER= DISPLAY=:9999 WAYLAND_DISPLAY= DBUS_SESSION_BUS_ADDRESS=disabled: WENDLOP_DATA=" + data,
          "", 5.0);
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, "wendlop: no display: cannot connect to DISPLAY=:9999\n");
}

// A start that ends says only why it ends: here nothing of the sound, which
// would start after the data folder is found.
TEST(Program, AFolderThatIsNotTheGamesDataIsTheOnlyLine) {
  const fs::path empty = fs::temp_directory_path() / ("wendlop-notdata-" + std::to_string(getpid()));
  fs::create_directories(empty);
  Result r = run("SDL_AUDIODRIVER=no-such-driver WENDLOP_DATA=" + empty.string(), "", 5.0);
  fs::remove_all(empty);
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, "wendlop: WENDLOP_DATA=" + empty.string() + " is not the game's data folder (it has no map/ and bmp/ in it)\n");
}

// The music and the effects share the missing device: one line for both.
TEST(Program, NoAudioDeviceIsOneLine) {
  Result r = run("SDL_AUDIODRIVER=no-such-driver WENDLOP_DATA=" + data, "", 1.0);
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(lines(r.err), 1) << r.err;
  EXPECT_EQ(r.err.rfind("wendlop: no music and no sound effects: no audio device", 0), 0u) << r.err;
}

// SDL's dummy display measures 1024 x 768: 2x does not fit it.
TEST(Program, AScaleThatDoesNotFitIsSaid) {
  Result r = run("WENDLOP_DATA=" + data, "--scale 3", 1.0);
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.err, "wendlop: --scale 3 makes a window of 1920 x 1440, larger than this screen (1024 x 768 free)\n");
  // A scale kept from a larger screen is lowered, the file left as it is.
  const fs::path config = fs::temp_directory_path() / ("wendlop-program-" + std::to_string(getpid())) / "config/wendlop";
  for (const char* args : {"", "--scale=0"}) {
    fs::create_directories(config);
    std::ofstream(config / "settings.ini") << "[window]\nscale = 2\n";
    r = run("WENDLOP_DATA=" + data, args, 1.0);
    EXPECT_EQ(r.code, 0) << r.err;
    if (*args) {
      EXPECT_EQ(r.err, "") << args;  // the command line speaks for this run
    } else {
      EXPECT_EQ(r.err, "wendlop: the window's scale 2 of the settings does not fit this screen (1024 x 768 free); "
                       "it opens at 1\n");
    }
  }
}

// WENDLOP_SOUNDFONT as a path from where the game was started, though the
// game moves into its data folder and the font loads on a thread of its own.
TEST(Program, ARelativeSoundFontIsFromWhereTheGameStarted) {
  const fs::path font = "/usr/share/sounds/sf2/TimGM6mb.sf2";
  if (!fs::exists(font)) GTEST_SKIP() << font << " is not installed";
  const fs::path link = fs::current_path() / ("wendlop-font-" + std::to_string(getpid()) + ".sf2");
  fs::create_symlink(font, link);
  Result r = run("WENDLOP_DATA=" + data + " WENDLOP_SOUNDFONT=" + link.filename().string(), "", 1.5);
  fs::remove(link);
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.err, "");
}
