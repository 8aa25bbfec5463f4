#include "src/audio/audiostream.h"

#include "src/audio/audiomsg.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

void TAudioStream::RaiseCorrupt() { ThrowAudioError(AudioFileCorrupt(), GetPath()); }

void TAudioStream::ReadExact(void* buffer, uint32_t count) {
  if (count == 0) return;
  if (RawRead(buffer, count) != count) RaiseCorrupt();
}

uint32_t TAudioStream::ReadU32() {
  uint32_t v;
  ReadExact(&v, 4);
  ToByteOrder32(&v, GetByteOrder());
  return v;
}

uint16_t TAudioStream::ReadU16() {
  uint16_t v;
  ReadExact(&v, 2);
  ToByteOrder16(&v, GetByteOrder());
  return v;
}

uint8_t TAudioStream::ReadU8() {
  uint8_t v;
  ReadExact(&v, 1);
  return v;
}

void TAudioStream::Skip(uint32_t count) {
  const int64_t left = Remaining();
  if (left >= 0 && int64_t(count) > left) RaiseCorrupt();
  const uint64_t target = uint64_t(Tell()) + count;
  if (target > uint64_t(INT32_MAX)) RaiseCorrupt();
  Seek(int32_t(target));
}

void TAudioStream::WriteZeros(uint32_t count) {
  static const uint8_t zeros[4096] = {};
  while (count > 0) {
    uint32_t n = std::min<uint32_t>(count, sizeof zeros);
    RawWrite(zeros, n);
    count -= n;
  }
}

void TMemAudioStream::RawWrite(const void* buffer, uint32_t count) {
  if (pos_ + count > failFrom_) {
    // Whatever fits before the failing byte lands, like a full disk.
    size_t fits = failFrom_ > pos_ ? failFrom_ - pos_ : 0;
    if (fits) RawWrite(buffer, uint32_t(fits));
    throw std::runtime_error("write failed");
  }
  const uint8_t* b = static_cast<const uint8_t*>(buffer);
  if (pos_ + count > data_.size()) data_.resize(pos_ + count);
  if (count) std::memcpy(data_.data() + pos_, b, count);
  pos_ += count;
}

uint32_t TMemAudioStream::RawRead(void* buffer, uint32_t count) {
  if (pos_ >= data_.size()) return 0;
  size_t n = std::min<size_t>(count, data_.size() - pos_);
  if (n) std::memcpy(buffer, data_.data() + pos_, n);
  pos_ += n;
  return uint32_t(n);
}
