#include "pc/sky/guithread.h"

#include <QCoreApplication>
#include <QThread>

#include <cstdio>
#include <cstdlib>

namespace sky {

bool IsGuiThread() {
  QCoreApplication* app = QCoreApplication::instance();
  return !app || QThread::currentThread() == app->thread();
}

void PostToGui(std::function<void()> f) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return;
  QMetaObject::invokeMethod(app, std::move(f), Qt::QueuedConnection);
}

void GuiThreadViolation(const char* where, const char* file, int line) {
  std::fprintf(stderr, "%s (%s:%d) called off the GUI thread\n", where, file, line);
  std::abort();
}

} // namespace sky
