// Clock, files, environment and folders on POSIX.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <system_error>
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

namespace {
// The system's words for an error number; unlike strerror, safe on any thread.
std::string errorText(int error) { return std::error_code(error, std::generic_category()).message(); }

int openNoInterrupt(const char* path, int flags, mode_t mode = 0) {
  int fd;
  do fd = open(path, flags, mode);
  while (fd < 0 && errno == EINTR);
  return fd;
}
}  // namespace

SysReadResult sysReadWholeFile(const char* path, size_t limit, std::vector<uint8_t>* bytes, std::string* why) {
  bytes->clear();
  if (!path || !*path) {
    *why = "is missing";
    return SysReadMissing;
  }
  // Non-blocking only for the open: a named pipe would otherwise hold the game
  // until something writes to it.
  const int fd = openNoInterrupt(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    const int error = errno;
    if (error == ENOENT) {
      *why = "is missing";
      return SysReadMissing;
    }
    *why = "cannot be read (" + errorText(error) + ")";
    return SysReadFailed;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const bool folder = S_ISDIR(st.st_mode);
    close(fd);
    *why = folder ? "is a folder, not a file" : "is not a plain file";
    return SysReadFailed;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  // The size is only a hint for the first allocation: the file may change
  // while it is read, and a hostile size must not set the allocation.
  const size_t hinted = st.st_size > 0 ? static_cast<size_t>(st.st_size) : 0;
  bytes->reserve(std::min(hinted, limit));
  uint8_t chunk[65536];
  while (bytes->size() < limit) {
    const size_t want = std::min(sizeof chunk, limit - bytes->size());
    const ssize_t got = read(fd, chunk, want);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      const int error = errno;
      close(fd);
      bytes->clear();
      *why = "cannot be read (" + errorText(error) + ")";
      return SysReadFailed;
    }
    if (got == 0) break;
    bytes->insert(bytes->end(), chunk, chunk + got);
  }
  close(fd);
  return SysReadOk;
}

long sysReadFile(const char* path, void* buffer, size_t capacity) {
  std::vector<uint8_t> bytes;
  std::string why;
  if (sysReadWholeFile(path, capacity, &bytes, &why) != SysReadOk) return -1;
  if (!bytes.empty()) std::memcpy(buffer, bytes.data(), bytes.size());
  return static_cast<long>(bytes.size());
}

bool sysMakeFolders(const std::string& folder) {
  for (size_t i = 1; i <= folder.size(); ++i) {
    if (i != folder.size() && folder[i] != '/') continue;
    const std::string part = folder.substr(0, i);
    if (mkdir(part.c_str(), 0755) == 0) continue;
    if (errno != EEXIST) return false;
    if (!sysIsDirectory(part.c_str())) {
      errno = ENOTDIR;
      return false;
    }
  }
  return true;
}

static bool writeAll(int fd, const uint8_t* data, size_t n) {
  while (n > 0) {
    const ssize_t put = write(fd, data, n);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      if (put == 0) errno = EIO;
      return false;
    }
    data += put;
    n -= static_cast<size_t>(put);
  }
  return true;
}

// One fixed temporary name per file, so that a save killed before its rename
// leaves one stale temporary file that the next save takes over, never a
// growing heap of them. Two writers of the same file (two games recording
// the same stage) take turns through a lock on the temporary file: a writer
// that gets the lock on a file that has meanwhile been renamed into place,
// or removed, opens the temporary name afresh, so it never truncates what
// another writer has just published.
bool sysWriteFileAtomic(const char* path, const void* data, size_t n, std::string* why) {
  auto fail = [why](const std::string& what, int error) {
    if (why) *why = what + " (" + errorText(error) + ")";
    return false;
  };
  if (!path || !*path) return fail("cannot be written", ENOENT);
  const std::string target(path);
  const size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : target.substr(0, slash));
  if (slash != std::string::npos && !sysMakeFolders(target.substr(0, slash)))
    return fail("cannot be written: its folder cannot be made", errno);
  const std::string temp = target + ".tmp";
  int fd = -1;
  for (int attempt = 0; fd < 0; ++attempt) {
    if (attempt == 100) return fail("cannot be written", EBUSY);
    fd = openNoInterrupt(temp.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0) return fail("cannot be written", errno);
    int locked;
    do locked = flock(fd, LOCK_EX);
    while (locked != 0 && errno == EINTR);
    struct stat held, named;
    if (locked != 0 || fstat(fd, &held) != 0) {
      const int error = errno;
      close(fd);
      return fail("cannot be written", error);
    }
    if (stat(temp.c_str(), &named) != 0 || named.st_ino != held.st_ino || named.st_dev != held.st_dev) {
      close(fd);  // another writer published or removed it meanwhile
      fd = -1;
    }
  }
  const bool written = ftruncate(fd, 0) == 0 && writeAll(fd, static_cast<const uint8_t*>(data), n) && fsync(fd) == 0 &&
                       std::rename(temp.c_str(), target.c_str()) == 0;
  if (!written) {
    const int error = errno;
    unlink(temp.c_str());
    close(fd);
    return fail("cannot be written", error);
  }
  // The new name reaches the disc with the folder's own entry: without this a
  // power cut can bring back the old file, or none.
  const int dir = openNoInterrupt(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  close(fd);
  return true;
}

bool sysFirstReport(const std::string& key) {
  static std::mutex lock;
  static std::set<std::string> reported;
  std::lock_guard<std::mutex> guard(lock);
  return reported.insert(key).second;
}

bool sysIsDirectory(const char* path) {
  struct stat st;
  return path && stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool sysRemoveFile(const char* path) { return path && (unlink(path) == 0 || errno == ENOENT); }

std::vector<std::string> sysListFolder(const char* path) {
  std::vector<std::string> names;
  DIR* dir = path ? opendir(path) : nullptr;
  if (!dir) return names;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
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

namespace {
// The game's data holds at least its stages and its pictures; any other
// folder named as the data would fail later with a reason that misleads.
bool holdsGameData(const std::string& folder) {
  return sysIsDirectory((folder + "/map").c_str()) && sysIsDirectory((folder + "/bmp").c_str());
}

std::string notFound(const std::string& looked) {
  return "cannot find the game's data folder (looked in " + looked + "; set WENDLOP_DATA to it)";
}
}  // namespace

const char* sysFindDataFolder(std::string* problem) {
  static std::string found;
  if (const char* fromEnv = sysGetEnv("WENDLOP_DATA")) {
    found = fromEnv;
    if (!sysIsDirectory(found.c_str())) {
      if (problem) *problem = notFound("WENDLOP_DATA=" + found);
      return nullptr;
    }
    if (holdsGameData(found)) return found.c_str();
    if (problem) *problem = "WENDLOP_DATA=" + found + " is not the game's data folder (it has no map/ and bmp/ in it)";
    return nullptr;
  }
  // Installed, the data is where the build put it relative to the program;
  // a build folder links that place to the source tree's data/.
  const std::string program = programFolder();
  if (!program.empty()) {
    found = withoutDotDot(program + "/" + WENDLOP_DATA_FROM_BINARY);
    if (holdsGameData(found)) return found.c_str();
    if (problem) *problem = notFound(found);
  } else if (problem) {
    *problem = notFound("(the program's own folder is unknown)");
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
