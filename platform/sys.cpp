#include "platform/sys.h"

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <locale.h>
#include <pthread.h>
#include <stdexcept>
#include <vector>

namespace platform {

namespace {
pthread_mutex_t* Native(unsigned char* storage) { return reinterpret_cast<pthread_mutex_t*>(storage); }
static_assert(sizeof(pthread_mutex_t) <= 64, "mutex storage too small");

locale_t CLocale() {
  static locale_t loc = newlocale(LC_ALL_MASK, "C", (locale_t)0);
  return loc;
}

// Switches the calling thread to the "C" locale for the lifetime of the object.
class CLocaleScope {
public:
  CLocaleScope() : old_(uselocale(CLocale())) {}
  ~CLocaleScope() { uselocale(old_); }
private:
  locale_t old_;
};

std::atomic<uint64_t> nextThreadId{1};
thread_local uint64_t threadId = 0;
} // namespace

Mutex::Mutex() {
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutexattr_setprotocol(&attr, PTHREAD_PRIO_INHERIT);
  if (pthread_mutex_init(Native(storage_), &attr) != 0) {
    // Priority inheritance can be unavailable; a plain recursive mutex still works.
    pthread_mutexattr_setprotocol(&attr, PTHREAD_PRIO_NONE);
    pthread_mutex_init(Native(storage_), &attr);
  }
  pthread_mutexattr_destroy(&attr);
}

Mutex::~Mutex() { pthread_mutex_destroy(Native(storage_)); }

void Mutex::Lock() {
  pthread_mutex_lock(Native(storage_));
  owner_.store(CurrentThreadId(), std::memory_order_relaxed);
  depth_.fetch_add(1, std::memory_order_acq_rel);
}

bool Mutex::TryLock() {
  if (pthread_mutex_trylock(Native(storage_)) != 0) return false;
  owner_.store(CurrentThreadId(), std::memory_order_relaxed);
  depth_.fetch_add(1, std::memory_order_acq_rel);
  return true;
}

bool Mutex::TryLockFor(uint64_t nanoseconds) {
  if (pthread_mutex_trylock(Native(storage_)) != 0) {
    auto deadline = [nanoseconds](clockid_t clock) {
      timespec ts;
      clock_gettime(clock, &ts);
      uint64_t ns = uint64_t(ts.tv_nsec) + nanoseconds;
      ts.tv_sec += time_t(ns / 1000000000ull);
      ts.tv_nsec = long(ns % 1000000000ull);
      return ts;
    };
#if defined(__SANITIZE_THREAD__)
    // The thread sanitizer does not see a lock taken by clocklock.
    int rc = EINVAL;
    timespec until;
#else
    timespec until = deadline(CLOCK_MONOTONIC);
    int rc = pthread_mutex_clocklock(Native(storage_), CLOCK_MONOTONIC, &until);
#endif
    if (rc == EINVAL) {
      // A priority-inheriting mutex on an older kernel waits on the wall
      // clock only.
      until = deadline(CLOCK_REALTIME);
      rc = pthread_mutex_timedlock(Native(storage_), &until);
    }
    if (rc != 0) return false;
  }
  owner_.store(CurrentThreadId(), std::memory_order_relaxed);
  depth_.fetch_add(1, std::memory_order_acq_rel);
  return true;
}

void Mutex::Unlock() {
  if (depth_.fetch_sub(1, std::memory_order_acq_rel) == 1) owner_.store(0, std::memory_order_relaxed);
  pthread_mutex_unlock(Native(storage_));
}

bool Mutex::HeldByCurrentThread() const {
  return depth_.load(std::memory_order_acquire) > 0 && owner_.load(std::memory_order_relaxed) == CurrentThreadId();
}

uint64_t MonotonicNs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return uint64_t(ts.tv_sec) * 1000000000ull + uint64_t(ts.tv_nsec);
}

uint64_t ThreadCpuNs() {
  timespec ts;
  if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts) != 0) return 0;
  return uint64_t(ts.tv_sec) * 1000000000ull + uint64_t(ts.tv_nsec);
}

std::string ProcessorModelName() {
  std::string name;
  if (std::FILE* f = std::fopen("/proc/cpuinfo", "r")) {
    char line[512];
    while (name.empty() && std::fgets(line, sizeof line, f)) {
      // "model name\t: ..." on x86; other architectures name other fields.
      static const char* const kKeys[] = {"model name", "Model", "cpu model", "Hardware"};
      for (const char* key : kKeys) {
        size_t n = std::strlen(key);
        if (std::strncmp(line, key, n) != 0) continue;
        const char* colon = std::strchr(line + n, ':');
        if (!colon || (line[n] != ' ' && line[n] != '\t' && line[n] != ':')) continue;
        std::string value(colon + 1);
        size_t first = value.find_first_not_of(" \t");
        size_t last = value.find_last_not_of(" \t\r\n");
        if (first != std::string::npos) name = value.substr(first, last - first + 1);
        break;
      }
    }
    std::fclose(f);
  }
  return name.empty() ? std::string("unknown processor") : name;
}

uint64_t CurrentThreadId() {
  if (threadId == 0) threadId = nextThreadId.fetch_add(1);
  return threadId;
}

// The one place that hands a caller's format to the C library: callers pass
// their own literals through it, so the format cannot be one here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
std::string FormatC(const char* format, va_list args) {
  CLocaleScope scope;
  char small[512];
  va_list copy;
  va_copy(copy, args);
  int n = vsnprintf(small, sizeof small, format, copy);
  va_end(copy);
  if (n < 0) return std::string();
  if (size_t(n) < sizeof small) return std::string(small, size_t(n));
  std::vector<char> big(size_t(n) + 1);
  vsnprintf(big.data(), big.size(), format, args);
  return std::string(big.data(), size_t(n));
}
#pragma GCC diagnostic pop

double ParseDoubleC(const char* text, size_t* used) {
  CLocaleScope scope;
  char* end = nullptr;
  double v = strtod(text, &end);
  *used = size_t(end - text);
  return v;
}

unsigned long ParseULongC(const char* text, size_t* used) {
  CLocaleScope scope;
  char* end = nullptr;
  unsigned long v = strtoul(text, &end, 10);
  *used = size_t(end - text);
  return v;
}

long ParseLongC(const char* text, size_t* used) {
  CLocaleScope scope;
  char* end = nullptr;
  long v = strtol(text, &end, 10);
  *used = size_t(end - text);
  return v;
}

} // namespace platform
