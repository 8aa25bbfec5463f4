#include "src/engine/module_types.h"
#include "src/engine/setup.h"

#include "src/engine/routine_registry.h"
#include "src/engine/tables.h"
#include "src/engine/voice_state.h"

#include <cmath>
#include <cstring>
#include <new>

IHeap& EngineHeap() {
  static IHeap* heap = CastToHeap(CreateHeapOfSize(0));
  return *heap;
}

namespace {

// Word-major rows hold a multiple of this many voices and start on a
// boundary of this many bytes, so that whole vectors load and store.
constexpr int32_t kRowVoices = 16;
constexpr size_t kRowAlign = 64;
// Voice-major records start on pointer boundaries (their structs may hold pointers).
constexpr int32_t kRecordWordAlign = int32_t(alignof(void*) / sizeof(TWord));

void* HeapAlloc(size_t size) {
  if (size == 0) return nullptr;
  void* block = EngineHeap().Alloc(uint32_t(size));
  if (!block) throw std::bad_alloc();
  std::memset(block, 0, size);
  return block;
}

// The first row-aligned address in a block allocated kRowAlign bytes larger.
template <class T> T* Aligned(void* block) {
  const uintptr_t p = (reinterpret_cast<uintptr_t>(block) + kRowAlign - 1) & ~uintptr_t(kRowAlign - 1);
  return reinterpret_cast<T*>(p);
}

int32_t RoundUp(int32_t n, int32_t step) { return (n + step - 1) / step * step; }

void FreeArrays(TEngineRecord* r) {
  IHeap& heap = EngineHeap();
  if (r->inputBlock) heap.Free(r->inputBlock);
  if (r->stateBlock) heap.Free(r->stateBlock);
  r->inputBlock = r->stateBlock = nullptr;
  r->inputs = nullptr;
  r->inputPlans = nullptr;
  r->inputRows = nullptr;
  r->state = {};
  if (r->routeCounts) {
    for (int32_t k = 0; k < r->eventOutputs; ++k) ClearRoutes(r, k);
  }
  delete[] r->routeCounts;
  delete[] r->routeRoutines;
  delete[] r->routeTargets;
}

bool IsWordMajorType(IEngineModule* module) {
  return ::IsWordMajorType(module->GetCategory(), module->GetTypeIndex());
}

} // namespace

TEngineRecord* BuildEngineRecord(IEngineModule* module, int32_t voices) {
  auto* r = new TEngineRecord;
  r->module = module;
  r->voices = voices < 1 ? 1 : voices;
  r->eventOutputs = module->GetEventOutputCount();
  r->audioInputs = module->GetAudioInputCount();
  r->stateWords = module->GetStateWordCount();
  const bool wordMajor = IsWordMajorType(module);
  const int32_t rowVoices = RoundUp(r->voices, kRowVoices);
  try {
    // One block: the state words of every voice.
    if (r->stateWords > 0) {
      if (wordMajor) {
        r->stateBlock = HeapAlloc(sizeof(TWord) * size_t(r->stateWords) * size_t(rowVoices) + kRowAlign);
        r->state = {Aligned<TWord>(r->stateBlock), rowVoices, 1};
      } else {
        const int32_t stride = RoundUp(r->stateWords, kRecordWordAlign);
        r->stateBlock = HeapAlloc(sizeof(TWord) * size_t(stride) * size_t(r->voices) + kRowAlign);
        r->state = {Aligned<TWord>(r->stateBlock), 1, stride};
      }
    }
    // One block: the per-voice pointer arrays, the input plans and, for the
    // word-major types, the input rows.
    if (r->audioInputs > 0) {
      const size_t pointers = size_t(r->voices) * (1 + size_t(r->audioInputs));
      const size_t rows = wordMajor ? size_t(r->audioInputs) * size_t(rowVoices) : 0;
      const size_t rowBytes = RoundUp(int32_t(sizeof(float) * rows), int32_t(kRowAlign));
      const size_t planBytes = sizeof(TInputPlan) * size_t(r->audioInputs);
      const size_t pointerBytes = sizeof(float*) * pointers;
      r->inputBlock = HeapAlloc(kRowAlign + rowBytes + planBytes + pointerBytes);
      char* p = Aligned<char>(r->inputBlock);
      if (rows > 0) r->inputRows = reinterpret_cast<float*>(p);
      p += rowBytes;
      r->inputPlans = new (p) TInputPlan[size_t(r->audioInputs)];
      p += planBytes;
      r->inputs = reinterpret_cast<float***>(p);
      float** row = reinterpret_cast<float**>(p) + r->voices;
      for (int32_t v = 0; v < r->voices; ++v, row += r->audioInputs) {
        r->inputs[v] = row;
        for (int32_t i = 0; i < r->audioInputs; ++i) row[i] = &EngineZeroCell;
      }
      for (int32_t i = 0; i < r->audioInputs; ++i) ResolveAudioInput(r, i);
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

void ResolveAudioInput(TEngineRecord* r, int32_t k) {
  if (!r || !r->inputs || !r->inputPlans || k < 0 || k >= r->audioInputs) return;
  const float* first = r->inputs[0][k];
  bool linear = true, shared = true;
  for (int32_t v = 1; v < r->voices; ++v) {
    const float* p = r->inputs[v][k];
    linear = linear && p == first + v;
    shared = shared && p == first;
  }
  // A module wired to its own outputs reads a copy: the voice loops take
  // their input and state arrays as never overlapping.
  if (linear && r->state.IsWordMajor()) {
    const float* begin = &r->state.words[0].f;
    const float* end = begin + size_t(r->stateWords) * size_t(r->state.wordStride);
    if (first + r->voices > begin && first < end) linear = shared = false;
  }
  TInputPlan& plan = r->inputPlans[k];
  plan.base = first;
  plan.kind = linear ? kInputLinear : shared ? kInputShared : kInputScattered;
  plan.rowFilled = false;
}

const float* InputRow(const TEngineRecord* r, int32_t k) {
  TInputPlan& plan = r->inputPlans[k];
  if (plan.kind == kInputLinear) return plan.base;
  float* row = r->inputRows + size_t(k) * size_t(r->state.wordStride);
  const int32_t voices = r->voices;
  if (plan.kind == kInputShared) {
    TWord x;
    x.f = *plan.base;
    if (plan.rowFilled && plan.rowBits == x.u) return row;
    for (int32_t v = 0; v < voices; ++v) row[v] = x.f;
    plan.rowFilled = true;
    plan.rowBits = x.u;
  } else {
    float** const* inputs = r->inputs;
    for (int32_t v = 0; v < voices; ++v) row[v] = *inputs[v][k];
  }
  return row;
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
  if (module->IsType(kTypeSingleTriggerGate)) SetWord(r, 0, QV_WORD_AT(GateSourceState, voice), -1.0f);
  if (module->IsType(kTypeSpread)) { // the voice number
    for (int32_t v = 0; v < r->voices; ++v) SetWord(r, v, QV_WORD_AT(SpreadState, rank), float(v));
  }
  if (category != kCatModule) return;
  switch (type) {
  case kTypeNoise.type:
  case kTypeRandom.type:
  case kTypeRandomize.type:
  case kTypeSlowRandom.type: { // the seed of the random sequence
    constexpr int32_t kReg = QV_WORD_AT(NoiseState, reg);
    static_assert(QV_WORD_AT(RandomOscState, reg) == kReg && QV_WORD_AT(RandomizeState, reg) == kReg &&
                      QV_WORD_AT(SlowRandomState, reg) == kReg,
                  "the random types keep their shift register in one word");
    for (int32_t v = 0; v < r->voices; ++v)
      if (r->state && r->stateWords > kReg) r->state[v][kReg].u = 0xAFAA5505u;
    break;
  }
  case kTypeEventProduct3.type:
  case kTypeEventProduct2.type:
  case kTypeEventProduct4.type: // products start from unit factors
    for (int32_t v = 0; v < r->voices; ++v)
      for (int32_t k = 0; k < 4; ++k) SetWord(r, v, QV_WORD_AT(EventProductState, in) + k, 1.0f);
    break;
  case kTypeLevelLamp.type: { // level lamp thresholds: the two parameter words in decibels
    // The lamp compares held peak powers: the square of the amplitude that
    // the engine's one decibel conversion gives.
    static_assert(QV_WORD_AT(LevelLampState, high) == QV_WORD_AT(LevelLampState, low) + 1, "low, then high");
    for (int32_t k = 0; k < 2; ++k) SetWord(r, 0, QV_WORD_AT(LevelLampState, low) + k, DecibelsToPower(r->params[k].f));
    break;
  }
  case kTypeAudioOut.type:
    if (rateFactor < 1.0f) {
      int32_t channels = module->GetInPortCount() - 2;
      if (driverOutputs < channels) channels = driverOutputs;
      // Every channel count shares the layout of the first channels.
      using Out = AudioOutState<8>;
      constexpr int32_t kHistory = QV_WORD_AT(Out, channel[0].history);
      constexpr int32_t kChannelWords = QV_WORD_AT(Out, channel[1]) - QV_WORD_AT(Out, channel[0]);
      for (int32_t k = 0; k < channels; ++k)
        for (int32_t h = 0; h < 3; ++h) {
          const int32_t w = kHistory + kChannelWords * k + h;
          if (r->state && w < r->stateWords) r->state[0][w] = outputFill;
        }
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
