// The engine's records and routine slots: what every routine
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

// One voice's state words, wherever the record's layout puts them: word k
// of the voice is view[k].
struct TVoiceWords {
  TWord* first = nullptr;
  int32_t stride = 1;
  TWord& operator[](int32_t k) const { return first[k * stride]; }
  explicit operator bool() const { return first != nullptr; }
};

// A record's state words, all voices in one allocation, laid out one of two
// ways. Word-major: each state word is an array over the voices (aligned for
// vector loads), so a routine runs one loop over its voices; the types whose
// routines do that ask for it (TRoutineTables::wordMajor). Voice-major: each
// voice's words together, for the types whose per-voice records hold
// pointers and buffers and are used as structs. Code outside the routines
// reaches a word through state[voice][word] either way.
struct TStateWords {
  TWord* words = nullptr;
  int32_t wordStride = 0;  // from a voice's word k to its word k + 1
  int32_t voiceStride = 0; // from voice v's word k to voice v + 1's
  explicit operator bool() const { return words != nullptr; }
  TVoiceWords operator[](int32_t voice) const { return {words + voice * voiceStride, wordStride}; }
  bool IsWordMajor() const { return wordStride != 1; }
  // Word-major: word k of every voice, voice v at [v].
  TWord* Row(int32_t k) const { return words + k * wordStride; }
  // Voice-major: the voice's words as one contiguous record.
  TWord* Contiguous(int32_t voice) const { return IsWordMajor() ? nullptr : words + voice * voiceStride; }
  template <class T> T* Record(int32_t voice) const { return reinterpret_cast<T*>(Contiguous(voice)); }
};

// Walks the voice records of a voice-major state, one after the other, for a
// routine's loop over its voices. It is a copy taken before the loop: the
// routine's stores into the records can then never make the compiler read
// the base and the stride again, and the next record is one addition away
// (no multiplication, no layout test per voice).
struct TVoiceRecords {
  TWord* next;
  int32_t stride;
  explicit TVoiceRecords(const TStateWords& s) : next(s.words), stride(s.voiceStride) {}
  // The current voice's record; the walk moves on to the next voice.
  TWord* Take() {
    TWord* w = next;
    next += stride;
    return w;
  }
};

// How the addresses of one audio input run over the voices, found whenever
// the wires change, so that a per-sample loop over the voices reads the
// input as one plain array.
enum : int32_t {
  kInputLinear = 0,    // voice v reads base[v] (a word-major source of as many voices, or one voice)
  kInputShared = 1,    // every voice reads *base (a mono source, the zero cell)
  kInputScattered = 2, // anything else: read through the per-voice pointers
};
struct TInputPlan {
  const float* base = nullptr;
  int32_t kind = kInputShared;
  // A shared input's row holds these bits in every voice (rowFilled): most
  // shared sources (panel values, control-rate sources) seldom change.
  bool rowFilled = false;
  uint32_t rowBits = 0;
};

// The processing state of one module. The per-voice arrays come from the
// engine heap; the route arrays of an event output are allocated on first use.
struct TEngineRecord {
  float*** inputs = nullptr;     // per voice: one float pointer per audio input
  TStateWords state;             // the type's state words of every voice
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
  // Per audio input: how its addresses run over the voices.
  TInputPlan* inputPlans = nullptr;
  // Word-major types: a row per audio input (stateWords' row length) that
  // an input not read as a plain array is copied into for one sample.
  float* inputRows = nullptr;
  // The blocks the arrays above live in.
  void* stateBlock = nullptr;
  void* inputBlock = nullptr;

  // Address of an output value (a state word) of one voice.
  float* Output(int32_t voice, int32_t index) const { return &state[voice][index].f; }
};

// Finds how input k's addresses run over the voices; called whenever they
// change (wires, muting, a rebuilt source).
void ResolveAudioInput(TEngineRecord* record, int32_t k);
// Input k of every voice as one array, for a per-sample loop over the
// voices: the source itself, or the input's row filled for this sample.
const float* InputRow(const TEngineRecord* record, int32_t k);

// The shared cell every unconnected audio input points at; always 0.0.
extern float EngineZeroCell;

// The routine slots, run in order by the block loop. Written only under the
// engine lock; the block loop reads them under the same lock.
struct TSlotTables {
  TAudioRoutine routines[kMaxSlots];
  float** const* inputs[kMaxSlots];
  const TStateWords* states[kMaxSlots];
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
inline const TStateWords& SlotStates() { return *EngineSlots.states[CurrentSlot]; }
inline int32_t SlotVoices() { return EngineSlots.voices[CurrentSlot]; }

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
