#include "tests/sky/skyfixture.h"

#include "pc/sky/dlg.h"
#include "pc/sky/qthost.h"

#include <QDialog>

#include <QAction>
#include <QMenu>

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QMouseEvent>

#include <algorithm>

namespace skytest {

ManualTicker::ManualTicker() : previous_(SetViewTicker(this)) {}
ManualTicker::~ManualTicker() { SetViewTicker(previous_); }

void ManualTicker::RemoveTimer(TCallback cb, void* data) {
  std::erase_if(timers_, [&](const Entry& e) { return e.cb == cb && e.data == data; });
}
void ManualTicker::RemoveIdleTask(TCallback cb, void* data) {
  std::erase_if(idle_, [&](const Entry& e) { return e.cb == cb && e.data == data; });
}

void ManualTicker::Run(std::vector<Entry>& list) {
  std::vector<Entry> now = list;
  for (const Entry& e : now) {
    auto still = [&] {
      return std::any_of(list.begin(), list.end(), [&](const Entry& x) { return x.cb == e.cb && x.data == e.data; });
    };
    if (!still()) continue; // removed by an earlier callback
    if (!e.cb(e.data)) std::erase_if(list, [&](const Entry& x) { return x.cb == e.cb && x.data == e.data; });
  }
}

BoxView::BoxView(TTView* parent, const TArea& area, IColor* c, int topmost) : TTView(parent, topmost), color(c) {
  SetArea(area);
}

void BoxView::Paint(IDrawContext* ctx, const TArea& clip) {
  ctx->FillArea(TArea(0, 0, GetArea().Width(), GetArea().Height()), color);
  TTView::Paint(ctx, clip);
}

namespace {
void SendMouse(DWnd* w, QEvent::Type type, QPoint client, Qt::MouseButton b, Qt::MouseButtons held) {
  QWidget* vp = w->viewport();
  QMouseEvent e(type, QPointF(client), QPointF(vp->mapToGlobal(client)), b, held, Qt::NoModifier);
  QApplication::sendEvent(vp, &e);
}
} // namespace

void Press(DWnd* w, QPoint client, Qt::MouseButton b) { SendMouse(w, QEvent::MouseButtonPress, client, b, b); }
void Release(DWnd* w, QPoint client, Qt::MouseButton b) {
  SendMouse(w, QEvent::MouseButtonRelease, client, b, Qt::NoButton);
}
void Move(DWnd* w, QPoint client, Qt::MouseButtons held) {
  SendMouse(w, QEvent::MouseMove, client, Qt::NoButton, held);
}
void DoubleClick(DWnd* w, QPoint client) {
  SendMouse(w, QEvent::MouseButtonDblClick, client, Qt::LeftButton, Qt::LeftButton);
}
void Key(DWnd* w, int key, bool press) {
  QKeyEvent e(press ? QEvent::KeyPress : QEvent::KeyRelease, key, Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}

QImage Screen(DWnd* w) { return w->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32); }

QAction* ActionOf(QWidget* menu, int32_t id) {
  std::vector<QWidget*> todo{menu};
  for (size_t i = 0; i < todo.size(); ++i)
    for (QAction* a : todo[i]->actions()) {
      if (a->menu()) todo.push_back(a->menu());
      else if (!a->isSeparator() && a->data().toInt() == id) return a;
    }
  return nullptr;
}

std::string SaveShot(const QImage& image, const std::string& name) {
  const QString dir = QStringLiteral(QV_BUILD_TREE "/test-output");
  QDir().mkpath(dir);
  const QString path = dir + QLatin1Char('/') + QString::fromStdString(name);
  image.save(path);
  return path.toStdString();
}

ModalScript::ModalScript(std::function<void(QDialog&)> script) {
  previous_ = sky::SetModalRunner([script](QDialog& d) {
    d.show();
    script(d);
    const int r = d.isVisible() ? kIdCancel : d.result();
    d.hide();
    return r;
  });
}

ModalScript::~ModalScript() { sky::SetModalRunner(previous_); }

} // namespace skytest
