// The palette's contents and where each group and item stands on the canvas.
#include <string>
#include <vector>

#include "display/surface.h"
#include "editor/editor.h"

namespace {
constexpr int Margin = 16;
constexpr int Gap = 16;
constexpr int Top = 40;  // under the two lines that name the item pointed at
constexpr int LabelHeight = 18;
constexpr int RowGap = 6;
// A hazard, and its direction and speed beside it, eight to a row.
constexpr int HazardItemWidth = 64;
constexpr int HazardsPerRow = 8;

struct GroupSource {
  const char* label;
  ToolKind kind;
  std::vector<int> codes;
};

std::vector<PaletteGroup> layOut() {
  const std::vector<GroupSource> sources = {
      {"WALLS", ToolKind::Tile, {32, 36, 52}},
      {"FLOORS", ToolKind::Tile, {37, 53}},
      {"EMPTY", ToolKind::Tile, {0}},
      {"LIFT", ToolKind::Tile, {96, 97, 98, 99, 100, 101, 102, 103}},
      {"GOAL", ToolKind::Tile, {144, 145}},
      {"SPIKES", ToolKind::Tile, {64, 65, 66}},
      {"STAR", ToolKind::Tile, {80}},
      {"SLOW", ToolKind::Tile, {46, 62, 47, 63}},
      {"SWITCH A", ToolKind::Tile, {1, 35}},
      {"SWITCH B", ToolKind::Tile, {2, 34}},
      {"TIMED", ToolKind::Tile, {3, 48, 49, 50, 51}},
      {"BREAK", ToolKind::Tile, {33}},
      {"BLINK", ToolKind::Tile, {42, 43, 58, 59}},
      {"PIECES", ToolKind::Piece, {4, 40, 6, 8, 10, 12, 14, 38, 44}},
      {"WALKER", ToolKind::Start, {StartFacingLeft, StartFacingRight}},
      {"HAZARDS", ToolKind::Hazard, {10, 12, 11, 13, 14, 15, 18, 19, 20, 21, 24, 25, 16, 22, 17, 23}},
  };
  std::vector<PaletteGroup> groups;
  int x = Margin, y = Top, rowHeight = 0;
  for (const GroupSource& s : sources) {
    const int itemW = s.kind == ToolKind::Piece ? 2 * CellSize : (s.kind == ToolKind::Hazard ? HazardItemWidth : CellSize);
    const int itemH = s.kind == ToolKind::Piece ? 2 * CellSize : CellSize;
    const int perRow = s.kind == ToolKind::Hazard ? HazardsPerRow : static_cast<int>(s.codes.size());
    const int rows = (static_cast<int>(s.codes.size()) + perRow - 1) / perRow;
    const int labelW = static_cast<int>(std::char_traits<char>::length(s.label)) * TextCell;
    const int itemsW = perRow * itemW;
    const int width = labelW > itemsW ? labelW : itemsW;
    if (x + width > CanvasWidth - Margin) {
      x = Margin;
      y += rowHeight;
      rowHeight = 0;
    }
    PaletteGroup g{s.label, x, y, {}};
    for (int i = 0; i < static_cast<int>(s.codes.size()); ++i) {
      g.items.push_back(
          PaletteItem{Tool{s.kind, s.codes[i]}, x + (i % perRow) * itemW, y + LabelHeight + (i / perRow) * itemH, itemW, itemH});
    }
    groups.push_back(g);
    x += width + Gap;
    const int height = LabelHeight + rows * itemH + RowGap;
    if (height > rowHeight) rowHeight = height;
  }
  return groups;
}
}  // namespace

const std::vector<PaletteGroup>& paletteGroups() {
  static const std::vector<PaletteGroup> groups = layOut();
  return groups;
}

const PaletteItem* paletteItemAt(int x, int y) {
  for (const PaletteGroup& g : paletteGroups())
    for (const PaletteItem& item : g.items)
      if (x >= item.x && x < item.x + item.w && y >= item.y && y < item.y + item.h) return &item;
  return nullptr;
}
