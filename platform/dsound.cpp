#include "platform/dsound.h"

#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <system_error>
#include <thread>

namespace platform {

namespace {

// Ring ids: a mark, then the device's position in the list.
constexpr uint8_t kIdMark[4] = {'Q', 'v', 'R', 'g'};

void MakeId(uint8_t id[16], uint32_t index) {
  std::memset(id, 0, 16);
  std::memcpy(id, kIdMark, sizeof kIdMark);
  std::memcpy(id + 4, &index, sizeof index);
}

bool ReadId(const uint8_t id[16], uint32_t& index) {
  if (!id || std::memcmp(id, kIdMark, sizeof kIdMark) != 0) return false;
  std::memcpy(&index, id + 4, sizeof index);
  return true;
}

bool LockRegions(std::vector<uint8_t>& data, uint32_t offset, uint32_t bytes, void** first, uint32_t* firstBytes,
                 void** second, uint32_t* secondBytes) {
  uint32_t size = uint32_t(data.size());
  if (offset >= size || bytes == 0 || bytes > size) return false;
  uint32_t head = std::min(bytes, size - offset);
  *first = data.data() + offset;
  *firstBytes = head;
  if (head < bytes) {
    *second = data.data();
    *secondBytes = bytes - head;
  } else {
    *second = nullptr;
    *secondBytes = 0;
  }
  return true;
}

constexpr char kPrimaryDescription[] = "Primary Sound Driver";

// ---------------------------------------------------------------------------
// The ALSA ring: a pump thread keeps a few period buffers queued on the wave
// device, each filled from the ring at the play cursor.

constexpr uint32_t kPumpFrames = 224;
constexpr int kPumpBuffers = 3;
constexpr uint32_t kPumpPollMs = 100;

class AlsaRing : public RingBuffer {
public:
  explicit AlsaRing(uint32_t bytes) : data_(bytes) {
    for (int i = 0; i < kPumpBuffers; ++i) {
      samples_[i].assign(kPumpFrames * kWaveChannels, 0);
      headers_[i].data = samples_[i].data();
      headers_[i].bytes = kPumpFrames * kWaveBytesPerFrame;
      headers_[i].flags.store(kWaveDone);
    }
  }

  // Opens the wave output and starts the pump; false when the device cannot be opened.
  bool OpenDevice(int32_t index) {
    if (Waves().Open(false, index, &messages_, device_) != WaveResult::kOk) return false;
    try {
      thread_ = std::thread([this] {
        NameThisThread("ring pump");
        Run();
      });
    } catch (const std::system_error&) {
      device_.reset();
      return false;
    }
    return true;
  }

  ~AlsaRing() override {
    quit_.store(true);
    messages_.Post(kMsgEndThread);
    if (thread_.joinable()) thread_.join();
    if (device_) device_->Reset();
    device_.reset();
  }

  uint32_t Size() const override { return uint32_t(data_.size()); }
  bool Lock(uint32_t offset, uint32_t bytes, void** first, uint32_t* firstBytes, void** second,
            uint32_t* secondBytes) override {
    return LockRegions(data_, offset, bytes, first, firstBytes, second, secondBytes);
  }
  // What the writer put into the buffer before unlocking is seen by the
  // next fill that reads the count.
  void Unlock(void*, uint32_t, void*, uint32_t) override { unlocks_.fetch_add(1, std::memory_order_release); }
  void Play() override {
    playing_.store(true);
    messages_.Post(kMsgUser);
  }
  void Stop() override { playing_.store(false); }
  uint32_t PlayCursor() const override { return cursor_.load(); }

private:
  void Fill(WaveBuffer& b) {
    unlocks_.load(std::memory_order_acquire);
    uint32_t size = Size();
    uint32_t at = cursor_.load();
    uint8_t* out = reinterpret_cast<uint8_t*>(b.data);
    uint32_t left = b.bytes;
    while (left > 0) {
      uint32_t n = std::min(left, size - at);
      std::memcpy(out, data_.data() + at, n);
      out += n;
      left -= n;
      at = (at + n) % size;
    }
    cursor_.store(at);
  }

  void Run() {
    // The pump refills the device from the ring: it runs at real-time
    // priority, best effort, like the device thread it feeds.
    Sched().RaiseThreadPriority();
    for (;;) {
      ThreadMessage m;
      bool got = messages_.GetFor(m, kPumpPollMs);
      if (quit_.load() || device_->IsLost()) return;
      if (got && m.id == kMsgEndThread) return;
      if (!playing_.load()) continue;
      for (auto& h : headers_) {
        if (!(h.flags.load() & kWaveDone)) continue;
        Fill(h);
        if (!device_->Queue(&h)) return;
      }
    }
  }

  std::unique_ptr<WaveDevice> device_;
  std::vector<uint8_t> data_;
  std::vector<int16_t> samples_[kPumpBuffers];
  WaveBuffer headers_[kPumpBuffers];
  MessageQueue messages_;
  std::atomic<uint32_t> cursor_{0};
  std::atomic<uint32_t> unlocks_{0};
  std::atomic<bool> playing_{false};
  std::atomic<bool> quit_{false};
  std::thread thread_;
};

class AlsaRingSystem : public RingSystem {
public:
  std::vector<RingDeviceEntry> Enumerate() override {
    std::vector<RingDeviceEntry> list(1);
    list[0].primary = true;
    list[0].description = kPrimaryDescription;
    std::vector<WaveDeviceInfo> outputs = Waves().Outputs();
    for (uint32_t i = 0; i < outputs.size(); ++i) {
      if (!outputs[i].supportsCdFormat) continue;
      RingDeviceEntry e;
      e.description = outputs[i].name;
      MakeId(e.id, i);
      list.push_back(e);
    }
    return list;
  }

  std::unique_ptr<RingBuffer> Open(const uint8_t id[16], uint32_t bytes) override {
    uint32_t index = 0;
    if (!ReadId(id, index) || bytes == 0) return nullptr;
    auto ring = std::make_unique<AlsaRing>(bytes);
    if (!ring->OpenDevice(int32_t(index))) return nullptr;
    return ring;
  }
};

std::atomic<RingSystem*> installedRings{nullptr};

} // namespace

RingSystem& AlsaRings() {
  static AlsaRingSystem* system = new AlsaRingSystem;
  return *system;
}

RingSystem& Rings() {
  RingSystem* s = installedRings.load();
  return s ? *s : AlsaRings();
}

RingSystem* SetRingSystem(RingSystem* system) { return installedRings.exchange(system); }

// ---------------------------------------------------------------------------
// Fake

void FakeRings::AddDevice(const std::string& description) { devices_.push_back(description); }

std::vector<RingDeviceEntry> FakeRings::Enumerate() {
  std::vector<RingDeviceEntry> list(1);
  list[0].primary = true;
  list[0].description = kPrimaryDescription;
  for (uint32_t i = 0; i < devices_.size(); ++i) {
    RingDeviceEntry e;
    e.description = devices_[i];
    MakeId(e.id, i);
    list.push_back(e);
  }
  return list;
}

std::unique_ptr<RingBuffer> FakeRings::Open(const uint8_t id[16], uint32_t bytes) {
  uint32_t index = 0;
  if (openFails_ || current_ || !ReadId(id, index) || index >= devices_.size() || bytes == 0) return nullptr;
  auto ring = std::make_unique<Ring>(*this, bytes);
  current_ = ring.get();
  return ring;
}

FakeRings::Ring::~Ring() {
  if (owner_.current_ == this) owner_.current_ = nullptr;
}

bool FakeRings::Ring::Lock(uint32_t offset, uint32_t bytes, void** first, uint32_t* firstBytes, void** second,
                           uint32_t* secondBytes) {
  if (!LockRegions(data_, offset, bytes, first, firstBytes, second, secondBytes)) return false;
  locked_ = true;
  return true;
}

void FakeRings::Ring::Unlock(void*, uint32_t, void*, uint32_t) { locked_ = false; }

int16_t FakeRings::Ring::SampleAt(uint32_t byteOffset) const {
  int16_t s;
  std::memcpy(&s, data_.data() + (byteOffset % Size()), sizeof s);
  return s;
}

// ---------------------------------------------------------------------------
// Shared libraries

DynamicLibrary::~DynamicLibrary() {
  if (handle_) dlclose(handle_);
}

std::unique_ptr<DynamicLibrary> DynamicLibrary::Load(const std::string& path) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) return nullptr;
  return std::unique_ptr<DynamicLibrary>(new DynamicLibrary(handle));
}

void* DynamicLibrary::Symbol(const char* name) const { return handle_ ? dlsym(handle_, name) : nullptr; }

} // namespace platform
