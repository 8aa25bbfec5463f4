// Small conversions every engine routine shares: values that become table
// indexes or counters, the on/off test of event values, and the pitch,
// level and time conversions through the pitch table.
#pragma once

#include <cstdint>
#include <cstring>

#include "src/engine/tables.h"

// The bits of a float as a signed 32-bit integer.
inline int32_t FloatBits(float v) {
  int32_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  return bits;
}

// An event value is on when it is greater than 0 (tested on its bits: -0.0,
// 0.0, every negative value and a NaN with the sign bit are off).
inline bool IsOn(float v) { return FloatBits(v) >= 1; }
// True for 0.0 and -0.0.
inline bool IsZero(float v) { return (FloatBits(v) & 0x7fffffff) == 0; }

// A float truncated toward zero to a 32-bit integer without undefined
// behaviour: a NaN gives 0, values beyond the integer range give its ends.
inline int32_t TruncToInt(float v) {
  if (!(v == v)) return 0;
  if (v >= 2147483648.0f) return INT32_MAX;
  if (v <= -2147483648.0f) return INT32_MIN;
  return int32_t(v);
}
inline int32_t TruncToInt(double v) {
  if (!(v == v)) return 0;
  if (v >= 2147483647.0) return INT32_MAX;
  if (v <= -2147483648.0) return INT32_MIN;
  return int32_t(v);
}

// A value used as a table index or position: truncated toward zero and held
// to lo ... hi; a NaN gives lo when 0 lies outside the range, else 0.
inline int32_t ToIndex(float v, int32_t lo, int32_t hi) {
  int32_t i = TruncToInt(v);
  if (!(v == v)) i = 0;
  if (i < lo) return lo;
  if (i > hi) return hi;
  return i;
}

// Rate per second of an envelope time value: 1000 x 10^(-v/20), so 0 gives
// 1 ms and every 20 more a ten times longer time.
inline float TimeToRate(float v) { return PitchLookup(1797.94705708f - 9.96578428466f * v); }

// The length of an envelope time value in seconds (10^(v/20) milliseconds).
inline float TimeToSeconds(float v) { return PitchLookup(9.96578428466f * v + 602.0529429203f); }

// PitchToHz (pitch in semitones to Hz, 69 gives 440) and DecibelsToGain
// (10^(dB/20)) come with the tables.
