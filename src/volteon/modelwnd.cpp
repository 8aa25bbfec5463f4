#include "src/volteon/modelwnd.h"
#include "src/mod/mod.h"

#include "src/volteon/modview.h"
#include "src/volteon/portview.h"
#include "src/volteon/strucwnd.h"
#include "src/volteon/wireview.h"

#include <vector>

namespace {
TTView* ViewOf(IModelView* v) { return dynamic_cast<TTView*>(v); }
TWnd* WndOf(IModelWnd* w) { return dynamic_cast<TWnd*>(w); }
} // namespace

IModelWindows* TModelWindows::PanelSideOf(IModelWnd* wnd) { return wnd && !AsStructWnd(wnd) ? panels_ : nullptr; }

IModelWnd* TModelWindows::CreatePanelWnd(KSModul* module) { return panels_ ? panels_->CreatePanelWnd(module) : nullptr; }

IModelWnd* TModelWindows::CreateStructWnd(KSModul* module) { return module ? new TStructWnd(module) : nullptr; }

void TModelWindows::ShowWnd(IModelWnd* wnd) {
  if (IModelWindows* p = PanelSideOf(wnd)) return p->ShowWnd(wnd);
  if (TStructWnd* s = AsStructWnd(wnd)) {
    // The model knows the window now: its boxes and wires can be made.
    if (!s->HasViews()) s->CreateViews();
    s->Create();
    s->AddKeyCommands();
    s->UpdateScrollBars();
    return;
  }
  if (TWnd* w = WndOf(wnd)) w->Create();
}

void TModelWindows::BringToFront(IModelWnd* wnd) {
  if (IModelWindows* p = PanelSideOf(wnd)) return p->BringToFront(wnd);
  if (TWnd* w = WndOf(wnd)) w->BringToTop();
}

void TModelWindows::CloseWnd(IModelWnd* wnd) {
  if (IModelWindows* p = PanelSideOf(wnd)) return p->CloseWnd(wnd);
  if (TWnd* w = WndOf(wnd)) {
    TUpdateBracket bracket;
    delete w;
  }
}

void TModelWindows::RefreshWnd(IModelWnd* wnd) {
  if (IModelWindows* p = PanelSideOf(wnd)) return p->RefreshWnd(wnd);
  if (TStructWnd* s = AsStructWnd(wnd)) {
    s->ApplyBackground();
    s->CreateWireViews();
    return;
  }
  if (TWnd* w = WndOf(wnd)) w->Invalidate();
}

void TModelWindows::RedrawWnd(IModelWnd* wnd) {
  if (IModelWindows* p = PanelSideOf(wnd)) return p->RedrawWnd(wnd);
  if (TWnd* w = WndOf(wnd)) w->Invalidate();
}

void TModelWindows::RebuildCtrlViews(IModelWnd* panelWnd) {
  if (panels_) panels_->RebuildCtrlViews(panelWnd);
}

TArea TModelWindows::GetClientArea(IModelWnd* structWnd) {
  TWnd* w = WndOf(structWnd);
  return w && w->GetDWnd() ? w->GetDWnd()->VisibleArea() : TArea(0, 0, 450, 300);
}

void TModelWindows::PrepareLibraryMenus(IModelWnd* structWnd) {
  if (TStructWnd* s = AsStructWnd(structWnd)) s->RemoveLibraryMenus();
}

void TModelWindows::UpdateLibraryMenus(bool check) { TStructWnd::UpdateLibraryMenus(check ? 1 : 0); }

void TModelWindows::RebuildMenus(IModelWnd* structWnd) {
  if (TStructWnd* s = AsStructWnd(structWnd)) s->InsertLibraryMenus();
}

IModelView* TModelWindows::CreateModView(IModelWnd* structWnd, KSModul* module) {
  TStructWnd* s = AsStructWnd(structWnd);
  return s && module ? new TModView(s, module) : nullptr;
}

IModelView* TModelWindows::CreateInPortView(IModelView* box, KInPort* port) {
  auto* b = dynamic_cast<TModView*>(box);
  return b && port ? new TInPortView(b, port) : nullptr;
}

IModelView* TModelWindows::CreateOutPortView(IModelView* box, KOutPort* port) {
  auto* b = dynamic_cast<TModView*>(box);
  return b && port ? new TOutPortView(b, port) : nullptr;
}

void TModelWindows::InvalidateView(IModelView* view) {
  if (TTView* v = ViewOf(view)) v->Invalidate();
}

void TModelWindows::DestroyView(IModelView* view) {
  if (TTView* v = ViewOf(view)) {
    v->Invalidate();
    delete v;
  }
}

IModelView* TModelWindows::CreateWireView(IModelWnd* structWnd, KInPort* in, KOutPort* out) {
  TStructWnd* s = AsStructWnd(structWnd);
  if (!s || !in || !out) return nullptr;
  auto* wire = new TWireView(in, out);
  wire->Attach(s);
  return wire;
}

void TModelWindows::PlaceWireView(IModelView* wire) {
  if (TWireView* w = AsWireView(wire)) w->Attach(nullptr);
}

// Windows reopen in the order they were last active: the one active longest
// ago first, so the one in front comes up last and stays in front.
int32_t TModelWindows::GetOpeningNumber(IModelWnd* wnd) {
  TWnd* target = WndOf(wnd);
  if (!target || !target->GetDWnd()) return 0;
  int32_t number = 1;
  const int32_t stamp = target->GetActivationStamp();
  for (DWnd* d : WindowList()) {
    TWnd* other = d ? d->Root() : nullptr;
    if (!other || other == target || !dynamic_cast<IModelWnd*>(other)) continue;
    const int32_t s = other->GetActivationStamp();
    if (s < stamp) ++number;
  }
  // Windows never activated share the stamp: the list order separates them.
  for (DWnd* d : WindowList()) {
    TWnd* other = d ? d->Root() : nullptr;
    if (other == target) break;
    if (other && dynamic_cast<IModelWnd*>(other) && other->GetActivationStamp() == stamp) ++number;
  }
  return number;
}

void TModelWindows::StorePlacement(IModelWnd* wnd) {
  if (TStructWnd* s = AsStructWnd(wnd)) s->StorePlacement();
}

void TModelWindows::MakeRoomFor(KSModul* module) {
  if (!module) return;
  auto* box = dynamic_cast<TModView*>(module->GetBoxView());
  TVolteonWnd* wnd = box ? box->GetVolteonWnd() : nullptr;
  if (wnd) {
    std::vector<TArea> taken;
    for (TTView* v = wnd->FirstChild(); v; v = v->NextSibling())
      if (auto* other = dynamic_cast<TModView*>(v); other && other != box) taken.push_back(other->GetBounds());
    const TArea a = box->GetBounds();
    const TPnt p = FindFreeSpot(a.TopLeft(), TPnt(a.Width(), a.Height()), taken, VisibleCanvas(wnd), TPnt(0, 0),
                                wnd->GetGridStep());
    if (p != a.TopLeft()) {
      box->DragTo(p);
      wnd->UpdateScrollBars();
      wnd->Invalidate();
    }
  }
  if (panels_) panels_->MakeRoomFor(module);
}

IModelView* TModelWindows::CreateCtrlView(IModelWnd* panelWnd, KSModul* module, int32_t kind) {
  return panels_ ? panels_->CreateCtrlView(panelWnd, module, kind) : nullptr;
}
void TModelWindows::ShowCtrlView(IModelView* view) {
  if (panels_) panels_->ShowCtrlView(view);
}
void TModelWindows::PlaceCtrlView(IModelView* view) {
  if (panels_) panels_->PlaceCtrlView(view);
}
void TModelWindows::RebuildCtrlView(IModelView* view) {
  if (panels_) panels_->RebuildCtrlView(view);
}
void TModelWindows::UpdateCtrlView(IModelView* view) {
  if (panels_) panels_->UpdateCtrlView(view);
}
bool TModelWindows::IsCtrlViewVisible(IModelView* view) { return panels_ && panels_->IsCtrlViewVisible(view); }
void TModelWindows::DestroyCtrlView(IModelView* view) {
  if (panels_) panels_->DestroyCtrlView(view);
  else DestroyView(view);
}
