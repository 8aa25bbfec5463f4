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
  if (!RisingEdge(s.edge, *in[AudioToEventTrigIn::kClock])) return;
  s.out = *in[AudioToEventTrigIn::kIn];
  SendEvent(r, EventOut::kOut, voice, s.out);
}

void AudioToEventPermStep(TIn in, TWord* w, TEngineRecord* r, int32_t voice) {
  SampledEventState& s = As<SampledEventState>(w);
  s.phase += 2.0f * *in[AudioToEventPermIn::kFreq] * K().invRate;
  if (!(s.phase > 1.0f)) return;
  s.phase -= 2.0f;
  s.out = *in[AudioToEventPermIn::kIn];
  SendEvent(r, EventOut::kOut, voice, s.out);
}

void AudioToGateStep(TIn in, TWord* w, TEngineRecord* r, int32_t voice) {
  EdgeEventState& s = As<EdgeEventState>(w);
  const bool wasHigh = s.edge.i != 0;
  if (RisingEdge(s.edge, *in[AudioToGateIn::kTrigger])) {
    s.out = *in[AudioToGateIn::kAmpl];
    SendEvent(r, EventOut::kOut, voice, s.out);
  } else if (wasHigh && s.edge.i == 0) {
    s.out = 0.0f;
    SendEvent(r, EventOut::kOut, voice, 0.0f);
  }
}

// "Event Delay": the pending flag is kept as a float (0 or 1).
void EventDelayStep(TIn in, TWord* w, TEngineRecord* r, int32_t voice) {
  EventDelayState& s = As<EventDelayState>(w);
  if (!High(s.pending.f)) return;
  if (s.elapsedMs > *in[EventDelayIn::kDelay]) {
    s.out = s.value;
    s.pending.f = 0.0f;
    SendEvent(r, EventOut::kOut, voice, s.out);
  } else {
    s.elapsedMs += K().msPerFrame;
  }
}

void ClockOscStep(TIn in, TWord* w, TEngineRecord* r, int32_t voice) {
  ClockOscState& s = As<ClockOscState>(w);
  s.phase += s.increment;
  if (s.phase > 1.0f) {
    s.phase -= 2.0f;
    s.out = *in[ClockOscIn::kAmpl];
    SendEvent(r, EventOut::kOut, voice, s.out);
  } else if (!IsZero(s.out) && s.phase > *in[ClockOscIn::kWidth]) {
    s.out = 0.0f;
    SendEvent(r, EventOut::kOut, voice, 0.0f);
  }
}

// Sequencers: "next" holds the input of the step the next clock sends.
template <int N> void SequencerStep(TIn in, TWord* w, TEngineRecord* r, int32_t voice) {
  constexpr int32_t kFirst = SequencerIn::kStep1, kLast = SequencerIn::kStep1 + N - 1;
  SequencerState& s = As<SequencerState>(w);
  if (RisingEdge(s.reset, *in[SequencerIn::kReset])) s.next.i = kFirst;
  const bool clockWasHigh = s.clock.i != 0;
  if (RisingEdge(s.clock, *in[SequencerIn::kClock])) {
    if (s.next.i < kFirst || s.next.i > kLast) s.next.i = kFirst;
    const int32_t k = s.next.i;
    s.out = *in[k];
    SendEvent(r, SequencerOut::kOut, voice, s.out);
    s.gate = *in[SequencerIn::kGateAmpl];
    SendEvent(r, SequencerOut::kGate, voice, s.gate);
    s.step = float(k - kFirst + 1);
    SendEvent(r, SequencerOut::kStep, voice, s.step);
    s.next.i = k + 1;
  } else if (clockWasHigh && s.clock.i == 0) {
    s.gate = 0.0f;
    SendEvent(r, SequencerOut::kGate, voice, 0.0f);
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
