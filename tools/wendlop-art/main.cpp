// wendlop-art --src assets/art --out DIR
// Writes DIR/bmp/gamebg.bmp (sprite sheet) and DIR/bmp/test.bmp (backdrops).
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "art.h"

int main(int argc, char** argv) {
  std::string src, out;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--src") && i + 1 < argc)
      src = argv[++i];
    else if (!std::strcmp(argv[i], "--out") && i + 1 < argc)
      out = argv[++i];
    else {
      std::fprintf(stderr, "usage: wendlop-art --src DIR --out DIR\n");
      return 2;
    }
  }
  if (src.empty() || out.empty()) {
    std::fprintf(stderr, "usage: wendlop-art --src DIR --out DIR\n");
    return 2;
  }
  try {
    art::Palette pal = art::Palette::load(src + "/palette.txt");
    art::Image sprites = art::buildSpriteSheet(src, pal);
    art::Image backdrops = art::buildBackdrops(src + "/backdrops.txt", pal);
    for (uint8_t p : backdrops.px)
      if (p == pal.key) throw art::Error("a backdrop uses the transparent key colour");
    std::error_code ec;
    std::filesystem::create_directories(out + "/bmp", ec);
    if (ec) throw art::Error(out + "/bmp: " + ec.message());
    art::writeFile(out + "/bmp/gamebg.bmp", art::encodeBmp(sprites, pal));
    art::writeFile(out + "/bmp/test.bmp", art::encodeBmp(backdrops, pal));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "wendlop-art: %s\n", e.what());
    return 1;
  }
  return 0;
}
