// The structure editor: the window and view bases, the structure window and
// its commands, module boxes, port handles, wiring and wires.
#include "pc/sky/app.h"
#include "pc/sky/mdi.h"
#include "src/base/settings.h"
#include "src/engine/audioio.h"
#include "src/engine/module_types.h"
#include "src/engine/offline.h"
#include "src/mod/ensfile.h"
#include "src/mod/instr.h"
#include "src/mod/mod.h"
#include "src/mod/modfile.h"
#include "src/mod/modul_def.h"
#include "src/mod/undo.h"
#include "src/volteon/inserts.h"
#include "src/volteon/modelwnd.h"
#include "src/volteon/modview.h"
#include "src/volteon/pictures.h"
#include "src/volteon/portprp.h"
#include "src/volteon/portview.h"
#include "pc/sky/qthost.h"
#include "src/volteon/strucwnd.h"
#include "src/volteon/volteon.h"
#include "src/volteon/wireview.h"
#include "tests/common/testkit.h"
#include "tests/volteon/appfixture.h"
#include "tests/sky/skyfixture.h"

#include <gtest/gtest.h>

#include <QKeySequence>
#include <QShortcut>

#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QAbstractButton>
#include <QDialog>
#include <QLineEdit>
#include <functional>
#include <QAction>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>

namespace {

namespace fs = std::filesystem;

const char* kFolderSettings[] = {setting::InstrDir,     setting::MacroDir,     setting::EnsWorkDir,
                                 setting::InstrWorkDir, setting::MacroWorkDir, setting::AudioWorkDir,
                                 setting::TmpDir,       setting::EditorPath,   setting::LastEnsPath};

class StructTest : public ::testing::Test {
protected:
  void SetUp() override {
    OpenSettings("StructTest");
    for (const char* name : kFolderSettings) DeleteSetting(TStr(name));
    DeleteSetting(TStr("StructBG"));
    install = testkit::TempDir("install");
    OverrideProgramPath(TStr((install + "/bin/Quorvex").c_str()));
    fs::create_directories(install + "/bin");
    fs::copy_file(QV_BUILD_TREE "/bin/new.ens", install + "/bin/new.ens");
    fs::create_directories(install + "/Library/Macros");
    fs::create_directories(install + "/Library/Instruments");
    tmp = testkit::TempDir("tmp");
    WriteSettingStr(TStr(setting::TmpDir), TStr(tmp.c_str()));
    WriteSettingInt(TStr(setting::UndoEnabled), 1);
    WriteSettingInt(TStr(setting::UndoMax), 20);
    RegisterMainMenu();
    InstallPictures();
  }
  void TearDown() override { dapp.reset(); }
  void Start() { dapp = apptest::StartOffline(app); }
  static void Settle() { apptest::Settle(); }
  KSModul* Top() { return app->GetEnsemble()->GetTopModule(); }
  TStructWnd* Wnd() { return AsStructWnd(Top()->GetStructWnd()); }
  DWnd* Canvas() { return Wnd()->GetDWnd(); }
  // The Audio Out's n-th audio in-port (its first ones take events).
  KInPort* AudioIn(int n = 0) {
    KSModul* out = Find(kTypeAudioOut);
    for (int32_t i = 0; i < out->GetInPortCount(); ++i)
      if (IsAudioKind(out->GetInPort(i)->GetKind()) && n-- == 0) return out->GetInPort(i);
    return nullptr;
  }
  KSModul* Find(TModuleType type, KSModul* in = nullptr) {
    KSModul* s = in ? in : Top();
    for (int i = 0; i < s->GetChildCount(); ++i)
      if (s->GetChild(i)->IsType(type)) return s->GetChild(i);
    return nullptr;
  }
  int Count(TModuleType type) {
    int n = 0;
    for (int i = 0; i < Top()->GetChildCount(); ++i) n += Top()->GetChild(i)->IsType(type) ? 1 : 0;
    return n;
  }
  int Run(TStructWnd* w, int32_t id, int mode = command_mode::kRun) {
    int result = 0;
    TUpdateBracket bracket;
    w->Command(id, mode, result);
    return result;
  }
  KSModul* Insert(int32_t id) {
    Run(Wnd(), id);
    return Top()->GetChild(Top()->GetChildCount() - 1);
  }
  KUndo& Undo() { return app->GetEnsemble()->GetFiles()->GetUndo(); }
  std::string UndoText() { return Undo().GetUndoText().CStr(); }
  // The middle of a port's handle, in the canvas's client coordinates.
  static QPoint HandleCentre(IModelView* handle) { return apptest::HandleCentre(handle); }
  void Drag(QPoint from, QPoint to) { apptest::Drag(Canvas(), from, to); }
  void Click(QPoint at) {
    skytest::Press(Canvas(), at);
    skytest::Release(Canvas(), at);
    Settle();
  }

  testkit::ScriptedHost gui;
  std::string install, tmp;
  std::unique_ptr<DApp> dapp;
  TVolteon* app = nullptr;
};

// ---------------------------------------------------------------------------
// Grid, extent and rubber band

TEST_F(StructTest, TheGridSnapsToTheNearestFourAndTheExtentGrowsByAStep) {
  Start();
  TStructWnd* w = Wnd();
  ASSERT_NE(w, nullptr) << "New opens the top structure window";
  const std::pair<TPnt, TPnt> cases[] = {
      {{1, 2}, {0, 4}}, {{6, -1}, {8, 0}}, {{-2, -3}, {0, -4}}, {{5, -6}, {4, -4}}, {{13, 7}, {12, 8}}};
  for (const auto& [in, out] : cases) EXPECT_EQ(w->SnapToGrid(in), out) << in.X() << "," << in.Y();
  // One view at (10, 10)-(50, 30): the extent is (6, 6)-(54, 34).
  TVolteonWnd bare;
  EXPECT_EQ(bare.GetExtent(), EmptyArea);
  TVolteonView view(&bare, 0, nullptr);
  view.SetArea(TArea(10, 10, 50, 30));
  EXPECT_EQ(bare.GetExtent(), TArea(6, 6, 54, 34));
}

TEST_F(StructTest, TheTopWindowShowsTheBoxesAndReopensAfterUndo) {
  Start();
  ASSERT_NE(Wnd(), nullptr);
  EXPECT_EQ(std::string(Wnd()->GetStructure()->GetLabel().CStr()), std::string(Top()->GetLabel().CStr()));
  KSModul* out = Find(kTypeAudioOut);
  ASSERT_NE(out, nullptr);
  EXPECT_NE(out->GetBoxView(), nullptr);
  KSModul* saw = Insert(cmd::kInsertSawtooth);
  EXPECT_TRUE(saw->IsType(kTypeSawtooth));
  EXPECT_EQ(saw->GetPos(), TPnt(8, 8));
  EXPECT_EQ(UndoText(), "&Undo Insert Module\tCtrl+Z");
  int result = 0;
  app->Command(cmd::kUndo, command_mode::kRun, result);
  Settle();
  ASSERT_NE(Wnd(), nullptr) << "the window stored open in the step reopens";
  EXPECT_EQ(Count(kTypeSawtooth), 0);
  EXPECT_NE(Find(kTypeAudioOut)->GetBoxView(), nullptr);
}

TEST_F(StructTest, ARubberBandSelectsWhatLiesWhollyInsideEitherWay) {
  Start();
  KSModul* a = Insert(cmd::kInsertSawtooth); // (8, 8), 88 x 56
  KSModul* b = Insert(cmd::kInsertSawtooth); // (24, 24)
  TStructWnd::DeselectEverything(Top());
  // From bottom-right to top-left around a only.
  {
    TUpdateBracket bracket;
    Wnd()->MouseDown(97, 65);
    Wnd()->MouseMove(8, 8);
    Wnd()->MouseUp(8, 8);
  }
  EXPECT_TRUE(a->IsSelected());
  EXPECT_FALSE(b->IsSelected()) << "only partly inside";
  EXPECT_EQ(Wnd()->GetRubberBand(), NoArea);
  // A band of zero width selects nothing.
  {
    TUpdateBracket bracket;
    Wnd()->MouseDown(300, 10);
    Wnd()->MouseMove(300, 200);
    Wnd()->MouseUp(300, 200);
  }
  EXPECT_FALSE(a->IsSelected());
  EXPECT_EQ(Top()->GetNextInsertPos(), TPnt(300, 12)) << "the press set the insert place";
}

TEST_F(StructTest, ClickCtrlClickAndADragMoveTheSelectionOnTheGrid) {
  Start();
  KSModul* a = Insert(cmd::kInsertSawtooth);
  KSModul* b = Insert(cmd::kInsertSawtooth);
  KSModul* c = Insert(cmd::kInsertSawtooth);
  const TPnt pa = a->GetPos(), pb = b->GetPos(), pc = c->GetPos();
  for (KSModul* m : {a, b, c}) m->Select();
  // A drag of c moves all three by the same offset, each on the grid.
  // The press lands on c between its handles.
  Drag(QPoint(pc.X() + 28, pc.Y() + 14), QPoint(pc.X() + 28 + 21, pc.Y() + 14 + 10));
  EXPECT_EQ(a->GetPos(), TPnt(pa.X() + 20, pa.Y() + 12));
  EXPECT_EQ(b->GetPos(), TPnt(pb.X() + 20, pb.Y() + 12));
  EXPECT_EQ(c->GetPos(), TPnt(pc.X() + 20, pc.Y() + 12));
  EXPECT_TRUE(a->IsSelected() && b->IsSelected() && c->IsSelected()) << "a real drag deselects nothing";
  EXPECT_NE(UndoText(), "&Undo Move Module(s)\tCtrl+Z") << "moves are not kept as steps";
  // A click on c without moving leaves only c.
  Click(QPoint(c->GetPos().X() + 44, c->GetPos().Y() + 30));
  EXPECT_FALSE(a->IsSelected());
  EXPECT_FALSE(b->IsSelected());
  EXPECT_TRUE(c->IsSelected());
}

// ---------------------------------------------------------------------------
// Boxes

TEST_F(StructTest, BoxLayoutTable) {
  struct Case {
    TModuleType type;
    int in, out;
    TBoxLayout expect;
  };
  const Case cases[] = {
      {kTypeSawtooth, 2, 2, {88, 56, {16, 39, 83, 52}, {2, 39, 15, 52}}},
      {kTypeSawtooth, 3, 1, {88, 72, {16, 55, 83, 68}, {2, 55, 15, 68}}},
      {kTypeSawtooth, 1, 5, {88, 104, {16, 87, 83, 100}, {2, 87, 15, 100}}},
      {kTypeAudioSum4, 4, 1, {32, 80, {9, 25, 22, 38}, {9, 63, 22, 76}}},
      {kTypeAudioSum8, 8, 1, {32, 144, {9, 57, 22, 70}, {9, 124, 22, 137}}},
      {kTypeChangesOnly, 1, 1, {40, 40, {9, 5, 30, 18}, {13, 23, 26, 36}}},
      {kTypeAudioOut, 2, 0, {72, 56, {16, 39, 67, 52}, {2, 39, 15, 52}}},
      {kTypeComment, 0, 0, {64, 16, {6, 1, 56, 14}, EmptyArea}},
      {kTypeMidiNoteOut, 2, 0, {88, 40, {19, 14, 59, 27}, {71, 14, 84, 27}}},
      {kTypeFader, 0, 1, {72, 16, {12, 1, 62, 14}, EmptyArea}},
      {kTypeSpread, 1, 1, {88, 16, {28, 1, 78, 14}, {11, 1, 24, 14}}},
      {kTypeGate, 0, 1, {88, 16, {28, 1, 78, 14}, {3, 1, 16, 14}}},
      {kTypeAudioPolyInTerminal, 0, 1, {32, 24, {3, 5, 23, 18}, EmptyArea}},
      {kTypeAudioPolyOutTerminal, 1, 0, {32, 24, {8, 5, 28, 18}, EmptyArea}},
      {kTypeAudioSwitch3, 3, 1, {72, 72, {9, 55, 62, 68}, EmptyArea}},
      {kTypeMacro, 0, 0, {88, 56, {16, 39, 83, 52}, {2, 39, 15, 52}}},
  };
  for (const Case& c : cases) {
    const TBoxLayout l = BoxLayout(c.type.category, c.type.type, c.in, c.out);
    SCOPED_TRACE(testing::Message() << c.type.category << "/" << c.type.type << " " << c.in << "x" << c.out);
    EXPECT_EQ(l.width, c.expect.width);
    EXPECT_EQ(l.height, c.expect.height);
    EXPECT_EQ(l.label, c.expect.label);
    EXPECT_EQ(l.indicator, c.expect.indicator);
    EXPECT_EQ(l.height - l.label.Bottom() == 4, c.expect.height - c.expect.label.Bottom() == 4);
  }
  EXPECT_EQ(BoxMenuId(kTypeComment.category, kTypeComment.type), menuid::kControl);
  EXPECT_EQ(BoxMenuId(kTypeAudioOut.category, kTypeAudioOut.type), menuid::kInOut);
  EXPECT_EQ(BoxMenuId(kTypeTapedeck2.category, kTypeTapedeck2.type), menuid::kTapedeck);
  EXPECT_EQ(BoxMenuId(kTypeSampler.category, kTypeSampler.type), menuid::kSampler);
  EXPECT_EQ(BoxMenuId(kTypeSequencer16.category, kTypeSequencer16.type), menuid::kMonoModule);
  EXPECT_EQ(BoxMenuId(kTypeFader.category, kTypeFader.type), menuid::kControl);
  EXPECT_EQ(BoxMenuId(kTypeMacro.category, kTypeMacro.type), menuid::kMacros);
  EXPECT_EQ(BoxMenuId(kTypeInstrument.category, kTypeInstrument.type), menuid::kInstrument);
  EXPECT_EQ(BoxMenuId(kTypeSawtooth.category, kTypeSawtooth.type), menuid::kProcessing);
}

TEST_F(StructTest, HandlesSitOnTheEdgesCentredAndTheirConnectionPoints) {
  // An oscillator with 2 inputs and 1 output: the output is centred.
  EXPECT_EQ(PortHandleArea(0, kTypeSawtooth.type, true, 1, 2, 1, 88, true), TArea(0, 20, 26, 36));
  EXPECT_EQ(PortHandleArea(0, kTypeSawtooth.type, false, 0, 2, 1, 88, true), TArea(62, 12, 88, 28));
  // The narrow adders stack their inputs and put the output beside the middle.
  EXPECT_EQ(PortHandleArea(0, kTypeAudioSum4.type, true, 3, 4, 1, 32, false), TArea(0, 48, 10, 64));
  EXPECT_EQ(PortHandleArea(0, kTypeAudioSum4.type, false, 0, 4, 1, 32, false), TArea(22, 24, 32, 40));
  EXPECT_EQ(PortHandleArea(1, kTypeFader.type, false, 0, 0, 1, 72, false), TArea(62, 0, 72, 16));
  Start();
  KSModul* saw = Insert(cmd::kInsertSawtooth);
  auto* in = AsPortView(saw->GetInPort(0)->GetView());
  auto* out = AsPortView(saw->GetOutPort(0)->GetView());
  ASSERT_TRUE(in && out);
  EXPECT_EQ(in->GetConnectionPoint(), TPnt(-1, 8));
  EXPECT_EQ(out->GetConnectionPoint(), saw->GetOutPort(0)->GetLabel().IsEmpty() ? TPnt(9, 8) : TPnt(25, 8));
}

TEST_F(StructTest, KnobAndFaderAreOneTypeAndTerminalsWaitForAMacro) {
  Start();
  KSModul* fader = Insert(cmd::kInsertFader);
  KSModul* knob = Insert(cmd::kInsertKnob);
  EXPECT_TRUE(fader->IsType(kTypeFader));
  EXPECT_TRUE(knob->IsType(kTypeFader));
  EXPECT_EQ(std::string(knob->GetLabel().CStr()), "Knob");
  EXPECT_EQ(knob->GetCtrlStyle(), 2);
  // Inserts cascade by 16; where the next place is taken, the new box goes
  // to the next free spot of its row.
  EXPECT_EQ(knob->GetPos().Y(), 24) << "inserts cascade by 16";
  ASSERT_TRUE(fader->GetBoxView() && knob->GetBoxView());
  EXPECT_FALSE(dynamic_cast<TTView*>(fader->GetBoxView())->GetBounds().Intersects(
      dynamic_cast<TTView*>(knob->GetBoxView())->GetBounds()))
      << "the knob's box lies beside the fader's";
  for (int32_t id = cmd::kInsertTerminalFirst; id <= cmd::kInsertTerminalLast; ++id)
    EXPECT_EQ(Run(Wnd(), id, command_mode::kEnabled), 0) << "greyed in the top structure: " << id;
  EXPECT_EQ(Run(Wnd(), cmd::kGotoParent, command_mode::kEnabled), 0);
}

// Every insert id reaches the model with its catalogue type.
TEST_F(StructTest, EveryInsertIdInsertsItsCatalogueType) {
  Start();
  ASSERT_EQ(int(InsertCommands().size()), kInsertCommandCount) << "kInsertCommandCount (inserts.h) counts the rows";
  std::set<int32_t> ids;
  for (const TInsertCommand& c : InsertCommands()) ids.insert(c.id);
  EXPECT_EQ(int(ids.size()), kInsertCommandCount);
  EXPECT_TRUE(FindInsertCommand(1863)->type == kTypeEventSum4) << "the ids do not follow the catalogue";
  EXPECT_TRUE(FindInsertCommand(1862)->type == kTypeEventSum3);
  EXPECT_EQ(FindInsertCommand(1603), nullptr);
  // A macro's window for the terminals.
  KSModul* macro = Top()->InsertModule(kTypeMacro, kPlaceNext, false);
  ASSERT_NE(macro, nullptr);
  macro->OpenStructure();
  TStructWnd* inner = AsStructWnd(macro->GetStructWnd());
  ASSERT_NE(inner, nullptr);
  int checked = 0;
  for (const TInsertCommand& c : InsertCommands()) {
    const bool terminal = c.id >= cmd::kInsertTerminalFirst && c.id <= cmd::kInsertTerminalLast;
    TStructWnd* w = terminal ? inner : Wnd();
    KSModul* s = w->GetStructure();
    const int before = s->GetChildCount();
    EXPECT_EQ(Run(w, c.id, command_mode::kEnabled), 1) << c.id;
    Run(w, c.id);
    ASSERT_EQ(s->GetChildCount(), before + 1) << c.id << " " << c.text;
    KSModul* m = s->GetChild(before);
    EXPECT_TRUE(m->IsType(c.type)) << c.id << " " << c.text << " gave " << m->GetCategory() << "/"
                                   << m->GetTypeIndex();
    EXPECT_NE(m->GetBoxView(), nullptr) << c.id;
    {
      TUpdateBracket bracket;
      s->DeleteChild(m);
    }
    ++checked;
  }
  EXPECT_EQ(checked, kInsertCommandCount);
  // The menus carry the same ids: the main menu's Insert and the context menu.
  QWidget* bar = dapp->MainFrame()->menuBar();
  for (const TInsertCommand& c : InsertCommands()) EXPECT_NE(skytest::ActionOf(bar, c.id), nullptr) << c.id;
  EXPECT_NE(skytest::ActionOf(bar, cmd::kInsertMacroFile), nullptr);
}

// ---------------------------------------------------------------------------
// Wiring

TEST_F(StructTest, DraggingWiresAndASecondDragUnwires) {
  Start();
  KSModul* saw = Insert(cmd::kInsertSawtooth);
  KInPort* target = AudioIn(0);
  const QPoint from = HandleCentre(saw->GetOutPort(0)->GetView());
  const QPoint to = HandleCentre(target->GetView());
  Drag(from, to);
  ASSERT_EQ(target->GetWireCount(), 1);
  EXPECT_EQ(target->GetSource(0), saw->GetOutPort(0));
  EXPECT_EQ(UndoText(), "&Undo Create Wire\tCtrl+Z");
  ASSERT_NE(AsWireView(target->GetWireView(0)), nullptr) << "the wire has its view";
  EXPECT_EQ(Canvas()->CapturedView(), nullptr);
  // The same drag again, this time from the in-port, removes it.
  Drag(to, from);
  EXPECT_EQ(target->GetWireCount(), 0);
  EXPECT_EQ(UndoText(), "&Undo Delete Wire\tCtrl+Z");
  // In to in changes nothing and records nothing.
  const int steps = Undo().GetStepCount();
  Drag(HandleCentre(saw->GetInPort(0)->GetView()), to);
  EXPECT_EQ(target->GetWireCount(), 0);
  EXPECT_EQ(saw->GetInPort(0)->GetWireCount(), 0);
  EXPECT_EQ(Undo().GetStepCount(), steps);
}

TEST_F(StructTest, ARefusedTargetNeitherSnapsNorRecords) {
  Start();
  KSModul* saw = Insert(cmd::kInsertSawtooth);
  // The saw's own in-port refuses its out-port.
  auto* outHandle = AsPortView(saw->GetOutPort(0)->GetView());
  const QPoint from = HandleCentre(saw->GetOutPort(0)->GetView());
  const QPoint own = HandleCentre(saw->GetInPort(0)->GetView());
  const int steps = Undo().GetStepCount();
  skytest::Press(Canvas(), from);
  skytest::Move(Canvas(), own, Qt::LeftButton);
  EXPECT_EQ(outHandle->GetLineEnd(), TPnt(own.x(), own.y())) << "no snap to a refusing handle";
  skytest::Release(Canvas(), own);
  Settle();
  EXPECT_EQ(saw->GetInPort(0)->GetWireCount(), 0);
  EXPECT_EQ(Undo().GetStepCount(), steps);
}

TEST_F(StructTest, ClickClickWiresThroughTheKeptMouse) {
  Start();
  KSModul* saw = Insert(cmd::kInsertSawtooth);
  KInPort* target = AudioIn(1);
  const QPoint from = HandleCentre(saw->GetOutPort(0)->GetView());
  const QPoint to = HandleCentre(target->GetView());
  Click(from);
  auto* handle = AsPortView(saw->GetOutPort(0)->GetView());
  EXPECT_TRUE(handle->IsWiring()) << "the line stays after the first click";
  EXPECT_EQ(Canvas()->CapturedView(), handle);
  skytest::Move(Canvas(), to);
  const TPnt snapped = AsPortView(target->GetView())->GetWindowConnectionPoint();
  EXPECT_EQ(handle->GetLineEnd(), snapped) << "the end snaps to an accepting handle";
  Click(to);
  EXPECT_FALSE(handle->IsWiring());
  EXPECT_EQ(target->GetWireCount(), 1);
  EXPECT_EQ(Canvas()->CapturedView(), nullptr);
}

TEST_F(StructTest, CreateControlPlacesAWiredFaderAndMarksTheEnsemble) {
  Start();
  KSModul* saw = Insert(cmd::kInsertSawtooth);
  {
    TUpdateBracket b;
    dynamic_cast<TModView*>(saw->GetBoxView())->DragTo(TPnt(200, 100));
  }
  app->GetEnsemble()->MarkClean();
  // The first in-port of the saw whose entry asks for a fader.
  int32_t port = -1;
  for (int32_t i = 0; i < saw->GetInPortCount() && port < 0; ++i)
    if (const KPortDef* d = saw->GetInPort(i)->GetDefinition(); d && (d->valueClass == 1 || d->valueClass == 2))
      port = i;
  ASSERT_GE(port, 0);
  auto* handle = dynamic_cast<TInPortView*>(AsPortView(saw->GetInPort(port)->GetView()));
  const int before = Top()->GetChildCount();
  {
    TUpdateBracket b;
    handle->Execute(cmd::kCreateControl);
  }
  ASSERT_EQ(Top()->GetChildCount(), before + 1);
  KSModul* fader = Top()->GetChild(before);
  EXPECT_TRUE(fader->IsType(kTypeFader));
  EXPECT_EQ(fader->GetPos(), TPnt(200 - 96, 100 + handle->GetArea().Top()));
  EXPECT_EQ(fader->GetMidiLower(), 0);
  EXPECT_EQ(fader->GetMidiUpper(), 127);
  EXPECT_EQ(std::string(fader->GetLabel().CStr()), std::string(saw->GetInPort(port)->GetDefinition()->longName));
  ASSERT_EQ(saw->GetInPort(port)->GetWireCount(), 1);
  EXPECT_EQ(saw->GetInPort(port)->GetSource(0), fader->GetOutPort(0));
  EXPECT_TRUE(fader->IsSelected());
  EXPECT_FALSE(saw->IsSelected());
  EXPECT_FALSE(app->GetEnsemble()->IsClean()) << "Save must see the change";
  EXPECT_EQ(UndoText(), "&Undo Insert Control\tCtrl+Z");
}

// ---------------------------------------------------------------------------
// Wires

TEST_F(StructTest, WireGeometryAndHitBand) {
  int32_t o = -1;
  EXPECT_EQ(TWireView::Geometry(TPnt(10, 50), TPnt(110, 20), &o), TArea(10, 14, 111, 57));
  EXPECT_EQ(o, 1);
  EXPECT_EQ(TWireView::Geometry(TPnt(10, 20), TPnt(110, 20), &o).Height(), 13);
  Start();
  KSModul* saw = Insert(cmd::kInsertSawtooth);
  KInPort* target = AudioIn(0);
  {
    TUpdateBracket b;
    target->Connect(saw->GetOutPort(0));
  }
  ASSERT_EQ(target->GetWireCount(), 1);
  ASSERT_NE(target->GetView(), nullptr);
  ASSERT_NE(saw->GetOutPort(0)->GetView(), nullptr);
  ASSERT_NE(target->GetWireView(0), nullptr);
  TWireView* wire = AsWireView(target->GetWireView(0));
  ASSERT_NE(wire, nullptr);
  EXPECT_EQ(wire->GetParent(), Wnd());
  EXPECT_EQ(Wnd()->LastChild(), wire) << "beneath the boxes";
  const int32_t w = wire->GetArea().Width(), h = wire->GetArea().Height();
  // Along the drawn line at x, 6 above still hits, 7 above does not.
  const int32_t x = w / 2;
  const float s = float(h - 12) / float(w);
  const int32_t y0 = wire->GetOrientation() == 0 ? int32_t(float(x) * s + 6.0f) : int32_t(float(h - 6) - float(x) * s);
  EXPECT_TRUE(wire->Contains(x, y0 - 6));
  EXPECT_FALSE(wire->Contains(x, y0 - 7));
  EXPECT_TRUE(wire->Contains(x, y0 + 6));
  EXPECT_FALSE(wire->Contains(x, y0 + 7));
}

TEST_F(StructTest, WireHintsShowTheValueOrInactive) {
  Start();
  KSModul* saw = Insert(cmd::kInsertSawtooth);
  {
    TUpdateBracket b;
    AudioIn(0)->Connect(saw->GetOutPort(0));
  }
  TWireView* wire = AsWireView(AudioIn(0)->GetWireView(0));
  ASSERT_NE(wire, nullptr);
  TStr text;
  ASSERT_TRUE(wire->HintText(text, true));
  const std::string first = text.CStr();
  EXPECT_NE(first, "Inactive") << "the saw runs";
  EXPECT_EQ(first.size() % 1, 0u);
  EXPECT_GE(first.size(), 8u) << "values are padded to 8";
  // A muted source is inactive.
  {
    TUpdateBracket b;
    saw->Mute();
  }
  ASSERT_TRUE(wire->HintText(text, true));
  EXPECT_EQ(std::string(text.CStr()), "Inactive");
  EXPECT_FALSE(wire->HintText(text, false)) << "a later question leaves the hint as it is";
}

TEST_F(StructTest, AudioHintsFollowTheRangeEventHintsOnlyTheValue) {
  Start();
  KSModul* saw = Insert(cmd::kInsertSawtooth);
  KSModul* fader = Insert(cmd::kInsertFader);
  KInPort* audioIn = AudioIn(0);
  // The saw's first event in-port takes the fader.
  KInPort* eventIn = nullptr;
  for (int32_t i = 0; i < saw->GetInPortCount() && !eventIn; ++i)
    if (IsEventKind(saw->GetInPort(i)->GetKind())) eventIn = saw->GetInPort(i);
  ASSERT_NE(eventIn, nullptr);
  {
    TUpdateBracket b;
    audioIn->Connect(saw->GetOutPort(0));
    eventIn->Connect(fader->GetOutPort(0));
  }
  // One voice: no note prefix.
  KOutPort* sawOut = saw->GetOutPort(0);
  TWireView* audio = AsWireView(audioIn->GetWireView(0));
  TWireView* event = AsWireView(eventIn->GetWireView(0));
  ASSERT_TRUE(audio && event);
  TStr text;
  *sawOut->ValueFor(0) = 0.25f;
  ASSERT_TRUE(audio->HintText(text, true));
  EXPECT_EQ(std::string(text.CStr()), "    0.25");
  *sawOut->ValueFor(0) = -0.5f;
  ASSERT_TRUE(audio->HintText(text, false));
  EXPECT_EQ(std::string(text.CStr()), "    -0.5 ...    0.25");
  ASSERT_TRUE(audio->HintText(text, true));
  EXPECT_EQ(std::string(text.CStr()), "    -0.5") << "a new hint starts a new range";
  KOutPort* faderOut = fader->GetOutPort(0);
  *faderOut->ValueFor(0) = 1.0f;
  ASSERT_TRUE(event->HintText(text, true));
  *faderOut->ValueFor(0) = 2.0f;
  ASSERT_TRUE(event->HintText(text, false));
  EXPECT_EQ(std::string(text.CStr()), "       2") << "an event wire shows the current value only";
}

TEST_F(StructTest, DeletingTwoSelectedWiresOfOneInPortAndDeselectingEverything) {
  Start();
  KSModul* a = Insert(cmd::kInsertFader);
  KSModul* b = Insert(cmd::kInsertFader);
  KSModul* add = Top()->InsertModule(kTypeEventSum2, kPlaceNext, false);
  KInPort* in = add->GetInPort(0);
  ASSERT_TRUE(IsEventKind(in->GetKind()));
  {
    TUpdateBracket br;
    in->Connect(a->GetOutPort(0));
    in->Connect(b->GetOutPort(0));
  }
  ASSERT_EQ(in->GetWireCount(), 2);
  TStructWnd::DeselectEverything(Top());
  AsWireView(in->GetWireView(0))->Select(1, 0);
  AsWireView(in->GetWireView(1))->Select(1, 0);
  // Deselecting everything takes the wires along.
  TStructWnd::DeselectEverything(Top());
  EXPECT_FALSE(AsWireView(in->GetWireView(0))->IsSelected());
  Run(Wnd(), cmd::kDelete);
  EXPECT_EQ(in->GetWireCount(), 2) << "nothing was selected";
  AsWireView(in->GetWireView(0))->Select(1, 0);
  AsWireView(in->GetWireView(1))->Select(1, 0);
  Run(Wnd(), cmd::kDelete);
  EXPECT_EQ(in->GetWireCount(), 0);
  EXPECT_EQ(Top()->GetChildCount(), 5) << "the modules stay";
  EXPECT_EQ(UndoText(), "&Undo Delete Module(s)\tCtrl+Z");
}

TEST_F(StructTest, AWireStaysSelectedWhileOneOfItsModulesIs) {
  Start();
  KSModul* saw = Insert(cmd::kInsertSawtooth);
  KInPort* target = AudioIn(0);
  {
    TUpdateBracket b;
    target->Connect(saw->GetOutPort(0));
  }
  TWireView* wire = AsWireView(target->GetWireView(0));
  saw->Select();
  wire->Select(1, 0);
  wire->Select(0, 0);
  EXPECT_TRUE(wire->IsSelected());
  saw->Deselect();
  wire->Select(0, 0);
  EXPECT_FALSE(wire->IsSelected());
}

TEST_F(StructTest, TheAudioOutGuardRefusesTheWholeSelection) {
  Start();
  KSModul* saw = Insert(cmd::kInsertSawtooth);
  Find(kTypeAudioOut)->Select();
  saw->Select();
  const int children = Top()->GetChildCount();
  const int steps = Undo().GetStepCount();
  for (int32_t id : {cmd::kDelete, cmd::kCut, cmd::kCopy}) {
    gui.QueueAnswer(0);
    Run(Wnd(), id);
  }
  ASSERT_EQ(gui.Boxes().size(), 3u);
  EXPECT_EQ(gui.Boxes()[0].text, "You cannot use Cut, Copy, Delete or Save As\nwith an Audio In or Out.");
  EXPECT_EQ(Top()->GetChildCount(), children);
  EXPECT_EQ(Undo().GetStepCount(), steps);
  EXPECT_FALSE(dirs::Clipboard()->Exists());
}

TEST_F(StructTest, CopyAndPasteDuplicateTheSelectionWithItsInnerWires) {
  Start();
  KSModul* fader = Insert(cmd::kInsertFader);
  KSModul* saw = Insert(cmd::kInsertSawtooth);
  {
    TUpdateBracket b;
    saw->GetInPort(0)->Connect(fader->GetOutPort(0));
    AudioIn(0)->Connect(saw->GetOutPort(0));
  }
  TStructWnd::DeselectEverything(Top());
  fader->Select();
  saw->Select();
  EXPECT_EQ(Run(Wnd(), cmd::kPaste, command_mode::kEnabled), 0) << "no clipboard yet";
  Run(Wnd(), cmd::kCopy);
  ASSERT_TRUE(dirs::Clipboard()->Exists());
  EXPECT_EQ(Run(Wnd(), cmd::kPaste, command_mode::kEnabled), 1);
  Run(Wnd(), cmd::kPaste);
  EXPECT_EQ(Count(kTypeFader), 2);
  EXPECT_EQ(Count(kTypeSawtooth), 2);
  KSModul* fader2 = nullptr;
  KSModul* saw2 = nullptr;
  for (int i = 0; i < Top()->GetChildCount(); ++i) {
    KSModul* m = Top()->GetChild(i);
    if (m->IsType(kTypeFader) && m != fader) fader2 = m;
    if (m->IsType(kTypeSawtooth) && m != saw) saw2 = m;
  }
  ASSERT_TRUE(fader2 && saw2);
  EXPECT_TRUE(fader2->IsSelected() && saw2->IsSelected()) << "the pasted modules are the selection";
  EXPECT_FALSE(fader->IsSelected());
  ASSERT_EQ(saw2->GetInPort(0)->GetWireCount(), 1);
  EXPECT_EQ(saw2->GetInPort(0)->GetSource(0), fader2->GetOutPort(0)) << "the inner wire came along";
  EXPECT_EQ(AudioIn(0)->GetSource(0), saw->GetOutPort(0)) << "the wire to the Audio Out stayed out";
  EXPECT_EQ(AudioIn(0)->GetWireCount(), 1);
  EXPECT_NE(saw2->GetBoxView(), nullptr);
  EXPECT_NE(saw2->GetInPort(0)->GetWireView(0), nullptr);
  // Cut takes them away and Paste brings them back.
  Run(Wnd(), cmd::kCut);
  EXPECT_EQ(Count(kTypeSawtooth), 1);
  Run(Wnd(), cmd::kPaste);
  EXPECT_EQ(Count(kTypeSawtooth), 2);
}

// A box's own context menu deletes that box: nothing may point at it afterwards.
TEST_F(StructTest, DeleteFromABoxsOwnContextMenu) {
  Start();
  KSModul* saw = Insert(cmd::kInsertSawtooth);
  TStructWnd::DeselectEverything(Top());
  auto* box = dynamic_cast<TModView*>(saw->GetBoxView());
  ASSERT_NE(box, nullptr);
  const QPoint at(box->GetArea().Left() + 44, box->GetArea().Top() + 28);
  skytest::Press(Canvas(), at, Qt::RightButton);
  EXPECT_EQ(GetLastRightClickedView(), box);
  EXPECT_TRUE(saw->IsSelected()) << "the right click selects";
  Canvas()->CommandMessage(cmd::kDelete);
  Settle();
  EXPECT_EQ(Count(kTypeSawtooth), 0);
  EXPECT_EQ(GetLastRightClickedView(), nullptr);
  // A wire's own Delete removes the wire and its view.
  KSModul* saw2 = Insert(cmd::kInsertSawtooth);
  KInPort* target = AudioIn(0);
  {
    TUpdateBracket b;
    target->Connect(saw2->GetOutPort(0));
  }
  auto* wire = AsWireView(target->GetWireView(0));
  const TArea a = wire->GetArea();
  const int32_t x = a.Width() / 2, d = TWireView::kMargin;
  const float slope = float(a.Height() - 2 * d) / float(a.Width());
  const int32_t y = wire->GetOrientation() == 0 ? int32_t(float(x) * slope + float(d))
                                                : int32_t(float(a.Height() - d) - float(x) * slope);
  TStructWnd::DeselectEverything(Top());
  skytest::Press(Canvas(), QPoint(a.Left() + x, a.Top() + y), Qt::RightButton);
  ASSERT_EQ(GetLastRightClickedView(), wire);
  EXPECT_TRUE(wire->IsSelected());
  Canvas()->CommandMessage(cmd::kWireDelete);
  Settle();
  EXPECT_EQ(GetLastRightClickedView(), nullptr);
  EXPECT_EQ(target->GetWireCount(), 0);
  EXPECT_EQ(UndoText(), "&Undo Delete Wire\tCtrl+Z");
}

TEST_F(StructTest, MuteSwapsEachModuleAndMonoLeavesInstruments) {
  Start();
  KSModul* a = Insert(cmd::kInsertSawtooth);
  KSModul* b = Insert(cmd::kInsertSawtooth);
  KSModul* instr = Top()->InsertModule(kTypeInstrument, kPlaceNext, false);
  ASSERT_NE(instr, nullptr);
  {
    TUpdateBracket br;
    a->Mute();
  }
  TStructWnd::DeselectEverything(Top());
  a->Select();
  b->Select();
  Run(Wnd(), cmd::kMute);
  EXPECT_FALSE(a->IsMuted());
  EXPECT_TRUE(b->IsMuted());
  instr->Select();
  const bool instrMono = instr->IsMono(), aMono = a->IsMono();
  Run(Wnd(), cmd::kMono);
  EXPECT_NE(a->IsMono(), aMono);
  EXPECT_EQ(instr->IsMono(), instrMono);
}

TEST_F(StructTest, CtrlClickTogglesOneBoxAndKeepsTheOthers) {
  Start();
  KSModul* a = Insert(cmd::kInsertSawtooth);
  KSModul* b = Insert(cmd::kInsertSawtooth);
  const QPoint onB(b->GetPos().X() + 44, b->GetPos().Y() + 30);
  TStructWnd::DeselectEverything(Top());
  a->Select();
  b->Select();
  skytest::Key(Canvas(), Qt::Key_Control, true);
  Click(onB);
  EXPECT_FALSE(b->IsSelected()) << "Ctrl-click on a selected box deselects it";
  EXPECT_TRUE(a->IsSelected());
  Click(onB);
  EXPECT_TRUE(b->IsSelected()) << "and adds it again";
  EXPECT_TRUE(a->IsSelected());
  skytest::Key(Canvas(), Qt::Key_Control, false);
}

TEST_F(StructTest, StructureWindowsReopenFromTheSavedFileAndGotoParent) {
  Start();
  KSModul* macro = Top()->InsertModule(kTypeMacro, kPlaceNext, false);
  macro->OpenStructure();
  TStructWnd* inner = AsStructWnd(macro->GetStructWnd());
  ASSERT_NE(inner, nullptr);
  EXPECT_EQ(Run(inner, cmd::kGotoParent, command_mode::kEnabled), 1);
  EXPECT_EQ(std::string(inner->GetStructure()->GetLabel().CStr()), std::string(macro->GetLabel().CStr()));
  const std::string path = tmp + "/two.ens";
  EPtr<IFileName> name(CreateFileName());
  name->SetPath(TStr(path.c_str()));
  ASSERT_TRUE(app->SaveTo(name.Get()));
  app->Open(name.Get());
  Settle();
  ASSERT_EQ(Top()->GetChildCount() > 0, true);
  KSModul* again = Find(kTypeMacro);
  ASSERT_NE(again, nullptr);
  EXPECT_NE(Top()->GetStructWnd(), nullptr);
  EXPECT_NE(again->GetStructWnd(), nullptr) << "the macro's window was open when the file was written";
}

TEST_F(StructTest, ALibraryEntryInsertsTheFileItNames) {
  Start();
  KSModul* macro = Top()->InsertModule(kTypeMacro, kPlaceNext, false);
  {
    TUpdateBracket b;
    macro->InsertModule(kTypeSawtooth, kPlaceNext, false);
  }
  EPtr<IFileName> file(CreateFileName());
  file->SetPath(TStr((install + "/Library/Macros/Saw.mdl").c_str()));
  KModulFile::SaveModuleFile(*file, *macro, *app->GetEnsemble()->GetFiles());
  Top()->UpdateLibraryMenus(false);
  ASSERT_NE(TStructWnd::LibraryFile(cmd::kMacroLibraryFirst), nullptr);
  const int before = Count(kTypeMacro);
  {
    TUpdateBracket b;
    Wnd()->Execute(cmd::kMacroLibraryFirst);
  }
  EXPECT_EQ(Count(kTypeMacro), before + 1);
  KSModul* added = Top()->GetChild(Top()->GetChildCount() - 1);
  ASSERT_TRUE(added->IsType(kTypeMacro));
  ASSERT_EQ(added->GetChildCount(), 1);
  EXPECT_TRUE(added->GetChild(0)->IsType(kTypeSawtooth));
  EXPECT_NE(added->GetBoxView(), nullptr);
  // Saving the single selected macro writes it back to its file.
  {
    TUpdateBracket b;
    added->InsertModule(kTypeNoise, kPlaceNext, false);
  }
  TStructWnd::DeselectEverything(Top());
  added->Select();
  Wnd()->SaveSelected();
  {
    TUpdateBracket b;
    Wnd()->Execute(cmd::kMacroLibraryFirst);
  }
  EXPECT_EQ(Top()->GetChild(Top()->GetChildCount() - 1)->GetChildCount(), 2);
}

using skytest::ModalScript;

template <class W> W* Ctl(QWidget& d, int32_t id) { return dynamic_cast<W*>(FindDlgControl(&d, id)); }

TEST_F(StructTest, PortPropertiesShowThePortAndApplyOnlyAfterOk) {
  Start();
  KSModul* saw = Insert(cmd::kInsertSawtooth);
  KInPort* in = saw->GetInPort(0);
  const std::string label = in->GetLabel().CStr();
  app->GetEnsemble()->MarkClean();
  // Cancel: nothing changes; the fixed label cannot be edited.
  {
    ModalScript script([&](QDialog& d) {
      EXPECT_EQ(d.windowTitle().toStdString(), label + " - Properties");
      EXPECT_TRUE(Ctl<QLineEdit>(d, ctlid::kPortLabel)->isReadOnly() || !Ctl<QLineEdit>(d, ctlid::kPortLabel)->isEnabled());
      EXPECT_EQ(Ctl<QLineEdit>(d, ctlid::kPortType)->text().toStdString(),
                IsAudioKind(in->GetKind()) ? "Audio In" : "Event In");
      Ctl<QAbstractButton>(d, ctlid::kPortMute)->click();
      skytest::SaveShot(d.grab().toImage(), "struct_port_properties.png");
      Ctl<QAbstractButton>(d, kIdCancel)->click();
    });
    EXPECT_EQ(RunPortPrp(in, nullptr), 0);
  }
  EXPECT_FALSE(in->IsMuted());
  EXPECT_TRUE(app->GetEnsemble()->IsClean());
  // OK with the mute box changed, through the handle's own command.
  {
    ModalScript script([&](QDialog& d) {
      Ctl<QAbstractButton>(d, ctlid::kPortMute)->click();
      Ctl<QAbstractButton>(d, kIdOk)->click();
    });
    TUpdateBracket b;
    AsPortView(in->GetView())->Execute(cmd::kPortProperties);
  }
  EXPECT_TRUE(in->IsMuted());
  EXPECT_FALSE(app->GetEnsemble()->IsClean()) << "a port edit is a change to save";
  EXPECT_NE(in->GetView(), nullptr) << "the box was made anew with its handles";
  // A switch input takes a new label.
  KSModul* sw = Top()->InsertModule(kTypeAudioSwitch2, kPlaceNext, false);
  KInPort* swIn = sw->GetInPort(0);
  {
    ModalScript script([&](QDialog& d) {
      Ctl<QLineEdit>(d, ctlid::kPortLabel)->setText(QStringLiteral("Left"));
      Ctl<QAbstractButton>(d, kIdOk)->click();
    });
    EXPECT_EQ(RunPortPrp(swIn, nullptr), 1);
  }
  EXPECT_EQ(std::string(swIn->GetLabel().CStr()), "Left");
  // An out-port with its own kind words.
  {
    ModalScript script([&](QDialog& d) {
      EXPECT_EQ(Ctl<QLineEdit>(d, ctlid::kPortType)->text().toStdString(), "Audio Out");
      Ctl<QAbstractButton>(d, kIdOk)->click();
    });
    EXPECT_EQ(RunPortPrp(nullptr, saw->GetOutPort(0)), 0) << "OK without changes calls no setter";
  }
}

// ---------------------------------------------------------------------------
// Library menus

TEST_F(StructTest, LibraryMenusListFoldersAndFilesSortedWithoutFollowingLinks) {
  const std::string macros = install + "/Library/Macros";
  auto write = [](const std::string& path) { std::ofstream(path) << "x"; };
  write(macros + "/b.mdl");
  write(macros + "/D.mdl");
  fs::create_directories(macros + "/Sub");
  write(macros + "/Sub/inner.mdl");
  fs::create_directory_symlink(macros, macros + "/Sub/loop");
  Start();
  // The menus are the program's: the first window made them; a directory
  // change makes them anew.
  Top()->UpdateLibraryMenus(false);
  IMenu* m = TStructWnd::GetMacroMenu();
  ASSERT_NE(m, nullptr);
  std::vector<std::string> texts;
  for (int i = 0; i < m->GetItemCount(); ++i) texts.push_back(m->GetItemText(i, menu::kByPosition).CStr());
  EXPECT_EQ(texts, (std::vector<std::string>{"Sub", "D", "b", "&Open..."}));
  std::set<std::string> named;
  for (int32_t id = cmd::kMacroLibraryFirst; id < cmd::kMacroLibraryFirst + 3; ++id) {
    IFileName* f = TStructWnd::LibraryFile(id);
    ASSERT_NE(f, nullptr) << id;
    named.insert(f->GetName(0).CStr());
  }
  EXPECT_EQ(named, (std::set<std::string>{"b", "D", "inner"}));
  EXPECT_EQ(TStructWnd::LibraryFile(cmd::kMacroLibraryFirst + 3), nullptr) << "the link was not followed";
  // Two windows, a directory change: the context menu holds each pop-up once.
  KSModul* macro = Top()->InsertModule(kTypeMacro, kPlaceNext, false);
  macro->OpenStructure();
  Top()->UpdateLibraryMenus(false);
  IMenu* context = TStructWnd::GetContextMenuObject();
  auto* popup = dynamic_cast<DMenu*>(context)->Popup();
  int macrosCount = 0, instrCount = 0;
  for (QAction* a : popup->actions()) {
    macrosCount += a->text() == QStringLiteral("Macros");
    instrCount += a->text() == QStringLiteral("Instruments");
  }
  EXPECT_EQ(macrosCount, 1);
  EXPECT_EQ(instrCount, 1);
  EXPECT_NE(TStructWnd::LibraryFile(cmd::kMacroLibraryFirst), nullptr);
}

TEST_F(StructTest, MissingLibraryFoldersAreReportedAndLeaveOnlyOpen) {
  Start();
  fs::remove_all(install + "/Library/Macros");
  gui.QueueAnswer(0);
  TStructWnd::UpdateLibraryMenus(1);
  ASSERT_EQ(gui.Boxes().size(), 1u);
  EXPECT_EQ(gui.Boxes()[0].text,
            "Invalid path for the macro library.\nPlease enter a valid path in\nSystem - Preferences - Directories - "
            "Directory for Macros.");
  IMenu* m = TStructWnd::GetMacroMenu();
  ASSERT_EQ(m->GetItemCount(), 1);
  EXPECT_EQ(std::string(m->GetItemText(0, menu::kByPosition).CStr()), "&Open...");
  fs::remove_all(install + "/Library/Instruments");
  gui.QueueAnswer(0);
  TStructWnd::UpdateLibraryMenus(1);
  ASSERT_EQ(gui.Boxes().size(), 2u);
  EXPECT_NE(gui.Boxes()[1].text.find("Invalid paths for the macro library and the"), std::string::npos);
}

// ---------------------------------------------------------------------------
// The look

TEST_F(StructTest, AWireDraggedFromASawtoothToTheAudioOutLooksRight) {
  Start();
  KSModul* saw = Insert(cmd::kInsertSawtooth);
  {
    TUpdateBracket b;
    dynamic_cast<TModView*>(saw->GetBoxView())->DragTo(TPnt(128, 40));
  }
  Drag(HandleCentre(saw->GetOutPort(0)->GetView()), HandleCentre(AudioIn(0)->GetView()));
  ASSERT_EQ(AudioIn(0)->GetWireCount(), 1);
  TStructWnd::DeselectEverything(Top());
  Settle();
  const QImage shot = skytest::Screen(Canvas());
  const std::string path = skytest::SaveShot(shot, "struct_wire.png");
  ASSERT_FALSE(shot.isNull());
  // A pixel of the wire's colour on the line.
  auto* wire = AsWireView(AudioIn(0)->GetWireView(0));
  const TArea a = wire->GetArea();
  const QColor want = sky::QtColor(TStructWnd::GetWireColor(0));
  int found = 0;
  for (int x = a.Left() + 4; x < a.Right() - 4; ++x)
    for (int y = a.Top(); y < a.Bottom(); ++y)
      if (QColor(shot.pixel(x, y)) == want) ++found;
  EXPECT_GT(found, a.Width() / 2) << path;
  // The window's context menu and its Modules pop-up.
  QMenu* popup = dynamic_cast<DMenu*>(TStructWnd::GetContextMenuObject())->Popup();
  ASSERT_NE(popup, nullptr);
  popup->adjustSize();
  skytest::SaveShot(popup->grab().toImage(), "struct_context_menu.png");
  QMenu* modules = popup->actions().value(0) ? popup->actions().value(0)->menu() : nullptr;
  ASSERT_NE(modules, nullptr);
  modules->adjustSize();
  skytest::SaveShot(modules->grab().toImage(), "struct_modules_menu.png");
}

// A module that goes into or out of the processing shows it at once: its
// box's mark changes from "inactive" when a wire reaches the Audio Out, and
// back when the wire goes.
TEST_F(StructTest, ABoxShowsAtOnceWhenItsModuleStartsOrStopsRunning) {
  Start();
  KSModul* saw = Insert(cmd::kInsertSawtooth);
  {
    TUpdateBracket b;
    dynamic_cast<TModView*>(saw->GetBoxView())->DragTo(TPnt(128, 40));
  }
  TStructWnd::DeselectEverything(Top());
  auto* box = dynamic_cast<TModView*>(saw->GetBoxView());
  ASSERT_NE(box, nullptr);
  // The mark as the window shows it (the indicator lies in the box).
  auto mark = [&] {
    Settle();
    TPnt offset;
    box->GetRoot(&offset);
    const TArea a = box->GetIndicatorArea();
    const TPnt at(offset.X() + box->GetArea().Left() + a.Left(), offset.Y() + box->GetArea().Top() + a.Top());
    return skytest::Screen(Canvas()).copy(at.X(), at.Y(), a.Width(), a.Height());
  };
  // What a full repaint shows.
  auto repainted = [&] {
    Wnd()->Invalidate();
    return mark();
  };
  EXPECT_TRUE(saw->IsInactive());
  const QImage inactive = mark();
  ASSERT_EQ(inactive, repainted());
  const QPoint from = HandleCentre(saw->GetOutPort(0)->GetView());
  const QPoint to = HandleCentre(AudioIn(0)->GetView());
  Drag(from, to);
  ASSERT_EQ(AudioIn(0)->GetWireCount(), 1);
  EXPECT_FALSE(saw->IsInactive());
  const QImage running = mark();
  EXPECT_NE(running, inactive) << "the mark changed with the wire";

  EXPECT_EQ(running, repainted());
  Drag(to, from);
  ASSERT_EQ(AudioIn(0)->GetWireCount(), 0);
  EXPECT_TRUE(saw->IsInactive());
  EXPECT_EQ(mark(), inactive);
}

// Keys without a menu item of their own: Backspace deletes like Del, Enter
// goes to the panel (Ctrl+B is the main menu's, see the menu test).
TEST_F(StructTest, BackspaceDeletesAndEnterGoesToThePanel) {
  Start();
  ASSERT_NE(Wnd(), nullptr);
  auto shortcut = [&](QKeySequence keys) -> QShortcut* {
    for (QShortcut* s : Canvas()->findChildren<QShortcut*>())
      if (s->key() == keys) return s;
    return nullptr;
  };
  for (QKeySequence keys : {QKeySequence(Qt::Key_Backspace), QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)})
    ASSERT_NE(shortcut(keys), nullptr) << keys.toString().toStdString();
  KSModul* saw = Top()->InsertModule(kTypeSawtooth, kPlaceNext, true);
  ASSERT_NE(saw, nullptr);
  TStructWnd::DeselectEverything(Top());
  saw->Select();
  const int32_t before = Top()->GetChildCount();
  emit shortcut(QKeySequence(Qt::Key_Backspace))->activated();
  EXPECT_EQ(Top()->GetChildCount(), before - 1);
  emit shortcut(QKeySequence(Qt::Key_Return))->activated();
  Settle();
  EXPECT_NE(Top()->GetPanelWnd(), nullptr) << "the ensemble's panel opened";
}

} // namespace
