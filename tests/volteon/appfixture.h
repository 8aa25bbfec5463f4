// Starting the application in a test: the application object on the offline
// driver, its main window made, pending events run.
#pragma once

#include "pc/sky/app.h"
#include "src/volteon/volteon.h"

#include <functional>
#include <memory>

namespace apptest {

// Runs posted events and whatever the event loop has waiting.
void Settle();
// Makes the shell and the application (stored in app); `first` runs inside
// the shell before the application object is made.
std::unique_ptr<DApp> StartOffline(TVolteon*& app, const std::function<void()>& first = {});

} // namespace apptest
