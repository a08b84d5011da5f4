// Timing services for the music thread: a monotonic clock, sleeps that another
// thread can cut short, and threads of raised priority.
#pragma once

#include <atomic>
#include <cstdint>

// Monotonic millisecond clock, unsigned 32-bit, wrapping after 49.7 days.
// Unrelated to sysTicks(), which headless runs replace by a fake clock.
uint32_t sysMonotonicMs();
// The same clock in microseconds, not wrapping (for measurements).
uint64_t sysMonotonicUs();

// Sleeps for `ms` milliseconds, or until sysWakeSleepers() is called while
// *keepSleeping is false. Clear the flag first, then wake: no wake-up is lost.
void sysSleepWhile(uint32_t ms, const std::atomic<bool>* keepSleeping);
void sysWakeSleepers();

// A thread running `entry`. With `raised`, it asks for real-time scheduling
// and quietly stays a normal thread when the system does not allow it.
struct SysThread;
SysThread* sysStartThread(void (*entry)(), bool raised);  // nullptr when none could be made
// Waits for the thread to end and releases it; nullptr is allowed.
void sysJoinThread(SysThread* thread);
// Whether the last raised thread got real-time scheduling.
bool sysLastThreadRaised();
