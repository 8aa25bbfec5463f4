// What engine and model tests share: the host of one module tree (the same
// one the routine benchmark plays on), a guard that restores the routine
// tables, and loose modules for set-up tests.
#pragma once

#include "bench/host.h"
#include "src/engine/engine.h"
#include "src/engine/routine_registry.h"
#include "src/mod/mod.h"

#include <memory>

namespace testhost {

using THost = bench::TTreeHost;

// Keeps the routine tables as they were before the test patched them.
class TRoutinePatch {
public:
  TRoutinePatch() : saved_(RoutineTables()) {}
  ~TRoutinePatch() { RoutineTables() = saved_; }

private:
  TRoutineTables saved_;
};

// A module outside any tree, with the state sizes given, for set-up tests.
inline std::unique_ptr<KSModul> LooseModule(THost& host, int32_t category, int32_t type, int32_t eventOutputs = 0,
                                            int32_t audioInputs = 0, int32_t stateWords = 1) {
  auto m = std::make_unique<KSModul>(&host, host.Top());
  m->SetCategory(category);
  m->SetTypeIndex(type);
  m->SetStateSizes(eventOutputs, audioInputs, stateWords);
  return m;
}
inline std::unique_ptr<KSModul> LooseModule(THost& host, TModuleType type, int32_t eventOutputs = 0,
                                            int32_t audioInputs = 0, int32_t stateWords = 1) {
  return LooseModule(host, type.category, type.type, eventOutputs, audioInputs, stateWords);
}

} // namespace testhost
