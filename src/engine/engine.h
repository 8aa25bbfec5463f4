// The engine's records, routine slots and routine tables: what every routine
// reads while the block loop runs.
#pragma once

#include <atomic>
#include <cstdint>

#include "src/engine/engine_module.h"
#include "src/engine/word.h"

struct TEngineRecord;

// A per-sample routine: finds its data through the current slot index.
using TAudioRoutine = void (*)();
// Control-rate, clock-tick and display-update routines take the module's record.
using TRecordRoutine = void (*)(TEngineRecord* record);
// An event routine: (receiving record, voice, value).
using TEventRoutine = void (*)(TEngineRecord* record, int32_t voice, float value);


constexpr int32_t kMaxRoutes = 20;          // event routes per event output
constexpr int32_t kMaxSlots = 800;          // per-sample routine slots
constexpr int32_t kMaxControlRate = 200;    // control-rate list
constexpr int32_t kMaxClockTick = 200;      // clock-tick list
constexpr int32_t kMaxDisplay = 400;        // display-update list
constexpr int32_t kEventRoutineCount = 146; // event routine ids 0 .. 145

// The processing state of one module. The per-voice arrays come from the
// engine heap; the route arrays of an event output are allocated on first use.
struct TEngineRecord {
  float*** inputs = nullptr;     // per voice: one float pointer per audio input
  TWord** state = nullptr;  // per voice: the type's state words
  int32_t voices = 0;
  int32_t* routeCounts = nullptr;             // per event output
  TEventRoutine** routeRoutines = nullptr;    // per event output: 20 routines
  TEngineRecord*** routeTargets = nullptr;    // per event output: 20 records
  IEngineModule* module = nullptr;
  TWord params[4] = {};
  TWord sources[4] = {};
  // Sizes the record was built with (the module's counts may change later).
  int32_t eventOutputs = 0;
  int32_t audioInputs = 0;
  int32_t stateWords = 0;
  // Panel controls and MIDI sources: the range and the value and snapshot
  // tables of the module (owned by the module, which outlives its record).
  // The step (last sent position) is sources[0], the last received
  // controller value sources[2].
  float minimum = 0.0f;
  float maximum = 1.0f;
  const float* valueTable = nullptr;
  const int32_t* snapSteps = nullptr;

  // Address of an output value (a state word) of one voice.
  float* Output(int32_t voice, int32_t index) const { return &state[voice][index].f; }
};

// The shared cell every unconnected audio input points at; always 0.0.
extern float EngineZeroCell;

// The routine slots, run in order by the block loop. Written only under the
// engine lock; the block loop reads them under the same lock.
struct TSlotTables {
  TAudioRoutine routines[kMaxSlots];
  float** const* inputs[kMaxSlots];
  TWord* const* states[kMaxSlots];
  int32_t voices[kMaxSlots];
  TEngineRecord* records[kMaxSlots];
  int32_t count;

  TRecordRoutine controlRoutines[kMaxControlRate];
  TEngineRecord* controlRecords[kMaxControlRate];
  int32_t controlCount;
  TRecordRoutine tickRoutines[kMaxClockTick];
  TEngineRecord* tickRecords[kMaxClockTick];
  int32_t tickCount;
  TRecordRoutine displayRoutines[kMaxDisplay];
  TEngineRecord* displayRecords[kMaxDisplay];
  int32_t displayCount;
  // Displays that watch another module's output: the block loop copies what
  // they watch into their own state after every block.
  TRecordRoutine watchRoutines[kMaxDisplay];
  TEngineRecord* watchRecords[kMaxDisplay];
  int32_t watchCount;
};
extern TSlotTables EngineSlots;
// Index of the slot being run; every per-sample routine reads it.
extern int32_t CurrentSlot;

// What a per-sample routine reads of its own slot.
inline TEngineRecord* SlotRecord() { return EngineSlots.records[CurrentSlot]; }
inline float** const* SlotInputs() { return EngineSlots.inputs[CurrentSlot]; }
inline TWord* const* SlotStates() { return EngineSlots.states[CurrentSlot]; }
inline int32_t SlotVoices() { return EngineSlots.voices[CurrentSlot]; }

// The tables that bind module types to routines. The routine units fill the
// entries of the types they implement; an empty entry means "no routine".
struct TRoutineTables {
  TAudioRoutine audio[200];        // category 0 per-sample routines
  TRecordRoutine controlRate[200]; // category 0 control-rate routines
  TRecordRoutine clockTick[27];    // category 1 clock-tick routines
  TRecordRoutine display[200];     // category 0 display-update routines
  // Category 0: on the audio thread after every block, a display copies the
  // output it watches into a word of its own state, the only word the GUI
  // thread then reads (other modules' outputs are plain words of the audio
  // thread).
  TRecordRoutine displayWatch[200];
  TRecordRoutine graph[200];       // category 0 panel graph renderers
  TEventRoutine event[kEventRoutineCount];
  // Tells a clock listener that the clock starts (1) or stops (0).
  void (*clockListener)(TEngineRecord* record, int32_t on);
};
TRoutineTables& RoutineTables();

// Lookups by module type; none for types without a routine of that kind.
TAudioRoutine FindAudioRoutine(int32_t category, int32_t type);
TRecordRoutine FindControlRateRoutine(int32_t category, int32_t type);
TRecordRoutine FindClockTickRoutine(int32_t category, int32_t type);
TRecordRoutine FindDisplayUpdateRoutine(int32_t category, int32_t type);
TRecordRoutine FindDisplayWatchRoutine(int32_t category, int32_t type);
TRecordRoutine FindGraphRenderer(int32_t category, int32_t type);
// The event routine of an id; ids without a routine (and ids outside the
// table) answer a routine that does nothing, so a caller never needs a check.
TEventRoutine GetEventRoutine(int32_t id);

// Raised while the model rebuilds or resets processing; event routines read it.
extern std::atomic<int32_t> StructureChangeDepth;

// Slot-table edits; the caller holds the engine lock.
// Installs a routine for record at position (0 ... count), later slots move up.
void InsertSlot(int32_t position, TAudioRoutine routine, TEngineRecord* record);
// Removes every entry of the record from the slots and the four lists.
void RemoveRecordFromSlots(TEngineRecord* record);
// Appends to a list; false when the list is full.
bool AddControlRateEntry(TRecordRoutine routine, TEngineRecord* record);
bool AddClockTickEntry(TRecordRoutine routine, TEngineRecord* record);
bool AddDisplayEntry(TRecordRoutine routine, TEngineRecord* record);
bool AddDisplayWatchEntry(TRecordRoutine routine, TEngineRecord* record);
// Runs the display watch list; the block loop calls it after every block.
void PublishDisplayInputs();
