// The panel window: its caption and controls, keys that step and move the
// selection, Select All and Delete on what the panel shows, the lock, the
// insert commands, the rubber band, and closing.
#include "tests/volteon/panelfixture.h"

#include "src/mod/instr.h"
#include "src/mod/undo.h"
#include "src/volteon/volteon.h"
#include "tests/common/testkit.h"

#include <gtest/gtest.h>

#include <QKeySequence>
#include <QMdiSubWindow>
#include <QShortcut>

#include <filesystem>

namespace {

using paneltest::Session;

class PanelWindow : public ::testing::Test {
protected:
  void SetUp() override {
    synth = s.AddInstrument("Synth");
    ASSERT_NE(synth, nullptr);
    a = s.Add(synth, kTypeFader, TPnt(8, 8));
    b = s.Add(synth, kTypeButton, TPnt(64, 8));
    c = s.Add(synth, kTypeLamp, TPnt(120, 8));
    panel = s.OpenPanel(synth);
    ASSERT_NE(panel, nullptr);
    s.Top()->DeselectAll();
  }
  int Enabled(TPanelWnd* w, int32_t id) {
    int e = -1;
    w->IsEnabled(id, e);
    return e;
  }
  Session s;
  KSModul* synth = nullptr;
  KSModul *a = nullptr, *b = nullptr, *c = nullptr;
  TPanelWnd* panel = nullptr;
};

TEST_F(PanelWindow, ShowsTheStructuresControlsUnderItsCaption) {
  EXPECT_EQ(synth->GetPanelWnd(), static_cast<IModelWnd*>(panel));
  QWidget* frame = panel->GetDWnd()->parentWidget();
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->windowTitle().toStdString(), "Synth - Panel");
  for (KSModul* m : {a, b, c}) EXPECT_NE(s.ViewOf(m), nullptr);
  EXPECT_EQ(panel->GetExtent(), TArea(4, 4, 148, 8 + 144 + 4)) << "the controls' union grown by the grid step";
  EXPECT_EQ(panel->SnapToGrid(TPnt(5, -6)), TPnt(4, -4));
  EXPECT_EQ(panel->SnapToGrid(TPnt(2, -2)), TPnt(4, 0));
  EXPECT_EQ(panel->SnapToGrid(TPnt(-3, 1)), TPnt(-4, 0));
}

TEST_F(PanelWindow, KeysStepTheSelectedControlsAndMoveTheSelection) {
  a->SetControlRange(0.0f, 0, 1.0f, 127, 1.0f / 127.0f);
  a->SetControlStep(20);
  b->SetCtrlStyle(kButtonGate);
  a->Select();
  b->Select();
  panel->KeyDown(kKeyUp);
  EXPECT_EQ(a->GetControlStep(), 21);
  panel->KeyDown(kKeyPageUp);
  EXPECT_EQ(a->GetControlStep(), 31);
  EXPECT_EQ(b->GetControlStep(), 64) << "a button clamps at its upper value";
  panel->KeyDown(kKeyPageDown);
  EXPECT_EQ(a->GetControlStep(), 21);
  EXPECT_EQ(b->GetControlStep(), 0);
  // Left and Right walk the controls, wrapping at both ends.
  s.Top()->DeselectAll();
  c->Select();
  panel->KeyDown(kKeyRight);
  EXPECT_TRUE(a->IsSelected());
  EXPECT_FALSE(c->IsSelected());
  panel->KeyDown(kKeyLeft);
  EXPECT_TRUE(c->IsSelected());
  s.Top()->DeselectAll();
  panel->KeyDown(kKeyRight); // nothing selected: nothing happens
  EXPECT_FALSE(a->IsSelected() || b->IsSelected() || c->IsSelected());
}

TEST_F(PanelWindow, SelectAllAndDeleteTouchOnlyTheControlsShownOnThePanel) {
  // A control hidden from this panel, and a control of another instrument.
  KSModul* hidden = s.Add(synth, kTypeFader, TPnt(200, 8));
  hidden->SetVisibleInInstr(false);
  KSModul* other = s.AddInstrument("Other");
  KSModul* elsewhere = s.Add(other, kTypeFader, TPnt(8, 8));
  s.Top()->DeselectAll();
  panel->Execute(cmd::kSelectAll);
  EXPECT_TRUE(a->IsSelected() && b->IsSelected() && c->IsSelected());
  EXPECT_FALSE(hidden->IsSelected());
  EXPECT_FALSE(elsewhere->IsSelected());
  elsewhere->Select();
  hidden->Select();
  b->Deselect();
  const int32_t children = synth->GetChildCount();
  panel->Execute(cmd::kDelete);
  EXPECT_EQ(synth->GetChildCount(), children - 2) << "a and c went";
  EXPECT_EQ(s.ViewOf(b)->GetModule(), b);
  EXPECT_EQ(other->GetChildCount(), 1) << "another panel's control stays";
  EXPECT_EQ(synth->GetChildIndex(hidden) >= 0, true) << "a hidden control stays";
  EXPECT_GE(s.files->GetUndo().GetStepCount(), 1) << "the deletion can be undone";
}

// Keys without a menu item of their own: Backspace deletes like Del, Enter
// goes to the structure (the application test opens it; Ctrl+B is the main
// menu's).
TEST_F(PanelWindow, BackspaceDeletesAndEnterAreTheWindowsKeys) {
  auto shortcut = [&](const char* keys) -> QShortcut* {
    for (QShortcut* k : panel->GetDWnd()->findChildren<QShortcut*>())
      if (k->key() == QKeySequence(QString::fromLatin1(keys))) return k;
    return nullptr;
  };
  for (const char* keys : {"Backspace", "Return", "Enter"}) ASSERT_NE(shortcut(keys), nullptr) << keys;
  c->Select();
  const int32_t children = synth->GetChildCount();
  emit shortcut("Backspace")->activated();
  EXPECT_EQ(synth->GetChildCount(), children - 1);
}

TEST_F(PanelWindow, DeletingOnTheEnsemblePanelLeavesTheTopModule) {
  TPanelWnd* ens = s.OpenPanel(s.Top());
  ASSERT_NE(ens, nullptr);
  TCtrlView* frame = s.ViewOf(synth, true);
  ASSERT_NE(frame, nullptr);
  EXPECT_TRUE(frame->IsVisible()) << "an instrument's frame is always on the ensemble panel";
  s.Top()->Select();
  synth->Select();
  ens->Execute(cmd::kDelete);
  EXPECT_EQ(s.Top()->GetChildIndex(synth), -1) << "the instrument frame and its controls went";
  EXPECT_NE(s.Top(), nullptr);
  EXPECT_EQ(Enabled(ens, cmd::kGotoParent), 0) << "the ensemble panel has no parent";
  skytest::SaveShot(s.Screen(ens), "panel_ensemble_after_delete.png");
}

TEST_F(PanelWindow, CutAndCopyAreRefusedWithAFrameSelected) {
  testkit::ScriptedHost host;
  KSModul* macro = synth->InsertModule(kTypeMacro, kPlaceNext);
  ASSERT_NE(macro, nullptr);
  macro->SetVisibleInInstr(true);
  s.Add(macro, kTypeFader, TPnt(200, 40));
  s.Top()->DeselectAll();
  a->Select();
  EXPECT_TRUE(panel->CheckNoFrameSelected());
  macro->Select();
  host.QueueAnswer(1);
  EXPECT_FALSE(panel->CheckNoFrameSelected());
  ASSERT_EQ(host.Boxes().size(), 1u);
  EXPECT_EQ(host.Boxes()[0].text, "You cannot use Cut or Copy in the Panel with Macro or Instrument frames.");
}

TEST_F(PanelWindow, TheLockIsToggledWithAnUndoStepAndChecked) {
  int checked = -1;
  panel->IsChecked(cmd::kLock, checked);
  EXPECT_EQ(checked, 0);
  const int32_t steps = s.files->GetUndo().GetStepCount();
  panel->Execute(cmd::kLock);
  EXPECT_TRUE(synth->IsPanelLocked());
  panel->IsChecked(cmd::kLock, checked);
  EXPECT_EQ(checked, 1);
  panel->Execute(cmd::kLock);
  EXPECT_FALSE(synth->IsPanelLocked());
  EXPECT_EQ(s.files->GetUndo().GetStepCount(), steps) << "lock and unlock are not kept as steps";
  // Learn toggles the instrument's switch.
  KInstr* instr = synth->GetOwnInstr() ? synth->GetOwnInstr() : synth->GetInstr();
  ASSERT_NE(instr, nullptr);
  panel->Execute(cmd::kLearn);
  EXPECT_TRUE(instr->GetControllerMode());
  panel->Execute(cmd::kLearn);
  EXPECT_FALSE(instr->GetControllerMode());
}

TEST_F(PanelWindow, InsertCommandsPlaceControlsAtTheClickedSpot) {
  // A press on the empty panel sets where the next control goes.
  skytest::Press(panel->GetDWnd(), QPoint(301, 150));
  skytest::Release(panel->GetDWnd(), QPoint(301, 150));
  const int32_t before = synth->GetChildCount();
  panel->Execute(cmd::kInsertKnob);
  ASSERT_EQ(synth->GetChildCount(), before + 1);
  KSModul* knob = synth->GetChild(synth->GetChildCount() - 1);
  EXPECT_TRUE(knob->IsType(kTypeFader));
  EXPECT_EQ(knob->GetLabel(), TStr("Knob"));
  EXPECT_EQ(knob->GetCtrlStyle(), 2);
  EXPECT_EQ(knob->GetInstrCtrlPos(), TPnt(300, 152));
  auto* v = s.View<TFaderView>(knob);
  ASSERT_NE(v, nullptr);
  EXPECT_TRUE(v->IsKnob());
  EXPECT_EQ(v->GetOrigin(), TPnt(300, 152));
  for (int32_t id : {cmd::kInsertButton, cmd::kInsertAudioSwitchFirst, cmd::kInsertAudioSwitchFirst + 2,
                     cmd::kInsertEventSwitchLast, cmd::kInsertLamp, cmd::kInsertLevelLamp, cmd::kInsertMeter,
                     cmd::kInsertLevelMeter}) {
    const int32_t n = synth->GetChildCount();
    panel->Execute(id);
    EXPECT_EQ(synth->GetChildCount(), n + 1) << id;
  }
  EXPECT_TRUE(synth->GetChild(synth->GetChildCount() - 1)->IsType(kTypeLevelMeter));
  skytest::SaveShot(s.Screen(panel), "panel_inserted.png");
}

TEST_F(PanelWindow, TheRubberBandSelectsTheControlsWhollyInside) {
  DWnd* dw = panel->GetDWnd();
  // From bottom right to top left, around b only.
  skytest::Press(dw, QPoint(114, 60));
  skytest::Move(dw, QPoint(60, 4), Qt::LeftButton);
  EXPECT_TRUE(b->IsSelected());
  EXPECT_FALSE(a->IsSelected());
  EXPECT_FALSE(c->IsSelected()) << "only partly inside";
  skytest::Release(dw, QPoint(60, 4));
  EXPECT_EQ(panel->GetRubberBand(), NoArea);
  // A band of no width selects nothing.
  skytest::Press(dw, QPoint(300, 10));
  skytest::Move(dw, QPoint(300, 200), Qt::LeftButton);
  skytest::Release(dw, QPoint(300, 200));
  EXPECT_FALSE(a->IsSelected() || b->IsSelected() || c->IsSelected());
}

TEST_F(PanelWindow, APressOnTheEmptyPanelDeselectsEverywhereAndHiddenControlsStayOffTheCanvas) {
  KSModul* other = s.AddInstrument("Other");
  KSModul* elsewhere = s.Add(other, kTypeFader, TPnt(8, 8));
  KSModul* bare = s.AddInstrument("Bare");
  TPanelWnd* empty = s.OpenPanel(bare);
  ASSERT_NE(empty, nullptr);
  // On a panel with controls and on one without any.
  for (TPanelWnd* w : {panel, empty}) {
    a->Select();
    elsewhere->Select();
    skytest::Press(w->GetDWnd(), QPoint(300, 200));
    skytest::Release(w->GetDWnd(), QPoint(300, 200));
    EXPECT_FALSE(a->IsSelected() || elsewhere->IsSelected()) << (w == panel ? "with controls" : "without");
  }
  EXPECT_EQ(empty->GetExtent(), EmptyArea);
  // The canvas reaches one grid step beyond the controls shown, never to a
  // hidden one.
  const TArea shown = panel->GetExtent();
  KSModul* hidden = s.Add(synth, kTypeFader, TPnt(400, 300));
  hidden->SetVisibleInInstr(false);
  EXPECT_EQ(panel->GetExtent(), shown);
  const TArea lamp = s.ViewOf(c)->GetBounds();
  EXPECT_EQ(shown.Right(), lamp.Right() + TVolteonWnd::kGridStep);
  EXPECT_EQ(shown.Left(), a->GetInstrCtrlPos().X() - TVolteonWnd::kGridStep);
}

TEST_F(PanelWindow, SaveWindowAsWritesTheInstrumentToTheChosenFile) {
  testkit::ScriptedHost host;
  const std::string path = testkit::TempDir("panel-save") + "/Synth.ism";
  host.QueueFileChoice(path);
  panel->Execute(cmd::kSaveWindowAs);
  ASSERT_TRUE(std::filesystem::exists(path));
  EPtr<IFileName> name(CreateFileName());
  name->SetPath(TStr(path.c_str()));
  KSModul* copy = s.Top()->InsertModuleFile(*name, kPlaceNext);
  ASSERT_NE(copy, nullptr) << "the file reads back as an instrument";
  EXPECT_EQ(copy->GetChildCount(), synth->GetChildCount());
  std::filesystem::remove(path);
  host.QueueFileCancel();
  panel->Execute(cmd::kSaveWindowAs);
  EXPECT_FALSE(std::filesystem::exists(path)) << "a cancelled dialog writes nothing";
}

TEST_F(PanelWindow, ClosingKeepsThePlacementAndForgetsTheViews) {
  const int32_t steps = s.files->GetUndo().GetStepCount();
  QWidget* frame = panel->GetDWnd()->parentWidget();
  frame->close();
  s.Settle();
  EXPECT_EQ(synth->GetPanelWnd(), nullptr);
  EXPECT_EQ(a->GetInstrCtrlView(), nullptr);
  EXPECT_EQ(b->GetInstrCtrlView(), nullptr);
  EXPECT_EQ(s.windows->GetOpenCount(), 0);
  EXPECT_EQ(s.files->GetUndo().GetStepCount(), steps) << "closing a panel is not kept as a step";
  // Opened again, the controls come back; a module deleted with the panel
  // open takes its view along.
  panel = s.OpenPanel(synth);
  ASSERT_NE(panel, nullptr);
  EXPECT_NE(s.ViewOf(a), nullptr);
  synth->DeleteChild(a);
  EXPECT_EQ(s.windows->GetOpenCount(), 1);
  synth->CloseAllPanels();
  EXPECT_EQ(s.windows->GetOpenCount(), 0);
  EXPECT_EQ(b->GetInstrCtrlView(), nullptr);
}

// Cut, Copy and Paste exchange controls through the clipboard file; a
// frame's Paste puts them into its macro, its Save As writes the macro.
TEST_F(PanelWindow, CutCopyAndPasteGoThroughTheClipboardFile) {
  testkit::ScriptedHost host;
  const std::string folder = testkit::TempDir("panel-clip");
  dirs::Clipboard()->SetFolder(TStr(folder.c_str()));
  dirs::Clipboard()->SetName(TStr("paste"));
  dirs::Clipboard()->SetType(3); // the macro file type
  dirs::Clipboard()->Remove();
  EXPECT_EQ(Enabled(panel, cmd::kPaste), 0) << "no clipboard file yet";

  a->Select();
  b->Select();
  panel->Execute(cmd::kCopy);
  ASSERT_TRUE(dirs::Clipboard()->Exists());
  EXPECT_EQ(Enabled(panel, cmd::kPaste), 1);
  const int32_t before = synth->GetChildCount();
  panel->Execute(cmd::kPaste);
  ASSERT_EQ(synth->GetChildCount(), before + 2);
  EXPECT_TRUE(synth->GetChild(before)->IsType(kTypeFader));
  EXPECT_TRUE(synth->GetChild(before + 1)->IsType(kTypeButton));
  EXPECT_TRUE(synth->GetChild(before)->IsSelected()) << "what was pasted is selected";
  EXPECT_FALSE(a->IsSelected());
  EXPECT_NE(s.ViewOf(synth->GetChild(before)), nullptr) << "the pasted controls show on the panel";
  const int32_t steps = s.files->GetUndo().GetStepCount();
  EXPECT_EQ(std::string(s.files->GetUndo().GetUndoText().CStr()), "&Undo Paste Module(s)\tCtrl+Z");

  s.Top()->DeselectAll();
  c->Select();
  panel->Execute(cmd::kCut);
  EXPECT_EQ(synth->GetChildIndex(c), -1);
  EXPECT_EQ(std::string(s.files->GetUndo().GetUndoText().CStr()), "&Undo Cut Control(s)\tCtrl+Z");
  EXPECT_EQ(s.files->GetUndo().GetStepCount(), steps + 1) << "one step each";
  s.files->GetUndo().Undo();
  ASSERT_NE(s.Top()->GetChild(0), nullptr);

  // A frame: Paste into its macro, Save As writes the macro.
  KSModul* instr = s.Top()->GetChild(s.Top()->GetChildCount() - 1);
  KSModul* macro = instr->InsertModule(kTypeMacro, kPlaceNext);
  ASSERT_NE(macro, nullptr);
  macro->SetVisibleInInstr(true);
  TPanelWnd* p = s.OpenPanel(instr);
  ASSERT_NE(p, nullptr);
  TCtrlView* frame = s.ViewOf(macro);
  ASSERT_NE(frame, nullptr);
  int result = 0;
  ASSERT_EQ(frame->Command(cmd::kFramePaste, command_mode::kEnabled, result), 1);
  EXPECT_EQ(result, 1);
  frame->Command(cmd::kFramePaste, command_mode::kRun, result);
  EXPECT_EQ(macro->GetChildCount(), 1) << "the lamp that was cut";
  const std::string path = folder + "/frame.mdl";
  host.QueueFileChoice(path);
  frame->Command(cmd::kFrameSaveAs, command_mode::kRun, result);
  EXPECT_TRUE(std::filesystem::exists(path));
}

} // namespace
