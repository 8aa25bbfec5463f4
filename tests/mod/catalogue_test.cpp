// Consistency of the module-type catalogue with the engine's layouts and
// event ids: every record against its name and port signature, written out
// here by hand so that any change to the catalogue shows as a difference.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "src/engine/event_ids.h"
#include "src/engine/routine_registry.h"
#include "src/mod/modul_def.h"
#include "tests/common/named_types.h"

namespace {

struct TSignature {
  TModuleType type;
  const char* name;
  const char* ports;  // in-port letters / out-port letters; "x*n" repeats, "-" none
};

// The name and port signature every record must have (a = audio, e = event).
const TSignature kSignatures[] = {
    {kTypeAudioSum2, "+", "a.a/a"},
    {kTypeAudioSum3, "+", "a.a.a/a"},
    {kTypeAudioSum4, "+", "a.a.a.a/a"},
    {kTypeEventSum3, "+", "e.e.e/e"},
    {kTypeAudioSum6, "+", "a.a.a.a.a.a/a"},
    {kTypeAudioSum8, "+", "a.a.a.a.a.a.a.a/a"},
    {kTypeEventSum2, "+", "e.e/e"},
    {kTypeAudioInvert, "-1", "a/a"},
    {kTypeEventInvert, "-1", "e/e"},
    {kTypeAudioProduct2, "X", "a.a/a"},
    {kTypeAudioProduct3, "X", "a.a.a/a"},
    {kTypeAudioProduct4, "X", "a.a.a.a/a"},
    {kTypeEventProduct3, "X", "e.e.e/e"},
    {kTypeAudioProduct6, "X", "a.a.a.a.a.a/a"},
    {kTypeEventProduct2, "X", "e.e/e"},
    {kTypeSawFm, "Saw FM", "e.a.a/a"},
    {kTypeSawSync, "Saw Sync", "e.a.a.a.a/a"},
    {kTypeTriFm, "Tri FM", "e.a.a/a"},
    {kTypeParFm, "Par FM", "e.a.a/a"},
    {kTypePulseFm, "Pulse FM", "e.a.a.a/a"},
    {kTypePulseSync, "Pulse Sync", "e.a.a.a.a.a/a"},
    {kTypePulseOneRamp, "Pulse 1-Ramp", "e.a.a.a.a/a"},
    {kTypePulseTwoRamp, "Pulse 2-Ramp", "e.a.a.a.a.a/a"},
    {kTypeNoise, "Noise", "a/a"},
    {kTypeRandom, "Random", "e.a/a"},
    {kTypeSequencer6, "Sequencer", "a*9/eee"},
    {kTypeSequencer8, "Sequencer", "a*11/eee"},
    {kTypeSequencer12, "Sequencer", "a*15/eee"},
    {kTypeSequencer16, "Sequencer", "a*19/eee"},
    {kTypeStep4, "4-Step", "e.a.a.a.a.a/a"},
    {kTypeStep5, "5-Step", "e.a.a.a.a.a.a/a"},
    {kTypeHoldEnv, "H - Env", "a.a.e/e"},
    {kTypeHoldReleaseEnv, "HR - Env", "a.a.e.e/a"},
    {kTypeAttackReleaseEnv, "AR - Env", "e.e.e/a"},
    {kTypeDecayEnv, "D - Env", "a.a.e/a"},
    {kTypeDecayReleaseEnv, "DR - Env", "e.e.e/a"},
    {kTypeDsrEnv, "DSR - Env", "e.e.e.e/a"},
    {kTypeAdsrEnv, "ADSR - Env", "e.e.e.e.e/a"},
    {kTypeAdbdrEnv, "ADBDR - Env", "e.e.e.e.e.e/a"},
    {kTypeOnePoleFilterFm, "1-Pole Filter", "e.a.a/a.a"},
    {kTypeMixer2, "Mixer 2", "e.a.e.a/a"},
    {kTypeTwoPoleFilterFm, "2-Pole Filter", "e.a.e.a/a.a.a"},
    {kTypeFourPoleFilterFm, "4-Pole Filter", "e.a.e.a/a.a.a.a.a.a"},
    {kTypePeakEqFm, "Peak EQ", "e.a.e.e.a/a"},
    {kTypeHiShelfEqFm, "Hi Shelf EQ", "e.a.e.a/a"},
    {kTypeLoShelfEqFm, "Lo Shelf EQ", "e.a.e.a/a"},
    {kTypeTwoPoleNotchFm, "2-Pole Notch", "e.a.e.a/a.a.a.a"},
    {kTypeMixer3, "Mixer 3", "e.a.e.a.e.a/a"},
    {kTypeSineFm, "Sine FM", "e.a.a/a"},
    {kTypeQuantizer, "Quantizer", "a.a/a.a"},
    {kTypeEventShaper3, "Ctrl. Shp 1", "a.a.a.e/e"},
    {kTypeEventShaper4, "Ctrl. Shp 2", "a.a.a.a.e/e"},
    {kTypeEventDelay, "Event Delay", "a.e/e"},
    {kTypeSlewLimiter, "Slew Limiter", "a.a.a/a"},
    {kTypeFreqDivider, "Freq. Divider", "a.a.a.a/a"},
    {kTypeChopper, "Chopper", "a.a.a/a"},
    {kTypeClipper, "Clipper", "a.a.a/a"},
    {kTypeModClipper, "Mod. Clipper", "a.a/a"},
    {kTypeMirror1, "Mirror 1", "a.a/a"},
    {kTypeMirror2, "Mirror 2", "a.a.a/a"},
    {kTypeSaturator, "Saturator", "a/a"},
    {kTypeShaper1Bp, "Shaper 1 BP", "a.a.a/a"},
    {kTypeShaper2Bp, "Shaper 2 BP", "a.a.a.a.a/a"},
    {kTypeShaper3Bp, "Shaper 3 BP", "a.a.a.a.a.a.a/a"},
    {kTypeEventShaper5, "Ctr. Shp 3", "a.a.a.a.a.e/e"},
    {kTypeParabolShaper, "Parabol Shp", "a.a.a/a"},
    {kTypeCubicShaper, "Cubic Shp", "a.a.a.a/a"},
    {kTypeRandomize, "Randomize", "a.e/e"},
    {kTypeAudioVoiceCombiner, "}", "a/a"},
    {kTypeEventVoiceCombiner, "}", "e/e"},
    {kTypeSelectMax, "Select Max", "e.e/e"},
    {kTypeSelectMin, "Select Min", "e.e/e"},
    {kTypeChangesOnly, ">>", "e/e"},
    {kTypeEventLevelToGain, "Exp", "e/e"},
    {kTypeAudioLevelToGain, "Exp", "a/a"},
    {kTypeRelay1, "Relay 1", "a.a/a"},
    {kTypeRelay2, "Relay 2", "a.a.a/a"},
    {kTypeCrossfade, "Crossfade", "a.a.a/a"},
    {kTypeStaticDelay, "Static Delay", "e.a/a"},
    {kTypeTapedeck1, "Tapedeck 1", "e.e.e.a/a"},
    {kTypeTapedeck2, "Tapedeck 2", "e.e.e.a.a/a.a"},
    {kTypeStep6, "6-Step", "e.a.a.a.a.a.a.a/a"},
    {kTypeMixer4, "Mixer 4", "e.a.e.a.e.a.e.a/a"},
    {kTypeAmp, "Amp", "e.a/a"},
    {kTypeSawtooth, "Sawtooth", "e.a/a"},
    {kTypeSawPulse, "Saw Pulse", "e.a.a/a"},
    {kTypeTriangle, "Triangle", "e.a/a"},
    {kTypeTriSync, "Tri Sync", "e.a.a.a.a/a"},
    {kTypeParabol, "Parabol", "e.a/a"},
    {kTypeParSync, "Par Sync", "e.a.a.a.a/a"},
    {kTypePulse, "Pulse", "e.a.a/a"},
    {kTypeDbdrEnv, "DBDR - Env", "e.e.e.e.e/a"},
    {kTypeStep8, "8-Step", "e.a.a.a.a.a.a.a.a.a/a"},
    {kTypeAdbdsrEnv, "ADBDSR-Env", "e.e.e.e.e.e.e/a"},
    {kTypeStereoPan, "Stereo Pan", "a.a/a.a"},
    {kTypeAudioToEventTrigger, "A to E Trig", "a.a/e"},
    {kTypeEventSum4, "+", "e.e.e.e/e"},
    {kTypeEventSum6, "+", "e.e.e.e.e.e/e"},
    {kTypeEventProduct4, "X", "e.e.e.e/e"},
    {kTypeAudioPitchToHz, "Exp", "a/a"},
    {kTypeRamp4, "4-Ramp", "e.a.e.e.e.e/a"},
    {kTypeRamp5, "5-Ramp", "e.a.e.e.e.e.e/a"},
    {kTypeRamp6, "6-Ramp", "e.a.e.e.e.e.e.e/a"},
    {kTypeRamp8, "8-Ramp", "e.a.e.e.e.e.e.e.e.e/a"},
    {kTypeAudioToGate, "A to Gate", "a.a/e"},
    {kTypeSampleHold, "Sample & H.", "a.a/a"},
    {kTypeTriParSymm, "Tri/Par Symm", "e.a.e/a.a"},
    {kTypeFourPoleHighPassFm, "4-Pole HP", "e.a.e.a/a.a.a.a.a.a"},
    {kTypeAudioToEventPeriodic, "A to E Perm", "a.a/e"},
    {kTypeAudioReciprocal, "1/x", "a/a"},
    {kTypeAudioDivide, "/", "a.a/a"},
    {kTypeEventReciprocal, "1/x", "e/e"},
    {kTypeEventDivide, "/", "e.e/e"},
    {kTypeRectifier, "Rectifier", "a/a.a"},
    {kTypeModDelay, "Mod. Delay", "a.a/a"},
    {kTypeEventPitchToHz, "Exp", "e/e"},
    {kTypeEventGainToLevel, "Log", "e/e"},
    {kTypeEventHzToPitch, "Log", "e/e"},
    {kTypeDifferentiator, "Differentiator", "a/a"},
    {kTypeIntegrator, "Integrator", "e.a/a"},
    {kTypeImpulse, "Impulse", "e.a/a"},
    {kTypeImpulseFm, "Impulse FM", "e.a.a/a"},
    {kTypeImpulseSync, "Impulse Sync", "e.a.a.a.a/a"},
    {kTypeTestModule, "Test Mod", "-/a"},
    {kTypeSampler, "Sampler", "e.e.a/a"},
    {kTypeSamplerFm, "Sampler FM", "e.a.a.e.a/a.e"},
    {kTypeAttackDecayEnv, "AD - Env", "a.a.e.e/a"},
    {kTypePeakDetector, "Peak Detect.", "e.a/a"},
    {kTypeEventFreqDivider, "Freq. Divider", "a.a.e.e/e"},
    {kTypeSamplerLoop, "Sampler Loop", "e.e.a.a.a.a.a.a/a.a.e"},
    {kTypeSampleLookup, "Lookup", "a.a/a.a.e"},
    {kTypeFourPoleFilter, "4-Pole Filter", "e.e.a/a.a.a.a.a.a"},
    {kTypeEventQuantizer, "Quantizer", "a.a.e/e.e"},
    {kTypeTimer, "Timer", "e/e.e"},
    {kTypeSine, "Sine", "e.a/a"},
    {kTypeParPwm, "Par PWM", "e.a.e/a"},
    {kTypeBiPulse, "Bi-Pulse", "e.a.a/a"},
    {kTypeBiSaw, "Bi-Saw", "e.a.a/a"},
    {kTypeFourPoleHighPass, "4-Pole HP", "e.e.a/a.a.a.a.a.a"},
    {kTypeSineSync, "Sine Sync", "e.a.a.a.a/a"},
    {kTypeOnePoleFilter, "1-Pole Filter", "e.a/a.a"},
    {kTypeUnitDelay, "T", "a/a"},
    {kTypeRouter1, "Router 1", "a.e/e"},
    {kTypeRouter2, "Router 2", "a.e.e/e"},
    {kTypeSeparator, "Separator", "a.e/e.e"},
    {kTypeComment, "Comment", "-/-"},
    {kTypeLamp, "Lmp", "a/-"},
    {kTypeLampTwin, "Lmp", "a/-"},
    {kTypeLevelMeter, "Lvl", "a/-"},
    {kTypeMeter, "Mtr", "a/-"},
    {kTypeMidiControllerOut, "Controller", "e/-"},
    {kTypeMidiPolyPressureOut, "SelPolyAT", "e/-"},
    {kTypeMidiNoteOut, "Note", "a.e/-"},
    {kTypeMidiPitchBendOut, "Pitchbend", "e/-"},
    {kTypeMixer5, "Mixer 5", "(ea)*5/a"},
    {kTypeMixer6, "Mixer 6", "(ea)*6/a"},
    {kTypeMixer8, "Mixer 8", "(ea)*8/a"},
    {kTypeStereoAmp, "Stereo Amp", "e.e.a/a.a"},
    {kTypeClockOsc, "Clock Osc", "e.a.e.a/e"},
    {kTypeScope, "Scope", "e.e.e.e.e.a/-"},
    {kTypeDiffuserDelay, "Diffuser Delay", "e.e.a/a"},
    {kTypeEventSmoother, "S", "e/a"},
    {kTypeAudioToEventSmoothed, "S", "a/e"},
    {kTypeGrainDelay, "Grain Delay", "a.a.a.a.a.a.a/a.a.e"},
    {kTypeBeatLoop, "Beat Loop", "ee a*9/aaeeee"},
    {kTypeTwoPoleFilter, "2-Pole Filter", "e.e.a/a.a.a"},
    {kTypeTwoPoleNotch, "2-Pole Notch", "e.e.a/a.a.a.a"},
    {kTypeResynth, "Resynth", "e a*11/aaee"},
    {kTypePitchFormer, "Pitch Former", "e a*11/aaee"},
    {kTypePeakEq, "Peak EQ", "e.e.e.a/a"},
    {kTypeHiShelfEq, "Hi Shelf EQ", "e.e.a/a"},
    {kTypeLoShelfEq, "Lo Shelf EQ", "e.e.a/a"},
    {kTypeValue, "Value", "e.a/e"},
    {kTypeAccumulator, "Accumulator", "e.e/e"},
    {kTypeCounter, "Counter", "e.e.e/e"},
    {kTypeMidiProgramChangeOut, "Prog. Ch.", "e/-"},
    {kTypeMidiChannelPressureOut, "Chan. AT", "e/-"},
    {kTypeRamp4Env, "4-Ramp - Env", "e*8/ae"},
    {kTypeRamp5Env, "5-Ramp - Env", "e*10/ae"},
    {kTypeRamp6Env, "6-Ramp - Env", "e*12/ae"},
    {kTypeAnd, "And", "e.e/e.e"},
    {kTypeOr, "Or", "e.e/e.e"},
    {kTypeExor, "Exor", "e.e/e.e"},
    {kTypeNot, "Not", "e/e.e"},
    {kTypeLfo, "LFO", "a.a.a.a.a/e.e.e"},
    {kTypeDbdsrEnv, "DBDSR - Env", "e.e.e.e.e.e/a"},
    {kTypeAdrEnv, "ADR - Env", "e.e.e.e/a"},
    {kTypeAudioToEvent, "A/E", "a/e"},
    {kTypeSlowRandom, "Slow Random", "a.a/e"},
    {kTypeDemux, "Demux", "e a*17/eee"},
    {kTypeHold, "Hold", "e.a/e"},
    {kTypeLevelLamp, "Lvl", "a/-"},
    {kTypeConstant, "1", "-/e"},
    {kTypeFader, "Fader", "-/e"},
    {kTypeSingleTriggerGate, "ST Gate", "-/e"},
    {kTypeNoteOnVelocity, "On. Vel", "-/e"},
    {kTypeNoteOffVelocity, "Off Vel.", "-/e"},
    {kTypeGate, "Gate", "-/e"},
    {kTypeNotePitch, "NotePitch", "-/e"},
    {kTypeSelectedNoteGate, "Sel. Gate", "-/e"},
    {kTypePolyPressure, "Poly AT", "-/e"},
    {kTypePitchBend, "PitchBend", "-/e"},
    {kTypeChannelPressure, "Chan. AT", "-/e"},
    {kTypeController, "Controller", "-/e"},
    {kTypeSelectedPolyPressure, "SelPolyAT", "-/e"},
    {kTypeButton, "Button", "-/e"},
    {kTypeClockTick, "1/96", "-/e"},
    {kTypeClockStartStop, "Start", "-/e"},
    {kTypeClockStartStopTwin, "Start", "-/e"},
    {kTypeClockSync, "Sync", "-/e"},
    {kTypeRpn, "RPN", "-/e"},
    {kTypeNrpn, "NRPN", "-/e"},
    {kTypeSpread, "Spread", "e/e"},
    {kTypeProgramChange, "Prog. Ch.", "-/e"},
    {kTypeAudioSwitch1, "Switch 1", "a/a"},
    {kTypeAudioSwitch2, "Switch 2", "a*2/a"},
    {kTypeAudioSwitch3, "Switch 3", "a*3/a"},
    {kTypeAudioSwitch4, "Switch 4", "a*4/a"},
    {kTypeAudioSwitch5, "Switch 5", "a*5/a"},
    {kTypeAudioSwitch6, "Switch 6", "a*6/a"},
    {kTypeEventSwitch1, "Switch 1", "e/e"},
    {kTypeEventSwitch2, "Switch 2", "e*2/e"},
    {kTypeEventSwitch3, "Switch 3", "e*3/e"},
    {kTypeEventSwitch4, "Switch 4", "e*4/e"},
    {kTypeEventSwitch5, "Switch 5", "e*5/e"},
    {kTypeEventSwitch6, "Switch 6", "e*6/e"},
    {kTypeAudioSwitch8, "Switch 8", "a*8/a"},
    {kTypeEventSwitch8, "Switch 8", "e*8/e"},
    {kTypeSwitch2x2, "Sw. 2x2", "a.a.a.a/a.a"},
    {kTypeMacro, "Macro", "-/-"},
    {kTypeAudioMonoInTerminal, "In", "-/a"},
    {kTypeAudioPolyInTerminal, "In", "-/a"},
    {kTypeEventMonoInTerminal, "In", "-/e"},
    {kTypeEventPolyInTerminal, "In", "-/e"},
    {kTypeAudioMonoOutTerminal, "Out", "a/-"},
    {kTypeAudioPolyOutTerminal, "Out", "a/-"},
    {kTypeEventMonoOutTerminal, "Out", "e/-"},
    {kTypeEventPolyOutTerminal, "Out", "e/-"},
    {kTypeInstrument, "Instrument", "-/-"},
};

// "e.a*3", "(ea)*5", "ee a*9" -> "eaaa..." letters.
std::string Expand(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size();) {
    std::string unit;
    if (s[i] == '(') {
      const size_t close = s.find(')', i);
      unit = s.substr(i + 1, close - i - 1);
      i = close + 1;
    } else if (s[i] == 'a' || s[i] == 'e') {
      unit = s.substr(i, 1);
      ++i;
    } else {
      ++i;  // separators and "-"
      continue;
    }
    if (i < s.size() && s[i] == '*') {
      size_t end = i + 1;
      while (end < s.size() && isdigit(static_cast<unsigned char>(s[end]))) ++end;
      const int n = std::stoi(s.substr(i + 1, end - i - 1));
      for (int k = 0; k < n; ++k) out += unit;
      i = end;
    } else {
      out += unit;
    }
  }
  return out;
}

std::string Letters(const KPortTable* table) {
  std::string out;
  for (int32_t i = 0; i < table->count; ++i) out += IsAudioKind((*table)[i].kind) ? 'a' : 'e';
  return out;
}

std::string Where(const TSignature& s) {
  std::ostringstream o;
  o << s.type.category << ":" << s.type.type << " \"" << s.name << "\"";
  return o.str();
}

std::vector<std::string> Split(const char* text, char sep) {
  std::vector<std::string> parts;
  std::string cur;
  for (const char* p = text; *p; ++p) {
    if (*p == sep) {
      parts.push_back(cur);
      cur.clear();
    } else {
      cur += *p;
    }
  }
  parts.push_back(cur);
  return parts;
}

bool IdServes(const TEventIdUse* use, const TSignature& s) {
  const std::string type =
      s.type.category == kCatModule
          ? std::to_string(s.type.type)
          : std::to_string(s.type.category) + ":" + std::to_string(s.type.type);
  for (const std::string& t : Split(use->types, ' '))
    if (t == type) return true;
  return false;
}

bool IdNamesPort(const TEventIdUse* use, const char* longName) {
  for (const std::string& n : Split(use->ports, '|'))
    if (n == longName) return true;
  return false;
}

const KModulDef* Find(const TSignature& s) { return FindModulDef(nullptr, s.type); }

bool CombinesVoices(const TSignature& s) {
  for (TModuleType t : {kTypeAudioVoiceCombiner, kTypeEventVoiceCombiner, kTypeSelectMax, kTypeSelectMin})
    if (s.type == t) return true;
  return false;
}

TEST(CatalogueCensus, HoldsEveryRecordWithItsNameAndPortSignature) {
  for (const TSignature& s : kSignatures) {
    SCOPED_TRACE(Where(s));
    const KModulDef* d = Find(s);
    ASSERT_NE(d, nullptr);
    EXPECT_STREQ(d->name, s.name) << "a type without a record of its own (src/mod/catalogue.cpp) falls through to another";
    const std::vector<std::string> halves = Split(s.ports, '/');
    ASSERT_EQ(halves.size(), 2u);
    EXPECT_EQ(Letters(d->inPorts), Expand(halves[0]));
    EXPECT_EQ(Letters(d->outPorts), Expand(halves[1]));
    EXPECT_EQ(d->portsApply, 1);
  }
}

// Each named type constant sits on exactly one row above, so its record is
// the one whose name and ports the row checks; and each row is named by one
// constant, so no record lacks a name.
TEST(CatalogueCensus, EveryNamedTypeIsTheRecordItNames) {
  for (const testkit::TNamedType& n : testkit::kNamedTypes) {
    int32_t rows = 0;
    for (const TSignature& s : kSignatures) rows += s.type == n.type ? 1 : 0;
    EXPECT_EQ(rows, 1) << n.constant << ": the census (kSignatures above) holds one row per type";
  }
  for (const TSignature& s : kSignatures) {
    int32_t names = 0;
    for (const testkit::TNamedType& n : testkit::kNamedTypes) names += s.type == n.type ? 1 : 0;
    EXPECT_EQ(names, 1) << Where(s);
  }
}

// The driver and retired types have no record of their own: the driver
// supplies the first, and the retired ones fall through to another record.
TEST(CatalogueCensus, DriverAndRetiredTypesHaveNoRecordOfTheirOwn) {
  for (TModuleType t : {kTypeAudioIn, kTypeAudioOut, kTypeOldAudioOutA, kTypeOldAudioOutB,
                        kTypeOldAudioOutC, kTypeOldSawtooth, kTypeOldGate}) {
    for (const TSignature& s : kSignatures) EXPECT_FALSE(s.type == t) << Where(s);
  }
  EXPECT_EQ(FindModulDef(nullptr, kTypeOldSawtooth), FindModulDef(nullptr, kTypeMacro));
  EXPECT_EQ(FindModulDef(nullptr, kTypeOldGate), FindModulDef(nullptr, kTypeAudioSum4));
}

TEST(CatalogueCensus, CountsTwoHundredThirtyThreeRecords) {
  std::set<const KModulDef*> records;
  for (const TSignature& s : kSignatures) records.insert(Find(s));
  EXPECT_EQ(records.size(), 233u) << "a new type's record counts here";
  // Every other index of categories 0 and 1 falls through to another record.
  std::set<std::pair<int32_t, int32_t>> listed;
  for (const TSignature& s : kSignatures) listed.insert({s.type.category, s.type.type});
  for (int32_t category : {0, 1}) {
    for (int32_t index = 0; index < kModuleTypeCount; ++index) {
      if (listed.count({category, index})) continue;
      const KModulDef* d = FindModulDef(nullptr, category, index);
      if (d) {
        EXPECT_TRUE(records.count(d)) << category << ":" << index;
      }
    }
  }
}

TEST(CatalogueCensus, EventInputsCarryTheIdOfTheirTypeAndPort) {
  for (const TSignature& s : kSignatures) {
    const KModulDef* d = Find(s);
    for (int32_t i = 0; i < d->inPorts->count; ++i) {
      const KPortDef& p = (*d->inPorts)[i];
      if (!IsEventKind(p.kind) || p.index == -1) continue;
      SCOPED_TRACE(Where(s) + " in-port " + std::to_string(i) + " \"" + p.label + "\"");
      ASSERT_GE(p.index, 0);
      ASSERT_LT(p.index, kEventIdCount);
      const TEventIdUse* use = FindEventIdUse(p.index);
      ASSERT_NE(use, nullptr) << "id " << p.index << " serves no port";
      EXPECT_TRUE(IdServes(use, s)) << "id " << p.index
                                    << " does not serve this type: add its index to the id's use (src/engine/event_ids.cpp)";
      EXPECT_TRUE(IdNamesPort(use, p.longName))
          << "id " << p.index << " is not for a port named \"" << p.longName << "\"";
    }
  }
}

TEST(CatalogueCensus, InputsAndOutputsLieInsideTheProcessingState) {
  for (const TSignature& s : kSignatures) {
    SCOPED_TRACE(Where(s));
    const KModulDef* d = Find(s);
    const bool unread = s.type.category >= kCatMacro;  // switches, terminals, macro, instrument
    std::set<int32_t> pointers;
    for (int32_t i = 0; i < d->inPorts->count; ++i) {
      const KPortDef& p = (*d->inPorts)[i];
      if (!IsAudioKind(p.kind)) continue;
      if (unread) {
        EXPECT_EQ(p.index, -1) << p.label;
        continue;
      }
      EXPECT_GE(p.index, 0) << p.label;
      EXPECT_LT(p.index, d->audioInputs) << p.label;
      EXPECT_TRUE(pointers.insert(p.index).second) << "two inputs share pointer " << p.index;
    }
    std::set<int32_t> words, slots;
    int32_t eventOuts = 0;
    for (int32_t i = 0; i < d->outPorts->count; ++i) {
      const KPortDef& p = (*d->outPorts)[i];
      if (unread) {
        EXPECT_EQ(p.index, -1) << p.label;
        continue;
      }
      if (IsAudioKind(p.kind)) {
        EXPECT_GE(p.index, 0) << p.label;
        EXPECT_LT(p.index, d->stateWords) << p.label;
        EXPECT_TRUE(words.insert(p.index).second) << "two outputs share word " << p.index;
      } else {
        ++eventOuts;
        EXPECT_TRUE(slots.insert(p.index).second) << "two outputs share slot " << p.index;
      }
    }
    EXPECT_EQ(d->eventOutputs, unread ? 0 : eventOuts);
    for (int32_t slot : slots) {
      EXPECT_GE(slot, 0);
      EXPECT_LT(slot, eventOuts);
    }
  }
}

TEST(CatalogueCensus, PortTablesStayWithinTwentyEntries) {
  int32_t mostIn = 0, mostOut = 0;
  for (const TSignature& s : kSignatures) {
    const KModulDef* d = Find(s);
    EXPECT_LE(d->inPorts->count, kMaxPortsPerTable) << Where(s);
    EXPECT_LE(d->outPorts->count, kMaxPortsPerTable) << Where(s);
    mostIn = std::max(mostIn, d->inPorts->count);
    mostOut = std::max(mostOut, d->outPorts->count);
  }
  EXPECT_EQ(mostIn, 19);
  EXPECT_EQ(mostOut, 6);
}

TEST(CatalogueCensus, MonoTypesHaveMonoPortsAndPolyTypesPolyPorts) {
  for (const TSignature& s : kSignatures) {
    SCOPED_TRACE(Where(s));
    const KModulDef* d = Find(s);
    const bool mono = d->startsMono != 0;
    if (mono) {
      EXPECT_EQ(d->monoSwitchable, 0);
    }
    for (int32_t i = 0; i < d->inPorts->count; ++i) {
      const int32_t kind = (*d->inPorts)[i].kind;
      EXPECT_EQ(kind == kAudioMono || kind == kEventMono, mono) << "in-port " << i;
    }
    for (int32_t i = 0; i < d->outPorts->count; ++i) {
      const int32_t kind = (*d->outPorts)[i].kind;
      // The voice combiners gather every voice into one mono output.
      const bool expectMono = mono || CombinesVoices(s);
      EXPECT_EQ(kind == kAudioMono || kind == kEventMono, expectMono) << "out-port " << i;
    }
  }
}

// Types whose files carry a control style: macro, instrument, the file types,
// both graph groups with the scope, switches, fader and button, and the
// lamps and meters.
bool CarriesControlStyle(const TSignature& s) {
  const int32_t category = s.type.category;
  if (category == kCatMacro || category == kCatInstrument || category == kCatSwitch) return true;
  static const TModuleType kTypes[] = {
      kTypeFader, kTypeButton,
      // file types
      kTypeTapedeck1, kTypeTapedeck2, kTypeSampler, kTypeSamplerFm, kTypeSamplerLoop,
      kTypeSampleLookup, kTypeBeatLoop, kTypeResynth, kTypePitchFormer,
      // graphs, group 1
      kTypeHoldEnv, kTypeHoldReleaseEnv, kTypeAttackReleaseEnv, kTypeDecayEnv,
      kTypeDecayReleaseEnv, kTypeDsrEnv, kTypeAdsrEnv, kTypeAdbdrEnv, kTypeOnePoleFilterFm,
      kTypeTwoPoleFilterFm, kTypeFourPoleFilterFm, kTypeTwoPoleNotchFm, kTypeDbdrEnv,
      kTypeAdbdsrEnv, kTypeFourPoleHighPassFm, kTypeAttackDecayEnv, kTypeFourPoleFilter,
      kTypeFourPoleHighPass, kTypeOnePoleFilter, kTypeTwoPoleFilter, kTypeTwoPoleNotch,
      kTypeRamp4Env, kTypeRamp5Env, kTypeRamp6Env, kTypeDbdsrEnv, kTypeAdrEnv,
      // graphs, group 2
      kTypePeakEqFm, kTypeHiShelfEqFm, kTypeLoShelfEqFm, kTypeEventShaper3, kTypeEventShaper4,
      kTypeShaper1Bp, kTypeShaper2Bp, kTypeShaper3Bp, kTypeEventShaper5, kTypeParabolShaper,
      kTypeCubicShaper, kTypePeakEq, kTypeHiShelfEq, kTypeLoShelfEq,
      kTypeScope,
      // lamps and meters
      kTypeLamp, kTypeLampTwin, kTypeLevelMeter, kTypeMeter, kTypeLevelLamp};
  for (TModuleType t : kTypes)
    if (s.type == t) return true;
  return false;
}

TEST(CatalogueCensus, PanelViewsBelongExactlyToTheTypesWithAControlStyle) {
  for (const TSignature& s : kSignatures) {
    const KModulDef* d = Find(s);
    EXPECT_EQ(d->panelView != kViewNone, CarriesControlStyle(s)) << Where(s);
  }
}

TEST(CatalogueCensus, EveryEventIdWithAPortIsUsedByTheCatalogue) {
  std::set<int32_t> used;
  for (const TSignature& s : kSignatures) {
    const KModulDef* d = Find(s);
    for (int32_t i = 0; i < d->inPorts->count; ++i)
      if (IsEventKind((*d->inPorts)[i].kind)) used.insert((*d->inPorts)[i].index);
  }
  // The driver's Audio Out record carries "Tune".
  const KModulDef* out = GetAudioOutModulDef(2);
  for (int32_t i = 0; i < out->inPorts->count; ++i)
    if (IsEventKind((*out->inPorts)[i].kind)) used.insert((*out->inPorts)[i].index);
  for (int32_t id = 0; id < kEventIdCount; ++id)
    if (FindEventIdUse(id)) {
      EXPECT_TRUE(used.count(id)) << "id " << id << " has no port";
    }
}

// Every ordinary type has what processes it: a per-sample, control-rate or
// display routine, or, for a type without audio outputs, an event routine
// behind each of its event inputs (those read their audio inputs when an
// event arrives). A new type whose routine is not
// installed fails here by its constant's name.
TEST(CatalogueCensus, EveryModuleTypeHasItsRoutine) {
  // Types that process nothing: their modules only show on a panel or in
  // the structure.
  const TModuleType kProcessNothing[] = {kTypeComment};
  const TEventRoutine none = GetEventRoutine(evNothing);
  for (const testkit::TNamedType& n : testkit::kNamedTypes) {
    if (n.type.category != kCatModule) continue;
    const KModulDef* d = FindModulDef(nullptr, n.type);
    ASSERT_NE(d, nullptr) << n.constant;
    const std::string where = std::string(n.constant) + " (" + std::to_string(n.type.category) + ":" +
                              std::to_string(n.type.type) + " \"" + d->name + "\")";
    const int32_t category = n.type.category, index = n.type.type;
    const bool routine = FindAudioRoutine(category, index) || FindControlRateRoutine(category, index) ||
                         FindDisplayUpdateRoutine(category, index);
    bool audioOutput = false, eventInput = false;
    for (int32_t i = 0; d->outPorts && i < d->outPorts->count; ++i)
      audioOutput = audioOutput || IsAudioKind((*d->outPorts)[i].kind);
    for (int32_t i = 0; d->inPorts && i < d->inPorts->count; ++i) {
      const KPortDef& p = (*d->inPorts)[i];
      if (!IsEventKind(p.kind)) continue;
      eventInput = true;
      if (!routine && !audioOutput) {
        EXPECT_NE(GetEventRoutine(p.index), none)
            << where << ": event input \"" << p.label << "\" (id " << p.index
            << ") has no event routine; install one in the event routine table (src/engine/event_routines.cpp)";
      }
    }
    bool processesNothing = false;
    for (TModuleType t : kProcessNothing) processesNothing = processesNothing || t == n.type;
    if (processesNothing) {
      EXPECT_FALSE(routine || audioOutput || eventInput) << where << " processes signals now";
      continue;
    }
    if (audioOutput) {
      EXPECT_TRUE(routine) << where << " has an audio output but no routine: install its per-sample routine "
                           << "(src/engine/*_routines.cpp, Install...Routines) or its control-rate routine";
    } else {
      EXPECT_TRUE(routine || eventInput) << where << " has no routine and no event input";
    }
  }
}

}  // namespace
