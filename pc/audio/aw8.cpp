#include "pc/audio/aw8.h"

#include "src/base/settings.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr const char* kSettingFrames = "AWBufSize";
constexpr const char* kSettingAnalog = "AWInAnalog";
constexpr const char* kSettingMode = "AWMode";
constexpr int32_t kFastMode = 0;
constexpr int32_t kSafeMode = 1;
constexpr int32_t kMinFrames = 16;
constexpr int32_t kFrameAlign = 4;
constexpr float kCardRate = 44100.0f;
// The card needs a moment after it was closed before it opens again.
constexpr uint32_t kCardReopenPause = 600;
constexpr uint32_t kControlPoll = 10;
constexpr uint32_t kControlStopWait = 5000;

// Card frames: a record frame has 2 samples, a play frame 4.
constexpr int32_t kRecordSamples = 2;
constexpr int32_t kPlaySamples = 4;
constexpr float kInputScale = 1.0f / 32768.0f;
constexpr float kOutputScale = 32768.0f;
constexpr float kInputLevelScale = 1.0204081f; // 1 / 0.98
constexpr float kOutputLevelScale = 1.0f / 32767.0f;
constexpr float kSampleMin = -32768.0f;
constexpr float kSampleMax = 32767.0f;
// The place of outputs 1-4 (and 5-8) in a play frame: 1, 3, 2, 4.
constexpr int32_t kPlace[4] = {0, 2, 1, 3};
// Level pairs of the engine: input left and right, odd and even outputs.
constexpr int32_t kPairInLeft = 0;
constexpr int32_t kPairOddOut = 2;

// What the callback and the conversion routines share (one card a process).
// Only the callback's thread touches it while the card runs; the driver sets
// it up while the card is closed.
struct TCardSide {
  int32_t frames = 0;
  const int16_t* input = nullptr;
  int32_t inPos = 0;
  int16_t* outA = nullptr; // the card's play block of outputs 1-4
  int32_t posA = 0;
  int16_t* outB = nullptr; // outputs 5-8, copied to the card at its own call
  int32_t posB = 0;
  int32_t inPhase = 0;
  int32_t outPhase = 0;
  std::atomic<uint32_t> outputsOn{0};
  std::atomic<uint32_t> inputsOn{0};
};
TCardSide side;

TAudioWerkDialog settingsDialog = nullptr;

// A written output value goes through its level pair, which also clips it.
inline float ClipTrack(TLevelPair& p, float v) {
  if (v < p.min.load(std::memory_order_relaxed)) {
    v = std::max(v, kSampleMin);
    p.min.store(v, std::memory_order_relaxed);
  } else if (v > p.max.load(std::memory_order_relaxed)) {
    v = std::min(v, kSampleMax);
    p.max.store(v, std::memory_order_relaxed);
  }
  return v;
}

inline TLevelPair& OutPair(int32_t channel) { return EngineLevels[kPairOddOut + channel % 2]; }

// Truncated toward zero; never outside the 16-bit range.
inline int16_t ToSample(float v) { return int16_t(int32_t(std::clamp(v, kSampleMin, kSampleMax))); }

// Writes a frame value of an output channel (0..7) `ahead` frames after the
// channel's current position; never past the block.
inline void Put(int32_t channel, int32_t ahead, float value) {
  int16_t* block = channel < 4 ? side.outA : side.outB;
  int32_t frame = (channel < 4 ? side.posA : side.posB) + ahead;
  if (!block || frame >= side.frames) return;
  block[frame * kPlaySamples + kPlace[channel % 4]] = ToSample(value);
}

inline void AdvanceOutput(int32_t frames) {
  side.posA += frames;
  side.posB += frames;
}

// Reads the next record frame (left, right) scaled to +-1; a disabled input
// reads 0, a frame beyond the block reads 0.
inline void ReadFrame(float x[2]) {
  x[0] = x[1] = 0.0f;
  if (!side.input || side.inPos >= side.frames) return;
  const int16_t* f = side.input + side.inPos * kRecordSamples;
  ++side.inPos;
  uint32_t on = side.inputsOn.load(std::memory_order_relaxed);
  for (int s = 0; s < 2; ++s) {
    float v = float(f[s]) * kInputScale;
    EngineLevels[kPairInLeft + s].Track(v);
    x[s] = (on & (1u << s)) ? v : 0.0f;
  }
}

// ---------------------------------------------------------------- input routines
// The Audio In state: the two outputs, then two kept values (a, b) a side.

enum TFactor { k05, k075, k1, k15, k2, k3 };
constexpr int32_t kPattern[6] = {1, 3, 1, 3, 2, 3};

template <TFactor F> void InputRoutine() {
  const TVoiceWords st = SlotStates()[0];
  int32_t phase = side.inPhase;
  float x[2], x2[2];
  switch (F) {
  case k1:
    ReadFrame(x);
    for (int s = 0; s < 2; ++s) st[s].f = x[s];
    break;
  case k05:
    ReadFrame(x);
    ReadFrame(x2);
    for (int s = 0; s < 2; ++s) {
      float& keep = st[2 + 2 * s].f;
      st[s].f = 0.25f * keep + 0.5f * x[s] + 0.25f * x2[s];
      keep = x2[s];
    }
    break;
  case k075:
    if (phase == 0) {
      ReadFrame(x);
      for (int s = 0; s < 2; ++s) {
        float &a = st[2 + 2 * s].f, &b = st[3 + 2 * s].f;
        st[s].f = 0.129928f * a + 0.583604f * b + 0.286469f * x[s];
        a = x[s];
      }
    } else if (phase == 1) {
      ReadFrame(x);
      ReadFrame(x2);
      for (int s = 0; s < 2; ++s) {
        float &a = st[2 + 2 * s].f, &b = st[3 + 2 * s].f;
        st[s].f = 0.036469f * (b + x2[s]) + 0.463532f * (a + x[s]);
        b = x[s];
        a = x2[s];
      }
    } else {
      ReadFrame(x);
      for (int s = 0; s < 2; ++s) {
        float &a = st[2 + 2 * s].f, &b = st[3 + 2 * s].f;
        st[s].f = 0.286469f * b + 0.583604f * a + 0.129928f * x[s];
        b = x[s];
      }
    }
    break;
  case k15: // 2 frames over 3 samples, at weights 0.25, 0.5 and 0.75
    if (phase == 0) {
      ReadFrame(x);
      for (int s = 0; s < 2; ++s) {
        float &a = st[2 + 2 * s].f, &b = st[3 + 2 * s].f;
        st[s].f = 0.25f * a + 0.75f * x[s];
        b = x[s];
      }
    } else if (phase == 1) {
      ReadFrame(x);
      for (int s = 0; s < 2; ++s) {
        float &a = st[2 + 2 * s].f, &b = st[3 + 2 * s].f;
        st[s].f = 0.5f * b + 0.5f * x[s];
        a = x[s];
      }
    } else {
      for (int s = 0; s < 2; ++s) st[s].f = st[2 + 2 * s].f;
    }
    break;
  case k2: // the sample between two frames is their mean
    if (phase == 0) {
      ReadFrame(x);
      for (int s = 0; s < 2; ++s) {
        float &a = st[2 + 2 * s].f, &b = st[3 + 2 * s].f;
        st[s].f = 0.5f * (a + x[s]);
        b = x[s];
      }
    } else {
      for (int s = 0; s < 2; ++s) {
        float &a = st[2 + 2 * s].f, &b = st[3 + 2 * s].f;
        st[s].f = b;
        a = b;
      }
    }
    break;
  case k3: // interpolated at a third and two thirds
    if (phase == 0) ReadFrame(x);
    for (int s = 0; s < 2; ++s) {
      float &a = st[2 + 2 * s].f, &b = st[3 + 2 * s].f;
      if (phase == 0) {
        b = x[s];
        st[s].f = 0.667f * a + 0.333f * b;
      } else if (phase == 1) {
        st[s].f = 0.333f * a + 0.667f * b;
      } else {
        st[s].f = b;
        a = b;
      }
    }
    break;
  }
  side.inPhase = (phase + 1) % kPattern[F];
}

// ---------------------------------------------------------------- output routines
// The Audio Out state: the master gain, then three kept values a channel.

template <TFactor F> void OutputRoutine() {
  float* const* inputs = SlotInputs()[0];
  const TVoiceWords st = SlotStates()[0];
  const TEngineRecord* r = SlotRecord();
  int32_t channels = std::min({r->audioInputs, TAudioWerk::kOutputs, (r->stateWords - 1) / 3});
  float gain = st[0].f * kOutputScale;
  int32_t phase = side.outPhase;
  uint32_t on = side.outputsOn.load(std::memory_order_relaxed);
  for (int32_t c = 0; c < channels; ++c) {
    if (!(on & (1u << c))) continue; // its place stays 0, its history as it is
    float raw = *inputs[c] * gain;
    float* h = &st[1 + 3 * c].f;
    TLevelPair& pair = OutPair(c);
    switch (F) {
    case k1: Put(c, 0, ClipTrack(pair, raw)); break;
    case k05: {
      float x = ClipTrack(pair, raw);
      Put(c, 0, 0.5f * (h[0] + x));
      Put(c, 1, x);
      h[0] = x;
      break;
    }
    case k075: {
      float x = ClipTrack(pair, raw), &a = h[0], &b = h[1];
      if (phase == 0) {
        Put(c, 0, 0.618042f * a + 0.381958f * x);
        b = x;
      } else if (phase == 1) {
        Put(c, 1, 0.048625f * a + 0.778138f * b + 0.173237f * x);
        a = x;
      } else {
        Put(c, 2, 0.173237f * b + 0.778138f * a + 0.048625f * x);
        Put(c, 3, 0.381958f * a + 0.618042f * x);
        a = x;
      }
      break;
    }
    case k15:
      if (phase < 2) {
        h[phase] = raw;
      } else {
        Put(c, 0, ClipTrack(pair, 0.5f * (h[0] + h[2])));
        Put(c, 1, ClipTrack(pair, 0.25f * h[0] + 0.5f * h[1] + 0.25f * raw));
        h[2] = raw;
      }
      break;
    case k2:
      if (phase == 0) {
        h[0] = raw;
      } else {
        Put(c, 0, ClipTrack(pair, 0.25f * h[1] + 0.5f * h[0] + 0.25f * raw));
        h[1] = raw;
      }
      break;
    case k3:
      if (phase < 2) {
        h[phase] = raw;
      } else {
        Put(c, 0, ClipTrack(pair, 0.33f * (h[0] + h[1] + 0.5f * raw + 0.5f * h[2])));
        h[2] = raw;
      }
      break;
    }
  }
  // The positions move when a pattern is complete.
  switch (F) {
  case k1: AdvanceOutput(1); break;
  case k05: AdvanceOutput(2); break;
  case k075:
    if (phase == 2) AdvanceOutput(4);
    break;
  case k15:
    if (phase == 2) AdvanceOutput(2);
    break;
  case k2:
    if (phase == 1) AdvanceOutput(1);
    break;
  case k3:
    if (phase == 2) AdvanceOutput(1);
    break;
  }
  side.outPhase = (phase + 1) % kPattern[F];
}

} // namespace

// ---------------------------------------------------------------- the driver

int32_t TAudioWerk::ValidFrames(int32_t frames) {
  if (frames > kMaxFrames) frames = kMaxFrames;
  frames -= frames % kFrameAlign;
  return frames < kMinFrames ? kMinFrames : frames;
}

TAudioWerk::TAudioWerk(IAudioOwner* owner) : TAudioInOut(owner) {
  inputRoutines_[0] = InputRoutine<k05>;
  inputRoutines_[1] = InputRoutine<k075>;
  inputRoutines_[2] = InputRoutine<k1>;
  inputRoutines_[3] = InputRoutine<k15>;
  inputRoutines_[4] = InputRoutine<k2>;
  inputRoutines_[5] = InputRoutine<k3>;
  outputRoutines_[0] = OutputRoutine<k05>;
  outputRoutines_[1] = OutputRoutine<k075>;
  outputRoutines_[2] = OutputRoutine<k1>;
  outputRoutines_[3] = OutputRoutine<k15>;
  outputRoutines_[4] = OutputRoutine<k2>;
  outputRoutines_[5] = OutputRoutine<k3>;
  SetSampleRate(kCardRate);

  frames_ = ValidFrames(int32_t(ReadSettingInt(kSettingFrames, kDefaultFrames)));
  input_ = ReadSettingInt(kSettingAnalog, 1) != 0 ? 1 : 0;
  mode_ = int32_t(ReadSettingInt(kSettingMode, kSafeMode));
  if (mode_ == kFastMode) {
    // Should the fast mode hang the machine, the next start is safe.
    WriteSettingInt(kSettingMode, kSafeMode);
    WriteSettingInt(kSettingFrames, kDefaultFrames);
  }
  SetBufferLenAW8(frames_);
  AllocateBuffers();
  UpdateBlockLength();
  watchdog_.store(kWatchdogStart);
  // Outputs are switched on as the Audio Out's channels are wired; nothing in
  // the model switches inputs, so both start on.
  side.outputsOn.store(0);
  side.inputsOn.store(0x3);
  control_.Start([this] { ControlThread(); });
  running_ = false;
}

TAudioWerk::~TAudioWerk() {
  DestructorBody([this] {
    // No callback may reach buffers that are going.
    CloseCard();
    controlQueue_.Post(platform::kMsgEndThread);
    control_.Wait(kControlStopWait);
    WriteSettingInt(kSettingFrames, uint32_t(frames_));
    WriteSettingInt(kSettingAnalog, uint32_t(input_));
    WriteSettingInt(kSettingMode, uint32_t(mode_));
    side.input = nullptr;
    side.outB = nullptr;
    side.outA = nullptr;
  });
}

void TAudioWerk::AllocateBuffers() {
  // N x 16 bytes each, zeroed.
  size_t samples = size_t(frames_) * 16 / sizeof(int16_t);
  input_buffer_ = std::make_unique<int16_t[]>(samples);
  outputB_ = std::make_unique<int16_t[]>(samples);
  side.frames = frames_;
  side.input = input_buffer_.get();
  side.inPos = 0;
  side.outB = outputB_.get();
  side.posB = 0;
}

void TAudioWerk::OpenCard() {
  TAw8OpenRecord record{this, &TAudioWerk::CardCallback, frames_, uint16_t(mode_), 0, input_};
  OpenAW8(&record); // the card reports nothing; a card that does not answer never calls
  cardOpen_ = true;
}

void TAudioWerk::CloseCard() {
  if (running_) StopAW8();
  running_ = false;
  if (cardOpen_) CloseAW8();
  cardOpen_ = false;
}

int32_t TAudioWerk::DeviceStart() {
  platform::SleepMs(kCardReopenPause);
  OpenCard();
  StartAW8();
  running_ = true;
  return 0;
}

void TAudioWerk::DeviceStop() { CloseCard(); }

void TAudioWerk::DevicePause() {
  StopAW8();
  running_ = false;
}

void TAudioWerk::DeviceResume() {
  StartAW8();
  running_ = true;
}

void TAudioWerk::UpdateBlockLength() {
  TLockGuard guard(EngineCriticalSection());
  float factor = GetOwner() ? GetOwner()->GetRateFactor() : 1.0f;
  blockLength_ = int32_t(std::lround(double(factor) * double(frames_)));
}

void TAudioWerk::Restart(void (*store)(TAudioWerk&, int32_t), int32_t value) {
  bool wasOpen = cardOpen_, wasRunning = running_;
  CloseCard();
  store(*this, value);
  if (!wasOpen) return;
  platform::SleepMs(kCardReopenPause);
  OpenCard();
  if (wasRunning) {
    StartAW8();
    running_ = true;
  }
}

void TAudioWerk::SetInput(int32_t analog) {
  Restart([](TAudioWerk& d, int32_t v) { d.input_ = v == 1 ? 1 : 0; }, analog);
}

void TAudioWerk::SetBufferLength(int32_t frames) {
  Restart(
      [](TAudioWerk& d, int32_t v) {
        d.frames_ = ValidFrames(v);
        SetBufferLenAW8(d.frames_);
        d.AllocateBuffers();
        d.UpdateBlockLength();
      },
      frames);
}

void TAudioWerk::SetMode(int32_t mode) {
  Restart([](TAudioWerk& d, int32_t v) { d.mode_ = v; }, mode);
}

int32_t TAudioWerk::MsToFrames(int32_t ms) {
  if (ms == 3) return 128;
  if (ms == 6) return 256;
  return int32_t(float(ms) * 44.1f * 4.0f) >> 2;
}

void TAudioWerk::EnableInput(int32_t channel) {
  if (channel >= 1 && channel <= kInputs) side.inputsOn.fetch_or(1u << (channel - 1));
}
void TAudioWerk::DisableInput(int32_t channel) {
  if (channel >= 1 && channel <= kInputs) side.inputsOn.fetch_and(~(1u << (channel - 1)));
}
void TAudioWerk::EnableOutput(int32_t channel) {
  if (channel >= 1 && channel <= kOutputs) side.outputsOn.fetch_or(1u << (channel - 1));
}
void TAudioWerk::DisableOutput(int32_t channel) {
  if (channel >= 1 && channel <= kOutputs) side.outputsOn.fetch_and(~(1u << (channel - 1)));
}

float TAudioWerk::TakeInputLevel(int32_t channel) {
  TLevelPair& p = EngineLevels[kPairInLeft + (channel & 1)];
  float lo = p.min.exchange(0.0f, std::memory_order_relaxed);
  float hi = p.max.exchange(0.0f, std::memory_order_relaxed);
  return std::max(hi, -lo) * kInputLevelScale;
}

float TAudioWerk::TakeOutputLevel(int32_t channel) {
  TLevelPair& p = OutPair(channel);
  float lo = p.min.exchange(0.0f, std::memory_order_relaxed);
  float hi = p.max.exchange(0.0f, std::memory_order_relaxed);
  return std::max(hi, -lo) * kOutputLevelScale;
}

bool TAudioWerk::HasSettingsDialog() { return settingsDialog != nullptr; }
void TAudioWerk::ShowSettingsDialog() {
  if (settingsDialog) settingsDialog(this);
}

// ---------------------------------------------------------------- the card's calls

int32_t TAudioWerk::CardCallback(TAw8CallbackRecord* record) {
  if (record && record->context) static_cast<TAudioWerk*>(record->context)->OnCard(record);
  return 0;
}

void TAudioWerk::OnCard(TAw8CallbackRecord* record) {
  size_t blockBytes = record->words > 0 ? size_t(record->words) * 4 : 0;
  size_t playBytes = size_t(frames_) * kPlaySamples * sizeof(int16_t);
  switch (record->kind) {
  case kAw8Record:
    std::memcpy(input_buffer_.get(), record->block,
                std::min(blockBytes, size_t(frames_) * kRecordSamples * sizeof(int16_t)));
    break;
  case kAw8Play14: {
    side.outA = static_cast<int16_t*>(record->block);
    side.posA = side.posB = 0;
    side.inPos = 0;
    side.inPhase = side.outPhase = 0;
    std::memset(record->block, 0, std::min(blockBytes, playBytes));
    std::memset(outputB_.get(), 0, playBytes);
    if (watchdog_.load() != 0) {
      // A structure change holds the engine: this block stays silent and the
      // watchdog waits for a block that runs.
      if (!TryProcessBlock()) {
        side.outA = nullptr;
        cardCalls_.fetch_add(1, std::memory_order_release);
        return;
      }
    }
    side.outA = nullptr; // the block belongs to this call only
    break;
  }
  case kAw8Play58:
    side.posB = 0;
    std::memcpy(record->block, outputB_.get(), std::min(blockBytes, playBytes));
    break;
  default: break;
  }
  WatchdogStep();
  cardCalls_.fetch_add(1, std::memory_order_release);
}

void TAudioWerk::WatchdogStep() {
  int32_t w = watchdog_.load();
  if (w == 0 || w == kWatchdogStart) {
    rearmRequests_.fetch_add(1);
    rearmWanted_.store(true);
  }
  // The control thread may re-arm in between: its value wins.
  if (w != 0) watchdog_.compare_exchange_strong(w, w - 1);
}

// A thread of normal priority: when the card's service starves it, the
// watchdog runs down and the engine stops instead of the machine.
void TAudioWerk::ControlThread() {
  for (;;) {
    platform::ThreadMessage m;
    if (controlQueue_.GetFor(m, kControlPoll)) {
      if (m.id == platform::kMsgEndThread) return;
      if (m.id == kMsgRearmWatchdog) watchdog_.store(kWatchdogArmed);
    }
    if (rearmWanted_.exchange(false)) watchdog_.store(kWatchdogArmed);
  }
}

// ---------------------------------------------------------------- factory

IAudioInOut* CreateAudioWerk(IAudioOwner* owner) { return new TAudioWerk(owner); }

void RegisterAudioWerk() {
  TAudioPort port;
  port.available = [] { return SupportedAW8(kSafeMode) == 1; };
  port.inputs = [] { return TAudioWerk::kInputs; };
  port.outputs = [] { return TAudioWerk::kOutputs; };
  port.create = CreateAudioWerk;
  RegisterAudioPort(kAudioWerk, port);
}

void SetAudioWerkDialog(TAudioWerkDialog dialog) { settingsDialog = dialog; }
