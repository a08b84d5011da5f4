// The game's state saved and put back as one value.
#include <gtest/gtest.h>

#include <cstring>

#include "app/game_state.h"
#include "world/game_fixture.h"

namespace {

// A snapshot whose every byte is `byte`: with 0 and with 1 every field of
// every concern differs from its start value at least once.
GameSnapshot filled(unsigned char byte) {
  GameSnapshot s;
  std::memset(static_cast<void*>(&s), byte, sizeof s);
  return s;
}

TEST(GameState, EveryFieldOfEveryConcernIsSavedAndRestored) {
  for (unsigned char byte : {0, 1}) {
    const GameSnapshot pattern = filled(byte);
    restoreGame(pattern);
    resetGame();
    GameSnapshot atStart;
    saveGame(&atStart);
    EXPECT_EQ(atStart, GameSnapshot{}) << "resetGame leaves a concern as it was";

    restoreGame(pattern);
    GameSnapshot back;
    saveGame(&back);
    EXPECT_EQ(back, pattern) << "a concern is not saved or not restored";
  }
  testgame::resetGameForTest();
}

// Hazard records past the count are no part of the state.
TEST(GameState, OnlyTheHazardsInUseAreCompared) {
  HazardTable a{}, b{};
  a.hazardCount = b.hazardCount = 2;
  a.hazards[1].x = b.hazards[1].x = 5;
  a.hazards[2].x = 9;
  EXPECT_EQ(a, b);
  b.hazards[1].x = 6;
  EXPECT_FALSE(a == b);
  b = a;
  EXPECT_EQ(b.hazards[1].x, 5);
  EXPECT_EQ(b.hazards[2].x, 0);  // not copied
}

}  // namespace
