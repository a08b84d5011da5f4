// Clock, files, environment and folders on POSIX.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "platform/platform.h"

namespace {
bool headless = false;
uint32_t fakeTicks = 0;
}  // namespace

void sysSetHeadless(bool on) { headless = on; }
bool sysIsHeadless() { return headless; }

uint32_t sysTicks() {
  if (headless) return fakeTicks;
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
  return static_cast<uint32_t>(ms.count());
}

void sysSleep(uint32_t ms) {
  if (headless) return;
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void sysSetFakeTicks(uint32_t ticks) { fakeTicks = ticks; }
void sysAdvanceFakeTicks(uint32_t ms) { fakeTicks += ms; }

struct SysFile {
  FILE* f;
};

SysFile* sysOpenRead(const char* path) {
  if (!path) return nullptr;
  FILE* f = std::fopen(path, "rb");
  if (!f) return nullptr;
  struct stat st;
  // A folder opens under Linux but reads fail; treat it as missing.
  if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) {
    std::fclose(f);
    return nullptr;
  }
  return new SysFile{f};
}

int sysRead(SysFile* file, void* buffer, int n) {
  if (!file || n < 0) return -1;
  if (n == 0) return 0;
  size_t got = std::fread(buffer, 1, static_cast<size_t>(n), file->f);
  if (got == 0 && std::ferror(file->f)) return -1;
  return static_cast<int>(got);
}

bool sysSeek(SysFile* file, long offset) {
  return file && offset >= 0 && std::fseek(file->f, offset, SEEK_SET) == 0;
}

void sysClose(SysFile* file) {
  if (!file) return;
  std::fclose(file->f);
  delete file;
}

long sysReadFile(const char* path, void* buffer, size_t capacity) {
  SysFile* f = sysOpenRead(path);
  if (!f) return -1;
  size_t total = 0;
  auto* out = static_cast<unsigned char*>(buffer);
  while (total < capacity) {
    size_t want = capacity - total;
    int chunk = want > (1u << 30) ? (1 << 30) : static_cast<int>(want);
    int got = sysRead(f, out + total, chunk);
    if (got <= 0) break;
    total += static_cast<size_t>(got);
  }
  sysClose(f);
  return static_cast<long>(total);
}

static bool makeFolders(const std::string& folder) {
  if (folder.empty()) return true;
  std::string part;
  for (size_t i = 0; i <= folder.size(); ++i) {
    if (i == folder.size() || folder[i] == '/') {
      part = folder.substr(0, i);
      if (!part.empty() && mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
  }
  return sysIsDirectory(folder.c_str());
}

bool sysWriteFileAtomic(const char* path, const void* data, size_t n) {
  if (!path || !*path) return false;
  std::string target(path);
  size_t slash = target.rfind('/');
  if (slash != std::string::npos && !makeFolders(target.substr(0, slash))) return false;
  std::string temp = target + ".tmp" + std::to_string(getpid());
  FILE* f = std::fopen(temp.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(data, 1, n, f) == n;
  ok = (std::fflush(f) == 0) && ok;
  ok = (fsync(fileno(f)) == 0) && ok;
  ok = (std::fclose(f) == 0) && ok;
  if (!ok || std::rename(temp.c_str(), target.c_str()) != 0) {
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

bool sysIsDirectory(const char* path) {
  struct stat st;
  return path && stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool sysChangeDirectory(const char* path) { return path && chdir(path) == 0; }

std::string sysAbsolutePath(const char* path) {
  if (!path || path[0] == '/') return path ? path : "";
  char cwd[4096];
  if (!getcwd(cwd, sizeof cwd)) return path;
  return std::string(cwd) + "/" + path;
}

const char* sysGetEnv(const char* name) {
  const char* v = std::getenv(name);
  return (v && *v) ? v : nullptr;
}

// The folder of this program's own file, links resolved; empty if unknown.
static std::string programFolder() {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return "";
  path[n] = 0;
  std::string folder(path);
  folder.resize(folder.rfind('/') == std::string::npos ? 0 : folder.rfind('/'));
  return folder;
}

// "a/b/../c" as "a/c": the program's folder is already free of links, so
// dropping a component for each ".." names the same folder, only shorter.
static std::string withoutDotDot(const std::string& path) {
  std::string out;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string part = path.substr(start, end - start);
    if (part == "..") {
      const size_t slash = out.rfind('/');
      out.resize(slash == std::string::npos ? 0 : slash);
    } else if (!part.empty() && part != ".") {
      out += "/" + part;
    }
    start = end + 1;
  }
  return out.empty() ? "/" : out;
}

const char* sysFindDataFolder(std::string* looked) {
  static std::string found;
  if (const char* fromEnv = sysGetEnv("WENDLOP_DATA")) {
    found = fromEnv;
    if (sysIsDirectory(found.c_str())) return found.c_str();
    if (looked) *looked = "WENDLOP_DATA=" + found;
    return nullptr;
  }
  // Installed, the data is where the build put it relative to the program;
  // a build folder links that place to the source tree's data/.
  const std::string program = programFolder();
  if (!program.empty()) {
    found = withoutDotDot(program + "/" + WENDLOP_DATA_FROM_BINARY);
    if (sysIsDirectory((found + "/map").c_str())) return found.c_str();
    if (looked) *looked = found;
  } else if (looked) {
    *looked = "(the program's own folder is unknown)";
  }
  return nullptr;
}

const char* sysUserDataFolder() {
  static std::string folder;
  if (const char* xdg = sysGetEnv("XDG_DATA_HOME"); xdg && xdg[0] == '/') {
    folder = std::string(xdg) + "/wendlop";
  } else if (const char* home = sysGetEnv("HOME")) {
    folder = std::string(home) + "/.local/share/wendlop";
  } else {
    return nullptr;
  }
  return folder.c_str();
}

const char* sysUserConfigFolder() {
  static std::string folder;
  if (const char* xdg = sysGetEnv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') {
    folder = std::string(xdg) + "/wendlop";
  } else if (const char* home = sysGetEnv("HOME")) {
    folder = std::string(home) + "/.config/wendlop";
  } else {
    return nullptr;
  }
  return folder.c_str();
}
