#include "src/engine/sample_play.h"

#include <cmath>

#include "src/audio/samplemap.h"
#include "src/engine/convert.h"
#include "src/engine/engine.h"
#include "src/engine/tables.h"

const float SilentSamples[8] = {};

namespace {

float InvRate() {
  const float inv = EngineConstants.invRate;
  return inv > 0.0f ? inv : 1.0f / 44100.0f;
}

IAudioBuf* SampleBuf(IAudioFileMapEntry* entry) {
  if (!entry) return nullptr;
  IAudioFileBuf* sound = entry->GetSoundFile();
  IAudioBuf* buf = sound ? sound->GetSampleBuf() : nullptr;
  // The engine reads float frames of one channel each; anything else is not
  // playable and counts as no sample.
  if (!buf || !buf->IsFloat() || buf->IsInterleaved() || buf->GetBits() != 32 || buf->GetLength() < 1 ||
      buf->GetChannels() < 1)
    return nullptr;
  return buf;
}

bool Connected(const float* input) { return input && input != &EngineZeroCell; }

} // namespace

float PitchToRatio(float p) { return PitchLookup(5.0f * p + 1200.0f); }

float RatioToSemitones(float x) { return std::log(x) * 17.31234f; }

float GetRootPitch(const PlayerCore& p) {
  if (!p.entry) return 0.0f;
  return float(p.entry->GetRootKey()) - float(p.entry->GetDetune()) * 0.01f;
}

float GetRateRatio(const PlayerCore& p) {
  IAudioBuf* buf = SampleBuf(p.entry);
  if (!buf) return 1.0f;
  return float(buf->GetRate()) * InvRate();
}

const float* SampleChannel(IAudioFileMapEntry* entry, int32_t channel, int32_t frame) {
  IAudioBuf* buf = SampleBuf(entry);
  if (!buf) return nullptr;
  if (channel >= buf->GetChannels()) channel = 0;
  return reinterpret_cast<const float*>(buf->GetSampleAddress(frame, channel));
}

void AttachSample(PlayerCore& p, IAudioFileMapEntry* entry) {
  IAudioBuf* buf = SampleBuf(entry);
  p.entry = buf ? entry : nullptr;
  if (buf) {
    p.length = buf->GetLength();
    p.framesPerMs = float(buf->GetRate()) * 0.001f;
  } else {
    p.length = 1;
    p.framesPerMs = 1.0f;
  }
}

void AttachSampleEntry(PlayerCore& p, IAudioFileMapEntry* entry) {
  AttachSample(p, entry);
  if (!p.entry) {
    p.fraction = 0.0f;
    p.position = 0;
    StopPlayer(p);
    return;
  }
  p.backward = p.entry->GetDirection() != 0 ? 1 : 0;
  const float step = p.entry->GetStep();
  p.baseStep = std::isfinite(step) ? step : 0.0f;
  ReapplyDirection(p);
}

void AttachSampleWithLoop(SamplePlayerState& s, IAudioFileMapEntry* entry) {
  PlayerCore& p = s.core;
  AttachSampleEntry(p, entry);
  if (!p.entry) {
    s.loopStart = 0;
    s.loopEnd = 1;
    return;
  }
  s.loopOn = (p.entry->GetLoopOn() != 0 || s.oscillatorMode) ? 1 : 0;
  s.alternate = p.entry->GetAlternatingLoop() != 0 ? 1 : 0;
  s.loopInRelease = p.entry->GetLoopInRelease() != 0 ? 1 : 0;
  if (s.loopEnd >= p.length) s.loopEnd = p.length - 1;
  if (s.loopStart > s.loopEnd) s.loopStart = s.loopEnd;
  if (s.loopStart < 0) s.loopStart = 0;
  if (p.position >= p.length) p.position = p.length - 1;
  if (p.position < 0) p.position = 0;
  if (!s.oscillatorMode) {
    const float step = p.entry->GetStep();
    p.baseStep = std::isfinite(step) ? step : 0.0f;
  }
  ReapplyDirection(p);
  if (s.loopOn && s.loopInRelease && p.direction == 0) {
    if (p.backward) SetDirectionBackward(p);
    else SetDirectionForward(p);
  }
}

void BindSampleSource(SamplePlayerState& s, IEngineModule* module) {
  s.core.source = module ? module->GetSampleMap() : nullptr;
  s.oscillatorMode = (module && module->IsOscilMode()) ? 1 : 0;
  if (s.oscillatorMode) s.loopOn = 1;
}

IAudioFileMapEntry* SelectEntry(const PlayerCore& p, float key) {
  if (!p.source) return nullptr;
  if (!(key == key)) key = 0.0f;
  return p.source->FindForKey(key);
}

void SetPitchRatio(PlayerCore& p, float pitch) {
  const float r = PitchToRatio(pitch) * GetRateRatio(p);
  p.increment = r;
  // A sample without a step stands still instead of producing NaN.
  p.ratio = p.baseStep != 0.0f ? r / p.baseStep : 0.0f;
}

void SetPitchHz(PlayerCore& p, float pitch) {
  p.pitch = pitch;
  p.ratio = PitchToHz(pitch);
  ReapplyDirection(p);
}

namespace {

void OscillatorStep(SamplePlayerState& s, int32_t len) {
  PlayerCore& p = s.core;
  const float magnitude = len > 0 ? float(len) * InvRate() : InvRate();
  if (p.baseStep > 0.0f) p.baseStep = magnitude;
  else if (p.baseStep < 0.0f) p.baseStep = -magnitude;
  ReapplyDirection(p);
}

// Loop bounds from a start and a length, kept inside the sample: a loop
// stored in a file may lie partly or wholly outside the sound it came with.
void StoreLoop(SamplePlayerState& s, int32_t start, int32_t len) {
  const int32_t length = s.core.length;
  if (start < 0) start = 0;
  if (start > length - 1) start = length - 1;
  if (len < 0) len = 0;
  if (len > length - start) len = length - start;
  s.loopStart = start;
  s.loopEnd = start + len;
}

void WrapIntoLoop(SamplePlayerState& s) {
  PlayerCore& p = s.core;
  const int32_t len = s.loopEnd - s.loopStart;
  if (len <= 0) {
    p.position = s.loopStart;
    return;
  }
  int32_t pos = (p.position % len) + (s.loopStart / len) * len;
  if (pos < s.loopStart) pos += len;
  p.position = pos;
}

int32_t InputFrames(const float* input, float framesPerMs, int32_t fallback) {
  if (!Connected(input)) return fallback;
  return TruncToInt(*input * framesPerMs);
}

} // namespace

// Without inputs the sound file's loop is taken.
void UpdateLoopBounds(SamplePlayerState& s, bool wrap) { UpdateLoopBoundsFromInputs(s, {nullptr, nullptr}, wrap); }

void UpdateLoopBoundsFromInputs(SamplePlayerState& s, LoopInputs loop, bool wrap) {
  PlayerCore& p = s.core;
  if (!p.entry) {
    p.position = 0;
    p.fraction = 0.0f;
    return;
  }
  if (!s.loopOn) {
    s.loopStart = 0;
    s.loopEnd = p.length - 1;
    return;
  }
  IAudioFileBuf* sound = p.entry->GetSoundFile();
  int32_t start = InputFrames(loop.start, p.framesPerMs, sound ? sound->GetLoopStart() : 0);
  int32_t len = InputFrames(loop.length, p.framesPerMs, sound ? sound->GetLoopLength() : 0);
  if (start < 0) start = 0;
  if (len < 1) len = 0;
  if (len > p.length) len = p.length;
  if (start > p.length - len) start = p.length - len;
  if (s.oscillatorMode && len >= 1) start = (start / len) * len;
  StoreLoop(s, start, len);
  if (wrap) WrapIntoLoop(s);
  if (s.oscillatorMode) OscillatorStep(s, s.loopEnd - s.loopStart);
}

namespace {

void Trigger(SamplePlayerState& s, float gate, float startMs, const LoopInputs* loop) {
  PlayerCore& p = s.core;
  s.gate = gate;
  if (!IsOn(gate)) {
    if (s.loopOn && s.loopInRelease) return;
    s.loopStart = 0;
    s.loopEnd = p.length - 1;
    return;
  }
  TakeHeld(p.out);
  if (loop) UpdateLoopBoundsFromInputs(s, *loop, false);
  else UpdateLoopBounds(s, false);
  const float x = p.framesPerMs * startMs;
  p.position = TruncToInt(x);
  p.fraction = std::isfinite(x) ? x - float(p.position) : 0.0f;
  if (!(p.fraction >= 0.0f && p.fraction < 1.0f)) p.fraction = 0.0f;
  if (!p.backward) {
    if (p.position > s.loopEnd) p.position = s.loopStart;
    if (p.position <= 0) p.position = 0;
    SetDirectionForward(p);
  } else {
    if (p.position <= s.loopStart) p.position = s.loopEnd;
    else if (p.position >= p.length) p.position = p.length - 1;
    SetDirectionBackward(p);
  }
}

} // namespace

void TriggerPlayer(SamplePlayerState& s, float gate, float startMs) { Trigger(s, gate, startMs, nullptr); }

void TriggerPlayerFromInputs(SamplePlayerState& s, float gate, float startMs, LoopInputs loop) {
  Trigger(s, gate, startMs, &loop);
}

void WrapPlayerSlow(SamplePlayerState& s, const LoopInputs* loop) {
  PlayerCore& p = s.core;
  // A step of a billion frames or more (or none at all) is no step: the
  // player stops rather than overflow its position.
  if (!(std::fabs(p.fraction) < 1.0e9f)) {
    p.fraction = 0.0f;
    StopPlayer(p);
    return;
  }
  const bool keepLoop = s.loopOn && ((FloatBits(s.gate) & 0x7fffffff) != 0 || s.loopInRelease);
  auto rebound = [&] {
    if (loop) UpdateLoopBoundsFromInputs(s, *loop, true);
    else UpdateLoopBounds(s, true);
  };
  if (p.fraction < 0.0f) {
    const int32_t n = TruncToInt(-p.fraction) + 1;
    p.fraction += float(n);
    if (p.fraction >= 1.0f) p.fraction = 0.0f;
    p.position -= n;
    if (p.position >= s.loopStart) return;
    if (!keepLoop) {
      p.position = s.loopStart;
      StopPlayer(p);
      return;
    }
    rebound();
    if (s.alternate) {
      ReverseDirection(p);
      p.position = s.loopStart - p.position + s.loopEnd;
    }
  } else {
    const int32_t n = TruncToInt(p.fraction);
    p.fraction -= float(n);
    p.position += n;
    if (p.position < s.loopEnd && p.position < p.length) return;
    if (!keepLoop) {
      p.position = s.loopEnd - 1;
      StopPlayer(p);
      return;
    }
    rebound();
    if (s.alternate) {
      ReverseDirection(p);
      p.position = s.loopEnd - p.position + s.loopStart;
    }
  }
  // Whatever the loop rules did, a read never starts outside the sample.
  if (p.position < 0) p.position = 0;
  if (p.position > p.length - 1) p.position = p.length - 1;
}

// ---------------------------------------------------------------------------
// Grain players

void PanGains(float amplitude, float pan, float& left, float& right) {
  float x = (pan + 1.0f) * 0.5f;
  if (!(x >= 0.0f)) x = 0.0f;
  if (x > 1.0f) x = 1.0f;
  left = amplitude * (1.0f - x * x);
  right = amplitude * (1.0f - (1.0f - x) * (1.0f - x));
}

void BindGrainChannels(GrainPlayerState& g, IAudioFileMapEntry* entry, int32_t offset) {
  const float* left = SampleChannel(entry, 0, offset);
  if (!left) {
    g.left = g.right = SilentSamples;
    return;
  }
  g.left = left;
  g.right = SampleChannel(entry, 1, offset);
}

void StartGrain(GrainPlayerState& g, const PlayerCore& source, float key, int32_t offset, float startFraction,
                float amplitude, float pan, int32_t continues) {
  g.key = key;
  g.core.source = source.source;
  AttachSampleEntry(g.core, SelectEntry(source, key));
  const int32_t length = g.core.length;
  if (offset < 0 || offset >= length) offset = 0;
  g.windowOffset = offset;
  g.windowLength = length - offset;
  g.core.position = 0;
  if (!(startFraction >= 0.0f && startFraction < 1.0f)) startFraction = 0.0f;
  g.core.fraction = startFraction;
  g.absolutePosition = startFraction;
  PanGains(amplitude, pan, g.gainLeft, g.gainRight);
  g.continues = continues;
  BindGrainChannels(g, g.core.entry, offset);
  SetDirectionForward(g.core);
}

void SilenceGrain(GrainPlayerState& g) {
  g.left = g.right = SilentSamples;
  g.core.position = 0;
  g.core.fraction = 0.0f;
  g.absolutePosition = 0.0f;
  g.core.increment = 0.0f;
  g.gainLeft = g.gainRight = 0.0f;
  g.windowLength = 1;
  g.windowOffset = 0;
}

void EndGrainWindow(GrainPlayerState& g) {
  const float x = g.absolutePosition;
  if (!(x >= 0.0f) || !std::isfinite(x)) {
    // Never reached by a forward grain; a broken increment parks it.
    g.core.position = 0;
    g.core.fraction = 0.0f;
    g.absolutePosition = 0.0f;
    g.core.increment = 0.0f;
    return;
  }
  if (g.continues && g.core.entry) {
    float rest = x - float(g.windowLength);
    const int32_t length = g.core.length;
    if (!(rest >= 0.0f && rest < float(length))) rest = 0.0f;
    g.windowOffset = 0;
    g.windowLength = length;
    BindGrainChannels(g, g.core.entry, 0);
    const int32_t index = int32_t(rest);
    g.core.position = index;
    g.core.fraction = rest - float(index);
    g.absolutePosition = rest;
    return;
  }
  g.core.position = g.windowLength > 0 ? g.windowLength - 1 : 0;
  g.core.fraction = 0.0f;
  g.absolutePosition = float(g.core.position);
  g.core.increment = 0.0f;
}

void RefreshGrain(GrainPlayerState& g, IAudioFileMap* source) {
  g.core.source = source;
  IAudioFileMapEntry* entry = source ? source->FindForKey(g.key == g.key ? g.key : 0.0f) : nullptr;
  AttachSampleEntry(g.core, entry);
  if (!g.core.entry) {
    SilenceGrain(g);
    return;
  }
  if (g.windowOffset < 0 || g.windowOffset >= g.core.length) g.windowOffset = 0;
  if (g.windowLength < 1 || g.windowOffset + g.windowLength > g.core.length)
    g.windowLength = g.core.length - g.windowOffset;
  if (g.core.position >= g.windowLength) g.core.position = g.windowLength - 1;
  if (g.core.position < 0) g.core.position = 0;
  BindGrainChannels(g, g.core.entry, g.windowOffset);
}
