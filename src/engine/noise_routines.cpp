// Per-sample routines of the noise and random sources: one shift register
// serves all voices and lives in voice 0.
#include "src/engine/audio_routines.h"

#include <cstdint>

#include "src/engine/audio_routine_util.h"
#include "src/engine/module_types.h"
#include "src/engine/routine_util.h"

namespace {

using routines::K;

void NoiseRoutine() {
  float** const* inputs = SlotInputs();
  const TStateWords& states = SlotStates();
  const int32_t voices = SlotVoices();
  uint32_t g = states[0][1].u;
  for (int32_t v = 0; v < voices; ++v) {
    const uint32_t b = g >> 1;
    g = b | ((((g >> 5) ^ g ^ (g >> 13)) & 1u) << 31);
    states[v][0].f = (float(b & 1u) - 0.5f) * *inputs[v][0];
  }
  states[0][1].u = g;
}

void RandomRoutine() {
  float** const* inputs = SlotInputs();
  const TStateWords& states = SlotStates();
  const int32_t voices = SlotVoices();
  uint32_t g = states[0][1].u;
  for (int32_t v = 0; v < voices; ++v) {
    const TVoiceWords w = states[v];
    w[2].f += 2.0f * w[0].f * K().invRate;
    if (w[2].f > 1.0f) {
      w[2].f -= 2.0f;
      w[3].f = routines::RandomValue(routines::RandomStep(g));
    }
    w[4].f = w[3].f * *inputs[v][0];
  }
  states[0][1].u = g;
}

} // namespace

void InstallNoiseRoutines(TRoutineTables& t) {
  TAudioRoutine* a = t.audio;
  a[kTypeNoise.type] = NoiseRoutine;
  a[kTypeRandom.type] = RandomRoutine;
}
