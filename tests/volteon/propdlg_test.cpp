// Module property dialogs: the factory's choice, the controls each dialog
// shows, OK / Cancel and the undo step, and the sampler's sample-map editor.
#include "src/volteon/propdlg.h"
#include "src/volteon/instrdlg.h"
#include "src/volteon/propdlg_classes.h"
#include "src/volteon/sampdlg.h"
#include "src/volteon/sliderparam.h"
#include "src/volteon/volteon.h"

#include "pc/sky/qthost.h"
#include "src/audio/audiohost.h"
#include "src/audio/samplemap.h"
#include "src/base/settings.h"
#include "src/engine/source_handlers.h"
#include "src/mod/ensfile.h"
#include "src/mod/moddata.h"
#include "src/mod/port.h"
#include "src/mod/undo.h"
#include "tests/common/testkit.h"
#include "tests/engine/sound_rig.h"
#include "tests/mod/ensemble_fixture.h"
#include "tests/sky/skyfixture.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QSlider>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <set>

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

extern char** environ;

namespace {

using ensfix::TEnsembleFixture;

using skytest::ModalScript;

template <class W> W* Ctl(QWidget& d, int32_t id) { return qobject_cast<W*>(FindDlgControl(&d, id)); }
void Type(QWidget& d, int32_t id, const char* text) {
  auto* e = Ctl<QLineEdit>(d, id);
  ASSERT_TRUE(e) << id;
  e->setText(QString::fromUtf8(text));
}
void Click(QWidget& d, int32_t id) {
  auto* b = Ctl<QAbstractButton>(d, id);
  ASSERT_TRUE(b) << id;
  b->click();
}

// Moves a slider as the user drags it; positions count from the minimum.
void Drag(QWidget& d, int32_t id, int32_t value, int32_t minimum) {
  auto* s = Ctl<QSlider>(d, id);
  ASSERT_TRUE(s) << id;
  s->setSliderPosition(value - minimum);
}

std::set<int32_t> ControlIds(TModPrp& dlg) {
  std::set<int32_t> ids;
  dlg.VisitTreeWith([&ids](TTView* v) {
    if (auto* c = dynamic_cast<TCtrlerCtrl*>(v); c && c->Id() != 0) ids.insert(c->Id());
    return 1;
  });
  return ids;
}

std::set<int32_t> TemplateIds(int32_t resourceId) {
  std::set<int32_t> ids;
  if (const TDlgTemplate* t = FindDlgTemplate(resourceId))
    for (const TDlgItem& item : t->items)
      if (item.id > 0) ids.insert(item.id);
  return ids;
}

class PropDlg : public ::testing::Test, public TEnsembleFixture {
protected:
  PropDlg() : files(ens) {
    OpenSettings(TStr("Quorvex 2.0"));
    files.GetUndo().SetFolder(TStr(tmp.c_str()));
    files.GetUndo().SetUndoEnabled(1);
    files.GetUndo().SetUndoMax(20);
    RegisterModPrpTemplates();
  }
  KSModul* Add(TModuleType type) { return Top()->InsertModule(type, kPlaceNext); }
  int32_t Steps() { return files.GetUndo().GetStepCount(); }
  // Opens the module's dialog, lets the script act and applies.
  bool Run(KSModul* m, std::function<void(QDialog&)> script) {
    ModalScript s(std::move(script));
    return RunModPrp(m);
  }

  std::string tmp = testkit::TempDir("propdlg");
  testkit::ScriptedHost gui;
  KEnsembleFiles files;
};

// ---------------------------------------------------------------- factory

TEST(ModPrpFactory, PicksTheDialogOfEachModuleType) {
  struct Case {
    int32_t category, type, resource;
  };
  using namespace prpdlg;
  const Case cases[] = {
      {0, 26, kMonoMod},     {0, 164, kMonoMod},     {0, 38, kGraph},         {0, 192, kGraph},
      {0, 53, kDelay},       {0, 120, kDelay},       {0, 169, kDelay},        {0, 79, kStaticDelay},
      {0, 166, kStaticDelay}, {0, 80, kTapedeck},    {0, 81, kTapedeck},      {0, 130, kSampler},
      {0, 131, kSampler},    {0, 135, kSamplerLoop}, {0, 173, kGrainLoop},    {0, 174, kWaveTable},
      {0, 170, kBeatWarp},   {0, 136, kScrub},       {0, 151, kComment},      {0, 152, kLamp},
      {0, 153, kLamp},       {0, 154, kMeter},       {0, 199, kMeter},        {0, 156, kEtmCtrl},
      {0, 157, kEtmPolyAT},  {0, 158, kEtmNote},     {0, 159, kMidiPitchbend}, {0, 181, kMidiPitchbend},
      {0, 182, kMidiPitchbend}, {0, 165, kScope},    {0, 167, kSmoother},     {0, 168, kSmoother},
      {0, 0, kProcessing},   {0, 25, kProcessing},   {0, 250, kProcessing},   {1, 0, kConstant},
      {1, 1, kFader},        {1, 17, kButton},       {1, 3, kMidiCaStg},      {1, 26, kMidiCaStg},
      {1, 4, kMidiPoly},     {1, 9, kMidiPoly},      {1, 8, kSelNoteGate},    {1, 10, kMidiPitchbend},
      {1, 12, kCtrlSelAT},   {1, 23, kCtrlSelAT},    {1, 18, kMidiClock},     {1, 19, kMidiClock},
      {1, 20, kMidiClock},   {1, 21, kMidiSync},     {1, 24, kMonoMod},       {1, 2, kProcessing},
      {1, 25, kProcessing},  {1, 38, kGraph},        {1, 130, kSampler},      {4, 0, kMacro},
      {5, 1, kMonoMod},      {6, 0, kMonoMod},       {7, 3, kSwitch},         {2, 0, 0},
      {3, 0, 0},             {8, 0, 0},              {9, 0, 0},               {12, 0, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ModPrpResource(c.category, c.type), c.resource) << c.category << ":" << c.type;
}

// ---------------------------------------------------------------- controls of each class

struct TClassCase {
  const char* name;
  TModuleType type;
  int32_t resource;
  std::set<int32_t> ids;  // without the file display, which depends on the data
  bool (*isClass)(TModPrp*);
};
template <class C> bool Is(TModPrp* p) { return dynamic_cast<C*>(p) != nullptr; }

TEST_F(PropDlg, EachClassShowsExactlyItsControls) {
  using namespace prpdlg;
  const TClassCase cases[] = {
      {"macro", {kCatMacro, 0}, kMacro, {3620, 3621, 3622, 3624, 3660, 3661, 3673, 3680}, Is<TMacroPrp>},
      {"fader", kTypeFader, kFader,
       {3620, 3621, 3622, 3630, 3662, 3670, 3671, 3663, 3672, 3664, 3669, 3668, 3625, 3626, 3627, 3703, 3706, 3674,
        3673, 3680},
       Is<TFaderPrp>},
      {"button", kTypeButton, kButton,
       {3620, 3621, 3622, 3630, 3662, 3670, 3671, 3664, 3669, 3668, 3625, 3626, 3700, 3703, 3674, 3673, 3680},
       Is<TButtonPrp>},
      {"switch", {kCatSwitch, 0}, kSwitch,
       {3620, 3621, 3622, 3661, 3630, 3662, 3670, 3671, 3664, 3669, 3703, 3674, 3673, 3680}, Is<TSwitchPrp>},
      {"comment", kTypeComment, kComment, {3620, 3621, 3622}, Is<TCommentPrp>},
      {"lamp", {kCatModule, 152}, kLamp, {3620, 3621, 3622, 3626, 3625, 3714, 3669, 3673, 3680}, Is<TLampPrp>},
      {"meter", {kCatModule, 154}, kMeter, {3620, 3621, 3622, 3626, 3625, 3669, 3673, 3680}, Is<TMeterPrp>},
      {"velocity", {kCatSource, 4}, kMidiPoly, {3620, 3621, 3622, 3624, 3628, 3629, 3660, 3625, 3626},
       Is<TMidiPolyPrp>},
      {"ST gate", {kCatSource, 3}, kMidiCaStg, {3620, 3621, 3622, 3628, 3629, 3625, 3626}, Is<TMidiCaStgPrp>},
      {"sel. gate", {kCatSource, 8}, kSelNoteGate, {3620, 3621, 3622, 3628, 3629, 3630, 3625, 3626},
       Is<TSelNoteGatePrp>},
      {"pitch bend", {kCatSource, 10}, kMidiPitchbend, {3620, 3621, 3622, 3625, 3626}, Is<TMidiPitchbendPrp>},
      {"controller", {kCatSource, 12}, kCtrlSelAT,
       {3620, 3621, 3622, 3628, 3629, 3630, 3663, 3664, 3625, 3626, 3627}, Is<TCtrlSelATPrp>},
      {"sync", kTypeClockSync, kMidiSync, {3620, 3621, 3622, 3626, 3740, 3741}, Is<TMidiSyncPrp>},
      {"start/stop", {kCatSource, 19}, kMidiClock, {3620, 3621, 3622, 3626}, Is<TMidiClockPrp>},
      {"note out", kTypeMidiNoteOut, kEtmNote, {3620, 3621, 3622, 3624, 3660, 3625, 3626}, Is<TETMNotePrp>},
      {"controller out", kTypeMidiControllerOut, kEtmCtrl, {3620, 3621, 3622, 3630, 3625, 3626}, Is<TETMCtrlPrp>},
      {"poly AT out", kTypeMidiPolyPressureOut, kEtmPolyAT, {3620, 3621, 3622, 3630, 3625, 3626},
       Is<TETMPolyATPrp>},
      {"constant", kTypeConstant, kConstant, {3621, 3626}, Is<TConstantPrp>},
      {"saw", kTypeSawFm, kProcessing, {3620, 3621, 3622, 3624, 3660, 3661}, Is<TProcessingPrp>},
      {"sequencer", kTypeSequencer6, kMonoMod, {3620, 3621, 3622, 3661}, Is<TMonoModPrp>},
      {"envelope", {kCatModule, 38}, kGraph, {3620, 3621, 3622, 3624, 3660, 3661, 3669, 3673, 3680, 3631, 3632},
       Is<TGraphPrp>},
      {"lookup", kTypeSampleLookup, kScrub, {3620, 3621, 3622, 3624, 3660, 3661, 3667, 3673, 3680, 3708},
       Is<TScrubPrp>},
      {"static delay", kTypeStaticDelay, kStaticDelay, {3620, 3621, 3622, 3624, 3660, 3661, 3625},
       Is<TStaticDelayPrp>},
      {"mod. delay", kTypeModDelay, kDelay, {3620, 3621, 3622, 3624, 3660, 3661, 3625, 3708}, Is<TDelayPrp>},
      {"tapedeck", kTypeTapedeck1, kTapedeck, {3620, 3621, 3622, 3661, 3625, 3673, 3680}, Is<TTapedeckPrp>},
      {"smoother", {kCatModule, 167}, kSmoother, {3620, 3621, 3622, 3661, 3625}, Is<TSmootherPrp>},
      {"scope", kTypeScope, kScope, {3620, 3621, 3622, 3661, 3625, 3669, 3673, 3680, 3631, 3632}, Is<TScopePrp>},
  };
  for (const TClassCase& c : cases) {
    SCOPED_TRACE(c.name);
    KSModul* m = Add(c.type);
    ASSERT_TRUE(m);
    std::unique_ptr<TModPrp> dlg = CreateModPrp(m, "test");
    ASSERT_TRUE(dlg);
    EXPECT_TRUE(c.isClass(dlg.get()));
    EXPECT_EQ(CastToModPrp(static_cast<IDlg*>(dlg.get())), static_cast<IModPrp*>(dlg.get()));
    EXPECT_EQ(dlg->GetResourceId(), c.resource);
    std::set<int32_t> ids = ControlIds(*dlg);
    ids.erase(prpid::kFile);
    EXPECT_EQ(ids, c.ids);
    // Every control has its widget in the template (radio groups: each button).
    const std::set<int32_t> inTemplate = TemplateIds(c.resource);
    for (int32_t id : c.ids) EXPECT_TRUE(inTemplate.count(id)) << id;
    EXPECT_TRUE(inTemplate.count(kIdOk) && inTemplate.count(kIdCancel));
    dlg.reset();
    Top()->DeleteChild(m);
  }
}

TEST_F(PropDlg, TypesWithoutADialogGetNone) {
  EXPECT_EQ(CreateModPrp(Top(), "test"), nullptr) << "the instrument has a dialog of its own";
  TDlg plain(prpdlg::kFader);
  EXPECT_EQ(CastToModPrp(static_cast<IDlg*>(&plain)), nullptr) << "a dialog of another kind";
  EXPECT_FALSE(RunModPrp(Top()));
}

// ---------------------------------------------------------------- binders

TEST_F(PropDlg, LabelAndInfoFollowWhetherTheTypeLetsThemBeEdited) {
  struct Case {
    TModuleType type;
    int label, info;
  } cases[] = {{kTypeAudioSum2, 0, 0}, {kTypeFader, 1, 1}, {kTypeSequencer6, 1, 0}};
  for (const Case& c : cases) {
    KSModul* m = Add(c.type);
    auto dlg = CreateModPrp(m, "test");
    EXPECT_EQ(dlg->Bindings().label->IsEnabled(), c.label) << m->GetLabel().CStr();
    EXPECT_EQ(dlg->Bindings().info->IsEnabled(), c.info) << m->GetLabel().CStr();
  }
}

TEST_F(PropDlg, StylesOpenWithTheirRadioButtonChosen) {
  KSModul* button = Add(kTypeButton);
  button->SetCtrlStyle(ctrlstyle::kButtonFirst + 2);  // toggle
  EXPECT_EQ(CreateModPrp(button, "test")->Bindings().buttonMode->GetPosition(), 2);
  KSModul* knob = Add(kTypeFader);
  knob->SetCtrlStyle(ctrlstyle::kFaderFirst + 1);
  EXPECT_EQ(CreateModPrp(knob, "test")->Bindings().faderStyle->GetPosition(), 1);
}

TEST_F(PropDlg, MutedModuleShowsNoVoices) {
  KSModul* m = Add(kTypeSawFm);
  m->Mute();
  ModalScript s([](QDialog& d) {
    auto* voices = Ctl<QLineEdit>(d, prpid::kVoices);
    ASSERT_TRUE(voices);
    EXPECT_EQ(voices->text().toStdString(), "0");
    EXPECT_TRUE(voices->isReadOnly());
  });
  EXPECT_FALSE(RunModPrp(m));
}

TEST_F(PropDlg, ClockDivisionsRoundTrip) {
  KSModul* sync = Add(kTypeClockSync);
  sync->Data().syncWords[0] = 24;
  sync->Data().syncWords[1] = 36;  // not a division
  EXPECT_TRUE(Run(sync, [](QDialog& d) {
    auto* rate = Ctl<QComboBox>(d, prpid::kRate);
    auto* duration = Ctl<QComboBox>(d, prpid::kDuration);
    ASSERT_TRUE(rate && duration);
    EXPECT_EQ(rate->count(), kClockDivisionCount);
    EXPECT_EQ(rate->currentText().toStdString(), "1/4");
    EXPECT_EQ(duration->currentIndex(), -1);
    rate->setCurrentIndex(11);  // "1/8T"
    Click(d, kIdOk);
  }));
  EXPECT_EQ(sync->Data().syncWords[0], 8);
  EXPECT_EQ(sync->Data().syncWords[1], 36) << "an unchanged menu writes nothing";
}

// ---------------------------------------------------------------- soft takeover

TEST_F(PropDlg, SoftTakeoverIsOneWordOfTheControlThatBothDialogsWriteAndFilesKeep) {
  KSModul* synth = Add(kTypeInstrument);
  synth->SetLabel(TStr("Synth"));
  KSModul* knob = synth->InsertModule(kTypeFader, kPlaceNext);
  KSModul* ctl = synth->InsertModule(TModuleType{kCatSource, 12}, kPlaceNext);
  ASSERT_TRUE(knob && ctl);
  knob->SetLabel(TStr("Knob"));
  ctl->SetLabel(TStr("Ctl"));
  auto checked = [](QDialog& d) { return Ctl<QAbstractButton>(d, prpid::kSoftTakeover)->isChecked(); };

  // The controller's own dialog sets its word, which the engine reads as pick-up.
  EXPECT_TRUE(Run(ctl, [](QDialog& d) {
    Click(d, prpid::kSoftTakeover);
    Click(d, kIdOk);
  }));
  EXPECT_TRUE(ctl->IsSoftTakeover());
  EXPECT_EQ(ctl->GetParamWord(kSourcePickUpParam), 1);
  EXPECT_FALSE(knob->IsSoftTakeover());

  // The instrument's setting writes the same word of each of its controls,
  // and the controls' dialogs show it.
  {
    TInstrPrp dlg(synth);
    ModalScript s([](QDialog& d) {
      Click(d, instrdlg::kSoftTakeover);
      Click(d, kIdOk);
    });
    dlg.Execute();
    dlg.Apply();
  }
  EXPECT_TRUE(synth->GetOwnInstr()->IsSoftTakeover());
  EXPECT_TRUE(knob->IsSoftTakeover());
  EXPECT_EQ(knob->GetParamWord(kSourcePickUpParam), 1);
  EXPECT_FALSE(Run(knob, [&](QDialog& d) {
    EXPECT_TRUE(checked(d));
    Click(d, kIdCancel);
  }));

  // The controller's dialog turns its own word off again; a saved and
  // reopened ensemble keeps each control's word.
  EXPECT_TRUE(Run(ctl, [&](QDialog& d) {
    EXPECT_TRUE(checked(d));
    Click(d, prpid::kSoftTakeover);
    Click(d, kIdOk);
  }));
  EPtr<IFileName> name(CreateFileName());
  name->SetPath(TStr((tmp + "/takeover.ens").c_str()));
  files.SaveEnsemble(*name);
  ASSERT_EQ(files.OpenEnsemble(*name), 1);
  KSModul *knobAgain = nullptr, *ctlAgain = nullptr;
  for (int32_t i = 0; i < Top()->GetChildCount(); ++i)
    if (KSModul* instrument = Top()->GetChild(i); instrument->GetLabel() == TStr("Synth"))
      for (int32_t j = 0; j < instrument->GetChildCount(); ++j) {
        KSModul* m = instrument->GetChild(j);
        if (m->GetLabel() == TStr("Knob")) knobAgain = m;
        if (m->GetLabel() == TStr("Ctl")) ctlAgain = m;
      }
  ASSERT_TRUE(knobAgain && ctlAgain);
  EXPECT_TRUE(knobAgain->IsSoftTakeover());
  EXPECT_FALSE(ctlAgain->IsSoftTakeover());
  EXPECT_FALSE(Run(knobAgain, [&](QDialog& d) {
    EXPECT_TRUE(checked(d));
    Click(d, kIdCancel);
  }));
}

// ---------------------------------------------------------------- OK, Cancel, undo

TEST_F(PropDlg, CancelWritesNothingAndRecordsNoStep) {
  KSModul* m = Add(kTypeFader);
  const TStr label = m->GetLabel();
  const int32_t before = Steps();
  EXPECT_FALSE(Run(m, [](QDialog& d) {
    Type(d, prpid::kLabel, "Renamed");
    Click(d, prpid::kRemote);
    Click(d, kIdCancel);
  }));
  EXPECT_EQ(m->GetLabel(), label);
  EXPECT_FALSE(m->IsRemote());
  EXPECT_EQ(Steps(), before);
}

TEST_F(PropDlg, UnchangedOkRecordsNoStepAndThreeChangesRecordOne) {
  KSModul* m = Add(kTypeFader);
  const int32_t before = Steps();
  EXPECT_TRUE(Run(m, [](QDialog& d) { Click(d, kIdOk); }));
  EXPECT_EQ(Steps(), before);
  EXPECT_TRUE(Run(m, [](QDialog& d) {
    Type(d, prpid::kLabel, "Cutoff");
    Click(d, prpid::kRemote);
    Type(d, prpid::kMax, "5");
    Click(d, kIdOk);
  }));
  EXPECT_EQ(Steps(), before + 1);
  EXPECT_STREQ(m->GetLabel().CStr(), "Cutoff");
  EXPECT_TRUE(m->IsRemote());
  EXPECT_FLOAT_EQ(m->GetMaximum(), 5.0f);
}

TEST_F(PropDlg, OutOfRangeValueKeepsTheDialogOpen) {
  KSModul* m = Add(TModuleType{kCatSource, 12});
  gui.QueueAnswer(0);
  EXPECT_FALSE(Run(m, [](QDialog& d) {
    Type(d, prpid::kUpperLimit, "0");
    Click(d, kIdOk);
    EXPECT_TRUE(d.isVisible());
  }));
  ASSERT_FALSE(gui.Boxes().empty());
  EXPECT_NE(gui.Boxes().back().text.find("Upper Limit"), std::string::npos);
}

TEST_F(PropDlg, UpperLimitAloneReappliesTheRangeFromTheModule) {
  KSModul* m = Add(TModuleType{kCatSource, 12});
  m->SetControlRange(-2.0f, 10, 3.0f, 100, 0.0f);
  EXPECT_TRUE(Run(m, [](QDialog& d) {
    Type(d, prpid::kUpperLimit, "90");
    Click(d, kIdOk);
  }));
  EXPECT_EQ(m->GetMidiUpper(), 90);
  EXPECT_EQ(m->GetMidiLower(), 10);
  EXPECT_FLOAT_EQ(m->GetMinimum(), -2.0f);
  EXPECT_FLOAT_EQ(m->GetMaximum(), 3.0f);
}

TEST_F(PropDlg, ConstantTakesTheTypedValueAsItsLabel) {
  KSModul* m = Add(kTypeConstant);
  EXPECT_TRUE(Run(m, [](QDialog& d) {
    Type(d, prpid::kMin, "0.5");
    Click(d, kIdOk);
  }));
  EXPECT_FLOAT_EQ(m->GetMinimum(), 0.5f);
  EXPECT_STREQ(m->GetLabel().CStr(), "0.5");
}

TEST_F(PropDlg, RenamingAnInTerminalRenamesTheMacrosPort) {
  KSModul* macro = Add(TModuleType{kCatMacro, 0});
  KSModul* in = macro->InsertModule(kTypeAudioPolyInTerminal, kPlaceNext);
  ASSERT_TRUE(in);
  KInPort* port = macro->GetInPort(in->GetTerminalNo());
  ASSERT_TRUE(port);
  EXPECT_TRUE(Run(in, [](QDialog& d) {
    Type(d, prpid::kLabel, "Carrier");
    Type(d, prpid::kInfo, "the signal to shape");
    Click(d, kIdOk);
  }));
  EXPECT_STREQ(port->GetLabel().CStr(), "Carrier");
  EXPECT_STREQ(port->GetInfo().CStr(), "the signal to shape");
}

TEST_F(PropDlg, BufferLengthsRefuseNegativeAndResizeOnOk) {
  KSModul* tape = Add(kTypeTapedeck1);
  gui.QueueAnswer(0);
  EXPECT_FALSE(Run(tape, [](QDialog& d) {
    Type(d, prpid::kMax, "-1");
    Click(d, kIdOk);
    EXPECT_TRUE(d.isVisible()) << "a negative length is refused";
  }));
  EXPECT_TRUE(Run(tape, [](QDialog& d) {
    Type(d, prpid::kMax, "2.5");
    Click(d, kIdOk);
  }));
  EXPECT_GT(tape->GetMaximum(), 0.0f);
  EXPECT_LE(tape->GetMaximum(), 2.5f);
  EXPECT_EQ(KSModul::GetBracketDepth(), 0);
  ASSERT_FALSE(gui.Boxes().empty());
  EXPECT_EQ(gui.Boxes().front().text, "Value of Size (sec) has to be between 0 and 3600.");
  EXPECT_EQ(gui.Boxes().size(), 1u) << "the length asked for was granted";

  // A delay line longer than the engine's bound is granted at the bound, and
  // the user is told.
  KSModul* delay = Add(kTypeModDelay);
  gui.QueueAnswer(0);
  EXPECT_TRUE(Run(delay, [](QDialog& d) {
    Type(d, prpid::kMax, "200000");
    Click(d, kIdOk);
  }));
  EXPECT_EQ(delay->GetMaximum(), 100000.0f);
  EXPECT_EQ(gui.Boxes().back().text, "Current available delay length can be maximum 100000 ms.");
}

// Real fields without bounds of their own take no NaN or infinity: the
// dialog stays open with the range message and the module keeps its value.
TEST_F(PropDlg, RealFieldsRefuseNotANumberAndInfinities) {
  struct TCase {
    const char* name;
    TModuleType type;
    int32_t field;
  };
  const TCase cases[] = {{"tape length", kTypeTapedeck1, prpid::kMax},
                         {"delay length", kTypeModDelay, prpid::kMax},
                         {"fader maximum", kTypeFader, prpid::kMax},
                         {"fader minimum", kTypeFader, prpid::kMin}};
  for (const TCase& c : cases) {
    KSModul* m = Add(c.type);
    const float max = m->GetMaximum(), min = m->GetMinimum();
    for (const char* text : {"nan", "inf", "-inf", "1e40"}) {
      SCOPED_TRACE(std::string(c.name) + " " + text);
      const size_t boxes = gui.Boxes().size();
      gui.QueueAnswer(0);
      EXPECT_FALSE(Run(m, [&](QDialog& d) {
        Type(d, c.field, text);
        Click(d, kIdOk);
        EXPECT_TRUE(d.isVisible());
      }));
      EXPECT_EQ(gui.Boxes().size(), boxes + 1);
      EXPECT_EQ(m->GetMaximum(), max);
      EXPECT_EQ(m->GetMinimum(), min);
    }
  }
  EXPECT_EQ(Steps(), 0);
}

// ---------------------------------------------------------------- slider parameter

constexpr int32_t kSliderDlg = 9330;

class TSliderDlg : public TDlg {
public:
  TSliderDlg() : TDlg(kSliderDlg) {
    slider = new TSliderParam(this, 3502, 3822, 3588, 3589, 0, TStr("Left Split: "), TStr(), [this] { ++calls; }, 0,
                              127, 1);
    detune = new TSliderParam(this, 3500, 3820, 3592, 3593, 0, TStr("Detune: "), TStr(" Cent"), {}, -100, 100, 0);
  }
  TSliderParam* slider;
  TSliderParam* detune;
  int calls = 0;
};

TEST(SliderParam, ClampsFormatsAndNotifiesOnUserChanges) {
  RegisterDlgTemplate({kSliderDlg, "Slider", 200, 80, {
    DlgStatic(3502, "", 7, 7, 180, 8), DlgButton(3588, "<", 7, 18, 14, 14), DlgSlider(3822, 23, 18, 150, 14),
    DlgButton(3589, ">", 175, 18, 14, 14), DlgStatic(3500, "", 7, 36, 180, 8),
    DlgButton(3592, "<", 7, 47, 14, 14), DlgSlider(3820, 23, 47, 150, 14), DlgButton(3593, ">", 175, 47, 14, 14),
    DlgDefButton(kIdOk, "OK", 140, 64, 50, 14)}});
  TSliderDlg dlg;
  EXPECT_STREQ(dlg.slider->GetText().CStr(), "Left Split: 0 (C-2)");
  dlg.slider->SetValue(127);
  EXPECT_STREQ(dlg.slider->GetText().CStr(), "Left Split: 127 (G8)");
  dlg.slider->SetValue(60);
  EXPECT_STREQ(dlg.slider->GetText().CStr(), "Left Split: 60 (C3)");
  dlg.detune->SetValue(250);
  EXPECT_STREQ(dlg.detune->GetText().CStr(), "Detune: 100 Cent");
  dlg.detune->SetRange(-10, 10);
  EXPECT_EQ(dlg.detune->GetValue(), 100) << "a narrower range clamps at the next set";
  EXPECT_EQ(dlg.calls, 0) << "program changes tell nobody";

  ModalScript s([&](QDialog& d) {
    dlg.slider->SetValue(0);
    Click(d, 3588);  // "<" at the minimum
    EXPECT_EQ(dlg.slider->GetValue(), 0);
    EXPECT_EQ(dlg.calls, 1);
    Click(d, 3589);
    EXPECT_EQ(dlg.slider->GetValue(), 1);
    Drag(d, 3822, 36, 0);
    EXPECT_EQ(dlg.slider->GetValue(), 36);
    EXPECT_STREQ(dlg.slider->GetText().CStr(), "Left Split: 36 (C1)");
    EXPECT_GE(dlg.calls, 3);
    dlg.slider->Enable(0);
    EXPECT_FALSE(Ctl<QSlider>(d, 3822)->isEnabled());
    EXPECT_FALSE(Ctl<QAbstractButton>(d, 3588)->isEnabled());
    EXPECT_FALSE(Ctl<QAbstractButton>(d, 3589)->isEnabled());
    EXPECT_TRUE(FindDlgControl(&d, 3502)->isEnabled());
  });
  dlg.Execute();
}

// ---------------------------------------------------------------- sample-map editor

class SampleMapEditor : public PropDlg {
protected:
  std::string Wav(const std::string& name, float value = 0.25f, size_t frames = 400) {
    return soundrig::WriteWav(tmp + "/" + name, 44100, {std::vector<float>(frames, value)});
  }
  std::vector<std::string> Lines(QDialog& d) {
    std::vector<std::string> out;
    auto* list = Ctl<QListWidget>(d, sampid::kList);
    for (int i = 0; list && i < list->count(); ++i) out.push_back(list->item(i)->text().toStdString());
    return out;
  }
  // The row the list shows selected, -1 for none.
  int SelectedRow(QDialog& d) {
    auto* list = Ctl<QListWidget>(d, sampid::kList);
    const auto items = list->selectedItems();
    return items.empty() ? -1 : list->row(items.front());
  }
  // Opens the module's sampler dialog and runs the script on it; the dialog
  // itself is at hand for what the controls do not show.
  void WithDialog(KSModul* m, const std::function<void(TSamplerPrp&, QDialog&)>& script) {
    std::unique_ptr<TModPrp> dlg = CreateModPrp(m, "test");
    auto* s = dynamic_cast<TSamplerPrp*>(dlg.get());
    ASSERT_TRUE(s);
    ModalScript run([&](QDialog& d) {
      script(*s, d);
      if (d.isVisible()) Click(d, kIdOk);
    });
    dlg->Execute();
    EXPECT_EQ(KSModul::GetBracketDepth(), 0);
    EXPECT_FALSE(Driver().IsPaused());
  }
  static std::string Text(QDialog& d, int32_t id) {
    return FindDlgControl(&d, id)->property("text").toString().toStdString();
  }
  // What the map holds, one line per entry: file and every per-sample setting.
  static std::vector<std::string> Describe(IAudioFileMap* map) {
    std::vector<std::string> out;
    for (int32_t i = 0; i < map->GetCount(); ++i) {
      IAudioFileMapEntry* e = map->GetAt(i);
      char line[256];
      std::snprintf(line, sizeof line, "%s split %d root %d detune %d gain %d pan %.2f dir %d loop %d/%d/%d",
                    e->GetSoundFile()->GetFileName()->GetName(1).CStr(), int(e->GetLeftSplit()),
                    int(e->GetRootKey()), int(e->GetDetune()), int(e->GetGain()), double(e->GetPan()),
                    int(e->GetDirection()), int(e->GetLoopOn()), int(e->GetAlternatingLoop()),
                    int(e->GetLoopInRelease()));
      out.push_back(line);
    }
    return out;
  }
};

// A *.map file as the map writer stores it (little-endian, version 200, no
// embedded sounds), written byte by byte so the reader is checked against
// the format and not against the writer.
class TMapFile {
public:
  struct Entry {
    std::string folder, file;
    int32_t split, root, detune, gain;
    float pan;
    int32_t direction, loop;
  };
  void Write(const std::string& path, const std::vector<Entry>& entries) {
    const size_t slash = path.rfind('/');
    U32(0).U32(200).U32(uint32_t(entries.size())).U32(1).U32(1).U32(0);
    Str(path.substr(0, slash)).Str(path.substr(slash + 1)).U32(kTypeMap);
    for (const Entry& e : entries) {
      Str(e.folder).Str(e.file).U32(kTypeWav).U32(0);
      U32(uint32_t(e.split)).U32(uint32_t(e.root)).U32(0).U32(uint32_t(e.detune)).U32(uint32_t(e.gain));
      uint32_t pan;
      std::memcpy(&pan, &e.pan, 4);
      U32(pan).U32(0).U32(0);
      U32(uint32_t(e.direction)).U32(uint32_t(e.loop)).U32(0).U32(1);
      U32(0).U32(0).U32(0).U32(85);
    }
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes_.data()), std::streamsize(bytes_.size()));
  }

private:
  static constexpr uint32_t kTypeWav = 4, kTypeMap = 6;
  TMapFile& U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_.push_back(uint8_t(v >> (8 * i)));
    return *this;
  }
  TMapFile& Str(const std::string& text) {
    U32(uint32_t(text.size()));
    bytes_.insert(bytes_.end(), text.begin(), text.end());
    return *this;
  }
  std::vector<uint8_t> bytes_;
};

TEST_F(SampleMapEditor, EachSamplerDialogHasItsControls) {
  struct Case {
    TModuleType type;
    int32_t resource;
    bool rootKey, gain, oscil, direction, loopInRelease;
  } cases[] = {
      {kTypeSampler, prpdlg::kSampler, true, false, true, true, false},
      {kTypeSamplerLoop, prpdlg::kSamplerLoop, true, false, true, true, true},
      {kTypeResynth, prpdlg::kGrainLoop, true, true, false, true, true},
      {kTypePitchFormer, prpdlg::kWaveTable, false, true, false, true, true},
      {kTypeBeatLoop, prpdlg::kBeatWarp, true, true, false, false, false},
  };
  for (const Case& c : cases) {
    KSModul* m = Add(c.type);
    auto dlg = CreateModPrp(m, "test");
    auto* s = dynamic_cast<TSamplerPrp*>(dlg.get());
    ASSERT_TRUE(s);
    EXPECT_EQ(s->GetResourceId(), c.resource);
    EXPECT_EQ(s->RootKey() != nullptr, c.rootKey);
    EXPECT_EQ(s->Detune() != nullptr, c.rootKey);
    EXPECT_EQ(s->Gain() != nullptr, c.gain);
    EXPECT_EQ(s->Pan() != nullptr, c.gain);
    const std::set<int32_t> ids = ControlIds(*dlg);
    EXPECT_EQ(ids.count(prpid::kOscilMode) == 1, c.oscil);
    EXPECT_EQ(ids.count(prpid::kDirection) == 1, c.direction);
    EXPECT_EQ(ids.count(prpid::kLoopInRelease) == 1, c.loopInRelease);
    const std::set<int32_t> inTemplate = TemplateIds(c.resource);
    for (int32_t id : ids) EXPECT_TRUE(inTemplate.count(id)) << c.resource << ": " << id;
    // An empty map: per-sample controls off, values for no sample.
    EXPECT_FALSE(s->LeftSplit()->IsSliderEnabled());
  }
}

TEST_F(SampleMapEditor, AddDeleteReplaceAndSliders) {
  KSModul* m = Add(kTypeSamplerLoop);
  const std::string a = Wav("a.wav"), b = Wav("b.wav"), c = Wav("c.wav");
  gui.QueueFileChoice(a);
  gui.QueueFileChoice(b);
  gui.QueueFileChoice(c);
  const int32_t before = Steps();
  EXPECT_TRUE(Run(m, [&](QDialog& d) {
    Click(d, sampid::kAdd);
    Click(d, sampid::kAdd);
    ASSERT_EQ(Lines(d).size(), 2u);
    EXPECT_NE(Lines(d)[1].find("b.wav"), std::string::npos);
    EXPECT_TRUE(FindDlgControl(&d, sampid::kApplyToAll)->isEnabled());
    // The new last entry is current: move its split.
    Drag(d, sampid::kLeftSplitBar, 60, 0);
    const auto lines = Lines(d);
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.rfind("60  (C3) - b.wav", 0) == 0; }));
    Click(d, sampid::kRootKeyDown);  // "<" of Root Key lowers it
    Click(d, sampid::kReplace);
    const auto replaced = Lines(d);
    EXPECT_TRUE(std::any_of(replaced.begin(), replaced.end(),
                            [](const std::string& l) { return l.find("c.wav") != std::string::npos; }));
    Click(d, sampid::kDelete);
    Click(d, sampid::kDelete);
    EXPECT_TRUE(Lines(d).empty());
    EXPECT_FALSE(FindDlgControl(&d, sampid::kDelete)->isEnabled());
    EXPECT_FALSE(FindDlgControl(&d, sampid::kLeftSplitBar)->isEnabled());
    Click(d, kIdOk);
  }));
  EXPECT_EQ(Steps(), before + 1) << "all edits of one dialog are one undo step";
  EXPECT_EQ(m->GetSampleMap()->GetCount(), 0);
  EXPECT_EQ(KSModul::GetBracketDepth(), 0);
  EXPECT_FALSE(Driver().IsPaused());
}

TEST_F(SampleMapEditor, PanAndGainRoundTripThroughTheSliders) {
  KSModul* m = Add(kTypeResynth);
  gui.QueueAnswer(3);  // no, the analysed files are not saved
  gui.QueueAnswer(3);
  gui.QueueFileChoice(Wav("a.wav"));
  gui.QueueFileChoice(Wav("b.wav"));
  EXPECT_TRUE(Run(m, [&](QDialog& d) {
    Click(d, sampid::kAdd);
    Click(d, sampid::kAdd);
    auto* list = Ctl<QListWidget>(d, sampid::kList);
    for (int pan : {29, -100, 100, -7}) {
      list->setCurrentRow(0);
      Drag(d, sampid::kPanBar, pan, -100);
      Drag(d, sampid::kGainBar, -6, -48);
      list->setCurrentRow(1);
      list->setCurrentRow(0);
      EXPECT_EQ(Ctl<QSlider>(d, sampid::kPanBar)->value() - 100, pan);
      EXPECT_EQ(FindDlgControl(&d, sampid::kPanText)->property("text").toString().toStdString(), "Pan: " + std::to_string(pan));
    }
    Click(d, kIdOk);
  }));
  IAudioFileMapEntry* first = m->GetSampleMap()->GetAt(0);
  EXPECT_FLOAT_EQ(first->GetPan(), -0.07f);
  EXPECT_EQ(first->GetGain(), -6);
}

TEST_F(SampleMapEditor, TheMapHoldsAtMost128Samples) {
  KSModul* m = Add(kTypeSampler);
  const std::string wav = Wav("one.wav");
  for (int i = 0; i < 129; ++i) gui.QueueFileChoice(wav);
  gui.QueueAnswer(0);
  IAudioFileMap* map = m->GetSampleMap();
  WithDialog(m, [&](TSamplerPrp& s, QDialog& d) {
    for (int i = 0; i < 128; ++i) Click(d, sampid::kAdd);
    EXPECT_TRUE(gui.Boxes().empty());
    EXPECT_EQ(s.GetCurrentEntry(), map->GetAt(127));
    Click(d, sampid::kAdd);
    EXPECT_EQ(Lines(d).size(), 128u);
    EXPECT_EQ(s.GetCurrentEntry(), map->GetAt(127)) << "the refused sample changes no selection";
    EXPECT_EQ(SelectedRow(d), 127);
  });
  EXPECT_EQ(map->GetCount(), 128);
  ASSERT_EQ(gui.Boxes().size(), 1u);
  EXPECT_EQ(gui.Boxes().back().text, "Sorry - map cannot hold more than 128 samples");
}

TEST_F(SampleMapEditor, AFailedReplaceLeavesNoCurrentEntry) {
  KSModul* m = Add(kTypeSampler);
  gui.QueueFileChoice(Wav("a.wav"));
  const std::string bad = tmp + "/broken.wav";
  { FILE* f = fopen(bad.c_str(), "wb"); fputs("not a sound", f); fclose(f); }
  gui.QueueFileChoice(bad);
  gui.QueueAnswer(0);
  EXPECT_TRUE(Run(m, [&](QDialog& d) {
    Click(d, sampid::kAdd);
    Click(d, sampid::kReplace);
    EXPECT_EQ(Lines(d).size(), 1u);
    EXPECT_FALSE(FindDlgControl(&d, sampid::kDelete)->isEnabled());
    Click(d, kIdOk);
  }));
  EXPECT_EQ(KSModul::GetBracketDepth(), 0);
}

TEST_F(SampleMapEditor, ApplyToAllCopiesLoopAndDirectionAndOscilModeLocksPitch) {
  KSModul* m = Add(kTypeSampler);
  gui.QueueFileChoice(Wav("a.wav"));
  gui.QueueFileChoice(Wav("b.wav"));
  EXPECT_TRUE(Run(m, [&](QDialog& d) {
    Click(d, sampid::kAdd);
    Click(d, sampid::kAdd);
    Click(d, prpid::kLoop);
    Click(d, prpid::kDirection + 1);
    Click(d, sampid::kApplyToAll);
    Click(d, prpid::kOscilMode);
    EXPECT_FALSE(FindDlgControl(&d, sampid::kRootKeyBar)->isEnabled());
    EXPECT_FALSE(FindDlgControl(&d, sampid::kDetuneBar)->isEnabled());
    EXPECT_TRUE(FindDlgControl(&d, sampid::kLeftSplitBar)->isEnabled());
    Click(d, kIdOk);
  }));
  IAudioFileMap* map = m->GetSampleMap();
  for (int32_t i = 0; i < map->GetCount(); ++i) {
    EXPECT_EQ(map->GetAt(i)->GetLoopOn(), 1) << i;
    EXPECT_EQ(map->GetAt(i)->GetDirection(), 1) << i;
  }
  EXPECT_TRUE(m->IsLoopOn()) << "Done also sets the module's loop flag";
  EXPECT_TRUE(m->IsOscilMode());
}

TEST_F(SampleMapEditor, CancelledFileDialogsChangeNothing) {
  KSModul* m = Add(kTypeSampler);
  gui.QueueFileCancel();
  gui.QueueFileCancel();
  const int32_t before = Steps();
  EXPECT_TRUE(Run(m, [&](QDialog& d) {
    Click(d, sampid::kLoad);
    Click(d, sampid::kAdd);
    Click(d, kIdOk);
  }));
  EXPECT_EQ(Steps(), before);
  EXPECT_EQ(m->GetSampleMap()->GetCount(), 0);
}

TEST_F(SampleMapEditor, ALoadedMapFileShowsItsSamplesAndSavesAndReloadsUnchanged) {
  Wav("low.wav", 0.25f);
  Wav("mid.wav", -0.25f);
  Wav("high.wav", 0.5f);
  const std::string mapPath = tmp + "/kit.map";
  TMapFile().Write(mapPath, {{tmp, "low.wav", 0, 36, -20, -6, -0.5f, 1, 0},
                             {tmp, "mid.wav", 48, 50, 0, 0, 0.0f, 0, 1},
                             {tmp, "high.wav", 72, 84, 35, 12, 0.75f, 0, 0}});
  KSModul* m = Add(kTypeBeatLoop);
  IAudioFileMap* map = m->GetSampleMap();
  const std::string saved = tmp + "/saved.map";
  gui.QueueFileChoice(mapPath);
  for (int i = 0; i < 3; ++i) gui.QueueAnswer(3);  // the analysis of each sound is not saved
  gui.QueueFileChoice(mapPath);
  gui.QueueAnswer(3);  // the changed map is not discarded
  gui.QueueFileChoice(saved);
  gui.QueueAnswer(3);  // no backup copy of the sounds in the map file
  WithDialog(m, [&](TSamplerPrp& s, QDialog& d) {
    Click(d, sampid::kLoad);
    EXPECT_EQ(Lines(d), (std::vector<std::string>{"0  (C-2) - low.wav", "48  (C2) - mid.wav", "72  (C4) - high.wav"}));
    EXPECT_EQ(SelectedRow(d), 0) << "Load makes the first sample current";
    EXPECT_EQ(s.GetCurrentEntry(), map->GetAt(0));

    // Each line shows its sample's settings.
    struct Row {
      int row;
      const char *split, *root, *detune, *gain, *pan;
    } const rows[] = {
        {2, "Left Split: 72 (C4)", "Root Key: 84 (C5)", "Detune: 35 Cent", "Gain: 12 dB", "Pan: 75"},
        {0, "Left Split: 0 (C-2)", "Root Key: 36 (C1)", "Detune: -20 Cent", "Gain: -6 dB", "Pan: -50"},
        {1, "Left Split: 48 (C2)", "Root Key: 50 (D2)", "Detune: 0 Cent", "Gain: 0 dB", "Pan: 0"},
    };
    auto* list = Ctl<QListWidget>(d, sampid::kList);
    for (const Row& r : rows) {
      SCOPED_TRACE(r.row);
      list->setCurrentRow(r.row);
      EXPECT_EQ(s.GetCurrentEntry(), map->GetAt(r.row));
      EXPECT_EQ(Text(d, sampid::kLeftSplitText), r.split);
      EXPECT_EQ(Text(d, sampid::kRootKeyText), r.root);
      EXPECT_EQ(Text(d, sampid::kDetuneText), r.detune);
      EXPECT_EQ(Text(d, sampid::kGainText), r.gain);
      EXPECT_EQ(Text(d, sampid::kPanText), r.pan);
    }

    // Keys go to the sample whose range holds them.
    struct Key {
      float key;
      int entry;
    } const keys[] = {{0, 0}, {47, 0}, {48, 1}, {71, 1}, {72, 2}, {127, 2}};
    for (const Key& k : keys) EXPECT_EQ(map->FindForKey(k.key), map->GetAt(k.entry)) << k.key;

    // Edit the middle sample: its range now starts at 60.
    list->setCurrentRow(1);
    Drag(d, sampid::kLeftSplitBar, 60, 0);
    Drag(d, sampid::kRootKeyBar, 55, 0);
    Drag(d, sampid::kDetuneBar, -12, -100);
    Drag(d, sampid::kGainBar, -3, -48);
    Drag(d, sampid::kPanBar, 40, -100);
    EXPECT_EQ(Lines(d)[1], "60  (C3) - mid.wav");
    EXPECT_EQ(SelectedRow(d), 1) << "the moved sample stays selected";
    EXPECT_EQ(map->FindForKey(59.0f), map->GetAt(0));
    EXPECT_EQ(map->FindForKey(60.0f), map->GetAt(1));
    d.adjustSize();
    EXPECT_FALSE(skytest::SaveShot(d.grab().toImage(), "propdlg_beatloop_map.png").empty());

    // Loading over the changed map asks first; "No" keeps it and selects the first sample.
    Click(d, sampid::kLoad);
    EXPECT_EQ(gui.Boxes().back().text, "Are you sure you want to discard changes made to kit.map?");
    EXPECT_EQ(Lines(d)[1], "60  (C3) - mid.wav");
    EXPECT_EQ(SelectedRow(d), 0);
    EXPECT_EQ(s.GetCurrentEntry(), map->GetAt(0));
    Click(d, sampid::kSave);
  });
  EXPECT_EQ(Describe(map), (std::vector<std::string>{
                               "low.wav split 0 root 36 detune -20 gain -6 pan -0.50 dir 1 loop 0/0/1",
                               "mid.wav split 60 root 55 detune -12 gain -3 pan 0.40 dir 0 loop 1/0/1",
                               "high.wav split 72 root 84 detune 35 gain 12 pan 0.75 dir 0 loop 0/0/1"}));

  // The saved file, loaded into another module, is the same map.
  KSModul* other = Add(kTypeBeatLoop);
  gui.QueueFileChoice(saved);
  WithDialog(other, [&](TSamplerPrp&, QDialog& d) {
    Click(d, sampid::kLoad);
    EXPECT_EQ(Lines(d), (std::vector<std::string>{"0  (C-2) - low.wav", "60  (C3) - mid.wav", "72  (C4) - high.wav"}));
  });
  EXPECT_EQ(Describe(other->GetSampleMap()), Describe(map));
}

TEST_F(SampleMapEditor, DeleteMakesTheNextSampleCurrentOrThePreviousAfterTheLast) {
  struct Case {
    int count, selected;
    std::vector<std::string> left;
    int current;  // row of the new current sample, -1: none
  } const cases[] = {
      {3, 0, {"b.wav", "c.wav"}, 0},
      {3, 1, {"a.wav", "c.wav"}, 1},
      {3, 2, {"a.wav", "b.wav"}, 1},
      {1, 0, {}, -1},
  };
  const char* const names[] = {"a.wav", "b.wav", "c.wav"};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.selected);
    KSModul* m = Add(kTypeSamplerLoop);
    for (int i = 0; i < c.count; ++i) gui.QueueFileChoice(Wav(names[i]));
    WithDialog(m, [&](TSamplerPrp& s, QDialog& d) {
      for (int i = 0; i < c.count; ++i) Click(d, sampid::kAdd);
      Ctl<QListWidget>(d, sampid::kList)->setCurrentRow(c.selected);
      Click(d, sampid::kDelete);
      std::vector<std::string> files;
      for (const std::string& line : Lines(d)) files.push_back(line.substr(line.rfind(' ') + 1));
      EXPECT_EQ(files, c.left);
      EXPECT_EQ(SelectedRow(d), c.current);
      IAudioFileMap* map = m->GetSampleMap();
      EXPECT_EQ(s.GetCurrentEntry(), c.current < 0 ? nullptr : map->GetAt(c.current));
      EXPECT_EQ(FindDlgControl(&d, sampid::kDelete)->isEnabled(), c.current >= 0);
      EXPECT_EQ(FindDlgControl(&d, sampid::kLeftSplitBar)->isEnabled(), c.current >= 0);
    });
  }
}

TEST_F(SampleMapEditor, ReplaceKeepsTheSettingsAndAFailedOneLeavesNoCurrentSample) {
  KSModul* m = Add(kTypeResynth);
  gui.QueueAnswer(3);  // the analysis of each new sound is not saved
  gui.QueueFileChoice(Wav("a.wav"));
  gui.QueueAnswer(3);
  gui.QueueFileChoice(Wav("b.wav"));
  gui.QueueAnswer(3);
  gui.QueueFileChoice(Wav("new.wav", -0.5f, 900));
  const std::string bad = tmp + "/broken.wav";
  std::ofstream(bad) << "not a sound";
  gui.QueueFileChoice(bad);
  gui.QueueAnswer(0);
  IAudioFileMap* map = m->GetSampleMap();
  WithDialog(m, [&](TSamplerPrp& s, QDialog& d) {
    Click(d, sampid::kAdd);
    Click(d, sampid::kAdd);
    Ctl<QListWidget>(d, sampid::kList)->setCurrentRow(1);
    Drag(d, sampid::kGainBar, -9, -48);
    Drag(d, sampid::kPanBar, -30, -100);
    Drag(d, sampid::kRootKeyBar, 40, 0);
    IAudioFileMapEntry* entry = s.GetCurrentEntry();
    const int32_t split = entry->GetLeftSplit();
    Click(d, sampid::kReplace);
    EXPECT_EQ(s.GetCurrentEntry(), map->GetAt(1)) << "the sample at the same place stays current";
    EXPECT_EQ(SelectedRow(d), 1);
    IAudioFileMapEntry* replaced = map->GetAt(1);
    EXPECT_EQ(replaced->GetSoundFile()->GetFileName()->GetName(1).Std(), "new.wav");
    EXPECT_EQ(replaced->GetSoundFile()->GetSampleBuf()->GetLength(), 900);
    EXPECT_EQ(replaced->GetLeftSplit(), split);
    EXPECT_EQ(replaced->GetGain(), -9);
    EXPECT_FLOAT_EQ(replaced->GetPan(), -0.3f);
    EXPECT_EQ(replaced->GetRootKey(), 40);
    EXPECT_EQ(Text(d, sampid::kGainText), "Gain: -9 dB");

    Click(d, sampid::kReplace);  // the broken file
    EXPECT_EQ(s.GetCurrentEntry(), nullptr);
    EXPECT_EQ(SelectedRow(d), -1);
    EXPECT_EQ(Lines(d).size(), 2u) << "every sample is still listed";
    EXPECT_FALSE(FindDlgControl(&d, sampid::kReplace)->isEnabled());
    EXPECT_FALSE(FindDlgControl(&d, sampid::kGainBar)->isEnabled());
    EXPECT_EQ(Text(d, sampid::kGainText), "Gain: 0 dB");
  });
  ASSERT_FALSE(gui.Boxes().empty());
  EXPECT_NE(gui.Boxes().back().text.find("broken.wav"), std::string::npos) << gui.Boxes().back().text;
  EXPECT_EQ(map->GetCount(), 2);
}

// Starts programs as the sound pool asks, but waits for each to end: the
// outside editor has done its work when Edit returns, without a clock.
class TWaitingServices : public IAudioServices {
public:
  TWaitingServices() : standIn_(AudioServices()), previous_(SetAudioServices(this)) {}
  ~TWaitingServices() override { SetAudioServices(previous_); }
  IAudioPause* GetAudioDriver() override { return standIn_.GetAudioDriver(); }
  float GetProcessingRate() override { return standIn_.GetProcessingRate(); }
  IFileName* GetTmpDirName() override { return standIn_.GetTmpDirName(); }
  IFileName* GetEditorName() override { return standIn_.GetEditorName(); }
  int StartProgram(IFileName& program, const TStr& argument) override {
    const std::string path = program.GetPath().Std(), arg = argument.Std();
    started.push_back(arg);
    char* argv[] = {const_cast<char*>(path.c_str()), const_cast<char*>(arg.c_str()), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, environ) != 0) return 0;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 1 : 0;
  }
  std::vector<std::string> started;

private:
  IAudioServices& standIn_;
  IAudioServices* previous_;
};

TEST_F(SampleMapEditor, EditRunsTheOutsideEditorAndReloadReadsWhatItWrote) {
  // The editor the pool starts is the one the preferences and the
  // "EditorPath" setting name.
  EXPECT_EQ(dirs::Editor(), AudioServices().GetEditorName());
  const std::string edited = Wav("edited.wav", -0.5f, 1000);
  const std::string editor = tmp + "/editor.sh";
  std::ofstream(editor) << "#!/bin/sh\n"
                           "# Stands in for a sound editor: the sound becomes longer and of another level.\n"
                           "cp \"" << edited << "\" \"$1\"\n";
  ASSERT_EQ(chmod(editor.c_str(), 0755), 0);

  KSModul* m = Add(kTypeSampler);
  const std::string sound = Wav("voice.wav", 0.25f, 400);
  gui.QueueFileChoice(sound);
  gui.QueueAnswer(3);  // no sample editor is known yet: "No"
  TWaitingServices services;
  WithDialog(m, [&](TSamplerPrp& s, QDialog& d) {
    Click(d, sampid::kAdd);
    IAudioFileBuf* buf = s.GetCurrentEntry()->GetSoundFile();
    const int32_t steps = Steps();
    dirs::Editor()->SetPath(TStr());
    Click(d, sampid::kEdit);
    EXPECT_TRUE(services.started.empty());
    ASSERT_FALSE(gui.Boxes().empty());
    EXPECT_EQ(gui.Boxes().back().text, "Is there a sample-editing-application installed?");

    dirs::Editor()->SetPath(TStr(editor.c_str()));
    Click(d, sampid::kEdit);
    ASSERT_EQ(services.started, std::vector<std::string>{sound});
    EXPECT_EQ(buf->GetSampleBuf()->GetLength(), 400) << "nothing is read back before Reload";
    Click(d, sampid::kReload);
    ASSERT_EQ(buf->GetSampleBuf()->GetLength(), 1000);
    EXPECT_NEAR(buf->GetSampleBuf()->GetSample(500, 0), -0.5f, 1e-3f);
    EXPECT_EQ(s.GetCurrentEntry()->GetSoundFile(), buf);
    EXPECT_EQ(Lines(d), std::vector<std::string>{"60  (C3) - voice.wav"});
    EXPECT_EQ(Steps(), steps) << "editing the sound file is no change of the ensemble";
  });
  dirs::Editor()->SetPath(TStr());
}

// ---------------------------------------------------------------- pictures

TEST_F(PropDlg, DialogPictures) {
  const TModuleType types[] = {{kCatMacro, 0}, kTypeFader, kTypeButton, {kCatSwitch, 0}, kTypeComment,
                               {kCatModule, 152}, {kCatModule, 154}, {kCatSource, 4}, {kCatSource, 3},
                               {kCatSource, 8}, {kCatSource, 10}, {kCatSource, 12}, kTypeClockSync,
                               {kCatSource, 18}, kTypeMidiNoteOut, kTypeMidiControllerOut,
                               kTypeMidiPolyPressureOut, kTypeConstant, kTypeSawFm, kTypeSequencer6,
                               {kCatModule, 38}, kTypeSampleLookup, kTypeStaticDelay, kTypeModDelay,
                               kTypeTapedeck1, {kCatModule, 167}, kTypeScope, kTypeSampler, kTypeSamplerLoop,
                               kTypeResynth, kTypePitchFormer, kTypeBeatLoop};
  for (TModuleType t : types) {
    KSModul* m = Add(t);
    auto dlg = CreateModPrp(m, "test");
    ASSERT_TRUE(dlg);
    const int32_t id = dlg->GetResourceId();
    ModalScript s([id](QDialog& d) {
      d.adjustSize();
      const std::string path = skytest::SaveShot(d.grab().toImage(), "propdlg_" + std::to_string(id) + ".png");
      EXPECT_FALSE(path.empty());
    });
    dlg->Execute();
  }
}

} // namespace
