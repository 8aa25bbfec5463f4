#include "tests/volteon/appfixture.h"

#include "src/engine/offline.h"

#include <QApplication>
#include <QCoreApplication>

namespace apptest {

void Settle() {
  QCoreApplication::sendPostedEvents();
  QApplication::processEvents();
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

} // namespace apptest
