// Stage text both ways: any 620 bytes either come back byte for byte from the
// text they decompile to or are refused with a reason, and any text that
// compiles decompiles to text that compiles to the same bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "world/stagetext.h"

namespace {
StageCheck none() {
  StageCheck c;
  c.enclosure = c.singleStart = c.wholePieces = false;
  return c;
}

void roundTrip(const uint8_t image[620]) {
  std::string text, error;
  if (!decompileStage(image, &text, &error)) {
    if (error.empty()) std::abort();  // refused without a reason
    return;
  }
  uint8_t back[620];
  if (!compileStageText(text, back, &error, none()) || std::memcmp(back, image, 620) != 0) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint8_t image[620] = {};
  std::memcpy(image, data, size < 620 ? size : 620);
  roundTrip(image);

  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string error;
  const bool strict = size > 0 && (data[0] & 1);
  if (compileStageText(text, image, &error, strict ? StageCheck{} : none())) roundTrip(image);
  return 0;
}
