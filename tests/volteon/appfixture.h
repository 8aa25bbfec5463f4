// Starting the application in a test: the application object on the offline
// driver, its main window made, pending events run.
#pragma once

#include "pc/sky/app.h"
#include "src/volteon/volteon.h"

#include <QPoint>

#include <functional>
#include <memory>

class IModelView;
class QMenuBar;
class DWnd;

namespace apptest {

// Runs posted events and whatever the event loop has waiting.
void Settle();
// The middle of a port's handle, in its canvas's client coordinates.
QPoint HandleCentre(IModelView* handle);
// A left-button drag on a canvas through the halfway point, then Settle.
void Drag(DWnd* canvas, QPoint from, QPoint to);
// Makes the shell and the application (stored in app); `first` runs inside
// the shell before the application object is made.
std::unique_ptr<DApp> StartOffline(TVolteon*& app, const std::function<void()>& first = {});
// A main-menu item chosen as a person chooses it: its menu brings its items
// up to date as it opens, a greyed item fails the test, then the loop runs.
void ChooseMenuItem(QMenuBar* bar, int32_t id);
// Makes the shell and the application as the program's main does (the real
// application factory and drivers), its main window at the given size, and
// lets the event loop run once. The application is stored in app.
std::unique_ptr<DApp> StartAsMain(TVolteon*& app, int width, int height);

} // namespace apptest
