// "Resynth", "Pitch Former" and "Beat Loop": a sample played as a chain of
// short overlapping grains. Grain A starts, grain B (a copy of the previous
// A) fades out under it. The routines count the grain period down and mix;
// the set-ups decide where and how each grain starts.
#include <cmath>

#include "src/audio/samplemap.h"
#include "src/engine/convert.h"
#include "src/engine/event_ids.h"
#include "src/engine/event_routines.h"
#include "src/engine/module_types.h"
#include "src/engine/sampler_routines.h"
#include "src/engine/tables.h"

namespace {

constexpr int32_t kAmpl = QV_INPUT_AT(SampleInputs, ampl);
constexpr int32_t kStart = QV_INPUT_AT(SampleInputs, start);
constexpr int32_t kSelect = QV_INPUT_AT(SampleInputs, select);
constexpr int32_t kLoopStart = QV_INPUT_AT(SampleInputs, loopStart);
constexpr int32_t kLoopLength = QV_INPUT_AT(SampleInputs, loopLength);
constexpr int32_t kPitch = QV_INPUT_AT(SampleInputs, pitch);
constexpr int32_t kSpeed = QV_INPUT_AT(SampleInputs, speed);
constexpr int32_t kGrainy = QV_INPUT_AT(SampleInputs, grainy);
constexpr int32_t kSampleOffset = QV_INPUT_AT(SampleInputs, sampleOffset);
constexpr int32_t kSmooth = QV_INPUT_AT(SampleInputs, smooth);
constexpr int32_t kPan = QV_INPUT_AT(SampleInputs, pan);
constexpr int32_t kFormants = QV_INPUT_AT(SampleInputs, formants);

constexpr float kMinSmooth = 9.99999975e-06f;

float ClampSmooth(float sm) {
  if (!(sm >= kMinSmooth)) return kMinSmooth;
  return sm > 1.0f ? 1.0f : sm;
}

IAudioAnalysis* AnalysisOf(IAudioFileMapEntry* entry) {
  IAudioFileBuf* sound = entry ? entry->GetSoundFile() : nullptr;
  IAudioAnalysis* a = sound ? sound->GetAnalysis() : nullptr;
  if (!a || a->GetLength() < 1 || a->GetWindowLength() < 1 || !a->GetEntries()) return nullptr;
  return a;
}

int32_t ClampStart(int32_t start, int32_t length) {
  if (start < 0) return 0;
  if (start >= length) return length - 1;
  return start;
}

float EntryPan(const PlayerCore& p) { return p.entry ? p.entry->GetPan() : 0.0f; }

// The key a new grain selects its sample by: Sel, else P, else 0.
float GrainKey(const GrainInputs& in) {
  if (in.Connected(kSelect)) return *in.Pointer(kSelect);
  return in.Value(kPitch, 0.0f);
}

LoopInputs Loop(const GrainInputs& in) { return {in.Pointer(kLoopStart), in.Pointer(kLoopLength)}; }

bool LoopLengthZero(const GrainInputs& in) { return in.Connected(kLoopLength) && IsZero(*in.Pointer(kLoopLength)); }

GrainInputs InputsOf(TEngineRecord* r, int32_t voice) {
  if (!r->inputs) return {nullptr, 0};
  return {r->inputs[voice], r->audioInputs};
}

} // namespace

float GrainInputs::Value(int32_t k, float fallback) const {
  const float* p = Pointer(k);
  return p && p != &EngineZeroCell ? *p : fallback;
}
bool GrainInputs::Connected(int32_t k) const {
  const float* p = Pointer(k);
  return p && p != &EngineZeroCell;
}
const float* GrainInputs::Pointer(int32_t k) const { return in && k >= 0 && k < count ? in[k] : nullptr; }

// ---------------------------------------------------------------------------
// Entries and set-ups

void AttachResynthEntry(ResynthVoiceState& s, IAudioFileMapEntry* entry) {
  AttachSampleWithLoop(s.main, entry);
  PlayerCore& m = s.main.core;
  if (!m.entry) return;
  s.analysis = m.entry->GetResynthesis() != 0 ? 1 : 0;
  s.sampleGain = PitchLookup(float(m.entry->GetGain()) * 9.96578428466f + 1200.0f);
  SendVoiceEvent(s.header, ResynthOut::kLength, float(m.length) / m.framesPerMs);
}

void AttachBeatLoopEntry(BeatLoopVoiceState& s, IAudioFileMapEntry* entry) {
  AttachResynthEntry(s.common, entry);
  PlayerCore& m = s.common.main.core;
  if (!m.entry) {
    s.sixteenthCount = 16;
    s.framesPerSixteenth = 100.0f;
    return;
  }
  // A sound without a length in sixteenths plays as one sixteenth.
  s.sixteenthCount = m.entry->GetLength16() > 0 ? m.entry->GetLength16() : 1;
  s.framesPerSixteenth = float(m.length) / float(s.sixteenthCount);
  SendVoiceEvent(s.common.header, BeatLoopOut::kLength16, float(s.sixteenthCount));
}

namespace {

void SetUpGrains(ResynthVoiceState& s) {
  RefreshGrain(s.grainA, s.main.core.source);
  RefreshGrain(s.grainB, s.main.core.source);
}

} // namespace

void InitDualSampleVoice(TWord* state, IEngineModule* module, int32_t voice) {
  ResynthVoiceState& s = routines::As<ResynthVoiceState>(state);
  BindVoiceEvents(s.header, module, voice);
  BindSampleSource(s.main, module);
  AttachResynthEntry(s, SelectEntry(s.main.core, s.key));
  SetUpGrains(s);
  if (s.main.core.direction != 0 || (s.main.loopOn && s.main.loopInRelease)) s.countdown = 0;
}

void InitDualSampleVoiceAlias(TWord* state, IEngineModule* module, int32_t voice) {
  InitDualSampleVoice(state, module, voice);
}

void InitDualSampleVoice2(TWord* state, IEngineModule* module, int32_t voice) {
  BeatLoopVoiceState& s = routines::As<BeatLoopVoiceState>(state);
  BindVoiceEvents(s.common.header, module, voice);
  BindSampleSource(s.common.main, module);
  AttachBeatLoopEntry(s, SelectEntry(s.common.main.core, s.common.key));
  SetUpGrains(s.common);
  if (s.phaseLimit == 0.0f) s.phaseLimit = 1.0f;
}

// ---------------------------------------------------------------------------
// Grain set-ups

namespace {

// The previous grain becomes B; the sample of the new grain is selected by
// its key and the main player takes the pitch. False (and the chain stops)
// when no sample covers the key.
bool NextGrainSample(ResynthVoiceState& s, const GrainInputs& in, float& key) {
  PlayerCore& m = s.main.core;
  s.grainB = s.grainA;
  key = GrainKey(in);
  s.key = key;
  AttachResynthEntry(s, SelectEntry(m, key));
  if (!m.entry) {
    SilenceGrain(s.grainA);
    s.countdown = -1;
    s.phaseIncrement = 0.0f;
    return false;
  }
  SetPitchHz(m, in.Value(kPitch, 60.0f));
  return true;
}

} // namespace

void StartResynthGrain(ResynthVoiceState& s, const GrainInputs& in) {
  PlayerCore& m = s.main.core;
  if (!m.entry) return;
  const float smooth = in.Value(kSmooth, 0.1f);
  if (LoopLengthZero(in)) {
    s.main.loopOn = 1;
    SetDirectionForward(m);
  }
  const LoopInputs loop = Loop(in);
  if ((FloatBits(s.main.gate) & 0x7fffffff) != 0 || s.main.loopInRelease) UpdateLoopBoundsFromInputs(s.main, loop, false);
  WrapPlayerFromInputs(s.main, loop);
  if (m.direction == 0) {
    SilenceGrain(s.grainA);
    SilenceGrain(s.grainB);
    s.countdown = -1;
    s.phase = 10.0f;
    s.phaseIncrement = 0.0f;
    return;
  }
  SendVoiceEvent(s.header, ResynthOut::kPosition, float(m.position) / m.framesPerMs);
  float key;
  if (!NextGrainSample(s, in, key)) return;
  float grain = m.framesPerMs * in.Value(kGrainy, 5.0f);
  int32_t start = m.position;
  IAudioAnalysis* analysis = s.analysis ? AnalysisOf(m.entry) : nullptr;
  if (analysis) analysis->GetPeriod(start, grain);
  start = ClampStart(TruncToInt(float(start) + m.framesPerMs * in.Value(kSampleOffset, 0.0f)), m.length);
  if (!(grain >= 5.0f)) grain = 5.0f;
  if (grain > 20000.0f) grain = 20000.0f;
  const float startFraction = analysis ? 0.0f : m.fraction;
  StartGrain(s.grainA, m, key, start, startFraction, in.Value(kAmpl, 1.0f) * s.sampleGain,
             EntryPan(m) + in.Value(kPan, 0.0f), 0);
  SetPitchHz(s.grainA.core, m.pitch);

  const float relative = PitchToRatio(m.pitch - GetRootPitch(m));
  const float speed = GetRateRatio(m) * relative;
  float frames = speed > 0.0f ? grain / speed : 20000.0f;
  if (!(frames <= 1.0e7f)) frames = 1.0e7f;
  frames += s.carriedFraction;
  s.countdown = int32_t(frames);
  s.carriedFraction = frames - float(s.countdown);
  // A grain shorter than a frame still takes one, so grains keep following
  // one another and the crossfade stays finite.
  if (s.countdown < 1) s.countdown = 1;

  const float factor = in.Connected(kSpeed) ? (relative > 0.0f ? *in.Pointer(kSpeed) / relative : 0.0f) : 1.0f;
  const float distance = analysis ? grain : std::fabs(m.increment) * float(s.countdown);
  const float advance = factor * distance * float(m.direction);
  if (std::isfinite(advance)) m.fraction += advance;
  s.phaseIncrement = 1.0f / (float(s.countdown) * ClampSmooth(smooth));
  s.phase = 0.0f;
}

void StartPitchFormerGrain(ResynthVoiceState& s, const GrainInputs& in) {
  PlayerCore& m = s.main.core;
  if (!m.entry) return;
  if (LoopLengthZero(in)) {
    s.main.loopOn = 1;
    SetDirectionForward(m);
  }
  if (m.direction == 0) {
    StopPlayer(s.grainA.core);
    StopPlayer(s.grainB.core);
    s.countdown = -1;
    s.phaseIncrement = 0.0f;
    return;
  }
  const float smooth = in.Value(kSmooth, 0.8f);
  float key;
  if (!NextGrainSample(s, in, key)) return;
  const float rate = EngineConstants.processingRate > 0.0f ? EngineConstants.processingRate : 44100.0f;
  float period = m.ratio < 0.1f ? rate * 10.0f : rate / m.ratio;
  int32_t start = m.position;
  if (IAudioAnalysis* analysis = AnalysisOf(m.entry)) analysis->FindPeriodStart(start);
  start = ClampStart(TruncToInt(float(start) + m.framesPerMs * in.Value(kSampleOffset, 0.0f)), m.length);
  if (!(period >= 5.0f)) period = 5.0f;
  if (period > 20000.0f) period = 20000.0f;
  StartGrain(s.grainA, m, key, start, 0.0f, in.Value(kAmpl, 1.0f) * s.sampleGain,
             EntryPan(m) + in.Value(kPan, 0.0f), 0);
  SetPitchRatio(s.grainA.core, in.Value(kFormants, 0.0f));
  const float frames = s.carriedFraction + period;
  s.countdown = int32_t(frames);
  s.carriedFraction = frames - float(s.countdown);
  const float advance = float(m.direction) * period * GetRateRatio(m) * in.Value(kSpeed, 1.0f);
  if (std::isfinite(advance)) m.fraction += advance;
  if ((FloatBits(s.main.gate) & 0x7fffffff) != 0 || s.main.loopInRelease) {
    UpdateLoopBoundsFromInputs(s.main, Loop(in), false);
    if (m.entry) WrapPlayerFromInputs(s.main, Loop(in));
  }
  s.phaseIncrement = 1.0f / (float(s.countdown) * ClampSmooth(smooth));
  s.phase = 0.0f;
}

namespace {

void UpdateSixteenthBounds(BeatLoopVoiceState& s, const GrainInputs& in) {
  const int32_t count = s.sixteenthCount;
  int32_t ls = TruncToInt(in.Value(kLoopStart, 0.0f));
  int32_t ll = in.Connected(kLoopLength) ? TruncToInt(*in.Pointer(kLoopLength)) : count;
  if (ls < 0) ls = 0;
  if (ll <= 0) ll = 0;
  if (ll > count) ll = count;
  if (ls > count - ll) ls = count - ll;
  if (ll > 0) {
    int32_t index = (s.sixteenthIndex % ll) + (ls / ll) * ll;
    if (index < ls) index += ll;
    s.sixteenthIndex = index;
  } else {
    s.sixteenthIndex = ls;
  }
}

} // namespace

int32_t SnapBeatLoopStart(const BeatLoopVoiceState& s, int32_t start) {
  IAudioAnalysis* a = AnalysisOf(s.common.main.core.entry);
  if (!a) return start;
  const int32_t d = a->GetWindowLength();
  const int32_t count = a->GetLength();
  const int32_t* m = a->GetEntries();
  auto marker = [&](int32_t frame) {
    int32_t k = frame > 0 ? frame / d : 0;
    if (k >= count) k = count - 1;
    return m[k];
  };
  const int32_t p = GetGrainPosition(s.common.grainB);
  const int64_t result = int64_t(marker(start)) + (int64_t(p) - int64_t(marker(p)));
  if (result < 0) return 0;
  const int32_t length = s.common.main.core.length;
  return result >= length ? int32_t(result % length) : int32_t(result);
}

void StartBeatLoopGrain(BeatLoopVoiceState& s, const GrainInputs& in) {
  ResynthVoiceState& c = s.common;
  PlayerCore& m = c.main.core;
  if (!m.entry) return;
  c.grainB = c.grainA;
  UpdateSixteenthBounds(s, in);
  const float key = GrainKey(in);
  c.key = key;
  AttachBeatLoopEntry(s, SelectEntry(m, key));
  if (!m.entry) {
    SilenceGrain(c.grainA);
    return;
  }
  SetDirectionForward(m);
  SetPitchHz(m, in.Value(kPitch, 60.0f));
  UpdateSixteenthBounds(s, in);
  int32_t start = TruncToInt((float(s.sixteenthIndex) + in.Value(kSampleOffset, 0.0f)) * s.framesPerSixteenth);
  if (s.tickCount != 0) start = TruncToInt(float(start) - 3.0f * float(s.tickInterval) * m.increment);
  const int32_t length = m.length;
  if (start < 0) {
    start = start + length - 1;
    if (start < 0) start = 0;
  } else if (start >= length) {
    start %= length;
  }
  if (c.analysis) start = SnapBeatLoopStart(s, start);
  StartGrain(c.grainA, m, key, start, 0.0f, in.Value(kAmpl, 1.0f) * c.sampleGain, EntryPan(m) + in.Value(kPan, 0.0f),
             1);
  SetPitchHz(c.grainA.core, m.pitch);
  s.phaseLimit = 1.0f;
  if (s.tickCount != 0 && s.tickInterval > 0) {
    c.phaseIncrement = 1.0f / (3.0f * float(s.tickInterval) * ClampSmooth(in.Value(kSmooth, 0.1f)));
    s.phase = 0.0f;
  } else {
    c.phaseIncrement = 0.0f;
    s.phase = 1.0f;
  }
}

// ---------------------------------------------------------------------------
// Routines

namespace {

template <int Q, bool Stereo> inline void Panned(const GrainPlayerState& a, DeclickOutput& o) {
  const float l = Kernel<Q>(a.left, a.core.position, a.core.fraction);
  const float r = Stereo ? Kernel<Q>(a.right, a.core.position, a.core.fraction) : l;
  o.currentLeft = l * a.gainLeft;
  o.currentRight = r * a.gainRight;
}

template <int Q, bool Stereo>
inline void Crossfade(const GrainPlayerState& a, const GrainPlayerState& b, float x, DeclickOutput& o) {
  const float la = Kernel<Q>(a.left, a.core.position, a.core.fraction);
  const float lb = Kernel<Q>(b.left, b.core.position, b.core.fraction);
  const float ra = Stereo ? Kernel<Q>(a.right, a.core.position, a.core.fraction) : la;
  const float rb = Stereo ? Kernel<Q>(b.right, b.core.position, b.core.fraction) : lb;
  o.currentLeft = la * x * a.gainLeft + lb * (1.0f - x) * b.gainLeft;
  o.currentRight = ra * x * a.gainRight + rb * (1.0f - x) * b.gainRight;
}

template <int Q, bool Stereo, bool Resynth> void ChainRoutine() {
  const int32_t n = SlotVoices();
  float** const* inputs = SlotInputs();
  TVoiceRecords records(SlotStates());
  const int32_t count = SlotRecord()->audioInputs;
  for (int32_t v = 0; v < n; ++v) {
    ResynthVoiceState& s = routines::As<ResynthVoiceState>(records.Take());
    DeclickOutput& o = s.main.core.out;
    DecayHeld(o);
    if (s.countdown == 0) {
      const GrainInputs in{inputs ? inputs[v] : nullptr, count};
      if (Resynth) StartResynthGrain(s, in);
      else StartPitchFormerGrain(s, in);
    }
    if (s.countdown > 0) --s.countdown;
    s.phase += s.phaseIncrement;
    if (s.phase <= 1.0f) {
      Crossfade<Q, Stereo>(s.grainA, s.grainB, s.phase, o);
      StepGrain(s.grainB);
    } else {
      Panned<Q, Stereo>(s.grainA, o);
    }
    StepGrain(s.grainA);
  }
}

template <int Q, bool Stereo> void BeatLoopRoutine() {
  const int32_t n = SlotVoices();
  TVoiceRecords records(SlotStates());
  for (int32_t v = 0; v < n; ++v) {
    BeatLoopVoiceState& s = routines::As<BeatLoopVoiceState>(records.Take());
    ResynthVoiceState& c = s.common;
    DeclickOutput& o = c.main.core.out;
    if (s.framesSinceTick < INT32_MAX) ++s.framesSinceTick;
    s.phase += c.phaseIncrement;
    if (s.phase >= s.phaseLimit) {
      c.phaseIncrement = 0.0f;
      if (s.framesSinceTick > 2 * int64_t(s.tickInterval)) {
        SilenceGrain(c.grainA);
        SilenceGrain(c.grainB);
      }
    }
    StepGrain(c.grainA);
    if (s.phase > 1.0f) {
      Panned<Q, Stereo>(c.grainA, o);
    } else {
      StepGrain(c.grainB);
      Crossfade<Q, Stereo>(c.grainA, c.grainB, s.phase, o);
    }
  }
}

template <int Q, bool Stereo> void ResynthRun() { ChainRoutine<Q, Stereo, true>(); }
template <int Q, bool Stereo> void PitchFormerRun() { ChainRoutine<Q, Stereo, false>(); }

constexpr TAudioRoutine kResynth[2][3] = {
    {ResynthRun<kPoor, false>, ResynthRun<kGood, false>, ResynthRun<kExcellent, false>},
    {ResynthRun<kPoor, true>, ResynthRun<kGood, true>, ResynthRun<kExcellent, true>}};
constexpr TAudioRoutine kPitchFormer[2][3] = {
    {PitchFormerRun<kPoor, false>, PitchFormerRun<kGood, false>, PitchFormerRun<kExcellent, false>},
    {PitchFormerRun<kPoor, true>, PitchFormerRun<kGood, true>, PitchFormerRun<kExcellent, true>}};
constexpr TAudioRoutine kBeatLoop[2][3] = {
    {BeatLoopRoutine<kPoor, false>, BeatLoopRoutine<kGood, false>, BeatLoopRoutine<kExcellent, false>},
    {BeatLoopRoutine<kPoor, true>, BeatLoopRoutine<kGood, true>, BeatLoopRoutine<kExcellent, true>}};

// ---------------------------------------------------------------------------
// Events

void ResynthGate(TEngineRecord* r, int32_t voice, float value) {
  ResynthVoiceState* s = VoiceRecord<ResynthVoiceState>(r, voice);
  if (!s || EngineResetting() || !s->main.core.entry) return;
  const GrainInputs in = InputsOf(r, voice);
  PlayerCore& m = s->main.core;
  TriggerPlayerFromInputs(s->main, value, in.Value(kStart, 0.0f), Loop(in));
  if (!IsOn(value)) return;
  const float key = GrainKey(in);
  s->key = key;
  AttachResynthEntry(*s, SelectEntry(m, key));
  if (!m.entry) return;
  SetPitchHz(m, in.Value(kPitch, 60.0f));
  StartGrain(s->grainA, m, key, m.position, m.fraction, in.Value(kAmpl, 1.0f), EntryPan(m) + in.Value(kPan, 0.0f), 0);
  SetPitchHz(s->grainA.core, m.pitch);
  s->countdown = 0;
  s->carriedFraction = 0.0f;
}

void PitchFormerGate(TEngineRecord* r, int32_t voice, float value) {
  ResynthVoiceState* s = VoiceRecord<ResynthVoiceState>(r, voice);
  if (!s || EngineResetting() || !s->main.core.entry) return;
  const GrainInputs in = InputsOf(r, voice);
  TriggerPlayerFromInputs(s->main, value, in.Value(kStart, 0.0f), Loop(in));
  if (!IsOn(value)) return;
  StartPitchFormerGrain(*s, in);
  if (s->countdown < 0) s->countdown = 0;
}

void BeatLoopClock(TEngineRecord* r, int32_t voice, float value) {
  BeatLoopVoiceState* s = VoiceRecord<BeatLoopVoiceState>(r, voice);
  if (!s || EngineResetting() || !IsOn(value)) return;
  const GrainInputs in = InputsOf(r, voice);
  s->tickInterval = s->framesSinceTick;
  s->framesSinceTick = 0;
  if (s->tickCount == 0) {
    s->sixteenthIndex = TruncToInt(in.Value(kStart, 0.0f));
    UpdateSixteenthBounds(*s, in);
    SendVoiceEvent(s->common.header, BeatLoopOut::kPosition16, float(s->sixteenthIndex));
    SendVoiceEvent(s->common.header, BeatLoopOut::kCount16, 0.0f);
    StartBeatLoopGrain(*s, in);
  } else {
    const int32_t phase = s->tickCount % 6;
    if (phase == 3) {
      if (s->sixteenthIndex < INT32_MAX) ++s->sixteenthIndex;
      StartBeatLoopGrain(*s, in);
    } else if (phase == 0) {
      SendVoiceEvent(s->common.header, BeatLoopOut::kPosition16, float(s->sixteenthIndex));
      SendVoiceEvent(s->common.header, BeatLoopOut::kCount16, float(s->tickCount / 6));
      s->phase = s->phaseLimit;
      s->common.phaseIncrement = 0.0f;
    }
  }
  // The count wraps at a multiple of 6, so a very long run keeps its beat.
  s->tickCount = s->tickCount >= 2147483646 - 6 ? 6 : s->tickCount + 1;
}

void BeatLoopReset(TEngineRecord* r, int32_t voice, float value) {
  BeatLoopVoiceState* s = VoiceRecord<BeatLoopVoiceState>(r, voice);
  if (s && !EngineResetting() && IsOn(value)) s->tickCount = 0;
}

void BeatLoopSystemTick(TEngineRecord* r, int32_t voice, float value) {
  BeatLoopVoiceState* s = VoiceRecord<BeatLoopVoiceState>(r, voice);
  if (!s) return;
  const float v = value < 0.0f ? 0.0f : value;
  s->tickCount = ToIndex(v, 0, INT32_MAX - 8);
  BeatLoopClock(r, voice, v);
}

void BeatLoopSystemRun(TEngineRecord* r, int32_t voice, float value) {
  BeatLoopVoiceState* s = VoiceRecord<BeatLoopVoiceState>(r, voice);
  if (!s) return;
  if (IsOn(value)) {
    s->tickCount = 0;
    return;
  }
  StopPlayer(s->common.main.core);
  SilenceGrain(s->common.grainA);
  SilenceGrain(s->common.grainB);
}

} // namespace

TAudioRoutine FindGrainRoutine(int32_t type, bool stereo, int32_t quality) {
  const int32_t c = stereo ? 1 : 0;
  const int32_t q = quality < 0 ? 0 : quality > 2 ? 2 : quality;
  switch (type) {
  case kTypeBeatLoop.type: return kBeatLoop[c][q];
  case kTypeResynth.type: return kResynth[c][q];
  case kTypePitchFormer.type: return kPitchFormer[c][q];
  default: return nullptr;
  }
}

void InstallGrainEvents(TRoutineTables& t) {
  t.event[evResynthGate] = ResynthGate;
  t.event[evPitchFormerGate] = PitchFormerGate;
  t.event[evBeatLoopClock] = BeatLoopClock;
  t.event[evBeatLoopReset] = BeatLoopReset;
  t.event[evBeatLoopTick] = BeatLoopSystemTick;
  t.event[evBeatLoopRun] = BeatLoopSystemRun;
}
