#include "pc/midi/mmmidi.h"

#include "src/base/settings.h"
#include "src/base/str.h"

#include <algorithm>
#include <chrono>

using namespace mmmidi;

namespace {

constexpr char kInSetting[] = "Midi";
constexpr char kOutSetting[] = "MidiOut";
constexpr uint32_t kMsgSync = platform::kMsgUser + 111;
constexpr uint32_t kStatusMask = 0xFF;
constexpr int32_t kDataShift1 = 8;
constexpr int32_t kDataShift2 = 16;
constexpr int32_t kDataMask = 0xFF;

QV_MESSAGE(CannotOpenPort, "Could not open the MIDI port $1.\nIt is probably in use by another program.")
QV_MESSAGE(PortGone, "The MIDI port $1 is no longer available. It has been closed.")

void ShowPortMessage(TParamStr& message, const TStr& name) {
  message.SetParam(1, name);
  ShowMessage(&message, 0);
}

// The setting of the n-th open port of a direction: its prefix and n ("Midi1").
TStr SettingName(const char* prefix, int32_t n) { return FormatStr("%s%d", prefix, int(n)); }

TMultiMediaMidiDialog settingsDialog = nullptr;

} // namespace

// ---------------------------------------------------------------------------
// The send queue: a bounded queue of cells with sequence numbers; a sender
// claims a cell by moving the tail, the reader frees it by moving the head.

TMidiSendQueue::TMidiSendQueue() {
  for (size_t i = 0; i < cells_.size(); ++i) cells_[i].sequence.store(i, std::memory_order_relaxed);
}

bool TMidiSendQueue::Push(const TItem& item) {
  size_t pos = tail_.load(std::memory_order_relaxed);
  for (;;) {
    TCell& cell = cells_[pos & kMask];
    const size_t seq = cell.sequence.load(std::memory_order_acquire);
    const intptr_t diff = intptr_t(seq) - intptr_t(pos);
    if (diff == 0) {
      if (tail_.compare_exchange_weak(pos, pos + 1, std::memory_order_relaxed)) {
        cell.item = item;
        cell.sequence.store(pos + 1, std::memory_order_release);
        return true;
      }
    } else if (diff < 0) {
      return false; // full
    } else {
      pos = tail_.load(std::memory_order_relaxed);
    }
  }
}

bool TMidiSendQueue::Pop(TItem& item) {
  size_t pos = head_.load(std::memory_order_relaxed);
  for (;;) {
    TCell& cell = cells_[pos & kMask];
    const size_t seq = cell.sequence.load(std::memory_order_acquire);
    const intptr_t diff = intptr_t(seq) - intptr_t(pos + 1);
    if (diff == 0) {
      if (head_.compare_exchange_weak(pos, pos + 1, std::memory_order_relaxed)) {
        item = cell.item;
        cell.sequence.store(pos + kMask + 1, std::memory_order_release);
        return true;
      }
    } else if (diff < 0) {
      return false; // empty
    } else {
      pos = head_.load(std::memory_order_relaxed);
    }
  }
}

// ---------------------------------------------------------------------------
// Creation

IMultiMediaMidi* CreateMultiMediaMidi(IMidiOwner* owner) { return new TMultiMediaMidi(owner); }

void SetMultiMediaMidiDialog(TMultiMediaMidiDialog dialog) { settingsDialog = dialog; }

bool TMultiMediaMidi::HasSettingsDialog() { return settingsDialog != nullptr; }

void TMultiMediaMidi::ShowSettingsDialog() {
  if (settingsDialog) settingsDialog(this);
}

void RegisterMultiMediaMidi() {
  SetMidiMaker([](IMidiOwner* owner) -> TMidiInOut* { return new TMultiMediaMidi(owner); });
}

TMultiMediaMidi::TMultiMediaMidi(IMidiOwner* owner)
    : TMidiInOut(owner), system_(platform::Midis()), alive_(std::make_shared<TMultiMediaMidi*>(this)) {
  messages_.SetDoorbell(&bell_);
  std::vector<std::string> ins = system_.Inputs();
  for (size_t i = 0; i < ins.size(); ++i) {
    auto d = std::make_unique<TMidiInDevice>();
    d->index = int32_t(i);
    d->name = TStr(ins[i]);
    inPorts_.push_back(std::move(d));
  }
  std::vector<std::string> outs = system_.Outputs();
  for (size_t i = 0; i < outs.size(); ++i) {
    auto d = std::make_unique<TMidiOutDevice>();
    d->index = int32_t(i);
    d->name = TStr(outs[i]);
    outPorts_.push_back(std::move(d));
  }
}

TMultiMediaMidi::~TMultiMediaMidi() {
  *alive_ = nullptr;
  try {
    if (thread_.IsRunning()) CloseDevices();
    if (!selectionSaved_) SaveSelection();
  } catch (...) {
    RecordCurrentException();
  }
  // Ports still open (the driver was never stopped) close with their handles.
  openIn_.clear();
  openOut_.clear();
}

// ---------------------------------------------------------------------------
// Port lists

TStr TMultiMediaMidi::GetInPortName(int32_t i) {
  return i >= 0 && i < GetInPortCount() ? inPorts_[size_t(i)]->name : TStr();
}
TStr TMultiMediaMidi::GetOpenInPortName(int32_t i) {
  return i >= 0 && i < GetOpenInPortCount() ? openIn_[size_t(i)]->name : TStr();
}
int32_t TMultiMediaMidi::GetOpenInPortDevice(int32_t i) {
  return i >= 0 && i < GetOpenInPortCount() ? openIn_[size_t(i)]->index : kNoDevice;
}
int32_t TMultiMediaMidi::GetOpenOutPortDevice(int32_t i) {
  return i >= 0 && i < GetOpenOutPortCount() ? openOut_[size_t(i)]->index : kNoDevice;
}
TStr TMultiMediaMidi::GetOutPortName(int32_t i) {
  return i >= 0 && i < GetOutPortCount() ? outPorts_[size_t(i)]->name : TStr();
}
TStr TMultiMediaMidi::GetOpenOutPortName(int32_t i) {
  return i >= 0 && i < GetOpenOutPortCount() ? openOut_[size_t(i)]->name : TStr();
}

int32_t TMultiMediaMidi::FindInPort(TStr name) {
  for (auto& d : inPorts_)
    if (d->name == name) return d->index;
  return kNoDevice;
}

int32_t TMultiMediaMidi::FindOutPort(TStr name) {
  for (auto& d : outPorts_)
    if (d->name == name) return d->index;
  return kNoDevice;
}

// ---------------------------------------------------------------------------
// Opening and closing

int32_t TMultiMediaMidi::OpenInPort(int32_t device) {
  for (TMidiInDevice* d : openIn_)
    if (d->index == device) return kAlreadyOpen;
  if (device < 0 || device >= GetInPortCount()) return kNoDevice;
  TMidiInDevice& d = *inPorts_[size_t(device)];
  std::unique_ptr<platform::MidiIn> handle;
  if (!system_.OpenIn(device, &messages_, uintptr_t(device), handle)) return kFailed;
  if (d.name == TStr(platform::kInternalMidiPortName)) handle->DriverMessage(platform::kMidiDriverEnable);
  if (!handle->Start()) {
    // A port that will not start is closed again and stays out of the list.
    handle->DriverMessage(platform::kMidiDriverDisable);
    return kFailed;
  }
  d.handle = std::move(handle);
  openIn_.push_back(&d);
  selectionSaved_ = false;
  return kOpened;
}

void TMultiMediaMidi::CloseInHandle(TMidiInDevice& d) {
  if (!d.handle) return;
  d.handle->DriverMessage(platform::kMidiDriverDisable);
  d.handle->Reset();
  d.handle.reset();
}

int32_t TMultiMediaMidi::CloseInPort(int32_t device) {
  for (size_t i = 0; i < openIn_.size(); ++i) {
    if (openIn_[i]->index != device) continue;
    CloseInHandle(*openIn_[i]);
    openIn_.erase(openIn_.begin() + long(i));
    selectionSaved_ = false;
    return kOpened;
  }
  return kNoDevice;
}

int32_t TMultiMediaMidi::OpenOutPort(int32_t device) {
  for (TMidiOutDevice* d : openOut_)
    if (d->index == device) return kAlreadyOpen;
  if (device < 0 || device >= GetOutPortCount()) return kNoDevice;
  TMidiOutDevice& d = *outPorts_[size_t(device)];
  std::unique_ptr<platform::MidiOut> handle;
  if (!system_.OpenOut(device, &messages_, uintptr_t(device), handle)) return kFailed;
  std::lock_guard<std::mutex> lock(portsMutex_);
  d.handle = std::move(handle);
  openOut_.push_back(&d);
  selectionSaved_ = false;
  return kOpened;
}

int32_t TMultiMediaMidi::CloseOutPort(int32_t device) {
  std::unique_ptr<platform::MidiOut> closing;
  {
    std::lock_guard<std::mutex> lock(portsMutex_);
    for (size_t i = 0; i < openOut_.size(); ++i) {
      if (openOut_[i]->index != device) continue;
      closing = std::move(openOut_[i]->handle);
      openOut_.erase(openOut_.begin() + long(i));
      selectionSaved_ = false;
      break;
    }
  }
  // Closed outside the lock: the MIDI thread no longer reaches it.
  return closing ? kOpened : kNoDevice;
}

// ---------------------------------------------------------------------------
// Start and stop

void TMultiMediaMidi::OpenSaved(bool input) {
  for (int32_t n = 1;; ++n) {
    TStr name = ReadSettingStr(SettingName(input ? kInSetting : kOutSetting, n), TStr());
    if (name.IsEmpty()) break;
    const int32_t count = input ? GetInPortCount() : GetOutPortCount();
    for (int32_t i = 0; i < count; ++i) {
      if ((input ? GetInPortName(i) : GetOutPortName(i)) != name) continue;
      const int32_t result = input ? OpenInPort(i) : OpenOutPort(i);
      if (result != kOpened && result != kAlreadyOpen) ShowPortMessage(CannotOpenPort(), name);
    }
  }
}

void TMultiMediaMidi::OpenDevices() {
  if (thread_.IsRunning()) return;
  // A start after a stop begins again from the saved selection.
  if (!selectionSaved_) SaveSelection();
  openIn_.clear();
  {
    std::lock_guard<std::mutex> lock(portsMutex_);
    openOut_.clear();
  }
  // The saved ports open first: what was queued for sending before the
  // start goes to them instead of being written while no port is open.
  OpenSaved(true);
  OpenSaved(false);
  selectionSaved_ = true;
  thread_.Start([this] { Run(); });
}

void TMultiMediaMidi::CloseDevices() {
  if (!thread_.IsRunning()) return;
  for (TMidiInDevice* d : openIn_) CloseInHandle(*d);
  // What was queued before the stop is still written.
  SyncMessages(kThreadWaitMs);
  {
    std::vector<std::unique_ptr<platform::MidiOut>> closing;
    std::lock_guard<std::mutex> lock(portsMutex_);
    for (TMidiOutDevice* d : openOut_) closing.push_back(std::move(d->handle));
  }
  // The open lists keep their records: they are the selection to save.
  SaveSelection();
  messages_.Post(platform::kMsgEndThread);
  thread_.Wait(kThreadWaitMs);
}

void TMultiMediaMidi::SaveSelection() {
  // Earlier values past the ones written would be read back after a gap:
  // every one of them goes.
  for (const char* prefix : {kInSetting, kOutSetting}) {
    for (int32_t n = 1;; ++n) {
      TStr name = SettingName(prefix, n);
      if (n > kSavedPortValues && ReadSettingStr(name, TStr()).IsEmpty()) break;
      DeleteSetting(name);
    }
  }
  for (size_t i = 0; i < openIn_.size(); ++i) WriteSettingStr(SettingName(kInSetting, int32_t(i) + 1), openIn_[i]->name);
  for (size_t i = 0; i < openOut_.size(); ++i)
    WriteSettingStr(SettingName(kOutSetting, int32_t(i) + 1), openOut_[i]->name);
  selectionSaved_ = true;
}

// ---------------------------------------------------------------------------
// Sending

void TMultiMediaMidi::SendShortMessage(int32_t port, uint32_t message) {
  // Any thread, the audio thread among them: only the queue is touched.
  if (!sendQueue_.Push(TMidiSendQueue::TItem{port, message})) droppedSends_.fetch_add(1, std::memory_order_relaxed);
  bell_.Ring();
}

void TMultiMediaMidi::Flush() {
  TMidiSendQueue::TItem item;
  while (sendQueue_.Pop(item)) {
    bool sent = false;
    {
      std::lock_guard<std::mutex> lock(portsMutex_);
      const int32_t count = int32_t(openOut_.size());
      if (item.port == kAllPorts) {
        for (TMidiOutDevice* d : openOut_)
          if (d->handle && d->handle->Send(item.message)) sent = true;
      } else if (item.port >= 1 && item.port <= count) {
        TMidiOutDevice* d = openOut_[size_t(item.port - 1)];
        sent = d->handle && d->handle->Send(item.message);
      }
    }
    if (sent) TakeInActivity();
  }
}

// ---------------------------------------------------------------------------
// The MIDI thread

void TMultiMediaMidi::Deliver(uint32_t m) {
  Received(int32_t(m >> midi::kKindShift) & midi::kKindMask, int32_t(m) & midi::kChannelMask,
           int32_t(m >> kDataShift1) & kDataMask, int32_t(m >> kDataShift2) & kDataMask);
}

void TMultiMediaMidi::Run() {
  platform::Sched().RaiseThreadPriority();
  for (;;) {
    // Everything that came before the wake is served, then the thread
    // sleeps until a message or a send rings again.
    platform::ThreadMessage m;
    while (messages_.TryGet(m)) {
      switch (m.id) {
      case platform::kMsgMidiData: Deliver(uint32_t(m.lparam)); break;
      case platform::kMsgMidiLost: PortLost(m.lparam == platform::kMidiLostInput, int32_t(m.wparam)); break;
      case kMsgSync: {
        Flush();
        std::lock_guard<std::mutex> lock(syncMutex_);
        syncHandled_ = std::max<uint64_t>(syncHandled_, uint64_t(m.wparam));
        synced_.notify_all();
        break;
      }
      case platform::kMsgEndThread: Flush(); return;
      default: break;
      }
      Flush();
    }
    Flush();
    bell_.Wait();
  }
}

bool TMultiMediaMidi::SyncMessages(uint32_t milliseconds) {
  if (!thread_.IsRunning()) return true;
  std::unique_lock<std::mutex> lock(syncMutex_);
  const uint64_t ticket = ++syncRequested_;
  if (!messages_.Post(kMsgSync, uintptr_t(ticket))) return false;
  return synced_.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] { return syncHandled_ >= ticket; });
}

void TMultiMediaMidi::PortLost(bool input, int32_t device) {
  IMidiOwner* owner = GetOwner();
  if (!owner) return;
  std::shared_ptr<TMultiMediaMidi*> alive = alive_;
  // Closing and telling the user are the GUI thread's: the lists are its own.
  owner->PostToGui([alive, input, device] {
    TMultiMediaMidi* self = *alive;
    if (!self) return;
    TStr name = input ? self->GetInPortName(device) : self->GetOutPortName(device);
    const int32_t result = input ? self->CloseInPort(device) : self->CloseOutPort(device);
    if (result == kOpened) ShowPortMessage(PortGone(), name);
  });
}
