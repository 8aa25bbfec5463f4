// A host for one module tree without an ensemble: it owns an offline driver
// and a top instrument node, and records what the engine reports to its
// owner. The routine benchmark plays on it; engine and model tests build
// their trees on it too.
#pragma once

#include "src/engine/offline.h"
#include "src/engine/engine.h"
#include "src/mod/instr.h"
#include "src/mod/mod.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

namespace bench {

class TTreeHost : public IAudioOwner, public KModelHost {
public:
  explicit TTreeHost(float sampleRate = 44100.0f, float rateFactor = 1.0f) : rateFactor_(rateFactor) {
    driver_ = new TOfflineAudio(this, sampleRate);
    top_ = new KSModul(this, nullptr);
    top_->SetCategory(kCatInstrument);
    top_->CreateOwnInstr();
    driver_->UpdateRateConstants();
  }
  ~TTreeHost() override {
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
  void ApplyDriverChannels() override { top_->ApplyDriverChannels(); }
  // The tree runs without a GUI thread: work handed to one is a fault of
  // the caller, never dropped without a word.
  void PostToGui(std::function<void()>) override {
    std::fprintf(stderr, "work was handed to a GUI thread, but this host has none\n");
    std::abort();
  }
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

} // namespace bench
