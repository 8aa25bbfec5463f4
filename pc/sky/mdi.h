// The main window and its MDI client, document frames and the routing of
// commands and keys to the application.
#pragma once

#include "pc/sky/menu.h"
#include "pc/sky/wnd.h"

#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>

#include <set>

class QKeyEvent;

// A box of controls (a tool window) whose control commands
// (cmd::kControlFirst to kControlLast) the client runs. The boxes register
// themselves while they live; the first one that holds a control answers for
// its id.
class IControlBox {
public:
  virtual bool HasControl(int32_t id) const = 0;
  virtual bool IsControlEnabled(int32_t id) const = 0;
  // The control's command as a click on it runs it: only while the control
  // is enabled. False when the control is disabled (nothing runs).
  virtual bool RunControl(int32_t id) = 0;

protected:
  ~IControlBox() = default;
};
void AddControlBox(IControlBox* box);
void RemoveControlBox(IControlBox* box);
// The first registered box holding a control of this id; null when none.
IControlBox* ControlBoxOf(int32_t id);

// Commands the framework answers itself.
namespace cmd {
constexpr int32_t kExit = 24310;
constexpr int32_t kCascade = 24361;
constexpr int32_t kTile = 24362;
constexpr int32_t kArrangeIcons = 24363;
constexpr int32_t kCloseAll = 24364;
} // namespace cmd

// The main window's client: holds the document frames, routes commands and
// their enabling to the document window that is active and to the
// application, and passes keys to the application.
class DMDIClient : public QMdiArea {
public:
  DMDIClient();
  ~DMDIClient() override;

  // A command from a menu, shortcut, tool bar or another window: it goes to
  // the one that answers for it, as Query asks them: the active document
  // window, the tool box whose control has the id, the application.
  void Command(int32_t id);
  void Query(int32_t id, int& enabled, int& hasCheck, int& checked);
  // The application's own rules (application, control and about commands,
  // window arrangement, exit).
  void AppCommand(int32_t id);
  TCommandState AppQuery(int32_t id);
  // Commands that reached no handler (each is reported on stderr): a menu
  // item shown enabled must never end here.
  int32_t DroppedCount() const { return dropped_; }
  // The canvas of the active document frame, null when none.
  DWnd* ActiveCanvas() const;
  void ArrangeIcons();

  // The class/scan-code/down report of one key event; true when reported.
  bool ReportKey(QKeyEvent* e, bool focusAllowsNotes);

  // Every key event of the program passes here before its widget sees it.
  void FilterKey(QObject* watched, QEvent* e);

private:
  // Shift and Ctrl as a note key's own event has them: a release that never
  // reached the filter (it went to a window a modal dialog blocked) is
  // reported now, and so is a press that was missed.
  void FollowModifiers(Qt::KeyboardModifiers now);
  void Dropped(int32_t id);

  std::set<int> held_; // scan codes reported down
  int32_t dropped_ = 0;
  QObject* keyFilter_ = nullptr;
};
DMDIClient* GetMDIClient();

// PC set-1 scan code of a key event (0 when unknown).
int ScanCodeOf(const QKeyEvent* e);

// The main window: menu bar from the main-menu table, the MDI client in the
// middle. Closing asks the application first; destruction saves the placement.
class DMainFrame : public QMainWindow {
public:
  explicit DMainFrame(DMDIClient* client);
  ~DMainFrame() override;
  DMDIClient* Client() const { return client_; }
  void SavePlacement();

protected:
  void closeEvent(QCloseEvent* e) override;

private:
  DMDIClient* client_;
};

// The frame of a document window. It exists from the window's constructor
// on; until Create() (and again once the user closed it) placement calls only
// store the values. Sizes are always client sizes: the size of the canvas.
class DDecWnd : public QMdiSubWindow, public IDocFrame {
public:
  static constexpr int32_t kDefaultClientW = 288, kDefaultClientH = 169;
  DDecWnd();
  ~DDecWnd() override;

  void Create() override;
  TPnt GetFramePos() const override;
  void SetFramePos(const TPnt& p) override;
  TPnt GetClientSize() const override;
  void SetClientSize(const TPnt& s) override;
  void SetIcon(int32_t id) override;
  void SetTitle(const TStr& title) override;
  void BringToTop() override;
  void SetTopmost(int topmost) override;
  DWnd* GetCanvas() const;
  int IsCreated() const { return !notCreated_; }
  void DetachOwner() override { ownerGone_ = true; }

protected:
  void closeEvent(QCloseEvent* e) override;

private:
  void KeepInView();
  int32_t notCreated_ = 1;
  TPnt storedPos_;
  TPnt storedSize_{kDefaultClientW, kDefaultClientH};
  int32_t icon_ = -1;
  bool ownerGone_ = false;
};

// A new document frame to hand to a TWnd constructor.
QWidget* NewDocumentFrame();
