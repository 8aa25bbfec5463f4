// Handlers of the panel and MIDI source modules: they turn one MIDI datum
// into an output value, store it in the source's voice state and send it to
// every connected event input. The instrument keeps them in its lists, the
// MIDI dispatch walks those lists; control undo and snapshot recall set a
// control through SendControlStep.
#pragma once

#include "src/engine/engine.h"
#include "src/engine/routine_tables.h"

#include <cstdint>

// Parameter words of a source's or a control's record that the handlers read.
enum : int32_t {
  // The controller or note number the source answers to.
  kSourceNumberParam = 2,
  // Soft takeover (pick-up): not 0 when an incoming controller moves the
  // control only once it passes the control's position.
  kSourcePickUpParam = 3,
};

// A handler of an instrument list: (record, data 1, data 2, voice, unison
// rank). Data 1 is the note or controller number; data 2 the velocity (a
// note-off passes zero or the negated release velocity) or the value.
using TSourceHandler = void (*)(TEngineRecord* record, int32_t data1, int32_t data2, int32_t voice, int32_t rank);

// The note, aftertouch or controller handler of a source type (category 1);
// null for a type without one.
TSourceHandler FindSourceHandler(int32_t type);
// The handler of panel controls (faders, buttons, switches) under MIDI remote.
void RemoteControlHandler(TEngineRecord* record, int32_t number, int32_t value, int32_t voice, int32_t rank);
// The fixed routines the dispatch calls for every source of these lists.
void PitchBendSource(TEngineRecord* record, int32_t lsb, int32_t msb);
void ChannelPressureSource(TEngineRecord* record, int32_t value);
void ProgramChangeSource(TEngineRecord* record, int32_t program);
// "Start": the clock started (1) or stopped (0).
void StartSource(TEngineRecord* record, int32_t running);
// Sets a control to a step and sends its value (control undo, snapshot recall).
void SendControlStep(TEngineRecord* record, int32_t step);

// The pitch offset of unison rank u: -spread * (u / 2) for even u,
// spread * ((u + 1) / 2) for odd u.
float UnisonOffset(float spread, int32_t rank);

// Stores a value as the output of a voice and sends it along the record's
// first event output: a one-voice source to every voice of each destination,
// a polyphonic one to the destination's same voice.
void SendSourceValue(TEngineRecord* record, int32_t voice, float value);
// Stores the value in every voice and sends it to every voice of each destination.
void SendSourceValueToAll(TEngineRecord* record, float value);
// Fills the clock-listener entry ("Start" hears the clock start and stop).
// The routine tables call it when they are made.
void InstallSourceHandlers(TRoutineTables& tables);
