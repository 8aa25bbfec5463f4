// The sound-device driver: plays the engine through a wave output or the
// low-latency ring of the bridge library, and records from a wave input, at
// 44.1 kHz, 16-bit stereo. A 5 ms timer makes one block of 216 or 224 device
// frames per tick, choosing the length so that the output queue stays at the
// configured delay. The devices count finished buffers; a message thread of
// the driver's own hears of lost devices.
#pragma once

#include "pelds/pelds.h"
#include "platform/pcm.h"
#include "platform/thread.h"
#include "src/engine/audioio.h"
#include "pc/audio/convert.h"

#include <atomic>
#include <memory>
#include <string>

class IMultiMedia : public virtual IAudioInOut {
public:
  virtual void SetInputForced(bool forced) = 0;
  virtual void SetInDelay(int32_t ms) = 0;
  virtual int32_t GetInDelay() = 0;
  virtual int32_t TakeInLatency() = 0;
  virtual void SetOutDelay(int32_t ms) = 0;
  virtual int32_t GetOutDelay() = 0;
  virtual int32_t TakeOutLatency() = 0;
  virtual int32_t GetInPortCount() = 0;
  virtual int32_t GetInPort() = 0;
  virtual TStr GetInPortName(int32_t index) = 0;
  virtual bool SetInPort(int32_t index) = 0;
  virtual int32_t GetOutPortCount() = 0;
  virtual int32_t GetOutPort() = 0;
  virtual TStr GetOutPortName(int32_t index) = 0;
  virtual bool SetOutPort(int32_t index) = 0;
};

// The bridge library's nine entry points.
struct TBridgeEntries {
  int (*getNumDevices)() = nullptr;
  const char* (*getDeviceName)(int) = nullptr;
  int (*open)(int, void*) = nullptr;
  void (*close)() = nullptr;
  void (*start)() = nullptr;
  void (*stop)() = nullptr;
  TDsLockRecord* (*lock)(int) = nullptr;
  void (*unlock)() = nullptr;
  int (*getNumSamplesAhead)() = nullptr;
};

// What the driver runs on. Empty members mean the machine's own: the wave
// devices of the platform, a real 5 ms timer, the bridge library loaded from
// the program's folder.
struct TMultiMediaSystem {
  platform::WaveSystem* waves = nullptr;
  platform::PeriodicTimer* timer = nullptr; // not owned
  const TBridgeEntries* bridge = nullptr;   // used instead of loading the library
  std::string bridgePath;                   // where the library is looked for
};
// Installs a system and forgets the port lists, which the next
// IsMultiMediaAvailable builds again from it.
void SetMultiMediaSystem(const TMultiMediaSystem& system);

// Driver constants.
namespace mme {
constexpr int32_t kRingSize = 300;
constexpr int32_t kShortFrames = 216;
constexpr int32_t kLongFrames = 224;
constexpr int32_t kBufferDataBytes = 3584;
constexpr int32_t kTickMs = 5;
// Play-ahead when none is stored: enough for an idle machine to play without
// gaps while a key still sounds at once. The input keeps its long default.
constexpr int32_t kDefaultOutDelayMs = 20;
constexpr int32_t kDefaultInDelayMs = 400;
// Delays outside this range would run past the header rings.
constexpr int32_t kMinDelayMs = 10;
constexpr int32_t kMaxDelayMs = 400;
// How far the queue may stray from the delay before ticks stop making blocks.
constexpr int32_t kDepthWindow = 20;
// A tick that cannot have the engine makes its block up later only while
// more than this many blocks are still queued to play; else the block goes
// out silent.
constexpr int32_t kStarveDepth = 2;
// Ticks in a row that may owe their block.
constexpr int32_t kMaxOwedBlocks = 40;
// Ticks in a row (2 s) that may find a playing ring's play position where
// it was before its device counts as gone.
constexpr int32_t kStallTicks = 400;
constexpr int32_t kMaxPorts = 64;
constexpr uint32_t kThreadWaitMs = 2000;
constexpr uint32_t kBufferWaitMs = 2000;
} // namespace mme

// Creation and availability.
IAudioInOut* CreateMultiMedia(IAudioOwner* owner);
bool IsMultiMediaAvailable();
int32_t GetMultiMediaInputCount();
int32_t GetMultiMediaOutputCount();
// Offers the driver to the factory.
void RegisterMultiMedia();
// The settings dialog lives with the windows: it registers itself here.
using TMultiMediaDialog = void (*)(IMultiMedia* driver);
void SetMultiMediaDialog(TMultiMediaDialog dialog);

class TMultiMedia : public TAudioInOut, public virtual IMultiMedia {
public:
  explicit TMultiMedia(IAudioOwner* owner);
  ~TMultiMedia() override;

  // IAudioInOut
  int32_t GetType() override { return kAudioMultiMedia; }
  int32_t GetInputCount() override { return inPort_ != 0 ? 2 : 0; }
  int32_t GetOutputCount() override { return outPort_ != 0 ? 2 : 0; }
  void ClearBuffers() override;
  void EnableInput(int32_t) override {}
  void EnableOutput(int32_t) override {}
  void DisableInput(int32_t) override {}
  void DisableOutput(int32_t) override {}
  bool HasSettingsDialog() override;
  void ShowSettingsDialog() override;

  // IMultiMedia
  void SetInputForced(bool forced) override;
  void SetInDelay(int32_t ms) override;
  int32_t GetInDelay() override { return inDelay_ * mme::kTickMs; }
  int32_t TakeInLatency() override;
  void SetOutDelay(int32_t ms) override;
  int32_t GetOutDelay() override { return outDelay_.load() * mme::kTickMs; }
  int32_t TakeOutLatency() override;
  int32_t GetInPortCount() override;
  int32_t GetInPort() override { return inPort_; }
  TStr GetInPortName(int32_t index) override;
  bool SetInPort(int32_t index) override;
  int32_t GetOutPortCount() override;
  int32_t GetOutPort() override { return outPort_; }
  TStr GetOutPortName(int32_t index) override;
  bool SetOutPort(int32_t index) override;

  // Figures for the usage display: device underruns and overruns recovered,
  // and blocks made silent because the engine was busy, since the start.
  uint32_t GetDeviceXruns() const;
  // Blocks a tick could not run at once because the engine was being
  // changed, and made up on a later tick, since construction.
  uint32_t GetDeferredBlocks() const { return deferredBlocks_.load(std::memory_order_relaxed); }
  // True once every message posted to the driver's thread before the call
  // has been handled (false after the wait's bound).
  bool SyncMessages(uint32_t milliseconds = mme::kThreadWaitMs);
  bool IsOutputActive() const { return outActive_; }
  bool IsInputActive() const { return inActive_; }
  // The timer callbacks (public for the timer's sake).
  void MmeTick();
  void DsTick();

protected:
  int32_t DeviceStart() override;
  void DeviceStop() override;
  void DevicePause() override;
  void DeviceResume() override;
  void UpdateBlockLength() override;
  float TakeInputLevel(int32_t channel) override;
  float TakeOutputLevel(int32_t channel) override;
  void ClearOutput() override;

private:
  struct TRing;
  bool IsDirectSoundPort(int32_t port) const;
  void RunMessages();
  void AllocateRings();
  void FreeRings();
  void OpenDevices();
  bool OpenInput();
  bool OpenOutput();
  void CloseOutput();
  void CloseInput();
  void RevertPorts(const char* message);
  // Tells the user when the start could not use the chosen output and what plays instead.
  void TellStartFallback();
  void Prefill();
  void StartTimer();
  void StopTimer();
  void ReleaseBuffers(bool free);
  void CloseDevices();
  void SaveSettings();
  bool ChangePort(bool input, int32_t index);
  void DeviceLost(bool input);
  void HandleDeviceLost();
  platform::WaveBuffer* NextHeader(TRing& ring);
  // Output and input buffers done since the devices opened (timer thread).
  int32_t OutDone() const;
  int32_t InDone() const;
  void BeginBlock(platform::WaveBuffer* out, platform::WaveBuffer* in, bool shortBlock);
  void WriteSilentAhead(int32_t frames);
  // True once the ring's play position has stood still for kStallTicks
  // ticks; the loss is then posted to the driver's thread once.
  bool RingStalled(int32_t aheadFrames);
  void OweBlock();
  // True when an owed block is to be made now; roomForIt: the queue is not
  // beyond its delay.
  bool TakeOwedBlock(bool roomForIt);

  platform::Thread thread_{"sound driver"};
  platform::MessageQueue messages_;
  std::atomic<bool> threadStarted_{false};
  std::unique_ptr<platform::PeriodicTimer> ownTimer_;
  platform::PeriodicTimer* timer_ = nullptr;
  std::unique_ptr<platform::WaveDevice> inDevice_;
  std::unique_ptr<platform::WaveDevice> outDevice_;

  std::atomic<int32_t> shortEngineBlock_{0};
  std::atomic<int32_t> longEngineBlock_{0};
  std::atomic<int32_t> currentDeviceBlock_{mme::kLongFrames};
  std::atomic<int32_t> inLeadSum_{0}, inLeadCount_{0};
  int32_t inDelay_ = 0;
  std::atomic<int32_t> skipInsert_{0};
  std::atomic<int32_t> outDepthSum_{0}, outDepthCount_{0};
  std::atomic<int32_t> outDelay_{0};
  bool inActive_ = false;
  bool inForced_ = false;
  bool outActive_ = false;
  int32_t inPort_ = 0, outPort_ = 0;
  int32_t prevInPort_ = 0, prevOutPort_ = 0;
  std::unique_ptr<TRing> rings_[4];
  int32_t blocksQueued_ = 0;
  // Input buffers counted as done before the device's own count: the
  // silent ones the input starts behind by.
  int32_t inDoneBase_ = 0;
  bool firstTick_ = true;
  // Blocks the ticks owe the device (timer thread only).
  int32_t blocksOwed_ = 0;
  std::atomic<uint32_t> deferredBlocks_{0};
  std::atomic<bool> stopFlag_{false};
  bool dsOpen_ = false;
  // Timer thread: frames written into the ring since it opened (modulo its
  // size), the play position the last tick saw and the ticks it stood still.
  int32_t dsWritten_ = 0;
  int32_t dsCursor_ = -1;
  int32_t dsStillTicks_ = 0;
  std::atomic<uint32_t> xruns_{0};
  std::atomic<bool> inLost_{false}, outLost_{false};
  // The names of ports that went away, kept as the stored choice.
  TStr lostInName_, lostOutName_;
  // At the start: the stored output that is not listed, the output that
  // would not open, and the outputs tried in its place (a bit per port).
  TStr missingOutName_, failedOutName_;
  bool starting_ = false;
  uint64_t triedOutPorts_ = 0;
  // Tasks posted to the GUI thread hold this; it is cleared when the driver goes.
  std::shared_ptr<TMultiMedia*> alive_ = std::make_shared<TMultiMedia*>(this);
  int32_t rate_ = mme::kOne;
};
