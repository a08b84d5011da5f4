#include "platform/thread.h"

#include <pthread.h>
#include <sched.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

uint64_t sysMonotonicUs() {
  using namespace std::chrono;
  return static_cast<uint64_t>(duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

uint32_t sysMonotonicMs() { return static_cast<uint32_t>(sysMonotonicUs() / 1000); }

// Never destroyed: a thread still asleep when the process exits must not find
// its condition variable torn down under it (that hangs glibc's exit).
static std::mutex& sleepMutex = *new std::mutex;
static std::condition_variable& sleepSignal = *new std::condition_variable;

void sysSleepWhile(uint32_t ms, const std::atomic<bool>* keepSleeping) {
  std::unique_lock<std::mutex> lock(sleepMutex);
  sleepSignal.wait_for(lock, std::chrono::milliseconds(ms),
                       [keepSleeping] { return keepSleeping && !keepSleeping->load(); });
}

void sysWakeSleepers() {
  // Taking the lock orders the caller's flag change before any sleeper's
  // next look at it; a sleeper between its check and its wait is then woken.
  { std::lock_guard<std::mutex> lock(sleepMutex); }
  sleepSignal.notify_all();
}

struct SysThread {
  std::thread thread;
};

static std::atomic<bool> lastRaised{false};

SysThread* sysStartThread(void (*entry)(), bool raised) {
  SysThread* handle = new (std::nothrow) SysThread;
  if (!handle) return nullptr;
  try {
    handle->thread = std::thread(entry);
  } catch (const std::system_error&) {
    delete handle;
    return nullptr;
  }
  bool gotRealTime = false;
  if (raised) {
    // A low real-time priority is enough to stay ahead of every normal
    // thread; most desktops refuse it without rtkit or limits, and then the
    // thread simply runs at normal priority.
    sched_param param{};
    param.sched_priority = sched_get_priority_min(SCHED_FIFO) + 9;
    gotRealTime = pthread_setschedparam(handle->thread.native_handle(), SCHED_FIFO, &param) == 0;
  }
  lastRaised.store(gotRealTime);
  return handle;
}

void sysJoinThread(SysThread* thread) {
  if (!thread) return;
  if (thread->thread.joinable()) thread->thread.join();
  delete thread;
}

bool sysLastThreadRaised() { return lastRaised.load(); }
