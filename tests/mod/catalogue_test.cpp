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
#include "src/mod/modul_def.h"

namespace {

struct TSignature {
  int32_t category;
  int32_t index;
  const char* name;
  const char* ports;  // in-port letters / out-port letters; "x*n" repeats, "-" none
};

// The name and port signature every record must have (a = audio, e = event).
const TSignature kSignatures[] = {
{0, 0, "+", "a.a/a"},
    {0, 1, "+", "a.a.a/a"},
    {0, 2, "+", "a.a.a.a/a"},
    {0, 3, "+", "e.e.e/e"},
    {0, 4, "+", "a.a.a.a.a.a/a"},
    {0, 5, "+", "a.a.a.a.a.a.a.a/a"},
    {0, 6, "+", "e.e/e"},
    {0, 7, "-1", "a/a"},
    {0, 8, "-1", "e/e"},
    {0, 9, "X", "a.a/a"},
    {0, 10, "X", "a.a.a/a"},
    {0, 11, "X", "a.a.a.a/a"},
    {0, 12, "X", "e.e.e/e"},
    {0, 13, "X", "a.a.a.a.a.a/a"},
    {0, 14, "X", "e.e/e"},
    {0, 15, "Saw FM", "e.a.a/a"},
    {0, 16, "Saw Sync", "e.a.a.a.a/a"},
    {0, 17, "Tri FM", "e.a.a/a"},
    {0, 18, "Par FM", "e.a.a/a"},
    {0, 19, "Pulse FM", "e.a.a.a/a"},
    {0, 20, "Pulse Sync", "e.a.a.a.a.a/a"},
    {0, 21, "Pulse 1-Ramp", "e.a.a.a.a/a"},
    {0, 22, "Pulse 2-Ramp", "e.a.a.a.a.a/a"},
    {0, 24, "Noise", "a/a"},
    {0, 25, "Random", "e.a/a"},
    {0, 26, "Sequencer", "a*9/eee"},
    {0, 27, "Sequencer", "a*11/eee"},
    {0, 28, "Sequencer", "a*15/eee"},
    {0, 29, "Sequencer", "a*19/eee"},
    {0, 30, "4-Step", "e.a.a.a.a.a/a"},
    {0, 31, "5-Step", "e.a.a.a.a.a.a/a"},
    {0, 32, "H - Env", "a.a.e/e"},
    {0, 33, "HR - Env", "a.a.e.e/a"},
    {0, 34, "AR - Env", "e.e.e/a"},
    {0, 35, "D - Env", "a.a.e/a"},
    {0, 36, "DR - Env", "e.e.e/a"},
    {0, 37, "DSR - Env", "e.e.e.e/a"},
    {0, 38, "ADSR - Env", "e.e.e.e.e/a"},
    {0, 39, "ADBDR - Env", "e.e.e.e.e.e/a"},
    {0, 40, "1-Pole Filter", "e.a.a/a.a"},
    {0, 41, "Mixer 2", "e.a.e.a/a"},
    {0, 42, "2-Pole Filter", "e.a.e.a/a.a.a"},
    {0, 43, "4-Pole Filter", "e.a.e.a/a.a.a.a.a.a"},
    {0, 44, "Peak EQ", "e.a.e.e.a/a"},
    {0, 45, "Hi Shelf EQ", "e.a.e.a/a"},
    {0, 46, "Lo Shelf EQ", "e.a.e.a/a"},
    {0, 47, "2-Pole Notch", "e.a.e.a/a.a.a.a"},
    {0, 48, "Mixer 3", "e.a.e.a.e.a/a"},
    {0, 49, "Sine FM", "e.a.a/a"},
    {0, 50, "Quantizer", "a.a/a.a"},
    {0, 51, "Ctrl. Shp 1", "a.a.a.e/e"},
    {0, 52, "Ctrl. Shp 2", "a.a.a.a.e/e"},
    {0, 53, "Event Delay", "a.e/e"},
    {0, 54, "Slew Limiter", "a.a.a/a"},
    {0, 55, "Freq. Divider", "a.a.a.a/a"},
    {0, 56, "Chopper", "a.a.a/a"},
    {0, 57, "Clipper", "a.a.a/a"},
    {0, 58, "Mod. Clipper", "a.a/a"},
    {0, 59, "Mirror 1", "a.a/a"},
    {0, 60, "Mirror 2", "a.a.a/a"},
    {0, 61, "Saturator", "a/a"},
    {0, 62, "Shaper 1 BP", "a.a.a/a"},
    {0, 63, "Shaper 2 BP", "a.a.a.a.a/a"},
    {0, 64, "Shaper 3 BP", "a.a.a.a.a.a.a/a"},
    {0, 65, "Ctr. Shp 3", "a.a.a.a.a.e/e"},
    {0, 66, "Parabol Shp", "a.a.a/a"},
    {0, 67, "Cubic Shp", "a.a.a.a/a"},
    {0, 68, "Randomize", "a.e/e"},
    {0, 69, "}", "a/a"},
    {0, 70, "}", "e/e"},
    {0, 71, "Select Max", "e.e/e"},
    {0, 72, "Select Min", "e.e/e"},
    {0, 73, ">>", "e/e"},
    {0, 74, "Exp", "e/e"},
    {0, 75, "Exp", "a/a"},
    {0, 76, "Relay 1", "a.a/a"},
    {0, 77, "Relay 2", "a.a.a/a"},
    {0, 78, "Crossfade", "a.a.a/a"},
    {0, 79, "Static Delay", "e.a/a"},
    {0, 80, "Tapedeck 1", "e.e.e.a/a"},
    {0, 81, "Tapedeck 2", "e.e.e.a.a/a.a"},
    {0, 84, "6-Step", "e.a.a.a.a.a.a.a/a"},
    {0, 86, "Mixer 4", "e.a.e.a.e.a.e.a/a"},
    {0, 87, "Amp", "e.a/a"},
    {0, 88, "Sawtooth", "e.a/a"},
    {0, 89, "Saw Pulse", "e.a.a/a"},
    {0, 90, "Triangle", "e.a/a"},
    {0, 91, "Tri Sync", "e.a.a.a.a/a"},
    {0, 92, "Parabol", "e.a/a"},
    {0, 93, "Par Sync", "e.a.a.a.a/a"},
    {0, 94, "Pulse", "e.a.a/a"},
    {0, 95, "DBDR - Env", "e.e.e.e.e/a"},
    {0, 96, "8-Step", "e.a.a.a.a.a.a.a.a.a/a"},
    {0, 97, "ADBDSR-Env", "e.e.e.e.e.e.e/a"},
    {0, 98, "Stereo Pan", "a.a/a.a"},
    {0, 99, "A to E Trig", "a.a/e"},
    {0, 100, "+", "e.e.e.e/e"},
    {0, 101, "+", "e.e.e.e.e.e/e"},
    {0, 102, "X", "e.e.e.e/e"},
    {0, 103, "Exp", "a/a"},
    {0, 104, "4-Ramp", "e.a.e.e.e.e/a"},
    {0, 105, "5-Ramp", "e.a.e.e.e.e.e/a"},
    {0, 106, "6-Ramp", "e.a.e.e.e.e.e.e/a"},
    {0, 107, "8-Ramp", "e.a.e.e.e.e.e.e.e.e/a"},
    {0, 108, "A to Gate", "a.a/e"},
    {0, 109, "Sample & H.", "a.a/a"},
    {0, 110, "Tri/Par Symm", "e.a.e/a.a"},
    {0, 111, "4-Pole HP", "e.a.e.a/a.a.a.a.a.a"},
    {0, 112, "A to E Perm", "a.a/e"},
    {0, 115, "1/x", "a/a"},
    {0, 116, "/", "a.a/a"},
    {0, 117, "1/x", "e/e"},
    {0, 118, "/", "e.e/e"},
    {0, 119, "Rectifier", "a/a.a"},
    {0, 120, "Mod. Delay", "a.a/a"},
    {0, 121, "Exp", "e/e"},
    {0, 122, "Log", "e/e"},
    {0, 123, "Log", "e/e"},
    {0, 124, "Differentiator", "a/a"},
    {0, 125, "Integrator", "e.a/a"},
    {0, 126, "Impulse", "e.a/a"},
    {0, 127, "Impulse FM", "e.a.a/a"},
    {0, 128, "Impulse Sync", "e.a.a.a.a/a"},
    {0, 129, "Test Mod", "-/a"},
    {0, 130, "Sampler", "e.e.a/a"},
    {0, 131, "Sampler FM", "e.a.a.e.a/a.e"},
    {0, 132, "AD - Env", "a.a.e.e/a"},
    {0, 133, "Peak Detect.", "e.a/a"},
    {0, 134, "Freq. Divider", "a.a.e.e/e"},
    {0, 135, "Sampler Loop", "e.e.a.a.a.a.a.a/a.a.e"},
    {0, 136, "Lookup", "a.a/a.a.e"},
    {0, 137, "4-Pole Filter", "e.e.a/a.a.a.a.a.a"},
    {0, 138, "Quantizer", "a.a.e/e.e"},
    {0, 139, "Timer", "e/e.e"},
    {0, 140, "Sine", "e.a/a"},
    {0, 141, "Par PWM", "e.a.e/a"},
    {0, 142, "Bi-Pulse", "e.a.a/a"},
    {0, 143, "Bi-Saw", "e.a.a/a"},
    {0, 144, "4-Pole HP", "e.e.a/a.a.a.a.a.a"},
    {0, 145, "Sine Sync", "e.a.a.a.a/a"},
    {0, 146, "1-Pole Filter", "e.a/a.a"},
    {0, 147, "T", "a/a"},
    {0, 148, "Router 1", "a.e/e"},
    {0, 149, "Router 2", "a.e.e/e"},
    {0, 150, "Separator", "a.e/e.e"},
    {0, 151, "Comment", "-/-"},
    {0, 152, "Lmp", "a/-"},
    {0, 153, "Lmp", "a/-"},
    {0, 154, "Lvl", "a/-"},
    {0, 155, "Mtr", "a/-"},
    {0, 156, "Controller", "e/-"},
    {0, 157, "SelPolyAT", "e/-"},
    {0, 158, "Note", "a.e/-"},
    {0, 159, "Pitchbend", "e/-"},
    {0, 160, "Mixer 5", "(ea)*5/a"},
    {0, 161, "Mixer 6", "(ea)*6/a"},
    {0, 162, "Mixer 8", "(ea)*8/a"},
    {0, 163, "Stereo Amp", "e.e.a/a.a"},
    {0, 164, "Clock Osc", "e.a.e.a/e"},
    {0, 165, "Scope", "e.e.e.e.e.a/-"},
    {0, 166, "Diffuser Delay", "e.e.a/a"},
    {0, 167, "S", "e/a"},
    {0, 168, "S", "a/e"},
    {0, 169, "Grain Delay", "a.a.a.a.a.a.a/a.a.e"},
    {0, 170, "Beat Loop", "ee a*9/aaeeee"},
    {0, 171, "2-Pole Filter", "e.e.a/a.a.a"},
    {0, 172, "2-Pole Notch", "e.e.a/a.a.a.a"},
    {0, 173, "Resynth", "e a*11/aaee"},
    {0, 174, "Pitch Former", "e a*11/aaee"},
    {0, 175, "Peak EQ", "e.e.e.a/a"},
    {0, 176, "Hi Shelf EQ", "e.e.a/a"},
    {0, 177, "Lo Shelf EQ", "e.e.a/a"},
    {0, 178, "Value", "e.a/e"},
    {0, 179, "Accumulator", "e.e/e"},
    {0, 180, "Counter", "e.e.e/e"},
    {0, 181, "Prog. Ch.", "e/-"},
    {0, 182, "Chan. AT", "e/-"},
    {0, 183, "4-Ramp - Env", "e*8/ae"},
    {0, 184, "5-Ramp - Env", "e*10/ae"},
    {0, 185, "6-Ramp - Env", "e*12/ae"},
    {0, 186, "And", "e.e/e.e"},
    {0, 187, "Or", "e.e/e.e"},
    {0, 188, "Exor", "e.e/e.e"},
    {0, 189, "Not", "e/e.e"},
    {0, 190, "LFO", "a.a.a.a.a/e.e.e"},
    {0, 191, "DBDSR - Env", "e.e.e.e.e.e/a"},
    {0, 192, "ADR - Env", "e.e.e.e/a"},
    {0, 193, "A/E", "a/e"},
    {0, 194, "Slow Random", "a.a/e"},
    {0, 197, "Demux", "e a*17/eee"},
    {0, 198, "Hold", "e.a/e"},
    {0, 199, "Lvl", "a/-"},
    {1, 0, "1", "-/e"},
    {1, 1, "Fader", "-/e"},
    {1, 3, "ST Gate", "-/e"},
    {1, 4, "On. Vel", "-/e"},
    {1, 5, "Off Vel.", "-/e"},
    {1, 6, "Gate", "-/e"},
    {1, 7, "NotePitch", "-/e"},
    {1, 8, "Sel. Gate", "-/e"},
    {1, 9, "Poly AT", "-/e"},
    {1, 10, "PitchBend", "-/e"},
    {1, 11, "Chan. AT", "-/e"},
    {1, 12, "Controller", "-/e"},
    {1, 13, "SelPolyAT", "-/e"},
    {1, 17, "Button", "-/e"},
    {1, 18, "1/96", "-/e"},
    {1, 19, "Start", "-/e"},
    {1, 20, "Start", "-/e"},
    {1, 21, "Sync", "-/e"},
    {1, 22, "RPN", "-/e"},
    {1, 23, "NRPN", "-/e"},
    {1, 24, "Spread", "e/e"},
    {1, 26, "Prog. Ch.", "-/e"},
    {7, 0, "Switch 1", "a/a"},
    {7, 1, "Switch 2", "a*2/a"},
    {7, 2, "Switch 3", "a*3/a"},
    {7, 3, "Switch 4", "a*4/a"},
    {7, 4, "Switch 5", "a*5/a"},
    {7, 5, "Switch 6", "a*6/a"},
    {7, 6, "Switch 1", "e/e"},
    {7, 7, "Switch 2", "e*2/e"},
    {7, 8, "Switch 3", "e*3/e"},
    {7, 9, "Switch 4", "e*4/e"},
    {7, 10, "Switch 5", "e*5/e"},
    {7, 11, "Switch 6", "e*6/e"},
    {7, 12, "Switch 8", "a*8/a"},
    {7, 13, "Switch 8", "e*8/e"},
    {7, 14, "Sw. 2x2", "a.a.a.a/a.a"},
    {4, 0, "Macro", "-/-"},
    {5, 0, "In", "-/a"},
    {5, 1, "In", "-/a"},
    {5, 2, "In", "-/e"},
    {5, 3, "In", "-/e"},
    {6, 0, "Out", "a/-"},
    {6, 1, "Out", "a/-"},
    {6, 2, "Out", "e/-"},
    {6, 3, "Out", "e/-"},
    {9, 0, "Instrument", "-/-"},
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
  o << s.category << ":" << s.index << " \"" << s.name << "\"";
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
      s.category == 0 ? std::to_string(s.index)
                      : std::to_string(s.category) + ":" + std::to_string(s.index);
  for (const std::string& t : Split(use->types, ' '))
    if (t == type) return true;
  return false;
}

bool IdNamesPort(const TEventIdUse* use, const char* longName) {
  for (const std::string& n : Split(use->ports, '|'))
    if (n == longName) return true;
  return false;
}

const KModulDef* Find(const TSignature& s) { return FindModulDef(nullptr, s.category, s.index); }

bool CombinesVoices(const TSignature& s) { return s.category == 0 && s.index >= 69 && s.index <= 72; }

TEST(CatalogueCensus, HoldsEveryRecordWithItsNameAndPortSignature) {
  for (const TSignature& s : kSignatures) {
    SCOPED_TRACE(Where(s));
    const KModulDef* d = Find(s);
    ASSERT_NE(d, nullptr);
    EXPECT_STREQ(d->name, s.name);
    const std::vector<std::string> halves = Split(s.ports, '/');
    ASSERT_EQ(halves.size(), 2u);
    EXPECT_EQ(Letters(d->inPorts), Expand(halves[0]));
    EXPECT_EQ(Letters(d->outPorts), Expand(halves[1]));
    EXPECT_EQ(d->portsApply, 1);
  }
}

TEST(CatalogueCensus, CountsTwoHundredThirtyThreeRecords) {
  std::set<const KModulDef*> records;
  for (const TSignature& s : kSignatures) records.insert(Find(s));
  EXPECT_EQ(records.size(), 233u);
  // Every other index of categories 0 and 1 falls through to another record.
  std::set<std::pair<int32_t, int32_t>> listed;
  for (const TSignature& s : kSignatures) listed.insert({s.category, s.index});
  for (int32_t category : {0, 1}) {
    for (int32_t index = 0; index < 200; ++index) {
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
      EXPECT_TRUE(IdServes(use, s)) << "id " << p.index << " does not serve this type";
      EXPECT_TRUE(IdNamesPort(use, p.longName))
          << "id " << p.index << " is not for a port named \"" << p.longName << "\"";
    }
  }
}

TEST(CatalogueCensus, InputsAndOutputsLieInsideTheProcessingState) {
  for (const TSignature& s : kSignatures) {
    SCOPED_TRACE(Where(s));
    const KModulDef* d = Find(s);
    const bool unread = s.category >= 4;  // switches, terminals, macro, instrument
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
  if (s.category == 4 || s.category == 9 || s.category == 7) return true;
  if (s.category == 1) return s.index == 1 || s.index == 17;
  if (s.category != 0) return false;
  static const std::set<int32_t> kTypes = {
      80, 81, 130, 131, 135, 136, 170, 173, 174,                                // file types
      32, 33, 34, 35, 36, 37, 38, 39, 40, 42, 43, 47, 95, 97, 111, 132, 137,  // graphs, group 1
      144, 146, 171, 172, 183, 184, 185, 191, 192,
      44, 45, 46, 51, 52, 62, 63, 64, 65, 66, 67, 175, 176, 177,  // graphs, group 2
      165,                                                        // scope
      152, 153, 154, 155, 199};                                   // lamps and meters
  return kTypes.count(s.index) != 0;
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

}  // namespace
