// Pause, the menu in play, leaving a demonstration and the volume keys, run
// through the window procedure and the frame clock as the main loop runs them.
#include <sstream>

#include "app/controls.h"
#include "app/settings.h"
#include "display/display.h"
#include "display/surface.h"
#include "flow/progress.h"
#include "sound/sound_mixer.h"
#include "world/game_fixture.h"

using namespace testgame;

namespace {

using Lines = std::vector<std::string>;
const Lines pacingTiles = {"####################", "#...#.............1#"};
const Lines goalTiles = {"####################", "#.G................#"};
const Lines walkerAt1 = {"....................", ".>.................."};

class Controls : public GameTest {
 protected:
  void SetUp() override {
    GameTest::SetUp();
    resetControls();
    settings = Settings{};
    setSettingsFile((dir_ / "settings.ini").string());
  }
  void TearDown() override {
    resetControls();
    settings = Settings{};
    setSettingsFile("");
    GameTest::TearDown();
  }
  void key(uint32_t k) { windowProcedure(SysEvent{SysMsgKeyDown, k}); }
  // The master volume the mixer applies, in percent: music at a tenth of full
  // scale goes through it.
  static int soundVolume() {
    int16_t out[2];
    mixAudio(out, 1, [](int16_t* music, int frames) { std::fill(music, music + 2 * frames, int16_t{3200}); });
    return (out[0] * 100 + 1600) / 3200;
  }
  // The state a frame leaves, without the clock (a pause moves it on purpose).
  static GameSnapshot stateOfTheGame() {
    GameSnapshot s;
    saveGame(&s);
    s.frameClock = FrameClock{};
    return s;
  }
  // Frames of a demonstration of `stage` from the real data, with a pause of
  // `pauseMs` before frame `pauseAt` (none when negative); the state after
  // every frame and the sounds and music calls along the way.
  void playDemonstration(int stage, int pauseAt, uint32_t pauseMs, int frames, std::vector<GameSnapshot>* states) {
    ASSERT_TRUE(sysChangeDirectory(WENDLOP_SOURCE_DIR "/data"));
    resetGameForTest();
    resetControls();
    startDemonstration(stage, nullptr, true);
    for (int i = 0; i < frames; ++i) {
      if (i == pauseAt) {
        key('p');
        ASSERT_TRUE(pauseState.paused);
        // The main loop keeps calling; nothing may run.
        const GameSnapshot held = stateOfTheGame();
        for (uint32_t ms = 0; ms < pauseMs; ms += 7) {
          sysAdvanceFakeTicks(7);
          runFrame();
        }
        EXPECT_TRUE(held == stateOfTheGame());
        key('p');
        ASSERT_FALSE(pauseState.paused);
      }
      frame();
      ASSERT_EQ(frameClock.frameSkip, 1) << "frame " << i;
      states->push_back(stateOfTheGame());
    }
  }
  // Escape, then the menu line that does `choice`, chosen with the keys.
  void chooseFromMenu(PauseChoice choice) {
    key(SysKeyEscape);
    ASSERT_TRUE(pauseState.paused);
    PauseChoice choices[3];
    const int n = pauseMenuChoices(choices);
    for (int i = 0; i < n && choices[pauseState.selected] != choice; ++i) key(SysKeyDown);
    ASSERT_EQ(choices[pauseState.selected], choice);
    key(SysKeyEnter);
    EXPECT_FALSE(pauseState.paused);
  }
};

TEST_F(Controls, APauseInADemonstrationChangesNothingButTheClock) {
  std::vector<GameSnapshot> straight, paused;
  playDemonstration(3, -1, 0, 900, &straight);
  const auto straightEvents = eventLog();
  // Five seconds paused is far beyond a stall: resuming must not count it.
  playDemonstration(3, 300, 5000, 900, &paused);
  ASSERT_EQ(straight.size(), paused.size());
  for (size_t i = 0; i < straight.size(); ++i) ASSERT_TRUE(straight[i] == paused[i]) << "frame " << i;
  EXPECT_EQ(straightEvents, eventLog());
  EXPECT_GT(flow.replayIndex, 0);
}

TEST_F(Controls, FocusLossPausesOnlyAStageInPlay) {
  writeStage(1, pacingTiles, walkerAt1);
  windowProcedure(SysEvent{SysMsgFocusLost, 0});
  EXPECT_FALSE(pauseState.paused);  // the title
  startPlaying(1);
  windowProcedure(SysEvent{SysMsgFocusLost, 0});
  EXPECT_TRUE(pauseState.paused);
  const int timeLeft = flow.timeLeft;
  for (int i = 0; i < 200; ++i) {
    sysAdvanceFakeTicks(10);
    runFrame();
  }
  EXPECT_EQ(flow.timeLeft, timeLeft);
  key('p');
  EXPECT_FALSE(pauseState.paused);
  frames(3);
  EXPECT_EQ(frameClock.frameSkip, 1);
  // Unless the player said otherwise.
  settings.pauseOnFocusLoss = false;
  windowProcedure(SysEvent{SysMsgFocusLost, 0});
  EXPECT_FALSE(pauseState.paused);
  // The pause key does nothing outside a stage.
  setScene(Title);
  frame();
  key('p');
  EXPECT_FALSE(pauseState.paused);
}

TEST_F(Controls, RestartStageCostsALifeAndCanEndTheGame) {
  writeStage(1, pacingTiles, walkerAt1);
  startPlaying(1);
  flow.lives = 3;
  chooseFromMenu(PauseChoice::RestartStage);
  EXPECT_EQ(flow.scene, Miss);
  ASSERT_GT(framesUntil(StageReady, 2000), 0);
  EXPECT_EQ(flow.lives, 2);
  EXPECT_EQ(flow.stageNumber, 1);
  // The last life: the restart ends the game as a miss would.
  setScene(Playing);
  flow.lives = 1;
  eventLog().clear();
  chooseFromMenu(PauseChoice::RestartStage);
  ASSERT_GT(framesUntil(GameOver, 2000), 0);
  EXPECT_EQ(flow.lives, 0);
  // Once the stage is over (here: the miss under way) there is nothing to restart.
  setScene(Miss);
  key(SysKeyEscape);
  PauseChoice choices[3];
  EXPECT_EQ(pauseMenuChoices(choices), 2);
  key(SysKeyEscape);
  EXPECT_FALSE(pauseState.paused);
}

TEST_F(Controls, TitleFromPlayLeavesTheGame) {
  writeStage(1, pacingTiles, walkerAt1);
  startPlaying(1);
  chooseFromMenu(PauseChoice::Title);
  EXPECT_EQ(countOf("music stop"), 1);
  frame();
  EXPECT_EQ(flow.scene, Title);
  // A press on the menu is not the game's: CONTINUE by the pointer.
  startPlaying(1);
  key(SysKeyEscape);
  buttonDown(16 * 14 + 8, 16 * pauseMenuRow(0) + 8);
  EXPECT_FALSE(pauseState.paused);
  EXPECT_FALSE(livePointer.liveButton);
  buttonUp();
  EXPECT_EQ(flow.scene, Playing);
}

TEST_F(Controls, EscapeOrAClickEndsADemonstration) {
  writeStage(1, pacingTiles, walkerAt1);
  for (int way = 0; way < 3; ++way) {
    SCOPED_TRACE(way);
    startDemonstration(1, "", true);
    frames(40);
    ASSERT_NE(flow.scene, Title);
    if (way == 0) {
      key(SysKeyEscape);
    } else if (way == 1) {
      buttonDown(320, 240);
      buttonUp();
    } else {
      key('p');  // paused first, then ended
      key(SysKeyEscape);
    }
    EXPECT_FALSE(pauseState.paused);
    EXPECT_EQ(flow.scene, Title);
    EXPECT_FALSE(livePointer.liveButton);  // the click does not press the title
    frame();
    EXPECT_EQ(flow.scene, Title);
    EXPECT_GT(countOf("music stop"), 0);
    eventLog().clear();
  }
}

TEST_F(Controls, VolumeKeysAndMuteAreKept) {
  key(SysKeyMinus);
  key(SysKeyKeypadMinus);
  EXPECT_EQ(settings.masterVolume, 80);
  // A mute keeps the volume, through a restart: M brings back 80, not 100.
  key('m');
  EXPECT_TRUE(settings.muted);
  EXPECT_EQ(settings.masterVolume, 80);
  EXPECT_EQ(soundVolume(), 0);
  loadSettings();
  EXPECT_TRUE(settings.muted);
  EXPECT_EQ(settings.masterVolume, 80);
  applyVolume();
  EXPECT_EQ(soundVolume(), 0);
  key('m');
  EXPECT_FALSE(settings.muted);
  EXPECT_EQ(settings.masterVolume, 80);
  EXPECT_EQ(soundVolume(), 80);
  // A volume key while muted brings the sound back at the new volume.
  key('m');
  key(SysKeyPlus);
  EXPECT_FALSE(settings.muted);
  EXPECT_EQ(settings.masterVolume, 90);
  for (int i = 0; i < 5; ++i) key(SysKeyEquals);
  EXPECT_EQ(settings.masterVolume, 100);
  for (int i = 0; i < 15; ++i) key(SysKeyMinus);
  EXPECT_EQ(settings.masterVolume, 0);
  loadSettings();
  EXPECT_EQ(settings.masterVolume, 0);
  EXPECT_FALSE(settings.muted);
  // Silent by its volume, M gives the sound back rather than muting nothing.
  key('m');
  EXPECT_FALSE(settings.muted);
  EXPECT_EQ(settings.masterVolume, 100);
  // None of it is the game's.
  EXPECT_EQ(flow.scene, Title);
  EXPECT_TRUE(eventLog().empty());
}

// With the real pictures: the overlay and the notice are drawn over the
// picture and taken away again; the game's canvas is as it was.
class ControlsOnScreen : public Controls {
 protected:
  void SetUp() override {
    Controls::SetUp();
    ASSERT_TRUE(sysChangeDirectory(WENDLOP_SOURCE_DIR "/data"));
    ASSERT_TRUE(initDisplay());
  }
  void TearDown() override {
    releaseDisplay();
    Controls::TearDown();
  }
  static std::vector<uint8_t> canvas() {
    const uint8_t* p = &FrameCanvas[0][0];
    return std::vector<uint8_t>(p, p + sizeof FrameCanvas);
  }
  // Rows of the canvas that differ between two pictures.
  static std::vector<int> changedRows(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    std::vector<int> rows;
    for (int y = 0; y < CanvasHeight; ++y)
      if (!std::equal(a.begin() + y * CanvasWidth, a.begin() + (y + 1) * CanvasWidth, b.begin() + y * CanvasWidth))
        rows.push_back(y);
    return rows;
  }
};

TEST_F(ControlsOnScreen, OverlayAndNoticeLeaveTheCanvasAsItWas) {
  startDemonstration(2, nullptr, true);
  frames(200);
  const auto before = canvas();
  key('p');
  EXPECT_FALSE(changedRows(before, canvas()).empty());  // dimmed, with PAUSED
  key(SysKeyMinus);                                      // a notice while paused
  key('p');
  EXPECT_EQ(canvas(), before);
  // The notice over a running game: drawn for the present, then taken away.
  const auto beforeNotice = canvas();
  showNotice("VOLUME 50%");
  EXPECT_TRUE(presentWithNotice());
  EXPECT_EQ(canvas(), beforeNotice);
}

TEST_F(ControlsOnScreen, TheTitleShowsProgressOnALineOfItsOwn) {
  progress = Progress{};
  initGameValues();
  flow.scene = Title;
  frames(3);
  const auto plain = canvas();
  progress.bestTime[1] = 42;
  setScene(Title);
  frames(3);
  const auto shown = canvas();
  const auto rows = changedRows(plain, shown);
  ASSERT_FALSE(rows.empty());
  EXPECT_GE(rows.front(), 21 * 16);
  EXPECT_LT(rows.back(), 22 * 16);
  progress = Progress{};
}

}  // namespace
