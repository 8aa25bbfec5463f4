// The rig every reference ensemble of the engine benchmark runs on: one
// ensemble with the offline driver, played block by block on the calling
// thread at the device rate, with the timing the benchmark reports.
#pragma once

#include "src/engine/offline.h"
#include "src/midi/midi.h"
#include "src/mod/ensemble.h"
#include "src/mod/mod.h"

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace bench {

// What every run shares.
inline constexpr float kDeviceRate = 44100.0f;
inline constexpr int32_t kControlRate = 200;
inline constexpr float kTempo = 120.0f;
// Device frames of a block: at a rate factor f the engine runs trunc(224 x f)
// frames a block. 224 is a multiple of 4, so the 0.75 pattern stays aligned.
inline constexpr int32_t kDeviceBlock = 224;

// A patch that cannot be built as planned: the figures would mean nothing.
class TBuildError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// The figures of one measured stretch of blocks.
struct TRunFigures {
  int32_t blocks = 0;
  int32_t engineFrames = 0;     // frames a block at the processing rate
  double usagePercent = 0.0;    // the engine's own usage, in percent of real time
  double nsPerVoiceSlotFrame = 0.0;
  double worstBlockNs = 0.0;    // the slowest block, wall time of the whole render
  double worstBlockCpuNs = 0.0; // the most processor time one block took
  double meanBlockNs = 0.0;
  double meanBlockCpuNs = 0.0;  // the processor time of the rendering thread, mean over the blocks
  // Wall and thread processor time of the rendering against the real time
  // the blocks last: percent of one core.
  double wallPercent = 0.0;
  double cpuPercent = 0.0;
  double blockDurationNs = 0.0; // one block of device frames in real time
  int64_t voiceSlots = 0;       // voices summed over the routine slots
  int32_t slots = 0;
};

// The application side of the ensemble: nothing to show, audio always on.
class TQuietOwner : public IEnsembleOwner {
public:
  bool IsAudioRunning() override { return true; }
  void SwitchAudioOff() override {}
  void RefreshCtrlBox() override {}
  KInstr* GetCurrentInstr() override { return nullptr; }
  void ForgetInstr(KInstr*) override {}
  void RefreshView() override {}
  void ClockStateChanged(bool) override {}
  bool OpenEnsembleFile(const TStr&) override { return false; }
};

class TRig {
public:
  // An empty ensemble at the rate factor with `voices` voices in its top
  // instrument, control rate 200 Hz, clock at 120 BPM (not yet running).
  TRig(float rateFactor, int32_t voices);
  ~TRig();
  TRig(const TRig&) = delete;
  TRig& operator=(const TRig&) = delete;

  KEnsemble& Ensemble() { return *ens_; }
  KSModul* Top() { return ens_->GetTopModule(); }
  TOfflineAudio& Driver();
  TMidiInOut& Midi();
  float RateFactor() const { return factor_; }
  float ProcessingRate() const { return kDeviceRate * factor_; }

  // Building. Every failure raises TBuildError naming what failed.
  KSModul* Insert(KSModul* parent, TModuleType type, const char* what);
  static void Wire(KSModul* from, int32_t out, KSModul* to, int32_t in, const char* what);
  // A panel fader that holds `value` (its top step), for inputs that need a
  // constant.
  KSModul* Constant(KSModul* parent, float value, const char* what);
  // Processing restarts every event input from 0: once a patch is built,
  // its constants send their values again, as a loaded ensemble's controls do.
  void SendConstants();
  KSModul* AddAudioOut();
  // True when the module runs a routine slot of its own.
  static bool HasSlot(const KSModul* module);

  void StartClock();
  void NoteOn(int32_t note, int32_t velocity);
  void NoteOff(int32_t note);

  // Renders one block of kDeviceBlock device frames into Output(); answers
  // the wall time of the render in nanoseconds (LastBlockCpuNs() the
  // processor time).
  uint64_t RenderBlock();
  uint64_t LastBlockCpuNs() const { return lastCpuNs_; }
  const std::vector<float>& Output() const { return output_; }
  void RenderSeconds(double seconds);
  int32_t BlocksFor(double seconds) const;

  // Runs `blocks` blocks and reports the engine's usage over them, the ns
  // per voice-slot-frame and the worst block.
  TRunFigures Measure(int32_t blocks);
  // Per-slot measuring over `blocks` blocks: ns per voice-frame of each slot.
  std::vector<double> MeasureSlots(int32_t blocks);

  static int64_t VoiceSlots();

private:
  float factor_;
  int32_t savedMaxUsage_;
  TQuietOwner owner_;
  std::unique_ptr<KEnsemble> ens_;
  std::vector<float> output_;
  std::vector<KSModul*> constants_;
  uint64_t lastCpuNs_ = 0;
};

} // namespace bench
