#include "platform/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

using namespace platform;

namespace {

TEST(MessageQueue, KeepsTheOrderOfEachSenderAndEveryMessage) {
  MessageQueue queue;
  constexpr int kSenders = 4, kEach = 500;
  std::vector<std::thread> senders;
  for (int s = 0; s < kSenders; ++s)
    senders.emplace_back([&queue, s] {
      for (int i = 0; i < kEach; ++i) ASSERT_TRUE(queue.Post(kMsgUser + s, uintptr_t(i)));
    });
  std::vector<int> next(kSenders, 0);
  for (int n = 0; n < kSenders * kEach; ++n) {
    ThreadMessage m = queue.Get();
    int s = int(m.id - kMsgUser);
    ASSERT_GE(s, 0);
    ASSERT_LT(s, kSenders);
    EXPECT_EQ(m.wparam, uintptr_t(next[s]));
    ++next[s];
  }
  for (auto& t : senders) t.join();
  ThreadMessage left;
  EXPECT_FALSE(queue.TryGet(left));
}

TEST(MessageQueue, AFullQueueRefusesInsteadOfGrowing) {
  MessageQueue queue;
  for (size_t i = 0; i < MessageQueue::kCapacity; ++i) ASSERT_TRUE(queue.Post(kMsgUser, i));
  EXPECT_FALSE(queue.Post(kMsgEndThread));
  EXPECT_EQ(queue.Size(), MessageQueue::kCapacity);
  ThreadMessage m;
  ASSERT_TRUE(queue.TryGet(m));
  EXPECT_EQ(m.wparam, 0u);
  EXPECT_TRUE(queue.Post(kMsgEndThread));
}

TEST(MessageQueue, ABoundedGetReturnsEmptyHanded) {
  MessageQueue queue;
  ThreadMessage m;
  EXPECT_FALSE(queue.GetFor(m, 1));
  queue.Post(kMsgEndThread, 7, -3);
  ASSERT_TRUE(queue.GetFor(m, 1));
  EXPECT_EQ(m.id, kMsgEndThread);
  EXPECT_EQ(m.wparam, 7u);
  EXPECT_EQ(m.lparam, -3);
}

// A driver thread: runs until the end message.
TEST(Thread, RunsUntilTheEndMessageAndIsJoined) {
  auto queue = std::make_shared<MessageQueue>();
  std::atomic<int> seen{0};
  Thread thread("test");
  ASSERT_TRUE(thread.Start([queue, &seen] {
    for (;;) {
      ThreadMessage m = queue->Get();
      if (m.id == kMsgEndThread) return;
      ++seen;
    }
  }));
  EXPECT_TRUE(thread.IsRunning());
  EXPECT_FALSE(thread.IsCurrent());
  EXPECT_FALSE(thread.Start([] {})) << "a second start while the first runs";
  queue->Post(kMsgOutputDone);
  queue->Post(kMsgOutputDone);
  queue->Post(kMsgEndThread);
  EXPECT_TRUE(thread.Wait(10000));
  EXPECT_FALSE(thread.IsRunning());
  EXPECT_EQ(seen.load(), 2);
  // It can be started again.
  ASSERT_TRUE(thread.Start([] {}));
  EXPECT_TRUE(thread.Wait(10000));
}

TEST(Thread, AThreadThatDoesNotEndIsDetachedNotKilled) {
  auto queue = std::make_shared<MessageQueue>();
  auto finished = std::make_shared<MessageQueue>();
  {
    Thread thread("stubborn");
    ASSERT_TRUE(thread.Start([queue, finished] {
      queue->Get();
      finished->Post(kMsgEndThread);
    }));
    EXPECT_FALSE(thread.Wait(1));
    EXPECT_TRUE(thread.Wait(0)) << "after detaching there is nothing left to wait for";
  }
  // The detached thread still runs its body to the end.
  queue->Post(kMsgUser);
  EXPECT_EQ(finished->Get().id, kMsgEndThread);
}

TEST(PeriodicTimer, DeadlinesStayOnTheGridAndNeverBurst) {
  struct Case {
    int64_t next, now, period, expected;
  } cases[] = {
      {100, 90, 5, 105},  // on time
      {100, 104, 5, 105}, // a little late, the next one is still ahead
      {100, 105, 5, 110}, // exactly on the following deadline: skip it
      {100, 131, 5, 135}, // six periods late: one callback, then on the grid
  };
  for (const Case& c : cases) EXPECT_EQ(NextDeadline(c.next, c.now, c.period), c.expected) << c.now;
}

struct TimerSpy {
  PeriodicTimer* timer = nullptr;
  MessageQueue ticks;
  std::atomic<int> count{0};
  std::atomic<bool> stopped{false};
  std::atomic<int> lateCallbacks{0};
  std::atomic<int> stopAt{-1};
  static void Callback(void* user) {
    auto* spy = static_cast<TimerSpy*>(user);
    if (spy->stopped.load()) ++spy->lateCallbacks;
    int n = ++spy->count;
    if (n == spy->stopAt.load()) spy->timer->Stop();
    spy->ticks.Post(kMsgUser, uintptr_t(n));
  }
};

TEST(PeriodicTimer, NoCallbackAfterStopReturns) {
  auto timer = CreatePeriodicTimer();
  TimerSpy spy;
  spy.timer = timer.get();
  ASSERT_TRUE(timer->Start(1, &TimerSpy::Callback, &spy));
  EXPECT_TRUE(timer->IsRunning());
  for (int i = 0; i < 3; ++i) spy.ticks.Get();
  timer->Stop();
  spy.stopped.store(true);
  EXPECT_FALSE(timer->IsRunning());
  EXPECT_FALSE(timer->IsBeingStopped());
  int count = spy.count.load();
  // Another stop and a restart behave.
  timer->Stop();
  EXPECT_EQ(spy.count.load(), count);
  EXPECT_EQ(spy.lateCallbacks.load(), 0);
  spy.stopped.store(false);
  ASSERT_TRUE(timer->Start(1, &TimerSpy::Callback, &spy));
  spy.ticks.Get();
  timer.reset(); // the destructor stops it
  spy.stopped.store(true);
  EXPECT_EQ(spy.lateCallbacks.load(), 0);
}

TEST(PeriodicTimer, StopFromItsOwnCallbackEndsTheTimer) {
  // The first tick can come while Start is still storing the new thread:
  // a stop from that tick must end the timer all the same.
  for (int stopAt : {1, 2}) {
    SCOPED_TRACE(stopAt);
    auto timer = CreatePeriodicTimer();
    TimerSpy spy;
    spy.timer = timer.get();
    spy.stopAt.store(stopAt);
    ASSERT_TRUE(timer->Start(1, &TimerSpy::Callback, &spy));
    for (int i = 0; i < stopAt; ++i) spy.ticks.Get();
    timer->Stop(); // joins the thread that ended itself
    EXPECT_EQ(spy.count.load(), stopAt);
    EXPECT_FALSE(timer->IsRunning());
  }
}

TEST(PeriodicTimer, RefusesAZeroPeriod) {
  auto timer = CreatePeriodicTimer();
  TimerSpy spy;
  EXPECT_FALSE(timer->Start(0, &TimerSpy::Callback, &spy));
  EXPECT_FALSE(timer->IsRunning());
}

TEST(ManualTimer, FiresOnlyWhileRunning) {
  ManualTimer timer;
  TimerSpy spy;
  spy.timer = &timer;
  EXPECT_FALSE(timer.Fire());
  ASSERT_TRUE(timer.Start(5, &TimerSpy::Callback, &spy));
  EXPECT_EQ(timer.Period(), 5u);
  EXPECT_TRUE(timer.Fire());
  EXPECT_TRUE(timer.Fire());
  timer.Stop();
  EXPECT_FALSE(timer.Fire());
  EXPECT_EQ(spy.count.load(), 2);
  EXPECT_EQ(timer.Starts(), 1);
}

struct SchedSpy : SchedHost {
  std::vector<uint32_t> sleeps;
  int raised = 0, restored = 0;
  void Sleep(uint32_t ms) override { sleeps.push_back(ms); }
  bool RaiseThreadPriority() override { return ++raised, false; }
  void RestoreThreadPriority() override { ++restored; }
};

TEST(SchedHost, AnInstalledHostTakesSleepsAndPriorities) {
  SchedSpy spy;
  SchedHost* previous = SetSchedHost(&spy);
  SleepMs(500);
  EXPECT_FALSE(Sched().RaiseThreadPriority());
  Sched().RestoreThreadPriority();
  SetSchedHost(previous);
  EXPECT_EQ(spy.sleeps, std::vector<uint32_t>{500});
  EXPECT_EQ(spy.raised, 1);
  EXPECT_EQ(spy.restored, 1);
  // The real host: asking for real-time priority may be refused, never fatal.
  std::thread([] {
    Sched().RaiseThreadPriority();
    Sched().RestoreThreadPriority();
  }).join();
}

} // namespace
