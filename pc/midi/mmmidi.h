// The MIDI driver: takes MIDI from any number of the machine's input ports
// and sends to any number of output ports. One thread of its own delivers
// what comes in to the MIDI base and writes what the program sends; senders
// (the audio thread among them) only fill a fixed-size lock-free queue.
#pragma once

#include "platform/seq.h"
#include "platform/thread.h"
#include "src/midi/midi.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class IMultiMediaMidi : public virtual IMidiInOut {
public:
  virtual int32_t GetInPortCount() = 0;
  virtual TStr GetInPortName(int32_t i) = 0;
  virtual int32_t GetOpenInPortCount() = 0;
  virtual TStr GetOpenInPortName(int32_t i) = 0;
  // The device index of the i-th open port; -1 when there is none. Names
  // can repeat, so the port dialog keeps ports by their device index.
  virtual int32_t GetOpenInPortDevice(int32_t i) = 0;
  // Results of opening and closing, by device index.
  virtual int32_t OpenInPort(int32_t device) = 0;
  virtual int32_t CloseInPort(int32_t device) = 0;
  virtual int32_t GetOutPortCount() = 0;
  virtual TStr GetOutPortName(int32_t i) = 0;
  virtual int32_t GetOpenOutPortCount() = 0;
  virtual TStr GetOpenOutPortName(int32_t i) = 0;
  virtual int32_t GetOpenOutPortDevice(int32_t i) = 0;
  virtual int32_t OpenOutPort(int32_t device) = 0;
  virtual int32_t CloseOutPort(int32_t device) = 0;
  // The device index of the first port with exactly this name; -1: none.
  virtual int32_t FindInPort(TStr name) = 0;
  virtual int32_t FindOutPort(TStr name) = 0;
};
inline IMultiMediaMidi* CastToMultiMediaMidi(IBase* object) { return CastTo<IMultiMediaMidi>(object); }

namespace mmmidi {
// Results of opening a port.
constexpr int32_t kOpened = 0;
constexpr int32_t kFailed = 1;
constexpr int32_t kAlreadyOpen = 2;
constexpr int32_t kNoDevice = -1;
// Send to every open output.
constexpr int32_t kAllPorts = 0;
// Saved port values removed before the selection is written again.
constexpr int32_t kSavedPortValues = 64;
constexpr uint32_t kThreadWaitMs = 500;
// Room of the send queue (a power of two).
constexpr size_t kSendQueueSize = 1024;
} // namespace mmmidi

// Short messages waiting to be written: many senders, one reader; fixed
// room, never allocates, never locks. A full queue refuses.
class TMidiSendQueue {
public:
  struct TItem {
    int32_t port = 0;
    uint32_t message = 0;
  };
  TMidiSendQueue();
  bool Push(const TItem& item);
  bool Pop(TItem& item);

private:
  struct TCell {
    std::atomic<size_t> sequence{0};
    TItem item;
  };
  static constexpr size_t kMask = mmmidi::kSendQueueSize - 1;
  static_assert((mmmidi::kSendQueueSize & kMask) == 0, "the send queue's room is a power of two");
  std::array<TCell, mmmidi::kSendQueueSize> cells_;
  alignas(64) std::atomic<size_t> tail_{0};
  alignas(64) std::atomic<size_t> head_{0};
};

// Makes the driver for an ensemble.
IMultiMediaMidi* CreateMultiMediaMidi(IMidiOwner* owner);
// Makes the driver the one every ensemble gets.
void RegisterMultiMediaMidi();
// The port dialog lives with the windows: it registers itself here.
using TMultiMediaMidiDialog = void (*)(IMultiMediaMidi* driver);
void SetMultiMediaMidiDialog(TMultiMediaMidiDialog dialog);

class TMultiMediaMidi : public TMidiInOut, public virtual IMultiMediaMidi {
public:
  // The ports are listed from the installed MIDI system (platform::Midis()).
  explicit TMultiMediaMidi(IMidiOwner* owner);
  ~TMultiMediaMidi() override;

  int32_t GetInPortCount() override { return int32_t(inPorts_.size()); }
  TStr GetInPortName(int32_t i) override;
  int32_t GetOpenInPortCount() override { return int32_t(openIn_.size()); }
  TStr GetOpenInPortName(int32_t i) override;
  int32_t GetOpenInPortDevice(int32_t i) override;
  int32_t OpenInPort(int32_t device) override;
  int32_t CloseInPort(int32_t device) override;
  int32_t GetOutPortCount() override { return int32_t(outPorts_.size()); }
  TStr GetOutPortName(int32_t i) override;
  int32_t GetOpenOutPortCount() override { return int32_t(openOut_.size()); }
  TStr GetOpenOutPortName(int32_t i) override;
  int32_t GetOpenOutPortDevice(int32_t i) override;
  int32_t OpenOutPort(int32_t device) override;
  int32_t CloseOutPort(int32_t device) override;
  int32_t FindInPort(TStr name) override;
  int32_t FindOutPort(TStr name) override;
  bool HasSettingsDialog() override;
  void ShowSettingsDialog() override;

  // True while the MIDI thread runs.
  bool IsThreadRunning() const { return thread_.IsRunning(); }
  // True once everything received and queued for sending before the call
  // has been handled by the MIDI thread (false after the wait's bound).
  bool SyncMessages(uint32_t milliseconds = 2000);
  // Messages the send queue had no room for, since construction.
  uint32_t GetDroppedSends() const { return droppedSends_.load(); }
  // The MIDI thread's own check, for tests.
  bool IsMidiThread() const { return thread_.IsCurrent(); }

protected:
  void OpenDevices() override;
  void CloseDevices() override;
  void SendShortMessage(int32_t port, uint32_t message) override;
  // One message from an input port, on the MIDI thread: hands it to the MIDI
  // base, which takes the engine's mutex for it.
  virtual void Received(int32_t kind, int32_t channel, int32_t data1, int32_t data2) {
    Receive(kind, channel, data1, data2);
  }

private:
  struct TMidiInDevice {
    std::unique_ptr<platform::MidiIn> handle;
    int32_t index = 0;
    TStr name;
  };
  struct TMidiOutDevice {
    std::unique_ptr<platform::MidiOut> handle;
    int32_t index = 0;
    TStr name;
  };

  void Run();
  void Flush();
  void Deliver(uint32_t message);
  void PortLost(bool input, int32_t device);
  void OpenSaved(bool input);
  void SaveSelection();
  void CloseInHandle(TMidiInDevice& d);

  platform::MidiSystem& system_;
  platform::Thread thread_{"midi"};
  // Rung by every message and every queued send: the MIDI thread sleeps
  // until there is work instead of looking at the send queue on a timer.
  platform::Doorbell bell_;
  platform::MessageQueue messages_;
  std::vector<std::unique_ptr<TMidiInDevice>> inPorts_;
  std::vector<std::unique_ptr<TMidiOutDevice>> outPorts_;
  // The open ports in opening order (records of the lists above). Changed on
  // the GUI thread only; the output list and its handles are also read by
  // the MIDI thread, under portsMutex_.
  std::vector<TMidiInDevice*> openIn_;
  std::vector<TMidiOutDevice*> openOut_;
  std::mutex portsMutex_;
  TMidiSendQueue sendQueue_;
  std::atomic<uint32_t> droppedSends_{0};
  std::mutex syncMutex_;
  std::condition_variable synced_;
  uint64_t syncRequested_ = 0;
  uint64_t syncHandled_ = 0;
  // The settings hold the selection as it stands (nothing was opened or
  // closed since they were read or written).
  bool selectionSaved_ = true;
  // Cleared when the driver goes, for work already posted to the GUI thread.
  std::shared_ptr<TMultiMediaMidi*> alive_;
};
