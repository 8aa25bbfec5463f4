#include "pc/sky/wnd.h"

#include "pc/sky/guithread.h"
#include "pc/sky/qtext.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>

namespace {

// Private events of the window layer.
constexpr QEvent::Type kRecomputeScrollRanges = QEvent::Type(QEvent::User + 101);
constexpr QEvent::Type kShowScrollBars = QEvent::Type(QEvent::User + 102);
constexpr QEvent::Type kViewNotify = QEvent::Type(QEvent::User + 200);

class TViewNotifyEvent : public QEvent {
public:
  TViewNotifyEvent(TTView* v, std::weak_ptr<int> a, int f) : QEvent(kViewNotify), view(v), alive(std::move(a)), flag(f) {}
  TTView* view;
  std::weak_ptr<int> alive;
  int flag;
};

struct TLayer {
  std::vector<DWnd*> windows;
  int32_t updateCount = 0;
  int32_t activationCounter = 0;
  TTView* lastRightClicked = nullptr;
  TWnd* lastActivatedRoot = nullptr;
  TWnd* activeWnd = nullptr;
  std::function<void(int32_t)> appCommand;
  std::function<void(IMenu*, DWnd*, const QPoint&)> contextMenu;
  std::function<QWidget*(TTView*)> viewWindowResolver;
  QPointer<QMainWindow> mainWindow;
  IShellApp* app = nullptr;
};
TLayer& Layer() {
  static TLayer layer;
  return layer;
}

QRect QtRect(const TArea& a) { return QRect(a.Left(), a.Top(), a.Width(), a.Height()); }

bool InRange(int32_t id, int32_t first, int32_t last) { return id >= first && id <= last; }

} // namespace

// ---------------------------------------------------------------- bracket and globals

void BeginUpdate() {
  QV_ASSERT_GUI_THREAD();
  ++Layer().updateCount;
}

void EndUpdate() {
  QV_ASSERT_GUI_THREAD();
  TLayer& l = Layer();
  if (l.updateCount > 0) --l.updateCount;
  if (l.updateCount != 0) return;
  // A redraw may open and close brackets of its own or close windows: walk a copy.
  std::vector<DWnd*> windows = l.windows;
  for (DWnd* w : windows) {
    if (std::find(l.windows.begin(), l.windows.end(), w) == l.windows.end()) continue;
    if (!w->DirtyArea().IsEmpty()) w->Redraw(w->DirtyArea());
  }
}

int32_t GetUpdateCount() { return Layer().updateCount; }
TTView* GetLastRightClickedView() { return Layer().lastRightClicked; }
TWnd* GetActiveWndView() { return Layer().activeWnd; }
void SetAppCommandHandler(std::function<void(int32_t)> handler) { Layer().appCommand = std::move(handler); }
void SetContextMenuHandler(std::function<void(IMenu*, DWnd*, const QPoint&)> handler) {
  Layer().contextMenu = std::move(handler);
}
const std::vector<DWnd*>& WindowList() { return Layer().windows; }
QMainWindow* GetMainWindow() { return Layer().mainWindow.data(); }
void SetMainWindow(QMainWindow* frame) { Layer().mainWindow = frame; }
IShellApp* GetShellApp() { return Layer().app; }
void SetShellApp(IShellApp* app) { Layer().app = app; }
void SetViewWindowResolver(std::function<QWidget*(TTView*)> resolver) {
  Layer().viewWindowResolver = std::move(resolver);
}

QWidget* GetViewWindow(TTView* view) {
  if (!view) return nullptr;
  TTView* root = view->GetRoot();
  if (auto* wnd = dynamic_cast<TWnd*>(root)) {
    DWnd* canvas = wnd->GetDWnd();
    if (!canvas) return nullptr;
    if (dynamic_cast<IDocFrame*>(canvas->parentWidget())) return canvas->parentWidget();
    return canvas->window();
  }
  const auto& resolver = Layer().viewWindowResolver;
  return resolver ? resolver(root) : nullptr;
}

namespace sky::detail {
void ViewGone(TTView* view) {
  TLayer& l = Layer();
  if (l.lastRightClicked == view) l.lastRightClicked = nullptr;
  if (l.lastActivatedRoot == view) l.lastActivatedRoot = nullptr;
  if (l.activeWnd == view) l.activeWnd = nullptr;
  for (DWnd* w : l.windows) w->Forget(view);
}
void RequestCaptureAt(TTView* root) {
  if (auto* wnd = dynamic_cast<TWnd*>(root))
    if (wnd->GetDWnd()) wnd->GetDWnd()->captureRequest_ = 1;
}
} // namespace sky::detail

// ---------------------------------------------------------------- TWnd

TWnd::TWnd(QWidget* frameParent) : dwnd_(new DWnd(this, frameParent)) {}

TWnd::~TWnd() {
  DestructorBody([this] {
    IDocFrame* frame = Frame();
    DWnd* w = dwnd_.data();
    dwnd_.clear();
    if (frame) {
      frame->DetachOwner(); // it must not delete this window again
      delete frame;         // takes the canvas along
    } else {
      delete w;
    }
  });
}

IDocFrame* TWnd::Frame() const { return dwnd_ ? dynamic_cast<IDocFrame*>(dwnd_->parentWidget()) : nullptr; }

void TWnd::Invalidate() {
  if (sky::OffGuiThread(this, [this] { Invalidate(); })) return;
  if (dwnd_) dwnd_->Redraw(dwnd_->VisibleArea());
}

void TWnd::InvalidateArea(const TArea& a) {
  if (sky::OffGuiThread(this, [this, a] { InvalidateArea(a); })) return;
  if (dwnd_ && !a.IsEmpty()) dwnd_->Redraw(a);
}

TPnt TWnd::GetMousePos() { return dwnd_ ? dwnd_->LastMousePos() : TPnt(); }

void TWnd::Paint(IDrawContext* ctx, const TArea& clip) {
  IBmp* bmp = dwnd_ ? dwnd_->background_ : nullptr;
  const int32_t w = bmp ? bmp->GetWidth() : 0, h = bmp ? bmp->GetHeight() : 0;
  if (w > 0 && h > 0) {
    for (int32_t row = (clip.Top() - (h - 1)) / h; row <= (clip.Bottom() + h - 1) / h; ++row)
      for (int32_t col = (clip.Left() - (w - 1)) / w; col <= (clip.Right() + w - 1) / w; ++col)
        ctx->DrawBitmap(bmp, TPnt(col * w, row * h));
  } else {
    ctx->FillArea(clip, dwnd_ ? dwnd_->backgroundColor_.Get() : StdColor(TStdColor::White));
  }
  TTView::Paint(ctx, clip);
}

void TWnd::PostViewNotify(TTView* view, int flag) {
  if (!dwnd_ || !view) return;
  QCoreApplication::postEvent(dwnd_.data(), new TViewNotifyEvent(view, view->Liveness(), flag & 0xFF));
}

void TWnd::DrawViewDirect(TTView* view, const TPnt& offset, int flag) {
  QV_ASSERT_GUI_THREAD();
  if (dwnd_ && view && view->IsVisible()) dwnd_->DrawFeedbackOf(view, offset, flag);
}

void TWnd::DrawViewNow(TTView* view) {
  if (view && HasInTree(view)) view->DrawDirect(0);
}

void TWnd::Create() {
  QV_ASSERT_GUI_THREAD();
  if (!dwnd_) return;
  if (IDocFrame* frame = Frame()) {
    frame->Create();
    return;
  }
  dwnd_->show();
  dwnd_->window()->show();
}

void TWnd::SetTitle(const TStr& title) {
  if (IDocFrame* frame = Frame()) frame->SetTitle(title);
  else if (dwnd_) dwnd_->window()->setWindowTitle(sky::ToQString(title));
}

void TWnd::BringToTop() {
  if (!dwnd_) return;
  if (IDocFrame* frame = Frame()) {
    frame->BringToTop();
    return;
  }
  QWidget* frame = dwnd_->window();
  frame->showNormal();
  frame->raise();
}

void TWnd::SetTopmost(int topmost) {
  if (!dwnd_) return;
  if (IDocFrame* frame = Frame()) {
    frame->SetTopmost(topmost);
    return;
  }
  QWidget* frame = dwnd_->window();
  const bool shown = frame->isVisible();
  frame->setWindowFlag(Qt::WindowStaysOnTopHint, topmost != 0);
  if (shown) frame->show(); // changing the flags hides a window
}

int32_t TWnd::GetActivationStamp() const { return dwnd_ ? dwnd_->activationStamp_ : 0; }

void TWnd::SetIcon(int32_t bitmapId) {
  if (!dwnd_) return;
  if (IDocFrame* frame = Frame()) {
    frame->SetIcon(bitmapId);
    return;
  }
  QWidget* frame = dwnd_->window();
  if (bitmapId < 0) {
    frame->setWindowIcon(QIcon());
    return;
  }
  EPtr<IBmp> bmp(CreateBmp());
  try {
    bmp->LoadResource(bitmapId);
  } catch (const TError&) {
    return; // a window without its icon still works
  }
  if (const QImage* image = sky::QtImage(bmp.Get())) frame->setWindowIcon(QIcon(QPixmap::fromImage(*image)));
}

void TWnd::GetPlacement(int* state, TPnt* framePos, TArea* view) const {
  if (state) *state = 0;
  if (!dwnd_) return;
  if (IDocFrame* frame = Frame()) {
    // Client sizes both ways, so that placing a window where it was keeps its size.
    if (framePos) *framePos = frame->GetFramePos();
    const TPnt size = frame->GetClientSize(), scroll = dwnd_->ScrollPos();
    if (view) *view = TArea(scroll.X(), scroll.Y(), scroll.X() + size.X(), scroll.Y() + size.Y());
    return;
  }
  if (framePos) {
    QPoint p = dwnd_->window()->pos();
    *framePos = TPnt(p.x(), p.y());
  }
  if (view) *view = dwnd_->VisibleArea();
}

void TWnd::SetPlacement(int, const TPnt& framePos, const TArea& view) {
  if (!dwnd_) return;
  if (IDocFrame* frame = Frame()) {
    frame->SetFramePos(framePos);
    dwnd_->horizontalScrollBar()->setValue(view.Left() / DWnd::kScrollUnit);
    dwnd_->verticalScrollBar()->setValue(view.Top() / DWnd::kScrollUnit);
    frame->SetClientSize(TPnt(view.Width(), view.Height()));
    UpdateScrollBars();
    return;
  }
  QWidget* frame = dwnd_->window();
  frame->move(framePos.X(), framePos.Y());
  const QSize client = dwnd_->viewport()->size();
  frame->resize(frame->width() + view.Width() - client.width(), frame->height() + view.Height() - client.height());
  dwnd_->horizontalScrollBar()->setValue(view.Left() / DWnd::kScrollUnit);
  dwnd_->verticalScrollBar()->setValue(view.Top() / DWnd::kScrollUnit);
  UpdateScrollBars();
}

void TWnd::SetBackgroundBitmap(IBmp* bmp, int tile, int owned) {
  if (!dwnd_) return;
  if (dwnd_->background_ != bmp && dwnd_->backgroundOwned_) SafeDelete(dwnd_->background_);
  dwnd_->background_ = bmp;
  dwnd_->backgroundTile_ = tile;
  dwnd_->backgroundOwned_ = owned;
  Invalidate();
}

IBmp* TWnd::GetBackgroundBitmap() const { return dwnd_ ? dwnd_->background_ : nullptr; }

void TWnd::SetBackgroundColor(const IColor& color) {
  if (!dwnd_) return;
  dwnd_->backgroundColor_->SetColor(color.GetColor());
  Invalidate();
}

const IColor& TWnd::GetBackgroundColor() const {
  return dwnd_ ? *dwnd_->backgroundColor_ : *StdColor(TStdColor::White);
}

void TWnd::AddRubberLine(const TPnt& from, const TPnt& to) {
  if (dwnd_) dwnd_->AddLine(from, to);
}
void TWnd::RemoveRubberLine(const TPnt& from, const TPnt& to) {
  if (dwnd_) dwnd_->RemoveLine(from, to);
}
void TWnd::ClearRubberLines() {
  if (dwnd_) dwnd_->ClearLines();
}
int TWnd::UpdateScrollBars() { return dwnd_ ? dwnd_->PostScrollUpdate() : 0; }
int TWnd::IsMouseButtonDown() const { return dwnd_ ? dwnd_->leftDown_ : 0; }
int TWnd::HasFocus() const { return dwnd_ ? dwnd_->hasFocus_ : 0; }
int TWnd::IsCtrlKeyDown() const { return dwnd_ ? dwnd_->ctrlDown_ : 0; }

int TWnd::HitHintView(const QPoint& client) {
  if (!dwnd_) return 0;
  const TPnt scroll = dwnd_->ScrollPos();
  TPnt p(client.x() + scroll.X(), client.y() + scroll.Y());
  TTView* v = FindViewAt(p);
  dwnd_->hintView_ = v == this ? nullptr : v;
  return dwnd_->hintView_ != nullptr;
}

int TWnd::IsOverHintView(const QPoint& screen) {
  if (!dwnd_ || !dwnd_->hintView_) return 0;
  const QPoint client = dwnd_->viewport()->mapFromGlobal(screen);
  const TPnt scroll = dwnd_->ScrollPos();
  TPnt p(client.x() + scroll.X(), client.y() + scroll.Y());
  return FindViewAt(p) == dwnd_->hintView_;
}

void TWnd::GetHintText(TStr& text, TArea& area) {
  text = TStr();
  if (dwnd_ && dwnd_->hintView_) dwnd_->hintView_->GetHint(text, area);
  if (text.IsEmpty()) text = TStr("No Info");
}

void TWnd::ClearHintView() {
  if (dwnd_) dwnd_->hintView_ = nullptr;
}

// ---------------------------------------------------------------- DWnd

DWnd::DWnd(TWnd* root, QWidget* parent)
    : QAbstractScrollArea(parent), backgroundColor_(CreateColor(255, 255, 255)), root_(root) {
  QV_ASSERT_GUI_THREAD();
  TLayer& l = Layer();
  l.windows.push_back(this);
  activationStamp_ = ++l.activationCounter;
  setFrameShape(QFrame::StyledPanel);
  setFrameShadow(QFrame::Sunken);
  setFocusPolicy(Qt::StrongFocus);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  viewport()->setMouseTracking(true);
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  viewport()->setAutoFillBackground(false);
  horizontalScrollBar()->setSingleStep(1);
  verticalScrollBar()->setSingleStep(1);
  connect(horizontalScrollBar(), &QScrollBar::actionTriggered, this,
          [this](int action) { OnScrollAction(Qt::Horizontal, action); });
  connect(verticalScrollBar(), &QScrollBar::actionTriggered, this,
          [this](int action) { OnScrollAction(Qt::Vertical, action); });
  auto endOfScroll = [this] {
    PostScrollUpdate();
    RenderVisible();
  };
  connect(horizontalScrollBar(), &QScrollBar::sliderReleased, this, endOfScroll);
  connect(verticalScrollBar(), &QScrollBar::sliderReleased, this, endOfScroll);
  hint_ = std::make_unique<DHint>(this, static_cast<IHintOwner*>(this));
}

DWnd::~DWnd() {
  hint_.reset();
  TLayer& l = Layer();
  l.windows.erase(std::remove(l.windows.begin(), l.windows.end(), this), l.windows.end());
  if (backgroundOwned_) SafeDelete(background_);
  background_ = nullptr;
  if (grabbed_) viewport()->releaseMouse();
}

int DWnd::HitHintView(const QPoint& client) { return root_ ? root_->HitHintView(client) : 0; }
int DWnd::IsOverHintView(const QPoint& screen) { return root_ ? root_->IsOverHintView(screen) : 0; }
void DWnd::GetHintText(TStr& text, TArea& area) {
  if (root_) root_->GetHintText(text, area);
}
void DWnd::ClearHintView() {
  if (root_) root_->ClearHintView();
}
int DWnd::IsMouseButtonDown() { return root_ ? root_->IsMouseButtonDown() : 0; }

void DWnd::Forget(TTView* view) {
  if (captured_ == view) DropCapture();
  if (hintView_ == view) hintView_ = nullptr;
}

TArea DWnd::VisibleArea() const {
  const QSize s = viewport()->size();
  return TArea(scroll_.X(), scroll_.Y(), scroll_.X() + s.width(), scroll_.Y() + s.height());
}

TPnt DWnd::CanvasPoint(const QPoint& client) const { return TPnt(client.x() + scroll_.X(), client.y() + scroll_.Y()); }

TPnt DWnd::ViewOffset(TTView* view) {
  TPnt offset;
  view->GetRoot(&offset);
  offset += view->GetOrigin();
  return offset;
}

// ---------------------------------------------------------------- rendering

void DWnd::EnsureBackBuffer() {
  const QSize s = viewport()->size().expandedTo(QSize(1, 1));
  if (!back_.isNull() && back_.size() == s) return;
  back_ = QImage(s, QImage::Format_RGB32);
  back_.fill(Qt::white);
  overlay_ = QImage(s, QImage::Format_ARGB32_Premultiplied);
  overlay_.fill(Qt::transparent);
  feedback_ = EmptyArea;
  RenderArea(VisibleArea());
  dirty_ = EmptyArea;
}

void DWnd::RenderVisible() {
  if (back_.isNull()) EnsureBackBuffer();
  else RenderArea(VisibleArea());
}

void DWnd::RenderArea(const TArea& canvasArea) {
  QV_ASSERT_GUI_THREAD();
  if (back_.isNull() || !root_) return;
  TArea area = TArea::Intersection(canvasArea, VisibleArea());
  if (!area.Intersects(VisibleArea())) return;
  const QRect client = QtRect(area).translated(-scroll_.X(), -scroll_.Y());
  if (!feedback_.IsEmpty() && QtRect(feedback_).intersects(client)) {
    // Feedback is transient: rendering the views over it removes it.
    QPainter clear(&overlay_);
    clear.setCompositionMode(QPainter::CompositionMode_Source);
    clear.fillRect(QtRect(feedback_), Qt::transparent);
    const QRect gone = QtRect(feedback_);
    feedback_ = EmptyArea;
    if (!client.contains(gone)) viewport()->update(gone);
  }
  QPainter p(&back_);
  p.setClipRect(client);
  p.translate(-scroll_.X(), -scroll_.Y());
  TDrawContext ctx;
  ctx.SetDC(&p);
  root_->Paint(&ctx, area);
}

void DWnd::Flush() {
  if (back_.isNull()) {
    EnsureBackBuffer(); // renders everything visible
    dirty_ = EmptyArea;
  } else if (!dirty_.IsEmpty()) {
    TArea d = dirty_;
    dirty_ = EmptyArea;
    RenderArea(d);
  }
}

void DWnd::Redraw(const TArea& area) {
  QV_ASSERT_GUI_THREAD();
  dirty_.Unite(area);
  if (Layer().updateCount != 0 || dirty_.IsEmpty()) return;
  TArea client = dirty_;
  client += TPnt(-scroll_.X(), -scroll_.Y());
  Flush();
  const QRect r = QtRect(client).intersected(viewport()->rect());
  if (!r.isEmpty()) viewport()->repaint(r);
}

void DWnd::paintEvent(QPaintEvent* e) {
  if (back_.isNull()) {
    EnsureBackBuffer();
    feedback_ = EmptyArea;
  } else {
    Flush();
    }
  QPainter p(viewport());
  const QRect r = e->rect();
  p.drawImage(r.topLeft(), back_, r);
  p.drawImage(r.topLeft(), overlay_, r);
  DrawLines(p, r);
}

void DWnd::resizeEvent(QResizeEvent* e) {
  QAbstractScrollArea::resizeEvent(e);
  back_ = QImage();
  EnsureBackBuffer();
  viewport()->update();
  PostScrollUpdate();
}

void DWnd::DrawFeedbackOf(TTView* view, const TPnt& offset, int flag) {
  if (back_.isNull()) EnsureBackBuffer();
  const TPnt o(view->GetOrigin().X() + offset.X() - scroll_.X(), view->GetOrigin().Y() + offset.Y() - scroll_.Y());
  TArea covered;
  {
    QPainter p(&overlay_);
    p.translate(o.X(), o.Y());
    TDrawContext ctx;
    ctx.SetDC(&p);
    covered = view->DrawFeedback(&ctx, flag);
  }
  if (covered == NoArea || covered.IsEmpty()) return;
  covered += o;
  feedback_.Unite(covered);
  // Shown at once, as drawing on the screen would.
  const QRect r = QtRect(covered).intersected(viewport()->rect());
  if (!r.isEmpty()) viewport()->repaint(r);
}

// ---------------------------------------------------------------- rubber lines

QRect DWnd::LineRect(const TLine& l) const {
  QRect r = QRect(QPoint(l.from.X(), l.from.Y()), QPoint(l.to.X(), l.to.Y())).normalized();
  return r.adjusted(-1, -1, 1, 1).translated(-scroll_.X(), -scroll_.Y());
}

void DWnd::DrawLines(QPainter& p, const QRect& clip) {
  if (lines_.empty()) return;
  p.save();
  p.setClipRect(clip);
  p.setRenderHint(QPainter::Antialiasing, false);
  // NOT (source XOR destination) with a black pen inverts what lies below,
  // so drawing a line twice gives back the pixels.
  p.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
  QPen pen(Qt::black, 1, Qt::DotLine, Qt::FlatCap);
  pen.setCosmetic(true);
  p.setPen(pen);
  for (const TLine& l : lines_)
    p.drawLine(QPoint(l.from.X() - scroll_.X(), l.from.Y() - scroll_.Y()),
               QPoint(l.to.X() - scroll_.X(), l.to.Y() - scroll_.Y()));
  p.restore();
}

void DWnd::AddLine(const TPnt& from, const TPnt& to) {
  QV_ASSERT_GUI_THREAD();
  lines_.push_back({from, to});
  viewport()->repaint(LineRect(lines_.back()));
}

void DWnd::RemoveLine(const TPnt& from, const TPnt& to) {
  QV_ASSERT_GUI_THREAD();
  auto it = std::find_if(lines_.begin(), lines_.end(), [&](const TLine& l) { return l.from == from && l.to == to; });
  if (it == lines_.end()) return;
  const QRect r = LineRect(*it);
  lines_.erase(it);
  viewport()->repaint(r);
}

void DWnd::ClearLines() {
  QV_ASSERT_GUI_THREAD();
  QRect r;
  for (const TLine& l : lines_) r |= LineRect(l);
  lines_.clear();
  if (!r.isEmpty()) viewport()->repaint(r);
}

// ---------------------------------------------------------------- scrolling

int DWnd::PostScrollUpdate() {
  QCoreApplication::postEvent(this, new QEvent(kRecomputeScrollRanges));
  QCoreApplication::postEvent(this, new QEvent(kShowScrollBars));
  return 1;
}

void DWnd::RecomputeScrollRanges() {
  if (!root_) return;
  const int cx = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, verticalScrollBar());
  const int cy = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, horizontalScrollBar());
  TArea v = VisibleArea();
  if (hBar_) v.SetBottom(v.Bottom() + cy);
  if (vBar_) v.SetRight(v.Right() + cx);
  const TArea e = root_->GetExtent();
  TArea t = TArea::Union(e, v);
  int h = 0, vert = 0;
  if (v.Width() < t.Width()) {
    h = 1;
    v.SetBottom(v.Bottom() - cy);
    t = TArea::Union(e, v);
  }
  if (v.Height() < t.Height()) {
    vert = 1;
    v.SetRight(v.Right() - cx);
    t = TArea::Union(e, v);
    if (!h && v.Width() < t.Width()) {
      h = 1;
      v.SetBottom(v.Bottom() - cy);
      t = TArea::Union(e, v);
    }
  }
  hBar_ = h;
  vBar_ = vert;
  settingBars_ = true;
  // Qt's maximum is the last position a page can start at.
  if (hBar_) {
    QScrollBar* b = horizontalScrollBar();
    b->setRange(0, std::max(0, t.Width() / kScrollUnit - v.Width() / kScrollUnit));
    b->setPageStep(v.Width() / kScrollUnit);
    b->setValue((v.Left() - t.Left()) / kScrollUnit);
  }
  if (vBar_) {
    QScrollBar* b = verticalScrollBar();
    b->setRange(0, std::max(0, t.Height() / kScrollUnit - v.Height() / kScrollUnit));
    b->setPageStep(v.Height() / kScrollUnit);
    b->setValue((v.Top() - t.Top()) / kScrollUnit);
  }
  settingBars_ = false;
}

void DWnd::ShowScrollBars() {
  setHorizontalScrollBarPolicy(hBar_ ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(vBar_ ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
}

void DWnd::OnScrollAction(Qt::Orientation o, int action) {
  QScrollBar* b = o == Qt::Horizontal ? horizontalScrollBar() : verticalScrollBar();
  // A page step moves ten positions, whatever the page size the thumb shows.
  if (action == QAbstractSlider::SliderPageStepAdd) b->setSliderPosition(b->value() + kPageUnits);
  else if (action == QAbstractSlider::SliderPageStepSub) b->setSliderPosition(b->value() - kPageUnits);
}

void DWnd::scrollContentsBy(int dx, int dy) {
  if (settingBars_) return;
  scroll_.MoveX(-dx * kScrollUnit);
  scroll_.MoveY(-dy * kScrollUnit);
  QCoreApplication::postEvent(this, new QEvent(kRecomputeScrollRanges));
  RenderVisible();
  viewport()->update();
}

// ---------------------------------------------------------------- events

bool DWnd::event(QEvent* e) {
  switch (int(e->type())) {
  case kRecomputeScrollRanges:
    RecomputeScrollRanges();
    return true;
  case kShowScrollBars:
    ShowScrollBars();
    return true;
  case kViewNotify: {
    auto* n = static_cast<TViewNotifyEvent*>(e);
    // Only a view that still lives in this window's tree hears it.
    if (!n->alive.expired() && root_ && root_->HasInTree(n->view)) n->view->Refresh(n->flag);
    return true;
  }
  default:
    return QAbstractScrollArea::event(e);
  }
}

bool DWnd::viewportEvent(QEvent* e) {
  if (hint_) hint_->MouseEvent(int(e->type()));
  if (e->type() == QEvent::MouseButtonPress) leftDown_ |= static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton;
  else if (e->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton)
    leftDown_ = 0;
  return QAbstractScrollArea::viewportEvent(e);
}

void DWnd::DropCapture() {
  captured_ = nullptr;
  if (grabbed_) {
    viewport()->releaseMouse();
    grabbed_ = false;
  }
}

void DWnd::CaptureStep() {
  if (!captureRequest_) return;
  captureRequest_ = 0;
  captured_ = Layer().lastRightClicked;
  if (captured_ && isVisible() && !grabbed_) {
    viewport()->grabMouse();
    grabbed_ = true;
  }
}

void DWnd::mousePressEvent(QMouseEvent* e) {
  QV_ASSERT_GUI_THREAD();
  const TPnt canvas = CanvasPoint(e->position().toPoint());
  if (e->button() == Qt::LeftButton) {
    setFocus(Qt::MouseFocusReason);
    TUpdateBracket bracket;
    if (!captured_) {
      TPnt p = canvas;
      TTView* v = root_->FindViewAt(p);
      captured_ = v;
      if (v) v->LButtonDown(p.X(), p.Y());
    } else {
      TTView* v = captured_;
      const TPnt o = ViewOffset(v);
      v->LButtonDown(canvas.X() - o.X(), canvas.Y() - o.Y());
    }
  } else if (e->button() == Qt::RightButton) {
    TPnt p = canvas;
    TTView* v = root_->FindViewAt(p);
    Layer().lastRightClicked = v;
    if (!v) return;
    TUpdateBracket bracket;
    std::weak_ptr<int> alive = v->Liveness();
    if (!ctrlDown_ && !v->IsSelected()) v->Select(1, 1);
    else v->Select(1, 0);
    if (!alive.expired()) v->RButtonDown(p.X(), p.Y());
  }
}

void DWnd::mouseReleaseEvent(QMouseEvent* e) {
  QV_ASSERT_GUI_THREAD();
  const TPnt canvas = CanvasPoint(e->position().toPoint());
  if (e->button() == Qt::LeftButton) {
    if (!captured_) return;
    {
      TUpdateBracket bracket;
      TTView* v = captured_;
      const TPnt o = ViewOffset(v);
      v->LButtonUp(canvas.X() - o.X(), canvas.Y() - o.Y());
    }
    if (!captureRequest_) {
      DropCapture();
    } else {
      captureRequest_ = 0;
      // The view keeps the mouse beyond the release.
      if (captured_ && isVisible() && !grabbed_) {
        viewport()->grabMouse();
        grabbed_ = true;
      }
    }
  } else if (e->button() == Qt::RightButton) {
    TTView* v = Layer().lastRightClicked;
    if (v && v->GetContextMenu() && Layer().contextMenu)
      Layer().contextMenu(v->GetContextMenu(), this, viewport()->mapToGlobal(e->position().toPoint()));
  }
}

void DWnd::mouseDoubleClickEvent(QMouseEvent* e) {
  QV_ASSERT_GUI_THREAD();
  if (e->button() == Qt::RightButton) {
    mousePressEvent(e);
    return;
  }
  if (e->button() != Qt::LeftButton) return;
  TUpdateBracket bracket;
  if (TTView* held = captured_) {
    DropCapture();
    held->CancelMouse();
  }
  TPnt p = CanvasPoint(e->position().toPoint());
  if (TTView* v = root_->FindViewAt(p)) v->LButtonDblClk(p.X(), p.Y());
}

void DWnd::mouseMoveEvent(QMouseEvent* e) {
  QV_ASSERT_GUI_THREAD();
  const TPnt canvas = CanvasPoint(e->position().toPoint());
  lastMouse_ = canvas;
  if (!captured_) {
    TPnt p = canvas;
    if (TTView* v = root_->FindViewAt(p)) v->MouseMove(p.X(), p.Y());
    return;
  }
  TUpdateBracket bracket;
  TTView* v = captured_;
  const TPnt o = ViewOffset(v);
  v->MouseMove(canvas.X() - o.X(), canvas.Y() - o.Y());
}

void DWnd::keyPressEvent(QKeyEvent* e) {
  QV_ASSERT_GUI_THREAD();
  Layer().lastRightClicked = root_;
  int code = -1;
  switch (e->key()) {
  case Qt::Key_Up: code = kKeyUp; break;
  case Qt::Key_Down: code = kKeyDown; break;
  case Qt::Key_Left: code = kKeyLeft; break;
  case Qt::Key_Right: code = kKeyRight; break;
  case Qt::Key_PageUp: code = kKeyPageUp; break;
  case Qt::Key_PageDown: code = kKeyPageDown; break;
  case Qt::Key_Control: ctrlDown_ = 1; break;
  default: break;
  }
  if (code < 0) {
    e->ignore(); // other keys belong to the shortcuts and the application
    return;
  }
  TUpdateBracket bracket;
  root_->OnNavigationKey(code);
}

void DWnd::keyReleaseEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Control) ctrlDown_ = 0;
  e->ignore();
}

void DWnd::focusInEvent(QFocusEvent* e) {
  QAbstractScrollArea::focusInEvent(e);
  TLayer& l = Layer();
  if (l.lastActivatedRoot != root_) {
    l.lastActivatedRoot = root_;
    TUpdateBracket bracket;
    root_->OnActivate();
  }
  hasFocus_ = 1;
  activationStamp_ = ++l.activationCounter;
  l.activeWnd = root_;
}

void DWnd::focusOutEvent(QFocusEvent* e) {
  QAbstractScrollArea::focusOutEvent(e);
  leftDown_ = hasFocus_ = ctrlDown_ = 0;
}

// ---------------------------------------------------------------- commands

void DWnd::CommandMessage(int32_t id) {
  QV_ASSERT_GUI_THREAD();
  TLayer& l = Layer();
  if (InRange(id, cmd::kAppFirst, cmd::kAppLast) || id == cmd::kAbout) {
    // Handled by the main frame after the current event.
    sky::PostToGui([id] {
      if (Layer().appCommand) Layer().appCommand(id);
    });
    return;
  }
  TTView* target = nullptr;
  if (InRange(id, cmd::kContextFirst, cmd::kContextLast)) target = l.lastRightClicked;
  else if (InRange(id, cmd::kWindowFirst, cmd::kWindowLast) || InRange(id, cmd::kLibraryFirst, cmd::kLibraryLast))
    target = root_;
  if (!target) return;
  {
    TUpdateBracket bracket;
    target->Execute(id);
  }
  CaptureStep();
}

TCommandState DWnd::QueryCommand(int32_t id) {
  QV_ASSERT_GUI_THREAD();
  TCommandState s;
  TTView* target = nullptr;
  if (InRange(id, cmd::kContextFirst, cmd::kContextLast)) target = Layer().lastRightClicked;
  else if (InRange(id, cmd::kWindowFirst, cmd::kWindowLast)) target = root_;
  else if (InRange(id, cmd::kLibraryFirst, cmd::kLibraryLast)) {
    s.handled = s.enabled = 1;
    return s;
  }
  if (!target) return s;
  int checked = 0, enabled = 0;
  target->IsChecked(id, checked);
  s.hasCheck = 1;
  s.checked = checked;
  s.handled = target->IsEnabled(id, enabled);
  s.enabled = enabled;
  return s;
}
