// The engine's driver for the Audiowerk8 card: opens, starts, pauses and stops
// the card through the card library, and runs the engine's block loop once
// per card block from the library's callback. The card runs at 44100 Hz with
// 2 inputs and 8 outputs; the Audio In and Audio Out routines convert between
// card frames and engine samples at the ensemble's rate factor.
#pragma once

#include "src/engine/audioio.h"

#include "aw8link/aw8link.h"
#include "platform/thread.h"

#include <atomic>
#include <cstdint>
#include <memory>

class IAudioWerk : public virtual IAudioInOut {
public:
  // Restart with input 1 (analog) for 1, else 0 (digital).
  virtual void SetInput(int32_t analog) = 0;
  // Restart with a new buffer length (see TAudioWerk::ValidFrames).
  virtual void SetBufferLength(int32_t frames) = 0;
  virtual int32_t GetBufferLength() = 0;
  virtual int32_t GetInput() = 0;
  // Restart with a new service mode: 0 fast (service thread), 1 safe (timer).
  virtual void SetMode(int32_t mode) = 0;
  virtual int32_t GetMode() = 0;
  // Card frames for a latency in milliseconds.
  virtual int32_t MsToFrames(int32_t ms) = 0;
};

class TAudioWerk : public TAudioInOut, public virtual IAudioWerk {
public:
  static constexpr int32_t kMaxFrames = 4408;   // 100 ms, a multiple of 4
  static constexpr int32_t kDefaultFrames = 256;
  static constexpr int32_t kInputs = 2;
  static constexpr int32_t kOutputs = 8;
  static constexpr int32_t kWatchdogStart = 30;
  static constexpr int32_t kWatchdogArmed = 100;
  // The re-arm request of the control thread (a private thread message).
  static constexpr uint32_t kMsgRearmWatchdog = platform::kMsgUser + 103;

  explicit TAudioWerk(IAudioOwner* owner);
  ~TAudioWerk() override;

  // A buffer length the card takes: at most kMaxFrames, a multiple of 4 (so
  // that every rate factor's pattern ends with the block), at least 4.
  static int32_t ValidFrames(int32_t frames);

  int32_t GetType() override { return kAudioWerk; }
  int32_t GetInputCount() override { return kInputs; }
  int32_t GetOutputCount() override { return kOutputs; }
  void EnableInput(int32_t channel) override;
  void DisableInput(int32_t channel) override;
  void EnableOutput(int32_t channel) override;
  void DisableOutput(int32_t channel) override;
  void ClearBuffers() override {}
  bool HasSettingsDialog() override;
  void ShowSettingsDialog() override;

  void SetInput(int32_t analog) override;
  void SetBufferLength(int32_t frames) override;
  int32_t GetBufferLength() override { return frames_; }
  int32_t GetInput() override { return input_; }
  void SetMode(int32_t mode) override;
  int32_t GetMode() override { return mode_; }
  int32_t MsToFrames(int32_t ms) override;

  // The card library's callback.
  static int32_t CardCallback(TAw8CallbackRecord* record);

  // For tests: the watchdog, and how often the control thread was asked to
  // re-arm it.
  int32_t GetWatchdog() const { return watchdog_.load(); }
  void SetWatchdog(int32_t value) { watchdog_.store(value); }
  uint32_t RearmRequests() const { return rearmRequests_.load(); }
  bool IsRearmPending() const { return rearmWanted_.load(); }
  // Calls of the card handled so far.
  uint32_t CardCalls() const { return cardCalls_.load(std::memory_order_acquire); }
  bool IsCardRunning() const { return running_; }

protected:
  int32_t DeviceStart() override;
  void DeviceStop() override;
  void DevicePause() override;
  void DeviceResume() override;
  void UpdateBlockLength() override;
  float TakeInputLevel(int32_t channel) override;
  float TakeOutputLevel(int32_t channel) override;
  void ClearOutput() override {}

private:
  void AllocateBuffers();
  void OpenCard();
  void CloseCard();
  void Restart(void (*store)(TAudioWerk&, int32_t), int32_t value);
  void ControlThread();
  void OnCard(TAw8CallbackRecord* record);
  void WatchdogStep();

  int32_t frames_ = kDefaultFrames;
  std::unique_ptr<int16_t[]> input_buffer_;
  std::unique_ptr<int16_t[]> outputB_;
  int32_t input_ = 1;
  int32_t mode_ = 1;
  bool running_ = false;
  bool cardOpen_ = false;
  std::atomic<int32_t> watchdog_{kWatchdogStart};
  std::atomic<uint32_t> rearmRequests_{0};
  std::atomic<bool> rearmWanted_{false};
  std::atomic<uint32_t> cardCalls_{0};
  platform::MessageQueue controlQueue_;
  platform::Thread control_{"card control"};
};

IAudioInOut* CreateAudioWerk(IAudioOwner* owner);
// Offers the card to the driver factory (available when the card answers).
void RegisterAudioWerk();
// The settings dialog lives with the windows: it registers itself here.
using TAudioWerkDialog = void (*)(IAudioWerk* driver);
void SetAudioWerkDialog(TAudioWerkDialog dialog);
