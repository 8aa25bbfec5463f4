// Document windows: the root view TWnd and its canvas DWnd. The canvas keeps
// a back buffer of its client area into which the view tree is rendered,
// collects invalidated areas and repaints them once when the update bracket
// closes; outside a bracket an invalidation repaints at once.
#pragma once

#include "pc/sky/hint.h"
#include "pc/sky/view.h"

#include <QAbstractScrollArea>
#include <QImage>
#include <QPointer>

#include <functional>
#include <memory>
#include <vector>

class DWnd;
class QMainWindow;
class TWnd;

// ---------------------------------------------------------------- update bracket
// Every command, mouse handler, timer tick and idle pass runs inside it. The
// bracket nests; closing the outermost one redraws every window with a
// non-empty dirty area. GUI thread only.
void BeginUpdate();
void EndUpdate();
int32_t GetUpdateCount();
class TUpdateBracket {
public:
  TUpdateBracket() { BeginUpdate(); }
  ~TUpdateBracket() { EndUpdate(); }
  TUpdateBracket(const TUpdateBracket&) = delete;
  TUpdateBracket& operator=(const TUpdateBracket&) = delete;
};

// ---------------------------------------------------------------- globals of the window layer
// The view whose context menu was opened last (a key press in a window makes
// it that window's root). Null once that view is destroyed.
TTView* GetLastRightClickedView();
// The root of the window that had the focus last; null once it is destroyed.
TWnd* GetActiveWndView();

// Application commands (1000-1499, 5001) chosen in a document window go to
// this handler after the current event (the main frame's command handling).
void SetAppCommandHandler(std::function<void(int32_t id)> handler);
// Shows a view's context menu at a screen point, owned by the window; set by
// the menu layer.
void SetContextMenuHandler(std::function<void(IMenu* menu, DWnd* owner, const QPoint& screen)> handler);

// The program's main window once the shell has built it, null before and
// after: dialogs open over it and the tool boxes dock in it. The shell sets it.
QMainWindow* GetMainWindow();
void SetMainWindow(QMainWindow* frame);

// The widget that shows the view: the frame of a document window, else
// what the resolver set by the dialog layer answers.
QWidget* GetViewWindow(TTView* view);
void SetViewWindowResolver(std::function<QWidget*(TTView* root)> resolver);

// ---------------------------------------------------------------- the application, seen from the windows
// Key classes of the application's key operation.
namespace keyclass {
constexpr int kOther = 0, kShift = 1, kCtrl = 2;
}

// What the main frame asks of the application object: its commands, the
// about box, the keys of the computer keyboard and the close request. The
// application base registers itself here while it lives (one per process).
class IShellApp {
public:
  // The view that answers the application's commands.
  virtual TTView* GetAppView() = 0;
  virtual void About() = 0;
  // A key went down (1) or up (0): class (keyclass::), PC set-1 scan code.
  virtual void KeyChange(int keyClass, int scanCode, int down) = 0;
  // Ends the event loop after the current event.
  virtual void Quit() = 0;
  // Non-zero when the main window may close.
  virtual int MayClose() = 0;

protected:
  ~IShellApp() = default;
};
// The application object while it lives; null before and after.
IShellApp* GetShellApp();
void SetShellApp(IShellApp* app);

// The answer of a window to a command-enabling query.
struct TCommandState {
  int handled = 0;  // 0: pass the query on to the main frame
  int enabled = 0;
  int hasCheck = 0; // 1 when checked is to be written into the menus
  int checked = 0;
};

// Commands, ids by range.
namespace cmd {
constexpr int32_t kAppFirst = 1000, kAppLast = 1499;
constexpr int32_t kWindowFirst = 1500, kWindowLast = 3499;
constexpr int32_t kControlFirst = 3500, kControlLast = 3999;
constexpr int32_t kContextFirst = 4000, kContextLast = 4499;
constexpr int32_t kAbout = 5001;
constexpr int32_t kLibraryFirst = 8000, kLibraryLast = 11999;
} // namespace cmd

// Key codes of the navigation keys.
enum TNavigationKey { kKeyUp = 0, kKeyDown, kKeyLeft, kKeyRight, kKeyPageUp, kKeyPageDown };

// The frame that holds a document window's canvas inside the main window
// (the frame layer makes it). The window's title, icon, placement and
// stacking go to the frame when there is one.
class IDocFrame {
public:
  // Deleting the frame takes the canvas along.
  virtual ~IDocFrame() = default;
  virtual void Create() = 0;
  virtual void SetTitle(const TStr& title) = 0;
  virtual void BringToTop() = 0;
  virtual void SetTopmost(int topmost) = 0;
  virtual void SetIcon(int32_t id) = 0;
  // Sizes are client sizes: the size of the canvas.
  virtual TPnt GetFramePos() const = 0;
  virtual void SetFramePos(const TPnt& p) = 0;
  virtual TPnt GetClientSize() const = 0;
  virtual void SetClientSize(const TPnt& s) = 0;
  // The window view is going: the frame must not delete it.
  virtual void DetachOwner() = 0;
};

class IWnd : public virtual IView {
public:
  virtual void Create() = 0;
  virtual void SetTitle(const TStr& title) = 0;
  virtual void BringToTop() = 0;
  virtual void SetTopmost(int topmost) = 0;
  virtual int32_t GetActivationStamp() const = 0;
};

class TWnd : public TTView, public virtual IWnd {
public:
  // The canvas is made with the window; frameParent is the widget that will
  // hold it (none: the canvas is a window of its own).
  explicit TWnd(QWidget* frameParent = nullptr);
  ~TWnd() override;

  // TTView
  void Invalidate() override;
  void InvalidateArea(const TArea& a) override; // canvas coordinates
  TPnt GetMousePos() override;
  void Paint(IDrawContext* ctx, const TArea& clip) override;
  void PostViewNotify(TTView* view, int flag) override;
  void DrawViewDirect(TTView* view, const TPnt& offset, int flag) override;

  // IWnd and the window's own operations
  void Create() override;
  void SetTitle(const TStr& title) override;
  void BringToTop() override;
  void SetTopmost(int topmost) override;
  // The canvas extent for the scroll ranges; base: the empty area.
  virtual TArea GetExtent() { return EmptyArea; }
  // Up 0, Down 1, Left 2, Right 3, Page Up 4, Page Down 5; no other key
  // reaches it. The base forwards to KeyDown.
  virtual void OnNavigationKey(int code) { KeyDown(code); }
  virtual void KeyDown(int code) {}
  // The window got the focus and was not the last one to have it.
  virtual void OnActivate() { Activated(); }
  virtual void Activated() {}
  int32_t GetActivationStamp() const override;

  void SetIcon(int32_t bitmapId);
  void GetPlacement(int* state, TPnt* framePos, TArea* view) const;
  void SetPlacement(int state, const TPnt& framePos, const TArea& view);
  void SetBackgroundBitmap(IBmp* bmp, int tile, int owned);
  IBmp* GetBackgroundBitmap() const;
  void SetBackgroundColor(const IColor& color);
  const IColor& GetBackgroundColor() const;
  // Dotted XOR lines over the canvas, in canvas coordinates.
  void AddRubberLine(const TPnt& from, const TPnt& to);
  void RemoveRubberLine(const TPnt& from, const TPnt& to);
  void ClearRubberLines();
  int UpdateScrollBars();
  int IsMouseButtonDown() const;
  int HasFocus() const;
  int IsCtrlKeyDown() const;
  // Null once the canvas is gone (a frame that Qt closed takes it along).
  DWnd* GetDWnd() const { return dwnd_.data(); }
  // Draws the view's feedback at once, outside the paint cycle.
  void DrawViewNow(TTView* view);

  // Hint support: points in client and screen coordinates.
  int HitHintView(const QPoint& client);
  int IsOverHintView(const QPoint& screen);
  void GetHintText(TStr& text, TArea& area);
  void ClearHintView();

  static void BeginUpdate() { ::BeginUpdate(); }
  static void EndUpdate() { ::EndUpdate(); }

private:
  // The document frame holding the canvas, null for a canvas of its own.
  IDocFrame* Frame() const;
  QPointer<DWnd> dwnd_;
};

// The canvas of a document window.
class DWnd : public QAbstractScrollArea, private IHintOwner {
public:
  static constexpr int kScrollUnit = 4;  // pixels per scroll position
  static constexpr int kPageUnits = 10;  // scroll positions per page step
  static constexpr int kControlId = 5002;

  DWnd(TWnd* root, QWidget* parent);
  ~DWnd() override;

  TWnd* Root() const { return root_; }
  // Unites the area (canvas coordinates) into the dirty area; outside the
  // update bracket the window repaints at once.
  void Redraw(const TArea& area);
  const TArea& DirtyArea() const { return dirty_; }
  const TArea& FeedbackArea() const { return feedback_; }
  TPnt ScrollPos() const { return scroll_; }
  TArea VisibleArea() const;
  TPnt LastMousePos() const { return lastMouse_; }
  TTView* CapturedView() const { return captured_; }
  int HorizontalBarShown() const { return hBar_; }
  int VerticalBarShown() const { return vBar_; }
  // The back buffer (null image before the first size or paint).
  const QImage& BackBuffer() const { return back_; }

  // Command routing by id range (see cmd::).
  void CommandMessage(int32_t id);
  TCommandState QueryCommand(int32_t id);

  // Rendering
  void RenderArea(const TArea& canvasArea);
  void DrawFeedbackOf(TTView* view, const TPnt& offset, int flag);
  void AddLine(const TPnt& from, const TPnt& to);
  void RemoveLine(const TPnt& from, const TPnt& to);
  void ClearLines();
  int PostScrollUpdate();

  // Window state for TWnd
  IBmp* background_ = nullptr;
  int backgroundTile_ = 0;
  int backgroundOwned_ = 0;
  EPtr<IColor> backgroundColor_;
  int32_t activationStamp_ = 0;
  int leftDown_ = 0, hasFocus_ = 0, ctrlDown_ = 0;
  int captureRequest_ = 0;
  TTView* hintView_ = nullptr;

  // The window layer forgets a destroyed view.
  void Forget(TTView* view);
  // The hint window that this canvas's mouse messages reach.
  DHint* Hint() const { return hint_.get(); }

protected:
  bool event(QEvent* e) override;
  bool viewportEvent(QEvent* e) override;
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void scrollContentsBy(int dx, int dy) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void keyReleaseEvent(QKeyEvent* e) override;
  void focusInEvent(QFocusEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;

private:
  struct TLine {
    TPnt from, to;
  };
  void EnsureBackBuffer();
  void RenderVisible();
  void RecomputeScrollRanges();
  void ShowScrollBars();
  void OnScrollAction(Qt::Orientation o, int action);
  TPnt CanvasPoint(const QPoint& client) const;
  TPnt ViewOffset(TTView* view);
  void CaptureStep();
  void DropCapture();
  void DrawLines(QPainter& p, const QRect& clip);
  QRect LineRect(const TLine& l) const;
  void Flush();

  // IHintOwner: the root view answers.
  int HitHintView(const QPoint& client) override;
  int IsOverHintView(const QPoint& screen) override;
  void GetHintText(TStr& text, TArea& area) override;
  void ClearHintView() override;
  int IsMouseButtonDown() override;

  TWnd* root_;
  TTView* captured_ = nullptr;
  int hBar_ = 0, vBar_ = 0;
  TPnt scroll_;
  TPnt lastMouse_;
  QImage back_;
  QImage overlay_;
  TArea dirty_;
  TArea feedback_;
  std::vector<TLine> lines_;
  bool settingBars_ = false;
  bool grabbed_ = false;
  std::unique_ptr<DHint> hint_;
};

// Every document window, in construction order.
const std::vector<DWnd*>& WindowList();
