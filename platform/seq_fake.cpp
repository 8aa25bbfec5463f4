#include "platform/seq.h"

#include "platform/midi_kinds.h"

namespace platform {

namespace {
using midi::kStatusBit;
constexpr uint8_t kSysEx = midi::Status(midi::kSystemExclusive);
constexpr uint8_t kSysExEnd = midi::Status(midi::kEndOfExclusive);
constexpr uint8_t kFirstRealTime = midi::Status(midi::kClock);
constexpr uint8_t kFirstSystem = midi::Status(midi::kSystem);
} // namespace

int32_t ShortMessageLength(uint8_t status) {
  if (!(status & kStatusBit)) return 0;
  const int32_t kind = (status >> midi::kKindShift) & midi::kKindMask;
  if (kind != midi::kSystem) return kind == midi::kProgramChange || kind == midi::kChannelPressure ? 2 : 3;
  switch (status & midi::kChannelMask) {
  case midi::kTimeCode:
  case midi::kSongSelect: return 2;
  case midi::kSongPosition: return 3;
  case midi::kTuneRequest:
  case midi::kClock:
  case midi::kStart:
  case midi::kContinue:
  case midi::kStop:
  case midi::kActiveSensing:
  case midi::kReset: return 1;
  // System exclusive, its end and the undefined system bytes.
  default: return 0;
  }
}

struct FakeMidis::Port {
  std::string name;
  bool input = false;
  bool open = false;
  bool started = false;
  bool openFails = false;
  bool startFails = false;
  bool unplugged = false;
  int32_t opens = 0;
  size_t room = SIZE_MAX;
  MessageQueue* notify = nullptr;
  uintptr_t user = 0;
  std::vector<uint32_t> driverMessages;
  std::vector<uint32_t> sent;
  // The input's parser: running status and the bytes of the message so far.
  uint8_t status = 0;
  uint8_t data[2] = {};
  int32_t have = 0;
  bool inSysEx = false;
};

class FakeMidis::InHandle : public MidiIn {
public:
  InHandle(FakeMidis& system, Port& port) : system_(system), port_(port) {}
  ~InHandle() override {
    std::lock_guard<std::mutex> lock(system_.mutex_);
    port_.open = port_.started = false;
    port_.notify = nullptr;
  }
  bool Start() override {
    std::lock_guard<std::mutex> lock(system_.mutex_);
    if (port_.startFails || port_.unplugged) return false;
    port_.started = true;
    return true;
  }
  void Reset() override {
    std::lock_guard<std::mutex> lock(system_.mutex_);
    port_.started = false;
  }
  void DriverMessage(uint32_t message) override {
    std::lock_guard<std::mutex> lock(system_.mutex_);
    port_.driverMessages.push_back(message);
  }

private:
  FakeMidis& system_;
  Port& port_;
};

class FakeMidis::OutHandle : public MidiOut {
public:
  OutHandle(FakeMidis& system, Port& port) : system_(system), port_(port) {}
  ~OutHandle() override {
    std::lock_guard<std::mutex> lock(system_.mutex_);
    port_.open = false;
    port_.notify = nullptr;
  }
  bool Send(uint32_t message) override {
    std::lock_guard<std::mutex> lock(system_.mutex_);
    if (port_.unplugged || port_.sent.size() >= port_.room) return false;
    if (ShortMessageLength(uint8_t(message & 0xFF)) == 0) return false;
    port_.sent.push_back(message);
    return true;
  }

private:
  FakeMidis& system_;
  Port& port_;
};

FakeMidis::FakeMidis() = default;
FakeMidis::~FakeMidis() = default;

int32_t FakeMidis::AddInput(const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto port = std::make_unique<Port>();
  port->name = name;
  port->input = true;
  ports_.push_back(std::move(port));
  int32_t id = -1;
  for (auto& p : ports_) id += p->input ? 1 : 0;
  return id;
}

int32_t FakeMidis::AddOutput(const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto port = std::make_unique<Port>();
  port->name = name;
  ports_.push_back(std::move(port));
  int32_t id = -1;
  for (auto& p : ports_) id += p->input ? 0 : 1;
  return id;
}

FakeMidis::Port* FakeMidis::Find(bool input, int32_t id) const {
  int32_t n = 0;
  for (auto& p : ports_) {
    if (p->input != input) continue;
    if (n++ == id) return p.get();
  }
  return nullptr;
}

void FakeMidis::SetOpenFails(bool input, int32_t id, bool fails) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (Port* p = Find(input, id)) p->openFails = fails;
}

void FakeMidis::SetStartFails(int32_t id, bool fails) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (Port* p = Find(true, id)) p->startFails = fails;
}

void FakeMidis::SetOutputRoom(int32_t id, size_t room) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (Port* p = Find(false, id)) p->room = room;
}

bool FakeMidis::Inject(int32_t id, const std::vector<uint8_t>& bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  Port* p = Find(true, id);
  if (!p || !p->open || !p->started || !p->notify) return false;
  auto deliver = [p](uint32_t message) { p->notify->Post(kMsgMidiData, p->user, intptr_t(message)); };
  for (uint8_t b : bytes) {
    if (b >= kFirstRealTime) {
      // Real-time bytes may come between any two bytes of another message.
      if (ShortMessageLength(b) == 1) deliver(b);
      continue;
    }
    if (b & kStatusBit) {
      p->inSysEx = b == kSysEx;
      p->have = 0;
      if (b == kSysExEnd || p->inSysEx) {
        p->status = 0;
        continue;
      }
      p->status = ShortMessageLength(b) ? b : 0;
      if (p->status && ShortMessageLength(b) == 1) {
        deliver(b);
        p->status = 0;
      }
      continue;
    }
    if (p->inSysEx || !p->status) continue;
    p->data[p->have++] = b;
    if (p->have + 1 < ShortMessageLength(p->status)) continue;
    uint32_t message = p->status | uint32_t(p->data[0]) << 8;
    if (p->have == 2) message |= uint32_t(p->data[1]) << 16;
    deliver(message);
    p->have = 0;
    // Running status holds for channel messages only.
    if (p->status >= kFirstSystem) p->status = 0;
  }
  return true;
}

void FakeMidis::Unplug(bool input, int32_t id) {
  std::lock_guard<std::mutex> lock(mutex_);
  Port* p = Find(input, id);
  if (!p || p->unplugged) return;
  p->unplugged = true;
  p->started = false;
  if (p->open && p->notify) p->notify->Post(kMsgMidiLost, p->user, input ? kMidiLostInput : kMidiLostOutput);
}

bool FakeMidis::IsOpen(bool input, int32_t id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  Port* p = Find(input, id);
  return p && p->open;
}

bool FakeMidis::IsStarted(int32_t id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  Port* p = Find(true, id);
  return p && p->started;
}

int32_t FakeMidis::Opens(bool input, int32_t id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  Port* p = Find(input, id);
  return p ? p->opens : 0;
}

std::vector<uint32_t> FakeMidis::DriverMessages(int32_t id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  Port* p = Find(true, id);
  return p ? p->driverMessages : std::vector<uint32_t>();
}

std::vector<uint32_t> FakeMidis::Sent(int32_t id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  Port* p = Find(false, id);
  return p ? p->sent : std::vector<uint32_t>();
}

std::vector<std::string> FakeMidis::Inputs() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> names;
  for (auto& p : ports_)
    if (p->input) names.push_back(p->name);
  return names;
}

std::vector<std::string> FakeMidis::Outputs() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> names;
  for (auto& p : ports_)
    if (!p->input) names.push_back(p->name);
  return names;
}

bool FakeMidis::OpenIn(int32_t id, MessageQueue* notify, uintptr_t user, std::unique_ptr<MidiIn>& in) {
  std::lock_guard<std::mutex> lock(mutex_);
  Port* p = Find(true, id);
  if (!p || p->open || p->openFails || p->unplugged) return false;
  p->open = true;
  p->started = false;
  p->status = 0;
  p->have = 0;
  p->inSysEx = false;
  p->notify = notify;
  p->user = user;
  ++p->opens;
  in = std::make_unique<InHandle>(*this, *p);
  return true;
}

bool FakeMidis::OpenOut(int32_t id, MessageQueue* notify, uintptr_t user, std::unique_ptr<MidiOut>& out) {
  std::lock_guard<std::mutex> lock(mutex_);
  Port* p = Find(false, id);
  if (!p || p->open || p->openFails || p->unplugged) return false;
  p->open = true;
  p->notify = notify;
  p->user = user;
  ++p->opens;
  out = std::make_unique<OutHandle>(*this, *p);
  return true;
}

} // namespace platform
