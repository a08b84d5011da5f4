// Packs written into the test's own folder: stages from text, solutions, a
// pack.ini, and the folders the game finds them in.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "pack/pack.h"
#include "world/game_fixture.h"

namespace testgame {

using Lines = std::vector<std::string>;
// The walker walks right onto the goal with no click at all.
inline const Lines goalTiles = {"####################", "#.G................#"};
inline const Lines walkerAt1 = {"....................", ".>.................."};

class PackTest : public GameTest {
 protected:
  std::filesystem::path installed() const { return dir_ / "packs"; }
  std::filesystem::path user() const { return dir_ / "user" / "packs"; }

  // A pack of `stages` stages that clear themselves, with a solution of no
  // clicks for each stage listed in `solved`.
  std::filesystem::path writePack(const std::filesystem::path& folder, const std::string& name, int stages,
                                  std::vector<int> solved = {}) {
    std::filesystem::create_directories(folder / "map");
    std::ofstream(folder / "pack.ini") << "[pack]\nname = " << name << "\nauthor = Test\nversion = 1\n";
    for (int n = 1; n <= stages; ++n) {
      const Image image = stageImage(goalTiles, walkerAt1);
      std::ofstream(folder / stageName(n), std::ios::binary)
          .write(reinterpret_cast<const char*>(image.data()), StageMapSize);
    }
    for (int n : solved) {
      std::filesystem::create_directories(folder / "replay");
      const std::string none(MostReplayBytesForTest, '\0');
      std::ofstream(folder / replayName(n), std::ios::binary) << none;
    }
    return folder;
  }
  static std::string stageName(int n) {
    char name[32];
    std::snprintf(name, sizeof name, "map/map%02d.fmf", n);
    return name;
  }
  static std::string replayName(int n) {
    char name[32];
    std::snprintf(name, sizeof name, "replay/%02d.dat", n);
    return name;
  }
  static std::string read(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  // Every file under `folder`, by its name there, with its size and a hash
  // of its bytes (short to print when a test fails).
  static std::vector<std::pair<std::string, std::string>> tree(const std::filesystem::path& folder) {
    std::vector<std::pair<std::string, std::string>> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder)) {
      if (!e.is_regular_file()) continue;
      const std::string bytes = read(e.path());
      files.emplace_back(std::filesystem::relative(e.path(), folder).string(),
                         std::to_string(bytes.size()) + ":" + std::to_string(std::hash<std::string>{}(bytes)));
    }
    std::sort(files.begin(), files.end());
    return files;
  }
  void findTestPacks() { findPacks(installed().string(), user().string()); }

  static constexpr size_t MostReplayBytesForTest = 21600;
};

}  // namespace testgame
