#include "src/base/system.h"
#include "src/base/tools.h"
#include "tests/common/testkit.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

TEST(PerfCounter, DiffWrapsModulo32Bits) {
  TPerfCounter a{(uint64_t(1) << 32) | 0xFFFFFFF0u};
  TPerfCounter b{(uint64_t(2) << 32) | 0x10u};
  EXPECT_EQ(PerfCounterDiff(&a, &b), 32u);
  EXPECT_EQ(PerfCounterDiff(&a, &a), 0u);
  TPerfCounter c{(uint64_t(3) << 32) | 0x10u};
  EXPECT_EQ(PerfCounterDiff(&a, &c), 32u);
  EXPECT_EQ(PerfCounterDiff64(&a, &c), (uint64_t(1) << 32) + 32u);

  TPerfCounter* x = NewPerfCounter();
  TPerfCounter* y = NewPerfCounter();
  ReadPerfCounter(x);
  ReadPerfCounter(y);
  EXPECT_GE(y->ticks, x->ticks);
  CopyPerfCounter(y, x);
  EXPECT_EQ(PerfCounterDiff(x, y), 0u);
  DeletePerfCounter(x);
  DeletePerfCounter(y);
  EXPECT_EQ(PerfCounterFrequency(), 1000000000u);
}

TEST(Heap, Limits) {
  EPtr<IHeap> small(CastToHeap(QV_CHECKPTR(CreateHeapOfSize(1000))));
  ASSERT_TRUE(small);
  EXPECT_EQ(small->Alloc(1001), nullptr);
  void* a = small->Alloc(600);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(small->Alloc(600), nullptr); // beyond the maximum in total
  small->Free(a);
  EXPECT_NE(small->Alloc(600), nullptr);
  EXPECT_EQ(small->Used(), 600u);

  EPtr<IHeap> unlimited(CreateHeapOfSize(0)); // 0 means unlimited
  void* big = unlimited->Alloc(50u * 1000 * 1000);
  EXPECT_NE(big, nullptr);

  EPtr<IHeap> standard(CreateHeap());
  EXPECT_EQ(standard->Alloc(1000001), nullptr);
  EXPECT_NE(standard->Alloc(1000), nullptr);
  // Deleting a heap releases the blocks still allocated (the sanitizer sees no leak).
}

TEST(CriticalSection, RecursiveAcrossThreads) {
  EPtr<ICriticalSection> cs(CastToCriticalSection(QV_CHECKPTR(CreateCriticalSection())));
  cs->Enter();
  cs->Enter();
  EXPECT_EQ(cs->HeldDepth(), 2);
  EXPECT_TRUE(cs->HeldByCurrentThread());

  std::atomic<bool> triedWhileHeld{false}, gotIt{false};
  std::thread other([&] {
    triedWhileHeld = !cs->TryEnter();
    TLockGuard g(*cs); // waits until both levels are left
    gotIt = true;
    EXPECT_TRUE(cs->HeldByCurrentThread());
  });
  while (!triedWhileHeld.load()) std::this_thread::yield();
  EXPECT_FALSE(gotIt.load());
  cs->Leave();
  EXPECT_FALSE(gotIt.load());
  cs->Leave();
  other.join();
  EXPECT_TRUE(gotIt.load());
  EXPECT_EQ(cs->HeldDepth(), 0);
  EXPECT_FALSE(cs->HeldByCurrentThread());

  // Counting under contention stays exact.
  int counter = 0;
  auto work = [&] {
    for (int i = 0; i < 20000; ++i) {
      TLockGuard g(*cs);
      TLockGuard nested(*cs);
      ++counter;
    }
  };
  std::thread t1(work), t2(work);
  t1.join();
  t2.join();
  EXPECT_EQ(counter, 40000);
}

TEST(MessageBox, KindsAndAnswers) {
  // What the host answers is mapped onto what a box of that kind can answer.
  struct Case {
    int kind, hostAnswer, answer;
  } cases[] = {
      {0, 0, 0}, {0, 3, 0}, {1, 0, 0}, {1, 1, 1}, {2, 2, 2}, {2, 3, 3}, {2, 1, 0},
      {3, 2, 2}, {3, 3, 3}, {3, 1, 1}, {7, 2, 0},
  };
  testkit::ScriptedHost host;
  for (const auto& c : cases) {
    host.QueueAnswer(c.hostAnswer);
    EXPECT_EQ(SystemMessageBox(TStr("t"), TStr("c"), c.kind), c.answer) << c.kind << "/" << c.hostAnswer;
  }
  Beep();
  EXPECT_EQ(host.Beeps(), 1);
}

TEST(MessageBox, HeadlessAnswersAsEscape) {
  struct Case {
    int kind, answer;
  } cases[] = {{0, 0}, {1, 1}, {2, 3}, {3, 1}, {9, 0}};
  for (const auto& c : cases) EXPECT_EQ(SystemMessageBox(TStr("headless"), TStr("t"), c.kind), c.answer);
}

TEST(Progress, DoesNothingVisible) {
  EPtr<IProgress> p(CastToProgress(QV_CHECKPTR(CreateProgress(TStr("task"), 0, 100, 0))));
  ASSERT_TRUE(p);
  p->Update(50);
}
