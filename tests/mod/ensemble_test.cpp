// The ensemble: drivers, rate factor, overload reaction, driver switch,
// clean state; and module operations over the tree.
#include "tests/mod/ensemble_fixture.h"

#include "src/base/file.h"
#include "src/base/settings.h"
#include "src/engine/tables.h"
#include "tests/common/testkit.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <fstream>
#include <thread>

using ensfix::TEnsembleFixture;

namespace {

class Ensemble : public ::testing::Test, public TEnsembleFixture {
protected:
  KSModul* Reducible(int32_t voices, KSModul* parent = nullptr) {
    KSModul* m = Insert(parent ? parent : Top(), kTypeInstrument);
    m->SetAutoVoiceReduction(true);
    m->GetOwnInstr()->SetVoices(voices, -1, -1);
    return m;
  }
  testkit::ScriptedHost boxes;
};

} // namespace

TEST(EnsembleRate, TheRateFactorIsTheNearestStepTiesGoingUp) {
  testkit::ScriptedHost boxes;
  struct Case {
    float driver, stored, factor;
  };
  const Case cases[] = {
      {44100, 33075, 0.75f}, {44100, 44100, 1.0f}, {44100, 22050, 0.5f}, {44100, 88200, 2.0f},
      {44100, 130000, 3.0f}, {44100, 1000, 0.5f},  {48000, 30000, 0.75f}, {48000, 60000, 1.5f},
  };
  for (const Case& c : cases) {
    TEnsembleFixture f(c.driver);
    f.ens.SetSampleRate(int32_t(c.stored));
    f.ens.ApplySampleRate();
    EXPECT_FLOAT_EQ(f.ens.GetRateFactor(), c.factor) << c.driver << " " << c.stored;
    EXPECT_FLOAT_EQ(f.ens.GetProcessingRate(), c.driver * c.factor);
  }
}

TEST_F(Ensemble, ConstructionGivesTheDefaults) {
  EXPECT_FLOAT_EQ(ens.GetRateFactor(), 0.75f);
  EXPECT_EQ(ens.GetSampleRate(), 33075);
  EXPECT_EQ(ens.IsClean(), 1);
  EXPECT_FALSE(ens.IsReading());
  ASSERT_NE(TopInstr(), nullptr);
  EXPECT_EQ(TopInstr()->GetVoices(), 1);
  EXPECT_EQ(TopInstr()->GetMidiChannel(), 1);
  EXPECT_EQ(Midi().GetReceiverCount(0), 1);
  ens.StartDrivers();
  EXPECT_EQ(Midi().opens, 1);
}

TEST_F(Ensemble, ARateChangeReachesTheDriver) {
  KSModul* out = AddAudioOut();
  ens.SetRateFactor(1.0f);
  std::vector<float> output(2 * 64);
  Driver().Render(nullptr, output.data(), 64);
  EXPECT_NE(out->GetEngineRecord(), nullptr);
  EXPECT_EQ(EngineConstants.processingRate, 44100.0f) << "the engine runs at the new rate";
  EXPECT_EQ(Driver().GetBlockLength(), 64);
  ens.SetRateFactor(0.5f);
  EXPECT_EQ(EngineConstants.processingRate, 22050.0f);
}

TEST_F(Ensemble, OverloadsTakeOneVoiceInTurnFromTheReducibleInstruments) {
  KSModul* a = Reducible(4);
  KSModul* b = Reducible(3);
  Insert(Top(), kTypeInstrument); // not reducible
  for (int i = 0; i < 3; ++i) {
    ens.PostOverload();
    ens.PostOverload(); // a second trip before the GUI runs is the same overload
    ens.RunIdle();
  }
  EXPECT_EQ(a->GetOwnInstr()->GetVoices(), 2);
  EXPECT_EQ(b->GetOwnInstr()->GetVoices(), 2);
  EXPECT_EQ(app.ctrlBoxRefreshes >= 3, true);
  EXPECT_EQ(app.switchedOff, 0);
}

TEST_F(Ensemble, TheRoundRobinFindsInstrumentsInsideOthersAndStopsAtOneVoice) {
  KSModul* a = Reducible(2);
  KSModul* inner = Reducible(3, a);
  ens.PostOverload();
  ens.RunIdle();
  EXPECT_EQ(a->GetOwnInstr()->GetVoices(), 1);
  for (int i = 0; i < 2; ++i) {
    ens.PostOverload();
    ens.RunIdle();
  }
  EXPECT_EQ(inner->GetOwnInstr()->GetVoices(), 1);
  EXPECT_EQ(a->GetOwnInstr()->GetVoices(), 1);
}

TEST_F(Ensemble, WithNothingToReduceAudioStopsWithOneMessage) {
  boxes.QueueAnswer(0);
  ens.PostOverload();
  ens.RunIdle();
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].text.rfind("Processor Overload!  Audio processing has been stopped.", 0), 0u);
  EXPECT_EQ(app.switchedOff, 1);
  ens.PostOverload();
  ens.RunIdle();
  EXPECT_EQ(boxes.Boxes().size(), 1u) << "audio is off: no second message";
}

TEST_F(Ensemble, OverloadWithAudioOffDoesNothing) {
  KSModul* a = Reducible(4);
  app.audioRunning = false;
  ens.PostOverload();
  ens.RunIdle();
  EXPECT_EQ(a->GetOwnInstr()->GetVoices(), 4);
}

TEST_F(Ensemble, PostOverloadFromAnotherThreadOnlySetsAFlag) {
  KSModul* a = Reducible(4);
  std::thread audioThread([this] { ens.PostOverload(); });
  audioThread.join();
  EXPECT_TRUE(ens.IsOverloadPending());
  EXPECT_EQ(a->GetOwnInstr()->GetVoices(), 4) << "nothing happens before the GUI runs";
  ens.RunIdle();
  EXPECT_EQ(a->GetOwnInstr()->GetVoices(), 3);
}

TEST_F(Ensemble, ADeletedCursorStartsTheRoundAgain) {
  KSModul* a = Reducible(4);
  KSModul* b = Reducible(4);
  ens.PostOverload();
  ens.RunIdle();
  EXPECT_EQ(ens.GetReductionCursor(), a);
  Top()->DeleteChild(a);
  EXPECT_EQ(ens.GetReductionCursor(), nullptr);
  ens.PostOverload();
  ens.RunIdle();
  EXPECT_EQ(b->GetOwnInstr()->GetVoices(), 3);
}

TEST_F(Ensemble, SwitchingTheDriverKeepsTheMuteStateOfAudioInAndOut) {
  struct Case {
    bool mutedBefore;
  };
  for (Case c : {Case{false}, Case{true}}) {
    KSModul* out = AddAudioOut();
    if (c.mutedBefore) out->Mute();
    ens.SwitchAudioDriver(kAudioNone);
    EXPECT_EQ(ens.GetAudioOutModule(), out);
    EXPECT_EQ(out->IsMuted(), c.mutedBefore);
    EXPECT_EQ(out->GetEngineRecord() != nullptr, !c.mutedBefore);
    Top()->DeleteChild(out);
  }
}

TEST_F(Ensemble, CleanFlagAndTheUndoHook) {
  ens.MarkModified();
  EXPECT_EQ(ens.IsClean(), 0);
  EXPECT_GE(app.ctrlBoxRefreshes, 1);
  ens.MarkClean();
  ens.RememberCleanForUndo(); // the oldest step is recorded on a clean ensemble
  ens.MarkModified();
  ens.RestoreCleanAfterUndoingAll();
  EXPECT_EQ(ens.IsClean(), 1);
  ens.MarkModified(); // an unrecorded change (a mute) before the oldest step
  ens.RememberCleanForUndo();
  ens.RestoreCleanAfterUndoingAll();
  EXPECT_EQ(ens.IsClean(), 0) << "undoing everything does not hide the unrecorded change";
}

TEST_F(Ensemble, TeardownClosesMidiAndForgetsTheModules) {
  auto* f = new TEnsembleFixture();
  f->AddAudioOut();
  f->Insert(f->Top(), kTypeInstrument);
  KInstr* inner = f->Top()->GetChild(f->Top()->GetChildCount() - 1)->GetOwnInstr();
  f->app.current = inner;
  delete f; // nothing leaks, nothing is used after it went (asan)
  SUCCEED();
}

// ---------------------------------------------------------------------------
// Module operations

TEST_F(Ensemble, FileVersionsAreFormattedAsThreeNumbers) {
  struct Case {
    int32_t version;
    const char* text;
  };
  for (Case c : {Case{200, "2.0.4"}, Case{120, "1.2.0"}, Case{97, "0.9.7"}, Case{201, "2.0.1"}, Case{0, "0.0.0"}})
    EXPECT_EQ(FormatFileVersion(c.version), TStr(c.text)) << c.version;
}

TEST_F(Ensemble, SerialNumbersFindModulesAndTopLevelLooksThroughMacros) {
  KSModul* macro = Insert(Top(), kTypeMacro);
  KSModul* inMacro = Insert(macro, kTypeEventSum3);
  KSModul* instr = Insert(Top(), kTypeInstrument);
  KSModul* inInstr = Insert(instr, kTypeEventSum3);
  EXPECT_EQ(Top()->FindBySerialNo(inInstr->GetSerialNo()), inInstr);
  EXPECT_EQ(Top()->FindBySerialNo(-5), nullptr);
  EXPECT_NE(inMacro->GetSerialNo(), inInstr->GetSerialNo());
  EXPECT_EQ(inMacro->IsInTopLevel(), 1);
  EXPECT_EQ(inInstr->IsInTopLevel(), 0);
  EXPECT_EQ(Top()->IsInTopLevel(), 0);
}

TEST_F(Ensemble, MonoAndPolySwitchOnlyWhereTheTypeAllows) {
  KSModul* seq = Insert(Top(), kTypeSequencer6);
  bool mono = seq->IsMono();
  seq->SetPoly();
  seq->SetMono();
  EXPECT_EQ(seq->IsMono(), mono) << "a sequencer does not switch";
  KSModul* gate = Insert(Top(), kTypeGate);
  ASSERT_FALSE(gate->IsMono());
  gate->SetMono();
  EXPECT_TRUE(gate->IsMono());
  // An ordinary module's ports keep its type's kinds (as a reload gives them):
  // its mono flag alone makes it run one voice.
  EXPECT_EQ(gate->GetOutPort(0)->GetKind(), 3);
  gate->SetPoly();
  EXPECT_FALSE(gate->IsMono());
  EXPECT_EQ(gate->GetOutPort(0)->GetKind(), 3);
}

TEST_F(Ensemble, DisplaySizesAreCutToMultiplesOfFour) {
  KSModul* scope = Insert(Top(), kTypeScope);
  struct Case {
    TPnt set, want;
  };
  for (Case c : {Case{{101, 53}, {100, 52}}, Case{{3, 3}, {0, 0}}, Case{{8, 4}, {8, 4}}}) {
    scope->SetDisplaySize(c.set);
    EXPECT_EQ(scope->GetDisplaySize(), c.want);
    EXPECT_EQ(scope->GetDisplayBufferSize(), c.want.X());
  }
  scope->SetDisplaySize({8, 8});
  scope->ClearDisplayBuffer();
  EXPECT_EQ(scope->GetDisplayBuffer()[7], FLT_MAX);
}

TEST_F(Ensemble, SelectionQueries) {
  KSModul* a = Insert(Top(), kTypeEventSum3);
  KSModul* instr = Insert(Top(), kTypeInstrument);
  KSModul* b = Insert(instr, kTypeEventSum3);
  EXPECT_TRUE(b->IsSelected()) << "an inserted module is selected";
  Top()->DeselectAll();
  EXPECT_EQ(Top()->GetSingleSelected(), nullptr);
  EXPECT_EQ(Top()->GetSelectedInstrument(), Top()->GetOwnerInstr());
  a->Select();
  EXPECT_EQ(Top()->GetSingleSelected(), a);
  EXPECT_EQ(Top()->GetSelectedInstrument(), TopInstr());
  b->Select();
  EXPECT_EQ(Top()->GetSingleSelected(), nullptr);
  EXPECT_EQ(Top()->GetSelectedInstrument(), nullptr) << "two instruments";
  Top()->DeselectAll();
  EXPECT_FALSE(b->IsSelected());
}

TEST_F(Ensemble, SoloOfAMacroTakesTheSourceBehindItsOutTerminal) {
  KSModul* out = AddAudioOut();
  KSModul* macro = Insert(Top(), kTypeMacro);
  KSModul* osc = Insert(macro, kTypeEventSum3);
  KSModul* terminal = Insert(macro, kTypeAudioMonoOutTerminal);
  Wire(osc, 0, terminal, 0);
  macro->Solo();
  EXPECT_TRUE(macro->IsSolo());
  EXPECT_TRUE(osc->IsSolo());
  EXPECT_TRUE(out->IsSolo());
  EXPECT_EQ(KInPort::GetSoloSource(0), osc->GetOutPort(0));
  EXPECT_EQ(KInPort::GetSoloSource(1), nullptr);
  Top()->Solo();
  EXPECT_TRUE(macro->IsSolo()) << "the top node is never soloed";
  // Another solo replaces the first.
  KSModul* other = Insert(Top(), kTypeEventSum3);
  other->Solo();
  EXPECT_FALSE(macro->IsSolo());
  EXPECT_FALSE(osc->IsSolo());
  EXPECT_EQ(KInPort::GetSoloSource(0), other->GetOutPort(0));
  Top()->UnsoloAll();
  Top()->Walk([](KSModul* m) { EXPECT_FALSE(m->IsSolo()); });
  EXPECT_EQ(KInPort::GetSoloSource(0), nullptr);
  EXPECT_EQ(KInPort::GetSoloSource(1), nullptr);
}

TEST_F(Ensemble, NoSoloSurvivesALoadToSilenceTheAudioOut) {
  KSModul* out = AddAudioOut();
  KSModul* osc = Insert(Top(), kTypeEventSum3);
  Wire(osc, 0, out, 2);
  KSModul* other = Insert(Top(), kTypeEventSum3);
  other->Solo();
  ASSERT_TRUE(osc->GetOutPort(0)->IsUnavailable()) << "the solo takes the Audio Out's source away";
  // A file stores the port flags but no solo: what a reload would leave.
  other->SetSoloFlag(false);
  out->SetSoloFlag(false);
  Top()->ClearStaleSolo();
  EXPECT_FALSE(osc->GetOutPort(0)->IsUnavailable());
  Top()->Walk([](KSModul* m) { EXPECT_FALSE(m->IsSolo()); });
}

TEST_F(Ensemble, ReducibleInstrumentsInTreeOrder) {
  KSModul* a = Reducible(2);
  KSModul* inner = Reducible(2, a);
  KSModul* b = Reducible(2);
  KSModul* one = Reducible(1);
  EXPECT_EQ(Top()->FindReducibleInstr(nullptr), a);
  EXPECT_EQ(Top()->FindReducibleInstr(a), inner);
  EXPECT_EQ(Top()->FindReducibleInstr(inner), b);
  EXPECT_EQ(Top()->FindReducibleInstr(b), nullptr) << "one voice is not reducible";
  (void)one;
}

TEST_F(Ensemble, BackupsKeepTheOldFileAndRemoveStaleOnes) {
  const std::string dir = testkit::TempDir("backup");
  auto write = [](const std::string& path, const char* text) { std::ofstream(path) << text; };
  TFileName file;
  file.SetPath(TStr((dir + "/Song.ens").c_str()));
  write(dir + "/Song.ens", "new");
  write(dir + "/Backup of Song.ens", "stale");
  KSModul::MakeBackup(&file);
  std::ifstream backup(dir + "/Backup of Song.ens");
  std::string content((std::istreambuf_iterator<char>(backup)), {});
  EXPECT_EQ(content, "new");
  EXPECT_FALSE(file.Exists()) << "the old file became the backup";
  EXPECT_EQ(file.GetName(1), TStr("Song.ens")) << "the name stays the file to write";
  int32_t saved = KSModul::GetCreateBackups();
  KSModul::SetCreateBackups(0);
  KSModul::RemoveBackup(&file);
  EXPECT_FALSE(std::ifstream(dir + "/Backup of Song.ens").good());
  KSModul::SetCreateBackups(saved);
  KSModul::MakeBackup(&file); // a missing file: nothing
}

TEST_F(Ensemble, ALeftoverUndoSnapshotIsOfferedForRestore) {
  const std::string dir = testkit::TempDir("restore");
  OpenSettings(TStr("Quorvex")); // the test's private settings folder
  WriteSettingStr(TStr(setting::TmpDir), TStr(dir.c_str()));
  DeleteSetting(TStr(setting::UndoNo));
  EXPECT_FALSE(ens.CanRestoreAfterCrash()) << "no setting: nothing to restore";
  WriteSettingInt(TStr(setting::UndoNo), 3);
  EXPECT_FALSE(ens.CanRestoreAfterCrash()) << "a normal end deleted the file";
  std::ofstream(dir + "/undo3") << "snapshot";
  EXPECT_TRUE(ens.CanRestoreAfterCrash());

  boxes.QueueAnswer(1); // Cancel
  EXPECT_FALSE(ens.OfferRestore());
  EXPECT_TRUE(app.opened.empty());
  EXPECT_EQ(ens.IsClean(), 1);
  EXPECT_TRUE(std::ifstream(dir + "/undo3").good()) << "the file stays for the next start";

  boxes.QueueAnswer(0); // OK
  EXPECT_TRUE(ens.OfferRestore());
  ASSERT_EQ(app.opened.size(), 1u);
  EXPECT_EQ(app.opened[0], dir + "/undo3");
  EXPECT_EQ(ens.IsClean(), 0);
  EXPECT_FALSE(ens.IsUndoBusy());
  ASSERT_EQ(boxes.Boxes().size(), 2u);
  EXPECT_EQ(boxes.Boxes()[1].text, "The program did not terminate correctly last time.\nDo you want to restore the ensemble?");
  EXPECT_EQ(boxes.Boxes()[1].caption, "Volteon");
  DeleteSetting(TStr(setting::UndoNo));
  DeleteSetting(TStr(setting::TmpDir));
}
