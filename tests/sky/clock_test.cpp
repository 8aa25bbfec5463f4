// Timer callbacks and idle tasks of the shell.
#include "pc/sky/clock.h"
#include "pc/sky/wnd.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <thread>
#include <vector>

namespace {

// Counts its calls, records the tick of each and answers 0 after `life` calls.
struct Probe {
  int calls = 0;
  int life = 1 << 30;
  int tick = 0;
  std::vector<int> at;
  int bracketSeen = 1;
  static int Call(void* data) {
    auto* p = static_cast<Probe*>(data);
    ++p->calls;
    p->at.push_back(p->tick);
    if (GetUpdateCount() == 0) p->bracketSeen = 0;
    return p->calls < p->life;
  }
};

void TickN(TTimerService& s, std::vector<Probe*> probes, int n) {
  for (int i = 1; i <= n; ++i) {
    for (Probe* p : probes) p->tick = i;
    s.Tick();
  }
}

TEST(TimerService, PeriodsAreRaisedToWholeTicksOfAtLeastOne) {
  struct Case {
    int32_t ms;
    std::vector<int> ticks;
  };
  const Case cases[] = {
      {120, {3, 6, 9}},
      {150, {3, 6, 9}},
      {151, {4, 8}},
      {50, {1, 2, 3, 4, 5, 6, 7, 8, 9}},
      {1, {1, 2, 3, 4, 5, 6, 7, 8, 9}},
      {0, {1, 2, 3, 4, 5, 6, 7, 8, 9}}, // a 0 ms timer still fires, every tick
      {-5, {1, 2, 3, 4, 5, 6, 7, 8, 9}},
  };
  for (const Case& c : cases) {
    TTimerService s;
    Probe p;
    s.Add(c.ms, &Probe::Call, &p);
    TickN(s, {&p}, 9);
    EXPECT_EQ(p.at, c.ticks) << c.ms << " ms";
    EXPECT_EQ(p.bracketSeen, 1) << "callbacks run inside the update bracket";
  }
}

TEST(TimerService, ACallbackAnsweringZeroIsDroppedAndTheTimerStopsWhenNoneIsLeft) {
  TTimerService s;
  EXPECT_FALSE(s.IsRunning());
  Probe once, twice;
  once.life = 1;
  twice.life = 2;
  s.Add(50, &Probe::Call, &once);
  s.Add(100, &Probe::Call, &twice);
  EXPECT_TRUE(s.IsRunning());
  TickN(s, {&once, &twice}, 6);
  EXPECT_EQ(once.at, std::vector<int>{1});
  EXPECT_EQ(twice.at, (std::vector<int>{2, 4}));
  EXPECT_EQ(s.Count(), 0u);
  EXPECT_FALSE(s.IsRunning());
}

TEST(TimerService, RemoveTakesTheFirstOfTwoRegistrationsAndUnknownPairsAreHarmless) {
  TTimerService s;
  Probe p, other;
  s.Remove(&Probe::Call, &p); // nothing registered yet
  s.Add(50, &Probe::Call, &p);
  s.Add(150, &Probe::Call, &p);
  s.Remove(&Probe::Call, &other);
  EXPECT_EQ(s.Count(), 2u);
  s.Remove(&Probe::Call, &p);
  EXPECT_EQ(s.Count(), 1u);
  TickN(s, {&p}, 3);
  EXPECT_EQ(p.at, std::vector<int>{3}) << "the 50 ms registration went, the 150 ms one stayed";
  s.RemoveAll(&Probe::Call, &p);
  EXPECT_FALSE(s.IsRunning());
}

// A callback that removes other entries or adds new ones while the tick walks the list.
struct Meddler {
  TTimerService* service;
  std::vector<Probe*> removes;
  Probe* adds = nullptr;
  int calls = 0;
  static int Call(void* data) {
    auto* m = static_cast<Meddler*>(data);
    ++m->calls;
    for (Probe* p : m->removes) m->service->Remove(&Probe::Call, p);
    m->removes.clear();
    if (m->adds) m->service->Add(50, &Probe::Call, std::exchange(m->adds, nullptr));
    return 0; // and removes itself
  }
};

TEST(TimerService, ACallbackMayRemoveEntriesBeforeAndAfterItselfDuringTheWalk) {
  TTimerService s;
  Probe before, after, added, last;
  Meddler m{&s, {&before, &after}, &added};
  s.Add(50, &Probe::Call, &before);
  s.Add(50, &Meddler::Call, &m);
  s.Add(50, &Probe::Call, &after);
  s.Add(50, &Probe::Call, &last);
  s.Tick();
  EXPECT_EQ(before.calls, 1);
  EXPECT_EQ(m.calls, 1);
  EXPECT_EQ(after.calls, 0) << "removed before its turn";
  EXPECT_EQ(last.calls, 1) << "the walk goes on past the removed entries";
  EXPECT_EQ(added.calls, 0) << "an entry added during a tick waits for the next";
  EXPECT_EQ(s.Count(), 2u);
  s.Tick();
  EXPECT_EQ(added.calls, 1);
  EXPECT_EQ(before.calls, 1);
  EXPECT_EQ(last.calls, 2);
}

struct NestedTicker {
  TTimerService* service;
  int calls = 0;
  static int Call(void* data) {
    auto* n = static_cast<NestedTicker*>(data);
    ++n->calls;
    n->service->Tick(); // as a message box inside a callback would
    return 1;
  }
};

TEST(TimerService, ATickInsideACallbackDoesNothing) {
  TTimerService s;
  NestedTicker n{&s};
  s.Add(50, &NestedTicker::Call, &n);
  s.Tick();
  EXPECT_EQ(n.calls, 1);
  s.RemoveAll(&NestedTicker::Call, &n);
}

constexpr int kSafetyMs = 20000; // ends a broken loop; a working one ends long before

// The one test on the real timer: the service's own timer drives the event
// loop until a callback has had ten ticks and answers 0, which stops the
// timer. The clock bounds the run from below only: ten ticks take at least
// nine periods (never faster than the period); a safety timer ends a broken
// loop, which then shows in the count.
struct LoopProbe {
  static constexpr int kWanted = 10;
  int calls = 0;
  QEventLoop* loop = nullptr;
  static int Call(void* data) {
    auto* p = static_cast<LoopProbe*>(data);
    if (++p->calls < kWanted) return 1;
    p->loop->quit();
    return 0;
  }
};

TEST(TimerService, TheRealEventLoopTicksEveryFiftyMilliseconds) {
  TTimerService s;
  LoopProbe p;
  QEventLoop loop;
  p.loop = &loop;
  QElapsedTimer clock;
  clock.start();
  s.Add(TTimerService::kTickMs, &LoopProbe::Call, &p);
  ASSERT_TRUE(s.IsRunning());
  QTimer::singleShot(kSafetyMs, &loop, &QEventLoop::quit);
  loop.exec();
  const qint64 elapsed = clock.elapsed();
  EXPECT_EQ(p.calls, LoopProbe::kWanted) << "the timer stopped ticking";
  EXPECT_GE(elapsed, (LoopProbe::kWanted - 1) * TTimerService::kTickMs) << "never faster than the period";
  EXPECT_FALSE(s.IsRunning()) << "the last callback answered 0: no timer is left";
  EXPECT_EQ(s.Count(), 0u);
}

// ---------------------------------------------------------------- idle tasks

struct IdleProbe {
  int calls = 0;
  int wanted = 5;
  int loopLevelSeen = 0;
  QEventLoop* loop = nullptr;
  static int Call(void* data) {
    auto* p = static_cast<IdleProbe*>(data);
    ++p->calls;
    p->loopLevelSeen = std::max(p->loopLevelSeen, int(QThread::currentThread()->loopLevel()));
    if (p->calls < p->wanted) return 1;
    if (p->loop) p->loop->quit();
    return 0;
  }
};

TEST(IdleService, ATaskWantingFivePassesGetsFiveWhileTheLoopWaits) {
  TIdleService idle;
  IdleProbe p;
  QEventLoop loop;
  p.loop = &loop;
  idle.Add(&IdleProbe::Call, &p);
  QTimer::singleShot(kSafetyMs, &loop, &QEventLoop::quit);
  loop.exec();
  EXPECT_EQ(p.calls, 5);
  EXPECT_EQ(idle.Count(), 0u);
  QCoreApplication::processEvents();
  EXPECT_EQ(p.calls, 5) << "a task that answered 0 is not called again";
}

TEST(IdleService, NoPassRunsInsideANestedModalLoop) {
  TIdleService idle;
  IdleProbe p;
  QEventLoop outer;
  p.loop = &outer;
  p.wanted = 1;
  // The nested loop waits for a few 1 ms timer expiries, blocking in between.
  int nestedTicks = 0, callsDuringNested = -1;
  QTimer::singleShot(0, &outer, [&] {
    QEventLoop nested;
    QTimer t;
    QObject::connect(&t, &QTimer::timeout, &nested, [&] {
      if (++nestedTicks == 20) nested.quit();
    });
    t.start(1);
    idle.Add(&IdleProbe::Call, &p);
    nested.exec();
    callsDuringNested = p.calls;
  });
  QTimer::singleShot(kSafetyMs, &outer, &QEventLoop::quit);
  outer.exec();
  EXPECT_EQ(callsDuringNested, 0);
  EXPECT_EQ(p.calls, 1) << "the task ran once the outer loop waited again";
  EXPECT_EQ(p.loopLevelSeen, 1);
}

TEST(IdleService, ATaskAddedOnAnotherThreadIsCarriedToTheGuiThread) {
  TIdleService idle;
  IdleProbe p;
  QEventLoop loop;
  p.loop = &loop;
  p.wanted = 1;
  std::thread other([&] { idle.Add(&IdleProbe::Call, &p); });
  other.join();
  EXPECT_EQ(idle.Count(), 0u) << "not yet: the request waits for the GUI thread";
  QTimer::singleShot(kSafetyMs, &loop, &QEventLoop::quit);
  loop.exec();
  EXPECT_EQ(p.calls, 1);
}

TEST(IdleService, APassRunsInsideTheUpdateBracketAndSkipsRemovedTasks) {
  TIdleService idle;
  Probe a, b;
  idle.Add(&Probe::Call, &a);
  idle.Add(&Probe::Call, &b);
  idle.Add(&Probe::Call, &b);
  idle.Remove(&Probe::Call, &b);
  EXPECT_EQ(idle.Count(), 2u);
  EXPECT_TRUE(idle.Pass());
  EXPECT_EQ(a.calls, 1);
  EXPECT_EQ(b.calls, 1);
  EXPECT_EQ(a.bracketSeen, 1);
  idle.RemoveAll(&Probe::Call, &a);
  idle.RemoveAll(&Probe::Call, &b);
  EXPECT_FALSE(idle.Pass());
}

} // namespace
