// The stream a sound file's chunks are read from and written to: a
// byte-order stream that knows its position and the path its messages name.
#pragma once

#include "src/base/inout.h"

#include <cstdint>
#include <vector>

class TAudioStream : public TInOut {
public:
  virtual uint32_t Tell() = 0;
  virtual void Seek(int32_t position) = 0;
  // The full path of the file, for messages.
  virtual TStr GetPath() = 0;
  // Bytes from the current position to the end; -1 when unknown.
  int64_t Remaining() const override = 0;

  // Strict reads for untrusted headers: a short read raises "$1 is corrupt."
  // with this stream's path.
  void ReadExact(void* buffer, uint32_t count);
  uint32_t ReadU32();
  uint16_t ReadU16();
  uint8_t ReadU8();
  [[noreturn]] void RaiseCorrupt();
  // A short read of stored data names the file as corrupt.
  [[noreturn]] void RaiseReadError() override { RaiseCorrupt(); }
  // Moves forward by count bytes; raises "$1 is corrupt." past the end.
  void Skip(uint32_t count);
  // Writes count zero bytes: the space the samples will fill.
  void WriteZeros(uint32_t count);
  // Finishes the file; a write that only fails now is raised here.
  virtual void Close() {}
};

// A sound file held in memory: what tests read and write.
class TMemAudioStream : public TAudioStream {
public:
  TMemAudioStream() = default;
  explicit TMemAudioStream(std::vector<uint8_t> data, TStr path = TStr("memory"))
      : data_(std::move(data)), path_(std::move(path)) {}

  void RawWrite(const void* buffer, uint32_t count) override;
  uint32_t RawRead(void* buffer, uint32_t count) override;
  int64_t Remaining() const override { return pos_ >= data_.size() ? 0 : int64_t(data_.size() - pos_); }
  uint32_t Tell() override { return uint32_t(pos_); }
  void Seek(int32_t position) override { pos_ = position < 0 ? 0 : size_t(position); }
  TStr GetPath() override { return path_; }

  const std::vector<uint8_t>& Data() const { return data_; }
  std::vector<uint8_t>& Data() { return data_; }
  // Lets a test make every write from this byte on fail.
  void FailWritesFrom(size_t offset) { failFrom_ = offset; }

private:
  std::vector<uint8_t> data_;
  TStr path_{"memory"};
  size_t pos_ = 0;
  size_t failFrom_ = SIZE_MAX;
};
