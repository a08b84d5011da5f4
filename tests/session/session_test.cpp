// The whole game from start-up, played by scripts as a person would play it:
// the title's selector, START and DEMO, live play with its misses and game
// over, a whole game to ALL CLEAR, the wrap after the last stage, recording,
// and the music each scene asks for.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "session_support.h"

using namespace session;

namespace {

// What a player sees of the game's timing, in frames.
constexpr int SelectorRepeatFrame = 35;  // a held arrow steps once, then from its 35th frame on
constexpr int ClearPauseFrames = 120;    // the clear picture stands this long
constexpr int StageOneNoInputMiss = 104;   // stage 1's walker, left alone, meets the spikes
constexpr int StageFiveTimeOut = 3600;     // stage 5, left alone, runs out of time
constexpr int StageNineNoInputMiss = 224;  // stage 9's walker, left alone, walks into the spikes
// Ample for a miss to play out (the picture, the fall, the wait) before the
// stage is ready again.
constexpr int MissSlack = 400;

enum SceneId { Title = 0, DemoStart = 1, NewGame = 2, StageReady = 3, Playing = 4, StageClear = 7,
               GameOver = 8, AllClear = 9, Miss = 10, MissFall = 11, MissWait = 12 };
enum { SoundSwitch = 2, SoundExtraLife = 6, SoundTurn = 9, SoundMiss = 11 };

const Frame* at(const SessionRun& run, long frame) {
  for (const Frame& f : run.frames)
    if (f["f"] == frame) return &f;
  return nullptr;
}

// The first frame of a Miss from `from` on, or -1.
long firstMissAfter(const SessionRun& run, long from) {
  for (const Frame& f : run.frames)
    if (f["f"] >= from && f["scene"] == Miss) return f["f"];
  return -1;
}

bool has(const std::vector<int>& v, int x) { return std::find(v.begin(), v.end(), x) != v.end(); }

// The scenes in the order they ran, each once per stay.
std::vector<long> sceneOrder(const SessionRun& run) {
  std::vector<long> order;
  for (const Frame& f : run.frames)
    if (order.empty() || order.back() != f["scene"]) order.push_back(f["scene"]);
  return order;
}

// The music calls of the whole run, in order.
std::vector<std::string> musicCalls(const SessionRun& run, long from = 0, long to = 1L << 40) {
  std::vector<std::string> calls;
  for (const Frame& f : run.frames)
    if (f["f"] >= from && f["f"] <= to) calls.insert(calls.end(), f.music.begin(), f.music.end());
  return calls;
}

// Script lines that play a stage live: the press that starts it at `ready`
// (a frame of its StageReady), then its demonstration's presses at the same
// Playing frames. Returns the first frame after its clear picture.
long playStage(int stage, long ready, std::string* script) {
  *script += "# stage " + std::to_string(stage) + "\n" + click(ready, {320, 240});
  for (const Press& p : replayPresses(stage)) *script += click(ready + 1 + p.frame, p.at);
  const int playing = clearingFrames(stage);
  EXPECT_GT(playing, 0) << "stage " << stage << "'s demonstration does not clear it";
  return ready + playing + ClearPauseFrames + 1;
}

}  // namespace

TEST(Session, AMalformedLineIsRefusedWithItsNumber) {
  const SessionRun bad = runSession("malformed", "# fine\n10 320 240 0\n\n12 320 240 4\n");
  EXPECT_EQ(bad.code, 2);
  EXPECT_NE(bad.err.find("line 4"), std::string::npos) << bad.err;
  const SessionRun backwards = runSession("backwards", "10 key P\n9 1 1 0\n");
  EXPECT_EQ(backwards.code, 2);
  EXPECT_NE(backwards.err.find("line 2"), std::string::npos) << backwards.err;
  const SessionRun unknown = runSession("unknown", "10 key Hyper\n");
  EXPECT_EQ(unknown.code, 2);
  EXPECT_NE(unknown.err.find("line 1"), std::string::npos) << unknown.err;
  EXPECT_TRUE(unknown.frames.empty());
}

// A held arrow steps once at once, then once a frame from its 35th frame;
// 50 is the top and 1 the bottom; DRAG switches with its sound; F12 closes
// the game on the title.
TEST(Session, TheTitleSelectorDragAndClose) {
  const long holdUp = 10, holdDown = 200, releaseDown = 320;
  std::string script;
  script += std::to_string(holdUp) + " " + std::to_string(NextArrow.x) + " " + std::to_string(NextArrow.y) + " 1\n";
  script += std::to_string(holdDown - 1) + " " + std::to_string(NextArrow.x) + " " + std::to_string(NextArrow.y) + " 0\n";
  script += std::to_string(holdDown) + " " + std::to_string(PreviousArrow.x) + " " + std::to_string(PreviousArrow.y) + " 1\n";
  script += std::to_string(releaseDown) + " " + std::to_string(PreviousArrow.x) + " " + std::to_string(PreviousArrow.y) + " 0\n";
  script += click(330, DragSwitch) + click(340, DragSwitch);
  script += "350 key F12\n";
  const SessionRun run = runSession("title", script);
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.summary, "session frames=350 scene=0 end=key");

  // Frame 1 is the title's entry: its song.
  ASSERT_NE(at(run, 1), nullptr);
  EXPECT_EQ(at(run, 1)->music, (std::vector<std::string>{"load:a004pop3.mid", "play"}));
  int expected = 1;
  for (long f = holdUp; f < holdDown - 1; ++f) {
    const long held = f - holdUp + 1;
    const int before = expected;
    if ((held == 1 || held >= SelectorRepeatFrame) && expected < 50) ++expected;
    const Frame* frame = at(run, f);
    ASSERT_NE(frame, nullptr);
    ASSERT_EQ((*frame)["stageNumber"], expected) << "held for " << held << " frames";
    EXPECT_EQ(has(frame->fx, SoundTurn), expected != before) << "frame " << f;
  }
  EXPECT_EQ(expected, 50);
  for (long f = holdDown; f < releaseDown; ++f) {
    const long held = f - holdDown + 1;
    if ((held == 1 || held >= SelectorRepeatFrame) && expected > 1) --expected;
    ASSERT_EQ((*at(run, f))["stageNumber"], expected) << "held for " << held << " frames";
  }
  EXPECT_EQ(expected, 1);
  EXPECT_EQ((*at(run, 329))["dragMode"], 1);
  EXPECT_EQ((*at(run, 330))["dragMode"], 0);
  EXPECT_TRUE(has(at(run, 330)->fx, SoundMiss));
  EXPECT_EQ((*at(run, 340))["dragMode"], 1);
  for (const Frame& f : run.frames) EXPECT_EQ(f["scene"], Title);
  EXPECT_EQ(run.frames.back()["f"], 349) << "the frame of the F12 runs no more";
}

// Escape and F12 do not close the game in a stage: F12 does nothing, Escape
// opens the menu (no frame runs meanwhile), and its TITLE leads back to the
// title, where Escape closes it.
TEST(Session, EscapeClosesTheGameOnTheTitleOnly) {
  std::string script = click(10, StartButton);
  script += "20 key F12\n30 key Escape\n40 key Escape\n50 key Escape\n60 key Down\n61 key Down\n62 key Enter\n";
  script += "100 key Escape\n";
  const SessionRun run = runSession("escape", script);
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.summary, "session frames=100 scene=0 end=key");
  ASSERT_NE(at(run, 29), nullptr);
  EXPECT_EQ((*at(run, 29))["scene"], StageReady) << "F12 left the stage alone";
  EXPECT_EQ(at(run, 30), nullptr) << "Escape paused the stage";
  ASSERT_NE(at(run, 40), nullptr) << "a second Escape went on";
  EXPECT_EQ((*at(run, 40))["scene"], StageReady);
  EXPECT_EQ(at(run, 55), nullptr);
  ASSERT_NE(at(run, 62), nullptr) << "TITLE in the menu resumed the game";
  EXPECT_EQ((*at(run, 63))["scene"], Title);
  EXPECT_EQ(musicCalls(run, 62, 63), (std::vector<std::string>{"stop", "unload", "load:a004pop3.mid", "play"}));
}

// A game from stage 1 lost three ways (a fall onto spikes, the time running
// out, a walk into spikes), with the stage song restarting after each miss,
// GAME OVER with its song, and a press back to the title on the stage where
// the game ended.
TEST(Session, ThreeMissesEndInGameOverAndTheTitleKeepsTheStage) {
  std::string script = click(10, StartButton);
  long ready = 12;  // NewGame, then StageReady
  // Stage 1, left alone: the walker falls onto the spikes.
  script += click(ready, {320, 240});
  const long firstMiss = ready + 1 + StageOneNoInputMiss;
  ready = firstMiss + MissSlack;
  for (int stage = 1; stage <= 4; ++stage) ready = playStage(stage, ready, &script);
  // Stage 5, left alone: the time runs out.
  script += click(ready, {320, 240});
  const long secondMiss = ready + 1 + StageFiveTimeOut;
  ready = secondMiss + MissSlack;
  for (int stage = 5; stage <= 8; ++stage) ready = playStage(stage, ready, &script);
  // Stage 9, left alone: the walker walks into the deadly side.
  script += click(ready, {320, 240});
  const long thirdMiss = ready + 1 + StageNineNoInputMiss;
  const long pressOnGameOver = thirdMiss + MissSlack;
  script += click(pressOnGameOver, {320, 240});
  script += std::to_string(pressOnGameOver + 20) + " 320 240 0\n";

  const SessionRun run = runSession("misses", script);
  ASSERT_EQ(run.code, 0) << run.err;
  // The time limit goes on counting the frames of the second under way when a
  // stage starts, so the time runs out up to a second early.
  const long timeOut = firstMissAfter(run, secondMiss - 60);
  EXPECT_LE(timeOut, secondMiss);
  for (const long miss : {firstMiss, timeOut, thirdMiss}) {
    ASSERT_NE(at(run, miss), nullptr);
    EXPECT_EQ((*at(run, miss - 1))["scene"], Playing) << "frame " << miss;
    EXPECT_EQ((*at(run, miss))["scene"], Miss) << "frame " << miss;
    EXPECT_EQ(at(run, miss)->music, std::vector<std::string>{"stop"});
  }
  EXPECT_EQ((*at(run, firstMiss))["stageNumber"], 1);
  EXPECT_EQ((*at(run, timeOut))["stageNumber"], 5);
  EXPECT_EQ((*at(run, timeOut))["time"], 0) << "the second miss is the time running out";
  EXPECT_EQ((*at(run, thirdMiss))["stageNumber"], 9);

  // Each miss plays out as Miss, MissFall, MissWait; the first two go back to
  // the stage with its song from the start, the third to GAME OVER.
  std::vector<long> order = sceneOrder(run);
  const std::vector<long> missThenReady = {Miss, MissFall, MissWait, StageReady};
  const std::vector<long> missThenOver = {Miss, MissFall, MissWait, GameOver, Title};
  EXPECT_EQ(std::search(order.begin(), order.end(), missThenOver.begin(), missThenOver.end()) + 5, order.end());
  long missesBackToStage = 0;
  for (auto it = order.begin(); (it = std::search(it, order.end(), missThenReady.begin(), missThenReady.end())) != order.end(); ++it)
    ++missesBackToStage;
  EXPECT_EQ(missesBackToStage, 2);
  for (const Frame& f : run.frames) {
    if (f["scene"] == StageReady && f["sceneEntered"] == 0 && f["f"] > firstMiss && !f.music.empty()) {
      EXPECT_EQ(f.music, (std::vector<std::string>{"load:a002pop1.mid", "play"}));
    }
  }
  const Frame* over = nullptr;
  for (const Frame& f : run.frames)
    if (f["scene"] == GameOver) {
      over = &f;
      break;
    }
  ASSERT_NE(over, nullptr);
  EXPECT_EQ(over->music, (std::vector<std::string>{"unload", "load:a003pop2.mid", "play"}));
  EXPECT_EQ((*over)["lives"], 0);
  EXPECT_EQ(at(run, pressOnGameOver)->music, (std::vector<std::string>{"stop", "unload"}));
  const Frame& last = run.frames.back();
  EXPECT_EQ(last["scene"], Title);
  EXPECT_EQ(last["stageNumber"], 9) << "the selector stands on the stage where the game ended";
  EXPECT_EQ(run.summary, "session frames=" + std::to_string(pressOnGameOver + 20) + " scene=0 end=frames");
}

// All fifty stages in one game from stage 1, their presses clicked live, end
// in ALL CLEAR; fourth stars give lives on the way.
TEST(Session, AWholeGameClickedLiveReachesAllClear) {
  std::string script = click(10, StartButton);
  long ready = 12;
  for (int stage = 1; stage <= 50; ++stage) ready = playStage(stage, ready, &script);
  script += click(ready + 10, {320, 240});
  script += std::to_string(ready + 30) + " 320 240 0\n";
  const SessionRun run = runSession("wholegame", script);
  ASSERT_EQ(run.code, 0) << run.err;

  long lives = 3, extraLives = 0, cleared = 0;
  const Frame* allClear = nullptr;
  for (const Frame& f : run.frames) {
    EXPECT_NE(f["scene"], Miss) << "a miss at frame " << f["f"] << " on stage " << f["stageNumber"];
    if (f["scene"] == StageClear && f["sceneEntered"] == 0 && f["stagesCleared"] == cleared) ++cleared;
    if (f["lives"] > lives) {
      ++extraLives;
      EXPECT_TRUE(has(f.fx, SoundExtraLife)) << "frame " << f["f"];
      EXPECT_EQ(f["stars"], 4) << "the fourth star gives the life";
    }
    if (f["scene"] != Title) lives = f["lives"];
    if (f["scene"] == AllClear && !allClear) allClear = &f;
  }
  EXPECT_GE(extraLives, 3);
  ASSERT_NE(allClear, nullptr);
  // The stage after the last cannot be loaded: that StageReady frame changes the song.
  const Frame* before = at(run, (*allClear)["f"] - 1);
  ASSERT_NE(before, nullptr);
  EXPECT_EQ((*before)["scene"], StageReady);
  EXPECT_EQ(before->music, (std::vector<std::string>{"unload", "load:a005pop4.mid", "play"}));
  EXPECT_EQ(cleared, 50);
  EXPECT_EQ(run.frames.back()["scene"], Title);
}

// A game started at stage 49 goes on to stage 1 after stage 50, without ALL CLEAR.
TEST(Session, AGameStartedLateWrapsToStageOne) {
  // 48 steps: one at once, then one a frame from the 35th.
  const long hold = SelectorRepeatFrame + 46;
  std::string script = "10 " + std::to_string(NextArrow.x) + " " + std::to_string(NextArrow.y) + " 1\n";
  script += std::to_string(10 + hold) + " " + std::to_string(NextArrow.x) + " " + std::to_string(NextArrow.y) + " 0\n";
  const long start = 10 + hold + 5;
  script += click(start, StartButton);
  long ready = start + 2;
  for (int stage = 49; stage <= 50; ++stage) ready = playStage(stage, ready, &script);
  script += std::to_string(ready + 10) + " 320 240 0\n";
  const SessionRun run = runSession("wrap", script);
  ASSERT_EQ(run.code, 0) << run.err;
  ASSERT_NE(at(run, start), nullptr);
  EXPECT_EQ((*at(run, start))["stageNumber"], 49);
  for (const Frame& f : run.frames) EXPECT_NE(f["scene"], AllClear);
  const Frame& last = run.frames.back();
  EXPECT_EQ(last["scene"], StageReady);
  EXPECT_EQ(last["stageNumber"], 1);
  EXPECT_EQ(last["stagesCleared"], 0);
}

// A recording session writes the stage's replay; playing that replay's
// samples back as live input while recording writes the same bytes again,
// and DEMO plays it to the clear.
TEST(Session, ARecordingIsWrittenAndPlaysBack) {
  std::string script = click(10, StartButton);
  const long end = playStage(1, 12, &script);
  script += std::to_string(end + 5) + " 320 240 0\n";
  const SessionRun run = runSession("record", script, "--record --replay-out replays");
  ASSERT_EQ(run.code, 0) << run.err;
  for (const Frame& f : run.frames) ASSERT_EQ(f["recording"], 1);
  const std::string recorded = slurp(run.dir / "replays" / "01.dat");
  ASSERT_EQ(recorded.size(), 21600u);

  // Every Playing frame's sample as it was recorded, given back as live input.
  std::string again = click(10, StartButton) + click(12, {320, 240});
  int lastX = -1, lastY = -1, lastButton = -1;
  for (size_t i = 0; i + 6 <= recorded.size(); i += 6) {
    const auto u = [&](size_t k) { return static_cast<int>(static_cast<unsigned char>(recorded[i + k])); };
    const int x = u(0) | u(1) << 8, y = u(2) | u(3) << 8, button = u(4);
    if (x == 0 && y == 0 && button == 0) break;  // after the clear
    if (x == lastX && y == lastY && button == lastButton) continue;
    again += std::to_string(13 + i / 6) + " " + std::to_string(x) + " " + std::to_string(y) + " " +
             std::to_string(button) + "\n";
    lastX = x, lastY = y, lastButton = button;
  }
  again += std::to_string(end + 5) + " 320 240 0\n";
  const SessionRun rerun = runSession("rerecord", again, "--record --replay-out replays");
  ASSERT_EQ(rerun.code, 0) << rerun.err;
  EXPECT_EQ(slurp(rerun.dir / "replays" / "01.dat"), recorded);

  // Not recording, with the recordings' folder as the player's: DEMO plays it.
  const SessionRun demo = runSession("demo-recorded", click(10, DemoButton) + "2000 320 240 0\n",
                              "--replay-out " + (run.dir / "replays").string());
  ASSERT_EQ(demo.code, 0) << demo.err;
  bool cleared = false;
  for (const Frame& f : demo.frames) cleared = cleared || f["scene"] == StageClear;
  EXPECT_TRUE(cleared);
  EXPECT_EQ(demo.frames.back()["scene"], Title);
}

// DEMO of a stage without a replay file goes back to the title, whose song
// plays on.
TEST(Session, DemoWithoutAReplayReturnsToTheTitle) {
  const fs::path data = fs::temp_directory_path() / ("wendlop-session-noreplay-" + std::to_string(getpid()));
  fs::remove_all(data);
  fs::create_directories(data / "replay");
  for (const char* folder : {"bmp", "map", "midi", "se"}) fs::create_directory_symlink(fs::path(gameData) / folder, data / folder);
  const SessionRun run = runSession("demo-missing", click(10, DemoButton) + "40 320 240 0\n", "", data.string());
  fs::remove_all(data);
  ASSERT_EQ(run.code, 0) << run.err;
  ASSERT_NE(at(run, 11), nullptr);
  EXPECT_EQ((*at(run, 11))["scene"], DemoStart);
  EXPECT_EQ((*at(run, 12))["scene"], Title);
  EXPECT_EQ(at(run, 12)->music, (std::vector<std::string>{"load:a004pop3.mid", "play"}))
      << "the title's entry asks again; the song already loaded plays on";
  EXPECT_EQ(sceneOrder(run), (std::vector<long>{Title, DemoStart, Title}));
  EXPECT_EQ(run.frames.back()["demoPlayback"], 0);
}

// The pictures: every Nth presented frame as an 8-bit PNG named by its frame.
TEST(Session, CanvasesAreWrittenForPresentedFrames) {
  const SessionRun run = runSession("canvas", click(10, StartButton) + "30 320 240 0\n", "--canvas-dir pictures --canvas-every 7");
  ASSERT_EQ(run.code, 0) << run.err;
  std::vector<long> written, presented;
  for (const auto& entry : fs::directory_iterator(run.dir / "pictures"))
    written.push_back(std::atol(entry.path().stem().string().substr(6).c_str()));
  std::sort(written.begin(), written.end());
  for (const Frame& f : run.frames)
    if (f["frameDrawn"]) presented.push_back(f["f"]);
  std::vector<long> expected;
  for (size_t i = 0; i < presented.size(); i += 7) expected.push_back(presented[i]);
  EXPECT_EQ(written, expected);
  const std::string png = slurp(run.dir / "pictures" / "frame-000001.png");
  ASSERT_GT(png.size(), 33u);
  EXPECT_EQ(png.substr(1, 3), "PNG");
  EXPECT_EQ(static_cast<int>(png[24]), 8) << "8 bits a pixel";
  EXPECT_EQ(static_cast<int>(png[25]), 3) << "indexed colour";
}

// The scripts kept beside these tests, each with the end it expects on a
// line "# expect: ..."; scripts/golden.sh plays them too.
TEST(Session, TheKeptScriptsEndAsTheySay) {
  int scripts = 0;
  for (const auto& entry : fs::directory_iterator(fs::path(WENDLOP_SOURCE_DIR) / "tests/session/scripts")) {
    const std::string text = slurp(entry.path());
    const size_t at = text.find("# expect: ");
    ASSERT_NE(at, std::string::npos) << entry.path() << " says nothing of its end";
    const std::string expected = text.substr(at + 10, text.find('\n', at) - at - 10);
    const SessionRun run = runSession("kept-" + entry.path().stem().string(), text);
    EXPECT_EQ(run.code, 0) << entry.path() << ": " << run.err;
    EXPECT_EQ(run.summary, expected) << entry.path();
    ++scripts;
  }
  EXPECT_GE(scripts, 3);
}
