#include "platform/thread.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <pthread.h>
#include <sched.h>
#include <semaphore.h>
#include <thread>

namespace platform {

// ---------------------------------------------------------------------------
// Doorbell

struct Doorbell::Semaphore {
  Semaphore() { sem_init(&sem, 0, 0); }
  ~Semaphore() { sem_destroy(&sem); }
  sem_t sem;
};

Doorbell::Doorbell() : sem_(std::make_unique<Semaphore>()) {}
Doorbell::~Doorbell() = default;

void Doorbell::Ring() {
  // Only the first ring after a wake posts: the waiter drains all its work
  // after taking the flag, so later rings until then are served with it.
  if (!rung_.exchange(true, std::memory_order_acq_rel)) sem_post(&sem_->sem);
}

void Doorbell::Wait() {
  while (sem_wait(&sem_->sem) != 0 && errno == EINTR) {
  }
  rung_.exchange(false, std::memory_order_acq_rel);
}

// ---------------------------------------------------------------------------
// Message queue

MessageQueue::MessageQueue() : ring_(kCapacity) {}

bool MessageQueue::Post(uint32_t id, uintptr_t wparam, intptr_t lparam) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (count_ == ring_.size()) return false;
    ring_[(head_ + count_) % ring_.size()] = ThreadMessage{id, wparam, lparam};
    ++count_;
  }
  ready_.notify_one();
  if (Doorbell* bell = bell_.load()) bell->Ring();
  return true;
}

ThreadMessage MessageQueue::Get() {
  std::unique_lock<std::mutex> lock(mutex_);
  ready_.wait(lock, [this] { return count_ > 0; });
  ThreadMessage m = ring_[head_];
  head_ = (head_ + 1) % ring_.size();
  --count_;
  return m;
}

bool MessageQueue::TryGet(ThreadMessage& message) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (count_ == 0) return false;
  message = ring_[head_];
  head_ = (head_ + 1) % ring_.size();
  --count_;
  return true;
}

bool MessageQueue::GetFor(ThreadMessage& message, uint32_t milliseconds) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!ready_.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return count_ > 0; })) return false;
  message = ring_[head_];
  head_ = (head_ + 1) % ring_.size();
  --count_;
  return true;
}

size_t MessageQueue::Size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return count_;
}

// ---------------------------------------------------------------------------
// Thread

struct ThreadHandle {
  std::thread thread;
};

struct Thread::Shared {
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  std::atomic<bool> running{false};
  std::atomic<std::thread::id> id{};
};

namespace {
constexpr uint32_t kDestructorWaitMs = 2000;
}

Thread::Thread(std::string name) : name_(std::move(name)) {}

Thread::~Thread() { Wait(kDestructorWaitMs); }

bool Thread::Start(std::function<void()> body) {
  if (IsRunning()) return false;
  if (handle_ && handle_->thread.joinable()) handle_->thread.join();
  auto shared = std::make_shared<Shared>();
  shared->running.store(true);
  auto handle = std::make_unique<ThreadHandle>();
  try {
    handle->thread = std::thread([shared, name = name_, body = std::move(body)] {
      NameThisThread(name.c_str());
      shared->id.store(std::this_thread::get_id());
      body();
      std::lock_guard<std::mutex> lock(shared->mutex);
      shared->done = true;
      shared->running.store(false);
      shared->finished.notify_all();
    });
  } catch (const std::system_error&) {
    return false;
  }
  shared_ = std::move(shared);
  handle_ = std::move(handle);
  return true;
}

bool Thread::IsRunning() const { return shared_ && shared_->running.load(); }

bool Thread::IsCurrent() const { return shared_ && shared_->id.load() == std::this_thread::get_id(); }

bool Thread::Wait(uint32_t milliseconds) {
  if (!handle_ || !handle_->thread.joinable()) return true;
  if (IsCurrent()) return false;
  bool done;
  {
    std::unique_lock<std::mutex> lock(shared_->mutex);
    done = shared_->finished.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return shared_->done; });
  }
  if (done) {
    handle_->thread.join();
    return true;
  }
  std::fprintf(stderr, "Quorvex: the %s thread did not end within %u ms; it is left to finish on its own.\n",
               name_.c_str(), milliseconds);
  handle_->thread.detach();
  return false;
}

// ---------------------------------------------------------------------------
// The real periodic timer

namespace {

constexpr int64_t kNsPerMs = 1000000;
constexpr int64_t kNsPerSecond = 1000000000;

int64_t NowNs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t(ts.tv_sec) * kNsPerSecond + ts.tv_nsec;
}

void SleepUntil(int64_t deadline) {
  timespec ts{time_t(deadline / kNsPerSecond), long(deadline % kNsPerSecond)};
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
  }
}

class ThreadTimer : public PeriodicTimer {
public:
  ~ThreadTimer() override { Stop(); }

  bool Start(uint32_t periodMs, Callback callback, void* user) override {
    Stop();
    if (periodMs == 0 || !callback) return false;
    period_ = int64_t(periodMs) * kNsPerMs;
    callback_ = callback;
    user_ = user;
    stopping_.store(false);
    running_.store(true);
    try {
      thread_ = std::thread([this] {
        NameThisThread("timer");
        Run();
      });
    } catch (const std::system_error&) {
      running_.store(false);
      return false;
    }
    return true;
  }

  void Stop() override {
    // The timer thread records its own id before its first tick, so a Stop
    // from the callback is recognised without touching thread_, which the
    // starting thread may still be assigning while the first tick runs.
    if (std::this_thread::get_id() == runner_.load()) {
      // From the callback: the loop ends when the callback returns; a later
      // Stop or the destructor joins.
      stopping_.store(true);
      running_.store(false);
      return;
    }
    if (!thread_.joinable()) return;
    stopping_.store(true);
    thread_.join();
    runner_.store(std::thread::id());
    running_.store(false);
    stopping_.store(false);
  }

  bool IsRunning() const override { return running_.load(); }
  bool IsBeingStopped() const override { return stopping_.load(); }

private:
  void Run() {
    runner_.store(std::this_thread::get_id());
    int64_t next = NowNs() + period_;
    while (!stopping_.load()) {
      SleepUntil(next);
      if (stopping_.load()) break;
      callback_(user_);
      next = NextDeadline(next, NowNs(), period_);
    }
  }

  std::thread thread_;
  std::atomic<std::thread::id> runner_{};
  std::atomic<bool> running_{false};
  std::atomic<bool> stopping_{false};
  int64_t period_ = 0;
  Callback callback_ = nullptr;
  void* user_ = nullptr;
};

} // namespace

int64_t NextDeadline(int64_t next, int64_t now, int64_t period) {
  next += period;
  if (next <= now) next += ((now - next) / period + 1) * period; // late: no burst of the missed ones
  return next;
}

std::unique_ptr<PeriodicTimer> CreatePeriodicTimer() { return std::make_unique<ThreadTimer>(); }

// ---------------------------------------------------------------------------
// Manual timer

bool ManualTimer::Start(uint32_t periodMs, Callback callback, void* user) {
  if (periodMs == 0 || !callback) return false;
  callback_ = callback;
  user_ = user;
  period_ = periodMs;
  ++starts_;
  stopping_.store(false);
  running_.store(true);
  return true;
}

void ManualTimer::Stop() {
  stopping_.store(true);
  running_.store(false);
  stopping_.store(false);
}

bool ManualTimer::Fire() {
  if (!running_.load()) return false;
  callback_(user_);
  return true;
}

// ---------------------------------------------------------------------------
// Sleeps and priorities

namespace {

class RealSched : public SchedHost {
public:
  void Sleep(uint32_t milliseconds) override { SleepUntil(NowNs() + int64_t(milliseconds) * kNsPerMs); }

  bool RaiseThreadPriority() override {
    sched_param param{};
    int low = sched_get_priority_min(SCHED_FIFO), high = sched_get_priority_max(SCHED_FIFO);
    if (low < 0 || high < 0) return false;
    // Above most helper threads of the desktop, below the kernel's own.
    param.sched_priority = low + (high - low) * 3 / 4;
    return pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
  }

  void RestoreThreadPriority() override {
    sched_param param{};
    param.sched_priority = 0;
    pthread_setschedparam(pthread_self(), SCHED_OTHER, &param);
  }
};

RealSched realSched;
std::atomic<SchedHost*> installedSched{nullptr};

} // namespace

void NameThisThread(const char* name) {
  char shortName[16] = {};
  for (size_t i = 0; i + 1 < sizeof shortName && name[i]; ++i) shortName[i] = name[i];
  pthread_setname_np(pthread_self(), shortName);
}

SchedHost& Sched() {
  SchedHost* host = installedSched.load();
  return host ? *host : realSched;
}

SchedHost* SetSchedHost(SchedHost* host) {
  SchedHost* previous = installedSched.exchange(host);
  return previous;
}

} // namespace platform
