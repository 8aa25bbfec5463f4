#include "src/base/inout.h"

#include <algorithm>
#include <cstring>
#include <string>

QV_MESSAGE(ReadDataError, "Error while reading data.")

uint16_t ByteSwap16(uint16_t v) { return uint16_t((v >> 8) | (v << 8)); }
uint32_t ByteSwap32(uint32_t v) { return __builtin_bswap32(v); }
double ByteSwapDouble(double v) {
  uint64_t u;
  std::memcpy(&u, &v, 8);
  u = __builtin_bswap64(u);
  std::memcpy(&v, &u, 8);
  return v;
}

void SwapInPlace16(void* p) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  v = ByteSwap16(v);
  std::memcpy(p, &v, 2);
}
void SwapInPlace32(void* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  v = ByteSwap32(v);
  std::memcpy(p, &v, 4);
}
void SwapInPlaceDouble(void* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  v = __builtin_bswap64(v);
  std::memcpy(p, &v, 8);
}
void ToByteOrder16(void* p, int order) { if (order == 1) SwapInPlace16(p); }
void ToByteOrder32(void* p, int order) { if (order == 1) SwapInPlace32(p); }
void ToByteOrderDouble(void* p, int order) { if (order == 1) SwapInPlaceDouble(p); }
void ToByteOrderArray16(void* buffer, int32_t n, int order) {
  if (order != 1) return;
  for (int32_t i = 0; i < n; ++i) SwapInPlace16(static_cast<char*>(buffer) + 2 * i);
}
void ToByteOrderArray32(void* buffer, int32_t n, int order) {
  if (order != 1) return;
  for (int32_t i = 0; i < n; ++i) SwapInPlace32(static_cast<char*>(buffer) + 4 * i);
}
void ToByteOrderArrayFloat(float* buffer, int32_t n, int order) { ToByteOrderArray32(buffer, n, order); }
void ToByteOrderArrayDouble(double* buffer, int32_t n, int order) {
  if (order != 1) return;
  for (int32_t i = 0; i < n; ++i) SwapInPlaceDouble(buffer + i);
}

TInOut::~TInOut() { TDestructorScope scope; }

void TInOut::RaiseReadError() { ThrowError(&ReadDataError()); }

namespace {
// Writes n values of the given width, converting a copy when the stream's
// order is not the machine's; the caller's array is never changed.
template <int W> void WriteArray(TInOut& s, const void* buffer, int32_t n) {
  if (n <= 0) return;
  const uint32_t bytes = uint32_t(n) * W;
  if (s.GetByteOrder() == MachineByteOrder()) {
    s.RawWrite(buffer, bytes);
    return;
  }
  std::vector<uint8_t> copy(static_cast<const uint8_t*>(buffer), static_cast<const uint8_t*>(buffer) + bytes);
  for (int32_t i = 0; i < n; ++i) std::reverse(copy.begin() + i * W, copy.begin() + (i + 1) * W);
  s.RawWrite(copy.data(), bytes);
}
template <int W> int32_t ReadArray(TInOut& s, void* buffer, int32_t n) {
  if (n <= 0) return 0;
  uint32_t got = s.RawRead(buffer, uint32_t(n) * W);
  int32_t values = int32_t(got / W);
  if (s.GetByteOrder() == 1) {
    uint8_t* b = static_cast<uint8_t*>(buffer);
    for (int32_t i = 0; i < values; ++i) std::reverse(b + i * W, b + (i + 1) * W);
  }
  return values;
}
} // namespace

void TInOut::WriteShortArray(const int16_t* b, int32_t n) { WriteArray<2>(*this, b, n); }
void TInOut::WriteLongArray(const int32_t* b, int32_t n) { WriteArray<4>(*this, b, n); }
void TInOut::WriteFloatArray(const float* b, int32_t n) { WriteArray<4>(*this, b, n); }
void TInOut::WriteDoubleArray(const double* b, int32_t n) { WriteArray<8>(*this, b, n); }
int32_t TInOut::ReadShortArray(int16_t* b, int32_t n) { return ReadArray<2>(*this, b, n); }
int32_t TInOut::ReadLongArray(int32_t* b, int32_t n) { return ReadArray<4>(*this, b, n); }
int32_t TInOut::ReadFloatArray(float* b, int32_t n) { return ReadArray<4>(*this, b, n); }
int32_t TInOut::ReadDoubleArray(double* b, int32_t n) { return ReadArray<8>(*this, b, n); }

TInOut& TInOut::WriteShort(int16_t v) {
  ToByteOrder16(&v, byteOrder_);
  RawWrite(&v, 2);
  return *this;
}
TInOut& TInOut::WriteLong(int32_t v) {
  ToByteOrder32(&v, byteOrder_);
  RawWrite(&v, 4);
  return *this;
}
TInOut& TInOut::WriteFloat(float v) {
  ToByteOrder32(&v, byteOrder_);
  RawWrite(&v, 4);
  return *this;
}
TInOut& TInOut::WriteDouble(double v) {
  ToByteOrderDouble(&v, byteOrder_);
  RawWrite(&v, 8);
  return *this;
}
TInOut& TInOut::WriteStr(const TStr& s) {
  WriteULong(uint32_t(s.Length()));
  if (s.Length() > 0) RawWrite(s.CStr(), uint32_t(s.Length()));
  return *this;
}
TInOut& TInOut::WritePnt(const TPnt& p) { return WriteULong(uint32_t(p.X())).WriteULong(uint32_t(p.Y())); }
TInOut& TInOut::WriteArea(const TArea& a) {
  return WriteULong(uint32_t(a.Left())).WriteULong(uint32_t(a.Top())).WriteULong(uint32_t(a.Right())).WriteULong(uint32_t(a.Bottom()));
}

namespace {
// Reads one value of type T. A short read leaves the rest of the target as it
// was; only a whole value is converted to the machine's order.
template <class T> void ReadValue(TInOut& s, T& v) {
  T t = v;
  uint32_t n = s.RawRead(&t, sizeof(T));
  if (n == sizeof(T) && s.GetByteOrder() == 1) {
    uint8_t* b = reinterpret_cast<uint8_t*>(&t);
    std::reverse(b, b + sizeof(T));
  }
  if (n > 0) std::memcpy(&v, &t, sizeof(T));
}
} // namespace

TInOut& TInOut::ReadShort(int16_t& v) { ReadValue(*this, v); return *this; }
TInOut& TInOut::ReadUShort(uint16_t& v) { ReadValue(*this, v); return *this; }
TInOut& TInOut::ReadLong(int32_t& v) { ReadValue(*this, v); return *this; }
TInOut& TInOut::ReadULong(uint32_t& v) { ReadValue(*this, v); return *this; }
TInOut& TInOut::ReadFloat(float& v) { ReadValue(*this, v); return *this; }
TInOut& TInOut::ReadDouble(double& v) { ReadValue(*this, v); return *this; }

TInOut& TInOut::ReadStr(TStr& s) {
  uint8_t lenBytes[4];
  if (RawRead(lenBytes, 4) != 4) RaiseReadError();
  uint32_t length;
  std::memcpy(&length, lenBytes, 4);
  ToByteOrder32(&length, byteOrder_);
  const int64_t left = Remaining();
  if (left >= 0 && int64_t(length) > left) RaiseReadError();
  // Read in pieces so that a damaged length on a stream of unknown size
  // allocates no more than what is really there.
  std::string text;
  char chunk[65536];
  uint32_t todo = length;
  while (todo > 0) {
    uint32_t want = std::min<uint32_t>(todo, sizeof chunk);
    uint32_t got = RawRead(chunk, want);
    text.append(chunk, got);
    if (got != want) RaiseReadError();
    todo -= got;
  }
  s = TStr(text.data(), uint32_t(text.size()));
  return *this;
}

TInOut& TInOut::ReadPnt(TPnt& p) {
  uint32_t x = 0, y = 0;
  ReadULong(x).ReadULong(y);
  p.Set(int32_t(x), int32_t(y));
  return *this;
}
TInOut& TInOut::ReadArea(TArea& a) {
  uint32_t l = uint32_t(a.Left()), t = uint32_t(a.Top()), r = uint32_t(a.Right()), b = uint32_t(a.Bottom());
  ReadULong(l).ReadULong(t).ReadULong(r).ReadULong(b);
  a.Set(int32_t(l), int32_t(t), int32_t(r), int32_t(b));
  return *this;
}

void TMemInOut::RawWrite(const void* buffer, uint32_t count) {
  const uint8_t* b = static_cast<const uint8_t*>(buffer);
  if (pos_ == data_.size()) {
    data_.insert(data_.end(), b, b + count);
  } else {
    if (pos_ + count > data_.size()) data_.resize(pos_ + count);
    std::memcpy(data_.data() + pos_, b, count);
  }
  pos_ += count;
}

uint32_t TMemInOut::RawRead(void* buffer, uint32_t count) {
  size_t n = std::min<size_t>(count, data_.size() - pos_);
  if (n) std::memcpy(buffer, data_.data() + pos_, n);
  pos_ += n;
  return uint32_t(n);
}
