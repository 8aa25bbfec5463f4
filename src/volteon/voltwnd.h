// The bases of the document windows that edit a structure or a panel and of
// the views on their canvas: click, Ctrl-click and rubber-band selection,
// dragging the whole selection on a 4-pixel grid with one undo report per
// drag, and the canvas extent that sizes the scroll bars.
#pragma once

#include "pc/sky/wnd.h"
#include "src/mod/undo.h"

#include <cstdint>
#include <initializer_list>
#include <utility>
#include <vector>

class KEnsemble;
class KSModul;

class IVolteonWnd : public virtual IWnd {};

// The command protocol of the document windows and their views: the view's
// own Command answers first; the ids it does not handle go to the
// framework's command table.
template <class Base> class TCommandFirst : public Base {
public:
  using Base::Base;
  void Execute(int32_t id) override {
    int result = 0;
    // Command may delete the view: nothing of it is touched afterwards.
    if (!this->Command(id, command_mode::kRun, result)) Base::Execute(id);
  }
  int IsEnabled(int32_t id, int& enabled) override {
    return Ask(id, command_mode::kEnabled, enabled) ? 1 : Base::IsEnabled(id, enabled);
  }
  int IsChecked(int32_t id, int& checked) override {
    return Ask(id, command_mode::kChecked, checked) ? 1 : Base::IsChecked(id, checked);
  }

private:
  bool Ask(int32_t id, int mode, int& answer) {
    int result = 0;
    if (!this->Command(id, mode, result)) return false;
    answer = result;
    return true;
  }
};

class IVolteonView : public virtual IView {
public:
  // Nonzero when the view belongs to the selection and moves with it.
  virtual int IsInSelection() = 0;
};

class TVolteonWnd : public TCommandFirst<TWnd>, public virtual IVolteonWnd {
public:
  static constexpr int32_t kGridStep = 4;

  explicit TVolteonWnd(QWidget* frameParent = nullptr);
  ~TVolteonWnd() override;

  // Each coordinate to the nearest multiple of the grid step, a half up.
  TPnt SnapToGrid(const TPnt& p) const;
  int32_t GetGridStep() const { return grid_; }
  void SetGridStep(int32_t step) { grid_ = step > 0 ? step : 1; }
  const TArea& GetRubberBand() const { return rubber_; }

  // The bounds of all child views grown by one grid step on every side.
  TArea GetExtent() override;
  // Exclusive: deselects everything (through the first view).
  void Select(int on, int exclusive) override;
  void MouseDown(int32_t x, int32_t y) override;
  void MouseMove(int32_t x, int32_t y) override;
  void MouseUp(int32_t x, int32_t y) override;
  void RightMouseDown(int32_t x, int32_t y) override;
  // The selection changed (the structure and panel windows follow it).
  virtual void SelectionChanged() {}

protected:
  // Keys with a command but no menu item of their own ("Backspace", "Return"
  // ...), acting while this window has the keyboard. Added once, after the
  // window was created; later calls do nothing.
  void AddKeys(std::initializer_list<std::pair<const char*, int32_t>> keys);

private:
  void DrawBand(bool draw);
  bool keysAdded_ = false;
  TArea rubber_ = NoArea;
  int32_t grid_ = kGridStep;
};

// Where a new view of the given size goes: at `want` (grid-snapped, not left
// of or above `least`) when nothing in `taken` lies there; otherwise the next
// free spot of the visible canvas `visible`, row by row from `want` on, then
// from the top. When the canvas has no room left, `want` as it was snapped.
TPnt FindFreeSpot(const TPnt& want, const TPnt& size, const std::vector<TArea>& taken, const TArea& visible,
                  const TPnt& least, int32_t grid);

// The part of a window's canvas in view; a window not laid out yet counts
// with its default client size.
TArea VisibleCanvas(TWnd* wnd);

// The open structure and panel windows of a module take its label into
// their titles (" - Structure", " - Panel") after a rename.
void RetitleWindowsOf(KSModul* module);

class TVolteonView : public TCommandFirst<TTView>, public virtual IVolteonView {
public:
  TVolteonView(TTView* parent, int topmost, KEnsemble* ensemble);
  ~TVolteonView() override;

  KEnsemble* GetEnsemble() const { return ensemble_; }
  // The window the view lies on (null while it has no parent).
  TVolteonWnd* GetVolteonWnd() const;

  void MouseDown(int32_t x, int32_t y) override;
  void MouseMove(int32_t x, int32_t y) override;
  void MouseUp(int32_t x, int32_t y) override;
  void RightMouseDown(int32_t x, int32_t y) override;

  int IsInSelection() override { return 0; }
  virtual void DragTo(const TPnt& p) { (void)p; }
  virtual void AfterDrag() {}
  virtual int CanDragAt(int32_t x, int32_t y) {
    (void)x;
    (void)y;
    return 1;
  }
  virtual int IsFixed() { return 0; }
  virtual int IsSameAs(TVolteonView* view) { return view == this; }
  virtual void OwnMouseDown(int32_t x, int32_t y) {
    (void)x;
    (void)y;
  }
  virtual void OwnMouseUp(int32_t x, int32_t y) {
    (void)x;
    (void)y;
  }
  virtual void OwnMouseMove(int32_t x, int32_t y) {
    (void)x;
    (void)y;
  }
  // What a drag of the view records (kNone: nothing).
  virtual UndoKind GetMoveUndoKind() { return UndoKind::kNone; }

protected:
  void SetEnsemble(KEnsemble* ensemble) { ensemble_ = ensemble; }

private:
  TPnt press_;
  TPnt start_;
  TPnt dragOrigin_;
  int32_t ownMouse_ = 0;
  int32_t moved_ = 0;
  KEnsemble* ensemble_;
};

inline TVolteonView* AsVolteonView(TTView* v) { return dynamic_cast<TVolteonView*>(v); }
