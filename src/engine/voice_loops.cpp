#include "src/engine/voice_loops.h"

#include "src/engine/audio_routine_util.h"
#include "src/engine/module_types.h"
#include "src/engine/routine_util.h"
#include "src/engine/tables.h"
#include "src/engine/voice_state.h"

#if defined(QV_HAVE_X86V3_KERNELS)
#include <cpuid.h>
#endif

namespace {

const TVoiceKernels* activeKernels = &VoiceKernelsBaseline;

#if defined(QV_HAVE_X86V3_KERNELS)
// A bit of ECX of a CPUID leaf. Not every compiler's feature test knows
// F16C, MOVBE and LZCNT, so these are asked of the processor directly.
bool CpuidEcxBit(unsigned leaf, unsigned bit) {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid(leaf, &eax, &ebx, &ecx, &edx)) return false;
  return (ecx >> bit) & 1u;
}
constexpr unsigned kBasicLeaf = 1, kExtendedLeaf = 0x80000001u;
constexpr unsigned kMovbeBit = 22, kF16cBit = 29, kLzcntBit = 5;
#endif

bool ProcessorRunsX86V3() {
#if defined(QV_HAVE_X86V3_KERNELS)
  __builtin_cpu_init();
  // The compiler's test of AVX2 also asks whether the system saves the
  // vector registers.
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") && __builtin_cpu_supports("bmi") &&
         __builtin_cpu_supports("bmi2") && CpuidEcxBit(kBasicLeaf, kF16cBit) &&
         CpuidEcxBit(kBasicLeaf, kMovbeBit) && CpuidEcxBit(kExtendedLeaf, kLzcntBit);
#else
  return false;
#endif
}

const TVoiceKernels& FastestKernels() {
#if defined(QV_HAVE_X86V3_KERNELS)
  if (ProcessorRunsX86V3()) return VoiceKernelsX86V3;
#endif
  return VoiceKernelsBaseline;
}

float* Floats(const TStateWords& s, int32_t word) { return &s.Row(word)->f; }
int32_t* Ints(const TStateWords& s, int32_t word) { return &s.Row(word)->i; }

void SawFmLoop() {
  const TEngineRecord* r = SlotRecord();
  const TStateWords& s = r->state;
  activeKernels->sawFm(r->voices, InputRow(r, FmOscIn::kFreq), InputRow(r, FmOscIn::kAmpl),
                       Floats(s, QV_WORD_AT(OscState, pitch)), Floats(s, QV_WORD_AT(OscState, phase)),
                       Floats(s, QV_WORD_AT(OscState, out)), EngineConstants.twoOverRate);
}

void PulseFmLoop() {
  const TEngineRecord* r = SlotRecord();
  const TStateWords& s = r->state;
  activeKernels->pulseFm(r->voices, InputRow(r, PulseFmIn::kAmpl), InputRow(r, PulseFmIn::kWidth),
                         InputRow(r, PulseFmIn::kFreq),
                         Floats(s, QV_WORD_AT(PulseState, pitch)), Floats(s, QV_WORD_AT(PulseState, phase)),
                         Floats(s, QV_WORD_AT(PulseState, out)), Floats(s, QV_WORD_AT(PulseState, width)),
                         Ints(s, QV_WORD_AT(PulseState, half)), EngineConstants.twoOverRate);
}

template <int N> void SumLoop() {
  const TEngineRecord* r = SlotRecord();
  const float* in[N];
  for (int k = 0; k < N; ++k) in[k] = InputRow(r, AudioOperandsIn::kFirst + k);
  activeKernels->sum(r->voices, N, in, Floats(r->state, QV_WORD_AT(OutState, out)));
}

template <int N> void ProductLoop() {
  const TEngineRecord* r = SlotRecord();
  const float* in[N];
  for (int k = 0; k < N; ++k) in[k] = InputRow(r, AudioOperandsIn::kFirst + k);
  activeKernels->product(r->voices, N, in, Floats(r->state, QV_WORD_AT(OutState, out)));
}

template <int N> void MixerLoop() {
  using State = MixerState<N>;
  const TEngineRecord* r = SlotRecord();
  const float* in[N];
  const float* gain[N];
  for (int k = 0; k < N; ++k) {
    in[k] = InputRow(r, MixerIn::kIn1 + k);
    gain[k] = Floats(r->state, QV_WORD_AT(State, gain) + k);
  }
  activeKernels->mixer(r->voices, N, in, gain, Floats(r->state, QV_WORD_AT(State, out)));
}

void AdsrLoop() {
  const TEngineRecord* r = SlotRecord();
  const TStateWords& s = r->state;
  activeKernels->adsr(r->voices, Floats(s, QV_WORD_AT(GateEnvState, out)), Floats(s, QV_WORD_AT(GateEnvState, decay)),
                      Floats(s, QV_WORD_AT(GateEnvState, release)), Floats(s, QV_WORD_AT(GateEnvState, sustainLevel)),
                      Floats(s, QV_WORD_AT(GateEnvState, peak)), Floats(s, QV_WORD_AT(GateEnvState, attackStep)),
                      Floats(s, QV_WORD_AT(GateEnvState, decayPart)), Ints(s, QV_WORD_AT(GateEnvState, stage)),
                      routines::kGuard);
}

void TwoPoleFmLoop() {
  const TEngineRecord* r = SlotRecord();
  const TStateWords& s = r->state;
  activeKernels->twoPoleFm(r->voices, InputRow(r, FilterFmIn::kIn), InputRow(r, FilterFmIn::kFreq),
                           Floats(s, QV_WORD_AT(SvfState, cutoff)), Floats(s, QV_WORD_AT(SvfState, hp)),
                           Floats(s, QV_WORD_AT(SvfState, bp)), Floats(s, QV_WORD_AT(SvfState, lp)),
                           Floats(s, QV_WORD_AT(SvfState, damping)), Floats(s, QV_WORD_AT(SvfState, limit)),
                           EngineConstants.omegaOverRate, routines::kGuard);
}

// "}": the sum over all voices lands in voice 0. One running sum over 64
// voices is a chain of dependent additions; eight running sums (voice v in
// sum v mod 8), added pairwise at the end, run eight at a time. The order
// is fixed, so the result is the same on every processor; against the one
// running sum it differs by rounding only (a few units in the last place of
// the sum).
void VoiceCombinerLoop() {
  constexpr int32_t kLanes = 8;
  const TEngineRecord* r = SlotRecord();
  const float* x = InputRow(r, VoiceCombinerIn::kIn);
  const int32_t voices = r->voices;
  float lane[kLanes] = {};
  int32_t v = 0;
  for (; v + kLanes <= voices; v += kLanes)
    for (int32_t k = 0; k < kLanes; ++k) lane[k] += x[v + k];
  for (int32_t k = 0; v < voices; ++v, ++k) lane[k] += x[v];
  const float sum = ((lane[0] + lane[1]) + (lane[2] + lane[3])) + ((lane[4] + lane[5]) + (lane[6] + lane[7]));
  r->state[0][QV_WORD_AT(OutState, out)].f = sum;
}

void Install(TRoutineTables& t, TModuleKey type, TAudioRoutine routine) {
  t.audio[type] = routine;
  t.wordMajor[type] = true;
}

} // namespace

void InstallVoiceLoops(TRoutineTables& t) {
  activeKernels = &FastestKernels();
  Install(t, kTypeSawFm, SawFmLoop);
  Install(t, kTypePulseFm, PulseFmLoop);
  Install(t, kTypeAudioSum2, SumLoop<2>);
  Install(t, kTypeAudioSum3, SumLoop<3>);
  Install(t, kTypeAudioSum4, SumLoop<4>);
  Install(t, kTypeAudioSum6, SumLoop<6>);
  Install(t, kTypeAudioSum8, SumLoop<8>);
  Install(t, kTypeAudioProduct2, ProductLoop<2>);
  Install(t, kTypeAudioProduct3, ProductLoop<3>);
  Install(t, kTypeAudioProduct4, ProductLoop<4>);
  Install(t, kTypeAudioProduct6, ProductLoop<6>);
  Install(t, kTypeMixer2, MixerLoop<2>);
  Install(t, kTypeMixer3, MixerLoop<3>);
  Install(t, kTypeMixer4, MixerLoop<4>);
  Install(t, kTypeMixer5, MixerLoop<5>);
  Install(t, kTypeMixer6, MixerLoop<6>);
  Install(t, kTypeMixer8, MixerLoop<8>);
  Install(t, kTypeAdsrEnv, AdsrLoop);
  Install(t, kTypeTwoPoleFilterFm, TwoPoleFmLoop);
  Install(t, kTypeAudioVoiceCombiner, VoiceCombinerLoop);
}

const TVoiceKernels& ActiveVoiceKernels() { return *activeKernels; }

int32_t RunnableVoiceKernelCount() { return ProcessorRunsX86V3() ? 2 : 1; }

const TVoiceKernels& RunnableVoiceKernels(int32_t i) {
#if defined(QV_HAVE_X86V3_KERNELS)
  if (i > 0 && ProcessorRunsX86V3()) return VoiceKernelsX86V3;
#endif
  return VoiceKernelsBaseline;
}

void SetVoiceKernels(const TVoiceKernels& kernels) { activeKernels = &kernels; }
