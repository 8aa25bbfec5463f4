// Display-update routines: run by the panel refresh on the GUI thread, they
// turn engine values into redraws of lamps, meters and graphs. They read the
// engine's state without the engine lock; every word they share with the
// audio thread is read and written as a relaxed atomic.
#pragma once

#include <cstdint>

#include "src/engine/engine.h"
#include "src/engine/routine_tables.h"

class IEngineModule;

// A module's graph area: one float per pixel column, width x height pixels.
struct TGraphColumns {
  float* values = nullptr;
  int32_t width = 0;
  int32_t height = 0;
};

// What the display routines and the graph renderers need of the panels.
class IPanelHost {
public:
  virtual ~IPanelHost() = default;
  // Redraws both control views of the module (instrument and ensemble panel).
  virtual void RefreshControlViews(IEngineModule* module) = 0;
  // True when an event routine stored a new value for the module's graph
  // (its control value mark is set) and its control state allows a redraw.
  virtual bool IsGraphMarked(IEngineModule* module) = 0;
  // The module's column buffer (made on first use) and its size.
  virtual TGraphColumns GetGraphColumns(IEngineModule* module) = 0;
};
// Installs the panel side; null detaches it (display routines then do
// nothing but their decays). Returns the previous one.
IPanelHost* SetPanelHost(IPanelHost* host);
IPanelHost* GetPanelHost();

// Record words of the lamps: the low and high thresholds (floats), from the
// module's first and second settings.
enum : int32_t { kLampLowParam = 0, kLampHighParam = 1 };

// Fills the display entries of the lamp, meter and graph types.
void InstallDisplayRoutines(TRoutineTables& tables);
