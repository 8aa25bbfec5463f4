// Per-sample routines that turn audio into events and the event sources
// that run at the sample rate: the audio-to-event and audio-to-gate
// converters, the event delay, the clock oscillator, the sequencers, the
// timer and the smoother.
#include "src/engine/audio_routines.h"

#include <cstdint>

#include "src/engine/audio_routine_util.h"
#include "src/engine/module_types.h"
#include "src/engine/event_routines.h"
#include "src/engine/routine_util.h"
#include "src/engine/voice_state.h"

namespace {

using routines::As;
using routines::High;
using routines::K;
using routines::PerVoice;
using routines::PerVoiceSending;
using routines::RisingEdge;
using routines::TIn;
using routines::VoiceZero;

void AudioToEventTrigStep(TIn in, TWord* w, TEngineRecord* r, int32_t voice) {
  EdgeEventState& s = As<EdgeEventState>(w);
  if (!RisingEdge(s.edge, *in[0])) return;
  s.out = *in[1];
  SendEvent(r, 0, voice, s.out);
}

void AudioToEventPermStep(TIn in, TWord* w, TEngineRecord* r, int32_t voice) {
  SampledEventState& s = As<SampledEventState>(w);
  s.phase += 2.0f * *in[0] * K().invRate;
  if (!(s.phase > 1.0f)) return;
  s.phase -= 2.0f;
  s.out = *in[1];
  SendEvent(r, 0, voice, s.out);
}

void AudioToGateStep(TIn in, TWord* w, TEngineRecord* r, int32_t voice) {
  EdgeEventState& s = As<EdgeEventState>(w);
  const bool wasHigh = s.edge.i != 0;
  if (RisingEdge(s.edge, *in[0])) {
    s.out = *in[1];
    SendEvent(r, 0, voice, s.out);
  } else if (wasHigh && s.edge.i == 0) {
    s.out = 0.0f;
    SendEvent(r, 0, voice, 0.0f);
  }
}

// "Event Delay": the pending flag is kept as a float (0 or 1).
void EventDelayStep(TIn in, TWord* w, TEngineRecord* r, int32_t voice) {
  EventDelayState& s = As<EventDelayState>(w);
  if (!High(s.pending.f)) return;
  if (s.elapsedMs > *in[0]) {
    s.out = s.value;
    s.pending.f = 0.0f;
    SendEvent(r, 0, voice, s.out);
  } else {
    s.elapsedMs += K().msPerFrame;
  }
}

void ClockOscStep(TIn in, TWord* w, TEngineRecord* r, int32_t voice) {
  ClockOscState& s = As<ClockOscState>(w);
  s.phase += s.increment;
  if (s.phase > 1.0f) {
    s.phase -= 2.0f;
    s.out = *in[1];
    SendEvent(r, 0, voice, s.out);
  } else if (!IsZero(s.out) && s.phase > *in[0]) {
    s.out = 0.0f;
    SendEvent(r, 0, voice, 0.0f);
  }
}

// Sequencers: inputs 3 ... n + 2 are the steps; "next" holds the input of
// the step the next clock sends.
template <int N> void SequencerStep(TIn in, TWord* w, TEngineRecord* r, int32_t voice) {
  SequencerState& s = As<SequencerState>(w);
  if (RisingEdge(s.reset, *in[1])) s.next.i = 3;
  const bool clockWasHigh = s.clock.i != 0;
  if (RisingEdge(s.clock, *in[0])) {
    if (s.next.i < 3 || s.next.i > N + 2) s.next.i = 3;
    const int32_t k = s.next.i;
    s.out = *in[k];
    SendEvent(r, 0, voice, s.out);
    s.gate = *in[2];
    SendEvent(r, 1, voice, s.gate);
    s.step = float(k - 2);
    SendEvent(r, 2, voice, s.step);
    s.next.i = k + 1;
  } else if (clockWasHigh && s.clock.i == 0) {
    s.gate = 0.0f;
    SendEvent(r, 1, voice, 0.0f);
  }
}

void TimerStep(TIn, TWord* w) {
  TimerState& s = As<TimerState>(w);
  if (s.frames.i < INT32_MAX) ++s.frames.i;
}

// "S": moves towards the target by the slope the In event set.
void SmootherStep(TIn, TWord* w, TEngineRecord*, int32_t) {
  SmootherState& s = As<SmootherState>(w);
  const float slope = s.slope;
  if (IsZero(slope)) return;
  s.out += slope;
  if ((s.out - s.target) * slope > 0.0f || !(s.out == s.out)) {
    s.out = s.target;
    s.slope = 0.0f;
  }
}

} // namespace

void InstallEventSourceRoutines(TRoutineTables& t) {
  TModuleTable<TAudioRoutine>& a = t.audio;
  a[kTypeAudioToEventTrigger] = PerVoiceSending<AudioToEventTrigStep>;
  a[kTypeAudioToEventPeriodic] = PerVoiceSending<AudioToEventPermStep>;
  a[kTypeAudioToGate] = PerVoiceSending<AudioToGateStep>;
  a[kTypeEventDelay] = PerVoiceSending<EventDelayStep>;
  a[kTypeClockOsc] = VoiceZero<ClockOscStep>;
  a[kTypeSequencer6] = VoiceZero<SequencerStep<6>>;
  a[kTypeSequencer8] = VoiceZero<SequencerStep<8>>;
  a[kTypeSequencer12] = VoiceZero<SequencerStep<12>>;
  a[kTypeSequencer16] = VoiceZero<SequencerStep<16>>;
  a[kTypeTimer] = PerVoice<TimerStep>;
  a[kTypeEventSmoother] = VoiceZero<SmootherStep>;
}
