// Per-sample routines of the ordinary module types, one source file per
// family: arithmetic and mixing, oscillators, noise, envelopes, filters and
// equalisers, shapers, and the converters and event sources.
#pragma once

#include "src/engine/engine.h"
#include "src/engine/routine_tables.h"

// Fills the audio entries of the types these routines serve; other entries
// are left as they are. The routine tables call it when they are made.
void InstallAudioRoutines(TRoutineTables& tables);

// The same for one family each; InstallAudioRoutines calls them all.
void InstallMixingRoutines(TRoutineTables& tables);
void InstallOscillatorRoutines(TRoutineTables& tables);
void InstallNoiseRoutines(TRoutineTables& tables);
void InstallEnvelopeRoutines(TRoutineTables& tables);
void InstallFilterRoutines(TRoutineTables& tables);
void InstallShaperRoutines(TRoutineTables& tables);
void InstallEventSourceRoutines(TRoutineTables& tables);
