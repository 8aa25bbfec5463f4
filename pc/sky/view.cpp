#include "pc/sky/view.h"

#include "pc/sky/guithread.h"

#include <atomic>

namespace {
std::atomic<IViewTicker*> ticker{nullptr};
} // namespace

IViewTicker* SetViewTicker(IViewTicker* t) { return ticker.exchange(t); }
IViewTicker* GetViewTicker() { return ticker.load(); }

// ---------------------------------------------------------------- slots

TTView::TViewSlot::TViewSlot(TTView* owner, TShared* shared, std::function<void()> handler, const TStr& name,
                             const TArea& area)
    : TSlot(owner, name), owner_(owner), shared_(shared), handler_(std::move(handler)), area_(area) {}

TTView::TViewSlot::~TViewSlot() {
  DestructorBody([this] {
    // The value is going (or the owner unbinds): the owner forgets the slot.
    if (owner_) {
      EIterator<TViewSlot> it;
      owner_->slots_.Find(this, it);
      if (!it.AtEnd()) owner_->slots_.Remove(it);
    }
  });
}

void TTView::TViewSlot::Notify(TShared* shared) {
  std::function<void()> store = ReadValue(shared);
  if (sky::IsGuiThread()) {
    Deliver(store);
    return;
  }
  std::weak_ptr<int> alive = alive_;
  sky::PostToGui([this, alive, store] {
    if (!alive.expired()) Deliver(store);
  });
}

void TTView::TViewSlot::Deliver(const std::function<void()>& store) {
  // The handler may unbind this slot; the cache store then must not run.
  std::weak_ptr<int> alive = alive_;
  if (area_ == NoArea) {
    if (handler_) {
      std::function<void()> handler = handler_;
      handler();
    }
  } else {
    owner_->InvalidateArea(area_);
  }
  if (!alive.expired() && store) store();
}

TTView::TViewSlot* TTView::MakeSlot(TShared* shared, std::function<void()> handler, const TStr& name,
                                    const TArea& area, Kind kind) {
  if (!shared) return nullptr;
  TViewSlot* slot;
  if (kind == Kind::Plain) slot = new TViewSlot(this, shared, std::move(handler), name, area);
  else if (dynamic_cast<TSharedBoolean*>(shared)) slot = new TBooleanViewSlot(this, shared, std::move(handler), name, area);
  else if (dynamic_cast<TSharedStr*>(shared)) slot = new TStrViewSlot(this, shared, std::move(handler), name, area);
  else if (dynamic_cast<TSharedCnt*>(shared)) slot = new TCntViewSlot(this, shared, std::move(handler), name, area);
  else if (dynamic_cast<TSharedReal*>(shared)) slot = new TRealViewSlot(this, shared, std::move(handler), name, area);
  else if (kind == Kind::TypedOnly) return nullptr;
  else slot = new TViewSlot(this, shared, std::move(handler), name, area);
  slots_.AddLast(slot);
  return slot;
}

TTView::TViewSlot* TTView::AddViewSlotWith(TShared* shared, std::function<void()> handler, const TStr& name,
                                           int callNow) {
  TViewSlot* slot = MakeSlot(shared, std::move(handler), name, NoArea, Kind::ByType);
  if (slot) shared->AddSlot(slot, callNow != 0);
  return slot;
}

TTView::TViewSlot* TTView::AddAreaSlot(TShared* shared, const TArea& area, int callNow) {
  TViewSlot* slot = MakeSlot(shared, {}, TStr(), area, Kind::TypedOnly);
  if (slot) shared->AddSlot(slot, callNow != 0);
  return slot;
}

void TTView::DropSlots() {
  while (!slots_.IsEmpty()) {
    EIterator<TViewSlot> it;
    slots_.Seek(0, it);
    TViewSlot* slot = slots_.Remove(it);
    slot->owner_ = nullptr;
    slot->shared_->RemoveSlot(slot);
    slot->Delete();
  }
}

// ---------------------------------------------------------------- life

TTView::TTView(IView* parent, int topmost) : TShared(TStr()) { SetParent(parent, topmost); }

TTView::~TTView() {
  DestructorBody([this] {
    alive_.reset();
    sky::detail::ViewGone(this);
    // No callback or slot may reach the view once it is gone.
    StopTimer();
    if (idleRunning_) {
      if (IViewTicker* t = GetViewTicker()) t->RemoveIdleTask(&TTView::IdleCallback, this);
      idleRunning_ = 0;
    }
    DropSlots();
    while (TTView* child = children_.First()) delete child;
    Unlink();
    while (TCmd* cmd = commands_.RemoveFirst()) delete cmd;
    NotifyAll(nullptr);
  });
}

IView* CreateView(IView* parent, int topmost) { return new TTView(parent, topmost); }

// ---------------------------------------------------------------- tree

void TTView::SetParent(IView* parent, int topmost) {
  if (parent_) return;
  TTView* p = AsTView(parent);
  if (!p) return;
  parent_ = p;
  if (topmost) p->children_.AddFirst(this);
  else p->children_.AddLast(this);
}

void TTView::Unlink() {
  if (!parent_) return;
  TPnt offset;
  TTView* root = GetRoot(&offset);
  // What the view covered, in root coordinates: its bounds (for a group the
  // union of its children), invisible views cover nothing.
  TArea covered = IsVisible() ? GetBounds() : EmptyArea;
  covered += offset;
  parent_->children_.Remove(this);
  SetNext(nullptr)->SetPrev(nullptr);
  parent_ = nullptr;
  if (root != this && !covered.IsEmpty()) root->InvalidateArea(covered);
}

TTView* TTView::GetRoot(TPnt* offset) {
  TTView* v = this;
  while (v->parent_) {
    v = v->parent_;
    if (offset) *offset += v->area_.TopLeft();
  }
  return v;
}

bool TTView::HasInTree(const TTView* v) const {
  for (const TTView* p = v; p; p = p->parent_)
    if (p == this) return true;
  return false;
}

int TTView::VisitTreeWith(const std::function<int(TTView*)>& visit) {
  if (!visit(this)) return 0;
  for (TTView* c = children_.First(); c; c = c->NextSibling())
    if (!c->VisitTreeWith(visit)) return 0;
  return 1;
}

// ---------------------------------------------------------------- geometry

TArea TTView::GetBounds() const {
  if (!area_.IsEmpty()) return visible_ ? area_ : EmptyArea;
  TArea b = EmptyArea;
  for (TTView* c = children_.First(); c; c = c->NextSibling()) b.Unite(c->GetBounds());
  return b;
}

void TTView::MoveTo(const TPnt& p) {
  TArea old = area_;
  area_.MoveTo(p);
  if (visible_ && parent_) parent_->InvalidateArea(TArea::Union(old, area_));
}

void TTView::SetArea(const TArea& a) {
  TArea old = area_;
  area_ = a;
  if (visible_ && parent_) parent_->InvalidateArea(TArea::Union(old, area_));
}

TPnt TTView::GetMousePos() {
  TPnt p = parent_ ? parent_->GetMousePos() : TPnt();
  return TPnt(p.X() - area_.Left(), p.Y() - area_.Top());
}

void TTView::SetVisible(int visible) {
  visible = visible ? 1 : 0;
  if (visible == visible_) return;
  if (!visible) Invalidate(); // as it was a moment before
  visible_ = visible;
  if (visible) Invalidate();
}

// ---------------------------------------------------------------- raise marks

void TTView::ClearRaiseMarks() {
  for (TTView* c = children_.First(); c; c = c->NextSibling()) c->raiseMark_ = 0;
}

void TTView::RaiseMarkedChildren() {
  TTView* c = children_.Last();
  TTView* stop = nullptr; // the first raised child: everything before it was raised already
  while (c && c != stop) {
    TTView* prev = EList<TTView>::Prev(c);
    if (c->raiseMark_) {
      children_.Remove(c);
      c->SetNext(nullptr)->SetPrev(nullptr);
      children_.AddFirst(c);
      c->raiseMark_ = 0;
      if (!stop) stop = c;
      c->Invalidate();
    }
    c = prev;
  }
}

// ---------------------------------------------------------------- invalidation

void TTView::Invalidate() {
  if (sky::OffGuiThread(this, [this] { Invalidate(); })) return;
  // A group's own coordinates are its parent's: its bounds are the area to draw.
  if (area_.IsEmpty()) InvalidateArea(GetBounds());
  else InvalidateArea(TArea(0, 0, area_.Width(), area_.Height()));
}

void TTView::InvalidateArea(const TArea& a) {
  if (sky::OffGuiThread(this, [this, a] { InvalidateArea(a); })) return;
  if (!visible_ || a.IsEmpty()) return;
  TPnt offset;
  TTView* root = GetRoot(&offset);
  if (root == this) return;
  TArea moved = a;
  moved += area_.TopLeft();
  moved += offset;
  root->InvalidateArea(moved);
}

// ---------------------------------------------------------------- hit testing

TTView* TTView::FindViewAt(TPnt& p) {
  p.MoveX(-area_.Left());
  p.MoveY(-area_.Top());
  for (TTView* c = children_.First(); c; c = c->NextSibling())
    if (TTView* hit = c->FindViewAt(p)) return hit;
  if (area_.IsEmpty()) return this;
  if (visible_ && area_.Contains(TPnt(p.X() + area_.Left(), p.Y() + area_.Top())) && HitTest(p.X(), p.Y()))
    return this;
  p.MoveX(area_.Left());
  p.MoveY(area_.Top());
  return nullptr;
}

void TTView::RequestCapture() { sky::detail::RequestCaptureAt(GetRoot()); }

// ---------------------------------------------------------------- commands

void TTView::AddCmd(int32_t id, std::function<void()> execute, std::function<int()> enabled,
                    std::function<int()> checked) {
  TCmd* cmd = new TCmd;
  cmd->id = id;
  cmd->execute = std::move(execute);
  cmd->enabled = std::move(enabled);
  cmd->checked = std::move(checked);
  commands_.AddFirst(cmd);
}

void TTView::FindCmd(int32_t id, TTView*& view, TCmd*& cmd) {
  for (TCmd* c = commands_.First(); c; c = EList<TCmd>::Next(c)) {
    if (c->id == id) {
      view = this;
      cmd = c;
      return;
    }
  }
  for (TTView* child = children_.Last(); child; child = EList<TTView>::Prev(child)) {
    child->FindCmd(id, view, cmd);
    if (cmd) return;
  }
  view = nullptr;
  cmd = nullptr;
}

void TTView::Execute(int32_t id) {
  OnExecute(id);
  TTView* view = nullptr;
  TCmd* cmd = nullptr;
  FindCmd(id, view, cmd);
  if (cmd && cmd->execute) {
    std::function<void()> f = cmd->execute; // the handler may delete its own view
    f();
  }
}

int TTView::IsEnabled(int32_t id, int& enabled) {
  TTView* view = nullptr;
  TCmd* cmd = nullptr;
  FindCmd(id, view, cmd);
  if (!cmd) {
    enabled = 0;
    return 0;
  }
  enabled = cmd->enabled ? cmd->enabled() : 1;
  return 1;
}

int TTView::IsChecked(int32_t id, int& checked) {
  TTView* view = nullptr;
  TCmd* cmd = nullptr;
  FindCmd(id, view, cmd);
  if (!cmd) {
    checked = 0;
    return 0;
  }
  checked = cmd->checked ? cmd->checked() : 0;
  return 1;
}

// ---------------------------------------------------------------- direct drawing, notification

void TTView::DrawDirect(int flag) {
  TPnt offset;
  TTView* root = GetRoot(&offset);
  root->DrawViewDirect(this, offset, flag & 0xFF);
}

void TTView::PostNotify(int flag) { GetRoot()->PostViewNotify(this, flag & 0xFF); }

// ---------------------------------------------------------------- timer, idle

int TTView::TimerCallback(void* data) {
  auto* v = static_cast<TTView*>(data);
  if (v->OnTimer()) return 1;
  v->timerRunning_ = 0;
  return 0;
}

int TTView::IdleCallback(void* data) {
  auto* v = static_cast<TTView*>(data);
  if (v->OnIdle()) return 1;
  v->idleRunning_ = 0;
  return 0;
}

void TTView::StartTimer(int32_t ms) {
  IViewTicker* t = GetViewTicker();
  if (!t) return;
  // One tick per view: starting again replaces the running registration.
  if (timerRunning_) t->RemoveTimer(&TTView::TimerCallback, this);
  t->AddTimer(ms, &TTView::TimerCallback, this);
  timerRunning_ = 1;
}

void TTView::StopTimer() {
  if (!timerRunning_) return;
  if (IViewTicker* t = GetViewTicker()) t->RemoveTimer(&TTView::TimerCallback, this);
  timerRunning_ = 0;
}

void TTView::StartIdle() {
  IViewTicker* t = GetViewTicker();
  if (!t) return;
  if (idleRunning_) t->RemoveIdleTask(&TTView::IdleCallback, this);
  t->AddIdleTask(&TTView::IdleCallback, this);
  idleRunning_ = 1;
}

// ---------------------------------------------------------------- painting

void TTView::Paint(IDrawContext* ctx, const TArea& clip) {
  const TPnt origin = ctx->GetOrigin();
  for (TTView* c = children_.Last(); c; c = EList<TTView>::Prev(c)) {
    if (!c->visible_) continue;
    TArea b = c->GetBounds();
    b += origin;
    if (!b.Intersects(clip)) continue;
    // The child's own coordinates start at its area's corner; a group's
    // coincide with this view's.
    ctx->SetOrigin(TPnt(origin.X() + c->area_.Left(), origin.Y() + c->area_.Top()));
    c->Paint(ctx, clip);
    ctx->SetOrigin(origin);
  }
}
