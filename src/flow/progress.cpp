// Progress in a small INI file, read with inih and written whole.
#include "flow/progress.h"

#include <ini.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/platform.h"

Progress progress;

namespace {
// The file and what this run found out about it.
struct ProgressFile {
  std::string path;         // "" for nowhere
  bool damaged = false;     // read in part: kept aside at the next save
  bool unreadable = false;  // there, but not readable: never written over
  bool toldNotSaved = false;
};
ProgressFile progressFile;
constexpr size_t MaxProgressFile = 64 * 1024;
constexpr size_t MaxSetAside = 16 * 1024 * 1024;  // a damaged file is copied aside whole up to this

struct Parse {
  Progress* out;
  bool damaged = false;
};

// The built-in pack's clears are under [cleared], as they were before there
// were other packs; every other pack's under [pack NAME].
constexpr const char* packSection = "pack ";

int onEntry(void* user, const char* section, const char* name, const char* value) {
  Parse& p = *static_cast<Parse*>(user);
  const bool builtIn = std::strcmp(section, "cleared") == 0;
  const bool ofPack = std::strncmp(section, packSection, 5) == 0 && validPackName(section + 5);
  char* end = nullptr;
  const long stage = std::strtol(name, &end, 10);
  const bool stageOk = end != name && *end == '\0' && stage >= 1 && stage <= (builtIn ? static_cast<int>(LastStage) : static_cast<int>(MostPackStages));
  const long best = std::strtol(value, &end, 10);
  const bool bestOk = end != value && *end == '\0' && best >= 1 && best <= 60;
  if (!(builtIn || ofPack) || !stageOk || !bestOk) {
    p.damaged = true;
    return 1;
  }
  if (builtIn) {
    p.out->bestTime[stage] = static_cast<int>(best);
  } else {
    p.out->packTimes.try_emplace(section + 5, PackTimes{}).first->second[static_cast<size_t>(stage)] =
        static_cast<int>(best);
  }
  return 1;
}

// The slot of `stage` in the pack being played, made when `make`; nullptr
// for a stage the pack does not have.
int* bestTimeSlot(Progress& p, int stage, bool make) {
  const Pack& pack = currentPack();
  if (stage < 1 || stage > pack.stageCount) return nullptr;
  if (pack.builtIn) return stage <= LastStage ? &p.bestTime[stage] : nullptr;
  auto found = p.packTimes.find(pack.info.name);
  if (found == p.packTimes.end()) {
    if (!make) return nullptr;
    found = p.packTimes.try_emplace(pack.info.name, PackTimes{}).first;
  }
  return &found->second[static_cast<size_t>(stage)];
}
}  // namespace

bool parseProgress(const std::string& text, Progress* out) {
  *out = Progress{};
  Parse p{out};
  if (ini_parse_string(text.c_str(), onEntry, &p) != 0) p.damaged = true;
  if (text.find('\0') != std::string::npos) p.damaged = true;
  return !p.damaged;
}

std::string formatProgress(const Progress& p) {
  std::string text = "; Wendlop: the stages cleared, with the most TIME left at a clear.\n[cleared]\n";
  char line[32];
  for (int stage = 1; stage <= LastStage; ++stage) {
    if (p.bestTime[stage] == 0) continue;
    std::snprintf(line, sizeof line, "%02d = %d\n", stage, p.bestTime[stage]);
    text += line;
  }
  for (const auto& [name, times] : p.packTimes) {
    std::string section = "[" + std::string(packSection) + name + "]\n";
    for (int stage = 1; stage <= MostPackStages; ++stage) {
      if (times[static_cast<size_t>(stage)] == 0) continue;
      std::snprintf(line, sizeof line, "%02d = %d\n", stage, times[static_cast<size_t>(stage)]);
      text += section + line;
      section.clear();
    }
  }
  return text;
}

void setProgressFile(const std::string& path) {
  progressFile = ProgressFile{};
  progressFile.path = path;
}

void loadProgress() {
  progress = Progress{};
  progressFile.damaged = false;
  progressFile.unreadable = false;
  if (progressFile.path.empty()) return;
  std::vector<uint8_t> bytes;
  std::string why;
  switch (sysReadWholeFile(progressFile.path.c_str(), MaxProgressFile + 1, &bytes, &why)) {
    case SysReadMissing: return;
    case SysReadFailed:
      // Writing over a file we could not read could throw away every clear in it.
      progressFile.unreadable = true;
      std::fprintf(stderr, "wendlop: %s %s; clears are not saved in this run, so that it is not lost\n",
                   progressFile.path.c_str(), why.c_str());
      return;
    case SysReadOk: break;
  }
  const bool whole = bytes.size() <= MaxProgressFile &&
                     parseProgress(std::string(bytes.begin(), bytes.end()), &progress);
  if (!whole) {
    progressFile.damaged = true;
    std::fprintf(stderr, "wendlop: %s is damaged; what could be read is kept, and the next clear writes it anew\n",
                 progressFile.path.c_str());
  }
}

namespace {
void sayNotSaved(const std::string& why) {
  if (!progressFile.toldNotSaved)
    std::fprintf(stderr, "wendlop: progress not saved: %s %s; the game goes on without\n", progressFile.path.c_str(),
                 why.c_str());
  progressFile.toldNotSaved = true;
}
}  // namespace

int bestTimeOf(int stage) {
  const int* slot = bestTimeSlot(progress, stage, false);
  return slot ? *slot : 0;
}

bool noteClear(int stage, int timeLeft) {
  int* best = bestTimeSlot(progress, stage, true);
  if (!best) return false;
  if (timeLeft > *best) *best = timeLeft;
  if (progressFile.path.empty() || progressFile.unreadable) return false;
  std::string why;
  if (progressFile.damaged) {
    // The damaged file may still mean something to its owner: it is kept
    // whole beside the new one, or the new one is not written.
    const std::string aside = progressFile.path + ".damaged";
    std::vector<uint8_t> bytes;
    const SysReadResult read = sysReadWholeFile(progressFile.path.c_str(), MaxSetAside + 1, &bytes, &why);
    if (read == SysReadOk && bytes.size() > MaxSetAside) {
      sayNotSaved("is too large to keep a copy of");
      return false;
    }
    if (read == SysReadFailed ||
        (read == SysReadOk && !sysWriteFileAtomic(aside.c_str(), bytes.data(), bytes.size(), &why))) {
      sayNotSaved(why);
      return false;
    }
  }
  const std::string text = formatProgress(progress);
  const bool saved = sysWriteFileAtomic(progressFile.path.c_str(), text.data(), text.size(), &why);
  if (saved) {
    progressFile.damaged = false;
  } else {
    sayNotSaved(why);
  }
  return saved;
}

bool anyProgressInAnyPack() {
  for (int stage = 1; stage <= LastStage; ++stage)
    if (progress.bestTime[stage] > 0) return true;
  for (const auto& [name, times] : progress.packTimes)
    for (int time : times)
      if (time > 0) return true;
  return false;
}

bool anyProgress() {
  for (int stage = 1; stage <= packStageCount(); ++stage)
    if (bestTimeOf(stage) > 0) return true;
  return false;
}
