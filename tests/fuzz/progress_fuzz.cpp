// The progress file as a hostile or damaged disc may leave it: every best TIME
// read belongs to a stage that exists and is one a clear can leave, and the
// file written for what was read reads back whole and the same.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "flow/progress.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  Progress read;
  const bool whole = parseProgress(text, &read);
  if (read.bestTime[0] != 0) std::abort();  // there is no stage 0
  for (int stage = 1; stage <= LastStage; ++stage)
    if (read.bestTime[stage] < 0 || read.bestTime[stage] > 60) std::abort();
  if (whole && text.find('\0') != std::string::npos) std::abort();

  Progress again;
  if (!parseProgress(formatProgress(read), &again) || !(again == read)) std::abort();
  return 0;
}
