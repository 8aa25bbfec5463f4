// The windows and views of modules, seen through a recording stand-in for
// the window code: which window opens, closes or refreshes, and in which
// order.
#include "tests/mod/ensemble_fixture.h"
#include "tests/engine/testhost.h"

#include "tests/common/testkit.h"

#include "src/base/file.h"
#include "src/base/inout.h"
#include "src/base/settings.h"
#include "src/mod/ensfile.h"
#include "src/mod/moddata.h"
#include "src/mod/modfile.h"
#include "src/mod/modwnd.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using ensfix::TEnsembleFixture;

namespace {

struct TFakeWnd : IModelWnd {
  std::string name;
};
struct TFakeView : IModelView {
  std::string name;
};

// Records every request as "<operation> <what>", a window or view named by
// its kind and its module's label.
class TFakeWindows : public IModelWindows {
public:
  std::vector<std::string> log;
  TArea clientArea{0, 0, 600, 400};

  IModelWnd* CreatePanelWnd(KSModul* m) override { return Wnd("panel " + Label(m)); }
  IModelWnd* CreateStructWnd(KSModul* m) override { return Wnd("struct " + Label(m)); }
  void ShowWnd(IModelWnd* w) override { Log("show", w); }
  void BringToFront(IModelWnd* w) override { Log("front", w); }
  void CloseWnd(IModelWnd* w) override { Log("close", w); }
  void RefreshWnd(IModelWnd* w) override { Log("refresh", w); }
  void RedrawWnd(IModelWnd* w) override { Log("redraw", w); }
  void RebuildCtrlViews(IModelWnd* w) override { Log("rebuild views", w); }
  TArea GetClientArea(IModelWnd* w) override {
    Log("area", w);
    return clientArea;
  }
  void PrepareLibraryMenus(IModelWnd* w) override { Log("prepare menus", w); }
  void UpdateLibraryMenus(bool check) override { log.push_back(check ? "library menus checked" : "library menus"); }
  void RebuildMenus(IModelWnd* w) override { Log("menus", w); }
  IModelView* CreateModView(IModelWnd* w, KSModul* m) override {
    log.push_back("box " + Label(m) + " in " + Name(w));
    return View("box " + Label(m));
  }
  IModelView* CreateInPortView(IModelView* box, KInPort* p) override {
    return View("in " + std::to_string(p->GetIndex()) + " of " + Name(box));
  }
  IModelView* CreateOutPortView(IModelView* box, KOutPort* p) override {
    return View("out " + std::to_string(p->GetIndex()) + " of " + Name(box));
  }
  void InvalidateView(IModelView* v) override { Log("invalidate", v); }
  void DestroyView(IModelView* v) override { Log("destroy", v); }
  IModelView* CreateCtrlView(IModelWnd* w, KSModul* m, int32_t kind) override {
    log.push_back("control " + Label(m) + " kind " + std::to_string(kind) + " in " + Name(w));
    return View("control " + Label(m) + " in " + Name(w));
  }
  void ShowCtrlView(IModelView* v) override { Log("show", v); }
  void PlaceCtrlView(IModelView* v) override { Log("place", v); }
  void RebuildCtrlView(IModelView* v) override { Log("rebuild", v); }
  void UpdateCtrlView(IModelView* v) override { Log("update", v); }
  bool IsCtrlViewVisible(IModelView* v) override { return v != nullptr; }
  void DestroyCtrlView(IModelView* v) override { Log("destroy", v); }

  // The entries that start with a word.
  std::vector<std::string> Only(const std::string& word) const {
    std::vector<std::string> out;
    for (const std::string& e : log)
      if (e.rfind(word + " ", 0) == 0) out.push_back(e);
    return out;
  }

private:
  static std::string Label(KSModul* m) { return m->GetLabel().Std(); }
  static std::string Name(IModelWnd* w) { return static_cast<TFakeWnd*>(w)->name; }
  static std::string Name(IModelView* v) { return static_cast<TFakeView*>(v)->name; }
  void Log(const char* what, IModelWnd* w) { log.push_back(std::string(what) + " " + Name(w)); }
  void Log(const char* what, IModelView* v) { log.push_back(std::string(what) + " " + Name(v)); }
  IModelWnd* Wnd(const std::string& name) {
    auto w = std::make_unique<TFakeWnd>();
    w->name = name;
    wnds_.push_back(std::move(w));
    log.push_back("create " + name);
    return wnds_.back().get();
  }
  IModelView* View(const std::string& name) {
    auto v = std::make_unique<TFakeView>();
    v->name = name;
    views_.push_back(std::move(v));
    return views_.back().get();
  }
  // Handles live as long as the fake: the model may name a closed one in a
  // later entry only by mistake, and the log shows it.
  std::vector<std::unique_ptr<TFakeWnd>> wnds_;
  std::vector<std::unique_ptr<TFakeView>> views_;
};

class Windows : public ::testing::Test, public TEnsembleFixture {
protected:
  Windows() : files(ens) {
    OpenSettings(TStr("Quorvex 2.0"));
    ens.SetWindows(&wnds);
  }
  ~Windows() override {
    // The modules go before the windows do.
    while (Top()->GetChildCount() > 0) Top()->DeleteChild(Top()->GetChild(0));
    Top()->CloseAllPanels();
    Top()->CloseAllStructWnds();
    ens.SetWindows(nullptr);
  }
  KSModul* Add(KSModul* parent, TModuleType type, const char* label) {
    KSModul* m = parent->InsertModule(type, 1);
    m->SetLabel(TStr(label));
    return m;
  }

  testkit::ScriptedHost boxes;
  TFakeWindows wnds;
  KEnsembleFiles files;
};

} // namespace

TEST_F(Windows, ALoadReopensTheStoredWindowsInTheirOrder) {
  KSModul* a = Add(Top(), kTypeMacro, "A");
  KSModul* b = Add(Top(), kTypeInstrument, "B");
  KSModul* c = Add(b, kTypeMacro, "C");
  KSModul* d = Add(Top(), kTypeMacro, "D");
  struct Stored {
    KSModul* m;
    int32_t panel, structure;
  };
  // Never reopened: 0, below 0, and 1073741823 or above.
  for (const Stored& s : {Stored{Top(), 0, 1}, Stored{a, 4, -3}, Stored{b, 2, 2}, Stored{c, 0, 3},
                          Stored{d, 1073741823, 0}}) {
    s.m->Data().panelOpenNo = s.panel;
    s.m->Data().structOpenNo = s.structure;
  }
  TMemInOut out;
  KModulFile::WriteEnsemble(out, files);
  TMemInOut in(out.Data());
  ASSERT_EQ(files.OpenEnsembleStream(in, TStr("windows.ens")), 1);
  wnds.log.clear();
  Top()->ReopenWindows();
  EXPECT_EQ(wnds.Only("show"), (std::vector<std::string>{"show struct Ensemble", "show panel B", "show struct B",
                                                          "show struct C", "show panel A"}));
  EXPECT_NE(Top()->GetChild(1)->GetPanelWnd(), nullptr);
  EXPECT_EQ(Top()->GetChild(2)->GetPanelWnd(), nullptr);
}

TEST_F(Windows, OpeningAnOpenWindowBringsItToTheFront) {
  KSModul* macro = Add(Top(), kTypeMacro, "M");
  macro->OpenPanel(true);
  macro->OpenStructure();
  macro->OpenPanel(true);
  macro->OpenStructure();
  EXPECT_EQ(wnds.log, (std::vector<std::string>{"create panel M", "show panel M", "create struct M", "show struct M",
                                                "front panel M", "front struct M"}));
  // The user closes the panel: the module forgets it and opens a new one.
  macro->PanelWndClosed();
  wnds.log.clear();
  macro->OpenPanel(false);
  EXPECT_EQ(wnds.log, (std::vector<std::string>{"create panel M", "show panel M"}));
}

TEST_F(Windows, AnInstrumentThatHidesItsStructureSaysSo) {
  KSModul* instr = Add(Top(), kTypeInstrument, "I");
  KSModul* inside = Add(instr, kTypeMacro, "Inside");
  instr->GetOwnInstr()->SetStructureHidden(true);
  boxes.QueueAnswer(0);
  boxes.QueueAnswer(0);
  instr->OpenStructure();
  inside->OpenStructure();
  ASSERT_EQ(boxes.Boxes().size(), 2u);
  EXPECT_EQ(boxes.Boxes()[0].text, "No structure will be shown for this instrument.");
  EXPECT_TRUE(wnds.log.empty());
  EXPECT_EQ(instr->GetStructWnd(), nullptr);
  instr->OpenPanel(false);
  EXPECT_NE(instr->GetPanelWnd(), nullptr) << "its panel still opens";
}

TEST_F(Windows, WindowCommandsWalkTheTreeModuleFirst) {
  KSModul* a = Add(Top(), kTypeMacro, "A");
  KSModul* inner = Add(a, kTypeMacro, "Inner");
  KSModul* b = Add(Top(), kTypeInstrument, "B");
  for (KSModul* m : {b, inner, Top(), a}) {
    m->OpenPanel(false);
    m->OpenStructure();
  }
  wnds.log.clear();
  Top()->BringPanelsToFront();
  EXPECT_EQ(wnds.log, (std::vector<std::string>{"front panel Ensemble", "front panel A", "front panel Inner",
                                                "front panel B"}));
  wnds.log.clear();
  Top()->UpdateLibraryMenus(true);
  EXPECT_EQ(wnds.log,
            (std::vector<std::string>{"prepare menus struct Ensemble", "prepare menus struct A",
                                      "prepare menus struct Inner", "prepare menus struct B", "library menus checked",
                                      "menus struct Ensemble", "menus struct A", "menus struct Inner", "menus struct B"}));
  wnds.log.clear();
  Top()->RefreshAllStructWnds();
  EXPECT_EQ(wnds.Only("refresh").size(), 4u);
  wnds.log.clear();
  a->CloseAllPanels();
  EXPECT_EQ(wnds.log, (std::vector<std::string>{"close panel A", "close panel Inner"}));
  EXPECT_EQ(inner->GetPanelWnd(), nullptr);
  EXPECT_NE(b->GetPanelWnd(), nullptr);
  wnds.log.clear();
  Top()->CloseAllStructWnds();
  EXPECT_EQ(wnds.log, (std::vector<std::string>{"close struct Ensemble", "close struct A", "close struct Inner",
                                                "close struct B"}));
  wnds.log.clear();
  Top()->CloseAllStructWnds();
  EXPECT_TRUE(wnds.log.empty()) << "nothing is closed twice";
}

TEST_F(Windows, InsertingAndDeletingKeepTheOpenStructureInStep) {
  KSModul* macro = Add(Top(), kTypeMacro, "M");
  Top()->OpenStructure();
  Top()->OpenPanel(false);
  macro->CreateView(Top()->GetStructWnd());
  wnds.log.clear();
  // A module inserted into an open structure gets its box there; the panels refresh.
  KSModul* osc = Add(Top(), kTypeEventSum3, "Osc");
  EXPECT_EQ(wnds.log, (std::vector<std::string>{"box + in struct Ensemble", "refresh panel Ensemble"}))
      << "the box is made before the label is changed";
  EXPECT_NE(osc->GetBoxView(), nullptr);
  // A terminal inside the macro gives the macro a port: its box is made anew.
  wnds.log.clear();
  Add(macro, kTypeAudioPolyInTerminal, "T");
  EXPECT_EQ(wnds.log, (std::vector<std::string>{"destroy box M", "box M in struct Ensemble", "refresh panel Ensemble"}));
  // Deleting closes the module's windows and views and redraws the structure.
  macro->OpenPanel(false);
  macro->OpenStructure();
  wnds.log.clear();
  Top()->DeleteChild(macro);
  EXPECT_EQ(wnds.log, (std::vector<std::string>{"close struct M", "close panel M", "destroy box M",
                                                "redraw struct Ensemble"}));
  // An Audio Out is placed in the open window's client area.
  wnds.clientArea = TArea(0, 0, 808, 446);
  KSModul* out = AddAudioOut();
  EXPECT_EQ(out->GetPos(), TPnt(800 - 104, 400 / 16 * 8 - (8 * out->GetInPortCount() + 8)));
}

TEST_F(Windows, PanelControlsComeAndGoWithTheirPanel) {
  KSModul* macro = Add(Top(), kTypeMacro, "M");
  KSModul* fader = Add(macro, kTypeFader, "F");
  KSModul* instr = Add(Top(), kTypeInstrument, "I");
  KSModul* inner = Add(instr, kTypeFader, "G");
  Top()->OpenPanel(false);
  instr->OpenPanel(false);
  wnds.log.clear();
  Top()->CreateEnsCtrlViews(Top()->GetPanelWnd());
  EXPECT_EQ(wnds.Only("control"), (std::vector<std::string>{"control M kind 8 in panel Ensemble",
                                                            "control F kind 1 in panel Ensemble",
                                                            "control I kind 9 in panel Ensemble"}));
  instr->CreateInstrCtrlViews(instr->GetPanelWnd());
  EXPECT_NE(inner->GetInstrCtrlView(), nullptr);
  EXPECT_FALSE(fader->HasInstrCtrlView());
  // A fader's new step reaches its own views and the macro around it.
  wnds.log.clear();
  fader->SetControlStep(90);
  EXPECT_EQ(wnds.Only("update"), (std::vector<std::string>{"update control F in panel Ensemble",
                                                           "update control M in panel Ensemble"}));
  // Taken off the ensemble panel and put back.
  wnds.log.clear();
  fader->SetVisibleInEns(false);
  EXPECT_FALSE(fader->HasEnsCtrlView());
  fader->SetVisibleInEns(true);
  EXPECT_EQ(wnds.log, (std::vector<std::string>{"destroy control F in panel Ensemble", "refresh panel Ensemble",
                                                "control F kind 1 in panel Ensemble", "place control F in panel Ensemble",
                                                "show control F in panel Ensemble", "refresh panel Ensemble"}));
  // A changed look rebuilds the control.
  wnds.log.clear();
  fader->SetValueShown(false);
  EXPECT_EQ(wnds.log, (std::vector<std::string>{"rebuild control F in panel Ensemble"}));
  wnds.log.clear();
  Top()->DestroyEnsCtrlViews();
  EXPECT_EQ(wnds.Only("destroy").size(), 3u);
  EXPECT_FALSE(macro->HasEnsCtrlView());
  EXPECT_TRUE(inner->HasInstrCtrlView()) << "the instrument panel keeps its own";
}

TEST_F(Windows, AMergedMacroFileShowsInTheOpenWindows) {
  files.GetUndo().SetFolder(TStr(testkit::TempDir("windows").c_str()));
  KSModul* source = Add(Top(), kTypeMacro, "Source");
  KSModul* in = Add(source, kTypeAudioPolyInTerminal, "T");
  KSModul* lfo = Add(source, kTypeEventSum3, "Lfo");
  Wire(in, 0, lfo, 0);
  EPtr<IFileName> file(CreateFileName());
  file->SetPath(TStr((testkit::TempDir("windows") + "/Merge.mdl").c_str()));
  KModulFile::SaveModuleFile(*file, *source, files);
  Top()->DeleteChild(source);

  KSModul* target = Add(Top(), kTypeMacro, "M");
  Top()->OpenStructure();
  Top()->OpenPanel(false);
  target->CreateView(Top()->GetStructWnd());
  target->OpenStructure();
  ASSERT_NE(target->GetBoxView(), nullptr);
  wnds.log.clear();
  ASSERT_EQ(files.ImportModuleFile(*target, *file), 1);
  // The merge deselects everything first; a "+" takes its type's label again.
  EXPECT_EQ(wnds.log, (std::vector<std::string>{"invalidate box M", "destroy box M", "box M in struct Ensemble",
                                                "box T in struct M", "box + in struct M", "refresh struct M",
                                                "rebuild views panel Ensemble"}));
  ASSERT_EQ(target->GetChildCount(), 2);
  EXPECT_NE(target->GetInPort(0)->GetView(), nullptr) << "the new port has its handle on the box";
  EXPECT_NE(target->GetChild(1)->GetInPort(0)->GetView(), nullptr);
}

namespace {
// A tree whose host records the undo steps asked for.
class TUndoHost : public testhost::THost {
public:
  void AddUndoStep(UndoKind kind, const void* object) override {
    (void)object;
    kinds.push_back(kind);
  }
  IModelWindows* GetWindows() const override { return windows; }
  std::vector<UndoKind> kinds;
  IModelWindows* windows = nullptr;
};
} // namespace

TEST(WindowUndo, OpeningAPanelRecordsItsStepOnlyWhenItOpens) {
  testkit::ScriptedHost boxes;
  TFakeWindows wnds;
  TUndoHost host;
  host.windows = &wnds;
  KSModul* macro = host.Top()->InsertModule(kTypeMacro, 1, true);
  EXPECT_EQ(host.kinds, std::vector<UndoKind>{UndoKind::kInsertModule});
  macro->OpenPanel(true);
  macro->OpenPanel(true);
  macro->PanelWndClosed();
  macro->OpenPanel(false);
  EXPECT_EQ(host.kinds, (std::vector<UndoKind>{UndoKind::kInsertModule, UndoKind::kOpenPanel}));
  host.Top()->CloseAllPanels();
  host.windows = nullptr;
}
