// What the per-sample routine families share. Every routine takes its data
// from the current slot, loops over the slot's voices and computes one frame
// per voice; inputs are read once, outputs are written into the voice's
// state words where the inputs of the destinations point. Word numbers
// follow the state layouts of voice_state.h; inputs are read by the names
// voice_state.h gives them, the names the catalogue's rows use too.
#pragma once

#include <cstdint>

#include "src/engine/engine.h"
#include "src/engine/tables.h"
#include "src/engine/word.h"

namespace routines {

using TIn = float* const*;  // one voice's input pointers

inline const TEngineConstants& K() { return EngineConstants; }

// A voice-major voice's words as the state struct of its type, whose fields
// say what each word means.
template <class State> State& As(TWord* w) { return *reinterpret_cast<State*>(w); }

// Runs Step for every voice of the current slot: one voice's record at a
// time, for the types laid out voice-major. A module of one voice (most
// modules after the voice combiner) is served without the loop's set-up.
template <void (*Step)(TIn in, TWord* w)> void PerVoice() {
  float** const* inputs = SlotInputs();
  const int32_t voices = SlotVoices();
  if (voices == 1) return Step(inputs ? inputs[0] : nullptr, SlotStates().words);
  TVoiceRecords records(SlotStates());
  for (int32_t v = 0; v < voices; ++v) Step(inputs ? inputs[v] : nullptr, records.Take());
}

// The same for routines that send events and need their record and voice.
template <void (*Step)(TIn in, TWord* w, TEngineRecord* r, int32_t voice)> void PerVoiceSending() {
  float** const* inputs = SlotInputs();
  TEngineRecord* r = SlotRecord();
  const int32_t voices = SlotVoices();
  if (voices == 1) return Step(inputs ? inputs[0] : nullptr, SlotStates().words, r, 0);
  TVoiceRecords records(SlotStates());
  for (int32_t v = 0; v < voices; ++v) Step(inputs ? inputs[v] : nullptr, records.Take(), r, v);
}

// Routines that serve voice 0 only.
template <void (*Step)(TIn in, TWord* w, TEngineRecord* r, int32_t voice)> void VoiceZero() {
  float** const* inputs = SlotInputs();
  Step(inputs ? inputs[0] : nullptr, SlotStates().words, SlotRecord(), 0);
}

// A tiny offset added where a state decays towards 0 (envelopes, filter
// sections, peak followers) so that it never sinks into denormal numbers.
constexpr float kGuard = 1e-12f;

} // namespace routines
