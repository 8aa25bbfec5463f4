// What the per-sample, control-rate, clock-tick and display routines share:
// the high test of audio inputs, edge flags, the shift register of the
// random sources and the words shared with the GUI thread.
#pragma once

#include <atomic>
#include <cstdint>

#include "src/engine/convert.h"
#include "src/engine/engine.h"

namespace routines {

// An audio trigger, sync, clock, gate or control input is high when it is
// greater than 0, tested on its bits (every negative value, -0.0 and a NaN
// with the sign bit are low).
inline bool High(float v) { return IsOn(v); }

// An edge detector keeps an integer flag: set on the first high sample,
// cleared on the first low one. True on the first high sample only.
inline bool RisingEdge(TWord& flag, float v) {
  if (!High(v)) {
    flag.i = 0;
    return false;
  }
  if (flag.i != 0) return false;
  flag.i = 1;
  return true;
}

// One step of the 32-bit shift register of "Random" and "Slow Random":
// returns the feedback word t and shifts it in at the top. The shifts are
// unsigned: an arithmetic shift would smear the sign bit and the sequence
// would lock up.
inline uint32_t RandomStep(uint32_t& g) {
  const uint32_t t = (g >> 6) ^ (g >> 13) ^ g;
  g = (g >> 1) | (t << 31);
  return t;
}
// The value -1 ... 1 of a feedback word.
inline float RandomValue(uint32_t t) { return float(t & 0xFFFFu) * 3.0518e-05f - 1.0f; }

// Words that a display routine on the GUI thread shares with the audio
// thread are read and written as relaxed atomics on both sides.
inline float LoadShared(const float& cell) {
  return std::atomic_ref<float>(const_cast<float&>(cell)).load(std::memory_order_relaxed);
}
inline void StoreShared(float& cell, float v) {
  std::atomic_ref<float>(cell).store(v, std::memory_order_relaxed);
}
inline int32_t LoadShared(const int32_t& cell) {
  return std::atomic_ref<int32_t>(const_cast<int32_t&>(cell)).load(std::memory_order_relaxed);
}
inline void StoreShared(int32_t& cell, int32_t v) {
  std::atomic_ref<int32_t>(cell).store(v, std::memory_order_relaxed);
}
template <class T> T* LoadShared(T* const& cell) {
  return std::atomic_ref<T*>(const_cast<T*&>(cell)).load(std::memory_order_relaxed);
}
template <class T> void StoreShared(T*& cell, T* v) { std::atomic_ref<T*>(cell).store(v, std::memory_order_relaxed); }

} // namespace routines
