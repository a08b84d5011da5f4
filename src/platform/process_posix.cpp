// Child processes on Linux: posix_spawn with pipes, non-blocking reads, and
// kills that never wait for the child to go.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "platform/process.h"

extern char** environ;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define WENDLOP_SHADOW_MEMORY 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define WENDLOP_SHADOW_MEMORY 1
#endif
#endif

struct SysChild {
  pid_t pid = -1;
  int output = -1;  // the read end of the child's standard output
};

namespace {
// Children stopped or ended that have not been collected yet.
std::vector<pid_t> uncollected;

std::string reason(const char* what, int error) {
  char buffer[256];
  // The GNU strerror_r returns its text, which need not be in the buffer.
  const char* text = strerror_r(error, buffer, sizeof buffer);
  return std::string(what) + " (" + text + ")";
}

void closeQuietly(int fd) {
  if (fd >= 0) close(fd);
}

// A descriptor at 3 or above: a child's 0 or 1 must not be one of the pipe's
// own ends, or duplicating it there would keep its close-on-exec mark.
int aboveStandard(int fd) {
  if (fd > 2) return fd;
  const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
  close(fd);
  return moved;
}
}  // namespace

std::string sysOwnProgram() {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return "";
  return std::string(path, static_cast<size_t>(n));
}

bool sysCollectChildren() {
  uncollected.erase(std::remove_if(uncollected.begin(), uncollected.end(),
                                   [](pid_t pid) {
                                     int status = 0;
                                     const pid_t r = waitpid(pid, &status, WNOHANG);
                                     return r == pid || (r < 0 && errno == ECHILD);
                                   }),
                    uncollected.end());
  return uncollected.empty();
}

SysChild* sysStartChild(const std::string& program, const std::vector<std::string>& args, const std::string& input,
                        std::string* why) {
  sysCollectChildren();
  int in[2] = {-1, -1}, out[2] = {-1, -1};
  if (input.size() > 65536) {
    if (why) *why = "its input is too long";
    return nullptr;
  }
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) {
    if (why) *why = reason("no pipe", errno);
    for (int fd : {in[0], in[1], out[0], out[1]}) closeQuietly(fd);
    return nullptr;
  }
  in[0] = aboveStandard(in[0]);
  out[1] = aboveStandard(out[1]);
  // The whole input waits in the pipe before the child exists: a pipe holds
  // 64 KiB, and no write can meet a reader that has gone.
  size_t written = 0;
  while (written < input.size()) {
    const ssize_t n = write(in[1], input.data() + written, input.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    written += static_cast<size_t>(n);
  }
  closeQuietly(in[1]);
  if (written < input.size() || in[0] < 0 || out[1] < 0) {
    if (why) *why = reason("its input could not be handed over", errno);
    for (int fd : {in[0], out[0], out[1]}) closeQuietly(fd);
    return nullptr;
  }

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  // The child starts with no signal blocked and the usual outcome of the ones
  // a game may have changed: it ends when nobody reads its output any more.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none, usual;
  sigemptyset(&none);
  sigemptyset(&usual);
  for (int s : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGCHLD}) sigaddset(&usual, s);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &usual);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int failed = posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  closeQuietly(in[0]);
  closeQuietly(out[1]);
  if (failed != 0) {
    if (why) *why = reason(("cannot start " + program).c_str(), failed);
    closeQuietly(out[0]);
    return nullptr;
  }
  fcntl(out[0], F_SETFL, fcntl(out[0], F_GETFL) | O_NONBLOCK);
  return new SysChild{pid, out[0]};
}

bool sysChildRead(SysChild* child, std::string* out) {
  if (!child || child->output < 0) return false;
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(child->output, buffer, sizeof buffer);
    if (n > 0) {
      out->append(buffer, static_cast<size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
    // The end of its output, or an error that is as good as one.
    close(child->output);
    child->output = -1;
    return false;
  }
}

int sysChildId(const SysChild* child) { return child ? child->pid : -1; }

void sysStopChild(SysChild* child) {
  if (!child) return;
  closeQuietly(child->output);
  if (child->pid > 0) {
    int status = 0;
    // Killing a child that has ended but is not collected yet does no harm:
    // its process id cannot have been given to another process meanwhile.
    if (waitpid(child->pid, &status, WNOHANG) == 0) {
      kill(child->pid, SIGKILL);
      uncollected.push_back(child->pid);
    }
  }
  delete child;
  sysCollectChildren();
}

bool sysLimitAddressSpace(size_t bytes) {
#ifdef WENDLOP_SHADOW_MEMORY
  (void)bytes;
  return false;
#else
  const rlimit limit{static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
  return setrlimit(RLIMIT_AS, &limit) == 0;
#endif
}

void sysLowerPriority() { setpriority(PRIO_PROCESS, 0, 10); }

void sysEndWithParent() { prctl(PR_SET_PDEATHSIG, SIGKILL); }

bool sysReadStandardInput(size_t limit, std::vector<uint8_t>* out) {
  out->clear();
  uint8_t buffer[4096];
  for (;;) {
    const ssize_t n = read(0, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    if (out->size() + static_cast<size_t>(n) > limit) return false;
    out->insert(out->end(), buffer, buffer + n);
  }
}
