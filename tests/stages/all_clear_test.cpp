// ALL CLEAR is reachable: one game from stage 1, with the mouse doing what the
// fifty replays recorded, clears every stage without losing a life.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "world/game_fixture.h"

namespace {
const std::filesystem::path dataDir = std::filesystem::path(WENDLOP_SOURCE_DIR) / "data";

std::vector<uint8_t> replayOf(int stage) {
  char name[32];
  std::snprintf(name, sizeof name, "replay/%02d.dat", stage);
  std::vector<uint8_t> bytes(ReplayBytes, 0);
  std::ifstream in(dataDir / name, std::ios::binary);
  in.read(reinterpret_cast<char*>(bytes.data()), ReplayBytes);
  return bytes;
}
}  // namespace

TEST(AllClear, FiftyStagesInOneGame) {
  if (!std::filesystem::exists(dataDir / "map" / "map50.fmf")) GTEST_SKIP() << "fewer than fifty stages";
  const auto oldDir = std::filesystem::current_path();
  testgame::resetGameForTest();
  ASSERT_TRUE(sysChangeDirectory(dataDir.c_str()));
  // A player's game: DRAG as it starts (ON), lives and time carried from stage to stage.
  initGameValues();
  flow.stageNumber = 1;
  setScene(NewGame);
  std::vector<uint8_t> records;
  int recordsOf = 0;
  int misses = 0;
  bool startPressed = false;
  for (long frame = 0; frame < 200000 && flow.scene != AllClear; ++frame) {
    livePointer.liveButton = 0;
    if (flow.scene == StageReady) {
      // One click starts the stage once its picture stands.
      livePointer.liveButton = startPressed ? 0 : 1;
      startPressed = !startPressed;
    } else if (flow.scene == Playing) {
      if (recordsOf != flow.stageNumber) {
        records = replayOf(flow.stageNumber);
        recordsOf = flow.stageNumber;
      }
      const uint8_t* r = records.data() + flow.replayIndex * ReplayRecordSize;
      livePointer.liveX = r[0] | (r[1] << 8);
      livePointer.liveY = r[2] | (r[3] << 8);
      livePointer.liveButton = r[4];
    }
    if (flow.scene == Miss && flow.sceneEntered) ++misses;
    runFrameWork();
  }
  std::filesystem::current_path(oldDir);
  EXPECT_EQ(flow.scene, AllClear);
  EXPECT_EQ(misses, 0);
  EXPECT_GE(flow.lives, 3);
  EXPECT_EQ(flow.stageNumber, 1);
  testgame::resetGameForTest();
}
