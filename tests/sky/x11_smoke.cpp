// One window on a real X server (the platform a desktop uses): shown,
// exposed, painted through the back buffer, clicked and notified.
#include "pc/sky/qthost.h"
#include "pc/sky/wnd.h"
#include "src/base/system.h"
#include "tests/sky/skyfixture.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QDeadlineTimer>
#include <QTimer>
#include <QWindow>

#include <thread>

namespace {

using namespace skytest;

struct ClickView : BoxView {
  using BoxView::BoxView;
  void LButtonDown(int32_t x, int32_t y) override { down = TPnt(x, y); }
  void Refresh(int flag) override { refreshed = flag; }
  TPnt down{-1, -1};
  int refreshed = -1;
};

// Runs the event loop until the X server has exposed the window; a timer
// wakes the loop so that a lost expose ends the wait instead of hanging.
bool WaitExposed(QWidget* w) {
  auto exposed = [w] { return w->windowHandle() && w->windowHandle()->isExposed(); };
  QDeadlineTimer deadline(20000);
  QTimer wake;
  wake.start(20);
  while (!exposed() && !deadline.hasExpired()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
  return exposed();
}

TEST(X11Smoke, AWindowShowsPaintsAndAnswersOnTheXPlatform) {
  ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb")) << "run under xvfb-run with QT_QPA_PLATFORM=xcb";
  TWnd wnd;
  wnd.SetTitle("Smoke - Structure");
  wnd.GetDWnd()->resize(300, 200);
  auto* box = new ClickView(&wnd, TArea(40, 30, 140, 90), StdColor(TStdColor::Green));
  wnd.Create();
  ASSERT_TRUE(WaitExposed(wnd.GetDWnd()));
  EXPECT_EQ(wnd.GetDWnd()->window()->windowTitle(), QStringLiteral("Smoke - Structure"));

  box->color = StdColor(TStdColor::Purple);
  box->Invalidate();
  EXPECT_EQ(wnd.GetDWnd()->BackBuffer().pixel(50, 40), QColor(128, 0, 128).rgb());
  const QImage screen = Screen(wnd.GetDWnd());
  EXPECT_EQ(screen.pixel(50, 40), QColor(128, 0, 128).rgb());
  SaveShot(screen, "sky_x11_window.png");

  Press(wnd.GetDWnd(), QPoint(45, 35));
  Release(wnd.GetDWnd(), QPoint(45, 35));
  EXPECT_EQ(box->down, TPnt(5, 5));

  std::thread([box] { box->PostNotify(7); }).join();
  QCoreApplication::sendPostedEvents();
  QApplication::processEvents();
  EXPECT_EQ(box->refreshed, 7);

  sky::QtGuiHost host;
  platform::GuiHost* previous = platform::SetHost(&host);
  sky::TModalRunner old = sky::SetModalRunner([](QDialog& d) {
    auto& box = static_cast<QMessageBox&>(d);
    box.show();
    box.button(QMessageBox::Yes)->click();
    return box.result();
  });
  EXPECT_EQ(SystemMessageBox("Save?", "Quorvex", 2), 2);
  sky::SetModalRunner(old);
  platform::SetHost(previous == &host ? nullptr : previous);
}

} // namespace
