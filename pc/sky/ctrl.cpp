// The control base, static texts, the edit kinds, the spinner and the value field.
#include "pc/sky/ctrl.h"

#include "pc/sky/qtext.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

QV_MESSAGE(RangeError, "Value of $1 has to be between $2 and $3.")

constexpr int kEditTextLimit = 999;   // characters an edit holds (1000 bytes with the terminator)
constexpr int kTextLimit = 255;       // characters of a static text
constexpr int kTextGadgetHeight = 17; // pixels
constexpr int kEditGadgetHeight = 20;
constexpr int kSpinWidth = 13, kSpinHeight = 20;
constexpr int kSpinUp = 1, kSpinDown = -1;

TStr TrimBlanks(const TStr& text) {
  std::string s = text.Std();
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  size_t a = 0, b = s.size();
  while (a < b && blank(s[a])) ++a;
  while (b > a && blank(s[b - 1])) --b;
  return TStr(s.substr(a, b - a));
}

// A whole decimal number that fits 32 bits, blanks around it allowed.
bool ParseWholeInt(const TStr& text, int32_t& out) {
  const std::string s = TrimBlanks(text).Std();
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
  if (i >= s.size()) return false;
  int64_t v = 0;
  for (; i < s.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
    v = v * 10 + (s[i] - '0');
    if (v > int64_t(INT32_MAX) + 1) return false;
  }
  if (negative) v = -v;
  if (v < INT32_MIN || v > INT32_MAX) return false;
  out = int32_t(v);
  return true;
}

// A whole finite number that fits a float, blanks around it allowed.
bool ParseWholeReal(const TStr& text, float& out) {
  const TStr trimmed = TrimBlanks(text);
  if (trimmed.IsEmpty()) return false;
  float v = 0;
  const TStr rest = trimmed.ParseReal(v);
  if (rest.Length() == trimmed.Length() || !rest.IsEmpty()) return false;
  if (!std::isfinite(v)) return false;
  out = v;
  return true;
}

// True when the format holds exactly one floating conversion and otherwise
// only "%%": anything else would read arguments that are not there.
bool IsOneRealFormat(const std::string& f) {
  int conversions = 0;
  for (size_t i = 0; i < f.size(); ++i) {
    if (f[i] != '%') continue;
    if (++i < f.size() && f[i] == '%') continue;
    while (i < f.size() && std::strchr("-+ #0", f[i]) && f[i]) ++i;
    while (i < f.size() && std::isdigit(static_cast<unsigned char>(f[i]))) ++i;
    if (i < f.size() && f[i] == '.') {
      ++i;
      while (i < f.size() && std::isdigit(static_cast<unsigned char>(f[i]))) ++i;
    }
    if (i >= f.size() || !f[i] || !std::strchr("eEfFgGaA", f[i])) return false;
    ++conversions;
  }
  return conversions == 1;
}

TStr FormatOneReal(const std::string& format, double value) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  const int n = std::snprintf(nullptr, 0, format.c_str(), value);
  if (n < 0) return TStr();
  std::string out(size_t(n) + 1, '\0');
  std::snprintf(out.data(), out.size(), format.c_str(), value);
#pragma GCC diagnostic pop
  out.resize(size_t(n));
  return TStr(out);
}

TStr FormatValue(float value, const TStr& format) {
  if (value == kNoReal) return TStr();
  if (format.IsEmpty() || !IsOneRealFormat(format.Std())) return FormatStr("%3.4g", double(value));
  return FormatOneReal(format.Std(), double(value));
}

bool RealInRange(float value, float minimum, float maximum) {
  if (std::isnan(value)) return false;
  return !((minimum != kNoReal && value < minimum) || (maximum != kNoReal && maximum < value));
}

TParamStr& RangeText(const TStr& name, float minimum, float maximum) {
  TParamStr& m = RangeError();
  m.SetParam(1, name);
  m.SetParamReal(2, minimum);
  m.SetParamReal(3, maximum);
  return m;
}

} // namespace

// ---------------------------------------------------------------- base

QFont DlgFont() {
  static EPtr<IFnt> font(CreateFnt("MS Sans Serif", 8, 6));
  return sky::QtFont(font.Get());
}

TCtrlerCtrl::TCtrlerCtrl(TTView* owner, int32_t id, TCtrlHandler handler, int checkOnClose)
    : TTView(owner, 0), id_(id), checkOnClose_(checkOnClose) {
  if (owner) root_ = dynamic_cast<ICtrlerRoot*>(owner->GetRoot());
  if (ICtrlerWnd* d = GetCtrlerWnd()) d->AddCmd(id, owner, std::move(handler));
  else if (owner && id != 0 && handler) owner->AddCmd(id, std::move(handler));
}

TCtrlerCtrl::~TCtrlerCtrl() {
  DestructorBody([this] {
    // A gadget that no bar took would stay behind; one in a bar leaves it.
    delete gadget_.data();
  });
}

ICtrlerWnd* TCtrlerCtrl::GetCtrlerWnd() const { return root_ ? root_->GetCtrlerWnd() : nullptr; }

int TCtrlerCtrl::HasWindow() const {
  ICtrlerWnd* d = GetCtrlerWnd();
  return d && d->HasWindow();
}

void TCtrlerCtrl::SetEnabled(int flag) {
  enabled_ = flag ? 1 : 0;
  if (HasWindow()) ApplyEnabled();
}

TParamStr& TCtrlerCtrl::ErrorText() { return EmptyMessage(); }

QWidget* TCtrlerCtrl::BoundWidget(int32_t id) const {
  ICtrlerWnd* d = GetCtrlerWnd();
  return d ? d->FindControl(id) : nullptr;
}

void TCtrlerCtrl::SetGadget(QWidget* gadget) {
  gadget_ = gadget;
  if (gadget) gadget->setFont(DlgFont());
}

void TCtrlerCtrl::EnableWidget(QWidget* w, int enabled) {
  if (w) w->setEnabled(enabled != 0);
}

ICtrlerCtrl* CreateCtrlerCtrl(TTView* owner, int32_t id, TCtrlHandler handler, int checkOnClose) {
  return new TCtrlerCtrl(owner, id, std::move(handler), checkOnClose);
}

// ---------------------------------------------------------------- static text

namespace {

class TCtrlerText : public TCtrlerCtrl, public ICtrlerText {
public:
  TCtrlerText(TTView* owner, int32_t id, TCtrlHandler handler, int32_t gadgetWidth)
      : TCtrlerCtrl(owner, id, std::move(handler), 0) {
    if (gadgetWidth > 0) {
      auto* label = new QLabel;
      label->setFixedSize(gadgetWidth, kTextGadgetHeight);
      label->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
      label->setObjectName(QStringLiteral("ctl%1").arg(id));
      label_ = label;
      SetGadget(label);
    } else {
      label_ = qobject_cast<QLabel*>(BoundWidget(id));
    }
  }
  void Refresh() override {
    if (GetGadget()) GetGadget()->setFont(DlgFont());
    Show();
  }
  void SetText(const TStr& text) override {
    if (text == text_) return;
    text_ = text;
    if (HasWindow()) Show();
  }
  TStr GetText() override { return text_; }

private:
  void Show() {
    if (!label_) return;
    std::string s = text_.Std();
    if (s.size() > size_t(kTextLimit)) s.resize(size_t(kTextLimit));
    label_->setText(sky::ToQString(s));
  }
  TStr text_;
  QPointer<QLabel> label_;
};

// ---------------------------------------------------------------- edits

class TCtrlerEdit : public TCtrlerCtrl, public virtual ICtrlerEdit {
public:
  TCtrlerEdit(TTView* owner, int32_t id, const TStr& text, TCtrlHandler handler, int32_t gadgetWidth)
      : TCtrlerCtrl(owner, id, std::move(handler), 1), text_(text) {
    if (gadgetWidth > 0) {
      auto* e = new QLineEdit;
      e->setFixedSize(gadgetWidth, kEditGadgetHeight);
      e->setObjectName(QStringLiteral("ctl%1").arg(id));
      edit_ = e;
      SetGadget(e);
    } else {
      edit_ = qobject_cast<QLineEdit*>(BoundWidget(id));
      lines_ = qobject_cast<QPlainTextEdit*>(BoundWidget(id));
    }
    if (edit_) edit_->setMaxLength(kEditTextLimit);
  }

  void ReadBack() override {
    if (lines_) {
      const TStr now(sky::FromQString(lines_->toPlainText()));
      if (now != text_) {
        text_ = now;
        SetModified();
      }
      return;
    }
    if (!edit_) return;
    const TStr now(sky::FromQString(edit_->text()));
    if (now != text_) {
      text_ = now;
      SetModified();
    }
  }
  void Refresh() override {
    if (GetGadget()) GetGadget()->setFont(DlgFont());
    ApplyEnabled();
    ShowText();
  }
  // A disabled edit stays readable and selectable; it only refuses typing.
  void ApplyEnabled() override {
    if (edit_) edit_->setReadOnly(!IsEnabled());
    if (lines_) lines_->setReadOnly(!IsEnabled());
  }
  void TakeFocus() override {
    if (edit_) edit_->setFocus(Qt::OtherFocusReason);
    if (lines_) lines_->setFocus(Qt::OtherFocusReason);
  }
  TStr GetText() override {
    if (HasWindow()) ReadBack();
    return text_;
  }
  void SetText(const TStr& text) override {
    text_ = text;
    if (HasWindow()) ShowText();
  }

protected:
  void ShowText() {
    if (lines_) {
      QSignalBlocker block(lines_.data());
      lines_->setPlainText(sky::ToQString(text_));
      return;
    }
    if (!edit_) return;
    QSignalBlocker block(edit_.data());
    edit_->setText(sky::ToQString(text_));
  }
  TStr text_;
  QPointer<QLineEdit> edit_;
  QPointer<QPlainTextEdit> lines_;
};

class TCtrlerCnt : public TCtrlerEdit, public ICtrlerCnt {
public:
  TCtrlerCnt(TTView* owner, int32_t id, int32_t value, const TStr& name, int32_t minimum, int32_t maximum,
             TCtrlHandler handler)
      : TCtrlerEdit(owner, id, TStr(), std::move(handler), 0), name_(name), value_(value), minimum_(minimum),
        maximum_(maximum) {}

  void ReadBack() override {
    TCtrlerEdit::ReadBack();
    int32_t v = 0;
    number_ = ParseWholeInt(text_, v);
    if (number_) value_ = v;
  }
  void Refresh() override {
    SetText(FormatStr("%d", value_));
    TCtrlerEdit::Refresh();
  }
  int IsValid() override {
    return number_ && (minimum_ == kNoCnt || minimum_ <= value_) && (maximum_ == kNoCnt || value_ <= maximum_);
  }
  TParamStr& ErrorText() override { return RangeText(name_, float(minimum_), float(maximum_)); }
  int32_t GetValue() override {
    if (HasWindow()) ReadBack();
    return value_;
  }
  void SetValue(int32_t value) override {
    value_ = value;
    number_ = true;
    if (HasWindow()) Refresh();
  }
  const TStr& GetName() const { return name_; }
  int32_t GetMinimum() const { return minimum_; }
  int32_t GetMaximum() const { return maximum_; }

private:
  TStr name_;
  int32_t value_, minimum_, maximum_;
  bool number_ = true; // the text last read back was a whole number
};

class TCtrlerReal : public TCtrlerEdit, public ICtrlerReal {
public:
  TCtrlerReal(TTView* owner, int32_t id, float value, const TStr& name, float minimum, float maximum,
              TCtrlHandler handler)
      : TCtrlerEdit(owner, id, TStr(), std::move(handler), 0), name_(name), value_(value), minimum_(minimum),
        maximum_(maximum) {}

  void ReadBack() override {
    TCtrlerEdit::ReadBack();
    float v = 0;
    number_ = ParseWholeReal(text_, v);
    if (number_) value_ = v;
  }
  void Refresh() override {
    SetText(FormatStr("%.7G", double(value_)));
    TCtrlerEdit::Refresh();
  }
  int IsValid() override { return number_ && RealInRange(value_, minimum_, maximum_); }
  TParamStr& ErrorText() override { return RangeText(name_, minimum_, maximum_); }
  float GetValue() override {
    if (HasWindow()) ReadBack();
    return value_;
  }
  void SetValue(float value) override {
    value_ = value;
    number_ = true;
    if (HasWindow()) Refresh();
  }

private:
  TStr name_;
  float value_, minimum_, maximum_;
  bool number_ = true;
};

// ---------------------------------------------------------------- spinner

// Two arrow buttons; each click (repeated while held) steps by one.
class DUpDown : public QWidget {
public:
  explicit DUpDown(std::function<void(int32_t delta)> step) : step_(std::move(step)) {
    setFixedSize(kSpinWidth, kSpinHeight);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (int32_t delta : {kSpinUp, kSpinDown}) {
      auto* b = new QToolButton(this);
      b->setArrowType(delta > 0 ? Qt::UpArrow : Qt::DownArrow);
      b->setAutoRepeat(true);
      b->setFixedSize(kSpinWidth, kSpinHeight / 2);
      b->setObjectName(delta > 0 ? QStringLiteral("up") : QStringLiteral("down"));
      layout->addWidget(b);
      connect(b, &QToolButton::clicked, this, [this, delta] { step_(delta); });
    }
  }

private:
  std::function<void(int32_t)> step_;
};

class TCtrlerUpDown : public TCtrlerCtrl, public ICtrlerUpDown {
public:
  TCtrlerUpDown(TTView* owner, int32_t id, TCtrlHandler handler) : TCtrlerCtrl(owner, id, std::move(handler), 0) {
    auto* spin = new DUpDown([this](int32_t delta) {
      if (ICtrlerWnd* d = GetCtrlerWnd()) d->ExecuteValueCmd(delta, Id() - ctlid::kSpinFirst);
    });
    spin->setObjectName(QStringLiteral("ctl%1").arg(id));
    SetGadget(spin);
  }
  void ApplyEnabled() override { EnableWidget(GetGadget(), IsEnabled()); }
  int32_t GetDelta() override {
    ICtrlerWnd* d = GetCtrlerWnd();
    return d ? d->GetCmdValue() : 0;
  }
};

// ---------------------------------------------------------------- value field

class TCtrlerValue : public TCtrlerCtrl, public ICtrlerValue {
public:
  TCtrlerValue(TTView* owner, int32_t textId, int32_t spinId, int32_t width, float value, const TStr& name,
               float minimum, float maximum, int32_t spare, float step, TCtrlHandler handler)
      : TCtrlerCtrl(owner, 0, {}, 0), name_(name), value_(value), minimum_(minimum), maximum_(maximum), step_(step),
        spare_(spare), handler_(std::move(handler)) {
    text_ = CreateCtrlerTextGadget(this, textId, width, [] {});
    spin_ = CreateCtrlerUpDown(this, spinId, [this] { Step(); });
    Refresh(); // the text child holds the value from the start
  }
  void Refresh() override { text_->SetText(FormatValue(value_, format_)); }
  int IsValid() override { return RealInRange(value_, minimum_, maximum_); }
  TParamStr& ErrorText() override { return RangeText(name_, minimum_, maximum_); }
  void SetEnabled(int flag) override {
    TCtrlerCtrl::SetEnabled(flag);
    spin_->SetEnabled(flag);
  }
  float GetValue() override { return value_; }
  void SetValue(float value) override {
    value_ = value;
    if (HasWindow()) Refresh();
  }
  void SetFormat(const TStr& format) override {
    format_ = format;
    Refresh();
  }
  const TStr& GetName() const { return name_; }
  float GetMinimum() const { return minimum_; }
  float GetMaximum() const { return maximum_; }
  float GetStep() const { return step_; }
  int32_t GetSpare() const { return spare_; }

private:
  void Step() {
    const int32_t delta = spin_->GetDelta();
    float v = float(delta) * step_ + value_;
    if (!IsValidValue(v)) v = delta >= 1 ? maximum_ : minimum_;
    value_ = v;
    Refresh();
    if (handler_) handler_();
  }
  bool IsValidValue(float v) const { return RealInRange(v, minimum_, maximum_); }

  ICtrlerText* text_ = nullptr;
  ICtrlerUpDown* spin_ = nullptr;
  TStr name_;
  TStr format_;
  float value_, minimum_, maximum_, step_;
  int32_t spare_;
  TCtrlHandler handler_;
};

} // namespace

ICtrlerText* CreateCtrlerText(TTView* owner, int32_t id, TCtrlHandler handler) {
  return new TCtrlerText(owner, id, std::move(handler), 0);
}
ICtrlerText* CreateCtrlerTextGadget(TTView* owner, int32_t id, int32_t width, TCtrlHandler handler) {
  return new TCtrlerText(owner, id, std::move(handler), width > 0 ? width : 1);
}
ICtrlerEdit* CreateCtrlerEdit(TTView* owner, int32_t id, const TStr& text, TCtrlHandler handler) {
  return new TCtrlerEdit(owner, id, text, std::move(handler), 0);
}
ICtrlerEdit* CreateCtrlerEditGadget(TTView* owner, int32_t id, int32_t width, const TStr& text, TCtrlHandler handler) {
  return new TCtrlerEdit(owner, id, text, std::move(handler), width > 0 ? width : 1);
}
ICtrlerCnt* CreateCtrlerCnt(TTView* owner, int32_t id, int32_t value, const TStr& name, int32_t minimum,
                            int32_t maximum, TCtrlHandler handler) {
  return new TCtrlerCnt(owner, id, value, name, minimum, maximum, std::move(handler));
}
ICtrlerReal* CreateCtrlerReal(TTView* owner, int32_t id, float value, const TStr& name, float minimum, float maximum,
                              TCtrlHandler handler) {
  return new TCtrlerReal(owner, id, value, name, minimum, maximum, std::move(handler));
}
ICtrlerUpDown* CreateCtrlerUpDown(TTView* owner, int32_t id, TCtrlHandler handler) {
  return new TCtrlerUpDown(owner, id, std::move(handler));
}
ICtrlerValue* CreateCtrlerValue(TTView* owner, int32_t textId, int32_t spinId, int32_t width, float value,
                                const TStr& name, float minimum, float maximum, int32_t spare, float step,
                                TCtrlHandler handler) {
  return new TCtrlerValue(owner, textId, spinId, width, value, name, minimum, maximum, spare, step,
                          std::move(handler));
}
