// Packs in the whole game from start-up, played by session scripts: a pack
// of three stages to ALL CLEAR with its progress kept under its own name, and
// the stage browser choosing where a game starts.
#include <gtest/gtest.h>

#include <algorithm>

#include "session/session_support.h"

using namespace session;

namespace {

enum { Title = 0, NewGame = 2, StageReady = 3, StageClear = 7, AllClear = 9, StageBrowser = 13 };
constexpr int ClearPauseFrames = 120;

// A pack of the built-in stages 1 to 3 with their demonstrations, in a
// folder of its own.
fs::path threeStagePack(const std::string& name) {
  const fs::path folder = fs::temp_directory_path() / ("wendlop-pack-" + std::to_string(getpid()) + "-" + name);
  fs::remove_all(folder);
  fs::create_directories(folder / "map");
  fs::create_directories(folder / "replay");
  std::ofstream(folder / "pack.ini") << "[pack]\nname = Three\n";
  for (const char* n : {"01", "02", "03"}) {
    fs::copy_file(gameData + "/map/map" + n + ".fmf", folder / "map" / (std::string("map") + n + ".fmf"));
    fs::copy_file(gameData + "/replay/" + n + ".dat", folder / "replay" / (std::string(n) + ".dat"));
  }
  return folder;
}

// Script lines that play stage n live from a frame of its StageReady, with
// its demonstration's presses; the first frame after its clear picture.
long playStage(int stage, long ready, std::string* script) {
  *script += click(ready, {320, 240});
  for (const Press& p : replayPresses(stage)) *script += click(ready + 1 + p.frame, p.at);
  const int playing = clearingFrames(stage);
  EXPECT_GT(playing, 0);
  return ready + playing + ClearPauseFrames + 1;
}

TEST(PackSession, ThreeStagesFromStageOneEndInAllClear) {
  const fs::path pack = threeStagePack("allclear");
  std::string script = click(10, StartButton);
  long ready = 12;
  for (int stage = 1; stage <= 3; ++stage) ready = playStage(stage, ready, &script);
  script += std::to_string(ready + 10) + " 320 240 0\n";
  const SessionRun run = runSession("pack-allclear", script, "--progress progress --pack " + pack.string());
  ASSERT_EQ(run.code, 0) << run.err;
  long cleared = 0;
  bool allClear = false;
  for (const Frame& f : run.frames) {
    if (f["scene"] == StageClear && f["sceneEntered"] == 0 && f["stagesCleared"] == cleared) ++cleared;
    allClear = allClear || f["scene"] == AllClear;
  }
  EXPECT_EQ(cleared, 3);
  EXPECT_TRUE(allClear);
  // Its clears are kept under its own name, none as the built-in stages'.
  const std::string progress = slurp(run.dir / "progress");
  EXPECT_NE(progress.find("[cleared]\n[pack Three]\n01 = "), std::string::npos) << progress;
  EXPECT_NE(progress.find("\n03 = "), std::string::npos) << progress;
  fs::remove_all(pack);
}

// The pack Extra ships installed: a fresh player's whole title, every frame
// drawn and every sound, is what it is without it; a clear brings the PACK line.
TEST(PackSession, AFreshPlayersTitleIsTheSameWithExtraInstalled) {
  ASSERT_TRUE(fs::exists(gameData + "/packs/extra/pack.ini"));
  const fs::path bare = fs::temp_directory_path() / ("wendlop-bare-data-" + std::to_string(getpid()));
  fs::remove_all(bare);
  fs::create_directories(bare);
  for (const char* folder : {"bmp", "map", "midi", "replay", "se"})
    fs::create_directory_symlink(fs::path(gameData) / folder, bare / folder);
  // The selector's right arrow clicked, then the keys' pointer: Right, Down
  // to DRAG and Enter to switch it, over 300 frames of the title.
  const std::string script = "40 408 376 1\n41 408 376 0\n90 key right\n120 key down\n150 key enter\n300 320 240 0\n";
  auto pictures = [](const SessionRun& run) {
    std::vector<std::pair<std::string, std::string>> all;
    for (const auto& e : fs::directory_iterator(run.dir / "canvas"))
      all.emplace_back(e.path().filename().string(), slurp(e.path()));
    std::sort(all.begin(), all.end());
    return all;
  };
  auto run = [&](const std::string& name, const std::string& progress, const std::string& data) {
    const fs::path file = bare.parent_path() / ("wendlop-progress-" + std::to_string(getpid()) + "-" + name);
    std::ofstream(file) << progress;
    SessionRun r = runSession(name, script, "--progress " + file.string() + " --canvas-dir canvas --canvas-every 7", data);
    fs::remove(file);
    EXPECT_EQ(r.code, 0) << r.err;
    return r;
  };
  const SessionRun with = run("title-extra", "", gameData);
  const SessionRun without = run("title-bare", "", bare.string());
  EXPECT_EQ(slurp(with.dir / "trace.jsonl"), slurp(without.dir / "trace.jsonl"));
  const auto shown = pictures(with);
  EXPECT_GT(shown.size(), 30u);
  EXPECT_TRUE(shown == pictures(without)) << "the title's pictures differ with Extra installed";

  // Once stage 1 has been cleared, the line is there, and only with Extra.
  const std::string cleared = "[cleared]\n01 = 50\n";
  const SessionRun withClear = run("title-extra-cleared", cleared, gameData);
  const SessionRun withoutClear = run("title-bare-cleared", cleared, bare.string());
  EXPECT_EQ(slurp(withClear.dir / "trace.jsonl"), slurp(withoutClear.dir / "trace.jsonl"));
  EXPECT_FALSE(pictures(withClear) == pictures(withoutClear));
  EXPECT_FALSE(pictures(withoutClear) == shown) << "the progress row";
  for (const SessionRun* r : {&with, &without, &withClear, &withoutClear}) fs::remove_all(r->dir);
  fs::remove_all(bare);
}

TEST(PackSession, TheBrowserChoosesTheStageAGameStartsFrom) {
  const fs::path pack = threeStagePack("browser");
  // B opens the browser; Right twice and Enter start stage 3; the clear of
  // the last stage from a game not started at 1 goes round to stage 1.
  std::string script = "10 key b\n20 key right\n25 key right\n30 key enter\n";
  long ready = 33;
  ready = playStage(3, ready, &script);
  script += std::to_string(ready + 10) + " 320 240 0\n";
  const SessionRun run = runSession("pack-browser", script, "--pack " + pack.string());
  ASSERT_EQ(run.code, 0) << run.err;
  bool browsed = false, allClear = false;
  long startedAt = 0;
  for (const Frame& f : run.frames) {
    browsed = browsed || f["scene"] == StageBrowser;
    allClear = allClear || f["scene"] == AllClear;
    if (f["scene"] == NewGame && startedAt == 0) startedAt = f["stageNumber"];
  }
  EXPECT_TRUE(browsed);
  EXPECT_EQ(startedAt, 3);
  EXPECT_FALSE(allClear);
  EXPECT_EQ(run.frames.back()["scene"], StageReady);
  EXPECT_EQ(run.frames.back()["stageNumber"], 1);

  // A pack that is not there is one line and exit 1.
  const SessionRun missing = runSession("pack-missing", "10 320 240 0\n", "--pack Nowhere");
  EXPECT_NE(missing.code, 0);
  EXPECT_NE(missing.err.find("there is no pack Nowhere (there are: Wendlop"), std::string::npos) << missing.err;
  fs::remove_all(pack);
}

}  // namespace
