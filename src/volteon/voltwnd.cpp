#include "src/volteon/voltwnd.h"

#include <QShortcut>

#include "pc/sky/mdi.h"

#include "src/mod/ensemble.h"
#include "src/mod/mod.h"
#include "src/mod/modwnd.h"
#include "src/mod/ensfile.h"
#include "src/mod/undo.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace {

TPnt Offset(const TPnt& a, const TPnt& minus, const TPnt& plus) {
  return TPnt(a.X() - minus.X() + plus.X(), a.Y() - minus.Y() + plus.Y());
}

KUndo* UndoOf(KEnsemble* ensemble) {
  KEnsembleFiles* files = ensemble ? ensemble->GetFiles() : nullptr;
  return files ? &files->GetUndo() : nullptr;
}

// Deselects everything through the first view of the window that is one of ours.
void DeselectAll(TTView* wnd) {
  if (TVolteonView* first = AsVolteonView(wnd->FirstChild())) first->Select(0, 1);
}

// The views of the window that move with the selection, in list order.
std::vector<TVolteonView*> SelectedViews(TTView* wnd) {
  std::vector<TVolteonView*> views;
  for (TTView* v = wnd->FirstChild(); v; v = v->NextSibling()) {
    TVolteonView* view = AsVolteonView(v);
    if (!view) break;
    if (view->IsInSelection()) views.push_back(view);
  }
  return views;
}

} // namespace

// ---------------------------------------------------------------------------
// TVolteonWnd

TPnt FindFreeSpot(const TPnt& want, const TPnt& size, const std::vector<TArea>& taken, const TArea& visible,
                  const TPnt& least, int32_t grid) {
  grid = std::max<int32_t>(grid, 1);
  auto snap = [grid](int32_t v) { return (v + grid - 1) / grid * grid; };
  const TPnt start(snap(std::max(want.X(), least.X())), snap(std::max(want.Y(), least.Y())));
  // One grid step of air around every view, so that neighbours stay apart.
  auto freeAt = [&](int32_t x, int32_t y) {
    const TArea a(x - grid, y - grid, x + size.X() + grid, y + size.Y() + grid);
    return std::none_of(taken.begin(), taken.end(), [&](const TArea& t) { return !t.IsEmpty() && t.Intersects(a); });
  };
  if (freeAt(start.X(), start.Y())) return start;
  const int32_t left = snap(std::max(visible.Left(), least.X())), top = snap(std::max(visible.Top(), least.Y()));
  const int32_t right = visible.Right() - size.X(), bottom = visible.Bottom() - size.Y();
  auto scan = [&](int32_t fromY, int32_t fromX, int32_t toY, TPnt& found) {
    for (int32_t y = fromY; y <= toY; y += grid)
      for (int32_t x = y == fromY ? fromX : left; x <= right; x += grid)
        if (freeAt(x, y)) {
          found = TPnt(x, y);
          return true;
        }
    return false;
  };
  TPnt found;
  if (scan(std::max(start.Y(), top), start.X(), bottom, found)) return found;
  if (scan(top, left, std::min(start.Y(), bottom), found)) return found;
  return start;
}

TArea VisibleCanvas(TWnd* wnd) {
  constexpr int32_t kLeast = 64;
  const TArea seen = wnd && wnd->GetDWnd() ? wnd->GetDWnd()->VisibleArea() : EmptyArea;
  if (seen.Width() >= kLeast && seen.Height() >= kLeast) return seen;
  return TArea(0, 0, DDecWnd::kDefaultClientW, DDecWnd::kDefaultClientH);
}

void RetitleWindowsOf(KSModul* module) {
  if (!module) return;
  if (auto* w = dynamic_cast<TWnd*>(module->GetStructWnd())) w->SetTitle(module->GetLabel() + TStr(" - Structure"));
  if (auto* w = dynamic_cast<TWnd*>(module->GetPanelWnd())) w->SetTitle(module->GetLabel() + TStr(" - Panel"));
}

TVolteonWnd::TVolteonWnd(QWidget* frameParent) : TCommandFirst<TWnd>(frameParent) {}

void TVolteonWnd::AddKeys(std::initializer_list<std::pair<const char*, int32_t>> keys) {
  DWnd* w = GetDWnd();
  if (!w || keysAdded_) return;
  keysAdded_ = true;
  for (const auto& [sequence, id] : keys) {
    auto* shortcut = new QShortcut(QKeySequence(QString::fromLatin1(sequence)), w);
    shortcut->setContext(Qt::WidgetWithChildrenShortcut);
    QObject::connect(shortcut, &QShortcut::activated, w, [this, id = id] {
      TUpdateBracket bracket;
      Execute(id);
    });
  }
}

TVolteonWnd::~TVolteonWnd() = default;

TPnt TVolteonWnd::SnapToGrid(const TPnt& p) const {
  const int32_t g = grid_, h = grid_ / 2;
  auto snap = [g, h](int32_t v) { return v >= 0 ? ((v + h) / g) * g : ((v - (h - 1)) / g) * g; };
  return TPnt(snap(p.X()), snap(p.Y()));
}

TArea TVolteonWnd::GetExtent() {
  TArea all = EmptyArea;
  for (TTView* v = FirstChild(); v; v = v->NextSibling()) all.Unite(v->GetBounds());
  if (all.IsEmpty()) return all;
  return TArea(all.Left() - grid_, all.Top() - grid_, all.Right() + grid_, all.Bottom() + grid_);
}

void TVolteonWnd::Select(int on, int exclusive) {
  (void)on;
  if (exclusive) DeselectAll(this);
}

void TVolteonWnd::DrawBand(bool draw) {
  const TPnt tl = rubber_.TopLeft(), br = rubber_.BottomRight();
  const TPnt lb(rubber_.Left(), rubber_.Bottom()), rt(rubber_.Right(), rubber_.Top());
  const TPnt lines[4][2] = {{tl, lb}, {lb, br}, {br, rt}, {rt, tl}};
  for (const auto& l : lines) {
    if (draw) AddRubberLine(l[0], l[1]);
    else RemoveRubberLine(l[0], l[1]);
  }
}

void TVolteonWnd::MouseDown(int32_t x, int32_t y) {
  Select(0, 1);
  rubber_ = TArea(x, y, x, y);
  DrawBand(true);
  SelectionChanged();
}

void TVolteonWnd::MouseMove(int32_t x, int32_t y) {
  if (rubber_ == NoArea) return;
  DrawBand(false);
  rubber_.SetBottomRight(x, y);
  DrawBand(true);
  const TArea band(std::min(rubber_.Left(), rubber_.Right()), std::min(rubber_.Top(), rubber_.Bottom()),
                   std::max(rubber_.Left(), rubber_.Right()), std::max(rubber_.Top(), rubber_.Bottom()));
  if (!band.IsEmpty()) {
    Select(0, 1);
    ClearChildMarks();
    for (TTView* v = FirstChild(); v; v = v->NextSibling()) {
      TVolteonView* view = AsVolteonView(v);
      if (!view) break;
      const TArea bounds = view->GetBounds();
      if (!bounds.IsEmpty() && TArea::Intersection(band, bounds) == bounds) view->Select(1, 0);
    }
    BringMarkedToFront();
  }
  SelectionChanged();
}

void TVolteonWnd::MouseUp(int32_t x, int32_t y) {
  (void)x;
  (void)y;
  if (rubber_ == NoArea) return;
  ClearRubberLines();
  rubber_ = NoArea;
}

void TVolteonWnd::RightMouseDown(int32_t x, int32_t y) {
  (void)x;
  (void)y;
  SelectionChanged();
}

// ---------------------------------------------------------------------------
// TVolteonView

TVolteonView::TVolteonView(TTView* parent, int topmost, KEnsemble* ensemble)
    : TCommandFirst<TTView>(parent, topmost), ensemble_(ensemble) {}

TVolteonView::~TVolteonView() = default;

TVolteonWnd* TVolteonView::GetVolteonWnd() const { return dynamic_cast<TVolteonWnd*>(GetParent()); }

void TVolteonView::MouseDown(int32_t x, int32_t y) {
  TVolteonWnd* wnd = GetVolteonWnd();
  if (!wnd) return;
  // A press that plays a control may remove its view (and with it this one).
  std::weak_ptr<int> alive = Liveness();
  wnd->ClearChildMarks();
  if (!wnd->IsCtrlKeyDown()) Select(1, IsSelected() ? 0 : 1);
  else Select(IsSelected() ? 0 : 1, 0);
  wnd->BringMarkedToFront();
  if (!CanDragAt(x, y)) {
    ownMouse_ = 1;
    OwnMouseDown(x, y);
  } else {
    ownMouse_ = 0;
    if (!IsFixed()) {
      const TPnt press(x, y);
      for (TVolteonView* view : SelectedViews(wnd)) {
        view->start_ = wnd->SnapToGrid(view->GetOrigin());
        view->dragOrigin_ = view->start_;
        view->press_ = press;
      }
    }
  }
  if (!alive.expired()) wnd->SelectionChanged();
}

void TVolteonView::MouseMove(int32_t x, int32_t y) {
  if (ownMouse_) {
    OwnMouseMove(x, y);
    return;
  }
  TVolteonWnd* wnd = GetVolteonWnd();
  if (!wnd || !wnd->IsMouseButtonDown() || IsFixed()) return;
  const TPnt mouse(x, y);
  // The selection as it stands at this step: laying a view out again after
  // it moved must not change which views the step moves.
  const std::vector<TVolteonView*> moving = SelectedViews(wnd);
  for (TVolteonView* view : moving) {
    view->start_ = view->GetOrigin();
    const TPnt target = wnd->SnapToGrid(Offset(view->start_, press_, mouse));
    if (target != view->GetOrigin()) {
      if (KUndo* undo = UndoOf(ensemble_)) undo->AddUndoStepMerged(GetMoveUndoKind(), this, 0);
      view->moved_ = 1;
    }
    if (target != view->dragOrigin_) {
      view->dragOrigin_ = target;
      view->DragTo(target);
    }
  }
  for (TVolteonView* view : moving) view->AfterDrag();
}

void TVolteonView::MouseUp(int32_t x, int32_t y) {
  if (KUndo* undo = UndoOf(ensemble_)) undo->ClearPendingUndo();
  if (ownMouse_) {
    ownMouse_ = 0;
    OwnMouseUp(x, y);
    return;
  }
  if (IsFixed()) return;
  TVolteonWnd* wnd = GetVolteonWnd();
  if (!wnd) return;
  if (!wnd->IsCtrlKeyDown()) {
    for (TTView* v = wnd->FirstChild(); v; v = v->NextSibling()) {
      TVolteonView* view = AsVolteonView(v);
      if (!view) break;
      if (!view->moved_ && view->IsSelected() && !IsSameAs(view)) view->Select(0, 0);
      view->moved_ = 0;
    }
  }
  wnd->UpdateScrollBars();
  wnd->SelectionChanged();
}

void TVolteonView::RightMouseDown(int32_t x, int32_t y) {
  (void)x;
  (void)y;
  if (TVolteonWnd* wnd = GetVolteonWnd()) wnd->SelectionChanged();
}
