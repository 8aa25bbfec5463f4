#include "src/volteon/panelwnd.h"

#include "pc/sky/mdi.h"
#include "pc/sky/menu.h"
#include "src/engine/audioio.h"
#include "src/engine/module_types.h"
#include "src/mod/ensemble.h"
#include "src/mod/ensfile.h"
#include "src/mod/instr.h"
#include "src/mod/modfile.h"
#include "src/mod/modul_def.h"
#include "src/mod/undo.h"
#include "src/volteon/ctrlview.h"
#include "src/volteon/paneldlg.h"
#include "src/volteon/panelpics.h"
#include "src/volteon/pictures.h"
#include "src/volteon/ivolteon.h"

#include <algorithm>
#include <iterator>
#include <memory>
#include <set>
#include <vector>

QV_MESSAGE(NoCutWithFrames, "You cannot use Cut or Copy in the Panel with Macro or Instrument frames.")

namespace {

IMenu* PanelMenu() {
  static IMenu* menu = nullptr; // kept for the whole run
  if (!menu) {
    RegisterPanelMenus();
    menu = CreateMenuObject(panel_menu::kPanel);
    menu->SetDefaultItem(cmd::kGotoStructure, menu::kByCommand);
  }
  return menu;
}

bool IsAudioModule(const KSModul* m, bool tapedeckOnly) {
  return m->IsTapedeck() || (!tapedeckOnly && m->IsSamplerFamily());
}

} // namespace

// ============================================================================
// The window

TPanelWnd::TPanelWnd(KSModul* structure, TPanelWindows* windows)
    : TVolteonWnd(NewDocumentFrame()), structure_(structure), windows_(windows) {
  const bool top = structure->GetParent() == nullptr;
  SetBackgroundBitmap(PanelBitmap(top ? picture::kEnsemblePanelTile : picture::kTileGreenGrey), 1, 0);
  SetPlacement(structure->GetPanelWndState(), structure->GetPanelWndPos(), structure->GetPanelWndArea());
  SetContextMenu(PanelMenu());
  TStr title = structure->GetLabel();
  title += TStr(" - Panel");
  SetTitle(title);
  SetIcon(picture::kPanelIcon);
  if (top) {
    structure->CreateEnsCtrlViews(this);
    structure->ShowEnsCtrlViews();
  } else {
    structure->CreateInstrCtrlViews(this);
    structure->ShowInstrCtrlViews();
  }
  UpdateScrollBars();
}

void TPanelWnd::AddKeyCommands() {
  // Ctrl+B is the key the main menu's Goto Structure shows, and works
  // through it.
  AddKeys({{"Backspace", cmd::kDelete}, {"Return", cmd::kGotoCounterpart}, {"Enter", cmd::kGotoCounterpart}});
}

TPanelWnd::~TPanelWnd() {
  DestructorBody([this] {
    closing_ = true;
    ReleaseCtrlViews();
    if (structure_->GetPanelWnd() == static_cast<IModelWnd*>(this)) structure_->PanelWndClosed();
    if (windows_) windows_->WindowGone(this);
  });
}

void TPanelWnd::ReleaseCtrlViews() {
  if (!closedByModel_)
    if (KEnsemble* ens = GetEnsemble()) ens->AddUndoStep(UndoKind::kClosePanel, nullptr);
  SavePlacement();
  if (IsEnsemblePanel()) structure_->DestroyEnsCtrlViews();
  else structure_->DestroyInstrCtrlViews();
}

KEnsemble* TPanelWnd::GetEnsemble() const { return windows_ ? windows_->GetEnsemble() : nullptr; }

// The modules whose controls this window shows, in the order of the tree.
static std::vector<KSModul*> ShownModules(TPanelWnd* w) {
  std::set<KSModul*> shown;
  w->ForEachCtrlView([&](TCtrlView* v) {
    if (v->IsVisible()) shown.insert(v->GetModule());
  });
  std::vector<KSModul*> list;
  KSModul* from = w->IsEnsemblePanel() ? w->GetStructure()->GetTop() : w->GetStructure();
  from->Walk([&](KSModul* m) {
    if (shown.count(m)) list.push_back(m);
  });
  return list;
}

void TPanelWnd::AddCtrlViews() {
  if (IsEnsemblePanel()) {
    AddEnsCtrlViews(structure_);
    return;
  }
  // The model makes the views its modules lack and places them all again.
  structure_->CreateInstrCtrlViews(this);
  structure_->ShowInstrCtrlViews();
  UpdateScrollBars();
  Invalidate();
}

void TPanelWnd::AddEnsCtrlViews(KSModul* structure) {
  structure->CreateEnsCtrlViews(this);
  structure->ShowEnsCtrlViews();
  UpdateScrollBars();
  Invalidate();
}

void TPanelWnd::SavePlacement() {
  int state = 0;
  TPnt pos;
  TArea area;
  GetPlacement(&state, &pos, &area);
  structure_->SetPanelWndState(state);
  structure_->SetPanelWndPos(pos);
  structure_->SetPanelWndArea(area);
}

void TPanelWnd::DeleteSelectedControls() {
  KSModul* top = structure_->GetTop();
  TStructureChange bracket(structure_);
  // One at a time, looking again after each deletion: a frame takes the
  // controls inside it along.
  for (;;) {
    KSModul* victim = nullptr;
    for (KSModul* m : ShownModules(this))
      if (m != top && m->IsSelected()) {
        victim = m;
        break;
      }
    if (!victim) return;
    top->DeleteChild(victim, false);
  }
}

void TPanelWnd::DeleteSelected() {
  bool any = false;
  for (KSModul* m : ShownModules(this)) any = any || (m->IsSelected() && m->GetParent());
  if (!any) return;
  if (KEnsemble* ens = GetEnsemble()) ens->AddUndoStep(UndoKind::kDeleteControls, this);
  DeleteSelectedControls();
  UpdateScrollBars();
  Invalidate();
  SelectionChanged();
}

bool TPanelWnd::CheckNoFrameSelected() {
  for (KSModul* m : ShownModules(this))
    if (m->IsSelected() && m->IsMacroOrInstrument()) {
      ShowMessage(&NoCutWithFrames(), 0);
      return false;
    }
  return true;
}

// Writes the selected controls to the clipboard file; false (the error
// shown) when they could not be written.
bool TPanelWnd::WriteSelectedToClipboard() {
  KEnsemble* ens = GetEnsemble();
  if (!ens || !ens->GetFiles()) return false;
  std::vector<const KSModul*> chosen;
  for (KSModul* m : ShownModules(this))
    if (m->IsSelected() && m->GetParent()) chosen.push_back(m);
  if (chosen.empty()) return false;
  try {
    KModulFile::SaveModulesFile(*dirs::Clipboard(), chosen, *ens->GetFiles());
    return true;
  } catch (...) {
    RecordCurrentException();
    ShowLastError();
    return false;
  }
}

void TPanelWnd::Cut() {
  if (!CheckNoFrameSelected()) return;
  bool any = false;
  for (KSModul* m : ShownModules(this)) any = any || (m->IsSelected() && m->GetParent());
  if (!any) return;
  // What could not be kept is not deleted either.
  if (!WriteSelectedToClipboard()) return;
  if (KEnsemble* ens = GetEnsemble()) ens->AddUndoStep(UndoKind::kCutControls, this);
  DeleteSelectedControls();
  UpdateScrollBars();
  Invalidate();
  SelectionChanged();
}

void TPanelWnd::Copy() {
  if (!CheckNoFrameSelected()) return;
  WriteSelectedToClipboard();
}

void TPanelWnd::PasteInto(KSModul* target) {
  KEnsemble* ens = GetEnsemble();
  if (!target || !ens || !ens->GetFiles() || !dirs::Clipboard()->Exists()) return;
  // The import records its own single undo step.
  target->GetTop()->DeselectAll();
  ens->GetFiles()->ImportModuleFile(*target, *dirs::Clipboard());
  AddCtrlViews();
  UpdateScrollBars();
  Invalidate();
  SelectionChanged();
}

void TPanelWnd::SaveWindowAs() {
  const bool macro = structure_->IsCategory(kCatMacro) && structure_->GetParent();
  SaveStructureAs(GetEnsemble(), structure_, macro, TStr("Save Window As"));
}

void TPanelWnd::SelectAll() {
  for (KSModul* m : ShownModules(this)) m->Select();
}

void TPanelWnd::SelectionChanged() {
  if (!windows_) return;
  KInstr* instr = nullptr;
  if (IsEnsemblePanel()) instr = structure_->GetTop()->GetSelectedInstrument();
  else instr = structure_->GetOwnInstr() ? structure_->GetOwnInstr() : structure_->GetInstr();
  windows_->ShowInstrument(instr, this);
}

void TPanelWnd::Select(int, int exclusive) {
  if (exclusive) structure_->GetTop()->DeselectAll();
}

void TPanelWnd::SetInsertPosition(int32_t x, int32_t y) {
  const TPnt p = SnapToGrid(TPnt(x, y));
  KSModul* node = structure_->GetPanelNode();
  if (IsEnsemblePanel()) node->SetNextEnsPanelInsertPos(p);
  else node->SetNextInstrPanelInsertPos(p);
}

void TPanelWnd::MouseDown(int32_t x, int32_t y) {
  TVolteonWnd::MouseDown(x, y);
  SetInsertPosition(x, y);
}

void TPanelWnd::RightMouseDown(int32_t x, int32_t y) {
  TVolteonWnd::RightMouseDown(x, y);
  SetInsertPosition(x, y);
}

void TPanelWnd::DoubleClick(int32_t, int32_t) { structure_->OpenStructure(); }

void TPanelWnd::KeyDown(int code) {
  std::vector<KSModul*> list = ShownModules(this);
  int32_t delta = 0;
  switch (code) {
  case kKeyUp: delta = 1; break;
  case kKeyDown: delta = -1; break;
  case kKeyPageUp: delta = 10; break;
  case kKeyPageDown: delta = -10; break;
  case kKeyLeft:
  case kKeyRight: {
    auto it = std::find_if(list.begin(), list.end(), [](KSModul* m) { return m->IsSelected(); });
    if (it == list.end()) return;
    const int32_t n = int32_t(list.size());
    int32_t i = int32_t(it - list.begin());
    i = code == kKeyLeft ? (i == 0 ? n - 1 : i - 1) : (i == n - 1 ? 0 : i + 1);
    structure_->GetTop()->DeselectAll();
    list[size_t(i)]->Select();
    SelectionChanged();
    return;
  }
  default: return;
  }
  for (KSModul* m : list)
    if (m->IsSelected() && m->IsPanelControl()) m->SetControlStep(m->StepControl(delta));
}

KSModul* TPanelWnd::SingleSelectedAudio(bool tapedeckOnly, bool needsAudio) {
  KSModul* m = structure_->GetSingleSelected();
  if (!m || !IsAudioModule(m, tapedeckOnly)) return nullptr;
  if (needsAudio && !(tapedeckOnly ? m->HasAudio2() : m->HasAudio())) return nullptr;
  return m;
}

void TPanelWnd::InsertControl(int32_t id) {
  bool knob = false;
  const TModuleType type = PanelInsertType(id, &knob);
  InsertPanelControl(structure_, type, knob);
}

int TPanelWnd::Command(int32_t id, int mode, int& result) {
  KEnsemble* ens = GetEnsemble();
  auto Answer = [&](int enabled, int checked = 0) {
    result = mode == command_mode::kEnabled ? enabled : mode == command_mode::kChecked ? checked : 0;
    return 1;
  };
  const bool run = mode == command_mode::kRun;
  switch (id) {
  case cmd::kLoadAudio: {
    KSModul* m = SingleSelectedAudio(false, false);
    if (run && m) {
      if (ens && ens->GetFiles()) ens->GetFiles()->GetUndo().SetPendingUndo(UndoKind::kChangeProperties, nullptr, 0);
      m->LoadAudio();
    }
    return Answer(m ? 1 : 0);
  }
  case cmd::kReloadAudio: {
    KSModul* m = SingleSelectedAudio(false, true);
    if (run && m) m->ReloadAudio();
    return Answer(m ? 1 : 0);
  }
  case cmd::kExportAudio:
  case cmd::kOverwriteAudio: {
    KSModul* m = SingleSelectedAudio(true, true);
    if (run && m) {
      if (id == cmd::kExportAudio) m->ExportAudio();
      else m->AudioAction();
    }
    return Answer(m ? 1 : 0);
  }
  case cmd::kSaveWindowAs:
    if (run) SaveWindowAs();
    return Answer(1);
  case cmd::kCut:
    if (run) Cut();
    return Answer(1);
  case cmd::kCopy:
    if (run) Copy();
    return Answer(1);
  case cmd::kPaste:
    if (run) PasteInto(structure_);
    return Answer(dirs::Clipboard()->Exists() ? 1 : 0);
  case cmd::kDelete:
    if (run) DeleteSelected();
    return Answer(1);
  case cmd::kSelectAll:
    if (run) SelectAll();
    return Answer(1);
  case cmd::kStoreSnapshot: {
    // The control box's snapshot button does it, for the instrument it
    // shows: the item is there while the button is.
    DMDIClient* client = GetMDIClient();
    int enabled = 0, hasCheck = 0, checked = 0;
    if (client) client->Query(boxid::kSnapDialog, enabled, hasCheck, checked);
    if (run && enabled) client->Command(boxid::kSnapDialog);
    return Answer(enabled);
  }
  case cmd::kLearn: {
    KInstr* instr = structure_->GetOwnInstr() ? structure_->GetOwnInstr() : structure_->GetInstr();
    if (run && instr) {
      instr->SetControllerMode(!instr->GetControllerMode());
      if (windows_) windows_->ShowInstrument(instr, this);
    }
    return Answer(instr ? 1 : 0, instr && instr->GetControllerMode() ? 1 : 0);
  }
  case cmd::kLock:
    if (run) {
      const bool locked = structure_->IsPanelLocked();
      if (ens) ens->AddUndoStep(locked ? UndoKind::kUnlockPanel : UndoKind::kLockPanel, nullptr);
      structure_->SetPanelLocked(!locked);
      SelectionChanged();
    }
    return Answer(1, structure_->IsPanelLocked() ? 1 : 0);
  case cmd::kProperties:
    // A macro has no instrument of its own: its panel shows the macro's dialog.
    if (run) {
      if (structure_->IsCategory(kCatMacro) && structure_->GetParent())
        panel_dialogs::OpenModuleDialog(structure_);
      else panel_dialogs::OpenInstrumentDialog(structure_);
    }
    return Answer(1);
  case cmd::kGotoStructure:
  case cmd::kGotoCounterpart:
    if (run) structure_->OpenStructure();
    return Answer(1);
  case cmd::kGotoParent:
    if (run && structure_->GetParent()) structure_->GetParent()->OpenPanel(true);
    return Answer(structure_->GetParent() ? 1 : 0);
  default: break;
  }
  if (id >= cmd::kInsertControlFirst && id <= cmd::kInsertControlLast) {
    const TModuleType type = PanelInsertType(id);
    if (type.category == 0 && type.type == 0) return 0;
    if (run) InsertControl(id);
    return Answer(1);
  }
  return 0;
}

// ============================================================================
// The window side of the model

TPanelWindows::TPanelWindows(KEnsemble* ensemble) : ensemble_(ensemble), previousHost_(SetPanelHost(this)) {
  RegisterPanelMenus();
}

TPanelWindows::~TPanelWindows() {
  DestructorBody([this] {
    if (ensemble_ && ensemble_->GetTopModule()) ensemble_->GetTopModule()->CloseAllPanels();
    if (ensemble_ && ensemble_->GetWindows() == this) ensemble_->SetWindows(nullptr);
    if (GetPanelHost() == this) SetPanelHost(previousHost_);
    if (open_ > 0)
      if (IViewTicker* t = GetViewTicker()) t->RemoveTimer(&TPanelWindows::Tick, this);
  });
}

IModelWnd* TPanelWindows::CreatePanelWnd(KSModul* module) {
  auto* wnd = new TPanelWnd(module, this);
  if (++open_ == 1)
    if (IViewTicker* t = GetViewTicker()) t->AddTimer(kDisplayPeriodMs, &TPanelWindows::Tick, this);
  return wnd;
}

void TPanelWindows::WindowGone(TPanelWnd*) {
  if (open_ > 0 && --open_ == 0)
    if (IViewTicker* t = GetViewTicker()) t->RemoveTimer(&TPanelWindows::Tick, this);
}

int TPanelWindows::Tick(void* data) {
  auto* self = static_cast<TPanelWindows*>(data);
  if (!self->displaysElsewhere_) self->RunDisplays();
  if (self->ensemble_) self->ensemble_->ShowMarkedControls();
  return 1;
}

void TPanelWindows::RunDisplays() {
  IAudioInOut* audio = ensemble_ ? ensemble_->GetAudio() : nullptr;
  if (!audio) return;
  TUpdateBracket bracket;
  const int32_t n = audio->GetDisplayRoutineCount();
  TRecordRoutine* routines = audio->GetDisplayRoutines();
  TEngineRecord** args = audio->GetDisplayArgs();
  for (int32_t i = 0; i < n; ++i)
    if (routines[i]) routines[i](args[i]);
}

void TPanelWindows::ShowWnd(IModelWnd* wnd) {
  if (auto* w = dynamic_cast<TPanelWnd*>(wnd)) {
    w->Create();
    w->AddKeyCommands();
  }
}

void TPanelWindows::BringToFront(IModelWnd* wnd) {
  if (auto* w = dynamic_cast<TPanelWnd*>(wnd)) w->BringToTop();
}

void TPanelWindows::CloseWnd(IModelWnd* wnd) {
  auto* w = dynamic_cast<TPanelWnd*>(wnd);
  if (!w) return;
  w->SetClosedByModel();
  TUpdateBracket bracket;
  delete w;
}

void TPanelWindows::RefreshWnd(IModelWnd* wnd) {
  // New controls appear, hidden ones are gone already, the rest take their
  // places from the model.
  if (auto* w = dynamic_cast<TPanelWnd*>(wnd)) {
    TUpdateBracket bracket;
    w->AddCtrlViews();
  }
}

void TPanelWindows::RedrawWnd(IModelWnd* wnd) {
  if (auto* w = dynamic_cast<TPanelWnd*>(wnd)) w->Invalidate();
}

void TPanelWindows::RebuildCtrlViews(IModelWnd* panelWnd) {
  if (auto* w = dynamic_cast<TPanelWnd*>(panelWnd)) w->AddCtrlViews();
}

IModelView* TPanelWindows::CreateCtrlView(IModelWnd* panelWnd, KSModul* module, int32_t kind) {
  auto* w = dynamic_cast<TPanelWnd*>(panelWnd);
  if (!w || !module) return nullptr;
  return ::CreateCtrlView(w, module, kind);
}

static TCtrlView* AsCtrl(IModelView* view) { return dynamic_cast<TCtrlView*>(view); }

namespace {

bool HasControl(const KSModul* m) {
  const KModulDef* def = m->GetTypeDef();
  return def && def->panelView != kViewNone && !m->IsMacroOrInstrument();
}

// The size of a control's view, laid out on its own.
TPnt ControlSize(KSModul* m) {
  std::unique_ptr<TCtrlView> probe(::CreateCtrlView(nullptr, m, m->GetTypeDef()->panelView));
  return probe ? probe->LaidOutSize() : TPnt(0, 0);
}

// How many frames enclose the control on the panel: macros (and, on the
// ensemble panel, instruments) between it and the panel's structure.
int32_t FramesAround(const KSModul* m, const KSModul* panelNode, bool ensemble) {
  int32_t n = 0;
  for (const KSModul* p = m->GetParent(); p; p = p->GetParent()) {
    if (!ensemble && p == panelNode) break;
    if (p->IsCategory(kCatInstrument)) {
      if (!ensemble) break;
      ++n;
    } else if (p->IsCategory(kCatMacro) && (ensemble ? p->IsVisibleInEns() : p->IsVisibleInInstr())) {
      ++n;
    }
  }
  return n;
}

} // namespace

void TPanelWindows::MakeRoomFor(KSModul* module) {
  if (!module || !module->GetParent() || !HasControl(module)) return;
  KSModul* panelNode = module->GetParent()->GetPanelNode();
  for (bool ensemble : {false, true}) {
    if (ensemble ? !module->IsVisibleInEns() : !module->IsVisibleInInstr()) continue;
    KSModul* owner = ensemble ? module->GetTop() : panelNode;
    // The controls of the same panel, where they are stored, each with the
    // frames around it.
    std::vector<KSModul*> others;
    if (ensemble) {
      owner->Walk([&](KSModul* m) {
        if (m != module && HasControl(m) && m->IsVisibleInEns()) others.push_back(m);
      });
    } else {
      for (int32_t i = 0; i < owner->GetPanelModuleCount(); ++i)
        if (KSModul* m = owner->GetPanelModule(i); m && m != module && HasControl(m) && m->IsVisibleInInstr())
          others.push_back(m);
    }
    std::vector<TArea> taken;
    for (KSModul* m : others) {
      const TPnt at = ensemble ? m->GetEnsCtrlPos() : m->GetInstrCtrlPos();
      const TPnt size = ControlSize(m);
      const int32_t f = FramesAround(m, panelNode, ensemble);
      taken.emplace_back(at.X() - f * TFrameView::kMarginLeft, at.Y() - f * TFrameView::kMarginTop,
                         at.X() + size.X() + f * TFrameView::kMarginLeft,
                         at.Y() + size.Y() + f * TFrameView::kMarginLeft);
    }
    const int32_t frames = FramesAround(module, panelNode, ensemble);
    const TPnt least(frames * TFrameView::kMarginLeft, frames * TFrameView::kMarginTop);
    auto* wnd = dynamic_cast<TPanelWnd*>(owner->GetPanelWnd());
    TArea visible = VisibleCanvas(wnd);
    if (!wnd) {
      const TArea stored = owner->GetPanelWndArea();
      if (stored.Width() > 0 && stored.Height() > 0) visible = TArea(0, 0, stored.Width(), stored.Height());
    }
    const TPnt at = ensemble ? module->GetEnsCtrlPos() : module->GetInstrCtrlPos();
    const TPnt p = FindFreeSpot(at, ControlSize(module), taken, visible, least, TVolteonWnd::kGridStep);
    if (p == at) continue;
    if (ensemble) module->SetEnsCtrlPos(p);
    else module->SetInstrCtrlPos(p);
    if (TCtrlView* v = AsCtrl(ensemble ? module->GetEnsCtrlView() : module->GetInstrCtrlView())) {
      v->Place();
      if (auto* w = dynamic_cast<TPanelWnd*>(v->GetParent())) {
        w->UpdateScrollBars();
        w->Invalidate();
      }
    }
  }
}

void TPanelWindows::ShowCtrlView(IModelView* view) {
  if (TCtrlView* v = AsCtrl(view)) v->Place();
}

void TPanelWindows::PlaceCtrlView(IModelView* view) {
  if (TCtrlView* v = AsCtrl(view)) v->Place();
}

void TPanelWindows::RebuildCtrlView(IModelView* view) {
  if (TCtrlView* v = AsCtrl(view)) v->Rebuild();
}

void TPanelWindows::UpdateCtrlView(IModelView* view) {
  if (TCtrlView* v = AsCtrl(view)) v->RequestValueUpdate();
}

bool TPanelWindows::IsCtrlViewVisible(IModelView* view) {
  TCtrlView* v = AsCtrl(view);
  return v && v->IsVisible();
}

void TPanelWindows::DestroyCtrlView(IModelView* view) {
  TCtrlView* v = AsCtrl(view);
  if (!v) return;
  TUpdateBracket bracket;
  KSModul* module = v->GetModule();
  TPanelWnd* wnd = dynamic_cast<TPanelWnd*>(v->GetParent());
  if (TTView* parent = v->GetParent()) parent->Invalidate();
  delete v;
  // The frames around the control take their contents' bounds again.
  if (wnd && !wnd->IsClosing()) module->UpdateCtrlViews();
}

void TPanelWindows::RefreshControlViews(IEngineModule* module) {
  KSModul* m = KSModul::Of(module);
  if (TCtrlView* v = AsCtrl(m->GetInstrCtrlView())) v->RequestValueUpdate();
  if (TCtrlView* v = AsCtrl(m->GetEnsCtrlView())) v->RequestValueUpdate();
}

bool TPanelWindows::IsGraphMarked(IEngineModule* module) {
  return module->GetCtrlValue() != 0 && module->GetCtrlState() == 0;
}

TGraphColumns TPanelWindows::GetGraphColumns(IEngineModule* module) {
  KSModul* m = KSModul::Of(module);
  const TPnt size = m->GetDisplaySize();
  float* columns = m->GetDisplayBuffer();
  if (!columns || m->GetDisplayBufferSize() < size.X()) return {};
  return {columns, size.X(), size.Y()};
}

void TPanelWindows::ShowInstrument(KInstr* instr, TPanelWnd* wnd) {
  if (showInstrument_) showInstrument_(instr, wnd);
}
