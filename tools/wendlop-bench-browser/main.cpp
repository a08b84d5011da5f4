// wendlop-bench-browser --data DIR [--pack NAME|DIR] [--pages N] [--picture FILE]
// Draws the stage browser's first page headless with the game's sheets and
// prints milliseconds per page: the first drawing of a page (fifty stages
// loaded and drawn, each reduced to its picture) and a page whose pictures
// are kept (the browser's every frame after its first). --picture saves the
// page as the player sees it.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/game_state.h"
#include "display/display.h"
#include "flow/flow.h"
#include "pack/pack.h"
#include "platform/platform.h"

namespace {
double millisecondsSince(std::chrono::steady_clock::time_point start, int count) {
  const std::chrono::duration<double, std::milli> d = std::chrono::steady_clock::now() - start;
  return d.count() / count;
}
}  // namespace

int main(int argc, char** argv) {
  const char* data = nullptr;
  const char* packName = nullptr;
  const char* picture = nullptr;
  int pages = 20;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--data" && i + 1 < argc) data = argv[++i];
    else if (a == "--pack" && i + 1 < argc) packName = argv[++i];
    else if (a == "--picture" && i + 1 < argc) picture = argv[++i];
    else if (a == "--pages" && i + 1 < argc) pages = std::atoi(argv[++i]);
    else {
      std::fprintf(stderr, "Usage: wendlop-bench-browser --data DIR [--pack NAME|DIR] [--pages N] [--picture FILE]\n");
      return 2;
    }
  }
  if (!data || pages < 1) return 2;
  sysSetHeadless(true);
  const std::string pictureFile = picture ? sysAbsolutePath(picture) : "";
  const std::string packFolder = packName ? sysAbsolutePath(packName) : "";
  if (!sysChangeDirectory(data)) {
    std::fprintf(stderr, "wendlop-bench-browser: no data folder %s\n", data);
    return 2;
  }
  resetGame();
  findPacks(sysAbsolutePath("packs"), "");
  if (packName) {
    int index = packIndex(packName);
    Pack pack;
    std::string why;
    if (index < 0 && readPack(packFolder, &pack, &why)) {
      packState.packs.push_back(pack);
      index = static_cast<int>(packState.packs.size()) - 1;
    }
    if (index < 0) {
      std::fprintf(stderr, "wendlop-bench-browser: no pack %s\n", packName);
      return 2;
    }
    choosePack(index);
  }
  if (!initDisplay()) return 2;
  flow.pointer.x = 320;
  flow.pointer.y = 400;

  // Each first drawing starts from no pictures at all.
  const auto coldStart = std::chrono::steady_clock::now();
  for (int i = 0; i < pages; ++i) {
    forgetBrowserPictures();
    drawBrowserPage();
  }
  const double cold = millisecondsSince(coldStart, pages);
  const auto warmStart = std::chrono::steady_clock::now();
  for (int i = 0; i < pages * 10; ++i) drawBrowserPage();
  const double warm = millisecondsSince(warmStart, pages * 10);
  const int shown = packStageCount() < BrowserPage ? packStageCount() : BrowserPage;
  std::printf("pack %s: %d stages on the first page\n", currentPack().info.name.c_str(), shown);
  std::printf("first drawing of a page (pictures made): %.3f ms (%.3f ms a picture), over %d pages\n", cold,
              cold / shown, pages);
  std::printf("page with its pictures kept:             %.3f ms, over %d pages\n", warm, pages * 10);
  if (picture && !saveCanvasPicture(pictureFile.c_str())) {
    std::fprintf(stderr, "wendlop-bench-browser: cannot write %s\n", pictureFile.c_str());
    return 1;
  }
  return 0;
}
