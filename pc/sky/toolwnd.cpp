#include "pc/sky/toolwnd.h"

#include "pc/sky/ctrl.h"
#include "pc/sky/guithread.h"
#include "src/base/settings.h"

#include <QDockWidget>
#include <QEvent>
#include <QGuiApplication>
#include <QMainWindow>
#include <QScreen>
#include <QToolBar>


namespace {

using namespace toolbox;

struct TBoxNames {
  const char* title;
  const char* object;
  const char* loc;
  const char* x;
  const char* y;
  const char* w;
  const char* h;
};
const TBoxNames kNames[kBoxCount] = {
  {"Ensemble Control Box", "EnsembleBox", setting::EnsembleBoxLoc, setting::EnsembleBoxX, setting::EnsembleBoxY,
   setting::EnsembleBoxW, setting::EnsembleBoxH},
  {"Instrument Control Box", "InstrumentBox", setting::InstrumentBoxLoc, setting::InstrumentBoxX,
   setting::InstrumentBoxY, setting::InstrumentBoxW, setting::InstrumentBoxH},
};

// How much of a floating box must lie on a screen for it to be reachable.
constexpr int kMinVisibleW = 40, kMinVisibleH = 16;

Qt::DockWidgetArea AreaOf(int32_t loc) {
  switch (loc) {
  case kBottom: return Qt::BottomDockWidgetArea;
  case kLeft: return Qt::LeftDockWidgetArea;
  case kRight: return Qt::RightDockWidgetArea;
  default: return Qt::TopDockWidgetArea;
  }
}

int32_t LocOf(Qt::DockWidgetArea area) {
  switch (area) {
  case Qt::BottomDockWidgetArea: return kBottom;
  case Qt::LeftDockWidgetArea: return kLeft;
  case Qt::RightDockWidgetArea: return kRight;
  default: return kTop;
  }
}

QRect ToQRect(const TArea& a) { return QRect(a.Left(), a.Top(), a.Right() - a.Left(), a.Bottom() - a.Top()); }
TArea ToArea(const QRect& r) { return TArea(r.x(), r.y(), r.x() + r.width(), r.y() + r.height()); }

bool OnSomeScreen(const TArea& a) {
  if (a.IsEmpty()) return false;
  const QRect r = ToQRect(a);
  for (QScreen* s : QGuiApplication::screens()) {
    const QRect seen = r.intersected(s->availableGeometry());
    if (seen.width() >= kMinVisibleW && seen.height() >= kMinVisibleH) return true;
  }
  return false;
}

} // namespace

// ---------------------------------------------------------------- TToolWnd

TToolWnd::TToolWnd(QMainWindow* frame) {
  auto* d = new DToolWnd(this, frame ? frame : GetMainWindow());
  SetDCtrler(d, d);
  // A command of one of its controls reaches it from a menu or another window.
  AddControlBox(this);
}

TToolWnd::~TToolWnd() {
  DestructorBody([this] {
    RemoveControlBox(this);
    DeleteControls();
    delete GetDToolWnd(); // writes the places of the boxes
  });
}

DToolWnd* TToolWnd::GetDToolWnd() const { return static_cast<DToolWnd*>(GetDCtrler()); }

TCtrlerCtrl* TToolWnd::FindControl(int32_t id) const {
  for (TTView* v = FirstChild(); v; v = v->NextSibling())
    if (auto* c = dynamic_cast<TCtrlerCtrl*>(v); c && c->Id() == id) return c;
  return nullptr;
}

TToolWnd* TToolWnd::OwnerOf(int32_t id) { return dynamic_cast<TToolWnd*>(ControlBoxOf(id)); }

bool TToolWnd::IsControlEnabled(int32_t id) const {
  TCtrlerCtrl* c = FindControl(id);
  return c && c->IsEnabled();
}

bool TToolWnd::RunControl(int32_t id) {
  TCtrlerCtrl* c = FindControl(id);
  if (!c || !c->IsEnabled()) return false;
  TUpdateBracket bracket;
  Execute(id);
  return true;
}

void TToolWnd::Open() {
  if (DToolWnd* d = GetDToolWnd()) d->Open();
}
void TToolWnd::ShowEnsembleBox() {
  if (DToolWnd* d = GetDToolWnd()) d->Show(kEnsemble);
}
void TToolWnd::HideEnsembleBox() {
  if (DToolWnd* d = GetDToolWnd()) d->Hide(kEnsemble);
}
void TToolWnd::ShowInstrumentBox() {
  if (DToolWnd* d = GetDToolWnd()) d->Show(kInstrument);
}
void TToolWnd::HideInstrumentBox() {
  if (DToolWnd* d = GetDToolWnd()) d->Hide(kInstrument);
}

void TToolWnd::PostViewNotify(TTView* view, int flag) {
  if (!view) return;
  std::weak_ptr<int> alive = view->Liveness();
  sky::PostToGui([alive, view, flag] {
    if (alive.expired()) return;
    TUpdateBracket bracket;
    view->Refresh(flag);
  });
}

// ---------------------------------------------------------------- DToolWnd

DToolWnd::DToolWnd(TToolWnd* view, QMainWindow* frame) : DCtrler(view), frame_(frame) {
  for (int b = 0; b < kBoxCount; ++b) {
    TBox& box = boxes_[b];
    auto* dock = new QDockWidget(QString::fromLatin1(kNames[b].title), frame);
    dock->setObjectName(QString::fromLatin1(kNames[b].object));
    dock->setFont(DlgFont());
    dock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
                      QDockWidget::DockWidgetFloatable);
    auto* bar = new QToolBar(dock);
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setFont(DlgFont());
    dock->setWidget(bar);
    dock->hide();
    dock->installEventFilter(this);
    // The user drags a box: where it went is kept.
    connect(dock, &QDockWidget::dockLocationChanged, this, [this, b] { Remember(b); });
    connect(dock, &QDockWidget::topLevelChanged, this, [this, b] { Remember(b); });
    box.dock = dock;
    box.bar = bar;

    int32_t loc = int32_t(ReadSettingInt(kNames[b].loc, uint32_t(kTop)));
    box.rect = TArea(int32_t(ReadSettingInt(kNames[b].x, 0)), int32_t(ReadSettingInt(kNames[b].y, 0)),
                     int32_t(ReadSettingInt(kNames[b].w, 0)), int32_t(ReadSettingInt(kNames[b].h, 0)));
    // A place that cannot be shown, or a floating box that would be out of
    // reach, comes back docked at the top.
    if (loc < kFloating || loc > kRight) loc = kTop;
    if (loc == kFloating && !OnSomeScreen(box.rect)) loc = kTop;
    box.loc = loc;
  }
}

DToolWnd::~DToolWnd() {
  for (int b = 0; b < kBoxCount; ++b) {
    if (boxes_[b].shown && boxes_[b].dock) Remember(b);
    if (boxes_[b].dock) boxes_[b].dock->removeEventFilter(this);
  }
  for (int b = 0; b < kBoxCount; ++b) {
    const TBox& box = boxes_[b];
    WriteSettingInt(kNames[b].loc, uint32_t(box.loc));
    WriteSettingInt(kNames[b].x, uint32_t(box.rect.Left()));
    WriteSettingInt(kNames[b].y, uint32_t(box.rect.Top()));
    WriteSettingInt(kNames[b].w, uint32_t(box.rect.Right()));
    WriteSettingInt(kNames[b].h, uint32_t(box.rect.Bottom()));
  }
  saved_ = 1;
  for (int b = 0; b < kBoxCount; ++b) delete boxes_[b].dock.data();
}

QWidget* DToolWnd::GetWindow() { return frame_.data(); }

QWidget* DToolWnd::FindControl(int32_t id) {
  for (const TBox& box : boxes_)
    if (QWidget* w = FindDlgControl(box.dock.data(), id)) return w;
  return nullptr;
}

TToolWnd* DToolWnd::ToolView() const { return dynamic_cast<TToolWnd*>(view_); }

void DToolWnd::AddControls() {
  if (!view_) return;
  placeInEnsemble_ = 1;
  view_->VisitTreeWith([this](TTView* v) {
    auto* c = dynamic_cast<TCtrlerCtrl*>(v);
    if (!c) return 1;
    if (c->IsBarSplit()) {
      placeInEnsemble_ = 0;
      return 1;
    }
    QWidget* gadget = c->GetGadget();
    QToolBar* bar = boxes_[placeInEnsemble_ ? kEnsemble : kInstrument].bar.data();
    if (gadget && bar && gadget->parentWidget() == nullptr) bar->addWidget(gadget);
    return 1;
  });
}

void DToolWnd::Open() {
  AddControls();
  SetUp();
  for (int b = 0; b < kBoxCount; ++b) {
    Insert(b);
    boxes_[b].shown = 1;
  }
}

void DToolWnd::Insert(int b) {
  TBox& box = boxes_[b];
  QDockWidget* dock = box.dock.data();
  if (!dock || !frame_) return;
  changing_ = true;
  if (box.loc == kFloating) {
    frame_->addDockWidget(Qt::TopDockWidgetArea, dock);
    box.bar->setOrientation(Qt::Horizontal);
    dock->setFloating(true);
    dock->setGeometry(ToQRect(box.rect));
  } else {
    const bool across = box.loc == kTop || box.loc == kBottom;
    box.bar->setOrientation(across ? Qt::Horizontal : Qt::Vertical);
    dock->setFloating(false);
    frame_->addDockWidget(AreaOf(box.loc), dock, Qt::Vertical);
  }
  dock->show();
  changing_ = false;
}

void DToolWnd::Show(int b) {
  TBox& box = boxes_[b];
  if (box.shown || !box.dock) return;
  TBox& other = boxes_[kInstrument];
  if (b == kEnsemble && box.loc == kTop && other.shown && other.loc == kTop && other.dock && frame_) {
    // The ensemble box comes first on the top edge.
    changing_ = true;
    frame_->removeDockWidget(other.dock);
    changing_ = false;
    Insert(kEnsemble);
    Insert(kInstrument);
  } else {
    Insert(b);
  }
  box.shown = 1;
}

void DToolWnd::Hide(int b) {
  TBox& box = boxes_[b];
  if (!box.shown || !box.dock) return;
  Remember(b);
  changing_ = true;
  if (frame_) frame_->removeDockWidget(box.dock);
  box.dock->hide();
  changing_ = false;
  box.shown = 0;
}

void DToolWnd::Remember(int b) {
  TBox& box = boxes_[b];
  QDockWidget* dock = box.dock.data();
  if (!dock || changing_ || !dock->isVisible()) return;
  if (dock->isFloating()) {
    box.loc = kFloating;
    box.rect = ToArea(dock->geometry());
  } else if (frame_) {
    box.loc = LocOf(frame_->dockWidgetArea(dock));
  }
}

int DToolWnd::BoxOf(QObject* o) const {
  for (int b = 0; b < kBoxCount; ++b)
    if (boxes_[b].dock == o) return b;
  return -1;
}

bool DToolWnd::eventFilter(QObject* watched, QEvent* event) {
  const int b = BoxOf(watched);
  if (b < 0 || changing_) return QObject::eventFilter(watched, event);
  TBox& box = boxes_[b];
  switch (event->type()) {
  case QEvent::Move:
  case QEvent::Resize:
    if (box.dock->isFloating()) Remember(b);
    break;
  case QEvent::HideToParent:
    // Only the box itself being closed counts: the main window closing
    // hides it too, and the box stays shown for the next start.
    if (box.shown && frame_ && frame_->isVisible()) {
      box.shown = 0;
      if (TToolWnd* v = ToolView()) b == kEnsemble ? v->EnsembleBoxHidden() : v->InstrumentBoxHidden();
    }
    break;
  case QEvent::ShowToParent:
    if (!box.shown) {
      box.shown = 1;
      if (TToolWnd* v = ToolView()) b == kEnsemble ? v->EnsembleBoxShown() : v->InstrumentBoxShown();
    }
    break;
  default: break;
  }
  return QObject::eventFilter(watched, event);
}
