// Panels and control boxes in the running program: every command of the
// main menu and of the windows' menus reaches its handler or is greyed;
// renames retitle the open windows; the control box follows learn, lock,
// solo and mute wherever they change; controls show recalled values; new
// controls and boxes land where they can be seen and grabbed; new windows
// open inside the MDI area; a muted meter goes dark.
#include "src/volteon/aboutdlg.h"
#include "src/volteon/ctrlbox.h"
#include "src/volteon/drvprp/drvprp.h"
#include "src/volteon/instrdlg.h"
#include "src/volteon/paneldlg.h"
#include "src/volteon/portprp.h"
#include "src/volteon/prefs.h"
#include "src/volteon/propdlg.h"
#include "src/volteon/ctrlview.h"
#include "src/volteon/commands.h"
#include "src/volteon/inserts.h"
#include "src/volteon/modview.h"
#include "src/volteon/panelwnd.h"
#include "src/volteon/pictures.h"
#include "src/volteon/portview.h"
#include "src/volteon/strucwnd.h"
#include "src/volteon/volteon.h"

#include "pc/sky/app.h"
#include "pc/sky/mdi.h"
#include "pc/sky/menu.h"
#include "platform/guihost.h"
#include "src/base/settings.h"
#include "src/engine/module_types.h"
#include "src/engine/offline.h"
#include "src/engine/voice_state.h"
#include "src/midi/midi.h"
#include "src/mod/ensfile.h"
#include "src/mod/instr.h"
#include "src/mod/mod.h"
#include "src/mod/port.h"
#include "src/mod/undo.h"
#include "tests/common/testkit.h"
#include "tests/drvprp/dlgscript.h"
#include "tests/sky/skyfixture.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDockWidget>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QToolButton>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using dlgscript::Ctl;
using skytest::ActionOf;

TMidiInOut* MakeMidi(IMidiOwner* owner) { return new TNoMidi(owner); }

// A person who presses Esc on every message and cancels every file dialog.
struct EscapeHost : platform::GuiHost {
  EscapeHost() : previous(platform::SetHost(this)) {}
  ~EscapeHost() override { platform::SetHost(previous); }
  int MessageBox(const std::string&, const std::string&, int kind) override {
    ++boxes;
    return platform::EscapeAnswer(kind);
  }
  void Beep() override {}
  bool FileDialog(const platform::FileDialogRequest&, std::string&) override {
    ++files;
    return false;
  }
  platform::GuiHost* previous;
  int boxes = 0, files = 0;
};

class PanelApp : public ::testing::Test {
protected:
  void SetUp() override {
    OpenSettings("PanelAppTest");
    for (const char* s : {setting::ShowEnsembleBox, setting::ShowInstrumentBox, setting::EnsembleBoxLoc,
                          setting::InstrumentBoxLoc, setting::LastEnsPath})
      DeleteSetting(TStr(s));
    install = testkit::TempDir("panel-app-install");
    OverrideProgramPath(TStr((install + "/bin/Quorvex").c_str()));
    fs::create_directories(install + "/bin");
    for (const char* lib : {"Ensembles", "Instruments", "Macros"}) fs::create_directories(install + "/Library/" + lib);
    fs::copy_file(QV_BUILD_TREE "/bin/new.ens", install + "/bin/new.ens");
    WriteSettingStr(TStr(setting::TmpDir), TStr(testkit::TempDir("panel-app-tmp").c_str()));
    WriteSettingInt(TStr(setting::UndoEnabled), 1);
    previousMidi = SetMidiMaker(MakeMidi);
    // What the program's start-up registers besides.
    RegisterProgramParts();
    InstallDriverDialogs();
  }
  void TearDown() override {
    ticker.reset();
    dapp.reset();
    Settle();
    SetMidiMaker(previousMidi);
    panel_dialogs::SetOpeners(nullptr, nullptr, nullptr);
  }
  void Start() {
    dapp = std::make_unique<DApp>([this] {
      app = new TVolteon([](int32_t, IAudioOwner* owner) -> IAudioInOut* { return new TOfflineAudio(owner); });
      return app;
    });
    ticker = std::make_unique<skytest::ManualTicker>();
    dapp->InitMainWindow();
    dapp->MainFrame()->resize(kMainWidth, kMainHeight);
    dapp->MainFrame()->show();
    Settle();
    box = AsCtrlBox(app->GetCtrlBox());
    ASSERT_NE(box, nullptr);
    app->Files().GetUndo().SetUndoEnabled(1);
  }
  // What the event loop does between two user actions, frames closed by
  // the user deleted included.
  static void Settle() {
    QCoreApplication::sendPostedEvents();
    QApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::sendPostedEvents();
  }
  KEnsemble* Ens() { return app->GetEnsemble(); }
  KSModul* Top() { return Ens()->GetTopModule(); }
  DMDIClient* Client() { return dapp->Client(); }
  QMenuBar* Bar() { return dapp->MainFrame()->menuBar(); }

  // The instrument "Synth" with a fader, made when the ensemble has none.
  KSModul* Synth() {
    for (int32_t i = 0; i < Top()->GetChildCount(); ++i)
      if (Top()->GetChild(i)->IsCategory(kCatInstrument)) return Top()->GetChild(i);
    KSModul* synth = Top()->InsertModule(kTypeInstrument, kPlaceNext, false);
    if (!synth) {
      ADD_FAILURE() << "no room for the instrument";
      return Top();
    }
    synth->SetLabel(TStr("Synth"));
    synth->InsertModule(kTypeFader, kPlaceNextPanel, false)->SetLabel(TStr("Cutoff"));
    return synth;
  }
  KSModul* Child(KSModul* in, TModuleType type) {
    for (int32_t i = 0; in && i < in->GetChildCount(); ++i)
      if (in->GetChild(i)->IsType(type)) return in->GetChild(i);
    return nullptr;
  }
  static QMdiSubWindow* FrameOf(IModelWnd* w) {
    auto* t = dynamic_cast<TWnd*>(w);
    return t && t->GetDWnd() ? qobject_cast<QMdiSubWindow*>(t->GetDWnd()->parentWidget()) : nullptr;
  }
  // The window becomes the active one, as after a click on it.
  void Activate(IModelWnd* w) {
    QMdiSubWindow* frame = FrameOf(w);
    ASSERT_NE(frame, nullptr);
    dapp->MainFrame()->activateWindow();
    Client()->setActiveSubWindow(frame);
    dynamic_cast<TWnd*>(w)->GetDWnd()->setFocus();
    Settle();
  }
  // Brings the menu holding the item up to date, as opening it does.
  bool Shown(QAction* a) {
    for (QObject* holder : a->associatedObjects())
      if (auto* menu = qobject_cast<QMenu*>(holder)) emit menu->aboutToShow();
    return a->isEnabled();
  }
  // A main-menu item chosen as a person chooses it; false when greyed.
  bool Choose(int32_t id) {
    QAction* a = ActionOf(Bar(), id);
    EXPECT_NE(a, nullptr) << id;
    if (!a || !Shown(a)) return false;
    a->trigger();
    Settle();
    return true;
  }
  // The Insert menu's item whose text starts with the name.
  int32_t InsertItem(const char* name) {
    std::vector<QWidget*> todo{Bar()};
    for (size_t i = 0; i < todo.size(); ++i)
      for (QAction* a : todo[i]->actions()) {
        if (a->menu()) todo.push_back(a->menu());
        else if (a->text().remove(QLatin1Char('&')).startsWith(QString::fromUtf8(name))) return a->data().toInt();
      }
    ADD_FAILURE() << "no insert item " << name;
    return 0;
  }
  QWidget* Gadget(int32_t id) { return box->GetDToolWnd()->FindControl(id); }
  bool Down(int32_t id) {
    auto* b = qobject_cast<QToolButton*>(Gadget(id));
    return b && (b->isChecked() || b->isDown());
  }
  std::string Title(IModelWnd* w) {
    QMdiSubWindow* f = FrameOf(w);
    return f ? f->windowTitle().toStdString() : std::string("(no window)");
  }

  static constexpr int kMainWidth = 1000, kMainHeight = 720;
  std::string install;
  std::unique_ptr<DApp> dapp;
  std::unique_ptr<skytest::ManualTicker> ticker;
  TVolteon* app = nullptr;
  TCtrlBox* box = nullptr;
  TMidiMaker previousMidi = nullptr;
};

// Every command id of the main menu, and of the panel and control menus,
// in each kind of active window: the item is greyed, or choosing it runs
// the handler of the window, tool box or application that answers for it.
// A command that reaches no handler is what the client counts as dropped.
TEST_F(PanelApp, EveryMenuCommandRunsItsHandlerOrIsGreyed) {
  EscapeHost host;
  std::map<std::string, int> dialogs;
  skytest::ModalScript script([&](QDialog& d) { ++dialogs[d.windowTitle().toStdString()]; });
  Start();
  std::vector<int32_t> ids;
  {
    std::vector<QWidget*> todo{Bar()};
    for (size_t i = 0; i < todo.size(); ++i)
      for (QAction* a : todo[i]->actions()) {
        if (a->menu()) todo.push_back(a->menu());
        else if (!a->isSeparator() && a->data().toInt() > 0) ids.push_back(a->data().toInt());
      }
  }
  ASSERT_GT(ids.size(), 100u) << "the main menu with its insert menus";
  enum Kind { kNone, kStructure, kInstrumentPanel, kEnsemblePanel };
  const char* names[] = {"no window", "structure window", "instrument panel", "ensemble panel"};
  auto Establish = [&](Kind k) {
    KSModul* synth = Synth();
    switch (k) {
    case kNone:
      Client()->closeAllSubWindows();
      Settle();
      break;
    case kStructure:
      Top()->OpenStructure();
      Settle();
      Activate(Top()->GetStructWnd());
      break;
    case kInstrumentPanel:
      synth->OpenPanel(false);
      Settle();
      Activate(synth->GetPanelWnd());
      break;
    case kEnsemblePanel:
      Top()->OpenPanel(false);
      Settle();
      Activate(Top()->GetPanelWnd());
      break;
    }
  };
  auto Expected = [&](Kind k) -> DWnd* {
    IModelWnd* w = k == kStructure        ? Top()->GetStructWnd()
                   : k == kInstrumentPanel ? Synth()->GetPanelWnd()
                   : k == kEnsemblePanel   ? Top()->GetPanelWnd()
                                           : nullptr;
    auto* t = dynamic_cast<TWnd*>(w);
    return t ? t->GetDWnd() : nullptr;
  };
  int ran = 0, greyed = 0;
  for (Kind k : {kNone, kStructure, kInstrumentPanel, kEnsemblePanel}) {
    // Each kind of window starts on a fresh ensemble (the inserts of the
    // structure window fill the one before).
    Ens()->MarkClean();
    ASSERT_TRUE(Choose(cmd::kNewEnsemble));
    int chosen = 0;
    for (int32_t id : ids) {
      // Exit ends the program: its handler is the main frame's own.
      if (id == cmd::kExit) continue;
      Establish(k);
      if (::testing::Test::HasFatalFailure()) return;
      ASSERT_EQ(Client()->ActiveCanvas(), Expected(k)) << names[k] << " is the active window before " << id;
      QAction* a = ActionOf(Bar(), id);
      ASSERT_NE(a, nullptr) << id;
      if (!Shown(a)) {
        ++greyed;
        continue;
      }
      const int32_t dropped = Client()->DroppedCount();
      a->trigger();
      Settle();
      ++ran;
      ++chosen;
      EXPECT_EQ(Client()->DroppedCount(), dropped)
          << names[k] << ": " << a->text().toStdString() << " (" << id << ") is enabled but reached no handler";
    }
    std::printf("%s: %d items chosen\n", names[k], chosen);
  }
  std::printf("main menu: %d items chosen, %d greyed\n", ran, greyed);
  EXPECT_GT(ran, 0);
  EXPECT_GT(greyed, 0);

  // The windows' own menus, opened by the right button: on an empty spot
  // and on a view, of each panel and of the structure window.
  auto EmptySpot = [](TVolteonWnd* w) {
    const TArea extent = w->GetExtent();
    return QPoint(extent.Right() + 8, extent.Bottom() + 8);
  };
  auto OnView = [](TTView* v) { return v ? QPoint(v->GetOrigin().X() + 2, v->GetOrigin().Y() + 2) : QPoint(-1, -1); };
  struct MenuCase {
    const char* name;
    Kind kind;
    std::function<TVolteonWnd*()> window;
    std::function<QPoint(TVolteonWnd*)> point; // (-1, -1): the view is gone
  };
  auto Panel = [&](KSModul* m) { return dynamic_cast<TVolteonWnd*>(m->GetPanelWnd()); };
  const MenuCase cases[] = {
      {"instrument panel", kInstrumentPanel, [&] { return Panel(Synth()); }, EmptySpot},
      {"fader on the instrument panel", kInstrumentPanel, [&] { return Panel(Synth()); },
       [&](TVolteonWnd*) {
         KSModul* f = Child(Synth(), kTypeFader);
         return OnView(f ? dynamic_cast<TTView*>(f->GetInstrCtrlView()) : nullptr);
       }},
      {"ensemble panel", kEnsemblePanel, [&] { return Panel(Top()); }, EmptySpot},
      {"instrument frame on the ensemble panel", kEnsemblePanel, [&] { return Panel(Top()); },
       [&](TVolteonWnd*) { return OnView(dynamic_cast<TTView*>(Synth()->GetEnsCtrlView())); }},
      {"structure window", kStructure, [&] { return dynamic_cast<TVolteonWnd*>(Top()->GetStructWnd()); }, EmptySpot},
      {"instrument box", kStructure, [&] { return dynamic_cast<TVolteonWnd*>(Top()->GetStructWnd()); },
       [&](TVolteonWnd*) { return OnView(dynamic_cast<TTView*>(Synth()->GetBoxView())); }},
      {"Audio Out box", kStructure, [&] { return dynamic_cast<TVolteonWnd*>(Top()->GetStructWnd()); },
       [&](TVolteonWnd*) {
         KSModul* out = Ens()->GetAudioOutModule();
         return OnView(out ? dynamic_cast<TTView*>(out->GetBoxView()) : nullptr);
       }},
  };
  // Opens the menu as the right button does; null when the view is gone.
  auto OpenMenu = [&](const MenuCase& c) -> QMenu* {
    Establish(c.kind);
    TVolteonWnd* w = c.window();
    if (!w) return nullptr;
    const QPoint at = c.point(w);
    if (at == QPoint(-1, -1)) return nullptr;
    skytest::Press(w->GetDWnd(), at, Qt::RightButton);
    skytest::Release(w->GetDWnd(), at, Qt::RightButton);
    Settle();
    return qobject_cast<QMenu*>(QApplication::activePopupWidget());
  };
  for (const MenuCase& c : cases) {
    Ens()->MarkClean();
    ASSERT_TRUE(Choose(cmd::kNewEnsemble));
    std::vector<int32_t> menuIds;
    {
      QMenu* popup = OpenMenu(c);
      ASSERT_NE(popup, nullptr) << "the right button opens the " << c.name << "'s menu";
      std::vector<QWidget*> todo{popup};
      for (size_t i = 0; i < todo.size(); ++i)
        for (QAction* a : todo[i]->actions()) {
          if (a->menu()) todo.push_back(a->menu());
          else if (!a->isSeparator() && a->data().toInt() > 0) menuIds.push_back(a->data().toInt());
        }
      popup->close();
      Settle();
    }
    ASSERT_FALSE(menuIds.empty()) << c.name;
    int chosen = 0;
    for (int32_t id : menuIds) {
      QMenu* popup = OpenMenu(c);
      if (!popup) break; // a command took the view away (Delete, Cut)
      QAction* a = ActionOf(popup, id);
      ASSERT_NE(a, nullptr) << c.name << " " << id;
      if (!Shown(a)) {
        popup->close();
        Settle();
        continue;
      }
      const int32_t dropped = Client()->DroppedCount();
      a->trigger();
      popup->close();
      Settle();
      ++chosen;
      EXPECT_EQ(Client()->DroppedCount(), dropped)
          << c.name << " menu: " << a->text().toStdString() << " (" << id << ") reached no handler";
    }
    std::printf("%s menu: %d of %zu items chosen\n", c.name, chosen, menuIds.size());
  }

  // Store Snapshot in a panel opens the control box's snapshot dialog for
  // the panel's instrument, from the main menu as from the panel's key.
  dialogs.clear();
  Establish(kInstrumentPanel);
  ASSERT_TRUE(Choose(cmd::kStoreSnapshot)) << "Store Snapshot is there in an instrument's panel";
  EXPECT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(box->GetInstr(), Synth()->GetOwnInstr());
}

// The Insert pop-ups of a panel and of an instrument's frame on the
// ensemble panel carry their own ids; each item places the control that the
// item of the same name in the main menu's Insert > Panel places.
TEST_F(PanelApp, PanelAndFrameInsertItemsPlaceWhatTheMainMenuItemOfTheirNamePlaces) {
  EscapeHost host;
  Start();
  auto Plain = [](const QAction* a) { return a->text().remove(QLatin1Char('&')).toStdString(); };
  auto SubMenu = [&](QWidget* in, const char* title) -> QMenu* {
    for (QAction* a : in->actions())
      if (a->menu() && Plain(a) == title) return a->menu();
    return nullptr;
  };
  QMenu* mainInsert = SubMenu(Bar(), "Insert");
  ASSERT_NE(mainInsert, nullptr);
  QMenu* mainPanel = SubMenu(mainInsert, "Panel");
  ASSERT_NE(mainPanel, nullptr);
  std::map<std::string, TModuleType> byName;
  for (QAction* a : mainPanel->actions()) {
    if (a->isSeparator() || a->menu()) continue;
    const TInsertCommand* c = FindInsertCommand(a->data().toInt());
    ASSERT_NE(c, nullptr) << Plain(a);
    byName[Plain(a)] = c->type;
  }

  KSModul* synth = Synth();
  synth->OpenPanel(false);
  Top()->OpenPanel(false);
  Settle();
  struct MenuCase {
    const char* name;
    std::function<TVolteonWnd*()> window;
    std::function<QPoint(TVolteonWnd*)> point;
  };
  auto Panel = [](KSModul* m) { return dynamic_cast<TVolteonWnd*>(m->GetPanelWnd()); };
  const MenuCase cases[] = {
      {"instrument panel", [&] { return Panel(synth); },
       [](TVolteonWnd* w) { return QPoint(w->GetExtent().Right() + 8, w->GetExtent().Bottom() + 8); }},
      {"instrument frame on the ensemble panel", [&] { return Panel(Top()); },
       [&](TVolteonWnd*) {
         auto* v = dynamic_cast<TTView*>(synth->GetEnsCtrlView());
         return v ? QPoint(v->GetOrigin().X() + 2, v->GetOrigin().Y() + 2) : QPoint(-1, -1);
       }},
  };
  for (const MenuCase& c : cases) {
    auto OpenInsert = [&]() -> QMenu* {
      TVolteonWnd* w = c.window();
      if (!w) return nullptr;
      Activate(dynamic_cast<IModelWnd*>(w));
      const QPoint at = c.point(w);
      skytest::Press(w->GetDWnd(), at, Qt::RightButton);
      skytest::Release(w->GetDWnd(), at, Qt::RightButton);
      Settle();
      auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      return popup ? SubMenu(popup, "Insert") : nullptr;
    };
    std::vector<std::string> names;
    {
      QMenu* insert = OpenInsert();
      ASSERT_NE(insert, nullptr) << "the " << c.name << "'s menu has an Insert pop-up";
      for (QAction* a : insert->actions())
        if (!a->isSeparator() && !a->menu()) names.push_back(Plain(a));
      QApplication::activePopupWidget()->close();
      Settle();
    }
    int placedCount = 0;
    for (const std::string& name : names) {
      SCOPED_TRACE(std::string(c.name) + ": " + name);
      ASSERT_EQ(byName.count(name), 1u) << "the main menu's Insert > Panel has the item";
      QMenu* insert = OpenInsert();
      ASSERT_NE(insert, nullptr);
      QAction* item = nullptr;
      for (QAction* a : insert->actions())
        if (!a->isSeparator() && !a->menu() && Plain(a) == name) item = a;
      ASSERT_NE(item, nullptr);
      if (!Shown(item)) { // greyed: nothing to place
        QApplication::activePopupWidget()->close();
        Settle();
        continue;
      }
      ++placedCount;
      const int32_t before = synth->GetChildCount();
      item->trigger();
      if (QWidget* open = QApplication::activePopupWidget()) open->close();
      Settle();
      ASSERT_EQ(synth->GetChildCount(), before + 1);
      KSModul* placed = synth->GetChild(synth->GetChildCount() - 1);
      EXPECT_TRUE(placed->IsType(byName[name])) << "placed " << placed->GetCategory() << "/" << placed->GetTypeIndex();
    }
    EXPECT_GE(placedCount, 20) << c.name;
  }
  EXPECT_EQ(host.boxes, 0);
}

// Renaming an instrument in its properties dialog retitles its open panel
// and structure windows; renaming a macro in its module dialog retitles
// the macro's structure window. At once, without another step.
TEST_F(PanelApp, RenamesRetitleTheOpenWindowsAtOnce) {
  EscapeHost host;
  Start();
  KSModul* synth = Synth();
  synth->OpenStructure();
  synth->OpenPanel(false);
  Settle();
  ASSERT_EQ(Title(synth->GetPanelWnd()), "Synth - Panel");
  ASSERT_EQ(Title(synth->GetStructWnd()), "Synth - Structure");
  auto Rename = [&](const char* to) {
    return skytest::ModalScript([to](QDialog& d) {
      auto* label = Ctl<QLineEdit>(d, 3620);
      ASSERT_NE(label, nullptr);
      label->setText(QString::fromUtf8(to));
      dlgscript::Click(d, kIdOk);
    });
  };
  Activate(synth->GetPanelWnd());
  {
    auto script = Rename("Lead");
    ASSERT_TRUE(Choose(cmd::kProperties)) << "Edit > Properties in the panel";
  }
  EXPECT_EQ(std::string(synth->GetLabel().CStr()), "Lead");
  EXPECT_EQ(Title(synth->GetPanelWnd()), "Lead - Panel");
  EXPECT_EQ(Title(synth->GetStructWnd()), "Lead - Structure");

  KSModul* macro = Top()->InsertModule(kTypeMacro, kPlaceNext, false);
  ASSERT_NE(macro, nullptr);
  macro->SetLabel(TStr("Filters"));
  macro->OpenStructure();
  Settle();
  ASSERT_EQ(Title(macro->GetStructWnd()), "Filters - Structure");
  Activate(macro->GetStructWnd());
  {
    auto script = Rename("Filter Bank");
    ASSERT_TRUE(Choose(cmd::kProperties)) << "Edit > Properties in the macro's structure window";
  }
  EXPECT_EQ(std::string(macro->GetLabel().CStr()), "Filter Bank");
  EXPECT_EQ(Title(macro->GetStructWnd()), "Filter Bank - Structure");
  EXPECT_EQ(host.boxes, 0);
}

// Learn, Lock, Solo and Mute show in the Instrument Control Box however
// they change: from the main menu, a panel's menu, the structure window,
// and learn switched off by MIDI input on its own thread.
TEST_F(PanelApp, TheControlBoxFollowsLearnLockSoloAndMuteWhereverTheyChange) {
  EscapeHost host;
  Start();
  KSModul* synth = Synth();
  KInstr* instr = synth->GetOwnInstr();
  synth->OpenPanel(false);
  Settle();
  Activate(synth->GetPanelWnd());
  ASSERT_EQ(box->GetInstr(), instr) << "the active panel's instrument is the current one";

  ASSERT_TRUE(Choose(cmd::kLearn));
  EXPECT_TRUE(instr->GetControllerMode());
  EXPECT_TRUE(Down(boxid::kLearn)) << "Learn from the menu";
  ASSERT_TRUE(Choose(cmd::kLock));
  EXPECT_TRUE(synth->IsPanelLocked());
  EXPECT_TRUE(Down(boxid::kLock)) << "Lock from the menu";
  ASSERT_TRUE(Choose(cmd::kLock));
  EXPECT_FALSE(Down(boxid::kLock)) << "and unlocked again";

  // Mute from the structure window's Edit > Mute on the selected box.
  Top()->OpenStructure();
  Settle();
  Activate(Top()->GetStructWnd());
  TStructWnd::DeselectEverything(Top());
  synth->Select();
  dynamic_cast<TStructWnd*>(Top()->GetStructWnd())->SelectionChanged();
  Settle();
  // The box's instrument list picks the instrument the box shows.
  auto* list = qobject_cast<QComboBox*>(Gadget(boxid::kInstrList));
  ASSERT_NE(list, nullptr);
  const int entry = list->findText(QStringLiteral("Synth"));
  ASSERT_GE(entry, 0);
  list->setCurrentIndex(entry);
  emit list->activated(entry);
  Settle();
  ASSERT_EQ(box->GetInstr(), instr);
  ASSERT_TRUE(Choose(cmd::kMute));
  EXPECT_TRUE(synth->IsMuted());
  EXPECT_TRUE(Down(boxid::kMute)) << "Mute from the structure window";

  // Solo from the instrument frame's menu on the ensemble panel. The
  // right button selects the frame, and the box shows the instrument around
  // it; the box's list brings the synth back before the command runs.
  Top()->OpenPanel(false);
  Settle();
  auto* ensPanel = dynamic_cast<TPanelWnd*>(Top()->GetPanelWnd());
  ASSERT_NE(ensPanel, nullptr);
  Activate(ensPanel);
  auto* frame = dynamic_cast<TCtrlView*>(synth->GetEnsCtrlView());
  ASSERT_NE(frame, nullptr);
  const QPoint at(frame->GetOrigin().X() + 4, frame->GetOrigin().Y() + 4);
  skytest::Press(ensPanel->GetDWnd(), at, Qt::RightButton);
  skytest::Release(ensPanel->GetDWnd(), at, Qt::RightButton);
  Settle();
  auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
  ASSERT_NE(popup, nullptr);
  QAction* solo = ActionOf(popup, cmd::kFrameSolo);
  ASSERT_NE(solo, nullptr);
  ASSERT_TRUE(Shown(solo));
  popup->close();
  Settle();
  list->setCurrentIndex(list->findText(QStringLiteral("Synth")));
  emit list->activated(list->currentIndex());
  Settle();
  ASSERT_EQ(box->GetInstr(), instr);
  ASSERT_FALSE(Down(boxid::kSolo));
  Client()->Command(cmd::kFrameSolo); // what the frame's menu item sends
  Settle();
  EXPECT_TRUE(synth->IsSolo());
  EXPECT_TRUE(Down(boxid::kSolo)) << "Solo from the frame's menu";

  // MIDI input learns a controller on its own thread and switches learn off.
  KSModul* fader = Child(synth, kTypeFader);
  ASSERT_NE(fader, nullptr);
  fader->SetLearnMark(true);
  ASSERT_TRUE(instr->GetControllerMode());
  auto* midi = dynamic_cast<TMidiInOut*>(Ens()->GetMidi());
  ASSERT_NE(midi, nullptr);
  const int32_t channel = instr->GetChannelIndex();
  std::thread input([&] {
    midi->Receive(3, channel, 7, 20);
    midi->Receive(3, channel, 7, 24);
  });
  input.join();
  Settle();
  EXPECT_TRUE(fader->IsRemote()) << "the controller was learned";
  EXPECT_FALSE(instr->GetControllerMode());
  EXPECT_FALSE(Down(boxid::kLearn)) << "learn ended by MIDI";
  EXPECT_EQ(host.boxes, 0);
}

// The fader's view shows the model's value after a snapshot recall from the
// control box, a controller from MIDI input and an undo.
TEST_F(PanelApp, ControlsShowTheirValueAfterARecallAMidiChangeAndAnUndo) {
  EscapeHost host;
  Start();
  KSModul* synth = Synth();
  KSModul* fader = Child(synth, kTypeFader);
  KSModul* out = Ens()->GetAudioOutModule();
  ASSERT_TRUE(fader && out);
  {
    // The fader feeds the instrument's output, which the Audio Out plays.
    TStructureChange bracket(Top());
    KSModul* terminal = synth->InsertModule(kTypeAudioMonoOutTerminal, kPlaceNext, false);
    ASSERT_NE(terminal, nullptr);
    terminal->GetInPort(0)->Connect(fader->GetOutPort(0));
    out->GetInPort(2)->Connect(synth->GetOutPort(synth->GetOutPortCount() - 1));
  }
  ASSERT_NE(fader->GetEngineRecord(), nullptr) << "the fader runs in the engine";
  synth->OpenPanel(false);
  Settle();
  Activate(synth->GetPanelWnd());
  auto Shows = [&](KSModul* m) {
    auto* v = dynamic_cast<TFaderView*>(m->GetInstrCtrlView());
    int32_t want = -2;
    TFaderView::FrameOfStep(m, m->GetControlStep(), &want);
    return v && v->GetShownStep() == want;
  };
  KInstr* instr = synth->GetOwnInstr();
  fader->SetControlStep(30);
  instr->StoreSnap(0, TStr("Low"));
  box->PostRefresh(); // as the snapshot dialog does after a store
  fader->SetControlStep(100);
  Settle();
  ASSERT_TRUE(Shows(fader));

  // Recall from the control box's snapshot list.
  auto* list = qobject_cast<QComboBox*>(Gadget(boxid::kSnapList));
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->count(), 1);
  list->setCurrentIndex(0);
  emit list->activated(0);
  Settle();
  EXPECT_EQ(fader->GetControlStep(), 30) << "the sound takes the recalled value";
  EXPECT_TRUE(Shows(fader)) << "and so does the fader on the panel";

  // A controller from MIDI input, on the input's own thread; the panels'
  // next tick shows it.
  fader->SetControllerNo(7);
  fader->SetRemote(true);
  auto* midi = dynamic_cast<TMidiInOut*>(Ens()->GetMidi());
  ASSERT_NE(midi, nullptr);
  std::thread input([&] { midi->Receive(3, instr->GetChannelIndex(), 7, 90); });
  input.join();
  ticker->Tick();
  Settle();
  EXPECT_EQ(fader->GetControlStep(), 90);
  EXPECT_TRUE(Shows(fader)) << "a MIDI change shows";

  // A fader inserted from the panel's menu, then Edit > Undo: the ensemble
  // comes back as before the insert, and its fader shows the value it had.
  Client()->Command(cmd::kInsertFader);
  Settle();
  ASSERT_TRUE(Choose(cmd::kUndo));
  KSModul* again = Child(Synth(), kTypeFader);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->GetControlStep(), 90) << "the undo keeps the value";
  if (again->GetInstrCtrlView()) {
    EXPECT_TRUE(Shows(again)) << "and the fader shows it";
  }
  EXPECT_EQ(host.boxes, 0);
}

// The README's first voice: an envelope whose ports get controls by Create
// Control, on a module close to the left edge. Its boxes and the ensemble
// panel's controls lie on the canvas, apart from one another; a module
// inserted three times without a click lands beside the others.
TEST_F(PanelApp, NewControlsAndModulesCanBeSeenAndGrabbed) {
  EscapeHost host;
  Start();
  Top()->OpenStructure();
  Settle();
  auto* wnd = dynamic_cast<TStructWnd*>(Top()->GetStructWnd());
  ASSERT_NE(wnd, nullptr);
  QMdiSubWindow* frame = FrameOf(wnd);
  frame->resize(kMainWidth - 40, kMainHeight - 200);
  Activate(wnd);
  DWnd* canvas = wnd->GetDWnd();
  skytest::Press(canvas, QPoint(12, 160));
  skytest::Release(canvas, QPoint(12, 160));
  Settle();
  ASSERT_TRUE(Choose(InsertItem("ADSR")));
  KSModul* env = Child(Top(), kTypeAdsrEnv);
  ASSERT_NE(env, nullptr);
  for (int32_t port = 1; port < env->GetInPortCount(); ++port) {
    auto* handle = AsPortView(env->GetInPort(port)->GetView());
    ASSERT_NE(handle, nullptr);
    TUpdateBracket bracket;
    handle->Execute(cmd::kCreateControl);
  }
  Settle();
  // Three sawtooths from the menu, no click between them.
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(Choose(InsertItem("Sawtooth")));
  TStructWnd::DeselectEverything(Top());
  Settle();

  std::vector<std::pair<std::string, TArea>> boxes;
  for (TTView* v = wnd->FirstChild(); v; v = v->NextSibling())
    if (auto* b = dynamic_cast<TModView*>(v))
      boxes.emplace_back(b->GetModule()->GetLabel().CStr(), b->GetBounds());
  ASSERT_GE(boxes.size(), 8u);
  for (size_t i = 0; i < boxes.size(); ++i) {
    EXPECT_GE(boxes[i].second.Left(), 0) << boxes[i].first;
    EXPECT_GE(boxes[i].second.Top(), 0) << boxes[i].first;
    for (size_t j = i + 1; j < boxes.size(); ++j)
      EXPECT_FALSE(boxes[i].second.Intersects(boxes[j].second)) << boxes[i].first << " and " << boxes[j].first;
  }
  skytest::SaveShot(frame->grab().toImage(), "panel_app_structure.png");

  ASSERT_TRUE(Choose(cmd::kGotoPanel));
  auto* panel = dynamic_cast<TPanelWnd*>(Top()->GetPanelWnd());
  ASSERT_NE(panel, nullptr);
  Settle();
  std::vector<std::pair<std::string, TArea>> controls;
  panel->ForEachCtrlView([&](TCtrlView* v) {
    if (!v->IsVisible()) return;
    const TArea a = v->GetBounds();
    EXPECT_GE(a.Left(), 0) << v->GetModule()->GetLabel().CStr();
    EXPECT_GE(a.Top(), 0) << v->GetModule()->GetLabel().CStr() << ": its caption on the canvas";
    if (!dynamic_cast<TFrameView*>(v)) controls.emplace_back(v->GetModule()->GetLabel().CStr(), a);
  });
  ASSERT_GE(controls.size(), 4u) << "the envelope's controls";
  for (size_t i = 0; i < controls.size(); ++i)
    for (size_t j = i + 1; j < controls.size(); ++j)
      EXPECT_FALSE(controls[i].second.Intersects(controls[j].second))
          << controls[i].first << " and " << controls[j].first << " overlap";
  QMdiSubWindow* panelFrame = FrameOf(panel);
  ASSERT_NE(panelFrame, nullptr);
  skytest::SaveShot(panelFrame->grab().toImage(), "panel_app_panel.png");
  EXPECT_EQ(host.boxes, 0);
}

// A panel and a structure window whose stored places lie off the MDI area
// open inside it, title bar and all, clear of the control boxes.
TEST_F(PanelApp, NewWindowsOpenInsideTheVisibleMdiArea) {
  EscapeHost host;
  Start();
  KSModul* synth = Synth();
  synth->SetPanelWndPos(TPnt(-60, -40));
  synth->SetStructWndPos(TPnt(5000, 4000));
  synth->OpenPanel(false);
  synth->OpenStructure();
  Settle();
  const QRect area = Client()->viewport()->rect();
  for (IModelWnd* w : {synth->GetPanelWnd(), synth->GetStructWnd()}) {
    QMdiSubWindow* frame = FrameOf(w);
    ASSERT_NE(frame, nullptr);
    const QRect r = frame->geometry();
    EXPECT_TRUE(area.contains(r.topLeft()) && area.contains(r.topRight())) << Title(w) << ": title bar at "
                                                                             << r.x() << "," << r.y();
    // No control box covers the title bar.
    const QRect title(frame->mapTo(dapp->MainFrame(), QPoint(0, 0)), QSize(r.width(), 20));
    for (int b : {toolbox::kEnsemble, toolbox::kInstrument}) {
      QDockWidget* dock = box->GetDToolWnd()->Dock(b);
      if (!dock || !dock->isVisible()) continue;
      const QRect d = dock->isFloating() ? QRect(dapp->MainFrame()->mapFromGlobal(dock->pos()), dock->size())
                                         : dock->geometry();
      EXPECT_FALSE(d.intersects(title)) << Title(w) << " under the " << dock->windowTitle().toStdString();
    }
  }
  const QString platform = QGuiApplication::platformName();
  skytest::SaveShot(dapp->MainFrame()->grab().toImage(),
                    "panel_app_windows_" + platform.toStdString() + ".png");
  EXPECT_EQ(host.boxes, 0);
}

// Muting a meter lets its held level fall below its range, as muting a
// lamp puts it out: the panel shows no lit segment.
TEST_F(PanelApp, AMutedMeterGoesDarkAsAMutedLampDoes) {
  EscapeHost host;
  Start();
  KSModul* synth = Synth();
  KSModul* fader = Child(synth, kTypeFader);
  ASSERT_NE(fader, nullptr);
  KSModul* meter = synth->InsertModule(kTypeMeter, kPlaceNextPanel, false);
  ASSERT_NE(meter, nullptr);
  {
    TStructureChange bracket(Top());
    meter->GetInPort(0)->Connect(fader->GetOutPort(0));
    KSModul* terminal = synth->InsertModule(kTypeAudioMonoOutTerminal, kPlaceNext, false);
    terminal->GetInPort(0)->Connect(fader->GetOutPort(0));
    Ens()->GetAudioOutModule()->GetInPort(2)->Connect(synth->GetOutPort(synth->GetOutPortCount() - 1));
  }
  meter->SetControlRange(0.0f, 0, 1.0f, 127, 0.0f);
  fader->SetControlValue(fader->GetMaximum());
  synth->OpenPanel(false);
  Settle();
  auto* view = dynamic_cast<TMeterView*>(meter->GetInstrCtrlView());
  ASSERT_NE(view, nullptr);
  ASSERT_NE(meter->GetEngineRecord(), nullptr) << "the meter runs";
  auto* driver = dynamic_cast<TOfflineAudio*>(Ens()->GetAudio());
  ASSERT_NE(driver, nullptr);
  std::vector<float> frames(2 * 256);
  driver->Render(nullptr, frames.data(), 256);
  for (int i = 0; i < 3; ++i) ticker->Tick();
  Settle();
  ASSERT_GT(view->GetCount(), 0) << "the meter shows the fader's level";

  // Edit > Mute on the meter's box in the instrument's structure window.
  synth->OpenStructure();
  Settle();
  Activate(synth->GetStructWnd());
  TStructWnd::DeselectEverything(Top());
  meter->Select();
  ASSERT_TRUE(Choose(cmd::kMute));
  ASSERT_TRUE(meter->IsMuted());
  for (int i = 0; i < 3; ++i) ticker->Tick();
  Settle();
  EXPECT_EQ(view->GetCount(), 0) << "a muted meter lights nothing";
  EXPECT_EQ(host.boxes, 0);
}

}  // namespace
