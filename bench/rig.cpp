#include "bench/rig.h"

#include "platform/sys.h"
#include "src/engine/engine.h"
#include "src/mod/instr.h"

#include <algorithm>
#include <cmath>

namespace bench {

namespace {

std::string Describe(const char* what, const char* failure) { return std::string(what) + ": " + failure; }

// Engine usage far above real time must not trip the overload guard: the
// benchmark wants to see how far above real time a patch goes.
constexpr int32_t kNoUsageLimit = 1000000;

} // namespace

TRig::TRig(float rateFactor, int32_t voices) : factor_(rateFactor), savedMaxUsage_(GetMaxUsage()) {
  ens_ = std::make_unique<KEnsemble>(
      [](int32_t, IAudioOwner* owner) -> IAudioInOut* { return new TOfflineAudio(owner, kDeviceRate); });
  ens_->SetOwner(&owner_);
  ens_->SetRateFactor(rateFactor);
  if (ens_->GetRateFactor() != rateFactor) throw TBuildError("rate factor: not one of the six steps");
  Driver().SetControlRate(kControlRate);
  Driver().SetTempo(kTempo);
  ens_->GetTopInstr()->SetVoices(voices, -1, -1);
  output_.assign(size_t(kDeviceBlock) * 2, 0.0f);
  SetMaxUsage(kNoUsageLimit);
}

TRig::~TRig() {
  // Back before the driver goes, which stores the limit as a setting.
  SetMaxUsage(savedMaxUsage_);
  ens_.reset();
}

TOfflineAudio& TRig::Driver() { return *dynamic_cast<TOfflineAudio*>(ens_->GetAudio()); }
TMidiInOut& TRig::Midi() { return *dynamic_cast<TMidiInOut*>(ens_->GetMidi()); }

KSModul* TRig::Insert(KSModul* parent, TModuleType type, const char* what) {
  KSModul* m = parent->InsertModule(type, kPlaceNext);
  if (!m) throw TBuildError(Describe(what, "the module could not be inserted"));
  return m;
}

void TRig::Wire(KSModul* from, int32_t out, KSModul* to, int32_t in, const char* what) {
  KOutPort* source = from->GetOutPort(out);
  KInPort* target = to->GetInPort(in);
  if (!source || !target) throw TBuildError(Describe(what, "no such port"));
  if (target->Connect(source) != 0) throw TBuildError(Describe(what, "the wire was refused"));
}

KSModul* TRig::Constant(KSModul* parent, float value, const char* what) {
  KSModul* fader = Insert(parent, kTypeFader, what);
  if (value > 0.0f) fader->SetControlRange(0.0f, 0, value, 127, 0.0f);
  else fader->SetControlRange(value, 0, 0.0f, 127, 0.0f);
  fader->SetControlValue(value);
  constants_.push_back(fader);
  return fader;
}

void TRig::SendConstants() {
  for (KSModul* fader : constants_) fader->RefreshControlOutput();
}

KSModul* TRig::AddAudioOut() {
  KSModul* out = Top()->InsertModule(kTypeAudioOut, kPlaceAudioOut);
  if (!out) throw TBuildError("Audio Out: the module could not be inserted");
  ens_->SetAudioOutModule(out);
  return out;
}

bool TRig::HasSlot(const KSModul* module) {
  for (int32_t i = 0; i < EngineSlots.count; ++i)
    if (EngineSlots.records[i] && EngineSlots.records[i]->module == module) return true;
  return false;
}

void TRig::StartClock() { Driver().StartClock(); }

void TRig::NoteOn(int32_t note, int32_t velocity) { Midi().Receive(midi::kNoteOn, 0, note, velocity); }
void TRig::NoteOff(int32_t note) { Midi().Receive(midi::kNoteOff, 0, note, 0); }

uint64_t TRig::RenderBlock() {
  const uint64_t cpu = platform::ThreadCpuNs();
  const uint64_t start = platform::MonotonicNs();
  Driver().Render(nullptr, output_.data(), kDeviceBlock);
  const uint64_t wall = platform::MonotonicNs() - start;
  lastCpuNs_ = platform::ThreadCpuNs() - cpu;
  return wall;
}

int32_t TRig::BlocksFor(double seconds) const {
  return std::max(1, int32_t(std::ceil(seconds * double(kDeviceRate) / double(kDeviceBlock))));
}

void TRig::RenderSeconds(double seconds) {
  for (int32_t i = BlocksFor(seconds); i > 0; --i) RenderBlock();
}

int64_t TRig::VoiceSlots() {
  int64_t sum = 0;
  for (int32_t i = 0; i < EngineSlots.count; ++i) sum += EngineSlots.voices[i];
  return sum;
}

TRunFigures TRig::Measure(int32_t blocks) {
  TOfflineAudio& driver = Driver();
  TRunFigures r;
  r.blocks = blocks;
  r.engineFrames = int32_t(double(kDeviceBlock) * double(factor_));
  r.blockDurationNs = 1e9 * double(kDeviceBlock) / double(kDeviceRate);
  r.voiceSlots = VoiceSlots();
  r.slots = EngineSlots.count;
  driver.TickUsage();
  uint64_t worst = 0, worstCpu = 0, sum = 0, cpuSum = 0;
  for (int32_t i = 0; i < blocks; ++i) {
    uint64_t ns = RenderBlock();
    worst = std::max(worst, ns);
    worstCpu = std::max(worstCpu, lastCpuNs_);
    sum += ns;
    cpuSum += lastCpuNs_;
  }
  r.usagePercent = driver.GetUsage();
  r.worstBlockNs = double(worst);
  r.worstBlockCpuNs = double(worstCpu);
  r.meanBlockNs = blocks > 0 ? double(sum) / double(blocks) : 0.0;
  r.meanBlockCpuNs = blocks > 0 ? double(cpuSum) / double(blocks) : 0.0;
  r.wallPercent = 100.0 * r.meanBlockNs / r.blockDurationNs;
  r.cpuPercent = 100.0 * r.meanBlockCpuNs / r.blockDurationNs;
  // Engine time per processed frame, shared out over every voice of every slot.
  const double engineNsPerFrame = r.usagePercent / 100.0 * 1e9 / double(ProcessingRate());
  r.nsPerVoiceSlotFrame = r.voiceSlots > 0 ? engineNsPerFrame / double(r.voiceSlots) : 0.0;
  return r;
}

std::vector<double> TRig::MeasureSlots(int32_t blocks) {
  TOfflineAudio& driver = Driver();
  driver.SetSlotMeasuring(true);
  for (int32_t i = 0; i < blocks; ++i) RenderBlock();
  std::vector<double> ns(size_t(EngineSlots.count), 0.0);
  for (int32_t i = 0; i < EngineSlots.count; ++i) {
    const double perFrame = driver.GetSlotUsage(i) / 100.0 * 1e9 / double(ProcessingRate());
    ns[size_t(i)] = perFrame / double(std::max(1, EngineSlots.voices[i]));
  }
  driver.SetSlotMeasuring(false);
  return ns;
}

} // namespace bench
