#include "display/surface.h"

#include <algorithm>
#include <atomic>
#include <cstring>

uint8_t FrameCanvas[CanvasHeight][CanvasWidth];

uint64_t SheetIdentity::next() {
  static std::atomic<uint64_t> last{0};
  return ++last;
}

namespace {

// Sixteen bytes as one value: GCC and Clang compile the operations below to
// the machine's own vector instructions (SSE2 on x86-64, NEON on ARM).
typedef uint8_t Bytes16 __attribute__((vector_size(16)));

// Copies one row, leaving out every source byte equal to `key`: a key byte of
// the source takes the canvas byte. Sixteen bytes at a time without branches,
// then eight, then the rest one by one.
void copyRowKeyed(uint8_t* dst, const uint8_t* src, int n, uint8_t key) {
  const Bytes16 keys16 = Bytes16{} + key;
  int i = 0;
  for (; i + 16 <= n; i += 16) {
    Bytes16 from, to;
    std::memcpy(&from, src + i, 16);
    std::memcpy(&to, dst + i, 16);
    const Bytes16 keep = reinterpret_cast<Bytes16>(from == keys16);  // 0xFF where the source is the key
    const Bytes16 out = (from & ~keep) | (to & keep);
    std::memcpy(dst + i, &out, 16);
  }
  const uint64_t lows = 0x7F7F7F7F7F7F7F7Full;
  const uint64_t keys = 0x0101010101010101ull * key;
  for (; i + 8 <= n; i += 8) {
    uint64_t from, to;
    std::memcpy(&from, src + i, 8);
    std::memcpy(&to, dst + i, 8);
    const uint64_t x = from ^ keys;                           // zero bytes where the source is the key
    const uint64_t zero = ~(((x & lows) + lows) | x | lows);  // their high bits, exactly
    const uint64_t keep = (zero >> 7) * 0xFF;                 // and then the whole bytes
    const uint64_t out = (from & ~keep) | (to & keep);
    std::memcpy(dst + i, &out, 8);
  }
  for (; i < n; ++i) {
    if (src[i] != key) dst[i] = src[i];
  }
}

}  // namespace

void copyToCanvas(const Surface& sheet, int sx, int sy, int w, int h, long long dx, long long dy,
                  bool keyed) {
  if (w <= 0 || h <= 0 || sx < 0 || sy < 0) return;
  if (static_cast<long long>(sx) + w > sheet.width) return;
  if (static_cast<long long>(sy) + h > sheet.height) return;
  if (sheet.pixels.size() < static_cast<size_t>(sheet.width) * static_cast<size_t>(sheet.height))
    return;

  long long x0 = std::max(dx, 0ll), x1 = std::min(dx + w, static_cast<long long>(CanvasWidth));
  long long y0 = std::max(dy, 0ll), y1 = std::min(dy + h, static_cast<long long>(CanvasHeight));
  if (x0 >= x1 || y0 >= y1) return;

  const int cols = static_cast<int>(x1 - x0);
  const int srcX = sx + static_cast<int>(x0 - dx);
  const int srcY = sy + static_cast<int>(y0 - dy);
  const bool useKey = keyed && sheet.key >= 0 && sheet.key <= 255;
  const uint8_t key = static_cast<uint8_t>(sheet.key);
  // Pointers kept in locals: the stores into the canvas would otherwise make
  // the compiler read the sheet's fields again for every row.
  const size_t stride = static_cast<size_t>(sheet.width);
  const uint8_t* src = sheet.pixels.data() + static_cast<size_t>(srcY) * stride + srcX;
  for (long long y = y0; y < y1; ++y, src += stride) {
    uint8_t* dst = &FrameCanvas[y][x0];
    if (useKey)
      copyRowKeyed(dst, src, cols, key);
    else
      std::memcpy(dst, src, static_cast<size_t>(cols));
  }
}

void copyRowToCanvas(uint8_t* dst, const uint8_t* src, int n, int key) {
  if (key >= 0 && key <= 255)
    copyRowKeyed(dst, src, n, static_cast<uint8_t>(key));
  else
    std::memcpy(dst, src, static_cast<size_t>(n));
}

uint32_t matchColour(const Surface& sheet, uint32_t colourRef) {
  const uint8_t r = colourRef & 0xFF, g = (colourRef >> 8) & 0xFF, b = (colourRef >> 16) & 0xFF;
  for (int i = 0; i < sheet.colourCount && i < 256; ++i) {
    if (sheet.colours[i][0] == r && sheet.colours[i][1] == g && sheet.colours[i][2] == b)
      return static_cast<uint32_t>(i);
  }
  return 0xFFFFFFFFu;
}
