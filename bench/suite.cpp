#include "bench/suite.h"

#include "bench/patches.h"
#include "bench/rig.h"
#include "platform/sys.h"
#include "src/audio/audiobuf.h"
#include "src/audio/audiofile.h"
#include "src/base/file.h"
#include "src/base/str.h"
#include "src/base/tools.h"
#include "src/engine/engine.h"
#include "src/engine/voice_loops.h"
#include "src/mod/modul_def.h"
#include "src/mod/port.h"
#include "src/mod/instr.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <exception>
#include <functional>
#include <optional>

namespace bench {

namespace {

class TPrinter {
public:
  explicit TPrinter(std::FILE* out) : out_(out) {}
  __attribute__((format(printf, 2, 3))) void operator()(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string line = platform::FormatC(format, args);
    va_end(args);
    std::fputs(line.c_str(), out_);
    std::fputc('\n', out_);
    std::fflush(out_);
  }

private:
  std::FILE* out_;
};

double Ms(double ns) { return ns / 1e6; }
double Us(double ns) { return ns / 1e3; }

double Decibels(float peak) { return peak > 0.0f ? 20.0 * std::log10(double(peak)) : -INFINITY; }

std::string Join(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& n : names) text += (text.empty() ? "" : ", ") + n;
  return text;
}

// The message of whatever a run threw.
std::string CurrentFailure() {
  try {
    throw;
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "unknown failure";
  }
}

void PlayChord(TRig& rig, int32_t notes) {
  for (int32_t k = 0; k < notes; ++k) rig.NoteOn(ChordNote(k), 100);
}

void ReleaseChord(TRig& rig, int32_t notes) {
  for (int32_t k = 0; k < notes; ++k) rig.NoteOff(ChordNote(k));
}

// Shares the run's time out over the figures still to come, so that the
// whole run stays within its budget on a slow or busy machine.
class TBudget {
public:
  TBudget(const TSuiteOptions& o, int32_t figures)
      : o_(o), start_(platform::MonotonicNs()), left_(figures) {}
  // Blocks for the next figure, whose blocks take meanBlockNs of wall time
  // each: the wanted count, or fewer when that figure's share of the time
  // left is smaller. Most figures are cheap, so a figure may take up to four
  // even shares; it never takes more than the time left, so the whole run
  // keeps to the budget.
  int32_t Blocks(int32_t wanted, double meanBlockNs) {
    const int32_t figures = left_ > 0 ? left_ : 1;
    --left_;
    if (o_.budgetSeconds <= 0.0 || meanBlockNs <= 0.0) return wanted;
    const double remaining = o_.budgetSeconds - o_.reserveSeconds - Elapsed();
    const double seconds = std::min(remaining, 4.0 * remaining / double(figures));
    const double fits = seconds * 1e9 / meanBlockNs;
    if (fits >= double(wanted)) return wanted;
    return std::min(wanted, std::max(o_.minBlocks, int32_t(fits)));
  }
  // Figures that will not be measured.
  void Skip(int32_t figures) { left_ -= figures; }
  double Elapsed() const { return double(platform::MonotonicNs() - start_) / 1e9; }

private:
  const TSuiteOptions& o_;
  uint64_t start_;
  int32_t left_;
};

using TBuild = std::function<TPatch(TRig&)>;

// The figures of a measured patch, or why there are none.
struct TOutcome {
  std::optional<TRunFigures> figures;
  std::vector<std::string> missing;
  std::string failure;
};

// Plays the patch for a while; answers the mean wall time of its blocks.
double WarmUp(TRig& rig, double seconds) {
  const int32_t blocks = rig.BlocksFor(seconds);
  uint64_t sum = 0;
  for (int32_t i = 0; i < blocks; ++i) sum += rig.RenderBlock();
  return double(sum) / double(blocks);
}

// Builds the patch on a fresh ensemble, holds a chord of one note a voice,
// warms up and measures. A patch with missing routines is measured only
// when `measureIncomplete`.
TOutcome MeasurePatch(const TBuild& build, float factor, int32_t voices, const TSuiteOptions& o,
                      bool measureIncomplete, TBudget& budget) {
  TOutcome outcome;
  try {
    TRig rig(factor, voices);
    TPatch patch = build(rig);
    outcome.missing = patch.Missing();
    if (!outcome.missing.empty() && !measureIncomplete) {
      budget.Skip(1);
      return outcome;
    }
    rig.StartClock();
    PlayChord(rig, voices);
    outcome.figures = rig.Measure(budget.Blocks(o.blocks, WarmUp(rig, o.warmUpSeconds)));
  } catch (...) {
    outcome.failure = CurrentFailure();
  }
  return outcome;
}

class TSuite {
public:
  TSuite(const TSuiteOptions& o, std::FILE* out)
      : o_(o), print_(out), budget_(o, int32_t(o.factors.size() * o.voices.size()) * 3 + 2) {}
  TSuiteResult Run();

private:
  void Header();
  void VoicesAndRates(const char* tag, const char* what, const TBuild& build, bool measureIncomplete);
  void Resynthesis();
  void SlotOverhead();
  void MidiTimings();
  void DenormalTail();
  void RoutineTable();
  void WriteSound();
  void NotMeasured(const char* tag, const TOutcome& outcome);

  const TSuiteOptions& o_;
  TPrinter print_;
  TBudget budget_;
  TSuiteResult result_;
};

void TSuite::Header() {
  print_("Quorvex engine benchmark");
  print_("CPU: %s", platform::ProcessorModelName().c_str());
  print_("voice-loop kernels: %s", ActiveVoiceKernels().name);
  print_("device rate %.0f Hz, control rate %d Hz, clock %.0f BPM, %d device frames a block, one thread, "
         "%d blocks a figure",
         double(kDeviceRate), int(kControlRate), double(kTempo), int(kDeviceBlock), int(o_.blocks));
  if (o_.budgetSeconds > 0.0)
    print_("time budget %.0f s: on a machine too slow or too busy for it, later figures use fewer blocks (at least %d)",
           o_.budgetSeconds, int(o_.minBlocks));
}

void TSuite::NotMeasured(const char* tag, const TOutcome& outcome) {
  if (!outcome.failure.empty()) print_("%s: not measured (%s)", tag, outcome.failure.c_str());
  else print_("%s: not measured (no routine slot for %s)", tag, Join(outcome.missing).c_str());
  ++result_.failures;
}

void TSuite::VoicesAndRates(const char* tag, const char* what, const TBuild& build, bool measureIncomplete) {
  bool noted = false;
  int32_t left = int32_t(o_.factors.size() * o_.voices.size());
  for (float factor : o_.factors) {
    std::vector<double> perVoiceSlot;
    for (int32_t voices : o_.voices) {
      TOutcome r = MeasurePatch(build, factor, voices, o_, measureIncomplete, budget_);
      --left;
      if (!r.figures) {
        NotMeasured((std::string(tag) + " " + what).c_str(), r);
        budget_.Skip(left);
        return;
      }
      if (!r.missing.empty() && !noted) {
        print_("%s %s: measured without %s (no routine slot)", tag, what, Join(r.missing).c_str());
        ++result_.failures;
        noted = true;
      }
      const TRunFigures& f = *r.figures;
      print_("%s %s V=%d rate x%g: engine usage %.2f %% of real time", tag, what, int(voices), double(factor),
             f.usagePercent);
      print_("%s %s V=%d rate x%g: thread CPU time %.3f %% of one core, wall time %.3f %%", tag, what, int(voices),
             double(factor), f.cpuPercent, f.wallPercent);
      print_("%s %s V=%d rate x%g: %.2f ns per voice-slot-frame (%lld voice-slots, %d frames a block)", tag, what,
             int(voices), double(factor), f.nsPerVoiceSlotFrame, static_cast<long long>(f.voiceSlots),
             int(f.engineFrames));
      print_("%s %s V=%d rate x%g: worst block %.3f ms wall, %.3f ms processor time, of %.3f ms (%.0f %%, %.0f %%) "
             "over %d blocks",
             tag, what, int(voices), double(factor), Ms(f.worstBlockNs), Ms(f.worstBlockCpuNs), Ms(f.blockDurationNs),
             100.0 * f.worstBlockNs / f.blockDurationNs, 100.0 * f.worstBlockCpuNs / f.blockDurationNs, int(f.blocks));
      perVoiceSlot.push_back(f.nsPerVoiceSlotFrame);
    }
    if (perVoiceSlot.size() > 1) {
      double mean = 0.0;
      for (double v : perVoiceSlot) mean += v;
      mean /= double(perVoiceSlot.size());
      double deviation = 0.0;
      for (double v : perVoiceSlot) deviation = std::max(deviation, std::fabs(v - mean));
      auto [lo, hi] = std::minmax_element(perVoiceSlot.begin(), perVoiceSlot.end());
      print_("%s %s rate x%g: ns per voice-slot-frame %.2f ... %.2f across V, within +-%.0f %% of the mean", tag,
             what, double(factor), *lo, *hi, mean > 0.0 ? 100.0 * deviation / mean : 0.0);
    }
  }
}

void TSuite::Resynthesis() {
  TOutcome r = MeasurePatch(BuildResynth, 1.0f, 8, o_, false, budget_);
  if (!r.figures) return NotMeasured("R3 re-synthesis", r);
  const TRunFigures& f = *r.figures;
  print_("R3 re-synthesis V=8 rate x1: engine usage %.2f %% of real time", f.usagePercent);
  print_("R3 re-synthesis V=8 rate x1: %.2f ns per voice-slot-frame", f.nsPerVoiceSlotFrame);
  print_("R3 re-synthesis V=8 rate x1: worst block %.3f ms wall, %.3f ms processor time, of %.3f ms over %d blocks",
         Ms(f.worstBlockNs), Ms(f.worstBlockCpuNs), Ms(f.blockDurationNs), int(f.blocks));
}

void TSuite::SlotOverhead() {
  try {
    TRig rig(1.0f, 1);
    TPatch chain = BuildSlotChain(rig, o_.slotChain);
    const size_t idle = chain.Missing().size();
    if (idle > 0) print_("R4 slot overhead: %d of the modules got no routine slot", int(idle));
    TRunFigures f = rig.Measure(budget_.Blocks(o_.slotBlocks, WarmUp(rig, o_.warmUpSeconds)));
    print_("R4 slot overhead: %d one-voice \"-1\" modules and the Audio Out in %d slots: %.2f ns per slot-frame",
           int(o_.slotChain), int(f.slots), f.nsPerVoiceSlotFrame);
  } catch (...) {
    print_("R4 slot overhead: not measured (%s)", CurrentFailure().c_str());
    ++result_.failures;
  }
}

struct TSpread {
  double median = 0.0, worst = 0.0;
};
TSpread SpreadOf(std::vector<uint64_t> ns) {
  TSpread s;
  if (ns.empty()) return s;
  std::sort(ns.begin(), ns.end());
  s.median = double(ns[ns.size() / 2]);
  s.worst = double(ns.back());
  return s;
}

void TSuite::MidiTimings() {
  constexpr int32_t kVoices = 64;
  try {
    TRig rig(1.0f, kVoices);
    BuildPolySubtractive(rig);
    rig.StartClock();
    rig.RenderSeconds(o_.warmUpSeconds);
    std::vector<uint64_t> single;
    for (int32_t i = 0; i < o_.singleNotes; ++i) {
      const int32_t note = ChordNote(i % kVoices);
      rig.RenderBlock();
      const uint64_t start = platform::MonotonicNs();
      rig.NoteOn(note, 100);
      single.push_back(platform::MonotonicNs() - start);
      rig.RenderBlock();
      rig.NoteOff(note);
    }
    ReleaseChord(rig, kVoices);
    rig.RenderSeconds(1.0);
    std::vector<uint64_t> chords;
    for (int32_t i = 0; i < o_.chords; ++i) {
      const uint64_t start = platform::MonotonicNs();
      PlayChord(rig, kVoices);
      chords.push_back(platform::MonotonicNs() - start);
      rig.RenderSeconds(0.05);
      ReleaseChord(rig, kVoices);
      rig.RenderSeconds(0.05);
    }
    TSpread s = SpreadOf(single), c = SpreadOf(chords);
    print_("MIDI one note-on through Receive into R1 at V=64: median %.2f us, worst %.2f us over %d notes",
           Us(s.median), Us(s.worst), int(single.size()));
    print_("MIDI 64-note chord through Receive into R1 at V=64: median %.2f us, worst %.2f us over %d chords",
           Us(c.median), Us(c.worst), int(chords.size()));
  } catch (...) {
    print_("MIDI: not measured (%s)", CurrentFailure().c_str());
    ++result_.failures;
  }
}

// Subnormal values among the audio outputs of every voice of every running
// module: what a decaying signal leaves behind when denormals are not flushed.
int64_t SubnormalOutputs() {
  int64_t count = 0;
  for (int32_t i = 0; i < EngineSlots.count; ++i) {
    const TEngineRecord* r = EngineSlots.records[i];
    if (!r || !r->module) continue;
    const KSModul* module = KSModul::Of(r->module);
    for (int32_t p = 0; p < module->GetOutPortCount(); ++p) {
      const KOutPort* port = module->GetOutPort(p);
      if (!IsAudioKind(port->GetKind())) continue;
      for (int32_t v = 0; v < r->voices; ++v)
        if (std::fpclassify(*port->ValueFor(v)) == FP_SUBNORMAL) ++count;
    }
  }
  return count;
}

// Mean wall time of the blocks of one second of rendering, the subnormal
// values seen in the output and in the modules' outputs after each block,
// and the output's peak.
struct TSecond {
  double meanBlockNs = 0.0;
  int64_t subnormals = 0;
  float peak = 0.0f;
};
TSecond RenderSecond(TRig& rig) {
  TSecond s;
  const int32_t blocks = rig.BlocksFor(1.0);
  uint64_t sum = 0;
  for (int32_t b = 0; b < blocks; ++b) {
    sum += rig.RenderBlock();
    for (float v : rig.Output()) {
      if (std::fpclassify(v) == FP_SUBNORMAL) ++s.subnormals;
      s.peak = std::max(s.peak, std::fabs(v));
    }
    s.subnormals += SubnormalOutputs();
  }
  s.meanBlockNs = double(sum) / double(blocks);
  return s;
}

void TSuite::DenormalTail() {
  constexpr int32_t kVoices = 8;
  try {
    // The same patch never played: every routine runs, nothing decays.
    double silent = 0.0;
    {
      TRig rig(1.0f, kVoices);
      BuildPolySubtractive(rig);
      rig.StartClock();
      rig.RenderSeconds(o_.warmUpSeconds);
      silent = RenderSecond(rig).meanBlockNs;
    }
    TRig rig(1.0f, kVoices);
    BuildPolySubtractive(rig);
    rig.StartClock();
    PlayChord(rig, kVoices);
    rig.RenderSeconds(1.0);
    ReleaseChord(rig, kVoices);
    const int32_t seconds = std::max(1, int32_t(o_.tailSeconds));
    TSecond first, last;
    int64_t subnormals = 0;
    for (int32_t k = 0; k < seconds; ++k) {
      TSecond s = RenderSecond(rig);
      subnormals += s.subnormals;
      if (k == 0) first = s;
      last = s;
    }
    print_("Tail of R1 V=8 after release: mean block %.3f ms in second 1 (peak %.0f dBFS)", Ms(first.meanBlockNs),
           Decibels(first.peak));
    print_("Tail of R1 V=8 after release: mean block %.3f ms in second %d (peak %.0f dBFS)", Ms(last.meanBlockNs),
           int(seconds), Decibels(last.peak));
    print_("Tail of R1 V=8: mean block %.3f ms when never played", Ms(silent));
    const double ratio = silent > 0.0 ? last.meanBlockNs / silent : 0.0;
    print_("Tail of R1 V=8: late tail blocks take x%.2f the time of the patch never played", ratio);
    print_("Tail of R1 V=8: %lld subnormal values in the output and the module outputs: denormals %s",
           static_cast<long long>(subnormals), subnormals == 0 ? "contained" : "NOT contained");
  } catch (...) {
    print_("Tail: not measured (%s)", CurrentFailure().c_str());
    ++result_.failures;
  }
}

void TSuite::RoutineTable() {
  struct TRow {
    const char* name;
    const char* part;
  };
  static const TRow kRows[] = {
      {"Sine", "Sine"},
      {"Saw FM", "Saw FM"},
      {"Pulse FM", "Pulse FM"},
      {"2-Pole Filter", "2-Pole Filter"},
      {"4-Pole Filter", "4-Pole Filter"},
      {"ADSR - Env", "ADSR"},
      {"Sampler Loop 'Poor'", "Sampler Loop 'Poor'"},
      {"Sampler Loop 'Good'", "Sampler Loop 'Good'"},
      {"Sampler Loop 'Excellent'", "Sampler Loop 'Excellent'"},
      {"Mod. Delay", "Mod. Delay"},
      {"Grain Delay", "Grain Delay"},
      {"Resynth", "Resynth"},
  };
  constexpr int32_t kVoices = 8;
  try {
    TRig rig(1.0f, kVoices);
    TPatch patch = BuildRoutineSet(rig);
    rig.StartClock();
    PlayChord(rig, kVoices);
    rig.RenderSeconds(o_.warmUpSeconds);
    std::vector<double> slotNs = rig.MeasureSlots(o_.routineBlocks);
    std::vector<std::pair<double, std::string>> costs;
    for (const TRow& row : kRows) {
      KSModul* m = patch.Find(row.part);
      int32_t slot = -1;
      for (int32_t i = 0; m && i < int32_t(slotNs.size()); ++i)
        if (EngineSlots.records[i] && EngineSlots.records[i]->module == m) slot = i;
      if (slot < 0) {
        print_("Routine %s: not measured (no routine slot)", row.name);
        ++result_.failures;
        continue;
      }
      print_("Routine %s: %.2f ns per voice-frame", row.name, slotNs[size_t(slot)]);
      costs.emplace_back(slotNs[size_t(slot)], row.name);
    }
    std::sort(costs.rbegin(), costs.rend());
    std::string top;
    for (size_t i = 0; i < costs.size() && i < 3; ++i) top += (i ? ", " : "") + costs[i].second;
    if (!top.empty()) print_("Routines, most expensive first: %s", top.c_str());
  } catch (...) {
    print_("Routines: not measured (%s)", CurrentFailure().c_str());
    ++result_.failures;
  }
}

void TSuite::WriteSound() {
  constexpr int32_t kVoices = 8;
  const std::string path = o_.outputFolder + "/r1-poly-subtractive-v8.wav";
  try {
    TRig rig(1.0f, kVoices);
    BuildPolySubtractive(rig);
    rig.StartClock();
    const int32_t blocks = rig.BlocksFor(o_.soundSeconds);
    const int32_t releaseAt = std::max(1, blocks - rig.BlocksFor(std::min(2.0, o_.soundSeconds / 3.0)));
    const int32_t frames = blocks * kDeviceBlock;
    EPtr<IAudioBuf> sound(CreateAudioBuf(1, 0, 32, 2, int32_t(kDeviceRate), frames, 0));
    PlayChord(rig, kVoices);
    float peak = 0.0f;
    for (int32_t b = 0; b < blocks; ++b) {
      if (b == releaseAt) ReleaseChord(rig, kVoices);
      rig.RenderBlock();
      const std::vector<float>& out = rig.Output();
      for (int32_t f = 0; f < kDeviceBlock; ++f) {
        for (int32_t c = 0; c < 2; ++c) {
          const float v = out[size_t(2 * f + c)];
          sound->SetSample(b * kDeviceBlock + f, v, c);
          peak = std::max(peak, std::fabs(v));
        }
      }
    }
    EPtr<IFileName> name(CreateFileName());
    name->SetPath(TStr(path.c_str()));
    SaveAudioFileReplacing(name.Get(), *sound, TSoundSettings());
    result_.soundPath = path;
    result_.soundPeak = peak;
    print_("R1 poly subtractive at V=8 (%.1f s, peak %.1f dBFS) written to %s", double(frames) / double(kDeviceRate),
           Decibels(peak), path.c_str());
    if (peak <= 0.0f) {
      print_("R1 poly subtractive at V=8: the written sound is silent");
      ++result_.failures;
    }
  } catch (...) {
    print_("R1 sound: not written to %s (%s)", path.c_str(), CurrentFailure().c_str());
    ++result_.failures;
  }
}

TSuiteResult TSuite::Run() {
  Header();
  VoicesAndRates("R1", "poly subtractive", BuildPolySubtractive, true);
  VoicesAndRates("R2", "sampler 'Good'", [](TRig& rig) { return BuildSampler(rig, kGood); }, false);
  VoicesAndRates("R2", "sampler 'Excellent'", [](TRig& rig) { return BuildSampler(rig, kExcellent); }, false);
  Resynthesis();
  SlotOverhead();
  MidiTimings();
  DenormalTail();
  RoutineTable();
  WriteSound();
  print_("run time %.0f s", budget_.Elapsed());
  return result_;
}

} // namespace

TSuiteOptions QuickOptions(const std::string& outputFolder) {
  TSuiteOptions o;
  o.outputFolder = outputFolder;
  o.blocks = 20;
  o.voices = {8};
  o.factors = {1.0f};
  o.slotChain = 799;
  o.singleNotes = 8;
  o.chords = 2;
  o.warmUpSeconds = 0.05;
  o.tailSeconds = 1.0;
  o.routineBlocks = 10;
  o.soundSeconds = 1.0;
  o.slotBlocks = 20;
  o.budgetSeconds = 0.0;
  o.minBlocks = 1;
  return o;
}

TSuiteResult RunSuite(const TSuiteOptions& options, std::FILE* out) { return TSuite(options, out).Run(); }

namespace {

struct TNamedPatch {
  const char* name;
  const char* what;
  TBuild build;
};

const std::vector<TNamedPatch>& NamedPatches() {
  constexpr int32_t kChain = 799;
  static const std::vector<TNamedPatch> patches = {
      {"R1", "poly subtractive", BuildPolySubtractive},
      {"R2", "sampler 'Good'", [](TRig& rig) { return BuildSampler(rig, kGood); }},
      {"R2E", "sampler 'Excellent'", [](TRig& rig) { return BuildSampler(rig, kExcellent); }},
      {"R3", "re-synthesis", BuildResynth},
      {"R4", "slot overhead", [](TRig& rig) { return BuildSlotChain(rig, kChain); }},
  };
  return patches;
}

} // namespace

bool IsKnownPatch(const std::string& name) {
  for (const TNamedPatch& p : NamedPatches())
    if (name == p.name) return true;
  return false;
}

int32_t RunOnly(const TOnlyOptions& o, std::FILE* out) {
  TPrinter print(out);
  const TNamedPatch* chosen = nullptr;
  for (const TNamedPatch& p : NamedPatches())
    if (o.patch == p.name) chosen = &p;
  if (!chosen) {
    print("%s: no such patch", o.patch.c_str());
    return 1;
  }
  constexpr double kWarmUpSeconds = 0.5;
  try {
    TRig rig(1.0f, o.voices);
    TPatch patch = chosen->build(rig);
    if (!patch.Missing().empty()) print("%s: measured without %s (no routine slot)", chosen->name, Join(patch.Missing()).c_str());
    rig.StartClock();
    PlayChord(rig, o.voices);
    rig.RenderSeconds(kWarmUpSeconds);
    print("CPU: %s", platform::ProcessorModelName().c_str());
    print("voice-loop kernels: %s", ActiveVoiceKernels().name);
    const TRunFigures f = rig.Measure(rig.BlocksFor(o.seconds));
    const char* tag = chosen->name;
    print("%s %s V=%d: thread CPU time %.3f %% of one core, wall time %.3f %% (%.1f s of sound, %d blocks)", tag,
          chosen->what, int(o.voices), f.cpuPercent, f.wallPercent, double(f.blocks) * f.blockDurationNs / 1e9,
          int(f.blocks));
    print("%s %s V=%d: engine usage %.3f %% of real time, %.3f ns per voice-slot-frame", tag, chosen->what,
          int(o.voices), f.usagePercent, f.nsPerVoiceSlotFrame);
    print("%s %s V=%d: worst block %.3f ms wall, %.3f ms processor time, of %.3f ms", tag, chosen->what,
          int(o.voices), Ms(f.worstBlockNs), Ms(f.worstBlockCpuNs), Ms(f.blockDurationNs));
    // What each named part of the patch costs, in per-slot measuring mode.
    const std::vector<double> slotNs = rig.MeasureSlots(std::max(1, rig.BlocksFor(std::min(o.seconds, 5.0))));
    for (const TPatch::TPart& part : patch.parts) {
      for (int32_t i = 0; i < int32_t(slotNs.size()); ++i) {
        if (!EngineSlots.records[i] || EngineSlots.records[i]->module != part.module) continue;
        print("%s routine %s: %.3f ns per voice-frame (%d voices)", tag, part.name.c_str(), slotNs[size_t(i)],
              int(EngineSlots.voices[i]));
      }
    }
  } catch (...) {
    print("%s: not measured (%s)", chosen->name, CurrentFailure().c_str());
    return 1;
  }
  return 0;
}

} // namespace bench
