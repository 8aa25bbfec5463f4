// Per-sample routines of the ordinary module types: arithmetic, mixers,
// oscillators, noise, envelopes, filters and equalisers, shapers and the
// converters that turn audio into events.
#pragma once

#include "src/engine/engine.h"

// Fills the audio entries of the types these routines serve; other entries
// are left as they are. The routine tables call it when they are made.
void InstallAudioRoutines(TRoutineTables& tables);
