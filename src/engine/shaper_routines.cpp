// Per-sample routines of the wave shapers and modifiers: clippers,
// mirrors, saturator and break-point shapers, rectifier, peak detector,
// quantizer, slew limiter, differentiator and integrator, sample and
// hold, frequency divider and the pitch and level converters.
#include "src/engine/audio_routines.h"

#include <cmath>

#include "src/engine/audio_routine_util.h"
#include "src/engine/module_types.h"
#include "src/engine/routine_util.h"
#include "src/engine/tables.h"
#include "src/engine/voice_state.h"

namespace {

using routines::As;
using routines::High;
using routines::K;
using routines::PerVoice;
using routines::TIn;
using routines::kGuard;

void ClipperStep(TIn in, TWord* w) {
  const float x = *in[ClipperIn::kIn], hi = *in[ClipperIn::kMax], lo = *in[ClipperIn::kMin];
  As<OutState>(w).out = x > hi ? hi : x < lo ? lo : x;
}

void ModClipperStep(TIn in, TWord* w) {
  float& out = As<OutState>(w).out;
  const float m = *in[ModClipperIn::kMod], x = *in[ModClipperIn::kIn];
  if (High(m)) out = x > m ? m : x < -m ? -m : x;
  else out = -x > -m ? -m : -x < m ? m : -x;
}

void Mirror1Step(TIn in, TWord* w) {
  const float x = *in[Mirror1In::kIn], hi = *in[Mirror1In::kMax];
  As<OutState>(w).out = x > hi ? 2.0f * hi - x : x;
}

void Mirror2Step(TIn in, TWord* w) {
  const float x = *in[Mirror2In::kIn], hi = *in[Mirror2In::kMax], lo = *in[Mirror2In::kMin];
  As<OutState>(w).out = x > hi ? 2.0f * hi - x : x < lo ? 2.0f * lo - x : x;
}

void SaturatorStep(TIn in, TWord* w) {
  float& out = As<OutState>(w).out;
  const float x = *in[SaturatorIn::kIn];
  if (x <= 0.0f) out = x > -4.0f ? (0.125f * x + 1.0f) * x : -2.0f;
  else out = x < 4.0f ? (-0.125f * x + 1.0f) * x : 2.0f;
}

inline float Breaks(float x, float bp1, float sl1, float bp2, float sl2) {
  float y = x > bp1 ? (x - bp1) * sl1 + bp1 : x;
  if (y < bp2) y = (y - bp2) * sl2 + bp2;
  return y;
}

void Shaper1Step(TIn in, TWord* w) {
  const float x = *in[Shaper1BpIn::kIn], bp = *in[Shaper1BpIn::kBreakpoint];
  As<OutState>(w).out = x > bp ? (x - bp) * *in[Shaper1BpIn::kSlope] + bp : x;
}

void Shaper2Step(TIn in, TWord* w) {
  using namespace Shaper2BpIn;
  As<OutState>(w).out = Breaks(*in[kIn], *in[kBreakpoint1], *in[kSlope1], *in[kBreakpoint2], *in[kSlope2]);
}

void Shaper3Step(TIn in, TWord* w) {
  using namespace Shaper3BpIn;
  const float y = Breaks(*in[kIn], *in[kBreakpoint1], *in[kSlope1], *in[kBreakpoint2], *in[kSlope2]);
  As<OutState>(w).out = y > 0.0f ? y * *in[kSlopePositive] : y * *in[kSlopeNegative];
}

void ParabolShaperStep(TIn in, TWord* w) {
  const float x = *in[ParabolShaperIn::kIn];
  As<OutState>(w).out = (*in[ParabolShaperIn::kParabolic] * x + *in[ParabolShaperIn::kLinear]) * x;
}

void CubicShaperStep(TIn in, TWord* w) {
  using namespace CubicShaperIn;
  const float x = *in[kIn];
  As<OutState>(w).out = x * (*in[kLinear] + (*in[kCubic] * x + *in[kParabolic]) * x);
}

void RectifierStep(TIn in, TWord* w) {
  RectifierState& s = As<RectifierState>(w);
  const float x = *in[RectifierIn::kIn];
  if (x >= 0.0f) {
    s.out = x;
    s.sign = 1.0f;
  } else {
    s.out = -x;
    s.sign = -1.0f;
  }
}

void PeakDetectStep(TIn in, TWord* w) {
  PeakDetectState& s = As<PeakDetectState>(w);
  s.out = (s.out + kGuard) * s.release;
  const float a = std::fabs(*in[PeakDetectIn::kIn]);
  if (a > s.out) s.out = a;
}

void QuantizerStep(TIn in, TWord* w) {
  QuantizerState& s = As<QuantizerState>(w);
  const float x = *in[AudioQuantizerIn::kIn], step = *in[AudioQuantizerIn::kStep];
  if (IsZero(step)) {
    s.out = x;
    s.error = 0.0f;
    return;
  }
  const float q = x / step;
  const float out = (q > 0.0f ? std::trunc(q + 0.5f) : std::trunc(q - 0.5f)) * step;
  s.out = out;
  s.error = out - x;
}

void SlewLimiterStep(TIn in, TWord* w) {
  float& out = As<OutState>(w).out;
  const float x = *in[SlewLimiterIn::kIn];
  const float up = *in[SlewLimiterIn::kUp] * K().invRate;
  if (up < x - out) {
    if (up > 0.0f) out += up;
    return;
  }
  const float down = -*in[SlewLimiterIn::kDown] * K().invRate;
  if (x - out < down) {
    if (down < 0.0f) out += down;
    return;
  }
  out = x;
}

void DifferentiatorStep(TIn in, TWord* w) {
  DifferentiatorState& s = As<DifferentiatorState>(w);
  const float x = *in[DifferentiatorIn::kIn];
  s.out = (x - s.previous) * K().framesPerMs;
  s.previous = x;
}

void IntegratorStep(TIn in, TWord* w) { As<OutState>(w).out += *in[IntegratorIn::kIn] * K().msPerFrame; }

void SampleHoldStep(TIn in, TWord* w) {
  SampleHoldState& s = As<SampleHoldState>(w);
  const float c = *in[SampleHoldIn::kClock];
  if (!High(s.previousClock) && High(c)) s.out = *in[SampleHoldIn::kIn];
  s.previousClock = c;
}

void FreqDividerStep(TIn in, TWord* w) {
  FreqDividerState& s = As<FreqDividerState>(w);
  bool changed = false;
  if (High(*in[AudioFreqDividerIn::kIn])) {
    if (!High(s.inputSign)) {
      s.inputSign = 1.0f;
      changed = true;
    }
  } else if (High(s.inputSign)) {
    s.inputSign = -1.0f;
    changed = true;
  }
  if (changed) {
    if (!High(s.polarity)) {
      if (*in[AudioFreqDividerIn::kCountDown] < s.countDown) {
        s.countDown = 2.0f;
        s.polarity = 1.0f;
      } else {
        s.countDown += 1.0f;
      }
    } else if (*in[AudioFreqDividerIn::kCountUp] < s.countUp) {
      s.countUp = 2.0f;
      s.polarity = -1.0f;
    } else {
      s.countUp += 1.0f;
    }
  }
  s.out = s.polarity * *in[AudioFreqDividerIn::kAmpl];
}

void PitchToHzStep(TIn in, TWord* w) {
  As<OutState>(w).out = PitchLookup(5.0f * *in[AudioPitchToHzIn::kPitch] + 1381.88158f);
}
void LevelToGainStep(TIn in, TWord* w) {
  As<OutState>(w).out = PitchLookup(9.96578428466f * *in[AudioLevelToGainIn::kLevel] + 1200.0f);
}

} // namespace

void InstallShaperRoutines(TRoutineTables& t) {
  TModuleTable<TAudioRoutine>& a = t.audio;
  a[kTypeClipper] = PerVoice<ClipperStep>;
  a[kTypeModClipper] = PerVoice<ModClipperStep>;
  a[kTypeMirror1] = PerVoice<Mirror1Step>;
  a[kTypeMirror2] = PerVoice<Mirror2Step>;
  a[kTypeSaturator] = PerVoice<SaturatorStep>;
  a[kTypeShaper1Bp] = PerVoice<Shaper1Step>;
  a[kTypeShaper2Bp] = PerVoice<Shaper2Step>;
  a[kTypeShaper3Bp] = PerVoice<Shaper3Step>;
  a[kTypeParabolShaper] = PerVoice<ParabolShaperStep>;
  a[kTypeCubicShaper] = PerVoice<CubicShaperStep>;
  a[kTypeRectifier] = PerVoice<RectifierStep>;
  a[kTypePeakDetector] = PerVoice<PeakDetectStep>;
  a[kTypeQuantizer] = PerVoice<QuantizerStep>;
  a[kTypeSlewLimiter] = PerVoice<SlewLimiterStep>;
  a[kTypeDifferentiator] = PerVoice<DifferentiatorStep>;
  a[kTypeIntegrator] = PerVoice<IntegratorStep>;
  a[kTypeSampleHold] = PerVoice<SampleHoldStep>;
  a[kTypeFreqDivider] = PerVoice<FreqDividerStep>;
  a[kTypeAudioPitchToHz] = PerVoice<PitchToHzStep>;
  a[kTypeAudioLevelToGain] = PerVoice<LevelToGainStep>;
}
