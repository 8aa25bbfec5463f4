// Per-sample routines of the oscillators: saw, triangle, parabola, sine,
// pulse and impulse shapes with their FM and sync variants, and the step
// and ramp oscillators. Every state record starts with the pitch value and
// the phase; OscState and its relatives in voice_state.h name the rest.
#include "src/engine/audio_routines.h"

#include "src/engine/audio_routine_util.h"
#include "src/engine/module_types.h"
#include "src/engine/routine_util.h"
#include "src/engine/tables.h"
#include "src/engine/voice_state.h"

namespace {

using routines::As;
using routines::K;
using routines::PerVoice;
using routines::RisingEdge;
using routines::TIn;

// The output of the saw family at phase p for a positive or negative
// increment, with the sample nearest the wrap replaced by a linear value.
// `silence` turns frequencies beyond half the sample rate into silence. An
// increment of 0 holds the phase and gives phase x A.
template <bool Silence> inline float SawOutput(float inc, float& p, float a) {
  if (inc > 0.0f) {
    const float d = 1.0f - p;
    if (0.5f * inc < d) return p * a;
    if (Silence && inc > 1.0f) {
      p = 0.0f;
      return 0.0f;
    }
    p -= 2.0f;
    return (2.0f / inc - 1.0f) * d * a;
  }
  if (inc < 0.0f) {
    const float d = 1.0f + p;
    if (-0.5f * inc < d) return p * a;
    if (Silence && inc < -1.0f) {
      p = 0.0f;
      return 0.0f;
    }
    p += 2.0f;
    return (2.0f / inc + 1.0f) * d * a;
  }
  return p * a;
}

void SawtoothStep(TIn in, TWord* w) {
  OscState& s = As<OscState>(w);
  const float inc = s.pitch;
  float p = s.phase + inc;
  s.out = SawOutput<false>(inc, p, *in[OscIn::kAmpl]);
  s.phase = p;
}

void SawFmStep(TIn in, TWord* w) {
  OscState& s = As<OscState>(w);
  const float inc = (s.pitch + *in[FmOscIn::kFreq]) * K().twoOverRate;
  float p = s.phase + inc;
  s.out = SawOutput<true>(inc, p, *in[FmOscIn::kAmpl]);
  s.phase = p;
}

inline float Clamp(float v, float lo, float hi) {
  if (!(v >= lo)) return lo;  // also a NaN
  return v > hi ? hi : v;
}

void SawSyncStep(TIn in, TWord* w) {
  OscSyncState& s = As<OscSyncState>(w);
  const float inc = (s.pitch + *in[SyncOscIn::kFreq]) * K().twoOverRate;
  float p = s.phase + inc;
  if (RisingEdge(s.sync, *in[SyncOscIn::kSync])) p = Clamp(*in[SyncOscIn::kSyncPhase], -1.0f, 1.0f);
  s.out = SawOutput<true>(inc, p, *in[SyncOscIn::kAmpl]);
  s.phase = p;
}

void SawPulseStep(TIn in, TWord* w) {
  SawPulseState& s = As<SawPulseState>(w);
  const float a = *in[SawPulseIn::kAmpl], slope = *in[SawPulseIn::kSlope];
  float p = s.phase + s.pitch;
  if (p > 2.0f) {
    p -= 2.0f;
    s.held.i = 0;
  }
  s.phase = p;
  if (s.held.i == 0) {
    const float v = (1.0f + slope) * p - 2.0f;
    if (v > 0.0f) {
      s.heldLevel = p * 0.5f;
      s.held.i = 1;
      s.out = p * 0.5f * a;
    } else {
      s.out = (v + s.heldLevel) * a;
    }
  } else {
    s.out = s.heldLevel * a;
  }
}

// Phase -1 ... 1 wrapping by 2 in the direction of the increment.
inline float WrapUnit(float p) {
  if (p > 1.0f) return p - 2.0f;
  if (p < -1.0f) return p + 2.0f;
  return p;
}

void BiSawStep(TIn in, TWord* w) {
  OscState& s = As<OscState>(w);
  const float p = WrapUnit(s.phase + s.pitch);
  s.phase = p;
  const float v = (1.0f + *in[WidthOscIn::kWidth]) * p;
  s.out = (v >= -1.0f && v <= 1.0f) ? v * *in[WidthOscIn::kAmpl] : 0.0f;
}

// Triangle and parabola: the phase runs -1 ... 1 and the sign toggles at
// every wrap. A sign that was never set counts as -1, so the first wrap (to
// +1) continues the waveform without a jump.
inline float ToggledSign(float& sign) {
  sign = sign > 0.0f ? -1.0f : 1.0f;
  return sign;
}
inline float SignOf(float sign) { return sign > 0.0f ? 1.0f : -1.0f; }

// The wrap of "Triangle", "Parabol" and their FM variants: by 2 at +-1,
// toggling the sign. A phase still beyond after the wrap (an increment above
// 2) goes to 0 for the triangle (ToBound false) and to the bound for the
// parabola (ToBound true).
template <bool ToBound> inline float TriPhase(float p, float& sign) {
  if (p > 1.0f) {
    p -= 2.0f;
    if (ToBound ? p > 1.0f : p > 0.0f) p = ToBound ? 1.0f : 0.0f;
    ToggledSign(sign);
  } else if (p < -1.0f) {
    p += 2.0f;
    if (ToBound ? p < -1.0f : p < 0.0f) p = ToBound ? -1.0f : 0.0f;
    ToggledSign(sign);
  }
  return p;
}

void TriangleStep(TIn in, TWord* w) {
  TriangleState& s = As<TriangleState>(w);
  const float p = TriPhase<false>(s.phase + s.pitch, s.sign);
  s.phase = p;
  s.out = SignOf(s.sign) * p * *in[OscIn::kAmpl];
}

void TriFmStep(TIn in, TWord* w) {
  TriangleState& s = As<TriangleState>(w);
  const float p = TriPhase<false>(s.phase + (s.pitch + *in[FmOscIn::kFreq]) * K().fourOverRate, s.sign);
  s.phase = p;
  s.out = SignOf(s.sign) * *in[FmOscIn::kAmpl] * p;
}

void TriSyncStep(TIn in, TWord* w) {
  OscSyncState& s = As<OscSyncState>(w);
  const float inc = Clamp((s.pitch + *in[SyncOscIn::kFreq]) * K().fourOverRate, -2.0f, 2.0f);
  float p = s.phase + inc;
  if (p > 2.0f) p -= 4.0f;
  else if (p < -2.0f) p += 4.0f;
  if (RisingEdge(s.sync, *in[SyncOscIn::kSync])) p = Clamp(2.0f * *in[SyncOscIn::kSyncPhase], -1.0f, 3.0f) - 1.0f;
  s.phase = p;
  const float a = *in[SyncOscIn::kAmpl];
  s.out = p >= 0.0f ? a * (1.0f - p) : a * (p + 1.0f);
}

void ParabolStep(TIn in, TWord* w) {
  TriangleState& s = As<TriangleState>(w);
  const float p = TriPhase<false>(s.phase + s.pitch, s.sign);
  s.phase = p;
  s.out = (p * p - 1.0f) * SignOf(s.sign) * *in[OscIn::kAmpl];
}

void ParFmStep(TIn in, TWord* w) {
  TriangleState& s = As<TriangleState>(w);
  const float p = TriPhase<true>(s.phase + (s.pitch + *in[FmOscIn::kFreq]) * K().fourOverRate, s.sign);
  s.phase = p;
  s.out = (p * p - 1.0f) * SignOf(s.sign) * *in[FmOscIn::kAmpl];
}

void ParSyncStep(TIn in, TWord* w) {
  OscSyncState& s = As<OscSyncState>(w);
  float p = s.phase + (s.pitch + *in[SyncOscIn::kFreq]) * K().fourOverRate;
  if (p > 2.0f) {
    p -= 4.0f;
    if (p > 2.0f) p = 2.0f;
  } else if (p < -2.0f) {
    p += 4.0f;
    if (p < -2.0f) p = -2.0f;
  }
  if (RisingEdge(s.sync, *in[SyncOscIn::kSync])) p = Clamp(2.0f * *in[SyncOscIn::kSyncPhase], -2.0f, 2.0f);
  s.phase = p;
  const float a = *in[SyncOscIn::kAmpl];
  s.out = p < 0.0f ? p * a * (p + 2.0f) : p * a * (2.0f - p);
}

void SymmStep(TIn in, TWord* w) {
  SymmOscState& s = As<SymmOscState>(w);
  const float p = WrapUnit(s.phase + s.increment);
  s.phase = p;
  const float a = *in[OscIn::kAmpl];
  const float point = s.point, slope = s.slope, slopeRest = s.slopeRest;
  if (p < 0.0f) {
    const float v = p < point ? (p + 1.0f) * slopeRest : p * slope;
    s.tri = a * v;
    s.par = (2.0f - v) * s.tri;
  } else {
    const float v = p < -point ? p * slope : (p - 1.0f) * slopeRest;
    s.tri = a * v;
    s.par = (v + 2.0f) * s.tri;
  }
}

void ParPwmStep(TIn in, TWord* w) {
  ParPwmState& s = As<ParPwmState>(w);
  const float p = WrapUnit(s.phase + s.increment);
  s.phase = p;
  const float a = *in[OscIn::kAmpl], width = s.width;
  if (width < p) s.out = s.scaleLow * a * (p * (p - (width + 1.0f)) + s.offsetLow);
  else s.out = s.scaleHigh * a * (p * ((1.0f - width) + p) + s.offsetHigh);
}

// The sine table read at phase 0 ... 256, rounded to the nearest entry and
// corrected along its slope. An undefined phase reads entry 0.
inline float SineAt(float p) {
  const int32_t i = ToIndex(p + 0.5f, 0, kSineTableSize - 1);
  return SineTable[i] + (p - float(i)) * SineSlopes[i];
}

// A phase that became undefined (an undefined frequency input) starts again
// from 0 once the input is sound again.
inline float Defined(float p) { return p == p ? p : 0.0f; }

void SineStep(TIn in, TWord* w) {
  OscState& s = As<OscState>(w);
  float p = Defined(s.phase + s.pitch);
  if (p >= 256.0f) p -= 256.0f;
  s.phase = p;
  s.out = SineAt(p) * *in[OscIn::kAmpl];
}

inline float SineFmPhase(float p, float inc) {
  p = Defined(p + inc);
  if (inc > 0.0f) {
    if (p > 256.0f) p -= 256.0f;
  } else if (p < 0.0f) {
    p += 256.0f;
  }
  return p;
}

void SineFmStep(TIn in, TWord* w) {
  OscState& s = As<OscState>(w);
  const float inc = Clamp((s.pitch + *in[SineFmIn::kFreq]) * K().sineStepOverRate, -128.0f, 128.0f);
  const float p = SineFmPhase(s.phase, inc);
  s.phase = p;
  s.out = SineAt(p) * *in[SineFmIn::kAmpl];
}

void SineSyncStep(TIn in, TWord* w) {
  OscSyncState& s = As<OscSyncState>(w);
  const float inc = Clamp((s.pitch + *in[SineSyncIn::kFreq]) * K().sineStepOverRate, -128.0f, 128.0f);
  float p = SineFmPhase(s.phase, inc);
  if (RisingEdge(s.sync, *in[SineSyncIn::kSync])) {
    const float ph = *in[SineSyncIn::kSyncPhase];
    float q;
    if (ph <= 0.0f) q = ph + 2.0f < 0.0f ? 0.0f : ph + 2.0f;
    else q = ph > 2.0f ? 2.0f : ph;
    p = Defined(128.0f * q);
  }
  s.phase = p;
  s.out = SineAt(p) * *in[SineSyncIn::kAmpl];
}

// Pulse: phase -1 ... 1, the width latched once per cycle and the half
// (0: low level w - 1 below the width, 1: high level w + 1 above it). The
// sample of a transition takes the linear value between the two levels.
// For a negative increment the phase runs down: the high half ends at the
// width, the low half at -1, where the phase wraps up by 2 and the width is
// latched. An increment of 0 holds the output; an increment beyond +-1 at a
// transition silences the oscillator (`Silence`). State is PulseState or
// PulseSyncState.
template <bool Silence, class State>
inline void PulseOutput(float inc, float& p, State& s, float a, float width) {
  TWord& half = s.half;
  float& level = s.width;
  if (inc > 0.0f) {
    if (half.i == 0) {
      const float e = 2.0f * (level - p);
      if (inc < e) {
        s.out = a * (level - 1.0f);
      } else if (Silence && inc > 1.0f) {
        p = 0.0f;
        s.out = 0.0f;
      } else {
        s.out = (level - e / inc) * a;
        half.i = 1;
      }
    } else {
      const float e = 2.0f * (1.0f - p);
      if (inc < e) {
        s.out = a * (level + 1.0f);
      } else if (Silence && inc > 1.0f) {
        p = 0.0f;
        s.out = 0.0f;
      } else {
        level = Clamp(width, inc - 1.0f, 1.0f - inc);
        s.out = a * (e / inc + level);
        p -= 2.0f;
        half.i = 0;
      }
    }
  } else if (inc < 0.0f) {
    const float n = -inc;
    if (half.i != 0) {
      const float e = 2.0f * (p - level);
      if (n < e) {
        s.out = a * (level + 1.0f);
      } else if (Silence && n > 1.0f) {
        p = 0.0f;
        s.out = 0.0f;
      } else {
        s.out = (level + e / n) * a;
        half.i = 0;
      }
    } else {
      const float e = 2.0f * (p + 1.0f);
      if (n < e) {
        s.out = a * (level - 1.0f);
      } else if (Silence && n > 1.0f) {
        p = 0.0f;
        s.out = 0.0f;
      } else {
        level = Clamp(width, n - 1.0f, 1.0f - n);
        s.out = a * (level - e / n);
        p += 2.0f;
        half.i = 1;
      }
    }
  }
}

void PulseStep(TIn in, TWord* w) {
  PulseState& s = As<PulseState>(w);
  const float inc = s.pitch;
  float p = s.phase + inc;
  PulseOutput<false>(inc, p, s, *in[WidthOscIn::kAmpl], *in[WidthOscIn::kWidth]);
  s.phase = p;
}

void PulseFmStep(TIn in, TWord* w) {
  PulseState& s = As<PulseState>(w);
  const float inc = (s.pitch + *in[PulseFmIn::kFreq]) * K().twoOverRate;
  float p = s.phase + inc;
  PulseOutput<true>(inc, p, s, *in[PulseFmIn::kAmpl], *in[PulseFmIn::kWidth]);
  s.phase = p;
}

void PulseSyncStep(TIn in, TWord* w) {
  PulseSyncState& s = As<PulseSyncState>(w);
  const float inc = (s.pitch + *in[PulseSyncIn::kFreq]) * K().twoOverRate;
  float p = s.phase + inc;
  if (RisingEdge(s.sync, *in[PulseSyncIn::kSync])) {
    p = Clamp(*in[PulseSyncIn::kSyncPhase], -1.0f, 1.0f);
    s.half.i = p >= s.width ? 1 : 0;
  }
  PulseOutput<true>(inc, p, s, *in[PulseSyncIn::kAmpl], *in[PulseSyncIn::kWidth]);
  s.phase = p;
}

void BiPulseStep(TIn in, TWord* w) {
  OscState& s = As<OscState>(w);
  const float p = WrapUnit(s.phase + s.pitch);
  s.phase = p;
  const float a = *in[WidthOscIn::kAmpl], width = *in[WidthOscIn::kWidth];
  if (p >= 0.0f) s.out = p > 1.0f - width ? 0.0f : a;
  else s.out = p < width - 1.0f ? 0.0f : -a;
}

// Phase -1 ... 1 wrapping by 2; a phase still beyond after the wrap is held
// at the bound.
inline float WrapUnitHeld(float p) {
  if (p > 1.0f) {
    p -= 2.0f;
    if (p > 1.0f) p = 1.0f;
  } else if (p < -1.0f) {
    p += 2.0f;
    if (p < -1.0f) p = -1.0f;
  }
  return p;
}

void Pulse1RampStep(TIn in, TWord* w) {
  OscState& s = As<OscState>(w);
  const float p = WrapUnitHeld(s.phase + (*in[Pulse1RampIn::kFreq] + s.pitch) * K().twoOverRate);
  s.phase = p;
  s.out = Clamp((p + *in[Pulse1RampIn::kWidth]) * *in[Pulse1RampIn::kSlope], -1.0f, 1.0f) * *in[Pulse1RampIn::kAmpl];
}

void Pulse2RampStep(TIn in, TWord* w) {
  Pulse2RampState& s = As<Pulse2RampState>(w);
  const float inc = (s.pitch + *in[Pulse2RampIn::kFreq]) * K().twoOverRate;
  const float p = WrapUnitHeld(s.phase + inc);
  s.phase = p;
  float& direction = s.direction;
  float& level = s.level;
  if (p > *in[Pulse2RampIn::kWidth]) {
    if (direction >= 0.0f) {
      if (level > -1.0f) {
        level -= inc * *in[Pulse2RampIn::kDown];
        if (level < -1.0f) level = -1.0f;
      }
    } else {
      direction = 1.0f;
      level = 1.0f;
    }
  } else if (direction <= 0.0f) {
    if (level < 1.0f) {
      level += inc * *in[Pulse2RampIn::kUp];
      if (level > 1.0f) level = 1.0f;
    }
  } else {
    direction = -1.0f;
    level = -1.0f;
  }
  s.out = level * *in[Pulse2RampIn::kAmpl];
}

// Impulse trains with zero average: a constant -inc x k between impulses and
// one impulse spread over the two samples around the wrap. An increment of 0
// gives 0 and holds the phase.
inline float ImpulseOutput(float inc, float& p, float a) {
  const float k = K().framesPerTenthMs;
  if (inc > 0.0f) {
    const float d = 1.0f - p;
    if (d > inc) return -inc * k * a;
    if (inc > 1.0f) {
      p = 0.0f;
      return 0.0f;
    }
    if (d > 0.0f) return a * k * (2.0f - inc - 2.0f * d / inc);
    p -= 2.0f;
    return a * k * (2.0f - inc + 2.0f * d / inc);
  }
  if (inc < 0.0f) {
    const float e = p + 1.0f;
    if (e > -inc) return inc * k * a;
    if (inc < -1.0f) {
      p = 0.0f;
      return 0.0f;
    }
    if (e > 0.0f) return a * k * (2.0f + inc + 2.0f * e / inc);
    p += 2.0f;
    return a * k * (2.0f + inc - 2.0f * e / inc);
  }
  return 0.0f;
}

void ImpulseStep(TIn in, TWord* w) {
  OscState& s = As<OscState>(w);
  const float inc = s.pitch;
  float p = s.phase + inc;
  s.out = ImpulseOutput(inc, p, *in[OscIn::kAmpl]);
  s.phase = p;
}

void ImpulseFmStep(TIn in, TWord* w) {
  OscState& s = As<OscState>(w);
  const float inc = (s.pitch + *in[FmOscIn::kFreq]) * K().twoOverRate;
  float p = s.phase + inc;
  s.out = ImpulseOutput(inc, p, *in[FmOscIn::kAmpl]);
  s.phase = p;
}

void ImpulseSyncStep(TIn in, TWord* w) {
  OscSyncState& s = As<OscSyncState>(w);
  const float inc = (s.pitch + *in[SyncOscIn::kFreq]) * K().twoOverRate;
  float p = s.phase + inc;
  if (RisingEdge(s.sync, *in[SyncOscIn::kSync])) {
    const float ph = *in[SyncOscIn::kSyncPhase];
    if (ph <= 0.0f) p = ph < -2.0f ? 1.0f : ph + 1.0f;
    else p = ph <= 2.0f ? ph - 1.0f : -1.0f;
  }
  s.out = ImpulseOutput(inc, p, *in[SyncOscIn::kAmpl]);
  s.phase = p;
}

// The constant n/sr of the step and ramp oscillators.
template <int N> float StepsOverRate() {
  switch (N) {
  case 4: return K().fourOverRate;
  case 5: return K().fiveOverRate;
  case 6: return K().sixOverRate;
  case 8: return K().eightOverRate;
  default: return float(N) * K().invRate;
  }
}

// Phase 0 ... n wrapping by n; the section 1 ... n that holds it (the wrap
// sample and every phase up to 1 in the first).
template <int N> inline int32_t StepSection(float& p) {
  if (p > float(N)) p -= float(N);
  int32_t k = ToIndex(p, 0, N);
  if (float(k) < p) ++k;
  return k < 1 ? 1 : k > N ? N : k;
}

template <int N> void StepOscStep(TIn in, TWord* w) {
  OscState& s = As<OscState>(w);
  float p = Defined(s.phase + s.pitch * StepsOverRate<N>());
  const int32_t k = StepSection<N>(p);
  s.phase = p;
  s.out = *in[StepOscIn::kAmpl] * *in[StepOscIn::kStep1 - 1 + k];
}

template <int N> void RampOscStep(TIn in, TWord* w) {
  RampOscState<N>& s = As<RampOscState<N>>(w);
  float p = Defined(s.phase + s.pitch * StepsOverRate<N>());
  const int32_t k = StepSection<N>(p) - 1;
  s.phase = p;
  s.out = *in[OscIn::kAmpl] * ((p - float(k)) * s.slope[k] + s.level[k]);
}

} // namespace

void InstallOscillatorRoutines(TRoutineTables& t) {
  TModuleTable<TAudioRoutine>& a = t.audio;
  a[kTypeSawtooth] = PerVoice<SawtoothStep>;
  a[kTypeSawFm] = PerVoice<SawFmStep>;
  a[kTypeSawSync] = PerVoice<SawSyncStep>;
  a[kTypeSawPulse] = PerVoice<SawPulseStep>;
  a[kTypeBiSaw] = PerVoice<BiSawStep>;
  a[kTypeTriangle] = PerVoice<TriangleStep>;
  a[kTypeTriFm] = PerVoice<TriFmStep>;
  a[kTypeTriSync] = PerVoice<TriSyncStep>;
  a[kTypeParabol] = PerVoice<ParabolStep>;
  a[kTypeParFm] = PerVoice<ParFmStep>;
  a[kTypeParSync] = PerVoice<ParSyncStep>;
  a[kTypeTriParSymm] = PerVoice<SymmStep>;
  a[kTypeParPwm] = PerVoice<ParPwmStep>;
  a[kTypeSine] = PerVoice<SineStep>;
  a[kTypeSineFm] = PerVoice<SineFmStep>;
  a[kTypeSineSync] = PerVoice<SineSyncStep>;
  a[kTypePulse] = PerVoice<PulseStep>;
  a[kTypePulseFm] = PerVoice<PulseFmStep>;
  a[kTypePulseSync] = PerVoice<PulseSyncStep>;
  a[kTypeBiPulse] = PerVoice<BiPulseStep>;
  a[kTypePulseOneRamp] = PerVoice<Pulse1RampStep>;
  a[kTypePulseTwoRamp] = PerVoice<Pulse2RampStep>;
  a[kTypeImpulse] = PerVoice<ImpulseStep>;
  a[kTypeImpulseFm] = PerVoice<ImpulseFmStep>;
  a[kTypeImpulseSync] = PerVoice<ImpulseSyncStep>;
  a[kTypeStep4] = PerVoice<StepOscStep<4>>;
  a[kTypeStep5] = PerVoice<StepOscStep<5>>;
  a[kTypeStep6] = PerVoice<StepOscStep<6>>;
  a[kTypeStep8] = PerVoice<StepOscStep<8>>;
  a[kTypeRamp4] = PerVoice<RampOscStep<4>>;
  a[kTypeRamp5] = PerVoice<RampOscStep<5>>;
  a[kTypeRamp6] = PerVoice<RampOscStep<6>>;
  a[kTypeRamp8] = PerVoice<RampOscStep<8>>;
}
