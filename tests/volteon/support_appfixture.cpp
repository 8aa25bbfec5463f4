#include "tests/volteon/appfixture.h"

#include "pc/sky/mdi.h"
#include "src/engine/offline.h"
#include "src/volteon/portview.h"
#include "tests/sky/skyfixture.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QCoreApplication>

namespace apptest {

void Settle() {
  QCoreApplication::sendPostedEvents();
  QApplication::processEvents();
}

QPoint HandleCentre(IModelView* handle) {
  auto* v = AsPortView(handle);
  TPnt offset;
  v->GetRoot(&offset);
  const TArea a = v->GetArea();
  return QPoint(offset.X() + (a.Left() + a.Right()) / 2, offset.Y() + (a.Top() + a.Bottom()) / 2);
}

void Drag(DWnd* canvas, QPoint from, QPoint to) {
  skytest::Press(canvas, from);
  skytest::Move(canvas, (from + to) / 2, Qt::LeftButton);
  skytest::Move(canvas, to, Qt::LeftButton);
  skytest::Release(canvas, to);
  Settle();
}

std::unique_ptr<DApp> StartOffline(TVolteon*& app, const std::function<void()>& first) {
  auto dapp = std::make_unique<DApp>([&] {
    if (first) first();
    app = new TVolteon([](int32_t, IAudioOwner* owner) -> IAudioInOut* { return new TOfflineAudio(owner); });
    return app;
  });
  dapp->InitMainWindow();
  Settle();
  return dapp;
}

void ChooseMenuItem(QMenuBar* bar, int32_t id) {
  QAction* a = skytest::ActionOf(bar, id);
  ASSERT_NE(a, nullptr) << id;
  for (QObject* holder : a->associatedObjects())
    if (auto* menu = qobject_cast<QMenu*>(holder)) emit menu->aboutToShow();
  ASSERT_TRUE(a->isEnabled()) << a->text().toStdString() << " is greyed";
  a->trigger();
  Settle();
}

std::unique_ptr<DApp> StartAsMain(TVolteon*& app, int width, int height) {
  auto dapp = std::make_unique<DApp>([&] {
    IApp* made = CreateApplication();
    app = dynamic_cast<TVolteon*>(made);
    return made;
  });
  if (!app) return dapp;
  dapp->InitMainWindow();
  dapp->MainFrame()->resize(width, height);
  Settle();
  return dapp;
}

} // namespace apptest
