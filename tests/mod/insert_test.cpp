// Inserting modules as the structure editor does: what a new module starts
// with, where its panel control lands, and what a panel control feeds after
// a wiring change or a save and reopen.
#include "tests/mod/ensemble_fixture.h"

#include "tests/common/testkit.h"

#include "src/engine/audioio.h"
#include "src/base/file.h"
#include "src/base/inout.h"
#include "src/base/settings.h"
#include "src/mod/ensfile.h"
#include "src/mod/modfile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using ensfix::TEnsembleFixture;
using ensfix::TEventRecorder;

namespace {

TPnt Moved(TPnt p, int32_t by) { return TPnt(p.X() + by, p.Y() + by); }

class Inserting : public ::testing::Test, public TEnsembleFixture {
protected:
  Inserting() : files(ens) {
    OpenSettings(TStr("Quorvex 2.0"));
    files.GetUndo().SetFolder(TStr(tmp.c_str()));
    files.GetUndo().SetUndoEnabled(1);
    files.GetUndo().SetUndoMax(20);
  }

  KSModul* Add(KSModul* parent, TModuleType type) { return parent->InsertModule(type, 1); }

  // Writes the ensemble and opens what was written as the open ensemble.
  void SaveAndReopen() {
    TMemInOut out;
    KModulFile::WriteEnsemble(out, files);
    TMemInOut in(out.Data());
    ASSERT_EQ(files.OpenEnsembleStream(in, TStr("reopen.ens")), 1);
    // The application ends every load with a structure change (its Audio In
    // and Out, the old-ensemble check): processing is built then.
    TStructureChange loaded(Top());
  }

  std::string tmp = testkit::TempDir("insert");
  testkit::ScriptedHost boxes;
  KEnsembleFiles files;
};

} // namespace

// The destination of a fader holds the fader's value without the fader
// being moved: after a new wire, and after the ensemble is saved and opened.
TEST_F(Inserting, AFadersValueReachesItsDestinationWithoutAMove) {
  struct Case {
    const char* name;
    bool reopen;
  };
  for (const Case& c : {Case{"after wiring", false}, Case{"after save and open", true}}) {
    while (Top()->GetChildCount() > 0) Top()->DeleteChild(Top()->GetChild(0));
    TEventRecorder recorder;
    KSModul* fader = Add(Top(), kTypeFader);
    fader->SetControlRange(-10.0f, 0, 10.0f, 127, 0.0f);
    fader->SetControlStep(100);
    const float want = fader->GetTableValue(100);
    ASSERT_NE(want, 0.0f);
    KSModul* scope = Add(Top(), kTypeScope);
    recorder.Events().clear();
    Wire(fader, 0, scope, 0);
    if (c.reopen) {
      recorder.Events().clear();
      SaveAndReopen();
      ASSERT_EQ(Top()->GetChildCount(), 2) << c.name;
      scope = Top()->GetChild(1);
    }
    ASSERT_NE(scope->GetEngineRecord(), nullptr) << c.name;
    std::vector<float> values;
    for (const ensfix::TEvent& e : recorder.Events())
      if (e.record == scope->GetEngineRecord()) values.push_back(e.value);
    ASSERT_FALSE(values.empty()) << c.name << ": nothing reached the destination";
    EXPECT_FLOAT_EQ(values.back(), want) << c.name;
  }
}

TEST_F(Inserting, AButtonsSnapshotStepsSurviveSaveAndOpen) {
  KSModul* button = Add(Top(), kTypeButton);
  KSModul* fader = Add(Top(), kTypeFader);
  button->SetControlStep(64); // a toggle: on
  fader->SetControlStep(90);
  Top()->StoreSnapValues(TopInstr(), 3);
  ASSERT_EQ(button->GetSnapStep(3), 64);
  EXPECT_TRUE(button->IsLoopOn()) << "loop is on for a new module";
  SaveAndReopen();
  ASSERT_EQ(Top()->GetChildCount(), 2);
  EXPECT_EQ(Top()->GetChild(0)->GetSnapStep(3), 64) << "button";
  EXPECT_EQ(Top()->GetChild(1)->GetSnapStep(3), 90) << "fader";
  EXPECT_EQ(Top()->GetChild(0)->GetControlStep(), 64);
}

TEST_F(Inserting, NewModulesShowOnThePanelOfTheirLevel) {
  KSModul* macro = Add(Top(), kTypeMacro);
  KSModul* instr = Add(Top(), kTypeInstrument);
  KSModul* inner = Add(instr, kTypeMacro);
  struct Case {
    const char* name;
    KSModul* parent;
    TModuleType type;
    bool instrPanel, ensPanel;
  };
  const Case cases[] = {
      {"fader in the top node", Top(), kTypeFader, false, true},
      {"fader in a macro of the top node", macro, kTypeFader, false, true},
      {"fader in an instrument", instr, kTypeFader, true, false},
      {"fader in a macro of an instrument", inner, kTypeFader, true, false},
      {"switch in an instrument", instr, kTypeAudioSwitch2, true, false},
      {"scope in an instrument", instr, kTypeScope, true, false},
      {"scope in the top node", Top(), kTypeScope, true, false},
      {"other graph in an instrument", instr, kTypeHoldEnv, false, false},
  };
  std::vector<std::string> names;
  for (const Case& c : cases) {
    KSModul* m = Add(c.parent, c.type);
    ASSERT_NE(m, nullptr) << c.name;
    EXPECT_EQ(m->IsVisibleInInstr(), c.instrPanel) << c.name;
    EXPECT_EQ(m->IsVisibleInEns(), c.ensPanel) << c.name;
    m->SetLabel(TStr(c.name));
  }
  EXPECT_TRUE(instr->IsVisibleInEns()) << "an instrument shows on the ensemble panel";
  // What the file keeps comes back.
  SaveAndReopen();
  for (const Case& c : cases) {
    KSModul* found = nullptr;
    Top()->Walk([&](KSModul* m) {
      if (m->GetLabel() == TStr(c.name)) found = m;
    });
    ASSERT_NE(found, nullptr) << c.name;
    EXPECT_EQ(found->IsVisibleInInstr(), c.instrPanel) << c.name << " after reopening";
    EXPECT_EQ(found->IsVisibleInEns(), c.ensPanel) << c.name << " after reopening";
  }
}

TEST_F(Inserting, ButtonsAndSwitchesStartWithoutTheirValueShown) {
  struct Case {
    TModuleType type;
    bool valueShown;
  };
  for (const Case& c : {Case{kTypeFader, true}, Case{kTypeButton, false}, Case{kTypeAudioSwitch2, false}}) {
    KSModul* m = Add(Top(), c.type);
    EXPECT_TRUE(m->IsLabelShown()) << c.type.category << ":" << c.type.type;
    EXPECT_EQ(m->IsValueShown(), c.valueShown) << c.type.category << ":" << c.type.type;
  }
}

TEST_F(Inserting, EachInsertTakesTheNextPanelSpotsAndIsSelected) {
  KSModul* instr = Add(Top(), kTypeInstrument);
  struct Case {
    const char* name;
    KSModul* parent;
    KSModul* panelNode;
  };
  KSModul* macro = Add(instr, kTypeMacro);
  for (const Case& c : {Case{"top", Top(), Top()}, Case{"instrument", instr, instr}, Case{"macro", macro, instr}}) {
    const TPnt box = c.parent->GetNextInsertPos();
    const TPnt instrSpot = c.panelNode->GetNextInstrPanelInsertPos();
    const TPnt ensSpot = c.panelNode->GetNextEnsPanelInsertPos();
    Top()->DeselectAll();
    KSModul* first = Add(c.parent, kTypeFader);
    KSModul* second = Add(c.parent, kTypeFader);
    EXPECT_EQ(first->GetPos(), box) << c.name;
    EXPECT_EQ(second->GetPos(), Moved(box, 16)) << c.name;
    EXPECT_EQ(first->GetInstrCtrlPos(), instrSpot) << c.name;
    EXPECT_EQ(second->GetInstrCtrlPos(), Moved(instrSpot, 16)) << c.name;
    EXPECT_EQ(first->GetEnsCtrlPos(), ensSpot) << c.name;
    EXPECT_EQ(second->GetEnsCtrlPos(), Moved(ensSpot, 16)) << c.name;
    EXPECT_TRUE(first->IsSelected() && second->IsSelected()) << c.name;
    // A module without a panel control leaves the panel spots where they are.
    Add(c.parent, kTypeEventSum3);
    EXPECT_EQ(c.panelNode->GetNextInstrPanelInsertPos(), Moved(instrSpot, 32)) << c.name;
  }
}

// ---------------------------------------------------------------------------
// Mono and poly through macros, port entries, selection on panels

TEST_F(Inserting, MonoOnAMacroReachesItsTerminals) {
  KSModul* macro = Add(Top(), kTypeMacro);
  KSModul* audioIn = Add(macro, kTypeAudioPolyInTerminal);
  KSModul* eventOut = Add(macro, kTypeEventPolyOutTerminal);
  KSModul* inside = Add(macro, kTypeGate);
  ASSERT_EQ(macro->GetInPort(0)->GetKind(), kAudioPoly);
  ASSERT_EQ(macro->GetOutPort(0)->GetKind(), kEventPoly);
  struct Want {
    bool mono;
    int32_t macroIn, terminalOut, macroOut, terminalIn;
  };
  for (const Want& w : {Want{true, kAudioMono, kAudioMono, kEventMono, kEventMono},
                        Want{false, kAudioPoly, kAudioPoly, kEventPoly, kEventPoly}}) {
    if (w.mono) macro->SetMono();
    else macro->SetPoly();
    EXPECT_EQ(macro->IsMono(), w.mono);
    EXPECT_EQ(macro->GetInPort(0)->GetKind(), w.macroIn) << w.mono;
    EXPECT_EQ(audioIn->GetOutPort(0)->GetKind(), w.terminalOut) << w.mono;
    EXPECT_EQ(audioIn->IsMono(), w.mono);
    EXPECT_EQ(macro->GetOutPort(0)->GetKind(), w.macroOut) << w.mono;
    EXPECT_EQ(eventOut->GetInPort(0)->GetKind(), w.terminalIn) << w.mono;
    EXPECT_EQ(eventOut->IsMono(), w.mono);
    EXPECT_FALSE(inside->IsMono()) << "only the terminals follow the macro";
    EXPECT_EQ(KSModul::GetBracketDepth(), 0);
  }
  // A terminal switched alone takes its macro's port along.
  eventOut->SetMono();
  EXPECT_EQ(macro->GetOutPort(0)->GetKind(), kEventMono);
  EXPECT_EQ(eventOut->GetInPort(0)->GetKind(), kEventMono);
  EXPECT_FALSE(macro->IsMono());
  audioIn->SetMono();
  EXPECT_EQ(macro->GetInPort(0)->GetKind(), kAudioMono);
  // Terminals of an instrument are mono and stay so; its ports never switch.
  KSModul* instr = Add(Top(), kTypeInstrument);
  KSModul* instrIn = Add(instr, kTypeAudioPolyInTerminal);
  ASSERT_EQ(instr->GetInPort(0)->GetKind(), kAudioMono);
  instrIn->SetPoly();
  EXPECT_EQ(instr->GetInPort(0)->GetKind(), kAudioMono);
  EXPECT_EQ(instrIn->GetOutPort(0)->GetKind(), kAudioMono);
}

TEST_F(Inserting, PortsFindTheirTypesEntry) {
  KSModul* out = AddAudioOut();
  KSModul* macro = Add(Top(), kTypeMacro);
  Add(macro, kTypeAudioPolyInTerminal);
  KSModul* osc = Add(Top(), kTypeEventSum3);
  ASSERT_NE(out->GetInPort(1)->GetDefinition(), nullptr);
  EXPECT_STREQ(out->GetInPort(1)->GetDefinition()->label, "Lvl");
  EXPECT_EQ(out->GetInPort(1)->GetDefinition(), &(*out->GetTypeDef()->inPorts)[1]);
  ASSERT_GT(osc->GetOutPortCount(), 0);
  EXPECT_EQ(osc->GetOutPort(0)->GetDef(), &(*osc->GetTypeDef()->outPorts)[0]);
  EXPECT_EQ(macro->GetInPort(0)->GetDefinition(), nullptr) << "a terminal's port has no entry";
  KOutPort loose(osc);
  EXPECT_EQ(loose.GetDef(), nullptr) << "a port its owner does not list";
}

TEST_F(Inserting, SelectedInAPanelLooksThroughMacrosUpToTheInstrument) {
  KSModul* macro = Add(Top(), kTypeMacro);
  KSModul* inMacro = Add(macro, kTypeFader);
  KSModul* instr = Add(Top(), kTypeInstrument);
  KSModul* instrMacro = Add(instr, kTypeMacro);
  KSModul* deep = Add(instrMacro, kTypeFader);
  macro->SetVisibleInEns(true);
  instrMacro->SetVisibleInInstr(true);
  struct Case {
    const char* name;
    KSModul* selected;
    KSModul* asked;
    bool ens, instrPanel;
  };
  const Case cases[] = {
      {"itself", inMacro, inMacro, true, false},
      {"its macro", macro, inMacro, true, false},
      {"nothing", nullptr, inMacro, false, false},
      {"a macro in the instrument", instrMacro, deep, false, true},
      {"not through the instrument", instr, deep, false, false},
      {"the instrument itself", instr, instr, true, false},
  };
  for (const Case& c : cases) {
    Top()->DeselectAll();
    if (c.selected) c.selected->Select();
    EXPECT_EQ(c.asked->IsSelectedInPanel(true), c.ens) << c.name;
    EXPECT_EQ(c.asked->IsSelectedInPanel(false), c.instrPanel) << c.name;
  }
}

// ---------------------------------------------------------------------------
// Instrument and macro files inserted as new modules

namespace {

EPtr<IFileName> NameIn(const std::string& folder, const char* file) {
  EPtr<IFileName> name(CreateFileName());
  name->SetPath(TStr((folder + "/" + file).c_str()));
  return name;
}

} // namespace

TEST_F(Inserting, AMacroFileBecomesAChildThatRemembersItsFile) {
  // A macro with a terminal on each side and a fader between, saved alone.
  KSModul* macro = Add(Top(), kTypeMacro);
  KSModul* in = Add(macro, kTypeAudioPolyInTerminal);
  KSModul* out = Add(macro, kTypeAudioPolyOutTerminal);
  Wire(in, 0, out, 0);
  Add(macro, kTypeFader)->SetLabel(TStr("Depth"));
  EPtr<IFileName> file = NameIn(tmp, "Chorus.mdl");
  KModulFile::SaveModuleFile(*file, *macro, files);
  Top()->DeleteChild(macro);
  Top()->DeselectAll();

  const TPnt box = Top()->GetNextInsertPos();
  const int32_t steps = files.GetUndo().GetStepCount();
  KSModul* child = Top()->InsertModuleFile(*file, 1, true);
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(files.GetUndo().GetStepCount(), steps + 1) << "one undo step";
  EXPECT_EQ(child->GetParent(), Top());
  EXPECT_TRUE(child->IsCategory(kCatMacro));
  EXPECT_EQ(child->GetFileName().GetPath(), file->GetPath());
  ASSERT_EQ(child->GetChildCount(), 3);
  EXPECT_STREQ(child->GetChild(2)->GetLabel().CStr(), "Depth");
  EXPECT_EQ(child->GetInPortCount(), 1);
  EXPECT_EQ(child->GetChild(1)->GetInPort(0)->GetSource(0), child->GetChild(0)->GetOutPort(0)) << "wires linked";
  EXPECT_EQ(child->GetPos(), box) << "placed at the insert point";
  EXPECT_TRUE(child->IsSelected());
  EXPECT_NE(child->GetChild(2)->GetEngineRecord(), nullptr) << "its fader runs";
  EXPECT_EQ(KSModul::GetBracketDepth(), 0);
  // The step undoes the insert.
  files.GetUndo().Undo();
  EXPECT_EQ(Top()->GetChildCount(), 0);
  // Without undo no step is recorded.
  const int32_t before = files.GetUndo().GetStepCount();
  ASSERT_NE(Top()->InsertModuleFile(*file, 1, false), nullptr);
  EXPECT_EQ(files.GetUndo().GetStepCount(), before);
}

TEST_F(Inserting, AnInstrumentFileBringsItsVoices) {
  KSModul* instr = Add(Top(), kTypeInstrument);
  Add(instr, kTypeFader);
  instr->GetOwnInstr()->SetVoices(5, -1, -1);
  EPtr<IFileName> file = NameIn(tmp, "Lead.ins");
  KModulFile::SaveModuleFile(*file, *instr, files);
  KSModul* child = Top()->InsertModuleFile(*file, 1);
  ASSERT_NE(child, nullptr);
  ASSERT_NE(child->GetOwnInstr(), nullptr);
  EXPECT_NE(child->GetOwnInstr(), instr->GetOwnInstr());
  EXPECT_EQ(child->GetOwnInstr()->GetVoices(), 5);
  EXPECT_EQ(child->GetChild(0)->GetInstr(), child->GetOwnInstr());
}

TEST_F(Inserting, AFileThatCannotBeInsertedLeavesTheTreeAsItWas) {
  EPtr<IFileName> missing = NameIn(tmp, "Missing.mdl");
  boxes.QueueAnswer(0);
  EXPECT_EQ(Top()->InsertModuleFile(*missing, 1), nullptr);
  ASSERT_EQ(boxes.Boxes().size(), 1u) << "the reader tells why";
  EXPECT_EQ(Top()->GetChildCount(), 0);
  EXPECT_EQ(Top()->GetNewChild(), nullptr);
  // A full node refuses without a message.
  KSModul* macro = Add(Top(), kTypeMacro);
  EPtr<IFileName> file = NameIn(tmp, "Empty.mdl");
  KModulFile::SaveModuleFile(*file, *macro, files);
  for (int i = 0; i < KSModul::kMaxChildren; ++i) ASSERT_NE(macro->InsertModule(kTypeEventSum3, 1), nullptr);
  EXPECT_EQ(macro->InsertModuleFile(*file, 1), nullptr);
  EXPECT_EQ(macro->GetChildCount(), KSModul::kMaxChildren);
  EXPECT_EQ(boxes.Boxes().size(), 1u);
}

TEST_F(Inserting, TheClockAFileSetsReachesTheApplication) {
  auto* driver = dynamic_cast<TAudioInOut*>(ens.GetAudio());
  ASSERT_NE(driver, nullptr);
  driver->SetControlRate(300);
  driver->SetTempo(96.0f);
  SaveAndReopen();
  EXPECT_EQ(driver->GetControlRate(), 300);
  EXPECT_FLOAT_EQ(driver->GetTempo(), 96.0f);
  EXPECT_EQ(app.controlRates, std::vector<int32_t>{300});
  ASSERT_EQ(app.clockShown.size(), 1u);
  EXPECT_FLOAT_EQ(app.clockShown[0].first, 96.0f);
  EXPECT_FALSE(app.clockShown[0].second);
}
