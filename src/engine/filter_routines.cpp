// Per-sample routines of the filters and equalisers: one-, two- and
// four-pole state-variable filters, notch, peak and shelving equalisers,
// each with a variant for a modulated and one for a ready coefficient.
#include "src/engine/audio_routines.h"

#include "src/engine/audio_routine_util.h"
#include "src/engine/module_types.h"
#include "src/engine/routine_util.h"

namespace {

using routines::K;
using routines::PerVoice;
using routines::TIn;
using routines::kGuard;

// The per-sample coefficient of the types with an F input: (P + F) x
// 6.283/sr, held to 0 ... limit (an undefined sum gives 0).
inline float Coefficient(float hz, float f, float limit) {
  const float c = (hz + f) * K().omegaOverRate;
  if (c > limit) return limit;
  return c >= 0.0f ? c : 0.0f;
}

// One state-variable section: high, band and low pass in w[h], w[b], w[l].
inline void Section(float x, float f, float q, float& hp, float& bp, float& lp) {
  hp = x - lp - bp * q;
  bp += f * hp;
  lp += f * bp + kGuard;
}

void OnePoleStep(TIn in, TWord* w) {
  const float x = *in[0];
  w[1].f = x - w[2].f;
  const float f = (w[0].f + *in[1]) * K().omegaOverRate;
  if (f > 1.0f) w[2].f = x;
  else if (f < 0.0f) w[2].f = 0.0f;
  else if (f == f) w[2].f += f * w[1].f + kGuard;
}

void OnePoleReadyStep(TIn in, TWord* w) {
  w[1].f = *in[0] - w[2].f;
  w[2].f += w[0].f * w[1].f + kGuard;
}

void TwoPoleStep(TIn in, TWord* w) {
  const float f = Coefficient(w[0].f, *in[1], w[5].f);
  Section(*in[0], f, w[4].f, w[1].f, w[2].f, w[3].f);
}

void TwoPoleReadyStep(TIn in, TWord* w) { Section(*in[0], w[0].f, w[4].f, w[1].f, w[2].f, w[3].f); }

inline void NotchSection(float x, float f, TWord* w, int32_t notch) {
  const float n = x - w[2].f;
  w[notch].f = n;
  const float hp = n * w[4].f - w[3].f;
  w[1].f = hp;
  w[2].f += f * hp;
  w[3].f += f * w[2].f + kGuard;
}

void NotchStep(TIn in, TWord* w) { NotchSection(*in[0], Coefficient(w[0].f, *in[1], w[5].f), w, 6); }
void NotchReadyStep(TIn in, TWord* w) { NotchSection(*in[0], w[0].f, w, 9); }

// Four poles: a second section after the first one's low pass (Highs =
// false) or high pass (Highs = true); its high, band and low pass in words
// s, s + 1, s + 2.
template <bool Highs> inline void FourPole(float x, float f, TWord* w, int32_t s) {
  const float q = w[4].f;
  Section(x, f, q, w[1].f, w[2].f, w[3].f);
  Section(Highs ? w[1].f : w[3].f, f, q, w[s].f, w[s + 1].f, w[s + 2].f);
}

template <bool Highs> void FourPoleStep(TIn in, TWord* w) {
  FourPole<Highs>(*in[0], Coefficient(w[0].f, *in[1], w[5].f), w, 6);
}
template <bool Highs> void FourPoleReadyStep(TIn in, TWord* w) { FourPole<Highs>(*in[0], w[0].f, w, 9); }

inline void PeakSection(float x, float f, TWord* w, int32_t out) {
  const float v = ((x - w[1].f) * w[4].f - w[2].f) * f + w[1].f;
  w[1].f = v;
  w[2].f += f * v + kGuard;
  w[out].f = x + v * w[3].f;
}

void PeakEqStep(TIn in, TWord* w) { PeakSection(*in[0], Coefficient(w[0].f, *in[1], w[5].f), w, 6); }
void PeakEqReadyStep(TIn in, TWord* w) { PeakSection(*in[0], w[0].f, w, 9); }

void HiShelfStep(TIn in, TWord* w) {
  const float x = *in[0];
  const float d = x - w[2].f;
  const float g = (*in[1] + w[0].f) * w[4].f;
  if (g >= 0.0f) w[2].f += (g < w[5].f ? g : w[5].f) * d + kGuard;
  w[3].f = x + d * w[1].f;
}

void HiShelfReadyStep(TIn in, TWord* w) {
  const float x = *in[0];
  const float d = x - w[2].f;
  w[2].f += w[6].f * d + kGuard;
  w[3].f = d * w[1].f + x;
}

void LoShelfStep(TIn in, TWord* w) {
  const float x = *in[0];
  const float g = (w[0].f + *in[1]) * w[4].f;
  if (g >= 0.0f) w[1].f += (x - w[1].f) * (g < w[5].f ? g : w[5].f) + kGuard;
  w[2].f = w[3].f * w[1].f + x;
}

void LoShelfReadyStep(TIn in, TWord* w) {
  const float x = *in[0];
  w[1].f += (x - w[1].f) * w[6].f + kGuard;
  w[2].f = w[1].f * w[3].f + x;
}

} // namespace

void InstallFilterRoutines(TRoutineTables& t) {
  TAudioRoutine* a = t.audio;
  a[kTypeOnePoleFilterFm.type] = PerVoice<OnePoleStep>;
  a[kTypeOnePoleFilter.type] = PerVoice<OnePoleReadyStep>;
  a[kTypeTwoPoleFilterFm.type] = PerVoice<TwoPoleStep>;
  a[kTypeTwoPoleFilter.type] = PerVoice<TwoPoleReadyStep>;
  a[kTypeTwoPoleNotchFm.type] = PerVoice<NotchStep>;
  a[kTypeTwoPoleNotch.type] = PerVoice<NotchReadyStep>;
  a[kTypeFourPoleFilterFm.type] = PerVoice<FourPoleStep<false>>;
  a[kTypeFourPoleFilter.type] = PerVoice<FourPoleReadyStep<false>>;
  a[kTypeFourPoleHighPassFm.type] = PerVoice<FourPoleStep<true>>;
  a[kTypeFourPoleHighPass.type] = PerVoice<FourPoleReadyStep<true>>;
  a[kTypePeakEqFm.type] = PerVoice<PeakEqStep>;
  a[kTypePeakEq.type] = PerVoice<PeakEqReadyStep>;
  a[kTypeHiShelfEqFm.type] = PerVoice<HiShelfStep>;
  a[kTypeHiShelfEq.type] = PerVoice<HiShelfReadyStep>;
  a[kTypeLoShelfEqFm.type] = PerVoice<LoShelfStep>;
  a[kTypeLoShelfEq.type] = PerVoice<LoShelfReadyStep>;
}
