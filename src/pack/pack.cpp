// Stage packs: pack.ini read with inih, the packs found at start, and the
// paths of the current pack's stages and solutions.
#include "pack/pack.h"

#include <ini.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "world/stagetext.h"
#include "world/world.h"

PackState packState;

namespace {
constexpr size_t MostPackIni = 4096;

Pack builtInPack() {
  Pack p;
  p.info.name = "Wendlop";
  p.info.author = "the Wendlop developers";
  p.stageCount = BuiltInStages;
  p.builtIn = true;
  p.installed = true;
  return p;
}

struct IniParse {
  PackInfo* out;
  std::string problem;
  bool seen[5] = {};
};

void noteProblem(IniParse& p, const std::string& what) {
  if (p.problem.empty()) p.problem = what;
}

// Printable, and without ';', which inih takes for the start of a comment
// once a blank stands before it: a field must read back as it was written.
bool plainText(const std::string& value) {
  for (unsigned char c : value)
    if (c < 32 || c > 126 || c == ';') return false;
  return true;
}

int onPackEntry(void* user, const char* section, const char* name, const char* value) {
  IniParse& p = *static_cast<IniParse*>(user);
  if (std::strcmp(section, "pack") != 0) {
    noteProblem(p, std::string("pack.ini has a section [") + section + "] besides [pack]");
    return 1;
  }
  static const char* const keys[5] = {"name", "author", "license", "version", "description"};
  std::string* fields[5] = {&p.out->name, &p.out->author, &p.out->license, &p.out->version, &p.out->description};
  for (int i = 0; i < 5; ++i) {
    if (std::strcmp(name, keys[i]) != 0) continue;
    const std::string v = value;
    if (p.seen[i]) noteProblem(p, std::string("pack.ini gives ") + keys[i] + " twice");
    p.seen[i] = true;
    const size_t most = i == 0 ? MostPackName : MostPackField;
    if (v.size() > most || !plainText(v)) {
      noteProblem(p, std::string("pack.ini: ") + keys[i] + " is not plain text (no ';') of at most " + std::to_string(most) +
                         " characters");
    } else {
      *fields[i] = v;
    }
    return 1;
  }
  noteProblem(p, std::string("pack.ini has no field '") + name + "'");
  return 1;
}

int stageOf(const std::string& digits) {
  if (digits.size() != 2 || !std::isdigit(static_cast<unsigned char>(digits[0])) ||
      !std::isdigit(static_cast<unsigned char>(digits[1])))
    return 0;
  return (digits[0] - '0') * 10 + (digits[1] - '0');
}
}  // namespace

bool validPackName(const std::string& name) {
  if (name.empty() || name.size() > MostPackName || name.front() == ' ' || name.back() == ' ' || name[0] == '.')
    return false;
  for (unsigned char c : name)
    if (!std::isalnum(c) && c != ' ' && c != '-' && c != '_' && c != '.') return false;
  return true;
}

bool parsePackIni(const std::string& text, PackInfo* out, std::string* problem) {
  *out = PackInfo{};
  IniParse p{out, {}, {}};
  if (text.size() > MostPackIni) {
    noteProblem(p, "pack.ini is longer than " + std::to_string(MostPackIni) + " bytes");
  } else if (text.find('\0') != std::string::npos) {
    noteProblem(p, "pack.ini holds a zero byte");
  } else if (const int line = ini_parse_string(text.c_str(), onPackEntry, &p); line != 0) {
    noteProblem(p, "pack.ini cannot be read at line " + std::to_string(line));
  }
  if (!p.seen[0]) noteProblem(p, "pack.ini names no pack (name = ...)");
  else if (!validPackName(out->name))
    noteProblem(p, "pack.ini: the name '" + out->name +
                       "' is not 1 to 24 letters, digits, blanks, '-', '_' or '.'");
  if (problem) *problem = p.problem;
  return p.problem.empty();
}

std::string formatPackIni(const PackInfo& info) {
  std::string text = "[pack]\nname = " + info.name + "\n";
  if (!info.author.empty()) text += "author = " + info.author + "\n";
  if (!info.license.empty()) text += "license = " + info.license + "\n";
  if (!info.version.empty()) text += "version = " + info.version + "\n";
  if (!info.description.empty()) text += "description = " + info.description + "\n";
  return text;
}

bool readPackIni(const std::string& folder, PackInfo* out, std::string* problem) {
  const std::string path = folder + "/pack.ini";
  std::vector<uint8_t> bytes;
  std::string why;
  if (sysReadWholeFile(path.c_str(), MostPackIni + 1, &bytes, &why) != SysReadOk) {
    if (problem) *problem = "pack.ini " + why;
    return false;
  }
  return parsePackIni(std::string(bytes.begin(), bytes.end()), out, problem);
}

bool writePackIni(const std::string& folder, const PackInfo& info, std::string* why) {
  std::string problem;
  PackInfo back;
  const std::string text = formatPackIni(info);
  if (!parsePackIni(text, &back, &problem) || !(back == info)) {
    if (why) *why = problem.empty() ? "pack.ini would not read back as written" : problem;
    return false;
  }
  return sysWriteFileAtomic((folder + "/pack.ini").c_str(), text.data(), text.size(), why);
}

std::string packFolderName(const std::string& name) {
  std::string folder;
  for (unsigned char c : name) folder += c == ' ' ? '-' : static_cast<char>(std::tolower(c));
  return folder;
}

int countPackStages(const std::string& folder) {
  int n = 0;
  while (n < MostPackStages) {
    const std::string path = stagePathIn(folder, n + 1);
    if (!sysPathExists(path.c_str()) || sysIsDirectory(path.c_str())) break;
    ++n;
  }
  return n;
}

bool readPack(const std::string& folder, Pack* out, std::string* problem) {
  *out = Pack{};
  out->folder = folder;
  if (!sysIsDirectory(folder.c_str())) {
    if (problem) *problem = "is not a folder";
    return false;
  }
  if (!readPackIni(folder, &out->info, problem)) return false;
  out->stageCount = countPackStages(folder);
  if (out->stageCount == 0) {
    if (problem) *problem = "has no map/map01.fmf";
    return false;
  }
  return true;
}

bool samePackName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

int packIndex(const std::string& name) {
  for (size_t i = 0; i < packState.packs.size(); ++i)
    if (samePackName(packState.packs[i].info.name, name)) return static_cast<int>(i);
  return -1;
}

namespace {
// The packs of the two folders after the built-in one; what is left out is
// said on stderr unless `quiet`.
void addPacksFound(bool quiet) {
  for (int r = 0; r < 2; ++r) {
    const std::string& root = r == 0 ? packState.installedPacks : packState.userPacks;
    std::vector<SysFolderEntry> entries;
    if (root.empty() || !sysIsDirectory(root.c_str()) || !sysListFolder(root.c_str(), &entries, nullptr)) continue;
    for (const SysFolderEntry& e : entries) {
      // Folders of unfinished imports and hidden ones are no packs.
      if (e.kind != SysFolderEntry::Folder || e.name[0] == '.') continue;
      const std::string folder = root + "/" + e.name;
      Pack pack;
      std::string problem;
      if (!readPack(folder, &pack, &problem)) {
        if (!quiet) std::fprintf(stderr, "wendlop: %s is left out: %s\n", folder.c_str(), problem.c_str());
        continue;
      }
      if (packIndex(pack.info.name) >= 0) {
        if (!quiet)
          std::fprintf(stderr, "wendlop: %s is left out: a pack named %s was found first\n", folder.c_str(),
                       pack.info.name.c_str());
        continue;
      }
      pack.installed = r == 0;
      packState.packs.push_back(pack);
    }
  }
}

bool insideFolder(const std::string& path, const std::string& root) {
  return !root.empty() && path.size() > root.size() + 1 && path.compare(0, root.size(), root) == 0 &&
         path[root.size()] == '/';
}
}  // namespace

void findPacks(const std::string& installedPacks, const std::string& userPacks) {
  packState = PackState{};
  packState.packs.push_back(builtInPack());
  packState.installedPacks = installedPacks;
  packState.userPacks = userPacks;
  addPacksFound(false);
}

void refreshPacks() {
  const PackState before = packState;
  const Pack current = currentPack();
  packState.packs.assign(1, builtInPack());
  packState.current = 0;
  addPacksFound(true);
  // A pack chosen by its folder, outside both, is kept as long as it reads.
  for (const Pack& p : before.packs) {
    if (p.builtIn || insideFolder(p.folder, before.installedPacks) || insideFolder(p.folder, before.userPacks)) continue;
    Pack again;
    if (readPack(p.folder, &again, nullptr) && packIndex(again.info.name) < 0) packState.packs.push_back(again);
  }
  for (size_t i = 0; i < packState.packs.size(); ++i)
    if (packState.packs[i].folder == current.folder) packState.current = static_cast<int>(i);
}

const Pack& currentPack() {
  static const Pack builtIn = builtInPack();
  const PackState& s = packState;
  if (s.current < 0 || s.current >= static_cast<int>(s.packs.size())) return builtIn;
  return s.packs[static_cast<size_t>(s.current)];
}

void choosePack(int index) {
  if (index >= 0 && index < static_cast<int>(packState.packs.size())) packState.current = index;
}

bool choosePackNamed(const std::string& nameOrFolder, std::string* problem) {
  int index = packIndex(nameOrFolder);
  if (index < 0 && sysIsDirectory(nameOrFolder.c_str())) {
    Pack pack;
    std::string why;
    if (!readPack(nameOrFolder, &pack, &why)) {
      if (problem) *problem = nameOrFolder + " is no stage pack: it " + why;
      return false;
    }
    // The same pack as one found already is that one; another of the same
    // name would mix their progress.
    for (const Pack& p : packState.packs)
      if (samePackName(p.info.name, pack.info.name) && p.folder != pack.folder) {
        if (problem) *problem = nameOrFolder + " holds a pack named " + pack.info.name + ", as " +
                                (p.builtIn ? std::string("the built-in one") : p.folder) + " does";
        return false;
      }
    index = packIndex(pack.info.name);
    if (index < 0) {
      packState.packs.push_back(pack);
      index = static_cast<int>(packState.packs.size()) - 1;
    }
  }
  if (index < 0) {
    std::string names;
    for (const Pack& p : packState.packs) names += (names.empty() ? "" : ", ") + p.info.name;
    if (problem) *problem = "there is no pack " + nameOrFolder + " (there are: " + names + ")";
    return false;
  }
  choosePack(index);
  return true;
}

int packStageCount() { return currentPack().stageCount; }

std::string stagePathIn(const std::string& folder, int stage) {
  char name[32];
  std::snprintf(name, sizeof name, "map/map%02d.fmf", stage);
  return folder.empty() ? name : folder + "/" + name;
}

std::string replayPathIn(const std::string& folder, int stage) {
  char name[32];
  std::snprintf(name, sizeof name, "replay/%02d.dat", stage);
  return folder.empty() ? name : folder + "/" + name;
}

std::string packStagePath(int stage) { return stagePathIn(currentPack().folder, stage); }
std::string packReplayPath(int stage) { return replayPathIn(currentPack().folder, stage); }

std::string packRecordingFolder() {
  const Pack& p = currentPack();
  return p.builtIn ? "" : packFolderName(p.info.name) + "/";
}

// ---- The player's own packs ------------------------------------------------
bool ownPack(const Pack& pack) { return !pack.builtIn && insideFolder(pack.folder, packState.userPacks); }

bool anyOwnPack() {
  for (const Pack& p : packState.packs)
    if (ownPack(p)) return true;
  return false;
}

std::string ownPackFolder(const std::string& folderName) {
  if (packState.userPacks.empty() || folderName.empty() || folderName[0] == '.' ||
      folderName.find('/') != std::string::npos)
    return "";
  return packState.userPacks + "/" + folderName;
}

bool ownPackStageOfPath(const std::string& path, std::string* folderName, int* stage) {
  if (!insideFolder(path, packState.userPacks)) return false;
  const std::string rest = path.substr(packState.userPacks.size() + 1);
  const size_t slash = rest.find('/');
  if (slash == std::string::npos || slash == 0) return false;
  const std::string name = rest.substr(slash + 1);
  // "map/mapNN.fmf", NN from 01 to 99.
  if (name.size() != 13 || name.compare(0, 7, "map/map") != 0 || name.compare(9, 4, ".fmf") != 0) return false;
  const int n = stageOf(name.substr(7, 2));
  if (n < 1 || n > MostPackStages || ownPackFolder(rest.substr(0, slash)).empty()) return false;
  *folderName = rest.substr(0, slash);
  *stage = n;
  return true;
}

bool ensurePackIni(const std::string& folder, const std::string& name, std::string* why) {
  PackInfo existing;
  if (readPackIni(folder, &existing, nullptr)) return true;
  // The author as the system knows the player, where pack.ini can keep it.
  const char* user = sysGetEnv("USER");
  const std::string author = user && std::strlen(user) <= MostPackField && plainText(user) ? user : "";
  return writePackIni(folder, PackInfo{name, author, "", "1", ""}, why);
}

bool writePackStage(const std::string& folder, int stage, const uint8_t* image, std::string* why,
                    std::string* textWhy) {
  const std::string path = stagePathIn(folder, stage);
  if (!sysWriteFileAtomic(path.c_str(), image, StageMapSize, why)) return false;
  // What an import proved was of the pack as it came.
  sysRemoveFile((folder + "/verified").c_str());
  std::string text, error;
  const std::string textPath = path.substr(0, path.size() - 4) + ".txt";
  if (!decompileStage(image, &text, &error)) {
    if (textWhy) *textWhy = error;
    sysRemoveFile(textPath.c_str());  // an old text would stand for another stage
    return true;
  }
  if (!sysWriteFileAtomic(textPath.c_str(), text.data(), text.size(), &error) && textWhy) *textWhy = error;
  return true;
}

bool writePackReplay(const std::string& folder, int stage, const uint8_t* bytes, size_t n, std::string* why) {
  if (!sysWriteFileAtomic(replayPathIn(folder, stage).c_str(), bytes, n, why)) return false;
  sysRemoveFile((folder + "/verified").c_str());
  return true;
}

bool removePackReplay(const std::string& folder, int stage) {
  const std::string path = replayPathIn(folder, stage);
  if (!sysPathExists(path.c_str())) return true;
  sysRemoveFile((folder + "/verified").c_str());
  return sysRemoveFile(path.c_str());
}

// ---- The verdict of an import ------------------------------------------------
namespace {
constexpr size_t MostVerdictFile = 8192;

int onVerdictEntry(void* user, const char* section, const char* name, const char* value) {
  PackVerdict& v = *static_cast<PackVerdict*>(user);
  const int stage = stageOf(name);
  // A stage said twice is as damaged as one unsaid.
  if (std::strcmp(section, "verified") != 0 || stage < 1 || stage > v.stages ||
      v.outcome[static_cast<size_t>(stage)] != PackVerdict::Unknown) {
    v.known = false;
    return 0;
  }
  const std::string text = value;
  if (text == "fails") {
    v.outcome[static_cast<size_t>(stage)] = PackVerdict::Fails;
  } else if (text == "none") {
    v.outcome[static_cast<size_t>(stage)] = PackVerdict::NoSolution;
  } else {
    char* end = nullptr;
    const long clicks = std::strtol(value, &end, 10);
    if (text.empty() || *end != '\0' || clicks < 0 || clicks > 3600) {
      v.known = false;
      return 0;
    }
    v.outcome[static_cast<size_t>(stage)] = PackVerdict::Cleared;
    v.clicks[static_cast<size_t>(stage)] = static_cast<int>(clicks);
  }
  return 1;
}
}  // namespace

int PackVerdict::verified() const {
  int n = 0;
  for (int stage = 1; stage <= stages; ++stage) n += outcome[static_cast<size_t>(stage)] == Cleared;
  return n;
}

bool parsePackVerdict(const std::string& text, PackVerdict* out) {
  *out = PackVerdict{};
  // The first line names the number of stages, so that every stage is said.
  int stages = 0;
  if (std::sscanf(text.c_str(), "; stages %d", &stages) != 1 || stages < 1 || stages > MostPackStages ||
      text.find('\0') != std::string::npos)
    return false;
  out->stages = stages;
  out->known = true;
  if (ini_parse_string(text.c_str(), onVerdictEntry, out) != 0) out->known = false;
  for (int stage = 1; out->known && stage <= stages; ++stage)
    if (out->outcome[static_cast<size_t>(stage)] == PackVerdict::Unknown) out->known = false;
  if (!out->known) *out = PackVerdict{};
  return out->known;
}

std::string formatPackVerdict(const PackVerdict& v) {
  std::string text = "; stages " + std::to_string(v.stages) + ", each solution replayed at the import\n[verified]\n";
  char line[32];
  for (int stage = 1; stage <= v.stages; ++stage) {
    const auto s = static_cast<size_t>(stage);
    if (v.outcome[s] == PackVerdict::Cleared) std::snprintf(line, sizeof line, "%02d = %d\n", stage, v.clicks[s]);
    else std::snprintf(line, sizeof line, "%02d = %s\n", stage, v.outcome[s] == PackVerdict::Fails ? "fails" : "none");
    text += line;
  }
  return text;
}

PackVerdict readPackVerdict(const std::string& folder) {
  PackVerdict v;
  std::vector<uint8_t> bytes;
  std::string why;
  if (folder.empty() ||
      sysReadWholeFile((folder + "/verified").c_str(), MostVerdictFile, &bytes, &why) != SysReadOk)
    return v;
  parsePackVerdict(std::string(bytes.begin(), bytes.end()), &v);
  return v;
}

std::string verdictLine(const PackVerdict& v, int stage) {
  char line[80];
  const auto s = static_cast<size_t>(stage);
  switch (stage >= 1 && stage <= MostPackStages ? v.outcome[s] : static_cast<uint8_t>(PackVerdict::Unknown)) {
    case PackVerdict::Cleared:
      std::snprintf(line, sizeof line, "stage %02d: cleared by its solution in %d click%s", stage, v.clicks[s],
                    v.clicks[s] == 1 ? "" : "s");
      break;
    case PackVerdict::Fails: std::snprintf(line, sizeof line, "stage %02d: its solution does not clear it", stage); break;
    case PackVerdict::NoSolution: std::snprintf(line, sizeof line, "stage %02d: no solution", stage); break;
    default: std::snprintf(line, sizeof line, "stage %02d: not verified", stage); break;
  }
  return line;
}

std::string verdictSummary(const PackVerdict& v) {
  return "verified: " + std::to_string(v.verified()) + " of " + std::to_string(v.stages);
}
