#include "platform/pcm.h"

#include <algorithm>
#include <atomic>
#include <deque>

namespace platform {

struct FakeWaves::Device {
  std::string name;
  bool input = false;
  bool supportsCdFormat = true;
  bool busy = false;
  bool unplugged = false;
  Handle* handle = nullptr;
  int32_t opens = 0;
  std::vector<int16_t> played;
  uint64_t underrun = 0;
  uint64_t overrun = 0;
  uint64_t position = 0; // samples recorded so far (input)
  uint32_t pendingXrun = 0;
  uint32_t xruns = 0;
};

class FakeWaves::Handle : public WaveDevice {
public:
  Handle(FakeWaves& owner, Device& device, MessageQueue* notify) : owner_(owner), device_(device), notify_(notify) {
    device_.handle = this;
    ++device_.opens;
  }
  ~Handle() override {
    ReturnAll();
    device_.handle = nullptr;
    if (!device_.input && notify_) notify_->Post(kMsgOutputClose);
  }

  bool Queue(WaveBuffer* buffer) override {
    if (lost_ || !buffer) return false;
    buffer->flags.fetch_and(~kWaveDone);
    buffer->flags.fetch_or(kWaveQueued);
    buffer->recorded = 0;
    queue_.push_back(buffer);
    return true;
  }
  void Pause() override { paused_ = true; }
  void Restart() override { paused_ = false; }
  void Start() override { started_ = true; }
  void Reset() override {
    started_ = false;
    ReturnAll();
  }
  uint32_t Xruns() const override { return device_.xruns; }
  bool IsLost() const override { return lost_; }
  uint32_t Done() const override { return done_.load(std::memory_order_acquire); }
  void SetBufferMessages(bool post) override { bufferMessages_.store(post); }

  size_t Queued() const { return queue_.size(); }

  void Advance(uint32_t frames) {
    if (lost_) return;
    if (device_.unplugged) {
      lost_ = true;
      ReturnAll();
      if (notify_) notify_->Post(kMsgDeviceLost, device_.input ? 1 : 0);
      return;
    }
    if (device_.input ? !started_ : paused_) return;
    uint32_t remaining = frames;
    if (device_.pendingXrun) {
      // The frames go by unheard (output) or unrecorded (input).
      uint32_t missed = std::min(remaining, device_.pendingXrun);
      device_.pendingXrun = 0;
      ++device_.xruns;
      if (device_.input) device_.position += uint64_t(missed) * kWaveChannels;
      else device_.played.insert(device_.played.end(), size_t(missed) * kWaveChannels, 0);
      remaining -= missed;
    }
    while (remaining > 0) {
      if (queue_.empty()) {
        (device_.input ? device_.overrun : device_.underrun) += remaining;
        if (device_.input) device_.position += uint64_t(remaining) * kWaveChannels;
        return;
      }
      WaveBuffer* b = queue_.front();
      uint32_t bufferFrames = b->bytes / kWaveBytesPerFrame;
      uint32_t take = std::min(remaining, bufferFrames - offset_);
      for (uint32_t i = 0; i < take * kWaveChannels; ++i) {
        int16_t& sample = b->data[offset_ * kWaveChannels + i];
        if (device_.input) sample = owner_.source_ ? owner_.source_(device_.position++) : 0;
        else device_.played.push_back(sample);
      }
      offset_ += take;
      remaining -= take;
      if (offset_ == bufferFrames) Finish();
    }
  }

private:
  // The front buffer is done.
  void Finish() {
    WaveBuffer* b = queue_.front();
    queue_.pop_front();
    if (device_.input) b->recorded = offset_ * kWaveBytesPerFrame;
    offset_ = 0;
    b->flags.fetch_and(~kWaveQueued);
    b->flags.fetch_or(kWaveDone);
    done_.fetch_add(1, std::memory_order_release);
    if (notify_ && bufferMessages_.load())
      notify_->Post(device_.input ? kMsgInputData : kMsgOutputDone, reinterpret_cast<uintptr_t>(b));
  }
  void ReturnAll() {
    while (!queue_.empty()) Finish();
  }

  FakeWaves& owner_;
  Device& device_;
  MessageQueue* notify_;
  std::deque<WaveBuffer*> queue_;
  uint32_t offset_ = 0; // frames of the front buffer done
  bool paused_ = false;
  bool started_ = false;
  bool lost_ = false;
  std::atomic<bool> bufferMessages_{true};
  std::atomic<uint32_t> done_{0};
};

FakeWaves::FakeWaves() = default;

FakeWaves::~FakeWaves() {
  // A device still open at the end of a test is the driver's fault, but the
  // handle must not outlive its device.
  for (auto& d : devices_)
    if (d->handle) d->handle = nullptr;
}

int32_t FakeWaves::AddInput(const std::string& name, bool supportsCdFormat) {
  int32_t id = 0;
  for (auto& d : devices_) id += d->input ? 1 : 0;
  auto d = std::make_unique<Device>();
  d->name = name;
  d->input = true;
  d->supportsCdFormat = supportsCdFormat;
  devices_.push_back(std::move(d));
  return id;
}

int32_t FakeWaves::AddOutput(const std::string& name, bool supportsCdFormat) {
  int32_t id = 0;
  for (auto& d : devices_) id += d->input ? 0 : 1;
  auto d = std::make_unique<Device>();
  d->name = name;
  d->supportsCdFormat = supportsCdFormat;
  devices_.push_back(std::move(d));
  return id;
}

FakeWaves::Device* FakeWaves::Find(bool input, int32_t id) const {
  int32_t n = 0;
  for (auto& d : devices_) {
    if (d->input != input) continue;
    if (n++ == id) return d.get();
  }
  return nullptr;
}

void FakeWaves::SetBusy(bool input, int32_t id, bool busy) {
  if (Device* d = Find(input, id)) d->busy = busy;
}

void FakeWaves::InjectXrun(bool input, int32_t id, uint32_t frames) {
  if (Device* d = Find(input, id)) d->pendingXrun = frames;
}

void FakeWaves::Unplug(bool input, int32_t id) {
  if (Device* d = Find(input, id)) d->unplugged = true;
}

void FakeWaves::Plug(bool input, int32_t id) {
  if (Device* d = Find(input, id)) d->unplugged = false;
}

void FakeWaves::SetInputSource(std::function<int16_t(uint64_t)> source) { source_ = std::move(source); }

std::vector<WaveDeviceInfo> FakeWaves::Inputs() {
  std::vector<WaveDeviceInfo> list;
  for (auto& d : devices_)
    if (d->input) list.push_back({d->name, "fake:" + d->name, d->supportsCdFormat});
  return list;
}

std::vector<WaveDeviceInfo> FakeWaves::Outputs() {
  std::vector<WaveDeviceInfo> list;
  for (auto& d : devices_)
    if (!d->input) list.push_back({d->name, "fake:" + d->name, d->supportsCdFormat});
  return list;
}

WaveResult FakeWaves::Open(bool input, int32_t id, MessageQueue* notify, std::unique_ptr<WaveDevice>& device) {
  Device* d = Find(input, id);
  if (!d || d->unplugged || !d->supportsCdFormat) return WaveResult::kBadDevice;
  if (d->busy || d->handle) return WaveResult::kInUse;
  if (halfDuplex_)
    for (auto& other : devices_)
      if (other->input != input && other->handle) return WaveResult::kInUse;
  device = std::make_unique<Handle>(*this, *d, notify);
  return WaveResult::kOk;
}

void FakeWaves::Advance(uint32_t frames) {
  for (auto& d : devices_)
    if (d->handle) d->handle->Advance(frames);
}

const std::vector<int16_t>& FakeWaves::Played(int32_t id) const {
  static const std::vector<int16_t> none;
  Device* d = Find(false, id);
  return d ? d->played : none;
}

uint64_t FakeWaves::Underrun(int32_t id) const {
  Device* d = Find(false, id);
  return d ? d->underrun : 0;
}

uint64_t FakeWaves::Overrun(int32_t id) const {
  Device* d = Find(true, id);
  return d ? d->overrun : 0;
}

size_t FakeWaves::Queued(bool input, int32_t id) const {
  Device* d = Find(input, id);
  return d && d->handle ? d->handle->Queued() : 0;
}

bool FakeWaves::IsOpen(bool input, int32_t id) const {
  Device* d = Find(input, id);
  return d && d->handle;
}

int32_t FakeWaves::Opens(bool input, int32_t id) const {
  Device* d = Find(input, id);
  return d ? d->opens : 0;
}

// ---------------------------------------------------------------------------

namespace {
std::atomic<WaveSystem*> installedWaves{nullptr};
}

WaveSystem& Waves() {
  WaveSystem* s = installedWaves.load();
  return s ? *s : AlsaWaves();
}

WaveSystem* SetWaveSystem(WaveSystem* system) { return installedWaves.exchange(system); }

} // namespace platform
