// The module-type catalogue: one record per (category, index) module type,
// with its port tables and the processing-state sizes the engine allocates.
#pragma once

#include "src/engine/engine_module.h"

#include <cstdint>

#include "src/engine/module_types.h"

class KSModul;

// Signal kinds of ports, records and terminals.
enum : int32_t {
  kAudioMono = 0,
  kAudioPoly = 1,
  kEventMono = 2,
  kEventPoly = 3,
};

inline constexpr bool IsAudioKind(int32_t kind) { return kind == kAudioMono || kind == kAudioPoly; }
inline constexpr bool IsEventKind(int32_t kind) { return kind == kEventMono || kind == kEventPoly; }

// Panel view kinds.
enum : int32_t {
  kViewNone = 0,
  kViewFader = 1,
  kViewButton = 2,
  kViewSwitch = 3,
  kViewLamp = 4,
  kViewMeter = 5,
  kViewGraph = 6,
  kViewFile = 7,
  kViewMacro = 8,
  kViewInstrument = 9,
};

inline constexpr int32_t kMaxPortsPerTable = 20;

// One port entry. In-ports use every field; out-ports use label,
// labelIsUser, kind, index, helpIsUser and help.
struct KPortDef {
  const char* label;
  int32_t labelIsUser;
  int32_t kind;
  // Audio input: position in the per-voice input-pointer array.
  // Event input: id of the event routine that receives its events.
  // Audio output: word position in the per-voice state.
  // Event output: slot among the event outputs.
  // -1: nothing reads it (switches, terminals).
  int32_t index;
  uint32_t reserved;
  const char* longName;
  float minimum;
  float maximum;
  float step;
  float defaultValue;
  int32_t valueClass;
  int32_t helpIsUser;
  const char* help;
};

struct KPortTable {
  int32_t count;
  KPortDef* entries;  // count entries, at most kMaxPortsPerTable

  const KPortDef& operator[](int32_t i) const { return entries[i]; }
};

struct KModulDef {
  const char* name;
  int32_t nameIsUser;
  int32_t picture;  // bitmap id 8000..8112, 0 for none
  const KPortTable* inPorts;
  const KPortTable* outPorts;
  int32_t panelView;
  int32_t eventOutputs;
  int32_t audioInputs;
  int32_t stateWords;  // 32-bit words per voice
  int32_t startsMono;
  int32_t monoSwitchable;
  int32_t portsApply;
  int32_t helpIsUser;
  const char* help;
};

// What the active audio driver contributes: its "Audio In" record and the
// "Audio Out" record for its output channel count (null for a count other
// than 1, 2 or 8).
class IDriverModulDefs {
public:
  virtual const KModulDef* GetAudioInDef() const = 0;
  virtual const KModulDef* GetAudioOutDef() const = 0;

protected:
  ~IDriverModulDefs() = default;
};

// How the catalogue reaches the audio driver of a module's ensemble. The
// model installs it; without one (or when it answers null) the driver types
// have no record.
using TDriverDefsOfModule = const IDriverModulDefs* (*)(const KSModul* module);
void SetDriverDefsLookup(TDriverDefsOfModule lookup);

// The record of a module type, or null. The module is used only to reach the
// active audio driver for the driver types (0:82, 83, 85, 113, 114).
const KModulDef* FindModulDef(const KSModul* module, int32_t category, int32_t index);
inline const KModulDef* FindModulDef(const KSModul* module, TModuleType type) {
  return FindModulDef(module, type.category, type.type);
}

// Completes the port indexes of the types that keep their inputs and outputs
// at fixed places of their own state layout. Runs once at start-up, before
// any module exists; later calls do nothing.
void InitModulDefs();

// The driver records in catalogue format, for the audio drivers to hand out.
const KModulDef* GetAudioInModulDef();
const KModulDef* GetAudioOutModulDef(int32_t outputChannels);
