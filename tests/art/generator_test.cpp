// The art generator's source languages: the faults an artist is likely to make
// must stop the build with the file and line, and the bitmap writer must lay out
// rows the way the readers expect.
#ifdef WENDLOP_HAVE_ART_LIB

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "art.h"
#include "art/bmp_reader.h"

namespace {

namespace fs = std::filesystem;

class ArtSources : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("wendlop-art-test-" + std::to_string(::getpid()) + "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir);
    write("palette.txt", "key 00ff00\nramp ink 000000 444444 888888 ffffff\nramp red 400000 800000 c00000 ff0000\n");
    write("font.txt", "rows" + rowsOf("ink.3") + "\noutline ink.0\nglyph A\n.#.\n#.#\n###\nend\n");
    write("logo.txt", "radius 4\noutline 2 ink.0\nfill 0 127 red.3 red.1\nseg 40 60 100 60\n");
  }
  void TearDown() override { fs::remove_all(dir); }
  static std::string rowsOf(const std::string& c) {
    std::string s;
    for (int i = 0; i < 16; ++i) s += " " + c;
    return s;
  }
  void write(const std::string& name, const std::string& text) { std::ofstream(dir / name) << text; }
  art::Palette palette() { return art::Palette::load((dir / "palette.txt").string()); }
  // Runs the sprite sheet builder and returns its error message, or "" when it succeeds.
  std::string sheetError(const std::string& sheet) {
    write("sheet.txt", sheet);
    try {
      art::buildSpriteSheet(dir.string(), palette());
    } catch (const art::Error& e) {
      return e.what();
    }
    return "";
  }
  fs::path dir;
};

TEST_F(ArtSources, PaletteKeepsPureGreenForTheKeyAlone) {
  art::Palette p = palette();
  EXPECT_EQ(p.key, 0);
  ASSERT_EQ(p.entries.size(), 256u);
  EXPECT_EQ(p.ramps.at("red").size(), 4u);
  EXPECT_EQ(p.ramps.at("red")[3], 8);
  write("palette.txt", "key 00ff00\nramp grass 00ff00 008000\n");
  EXPECT_THROW(palette(), art::Error);
  write("palette.txt", "key 00ff00\nkey 00ff00\n");
  EXPECT_THROW(palette(), art::Error);
  write("palette.txt", "ramp ink 000000\n");
  EXPECT_THROW(palette(), art::Error) << "a palette without a key";
}

TEST_F(ArtSources, GradientsRunThroughTheirStops) {
  write("palette.txt", "key 00ff00\ngrad g 5 000000 800000 ff0000\n");
  art::Palette p = palette();
  const auto& g = p.ramps.at("g");
  ASSERT_EQ(g.size(), 5u);
  EXPECT_EQ(p.entries[size_t(g[0])].r, 0);
  EXPECT_EQ(p.entries[size_t(g[2])].r, 0x80);
  EXPECT_EQ(p.entries[size_t(g[4])].r, 0xff);
  EXPECT_EQ(p.entries[size_t(g[1])].r, 0x40);
}

TEST_F(ArtSources, StampsPiecesAndMirroredFrames) {
  write("sheet.txt",
        "legend l\n  a @3\n  b ink.1\nend\n"
        "grid g l\nab\nbb\nend\n"
        "tile 5\n  stamp g 0 0 ramp=red\n"
        "piece 6\n  rect 0 0 64 64 ink.2\n"
        "frame 0\n  stamp g 10 20 ramp=red\n"
        "frame 8\n  draw frame 0 flipx\n");
  art::Palette p = palette();
  art::Image s = art::buildSpriteSheet(dir.string(), p);
  EXPECT_EQ(s.at(5 * 32, 0), p.ramps.at("red")[3]);
  EXPECT_EQ(s.at(5 * 32 + 1, 0), p.ramps.at("ink")[1]);
  EXPECT_EQ(s.at(5 * 32 + 2, 0), p.key);
  for (int t : {6, 7, 22, 23}) EXPECT_EQ(s.at((t % 16) * 32 + 31, (t / 16) * 32 + 31), p.ramps.at("ink")[2]) << "piece quarter " << t;
  // Frame 8 sits at column 7 of the second row and is frame 0 mirrored.
  EXPECT_EQ(s.at(10, 512 + 20), p.ramps.at("red")[3]);
  EXPECT_EQ(s.at(7 * 64 + 63 - 10, 576 + 20), p.ramps.at("red")[3]);
  EXPECT_EQ(s.at(7 * 64 + 63 - 11, 576 + 20), p.ramps.at("ink")[1]);
}

TEST_F(ArtSources, MistakesNameTheFileAndLine) {
  std::string err = sheetError("legend l\n  a ink.1\nend\ngrid g l\naaa\naa\nend\n");
  EXPECT_NE(err.find("sheet.txt:6:"), std::string::npos) << err;
  err = sheetError("legend l\n  a ink.1\nend\ngrid g l\naxa\nend\n");
  EXPECT_NE(err.find("sheet.txt:5:"), std::string::npos) << err;
  err = sheetError("legend l\n  a nosuch.1\nend\n");
  EXPECT_NE(err.find("unknown ramp"), std::string::npos) << err;
  err = sheetError("tile 3\n  rect 0 0 4 4 ink.1\ntile 3\n");
  EXPECT_NE(err.find("drawn twice"), std::string::npos) << err;
  err = sheetError("piece 4\n  rect 0 0 4 4 ink.1\ntile 21\n  rect 0 0 4 4 ink.1\n");
  EXPECT_NE(err.find("tile 21 drawn twice"), std::string::npos) << err;
  err = sheetError("legend l\n  a @2\nend\ngrid g l\na\nend\ntile 3\n  stamp g 0 0\n");
  EXPECT_NE(err.find("ramp="), std::string::npos) << "a ramp-shaded grid stamped without a ramp: " << err;
  err = sheetError("tile 3\n  ghost 0 0 32 32 red style=wavy\n");
  EXPECT_NE(err.find("sheet.txt:2:"), std::string::npos) << "an unknown frame style: " << err;
  err = sheetError("piece 15\n");
  EXPECT_NE(err.find("piece"), std::string::npos) << "a piece cannot wrap round the tile grid: " << err;
}

TEST_F(ArtSources, OpenFramesHaveTheRhythmOfTheirStyle) {
  write("sheet.txt",
        "tile 1\n  ghost 0 0 32 32 red\n"
        "tile 2\n  ghost 0 0 32 32 red style=dot\n"
        "tile 3\n  ghost 0 0 32 32 red style=corner\n"
        "tile 4\n  bricks 0 0 32 32 red\n");  // shades beyond a short ramp fall back on its last
  art::Palette p = palette();
  art::Image s = art::buildSpriteSheet(dir.string(), p);
  const int light = p.ramps.at("red")[3];  // a four-shade ramp: marks use its last shade
  // Marks along the top edge (row 1) of each tile, as a string of x and -.
  auto top = [&](int tile) {
    std::string marks;
    for (int x = 1; x < 31; ++x) marks += s.at(tile * 32 + x, 1) == light ? 'x' : '-';
    return marks;
  };
  // Every style is symmetric, so that all four corners look alike.
  for (int t : {1, 2, 3}) {
    std::string m = top(t);
    EXPECT_EQ(m, std::string(m.rbegin(), m.rend())) << "style of tile " << t;
    EXPECT_EQ(m[0], 'x') << "corner of tile " << t;
  }
  EXPECT_EQ(top(2).substr(0, 8), "xx--xx--") << "dots: two on, two off";
  EXPECT_EQ(top(1).substr(0, 8), "xxxxx---") << "dashes: five on, three off";
  EXPECT_EQ(top(3), "xxxxxxx" + std::string(16, '-') + "xxxxxxx") << "corners only";
}

TEST_F(ArtSources, BitmapRowsAreBottomUpAndPadded) {
  art::Palette p = palette();
  art::Image img(5, 3, 0);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) img.set(x, y, uint8_t(y * 5 + x + 1));
  IndexedBmp b = parseIndexedBmp(art::encodeBmp(img, p));
  ASSERT_TRUE(b.ok) << b.error;
  EXPECT_EQ(b.width, 5);
  EXPECT_EQ(b.height, 3);
  ASSERT_EQ(b.table.size(), 256u);
  EXPECT_EQ(b.pixels, img.px);
  std::vector<uint8_t> bytes = art::encodeBmp(img, p);
  EXPECT_EQ(bytes.size(), 14u + 40u + 1024u + 8u * 3u) << "rows of 5 pixels are padded to 8 bytes";
}

TEST_F(ArtSources, FontAndLogoStayInsideTheirCells) {
  art::Palette p = palette();
  art::Image font = art::buildFont((dir / "font.txt").string(), p);
  ASSERT_EQ(font.w, 128);
  int inside = 0, outside = 0;
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 128; ++x)
      if (font.at(x, y) != p.key) (x >= 16 && x < 32 && y >= 128 && y < 144 ? inside : outside)++;
  EXPECT_GT(inside, 20) << "glyph 'A' is at column 1, row 8";
  EXPECT_EQ(outside, 0);
  write("logo.txt", "radius 4\noutline 2 ink.0\nfill 0 127 red.3 red.1\nseg 0 0 100 60\n");
  EXPECT_THROW(art::buildLogo((dir / "logo.txt").string(), p), art::Error) << "letters cut off at the corner";
}

}  // namespace

#endif
