#include "platform/seq.h"

#include <alsa/asoundlib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <thread>

namespace platform {

namespace {
constexpr size_t kCodecBytes = 16;
constexpr int32_t kShortBytes = 3;
constexpr unsigned kInternalPortCaps = SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;
constexpr unsigned kInputCaps = SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ;
constexpr unsigned kOutputCaps = SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;
constexpr char kDefaultClientName[] = "Quorvex";

std::string& OpenError() {
  static std::string* error = new std::string;
  return *error;
}

// ALSA's own error printing goes nowhere: failures are answered in results.
void Silent(const char*, int, const char*, int, const char*, ...) {}
} // namespace

// ---------------------------------------------------------------------------
// The codec

MidiEventCodec::MidiEventCodec() {
  snd_midi_event_t* encoder = nullptr;
  snd_midi_event_t* decoder = nullptr;
  if (snd_midi_event_new(kCodecBytes, &encoder) < 0) encoder = nullptr;
  if (snd_midi_event_new(kCodecBytes, &decoder) < 0) decoder = nullptr;
  // Every decoded message carries its own status byte.
  if (decoder) snd_midi_event_no_status(decoder, 1);
  encoder_ = encoder;
  decoder_ = decoder;
}

MidiEventCodec::~MidiEventCodec() {
  if (encoder_) snd_midi_event_free(static_cast<snd_midi_event_t*>(encoder_));
  if (decoder_) snd_midi_event_free(static_cast<snd_midi_event_t*>(decoder_));
}

bool MidiEventCodec::Encode(uint32_t message, snd_seq_event* event) {
  if (!encoder_) return false;
  auto* encoder = static_cast<snd_midi_event_t*>(encoder_);
  const int32_t length = ShortMessageLength(uint8_t(message & 0xFF));
  if (length == 0) return false;
  snd_midi_event_reset_encode(encoder);
  snd_seq_ev_clear(event);
  bool complete = false;
  for (int32_t i = 0; i < length; ++i) {
    const int b = int((message >> (8 * i)) & 0xFF);
    // Data bytes above 127 would be read as status bytes.
    if (i > 0 && b > 0x7F) return false;
    complete = snd_midi_event_encode_byte(encoder, b, event) == 1;
  }
  return complete && event->type != SND_SEQ_EVENT_NONE;
}

uint32_t MidiEventCodec::Decode(const snd_seq_event* event) {
  if (!decoder_) return 0;
  auto* decoder = static_cast<snd_midi_event_t*>(decoder_);
  unsigned char bytes[kShortBytes] = {};
  snd_midi_event_reset_decode(decoder);
  const long n = snd_midi_event_decode(decoder, bytes, kShortBytes, event);
  if (n <= 0 || n > kShortBytes || ShortMessageLength(bytes[0]) != n) return 0;
  uint32_t message = 0;
  for (long i = 0; i < n; ++i) message |= uint32_t(bytes[i]) << (8 * i);
  return message;
}

uint32_t MidiEventCodec::RoundTrip(uint32_t message) {
  snd_seq_event_t event;
  if (!Encode(message, &event)) return 0;
  return Decode(&event);
}

// ---------------------------------------------------------------------------
// The sequencer

namespace {

struct Address {
  int client = -1;
  int port = -1;
  bool operator==(const Address& o) const { return client == o.client && port == o.port; }
};

class AlsaMidiSystem : public MidiSystem {
public:
  explicit AlsaMidiSystem(snd_seq_t* seq) : seq_(seq) {
    client_ = snd_seq_client_id(seq_);
    port_ = snd_seq_create_simple_port(seq_, kInternalMidiPortName, kInternalPortCaps | SND_SEQ_PORT_CAP_READ,
                                       SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    snd_seq_nonblock(seq_, 1);
    // Ports that go away are announced by the system client.
    if (port_ >= 0) snd_seq_connect_from(seq_, port_, SND_SEQ_CLIENT_SYSTEM, SND_SEQ_PORT_SYSTEM_ANNOUNCE);
    stopBell_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    reader_ = std::thread([this] {
      NameThisThread("midi reader");
      Read();
    });
  }

  ~AlsaMidiSystem() override {
    stop_.store(true);
    if (stopBell_ >= 0) {
      const uint64_t one = 1;
      (void)!write(stopBell_, &one, sizeof one);
    }
    if (reader_.joinable()) reader_.join();
    if (stopBell_ >= 0) close(stopBell_);
    snd_seq_close(seq_);
  }

  bool IsUsable() const { return port_ >= 0; }

  std::vector<std::string> Inputs() override { return Scan(true); }
  std::vector<std::string> Outputs() override { return Scan(false); }

  bool OpenIn(int32_t id, MessageQueue* notify, uintptr_t user, std::unique_ptr<MidiIn>& in) override;
  bool OpenOut(int32_t id, MessageQueue* notify, uintptr_t user, std::unique_ptr<MidiOut>& out) override;

  struct Open {
    bool input = false;
    bool internal = false;
    Address address;
    MessageQueue* notify = nullptr;
    uintptr_t user = 0;
    bool started = false;
    bool enabled = false; // internal port: takes what others send
    bool lost = false;
  };

  class InHandle;
  class OutHandle;

  void Remove(Open* open) {
    std::lock_guard<std::mutex> lock(stateMutex_);
    for (size_t i = 0; i < opens_.size(); ++i)
      if (opens_[i].get() == open) {
        opens_.erase(opens_.begin() + long(i));
        break;
      }
  }

  bool Send(Open* open, uint32_t message) {
    {
      std::lock_guard<std::mutex> lock(stateMutex_);
      if (open->lost) return false;
    }
    std::lock_guard<std::mutex> io(ioMutex_);
    snd_seq_event_t event;
    if (!encoder_.Encode(message, &event)) return false;
    snd_seq_ev_set_source(&event, port_);
    snd_seq_ev_set_dest(&event, open->address.client, open->address.port);
    snd_seq_ev_set_direct(&event);
    // Non-blocking: a full pool drops the message.
    return snd_seq_event_output_direct(seq_, &event) >= 0;
  }

  void SetStarted(Open* open, bool started) {
    std::lock_guard<std::mutex> lock(stateMutex_);
    open->started = started;
  }
  void SetEnabled(Open* open, bool enabled) {
    std::lock_guard<std::mutex> lock(stateMutex_);
    open->enabled = enabled;
  }
  void Disconnect(const Address& a) {
    std::lock_guard<std::mutex> io(ioMutex_);
    snd_seq_disconnect_from(seq_, port_, a.client, a.port);
  }
  bool IsLost(Open* open) {
    std::lock_guard<std::mutex> lock(stateMutex_);
    return open->lost;
  }

private:
  struct Entry {
    std::string name;
    Address address;
    bool internal = false;
  };

  std::vector<std::string> Scan(bool input) {
    std::vector<Entry> entries;
    {
      std::lock_guard<std::mutex> io(ioMutex_);
      snd_seq_client_info_t* client;
      snd_seq_port_info_t* port;
      snd_seq_client_info_alloca(&client);
      snd_seq_port_info_alloca(&port);
      snd_seq_client_info_set_client(client, -1);
      const unsigned caps = input ? kInputCaps : kOutputCaps;
      while (snd_seq_query_next_client(seq_, client) >= 0) {
        const int c = snd_seq_client_info_get_client(client);
        if (c == client_ || c == SND_SEQ_CLIENT_SYSTEM) continue;
        snd_seq_port_info_set_client(port, c);
        snd_seq_port_info_set_port(port, -1);
        while (snd_seq_query_next_port(seq_, port) >= 0) {
          if ((snd_seq_port_info_get_capability(port) & caps) != caps) continue;
          if (snd_seq_port_info_get_capability(port) & SND_SEQ_PORT_CAP_NO_EXPORT) continue;
          Entry e;
          e.name = std::string(snd_seq_client_info_get_name(client)) + ":" + snd_seq_port_info_get_name(port);
          e.address = Address{c, snd_seq_port_info_get_port(port)};
          entries.push_back(e);
        }
      }
    }
    if (input && port_ >= 0) entries.push_back(Entry{kInternalMidiPortName, Address{client_, port_}, true});
    std::vector<std::string> names;
    for (auto& e : entries) names.push_back(e.name);
    std::lock_guard<std::mutex> lock(stateMutex_);
    (input ? ins_ : outs_) = std::move(entries);
    return names;
  }

  bool Lookup(bool input, int32_t id, Entry& entry) {
    std::lock_guard<std::mutex> lock(stateMutex_);
    const std::vector<Entry>& list = input ? ins_ : outs_;
    if (id < 0 || size_t(id) >= list.size()) return false;
    entry = list[size_t(id)];
    return true;
  }

  void Read();
  void Handle(const snd_seq_event_t* event);

  snd_seq_t* seq_;
  int client_ = -1;
  int port_ = -1;
  // ioMutex_ serialises the calls on the sequencer handle; stateMutex_ guards
  // the lists and the open ports. Never both the other way round.
  std::mutex ioMutex_;
  std::mutex stateMutex_;
  std::vector<Entry> ins_, outs_;
  std::vector<std::unique_ptr<Open>> opens_;
  MidiEventCodec encoder_;
  MidiEventCodec decoder_;
  std::atomic<bool> stop_{false};
  // Rung to end the reader, which otherwise sleeps until the sequencer has events.
  int stopBell_ = -1;
  std::thread reader_;

public:
  Open* AddOpen(bool input, int32_t id, MessageQueue* notify, uintptr_t user) {
    Entry e;
    if (!Lookup(input, id, e)) return nullptr;
    {
      // The program opens a port once.
      std::lock_guard<std::mutex> lock(stateMutex_);
      for (auto& o : opens_)
        if (o->input == input && o->address == e.address) return nullptr;
    }
    {
      std::lock_guard<std::mutex> io(ioMutex_);
      if (input && !e.internal) {
        if (snd_seq_connect_from(seq_, port_, e.address.client, e.address.port) < 0) return nullptr;
      } else if (!input) {
        snd_seq_port_info_t* info;
        snd_seq_port_info_alloca(&info);
        if (snd_seq_get_any_port_info(seq_, e.address.client, e.address.port, info) < 0) return nullptr;
      }
    }
    auto open = std::make_unique<Open>();
    open->input = input;
    open->internal = e.internal;
    open->address = e.address;
    open->notify = notify;
    open->user = user;
    Open* raw = open.get();
    std::lock_guard<std::mutex> lock(stateMutex_);
    opens_.push_back(std::move(open));
    return raw;
  }
};

class AlsaMidiSystem::InHandle : public MidiIn {
public:
  InHandle(AlsaMidiSystem& system, Open* open) : system_(system), open_(open) {}
  ~InHandle() override {
    Address a = open_->address;
    bool external = !open_->internal && !system_.IsLost(open_);
    system_.Remove(open_);
    if (external) system_.Disconnect(a);
  }
  bool Start() override {
    if (system_.IsLost(open_)) return false;
    system_.SetStarted(open_, true);
    return true;
  }
  void Reset() override { system_.SetStarted(open_, false); }
  void DriverMessage(uint32_t message) override {
    if (!open_->internal) return;
    if (message == kMidiDriverEnable) system_.SetEnabled(open_, true);
    if (message == kMidiDriverDisable) system_.SetEnabled(open_, false);
  }

private:
  AlsaMidiSystem& system_;
  Open* open_;
};

class AlsaMidiSystem::OutHandle : public MidiOut {
public:
  OutHandle(AlsaMidiSystem& system, Open* open) : system_(system), open_(open) {}
  ~OutHandle() override { system_.Remove(open_); }
  bool Send(uint32_t message) override { return system_.Send(open_, message); }

private:
  AlsaMidiSystem& system_;
  Open* open_;
};

bool AlsaMidiSystem::OpenIn(int32_t id, MessageQueue* notify, uintptr_t user, std::unique_ptr<MidiIn>& in) {
  Open* open = AddOpen(true, id, notify, user);
  if (!open) return false;
  in = std::make_unique<InHandle>(*this, open);
  return true;
}

bool AlsaMidiSystem::OpenOut(int32_t id, MessageQueue* notify, uintptr_t user, std::unique_ptr<MidiOut>& out) {
  Open* open = AddOpen(false, id, notify, user);
  if (!open) return false;
  out = std::make_unique<OutHandle>(*this, open);
  return true;
}

void AlsaMidiSystem::Read() {
  std::vector<pollfd> fds;
  {
    std::lock_guard<std::mutex> io(ioMutex_);
    const int n = snd_seq_poll_descriptors_count(seq_, POLLIN);
    fds.resize(size_t(n > 0 ? n : 0));
    if (n > 0) snd_seq_poll_descriptors(seq_, fds.data(), unsigned(n), POLLIN);
  }
  // The reader sleeps until the sequencer has events or the stop rings: it
  // does not wake on a timer.
  const bool haveBell = stopBell_ >= 0;
  if (haveBell) fds.push_back(pollfd{stopBell_, POLLIN, 0});
  constexpr int kFallbackPollMs = 50; // only without the stop bell
  while (!stop_.load()) {
    if (fds.empty()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(kFallbackPollMs));
      continue;
    }
    if (poll(fds.data(), nfds_t(fds.size()), haveBell ? -1 : kFallbackPollMs) <= 0) continue;
    if (stop_.load()) break;
    for (;;) {
      snd_seq_event_t* event = nullptr;
      int result;
      {
        std::lock_guard<std::mutex> io(ioMutex_);
        result = snd_seq_event_input(seq_, &event);
      }
      if (result == -EAGAIN) break;
      // -ENOSPC: the kernel's input queue overflowed; what was lost is lost.
      if (result < 0 || !event) {
        if (result == -ENOSPC) continue;
        break;
      }
      Handle(event);
    }
  }
}

void AlsaMidiSystem::Handle(const snd_seq_event_t* event) {
  const Address source{event->source.client, event->source.port};
  if (source.client == SND_SEQ_CLIENT_SYSTEM) {
    if (event->type != SND_SEQ_EVENT_PORT_EXIT && event->type != SND_SEQ_EVENT_CLIENT_EXIT) return;
    const Address gone{event->data.addr.client, event->data.addr.port};
    const bool wholeClient = event->type == SND_SEQ_EVENT_CLIENT_EXIT;
    std::lock_guard<std::mutex> lock(stateMutex_);
    for (auto& o : opens_) {
      if (o->internal || o->lost) continue;
      if (!(o->address == gone) && !(wholeClient && o->address.client == gone.client)) continue;
      o->lost = true;
      o->started = false;
      if (o->notify) o->notify->Post(kMsgMidiLost, o->user, o->input ? kMidiLostInput : kMidiLostOutput);
    }
    return;
  }
  const uint32_t message = decoder_.Decode(event);
  if (message == 0) return;
  std::lock_guard<std::mutex> lock(stateMutex_);
  Open* target = nullptr;
  Open* internal = nullptr;
  for (auto& o : opens_) {
    if (!o->input) continue;
    if (o->internal) internal = o.get();
    else if (o->address == source) target = o.get();
  }
  // What comes from a port the program opened belongs to it; anything else
  // reached the internal port from another program.
  if (!target && internal && internal->enabled) target = internal;
  if (target && target->started && target->notify) target->notify->Post(kMsgMidiData, target->user, intptr_t(message));
}

snd_seq_t* OpenSequencer(const std::string& clientName) {
  static std::once_flag silence;
  std::call_once(silence, [] { snd_lib_error_set_handler(Silent); });
  snd_seq_t* seq = nullptr;
  const int result = snd_seq_open(&seq, "default", SND_SEQ_OPEN_DUPLEX, 0);
  if (result < 0) {
    OpenError() = std::string("the ALSA sequencer cannot be opened: ") + snd_strerror(result);
    return nullptr;
  }
  snd_seq_set_client_name(seq, clientName.c_str());
  OpenError().clear();
  return seq;
}

// The lists of a machine without a sequencer: empty.
class NoMidiSystem : public MidiSystem {
public:
  std::vector<std::string> Inputs() override { return {}; }
  std::vector<std::string> Outputs() override { return {}; }
  bool OpenIn(int32_t, MessageQueue*, uintptr_t, std::unique_ptr<MidiIn>&) override { return false; }
  bool OpenOut(int32_t, MessageQueue*, uintptr_t, std::unique_ptr<MidiOut>&) override { return false; }
};

std::atomic<MidiSystem*> installed{nullptr};

} // namespace

std::unique_ptr<MidiSystem> CreateAlsaMidi(const std::string& clientName) {
  snd_seq_t* seq = OpenSequencer(clientName);
  if (!seq) return nullptr;
  auto system = std::make_unique<AlsaMidiSystem>(seq);
  if (!system->IsUsable()) {
    OpenError() = "the ALSA sequencer refused the program's port";
    return nullptr;
  }
  return system;
}

std::string AlsaMidiError() { return OpenError(); }

MidiSystem& AlsaMidi() {
  // Made on first use and kept for the life of the process.
  static MidiSystem* system = [] () -> MidiSystem* {
    std::unique_ptr<MidiSystem> alsa = CreateAlsaMidi(kDefaultClientName);
    if (alsa) return alsa.release();
    return new NoMidiSystem;
  }();
  return *system;
}

MidiSystem& Midis() {
  MidiSystem* system = installed.load();
  return system ? *system : AlsaMidi();
}

MidiSystem* SetMidiSystem(MidiSystem* system) { return installed.exchange(system); }

} // namespace platform
