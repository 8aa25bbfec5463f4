// A stand-in ensemble for engine and model tests: it owns an offline driver
// and a top node, and records what the engine reports to its owner.
#pragma once

#include "src/audio/offline.h"
#include "src/engine/engine.h"
#include "src/mod/instr.h"
#include "src/mod/mod.h"

#include <atomic>
#include <memory>
#include <vector>

namespace testhost {

class THost : public IAudioOwner, public KModelHost {
public:
  explicit THost(float sampleRate = 44100.0f, float rateFactor = 1.0f) : rateFactor_(rateFactor) {
    driver_ = new TOfflineAudio(this, sampleRate);
    top_ = new KSModul(this, nullptr);
    top_->SetCategory(kCatInstrument);
    top_->CreateOwnInstr();
    driver_->UpdateRateConstants();
  }
  ~THost() override {
    delete top_;
    driver_->Delete();
  }

  // IAudioOwner
  void PostOverload() override { overloads.fetch_add(1); }
  float GetRateFactor() const override { return rateFactor_; }
  KSModul* GetAudioInModule() const override { return audioIn; }
  KSModul* GetAudioOutModule() const override { return audioOut; }
  KSModul* GetTopModule() const override { return top_; }
  void ClockStateChanged(bool running) override { clockStates.push_back(running); }
  // KModelHost
  IAudioInOut* GetAudio() const override { return driver_; }
  int32_t TakeSerialNo() override { return ++serial_; }
  void ModuleGone(KSModul* module) override {
    if (module == audioIn) audioIn = nullptr;
    if (module == audioOut) audioOut = nullptr;
  }

  TOfflineAudio& Driver() { return *driver_; }
  KSModul* Top() { return top_; }
  void SetRateFactor(float factor) {
    rateFactor_ = factor;
    driver_->RateChanged();
  }

  KSModul* audioIn = nullptr;
  KSModul* audioOut = nullptr;
  std::atomic<int> overloads{0};
  std::vector<bool> clockStates;

private:
  float rateFactor_;
  TOfflineAudio* driver_;
  KSModul* top_;
  int32_t serial_ = 0;
};

// Keeps the routine tables as they were before the test patched them.
class TRoutinePatch {
public:
  TRoutinePatch() : saved_(RoutineTables()) {}
  ~TRoutinePatch() { RoutineTables() = saved_; }

private:
  TRoutineTables saved_;
};

// A module outside any tree, with the state sizes given, for set-up tests.
inline std::unique_ptr<KSModul> LooseModule(THost& host, int32_t category, int32_t type, int32_t eventOutputs = 0,
                                            int32_t audioInputs = 0, int32_t stateWords = 1) {
  auto m = std::make_unique<KSModul>(&host, host.Top());
  m->SetCategory(category);
  m->SetTypeIndex(type);
  m->SetStateSizes(eventOutputs, audioInputs, stateWords);
  return m;
}
inline std::unique_ptr<KSModul> LooseModule(THost& host, TModuleType type, int32_t eventOutputs = 0,
                                            int32_t audioInputs = 0, int32_t stateWords = 1) {
  return LooseModule(host, type.category, type.type, eventOutputs, audioInputs, stateWords);
}

} // namespace testhost
