// The check as the game runs it, in a child process of the game's binary that
// can be cancelled or can die at any moment, and as `wendlop --check` prints
// it: the verdict's lines and the exit codes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "platform/process.h"
#include "solve/check.h"
#include "solve/check_runner.h"
#include "world/world.h"

namespace fs = std::filesystem;

namespace {
const std::string game = std::string(WENDLOP_BINARY_DIR) + "/src/wendlop";

using Image = std::array<uint8_t, StageMapSize>;

std::string mapFile(int stage) {
  char name[64];
  std::snprintf(name, sizeof name, "/data/map/map%02d.fmf", stage);
  return std::string(WENDLOP_SOURCE_DIR) + name;
}

Image builtIn(int stage) {
  std::ifstream in(mapFile(stage), std::ios::binary);
  Image image{};
  in.read(reinterpret_cast<char*>(image.data()), StageMapSize);
  EXPECT_EQ(in.gcount(), StageMapSize);
  return image;
}

// Polls as a frame of the game would, until the check is done or `seconds`
// have passed.
CheckRun pollFor(double seconds, CheckProgress* progress = nullptr,
                 bool (*until)(const CheckProgress&) = nullptr) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  CheckRun state = CheckRun::Running;
  CheckProgress p;
  while (std::chrono::steady_clock::now() < end) {
    state = pollCheck(&p);
    if (state != CheckRun::Running || (until && until(p))) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (progress) *progress = p;
  return state;
}

bool provedSomething(const CheckProgress& p) { return p.provenNone >= 0; }

// True once the process has gone and been collected.
bool goneWithin(pid_t pid, double seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (std::chrono::steady_clock::now() < end) {
    sysCollectChildren();
    if (kill(pid, 0) != 0 && errno == ESRCH) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

class CheckRunnerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sysSetHeadless(true);
    setCheckProgram(game);
  }
  void TearDown() override {
    clearCheck();
    setCheckProgram("");
  }
};

TEST_F(CheckRunnerTest, TheChildGivesTheAnswerOfTheCheckHere) {
  const Image image = builtIn(29);
  Image copy = image;
  std::memset(stageMap, 0x5A, StageMapSize);
  ASSERT_TRUE(startCheck(copy.data(), CheckOptions{}));
  EXPECT_GT(checkChildId(), 0);
  ASSERT_EQ(pollFor(300), CheckRun::Done);
  const CheckResult& r = checkResult();
  EXPECT_EQ(r.verdict, CheckVerdict::Clears);
  EXPECT_EQ(r.clicks, 2);
  EXPECT_EQ(r.effort, 23);
  EXPECT_EQ(checkChildId(), -1);
  // Nothing of the game's was touched: not the stage given, not its state.
  EXPECT_EQ(copy, image);
  for (int i = 0; i < StageMapSize; ++i) ASSERT_EQ(stageMap[i], 0x5A);

  const CheckResult here = checkStage(image.data(), CheckOptions{});
  EXPECT_EQ(checkReport(r), checkReport(here));
  EXPECT_EQ(r.solution, here.solution);
}

TEST_F(CheckRunnerTest, AnUnplayableStageIsDoneWithoutAChild) {
  const Image empty{};
  ASSERT_TRUE(startCheck(empty.data(), CheckOptions{}));
  EXPECT_EQ(checkChildId(), -1);
  EXPECT_EQ(pollCheck(), CheckRun::Done);
  EXPECT_EQ(checkReport(checkResult()), std::vector<std::string>{"unplayable: no walker start"});
  clearCheck();
  EXPECT_EQ(pollCheck(), CheckRun::Idle);
}

TEST_F(CheckRunnerTest, CancellingReturnsAtOnceAndTheChildGoes) {
  // The last stage takes minutes.
  const Image image = builtIn(50);
  ASSERT_TRUE(startCheck(image.data(), CheckOptions{}));
  CheckProgress p;
  ASSERT_EQ(pollFor(120, &p, provedSomething), CheckRun::Running);
  ASSERT_GE(p.provenNone, 0);
  const pid_t child = checkChildId();
  ASSERT_GT(child, 0);
  cancelCheck();
  EXPECT_EQ(pollCheck(), CheckRun::Done);
  const CheckResult& r = checkResult();
  EXPECT_EQ(r.verdict, CheckVerdict::NotSure);
  EXPECT_EQ(r.stop, CheckStop::Cancelled);
  EXPECT_GE(r.clicks, p.provenNone);
  EXPECT_EQ(checkReport(r).back(), "stopped: cancelled");
  EXPECT_TRUE(goneWithin(child, 30));
}

TEST_F(CheckRunnerTest, AChildThatDiesGivesNotSureWithWhatItProved) {
  const Image image = builtIn(50);
  ASSERT_TRUE(startCheck(image.data(), CheckOptions{}));
  CheckProgress p;
  ASSERT_EQ(pollFor(120, &p, provedSomething), CheckRun::Running);
  const pid_t child = checkChildId();
  ASSERT_EQ(kill(child, SIGKILL), 0);
  ASSERT_EQ(pollFor(30), CheckRun::Done);
  const CheckResult& r = checkResult();
  EXPECT_EQ(r.verdict, CheckVerdict::NotSure);
  EXPECT_EQ(r.stop, CheckStop::Failed);
  EXPECT_GE(r.clicks, p.provenNone);
  EXPECT_EQ(checkReport(r).front(), "not sure beyond " + std::to_string(r.clicks) + (r.clicks == 1 ? " click" : " clicks"));
  EXPECT_EQ(checkReport(r).back(), "stopped: the check failed");
  EXPECT_TRUE(goneWithin(child, 30));
}

TEST_F(CheckRunnerTest, AChildThatCannotStartOrSaysNothingFails) {
  const Image image = builtIn(1);
  setCheckProgram("/nonexistent/wendlop");
  EXPECT_FALSE(startCheck(image.data(), CheckOptions{}));
  EXPECT_EQ(pollCheck(), CheckRun::Done);
  EXPECT_EQ(checkResult().stop, CheckStop::Failed);

  setCheckProgram("/bin/true");
  ASSERT_TRUE(startCheck(image.data(), CheckOptions{}));
  ASSERT_EQ(pollFor(30), CheckRun::Done);
  EXPECT_EQ(checkResult().stop, CheckStop::Failed);
  EXPECT_EQ(checkResult().verdict, CheckVerdict::NotSure);
  EXPECT_EQ(checkCanvasLines(checkResult()).back(), "STOPPED: THE CHECK FAILED");
}

TEST_F(CheckRunnerTest, AtItsMemoryLimitTheChildSaysSo) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizers' shadow memory needs the address space unlimited";
#endif
  // Too little for the search's first table: the allocation fails, and the
  // child reports it instead of dying.
  CheckOptions o;
  o.memoryBytes = size_t{48} << 20;
  const Image image = builtIn(1);
  ASSERT_TRUE(startCheck(image.data(), o));
  ASSERT_EQ(pollFor(60), CheckRun::Done);
  EXPECT_EQ(checkResult().verdict, CheckVerdict::NotSure);
  EXPECT_EQ(checkResult().stop, CheckStop::Memory);
  EXPECT_EQ(checkReport(checkResult()).back(), "stopped: memory full (48 MiB)");
}

// ---- wendlop --check ------------------------------------------------------

struct Outcome {
  int code = -1;
  std::vector<std::string> out;
  std::string err;
};

class CheckCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("wendlop-check-" + std::to_string(getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  Outcome run(const std::string& args) {
    const std::string out = (dir_ / "out").string(), err = (dir_ / "err").string();
    const int status = std::system(("cd " + dir_.string() + " && " + game + " " + args + " >" + out + " 2>" + err).c_str());
    Outcome r;
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream o(out);
    for (std::string line; std::getline(o, line);) r.out.push_back(line);
    std::stringstream e;
    e << std::ifstream(err).rdbuf();
    r.err = e.str();
    return r;
  }
  std::string write(const std::string& name, const std::string& bytes) {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
    return (dir_ / name).string();
  }

  fs::path dir_;
};

TEST_F(CheckCommandTest, PrintsTheVerdictAndTheSolution) {
  Outcome r = run("--check " + mapFile(29) + " --solution answer.txt");
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.err, "");
  ASSERT_EQ(r.out.size(), 3u);
  EXPECT_EQ(r.out[0], "clears in 2 clicks");
  EXPECT_EQ(r.out[1], "harder than 16 of 50 built-in stages (effort 23)");
  EXPECT_EQ(r.out[2].rfind("narrowest window ", 0), 0u) << r.out[2];
  std::stringstream text;
  text << std::ifstream(dir_ / "answer.txt").rdbuf();
  std::vector<Press> presses;
  std::string error;
  ASSERT_TRUE(parseSolution(text.str(), &presses, &error)) << error;
  EXPECT_EQ(presses.size(), 2u);

  r = run("--check " + mapFile(1) + " --solution -");
  ASSERT_GE(r.out.size(), 2u);
  EXPECT_EQ(r.out[0], "clears in 1 click");
  EXPECT_EQ(r.out.back().rfind("walker ", 0), 0u) << r.out.back();
}

TEST_F(CheckCommandTest, EveryKindOfVerdict) {
  Outcome r = run("--check " + mapFile(29) + " --max-clicks 1");
  EXPECT_EQ(r.code, 0);
  ASSERT_FALSE(r.out.empty());
  EXPECT_EQ(r.out[0], "no way with up to 1 click");

  r = run("--check " + mapFile(40) + " --seconds 0.01 --solution none.txt");
  EXPECT_EQ(r.code, 0);
  ASSERT_GE(r.out.size(), 3u);
  EXPECT_EQ(r.out[0].rfind("not sure beyond ", 0), 0u) << r.out[0];
  EXPECT_EQ(r.out.back(), "stopped: out of time (0.01 s)");
  EXPECT_NE(r.err.find("no solution"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir_ / "none.txt"));

  r = run("--check " + write("empty.fmf", std::string(StageMapSize, '\0')));
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, std::vector<std::string>{"unplayable: no walker start"});
}

TEST_F(CheckCommandTest, AFileThatIsNoStageIsExit1) {
  Outcome r = run("--check missing.fmf");
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(r.out.empty());
  EXPECT_EQ(r.err, "wendlop: missing.fmf is missing\n");

  r = run("--check " + write("short.fmf", std::string(100, '\0')));
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("is 100 bytes long; a stage file has 620"), std::string::npos) << r.err;
  r = run("--check " + write("long.fmf", std::string(621, '\0')));
  EXPECT_EQ(r.code, 1);
  r = run("--check " + dir_.string());
  EXPECT_EQ(r.code, 1);

  EXPECT_EQ(run("--check " + mapFile(1) + " --max-clicks 8").code, 2);
  EXPECT_EQ(run("--check " + mapFile(1) + " --fullscreen").code, 2);
  EXPECT_EQ(run("--check").code, 2);
}

}  // namespace
