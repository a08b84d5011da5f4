// An archive handed to --import, as a hostile sender may make it: libarchive
// reads it in memory, every member is checked, and a pack that passes is one
// the game can play (names inside the pack, stages of 620 bytes with one
// walker start) and survives an export and a second reading unchanged.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "pack/share.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PackFiles pack;
  std::string problem;
  if (!readPackArchive(data, size, &pack, &problem)) {
    if (problem.empty()) std::abort();
    return 0;
  }
  size_t total = 0;
  for (const auto& [name, bytes] : pack.files) {
    if (name.empty() || name[0] == '/' || name.find("..") != std::string::npos) std::abort();
    total += bytes.size();
  }
  if (total > MostPackBytes || pack.files.size() > MostPackEntries) std::abort();
  if (!checkPackFiles(&pack, &problem)) return 0;
  if (pack.stages < 1 || pack.stages > MostPackStages) std::abort();
  for (int n = 1; n <= pack.stages; ++n) {
    const auto stage = pack.files.find(stagePathIn("", n));
    if (stage == pack.files.end() || !stageFileProblem(stage->second).empty()) std::abort();
  }
  // What passed, exported and read again, is the same pack.
  for (bool zip : {true, false}) {
    std::vector<uint8_t> archive;
    if (!writePackArchive(pack, packFolderName(pack.info.name), zip, &archive, &problem)) std::abort();
    PackFiles again;
    if (!readPackArchive(archive.data(), archive.size(), &again, &problem) || !checkPackFiles(&again, &problem) ||
        again.files != pack.files || again.stages != pack.stages)
      std::abort();
  }
  return 0;
}
