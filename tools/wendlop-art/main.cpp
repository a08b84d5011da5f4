// wendlop-art --src assets/art --out DIR
// Writes DIR/bmp/gamebg.bmp (sprite sheet) and DIR/bmp/test.bmp (backdrops),
// and the desktop icons DIR/icons/hicolor/NxN/apps/wendlop.png.
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
    const art::Image walker = art::spriteFrame(sprites, art::iconFrame);
    for (int size : art::iconSizes) {
      const std::string folder = out + "/icons/hicolor/" + std::to_string(size) + "x" + std::to_string(size) + "/apps";
      std::filesystem::create_directories(folder, ec);
      if (ec) throw art::Error(folder + ": " + ec.message());
      art::writeFile(folder + "/wendlop.png", art::encodePng(art::iconFromFrame(walker, pal.key, size), pal));
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "wendlop-art: %s\n", e.what());
    return 1;
  }
  return 0;
}
