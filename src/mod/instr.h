// The instrument of an instrument module: its MIDI end and voice manager. It
// listens on one MIDI channel, keeps the lists of the panel and MIDI source
// modules that react to each kind of message, gives notes their voices (with
// unison voices and stealing), follows the sustain and sostenuto pedals and
// keeps 128 snapshots of its controls.
//
// Threads: the note, pedal, pressure, controller and program operations run
// on the MIDI thread, the setters on the GUI thread; every one of them runs
// holding the engine's mutex (the MIDI dispatch takes it, the setters take it
// here), so the MIDI thread never sees a setting half changed.
#pragma once

#include "platform/midi_kinds.h"
#include "src/base/str.h"
#include "src/engine/source_handlers.h"

#include <atomic>
#include <cstdint>

class KSModul;
class IMidiInOut;
struct TEngineRecord;

class KInstr : public IEngineInstr {
public:
  static constexpr int32_t kMaxVoices = 64;
  static constexpr int32_t kSnaps = 128;
  static constexpr int32_t kMaxSources = 400;
  static constexpr int32_t kFree = -300; // note of a free voice
  // The source lists.
  enum EList : int32_t {
    kNoteOnList = 0,
    kNoteOffList = 1,
    kPolyPressureList = 2,
    kPitchBendList = 3,
    kControllerList = 4,
    kChannelPressureList = 5,
    kProgramList = 6,
    kSnapList = 7,
    kLists = 8,
  };

  explicit KInstr(KSModul* owner);
  virtual ~KInstr();
  KInstr(const KInstr&) = delete;
  KInstr& operator=(const KInstr&) = delete;

  KSModul* GetOwner() const { return owner_; }

  // ---- Notes and pedals (MIDI thread)
  void NoteOn(int32_t note, int32_t velocity);
  // The dispatch passes the release velocity negated.
  void NoteOff(int32_t note, int32_t velocity);
  void SustainOn();
  void SustainOff();
  void SostenutoOn();
  void SostenutoOff();
  void PolyPressure(int32_t note, int32_t value);
  // Every controller handler with (record, controller, value, 0, 0).
  void Controller(int32_t controller, int32_t value);
  void PitchBend(int32_t lsb, int32_t msb);
  void ChannelPressure(int32_t value);
  // Every program-change source gets the program.
  void ProgramChange(int32_t program);

  // ---- Voices
  int32_t GetVoices() const { return voices_; }
  int32_t GetMaxUnison() const { return maxUnison_; }
  int32_t GetMinUnison() const { return minUnison_; }
  // -1 leaves a value unchanged. Voices are held to 1 ... 64, max unison to
  // 1 ... voices, min unison to 1 ... max unison. A new voice count rebuilds
  // processing and frees every voice.
  void SetVoices(int32_t voices, int32_t maxUnison, int32_t minUnison);
  // Stores a voice count, held to 1 ... 64, without rebuilding (the engine's
  // own set-up and tests of it).
  void SetVoiceCount(int32_t voices);
  // The note a voice plays (kFree when free) and its unison rank.
  int32_t GetVoiceNote(int32_t voice) const { return note_[voice]; }
  int32_t GetVoiceRank(int32_t voice) const { return rank_[voice]; }
  // The voice ring from the newest voice on: each link leads to the next older one.
  int32_t GetNewestVoice() const { return prev_[head_]; }
  int32_t GetVoiceLink(int32_t voice) const { return prev_[voice]; }
  bool IsHeldBySustain(int32_t voice) const { return heldSustain_[voice] != 0; }
  int32_t GetPlayingVoiceCount() const;
  bool IsSustainDown() const { return sustainDown_ != 0; }

  // ---- Tuning
  float GetTune() const override { return tune_; }
  float GetOwnTune() const { return ownTune_; }
  // Sets the own tune (unless inheritOnly) and passes the effective tune down
  // the instrument tree.
  void SetTune(float value, bool inheritOnly);
  float GetUnisonSpread() const override { return spread_; }
  void SetUnisonSpread(float spread);

  // ---- MIDI settings
  // 1 ... 16, as the user sees it.
  int32_t GetMidiChannel() const { return channel_ + 1; }
  int32_t GetChannelIndex() const { return channel_; }
  void SetMidiChannel(int32_t channel);
  int32_t GetLowerKey() const { return lowerKey_; }
  int32_t GetUpperKey() const { return upperKey_; }
  void SetKeyRange(int32_t lower, int32_t upper);
  int32_t GetNoteShift() const { return noteShift_; }
  void SetNoteShift(int32_t shift);
  int32_t GetSustainController() const { return sustainController_; }
  void SetSustainController(int32_t number);
  int32_t GetHoldController() const { return holdController_; }
  void SetHoldController(int32_t number);
  bool IsSnapRecallByMidi() const { return recallByMidi_ != 0; }
  void SetSnapRecallByMidi(bool on);
  // MIDI learn: while on, the next controller moved twice is assigned to
  // the panel control marked for learning.
  bool GetControllerMode() const { return controllerMode_.load() != 0; }
  // Any thread (MIDI input switches it off): a change is told to the host.
  void SetControllerMode(bool on);

  // ---- Instrument-wide panel settings (pushed to every panel module)
  bool IsAllIncremental() const { return allIncremental_ != 0; }
  void SetAllIncremental(bool on);
  bool IsPanelToMidiOut() const { return panelToMidi_ != 0; }
  void SetPanelToMidiOut(bool on);
  bool IsRemoteToMidiOut() const { return remoteToMidi_ != 0; }
  // Panel controls pick a moved hardware controller up only once it passes
  // their value.
  bool IsSoftTakeover() const { return softTakeover_ != 0; }
  void SetSoftTakeover(bool on);
  void SetRemoteToMidiOut(bool on);
  bool IsStructureHidden() const { return structureHidden_ != 0; }
  void SetStructureHidden(bool on) { structureHidden_ = on ? 1 : 0; }

  // ---- Source lists
  // Registers a module that has just entered processing by its type and
  // remote settings. A full list raises an error and adds nothing to it.
  void AddSource(KSModul* module);
  // Removes the record from every list and from the clock listeners.
  void RemoveSource(TEngineRecord* record);
  void AddSnapControl(TEngineRecord* record);
  void RemoveSnapControl(TEngineRecord* record);
  int32_t GetSourceCount(int32_t list) const { return counts_[list]; }
  TEngineRecord* GetSource(int32_t list, int32_t i) const { return records_[list][i]; }

  // ---- Snapshots
  void StoreSnap(int32_t number, const TStr& name);
  // Recalls a snapshot; `source` is the observer not to be told. By-parent
  // maps the number through the parent-snapshot map first.
  void RecallSnap(int32_t number, const void* source, bool byParent);
  void DeleteSnap(int32_t number);
  bool IsSnapStored(int32_t number) const { return InSnapRange(number) && stored_[number] != 0; }
  const TStr& GetSnapName(int32_t number) const;
  int32_t GetCurrentSnap() const;
  bool IsProgramMapEnabled() const { return recallByParent_ != 0; }
  void SetProgramMapEnabled(bool on);
  int32_t GetParentSnapMap(int32_t number) const { return InSnapRange(number) ? parentMap_[number] : -1; }
  // Raised while a recall sends control values (event routines read it).
  static int32_t GetRecallDepth();
  // Counts recalls that set controls; views compare it to refresh.
  int32_t GetRecallCount() const { return recallCount_.load(); }

private:
  // The recall itself, under the engine mutex, for this instrument and the
  // ones inside it.
  void RecallSnapSteps(int32_t number, const void* source, bool byParent);
  friend class KModulFile;
  static bool InSnapRange(int32_t n) { return n >= 0 && n < kSnaps; }
  void BuildRing();
  void Unlink(int32_t v);
  void LinkBetween(int32_t v, int32_t p, int32_t n);
  void MoveAfter(int32_t v, int32_t p);
  void MoveBefore(int32_t v, int32_t a);
  int32_t TakeVoice(int32_t k, int32_t after);
  void Release(int32_t v);
  void EndVoice(int32_t v, int32_t velocity);
  void Append(int32_t list, TEngineRecord* record, TSourceHandler handler, bool front = false);
  void RemoveFrom(int32_t list, TEngineRecord* record);
  IMidiInOut* Midi() const;

  KSModul* owner_;
  int32_t voices_;
  int32_t maxUnison_ = 1;
  int32_t minUnison_ = 1;
  int32_t snapMaxUnison_[kSnaps];
  int32_t snapMinUnison_[kSnaps];
  int32_t lowerKey_ = 0;
  int32_t upperKey_ = 127;
  int32_t noteShift_ = 0;
  int32_t sustainController_ = midi::kSustainPedal;
  int32_t holdController_ = midi::kSostenutoPedal;
  float tune_ = 0.0f;
  float ownTune_ = 0.0f;
  float spread_ = 0.05f;
  float snapSpread_[kSnaps];
  int32_t channel_ = 0;
  int32_t recallByMidi_ = 0;
  int32_t recallByParent_ = 0;
  int32_t parentMap_[kSnaps];
  TStr snapNames_[kSnaps];
  int32_t stored_[kSnaps] = {};
  int32_t counts_[kLists] = {};
  TEngineRecord* records_[kLists][kMaxSources] = {};
  TSourceHandler handlers_[kLists][kMaxSources] = {};
  int32_t sustainDown_ = 0;
  int32_t allIncremental_ = 0;
  int32_t softTakeover_ = 0;
  int32_t panelToMidi_ = 0;
  int32_t remoteToMidi_ = 0;
  int32_t next_[kMaxVoices] = {};
  int32_t prev_[kMaxVoices] = {};
  int32_t note_[kMaxVoices] = {};
  int32_t rank_[kMaxVoices] = {};
  int32_t heldSustain_[kMaxVoices] = {};
  int32_t heldSostenuto_[kMaxVoices] = {};
  int32_t lastFree_ = -1;
  int32_t head_ = 0;
  std::atomic<int32_t> recallCount_{0};
  std::atomic<int32_t> controllerMode_{0};
  int32_t structureHidden_ = 0;
  int32_t registeredChannel_ = -1;
};
