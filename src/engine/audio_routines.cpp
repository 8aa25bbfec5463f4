// Per-sample routines. Every routine takes its data from the current slot,
// loops over the slot's voices and computes one frame per voice; inputs are
// read once, outputs are written into the voice's state words where the
// inputs of the destinations point. Word numbers follow the state layouts of
// voice_state.h; input numbers follow the catalogue's port order.
#include "src/engine/audio_routines.h"

#include <cmath>

#include "src/engine/event_routines.h"
#include "src/engine/module_types.h"
#include "src/engine/routine_util.h"
#include "src/engine/tables.h"
#include "src/engine/voice_state.h"

namespace {

using routines::High;
using routines::RisingEdge;

using TIn = float* const*;  // one voice's input pointers

const TEngineConstants& K() { return EngineConstants; }

// Runs Step for every voice of the current slot.
template <void (*Step)(TIn in, TWord* w)> void PerVoice() {
  float** const* inputs = SlotInputs();
  TWord* const* states = SlotStates();
  const int32_t voices = SlotVoices();
  for (int32_t v = 0; v < voices; ++v) Step(inputs ? inputs[v] : nullptr, states[v]);
}

// The same for routines that send events and need their record and voice.
template <void (*Step)(TIn in, TWord* w, TEngineRecord* r, int32_t voice)> void PerVoiceSending() {
  float** const* inputs = SlotInputs();
  TWord* const* states = SlotStates();
  TEngineRecord* r = SlotRecord();
  const int32_t voices = SlotVoices();
  for (int32_t v = 0; v < voices; ++v) Step(inputs ? inputs[v] : nullptr, states[v], r, v);
}

// Routines that serve voice 0 only.
template <void (*Step)(TIn in, TWord* w, TEngineRecord* r, int32_t voice)> void VoiceZero() {
  float** const* inputs = SlotInputs();
  Step(inputs ? inputs[0] : nullptr, SlotStates()[0], SlotRecord(), 0);
}

// ---------------------------------------------------------------------------
// 1. Arithmetic, mixing and routing

template <int N> void SumStep(TIn in, TWord* w) {
  float s = *in[0];
  for (int k = 1; k < N; ++k) s += *in[k];
  w[0].f = s;
}

template <int N> void ProductStep(TIn in, TWord* w) {
  float p = *in[0];
  for (int k = 1; k < N; ++k) p *= *in[k];
  w[0].f = p;
}

void InvertStep(TIn in, TWord* w) { w[0].f = -*in[0]; }

void ReciprocalStep(TIn in, TWord* w) {
  const float x = *in[0];
  w[0].f = IsZero(x) ? 0.0f : 1.0f / x;
}

void DivideStep(TIn in, TWord* w) {
  const float y = *in[1];
  w[0].f = IsZero(y) ? 0.0f : *in[0] / y;
}

void AmpStep(TIn in, TWord* w) { w[1].f = w[0].f * *in[0]; }

template <int N> void MixerStep(TIn in, TWord* w) {
  float s = 0.0f;
  for (int k = 0; k < N; ++k) s += w[k].f * *in[k];
  w[N].f = s;
}

void CrossfadeStep(TIn in, TWord* w) {
  const float x = *in[0], a = *in[1], b = *in[2];
  w[0].f = (b - a) * x + a;
}

void StereoPanStep(TIn in, TWord* w) {
  const float pan = *in[0], x = *in[1];
  w[0].f = (1.0f - pan) * x;
  w[1].f = (1.0f + pan) * x;
}

void StereoAmpStep(TIn in, TWord* w) {
  const float x = *in[0];
  w[0].f = w[2].f * x;
  w[1].f = w[3].f * x;
}

void Relay1Step(TIn in, TWord* w) { w[0].f = High(*in[0]) ? *in[1] : 0.0f; }
void Relay2Step(TIn in, TWord* w) { w[0].f = High(*in[0]) ? *in[1] : *in[2]; }
void ChopperStep(TIn in, TWord* w) {
  const float x = *in[1];
  w[0].f = High(*in[0]) ? x * *in[2] : x;
}

// "}": the sum over all voices lands in voice 0.
void VoiceCombiner() {
  float** const* inputs = SlotInputs();
  TWord* const* states = SlotStates();
  const int32_t voices = SlotVoices();
  float s = 0.0f;
  for (int32_t v = 0; v < voices; ++v) s += *inputs[v][0];
  states[0][0].f = s;
}

void UnitDelayStep(TIn in, TWord* w) {
  w[1].f = w[0].f;
  w[0].f = *in[0];
}

void TestModStep(TIn in, TWord* w) {
  for (int k = 0; k < 5; ++k) w[k].f = *in[k];
}

// Level meters hold the peak power for the panel, which lets it decay.
void LevelPeak() {
  const float x = *SlotInputs()[0][0];
  const float power = x * x;
  float& peak = SlotStates()[0][1].f;
  if (power > routines::LoadShared(peak)) routines::StoreShared(peak, power);
}

// ---------------------------------------------------------------------------
// 2. Oscillators: [0] pitch value, [1] phase, [2] output.

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
  const float inc = w[0].f;
  float p = w[1].f + inc;
  w[2].f = SawOutput<false>(inc, p, *in[0]);
  w[1].f = p;
}

void SawFmStep(TIn in, TWord* w) {
  const float inc = (w[0].f + *in[0]) * K().twoOverRate;
  float p = w[1].f + inc;
  w[2].f = SawOutput<true>(inc, p, *in[1]);
  w[1].f = p;
}

inline float Clamp(float v, float lo, float hi) {
  if (!(v >= lo)) return lo;  // also a NaN
  return v > hi ? hi : v;
}

void SawSyncStep(TIn in, TWord* w) {
  const float inc = (w[0].f + *in[0]) * K().twoOverRate;
  float p = w[1].f + inc;
  if (RisingEdge(w[3], *in[2])) p = Clamp(*in[3], -1.0f, 1.0f);
  w[2].f = SawOutput<true>(inc, p, *in[1]);
  w[1].f = p;
}

void SawPulseStep(TIn in, TWord* w) {
  const float a = *in[0], slope = *in[1];
  float p = w[1].f + w[0].f;
  if (p > 2.0f) {
    p -= 2.0f;
    w[3].i = 0;
  }
  w[1].f = p;
  if (w[3].i == 0) {
    const float v = (1.0f + slope) * p - 2.0f;
    if (v > 0.0f) {
      w[4].f = p * 0.5f;
      w[3].i = 1;
      w[2].f = p * 0.5f * a;
    } else {
      w[2].f = (v + w[4].f) * a;
    }
  } else {
    w[2].f = w[4].f * a;
  }
}

// Phase -1 ... 1 wrapping by 2 in the direction of the increment.
inline float WrapUnit(float p) {
  if (p > 1.0f) return p - 2.0f;
  if (p < -1.0f) return p + 2.0f;
  return p;
}

void BiSawStep(TIn in, TWord* w) {
  const float p = WrapUnit(w[1].f + w[0].f);
  w[1].f = p;
  const float v = (1.0f + *in[1]) * p;
  w[2].f = (v >= -1.0f && v <= 1.0f) ? v * *in[0] : 0.0f;
}

// Triangle and parabola: the phase runs -1 ... 1 and the sign [3] toggles at
// every wrap. A sign that was never set counts as -1, so the first wrap (to
// +1) continues the waveform without a jump.
inline float ToggledSign(TWord& sign) {
  sign.f = sign.f > 0.0f ? -1.0f : 1.0f;
  return sign.f;
}
inline float SignOf(const TWord& sign) { return sign.f > 0.0f ? 1.0f : -1.0f; }

// The wrap of "Triangle", "Parabol" and their FM variants: by 2 at +-1,
// toggling the sign. A phase still beyond after the wrap (an increment above
// 2) goes to 0 for the triangle (ToBound false) and to the bound for the
// parabola (ToBound true).
template <bool ToBound> inline float TriPhase(float p, TWord& sign) {
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
  const float p = TriPhase<false>(w[1].f + w[0].f, w[3]);
  w[1].f = p;
  w[2].f = SignOf(w[3]) * p * *in[0];
}

void TriFmStep(TIn in, TWord* w) {
  const float p = TriPhase<false>(w[1].f + (w[0].f + *in[0]) * K().fourOverRate, w[3]);
  w[1].f = p;
  w[2].f = SignOf(w[3]) * *in[1] * p;
}

void TriSyncStep(TIn in, TWord* w) {
  const float inc = Clamp((w[0].f + *in[0]) * K().fourOverRate, -2.0f, 2.0f);
  float p = w[1].f + inc;
  if (p > 2.0f) p -= 4.0f;
  else if (p < -2.0f) p += 4.0f;
  if (RisingEdge(w[3], *in[2])) p = Clamp(2.0f * *in[3], -1.0f, 3.0f) - 1.0f;
  w[1].f = p;
  const float a = *in[1];
  w[2].f = p >= 0.0f ? a * (1.0f - p) : a * (p + 1.0f);
}

void ParabolStep(TIn in, TWord* w) {
  const float p = TriPhase<false>(w[1].f + w[0].f, w[3]);
  w[1].f = p;
  w[2].f = (p * p - 1.0f) * SignOf(w[3]) * *in[0];
}

void ParFmStep(TIn in, TWord* w) {
  const float p = TriPhase<true>(w[1].f + (w[0].f + *in[0]) * K().fourOverRate, w[3]);
  w[1].f = p;
  w[2].f = (p * p - 1.0f) * SignOf(w[3]) * *in[1];
}

void ParSyncStep(TIn in, TWord* w) {
  float p = w[1].f + (w[0].f + *in[0]) * K().fourOverRate;
  if (p > 2.0f) {
    p -= 4.0f;
    if (p > 2.0f) p = 2.0f;
  } else if (p < -2.0f) {
    p += 4.0f;
    if (p < -2.0f) p = -2.0f;
  }
  if (RisingEdge(w[3], *in[2])) p = Clamp(2.0f * *in[3], -2.0f, 2.0f);
  w[1].f = p;
  const float a = *in[1];
  w[2].f = p < 0.0f ? p * a * (p + 2.0f) : p * a * (2.0f - p);
}

void SymmStep(TIn in, TWord* w) {
  const float p = WrapUnit(w[1].f + w[0].f);
  w[1].f = p;
  const float a = *in[0];
  const float point = w[4].f, slope = w[5].f, slopeRest = w[6].f;
  if (p < 0.0f) {
    const float v = p < point ? (p + 1.0f) * slopeRest : p * slope;
    w[2].f = a * v;
    w[3].f = (2.0f - v) * w[2].f;
  } else {
    const float v = p < -point ? p * slope : (p - 1.0f) * slopeRest;
    w[2].f = a * v;
    w[3].f = (v + 2.0f) * w[2].f;
  }
}

void ParPwmStep(TIn in, TWord* w) {
  const float p = WrapUnit(w[1].f + w[0].f);
  w[1].f = p;
  const float a = *in[0], width = w[3].f;
  if (width < p) w[2].f = w[4].f * a * (p * (p - (width + 1.0f)) + w[6].f);
  else w[2].f = w[5].f * a * (p * ((1.0f - width) + p) + w[7].f);
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
  float p = Defined(w[1].f + w[0].f);
  if (p >= 256.0f) p -= 256.0f;
  w[1].f = p;
  w[2].f = SineAt(p) * *in[0];
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
  const float inc = Clamp((w[0].f + *in[1]) * K().sineStepOverRate, -128.0f, 128.0f);
  const float p = SineFmPhase(w[1].f, inc);
  w[1].f = p;
  w[2].f = SineAt(p) * *in[0];
}

void SineSyncStep(TIn in, TWord* w) {
  const float inc = Clamp((w[0].f + *in[1]) * K().sineStepOverRate, -128.0f, 128.0f);
  float p = SineFmPhase(w[1].f, inc);
  if (RisingEdge(w[3], *in[2])) {
    const float ph = *in[3];
    float q;
    if (ph <= 0.0f) q = ph + 2.0f < 0.0f ? 0.0f : ph + 2.0f;
    else q = ph > 2.0f ? 2.0f : ph;
    p = Defined(128.0f * q);
  }
  w[1].f = p;
  w[2].f = SineAt(p) * *in[0];
}

// Pulse: [1] phase -1 ... 1, [3] width latched once per cycle, [4] half
// (0: low level w - 1 below the width, 1: high level w + 1 above it). The
// sample of a transition takes the linear value between the two levels.
// For a negative increment the phase runs down: the high half ends at the
// width, the low half at -1, where the phase wraps up by 2 and the width is
// latched. An increment of 0 holds the output; an increment beyond +-1 at a
// transition silences the oscillator (`Silence`).
enum { kPulseWidth = 3, kPulseHalf = 4 };

template <bool Silence> inline void PulseOutput(float inc, float& p, TWord* w, float a, float width) {
  TWord& half = w[kPulseHalf];
  float& level = w[kPulseWidth].f;
  if (inc > 0.0f) {
    if (half.i == 0) {
      const float e = 2.0f * (level - p);
      if (inc < e) {
        w[2].f = a * (level - 1.0f);
      } else if (Silence && inc > 1.0f) {
        p = 0.0f;
        w[2].f = 0.0f;
      } else {
        w[2].f = (level - e / inc) * a;
        half.i = 1;
      }
    } else {
      const float e = 2.0f * (1.0f - p);
      if (inc < e) {
        w[2].f = a * (level + 1.0f);
      } else if (Silence && inc > 1.0f) {
        p = 0.0f;
        w[2].f = 0.0f;
      } else {
        level = Clamp(width, inc - 1.0f, 1.0f - inc);
        w[2].f = a * (e / inc + level);
        p -= 2.0f;
        half.i = 0;
      }
    }
  } else if (inc < 0.0f) {
    const float n = -inc;
    if (half.i != 0) {
      const float e = 2.0f * (p - level);
      if (n < e) {
        w[2].f = a * (level + 1.0f);
      } else if (Silence && n > 1.0f) {
        p = 0.0f;
        w[2].f = 0.0f;
      } else {
        w[2].f = (level + e / n) * a;
        half.i = 0;
      }
    } else {
      const float e = 2.0f * (p + 1.0f);
      if (n < e) {
        w[2].f = a * (level - 1.0f);
      } else if (Silence && n > 1.0f) {
        p = 0.0f;
        w[2].f = 0.0f;
      } else {
        level = Clamp(width, n - 1.0f, 1.0f - n);
        w[2].f = a * (level - e / n);
        p += 2.0f;
        half.i = 1;
      }
    }
  }
}

void PulseStep(TIn in, TWord* w) {
  const float inc = w[0].f;
  float p = w[1].f + inc;
  PulseOutput<false>(inc, p, w, *in[0], *in[1]);
  w[1].f = p;
}

void PulseFmStep(TIn in, TWord* w) {
  const float inc = (w[0].f + *in[2]) * K().twoOverRate;
  float p = w[1].f + inc;
  PulseOutput<true>(inc, p, w, *in[0], *in[1]);
  w[1].f = p;
}

void PulseSyncStep(TIn in, TWord* w) {
  const float inc = (w[0].f + *in[2]) * K().twoOverRate;
  float p = w[1].f + inc;
  if (RisingEdge(w[5], *in[3])) {
    p = Clamp(*in[4], -1.0f, 1.0f);
    w[kPulseHalf].i = p >= w[kPulseWidth].f ? 1 : 0;
  }
  PulseOutput<true>(inc, p, w, *in[0], *in[1]);
  w[1].f = p;
}

void BiPulseStep(TIn in, TWord* w) {
  const float p = WrapUnit(w[1].f + w[0].f);
  w[1].f = p;
  const float a = *in[0], width = *in[1];
  if (p >= 0.0f) w[2].f = p > 1.0f - width ? 0.0f : a;
  else w[2].f = p < width - 1.0f ? 0.0f : -a;
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
  const float p = WrapUnitHeld(w[1].f + (*in[0] + w[0].f) * K().twoOverRate);
  w[1].f = p;
  w[2].f = Clamp((p + *in[2]) * *in[3], -1.0f, 1.0f) * *in[1];
}

void Pulse2RampStep(TIn in, TWord* w) {
  const float inc = (w[0].f + *in[0]) * K().twoOverRate;
  const float p = WrapUnitHeld(w[1].f + inc);
  w[1].f = p;
  float& direction = w[2].f;
  float& level = w[3].f;
  if (p > *in[2]) {
    if (direction >= 0.0f) {
      if (level > -1.0f) {
        level -= inc * *in[4];
        if (level < -1.0f) level = -1.0f;
      }
    } else {
      direction = 1.0f;
      level = 1.0f;
    }
  } else if (direction <= 0.0f) {
    if (level < 1.0f) {
      level += inc * *in[3];
      if (level > 1.0f) level = 1.0f;
    }
  } else {
    direction = -1.0f;
    level = -1.0f;
  }
  w[4].f = level * *in[1];
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
  const float inc = w[0].f;
  float p = w[1].f + inc;
  w[2].f = ImpulseOutput(inc, p, *in[0]);
  w[1].f = p;
}

void ImpulseFmStep(TIn in, TWord* w) {
  const float inc = (w[0].f + *in[0]) * K().twoOverRate;
  float p = w[1].f + inc;
  w[2].f = ImpulseOutput(inc, p, *in[1]);
  w[1].f = p;
}

void ImpulseSyncStep(TIn in, TWord* w) {
  const float inc = (w[0].f + *in[0]) * K().twoOverRate;
  float p = w[1].f + inc;
  if (RisingEdge(w[3], *in[2])) {
    const float ph = *in[3];
    if (ph <= 0.0f) p = ph < -2.0f ? 1.0f : ph + 1.0f;
    else p = ph <= 2.0f ? ph - 1.0f : -1.0f;
  }
  w[2].f = ImpulseOutput(inc, p, *in[1]);
  w[1].f = p;
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
  float p = Defined(w[1].f + w[0].f * StepsOverRate<N>());
  const int32_t k = StepSection<N>(p);
  w[1].f = p;
  w[2].f = *in[0] * *in[k];
}

template <int N> void RampOscStep(TIn in, TWord* w) {
  float p = Defined(w[1].f + w[0].f * StepsOverRate<N>());
  const int32_t k = StepSection<N>(p) - 1;
  w[1].f = p;
  w[2].f = *in[0] * ((p - float(k)) * w[12 + k].f + w[4 + k].f);
}

// ---------------------------------------------------------------------------
// 3. Noise and random: one shift register for all voices, in voice 0.

void NoiseRoutine() {
  float** const* inputs = SlotInputs();
  TWord* const* states = SlotStates();
  const int32_t voices = SlotVoices();
  uint32_t g = states[0][1].u;
  for (int32_t v = 0; v < voices; ++v) {
    const uint32_t b = g >> 1;
    g = b | ((((g >> 5) ^ g ^ (g >> 13)) & 1u) << 31);
    states[v][0].f = (float(b & 1u) - 0.5f) * *inputs[v][0];
  }
  states[0][1].u = g;
}

void RandomRoutine() {
  float** const* inputs = SlotInputs();
  TWord* const* states = SlotStates();
  const int32_t voices = SlotVoices();
  uint32_t g = states[0][1].u;
  for (int32_t v = 0; v < voices; ++v) {
    TWord* w = states[v];
    w[2].f += 2.0f * w[0].f * K().invRate;
    if (w[2].f > 1.0f) {
      w[2].f -= 2.0f;
      w[3].f = routines::RandomValue(routines::RandomStep(g));
    }
    w[4].f = w[3].f * *inputs[v][0];
  }
  states[0][1].u = g;
}

// ---------------------------------------------------------------------------
// 4. Envelopes

enum {
  eOut, eDecay, eRelease, eAttackUnit, eSustain, eSustainLevel, ePeak, eAttackStep, eDecayPart, eStage,
  eKnee, eKneeStep, eKneeRate, eKneeFraction
};
static_assert(QV_WORD_AT(KneeEnvState, kneeFraction) == eKneeFraction, "envelope words");
static_assert(QV_WORD_AT(GateEnvState, stage) == eStage, "envelope words");

constexpr float kGuard = 1e-12f;

inline void Release(TWord* w) { w[eOut].f = (w[eOut].f + kGuard) * w[eRelease].f; }
inline void Attack(TWord* w) {
  w[eOut].f += w[eAttackStep].f;
  if (w[eOut].f > w[ePeak].f) {
    w[eOut].f = w[ePeak].f;
    w[eStage].i = 1;
  }
}
inline void JumpToPeak(TWord* w) {
  w[eOut].f = w[ePeak].f;
  w[eStage].i = 1;
}
inline void DecayToSustain(TWord* w) {
  w[eDecayPart].f = (w[eDecayPart].f + kGuard) * w[eDecay].f;
  w[eOut].f = w[eDecayPart].f + w[eSustainLevel].f;
}
inline void DecayToZero(TWord* w) { w[eOut].f = (w[eOut].f + kGuard) * w[eDecay].f; }
// The first decay of the knee types, down to the knee level.
template <bool Sustain> inline void FirstDecay(TWord* w) {
  w[eOut].f += w[eKneeStep].f;
  if (w[eOut].f <= w[eKnee].f) {
    w[eOut].f = w[eKnee].f;
    w[eStage].i = 2;
    if (Sustain) w[eDecayPart].f = w[eKnee].f - w[eSustainLevel].f;
  }
}

void AdsrStep(TIn, TWord* w) {
  switch (w[eStage].i) {
  case 0: Release(w); break;
  case 1: DecayToSustain(w); break;
  default: Attack(w); break;
  }
}

void ArStep(TIn, TWord* w) {
  if (w[eStage].i == 0) Release(w);
  else Attack(w);
}

void AdrStep(TIn, TWord* w) {
  switch (w[eStage].i) {
  case 0: Release(w); break;
  case 1: DecayToZero(w); break;
  default: Attack(w); break;
  }
}

void DrStep(TIn, TWord* w) {
  switch (w[eStage].i) {
  case 0: Release(w); break;
  case 1: DecayToZero(w); break;
  default: JumpToPeak(w); break;
  }
}

void DsrStep(TIn, TWord* w) {
  switch (w[eStage].i) {
  case 0: Release(w); break;
  case 1: DecayToSustain(w); break;
  default: JumpToPeak(w); break;
  }
}

// The knee types: stage 1 falls linearly to the knee, stage 2 decays
// exponentially (to 0 or to the sustain level), stage 3 attacks or jumps.
template <bool Attacks, bool Sustain> void KneeStep(TIn, TWord* w) {
  switch (w[eStage].i) {
  case 0: Release(w); break;
  case 1: FirstDecay<Sustain>(w); break;
  case 2:
    if (Sustain) DecayToSustain(w);
    else DecayToZero(w);
    break;
  default:
    if (Attacks) Attack(w);
    else JumpToPeak(w);
    break;
  }
}

// "D - Env": level [3], decay factor [1], edge flag [2].
void DecayEnvStep(TIn in, TWord* w) {
  w[3].f = (w[3].f + kGuard) * w[1].f;
  if (RisingEdge(w[2], *in[0])) w[3].f = 1.0f;
  w[0].f = w[3].f * *in[1];
}

// "AD - Env": decay [1], edge [2], attack step [3], attacking [4], level [5].
void AttackDecayEnvStep(TIn in, TWord* w) {
  if (RisingEdge(w[2], *in[0])) w[4].i = 1;
  if (w[4].i != 0) {
    w[5].f += w[3].f;
    if (w[5].f > 1.0f) {
      w[5].f = 1.0f;
      w[4].i = 0;
    }
  } else {
    w[5].f = (w[5].f + kGuard) * w[1].f;
  }
  w[0].f = w[5].f * *in[1];
}

// "HR - Env": counter [1], release [2], level [3], hold frames [4], edge [5].
void HoldReleaseEnvStep(TIn in, TWord* w) {
  if (w[1].i > 0) --w[1].i;
  else w[3].f = (w[3].f + kGuard) * w[2].f;
  if (RisingEdge(w[5], *in[0])) {
    w[3].f = 1.0f;
    w[1].i = w[4].i;
  }
  w[0].f = w[3].f * *in[1];
}

// "H - Env": an event pulse of the hold length, counter [1], edge [2],
// hold frames [4]. A hold of 0 frames still lasts one frame, so every pulse
// that opens also closes.
void HoldEnvStep(TIn in, TWord* w, TEngineRecord* r, int32_t voice) {
  if (RisingEdge(w[2], *in[0])) {
    const float a = *in[1];
    w[0].f = a;
    w[1].i = w[4].i > 0 ? w[4].i : 1;
    SendEvent(r, 0, voice, a);
    return;
  }
  if (w[1].i > 0 && --w[1].i == 0) {
    w[0].f = 0.0f;
    SendEvent(r, 0, voice, 0.0f);
  }
}

// Multi-ramp envelopes with M ramps before the release: stage [0] (a float,
// sent on St whenever it changes), level [1], slope [2], target [3],
// peak [4]; ramp k has its rate in [4 + 2k] and its level in [5 + 2k].
template <int M> void RampEnvStep(TIn, TWord* w, TEngineRecord* r, int32_t voice) {
  const float slope = w[2].f;
  w[1].f += slope;
  if (!((w[1].f - w[3].f) * slope > 0.0f)) return;
  w[1].f = w[3].f;
  const float stage = w[0].f;
  if (stage >= 1.0f && stage < float(M)) {
    const int32_t next = int32_t(stage) + 1;
    w[3].f = w[5 + 2 * next].f * w[4].f;
    w[2].f = (w[3].f - w[1].f) * w[4 + 2 * next].f;
    w[0].f = float(next);
  } else if (stage == float(M)) {
    w[2].f = 0.0f;
    w[0].f = float(M + 1);
  } else {
    w[2].f = 0.0f;
    w[0].f = 0.0f;
  }
  SendEvent(r, 0, voice, w[0].f);
}

// ---------------------------------------------------------------------------
// 5. Filters and equalisers

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

// ---------------------------------------------------------------------------
// 6. Wave shapers and modifiers

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

// ---------------------------------------------------------------------------
// 7. Converters and event sources

void AudioToEventTrigStep(TIn in, TWord* w, TEngineRecord* r, int32_t voice) {
  if (!RisingEdge(w[1], *in[0])) return;
  w[0].f = *in[1];
  SendEvent(r, 0, voice, w[0].f);
}

void AudioToEventPermStep(TIn in, TWord* w, TEngineRecord* r, int32_t voice) {
  w[1].f += 2.0f * *in[0] * K().invRate;
  if (!(w[1].f > 1.0f)) return;
  w[1].f -= 2.0f;
  w[0].f = *in[1];
  SendEvent(r, 0, voice, w[0].f);
}

void AudioToGateStep(TIn in, TWord* w, TEngineRecord* r, int32_t voice) {
  const bool wasHigh = w[1].i != 0;
  if (RisingEdge(w[1], *in[0])) {
    w[0].f = *in[1];
    SendEvent(r, 0, voice, w[0].f);
  } else if (wasHigh && w[1].i == 0) {
    w[0].f = 0.0f;
    SendEvent(r, 0, voice, 0.0f);
  }
}

// "Event Delay": elapsed ms [1], pending flag [2], pending value [3].
void EventDelayStep(TIn in, TWord* w, TEngineRecord* r, int32_t voice) {
  if (!High(w[2].f)) return;
  if (w[1].f > *in[0]) {
    w[0].f = w[3].f;
    w[2].f = 0.0f;
    SendEvent(r, 0, voice, w[0].f);
  } else {
    w[1].f += K().msPerFrame;
  }
}

void ClockOscStep(TIn in, TWord* w, TEngineRecord* r, int32_t voice) {
  w[1].f += w[2].f;
  if (w[1].f > 1.0f) {
    w[1].f -= 2.0f;
    w[0].f = *in[1];
    SendEvent(r, 0, voice, w[0].f);
  } else if (!IsZero(w[0].f) && w[1].f > *in[0]) {
    w[0].f = 0.0f;
    SendEvent(r, 0, voice, 0.0f);
  }
}

// Sequencers: Out [0], G [1], Stp [2], clock flag [3], reset flag [4],
// input of the next step [5] (3 ... n + 2).
template <int N> void SequencerStep(TIn in, TWord* w, TEngineRecord* r, int32_t voice) {
  if (RisingEdge(w[4], *in[1])) w[5].i = 3;
  const bool clockWasHigh = w[3].i != 0;
  if (RisingEdge(w[3], *in[0])) {
    if (w[5].i < 3 || w[5].i > N + 2) w[5].i = 3;
    const int32_t k = w[5].i;
    w[0].f = *in[k];
    SendEvent(r, 0, voice, w[0].f);
    w[1].f = *in[2];
    SendEvent(r, 1, voice, w[1].f);
    w[2].f = float(k - 2);
    SendEvent(r, 2, voice, w[2].f);
    w[5].i = k + 1;
  } else if (clockWasHigh && w[3].i == 0) {
    w[1].f = 0.0f;
    SendEvent(r, 1, voice, 0.0f);
  }
}

void TimerStep(TIn, TWord* w) {
  if (w[2].i < INT32_MAX) ++w[2].i;
}

// "S": moves towards the target by the slope the In event set.
void SmootherStep(TIn, TWord* w, TEngineRecord*, int32_t) {
  const float slope = w[1].f;
  if (IsZero(slope)) return;
  w[0].f += slope;
  if ((w[0].f - w[2].f) * slope > 0.0f || !(w[0].f == w[0].f)) {
    w[0].f = w[2].f;
    w[1].f = 0.0f;
  }
}

} // namespace

void InstallAudioRoutines(TRoutineTables& t) {
  TAudioRoutine* a = t.audio;
  // Arithmetic, mixing and routing.
  a[kTypeAudioSum2.type] = PerVoice<SumStep<2>>;
  a[kTypeAudioSum3.type] = PerVoice<SumStep<3>>;
  a[kTypeAudioSum4.type] = PerVoice<SumStep<4>>;
  a[kTypeAudioSum6.type] = PerVoice<SumStep<6>>;
  a[kTypeAudioSum8.type] = PerVoice<SumStep<8>>;
  a[kTypeAudioInvert.type] = PerVoice<InvertStep>;
  a[kTypeAudioProduct2.type] = PerVoice<ProductStep<2>>;
  a[kTypeAudioProduct3.type] = PerVoice<ProductStep<3>>;
  a[kTypeAudioProduct4.type] = PerVoice<ProductStep<4>>;
  a[kTypeAudioProduct6.type] = PerVoice<ProductStep<6>>;
  a[kTypeAudioReciprocal.type] = PerVoice<ReciprocalStep>;
  a[kTypeAudioDivide.type] = PerVoice<DivideStep>;
  a[kTypeAmp.type] = PerVoice<AmpStep>;
  a[kTypeMixer2.type] = PerVoice<MixerStep<2>>;
  a[kTypeMixer3.type] = PerVoice<MixerStep<3>>;
  a[kTypeMixer4.type] = PerVoice<MixerStep<4>>;
  a[kTypeMixer5.type] = PerVoice<MixerStep<5>>;
  a[kTypeMixer6.type] = PerVoice<MixerStep<6>>;
  a[kTypeMixer8.type] = PerVoice<MixerStep<8>>;
  a[kTypeCrossfade.type] = PerVoice<CrossfadeStep>;
  a[kTypeStereoPan.type] = PerVoice<StereoPanStep>;
  a[kTypeStereoAmp.type] = PerVoice<StereoAmpStep>;
  a[kTypeRelay1.type] = PerVoice<Relay1Step>;
  a[kTypeRelay2.type] = PerVoice<Relay2Step>;
  a[kTypeChopper.type] = PerVoice<ChopperStep>;
  a[kTypeAudioVoiceCombiner.type] = VoiceCombiner;
  a[kTypeUnitDelay.type] = PerVoice<UnitDelayStep>;
  a[kTypeTestModule.type] = PerVoice<TestModStep>;
  a[kTypeLevelMeter.type] = LevelPeak;
  a[kTypeLevelLamp.type] = LevelPeak;
  // Oscillators.
  a[kTypeSawtooth.type] = PerVoice<SawtoothStep>;
  a[kTypeSawFm.type] = PerVoice<SawFmStep>;
  a[kTypeSawSync.type] = PerVoice<SawSyncStep>;
  a[kTypeSawPulse.type] = PerVoice<SawPulseStep>;
  a[kTypeBiSaw.type] = PerVoice<BiSawStep>;
  a[kTypeTriangle.type] = PerVoice<TriangleStep>;
  a[kTypeTriFm.type] = PerVoice<TriFmStep>;
  a[kTypeTriSync.type] = PerVoice<TriSyncStep>;
  a[kTypeParabol.type] = PerVoice<ParabolStep>;
  a[kTypeParFm.type] = PerVoice<ParFmStep>;
  a[kTypeParSync.type] = PerVoice<ParSyncStep>;
  a[kTypeTriParSymm.type] = PerVoice<SymmStep>;
  a[kTypeParPwm.type] = PerVoice<ParPwmStep>;
  a[kTypeSine.type] = PerVoice<SineStep>;
  a[kTypeSineFm.type] = PerVoice<SineFmStep>;
  a[kTypeSineSync.type] = PerVoice<SineSyncStep>;
  a[kTypePulse.type] = PerVoice<PulseStep>;
  a[kTypePulseFm.type] = PerVoice<PulseFmStep>;
  a[kTypePulseSync.type] = PerVoice<PulseSyncStep>;
  a[kTypeBiPulse.type] = PerVoice<BiPulseStep>;
  a[kTypePulseOneRamp.type] = PerVoice<Pulse1RampStep>;
  a[kTypePulseTwoRamp.type] = PerVoice<Pulse2RampStep>;
  a[kTypeImpulse.type] = PerVoice<ImpulseStep>;
  a[kTypeImpulseFm.type] = PerVoice<ImpulseFmStep>;
  a[kTypeImpulseSync.type] = PerVoice<ImpulseSyncStep>;
  a[kTypeStep4.type] = PerVoice<StepOscStep<4>>;
  a[kTypeStep5.type] = PerVoice<StepOscStep<5>>;
  a[kTypeStep6.type] = PerVoice<StepOscStep<6>>;
  a[kTypeStep8.type] = PerVoice<StepOscStep<8>>;
  a[kTypeRamp4.type] = PerVoice<RampOscStep<4>>;
  a[kTypeRamp5.type] = PerVoice<RampOscStep<5>>;
  a[kTypeRamp6.type] = PerVoice<RampOscStep<6>>;
  a[kTypeRamp8.type] = PerVoice<RampOscStep<8>>;
  // Noise and random.
  a[kTypeNoise.type] = NoiseRoutine;
  a[kTypeRandom.type] = RandomRoutine;
  // Envelopes.
  a[kTypeAdsrEnv.type] = PerVoice<AdsrStep>;
  a[kTypeAttackReleaseEnv.type] = PerVoice<ArStep>;
  a[kTypeAdrEnv.type] = PerVoice<AdrStep>;
  a[kTypeDecayReleaseEnv.type] = PerVoice<DrStep>;
  a[kTypeDsrEnv.type] = PerVoice<DsrStep>;
  a[kTypeAdbdrEnv.type] = PerVoice<KneeStep<true, false>>;
  a[kTypeAdbdsrEnv.type] = PerVoice<KneeStep<true, true>>;
  a[kTypeDbdrEnv.type] = PerVoice<KneeStep<false, false>>;
  a[kTypeDbdsrEnv.type] = PerVoice<KneeStep<false, true>>;
  a[kTypeDecayEnv.type] = PerVoice<DecayEnvStep>;
  a[kTypeAttackDecayEnv.type] = PerVoice<AttackDecayEnvStep>;
  a[kTypeHoldReleaseEnv.type] = PerVoice<HoldReleaseEnvStep>;
  a[kTypeHoldEnv.type] = PerVoiceSending<HoldEnvStep>;
  a[kTypeRamp4Env.type] = PerVoiceSending<RampEnvStep<3>>;
  a[kTypeRamp5Env.type] = PerVoiceSending<RampEnvStep<4>>;
  a[kTypeRamp6Env.type] = PerVoiceSending<RampEnvStep<5>>;
  // Filters and equalisers.
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
  // Shapers and modifiers.
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
  // Converters and event sources.
  a[kTypeAudioToEventTrigger.type] = PerVoiceSending<AudioToEventTrigStep>;
  a[kTypeAudioToEventPeriodic.type] = PerVoiceSending<AudioToEventPermStep>;
  a[kTypeAudioToGate.type] = PerVoiceSending<AudioToGateStep>;
  a[kTypeEventDelay.type] = PerVoiceSending<EventDelayStep>;
  a[kTypeClockOsc.type] = VoiceZero<ClockOscStep>;
  a[kTypeSequencer6.type] = VoiceZero<SequencerStep<6>>;
  a[kTypeSequencer8.type] = VoiceZero<SequencerStep<8>>;
  a[kTypeSequencer12.type] = VoiceZero<SequencerStep<12>>;
  a[kTypeSequencer16.type] = VoiceZero<SequencerStep<16>>;
  a[kTypeTimer.type] = PerVoice<TimerStep>;
  a[kTypeEventSmoother.type] = VoiceZero<SmootherStep>;
}
