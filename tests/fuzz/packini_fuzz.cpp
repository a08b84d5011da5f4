// pack.ini and an import's verdict as a hostile pack may bring them: every
// field read is within its bounds, and what is written for it reads back the same.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "pack/pack.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  PackInfo info;
  std::string problem;
  if (parsePackIni(text, &info, &problem)) {
    if (!problem.empty() || !validPackName(info.name)) std::abort();
    for (const std::string* field : {&info.author, &info.license, &info.version, &info.description})
      if (field->size() > MostPackField) std::abort();
    PackInfo again;
    if (!parsePackIni(formatPackIni(info), &again, &problem) || !(again == info)) std::abort();
  } else if (problem.empty()) {
    std::abort();  // a refusal always says why
  }
  PackVerdict verdict;
  if (parsePackVerdict(text, &verdict)) {
    if (verdict.stages < 1 || verdict.stages > MostPackStages || verdict.verified() > verdict.stages) std::abort();
    PackVerdict again;
    if (!parsePackVerdict(formatPackVerdict(verdict), &again) || !(again == verdict)) std::abort();
  }
  return 0;
}
