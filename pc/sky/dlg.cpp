#include "pc/sky/dlg.h"

#include "pc/sky/ctrl.h"
#include "pc/sky/qtext.h"
#include "pc/sky/qthost.h"
#include "pc/sky/wnd.h"
#include "src/base/tools.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

#include <map>

namespace {

std::map<int32_t, TDlgTemplate>& Templates() {
  static std::map<int32_t, TDlgTemplate> templates;
  return templates;
}

bool InRange(int32_t id, int32_t first, int32_t last) { return id >= first && id <= last; }

QRect PixelRect(const TDlgItem& item) {
  const int x = DlgUnitsToPixelsX(item.x), y = DlgUnitsToPixelsY(item.y);
  const int r = DlgUnitsToPixelsX(item.x + item.w), b = DlgUnitsToPixelsY(item.y + item.h);
  return QRect(x, y, std::max(r - x, 1), std::max(b - y, 1));
}

constexpr int32_t kEmptyTemplateW = 200, kEmptyTemplateH = 100;
const char* const kPendingScroll = "qvPendingScroll";

int32_t ScrollCode(int action) {
  switch (action) {
  case QAbstractSlider::SliderSingleStepAdd: return ctlnote::kLineDown;
  case QAbstractSlider::SliderSingleStepSub: return ctlnote::kLineUp;
  case QAbstractSlider::SliderPageStepAdd: return ctlnote::kPageDown;
  case QAbstractSlider::SliderPageStepSub: return ctlnote::kPageUp;
  case QAbstractSlider::SliderToMinimum: return ctlnote::kTop;
  case QAbstractSlider::SliderToMaximum: return ctlnote::kBottom;
  default: return ctlnote::kThumbTrack;
  }
}

// Only what the user does reaches the controller; the controls block the
// signals of their own changes.
void ConnectNotifications(QWidget* w, const TDlgItem& item, DCtrler* notify) {
  const int32_t id = item.id;
  if (id == kIdOk || id == kIdCancel) return; // the dialog's own buttons
  if (auto* b = qobject_cast<QAbstractButton*>(w)) {
    QObject::connect(b, &QAbstractButton::clicked, w, [notify, id] { notify->Notify(id, ctlnote::kClicked); });
  } else if (auto* c = qobject_cast<QComboBox*>(w)) {
    QObject::connect(c, &QComboBox::activated, w, [notify, id] { notify->Notify(id, ctlnote::kSelChange); });
  } else if (auto* l = qobject_cast<QListWidget*>(w)) {
    QObject::connect(l, &QListWidget::itemSelectionChanged, w,
                     [notify, id] { notify->Notify(id, ctlnote::kSelChange); });
    QObject::connect(l, &QListWidget::itemDoubleClicked, w,
                     [notify, id] { notify->Notify(id, ctlnote::kDoubleClick); });
  } else if (auto* s = qobject_cast<QSlider*>(w)) {
    // The action comes before the move; the notification follows the move,
    // so that the handler reads the new position.
    QObject::connect(s, &QSlider::actionTriggered, w, [s](int action) {
      s->setProperty(kPendingScroll, ScrollCode(action));
    });
    QObject::connect(s, &QSlider::valueChanged, w, [s, notify, id] {
      const QVariant pending = s->property(kPendingScroll);
      if (!pending.isValid()) return;
      s->setProperty(kPendingScroll, QVariant());
      notify->Notify(id, pending.toInt());
    });
    QObject::connect(s, &QSlider::sliderReleased, w, [notify, id] { notify->Notify(id, ctlnote::kEndScroll); });
  }
}

} // namespace

// ---------------------------------------------------------------- templates

void RegisterDlgTemplate(TDlgTemplate dlgTemplate) {
  const int32_t id = dlgTemplate.id;
  Templates()[id] = std::move(dlgTemplate);
}

const TDlgTemplate* FindDlgTemplate(int32_t id) {
  auto it = Templates().find(id);
  return it == Templates().end() ? nullptr : &it->second;
}

QWidget* FindDlgControl(QWidget* in, int32_t id) {
  if (!in) return nullptr;
  return in->findChild<QWidget*>(QStringLiteral("ctl%1").arg(id));
}

void BuildDlgTemplate(QWidget* into, const TDlgTemplate* t, DCtrler* notify) {
  into->setFont(DlgFont());
  if (!t) {
    into->setFixedSize(DlgUnitsToPixelsX(kEmptyTemplateW), DlgUnitsToPixelsY(kEmptyTemplateH));
    return;
  }
  into->setFixedSize(DlgUnitsToPixelsX(t->w), DlgUnitsToPixelsY(t->h));
  QWidget* previousFocusable = nullptr;
  QLabel* waitingLabel = nullptr; // a text whose access key moves to the next control
  QButtonGroup* radios = nullptr;
  std::vector<QWidget*> groups;
  for (const TDlgItem& item : t->items) {
    const QString text = sky::ToQString(item.text);
    QWidget* w = nullptr;
    if (item.kind != TDlgItemKind::Radio) radios = nullptr;
    switch (item.kind) {
    case TDlgItemKind::Static: {
      auto* l = new QLabel(text, into);
      Qt::Alignment a = Qt::AlignLeft;
      if (item.flags & dlgflag::kRight) a = Qt::AlignRight;
      if (item.flags & dlgflag::kCentre) a = Qt::AlignHCenter;
      l->setAlignment(a | Qt::AlignTop);
      // A text given room for more than one line wraps within it.
      if (item.h >= 16) l->setWordWrap(true);
      if (item.flags & dlgflag::kSunken) {
        l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        l->setAlignment(a | Qt::AlignVCenter);
      }
      w = l;
      break;
    }
    case TDlgItemKind::Group: {
      w = new QGroupBox(text, into);
      groups.push_back(w);
      break;
    }
    case TDlgItemKind::Button:
    case TDlgItemKind::DefButton: {
      auto* b = new QPushButton(text, into);
      b->setAutoDefault(false);
      if (item.kind == TDlgItemKind::DefButton) b->setDefault(true);
      w = b;
      break;
    }
    case TDlgItemKind::Edit: {
      if (item.flags & dlgflag::kMultiLine) {
        auto* m = new QPlainTextEdit(into);
        m->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        m->setTabChangesFocus(true);
        w = m;
        break;
      }
      auto* e = new QLineEdit(into);
      if (item.flags & dlgflag::kPassword) e->setEchoMode(QLineEdit::Password);
      if (item.flags & dlgflag::kRight) e->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
      w = e;
      break;
    }
    case TDlgItemKind::Check: w = new QCheckBox(text, into); break;
    case TDlgItemKind::Radio: {
      auto* r = new QRadioButton(text, into);
      r->setAutoExclusive(false); // groups are explicit, not by parent
      if (!radios || (item.flags & dlgflag::kGroup)) {
        radios = new QButtonGroup(into);
        radios->setExclusive(true);
      }
      radios->addButton(r, item.id);
      w = r;
      break;
    }
    case TDlgItemKind::Combo: {
      auto* c = new QComboBox(into);
      c->setEditable(false);
      w = c;
      break;
    }
    case TDlgItemKind::List: {
      auto* l = new QListWidget(into);
      l->setSelectionMode((item.flags & dlgflag::kMultiSel) ? QAbstractItemView::MultiSelection
                                                              : QAbstractItemView::SingleSelection);
      w = l;
      break;
    }
    case TDlgItemKind::Slider: {
      auto* s = new QSlider(Qt::Horizontal, into);
      s->setTickPosition(QSlider::TicksBelow);
      w = s;
      break;
    }
    case TDlgItemKind::Line: {
      auto* f = new QFrame(into);
      f->setFrameShape(QFrame::HLine);
      f->setFrameShadow(QFrame::Sunken);
      w = f;
      break;
    }
    case TDlgItemKind::Picture: {
      auto* l = new QLabel(into);
      EPtr<IBmp> bmp(CreateBmp());
      try {
        bmp->LoadResource(int32_t(std::strtol(item.text.c_str(), nullptr, 10)));
        if (const QImage* image = sky::QtImage(bmp.Get())) l->setPixmap(QPixmap::fromImage(*image));
      } catch (const TError&) {
        // a missing picture leaves the place empty
      }
      w = l;
      break;
    }
    }
    w->setObjectName(QStringLiteral("ctl%1").arg(item.id));
    if (notify) ConnectNotifications(w, item, notify);
    QRect r = PixelRect(item);
    if (item.kind == TDlgItemKind::Line) r.setHeight(2);
    if (auto* c = qobject_cast<QComboBox*>(w)) {
      // The table's height counts the dropped list, as the closed box stands
      // one line high.
      const int closed = std::min(c->sizeHint().height(), r.height());
      const int row = c->fontMetrics().height() + 2;
      c->setMaxVisibleItems(std::max(1, (r.height() - closed) / std::max(row, 1)));
      r.setHeight(closed);
    }
    if (item.kind == TDlgItemKind::Picture) {
      // A picture larger than its place shrinks to fit, keeping its shape,
      // rather than being cut off; a smaller one stands centred.
      auto* l = static_cast<QLabel*>(w);
      const QPixmap p = l->pixmap();
      if (!p.isNull() && (p.width() > r.width() || p.height() > r.height()))
        l->setPixmap(p.scaled(r.size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
      l->setAlignment(Qt::AlignCenter);
    }
    w->setGeometry(r);
    if (w->focusPolicy() != Qt::NoFocus) {
      if (previousFocusable) QWidget::setTabOrder(previousFocusable, w);
      previousFocusable = w;
      if (waitingLabel) waitingLabel->setBuddy(w);
      waitingLabel = nullptr;
    } else if (item.kind == TDlgItemKind::Static) {
      waitingLabel = static_cast<QLabel*>(w);
    }
  }
  for (QWidget* g : groups) g->lower(); // frames stay behind the controls they hold
}

// ---------------------------------------------------------------- DCtrler

QWidget* DCtrler::FindControl(int32_t id) { return FindDlgControl(GetWindow(), id); }

void DCtrler::AddCmd(int32_t id, TTView* view, std::function<void()> handler) {
  if (id == 0 || !handler || !view) return;
  view->AddCmd(id, std::move(handler));
}

void DCtrler::Notify(int32_t id, int32_t code) {
  bool run = false;
  if (InRange(id, ctlid::kButtonFirst, ctlid::kButtonLast) || InRange(id, ctlid::kEditFirst, ctlid::kEditLast) ||
      InRange(id, ctlid::kCheckFirst, ctlid::kCheckLast) || InRange(id, ctlid::kRadioFirst, ctlid::kRadioLast))
    run = code == ctlnote::kClicked;
  else if (InRange(id, ctlid::kMenuFirst, ctlid::kMenuLast) || InRange(id, ctlid::kListFirst, ctlid::kListLast))
    run = code == ctlnote::kSelChange;
  else if (InRange(id, ctlid::kSliderFirst, ctlid::kSliderLast))
    run = code >= 0; // codes sent as negative numbers are not scroll codes
  if (run) ExecuteNow(id);
}

void DCtrler::ExecuteValueCmd(int32_t value, int32_t n) {
  cmdValue_ = value;
  ExecuteNow(ctlid::kSpinFirst + n);
}

void DCtrler::ExecuteNow(int32_t id) {
  if (!view_) return;
  try {
    TUpdateBracket bracket;
    view_->Execute(id);
  } catch (...) {
    // A command that failed says why; the window goes on.
    RecordCurrentException();
    ShowLastError();
  }
}

void DCtrler::SetUp() {
  windowExists_ = 1;
  if (!view_) return;
  view_->VisitTreeWith([](TTView* v) {
    if (auto* c = dynamic_cast<TCtrlerCtrl*>(v)) c->Refresh();
    return 1;
  });
}

bool DCtrler::ReadBackAndCheck() {
  if (!view_) return true;
  view_->VisitTreeWith([](TTView* v) {
    auto* c = dynamic_cast<TCtrlerCtrl*>(v);
    if (c && c->IsEnabled()) c->ReadBack();
    return 1;
  });
  TCtrlerCtrl* invalid = nullptr;
  view_->VisitTreeWith([&invalid](TTView* v) {
    auto* c = dynamic_cast<TCtrlerCtrl*>(v);
    if (c && c->NeedsCheck() && c->IsEnabled() && !c->IsValid()) {
      invalid = c;
      return 0;
    }
    return 1;
  });
  if (!invalid) return true;
  invalid->TakeFocus();
  ShowMessage(&invalid->ErrorText(), 0);
  return false;
}

// ---------------------------------------------------------------- TCtrler

namespace {
// Views under a controller show in the controller's window.
const bool kResolverInstalled = [] {
  SetViewWindowResolver([](TTView* root) -> QWidget* {
    auto* c = dynamic_cast<TCtrler*>(root);
    DCtrler* d = c ? c->GetDCtrler() : nullptr;
    return d ? d->GetWindow() : nullptr;
  });
  return true;
}();
} // namespace

void TCtrler::SetCaption(const TStr& text) {
  if (DCtrler* d = GetDCtrler()) d->SetCaption(text);
}

TCtrler::~TCtrler() {
  DestructorBody([this] { DeleteControls(); });
}

void TCtrler::DeleteControls() {
  while (TTView* child = FirstChild()) delete child;
}

// ---------------------------------------------------------------- DDlg

DDlg::DDlg(TCtrler* view, int32_t resourceId) : QDialog(GetMainWindow()), DCtrler(view) {
  const TDlgTemplate* t = FindDlgTemplate(resourceId);
  BuildDlgTemplate(this, t, this);
  setWindowTitle(t ? sky::ToQString(t->caption) : QString());
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  // OK and Cancel go to the dialog itself, not to the command table.
  if (auto* ok = qobject_cast<QPushButton*>(FindDlgControl(this, kIdOk)))
    connect(ok, &QPushButton::clicked, this, [this] { OnClose(kIdOk); });
  if (auto* cancel = qobject_cast<QPushButton*>(FindDlgControl(this, kIdCancel)))
    connect(cancel, &QPushButton::clicked, this, [this] { OnClose(kIdCancel); });
}

void DDlg::SetCaption(const TStr& text) { setWindowTitle(sky::ToQString(text)); }

bool DDlg::Create() {
  ok_ = 0;
  SetUp();
  setModal(false);
  show();
  return true;
}

int DDlg::Execute() {
  ok_ = 0;
  SetUp();
  setResult(0);
  const int code = sky::RunModal(*this);
  windowExists_ = 0;
  return code;
}

void DDlg::Close(int cancel) {
  // Without a read-back the widgets no longer speak for the values.
  windowExists_ = 0;
  QDialog::done(cancel ? kIdCancel : kIdOk);
}

void DDlg::OnClose(int32_t code) {
  if (code == kIdOk) ok_ = 1;
  if (!QueryClose()) return;
  QDialog::done(code);
}

bool DDlg::QueryClose() {
  if (ok_ && !ReadBackAndCheck()) {
    ok_ = 0;
    return false;
  }
  windowExists_ = 0;
  return true;
}

// ---------------------------------------------------------------- TDlg

TDlg::TDlg(int32_t resourceId) {
  auto* d = new DDlg(this, resourceId);
  SetDCtrler(d, d);
}

TDlg::~TDlg() {
  DestructorBody([this] {
    DeleteControls();
    delete GetDDlg(); // the window goes with its view
  });
}

DDlg* TDlg::GetDDlg() const { return static_cast<DDlg*>(GetDCtrler()); }

bool TDlg::Create() {
  DDlg* d = GetDDlg();
  return d && d->Create();
}

void TDlg::Close(int cancel) {
  if (DDlg* d = GetDDlg()) d->Close(cancel);
}

int TDlg::Execute() {
  DDlg* d = GetDDlg();
  return d ? d->Execute() : kIdCancel;
}

int TDlg::WasOk() const {
  DDlg* d = GetDDlg();
  return d ? d->WasOk() : 0;
}
