// Reading and writing ensemble, instrument and macro files. Every count and
// index a file gives is checked before it reaches a fixed array; a file that
// breaks a limit is refused as a whole.
#include "src/mod/modfile.h"

#include "platform/fs.h"
#include "src/engine/audioio.h"
#include "src/engine/source_handlers.h"
#include "src/audio/soundpool.h"
#include "src/audio/streamread.h"
#include "src/mod/instr.h"
#include "src/mod/modaudio.h"
#include "src/mod/mod.h"
#include "src/mod/moddata.h"
#include "src/mod/modwnd.h"

#include <algorithm>
#include <limits>
#include <cmath>
#include <cstring>

namespace {

QV_MESSAGE(NotValid, "Not a valid Volteon file.");
QV_MESSAGE(Newer, "This file was created by a newer version of Volteon ($1).\nPlease get a software update!");
QV_MESSAGE(ReadingFile, "Error while reading file $1:");
QV_MESSAGE(ReadingTempFile, "Error while reading temporary file $1:");

[[noreturn]] void Invalid() { ThrowError(&NotValid()); }

[[noreturn]] void TooNew(int32_t v) {
  Newer().SetParam(1, FormatFileVersion(v));
  ThrowError(&Newer());
}

// ---- Reading values

uint32_t U32(TInOut& s) { return ReadWholeU32(s); }
int32_t I32(TInOut& s) { return ReadWholeI32(s); }
float F32(TInOut& s) { return ReadWholeFloat(s); }
double F64(TInOut& s) {
  uint8_t b[8];
  if (s.RawRead(b, 8) != 8) s.RaiseReadError();
  double v;
  std::memcpy(&v, b, 8);
  ToByteOrderDouble(&v, s.GetByteOrder());
  return v;
}
TStr Str(TInOut& s) {
  TStr t;
  s.ReadStr(t);
  return t;
}
TPnt Pnt(TInOut& s) {
  const int32_t x = I32(s);
  return TPnt(x, I32(s));
}
// Whether the record being read held an instrument panel position (reading
// is single-threaded, one record at a time).
bool panelPosRead = false;
TPnt PanelPnt(TInOut& s) {
  panelPosRead = true;
  return Pnt(s);
}
TArea Area(TInOut& s) {
  const int32_t l = I32(s), t = I32(s), r = I32(s);
  return TArea(l, t, r, I32(s));
}
void Skip(TInOut& s, int words) {
  for (int i = 0; i < words; ++i) U32(s);
}

// ---- Frames

std::vector<uint8_t> FrameHeader(const char* name) {
  const uint32_t n = uint32_t(std::strlen(name));
  std::vector<uint8_t> h;
  h.push_back('[');
  for (int i = 0; i < 4; ++i) h.push_back(uint8_t(n >> (8 * i)));
  h.insert(h.end(), name, name + n);
  h.insert(h.end(), {1, 0, 0, 0});
  return h;
}

void ExpectFrame(TInOut& s, const char* name) {
  const std::vector<uint8_t> want = FrameHeader(name);
  std::vector<uint8_t> got(want.size());
  if (s.RawRead(got.data(), uint32_t(got.size())) != got.size()) s.RaiseReadError();
  if (got != want) Invalid();
}

void ExpectEnd(TInOut& s) {
  uint8_t b = 0;
  if (s.RawRead(&b, 1) != 1) s.RaiseReadError();
  if (b != ']') Invalid();
}

void WriteFrame(TInOut& s, const char* name) {
  const std::vector<uint8_t> h = FrameHeader(name);
  s.RawWrite(h.data(), uint32_t(h.size()));
}

void WriteEnd(TInOut& s) { s.WriteUChar(']'); }

void W32(TInOut& s, uint32_t v) { s.WriteULong(v); }
void WI32(TInOut& s, int32_t v) { s.WriteLong(v); }
void WF32(TInOut& s, float v) { s.WriteFloat(v); }
void WPnt(TInOut& s, TPnt p) { s.WriteLong(p.X()).WriteLong(p.Y()); }
void WArea(TInOut& s, const TArea& a) { s.WriteLong(a.Left()).WriteLong(a.Top()).WriteLong(a.Right()).WriteLong(a.Bottom()); }

struct TVersionWord {
  uint32_t count;
  int32_t version;
  uint32_t marker;
};

TVersionWord SplitVersion(uint32_t word) {
  return {word & 0xFFu, int32_t((word >> 8) & 0xFFFu), (word >> 20) & 0x7FFu};
}

uint32_t VersionWord(int32_t version) { return uint32_t(version) << 8; }

// ---- Type groups

// The module types whose range only a record above kFileVersion holds.
bool KeepsRangeAbove(int32_t type) {
  return type == kTypeMidiProgramChangeOut.type || type == kTypeMidiChannelPressureOut.type;
}

// Whether the type index is that of one of the types (of the category the
// caller has tested).
bool InList(int32_t type, std::initializer_list<TModuleType> list) {
  for (TModuleType t : list)
    if (t.type == type) return true;
  return false;
}

bool IsFileType(int32_t cat, int32_t t) {
  return cat == kCatModule && InList(t, {kTypeTapedeck1, kTypeTapedeck2, kTypeSampler, kTypeSamplerFm, kTypeSamplerLoop,
                                         kTypeSampleLookup, kTypeBeatLoop, kTypeResynth, kTypePitchFormer});
}
bool IsGraphFirst(int32_t cat, int32_t t) {
  return cat == kCatModule &&
         InList(t, {kTypeHoldEnv, kTypeHoldReleaseEnv, kTypeAttackReleaseEnv, kTypeDecayEnv, kTypeDecayReleaseEnv,
                    kTypeDsrEnv, kTypeAdsrEnv, kTypeAdbdrEnv, kTypeOnePoleFilterFm, kTypeTwoPoleFilterFm,
                    kTypeFourPoleFilterFm, kTypeTwoPoleNotchFm, kTypeDbdrEnv, kTypeAdbdsrEnv, kTypeFourPoleHighPassFm,
                    kTypeAttackDecayEnv, kTypeFourPoleFilter, kTypeFourPoleHighPass, kTypeOnePoleFilter,
                    kTypeTwoPoleFilter, kTypeTwoPoleNotch, kTypeRamp4Env, kTypeRamp5Env, kTypeRamp6Env, kTypeDbdsrEnv,
                    kTypeAdrEnv});
}
bool IsGraphSecond(int32_t cat, int32_t t) {
  return cat == kCatModule && InList(t, {kTypePeakEqFm, kTypeHiShelfEqFm, kTypeLoShelfEqFm, kTypeEventShaper3,
                                         kTypeEventShaper4, kTypeShaper1Bp, kTypeShaper2Bp, kTypeShaper3Bp,
                                         kTypeEventShaper5, kTypeParabolShaper, kTypeCubicShaper, kTypePeakEq,
                                         kTypeHiShelfEq, kTypeLoShelfEq});
}
bool IsGraph(int32_t cat, int32_t t) {
  return IsGraphFirst(cat, t) || IsGraphSecond(cat, t) || (cat == kCatModule && t == kTypeScope.type);
}
bool IsDelayType(int32_t cat, int32_t t) {
  return cat == kCatModule &&
         InList(t, {kTypeStaticDelay, kTypeModDelay, kTypeScope, kTypeDiffuserDelay, kTypeGrainDelay});
}
bool IsLampType(int32_t cat, int32_t t) {
  return cat == kCatModule && InList(t, {kTypeLamp, kTypeLampTwin, kTypeLevelMeter, kTypeMeter, kTypeLevelLamp});
}
bool IsDriverType(int32_t cat, int32_t t) {
  return cat == kCatModule &&
         InList(t, {kTypeOldAudioOutA, kTypeOldAudioOutB, kTypeOldAudioOutC, kTypeAudioIn, kTypeAudioOut});
}
bool KnownCategory(int32_t cat) {
  return cat == kCatModule || cat == kCatSource || cat == kCatMacro || cat == kCatInTerminal || cat == kCatOutTerminal ||
         cat == kCatSwitch || cat == kCatInstrument;
}

// The version from which a type stores its control style.
int32_t StyleVersion(int32_t cat, int32_t t) {
  if (cat == kCatMacro || cat == kCatInstrument) return 122;
  if (IsFileType(cat, t)) return 140;
  if (IsGraphFirst(cat, t)) return 193;
  if (IsGraphSecond(cat, t)) return 198;
  return 120;
}

// Whether a record of this file version holds the module's panel places.
bool StoresPanelPlaces(int32_t cat, int32_t t) {
  return cat == kCatSwitch || cat == kCatSource || cat == kCatInstrument || IsLampType(cat, t) || IsFileType(cat, t) ||
         IsGraph(cat, t);
}
bool HasSnapTable(int32_t cat, int32_t t) {
  return cat == kCatSwitch ||
         (cat == kCatSource && InList(t, {kTypeFader, kTypeButton, kTypeController, kTypeSelectedPolyPressure}));
}
bool HasStepSize(int32_t cat, int32_t t) {
  return cat == kCatSource && InList(t, {kTypeFader, kTypeController, kTypeSelectedPolyPressure});
}
// Whether the control block of a record of this version stores a value table.
bool StoresValueTable(int32_t t, int32_t v) {
  if (t == kTypeFader.type) return v < 120;
  if (InList(t, {kTypeNoteOnVelocity, kTypeNoteOffVelocity, kTypeGate, kTypeNotePitch, kTypeSelectedNoteGate,
                 kTypePolyPressure, kTypePitchBend, kTypeChannelPressure, kTypeController, kTypeProgramChange}))
    return true;
  if (t == kTypeOldGate.type || t == kTypeSingleTriggerGate.type) return v >= 96;
  if (t == kTypeSelectedPolyPressure.type) return v >= 97;
  return false;
}

// Help texts that older versions stored for types whose help they did not change.
const char* const kFormerDefaults[] = {
    "Default instrument module. Instrument modules can have an internal structure of modules and a separate control "
    "panel. External (monophonic) ports can be created by placing \"Terminal\" modules.",
    "Default macro module. This module \r\ncan be used to build up an internal \r\nstructure of modules. An external "
    "port \r\ncan be created by placing a \r\n\" \tTerminal\" module.",
    "Source for a event/audio signal, controlled by a Fader on the panel. The range is adjustable by \"Min\" and "
    "\"Max\".",
};

// The most a record of a type the catalogue does not know may claim for its
// event outputs, audio inputs and state words per voice.
constexpr int32_t kMaxStoredCount = 4096;
constexpr uint32_t kBitMuted = 1u << 0;
constexpr uint32_t kBitLabelFollows = 1u << 1;
constexpr uint32_t kBitHelpFollows = 1u << 2;
constexpr uint32_t kBitOutside = 1u << 3;
constexpr uint32_t kBitLabelHidden = 1u << 6;
constexpr uint32_t kBitPanelLocked = 1u << 8;
constexpr uint32_t kBitRemote = 1u << 10;
constexpr uint32_t kBitSnapValues = 1u << 20;
constexpr uint32_t kBitVisibleInstr = 1u << 24;
constexpr uint32_t kBitVisibleEns = 1u << 25;
constexpr uint32_t kBitSolo = 1u << 29;
constexpr double kNoStepSize = 1.2345678e+57;

template <class F> void SetBit(F& flags, uint32_t bit, bool on) {
  if (on) flags |= bit;
  else flags &= ~bit;
}

int32_t SampleRateOfCode(uint32_t code) {
  static const int32_t rates[14] = {132300, 88200, 66150, 53333, 44100, 40000, 35556,
                                    33075,  29091, 26667, 24615, 22050, 21333, 20000};
  if (code >= 1102 && code <= 1115) return rates[code - 1102];
  return int32_t(code);
}

// Reads one old-style instrument block into an instrument (null: dropped).
void ReadOldInstrBlock(TInOut& s, int32_t v, KInstr* in);

} // namespace

// ---------------------------------------------------------------------------
// Signature

void KModulFile::ReadSignature(TInOut& s) {
  uint8_t b[5];
  if (s.RawRead(b, 5) != 5) Invalid();
  if (b[0] != 0x3A || b[3] != 0 || b[1] != b[2] || (b[1] != 1 && b[1] != 2) || b[4] > 1) Invalid();
  s.SetByteOrder(b[1] == 1 ? 0 : 1);
}

void KModulFile::WriteSignature(TInOut& s) {
  const uint8_t order = s.GetByteOrder() == 0 ? 1 : 2;
  const uint8_t b[5] = {0x3A, order, order, 0, 0};
  s.RawWrite(b, 5);
}

// ---------------------------------------------------------------------------
// The ensemble record

void KModulFile::ReadEnsembleRecord(TInOut& s, IFileEnsemble& ens) {
  if (ens.GetReadState() >= 1) Invalid();
  ExpectFrame(s, "KEnsemble");
  const TVersionWord w = SplitVersion(U32(s));
  const int32_t v = w.version;
  if (w.count > 16 || (v >= 100 && w.count != 0)) Invalid();
  if (v > kFileVersion) TooNew(v);
  if (v < 100 && w.marker != 0) Invalid();
  if (v > 100 || (v == 100 && w.marker != 0))
    if (!(Str(s) == TStr("Ensemble"))) Invalid();
  if (v >= 98) {
    uint32_t rate = U32(s);
    if (v < 143) rate += 98;
    if (v < 151) rate = uint32_t(SampleRateOfCode(rate));
    ens.SetFileSampleRate(int32_t(rate));
  }
  if (v >= 196) {
    const int32_t controlRate = I32(s);
    const uint32_t sync = U32(s);
    const float tempo = F32(s);
    ens.SetClock(controlRate, sync != 0, tempo);
  }
  if (v < 100) {
    KSModul* top = ens.GetTopModule();
    for (uint32_t i = 0; i < w.count; ++i) {
      KInstr* in = nullptr;
      if (i == 0 && top) {
        top->CreateOwnInstr();
        in = top->GetOwnInstr();
      }
      ReadOldInstrBlock(s, v, in);
    }
  }
  if (ens.IsUndoBusy()) ens.SetNextSerialNo(I32(s));
  ExpectEnd(s);
  ens.SetReadState(1);
}

void KModulFile::WriteEnsembleRecord(TInOut& s, const IFileEnsemble& ens) {
  WriteFrame(s, "KEnsemble");
  W32(s, VersionWord(kFileVersion));
  s.WriteStr(TStr("Ensemble"));
  W32(s, uint32_t(ens.GetFileSampleRate()));
  int32_t controlRate;
  bool sync;
  float tempo;
  ens.GetClock(controlRate, sync, tempo);
  WI32(s, controlRate);
  W32(s, sync ? 1 : 0);
  WF32(s, tempo);
  if (ens.IsUndoBusy()) WI32(s, ens.GetNextSerialNo());
  WriteEnd(s);
}

// ---------------------------------------------------------------------------
// Port records

void KModulFile::ReadInPort(TInOut& s, KInPort& p, int32_t ownerVersion) {
  ExpectFrame(s, "KInPort");
  p.kind_ = I32(s);
  const int32_t index = I32(s);
  p.index_ = index > 0 ? 0 : index;
  const uint32_t wires = U32(s);
  if (wires > uint32_t(kMaxWires)) Invalid();
  for (uint32_t i = 0; i < wires; ++i) {
    const int32_t child = I32(s);
    const int32_t port = I32(s);
    // Both are checked against the siblings once they are all read.
    p.AddWireRecord(child, port);
  }
  if (ownerVersion < 120) Skip(s, 3);
  p.flags_ = uint8_t(U32(s) & 0xFFu);
  if (!(p.flags_ & KInPort::kLabelFollowsDef)) p.label_ = Str(s);
  if (!(p.flags_ & KInPort::kInfoFollowsDef)) p.info_ = Str(s);
  ExpectEnd(s);
}

void KModulFile::ReadOutPort(TInOut& s, KOutPort& p, int32_t ownerVersion) {
  ExpectFrame(s, "KOutPort");
  p.kind_ = I32(s);
  p.index_ = I32(s);
  if (ownerVersion < 120) Skip(s, 3);
  p.flags_ = uint8_t(U32(s) & 0xFFu);
  if (!(p.flags_ & KOutPort::kLabelFollowsDef)) {
    p.label_ = Str(s);
    KSModul* owner = p.owner_;
    if (owner && (owner->IsCategory(kCatInTerminal) || owner->IsType(kTypeSelectedPolyPressure))) p.label_ = TStr();
  }
  if (!(p.flags_ & KOutPort::kInfoFollowsDef)) p.info_ = Str(s);
  ExpectEnd(s);
  if (p.owner_ && p.owner_->IsType(kTypeGate)) p.kind_ = kEventPoly;
}

void KModulFile::WriteInPort(TInOut& s, const KInPort& p) {
  WriteFrame(s, "KInPort");
  WI32(s, p.kind_);
  WI32(s, p.index_);
  W32(s, uint32_t(p.wireCount_));
  for (int32_t i = 0; i < p.wireCount_; ++i) {
    WI32(s, p.sourceChild_[i]);
    WI32(s, p.sourcePort_[i]);
  }
  W32(s, p.flags_);
  if (!(p.flags_ & KInPort::kLabelFollowsDef)) s.WriteStr(p.label_);
  if (!(p.flags_ & KInPort::kInfoFollowsDef)) s.WriteStr(p.info_);
  WriteEnd(s);
}

void KModulFile::WriteOutPort(TInOut& s, const KOutPort& p) {
  WriteFrame(s, "KOutPort");
  WI32(s, p.kind_);
  WI32(s, p.index_);
  W32(s, p.flags_);
  if (!(p.flags_ & KOutPort::kLabelFollowsDef)) s.WriteStr(p.label_);
  if (!(p.flags_ & KOutPort::kInfoFollowsDef)) s.WriteStr(p.info_);
  WriteEnd(s);
}

// ---------------------------------------------------------------------------
// Old instrument blocks

namespace {
void ReadOldInstrBlock(TInOut& s, int32_t v, KInstr* in) {
  const int32_t voices = I32(s);
  const int32_t lower = I32(s);
  const int32_t upper = I32(s);
  const int32_t sustain = I32(s);
  const int32_t hold = I32(s);
  const uint32_t channels = U32(s);
  int32_t shift = 0, recall = 0;
  if (v >= 97) {
    shift = I32(s);
    recall = I32(s);
  }
  int32_t channel = 0;
  for (uint32_t i = 0; i < channels; ++i) {
    const int32_t c = I32(s);
    if (i == 0) channel = c;
  }
  Str(s);
  TStr names[KInstr::kSnaps];
  int32_t stored[KInstr::kSnaps];
  for (int32_t i = 0; i < KInstr::kSnaps; ++i) {
    names[i] = Str(s);
    // Any word other than 0 means stored; kept as 1, the one flag written.
    stored[i] = v >= 97 ? (I32(s) != 0 ? 1 : 0) : 1;
  }
  if (!in) return;
  KModulFile::SetOldInstrument(*in, voices, lower, upper, sustain, hold, shift, recall, channels ? channel : 0, names,
                               stored);
}
} // namespace

void KModulFile::SetOldInstrument(KInstr& in, int32_t voices, int32_t lower, int32_t upper, int32_t sustain,
                                  int32_t hold, int32_t shift, int32_t recall, int32_t channel, const TStr* names,
                                  const int32_t* stored) {
  {
    // The MIDI thread reads these.
    TLockGuard lock(EngineCriticalSection());
    in.SetVoiceCount(voices);
    in.SetKeyRange(lower, upper);
    in.SetSustainController(sustain);
    in.SetHoldController(hold);
    in.noteShift_ = shift;
    in.recallByMidi_ = recall;
    for (int32_t i = 0; i < KInstr::kSnaps; ++i) {
      in.snapNames_[i] = names[i];
      in.stored_[i] = stored[i];
    }
  }
  if (channel >= 1) in.SetMidiChannel(channel);
}

// ---------------------------------------------------------------------------
// Module records

// A module record: its version and kind, the header of category, type and
// counts, the flags and window places of macros and instruments, label and
// help, the control style and what depends on it, the data of its type, the
// instrument block, and the serial number of an undo snapshot. Every step
// reads its fields in record order; the record's version decides which
// fields an older record holds.
KRecordCounts KModulFile::ReadModul(TInOut& s, KSModul& m, IFileEnsemble& ens) {
  ExpectFrame(s, "KSModul");
  const int32_t v = ReadModulVersion(s, m, ens);
  const KRecordCounts counts = ReadModulHeader(s, m, v);
  const int32_t storedCat = m.category_;
  const int32_t storedType = m.type_;
  AttachInstrument(m);
  RenameFormerTypes(m, v);
  ReadFlagsAndWindows(s, m, v, storedCat, ens);
  ReadLabelAndHelp(s, m, v);
  panelPosRead = false;
  ReadControlStyle(s, m, v, storedCat);
  ReadTypeData(s, m, v, storedType);
  // Older records kept one panel position for both panels. A module whose
  // records never hold one (a macro, a type this program does not know) keeps
  // both as they are, as the record it is saved with will leave them.
  if (v < 190 && (panelPosRead || StoresPanelPlaces(m.category_, m.type_))) m.ensPanelPos_ = m.instrPanelPos_;
  if (v >= 99 && storedCat == kCatInstrument) ReadInstrBlock(s, m, v);
  MarkLoadedDriver(m);
  if (ens.IsUndoBusy()) m.serialNo_ = I32(s);
  ExpectEnd(s);
  return counts;
}

// The version word, checked against what this reader knows; the first
// module record of a file also carries the kind name "Module".
int32_t KModulFile::ReadModulVersion(TInOut& s, KSModul& m, IFileEnsemble& ens) {
  const TVersionWord w = SplitVersion(U32(s));
  const int32_t v = w.version;
  m.recordVersion_ = v;
  if (v < 198 ? (v >= 100 && w.count != 0) : w.count > 3) Invalid();
  if (v > kMidiOutRangeVersion) TooNew(v);
  if (v < 100 && w.marker != 0) Invalid();
  if ((v > 100 || w.marker != 0) && ens.GetReadState() < 2)
    if (!(Str(s) == TStr("Module"))) Invalid();
  ens.SetReadState(2);
  return v;
}

// Position, category, type, terminal number, the port and child counts,
// state sizes and the mono bit, skipping the filler words of records before
// 120. A category or count beyond the limits refuses the file.
KRecordCounts KModulFile::ReadModulHeader(TInOut& s, KSModul& m, int32_t v) {
  KRecordCounts counts{};
  m.pos_ = Pnt(s);
  const uint32_t cat = U32(s);
  const uint32_t type = U32(s);
  const uint32_t terminal = U32(s);
  counts.in = U32(s);
  if (v < 120) Skip(s, 3);
  counts.out = U32(s);
  if (v < 120) Skip(s, 1);
  const int32_t eventOutputs = I32(s);
  if (v < 120) Skip(s, 1);
  const int32_t audioInputs = I32(s);
  const int32_t stateWords = I32(s);
  counts.children = U32(s);
  if (v < 120) Skip(s, 2);
  const uint32_t mono = U32(s);
  if (!KnownCategory(int32_t(cat)) || type > 0xFFFFu) Invalid();
  if (counts.in > uint32_t(kMaxPorts) || counts.out > uint32_t(kMaxPorts) ||
      counts.children > uint32_t(KSModul::kMaxChildren + 1))
    Invalid();
  if ((cat == uint32_t(kCatInTerminal) || cat == uint32_t(kCatOutTerminal)) && terminal >= uint32_t(kMaxPorts)) Invalid();
  const int32_t storedCat = int32_t(cat);
  const int32_t storedType = int32_t(type);
  m.category_ = storedCat;
  m.type_ = storedType;
  m.terminalNo_ = int32_t(terminal);
  // The engine sizes a module's record by these: they come from the type,
  // never from the file, even for a module whose record is cut short.
  if (const KModulDef* def = FindModulDef(&m, storedCat, storedType)) {
    m.eventOutputs_ = def->eventOutputs;
    m.audioInputs_ = def->audioInputs;
    m.stateWords_ = def->stateWords;
  } else {
    m.eventOutputs_ = std::clamp(eventOutputs, 0, kMaxStoredCount);
    m.audioInputs_ = std::clamp(audioInputs, 0, kMaxStoredCount);
    m.stateWords_ = std::clamp(stateWords, 0, kMaxStoredCount);
  }
  m.mono_ = mono ? 1 : 0;
  return counts;
}

// The instrument: an instrument module and the top module have their own.
void KModulFile::AttachInstrument(KSModul& m) {
  if (m.category_ == kCatInstrument || !m.parent_) {
    m.category_ = kCatInstrument;
    m.CreateOwnInstr();
  } else {
    m.instr_ = m.parent_->instr_;
  }
}

// Types that were renamed.
void KModulFile::RenameFormerTypes(KSModul& m, int32_t v) {
  if (m.IsType(kTypeOldSawtooth)) m.type_ = kTypeSawtooth.type;
  if (m.IsType(kTypeEventDelay) && v < 100) m.audioInputs_ = 1;
  if (m.IsCategory(kCatInTerminal) || m.IsCategory(kCatOutTerminal)) {
    // A terminal's type index is the signal kind of its port: stored mono
    // kinds become the poly kind of the same signal on a mono module.
    if (m.type_ == kAudioMono || m.type_ == kEventMono) {
      m.type_ += 1;
      m.mono_ = 1;
    }
  }
  if (m.IsType(kTypeOldGate)) {
    m.type_ = kTypeGate.type;
    m.mono_ = 1;
  }
}

// The flags (from 96) and, for a macro or instrument, the places, sizes and
// states of its panel and structure windows.
void KModulFile::ReadFlagsAndWindows(TInOut& s, KSModul& m, int32_t v, int32_t storedCat, IFileEnsemble& ens) {
  if (v >= 96) {
    m.flags_ = U32(s) | kBitOutside;
    // A solo belongs to the session that made it, never to a file.
    m.flags_ &= ~kBitSolo;
    if (v < 120) m.flags_ = (m.flags_ & ~(3u << 13)) | (1u << 13);
    if (storedCat == kCatMacro || storedCat == kCatInstrument) {
      KModulData& d = m.Data();
      if (v < 120) SetBit(m.flags_, kBitPanelLocked, (U32(s) & 1u) != 0);
      if (v < 157) {
        const int32_t pw = I32(s), ph = I32(s), px = I32(s), py = I32(s);
        const int32_t sw = I32(s), sh = I32(s), sx = I32(s), sy = I32(s);
        // Outer window sizes less the frame, wrapping as 32-bit words do
        // (a damaged size near the lowest value must not overflow).
        auto inner = [](int32_t outer, uint32_t frame) { return int32_t(uint32_t(outer) - frame); };
        m.panelWndArea_ = TArea(0, 0, inner(pw, 12), inner(ph, 57));
        m.panelWndPos_ = TPnt(px, py);
        m.structArea_ = TArea(0, 0, inner(sw, 12), inner(sh, 31));
        m.structWndPos_ = TPnt(sx, sy);
      } else {
        m.panelWndPos_ = Pnt(s);
        m.panelWndArea_ = Area(s);
        m.structWndPos_ = Pnt(s);
        m.structArea_ = Area(s);
      }
      if (v >= 192) {
        d.panelOpenNo = I32(s);
        d.structOpenNo = I32(s);
      } else {
        d.panelOpenNo = 0;
        d.structOpenNo = (!m.parent_ && ens.GetTopModule() == &m) ? 1 : 0;
      }
      if (v >= 195) {
        const uint32_t hidden = U32(s);
        if (m.instr_) m.instr_->SetStructureHidden(hidden != 0);
      }
      if (v >= 200) {
        m.panelWndState_ = I32(s);
        m.structWndState_ = I32(s);
        for (int i = 0; i < 4; ++i) Str(s);
      } else {
        m.panelWndState_ = 0;
        m.structWndState_ = 0;
      }
    }
  }
}

// The label and help text unless they follow the type; a help text that
// older records stored as a default is dropped.
void KModulFile::ReadLabelAndHelp(TInOut& s, KSModul& m, int32_t v) {
  if (!(m.flags_ & kBitLabelFollows)) m.label_ = Str(s);
  if (!(m.flags_ & kBitHelpFollows)) {
    m.help_ = Str(s);
    if (v < 150)
      for (const char* text : kFormerDefaults)
        if (m.help_ == TStr(text)) m.help_ = TStr();
  }
}

// Control style and the defaults that depend on it.
void KModulFile::ReadControlStyle(TInOut& s, KSModul& m, int32_t v, int32_t storedCat) {
  const int32_t c = m.category_;
  const int32_t t = m.type_;
  // Whether a style was stored depends on the type the record was written for.
  const KModulDef* storedDef = FindModulDef(&m, storedCat, t);
  if (v >= 120 && storedDef && storedDef->panelView != kViewNone && v >= StyleVersion(storedCat, t))
    m.ctrlStyle_ = I32(s);
  const bool top = m.IsInTopLevel() != 0;
  if (c == kCatSwitch) {
    m.ctrlStyle_ = 200;
    if (v < 190) {
      SetBit(m.flags_, kBitVisibleInstr, true);
      SetBit(m.flags_, kBitVisibleEns, top);
    }
  } else if (m.IsType(kTypeFader) || m.IsType(kTypeButton)) {
    if (v < 190) {
      SetBit(m.flags_, kBitVisibleInstr, true);
      SetBit(m.flags_, kBitVisibleEns, top);
    }
  } else if (c == kCatMacro) {
    if (m.ctrlStyle_ == 0) {
      m.ctrlStyle_ = 100;
      SetBit(m.flags_, kBitVisibleInstr, false);
    } else if (v < 140) {
      SetBit(m.flags_, kBitVisibleInstr, true);
    }
    if (v < 190) SetBit(m.flags_, kBitVisibleEns, top);
  } else if (c == kCatInstrument) {
    m.ctrlStyle_ = 110;
    SetBit(m.flags_, kBitVisibleInstr, false);
    SetBit(m.flags_, kBitVisibleEns, true);
  } else if (IsFileType(c, t)) {
    if (m.ctrlStyle_ == 0) {
      m.ctrlStyle_ = 500;
      SetBit(m.flags_, kBitLabelHidden, false);
      SetBit(m.flags_, kBitVisibleInstr, false);
    }
    if (v < 190) SetBit(m.flags_, kBitVisibleEns, top);
  } else if (IsGraph(c, t)) {
    if (m.ctrlStyle_ == 0) {
      m.ctrlStyle_ = 600;
      SetBit(m.flags_, kBitLabelHidden, false);
      SetBit(m.flags_, kBitVisibleInstr, false);
      SetBit(m.flags_, kBitVisibleEns, false);
      m.SetDisplaySize(TPnt(100, 52));
    } else {
      const TPnt size = Pnt(s);
      // A display wider or taller than any screen is a damaged value.
      m.SetDisplaySize(TPnt(std::clamp(size.X(), 0, 4096), std::clamp(size.Y(), 0, 4096)));
      if (v >= 194) {
        m.instrPanelPos_ = PanelPnt(s);
        m.ensPanelPos_ = Pnt(s);
      }
    }
  }
}

// A driver module (an Audio In or Out) is marked for the repair that
// follows reading an ensemble: 2 takes the place of the ensemble's own, 1
// is removed.
void KModulFile::MarkLoadedDriver(KSModul& m) {
  const int32_t c = m.category_;
  const int32_t t = m.type_;
  if (IsDriverType(c, t)) {
    KModulData& d = m.Data();
    // Only the top module holds the ensemble's Audio In and Out: one stored
    // inside a macro or instrument is removed, whatever its type.
    const bool inTop = m.parent_ && !m.parent_->parent_;
    if (t == kTypeAudioIn.type || t == kTypeAudioOut.type) d.loadMark = inTop ? 2 : 1;
    else d.loadMark = (inTop && !m.IsMuted()) ? 2 : 1;
  }
}

void KModulFile::ReadTypeData(TInOut& s, KSModul& m, int32_t v, int32_t storedType) {
  const int32_t c = m.category_;
  const int32_t t = m.type_;
  if (c == kCatSwitch || c == kCatSource) {
    ReadControlBlock(s, m, v, storedType);
    return;
  }
  if (c != kCatModule) return;
  if (t == kTypeMidiControllerOut.type || t == kTypeMidiPolyPressureOut.type) {
    if (v >= 150) {
      m.minimum_ = F32(s);
      m.maximum_ = F32(s);
      m.params_[2] = I32(s);
    }
  } else if (t == kTypeMidiNoteOut.type || t == kTypeMidiPitchBendOut.type) {
    if (v >= 150) {
      m.minimum_ = F32(s);
      m.maximum_ = F32(s);
    }
  } else if (KeepsRangeAbove(t)) {
    if (v >= kMidiOutRangeVersion) {
      m.minimum_ = F32(s);
      m.maximum_ = F32(s);
    }
  } else if (IsLampType(c, t)) {
    m.minimum_ = F32(s);
    m.maximum_ = F32(s);
    m.instrPanelPos_ = PanelPnt(s);
    if (v >= 190) {
      m.ensPanelPos_ = Pnt(s);
    } else {
      SetBit(m.flags_, kBitVisibleInstr, true);
      SetBit(m.flags_, kBitVisibleEns, m.IsInTopLevel() != 0);
    }
  } else if (t == kTypeEventSmoother.type || t == kTypeAudioToEventSmoothed.type) {
    m.minimum_ = F32(s);
    m.maximum_ = F32(s);
  } else if (t == kTypeClockOsc.type) {
    if (v >= 191) {
      m.minimum_ = F32(s);
      m.maximum_ = F32(s);
    }
  } else if (IsDelayType(c, t)) {
    m.maximum_ = v >= 99 ? F32(s) : 1000.0f;
  } else if (t == kTypeSampler.type || t == kTypeSamplerFm.type) {
    m.CreateAudioObjects();
    IAudioFileMap* map = m.GetSampleMap();
    if (!map) ThrowError(&NotValid());
    if (v >= 141) m.instrPanelPos_ = PanelPnt(s);
    if (v >= 190) m.ensPanelPos_ = Pnt(s);
    if (v >= 161) map->Read(&s);
    else map->ReadEmbeddedSample(&s);
  } else if (InList(t, {kTypeSamplerLoop, kTypeSampleLookup, kTypeBeatLoop, kTypeResynth, kTypePitchFormer})) {
    m.CreateAudioObjects();
    IAudioFileMap* map = m.GetSampleMap();
    if (!map) ThrowError(&NotValid());
    m.instrPanelPos_ = PanelPnt(s);
    if (v >= 190) m.ensPanelPos_ = Pnt(s);
    map->Read(&s);
  } else if (t == kTypeTapedeck1.type || t == kTypeTapedeck2.type) {
    m.CreateAudioObjects();
    IRecordBuffer* tape = m.GetRecordBuffer();
    if (!tape) ThrowError(&NotValid());
    if (v >= 141) m.instrPanelPos_ = PanelPnt(s);
    if (v >= 190) m.ensPanelPos_ = Pnt(s);
    float length = F32(s);
    if (length == 0.0f) {
      const TStr path = Str(s);
      // The name stays with the tape even when the file is missing, so that a
      // save keeps the reference.
      tape->GetFileName()->SetPath(path);
      if (!path.IsEmpty()) {
        try {
          EPtr<IFileName> name(CreateFileName());
          name->SetPath(path);
          tape->Load(*name);
          length = float(tape->GetLengthMs() / 1000);
        } catch (...) {
          length = 0.0f;
        }
      }
    } else if (std::isfinite(length) && length > 0.0f && length < 3600.0f) {
      tape->SetLengthMs(int32_t(length * 1000.0f));
    } else {
      // A tape longer than an hour or of no length at all is a damaged value.
      Invalid();
    }
    m.maximum_ = length;
  }
}

void KModulFile::ReadControlBlock(TInOut& s, KSModul& m, int32_t v, int32_t storedType) {
  const int32_t c = m.category_;
  const int32_t t = m.type_;
  const bool fader = m.IsType(kTypeFader);
  m.minimum_ = F32(s);
  m.maximum_ = F32(s);
  m.params_[2] = I32(s);
  if (v >= 97 && !fader) {
    int32_t lower = I32(s);
    if (v < 144) lower &= 0xFF;
    const int32_t upper = I32(s);
    m.midiLower_ = std::clamp(lower, 0, 127);
    m.midiUpper_ = std::clamp(upper, 0, 127);
  } else {
    Skip(s, 2);
  }
  m.snapIsolate_ = I32(s);
  if (v < 97) Skip(s, 1);
  if (v >= 97 && v < 120) m.flags_ = (m.flags_ & ~(3u << 11)) | (U32(s) != 0 ? (1u << 11) : 0u);
  if (v >= 97) {
    // The MIDI mode word is the control's soft-takeover word; "Sync" keeps
    // its pulse length in that parameter word instead.
    const int32_t mode = I32(s);
    if (!m.IsType(kTypeClockSync)) m.params_[kSourcePickUpParam] = mode;
  }
  m.sources_[0] = std::clamp(I32(s), 0, KSModul::kSteps - 1);
  if (v < 120) SetBit(m.flags_, kBitRemote, (U32(s) & 1u) != 0);
  m.instrPanelPos_ = PanelPnt(s);
  if (v >= 190) m.ensPanelPos_ = Pnt(s);
  if (v == 144) Skip(s, 1);

  if (HasSnapTable(c, t)) {
    m.snapSteps_ = std::make_unique<int32_t[]>(KSModul::kSteps);
    const bool button = m.IsType(kTypeButton);
    if (v >= 96 && !(button && !(m.flags_ & kBitSnapValues))) {
      const uint32_t n = v >= 142 ? U32(s) : 128u;
      for (uint32_t i = 0; i < n; ++i) {
        const int32_t step = std::clamp(I32(s), 0, 127);
        if (i < uint32_t(KSModul::kSteps)) m.snapSteps_[i] = step;
      }
      m.flags_ |= kBitSnapValues;
    }
  }
  if (v >= 120 && HasStepSize(c, t)) {
    const double step = F64(s);
    m.stepSize_ = (step == kNoStepSize || !std::isfinite(step)) ? 0.0 : step;
  }
  if (c == kCatSource) {
    if (StoresValueTable(storedType, v)) {
      m.valueTable_ = std::make_unique<float[]>(KSModul::kSteps);
      for (int32_t i = 0; i < KSModul::kSteps; ++i) m.valueTable_[i] = F32(s);
    } else if (storedType == 2 || storedType == 3) {
      m.valueTable_ = std::make_unique<float[]>(KSModul::kSteps);
      for (int32_t i = 0; i < KSModul::kSteps; ++i)
        m.valueTable_[i] = m.minimum_ + (m.maximum_ - m.minimum_) * float(i) / 127.0f;
    } else if (fader) {
      if (!m.valueTable_) m.valueTable_ = std::make_unique<float[]>(KSModul::kSteps);
      // The table is made with the step as a float; a step beyond the float
      // range (which snaps every value to the minimum, as the float's
      // largest does) is kept as stored, so that a save writes what was read
      // instead of an infinity that reads back as no step at all.
      const double stored = m.stepSize_;
      m.SetControlRange(m.minimum_, m.midiLower_, m.maximum_, m.midiUpper_,
                        float(std::min(stored, double(std::numeric_limits<float>::max()))));
      if (stored > double(std::numeric_limits<float>::max())) m.stepSize_ = stored;
    }
  }
  if (v >= 140 && m.IsType(kTypeClockSync)) {
    KModulData& d = m.Data();
    d.syncWords[0] = I32(s);
    d.syncWords[1] = I32(s);
  }
}

void KModulFile::ReadInstrBlock(TInOut& s, KSModul& m, int32_t v) {
  KInstr* in = m.GetOwnInstr();
  const uint32_t voiceWord = U32(s);
  int32_t voices = int32_t(voiceWord & 0xFFu);
  int32_t maxU = int32_t((voiceWord >> 8) & 0xFFu);
  int32_t minU = int32_t(voiceWord >> 16);
  if (maxU == 0) maxU = 1;
  if (minU == 0) minU = 1;
  const int32_t lower = I32(s), upper = I32(s), sustain = I32(s), hold = I32(s);
  uint32_t channels = 1;
  if (v < 197) channels = U32(s);
  if (channels > 16) Invalid();
  const int32_t shift = I32(s);
  const int32_t recall = I32(s);
  const float tune = v >= 144 ? F32(s) : 0.0f;
  const float spread = v >= 145 ? F32(s) : 0.05f;
  int32_t channel = -1;
  for (uint32_t i = 0; i < channels; ++i) {
    const int32_t ch = I32(s);
    if (i == 0) channel = ch;
  }
  const uint32_t snaps = v >= 142 ? U32(s) : 128u;
  TStr names[KInstr::kSnaps];
  uint32_t words[KInstr::kSnaps] = {};
  for (uint32_t i = 0; i < snaps; ++i) {
    TStr name = Str(s);
    const uint32_t word = U32(s);
    if (i >= uint32_t(KInstr::kSnaps)) continue;
    names[i] = std::move(name);
    words[i] = word;
  }
  int32_t byParent = 0;
  int32_t parentMap[KInstr::kSnaps];
  if (v >= 197) {
    byParent = I32(s);
    if (byParent != 0)
      for (int32_t i = 0; i < KInstr::kSnaps; ++i) parentMap[i] = I32(s);
  }
  {
    // The MIDI thread reads these.
    TLockGuard lock(EngineCriticalSection());
    in->voices_ = std::clamp(voices, 1, KInstr::kMaxVoices);
    in->maxUnison_ = std::clamp(maxU, 1, in->voices_);
    in->minUnison_ = std::clamp(minU, 1, in->maxUnison_);
    in->BuildRing();
    in->SetKeyRange(lower, upper);
    in->SetSustainController(sustain);
    in->SetHoldController(hold);
    in->noteShift_ = shift;
    in->recallByMidi_ = recall;
    in->ownTune_ = tune;
    in->tune_ = tune;
    in->spread_ = spread;
    for (uint32_t i = 0; i < uint32_t(KInstr::kSnaps); ++i) {
      if (i >= snaps) {
        in->stored_[i] = 0;
        continue;
      }
      in->snapNames_[i] = names[i];
      const uint32_t word = words[i];
      if (v < 197) {
        // Any word other than 0 reads as stored (4 and 32 included), so it
        // is written as stored: the flag the newer word keeps.
        in->stored_[i] = word != 0 ? 1 : 0;
      } else {
        in->snapSpread_[i] = float(word & 0xFFFFu) * 0.0005f;
        in->snapMaxUnison_[i] = int32_t((word >> 16) & 0xFFu);
        in->snapMinUnison_[i] = int32_t((word >> 24) & 0x3Fu);
        in->stored_[i] = int32_t(word >> 30);
      }
    }
    if (v >= 197) {
      in->recallByParent_ = byParent;
      if (byParent != 0)
        for (int32_t i = 0; i < KInstr::kSnaps; ++i) in->parentMap_[i] = parentMap[i];
    }
  }
  if (channel >= 0) in->SetMidiChannel(std::clamp(channel, 0, 15) + 1);
  if (v >= 190) m.ensPanelPos_ = Pnt(s);
}

// ---------------------------------------------------------------------------
// Writing module records

namespace {
uint32_t PackSnap(const KInstr& in, int32_t i, float spread, int32_t maxU, int32_t minU, int32_t stored) {
  (void)in;
  (void)i;
  const uint32_t s = uint32_t(std::clamp(int32_t(std::lround(double(spread) / 0.0005)), 0, 0xFFFF));
  return s | (uint32_t(maxU & 0xFF) << 16) | (uint32_t(minU & 0x3F) << 24) | (uint32_t(stored & 3) << 30);
}
} // namespace

int32_t KModulFile::RecordVersion(const KSModul& m) {
  // A new module's range: what a record without one reads back as.
  constexpr float kNewMinimum = 0.0f, kNewMaximum = 1.0f;
  const bool ownRange = m.category_ == kCatModule && KeepsRangeAbove(m.type_) &&
                        (m.minimum_ != kNewMinimum || m.maximum_ != kNewMaximum);
  return ownRange ? kMidiOutRangeVersion : kFileVersion;
}

void KModulFile::WriteModul(TInOut& s, const KSModul& m, const IFileEnsemble& ens, bool first) {
  const int32_t c = m.category_;
  const int32_t t = m.type_;
  WriteFrame(s, "KSModul");
  W32(s, VersionWord(RecordVersion(m)));
  if (first) s.WriteStr(TStr("Module"));
  WPnt(s, m.pos_);
  WI32(s, c);
  WI32(s, t);
  WI32(s, m.terminalNo_);
  WI32(s, m.inCount_);
  WI32(s, m.outCount_);
  WI32(s, m.eventOutputs_);
  WI32(s, m.audioInputs_);
  WI32(s, m.stateWords_);
  WI32(s, m.childCount_);
  WI32(s, m.mono_);
  const uint32_t flags = m.flags_ & ~kBitSolo;
  W32(s, flags);
  if (c == kCatMacro || c == kCatInstrument) {
    const KModulData* d = m.GetData();
    int32_t panelNo = d ? d->panelOpenNo : 0;
    int32_t structNo = d ? d->structOpenNo : 0;
    // With windows the numbers and places are those of the windows open now.
    if (IModelWindows* w = m.Windows(); w && w->TracksOpeningOrder()) {
      panelNo = m.panelWnd_ ? w->GetOpeningNumber(m.panelWnd_) : 0;
      structNo = m.structWnd_ ? w->GetOpeningNumber(m.structWnd_) : 0;
      if (m.panelWnd_) w->StorePlacement(m.panelWnd_);
      if (m.structWnd_) w->StorePlacement(m.structWnd_);
    }
    WPnt(s, m.panelWndPos_);
    WArea(s, m.panelWndArea_);
    WPnt(s, m.structWndPos_);
    WArea(s, m.structArea_);
    WI32(s, panelNo);
    WI32(s, structNo);
    W32(s, m.instr_ && m.instr_->IsStructureHidden() ? 1 : 0);
    WI32(s, m.panelWndState_);
    WI32(s, m.structWndState_);
    for (int i = 0; i < 4; ++i) s.WriteStr(TStr());
  }
  if (!(flags & kBitLabelFollows)) s.WriteStr(m.label_);
  if (!(flags & kBitHelpFollows)) s.WriteStr(m.help_);
  const KModulDef* def = FindModulDef(&m, c, t);
  if (def && def->panelView != kViewNone) WI32(s, m.ctrlStyle_);
  if (IsGraph(c, t) && def && def->panelView != kViewNone && m.ctrlStyle_ != 0) {
    WPnt(s, m.displaySize_);
    WPnt(s, m.instrPanelPos_);
    WPnt(s, m.ensPanelPos_);
  }
  WriteTypeData(s, m);
  if (c == kCatInstrument) WriteInstrBlock(s, m);
  if (ens.IsUndoBusy()) WI32(s, m.serialNo_);
  WriteEnd(s);
}

void KModulFile::WriteTypeData(TInOut& s, const KSModul& m) {
  const int32_t c = m.category_;
  const int32_t t = m.type_;
  if (c == kCatSwitch || c == kCatSource) {
    WriteControlBlock(s, m);
    return;
  }
  if (c != kCatModule) return;
  if (t == kTypeMidiControllerOut.type || t == kTypeMidiPolyPressureOut.type) {
    WF32(s, m.minimum_);
    WF32(s, m.maximum_);
    WI32(s, m.params_[2]);
  } else if (t == kTypeMidiNoteOut.type || t == kTypeMidiPitchBendOut.type || t == kTypeEventSmoother.type ||
             t == kTypeAudioToEventSmoothed.type || t == kTypeClockOsc.type) {
    WF32(s, m.minimum_);
    WF32(s, m.maximum_);
  } else if (KeepsRangeAbove(t)) {
    if (RecordVersion(m) >= kMidiOutRangeVersion) {
      WF32(s, m.minimum_);
      WF32(s, m.maximum_);
    }
  } else if (IsLampType(c, t)) {
    WF32(s, m.minimum_);
    WF32(s, m.maximum_);
    WPnt(s, m.instrPanelPos_);
    WPnt(s, m.ensPanelPos_);
  } else if (IsDelayType(c, t)) {
    WF32(s, m.maximum_);
  } else if (t == kTypeSampler.type || t == kTypeSamplerFm.type ||
             InList(t, {kTypeSamplerLoop, kTypeSampleLookup, kTypeBeatLoop, kTypeResynth, kTypePitchFormer})) {
    WPnt(s, m.instrPanelPos_);
    WPnt(s, m.ensPanelPos_);
    IAudioFileMap* map = m.GetSampleMap();
    if (map) {
      map->Write(&s, m.IsBackupSound() ? 1 : 0);
    } else {
      // A sampler without its map writes an empty one.
      EPtr<IAudioFileMap> empty(CreateAudioFileMap(nullptr, 0));
      empty->Write(&s, 0);
    }
  } else if (t == kTypeTapedeck1.type || t == kTypeTapedeck2.type) {
    WPnt(s, m.instrPanelPos_);
    WPnt(s, m.ensPanelPos_);
    IRecordBuffer* tape = m.GetRecordBuffer();
    const float length = m.maximum_;
    WF32(s, length);
    if (length == 0.0f) s.WriteStr(tape ? tape->GetFileName()->GetPath() : TStr());
  }
}

void KModulFile::WriteControlBlock(TInOut& s, const KSModul& m) {
  const int32_t c = m.category_;
  const int32_t t = m.type_;
  const bool fader = m.IsType(kTypeFader);
  WF32(s, m.minimum_);
  WF32(s, m.maximum_);
  WI32(s, m.params_[2]);
  WI32(s, fader ? 0 : m.midiLower_);
  WI32(s, fader ? 0 : m.midiUpper_);
  WI32(s, m.snapIsolate_);
  WI32(s, m.IsType(kTypeClockSync) ? 0 : m.params_[kSourcePickUpParam]);
  WI32(s, std::clamp(m.GetControlStep(), 0, KSModul::kSteps - 1));
  WPnt(s, m.instrPanelPos_);
  WPnt(s, m.ensPanelPos_);
  if (HasSnapTable(c, t)) {
    const bool button = m.IsType(kTypeButton);
    if (!(button && !(m.flags_ & kBitSnapValues))) {
      W32(s, uint32_t(KSModul::kSteps));
      for (int32_t i = 0; i < KSModul::kSteps; ++i) WI32(s, m.snapSteps_ ? m.snapSteps_[i] : 0);
    }
  }
  if (HasStepSize(c, t)) {
    double step = m.stepSize_;
    uint8_t b[8];
    ToByteOrderDouble(&step, s.GetByteOrder());
    std::memcpy(b, &step, 8);
    s.RawWrite(b, 8);
  }
  if (c == kCatSource && StoresValueTable(t, kFileVersion))
    for (int32_t i = 0; i < KSModul::kSteps; ++i) WF32(s, m.valueTable_ ? m.valueTable_[i] : 0.0f);
  if (m.IsType(kTypeClockSync)) {
    const KModulData* d = m.GetData();
    WI32(s, d ? d->syncWords[0] : 12);
    WI32(s, d ? d->syncWords[1] : 6);
  }
}

void KModulFile::WriteInstrBlock(TInOut& s, const KSModul& m) {
  const KInstr* in = m.GetOwnInstr();
  KInstr fresh(nullptr);
  if (!in) in = &fresh;
  W32(s, uint32_t(in->voices_ & 0xFF) | (uint32_t(in->maxUnison_ & 0xFF) << 8) | (uint32_t(in->minUnison_) << 16));
  WI32(s, in->lowerKey_);
  WI32(s, in->upperKey_);
  WI32(s, in->sustainController_);
  WI32(s, in->holdController_);
  WI32(s, in->noteShift_);
  WI32(s, in->recallByMidi_);
  WF32(s, in->ownTune_);
  WF32(s, in->spread_);
  WI32(s, in->channel_);
  // Snapshots after the last one that holds anything are left out.
  int32_t count = 0;
  for (int32_t i = 0; i < KInstr::kSnaps; ++i) {
    const uint32_t word = PackSnap(*in, i, in->snapSpread_[i], in->snapMaxUnison_[i], in->snapMinUnison_[i], in->stored_[i]);
    const uint32_t plain = PackSnap(fresh, i, fresh.snapSpread_[i], fresh.snapMaxUnison_[i], fresh.snapMinUnison_[i], 0);
    if (word != plain || !in->snapNames_[i].IsEmpty()) count = i + 1;
  }
  W32(s, uint32_t(count));
  for (int32_t i = 0; i < count; ++i) {
    s.WriteStr(in->snapNames_[i]);
    W32(s, PackSnap(*in, i, in->snapSpread_[i], in->snapMaxUnison_[i], in->snapMinUnison_[i], in->stored_[i]));
  }
  WI32(s, in->recallByParent_);
  if (in->recallByParent_ != 0)
    for (int32_t i = 0; i < KInstr::kSnaps; ++i) WI32(s, in->parentMap_[i]);
  WPnt(s, m.ensPanelPos_);
}

// ---------------------------------------------------------------------------
// Record trees

void KModulFile::ReadTree(TInOut& s, KSModul& m, IFileEnsemble& ens, bool fresh) {
  // What the module held goes first, so that nothing read refers to it.
  if (!fresh) RemoveContents(m);
  const KRecordCounts counts = ReadModul(s, m, ens);
  const int32_t v = m.recordVersion_;
  for (uint32_t i = 0; i < counts.in; ++i) ReadInPort(s, *m.AddInPort(), v);
  for (uint32_t i = 0; i < counts.out; ++i) ReadOutPort(s, *m.AddOutPort(), v);
  ApplyLoadedType(m, !fresh);
  for (uint32_t i = 0; i < counts.children; ++i) {
    KSModul* child = new KSModul(m.host_, &m);
    m.children_[m.childCount_++] = child;
    ReadTree(s, *child, ens, true);
  }
  // Every wire names a sibling and one of its out-ports.
  for (int32_t c = 0; c < m.childCount_; ++c) {
    const KSModul* child = m.children_[c];
    for (int32_t p = 0; p < child->inCount_; ++p) {
      const KInPort* port = child->in_[p];
      for (int32_t w = 0; w < port->wireCount_; ++w) {
        const KSModul* source = m.GetChild(port->sourceChild_[w]);
        if (!source || !source->GetOutPort(port->sourcePort_[w])) Invalid();
      }
    }
  }
  m.ConnectChildWires();
  for (int32_t c = 0; c < m.childCount_; ++c) {
    KSModul* child = m.children_[c];
    for (int32_t p = 0; p < child->outCount_; ++p)
      if (child->out_[p]->IsMuted()) {
        child->out_[p]->flags_ &= uint8_t(~KOutPort::kMuted);
        child->out_[p]->Mute();
      }
  }
}

void KModulFile::ApplyLoadedType(KSModul& m, bool addToPanel) {
  const KModulDef* def = FindModulDef(&m, m.category_, m.type_);
  if (!def || !def->portsApply) return;
  const bool driver = IsDriverType(m.category_, m.type_);
  const int32_t defIn = def->inPorts ? def->inPorts->count : 0;
  const int32_t defOut = def->outPorts ? def->outPorts->count : 0;
  if (driver && (defIn != m.inCount_ || defOut != m.outCount_)) return;
  if ((m.flags_ & kBitLabelFollows) || !def->nameIsUser) m.label_ = def->name ? TStr(def->name) : TStr();
  if ((m.flags_ & kBitHelpFollows) || !def->helpIsUser) m.help_ = def->help ? TStr(def->help) : TStr();
  if (!def->monoSwitchable) m.mono_ = def->startsMono ? 1 : 0;
  for (int32_t i = 0; i < std::min(defIn, m.inCount_); ++i) m.in_[i]->RefreshFromDef((*def->inPorts)[i]);
  for (int32_t i = 0; i < std::min(defOut, m.outCount_); ++i) m.out_[i]->RefreshFromDef((*def->outPorts)[i]);
  m.ApplyTypeState(def, addToPanel);
}

void KModulFile::WriteTree(TInOut& s, const KSModul& m, const IFileEnsemble& ens, bool first) {
  WriteModul(s, m, ens, first);
  for (int32_t i = 0; i < m.inCount_; ++i) WriteInPort(s, *m.in_[i]);
  for (int32_t i = 0; i < m.outCount_; ++i) WriteOutPort(s, *m.out_[i]);
  for (int32_t i = 0; i < m.childCount_; ++i) WriteTree(s, *m.children_[i], ens, false);
}

void KModulFile::WriteEnsemble(TInOut& s, const IFileEnsemble& ens) {
  WriteSignature(s);
  WriteEnsembleRecord(s, ens);
  if (KSModul* top = ens.GetTopModule()) WriteTree(s, *top, ens, true);
}

void KModulFile::WriteModuleFile(TInOut& s, const KSModul& m, const IFileEnsemble& ens) {
  WriteSignature(s);
  WriteTree(s, m, ens, true);
}

void KModulFile::WriteInPortMapped(TInOut& s, const KInPort& p, const int32_t* childMap, int32_t mapSize) {
  int32_t child[kMaxWires], port[kMaxWires], n = 0;
  for (int32_t i = 0; i < p.wireCount_; ++i) {
    const int32_t c = p.sourceChild_[i];
    if (c < 0 || c >= mapSize || childMap[c] < 0) continue;
    child[n] = childMap[c];
    port[n] = p.sourcePort_[i];
    ++n;
  }
  WriteFrame(s, "KInPort");
  WI32(s, p.kind_);
  WI32(s, p.index_);
  W32(s, uint32_t(n));
  for (int32_t i = 0; i < n; ++i) {
    WI32(s, child[i]);
    WI32(s, port[i]);
  }
  W32(s, p.flags_);
  if (!(p.flags_ & KInPort::kLabelFollowsDef)) s.WriteStr(p.label_);
  if (!(p.flags_ & KInPort::kInfoFollowsDef)) s.WriteStr(p.info_);
  WriteEnd(s);
}

void KModulFile::WriteSelection(TInOut& s, const KSModul& structure, const IFileEnsemble& ens) {
  std::vector<const KSModul*> chosen;
  for (int32_t c = 0; c < structure.childCount_; ++c)
    if (structure.children_[c]->IsSelected()) chosen.push_back(structure.children_[c]);
  WriteModules(s, chosen, ens);
}

void KModulFile::WriteModules(TInOut& s, const std::vector<const KSModul*>& chosen, const IFileEnsemble& ens) {
  // The file's own module: an empty macro that announces the chosen
  // modules. It never holds them: they stay where they are.
  KSModul holder(nullptr, nullptr);
  holder.category_ = kCatMacro;
  holder.type_ = 0;
  holder.label_ = TStr("Macro");
  holder.help_ = TStr();
  holder.childCount_ = int32_t(chosen.size());
  WriteSignature(s);
  try {
    WriteModul(s, holder, ens, true);
  } catch (...) {
    holder.childCount_ = 0;
    throw;
  }
  holder.childCount_ = 0;
  int32_t map[KSModul::kMaxChildren + 1];
  for (const KSModul* m : chosen) {
    // A wire stays when its source is chosen too and shares the parent:
    // the parent's child numbers become the file's.
    const KSModul* parent = m->parent_;
    const int32_t siblings = parent ? parent->childCount_ : 0;
    for (int32_t c = 0; c < siblings; ++c) {
      map[c] = -1;
      for (size_t j = 0; j < chosen.size(); ++j)
        if (chosen[j] == parent->children_[c]) map[c] = int32_t(j);
    }
    WriteModul(s, *m, ens, false);
    for (int32_t i = 0; i < m->inCount_; ++i) WriteInPortMapped(s, *m->in_[i], map, siblings);
    for (int32_t i = 0; i < m->outCount_; ++i) WriteOutPort(s, *m->out_[i]);
    for (int32_t i = 0; i < m->childCount_; ++i) WriteTree(s, *m->children_[i], ens, false);
  }
}

void KModulFile::EmptyModule(KSModul& m) {
  RemoveContents(m);
  if (m.instr_ == m.ownInstr_.get()) m.instr_ = nullptr;
  m.ownInstr_.reset();
}

void KModulFile::RemoveContents(KSModul& m) {
  {
    TStructureChange change(&m);
    while (m.childCount_ > 0) m.DeleteChild(m.children_[m.childCount_ - 1]);
    for (int32_t i = m.inCount_; i-- > 0;) {
      delete m.in_[i];
      m.in_[i] = nullptr;
    }
    for (int32_t i = m.outCount_; i-- > 0;) {
      delete m.out_[i];
      m.out_[i] = nullptr;
    }
    m.inCount_ = m.outCount_ = 0;
  }
}

void KModulFile::ApplyVoiceSettings(KSModul& m) {
  if (KInstr* in = m.GetOwnInstr()) in->SetVoices(in->voices_, in->maxUnison_, in->minUnison_);
  for (int32_t i = 0; i < m.childCount_; ++i) ApplyVoiceSettings(*m.children_[i]);
}

// ---------------------------------------------------------------------------
// Files

namespace {
// A file name of the same folder and type with another name.
EPtr<IFileName> Sibling(const IFileName& name, const TStr& newName) {
  EPtr<IFileName> n(CreateFileName());
  n->SetFolder(name.GetFolder());
  n->SetName(newName);
  n->SetType(name.GetType());
  return n;
}

// The file is made whole in memory first; it replaces the old one through a
// temporary file in the same folder, so a failed write never destroys it.
// With backups on, the old file is kept as "Backup of ..." while the target
// keeps its name throughout: it holds the whole old or the whole new file at
// every moment.
template <class Body> void SaveThroughTemp(const IFileName& name, Body&& body) {
  TMemInOut mem;
  body(mem);
  const bool backups = KSModul::GetCreateBackups() != 0;
  const TStr backup = backups ? Sibling(name, TStr("Backup of ") + name.GetName(0))->GetPath() : TStr();
  ReplaceFileBytes(name.GetPath(), mem.Data(), backup);
  if (!backups) RemoveBackup(name);
}
} // namespace

void RemoveBackup(const IFileName& name) {
  if (KSModul::GetCreateBackups()) return;
  EPtr<IFileName> backup = Sibling(name, TStr("Backup of ") + name.GetName(0));
  if (backup->Exists()) backup->Remove();
}

void KModulFile::SaveEnsembleFile(const IFileName& name, const IFileEnsemble& ens) {
  ClearWrittenMarks();
  SaveThroughTemp(name, [&](TInOut& s) { WriteEnsemble(s, ens); });
}

void KModulFile::SaveModuleFile(const IFileName& name, const KSModul& m, const IFileEnsemble& ens) {
  ClearWrittenMarks();
  SaveThroughTemp(name, [&](TInOut& s) { WriteModuleFile(s, m, ens); });
}

void KModulFile::SaveSelectionFile(const IFileName& name, const KSModul& structure, const IFileEnsemble& ens) {
  ClearWrittenMarks();
  SaveThroughTemp(name, [&](TInOut& s) { WriteSelection(s, structure, ens); });
}

void KModulFile::SaveModulesFile(const IFileName& name, const std::vector<const KSModul*>& chosen,
                                 const IFileEnsemble& ens) {
  ClearWrittenMarks();
  SaveThroughTemp(name, [&](TInOut& s) { WriteModules(s, chosen, ens); });
}

int32_t KModulFile::ReadFile(KSModul& m, const IFileName& name, IFileEnsemble& ens) {
  try {
    EPtr<IFile> file(CreateFileObject());
    file->OpenRead(&name);
    ens.SetReadState(1);
    BeginSoundfileLoad();
    ReadSignature(*file);
    ReadTree(*file, m, ens, true);
    if (ens.GetReadState() < 2) Invalid();
    LoadPendingSoundfiles(ens.IsUndoBusy() ? 0 : 1);
    return 1;
  } catch (...) {
    RecordCurrentException();
    ReadingFile().SetParam(1, name.GetPath());
    ShowLastErrorWithCaption(&ReadingFile());
    LoadPendingSoundfiles(0);
    return 0;
  }
}

int32_t KModulFile::ReadTempFile(KSModul& m, const IFileName& name, IFileEnsemble& ens) {
  const bool wasBusy = ens.IsUndoBusy();
  ens.SetUndoBusy(true);
  try {
    EPtr<IFile> file(CreateFileObject());
    file->OpenRead(&name);
    ens.SetReadState(1);
    ReadSignature(*file);
    ReadTree(*file, m, ens, true);
    if (ens.GetReadState() < 2) Invalid();
    ApplyVoiceSettings(m);
    ens.SetUndoBusy(wasBusy);
    return 1;
  } catch (...) {
    RecordCurrentException();
    ens.SetUndoBusy(wasBusy);
    ReadingTempFile().SetParam(1, name.GetPath());
    ShowLastErrorWithCaption(&ReadingTempFile());
    return 0;
  }
}

TParamStr& NotValidFileMessage() { return NotValid(); }
TParamStr& NewerVersionMessage() { return Newer(); }

// ---------------------------------------------------------------------------
// Merging a macro file into a macro

namespace {
QV_MESSAGE(NotValidModule, "Not a valid Volteon Module file.");
QV_MESSAGE(TooManyModules, "Too many modules. Maximum per Macro: $1.");

bool HasPanelView(const KSModul& m) {
  const KModulDef* d = m.GetTypeDef();
  return d && d->panelView != kViewNone;
}
} // namespace

// A new port of the macro stands for a merged terminal.
template <class P> void KModulFile::TakeTerminal(P* port, KSModul& terminal, int32_t kind, int32_t number) {
  if (!port) Invalid();
  port->kind_ = kind;
  port->index_ = -1;
  port->label_ = terminal.label_;
  port->info_ = terminal.help_;
  terminal.terminalNo_ = number;
}

void KModulFile::ShowMerged(KSModul& macro, int32_t former, bool newPorts) {
  IModelWindows* w = macro.Windows();
  if (!w) return;
  // The macro's box shows the ports its new terminals gave it.
  if (newPorts && macro.parent_) macro.RemakeBox();
  if (macro.structWnd_) {
    for (int32_t c = former; c < macro.childCount_; ++c) macro.children_[c]->CreateView(macro.structWnd_);
    w->RefreshWnd(macro.structWnd_);
  }
  KSModul* top = macro.GetTop();
  KSModul* panelNode = macro.GetPanelNode();
  if (panelNode != top && panelNode->panelWnd_) w->RefreshWnd(panelNode->panelWnd_);
  if (top->panelWnd_) w->RebuildCtrlViews(top->panelWnd_);
}

namespace {
int32_t Clamp32(int64_t v) {
  return int32_t(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

// The shift that brings a corner to a target; it can span more than 32 bits.
KModulFile::TShift PlaceShift(TPnt target, TPnt corner) {
  return {int64_t(target.X()) - corner.X(), int64_t(target.Y()) - corner.Y()};
}

TPnt ShiftedPlace(TPnt p, KModulFile::TShift d) { return TPnt(Clamp32(p.X() + d.x), Clamp32(p.Y() + d.y)); }
} // namespace

TPnt KModulFile::MinPanelPos(const KSModul& m, TPnt p) {
  if (HasPanelView(m))
    p = TPnt(std::min(p.X(), m.instrPanelPos_.X()), std::min(p.Y(), m.instrPanelPos_.Y()));
  for (int32_t i = 0; i < m.childCount_; ++i) p = MinPanelPos(*m.children_[i], p);
  return p;
}

void KModulFile::MovePanelPos(KSModul& m, TShift d) {
  if (HasPanelView(m)) m.instrPanelPos_ = ShiftedPlace(m.instrPanelPos_, d);
  for (int32_t i = 0; i < m.childCount_; ++i) MovePanelPos(*m.children_[i], d);
}

int32_t KModulFile::ImportModuleFile(KSModul& macro, const IFileName& name, IFileEnsemble& ens) {
  KSModul* top = ens.GetTopModule() ? ens.GetTopModule() : macro.GetTop();
  const int32_t former = macro.childCount_;
  const int32_t formerIn = macro.inCount_;
  const int32_t formerOut = macro.outCount_;
  try {
    EPtr<IFile> file(CreateFileObject());
    file->OpenRead(&name);
    TInOut& s = *file;
    // The whole merge holds the engine: connections are taken out first and
    // rebuilt once it is complete.
    TStructureChange change(top);
    // What was read goes again before the bracket closes: the bracket's end
    // puts every module into processing, a half-read one included.
    struct TRollback {
      KSModul& macro;
      int32_t former, formerIn, formerOut;
      bool done = false;
      ~TRollback() {
        if (done) return;
        DestructorBody([this] {
          while (macro.childCount_ > former) macro.DeleteChild(macro.children_[macro.childCount_ - 1]);
          while (macro.inCount_ > formerIn) macro.DestroyInPort(macro.inCount_ - 1);
          while (macro.outCount_ > formerOut) macro.DestroyOutPort(macro.outCount_ - 1);
        });
      }
    } rollback{macro, former, formerIn, formerOut};
    ens.SetReadState(1);
    BeginSoundfileLoad();
    KSModul scratch(macro.host_, &macro);
    KRecordCounts counts;
    try {
      ReadSignature(s);
      counts = ReadModul(s, scratch, ens);
    } catch (const TError&) {
      if (ens.GetReadState() < 2) ThrowError(&NotValidModule());
      throw;
    }
    // The file module's own ports are read and dropped.
    for (uint32_t i = 0; i < counts.in; ++i) {
      KInPort port(&scratch);
      ReadInPort(s, port, scratch.recordVersion_);
    }
    for (uint32_t i = 0; i < counts.out; ++i) {
      KOutPort port(&scratch);
      ReadOutPort(s, port, scratch.recordVersion_);
    }
    if (uint32_t(former) + counts.children > uint32_t(KSModul::kMaxChildren + 1)) {
      TooManyModules().SetParam(1, FormatStr("%d", KSModul::kMaxChildren + 1));
      ThrowError(&TooManyModules());
    }
    for (uint32_t i = 0; i < counts.children; ++i) {
      KSModul* child = new KSModul(macro.host_, &macro);
      macro.children_[macro.childCount_++] = child;
      ReadTree(s, *child, ens, false);
      if (child->IsCategory(kCatInTerminal) || child->IsCategory(kCatOutTerminal)) {
        const bool in = child->IsCategory(kCatInTerminal);
        if (macro.IsCategory(kCatInstrument)) {
          // A terminal's type index is the signal kind of its port: mono here.
          child->type_ = child->type_ == kEventPoly ? kEventMono : kAudioMono;
          child->mono_ = 1;
        }
        const int32_t kind = child->type_ >= 0 && child->type_ <= 3 ? child->type_ : 0;
        if (in) {
          KInPort* port = macro.AddInPort();
          TakeTerminal(port, *child, kind, macro.inCount_ - 1);
        } else {
          KOutPort* port = macro.AddOutPort();
          TakeTerminal(port, *child, kind, macro.outCount_ - 1);
        }
      }
      for (int32_t p = 0; p < child->inCount_; ++p) {
        KInPort* port = child->in_[p];
        for (int32_t w = 0; w < port->wireCount_; ++w) {
          port->sourceChild_[w] += former;
          if (port->sourceChild_[w] < former || port->sourceChild_[w] >= former + int32_t(counts.children)) Invalid();
        }
      }
    }
    for (int32_t c = former; c < macro.childCount_; ++c)
      for (int32_t p = 0; p < macro.children_[c]->inCount_; ++p) {
        const KInPort* port = macro.children_[c]->in_[p];
        for (int32_t w = 0; w < port->wireCount_; ++w)
          if (!macro.children_[port->sourceChild_[w]]->GetOutPort(port->sourcePort_[w])) Invalid();
      }
    macro.ConnectChildWires();
    top->DeselectAll();
    // The merged boxes and panel controls move so that their top-left corner
    // lands on the insert points, wherever the file had them: a file whose
    // boxes all lay far out would otherwise stay out of sight. The shifts are
    // taken in 64 bits and the places kept inside 32, whatever a file holds.
    constexpr int32_t kFar = std::numeric_limits<int32_t>::max();
    TPnt box(kFar, kFar), panel(kFar, kFar);
    for (int32_t c = former; c < macro.childCount_; ++c) {
      const KSModul* m = macro.children_[c];
      box = TPnt(std::min(box.X(), m->pos_.X()), std::min(box.Y(), m->pos_.Y()));
      panel = MinPanelPos(*m, panel);
    }
    KSModul* panelOwner = macro.instr_ ? macro.instr_->GetOwner() : &macro;
    if (!panelOwner) panelOwner = &macro;
    const TShift boxShift = PlaceShift(macro.nextInsert_, box);
    const TShift panelShift = PlaceShift(panelOwner->nextInstrPanelInsert_, panel);
    for (int32_t c = former; c < macro.childCount_; ++c) {
      KSModul* m = macro.children_[c];
      m->pos_ = ShiftedPlace(m->pos_, boxShift);
      MovePanelPos(*m, panelShift);
      ApplyVoiceSettings(*m);
      m->Select();
    }
    macro.nextInsert_ = TPnt(macro.nextInsert_.X() + 16, macro.nextInsert_.Y() + 16);
    panelOwner->nextInstrPanelInsert_ =
        TPnt(panelOwner->nextInstrPanelInsert_.X() + 16, panelOwner->nextInstrPanelInsert_.Y() + 16);
    rollback.done = true;
    ShowMerged(macro, former, formerIn != macro.inCount_ || formerOut != macro.outCount_);
    LoadPendingSoundfiles(ens.IsUndoBusy() ? 0 : 1);
    return 1;
  } catch (...) {
    RecordCurrentException();
    // Nothing of a file that could not be read whole stays in the macro: the
    // children read before the fault may be wired to children the file never
    // delivered, and the macro's ports already follow their terminals, so a
    // part would be a structure the file never described. The file itself
    // is untouched, so nothing is lost by merging none of it.
    try {
      TStructureChange change(top);
      while (macro.childCount_ > former) macro.DeleteChild(macro.children_[macro.childCount_ - 1]);
      while (macro.inCount_ > formerIn) macro.DestroyInPort(macro.inCount_ - 1);
      while (macro.outCount_ > formerOut) macro.DestroyOutPort(macro.outCount_ - 1);
      LoadPendingSoundfiles(0);
    } catch (...) {
    }
    ReadingFile().SetParam(1, name.GetPath());
    ShowLastErrorWithCaption(&ReadingFile());
    return 0;
  }
}
