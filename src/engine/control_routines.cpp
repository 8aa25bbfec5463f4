// Control-rate and clock-tick routines. They run on the audio thread inside
// the block loop and send events by the sending rule of event outputs.
#include "src/engine/control_routines.h"

#include <cmath>

#include "src/engine/event_routines.h"
#include "src/engine/module_types.h"
#include "src/engine/routine_util.h"
#include "src/engine/tables.h"
#include "src/engine/voice_state.h"

namespace {

using routines::High;

const TEngineConstants& K() { return EngineConstants; }

float Input(const TEngineRecord* r, int32_t voice, int32_t k) { return *r->inputs[voice][k]; }

// "LFO".
void Lfo(TEngineRecord* r) {
  constexpr int32_t kSine = QV_WORD_AT(LfoState, sine);
  constexpr int32_t kTriangle = QV_WORD_AT(LfoState, triangle);
  constexpr int32_t kPulse = QV_WORD_AT(LfoState, pulse);
  constexpr int32_t kPhase = QV_WORD_AT(LfoState, phase);
  constexpr int32_t kPulseHigh = QV_WORD_AT(LfoState, pulseHigh);
  constexpr int32_t kSync = QV_WORD_AT(LfoState, sync);
  for (int32_t v = 0; v < r->voices; ++v) {
    const TVoiceWords w = r->state[v];
    float inc = std::fabs(Input(r, v, LfoIn::kFreq) * K().twoOverControlRate);
    if (!(inc <= 1.0f)) inc = 1.0f;  // also an undefined frequency
    float p = w[kPhase].f + inc;
    if (p > 1.0f) p -= 2.0f;
    if (routines::RisingEdge(w[kSync], Input(r, v, LfoIn::kSync))) {
      const float ph = Input(r, v, LfoIn::kSyncPhase);
      if (ph <= 0.0f) p = ph < -2.0f ? -1.0f : ph + 1.0f;
      else p = ph < 2.0f ? ph - 1.0f : -1.0f;
    }
    if (!(p == p)) p = 0.0f;
    w[kPhase].f = p;
    const float a = Input(r, v, LfoIn::kAmpl);
    float width = Input(r, v, LfoIn::kWidth);
    if (!(width >= inc - 1.0f)) width = inc - 1.0f;
    if (width > 1.0f - inc) width = 1.0f - inc;
    if (w[kPulseHigh].i == 0 && p < width) {
      w[kPulse].f = a;
      w[kPulseHigh].i = 1;
    } else if (w[kPulseHigh].i != 0 && p >= width) {
      w[kPulse].f = -a;
      w[kPulseHigh].i = 0;
    }
    // Triangle and sine with the peak moved by the width; h lies in -1 ... 0.
    const float h = 0.5f * width - 0.5f;
    const float rise = h + 1.0f;
    float t;
    if (p >= 0.0f) {
      if (p >= -h) t = rise > 0.0f ? (p - 1.0f) / rise : 0.0f;
      else t = p / h;
      w[kTriangle].f = a * t;
      w[kSine].f = (t + 2.0f) * w[kTriangle].f;
    } else {
      if (p >= h) t = h < 0.0f ? p / h : 0.0f;
      else t = rise > 0.0f ? (p + 1.0f) / rise : 0.0f;
      w[kTriangle].f = a * t;
      w[kSine].f = (2.0f - t) * w[kTriangle].f;
    }
    SendEvent(r, LfoOut::kSine, v, w[kSine].f);
    SendEvent(r, LfoOut::kTriangle, v, w[kTriangle].f);
    SendEvent(r, LfoOut::kPulse, v, w[kPulse].f);
  }
}

// "A/E": sends its input every control period.
void AudioToEvent(TEngineRecord* r) {
  constexpr int32_t kOut = QV_WORD_AT(OutState, out);
  for (int32_t v = 0; v < r->voices; ++v) {
    r->state[v][kOut].f = Input(r, v, AudioToEventIn::kIn);
    SendEvent(r, EventOut::kOut, v, r->state[v][kOut].f);
  }
}

// "S": the slope is per control period. With smoothing off, a transition
// time of 0 (or none that makes sense) or while the model resets, a new value
// passes at once.
void EventSmoother(TEngineRecord* r) {
  constexpr int32_t kOut = QV_WORD_AT(SmootherState, out);
  constexpr int32_t kSlope = QV_WORD_AT(SmootherState, slope);
  constexpr int32_t kTarget = QV_WORD_AT(SmootherState, target);
  const bool resetting = EngineResetting();
  for (int32_t v = 0; v < r->voices; ++v) {
    const TVoiceWords w = r->state[v];
    const float x = Input(r, v, AudioToEventSmoothedIn::kIn);
    if (x != w[kTarget].f || resetting) {
      w[kTarget].f = x;
      const float ms = r->params[kSmootherTimeParam].f;
      if (IsZero(r->params[kSmootherOnParam].f) || resetting || !(ms > 0.0f)) {
        w[kOut].f = x;
        w[kSlope].f = 0.0f;
        SendEvent(r, EventOut::kOut, v, x);
      } else {
        w[kSlope].f = (x - w[kOut].f) * K().invControlRate / (ms * 0.001f);
      }
    }
    const float slope = w[kSlope].f;
    if (IsZero(slope)) continue;
    w[kOut].f += slope;
    if ((w[kOut].f - w[kTarget].f) * slope > 0.0f || !(w[kOut].f == w[kOut].f)) {
      w[kOut].f = w[kTarget].f;
      w[kSlope].f = 0.0f;
    }
    SendEvent(r, EventOut::kOut, v, w[kOut].f);
  }
}

// "Slow Random": one shift register for all voices, in voice 0's record.
void SlowRandom(TEngineRecord* r) {
  constexpr int32_t kOut = QV_WORD_AT(SlowRandomState, out);
  constexpr int32_t kReg = QV_WORD_AT(SlowRandomState, reg);
  constexpr int32_t kSmoothed = QV_WORD_AT(SlowRandomState, smoothed);
  uint32_t g = r->state[0][kReg].u;
  for (int32_t v = 0; v < r->voices; ++v) {
    const TVoiceWords w = r->state[v];
    const float value = routines::RandomValue(routines::RandomStep(g));
    const float k = std::fabs(Input(r, v, SlowRandomIn::kFreq) * K().invControlRate);
    const float a = Input(r, v, SlowRandomIn::kAmpl);
    float out;
    if (IsZero(k) || !(k == k)) {
      out = 0.0f;
    } else if (k <= 1.0f) {
      w[kSmoothed].f += (value - w[kSmoothed].f) * k;
      out = w[kSmoothed].f * a * (0.07f / (k + 0.0025f) + 0.93f);
    } else {
      out = a * value;
    }
    w[kOut].f = out;
    SendEvent(r, EventOut::kOut, v, out);
  }
  r->state[0][kReg].u = g;
}

// "Hold": input H in milliseconds.
void Hold(TEngineRecord* r) {
  constexpr int32_t kOut = QV_WORD_AT(HoldState, out);
  constexpr int32_t kElapsed = QV_WORD_AT(HoldState, elapsed);
  for (int32_t v = 0; v < r->voices; ++v) {
    const TVoiceWords w = r->state[v];
    if (!High(w[kOut].f)) continue;
    w[kElapsed].f += K().invControlRate;
    if (Input(r, v, HoldIn::kHold) * 0.001f < w[kElapsed].f) {
      w[kElapsed].f = 0.0f;
      w[kOut].f = 0.0f;
      SendEvent(r, EventOut::kOut, v, 0.0f);
    }
  }
}

// "1/96": the event value on every tick.
void EveryTick(TEngineRecord* r) {
  const float value = r->params[kClockValueParam].f;
  r->state[0][QV_WORD_AT(SourceState, out)].f = value;
  SendEventToAll(r, EventOut::kOut, value);
}

// "Sync": one pulse of the set length every rate ticks.
void SyncSource(TEngineRecord* r) {
  constexpr int32_t kOut = QV_WORD_AT(SyncSourceState, out);
  constexpr int32_t kTicks = QV_WORD_AT(SyncSourceState, ticks);
  const TVoiceWords w = r->state[0];
  const int32_t rate = r->params[kSyncRateParam].i;
  const int32_t length = r->params[kSyncLengthParam].i;
  if (w[kTicks].i == 0) {
    w[kOut].f = r->params[kClockValueParam].f;
    SendEventToAll(r, EventOut::kOut, w[kOut].f);
  }
  if (w[kTicks].i == length) {
    w[kOut].f = 0.0f;
    SendEventToAll(r, EventOut::kOut, 0.0f);
  }
  ++w[kTicks].i;
  if (w[kTicks].i >= rate || w[kTicks].i < 0) w[kTicks].i = 0;
}

} // namespace

void InstallControlRoutines(TRoutineTables& t) {
  t.controlRate[kTypeLfo] = Lfo;
  t.controlRate[kTypeAudioToEvent] = AudioToEvent;
  t.controlRate[kTypeAudioToEventSmoothed] = EventSmoother;
  t.controlRate[kTypeSlowRandom] = SlowRandom;
  t.controlRate[kTypeHold] = Hold;
  t.clockTick[kTypeClockTick] = EveryTick;
  t.clockTick[kTypeClockSync] = SyncSource;
}
