// Installs the per-sample routine families; each family writes the entries
// of its own types only.
#include "src/engine/audio_routines.h"

#include "src/engine/voice_loops.h"

void InstallAudioRoutines(TRoutineTables& t) {
  InstallMixingRoutines(t);
  InstallOscillatorRoutines(t);
  InstallNoiseRoutines(t);
  InstallEnvelopeRoutines(t);
  InstallFilterRoutines(t);
  InstallShaperRoutines(t);
  InstallEventSourceRoutines(t);
  // Last: the voice loops replace the per-voice routines of their types.
  InstallVoiceLoops(t);
}
