// Control-rate and clock-tick routines. They run on the audio thread inside
// the block loop and send events by the sending rule of event outputs.
#include "src/engine/control_routines.h"

#include <cmath>

#include "src/engine/event_routines.h"
#include "src/engine/module_types.h"
#include "src/engine/routine_util.h"
#include "src/engine/tables.h"

namespace {

using routines::High;

const TEngineConstants& K() { return EngineConstants; }

float Input(const TEngineRecord* r, int32_t voice, int32_t k) { return *r->inputs[voice][k]; }

// "LFO": Sin [0], Tri [1], Pls [2], phase [3], pulse state [4], sync flag
// [5]; inputs F, A, W, Snc, Ph.
void Lfo(TEngineRecord* r) {
  for (int32_t v = 0; v < r->voices; ++v) {
    const TVoiceWords w = r->state[v];
    float inc = std::fabs(Input(r, v, 0) * K().twoOverControlRate);
    if (!(inc <= 1.0f)) inc = 1.0f;  // also an undefined frequency
    float p = w[3].f + inc;
    if (p > 1.0f) p -= 2.0f;
    if (routines::RisingEdge(w[5], Input(r, v, 3))) {
      const float ph = Input(r, v, 4);
      if (ph <= 0.0f) p = ph < -2.0f ? -1.0f : ph + 1.0f;
      else p = ph < 2.0f ? ph - 1.0f : -1.0f;
    }
    if (!(p == p)) p = 0.0f;
    w[3].f = p;
    const float a = Input(r, v, 1);
    float width = Input(r, v, 2);
    if (!(width >= inc - 1.0f)) width = inc - 1.0f;
    if (width > 1.0f - inc) width = 1.0f - inc;
    if (w[4].i == 0 && p < width) {
      w[2].f = a;
      w[4].i = 1;
    } else if (w[4].i != 0 && p >= width) {
      w[2].f = -a;
      w[4].i = 0;
    }
    // Triangle and sine with the peak moved by the width; h lies in -1 ... 0.
    const float h = 0.5f * width - 0.5f;
    const float rise = h + 1.0f;
    float t;
    if (p >= 0.0f) {
      if (p >= -h) t = rise > 0.0f ? (p - 1.0f) / rise : 0.0f;
      else t = p / h;
      w[1].f = a * t;
      w[0].f = (t + 2.0f) * w[1].f;
    } else {
      if (p >= h) t = h < 0.0f ? p / h : 0.0f;
      else t = rise > 0.0f ? (p + 1.0f) / rise : 0.0f;
      w[1].f = a * t;
      w[0].f = (2.0f - t) * w[1].f;
    }
    SendEvent(r, 0, v, w[0].f);
    SendEvent(r, 1, v, w[1].f);
    SendEvent(r, 2, v, w[2].f);
  }
}

// "A/E": sends its input every control period.
void AudioToEvent(TEngineRecord* r) {
  for (int32_t v = 0; v < r->voices; ++v) {
    r->state[v][0].f = Input(r, v, 0);
    SendEvent(r, 0, v, r->state[v][0].f);
  }
}

// "S": output [0], slope per period [1], target [2]. With smoothing off, a
// transition time of 0 (or none that makes sense) or while the model resets,
// a new value passes at once.
void EventSmoother(TEngineRecord* r) {
  const bool resetting = EngineResetting();
  for (int32_t v = 0; v < r->voices; ++v) {
    const TVoiceWords w = r->state[v];
    const float x = Input(r, v, 0);
    if (x != w[2].f || resetting) {
      w[2].f = x;
      const float ms = r->params[kSmootherTimeParam].f;
      if (IsZero(r->params[kSmootherOnParam].f) || resetting || !(ms > 0.0f)) {
        w[0].f = x;
        w[1].f = 0.0f;
        SendEvent(r, 0, v, x);
      } else {
        w[1].f = (x - w[0].f) * K().invControlRate / (ms * 0.001f);
      }
    }
    const float slope = w[1].f;
    if (IsZero(slope)) continue;
    w[0].f += slope;
    if ((w[0].f - w[2].f) * slope > 0.0f || !(w[0].f == w[0].f)) {
      w[0].f = w[2].f;
      w[1].f = 0.0f;
    }
    SendEvent(r, 0, v, w[0].f);
  }
}

// "Slow Random": output [0], smoothed value [2]; one shift register for all
// voices in voice 0's word 1.
void SlowRandom(TEngineRecord* r) {
  uint32_t g = r->state[0][1].u;
  for (int32_t v = 0; v < r->voices; ++v) {
    const TVoiceWords w = r->state[v];
    const float value = routines::RandomValue(routines::RandomStep(g));
    const float k = std::fabs(Input(r, v, 0) * K().invControlRate);
    const float a = Input(r, v, 1);
    float out;
    if (IsZero(k) || !(k == k)) {
      out = 0.0f;
    } else if (k <= 1.0f) {
      w[2].f += (value - w[2].f) * k;
      out = w[2].f * a * (0.07f / (k + 0.0025f) + 0.93f);
    } else {
      out = a * value;
    }
    w[0].f = out;
    SendEvent(r, 0, v, out);
  }
  r->state[0][1].u = g;
}

// "Hold": output [0], elapsed seconds [1]; input H in milliseconds.
void Hold(TEngineRecord* r) {
  for (int32_t v = 0; v < r->voices; ++v) {
    const TVoiceWords w = r->state[v];
    if (!High(w[0].f)) continue;
    w[1].f += K().invControlRate;
    if (Input(r, v, 0) * 0.001f < w[1].f) {
      w[1].f = 0.0f;
      w[0].f = 0.0f;
      SendEvent(r, 0, v, 0.0f);
    }
  }
}

// "1/96": the event value on every tick.
void EveryTick(TEngineRecord* r) {
  const float value = r->params[kClockValueParam].f;
  r->state[0][0].f = value;
  SendEventToAll(r, 0, value);
}

// "Sync": one pulse of the set length every rate ticks; the tick count in
// word 1.
void SyncSource(TEngineRecord* r) {
  const TVoiceWords w = r->state[0];
  const int32_t rate = r->params[kSyncRateParam].i;
  const int32_t length = r->params[kSyncLengthParam].i;
  if (w[1].i == 0) {
    w[0].f = r->params[kClockValueParam].f;
    SendEventToAll(r, 0, w[0].f);
  }
  if (w[1].i == length) {
    w[0].f = 0.0f;
    SendEventToAll(r, 0, 0.0f);
  }
  ++w[1].i;
  if (w[1].i >= rate || w[1].i < 0) w[1].i = 0;
}

} // namespace

void InstallControlRoutines(TRoutineTables& t) {
  t.controlRate[kTypeLfo.type] = Lfo;
  t.controlRate[kTypeAudioToEvent.type] = AudioToEvent;
  t.controlRate[kTypeAudioToEventSmoothed.type] = EventSmoother;
  t.controlRate[kTypeSlowRandom.type] = SlowRandom;
  t.controlRate[kTypeHold.type] = Hold;
  t.clockTick[kTypeClockTick.type] = EveryTick;
  t.clockTick[kTypeClockSync.type] = SyncSource;
}
