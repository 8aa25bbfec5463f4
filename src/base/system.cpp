#include "src/base/system.h"

#include "platform/guihost.h"
#include "platform/sys.h"

#include <cstdlib>
#include <mutex>
#include <new>

int SystemMessageBox(const TStr& text, const TStr& caption, int kind) {
  int answer = platform::Host().MessageBox(text.Std(), caption.Std(), kind);
  // Only the answers a box of this kind can give count; anything else is OK.
  switch (kind) {
  case 1: return answer == 1 ? 1 : 0;
  case 2: return answer == 2 || answer == 3 ? answer : 0;
  case 3: return answer >= 1 && answer <= 3 ? answer : 0;
  default: return 0;
  }
}

void SystemBeep() { platform::Host().Beep(); }
void TraceOutput(const TStr&) {}

int ShowMessageTitled(TParamStr* text, TParamStr* caption, int kind) {
  TStr c = caption ? caption->Expand() : DefaultCaption().Expand();
  TStr t = text ? text->Expand() : TStr();
  return SystemMessageBox(t, c, kind);
}

void Beep() { SystemBeep(); }
void TraceStr(const TStr& text) { TraceOutput(text); }

TPerfCounter* NewPerfCounter() { return new TPerfCounter{0}; }
void DeletePerfCounter(TPerfCounter* value) { delete value; }
void CopyPerfCounter(TPerfCounter* d, const TPerfCounter* s) { d->ticks = s->ticks; }
void ReadPerfCounter(TPerfCounter* value) { value->ticks = platform::MonotonicNs(); }
uint32_t PerfCounterDiff(const TPerfCounter* a, const TPerfCounter* b) { return uint32_t(b->ticks) - uint32_t(a->ticks); }
uint64_t PerfCounterDiff64(const TPerfCounter* a, const TPerfCounter* b) { return b->ticks - a->ticks; }
uint64_t PerfCounterFrequency() { return 1000000000ull; }

namespace {

// Every block carries a header that links it into the heap's block list, so
// that deleting the heap releases every block still allocated from it.
class THeap : public TBase, public virtual IHeap {
  struct Header {
    Header* prev;
    Header* next;
    uint64_t size;
    uint64_t pad; // keeps the user block 16-byte aligned
  };

public:
  explicit THeap(uint64_t maximum) : maximum_(maximum) {}
  ~THeap() override {
    TDestructorScope scope;
    while (head_) {
      Header* h = head_;
      head_ = h->next;
      std::free(h);
    }
  }

  void* Alloc(uint32_t size) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (maximum_ && used_ + size > maximum_) return nullptr;
    Header* h = static_cast<Header*>(std::malloc(sizeof(Header) + size));
    if (!h) return nullptr;
    h->size = size;
    h->prev = nullptr;
    h->next = head_;
    if (head_) head_->prev = h;
    head_ = h;
    used_ += size;
    if (used_ > peak_) peak_ = used_;
    return h + 1;
  }

  void Free(void* block) override {
    if (!block) return;
    std::lock_guard<std::mutex> lock(mutex_);
    Header* h = static_cast<Header*>(block) - 1;
    if (h->prev) h->prev->next = h->next;
    else head_ = h->next;
    if (h->next) h->next->prev = h->prev;
    used_ -= h->size;
    std::free(h);
  }

  uint64_t Used() const override {
    std::lock_guard<std::mutex> lock(mutex_);
    return used_;
  }

  uint64_t Peak() const override {
    std::lock_guard<std::mutex> lock(mutex_);
    return peak_;
  }

  void ResetPeak() override {
    std::lock_guard<std::mutex> lock(mutex_);
    peak_ = used_;
  }

private:
  mutable std::mutex mutex_;
  Header* head_ = nullptr;
  uint64_t used_ = 0;
  uint64_t peak_ = 0;
  uint64_t maximum_;
};

class DCriticalSection : public TBase, public virtual ICriticalSection {
public:
  ~DCriticalSection() override { TDestructorScope scope; }
  void Enter() override { mutex_.Lock(); }
  void Leave() override { mutex_.Unlock(); }
  bool TryEnter() override { return mutex_.TryLock(); }
  bool TryEnterFor(uint32_t microseconds) override { return mutex_.TryLockFor(uint64_t(microseconds) * 1000u); }
  int HeldDepth() const override { return mutex_.HeldDepth(); }
  bool HeldByCurrentThread() const override { return mutex_.HeldByCurrentThread(); }

private:
  platform::Mutex mutex_;
};

class TProgress : public TBase, public virtual IProgress {
public:
  ~TProgress() override { TDestructorScope scope; }
  void Update(int32_t) override {}
};

} // namespace

IHeap* CreateHeap() { return new THeap(1000000); }
IHeap* CreateHeapOfSize(uint32_t maximum) { return new THeap(maximum); }
ICriticalSection* CreateCriticalSection() { return new DCriticalSection; }
IProgress* CreateProgress(const TStr&, int32_t, int32_t, int32_t) { return new TProgress; }
