// The reference ensembles of the engine benchmark, built in code on a rig
// (never read from a file, so that only the engine is measured).
#pragma once

#include "bench/rig.h"

#include <string>
#include <vector>

namespace bench {

// Sampler quality settings.
enum : int32_t { kPoor = 0, kGood = 1, kExcellent = 2 };

// A built patch: the modules that must run a routine of their own, by name,
// so that a patch whose routines are not there yet is reported as such.
struct TPatch {
  struct TPart {
    std::string name;
    KSModul* module;
  };
  std::vector<TPart> parts;
  // Names of the parts that have no routine slot (empty: complete).
  std::vector<std::string> Missing() const;
  KSModul* Find(const std::string& name) const;
};

// The notes of a chord of `count` notes: stacked fourths from C2, all
// different for up to 64 notes.
int32_t ChordNote(int32_t k);

// "poly subtractive": per voice Saw FM and Pulse FM into a mixer, an
// amplitude ADSR and its multiplier, a resonant 2-pole filter whose cutoff
// an ADSR opens; the voices combined, panned, through a Mod. Delay and a
// Diffuser Delay into the Audio Out; one LFO at the control rate for
// vibrato. When a delay type has no routine yet, the pan feeds the Audio
// Out directly and the missing delay is named in the patch.
TPatch BuildPolySubtractive(TRig& rig);

// "sampler": a stereo Sampler Loop at the quality with an ADSR and a Stereo
// Amp, its sample map holding one 2-second stereo sound made in memory.
TPatch BuildSampler(TRig& rig, int32_t quality);

// "re-synthesis": a stereo Resynth at 'Good' on an analysed sound made in memory.
TPatch BuildResynth(TRig& rig);

// "slot overhead": `count` one-voice "-1" modules in a chain into the Audio Out.
TPatch BuildSlotChain(TRig& rig, int32_t count);

// One module of each routine the per-routine table lists, all fed and
// reaching the Audio Out, so that each runs.
TPatch BuildRoutineSet(TRig& rig);

} // namespace bench
