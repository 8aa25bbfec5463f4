#include "pc/sky/app.h"

#include "pc/sky/guithread.h"
#include "pc/sky/mdi.h"
#include "pc/sky/menu.h"
#include "pc/sky/qtext.h"
#include "pc/sky/qthost.h"
#include "platform/guihost.h"
#include "src/base/file.h"
#include "src/base/settings.h"

#include <QApplication>
#include <QMessageBox>

namespace {
TApp* theApp = nullptr;
DApp* theDApp = nullptr;

IFileName* CommandLineFile() {
  static EPtr<IFileName> file(CreateFileName());
  return file.Get();
}

void ShowException(const std::string& text) {
  QMessageBox box;
  box.setIcon(QMessageBox::Critical);
  box.setWindowTitle(QStringLiteral("Exception"));
  box.setText(sky::ToQString(text));
  box.setTextFormat(Qt::PlainText);
  box.setStandardButtons(QMessageBox::Ok);
  sky::RunModal(box);
}
} // namespace

// ---------------------------------------------------------------- free functions

IApp* GetApp() { return theApp; }
TApp* GetTApp() { return theApp; }
IWnd* GetActiveWnd() { return GetActiveWndView(); }
DApp* GetDApp() { return theDApp; }
void SetAppTitle(const TStr&) {}
void EmptyAppCommand() {}

// ---------------------------------------------------------------- TApp

TApp::TApp() : TTView(nullptr, 1) {
  theApp = this;
  SetShellApp(this);
}

TApp::~TApp() {
  if (theApp == this) theApp = nullptr;
  if (GetShellApp() == this) SetShellApp(nullptr);
}

IWnd* TApp::GetActiveWnd() { return ::GetActiveWnd(); }

void TApp::AddTimer(int32_t ms, IViewTicker::TCallback callback, void* data) {
  if (DApp* d = GetDApp()) d->Timers().Add(ms, callback, data);
  else if (IViewTicker* t = GetViewTicker()) t->AddTimer(ms, callback, data);
}

void TApp::RemoveTimer(IViewTicker::TCallback callback, void* data) {
  if (DApp* d = GetDApp()) d->Timers().Remove(callback, data);
  else if (IViewTicker* t = GetViewTicker()) t->RemoveTimer(callback, data);
}

void TApp::AddIdleTask(IViewTicker::TCallback callback, void* data) {
  if (DApp* d = GetDApp()) d->Idle().Add(callback, data);
  else if (IViewTicker* t = GetViewTicker()) t->AddIdleTask(callback, data);
}

void TApp::RemoveIdleTask(IViewTicker::TCallback callback, void* data) {
  if (DApp* d = GetDApp()) d->Idle().Remove(callback, data);
  else if (IViewTicker* t = GetViewTicker()) t->RemoveIdleTask(callback, data);
}

IMenu* TApp::GetMenu() { return GetMainMenu(); }
IFileName* TApp::GetCommandLineFile() { return CommandLineFile(); }

void TApp::SetMainTitle(const TStr& title) {
  if (DApp* d = GetDApp())
    if (d->MainFrame()) d->MainFrame()->setWindowTitle(sky::ToQString(title));
}

void TApp::Quit() {
  sky::PostToGui([] { QCoreApplication::exit(0); });
}

// ---------------------------------------------------------------- DApp

DApp::DApp(const sky::TAppFactory& factory) : ticker_(timers_, idle_) {
  QV_ASSERT_GUI_THREAD();
  previousTicker_ = SetViewTicker(&ticker_);
  theDApp = this;
  try {
    IApp* made = factory ? factory() : nullptr;
    app_ = dynamic_cast<TApp*>(made);
    if (made && !app_) SafeDelete(made); // not an application object of this shell
  } catch (...) {
    theDApp = nullptr;
    SetViewTicker(previousTicker_);
    throw;
  }
}

DApp::~DApp() {
  DestructorBody([this] {
    TUpdateBracket bracket;
    TApp* app = app_;
    app_ = nullptr;
    SafeDelete(app);
  });
  delete frame_; // saves the placement
  frame_ = nullptr;
  SetMainWindow(nullptr);
  platform::SetClientWindowHandle(nullptr);
  SetViewTicker(previousTicker_);
  if (theDApp == this) theDApp = nullptr;
}

DMainFrame* DApp::MainFrame() const { return frame_; }
DMDIClient* DApp::Client() const { return frame_ ? frame_->Client() : nullptr; }

void DApp::InitMainWindow() {
  QV_ASSERT_GUI_THREAD();
  auto* client = new DMDIClient;
  frame_ = new DMainFrame(client);
  SetMainWindow(frame_);
  const int32_t x = int32_t(ReadSettingInt(setting::MainX, sky::kMainDefaultX));
  const int32_t y = int32_t(ReadSettingInt(setting::MainY, sky::kMainDefaultY));
  const int32_t w = int32_t(ReadSettingInt(setting::MainW, sky::kMainDefaultW));
  const int32_t h = int32_t(ReadSettingInt(setting::MainH, sky::kMainDefaultH));
  frame_->move(x, y);
  frame_->resize(w, h);
  EPtr<IBmp> icon(CreateBmp());
  try {
    icon->LoadResource(sky::kMainIconId);
    if (const QImage* image = sky::QtImage(icon.Get())) frame_->setWindowIcon(QIcon(QPixmap::fromImage(*image)));
  } catch (const TError&) {
    // the window works without its icon
  }
  platform::SetClientWindowHandle(client);
  if (app_) app_->CreateCtrlBox(frame_);
  frame_->show();
  // The client is set up: the application starts, and its control box opens
  // on the first pass of the event loop.
  if (app_) {
    app_->StartUp();
    std::weak_ptr<int> alive = app_->Liveness();
    TApp* app = app_;
    sky::PostToGui([alive, app] {
      if (!alive.expired()) app->OpenCtrlBox();
    });
  }
}

int DApp::Run() {
  InitMainWindow();
  return QApplication::exec();
}

// ---------------------------------------------------------------- main

namespace sky {

TStr JoinArguments(int argc, char** argv) {
  TStr name;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) name += TStr(" ");
    name += TStr(argv[i]);
  }
  return name;
}

int RunMain(int argc, char** argv, const TAppFactory& factory) {
  const TStr name = JoinArguments(argc, argv);
  if (!name.IsEmpty()) CommandLineFile()->SetPath(name);
  std::unique_ptr<QApplication> own;
  if (!QCoreApplication::instance()) own = std::make_unique<QApplication>(argc, argv);
  InstallQtGuiHost();
  try {
    DApp app(factory);
    if (!app.App()) return kFailed;
    return app.Run();
  } catch (const std::exception& e) {
    ShowException(e.what());
  } catch (...) {
    ShowException("Unknown exception.");
  }
  return kFailed;
}

} // namespace sky
