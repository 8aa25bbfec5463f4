// Control-rate routines (run once per control period by the block loop) and
// clock-tick routines (run on every tick of the 24-per-quarter-note clock).
#pragma once

#include "src/engine/engine.h"
#include "src/engine/routine_tables.h"

// Record words the model fills from a module's settings and that these
// routines read.
enum : int32_t {
  // "S" (event smoother): params[0] smoothing on (not 0) or off (0),
  // params[1] the transition time in milliseconds (float).
  kSmootherOnParam = 0,
  kSmootherTimeParam = 1,
  // "1/96" and "Sync": params[0] the event value (float); "Sync" keeps its
  // rate and its pulse length in clock ticks (integers) in params[2] and [3].
  kClockValueParam = 0,
  kSyncRateParam = 2,
  kSyncLengthParam = 3,
};

// Fills the control-rate entries (category 0) and the clock-tick entries
// (category 1) of the types these routines serve.
void InstallControlRoutines(TRoutineTables& tables);
