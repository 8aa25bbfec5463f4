// Operating-system services used by the rest of Quorvex: locks, clocks and
// locale-independent number conversion. Nothing outside platform/ includes
// POSIX headers.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <string>

namespace platform {

// Recursive, priority-inheriting mutex. The held depth is readable from any
// thread without taking the lock.
class Mutex {
public:
  Mutex();
  ~Mutex();
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  void Lock();
  bool TryLock();
  // Waits at most the given time (on the monotonic clock where the system
  // can) for the lock; false when it was not had by then.
  bool TryLockFor(uint64_t nanoseconds);
  void Unlock();
  // Nesting depth of the current holder (0 when free). A snapshot.
  int HeldDepth() const { return depth_.load(std::memory_order_acquire); }
  bool HeldByCurrentThread() const;

private:
  alignas(8) unsigned char storage_[64];
  std::atomic<int> depth_{0};
  std::atomic<uint64_t> owner_{0};
};

// Monotonic clock in nanoseconds.
uint64_t MonotonicNs();
// Processor time the calling thread has used, in nanoseconds (time it spent
// waiting or preempted does not count).
uint64_t ThreadCpuNs();
// A small id for the calling thread, never 0.
uint64_t CurrentThreadId();
// The processor's model name as the system reports it ("unknown processor"
// when it does not).
std::string ProcessorModelName();

// printf-style formatting in the "C" locale whatever the process locale is.
std::string FormatC(const char* format, va_list args);
// strtod/strtoul in the "C" locale; *end receives the number of bytes used
// (0 when no number was found).
double ParseDoubleC(const char* text, size_t* used);
unsigned long ParseULongC(const char* text, size_t* used);
long ParseLongC(const char* text, size_t* used);

} // namespace platform
