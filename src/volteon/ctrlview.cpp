#include "src/volteon/ctrlview.h"

#include "pc/sky/menu.h"
#include "pc/sky/wnd.h"
#include "src/audio/buffers.h"
#include "src/audio/samplemap.h"
#include "src/base/file.h"
#include "src/engine/graph_render.h"
#include "src/engine/module_types.h"
#include "src/engine/routine_util.h"
#include "src/engine/tables.h"
#include "src/engine/voice_state.h"
#include "src/mod/ensemble.h"
#include "src/mod/ensfile.h"
#include "src/mod/instr.h"
#include "src/mod/modfile.h"
#include "src/mod/modul_def.h"
#include "src/mod/undo.h"
#include "src/volteon/paneldlg.h"
#include "src/volteon/panelpics.h"
#include "src/volteon/commands.h"
#include "src/volteon/pictures.h"
#include "src/volteon/ivolteon.h"

#include <cfloat>
#include <cmath>
#include <iterator>
#include <map>

namespace {

// Drawing resources of every control view: made with the first view and
// kept for the whole run.
struct TLook {
  EPtr<IFnt> normalFont{CreateFnt(TStr("MS Sans Serif"), 8, 6)};
  EPtr<IFnt> smallFont{CreateFnt(TStr("Small Fonts"), 10, 5)};
  EPtr<IFnt> frameFont{CreateFnt(TStr("MS Sans Serif"), 8, 6)};
  EPtr<IColor> selectedLabel{CreateColor(215, 20, 40)};
  EPtr<IColor> darkBlue{CreateColor(30, 50, 120)};
  EPtr<IColor> darkRed{CreateColor(165, 10, 35)};
  EPtr<IColor> lightGreyGreen{CreateColor(200, 215, 201)};
  EPtr<IColor> greyGreen{CreateColor(77, 102, 78)};
  EPtr<IColor> valueBox{CreateColor(50, 50, 50)};
  EPtr<IColor> fillGreen{CreateColor(0, 128, 0)};
  EPtr<IColor> curveGreen{CreateColor(0, 255, 0)};
  EPtr<IColor> zeroGreen{CreateColor(0, 192, 0)};
  EPtr<IColor> grey{CreateColor(128, 128, 128)};
  std::map<int32_t, IBmp*> bitmaps;
  std::map<int32_t, IMenu*> menus;
};

TLook& Look() {
  static TLook* look = new TLook; // never freed: views share it for the whole run
  return *look;
}

// A bitmap resource, loaded on first use and shared.
IBmp* Bitmap(int32_t id) {
  TLook& l = Look();
  auto it = l.bitmaps.find(id);
  if (it != l.bitmaps.end()) return it->second;
  IBmp* bmp = CreateBmp();
  try {
    bmp->LoadResource(id);
  } catch (...) {
    // A missing picture draws nothing; the control still works.
  }
  l.bitmaps[id] = bmp;
  return bmp;
}

IMenu* ContextMenu(int32_t id) {
  TLook& l = Look();
  auto it = l.menus.find(id);
  if (it != l.menus.end()) return it->second;
  RegisterPanelMenus();
  IMenu* menu = CreateMenuObject(id);
  if (id == panel_menu::kCtrlSampler || id == panel_menu::kCtrlTapedeck)
    menu->SetDefaultItem(cmd::kCtrlProperties, menu::kByCommand);
  if (id == panel_menu::kCtrlMacro) menu->SetDefaultItem(cmd::kFrameStructure, menu::kByCommand);
  if (id == panel_menu::kCtrlInstrument) menu->SetDefaultItem(cmd::kFramePanel, menu::kByCommand);
  l.menus[id] = menu;
  return menu;
}


// Heights of the labels.
constexpr int32_t kLabelHeight = 16, kSmallLabelHeight = 10;

constexpr int32_t kKnobStyle = 2;

} // namespace

IBmp* PanelBitmap(int32_t id) { return Bitmap(id); }

void InitCtrlViews() {
  // Drawing the large strips takes a moment: do it before the first panel
  // opens rather than on its first paint.
  for (int32_t id : {picture::kKnobStrip, picture::kKnobSmallStrip, picture::kFaderStrip, picture::kFaderSmallStrip})
    PanelBitmap(id);
}

KSModul* InsertPanelControl(KSModul* into, TModuleType type, bool knob) {
  KSModul* made = into->InsertModule(type, kPlaceNextPanel, true);
  if (made && knob) {
    made->SetLabel(TStr("Knob"));
    made->SetCtrlStyle(kKnobStyle);
  }
  return made;
}

void SaveStructureAs(KEnsemble* ens, KSModul* structure, bool macro, const TStr& title) {
  constexpr int kInstrumentFile = 2, kMacroFile = 3;
  if (!ens || !ens->GetFiles()) return;
  const int type = macro ? kMacroFile : kInstrumentFile;
  EPtr<IFileName> name(CreateFileName());
  name->SetName(structure->GetLabel());
  name->SetType(type);
  if (!name->SaveDialog(title, macro ? dirs::MacroWork() : dirs::InstrWork(), type)) return;
  try {
    KModulFile::SaveModuleFile(*name, *structure, *ens->GetFiles());
  } catch (...) {
    RecordCurrentException();
    ShowLastError();
  }
}

// ============================================================================
// The base

TCtrlView::TCtrlView(ICtrlPanel* wnd, KSModul* module)
    : TVolteonView(wnd ? wnd->GetPanelView() : nullptr, 1, wnd ? wnd->GetEnsemble() : nullptr), module_(module),
      ens_(wnd && wnd->IsEnsemblePanel()) {
  Look();
  int32_t menu = panel_menu::kCtrl;
  if (module->IsTapedeck()) menu = panel_menu::kCtrlTapedeck;
  else if (module->IsSamplerFamily()) menu = panel_menu::kCtrlSampler;
  else if (module->IsCategory(kCatMacro)) menu = panel_menu::kCtrlMacro;
  else if (module->IsCategory(kCatInstrument)) menu = panel_menu::kCtrlInstrument;
  SetContextMenu(ContextMenu(menu));
  font_ = Look().normalFont.Get();
  // Hidden until placed; a view without an area would count as a group
  // that every point hits.
  SetVisible(0);
  SetArea(TArea(0, 0, 10, 10));
}

TCtrlView::~TCtrlView() = default;

ICtrlPanel* TCtrlView::GetPanel() const { return dynamic_cast<ICtrlPanel*>(GetParent()); }

bool TCtrlView::IsOnGuiThread() const {
  KModelHost* host = module_->GetHost();
  return !host || host->IsGuiThread();
}

void TCtrlView::ChooseFont() {
  small_ = module_->IsSmallDesign() ? 1 : 0;
  font_ = small_ && smallFontAllowed_ ? Look().smallFont.Get() : Look().normalFont.Get();
}

void TCtrlView::ApplyFrame(const TPnt& topLeft) {
  title_ = label_ = operating_ = value_ = drawn_ = EmptyArea;
  frameW_ = frameH_ = 0;
  layoutOrigin_ = NoPnt;
  Layout();
  const TPnt tl = layoutOrigin_ == NoPnt ? topLeft : layoutOrigin_;
  if (frameW_ > 0 && frameH_ > 0) {
    bool visible;
    if (ens_ && module_->IsCategory(kCatInstrument)) visible = true;
    else visible = ens_ ? module_->IsVisibleInEns() : module_->IsVisibleInInstr();
    SetArea(TArea(tl.X(), tl.Y(), tl.X() + frameW_, tl.Y() + frameH_));
    SetVisible(visible ? 1 : 0);
  } else {
    SetVisible(0);
    SetArea(TArea(0, 0, 10, 10));
  }
  AfterDrag();
}

TPnt TCtrlView::LaidOutSize() {
  title_ = label_ = operating_ = value_ = drawn_ = EmptyArea;
  frameW_ = frameH_ = 0;
  layoutOrigin_ = NoPnt;
  Layout();
  return frameW_ > 0 && frameH_ > 0 ? TPnt(frameW_, frameH_) : TPnt(0, 0);
}

void TCtrlView::Rebuild() { ApplyFrame(GetOrigin()); }

void TCtrlView::Place() { ApplyFrame(ens_ ? module_->GetEnsCtrlPos() : module_->GetInstrCtrlPos()); }

void TCtrlView::RequestValueUpdate() {
  if (!IsVisible()) return;
  if (IsOnGuiThread()) {
    redraws_.fetch_add(1, std::memory_order_relaxed);
    Invalidate();
    return;
  }
  // Another thread: one redraw at most is on its way; the GUI thread clears
  // the flag when it handles it, so a later change sends the next one.
  if (pending_.exchange(1, std::memory_order_acq_rel)) return;
  PostNotify(0);
}

void TCtrlView::Refresh(int) {
  pending_.store(0, std::memory_order_release);
  redraws_.fetch_add(1, std::memory_order_relaxed);
  TUpdateBracket bracket;
  Invalidate();
}

void TCtrlView::Paint(IDrawContext* ctx, const TArea& clip) {
  const TArea whole(0, 0, GetArea().Width(), GetArea().Height());
  shownSelected_ = module_->IsSelected() ? 1 : 0;
  ctx->TileBitmap(whole, Bitmap(picture::kTileGreenGrey));
  if (!label_.IsEmpty()) {
    ctx->SetFont(font_);
    IColor* colour = module_->IsSelected() ? Look().selectedLabel.Get() : StdColor(TStdColor::Black);
    ctx->DrawTextCentred(labelTop_, label_, StdColor(TStdColor::Transparent), colour, module_->GetLabel());
  }
  DrawValue(ctx);
  TTView::Paint(ctx, clip);
}

TArea TCtrlView::DrawValue(IDrawContext* ctx) {
  DrawValueText(ctx);
  return drawn_;
}

void TCtrlView::DrawValueText(IDrawContext* ctx) {
  if (value_.IsEmpty()) return;
  TStr text;
  text.SetReal(module_->GetControlValue(), small_ ? 4 : 5);
  ctx->SetFont(font_);
  ctx->DrawTextCentred(valueTop_, value_, Look().valueBox.Get(), StdColor(TStdColor::White), text);
}

int TCtrlView::GetHint(TStr& text, TArea& area) {
  text = module_->GetHelp();
  area = TArea(0, 0, GetArea().Width(), GetArea().Height());
  return text.IsEmpty() ? 0 : 1;
}

bool TCtrlView::LiesInside(const KSModul* m, const KSModul* f) {
  if (!m || !f || m->IsCategory(kCatInstrument)) return false;
  for (const KSModul* p = m->GetParent(); p; p = p->GetParent()) {
    if (p == f) return true;
    if (!p->IsMacroOrInstrument() || p->IsCategory(kCatInstrument)) return false;
  }
  return false;
}

int TCtrlView::IsSameAs(TVolteonView* view) {
  auto* other = dynamic_cast<TCtrlView*>(view);
  return other && (other->module_ == module_ || LiesInside(other->module_, module_)) ? 1 : 0;
}

int TCtrlView::IsInSelection() {
  const bool shown = ens_ ? module_->IsVisibleInEns() || module_->IsCategory(kCatInstrument)
                          : module_->IsVisibleInInstr();
  return shown && module_->IsSelectedInPanel(ens_) ? 1 : 0;
}

int TCtrlView::IsFixed() {
  KInstr* instr = module_->GetOwnerInstr();
  KSModul* owner = instr ? instr->GetOwner() : nullptr;
  if (!owner) owner = module_->GetTop();
  return owner && owner->IsPanelLocked() ? 1 : 0;
}

void TCtrlView::Select(int on, int exclusive) {
  if (exclusive) module_->GetTop()->DeselectAll();
  if (on) module_->Select();
  else module_->Deselect();
  MarkToFront();
  if (ICtrlPanel* wnd = GetPanel())
    wnd->VisitCtrlViews([this](TCtrlView* v) {
      if (LiesInside(v->module_, module_)) v->MarkToFront();
    });
}

void TCtrlView::DragTo(const TPnt& p) {
  if (ens_) module_->SetEnsCtrlPos(p);
  else module_->SetInstrCtrlPos(p);
  MoveTo(p);
}

void TCtrlView::AfterDrag() { module_->UpdateCtrlViews(); }

void TCtrlView::AddUndoMerged(UndoKind kind, const void* object, int32_t value) {
  KEnsemble* ens = GetEnsemble();
  if (ens && ens->GetFiles()) ens->GetFiles()->GetUndo().AddUndoStepMerged(kind, object, value);
}

// ---------------------------------------------------------------- mouse

void TCtrlView::DoubleClick(int32_t x, int32_t y) {
  if (doubleClickOperates_ && operating_.Contains(TPnt(x, y))) {
    OwnMouseDown(x, y);
    InvalidateArea(operating_);
    InvalidateArea(value_);
    OwnMouseUp(x, y);
    return;
  }
  DoubleClickAction();
}

void TCtrlView::OpenProperties() {
  if (module_->IsCategory(kCatInstrument)) panel_dialogs::OpenInstrumentDialog(module_);
  else panel_dialogs::OpenModuleDialog(module_);
}

// ---------------------------------------------------------------- commands

int TCtrlView::Command(int32_t id, int mode, int& result) {
  const bool run = mode == command_mode::kRun, asksEnabled = mode == command_mode::kEnabled,
             asksChecked = mode == command_mode::kChecked;
  KEnsemble* ens = GetEnsemble();
  auto record = [ens](UndoKind kind) {
    if (ens) ens->AddUndoStep(kind, nullptr);
  };
  switch (id) {
  case cmd::kCtrlProperties:
    if (run) OpenProperties();
    result = asksEnabled ? 1 : 0;
    return 1;
  case cmd::kCtrlLoadAudio:
    if (run) {
      if (ens && ens->GetFiles()) ens->GetFiles()->GetUndo().SetPendingUndo(UndoKind::kChangeProperties, nullptr, 0);
      module_->LoadAudio();
    }
    result = asksEnabled ? 1 : 0;
    return 1;
  case cmd::kCtrlReloadAudio:
    if (run) module_->ReloadAudio();
    result = asksEnabled ? (module_->HasAudio() ? 1 : 0) : 0;
    return 1;
  case cmd::kCtrlExportAudio:
  case cmd::kCtrlOverwriteAudio:
    result = 0;
    return 1;
  case cmd::kFramePaste:
    if (!module_->IsMacroOrInstrument()) return 0;
    if (run)
      if (ICtrlPanel* wnd = GetPanel()) wnd->PasteInto(module_);
    result = asksEnabled ? (dirs::Clipboard()->Exists() ? 1 : 0) : 0;
    return 1;
  case cmd::kFrameSaveAs:
    if (!module_->IsMacroOrInstrument()) return 0;
    if (run) SaveStructureAs(GetEnsemble(), module_, module_->IsCategory(kCatMacro), TStr("Save As"));
    result = asksEnabled ? 1 : 0;
    return 1;
  case cmd::kFrameStructure:
    if (run) module_->OpenStructure();
    result = asksEnabled ? 1 : 0;
    return 1;
  case cmd::kFramePanel:
    if (run) module_->OpenPanel(true);
    result = asksEnabled ? 1 : 0;
    return 1;
  case cmd::kFrameMute:
    if (run) {
      if (module_->IsMuted()) {
        record(UndoKind::kUnmuteModules);
        module_->Unmute();
      } else {
        record(UndoKind::kMuteModules);
        module_->Mute();
      }
    }
    result = asksEnabled ? 1 : asksChecked ? (module_->IsMuted() ? 1 : 0) : 0;
    return 1;
  case cmd::kFrameSolo:
    if (run) {
      if (module_->IsSolo()) {
        record(UndoKind::kUnsoloModule);
        module_->Unsolo();
      } else {
        record(UndoKind::kSoloModule);
        module_->Solo();
      }
    }
    result = asksEnabled ? 1 : asksChecked ? (module_->IsSolo() ? 1 : 0) : 0;
    return 1;
  default: break;
  }
  if (id >= cmd::kFrameInsertFirst && id <= cmd::kFrameInsertLast) {
    bool knob = false;
    const TModuleType type = PanelInsertType(id - cmd::kFrameInsertOffset, &knob);
    if (type.category == 0 && type.type == 0) return 0;
    if (run) InsertPanelControl(module_, type, knob);
    result = asksEnabled ? 1 : 0;
    return 1;
  }
  return 0;
}

// ============================================================================
// Faders and knobs

TFaderView::TFaderView(ICtrlPanel* wnd, KSModul* module) : TCtrlView(wnd, module) {}

namespace {
// Where the parts of a fader or knob lie. Parts below the label move down by
// one text line when the label is shown; the frame grows by one text line
// when the value is shown.
struct TFaderLook {
  int32_t strip;
  int32_t width;
  TArea label;            // its top is also where its text starts
  TArea operating;        // below the label
  TPnt picture;           // the strip's frame, below the label
  TArea value;            // below the label
  int32_t height;         // of the frame, below the label, without the value line
};
// By size (normal, small), then fader or knob.
const TFaderLook kFaderLooks[2][2] = {
    {{picture::kFaderStrip, 48, TArea(0, 3, 48, 16), TArea(4, 4, 44, 104), TPnt(4, 4), TArea(4, 111, 44, 124), 112},
     {picture::kKnobStrip, 48, TArea(0, 3, 48, 16), TArea(5, 2, 42, 37), TPnt(5, 1), TArea(4, 39, 44, 52), 40}},
    {{picture::kFaderSmallStrip, 24, TArea(0, 1, 24, 10), TArea(1, 1, 23, 51), TPnt(1, 1), TArea(1, 52, 23, 61), 52},
     {picture::kKnobSmallStrip, 24, TArea(0, 1, 24, 10), TArea(1, 1, 23, 22), TPnt(2, 1), TArea(1, 22, 23, 31), 22}},
};
TArea Below(TArea a, int32_t dy) { return a += TPnt(0, dy); }
} // namespace

void TFaderView::Layout() {
  TCtrlView::Layout();
  const TFaderLook& look = kFaderLooks[small_ ? 1 : 0][IsKnob() ? 1 : 0];
  strip_ = Bitmap(look.strip);
  // The label and the value line are one text line high.
  const int32_t line = small_ ? kSmallLabelHeight : kLabelHeight;
  int32_t h = 0;
  if (module_->IsLabelShown()) {
    label_ = look.label;
    labelTop_ = look.label.Top();
    h = line;
  }
  title_ = label_;
  operating_ = Below(look.operating, h);
  frameDest_ = TArea(look.picture.X(), look.picture.Y() + h, look.picture.X(), look.picture.Y() + h);
  if (module_->IsValueShown()) {
    value_ = Below(look.value, h);
    valueTop_ = value_.Top();
    h += line;
  }
  SetFrameSize(look.width, h + look.height);
  drawn_ = TArea::Union(operating_, value_);
  frameWidth_ = strip_ ? strip_->GetWidth() / picture::kStripFrames : 0;
  frameDest_.SetWidth(frameWidth_);
  frameDest_.SetHeight(strip_ ? strip_->GetHeight() : 0);
  shownStep_ = -1;
}

int32_t TFaderView::FrameOfStep(const KSModul* m, int32_t step, int32_t* shown) {
  const int32_t lower = m->GetMidiLower(), upper = m->GetMidiUpper();
  if (upper <= lower) return -1;
  int32_t i = std::clamp(step, lower, upper);
  // A run of equal values shows its first step; the walk never leaves the
  // control's range, so the frame is never below 0.
  while (i > lower && m->GetTableValue(i) == m->GetTableValue(i - 1)) --i;
  if (shown) *shown = i;
  return ((i - lower) * (picture::kStripFrames - 1)) / (upper - lower);
}

TArea TFaderView::DrawValue(IDrawContext* ctx) {
  int32_t shown = -1;
  const int32_t frame = FrameOfStep(module_, module_->GetControlStep(), &shown);
  if (frame >= 0) {
    shownStep_ = shown;
    if (strip_ && frameWidth_ > 0) ctx->BlitBitmap(strip_, frame * frameWidth_, 0, frameDest_);
  }
  DrawValueText(ctx);
  return drawn_;
}

void TFaderView::OwnMouseDown(int32_t, int32_t y) { anchor_ = module_->GetControlStep() + y; }

void TFaderView::OwnMouseMove(int32_t, int32_t y) {
  AddUndoMerged(UndoKind::kChangeControls, module_, module_->GetControlStep());
  const int32_t target = std::clamp(anchor_ - y, module_->GetMidiLower(), module_->GetMidiUpper());
  if (target != shownStep_) module_->SetControlStep(target);
}

// ============================================================================
// Buttons

TButtonView::TButtonView(ICtrlPanel* wnd, KSModul* module) : TCtrlView(wnd, module) {
  doubleClickOperates_ = 1;
  for (int32_t k = 0; k < 2 * picture::kButtonSmallOffset; ++k) Bitmap(picture::kButtonUpLit + k);
}

void TButtonView::Layout() {
  TCtrlView::Layout();
  int32_t h = 0;
  if (!small_) {
    if (module_->IsLabelShown()) {
      label_ = TArea(0, 3, 48, 16);
      labelTop_ = 3;
      h = kLabelHeight;
    }
    operating_ = TArea(5, h + 1, 42, h + 17);
    bitmapPos_ = TPnt(6, h + 2);
    int32_t height = h + 20;
    if (module_->IsValueShown()) {
      value_ = TArea(4, h + 19, 44, h + 32);
      valueTop_ = h + 19;
      height += 16;
    }
    SetFrameSize(48, height);
  } else {
    if (module_->IsLabelShown()) {
      label_ = TArea(0, 1, 24, 10);
      labelTop_ = 1;
      h = kSmallLabelHeight;
    }
    operating_ = TArea(1, h + 1, 23, h + 10);
    bitmapPos_ = TPnt(2, h + 2);
    int32_t height = h + 12;
    if (module_->IsValueShown()) {
      value_ = TArea(1, h + 12, 23, h + 21);
      valueTop_ = h + 12;
      height += 10;
    }
    SetFrameSize(24, height);
  }
  title_ = label_;
  drawn_ = TArea::Union(operating_, value_);
}

int32_t TButtonView::PictureOf(int32_t mode, int32_t s, bool pressed) {
  using namespace picture;
  switch (mode) {
  case kButtonTrigger: return pressed ? kButtonDownLit : kButtonUpDark;
  case kButtonGate: return s < 64 && !pressed ? kButtonUpDark : kButtonDownLit;
  default: // a toggle
    if (s < 64) return pressed ? kButtonDownDark : kButtonUpDark;
    return pressed ? kButtonDownLit : kButtonUpLit;
  }
}

TArea TButtonView::DrawValue(IDrawContext* ctx) {
  int32_t id = PictureOf(module_->GetCtrlStyle(), module_->GetControlStep(), pressed_ != 0);
  if (small_) id += picture::kButtonSmallOffset;
  ctx->DrawBitmap(Bitmap(id), bitmapPos_);
  DrawValueText(ctx);
  return drawn_;
}

void TButtonView::OwnMouseDown(int32_t, int32_t) {
  pressed_ = 1;
  module_->SetControlStep(64);
  RequestValueUpdate();
}

void TButtonView::OwnMouseUp(int32_t, int32_t) {
  pressed_ = 0;
  module_->SetControlStep(0);
  RequestValueUpdate();
}

// ============================================================================
// Switches

TSwitchView::TSwitchView(ICtrlPanel* wnd, KSModul* module) : TCtrlView(wnd, module) {
  doubleClickOperates_ = 1;
  for (int32_t id = picture::kSwitchFirst; id <= picture::kSwitchLast; ++id) Bitmap(id);
  nameFont_ = Look().frameFont.Get();
}

void TSwitchView::Layout() {
  TCtrlView::Layout();
  rows_ = std::max(1, module_->GetInPortCount());
  if (module_->IsType(kTypeSwitch2x2)) rows_ = 2;
  if (small_ && rows_ == 2) rows_ = 1;
  const int32_t h = module_->IsLabelShown() ? kLabelHeight : 0;
  if (!small_) {
    if (h) label_ = TArea(0, 3, 48, 16);
    operating_ = TArea(26, h + 3, 47, h + 4 + 16 * rows_);
    bitmapPos_ = TPnt(27, h + 4);
    SetFrameSize(48, h + 8 + 16 * rows_);
  } else {
    if (h) label_ = TArea(0, 3, 24, 16);
    operating_ = TArea(2, h + 3, 23, h + 4 + 16 * rows_);
    bitmapPos_ = TPnt(3, h + 4);
    SetFrameSize(24, h + 8 + 16 * rows_);
  }
  labelTop_ = 3;
  title_ = label_;
  nameArea_ = TArea(4, h + 5, 25, h + 21);
  drawn_ = operating_;
}

int32_t TSwitchView::PictureOfRow(int32_t r, int32_t step) const {
  using namespace picture;
  const bool oneRowPair = small_ && rows_ == 1 &&
                          (module_->IsTypeIndex(kTypeSwitch2x2.type) || module_->IsTypeIndex(1) ||
                           module_->IsTypeIndex(7));
  if (oneRowPair) return step == 0 ? kSwitchBottomUnselected : kSwitchBottomSelected;
  const bool selected = r == rows_ - 1 - step;
  const bool bottom = r == rows_ - 1;
  if (bottom) return selected ? kSwitchBottomSelected : kSwitchBottomUnselected;
  return selected ? kSwitchRowSelected : kSwitchRowUnselected;
}

TArea TSwitchView::DrawValue(IDrawContext* ctx) {
  const int32_t step = module_->GetControlStep();
  for (int32_t r = 0; r < rows_; ++r)
    ctx->DrawBitmap(Bitmap(PictureOfRow(r, step)), TPnt(bitmapPos_.X(), bitmapPos_.Y() + 16 * r));
  return drawn_;
}

void TSwitchView::Paint(IDrawContext* ctx, const TArea& clip) {
  TCtrlView::Paint(ctx, clip);
  if (!small_) {
    ctx->SetFont(nameFont_);
    for (int32_t r = 0; r < rows_; ++r) {
      KInPort* port = module_->GetInPort(r);
      if (!port) continue;
      TArea a = nameArea_;
      a.MoveV(16 * r);
      ctx->DrawTextLeft(TPnt(a.Left(), a.Top()), a, StdColor(TStdColor::Transparent), StdColor(TStdColor::Black),
                        port->GetLabel());
    }
  }
}

void TSwitchView::OwnMouseDown(int32_t x, int32_t y) {
  lastPress_ = TPnt(x, y);
  const int32_t step = module_->GetControlStep();
  AddUndoMerged(UndoKind::kChangeControls, module_, step);
  if (rows_ == 1) {
    module_->SetControlStep(step == 0 ? 1 : 0);
    return;
  }
  const int32_t row = std::clamp((operating_.Bottom() - y) / 16, 0, rows_ - 1);
  if (row != step) module_->SetControlStep(row);
}

void TSwitchView::OpenProperties() {
  const TPnt p = GetMousePos();
  for (int32_t r = 0; r < rows_; ++r) {
    TArea a = nameArea_;
    a.MoveV(16 * r);
    if (a.Contains(p) && module_->GetInPort(r)) {
      panel_dialogs::OpenPortDialog(module_->GetInPort(r));
      return;
    }
  }
  TCtrlView::OpenProperties();
}

// ============================================================================
// Lamps

TLampView::TLampView(ICtrlPanel* wnd, KSModul* module) : TCtrlView(wnd, module) {
  for (int32_t k = 0; k < 2 * picture::kLampColours; ++k) Bitmap(picture::kLampFirst + k);
}

void TLampView::Layout() {
  TCtrlView::Layout();
  const int32_t h = module_->IsLabelShown() ? (small_ ? kSmallLabelHeight : kLabelHeight) : 0;
  if (h) label_ = TArea(0, 3, 24, 16);
  labelTop_ = 3;
  title_ = label_;
  operating_ = TArea(4, h + 1, 18, h + 17);
  bitmapPos_ = TPnt(6, h + 2);
  drawn_ = operating_;
  SetFrameSize(24, h + 20);
}

int32_t TLampView::PictureOf(int32_t colourStyle, bool lit) {
  constexpr int32_t kFirstColourStyle = 300;
  const int32_t c = std::clamp(colourStyle - kFirstColourStyle, 0, picture::kLampColours - 1);
  return picture::kLampFirst + c + (lit ? picture::kLampOnOffset : 0);
}

// Lamps and level lamps keep their lit state in the same word.
static_assert(QV_WORD_AT(LevelLampState, lit) == QV_WORD_AT(LampState, lit), "one lit word");

void TLampView::RequestValueUpdate() {
  if (!IsVisible()) return;
  if (const TEngineRecord* r = module_->GetEngineRecord(); r && r->state && r->voices > 0 && r->stateWords > 0)
    lit_.store(routines::LoadShared(r->state[0][QV_WORD_AT(LampState, lit)].i) != 0 ? 1 : 0, std::memory_order_relaxed);
  TCtrlView::RequestValueUpdate();
}

TArea TLampView::DrawValue(IDrawContext* ctx) {
  ctx->DrawBitmap(Bitmap(PictureOf(module_->GetCtrlStyle(), IsLit())), bitmapPos_);
  return drawn_;
}

// ============================================================================
// Meters

namespace {
// Segment tables, bottom segment first.
int32_t MeterPicture(bool level, int32_t k, bool on) {
  using namespace picture;
  if (!level) return on ? kMeterAmberOn : kMeterAmberOff;
  if (k <= 10) return on ? kMeterGreenOn : kMeterGreenOff;
  if (k <= 15) return on ? kMeterYellowOn : kMeterYellowOff;
  return on ? kMeterRedOn : kMeterRedOff;
}
} // namespace

TMeterView::TMeterView(ICtrlPanel* wnd, KSModul* module) : TCtrlView(wnd, module) {
  for (int32_t k = 0; k < 8; ++k) Bitmap(picture::kMeterFirst + k);
}

void TMeterView::Layout() {
  TCtrlView::Layout();
  const int32_t h = module_->IsLabelShown() ? (small_ ? kSmallLabelHeight : kLabelHeight) : 0;
  if (h) label_ = TArea(0, 3, 24, 16);
  labelTop_ = 3;
  title_ = label_;
  // A shown value moves the bar down; the meter writes no value text.
  const int32_t hb = h + (module_->IsValueShown() ? 10 : 0);
  operating_ = TArea(4, hb + 1, 18, hb + 88);
  segmentPos_ = TPnt(6, hb + 2);
  drawn_ = operating_;
  SetFrameSize(24, hb + 88);
  const float lo = module_->GetMinimum(), hi = module_->GetMaximum();
  for (int32_t k = 0; k < kSegments; ++k) {
    const float t = lo + (float(k) / float(kSegments)) * (hi - lo);
    // A level meter's range is in decibels: the engine's one conversion
    // (an amplitude, 20 log10) turns it into the amplitude it compares with.
    thresholds_[k] = IsLevelMeter() ? DecibelsToGain(t) : t;
  }
  drawn_count_ = -1;
}

int32_t TMeterView::CountOf(float level) const {
  if (!(level == level)) return 0; // not a number: nothing lit
  for (int32_t k = 0; k < kSegments; ++k)
    if (level <= thresholds_[k]) return k;
  return kSegments;
}

void TMeterView::RequestValueUpdate() {
  if (!IsVisible()) return;
  const TEngineRecord* r = module_->GetEngineRecord();
  if (!r || !r->state || r->voices <= 0 || r->stateWords <= QV_WORD_AT(MeterState, value)) {
    if (SelectionShownChanged()) TCtrlView::RequestValueUpdate();
    return;
  }
  float level = routines::LoadShared(r->state[0][QV_WORD_AT(MeterState, value)].f);
  // The level meter holds the peak power: its amplitude is the root.
  if (IsLevelMeter()) level = level > 0.0f ? std::sqrt(level) : 0.0f;
  const int32_t count = CountOf(level);
  if (count_.exchange(count, std::memory_order_relaxed) == count && drawn_count_ == count && !SelectionShownChanged())
    return;
  TCtrlView::RequestValueUpdate();
}

TArea TMeterView::DrawValue(IDrawContext* ctx) {
  const int32_t count = GetCount();
  const bool level = IsLevelMeter();
  for (int32_t k = 0; k < kSegments; ++k)
    ctx->DrawBitmap(Bitmap(MeterPicture(level, k, k < count)),
                    TPnt(segmentPos_.X(), segmentPos_.Y() + (kSegments - k) * picture::kMeterHeight - picture::kMeterHeight));
  drawn_count_ = count;
  return drawn_;
}

// ============================================================================
// Graphs

TGraphView::TGraphView(ICtrlPanel* wnd, KSModul* module) : TCtrlView(wnd, module) {}

void TGraphView::Layout() {
  TCtrlView::Layout();
  const TPnt size = module_->GetDisplaySize();
  const int32_t w = std::max(0, size.X()), h = std::max(0, size.Y());
  int32_t l = 0;
  if (module_->IsLabelShown()) {
    label_ = TArea(4, 3, w + 4, 16);
    labelTop_ = 3;
    l = kLabelHeight;
  }
  title_ = label_;
  operating_ = TArea(4, l + 4, w + 4, l + 4 + h);
  drawn_ = TArea(3, l + 3, w + 5, l + 5 + h);
  SetFrameSize(w + 8, l + h + 8);
}

void TGraphView::RequestValueUpdate() {
  if (IsVisible()) {
    module_->SetCtrlValue(0);
    TCtrlView::RequestValueUpdate();
  }
  if (!IsOnGuiThread()) return; // the curve is made on the GUI thread only
  TEngineRecord* r = module_->GetEngineRecord();
  if (!r) {
    module_->ClearDisplayBuffer();
    return;
  }
  IModelView* instrView = module_->GetInstrCtrlView();
  if (instrView && instrView != static_cast<IModelView*>(this)) {
    auto* v = dynamic_cast<TCtrlView*>(instrView);
    if (v && v->IsVisible()) return; // the instrument panel's view makes the curve
  }
  float* columns = module_->GetDisplayBuffer();
  const TPnt size = module_->GetDisplaySize();
  if (!columns || !RenderGraph(module_->GetTypeIndex(), r, columns, size.X(), size.Y()))
    module_->ClearDisplayBuffer();
}

int32_t TGraphView::ColumnRuns(float v, float p, int32_t T, int32_t B, bool scope, TRun runs[4]) {
  const int32_t H = B - T; // operating height - 1
  int32_t n = 0;
  const TPiece fill = scope ? kBackground : kFill;
  auto Truncated = [](float x) -> int64_t {
    // Huge values and NaN become far outside the column, never undefined.
    const double d = double(x) + 0.5;
    if (!(d == d)) return INT32_MIN;
    if (d >= 2147483647.0) return INT32_MAX;
    if (d <= -2147483648.0) return INT32_MIN;
    return int64_t(d);
  };
  if (v == FLT_MAX || !(v == v)) {
    runs[n++] = {kBackground, T};
    return n;
  }
  int64_t a = Truncated(v), b = Truncated(p);
  if (a < 0 && b < 0) {
    runs[n++] = {kBackground, T};
  } else if (a > H && b > H) {
    runs[n++] = {fill, T};
  } else if (b < a) {
    if (b < 0) b = -1;
    if (a > H) a = H;
    runs[n++] = {fill, int32_t(B - b - 1)};
    runs[n++] = {kCurve, int32_t(B - a - 1)};
    runs[n++] = {kBackground, T};
  } else if (a < b) {
    if (a < 0) a = 0;
    if (b > H) b = H + 1;
    runs[n++] = {fill, int32_t(B - a)};
    runs[n++] = {kCurve, int32_t(B - b)};
    runs[n++] = {kBackground, T};
  } else {
    runs[n++] = {fill, int32_t(B - a)};
    runs[n++] = {kCurve, int32_t(B - a - 1)};
    runs[n++] = {kBackground, T};
  }
  return n;
}

TArea TGraphView::DrawValue(IDrawContext* ctx) {
  TLook& l = Look();
  const TPnt size = module_->GetDisplaySize();
  const float* buffer = module_->GetDisplayBufferSize() >= size.X() ? module_->GetDisplayBuffer() : nullptr;
  const int32_t T = operating_.Top() - 1, B = operating_.Bottom() - 1, H = operating_.Height() - 1;
  const TEngineRecord* record = module_->GetEngineRecord();
  const bool scope = module_->IsType(kTypeScope) && record;
  IColor* colours[4] = {l.greyGreen.Get(), l.fillGreen.Get(), l.curveGreen.Get(), l.zeroGreen.Get()};
  int32_t zero = INT32_MIN;
  if (scope && record->state && record->voices > 0 && record->stateWords > 0) {
    const auto* state = record->state.Record<const ScopeVoiceState>(0);
    const float s = size_t(record->stateWords) * sizeof(TWord) >= sizeof(ScopeVoiceState)
                        ? routines::LoadShared(state->offset)
                        : 0.0f;
    const double z = (1.0 - double(s)) * double(H) * 0.5 + 0.5;
    if (z == z && std::fabs(z) < 1e6) zero = T + int32_t(z);
  }
  for (int32_t x = 0; x < operating_.Width(); ++x) {
    const int32_t column = operating_.Left() + x;
    const float v = buffer ? buffer[x] : FLT_MAX;
    float p = x > 0 && buffer ? buffer[x - 1] : v;
    if (p == FLT_MAX) p = v;
    TRun runs[4];
    const int32_t n = ColumnRuns(v, p, T, B, scope, runs);
    ctx->MoveTo(TPnt(column, B));
    int32_t y = B;
    for (int32_t i = 0; i < n; ++i) {
      // Each piece runs upwards and ends just before its y; pieces that
      // would run downwards are empty.
      const int32_t to = std::clamp(runs[i].toY, T, B);
      if (to < y) {
        ctx->LineTo(TPnt(column, to), colours[runs[i].piece]);
        y = to;
      }
    }
    if (y > T) ctx->LineTo(TPnt(column, T), colours[kBackground]);
    if (zero != INT32_MIN && column % 4 == 0 && zero + 1 >= T && zero + 1 <= B) {
      ctx->MoveTo(TPnt(column, zero + 1));
      ctx->LineTo(TPnt(column, zero + 2), colours[kZeroLine]);
    }
  }
  // The black outline.
  IColor* black = StdColor(TStdColor::Black);
  const TArea& o = operating_;
  ctx->MoveTo(TPnt(o.Left() - 1, o.Top() - 1));
  ctx->LineTo(TPnt(o.Left() - 1, o.Bottom()), black);
  ctx->LineTo(TPnt(o.Right(), o.Bottom()), black);
  ctx->LineTo(TPnt(o.Right(), o.Top() - 1), black);
  ctx->LineTo(TPnt(o.Left() - 1, o.Top() - 1), black);
  return drawn_;
}

// ============================================================================
// File views

TFileView::TFileView(ICtrlPanel* wnd, KSModul* module) : TCtrlView(wnd, module) {}

TStr TFileView::SoundFileName(const KSModul* m) {
  // Each kind reads the object it owns: a tape deck its recording, a
  // sampler its sample map.
  if (m->IsTapedeck()) {
    IRecordBuffer* record = m->GetRecordBuffer();
    if (record && record->HasFileName() && record->GetFileName()) return record->GetFileName()->GetName(1);
    return TStr();
  }
  if (m->IsSamplerFamily()) {
    IAudioFileMap* map = m->GetSampleMap();
    if (map && map->GetDisplayName()) return map->GetDisplayName()->GetName(1);
  }
  return TStr();
}

void TFileView::Layout() {
  TCtrlView::Layout();
  const int32_t h = module_->IsLabelShown() ? kLabelHeight : 0;
  if (h) label_ = TArea(0, 3, 96, 16);
  labelTop_ = 3;
  title_ = label_;
  nameArea_ = TArea(4, h + 3, 92, h + 16);
  fileName_ = SoundFileName(module_);
  drawn_ = nameArea_;
  SetFrameSize(96, 36);
}

TArea TFileView::DrawValue(IDrawContext* ctx) {
  ctx->SetFont(font_);
  ctx->DrawTextCentred(nameArea_.Top(), nameArea_, Look().valueBox.Get(), StdColor(TStdColor::White), fileName_);
  return drawn_;
}

// ============================================================================
// Frames of macros and instruments

TFrameView::TFrameView(ICtrlPanel* wnd, KSModul* module) : TCtrlView(wnd, module) {}

void TFrameView::Layout() {
  TCtrlView::Layout();
  font_ = Look().frameFont.Get();
  TArea bounds = EmptyArea;
  if (ICtrlPanel* w = GetPanel())
    w->VisitCtrlViews([&](TCtrlView* v) {
      if (v != this && v->IsVisible() && LiesInside(v->GetModule(), module_)) bounds.Unite(v->GetBounds());
    });
  if (!bounds.IsEmpty()) {
    SetFrameOrigin(TPnt(bounds.Left() - kMarginLeft, bounds.Top() - kMarginTop));
    SetFrameSize(bounds.Width() + 16, bounds.Height() + 24);
  } else if (IsInstrumentFrame()) {
    SetFrameSize(80, 17);
  }
  title_ = IsInstrumentFrame() ? TArea(1, 1, std::max(1, FrameWidth() - 2), 17) : TArea(9, 1, 200, 20);
  label_ = title_;
}

void TFrameView::RequestValueUpdate() {
  // A frame has no value: its contents moved or changed, so it takes their
  // bounds again (on the GUI thread, where views are laid out).
  if (!IsOnGuiThread()) {
    TCtrlView::RequestValueUpdate();
    return;
  }
  const TArea before = GetArea();
  Rebuild();
  if (GetArea() != before && GetPanel()) GetPanel()->GetPanelView()->Invalidate();
  else Invalidate();
}

void TFrameView::BringContentsToFront() {
  ICtrlPanel* w = GetPanel();
  if (!w) return;
  w->VisitCtrlViews([this](TCtrlView* v) {
    if (LiesInside(v->GetModule(), module_)) v->MarkToFront();
  });
  w->GetPanelView()->BringMarkedToFront();
}

void TFrameView::DoubleClickAction() {
  if (IsInstrumentFrame()) module_->OpenPanel(true);
  else module_->OpenStructure();
}

void TFrameView::Paint(IDrawContext* ctx, const TArea& clip) {
  TLook& l = Look();
  const int32_t w = GetArea().Width(), h = GetArea().Height();
  ctx->SetFont(l.frameFont.Get());
  const TStr& label = module_->GetLabel();
  if (!IsInstrumentFrame()) {
    // An etched outline left open at the top for the label.
    const int32_t gapEnd = module_->IsLabelShown() && !label.IsEmpty() ? ctx->GetTextExtent(label).X() + 11 : 5;
    auto Outline = [&](int32_t dx, IColor* c) {
      ctx->MoveTo(TPnt(gapEnd + dx, 7 + dx));
      ctx->LineTo(TPnt(w - 2 + dx, 7 + dx), c);
      ctx->LineTo(TPnt(w - 2 + dx, h - 2 + dx), c);
      ctx->LineTo(TPnt(0 + dx, h - 2 + dx), c);
      ctx->LineTo(TPnt(0 + dx, 7 + dx), c);
      ctx->LineTo(TPnt(6 + dx, 7 + dx), c);
    };
    Outline(0, l.greyGreen.Get());
    Outline(1, l.lightGreyGreen.Get());
    if (module_->IsLabelShown())
      ctx->DrawTextLeft(TPnt(8, 1), TArea(8, 1, std::min(200, w), 20), StdColor(TStdColor::Transparent),
                        module_->IsSelected() ? l.selectedLabel.Get() : StdColor(TStdColor::Black), label);
  } else {
    ctx->TileBitmap(TArea(0, 0, w, h), Bitmap(picture::kTileGreenGrey));
    ctx->FillArea(TArea(1, 1, w - 2, 15), module_->IsSelected() ? l.darkRed.Get() : l.darkBlue.Get());
    IColor* white = StdColor(TStdColor::White);
    ctx->MoveTo(TPnt(0, h - 1));
    ctx->LineTo(TPnt(0, 0), white);
    ctx->LineTo(TPnt(w - 1, 0), white);
    ctx->MoveTo(TPnt(w - 2, 1));
    ctx->LineTo(TPnt(w - 2, h - 2), l.grey.Get());
    ctx->LineTo(TPnt(0, h - 2), l.grey.Get());
    ctx->MoveTo(TPnt(w - 1, 0));
    ctx->LineTo(TPnt(w - 1, h - 1), StdColor(TStdColor::Black));
    ctx->LineTo(TPnt(-1, h - 1), StdColor(TStdColor::Black));
    ctx->DrawTextLeft(TPnt(4, 2), title_, StdColor(TStdColor::Transparent), white, label);
  }
  TTView::Paint(ctx, clip);
}

// ============================================================================
// The factory and the menus

TModuleType PanelInsertType(int32_t id, bool* knob) {
  if (knob) *knob = id == cmd::kInsertKnob;
  switch (id) {
  case cmd::kInsertFader:
  case cmd::kInsertKnob: return kTypeFader;
  case cmd::kInsertButton: return kTypeButton;
  case cmd::kInsertLamp: return kTypeLamp;
  case cmd::kInsertLevelLamp: return kTypeLevelLamp;
  case cmd::kInsertMeter: return kTypeMeter;
  case cmd::kInsertLevelMeter: return kTypeLevelMeter;
  default: break;
  }
  static const int32_t audio[] = {0, 1, 14, 2, 3, 4, 5, 12};
  static const int32_t event[] = {6, 7, 8, 9, 10, 11, 13};
  static_assert(std::size(audio) == cmd::kInsertAudioSwitchLast - cmd::kInsertAudioSwitchFirst + 1);
  static_assert(std::size(event) == cmd::kInsertEventSwitchLast - cmd::kInsertEventSwitchFirst + 1);
  if (id >= cmd::kInsertAudioSwitchFirst && id <= cmd::kInsertAudioSwitchLast)
    return TModuleType{kCatSwitch, audio[id - cmd::kInsertAudioSwitchFirst]};
  if (id >= cmd::kInsertEventSwitchFirst && id <= cmd::kInsertEventSwitchLast)
    return TModuleType{kCatSwitch, event[id - cmd::kInsertEventSwitchFirst]};
  return TModuleType{0, 0};
}

TCtrlView* CreateCtrlView(ICtrlPanel* wnd, KSModul* module, int32_t kind) {
  if (!module) return nullptr;
  switch (kind) {
  case kViewFader: return new TFaderView(wnd, module);
  case kViewButton: return new TButtonView(wnd, module);
  case kViewSwitch: return new TSwitchView(wnd, module);
  case kViewLamp: return new TLampView(wnd, module);
  case kViewMeter: return new TMeterView(wnd, module);
  case kViewGraph: return new TGraphView(wnd, module);
  case kViewFile: return new TFileView(wnd, module);
  case kViewMacro: return new TMacroView(wnd, module);
  case kViewInstrument: return new TInstrView(wnd, module);
  default: return new TDummyCtrlView(wnd, module);
  }
}

namespace {
std::vector<TMenuEntry> InsertItems(int32_t offset) {
  // Offset 0 for the panel window, kFrameInsertOffset for a frame's own
  // insert menu.
  std::vector<TMenuEntry> items = {MenuCommand("&Fader", cmd::kInsertFader + offset),
                                   MenuCommand("&Knob", cmd::kInsertKnob + offset),
                                   MenuCommand("&Button", cmd::kInsertButton + offset), MenuSeparator()};
  const char* audio[] = {"Audio Switch 1", "Audio Switch 2", "Audio Switch 2x2", "Audio Switch 3",
                         "Audio Switch 4", "Audio Switch 5", "Audio Switch 6", "Audio Switch 8"};
  static_assert(std::size(audio) == cmd::kInsertAudioSwitchLast - cmd::kInsertAudioSwitchFirst + 1);
  for (size_t i = 0; i < std::size(audio); ++i)
    items.push_back(MenuCommand(audio[i], cmd::kInsertAudioSwitchFirst + int32_t(i) + offset));
  items.push_back(MenuSeparator());
  const char* event[] = {"Event Switch 1", "Event Switch 2", "Event Switch 3", "Event Switch 4",
                         "Event Switch 5", "Event Switch 6", "Event Switch 8"};
  static_assert(std::size(event) == cmd::kInsertEventSwitchLast - cmd::kInsertEventSwitchFirst + 1);
  for (size_t i = 0; i < std::size(event); ++i)
    items.push_back(MenuCommand(event[i], cmd::kInsertEventSwitchFirst + int32_t(i) + offset));
  items.insert(items.end(), {MenuSeparator(), MenuCommand("Lamp", cmd::kInsertLamp + offset),
                             MenuCommand("Level Lamp", cmd::kInsertLevelLamp + offset),
                             MenuCommand("Meter", cmd::kInsertMeter + offset),
                             MenuCommand("Level Meter", cmd::kInsertLevelMeter + offset)});
  return items;
}
} // namespace

void RegisterPanelMenus() {
  static bool done = false;
  if (done) return;
  done = true;
  const std::vector<TMenuEntry> edit = {MenuCommand("Cu&t", cmd::kCut), MenuCommand("&Copy", cmd::kCopy),
                                        MenuCommand("&Delete", cmd::kDelete)};
  auto with = [](std::vector<TMenuEntry> a, const std::vector<TMenuEntry>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  const TMenuEntry properties = MenuCommand("Pr&operties", cmd::kCtrlProperties);
  const TMenuEntry load = MenuCommand("&Load Audio...", cmd::kCtrlLoadAudio);
  const TMenuEntry reload = MenuCommand("&Reload Audio", cmd::kCtrlReloadAudio);
  const TMenuEntry structure = MenuCommand("&Structure", cmd::kFrameStructure);
  const TMenuEntry frameInsert = MenuPopup("Insert", InsertItems(cmd::kFrameInsertOffset));
  const TMenuEntry framePaste = MenuCommand("Paste", cmd::kFramePaste);
  const TMenuEntry frameSaveAs = MenuCommand("Sav&e As...", cmd::kFrameSaveAs);
  RegisterMenuTable(panel_menu::kCtrl, {MenuPopup("Ctrl", with({properties, MenuSeparator()}, edit))});
  RegisterMenuTable(panel_menu::kCtrlTapedeck,
                    {MenuPopup("Ctrl Tapedeck", with({properties, load, reload,
                                                      MenuCommand("&Export Audio...", cmd::kCtrlExportAudio),
                                                      MenuCommand("O&verwrite Audio", cmd::kCtrlOverwriteAudio),
                                                      MenuSeparator()},
                                                     edit))});
  RegisterMenuTable(panel_menu::kCtrlSampler,
                    {MenuPopup("Ctrl Sampler", with({properties, load, reload, MenuSeparator()}, edit))});
  RegisterMenuTable(panel_menu::kCtrlMacro,
                    {MenuPopup("Ctrl Macro", with({structure, properties, frameInsert, framePaste, frameSaveAs,
                                                   MenuSeparator()},
                                                  edit))});
  RegisterMenuTable(panel_menu::kCtrlInstrument,
                    {MenuPopup("Ctrl Instrument",
                               with({MenuCommand("Panel", cmd::kFramePanel), structure, properties,
                                     MenuCommand("Mute", cmd::kFrameMute), MenuCommand("Solo", cmd::kFrameSolo),
                                     frameInsert, framePaste, frameSaveAs, MenuSeparator()},
                                    edit))});
  std::vector<TMenuEntry> insert = InsertItems(0);
  insert.push_back(MenuCommand("Scope", cmd::kInsertScope));
  RegisterMenuTable(panel_menu::kPanel,
                    {MenuPopup("Panel", {MenuPopup("Insert", insert), MenuCommand("&Paste", cmd::kPaste),
                                         MenuCommand("Select &All", cmd::kSelectAll), MenuSeparator(),
                                         MenuCommand("Sav&e As...", cmd::kSaveWindowAs),
                                         MenuCommand("&Lock", cmd::kLock),
                                         MenuCommand("&Structure", cmd::kGotoStructure),
                                         MenuCommand("Pa&rent", cmd::kGotoParent),
                                         MenuCommand("Pr&operties", cmd::kProperties)})});
}
