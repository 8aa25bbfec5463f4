#include "src/volteon/inserts.h"

#include <algorithm>
#include <string>

namespace {

constexpr int32_t kPopupRow = -1;

struct TInsertRow {
  int32_t id;            // 0 ends a list; kPopupRow names a sub-menu
  const char* text;      // null for a separator
  TModuleType type;
  const struct TInsertRow* popup = nullptr;
};

constexpr TInsertRow kSeparatorRow{1, nullptr, {}};
constexpr TInsertRow kEndRow{0, nullptr, {}};

const TInsertRow kMidiOut[] = {
    {1800, "Note Pitch/Gate", kTypeMidiNoteOut},
    {1801, "Pitchbend", kTypeMidiPitchBendOut},
    {1803, "Ch. Aftertouch", kTypeMidiChannelPressureOut},
    {1802, "Controller", kTypeMidiControllerOut},
    {1804, "Sel. Poly AT", kTypeMidiPolyPressureOut},
    {1805, "Program Change", kTypeMidiProgramChangeOut},
    kEndRow,
};
const TInsertRow kMultistep[] = {
    {2140, "4-Step", kTypeStep4},
    {2141, "4-Ramp", kTypeRamp4},
    {2142, "5-Step", kTypeStep5},
    {2143, "5-Ramp", kTypeRamp5},
    {2144, "6-Step", kTypeStep6},
    {2145, "6-Ramp", kTypeRamp6},
    {2146, "8-Step", kTypeStep8},
    {2147, "8-Ramp", kTypeRamp8},
    kEndRow,
};
const TInsertRow kPanel[] = {
    {cmd::kInsertFader, "Fader", kTypeFader},
    {cmd::kInsertKnob, "Knob", kTypeFader},
    {cmd::kInsertButton, "Button", kTypeButton},
    kSeparatorRow,
    {1620, "Audio Switch 1", kTypeAudioSwitch1},
    {1621, "Audio Switch 2", kTypeAudioSwitch2},
    {1622, "Audio Switch 2x2", kTypeSwitch2x2},
    {1623, "Audio Switch 3", kTypeAudioSwitch3},
    {1624, "Audio Switch 4", kTypeAudioSwitch4},
    {1625, "Audio Switch 5", kTypeAudioSwitch5},
    {1626, "Audio Switch 6", kTypeAudioSwitch6},
    {1627, "Audio Switch 8", kTypeAudioSwitch8},
    kSeparatorRow,
    {1640, "Event Switch 1", kTypeEventSwitch1},
    {1641, "Event Switch 2", kTypeEventSwitch2},
    {1642, "Event Switch 3", kTypeEventSwitch3},
    {1643, "Event Switch 4", kTypeEventSwitch4},
    {1644, "Event Switch 5", kTypeEventSwitch5},
    {1645, "Event Switch 6", kTypeEventSwitch6},
    {1646, "Event Switch 8", kTypeEventSwitch8},
    kSeparatorRow,
    {1660, "Comment", kTypeComment},
    kSeparatorRow,
    {cmd::kInsertLamp, "Lamp", kTypeLamp},
    {cmd::kInsertLevelLamp, "Level Lamp", kTypeLevelLamp},
    {cmd::kInsertMeter, "Meter", kTypeMeter},
    {cmd::kInsertLevelMeter, "Level Meter", kTypeLevelMeter},
    {cmd::kInsertScope, "Scope", kTypeScope},
    kEndRow,
};
const TInsertRow kMidi[] = {
    {1680, "Note Pitch", kTypeNotePitch},
    {1681, "Pitchbend", kTypePitchBend},
    kSeparatorRow,
    {1700, "Gate", kTypeGate},
    {1701, "Single Trig. Gate", kTypeSingleTriggerGate},
    {1702, "Sel. Note Gate", kTypeSelectedNoteGate},
    kSeparatorRow,
    {1710, "On Velocity", kTypeNoteOnVelocity},
    {1711, "Off Velocity", kTypeNoteOffVelocity},
    kSeparatorRow,
    {1720, "Controller", kTypeController},
    kSeparatorRow,
    {1730, "Ch. Aftertouch", kTypeChannelPressure},
    {1731, "Poly Aftertouch", kTypePolyPressure},
    {1732, "Sel. Poly AT", kTypeSelectedPolyPressure},
    kSeparatorRow,
    {1740, "Program Change", kTypeProgramChange},
    kSeparatorRow,
    {kPopupRow, "MIDI Out", {}, kMidiOut},
    kEndRow,
};
const TInsertRow kArithmetic[] = {
    {1840, "Audio Invert", kTypeAudioInvert},
    {1841, "Audio Add 2", kTypeAudioSum2},
    {1842, "Audio Add 3", kTypeAudioSum3},
    {1843, "Audio Add 4", kTypeAudioSum4},
    {1844, "Audio Add 6", kTypeAudioSum6},
    {1845, "Audio Add 8", kTypeAudioSum8},
    kSeparatorRow,
    {1860, "Event Invert", kTypeEventInvert},
    {1861, "Event Add 2", kTypeEventSum2},
    {1862, "Event Add 3", kTypeEventSum3},
    {1863, "Event Add 4", kTypeEventSum4},
    {1864, "Event Add 6", kTypeEventSum6},
    kSeparatorRow,
    {1880, "Audio Mult 2", kTypeAudioProduct2},
    {1881, "Audio Mult 3", kTypeAudioProduct3},
    {1882, "Audio Mult 4", kTypeAudioProduct4},
    {1883, "Audio Mult 6", kTypeAudioProduct6},
    kSeparatorRow,
    {1900, "Event Mult 2", kTypeEventProduct2},
    {1901, "Event Mult 3", kTypeEventProduct3},
    {1902, "Event Mult 4", kTypeEventProduct4},
    kSeparatorRow,
    {1920, "Audio 1/x", kTypeAudioReciprocal},
    {1921, "Audio x/y", kTypeAudioDivide},
    kSeparatorRow,
    {1940, "Event 1/x", kTypeEventReciprocal},
    {1941, "Event x/y", kTypeEventDivide},
    kEndRow,
};
const TInsertRow kMixer[] = {
    {1960, "Amp", kTypeAmp},
    {1961, "Mixer 2", kTypeMixer2},
    {1962, "Mixer 3", kTypeMixer3},
    {1963, "Mixer 4", kTypeMixer4},
    {1964, "Mixer 5", kTypeMixer5},
    {1965, "Mixer 6", kTypeMixer6},
    {1966, "Mixer 8", kTypeMixer8},
    kSeparatorRow,
    {1987, "Crossfade", kTypeCrossfade},
    {1988, "Stereo Pan", kTypeStereoPan},
    {1989, "Stereo Amp", kTypeStereoAmp},
    kEndRow,
};
const TInsertRow kOscillator[] = {
    {cmd::kInsertSawtooth, "Sawtooth", kTypeSawtooth},
    {2001, "Saw FM", kTypeSawFm},
    {2002, "Saw Sync", kTypeSawSync},
    {2003, "Saw Pulse", kTypeSawPulse},
    {2004, "Bi-Saw", kTypeBiSaw},
    kSeparatorRow,
    {2020, "Triangle", kTypeTriangle},
    {2021, "Tri FM", kTypeTriFm},
    {2022, "Tri Sync", kTypeTriSync},
    kSeparatorRow,
    {2040, "Tri/Par Symm", kTypeTriParSymm},
    kSeparatorRow,
    {2060, "Parabol", kTypeParabol},
    {2061, "Par FM", kTypeParFm},
    {2062, "Par Sync", kTypeParSync},
    {2063, "Par PWM", kTypeParPwm},
    kSeparatorRow,
    {2080, "Sine", kTypeSine},
    {2081, "Sine FM", kTypeSineFm},
    {2082, "Sine Sync", kTypeSineSync},
    kSeparatorRow,
    {2100, "Pulse", kTypePulse},
    {2101, "Pulse FM", kTypePulseFm},
    {2102, "Pulse Sync", kTypePulseSync},
    {2103, "Pulse 1-ramp", kTypePulseOneRamp},
    {2104, "Pulse 2-ramp", kTypePulseTwoRamp},
    {2105, "Bi-Pulse", kTypeBiPulse},
    kSeparatorRow,
    {2120, "Impulse", kTypeImpulse},
    {2121, "Impulse FM", kTypeImpulseFm},
    {2122, "Impulse Sync", kTypeImpulseSync},
    kSeparatorRow,
    {kPopupRow, "Multistep", {}, kMultistep},
    kSeparatorRow,
    {2160, "Noise", kTypeNoise},
    {2161, "Random", kTypeRandom},
    kEndRow,
};
const TInsertRow kSampler[] = {
    {2180, "Sampler", kTypeSampler},
    {2181, "Sampler FM", kTypeSamplerFm},
    {2182, "Sampler Loop", kTypeSamplerLoop},
    kSeparatorRow,
    {2200, "Sample Resynth", kTypeResynth},
    {2201, "Sample Pitchformer", kTypePitchFormer},
    kSeparatorRow,
    {2220, "Beat Loop", kTypeBeatLoop},
    kSeparatorRow,
    {2240, "Sample Lookup", kTypeSampleLookup},
    kEndRow,
};
const TInsertRow kSequencer[] = {
    {2260, "Start/Stop", kTypeClockStartStop},
    {2261, "Sync Clock", kTypeClockSync},
    {2262, "1/96 Clock", kTypeClockTick},
    kSeparatorRow,
    {2263, "Clock Oscillator", kTypeClockOsc},
    kSeparatorRow,
    {2264, "6-Step", kTypeSequencer6},
    {2265, "8-Step", kTypeSequencer8},
    {2266, "12-Step", kTypeSequencer12},
    {2267, "16-Step", kTypeSequencer16},
    kSeparatorRow,
    {2268, "Demux", kTypeDemux},
    kEndRow,
};
const TInsertRow kLfoEnvelope[] = {
    {2280, "LFO", kTypeLfo},
    {2281, "Slow Random", kTypeSlowRandom},
    kSeparatorRow,
    {2300, "H", kTypeHoldEnv},
    {2301, "HR", kTypeHoldReleaseEnv},
    kSeparatorRow,
    {2320, "D", kTypeDecayEnv},
    {2321, "DR", kTypeDecayReleaseEnv},
    {2322, "DSR", kTypeDsrEnv},
    {2323, "DBDR", kTypeDbdrEnv},
    {2324, "DBDSR", kTypeDbdsrEnv},
    kSeparatorRow,
    {2340, "AD", kTypeAttackDecayEnv},
    {2341, "AR", kTypeAttackReleaseEnv},
    {2342, "ADR", kTypeAdrEnv},
    {2343, "ADSR", kTypeAdsrEnv},
    {2344, "ADBDR", kTypeAdbdrEnv},
    {2345, "ADBDSR", kTypeAdbdsrEnv},
    kSeparatorRow,
    {2360, "4-Ramp", kTypeRamp4Env},
    {2361, "5-Ramp", kTypeRamp5Env},
    {2362, "6-Ramp", kTypeRamp6Env},
    kEndRow,
};
const TInsertRow kFilter[] = {
    {2380, "HP/LP 1-Pole", kTypeOnePoleFilter},
    {2381, "HP/LP 1-Pole FM", kTypeOnePoleFilterFm},
    kSeparatorRow,
    {2382, "Multi 2-Pole", kTypeTwoPoleFilter},
    {2383, "Multi 2-Pole FM", kTypeTwoPoleFilterFm},
    {2384, "Multi/Notch 2-Pole", kTypeTwoPoleNotch},
    {2385, "Multi/Notch 2-Pole FM", kTypeTwoPoleNotchFm},
    kSeparatorRow,
    {2386, "Multi/LP 4-Pole", kTypeFourPoleFilter},
    {2387, "Multi/LP 4-Pole FM", kTypeFourPoleFilterFm},
    {2388, "Multi/HP 4-Pole", kTypeFourPoleHighPass},
    {2389, "Multi/HP 4-Pole FM", kTypeFourPoleHighPassFm},
    kSeparatorRow,
    {2400, "Peak EQ", kTypePeakEq},
    {2401, "Peak EQ FM", kTypePeakEqFm},
    kSeparatorRow,
    {2402, "High Shelf EQ", kTypeHiShelfEq},
    {2403, "High Shelf EQ FM", kTypeHiShelfEqFm},
    {2404, "Low Shelf EQ", kTypeLoShelfEq},
    {2405, "Low Shelf EQ FM", kTypeLoShelfEqFm},
    kSeparatorRow,
    {2420, "Differentiator", kTypeDifferentiator},
    {2421, "Integrator", kTypeIntegrator},
    kEndRow,
};
const TInsertRow kDelay[] = {
    {2440, "Static Delay", kTypeStaticDelay},
    {2441, "Modulation Delay", kTypeModDelay},
    {2442, "Diffuser Delay", kTypeDiffuserDelay},
    kSeparatorRow,
    {2460, "Grain Delay", kTypeGrainDelay},
    kEndRow,
};
const TInsertRow kShaper[] = {
    {2500, "Shaper 1 BP", kTypeShaper1Bp},
    {2501, "Shaper 2 BP", kTypeShaper2Bp},
    {2502, "Shaper 3 BP", kTypeShaper3Bp},
    {2503, "Shaper Parabolic", kTypeParabolShaper},
    {2504, "Shaper Cubic", kTypeCubicShaper},
    kSeparatorRow,
    {2520, "Ctrl. Shaper 1 BP", kTypeEventShaper3},
    {2521, "Ctrl. Shaper 2 BP", kTypeEventShaper4},
    {2522, "Ctrl. Shaper 3 BP", kTypeEventShaper5},
    kSeparatorRow,
    {2540, "Event Expon. (A)", kTypeEventLevelToGain},
    {2541, "Event Expon. (F)", kTypeEventPitchToHz},
    {2560, "Event Log (A)", kTypeEventGainToLevel},
    {2561, "Event Log (F)", kTypeEventHzToPitch},
    kSeparatorRow,
    {2542, "Audio Expon. (A)", kTypeAudioLevelToGain},
    {2543, "Audio Expon. (F)", kTypeAudioPitchToHz},
    kEndRow,
};
const TInsertRow kAudioModifier[] = {
    {2580, "Saturator", kTypeSaturator},
    {2581, "Clipper", kTypeClipper},
    {2582, "Mod. Clipper", kTypeModClipper},
    {2583, "Rectifier", kTypeRectifier},
    {2584, "Mirror 1 Level", kTypeMirror1},
    {2585, "Mirror 2 Levels", kTypeMirror2},
    {2586, "Chopper", kTypeChopper},
    kSeparatorRow,
    {2600, "Slew Limiter", kTypeSlewLimiter},
    {2601, "Peak Detector", kTypePeakDetector},
    {2602, "Sample + Hold", kTypeSampleHold},
    {2603, "Quantizer", kTypeQuantizer},
    kSeparatorRow,
    {2620, "Frequency Divider", kTypeFreqDivider},
    kSeparatorRow,
    {2640, "Relay 1", kTypeRelay1},
    {2641, "Relay 2", kTypeRelay2},
    kEndRow,
};
const TInsertRow kEventProcessing[] = {
    {2660, "Logic AND", kTypeAnd},
    {2661, "Logic OR", kTypeOr},
    {2662, "Logic EXOR", kTypeExor},
    {2663, "Logic NOT", kTypeNot},
    kSeparatorRow,
    {2680, "Separator", kTypeSeparator},
    kSeparatorRow,
    {2700, "Quantizer", kTypeEventQuantizer},
    {2701, "Randomizer", kTypeRandomize},
    kSeparatorRow,
    {2720, "Accumulator", kTypeAccumulator},
    {2721, "Counter", kTypeCounter},
    {2722, "Timer", kTypeTimer},
    {2723, "Frequency Divider", kTypeEventFreqDivider},
    kSeparatorRow,
    {2730, "Value", kTypeValue},
    {2731, "Hold", kTypeHold},
    {2732, "Delay", kTypeEventDelay},
    kSeparatorRow,
    {2740, "Router 1", kTypeRouter1},
    {2741, "Router 2", kTypeRouter2},
    kEndRow,
};
const TInsertRow kAuxiliary[] = {
    {2760, "Tapedeck 1-Ch", kTypeTapedeck1},
    {2761, "Tapedeck 2-Ch", kTypeTapedeck2},
    kSeparatorRow,
    {2780, "Audio Voice Combiner", kTypeAudioVoiceCombiner},
    {2781, "Event V.C. All", kTypeEventVoiceCombiner},
    {2782, "Event V.C. Max", kTypeSelectMax},
    {2783, "Event V.C. Min", kTypeSelectMin},
    kSeparatorRow,
    {2790, "Unison Spread", kTypeSpread},
    kSeparatorRow,
    {2800, "Event Merge", kTypeChangesOnly},
    {2801, "A to E", kTypeAudioToEvent},
    {2802, "A to E (Trig)", kTypeAudioToEventTrigger},
    {2803, "A to E (Perm)", kTypeAudioToEventPeriodic},
    {2804, "A to Gate", kTypeAudioToGate},
    kSeparatorRow,
    {2820, "Audio Smoother", kTypeEventSmoother},
    {2821, "Event Smoother", kTypeAudioToEventSmoothed},
    kEndRow,
};
const TInsertRow kTerminal[] = {
    {2860, "Audio In Port", kTypeAudioPolyInTerminal},
    {2861, "Event In Port", kTypeEventPolyInTerminal},
    {2862, "Audio Out Port", kTypeAudioPolyOutTerminal},
    {2863, "Event Out Port", kTypeEventPolyOutTerminal},
    kEndRow,
};
const TInsertRow kConstantRow = {1820, "Constant", kTypeConstant};

struct TModulesPopup {
  const char* text;
  const TInsertRow* rows;
};

const TModulesPopup kFirstPopups[] = {{"Panel", kPanel}, {"MIDI", kMidi}};
const TModulesPopup kMiddlePopups[] = {
    {"+, -, X, /", kArithmetic}, {"Mixer", kMixer},   {"Oscillator", kOscillator},
    {"Sampler", kSampler},       {"Sequencer", kSequencer}, {"LFO, Envelope", kLfoEnvelope},
    {"Filter", kFilter},         {"Delay", kDelay},   {"Shaper", kShaper},
    {"Audio Modifier", kAudioModifier}, {"Event Processing", kEventProcessing}, {"Auxiliary", kAuxiliary},
};

bool IsSeparator(const TInsertRow& r) { return r.id != 0 && r.id != kPopupRow && !r.text; }

std::vector<TMenuEntry> Build(const TInsertRow* rows, bool mainMenu) {
  std::vector<TMenuEntry> out;
  std::vector<const TInsertRow*> list;
  for (const TInsertRow* r = rows; r->id != 0; ++r) list.push_back(r);
  if (mainMenu && rows == kMidiOut)
    std::stable_sort(list.begin(), list.end(), [](const TInsertRow* a, const TInsertRow* b) { return a->id < b->id; });
  for (const TInsertRow* r : list) {
    if (IsSeparator(*r)) out.push_back(MenuSeparator());
    else if (r->id == kPopupRow) out.push_back(MenuPopup(r->text, Build(r->popup, mainMenu)));
    else out.push_back(MenuCommand(r->text, r->id));
  }
  return out;
}

void Collect(const TInsertRow* rows, std::vector<TInsertCommand>& out) {
  for (const TInsertRow* r = rows; r->id != 0; ++r) {
    if (r->id == kPopupRow) Collect(r->popup, out);
    else if (r->text) out.push_back({r->id, r->text, r->type});
  }
}

} // namespace

const std::vector<TInsertCommand>& InsertCommands() {
  static const std::vector<TInsertCommand> all = [] {
    std::vector<TInsertCommand> v;
    for (const auto& p : kFirstPopups) Collect(p.rows, v);
    v.push_back({kConstantRow.id, kConstantRow.text, kConstantRow.type});
    for (const auto& p : kMiddlePopups) Collect(p.rows, v);
    Collect(kTerminal, v);
    return v;
  }();
  return all;
}

const TInsertCommand* FindInsertCommand(int32_t id) {
  if (id < cmd::kInsertFirst || id > cmd::kInsertLast) return nullptr;
  for (const TInsertCommand& c : InsertCommands())
    if (c.id == id) return &c;
  return nullptr;
}

std::vector<TMenuEntry> InsertMenuEntries(bool mainMenu) {
  std::vector<TMenuEntry> out;
  for (const auto& p : kFirstPopups) out.push_back(MenuPopup(p.text, Build(p.rows, mainMenu)));
  out.push_back(MenuCommand(kConstantRow.text, kConstantRow.id));
  out.push_back(MenuSeparator());
  for (const auto& p : kMiddlePopups) out.push_back(MenuPopup(p.text, Build(p.rows, mainMenu)));
  out.push_back(MenuSeparator());
  out.push_back(MenuPopup("Terminal", Build(kTerminal, mainMenu)));
  if (mainMenu) {
    out.push_back(MenuCommand("Macro...", cmd::kInsertMacroFile));
    out.push_back(MenuCommand("Instrument...", cmd::kInsertInstrumentFile));
  }
  return out;
}
