// Dialogs: a view (TDlg, a TCtrler) that owns the controls and answers
// commands, and a window (DDlg) built from a template table that turns what
// the user does to a control into a command id executed on the view.
//
// How to write a dialog:
//
//   // 1. The template, in dialog units, registered once under its id. Every
//   //    widget is named "ctl<id>"; radio buttons that follow each other form
//   //    one group (dlgflag::kGroup starts a new one); tab order is table order.
//   constexpr int32_t kTempoDlg = 5600, kTempoEdit = 3620, kSyncCheck = 3660;
//   void RegisterTempoDlg() {
//     RegisterDlgTemplate({kTempoDlg, "Tempo", 150, 62, {
//       DlgStatic(-1, "&Tempo:", 7, 9, 40, 8),
//       DlgEdit(kTempoEdit, 50, 7, 40, 12),
//       DlgCheck(kSyncCheck, "&External sync", 7, 24, 90, 10),
//       DlgDefButton(kIdOk, "OK", 38, 42, 50, 14),
//       DlgButton(kIdCancel, "Cancel", 93, 42, 50, 14),
//     }});
//   }
//
//   // 2. A TDlg subclass makes its controls after the TDlg constructor; they
//   //    are child views of the dialog and go with it.
//   class TTempoDlg : public TDlg {
//   public:
//     TTempoDlg(int32_t bpm, int syncOn) : TDlg(kTempoDlg) {
//       tempo = CreateCtrlerCnt(this, kTempoEdit, bpm, "Tempo", 20, 500, {});
//       sync = CreateCtrlerBoolean(this, kSyncCheck, syncOn, Handler(this, &TTempoDlg::SyncClicked));
//     }
//     void SyncClicked() { tempo->SetEnabled(!sync->GetValue()); }
//     ICtrlerCnt* tempo;
//     ICtrlerBoolean* sync;
//   };
//
//   // 3. Run it modally; after OK the controls hold the values read back.
//   TTempoDlg dlg(120, 0);
//   dlg.Execute();
//   if (dlg.WasOk() && dlg.tempo->IsModified()) SetTempo(dlg.tempo->GetValue());
//
// OK reads back every enabled control and refuses to close while an enabled
// number edit is out of range (one message, the focus on that edit). Cancel
// reads nothing back and leaves WasOk at 0.
#pragma once

#include "pc/sky/ctrl.h"
#include "pc/sky/view.h"

#include <QDialog>
#include <QPointer>

#include <functional>
#include <string>
#include <vector>

class TCtrler;

// End codes and the ids of the OK and Cancel buttons.
constexpr int32_t kIdOk = 1;
constexpr int32_t kIdCancel = 2;

// ---------------------------------------------------------------- templates

enum class TDlgItemKind { Static, Group, Button, DefButton, Edit, Check, Radio, Combo, List, Slider, Line, Picture };

namespace dlgflag {
constexpr int32_t kGroup = 1;      // a radio button that starts a new group
constexpr int32_t kMultiSel = 2;   // a list box whose lines are selected independently
constexpr int32_t kRight = 4;      // static text or edit aligned right
constexpr int32_t kCentre = 8;     // static text centred
constexpr int32_t kSunken = 16;    // static text in a sunken frame
constexpr int32_t kPassword = 32;  // edit showing stars
constexpr int32_t kMultiLine = 64; // edit of several lines with a vertical scroll bar; Return starts a line
} // namespace dlgflag

// One control of a template; geometry in dialog units. A picture's text is
// the bitmap resource id in decimal.
struct TDlgItem {
  TDlgItemKind kind = TDlgItemKind::Static;
  int32_t id = 0;
  std::string text;
  int32_t x = 0, y = 0, w = 0, h = 0;
  int32_t flags = 0;
};

struct TDlgTemplate {
  int32_t id = 0;
  std::string caption;
  int32_t w = 0, h = 0; // client size in dialog units
  std::vector<TDlgItem> items;
};

inline TDlgItem DlgStatic(int32_t id, std::string text, int32_t x, int32_t y, int32_t w, int32_t h, int32_t f = 0) {
  return {TDlgItemKind::Static, id, std::move(text), x, y, w, h, f};
}
inline TDlgItem DlgGroup(std::string text, int32_t x, int32_t y, int32_t w, int32_t h) {
  return {TDlgItemKind::Group, -1, std::move(text), x, y, w, h, 0};
}
inline TDlgItem DlgButton(int32_t id, std::string text, int32_t x, int32_t y, int32_t w, int32_t h) {
  return {TDlgItemKind::Button, id, std::move(text), x, y, w, h, 0};
}
inline TDlgItem DlgDefButton(int32_t id, std::string text, int32_t x, int32_t y, int32_t w, int32_t h) {
  return {TDlgItemKind::DefButton, id, std::move(text), x, y, w, h, 0};
}
inline TDlgItem DlgEdit(int32_t id, int32_t x, int32_t y, int32_t w, int32_t h, int32_t f = 0) {
  return {TDlgItemKind::Edit, id, {}, x, y, w, h, f};
}
inline TDlgItem DlgCheck(int32_t id, std::string text, int32_t x, int32_t y, int32_t w, int32_t h) {
  return {TDlgItemKind::Check, id, std::move(text), x, y, w, h, 0};
}
inline TDlgItem DlgRadio(int32_t id, std::string text, int32_t x, int32_t y, int32_t w, int32_t h, int32_t f = 0) {
  return {TDlgItemKind::Radio, id, std::move(text), x, y, w, h, f};
}
inline TDlgItem DlgCombo(int32_t id, int32_t x, int32_t y, int32_t w, int32_t h) {
  return {TDlgItemKind::Combo, id, {}, x, y, w, h, 0};
}
inline TDlgItem DlgList(int32_t id, int32_t x, int32_t y, int32_t w, int32_t h, int32_t f = 0) {
  return {TDlgItemKind::List, id, {}, x, y, w, h, f};
}
inline TDlgItem DlgSlider(int32_t id, int32_t x, int32_t y, int32_t w, int32_t h) {
  return {TDlgItemKind::Slider, id, {}, x, y, w, h, 0};
}
inline TDlgItem DlgPicture(int32_t id, int32_t bitmapId, int32_t x, int32_t y, int32_t w, int32_t h) {
  return {TDlgItemKind::Picture, id, std::to_string(bitmapId), x, y, w, h, 0};
}

// Makes a template known under its id (a later one of the same id replaces it).
void RegisterDlgTemplate(TDlgTemplate dlgTemplate);
// The registered template; null when there is none.
const TDlgTemplate* FindDlgTemplate(int32_t id);

// Fixed base units: a dialog looks the same on every desktop. Four horizontal
// dialog units are kDlgBaseX pixels, eight vertical ones kDlgBaseY.
constexpr int kDlgBaseX = 7;
constexpr int kDlgBaseY = 14;
constexpr int DlgUnitsToPixelsX(int32_t du) { return (du * kDlgBaseX + 2) / 4; }
constexpr int DlgUnitsToPixelsY(int32_t du) { return (du * kDlgBaseY + 4) / 8; }

// Builds the template's widgets into a widget (a dialog or a property page)
// at their rectangles, named "ctl<id>", radio groups as button groups, tab
// order as in the table, and sets the widget's fixed size. An unknown id
// gives an empty 200 x 100 unit widget. What the user does to a widget
// reaches notify (when given) as (id, notification code).
class DCtrler;
void BuildDlgTemplate(QWidget* into, const TDlgTemplate* dlgTemplate, DCtrler* notify);
// The widget of a control id inside a built template, null when none.
QWidget* FindDlgControl(QWidget* in, int32_t id);

// ---------------------------------------------------------------- controller window

// The window side of a controller view: a dialog, a property page or a tool
// window. It executes control notifications as commands on its view.
class DCtrler : public ICtrlerWnd {
public:
  explicit DCtrler(TCtrler* view) : view_(view) {}
  virtual ~DCtrler() = default;
  DCtrler(const DCtrler&) = delete;
  DCtrler& operator=(const DCtrler&) = delete;

  virtual void SetCaption(const TStr& text) = 0;
  QWidget* GetWindow() override = 0;
  // The widget of a control id, null when the window has none.
  QWidget* FindControl(int32_t id) override;

  TCtrler* View() const { return view_; }
  // Registers id on the view unless id is 0 or the handler is empty.
  void AddCmd(int32_t id, TTView* view, std::function<void()> handler) override;
  int WasOk() const { return ok_; }
  int HasWindow() const override { return windowExists_; }
  // A notification of a control: executes the id on the view (inside one
  // update bracket) when the id's range answers that code; else nothing.
  void Notify(int32_t id, int32_t code) override;
  // A spinner step: records the value and executes kSpinFirst + n.
  void ExecuteValueCmd(int32_t value, int32_t n) override;
  int32_t GetCmdValue() const override { return cmdValue_; }

  // Set-up: the window exists, every control of the view shows itself.
  void SetUp();
  // OK: reads back every enabled control and tests them. False (with one
  // message shown and the focus on the control) when one is invalid.
  bool ReadBackAndCheck();

protected:
  void ExecuteNow(int32_t id);
  TCtrler* view_;
  int32_t ok_ = 0;
  int32_t windowExists_ = 0;
  int32_t cmdValue_ = 0;
};

// The view side: owns the controls (its child views) and answers commands.
class TCtrler : public TTView, public ICtrlerRoot {
public:
  TCtrler() : TTView(nullptr, 0) {}
  ~TCtrler() override;
  void SetCaption(const TStr& text);
  // The window side; null before it is made and once it is gone.
  DCtrler* GetDCtrler() const { return guard_ ? dwnd_ : nullptr; }
  ICtrlerWnd* GetCtrlerWnd() const override { return GetDCtrler(); }

protected:
  // Subclasses give their window here; window is the same object as a QObject.
  void SetDCtrler(DCtrler* dwnd, QObject* window) {
    dwnd_ = dwnd;
    guard_ = window;
  }
  // Deletes the controls (before the window they refer to goes).
  void DeleteControls();

private:
  DCtrler* dwnd_ = nullptr;
  QPointer<QObject> guard_;
};

// ---------------------------------------------------------------- dialogs

class IDlg : public virtual IView {
public:
  virtual int Execute() = 0;
};

class DDlg;

class TDlg : public TCtrler, public virtual IDlg {
public:
  explicit TDlg(int32_t resourceId);
  ~TDlg() override;

  // Modeless: shows the dialog and returns at once.
  virtual bool Create();
  // Ends the dialog with end code kIdCancel (cancel != 0) or kIdOk, without
  // reading anything back; WasOk is not touched.
  virtual void Close(int cancel);
  // Modal: returns the end code.
  int Execute() override;
  // 1 when the dialog was closed with OK and its values passed the tests.
  int WasOk() const;
  DDlg* GetDDlg() const;
  using TTView::Execute;
};

class DDlg : public QDialog, public DCtrler {
public:
  DDlg(TCtrler* view, int32_t resourceId);

  void SetCaption(const TStr& text) override;
  QWidget* GetWindow() override { return this; }
  bool Create();
  int Execute();
  void Close(int cancel);
  // A close request with an end code: OK reads back and tests first.
  void OnClose(int32_t code);
  // Answers whether the dialog may close now.
  bool QueryClose();

  void accept() override { OnClose(kIdOk); }
  void reject() override { OnClose(kIdCancel); }
};

inline IDlg* CastToDlg(IBase* o) { return CastTo<IDlg>(o); }
