// The settings file: what it keeps, what a damaged one gives, and the choices
// of the title and the window kept in it.
#include <fstream>
#include <sstream>

#include "app/settings.h"
#include "world/game_fixture.h"

using namespace testgame;

namespace {

class SettingsFile : public GameTest {
 protected:
  void SetUp() override {
    GameTest::SetUp();
    path_ = (dir_ / "config" / "settings.ini").string();
    setSettingsFile(path_);
  }
  void TearDown() override {
    setSettingsFile("");
    settings = Settings{};
    GameTest::TearDown();
  }
  void write(const std::string& text) {
    std::filesystem::create_directories(dir_ / "config");
    std::ofstream(path_, std::ios::binary) << text;
  }
  std::string read() {
    std::ifstream in(path_, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  // loadSettings, and what it said on stderr.
  std::string load() {
    testing::internal::CaptureStderr();
    loadSettings();
    return testing::internal::GetCapturedStderr();
  }
  std::string path_;
};

Settings unusual() {
  Settings s;
  s.drag = false;
  s.lastStage = 37;
  s.pauseOnFocusLoss = false;
  s.scale = 3;
  s.fullscreen = true;
  s.masterVolume = 0;
  s.musicVolume = 45;
  s.effectsVolume = 100;
  s.pointerSpeed = 6000;
  s.stickDeadZone = 0;
  s.muted = true;
  return s;
}

TEST(Settings, TheWrittenFormReadsBackAndForeignFormsAreUnderstood) {
  Settings out;
  std::string problems;
  for (const Settings& s : {Settings{}, unusual()}) {
    parseSettings(formatSettings(s), &out, &problems);
    EXPECT_TRUE(out == s);
    EXPECT_EQ(problems, "");
  }
  parseSettings("[game]\ndrag=false\r\nlast-stage = 50 ; a comment\n[sound]\nmusic-volume=0\n", &out, &problems);
  EXPECT_EQ(problems, "");
  EXPECT_FALSE(out.drag);
  EXPECT_EQ(out.lastStage, 50);
  EXPECT_EQ(out.musicVolume, 0);
  EXPECT_EQ(out.masterVolume, 100);  // not given: the default
}

TEST(Settings, EachWrongValueFallsBackAloneAndIsNamed) {
  Settings out;
  std::string problems;
  parseSettings(
      "[game]\nlast-stage = 51\ndrag = maybe\n[window]\nscale = 9\nfullscreen = on\n"
      "[sound]\nmaster-volume = -1\nmusic-volume = 12abc\neffects-volume = 30\ncolour = blue\n"
      "[input]\npointer-speed = 59\nstick-dead-zone = 91\n[input]\npointer-speed = 300\n",
      &out, &problems);
  Settings expected;
  expected.fullscreen = true;
  expected.effectsVolume = 30;
  expected.pointerSpeed = 300;
  EXPECT_TRUE(out == expected);
  for (const char* named : {"game.last-stage", "game.drag", "window.scale", "sound.master-volume",
                            "sound.music-volume", "sound.colour", "input.pointer-speed = 59",
                            "input.stick-dead-zone"})
    EXPECT_NE(problems.find(named), std::string::npos) << named << " in: " << problems;
  // Lines that are not settings at all, and binary junk.
  parseSettings("[game\nthis is not\x01\xff\n[sound]\neffects-volume = 20\n", &out, &problems);
  EXPECT_NE(problems, "");
  parseSettings(std::string("[sound]\nmaster-volume = 5\0junk", 28), &out, &problems);
  EXPECT_EQ(out.masterVolume, 5);
  EXPECT_NE(problems.find("NUL"), std::string::npos);
}

// Before `muted` a mute was kept as a master volume of 0: such a file reads as
// muted at the volume that M then gave back. A file with `muted` means what
// it says, a volume of 0 too.
TEST(Settings, AMuteKeepsTheVolumeAndOldFilesReadSensibly) {
  Settings out;
  std::string problems;
  parseSettings("[sound]\nmaster-volume = 80\nmuted = on\n", &out, &problems);
  EXPECT_EQ(problems, "");
  EXPECT_TRUE(out.muted);
  EXPECT_EQ(out.masterVolume, 80);
  EXPECT_NE(formatSettings(out).find("\nmuted = on\n"), std::string::npos);
  parseSettings("[sound]\nmaster-volume = 0\nmusic-volume = 40\n", &out, &problems);
  EXPECT_EQ(problems, "");
  EXPECT_TRUE(out.muted);
  EXPECT_EQ(out.masterVolume, 100);
  EXPECT_EQ(out.musicVolume, 40);
  parseSettings("[sound]\nmaster-volume = 0\nmuted = off\n", &out, &problems);
  EXPECT_FALSE(out.muted);
  EXPECT_EQ(out.masterVolume, 0);
  parseSettings("[sound]\nmuted = perhaps\n", &out, &problems);
  EXPECT_FALSE(out.muted);
  EXPECT_NE(problems.find("sound.muted"), std::string::npos);
}

// What is quoted of a damaged file reaches a terminal: nothing that is not
// printable goes out as it is. A section header without its ']' is named,
// and what follows it is read in the section it names.
TEST(Settings, DamageIsQuotedPrintableAndAnUnclosedHeaderIsNamed) {
  Settings out;
  std::string problems;
  parseSettings("[game]\n\x1b[2Jdrag\x07 = on\x9b\nlast-stage = \xff\x01\n", &out, &problems);
  for (char c : problems) EXPECT_TRUE(c >= 0x20 && c < 0x7F) << problems;
  EXPECT_NE(problems.find("\\x1B[2Jdrag\\x07"), std::string::npos) << problems;
  EXPECT_NE(problems.find("last-stage = \\xFF\\x01"), std::string::npos) << problems;

  parseSettings("[game]\ndrag = off\n[sound ; the volumes\r\nmaster-volume = 50\n[window\n", &out, &problems);
  EXPECT_EQ(problems, "line 3: the section header [sound has no closing ]; "
                      "line 5: the section header [window has no closing ]");
  EXPECT_FALSE(out.drag);
  EXPECT_EQ(out.masterVolume, 50);
  // Among other damage, in the order of the lines.
  parseSettings("[game\nno setting here\n[sound]\nloud = yes\n", &out, &problems);
  EXPECT_EQ(problems.rfind("line 1: the section header [game has no closing ]; line 2 is not a setting", 0), 0u)
      << problems;
  EXPECT_NE(problems.find("no setting sound.loud"), std::string::npos) << problems;
}

TEST_F(SettingsFile, MissingGarbledOrHugeFilesGiveDefaultsAndOneLine) {
  settings = unusual();
  EXPECT_EQ(load(), "");  // no file: the defaults, silently
  EXPECT_TRUE(settings == Settings{});

  write("[sound]\nmaster-volume = 400\nmusic-volume = 20\n");
  std::string said = load();
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
  EXPECT_NE(said.find(path_), std::string::npos);
  EXPECT_EQ(settings.masterVolume, 100);
  EXPECT_EQ(settings.musicVolume, 20);

  write(std::string(200000, 'x'));
  said = load();
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
  EXPECT_TRUE(settings == Settings{});
}

// A file that is there but cannot be read (here: a folder in its place) is
// said once, and never written over: it may hold the player's settings.
TEST_F(SettingsFile, AFileThatCannotBeReadIsSaidAndLeftAlone) {
  std::filesystem::create_directories(path_);
  const std::string said = load();
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
  EXPECT_NE(said.find(path_), std::string::npos);
  EXPECT_TRUE(settings == Settings{});
  settings.masterVolume = 10;
  EXPECT_FALSE(saveSettings());
  EXPECT_TRUE(std::filesystem::is_directory(path_));
}

// A save that fails (here: a file where its folder should be) is said once
// for each file the game is given, not at every change.
TEST_F(SettingsFile, AFailedSaveIsSaidOnceForEachFileNamed) {
  std::ofstream(dir_ / "config") << "not a folder";
  auto said = [] {
    testing::internal::CaptureStderr();
    EXPECT_FALSE(saveSettings());
    return testing::internal::GetCapturedStderr();
  };
  const std::string first = said();
  EXPECT_EQ(std::count(first.begin(), first.end(), '\n'), 1) << first;
  EXPECT_NE(first.find(path_), std::string::npos);
  EXPECT_EQ(said(), "");
  setSettingsFile(path_);
  EXPECT_EQ(said(), first);
}

TEST_F(SettingsFile, SavingMakesTheFolderAndReadsBack) {
  settings = unusual();
  ASSERT_TRUE(saveSettings());
  settings = Settings{};
  EXPECT_EQ(load(), "");
  EXPECT_TRUE(settings == unusual());
  // Nowhere to keep them: nothing is written, and the game goes on.
  setSettingsFile("");
  EXPECT_FALSE(saveSettings());
}

TEST_F(SettingsFile, TheTitleStartsWhereThePlayerLeftIt) {
  settings.drag = false;
  settings.lastStage = 12;
  initGameValues();
  applySettingsToGame();
  EXPECT_EQ(flow.stageNumber, 12);
  EXPECT_FALSE(flow.savedDragMode);
  // A choice on the title is kept; moving the selector alone is not written.
  flow.stageNumber = 14;
  flow.dragMode = true;
  noteTitleChoice(TitleAction::Drag);
  noteTitleChoice(TitleAction::Start);
  Settings kept;
  std::string problems;
  parseSettings(read(), &kept, &problems);
  EXPECT_EQ(kept.lastStage, 14);
  EXPECT_TRUE(kept.drag);
  titleObserver = nullptr;
}

TEST_F(SettingsFile, OnlyAWindowThePlayerChangedIsKept) {
  sysSetWindowStart(2, false);
  const WindowChoice atStart = currentWindowChoice();
  rememberWindowChoice(atStart);
  EXPECT_FALSE(std::filesystem::exists(path_));  // the size that fit this screen is not pinned
  sysSetFullscreen(true);
  rememberWindowChoice(atStart);
  EXPECT_TRUE(settings.fullscreen);
  EXPECT_EQ(settings.scale, 0);
  EXPECT_TRUE(std::filesystem::exists(path_));
  sysSetFullscreen(false);
  sysSetWindowStart(0, false);
}

}  // namespace
