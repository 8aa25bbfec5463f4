// The engine's one set of routine tables, filled by every routine unit on
// first use, and the lookups by module type that the model and the block
// loop make.
#pragma once

#include <cstdint>

#include "src/engine/engine.h"
#include "src/engine/routine_tables.h"

TRoutineTables& RoutineTables();

// Lookups by module type; none for types without a routine of that kind.
TAudioRoutine FindAudioRoutine(int32_t category, int32_t type);
TRecordRoutine FindControlRateRoutine(int32_t category, int32_t type);
TRecordRoutine FindClockTickRoutine(int32_t category, int32_t type);
TRecordRoutine FindDisplayUpdateRoutine(int32_t category, int32_t type);
TRecordRoutine FindDisplayWatchRoutine(int32_t category, int32_t type);
TRecordRoutine GetGraphRenderer(int32_t category, int32_t type);
// Whether a type's state is laid out word-major.
bool IsWordMajorType(int32_t category, int32_t type);
// The event routine of an id; ids without a routine (and ids outside the
// table) answer a routine that does nothing, so a caller never needs a check.
TEventRoutine GetEventRoutine(int32_t id);
