// The arithmetic of the per-sample routines that run one loop over a
// module's voices on word-major state: each kernel takes plain arrays (one
// element a voice) and the constants it needs, nothing else, so that the
// same source is built once for the baseline instruction set and once for
// x86-64-v3 and the processor picks one set at start-up. This header holds
// no inline code: a kernel file built for a wider instruction set must not
// leave an out-of-line copy of a shared function that the rest would call.
//
// No input array overlaps a state array of the same module (the engine
// copies such an input first), so the kernels may take their arrays as
// unaliased. Each kernel does, voice for voice, what the scalar routine it replaced
// did, with the same operations in the same order (selects instead of
// jumps), so its results are the same bit for bit.
#pragma once

#include <cstdint>

// Row counts of the generic kernels.
constexpr int32_t kKernelMaxOperands = 8;

struct TVoiceKernels {
  const char* name;
  // "Saw FM": increment (pitch + F) x 2/sr, phase and output.
  void (*sawFm)(int32_t voices, const float* freq, const float* ampl, const float* pitch, float* phase, float* out,
                float twoOverRate);
  // "Pulse FM": as "Saw FM", with the latched width and the half flag.
  void (*pulseFm)(int32_t voices, const float* ampl, const float* width, const float* freq, const float* pitch,
                  float* phase, float* out, float* level, int32_t* half, float twoOverRate);
  // Audio sums and products of `count` operands into out.
  void (*sum)(int32_t voices, int32_t count, const float* const* in, float* out);
  void (*product)(int32_t voices, int32_t count, const float* const* in, float* out);
  // Mixers: gain k times input k, summed from 0.
  void (*mixer)(int32_t voices, int32_t count, const float* const* in, const float* const* gain, float* out);
  // "ADSR - Env": release, decay to the sustain level or attack by stage.
  void (*adsr)(int32_t voices, float* out, const float* decay, const float* release, const float* sustainLevel,
               const float* peak, const float* attackStep, float* decayPart, int32_t* stage, float guard);
  // "2-Pole Filter" with an F input: coefficient (cutoff + F) x omega/sr
  // held to 0 ... limit, then one state-variable section.
  void (*twoPoleFm)(int32_t voices, const float* x, const float* freq, const float* cutoff, float* hp, float* bp,
                    float* lp, const float* damping, const float* limit, float omegaOverRate, float guard);
};

// The two builds of the kernels (voice_kernels.cpp built twice).
extern const TVoiceKernels VoiceKernelsBaseline;
extern const TVoiceKernels VoiceKernelsX86V3;
