// The view tree: every window view, dialog, control and model box is a
// TTView. A view owns a rectangle in its parent's coordinates, paints itself
// and its children through a drawing context, answers commands, receives the
// mouse from its window and follows shared values through view slots. Views
// never draw on the screen: they invalidate areas, which the window root
// collects and repaints when the update bracket closes.
#pragma once

#include "pc/sky/draw.h"
#include "src/base/shared.h"

#include <functional>
#include <memory>

class IMenu; // the menu layer's interface; views only keep the pointer

// Modes of a view's or the application's Command: run it, ask whether it is
// enabled, ask whether it is checked.
namespace command_mode {
constexpr int kRun = 0, kEnabled = 1, kChecked = 2;
} // namespace command_mode

class TTView;

class IView : public virtual IBase {
public:
  virtual void SetParent(IView* parent, int topmost) = 0;
  virtual void Unlink() = 0;
  virtual TPnt GetOrigin() const = 0;
  virtual TArea GetBounds() const = 0;
  virtual void MoveTo(const TPnt& p) = 0;
  virtual void SetArea(const TArea& a) = 0;
  virtual void MarkToRaise() = 0;
  virtual void ClearRaiseMarks() = 0;
  virtual void RaiseMarkedChildren() = 0;
  virtual void Invalidate() = 0;
  virtual void InvalidateArea(const TArea& a) = 0;
  virtual void StartTimer(int32_t ms) = 0;
  virtual void StopTimer() = 0;
  virtual void StartIdle() = 0;
  virtual void PostNotify(int flag) = 0;
};

// Where views register their timer ticks and idle passes: the application
// shell in the program, a manual clock in tests. A callback that returns 0 is
// dropped by the service. Removing covers every registration of the pair.
class IViewTicker {
public:
  using TCallback = int (*)(void* data);
  virtual ~IViewTicker() = default;
  virtual void AddTimer(int32_t ms, TCallback callback, void* data) = 0;
  virtual void RemoveTimer(TCallback callback, void* data) = 0;
  virtual void AddIdleTask(TCallback callback, void* data) = 0;
  virtual void RemoveIdleTask(TCallback callback, void* data) = 0;
};
// Installs the service (nullptr: none, timers then never tick). Returns the previous one.
IViewTicker* SetViewTicker(IViewTicker* ticker);
IViewTicker* GetViewTicker();

class TTView : public TShared, public virtual IView {
public:
  // ---------------------------------------------------------------- slots
  // One observer of one shared value on behalf of a view: a change either
  // calls a handler of the view or, in area mode, invalidates a fixed area of
  // it. The typed slots cache the value, refreshed after the handler ran, so
  // the handler sees the value of the previous notification. A change made on
  // another thread is carried to the GUI thread.
  class TViewSlot : public TNotified::TSlot {
  public:
    TViewSlot(TTView* owner, TShared* shared, std::function<void()> handler, const TStr& name, const TArea& area);
    ~TViewSlot() override;
    void Notify(TShared* shared) final;
    TTView* Owner() const { return owner_; }
    TShared* Shared() const { return shared_; }
    const TArea& Area() const { return area_; }

  protected:
    // Reads the value now and returns what stores it into the cache.
    virtual std::function<void()> ReadValue(TShared*) { return {}; }

  private:
    friend class TTView;
    void Deliver(const std::function<void()>& store);
    TTView* owner_;
    TShared* shared_;
    std::function<void()> handler_;
    TArea area_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
  };

  template <class T, class V> class ETypedSlot : public TViewSlot {
  public:
    using TViewSlot::TViewSlot;
    T GetValue() const { return cache_; }

  protected:
    std::function<void()> ReadValue(TShared* shared) override {
      auto* v = dynamic_cast<V*>(shared);
      if (!v) return {};
      T value = v->Get();
      return [this, value] { cache_ = value; };
    }
    T cache_ = Sentinel();
    static T Sentinel();
  };
  using TBooleanViewSlot = ETypedSlot<int32_t, TReadBoolean>;
  using TStrViewSlot = ETypedSlot<TStr, TReadStr>;
  using TCntViewSlot = ETypedSlot<int32_t, TReadCnt>;
  using TRealViewSlot = ETypedSlot<float, TReadReal>;

  // ---------------------------------------------------------------- commands
  // One registered command: handlers of the view that registered it, any of
  // them may be empty.
  class TCmd : public TLink {
  public:
    int32_t id = 0;
    std::function<void()> execute;
    std::function<int()> enabled;
    std::function<int()> checked;
  };

  // ---------------------------------------------------------------- life
  explicit TTView(IView* parent = nullptr, int topmost = 0);
  ~TTView() override;
  TTView(const TTView&) = delete;
  TTView& operator=(const TTView&) = delete;

  // Tree
  void SetParent(IView* parent, int topmost) override;
  void Unlink() override;
  TTView* GetParent() const { return parent_; }
  virtual TTView* GetFirstChild() const { return children_.First(); }
  TTView* FirstChild() const { return GetFirstChild(); }
  TTView* NextSibling() const { return EList<TTView>::As(Next()); }
  TTView* LastChild() const { return children_.Last(); }
  TTView* GetRoot(TPnt* offset = nullptr);
  // True when v is this view or one of its descendants.
  bool HasInTree(const TTView* v) const;
  // Depth first, parent before children; stops at the first 0. 1 when every call answered non-zero.
  template <class O> int VisitTree(O* object, int (O::*visit)(TTView*)) {
    return VisitTreeWith([object, visit](TTView* v) { return (object->*visit)(v); });
  }
  int VisitTreeWith(const std::function<int(TTView*)>& visit);

  // Geometry
  TPnt GetOrigin() const override { return area_.TopLeft(); }
  TArea GetBounds() const override;
  const TArea& GetArea() const { return area_; }
  void MoveTo(const TPnt& p) override;
  void SetArea(const TArea& a) override;
  virtual TPnt GetMousePos();
  int IsVisible() const { return visible_; }
  void SetVisible(int visible);

  // Selection (views bound to model objects override both)
  virtual int IsSelected() { return 0; }
  virtual void Select(int on, int exclusive) {}

  // Raise marks and z-order
  void MarkToRaise() override { raiseMark_ = 1; }
  void ClearRaiseMarks() override;
  void RaiseMarkedChildren() override;
  int IsMarkedToRaise() const { return raiseMark_; }
  void MarkToFront() { MarkToRaise(); }
  void ClearChildMarks() { ClearRaiseMarks(); }
  void BringMarkedToFront() { RaiseMarkedChildren(); }

  // Invalidation: areas in the view's own coordinates travel to the root.
  void Invalidate() override;
  void InvalidateArea(const TArea& a) override;

  // Hit testing: p in the parent's coordinates, left in the found view's.
  TTView* FindViewAt(TPnt& p);
  virtual int HitTest(int32_t x, int32_t y) { return Contains(x, y); }
  virtual int Contains(int32_t x, int32_t y) { return 1; }
  virtual int GetHint(TStr& text, TArea& area) { return 0; }

  // Mouse, in the view's own coordinates. The window calls the first group;
  // their base forwards to the second, so a view may override either.
  virtual void LButtonDown(int32_t x, int32_t y) { MouseDown(x, y); }
  virtual void LButtonUp(int32_t x, int32_t y) { MouseUp(x, y); }
  virtual void LButtonDblClk(int32_t x, int32_t y) { DoubleClick(x, y); }
  virtual void RButtonDown(int32_t x, int32_t y) { RightMouseDown(x, y); }
  virtual void MouseMove(int32_t x, int32_t y) {}
  virtual void CancelMouse() {}
  virtual void MouseDown(int32_t x, int32_t y) {}
  virtual void MouseUp(int32_t x, int32_t y) {}
  virtual void DoubleClick(int32_t x, int32_t y) {}
  virtual void RightMouseDown(int32_t x, int32_t y) {}
  // Asks the window to keep the mouse for this view's window after the
  // current button release or command.
  void RequestCapture();

  // Commands
  virtual void Execute(int32_t id);
  virtual void OnExecute(int32_t id) {}
  virtual int IsEnabled(int32_t id, int& enabled);
  virtual int IsChecked(int32_t id, int& checked);
  // Answers a command in one of the command_mode modes; 0: not handled here.
  virtual int Command(int32_t id, int mode, int& result) { return 0; }
  // Registers a command at the head of the list: a later registration of the
  // same id shadows the earlier one.
  void AddCmd(int32_t id, std::function<void()> execute, std::function<int()> enabled = {},
              std::function<int()> checked = {});
  template <class V>
  void AddCmd(int32_t id, void (V::*execute)(), int (V::*enabled)() = nullptr, int (V::*checked)() = nullptr) {
    V* self = static_cast<V*>(this);
    AddCmd(id, execute ? std::function<void()>([self, execute] { (self->*execute)(); }) : std::function<void()>(),
           enabled ? std::function<int()>([self, enabled] { return (self->*enabled)(); }) : std::function<int()>(),
           checked ? std::function<int()>([self, checked] { return (self->*checked)(); }) : std::function<int()>());
  }
  // The view itself first, then its children from the last to the first.
  void FindCmd(int32_t id, TTView*& view, TCmd*& cmd);

  // Direct drawing and posted notification
  void DrawDirect(int flag);
  virtual TArea DrawFeedback(IDrawContext* ctx, int flag) { return NoArea; }
  void PostNotify(int flag) override;
  virtual void Refresh(int flag) {}
  // Expires when the view is destroyed; posted work holds it to find out.
  std::weak_ptr<int> Liveness() const { return alive_; }

  // Timer and idle task
  void StartTimer(int32_t ms) override;
  void StopTimer() override;
  void StartIdle() override;
  virtual int OnTimer() { return 0; }
  virtual int OnIdle() { return 0; }
  int IsTimerRunning() const { return timerRunning_; }
  int IsIdleRunning() const { return idleRunning_; }

  // Painting: clip in the coordinates of the context's base origin.
  virtual void Paint(IDrawContext* ctx, const TArea& clip);

  // Root side of PostNotify and DrawDirect; the window root overrides them.
  virtual void PostViewNotify(TTView* view, int flag) {}
  virtual void DrawViewDirect(TTView* view, const TPnt& offset, int flag) {}

  // Context menu (not owned)
  IMenu* GetContextMenu() const { return contextMenu_; }
  void SetContextMenu(IMenu* menu) { contextMenu_ = menu; }

  // View slots
  // A plain observer: the handler runs on every change. Unbound with the view.
  template <class V> void Connect(TShared* shared, void (V::*handler)()) {
    V* self = static_cast<V*>(this);
    TViewSlot* slot = MakeSlot(shared, [self, handler] { (self->*handler)(); }, TStr(), NoArea, Kind::Plain);
    if (slot) shared->AddSlot(slot, false);
  }
  template <class V>
  TViewSlot* AddViewSlot(TShared* shared, void (V::*handler)(), const TStr& name = TStr(), int callNow = 0) {
    V* self = static_cast<V*>(this);
    return AddViewSlotWith(shared, handler ? std::function<void()>([self, handler] { (self->*handler)(); })
                                           : std::function<void()>(),
                           name, callNow);
  }
  TViewSlot* AddViewSlotWith(TShared* shared, std::function<void()> handler, const TStr& name = TStr(), int callNow = 0);
  // Area mode: a change invalidates the area (own coordinates). Only for the
  // boolean, string, count and real values; null for any other.
  TViewSlot* AddAreaSlot(TShared* shared, const TArea& area, int callNow = 0);

private:
  static int TimerCallback(void* data);
  static int IdleCallback(void* data);
  enum class Kind { Plain, ByType, TypedOnly };
  TViewSlot* MakeSlot(TShared* shared, std::function<void()> handler, const TStr& name, const TArea& area, Kind kind);
  void DropSlots();

  TTView* parent_ = nullptr;
  EList<TTView> children_;
  EList<TCmd> commands_;
  int32_t raiseMark_ = 0;
  int32_t visible_ = 1;
  TArea area_;
  int32_t timerRunning_ = 0;
  int32_t idleRunning_ = 0;
  IMenu* contextMenu_ = nullptr;
  EIteratorList<TViewSlot> slots_; // the view slots still bound, to unbind them when the view goes
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

IView* CreateView(IView* parent, int topmost);
inline IView* CastToView(IBase* o) { return CastTo<IView>(o); }
inline TTView* AsTView(IView* v) { return dynamic_cast<TTView*>(v); }

// ---------------------------------------------------------------- hooks of the window layer
namespace sky::detail {
// A view is being destroyed: every pointer of the window layer to it goes.
void ViewGone(TTView* view);
// The root's window asks for the mouse after the current release or command.
void RequestCaptureAt(TTView* root);
} // namespace sky::detail

template <> inline int32_t TTView::ETypedSlot<int32_t, TReadBoolean>::Sentinel() { return 0; }
template <> inline TStr TTView::ETypedSlot<TStr, TReadStr>::Sentinel() { return TStr(); }
template <> inline int32_t TTView::ETypedSlot<int32_t, TReadCnt>::Sentinel() { return INT32_MIN; }
template <> inline float TTView::ETypedSlot<float, TReadReal>::Sentinel() { return 3.4028235e38f; }
