// Cleared stages and their best times: the file, and which clears count.
#include <fstream>
#include <sstream>

#include "flow/progress.h"
#include "world/game_fixture.h"

using namespace testgame;

namespace {

using Lines = std::vector<std::string>;
const Lines goalTiles = {"####################", "#.G................#"};
const Lines walkerAt1 = {"....................", ".>.................."};

class ProgressFile : public GameTest {
 protected:
  void SetUp() override {
    GameTest::SetUp();
    path_ = (dir_ / "user" / "progress").string();
    setProgressFile(path_);
    progress = Progress{};
    writeStage(1, goalTiles, walkerAt1);
  }
  void TearDown() override {
    setProgressFile("");
    progress = Progress{};
    GameTest::TearDown();
  }
  std::string read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  void write(const std::string& text) {
    std::filesystem::create_directories(dir_ / "user");
    std::ofstream(path_, std::ios::binary) << text;
  }
  Progress onDisc() {
    Progress p;
    parseProgress(read(path_), &p);
    return p;
  }
  std::string path_;
};

TEST(Progress, TheWrittenFormReadsBackAndDamageIsSeen) {
  Progress p;
  p.bestTime[1] = 60;
  p.bestTime[17] = 3;
  p.bestTime[LastStage] = 1;
  Progress back;
  EXPECT_TRUE(parseProgress(formatProgress(p), &back));
  EXPECT_TRUE(back == p);
  EXPECT_TRUE(parseProgress("", &back));
  EXPECT_TRUE(back == Progress{});
  // What can be read is kept; the rest makes the file damaged.
  for (const char* bad : {"[cleared]\n02 = 30\n51 = 10\n", "[cleared]\n02 = 30\n03 = 61\n", "[cleared]\n02 = 30\nx\n",
                          "[other]\n02 = 30\n", "[cleared]\n02 = 30\n04 = 0\n", "[cleared]\n02 = 30\n-1 = 5\n"}) {
    EXPECT_FALSE(parseProgress(bad, &back)) << bad;
    EXPECT_EQ(back.bestTime[2], std::string(bad).find("[other]") == 0 ? 0 : 30) << bad;
  }
}

TEST_F(ProgressFile, ALiveOrRecordedClearIsKeptWithTheBestTime) {
  for (bool recording : {false, true}) {
    SCOPED_TRACE(recording);
    startPlaying(1);
    flow.recording = recording;
    ASSERT_GT(framesUntil(StageClear, 2000), 0);
    frame();
    const int best = onDisc().bestTime[1];
    EXPECT_GT(best, 50);
    EXPECT_EQ(best, progress.bestTime[1]);
  }
  // A slower clear keeps the best.
  const int best = progress.bestTime[1];
  EXPECT_TRUE(noteClear(1, 5));
  EXPECT_EQ(onDisc().bestTime[1], best);
  EXPECT_TRUE(noteClear(1, 60));
  EXPECT_EQ(onDisc().bestTime[1], 60);
  EXPECT_FALSE(noteClear(0, 60));
  EXPECT_FALSE(noteClear(LastStage + 1, 60));
}

TEST_F(ProgressFile, ADemonstrationClearsNothing) {
  startDemonstration(1, "", true);
  ASSERT_GT(framesUntil(StageClear, 3000), 0);
  frame();
  EXPECT_FALSE(std::filesystem::exists(path_));
  EXPECT_FALSE(anyProgress());
}

TEST_F(ProgressFile, AFileThatCannotBeReadIsNeverWrittenOver) {
  std::filesystem::create_directories(path_);
  testing::internal::CaptureStderr();
  loadProgress();
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
  EXPECT_NE(said.find(path_), std::string::npos);
  EXPECT_FALSE(noteClear(1, 30));
  EXPECT_EQ(progress.bestTime[1], 30);  // the title still shows this run's clears
  EXPECT_TRUE(std::filesystem::is_directory(path_));
}

// A clear that cannot be saved (here: a file where its folder should be) is
// said once for each file the game is given; the clears are still shown.
TEST_F(ProgressFile, AFailedSaveIsSaidOnceForEachFileNamed) {
  std::ofstream(dir_ / "user") << "not a folder";
  auto said = [](int stage) {
    testing::internal::CaptureStderr();
    EXPECT_FALSE(noteClear(stage, 20));
    return testing::internal::GetCapturedStderr();
  };
  const std::string first = said(1);
  EXPECT_EQ(std::count(first.begin(), first.end(), '\n'), 1) << first;
  EXPECT_NE(first.find(path_), std::string::npos);
  EXPECT_EQ(said(2), "");
  EXPECT_EQ(progress.bestTime[2], 20);
  setProgressFile(path_);
  EXPECT_EQ(said(3), first);
}

TEST_F(ProgressFile, ADamagedFileIsSaidOnceAndSetAsideAtTheNextClear) {
  const std::string damaged = "[cleared]\n07 = 33\n\x01\x02 garbage\n";
  write(damaged);
  testing::internal::CaptureStderr();
  loadProgress();
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
  EXPECT_NE(said.find(path_), std::string::npos);
  EXPECT_EQ(progress.bestTime[7], 33);
  EXPECT_EQ(read(path_), damaged);  // untouched until there is something to write
  testing::internal::CaptureStderr();
  EXPECT_TRUE(noteClear(2, 40));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(read(path_ + ".damaged"), damaged);
  const Progress now = onDisc();
  EXPECT_EQ(now.bestTime[7], 33);
  EXPECT_EQ(now.bestTime[2], 40);
  // Only once: the next clear leaves the set-aside copy alone.
  std::filesystem::remove(path_ + ".damaged");
  EXPECT_TRUE(noteClear(3, 40));
  EXPECT_FALSE(std::filesystem::exists(path_ + ".damaged"));
}

}  // namespace
