// The application shell: the program's main function, the application base
// TApp through which views reach timers, idle tasks, the active window, the
// main title and the quit request, and DApp, which owns the event loop, the
// timer and idle services and the main window.
#pragma once

#include "pc/sky/clock.h"
#include "pc/sky/menu.h"
#include "pc/sky/view.h"
#include "pc/sky/wnd.h"

#include <functional>
#include <memory>

class DMainFrame;
class DMDIClient;
class IFileName;
class IMenu;
class QMainWindow;
class QWidget;

class IApp : public virtual IBase {
public:
  virtual IWnd* GetActiveWnd() = 0;
  virtual void AddTimer(int32_t ms, IViewTicker::TCallback callback, void* data) = 0;
  // The first registration of the pair.
  virtual void RemoveTimer(IViewTicker::TCallback callback, void* data) = 0;
  virtual void AddIdleTask(IViewTicker::TCallback callback, void* data) = 0;
  virtual void RemoveIdleTask(IViewTicker::TCallback callback, void* data) = 0;
};

// The application base: the root view without parent. One per process.
class TApp : public TTView, public IApp, public IShellApp {
public:
  TApp();
  ~TApp() override;

  // IApp
  IWnd* GetActiveWnd() override;
  void AddTimer(int32_t ms, IViewTicker::TCallback callback, void* data) override;
  void RemoveTimer(IViewTicker::TCallback callback, void* data) override;
  void AddIdleTask(IViewTicker::TCallback callback, void* data) override;
  void RemoveIdleTask(IViewTicker::TCallback callback, void* data) override;

  // IShellApp
  TTView* GetAppView() override { return this; }

  virtual IMenu* GetMenu();
  virtual IFileName* GetCommandLineFile();
  // Runs once the main window exists: the application starts its drivers
  // and opens the first document.
  virtual void StartUp() = 0;
  virtual void SetMainTitle(const TStr& title);
  // A key of the computer keyboard went down (1) or up (0): class (keyclass::),
  // PC set-1 scan code. Auto-repeat is never reported.
  void KeyChange(int keyClass, int scanCode, int down) override {}
  // Ends the event loop after the current event.
  void Quit() override;
  // Non-zero when the main window may close.
  int MayClose() override { return 1; }
  void About() override = 0;
  // Builds the control box into the main window (before it shows) and opens
  // it on the first pass of the event loop.
  virtual void CreateCtrlBox(QMainWindow* frame) {}
  virtual void OpenCtrlBox() {}
};

IApp* GetApp();
TApp* GetTApp();
IWnd* GetActiveWnd();
// Receives the application title; the shell keeps nothing of it.
void SetAppTitle(const TStr& title);
// The application command that does nothing.
void EmptyAppCommand();

namespace sky {
using TAppFactory = std::function<IApp*()>;
constexpr int kFailed = -1;
constexpr int32_t kMainIconId = 5003;
// Placement of the main window when the settings hold none.
constexpr int32_t kMainDefaultX = 40, kMainDefaultY = 40, kMainDefaultW = 600, kMainDefaultH = 440;

// The arguments after the program's name joined with single blanks: they
// name one file even when its path was split at blanks.
TStr JoinArguments(int argc, char** argv);
// The program's main: stores the joined arguments as the command-line file,
// makes the application object, builds the main window and runs the event
// loop. -1 when the factory made no application object, or when an exception
// reached it (shown first in a box captioned "Exception").
int RunMain(int argc, char** argv, const TAppFactory& factory);
} // namespace sky

class DApp {
public:
  explicit DApp(const sky::TAppFactory& factory);
  ~DApp();
  DApp(const DApp&) = delete;
  DApp& operator=(const DApp&) = delete;

  TApp* App() const { return app_; }
  // Builds the main window, starts the application and runs the event loop;
  // returns the loop's result.
  int Run();
  // Main window, MDI client and start-up, without the loop.
  void InitMainWindow();
  DMainFrame* MainFrame() const;
  DMDIClient* Client() const;
  TTimerService& Timers() { return timers_; }
  TIdleService& Idle() { return idle_; }

private:
  TTimerService timers_;
  TIdleService idle_;
  TShellTicker ticker_;
  IViewTicker* previousTicker_ = nullptr;
  TApp* app_ = nullptr;
  DMainFrame* frame_ = nullptr;
};
DApp* GetDApp();
