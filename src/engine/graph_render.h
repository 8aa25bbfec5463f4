// Panel graph renderers: envelopes on a logarithmic time axis, filters and
// equalisers on a logarithmic frequency axis, the scope trace. A renderer
// reads the module's voice-0 coefficients and fills one value per pixel
// column: the curve's height in pixels, or kNoColumnValue.
#pragma once

#include <cfloat>
#include <cstdint>

#include "src/engine/engine.h"
#include "src/engine/routine_tables.h"

// Marks a column without a value.
inline constexpr float kNoColumnValue = FLT_MAX;

// Fills columns[0 .. width-1] for a module of the given type (category 0)
// from its record; types without a curve leave the columns unchanged.
// False for a type without a renderer.
bool RenderGraph(int32_t type, const TEngineRecord* record, float* columns, int32_t width, int32_t height);

// The frequency in Hz that column i of n stands for (10 Hz to about 20 kHz).
double GraphColumnHz(int32_t column, int32_t width);
// The level in decibels that a filter column value of a graph `height`
// pixels high stands for (0 dB at 60 % of the height, 30 dB per height).
double GraphColumnDecibels(float value, int32_t height);

// The scope's read-out at position x (0 ... 1) of its trace: a value, or
// kNoColumnValue. The scope's buffer routines install it.
using TScopeReadout = float (*)(const TEngineRecord* record, float x);
void SetScopeReadout(TScopeReadout readout);

// Fills the graph entries of the routine tables: each renders into the
// column buffer that the panel host gives for the module.
void InstallGraphRenderers(TRoutineTables& tables);
