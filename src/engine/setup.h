// Module set-up: building and freeing engine records and the per-type
// initial state that a module gets when it enters processing.
#pragma once

#include "src/base/system.h"
#include "src/engine/engine.h"

#include <cstdint>

class IEngineModule;

// The engine heap: per-voice input-pointer and state arrays (created on first
// use, kept for the whole run).
IHeap& EngineHeap();

// Builds a record for the module's counts with the given voice count: every
// input points at the zero cell, every state word is 0, no routes. Throws on
// low memory and leaves nothing allocated.
TEngineRecord* BuildEngineRecord(IEngineModule* module, int32_t voices);
// Frees the record with its per-voice arrays and route lists.
void FreeEngineRecord(TEngineRecord* record);
// Copies the values that must survive a rebuild back to the module.
void ReleaseModuleState(TEngineRecord* record, IEngineModule* module);
// The per-type initial state (seeds, unit gains, voice numbers, output history).
void InitModuleState(TEngineRecord* record, IEngineModule* module, float rateFactor, int32_t driverOutputs,
                     TWord outputFill);

// Route lists of one event output (allocated on first use, freed when empty).
// Returns false when the output already holds its 20 routes.
bool AppendRoute(TEngineRecord* record, int32_t output, TEventRoutine routine, TEngineRecord* target);
// Removes the first route with this routine and target.
void RemoveRoute(TEngineRecord* record, int32_t output, TEventRoutine routine, TEngineRecord* target);
// Empties the route list of an output.
void ClearRoutes(TEngineRecord* record, int32_t output);
