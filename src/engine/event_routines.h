// Event-rate routines: what a module does with a value arriving on one of
// its event inputs, and how it sends values on its event outputs.
#pragma once

#include <cstdint>

#include "src/engine/engine.h"
#include "src/engine/routine_tables.h"

class IMidiOutput;
class IEngineModule;

// What the event routines need of the ensemble around a module. The model
// installs one; without it MIDI output is silent and tune changes are
// dropped.
class IEventHost {
public:
  virtual ~IEventHost() = default;
  // The MIDI output of the module's ensemble (null: none).
  virtual IMidiOutput* MidiOutput(IEngineModule* module) = 0;
  // The MIDI channel of the module's instrument as stored, 0 ... 15.
  virtual int32_t MidiChannel(IEngineModule* module) = 0;
  // The "Tune" input of an Audio Out module: the instrument's tune.
  virtual void SetTune(IEngineModule* module, float tune) = 0;
};
void SetEventHost(IEventHost* host);
IEventHost* GetEventHost();

// Fills the event entries of the ids this unit serves; the entries of other
// ids are left as they are. The routine tables call it when they are made.
void InstallEventRoutines(TRoutineTables& tables);

// The sending rule: value v leaves event output `output` of the sender. A
// one-voice sender calls each destination once for every voice of the
// destination; a polyphonic sender calls it once, for `voice`. Sends nested
// deeper than a hundred (a wire loop) are dropped.
void SendEvent(TEngineRecord* sender, int32_t output, int32_t voice, float v);
// Sends to every voice of every destination, whatever the sender's voices.
void SendEventToAll(TEngineRecord* sender, int32_t output, float v);

// True while the model rebuilds processing, resets or recalls a snapshot:
// gate, divider and timer events are then ignored.
bool EngineResetting();
