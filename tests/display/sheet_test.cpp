// Sheet files: reading 8-bit BMPs, refusing what cannot be a sheet, start-up
// of the display from files, the presented colours, and the pictures it saves.
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>
#include <zlib.h>

#include "canvas_model.h"
#include "platform/video.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> bmpOf(int w, int h, const std::vector<uint8_t>& px, const uint8_t colours[256][3]) {
  std::vector<uint8_t> file;
  encodeBmp8(w, h, px.data(), colours, &file);
  return file;
}

void putLe32(std::vector<uint8_t>& f, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) f[at + i] = (v >> (8 * i)) & 0xFF;
}

std::string refusal(const std::vector<uint8_t>& file) {
  Surface s;
  const char* why = "";
  EXPECT_FALSE(decodeBmp(file.data(), file.size(), &s, &why));
  return why;
}

TEST(Bmp, RoundTripKeepsPixelsAndColoursWithRowPadding) {
  uint8_t colours[256][3];
  testSheetColours(colours);
  std::vector<uint8_t> px;
  for (int i = 0; i < 5 * 3; ++i) px.push_back(static_cast<uint8_t>(i * 17));
  const std::vector<uint8_t> file = bmpOf(5, 3, px, colours);
  Surface s;
  const char* why = "";
  ASSERT_TRUE(decodeBmp(file.data(), file.size(), &s, &why)) << why;
  EXPECT_EQ(s.width, 5);
  EXPECT_EQ(s.height, 3);
  EXPECT_EQ(s.pixels, px);
  EXPECT_EQ(s.colourCount, 256);
  EXPECT_EQ(std::memcmp(s.colours, colours, sizeof colours), 0);
}

TEST(Bmp, TopDownRowsAndShortColourTables) {
  uint8_t colours[256][3];
  testSheetColours(colours);
  std::vector<uint8_t> px = {1, 2, 3, 4, 5, 6, 7, 8};  // 4 x 2, top row first
  std::vector<uint8_t> file = bmpOf(4, 2, px, colours);
  // Turn it top-down: negative height, rows swapped in the file.
  putLe32(file, 22, static_cast<uint32_t>(-2));
  const size_t offset = 14 + 40 + 1024;
  std::swap_ranges(file.begin() + offset, file.begin() + offset + 4, file.begin() + offset + 4);
  // Only 16 table entries in use.
  putLe32(file, 46, 16);
  Surface s;
  const char* why = "";
  ASSERT_TRUE(decodeBmp(file.data(), file.size(), &s, &why)) << why;
  EXPECT_EQ(s.pixels, px);
  EXPECT_EQ(s.colourCount, 16);
  EXPECT_EQ(s.colours[15][0], colours[15][0]);
  EXPECT_EQ(s.colours[16][0], 0);  // past the table: black
  EXPECT_EQ(s.colours[255][1], 0);
}

TEST(Bmp, OldestHeaderWithThreeByteColours) {
  // 14-byte file header, 12-byte header, 256 entries of blue, green, red, then
  // two rows of 2 pixels padded to 4, bottom row first.
  std::vector<uint8_t> f(14 + 12 + 768 + 8, 0);
  f[0] = 'B';
  f[1] = 'M';
  putLe32(f, 10, 14 + 12 + 768);
  putLe32(f, 14, 12);
  f[18] = 2;  // width, 16 bits
  f[20] = 2;  // height
  f[22] = 1;  // planes
  f[24] = 8;  // bits
  f[26 + 3 * 5 + 0] = 0x30;  // entry 5: blue, green, red
  f[26 + 3 * 5 + 1] = 0x20;
  f[26 + 3 * 5 + 2] = 0x10;
  const uint8_t rows[8] = {3, 4, 0, 0, 5, 6, 0, 0};
  std::memcpy(&f[14 + 12 + 768], rows, 8);
  Surface s;
  const char* why = "";
  ASSERT_TRUE(decodeBmp(f.data(), f.size(), &s, &why)) << why;
  EXPECT_EQ(s.pixels, (std::vector<uint8_t>{5, 6, 3, 4}));
  EXPECT_EQ(s.colours[5][0], 0x10);
  EXPECT_EQ(s.colours[5][2], 0x30);
}

TEST(Bmp, Rle8) {
  uint8_t colours[256][3];
  testSheetColours(colours);
  std::vector<uint8_t> file = bmpOf(4, 3, std::vector<uint8_t>(12, 0), colours);
  file.resize(14 + 40 + 1024);
  putLe32(file, 30, 1);  // RLE8
  // Bottom row: run of 4 x 7. Middle: literal 3 pixels (padded), end of line.
  // Then move right 2 into the top row and a run of 2 x 5, end of picture.
  const uint8_t runs[] = {4, 7, 0, 0, 0, 3, 9, 8, 6, 0, 0, 0, 0, 2, 2, 0, 2, 5, 0, 1};
  file.insert(file.end(), runs, runs + sizeof runs);
  Surface s;
  const char* why = "";
  ASSERT_TRUE(decodeBmp(file.data(), file.size(), &s, &why)) << why;
  const std::vector<uint8_t> want = {0, 0, 5, 5, 9, 8, 6, 0, 7, 7, 7, 7};
  EXPECT_EQ(s.pixels, want);

  // Runs cut off in the middle are a truncated file, and runs that overrun
  // the picture are cut at its edge.
  std::vector<uint8_t> cut(file.begin(), file.end() - 16);
  EXPECT_EQ(refusal(cut), "is truncated");
  file.resize(14 + 40 + 1024);
  const uint8_t wild[] = {255, 1, 0, 2, 200, 200, 255, 3, 0, 1};
  file.insert(file.end(), wild, wild + sizeof wild);
  ASSERT_TRUE(decodeBmp(file.data(), file.size(), &s, &why)) << why;
  EXPECT_EQ(s.pixels[8], 1);

  // A file of about 1 KiB may not claim a picture of 64 MiB.
  putLe32(file, 18, 8192);
  putLe32(file, 22, 8192);
  EXPECT_LT(file.size(), 1200u);
  EXPECT_EQ(refusal(file), "claims to be larger than 4096 x 4096 pixels, more than any sheet can be");
}

TEST(Bmp, RefusesWhatCannotBeAnEightBitPicture) {
  uint8_t colours[256][3];
  testSheetColours(colours);
  const std::vector<uint8_t> good = bmpOf(8, 8, std::vector<uint8_t>(64, 3), colours);

  EXPECT_EQ(refusal({}), "is not a BMP file");
  EXPECT_EQ(refusal({'G', 'I', 'F', '8', '9', 'a'}), "is not a BMP file");
  EXPECT_EQ(refusal(std::vector<uint8_t>(good.begin(), good.begin() + 16)), "is truncated");
  EXPECT_EQ(refusal(std::vector<uint8_t>(good.begin(), good.begin() + 40)), "is truncated");
  EXPECT_EQ(refusal(std::vector<uint8_t>(good.begin(), good.begin() + 14 + 40 + 500)), "is truncated");
  EXPECT_EQ(refusal(std::vector<uint8_t>(good.begin(), good.end() - 9)), "is truncated");
  // The padding after the last row may be missing, its pixels may not.
  {
    const std::vector<uint8_t> odd = bmpOf(5, 2, std::vector<uint8_t>(10, 3), colours);
    Surface s;
    const char* why = "";
    EXPECT_TRUE(decodeBmp(odd.data(), odd.size() - 3, &s, &why)) << why;
    EXPECT_EQ(refusal(std::vector<uint8_t>(odd.begin(), odd.end() - 4)), "is truncated");
  }

  std::vector<uint8_t> f = good;
  f[28] = 24;
  EXPECT_EQ(refusal(f), "is not an 8-bit (256-colour) picture");
  f = good;
  f[28] = 4;
  EXPECT_EQ(refusal(f), "is not an 8-bit (256-colour) picture");
  f = good;
  f[28] = 7;
  EXPECT_EQ(refusal(f), "is not a BMP file (bad pixel depth)");
  f = good;
  putLe32(f, 30, 2);  // RLE4
  EXPECT_NE(refusal(f).find("compression"), std::string::npos);
  f = good;
  putLe32(f, 14, 20);
  EXPECT_EQ(refusal(f), "is not a BMP file (unknown header)");
  f = good;
  putLe32(f, 14, 0xFFFFFFF0u);  // a header longer than the file
  EXPECT_EQ(refusal(f), "is truncated");
  for (uint32_t width : {0u, 0x80000000u}) {
    f = good;
    putLe32(f, 18, width);
    EXPECT_EQ(refusal(f), "has an impossible size") << width;
  }
  // No sheet is ever wider or taller than 4096 pixels, however few bytes the
  // file spends on the claim.
  const std::string tooLarge = "claims to be larger than 4096 x 4096 pixels, more than any sheet can be";
  for (uint32_t width : {4097u, 100000u}) {
    f = good;
    putLe32(f, 18, width);
    EXPECT_EQ(refusal(f), tooLarge) << width;
  }
  f = good;
  putLe32(f, 22, static_cast<uint32_t>(-4097));  // top-down
  EXPECT_EQ(refusal(f), tooLarge);
  f = good;
  putLe32(f, 22, 0x80000000u);  // the most negative height
  EXPECT_EQ(refusal(f), tooLarge);
  f = good;
  putLe32(f, 10, 0xFFFFFF00u);  // pixels far past the end
  EXPECT_EQ(refusal(f), "is truncated");
}

TEST(Bmp, PureGreenIsFoundInTheColourTable) {
  Surface s;
  s.colourCount = 256;
  EXPECT_EQ(matchColour(s, 0x0000FF00), 0xFFFFFFFFu);
  s.colours[200][1] = 255;
  s.colours[201][1] = 255;
  EXPECT_EQ(matchColour(s, 0x0000FF00), 200u);
  s.colourCount = 100;  // entries past the file's table are not colours of the sheet
  EXPECT_EQ(matchColour(s, 0x0000FF00), 0xFFFFFFFFu);
  s.colourCount = 256;
  s.colours[3][0] = 0x12;
  s.colours[3][1] = 0x34;
  s.colours[3][2] = 0x56;
  EXPECT_EQ(matchColour(s, 0x00563412), 3u);  // 0x00BBGGRR
}

// A folder of its own for each test, with the display's working folder in it.
class SheetFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    sysSetHeadless(true);
    folder = fs::temp_directory_path() /
             ("wendlop-display-" + std::to_string(::getpid()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder);
    fs::create_directories(folder);
    home = fs::current_path();
    fs::current_path(folder);
  }
  void TearDown() override {
    releaseDisplay();
    display.displayReady = 0;
    setScreenshotDir(nullptr, 1);
    fs::current_path(home);
    fs::remove_all(folder);
  }
  void write(const char* path, const std::vector<uint8_t>& bytes) {
    ASSERT_TRUE(sysWriteFileAtomic(path, bytes.data(), bytes.size()));
  }
  // initDisplay's result and what it said on stderr.
  int start(std::string* said) {
    ::testing::internal::CaptureStderr();
    const int ok = initDisplay();
    *said = ::testing::internal::GetCapturedStderr();
    return ok;
  }
  fs::path folder, home;
};

TEST_F(SheetFiles, StartsFromTheSheetsAndPresentsThroughTheBackdropColours) {
  ASSERT_TRUE(writeTestSheets("."));
  // The backdrop sheet's table differs from the sprite sheet's in one entry:
  // the screen must show the backdrop sheet's.
  Surface backdrop = makeTestBackdropSheet();
  backdrop.colours[40][0] = 1;
  backdrop.colours[40][1] = 2;
  backdrop.colours[40][2] = 3;
  std::vector<uint8_t> file;
  encodeBmp8(640, 1440, backdrop.pixels.data(), backdrop.colours, &file);
  write("bmp/test.bmp", file);

  sysSetFakeTicks(5000);
  frameClock.frameBaseTime = 1;
  std::string said;
  ASSERT_EQ(start(&said), 1) << said;
  EXPECT_EQ(said, "");
  EXPECT_EQ(display.displayReady, 1);
  EXPECT_EQ(frameClock.frameBaseTime, 1u);  // the display does not start the game
  EXPECT_EQ(SpriteSheet.key, TestKey);
  EXPECT_EQ(std::memcmp(gamePalette, backdrop.colours, sizeof gamePalette), 0);

  display.drawing = true;
  drawBackdrop(0);
  for (int x = 0; x < 16; ++x) FrameCanvas[479][x] = 40;
  presentFrame();
  const uint32_t* shown = sysPresentedPicture();
  ASSERT_NE(shown, nullptr);
  for (int y = 0; y < CanvasHeight; y += 7)
    for (int x = 0; x < CanvasWidth; x += 3) {
      const uint8_t v = FrameCanvas[y][x];
      const uint32_t rgb = (backdrop.colours[v][0] << 16) | (backdrop.colours[v][1] << 8) | backdrop.colours[v][2];
      ASSERT_EQ(shown[y * CanvasWidth + x], rgb) << x << "," << y;
    }
  EXPECT_EQ(shown[479 * CanvasWidth], 0x010203u);

  // A repaint shows the canvas again as it stands, without drawing.
  FrameCanvas[0][0] = 40;
  repaintWindow();
  EXPECT_EQ(shown[0], 0x010203u);
}

// The whole presented picture, checked against the canvas through the colours.
::testing::AssertionResult showsCanvas(const uint8_t colours[256][3]) {
  const uint32_t* shown = sysPresentedPicture();
  if (!shown) return ::testing::AssertionFailure() << "nothing presented";
  for (int y = 0; y < CanvasHeight; ++y)
    for (int x = 0; x < CanvasWidth; ++x) {
      const uint8_t v = FrameCanvas[y][x];
      const uint32_t rgb = (colours[v][0] << 16) | (colours[v][1] << 8) | colours[v][2];
      if (shown[y * CanvasWidth + x] != rgb)
        return ::testing::AssertionFailure() << "picture differs at (" << x << ", " << y << ")";
    }
  return ::testing::AssertionSuccess();
}

TEST_F(SheetFiles, PresentsKeepTheWholePictureInStep) {
  ASSERT_TRUE(writeTestSheets("."));
  std::string said;
  ASSERT_EQ(start(&said), 1) << said;
  display.drawing = true;
  drawBackdrop(0);
  presentFrame();
  EXPECT_TRUE(showsCanvas(gamePalette));

  // Changes at the top, in the middle and at the bottom row.
  FrameCanvas[0][639] = 9;
  FrameCanvas[200][5] = 10;
  FrameCanvas[479][0] = 11;
  presentFrame();
  EXPECT_TRUE(showsCanvas(gamePalette));
  presentFrame();  // nothing changed
  EXPECT_TRUE(showsCanvas(gamePalette));
  drawBackdrop(2);
  presentFrame();
  EXPECT_TRUE(showsCanvas(gamePalette));
}

TEST_F(SheetFiles, EachMissingOrBadSheetEndsTheStartWithOneLineNamingIt) {
  uint8_t colours[256][3];
  testSheetColours(colours);
  std::string said;

  EXPECT_EQ(start(&said), 0);
  EXPECT_EQ(said, "wendlop: cannot start the display: bmp/gamebg.bmp is missing\n");
  EXPECT_EQ(display.displayReady, 0);

  ASSERT_TRUE(writeTestSheets("."));
  fs::remove("bmp/test.bmp");
  EXPECT_EQ(start(&said), 0);
  EXPECT_EQ(said, "wendlop: cannot start the display: bmp/test.bmp is missing\n");

  // Big enough for a sprite sheet, too small for the three backdrops.
  write("bmp/test.bmp", bmpOf(640, 1000, std::vector<uint8_t>(640 * 1000, 3), colours));
  EXPECT_EQ(start(&said), 0);
  EXPECT_EQ(said,
            "wendlop: cannot start the display: bmp/test.bmp is 640 x 1000 pixels, smaller than the "
            "640 x 1440 it must have\n");

  write("bmp/gamebg.bmp", bmpOf(639, 768, std::vector<uint8_t>(639 * 768, 3), colours));
  EXPECT_EQ(start(&said), 0);
  EXPECT_NE(said.find("bmp/gamebg.bmp is 639 x 768 pixels"), std::string::npos) << said;

  std::vector<uint8_t> sheet = bmpOf(640, 768, std::vector<uint8_t>(640 * 768, 3), colours);
  sheet[28] = 24;
  write("bmp/gamebg.bmp", sheet);
  EXPECT_EQ(start(&said), 0);
  EXPECT_EQ(said, "wendlop: cannot start the display: bmp/gamebg.bmp is not an 8-bit (256-colour) picture\n");

  sheet[28] = 8;
  sheet.resize(sheet.size() / 2);
  write("bmp/gamebg.bmp", sheet);
  EXPECT_EQ(start(&said), 0);
  EXPECT_EQ(said, "wendlop: cannot start the display: bmp/gamebg.bmp is truncated\n");

  write("bmp/gamebg.bmp", {'h', 'e', 'l', 'l', 'o'});
  EXPECT_EQ(start(&said), 0);
  EXPECT_EQ(said, "wendlop: cannot start the display: bmp/gamebg.bmp is not a BMP file\n");
  EXPECT_EQ(display.displayReady, 0);

  fs::remove("bmp/gamebg.bmp");
  fs::create_directory("bmp/gamebg.bmp");
  EXPECT_EQ(start(&said), 0);
  EXPECT_EQ(said, "wendlop: cannot start the display: bmp/gamebg.bmp is a folder, not a file\n");

  // Nothing is shown by a display that did not start.
  repaintWindow();
  presentFrame();
  EXPECT_EQ(sysPresentedPicture(), nullptr);
}

TEST_F(SheetFiles, SpriteSheetWithoutPureGreenHasNoKey) {
  ASSERT_TRUE(writeTestSheets("."));
  Surface sprite = makeTestSpriteSheet();
  sprite.colours[TestKey][1] = 254;
  std::vector<uint8_t> file;
  encodeBmp8(640, 768, sprite.pixels.data(), sprite.colours, &file);
  write("bmp/gamebg.bmp", file);
  std::string said;
  ASSERT_EQ(start(&said), 1) << said;
  EXPECT_EQ(SpriteSheet.key, NoColourKey);
}

// Inflates a zlib stream that must hold exactly `size` bytes; false on
// anything else, a bad check sum included.
bool inflateExactly(const std::vector<uint8_t>& z, size_t size, std::vector<uint8_t>* out) {
  out->assign(size + 1, 0);
  uLongf got = static_cast<uLongf>(out->size());
  if (uncompress(out->data(), &got, z.data(), static_cast<uLong>(z.size())) != Z_OK || got != size) return false;
  out->resize(got);
  return true;
}

// Reads a palette PNG: size, colour table and the unfiltered rows.
bool readPng(const std::vector<uint8_t>& png, int* w, int* h, std::vector<uint8_t>* palette,
             std::vector<uint8_t>* rows) {
  auto be32 = [&](size_t at) {
    return (uint32_t(png[at]) << 24) | (png[at + 1] << 16) | (png[at + 2] << 8) | png[at + 3];
  };
  const uint8_t sig[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (png.size() < 8 || std::memcmp(png.data(), sig, 8) != 0) return false;
  std::vector<uint8_t> z;
  size_t at = 8;
  bool ended = false;
  while (at + 12 <= png.size()) {
    const uint32_t len = be32(at);
    if (at + 12 + len > png.size()) return false;
    const std::string type(png.begin() + at + 4, png.begin() + at + 8);
    const uint8_t* data = png.data() + at + 8;
    // Each chunk's CRC covers its type and data.
    if (crc32(0L, png.data() + at + 4, len + 4) != be32(at + 8 + len)) return false;
    if (type == "IHDR") {
      *w = static_cast<int>(be32(at + 8));
      *h = static_cast<int>(be32(at + 12));
      if (data[8] != 8 || data[9] != 3) return false;
    } else if (type == "PLTE") {
      palette->assign(data, data + len);
    } else if (type == "IDAT") {
      z.insert(z.end(), data, data + len);
    } else if (type == "IEND") {
      ended = true;
    }
    at += 12 + len;
  }
  return ended && *w > 0 && *h > 0 && inflateExactly(z, static_cast<size_t>(*w + 1) * *h, rows);
}

std::vector<uint8_t> slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

TEST(Png, CompressedPicturesReadBackExactly) {
  uint8_t colours[256][3];
  testSheetColours(colours);
  // Noise (every literal code), flat colour (the longest matches), a short
  // repeating pattern (near matches) and rows repeated from far back.
  const int w = 301, h = 240;
  std::vector<uint8_t> px(w * h);
  uint32_t seed = 12345;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t& v = px[y * w + x];
      seed = seed * 1103515245u + 12345u;
      if (y < 60) v = static_cast<uint8_t>(seed >> 24);
      else if (y < 120) v = 200;
      else if (y < 180) v = static_cast<uint8_t>((x % 7) * 40);
      else v = px[(y - 150) * w + x];
    }
  std::vector<uint8_t> png;
  encodePng8(w, h, px.data(), colours, &png);
  int rw = 0, rh = 0;
  std::vector<uint8_t> palette, rows;
  ASSERT_TRUE(readPng(png, &rw, &rh, &palette, &rows));
  ASSERT_EQ(rw, w);
  ASSERT_EQ(rh, h);
  ASSERT_EQ(rows.size(), static_cast<size_t>((w + 1) * h));
  for (int y = 0; y < h; ++y) {
    ASSERT_EQ(rows[y * (w + 1)], 0);
    ASSERT_EQ(std::memcmp(&rows[y * (w + 1) + 1], &px[y * w], w), 0) << "row " << y;
  }

  // A flat frame is a few kilobytes, not the 300 it holds.
  std::vector<uint8_t> flat(640 * 480, 17);
  encodePng8(640, 480, flat.data(), colours, &png);
  EXPECT_LT(png.size(), 6000u);
  ASSERT_TRUE(readPng(png, &rw, &rh, &palette, &rows));
  EXPECT_EQ(rows[641 * 479 + 640], 17);
}

TEST_F(SheetFiles, PicturesOfTheCanvas) {
  ASSERT_TRUE(writeTestSheets("."));
  std::string said;
  ASSERT_EQ(start(&said), 1) << said;
  display.drawing = true;
  drawBackdrop(1);
  drawText(3, 3, "PICTURE");

  ASSERT_TRUE(saveCanvasPicture("shots/canvas.bmp"));
  Surface back;
  const char* why = "";
  const std::vector<uint8_t> bmp = slurp("shots/canvas.bmp");
  ASSERT_TRUE(decodeBmp(bmp.data(), bmp.size(), &back, &why)) << why;
  EXPECT_EQ(back.width, 640);
  EXPECT_EQ(back.height, 480);
  EXPECT_EQ(std::memcmp(back.pixels.data(), FrameCanvas, sizeof FrameCanvas), 0);
  EXPECT_EQ(std::memcmp(back.colours, gamePalette, sizeof gamePalette), 0);

  ASSERT_TRUE(saveCanvasPicture("shots/canvas.png"));
  int w = 0, h = 0;
  std::vector<uint8_t> palette, rows;
  ASSERT_TRUE(readPng(slurp("shots/canvas.png"), &w, &h, &palette, &rows));
  ASSERT_EQ(w, 640);
  ASSERT_EQ(h, 480);
  ASSERT_EQ(rows.size(), 641u * 480u);
  EXPECT_EQ(std::memcmp(palette.data(), gamePalette, 768), 0);
  for (int y = 0; y < 480; ++y) {
    ASSERT_EQ(rows[y * 641], 0) << "filter of row " << y;
    ASSERT_EQ(std::memcmp(&rows[y * 641 + 1], FrameCanvas[y], 640), 0) << "row " << y;
  }

  EXPECT_FALSE(saveCanvasPicture(nullptr));
  ASSERT_TRUE(sysWriteFileAtomic("blocker", "x", 1));
  EXPECT_FALSE(saveCanvasPicture("blocker/under-a-file.png"));
}

TEST_F(SheetFiles, ScreenshotsOfEveryNthPresentedFrame) {
  ASSERT_TRUE(writeTestSheets("."));
  std::string said;
  ASSERT_EQ(start(&said), 1) << said;
  setScreenshotDir("shots", 3);
  for (int i = 0; i < 7; ++i) {
    FrameCanvas[0][0] = static_cast<uint8_t>(i);
    presentFrame();
  }
  for (int n = 1; n <= 7; ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "shots/frame-%06d.png", n);
    EXPECT_EQ(fs::exists(name), n == 1 || n == 4 || n == 7) << name;
  }
  int w = 0, h = 0;
  std::vector<uint8_t> palette, rows;
  ASSERT_TRUE(readPng(slurp("shots/frame-000004.png"), &w, &h, &palette, &rows));
  EXPECT_EQ(rows[1], 3);  // the canvas as it was at the fourth present

  // A folder that cannot be written stops the screenshots with one line.
  ASSERT_TRUE(sysWriteFileAtomic("blocker", "x", 1));
  setScreenshotDir("blocker", 1);
  ::testing::internal::CaptureStderr();
  presentFrame();
  presentFrame();
  const std::string complaint = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(complaint, "wendlop: cannot save screenshots in blocker; no more will be taken\n");
}

}  // namespace
