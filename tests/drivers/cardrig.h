// A simulated card for a test: switched on for the test's lifetime, with a
// manual service timer, sleeps that only count, and a recorder of the card
// library's callbacks.
#pragma once

#include "aw8link/aw8link.h"
#include "platform/carddriver.h"
#include "platform/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace cardrig {

// Sleeps return at once; their lengths are added up.
class CountingSched : public platform::SchedHost {
public:
  CountingSched() : previous_(platform::SetSchedHost(this)) {}
  ~CountingSched() override { platform::SetSchedHost(previous_); }
  void Sleep(uint32_t milliseconds) override { slept_.fetch_add(milliseconds); }
  bool RaiseThreadPriority() override { return true; }
  void RestoreThreadPriority() override {}
  uint32_t Slept() const { return slept_.load(); }

private:
  platform::SchedHost* previous_;
  std::atomic<uint32_t> slept_{0};
};

// One callback as the library made it.
struct Call {
  int32_t kind;
  void* block;
  int32_t words;
};

// Records every callback (from the service's thread) into a fixed table.
class Recorder {
public:
  static constexpr size_t kCapacity = 1 << 16;
  Recorder() : calls_(kCapacity) {}

  static int32_t Callback(TAw8CallbackRecord* r) {
    auto* self = static_cast<Recorder*>(r->context);
    if (self->stopped_.load()) self->lateCalls_.fetch_add(1);
    if (self->onCall_) self->onCall_(self->userData_, r);
    size_t n = self->count_.load(std::memory_order_relaxed);
    if (n < kCapacity) self->calls_[n] = {r->kind, r->block, r->words};
    self->count_.store(n + 1, std::memory_order_release);
    self->perKind_[r->kind & 3].fetch_add(1, std::memory_order_release);
    return 0;
  }

  TAw8OpenRecord Open(int32_t frames, uint16_t mode, int32_t input = 1) {
    return TAw8OpenRecord{this, &Recorder::Callback, frames, mode, 0, input};
  }
  // A hook that runs inside every callback (before it is recorded).
  void OnCall(void (*hook)(void*, TAw8CallbackRecord*), void* user) {
    onCall_ = hook;
    userData_ = user;
  }

  size_t Count() const { return count_.load(std::memory_order_acquire); }
  uint32_t Kind(int kind) const { return perKind_[kind].load(std::memory_order_acquire); }
  std::vector<Call> Calls() const {
    size_t n = Count();
    return std::vector<Call>(calls_.begin(), calls_.begin() + long(n < kCapacity ? n : kCapacity));
  }
  // While set, every call counts as late (the client has stopped the card).
  void SetStopped(bool stopped) { stopped_.store(stopped); }
  uint32_t LateCalls() const { return lateCalls_.load(); }

  // Waits (bounded, without sleeping on the clock) until `kind` has been
  // called `count` times; false when that never happened.
  bool WaitForKind(int kind, uint32_t count) const {
    for (long spins = 0; spins < 200000000L; ++spins) {
      if (Kind(kind) >= count) return true;
      std::this_thread::yield();
    }
    return false;
  }

private:
  std::vector<Call> calls_;
  std::atomic<size_t> count_{0};
  std::atomic<uint32_t> perKind_[4] = {};
  std::atomic<bool> stopped_{false};
  std::atomic<uint32_t> lateCalls_{0};
  void (*onCall_)(void*, TAw8CallbackRecord*) = nullptr;
  void* userData_ = nullptr;
};

// The simulated card, switched on for a test.
class CardTest : public ::testing::Test {
protected:
  void SetUp() override {
    card_ = &platform::SimulatedCard::SwitchOn();
    card_->UseTimer(&timer_);
  }
  void TearDown() override { platform::SimulatedCard::SwitchOff(); }
  // Timer mode: one tick of the service.
  void Tick() { ASSERT_TRUE(timer_.Fire()); }

  CountingSched sched_;
  platform::ManualTimer timer_;
  platform::SimulatedCard* card_ = nullptr;
};

inline constexpr uint16_t kThreadMode = 0;
inline constexpr uint16_t kTimerMode = 1;

} // namespace cardrig
