// The sample-player kernel shared by every module that plays recorded sound:
// pitch to increment, play position with loops, direction and release, the
// three interpolation kernels, grain players and the declicking output pair.
//
// Positions are an integer frame plus a float fraction. Sample memory comes
// from the pool with margin frames after the last frame, so the kernels may
// read up to three frames past a valid position.
#pragma once

#include <cstdint>

#include "src/engine/voice_state.h"

class IAudioFileMap;
class IAudioFileMapEntry;
class IEngineModule;

// A zeroed run of samples that grain players and table reads bind when they
// have no sample. It is read-only and longer than the cubic kernel's reach,
// and it is never the zero cell that unconnected inputs point at.
extern const float SilentSamples[8];

// Playback qualities: no interpolation, linear, cubic.
enum EQuality : int32_t { kPoor = 0, kGood = 1, kExcellent = 2 };

// ---------------------------------------------------------------------------
// Pitch

// 2^(p/12) through the pitch table (0 below the table, its last entry above).
float PitchToRatio(float p);
// ln(x) x 12 / ln 2.
float RatioToSemitones(float x);
// The entry's root key minus its fine tune in cents x 0.01; 0 without entry.
float GetRootPitch(const PlayerCore& p);
// The sample's rate over the processing rate; 1 without entry.
float GetRateRatio(const PlayerCore& p);

// ---------------------------------------------------------------------------
// Attaching samples

// The float data of a channel of the entry's sample at a frame (channel 1 of
// a mono sample is channel 0), or null when the entry has no usable sample.
const float* SampleChannel(IAudioFileMapEntry* entry, int32_t channel, int32_t frame = 0);

void AttachSample(PlayerCore& p, IAudioFileMapEntry* entry);
void AttachSampleEntry(PlayerCore& p, IAudioFileMapEntry* entry);
void AttachSampleWithLoop(SamplePlayerState& s, IAudioFileMapEntry* entry);
// The module's map becomes the sample source; its oscillator mode is copied.
void BindSampleSource(SamplePlayerState& s, IEngineModule* module);
// The entry the source selects for a key (null without source or entry).
IAudioFileMapEntry* SelectEntry(const PlayerCore& p, float key);

// ---------------------------------------------------------------------------
// Direction and stepping

inline void TakeHeld(DeclickOutput& o) {
  o.heldLeft = o.currentLeft;
  o.heldRight = o.currentRight;
}
inline void DecayHeld(DeclickOutput& o) {
  o.heldLeft = 0.998f * o.heldLeft + 1e-12f;
  o.heldRight = 0.998f * o.heldRight + 1e-12f;
}
inline void DecayHeldMono(DeclickOutput& o) {
  o.heldLeft = 0.998f * o.heldLeft + 1e-12f;
  o.heldRight = o.heldLeft;
}

inline void SetDirectionForward(PlayerCore& p) {
  p.signedStep = p.baseStep;
  p.increment = p.baseStep * p.ratio;
  p.direction = 1;
}
inline void SetDirectionBackward(PlayerCore& p) {
  p.signedStep = -p.baseStep;
  p.increment = p.signedStep * p.ratio;
  p.direction = -1;
}
inline void ReverseDirection(PlayerCore& p) {
  p.signedStep = -p.signedStep;
  p.direction = -p.direction;
  p.increment = p.signedStep * p.ratio;
}
// Forward if the direction is positive, backward if negative, else nothing.
inline void ReapplyDirection(PlayerCore& p) {
  if (p.direction > 0) SetDirectionForward(p);
  else if (p.direction < 0) SetDirectionBackward(p);
}
inline void StopPlayer(PlayerCore& p) {
  p.fraction = 0.0f;
  p.signedStep = 0.0f;
  p.increment = 0.0f;
  p.direction = 0;
  TakeHeld(p.out);
}
inline void AdvancePlayer(PlayerCore& p) { p.fraction += p.increment; }
inline void AdvancePlayerFM(PlayerCore& p, float hz) { p.fraction += (hz + p.ratio) * p.signedStep; }

void SetPitchRatio(PlayerCore& p, float pitch);
void SetPitchHz(PlayerCore& p, float pitch);

// Loop inputs of the types that have them; null or the zero cell means
// unconnected (the sound file's loop is taken).
struct LoopInputs {
  const float* start;
  const float* length;
};

void UpdateLoopBounds(SamplePlayerState& s, bool wrap);
void UpdateLoopBoundsFromInputs(SamplePlayerState& s, LoopInputs loop, bool wrap);
void TriggerPlayer(SamplePlayerState& s, float gate, float startMs);
void TriggerPlayerFromInputs(SamplePlayerState& s, float gate, float startMs, LoopInputs loop);

// The rare part of a wrap: the position left the loop or the sample.
void WrapPlayerSlow(SamplePlayerState& s, const LoopInputs* loop);
// Called after every step: moves whole frames of the fraction into the
// position and applies the loop rules when a bound is crossed.
inline void WrapPlayer(SamplePlayerState& s) {
  PlayerCore& p = s.core;
  if (p.fraction >= 0.0f && p.fraction < 1.0f) return;
  WrapPlayerSlow(s, nullptr);
}
inline void WrapPlayerFromInputs(SamplePlayerState& s, LoopInputs loop) {
  PlayerCore& p = s.core;
  if (p.fraction >= 0.0f && p.fraction < 1.0f) return;
  WrapPlayerSlow(s, &loop);
}

// ---------------------------------------------------------------------------
// Interpolation kernels on a float array: none, linear, and a 4-point cubic
// through s[i+1] .. s[i+2] with halved (Catmull-Rom) tangents, which
// reproduces a ramp exactly.

template <int Q> inline float Kernel(const float* s, int32_t i, float f) {
  if constexpr (Q == kPoor) {
    (void)f;
    return s[i];
  } else if constexpr (Q == kGood) {
    return s[i] + (s[i + 1] - s[i]) * f;
  } else {
    const float p0 = s[i], p1 = s[i + 1], p2 = s[i + 2], p3 = s[i + 3];
    const float m1 = 0.5f * (p2 - p0);
    const float m2 = 0.5f * (p3 - p1);
    const float c2 = 3.0f * (p2 - p1) - 2.0f * m1 - m2;
    const float c3 = 2.0f * (p1 - p2) + m1 + m2;
    return p1 + f * (m1 + f * (c2 + f * c3));
  }
}

// The same on a power-of-two ring: every index is masked before the read.
template <int Q> inline float RingKernel(const float* s, uint32_t mask, int32_t i, float f) {
  const uint32_t u = uint32_t(i);
  if constexpr (Q == kPoor) {
    (void)f;
    return s[u & mask];
  } else if constexpr (Q == kGood) {
    const float a = s[u & mask], b = s[(u + 1) & mask];
    return a + (b - a) * f;
  } else {
    const float ring[4] = {s[u & mask], s[(u + 1) & mask], s[(u + 2) & mask], s[(u + 3) & mask]};
    return Kernel<kExcellent>(ring, 0, f);
  }
}

// ---------------------------------------------------------------------------
// Grain players

void BindGrainChannels(GrainPlayerState& g, IAudioFileMapEntry* entry, int32_t offset);
void StartGrain(GrainPlayerState& g, const PlayerCore& source, float key, int32_t offset, float startFraction,
                float amplitude, float pan, int32_t continues);
void SilenceGrain(GrainPlayerState& g);
inline int32_t GetGrainPosition(const GrainPlayerState& g) { return g.windowOffset + g.core.position; }
// The window ran out: wrap to the sample's start or hold the last frame.
void EndGrainWindow(GrainPlayerState& g);
inline void StepGrain(GrainPlayerState& g) {
  const float x = g.absolutePosition + g.core.increment;
  g.absolutePosition = x;
  if (!(x >= 0.0f && x < float(g.windowLength))) return EndGrainWindow(g);
  const int32_t index = int32_t(x);
  g.core.position = index;
  g.core.fraction = x - float(index);
}
// Grain re-selects the entry of its own key from the source and re-binds.
void RefreshGrain(GrainPlayerState& g, IAudioFileMap* source);

// Pan law of a grain or tap: x = (pan + 1) / 2 in 0 .. 1; left = A(1 - x^2),
// right = A(1 - (1 - x)^2).
void PanGains(float amplitude, float pan, float& left, float& right);
