// wendlop-testsheets --out DIR: writes stand-in sheets to DIR/bmp/ for trying
// the display before the real art exists. Not for data/.
#include <cstdio>
#include <cstring>

#include "testsheets.h"

int main(int argc, char** argv) {
  const char* out = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--out") == 0 && i + 1 < argc) out = argv[++i];
  }
  if (!out) {
    std::fprintf(stderr, "usage: wendlop-testsheets --out DIR\n");
    return 2;
  }
  if (!writeTestSheets(out)) {
    std::fprintf(stderr, "wendlop-testsheets: cannot write the sheets under %s\n", out);
    return 1;
  }
  std::printf("wrote %s/bmp/gamebg.bmp and %s/bmp/test.bmp\n", out, out);
  return 0;
}
