#include "pc/sky/clock.h"

#include "pc/sky/guithread.h"
#include "pc/sky/wnd.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QThread>

#include <algorithm>

// ---------------------------------------------------------------- list

void TCallbackList::Add(int32_t reload, IViewTicker::TCallback callback, void* data) {
  auto e = std::make_unique<TTimerData>();
  e->reload = e->counter = reload;
  e->callback = callback;
  e->data = data;
  entries_.push_back(std::move(e));
}

bool TCallbackList::RemoveFirst(IViewTicker::TCallback callback, void* data) {
  for (auto& e : entries_)
    if (!e->removed && e->callback == callback && e->data == data) {
      e->removed = true;
      Purge();
      return true;
    }
  return false;
}

void TCallbackList::RemoveAll(IViewTicker::TCallback callback, void* data) {
  for (auto& e : entries_)
    if (e->callback == callback && e->data == data) e->removed = true;
  Purge();
}

size_t TCallbackList::Count() const {
  return size_t(std::count_if(entries_.begin(), entries_.end(), [](const auto& e) { return !e->removed; }));
}

void TCallbackList::Purge() {
  if (walking_) return; // the walk drops them when it ends
  std::erase_if(entries_, [](const auto& e) { return e->removed; });
}

void TCallbackList::Walk(bool timed) {
  ++walking_;
  const size_t n = entries_.size(); // entries added meanwhile wait for the next walk
  for (size_t i = 0; i < n; ++i) {
    TTimerData* e = entries_[i].get(); // the vector may grow, the entries stay
    if (e->removed) continue;
    if (timed && --e->counter > 0) continue;
    e->counter = e->reload;
    if (!e->callback(e->data)) e->removed = true;
  }
  --walking_;
  Purge();
}

// ---------------------------------------------------------------- timers

int32_t TTimerService::TicksFor(int32_t ms) { return std::max<int32_t>(1, (ms + kTickMs - 1) / kTickMs); }

TTimerService::TTimerService() {
  timer_.setTimerType(Qt::PreciseTimer);
  timer_.setInterval(kTickMs);
  QObject::connect(&timer_, &QTimer::timeout, this, [this] { Tick(); });
}

TTimerService::~TTimerService() = default;

void TTimerService::Add(int32_t ms, IViewTicker::TCallback callback, void* data) {
  if (!sky::IsGuiThread()) {
    std::weak_ptr<int> alive = alive_;
    sky::PostToGui([this, alive, ms, callback, data] {
      if (!alive.expired()) Add(ms, callback, data);
    });
    return;
  }
  list_.Add(TicksFor(ms), callback, data);
  Follow();
}

void TTimerService::Remove(IViewTicker::TCallback callback, void* data) {
  QV_ASSERT_GUI_THREAD();
  list_.RemoveFirst(callback, data);
  Follow();
}

void TTimerService::RemoveAll(IViewTicker::TCallback callback, void* data) {
  QV_ASSERT_GUI_THREAD();
  list_.RemoveAll(callback, data);
  Follow();
}

void TTimerService::Follow() {
  if (busy_) return; // the tick follows the list when it ends
  const bool want = list_.Count() > 0;
  if (want == timer_.isActive()) return;
  if (want) timer_.start();
  else timer_.stop();
}

void TTimerService::Tick() {
  QV_ASSERT_GUI_THREAD();
  if (busy_) return;
  busy_ = true;
  {
    TUpdateBracket bracket;
    list_.Walk(true);
  }
  busy_ = false;
  Follow();
}

// ---------------------------------------------------------------- idle tasks

TIdleService::TIdleService(int mainLoopLevel) : mainLoopLevel_(mainLoopLevel) {
  kick_.setSingleShot(true);
  kick_.setInterval(0);
  if (QCoreApplication* app = QCoreApplication::instance())
    if (QAbstractEventDispatcher* d = QAbstractEventDispatcher::instance(app->thread()))
      QObject::connect(d, &QAbstractEventDispatcher::aboutToBlock, this, [this] { AboutToBlock(); });
}

TIdleService::~TIdleService() = default;

void TIdleService::Add(IViewTicker::TCallback callback, void* data) {
  if (!sky::IsGuiThread()) {
    std::weak_ptr<int> alive = alive_;
    sky::PostToGui([this, alive, callback, data] {
      if (!alive.expired()) Add(callback, data);
    });
    return;
  }
  list_.Add(0, callback, data);
  if (!kick_.isActive()) kick_.start(); // the loop may be waiting already
}

void TIdleService::Remove(IViewTicker::TCallback callback, void* data) {
  QV_ASSERT_GUI_THREAD();
  list_.RemoveFirst(callback, data);
}

void TIdleService::RemoveAll(IViewTicker::TCallback callback, void* data) {
  QV_ASSERT_GUI_THREAD();
  list_.RemoveAll(callback, data);
}

bool TIdleService::Pass() {
  QV_ASSERT_GUI_THREAD();
  {
    TUpdateBracket bracket;
    list_.Walk(false);
  }
  return list_.Count() > 0;
}

void TIdleService::AboutToBlock() {
  if (running_ || list_.Count() == 0) return;
  if (QThread::currentThread()->loopLevel() > mainLoopLevel_) return; // a modal loop runs
  if (QApplication::activeModalWidget() || QApplication::activePopupWidget()) return;
  running_ = true;
  const bool more = Pass();
  running_ = false;
  if (more) kick_.start();
}
