// Every shipped stage is cleared by its replay and by nothing less.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "world/world.h"

namespace fs = std::filesystem;

namespace {
const fs::path dataDir = fs::path(WENDLOP_SOURCE_DIR) / "data";
const fs::path sim = fs::path(WENDLOP_BINARY_DIR) / "tools" / "wendlop-sim" / "wendlop-sim";

std::vector<int> shippedStages() {
  std::vector<int> stages;
  for (int n = 1; n <= 99; ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "map/map%02d.fmf", n);
    if (fs::exists(dataDir / name)) stages.push_back(n);
  }
  return stages;
}

std::string run(const std::string& args) {
  std::string command = sim.string() + " --data " + dataDir.string() + " " + args + " 2>&1";
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, p)) out += buffer;
    pclose(p);
  }
  return out;
}

std::array<uint8_t, 620> readStage(int n) {
  char name[32];
  std::snprintf(name, sizeof name, "map/map%02d.fmf", n);
  std::array<uint8_t, 620> image{};
  std::ifstream in(dataDir / name, std::ios::binary);
  in.read(reinterpret_cast<char*>(image.data()), image.size());
  return image;
}
}  // namespace

TEST(Stages, StagesAreNumberedWithoutGaps) {
  const auto stages = shippedStages();
  ASSERT_FALSE(stages.empty());
  for (size_t i = 0; i < stages.size(); ++i) EXPECT_EQ(stages[i], static_cast<int>(i) + 1);
  EXPECT_LE(stages.size(), 50u);
}

TEST(Stages, EveryReplayClearsItsStageAndNoStageClearsItself) {
  for (int n : shippedStages()) {
    char replay[32];
    std::snprintf(replay, sizeof replay, "replay/%02d.dat", n);
    ASSERT_TRUE(fs::exists(dataDir / replay)) << "stage " << n << " has no replay";
    EXPECT_EQ(fs::file_size(dataDir / replay), 21600u);
    const std::string with = run("--stage " + std::to_string(n) + " --replay " + (dataDir / replay).string());
    EXPECT_NE(with.find("result=clear"), std::string::npos) << "stage " << n << ": " << with;
    const std::string without = run("--stage " + std::to_string(n));
    EXPECT_EQ(without.find("result=clear"), std::string::npos) << "stage " << n << " needs no player: " << without;
  }
}

TEST(Stages, TheFullSetShowsEveryTileClassAndHazard) {
  const auto stages = shippedStages();
  if (stages.size() < 50) GTEST_SKIP() << "only " << stages.size() << " stages so far";
  std::set<int> classes, codes;
  int fourStarStages = 0;
  for (int n : stages) {
    const auto image = readStage(n);
    int starCount = 0;
    for (int i = 0; i < 300; ++i) {
      classes.insert(tileClass[image[20 + i]]);
      codes.insert(static_cast<int8_t>(image[320 + i]));
      if (image[20 + i] == StarTile) ++starCount;
    }
    if (starCount >= 4) ++fourStarStages;
  }
  for (int cls = Fixed; cls <= AnimEvery64; ++cls) EXPECT_TRUE(classes.count(cls)) << "tile class " << cls;
  for (int code = 10; code <= 25; ++code) EXPECT_TRUE(codes.count(code)) << "hazard code " << code;
  EXPECT_GE(fourStarStages, 3);
}
