// The per-sample routines of the sample-playing types, one per type, channel
// layout and quality, their voice set-ups and their event inputs; and the
// same for the delay, tape deck and scope types.
#pragma once

#include <cstdint>

#include "src/engine/audio_routine_util.h"
#include "src/engine/engine.h"
#include "src/engine/routine_tables.h"
#include "src/engine/sample_play.h"
#include "src/engine/word.h"

class IEngineModule;

// A voice set-up: (the voice's state words, the module, the voice index).
using TVoiceSetup = void (*)(TWord* state, IEngineModule* module, int32_t voice);

// The voice set-up of a sampler type (130, 131, 135, 136, 170, 173, 174 and
// "Demux" 197), a delay type (79, 120, 165, 166, 169) or a tape deck (80, 81);
// none for other types.
TVoiceSetup FindVoiceSetup(int32_t type);
// The routine for a type, channel layout and quality; none for types whose
// routine does not change. "Sampler" and "Sampler FM" are mono only.
TAudioRoutine FindSampleRoutine(int32_t type, bool stereo, int32_t quality);
TAudioRoutine FindBufferRoutine(int32_t type, int32_t quality);
// Whether the routine of the type is chosen by quality (and stereo status).
bool IsChosenByQuality(int32_t type);
bool IsChosenByStereo(int32_t type);

// Fills the routine-table entries of these types and their event ids.
void InstallSamplerRoutines(TRoutineTables& tables);
void InstallBufferRoutines(TRoutineTables& tables);

// Voice set-ups by name.
void InitTableVoice(TWord* state, IEngineModule* module, int32_t voice);
void InitSingleSampleVoice(TWord* state, IEngineModule* module, int32_t voice);
void InitMappedSampleVoice(TWord* state, IEngineModule* module, int32_t voice);
void InitMappedLoopSampleVoice(TWord* state, IEngineModule* module, int32_t voice);
void InitMappedSampleVoice2(TWord* state, IEngineModule* module, int32_t voice);
void InitDualSampleVoice(TWord* state, IEngineModule* module, int32_t voice);
void InitDualSampleVoiceAlias(TWord* state, IEngineModule* module, int32_t voice);
void InitDualSampleVoice2(TWord* state, IEngineModule* module, int32_t voice);
void InitBufferVoice(TWord* state, IEngineModule* module, int32_t voice);
void InitDelayVoice(TWord* state, IEngineModule* module, int32_t voice);
void InitBufferReaderVoice(TWord* state, IEngineModule* module, int32_t voice);
void InitGrainVoice(TWord* state, IEngineModule* module, int32_t voice);
void InitBufferPositionVoice(TWord* state, IEngineModule* module, int32_t voice);
void InitRecorderVoice(TWord* state, IEngineModule* module, int32_t voice);
void InitRecorderVoiceAlt(TWord* state, IEngineModule* module, int32_t voice);

// Stores the delay time in ms and places the read pointer behind the write
// pointer: at or beyond the line the longest delay, below 0 none.
void SetDelayTime(DelayVoiceState& s, float ms);

// Sends v on an event output of a sampler-family voice: the value is kept in
// the voice's output word and every destination of the output is called.
void SendVoiceEvent(VoiceEventHeader& header, int32_t output, float v);
// Binds the voice's event outputs to its record and voice number.
void BindVoiceEvents(VoiceEventHeader& header, IEngineModule* module, int32_t voice);

// The state of a voice as a record of the given type, or null when the
// record lacks the voice or is too small for it.
template <class State> State* VoiceRecord(TEngineRecord* r, int32_t voice) {
  if (!r || !r->state || voice < 0 || voice >= r->voices || size_t(r->stateWords) * 4 < sizeof(State))
    return nullptr;
  return r->state.Record<State>(voice);
}

// Runs f(state record, input pointers) for every voice of the current slot
// (a module of one voice without the loop's set-up).
template <class State, class F> inline void EachVoice(F f) {
  const int32_t n = SlotVoices();
  float** const* inputs = SlotInputs();
  if (n == 1) return f(routines::As<State>(SlotStates().words), inputs[0]);
  TVoiceRecords records(SlotStates());
  for (int32_t v = 0; v < n; ++v) f(routines::As<State>(records.Take()), inputs[v]);
}

// Grain scheduling of the re-synthesis types (grain_routines.cpp).
struct GrainInputs {
  float* const* in;  // the voice's input pointers
  int32_t count;     // how many the record holds
  // The value of an input; `fallback` when it is unconnected or absent.
  float Value(int32_t k, float fallback) const;
  bool Connected(int32_t k) const;
  const float* Pointer(int32_t k) const;
};
void StartResynthGrain(ResynthVoiceState& s, const GrainInputs& in);
void StartPitchFormerGrain(ResynthVoiceState& s, const GrainInputs& in);
void StartBeatLoopGrain(BeatLoopVoiceState& s, const GrainInputs& in);
void AttachResynthEntry(ResynthVoiceState& s, IAudioFileMapEntry* entry);
void AttachBeatLoopEntry(BeatLoopVoiceState& s, IAudioFileMapEntry* entry);
int32_t SnapBeatLoopStart(const BeatLoopVoiceState& s, int32_t start);
TAudioRoutine FindGrainRoutine(int32_t type, bool stereo, int32_t quality);
void InstallGrainEvents(TRoutineTables& tables);
