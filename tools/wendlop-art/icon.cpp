// The desktop icons: the walker cut out of its sprite frame and enlarged by
// whole pixels, so that it stays as crisp as in the game, written as palette
// PNGs whose transparent colour is the sheet's key.
#include <algorithm>
#include <array>

#include "art.h"

namespace art {

Image iconFromFrame(const Image& frame, int key, int size) {
  int x0 = frame.w, y0 = frame.h, x1 = -1, y1 = -1;
  for (int y = 0; y < frame.h; ++y)
    for (int x = 0; x < frame.w; ++x)
      if (frame.at(x, y) != key) {
        x0 = std::min(x0, x);
        y0 = std::min(y0, y);
        x1 = std::max(x1, x);
        y1 = std::max(y1, y);
      }
  if (x1 < 0) throw Error("the icon's sprite frame is empty");
  if (size < 1) throw Error("an icon needs a size");

  // The picture centred in a square, so that it keeps its proportions.
  const int side = std::max(x1 - x0, y1 - y0) + 1;
  Image square(side, side, uint8_t(key));
  const int ox = (side - (x1 - x0 + 1)) / 2, oy = (side - (y1 - y0 + 1)) / 2;
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x) square.set(ox + x - x0, oy + y - y0, frame.at(x, y));

  Image icon(size, size, uint8_t(key));
  const int scale = size / side;
  if (scale >= 1) {
    // Whole pixels, with the remainder as an even margin.
    const int margin = (size - scale * side) / 2;
    for (int y = 0; y < scale * side; ++y)
      for (int x = 0; x < scale * side; ++x) icon.set(margin + x, margin + y, square.at(x / scale, y / scale));
  } else {
    // Smaller than the sprite: the source pixel under each icon pixel's centre.
    for (int y = 0; y < size; ++y)
      for (int x = 0; x < size; ++x)
        icon.set(x, y, square.at((2 * x + 1) * side / (2 * size), (2 * y + 1) * side / (2 * size)));
  }
  return icon;
}

namespace {

void putBe32(std::vector<uint8_t>& b, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) b.push_back(uint8_t(v >> shift));
}

uint32_t crc32(const uint8_t* p, size_t n) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) c = table[(c ^ p[i]) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

void chunk(std::vector<uint8_t>& png, const char* type, const std::vector<uint8_t>& body) {
  putBe32(png, uint32_t(body.size()));
  const size_t start = png.size();
  png.insert(png.end(), type, type + 4);
  png.insert(png.end(), body.begin(), body.end());
  putBe32(png, crc32(png.data() + start, png.size() - start));
}

struct BitWriter {
  std::vector<uint8_t>& out;
  uint32_t bits = 0;
  int count = 0;
  void put(uint32_t value, int n) {  // least significant bit first
    bits |= value << count;
    count += n;
    while (count >= 8) {
      out.push_back(uint8_t(bits));
      bits >>= 8;
      count -= 8;
    }
  }
  void putCode(uint32_t code, int n) {  // Huffman codes go most significant bit first
    uint32_t reversed = 0;
    for (int i = 0; i < n; ++i) reversed |= ((code >> i) & 1) << (n - 1 - i);
    put(reversed, n);
  }
  void flush() {
    if (count > 0) out.push_back(uint8_t(bits));
    bits = 0;
    count = 0;
  }
};

// The fixed code of the deflate format: no tables to write, and icons are small.
void putLiteral(BitWriter& w, int symbol) {
  if (symbol < 144) w.putCode(0x30 + symbol, 8);
  else if (symbol < 256) w.putCode(0x190 + symbol - 144, 9);
  else if (symbol < 280) w.putCode(symbol - 256, 7);
  else w.putCode(0xC0 + symbol - 280, 8);
}

void putMatch(BitWriter& w, int length, int distance) {
  static const int lengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                     31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
  static const int lengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
  static const int distanceBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                       33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                       1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
  static const int distanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                        6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
  int l = 28;
  while (lengthBase[l] > length) --l;
  putLiteral(w, 257 + l);
  w.put(uint32_t(length - lengthBase[l]), lengthExtra[l]);
  int d = 29;
  while (distanceBase[d] > distance) --d;
  w.putCode(uint32_t(d), 5);
  w.put(uint32_t(distance - distanceBase[d]), distanceExtra[d]);
}

// zlib data: greedy matches found through hash chains, one fixed-code block.
std::vector<uint8_t> deflate(const std::vector<uint8_t>& data) {
  constexpr int Window = 32768, MaxMatch = 258, MaxChain = 128, HashSize = 1 << 15;
  std::vector<uint8_t> out = {0x78, 0x01};
  BitWriter w{out};
  w.put(1, 1);  // the last block
  w.put(1, 2);  // fixed code
  const int n = int(data.size());
  std::vector<int> head(HashSize, -1), prev(size_t(n), -1);
  auto hashAt = [&](int i) { return ((data[i] << 10) ^ (data[i + 1] << 5) ^ data[i + 2]) & (HashSize - 1); };
  auto insert = [&](int i) {
    if (i + 2 >= n) return;
    const int h = hashAt(i);
    prev[size_t(i)] = head[size_t(h)];
    head[size_t(h)] = i;
  };
  for (int i = 0; i < n;) {
    int bestLength = 0, bestDistance = 0;
    if (i + 2 < n) {
      int chain = MaxChain;
      for (int c = head[size_t(hashAt(i))]; c >= 0 && i - c <= Window && chain-- > 0; c = prev[size_t(c)]) {
        int length = 0;
        while (length < MaxMatch && i + length < n && data[size_t(c + length)] == data[size_t(i + length)]) ++length;
        if (length > bestLength) {
          bestLength = length;
          bestDistance = i - c;
        }
      }
    }
    if (bestLength >= 3) {
      putMatch(w, bestLength, bestDistance);
      for (int k = 0; k < bestLength; ++k) insert(i + k);
      i += bestLength;
    } else {
      putLiteral(w, data[size_t(i)]);
      insert(i);
      ++i;
    }
  }
  putLiteral(w, 256);
  w.flush();
  uint32_t a = 1, b = 0;
  for (uint8_t v : data) {
    a = (a + v) % 65521;
    b = (b + a) % 65521;
  }
  putBe32(out, (b << 16) | a);
  return out;
}

}  // namespace

std::vector<uint8_t> encodePng(const Image& img, const Palette& pal) {
  static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> png(signature, signature + 8);

  std::vector<uint8_t> header;
  putBe32(header, uint32_t(img.w));
  putBe32(header, uint32_t(img.h));
  header.insert(header.end(), {8, 3, 0, 0, 0});  // 8 bits, palette, deflate, no filter, no interlace
  chunk(png, "IHDR", header);

  // The colour table only as far as the picture uses it.
  const int colours = img.px.empty() ? 1 : *std::max_element(img.px.begin(), img.px.end()) + 1;
  std::vector<uint8_t> table;
  for (int i = 0; i < colours; ++i) {
    const Rgb& c = pal.entries[size_t(i)];
    table.insert(table.end(), {c.r, c.g, c.b});
  }
  chunk(png, "PLTE", table);
  if (pal.key >= 0 && pal.key < colours) {
    std::vector<uint8_t> alpha(size_t(pal.key) + 1, 255);
    alpha.back() = 0;
    chunk(png, "tRNS", alpha);
  }

  std::vector<uint8_t> rows;
  rows.reserve(size_t(img.w + 1) * size_t(img.h));
  for (int y = 0; y < img.h; ++y) {
    rows.push_back(0);  // no filter: flat colours repeat well enough as they are
    rows.insert(rows.end(), img.px.begin() + ptrdiff_t(y) * img.w, img.px.begin() + ptrdiff_t(y + 1) * img.w);
  }
  chunk(png, "IDAT", deflate(rows));
  chunk(png, "IEND", {});
  return png;
}

}  // namespace art
