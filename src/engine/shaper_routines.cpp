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

namespace {

using routines::High;
using routines::K;
using routines::PerVoice;
using routines::TIn;
using routines::kGuard;

void ClipperStep(TIn in, TWord* w) {
  const float x = *in[0], hi = *in[1], lo = *in[2];
  w[0].f = x > hi ? hi : x < lo ? lo : x;
}

void ModClipperStep(TIn in, TWord* w) {
  const float m = *in[0], x = *in[1];
  if (High(m)) w[0].f = x > m ? m : x < -m ? -m : x;
  else w[0].f = -x > -m ? -m : -x < m ? m : -x;
}

void Mirror1Step(TIn in, TWord* w) {
  const float x = *in[0], hi = *in[1];
  w[0].f = x > hi ? 2.0f * hi - x : x;
}

void Mirror2Step(TIn in, TWord* w) {
  const float x = *in[0], hi = *in[1], lo = *in[2];
  w[0].f = x > hi ? 2.0f * hi - x : x < lo ? 2.0f * lo - x : x;
}

void SaturatorStep(TIn in, TWord* w) {
  const float x = *in[0];
  if (x <= 0.0f) w[0].f = x > -4.0f ? (0.125f * x + 1.0f) * x : -2.0f;
  else w[0].f = x < 4.0f ? (-0.125f * x + 1.0f) * x : 2.0f;
}

inline float Breaks(float x, float bp1, float sl1, float bp2, float sl2) {
  float y = x > bp1 ? (x - bp1) * sl1 + bp1 : x;
  if (y < bp2) y = (y - bp2) * sl2 + bp2;
  return y;
}

void Shaper1Step(TIn in, TWord* w) {
  const float x = *in[0], bp = *in[1];
  w[0].f = x > bp ? (x - bp) * *in[2] + bp : x;
}

void Shaper2Step(TIn in, TWord* w) { w[0].f = Breaks(*in[0], *in[1], *in[2], *in[3], *in[4]); }

void Shaper3Step(TIn in, TWord* w) {
  const float y = Breaks(*in[0], *in[1], *in[2], *in[3], *in[4]);
  w[0].f = y > 0.0f ? y * *in[5] : y * *in[6];
}

void ParabolShaperStep(TIn in, TWord* w) {
  const float x = *in[0];
  w[0].f = (*in[2] * x + *in[1]) * x;
}

void CubicShaperStep(TIn in, TWord* w) {
  const float x = *in[0];
  w[0].f = x * (*in[1] + (*in[3] * x + *in[2]) * x);
}

void RectifierStep(TIn in, TWord* w) {
  const float x = *in[0];
  if (x >= 0.0f) {
    w[0].f = x;
    w[1].f = 1.0f;
  } else {
    w[0].f = -x;
    w[1].f = -1.0f;
  }
}

void PeakDetectStep(TIn in, TWord* w) {
  w[0].f = (w[0].f + kGuard) * w[1].f;
  const float a = std::fabs(*in[0]);
  if (a > w[0].f) w[0].f = a;
}

void QuantizerStep(TIn in, TWord* w) {
  const float x = *in[0], step = *in[1];
  if (IsZero(step)) {
    w[0].f = x;
    w[1].f = 0.0f;
    return;
  }
  const float q = x / step;
  const float out = (q > 0.0f ? std::trunc(q + 0.5f) : std::trunc(q - 0.5f)) * step;
  w[0].f = out;
  w[1].f = out - x;
}

void SlewLimiterStep(TIn in, TWord* w) {
  const float x = *in[0];
  const float up = *in[1] * K().invRate;
  if (up < x - w[0].f) {
    if (up > 0.0f) w[0].f += up;
    return;
  }
  const float down = -*in[2] * K().invRate;
  if (x - w[0].f < down) {
    if (down < 0.0f) w[0].f += down;
    return;
  }
  w[0].f = x;
}

void DifferentiatorStep(TIn in, TWord* w) {
  const float x = *in[0];
  w[1].f = (x - w[0].f) * K().framesPerMs;
  w[0].f = x;
}

void IntegratorStep(TIn in, TWord* w) { w[0].f += *in[0] * K().msPerFrame; }

void SampleHoldStep(TIn in, TWord* w) {
  const float c = *in[0];
  if (!High(w[0].f) && High(c)) w[1].f = *in[1];
  w[0].f = c;
}

void FreqDividerStep(TIn in, TWord* w) {
  bool changed = false;
  if (High(*in[0])) {
    if (!High(w[0].f)) {
      w[0].f = 1.0f;
      changed = true;
    }
  } else if (High(w[0].f)) {
    w[0].f = -1.0f;
    changed = true;
  }
  if (changed) {
    if (!High(w[2].f)) {
      if (*in[2] < w[4].f) {
        w[4].f = 2.0f;
        w[2].f = 1.0f;
      } else {
        w[4].f += 1.0f;
      }
    } else if (*in[1] < w[3].f) {
      w[3].f = 2.0f;
      w[2].f = -1.0f;
    } else {
      w[3].f += 1.0f;
    }
  }
  w[1].f = w[2].f * *in[3];
}

void PitchToHzStep(TIn in, TWord* w) { w[0].f = PitchLookup(5.0f * *in[0] + 1381.88158f); }
void LevelToGainStep(TIn in, TWord* w) { w[0].f = PitchLookup(9.96578428466f * *in[0] + 1200.0f); }

} // namespace

void InstallShaperRoutines(TRoutineTables& t) {
  TAudioRoutine* a = t.audio;
  a[kTypeClipper.type] = PerVoice<ClipperStep>;
  a[kTypeModClipper.type] = PerVoice<ModClipperStep>;
  a[kTypeMirror1.type] = PerVoice<Mirror1Step>;
  a[kTypeMirror2.type] = PerVoice<Mirror2Step>;
  a[kTypeSaturator.type] = PerVoice<SaturatorStep>;
  a[kTypeShaper1Bp.type] = PerVoice<Shaper1Step>;
  a[kTypeShaper2Bp.type] = PerVoice<Shaper2Step>;
  a[kTypeShaper3Bp.type] = PerVoice<Shaper3Step>;
  a[kTypeParabolShaper.type] = PerVoice<ParabolShaperStep>;
  a[kTypeCubicShaper.type] = PerVoice<CubicShaperStep>;
  a[kTypeRectifier.type] = PerVoice<RectifierStep>;
  a[kTypePeakDetector.type] = PerVoice<PeakDetectStep>;
  a[kTypeQuantizer.type] = PerVoice<QuantizerStep>;
  a[kTypeSlewLimiter.type] = PerVoice<SlewLimiterStep>;
  a[kTypeDifferentiator.type] = PerVoice<DifferentiatorStep>;
  a[kTypeIntegrator.type] = PerVoice<IntegratorStep>;
  a[kTypeSampleHold.type] = PerVoice<SampleHoldStep>;
  a[kTypeFreqDivider.type] = PerVoice<FreqDividerStep>;
  a[kTypeAudioPitchToHz.type] = PerVoice<PitchToHzStep>;
  a[kTypeAudioLevelToGain.type] = PerVoice<LevelToGainStep>;
}
