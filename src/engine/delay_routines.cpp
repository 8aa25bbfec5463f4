// Routines of the types that keep a buffer of their own: the static,
// modulated and diffuser delays, the grain delay, the scope's capture and
// the two tape decks; their voice set-ups and their event inputs.
//
// A voice whose buffer has no line (no memory, or more voices than lines)
// has no pointers and is skipped: no routine ever writes into a cell that
// another module reads as its unconnected input.
#include <cmath>

#include "src/audio/buffers.h"
#include "src/engine/audio_routine_util.h"
#include "src/engine/convert.h"
#include "src/engine/event_ids.h"
#include "src/engine/event_routines.h"
#include "src/engine/graph_render.h"
#include "src/engine/module_types.h"
#include "src/engine/routine_util.h"
#include "src/engine/sampler_routines.h"
#include "src/engine/tables.h"

namespace {

float FramesPerMs() {
  const float f = EngineConstants.framesPerMs;
  return f > 0.0f ? f : 44.1f;
}

using routines::As;

// The line of a voice as [begin, end), or false when there is none.
bool LineOf(IDelayBuffer* buffer, int32_t voice, float*& begin, float*& end) {
  begin = end = nullptr;
  IAudioBuf* line = buffer ? buffer->GetLine(voice) : nullptr;
  if (!line || line->GetLength() < 1 || !line->IsFloat() || line->IsInterleaved()) return false;
  begin = reinterpret_cast<float*>(line->GetSampleAddress(0, 0));
  end = begin + line->GetLength();
  return begin != nullptr;
}

// Places the read pointer n frames behind the write pointer (wrapping).
void PlaceRead(DelayVoiceState& s) {
  if (!s.begin) return;
  const float x = s.delay * FramesPerMs();
  const int64_t count = s.end - s.begin;
  const int32_t n = TruncToInt(x);
  if (!(x == x) || n < 0) {
    s.read = s.write;
  } else if (n >= count) {
    s.read = s.write + 1 == s.end ? s.begin : s.write + 1;
  } else {
    s.read = s.write - n;
    if (s.read < s.begin) s.read += count;
  }
}

} // namespace

void SetDelayTime(DelayVoiceState& s, float ms) {
  s.delay = ms;
  PlaceRead(s);
}

// ---------------------------------------------------------------------------
// Voice set-ups

void InitBufferVoice(TWord* state, IEngineModule* module, int32_t voice) {
  DelayVoiceState& s = As<DelayVoiceState>(state);
  s.buffer = module ? module->GetDelayBuffer() : nullptr;
  float *begin, *end;
  if (!LineOf(s.buffer, voice, begin, end)) {
    s.begin = s.end = s.read = s.write = nullptr;
    s.output = 0.0f;
    return;
  }
  if (s.begin != begin || s.end != end || !(s.write >= begin && s.write < end)) s.write = begin;
  s.begin = begin;
  s.end = end;
  PlaceRead(s);
}

void InitDelayVoice(TWord* state, IEngineModule* module, int32_t voice) {
  InitBufferVoice(state, module, voice);
  DelayVoiceState& s = As<DelayVoiceState>(state);
  s.lengthOrGain.i = s.begin ? int32_t(s.end - s.begin) : 0;
}

void InitBufferReaderVoice(TWord* state, IEngineModule* module, int32_t voice) { InitBufferVoice(state, module, voice); }

void InitGrainVoice(TWord* state, IEngineModule* module, int32_t voice) {
  GrainDelayVoiceState& s = As<GrainDelayVoiceState>(state);
  s.buffer = module ? module->GetDelayBuffer() : nullptr;
  s.framesPerMs = FramesPerMs();
  float *begin, *end;
  if (!LineOf(s.buffer, voice, begin, end)) {
    s.begin = s.end = nullptr;
    s.lineLength = 0;
    s.mask = 0;
    return;
  }
  s.begin = begin;
  s.end = end;
  s.lineLength = int32_t(end - begin);
  uint32_t size = 1;
  while (size * 2 <= uint32_t(s.lineLength) && size < (1u << 30)) size *= 2;
  s.mask = size - 1;
  s.writeCounter = s.mask + 1;
  s.current.bound = s.previous.bound = int32_t(s.writeCounter & 0x7fffffff);
  // The first frame starts a grain.
  if (s.period <= 0.0f) s.period = 1000.0f;
  if (s.phaseIncrement == 0.0f) s.phase = s.period;
}

// The scope: the line, no capture, the mark at the end.
void InitBufferPositionVoice(TWord* state, IEngineModule* module, int32_t voice) {
  ScopeVoiceState& s = As<ScopeVoiceState>(state);
  s.buffer = module ? module->GetDelayBuffer() : nullptr;
  float *begin, *end;
  if (!LineOf(s.buffer, voice, begin, end)) {
    s.begin = s.end = s.mark = s.ready = s.capture = nullptr;
    return;
  }
  s.begin = begin;
  s.end = end;
  s.mark = end;
  s.ready = nullptr;
  s.capture = nullptr;
}

namespace {

template <class State> void InitRecorder(TWord* state, IEngineModule* module) {
  State& s = As<State>(state);
  s.buffer = module ? module->GetRecordBuffer() : nullptr;
  IAudioBuf* buf = s.buffer ? s.buffer->GetAudioBuf() : nullptr;
  s.play = s.record = nullptr;
  if (!buf || buf->GetLength() < 1 || buf->GetBits() != 16 || buf->IsFloat()) {
    s.begin = s.end = s.recordedEnd = nullptr;
    return;
  }
  const int32_t channels = buf->GetChannels();
  s.begin = reinterpret_cast<int16_t*>(buf->GetSampleAddress(0, 0));
  s.end = s.begin + int64_t(buf->GetLength()) * channels;
  const int32_t recorded = s.buffer->GetRecordedLength();
  if (recorded <= 0) {
    s.recordedEnd = nullptr;
  } else {
    s.recordedEnd = s.begin + int64_t(recorded) * channels;
    if (s.recordedEnd > s.end) s.recordedEnd = s.end;
  }
}

} // namespace

void InitRecorderVoice(TWord* state, IEngineModule* module, int32_t voice) {
  (void)voice;
  InitRecorder<TapedeckVoiceState>(state, module);
}

void InitRecorderVoiceAlt(TWord* state, IEngineModule* module, int32_t voice) {
  (void)voice;
  InitRecorder<StereoTapedeckVoiceState>(state, module);
}

// ---------------------------------------------------------------------------
// Routines

namespace {

void StaticDelay() {
  EachVoice<DelayVoiceState>([](DelayVoiceState& s, float* const* in) {
    if (!s.begin) return;
    *s.write = *in[QV_INPUT_AT(StaticDelayInputs, in)];
    if (++s.write == s.end) s.write = s.begin;
    s.output = *s.read;
    if (++s.read == s.end) s.read = s.begin;
  });
}

template <bool Interpolated> void ModDelay() {
  EachVoice<DelayVoiceState>([](DelayVoiceState& s, float* const* in) {
    const int32_t length = s.lengthOrGain.i;
    if (!s.begin || length <= 0) return;
    const float d = *in[QV_INPUT_AT(DelayInputs, delay)] * FramesPerMs();
    const int32_t n = TruncToInt(d);
    float* tap0;
    float* tap1;
    if (n >= length) {
      tap0 = tap1 = s.write + 1 == s.end ? s.begin : s.write + 1;
    } else if (Interpolated ? !(d >= 0.0f) : n < 0) {
      tap0 = tap1 = s.write;
    } else {
      tap0 = s.write - n;
      if (tap0 < s.begin) tap0 += length;
      tap1 = tap0 - 1;
      if (tap1 < s.begin) tap1 += length;
    }
    *s.write = *in[QV_INPUT_AT(DelayInputs, in)];
    if (++s.write == s.end) s.write = s.begin;
    if (Interpolated) s.output = *tap0 + (*tap1 - *tap0) * (d - float(n));
    else s.output = *tap0;
  });
}

void DiffuserDelay() {
  EachVoice<DelayVoiceState>([](DelayVoiceState& s, float* const* in) {
    if (!s.begin) return;
    if (++s.write == s.end) s.write = s.begin;
    const float g = s.lengthOrGain.f;
    const float w = *in[QV_INPUT_AT(DelayInputs, in)] - g * *s.read;
    *s.write = w;
    s.output = *s.read + g * w;
    if (++s.read == s.end) s.read = s.begin;
  });
}

float TapeSample(float v) {
  if (!(v >= -1.0f)) v = -1.0f;  // also a NaN
  if (v > 0.999969482421875f) v = 0.999969482421875f;
  return v;
}

void Tapedeck1() {
  EachVoice<TapedeckVoiceState>([](TapedeckVoiceState& s, float* const* in) {
    const float v = TapeSample(*in[QV_INPUT_AT(TapedeckInputs, left)]);
    if (s.record) {
      *s.record++ = int16_t(v * 32768.0f);
      if (s.record >= s.end) {
        s.recordedEnd = s.end;
        s.record = nullptr;
        if (s.buffer) s.buffer->SetRecordedLength(int32_t(s.end - s.begin));
      }
    }
    if (s.play) {
      s.output = float(*s.play++) * 3.0517578125e-05f;
      if (s.play >= s.recordedEnd) s.play = s.loop ? s.begin : nullptr;
    } else {
      s.output = v;
    }
  });
}

void Tapedeck2() {
  EachVoice<StereoTapedeckVoiceState>([](StereoTapedeckVoiceState& s, float* const* in) {
    const float l = TapeSample(*in[QV_INPUT_AT(TapedeckInputs, left)]);
    const float r = TapeSample(*in[QV_INPUT_AT(TapedeckInputs, right)]);
    if (s.record) {
      s.record[0] = int16_t(l * 32768.0f);
      s.record[1] = int16_t(r * 32768.0f);
      s.record += 2;
      if (s.record >= s.end) {
        s.recordedEnd = s.end;
        s.record = nullptr;
        if (s.buffer) s.buffer->SetRecordedLength(int32_t((s.end - s.begin) / 2));
      }
    }
    if (s.play) {
      s.left = float(s.play[0]) * 3.0517578125e-05f;
      s.right = float(s.play[1]) * 3.0517578125e-05f;
      s.play += 2;
      if (s.play >= s.recordedEnd) s.play = s.loop ? s.begin : nullptr;
    } else {
      s.left = l;
      s.right = r;
    }
  });
}

void ScopeCapture() {
  TEngineRecord* r = SlotRecord();
  IEngineModule* module = r->module;
  EachVoice<ScopeVoiceState>([module](ScopeVoiceState& s, float* const* in) {
    if (!s.capture) return;
    // The panel reads the trace and the ready mark without the lock.
    routines::StoreShared(*s.capture++, *in[QV_INPUT_AT(ScopeInputs, in)]);
    if (s.capture > s.mark && !s.ready && module && module->GetCtrlValue() == 0 && module->GetCtrlState() == 0) {
      routines::StoreShared(s.ready, s.capture);
      module->SetCtrlValue(1);
    }
    if (s.capture >= s.end) {
      routines::StoreShared(s.ready, s.end);
      s.capture = nullptr;
    }
  });
}

// ---------------------------------------------------------------------------
// Grain delay

template <int Q> struct TGrainDelay {
  static void StepTap(GrainTap& t, uint32_t bound) {
    t.fraction += t.increment;
    const int32_t n = int32_t(std::floor(t.fraction));
    t.fraction -= float(n);
    int64_t pos = int64_t(t.position) + n;
    if (pos >= int64_t(bound)) {
      pos = bound;
      t.increment = -t.increment;
    }
    if (pos < 0) pos = 0;
    t.position = int32_t(pos);
  }

  static void NewGrain(GrainDelayVoiceState& s, float* const* in, TEngineRecord* r, int32_t voice) {
    s.previous = s.current;
    const float delay = *in[QV_INPUT_AT(GrainDelayInputs, delay)];
    SendEvent(r, GrainDelayOut::kDelay, voice, delay);
    const float* smoothIn = in[QV_INPUT_AT(GrainDelayInputs, smooth)];
    const float smooth = smoothIn != &EngineZeroCell ? *smoothIn : 0.2f;
    s.period = !(smooth >= 0.001f) ? 1000.0f : smooth >= 1.0f ? 1.0f : 1.0f / smooth;
    const float* grainyIn = in[QV_INPUT_AT(GrainDelayInputs, grainy)];
    float g = (grainyIn != &EngineZeroCell ? *grainyIn : 20.0f) * s.framesPerMs;
    if (!(g >= 10.0f)) g = 10.0f;
    if (g > 1.0e7f) g = 1.0e7f;
    s.phaseIncrement = s.period / g;
    const float ratio = PitchToRatio(*in[QV_INPUT_AT(GrainDelayInputs, pitch)]);
    // The tap reads from the ring, so the delay is held to the ring's size.
    const int32_t n = ToIndex(delay * s.framesPerMs - 1.0f, 0, int32_t(s.mask));
    // Positions count in the write counter's frame, kept non-negative.
    double start = double(s.writeCounter) - double(n);
    if (ratio > 1.0f) start -= 2.0 * double(g) * double(ratio - 1.0f);
    if (!(start >= 0.0)) start = 0.0;
    s.current.position = int32_t(start > 2147483647.0 ? 2147483647.0 : start);
    s.current.fraction = 0.0f;
    s.current.increment = ratio;
    const float* amplIn = in[QV_INPUT_AT(GrainDelayInputs, ampl)];
    PanGains(amplIn != &EngineZeroCell ? *amplIn : 1.0f, *in[QV_INPUT_AT(GrainDelayInputs, pan)], s.current.gainLeft,
             s.current.gainRight);
  }

  static void Run() {
    TEngineRecord* r = SlotRecord();
    const int32_t n = SlotVoices();
    float** const* inputs = SlotInputs();
    TVoiceRecords records(SlotStates());
    for (int32_t v = 0; v < n; ++v) {
      GrainDelayVoiceState& s = routines::As<GrainDelayVoiceState>(records.Take());
      float* const* in = inputs[v];
      if (!s.begin) continue;
      s.phase += s.phaseIncrement;
      if (s.phase >= s.period) {
        s.phase -= s.period;
        NewGrain(s, in, r, v);
      }
      s.begin[s.writeCounter & s.mask] = *in[QV_INPUT_AT(GrainDelayInputs, in)];
      // The counter stays within two ring sizes: when it reaches the upper
      // end, it and both taps move back by one ring, so it never overflows.
      const uint32_t size = s.mask + 1;
      if (++s.writeCounter >= 2 * size) {
        s.writeCounter -= size;
        s.current.position = s.current.position >= int32_t(size) ? s.current.position - int32_t(size) : 0;
        s.previous.position = s.previous.position >= int32_t(size) ? s.previous.position - int32_t(size) : 0;
      }
      const uint32_t bound = s.writeCounter;
      StepTap(s.current, bound);
      constexpr int QA = Q == kPoor ? kGood : Q;  // a single tap reads linear at 'Poor'
      if (s.phase > 1.0f) {
        const float x = RingKernel<QA>(s.begin, s.mask, s.current.position, s.current.fraction);
        s.left = x * s.current.gainLeft;
        s.right = x * s.current.gainRight;
      } else {
        StepTap(s.previous, bound);
        const float a = RingKernel<Q>(s.begin, s.mask, s.current.position, s.current.fraction);
        const float b = RingKernel<Q>(s.begin, s.mask, s.previous.position, s.previous.fraction);
        s.left = a * s.phase * s.current.gainLeft + b * (1.0f - s.phase) * s.previous.gainLeft;
        s.right = a * s.phase * s.current.gainRight + b * (1.0f - s.phase) * s.previous.gainRight;
      }
    }
  }
};

// ---------------------------------------------------------------------------
// Events

void DelayTime(TEngineRecord* r, int32_t voice, float value) {
  if (DelayVoiceState* s = VoiceRecord<DelayVoiceState>(r, voice)) SetDelayTime(*s, value);
}

template <class State> void DeckRecord(TEngineRecord* r, int32_t voice, float value) {
  State* s = VoiceRecord<State>(r, voice);
  if (!s || EngineResetting() || !s->begin) return;
  if (IsOn(value)) {
    if (!s->record) {
      s->recordedEnd = nullptr;
      s->record = s->begin;
      s->play = nullptr;
    }
  } else if (s->record) {
    s->recordedEnd = s->record;
    s->record = nullptr;
  }
  if (s->recordedEnd && s->buffer) {
    IAudioBuf* buf = s->buffer->GetAudioBuf();
    int64_t frames = s->recordedEnd - s->begin;
    if (buf && buf->GetChannels() == 2) frames /= 2;
    s->buffer->SetRecordedLength(int32_t(frames));
  }
}

void TapeRecord(TEngineRecord* r, int32_t voice, float value) {
  if (r && r->module && r->module->IsTypeIndex(kTypeTapedeck2.type))
    DeckRecord<StereoTapedeckVoiceState>(r, voice, value);
  else DeckRecord<TapedeckVoiceState>(r, voice, value);
}

// Re-arms a finished capture once the panel has taken the previous data.
void Rearm(TEngineRecord* r, ScopeVoiceState& s) {
  if (!s.begin || !r->module) return;
  if (r->module->GetCtrlValue() != 0 || r->module->GetCtrlState() != 0) return;
  routines::StoreShared(s.ready, static_cast<float*>(nullptr));
  s.capture = s.begin;
}

void PlaceMark(ScopeVoiceState& s) {
  if (!s.begin) return;
  const int64_t count = s.end - s.begin;
  int64_t n = int64_t(ToIndex(s.firstTime, 0, INT32_MAX)) + int64_t(ToIndex(s.secondTime, 0, INT32_MAX));
  if (n > count) n = count;
  s.mark = s.begin + n;
}

template <int Field> void ScopeEvent(TEngineRecord* r, int32_t voice, float value) {
  ScopeVoiceState* s = VoiceRecord<ScopeVoiceState>(r, voice);
  if (!s) return;
  switch (Field) {
  case 0:
    if (StructureChangeDepth.load(std::memory_order_relaxed) > 0) return;
    break;
  // The panel reads the times, the offset and the scale without the lock.
  case 1: routines::StoreShared(s->firstTime, value * FramesPerMs()); PlaceMark(*s); break;
  case 2: routines::StoreShared(s->secondTime, value * FramesPerMs()); PlaceMark(*s); break;
  case 3: routines::StoreShared(s->offset, value); break;
  case 4: routines::StoreShared(s->scale, IsZero(value) ? 0.0f : 1.0f / value); break;
  }
  Rearm(r, *s);
}

// The panel's read-out of the captured trace at x (0 ... 1).
float ScopeReadout(const TEngineRecord* r, float x) {
  if (!r || !r->state || r->voices < 1 || size_t(r->stateWords) * 4 < sizeof(ScopeVoiceState)) return 3.4028235e38f;
  using routines::LoadShared;
  const ScopeVoiceState& s = *r->state.Record<const ScopeVoiceState>(0);
  const int32_t index = ToIndex(x * LoadShared(s.secondTime) + LoadShared(s.firstTime), 0, INT32_MAX);
  const float* ready = LoadShared(s.ready);
  if (!ready || !s.begin || index >= ready - s.begin) return 3.4028235e38f;
  return LoadShared(s.begin[index]) * LoadShared(s.scale) + LoadShared(s.offset);
}

constexpr TAudioRoutine kGrainDelay[3] = {TGrainDelay<kPoor>::Run, TGrainDelay<kGood>::Run,
                                          TGrainDelay<kExcellent>::Run};

} // namespace

TAudioRoutine FindBufferRoutine(int32_t type, int32_t quality) {
  const int32_t q = quality < 0 ? 0 : quality > 2 ? 2 : quality;
  switch (type) {
  case kTypeStaticDelay.type: return StaticDelay;
  case kTypeTapedeck1.type: return Tapedeck1;
  case kTypeTapedeck2.type: return Tapedeck2;
  case kTypeModDelay.type: return q == kPoor ? ModDelay<false> : ModDelay<true>;
  case kTypeScope.type: return ScopeCapture;
  case kTypeDiffuserDelay.type: return DiffuserDelay;
  case kTypeGrainDelay.type: return kGrainDelay[q];
  default: return nullptr;
  }
}

void InstallBufferRoutines(TRoutineTables& t) {
  const TModuleKey buffered[] = {kTypeStaticDelay, kTypeTapedeck1, kTypeTapedeck2, kTypeModDelay,
                                 kTypeScope, kTypeDiffuserDelay, kTypeGrainDelay};
  for (TModuleKey type : buffered) t.audio[type] = FindBufferRoutine(type.Index(), kGood);
  t.event[evDelayTime] = DelayTime;
  t.event[evTapeRecord] = TapeRecord;
  t.event[evScopeTrigger] = ScopeEvent<0>;
  t.event[evScopeTimePos] = ScopeEvent<1>;
  t.event[evScopeTimeScale] = ScopeEvent<2>;
  t.event[evScopeYPos] = ScopeEvent<3>;
  t.event[evScopeYScale] = ScopeEvent<4>;
  SetScopeReadout(ScopeReadout);
}
