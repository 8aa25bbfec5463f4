// MIDI ports as the MIDI driver uses them: inputs that deliver short
// messages to the driver's thread queue, outputs that take short messages
// and never block. The real ports are those of the ALSA sequencer; tests use
// a fake set of named devices with scripted failures.
#pragma once

#include "platform/thread.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct snd_seq_event;

namespace platform {

// Thread messages of the MIDI ports. kMsgMidiData: one short message from an
// input, status in bits 0-7, the data bytes in bits 8-15 and 16-23 (lparam),
// wparam = the value given when the input was opened. kMsgMidiLost: an open
// port went away; wparam = its open value, lparam = kMidiLostInput or
// kMidiLostOutput.
constexpr uint32_t kMsgMidiData = 0x03C3;
constexpr uint32_t kMsgMidiLost = kMsgUser + 112;
constexpr intptr_t kMidiLostOutput = 0;
constexpr intptr_t kMidiLostInput = 1;

// Driver messages an input understands: the internal port starts taking what
// other programs send to it, and stops.
constexpr uint32_t kMidiDriverEnable = 0x4001;
constexpr uint32_t kMidiDriverDisable = 0x4002;

// The name of the program's own port, which other programs connect to.
constexpr char kInternalMidiPortName[] = "Pellucide internal Midiport";

// Bytes of a short message with this status byte: 1 to 3, or 0 for bytes
// that do not start a short message (data bytes, system exclusive, its end,
// undefined system bytes).
int32_t ShortMessageLength(uint8_t status);

// One opened input. Nothing is delivered before Start nor after Reset.
class MidiIn {
public:
  virtual ~MidiIn() = default;
  virtual bool Start() = 0;
  virtual void Reset() = 0;
  virtual void DriverMessage(uint32_t message) = 0;
};

// One opened output. Send never blocks: a message the port cannot take now
// is dropped and false is returned.
class MidiOut {
public:
  virtual ~MidiOut() = default;
  virtual bool Send(uint32_t message) = 0;
};

// Every MIDI port of the machine. Ids count from 0 in list order; a port is
// opened by its id, never by its name (two ports may share a name).
class MidiSystem {
public:
  virtual ~MidiSystem() = default;
  virtual std::vector<std::string> Inputs() = 0;
  virtual std::vector<std::string> Outputs() = 0;
  // False when the port cannot be opened (gone, in use). Messages go to
  // `notify` with `user` as their wparam.
  virtual bool OpenIn(int32_t id, MessageQueue* notify, uintptr_t user, std::unique_ptr<MidiIn>& in) = 0;
  virtual bool OpenOut(int32_t id, MessageQueue* notify, uintptr_t user, std::unique_ptr<MidiOut>& out) = 0;
};

// The sequencer of the machine: the program's own client with one port (the
// internal port, listed as an input named kInternalMidiPortName), every
// readable port of other clients as an input and every writable one as an
// output, named "client:port". When the sequencer cannot be opened the lists
// hold nothing.
MidiSystem& AlsaMidi();
// A sequencer client of its own with the given client name (for tests that
// play one client against another). Null when the sequencer cannot be opened.
std::unique_ptr<MidiSystem> CreateAlsaMidi(const std::string& clientName);
// Why the sequencer could not be opened (empty when it could).
std::string AlsaMidiError();

// The installed system (the sequencer until another is set).
MidiSystem& Midis();
// Installs a system; nullptr restores the sequencer. Returns the previous one.
MidiSystem* SetMidiSystem(MidiSystem* system);

// Short messages to sequencer events and back, with the sequencer's own MIDI
// event codec: running status is never used, system exclusive is dropped.
class MidiEventCodec {
public:
  MidiEventCodec();
  ~MidiEventCodec();
  MidiEventCodec(const MidiEventCodec&) = delete;
  MidiEventCodec& operator=(const MidiEventCodec&) = delete;
  bool IsValid() const { return encoder_ != nullptr && decoder_ != nullptr; }
  // False for a message that is no short message.
  bool Encode(uint32_t message, snd_seq_event* event);
  // 0 for an event that is no short message.
  uint32_t Decode(const snd_seq_event* event);
  // Both ways through a scratch event (for tests).
  uint32_t RoundTrip(uint32_t message);

private:
  void* encoder_ = nullptr;
  void* decoder_ = nullptr;
};

// A fake set of ports for tests. The test feeds bytes into an input; each
// complete short message reaches the opener's queue once the input has been
// started. Sends are recorded per output.
class FakeMidis : public MidiSystem {
public:
  FakeMidis();
  ~FakeMidis() override;
  int32_t AddInput(const std::string& name);
  int32_t AddOutput(const std::string& name);
  // Scripted failures for the next opens or starts (until cleared).
  void SetOpenFails(bool input, int32_t id, bool fails);
  void SetStartFails(int32_t id, bool fails);
  // Feeds raw bytes to an input (running status is understood; system
  // exclusive is dropped). False when the input is not started.
  bool Inject(int32_t id, const std::vector<uint8_t>& bytes);
  // The port goes away: an open one reports kMsgMidiLost, sends fail.
  void Unplug(bool input, int32_t id);

  bool IsOpen(bool input, int32_t id) const;
  bool IsStarted(int32_t id) const;
  int32_t Opens(bool input, int32_t id) const;
  std::vector<uint32_t> DriverMessages(int32_t id) const;
  std::vector<uint32_t> Sent(int32_t id) const;
  // Sends beyond this many per output are refused (a full port).
  void SetOutputRoom(int32_t id, size_t room);

  std::vector<std::string> Inputs() override;
  std::vector<std::string> Outputs() override;
  bool OpenIn(int32_t id, MessageQueue* notify, uintptr_t user, std::unique_ptr<MidiIn>& in) override;
  bool OpenOut(int32_t id, MessageQueue* notify, uintptr_t user, std::unique_ptr<MidiOut>& out) override;

  struct Port;
  class InHandle;
  class OutHandle;

private:
  Port* Find(bool input, int32_t id) const;
  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<Port>> ports_;
};

} // namespace platform
