// The MIDI output modules in a real ensemble: the range that the property
// dialog or the ensemble file gives a module is the range the engine scales
// by, so moving what feeds it sends the message to the MIDI driver.
#include "tests/mod/ensemble_fixture.h"

#include "src/base/inout.h"
#include "src/base/settings.h"
#include "src/mod/ensfile.h"
#include "src/mod/modfile.h"
#include "tests/common/testkit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using ensfix::TEnsembleFixture;

namespace {

constexpr int32_t kChannel = 5; // as the instrument stores it (shown as 6)

uint32_t Packed(uint32_t status, uint32_t data1, uint32_t data2 = 0) { return status | data1 << 8 | data2 << 16; }

// One MIDI output fed by a fader (the note output by a pitch fader on "P"
// and a gate button on "G").
struct TOutCase {
  const char* name;
  TModuleType type;
  float minimum, maximum;
  int32_t number;          // controller or note number where the type has one
  float faderValue;        // what the fader sends (its range is 0 ... 127)
  std::vector<uint32_t> sent;
};

const std::vector<TOutCase>& OutCases() {
  static const std::vector<TOutCase> cases = {
      // (value - min) x 127 / (max - min), truncated: 100 over 0 ... 254 is 50.
      {"controller", kTypeMidiControllerOut, 0.0f, 254.0f, 7, 100.0f, {Packed(0xB0 | kChannel, 7, 50)}},
      {"poly aftertouch", kTypeMidiPolyPressureOut, 0.0f, 127.0f, 61, 100.0f, {Packed(0xA0 | kChannel, 61, 100)}},
      // 63.5: coarse byte 63, the half in the fine byte.
      {"pitch bend", kTypeMidiPitchBendOut, 0.0f, 254.0f, 0, 127.0f, {Packed(0xE0 | kChannel, 64, 63)}},
      {"program change", kTypeMidiProgramChangeOut, 0.0f, 127.0f, 0, 9.0f, {Packed(0xC0 | kChannel, 9)}},
      {"channel aftertouch", kTypeMidiChannelPressureOut, 64.0f, 127.0f, 0, 100.0f, {Packed(0xD0 | kChannel, 72)}},
  };
  return cases;
}

class MidiOut : public ::testing::Test, public TEnsembleFixture {
protected:
  MidiOut() : files(ens) {
    OpenSettings(TStr("Quorvex 2.0"));
    files.GetUndo().SetFolder(TStr(tmp.c_str()));
    TopInstr()->SetMidiChannel(kChannel + 1); // as the dialog shows it
    // A MIDI output runs when what feeds it runs anyway: the controls also
    // play a sawtooth into the Audio Out.
    KSModul* out = AddAudioOut();
    saw = Insert(Top(), kTypeSawtooth);
    constexpr int32_t kAudioOutLeft = 2; // after Tune and Level
    EXPECT_EQ(Wire(saw, 0, out, kAudioOutLeft), 0);
  }

  KSModul* Fader(float maximum) {
    KSModul* fader = Insert(Top(), kTypeFader);
    fader->SetControlRange(0.0f, 0, maximum, 127, 1.0f);
    return fader;
  }

  // Builds the output as a user does: insert, range and number as the
  // property dialog sets them, a wire from a fader.
  KSModul* Build(const TOutCase& c, KSModul*& fader) {
    KSModul* out = Insert(Top(), c.type);
    out->SetControlRange(c.minimum, out->GetMidiLower(), c.maximum, out->GetMidiUpper(), 0.0f);
    if (c.number) out->SetControllerNo(c.number);
    fader = Fader(127.0f);
    EXPECT_EQ(Wire(fader, 0, out, 0), 0) << c.name;
    EXPECT_EQ(Wire(fader, 0, saw, kSawPitch), 0) << c.name;
    return out;
  }

  // The note output: pitch from a fader on "P", a gate button on "G".
  KSModul* BuildNote(KSModul*& pitch, KSModul*& gate) {
    KSModul* note = Insert(Top(), kTypeMidiNoteOut);
    note->SetControlRange(0.0f, note->GetMidiLower(), 127.0f, note->GetMidiUpper(), 0.0f);
    pitch = Fader(127.0f);
    gate = Insert(Top(), kTypeButton);
    gate->SetCtrlStyle(kButtonGate);
    EXPECT_EQ(Wire(pitch, 0, note, 0), 0);
    EXPECT_EQ(Wire(gate, 0, note, 1), 0);
    EXPECT_EQ(Wire(pitch, 0, saw, kSawPitch), 0);
    EXPECT_EQ(Wire(gate, 0, saw, kSawAmplitude), 0);
    return note;
  }

  void SaveAndReopen() {
    TMemInOut out;
    KModulFile::WriteEnsemble(out, files);
    TMemInOut in(out.Data());
    ASSERT_EQ(files.OpenEnsembleStream(in, TStr("midi-out.ens")), 1);
    // The application ends every load with a structure change: processing
    // is built then.
    TStructureChange loaded(Top());
  }

  KSModul* FindOfType(TModuleType type) {
    for (int32_t i = 0; i < Top()->GetChildCount(); ++i)
      if (KSModul* m = Top()->GetChild(i); m && m->IsType(type)) return m;
    return nullptr;
  }
  // The fader wired into the given in-port of a module.
  static KSModul* Feeding(KSModul* m, int32_t in) {
    KInPort* port = m->GetInPort(in);
    KOutPort* source = port ? port->GetSource(0) : nullptr;
    return source ? source->GetOwner() : nullptr;
  }

  static constexpr int32_t kSawPitch = 0, kSawAmplitude = 1;
  KSModul* saw = nullptr;
  std::string tmp = testkit::TempDir("midi-out");
  testkit::ScriptedHost boxes;
  KEnsembleFiles files;
};

} // namespace

TEST_F(MidiOut, EveryOutputSendsWhatItsRangeScales) {
  for (const TOutCase& c : OutCases()) {
    KSModul* fader = nullptr;
    Build(c, fader);
    Midi().sent.clear();
    fader->SetControlValue(c.faderValue);
    EXPECT_EQ(Sent(), c.sent) << c.name;
  }
}

TEST_F(MidiOut, EveryOutputSendsAfterTheEnsembleIsSavedAndOpened) {
  for (const TOutCase& c : OutCases()) {
    KSModul* fader = nullptr;
    Build(c, fader);
  }
  SaveAndReopen();
  ASSERT_EQ(TopInstr()->GetMidiChannel(), kChannel + 1) << "the file keeps the channel";
  for (const TOutCase& c : OutCases()) {
    KSModul* out = FindOfType(c.type);
    ASSERT_NE(out, nullptr) << c.name;
    KSModul* fader = Feeding(out, 0);
    ASSERT_NE(fader, nullptr) << c.name;
    // Every output keeps the range it was given.
    EXPECT_EQ(out->GetMinimum(), c.minimum) << c.name;
    EXPECT_EQ(out->GetMaximum(), c.maximum) << c.name;
    Midi().sent.clear();
    fader->SetControlValue(c.faderValue);
    EXPECT_EQ(Sent(), c.sent) << c.name;
  }
}

TEST_F(MidiOut, TheNoteOutputPlaysAndReleasesItsNote) {
  KSModul *pitch = nullptr, *gate = nullptr;
  BuildNote(pitch, gate);
  for (bool reopen : {false, true}) {
    if (reopen) {
      SaveAndReopen();
      KSModul* note = FindOfType(kTypeMidiNoteOut);
      ASSERT_NE(note, nullptr);
      pitch = Feeding(note, 0);
      gate = Feeding(note, 1);
      ASSERT_TRUE(pitch && gate);
    }
    Midi().sent.clear();
    pitch->SetControlValue(60.0f);
    gate->SetControlStep(127);
    gate->SetControlStep(0);
    EXPECT_EQ(Sent(), (std::vector<uint32_t>{Packed(0x90 | kChannel, 60, 127), Packed(0x90 | kChannel, 60, 0)}))
        << (reopen ? "after the file" : "as built");
  }
}

// An output whose range is empty sends nothing, however it got there.
TEST_F(MidiOut, AnEmptyRangeSendsNothing) {
  KSModul* fader = nullptr;
  TOutCase c = OutCases()[0];
  c.minimum = c.maximum = 3.0f;
  Build(c, fader);
  Midi().sent.clear();
  fader->SetControlValue(64.0f);
  EXPECT_TRUE(Sent().empty());
}

// The program-change and channel-aftertouch outputs had no place for their
// range in a record: one that is not a new module's goes into a record of
// the next version, read back the same; a new module's range keeps the
// record as it always was, and such a record still reads.
TEST_F(MidiOut, ARangeIsKeptOnlyWhereTheRecordNeedsIt) {
  struct Case {
    const char* name;
    TModuleType type;
    float minimum, maximum;
    int32_t version;
  } cases[] = {
      {"program change, new", kTypeMidiProgramChangeOut, 0.0f, 1.0f, kFileVersion},
      {"program change, set", kTypeMidiProgramChangeOut, 0.0f, 127.0f, kMidiOutRangeVersion},
      {"channel aftertouch, new", kTypeMidiChannelPressureOut, 0.0f, 1.0f, kFileVersion},
      {"channel aftertouch, set", kTypeMidiChannelPressureOut, 64.0f, 127.5f, kMidiOutRangeVersion},
      {"channel aftertouch, minimum only", kTypeMidiChannelPressureOut, -1.0f, 1.0f, kMidiOutRangeVersion},
      {"controller", kTypeMidiControllerOut, 0.0f, 254.0f, kFileVersion},
      {"pitch bend", kTypeMidiPitchBendOut, -2.0f, 2.0f, kFileVersion},
  };
  constexpr size_t kVersionAt = 16; // after the frame header
  for (const Case& c : cases) {
    KSModul* out = Insert(Top(), c.type);
    out->SetControlRange(c.minimum, out->GetMidiLower(), c.maximum, out->GetMidiUpper(), 0.0f);
    TMemInOut written;
    KModulFile::WriteModul(written, *out, files, false);
    const std::vector<uint8_t> bytes(written.Data().begin(), written.Data().end());
    ASSERT_GT(bytes.size(), kVersionAt + 4) << c.name;
    const uint32_t word = uint32_t(bytes[kVersionAt]) | uint32_t(bytes[kVersionAt + 1]) << 8 |
                          uint32_t(bytes[kVersionAt + 2]) << 16 | uint32_t(bytes[kVersionAt + 3]) << 24;
    EXPECT_EQ(int32_t((word >> 8) & 0xFFFu), c.version) << c.name;
    KSModul read(&ens, Top());
    TMemInOut in(written.Data());
    files.SetReadState(2);
    KModulFile::ReadModul(in, read, files);
    EXPECT_EQ(in.Remaining(), 0) << c.name << ": the record is read to its end";
    EXPECT_TRUE(read.IsType(c.type)) << c.name;
    EXPECT_EQ(read.GetMinimum(), c.minimum) << c.name;
    EXPECT_EQ(read.GetMaximum(), c.maximum) << c.name;
    Top()->DeleteChild(out);
  }
}
