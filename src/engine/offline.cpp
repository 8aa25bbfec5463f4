#include "src/engine/offline.h"

#include "src/engine/voice_state.h"

#include <cstring>

namespace {
// The driver whose routines run: the offline driver constructed last.
TOfflineAudio* active = nullptr;

// Device frames that engine sample `phase` of a pattern reads or writes at
// N engine samples per D device frames.
template <int N, int D> inline int32_t FramesAt(int32_t phase) {
  auto up = [](int32_t k) { return (k * D + N - 1) / N; };
  return up(phase + 1) - up(phase);
}

static_assert(QV_WORD_AT(AudioInState, right) == QV_WORD_AT(AudioInState, left) + 1,
              "the input routine writes channel c at left + c");
} // namespace

TOfflineAudio::TOfflineAudio(IAudioOwner* owner, float sampleRate, int32_t inputs, int32_t outputs)
    : TAudioInOut(owner), inputs_(inputs < 0 ? 0 : inputs > 8 ? 8 : inputs),
      outputs_(outputs < 0 ? 0 : outputs > 8 ? 8 : outputs) {
  inputRoutines_[0] = InputRoutine<1, 2>;
  inputRoutines_[1] = InputRoutine<3, 4>;
  inputRoutines_[2] = InputRoutine<1, 1>;
  inputRoutines_[3] = InputRoutine<3, 2>;
  inputRoutines_[4] = InputRoutine<2, 1>;
  inputRoutines_[5] = InputRoutine<3, 1>;
  outputRoutines_[0] = OutputRoutine<1, 2>;
  outputRoutines_[1] = OutputRoutine<3, 4>;
  outputRoutines_[2] = OutputRoutine<1, 1>;
  outputRoutines_[3] = OutputRoutine<3, 2>;
  outputRoutines_[4] = OutputRoutine<2, 1>;
  outputRoutines_[5] = OutputRoutine<3, 1>;
  active = this;
  SetSampleRate(sampleRate);
  UpdateBlockLength();
  UpdateRateConstants();
}

TOfflineAudio::~TOfflineAudio() {
  if (active == this) active = nullptr;
}

template <int N, int D> void TOfflineAudio::InputRoutine() {
  TOfflineAudio* self = active;
  const TVoiceWords state = SlotStates()[0];
  int32_t frames = FramesAt<N, D>(self->inPhase_);
  self->inPhase_ = (self->inPhase_ + 1) % N;
  auto cursor = static_cast<const float*>(EngineInputCursor);
  for (int32_t f = 0; f < frames; ++f) {
    for (int32_t c = 0; c < self->inputs_; ++c) {
      float v = 0.0f;
      if (cursor && cursor + c < self->inEnd_ && (self->enabledInputs_ & (1u << c))) v = cursor[c];
      if (c < 2) {
        EngineLevels[c].Track(v);
        if (f == 0) state[QV_WORD_AT(AudioInState, left) + c].f = v; // the first frame of the group is the sample
      }
    }
    if (cursor) cursor += self->inputs_;
  }
  EngineInputCursor = const_cast<float*>(cursor);
}

template <int N, int D> void TOfflineAudio::OutputRoutine() {
  TOfflineAudio* self = active;
  float* const* inputs = SlotInputs()[0];
  const TVoiceWords state = SlotStates()[0];
  int32_t channels = SlotRecord()->audioInputs;
  // Every channel count keeps the master gain in the same word.
  float gain = state[QV_WORD_AT(AudioOutState<8>, master)].f;
  int32_t frames = FramesAt<N, D>(self->outPhase_);
  self->outPhase_ = (self->outPhase_ + 1) % N;
  auto cursor = static_cast<float*>(EngineOutputCursor);
  for (int32_t f = 0; f < frames && cursor && cursor + self->outputs_ <= self->outEnd_; ++f) {
    for (int32_t c = 0; c < self->outputs_; ++c) {
      if (c >= channels || !(self->enabledOutputs_ & (1u << c))) continue;
      float v = *inputs[c] * gain;
      cursor[c] = v;
      if (c < 2) EngineLevels[2 + c].Track(v);
    }
    cursor += self->outputs_;
  }
  EngineOutputCursor = cursor;
}

void TOfflineAudio::Prepare(const float* input, float* output, int32_t deviceFrames) {
  active = this;
  inBegin_ = input;
  inEnd_ = input ? input + size_t(deviceFrames) * size_t(inputs_) : nullptr;
  outBegin_ = output;
  outEnd_ = output + size_t(deviceFrames) * size_t(outputs_);
  std::memset(output, 0, sizeof(float) * size_t(deviceFrames) * size_t(outputs_));
  EngineInputCursor = const_cast<float*>(input);
  EngineOutputCursor = output;
  blockLength_ = int32_t(double(deviceFrames) * double(factor_));
}

// The caller's buffers belong to the block only.
void TOfflineAudio::Finish() {
  inBegin_ = inEnd_ = nullptr;
  outBegin_ = outEnd_ = nullptr;
  EngineInputCursor = nullptr;
  EngineOutputCursor = nullptr;
}

void TOfflineAudio::Render(const float* input, float* output, int32_t deviceFrames) {
  TLockGuard guard(EngineCriticalSection());
  Prepare(input, output, deviceFrames);
  ProcessBlock();
  Finish();
}

bool TOfflineAudio::TryRender(const float* input, float* output, int32_t deviceFrames) {
  if (!EngineCriticalSection().TryEnter()) {
    std::memset(output, 0, sizeof(float) * size_t(deviceFrames) * size_t(outputs_));
    CountSkippedBlock();
    return false;
  }
  Prepare(input, output, deviceFrames);
  ProcessBlock();
  Finish();
  EngineCriticalSection().Leave();
  return true;
}

void TOfflineAudio::ClearOutput() {
  if (outBegin_ && outEnd_ > outBegin_) std::memset(outBegin_, 0, sizeof(float) * size_t(outEnd_ - outBegin_));
}

void TOfflineAudio::ClearBuffers() { ClearOutput(); }

void TOfflineAudio::EnableInput(int32_t channel) {
  if (channel >= 1 && channel <= 8) enabledInputs_ |= 1u << (channel - 1);
}
void TOfflineAudio::DisableInput(int32_t channel) {
  if (channel >= 1 && channel <= 8) enabledInputs_ &= ~(1u << (channel - 1));
}
void TOfflineAudio::EnableOutput(int32_t channel) {
  if (channel >= 1 && channel <= 8) enabledOutputs_ |= 1u << (channel - 1);
}
void TOfflineAudio::DisableOutput(int32_t channel) {
  if (channel >= 1 && channel <= 8) enabledOutputs_ &= ~(1u << (channel - 1));
}

int32_t TOfflineAudio::DeviceStart() {
  ++calls_[kStartCall];
  return 0;
}
void TOfflineAudio::DeviceStop() { ++calls_[kStopCall]; }
void TOfflineAudio::DevicePause() { ++calls_[kPauseCall]; }
void TOfflineAudio::DeviceResume() { ++calls_[kResumeCall]; }
// The rate factor is read here, on the GUI thread, never by a block.
void TOfflineAudio::UpdateBlockLength() {
  TLockGuard guard(EngineCriticalSection());
  factor_ = GetOwner() ? GetOwner()->GetRateFactor() : 1.0f;
  inPhase_ = outPhase_ = 0; // a new factor starts a new pattern
}
