#include "src/audio/audiobuf.h"

#include "src/audio/audiomsg.h"
#include "src/base/system.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <new>

IHeap& SampleHeap() {
  // Lives until the process ends; every buffer shares it.
  static IHeap* heap = CreateHeapOfSize(0);
  return *heap;
}

namespace {
// The largest value a stored sample may take: 32767/32768.
constexpr float kClipHigh = 0.999969482421875f;
} // namespace

TAudioBuf::TAudioBuf() { SampleHeap(); }

TAudioBuf::~TAudioBuf() {
  DestructorBody([this] { Free(); });
}

void TAudioBuf::Free() {
  if (!blocks_) return;
  for (int32_t i = 0; i < blockCount_; ++i)
    if (blocks_[i]) SampleHeap().Free(blocks_[i]);
  delete[] blocks_;
  blocks_ = nullptr;
  blockCount_ = 0;
}

void TAudioBuf::StoreFormat(int32_t isFloat, int32_t interleaved, int32_t bits, int32_t channels, int32_t rate,
                            int32_t length, int32_t margin) {
  float_ = isFloat;
  interleaved_ = interleaved;
  bits_ = bits;
  channels_ = channels;
  rate_ = rate;
  length_ = length;
  margin_ = margin;
}

void TAudioBuf::SetFormat(int32_t isFloat, int32_t interleaved, int32_t bits, int32_t channels, int32_t rate,
                          int32_t length, int32_t margin) {
  StoreFormat(isFloat, interleaved, bits, channels, rate, length, margin);
  Allocate();
}

void TAudioBuf::Allocate() {
  if (float_) {
    scale_ = 1.0f;
  } else {
    const double top = std::ldexp(1.0, bits_ - 1) - 1.0;
    scale_ = float(1.0 / top);
  }
  Free();
  MakeBlockArray();
  SetLength(length_);
  Clear();
}

void TAudioBuf::MakeBlockArray() {
  const int32_t n = BlockCount() < 0 ? 0 : BlockCount();
  blocks_ = new (std::nothrow) uint8_t*[size_t(n) + 1];
  if (!blocks_) ThrowAudioMemoryLow();
  blockCount_ = n;
  for (int32_t i = 0; i < n; ++i) blocks_[i] = nullptr;
}

void TAudioBuf::SetLength(int32_t length) {
  length_ = length;
  // A margin needs memory even around an empty range: the engine and
  // RefreshMargins address the guard frames.
  if (length == 0 && margin_ <= 0) return;
  if (length < 0 || margin_ < 0) ThrowAudioMemoryLow();
  // A buffer made without a format gets its block array here.
  if (!blocks_) MakeBlockArray();
  const int64_t frames = int64_t(length) + 2 * int64_t(margin_);
  const int64_t perBlock = frames * GetBytesPerSample() * (interleaved_ ? channels_ : 1);
  bool failed = !blocks_ || perBlock < 0 || perBlock > int64_t(std::numeric_limits<uint32_t>::max());
  for (int32_t i = 0; !failed && i < blockCount_; ++i) {
    if (blocks_[i]) SampleHeap().Free(blocks_[i]);
    blocks_[i] = static_cast<uint8_t*>(SampleHeap().Alloc(uint32_t(perBlock)));
    if (!blocks_[i]) failed = true;
  }
  if (failed) {
    Free();
    length_ = 0;
    ThrowAudioMemoryLow();
  }
}

uint8_t* TAudioBuf::GetSampleAddress(int32_t frame, int32_t channel) {
  const int32_t bps = GetBytesPerSample();
  if (!blocks_) return nullptr;
  const int64_t position = int64_t(frame) + margin_;
  if (interleaved_) {
    if (blockCount_ < 1 || !blocks_[0]) return nullptr;
    return blocks_[0] + (position * channels_ + channel) * bps;
  }
  if (channel < 0 || channel >= blockCount_ || !blocks_[channel]) return nullptr;
  return blocks_[channel] + position * bps;
}

float TAudioBuf::GetSample(int32_t frame, int32_t channel) {
  const int32_t length = GetLength();
  if (length <= 0) return 0.0f;
  int32_t f = frame % length;
  if (f < 0) f += length;
  if (channel == -1) {
    const int32_t channels = GetChannels();
    if (channels < 1) return 0.0f;
    float sum = 0.0f;
    for (int32_t c = 0; c < channels; ++c) sum += GetSample(f, c);
    return sum / float(channels);
  }
  if (channel < 0 || channel >= GetChannels()) return 0.0f;
  const uint8_t* p = GetSampleAddress(f, channel);
  if (!p) return 0.0f;
  if (IsFloat()) {
    float v;
    std::memcpy(&v, p, 4);
    return v;
  }
  const int32_t bits = GetBits();
  if (bits <= 8) return float(int8_t(*p)) * scale_;
  if (bits <= 16) {
    int16_t v;
    std::memcpy(&v, p, 2);
    return float(v) * scale_;
  }
  if (bits <= 32) {
    int32_t v;
    std::memcpy(&v, p, 4);
    return float(v) * scale_;
  }
  return 0.0f;
}

void TAudioBuf::SetSample(int32_t frame, float value, int32_t channel) {
  const int32_t margin = GetMargin();
  if (frame < -margin || int64_t(frame) >= int64_t(GetLength()) + margin) return;
  if (std::isnan(value)) value = 0.0f;
  if (value < -1.0f) value = -1.0f;
  if (value > kClipHigh) value = kClipHigh;
  if (channel == -1) {
    for (int32_t c = 0; c < GetChannels(); ++c) SetSample(frame, value, c);
    return;
  }
  if (channel < 0 || channel >= GetChannels()) return;
  uint8_t* p = GetSampleAddress(frame, channel);
  if (!p) return;
  if (IsFloat()) {
    std::memcpy(p, &value, 4);
    return;
  }
  const int32_t bits = GetBits();
  if (bits > 32) return;
  float q = value / scale_;
  int64_t i = std::isfinite(q) ? int64_t(q) : 0;
  if (bits <= 8) {
    int8_t v = int8_t(i < -128 ? -128 : i > 127 ? 127 : i);
    std::memcpy(p, &v, 1);
  } else if (bits <= 16) {
    int16_t v = int16_t(i < -32768 ? -32768 : i > 32767 ? 32767 : i);
    std::memcpy(p, &v, 2);
  } else {
    int32_t v = int32_t(i < INT32_MIN ? INT32_MIN : i > INT32_MAX ? INT32_MAX : i);
    std::memcpy(p, &v, 4);
  }
}

void TAudioBuf::Clear() {
  // Silence is all zero bytes in every sample format: each block, guard
  // frames included, is cleared at once (a tape's buffer holds millions of
  // frames).
  const int64_t frames = int64_t(GetLength()) + 2 * int64_t(GetMargin());
  const int64_t perBlock = frames * GetBytesPerSample() * (interleaved_ ? channels_ : 1);
  if (blocks_ && frames > 0 && perBlock > 0)
    for (int32_t i = 0; i < blockCount_; ++i)
      if (blocks_[i]) std::memset(blocks_[i], 0, size_t(perBlock));
  RefreshMargins();
}

void TAudioBuf::CopyFrom(IAudioBuf* source, int32_t count, int32_t sourceStart, int32_t, int32_t destinationStart) {
  if (count == -1) count = GetLength();
  if (count < 1 || !source) return;
  if (source->GetRate() != GetRate()) return;
  // An empty source has no frame to wrap to.
  if (source->GetLength() < 1) return;
  const int32_t channels = GetChannels();
  if (source->GetChannels() == channels) {
    for (int32_t c = 0; c < channels; ++c)
      for (int32_t i = 0; i < count; ++i)
        SetSample(destinationStart + i, source->GetSample(sourceStart + i, c), c);
  } else {
    for (int32_t i = 0; i < count; ++i) SetSample(destinationStart + i, source->GetSample(sourceStart + i, -1), -1);
  }
}

void TAudioBuf::RefreshMargins() {
  const int32_t margin = GetMargin();
  if (margin > 0) CopyFrom(this, margin, 0, 0, GetLength());
}

int32_t TAudioBuf::GetDataSize() {
  const int64_t n = int64_t(GetBytesPerSample()) * GetLength() * GetChannels();
  return n > INT32_MAX ? INT32_MAX : n < 0 ? 0 : int32_t(n);
}

TInOut& TAudioBuf::Read(TInOut& stream) {
  int32_t field[6];
  for (int32_t& v : field) {
    uint8_t b[4];
    if (stream.RawRead(b, 4) != 4) stream.RaiseReadError();
    std::memcpy(&v, b, 4);
    ToByteOrder32(&v, stream.GetByteOrder());
  }
  const int32_t length = field[0], channels = field[1], rate = field[2], interleaved = field[3], bits = field[4],
                isFloat = field[5];
  const int32_t bps = bits >= 1 && bits <= 32 ? (bits + 7) / 8 : 0;
  if (length < 0 || channels < 1 || channels > 64 || bits < 1 || bits > 32 || bps == 3 ||
      (isFloat && bits != 32))
    stream.RaiseReadError();
  // The length is believed only when the bytes left can hold its samples,
  // before anything is allocated. The interleaved form stores no samples, so
  // its length is bounded the same way: otherwise a header of a few bytes
  // could ask for gigabytes of silence.
  const int64_t bytes = int64_t(length) * channels * bps;
  const int64_t left = stream.Remaining();
  if (left >= 0 && bytes > left) stream.RaiseReadError();
  StoreFormat(isFloat, interleaved, bits, channels, rate, length, GetMargin());
  Allocate();
  if (interleaved) return stream;
  for (int32_t c = 0; c < channels; ++c) {
    uint8_t* p = GetSampleAddress(0, c);
    if (length == 0) break;
    int32_t got;
    if (bps == 1) got = int32_t(stream.ReadBytes(p, uint32_t(length)));
    else if (bps == 2) got = stream.ReadShortArray(reinterpret_cast<int16_t*>(p), length);
    else got = stream.ReadLongArray(reinterpret_cast<int32_t*>(p), length);
    if (got != length) stream.RaiseReadError();
  }
  RefreshMargins();
  return stream;
}

TInOut& TAudioBuf::Write(TInOut& stream) {
  stream.WriteLong(GetLength()).WriteLong(GetChannels()).WriteLong(GetRate());
  stream.WriteLong(IsInterleaved()).WriteLong(GetBits()).WriteLong(IsFloat());
  if (IsInterleaved()) return stream;
  const int32_t bps = GetBytesPerSample();
  const int32_t length = GetLength();
  if (length <= 0) return stream;
  for (int32_t c = 0; c < GetChannels(); ++c) {
    const uint8_t* p = GetSampleAddress(0, c);
    if (!p) continue;
    if (bps == 1) stream.WriteBytes(p, uint32_t(length));
    else if (bps == 2) stream.WriteShortArray(reinterpret_cast<const int16_t*>(p), length);
    else if (bps == 4) stream.WriteLongArray(reinterpret_cast<const int32_t*>(p), length);
  }
  return stream;
}

IAudioBuf* CreateAudioBuf() { return new (std::nothrow) TAudioBuf; }

IAudioBuf* CreateAudioBuf(int32_t isFloat, int32_t interleaved, int32_t bits, int32_t channels, int32_t rate,
                          int32_t length, int32_t margin) {
  TAudioBuf* b = new (std::nothrow) TAudioBuf;
  if (!b) return nullptr;
  try {
    b->SetFormat(isFloat, interleaved, bits, channels, rate, length, margin);
  } catch (...) {
    delete b;
    throw;
  }
  return b;
}

// ---------------------------------------------------------------- numbers

double UnsignedToDouble(uint32_t value) {
  if (value & 0x80000000u) return double(value & 0x7FFFFFFFu) + 2147483648.0;
  return double(value);
}

uint32_t DoubleToUnsigned(double value) {
  if (!(value > 0.0)) return 0; // also NaN
  if (value >= 4294967295.0) return 0xFFFFFFFFu;
  if (value >= 2147483648.0) return uint32_t(int64_t(value - 2147483648.0)) | 0x80000000u;
  return uint32_t(value);
}

double ReadExtended80(const uint8_t b[10]) {
  const int sign = b[0] >> 7;
  const int e = ((b[0] & 0x7F) << 8) | b[1];
  const uint32_t hi = (uint32_t(b[2]) << 24) | (uint32_t(b[3]) << 16) | (uint32_t(b[4]) << 8) | b[5];
  const uint32_t lo = (uint32_t(b[6]) << 24) | (uint32_t(b[7]) << 16) | (uint32_t(b[8]) << 8) | b[9];
  if (e == 0 && hi == 0 && lo == 0 && sign == 0) return 0.0;
  double v = std::ldexp(UnsignedToDouble(hi), e - 16383 - 31) + std::ldexp(UnsignedToDouble(lo), e - 16383 - 63);
  return sign ? -v : v;
}

void WriteExtended80(double x, uint8_t b[10]) {
  std::memset(b, 0, 10);
  int sign = 0;
  if (x < 0) {
    sign = 1;
    x = -x;
  }
  if (x == 0.0 || !std::isfinite(x)) {
    b[0] = uint8_t(sign << 7);
    return;
  }
  // The exponent comes from the binary representation, so that a power of
  // two never lands one below by a rounding of the logarithm.
  int k;
  std::frexp(x, &k); // x = f * 2^k, 0.5 <= f < 1
  int e = k - 1 + 16383;
  if (e < 0) e = 0;
  if (e > 0x7FFE) e = 0x7FFE;
  const double m = std::ldexp(x, 16414 - e);
  const uint32_t hi = DoubleToUnsigned(m);
  const uint32_t lo = DoubleToUnsigned((m - UnsignedToDouble(hi)) * 4294967296.0);
  b[0] = uint8_t((sign << 7) | (e >> 8));
  b[1] = uint8_t(e & 0xFF);
  for (int i = 0; i < 4; ++i) {
    b[2 + i] = uint8_t(hi >> (24 - 8 * i));
    b[6 + i] = uint8_t(lo >> (24 - 8 * i));
  }
}
