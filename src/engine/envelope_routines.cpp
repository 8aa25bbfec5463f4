// Per-sample routines of the envelopes: the gate-driven ADSR family, the
// knee envelopes, the triggered decay and attack-decay envelopes and the
// hold and ramp envelopes that send events.
#include "src/engine/audio_routines.h"

#include "src/engine/audio_routine_util.h"
#include "src/engine/module_types.h"
#include "src/engine/event_routines.h"
#include "src/engine/routine_util.h"
#include "src/engine/voice_state.h"

namespace {

using routines::PerVoice;
using routines::PerVoiceSending;
using routines::RisingEdge;
using routines::TIn;
using routines::kGuard;

enum {
  eOut, eDecay, eRelease, eAttackUnit, eSustain, eSustainLevel, ePeak, eAttackStep, eDecayPart, eStage,
  eKnee, eKneeStep, eKneeRate, eKneeFraction
};
static_assert(QV_WORD_AT(KneeEnvState, kneeFraction) == eKneeFraction, "envelope words");
static_assert(QV_WORD_AT(GateEnvState, stage) == eStage, "envelope words");

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

} // namespace

void InstallEnvelopeRoutines(TRoutineTables& t) {
  TAudioRoutine* a = t.audio;
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
}
