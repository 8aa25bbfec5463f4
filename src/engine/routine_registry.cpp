#include "src/engine/routine_registry.h"

#include "src/engine/audio_routines.h"
#include "src/engine/control_routines.h"
#include "src/engine/display_routines.h"
#include "src/engine/event_routines.h"
#include "src/engine/graph_render.h"
#include "src/engine/sampler_routines.h"
#include "src/engine/source_handlers.h"

namespace {

void NoEvent(TEngineRecord*, int32_t, float) {}

} // namespace

TRoutineTables& RoutineTables() {
  static TRoutineTables tables = [] {
    TRoutineTables t = {};
    InstallEventRoutines(t);
    InstallAudioRoutines(t);
    InstallControlRoutines(t);
    InstallDisplayRoutines(t);
    InstallGraphRenderers(t);
    InstallSamplerRoutines(t);
    InstallBufferRoutines(t);
    InstallSourceHandlers(t);
    return t;
  }();
  return tables;
}

TAudioRoutine FindAudioRoutine(int32_t category, int32_t type) { return RoutineTables().audio.Find(category, type); }

TRecordRoutine FindControlRateRoutine(int32_t category, int32_t type) {
  return RoutineTables().controlRate.Find(category, type);
}

TRecordRoutine FindClockTickRoutine(int32_t category, int32_t type) {
  return RoutineTables().clockTick.Find(category, type);
}

TRecordRoutine FindDisplayUpdateRoutine(int32_t category, int32_t type) {
  return RoutineTables().display.Find(category, type);
}

TRecordRoutine FindDisplayWatchRoutine(int32_t category, int32_t type) {
  return RoutineTables().displayWatch.Find(category, type);
}

TRecordRoutine GetGraphRenderer(int32_t category, int32_t type) { return RoutineTables().graph.Find(category, type); }

bool IsWordMajorType(int32_t category, int32_t type) { return RoutineTables().wordMajor.Find(category, type); }

TEventRoutine GetEventRoutine(int32_t id) {
  if (id < 0 || id >= kEventRoutineCount) return NoEvent;
  TEventRoutine r = RoutineTables().event[id];
  return r ? r : NoEvent;
}
