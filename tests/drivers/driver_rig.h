// A stand-in ensemble for the sound driver's tests: fake devices, a manual
// timer, a ramp generator feeding an Audio Out module, and a queue of the
// work the driver hands to the GUI thread.
#pragma once

#include "pc/audio/mme.h"
#include "pelds/bridge.h"
#include "platform/dsound.h"
#include "src/base/settings.h"
#include "src/engine/engine.h"
#include "src/engine/routine_registry.h"
#include "src/engine/setup.h"
#include "src/engine/voice_state.h"
#include "src/mod/instr.h"
#include "src/mod/mod.h"
#include "tests/common/testkit.h"

#include <atomic>
#include <cmath>
#include <functional>
#include <mutex>
#include <memory>
#include <vector>

namespace driverrig {

// The ramp: engine sample n is (n mod kRampPeriod) - kRampPeriod / 2 in
// 16-bit units, exact in a float.
constexpr int32_t kRampPeriod = 30000;
inline int16_t RampSample(int64_t n) { return int16_t(n % kRampPeriod - kRampPeriod / 2); }

// The bridge on fake rings, reached through plain entry points as the
// library's would be.
struct FakeBridge {
  platform::FakeRings rings;
  pelds::TBridge bridge{rings};
  static FakeBridge*& Current() {
    static FakeBridge* current = nullptr;
    return current;
  }
  static TBridgeEntries Entries() {
    TBridgeEntries e;
    e.getNumDevices = [] { return Current()->bridge.GetNumDevices(); };
    e.getDeviceName = [](int i) { return Current()->bridge.GetDeviceName(i); };
    e.open = [](int i, void* w) { return Current()->bridge.Open(i, w); };
    e.close = [] { Current()->bridge.Close(); };
    e.start = [] { Current()->bridge.Start(); };
    e.stop = [] { Current()->bridge.Stop(); };
    e.lock = [](int n) { return Current()->bridge.Lock(n); };
    e.unlock = [] { Current()->bridge.UnLock(); };
    e.getNumSamplesAhead = [] { return Current()->bridge.GetNumSamplesAhead(); };
    return e;
  }
  FakeBridge() { Current() = this; }
  ~FakeBridge() { Current() = nullptr; }
};

// The machine: devices, timer, bridge. Installed for the lifetime of the object.
struct Machine {
  platform::FakeWaves waves;
  platform::ManualTimer timer;
  FakeBridge ds;
  TBridgeEntries entries = FakeBridge::Entries();
  explicit Machine(bool withBridge = true) {
    TMultiMediaSystem system;
    system.waves = &waves;
    system.timer = &timer;
    if (withBridge) system.bridge = &entries;
    else system.bridgePath = testkit::TempDir("nobridge") + "/" + kPeldsFileName;
    install = system;
  }
  // Call after adding devices: the port lists are built from them.
  void Install() { SetMultiMediaSystem(install); }
  ~Machine() { SetMultiMediaSystem(TMultiMediaSystem()); }
  TMultiMediaSystem install;
};

class Host : public IAudioOwner, public KModelHost {
public:
  explicit Host(float rateFactor = 1.0f) : rateFactor_(rateFactor) {
    top_ = new KSModul(this, nullptr);
    top_->SetCategory(kCatInstrument);
    top_->CreateOwnInstr();
  }
  ~Host() override {
    DropModules();
    if (driver_) driver_->Delete();
    delete top_;
  }
  TMultiMedia& MakeDriver() {
    driver_ = dynamic_cast<TMultiMedia*>(CreateMultiMedia(this));
    return *driver_;
  }
  TMultiMedia& Driver() { return *driver_; }
  void DeleteDriver() {
    DropModules();
    driver_->Delete();
    driver_ = nullptr;
  }

  // IAudioOwner
  void PostOverload() override {}
  float GetRateFactor() const override { return rateFactor_; }
  KSModul* GetAudioInModule() const override { return audioIn_.get(); }
  KSModul* GetAudioOutModule() const override { return audioOut_.get(); }
  KSModul* GetTopModule() const override { return top_; }
  void ClockStateChanged(bool) override {}
  void ApplyDriverChannels() override { top_->ApplyDriverChannels(); }
  void PostToGui(std::function<void()> task) override {
    std::lock_guard<std::mutex> lock(tasksMutex_);
    tasks_.push_back(std::move(task));
  }
  // KModelHost
  IAudioInOut* GetAudio() const override { return driver_; }
  int32_t TakeSerialNo() override { return ++serial_; }

  // Runs what was handed to the GUI thread; the number of tasks run.
  int RunGuiTasks() {
    std::vector<std::function<void()>> tasks;
    {
      std::lock_guard<std::mutex> lock(tasksMutex_);
      tasks.swap(tasks_);
    }
    for (auto& t : tasks) t();
    return int(tasks.size());
  }

  // The ramp generator and the Audio Out module it feeds (gain 1).
  void AddRampOut() {
    generator_ = Loose(kTypeAudioSum2, 0, 0, 1); // any type: the test sets its routine
    audioOut_ = Loose(kTypeAudioOut, 0, 2, 7);
    driver_->PrepareModule(generator_.get());
    driver_->PrepareModule(audioOut_.get());
    TEngineRecord* out = audioOut_->GetEngineRecord();
    float* ramp = generator_->GetEngineRecord()->Output(0, 0);
    out->inputs[0][0] = ramp;
    out->inputs[0][1] = ramp;
    out->state[0][QV_WORD_AT(AudioOutState<2>, master)].f = 1.0f;
  }
  // An Audio In module, with its outputs readable.
  void AddAudioIn() {
    audioIn_ = Loose(kTypeAudioIn, 0, 0, 6);
    driver_->PrepareModule(audioIn_.get());
  }
  // Routes the Audio In's left output to both Audio Out inputs.
  void RouteInToOut() {
    TEngineRecord* out = audioOut_->GetEngineRecord();
    float* left = audioIn_->GetEngineRecord()->Output(0, 0);
    out->inputs[0][0] = left;
    out->inputs[0][1] = left;
  }
  float AudioInLeft() const { return audioIn_->GetEngineRecord()->Output(0, 0)[0]; }

  // Engine samples the generator has made (written on the timer thread).
  static std::atomic<int64_t>& RampCounter() {
    static std::atomic<int64_t> counter{0};
    return counter;
  }
  // The generator's per-sample routines: the ramp, or a sine.
  static void RampRoutine() {
    SlotStates()[0][QV_WORD_AT(OutState, out)].f =
        float(RampSample(RampCounter().fetch_add(1, std::memory_order_relaxed))) / 32768.0f;
  }
  static float SineSample(int64_t n) { return 0.5f * std::sin(float(n % 44100) * 2.0f * 3.14159265f * 441.0f / 44100.0f); }
  static void SineRoutine() {
    SlotStates()[0][QV_WORD_AT(OutState, out)].f = SineSample(RampCounter().fetch_add(1, std::memory_order_relaxed));
  }

private:
  std::unique_ptr<KSModul> Loose(TModuleType type, int32_t eventOutputs, int32_t audioInputs,
                                 int32_t stateWords) {
    auto m = std::make_unique<KSModul>(this, top_);
    m->SetCategory(type.category);
    m->SetTypeIndex(type.type);
    m->SetStateSizes(eventOutputs, audioInputs, stateWords);
    return m;
  }
  void DropModules() {
    for (auto* m : {&audioOut_, &generator_, &audioIn_})
      if (*m) {
        if (driver_) driver_->ReleaseModule(m->get());
        m->reset();
      }
  }

  float rateFactor_;
  TMultiMedia* driver_ = nullptr;
  KSModul* top_;
  std::unique_ptr<KSModul> generator_, audioOut_, audioIn_;
  int32_t serial_ = 0;
  std::mutex tasksMutex_;
  std::vector<std::function<void()>> tasks_;
};

// Keeps the routine tables as they were; the generator's type runs the ramp.
class RampPatch {
public:
  explicit RampPatch(TAudioRoutine generator = &Host::RampRoutine) : saved_(RoutineTables()) {
    RoutineTables().audio[kTypeAudioSum2] = generator;
    Host::RampCounter() = 0;
  }
  ~RampPatch() { RoutineTables() = saved_; }

private:
  TRoutineTables saved_;
};

// Fresh settings of the driver.
inline void ClearDriverSettings() {
  OpenSettings("DriverTest");
  for (const char* name : {setting::MmeInPort, setting::MmeOutPort, setting::MmeInDelay, setting::MmeOutDelay,
                           setting::MmeInputFirst, setting::AudioPort})
    DeleteSetting(name);
}

} // namespace driverrig
