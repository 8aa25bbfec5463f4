// The MIDI in/out base: per-channel receiver lists of instruments, the
// dispatch of incoming messages, MIDI learn for panel controls, the senders of
// outgoing short messages and the activity flags of the tool-box lamps. A
// device driver derives from TMidiInOut and supplies its device operations.
#pragma once

#include "platform/midi_kinds.h"
#include "src/base/base.h"
#include "src/mod/midi_port.h"

#include <atomic>
#include <cstdint>

class TMidiInOut : public TBase, public virtual IMidiInOut {
public:
  static constexpr int32_t kChannels = 16;
  static constexpr int32_t kMaxReceivers = 31;

  explicit TMidiInOut(IMidiOwner* owner);
  ~TMidiInOut() override;

  void Open() override;
  void Close() override;
  void AddReceiver(KInstr* instr, int32_t channel) override;
  void RemoveReceiver(KInstr* instr, int32_t channel) override;
  void SendControlChange(int32_t port, int32_t channel, int32_t controller, int32_t value) override;
  void SendProgramChange(int32_t port, int32_t channel, int32_t program) override;
  void SendPitchBend(int32_t port, int32_t channel, int32_t data1, int32_t data2) override;
  void SendNoteOn(int32_t port, int32_t channel, int32_t note, int32_t velocity) override;
  void SendNoteOff(int32_t port, int32_t channel, int32_t note, int32_t velocity) override;
  void SendPolyPressure(int32_t port, int32_t channel, int32_t note, int32_t value) override;
  void SendChannelPressure(int32_t port, int32_t channel, int32_t value) override;
  // Plays a note on the application's current instrument as if it came in
  // on that instrument's channel (the computer keyboard, the panel).
  void InjectNote(int32_t note, int32_t velocity) override;
  int32_t TakeInActivity() override;
  int32_t TakeInstrumentActivity() override;
  bool HasSettingsDialog() override { return false; }
  void ShowSettingsDialog() override {}

  // One incoming short message: kind = bits 4-6 of the status byte (a
  // midi::TKind), channel = its low nibble (for midi::kSystem the
  // midi::TSystemMessage). Called by the device driver on its MIDI thread;
  // runs holding the engine's mutex.
  void Receive(int32_t kind, int32_t channel, int32_t data1, int32_t data2);

  int32_t GetReceiverCount(int32_t channel) const;
  KInstr* GetReceiver(int32_t channel, int32_t i) const;
  IMidiOwner* GetOwner() const { return owner_; }

protected:
  virtual void OpenDevices() = 0;
  virtual void CloseDevices() = 0;
  // Sends status | data1 << 8 | data2 << 16 to an output port.
  virtual void SendShortMessage(int32_t port, uint32_t message) = 0;

private:
  void Send(int32_t port, uint32_t status, int32_t channel, int32_t data1, int32_t data2);
  void Learn(KInstr* instr, int32_t controller, int32_t value);
  void Dispatch(KInstr* instr, int32_t kind, int32_t data1, int32_t data2);

  IMidiOwner* owner_;
  int32_t counts_[kChannels] = {};
  KInstr* receivers_[kChannels][kMaxReceivers + 1] = {};
  // The previous channel message, for MIDI learn.
  int32_t lastData1_ = -1;
  int32_t lastData2_ = -1;
  int32_t lastChannel_ = -1;
  std::atomic<int32_t> inActivity_{0};
  std::atomic<int32_t> instrActivity_{0};
};

// A MIDI driver without devices: it receives nothing and drops what is sent.
class TNoMidi : public TMidiInOut {
public:
  explicit TNoMidi(IMidiOwner* owner);

protected:
  void OpenDevices() override {}
  void CloseDevices() override {}
  void SendShortMessage(int32_t, uint32_t) override {}
};

// The MIDI driver factory: a device driver registers its maker; without one
// the ensemble gets a driver without devices. The factory is the ensemble's
// MIDI port factory from the start of every program that links it.
using TMidiMaker = TMidiInOut* (*)(IMidiOwner* owner);
TMidiMaker SetMidiMaker(TMidiMaker maker);
IMidiInOut* CreateMidiInOut(IMidiOwner* owner);
