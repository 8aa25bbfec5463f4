// The periodic and background work of the user interface: timer callbacks
// driven by one 50 ms timer, and idle tasks that run when the event loop is
// about to wait. Both run on the GUI thread inside the update bracket, so
// what a callback invalidates is repainted once when the pass ends.
#pragma once

#include "pc/sky/view.h"

#include <QObject>
#include <QTimer>

#include <memory>
#include <vector>

// One registration: a callback and its data word identify it; the callback
// answers 0 to be removed.
struct TTimerData {
  int32_t reload = 0;  // period in ticks (timers only)
  int32_t counter = 0; // ticks left until the next call (timers only)
  IViewTicker::TCallback callback = nullptr;
  void* data = nullptr;
  bool removed = false; // unlinked during a walk; dropped when the walk ends
};

// Registrations kept in order. A callback may add or remove entries of the
// list it runs from: a removed entry is skipped at once, an entry added during
// a walk is first visited by the next walk.
class TCallbackList {
public:
  void Add(int32_t reload, IViewTicker::TCallback callback, void* data);
  // The first live entry of the pair; true when there was one.
  bool RemoveFirst(IViewTicker::TCallback callback, void* data);
  void RemoveAll(IViewTicker::TCallback callback, void* data);
  size_t Count() const;
  // Calls every due entry once; timed: counts down and calls at 0.
  void Walk(bool timed);

private:
  void Purge();
  std::vector<std::unique_ptr<TTimerData>> entries_;
  int walking_ = 0;
};

// Timer callbacks on one precise 50 ms timer, which runs exactly while a
// callback is registered. Periods are raised to whole ticks, at least one.
class TTimerService : public QObject {
public:
  static constexpr int32_t kTickMs = 50;
  static int32_t TicksFor(int32_t ms);

  TTimerService();
  ~TTimerService() override;
  // From another thread the request is carried to the GUI thread.
  void Add(int32_t ms, IViewTicker::TCallback callback, void* data);
  // The first registration of the pair.
  void Remove(IViewTicker::TCallback callback, void* data);
  void RemoveAll(IViewTicker::TCallback callback, void* data);
  // One tick: the timer's handler, and what tests call instead of waiting.
  // A tick that arrives while one runs (a message box in a callback) does nothing.
  void Tick();
  size_t Count() const { return list_.Count(); }
  bool IsRunning() const { return timer_.isActive(); }

private:
  void Follow(); // starts or stops the timer to match the list
  TCallbackList list_;
  QTimer timer_;
  bool busy_ = false;
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

// Idle tasks: one pass each time the event loop of the GUI thread is about to
// wait, never inside a nested (modal) loop. While tasks remain the loop is
// kept from waiting, so they run again at once.
class TIdleService : public QObject {
public:
  // mainLoopLevel: the nesting level of the program's own event loop.
  explicit TIdleService(int mainLoopLevel = 1);
  ~TIdleService() override;
  void Add(IViewTicker::TCallback callback, void* data);
  void Remove(IViewTicker::TCallback callback, void* data);
  void RemoveAll(IViewTicker::TCallback callback, void* data);
  // One pass inside the update bracket; true while tasks remain.
  bool Pass();
  size_t Count() const { return list_.Count(); }

private:
  void AboutToBlock();
  TCallbackList list_;
  QTimer kick_; // an expiring timer wakes the loop for the next pass
  int mainLoopLevel_;
  bool running_ = false;
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

// The view ticker of the shell over both services. Removing covers every
// registration of the pair, as views expect.
class TShellTicker : public IViewTicker {
public:
  TShellTicker(TTimerService& timers, TIdleService& idle) : timers_(timers), idle_(idle) {}
  void AddTimer(int32_t ms, TCallback callback, void* data) override { timers_.Add(ms, callback, data); }
  void RemoveTimer(TCallback callback, void* data) override { timers_.RemoveAll(callback, data); }
  void AddIdleTask(TCallback callback, void* data) override { idle_.Add(callback, data); }
  void RemoveIdleTask(TCallback callback, void* data) override { idle_.RemoveAll(callback, data); }

private:
  TTimerService& timers_;
  TIdleService& idle_;
};
