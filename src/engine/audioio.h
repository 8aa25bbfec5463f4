// The audio in/out base: the engine itself. Every audio driver derives from
// TAudioInOut and supplies only its device operations and its Audio In and
// Audio Out block routines; the base owns the block loop, the clock, the
// processor-usage guard, the routine slots and the engine lock.
#pragma once

#include "src/base/base.h"
#include "src/base/shared.h"
#include "src/base/str.h"
#include "src/base/system.h"
#include "src/engine/engine.h"

#include <atomic>
#include <cstdint>
#include <functional>

class IEngineModule;

// Driver type ids.
enum : int32_t {
  kAudioNone = 0,
  kAudioPelBoard = 1,
  kAudioWerk = 2,
  kAudioMultiMedia = 3,
  kAudioActiveMovie = 4,
  kAudioMac = 5,
};

// What the engine needs of the ensemble that owns the driver.
class IAudioOwner {
public:
  virtual ~IAudioOwner() = default;
  // Called on the audio thread when the usage guard trips; must not block.
  virtual void PostOverload() = 0;
  // The ensemble's rate factor: 0.5, 0.75, 1, 1.5, 2 or 3.
  virtual float GetRateFactor() const = 0;
  // The ensemble's Audio In and Audio Out modules and its top module (null when absent).
  virtual IEngineModule* GetAudioInModule() const = 0;
  virtual IEngineModule* GetAudioOutModule() const = 0;
  virtual IEngineModule* GetTopModule() const = 0;
  // The clock started (true) or stopped (false).
  virtual void ClockStateChanged(bool running) = 0;
  // The driver's ports changed: the Audio In and Audio Out modules mark the
  // channels the driver now lacks and the structure is rebuilt. GUI thread.
  virtual void ApplyDriverChannels() {}
  // The shared value that holds the rate factor: the factory connects the
  // driver to it so that every change reaches RateChanged.
  virtual TShared* GetRateFactorValue() const { return nullptr; }
  // Hands work to the GUI thread from a driver's own threads; never waits.
  // Every owner says where its tasks go: none may vanish.
  virtual void PostToGui(std::function<void()> task) = 0;
};

class IAudioInOut : public virtual IBase {
public:
  virtual int32_t GetType() = 0;
  virtual void Start() = 0;
  virtual void Stop() = 0;
  virtual void Pause() = 0;
  virtual void Resume() = 0;
  virtual bool IsPaused() = 0;
  virtual int32_t GetOutputCount() = 0;
  virtual int32_t GetInputCount() = 0;
  virtual void ClearBuffers() = 0;
  virtual int32_t GetAudioInModuleCount() = 0;
  virtual int32_t GetAudioOutModuleCount() = 0;
  virtual void EnableInput(int32_t channel) = 0;
  virtual void EnableOutput(int32_t channel) = 0;
  virtual void DisableInput(int32_t channel) = 0;
  virtual void DisableOutput(int32_t channel) = 0;
  virtual float GetInputLevel1() = 0;
  virtual float GetInputLevel2() = 0;
  virtual float GetOutputLevel1() = 0;
  virtual float GetOutputLevel2() = 0;
  virtual void TickUsage() = 0;
  virtual bool IsOverMaxUsage() = 0;
  virtual float GetUsage() = 0;
  virtual float GetSlotUsage(int32_t slot) = 0;
  virtual bool IsSlotMeasuring() = 0;
  virtual void SetSlotMeasuring(bool on) = 0;
  virtual void ClearOverload() = 0;
  virtual void ReplaceSlotRoutine(IEngineModule* module, TAudioRoutine routine) = 0;
  virtual void PrepareModule(IEngineModule* module) = 0;
  virtual void ReleaseModule(IEngineModule* module) = 0;
  virtual bool HasSettingsDialog() = 0;
  virtual void ShowSettingsDialog() = 0;
  virtual void ClockTick() = 0;
  virtual void StartClock() = 0;
  virtual void StopClock() = 0;
  virtual bool IsClockRunning() = 0;
  virtual void AddClockListener(TEngineRecord* record) = 0;
  virtual void RemoveClockListener(TEngineRecord* record) = 0;
  virtual int32_t GetDisplayRoutineCount() = 0;
  virtual TRecordRoutine* GetDisplayRoutines() = 0;
  virtual TEngineRecord** GetDisplayArgs() = 0;
  // Stores the driver's name as "AudioPort", shuts the driver down and deletes it.
  virtual void Close();
};
inline IAudioInOut* CastToAudioInOut(IBase* object) { return CastTo<IAudioInOut>(object); }

class TAudioInOut : public TNotified, public virtual IAudioInOut {
public:
  explicit TAudioInOut(IAudioOwner* owner);
  ~TAudioInOut() override;

  void Start() override;
  void Stop() override;
  void Pause() override;
  void Resume() override;
  bool IsPaused() override;
  void TickUsage() override;
  bool IsOverMaxUsage() override;
  float GetUsage() override;
  float GetSlotUsage(int32_t slot) override;
  bool IsSlotMeasuring() override;
  void SetSlotMeasuring(bool on) override;
  void ClearOverload() override;
  void ReplaceSlotRoutine(IEngineModule* module, TAudioRoutine routine) override;
  void PrepareModule(IEngineModule* module) override;
  void ReleaseModule(IEngineModule* module) override;
  int32_t GetAudioInModuleCount() override;
  int32_t GetAudioOutModuleCount() override;
  float GetInputLevel1() override;
  float GetInputLevel2() override;
  float GetOutputLevel1() override;
  float GetOutputLevel2() override;
  void ClockTick() override;
  void StartClock() override;
  void StopClock() override;
  bool IsClockRunning() override;
  void AddClockListener(TEngineRecord* record) override;
  void RemoveClockListener(TEngineRecord* record) override;
  int32_t GetDisplayRoutineCount() override;
  TRecordRoutine* GetDisplayRoutines() override;
  TEngineRecord** GetDisplayArgs() override;
  int32_t GetSlotCount();

  // Runs one block of block-length frames on the calling (audio) thread,
  // holding the engine lock for the whole block.
  void ProcessBlock();
  // The same for a device thread that must not wait long: it waits for the
  // engine lock only while a short entry holds it (EnterForBlock); when a
  // structure change holds it the block is silent instead and counted.
  // Returns false for a silent block. A frame count of 0 or more becomes the
  // block length once the lock is held.
  bool TryProcessBlock(int32_t frames = -1);
  // The steps of TryProcessBlock, for a device thread that can make a block
  // up on its next tick instead of silencing it. EnterForBlock takes the
  // engine lock, waiting at most kShortEntryWaitUs, and not at all while a
  // structure change holds it; true when held. ProcessHeldBlock runs the
  // block and leaves the lock. SkipBlock silences the block and counts it.
  bool EnterForBlock();
  void ProcessHeldBlock(int32_t frames = -1);
  void SkipBlock();
  // The longest a block waits for a MIDI message or a panel control.
  static constexpr uint32_t kShortEntryWaitUs = 1000;

  void SetControlRate(int32_t hz);
  void SetTempo(float bpm);
  void UpdateRateConstants();
  // The ensemble's rate factor changed.
  void RateChanged();

  int32_t GetControlRate() const;
  int32_t GetControlPeriod() const;
  float GetTempo() const;
  float GetProcessingRate() const;
  int32_t GetBlockLength() const { return blockLength_; }
  IAudioOwner* GetOwner() const { return owner_; }
  // The per-sample routine of an Audio In (113) or Audio Out (114) module at
  // the owner's rate factor; none at a factor outside the six.
  TAudioRoutine GetDriverRoutine(bool output) const;

  // Blocks made silent because the engine's lock was taken, since the
  // process started: a figure for the usage display.
  static uint32_t GetSkippedBlocks();
  static void CountSkippedBlock();

protected:
  // Device operations.
  virtual int32_t DeviceStart() = 0;
  virtual void DeviceStop() = 0;
  virtual void DevicePause() = 0;
  virtual void DeviceResume() = 0;
  virtual void UpdateBlockLength() = 0;
  virtual float TakeInputLevel(int32_t channel) = 0;
  virtual float TakeOutputLevel(int32_t channel) = 0;
  virtual void ClearOutput() = 0;

  // Writes "MaxUsage" back; the destructor runs it.
  void Shutdown();
  // The peak of a level pair (min, max) of the engine, resetting the pair.
  static float TakeLevelPair(int32_t pair);

  IAudioOwner* owner_;
  TAudioRoutine inputRoutines_[6] = {};
  TAudioRoutine outputRoutines_[6] = {};
  int32_t blockLength_ = 0;
  int32_t controlCountdown_ = 0;
  TWord outputFill_ = {};

private:
  void CheckUsage();
  void RunNormalBlock();
  void RunMeasuringBlock();
  void CountUsage(uint64_t start, uint64_t end);
};

// Engine-wide cursors into the driver's current input and output blocks; the
// driver sets them before each block, its Audio In and Audio Out routines
// advance them.
extern void* EngineInputCursor;
extern void* EngineOutputCursor;
// Level pairs: 0, 1 input channels 1 and 2; 2, 3 output channels 1 and 2.
struct TLevelPair {
  std::atomic<float> min{0.0f};
  std::atomic<float> max{0.0f};
  // Tracks a value (audio thread).
  void Track(float v) {
    if (v < min.load(std::memory_order_relaxed)) min.store(v, std::memory_order_relaxed);
    else if (v > max.load(std::memory_order_relaxed)) max.store(v, std::memory_order_relaxed);
  }
};
extern TLevelPair EngineLevels[4];

// The nesting engine lock of the GUI thread: the outermost lock enters the
// engine's critical section, the outermost unlock leaves it.
void LockEngine();
void UnlockEngine();
int32_t GetEngineLockDepth();
// A structure change holds the engine lock or is about to take it.
bool IsStructureChangeHeld();
// The longest time a structure change held the engine lock since the last
// call, in nanoseconds (a figure for the benchmark); resets it.
uint64_t TakeLongestEngineLockNs();
// The engine's critical section itself (created on first use, never freed).
ICriticalSection& EngineCriticalSection();

// Holds the engine lock for a scope.
class TEngineLock {
public:
  TEngineLock() { LockEngine(); }
  ~TEngineLock() { UnlockEngine(); }
  TEngineLock(const TEngineLock&) = delete;
  TEngineLock& operator=(const TEngineLock&) = delete;
};

// The external-sync flag: while set the block loop does not advance the clock.
void SetExternalSync(bool on);
bool IsExternalSync();

// The maximum processor usage in percent that the Preferences offer.
inline constexpr int32_t kMaxUsageLow = 5, kMaxUsageHigh = 1000;
void SetMaxUsage(int32_t percent);
int32_t GetMaxUsage();

// The device sample rate in Hz (the null driver sets 44100); observers hear
// of a change when a driver starts.
TSharedReal* GetSampleRateValue();
float GetSampleRate();
void SetSampleRate(float hz);
// Writes the processing rate (sample rate x factor, truncated) with "%d".
void FormatSampleRate(TStr& out, float factor);

IAudioInOut* GetCurrentAudioInOut();
// Clock listeners entered (at most 400).
int32_t GetClockListenerCount();

// The performance counter the block loop times itself with; tests may install
// a counter of their own (null restores the real one).
using TCounterRead = uint64_t (*)();
void SetEngineCounter(TCounterRead read, uint64_t frequency);

// The driver factory.
IAudioInOut* CreateAudioInOut(int32_t type, IAudioOwner* owner);
bool IsAudioPortAvailable(int32_t type);
int32_t GetMaxAudioInputs();
int32_t GetMaxAudioOutputs();
// The name of a driver type as stored in "AudioPort" (empty for type 0 and unknown types).
TStr AudioPortName(int32_t type);

// A device driver (card or sound-server driver) registers its probe and its
// factory here; types without a registration are unavailable.
struct TAudioPort {
  bool (*available)() = nullptr;
  int32_t (*inputs)() = nullptr;
  int32_t (*outputs)() = nullptr;
  IAudioInOut* (*create)(IAudioOwner* owner) = nullptr;
};
void RegisterAudioPort(int32_t type, const TAudioPort& port);
