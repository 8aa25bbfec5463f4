// The in-memory sample buffer of the whole system. The engine reads and writes
// sample memory through the addresses handed out here, so the layout is fixed:
// per channel one block (or one interleaved block) of length + 2 * margin
// frames, frame f at position f + margin.
#pragma once

#include "src/base/inout.h"
#include "src/base/tools.h"

#include <cstdint>

class IAudioBuf : public virtual IBase {
public:
  virtual int32_t GetLength() = 0;
  virtual int32_t GetChannels() = 0;
  virtual int32_t GetRate() = 0;
  virtual int32_t IsInterleaved() = 0;
  virtual int32_t GetBits() = 0;
  virtual int32_t IsFloat() = 0;
  virtual double GetLengthMs() = 0;
  virtual int32_t GetMargin() = 0;
  virtual void SetRate(int32_t rate) = 0;
  virtual void SetLength(int32_t length) = 0;
  virtual void SetFormat(int32_t isFloat, int32_t interleaved, int32_t bits, int32_t channels, int32_t rate,
                         int32_t length, int32_t margin) = 0;
  virtual uint8_t* GetSampleAddress(int32_t frame, int32_t channel) = 0;
  virtual uint8_t* GetEndAddress(int32_t channel) = 0;
  virtual float GetSample(int32_t frame, int32_t channel) = 0;
  virtual void SetSample(int32_t frame, float value, int32_t channel) = 0;
  virtual void Clear() = 0;
  virtual void CopyFrom(IAudioBuf* source, int32_t count, int32_t sourceStart, int32_t ignored,
                        int32_t destinationStart) = 0;
  virtual void RefreshMargins() = 0;
  virtual TInOut& Read(TInOut& stream) = 0;
  virtual TInOut& Write(TInOut& stream) = 0;
  virtual int32_t GetDataSize() = 0;
  virtual int32_t GetStoredSize() = 0;
};

class TAudioBuf : public TBase, public virtual IAudioBuf {
public:
  TAudioBuf();
  ~TAudioBuf() override;
  TAudioBuf(const TAudioBuf&) = delete;
  TAudioBuf& operator=(const TAudioBuf&) = delete;

  virtual void Allocate();
  virtual int32_t GetAllocatedLength() { return length_ + 2 * margin_; }
  int32_t GetLength() override { return length_; }
  int32_t GetChannels() override { return channels_; }
  int32_t GetRate() override { return rate_; }
  int32_t IsInterleaved() override { return interleaved_; }
  int32_t GetBits() override { return bits_; }
  virtual int32_t GetBytesPerSample() { return (bits_ + 7) / 8; }
  int32_t IsFloat() override { return float_; }
  double GetLengthMs() override { return length_ * 1000.0 / rate_; }
  int32_t GetMargin() override { return margin_; }
  void SetRate(int32_t rate) override { rate_ = rate; }
  void SetLength(int32_t length) override;
  void SetFormat(int32_t isFloat, int32_t interleaved, int32_t bits, int32_t channels, int32_t rate, int32_t length,
                 int32_t margin) override;
  uint8_t* GetSampleAddress(int32_t frame, int32_t channel) override;
  uint8_t* GetEndAddress(int32_t channel) override { return GetSampleAddress(GetLength(), channel); }
  float GetSample(int32_t frame, int32_t channel) override;
  void SetSample(int32_t frame, float value, int32_t channel) override;
  void Clear() override;
  void CopyFrom(IAudioBuf* source, int32_t count, int32_t sourceStart, int32_t ignored,
                int32_t destinationStart) override;
  void RefreshMargins() override;
  TInOut& Read(TInOut& stream) override;
  TInOut& Write(TInOut& stream) override;
  int32_t GetDataSize() override;
  int32_t GetStoredSize() override { return 24 + GetDataSize(); }

protected:
  void Free();
  void MakeBlockArray();
  // Stores the format fields without allocating.
  void StoreFormat(int32_t isFloat, int32_t interleaved, int32_t bits, int32_t channels, int32_t rate,
                   int32_t length, int32_t margin);
  int32_t BlockCount() const { return interleaved_ ? 1 : channels_; }

private:
  int32_t length_ = 0;
  int32_t channels_ = 2;
  int32_t rate_ = 44100;
  int32_t interleaved_ = 0;
  int32_t bits_ = 32;
  int32_t float_ = 1;
  int32_t margin_ = 0;
  float scale_ = 1.0f;
  uint8_t** blocks_ = nullptr;
  int32_t blockCount_ = 0; // entries of blocks_, fixed when the array is made
};

IAudioBuf* CreateAudioBuf();
IAudioBuf* CreateAudioBuf(int32_t isFloat, int32_t interleaved, int32_t bits, int32_t channels, int32_t rate,
                          int32_t length, int32_t margin);
inline IAudioBuf* CastAudioBuf(IBase* object) { return CastTo<IAudioBuf>(object); }

// The process-wide heap of all sample memory.
class IHeap;
IHeap& SampleHeap();

// Number helpers of the AIFF sample rate.
double UnsignedToDouble(uint32_t value);
uint32_t DoubleToUnsigned(double value);
double ReadExtended80(const uint8_t bytes[10]);
void WriteExtended80(double value, uint8_t bytes[10]);
