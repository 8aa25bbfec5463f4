// The offline driver, a tool for tests and benchmarks: the caller drives the
// block loop, the Audio In module reads from the caller's buffer and the Audio
// Out module writes into the caller's buffer. It has no device, no thread and
// is never offered to the user.
#pragma once

#include "src/engine/audioio.h"

class TOfflineAudio : public TAudioInOut {
public:
  // Interleaved float frames of `inputs` and `outputs` channels at the given
  // device rate.
  TOfflineAudio(IAudioOwner* owner, float sampleRate = 44100.0f, int32_t inputs = 2, int32_t outputs = 2);
  ~TOfflineAudio() override;

  // Runs the engine over deviceFrames frames of the device: input may be null
  // (silence), output receives deviceFrames x outputs samples. At a rate
  // factor p/q the block holds deviceFrames x p / q engine frames; pass a
  // multiple of q (1, 2 or 4 device frames) to keep input and output aligned.
  void Render(const float* input, float* output, int32_t deviceFrames);
  // The same, but a block whose engine lock is taken is silent instead of
  // waiting (as a sound device must). False for a silent block.
  bool TryRender(const float* input, float* output, int32_t deviceFrames);

  int32_t GetType() override { return kAudioNone; }
  int32_t GetOutputCount() override { return outputs_; }
  int32_t GetInputCount() override { return inputs_; }
  void ClearBuffers() override;
  void EnableInput(int32_t channel) override;
  void EnableOutput(int32_t channel) override;
  void DisableInput(int32_t channel) override;
  void DisableOutput(int32_t channel) override;
  bool HasSettingsDialog() override { return false; }
  void ShowSettingsDialog() override {}
  // Device calls seen, for tests of the lifecycle.
  int32_t GetDeviceCalls(int32_t which) const { return calls_[which]; }
  enum { kStartCall, kStopCall, kPauseCall, kResumeCall, kCallKinds };

protected:
  int32_t DeviceStart() override;
  void DeviceStop() override;
  void DevicePause() override;
  void DeviceResume() override;
  void UpdateBlockLength() override;
  float TakeInputLevel(int32_t channel) override { return TakeLevelPair(channel); }
  float TakeOutputLevel(int32_t channel) override { return TakeLevelPair(2 + channel); }
  void ClearOutput() override;

private:
  template <int N, int D> static void InputRoutine();
  template <int N, int D> static void OutputRoutine();
  void Prepare(const float* input, float* output, int32_t deviceFrames);
  void Finish();

  int32_t inputs_;
  int32_t outputs_;
  uint32_t enabledOutputs_ = 0;
  uint32_t enabledInputs_ = ~0u;
  int32_t calls_[kCallKinds] = {};
  // The current block's buffers.
  const float* inBegin_ = nullptr;
  const float* inEnd_ = nullptr;
  float* outBegin_ = nullptr;
  float* outEnd_ = nullptr;
  float factor_ = 1.0f;
  int32_t inPhase_ = 0;
  int32_t outPhase_ = 0;
};
