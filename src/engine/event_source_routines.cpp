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

namespace {

using routines::High;
using routines::K;
using routines::PerVoice;
using routines::PerVoiceSending;
using routines::RisingEdge;
using routines::TIn;
using routines::VoiceZero;

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

void InstallEventSourceRoutines(TRoutineTables& t) {
  TAudioRoutine* a = t.audio;
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
