// Whole-value reads for records whose end must not pass unnoticed: a value
// cut short raises the stream's read error.
#pragma once

#include "src/base/inout.h"

#include <cstdint>
#include <cstring>

inline uint32_t ReadWholeU32(TInOut& stream) {
  uint8_t bytes[4];
  if (stream.RawRead(bytes, 4) != 4) stream.RaiseReadError();
  uint32_t v;
  std::memcpy(&v, bytes, 4);
  ToByteOrder32(&v, stream.GetByteOrder());
  return v;
}

inline int32_t ReadWholeI32(TInOut& stream) { return int32_t(ReadWholeU32(stream)); }

inline float ReadWholeFloat(TInOut& stream) {
  const uint32_t bits = ReadWholeU32(stream);
  float v;
  std::memcpy(&v, &bits, 4);
  return v;
}

inline int16_t ReadWholeI16(TInOut& stream) {
  uint8_t bytes[2];
  if (stream.RawRead(bytes, 2) != 2) stream.RaiseReadError();
  uint16_t v;
  std::memcpy(&v, bytes, 2);
  ToByteOrder16(&v, stream.GetByteOrder());
  return int16_t(v);
}

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
