// A damaged stage file opened in the editor, then edited: whatever the bytes,
// opening makes them good (one start at most, no object in a plain wall, whole
// pieces, only catalogued tiles) and every edit keeps them so.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "editor/editor.h"
#include "world/stagetext.h"

namespace {
void mustBeGood(const StageImage& image) {
  StageCheck check;
  check.enclosure = false;
  check.singleStart = false;
  if (!checkStage(image.data(), check).empty()) std::abort();  // a broken piece
  int starts = 0;
  for (int k = 0; k < GridRows * GridColumns; ++k) {
    const int tile = image[TileLayerOffset + k], code = static_cast<int8_t>(image[ObjectLayerOffset + k]);
    starts += code == StartFacingLeft || code == StartFacingRight;
    if (code != 0 && tileKind[tile] == Solid && tileClass[tile] == Fixed) std::abort();
    if (tile != 0 && tileKind[tile] == Empty && tileClass[tile] == Fixed) std::abort();
  }
  if (starts > 1) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const size_t stageBytes = size < 700 ? size : 700;
  std::vector<uint8_t> bytes(data, data + stageBytes);
  StageImage image{};
  std::vector<std::string> problems;
  if (!repairStage(bytes, &image, &problems)) return 0;
  for (const std::string& line : problems)
    if (line.size() > 38) std::abort();  // one line of the canvas each
  mustBeGood(image);
  // The rest of the input: edits, three bytes each (what, row, column).
  const std::vector<PaletteGroup>& groups = paletteGroups();
  std::vector<Tool> tools;
  for (const PaletteGroup& g : groups)
    for (const PaletteItem& item : g.items) tools.push_back(item.tool);
  for (size_t i = stageBytes; i + 3 <= size; i += 3) {
    const int row = data[i + 1] % 16, col = data[i + 2] % 21;  // sometimes just outside
    if (data[i] == 255) eraseCell(image, row, col);
    else placeTool(image, row, col, tools[data[i] % tools.size()]);
    mustBeGood(image);
    if (insideGrid(row, col) && toolName(pickCell(image, row, col)).empty()) std::abort();
  }
  return 0;
}
