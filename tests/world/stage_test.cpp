// Loading stage files, the tile catalogue and the tile layer's own animation.
#include "world/game_fixture.h"

using namespace testgame;

namespace {

class StageLoad : public GameTest {
 protected:
  // An open stage with walls all round and the walker standing at (5, 5).
  Image plainImage() {
    Image image = stageImage({"####################", "#..................#", "#..................#",
                              "#..................#", "#..................#", "#..................#"});
    objectByte(image, 5, 5) = 8;
    return image;
  }
};

TEST_F(StageLoad, MissingShortAndStartlessFiles) {
  Image first = plainImage();
  objectByte(first, 2, 3) = 10;
  writeStage(1, first);
  ASSERT_TRUE(loadStage(1));
  ASSERT_EQ(hazardTable.hazardCount, 1);
  const Walker before = walker;
  Image kept;
  std::memcpy(kept.data(), stageMap, StageMapSize);

  // No file: nothing changes but the hazard count.
  EXPECT_FALSE(loadStage(2));
  EXPECT_EQ(hazardTable.hazardCount, 0);
  EXPECT_EQ(std::memcmp(kept.data(), stageMap, StageMapSize), 0);
  EXPECT_EQ(walker.x, before.x);
  EXPECT_EQ(walker.state, before.state);

  // One byte short: rejected the same way, never half the new stage.
  Image other = plainImage();
  tileByte(other, 3, 3) = 35;
  objectByte(other, 5, 5) = 0;
  objectByte(other, 6, 9) = 7;
  writeStage(3, other, StageMapSize - 1);
  ASSERT_TRUE(loadStage(1));
  EXPECT_FALSE(loadStage(3));
  EXPECT_EQ(hazardTable.hazardCount, 0);
  EXPECT_EQ(std::memcmp(kept.data(), stageMap, StageMapSize), 0);
  EXPECT_EQ(walker.col, 5);
  EXPECT_EQ(walker.state, WalkRight);

  // An empty file and a folder in place of the file.
  writeStage(4, other, 0);
  EXPECT_FALSE(loadStage(4));
  std::filesystem::create_directories(dir_ / "map" / "map05.fmf");
  EXPECT_FALSE(loadStage(5));

  // No start code: false, but the new file is in place.
  Image startless = plainImage();
  objectByte(startless, 5, 5) = 0;
  tileByte(startless, 1, 1) = 33;
  writeStage(6, startless);
  EXPECT_FALSE(loadStage(6));
  EXPECT_EQ(stageMap[TileLayerOffset + GridColumns * 1 + 1], 33);

  // Stage 51 normally does not exist; three digits still name a file.
  EXPECT_FALSE(loadStage(51));
  writeStage(100, first);
  EXPECT_TRUE(std::filesystem::exists(dir_ / "map" / "map100.fmf"));
  EXPECT_TRUE(loadStage(100));
}

// Each file that cannot be loaded is named once on stderr with its reason;
// the missing stages past the fiftieth, which end the game, are not.
TEST_F(StageLoad, EachBrokenFileIsNamedOnceWithItsReason) {
  auto said = [](int stage) {
    testing::internal::CaptureStderr();
    EXPECT_FALSE(loadStage(stage));
    return testing::internal::GetCapturedStderr();
  };
  EXPECT_EQ(said(2), "wendlop: stage 2 not loaded: map/map02.fmf is missing\n");
  EXPECT_EQ(said(2), "");
  writeStage(3, plainImage(), 300);
  EXPECT_EQ(said(3), "wendlop: stage 3 not loaded: map/map03.fmf is 300 bytes long; a stage file has 620\n");
  std::filesystem::create_directories(dir_ / "map" / "map05.fmf");
  EXPECT_EQ(said(5), "wendlop: stage 5 not loaded: map/map05.fmf is a folder, not a file\n");
  Image startless = plainImage();
  objectByte(startless, 5, 5) = 0;
  writeStage(6, startless);
  EXPECT_EQ(said(6),
            "wendlop: stage 6 not loaded: map/map06.fmf has no walker start (object 7 or 8) outside the top-left cell\n");
  EXPECT_EQ(said(6), "");
  EXPECT_EQ(said(51), "");
  writeStage(52, plainImage(), 10);
  EXPECT_EQ(said(52), "wendlop: stage 52 not loaded: map/map52.fmf is 10 bytes long; a stage file has 620\n");
}

TEST_F(StageLoad, StartCodes) {
  // A start in the top-left cell leaves x = y = 0 and counts as no start.
  Image corner = plainImage();
  objectByte(corner, 5, 5) = 0;
  objectByte(corner, 0, 0) = 8;
  writeStage(1, corner);
  EXPECT_FALSE(loadStage(1));

  // The later of two starts in row-major order places the walker.
  Image two = plainImage();
  objectByte(two, 3, 10) = 7;
  objectByte(two, 3, 2) = 8;
  writeStage(2, two);
  ASSERT_TRUE(loadStage(2));
  EXPECT_EQ(walker.row, 5);
  EXPECT_EQ(walker.col, 5);
  EXPECT_EQ(walker.state, WalkRight);
  objectByte(two, 5, 5) = 0;
  writeStage(3, two);
  ASSERT_TRUE(loadStage(3));
  EXPECT_EQ(walker.col, 10);
  EXPECT_EQ(walker.x, 320);
  EXPECT_EQ(walker.y, 96);
  EXPECT_EQ(walker.resumeState, WalkLeft);  // a falling start over row 4

  // Codes 9 and 26, and bytes whose signed value is negative, place nothing:
  // 135 and 138 are 7 and 10 with the top bit set.
  Image odd = plainImage();
  objectByte(odd, 5, 5) = 0;
  objectByte(odd, 2, 2) = 9;
  objectByte(odd, 2, 3) = 26;
  objectByte(odd, 2, 4) = 135;
  objectByte(odd, 2, 6) = 138;
  objectByte(odd, 5, 4) = 7;
  writeStage(4, odd);
  ASSERT_TRUE(loadStage(4));
  EXPECT_EQ(hazardTable.hazardCount, 0);
  EXPECT_EQ(walker.row, 5);
  EXPECT_EQ(walker.state, WalkLeft);
}

TEST_F(StageLoad, OnlyEmptyBelowTheStartMakesAFallingStart) {
  struct Case {
    int tileBelow;
    bool falls;
  };
  const Case cases[] = {{0, true},    {1, true},     {4, true},    {58, true},  {144, false}, {80, false},
                        {64, false},  {65, false},   {96, false},  {46, false}, {32, false},  {35, false}};
  for (const Case& c : cases) {
    Image image = plainImage();
    objectByte(image, 5, 5) = 0;
    objectByte(image, 3, 7) = 7;
    tileByte(image, 4, 7) = static_cast<uint8_t>(c.tileBelow);
    writeStage(1, image);
    walker = Walker{};
    walker.rowFrames = 32;
    ASSERT_TRUE(loadStage(1)) << c.tileBelow;
    if (c.falls) {
      EXPECT_EQ(walker.state, Falling) << c.tileBelow;
      EXPECT_EQ(walker.resumeState, WalkLeft);
      EXPECT_EQ(walker.rowFrames, 8);
    } else {
      EXPECT_EQ(walker.state, WalkLeft) << c.tileBelow;
      EXPECT_EQ(walker.rowFrames, 32);
    }
  }
  // Below the bottom row lies no tile: the walker starts walking, and the
  // object layer is never read as tiles.
  Image bottom = plainImage();
  objectByte(bottom, 5, 5) = 0;
  for (int col = 0; col < GridColumns; ++col) tileByte(bottom, 14, col) = 0;
  objectByte(bottom, 14, 9) = 8;
  writeStage(2, bottom);
  ASSERT_TRUE(loadStage(2));
  EXPECT_EQ(walker.state, WalkRight);
}

TEST_F(StageLoad, HazardSpawnTable) {
  // Code: dx, dy, dcol, drow, steps per cell, period.
  const int table[16][6] = {
      {1, 0, 1, 0, 32, 1},  {0, 1, 0, 1, 32, 1},  {2, 0, 1, 0, 16, 1},   {0, 2, 0, 1, 16, 1},
      {1, 0, 1, 0, 32, 16}, {0, 1, 0, 1, 32, 16}, {1, 1, 1, 1, 32, 1},   {1, -1, 1, -1, 32, 1},
      {1, 0, 1, 0, 32, 4},  {0, 1, 0, 1, 32, 4},  {-1, 0, -1, 0, 32, 1}, {0, -1, 0, -1, 32, 1},
      {2, 2, 1, 1, 16, 1},  {2, -2, 1, -1, 16, 1}, {-1, 0, -1, 0, 32, 4}, {0, -1, 0, -1, 32, 4},
  };
  Image image = plainImage();
  for (int code = 10; code <= 25; ++code) objectByte(image, 8 + (code - 10) / 8, 2 + (code - 10) % 8) = code;
  // Column 0 and row 0 give -16 in 16 bits.
  objectByte(image, 0, 7) = 11;
  objectByte(image, 9, 0) = 10;
  writeStage(1, image);

  // Records left over from an earlier stage must not leak into the new ones.
  for (auto& h : hazardTable.hazards) h.stepsLeft = 77;
  ASSERT_TRUE(loadStage(1));
  ASSERT_EQ(hazardTable.hazardCount, 18);
  const Hazard& top = hazardTable.hazards[0];
  EXPECT_EQ(top.x, 32 * 7 - 16);
  EXPECT_EQ(top.y, 65520);
  for (int code = 10; code <= 25; ++code) {
    const int i = code - 10 + 1 + ((code - 10) >= 8 ? 1 : 0);  // row 9 begins with the column-0 hazard
    const Hazard& h = hazardTable.hazards[i];
    const int* want = table[code - 10];
    const int row = 8 + (code - 10) / 8, col = 2 + (code - 10) % 8;
    SCOPED_TRACE(code);
    EXPECT_EQ(h.row, row);
    EXPECT_EQ(h.col, col);
    EXPECT_EQ(h.x, 32 * col - 16);
    EXPECT_EQ(h.y, 32 * row - 16);
    EXPECT_EQ(h.dx, want[0]);
    EXPECT_EQ(h.dy, want[1]);
    EXPECT_EQ(h.dcol, want[2]);
    EXPECT_EQ(h.drow, want[3]);
    EXPECT_EQ(h.stepsPerCell, want[4]);
    EXPECT_EQ(h.period, want[5]);
    EXPECT_EQ(h.state, 1);
    EXPECT_EQ(h.tick, 0);
    EXPECT_EQ(h.stepsLeft, 0);
  }
  EXPECT_EQ(hazardTable.hazards[9].x, 65520);
  EXPECT_EQ(hazardTable.hazards[9].row, 9);
}

// ---- Tile catalogue and animation --------------------------------------------

// The catalogue written out again by hand: tile, kind, class, successor, sound.
struct Entry {
  int tile, kind, cls, next, sound;
};
const Entry catalogueByHand[] = {
    {1, Empty, SwitchSingle, 35, 2},       {35, Solid, SwitchSingle, 1, 2},     {2, Empty, SwitchSingle, 34, 2},
    {34, Solid, SwitchSingle, 2, 5},       {3, Empty, SwitchSingle, 48, 10},    {48, Solid, AnimEvery16, 49, -1},
    {49, Solid, AnimEvery16, 50, -1},      {50, Solid, AnimEvery16, 51, -1},    {51, Solid, AnimEvery16, 3, -1},
    {33, Solid, SwitchSingle, 0, 4},       {46, SlowFloor, SwitchSingle, 47, 2}, {47, SlowFloor, AnimEveryFrame, 62, -1},
    {62, Solid, SwitchSingle, 63, 2},      {63, Solid, AnimEveryFrame, 46, -1},
    {4, Empty, SwitchTopLeft, 40, 2},      {5, Empty, SwitchTopRight, 41, 2},   {20, Empty, SwitchBottomLeft, 56, 2},
    {21, Empty, SwitchBottomRight, 57, 2}, {40, Solid, SwitchTopLeft, 4, 5},    {41, Solid, SwitchTopRight, 5, 5},
    {56, Solid, SwitchBottomLeft, 20, 5},  {57, Solid, SwitchBottomRight, 21, 5},
    {6, Empty, SwitchTopLeft, 8, 10},      {7, Empty, SwitchTopRight, 9, 10},   {22, Empty, SwitchBottomLeft, 24, 10},
    {23, Empty, SwitchBottomRight, 25, 10},
    {8, Solid, AnimEvery16, 10, -1},       {9, Solid, AnimEvery16, 11, -1},     {24, Solid, AnimEvery16, 26, -1},
    {25, Solid, AnimEvery16, 27, -1},      {10, Solid, AnimEvery16, 12, -1},    {11, Solid, AnimEvery16, 13, -1},
    {26, Solid, AnimEvery16, 28, -1},      {27, Solid, AnimEvery16, 29, -1},    {12, Solid, AnimEvery16, 14, -1},
    {13, Solid, AnimEvery16, 15, -1},      {28, Solid, AnimEvery16, 30, -1},    {29, Solid, AnimEvery16, 31, -1},
    {14, Solid, AnimEvery16, 6, -1},       {15, Solid, AnimEvery16, 7, -1},     {30, Solid, AnimEvery16, 22, -1},
    {31, Solid, AnimEvery16, 23, -1},
    {38, Solid, SwitchTopLeft, 44, 4},     {39, Solid, SwitchTopRight, 45, 4},  {54, Solid, SwitchBottomLeft, 60, 4},
    {55, Solid, SwitchBottomRight, 61, 4}, {44, Empty, AnimEvery16, 0, -1},     {45, Empty, AnimEvery16, 0, -1},
    {60, Empty, AnimEvery16, 0, -1},       {61, Empty, AnimEvery16, 0, -1},
    {42, Solid, AnimEvery64, 43, -1},      {43, Solid, AnimEvery64, 58, -1},    {58, Empty, AnimEvery64, 59, -1},
    {59, Empty, AnimEvery64, 42, -1},
    {32, Solid, Fixed, 0, -1},             {36, Solid, Fixed, 0, -1},           {37, Solid, Fixed, 0, -1},
    {52, Solid, Fixed, 0, -1},             {53, Solid, Fixed, 0, -1},           {64, DeadlyFloor, Fixed, 0, -1},
    {65, DeadlySide, Fixed, 0, -1},        {66, DeadlySide, Fixed, 0, -1},      {80, Star, Fixed, 0, -1},
    {96, Lift, AnimEveryFrame, 97, -1},    {97, Lift, AnimEveryFrame, 98, -1},  {98, Lift, AnimEveryFrame, 99, -1},
    {99, Lift, AnimEveryFrame, 100, -1},   {100, Lift, AnimEveryFrame, 101, -1}, {101, Lift, AnimEveryFrame, 102, -1},
    {102, Lift, AnimEveryFrame, 103, -1},  {103, Lift, AnimEveryFrame, 96, -1},
    {144, Goal, Fixed, 0, -1},             {145, Goal, Fixed, 0, -1},
};

TEST(TileCatalogue, EveryTileNumber) {
  bool listed[256] = {};
  for (const Entry& e : catalogueByHand) {
    SCOPED_TRACE(e.tile);
    listed[e.tile] = true;
    EXPECT_EQ(tileKind[e.tile], e.kind);
    EXPECT_EQ(tileClass[e.tile], e.cls);
    EXPECT_EQ(nextTile[e.tile], e.next);
    if (e.sound >= 0) {
      EXPECT_EQ(tileSound[e.tile], e.sound);
    }
  }
  for (int t = 0; t < 256; ++t) {
    if (listed[t]) continue;
    SCOPED_TRACE(t);
    EXPECT_EQ(tileKind[t], Empty);
    EXPECT_EQ(tileClass[t], Fixed);
    EXPECT_EQ(nextTile[t], 0);
  }
}

class TileAnimation : public GameTest {
 protected:
  void SetUp() override {
    GameTest::SetUp();
    std::memset(stageMap, 0, sizeof stageMap);
    // The walls below the bottom row are the grid's edge, not tiles.
    for (int col = 0; col < GridColumns; ++col) setTile(14, col, 32);
  }
  void setTile(int row, int col, int t) { *tileCell(row, col) = static_cast<uint8_t>(t); }
  int tile(int row, int col) { return tileAt(row, col); }
};

TEST_F(TileAnimation, PhasesAndChains) {
  setTile(2, 2, 48);   // timed block, closed
  setTile(2, 3, 42);   // blinking block
  setTile(2, 4, 96);   // lift
  setTile(2, 5, 47);   // slow floor turning solid
  setTile(2, 6, 44);   // crumbling piece
  setTile(2, 7, 33);   // breakable block: no animation
  std::vector<int> timed, blink;
  for (int frame = 1; frame <= 256; ++frame) {
    const int before = tile(2, 2), blinkBefore = tile(2, 3);
    updateTiles();
    if (tile(2, 2) != before) timed.push_back(frame);
    if (tile(2, 3) != blinkBefore) blink.push_back(frame);
    if (frame == 1) {
      EXPECT_EQ(tile(2, 4), 97);
      EXPECT_EQ(tile(2, 5), 62);
      EXPECT_EQ(tile(2, 6), 44);
    }
    if (frame == 2) {
      EXPECT_EQ(tile(2, 5), 62);  // 62 is switched, not animated
    }
    if (frame == 8) {
      EXPECT_EQ(tile(2, 4), 96);
    }
    if (frame == 16) {
      EXPECT_EQ(tile(2, 6), 0);
    }
  }
  EXPECT_EQ(timed, (std::vector<int>{16, 32, 48, 64}));
  EXPECT_EQ(blink, (std::vector<int>{64, 128, 192, 256}));
  EXPECT_EQ(tile(2, 2), 3);  // four wraps closed, then open and still
  EXPECT_EQ(tile(2, 3), 42);
  EXPECT_EQ(tile(2, 7), 33);
  EXPECT_EQ(tileAnimation.phase16, 0);
  EXPECT_EQ(tileAnimation.phase64, 0);
}

TEST_F(TileAnimation, FallingStars) {
  // Into every kind of Empty tile, one cell a frame; the cell left is 0.
  setTile(5, 1, StarTile);
  setTile(6, 1, 1);
  setTile(7, 1, 4);
  setTile(8, 1, 58);
  setTile(9, 1, 44);
  setTile(10, 1, 32);
  // On every other kind it stays.
  const int stops[] = {32, 96, 144, 64, 65, 46, StarTile};
  for (int i = 0; i < 7; ++i) {
    setTile(5, 3 + i, StarTile);
    setTile(6, 3 + i, stops[i]);
    setTile(7, 3 + i, 32);
  }
  // Two stars one above the other fall together.
  setTile(3, 12, StarTile);
  setTile(4, 12, StarTile);
  // A star in the bottom row has nothing below it and stays.
  setTile(14, 15, StarTile);
  setTile(14, 16, 0);

  updateTiles();
  EXPECT_EQ(tile(5, 1), 0);
  EXPECT_EQ(tile(6, 1), StarTile);
  EXPECT_EQ(tile(3, 12), 0);
  EXPECT_EQ(tile(4, 12), StarTile);
  EXPECT_EQ(tile(5, 12), StarTile);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(tile(5, 3 + i), StarTile) << stops[i];
  updateTiles();
  updateTiles();
  updateTiles();
  EXPECT_EQ(tile(9, 1), StarTile);
  EXPECT_EQ(tile(6, 1), 0);  // the switch block it fell through is gone
  EXPECT_EQ(tile(7, 1), 0);
  updateTiles();
  EXPECT_EQ(tile(9, 1), StarTile);  // on the wall now
  EXPECT_EQ(tile(10, 1), 32);
  EXPECT_EQ(tile(14, 15), StarTile);
  // Nothing below the grid was touched.
  EXPECT_EQ(stageMap[ObjectLayerOffset + 15], 0);
}

TEST_F(TileAnimation, TimedBlockClickedAtDifferentPhases) {
  // In a Playing frame the tiles move on before the click is applied.
  setTile(3, 3, 3);
  setTile(3, 5, 3);
  tileAnimation.phase16 = 14;
  updateTiles();  // phase16 15
  setTile(3, 3, nextTile[3]);
  updateTiles();  // phase16 0: the block clicked at 15 changes at once
  EXPECT_EQ(tile(3, 3), 49);
  setTile(3, 5, nextTile[3]);  // clicked at 0
  for (int i = 0; i < 15; ++i) updateTiles();
  EXPECT_EQ(tile(3, 5), 48);
  updateTiles();
  EXPECT_EQ(tile(3, 5), 49);
}

TEST(Grid, OutsideReadsAsWall) {
  EXPECT_EQ(kindAt(-1, 0), Solid);
  EXPECT_EQ(kindAt(0, -1), Solid);
  EXPECT_EQ(kindAt(15, 0), Solid);
  EXPECT_EQ(kindAt(0, 20), Solid);
  EXPECT_EQ(tileCell(0, 20), nullptr);
  EXPECT_NE(tileCell(14, 19), nullptr);
}

}  // namespace
