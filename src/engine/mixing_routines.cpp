// Per-sample routines of arithmetic, mixing and routing: sums, products,
// mixers, crossfade and pan, relays, the voice combiner, the unit delay
// and the level meters.
#include "src/engine/audio_routines.h"

#include "src/engine/audio_routine_util.h"
#include "src/engine/module_types.h"
#include "src/engine/routine_util.h"
#include "src/engine/voice_state.h"

namespace {

using routines::As;
using routines::High;
using routines::PerVoice;
using routines::TIn;

template <int N> void SumStep(TIn in, TWord* w) {
  float s = *in[AudioOperandsIn::kFirst];
  for (int k = 1; k < N; ++k) s += *in[AudioOperandsIn::kFirst + k];
  As<OutState>(w).out = s;
}

template <int N> void ProductStep(TIn in, TWord* w) {
  float p = *in[AudioOperandsIn::kFirst];
  for (int k = 1; k < N; ++k) p *= *in[AudioOperandsIn::kFirst + k];
  As<OutState>(w).out = p;
}

void InvertStep(TIn in, TWord* w) { As<OutState>(w).out = -*in[AudioInvertIn::kIn]; }

void ReciprocalStep(TIn in, TWord* w) {
  const float x = *in[AudioReciprocalIn::kIn];
  As<OutState>(w).out = IsZero(x) ? 0.0f : 1.0f / x;
}

void DivideStep(TIn in, TWord* w) {
  const float y = *in[AudioDivideIn::kY];
  As<OutState>(w).out = IsZero(y) ? 0.0f : *in[AudioDivideIn::kX] / y;
}

void AmpStep(TIn in, TWord* w) {
  AmpState& s = As<AmpState>(w);
  s.out = s.gain * *in[AmpIn::kIn];
}

template <int N> void MixerStep(TIn in, TWord* w) {
  MixerState<N>& m = As<MixerState<N>>(w);
  float s = 0.0f;
  for (int k = 0; k < N; ++k) s += m.gain[k] * *in[MixerIn::kIn1 + k];
  m.out = s;
}

void CrossfadeStep(TIn in, TWord* w) {
  const float x = *in[CrossfadeIn::kFade], a = *in[CrossfadeIn::kIn1], b = *in[CrossfadeIn::kIn2];
  As<OutState>(w).out = (b - a) * x + a;
}

void StereoPanStep(TIn in, TWord* w) {
  StereoPanState& s = As<StereoPanState>(w);
  const float pan = *in[StereoPanIn::kPan], x = *in[StereoPanIn::kIn];
  s.left = (1.0f - pan) * x;
  s.right = (1.0f + pan) * x;
}

void StereoAmpStep(TIn in, TWord* w) {
  StereoAmpState& s = As<StereoAmpState>(w);
  const float x = *in[StereoAmpIn::kIn];
  s.left = s.gainLeft * x;
  s.right = s.gainRight * x;
}

void Relay1Step(TIn in, TWord* w) {
  As<OutState>(w).out = High(*in[Relay1In::kControl]) ? *in[Relay1In::kIn] : 0.0f;
}
void Relay2Step(TIn in, TWord* w) {
  As<OutState>(w).out = High(*in[Relay2In::kControl]) ? *in[Relay2In::kIn1] : *in[Relay2In::kIn2];
}
void ChopperStep(TIn in, TWord* w) {
  const float x = *in[ChopperIn::kIn];
  As<OutState>(w).out = High(*in[ChopperIn::kMod]) ? x * *in[ChopperIn::kFactor] : x;
}

// "}": the sum over all voices lands in voice 0.
void VoiceCombiner() {
  float** const* inputs = SlotInputs();
  const TStateWords& states = SlotStates();
  const int32_t voices = SlotVoices();
  float s = 0.0f;
  for (int32_t v = 0; v < voices; ++v) s += *inputs[v][VoiceCombinerIn::kIn];
  states[0][QV_WORD_AT(OutState, out)].f = s;
}

void UnitDelayStep(TIn in, TWord* w) {
  UnitDelayState& s = As<UnitDelayState>(w);
  s.previous = s.current;
  s.current = *in[UnitDelayIn::kIn];
}

void TestModStep(TIn in, TWord* w) {
  TestModState& s = As<TestModState>(w);
  for (int k = 0; k < TestModIn::kCount; ++k) s.out[k] = *in[TestModIn::kFirst + k];
}

// Level meters hold the peak power for the panel, which lets it decay. The
// meter and the lamp keep it in the same word, so one routine serves both.
constexpr int32_t kPeakWord = QV_WORD_AT(MeterState, value);
static_assert(kPeakWord == QV_WORD_AT(LevelLampState, peak), "both level displays hold the peak in one word");

void LevelPeak() {
  const float x = *SlotInputs()[0][LevelIn::kLevel];
  const float power = x * x;
  float& peak = SlotStates()[0][kPeakWord].f;
  if (power > routines::LoadShared(peak)) routines::StoreShared(peak, power);
}

} // namespace

void InstallMixingRoutines(TRoutineTables& t) {
  TModuleTable<TAudioRoutine>& a = t.audio;
  a[kTypeAudioSum2] = PerVoice<SumStep<2>>;
  a[kTypeAudioSum3] = PerVoice<SumStep<3>>;
  a[kTypeAudioSum4] = PerVoice<SumStep<4>>;
  a[kTypeAudioSum6] = PerVoice<SumStep<6>>;
  a[kTypeAudioSum8] = PerVoice<SumStep<8>>;
  a[kTypeAudioInvert] = PerVoice<InvertStep>;
  a[kTypeAudioProduct2] = PerVoice<ProductStep<2>>;
  a[kTypeAudioProduct3] = PerVoice<ProductStep<3>>;
  a[kTypeAudioProduct4] = PerVoice<ProductStep<4>>;
  a[kTypeAudioProduct6] = PerVoice<ProductStep<6>>;
  a[kTypeAudioReciprocal] = PerVoice<ReciprocalStep>;
  a[kTypeAudioDivide] = PerVoice<DivideStep>;
  a[kTypeAmp] = PerVoice<AmpStep>;
  a[kTypeMixer2] = PerVoice<MixerStep<2>>;
  a[kTypeMixer3] = PerVoice<MixerStep<3>>;
  a[kTypeMixer4] = PerVoice<MixerStep<4>>;
  a[kTypeMixer5] = PerVoice<MixerStep<5>>;
  a[kTypeMixer6] = PerVoice<MixerStep<6>>;
  a[kTypeMixer8] = PerVoice<MixerStep<8>>;
  a[kTypeCrossfade] = PerVoice<CrossfadeStep>;
  a[kTypeStereoPan] = PerVoice<StereoPanStep>;
  a[kTypeStereoAmp] = PerVoice<StereoAmpStep>;
  a[kTypeRelay1] = PerVoice<Relay1Step>;
  a[kTypeRelay2] = PerVoice<Relay2Step>;
  a[kTypeChopper] = PerVoice<ChopperStep>;
  a[kTypeAudioVoiceCombiner] = VoiceCombiner;
  a[kTypeUnitDelay] = PerVoice<UnitDelayStep>;
  a[kTypeTestModule] = PerVoice<TestModStep>;
  a[kTypeLevelMeter] = LevelPeak;
  a[kTypeLevelLamp] = LevelPeak;
}
