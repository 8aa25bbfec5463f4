// Whole-value reads for records whose end must not pass unnoticed: a value
// cut short raises the stream's read error.
#pragma once

#include "src/base/inout.h"

#include <cstdint>
#include <cstring>

// One whole value of 2 or 4 bytes in the stream's order.
template <class T> T ReadWhole(TInOut& stream) {
  static_assert(sizeof(T) == 2 || sizeof(T) == 4);
  uint8_t bytes[sizeof(T)];
  if (stream.RawRead(bytes, sizeof(T)) != sizeof(T)) stream.RaiseReadError();
  T v;
  std::memcpy(&v, bytes, sizeof(T));
  if constexpr (sizeof(T) == 2) ToByteOrder16(&v, stream.GetByteOrder());
  else ToByteOrder32(&v, stream.GetByteOrder());
  return v;
}

inline uint32_t ReadWholeU32(TInOut& stream) { return ReadWhole<uint32_t>(stream); }
inline int32_t ReadWholeI32(TInOut& stream) { return ReadWhole<int32_t>(stream); }
inline float ReadWholeFloat(TInOut& stream) { return ReadWhole<float>(stream); }

// Skips count bytes; fewer left raises the read error.
inline void SkipWhole(TInOut& stream, uint32_t count) {
  const int64_t left = stream.Remaining();
  if (left >= 0 && int64_t(count) > left) stream.RaiseReadError();
  uint8_t scratch[4096];
  while (count > 0) {
    const uint32_t want = count < sizeof scratch ? count : uint32_t(sizeof scratch);
    if (stream.RawRead(scratch, want) != want) stream.RaiseReadError();
    count -= want;
  }
}
