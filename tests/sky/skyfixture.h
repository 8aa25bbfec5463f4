// Helpers of the window tests.
#pragma once

#include "pc/sky/view.h"
#include "pc/sky/wnd.h"

class QAction;
class QDialog;
class QWidget;

#include <QImage>
#include <QPoint>

#include <functional>
#include <string>
#include <vector>

namespace skytest {

// A timer and idle service driven by hand.
class ManualTicker : public IViewTicker {
public:
  ManualTicker();
  ~ManualTicker() override;
  void AddTimer(int32_t ms, TCallback cb, void* data) override { timers_.push_back({ms, cb, data}); }
  void RemoveTimer(TCallback cb, void* data) override;
  void AddIdleTask(TCallback cb, void* data) override { idle_.push_back({0, cb, data}); }
  void RemoveIdleTask(TCallback cb, void* data) override;
  // Calls every registered timer (or idle task) once; drops those answering 0.
  void Tick() { Run(timers_); }
  void Idle() { Run(idle_); }
  size_t Timers() const { return timers_.size(); }
  size_t IdleTasks() const { return idle_.size(); }

private:
  struct Entry {
    int32_t ms;
    TCallback cb;
    void* data;
  };
  void Run(std::vector<Entry>& list);
  std::vector<Entry> timers_, idle_;
  IViewTicker* previous_;
};

// A root that records what reaches it.
class RecordingRoot : public TTView {
public:
  void InvalidateArea(const TArea& a) override { invalidated.push_back(a); }
  std::vector<TArea> invalidated;
};

// A view with a fixed area that fills itself with one colour.
class BoxView : public TTView {
public:
  BoxView(TTView* parent, const TArea& area, IColor* color = StdColor(TStdColor::Red), int topmost = 0);
  void Paint(IDrawContext* ctx, const TArea& clip) override;
  IColor* color;
};

// Mouse and key input, as the window system delivers it to the canvas.
void Press(DWnd* w, QPoint client, Qt::MouseButton b = Qt::LeftButton);
void Release(DWnd* w, QPoint client, Qt::MouseButton b = Qt::LeftButton);
void Move(DWnd* w, QPoint client, Qt::MouseButtons held = Qt::NoButton);
void DoubleClick(DWnd* w, QPoint client);
void Key(DWnd* w, int key, bool press = true);

// The canvas as the screen shows it.
QImage Screen(DWnd* w);
// Writes an image into the build tree's test-output folder; returns the path.
std::string SaveShot(const QImage& image, const std::string& name);
// The command item of a menu or menu bar with that id, searched through its
// pop-ups; null when there is none.
QAction* ActionOf(QWidget* menu, int32_t id);

// While it lives, a modal dialog runs as a script: the dialog shows, the
// script acts on it as a person would, and the loop ends with the dialog's
// result (Cancel when the script left it open).
class ModalScript {
public:
  explicit ModalScript(std::function<void(QDialog&)> script);
  ~ModalScript();
  ModalScript(const ModalScript&) = delete;
  ModalScript& operator=(const ModalScript&) = delete;

private:
  std::function<int(QDialog&)> previous_;
};

} // namespace skytest
