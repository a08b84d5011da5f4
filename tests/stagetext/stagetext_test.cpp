// The stage text format: what it compiles to, what it refuses, and that any
// stage file survives the way to text and back.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "stagetext.h"

namespace {
std::string border(const std::string& middleRow, int times) {
  std::string s;
  for (int i = 0; i < times; ++i) s += middleRow + "\n";
  return s;
}

const std::string wall = "####################";
const std::string open = "#..................#";

std::string stage(const std::string& rows13, const std::string& objects = "") {
  std::string text = "title Test\ntiles\n" + wall + "\n" + rows13 + wall + "\n";
  if (!objects.empty()) text += "objects\n" + objects;
  return text;
}

std::string startAt(int row, int col, char c = '>') {
  std::string s;
  for (int r = 0; r < 15; ++r) {
    std::string line(20, '.');
    if (r == row) line[col] = c;
    s += line + "\n";
  }
  return s;
}

int tile(const uint8_t* image, int r, int c) { return image[20 + 20 * r + c]; }
int object(const uint8_t* image, int r, int c) { return image[320 + 20 * r + c]; }
}  // namespace

TEST(StageText, CompilesTilesPiecesObjectsAndTitle) {
  std::string rows = border(open, 10) + "#.PP..x..G..*..|...#\n#.PP1!2@3$s^()b....#\n" + open + "\n";
  uint8_t image[620];
  std::string error;
  ASSERT_TRUE(compileStageText(stage(rows, startAt(12, 5, '<')), image, &error)) << error;
  EXPECT_EQ(std::string(reinterpret_cast<char*>(image)), "Test");
  EXPECT_EQ(tile(image, 11, 2), 4);
  EXPECT_EQ(tile(image, 11, 3), 5);
  EXPECT_EQ(tile(image, 12, 2), 20);
  EXPECT_EQ(tile(image, 12, 3), 21);
  EXPECT_EQ(tile(image, 11, 6), 33);
  EXPECT_EQ(tile(image, 11, 9), 144);
  EXPECT_EQ(tile(image, 11, 12), 80);
  EXPECT_EQ(tile(image, 11, 15), 96);
  const int expected[] = {1, 35, 2, 34, 3, 48, 46, 64, 65, 66, 42};
  for (int i = 0; i < 11; ++i) EXPECT_EQ(tile(image, 12, 4 + i), expected[i]);
  EXPECT_EQ(object(image, 12, 5), 7);
  EXPECT_EQ(tile(image, 0, 0), 32);
}

TEST(StageText, RefusesStagesThatBreakTheRules) {
  uint8_t image[620];
  std::string error;
  const std::string rows = border(open, 13);
  EXPECT_FALSE(compileStageText(stage(rows), image, &error));  // no start
  EXPECT_NE(error.find("exactly one walker start"), std::string::npos);

  std::string two = startAt(5, 5);
  two[21 * 6 + 7] = '<';
  EXPECT_FALSE(compileStageText(stage(rows, two), image, &error));

  EXPECT_FALSE(compileStageText(stage(border("...................#", 13), startAt(5, 5)), image, &error));
  EXPECT_NE(error.find("edges"), std::string::npos);

  EXPECT_FALSE(compileStageText(stage(rows, startAt(0, 5, 'a').replace(21 * 5 + 5, 1, ">")), image, &error));
  EXPECT_NE(error.find("top row"), std::string::npos);

  // A piece cut by the edge of its letters, and unknown characters, with the line that holds them.
  std::string badPiece = border(open, 11) + "#.P................#\n" + open + "\n";
  EXPECT_FALSE(compileStageText(stage(badPiece, startAt(5, 5)), image, &error));
  EXPECT_NE(error.find("line 15"), std::string::npos) << error;
  EXPECT_FALSE(compileStageText(stage(border(open, 12) + "#.......?..........#\n", startAt(5, 5)), image, &error));
  EXPECT_FALSE(compileStageText("tiles\n" + wall + "\n", image, &error));
  EXPECT_FALSE(compileStageText("bogus\n", image, &error));
}

TEST(StageText, LegendGivesAnyNumberAndChecksCanBeRelaxed) {
  StageCheck loose;
  loose.enclosure = false;
  loose.singleStart = false;
  loose.wholePieces = false;
  uint8_t image[620];
  std::string error;
  std::string text = "tile Z 200\nobject Y 9\ntiles\n" + border(std::string(19, '.') + "Z", 15) + "objects\n" +
                     startAt(0, 0, 'Y');
  ASSERT_TRUE(compileStageText(text, image, &error, loose)) << error;
  EXPECT_EQ(tile(image, 3, 19), 200);
  EXPECT_EQ(object(image, 0, 0), 9);
}

TEST(StageText, AnyStageFileSurvivesTheWayToTextAndBack) {
  std::mt19937 random(7);
  // A few kinds of stage images: made of catalogue tiles, of any byte, and with pieces.
  const int catalogue[] = {0, 1, 2, 3, 32, 33, 34, 35, 36, 42, 46, 48, 58, 64, 65, 80, 96, 144, 200, 255};
  for (int round = 0; round < 200; ++round) {
    uint8_t image[620];
    for (int i = 0; i < 620; ++i) image[i] = static_cast<uint8_t>(random());
    if (round % 2 == 0) {
      std::memset(image, 0, 20);
      for (int i = 0; i < 300; ++i) image[20 + i] = static_cast<uint8_t>(catalogue[random() % 20]);
      for (int i = 0; i < 300; ++i) image[320 + i] = static_cast<uint8_t>(random() % 30 == 0 ? 10 + random() % 16 : 0);
      std::memcpy(image, "Round trip", 10);
      // Whole pieces, side by side.
      image[20 + 20 * 4 + 4] = 4, image[20 + 20 * 4 + 5] = 5, image[20 + 20 * 5 + 4] = 20, image[20 + 20 * 5 + 5] = 21;
      image[20 + 20 * 4 + 6] = 38, image[20 + 20 * 4 + 7] = 39, image[20 + 20 * 5 + 6] = 54, image[20 + 20 * 5 + 7] = 55;
    } else {
      // Few distinct bytes, so that the spare characters suffice.
      for (int i = 20; i < 620; ++i) image[i] = static_cast<uint8_t>(image[i] % 48 * 5);
    }
    const std::string text = decompileStage(image);
    uint8_t back[620];
    std::string error;
    StageCheck loose;
    loose.enclosure = loose.singleStart = loose.wholePieces = false;
    ASSERT_TRUE(compileStageText(text, back, &error, loose)) << error << "\n" << text;
    ASSERT_EQ(0, std::memcmp(image, back, 620)) << text;
  }
}
