// The shell: the frame clock with its resynchronisation and skip levels, the
// window procedure's table, and the program's entry.
#include "display/display.h"
#include "world/game_fixture.h"

using namespace testgame;

namespace {

// Scene 5 has no step, so a frame runs only the shell's own work.
constexpr Scene NoScene = static_cast<Scene>(5);  // a number no scene has: no step runs

class FrameClockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    resetGameForTest();
    flow.scene = NoScene;
  }
  void TearDown() override { resetGameForTest(); }

  // Calls runFrame at every millisecond from now to `until` (inclusive) and
  // returns the ticks at which a frame ran; `schedule` gets the frame base
  // time after each of those frames.
  std::vector<uint32_t> runUntil(uint32_t until, std::vector<uint32_t>* schedule = nullptr) {
    std::vector<uint32_t> ran;
    for (;;) {
      const uint32_t before = frameClock.frameFraction;
      runFrame();
      if (frameClock.frameFraction != before) {
        ran.push_back(sysTicks());
        if (schedule) schedule->push_back(frameClock.frameBaseTime);
      }
      if (sysTicks() == until) break;
      sysAdvanceFakeTicks(1);
    }
    return ran;
  }
  static std::vector<uint32_t> periods(const std::vector<uint32_t>& ticks, uint32_t from) {
    std::vector<uint32_t> out;
    for (uint32_t t : ticks) {
      out.push_back(t - from);
      from = t;
    }
    return out;
  }
};

TEST_F(FrameClockTest, PeriodsAverageSixtyFramesASecond) {
  sysSetFakeTicks(5000);
  frameClock.frameBaseTime = 5000;
  std::vector<uint32_t> schedule;
  const auto ran = runUntil(5000 + 1000, &schedule);
  const auto p = periods(schedule, 5000);
  ASSERT_GE(p.size(), 9u);
  EXPECT_EQ(std::vector<uint32_t>(p.begin(), p.begin() + 9),
            (std::vector<uint32_t>{16, 17, 16, 17, 17, 16, 17, 17, 16}));
  // Each frame runs as soon as it is due: 16 ms after the schedule's last step.
  for (size_t i = 1; i < ran.size(); ++i) EXPECT_EQ(ran[i], schedule[i - 1] + 16);
  // 60 frames in 1000 ms (the 60th falls at 999.96 ms, rounded to 999).
  EXPECT_EQ(ran.size(), 60u);
  EXPECT_EQ(frameClock.frameSkip, 1);
}

TEST_F(FrameClockTest, StallsOverASecondRaiseTheSkipLevel) {
  sysSetFakeTicks(2000);
  frameClock.frameBaseTime = 2000;
  // Exactly one second behind is still made up.
  sysAdvanceFakeTicks(1000);
  const uint32_t before = frameClock.frameFraction;
  runFrame();
  EXPECT_NE(frameClock.frameFraction, before);
  EXPECT_EQ(frameClock.frameSkip, 1);

  for (int stall = 1; stall <= 12; ++stall) {
    sysAdvanceFakeTicks(1001 + 500 * stall);
    const uint32_t fraction = frameClock.frameFraction;
    runFrame();
    // The backlog is dropped without running a frame.
    EXPECT_EQ(frameClock.frameFraction, fraction);
    EXPECT_EQ(frameClock.frameBaseTime, sysTicks());
    EXPECT_EQ(frameClock.frameSkip, std::min(1 + stall, 10));
    // The next frame is due 16 ms later, not before.
    const uint32_t stalledAt = sysTicks();
    const auto ran = runUntil(stalledAt + 16);
    EXPECT_EQ(ran, std::vector<uint32_t>{stalledAt + 16});
  }
}

TEST_F(FrameClockTest, StallsUnderASecondAreMadeUpBackToBack) {
  sysSetFakeTicks(7000);
  frameClock.frameBaseTime = 7000;
  sysAdvanceFakeTicks(500);
  int backToBack = 0;
  for (int i = 0; i < 100; ++i) {
    const uint32_t before = frameClock.frameFraction;
    runFrame();
    if (frameClock.frameFraction == before) break;
    ++backToBack;
  }
  // 30 frames are due within 500 ms (16 x 30 + 19 carries = 499).
  EXPECT_EQ(backToBack, 30);
  EXPECT_EQ(frameClock.frameBaseTime, 7499u);
  EXPECT_EQ(frameClock.frameSkip, 1);
}

TEST_F(FrameClockTest, SurvivesTheWrapOfTheTickCount) {
  const uint32_t start = 0xFFFFFF00u;
  sysSetFakeTicks(start);
  frameClock.frameBaseTime = start;
  const auto ran = runUntil(start + 1000);  // wraps after 256 ms
  EXPECT_EQ(ran.size(), 60u);
  const auto p = periods(ran, start);
  for (uint32_t period : p) EXPECT_TRUE(period == 16 || period == 17) << period;
  EXPECT_EQ(frameClock.frameSkip, 1);
  // A schedule just short of the wrap with a tick count just past it.
  frameClock.frameBaseTime = 0xFFFFFFF8u;
  sysSetFakeTicks(7);  // 15 ms later
  const uint32_t before = frameClock.frameFraction;
  runFrame();
  EXPECT_EQ(frameClock.frameFraction, before);
  sysSetFakeTicks(8);
  runFrame();
  EXPECT_NE(frameClock.frameFraction, before);
  EXPECT_EQ(frameClock.frameSkip, 1);
}

class WindowProcedure : public ::testing::Test {
 protected:
  void SetUp() override { resetGameForTest(); }
  void TearDown() override { resetGameForTest(); }
  std::vector<SysEvent> drain() {
    std::vector<SysEvent> out;
    SysEvent e;
    while (sysPeekMessage(&e)) out.push_back(e);
    return out;
  }
};

TEST_F(WindowProcedure, EscapeAndF12CloseOnlyTheTitle) {
  for (Scene s : {DemoStart, NewGame, StageReady, Playing, StageClear, GameOver, AllClear, Miss, MissFall, MissWait}) {
    flow.scene = s;
    windowProcedure(SysEvent{SysMsgKeyDown, SysKeyEscape});
    windowProcedure(SysEvent{SysMsgKeyDown, SysKeyF12});
    EXPECT_TRUE(drain().empty()) << "scene " << s;
  }
  flow.scene = Title;
  windowProcedure(SysEvent{SysMsgKeyDown, 'q'});
  windowProcedure(SysEvent{SysMsgKeyDown, 13});
  EXPECT_TRUE(drain().empty());
  for (uint32_t key : {uint32_t{SysKeyEscape}, uint32_t{SysKeyF12}}) {
    resetGameForTest();
    windowProcedure(SysEvent{SysMsgKeyDown, key});
    auto events = drain();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].message, SysMsgDestroy);
    // Destroying the window posts the quit message with code 0.
    windowProcedure(events[0]);
    events = drain();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].message, SysMsgQuit);
    EXPECT_EQ(events[0].param, 0u);
  }
}

TEST_F(WindowProcedure, PointerMessages) {
  EXPECT_EQ(livePointer.liveX, 320);
  EXPECT_EQ(livePointer.liveY, 240);
  // The halves of the position are unsigned 16-bit numbers.
  windowProcedure(SysEvent{SysMsgMouseMove, 0xFFFF0001u});
  EXPECT_EQ(livePointer.liveX, 1);
  EXPECT_EQ(livePointer.liveY, 65535);
  EXPECT_EQ(livePointer.liveButton, 0);
  windowProcedure(SysEvent{SysMsgButtonDown, (200u << 16) | 100u});
  EXPECT_EQ(livePointer.liveButton, 1);
  EXPECT_EQ(livePointer.liveX, 100);
  EXPECT_EQ(livePointer.liveY, 200);
  windowProcedure(SysEvent{SysMsgMouseMove, (479u << 16) | 639u});
  EXPECT_EQ(livePointer.liveButton, 1);
  // A button-up carries no position: the last one stays.
  windowProcedure(SysEvent{SysMsgButtonUp, (5u << 16) | 5u});
  EXPECT_EQ(livePointer.liveButton, 0);
  EXPECT_EQ(livePointer.liveX, 639);
  EXPECT_EQ(livePointer.liveY, 479);
  // The frame takes what the window procedure kept, and the button before it.
  flow.scene = NoScene;
  windowProcedure(SysEvent{SysMsgButtonDown, (7u << 16) | 9u});
  runFrameWork();
  EXPECT_EQ(flow.pointer.x, 9);
  EXPECT_EQ(flow.pointer.y, 7);
  EXPECT_EQ(flow.pointer.button, 1);
  EXPECT_EQ(flow.pointer.previousButton, 0);
  runFrameWork();
  EXPECT_EQ(flow.pointer.previousButton, 1);
}

// A tap: down and up between two frames. The frame after it sees one press,
// the next one the button up again.
TEST_F(WindowProcedure, ATapBetweenFramesIsOnePress) {
  flow.scene = NoScene;
  runFrameWork();
  windowProcedure(SysEvent{SysMsgButtonDown, (7u << 16) | 9u});
  windowProcedure(SysEvent{SysMsgButtonUp, 0});
  EXPECT_EQ(livePointer.liveButton, 0);
  runFrameWork();
  EXPECT_EQ(flow.pointer.button, 1);
  EXPECT_EQ(flow.pointer.previousButton, 0);
  runFrameWork();
  EXPECT_EQ(flow.pointer.button, 0);
}

// A quick second click: the button comes up and goes down again between two
// frames. The frame after it sees the release, the next one the new press,
// at the new position; no frame sees the button held throughout.
TEST_F(WindowProcedure, AReleaseAndPressBetweenFramesIsANewPress) {
  flow.scene = NoScene;
  windowProcedure(SysEvent{SysMsgButtonDown, (7u << 16) | 9u});
  runFrameWork();
  runFrameWork();
  ASSERT_EQ(flow.pointer.button, 1);
  ASSERT_EQ(flow.pointer.previousButton, 1);
  windowProcedure(SysEvent{SysMsgButtonUp, 0});
  windowProcedure(SysEvent{SysMsgButtonDown, (300u << 16) | 400u});
  runFrameWork();
  EXPECT_EQ(flow.pointer.button, 0);
  runFrameWork();
  EXPECT_EQ(flow.pointer.button, 1);
  EXPECT_EQ(flow.pointer.previousButton, 0);
  EXPECT_EQ(flow.pointer.x, 400);
  EXPECT_EQ(flow.pointer.y, 300);
  // Released again before that frame: still one press, then the release.
  windowProcedure(SysEvent{SysMsgButtonUp, 0});
  windowProcedure(SysEvent{SysMsgButtonDown, (300u << 16) | 400u});
  windowProcedure(SysEvent{SysMsgButtonUp, 0});
  runFrameWork();
  EXPECT_EQ(flow.pointer.button, 0);
  runFrameWork();
  EXPECT_EQ(flow.pointer.button, 1);
  EXPECT_EQ(flow.pointer.previousButton, 0);
  runFrameWork();
  EXPECT_EQ(flow.pointer.button, 0);
  // A release alone is simply the button up.
  windowProcedure(SysEvent{SysMsgButtonDown, (300u << 16) | 400u});
  runFrameWork();
  windowProcedure(SysEvent{SysMsgButtonUp, 0});
  runFrameWork();
  EXPECT_EQ(flow.pointer.button, 0);
  runFrameWork();
  EXPECT_EQ(flow.pointer.button, 0);
}

TEST(Entry, HelpVersionAndBadOptions) {
  char name[] = "wendlop";
  char help[] = "--help";
  char version[] = "--version";
  char bad[] = "--no-such-option";
  char* withHelp[] = {name, help};
  char* withVersion[] = {name, version};
  char* withBad[] = {name, bad};
  testing::internal::CaptureStdout();
  EXPECT_EQ(wendlopMain(2, withHelp), 0);
  const std::string usage = testing::internal::GetCapturedStdout();
  EXPECT_NE(usage.find("--record"), std::string::npos);
  EXPECT_NE(usage.find("--scale N"), std::string::npos);
  EXPECT_NE(usage.find("--fullscreen"), std::string::npos);
  EXPECT_NE(usage.find("F11"), std::string::npos);
  // The last line names the exit statuses.
  const std::string last = usage.substr(usage.rfind('\n', usage.size() - 2) + 1);
  EXPECT_EQ(last.rfind("Exit status: 0 ", 0), 0u) << last;
  EXPECT_NE(last.find(", 1 "), std::string::npos) << last;
  EXPECT_NE(last.find(", 2 "), std::string::npos) << last;
  testing::internal::CaptureStdout();
  EXPECT_EQ(wendlopMain(2, withVersion), 0);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("Wendlop "), std::string::npos);
  testing::internal::CaptureStderr();
  EXPECT_EQ(wendlopMain(2, withBad), 2);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("--no-such-option"), std::string::npos);

  // Wrong values, missing values and values for options that take none end
  // the program with status 2 before it opens anything, and one line that
  // names the option; what was given is shown printable.
  const std::vector<std::vector<std::string>> wrong = {
      {"--scale", "9"},          {"--scale", "12"},      {"--scale", "-1"},
      {"--scale", "2x"},         {"--scale", ""},        {"--scale=9"},
      {"--scale=", "2"},         {"--scale"},            {"--screenshot-every", "0"},
      {"--screenshot-every", "-3"}, {"--screenshot-every", "x"}, {"--screenshot-every=0"},
      {"--screenshot-every"},    {"--screenshot-dir"},   {"--screenshot-dir="},
      {"--record=on"},           {"--fullscreen=yes"},   {"--help=me"}};
  for (const std::vector<std::string>& args : wrong) {
    std::vector<std::string> words = args;
    std::vector<char*> argv = {name};
    for (std::string& w : words) argv.push_back(w.data());
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    EXPECT_EQ(wendlopMain(static_cast<int>(argv.size()), argv.data()), 2) << args[0];
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << args[0];
    EXPECT_EQ(said.rfind("wendlop: " + args[0].substr(0, args[0].find('=')), 0), 0u) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
  }
  char scale[] = "--scale", escape[] = "\x1b[2J";
  char* withEscape[] = {name, scale, escape};
  testing::internal::CaptureStderr();
  EXPECT_EQ(wendlopMain(3, withEscape), 2);
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("'\\x1B[2J'"), std::string::npos) << said;
  EXPECT_EQ(said.find('\x1b'), std::string::npos) << said;
}

// A whole run headless: start-up, a queued Escape on the title, shut-down.
TEST(Entry, StartsAndClosesHeadless) {
  resetGameForTest();
  const auto here = std::filesystem::current_path();
  // The player's own settings and progress stay out of it.
  std::string home = (std::filesystem::temp_directory_path() / "wendlop-home-XXXXXX").string();
  ASSERT_NE(mkdtemp(home.data()), nullptr);
  setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
  setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
  setenv("WENDLOP_DATA", WENDLOP_SOURCE_DIR "/data", 1);
  sysPushMessage(SysMsgKeyDown, SysKeyEscape);
  char name[] = "wendlop";
  char* argv[] = {name};
  EXPECT_EQ(wendlopMain(1, argv), 0);
  EXPECT_FALSE(flow.recording);
  EXPECT_EQ(std::filesystem::current_path(), std::filesystem::path(WENDLOP_SOURCE_DIR "/data"));
  // --record is the same as Shift held at start.
  sysPushMessage(SysMsgKeyDown, SysKeyF12);
  char record[] = "--record";
  char* withRecord[] = {name, record};
  EXPECT_EQ(wendlopMain(2, withRecord), 0);
  EXPECT_TRUE(flow.recording);
  // The window options reach the window; headless they are only remembered.
  sysPushMessage(SysMsgKeyDown, SysKeyEscape);
  char scale[] = "--scale=3", fullscreen[] = "--fullscreen";
  char* withWindow[] = {name, scale, fullscreen};
  EXPECT_EQ(wendlopMain(3, withWindow), 0);
  EXPECT_EQ(sysWindowScale(), 3);
  EXPECT_TRUE(sysWindowFullscreen());
  sysSetFullscreen(false);
  // 0 is the largest that fits, as in the settings file; the screenshot
  // options take their values either way.
  sysPushMessage(SysMsgKeyDown, SysKeyEscape);
  std::string shotsArg = "--screenshot-dir=" + home + "/shots";
  char zero[] = "0", every[] = "--screenshot-every", seven[] = "7", scaleAlone[] = "--scale";
  char* withZero[] = {name, scaleAlone, zero, shotsArg.data(), every, seven};
  EXPECT_EQ(wendlopMain(6, withZero), 0);
  EXPECT_EQ(sysWindowScale(), 1);
  setScreenshotDir(nullptr, 1);
  // Started and closed without a choice made: nothing was written.
  EXPECT_FALSE(std::filesystem::exists(home + "/config/wendlop/settings.ini"));
  sysSetWindowStart(0, false);
  sysSetFullscreen(false);
  std::filesystem::current_path(here);
  unsetenv("WENDLOP_DATA");
  unsetenv("XDG_CONFIG_HOME");
  unsetenv("XDG_DATA_HOME");
  std::filesystem::remove_all(home);
  resetGameForTest();
}

// A missing data folder or unreadable pictures end the program with a line on
// stderr and a failure code.
TEST(Entry, FailsLoudlyWithoutData) {
  resetGameForTest();
  const auto here = std::filesystem::current_path();
  std::string empty = (std::filesystem::temp_directory_path() / "wendlop-nodata-XXXXXX").string();
  ASSERT_NE(mkdtemp(empty.data()), nullptr);
  char name[] = "wendlop";
  char* argv[] = {name};

  setenv("WENDLOP_DATA", (empty + "/missing").c_str(), 1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(wendlopMain(1, argv), 1);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("data folder"), std::string::npos) << err;

  // A folder that is there but holds no game.
  setenv("WENDLOP_DATA", empty.c_str(), 1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(wendlopMain(1, argv), 1);
  err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, "wendlop: WENDLOP_DATA=" + empty + " is not the game's data folder (it has no map/ and bmp/ in it)\n");

  // The game's folders without its pictures.
  std::filesystem::create_directories(empty + "/map");
  std::filesystem::create_directories(empty + "/bmp");
  testing::internal::CaptureStderr();
  EXPECT_EQ(wendlopMain(1, argv), 1);
  err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("display"), std::string::npos) << err;

  std::filesystem::current_path(here);
  unsetenv("WENDLOP_DATA");
  std::filesystem::remove_all(empty);
  resetGameForTest();
}

}  // namespace
