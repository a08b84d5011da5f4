// Sharing packs: archives read and written in memory through libarchive (the
// files themselves go through the platform), every member checked before
// anything is written, and an import installed by renaming a finished folder
// into place.
#include "pack/share.h"

#include <archive.h>
#include <archive_entry.h>

#include <cctype>
#include <cstring>

#include "platform/platform.h"
#include "world/world.h"

namespace {
constexpr size_t MostName = 200;
constexpr int MostDepth = 3;  // "top/map/map01.fmf"
constexpr time_t ExportTime = 946684800;  // 2000-01-01: the same pack gives the same archive

bool refuse(std::string* problem, const std::string& why) {
  if (problem) *problem = why;
  return false;
}

// A member's name: plain parts of letters, digits, '.', '-', '_' and blanks,
// never "." or "..", never absolute, at most three deep.
bool plainMemberName(const std::string& name, std::string* clean, bool* folder) {
  if (name.empty() || name.size() > MostName || name[0] == '/') return false;
  std::string n = name;
  if (n == "." || n == "./") {  // tar's entry for the folder it was made in
    *folder = true;
    return true;
  }
  if (n.rfind("./", 0) == 0) n = n.substr(2);  // and "./top/..." is "top/..."
  *folder = !n.empty() && n.back() == '/';
  if (*folder) n.pop_back();
  if (n.empty()) return false;
  int depth = 0;
  size_t start = 0;
  while (start <= n.size()) {
    size_t end = n.find('/', start);
    if (end == std::string::npos) end = n.size();
    const std::string part = n.substr(start, end - start);
    if (part.empty() || part == "." || part == ".." || ++depth > MostDepth) return false;
    for (unsigned char c : part)
      if (!std::isalnum(c) && c != '.' && c != '-' && c != '_' && c != ' ') return false;
    start = end + 1;
  }
  *clean = n;
  return true;
}

struct Reading {
  PackFiles* out;
  size_t total = 0;
  size_t entries = 0;
};

// One member's bytes, checked against the limits; false with the reason.
bool takeMember(Reading& r, const std::string& rawName, bool isFolder, std::vector<uint8_t> bytes,
                std::string* problem) {
  if (++r.entries > MostPackEntries) return refuse(problem, "it has more than " + std::to_string(MostPackEntries) + " members");
  std::string name;
  bool trailingSlash = false;
  if (!plainMemberName(rawName, &name, &trailingSlash))
    return refuse(problem, "the member name '" + rawName.substr(0, MostName) +
                               "' is not a plain name inside the pack (no '..', no absolute name, plain characters)");
  if (isFolder || trailingSlash) return true;  // folders come from the files' names
  r.total += bytes.size();
  if (r.total > MostPackBytes) return refuse(problem, "its files come to more than " + std::to_string(MostPackBytes >> 20) + " MiB");
  if (!r.out->files.emplace(name, std::move(bytes)).second) return refuse(problem, name + " is in it twice");
  return true;
}

struct ArchiveCloser {
  archive* a;
  ~ArchiveCloser() { archive_read_free(a); }
};

bool isStageName(const std::string& name, const char* prefix, const char* suffix, int* stage) {
  const size_t p = std::strlen(prefix), s = std::strlen(suffix);
  if (name.size() != p + 2 + s || name.compare(0, p, prefix) != 0 || name.compare(p + 2, s, suffix) != 0) return false;
  const char a = name[p], b = name[p + 1];
  if (!std::isdigit(static_cast<unsigned char>(a)) || !std::isdigit(static_cast<unsigned char>(b))) return false;
  *stage = (a - '0') * 10 + (b - '0');
  return *stage >= 1 && *stage <= MostPackStages;
}
}  // namespace

bool readPackArchive(const uint8_t* data, size_t size, PackFiles* out, std::string* problem) {
  *out = PackFiles{};
  if (size > MostArchiveBytes) return refuse(problem, "it is larger than " + std::to_string(MostArchiveBytes >> 20) + " MiB");
  archive* a = archive_read_new();
  ArchiveCloser closer{a};
  archive_read_support_filter_gzip(a);
  archive_read_support_format_zip(a);
  archive_read_support_format_tar(a);
  if (archive_read_open_memory(a, data, size) != ARCHIVE_OK)
    return refuse(problem, std::string("it is no .zip or .tar.gz archive (") + (archive_error_string(a) ? archive_error_string(a) : "unknown") + ")");
  Reading r{out};
  for (;;) {
    archive_entry* entry = nullptr;
    const int got = archive_read_next_header(a, &entry);
    if (got == ARCHIVE_EOF) break;
    if (got != ARCHIVE_OK) {
      const char* why = archive_error_string(a);
      return refuse(problem, std::string("it is damaged (") + (why ? why : "a member cannot be read") + ")");
    }
    const char* raw = archive_entry_pathname(entry);
    const std::string name = raw ? raw : "";
    const mode_t type = archive_entry_filetype(entry);
    if (archive_entry_hardlink(entry) || archive_entry_symlink(entry) || (type != AE_IFREG && type != AE_IFDIR))
      return refuse(problem, "the member '" + name.substr(0, MostName) + "' is a link or no plain file");
    std::vector<uint8_t> bytes;
    if (type == AE_IFREG) {
      const int64_t declared = archive_entry_size_is_set(entry) ? archive_entry_size(entry) : -1;
      if (declared > static_cast<int64_t>(MostPackBytes))
        return refuse(problem, "the member '" + name.substr(0, MostName) + "' is too large");
      uint8_t chunk[16384];
      for (;;) {
        const la_ssize_t n = archive_read_data(a, chunk, sizeof chunk);
        if (n == 0) break;
        if (n < 0) {
          const char* why = archive_error_string(a);
          return refuse(problem, "the member '" + name.substr(0, MostName) + "' cannot be read (" + (why ? why : "damaged") + ")");
        }
        if (bytes.size() + static_cast<size_t>(n) > MostPackBytes)
          return refuse(problem, "the member '" + name.substr(0, MostName) + "' is too large");
        bytes.insert(bytes.end(), chunk, chunk + n);
      }
      if (declared >= 0 && static_cast<int64_t>(bytes.size()) != declared)
        return refuse(problem, "the member '" + name.substr(0, MostName) + "' is not the size its header gives");
    }
    if (!takeMember(r, name, type == AE_IFDIR, std::move(bytes), problem)) return false;
  }
  return true;
}

bool readPackFolder(const std::string& folder, PackFiles* out, std::string* problem) {
  *out = PackFiles{};
  Reading r{out};
  struct Walk {
    static bool folderIn(Reading& r, const std::string& root, const std::string& relative, int depth, std::string* problem) {
      std::vector<SysFolderEntry> entries;
      std::string why;
      const std::string here = relative.empty() ? root : root + "/" + relative;
      if (!sysListFolder(here.c_str(), &entries, &why)) return refuse(problem, here + " " + why);
      for (const SysFolderEntry& e : entries) {
        const std::string name = relative.empty() ? e.name : relative + "/" + e.name;
        if (e.kind == SysFolderEntry::Other) return refuse(problem, name + " is a link or no plain file");
        if (e.kind == SysFolderEntry::Folder) {
          if (depth >= MostDepth) return refuse(problem, name + " lies too deep for a pack");
          if (!takeMember(r, name + "/", true, {}, problem) || !folderIn(r, root, name, depth + 1, problem)) return false;
          continue;
        }
        if (e.size > MostPackBytes) return refuse(problem, name + " is too large");
        std::vector<uint8_t> bytes;
        const std::string path = root + "/" + name;
        if (sysReadWholeFile(path.c_str(), MostPackBytes + 1, &bytes, &why) != SysReadOk) return refuse(problem, name + " " + why);
        if (bytes.size() > MostPackBytes) return refuse(problem, name + " is too large");
        if (!takeMember(r, name, false, std::move(bytes), problem)) return false;
      }
      return true;
    }
  };
  if (!sysIsDirectory(folder.c_str())) return refuse(problem, "it is no folder");
  return Walk::folderIn(r, folder, "", 1, problem);
}

std::string stageFileProblem(const std::vector<uint8_t>& image) {
  if (image.size() != StageMapSize)
    return "is " + std::to_string(image.size()) + " bytes long; a stage file has " + std::to_string(StageMapSize);
  int starts = 0;
  for (int i = 0; i < GridRows * GridColumns; ++i) {
    const int tile = image[TileLayerOffset + i];
    if (tile != 0 && tileKind[tile] == 0 && tileClass[tile] == 0)
      return "has the unknown tile code " + std::to_string(tile) + " at row " + std::to_string(i / GridColumns) +
             " column " + std::to_string(i % GridColumns);
    const int object = image[ObjectLayerOffset + i];
    if (object == StartFacingLeft || object == StartFacingRight) {
      if (i == 0) return "has its walker start in the top-left cell, where the game cannot see it";
      ++starts;
    } else if (object != 0 && (object < FirstHazardCode || object > LastHazardCode)) {
      return "has the unknown object code " + std::to_string(object) + " at row " + std::to_string(i / GridColumns) +
             " column " + std::to_string(i % GridColumns);
    }
  }
  if (starts != 1) return "has " + std::to_string(starts) + " walker starts; a stage has one";
  return "";
}

bool checkPackFiles(PackFiles* pack, std::string* problem) {
  auto& files = pack->files;
  // One folder holding the pack, as --export writes it, or its files at the top.
  if (!files.count("pack.ini") && !files.empty()) {
    const std::string first = files.begin()->first;
    const std::string top = first.substr(0, first.find('/') + 1);
    bool oneFolder = top.size() > 1 && top.back() == '/';
    for (const auto& [name, bytes] : files) oneFolder = oneFolder && name.rfind(top, 0) == 0;
    if (oneFolder && files.count(top + "pack.ini")) {
      std::map<std::string, std::vector<uint8_t>> inner;
      for (auto& [name, bytes] : files) inner.emplace(name.substr(top.size()), std::move(bytes));
      files.swap(inner);
    }
  }
  // A verdict that came along is made anew by this import.
  files.erase("verified");
  auto ini = files.find("pack.ini");
  if (ini == files.end()) return refuse(problem, "it has no pack.ini, at the top or in one folder");
  std::string why;
  if (!parsePackIni(std::string(ini->second.begin(), ini->second.end()), &pack->info, &why)) return refuse(problem, why);
  bool stage[MostPackStages + 2] = {};
  bool solution[MostPackStages + 2] = {}, text[MostPackStages + 2] = {};
  for (const auto& [name, bytes] : files) {
    int n = 0;
    if (name == "pack.ini") continue;
    if (isStageName(name, "map/map", ".fmf", &n)) {
      const std::string bad = stageFileProblem(bytes);
      if (!bad.empty()) return refuse(problem, name + " " + bad);
      stage[n] = true;
    } else if (isStageName(name, "replay/", ".dat", &n)) {
      if (bytes.size() > MostReplayBytes)
        return refuse(problem, name + " is " + std::to_string(bytes.size()) + " bytes long; a solution has at most " +
                                   std::to_string(MostReplayBytes));
      solution[n] = true;
    } else if (isStageName(name, "map/map", ".txt", &n)) {
      if (bytes.size() > MostTextForm) return refuse(problem, name + " is longer than a stage's text form can be");
      if (std::memchr(bytes.data(), 0, bytes.size())) return refuse(problem, name + " is no text");
      text[n] = true;
    } else {
      return refuse(problem, "it holds " + name + ", which is no file of a pack");
    }
  }
  int n = 0;
  while (n < MostPackStages && stage[n + 1]) ++n;
  if (n == 0) return refuse(problem, "it has no map/map01.fmf");
  for (int s = n + 1; s <= MostPackStages; ++s) {
    char name[32];
    if (stage[s]) std::snprintf(name, sizeof name, "map/map%02d.fmf", s);
    else if (solution[s]) std::snprintf(name, sizeof name, "replay/%02d.dat", s);
    else if (text[s]) std::snprintf(name, sizeof name, "map/map%02d.txt", s);
    else continue;
    return refuse(problem, std::string(name) + " belongs to no stage: the stages run from 01 to " +
                               (n < 10 ? "0" : "") + std::to_string(n) + " without a gap");
  }
  pack->stages = n;
  return true;
}

namespace {
struct TempFolder {
  std::string path;
  ~TempFolder() {
    if (!path.empty()) sysRemoveTree(path.c_str());
  }
};

int refuseImport(const std::string& source, const std::string& why) {
  std::fprintf(stderr, "wendlop: %s is not imported: %s\n", source.c_str(), why.c_str());
  return 1;
}

bool endsWith(const std::string& s, const char* tail) {
  const size_t n = std::strlen(tail);
  return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}
}  // namespace

int importPack(const std::string& source, bool replace, FILE* out) {
  PackFiles pack;
  std::string why;
  if (sysIsDirectory(source.c_str())) {
    if (!readPackFolder(source, &pack, &why)) return refuseImport(source, why);
  } else {
    std::vector<uint8_t> bytes;
    switch (sysReadWholeFile(source.c_str(), MostArchiveBytes + 1, &bytes, &why)) {
      case SysReadOk: break;
      default: return refuseImport(source, "it " + why);
    }
    if (!readPackArchive(bytes.data(), bytes.size(), &pack, &why)) return refuseImport(source, why);
  }
  if (!checkPackFiles(&pack, &why)) return refuseImport(source, why);

  const std::string& name = pack.info.name;
  const int existing = packIndex(name);
  if (existing >= 0 && packState.packs[static_cast<size_t>(existing)].builtIn)
    return refuseImport(source, "its name " + name + " is the built-in pack's");
  if (existing >= 0 && packState.packs[static_cast<size_t>(existing)].installed)
    return refuseImport(source, "a pack named " + name + " is installed with the game");
  if (existing >= 0 && !replace)
    return refuseImport(source, "a pack named " + name + " is there already (--replace puts this one in its place)");
  if (packState.userPacks.empty())
    return refuseImport(source, "neither XDG_DATA_HOME nor HOME names a folder to keep packs in");
  const std::string target = existing >= 0 ? packState.packs[static_cast<size_t>(existing)].folder
                                           : packState.userPacks + "/" + packFolderName(name);
  if (existing < 0 && sysPathExists(target.c_str()))
    return refuseImport(source, target + " is in the way, and holds no pack of that name");

  // Unpacked and replayed in a hidden folder beside the packs, then renamed
  // into place: a pack is there whole or not at all.
  TempFolder temp;
  temp.path = sysMakeTempFolder(packState.userPacks.c_str(), ".import-", &why);
  if (temp.path.empty()) return refuseImport(source, packState.userPacks + " " + why);
  for (const auto& [file, bytes] : pack.files) {
    if (!sysWriteFileAtomic((temp.path + "/" + file).c_str(), bytes.data(), bytes.size(), &why))
      return refuseImport(source, temp.path + "/" + file + " " + why);
  }
  Pack unpacked;
  if (!readPack(temp.path, &unpacked, &why) || unpacked.stageCount != pack.stages)
    return refuseImport(source, "it does not read back as written (" + why + ")");
  const PackVerdict verdict = verifyPack(unpacked, out);
  const std::string verdictText = formatPackVerdict(verdict);
  if (!sysWriteFileAtomic((temp.path + "/verified").c_str(), verdictText.data(), verdictText.size(), &why))
    return refuseImport(source, temp.path + "/verified " + why);

  TempFolder old;
  if (existing >= 0) {
    old.path = sysMakeTempFolder(packState.userPacks.c_str(), ".replaced-", &why);
    if (old.path.empty() || !sysRenameNew(target.c_str(), (old.path + "/pack").c_str(), &why))
      return refuseImport(source, target + " " + why);
  }
  if (!sysRenameNew(temp.path.c_str(), target.c_str(), &why)) {
    if (existing >= 0) sysRenameNew((old.path + "/pack").c_str(), target.c_str(), nullptr);
    return refuseImport(source, target + " " + why);
  }
  temp.path.clear();
  if (out) std::fprintf(out, "installed %s (%d stages) in %s\n", name.c_str(), pack.stages, target.c_str());
  return 0;
}

bool writePackArchive(const PackFiles& pack, const std::string& top, bool zip, std::vector<uint8_t>* out,
                      std::string* problem) {
  out->clear();
  archive* a = archive_write_new();
  struct Closer {
    archive* a;
    ~Closer() { archive_write_free(a); }
  } closer{a};
  if (zip) {
    archive_write_set_format_zip(a);
  } else {
    archive_write_set_format_pax_restricted(a);
    archive_write_add_filter_gzip(a);
    // No time in the gzip header: the same pack gives the same bytes.
    archive_write_set_options(a, "gzip:!timestamp");
  }
  archive_write_set_bytes_in_last_block(a, 1);
  auto write = [](archive*, void* user, const void* buffer, size_t n) -> la_ssize_t {
    auto* bytes = static_cast<std::vector<uint8_t>*>(user);
    bytes->insert(bytes->end(), static_cast<const uint8_t*>(buffer), static_cast<const uint8_t*>(buffer) + n);
    return static_cast<la_ssize_t>(n);
  };
  if (archive_write_open2(a, out, nullptr, write, nullptr, nullptr) != ARCHIVE_OK)
    return refuse(problem, archive_error_string(a) ? archive_error_string(a) : "the archive cannot be begun");
  for (const auto& [name, bytes] : pack.files) {
    archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname(entry, (top + "/" + name).c_str());
    archive_entry_set_filetype(entry, AE_IFREG);
    archive_entry_set_perm(entry, 0644);
    archive_entry_set_size(entry, static_cast<la_int64_t>(bytes.size()));
    archive_entry_set_mtime(entry, ExportTime, 0);
    const bool ok = archive_write_header(a, entry) == ARCHIVE_OK &&
                    (bytes.empty() || archive_write_data(a, bytes.data(), bytes.size()) == static_cast<la_ssize_t>(bytes.size()));
    archive_entry_free(entry);
    if (!ok) return refuse(problem, archive_error_string(a) ? archive_error_string(a) : "a member cannot be written");
  }
  if (archive_write_close(a) != ARCHIVE_OK)
    return refuse(problem, archive_error_string(a) ? archive_error_string(a) : "the archive cannot be finished");
  return true;
}

int exportPack(const std::string& name, const std::string& file, FILE* out) {
  auto fail = [&](const std::string& why) {
    std::fprintf(stderr, "wendlop: %s is not exported: %s\n", name.c_str(), why.c_str());
    return 1;
  };
  const bool zip = endsWith(file, ".zip");
  if (!zip && !endsWith(file, ".tar.gz") && !endsWith(file, ".tgz"))
    return fail(file + " must end in .zip or .tar.gz");
  int index = packIndex(name);
  Pack byFolder;
  std::string why;
  if (index < 0 && sysIsDirectory(name.c_str()) && readPack(name, &byFolder, &why)) {
    packState.packs.push_back(byFolder);
    index = static_cast<int>(packState.packs.size()) - 1;
  }
  if (index < 0) return fail("there is no such pack");
  const Pack& pack = packState.packs[static_cast<size_t>(index)];
  if (pack.builtIn) return fail("the built-in stages come with every game");
  // Only what makes the pack: its verdict is made anew by each import.
  PackFiles files;
  auto take = [&](const std::string& relative, bool needed) {
    std::vector<uint8_t> bytes;
    const SysReadResult read = sysReadWholeFile((pack.folder + "/" + relative).c_str(), MostPackBytes + 1, &bytes, &why);
    if (read == SysReadMissing && !needed) return true;
    if (read != SysReadOk) {
      why = relative + " " + why;
      return false;
    }
    files.files.emplace(relative, std::move(bytes));
    return true;
  };
  if (!take("pack.ini", true)) return fail(why);
  for (int s = 1; s <= pack.stageCount; ++s) {
    char stage[32], text[32], solution[32];
    std::snprintf(stage, sizeof stage, "map/map%02d.fmf", s);
    std::snprintf(text, sizeof text, "map/map%02d.txt", s);
    std::snprintf(solution, sizeof solution, "replay/%02d.dat", s);
    if (!take(stage, true) || !take(text, false) || !take(solution, false)) return fail(why);
  }
  // What is sent is what an import takes.
  PackFiles checked = files;
  if (!checkPackFiles(&checked, &why)) return fail(why);
  std::vector<uint8_t> archiveBytes;
  if (!writePackArchive(files, packFolderName(pack.info.name), zip, &archiveBytes, &why)) return fail(why);
  if (!sysWriteFileAtomic(file.c_str(), archiveBytes.data(), archiveBytes.size(), &why)) return fail(file + " " + why);
  if (out)
    std::fprintf(out, "exported %s (%d stages, %zu files) to %s\n", pack.info.name.c_str(), pack.stageCount,
                 files.files.size(), file.c_str());
  return 0;
}

int packCommand(const char* importSource, bool replace, const char* exportName, const char* exportFile) {
  sysSetHeadless(true);
  // Paths given on the command line are meant from where the game was started;
  // a pack to export is named, or given by its folder.
  const std::string source = importSource ? sysAbsolutePath(importSource) : "";
  const std::string file = exportFile ? sysAbsolutePath(exportFile) : "";
  const std::string name = !exportName ? "" : sysIsDirectory(exportName) ? sysAbsolutePath(exportName) : exportName;
  std::string looked;
  const char* data = sysFindDataFolder(&looked);
  if (!data || !sysChangeDirectory(data)) {
    std::fprintf(stderr, "wendlop: cannot find the game's data folder (looked in %s; set WENDLOP_DATA to it)\n",
                 data ? data : looked.c_str());
    return 1;
  }
  const char* user = sysUserDataFolder();
  findPacks(sysAbsolutePath("packs"), user ? std::string(user) + "/packs" : "");
  return importSource ? importPack(source, replace, stdout) : exportPack(name, file, stdout);
}
