// The delay lines of a delay module and the audio of a tape-recorder module.
// The engine takes a line, or the record buffer's sample memory, by address;
// both are replaced only with the audio driver paused.
#pragma once

#include "src/audio/audiobuf.h"
#include "src/audio/audiohost.h"
#include "src/base/file.h"

#include <cstdint>

class IDelayBuffer : public virtual IBase {
public:
  virtual int32_t GetLineCount() = 0;
  virtual void SetLineCount(int32_t count) = 0;
  virtual int32_t GetLengthMs() = 0;
  virtual void SetLengthMs(int32_t ms) = 0;
  virtual IAudioBuf* GetLine(int32_t index) = 0;
  virtual void Reallocate() = 0;
};

class TDelayBuffer : public TBase, public virtual IDelayBuffer {
public:
  static constexpr int32_t kMaxLines = 64;
  // The longest line a buffer takes, whatever is asked (a stored length, the
  // property dialog): 100 s.
  static constexpr int32_t kMaxLengthMs = 100000;

  TDelayBuffer(IAudioObjectOwner* owner, int32_t lineCount, int32_t lengthMs);
  ~TDelayBuffer() override;

  // Makes every line anew at the current length and processing rate.
  virtual void Allocate();
  int32_t GetLineCount() override { return lineCount_; }
  void SetLineCount(int32_t count) override;
  int32_t GetLengthMs() override { return lengthMs_; }
  void SetLengthMs(int32_t ms) override;
  IAudioBuf* GetLine(int32_t index) override;
  void Reallocate() override { Allocate(); }

private:
  void DeleteLines();
  void MakeLines(int32_t ms);

  IAudioObjectOwner* owner_;
  int32_t lineCount_;
  int32_t lengthMs_;
  IAudioBuf* lines_[kMaxLines] = {};
};

class IRecordBuffer : public virtual IBase {
public:
  virtual IFileName* GetFileName() = 0;
  virtual void Reload() = 0;
  virtual int32_t HasFileName() = 0;
  virtual bool HasData() = 0;
  virtual void Load(IFileName& name) = 0;
  virtual void Save(IFileName& name) = 0;
  virtual void SaveToFileName() = 0;
  virtual int32_t GetRecordedLength() = 0;
  virtual void SetRecordedLength(int32_t frames) = 0;
  virtual int32_t GetLengthMs() = 0;
  virtual void SetLengthMs(int32_t ms) = 0;
  virtual IAudioBuf* GetAudioBuf() = 0;
  virtual void OnRateChange() = 0;
};

class TRecordBuffer : public TBase, public virtual IRecordBuffer {
public:
  TRecordBuffer(IAudioObjectOwner* owner, int32_t channels);
  ~TRecordBuffer() override;

  IFileName* GetFileName() override { return fileName_.Get(); }
  void Reload() override;
  int32_t HasFileName() override;
  bool HasData() override { return recorded_ != 0; }
  void Load(IFileName& name) override;
  void Save(IFileName& name) override;
  void SaveToFileName() override;
  int32_t GetRecordedLength() override { return recorded_; }
  // Bounded by the buffer: the recorder never claims more than it holds.
  void SetRecordedLength(int32_t frames) override;
  int32_t GetLengthMs() override;
  void SetLengthMs(int32_t ms) override;
  IAudioBuf* GetAudioBuf() override { return samples_.Get(); }
  void OnRateChange() override;

private:
  void RefreshOwner();

  IAudioObjectOwner* owner_;
  EPtr<IFileName> fileName_;
  EPtr<IAudioBuf> samples_;
  int32_t recorded_ = 0;
};

// The buffers' frames for a length in ms at a rate: truncate(rate x ms x 0.001).
int32_t FramesForMs(float rate, int32_t ms);

IDelayBuffer* CreateDelayBuffer(IAudioObjectOwner* owner, int32_t lineCount, int32_t lengthMs);
IRecordBuffer* CreateRecordBuffer(IAudioObjectOwner* owner, int32_t channels, int32_t lengthMs);
inline IDelayBuffer* CastDelayBuffer(IBase* object) { return CastTo<IDelayBuffer>(object); }
inline IRecordBuffer* CastRecordBuffer(IBase* object) { return CastTo<IRecordBuffer>(object); }
