// Editing one stage image: placing, erasing, picking, whole pieces, the one
// walker start, the palette's contents, and opening damaged files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "editor/editor.h"
#include "world/stagetext.h"
#include "world/world.h"

namespace {

uint8_t tile(const StageImage& image, int row, int col) { return image[TileLayerOffset + GridColumns * row + col]; }
uint8_t object(const StageImage& image, int row, int col) { return image[ObjectLayerOffset + GridColumns * row + col]; }

TEST(EditorEditing, TilesPlaceEraseAndPick) {
  StageImage image = emptyStage();
  EXPECT_TRUE(placeTool(image, 5, 5, Tool{ToolKind::Tile, 35}));
  EXPECT_EQ(tile(image, 5, 5), 35);
  EXPECT_FALSE(placeTool(image, 5, 5, Tool{ToolKind::Tile, 35})) << "the same tile again changes nothing";
  EXPECT_EQ(pickCell(image, 5, 5), (Tool{ToolKind::Tile, 35}));
  EXPECT_EQ(describeCell(image, 5, 5), "SWITCH A CLOSED");
  EXPECT_TRUE(eraseCell(image, 5, 5));
  EXPECT_EQ(tile(image, 5, 5), 0);
  EXPECT_FALSE(eraseCell(image, 5, 5));
  EXPECT_FALSE(placeTool(image, 15, 0, Tool{ToolKind::Tile, 32})) << "outside the grid";
  EXPECT_FALSE(eraseCell(image, -1, 3));
}

TEST(EditorEditing, PiecesArePlacedAndErasedWhole) {
  StageImage image = emptyStage();
  ASSERT_TRUE(placeTool(image, 3, 4, Tool{ToolKind::Piece, 40}));
  EXPECT_EQ(tile(image, 3, 4), 40);
  EXPECT_EQ(tile(image, 3, 5), 41);
  EXPECT_EQ(tile(image, 4, 4), 56);
  EXPECT_EQ(tile(image, 4, 5), 57);
  // Any quarter picks the whole piece.
  EXPECT_EQ(pickCell(image, 4, 5), (Tool{ToolKind::Piece, 40}));
  // A tile over one quarter takes the whole piece away first.
  StageImage painted = image;
  ASSERT_TRUE(placeTool(painted, 4, 5, Tool{ToolKind::Tile, 80}));
  EXPECT_EQ(tile(painted, 3, 4), 0);
  EXPECT_EQ(tile(painted, 3, 5), 0);
  EXPECT_EQ(tile(painted, 4, 4), 0);
  EXPECT_EQ(tile(painted, 4, 5), 80);
  // Erasing one quarter erases the piece.
  StageImage erased = image;
  ASSERT_TRUE(eraseCell(erased, 3, 5));
  for (int k = 0; k < 4; ++k) EXPECT_EQ(tile(erased, 3 + k / 2, 4 + k % 2), 0);
  // A piece overlapping another replaces it whole: no stray quarters stay.
  StageImage overlapped = image;
  ASSERT_TRUE(placeTool(overlapped, 4, 5, Tool{ToolKind::Piece, 6}));
  EXPECT_EQ(tile(overlapped, 3, 4), 0);
  EXPECT_EQ(tile(overlapped, 3, 5), 0);
  EXPECT_EQ(tile(overlapped, 4, 4), 0);
  EXPECT_EQ(tile(overlapped, 4, 5), 6);
  EXPECT_EQ(tile(overlapped, 5, 6), 23);
  StageCheck check;
  check.singleStart = false;
  EXPECT_EQ(checkStage(overlapped.data(), check), "");
  // No room for a piece in the last row or column.
  std::string why;
  EXPECT_FALSE(placeTool(image, 14, 3, Tool{ToolKind::Piece, 4}, &why));
  EXPECT_FALSE(why.empty());
  EXPECT_FALSE(placeTool(image, 3, 19, Tool{ToolKind::Piece, 4}));
  EXPECT_FALSE(placeTool(image, 3, 3, Tool{ToolKind::Piece, 5})) << "only a top-left quarter names a piece";
}

TEST(EditorEditing, TheWalkerStartIsUnique) {
  StageImage image = emptyStage();
  ASSERT_TRUE(placeTool(image, 5, 5, Tool{ToolKind::Start, StartFacingLeft}));
  ASSERT_TRUE(placeTool(image, 8, 9, Tool{ToolKind::Start, StartFacingRight}));
  int starts = 0;
  for (int r = 0; r < GridRows; ++r)
    for (int c = 0; c < GridColumns; ++c) starts += object(image, r, c) == 7 || object(image, r, c) == 8;
  EXPECT_EQ(starts, 1);
  EXPECT_EQ(object(image, 8, 9), StartFacingRight);
  EXPECT_EQ(pickCell(image, 8, 9), (Tool{ToolKind::Start, StartFacingRight}));
  // Refused where the game would not start it.
  std::string why;
  EXPECT_FALSE(placeTool(image, 0, 0, Tool{ToolKind::Start, StartFacingLeft}, &why));
  EXPECT_FALSE(why.empty());
  EXPECT_EQ(object(image, 8, 9), StartFacingRight) << "a refused start leaves the old one";
  EXPECT_FALSE(placeTool(image, 0, 7, Tool{ToolKind::Hazard, 10}));
  // A hazard over the start takes its place; the stage then has none.
  ASSERT_TRUE(placeTool(image, 8, 9, Tool{ToolKind::Hazard, 23}));
  EXPECT_EQ(object(image, 8, 9), 23);
}

TEST(EditorEditing, AWallAndAnObjectNeverShareACell) {
  StageImage image = emptyStage();
  ASSERT_TRUE(placeTool(image, 14, 5, Tool{ToolKind::Hazard, 21}));
  EXPECT_EQ(tile(image, 14, 5), 0) << "the wall under a new hazard goes";
  ASSERT_TRUE(placeTool(image, 14, 5, Tool{ToolKind::Tile, 32}));
  EXPECT_EQ(object(image, 14, 5), 0) << "the hazard under a new wall goes";
  // Tiles that are not plain walls keep the object.
  ASSERT_TRUE(placeTool(image, 6, 6, Tool{ToolKind::Hazard, 10}));
  ASSERT_TRUE(placeTool(image, 6, 6, Tool{ToolKind::Tile, 35}));
  EXPECT_EQ(object(image, 6, 6), 10);
  EXPECT_EQ(describeCell(image, 6, 6), "SWITCH A CLOSED + HAZARD RIGHT 1PX/FRAME");
}

TEST(EditorEditing, EmptyStageAndTitle) {
  StageImage image = emptyStage();
  StageCheck check;
  check.singleStart = false;
  EXPECT_EQ(checkStage(image.data(), check), "") << "framed by plain walls";
  EXPECT_EQ(stageTitle(image), "");
  setStageTitle(image, "A title much longer than twenty");
  EXPECT_EQ(stageTitle(image), "A title much longer ");
  setStageTitle(image, "Short");
  EXPECT_EQ(stageTitle(image), "Short");
  for (int k = 5; k < MaxTitleLength; ++k) EXPECT_EQ(image[k], 0) << "a shorter title leaves no tail of the old one";
}

TEST(EditorPalette, EveryCatalogueTileEveryStartAndHazardOnceWithinTheCanvas) {
  std::set<int> tiles, objects;
  std::vector<PaletteItem> items;
  for (const PaletteGroup& g : paletteGroups()) {
    for (const PaletteItem& item : g.items) {
      items.push_back(item);
      if (item.tool.kind == ToolKind::Tile) {
        EXPECT_TRUE(tiles.insert(item.tool.code).second) << item.tool.code;
      } else if (item.tool.kind == ToolKind::Piece) {
        for (int o : {0, 1, 16, 17}) EXPECT_TRUE(tiles.insert(item.tool.code + o).second) << item.tool.code + o;
      } else {
        EXPECT_TRUE(objects.insert(item.tool.code).second);
      }
      EXPECT_GE(item.x, 0);
      EXPECT_GE(item.y, 32) << "under the two lines that name the item";
      EXPECT_LE(item.x + item.w, 640);
      EXPECT_LE(item.y + item.h, 480);
      EXPECT_EQ(paletteItemAt(item.x + item.w / 2, item.y + item.h / 2)->tool, item.tool);
    }
  }
  for (int t = 0; t < 256; ++t) {
    const bool catalogued = t == 0 || tileKind[t] != Empty || tileClass[t] != Fixed;
    EXPECT_EQ(tiles.count(t), catalogued ? 1u : 0u) << "tile " << t;
  }
  EXPECT_EQ(objects.size(), 18u);
  for (int code = FirstHazardCode; code <= LastHazardCode; ++code) EXPECT_EQ(objects.count(code), 1u);
  for (size_t i = 0; i < items.size(); ++i)
    for (size_t j = i + 1; j < items.size(); ++j) {
      const PaletteItem &a = items[i], &b = items[j];
      EXPECT_FALSE(a.x < b.x + b.w && b.x < a.x + a.w && a.y < b.y + b.h && b.y < a.y + a.h)
          << toolName(a.tool) << " overlaps " << toolName(b.tool);
    }
}

TEST(EditorOpening, EveryBuiltInStageOpensWithoutAWord) {
  for (int n = 1; n <= 50; ++n) {
    char name[64];
    std::snprintf(name, sizeof name, "%s/data/map/map%02d.fmf", WENDLOP_SOURCE_DIR, n);
    std::ifstream in(name, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    StageImage image{};
    std::vector<std::string> problems;
    ASSERT_TRUE(repairStage(bytes, &image, &problems)) << name;
    EXPECT_TRUE(problems.empty()) << name << ": " << (problems.empty() ? "" : problems[0]);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), bytes.begin())) << name;
  }
}

TEST(EditorOpening, DamagedFilesSayOneLineForEachFaultAndOpenWhatCan) {
  StageImage good = emptyStage();
  placeTool(good, 13, 3, Tool{ToolKind::Start, StartFacingRight});
  std::vector<uint8_t> bytes(good.begin(), good.end());
  std::vector<std::string> problems;
  StageImage image{};

  // Short: the rest is empty.
  std::vector<uint8_t> shortFile(bytes.begin(), bytes.begin() + 400);
  ASSERT_TRUE(repairStage(shortFile, &image, &problems));
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0], "400 BYTES, NOT 620: REST EMPTY");
  EXPECT_TRUE(std::equal(shortFile.begin(), shortFile.end(), image.begin()));
  EXPECT_EQ(image[619], 0);

  // Unknown tiles (two), unknown objects, two starts, a hazard in a wall, half a piece.
  std::vector<uint8_t> bad = bytes;
  bad.push_back(0x55);  // long as well
  bad[TileLayerOffset + 20 * 2 + 2] = 200;
  bad[TileLayerOffset + 20 * 2 + 3] = 201;
  bad[ObjectLayerOffset + 20 * 3 + 3] = 9;
  bad[ObjectLayerOffset + 20 * 5 + 5] = StartFacingLeft;  // before the one at row 13
  bad[ObjectLayerOffset + 20 * 14 + 6] = 11;              // in the bottom wall
  bad[TileLayerOffset + 20 * 7 + 7] = 41;                 // a top-right quarter alone
  problems.clear();
  ASSERT_TRUE(repairStage(bad, &image, &problems));
  EXPECT_EQ(problems.size(), 6u);
  for (const std::string& line : problems) EXPECT_LE(line.size(), 38u) << line;  // one line of the canvas
  EXPECT_EQ(tile(image, 2, 2), 0);
  EXPECT_EQ(tile(image, 2, 3), 0);
  EXPECT_EQ(object(image, 3, 3), 0);
  EXPECT_EQ(object(image, 5, 5), 0) << "the game starts at the last start it reads";
  EXPECT_EQ(object(image, 13, 3), StartFacingRight);
  EXPECT_EQ(object(image, 14, 6), 11);
  EXPECT_EQ(tile(image, 14, 6), 0);
  EXPECT_EQ(tile(image, 7, 7), 0);

  // The longest lines: every cell at fault, the counts in three digits.
  std::vector<uint8_t> worst(64 * 1024, 0);
  for (int k = 0; k < 300; ++k) {
    worst[TileLayerOffset + k] = k % 3 == 0 ? 32 : (k % 3 == 1 ? 41 : 200);
    worst[ObjectLayerOffset + k] = k % 2 ? 10 : (k % 4 ? 9 : 8);
  }
  problems.clear();
  ASSERT_TRUE(repairStage(worst, &image, &problems));
  EXPECT_EQ(problems.size(), 6u);
  for (const std::string& line : problems) EXPECT_LE(line.size(), 38u) << line;

  // Found by fuzzing: twelve objects on walls made a line too long for the canvas.
  std::ifstream found(std::string(WENDLOP_SOURCE_DIR) + "/tests/editor/data/walls-under-objects.fmf", std::ios::binary);
  const std::vector<uint8_t> foundBytes((std::istreambuf_iterator<char>(found)), std::istreambuf_iterator<char>());
  ASSERT_EQ(foundBytes.size(), 586u);
  problems.clear();
  ASSERT_TRUE(repairStage(foundBytes, &image, &problems));
  for (const std::string& line : problems) EXPECT_LE(line.size(), 38u) << line;

  problems.clear();
  EXPECT_FALSE(repairStage({}, &image, &problems));
  EXPECT_EQ(problems.size(), 1u);
}

}  // namespace
