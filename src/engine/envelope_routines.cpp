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

using routines::As;
using routines::PerVoice;
using routines::PerVoiceSending;
using routines::RisingEdge;
using routines::TIn;
using routines::kGuard;

// The gate-driven helpers serve both GateEnvState and KneeEnvState, whose
// first ten words are the same.
static_assert(QV_WORD_AT(KneeEnvState, stage) == QV_WORD_AT(GateEnvState, stage), "envelope words");
static_assert(QV_WORD_AT(KneeEnvState, decayPart) == QV_WORD_AT(GateEnvState, decayPart), "envelope words");

template <class S> inline void Release(S& s) { s.out = (s.out + kGuard) * s.release; }
template <class S> inline void Attack(S& s) {
  s.out += s.attackStep;
  if (s.out > s.peak) {
    s.out = s.peak;
    s.stage.i = 1;
  }
}
template <class S> inline void JumpToPeak(S& s) {
  s.out = s.peak;
  s.stage.i = 1;
}
template <class S> inline void DecayToSustain(S& s) {
  s.decayPart = (s.decayPart + kGuard) * s.decay;
  s.out = s.decayPart + s.sustainLevel;
}
template <class S> inline void DecayToZero(S& s) { s.out = (s.out + kGuard) * s.decay; }
// The first decay of the knee types, down to the knee level.
template <bool Sustain> inline void FirstDecay(KneeEnvState& s) {
  s.out += s.kneeStep;
  if (s.out <= s.knee) {
    s.out = s.knee;
    s.stage.i = 2;
    if (Sustain) s.decayPart = s.knee - s.sustainLevel;
  }
}

void AdsrStep(TIn, TWord* w) {
  GateEnvState& s = As<GateEnvState>(w);
  switch (s.stage.i) {
  case 0: Release(s); break;
  case 1: DecayToSustain(s); break;
  default: Attack(s); break;
  }
}

void ArStep(TIn, TWord* w) {
  GateEnvState& s = As<GateEnvState>(w);
  if (s.stage.i == 0) Release(s);
  else Attack(s);
}

void AdrStep(TIn, TWord* w) {
  GateEnvState& s = As<GateEnvState>(w);
  switch (s.stage.i) {
  case 0: Release(s); break;
  case 1: DecayToZero(s); break;
  default: Attack(s); break;
  }
}

void DrStep(TIn, TWord* w) {
  GateEnvState& s = As<GateEnvState>(w);
  switch (s.stage.i) {
  case 0: Release(s); break;
  case 1: DecayToZero(s); break;
  default: JumpToPeak(s); break;
  }
}

void DsrStep(TIn, TWord* w) {
  GateEnvState& s = As<GateEnvState>(w);
  switch (s.stage.i) {
  case 0: Release(s); break;
  case 1: DecayToSustain(s); break;
  default: JumpToPeak(s); break;
  }
}

// The knee types: stage 1 falls linearly to the knee, stage 2 decays
// exponentially (to 0 or to the sustain level), stage 3 attacks or jumps.
template <bool Attacks, bool Sustain> void KneeStep(TIn, TWord* w) {
  KneeEnvState& s = As<KneeEnvState>(w);
  switch (s.stage.i) {
  case 0: Release(s); break;
  case 1: FirstDecay<Sustain>(s); break;
  case 2:
    if (Sustain) DecayToSustain(s);
    else DecayToZero(s);
    break;
  default:
    if (Attacks) Attack(s);
    else JumpToPeak(s);
    break;
  }
}

// "D - Env".
void DecayEnvStep(TIn in, TWord* w) {
  DecayEnvState& s = As<DecayEnvState>(w);
  s.level = (s.level + kGuard) * s.decay;
  if (RisingEdge(s.edge, *in[TriggeredEnvIn::kTrigger])) s.level = 1.0f;
  s.out = s.level * *in[TriggeredEnvIn::kAmpl];
}

// "AD - Env".
void AttackDecayEnvStep(TIn in, TWord* w) {
  AttackDecayEnvState& s = As<AttackDecayEnvState>(w);
  if (RisingEdge(s.edge, *in[TriggeredEnvIn::kTrigger])) s.attacking.i = 1;
  if (s.attacking.i != 0) {
    s.level += s.attackStep;
    if (s.level > 1.0f) {
      s.level = 1.0f;
      s.attacking.i = 0;
    }
  } else {
    s.level = (s.level + kGuard) * s.decay;
  }
  s.out = s.level * *in[TriggeredEnvIn::kAmpl];
}

// "HR - Env".
void HoldReleaseEnvStep(TIn in, TWord* w) {
  HoldReleaseEnvState& s = As<HoldReleaseEnvState>(w);
  if (s.counter.i > 0) --s.counter.i;
  else s.level = (s.level + kGuard) * s.release;
  if (RisingEdge(s.edge, *in[TriggeredEnvIn::kTrigger])) {
    s.level = 1.0f;
    s.counter.i = s.holdFrames.i;
  }
  s.out = s.level * *in[TriggeredEnvIn::kAmpl];
}

// "H - Env": an event pulse of the hold length. A hold of 0 frames still
// lasts one frame, so every pulse that opens also closes.
void HoldEnvStep(TIn in, TWord* w, TEngineRecord* r, int32_t voice) {
  HoldEnvState& s = As<HoldEnvState>(w);
  if (RisingEdge(s.edge, *in[TriggeredEnvIn::kTrigger])) {
    const float a = *in[TriggeredEnvIn::kAmpl];
    s.out = a;
    s.counter.i = s.holdFrames.i > 0 ? s.holdFrames.i : 1;
    SendEvent(r, EventOut::kOut, voice, a);
    return;
  }
  if (s.counter.i > 0 && --s.counter.i == 0) {
    s.out = 0.0f;
    SendEvent(r, EventOut::kOut, voice, 0.0f);
  }
}

// Multi-ramp envelopes with M ramps before the release. The stage is a
// float, sent on St whenever it changes; stage k (1 .. M) runs ramp k - 1,
// whose level is a fraction of the peak.
template <int M> void RampEnvStep(TIn, TWord* w, TEngineRecord* r, int32_t voice) {
  RampEnvState<M>& s = As<RampEnvState<M>>(w);
  const float slope = s.slope;
  s.level += slope;
  if (!((s.level - s.target) * slope > 0.0f)) return;
  s.level = s.target;
  const float stage = s.stage.f;
  if (stage >= 1.0f && stage < float(M)) {
    const int32_t next = int32_t(stage) + 1;
    s.target = s.ramp[next - 1].level * s.peak;
    s.slope = (s.target - s.level) * s.ramp[next - 1].rate;
    s.stage.f = float(next);
  } else if (stage == float(M)) {
    s.slope = 0.0f;
    s.stage.f = float(M + 1);
  } else {
    s.slope = 0.0f;
    s.stage.f = 0.0f;
  }
  SendEvent(r, EventOut::kOut, voice, s.stage.f);
}

} // namespace

void InstallEnvelopeRoutines(TRoutineTables& t) {
  TModuleTable<TAudioRoutine>& a = t.audio;
  a[kTypeAdsrEnv] = PerVoice<AdsrStep>;
  a[kTypeAttackReleaseEnv] = PerVoice<ArStep>;
  a[kTypeAdrEnv] = PerVoice<AdrStep>;
  a[kTypeDecayReleaseEnv] = PerVoice<DrStep>;
  a[kTypeDsrEnv] = PerVoice<DsrStep>;
  a[kTypeAdbdrEnv] = PerVoice<KneeStep<true, false>>;
  a[kTypeAdbdsrEnv] = PerVoice<KneeStep<true, true>>;
  a[kTypeDbdrEnv] = PerVoice<KneeStep<false, false>>;
  a[kTypeDbdsrEnv] = PerVoice<KneeStep<false, true>>;
  a[kTypeDecayEnv] = PerVoice<DecayEnvStep>;
  a[kTypeAttackDecayEnv] = PerVoice<AttackDecayEnvStep>;
  a[kTypeHoldReleaseEnv] = PerVoice<HoldReleaseEnvStep>;
  a[kTypeHoldEnv] = PerVoiceSending<HoldEnvStep>;
  a[kTypeRamp4Env] = PerVoiceSending<RampEnvStep<3>>;
  a[kTypeRamp5Env] = PerVoiceSending<RampEnvStep<4>>;
  a[kTypeRamp6Env] = PerVoiceSending<RampEnvStep<5>>;
}
