// The menus' keys and access letters, pressed as a user presses them: the
// program starts as its main starts it (sound through the real ALSA driver
// on the test's `file` device), keys go to the window that has the keyboard
// and the event loop does the rest. A key that a label shows after its tab
// works, and only through the label; no two items of one menu share an
// access letter, so Alt and a letter choose their item at once.
#include "pc/sky/app.h"
#include "pc/sky/mdi.h"
#include "pc/sky/menu.h"
#include "pc/sky/wnd.h"
#include "src/base/file.h"
#include "src/base/settings.h"
#include "src/engine/audioio.h"
#include "src/mod/ensemble.h"
#include "src/mod/mod.h"
#include "src/volteon/commands.h"
#include "src/volteon/strucwnd.h"
#include "src/volteon/volteon.h"
#include "tests/volteon/appfixture.h"
#include "tests/common/testkit.h"
#include "tests/sky/skyfixture.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string Text(const QAction* a) { return a->text().toStdString(); }

// Every level of a menu: no two items share an access letter.
void ExpectDistinctAccessLetters(QWidget* menu, const std::string& where) {
  std::map<int, std::string> seen;
  for (QAction* a : menu->actions()) {
    if (a->isSeparator()) continue;
    const QKeySequence letter = QKeySequence::mnemonic(a->text());
    if (!letter.isEmpty()) {
      auto [it, fresh] = seen.emplace(letter[0].key(), Text(a));
      EXPECT_TRUE(fresh) << where << ": \"" << Text(a) << "\" and \"" << it->second << "\" share an access letter";
    }
    if (a->menu()) ExpectDistinctAccessLetters(a->menu(), where + " > " + Text(a));
  }
}

// The command items of a menu and its pop-ups, in the order they show.
void CommandItems(QWidget* menu, std::vector<QAction*>& out) {
  for (QAction* a : menu->actions()) {
    if (a->menu()) CommandItems(a->menu(), out);
    else if (!a->isSeparator() && a->data().toInt() != 0) out.push_back(a);
  }
}

class MenuKeys : public ::testing::Test {
protected:
  void SetUp() override {
    // The program beside its template and its library folders.
    install = testkit::TempDir("menus-install");
    OverrideProgramPath(TStr((install + "/bin/Quorvex").c_str()));
    fs::create_directories(install + "/bin");
    fs::copy_file(QV_BUILD_TREE "/bin/new.ens", install + "/bin/new.ens");
    for (const char* lib : {"Ensembles", "Instruments", "Macros"}) fs::create_directories(install + "/Library/" + lib);
    OpenSettings(TStr(kProductKey));
    WriteSettingStr(TStr(setting::TmpDir), TStr(testkit::TempDir("menus-tmp").c_str()));
  }
  void TearDown() override {
    dapp.reset();
    app = nullptr;
    Settle();
  }

  // Starts the program as its main does.
  void Start() {
    dapp = apptest::StartAsMain(app, 1000, 720);
    ASSERT_NE(app, nullptr);
    ASSERT_NE(Wnd(), nullptr) << "the top structure window opens at the start";
    Activate(Wnd());
  }
  static void Settle() { apptest::Settle(); }
  KSModul* Top() { return app->GetEnsemble()->GetTopModule(); }
  TStructWnd* Wnd() { return AsStructWnd(Top()->GetStructWnd()); }
  TWnd* Panel() { return dynamic_cast<TWnd*>(Top()->GetPanelWnd()); }
  QMenuBar* Bar() { return dapp->MainFrame()->menuBar(); }
  DMenu* MainMenu() { return dynamic_cast<DMenu*>(GetMainMenu()); }

  // The window gets the keyboard, as after a click on it.
  void Activate(TWnd* w) {
    QMainWindow* frame = dapp->MainFrame();
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame)) << "the main window becomes the active window";
    if (auto* sub = qobject_cast<QMdiSubWindow*>(w->GetDWnd()->parentWidget())) dapp->Client()->setActiveSubWindow(sub);
    w->GetDWnd()->setFocus();
    Settle();
  }
  QMdiSubWindow* ActiveFrame() { return dapp->Client()->activeSubWindow(); }
  // A key pressed and let go where the keyboard is.
  void Press(QKeySequence key) {
    QWidget* target = QApplication::focusWidget();
    if (!target) target = dapp->MainFrame();
    QTest::keyClick(target, key[0].key(), key[0].keyboardModifiers());
    Settle();
  }

  testkit::ScriptedHost gui;
  std::string install;
  std::unique_ptr<DApp> dapp;
  TVolteon* app = nullptr;
};

TEST_F(MenuKeys, NoTwoItemsOfAMenuShareAnAccessLetter) {
  // A library file whose name holds "&" shows it as it is.
  std::ofstream(install + "/Library/Macros/Rock & Roll.mdl") << "";
  std::ofstream(install + "/Library/Macros/Open.mdl") << "";
  ASSERT_NO_FATAL_FAILURE(Start());
  // The main menu as it stands, and again after the items that change their
  // texts did so.
  ExpectDistinctAccessLetters(Bar(), "main menu");
  Press(QKeySequence(Qt::KeypadModifier | Qt::Key_0));
  Press(QKeySequence(Qt::CTRL | Qt::Key_H));
  for (int32_t id : {cmd::kEnsembleToolbar, cmd::kInstrumentToolbar}) {
    skytest::ActionOf(Bar(), id)->trigger();
    Settle();
  }
  EXPECT_EQ(Text(skytest::ActionOf(Bar(), cmd::kStopAudio)), "Run &Audio\tNum 0");
  ExpectDistinctAccessLetters(Bar(), "main menu, toggled");
  Press(QKeySequence(Qt::KeypadModifier | Qt::Key_0)); // the sound runs again
  // Every menu of the windows: the structure window's, the boxes', the
  // ports' and wires', the panels' and their controls'.
  for (int32_t id : MenuTableIds()) {
    DMenu menu(id);
    ExpectDistinctAccessLetters(menu.Menu(), "menu " + std::to_string(id));
  }
  // The structure window's own menu as a right click shows it, with the
  // library pop-ups.
  DWnd* canvas = Wnd()->GetDWnd();
  const QPoint empty(canvas->width() - 8, canvas->height() - 8);
  skytest::Press(canvas, empty, Qt::RightButton);
  skytest::Release(canvas, empty, Qt::RightButton);
  Settle();
  auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
  ASSERT_NE(popup, nullptr) << "the context menu shows";
  ExpectDistinctAccessLetters(popup, "structure context menu");
  std::vector<std::string> macros;
  for (QAction* a : popup->actions())
    if (a->menu() && a->text() == QLatin1String("Macros"))
      for (QAction* m : a->menu()->actions()) macros.push_back(Text(m));
  EXPECT_EQ(macros, (std::vector<std::string>{"Open", "Rock && Roll", "&Open..."}));
  popup->close();
  Settle();
}

// Every label's key, pressed in the structure window, reaches the first item
// that shows it (each item answers "enabled" here; what the commands do is
// the tests' below). Keys that only a context menu showed would never work.
TEST_F(MenuKeys, EveryKeyALabelShowsRunsItsItem) {
  ASSERT_NO_FATAL_FAILURE(Start());
  std::vector<int32_t> ran;
  TCommandTarget recorder;
  recorder.execute = [&](int32_t id) { ran.push_back(id); };
  recorder.query = [](int32_t, int& enabled, int&, int&) { enabled = 1; };
  MainMenu()->SetTarget(recorder);
  std::vector<QAction*> items;
  CommandItems(Bar(), items);
  int labelled = 0;
  for (QAction* item : items) {
    const QString label = item->text();
    if (!label.contains(QLatin1Char('\t'))) continue;
    ++labelled;
    const QList<QKeySequence> keys = LabelKeys(label);
    EXPECT_FALSE(keys.isEmpty()) << Text(item) << ": a key the menus know";
    for (const QKeySequence& key : keys) {
      int32_t first = 0;
      for (QAction* other : items)
        if (LabelKeys(other->text()).contains(key)) {
          first = other->data().toInt();
          break;
        }
      ran.clear();
      Press(key);
      EXPECT_EQ(ran, std::vector<int32_t>{first}) << Text(item) << ": " << key.toString().toStdString();
    }
  }
  EXPECT_GE(labelled, 20);
  // A key no label shows runs nothing.
  ran.clear();
  Press(QKeySequence(Qt::CTRL | Qt::Key_J));
  EXPECT_TRUE(ran.empty());
  MainMenu()->SetTarget({});
  // The windows' own menus show no key that the main menu does not give to
  // the same command.
  for (int32_t id : MenuTableIds()) {
    DMenu menu(id);
    std::vector<QAction*> own;
    CommandItems(menu.Menu(), own);
    for (QAction* a : own)
      for (const QKeySequence& key : LabelKeys(a->text())) {
        bool served = false;
        for (QAction* m : items) served = served || (m->data() == a->data() && LabelKeys(m->text()).contains(key));
        EXPECT_TRUE(served) << "menu " << id << ": " << Text(a);
      }
  }
}

// The keypad's 0 stops and runs the sound (the digit row's 0 is a note);
// Ctrl+E offers to save the window's structure.
TEST_F(MenuKeys, KeypadZeroStopsTheSoundAndCtrlESavesTheWindow) {
  ASSERT_NO_FATAL_FAILURE(Start());
  IAudioInOut* audio = app->GetEnsemble()->GetAudio();
  ASSERT_NE(audio, nullptr);
  ASSERT_FALSE(audio->IsPaused());
  Press(QKeySequence(Qt::Key_0));
  EXPECT_FALSE(audio->IsPaused()) << "the digit row's 0 plays a note, it does not stop the sound";
  Press(QKeySequence(Qt::KeypadModifier | Qt::Key_0));
  EXPECT_TRUE(audio->IsPaused()) << "Num 0 stops the sound";
  EXPECT_EQ(Text(skytest::ActionOf(Bar(), cmd::kStopAudio)), "Run &Audio\tNum 0");
  Press(QKeySequence(Qt::KeypadModifier | Qt::Key_0));
  EXPECT_FALSE(audio->IsPaused()) << "and runs it again";
  EXPECT_EQ(Text(skytest::ActionOf(Bar(), cmd::kStopAudio)), "Stop &Audio\tNum 0");

  const std::string saved = testkit::TempDir("menus-saved") + "/Top.ism";
  gui.QueueFileChoice(saved);
  Press(QKeySequence(Qt::CTRL | Qt::Key_E));
  ASSERT_EQ(gui.FileDialogs().size(), 1u) << "Ctrl+E asks for a file name";
  EXPECT_TRUE(gui.FileDialogs()[0].save);
  EXPECT_EQ(gui.FileDialogs()[0].title, "Save As");
  EXPECT_TRUE(fs::exists(saved)) << "the window's structure is written";
  EXPECT_TRUE(gui.Boxes().empty());
}

// Alt+Y opens the System menu, F chooses Preferences.
TEST_F(MenuKeys, AltYThenFOpensThePreferences) {
  ASSERT_NO_FATAL_FAILURE(Start());
  Press(QKeySequence(Qt::ALT | Qt::Key_Y));
  auto* system = qobject_cast<QMenu*>(QApplication::activePopupWidget());
  ASSERT_NE(system, nullptr) << "Alt+Y opens a menu";
  EXPECT_EQ(system->title().toStdString(), "S&ystem");
  std::printf("picture: %s\n", skytest::SaveShot(system->grab().toImage(), "menu_system.png").c_str());
  std::string opened;
  {
    skytest::ModalScript script([&](QDialog& d) { opened = d.windowTitle().toStdString(); });
    QTest::keyClick(system, Qt::Key_F);
    Settle();
  }
  EXPECT_EQ(opened, "Preferences");
  EXPECT_EQ(QApplication::activePopupWidget(), nullptr) << "the menu closed";
}

// Ctrl+B: in a structure window Goto Panel, in a panel Goto Structure, as
// their labels say; Alt+Enter the properties of the shown structure; the
// Edit menu's Solo and second Properties stay greyed.
TEST_F(MenuKeys, CtrlBGoesToThePanelAndBackAltEnterShowsTheProperties) {
  ASSERT_NO_FATAL_FAILURE(Start());
  Press(QKeySequence(Qt::CTRL | Qt::Key_B));
  ASSERT_NE(Panel(), nullptr) << "Ctrl+B in the structure window opens the panel";
  EXPECT_EQ(ActiveFrame(), Panel()->GetDWnd()->parentWidget());
  Activate(Panel());
  Press(QKeySequence(Qt::CTRL | Qt::Key_B));
  EXPECT_EQ(ActiveFrame(), Wnd()->GetDWnd()->parentWidget()) << "Ctrl+B in the panel goes to the structure";

  Activate(Wnd());
  std::string opened;
  {
    skytest::ModalScript script([&](QDialog& d) { opened = d.windowTitle().toStdString(); });
    Press(QKeySequence(Qt::ALT | Qt::Key_Return));
  }
  EXPECT_NE(opened.find("Properties"), std::string::npos) << opened;

  Activate(Wnd()); // the dialog had the keyboard
  Press(QKeySequence(Qt::ALT | Qt::Key_E));
  auto* editMenu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
  ASSERT_NE(editMenu, nullptr) << "Alt+E opens the Edit menu";
  std::printf("picture: %s\n", skytest::SaveShot(editMenu->grab().toImage(), "menu_edit.png").c_str());
  editMenu->close();
  Settle();
  for (int32_t id : {cmd::kEditSolo, cmd::kEditProperties}) {
    QAction* a = skytest::ActionOf(Bar(), id);
    ASSERT_NE(a, nullptr) << id;
    auto* edit = qobject_cast<QMenu*>(a->parent());
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->title().toStdString(), "&Edit");
    emit edit->aboutToShow();
    EXPECT_FALSE(a->isEnabled()) << Text(a) << " is greyed";
    emit edit->aboutToHide();
  }
  EXPECT_EQ(Text(skytest::ActionOf(Bar(), cmd::kEditSolo)), "Solo");
  EXPECT_EQ(Text(skytest::ActionOf(Bar(), cmd::kEditProperties)), "Properties");
}

} // namespace
