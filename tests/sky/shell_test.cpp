// The application shell, the main window with its MDI client and document
// frames, command routing and keys.
#include "pc/sky/app.h"
#include "pc/sky/mdi.h"
#include "pc/sky/qthost.h"
#include "src/base/file.h"
#include "src/base/settings.h"
#include "tests/sky/skyfixture.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>

#include <stdexcept>

namespace {

using skytest::BoxView;

struct KeyReport {
  int keyClass, code, down;
  bool operator==(const KeyReport& o) const { return keyClass == o.keyClass && code == o.code && down == o.down; }
};
std::ostream& operator<<(std::ostream& os, const KeyReport& k) {
  return os << "{" << k.keyClass << "," << k.code << "," << k.down << "}";
}

class TestApp : public TApp {
public:
  TestApp() {
    AddCmd(kNew, [this] { ran.push_back(kNew); }, [this] { return newEnabled; });
  }
  static constexpr int32_t kNew = 1200;
  void StartUp() override {
    ++startUps;
    if (onStartUp) onStartUp();
  }
  void About() override { ++abouts; }
  void KeyChange(int keyClass, int code, int down) override { keys.push_back({keyClass, code, down}); }
  int MayClose() override { return mayClose; }
  void OpenCtrlBox() override { ++ctrlBoxOpened; }
  std::function<void()> onStartUp;
  int startUps = 0, abouts = 0, ctrlBoxOpened = 0, mayClose = 1, newEnabled = 1;
  std::vector<int32_t> ran;
  std::vector<KeyReport> keys;
};

char* Arg(const char* s) { return const_cast<char*>(s); }

TEST(Shell, ArgumentsAreJoinedWithSingleBlanksIntoOneFileName) {
  struct Case {
    std::vector<const char*> argv;
    const char* joined;
  };
  const Case cases[] = {{{"Quorvex"}, ""}, {{"Quorvex", "a"}, "a"}, {{"Quorvex", "a", "b c", "d"}, "a b c d"}};
  for (const Case& c : cases) {
    std::vector<char*> argv;
    for (const char* a : c.argv) argv.push_back(Arg(a));
    EXPECT_EQ(sky::JoinArguments(int(argv.size()), argv.data()), TStr(c.joined));
  }
}

TEST(Shell, WithoutAnApplicationObjectMainReturnsMinusOneBeforeAnyWindow) {
  char* argv[] = {Arg("Quorvex")};
  EXPECT_EQ(sky::RunMain(1, argv, [] { return nullptr; }), sky::kFailed);
  EXPECT_EQ(GetMDIClient(), nullptr);
  EXPECT_EQ(GetApp(), nullptr);
  EXPECT_EQ(GetDApp(), nullptr);
}

TEST(Shell, AnExceptionReachingMainIsShownCaptionedExceptionAndGivesMinusOne) {
  struct Case {
    const char* what;
    std::function<IApp*()> factory;
    const char* text;
  };
  const Case cases[] = {
      {"from the factory", [] () -> IApp* { throw std::runtime_error("factory broke"); }, "factory broke"},
      {"from the start-up",
       [] {
         auto* app = new TestApp;
         app->onStartUp = [] { throw std::runtime_error("start-up broke"); };
         return app;
       },
       "start-up broke"},
  };
  for (const Case& c : cases) {
    QString caption, text;
    int boxes = 0;
    auto previous = sky::SetModalRunner([&](QDialog& d) {
      ++boxes;
      caption = d.windowTitle();
      if (auto* box = qobject_cast<QMessageBox*>(&d)) text = box->text();
      return 0;
    });
    char* argv[] = {Arg("Quorvex")};
    EXPECT_EQ(sky::RunMain(1, argv, c.factory), sky::kFailed) << c.what;
    sky::SetModalRunner(previous);
    EXPECT_EQ(boxes, 1) << c.what;
    EXPECT_EQ(caption, QStringLiteral("Exception")) << c.what;
    EXPECT_EQ(text, QString::fromUtf8(c.text)) << c.what;
    EXPECT_EQ(GetApp(), nullptr) << c.what;
  }
}

TEST(Shell, AFirstRunPlacesTheMainWindowByDefaultStartsUpAndSavesThePlacement) {
  OpenSettings("ShellFirstRun");
  QPoint pos;
  QSize size;
  TStr file;
  char* argv[] = {Arg("Quorvex"), Arg("my"), Arg("song.ens")};
  const int result = sky::RunMain(3, argv, [&] {
    auto* app = new TestApp;
    app->onStartUp = [&, app] {
      pos = GetDApp()->MainFrame()->pos();
      size = GetDApp()->MainFrame()->size();
      file = app->GetCommandLineFile()->GetPath();
      EXPECT_EQ(app->ctrlBoxOpened, 0) << "the control box opens on the loop's first pass";
      EXPECT_NE(app->GetMenu(), nullptr);
      app->Quit();
    };
    return app;
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(pos, QPoint(sky::kMainDefaultX, sky::kMainDefaultY));
  EXPECT_EQ(size, QSize(sky::kMainDefaultW, sky::kMainDefaultH));
  EXPECT_NE(file.FindStr(TStr("my song.ens")), -1) << file.CStr();
  EXPECT_EQ(GetApp(), nullptr) << "the application object went with the shell";
  EXPECT_EQ(int32_t(ReadSettingInt(setting::MainX, 0)), sky::kMainDefaultX);
  EXPECT_EQ(int32_t(ReadSettingInt(setting::MainY, 0)), sky::kMainDefaultY);
  EXPECT_EQ(int32_t(ReadSettingInt(setting::MainW, 0)), sky::kMainDefaultW);
  EXPECT_EQ(int32_t(ReadSettingInt(setting::MainH, 0)), sky::kMainDefaultH);
}

// ---------------------------------------------------------------- main window

constexpr int32_t kWindowCmd = 1600;

void RegisterMainMenu() {
  RegisterMenuTable(sky::kMainMenuId,
                    {MenuPopup("&File", {MenuCommand("&New\tCtrl+N", TestApp::kNew), MenuSeparator(),
                                         MenuCommand("E&xit", cmd::kExit)}),
                     MenuPopup("&Edit", {MenuCommand("&Window command", kWindowCmd)}),
                     MenuPopup("&Window", {MenuCommand("&Cascade", cmd::kCascade), MenuCommand("&Tile", cmd::kTile),
                                           MenuCommand("&Arrange Icons", cmd::kArrangeIcons),
                                           MenuCommand("C&lose All", cmd::kCloseAll)}),
                     MenuPopup("&Help", {MenuCommand("&About...", cmd::kAbout)})});
}

// A document window that says when it goes.
struct DocWnd : TWnd {
  explicit DocWnd(int* gone) : TWnd(NewDocumentFrame()), gone(gone) {
    new BoxView(this, TArea(20, 20, 140, 90), StdColor(TStdColor::Teal));
    new BoxView(this, TArea(60, 50, 200, 120), StdColor(TStdColor::Yellow));
    AddCmd(kWindowCmd, [this] { ++ran; });
  }
  ~DocWnd() override { ++*gone; }
  int* gone;
  int ran = 0;
};

class MainWindowTest : public ::testing::Test {
protected:
  void SetUp() override {
    OpenSettings("ShellMainWindow");
    RegisterMainMenu();
    dapp = std::make_unique<DApp>([this] {
      app = new TestApp;
      return app;
    });
    dapp->InitMainWindow();
    frame = dapp->MainFrame();
    client = dapp->Client();
    Settle();
  }
  void TearDown() override { dapp.reset(); }
  static void Settle() {
    QCoreApplication::sendPostedEvents();
    QApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  std::unique_ptr<DApp> dapp;
  TestApp* app = nullptr;
  DMainFrame* frame = nullptr;
  DMDIClient* client = nullptr;
};

TEST_F(MainWindowTest, TheShellStartsTheApplicationAndOpensTheControlBoxOnTheFirstPass) {
  EXPECT_EQ(app->startUps, 1);
  EXPECT_EQ(app->ctrlBoxOpened, 1);
  EXPECT_EQ(platform::GetClientWindowHandle(), static_cast<void*>(client));
  EXPECT_EQ(GetViewTicker() != nullptr, true);
  app->SetMainTitle("Quorvex - test");
  EXPECT_EQ(frame->windowTitle(), QStringLiteral("Quorvex - test"));
}

TEST_F(MainWindowTest, PlacementSetBeforeCreateIsUsedAndRoundTripsWithoutShrinking) {
  int gone = 0;
  auto* doc = new DocWnd(&gone);
  doc->SetPlacement(0, TPnt(30, 25), TArea(0, 0, 260, 170));
  int state = -1;
  TPnt pos;
  TArea view;
  doc->GetPlacement(&state, &pos, &view);
  EXPECT_EQ(pos, TPnt(30, 25)) << "stored while there is no frame window";
  EXPECT_EQ(view, TArea(0, 0, 260, 170));
  doc->Create();
  Settle();
  auto* dec = dynamic_cast<DDecWnd*>(doc->GetDWnd()->parentWidget());
  ASSERT_NE(dec, nullptr);
  EXPECT_TRUE(dec->IsCreated());
  EXPECT_EQ(dec->pos(), QPoint(30, 25));
  EXPECT_EQ(doc->GetDWnd()->size(), QSize(260, 170));
  for (int cycle = 0; cycle < 3; ++cycle) {
    doc->GetPlacement(&state, &pos, &view);
    doc->SetPlacement(state, pos, view);
    Settle();
  }
  doc->GetPlacement(&state, &pos, &view);
  EXPECT_EQ(pos, TPnt(30, 25));
  EXPECT_EQ(view.Width(), 260) << "the stored size is the client size, both ways";
  EXPECT_EQ(view.Height(), 170);
  delete doc;
  EXPECT_EQ(gone, 1);
}

TEST_F(MainWindowTest, AFrameClosedByTheUserTakesItsWindowAlongExactlyOnce) {
  struct Case {
    const char* what;
    bool closeFirst, deleteBeforeTheFrameGoes;
  };
  const Case cases[] = {
      {"the program deletes the window", false, true},
      {"the user closes the frame", true, false},
      {"the user closes, the program deletes before the frame goes", true, true},
  };
  for (const Case& c : cases) {
    int gone = 0;
    auto* doc = new DocWnd(&gone);
    doc->Create();
    Settle();
    ASSERT_EQ(client->subWindowList().size(), 1) << c.what;
    QPointer<QWidget> dec = doc->GetDWnd()->parentWidget();
    if (c.closeFirst) dec->close();
    if (c.deleteBeforeTheFrameGoes) delete doc;
    Settle();
    EXPECT_EQ(gone, 1) << c.what;
    EXPECT_TRUE(dec.isNull()) << c.what;
    EXPECT_TRUE(client->subWindowList().isEmpty()) << c.what;
  }
}

TEST_F(MainWindowTest, MenuCommandsReachTheWindowAndTheApplicationAndGreyedOnesNeverRun) {
  int gone = 0;
  auto* doc = new DocWnd(&gone);
  doc->Create();
  Settle();
  client->setActiveSubWindow(client->subWindowList().first());
  ASSERT_EQ(client->ActiveCanvas(), doc->GetDWnd());
  client->Command(kWindowCmd);
  EXPECT_EQ(doc->ran, 1);
  client->Command(TestApp::kNew);
  EXPECT_TRUE(app->ran.empty()) << "an application command from a window runs after the current event";
  Settle();
  EXPECT_EQ(app->ran, std::vector<int32_t>{TestApp::kNew});
  client->Command(cmd::kAbout);
  Settle();
  EXPECT_EQ(app->abouts, 1);
  // Enabling as the menus ask it.
  struct Case {
    int32_t id;
    int enabled;
  };
  app->newEnabled = 0;
  const Case cases[] = {{TestApp::kNew, 0}, {kWindowCmd, 1}, {cmd::kAbout, 1}, {cmd::kTile, 1},
                        {cmd::kArrangeIcons, 0}, {1777, 0}, {9000, 1}};
  for (const Case& c : cases) {
    int enabled = -1, hasCheck = 0, checked = 0;
    client->Query(c.id, enabled, hasCheck, checked);
    EXPECT_EQ(enabled, c.enabled) << c.id;
  }
  // The main menu's item asks before it runs.
  QAction* item = nullptr;
  for (QAction* top : frame->menuBar()->actions())
    for (QAction* a : top->menu()->actions())
      if (a->data().toInt() == TestApp::kNew) item = a;
  ASSERT_NE(item, nullptr);
  item->trigger();
  Settle();
  EXPECT_EQ(app->ran.size(), 1u) << "greyed: it never ran";
  app->newEnabled = 1;
  item->trigger();
  Settle();
  EXPECT_EQ(app->ran.size(), 2u);
  client->Command(cmd::kCloseAll);
  Settle();
  EXPECT_EQ(gone, 1);
}

TEST_F(MainWindowTest, TheMainWindowClosesOnlyWhenTheApplicationAgrees) {
  app->mayClose = 0;
  client->Command(cmd::kExit);
  EXPECT_TRUE(frame->isVisible());
  app->mayClose = 1;
  client->Command(cmd::kExit);
  EXPECT_FALSE(frame->isVisible());
}

TEST_F(MainWindowTest, TheMainWindowWithAMenuAndADocumentLooksRight) {
  int gone = 0;
  auto* doc = new DocWnd(&gone);
  doc->SetTitle("Ensemble - Structure");
  doc->SetPlacement(0, TPnt(20, 15), TArea(0, 0, 280, 180));
  doc->Create();
  Settle();
  const QImage shot = frame->grab().toImage();
  const std::string path = skytest::SaveShot(shot, "main_window.png");
  EXPECT_EQ(shot.size(), frame->size());
  EXPECT_FALSE(frame->menuBar()->actions().isEmpty());
  // The canvas shows its views where they are.
  const QImage canvas = skytest::Screen(doc->GetDWnd());
  EXPECT_EQ(QColor(canvas.pixel(30, 30)), QColor(0, 128, 128));
  EXPECT_EQ(QColor(canvas.pixel(150, 100)), QColor(255, 255, 0));
  EXPECT_EQ(QColor(canvas.pixel(250, 160)), QColor(255, 255, 255));
  delete doc;
}

TEST_F(MainWindowTest, TheWindowCommandsArrangeTheFrames) {
  int gone = 0;
  auto* a = new DocWnd(&gone);
  auto* b = new DocWnd(&gone);
  a->Create();
  b->Create();
  Settle();
  const QList<QMdiSubWindow*> frames = client->subWindowList();
  ASSERT_EQ(frames.size(), 2);
  client->Command(cmd::kTile);
  Settle();
  EXPECT_FALSE(frames[0]->geometry().intersects(frames[1]->geometry())) << "tiled frames lie side by side";
  client->Command(cmd::kCascade);
  Settle();
  EXPECT_TRUE(frames[0]->geometry().intersects(frames[1]->geometry()));
  EXPECT_NE(frames[0]->pos(), frames[1]->pos()) << "cascaded frames are offset";
  int enabled = 0, hasCheck = 0, checked = 0;
  client->Query(cmd::kArrangeIcons, enabled, hasCheck, checked);
  EXPECT_EQ(enabled, 0) << "nothing minimised";
  for (QMdiSubWindow* f : frames) f->showMinimized();
  Settle();
  client->Query(cmd::kArrangeIcons, enabled, hasCheck, checked);
  EXPECT_EQ(enabled, 1);
  client->Command(cmd::kArrangeIcons);
  EXPECT_EQ(frames[0]->geometry().bottom(), client->viewport()->height() - 1) << "along the bottom edge";
  EXPECT_EQ(frames[0]->y(), frames[1]->y());
  EXPECT_LT(frames[0]->x(), frames[1]->x());
  client->Command(cmd::kCloseAll);
  Settle();
  EXPECT_EQ(gone, 2);
  EXPECT_TRUE(client->subWindowList().isEmpty());
}

// A view with a context menu of two commands, one of them greyed.
struct MenuBox : BoxView {
  static constexpr int32_t kCut = 4001, kPaste = 4002;
  MenuBox(TTView* parent) : BoxView(parent, TArea(220, 20, 300, 80), StdColor(TStdColor::Purple)), menu(menu::kEmptyPopup) {
    menu.InsertItem(menu::kAppend, kCut, "Cu&t", menu::kByCommand);
    menu.InsertItem(menu::kAppend, kPaste, "&Paste", menu::kByCommand);
    SetContextMenu(&menu);
    AddCmd(kCut, [this] { ran.push_back(kCut); }, [] { return 1; }, [] { return 1; });
    AddCmd(kPaste, [this] { ran.push_back(kPaste); }, [] { return 0; });
  }
  DMenu menu;
  std::vector<int32_t> ran;
};

TEST_F(MainWindowTest, AContextMenuShowsItsViewsCommandStatesAndRunsThemThere) {
  int gone = 0;
  auto* doc = new DocWnd(&gone);
  auto* box = new MenuBox(doc);
  doc->SetPlacement(0, TPnt(0, 0), TArea(0, 0, 320, 200));
  doc->Create();
  Settle();
  DWnd* canvas = doc->GetDWnd();
  skytest::Press(canvas, QPoint(230, 30), Qt::RightButton);
  skytest::Release(canvas, QPoint(230, 30), Qt::RightButton);
  Settle();
  ASSERT_EQ(QApplication::activePopupWidget(), box->menu.Popup());
  QAction* cut = box->menu.Popup()->actions()[0];
  QAction* paste = box->menu.Popup()->actions()[1];
  EXPECT_TRUE(cut->isEnabled());
  EXPECT_TRUE(cut->isChecked());
  EXPECT_FALSE(paste->isEnabled());
  skytest::SaveShot(box->menu.Popup()->grab().toImage(), "context_menu.png");
  cut->trigger();
  box->menu.Popup()->close();
  paste->trigger(); // its shortcut, say: asked again, still greyed
  Settle();
  EXPECT_EQ(box->ran, std::vector<int32_t>{MenuBox::kCut});
  delete doc;
}

// ---------------------------------------------------------------- keys

QKeyEvent KeyEvent(QEvent::Type type, int key, bool autoRepeat) {
  return QKeyEvent(type, key, Qt::NoModifier, 0, 0, 0, QString(), autoRepeat);
}

class KeyTest : public MainWindowTest {
protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    doc = new DocWnd(&gone);
    doc->Create();
    Settle();
    frame->activateWindow();
    doc->GetDWnd()->setFocus();
    Settle();
  }
  void TearDown() override {
    delete doc;
    MainWindowTest::TearDown();
  }
  void Send(QWidget* to, QEvent::Type type, int key, bool autoRepeat = false) {
    QKeyEvent e = KeyEvent(type, key, autoRepeat);
    QApplication::sendEvent(to, &e);
  }
  int gone = 0;
  DocWnd* doc = nullptr;
};

TEST_F(KeyTest, AHeldKeyWithAutoRepeatGivesOneDownAndOneUp) {
  QWidget* canvas = doc->GetDWnd();
  ASSERT_EQ(QApplication::focusWidget(), canvas);
  struct Case {
    int key, keyClass, code;
  };
  const Case cases[] = {{Qt::Key_Control, keyclass::kCtrl, 0x1D}, {Qt::Key_Shift, keyclass::kShift, 0x2A},
                        {Qt::Key_Q, keyclass::kOther, 0x10}, {Qt::Key_Comma, keyclass::kOther, 0x33}};
  for (const Case& c : cases) {
    app->keys.clear();
    Send(canvas, QEvent::KeyPress, c.key);
    for (int i = 0; i < 5; ++i) {
      Send(canvas, QEvent::KeyRelease, c.key, true);
      Send(canvas, QEvent::KeyPress, c.key, true);
    }
    Send(canvas, QEvent::KeyPress, c.key); // a repeat the system did not mark
    Send(canvas, QEvent::KeyRelease, c.key);
    Send(canvas, QEvent::KeyRelease, c.key); // a stray release
    const std::vector<KeyReport> expected{{c.keyClass, c.code, 1}, {c.keyClass, c.code, 0}};
    EXPECT_EQ(app->keys, expected) << c.key;
  }
}

TEST_F(KeyTest, NoteKeysInATextFieldStayThereButTheirReleaseIsNeverLost) {
  auto* field = new QLineEdit(frame);
  frame->statusBar(); // somewhere outside the MDI area
  field->show();
  QWidget* canvas = doc->GetDWnd();
  Send(canvas, QEvent::KeyPress, Qt::Key_W);
  field->setFocus();
  Settle();
  ASSERT_EQ(QApplication::focusWidget(), field);
  Send(field, QEvent::KeyPress, Qt::Key_E);
  Send(field, QEvent::KeyRelease, Qt::Key_E);
  Send(field, QEvent::KeyPress, Qt::Key_Shift);
  Send(field, QEvent::KeyRelease, Qt::Key_Shift);
  Send(field, QEvent::KeyRelease, Qt::Key_W); // pressed in the window, released in the field
  const std::vector<KeyReport> expected{{keyclass::kOther, 0x11, 1},
                                        {keyclass::kShift, 0x2A, 1},
                                        {keyclass::kShift, 0x2A, 0},
                                        {keyclass::kOther, 0x11, 0}};
  EXPECT_EQ(app->keys, expected);
  delete field;
}

TEST_F(KeyTest, AnOpenMenuTakesNoteKeysButAHeldNoteIsStillReleased) {
  QWidget* canvas = doc->GetDWnd();
  Send(canvas, QEvent::KeyPress, Qt::Key_A);
  QMenu popup;
  popup.addAction(QStringLiteral("Item"));
  popup.popup(frame->mapToGlobal(QPoint(50, 50)));
  Settle();
  ASSERT_EQ(QApplication::activePopupWidget(), &popup);
  Send(&popup, QEvent::KeyPress, Qt::Key_S);
  Send(&popup, QEvent::KeyRelease, Qt::Key_S);
  Send(&popup, QEvent::KeyRelease, Qt::Key_A);
  popup.close();
  const std::vector<KeyReport> expected{{keyclass::kOther, 0x1E, 1}, {keyclass::kOther, 0x1E, 0}};
  EXPECT_EQ(app->keys, expected);
}

} // namespace
