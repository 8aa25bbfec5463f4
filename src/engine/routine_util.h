// What the per-sample, control-rate, clock-tick and display routines share:
// the high test of audio inputs, edge flags, the sending rule of event
// outputs and the shift register of the random sources.
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

// Value v leaves event output `output` of the sender for voice `voice`: a
// one-voice sender reaches every voice of each destination, a polyphonic one
// the same voice.
inline void Send(TEngineRecord* r, int32_t output, int32_t voice, float v) {
  if (!r || !r->routeCounts || output < 0 || output >= r->eventOutputs) return;
  const int32_t count = r->routeCounts[output];
  TEventRoutine* routines = r->routeRoutines[output];
  TEngineRecord** targets = r->routeTargets[output];
  for (int32_t k = 0; k < count; ++k) {
    if (r->voices == 1) {
      for (int32_t j = 0; j < targets[k]->voices; ++j) routines[k](targets[k], j, v);
    } else {
      routines[k](targets[k], voice, v);
    }
  }
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

} // namespace routines
