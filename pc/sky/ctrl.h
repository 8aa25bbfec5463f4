// The controls of dialogs, property pages and tool boxes. Each control is a
// child view of its owner and keeps the value it shows in a cache of its own:
// the owner sets values before the window exists and reads them after it has
// closed. While the window exists, setters show at once and getters read the
// widget back first. A control made with a command id and a handler runs the
// handler when the user acts on it (never when the program changes it).
//
// Factories return the kind's interface; the control belongs to the owner
// view (deleted with it). Holding it in an EPtr member of the owner is safe
// too: deleting a control takes it out of its owner.
#pragma once

#include "pc/sky/view.h"

#include <QFont>
#include <QPointer>
#include <QWidget>

#include <cfloat>
#include <climits>
#include <functional>

// Control ids by range: a range decides which notification of a control
// executes its id as a command.
namespace ctlid {
constexpr int32_t kTextFirst = 3500, kTextLast = 3504;       // static texts (never notify)
constexpr int32_t kBmpFirst = 3540;                          // tool-box bitmaps (never notify)
constexpr int32_t kButtonFirst = 3580, kButtonLast = 3609;   // clicked
constexpr int32_t kEditFirst = 3620, kEditLast = 3639;       // never executed by typing
constexpr int32_t kCheckFirst = 3660, kCheckLast = 3689;     // clicked
constexpr int32_t kRadioFirst = 3700, kRadioLast = 3729;     // clicked
constexpr int32_t kMenuFirst = 3740, kMenuLast = 3749;       // selection changed
constexpr int32_t kListFirst = 3780, kListLast = 3789;       // selection changed
constexpr int32_t kSliderFirst = 3820, kSliderLast = 3829;   // every scroll code
constexpr int32_t kSpinFirst = 3850, kSpinLast = 3859;       // spinner steps (ExecuteValueCmd)
} // namespace ctlid

// Notification codes the controls deliver.
namespace ctlnote {
constexpr int32_t kClicked = 0;      // button, check box, radio button
constexpr int32_t kSelChange = 1;    // drop-down list, list box
constexpr int32_t kDoubleClick = 2;  // list box
// Slider scroll codes.
constexpr int32_t kLineUp = 0, kLineDown = 1, kPageUp = 2, kPageDown = 3, kThumbPosition = 4, kThumbTrack = 5,
                  kTop = 6, kBottom = 7, kEndScroll = 8;
} // namespace ctlnote

// The font of dialog and tool-box widgets.
QFont DlgFont();

// The window side of the controller a control belongs to (a dialog, a
// property page or a tool window) as the control reaches it; the dialog
// layer's DCtrler implements it.
class ICtrlerWnd {
public:
  // The window that shows the controls.
  virtual QWidget* GetWindow() = 0;
  // The widget of a control id, null when the window has none.
  virtual QWidget* FindControl(int32_t id) = 0;
  // Registers id on the view unless id is 0 or the handler is empty.
  virtual void AddCmd(int32_t id, TTView* view, std::function<void()> handler) = 0;
  // Whether the window is set up now.
  virtual int HasWindow() const = 0;
  // A notification of a control: executes the id on the controller's view
  // when the id's range (ctlid::) answers that code (ctlnote::).
  virtual void Notify(int32_t id, int32_t code) = 0;
  // A spinner step: records the value and executes ctlid::kSpinFirst + n.
  virtual void ExecuteValueCmd(int32_t value, int32_t n) = 0;
  // The value of the last spinner step.
  virtual int32_t GetCmdValue() const = 0;

protected:
  ~ICtrlerWnd() = default;
};

// The root view of a control's tree: the controller, which knows its window
// (null before it is made and once it is gone).
class ICtrlerRoot {
public:
  virtual ICtrlerWnd* GetCtrlerWnd() const = 0;

protected:
  ~ICtrlerRoot() = default;
};

// What a control calls when the user acts on it; empty for none.
using TCtrlHandler = std::function<void()>;
template <class V> TCtrlHandler Handler(V* view, void (V::*member)()) {
  if (!member) return {};
  return [view, member] { (view->*member)(); };
}

// Unset bounds and values.
constexpr int32_t kNoCnt = INT32_MIN;
constexpr float kNoReal = FLT_MAX;

class ICtrlerCtrl : public virtual IView {
public:
  using IBase::IsValid;
  virtual void SetEnabled(int flag) = 0;
  virtual int IsEnabled() = 0;
  // 1 once a read-back found a value different from the cached one.
  virtual int IsModified() = 0;
  // Copies the widget's state into the cache.
  virtual void ReadBack() = 0;
  // Shows the cached state (enable state, items, value) in the widget.
  virtual void Refresh() = 0;
  virtual void ApplyEnabled() = 0;
  // Range test of the cached value (only number edits and value fields test).
  virtual int IsValid() = 0;
  virtual TParamStr& ErrorText() = 0;
  virtual void TakeFocus() = 0;
};

class TCtrlerCtrl : public TTView, public virtual ICtrlerCtrl {
public:
  using TTView::IsEnabled;
  using TTView::Refresh;
  using ICtrlerCtrl::IsValid;
  TCtrlerCtrl(TTView* owner, int32_t id, TCtrlHandler handler, int checkOnClose);
  ~TCtrlerCtrl() override;

  void SetEnabled(int flag) override;
  int IsEnabled() override { return enabled_; }
  int IsModified() override { return modified_; }
  void ReadBack() override {}
  void Refresh() override { ApplyEnabled(); }
  void ApplyEnabled() override {}
  int IsValid() override { return 1; }
  TParamStr& ErrorText() override;
  void TakeFocus() override {}

  int NeedsCheck() const { return checkOnClose_; }
  // Whether the controller's window is set up now.
  int HasWindow() const;
  // The widget a tool window places in its bar; null for dialog controls.
  virtual QWidget* GetGadget() const { return gadget_; }
  // True for the separator that moves the following gadgets to the other bar.
  virtual bool IsBarSplit() const { return false; }
  ICtrlerWnd* GetCtrlerWnd() const;
  int32_t Id() const { return id_; }

protected:
  void SetModified() { modified_ = 1; }
  // The widget of id in the controller's window (dialog-bound kinds).
  QWidget* BoundWidget(int32_t id) const;
  void SetGadget(QWidget* gadget);
  // Sets or clears the widget's enabled state.
  static void EnableWidget(QWidget* w, int enabled);

private:
  ICtrlerRoot* root_ = nullptr;
  int32_t id_;
  int32_t enabled_ = 1;
  int32_t modified_ = 0;
  int32_t checkOnClose_;
  QPointer<QWidget> gadget_;
};

// ---------------------------------------------------------------- kinds

class ICtrlerText : public virtual ICtrlerCtrl {
public:
  virtual void SetText(const TStr& text) = 0;
  virtual TStr GetText() = 0;
};
class ICtrlerEdit : public virtual ICtrlerCtrl {
public:
  virtual TStr GetText() = 0;
  virtual void SetText(const TStr& text) = 0;
};
class ICtrlerCnt : public virtual ICtrlerEdit {
public:
  virtual int32_t GetValue() = 0;
  virtual void SetValue(int32_t value) = 0;
};
class ICtrlerReal : public virtual ICtrlerEdit {
public:
  virtual float GetValue() = 0;
  virtual void SetValue(float value) = 0;
};
class ICtrlerUpDown : public virtual ICtrlerCtrl {
public:
  // The step of the last spinner notification.
  virtual int32_t GetDelta() = 0;
};
class ICtrlerValue : public virtual ICtrlerCtrl {
public:
  virtual float GetValue() = 0;
  virtual void SetValue(float value) = 0;
  // A printf format with one floating conversion ("%.1f ms"); empty: "%3.4g".
  virtual void SetFormat(const TStr& format) = 0;
};
class ICtrlerBoolean : public virtual ICtrlerCtrl {
public:
  virtual int GetValue() = 0;
  virtual void SetValue(int value) = 0;
};
class ICtrlerSwitch : public virtual ICtrlerCtrl {
public:
  // The checked position, or the count when none is checked.
  virtual int GetPosition() = 0;
  virtual void SetPosition(int position) = 0;
};
class ICtrlerMenu : public virtual ICtrlerCtrl {
public:
  virtual void Clear() = 0;
  virtual void AddItem(const TStr& text) = 0;
  // -1: no selection (empty text).
  virtual void SetSelection(int index) = 0;
  virtual int GetSelection() = 0;
};
class ICtrlerList : public virtual ICtrlerCtrl {
public:
  virtual void Clear() = 0;
  virtual void AddItem(const TStr& text) = 0;
  virtual void RemoveItem(int index) = 0;
  virtual int GetCount() = 0;
  virtual TStr GetItem(int index) = 0;
  virtual long IsSelected(int index) = 0;
  // Selects one line (all others cleared); -1 clears every flag only.
  virtual void Select(int index) = 0;
};
class ICtrlerSeparator : public virtual ICtrlerCtrl {};
class ICtrlerBmp : public virtual ICtrlerCtrl {
public:
  virtual void SelectImage(int index) = 0;
};
class ICtrlerButton : public virtual ICtrlerCtrl {
public:
  // Tool-bar buttons: shows the button pressed (flag != 0) or up.
  virtual void SetDown(int flag) = 0;
};
class ICtrlerColor : public virtual ICtrlerCtrl {
public:
  virtual void SetColor(const IColor& color) = 0;
  virtual const IColor& GetColor() = 0;
};
class ICtrlerSlider : public virtual ICtrlerCtrl {
public:
  // ticks kNoCnt: ticks only at the ends. A step of 0 counts as 1.
  virtual void SetRange(int32_t minimum, int32_t maximum, int32_t step, int32_t ticks) = 0;
  virtual int32_t GetValue() = 0;
  virtual void SetValue(int32_t value) = 0;
};

// ---------------------------------------------------------------- factories
// Dialog-bound kinds use the template widget of the id; "Gadget" kinds make a
// free widget for a tool window's bar.

ICtrlerCtrl* CreateCtrlerCtrl(TTView* owner, int32_t id, TCtrlHandler handler, int checkOnClose);
ICtrlerText* CreateCtrlerText(TTView* owner, int32_t id, TCtrlHandler handler);
ICtrlerText* CreateCtrlerTextGadget(TTView* owner, int32_t id, int32_t width, TCtrlHandler handler);
ICtrlerEdit* CreateCtrlerEdit(TTView* owner, int32_t id, const TStr& text, TCtrlHandler handler);
ICtrlerEdit* CreateCtrlerEditGadget(TTView* owner, int32_t id, int32_t width, const TStr& text, TCtrlHandler handler);
// Bounds kNoCnt / kNoReal: no bound. Values are tested against the bounds at OK.
ICtrlerCnt* CreateCtrlerCnt(TTView* owner, int32_t id, int32_t value, const TStr& name, int32_t minimum,
                            int32_t maximum, TCtrlHandler handler);
ICtrlerReal* CreateCtrlerReal(TTView* owner, int32_t id, float value, const TStr& name, float minimum, float maximum,
                              TCtrlHandler handler);
ICtrlerUpDown* CreateCtrlerUpDown(TTView* owner, int32_t id, TCtrlHandler handler);
// A number shown in a text gadget and stepped by a spinner gadget (ids from
// ctlid::kSpinFirst); kNoReal as value shows an empty text.
ICtrlerValue* CreateCtrlerValue(TTView* owner, int32_t textId, int32_t spinId, int32_t width, float value,
                                const TStr& name, float minimum, float maximum, int32_t spare, float step,
                                TCtrlHandler handler);
ICtrlerBoolean* CreateCtrlerBoolean(TTView* owner, int32_t id, int value, TCtrlHandler handler);
// At most kMaxSwitchPositions radio buttons, ids firstId ... firstId + count - 1.
constexpr int kMaxSwitchPositions = 20;
ICtrlerSwitch* CreateCtrlerSwitch(TTView* owner, int32_t firstId, int count, int position, TCtrlHandler handler);
ICtrlerMenu* CreateCtrlerMenu(TTView* owner, int32_t id, TCtrlHandler handler);
// size: x the width, y the height of the dropped list.
ICtrlerMenu* CreateCtrlerMenuGadget(TTView* owner, int32_t id, const TPnt& size, TCtrlHandler handler);
ICtrlerList* CreateCtrlerList(TTView* owner, int32_t id, TCtrlHandler handler);
// size -1: no gap; the following gadgets go to the tool window's other bar.
ICtrlerSeparator* CreateCtrlerSeparator(TTView* owner, int32_t size);
ICtrlerBmp* CreateCtrlerBmp(TTView* owner, int32_t id, int32_t bitmapId, int imageCount, int firstImage,
                            TCtrlHandler handler);
ICtrlerButton* CreateCtrlerButton(TTView* owner, int32_t id, TCtrlHandler handler);
ICtrlerButton* CreateCtrlerButtonGadget(TTView* owner, int32_t id, int32_t bitmapId, TCtrlHandler handler, int toggle,
                                        int down);
// A push button that opens the colour chooser; the handler runs after it
// closed, whether a colour was chosen or not.
ICtrlerColor* CreateCtrlerColor(TTView* owner, int32_t id, const IColor& color, TCtrlHandler handler);
ICtrlerSlider* CreateCtrlerSlider(TTView* owner, int32_t id, TCtrlHandler handler);

inline ICtrlerCtrl* CastToCtrlerCtrl(IBase* o) { return CastTo<ICtrlerCtrl>(o); }
inline ICtrlerText* CastToCtrlerText(IBase* o) { return CastTo<ICtrlerText>(o); }
inline ICtrlerEdit* CastToCtrlerEdit(IBase* o) { return CastTo<ICtrlerEdit>(o); }
inline ICtrlerCnt* CastToCtrlerCnt(IBase* o) { return CastTo<ICtrlerCnt>(o); }
inline ICtrlerReal* CastToCtrlerReal(IBase* o) { return CastTo<ICtrlerReal>(o); }
inline ICtrlerUpDown* CastToCtrlerUpDown(IBase* o) { return CastTo<ICtrlerUpDown>(o); }
inline ICtrlerValue* CastToCtrlerValue(IBase* o) { return CastTo<ICtrlerValue>(o); }
inline ICtrlerBoolean* CastToCtrlerBoolean(IBase* o) { return CastTo<ICtrlerBoolean>(o); }
inline ICtrlerSwitch* CastToCtrlerSwitch(IBase* o) { return CastTo<ICtrlerSwitch>(o); }
inline ICtrlerMenu* CastToCtrlerMenu(IBase* o) { return CastTo<ICtrlerMenu>(o); }
inline ICtrlerList* CastToCtrlerList(IBase* o) { return CastTo<ICtrlerList>(o); }
inline ICtrlerSeparator* CastToCtrlerSeparator(IBase* o) { return CastTo<ICtrlerSeparator>(o); }
inline ICtrlerBmp* CastToCtrlerBmp(IBase* o) { return CastTo<ICtrlerBmp>(o); }
inline ICtrlerButton* CastToCtrlerButton(IBase* o) { return CastTo<ICtrlerButton>(o); }
inline ICtrlerColor* CastToCtrlerColor(IBase* o) { return CastTo<ICtrlerColor>(o); }
inline ICtrlerSlider* CastToCtrlerSlider(IBase* o) { return CastTo<ICtrlerSlider>(o); }
