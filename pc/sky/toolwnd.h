// The two tool boxes of the main window, "Ensemble Control Box" and
// "Instrument Control Box": the controls of one TToolWnd view spread over two
// docks. Each box docks at an edge of the main window or floats; where it was
// is kept in the settings and restored at the next start.
//
//   class TCtrlBox : public TToolWnd {
//   public:
//     TCtrlBox() {
//       CreateCtrlerButtonGadget(this, 3580, 7101, Handler(this, &TCtrlBox::Play), 0, 0);
//       CreateCtrlerSeparator(this, -1);   // what follows goes to the instrument box
//       CreateCtrlerValue(this, 3501, 3850, 30, 120, "BPM", 20, 500, 0, 1, Handler(this, &TCtrlBox::Tempo));
//     }
//   };
//   box->Open();   // on the first pass of the event loop: gadgets placed, values shown, boxes placed
//
// Every command of a box's controls goes to the TToolWnd view.
#pragma once

#include "pc/sky/dlg.h"
#include "pc/sky/mdi.h"

#include <QObject>
#include <QPointer>

class QDockWidget;
class TCtrlerCtrl;
class QMainWindow;
class QToolBar;
class DToolWnd;

namespace toolbox {
// Where a box is: floating or docked at an edge.
constexpr int32_t kFloating = 0, kTop = 1, kBottom = 2, kLeft = 3, kRight = 4;
constexpr int kEnsemble = 0, kInstrument = 1;
constexpr int kBoxCount = 2;
} // namespace toolbox

class IToolWnd : public virtual IView {
public:
  virtual void Open() = 0;
};

class TToolWnd : public TCtrler, public IToolWnd, public IControlBox {
public:
  // frame: the main window that holds the boxes (null: the application's).
  explicit TToolWnd(QMainWindow* frame = nullptr);
  ~TToolWnd() override;

  // Puts the controls' gadgets into the boxes, shows the cached values and
  // places both boxes where the settings say.
  void Open() override;
  // A box was closed or shown other than through the calls below.
  virtual void EnsembleBoxHidden() {}
  virtual void InstrumentBoxHidden() {}
  virtual void EnsembleBoxShown() {}
  virtual void InstrumentBoxShown() {}
  // Nothing happens when the box is already in that state.
  void ShowEnsembleBox();
  void HideEnsembleBox();
  void ShowInstrumentBox();
  void HideInstrumentBox();

  // Notifications posted from other threads reach the view on the GUI thread.
  void PostViewNotify(TTView* view, int flag) override;
  DToolWnd* GetDToolWnd() const;

  // The control of this id among the box's controls; null when none.
  TCtrlerCtrl* FindControl(int32_t id) const;
  // A tool window whose boxes hold a control of this id; null when none.
  static TToolWnd* OwnerOf(int32_t id);

  // IControlBox
  bool HasControl(int32_t id) const override { return FindControl(id) != nullptr; }
  bool IsControlEnabled(int32_t id) const override;
  // The control's command as a click on it runs it: only while the control
  // is enabled. False when the control is disabled (nothing runs).
  bool RunControl(int32_t id) override;
};

class DToolWnd : public QObject, public DCtrler {
public:
  DToolWnd(TToolWnd* view, QMainWindow* frame);
  // Writes the places of both boxes.
  ~DToolWnd() override;

  void SetCaption(const TStr&) override {}
  QWidget* GetWindow() override;
  QWidget* FindControl(int32_t id) override;

  void Open();
  void Show(int box);
  void Hide(int box);
  int32_t Location(int box) const { return boxes_[box].loc; }
  int IsShown(int box) const { return boxes_[box].shown; }
  QDockWidget* Dock(int box) const { return boxes_[box].dock.data(); }

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  struct TBox {
    QPointer<QDockWidget> dock;
    QPointer<QToolBar> bar;
    int32_t loc = toolbox::kTop;
    TArea rect;
    int32_t shown = 0;
  };
  void AddControls();
  void Insert(int box);
  void Remember(int box);
  int BoxOf(QObject* o) const;
  TToolWnd* ToolView() const;

  QPointer<QMainWindow> frame_;
  TBox boxes_[toolbox::kBoxCount];
  int32_t placeInEnsemble_ = 1;
  int32_t saved_ = 0;
  bool changing_ = false; // Show or Hide at work: no notifications
};
