// The stage text format: what it compiles to, what it refuses, and that any
// stage file survives the way to text and back.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "world/stagetext.h"

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

// Every stage file either comes back byte for byte from its text, or is
// refused with a reason: never a text that compiles to something else.
::testing::AssertionResult roundTrips(const uint8_t image[620], bool* refused = nullptr) {
  std::string text, error;
  if (!decompileStage(image, &text, &error)) {
    if (refused) *refused = true;
    if (error.empty()) return ::testing::AssertionFailure() << "refused without a reason";
    return ::testing::AssertionSuccess();
  }
  if (refused) *refused = false;
  uint8_t back[620];
  StageCheck loose;
  loose.enclosure = loose.singleStart = loose.wholePieces = false;
  if (!compileStageText(text, back, &error, loose)) return ::testing::AssertionFailure() << error << "\n" << text;
  if (std::memcmp(image, back, 620) != 0) return ::testing::AssertionFailure() << "other bytes from\n" << text;
  return ::testing::AssertionSuccess();
}

TEST(StageText, AnyStageFileSurvivesTheWayToTextAndBack) {
  std::mt19937 random(7);
  // A few kinds of stage images: made of catalogue tiles, of any byte, and with pieces.
  const int catalogue[] = {0, 1, 2, 3, 32, 33, 34, 35, 36, 42, 46, 48, 58, 64, 65, 80, 96, 144, 200, 255};
  int refusals = 0;
  for (int round = 0; round < 300; ++round) {
    uint8_t image[620];
    for (int i = 0; i < 620; ++i) image[i] = static_cast<uint8_t>(random());
    if (round % 3 == 0) {
      std::memset(image, 0, 20);
      for (int i = 0; i < 300; ++i) image[20 + i] = static_cast<uint8_t>(catalogue[random() % 20]);
      for (int i = 0; i < 300; ++i) image[320 + i] = static_cast<uint8_t>(random() % 30 == 0 ? 10 + random() % 16 : 0);
      std::memcpy(image, "Round trip", 10);
      // Whole pieces, side by side.
      image[20 + 20 * 4 + 4] = 4, image[20 + 20 * 4 + 5] = 5, image[20 + 20 * 5 + 4] = 20, image[20 + 20 * 5 + 5] = 21;
      image[20 + 20 * 4 + 6] = 38, image[20 + 20 * 4 + 7] = 39, image[20 + 20 * 5 + 6] = 54, image[20 + 20 * 5 + 7] = 55;
    } else if (round % 3 == 1) {
      // Few distinct bytes, so that the spare characters suffice.
      for (int i = 20; i < 620; ++i) image[i] = static_cast<uint8_t>(image[i] % 48 * 5);
    }
    bool refused = false;
    ASSERT_TRUE(roundTrips(image, &refused)) << "round " << round;
    refusals += refused;
  }
  EXPECT_GT(refusals, 0);  // the bytes of any value are too many to name
  EXPECT_LT(refusals, 300);
}

TEST(StageText, HeadersOfEveryKindComeBack) {
  uint8_t image[620] = {};
  image[20 + 5] = 32;
  const char* titles[] = {" Lead", "Trail ", " ", "Two  blanks", "semi;colon", "12345678901234567890"};
  for (const char* title : titles) {
    std::memset(image, 0, 20);
    std::memcpy(image, title, std::strlen(title));
    EXPECT_TRUE(roundTrips(image)) << "'" << title << "'";
  }
  // Text with a gap of zeros, control codes, and bytes past 127.
  const uint8_t odd[][20] = {{'A', 0, 'B'}, {'\t', 'x'}, {0xC3, 0xA9}, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}};
  for (const auto& header : odd) {
    std::memcpy(image, header, 20);
    EXPECT_TRUE(roundTrips(image));
  }
}

TEST(StageText, TooManyDifferentNumbersAreRefusedNotMisnamed) {
  // Every tile number: far more than there are characters, and the ones past
  // the last character must not quietly take another's.
  uint8_t image[620] = {};
  for (int t = 0; t < 256; ++t) image[20 + t] = static_cast<uint8_t>(t);
  bool refused = false;
  EXPECT_TRUE(roundTrips(image, &refused));
  EXPECT_TRUE(refused);
  std::string text, error;
  EXPECT_FALSE(decompileStage(image, &text, &error));
  EXPECT_NE(error.find("tile numbers"), std::string::npos) << error;
  EXPECT_TRUE(text.empty());

  // As many different tiles as there are characters still round-trip: the 26
  // with a usual character (pieces aside) and one per spare character.
  std::memset(image, 0, sizeof image);
  const int usualTiles[] = {0,  32, 36, 37, 52, 53, 1,  35, 2,  34, 3,  48,  46,
                            62, 42, 43, 58, 59, 64, 65, 66, 80, 96, 33, 144, 145};
  int cell = 0;
  for (int t : usualTiles) image[20 + cell++] = static_cast<uint8_t>(t);
  for (int t = 150; cell < 26 + 64; ++t) image[20 + cell++] = static_cast<uint8_t>(t);
  EXPECT_TRUE(roundTrips(image, &refused));
  EXPECT_FALSE(refused);
  image[20 + cell] = 254;
  EXPECT_TRUE(roundTrips(image, &refused));
  EXPECT_TRUE(refused);

  // Every object code once: far more than characters.
  std::memset(image, 0, sizeof image);
  for (int i = 0; i < 256; ++i) image[320 + i] = static_cast<uint8_t>(i);
  EXPECT_FALSE(decompileStage(image, &text, &error));
  EXPECT_NE(error.find("object codes"), std::string::npos) << error;
  // 19 usual codes and 75 spare characters.
  std::memset(image, 0, sizeof image);
  const int usual[] = {0, 7, 8, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25};
  int n = 0;
  for (int code : usual) image[320 + n++] = static_cast<uint8_t>(code);
  for (int code = 100; n < 19 + 75; ++code) image[320 + n++] = static_cast<uint8_t>(code);
  EXPECT_TRUE(roundTrips(image, &refused));
  EXPECT_FALSE(refused);
  image[320 + n] = 250;
  EXPECT_TRUE(roundTrips(image, &refused));
  EXPECT_TRUE(refused);
}

// The tool itself: a refusal is one line on stderr and exit code 1.
TEST(StageCompiler, DecompileRefusesWhatItCannotWriteWithExitCodeOne) {
  const std::string tool = WENDLOP_BINARY_DIR "/tools/wendlop-stagec/wendlop-stagec";
  ASSERT_TRUE(std::filesystem::exists(tool)) << tool;
  const auto folder = std::filesystem::temp_directory_path() / ("wendlop-stagec-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  auto run = [&](const uint8_t image[620], std::string* out, std::string* err) {
    const auto file = folder / "stage.fmf";
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(image), 620);
    const std::string command = tool + " decompile " + file.string() + " >" + (folder / "out").string() + " 2>" +
                                (folder / "err").string();
    const int status = std::system(command.c_str());
    auto slurp = [](const std::filesystem::path& p) {
      std::ifstream in(p, std::ios::binary);
      return std::string(std::istreambuf_iterator<char>(in), {});
    };
    *out = slurp(folder / "out");
    *err = slurp(folder / "err");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  uint8_t image[620] = {};
  for (int i = 0; i < 256; ++i) image[320 + i] = static_cast<uint8_t>(i);
  std::string out, err;
  EXPECT_EQ(run(image, &out, &err), 1);
  EXPECT_EQ(out, "");
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  EXPECT_NE(err.find("cannot be written as stage text"), std::string::npos) << err;

  std::memset(image + 320, 0, 300);
  std::memcpy(image, " edge ", 6);
  EXPECT_EQ(run(image, &out, &err), 0) << err;
  EXPECT_NE(out.find("header 2065646765200000"), std::string::npos) << out;
  std::filesystem::remove_all(folder);
}
