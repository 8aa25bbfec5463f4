#include "platform/pcm.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <semaphore.h>
#include <thread>

namespace platform {

namespace {

// A period of about one engine block, four of them in the device.
constexpr snd_pcm_uframes_t kPeriodFrames = 224;
constexpr snd_pcm_uframes_t kBufferFrames = kPeriodFrames * 4;
// How long a device thread waits for room or data before it looks again.
constexpr int kPollMs = 100;
// A device that makes no progress for this long while it has work is gone.
constexpr int kStallMs = 2000;
// How long a control call waits for the device thread to answer.
constexpr uint32_t kControlWaitMs = 2000;
constexpr size_t kQueueCapacity = 1024;

void SilentErrorHandler(const char*, int, const char*, int, const char*, ...) {}

void SilenceAlsa() {
  static std::once_flag once;
  std::call_once(once, [] { snd_lib_error_set_handler(SilentErrorHandler); });
}

bool SetCdFormat(snd_pcm_t* pcm, bool input) {
  snd_pcm_hw_params_t* hw;
  snd_pcm_hw_params_alloca(&hw);
  if (snd_pcm_hw_params_any(pcm, hw) < 0) return false;
  if (snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED) < 0) return false;
  if (snd_pcm_hw_params_set_format(pcm, hw, SND_PCM_FORMAT_S16_LE) < 0) return false;
  if (snd_pcm_hw_params_set_channels(pcm, hw, kWaveChannels) < 0) return false;
  if (snd_pcm_hw_params_set_rate(pcm, hw, kWaveRate, 0) < 0) return false;
  snd_pcm_uframes_t period = kPeriodFrames, buffer = kBufferFrames;
  int dir = 0;
  snd_pcm_hw_params_set_period_size_near(pcm, hw, &period, &dir);
  snd_pcm_hw_params_set_buffer_size_near(pcm, hw, &buffer);
  if (snd_pcm_hw_params(pcm, hw) < 0) return false;
  snd_pcm_hw_params_get_period_size(hw, &period, &dir);
  snd_pcm_sw_params_t* sw;
  snd_pcm_sw_params_alloca(&sw);
  if (snd_pcm_sw_params_current(pcm, sw) == 0) {
    snd_pcm_sw_params_set_start_threshold(pcm, sw, input ? 1 : period);
    snd_pcm_sw_params_set_avail_min(pcm, sw, period);
    snd_pcm_sw_params(pcm, sw);
  }
  return true;
}

bool SupportsCdFormat(snd_pcm_t* pcm) {
  snd_pcm_hw_params_t* hw;
  snd_pcm_hw_params_alloca(&hw);
  if (snd_pcm_hw_params_any(pcm, hw) < 0) return false;
  return snd_pcm_hw_params_test_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED) == 0 &&
         snd_pcm_hw_params_test_format(pcm, hw, SND_PCM_FORMAT_S16_LE) == 0 &&
         snd_pcm_hw_params_test_channels(pcm, hw, kWaveChannels) == 0 &&
         snd_pcm_hw_params_test_rate(pcm, hw, kWaveRate, 0) == 0;
}

// Whether a PCM can be listed: it opens (or is busy, which the open reports
// later) and takes the format.
bool Probe(const std::string& name, snd_pcm_stream_t stream, bool& supports) {
  snd_pcm_t* pcm = nullptr;
  int err = snd_pcm_open(&pcm, name.c_str(), stream, SND_PCM_NONBLOCK);
  if (err == -EBUSY) {
    supports = true; // a plug device converts; the open tells the rest
    return true;
  }
  if (err < 0) return false;
  supports = SupportsCdFormat(pcm);
  snd_pcm_close(pcm);
  return true;
}

std::vector<WaveDeviceInfo> Enumerate(bool input) {
  SilenceAlsa();
  snd_pcm_stream_t stream = input ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK;
  std::vector<WaveDeviceInfo> list;
  bool supports = false;
  if (Probe("default", stream, supports)) list.push_back({"default", "default", supports});
  int card = -1;
  while (snd_card_next(&card) == 0 && card >= 0) {
    char hw[32];
    std::snprintf(hw, sizeof hw, "hw:%d", card);
    snd_ctl_t* ctl = nullptr;
    if (snd_ctl_open(&ctl, hw, 0) < 0) continue;
    snd_ctl_card_info_t* cardInfo;
    snd_ctl_card_info_alloca(&cardInfo);
    if (snd_ctl_card_info(ctl, cardInfo) < 0) {
      snd_ctl_close(ctl);
      continue;
    }
    std::string cardId = snd_ctl_card_info_get_id(cardInfo);
    std::string cardName = snd_ctl_card_info_get_name(cardInfo);
    int device = -1;
    while (snd_ctl_pcm_next_device(ctl, &device) == 0 && device >= 0) {
      snd_pcm_info_t* info;
      snd_pcm_info_alloca(&info);
      snd_pcm_info_set_device(info, unsigned(device));
      snd_pcm_info_set_subdevice(info, 0);
      snd_pcm_info_set_stream(info, stream);
      if (snd_ctl_pcm_info(ctl, info) < 0) continue;
      std::string pcm = "plughw:CARD=" + cardId + ",DEV=" + std::to_string(device);
      if (!Probe(pcm, stream, supports)) continue;
      list.push_back({cardName + ": " + snd_pcm_info_get_name(info), pcm, supports});
    }
    snd_ctl_close(ctl);
  }
  return list;
}

// One open PCM with a thread that plays or records the queued buffers.
class AlsaDevice : public WaveDevice {
public:
  AlsaDevice(snd_pcm_t* pcm, bool input, MessageQueue* notify) : pcm_(pcm), input_(input), notify_(notify), ring_(kQueueCapacity) {
    sem_init(&wake_, 0, 0);
    thread_ = std::thread([this] {
      NameThisThread(input_ ? "sound in" : "sound out");
      Run();
    });
  }

  ~AlsaDevice() override {
    Control(kReset);
    quit_.store(true);
    sem_post(&wake_);
    thread_.join();
    snd_pcm_close(pcm_);
    sem_destroy(&wake_);
    if (!input_ && notify_) notify_->Post(kMsgOutputClose);
  }

  bool Queue(WaveBuffer* buffer) override {
    if (lost_.load() || !buffer) return false;
    size_t tail = tail_.load(std::memory_order_relaxed);
    if (tail - head_.load(std::memory_order_acquire) >= ring_.size()) return false;
    buffer->flags.fetch_and(~kWaveDone);
    buffer->flags.fetch_or(kWaveQueued);
    buffer->recorded = 0;
    ring_[tail % ring_.size()] = buffer;
    tail_.store(tail + 1, std::memory_order_release);
    sem_post(&wake_);
    return true;
  }

  void Pause() override { paused_.store(true); }
  void Restart() override {
    paused_.store(false);
    sem_post(&wake_);
  }
  void Start() override {
    started_.store(true);
    sem_post(&wake_);
  }
  void Reset() override {
    started_.store(false);
    Control(kReset);
  }
  uint32_t Xruns() const override { return xruns_.load(); }
  bool IsLost() const override { return lost_.load(); }
  uint32_t Done() const override { return done_.load(std::memory_order_acquire); }
  void SetBufferMessages(bool post) override { bufferMessages_.store(post); }

private:
  enum Request { kNone, kReset };

  // Asks the device thread to do a control request and waits, bounded, for it.
  void Control(Request request) {
    std::unique_lock<std::mutex> lock(mutex_);
    request_ = request;
    requested_.store(true, std::memory_order_release);
    sem_post(&wake_);
    answered_.wait_for(lock, std::chrono::milliseconds(kControlWaitMs), [this] { return request_ == kNone; });
  }

  void ServeControl() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (request_ == kReset) {
      snd_pcm_drop(pcm_);
      ReturnAll();
      snd_pcm_prepare(pcm_);
    }
    request_ = kNone;
    requested_.store(false, std::memory_order_release);
    answered_.notify_all();
  }

  // Looked at on every turn of the device thread: without taking the lock.
  bool HasRequest() const { return requested_.load(std::memory_order_acquire); }

  // The next buffer to play or record into; buffers before it (from the
  // head on) have been written to the device and wait until it has played
  // them (output only: input buffers are done once filled).
  WaveBuffer* Front() {
    if (written_ == tail_.load(std::memory_order_acquire)) return nullptr;
    return ring_[written_ % ring_.size()];
  }

  // The buffer at the head is done: it goes back to its owner.
  void Retire() {
    const size_t head = head_.load(std::memory_order_relaxed);
    WaveBuffer* b = ring_[head % ring_.size()];
    if (head == written_) {
      if (input_) b->recorded = uint32_t(offset_) * kWaveBytesPerFrame;
      offset_ = 0;
      ++written_;
    }
    head_.store(head + 1, std::memory_order_release);
    b->flags.fetch_and(~kWaveQueued);
    b->flags.fetch_or(kWaveDone);
    done_.fetch_add(1, std::memory_order_release);
    if (notify_ && bufferMessages_.load(std::memory_order_relaxed))
      notify_->Post(input_ ? kMsgInputData : kMsgOutputDone, reinterpret_cast<uintptr_t>(b));
  }

  // The buffer being written is complete: an input buffer is done now, an
  // output buffer once it has been played.
  void Finish() {
    if (input_) {
      Retire();
      return;
    }
    ends_[written_ % ring_.size()] = framesWritten_;
    offset_ = 0;
    ++written_;
  }

  // Frames written that the device has not played yet.
  snd_pcm_uframes_t Unplayed() {
    snd_pcm_sframes_t delay = 0;
    if (snd_pcm_delay(pcm_, &delay) < 0 || delay < 0) return 0;
    return snd_pcm_uframes_t(delay);
  }

  // An output buffer is done once the device has played it, as a wave
  // device reports it: the queue the driver counts is then what is still to
  // be heard, not what is still to be handed to the device. Returns the
  // milliseconds until the next written buffer will have played (0: none waits).
  uint32_t RetirePlayed() {
    if (input_ || head_.load(std::memory_order_relaxed) == written_) return 0;
    const uint64_t played = framesWritten_ - std::min<uint64_t>(framesWritten_, Unplayed());
    while (head_.load(std::memory_order_relaxed) != written_) {
      const uint64_t end = ends_[head_.load(std::memory_order_relaxed) % ring_.size()];
      if (end > played) return uint32_t((end - played) * 1000 / kWaveRate) + 1;
      Retire();
    }
    return 0;
  }

  void ReturnAll() {
    while (head_.load(std::memory_order_relaxed) != tail_.load(std::memory_order_acquire)) Retire();
    written_ = head_.load(std::memory_order_relaxed);
    offset_ = 0;
  }

  void Lose() {
    lost_.store(true);
    ReturnAll();
    if (notify_) notify_->Post(kMsgDeviceLost, input_ ? 1 : 0);
  }

  // Waits on the monotonic clock: a change of the wall clock neither cuts
  // the wait short nor stretches it.
  void Wait(uint32_t milliseconds = kPollMs) {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    ts.tv_nsec += long(milliseconds) * 1000000L;
    if (ts.tv_nsec >= 1000000000L) {
      ts.tv_sec += 1;
      ts.tv_nsec -= 1000000000L;
    }
    while (sem_clockwait(&wake_, CLOCK_MONOTONIC, &ts) != 0 && errno == EINTR) {
    }
  }

  void Run() {
    // The device must be fed in time whatever else runs: real-time priority
    // at the same best effort as the timer and MIDI threads.
    Sched().RaiseThreadPriority();
    int stalled = 0;
    while (!quit_.load()) {
      if (HasRequest()) {
        ServeControl();
        continue;
      }
      const uint32_t untilPlayed = RetirePlayed();
      bool active = input_ ? started_.load() : !paused_.load();
      WaveBuffer* b = active && !lost_.load() ? Front() : nullptr;
      if (!b) {
        stalled = 0;
        Wait(untilPlayed > 0 ? std::min<uint32_t>(untilPlayed, kPollMs) : kPollMs);
        continue;
      }
      // Capture runs only once started; reading starts it after a stop.
      if (input_ && snd_pcm_state(pcm_) == SND_PCM_STATE_PREPARED) snd_pcm_start(pcm_);
      int ready = snd_pcm_wait(pcm_, kPollMs);
      if (ready == 0) {
        // Output may not have started yet (below the start threshold): push on.
        if (!input_ && snd_pcm_state(pcm_) == SND_PCM_STATE_PREPARED) ready = 1;
        else if ((stalled += kPollMs) >= kStallMs) {
          Lose();
          continue;
        } else {
          continue;
        }
      }
      if (ready < 0 && !Recover(ready)) continue;
      snd_pcm_uframes_t total = b->bytes / kWaveBytesPerFrame;
      int16_t* at = b->data + offset_ * kWaveChannels;
      snd_pcm_sframes_t n = input_ ? snd_pcm_readi(pcm_, at, total - offset_) : snd_pcm_writei(pcm_, at, total - offset_);
      if (n == -EAGAIN) continue;
      if (n < 0) {
        Recover(int(n));
        continue;
      }
      stalled = 0;
      offset_ += snd_pcm_uframes_t(n);
      framesWritten_ += uint64_t(n);
      if (offset_ >= total) Finish();
    }
  }

  // An underrun or overrun is recovered and counted; anything else means the
  // device is gone. True when the device can go on.
  bool Recover(int err) {
    if (err == -EPIPE || err == -ESTRPIPE || err == -EINTR) {
      if (err != -EINTR) xruns_.fetch_add(1);
      if (snd_pcm_recover(pcm_, err, 1) < 0) {
        Lose();
        return false;
      }
      if (input_) snd_pcm_start(pcm_);
      return true;
    }
    Lose();
    return false;
  }

  snd_pcm_t* pcm_;
  bool input_;
  MessageQueue* notify_;
  std::vector<WaveBuffer*> ring_;
  std::atomic<size_t> head_{0};
  std::atomic<size_t> tail_{0};
  // Device thread only: where the buffer being written stands, the next
  // buffer to write, frames written so far and where each written buffer ends.
  snd_pcm_uframes_t offset_ = 0;
  size_t written_ = 0;
  uint64_t framesWritten_ = 0;
  std::vector<uint64_t> ends_ = std::vector<uint64_t>(kQueueCapacity);
  sem_t wake_;
  std::mutex mutex_;
  std::condition_variable answered_;
  Request request_ = kNone;
  std::atomic<bool> requested_{false};
  std::atomic<bool> quit_{false};
  std::atomic<bool> paused_{false};
  std::atomic<bool> started_{false};
  std::atomic<bool> lost_{false};
  std::atomic<uint32_t> xruns_{0};
  std::atomic<uint32_t> done_{0};
  std::atomic<bool> bufferMessages_{true};
  std::thread thread_;
};

class AlsaWaveSystem : public WaveSystem {
public:
  std::vector<WaveDeviceInfo> Inputs() override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!inputsListed_) {
      inputs_ = Enumerate(true);
      inputsListed_ = true;
    }
    return inputs_;
  }
  std::vector<WaveDeviceInfo> Outputs() override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!outputsListed_) {
      outputs_ = Enumerate(false);
      outputsListed_ = true;
    }
    return outputs_;
  }

  WaveResult Open(bool input, int32_t id, MessageQueue* notify, std::unique_ptr<WaveDevice>& device) override {
    std::vector<WaveDeviceInfo> list = input ? Inputs() : Outputs();
    if (id < 0 || size_t(id) >= list.size()) return WaveResult::kBadDevice;
    snd_pcm_t* pcm = nullptr;
    // Opened without blocking so that a busy device answers at once; the
    // device thread waits with a bound of its own.
    int err = snd_pcm_open(&pcm, list[size_t(id)].pcm.c_str(), input ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK,
                           SND_PCM_NONBLOCK);
    if (err == -EBUSY || err == -EAGAIN) return WaveResult::kInUse;
    if (err < 0) return WaveResult::kBadDevice;
    if (!SetCdFormat(pcm, input)) {
      snd_pcm_close(pcm);
      return WaveResult::kBadDevice;
    }
    try {
      device = std::make_unique<AlsaDevice>(pcm, input, notify);
    } catch (const std::exception&) {
      snd_pcm_close(pcm);
      return WaveResult::kNoMemory;
    }
    return WaveResult::kOk;
  }

private:
  std::mutex mutex_;
  bool inputsListed_ = false, outputsListed_ = false;
  std::vector<WaveDeviceInfo> inputs_, outputs_;
};

} // namespace

WaveSystem& AlsaWaves() {
  static AlsaWaveSystem* system = new AlsaWaveSystem;
  return *system;
}

} // namespace platform
