#include "src/engine/engine.h"


float EngineZeroCell = 0.0f;
TSlotTables EngineSlots = {};
int32_t CurrentSlot = 0;
std::atomic<int32_t> StructureChangeDepth{0};

namespace {

// Removes the first entry equal to record from a parallel pair of arrays.
template <class R> void RemoveFirst(R* routines, TEngineRecord** records, int32_t& count, TEngineRecord* record) {
  for (int32_t i = 0; i < count; ++i) {
    if (records[i] != record) continue;
    for (int32_t j = i; j + 1 < count; ++j) {
      routines[j] = routines[j + 1];
      records[j] = records[j + 1];
    }
    --count;
    routines[count] = nullptr;
    records[count] = nullptr;
    return;
  }
}

template <class R> bool Append(R* routines, TEngineRecord** records, int32_t& count, int32_t limit, R routine,
                               TEngineRecord* record) {
  if (count >= limit) return false;
  routines[count] = routine;
  records[count] = record;
  ++count;
  return true;
}

} // namespace

void InsertSlot(int32_t position, TAudioRoutine routine, TEngineRecord* record) {
  TSlotTables& s = EngineSlots;
  if (s.count >= kMaxSlots || position < 0 || position > s.count) return;
  for (int32_t i = s.count; i > position; --i) {
    s.routines[i] = s.routines[i - 1];
    s.inputs[i] = s.inputs[i - 1];
    s.states[i] = s.states[i - 1];
    s.voices[i] = s.voices[i - 1];
    s.records[i] = s.records[i - 1];
  }
  s.routines[position] = routine;
  s.inputs[position] = record->inputs;
  s.states[position] = &record->state;
  s.voices[position] = record->voices;
  s.records[position] = record;
  ++s.count;
}

void RemoveRecordFromSlots(TEngineRecord* record) {
  TSlotTables& s = EngineSlots;
  for (int32_t i = 0; i < s.count; ++i) {
    if (s.records[i] != record) continue;
    for (int32_t j = i; j + 1 < s.count; ++j) {
      s.routines[j] = s.routines[j + 1];
      s.inputs[j] = s.inputs[j + 1];
      s.states[j] = s.states[j + 1];
      s.voices[j] = s.voices[j + 1];
      s.records[j] = s.records[j + 1];
    }
    --s.count;
    s.routines[s.count] = nullptr;
    s.inputs[s.count] = nullptr;
    s.states[s.count] = nullptr;
    s.voices[s.count] = 0;
    s.records[s.count] = nullptr;
    --i; // a record holds at most one slot, but never leave a stale one behind
  }
  RemoveFirst(s.controlRoutines, s.controlRecords, s.controlCount, record);
  RemoveFirst(s.tickRoutines, s.tickRecords, s.tickCount, record);
  RemoveFirst(s.displayRoutines, s.displayRecords, s.displayCount, record);
  RemoveFirst(s.watchRoutines, s.watchRecords, s.watchCount, record);
}

bool AddControlRateEntry(TRecordRoutine routine, TEngineRecord* record) {
  TSlotTables& s = EngineSlots;
  return Append(s.controlRoutines, s.controlRecords, s.controlCount, kMaxControlRate, routine, record);
}

bool AddClockTickEntry(TRecordRoutine routine, TEngineRecord* record) {
  TSlotTables& s = EngineSlots;
  return Append(s.tickRoutines, s.tickRecords, s.tickCount, kMaxClockTick, routine, record);
}

bool AddDisplayEntry(TRecordRoutine routine, TEngineRecord* record) {
  TSlotTables& s = EngineSlots;
  return Append(s.displayRoutines, s.displayRecords, s.displayCount, kMaxDisplay, routine, record);
}

bool AddDisplayWatchEntry(TRecordRoutine routine, TEngineRecord* record) {
  TSlotTables& s = EngineSlots;
  return Append(s.watchRoutines, s.watchRecords, s.watchCount, kMaxDisplay, routine, record);
}

void PublishDisplayInputs() {
  const TSlotTables& s = EngineSlots;
  for (int32_t i = 0; i < s.watchCount; ++i) s.watchRoutines[i](s.watchRecords[i]);
}
