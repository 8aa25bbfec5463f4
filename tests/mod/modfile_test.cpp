// Ensemble, instrument and macro files: fixtures built field by field, read
// into the model, written back, cut at every length and refused when they
// break a limit.
#include "tests/mod/filebytes.h"
#include "tests/mod/ensemble_fixture.h"

#include "tests/common/savesafety.h"
#include "tests/common/testkit.h"

#include "src/engine/audioio.h"
#include "src/base/settings.h"
#include "src/base/file.h"
#include "platform/fs.h"
#include "src/mod/ensfile.h"
#include "src/mod/modaudio.h"
#include "src/mod/modfile.h"

#include <gtest/gtest.h>

#include <limits>
#include <cstring>
#include <cmath>
#include <algorithm>

#include <filesystem>
#include <fstream>
#include <functional>
#include <unistd.h>
#include <string>

using filebytes::TBytes;

namespace {

// ---------------------------------------------------------------------------
// Field-by-field record builders

struct Mod {
  int v = 200;
  bool name = false;
  int x = 0, y = 0;
  int cat = 0, type = 0, term = 0;
  int in = 0, out = 0, ev = 0, ai = 0, sw = 0, children = 0, mono = 0;
  uint32_t flags = 0x0E; // label and help follow the type; bit 3 as the reader sets it
};

// Fields 1 to 18 of a module record.
void Common(TBytes& b, const Mod& m) {
  b.Frame("KSModul").Version(uint32_t(m.v));
  if (m.name) b.Str("Module");
  b.Pnt(m.x, m.y).U32(uint32_t(m.cat)).U32(uint32_t(m.type)).U32(uint32_t(m.term)).U32(uint32_t(m.in));
  if (m.v < 120) b.Repeat(3, 0);
  b.U32(uint32_t(m.out));
  if (m.v < 120) b.Repeat(1, 0);
  b.U32(uint32_t(m.ev));
  if (m.v < 120) b.Repeat(1, 0);
  b.U32(uint32_t(m.ai)).U32(uint32_t(m.sw)).U32(uint32_t(m.children));
  if (m.v < 120) b.Repeat(2, 0);
  b.U32(uint32_t(m.mono));
  if (m.v >= 96) b.U32(m.flags);
}

// The window block of a version-200 macro or instrument.
void Window200(TBytes& b, int panelOpen = 0, int structOpen = 0, int hidden = 0) {
  b.Pnt(50, 50).Area(0, 0, 480, 240).Pnt(75, 75).Area(0, 0, 450, 300);
  b.U32(uint32_t(panelOpen)).U32(uint32_t(structOpen)).U32(uint32_t(hidden));
  b.U32(0).U32(0).Str("").Str("").Str("").Str("");
}

struct Snap {
  std::string name;
  uint32_t word;
};

// The instrument block of version 200.
void Instr200(TBytes& b, int voices = 1, const std::vector<Snap>& snaps = {}, int channel = 0,
              bool parentMap = false) {
  b.U32(uint32_t(voices) | (1u << 8) | (1u << 16));
  b.U32(0).U32(127).U32(64).U32(66); // key range, sustain and hold controllers
  b.U32(0).U32(0);                    // note shift, snapshot recall by MIDI
  b.F32(0.0f).F32(0.05f);             // own tune, unison spread
  b.U32(uint32_t(channel));
  b.U32(uint32_t(snaps.size()));
  for (const Snap& s : snaps) b.Str(s.name).U32(s.word);
  b.U32(parentMap ? 1 : 0);
  if (parentMap)
    for (int i = 0; i < 128; ++i) b.I32(i == 5 ? 2 : -1);
  b.Pnt(8, 8);
}

void InPort(TBytes& b, int kind, int index, const std::vector<std::pair<int, int>>& wires = {}, uint32_t flags = 0x06,
            int ownerV = 200, const std::string& label = "", const std::string& info = "") {
  b.Frame("KInPort").I32(kind).I32(index).U32(uint32_t(wires.size()));
  for (auto [c, p] : wires) b.I32(c).I32(p);
  if (ownerV < 120) b.Repeat(3, 0);
  b.U32(flags);
  if (!(flags & 2)) b.Str(label);
  if (!(flags & 4)) b.Str(info);
  b.End();
}

void OutPort(TBytes& b, int kind, int index, uint32_t flags = 0x06, int ownerV = 200, const std::string& label = "",
             const std::string& info = "") {
  b.Frame("KOutPort").I32(kind).I32(index);
  if (ownerV < 120) b.Repeat(3, 0);
  b.U32(flags);
  if (!(flags & 2)) b.Str(label);
  if (!(flags & 4)) b.Str(info);
  b.End();
}

const KModulDef* Def(int cat, int type) { return FindModulDef(nullptr, cat, type); }

// A module record of version 200 whose ports are the type's own entries.
Mod TypeMod(int cat, int type, int x = 0, int y = 0) {
  const KModulDef* d = Def(cat, type);
  Mod m;
  m.cat = cat;
  m.type = type;
  m.x = x;
  m.y = y;
  m.in = d && d->inPorts ? d->inPorts->count : 0;
  m.out = d && d->outPorts ? d->outPorts->count : 0;
  m.ev = d ? d->eventOutputs : 0;
  m.ai = d ? d->audioInputs : 0;
  m.sw = d ? d->stateWords : 0;
  m.mono = d ? d->startsMono : 0;
  return m;
}

void TypePorts(TBytes& b, const Mod& m, const std::vector<std::vector<std::pair<int, int>>>& wires = {}) {
  const KModulDef* d = Def(m.cat, m.type);
  for (int i = 0; i < m.in; ++i)
    InPort(b, (*d->inPorts)[i].kind, std::min((*d->inPorts)[i].index, 0), i < int(wires.size()) ? wires[size_t(i)]
                                                                                                  : std::vector<std::pair<int, int>>{});
  for (int i = 0; i < m.out; ++i) OutPort(b, (*d->outPorts)[i].kind, (*d->outPorts)[i].index);
}

void EnsembleRecord(TBytes& b, int v = 200, uint32_t rate = 44100, int controlRate = 200, uint32_t sync = 0,
                    float tempo = 120.0f) {
  b.Frame("KEnsemble").Version(uint32_t(v));
  if (v > 100) b.Str("Ensemble");
  if (v >= 98) b.U32(rate);
  if (v >= 196) b.I32(controlRate).U32(sync).F32(tempo);
  b.End();
}

// The top instrument's record of version 200, its label stored.
void TopRecord(TBytes& b, int children, std::vector<Snap> snaps = {}, uint32_t flags = 0x0200000C) {
  Mod m;
  m.name = true;
  m.cat = 9;
  m.children = children;
  m.flags = flags; // the help follows the type; shown in the ensemble panel
  Common(b, m);
  Window200(b, 0, 1);
  b.Str("Ensemble");
  b.U32(110);
  Instr200(b, 1, snaps);
  b.End();
}

// A fader's record of version 200: control block, snapshot steps, step size.
void Fader(TBytes& b, int x, int step, float lo, float hi) {
  Mod m = TypeMod(1, 1, x, 0);
  m.flags = 0x0E | (1u << 20) | (1u << 24);
  Common(b, m);
  b.U32(1);                            // control style
  b.F32(lo).F32(hi).U32(7).U32(0).U32(0); // range, controller, dropped MIDI words
  b.U32(0).U32(0).U32(uint32_t(step)); // snap isolate, MIDI mode, step
  b.Pnt(10, 20).Pnt(30, 40);
  b.U32(128);
  for (int i = 0; i < 128; ++i) b.U32(uint32_t(i % 3 == 0 ? step : 0));
  b.F64(0.0);
  b.End();
  TypePorts(b, m);
}

// ---------------------------------------------------------------------------
// Fixtures

std::vector<uint8_t> MinimalEnsemble(bool big) {
  TBytes b(big);
  b.Signature();
  EnsembleRecord(b);
  // An empty top feeds no sink: an opened ensemble is put into processing,
  // which marks it as not needed (flag 4), as a saved one has it.
  TopRecord(b, 0, {}, 0x0200001C);
  return b.data;
}

std::vector<uint8_t> WiredEnsemble() {
  TBytes b;
  b.Signature();
  EnsembleRecord(b);
  TopRecord(b, 2);
  Fader(b, 40, 64, -12.0f, 6.0f);
  Mod saw = TypeMod(0, 88, 120, 40);
  Common(b, saw);
  b.End();
  // The sawtooth's amplitude follows the fader.
  TypePorts(b, saw, {{}, {{0, 0}}});
  return b.data;
}

// A macro file: two terminals wired through, a window block, its own port
// labels.
std::vector<uint8_t> MacroFile(TPnt inBox = TPnt(10, 10), TPnt outBox = TPnt(90, 10)) {
  TBytes b;
  b.Signature();
  Mod macro;
  macro.name = true;
  macro.cat = 4;
  macro.in = 1;
  macro.out = 1;
  macro.children = 2;
  macro.flags = 0x08;
  Common(b, macro);
  Window200(b, 2, 1);
  b.Str("Chorus").Str("Thickens a sound.");
  b.U32(100);
  b.End();
  InPort(b, 1, -1, {}, 0x00, 200, "Src", "what goes in");
  OutPort(b, 1, -1, 0x00, 200, "Out", "what comes out");
  Mod in = TypeMod(5, 1, inBox.X(), inBox.Y());
  in.term = 0;
  Common(b, in);
  b.End();
  OutPort(b, 1, -1, 0x00, 200, "ignored", "");
  Mod out = TypeMod(6, 1, outBox.X(), outBox.Y());
  out.term = 0;
  Common(b, out);
  b.End();
  InPort(b, 1, -1, {{0, 0}});
  return b.data;
}

// An ensemble with an instrument inside that keeps snapshots and maps the
// parent's.
std::vector<uint8_t> NestedInstrument() {
  TBytes b;
  b.Signature();
  EnsembleRecord(b, 200, 48000, 400, 1, 98.5f);
  TopRecord(b, 1, {{"Intro", 0x40000000u}});
  Mod inner;
  inner.cat = 9;
  inner.x = 30;
  inner.children = 1;
  inner.flags = 0x0E | (1u << 28);
  Common(b, inner);
  Window200(b, 1, 3, 1);
  b.U32(110);
  const uint32_t packed = 100u | (3u << 16) | (2u << 24) | (1u << 30);
  Instr200(b, 8, {{"A", packed}, {"", 0x10000u * 1u + 100u}, {"Verse", 0xC0000000u}}, 4, true);
  b.End();
  Fader(b, 5, 100, 0.0f, 1.0f);
  return b.data;
}

// Panel sources with value tables: a controller with its step size, a button
// that stores no snapshot steps, a sync source with its clock words.
std::vector<uint8_t> PanelControls() {
  TBytes b;
  b.Signature();
  EnsembleRecord(b);
  TopRecord(b, 3);
  Mod ctl = TypeMod(1, 12, 5, 5);
  Common(b, ctl);
  b.F32(0.0f).F32(127.0f).U32(11).U32(3).U32(120).U32(1).U32(9).U32(77).Pnt(1, 2).Pnt(3, 4);
  b.U32(2).U32(5).U32(200); // two snapshot steps; 200 reads as 127
  b.F64(1.2345678e+57);     // no step size
  for (int i = 0; i < 128; ++i) b.F32(float(i) * 0.5f);
  b.End();
  TypePorts(b, ctl);
  Mod button = TypeMod(1, 17, 6, 6);
  button.flags = 0x0E;
  Common(b, button);
  b.U32(5);
  b.F32(0.0f).F32(1.0f).U32(64).U32(0).U32(127).U32(0).U32(0).U32(0).Pnt(0, 0).Pnt(0, 0);
  b.End();
  TypePorts(b, button);
  Mod sync = TypeMod(1, 21, 7, 7);
  Common(b, sync);
  b.F32(1.0f).F32(4.0f).U32(0).U32(0).U32(127).U32(0).U32(0).U32(0).Pnt(0, 0).Pnt(0, 0);
  b.U32(24).U32(3);
  b.End();
  TypePorts(b, sync);
  return b.data;
}

// A tapedeck whose tape lives in a file that is gone, and a sampler with an
// empty map.
std::vector<uint8_t> SoundModules(bool big) {
  TBytes b(big);
  b.Signature();
  EnsembleRecord(b);
  TopRecord(b, 2);
  Mod tape = TypeMod(0, 80, 10, 10);
  Common(b, tape);
  b.U32(500).Pnt(1, 1).Pnt(2, 2).F32(0.0f).Str("/nonexistent/tapes/take1.wav");
  b.End();
  TypePorts(b, tape);
  Mod sampler = TypeMod(0, 130, 20, 20);
  Common(b, sampler);
  b.U32(500).Pnt(3, 3).Pnt(4, 4);
  // The map body: order word, version, count, map record version, flag,
  // no-stereo, the map's file name (folder, name, type).
  b.U32(big ? 1 : 0).U32(200).U32(0).U32(1).I32(0).I32(0).Str("").Str("").U32(0);
  b.End();
  TypePorts(b, sampler);
  return b.data;
}

// Old versions: a version-99 ensemble record with three old instrument
// blocks, a top record of version 99 with its instrument block, a child of
// version 95 without flags, one of 119 with every dropped word, a switch and
// a fader of 144 with the extra word.
void OldBlock(TBytes& b, int v, int voices, int channel, const std::string& firstSnap) {
  b.U32(uint32_t(voices)).U32(10).U32(100).U32(64).U32(66).U32(2);
  if (v >= 97) b.U32(3).U32(1);
  b.U32(uint32_t(channel)).U32(9).Str("dropped");
  for (int i = 0; i < 128; ++i) {
    b.Str(i == 0 ? firstSnap : "");
    if (v >= 97) b.U32(i < 2 ? 1 : 0);
  }
}

std::vector<uint8_t> OldEnsemble99() {
  TBytes b;
  b.Signature();
  b.Frame("KEnsemble").Version(99, 3).U32(1011); // 1011 + 98 = 1109: 33075 Hz
  OldBlock(b, 99, 4, 3, "First");
  OldBlock(b, 99, 9, 5, "Second");
  OldBlock(b, 99, 9, 6, "Third");
  b.End();
  Mod top;
  top.v = 99;
  top.cat = 9;
  top.children = 3;
  top.flags = 0x0C;
  Common(b, top);
  b.U32(1);                                                    // panel locked
  b.U32(492).U32(297).I32(5).I32(6).U32(462).U32(331).I32(7).I32(8); // old window sizes
  b.Str("Old");
  // Instrument block of 99: voice word, limits, channel count, shift, recall,
  // channels, then 128 snapshots with their stored flags.
  b.U32(5).U32(0).U32(127).U32(64).U32(66).U32(1).U32(0).U32(0).U32(2);
  for (int i = 0; i < 128; ++i) b.Str(i == 1 ? "Snap" : "").U32(i == 1 ? 1 : i == 2 ? 32 : 0); // 32: stored too
  b.End();
  // A version-95 child: no flags word, its label and help stored.
  Mod old = TypeMod(0, 88, 3, 4);
  old.v = 95;
  Common(b, old);
  b.Str("Saw95").Str("Old help");
  b.End();
  {
    const KModulDef* d = Def(0, 88);
    for (int i = 0; i < old.in; ++i) InPort(b, (*d->inPorts)[i].kind, 0, {}, 0x06, 95);
    for (int i = 0; i < old.out; ++i) OutPort(b, (*d->outPorts)[i].kind, 0, 0x06, 95);
  }
  // A version-119 fader with its old control block and value table.
  Mod f = TypeMod(1, 1, 9, 9);
  f.v = 119;
  f.flags = 0x0E;
  Common(b, f);
  b.F32(0.0f).F32(10.0f).U32(7).U32(0).U32(0).U32(0).U32(1).U32(0).U32(64).U32(1).Pnt(3, 3);
  for (int i = 0; i < 128; ++i) b.U32(uint32_t(i & 127));
  for (int i = 0; i < 128; ++i) b.F32(float(i));
  b.End();
  {
    const KModulDef* d = Def(1, 1);
    for (int i = 0; i < f.out; ++i) OutPort(b, (*d->outPorts)[i].kind, 0, 0x06, 119);
  }
  // A version-144 switch: the one version with one more control word.
  Mod sw = TypeMod(7, 14, 2, 2);
  sw.v = 144;
  Common(b, sw);
  b.U32(200);
  b.F32(0.0f).F32(1.0f).U32(1).U32(0x1FF).U32(127).U32(0).U32(0).U32(1).Pnt(0, 0).U32(0xDEAD);
  b.U32(3).U32(1).U32(0).U32(1);
  b.End();
  TypePorts(b, sw);
  return b.data;
}

// Instruments of versions 156, 157, 196 and 197 inside an ensemble of 145
// (sample-rate code 1109).
std::vector<uint8_t> OldInstruments() {
  TBytes b;
  b.Signature();
  b.Frame("KEnsemble").Version(145).Str("Ensemble").U32(1109).End();
  Mod top;
  top.v = 145;
  top.name = true;
  top.cat = 9;
  top.children = 4;
  top.flags = 0x0C;
  Common(b, top);
  // A damaged structure height at the lowest value: the frame is taken off
  // as 32-bit words wrap.
  b.U32(492).U32(297).I32(0).I32(0).U32(462).U32(0x80000000u).I32(0).I32(0);
  b.Str("Top");
  b.U32(110);
  b.U32(2).U32(0).U32(127).U32(64).U32(66).U32(1).U32(0).U32(0).F32(0.5f).F32(0.1f).U32(0);
  b.U32(1).Str("S").U32(1);
  b.End();
  for (int v : {156, 157, 196, 197}) {
    Mod m;
    m.v = v;
    m.cat = 9;
    m.flags = 0x0E;
    Common(b, m);
    if (v < 157) b.U32(500).U32(400).I32(1).I32(2).U32(300).U32(200).I32(3).I32(4);
    else b.Pnt(1, 2).Area(0, 0, 400, 300).Pnt(3, 4).Area(0, 0, 200, 100);
    if (v >= 192) b.U32(0).U32(v == 197 ? 2 : 0); // opening numbers
    if (v >= 195) b.U32(0);
    b.U32(110);
    b.U32(3).U32(0).U32(127).U32(64).U32(66);
    if (v < 197) b.U32(2);
    b.U32(0).U32(0).F32(1.0f).F32(0.2f);
    b.U32(uint32_t(v - 190));
    if (v < 197) b.U32(15);
    // Older words whose low bits are 0 count as stored, named or not.
    if (v < 197) b.U32(3).Str("X").U32(4).Str("").U32(32).Str("").U32(0);
    else b.U32(2).Str("X").U32(200u | (2u << 16) | (1u << 24) | (1u << 30)).Str("").U32(1u << 30);
    if (v >= 197) b.U32(0);
    if (v >= 190) b.Pnt(5, 5);
    b.End();
  }
  return b.data;
}

struct Fixture {
  const char* name;
  std::function<std::vector<uint8_t>()> make;
};

const std::vector<Fixture>& Ensembles() {
  static const std::vector<Fixture> all = {
      {"minimal", [] { return MinimalEnsemble(false); }},
      {"minimal big-endian", [] { return MinimalEnsemble(true); }},
      {"wired", WiredEnsemble},
      {"nested instrument", NestedInstrument},
      {"panel controls", PanelControls},
      {"sound modules", [] { return SoundModules(false); }},
      {"sound modules big-endian", [] { return SoundModules(true); }},
      {"old 99", OldEnsemble99},
      {"old instruments", OldInstruments},
  };
  return all;
}

// ---------------------------------------------------------------------------
// The model side

class FileTest : public ::testing::Test {
protected:
  FileTest() : files(fx.ens) { files.GetUndo().SetFolder(TStr(tmp.c_str())); }

  int32_t Open(const std::vector<uint8_t>& bytes) {
    TMemInOut s(bytes);
    return files.OpenEnsembleStream(s, TStr("fixture.ens"));
  }
  std::vector<uint8_t> Write() {
    TMemInOut s;
    s.SetByteOrder(order);
    KModulFile::WriteEnsemble(s, files);
    return s.Data();
  }
  KSModul* Top() { return fx.Top(); }

  ensfix::TMidiMakerScope midiScope;
  ensfix::TEnsembleFixture fx;
  std::string tmp = testkit::TempDir("modfile");
  KEnsembleFiles files;
  int order = 0;
};

// A text of everything the model holds that a file stores.
// The port flags a file keeps: mute and whether label and help follow the type.
constexpr uint8_t kStoredPortFlags = KPort::kMuted | KPort::kLabelFollowsDef | KPort::kInfoFollowsDef;

std::string Dump(KSModul* m, int depth = 0) {
  std::string s(size_t(depth) * 2, ' ');
  const KModulDef* def = m->GetTypeDef();
  const bool panel = def && def->panelView != kViewNone;
  s += FormatStr("%d:%d @%d,%d t%d mono%d flags%08x style%d '%s' '%s' ip%d,%d ep%d,%d min%g max%g step%d",
                 m->GetCategory(), m->GetTypeIndex(), m->GetPos().X(), m->GetPos().Y(), m->GetTerminalNo(),
                 m->IsMono() ? 1 : 0, m->GetFlagsWord() & ~((1u << 3) | (1u << 4)), m->GetCtrlStyle(),
                 m->GetLabel().CStr(), m->GetHelp().CStr(), panel ? m->GetInstrCtrlPos().X() : 0,
                 panel ? m->GetInstrCtrlPos().Y() : 0, panel ? m->GetEnsCtrlPos().X() : 0,
                 panel ? m->GetEnsCtrlPos().Y() : 0, double(m->GetMinimum()), double(m->GetMaximum()),
                 m->GetControlStep())
           .CStr();
  for (int i = 0; i < KSModul::kSteps; ++i)
    if (m->GetSnapStep(i)) s += FormatStr(" s%d=%d", i, m->GetSnapStep(i)).CStr();
  // A fader's table follows its range.
  if (m->HasValueTable() && !m->IsType(kTypeFader))
    s += FormatStr(" v0=%g v127=%g", double(m->GetTableValue(0)), double(m->GetTableValue(127))).CStr();
  if (KInstr* in = m->GetOwnInstr()) {
    s += FormatStr(" [voices %d/%d/%d keys %d-%d ch%d tune%g spread%g hidden%d", in->GetVoices(), in->GetMaxUnison(),
                   in->GetMinUnison(), in->GetLowerKey(), in->GetUpperKey(), in->GetMidiChannel(),
                   double(in->GetOwnTune()), double(in->GetUnisonSpread()), in->IsStructureHidden() ? 1 : 0)
             .CStr();
    for (int i = 0; i < KInstr::kSnaps; ++i)
      if (in->IsSnapStored(i) || !in->GetSnapName(i).IsEmpty())
        s += FormatStr(" snap%d'%s'%d", i, in->GetSnapName(i).CStr(), in->IsSnapStored(i) ? 1 : 0).CStr();
    s += "]";
  }
  s += "\n";
  for (int i = 0; i < m->GetInPortCount(); ++i) {
    KInPort* p = m->GetInPort(i);
    s += FormatStr("  in %d/%d '%s' '%s' flags%02x", p->GetKind(), p->GetIndexField(), p->GetLabel().CStr(),
                   p->GetInfo().CStr(), p->GetFlags() & kStoredPortFlags)
             .CStr();
    for (int w = 0; w < p->GetWireCount(); ++w)
      s += FormatStr(" <-%d.%d%s", p->GetSourceChild(w), p->GetSourcePort(w), p->GetSource(w) ? "" : "!").CStr();
    s += "\n";
  }
  for (int i = 0; i < m->GetOutPortCount(); ++i) {
    KOutPort* p = m->GetOutPort(i);
    s += FormatStr("  out %d/%d '%s' flags%02x dests%d\n", p->GetKind(), p->GetIndexField(), p->GetLabel().CStr(),
                   p->GetFlags() & kStoredPortFlags, p->GetDestinationCount())
             .CStr();
  }
  for (int i = 0; i < m->GetChildCount(); ++i) s += Dump(m->GetChild(i), depth + 1);
  return s;
}

// ---------------------------------------------------------------------------
// Signature and ensemble record

TEST(FileSignature, FourSignaturesAreAcceptedAndSetTheOrder) {
  testkit::ScriptedHost host;
  struct Case {
    std::vector<uint8_t> bytes;
    int order; // -1: refused
  } cases[] = {
      {{0x3A, 1, 1, 0, 0}, 0}, {{0x3A, 2, 2, 0, 0}, 1}, {{0x3A, 1, 1, 0, 1}, 0}, {{0x3A, 2, 2, 0, 1}, 1},
      {{0x3A, 1, 2, 0, 0}, -1}, {{0x3B, 1, 1, 0, 0}, -1}, {{0x3A, 1, 1, 1, 0}, -1}, {{0x3A, 1, 1, 0, 2}, -1},
      {{0x3A, 3, 3, 0, 0}, -1}, {{0x3A, 1}, -1},
  };
  for (const Case& c : cases) {
    TMemInOut s(c.bytes);
    if (c.order < 0) {
      EXPECT_THROW(KModulFile::ReadSignature(s), TError) << testkit::Hex(c.bytes);
      EXPECT_EQ(std::string(LastError()->Expand().CStr()), "Not a valid Volteon file.");
    } else {
      KModulFile::ReadSignature(s);
      EXPECT_EQ(s.GetByteOrder(), c.order) << testkit::Hex(c.bytes);
    }
  }
}

TEST_F(FileTest, EnsembleRecordVersionsAndSampleRates) {
  testkit::ScriptedHost host;
  struct Case {
    uint32_t version, count, marker;
    bool name;
    uint32_t stored;
    int32_t rate;        // the ensemble's rate after reading, or
    const char* message; // the refusal
  } cases[] = {
      {200, 0, 0, true, 44100, 44100, nullptr},
      {201, 0, 0, true, 44100, 0,
       "This file was created by a newer version of Volteon (2.0.1).\nPlease get a software update!"},
      // Below 143 the stored rate is 98 less.
      {100, 0, 0, false, 44002, 44100, nullptr},
      {100, 0, 5, true, 44002, 44100, nullptr},
      {101, 0, 0, true, 44002, 44100, nullptr},
      {120, 0, 0, true, 1011, 33075, nullptr},
      {145, 0, 0, true, 1109, 33075, nullptr},
      {160, 0, 0, true, 1109, 1109, nullptr},
      {150, 0, 0, true, 1102, 132300, nullptr},
      {99, 17, 0, false, 1000, 0, "Not a valid Volteon file."},
      {100, 1, 0, false, 1000, 0, "Not a valid Volteon file."},
      {98, 0, 1, false, 1000, 0, "Not a valid Volteon file."},
      {97, 0, 0, false, 0, 0, nullptr},
  };
  for (const Case& c : cases) {
    fx.ens.ResetReadState();
    TBytes b;
    b.Frame("KEnsemble").Version(c.version, c.count, c.marker);
    if (c.name) b.Str("Ensemble");
    if (c.version >= 98) b.U32(c.stored);
    if (c.version >= 196) b.I32(200).U32(0).F32(120.0f);
    b.End();
    TMemInOut s(b.data);
    if (c.message) {
      EXPECT_THROW(KModulFile::ReadEnsembleRecord(s, files), TError) << c.version;
      EXPECT_EQ(std::string(LastError()->Expand().CStr()), c.message) << c.version;
      continue;
    }
    fx.ens.SetSampleRate(-1);
    KModulFile::ReadEnsembleRecord(s, files);
    EXPECT_EQ(files.GetReadState(), 1);
    if (c.version >= 98) EXPECT_EQ(fx.ens.GetSampleRate(), c.rate) << c.version;
    else EXPECT_EQ(fx.ens.GetSampleRate(), -1);
    EXPECT_EQ(s.Remaining(), 0) << c.version;
  }
  // A kind name other than "Ensemble", and a second ensemble record.
  fx.ens.ResetReadState();
  TBytes wrong;
  wrong.Frame("KEnsemble").Version(200).Str("ensemble").U32(44100).I32(200).U32(0).F32(120.0f).End();
  TMemInOut s(wrong.data);
  EXPECT_THROW(KModulFile::ReadEnsembleRecord(s, files), TError);
  TBytes good;
  good.Frame("KEnsemble").Version(120).Str("Ensemble").U32(0).End();
  TMemInOut first(good.data), second(good.data);
  fx.ens.ResetReadState();
  KModulFile::ReadEnsembleRecord(first, files);
  EXPECT_THROW(KModulFile::ReadEnsembleRecord(second, files), TError);
}

TEST(FileVersionText, VersionTexts) {
  EXPECT_STREQ(FormatFileVersion(200).CStr(), "2.0.4");
  EXPECT_STREQ(FormatFileVersion(196).CStr(), "1.9.6");
  EXPECT_STREQ(FormatFileVersion(150).CStr(), "1.5.0");
}

// ---------------------------------------------------------------------------
// Reading fixtures into the model

TEST_F(FileTest, MinimalEnsembleIsTheTopInstrumentAndWritesBackByteForByte) {
  for (bool big : {false, true}) {
    const std::vector<uint8_t> bytes = MinimalEnsemble(big);
    EXPECT_EQ(bytes.size(), 295u);
    ASSERT_EQ(Open(bytes), 1);
    EXPECT_EQ(Top()->GetCategory(), kCatInstrument);
    EXPECT_EQ(Top()->GetChildCount(), 0);
    EXPECT_STREQ(Top()->GetLabel().CStr(), "Ensemble");
    ASSERT_NE(Top()->GetOwnInstr(), nullptr);
    EXPECT_EQ(Top()->GetOwnInstr()->GetMidiChannel(), 1);
    EXPECT_EQ(fx.ens.GetSampleRate(), 44100);
    order = big ? 1 : 0;
    EXPECT_EQ(testkit::Hex(Write()), testkit::Hex(bytes)) << (big ? "big-endian" : "little-endian");
  }
}

TEST_F(FileTest, WiredEnsembleLinksTheWireAndKeepsTheFader) {
  ASSERT_EQ(Open(WiredEnsemble()), 1);
  ASSERT_EQ(Top()->GetChildCount(), 2);
  KSModul* fader = Top()->GetChild(0);
  KSModul* saw = Top()->GetChild(1);
  EXPECT_TRUE(fader->IsType(kTypeFader));
  EXPECT_FLOAT_EQ(fader->GetMinimum(), -12.0f);
  EXPECT_FLOAT_EQ(fader->GetMaximum(), 6.0f);
  EXPECT_EQ(fader->GetControlStep(), 64);
  EXPECT_EQ(fader->GetSnapStep(3), 64);
  EXPECT_EQ(fader->GetSnapStep(4), 0);
  EXPECT_EQ(fader->GetInstrCtrlPos(), TPnt(10, 20));
  EXPECT_EQ(fader->GetEnsCtrlPos(), TPnt(30, 40));
  // The fader's table is computed from its range.
  EXPECT_FLOAT_EQ(fader->GetTableValue(0), -12.0f);
  EXPECT_FLOAT_EQ(fader->GetTableValue(127), 6.0f);
  ASSERT_EQ(saw->GetInPort(1)->GetWireCount(), 1);
  EXPECT_EQ(saw->GetInPort(1)->GetSource(0), fader->GetOutPort(0));
  EXPECT_EQ(fader->GetOutPort(0)->GetDestination(0), saw->GetInPort(1));
  EXPECT_EQ(saw->GetPos(), TPnt(120, 40));
  EXPECT_STREQ(saw->GetLabel().CStr(), "Sawtooth");
}

TEST_F(FileTest, MacroFileReadsTerminalsLabelsAndWindows) {
  testkit::ScriptedHost host;
  KSModul* macro = new KSModul(&fx.ens, Top());
  std::unique_ptr<KSModul> owner(macro);
  TMemInOut s(MacroFile());
  files.SetReadState(1);
  KModulFile::ReadSignature(s);
  KModulFile::ReadTree(s, *macro, files, true);
  EXPECT_EQ(s.Remaining(), 0);
  EXPECT_EQ(macro->GetCategory(), kCatMacro);
  EXPECT_STREQ(macro->GetLabel().CStr(), "Chorus");
  EXPECT_STREQ(macro->GetHelp().CStr(), "Thickens a sound.");
  EXPECT_STREQ(macro->GetInPort(0)->GetLabel().CStr(), "Src");
  EXPECT_STREQ(macro->GetInPort(0)->GetInfo().CStr(), "what goes in");
  EXPECT_STREQ(macro->GetOutPort(0)->GetLabel().CStr(), "Out");
  EXPECT_EQ(macro->GetData()->panelOpenNo, 2);
  EXPECT_EQ(macro->GetData()->structOpenNo, 1);
  EXPECT_EQ(macro->GetPanelWndArea(), TArea(0, 0, 480, 240));
  ASSERT_EQ(macro->GetChildCount(), 2);
  EXPECT_EQ(macro->GetInstr(), Top()->GetInstr());
  KSModul* in = macro->GetChild(0);
  KSModul* out = macro->GetChild(1);
  EXPECT_TRUE(in->IsType(kTypeAudioPolyInTerminal));
  // An in terminal keeps no out-port label.
  EXPECT_STREQ(in->GetOutPort(0)->GetLabel().CStr(), "");
  EXPECT_EQ(out->GetInPort(0)->GetSource(0), in->GetOutPort(0));
  EXPECT_EQ(macro->FindInTerminal(0), in);
  EXPECT_EQ(macro->FindOutTerminal(0), out);
  // Written as a macro file it reads back to the same bytes.
  TMemInOut w;
  KModulFile::WriteModuleFile(w, *macro, files);
  KSModul* again = new KSModul(&fx.ens, Top());
  std::unique_ptr<KSModul> owner2(again);
  TMemInOut r(w.Data());
  files.SetReadState(1);
  KModulFile::ReadSignature(r);
  KModulFile::ReadTree(r, *again, files, true);
  TMemInOut w2;
  KModulFile::WriteModuleFile(w2, *again, files);
  EXPECT_EQ(testkit::Hex(w.Data()), testkit::Hex(w2.Data()));
  EXPECT_EQ(Dump(macro), Dump(again));
}

TEST_F(FileTest, NestedInstrumentKeepsSnapshotsVoicesAndClock) {
  ASSERT_EQ(Open(NestedInstrument()), 1);
  KSModul* inner = Top()->GetChild(0);
  ASSERT_NE(inner, nullptr);
  KInstr* in = inner->GetOwnInstr();
  ASSERT_NE(in, nullptr);
  EXPECT_NE(in, Top()->GetOwnInstr());
  EXPECT_EQ(inner->GetChild(0)->GetInstr(), in);
  EXPECT_EQ(in->GetVoices(), 8);
  EXPECT_EQ(in->GetMidiChannel(), 5);
  EXPECT_TRUE(in->IsStructureHidden());
  EXPECT_TRUE(in->IsSnapStored(0));
  EXPECT_STREQ(in->GetSnapName(0).CStr(), "A");
  EXPECT_FALSE(in->IsSnapStored(1));
  EXPECT_TRUE(in->IsSnapStored(2)); // stored flag 3 counts as stored
  EXPECT_FALSE(in->IsSnapStored(3));
  EXPECT_TRUE(in->IsProgramMapEnabled());
  EXPECT_EQ(in->GetParentSnapMap(5), 2);
  EXPECT_EQ(in->GetParentSnapMap(6), -1);
  EXPECT_TRUE(inner->IsAutoVoiceReduction());
  EXPECT_EQ(inner->GetCtrlStyle(), 110);
  EXPECT_TRUE(Top()->GetOwnInstr()->IsSnapStored(0));
  EXPECT_EQ(fx.Driver().GetControlRate(), 400);
  EXPECT_FLOAT_EQ(fx.Driver().GetTempo(), 98.5f);
  EXPECT_TRUE(IsExternalSync());
  SetExternalSync(false);
}

TEST_F(FileTest, PanelControlsReadTheirTablesAndWords) {
  ASSERT_EQ(Open(PanelControls()), 1);
  KSModul* ctl = Top()->GetChild(0);
  EXPECT_EQ(ctl->GetControllerNo(), 11);
  EXPECT_EQ(ctl->GetMidiLower(), 3);
  EXPECT_EQ(ctl->GetMidiUpper(), 120);
  EXPECT_TRUE(ctl->IsSnapIsolate());
  EXPECT_EQ(ctl->GetControlStep(), 77);
  EXPECT_EQ(ctl->GetSnapStep(0), 5);
  EXPECT_EQ(ctl->GetSnapStep(1), 127);
  EXPECT_EQ(ctl->GetSnapStep(2), 0);
  EXPECT_EQ(ctl->GetStepSize(), 0.0);
  EXPECT_FLOAT_EQ(ctl->GetTableValue(10), 5.0f);
  KSModul* button = Top()->GetChild(1);
  EXPECT_EQ(button->GetControlStep(), 0);
  EXPECT_EQ(button->GetSnapStep(0), 0);
  KSModul* sync = Top()->GetChild(2);
  EXPECT_EQ(sync->GetData()->syncWords[0], 24);
  EXPECT_EQ(sync->GetData()->syncWords[1], 3);
}

TEST_F(FileTest, MissingTapeKeepsItsNameAndAnEmptyMapReads) {
  ASSERT_EQ(Open(SoundModules(true)), 1);
  KSModul* tape = Top()->GetChild(0);
  
  ASSERT_NE(tape->GetRecordBuffer(), nullptr);
  EXPECT_EQ(tape->GetMaximum(), 0.0f);
  EXPECT_STREQ(tape->GetRecordBuffer()->GetFileName()->GetPath().CStr(), "/nonexistent/tapes/take1.wav");
  KSModul* sampler = Top()->GetChild(1);
  ASSERT_NE(sampler->GetSampleMap(), nullptr);
  EXPECT_EQ(sampler->GetSampleMap()->GetCount(), 0);
  EXPECT_EQ(sampler->GetInstrCtrlPos(), TPnt(3, 3));
  // The written file still names the tape.
  const std::vector<uint8_t> w = Write();
  EXPECT_NE(testkit::Hex(w).find(testkit::Hex(testkit::Bytes({'t', 'a', 'k', 'e', '1'}))), std::string::npos);
}

TEST_F(FileTest, OldVersionsReadWithTheirConversions) {
  ASSERT_EQ(Open(OldEnsemble99()), 1);
  EXPECT_EQ(fx.ens.GetSampleRate(), 33075);
  KInstr* in = Top()->GetOwnInstr();
  ASSERT_NE(in, nullptr);
  // The instrument block of the top record overrides the first old block.
  EXPECT_EQ(in->GetVoices(), 5);
  EXPECT_EQ(in->GetMidiChannel(), 3);
  EXPECT_STREQ(in->GetSnapName(1).CStr(), "Snap");
  EXPECT_TRUE(in->IsSnapStored(1));
  EXPECT_FALSE(in->IsSnapStored(0));
  EXPECT_TRUE(in->IsSnapStored(2)) << "an unnamed snapshot stored as 32";
  EXPECT_TRUE(Top()->IsPanelLocked());
  EXPECT_EQ(Top()->GetPanelWndArea(), TArea(0, 0, 480, 240));
  EXPECT_EQ(Top()->GetStructWndArea(), TArea(0, 0, 450, 300));
  EXPECT_EQ(Top()->GetData()->structOpenNo, 1);
  ASSERT_EQ(Top()->GetChildCount(), 3);
  KSModul* saw = Top()->GetChild(0);
  EXPECT_EQ(saw->GetRecordVersion(), 95);
  EXPECT_STREQ(saw->GetLabel().CStr(), "Saw95");
  KSModul* fader = Top()->GetChild(1);
  EXPECT_FLOAT_EQ(fader->GetTableValue(5), 5.0f);
  EXPECT_TRUE(fader->IsRemote());
  EXPECT_EQ(fader->GetRemoteKind(), 1);
  KSModul* sw = Top()->GetChild(2);
  EXPECT_EQ(sw->GetCtrlStyle(), 200);
  EXPECT_EQ(sw->GetMidiLower(), 127); // the low 8 bits of 0x1FF, held to the MIDI range
  EXPECT_EQ(sw->GetSnapStep(0), 1);
  EXPECT_EQ(sw->GetSnapStep(2), 1);
  EXPECT_EQ(sw->GetSnapStep(3), 0);
}

TEST_F(FileTest, OldInstrumentBlocksAndWindows) {
  ASSERT_EQ(Open(OldInstruments()), 1);
  EXPECT_EQ(fx.ens.GetSampleRate(), 33075);
  EXPECT_FLOAT_EQ(Top()->GetOwnInstr()->GetOwnTune(), 0.5f);
  EXPECT_FLOAT_EQ(Top()->GetOwnInstr()->GetUnisonSpread(), 0.1f);
  ASSERT_EQ(Top()->GetChildCount(), 4);
  const int versions[] = {156, 157, 196, 197};
  for (int i = 0; i < 4; ++i) {
    KSModul* m = Top()->GetChild(i);
    KInstr* in = m->GetOwnInstr();
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(in->GetMidiChannel(), versions[i] < 190 ? 1 : versions[i] - 190 + 1) << versions[i];
    EXPECT_TRUE(in->IsSnapStored(0)) << versions[i];
    EXPECT_TRUE(in->IsSnapStored(1)) << versions[i] << ": an unnamed stored snapshot";
    EXPECT_FALSE(in->IsSnapStored(2)) << versions[i];
  }
  EXPECT_EQ(Top()->GetPanelWndArea(), TArea(0, 0, 480, 240));
  EXPECT_EQ(Top()->GetStructWndArea(), TArea(0, 0, 450, int32_t(0x80000000u - 31u)));
  EXPECT_EQ(Top()->GetChild(0)->GetPanelWndArea(), TArea(0, 0, 488, 343));
  EXPECT_EQ(Top()->GetChild(1)->GetPanelWndArea(), TArea(0, 0, 400, 300));
  EXPECT_EQ(Top()->GetChild(3)->GetData()->structOpenNo, 2);
}

// ---------------------------------------------------------------------------
// Writing back

TEST_F(FileTest, EveryFixtureWritesTheSameBytesAndModelTwice) {
  testkit::ScriptedHost host;
  for (const Fixture& f : Ensembles()) {
    ASSERT_EQ(Open(f.make()), 1) << f.name;
    const std::string first = Dump(Top());
    const std::vector<uint8_t> w1 = Write();
    ASSERT_EQ(Open(w1), 1) << f.name;
    EXPECT_EQ(Dump(Top()), first) << f.name;
    const std::vector<uint8_t> w2 = Write();
    EXPECT_EQ(testkit::Hex(w1), testkit::Hex(w2)) << f.name;
    // Written big-endian it reads to the same model.
    order = 1;
    const std::vector<uint8_t> big = Write();
    order = 0;
    ASSERT_EQ(Open(big), 1) << f.name;
    EXPECT_EQ(Dump(Top()), first) << f.name;
  }
}

TEST_F(FileTest, SavedFilesReadBackAndKeepABackupOnlyWhenAsked) {
  testkit::ScriptedHost host;
  ASSERT_EQ(Open(WiredEnsemble()), 1);
  EPtr<IFileName> name(CreateFileName());
  name->SetPath(TStr(tmp.c_str()) + TStr("/song.ens"));
  KSModul::SetCreateBackups(1);
  files.SaveEnsemble(*name);
  EXPECT_EQ(fx.ens.IsClean(), 1);
  files.SaveEnsemble(*name);
  EPtr<IFileName> backup(CreateFileName());
  backup->SetPath(TStr(tmp.c_str()) + TStr("/Backup of song.ens"));
  EXPECT_TRUE(backup->Exists());
  KSModul::SetCreateBackups(0);
  files.SaveEnsemble(*name);
  EXPECT_FALSE(backup->Exists());
  const std::string before = Dump(Top());
  ASSERT_EQ(files.OpenEnsemble(*name), 1);
  EXPECT_EQ(Dump(Top()), before);
  // An instrument file read into a new child.
  EPtr<IFileName> ism(CreateFileName());
  ism->SetPath(TStr(tmp.c_str()) + TStr("/inner.ism"));
  ASSERT_EQ(Open(NestedInstrument()), 1);
  KModulFile::SaveModuleFile(*ism, *Top()->GetChild(0), files);
  std::unique_ptr<KSModul> child(new KSModul(&fx.ens, Top()));
  ASSERT_EQ(KModulFile::ReadFile(*child, *ism, files), 1);
  EXPECT_EQ(Dump(child.get()), Dump(Top()->GetChild(0)));
}

// ---------------------------------------------------------------------------
// Saves that are killed or meet a full disk, a folder or a read-only folder

std::string LastErrorText() { return LastError()->Expand().Std(); }

TEST_F(FileTest, AKilledOrFailedEnsembleSaveKeepsTheOldFileWithAndWithoutBackups) {
  testkit::ScriptedHost host;
  ASSERT_EQ(Open(PanelControls()), 1);
  const std::string target = tmp + "/song.ens";
  const std::string backup = tmp + "/Backup of song.ens";
  EPtr<IFileName> name(CreateFileName());
  name->SetPath(TStr(target.c_str()));
  const std::vector<uint8_t> old = MinimalEnsemble(false);
  const std::string model = Dump(Top());
  for (int backups : {0, 1}) {
    SCOPED_TRACE(backups ? "with backups" : "without backups");
    KSModul::SetCreateBackups(backups);
    testkit::SaveUnderTest s;
    s.target = target;
    s.backup = backups ? backup : std::string();
    s.putOld = [&] {
      std::ofstream(target, std::ios::binary).write(reinterpret_cast<const char*>(old.data()), std::streamsize(old.size()));
      std::filesystem::remove(backup);
      fx.ens.SetClean(0);
    };
    s.save = [&] { files.SaveEnsemble(*name); };
    testkit::CheckKilledSaves(s);
    testkit::CheckFullDiskSaves(s, [&](bool threw) {
      return threw && LastErrorText() == "Not enough space to write file\n" + target + "." &&
             Dump(Top()) == model && fx.ens.IsClean() == 0;
    });
  }
  KSModul::SetCreateBackups(0);
}

TEST_F(FileTest, SavingOntoAFolderOrIntoAReadOnlyFolderSaysSo) {
  testkit::ScriptedHost host;
  ASSERT_EQ(Open(WiredEnsemble()), 1);
  struct Case {
    const char* what;
    bool backups;
    std::string (*make)(const std::string& dir); // the target's path
    const char* message;                          // after the path
  };
  const Case cases[] = {
      {"a folder named like the file", false,
       [](const std::string& dir) {
         std::filesystem::create_directories(dir + "/song.ens");
         return dir + "/song.ens";
       },
       ".\nA folder of that name is in the way."},
      {"a folder named like the file, backups on", true,
       [](const std::string& dir) {
         std::filesystem::create_directories(dir + "/song.ens");
         return dir + "/song.ens";
       },
       ".\nA folder of that name is in the way."},
      {"a read-only folder", true,
       [](const std::string& dir) {
         std::ofstream(dir + "/song.ens") << "old";
         std::filesystem::permissions(dir, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
         return dir + "/song.ens";
       },
       ".\nThe file or its folder is write-protected."},
      {"a missing folder", false, [](const std::string& dir) { return dir + "/gone/song.ens"; },
       ".\nThe folder does not exist."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string dir = testkit::TempDir("savefail");
    const std::string target = c.make(dir);
    if (::geteuid() == 0 && std::string(c.what) == "a read-only folder") continue; // root writes anyway
    KSModul::SetCreateBackups(c.backups ? 1 : 0);
    EPtr<IFileName> name(CreateFileName());
    name->SetPath(TStr(target.c_str()));
    fx.ens.SetClean(0);
    EXPECT_THROW(files.SaveEnsemble(*name), TError);
    EXPECT_EQ(LastErrorText(), "Cannot write file " + target + c.message);
    EXPECT_EQ(fx.ens.IsClean(), 0);
    EXPECT_FALSE(std::filesystem::exists(dir + "/Backup of song.ens")) << "nothing was moved aside";
    if (std::filesystem::is_directory(target)) {
      EXPECT_TRUE(std::filesystem::is_directory(target)) << "the folder stays";
    } else if (std::filesystem::exists(target)) {
      EXPECT_EQ(testkit::ReadAll(target), "old");
    }
    std::filesystem::permissions(dir, std::filesystem::perms::owner_all);
  }
  KSModul::SetCreateBackups(0);
}

// ---------------------------------------------------------------------------
// Refused files

TEST_F(FileTest, FilesThatBreakALimitAreRefusedWhole) {
  testkit::ScriptedHost host;
  struct Case {
    const char* what;
    std::function<void(TBytes&)> body; // the top's children
    int children;
  };
  auto child = [](TBytes& b, int in, int out, int children, int cat = 0, int term = 0) {
    Mod m;
    m.cat = cat;
    m.type = cat == 0 ? 88 : 1;
    m.in = in;
    m.out = out;
    m.children = children;
    m.term = term;
    Common(b, m);
    b.End();
  };
  const Case cases[] = {
      {"21 in-ports", [&](TBytes& b) { child(b, 21, 0, 0); }, 1},
      {"21 out-ports", [&](TBytes& b) { child(b, 0, 21, 0); }, 1},
      {"101 children", [&](TBytes& b) { child(b, 0, 0, 101); }, 1},
      {"21 wires",
       [&](TBytes& b) {
         child(b, 1, 0, 0);
         b.Frame("KInPort").I32(0).I32(0).U32(21);
         for (int i = 0; i < 21; ++i) b.I32(0).I32(0);
         b.U32(6).End();
       },
       1},
      {"wire from a child that is not there",
       [&](TBytes& b) {
         child(b, 1, 0, 0);
         InPort(b, 0, 0, {{3, 0}});
       },
       1},
      {"wire from an out-port that is not there",
       [&](TBytes& b) {
         child(b, 0, 1, 0);
         OutPort(b, 0, 0);
         child(b, 1, 0, 0);
         InPort(b, 0, 0, {{0, 1}});
       },
       2},
      {"negative source child",
       [&](TBytes& b) {
         child(b, 1, 0, 0);
         InPort(b, 0, 0, {{-1, 0}});
       },
       1},
      {"terminal number 20", [&](TBytes& b) { child(b, 0, 0, 0, kCatInTerminal, 20); }, 1},
      {"category without records",
       [&](TBytes& b) {
         Mod m;
         m.cat = 2;
         Common(b, m);
         b.End();
       },
       1},
      {"count byte in a module record",
       [&](TBytes& b) { b.Frame("KSModul").Version(150, 1); },
       1},
      {"a second ensemble record", [&](TBytes& b) { EnsembleRecord(b); }, 1},
      {"a port frame of another name",
       [&](TBytes& b) {
         child(b, 1, 0, 0);
         b.Frame("KOutPort");
       },
       1},
  };
  for (const Case& c : cases) {
    TBytes b;
    b.Signature();
    EnsembleRecord(b);
    TopRecord(b, c.children);
    c.body(b);
    b.Repeat(64, 0); // whatever follows is never reached
    host.QueueAnswer(0);
    ASSERT_EQ(Open(b.data), 0) << c.what;
    ASSERT_FALSE(host.Boxes().empty());
    EXPECT_EQ(host.Boxes().back().text, "Not a valid Volteon file.") << c.what;
    EXPECT_EQ(host.Boxes().back().caption, "Error while reading ensemble file fixture.ens:") << c.what;
    EXPECT_EQ(Top()->GetChildCount(), 0) << c.what;
    EXPECT_NE(Top()->GetOwnInstr(), nullptr) << c.what;
    EXPECT_EQ(fx.ens.GetSampleRate(), 33075) << c.what;
  }
}

TEST_F(FileTest, SnapshotCountsAboveTheTablesAreReadAndDropped) {
  TBytes b;
  b.Signature();
  EnsembleRecord(b);
  std::vector<Snap> snaps(130, Snap{"", 0});
  snaps[129] = {"far", 0x40000000u};
  snaps[127] = {"last", 0x40000000u};
  TopRecord(b, 0, snaps);
  ASSERT_EQ(Open(b.data), 1);
  EXPECT_STREQ(Top()->GetOwnInstr()->GetSnapName(127).CStr(), "last");
}

TEST_F(FileTest, ASoloStoredByAnOlderFileSilencesNothing) {
  TBytes b;
  b.Signature();
  EnsembleRecord(b);
  TopRecord(b, 1);
  Mod saw = TypeMod(0, 88);
  saw.flags |= 1u << 29;
  Common(b, saw);
  b.End();
  TypePorts(b, saw);
  ASSERT_EQ(Open(b.data), 1);
  EXPECT_FALSE(Top()->GetChild(0)->IsSolo());
  const std::vector<uint8_t> w = Write();
  ASSERT_EQ(Open(w), 1);
  EXPECT_FALSE(Top()->GetChild(0)->IsSolo());
}

// Every fixture cut at every length ends in a message, with the ensemble
// left as an empty top instrument.
TEST_F(FileTest, EveryCutOfEveryFixtureEndsInAMessage) {
  testkit::ScriptedHost host;
  for (const Fixture& f : Ensembles()) {
    const std::vector<uint8_t> whole = f.make();
    for (size_t n = 0; n < whole.size(); ++n) {
      const std::vector<uint8_t> cut(whole.begin(), whole.begin() + ptrdiff_t(n));
      const size_t boxes = host.Boxes().size();
      host.QueueAnswer(0);
      ASSERT_EQ(Open(cut), 0) << f.name << " at " << n;
      ASSERT_EQ(host.Boxes().size(), boxes + 1) << f.name << " at " << n;
      ASSERT_EQ(Top()->GetChildCount(), 0) << f.name << " at " << n;
      ASSERT_NE(Top()->GetOwnInstr(), nullptr) << f.name << " at " << n;
    }
  }
}

// ---------------------------------------------------------------------------
// Undo

class UndoTest : public FileTest {
protected:
  UndoTest() {
    OpenSettings(TStr("Quorvex 2.0"));
    undo().SetUndoEnabled(1);
    undo().SetUndoMax(20);
    undo().SetMenuTextSink([this](const TStr& u, const TStr& r) {
      undoText = u.CStr();
      redoText = r.CStr();
    });
  }
  KUndo& undo() { return files.GetUndo(); }
  KSModul* Insert() {
    undo().AddUndoStep(UndoKind::kInsertModule);
    return Top()->InsertModule(kTypeSawtooth, kPlaceNext);
  }
  bool SnapshotExists(int n) { return undo().SnapshotName(n)->Exists() != 0; }

  std::string undoText, redoText;
};

// A module command records the step its handler prepared once it acts.
TEST_F(UndoTest, AModuleCommandRecordsThePendingStep) {
  testkit::ScriptedHost host;
  KSModul* tape = Top()->InsertModule(kTypeTapedeck1, kPlaceNext);
  ASSERT_NE(tape, nullptr);
  const int32_t before = undo().GetStepCount();
  undo().SetPendingUndo(UndoKind::kInsertModule, tape, 0);
  for (int i = 0; i < 4; ++i) host.QueueAnswer(0);
  tape->ReloadAudio();
  EXPECT_EQ(undo().GetStepCount(), before + 1);
  undo().ClearPendingUndo();
}

TEST_F(UndoTest, MenuTextsNameTheSteps) {
  EXPECT_EQ(undoText, "&Undo\tCtrl+Z");
  EXPECT_EQ(redoText, "&Redo\tCtrl+Y");
  Insert();
  EXPECT_EQ(undoText, "&Undo Insert Module\tCtrl+Z");
  undo().Undo();
  EXPECT_EQ(undoText, "&Undo\tCtrl+Z");
  EXPECT_EQ(redoText, "&Redo Insert Module\tCtrl+Y");
  // A change of a kind that is not recorded only marks the ensemble modified.
  files.MarkClean();
  undo().AddUndoStep(UndoKind::kChangeControls);
  undo().AddUndoStep(UndoKind::kMoveModules);
  EXPECT_EQ(undo().GetStepCount(), 0);
  EXPECT_EQ(fx.ens.IsClean(), 0);
  undo().SetUndoEnabled(0);
  undo().AddUndoStep(UndoKind::kInsertModule);
  EXPECT_EQ(undo().GetStepCount(), 0);
  EXPECT_EQ(undoText, "&Undo\tCtrl+Z");
}

TEST_F(UndoTest, UndoAndRedoRestoreTheTree) {
  testkit::ScriptedHost host;
  Insert();
  Insert();
  ASSERT_EQ(Top()->GetChildCount(), 2);
  const int32_t serial = Top()->GetChild(1)->GetSerialNo();
  undo().Undo();
  EXPECT_EQ(Top()->GetChildCount(), 1);
  undo().Undo();
  EXPECT_EQ(Top()->GetChildCount(), 0);
  undo().Undo(); // nothing left: a beep
  EXPECT_EQ(host.Beeps(), 1);
  undo().Redo();
  EXPECT_EQ(Top()->GetChildCount(), 1);
  undo().Redo();
  ASSERT_EQ(Top()->GetChildCount(), 2);
  // Snapshots keep the modules' serial numbers.
  EXPECT_EQ(Top()->GetChild(1)->GetSerialNo(), serial);
  undo().Redo();
  EXPECT_EQ(host.Beeps(), 2);
}

TEST_F(UndoTest, ANewChangeAfterUndoDeletesTheRedoFile) {
  testkit::ScriptedHost host;
  Insert();
  Insert();
  undo().Undo();
  EXPECT_TRUE(undo().SnapshotName(-1)->Exists());
  Insert();
  EXPECT_FALSE(undo().SnapshotName(-1)->Exists());
  EXPECT_EQ(undo().GetStepCount(), 2);
  EXPECT_FALSE(undo().CanRedo());
}

TEST_F(UndoTest, TheRingOfThreeKeepsTwoStepsOverTen) {
  testkit::ScriptedHost host;
  undo().SetUndoMax(3);
  for (int i = 0; i < 10; ++i) Insert();
  EXPECT_EQ(undo().GetStepCount(), 2);
  const int32_t newest = undo().GetStepSnapshot(0);
  EXPECT_EQ(int32_t(ReadSettingInt(TStr("UndoNo"), 99)), newest);
  EXPECT_TRUE(SnapshotExists(newest));
  EXPECT_TRUE(SnapshotExists(undo().GetStepSnapshot(1)));
  EXPECT_NE(newest, undo().GetStepSnapshot(1));
  undo().Undo();
  EXPECT_EQ(Top()->GetChildCount(), 9);
  undo().Undo();
  EXPECT_EQ(Top()->GetChildCount(), 8);
  EXPECT_FALSE(undo().CanUndo());
  undo().DeleteSnapshotFiles();
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(SnapshotExists(i));
}

TEST_F(UndoTest, AFullDiskLeavesTheStepsAndTheEnsembleAsTheyWere) {
  testkit::ScriptedHost host;
  Insert();
  Insert();
  const std::string two = Dump(Top());
  // Undo cannot write the redo snapshot: nothing changes, and a later Redo
  // has nothing half-written to open.
  platform::SetFaultPlan({-1, 0, 0});
  EXPECT_THROW(undo().Undo(), TError);
  platform::ClearFaultPlan();
  EXPECT_EQ(LastError()->Expand().Std().rfind("Not enough space to write file", 0), 0u);
  EXPECT_EQ(Dump(Top()), two);
  EXPECT_EQ(undo().GetStepCount(), 2);
  EXPECT_TRUE(undo().CanUndo());
  EXPECT_FALSE(undo().CanRedo());
  EXPECT_FALSE(SnapshotExists(-1));
  EXPECT_EQ(testkit::CountSaveTemps(tmp), 0);
  // A new step that cannot write its snapshot is not recorded.
  const int32_t newest = undo().GetStepSnapshot(0);
  platform::SetFaultPlan({-1, 3, 0});
  EXPECT_THROW(undo().AddUndoStep(UndoKind::kInsertModule), TError);
  platform::ClearFaultPlan();
  EXPECT_EQ(undo().GetStepCount(), 2);
  EXPECT_EQ(undo().GetStepSnapshot(0), newest);
  EXPECT_EQ(int32_t(ReadSettingInt(TStr("UndoNo"), 99)), newest);
  // Once the disk has room, undo and redo work through the same steps.
  undo().Undo();
  EXPECT_EQ(Top()->GetChildCount(), 1);
  undo().Redo();
  EXPECT_EQ(Top()->GetChildCount(), 2);
}

// The settings store cannot take the newest step's number while its snapshot
// was written: the step stands, and the user learns that a crash restore
// would bring back an older ensemble; once, until the number is written.
TEST_F(UndoTest, AStepWhoseNumberCannotBeNotedTellsTheRestoreIsOlder) {
  testkit::ScriptedHost host;
  Insert();
  const int32_t noted = int32_t(ReadSettingInt(TStr(setting::UndoNo), 99));
  // A folder in the place of the store refuses every write (also for root);
  // the snapshot, in another folder, is written.
  const std::string store = SettingsFilePath().Std();
  std::filesystem::rename(store, store + ".aside");
  std::filesystem::create_directory(store);
  host.QueueAnswer(0);
  Insert();
  Insert(); // told once only
  std::filesystem::remove(store);
  std::filesystem::rename(store + ".aside", store);
  EXPECT_EQ(undo().GetStepCount(), 3) << "the steps stand";
  ASSERT_EQ(host.Boxes().size(), 1u);
  EXPECT_EQ(host.Boxes().back().text,
            "The settings could not be written: the newest undo step is not noted there.\n"
            "Should the program not terminate correctly, the ensemble restored at the next start will be older "
            "than your latest changes.");
  EXPECT_EQ(int32_t(ReadSettingInt(TStr(setting::UndoNo), 99)), noted);
  // With the store back the next number is noted.
  Insert();
  EXPECT_EQ(int32_t(ReadSettingInt(TStr(setting::UndoNo), 99)), undo().GetStepSnapshot(0));
  EXPECT_EQ(host.Boxes().size(), 1u);
}

TEST_F(UndoTest, KilledSnapshotWritesLeaveWholeSnapshots) {
  testkit::ScriptedHost host;
  Insert();
  Insert();
  const std::vector<uint8_t> other = MinimalEnsemble(false);
  auto putBytes = [&](const std::string& path) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(other.data()), std::streamsize(other.size()));
  };
  struct Case {
    const char* what;
    int32_t snapshot; // the file the step writes
    std::function<void()> step;
  };
  const int32_t next = undo().GetStepSnapshot(0) + 1;
  const Case cases[] = {
      {"the undo snapshot of a new step", next, [&] { undo().AddUndoStep(UndoKind::kInsertModule); }},
      {"the redo snapshot of an undo", -1, [&] { undo().Undo(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testkit::SaveUnderTest s;
    s.target = undo().SnapshotName(c.snapshot)->GetPath().Std();
    s.putOld = [&] { putBytes(s.target); };
    s.save = c.step;
    testkit::CheckKilledSaves(s, 30);
  }
}

TEST_F(UndoTest, ANormalEndLeavesNothingToRestore) {
  testkit::ScriptedHost host;
  WriteSettingStr(TStr(setting::TmpDir), TStr(tmp.c_str()));
  {
    KUndo other(files);
    other.SetFolder(TStr(tmp.c_str()));
    other.SetUndoEnabled(1);
    other.SetUndoMax(5);
    other.AddUndoStep(UndoKind::kInsertModule);
    EXPECT_TRUE(fx.ens.CanRestoreAfterCrash()) << "a running program has a snapshot to offer";
  }
  EXPECT_EQ(ReadSettingInt(TStr(setting::UndoNo), 0xFFFFFFFFu), 0xFFFFFFFFu);
  EXPECT_FALSE(fx.ens.CanRestoreAfterCrash());
}

TEST_F(UndoTest, UndoingEverythingIsCleanOnlyWithoutUnrecordedChanges) {
  testkit::ScriptedHost host;
  files.MarkClean();
  Insert();
  undo().Undo();
  EXPECT_EQ(fx.ens.IsClean(), 1);
  files.MarkClean();
  // A change that records no step comes first.
  undo().AddUndoStep(UndoKind::kMoveModules);
  Insert();
  undo().Undo();
  EXPECT_EQ(fx.ens.IsClean(), 0);
}

TEST_F(UndoTest, TheRateChangeSurvivesAnUndo) {
  testkit::ScriptedHost host;
  fx.ens.SetRateFactor(0.5f);
  undo().AddUndoStep(UndoKind::kChangeSampleRate);
  fx.ens.SetRateFactor(1.0f);
  undo().Undo();
  EXPECT_FLOAT_EQ(fx.ens.GetRateFactor(), 0.5f);
}

} // namespace

// ---------------------------------------------------------------------------
// Load-time repairs

namespace {

// An Audio Out record of version v with n in-ports; in-port 1 is "Lvl".
void AudioOut(TBytes& b, int v, int n, const std::vector<std::vector<std::pair<int, int>>>& wires) {
  Mod m;
  m.v = v;
  m.cat = 0;
  m.type = 114;
  m.in = n;
  m.flags = 0x0E;
  m.name = false;
  Common(b, m);
  b.End();
  for (int i = 0; i < n; ++i)
    InPort(b, 0, -1, i < int(wires.size()) ? wires[size_t(i)] : std::vector<std::pair<int, int>>{}, 0x04, v,
           i == 1 ? "Lvl" : "Ch");
}

// An ensemble of version v: a fader (range lo..hi) and an Audio Out of n
// in-ports whose level and channel inputs the fader feeds.
std::vector<uint8_t> WithAudioOut(int v, int n, float lo, float hi) {
  TBytes b;
  b.Signature();
  b.Frame("KEnsemble").Version(uint32_t(v)).Str("Ensemble").U32(44100).End();
  Mod top;
  top.v = v;
  top.name = true;
  top.cat = 9;
  top.children = 2;
  top.flags = 0x0C;
  Common(b, top);
  b.U32(492).U32(297).I32(0).I32(0).U32(462).U32(331).I32(0).I32(0);
  b.Str("Old");
  b.U32(110);
  b.U32(1).U32(0).U32(127).U32(64).U32(66).U32(1).U32(0).U32(0);
  if (v >= 144) b.F32(0.0f);
  if (v >= 145) b.F32(0.05f);
  b.U32(0).U32(0); // channel, snapshot count
  b.End();
  Mod f = TypeMod(1, 1);
  f.v = v;
  Common(b, f);
  b.U32(1).F32(lo).F32(hi).U32(7).U32(0).U32(0).U32(0).U32(0).U32(64).Pnt(0, 0).U32(0).F64(0.0);
  b.End();
  for (int i = 0; i < f.out; ++i) OutPort(b, (*Def(1, 1)->outPorts)[i].kind, 0, 0x06, v);
  std::vector<std::vector<std::pair<int, int>>> wires(static_cast<size_t>(n));
  for (int i = 1; i < n; i += 2) wires[size_t(i)] = {{0, 0}};
  AudioOut(b, v, n, wires);
  return b.data;
}

} // namespace

class RepairTest : public FileTest {
protected:
  // What the application does after a read: its own Audio In and Out first.
  void AddAudioModules() {
    fx.ens.SetAudioInModule(Top()->InsertModule(kTypeAudioIn, kPlaceAudioIn));
    fx.ens.SetAudioOutModule(Top()->InsertModule(kTypeAudioOut, kPlaceAudioOut));
  }
  int CountType(TModuleType type) {
    int n = 0;
    for (int i = 0; i < Top()->GetChildCount(); ++i) n += Top()->GetChild(i)->IsType(type) ? 1 : 0;
    return n;
  }
};

TEST_F(RepairTest, AWiderAudioOutHandsItsWiresToAFreshOne) {
  testkit::ScriptedHost host;
  ASSERT_EQ(Open(WithAudioOut(150, 10, 0.0f, 1.0f)), 1);
  AddAudioModules();
  host.QueueAnswer(0);
  EXPECT_EQ(KModulFile::RepairLoadedStructure(*Top(), true), 2);
  ASSERT_EQ(host.Boxes().size(), 1u);
  EXPECT_EQ(host.Boxes()[0].text, "The Audio In/Out in the loaded ensemble has more\ninputs/outputs than the active "
                                  "Audio In/Out.\nImpossible wires have been deleted.");
  EXPECT_EQ(CountType(kTypeAudioOut), 1);
  KSModul* out = fx.ens.GetAudioOutModule();
  ASSERT_NE(out, nullptr);
  KSModul* fader = Top()->GetChild(0);
  // In-ports 1 and 3 were wired and exist on the fresh one; 5, 7 and 9 do not.
  ASSERT_EQ(out->GetInPortCount(), 4);
  EXPECT_EQ(out->GetInPort(1)->GetSource(0), fader->GetOutPort(0));
  EXPECT_EQ(out->GetInPort(3)->GetSource(0), fader->GetOutPort(0));
  EXPECT_EQ(fader->GetOutPort(0)->GetDestinationCount(), 2);
}

TEST_F(RepairTest, AMatchingAudioOutTakesThePlaceOfTheEnsemblesOwn) {
  testkit::ScriptedHost host;
  ASSERT_EQ(Open(WithAudioOut(150, 4, 0.0f, 1.0f)), 1);
  KSModul* loaded = Top()->GetChild(1);
  AddAudioModules();
  fx.ens.SetClean(0);
  EXPECT_EQ(KModulFile::RepairLoadedStructure(*Top(), true), 0);
  EXPECT_EQ(fx.ens.GetAudioOutModule(), loaded);
  EXPECT_EQ(CountType(kTypeAudioOut), 1);
  EXPECT_EQ(fx.ens.IsClean(), 1);
  EXPECT_TRUE(host.Boxes().empty());
}

TEST_F(RepairTest, AudioModulesInsideAMacroAreDeleted) {
  testkit::ScriptedHost host;
  TBytes b;
  b.Signature();
  EnsembleRecord(b);
  TopRecord(b, 1);
  Mod macro = TypeMod(4, 0);
  macro.children = 1;
  Common(b, macro);
  Window200(b);
  b.U32(100);
  b.End();
  AudioOut(b, 200, 4, {});
  ASSERT_EQ(Open(b.data), 1);
  AddAudioModules();
  host.QueueAnswer(0);
  EXPECT_EQ(KModulFile::RepairLoadedStructure(*Top(), true) & 1, 1);
  EXPECT_EQ(Top()->GetChild(0)->GetChildCount(), 0);
  EXPECT_EQ(host.Boxes()[0].text,
            "Audio Ins/Outs inside of macros\nor instruments are no longer supported.\nInvalid Audio Outs have been deleted.");
}

TEST_F(RepairTest, OldEnsemblesLowerTheLevelFaderOrWarn) {
  testkit::ScriptedHost host;
  // Version 142 with the fader on the level: its range drops by 12.
  ASSERT_EQ(Open(WithAudioOut(142, 4, -60.0f, 0.0f)), 1);
  EXPECT_EQ(KModulFile::WarnOldEnsemble(*Top()), 1);
  EXPECT_FLOAT_EQ(Top()->GetChild(0)->GetMinimum(), -72.0f);
  EXPECT_FLOAT_EQ(Top()->GetChild(0)->GetMaximum(), -12.0f);
  EXPECT_TRUE(host.Boxes().empty());
  // Version 142 without the fader on the level: the warning.
  ASSERT_EQ(Open(WithAudioOut(142, 1, 0.0f, 1.0f)), 1);
  host.QueueAnswer(0);
  EXPECT_EQ(KModulFile::WarnOldEnsemble(*Top()), 0);
  ASSERT_EQ(host.Boxes().size(), 1u);
  EXPECT_EQ(host.Boxes()[0].text.substr(0, 49), "Warning. You are opening an old ensemble without\n");
  // Version 143 is not old.
  ASSERT_EQ(Open(WithAudioOut(143, 1, 0.0f, 1.0f)), 1);
  EXPECT_EQ(KModulFile::WarnOldEnsemble(*Top()), -1);
  EXPECT_EQ(host.Boxes().size(), 1u);
}

// ---------------------------------------------------------------------------
// Merging a macro file

class ImportTest : public UndoTest {
protected:
  EPtr<IFileName> WriteFixture(const std::vector<uint8_t>& bytes, const char* file) {
    EPtr<IFileName> name(CreateFileName());
    name->SetPath(TStr((tmp + "/" + file).c_str()));
    EPtr<IFile> f(CreateFileObject());
    f->OpenWrite(name.Get());
    f->RawWrite(bytes.data(), uint32_t(bytes.size()));
    f->Close();
    return name;
  }
};

TEST_F(ImportTest, AMacroFileMergesAsOneUndoableStep) {
  testkit::ScriptedHost host;
  KSModul* macro = Top()->InsertModule(kTypeMacro, kPlaceNext);
  ASSERT_NE(macro, nullptr);
  KSModul* own = macro->InsertModule(kTypeSawtooth, kPlaceNext);
  // The next insert point lies 16 beyond the module just inserted.
  const TPnt firstBox = TPnt(own->GetPos().X() + 16, own->GetPos().Y() + 16);
  EPtr<IFileName> name = WriteFixture(MacroFile(), "chorus.mdl");
  ASSERT_EQ(files.ImportModuleFile(*macro, *name), 1);
  EXPECT_EQ(undoText, "&Undo Paste Module(s)\tCtrl+Z");
  ASSERT_EQ(macro->GetChildCount(), 3);
  KSModul* in = macro->GetChild(1);
  KSModul* out = macro->GetChild(2);
  // The wires reach the same sources, counted after the macro's own child.
  ASSERT_EQ(out->GetInPort(0)->GetWireCount(), 1);
  EXPECT_EQ(out->GetInPort(0)->GetSourceChild(0), 1);
  EXPECT_EQ(out->GetInPort(0)->GetSource(0), in->GetOutPort(0));
  // The terminals gave the macro a port each, at the end of its lists.
  ASSERT_EQ(macro->GetInPortCount(), 1);
  ASSERT_EQ(macro->GetOutPortCount(), 1);
  EXPECT_EQ(in->GetTerminalNo(), 0);
  EXPECT_STREQ(macro->GetInPort(0)->GetLabel().CStr(), in->GetLabel().CStr());
  EXPECT_TRUE(in->IsSelected());
  // Placed at the insert point; a second merge lands 16 further.
  EXPECT_EQ(in->GetPos(), firstBox);
  ASSERT_EQ(files.ImportModuleFile(*macro, *name), 1);
  EXPECT_EQ(macro->GetChild(3)->GetPos(), TPnt(firstBox.X() + 16, firstBox.Y() + 16));
  EXPECT_EQ(macro->GetChildCount(), 5);
  undo().Undo();
  ASSERT_EQ(Top()->GetChildCount(), 1);
  EXPECT_EQ(Top()->GetChild(0)->GetChildCount(), 3);
}

TEST_F(ImportTest, MergedBoxesLandAtTheInsertPointWhereverTheFileHadThem) {
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max(), kMin = std::numeric_limits<int32_t>::min();
  struct Case {
    TPnt in, out;       // the boxes in the file
    TPnt outFromInsert; // where the second box lands, from the insert point
    TPnt outClamped;    // or, when set, where it stops at the edge of 32 bits
  };
  const Case cases[] = {
      {TPnt(10, 10), TPnt(90, 10), TPnt(80, 0), TPnt()},
      {TPnt(2000000000, 2000000000), TPnt(2000000080, 2000000004), TPnt(80, 4), TPnt()},
      {TPnt(kMin + 5, 0), TPnt(kMax, 0), TPnt(), TPnt(kMax, 0)},
  };
  for (const Case& c : cases) {
    testkit::ScriptedHost host;
    KSModul* macro = Top()->InsertModule(kTypeMacro, kPlaceNext);
    ASSERT_NE(macro, nullptr);
    EPtr<IFileName> name = WriteFixture(MacroFile(c.in, c.out), "far.mdl");
    const TPnt insert = macro->GetNextInsertPos();
    ASSERT_EQ(files.ImportModuleFile(*macro, *name), 1);
    ASSERT_EQ(macro->GetChildCount(), 2);
    EXPECT_EQ(macro->GetChild(0)->GetPos(), insert) << c.in.X();
    const TPnt expected = c.outClamped != TPnt() ? TPnt(c.outClamped.X(), insert.Y() + c.outFromInsert.Y())
                                                 : TPnt(insert.X() + c.outFromInsert.X(), insert.Y() + c.outFromInsert.Y());
    EXPECT_EQ(macro->GetChild(1)->GetPos(), expected) << c.in.X();
    Top()->DeleteChild(macro);
  }
}

TEST_F(ImportTest, AFullMacroOrABrokenFileMergesNothing) {
  testkit::ScriptedHost host;
  KSModul* macro = Top()->InsertModule(kTypeMacro, kPlaceNext);
  for (int i = 0; i < 99; ++i) ASSERT_NE(macro->InsertModule(kTypeSawtooth, kPlaceNext), nullptr);
  EPtr<IFileName> name = WriteFixture(MacroFile(), "chorus.mdl");
  host.QueueAnswer(0);
  EXPECT_EQ(files.ImportModuleFile(*macro, *name), 0);
  EXPECT_EQ(host.Boxes().back().text, "Too many modules. Maximum per Macro: 100.");
  EXPECT_EQ(macro->GetChildCount(), 99);
  // A file cut short: nothing of it stays, the macro keeps its ports.
  KSModul* other = Top()->InsertModule(kTypeMacro, kPlaceNext);
  const std::vector<uint8_t> whole = MacroFile();
  for (size_t n : {size_t(3), size_t(40), whole.size() - 30, whole.size() - 1}) {
    EPtr<IFileName> cut = WriteFixture(std::vector<uint8_t>(whole.begin(), whole.begin() + ptrdiff_t(n)), "cut.mdl");
    host.QueueAnswer(0);
    EXPECT_EQ(files.ImportModuleFile(*other, *cut), 0) << n;
    EXPECT_EQ(other->GetChildCount(), 0) << n;
    EXPECT_EQ(other->GetInPortCount(), 0) << n;
  }
  EXPECT_EQ(host.Boxes()[1].text, "Not a valid Volteon Module file.");
  // A child record that claims huge counts, cut right after it: the counts
  // come from its type (or are bounded for an unknown type), and the
  // half-read child is gone before anything is put into processing.
  for (int type : {165, 80}) { // sinks: always put into processing
    TBytes b;
    b.Signature();
    Mod shell;
    shell.name = true;
    shell.cat = 4;
    shell.children = 1;
    shell.flags = 0x08;
    Common(b, shell);
    Window200(b, 2, 1);
    b.Str("Huge").Str("");
    b.U32(100);
    b.End();
    Mod huge = TypeMod(0, type, 10, 10);
    huge.ev = 0x7FFFFFFF;
    huge.ai = 0x7FFFFFFF;
    huge.sw = 0x7FFFFFFF;
    Common(b, huge);
    b.End();
    EPtr<IFileName> cut = WriteFixture(b.data, "huge.mdl");
    host.QueueAnswer(0);
    EXPECT_EQ(files.ImportModuleFile(*other, *cut), 0) << type;
    EXPECT_EQ(other->GetChildCount(), 0) << type;
  }
}

// A module of a type this program does not know (it stands as a macro) keeps
// the panel places it was read with through every save and read, also from
// an older record, which held one place for both panels.
TEST_F(FileTest, AnUnknownTypeKeepsItsPanelPlacesThroughSaves) {
  testkit::ScriptedHost host;
  for (int v : {200, 189, 170, 150}) {
    SCOPED_TRACE(v);
    TBytes b;
    b.Signature();
    EnsembleRecord(b);
    TopRecord(b, 1);
    Mod unknown;
    unknown.v = v;
    unknown.cat = 0;
    unknown.type = 999;
    unknown.x = 40;
    unknown.y = 40;
    Common(b, unknown);
    b.U32(100); // an unknown type has the panel frame of a macro, and its style
    b.End();
    ASSERT_EQ(Open(b.data), 1);
    ASSERT_EQ(Top()->GetChildCount(), 1);
    const TPnt instr = Top()->GetChild(0)->GetInstrCtrlPos(), ens = Top()->GetChild(0)->GetEnsCtrlPos();
    std::vector<uint8_t> saved = Write();
    for (int round = 0; round < 2; ++round) {
      ASSERT_EQ(Open(saved), 1);
      ASSERT_EQ(Top()->GetChildCount(), 1);
      EXPECT_EQ(Top()->GetChild(0)->GetInstrCtrlPos(), instr);
      EXPECT_EQ(Top()->GetChild(0)->GetEnsCtrlPos(), ens);
      EXPECT_EQ(Write(), saved);
    }
  }
}

// A fader step beyond the float range is kept as stored: a save writes what
// was read (not an infinity that reads back as no step), and the value table
// holds no NaN.
TEST_F(FileTest, AFaderStepBeyondTheFloatRangeWritesBackAsRead) {
  testkit::ScriptedHost host;
  KSModul* fader = Top()->InsertModule(kTypeFader, kPlaceNext);
  ASSERT_NE(fader, nullptr);
  fader->SetStepSize(0.125f);
  std::vector<uint8_t> bytes = Write();
  auto find = [](const std::vector<uint8_t>& b, double v) {
    uint8_t pattern[8];
    std::memcpy(pattern, &v, 8);
    auto it = std::search(b.begin(), b.end(), std::begin(pattern), std::end(pattern));
    return it == b.end() ? std::string::npos : size_t(it - b.begin());
  };
  const size_t at = find(bytes, 0.125);
  ASSERT_NE(at, std::string::npos);
  ASSERT_EQ(find(std::vector<uint8_t>(bytes.begin() + long(at) + 1, bytes.end()), 0.125), std::string::npos);
  for (double step : {1e300, double(std::numeric_limits<float>::max()) * 2.0, 3.5}) {
    SCOPED_TRACE(step);
    std::memcpy(bytes.data() + at, &step, 8);
    ASSERT_EQ(Open(bytes), 1);
    const std::vector<uint8_t> first = Write();
    EXPECT_EQ(find(first, step), at) << "the step is written as it was read";
    ASSERT_EQ(Open(first), 1);
    EXPECT_EQ(Write(), first);
    KSModul* read = nullptr;
    for (int32_t i = 0; i < Top()->GetChildCount(); ++i)
      if (Top()->GetChild(i)->IsType(kTypeFader)) read = Top()->GetChild(i);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->GetStepSize(), step);
    for (int32_t i = 0; i < KSModul::kSteps; ++i) EXPECT_TRUE(std::isfinite(read->GetTableValue(i))) << i;
  }
}

// A delay length stored beyond what a buffer holds is read at the bound, and
// the user is told as the property dialog tells it; the file then saves what
// the buffer holds.
TEST_F(FileTest, AStoredDelayBeyondItsBoundIsToldAndReadAtTheBound) {
  testkit::ScriptedHost host;
  KSModul* delay = Top()->InsertModule(kTypeModDelay, kPlaceNext);
  ASSERT_NE(delay, nullptr);
  const int32_t at = Top()->GetChildCount() - 1;
  struct Case {
    float stored;
    float read;
    bool told;
  };
  const Case cases[] = {{250000.0f, 100000.0f, true}, {std::numeric_limits<float>::infinity(), 100000.0f, true},
                        {100000.0f, 100000.0f, false}, {1500.0f, 1500.0f, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    Top()->GetChild(at)->SetRangeMaximum(c.stored);
    const std::vector<uint8_t> bytes = Write();
    const size_t before = host.Boxes().size();
    if (c.told) host.QueueAnswer(0);
    ASSERT_EQ(Open(bytes), 1);
    KSModul* read = Top()->GetChild(at);
    ASSERT_TRUE(read->IsType(kTypeModDelay));
    EXPECT_EQ(read->GetMaximum(), c.read);
    ASSERT_NE(read->GetDelayBuffer(), nullptr);
    EXPECT_EQ(read->GetDelayBuffer()->GetLengthMs(), int32_t(c.read));
    ASSERT_EQ(host.Boxes().size(), before + (c.told ? 1 : 0));
    if (c.told) {
      EXPECT_EQ(host.Boxes().back().text, "Current available delay length can be maximum 100000 ms.");
    }
  }
}

TEST_F(FileTest, TheTopIsAlwaysAnInstrument) {
  // A version-96 ensemble: one old instrument block without note shift,
  // recall flag or stored flags, and a top record without instrument block.
  TBytes b;
  b.Signature();
  b.Frame("KEnsemble").Version(96, 1);
  OldBlock(b, 96, 7, 9, "Only");
  b.End();
  Mod top;
  top.v = 96;
  top.cat = 9;
  top.flags = 0x0C;
  Common(b, top);
  b.U32(0).U32(492).U32(297).I32(0).I32(0).U32(462).U32(331).I32(0).I32(0);
  b.Str("Old");
  b.End();
  ASSERT_EQ(Open(b.data), 1);
  KInstr* in = Top()->GetOwnInstr();
  ASSERT_NE(in, nullptr);
  EXPECT_EQ(in->GetVoices(), 7);
  EXPECT_EQ(in->GetMidiChannel(), 9);
  EXPECT_EQ(in->GetLowerKey(), 10);
  EXPECT_STREQ(in->GetSnapName(0).CStr(), "Only");
  EXPECT_TRUE(in->IsSnapStored(127));
  // A version-200 top record of category 0 becomes the top instrument.
  TBytes m;
  m.Signature();
  EnsembleRecord(m);
  Mod plain;
  plain.name = true;
  plain.flags = 0x08; // label and help stored
  Common(m, plain);
  m.Str("Plain").Str("Help");
  m.End();
  ASSERT_EQ(Open(m.data), 1);
  EXPECT_EQ(Top()->GetCategory(), kCatInstrument);
  ASSERT_NE(Top()->GetOwnInstr(), nullptr);
  ASSERT_EQ(Open(Write()), 1);
  EXPECT_EQ(Top()->GetCategory(), kCatInstrument);
}
