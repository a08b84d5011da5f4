// Folder trees: listing, temporary folders, renaming into place and removal,
// for the packs that are installed into the player's folder.
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "platform/platform.h"

namespace {
std::string reason(int error) { return std::error_code(error, std::generic_category()).message(); }
}  // namespace

bool sysListFolder(const char* path, std::vector<SysFolderEntry>* entries, std::string* why) {
  entries->clear();
  DIR* dir = opendir(path);
  if (!dir) {
    if (why) *why = "cannot be read (" + reason(errno) + ")";
    return false;
  }
  const int fd = dirfd(dir);
  while (const dirent* d = readdir(dir)) {
    if (!std::strcmp(d->d_name, ".") || !std::strcmp(d->d_name, "..")) continue;
    SysFolderEntry e;
    e.name = d->d_name;
    struct stat st;
    if (fstatat(fd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
      if (S_ISREG(st.st_mode)) {
        e.kind = SysFolderEntry::File;
        e.size = static_cast<uint64_t>(st.st_size);
      } else if (S_ISDIR(st.st_mode)) {
        e.kind = SysFolderEntry::Folder;
      }
    }
    entries->push_back(e);
  }
  closedir(dir);
  std::sort(entries->begin(), entries->end(),
            [](const SysFolderEntry& a, const SysFolderEntry& b) { return a.name < b.name; });
  return true;
}

bool sysPathExists(const char* path) {
  struct stat st;
  return path && lstat(path, &st) == 0;
}

std::string sysMakeTempFolder(const char* parent, const char* prefix, std::string* why) {
  if (!sysMakeFolders(parent)) {
    if (why) *why = "cannot be made (" + reason(errno) + ")";
    return "";
  }
  std::string pattern = std::string(parent) + "/" + prefix + "XXXXXX";
  if (!mkdtemp(pattern.data())) {
    if (why) *why = "cannot be made (" + reason(errno) + ")";
    return "";
  }
  // It becomes a pack's folder, readable as the player's other folders are.
  chmod(pattern.c_str(), 0755);
  return pattern;
}

bool sysRenameNew(const char* from, const char* to, std::string* why) {
  // renameat2 with RENAME_NOREPLACE says "exists" for any target; rename()
  // alone would put a folder over an empty one without a word.
  if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return true;
  int error = errno;
  // A file system that cannot say "no replace" itself: looked at first, then
  // renamed (no other writer of the player's packs runs at the same time).
  if (error == EINVAL || error == ENOSYS) {
    struct stat st;
    if (lstat(to, &st) == 0) error = EEXIST;
    else if (std::rename(from, to) == 0) return true;
    else error = errno;
  }
  if (why) *why = error == EEXIST ? "is there already" : "cannot be put in place (" + reason(error) + ")";
  return false;
}

bool sysRemoveTree(const char* path) {
  struct stat st;
  if (lstat(path, &st) != 0) return errno == ENOENT;
  if (S_ISDIR(st.st_mode)) {
    std::vector<SysFolderEntry> entries;
    if (sysListFolder(path, &entries, nullptr))
      for (const SysFolderEntry& e : entries) sysRemoveTree((std::string(path) + "/" + e.name).c_str());
    return rmdir(path) == 0;
  }
  return unlink(path) == 0;
}
