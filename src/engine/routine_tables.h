// The tables that bind module types to routines, as the routine units fill
// them. An entry is written through a module type constant, and the write is
// checked where it stands: a type of another category, or an index outside
// the table, does not compile.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "src/engine/engine.h"
#include "src/engine/event_ids.h"
#include "src/engine/module_types.h"

// One event routine per event id.
constexpr int32_t kEventRoutineCount = kEventIdCount;

// Never defined: a module type key that calls it is not a constant, and the
// compiler names this function at the install that went wrong.
void ModuleTypeOutsideItsRoutineTable();

// A module type that has an entry in the tables of one category. Only a
// constant converts to it.
template <int32_t Category, int32_t Count> class TTypeKey {
public:
  consteval TTypeKey(TModuleType type) : index_(type.type) {
    if (type.category != Category || type.type < 0 || type.type >= Count) ModuleTypeOutsideItsRoutineTable();
  }
  constexpr int32_t Index() const { return index_; }

private:
  template <class, int32_t, int32_t> friend class TTypeTable;
  struct TAnyIndex {};
  constexpr TTypeKey(TAnyIndex, int32_t index) : index_(index) {}
  int32_t index_;
};

// One entry per index of a category; an empty entry means "none".
template <class R, int32_t Category, int32_t Count> class TTypeTable {
public:
  using TKey = TTypeKey<Category, Count>;

  R& operator[](TKey key) { return entries_[key.Index()]; }
  const R& operator[](TKey key) const { return entries_[key.Index()]; }
  // Gives every type of a list the same entry.
  void Fill(std::initializer_list<TKey> keys, R entry) {
    for (TKey key : keys) entries_[key.Index()] = entry;
  }
  // Calls f with the key of every index, for an install that asks each one.
  template <class F> void ForEachIndex(F f) {
    for (int32_t i = 0; i < Count; ++i) f(TKey(typename TKey::TAnyIndex{}, i));
  }
  // The entry of a type known only at run time (a module's, a file's): empty
  // for another category and for an index outside the table.
  R Find(int32_t category, int32_t type) const {
    return category == Category && type >= 0 && type < Count ? entries_[type] : R{};
  }

private:
  R entries_[Count] = {};
};

using TModuleKey = TTypeKey<kCatModule, kModuleTypeCount>;
template <class R> using TModuleTable = TTypeTable<R, kCatModule, kModuleTypeCount>;
template <class R> using TSourceTable = TTypeTable<R, kCatSource, kSourceTypeCount>;

struct TRoutineTables {
  TModuleTable<TAudioRoutine> audio;        // per-sample routines
  TModuleTable<TRecordRoutine> controlRate; // control-rate routines
  TSourceTable<TRecordRoutine> clockTick;   // clock-tick routines of the clock sources
  TModuleTable<TRecordRoutine> display;     // display-update routines
  // On the audio thread after every block, a display copies the output it
  // watches into a word of its own state, the only word the GUI thread then
  // reads (other modules' outputs are plain words of the audio thread).
  TModuleTable<TRecordRoutine> displayWatch;
  TModuleTable<TRecordRoutine> graph; // panel graph renderers
  TModuleTable<bool> wordMajor;       // types whose state is laid out word-major
  TEventRoutine event[kEventRoutineCount];
  // Tells a clock listener that the clock starts (1) or stops (0).
  void (*clockListener)(TEngineRecord* record, int32_t on);
};
