// Recording a cleared stage, playing it back with DEMO, and replay files that
// are short, odd or cannot be written.
#include "display/display.h"
#include "display/surface.h"
#include "world/game_fixture.h"

using namespace testgame;

namespace {

using Lines = std::vector<std::string>;

// The walker paces between the wall and a closed switch block until a click
// opens the block; then it walks on to the goal.
const Lines lockedTiles = {"####################", "#...!.G............#"};
const Lines walkerAt1 = {"....................", ".>.................."};

struct Record {
  int x, y, button, reserved;
};
Record recordAt(const std::vector<uint8_t>& bytes, int k) {
  const uint8_t* r = bytes.data() + 6 * k;
  return {r[0] | (r[1] << 8), r[2] | (r[3] << 8), r[4], r[5]};
}

class Replay : public GameTest {
 protected:
  void SetUp() override {
    GameTest::SetUp();
    userFolder_ = (dir_ / "user" / "wendlop" / "replay").string();
    setUserReplayFolder(userFolder_.c_str());
    writeStage(1, lockedTiles, walkerAt1);
  }
  void begin() {
    initGameValues();
    flow.scene = Title;
    frame();
  }
  void press(int x, int y) {
    buttonDown(x, y);
    frame();
    buttonUp();
  }
  // From the title: START, a press to begin the stage, the unlocking click at
  // Playing frame 20, and on to the clear. Returns the Playing frames.
  int recordAClear() {
    press(16 * 13 + 8, 16 * 23 + 8);
    frame();  // NewGame
    press(620, 470);
    EXPECT_EQ(flow.scene, Playing);
    frames(19);
    press(4 * 32 + 16, 32 + 16);
    const int rest = framesUntil(StageClear, 500);
    EXPECT_GT(rest, 0);
    frame();  // the StageClear entry writes the file
    return 20 + rest;
  }
  std::vector<uint8_t> readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
  }

  std::string userFolder_;
};

TEST_F(Replay, RecordingWritesTheClearedAttempt) {
  flow.recording = true;
  begin();
  EXPECT_EQ(flow.dragMode, 0);
  const int playing = recordAClear();
  EXPECT_EQ(playing, 112);

  // The folder was made, and nothing but the file is left in it.
  const auto file = std::filesystem::path(userFolder_) / "01.dat";
  ASSERT_TRUE(std::filesystem::exists(file));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(userFolder_), {}), 1);
  const auto bytes = readAll(file);
  ASSERT_EQ(bytes.size(), 21600u);
  for (int k = 0; k < 19; ++k) {
    const Record r = recordAt(bytes, k);
    EXPECT_EQ(r.x, 620) << k;
    EXPECT_EQ(r.y, 470) << k;
    EXPECT_EQ(r.button, 0) << k;
  }
  const Record click = recordAt(bytes, 19);
  EXPECT_EQ(click.x, 144);
  EXPECT_EQ(click.y, 48);
  EXPECT_EQ(click.button, 1);
  EXPECT_EQ(recordAt(bytes, 20).button, 0);
  EXPECT_EQ(recordAt(bytes, playing - 1).x, 144);
  for (int k = playing; k < ReplayRecords; ++k) {
    const Record r = recordAt(bytes, k);
    ASSERT_TRUE(r.x == 0 && r.y == 0 && r.button == 0 && r.reserved == 0) << "record " << k;
  }
  // Nothing was written into the data folder.
  EXPECT_FALSE(std::filesystem::exists(dir_ / "replay"));
}

TEST_F(Replay, DemoOfARecordingClearsTheStageAgain) {
  flow.recording = true;
  begin();
  const int playing = recordAClear();
  const auto recorded = readAll(std::filesystem::path(userFolder_) / "01.dat");

  // A new run without recording. The shipped replay (no input) is read only
  // when the user has none.
  resetGameForTest();
  setUserReplayFolder(userFolder_.c_str());
  std::vector<uint8_t> idle(ReplayBytes, 0);
  writeFile("replay/01.dat", idle.data(), idle.size());
  begin();
  eventLog().clear();
  press(16 * 28 + 8, 16 * 23 + 8);
  moveTo(600, 300);  // the live mouse has no say in a demonstration
  buttonDown(600, 300);
  int demoPlaying = 0;
  bool cleared = false;
  for (int f = 0; f < 1000 && flow.scene != Title; ++f) {
    if (flow.scene == Playing) ++demoPlaying;
    if (flow.scene == StageClear) cleared = true;
    frame();
  }
  buttonUp();
  EXPECT_TRUE(cleared);
  EXPECT_EQ(demoPlaying, playing);
  EXPECT_EQ(flow.stageNumber, 1);
  frame();
  EXPECT_FALSE(flow.demoPlayback);
  EXPECT_EQ(eventLog(), (Lines{"fx 2", "music load midi/a002pop1.mid", "music play", "fx 2",
                               "music load midi/a004pop3.mid", "music play"}));
  // Playing it back wrote nothing.
  EXPECT_EQ(readAll(std::filesystem::path(userFolder_) / "01.dat"), recorded);

  // Without the user's file the shipped one plays, and with no input the
  // walker paces until the time runs out; the demo never reaches GameOver.
  std::filesystem::remove(std::filesystem::path(userFolder_) / "01.dat");
  press(16 * 28 + 8, 16 * 23 + 8);
  bool missed = false;
  for (int f = 0; f < 5000 && flow.scene != Title; ++f) {
    missed = missed || flow.scene == Miss;
    frame();
  }
  EXPECT_TRUE(missed);
  EXPECT_EQ(flow.scene, Title);
}

TEST_F(Replay, ShortFileFillsTheRestWithNoInput) {
  flow.recording = true;
  begin();
  recordAClear();
  auto bytes = readAll(std::filesystem::path(userFolder_) / "01.dat");
  bytes.resize(20 * ReplayRecordSize + 3);  // up to the click and half a record
  writeFile("user/wendlop/replay/01.dat", bytes.data(), bytes.size());

  resetGameForTest();
  setUserReplayFolder(userFolder_.c_str());
  std::memset(replayBuffer, 0xA5, sizeof replayBuffer);  // an earlier demonstration's leftovers
  flow.stageNumber = 1;
  ASSERT_TRUE(loadReplay());
  EXPECT_EQ(std::memcmp(replayBuffer, bytes.data(), bytes.size()), 0);
  for (size_t i = bytes.size(); i < sizeof replayBuffer; ++i) ASSERT_EQ(replayBuffer[i], 0) << "byte " << i;

  // It still plays: the click is in the part that is there.
  begin();
  press(16 * 28 + 8, 16 * 23 + 8);
  bool cleared = false;
  for (int f = 0; f < 1000 && flow.scene != Title; ++f) {
    cleared = cleared || flow.scene == StageClear;
    frame();
  }
  EXPECT_TRUE(cleared);

  // An empty file is a replay of no input at all.
  writeFile("user/wendlop/replay/01.dat", "", 0);
  std::memset(replayBuffer, 0xA5, sizeof replayBuffer);
  ASSERT_TRUE(loadReplay());
  for (size_t i = 0; i < sizeof replayBuffer; ++i) ASSERT_EQ(replayBuffer[i], 0) << "byte " << i;
}

// A recording that cannot be written is said on stderr with the system's
// reason and on the clear picture, and the game plays on to the next stage.
TEST_F(Replay, ARecordingThatCannotBeSavedIsSaidAndPlayGoesOn) {
  std::filesystem::create_directory_symlink(std::filesystem::path(WENDLOP_SOURCE_DIR) / "data" / "bmp", dir_ / "bmp");
  ASSERT_EQ(initDisplay(), 1);
  struct Release {
    ~Release() {
      releaseDisplay();
      display.displayReady = false;
    }
  } release;
  writeStage(2, lockedTiles, walkerAt1);
  writeFile("blocked", "x", 1);
  const std::string blocked = (dir_ / "blocked" / "replay").string();
  setUserReplayFolder(blocked.c_str());
  // Whether the clear picture carries the words: drawing them again changes
  // nothing only when they are there already.
  auto showsNotSaved = [] {
    std::vector<uint8_t> before(&FrameCanvas[0][0], &FrameCanvas[0][0] + sizeof FrameCanvas);
    drawText(12, 17, "REPLAY NOT SAVED");
    return std::memcmp(before.data(), FrameCanvas, sizeof FrameCanvas) == 0;
  };

  flow.recording = true;
  begin();
  testing::internal::CaptureStderr();
  recordAClear();
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "wendlop: replay not saved: " + blocked +
                "/01.dat cannot be written: its folder cannot be made (Not a directory)\n");
  EXPECT_EQ(flow.scene, StageClear);
  EXPECT_TRUE(showsNotSaved());
  EXPECT_EQ(std::filesystem::file_size(dir_ / "blocked"), 1u);

  // The next stage follows as after any clear, and once the folder can be
  // written its recording is kept without a word.
  ASSERT_GT(framesUntil(StageReady, 200), 0);
  EXPECT_EQ(flow.stageNumber, 2);
  setUserReplayFolder(userFolder_.c_str());
  press(620, 470);
  ASSERT_EQ(flow.scene, Playing);
  frames(19);
  press(4 * 32 + 16, 32 + 16);
  ASSERT_GT(framesUntil(StageClear, 500), 0);
  testing::internal::CaptureStderr();
  frame();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_FALSE(showsNotSaved());
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(userFolder_) / "02.dat"));
}

TEST_F(Replay, SamplesFromTheBuffer) {
  flow.demoPlayback = true;
  uint8_t* r = replayBuffer;
  // Record 0: (0x1234, 0xFEDC) little-endian, button 1.
  const uint8_t first[6] = {0x34, 0x12, 0xDC, 0xFE, 1, 0};
  const uint8_t second[6] = {5, 0, 6, 0, 2, 0};  // an odd button byte is used as read
  const uint8_t third[6] = {5, 0, 6, 0, 1, 0};
  std::memcpy(r, first, 6);
  std::memcpy(r + 6, second, 6);
  std::memcpy(r + 12, third, 6);
  flow.replayIndex = 0;
  samplePointer(livePointer);
  EXPECT_EQ(flow.pointer.x, 0x1234);
  EXPECT_EQ(flow.pointer.y, 0xFEDC);
  EXPECT_TRUE(isPress(flow.pointer));
  flow.replayIndex = 1;
  samplePointer(livePointer);
  EXPECT_EQ(flow.pointer.button, 2);
  EXPECT_FALSE(isPress(flow.pointer));
  flow.replayIndex = 2;
  samplePointer(livePointer);
  EXPECT_EQ(flow.pointer.previousButton, 2);
  EXPECT_FALSE(isPress(flow.pointer));  // a press is exactly 1 after 0

  // The index stops at the last record; so does recording.
  flow.demoPlayback = false;
  flow.recording = true;
  flow.pointer.x = 70000;  // only the low 16 bits are kept
  flow.pointer.y = 9;
  flow.pointer.button = 1;
  flow.replayIndex = ReplayRecords - 2;
  recordingStep();
  recordingStep();
  flow.pointer.x = 11;
  recordingStep();
  EXPECT_EQ(flow.replayIndex, ReplayRecords - 1);
  const uint8_t* last = replayBuffer + 6 * (ReplayRecords - 1);
  EXPECT_EQ(last[0] | (last[1] << 8), 11);
  const uint8_t* before = replayBuffer + 6 * (ReplayRecords - 2);
  EXPECT_EQ(before[0] | (before[1] << 8), 70000 - 65536);
}

TEST_F(Replay, AFolderThatCannotBeMadeLosesNothing) {
  writeFile("blocked", "x", 1);
  setUserReplayFolder((dir_ / "blocked" / "replay").c_str());
  flow.stageNumber = 3;
  EXPECT_FALSE(saveReplay());
  EXPECT_EQ(std::filesystem::file_size(dir_ / "blocked"), 1u);

  // A good file is replaced whole, never left half-written.
  setUserReplayFolder(userFolder_.c_str());
  std::memset(replayBuffer, 7, sizeof replayBuffer);
  ASSERT_TRUE(saveReplay());
  std::memset(replayBuffer, 9, sizeof replayBuffer);
  ASSERT_TRUE(saveReplay());
  const auto bytes = readAll(std::filesystem::path(userFolder_) / "03.dat");
  ASSERT_EQ(bytes.size(), 21600u);
  EXPECT_EQ(bytes.front(), 9);
  EXPECT_EQ(bytes.back(), 9);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(userFolder_), {}), 1);
}

// Without a folder of the user's own there is nowhere to record: the data
// folder may be the installed one that every user shares.
TEST_F(Replay, WithoutAUserFolderNothingIsWrittenBesideTheData) {
  setUserReplayFolder("");
  flow.stageNumber = 4;
  std::memset(replayBuffer, 7, sizeof replayBuffer);
  EXPECT_FALSE(saveReplay());
  EXPECT_FALSE(std::filesystem::exists(dir_ / "replay"));
}

}  // namespace
