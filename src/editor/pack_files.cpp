// Writing the player's packs: folders, pack.ini, stage files with their text,
// and replays, all through the atomic write.
#include "editor/pack_files.h"

#include <cstdio>
#include <cstring>

#include "editor/editor.h"
#include "pack/pack.h"
#include "platform/platform.h"
#include "world/stagetext.h"

namespace {
// Where a reason is of no use: the file is optional.
std::string ignoredWhy;
std::string twoDigits(int n) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d", n);
  return text;
}

// Keeps pack.ini one value to a line whatever the player typed.
std::string oneLine(const std::string& s) {
  std::string out;
  for (char ch : s) out += (ch == '\n' || ch == '\r') ? ' ' : ch;
  return out;
}
}  // namespace

std::string packsFolder() {
  const std::string& data = editorDataFolder();
  return data.empty() ? "" : data + "/packs";
}

std::string packStagePath(const std::string& folder, int number) {
  return packsFolder() + "/" + folder + "/map/map" + twoDigits(number) + ".fmf";
}

std::string packReplayPath(const std::string& folder, int number) {
  return packsFolder() + "/" + folder + "/replay/" + twoDigits(number) + ".dat";
}

std::vector<std::string> listPacks() {
  std::vector<std::string> packs;
  const std::string root = packsFolder();
  if (root.empty()) return packs;
  for (const std::string& name : sysListFolder(root.c_str()))
    if (name[0] != '.' && sysIsDirectory((root + "/" + name).c_str())) packs.push_back(name);
  return packs;
}

std::vector<int> packStages(const std::string& folder) {
  std::vector<int> numbers;
  if (packsFolder().empty()) return numbers;
  for (const std::string& name : sysListFolder((packsFolder() + "/" + folder + "/map").c_str())) {
    int n = 0;
    char tail[8] = {};
    if (name.size() == 9 && std::sscanf(name.c_str(), "map%2d.%3s", &n, tail) == 2 && std::strcmp(tail, "fmf") == 0 &&
        n >= 1 && n <= MaxPackStages && name == "map" + twoDigits(n) + ".fmf")
      numbers.push_back(n);
  }
  return numbers;
}

int nextFreeStage(const std::string& folder) {
  const std::vector<int> used = packStages(folder);
  for (int n = 1; n <= MaxPackStages; ++n) {
    bool taken = false;
    for (int u : used) taken = taken || u == n;
    if (!taken) return n;
  }
  return 0;
}

bool ensurePack(const std::string& folder, const std::string& name, std::string* why) {
  if (packsFolder().empty()) {
    if (why) *why = "there is no folder for the player's own files";
    return false;
  }
  const std::string ini = packsFolder() + "/" + folder + "/pack.ini";
  std::vector<uint8_t> existing;
  if (sysReadWholeFile(ini.c_str(), 1, &existing, &ignoredWhy) == SysReadOk) return true;
  const char* user = sysGetEnv("USER");
  const std::string text = "[pack]\nname = " + oneLine(name) + "\nauthor = " + oneLine(user ? user : "") +
                           "\nlicense = \nversion = 1\ndescription = \n";
  return sysWriteFileAtomic(ini.c_str(), text.data(), text.size(), why);
}

bool writePackStage(const std::string& folder, int number, const std::array<uint8_t, 620>& image, std::string* why,
                    std::string* textWhy) {
  const std::string path = packStagePath(folder, number);
  if (!sysWriteFileAtomic(path.c_str(), image.data(), image.size(), why)) return false;
  std::string text, error;
  const std::string textPath = path.substr(0, path.size() - 4) + ".txt";
  if (!decompileStage(image.data(), &text, &error)) {
    if (textWhy) *textWhy = error;
    sysRemoveFile(textPath.c_str());  // an old text would stand for another stage
    return true;
  }
  if (!sysWriteFileAtomic(textPath.c_str(), text.data(), text.size(), &error) && textWhy) *textWhy = error;
  return true;
}

bool writePackReplay(const std::string& folder, int number, const uint8_t* bytes, size_t n, std::string* why) {
  return sysWriteFileAtomic(packReplayPath(folder, number).c_str(), bytes, n, why);
}

bool packStageOfPath(const std::string& path, std::string* folder, int* number) {
  const std::string root = packsFolder() + "/";
  if (packsFolder().empty() || path.compare(0, root.size(), root) != 0) return false;
  const std::string rest = path.substr(root.size());
  const size_t slash = rest.find('/');
  if (slash == std::string::npos || slash == 0) return false;
  const std::string name = rest.substr(slash + 1);
  int n = 0;
  if (name.size() != 13 || std::sscanf(name.c_str(), "map/map%2d.fmf", &n) != 1 || n < 1 || n > MaxPackStages ||
      name != "map/map" + twoDigits(n) + ".fmf")
    return false;
  *folder = rest.substr(0, slash);
  *number = n;
  return true;
}
