#include "src/engine/module_types.h"
#include "src/engine/setup.h"

#include "src/engine/tables.h"

#include <cmath>
#include <cstring>
#include <new>

IHeap& EngineHeap() {
  static IHeap* heap = CastToHeap(CreateHeapOfSize(0));
  return *heap;
}

namespace {

void* HeapAlloc(size_t size) {
  if (size == 0) return nullptr;
  void* block = EngineHeap().Alloc(uint32_t(size));
  if (!block) throw std::bad_alloc();
  std::memset(block, 0, size);
  return block;
}

void FreeArrays(TEngineRecord* r) {
  IHeap& heap = EngineHeap();
  if (r->inputs) {
    for (int32_t v = 0; v < r->voices; ++v) heap.Free(r->inputs[v]);
    heap.Free(r->inputs);
  }
  if (r->state) {
    for (int32_t v = 0; v < r->voices; ++v) heap.Free(r->state[v]);
    heap.Free(r->state);
  }
  if (r->routeCounts) {
    for (int32_t k = 0; k < r->eventOutputs; ++k) ClearRoutes(r, k);
  }
  delete[] r->routeCounts;
  delete[] r->routeRoutines;
  delete[] r->routeTargets;
}

} // namespace

TEngineRecord* BuildEngineRecord(IEngineModule* module, int32_t voices) {
  auto* r = new TEngineRecord;
  r->module = module;
  r->voices = voices < 1 ? 1 : voices;
  r->eventOutputs = module->GetEventOutputCount();
  r->audioInputs = module->GetAudioInputCount();
  r->stateWords = module->GetStateWordCount();
  try {
    if (r->audioInputs > 0) {
      r->inputs = static_cast<float***>(HeapAlloc(sizeof(float**) * size_t(r->voices)));
      for (int32_t v = 0; v < r->voices; ++v) {
        r->inputs[v] = static_cast<float**>(HeapAlloc(sizeof(float*) * size_t(r->audioInputs)));
        for (int32_t i = 0; i < r->audioInputs; ++i) r->inputs[v][i] = &EngineZeroCell;
      }
    }
    if (r->stateWords > 0) {
      r->state = static_cast<TWord**>(HeapAlloc(sizeof(TWord*) * size_t(r->voices)));
      for (int32_t v = 0; v < r->voices; ++v)
        r->state[v] = static_cast<TWord*>(HeapAlloc(sizeof(TWord) * size_t(r->stateWords)));
    }
    if (r->eventOutputs > 0) {
      r->routeCounts = new int32_t[size_t(r->eventOutputs)]();
      r->routeRoutines = new TEventRoutine*[size_t(r->eventOutputs)]();
      r->routeTargets = new TEngineRecord**[size_t(r->eventOutputs)]();
    }
  } catch (...) {
    FreeArrays(r);
    delete r;
    throw;
  }
  for (int i = 0; i < 4; ++i) r->params[i].i = module->GetParamWord(i);
  if (module->IsCategory(1) || module->IsCategory(7))
    for (int i = 0; i < 3; ++i) r->sources[i].i = module->GetSourceWord(i);
  return r;
}

void FreeEngineRecord(TEngineRecord* record) {
  if (!record) return;
  FreeArrays(record);
  delete record;
}

void ReleaseModuleState(TEngineRecord* record, IEngineModule* module) {
  for (int i = 0; i < 4; ++i) module->SetParamWord(i, record->params[i].i);
  if (module->IsCategory(1) || module->IsCategory(7)) module->SetSourceWord(0, record->sources[0].i);
}

namespace {
void SetWord(TEngineRecord* r, int32_t voice, int32_t word, float value) {
  if (r->state && voice < r->voices && word < r->stateWords) r->state[voice][word].f = value;
}
} // namespace

void InitModuleState(TEngineRecord* r, IEngineModule* module, float rateFactor, int32_t driverOutputs,
                     TWord outputFill) {
  int32_t category = module->GetCategory();
  int32_t type = module->GetTypeIndex();
  if (module->IsType(kTypeSingleTriggerGate)) SetWord(r, 0, 1, -1.0f);
  if (module->IsType(kTypeSpread)) { // the voice number
    for (int32_t v = 0; v < r->voices; ++v) SetWord(r, v, 1, float(v));
  }
  if (category != kCatModule) return;
  switch (type) {
  case kTypeNoise.type:
  case kTypeRandom.type:
  case kTypeRandomize.type:
  case kTypeSlowRandom.type: // the seed of the random sequence
    for (int32_t v = 0; v < r->voices; ++v)
      if (r->state && r->stateWords > 1) r->state[v][1].u = 0xAFAA5505u;
    break;
  case kTypeEventProduct3.type:
  case kTypeEventProduct2.type:
  case kTypeEventProduct4.type: // products start from unit factors
    for (int32_t v = 0; v < r->voices; ++v)
      for (int32_t w = 1; w <= 4; ++w) SetWord(r, v, w, 1.0f);
    break;
  case kTypeLevelLamp.type: { // level lamp thresholds: the two parameter words in decibels
    // The lamp compares held peak powers: the square of the amplitude that
    // the engine's one decibel conversion gives.
    for (int32_t k = 0; k < 2; ++k) SetWord(r, 0, 2 + k, DecibelsToPower(r->params[k].f));
    break;
  }
  case kTypeAudioOut.type:
    if (rateFactor < 1.0f) {
      int32_t channels = module->GetInPortCount() - 2;
      if (driverOutputs < channels) channels = driverOutputs;
      for (int32_t k = 0; k < channels; ++k)
        for (int32_t w = 1; w <= 3; ++w)
          if (r->state && 3 * k + w < r->stateWords) r->state[0][3 * k + w] = outputFill;
    }
    break;
  default: break;
  }
}

bool AppendRoute(TEngineRecord* r, int32_t output, TEventRoutine routine, TEngineRecord* target) {
  if (!r || output < 0 || output >= r->eventOutputs) return false;
  int32_t& count = r->routeCounts[output];
  if (count >= kMaxRoutes) return false;
  if (!r->routeRoutines[output]) {
    r->routeRoutines[output] = new TEventRoutine[kMaxRoutes]();
    r->routeTargets[output] = new TEngineRecord*[kMaxRoutes]();
  }
  r->routeRoutines[output][count] = routine;
  r->routeTargets[output][count] = target;
  ++count;
  return true;
}

void RemoveRoute(TEngineRecord* r, int32_t output, TEventRoutine routine, TEngineRecord* target) {
  if (!r || output < 0 || output >= r->eventOutputs || !r->routeRoutines[output]) return;
  int32_t& count = r->routeCounts[output];
  for (int32_t i = 0; i < count; ++i) {
    if (r->routeRoutines[output][i] != routine || r->routeTargets[output][i] != target) continue;
    for (int32_t j = i; j + 1 < count; ++j) {
      r->routeRoutines[output][j] = r->routeRoutines[output][j + 1];
      r->routeTargets[output][j] = r->routeTargets[output][j + 1];
    }
    --count;
    if (count == 0) ClearRoutes(r, output);
    return;
  }
}

void ClearRoutes(TEngineRecord* r, int32_t output) {
  if (!r || output < 0 || output >= r->eventOutputs) return;
  r->routeCounts[output] = 0;
  delete[] r->routeRoutines[output];
  delete[] r->routeTargets[output];
  r->routeRoutines[output] = nullptr;
  r->routeTargets[output] = nullptr;
}
