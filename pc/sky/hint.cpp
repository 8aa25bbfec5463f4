#include "pc/sky/hint.h"

#include "pc/sky/qtext.h"
#include "pc/sky/view.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QScreen>
#include <QToolTip>

namespace {
std::function<QPoint()>& CursorSource() {
  static std::function<QPoint()> source;
  return source;
}
QPoint CursorPos() { return CursorSource() ? CursorSource()() : QCursor::pos(); }
int hintsEnabled = 1;
} // namespace

void SetHintsEnabled(int enabled) { hintsEnabled = enabled ? 1 : 0; }
int GetHintsEnabled() { return hintsEnabled; }

void DHint::SetCursorSource(std::function<QPoint()> source) { CursorSource() = std::move(source); }

DHint::DHint(QAbstractScrollArea* window, IHintOwner* views)
    : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint), owner_(window), views_(views) {
  setAttribute(Qt::WA_ShowWithoutActivating);
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setFont(QToolTip::font());
  setPalette(QToolTip::palette());
  if (IViewTicker* t = GetViewTicker()) t->AddTimer(kTickMs, &DHint::TimerCallback, this);
}

DHint::~DHint() {
  if (IViewTicker* t = GetViewTicker()) t->RemoveTimer(&DHint::TimerCallback, this);
}

int DHint::TimerCallback(void* data) {
  static_cast<DHint*>(data)->Tick();
  return 1;
}

std::vector<TStr> DHint::Lines(const TStr& text) {
  std::vector<TStr> lines;
  TStr rest = text;
  while (!rest.IsEmpty()) lines.push_back(rest.CutLine(kLineChars));
  return lines;
}

void DHint::HideHint() {
  if (shown_) hide();
  shown_ = 0;
  if (owner_) views_->ClearHintView();
}

bool DHint::OverOwnerView(const QPoint& cursor, bool keepView) {
  if (!owner_ || !owner_->isVisible()) return false;
  QWidget* vp = owner_->viewport();
  const QPoint client = vp->mapFromGlobal(cursor);
  if (!vp->rect().contains(client)) return false;
  // Another window lying over the owner takes the hint away.
  if (QWidget* top = QApplication::widgetAt(cursor); top && top != vp && !vp->isAncestorOf(top)) return false;
  if (keepView) return views_->IsOverHintView(cursor) != 0;
  return views_->HitHintView(client) != 0;
}

void DHint::Tick() {
  if (!GetHintsEnabled()) {
    HideHint(); // switching hints off takes a shown hint away
    return;
  }
  if (!owner_ || views_->IsMouseButtonDown()) return;
  ++ticks_;
  if (!shown_) {
    if (ticks_ < kRestTicks && !armed_) return;
    Update(false);
    armed_ = 0;
    ticks_ = 0;
  } else {
    Update(true);
  }
}

void DHint::Update(bool shownAlready) {
  cursor_ = CursorPos();
  if (!OverOwnerView(cursor_, shownAlready)) {
    HideHint();
    return;
  }
  TStr text;
  TArea area;
  views_->GetHintText(text, area);
  if (!shown_ || text != text_) {
    text_ = text;
    Layout(cursor_);
  }
}

void DHint::MouseEvent(int type) {
  switch (type) {
  case QEvent::MouseMove:
    if (shown_ && GetHintsEnabled()) Update(true);
    ticks_ = 0;
    break;
  case QEvent::MouseButtonPress:
  case QEvent::MouseButtonRelease:
  case QEvent::MouseButtonDblClick:
    HideHint();
    ticks_ = 0;
    break;
  default: break;
  }
}

void DHint::Layout(const QPoint& cursor) {
  cursor_ = cursor;
  const QFontMetrics fm(font());
  int32_t w = 0, h = 0;
  for (const TStr& line : Lines(text_)) {
    const QSize s = fm.size(Qt::TextSingleLine, sky::ToQString(line));
    w = std::max<int32_t>(w, s.width());
    h += s.height();
    lineHeight_ = s.height();
  }
  w += kPadWidth;
  h += kPadHeight;
  QScreen* screen = QGuiApplication::screenAt(cursor);
  if (!screen) screen = QGuiApplication::primaryScreen();
  const QRect avail = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
  int x = cursor.x(), y = cursor.y() + kCursorHeight;
  if (x + w > avail.right() + 1) x = avail.right() + 1 - w;
  if (cursor.y() + h > avail.bottom() + 1 - kCursorHeight) y = cursor.y() - kGapAbove - h;
  setGeometry(x, y, w, h);
  if (!shown_) {
    show();
    raise();
    shown_ = 1;
  } else {
    update();
  }
}

void DHint::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), palette().color(QPalette::ToolTipBase));
  p.setPen(palette().color(QPalette::ToolTipText));
  p.setFont(font());
  QRect r = rect().adjusted(kTextIndent, kPadHeight / 2, 0, 0);
  for (const TStr& line : Lines(text_)) {
    p.drawText(r, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, sky::ToQString(line));
    r.setTop(r.top() + lineHeight_);
  }
  p.setPen(palette().color(QPalette::ToolTipText));
  p.drawRect(rect().adjusted(0, 0, -1, -1)); // the one-pixel border
}
