// The committed sprite and backdrop sheets: format, shared colour table, the
// transparent key, that every picture the game reads is where it looks for it,
// and that the pictures tell a player what the game will do.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <string>

#include "art/bmp_reader.h"
#include "flow/flow.h"
#include "world/world.h"

namespace {

const std::string bmpDir = std::string(WENDLOP_SOURCE_DIR) + "/data/bmp/";

// Every tile number the tile catalogue gives a meaning to, tile 0 (open space) aside.
const std::set<int> catalogued = {
    1,  35, 2,  34, 3,  48, 49, 50, 51, 33, 46, 47, 62, 63,                          // singles
    4,  5,  20, 21, 40, 41, 56, 57,                                                  // switch piece
    6,  7,  22, 23, 8,  9,  24, 25, 10, 11, 26, 27, 12, 13, 28, 29, 14, 15, 30, 31,  // timed piece
    38, 39, 54, 55, 44, 45, 60, 61,                                                  // breakable piece
    42, 43, 58, 59, 32, 36, 37, 52, 53, 64, 65, 66, 80,                              // blink, walls, deadly, star
    96, 97, 98, 99, 100, 101, 102, 103, 144, 145};                                   // lift, goal

constexpr int frameColumn[18] = {0, 1, 2, 3, 4, 5, 6, 7, 7, 6, 5, 4, 3, 2, 1, 0, 8, 8};
constexpr int frameRow[18] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 0, 1};

struct Box {
  int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1;  // inclusive; x1 < 0 when empty
  bool empty() const { return x1 < 0; }
};

class Sheets : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    sprites = new IndexedBmp(readIndexedBmp(bmpDir + "gamebg.bmp"));
    backdrops = new IndexedBmp(readIndexedBmp(bmpDir + "test.bmp"));
    key = -1;
    if (sprites->ok)
      for (size_t i = 0; i < sprites->table.size(); ++i)
        if (sprites->table[i] == std::array<uint8_t, 3>{0, 255, 0}) key = int(i);
  }
  static void TearDownTestSuite() {
    delete sprites;
    delete backdrops;
  }
  void SetUp() override {
    ASSERT_TRUE(sprites->ok) << sprites->error;
    ASSERT_TRUE(backdrops->ok) << backdrops->error;
    ASSERT_GE(key, 0) << "no pure green in the colour table";
  }

  // Visible (non-key) pixels of a sheet rectangle, as a bounding box and a count.
  static Box visible(int x, int y, int w, int h, int* count = nullptr) {
    Box b;
    int n = 0;
    for (int yy = y; yy < y + h; ++yy)
      for (int xx = x; xx < x + w; ++xx)
        if (sprites->at(xx, yy) != key) {
          ++n;
          b.x0 = std::min(b.x0, xx - x);
          b.y0 = std::min(b.y0, yy - y);
          b.x1 = std::max(b.x1, xx - x);
          b.y1 = std::max(b.y1, yy - y);
        }
    if (count) *count = n;
    return b;
  }
  static Box tileBox(int n) { return visible((n % 16) * 32, (n / 16) * 32, 32, 32); }
  static Box frameBox(int f) { return visible(frameColumn[f] * 64, 512 + frameRow[f] * 64, 64, 64); }
  static std::vector<uint8_t> tilePixels(int n) {
    std::vector<uint8_t> p;
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x) p.push_back(sprites->at((n % 16) * 32 + x, (n / 16) * 32 + y));
    return p;
  }

  // The hue (0..360) of the average colour of a picture's visible pixels.
  static double hueOf(const std::vector<uint8_t>& px) {
    double r = 0, g = 0, b = 0;
    int n = 0;
    for (uint8_t p : px)
      if (p != key) {
        r += sprites->table[p][0];
        g += sprites->table[p][1];
        b += sprites->table[p][2];
        ++n;
      }
    if (n == 0) return 0;
    r /= n, g /= n, b /= n;
    const double hi = std::max({r, g, b}), lo = std::min({r, g, b});
    if (hi == lo) return 0;
    double h = hi == r ? (g - b) / (hi - lo) : hi == g ? 2 + (b - r) / (hi - lo) : 4 + (r - g) / (hi - lo);
    h *= 60;
    return h < 0 ? h + 360 : h;
  }
  static double hueApart(double a, double b) {
    double d = std::fabs(a - b);
    return std::min(d, 360 - d);
  }
  static std::vector<uint8_t> piecePixels(int n) {
    std::vector<uint8_t> p;
    for (int q : {n, n + 1, n + 16, n + 17}) {
      auto t = tilePixels(q);
      p.insert(p.end(), t.begin(), t.end());
    }
    return p;
  }

  // Visible pixels of a frame, one 64-bit mask per row (bit x for column x).
  static std::array<uint64_t, 64> frameMask(int f) {
    std::array<uint64_t, 64> m{};
    for (int y = 0; y < 64; ++y)
      for (int x = 0; x < 64; ++x)
        if (sprites->at(frameColumn[f] * 64 + x, 512 + frameRow[f] * 64 + y) != key) m[size_t(y)] |= uint64_t(1) << x;
    return m;
  }

  static IndexedBmp* sprites;
  static IndexedBmp* backdrops;
  static int key;
};
IndexedBmp* Sheets::sprites = nullptr;
IndexedBmp* Sheets::backdrops = nullptr;
int Sheets::key = -1;

TEST_F(Sheets, SizesAndOneFullColourTableWithASingleKey) {
  EXPECT_EQ(sprites->width, 640);
  EXPECT_EQ(sprites->height, 768);
  EXPECT_EQ(backdrops->width, 640);
  EXPECT_EQ(backdrops->height, 1440);
  ASSERT_EQ(sprites->table.size(), 256u);
  EXPECT_EQ(sprites->table, backdrops->table) << "the screen shows the sprites through the backdrop sheet's colours";
  int greens = int(std::count(sprites->table.begin(), sprites->table.end(), std::array<uint8_t, 3>{0, 255, 0}));
  EXPECT_EQ(greens, 1);
}

TEST_F(Sheets, BackdropsNeverUseTheKey) {
  for (int b = 0; b < 3; ++b) {
    int n = 0;
    std::set<uint8_t> colours;
    for (int y = b * 480; y < b * 480 + 480; ++y)
      for (int x = 0; x < 640; ++x) {
        n += backdrops->at(x, y) == key;
        colours.insert(backdrops->at(x, y));
      }
    EXPECT_EQ(n, 0) << "backdrop " << b;
    EXPECT_GE(colours.size(), 8u) << "backdrop " << b << " is nearly flat";
  }
}

TEST_F(Sheets, CatalogueTilesAreDrawnAndAllOthersTransparent) {
  for (int n = 0; n < 256; ++n) {
    if (catalogued.count(n)) {
      EXPECT_FALSE(tileBox(n).empty()) << "tile " << n << " has no picture";
    } else {
      EXPECT_TRUE(tileBox(n).empty()) << "tile " << n << " is not in the catalogue but has pixels";
    }
  }
}

TEST_F(Sheets, EveryPictureLooksDifferent) {
  // Single tiles compared as tiles, 2 x 2 pieces as whole pictures: a quarter of a
  // piece may well repeat from one state to the next.
  const std::vector<int> singles = {1,  35, 2,  34, 3,  48, 49, 50, 51, 33, 46, 47, 62, 63, 42, 43, 58, 59, 32,
                                    36, 37, 52, 53, 64, 65, 66, 80, 96, 97, 98, 99, 100, 101, 102, 103, 144, 145};
  const std::vector<int> pieces = {4, 40, 6, 8, 10, 12, 14, 38, 44};
  for (size_t i = 0; i < singles.size(); ++i)
    for (size_t j = i + 1; j < singles.size(); ++j)
      EXPECT_TRUE(tilePixels(singles[i]) != tilePixels(singles[j])) << "tiles " << singles[i] << " and " << singles[j] << " are identical";
  for (size_t i = 0; i < pieces.size(); ++i)
    for (size_t j = i + 1; j < pieces.size(); ++j)
      EXPECT_TRUE(piecePixels(pieces[i]) != piecePixels(pieces[j])) << "pieces " << pieces[i] << " and " << pieces[j] << " are identical";
}

TEST_F(Sheets, LiftChevronsClimbFourPixelsPerStepAndLoop) {
  // Inside the shaft, each step is the previous one moved up by 4 rows; step 8 is step 0.
  for (int k = 0; k < 8; ++k) {
    auto now = tilePixels(96 + k), next = tilePixels(96 + (k + 1) % 8);
    for (int y = 0; y < 32; ++y)
      for (int x = 4; x < 28; ++x)
        ASSERT_EQ(next[size_t(y * 32 + x)], now[size_t(((y + 4) % 32) * 32 + x)]) << "lift " << 96 + k << " at " << x << "," << y;
  }
}

TEST_F(Sheets, FontHasEveryPrintableCharacterAndBothArrows) {
  for (int c = 0; c < 128; ++c) {
    Box b = visible(512 + (c % 8) * 16, (c / 8) * 16, 16, 16);
    bool wanted = (c > 32 && c < 127) || c == 0x1C || c == 0x1D;
    if (wanted) {
      EXPECT_FALSE(b.empty()) << "no glyph for code " << c;
    } else if (c == 32) {
      EXPECT_TRUE(b.empty()) << "the blank must be blank";
    }
  }
  // The arrows point the right way: the left arrow is widest at its right, and so on.
  auto widthAt = [&](int c, int col) {
    int n = 0;
    for (int y = 0; y < 16; ++y) n += sprites->at(512 + (c % 8) * 16 + col, (c / 8) * 16 + y) != key;
    return n;
  };
  Box l = visible(512 + (0x1D % 8) * 16, (0x1D / 8) * 16, 16, 16), r = visible(512 + (0x1C % 8) * 16, (0x1C / 8) * 16, 16, 16);
  EXPECT_LT(widthAt(0x1D, l.x0 + 1), widthAt(0x1D, l.x1 - 1));
  EXPECT_GT(widthAt(0x1C, r.x0 + 1), widthAt(0x1C, r.x1 - 1));
}

TEST_F(Sheets, WalkerFramesStandOnTheBottomEdgeCentredOverTheCell) {
  for (int f = 0; f < 14; ++f) {
    Box b = frameBox(f);
    ASSERT_FALSE(b.empty()) << "frame " << f;
    EXPECT_EQ(b.y1, 63) << "frame " << f << " does not stand on the bottom edge";
    int centreTwice = b.x0 + b.x1;  // the cell spans 16..47, centre 31.5
    EXPECT_NEAR(centreTwice, 63, 6) << "frame " << f << " is off centre";
    EXPECT_GE(b.x0, 4) << "frame " << f;
    EXPECT_LE(b.x1, 59) << "frame " << f;
    EXPECT_GE(63 - b.y0, 24) << "frame " << f << " is too small for the walker";
  }
}

TEST_F(Sheets, CursorsPointAtTheHotSpot) {
  // Frame 14 points right: the arrow lies left of the centre with its tip on it; 15 the other way.
  Box right = frameBox(14), left = frameBox(15);
  ASSERT_FALSE(right.empty());
  ASSERT_FALSE(left.empty());
  EXPECT_NE(sprites->at(frameColumn[14] * 64 + 32, 512 + frameRow[14] * 64 + 32), key);
  EXPECT_NE(sprites->at(frameColumn[15] * 64 + 32, 512 + frameRow[15] * 64 + 32), key);
  EXPECT_LE(right.x1, 33);
  EXPECT_LT(right.x0, 24);
  EXPECT_GE(left.x0, 31);
  EXPECT_GT(left.x1, 40);
  EXPECT_LE(right.y0, 32);
  EXPECT_GE(right.y1, 32);
}

TEST_F(Sheets, HazardLooksLikeTouchingWhereItTouches) {
  // Every place of a walking walker round a hazard, judged by the game's own
  // contact test against whether the two pictures overlap on the screen (the
  // walker's frame drawn at (x - 16, y - 32), the hazard's at its position).
  Box b = frameBox(16);
  ASSERT_FALSE(b.empty());
  EXPECT_NEAR(b.x0 + b.x1, 63, 1) << "the contact reaches as far to the left as to the right";
  EXPECT_GE(b.x1 - b.x0 + 1, 30) << "too small to read as a danger";
  EXPECT_FALSE(frameBox(17).empty()) << "extra-life badge";

  const auto hazard = frameMask(16);
  const int hx = 300, hy = 200;
  for (int f : {0, 1, 2, 8, 9, 10}) {
    const auto body = frameMask(f);
    int worstAbove = 0, sameRowMisses = 0, besideMisses = 0;
    std::string firstBeside;
    for (int dy = -70; dy <= 100; ++dy)
      for (int dx = -80; dx <= 80; ++dx) {
        const int wx = hx + 16 + dx, wy = hy + dy;
        // Walker frame pixel (x, y) lies on hazard frame pixel (x + across, y + down).
        const int across = (wx - 16) - hx, down = (wy - 32) - hy;
        bool overlap = false;
        for (int y = 0; y < 64 && !overlap; ++y) {
          if (y + down < 0 || y + down >= 64 || std::abs(across) >= 64) continue;
          const uint64_t row = across >= 0 ? body[size_t(y)] << across : body[size_t(y)] >> -across;
          overlap = (row & hazard[size_t(y + down)]) != 0;
        }
        flow.scene = Playing;
        walker.x = wx;
        walker.y = wy;
        hazardTable.hazardCount = 1;
        hazardTable.hazards[0] = Hazard{};
        hazardTable.hazards[0].x = uint16_t(hx);
        hazardTable.hazards[0].y = uint16_t(hy);
        hazardTable.hazards[0].state = 2;
        hazardContact();
        const bool touches = flow.scene == Miss;
        if (overlap && !touches) {
          // Only a walker above the hazard may seem to touch it without doing so:
          // the contact reaches 40 pixels below the hazard's cell but only 16 above
          // it, and a picture low enough to follow that would sink into the floor.
          if (dy >= 0 && besideMisses++ == 0) firstBeside = std::to_string(dx) + "," + std::to_string(dy);
          worstAbove = std::max(worstAbove, -dy);
        }
        // Side by side in one row, the walker is hit when the pictures meet,
        // give or take the one pixel between the two edges of the contact box.
        if (dy == 16 && touches && !overlap && std::abs(dx) < 28) ++sameRowMisses;
      }
    EXPECT_EQ(besideMisses, 0) << "frame " << f << " seems hit beside the hazard, first at " << firstBeside;
    EXPECT_LE(worstAbove, 12) << "frame " << f << ": the hazard's top reaches far above where it hits";
    EXPECT_EQ(sameRowMisses, 0) << "frame " << f << " is hit in the hazard's row before the pictures meet";
  }
  hazardTable.hazardCount = 0;
  flow.scene = Title;
}

TEST_F(Sheets, OpenBlinkingBlockIsNeverTakenForASwitchBlock) {
  // Switch blocks and pieces, open and closed, against the blinking block's four phases.
  const std::vector<std::vector<uint8_t>> switches = {tilePixels(1),  tilePixels(35), tilePixels(2),  tilePixels(34),
                                                      tilePixels(3),  tilePixels(48), piecePixels(4), piecePixels(40),
                                                      piecePixels(6), piecePixels(8)};
  for (int blink : {42, 43, 58, 59})
    for (size_t i = 0; i < switches.size(); ++i)
      EXPECT_GE(hueApart(hueOf(tilePixels(blink)), hueOf(switches[i])), 45) << "blinking tile " << blink << " against switch picture " << i;
  // Kinds of switch block differ in colour from each other too.
  const std::vector<int> kinds = {35, 34, 48};
  for (size_t i = 0; i < kinds.size(); ++i) {
    EXPECT_GE(hueApart(hueOf(tilePixels(kinds[i])), hueOf(piecePixels(40))), 40) << "tile " << kinds[i] << " against the switch piece";
    for (size_t j = i + 1; j < kinds.size(); ++j)
      EXPECT_GE(hueApart(hueOf(tilePixels(kinds[i])), hueOf(tilePixels(kinds[j]))), 40) << "tiles " << kinds[i] << " and " << kinds[j];
  }
  // An open switch block is framed all round; an open blinking block has no frame
  // along the middle of its sides, and the timed block's frame has its own rhythm.
  auto sideMiddles = [&](int n) {
    int count = 0;
    auto px = tilePixels(n);
    for (int a = 10; a < 22; ++a)
      for (int d = 0; d < 3; ++d)
        for (int at : {d * 32 + a, (31 - d) * 32 + a, a * 32 + d, a * 32 + 31 - d}) count += px[size_t(at)] != key;
    return count;
  };
  for (int open : {1, 2, 3}) EXPECT_GE(sideMiddles(open), 40) << "tile " << open;
  for (int open : {58, 59}) EXPECT_EQ(sideMiddles(open), 0) << "tile " << open;
  auto frame = tilePixels(1), timed = tilePixels(3);
  int differ = 0;
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x)
      if (std::min({x, y, 31 - x, 31 - y}) < 3) differ += (frame[size_t(y * 32 + x)] == key) != (timed[size_t(y * 32 + x)] == key);
  EXPECT_GE(differ, 40) << "the timed block's open frame is drawn like a switch block's";
}

// Pixels of a picture that are drawn, of 1024 for a tile.
int drawnPixels(const std::vector<uint8_t>& px, int key) {
  int n = 0;
  for (uint8_t p : px) n += p != key;
  return n;
}

TEST_F(Sheets, EveryBlinkingPhaseReadsClosedOrOpenAtAGlance) {
  // 42 -> 43 -> 58 -> 59 -> 42, 64 frames each: 42 and 43 are solid, 58 and 59
  // open; 43 and 59 warn that the block is about to change.
  auto changed = [&](int a, int b) {
    auto pa = tilePixels(a), pb = tilePixels(b);
    int n = 0;
    for (size_t i = 0; i < pa.size(); ++i) n += pa[i] != pb[i];
    return n;
  };
  // Closed, it is a whole block: every pixel drawn but the rounded corners,
  // and the warning phase keeps the block's outline and bevel, its marks on it.
  for (int closed : {42, 43}) EXPECT_GE(drawnPixels(tilePixels(closed), key), 1020) << "closed blinking tile " << closed;
  auto p42 = tilePixels(42), p43 = tilePixels(43);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      if (std::min({x, y, 31 - x, 31 - y}) >= 3) continue;
      ASSERT_EQ(p42[size_t(y * 32 + x)], p43[size_t(y * 32 + x)]) << "the warning changes the block's edge at " << x << "," << y;
    }
  // Open, it is a hole: a few faint marks in it, none near its edges (no
  // frame, no corners that could be taken for a block forming).
  for (int open : {58, 59}) {
    auto px = tilePixels(open);
    EXPECT_LE(drawnPixels(px, key), 1024 / 6) << "open blinking tile " << open;
    int nearEdges = 0;
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x) nearEdges += std::min({x, y, 31 - x, 31 - y}) < 3 && px[size_t(y * 32 + x)] != key;
    EXPECT_EQ(nearEdges, 0) << "open blinking tile " << open << " is drawn near its edges";
  }
  // Each warning looks plainly different from the phase before it.
  EXPECT_GE(changed(42, 43), 128);
  EXPECT_GE(changed(58, 59), 64);
}

TEST_F(Sheets, ClosedTimedBlocksShowTheTimeTheyHaveLeft) {
  // The bar's lit quarters are gold; nothing else on the block is.
  auto lit = [&](const std::vector<uint8_t>& px) {
    int n = 0;
    for (uint8_t p : px) {
      if (p == key) continue;
      const auto& c = sprites->table[p];
      n += c[0] >= 200 && c[1] >= 150 && c[2] <= 210 && c[0] - c[2] >= 40;
    }
    return n;
  };
  // 48, 49, 50, 51 (and the pieces 8, 10, 12, 14) follow each other every 16
  // frames: four quarters lit, then three, two, one.
  const std::vector<std::vector<uint8_t>> blocks = {tilePixels(48), tilePixels(49), tilePixels(50), tilePixels(51)};
  const std::vector<std::vector<uint8_t>> pieces = {piecePixels(8), piecePixels(10), piecePixels(12), piecePixels(14)};
  for (const auto* set : {&blocks, &pieces}) {
    const int quarter = lit((*set)[3]);
    ASSERT_GT(quarter, 0);
    for (int i = 0; i < 4; ++i) {
      EXPECT_GE(drawnPixels((*set)[size_t(i)], key), int((*set)[size_t(i)].size()) - 16) << "a closed timed picture is not whole";
      EXPECT_NEAR(lit((*set)[size_t(i)]), (4 - i) * quarter, quarter / 4) << (set == &blocks ? "block " : "piece ") << i;
    }
  }
  EXPECT_EQ(lit(tilePixels(3)), 0) << "the open timed block shows no time left";
}

TEST_F(Sheets, AreasOutsideEveryRegionAreTransparent) {
  EXPECT_TRUE(visible(512, 256, 128, 256).empty()) << "below the font";
  EXPECT_TRUE(visible(576, 512, 64, 128).empty()) << "right of the frames";
  EXPECT_TRUE(visible(512, 640, 128, 128).empty()) << "right of the logo";
  int n = 0;
  Box logo = visible(0, 640, 512, 128, &n);
  EXPECT_GT(n, 512 * 128 / 4) << "the logo is nearly empty";
  EXPECT_GT(logo.x0, 0);
  EXPECT_LT(logo.x1, 511);
}

}  // namespace
