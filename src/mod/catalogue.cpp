// The compiled-in module-type catalogue.
//
// Each record is written as its in-ports and out-ports in port order; the
// kinds (mono or poly) follow from whether the type starts mono, the state
// sizes and output positions come from the engine's per-voice layouts.
#include "src/mod/catalogue.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <deque>
#include <initializer_list>
#include <string>
#include <vector>

#include "src/engine/event_ids.h"
#include "src/engine/voice_state.h"

namespace {

// The value ranges an input can name: minimum, maximum, step, default and
// value class, copied into its port entry.
struct TRange {
  float minimum, maximum, step, defaultValue;
  int32_t valueClass;
};

enum ERange {
  rSignal,   // audio signal
  rPitch,    // semitones
  rCutoff,   // cutoff pitch in semitones
  rAmpl,
  rLevel,    // decibels
  rTime,     // envelope time: 0 = 1 ms, each 20 ten times longer
  rGate,
  rTrigger,
  rClock,
  rReset,
  rSync,
  rTape,
  rHz,
  rFCutoff,
  rUnit,
  rReson,
  rSustain,
  rBoost,
  rPan,
  rMs,
  rFade,
  rSpeed,
  rCount,
  rFormant,
  rScopeTime,
  rScopeScale,
  rScopePos,
  rRangeCount
};

const TRange kRanges[rRangeCount] = {
    {-1.0f, 1.0f, 0.02f, 0.0f, 2},      // rSignal
    {0.0f, 127.0f, 1.0f, 60.0f, 2},     // rPitch
    {20.0f, 120.0f, 1.0f, 70.0f, 2},    // rCutoff
    {0.0f, 1.0f, 0.01f, 1.0f, 2},       // rAmpl
    {-60.0f, 0.0f, 0.5f, 0.0f, 1},      // rLevel
    {0.0f, 80.0f, 1.0f, 40.0f, 2},      // rTime
    {0.0f, 1.0f, 1.0f, 0.0f, 3},        // rGate
    {0.0f, 1.0f, 0.0f, 0.0f, 3},        // rTrigger
    {0.0f, 1.0f, 1.0f, 0.0f, 4},        // rClock
    {0.0f, 1.0f, 1.0f, 0.0f, 5},        // rReset
    {0.0f, 1.0f, 1.0f, 0.0f, 4},        // rSync
    {0.0f, 1.0f, 1.0f, 0.0f, 5},        // rTape
    {0.0f, 1000.0f, 1.0f, 0.0f, 2},     // rHz
    {0.0f, 5000.0f, 50.0f, 0.0f, 2},    // rFCutoff
    {0.0f, 1.0f, 0.01f, 0.0f, 2},       // rUnit
    {0.0f, 0.98f, 0.01f, 0.0f, 2},      // rReson
    {0.0f, 1.0f, 0.01f, 0.5f, 2},       // rSustain
    {-24.0f, 24.0f, 0.5f, 0.0f, 1},     // rBoost
    {-1.0f, 1.0f, 0.02f, 0.0f, 2},      // rPan
    {0.0f, 1000.0f, 1.0f, 0.0f, 2},     // rMs
    {0.0f, 1.0f, 0.01f, 0.5f, 1},       // rFade
    {0.0f, 4.0f, 0.01f, 1.0f, 2},       // rSpeed
    {1.0f, 16.0f, 1.0f, 16.0f, 2},      // rCount
    {-24.0f, 24.0f, 1.0f, 0.0f, 2},     // rFormant
    {0.0f, 10.0f, 0.1f, 0.0f, 2},       // rScopeTime
    {1.0f, 10.0f, 0.1f, 1.0f, 2},       // rScopeScale
    {-5.0f, 5.0f, 0.1f, 0.0f, 2},       // rScopePos
};

struct PIn {
  const char* label;
  bool event;
  int32_t index;
  const char* longName;
  ERange range;
};

struct POut {
  const char* label;
  bool event;
  int32_t index;
};

PIn A(const char* label, int32_t pointer, const char* longName, ERange range = rSignal) {
  return {label, false, pointer, longName, range};
}
PIn E(const char* label, int32_t id, const char* longName, ERange range) {
  return {label, true, id, longName, range};
}
POut OA(const char* label, int32_t word) { return {label, false, word}; }
POut OE(const char* label, int32_t slot) { return {label, true, slot}; }

// Inputs and outputs whose positions the start-up fill writes.
constexpr int32_t kPlaced = -1;

bool Contains(std::initializer_list<TModuleType> set, TModuleType t) {
  return std::find(set.begin(), set.end(), t) != set.end();
}

// Ordinary types that start as one-voice modules.
bool ModuleStartsMono(TModuleType t) {
  return Contains({kTypeSequencer6, kTypeSequencer8, kTypeSequencer12, kTypeSequencer16,
                   kTypeTapedeck1, kTypeTapedeck2, kTypeComment, kTypeLamp, kTypeLampTwin,
                   kTypeLevelMeter, kTypeMeter, kTypeLevelLamp, kTypeMidiControllerOut,
                   kTypeMidiPolyPressureOut, kTypeMidiPitchBendOut, kTypeMidiProgramChangeOut,
                   kTypeMidiChannelPressureOut, kTypeClockOsc, kTypeScope, kTypeDiffuserDelay,
                   kTypeEventSmoother, kTypeAudioToEventSmoothed},
                  t);
}

bool SourceStartsMono(TModuleType t) {
  return !Contains({kTypeNoteOnVelocity, kTypeNoteOffVelocity, kTypeGate, kTypeNotePitch,
                    kTypePolyPressure, kTypeSpread},
                   t);
}

bool IsGraphType(TModuleType t) {
  return Contains({// envelopes
                   kTypeHoldEnv, kTypeHoldReleaseEnv, kTypeAttackReleaseEnv, kTypeDecayEnv,
                   kTypeDecayReleaseEnv, kTypeDsrEnv, kTypeAdsrEnv, kTypeAdbdrEnv, kTypeDbdrEnv,
                   kTypeAdbdsrEnv, kTypeAttackDecayEnv, kTypeRamp4Env, kTypeRamp5Env,
                   kTypeRamp6Env, kTypeDbdsrEnv, kTypeAdrEnv,
                   // filters and equalisers
                   kTypeOnePoleFilterFm, kTypeTwoPoleFilterFm, kTypeFourPoleFilterFm,
                   kTypePeakEqFm, kTypeHiShelfEqFm, kTypeLoShelfEqFm, kTypeTwoPoleNotchFm,
                   kTypeFourPoleHighPassFm, kTypeFourPoleFilter, kTypeFourPoleHighPass,
                   kTypeOnePoleFilter, kTypeTwoPoleFilter, kTypeTwoPoleNotch, kTypePeakEq,
                   kTypeHiShelfEq, kTypeLoShelfEq,
                   // shapers
                   kTypeEventShaper3, kTypeEventShaper4, kTypeShaper1Bp, kTypeShaper2Bp,
                   kTypeShaper3Bp, kTypeEventShaper5, kTypeParabolShaper, kTypeCubicShaper,
                   kTypeScope},
                  t);
}

bool IsFileType(TModuleType t) {
  return Contains({kTypeTapedeck1, kTypeTapedeck2, kTypeSampler, kTypeSamplerFm, kTypeSamplerLoop,
                   kTypeSampleLookup, kTypeBeatLoop, kTypeResynth, kTypePitchFormer},
                  t);
}

int32_t ModulePanelView(TModuleType t) {
  if (Contains({kTypeLamp, kTypeLampTwin, kTypeLevelLamp}, t)) return kViewLamp;
  if (Contains({kTypeLevelMeter, kTypeMeter}, t)) return kViewMeter;
  if (IsFileType(t)) return kViewFile;
  if (IsGraphType(t)) return kViewGraph;
  return kViewNone;
}

int32_t ModulePicture(TModuleType t) {
  if (t == kTypeSawFm || t == kTypeSawtooth) return 8060;
  if (IsFileType(t) && t != kTypeTapedeck1 && t != kTypeTapedeck2) return 8085;  // samplers
  return 0;
}

bool ModuleHelpIsUser(TModuleType t) {
  return Contains({kTypeOnePoleFilterFm, kTypeTwoPoleFilterFm, kTypeFourPoleFilterFm,  // filters
                   kTypeTwoPoleNotchFm, kTypeFourPoleHighPassFm, kTypeFourPoleFilter,
                   kTypeFourPoleHighPass, kTypeOnePoleFilter, kTypeTwoPoleFilter,
                   kTypeTwoPoleNotch,
                   kTypePeakEqFm, kTypeHiShelfEqFm, kTypeLoShelfEqFm,  // equalisers
                   kTypePeakEq, kTypeHiShelfEq, kTypeLoShelfEq,
                   kTypeSampler, kTypeSamplerFm, kTypeSamplerLoop, kTypeSampleLookup,
                   kTypeBeatLoop, kTypeResynth, kTypePitchFormer, kTypeTapedeck1, kTypeTapedeck2,
                   kTypeScope, kTypeGrainDelay, kTypeDemux, kTypeComment, kTypeLamp,
                   kTypeLampTwin, kTypeLevelMeter, kTypeLevelLamp, kTypeMeter, kTypeTestModule},
                  t);
}

// Symbol-named types keep their short name as label.
bool NameIsSymbol(const char* name) {
  for (const char* s : {"+", "X", "-1", "}", ">>", "Exp", "Log", "1/x", "/", "T", "S", "A/E"})
    if (std::strcmp(s, name) == 0) return true;
  return false;
}

// One-voice combiners: poly inputs, one mono output.
bool HasMonoOutput(TModuleType t) {
  return Contains({kTypeAudioVoiceCombiner, kTypeEventVoiceCombiner, kTypeSelectMax, kTypeSelectMin},
                  t);
}

class TBuilder {
public:
  explicit TBuilder(TCatalogue& c) : c_(c) {
    emptyIn_ = &tables_.emplace_back(KPortTable{0, nullptr});
    emptyOut_ = &tables_.emplace_back(KPortTable{0, nullptr});
  }

  struct TRecordSpec {
    const char* name = "";
    int32_t nameIsUser = 1;
    int32_t picture = 0;
    int32_t panelView = kViewNone;
    int32_t stateWords = 0;
    int32_t startsMono = 0;
    int32_t monoSwitchable = 1;
    int32_t helpIsUser = 0;
    int32_t audioInputs = -1;  // -1: one past the highest audio input
    int32_t inKindAudio = kAudioPoly, inKindEvent = kEventPoly;
    int32_t outKindAudio = kAudioPoly, outKindEvent = kEventPoly;
    const char* help = "";
  };

  KModulDef* Make(const TRecordSpec& s, const std::vector<PIn>& ins,
                  const std::vector<POut>& outs) {
    KModulDef& d = defs_.emplace_back();
    d.name = s.name;
    d.nameIsUser = s.nameIsUser;
    d.picture = s.picture;
    d.panelView = s.panelView;
    d.stateWords = s.stateWords;
    d.startsMono = s.startsMono;
    d.monoSwitchable = s.monoSwitchable;
    d.portsApply = 1;
    d.helpIsUser = s.helpIsUser;
    d.help = s.help;

    int32_t highestAudio = -1;
    std::vector<KPortDef>& inEntries = entries_.emplace_back();
    for (const PIn& p : ins) {
      const TRange& r = kRanges[p.range];
      KPortDef e{};
      e.label = p.label;
      e.kind = p.event ? s.inKindEvent : s.inKindAudio;
      e.index = p.index;
      e.longName = p.longName;
      e.minimum = r.minimum;
      e.maximum = r.maximum;
      e.step = r.step;
      e.defaultValue = r.defaultValue;
      e.valueClass = r.valueClass;
      e.help = p.longName;
      if (!p.event) highestAudio = std::max(highestAudio, p.index);
      inEntries.push_back(e);
    }
    d.inPorts = Table(inEntries, true);

    int32_t eventOutputs = 0;
    std::vector<KPortDef>& outEntries = entries_.emplace_back();
    for (const POut& p : outs) {
      KPortDef e{};
      e.label = p.label;
      e.kind = p.event ? s.outKindEvent : s.outKindAudio;
      e.index = p.index;
      e.help = OutHelp(p.label);
      // Switches and terminals have no processing state and no event slots.
      if (p.event && p.index >= 0) ++eventOutputs;
      outEntries.push_back(e);
    }
    d.outPorts = Table(outEntries, false);
    d.eventOutputs = eventOutputs;
    d.audioInputs = s.audioInputs >= 0 ? s.audioInputs : highestAudio + 1;
    return &d;
  }

  // An ordinary (category 0) type.
  void Mod(TModuleType type, const char* name, int32_t words, const std::vector<PIn>& ins,
           const std::vector<POut>& outs, const char* help, int32_t audioInputs = -1) {
    TRecordSpec s;
    s.name = name;
    s.nameIsUser = NameIsSymbol(name) ? 0 : 1;
    s.picture = ModulePicture(type);
    s.panelView = ModulePanelView(type);
    s.stateWords = words;
    s.startsMono = ModuleStartsMono(type) ? 1 : 0;
    s.monoSwitchable = (s.startsMono || HasMonoOutput(type)) ? 0 : 1;
    s.helpIsUser = ModuleHelpIsUser(type) ? 1 : 0;
    s.audioInputs = audioInputs;
    SetKinds(s);
    if (HasMonoOutput(type)) {
      s.outKindAudio = kAudioMono;
      s.outKindEvent = kEventMono;
    }
    s.help = help;
    KModulDef* d = Make(s, ins, outs);
    if (type == kTypeTestModule) {  // the test module's output is the user's to name and describe
      KPortDef& out = d->outPorts->entries[0];
      out.labelIsUser = 1;
      out.helpIsUser = 1;
    }
    c_.module[type.type] = d;
  }

  // A panel, MIDI or clock source (category 1).
  void Src(TModuleType type, const char* name, int32_t words, const char* help) {
    TRecordSpec s;
    s.name = name;
    s.stateWords = words;
    s.startsMono = SourceStartsMono(type) ? 1 : 0;
    s.monoSwitchable = s.startsMono ? 0 : 1;
    s.panelView = type == kTypeFader ? kViewFader : type == kTypeButton ? kViewButton : kViewNone;
    s.helpIsUser = (type == kTypeFader || type == kTypeButton) ? 1 : 0;
    if (type == kTypeSpread) {
      s.nameIsUser = 0;
      s.monoSwitchable = 0;
    }
    SetKinds(s);
    s.help = help;
    std::vector<PIn> ins;
    if (type == kTypeSpread) ins.push_back(E("Spread", evSpread, "Spread", rUnit));
    KModulDef* d = Make(s, ins, {OE("", EventOut::kOut)});
    d->outPorts->entries[0].help = "Output for the control value.";
    c_.source[type.type] = d;
  }

  // A switch (category 7): the user names its inputs; no routine reads them.
  void Switch(TModuleType type, const char* name, bool event, std::vector<const char*> inputs,
              std::vector<const char*> outputs) {
    TRecordSpec s;
    s.name = name;
    s.picture = 8099;
    s.panelView = kViewSwitch;
    s.monoSwitchable = 0;
    s.helpIsUser = 1;
    s.help = event ? "Passes one of its event inputs to its output."
                   : "Passes one of its audio inputs to its output.";
    std::vector<PIn> ins;
    for (const char* label : inputs) ins.push_back({label, event, kPlaced, label, rSignal});
    std::vector<POut> outs;
    for (const char* label : outputs) outs.push_back({label, event, kPlaced});
    KModulDef* d = Make(s, ins, outs);
    for (int32_t i = 0; i < d->inPorts->count; ++i) d->inPorts->entries[i].labelIsUser = 1;
    c_.switches[type.type] = d;
  }

  TCatalogue& Target() { return c_; }

  static void SetKinds(TRecordSpec& s) {
    const bool mono = s.startsMono != 0;
    s.inKindAudio = s.outKindAudio = mono ? kAudioMono : kAudioPoly;
    s.inKindEvent = s.outKindEvent = mono ? kEventMono : kEventPoly;
  }

private:
  const char* OutHelp(const char* label) {
    return *label ? texts_.emplace_back(std::string("Output ") + label + ".").c_str() : "Output.";
  }

  KPortTable* Table(std::vector<KPortDef>& entries, bool in) {
    if (entries.empty()) return in ? emptyIn_ : emptyOut_;
    return &tables_.emplace_back(KPortTable{int32_t(entries.size()), entries.data()});
  }

  TCatalogue& c_;
  std::deque<KModulDef> defs_;
  std::deque<KPortTable> tables_;
  std::deque<std::vector<KPortDef>> entries_;
  std::deque<std::string> texts_;
  KPortTable* emptyIn_;
  KPortTable* emptyOut_;
};

#define W(Type, field) QV_WORD_AT(Type, field)
#define N(Type) QV_WORDS_OF(Type)

const char* const kAddNames[8] = {"Add 1", "Add 2", "Add 3", "Add 4",
                                  "Add 5", "Add 6", "Add 7", "Add 8"};
const char* const kMultNames[6] = {"Mult 1", "Mult 2", "Mult 3", "Mult 4", "Mult 5", "Mult 6"};

// Unlabelled operands: audio inputs at pointers 0..n-1 or events with
// consecutive ids.
std::vector<PIn> Operands(const char* const* names, int32_t count, bool event, int32_t firstId) {
  std::vector<PIn> ins;
  for (int32_t k = 0; k < count; ++k)
    ins.push_back(event ? E("", firstId + k, names[k], rSignal)
                        : A("", AudioOperandsIn::kFirst + k, names[k]));
  return ins;
}

void AddArithmetic(TBuilder& b) {
  const int32_t out = W(OutState, out);
  struct TOperation {
    TModuleType type;
    bool event;
    int32_t count;
    const char* help;
  };
  const TOperation sums[] = {{kTypeAudioSum2, false, 2, "Sum of two audio signals."},
                             {kTypeAudioSum3, false, 3, "Sum of three audio signals."},
                             {kTypeAudioSum4, false, 4, "Sum of four audio signals."},
                             {kTypeAudioSum6, false, 6, "Sum of six audio signals."},
                             {kTypeAudioSum8, false, 8, "Sum of eight audio signals."},
                             {kTypeEventSum2, true, 2, "Sum of two event values."},
                             {kTypeEventSum3, true, 3, "Sum of three event values."},
                             {kTypeEventSum4, true, 4, "Sum of four event values."},
                             {kTypeEventSum6, true, 6, "Sum of six event values."}};
  for (const TOperation& o : sums)
    b.Mod(o.type, "+", o.event ? N(EventSumState) : N(OutState),
          Operands(kAddNames, o.count, o.event, evAdd1), {o.event ? OE("", EventOut::kOut) : OA("", out)},
          o.help);
  const TOperation products[] = {
      {kTypeAudioProduct2, false, 2, "Product of two audio signals."},
      {kTypeAudioProduct3, false, 3, "Product of three audio signals."},
      {kTypeAudioProduct4, false, 4, "Product of four audio signals."},
      {kTypeAudioProduct6, false, 6, "Product of six audio signals."},
      {kTypeEventProduct2, true, 2, "Product of two event values."},
      {kTypeEventProduct3, true, 3, "Product of three event values."},
      {kTypeEventProduct4, true, 4, "Product of four event values."}};
  for (const TOperation& o : products)
    b.Mod(o.type, "X", o.event ? N(EventProductState) : N(OutState),
          Operands(kMultNames, o.count, o.event, evMult1), {o.event ? OE("", EventOut::kOut) : OA("", out)},
          o.help);
  b.Mod(kTypeAudioInvert, "-1", N(OutState), {A("", AudioInvertIn::kIn, "Invert")},
        {OA("", out)}, "Inverts an audio signal.");
  b.Mod(kTypeEventInvert, "-1", N(OutState), {E("", evInvert, "Invert", rSignal)}, {OE("", EventOut::kOut)},
        "Inverts an event value.");
  b.Mod(kTypeEventProduct3, "X", N(EventProductState),
        {E("", evMult1, "Mult 1", rSignal), E("", evMult2, "Mult 2", rSignal),
         E("", evMult3, "Mult 3", rSignal)},
        {OE("", EventOut::kOut)}, "Product of three event values.");
  b.Mod(kTypeEventProduct2, "X", N(EventProductState),
        {E("", evMult1, "Mult 1", rSignal), E("", evMult2, "Mult 2", rSignal)}, {OE("", EventOut::kOut)},
        "Product of two event values.");
  b.Mod(kTypeEventProduct4, "X", N(EventProductState),
        {E("", evMult1, "Mult 1", rSignal), E("", evMult2, "Mult 2", rSignal),
         E("", evMult3, "Mult 3", rSignal), E("", evMult4, "Mult 4", rSignal)},
        {OE("", EventOut::kOut)}, "Product of four event values.");
  b.Mod(kTypeAudioReciprocal, "1/x", N(OutState), {A("", AudioReciprocalIn::kIn, "1/x In")},
        {OA("", out)}, "Reciprocal of an audio signal; 0 for a zero input.");
  b.Mod(kTypeAudioDivide, "/", N(OutState),
        {A("X", AudioDivideIn::kX, "Div X"), A("Y", AudioDivideIn::kY, "Div Y")},
        {OA("", out)}, "Quotient of two audio signals; 0 for a zero divisor.");
  b.Mod(kTypeEventReciprocal, "1/x", N(EventReciprocalState), {E("", evReciprocal, "1/x In", rSignal)},
        {OE("", EventOut::kOut)}, "Reciprocal of an event value; 0 for a zero input.");
  b.Mod(kTypeEventDivide, "/", N(EventDivideState),
        {E("X", evDivX, "Div X", rSignal), E("Y", evDivY, "Div Y", rSignal)}, {OE("", EventOut::kOut)},
        "Quotient of two event values; 0 for a zero divisor.");
}

const char* const kLevelLabels[8] = {"Lvl1", "Lvl2", "Lvl3", "Lvl4",
                                     "Lvl5", "Lvl6", "Lvl7", "Lvl8"};
const char* const kLevelNames[8] = {"Level 1", "Level 2", "Level 3", "Level 4",
                                    "Level 5", "Level 6", "Level 7", "Level 8"};
const char* const kInLabels[8] = {"In1", "In2", "In3", "In4", "In5", "In6", "In7", "In8"};
const char* const kInNames[8] = {"In 1", "In 2", "In 3", "In 4", "In 5", "In 6", "In 7", "In 8"};

// A mixer: one level event and one audio input per channel.
template <int Channels>
void Mixer(TBuilder& b, TModuleType type, const char* name, const char* help) {
  std::vector<PIn> ins;
  for (int32_t k = 0; k < Channels; ++k) {
    ins.push_back(E(kLevelLabels[k], evLevel1 + k, kLevelNames[k], rLevel));
    ins.push_back(A(kInLabels[k], MixerIn::kIn1 + k, kInNames[k]));
  }
  b.Mod(type, name, N(MixerState<Channels>), ins, {OA("Out", W(MixerState<Channels>, out))},
        help);
}

void AddMixers(TBuilder& b) {
  b.Mod(kTypeAmp, "Amp", N(AmpState), {E("Lvl", evLevel1, "Level", rLevel), A("In", AmpIn::kIn, "In")},
        {OA("Out", W(AmpState, out))}, "Amplifier with a level in decibels.");
  Mixer<2>(b, kTypeMixer2, "Mixer 2", "Mixes two audio signals.");
  Mixer<3>(b, kTypeMixer3, "Mixer 3", "Mixes three audio signals.");
  Mixer<4>(b, kTypeMixer4, "Mixer 4", "Mixes four audio signals.");
  Mixer<5>(b, kTypeMixer5, "Mixer 5", "Mixes five audio signals.");
  Mixer<6>(b, kTypeMixer6, "Mixer 6", "Mixes six audio signals.");
  Mixer<8>(b, kTypeMixer8, "Mixer 8", "Mixes eight audio signals.");
  b.Mod(kTypeCrossfade, "Crossfade", N(OutState),
        {A("X", CrossfadeIn::kFade, "X-Fade", rFade), A("In1", CrossfadeIn::kIn1, "In 1"),
         A("In2", CrossfadeIn::kIn2, "In 2")},
        {OA("Out", W(OutState, out))}, "Crossfades between two audio signals.");
  b.Mod(kTypeStereoPan, "Stereo Pan", N(StereoPanState),
        {A("Pan", StereoPanIn::kPan, "Pan", rPan), A("In", StereoPanIn::kIn, "In")},
        {OA("L", W(StereoPanState, left)), OA("R", W(StereoPanState, right))},
        "Pans an audio signal between two outputs.");
  b.Mod(kTypeStereoAmp, "Stereo Amp", N(StereoAmpState),
        {E("Lvl", evStereoLevel, "Level", rLevel), E("Pan", evStereoPan, "Pan", rPan),
         A("In", StereoAmpIn::kIn, "In")},
        {OA("L", W(StereoAmpState, left)), OA("R", W(StereoAmpState, right))},
        "Amplifier with level and pan.");
}

void AddOscillators(TBuilder& b) {
  const PIn pitchHz = E("P", evPitchHz, "Pitch", rPitch);
  const PIn pitchInc = E("P", evPitchInc2, "Pitch", rPitch);
  b.Mod(kTypeSawtooth, "Sawtooth", N(OscState), {pitchInc, A("A", OscIn::kAmpl, "Ampl", rAmpl)},
        {OA("Out", W(OscState, out))}, "Sawtooth oscillator.");
  b.Mod(kTypeSawFm, "Saw FM", N(OscState),
        {pitchHz, A("F", FmOscIn::kFreq, "Freq", rHz), A("A", FmOscIn::kAmpl, "Ampl", rAmpl)},
        {OA("Out", W(OscState, out))}, "Sawtooth oscillator with linear frequency input.");
  b.Mod(kTypeSawSync, "Saw Sync", N(OscSyncState),
        {pitchHz, A("F", SyncOscIn::kFreq, "Freq", rHz), A("A", SyncOscIn::kAmpl, "Ampl", rAmpl),
         A("Snc", SyncOscIn::kSync, "Sync"), A("Ph", SyncOscIn::kSyncPhase, "SncPhase")},
        {OA("Out", W(OscSyncState, out))}, "Sawtooth oscillator with sync input.");
  b.Mod(kTypeSawPulse, "Saw Pulse", N(SawPulseState),
        {pitchInc, A("A", SawPulseIn::kAmpl, "Ampl", rAmpl), A("Slp", SawPulseIn::kSlope, "Slope")},
        {OA("Out", W(SawPulseState, out))}, "Sawtooth pulse oscillator.");
  b.Mod(kTypeBiSaw, "Bi-Saw", N(OscState),
        {pitchInc, A("A", WidthOscIn::kAmpl, "Ampl", rAmpl), A("W", WidthOscIn::kWidth, "Width")},
        {OA("Out", W(OscState, out))}, "Sawtooth oscillator with variable width.");
  b.Mod(kTypeTriangle, "Triangle", N(TriangleState),
        {E("P", evPitchInc4, "Pitch", rPitch), A("A", OscIn::kAmpl, "Ampl", rAmpl)},
        {OA("Out", W(TriangleState, out))}, "Triangle oscillator.");
  b.Mod(kTypeTriFm, "Tri FM", N(TriangleState),
        {pitchHz, A("F", FmOscIn::kFreq, "Freq", rHz), A("A", FmOscIn::kAmpl, "Ampl", rAmpl)},
        {OA("Out", W(TriangleState, out))}, "Triangle oscillator with linear frequency input.");
  b.Mod(kTypeTriSync, "Tri Sync", N(OscSyncState),
        {pitchHz, A("F", SyncOscIn::kFreq, "Freq", rHz), A("A", SyncOscIn::kAmpl, "Ampl", rAmpl),
         A("Snc", SyncOscIn::kSync, "Sync"), A("Ph", SyncOscIn::kSyncPhase, "SncPhase")},
        {OA("Out", W(OscSyncState, out))}, "Triangle oscillator with sync input.");
  b.Mod(kTypeParabol, "Parabol", N(TriangleState),
        {E("P", evPitchInc4, "Pitch", rPitch), A("A", OscIn::kAmpl, "Ampl", rAmpl)},
        {OA("Out", W(TriangleState, out))}, "Parabolic oscillator.");
  b.Mod(kTypeParFm, "Par FM", N(TriangleState),
        {pitchHz, A("F", FmOscIn::kFreq, "Freq", rHz), A("A", FmOscIn::kAmpl, "Ampl", rAmpl)},
        {OA("Out", W(TriangleState, out))}, "Parabolic oscillator with linear frequency input.");
  b.Mod(kTypeParSync, "Par Sync", N(OscSyncState),
        {pitchHz, A("F", SyncOscIn::kFreq, "Freq", rHz), A("A", SyncOscIn::kAmpl, "Ampl", rAmpl),
         A("Snc", SyncOscIn::kSync, "Sync"), A("Ph", SyncOscIn::kSyncPhase, "SncPhase")},
        {OA("Out", W(OscSyncState, out))}, "Parabolic oscillator with sync input.");
  b.Mod(kTypeTriParSymm, "Tri/Par Symm", N(SymmOscState),
        {E("P", evPitchSymm, "Pitch", rPitch), A("A", OscIn::kAmpl, "Ampl", rAmpl),
         E("W", evSymmetry, "Symm", rPan)},
        {OA("Tri", W(SymmOscState, tri)), OA("Par", W(SymmOscState, par))},
        "Triangle and parabolic oscillator with variable symmetry.");
  b.Mod(kTypeParPwm, "Par PWM", N(ParPwmState),
        {pitchInc, A("A", OscIn::kAmpl, "Ampl", rAmpl), E("W", evPulseWidth, "P-Width", rPan)},
        {OA("Out", W(ParPwmState, out))}, "Parabolic oscillator with pulse-width control.");
  b.Mod(kTypeSine, "Sine", N(OscState),
        {E("P", evPitchSine, "Pitch", rPitch), A("A", OscIn::kAmpl, "Ampl", rAmpl)},
        {OA("Out", W(OscState, out))}, "Sine oscillator.");
  b.Mod(kTypeSineFm, "Sine FM", N(OscState),
        {pitchHz, A("A", SineFmIn::kAmpl, "Ampl", rAmpl), A("F", SineFmIn::kFreq, "Freq", rHz)},
        {OA("Out", W(OscState, out))}, "Sine oscillator with linear frequency input.");
  b.Mod(kTypeSineSync, "Sine Sync", N(OscSyncState),
        {pitchHz, A("A", SineSyncIn::kAmpl, "Ampl", rAmpl), A("F", SineSyncIn::kFreq, "Freq", rHz),
         A("Snc", SineSyncIn::kSync, "Sync"), A("Ph", SineSyncIn::kSyncPhase, "SncPhase")},
        {OA("Out", W(OscSyncState, out))}, "Sine oscillator with sync input.");
  b.Mod(kTypePulse, "Pulse", N(PulseState),
        {pitchInc, A("A", WidthOscIn::kAmpl, "Ampl", rAmpl), A("W", WidthOscIn::kWidth, "Width")},
        {OA("Out", W(PulseState, out))}, "Pulse oscillator.");
  b.Mod(kTypePulseFm, "Pulse FM", N(PulseState),
        {pitchHz, A("A", PulseFmIn::kAmpl, "Ampl", rAmpl), A("W", PulseFmIn::kWidth, "Width"),
         A("F", PulseFmIn::kFreq, "Freq", rHz)},
        {OA("Out", W(PulseState, out))}, "Pulse oscillator with linear frequency input.");
  b.Mod(kTypePulseSync, "Pulse Sync", N(PulseSyncState),
        {pitchHz, A("A", PulseSyncIn::kAmpl, "Ampl", rAmpl), A("W", PulseSyncIn::kWidth, "Width"),
         A("F", PulseSyncIn::kFreq, "Freq", rHz), A("Snc", PulseSyncIn::kSync, "Sync"),
         A("Ph", PulseSyncIn::kSyncPhase, "SncPhase")},
        {OA("Out", W(PulseSyncState, out))}, "Pulse oscillator with sync input.");
  b.Mod(kTypeBiPulse, "Bi-Pulse", N(OscState),
        {pitchInc, A("A", WidthOscIn::kAmpl, "Ampl", rAmpl), A("W", WidthOscIn::kWidth, "Width")},
        {OA("Out", W(OscState, out))}, "Bipolar pulse oscillator.");
  b.Mod(kTypePulseOneRamp, "Pulse 1-Ramp", N(OscState),
        {pitchHz, A("F", Pulse1RampIn::kFreq, "Freq", rHz), A("A", Pulse1RampIn::kAmpl, "Ampl", rAmpl),
         A("W", Pulse1RampIn::kWidth, "Width"), A("Slp", Pulse1RampIn::kSlope, "Slope")},
        {OA("Out", W(OscState, out))}, "Pulse oscillator with one ramp.");
  b.Mod(kTypePulseTwoRamp, "Pulse 2-Ramp", N(Pulse2RampState),
        {pitchHz, A("F", Pulse2RampIn::kFreq, "Freq", rHz), A("A", Pulse2RampIn::kAmpl, "Ampl", rAmpl),
         A("W", Pulse2RampIn::kWidth, "Width"), A("Up", Pulse2RampIn::kUp, "Up"),
         A("Dn", Pulse2RampIn::kDown, "Down")},
        {OA("Out", W(Pulse2RampState, out))}, "Pulse oscillator with two ramps.");
  b.Mod(kTypeImpulse, "Impulse", N(OscState), {pitchInc, A("A", OscIn::kAmpl, "Ampl", rAmpl)},
        {OA("Out", W(OscState, out))}, "Impulse train with zero average.");
  b.Mod(kTypeImpulseFm, "Impulse FM", N(OscState),
        {pitchHz, A("F", FmOscIn::kFreq, "Freq", rHz), A("A", FmOscIn::kAmpl, "Ampl", rAmpl)},
        {OA("Out", W(OscState, out))}, "Impulse train with linear frequency input.");
  b.Mod(kTypeImpulseSync, "Impulse Sync", N(OscSyncState),
        {pitchHz, A("F", SyncOscIn::kFreq, "Freq", rHz), A("A", SyncOscIn::kAmpl, "Ampl", rAmpl),
         A("Snc", SyncOscIn::kSync, "Sync"), A("Ph", SyncOscIn::kSyncPhase, "SncPhase")},
        {OA("Out", W(OscSyncState, out))}, "Impulse train with sync input.");
  b.Mod(kTypeNoise, "Noise", N(NoiseState), {A("A", OscIn::kAmpl, "Ampl", rAmpl)},
        {OA("Out", W(NoiseState, out))}, "Two-level noise.");
  b.Mod(kTypeRandom, "Random", N(RandomOscState), {pitchHz, A("A", OscIn::kAmpl, "Ampl", rAmpl)},
        {OA("Out", W(RandomOscState, out))}, "Random steps at the pitch frequency.");

  const int32_t stepOut = W(OscState, out);
  b.Mod(kTypeStep4, "4-Step", N(OscState),
        {pitchHz, A("A", StepOscIn::kAmpl, "Ampl", rAmpl), A("S1", StepOscIn::kStep1, "Step 1"),
         A("S2", StepOscIn::kStep1 + 1, "Step 2"), A("S3", StepOscIn::kStep1 + 2, "Step 3"),
         A("S4", StepOscIn::kStep1 + 3, "Step 4")},
        {OA("Out", stepOut)}, "Oscillator stepping through four levels.");
  b.Mod(kTypeStep5, "5-Step", N(OscState),
        {pitchHz, A("A", StepOscIn::kAmpl, "Ampl", rAmpl), A("S1", StepOscIn::kStep1, "Step 1"),
         A("S2", StepOscIn::kStep1 + 1, "Step 2"), A("S3", StepOscIn::kStep1 + 2, "Step 3"),
         A("S4", StepOscIn::kStep1 + 3, "Step 4"), A("S5", StepOscIn::kStep1 + 4, "Step 5")},
        {OA("Out", stepOut)}, "Oscillator stepping through five levels.");
  b.Mod(kTypeStep6, "6-Step", N(OscState),
        {pitchHz, A("A", StepOscIn::kAmpl, "Ampl", rAmpl), A("S1", StepOscIn::kStep1, "Step 1"),
         A("S2", StepOscIn::kStep1 + 1, "Step 2"), A("S3", StepOscIn::kStep1 + 2, "Step 3"),
         A("S4", StepOscIn::kStep1 + 3, "Step 4"), A("S5", StepOscIn::kStep1 + 4, "Step 5"),
         A("S6", StepOscIn::kStep1 + 5, "Step 6")},
        {OA("Out", stepOut)}, "Oscillator stepping through six levels.");
  b.Mod(kTypeStep8, "8-Step", N(OscState),
        {pitchHz, A("A", StepOscIn::kAmpl, "Ampl", rAmpl), A("S1", StepOscIn::kStep1, "Step 1"),
         A("S2", StepOscIn::kStep1 + 1, "Step 2"), A("S3", StepOscIn::kStep1 + 2, "Step 3"),
         A("S4", StepOscIn::kStep1 + 3, "Step 4"), A("S5", StepOscIn::kStep1 + 4, "Step 5"),
         A("S6", StepOscIn::kStep1 + 5, "Step 6"), A("S7", StepOscIn::kStep1 + 6, "Step 7"),
         A("S8", StepOscIn::kStep1 + 7, "Step 8")},
        {OA("Out", stepOut)}, "Oscillator stepping through eight levels.");

  b.Mod(kTypeRamp4, "4-Ramp", N(RampOscState<4>),
        {pitchHz, A("A", OscIn::kAmpl, "Ampl", rAmpl), E("S1", evRamp4Step1, "Step 1", rSignal),
         E("S2", evRampStep2, "Step 2", rSignal), E("S3", evRampStep3, "Step 3", rSignal),
         E("S4", evRamp4Step4, "Step 4", rSignal)},
        {OA("Out", W(RampOscState<4>, out))}, "Oscillator ramping through four levels.");
  b.Mod(kTypeRamp5, "5-Ramp", N(RampOscState<5>),
        {pitchHz, A("A", OscIn::kAmpl, "Ampl", rAmpl), E("S1", evRamp5Step1, "Step 1", rSignal),
         E("S2", evRampStep2, "Step 2", rSignal), E("S3", evRampStep3, "Step 3", rSignal),
         E("S4", evRampStep4, "Step 4", rSignal), E("S5", evRamp5Step5, "Step 5", rSignal)},
        {OA("Out", W(RampOscState<5>, out))}, "Oscillator ramping through five levels.");
  b.Mod(kTypeRamp6, "6-Ramp", N(RampOscState<6>),
        {pitchHz, A("A", OscIn::kAmpl, "Ampl", rAmpl), E("S1", evRamp6Step1, "Step 1", rSignal),
         E("S2", evRampStep2, "Step 2", rSignal), E("S3", evRampStep3, "Step 3", rSignal),
         E("S4", evRampStep4, "Step 4", rSignal), E("S5", evRampStep5, "Step 5", rSignal),
         E("S6", evRamp6Step6, "Step 6", rSignal)},
        {OA("Out", W(RampOscState<6>, out))}, "Oscillator ramping through six levels.");
  b.Mod(kTypeRamp8, "8-Ramp", N(RampOscState<8>),
        {pitchHz, A("A", OscIn::kAmpl, "Ampl", rAmpl), E("S1", evRamp8Step1, "Step 1", rSignal),
         E("S2", evRampStep2, "Step 2", rSignal), E("S3", evRampStep3, "Step 3", rSignal),
         E("S4", evRampStep4, "Step 4", rSignal), E("S5", evRampStep5, "Step 5", rSignal),
         E("S6", evRamp8Step6, "Step 6", rSignal), E("S7", evRamp8Step7, "Step 7", rSignal),
         E("S8", evRamp8Step8, "Step 8", rSignal)},
        {OA("Out", W(RampOscState<8>, out))}, "Oscillator ramping through eight levels.");
}

void AddSequencers(TBuilder& b) {
  static const char* const kStepNames[16] = {
      "Step 1", "Step 2",  "Step 3",  "Step 4",  "Step 5",  "Step 6",  "Step 7",  "Step 8",
      "Step 9", "Step 10", "Step 11", "Step 12", "Step 13", "Step 14", "Step 15", "Step 16"};
  static const char* const kStepLabels[16] = {"S1", "S2",  "S3",  "S4",  "S5",  "S6",
                                              "S7", "S8",  "S9",  "S10", "S11", "S12",
                                              "S13", "S14", "S15", "S16"};
  const TModuleType types[4] = {kTypeSequencer6, kTypeSequencer8, kTypeSequencer12,
                                kTypeSequencer16};
  const int32_t steps[4] = {6, 8, 12, 16};
  static const char* const kHelps[4] = {"Six-step sequencer.", "Eight-step sequencer.",
                                        "Twelve-step sequencer.", "Sixteen-step sequencer."};
  for (int k = 0; k < 4; ++k) {
    std::vector<PIn> ins = {A("C", SequencerIn::kClock, "Clock", rClock),
                            A("Rst", SequencerIn::kReset, "Reset", rReset),
                            A("GA", SequencerIn::kGateAmpl, "Gate Ampl", rAmpl)};
    for (int s = 0; s < steps[k]; ++s)
      ins.push_back(A(kStepLabels[s], SequencerIn::kStep1 + s, kStepNames[s]));
    b.Mod(types[k], "Sequencer", N(SequencerState), ins,
          {OE("Out", SequencerOut::kOut), OE("G", SequencerOut::kGate), OE("Stp", SequencerOut::kStep)},
          kHelps[k]);
  }
}

void AddEnvelopes(TBuilder& b) {
  const PIn gate = E("G", evGate, "Gate", rGate);
  const PIn kneeGate = E("G", evKneeGate, "Gate", rGate);
  const PIn attack = E("A", evAttack, "Attack", rTime);
  const PIn decay = E("D", evDecay, "Decay", rTime);
  const PIn decay1 = E("D1", evDecay1, "Decay 1", rTime);
  const PIn knee = E("B", evKnee, "B", rSustain);
  const PIn decay2 = E("D2", evDecay, "Decay 2", rTime);
  const PIn sustain = E("S", evSustain, "Sustain", rSustain);
  const PIn release = E("R", evRelease, "Release", rTime);
  const POut gateOut = OA("Out", W(GateEnvState, out));
  const POut kneeOut = OA("Out", W(KneeEnvState, out));
  const PIn trig = A("Trg", TriggeredEnvIn::kTrigger, "Trigger", rTrigger);
  const PIn ampl = A("A", TriggeredEnvIn::kAmpl, "Ampl", rAmpl);

  b.Mod(kTypeHoldEnv, "H - Env", N(HoldEnvState), {trig, ampl, E("H", evHoldTime, "Hold", rTime)},
        {OE("Out", EventOut::kOut)}, "Holds an event for a set time after each trigger.");
  b.Mod(kTypeHoldReleaseEnv, "HR - Env", N(HoldReleaseEnvState),
        {trig, ampl, E("H", evHoldTime, "Hold", rTime), release},
        {OA("Out", W(HoldReleaseEnvState, out))}, "Hold and release envelope.");
  b.Mod(kTypeDecayEnv, "D - Env", N(DecayEnvState), {trig, ampl, decay},
        {OA("Out", W(DecayEnvState, out))}, "Decay envelope.");
  b.Mod(kTypeAttackDecayEnv, "AD - Env", N(AttackDecayEnvState), {trig, ampl, attack, decay},
        {OA("Out", W(AttackDecayEnvState, out))}, "Attack and decay envelope.");
  b.Mod(kTypeAttackReleaseEnv, "AR - Env", N(GateEnvState), {gate, attack, release}, {gateOut},
        "Attack and release envelope.");
  b.Mod(kTypeDecayReleaseEnv, "DR - Env", N(GateEnvState), {gate, decay, release}, {gateOut},
        "Decay and release envelope.");
  b.Mod(kTypeDsrEnv, "DSR - Env", N(GateEnvState), {gate, decay, sustain, release}, {gateOut},
        "Decay, sustain and release envelope.");
  b.Mod(kTypeAdsrEnv, "ADSR - Env", N(GateEnvState), {gate, attack, decay, sustain, release}, {gateOut},
        "Attack, decay, sustain and release envelope.");
  b.Mod(kTypeAdrEnv, "ADR - Env", N(GateEnvState), {gate, attack, decay, release}, {gateOut},
        "Attack, decay and release envelope.");
  b.Mod(kTypeAdbdrEnv, "ADBDR - Env", N(KneeEnvState), {kneeGate, attack, decay1, knee, decay2, release},
        {kneeOut}, "Envelope with two decays around a breakpoint.");
  b.Mod(kTypeDbdrEnv, "DBDR - Env", N(KneeEnvState), {kneeGate, decay1, knee, decay2, release}, {kneeOut},
        "Envelope with two decays around a breakpoint, without attack.");
  b.Mod(kTypeAdbdsrEnv, "ADBDSR-Env", N(KneeEnvState),
        {kneeGate, attack, decay1, knee, decay2, sustain, release}, {kneeOut},
        "Envelope with two decays around a breakpoint and a sustain level.");
  b.Mod(kTypeDbdsrEnv, "DBDSR - Env", N(KneeEnvState), {kneeGate, decay1, knee, decay2, sustain, release},
        {kneeOut}, "Envelope with two decays and a sustain level, without attack.");

  const PIn rampGate = E("G", evRampEnvGate, "Gate", rGate);
  const PIn t1 = E("T1", evTime1, "Time 1", rTime), t2 = E("T2", evTime2, "Time 2", rTime);
  const PIn t3 = E("T3", evTime3, "Time 3", rTime), t4 = E("T4", evTime4, "Time 4", rTime);
  const PIn t5 = E("T5", evTime5, "Time 5", rTime);
  const PIn l1 = E("L1", evRampLevel1, "Level 1", rUnit);
  const PIn l2 = E("L2", evRampLevel2, "Level 2", rUnit);
  const PIn relTime = E("RT", evReleaseTime, "RelTime", rTime);
  b.Mod(kTypeRamp4Env, "4-Ramp - Env", N(RampEnvState<3>),
        {rampGate, t1, l1, t2, l2, t3, E("SL", evRampLevel3, "SustLevel", rSustain), relTime},
        {OA("Out", W(RampEnvState<3>, level)), OE("St", EventOut::kOut)},
        "Envelope of three ramps, a sustain level and a release.");
  b.Mod(kTypeRamp5Env, "5-Ramp - Env", N(RampEnvState<4>),
        {rampGate, t1, l1, t2, l2, t3, E("L3", evRampLevel3, "Level 3", rUnit), t4,
         E("SL", evRampLevel4, "SustLevel", rSustain), relTime},
        {OA("Out", W(RampEnvState<4>, level)), OE("St", EventOut::kOut)},
        "Envelope of four ramps, a sustain level and a release.");
  b.Mod(kTypeRamp6Env, "6-Ramp - Env", N(RampEnvState<5>),
        {rampGate, t1, l1, t2, l2, t3, E("L3", evRampLevel3, "Level 3", rUnit), t4,
         E("L4", evRampLevel4, "Level 4", rUnit), t5,
         E("SL", evRampLevel5, "SustLevel", rSustain), relTime},
        {OA("Out", W(RampEnvState<5>, level)), OE("St", EventOut::kOut)},
        "Envelope of five ramps, a sustain level and a release.");
}

void AddFilters(TBuilder& b) {
  const PIn p = E("P", evPitchHz, "P Cutoff", rCutoff);
  const PIn f = A("F", FilterFmIn::kFreq, "F Cutoff", rFCutoff);
  const PIn fmIn = A("In", FilterFmIn::kIn, "In");
  const PIn in = A("In", FilterIn::kIn, "In");
  const PIn res = E("Res", evResonance, "Reson", rReson);
  const PIn gridP = E("P", evGridCutoff, "P Cutoff", rCutoff);
  const PIn gridRes = E("Res", evGridResonance, "Reson", rReson);

  b.Mod(kTypeOnePoleFilterFm, "1-Pole Filter", N(OnePoleState), {p, f, fmIn},
        {OA("HP", W(OnePoleState, hp)), OA("LP", W(OnePoleState, lp))},
        "One-pole high-pass and low-pass filter with linear cutoff input.");
  b.Mod(kTypeOnePoleFilter, "1-Pole Filter", N(OnePoleState),
        {E("P", evOnePoleCutoff, "P Cutoff", rCutoff), in},
        {OA("HP", W(OnePoleState, hp)), OA("LP", W(OnePoleState, lp))},
        "One-pole high-pass and low-pass filter.");
  b.Mod(kTypeTwoPoleFilterFm, "2-Pole Filter", N(SvfState), {p, f, res, fmIn},
        {OA("HP", W(SvfState, hp)), OA("BP", W(SvfState, bp)), OA("LP", W(SvfState, lp))},
        "Two-pole state-variable filter with linear cutoff input.");
  b.Mod(kTypeTwoPoleFilter, "2-Pole Filter", N(GridSvfState), {gridP, gridRes, in},
        {OA("HP", W(GridSvfState, hp)), OA("BP", W(GridSvfState, bp)),
         OA("LP", W(GridSvfState, lp))},
        "Two-pole state-variable filter.");
  b.Mod(kTypeTwoPoleNotchFm, "2-Pole Notch", N(NotchState), {p, f, res, fmIn},
        {OA("HP", W(NotchState, hp)), OA("BP", W(NotchState, bp)), OA("LP", W(NotchState, lp)),
         OA("N", W(NotchState, notch))},
        "Two-pole filter with notch output and linear cutoff input.");
  b.Mod(kTypeTwoPoleNotch, "2-Pole Notch", N(GridNotchState), {gridP, gridRes, in},
        {OA("HP", W(GridNotchState, svf.hp)), OA("BP", W(GridNotchState, svf.bp)),
         OA("LP", W(GridNotchState, svf.lp)), OA("N", W(GridNotchState, notch))},
        "Two-pole filter with notch output.");
  const std::vector<POut> svf4Low = {
      OA("HP2", W(Svf4State, hp2)),      OA("BP2", W(Svf4State, bp2)),
      OA("LP2", W(Svf4State, lp2)),      OA("BP4", W(Svf4State, secondHp)),
      OA("BL4", W(Svf4State, secondBp)), OA("LP4", W(Svf4State, secondLp))};
  const std::vector<POut> svf4High = {
      OA("HP2", W(Svf4State, hp2)),      OA("BP2", W(Svf4State, bp2)),
      OA("LP2", W(Svf4State, lp2)),      OA("HP4", W(Svf4State, secondHp)),
      OA("BH4", W(Svf4State, secondBp)), OA("BP4", W(Svf4State, secondLp))};
  const std::vector<POut> gridSvf4Low = {
      OA("HP2", W(GridSvf4State, first.hp)),  OA("BP2", W(GridSvf4State, first.bp)),
      OA("LP2", W(GridSvf4State, first.lp)),  OA("BP4", W(GridSvf4State, secondHp)),
      OA("BL4", W(GridSvf4State, secondBp)), OA("LP4", W(GridSvf4State, secondLp))};
  const std::vector<POut> gridSvf4High = {
      OA("HP2", W(GridSvf4State, first.hp)),  OA("BP2", W(GridSvf4State, first.bp)),
      OA("LP2", W(GridSvf4State, first.lp)),  OA("HP4", W(GridSvf4State, secondHp)),
      OA("BH4", W(GridSvf4State, secondBp)), OA("BP4", W(GridSvf4State, secondLp))};
  b.Mod(kTypeFourPoleFilterFm, "4-Pole Filter", N(Svf4State), {p, f, res, fmIn}, svf4Low,
        "Four-pole low-pass filter with linear cutoff input.");
  b.Mod(kTypeFourPoleFilter, "4-Pole Filter", N(GridSvf4State), {gridP, gridRes, in}, gridSvf4Low,
        "Four-pole low-pass filter.");
  b.Mod(kTypeFourPoleHighPassFm, "4-Pole HP", N(Svf4State), {p, f, res, fmIn}, svf4High,
        "Four-pole high-pass filter with linear cutoff input.");
  b.Mod(kTypeFourPoleHighPass, "4-Pole HP", N(GridSvf4State), {gridP, gridRes, in}, gridSvf4High,
        "Four-pole high-pass filter.");
  b.Mod(kTypePeakEqFm, "Peak EQ", N(PeakEqState), {p, f, res, E("Bst", evPeakBoost, "Boost", rBoost), fmIn},
        {OA("Out", W(PeakEqState, out))}, "Peak equaliser with linear frequency input.");
  b.Mod(kTypePeakEq, "Peak EQ", N(GridPeakEqState),
        {gridP, gridRes, E("Bst", evPeakBoost, "Boost", rBoost), in},
        {OA("Out", W(GridPeakEqState, out))}, "Peak equaliser.");
  b.Mod(kTypeHiShelfEqFm, "Hi Shelf EQ", N(HiShelfState), {p, f, E("Bst", evHiShelfBoost, "Boost", rBoost), fmIn},
        {OA("Out", W(HiShelfState, out))}, "High shelving equaliser with linear frequency input.");
  b.Mod(kTypeHiShelfEq, "Hi Shelf EQ", N(HiShelfState),
        {E("P", evShelfCutoff, "P Cutoff", rCutoff), E("Bst", evHiShelfBoost, "Boost", rBoost),
         in},
        {OA("Out", W(HiShelfState, out))}, "High shelving equaliser.");
  b.Mod(kTypeLoShelfEqFm, "Lo Shelf EQ", N(LoShelfState), {p, f, E("Bst", evLoShelfBoost, "Boost", rBoost), fmIn},
        {OA("Out", W(LoShelfState, out))}, "Low shelving equaliser with linear frequency input.");
  b.Mod(kTypeLoShelfEq, "Lo Shelf EQ", N(LoShelfState),
        {E("P", evShelfCutoff, "P Cutoff", rCutoff), E("Bst", evLoShelfBoost, "Boost", rBoost),
         in},
        {OA("Out", W(LoShelfState, out))}, "Low shelving equaliser.");
  b.Mod(kTypeDifferentiator, "Differentiator", N(DifferentiatorState), {A("In", DifferentiatorIn::kIn, "In")},
        {OA("Out", W(DifferentiatorState, out))}, "Change of the input per millisecond.");
  b.Mod(kTypeIntegrator, "Integrator", N(OutState),
        {E("Set", evIntegratorSet, "Set", rSignal), A("In", IntegratorIn::kIn, "In")},
        {OA("Out", W(OutState, out))}, "Sum of the input over time, in units per millisecond.");
}

void AddShapers(TBuilder& b) {
  const POut out = OA("Out", W(OutState, out));
  b.Mod(kTypeSaturator, "Saturator", N(OutState), {A("In", SaturatorIn::kIn, "In")},
        {out}, "Soft saturation.");
  b.Mod(kTypeClipper, "Clipper", N(OutState),
        {A("In", ClipperIn::kIn, "In"), A("Max", ClipperIn::kMax, "Max"), A("Min", ClipperIn::kMin, "Min")},
        {out}, "Clips the input to a range.");
  b.Mod(kTypeModClipper, "Mod. Clipper", N(OutState),
        {A("M", ModClipperIn::kMod, "Mod"), A("In", ModClipperIn::kIn, "In")},
        {out}, "Clips the input to a range set by a signal.");
  b.Mod(kTypeMirror1, "Mirror 1", N(OutState),
        {A("In", Mirror1In::kIn, "In"), A("Max", Mirror1In::kMax, "Max")},
        {out}, "Mirrors the input at an upper level.");
  b.Mod(kTypeMirror2, "Mirror 2", N(OutState),
        {A("In", Mirror2In::kIn, "In"), A("Max", Mirror2In::kMax, "Max"), A("Min", Mirror2In::kMin, "Min")},
        {out}, "Mirrors the input at an upper and a lower level.");
  b.Mod(kTypeChopper, "Chopper", N(OutState),
        {A("M", ChopperIn::kMod, "Mod"), A("In", ChopperIn::kIn, "In"), A("X", ChopperIn::kFactor, "X")},
        {out}, "Multiplies the input while the control is high.");
  b.Mod(kTypeShaper1Bp, "Shaper 1 BP", N(OutState),
        {A("In", Shaper1BpIn::kIn, "In"), A("Bp", Shaper1BpIn::kBreakpoint, "Breakpoint"),
         A("Sl", Shaper1BpIn::kSlope, "Slope")}, {out}, "Shaper with one breakpoint.");
  b.Mod(kTypeShaper2Bp, "Shaper 2 BP", N(OutState),
        {A("In", Shaper2BpIn::kIn, "In"), A("Bp1", Shaper2BpIn::kBreakpoint1, "Breakpoint 1"),
         A("Sl1", Shaper2BpIn::kSlope1, "Slope 1"), A("Bp2", Shaper2BpIn::kBreakpoint2, "Breakpoint 2"),
         A("Sl2", Shaper2BpIn::kSlope2, "Slope 2")}, {out}, "Shaper with two breakpoints.");
  b.Mod(kTypeShaper3Bp, "Shaper 3 BP", N(OutState),
        {A("In", Shaper3BpIn::kIn, "In"), A("Bp1", Shaper3BpIn::kBreakpoint1, "Breakpoint 1"),
         A("Sl1", Shaper3BpIn::kSlope1, "Slope 1"), A("Bp2", Shaper3BpIn::kBreakpoint2, "Breakpoint 2"),
         A("SL2", Shaper3BpIn::kSlope2, "Slope 2"), A("Sl+", Shaper3BpIn::kSlopePositive, "Slope +"),
         A("Sl-", Shaper3BpIn::kSlopeNegative, "Slope -")},
        {out}, "Shaper with two breakpoints and separate slopes for each sign.");
  b.Mod(kTypeParabolShaper, "Parabol Shp", N(OutState),
        {A("In", ParabolShaperIn::kIn, "In"), A("Lin", ParabolShaperIn::kLinear, "Linear"),
         A("Par", ParabolShaperIn::kParabolic, "Parabolic")}, {out}, "Parabolic shaper.");
  b.Mod(kTypeCubicShaper, "Cubic Shp", N(OutState),
        {A("In", CubicShaperIn::kIn, "In"), A("Lin", CubicShaperIn::kLinear, "Linear"),
         A("Par", CubicShaperIn::kParabolic, "Parabolic"), A("Cub", CubicShaperIn::kCubic, "Cubic")},
        {out}, "Cubic shaper.");
  b.Mod(kTypeEventShaper3, "Ctrl. Shp 1", N(OutState),
        {A("0", EventShaperIn::kPoint0, "Point 0"), A("50", EventShaperIn::kPoint0 + 1, "Point 50"),
         A("100", EventShaperIn::kPoint0 + 2, "Point 100"), E("In", evCtrlShaper1, "In", rUnit)},
        {OE("Out", EventOut::kOut)}, "Shapes event values through three points.");
  b.Mod(kTypeEventShaper4, "Ctrl. Shp 2", N(OutState),
        {A("0", EventShaperIn::kPoint0, "Point 0"), A("33", EventShaperIn::kPoint0 + 1, "Point 33"),
         A("66", EventShaperIn::kPoint0 + 2, "Point 66"),
         A("100", EventShaperIn::kPoint0 + 3, "Point 100"), E("In", evCtrlShaper2, "In", rUnit)},
        {OE("Out", EventOut::kOut)}, "Shapes event values through four points.");
  b.Mod(kTypeEventShaper5, "Ctr. Shp 3", N(OutState),
        {A("0", EventShaperIn::kPoint0, "Point 0"), A("25", EventShaperIn::kPoint0 + 1, "Point 25"),
         A("50", EventShaperIn::kPoint0 + 2, "Point 50"),
         A("75", EventShaperIn::kPoint0 + 3, "Point 75"), A("100", EventShaperIn::kPoint0 + 4, "Point 100"),
         E("In", evCtrlShaper3, "In", rUnit)},
        {OE("Out", EventOut::kOut)}, "Shapes event values through five points.");
  b.Mod(kTypeRectifier, "Rectifier", N(RectifierState), {A("In", RectifierIn::kIn, "In")},
        {OA("Out", W(RectifierState, out)), OA("Sign", W(RectifierState, sign))},
        "Absolute value and sign of the input.");
  b.Mod(kTypePeakDetector, "Peak Detect.", N(PeakDetectState),
        {E("Rel", evDecay, "Release", rTime), A("In", PeakDetectIn::kIn, "In")},
        {OA("Out", W(PeakDetectState, out))}, "Follows the peaks of the input.");
  b.Mod(kTypeQuantizer, "Quantizer", N(QuantizerState),
        {A("In", AudioQuantizerIn::kIn, "In"), A("St", AudioQuantizerIn::kStep, "Step")},
        {OA("Out", W(QuantizerState, out)), OA("Err", W(QuantizerState, error))},
        "Rounds the input to multiples of a step.");
  b.Mod(kTypeSlewLimiter, "Slew Limiter", N(OutState),
        {A("In", SlewLimiterIn::kIn, "In"), A("Up", SlewLimiterIn::kUp, "Up"),
         A("Dn", SlewLimiterIn::kDown, "Down")}, {out}, "Limits how fast the input may rise and fall.");
  b.Mod(kTypeFreqDivider, "Freq. Divider", N(FreqDividerState),
        {A("In", AudioFreqDividerIn::kIn, "In"), A("C+", AudioFreqDividerIn::kCountUp, "Count +"),
         A("C-", AudioFreqDividerIn::kCountDown, "Count -"),
         A("A", AudioFreqDividerIn::kAmpl, "Ampl", rAmpl)},
        {OA("Out", W(FreqDividerState, out))}, "Divides the frequency of the input.");
  b.Mod(kTypeSampleHold, "Sample & H.", N(SampleHoldState),
        {A("C", SampleHoldIn::kClock, "Clock", rClock), A("In", SampleHoldIn::kIn, "In")},
        {OA("Out", W(SampleHoldState, out))}, "Samples the input on each clock edge.");
  b.Mod(kTypeRelay1, "Relay 1", N(OutState),
        {A("Ctrl", Relay1In::kControl, "Control", rGate), A("In", Relay1In::kIn, "In")},
        {out}, "Passes the input while the control is high.");
  b.Mod(kTypeRelay2, "Relay 2", N(OutState),
        {A("Ctrl", Relay2In::kControl, "Control", rGate), A("In1", Relay2In::kIn1, "In 1"),
         A("In2", Relay2In::kIn2, "In 2")}, {out}, "Passes one of two inputs by the control.");
  b.Mod(kTypeAudioPitchToHz, "Exp", N(OutState), {A("P", AudioPitchToHzIn::kPitch, "Pitch", rPitch)},
        {OA("F", W(OutState, out))}, "Frequency in Hz of a pitch signal.");
  b.Mod(kTypeAudioLevelToGain, "Exp", N(OutState), {A("Lvl", AudioLevelToGainIn::kLevel, "Level", rLevel)},
        {OA("A", W(OutState, out))}, "Amplitude of a level signal in decibels.");
  b.Mod(kTypeAudioVoiceCombiner, "}", N(OutState), {A("In", VoiceCombinerIn::kIn, "In")},
        {OA("Out", W(OutState, out))}, "Sum of all voices of the input.");
  b.Mod(kTypeUnitDelay, "T", N(UnitDelayState), {A("In", UnitDelayIn::kIn, "In")},
        {OA("Out", W(UnitDelayState, previous))}, "Delays the input by one sample.");
  b.Mod(kTypeTestModule, "Test Mod", N(TestModState), {},
        {OA("Out", W(TestModState, out))}, "Test module.", TestModIn::kCount);
}

void AddEventModules(TBuilder& b) {
  const POut out = OE("Out", EventOut::kOut);
  b.Mod(kTypeEventDelay, "Event Delay", N(EventDelayState),
        {A("Dly", EventDelayIn::kDelay, "Delay", rMs), E("In", evEventDelayIn, "In", rSignal)}, {out},
        "Delays the latest event by a time in milliseconds.");
  b.Mod(kTypeRandomize, "Randomize", N(RandomizeState),
        {A("Rng", RandomizeIn::kRange, "Range", rUnit), E("In", evRandomize, "In", rSignal)}, {out},
        "Adds a random deviation to each event.");
  b.Mod(kTypeEventVoiceCombiner, "}", N(OutState), {E("In", evCombine, "In", rSignal)}, {out},
        "Merges the events of all voices.");
  b.Mod(kTypeSelectMax, "Select Max", N(SelectState),
        {E("In", evSelectMaxIn, "In", rSignal), E("G", evSelectMaxGate, "Gate", rGate)}, {out},
        "Largest value among the voices whose gate is on.");
  b.Mod(kTypeSelectMin, "Select Min", N(SelectState),
        {E("In", evSelectMinIn, "In", rSignal), E("G", evSelectMinGate, "Gate", rGate)}, {out},
        "Smallest value among the voices whose gate is on.");
  b.Mod(kTypeChangesOnly, ">>", N(OutState), {E("In", evChangesOnly, "In", rSignal)}, {out},
        "Passes an event only when its value changes.");
  b.Mod(kTypeEventLevelToGain, "Exp", N(OutState), {E("Lvl", evLevelToGain, "Level", rLevel)},
        {OE("A", EventOut::kOut)},
        "Amplitude of a level event in decibels.");
  b.Mod(kTypeEventPitchToHz, "Exp", N(OutState), {E("P", evPitchToHz, "Pitch", rPitch)},
        {OE("F", EventOut::kOut)},
        "Frequency in Hz of a pitch event.");
  b.Mod(kTypeEventGainToLevel, "Log", N(OutState), {E("A", evGainToLevel, "Ampl", rAmpl)},
        {OE("Lvl", EventOut::kOut)},
        "Level in decibels of an amplitude event.");
  b.Mod(kTypeEventHzToPitch, "Log", N(OutState), {E("F", evHzToPitch, "Freq", rHz)},
        {OE("P", EventOut::kOut)},
        "Pitch of a frequency event in Hz.");
  b.Mod(kTypeAudioToEventTrigger, "A to E Trig", N(EdgeEventState),
        {A("C", AudioToEventTrigIn::kClock, "Clock", rClock), A("In", AudioToEventTrigIn::kIn, "In")},
        {out}, "Sends the input as an event on each clock edge.");
  b.Mod(kTypeAudioToEventPeriodic, "A to E Perm", N(SampledEventState),
        {A("F", AudioToEventPermIn::kFreq, "Freq", rHz), A("In", AudioToEventPermIn::kIn, "In")},
        {out}, "Sends the input as an event at a set rate.");
  b.Mod(kTypeAudioToGate, "A to Gate", N(EdgeEventState),
        {A("T", AudioToGateIn::kTrigger, "Trigger", rTrigger), A("A", AudioToGateIn::kAmpl, "Ampl", rAmpl)},
        {out}, "Turns a trigger signal into gate events.");
  b.Mod(kTypeAudioToEvent, "A/E", N(OutState), {A("In", AudioToEventIn::kIn, "In")}, {out},
        "Sends the input as an event every control period.");
  b.Mod(kTypeEventFreqDivider, "Freq. Divider", N(EventDividerState),
        {A("N", EventFreqDividerIn::kDivisor, "Div by", rCount),
         A("W", EventFreqDividerIn::kWidth, "Width", rUnit),
         E("In", evDividerIn, "Div In", rGate), E("Rst", evDividerReset, "Div Rst", rReset)},
        {out}, "Passes every n-th positive event.");
  b.Mod(kTypeEventQuantizer, "Quantizer", N(QuantizerState),
        {A("Ofs", EventQuantizerIn::kOffset, "Offset"), A("St", EventQuantizerIn::kStep, "Step"),
         E("In", evQuantize, "Quant.In", rSignal)},
        {OE("Out", EventQuantizerOut::kOut), OE("Err", EventQuantizerOut::kError)},
        "Rounds event values to multiples of a step.");
  b.Mod(kTypeTimer, "Timer", N(TimerState), {E("In", evTimer, "Timer In", rTrigger)},
        {OE("T", TimerOut::kTime), OE("F", TimerOut::kFreq)}, "Time and frequency between positive events.");
  b.Mod(kTypeRouter1, "Router 1", N(OutState),
        {A("Ctrl", RouterIn::kControl, "Control", rGate), E("In", evRouterIn1, "In", rSignal)},
        {out}, "Passes events while the control is high.");
  b.Mod(kTypeRouter2, "Router 2", N(OutState),
        {A("Ctrl", RouterIn::kControl, "Control", rGate), E("In1", evRouterIn1, "In 1", rSignal),
         E("In2", evRouterIn2, "In 2", rSignal)},
        {out}, "Passes the events of one of two inputs by the control.");
  b.Mod(kTypeSeparator, "Separator", N(SeparatorState),
        {A("Thld", SeparatorIn::kThreshold, "Threshold"), E("In", evSeparator, "In", rSignal)},
        {OE("Lo", SeparatorOut::kLow), OE("Hi", SeparatorOut::kHigh)},
        "Sends events below and above a threshold apart.");
  b.Mod(kTypeValue, "Value", N(OutState), {E("In", evValue, "In", rTrigger), A("Val", ValueIn::kValue, "Value")},
        {out}, "Sends the value input on each event.");
  b.Mod(kTypeAccumulator, "Accumulator", N(OutState),
        {E("In", evAccumulate, "In", rSignal), E("Set", evAccumulatorSet, "Set", rSignal)}, {out},
        "Sum of all events received.");
  b.Mod(kTypeCounter, "Counter", N(OutState),
        {E("Up", evCountUp, "Up", rTrigger), E("Dn", evCountDown, "Down", rTrigger),
         E("Set", evCounterSet, "Set", rSignal)},
        {out}, "Counts events up and down.");
  b.Mod(kTypeAnd, "And", N(LogicState),
        {E("A", evAndA, "A", rGate), E("B", evAndB, "B", rGate)},
        {OE("Out", LogicOut::kOut), OE("Not", LogicOut::kNot)}, "Logical and of two events.");
  b.Mod(kTypeOr, "Or", N(LogicState), {E("A", evOrA, "A", rGate), E("B", evOrB, "B", rGate)},
        {OE("Out", LogicOut::kOut), OE("Not", LogicOut::kNot)}, "Logical or of two events.");
  b.Mod(kTypeExor, "Exor", N(LogicState), {E("A", evExorA, "A", rGate), E("B", evExorB, "B", rGate)},
        {OE("Out", LogicOut::kOut), OE("Not", LogicOut::kNot)}, "Logical exclusive or of two events.");
  b.Mod(kTypeNot, "Not", N(NotState), {E("In", evNot, "In", rGate)},
        {OE("Out", LogicOut::kOut), OE("Not", LogicOut::kNot)},
        "Logical inverse of an event.");
  b.Mod(kTypeHold, "Hold", N(HoldState), {E("G", evHoldGate, "Gate", rGate), A("H", HoldIn::kHold, "Hold", rMs)},
        {out}, "Holds a positive event for a time in milliseconds.");
  b.Mod(kTypeLfo, "LFO", N(LfoState),
        {A("F", LfoIn::kFreq, "Freq", rHz), A("A", LfoIn::kAmpl, "Ampl", rAmpl),
         A("W", LfoIn::kWidth, "Width"), A("Snc", LfoIn::kSync, "Sync", rSync),
         A("Ph", LfoIn::kSyncPhase, "SncPhase")},
        {OE("Sin", LfoOut::kSine), OE("Tri", LfoOut::kTriangle), OE("Pls", LfoOut::kPulse)},
        "Low-frequency oscillator sending events every control period.");
  b.Mod(kTypeSlowRandom, "Slow Random", N(SlowRandomState),
        {A("F", SlowRandomIn::kFreq, "Freq", rHz), A("A", SlowRandomIn::kAmpl, "Ampl", rAmpl)},
        {out}, "Smoothed random events every control period.");
  b.Mod(kTypeClockOsc, "Clock Osc", N(ClockOscState),
        {E("F", evClockFreq, "Freq", rHz), A("W", ClockOscIn::kWidth, "Width"),
         E("Snc", evClockSync, "Sync", rSync), A("A", ClockOscIn::kAmpl, "Ampl", rAmpl)},
        {out}, "Clock pulses as events.");
  b.Mod(kTypeEventSmoother, "S", N(SmootherState), {E("In", evSmoother, "In", rSignal)},
        {OA("Out", W(SmootherState, out))}, "Turns events into a smooth audio signal.");
  b.Mod(kTypeAudioToEventSmoothed, "S", N(SmootherState),
        {A("In", AudioToEventSmoothedIn::kIn, "In")}, {out},
        "Smooths a signal into events every control period.");
  b.Mod(kTypeComment, "Comment", 0, {}, {}, "");
}

void AddDisplaysAndMidi(TBuilder& b) {
  b.Mod(kTypeLamp, "Lmp", N(LampState), {A("In", LampIn::kIn, "In")}, {},
        "Lamp that lights while the input lies in a range.");
  b.Mod(kTypeLampTwin, "Lmp", N(LampState), {A("In", LampIn::kIn, "In")}, {},
        "Lamp that lights while the input lies in a range.");
  b.Mod(kTypeLevelMeter, "Lvl", N(MeterState), {A("In", LevelIn::kLevel, "Level")}, {}, "Level meter.");
  b.Mod(kTypeLevelLamp, "Lvl", N(LevelLampState), {A("In", LevelIn::kLevel, "Level")},
        {}, "Lamp that lights while the level lies in a range.");
  b.Mod(kTypeMeter, "Mtr", N(MeterState), {A("In", MeterIn::kIn, "In")}, {}, "Meter showing the input.");
  b.Mod(kTypeMidiControllerOut, "Controller", 0, {E("Ctrl", evMidiController, "Ctrl", rUnit)}, {},
        "Sends MIDI controller messages.");
  b.Mod(kTypeMidiPolyPressureOut, "SelPolyAT", 0, {E("PAT", evMidiPolyPressure, "Sel.PolyAT", rUnit)}, {},
        "Sends MIDI poly aftertouch for one note.");
  b.Mod(kTypeMidiNoteOut, "Note", N(NoteOutState),
        {A("P", MidiNoteOutIn::kPitch, "Pitch", rPitch), E("G", evMidiNote, "Gate", rGate)}, {},
        "Sends MIDI notes.");
  b.Mod(kTypeMidiPitchBendOut, "Pitchbend", 0, {E("PB", evMidiPitchBend, "P-Bend", rPan)}, {},
        "Sends MIDI pitch bend.");
  b.Mod(kTypeMidiProgramChangeOut, "Prog. Ch.", 0, {E("Prg", evMidiProgram, "ProgChange", rUnit)}, {},
        "Sends MIDI program changes.");
  b.Mod(kTypeMidiChannelPressureOut, "Chan. AT", 0, {E("AT", evMidiChannelPressure, "ChannelAT", rUnit)}, {},
        "Sends MIDI channel aftertouch.");
}

// Types whose audio inputs and outputs sit at fixed places of their own
// layouts: the places are filled in at start-up (InitModulDefs).
void AddBufferTypes(TBuilder& b) {
  const PIn delay = E("Dly", evDelayTime, "Delay", rMs);
  b.Mod(kTypeStaticDelay, "Static Delay", N(DelayVoiceState), {delay, A("In", kPlaced, "In")},
        {OA("Out", kPlaced)}, "Delay line with a fixed delay time.",
        QV_INPUTS_OF(StaticDelayInputs));
  b.Mod(kTypeModDelay, "Mod. Delay", N(DelayVoiceState),
        {A("Dly", kPlaced, "Delay", rMs), A("In", kPlaced, "In")}, {OA("Out", kPlaced)},
        "Delay line with a modulated delay time.", QV_INPUTS_OF(DelayInputs));
  b.Mod(kTypeDiffuserDelay, "Diffuser Delay", N(DelayVoiceState),
        {delay, E("Dif", evDiffusion, "Diffusion", rPan), A("In", kPlaced, "In")},
        {OA("Out", kPlaced)}, "All-pass diffuser.", QV_INPUT_AT(DelayInputs, in) + 1);
  b.Mod(kTypeGrainDelay, "Grain Delay", N(GrainDelayVoiceState),
        {A("P", kPlaced, "Pitch", rFormant), A("Dly", kPlaced, "Delay", rMs),
         A("Gr", kPlaced, "Grainy", rMs), A("Sm", kPlaced, "Smooth", rUnit),
         A("Pan", kPlaced, "Pan", rPan), A("A", kPlaced, "Ampl", rAmpl), A("In", kPlaced, "In")},
        {OA("L", kPlaced), OA("R", kPlaced), OE("Dly", GrainDelayOut::kDelay)},
        "Delay with pitch shifter.", QV_INPUTS_OF(GrainDelayInputs));

  const PIn rec = E("Rec", evTapeRecord, "Rec", rTape);
  const PIn play = E("Play", evTapePlay, "Play", rTape);
  const PIn loop = E("Loop", evTapeLoop, "Loop", rTape);
  b.Mod(kTypeTapedeck1, "Tapedeck 1", N(TapedeckVoiceState), {rec, play, loop, A("In", kPlaced, "In")},
        {OA("Out", kPlaced)}, "Records and plays back one channel.",
        QV_INPUT_AT(TapedeckInputs, left) + 1);
  b.Mod(kTypeTapedeck2, "Tapedeck 2", N(StereoTapedeckVoiceState),
        {rec, play, loop, A("In L", kPlaced, "In L"), A("In R", kPlaced, "In R")},
        {OA("L", kPlaced), OA("R", kPlaced)}, "Records and plays back two channels.",
        QV_INPUTS_OF(TapedeckInputs));

  b.Mod(kTypeScope, "Scope", N(ScopeVoiceState),
        {E("Trg", evScopeTrigger, "Trigger", rTrigger),
         E("TP", evScopeTimePos, "T-Pos", rScopeTime),
         E("TS", evScopeTimeScale, "T-Scale", rScopeScale),
         E("YP", evScopeYPos, "Y-Pos", rScopePos),
         E("YS", evScopeYScale, "Y-Scale", rScopeScale), A("In", kPlaced, "In")},
        {}, "Shows the input signal.", QV_INPUTS_OF(ScopeInputs));

  const PIn pitch = E("P", evSamplerPitch, "Pitch", rPitch);
  const PIn ampl = A("A", kPlaced, "Ampl", rAmpl);
  const PIn freq = A("F", kPlaced, "Freq", rHz);
  const PIn start = A("St", kPlaced, "Start", rMs);
  const PIn sel = A("Sel", kPlaced, "Select", rPitch);
  const PIn loopStart = A("LS", kPlaced, "LoopStrt", rMs);
  const PIn loopLength = A("LL", kPlaced, "LoopLen", rMs);
  b.Mod(kTypeSampler, "Sampler", N(SampleVoiceState),
        {pitch, E("Trig", evSamplerTrigger, "Trigger", rTrigger), ampl}, {OA("Out", kPlaced)},
        "Plays samples of its sample map.", QV_INPUT_AT(SampleInputs, ampl) + 1);
  b.Mod(kTypeSamplerFm, "Sampler FM", N(SampleVoiceState),
        {pitch, freq, start, E("Trig", evSamplerFmTrigger, "Trigger", rTrigger), ampl},
        {OA("Out", kPlaced), OE("Len", SamplerOut::kLength)},
        "Plays samples with a linear frequency input and a start time.",
        QV_INPUT_AT(SampleInputs, start) + 1);
  b.Mod(kTypeSamplerLoop, "Sampler Loop", N(SampleVoiceState),
        {pitch, E("G", evSamplerLoopGate, "Gate", rGate), sel, freq, start, loopStart, loopLength,
         ampl},
        {OA("L", kPlaced), OA("R", kPlaced), OE("Len", SamplerOut::kLength)},
        "Plays samples with loop inputs.", QV_INPUT_AT(SampleInputs, loopLength) + 1);
  b.Mod(kTypeSampleLookup, "Lookup", N(SampleVoiceState), {A("Pos", kPlaced, "Position", rMs), ampl},
        {OA("L", kPlaced), OA("R", kPlaced), OE("Len", SamplerOut::kLength)},
        "Reads a sample at a position in milliseconds.", QV_INPUT_AT(SampleInputs, freq) + 1);

  const PIn smpOffset = A("SO", kPlaced, "SmpOff", rMs);
  const PIn smooth = A("Sm", kPlaced, "Smooth", rUnit);
  const PIn pan = A("Pan", kPlaced, "Pan", rPan);
  const PIn speed = A("Sp", kPlaced, "Speed", rSpeed);
  const PIn grainPitch = A("P", kPlaced, "Pitch", rPitch);
  b.Mod(kTypeBeatLoop, "Beat Loop", N(BeatLoopVoiceState),
        {E("C", evBeatLoopClock, "Clock", rClock), E("Rst", evBeatLoopReset, "Reset", rReset),
         grainPitch, sel, A("St", kPlaced, "Start", rCount), A("LS", kPlaced, "LoopStrt", rCount),
         A("LL", kPlaced, "LoopLen", rCount), A("SO", kPlaced, "SmpOff", rCount), smooth, pan,
         ampl},
        {OA("L", kPlaced), OA("R", kPlaced), OE("Len", BeatLoopOut::kLength),
         OE("L16", BeatLoopOut::kLength16), OE("P16", BeatLoopOut::kPosition16),
         OE("Ct16", BeatLoopOut::kCount16)},
        "Plays a sample in sixteenth notes to the clock.", QV_INPUT_AT(SampleInputs, pan) + 1);
  b.Mod(kTypeResynth, "Resynth", N(ResynthVoiceState),
        {E("G", evResynthGate, "Gate", rGate), grainPitch, sel, start, loopStart, loopLength,
         speed, A("Gr", kPlaced, "Grainy", rMs), smpOffset, smooth, pan, ampl},
        {OA("L", kPlaced), OA("R", kPlaced), OE("Lng", ResynthOut::kLength),
         OE("Pos", ResynthOut::kPosition)},
        "Plays a sample as a chain of grains.", QV_INPUT_AT(SampleInputs, pan) + 1);
  b.Mod(kTypePitchFormer, "Pitch Former", N(ResynthVoiceState),
        {E("G", evPitchFormerGate, "Gate", rGate), grainPitch, sel, start, loopStart, loopLength,
         speed, A("FS", kPlaced, "Formants", rFormant), smpOffset, smooth, pan, ampl},
        {OA("L", kPlaced), OA("R", kPlaced), OE("Lng", ResynthOut::kLength),
         OE("Pos", ResynthOut::kPosition)},
        "Plays a sample with one grain per pitch period.", QV_INPUTS_OF(SampleInputs));

  static const char* const kDemuxLabels[16] = {"0", "1", "2",  "3",  "4",  "5",  "6",  "7",
                                               "8", "9", "10", "11", "12", "13", "14", "15"};
  std::vector<PIn> demuxIns = {E("Pos", evDemuxPosition, "Position", rCount),
                               A("Len", kPlaced, "Length", rCount)};
  for (const char* label : kDemuxLabels) demuxIns.push_back(A(label, kPlaced, label));
  b.Mod(kTypeDemux, "Demux", N(SampleVoiceState), demuxIns,
        {OE("Stp", DemuxOut::kStep), OE("Bar", DemuxOut::kBar), OE("Out", DemuxOut::kOut)},
        "Sends the input selected by a position, with step and bar.",
        QV_INPUTS_OF(DemuxInputs));

  // The scale inputs of the scope carry the bits of 1.0 in their reserved word.
  const KModulDef* scope = b.Target().module[kTypeScope.type];
  for (int32_t i = 0; i < scope->inPorts->count; ++i) {
    KPortDef& p = scope->inPorts->entries[i];
    if (std::strcmp(p.label, "TS") == 0 || std::strcmp(p.label, "YS") == 0) {
      const float one = 1.0f;
      std::memcpy(&p.reserved, &one, sizeof one);
    }
  }
}

void AddSources(TBuilder& b) {
  const int32_t one = N(SourceState);
  b.Src(kTypeConstant, "1", one, "Constant event value.");
  b.Src(kTypeFader, "Fader", one, "Panel fader.");
  b.Src(kTypeSingleTriggerGate, "ST Gate", N(GateSourceState), "Single-trigger gate from MIDI notes.");
  b.Src(kTypeNoteOnVelocity, "On. Vel", one, "Note-on velocity.");
  b.Src(kTypeNoteOffVelocity, "Off Vel.", one, "Note-off velocity.");
  b.Src(kTypeGate, "Gate", N(GateSourceState), "Gate from MIDI notes.");
  b.Src(kTypeNotePitch, "NotePitch", one, "Pitch of MIDI notes.");
  b.Src(kTypeSelectedNoteGate, "Sel. Gate", one, "Gate from one MIDI note.");
  b.Src(kTypePolyPressure, "Poly AT", one, "Poly aftertouch.");
  b.Src(kTypePitchBend, "PitchBend", one, "MIDI pitch bend.");
  b.Src(kTypeChannelPressure, "Chan. AT", one, "MIDI channel aftertouch.");
  b.Src(kTypeController, "Controller", one, "MIDI controller.");
  b.Src(kTypeSelectedPolyPressure, "SelPolyAT", one, "Poly aftertouch of one note.");
  b.Src(kTypeButton, "Button", one, "Panel button.");
  b.Src(kTypeClockTick, "1/96", one, "Event on every clock tick.");
  b.Src(kTypeClockStartStop, "Start", one, "Event when the clock starts and stops.");
  b.Target().source[kTypeClockStartStopTwin.type] = b.Target().source[kTypeClockStartStop.type];
  b.Src(kTypeClockSync, "Sync", N(SyncSourceState), "Pulse of a set length every set number of ticks.");
  b.Src(kTypeRpn, "RPN", one, "MIDI registered parameter.");
  b.Src(kTypeNrpn, "NRPN", one, "MIDI non-registered parameter.");
  b.Src(kTypeSpread, "Spread", N(SpreadState), "Unison offset of each voice.");
  b.Src(kTypeProgramChange, "Prog. Ch.", one, "MIDI program change.");
}

void AddSwitches(TBuilder& b) {
  static const char* const kNames[6] = {"Switch 1", "Switch 2", "Switch 3",
                                        "Switch 4", "Switch 5", "Switch 6"};
  static const char* const kInputs[8] = {"In 1", "In 2", "In 3", "In 4",
                                         "In 5", "In 6", "In 7", "In 8"};
  // Switches of one to six inputs, then of eight; audio, then event.
  static const TModuleType kTypes[2][7] = {
      {kTypeAudioSwitch1, kTypeAudioSwitch2, kTypeAudioSwitch3, kTypeAudioSwitch4,
       kTypeAudioSwitch5, kTypeAudioSwitch6, kTypeAudioSwitch8},
      {kTypeEventSwitch1, kTypeEventSwitch2, kTypeEventSwitch3, kTypeEventSwitch4,
       kTypeEventSwitch5, kTypeEventSwitch6, kTypeEventSwitch8}};
  for (int32_t event = 0; event < 2; ++event) {
    for (int32_t n = 1; n <= 6; ++n) {
      std::vector<const char*> ins(kInputs, kInputs + n);
      b.Switch(kTypes[event][n - 1], kNames[n - 1], event != 0, ins, {""});
    }
    b.Switch(kTypes[event][6], "Switch 8", event != 0,
             std::vector<const char*>(kInputs, kInputs + 8), {""});
  }
  b.Switch(kTypeSwitch2x2, "Sw. 2x2", false, {"1A", "2A", "1B", "2B"}, {"A", "B"});
}

void AddStructureTypes(TBuilder& b) {
  TCatalogue& c = b.Target();
  TBuilder::TRecordSpec macro;
  macro.name = "Macro";
  macro.picture = 8042;
  macro.panelView = kViewMacro;
  macro.helpIsUser = 1;
  macro.help = "A structure of modules.";
  c.macro = b.Make(macro, {}, {});

  TBuilder::TRecordSpec instrument;
  instrument.name = "Instrument";
  instrument.picture = 8040;
  instrument.panelView = kViewInstrument;
  instrument.monoSwitchable = 0;
  instrument.helpIsUser = 1;
  instrument.help = "An instrument with its own voices and panel.";
  c.instrument = b.Make(instrument, {}, {});

  TBuilder::TRecordSpec terminal;
  terminal.name = "In";
  terminal.helpIsUser = 1;
  terminal.help = "Audio input of the enclosing structure.";
  KModulDef* d = b.Make(terminal, {}, {{"", false, kPlaced}});
  d->outPorts->entries[0].help = "Output of the audio in terminal.";
  c.audioIn = d;
  terminal.help = "Event input of the enclosing structure.";
  d = b.Make(terminal, {}, {{"", true, kPlaced}});
  d->outPorts->entries[0].help = "Output of the event in terminal.";
  c.eventIn = d;

  terminal.name = "Out";
  terminal.help = "Audio output of the enclosing structure.";
  d = b.Make(terminal, {{"Out", false, kPlaced, "Out", rSignal}}, {});
  d->inPorts->entries[0].help = "Input of the audio out terminal.";
  c.audioOut = d;
  terminal.help = "Event output of the enclosing structure.";
  d = b.Make(terminal, {{"Out", true, kPlaced, "Out", rUnit}}, {});
  d->inPorts->entries[0].help = "Input of the event out terminal.";
  c.eventOut = d;
}

template <int Channels>
KModulDef* AudioOut(TBuilder& b, std::vector<PIn> channels) {
  TBuilder::TRecordSpec s;
  s.name = "Audio Out";
  s.nameIsUser = 0;
  s.picture = 8010;
  s.stateWords = N(AudioOutState<Channels>);
  s.startsMono = 1;
  s.monoSwitchable = 0;
  TBuilder::SetKinds(s);
  s.help = "Output of the sound device.";
  std::vector<PIn> ins = {E("Tun", evTune, "Tune", rSignal), E("Lvl", evLevel1, "Master", rLevel)};
  ins.insert(ins.end(), channels.begin(), channels.end());
  return b.Make(s, ins, {});
}

void AddDriverRecords(TBuilder& b) {
  TCatalogue& c = b.Target();
  TBuilder::TRecordSpec in;
  in.name = "Audio In";
  in.nameIsUser = 0;
  in.picture = 8001;
  in.stateWords = N(AudioInState);
  in.startsMono = 1;
  in.monoSwitchable = 0;
  TBuilder::SetKinds(in);
  in.help = "Input of the sound device.";
  c.driverIn = b.Make(in, {},
                        {OA("L", W(AudioInState, left)), OA("R", W(AudioInState, right))});
  c.driverOut1 = AudioOut<1>(b, {A("In", 0, "In")});
  c.driverOut2 = AudioOut<2>(b, {A("L", 0, "L"), A("R", 1, "R")});
  c.driverOut8 = AudioOut<8>(b, {A("1", 0, "1"), A("2", 1, "2"), A("3", 2, "3"), A("4", 3, "4"),
                                 A("5", 4, "5"), A("6", 5, "6"), A("7", 6, "7"),
                                 A("8", 7, "8")});
}

#undef W
#undef N

struct TBuilt {
  TCatalogue catalogue;
  TBuilder builder{catalogue};

  TBuilt() {
    AddArithmetic(builder);
    AddMixers(builder);
    AddOscillators(builder);
    AddSequencers(builder);
    AddEnvelopes(builder);
    AddFilters(builder);
    AddShapers(builder);
    AddEventModules(builder);
    AddDisplaysAndMidi(builder);
    AddBufferTypes(builder);
    catalogue.module[kTypeLampTwin.type] = catalogue.module[kTypeLamp.type];  // one record for both
    AddSources(builder);
    AddSwitches(builder);
    AddStructureTypes(builder);
    AddDriverRecords(builder);
  }
};

KPortDef* FindPort(const KPortTable* table, const char* label) {
  for (int32_t i = 0; i < table->count; ++i)
    if (std::strcmp(table->entries[i].label, label) == 0) return &table->entries[i];
  return nullptr;
}

}  // namespace

TCatalogue& Catalogue() {
  static TBuilt built;
  return built.catalogue;
}

KPortDef* MutableInPort(const KModulDef* def, const char* label) {
  return FindPort(def->inPorts, label);
}

KPortDef* MutableOutPort(const KModulDef* def, const char* label) {
  return FindPort(def->outPorts, label);
}
