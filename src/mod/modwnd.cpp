// The windows and views of modules: which is open, which view a module has,
// and the order in which they are made, shown and closed. The windows
// themselves are the window code's (IModelWindows).
#include "src/mod/instr.h"
#include "src/mod/mod.h"
#include "src/mod/moddata.h"
#include "src/mod/modwnd.h"
#include "src/mod/undokind.h"

#include <utility>

QV_MESSAGE(NoStructureShown, "No structure will be shown for this instrument.")

IModelWindows* KSModul::Windows() const { return host_ ? host_->GetWindows() : nullptr; }

// ---------------------------------------------------------------------------
// Boxes

void KSModul::CreateView(IModelWnd* structWnd) {
  IModelWindows* w = Windows();
  if (!w || !structWnd) return;
  DestroyBoxView();
  boxView_ = w->CreateModView(structWnd, this);
  if (!boxView_) return;
  for (int32_t i = 0; i < inCount_; ++i) in_[i]->CreateView(boxView_);
  for (int32_t i = 0; i < outCount_; ++i) out_[i]->CreateView(boxView_);
  ShowWires();
}

void KSModul::ShowWires() {
  for (int32_t i = 0; i < inCount_; ++i) in_[i]->ShowWireViews();
  for (int32_t i = 0; i < outCount_; ++i)
    for (int32_t d = 0; d < out_[i]->GetDestinationCount(); ++d)
      if (KInPort* dest = out_[i]->GetDestination(d)) dest->ShowWireViews();
}

void KSModul::DropChildWireViews() {
  for (int32_t c = 0; c < childCount_; ++c)
    for (int32_t i = 0; i < children_[c]->inCount_; ++i) children_[c]->in_[i]->DropWireViews();
}

void KPort::CreateView(IModelView* box) {
  IModelWindows* w = owner_ ? owner_->Windows() : nullptr;
  if (!w || !box) return;
  if (auto* in = dynamic_cast<KInPort*>(this)) view_ = w->CreateInPortView(box, in);
  else view_ = w->CreateOutPortView(box, static_cast<KOutPort*>(this));
}

void KInPort::ShowWireViews() {
  IModelWindows* w = owner_ ? owner_->Windows() : nullptr;
  KSModul* structure = owner_ ? owner_->GetParent() : nullptr;
  if (!w) return;
  IModelWnd* wnd = structure ? structure->GetStructWnd() : nullptr;
  for (int32_t i = 0; i < wireCount_; ++i) {
    if (wireViews_[i]) {
      w->PlaceWireView(wireViews_[i]);
      continue;
    }
    KOutPort* source = sources_[i];
    if (!wnd || !source || !view_ || !source->GetView()) continue;
    wireViews_[i] = w->CreateWireView(wnd, this, source);
  }
}

void KInPort::DropWireViews() {
  IModelWindows* w = owner_ ? owner_->Windows() : nullptr;
  for (int32_t i = 0; i < wireCount_; ++i)
    if (IModelView* view = std::exchange(wireViews_[i], nullptr))
      if (w) w->DestroyView(view);
}

void KSModul::DestroyBoxView() {
  IModelView* box = std::exchange(boxView_, nullptr);
  if (box)
    if (IModelWindows* w = Windows()) w->DestroyView(box);
}

void KSModul::RemakeBox() {
  if (!parent_ || going_) return;
  DestroyBoxView();
  if (parent_->structWnd_) CreateView(parent_->structWnd_);
}

void KSModul::ReleaseWindows() {
  IModelWindows* w = Windows();
  if (!w) return;
  if (IModelWnd* wnd = std::exchange(structWnd_, nullptr)) w->CloseWnd(wnd);
  if (IModelWnd* wnd = std::exchange(panelWnd_, nullptr)) w->CloseWnd(wnd);
  if (IModelView* v = std::exchange(instrCtrlView_, nullptr)) w->DestroyCtrlView(v);
  if (IModelView* v = std::exchange(ensCtrlView_, nullptr)) w->DestroyCtrlView(v);
  DestroyBoxView();
}

void KSModul::RefreshPanels() {
  IModelWindows* w = Windows();
  if (!w) return;
  KSModul* top = GetTop();
  KSModul* panelNode = GetPanelNode();
  if (panelNode != top && panelNode->panelWnd_) w->RefreshWnd(panelNode->panelWnd_);
  if (top->panelWnd_) w->RefreshWnd(top->panelWnd_);
}

void KSModul::RedrawBox() {
  if (IModelWindows* w = Windows(); w && boxView_) w->InvalidateView(boxView_);
}

void KSModul::RedrawStructWnd() {
  if (IModelWindows* w = Windows(); w && structWnd_) w->RedrawWnd(structWnd_);
}

// ---------------------------------------------------------------------------
// Panel and structure windows

void KSModul::OpenPanel(bool recordUndo) {
  IModelWindows* w = Windows();
  if (!w) return;
  if (panelWnd_) {
    w->BringToFront(panelWnd_);
    return;
  }
  if (recordUndo) host_->AddUndoStep(UndoKind::kOpenPanel, nullptr);
  panelWnd_ = w->CreatePanelWnd(this);
  if (panelWnd_) w->ShowWnd(panelWnd_);
}

void KSModul::OpenStructure() {
  if (instr_ && instr_->IsStructureHidden()) {
    ShowModelMessage(NoStructureShown());
    return;
  }
  IModelWindows* w = Windows();
  if (!w) return;
  if (structWnd_) {
    w->BringToFront(structWnd_);
    return;
  }
  structWnd_ = w->CreateStructWnd(this);
  if (structWnd_) w->ShowWnd(structWnd_);
}

void KSModul::ReopenWindows() {
  // Numbers at or above this bound, and 0 and below, never reopen.
  constexpr int32_t kNoNumber = 1073741823;
  int32_t last = 0;
  for (;;) {
    int32_t best = kNoNumber;
    Walk([&](KSModul* m) {
      if (const KModulData* d = m->GetData()) {
        if (d->panelOpenNo > last && d->panelOpenNo < best) best = d->panelOpenNo;
        if (d->structOpenNo > last && d->structOpenNo < best) best = d->structOpenNo;
      }
    });
    if (best == kNoNumber) return;
    // Windows that share a number all reopen: in tree order, a module's
    // panel before its structure.
    Walk([best](KSModul* m) {
      const KModulData* d = m->GetData();
      if (!d) return;
      const bool structToo = d->structOpenNo == best;
      if (d->panelOpenNo == best) m->OpenPanel(false);
      if (structToo) m->OpenStructure();
    });
    last = best;
  }
}

void KSModul::UpdateLibraryMenus(bool check) {
  IModelWindows* w = Windows();
  if (!w) return;
  Walk([w](KSModul* m) {
    if (m->structWnd_) w->PrepareLibraryMenus(m->structWnd_);
  });
  w->UpdateLibraryMenus(check);
  Walk([w](KSModul* m) {
    if (m->structWnd_) w->RebuildMenus(m->structWnd_);
  });
}

void KSModul::RefreshAllStructWnds() {
  IModelWindows* w = Windows();
  if (!w) return;
  Walk([w](KSModul* m) {
    if (m->structWnd_) w->RefreshWnd(m->structWnd_);
  });
}

void KSModul::BringPanelsToFront() {
  IModelWindows* w = Windows();
  if (!w) return;
  Walk([w](KSModul* m) {
    if (m->panelWnd_) w->BringToFront(m->panelWnd_);
  });
}

void KSModul::CloseAllPanels() {
  IModelWindows* w = Windows();
  if (!w) return;
  Walk([w](KSModul* m) {
    if (IModelWnd* wnd = std::exchange(m->panelWnd_, nullptr)) w->CloseWnd(wnd);
  });
}

void KSModul::CloseAllStructWnds() {
  IModelWindows* w = Windows();
  if (!w) return;
  Walk([w](KSModul* m) {
    if (IModelWnd* wnd = std::exchange(m->structWnd_, nullptr)) w->CloseWnd(wnd);
  });
}

// ---------------------------------------------------------------------------
// Panel controls

void KSModul::AttachInstrCtrlView(int32_t i, IModelView* view) {
  if (KSModul* m = GetPanelModule(i)) {
    m->instrCtrlView_ = view;
    if (IModelWindows* w = Windows(); w && view) w->PlaceCtrlView(view);
  }
}

void KSModul::AttachEnsCtrlView(int32_t i, IModelView* view) {
  if (KSModul* m = GetPanelModule(i)) {
    m->ensCtrlView_ = view;
    if (IModelWindows* w = Windows(); w && view) w->PlaceCtrlView(view);
  }
}

namespace {
int32_t PanelKind(const KSModul* m) {
  const KModulDef* def = m->GetTypeDef();
  return def ? def->panelView : kViewNone;
}
} // namespace

void KSModul::CreateInstrCtrlViews(IModelWnd* panelWnd) {
  IModelWindows* w = Windows();
  if (!w || !panelWnd) return;
  if (IsVisibleInInstr() && !instrCtrlView_) instrCtrlView_ = w->CreateCtrlView(panelWnd, this, PanelKind(this));
  for (int32_t i = 0; i < childCount_; ++i) {
    KSModul* c = children_[i];
    if (c->IsCategory(kCatInstrument)) {
      // A nested instrument shows as one control; its insides have a panel of their own.
      if (c->IsVisibleInInstr() && !c->instrCtrlView_) c->instrCtrlView_ = w->CreateCtrlView(panelWnd, c, PanelKind(c));
      continue;
    }
    c->CreateInstrCtrlViews(panelWnd);
  }
}

void KSModul::CreateEnsCtrlViews(IModelWnd* panelWnd) {
  IModelWindows* w = Windows();
  if (!w || !panelWnd) return;
  Walk([w, panelWnd](KSModul* m) {
    if (m->IsVisibleInEns() && !m->ensCtrlView_) m->ensCtrlView_ = w->CreateCtrlView(panelWnd, m, PanelKind(m));
  });
}

void KSModul::ShowInstrCtrlViews() {
  IModelWindows* w = Windows();
  if (!w) return;
  if (instrCtrlView_) w->ShowCtrlView(instrCtrlView_);
  for (int32_t i = 0; i < childCount_; ++i) {
    KSModul* c = children_[i];
    if (c->IsCategory(kCatInstrument)) {
      if (c->instrCtrlView_) w->ShowCtrlView(c->instrCtrlView_);
      continue;
    }
    c->ShowInstrCtrlViews();
  }
}

void KSModul::ShowEnsCtrlViews() {
  IModelWindows* w = Windows();
  if (!w) return;
  Walk([w](KSModul* m) {
    if (m->ensCtrlView_) w->ShowCtrlView(m->ensCtrlView_);
  });
}

void KSModul::DestroyInstrCtrlViews() {
  IModelWindows* w = Windows();
  if (IModelView* v = std::exchange(instrCtrlView_, nullptr))
    if (w) w->DestroyCtrlView(v);
  for (int32_t i = 0; i < childCount_; ++i) {
    KSModul* c = children_[i];
    if (c->IsCategory(kCatInstrument)) {
      if (IModelView* v = std::exchange(c->instrCtrlView_, nullptr))
        if (w) w->DestroyCtrlView(v);
      continue;
    }
    c->DestroyInstrCtrlViews();
  }
}

void KSModul::DestroyEnsCtrlViews() {
  IModelWindows* w = Windows();
  Walk([w](KSModul* m) {
    if (IModelView* v = std::exchange(m->ensCtrlView_, nullptr))
      if (w) w->DestroyCtrlView(v);
  });
}

void KSModul::UpdateCtrlViews() {
  IModelWindows* w = Windows();
  if (!w || category_ == kCatInstrument || !parent_) return;
  for (KSModul* p = parent_; p;) {
    if (p->IsCategory(kCatInstrument)) {
      if (p->ensCtrlView_) w->UpdateCtrlView(p->ensCtrlView_);
      return;
    }
    if (!p->IsCategory(kCatMacro)) return;
    if (p->instrCtrlView_) w->UpdateCtrlView(p->instrCtrlView_);
    if (p->ensCtrlView_) w->UpdateCtrlView(p->ensCtrlView_);
    // A macro with both controls of its own shows the value; one without
    // passes it further up.
    if (p->instrCtrlView_ && p->ensCtrlView_) return;
    p = p->parent_;
  }
}

void KSModul::UpdateOwnCtrlViews() {
  IModelWindows* w = Windows();
  if (!w) return;
  if (instrCtrlView_) w->UpdateCtrlView(instrCtrlView_);
  if (ensCtrlView_) w->UpdateCtrlView(ensCtrlView_);
}

void KSModul::RebuildOwnCtrlViews() {
  IModelWindows* w = Windows();
  if (!w) return;
  if (instrCtrlView_) w->RebuildCtrlView(instrCtrlView_);
  if (ensCtrlView_) w->RebuildCtrlView(ensCtrlView_);
}

void KSModul::SetVisibleInInstr(bool on) { ShowInPanel(false, on); }
void KSModul::SetVisibleInEns(bool on) { ShowInPanel(true, on); }

void KSModul::ShowInPanel(bool ensPanel, bool on) {
  SetFlag(ensPanel ? kFlagVisibleInEns : kFlagVisibleInInstr, on);
  IModelWindows* w = Windows();
  if (!w) return;
  IModelView*& view = ensPanel ? ensCtrlView_ : instrCtrlView_;
  KSModul* panelNode = ensPanel ? GetTop() : (parent_ ? parent_->GetPanelNode() : GetPanelNode());
  IModelWnd* panel = panelNode->panelWnd_;
  if (on) {
    if (view || !panel) return;
    view = w->CreateCtrlView(panel, this, PanelKind(this));
    if (!view) return;
    w->PlaceCtrlView(view);
    w->ShowCtrlView(view);
    w->RefreshWnd(panel);
  } else if (view) {
    w->DestroyCtrlView(std::exchange(view, nullptr));
    if (panel) w->RefreshWnd(panel);
  }
}
