// Sound devices as the sound driver uses them: wave devices that play and
// record queued buffers of 44.1 kHz 16-bit stereo frames. Buffers come back
// done in the order they were queued, each counted by the device and, unless
// its owner turns that off, with a message posted to the owner's thread. The real devices are ALSA PCMs; tests use the fake one on
// a virtual frame clock.
#pragma once

#include "platform/thread.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

constexpr uint32_t kWaveRate = 44100;
constexpr uint32_t kWaveChannels = 2;
constexpr uint32_t kWaveBytesPerFrame = 4;

// Buffer flags.
constexpr uint32_t kWaveDone = 0x1;
constexpr uint32_t kWavePrepared = 0x2;
constexpr uint32_t kWaveQueued = 0x10;

// One buffer of interleaved 16-bit frames. The device sets kWaveDone (and,
// for input, `recorded`) when it has played or filled it; the owner reads
// the flag from any thread.
struct WaveBuffer {
  int16_t* data = nullptr;
  uint32_t bytes = 0;    // bytes to play, or room to fill
  uint32_t recorded = 0; // bytes filled (input)
  std::atomic<uint32_t> flags{0};
  uintptr_t user = 0;
};

// Results of opening a device.
enum class WaveResult { kOk, kInUse, kBadDevice, kNoMemory };

struct WaveDeviceInfo {
  std::string name;             // what a person sees
  std::string pcm;              // how the system opens it
  bool supportsCdFormat = true; // plays or records 44.1 kHz 16-bit stereo
};

// An open device. Queue may be called from the timer thread: it never blocks
// and never allocates. The other calls come from the driver's control thread.
class WaveDevice {
public:
  virtual ~WaveDevice() = default;
  // Output: plays the buffer after those queued before it. Input: fills it
  // after those queued before it, once the device is started. False when the
  // device's queue is full or the device went away (the buffer stays not done).
  virtual bool Queue(WaveBuffer* buffer) = 0;
  // Output: holds the queue (nothing more is played) / lets it go on.
  virtual void Pause() = 0;
  virtual void Restart() = 0;
  // Input: starts recording into the queued buffers.
  virtual void Start() = 0;
  // Stops and returns every queued buffer as done, in order.
  virtual void Reset() = 0;
  // Underruns (output) or overruns (input) recovered so far.
  virtual uint32_t Xruns() const = 0;
  // The device went away (unplugged, its driver failed). Once lost it plays
  // and records nothing more; buffers queued before are returned as done.
  virtual bool IsLost() const = 0;
  // Buffers returned done since the device was opened (played or filled, or
  // given back by a reset or a loss). Any thread may read it.
  virtual uint32_t Done() const = 0;
  // Whether each buffer returned done is also posted as a message (it is
  // after the open). An owner that counts through Done() turns the messages
  // off, so that its thread is not woken for every buffer; the close and loss
  // messages are posted all the same.
  virtual void SetBufferMessages(bool post) = 0;
};

// Every sound device of the machine. The done messages go to the given queue:
// kMsgOutputDone / kMsgInputData with the buffer in wparam (unless turned off), kMsgOutputClose
// when an output device closes, kMsgDeviceLost (wparam 1 for input, 0 for
// output) when a device goes away.
class WaveSystem {
public:
  virtual ~WaveSystem() = default;
  virtual std::vector<WaveDeviceInfo> Inputs() = 0;
  virtual std::vector<WaveDeviceInfo> Outputs() = 0;
  virtual WaveResult Open(bool input, int32_t id, MessageQueue* notify, std::unique_ptr<WaveDevice>& device) = 0;
};

// The machine's devices through ALSA: each card's PCM devices (opened as
// "plughw:CARD=…,DEV=…") and "default" when it opens. ALSA's own error
// printing is silenced.
WaveSystem& AlsaWaves();

// The installed system (ALSA until another is set).
WaveSystem& Waves();
// Installs a system; nullptr restores ALSA. Returns the previous one.
WaveSystem* SetWaveSystem(WaveSystem* system);

// A fake set of devices on a virtual frame clock, for tests. Every device
// runs at the same clock: Advance(frames) plays and records that many frames
// on every running device.
class FakeWaves : public WaveSystem {
public:
  FakeWaves();
  ~FakeWaves() override;
  // Adds a device; returns its id.
  int32_t AddInput(const std::string& name, bool supportsCdFormat = true);
  int32_t AddOutput(const std::string& name, bool supportsCdFormat = true);
  // A busy device answers "in use" to every open.
  void SetBusy(bool input, int32_t id, bool busy);
  // A half-duplex machine: while a device of one direction is open, every
  // device of the other answers "in use".
  void SetHalfDuplex(bool halfDuplex) { halfDuplex_ = halfDuplex; }
  // The open device misses the given frames (an underrun or an overrun the
  // device recovers from): they are skipped at the next Advance and counted.
  void InjectXrun(bool input, int32_t id, uint32_t frames);
  // The device goes away: an open one reports lost at the next Advance.
  void Unplug(bool input, int32_t id);
  // The device is back: the next open finds it.
  void Plug(bool input, int32_t id);
  // The samples an input device records: sample n of the device's stream.
  void SetInputSource(std::function<int16_t(uint64_t sample)> source);

  std::vector<WaveDeviceInfo> Inputs() override;
  std::vector<WaveDeviceInfo> Outputs() override;
  WaveResult Open(bool input, int32_t id, MessageQueue* notify, std::unique_ptr<WaveDevice>& device) override;

  // Runs the virtual clock.
  void Advance(uint32_t frames);
  // Everything output device id has played since it was first opened, and
  // the frames it had nothing to play while running.
  const std::vector<int16_t>& Played(int32_t id) const;
  uint64_t Underrun(int32_t id) const;
  // Frames an input could not record for want of a queued buffer.
  uint64_t Overrun(int32_t id) const;
  // Buffers now queued on an open device (0 when not open).
  size_t Queued(bool input, int32_t id) const;
  bool IsOpen(bool input, int32_t id) const;
  int32_t Opens(bool input, int32_t id) const;

  struct Device;
  class Handle;

private:
  std::vector<std::unique_ptr<Device>> devices_;
  std::function<int16_t(uint64_t)> source_;
  bool halfDuplex_ = false;
  Device* Find(bool input, int32_t id) const;
};

} // namespace platform
