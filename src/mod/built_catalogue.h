// Internal: the built catalogue behind FindModulDef.
#pragma once

#include <cstdint>

#include "src/engine/module_types.h"

struct KModulDef;
struct KPortDef;

struct TCatalogue {
  static constexpr int32_t kModules = kModuleTypeCount;
  static constexpr int32_t kSources = kSourceTypeCount;
  static constexpr int32_t kSwitches = kSwitchTypeCount;

  const KModulDef* module[kModules] = {};  // category 0
  const KModulDef* source[kSources] = {};  // category 1
  const KModulDef* switches[kSwitches] = {};
  const KModulDef* macro = nullptr;
  const KModulDef* instrument = nullptr;
  const KModulDef* audioIn = nullptr;   // in terminal 5:0-1
  const KModulDef* eventIn = nullptr;   // in terminal 5:2-3
  const KModulDef* audioOut = nullptr;  // out terminal 6:0-1
  const KModulDef* eventOut = nullptr;  // out terminal 6:2-3
  const KModulDef* driverIn = nullptr;
  const KModulDef* driverOut1 = nullptr;
  const KModulDef* driverOut2 = nullptr;
  const KModulDef* driverOut8 = nullptr;
};

// Built on first use; records and port tables never move afterwards.
TCatalogue& Catalogue();

// The mutable port entry of a record (for the start-up index fill).
KPortDef* MutableInPort(const KModulDef* def, const char* label);
KPortDef* MutableOutPort(const KModulDef* def, const char* label);
