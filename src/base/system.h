// System services: message box, beep, tick counter, heaps and locks.
#pragma once

#include "src/base/base.h"

#include <cstdint>

int SystemMessageBox(const TStr& text, const TStr& caption, int kind);
void SystemBeep();
void TraceOutput(const TStr& text);

// Tick counter: one reading of the monotonic clock, in nanoseconds.
struct TPerfCounter {
  uint64_t ticks;
};
TPerfCounter* NewPerfCounter();
void DeletePerfCounter(TPerfCounter* value);
void CopyPerfCounter(TPerfCounter* destination, const TPerfCounter* source);
void ReadPerfCounter(TPerfCounter* value);
// Ticks between two readings, modulo 2^32 (exact below about 4.29 s).
uint32_t PerfCounterDiff(const TPerfCounter* earlier, const TPerfCounter* later);
// The full difference, for anything that can run longer than that.
uint64_t PerfCounterDiff64(const TPerfCounter* earlier, const TPerfCounter* later);
uint64_t PerfCounterFrequency();

class IHeap : public virtual IBase {
public:
  // A block of at least size bytes, or null when the heap cannot supply it.
  virtual void* Alloc(uint32_t size) = 0;
  virtual void Free(void* block) = 0;
  // Bytes currently allocated from the heap.
  virtual uint64_t Used() const = 0;
  // The most bytes allocated at one time since the heap was made or since
  // the last ResetPeak: what a reader really asked for, even when it gave it
  // back before returning.
  virtual uint64_t Peak() const = 0;
  virtual void ResetPeak() = 0;
};
// A heap of at most 1000000 bytes.
IHeap* CreateHeap();
// A heap of at most maximum bytes; 0 means unlimited.
IHeap* CreateHeapOfSize(uint32_t maximum);
inline IHeap* CastToHeap(IBase* object) { return CastTo<IHeap>(object); }

// A recursive lock that inherits priority. Held depth and try-enter are what
// the engine's lock needs.
class ICriticalSection : public virtual IBase {
public:
  virtual void Enter() = 0;
  virtual void Leave() = 0;
  virtual bool TryEnter() = 0;
  // Waits at most the given time for the section; false when still taken.
  virtual bool TryEnterFor(uint32_t microseconds) = 0;
  virtual int HeldDepth() const = 0;
  virtual bool HeldByCurrentThread() const = 0;
};
ICriticalSection* CreateCriticalSection();
inline ICriticalSection* CastToCriticalSection(IBase* object) { return CastTo<ICriticalSection>(object); }

// Holds a critical section for a scope.
class TLockGuard {
public:
  explicit TLockGuard(ICriticalSection& cs) : cs_(cs) { cs_.Enter(); }
  ~TLockGuard() { cs_.Leave(); }
  TLockGuard(const TLockGuard&) = delete;
  TLockGuard& operator=(const TLockGuard&) = delete;

private:
  ICriticalSection& cs_;
};

// Progress of a long task. Reports nothing visible.
class IProgress : public virtual IBase {
public:
  virtual void Update(int32_t value) = 0;
};
IProgress* CreateProgress(const TStr& title, int32_t low, int32_t high, int32_t third);
inline IProgress* CastToProgress(IBase* object) { return CastTo<IProgress>(object); }
