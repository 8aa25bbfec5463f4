// Threads of the drivers: a message queue per thread, a thread object with a
// bounded wait, a periodic timer with a manual stand-in for tests, and the
// sleeps and real-time priorities behind a replaceable host.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace platform {

// Message ids. The first private id of a window system, and the one that
// ends a driver's own thread.
constexpr uint32_t kMsgUser = 0x0400;
constexpr uint32_t kMsgEndThread = kMsgUser + 100;
// Sound-device messages: an output buffer has been played, an input buffer
// has been filled, an output device was closed, a device went away.
constexpr uint32_t kMsgOutputDone = 0x03BD;
constexpr uint32_t kMsgInputData = 0x03C0;
constexpr uint32_t kMsgOutputClose = 0x03BC;
constexpr uint32_t kMsgDeviceLost = kMsgUser + 110;

struct ThreadMessage {
  uint32_t id = 0;
  uintptr_t wparam = 0;
  intptr_t lparam = 0;
};

// A wake-up for one waiting thread that any thread may ring, the audio
// thread among them: ringing never locks, never allocates and makes a system
// call only when the bell was quiet. A ring before the wait is kept, so the
// waiter loses none: it drains what it serves after each wake.
class Doorbell {
public:
  Doorbell();
  ~Doorbell();
  Doorbell(const Doorbell&) = delete;
  Doorbell& operator=(const Doorbell&) = delete;

  void Ring();
  // Waits until the bell has rung since the last wait.
  void Wait();

private:
  struct Semaphore;
  std::unique_ptr<Semaphore> sem_;
  std::atomic<bool> rung_{false};
};

// A first-in first-out queue of messages for one thread. Posting works from
// any thread and never allocates (the queue has a fixed capacity); getting
// blocks until a message arrives.
class MessageQueue {
public:
  static constexpr size_t kCapacity = 4096;
  MessageQueue();
  MessageQueue(const MessageQueue&) = delete;
  MessageQueue& operator=(const MessageQueue&) = delete;

  // False when the queue is full (the message is dropped).
  bool Post(uint32_t id, uintptr_t wparam = 0, intptr_t lparam = 0);
  // Waits for the next message.
  ThreadMessage Get();
  // The next message when one is waiting.
  bool TryGet(ThreadMessage& message);
  // Waits at most the given time; false when nothing came.
  bool GetFor(ThreadMessage& message, uint32_t milliseconds);
  size_t Size() const;
  // A bell rung by every post, for a thread that waits for this queue and
  // for other work at once (and takes its messages with TryGet).
  void SetDoorbell(Doorbell* bell) { bell_.store(bell); }

private:
  std::atomic<Doorbell*> bell_{nullptr};
  mutable std::mutex mutex_;
  std::condition_variable ready_;
  std::vector<ThreadMessage> ring_;
  size_t head_ = 0;
  size_t count_ = 0;
};

struct ThreadHandle;

// A thread with a start, a running state and a bounded wait. A thread is never
// ended by force: one that does not finish within the wait is reported and
// detached, and the object may then go.
class Thread {
public:
  explicit Thread(std::string name = "thread");
  ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Starts the body on a new thread; false when one is running still or the
  // system refused a new thread.
  bool Start(std::function<void()> body);
  // True from Start until the body has returned.
  bool IsRunning() const;
  // Waits up to the given time for the body to return. True when it has
  // (the thread is joined); false when it still runs: it is reported on
  // stderr and detached.
  bool Wait(uint32_t milliseconds);
  // The calling thread is this one.
  bool IsCurrent() const;
  const std::string& Name() const { return name_; }

private:
  struct Shared;
  std::string name_;
  std::shared_ptr<Shared> shared_;
  std::unique_ptr<ThreadHandle> handle_;
};

// A periodic callback, the engine's 5 ms clock. Stop returns only when no
// callback runs any more and none will follow, except when Stop is called
// from the callback itself (the running callback then finishes).
class PeriodicTimer {
public:
  using Callback = void (*)(void* user);
  virtual ~PeriodicTimer() = default;
  virtual bool Start(uint32_t periodMs, Callback callback, void* user) = 0;
  virtual void Stop() = 0;
  virtual bool IsRunning() const = 0;
  // True while Stop is under way: a callback that sees it should return early.
  virtual bool IsBeingStopped() const = 0;
};

// The real timer: a thread that sleeps to absolute deadlines. A late callback
// is not followed by a burst of the missed ones: the next deadline is the
// first one still ahead.
std::unique_ptr<PeriodicTimer> CreatePeriodicTimer();

// The deadline after `next` for a periodic timer that woke at `now`: the next
// period when on time, else the first period boundary still ahead of now.
int64_t NextDeadline(int64_t next, int64_t now, int64_t period);

// A timer that runs its callback only when the test fires it, on the test's
// thread.
class ManualTimer : public PeriodicTimer {
public:
  bool Start(uint32_t periodMs, Callback callback, void* user) override;
  void Stop() override;
  bool IsRunning() const override { return running_.load(); }
  bool IsBeingStopped() const override { return stopping_.load(); }
  // Runs the callback once when the timer runs; false when it does not.
  bool Fire();
  uint32_t Period() const { return period_; }
  int32_t Starts() const { return starts_; }

private:
  std::atomic<bool> running_{false};
  std::atomic<bool> stopping_{false};
  Callback callback_ = nullptr;
  void* user_ = nullptr;
  uint32_t period_ = 0;
  int32_t starts_ = 0;
};

// Sleeps and scheduling. The real host sleeps on the monotonic clock and asks
// for SCHED_FIFO at its best effort (without the right to do so the thread
// simply stays at its normal priority).
class SchedHost {
public:
  virtual ~SchedHost() = default;
  virtual void Sleep(uint32_t milliseconds) = 0;
  // Raises the calling thread to real-time priority; false when refused.
  virtual bool RaiseThreadPriority() = 0;
  // Puts the calling thread back at normal priority.
  virtual void RestoreThreadPriority() = 0;
};

// Names the calling thread as the system shows it (at most 15 characters
// are kept), so that a thread can be told apart when its use is measured.
void NameThisThread(const char* name);

// The installed host (the real one until another is set).
SchedHost& Sched();
// Installs a host; nullptr restores the real one. Returns the previous one.
SchedHost* SetSchedHost(SchedHost* host);

inline void SleepMs(uint32_t milliseconds) { Sched().Sleep(milliseconds); }

} // namespace platform
