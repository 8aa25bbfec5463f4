// The typed byte stream with a byte-order flag, and the byte-order helpers.
#pragma once

#include "src/base/area.h"
#include "src/base/str.h"

#include <cstdint>
#include <vector>

uint16_t ByteSwap16(uint16_t v);
uint32_t ByteSwap32(uint32_t v);
double ByteSwapDouble(double v);
void SwapInPlace16(void* p);
void SwapInPlace32(void* p);
void SwapInPlaceDouble(void* p);
void ToByteOrder16(void* p, int order);
void ToByteOrder32(void* p, int order);
void ToByteOrderDouble(void* p, int order);
void ToByteOrderArray16(void* buffer, int32_t n, int order);
void ToByteOrderArray32(void* buffer, int32_t n, int order);
void ToByteOrderArrayFloat(float* buffer, int32_t n, int order);
void ToByteOrderArrayDouble(double* buffer, int32_t n, int order);
inline void SwapBytesNoOp(void*) {}
inline int MachineByteOrder() { return 0; }

class TInOut {
public:
  TInOut() = default;
  virtual ~TInOut();

  virtual void SetByteOrder(int order) { byteOrder_ = order; }
  int GetByteOrder() const { return byteOrder_; }

  virtual void RawWrite(const void* buffer, uint32_t count) = 0;
  virtual void WriteBytes(const void* buffer, uint32_t count) { RawWrite(buffer, count); }
  virtual void WriteShortArray(const int16_t* buffer, int32_t n);
  virtual void WriteLongArray(const int32_t* buffer, int32_t n);
  virtual void WriteFloatArray(const float* buffer, int32_t n);
  virtual void WriteDoubleArray(const double* buffer, int32_t n);
  virtual uint32_t RawRead(void* buffer, uint32_t count) = 0;
  virtual uint32_t ReadBytes(void* buffer, uint32_t count) { return RawRead(buffer, count); }
  virtual int32_t ReadShortArray(int16_t* buffer, int32_t n);
  virtual int32_t ReadLongArray(int32_t* buffer, int32_t n);
  virtual int32_t ReadFloatArray(float* buffer, int32_t n);
  virtual int32_t ReadDoubleArray(double* buffer, int32_t n);

  // Bytes left to read, or -1 when the stream cannot tell.
  virtual int64_t Remaining() const { return -1; }
  // Raises the stream's read error (a file names itself in it).
  [[noreturn]] virtual void RaiseReadError();

  TInOut& WriteChar(int8_t v) { RawWrite(&v, 1); return *this; }
  TInOut& WriteUChar(uint8_t v) { RawWrite(&v, 1); return *this; }
  TInOut& WriteShort(int16_t v);
  TInOut& WriteUShort(uint16_t v) { return WriteShort(int16_t(v)); }
  TInOut& WriteLong(int32_t v);
  TInOut& WriteULong(uint32_t v) { return WriteLong(int32_t(v)); }
  TInOut& WriteFloat(float v);
  TInOut& WriteDouble(double v);
  TInOut& WriteStr(const TStr& s);
  TInOut& WritePnt(const TPnt& p);
  TInOut& WriteArea(const TArea& a);

  TInOut& ReadChar(int8_t& v) { RawRead(&v, 1); return *this; }
  TInOut& ReadUChar(uint8_t& v) { RawRead(&v, 1); return *this; }
  TInOut& ReadShort(int16_t& v);
  TInOut& ReadUShort(uint16_t& v);
  TInOut& ReadLong(int32_t& v);
  TInOut& ReadULong(uint32_t& v);
  TInOut& ReadFloat(float& v);
  TInOut& ReadDouble(double& v);
  // Reads a length-prefixed string. The length is bounded by what the stream
  // holds: a length beyond it, or a short read, raises the read error.
  TInOut& ReadStr(TStr& s);
  TInOut& ReadPnt(TPnt& p);
  TInOut& ReadArea(TArea& a);

private:
  int byteOrder_ = 0;
};

// A stream over bytes in memory: the fixture of readers and writers.
class TMemInOut : public TInOut {
public:
  TMemInOut() = default;
  explicit TMemInOut(std::vector<uint8_t> data) : data_(std::move(data)) {}
  void RawWrite(const void* buffer, uint32_t count) override;
  uint32_t RawRead(void* buffer, uint32_t count) override;
  int64_t Remaining() const override { return int64_t(data_.size() - pos_); }

  const std::vector<uint8_t>& Data() const { return data_; }
  std::vector<uint8_t>& Data() { return data_; }
  size_t Position() const { return pos_; }
  void Seek(size_t pos) { pos_ = pos > data_.size() ? data_.size() : pos; }

private:
  std::vector<uint8_t> data_;
  size_t pos_ = 0;
};
