// Per-sample routines of the noise and random sources: one shift register
// serves all voices and lives in voice 0.
#include "src/engine/audio_routines.h"

#include <cstdint>

#include "src/engine/audio_routine_util.h"
#include "src/engine/module_types.h"
#include "src/engine/routine_util.h"
#include "src/engine/voice_state.h"

namespace {

using routines::K;

void NoiseRoutine() {
  float** const* inputs = SlotInputs();
  const TStateWords& states = SlotStates();
  const int32_t voices = SlotVoices();
  constexpr int32_t kReg = QV_WORD_AT(NoiseState, reg);
  uint32_t g = states[0][kReg].u;
  for (int32_t v = 0; v < voices; ++v) {
    const uint32_t b = g >> 1;
    g = b | ((((g >> 5) ^ g ^ (g >> 13)) & 1u) << 31);
    states[v][QV_WORD_AT(NoiseState, out)].f = (float(b & 1u) - 0.5f) * *inputs[v][OscIn::kAmpl];
  }
  states[0][kReg].u = g;
}

void RandomRoutine() {
  float** const* inputs = SlotInputs();
  const TStateWords& states = SlotStates();
  const int32_t voices = SlotVoices();
  constexpr int32_t kPitch = QV_WORD_AT(RandomOscState, pitch);
  constexpr int32_t kReg = QV_WORD_AT(RandomOscState, reg);
  constexpr int32_t kPhase = QV_WORD_AT(RandomOscState, phase);
  constexpr int32_t kValue = QV_WORD_AT(RandomOscState, value);
  constexpr int32_t kOut = QV_WORD_AT(RandomOscState, out);
  uint32_t g = states[0][kReg].u;
  for (int32_t v = 0; v < voices; ++v) {
    const TVoiceWords w = states[v];
    w[kPhase].f += 2.0f * w[kPitch].f * K().invRate;
    if (w[kPhase].f > 1.0f) {
      w[kPhase].f -= 2.0f;
      w[kValue].f = routines::RandomValue(routines::RandomStep(g));
    }
    w[kOut].f = w[kValue].f * *inputs[v][OscIn::kAmpl];
  }
  states[0][kReg].u = g;
}

} // namespace

void InstallNoiseRoutines(TRoutineTables& t) {
  TModuleTable<TAudioRoutine>& a = t.audio;
  a[kTypeNoise] = NoiseRoutine;
  a[kTypeRandom] = RandomRoutine;
}
