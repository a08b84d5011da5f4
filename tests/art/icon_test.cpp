// The desktop icons: the walker enlarged by whole pixels, written as PNG files
// that zlib, a decoder we did not write, reads back to the same picture.
#ifdef WENDLOP_HAVE_ART_LIB

#include <gtest/gtest.h>
#include <zlib.h>

#include <array>
#include <fstream>
#include <iterator>

#include "art.h"

namespace {

struct Png {
  bool ok = false;
  std::string why;
  int w = 0, h = 0;
  std::vector<std::array<uint8_t, 3>> palette;
  std::vector<uint8_t> alpha;  // tRNS: one entry per colour from 0, missing ones opaque
  std::vector<uint8_t> px;
};

uint32_t be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

Png readPng(const std::vector<uint8_t>& file) {
  Png png;
  static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (file.size() < 8 || !std::equal(signature, signature + 8, file.begin())) {
    png.why = "no PNG signature";
    return png;
  }
  std::vector<uint8_t> idat;
  bool ended = false;
  for (size_t at = 8; at + 12 <= file.size() && !ended;) {
    const uint32_t length = be32(&file[at]);
    if (at + 12 + length > file.size()) {
      png.why = "chunk runs past the end";
      return png;
    }
    const std::string type(file.begin() + long(at) + 4, file.begin() + long(at) + 8);
    const uint8_t* body = &file[at + 8];
    if (crc32(0, &file[at + 4], length + 4) != be32(body + length)) {
      png.why = "bad CRC in " + type;
      return png;
    }
    if (type == "IHDR") {
      png.w = int(be32(body));
      png.h = int(be32(body + 4));
      if (body[8] != 8 || body[9] != 3 || body[12] != 0) {
        png.why = "not an 8-bit palette picture";
        return png;
      }
    } else if (type == "PLTE") {
      for (uint32_t i = 0; i + 3 <= length; i += 3) png.palette.push_back({body[i], body[i + 1], body[i + 2]});
    } else if (type == "tRNS") {
      png.alpha.assign(body, body + length);
    } else if (type == "IDAT") {
      idat.insert(idat.end(), body, body + length);
    } else if (type == "IEND") {
      ended = true;
    }
    at += 12 + length;
  }
  std::vector<uint8_t> rows(size_t(png.w + 1) * size_t(png.h));
  uLongf size = rows.size();
  if (!ended || uncompress(rows.data(), &size, idat.data(), idat.size()) != Z_OK || size != rows.size()) {
    png.why = "the picture data does not inflate to its rows";
    return png;
  }
  for (int y = 0; y < png.h; ++y) {
    const uint8_t* row = &rows[size_t(y) * size_t(png.w + 1)];
    if (row[0] != 0) {
      png.why = "a filtered row";
      return png;
    }
    png.px.insert(png.px.end(), row + 1, row + 1 + png.w);
  }
  for (uint8_t v : png.px)
    if (v >= png.palette.size()) {
      png.why = "a pixel beyond the colour table";
      return png;
    }
  png.ok = true;
  return png;
}

bool transparent(const Png& png, int x, int y) {
  const uint8_t v = png.px[size_t(y) * size_t(png.w) + size_t(x)];
  return v < png.alpha.size() && png.alpha[v] == 0;
}

TEST(Icons, EnlargeThePictureByWholePixelsInTheMiddle) {
  // Key 0; a 4 x 2 picture at (10, 20) of the frame, its four columns 1, 2, 3, 4.
  art::Image frame(64, 64, 0);
  for (int x = 0; x < 4; ++x)
    for (int y = 0; y < 2; ++y) frame.set(10 + x, 20 + y, uint8_t(1 + x));
  // 4 x 4 once squared, the two rows at 1 and 2. 18 = 4 x 4 + a margin of 1 each side.
  art::Image icon = art::iconFromFrame(frame, 0, 18);
  ASSERT_EQ(icon.w, 18);
  ASSERT_EQ(icon.h, 18);
  for (int y = 0; y < 18; ++y)
    for (int x = 0; x < 18; ++x) {
      const bool inside = x >= 1 && x < 17 && y >= 1 + 4 && y < 1 + 12;
      EXPECT_EQ(icon.at(x, y), inside ? 1 + (x - 1) / 4 : 0) << x << "," << y;
    }
  // Smaller than the picture: every other pixel, from the middle of each pair.
  icon = art::iconFromFrame(frame, 0, 2);
  EXPECT_EQ(icon.at(0, 0), 2);
  EXPECT_EQ(icon.at(1, 0), 4);
  EXPECT_EQ(icon.at(0, 1), 0);

  EXPECT_THROW(art::iconFromFrame(art::Image(64, 64, 0), 0, 16), art::Error);
}

TEST(Icons, PngReadsBackWithOnlyTheKeyTransparent) {
  art::Palette pal;
  for (int i = 0; i < 256; ++i) pal.entries.push_back(art::Rgb{uint8_t(i), uint8_t(255 - i), uint8_t(i / 2)});
  pal.key = 3;
  // Noise, long runs, and rows repeated from further back than a run.
  art::Image img(77, 90, 3);
  uint32_t seed = 7;
  for (int y = 0; y < img.h; ++y)
    for (int x = 0; x < img.w; ++x) {
      seed = seed * 1103515245u + 12345u;
      if (y < 30) img.set(x, y, uint8_t(seed >> 28));
      else if (y < 60) img.set(x, y, x < 40 ? 9 : 3);
      else img.set(x, y, img.at(x, y - 27));
    }
  const Png png = readPng(art::encodePng(img, pal));
  ASSERT_TRUE(png.ok) << png.why;
  EXPECT_EQ(png.w, 77);
  EXPECT_EQ(png.h, 90);
  EXPECT_EQ(png.px, img.px);
  ASSERT_EQ(png.palette.size(), 16u);  // only as far as the picture uses it
  EXPECT_EQ(png.palette[9], (std::array<uint8_t, 3>{9, 246, 4}));
  EXPECT_EQ(png.alpha, (std::vector<uint8_t>{255, 255, 255, 0}));
}

TEST(Icons, CommittedIconsAreTheSizeTheirFolderSays) {
  for (int size : art::iconSizes) {
    const std::string name = std::to_string(size) + "x" + std::to_string(size);
    std::ifstream in(std::string(WENDLOP_SOURCE_DIR) + "/data/icons/hicolor/" + name + "/apps/wendlop.png",
                     std::ios::binary);
    const Png png = readPng(std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {}));
    ASSERT_TRUE(png.ok) << name << ": " << png.why;
    EXPECT_EQ(png.w, size);
    EXPECT_EQ(png.h, size);
    EXPECT_TRUE(transparent(png, 0, 0)) << name;
    EXPECT_FALSE(transparent(png, size / 2, size / 2)) << name;
  }
}

}  // namespace

#endif
