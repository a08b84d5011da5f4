#include "testsheets.h"

#include <string>
#include <vector>

#include "platform/platform.h"

void testSheetColours(uint8_t colours[256][3]) {
  for (int i = 0; i < 256; ++i) {
    colours[i][0] = static_cast<uint8_t>(i * 37 + 11);
    colours[i][1] = static_cast<uint8_t>(i * 91 + 7);
    colours[i][2] = static_cast<uint8_t>(i * 53 + 5);
    // Keep pure green for the key alone.
    if (colours[i][0] == 0 && colours[i][1] == 255 && colours[i][2] == 0) colours[i][2] = 1;
  }
  const uint8_t fixed[3][3] = {{0, 0, 0}, {255, 255, 255}, {0, 255, 0}};
  for (int i = 0; i < 3; ++i)
    for (int k = 0; k < 3; ++k) colours[i][k] = fixed[i][k];
}

namespace {

// 3..255: never black, unused or key.
uint8_t opaque(int v) { return static_cast<uint8_t>(3 + ((v % 253) + 253) % 253); }

// Frame number at a cell of the frame rows (the inverse of the frame table).
int frameAt(int column, int row) {
  if (column == 8) return 16 + row;
  return row == 0 ? column : 15 - column;
}

}  // namespace

uint8_t testSpritePixel(int x, int y) {
  if (y < 512 && x < 512) {  // tiles; tile 0 is empty, the others have key holes
    const int n = (y / 32) * 16 + x / 32, tx = x % 32, ty = y % 32;
    if (n == 0 || (tx + ty) % 7 == 0) return TestKey;
    return opaque(n * 7 + tx + ty * 3);
  }
  if (y < 256) {  // font: glyph c drawn in colour 3 + c on the key
    const int c = (y / 16) * 8 + (x - 512) / 16, gx = x % 16, gy = y % 16;
    return (c * 31 + gx * 7 + gy * 13) % 5 == 0 ? opaque(c) : TestKey;
  }
  if (y < 512) return TestUnused;
  if (y < 640) {  // frames
    if (x >= 576) return TestUnused;
    const int f = frameAt(x / 64, (y - 512) / 64), fx = x % 64, fy = y % 64;
    if ((fx + fy) % 5 == 0) return TestKey;
    return opaque(f * 13 + fx + fy * 2);
  }
  if (x >= 512) return TestUnused;
  const int lx = x, ly = y - 640;  // logo
  return (lx / 8 + ly / 8) % 3 == 0 ? TestKey : opaque(lx + ly * 5);
}

uint8_t testBackdropPixel(int x, int y) {
  // Backdrops are copied without a key, so they hold key-valued pixels too.
  if ((x + y) % 11 == 0) return TestKey;
  return opaque((y / 480) * 50 + x / 8 + (y % 480) / 8 * 3);
}

Surface makeTestSpriteSheet() {
  Surface s;
  s.width = 640;
  s.height = 768;
  s.colourCount = 256;
  testSheetColours(s.colours);
  s.pixels.resize(static_cast<size_t>(s.width) * s.height);
  for (int y = 0; y < s.height; ++y)
    for (int x = 0; x < s.width; ++x) s.pixels[static_cast<size_t>(y) * s.width + x] = testSpritePixel(x, y);
  s.key = TestKey;
  return s;
}

Surface makeTestBackdropSheet() {
  Surface s;
  s.width = 640;
  s.height = 1440;
  s.colourCount = 256;
  testSheetColours(s.colours);
  s.pixels.resize(static_cast<size_t>(s.width) * s.height);
  for (int y = 0; y < s.height; ++y)
    for (int x = 0; x < s.width; ++x)
      s.pixels[static_cast<size_t>(y) * s.width + x] = testBackdropPixel(x, y);
  return s;
}

bool writeTestSheets(const char* folder) {
  std::vector<uint8_t> file;
  const Surface sprite = makeTestSpriteSheet();
  encodeBmp8(sprite.width, sprite.height, sprite.pixels.data(), sprite.colours, &file);
  if (!sysWriteFileAtomic((std::string(folder) + "/bmp/gamebg.bmp").c_str(), file.data(), file.size()))
    return false;
  const Surface backdrop = makeTestBackdropSheet();
  encodeBmp8(backdrop.width, backdrop.height, backdrop.pixels.data(), backdrop.colours, &file);
  return sysWriteFileAtomic((std::string(folder) + "/bmp/test.bmp").c_str(), file.data(), file.size());
}
