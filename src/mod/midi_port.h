// The MIDI in/out driver as the model reaches it: the ensemble owns one,
// instruments register with it as receivers, panel controls send through it.
// The MIDI in/out base implements it and installs its factory here.
#pragma once

#include "src/base/base.h"
#include "src/engine/midi_output.h"

#include <cstdint>
#include <functional>

class IAudioInOut;
class KInstr;

// What the MIDI base needs of the ensemble that owns it. Every call comes on
// the MIDI thread with the engine's mutex held: none may wait for the GUI.
class IMidiOwner {
public:
  virtual ~IMidiOwner() = default;
  virtual IAudioInOut* GetAudio() const = 0;
  // The instrument the application currently shows (null: none).
  virtual KInstr* GetCurrentInstr() const = 0;
  // Hands a refresh of the application's current view to the GUI thread.
  virtual void PostViewRefresh() = 0;
  // Hands other work to the GUI thread. Called by a driver's own thread
  // without the engine's mutex (it may allocate). Every owner says where its
  // tasks go: none may vanish.
  virtual void PostToGui(std::function<void()> task) = 0;
};

class IMidiInOut : public virtual IBase, public IMidiOutput {
public:
  virtual void Open() = 0;
  virtual void Close() = 0;
  virtual void AddReceiver(KInstr* instr, int32_t channel) = 0;
  virtual void RemoveReceiver(KInstr* instr, int32_t channel) = 0;
  virtual void SendControlChange(int32_t port, int32_t channel, int32_t controller, int32_t value) = 0;
  virtual void SendProgramChange(int32_t port, int32_t channel, int32_t program) = 0;
  virtual void SendPitchBend(int32_t port, int32_t channel, int32_t data1, int32_t data2) = 0;
  virtual void SendNoteOn(int32_t port, int32_t channel, int32_t note, int32_t velocity) = 0;
  virtual void SendNoteOff(int32_t port, int32_t channel, int32_t note, int32_t velocity) = 0;
  virtual void SendPolyPressure(int32_t port, int32_t channel, int32_t note, int32_t value) = 0;
  virtual void SendChannelPressure(int32_t port, int32_t channel, int32_t value) = 0;
  virtual void InjectNote(int32_t note, int32_t velocity) = 0;
  virtual int32_t TakeInActivity() = 0;
  virtual int32_t TakeInstrumentActivity() = 0;
  virtual bool HasSettingsDialog() = 0;
  virtual void ShowSettingsDialog() = 0;
};
inline IMidiInOut* CastToMidiInOut(IBase* object) { return CastTo<IMidiInOut>(object); }

// Makes the MIDI driver of an ensemble. Returns the previous factory.
using TMidiPortFactory = IMidiInOut* (*)(IMidiOwner* owner);
TMidiPortFactory SetMidiPortFactory(TMidiPortFactory factory);
// A new MIDI driver for the owner; null while no factory is installed.
IMidiInOut* MakeMidiPort(IMidiOwner* owner);
