// "Sampler", "Sampler FM", "Sampler Loop" and "Lookup": voice set-ups, the
// routine variants (kernel x channel layout, each a routine of its own, made
// from one template) and their pitch, trigger and gate events.
#include "src/engine/module_types.h"
#include "src/engine/sampler_routines.h"

#include <iterator>

#include "src/audio/samplemap.h"
#include "src/engine/convert.h"
#include "src/engine/event_ids.h"
#include "src/engine/event_routines.h"

namespace {

constexpr int32_t kAmpl = QV_INPUT_AT(SampleInputs, ampl);
constexpr int32_t kFreq = QV_INPUT_AT(SampleInputs, freq);
constexpr int32_t kStart = QV_INPUT_AT(SampleInputs, start);
constexpr int32_t kSelect = QV_INPUT_AT(SampleInputs, select);
constexpr int32_t kLoopStart = QV_INPUT_AT(SampleInputs, loopStart);
constexpr int32_t kLoopLength = QV_INPUT_AT(SampleInputs, loopLength);

SampleVoiceState& Sample(TWord* state) { return routines::As<SampleVoiceState>(state); }

// The channel pointers of the attached sample, the silent run without one.
void BindChannels(SampleVoiceState& s) {
  const float* left = SampleChannel(s.player.core.entry, 0);
  s.left = left ? left : SilentSamples;
  s.right = left ? SampleChannel(s.player.core.entry, 1) : SilentSamples;
}

void SendLength(SampleVoiceState& s) {
  PlayerCore& p = s.player.core;
  if (!p.entry) return;
  SendVoiceEvent(s.header, SamplerOut::kLength, float(p.length) * 1000.0f / (p.framesPerMs * 1000.0f));
}

// An input of a record's voice, null when the record has none there.
const float* InputOf(TEngineRecord* r, int32_t voice, int32_t k) {
  if (!r->inputs || k >= r->audioInputs) return nullptr;
  return r->inputs[voice][k];
}

float ValueOf(TEngineRecord* r, int32_t voice, int32_t k, float fallback) {
  const float* p = InputOf(r, voice, k);
  return p && p != &EngineZeroCell ? *p : fallback;
}

} // namespace

void BindVoiceEvents(VoiceEventHeader& header, IEngineModule* module, int32_t voice) {
  header.record = module ? module->GetEngineRecord() : nullptr;
  header.voice = voice;
}

void SendVoiceEvent(VoiceEventHeader& header, int32_t output, float v) {
  if (output >= 0 && output < int32_t(std::size(header.eventOut))) header.eventOut[output].f = v;
  if (header.record) SendEvent(header.record, output, header.voice, v);
}

// ---------------------------------------------------------------------------
// Voice set-ups

void InitTableVoice(TWord* state, IEngineModule* module, int32_t voice) {
  SampleVoiceState& s = Sample(state);
  BindVoiceEvents(s.header, module, voice);
  BindSampleSource(s.player, module);
  BindChannels(s);
}

void InitSingleSampleVoice(TWord* state, IEngineModule* module, int32_t voice) {
  InitTableVoice(state, module, voice);
  SampleVoiceState& s = Sample(state);
  AttachSampleEntry(s.player.core, SelectEntry(s.player.core, 0.0f));
  BindChannels(s);
  SendLength(s);
}

void InitMappedSampleVoice(TWord* state, IEngineModule* module, int32_t voice) {
  InitTableVoice(state, module, voice);
  SampleVoiceState& s = Sample(state);
  AttachSampleEntry(s.player.core, SelectEntry(s.player.core, s.key));
  BindChannels(s);
  SendLength(s);
}

void InitMappedLoopSampleVoice(TWord* state, IEngineModule* module, int32_t voice) {
  InitTableVoice(state, module, voice);
  SampleVoiceState& s = Sample(state);
  AttachSampleWithLoop(s.player, SelectEntry(s.player.core, s.key));
  BindChannels(s);
  SendLength(s);
}

void InitMappedSampleVoice2(TWord* state, IEngineModule* module, int32_t voice) {
  InitTableVoice(state, module, voice);
  SampleVoiceState& s = Sample(state);
  TEngineRecord* r = module ? module->GetEngineRecord() : nullptr;
  const float key = r ? ValueOf(r, voice, kSelect, s.key) : s.key;
  AttachSampleWithLoop(s.player, SelectEntry(s.player.core, key));
  BindChannels(s);
  SendLength(s);
}

// ---------------------------------------------------------------------------
// Routines

namespace {

enum EStep { kPlainStep, kFmStep, kLoopStep };

template <int Q, bool Stereo, int Step> void SamplerRoutine() {
  EachVoice<SampleVoiceState>([](SampleVoiceState& s, float* const* in) {
    PlayerCore& p = s.player.core;
    DeclickOutput& o = p.out;
    if constexpr (Stereo) DecayHeld(o);
    else DecayHeldMono(o);
    if (p.direction != 0) {
      const float a = *in[kAmpl];
      if constexpr (Stereo) {
        o.currentLeft = Kernel<Q>(s.left, p.position, p.fraction) * a + o.heldLeft;
        o.currentRight = Kernel<Q>(s.right, p.position, p.fraction) * a + o.heldRight;
      } else {
        o.currentLeft = o.currentRight = Kernel<Q>(s.left, p.position, p.fraction) * a + o.heldLeft;
      }
      if constexpr (Step == kPlainStep) AdvancePlayer(p);
      else AdvancePlayerFM(p, *in[kFreq]);
      if constexpr (Step == kLoopStep) WrapPlayerFromInputs(s.player, {in[kLoopStart], in[kLoopLength]});
      else WrapPlayer(s.player);
    } else if constexpr (Stereo) {
      o.currentLeft = o.heldLeft;
      o.currentRight = o.heldRight;
    } else {
      o.currentLeft = o.currentRight = o.heldLeft;
    }
  });
}

template <int Q, bool Stereo> void LookupRoutine() {
  EachVoice<SampleVoiceState>([](SampleVoiceState& s, float* const* in) {
    PlayerCore& p = s.player.core;
    const float x = p.framesPerMs * *in[kFreq];
    int32_t index = TruncToInt(x);
    float f = x - float(index);
    if (!(f >= 0.0f && f < 1.0f)) f = 0.0f;
    if (index < 0) index = 0;
    if (index >= p.length) index = p.length - 1;
    const float a = *in[kAmpl];
    if constexpr (Stereo) {
      p.out.currentLeft = Kernel<Q>(s.left, index, f) * a;
      p.out.currentRight = Kernel<Q>(s.right, index, f) * a;
    } else {
      p.out.currentLeft = p.out.currentRight = Kernel<Q>(s.left, index, f) * a;
    }
  });
}

template <template <int, bool> class R> struct TVariants {
  static constexpr TAudioRoutine kTable[2][3] = {
      {R<kPoor, false>::Run, R<kGood, false>::Run, R<kExcellent, false>::Run},
      {R<kPoor, true>::Run, R<kGood, true>::Run, R<kExcellent, true>::Run}};
};

template <int Q, bool Stereo> struct TSampler {
  static void Run() { SamplerRoutine<Q, false, kPlainStep>(); }
};
template <int Q, bool Stereo> struct TSamplerFm {
  static void Run() { SamplerRoutine<Q, false, kFmStep>(); }
};
template <int Q, bool Stereo> struct TSamplerLoop {
  static void Run() { SamplerRoutine<Q, Stereo, kLoopStep>(); }
};
template <int Q, bool Stereo> struct TLookup {
  static void Run() { LookupRoutine<Q, Stereo>(); }
};

int32_t QualityIndex(int32_t quality) { return quality < 0 ? 0 : quality > 2 ? 2 : quality; }

// ---------------------------------------------------------------------------
// Events

void SamplerPitch(TEngineRecord* r, int32_t voice, float value) {
  SampleVoiceState* s = VoiceRecord<SampleVoiceState>(r, voice);
  if (!s) return;
  s->key = value;
  SetPitchHz(s->player.core, value);
}

// Re-selects the voice's entry and triggers (or releases) the player.
template <bool WithLoop, bool StartInput, bool LoopInputsToo>
void SamplerTrigger(TEngineRecord* r, int32_t voice, float value) {
  SampleVoiceState* s = VoiceRecord<SampleVoiceState>(r, voice);
  if (!s || EngineResetting()) return;
  PlayerCore& p = s->player.core;
  if (IsOn(value)) {
    float key = s->key;
    if (LoopInputsToo) key = ValueOf(r, voice, kSelect, key);
    IAudioFileMapEntry* entry = SelectEntry(p, key);
    if (WithLoop) AttachSampleWithLoop(s->player, entry);
    else AttachSampleEntry(p, entry);
    BindChannels(*s);
    SetPitchHz(p, p.pitch);
  }
  const float startMs = StartInput ? ValueOf(r, voice, kStart, 0.0f) : 0.0f;
  if (LoopInputsToo)
    TriggerPlayerFromInputs(s->player, value, startMs,
                            {InputOf(r, voice, kLoopStart), InputOf(r, voice, kLoopLength)});
  else TriggerPlayer(s->player, value, startMs);
}

} // namespace

TAudioRoutine FindSampleRoutine(int32_t type, bool stereo, int32_t quality) {
  const int32_t q = QualityIndex(quality);
  switch (type) {
  case kTypeSampler.type: return TVariants<TSampler>::kTable[0][q];
  case kTypeSamplerFm.type: return TVariants<TSamplerFm>::kTable[0][q];
  case kTypeSamplerLoop.type: return TVariants<TSamplerLoop>::kTable[stereo ? 1 : 0][q];
  case kTypeSampleLookup.type: return TVariants<TLookup>::kTable[stereo ? 1 : 0][q];
  case kTypeBeatLoop.type:
  case kTypeResynth.type:
  case kTypePitchFormer.type: return FindGrainRoutine(type, stereo, q);
  default: return nullptr;
  }
}

bool IsChosenByQuality(int32_t type) {
  switch (type) {
  case kTypeModDelay.type:
  case kTypeSampler.type:
  case kTypeSamplerFm.type:
  case kTypeSamplerLoop.type:
  case kTypeSampleLookup.type:
  case kTypeGrainDelay.type:
  case kTypeBeatLoop.type:
  case kTypeResynth.type:
  case kTypePitchFormer.type: return true;
  default: return false;
  }
}

bool IsChosenByStereo(int32_t type) {
  return type == kTypeSamplerLoop.type || type == kTypeSampleLookup.type || type == kTypeBeatLoop.type ||
         type == kTypeResynth.type || type == kTypePitchFormer.type;
}

TVoiceSetup FindVoiceSetup(int32_t type) {
  switch (type) {
  case kTypeStaticDelay.type: return InitBufferVoice;
  case kTypeTapedeck1.type: return InitRecorderVoice;
  case kTypeTapedeck2.type: return InitRecorderVoiceAlt;
  case kTypeModDelay.type: return InitDelayVoice;
  case kTypeSampler.type: return InitMappedSampleVoice;
  case kTypeSamplerFm.type: return InitMappedLoopSampleVoice;
  case kTypeSamplerLoop.type: return InitMappedSampleVoice2;
  case kTypeSampleLookup.type: return InitSingleSampleVoice;
  case kTypeScope.type: return InitBufferPositionVoice;
  case kTypeDiffuserDelay.type: return InitBufferReaderVoice;
  case kTypeGrainDelay.type: return InitGrainVoice;
  case kTypeBeatLoop.type: return InitDualSampleVoice2;
  case kTypeResynth.type: return InitDualSampleVoice;
  case kTypePitchFormer.type: return InitDualSampleVoiceAlias;
  case kTypeDemux.type: return InitTableVoice;
  default: return nullptr;
  }
}

void InstallSamplerRoutines(TRoutineTables& t) {
  const TModuleKey oneShot[] = {kTypeSampler, kTypeSamplerFm, kTypeSampleLookup};
  const TModuleKey looping[] = {kTypeSamplerLoop, kTypeBeatLoop, kTypeResynth, kTypePitchFormer};
  for (TModuleKey type : oneShot) t.audio[type] = FindSampleRoutine(type.Index(), false, kGood);
  for (TModuleKey type : looping) t.audio[type] = FindSampleRoutine(type.Index(), true, kGood);
  t.event[evSamplerPitch] = SamplerPitch;
  t.event[evSamplerTrigger] = SamplerTrigger<false, false, false>;
  t.event[evSamplerFmTrigger] = SamplerTrigger<true, true, false>;
  t.event[evSamplerLoopGate] = SamplerTrigger<true, true, true>;
  InstallGrainEvents(t);
}
