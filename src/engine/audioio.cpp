#include "src/engine/audioio.h"

#include "platform/fpu.h"
#include "platform/sys.h"

#include "src/base/settings.h"
#include "src/base/system.h"
#include "src/engine/routine_registry.h"
#include "src/engine/setup.h"
#include "src/engine/tables.h"
#include "src/engine/voice_state.h"

#include <algorithm>
#include <cmath>
#include <cfloat>

void* EngineInputCursor = nullptr;
void* EngineOutputCursor = nullptr;
TLevelPair EngineLevels[4];

namespace {

constexpr int32_t kMaxClockListeners = 400;
constexpr uint32_t kCheckFrames = 100000;
constexpr uint32_t kTickCheckFrames = 15000;

// The engine-wide state: one instance in the process, kept across driver
// switches. Values that the GUI thread and the audio thread both touch
// without the lock are atomics (relaxed: they feed displays and the guard).
struct TEngineWide {
  int32_t lockDepth = 0; // GUI thread only
  // Set from just before a structure change asks for the lock until just
  // before it lets go: a block then does not wait for the lock.
  std::atomic<int32_t> structureHeld{0};
  uint64_t lockedSinceNs = 0; // GUI thread only
  std::atomic<uint64_t> longestHoldNs{0};
  std::atomic<IAudioInOut*> current{nullptr};
  std::atomic<int32_t> maxUsage{95};
  std::atomic<int32_t> running{0};
  std::atomic<int32_t> pauseDepth{0};
  std::atomic<int32_t> measuring{0}; // the user's choice of per-slot measuring
  std::atomic<int32_t> overload{0};  // the guard has tripped: every block is silent
  std::atomic<uint32_t> usageFrames{0};
  std::atomic<uint64_t> usageTicks{0};
  uint64_t counterOverhead = 0;
  std::atomic<int32_t> externalSync{0};
  std::atomic<uint32_t> skippedBlocks{0};

  // Clock state: written under the engine lock. The rates, the control
  // period and the clock increment are the engine constants.
  float clockPhase = 0.0f;
  int32_t clockTicks = 0;
  std::atomic<int32_t> clockRunning{0};
  TEngineRecord* listeners[kMaxClockListeners] = {};
  int32_t listenerCount = 0;

  std::atomic<int32_t> audioInCount{0};
  std::atomic<int32_t> audioOutCount{0};

  // Per-slot tick sums. A fixed table: switching measuring on and off never
  // frees memory that a block could still write.
  std::atomic<uint32_t> slotTimes[kMaxSlots] = {};
};

TEngineWide& Engine() {
  static TEngineWide* engine = new TEngineWide;
  return *engine;
}

uint64_t RealCounter() {
  TPerfCounter c;
  ReadPerfCounter(&c);
  return c.ticks;
}

TCounterRead counterRead = RealCounter;
uint64_t counterFrequency = PerfCounterFrequency();

inline uint64_t ReadCounter() { return counterRead(); }

// What two back-to-back counter reads cost, subtracted from every measured
// span. The least of several pairs: a single pair that the scheduler or a
// cold first call stretched would be subtracted from every block and every
// slot after it, and could turn all of them into zero.
uint64_t MeasureCounterOverhead() {
  uint64_t least = UINT64_MAX;
  for (int32_t i = 0; i < 64; ++i) {
    const uint64_t first = ReadCounter();
    const uint64_t second = ReadCounter();
    least = std::min(least, second - first);
  }
  return least;
}

TAudioPort registeredPorts[6];

} // namespace

// ---------------------------------------------------------------------------
// Engine-wide services

ICriticalSection& EngineCriticalSection() {
  static ICriticalSection* lock = CreateCriticalSection();
  return *lock;
}

void LockEngine() {
  TEngineWide& e = Engine();
  if (e.lockDepth == 0) {
    e.structureHeld.store(1, std::memory_order_release);
    EngineCriticalSection().Enter();
    e.lockedSinceNs = platform::MonotonicNs();
  }
  ++e.lockDepth;
}

void UnlockEngine() {
  TEngineWide& e = Engine();
  if (e.lockDepth <= 0) return;
  if (--e.lockDepth == 0) {
    const uint64_t held = platform::MonotonicNs() - e.lockedSinceNs;
    if (held > e.longestHoldNs.load(std::memory_order_relaxed)) e.longestHoldNs.store(held, std::memory_order_relaxed);
    e.structureHeld.store(0, std::memory_order_release);
    EngineCriticalSection().Leave();
  }
}

bool IsStructureChangeHeld() { return Engine().structureHeld.load(std::memory_order_acquire) != 0; }

uint64_t TakeLongestEngineLockNs() { return Engine().longestHoldNs.exchange(0, std::memory_order_relaxed); }

int32_t GetEngineLockDepth() { return Engine().lockDepth; }

void SetExternalSync(bool on) { Engine().externalSync.store(on ? 1 : 0, std::memory_order_relaxed); }
bool IsExternalSync() { return Engine().externalSync.load(std::memory_order_relaxed) != 0; }

void SetMaxUsage(int32_t percent) { Engine().maxUsage.store(percent < 0 ? 0 : percent, std::memory_order_relaxed); }
int32_t GetMaxUsage() { return Engine().maxUsage.load(std::memory_order_relaxed); }

TSharedReal* GetSampleRateValue() {
  static TSharedReal* value = [] {
    auto* v = new TSharedReal(0.0f, FLT_MAX, TStr());
    v->Set(44100.0f);
    return v;
  }();
  return value;
}

float GetSampleRate() { return GetSampleRateValue()->Get(); }
void SetSampleRate(float hz) { GetSampleRateValue()->Set(hz); }

void FormatSampleRate(TStr& out, float factor) {
  out = FormatStr("%d", int32_t(GetSampleRate() * factor));
}

IAudioInOut* GetCurrentAudioInOut() { return Engine().current.load(); }

void SetEngineCounter(TCounterRead read, uint64_t frequency) {
  TLockGuard guard(EngineCriticalSection());
  counterRead = read ? read : RealCounter;
  counterFrequency = read ? frequency : PerfCounterFrequency();
}

// ---------------------------------------------------------------------------
// The factory

TStr AudioPortName(int32_t type) {
  switch (type) {
  case kAudioPelBoard: return "PelBoard";
  case kAudioWerk: return "AudioWerk";
  case kAudioMultiMedia: return "MultiMedia";
  case kAudioActiveMovie: return "ActiveMovie";
  case kAudioMac: return "MacAudio";
  default: return TStr();
  }
}

void RegisterAudioPort(int32_t type, const TAudioPort& port) {
  if (type == kAudioWerk || type == kAudioMultiMedia) registeredPorts[type] = port;
}

bool IsAudioPortAvailable(int32_t type) {
  IAudioInOut* current = GetCurrentAudioInOut();
  int32_t running = current ? current->GetType() : kAudioNone;
  switch (type) {
  case kAudioNone: return true;
  case kAudioWerk:
  case kAudioMultiMedia: {
    if (running == type) return true;
    const TAudioPort& p = registeredPorts[type];
    return p.create && p.available && p.available();
  }
  default: return false;
  }
}

namespace {
int32_t MaxChannels(bool outputs) {
  int32_t best = 0;
  for (int32_t type : {kAudioWerk, kAudioMultiMedia}) {
    if (!IsAudioPortAvailable(type)) continue;
    const TAudioPort& p = registeredPorts[type];
    int32_t (*count)() = outputs ? p.outputs : p.inputs;
    if (count && count() > best) best = count();
  }
  return best > 0 ? best : 2;
}
} // namespace

int32_t GetMaxAudioInputs() { return MaxChannels(false); }
int32_t GetMaxAudioOutputs() { return MaxChannels(true); }

IAudioInOut* CreateNoAudio(IAudioOwner* owner);

IAudioInOut* CreateAudioInOut(int32_t type, IAudioOwner* owner) {
  if (type == kAudioNone) {
    TStr wanted = ReadSettingStr(setting::AudioPort, TStr());
    for (int32_t candidate : {kAudioActiveMovie, kAudioMultiMedia, kAudioPelBoard, kAudioWerk, kAudioMac}) {
      if (!IsAudioPortAvailable(candidate)) continue;
      type = candidate;
      if (wanted == AudioPortName(candidate)) break;
    }
  }
  IAudioInOut* driver = nullptr;
  switch (type) {
  case kAudioNone: driver = CreateNoAudio(owner); break;
  case kAudioWerk:
  case kAudioMultiMedia:
    if (registeredPorts[type].create) driver = registeredPorts[type].create(owner);
    break;
  default: break;
  }
  // Every change of the rate factor reaches the driver.
  if (auto* engine = dynamic_cast<TAudioInOut*>(driver))
    if (TShared* factor = owner ? owner->GetRateFactorValue() : nullptr) engine->Connect(factor, &TAudioInOut::RateChanged);
  return driver;
}

void IAudioInOut::Close() {
  TStr name = AudioPortName(GetType());
  if (!name.IsEmpty()) WriteSettingStr(setting::AudioPort, name);
  Delete();
}

// ---------------------------------------------------------------------------
// Lifecycle

TAudioInOut::TAudioInOut(IAudioOwner* owner) : owner_(owner) {
  TEngineWide& e = Engine();
  EngineCriticalSection();
  EngineHeap();
  SetMaxUsage(ReadSettingIntWithin(setting::MaxUsage, 95, kMaxUsageLow, kMaxUsageHigh));
  e.current.store(this);
  e.counterOverhead = MeasureCounterOverhead();
  e.usageFrames.store(0);
  e.usageTicks.store(0);
  e.overload.store(0);
  EngineZeroCell = 0.0f;
  BuildEngineTables();
  TLockGuard guard(EngineCriticalSection());
  ::SetTempo(120.0f);
}

TAudioInOut::~TAudioInOut() {
  DestructorBody([this] {
    // The rate factor no longer reaches a driver that has gone.
    if (TShared* factor = owner_ ? owner_->GetRateFactorValue() : nullptr) Disconnect(factor);
    Shutdown();
    IAudioInOut* self = this;
    Engine().current.compare_exchange_strong(self, nullptr);
  });
}

void TAudioInOut::Shutdown() { WriteSettingInt(setting::MaxUsage, uint32_t(GetMaxUsage())); }

void TAudioInOut::Start() {
  TEngineWide& e = Engine();
  e.usageFrames.store(0, std::memory_order_relaxed);
  DeviceStart();
  // The device's rate is known now: the processing rate that sample maps,
  // delay lines and record buffers follow comes from it and the factor.
  UpdateRateConstants();
  e.running.store(1);
  if (e.pauseDepth.load() > 0) DevicePause();
  GetSampleRateValue()->NotifyAll(nullptr);
}

void TAudioInOut::Stop() {
  TEngineWide& e = Engine();
  // Silence every block from here on, while the device winds down.
  bool wasOverloaded = e.overload.exchange(1) != 0;
  (void)wasOverloaded;
  if (e.pauseDepth.load() > 0) DeviceResume();
  e.running.store(0);
  DeviceStop();
  e.overload.store(0);
}

void TAudioInOut::Pause() {
  TEngineWide& e = Engine();
  if (e.pauseDepth.load() == 0 && e.running.load()) DevicePause();
  e.pauseDepth.fetch_add(1);
}

void TAudioInOut::Resume() {
  TEngineWide& e = Engine();
  if (e.pauseDepth.load() <= 0) return;
  if (e.pauseDepth.fetch_sub(1) == 1 && e.running.load()) {
    e.usageFrames.store(0, std::memory_order_relaxed);
    e.overload.store(0);
    DeviceResume();
  }
}

bool TAudioInOut::IsPaused() { return Engine().pauseDepth.load() > 0; }

// ---------------------------------------------------------------------------
// Rates, clock constants and the control period

float TAudioInOut::GetProcessingRate() const {
  float factor = owner_ ? owner_->GetRateFactor() : 1.0f;
  return GetSampleRate() * factor;
}

void TAudioInOut::UpdateRateConstants() {
  TLockGuard guard(EngineCriticalSection());
  ::UpdateRateConstants(GetProcessingRate());
}

void TAudioInOut::SetControlRate(int32_t hz) {
  TLockGuard guard(EngineCriticalSection());
  ::SetControlRate(hz);
  ::UpdateRateConstants(GetProcessingRate());
}

void TAudioInOut::SetTempo(float bpm) {
  TLockGuard guard(EngineCriticalSection());
  ::SetTempo(bpm);
  ::UpdateRateConstants(GetProcessingRate());
}

int32_t TAudioInOut::GetControlRate() const { return EngineConstants.controlRate; }
int32_t TAudioInOut::GetControlPeriod() const { return EngineConstants.controlPeriod; }
float TAudioInOut::GetTempo() const { return EngineConstants.tempo; }

TAudioRoutine TAudioInOut::GetDriverRoutine(bool output) const {
  static const float factors[6] = {0.5f, 0.75f, 1.0f, 1.5f, 2.0f, 3.0f};
  float factor = owner_ ? owner_->GetRateFactor() : 1.0f;
  for (int i = 0; i < 6; ++i)
    if (factor == factors[i]) return output ? outputRoutines_[i] : inputRoutines_[i];
  return nullptr;
}

void TAudioInOut::RateChanged() {
  IEngineModule* in = owner_ ? owner_->GetAudioInModule() : nullptr;
  IEngineModule* out = owner_ ? owner_->GetAudioOutModule() : nullptr;
  bool muteIn = in && !in->IsMuted();
  bool muteOut = out && !out->IsMuted();
  if (muteIn) in->Mute();
  if (muteOut) out->Mute();
  UpdateBlockLength();
  // The modules come back with the routines of the new factor.
  UpdateRateConstants();
  if (muteIn) in->Unmute();
  if (muteOut) out->Unmute();
  if (IEngineModule* top = owner_ ? owner_->GetTopModule() : nullptr) top->ResetRecursive();
  Engine().usageFrames.store(0, std::memory_order_relaxed);
}

// ---------------------------------------------------------------------------
// The block loop

void TAudioInOut::ProcessBlock() {
  TLockGuard guard(EngineCriticalSection());
  platform::DenormalsOff denormalsOff;
  TEngineWide& e = Engine();
  if (e.overload.load(std::memory_order_relaxed)) {
    ClearOutput();
    return;
  }
  if (e.measuring.load(std::memory_order_relaxed)) RunMeasuringBlock();
  else RunNormalBlock();
  PublishDisplayInputs();
  if (e.usageFrames.load(std::memory_order_relaxed) > kCheckFrames) CheckUsage();
}

bool TAudioInOut::TryProcessBlock(int32_t frames) {
  if (!EnterForBlock()) {
    SkipBlock();
    return false;
  }
  ProcessHeldBlock(frames);
  return true;
}

bool TAudioInOut::EnterForBlock() {
  ICriticalSection& lock = EngineCriticalSection();
  if (lock.TryEnter()) return true;
  // A structure change can hold the lock for a long while: the block is not
  // kept waiting for it. Other holders (a MIDI message, a panel control) let
  // go within microseconds; the lock lends them this thread's priority
  // meanwhile, and the wait is bounded all the same.
  if (IsStructureChangeHeld()) return false;
  return lock.TryEnterFor(kShortEntryWaitUs);
}

void TAudioInOut::ProcessHeldBlock(int32_t frames) {
  if (frames >= 0) blockLength_ = frames;
  ProcessBlock();
  EngineCriticalSection().Leave();
}

void TAudioInOut::SkipBlock() {
  ClearOutput();
  CountSkippedBlock();
}

uint32_t TAudioInOut::GetSkippedBlocks() { return Engine().skippedBlocks.load(std::memory_order_relaxed); }
void TAudioInOut::CountSkippedBlock() { Engine().skippedBlocks.fetch_add(1, std::memory_order_relaxed); }

void TAudioInOut::RunNormalBlock() {
  TEngineWide& e = Engine();
  TSlotTables& s = EngineSlots;
  uint64_t start = ReadCounter();
  bool sync = e.externalSync.load(std::memory_order_relaxed) != 0;
  for (int32_t f = 0; f < blockLength_; ++f) {
    if (!sync) {
      e.clockPhase += EngineConstants.clockIncrement;
      if (e.clockPhase > 1.0f) {
        e.clockPhase += -1.0f;
        ++e.clockTicks;
        ClockTick();
      }
    }
    if (controlCountdown_ != 0) {
      --controlCountdown_;
    } else {
      controlCountdown_ = EngineConstants.controlPeriod;
      for (int32_t i = 0; i < s.controlCount; ++i) s.controlRoutines[i](s.controlRecords[i]);
    }
    // The count is read again after every routine.
    for (int32_t slot = 0; slot < s.count; ++slot) {
      CurrentSlot = slot;
      s.routines[slot]();
    }
  }
  uint64_t end = ReadCounter();
  if (e.audioOutCount.load(std::memory_order_relaxed) > 0) CountUsage(start, end);
  else ClearOutput();
}

void TAudioInOut::RunMeasuringBlock() {
  TEngineWide& e = Engine();
  TSlotTables& s = EngineSlots;
  void* savedCursor = EngineOutputCursor;
  uint64_t start = ReadCounter();
  for (int32_t slot = 0; slot < s.count; ++slot) {
    CurrentSlot = slot;
    uint64_t slotStart = ReadCounter();
    for (int32_t f = 0; f < blockLength_; ++f) s.routines[slot]();
    uint64_t slotEnd = ReadCounter();
    uint64_t spent = slotEnd - slotStart;
    spent = spent > e.counterOverhead ? spent - e.counterOverhead : 0;
    e.slotTimes[slot].fetch_add(uint32_t(spent), std::memory_order_relaxed);
  }
  uint64_t end = ReadCounter();
  EngineOutputCursor = savedCursor;
  ClearOutput();
  if (e.audioOutCount.load(std::memory_order_relaxed) > 0) CountUsage(start, end);
  else ClearOutput();
}

void TAudioInOut::CountUsage(uint64_t start, uint64_t end) {
  TEngineWide& e = Engine();
  if (e.usageFrames.load(std::memory_order_relaxed) == 0) e.usageTicks.store(0, std::memory_order_relaxed);
  e.usageFrames.fetch_add(uint32_t(blockLength_), std::memory_order_relaxed);
  uint64_t spent = end - start;
  spent = spent > e.counterOverhead ? spent - e.counterOverhead : 0;
  e.usageTicks.fetch_add(spent, std::memory_order_relaxed);
}

// ---------------------------------------------------------------------------
// The processor-usage guard

float TAudioInOut::GetUsage() {
  TEngineWide& e = Engine();
  uint32_t frames = e.usageFrames.load(std::memory_order_relaxed);
  float sr = GetProcessingRate();
  if (frames == 0 || !(sr > 0.0f) || counterFrequency == 0) return 0.0f;
  double seconds = double(e.usageTicks.load(std::memory_order_relaxed)) / double(counterFrequency);
  return float(100.0 * seconds / (double(frames) / double(sr)));
}

bool TAudioInOut::IsOverMaxUsage() {
  if (Engine().usageFrames.load(std::memory_order_relaxed) == 0) return false;
  return GetUsage() > float(GetMaxUsage());
}

void TAudioInOut::CheckUsage() {
  TEngineWide& e = Engine();
  if (e.usageFrames.load(std::memory_order_relaxed) == 0) return;
  if (!(GetUsage() > float(GetMaxUsage()))) return;
  if (e.overload.exchange(1)) return; // tripped already
  e.usageFrames.store(0, std::memory_order_relaxed);
  if (owner_) owner_->PostOverload();
}

void TAudioInOut::TickUsage() {
  TEngineWide& e = Engine();
  if (e.usageFrames.load(std::memory_order_relaxed) > kTickCheckFrames) CheckUsage();
  e.usageFrames.store(0, std::memory_order_relaxed);
  if (e.measuring.load(std::memory_order_relaxed))
    for (auto& t : e.slotTimes) t.store(0, std::memory_order_relaxed);
}

float TAudioInOut::GetSlotUsage(int32_t slot) {
  TEngineWide& e = Engine();
  uint32_t frames = e.usageFrames.load(std::memory_order_relaxed);
  float sr = GetProcessingRate();
  if (!IsSlotMeasuring() || frames == 0 || slot < 0 || slot >= kMaxSlots || !(sr > 0.0f)) return 0.0f;
  double seconds = double(e.slotTimes[slot].load(std::memory_order_relaxed)) / double(counterFrequency);
  return float(100.0 * seconds / (double(frames) / double(sr)));
}

bool TAudioInOut::IsSlotMeasuring() {
  TEngineWide& e = Engine();
  return e.measuring.load() && !e.overload.load();
}

void TAudioInOut::SetSlotMeasuring(bool on) {
  TEngineWide& e = Engine();
  TLockGuard guard(EngineCriticalSection());
  if (on) {
    for (auto& t : e.slotTimes) t.store(0, std::memory_order_relaxed);
    TickUsage();
    e.measuring.store(1);
  } else {
    e.measuring.store(0);
    TickUsage();
  }
}

void TAudioInOut::ClearOverload() {
  TEngineWide& e = Engine();
  e.usageFrames.store(0, std::memory_order_relaxed);
  e.overload.store(0);
}

// ---------------------------------------------------------------------------
// Levels

float TAudioInOut::TakeLevelPair(int32_t pair) {
  TLevelPair& p = EngineLevels[pair];
  float lo = p.min.exchange(0.0f, std::memory_order_relaxed);
  float hi = p.max.exchange(0.0f, std::memory_order_relaxed);
  return std::fabs(lo) > std::fabs(hi) ? std::fabs(lo) : std::fabs(hi);
}

float TAudioInOut::GetInputLevel1() { return TakeInputLevel(0); }
float TAudioInOut::GetInputLevel2() { return TakeInputLevel(1); }
float TAudioInOut::GetOutputLevel1() { return TakeOutputLevel(0); }
float TAudioInOut::GetOutputLevel2() { return TakeOutputLevel(1); }

// ---------------------------------------------------------------------------
// The clock

void TAudioInOut::ClockTick() {
  TEngineWide& e = Engine();
  if (!e.clockRunning.load(std::memory_order_relaxed)) return;
  TSlotTables& s = EngineSlots;
  for (int32_t i = 0; i < s.tickCount; ++i) s.tickRoutines[i](s.tickRecords[i]);
}

void TAudioInOut::StartClock() {
  TEngineWide& e = Engine();
  {
    TLockGuard guard(EngineCriticalSection());
    if (e.clockRunning.load()) return;
    if (auto listener = RoutineTables().clockListener)
      for (int32_t i = 0; i < e.listenerCount; ++i) listener(e.listeners[i], 1);
    e.clockPhase = 1.0f;
    e.clockTicks = -1;
    ::UpdateRateConstants(GetProcessingRate());
    e.clockRunning.store(1);
  }
  if (owner_) owner_->ClockStateChanged(true);
}

void TAudioInOut::StopClock() {
  TEngineWide& e = Engine();
  {
    TLockGuard guard(EngineCriticalSection());
    if (!e.clockRunning.load()) return;
    if (auto listener = RoutineTables().clockListener)
      for (int32_t i = 0; i < e.listenerCount; ++i) listener(e.listeners[i], 0);
    e.clockRunning.store(0);
    TSlotTables& s = EngineSlots;
    for (int32_t i = 0; i < s.tickCount; ++i) {
      TEngineRecord* r = s.tickRecords[i];
      // Of the tick types only "Sync" keeps more than its output: a pulse
      // still high goes low, and the tick count starts again.
      if (!r || !r->state || !r->state[0] || r->stateWords < QV_WORDS_OF(SyncSourceState)) continue;
      TWord& out = r->state[0][QV_WORD_AT(SyncSourceState, out)];
      if (out.f != 0.0f) {
        out.f = 0.0f;
        if (r->eventOutputs > 0 && r->routeCounts) {
          for (int32_t k = 0; k < r->routeCounts[0]; ++k) {
            TEngineRecord* target = r->routeTargets[0][k];
            for (int32_t v = 0; v < target->voices; ++v) r->routeRoutines[0][k](target, v, 0.0f);
          }
        }
      }
      r->state[0][QV_WORD_AT(SyncSourceState, ticks)].i = 0;
    }
    EngineConstants.clockIncrement = 0.0f;
  }
  if (owner_) owner_->ClockStateChanged(false);
}

bool TAudioInOut::IsClockRunning() { return Engine().clockRunning.load() != 0; }

void TAudioInOut::AddClockListener(TEngineRecord* record) {
  TEngineWide& e = Engine();
  TLockGuard guard(EngineCriticalSection());
  if (e.listenerCount < kMaxClockListeners) e.listeners[e.listenerCount++] = record;
}

void TAudioInOut::RemoveClockListener(TEngineRecord* record) {
  TEngineWide& e = Engine();
  TLockGuard guard(EngineCriticalSection());
  for (int32_t i = 0; i < e.listenerCount; ++i) {
    if (e.listeners[i] != record) continue;
    for (int32_t j = i; j + 1 < e.listenerCount; ++j) e.listeners[j] = e.listeners[j + 1];
    e.listeners[--e.listenerCount] = nullptr;
    return;
  }
}

int32_t GetClockListenerCount() { return Engine().listenerCount; }

// ---------------------------------------------------------------------------
// Routine slots

int32_t TAudioInOut::GetSlotCount() { return EngineSlots.count; }
int32_t TAudioInOut::GetAudioInModuleCount() { return Engine().audioInCount.load(); }
int32_t TAudioInOut::GetAudioOutModuleCount() { return Engine().audioOutCount.load(); }
int32_t TAudioInOut::GetDisplayRoutineCount() { return EngineSlots.displayCount; }
TRecordRoutine* TAudioInOut::GetDisplayRoutines() { return EngineSlots.displayRoutines; }
TEngineRecord** TAudioInOut::GetDisplayArgs() { return EngineSlots.displayRecords; }

void TAudioInOut::ReplaceSlotRoutine(IEngineModule* module, TAudioRoutine routine) {
  TLockGuard guard(EngineCriticalSection());
  TSlotTables& s = EngineSlots;
  for (int32_t i = 0; i < s.count; ++i)
    if (s.records[i] && s.records[i]->module == module) s.routines[i] = routine;
}

void TAudioInOut::PrepareModule(IEngineModule* module) {
  TEngineWide& e = Engine();
  if (!module || module->GetEngineRecord()) return;
  bool isIn = module->IsType(kTypeAudioIn);
  bool isOut = module->IsType(kTypeAudioOut);
  if (isOut) e.audioOutCount.fetch_add(1);
  if (isIn) {
    Pause();
    e.audioInCount.fetch_add(1);
  }
  struct TResumeOnExit {
    TAudioInOut* self;
    bool active;
    ~TResumeOnExit() {
      if (active) self->Resume();
    }
  } resume{this, isIn};

  TLockGuard guard(EngineCriticalSection());
  TEngineRecord* record = nullptr;
  try {
    record = BuildEngineRecord(module, module->GetEngineVoiceCount());
  } catch (...) {
    if (isOut) e.audioOutCount.fetch_sub(1);
    if (isIn) e.audioInCount.fetch_sub(1);
    throw;
  }
  TSlotTables& s = EngineSlots;

  TAudioRoutine routine = nullptr;
  if (isIn || isOut) routine = GetDriverRoutine(isOut);
  else routine = FindAudioRoutine(module->GetCategory(), module->GetTypeIndex());
  if (routine && s.count < kMaxSlots) {
    // The module that takes the last slot is muted, which keeps it out of
    // every later set-up.
    if (s.count == kMaxSlots - 1) module->MarkMuted();
    int32_t position;
    if (s.count == 0 || isIn) position = 0;
    else if (isOut) position = s.count;
    else if (s.records[s.count - 1] && s.records[s.count - 1]->module &&
             s.records[s.count - 1]->module->IsType(kTypeAudioOut))
      position = s.count - 1;
    else position = s.count;
    InsertSlot(position, routine, record);
  }
  int32_t category = module->GetCategory(), type = module->GetTypeIndex();
  if (TRecordRoutine r = FindControlRateRoutine(category, type)) AddControlRateEntry(r, record);
  if (TRecordRoutine r = FindClockTickRoutine(category, type)) AddClockTickEntry(r, record);
  if (TRecordRoutine r = FindDisplayUpdateRoutine(category, type)) AddDisplayEntry(r, record);
  if (TRecordRoutine r = FindDisplayWatchRoutine(category, type)) AddDisplayWatchEntry(r, record);

  InitModuleState(record, module, owner_ ? owner_->GetRateFactor() : 1.0f, GetOutputCount(), outputFill_);
  module->SetEngineRecord(record);
}

void TAudioInOut::ReleaseModule(IEngineModule* module) {
  TEngineWide& e = Engine();
  if (!module) return;
  TEngineRecord* record = module->GetEngineRecord();
  if (!record) return;
  bool isIn = module->IsType(kTypeAudioIn);
  if (module->IsType(kTypeAudioOut)) e.audioOutCount.fetch_sub(1);
  if (isIn) {
    Pause();
    e.audioInCount.fetch_sub(1);
  }
  {
    TLockGuard guard(EngineCriticalSection());
    RemoveRecordFromSlots(record);
    ReleaseModuleState(record, module);
    module->SetEngineRecord(nullptr);
    FreeEngineRecord(record);
  }
  if (isIn) Resume();
}
