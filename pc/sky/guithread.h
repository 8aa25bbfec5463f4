// The GUI thread: the one thread that owns widgets and views. Work from
// other threads reaches it only through posted calls.
#pragma once

#include <functional>
#include <memory>

namespace sky {

// True on the thread of the application object (the GUI thread). Without an
// application object every thread counts as the GUI thread.
bool IsGuiThread();

// Runs f on the GUI thread after the current event: queued even when the
// caller is the GUI thread itself. Dropped when there is no application object.
void PostToGui(std::function<void()> f);

// Called off the GUI thread: posts f to it, to run there while the view still
// lives, and answers true. On the GUI thread it answers false and the caller
// does the work itself.
template <class V, class F> bool OffGuiThread(V* view, F f) {
  if (IsGuiThread()) return false;
  std::weak_ptr<int> alive = view->Liveness();
  PostToGui([alive, f] {
    if (!alive.expired()) f();
  });
  return true;
}

// A programming error: widget code called off the GUI thread. Ends the process
// with a message, because going on would corrupt the widgets.
[[noreturn]] void GuiThreadViolation(const char* where, const char* file, int line);

} // namespace sky

#define QV_ASSERT_GUI_THREAD()                                                                     \
  do {                                                                                             \
    if (!::sky::IsGuiThread()) ::sky::GuiThreadViolation(__func__, __FILE__, __LINE__);           \
  } while (0)
