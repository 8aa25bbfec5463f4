// Per-sample routines of the filters and equalisers: one-, two- and
// four-pole state-variable filters, notch, peak and shelving equalisers,
// each with a variant for a modulated and one for a ready coefficient.
#include "src/engine/audio_routines.h"

#include "src/engine/audio_routine_util.h"
#include "src/engine/module_types.h"
#include "src/engine/routine_util.h"
#include "src/engine/voice_state.h"

namespace {

using routines::As;
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

// One state-variable section: high, band and low pass.
inline void Section(float x, float f, float q, float& hp, float& bp, float& lp) {
  hp = x - lp - bp * q;
  bp += f * hp;
  lp += f * bp + kGuard;
}

void OnePoleStep(TIn in, TWord* w) {
  OnePoleState& s = As<OnePoleState>(w);
  const float x = *in[FilterFmIn::kIn];
  s.hp = x - s.lp;
  const float f = (s.cutoff + *in[FilterFmIn::kFreq]) * K().omegaOverRate;
  if (f > 1.0f) s.lp = x;
  else if (f < 0.0f) s.lp = 0.0f;
  else if (f == f) s.lp += f * s.hp + kGuard;
}

// The type without an F input keeps the ready coefficient in the cutoff word.
void OnePoleReadyStep(TIn in, TWord* w) {
  OnePoleState& s = As<OnePoleState>(w);
  s.hp = *in[FilterIn::kIn] - s.lp;
  s.lp += s.cutoff * s.hp + kGuard;
}

void TwoPoleStep(TIn in, TWord* w) {
  SvfState& s = As<SvfState>(w);
  const float f = Coefficient(s.cutoff, *in[FilterFmIn::kFreq], s.limit);
  Section(*in[FilterFmIn::kIn], f, s.damping, s.hp, s.bp, s.lp);
}

void TwoPoleReadyStep(TIn in, TWord* w) {
  GridSvfState& s = As<GridSvfState>(w);
  Section(*in[FilterIn::kIn], s.coeff, s.damping, s.hp, s.bp, s.lp);
}

// A notch section: the notch output is the input less the band pass.
inline void NotchSection(float x, float f, float q, float& hp, float& bp, float& lp, float& notch) {
  const float n = x - bp;
  notch = n;
  const float h = n * q - lp;
  hp = h;
  bp += f * h;
  lp += f * bp + kGuard;
}

void NotchStep(TIn in, TWord* w) {
  NotchState& s = As<NotchState>(w);
  const float f = Coefficient(s.cutoff, *in[FilterFmIn::kFreq], s.limit);
  NotchSection(*in[FilterFmIn::kIn], f, s.damping, s.hp, s.bp, s.lp, s.notch);
}

void NotchReadyStep(TIn in, TWord* w) {
  GridNotchState& s = As<GridNotchState>(w);
  GridSvfState& svf = s.svf;
  NotchSection(*in[FilterIn::kIn], svf.coeff, svf.damping, svf.hp, svf.bp, svf.lp, s.notch);
}

// Four poles: a second section after the first one's low pass (Highs =
// false) or high pass (Highs = true).
template <bool Highs>
inline void FourPole(float x, float f, float q, float& hp, float& bp, float& lp, float& secondHp,
                     float& secondBp, float& secondLp) {
  Section(x, f, q, hp, bp, lp);
  Section(Highs ? hp : lp, f, q, secondHp, secondBp, secondLp);
}

template <bool Highs> void FourPoleStep(TIn in, TWord* w) {
  Svf4State& s = As<Svf4State>(w);
  const float f = Coefficient(s.cutoff, *in[FilterFmIn::kFreq], s.limit);
  FourPole<Highs>(*in[FilterFmIn::kIn], f, s.damping, s.hp2, s.bp2, s.lp2, s.secondHp, s.secondBp, s.secondLp);
}

template <bool Highs> void FourPoleReadyStep(TIn in, TWord* w) {
  GridSvf4State& s = As<GridSvf4State>(w);
  GridSvfState& first = s.first;
  FourPole<Highs>(*in[FilterIn::kIn], first.coeff, first.damping, first.hp, first.bp, first.lp, s.secondHp,
                  s.secondBp, s.secondLp);
}

// Both peak equalisers name their section words alike; only the position of
// the output differs.
template <class State> inline void PeakSection(float x, float f, State& s) {
  const float v = ((x - s.low) * s.damping - s.band) * f + s.low;
  s.low = v;
  s.band += f * v + kGuard;
  s.out = x + v * s.boost;
}

void PeakEqStep(TIn in, TWord* w) {
  PeakEqState& s = As<PeakEqState>(w);
  PeakSection(*in[FilterFmIn::kIn], Coefficient(s.cutoff, *in[FilterFmIn::kFreq], s.limit), s);
}

void PeakEqReadyStep(TIn in, TWord* w) {
  GridPeakEqState& s = As<GridPeakEqState>(w);
  PeakSection(*in[FilterIn::kIn], s.coeff, s);
}

void HiShelfStep(TIn in, TWord* w) {
  HiShelfState& s = As<HiShelfState>(w);
  const float x = *in[FilterFmIn::kIn];
  const float d = x - s.lp;
  const float g = (*in[FilterFmIn::kFreq] + s.cutoff) * s.scale;
  if (g >= 0.0f) s.lp += (g < s.limit ? g : s.limit) * d + kGuard;
  s.out = x + d * s.boost;
}

void HiShelfReadyStep(TIn in, TWord* w) {
  HiShelfState& s = As<HiShelfState>(w);
  const float x = *in[FilterIn::kIn];
  const float d = x - s.lp;
  s.lp += s.coeff * d + kGuard;
  s.out = d * s.boost + x;
}

void LoShelfStep(TIn in, TWord* w) {
  LoShelfState& s = As<LoShelfState>(w);
  const float x = *in[FilterFmIn::kIn];
  const float g = (s.cutoff + *in[FilterFmIn::kFreq]) * s.scale;
  if (g >= 0.0f) s.lp += (x - s.lp) * (g < s.limit ? g : s.limit) + kGuard;
  s.out = s.boost * s.lp + x;
}

void LoShelfReadyStep(TIn in, TWord* w) {
  LoShelfState& s = As<LoShelfState>(w);
  const float x = *in[FilterIn::kIn];
  s.lp += (x - s.lp) * s.coeff + kGuard;
  s.out = s.lp * s.boost + x;
}

} // namespace

void InstallFilterRoutines(TRoutineTables& t) {
  TModuleTable<TAudioRoutine>& a = t.audio;
  a[kTypeOnePoleFilterFm] = PerVoice<OnePoleStep>;
  a[kTypeOnePoleFilter] = PerVoice<OnePoleReadyStep>;
  a[kTypeTwoPoleFilterFm] = PerVoice<TwoPoleStep>;
  a[kTypeTwoPoleFilter] = PerVoice<TwoPoleReadyStep>;
  a[kTypeTwoPoleNotchFm] = PerVoice<NotchStep>;
  a[kTypeTwoPoleNotch] = PerVoice<NotchReadyStep>;
  a[kTypeFourPoleFilterFm] = PerVoice<FourPoleStep<false>>;
  a[kTypeFourPoleFilter] = PerVoice<FourPoleReadyStep<false>>;
  a[kTypeFourPoleHighPassFm] = PerVoice<FourPoleStep<true>>;
  a[kTypeFourPoleHighPass] = PerVoice<FourPoleReadyStep<true>>;
  a[kTypePeakEqFm] = PerVoice<PeakEqStep>;
  a[kTypePeakEq] = PerVoice<PeakEqReadyStep>;
  a[kTypeHiShelfEqFm] = PerVoice<HiShelfStep>;
  a[kTypeHiShelfEq] = PerVoice<HiShelfReadyStep>;
  a[kTypeLoShelfEqFm] = PerVoice<LoShelfStep>;
  a[kTypeLoShelfEq] = PerVoice<LoShelfReadyStep>;
}
