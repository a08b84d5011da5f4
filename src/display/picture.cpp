// 8-bit picture files: BMP in (the sheets), BMP and PNG out (screenshots, test sheets).
#include <algorithm>
#include <cstring>

#include <zlib.h>

#include "display/surface.h"
#include "platform/bytes.h"

namespace {

// The sheets are 640 pixels wide and at most a few screens tall. A header that
// claims more is broken or hostile: a tiny RLE8 file could otherwise make the
// reader allocate the whole claimed picture.
constexpr long long MaxSide = 4096;

enum { BiRgb = 0, BiRle8 = 1 };

// RLE8 runs, starting at the bottom row. Pixels the runs skip stay 0.
bool decodeRle8(const uint8_t* p, const uint8_t* end, Surface* out) {
  int x = 0, y = out->height - 1;
  auto put = [&](uint8_t v) {
    if (x < out->width && y >= 0) out->pixels[static_cast<size_t>(y) * out->width + x] = v;
    ++x;
  };
  while (end - p >= 2) {
    const uint8_t count = p[0], value = p[1];
    p += 2;
    if (count > 0) {
      for (int i = 0; i < count; ++i) put(value);
      continue;
    }
    if (value == 0) {  // end of line
      x = 0;
      --y;
    } else if (value == 1) {  // end of picture
      return true;
    } else if (value == 2) {  // move right and up
      if (end - p < 2) return false;
      x += p[0];
      y -= p[1];
      p += 2;
    } else {  // `value` literal pixels, padded to an even length
      const int padded = (value + 1) & ~1;
      if (end - p < padded) return false;
      for (int i = 0; i < value; ++i) put(p[i]);
      p += padded;
    }
    if (y < 0) return true;
  }
  // A picture whose rows have all been written needs no end marker.
  return y < 0;
}

void putLe16(uint8_t* p, uint32_t v) {
  p[0] = v & 0xFF;
  p[1] = (v >> 8) & 0xFF;
}
void putLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = (v >> (8 * i)) & 0xFF;
}
void putBe32(std::vector<uint8_t>* out, uint32_t v) {
  for (int i = 3; i >= 0; --i) out->push_back((v >> (8 * i)) & 0xFF);
}

// Appends a PNG chunk whose data is already at the end of `out`, from `start`.
void finishChunk(std::vector<uint8_t>* out, size_t start) {
  const size_t length = out->size() - start - 8;
  for (int i = 0; i < 4; ++i) (*out)[start + i] = (length >> (8 * (3 - i))) & 0xFF;
  const uLong c = crc32(0L, out->data() + start + 4, static_cast<uInt>(out->size() - start - 4));
  putBe32(out, static_cast<uint32_t>(c));
}

size_t beginChunk(std::vector<uint8_t>* out, const char* type) {
  const size_t start = out->size();
  out->insert(out->end(), {0, 0, 0, 0});
  out->insert(out->end(), type, type + 4);
  return start;
}

}  // namespace

namespace {

// What a BMP's headers say about its picture, once checked against the file.
struct BmpLayout {
  long long width = 0, height = 0;
  bool topDown = false;
  uint32_t compression = BiRgb;
  uint32_t pixelOffset = 0;
  size_t tableOffset = 0;
  size_t entrySize = 4;
  uint32_t tableCount = 256;
};

// The file header and the size of the information header after it.
bool readFileHeader(const uint8_t* data, size_t size, BmpLayout* layout, uint32_t* infoSize, const char** why) {
  if (size < 2 || data[0] != 'B' || data[1] != 'M') {
    *why = "is not a BMP file";
    return false;
  }
  if (size < 18) {
    *why = "is truncated";
    return false;
  }
  layout->pixelOffset = readLe32(data + 10);
  *infoSize = readLe32(data + 14);
  if (*infoSize != 12 && *infoSize < 40) {
    *why = "is not a BMP file (unknown header)";
    return false;
  }
  if (14ull + *infoSize > size) {
    *why = "is truncated";
    return false;
  }
  layout->tableOffset = 14 + *infoSize;
  return true;
}

// The information header: size, depth, compression, colour table; only 8-bit
// pictures, plain or RLE8, of a size a sheet can have.
bool readInfoHeader(const uint8_t* data, uint32_t infoSize, BmpLayout* layout, const char** why) {
  uint32_t bits;
  if (infoSize == 12) {  // the oldest header: 16-bit sizes, 3-byte colour entries
    layout->width = readLe16(data + 18);
    layout->height = static_cast<int16_t>(readLe16(data + 20));
    bits = readLe16(data + 24);
    layout->entrySize = 3;
  } else {
    layout->width = static_cast<int32_t>(readLe32(data + 18));
    layout->height = static_cast<int32_t>(readLe32(data + 22));
    bits = readLe16(data + 28);
    layout->compression = readLe32(data + 30);
    layout->tableCount = readLe32(data + 46);
    if (layout->tableCount == 0 || layout->tableCount > 256) layout->tableCount = 256;
  }
  if (bits != 8) {
    *why = bits == 1 || bits == 4 || bits == 16 || bits == 24 || bits == 32
               ? "is not an 8-bit (256-colour) picture"
               : "is not a BMP file (bad pixel depth)";
    return false;
  }
  if (layout->compression != BiRgb && layout->compression != BiRle8) {
    *why = "uses a compression that is not read (only plain and RLE8 pictures are)";
    return false;
  }
  layout->topDown = layout->height < 0;
  if (layout->topDown) layout->height = -layout->height;
  if (layout->width <= 0 || layout->height <= 0) {
    *why = "has an impossible size";
    return false;
  }
  if (layout->width > MaxSide || layout->height > MaxSide) {
    *why = "claims to be larger than 4096 x 4096 pixels, more than any sheet can be";
    return false;
  }
  if (layout->topDown && layout->compression == BiRle8) {
    *why = "is not a BMP file (top-down RLE8)";
    return false;
  }
  return true;
}

// The colour table, which may be cut short by the pixel data; it never reaches past it.
bool readColourTable(const uint8_t* data, size_t size, BmpLayout* layout, Surface* s, const char** why) {
  const size_t tableEnd = layout->tableOffset + layout->entrySize * layout->tableCount;
  if (layout->pixelOffset >= layout->tableOffset && layout->pixelOffset < tableEnd)
    layout->tableCount = static_cast<uint32_t>((layout->pixelOffset - layout->tableOffset) / layout->entrySize);
  if (layout->tableOffset + layout->entrySize * layout->tableCount > size || layout->pixelOffset > size) {
    *why = "is truncated";
    return false;
  }
  s->colourCount = static_cast<int>(layout->tableCount);
  for (uint32_t i = 0; i < layout->tableCount; ++i) {
    const uint8_t* e = data + layout->tableOffset + layout->entrySize * i;
    s->colours[i][0] = e[2];
    s->colours[i][1] = e[1];
    s->colours[i][2] = e[0];
  }
  return true;
}

// The pixels, rows bottom-up unless the header said top-down.
bool readPixels(const uint8_t* data, size_t size, const BmpLayout& layout, Surface* s) {
  const long long width = layout.width, height = layout.height;
  s->width = static_cast<int>(width);
  s->height = static_cast<int>(height);
  s->pixels.assign(static_cast<size_t>(width * height), 0);
  if (layout.compression == BiRle8) return decodeRle8(data + layout.pixelOffset, data + size, s);
  const size_t stride = (static_cast<size_t>(width) + 3) & ~static_cast<size_t>(3);
  // The padding after the last row may be missing; its pixels may not.
  if (layout.pixelOffset + stride * (height - 1) + width > size) return false;
  for (long long row = 0; row < height; ++row) {
    const long long fileRow = layout.topDown ? row : height - 1 - row;
    std::memcpy(&s->pixels[static_cast<size_t>(row * width)], data + layout.pixelOffset + stride * fileRow,
                static_cast<size_t>(width));
  }
  return true;
}

}  // namespace

bool decodeBmp(const uint8_t* data, size_t size, Surface* out, const char** why) {
  BmpLayout layout;
  uint32_t infoSize = 0;
  if (!readFileHeader(data, size, &layout, &infoSize, why) || !readInfoHeader(data, infoSize, &layout, why))
    return false;
  Surface s;
  if (!readColourTable(data, size, &layout, &s, why)) return false;
  if (!readPixels(data, size, layout, &s)) {
    *why = "is truncated";
    return false;
  }
  *out = std::move(s);
  return true;
}

void encodeBmp8(int width, int height, const uint8_t* pixels, const uint8_t colours[256][3],
                std::vector<uint8_t>* out) {
  const uint32_t stride = (static_cast<uint32_t>(width) + 3) & ~3u;
  const uint32_t offset = 14 + 40 + 256 * 4;
  const uint32_t total = offset + stride * height;
  out->assign(total, 0);
  uint8_t* p = out->data();
  p[0] = 'B';
  p[1] = 'M';
  putLe32(p + 2, total);
  putLe32(p + 10, offset);
  putLe32(p + 14, 40);
  putLe32(p + 18, width);
  putLe32(p + 22, height);
  putLe16(p + 26, 1);
  putLe16(p + 28, 8);
  putLe32(p + 34, stride * height);
  putLe32(p + 38, 2835);  // 72 dots per inch
  putLe32(p + 42, 2835);
  putLe32(p + 46, 256);
  for (int i = 0; i < 256; ++i) {
    p[54 + 4 * i] = colours[i][2];
    p[55 + 4 * i] = colours[i][1];
    p[56 + 4 * i] = colours[i][0];
  }
  for (int row = 0; row < height; ++row)
    std::memcpy(p + offset + stride * (height - 1 - row), pixels + static_cast<size_t>(row) * width,
                width);
}

namespace {
std::vector<uint8_t> pngRows;  // reused: the rows with their filter bytes
}  // namespace

// Rows unfiltered: the usual choice for palette pictures.
void encodePng8(int width, int height, const uint8_t* pixels, const uint8_t colours[256][3],
                std::vector<uint8_t>* out, const PngOptions& options) {
  static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  out->assign(signature, signature + 8);

  size_t chunk = beginChunk(out, "IHDR");
  putBe32(out, width);
  putBe32(out, height);
  out->insert(out->end(), {8, 3, 0, 0, 0});  // 8 bits, palette, deflate, no filter, no interlace
  finishChunk(out, chunk);

  const int entries = std::clamp(options.colours, 1, 256);
  chunk = beginChunk(out, "PLTE");
  for (int i = 0; i < entries; ++i) out->insert(out->end(), colours[i], colours[i] + 3);
  finishChunk(out, chunk);
  if (options.transparent >= 0 && options.transparent < entries) {
    // Opaque up to the transparent entry; the entries after it are opaque by default.
    chunk = beginChunk(out, "tRNS");
    out->insert(out->end(), static_cast<size_t>(options.transparent), 255);
    out->push_back(0);
    finishChunk(out, chunk);
  }

  const size_t rowBytes = static_cast<size_t>(width) + 1;
  pngRows.resize(rowBytes * height);
  for (int row = 0; row < height; ++row) {
    pngRows[row * rowBytes] = 0;
    std::memcpy(&pngRows[row * rowBytes + 1], pixels + static_cast<size_t>(row) * width, width);
  }
  chunk = beginChunk(out, "IDAT");
  const size_t dataStart = out->size();
  uLongf packed = compressBound(static_cast<uLong>(pngRows.size()));
  out->resize(dataStart + packed);
  if (compress2(out->data() + dataStart, &packed, pngRows.data(), static_cast<uLong>(pngRows.size()),
                std::clamp(options.level, 0, 9)) != Z_OK)
    packed = 0;
  out->resize(dataStart + packed);
  finishChunk(out, chunk);

  chunk = beginChunk(out, "IEND");
  finishChunk(out, chunk);
}
