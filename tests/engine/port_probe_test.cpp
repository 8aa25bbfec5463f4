// Every audio input of every module type in the catalogue, probed through
// the running block loop: driven from 0 to a probe value while the other
// inputs are held, the input must move its module's state. A routine that
// reads another input in its place leaves the input without effect, and an
// amplitude input that is 0 must silence the audio outputs it scales.
#include "tests/engine/routine_rig.h"
#include "tests/engine/sound_rig.h"

#include "src/engine/module_types.h"
#include "src/mod/modul_def.h"
#include "tests/common/named_types.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

using rig::TRig;

namespace {

// A low rate gives a short control period (10 frames), so that events and
// control-rate routines come round often in a short run.
constexpr float kRate = 1000.0f;
constexpr int32_t kChunkFrames = 8;
constexpr int32_t kChunks = 256;
// The probe values: one inside every unit range, one beyond it (counts and
// thresholds that only a value above 1 reaches) and one near the top of the
// port's own range (a time or a frequency).
constexpr float kProbes[] = {0.75f, 2.5f};
constexpr float kRangeProbe = 0.9f;
// Below this an output counts as silent: a player's declick tail carries a
// tiny guard against denormal numbers.
constexpr float kSilence = 1e-6f;

using testkit::kNamedTypes;
using testkit::TNamedType;

// Inputs that stay at one value instead of toggling with the others, and why.
struct TSteadyInput {
  const char* typeName;  // the record's name
  const char* label;
  float value;
  const char* why;
};
const TSteadyInput kSteady[] = {
    {"Sequencer", "Rst", 0.0f,
     "a reset edge sends the sequencer back to its first step: held low, the clock reaches every step"},
    {"Freq. Divider", "Rst", 0.0f,
     "a reset makes the next event pass at once: held low, the count and the width decide"},
    {"Beat Loop", "Rst", 0.0f,
     "a reset starts counting the clock ticks again: held low, the sixteenths come round"},
    {"Demux", "Len", 16.0f, "at the full length every position selects its own input"},
};

// Inputs that legitimately leave the state as it is, and why.
struct TUnmoved {
  TModuleType type;
  const char* label;
  const char* why;
};
const TUnmoved kUnmoved[] = {
    {kTypeSamplerLoop, "Sel", "it chooses the sound of the map by key, and the one sound here answers every key"},
    {kTypeMidiNoteOut, "P", "a note goes only to an open MIDI output, and this host has none"},
    {kTypeScope, "In", "the input goes into the capture buffer, outside the state words, whose pointers differ "
                       "between any two scopes"},
};

const TSteadyInput* Steady(const KModulDef* d, const char* label) {
  for (const TSteadyInput& l : kSteady)
    if (std::strcmp(d->name, l.typeName) == 0 && std::strcmp(label, l.label) == 0) return &l;
  return nullptr;
}

const TUnmoved* Unmoved(TModuleType type, const char* label) {
  for (const TUnmoved& u : kUnmoved)
    if (u.type == type && std::strcmp(u.label, label) == 0) return &u;
  return nullptr;
}

// A held input or event feed toggles: low (0) for a while, then at a level
// that changes from one high stretch to the next. Each slot has its own
// period (1, 2 or 3 chunks) and its own sequence of levels, so gates,
// clocks and syncs see edges and the inputs meet in many combinations.
// The levels span the port's range where it reaches beyond 1 (a pitch, a
// time, a frequency), up to 100, and every other one is negative where the
// range has negative values.
struct TScale {
  float top = 1.0f;
  bool signedRange = false;
};

TScale ScaleOf(const KPortDef& p) {
  return {std::clamp(std::max(std::fabs(p.maximum), std::fabs(p.minimum)), 1.0f, 100.0f), p.minimum < 0.0f};
}

float HeldAt(int32_t slot, int32_t chunk, TScale scale) {
  const int32_t half = 1 + slot % 3;
  const int32_t stretch = chunk / half;
  if (stretch % 2 != 0) return 0.0f;
  const float golden = 0.6180339887f;
  const float fraction = std::fmod(float(stretch * 7 + slot * 3) * golden, 1.0f);
  const float level = (0.1f + 0.9f * fraction) * scale.top;
  return scale.signedRange && stretch % 4 == 2 ? -level : level;
}

// Points an audio input of every voice at a cell.
void PointInput(KSModul* m, int32_t pointer, float* cell) {
  TEngineRecord* r = m->GetEngineRecord();
  ASSERT_NE(r, nullptr) << "the module is not processed";
  for (int32_t v = 0; v < r->voices; ++v) r->inputs[v][pointer] = cell;
  ResolveAudioInput(r, pointer);
}

// A sound for the types that play one: 2048 frames of a stereo signal whose
// every frame differs, so that a position or a speed shows in the output,
// with a loop for the loop inputs.
const std::string& SoundFile() {
  static const std::string path = [] {
    std::vector<std::vector<float>> channels(2, std::vector<float>(2048));
    for (size_t i = 0; i < channels[0].size(); ++i) {
      channels[0][i] = 0.8f * std::sin(0.05f * float(i) + 0.0003f * float(i * i));
      channels[1][i] = 0.6f * std::cos(0.031f * float(i));
    }
    const soundrig::TLoop loop{256, 1536, false};
    return soundrig::WriteWav(testkit::TempDir("port_probe") + "/probe.wav", 44100, channels, &loop);
  }();
  return path;
}

// One probe of one input: three modules of the type, alike but for the
// probed input, which is 0 on the first two and the probe value on the third.
// The first two show which words differ between modules alike (buffer
// addresses and the like); only the other words count.
class TProbe {
public:
  TProbe(TModuleType type, const KModulDef* def, int32_t port, float value)
      : type_(type), def_(def), port_(port), value_(value) {}

  void Run() {
    TRig r(kRate);
    KSModul* catcher = r.Add(kTypeAudioSum3);
    KSModul* events = r.Add(kTypeAudioSum3);
    for (int32_t k = 0; k < 3; ++k) {
      modules_[k] = r.Add(type_);
      sent_[k] = r.Add(kTypeMixer2);
      r.WireAt(sent_[k], "Out", events, k);
      ASSERT_NO_FATAL_FAILURE(KeepProcessed(modules_[k], catcher, k, sent_[k]));
    }
    r.Listen(catcher, "");
    r.Wire(events, "", r.out, "R");
    // Each event input is fed by an "A/E" module from a held cell.
    std::vector<KSModul*> feeds;
    std::vector<TScale> feedScale;
    std::vector<const TSteadyInput*> feedSteady;
    for (int32_t i = 0; i < def_->inPorts->count; ++i) {
      if (!IsEventKind(def_->inPorts->entries[i].kind)) continue;
      KSModul* feed = r.Add(kTypeAudioToEvent);
      feeds.push_back(feed);
      feedScale.push_back(ScaleOf(def_->inPorts->entries[i]));
      feedSteady.push_back(Steady(def_, def_->inPorts->entries[i].label));
      for (KSModul* m : modules_) ASSERT_EQ(m->GetInPort(i)->Connect(feed->GetOutPort(0)), 0) << Where();
    }
    for (KSModul* m : modules_) {
      if (m->GetSampleMap()) {
        ASSERT_NO_FATAL_FAILURE(soundrig::LoadInto(m, SoundFile()));
      }
    }
    r.Ready();

    // One cell per audio input (by pointer) and per event feed; the probe's
    // own two cells.
    const int32_t inputs = def_->audioInputs;
    std::vector<float> cells(size_t(inputs) + feeds.size(), 0.0f);
    std::vector<TScale> scale(cells.size());
    std::vector<const TSteadyInput*> steady(cells.size(), nullptr);
    float zero = 0.0f, probe = value_;
    for (int32_t i = 0; i < def_->inPorts->count; ++i) {
      const KPortDef& p = def_->inPorts->entries[i];
      if (!IsAudioKind(p.kind)) continue;
      steady[size_t(p.index)] = Steady(def_, p.label);
      scale[size_t(p.index)] = ScaleOf(p);
      for (int32_t k = 0; k < 3; ++k) {
        float* cell = i != port_ ? &cells[size_t(p.index)] : k == kProbed ? &probe : &zero;
        ASSERT_NO_FATAL_FAILURE(PointInput(modules_[k], p.index, cell)) << Where();
      }
    }
    for (size_t f = 0; f < feeds.size(); ++f) {
      scale[size_t(inputs) + f] = feedScale[f];
      steady[size_t(inputs) + f] = feedSteady[f];
      const int32_t feedIn = feeds[f]->GetInPort(rig::InIndex(feeds[f], "In"))->GetIndexField();
      ASSERT_NO_FATAL_FAILURE(PointInput(feeds[f], feedIn, &cells[size_t(inputs) + f]));
    }

    for (int32_t c = 0; c < kChunks; ++c) {
      for (size_t s = 0; s < cells.size(); ++s)
        cells[s] = steady[s] ? steady[s]->value : HeldAt(int32_t(s), c, scale[s]);
      r.Render(kChunkFrames);
      silentAtZero_ = silentAtZero_ && AudioOutputsSilent(r, modules_[kBaseline]);
      moved_ = moved_ || StateMoved(r);
    }
  }

  bool Moved() const { return moved_; }
  // The audio outputs of the module whose probed input is 0 stayed 0.
  bool SilentAtZero() const { return silentAtZero_; }

  std::string Where() const {
    std::string constant;
    for (const TNamedType& n : kNamedTypes)
      if (n.type == type_) constant = n.constant;
    const KPortDef& p = def_->inPorts->entries[port_];
    std::string where = "\"";
    where += def_->name;
    return where + "\" (" + constant + ") input \"" + p.label + "\" (" + p.longName + ")";
  }

private:
  enum { kTwin, kBaseline, kProbed };

  // The module's first audio output goes to the audio catcher and its event
  // outputs to the level input of a mixer of its own, so that the module
  // reaches the sound output and the events it sends show in that mixer's
  // gain. A
  // display or MIDI sink is processed once a wire from a processed module
  // reaches it; the held cells replace that wire's signal.
  void KeepProcessed(KSModul* m, KSModul* catcher, int32_t k, KSModul* events) {
    if (m->GetOutPortCount() == 0) {
      for (int32_t i = 0; i < def_->inPorts->count; ++i) {
        if (!IsAudioKind(def_->inPorts->entries[i].kind)) continue;
        ASSERT_EQ(m->GetInPort(i)->Connect(catcher->GetOutPort(0)), 0) << Where();
        return;
      }
      return;
    }
    bool audioWired = false;
    for (int32_t o = 0; o < def_->outPorts->count; ++o) {
      const bool audio = IsAudioKind(def_->outPorts->entries[o].kind);
      if (audio && audioWired) continue;
      KInPort* to = audio ? catcher->GetInPort(k) : events->GetInPort(rig::InIndex(events, "Lvl1"));
      ASSERT_EQ(to->Connect(m->GetOutPort(o)), 0) << Where();
      audioWired = audioWired || audio;
    }
  }

  // A word of the probed module (or the gain its events set) differs from
  // the baseline's where the baseline's equals its twin's.
  bool StateMoved(TRig& r) const { return WordMoved(r, modules_) || WordMoved(r, sent_); }
  static bool WordMoved(TRig& r, KSModul* const (&m)[3]) {
    const int32_t words = m[kBaseline]->GetEngineRecord()->stateWords;
    for (int32_t w = 0; w < words; ++w) {
      const int32_t base = r.Words(m[kBaseline])[w].i;
      if (r.Words(m[kTwin])[w].i == base && r.Words(m[kProbed])[w].i != base) return true;
    }
    return false;
  }

  bool AudioOutputsSilent(TRig& r, KSModul* m) const {
    for (int32_t i = 0; i < def_->outPorts->count; ++i) {
      const KPortDef& p = def_->outPorts->entries[i];
      if (IsAudioKind(p.kind) && p.index >= 0 && !(std::fabs(r.Words(m)[p.index].f) <= kSilence)) return false;
    }
    return true;
  }

  TModuleType type_;
  const KModulDef* def_;
  int32_t port_;
  float value_;
  KSModul* modules_[3] = {};
  KSModul* sent_[3] = {};
  bool moved_ = false;
  bool silentAtZero_ = true;
};

} // namespace

TEST(AudioInputProbe, EveryAudioInputOfEveryTypeMovesItsModulesState) {
  for (const TNamedType& n : kNamedTypes) {
    if (n.type.category != kCatModule) continue;
    const KModulDef* d = FindModulDef(nullptr, n.type);
    ASSERT_NE(d, nullptr) << n.constant;
    for (int32_t i = 0; i < d->inPorts->count; ++i) {
      const KPortDef& p = d->inPorts->entries[i];
      if (!IsAudioKind(p.kind) || p.index < 0) continue;
      bool moved = false, silentAtZero = true;
      std::string where;
      std::vector<float> values(std::begin(kProbes), std::end(kProbes));
      values.push_back(kRangeProbe * ScaleOf(p).top);
      for (float value : values) {
        TProbe probe(n.type, d, i, value);
        where = probe.Where();
        SCOPED_TRACE(where);
        ASSERT_NO_FATAL_FAILURE(probe.Run());
        moved = moved || probe.Moved();
        silentAtZero = silentAtZero && probe.SilentAtZero();
      }
      if (const TUnmoved* u = Unmoved(n.type, p.label)) {
        EXPECT_FALSE(moved) << where << " moves the state after all; it is listed as leaving it because " << u->why;
      } else {
        EXPECT_TRUE(moved) << where << " does not move the state when it goes from 0 to a probe value";
      }
      if (std::strcmp(p.longName, "Ampl") == 0) {
        EXPECT_TRUE(silentAtZero) << where << " is the amplitude, but an audio output sounds while it is 0";
      }
    }
  }
}
