#include "src/volteon/modview.h"

#include "src/volteon/instrdlg.h"
#include "src/volteon/propdlg.h"

#include "pc/sky/draw.h"
#include "pc/sky/menu.h"
#include "src/base/file.h"
#include "src/mod/ensemble.h"
#include "src/mod/ensfile.h"
#include "src/mod/instr.h"
#include "src/mod/mod.h"
#include "src/mod/undo.h"
#include "src/mod/modfile.h"
#include "src/mod/modul_def.h"
#include "src/volteon/portview.h"
#include "src/volteon/commands.h"
#include "src/volteon/ivolteon.h"

#include <algorithm>
#include <initializer_list>

namespace {

constexpr int kFileTypeInstrument = 2;
constexpr int kFileTypeMacro = 3;
constexpr int32_t kFaderStyle = 1;
constexpr int32_t kPictureLeft = 28, kAudioInPictureLeft = 12, kPictureRise = 23;
constexpr int32_t kAudioInDevice = 0, kAudioOutDevice = 1;

bool In(int32_t v, std::initializer_list<int32_t> list) { return std::find(list.begin(), list.end(), v) != list.end(); }
bool Between(int32_t v, int32_t lo, int32_t hi) { return v >= lo && v <= hi; }

struct TBoxShared {
  IFnt* font = nullptr;
  IBmp* background = nullptr;
  IBmp* muted = nullptr;
  IBmp* inactive = nullptr;
  IBmp* poly = nullptr;
  IBmp* mono = nullptr;
  IBmp* fader = nullptr;
  IBmp* knob = nullptr;
  IBmp* button = nullptr;
  IBmp* source = nullptr;
  IBmp* lamp = nullptr;
  IBmp* lampTwin = nullptr;
  IBmp* levelLamp = nullptr;
  IColor* selected = nullptr;
  IColor* module = nullptr;
  IColor* macro = nullptr;
  IColor* instrument = nullptr;
  IMenu* menus[8] = {};
};

IBmp* LoadBmp(int32_t id) {
  IBmp* b = CreateBmp();
  try {
    b->LoadResource(id);
  } catch (...) {
    RecordCurrentException(); // drawn as nothing
  }
  return b;
}

constexpr int32_t kMenuIds[8] = {menuid::kControl, menuid::kProcessing, menuid::kMonoModule, menuid::kTapedeck,
                                 menuid::kSampler, menuid::kInOut,      menuid::kMacros,     menuid::kInstrument};
constexpr int32_t kMenuDefaults[8] = {cmd::kBoxProperties, cmd::kBoxProperties, cmd::kBoxProperties,
                                      cmd::kBoxProperties, cmd::kBoxProperties, cmd::kBoxProperties,
                                      cmd::kBoxStructure,  cmd::kBoxPanel};

// Made with the first box and kept for the program's life.
TBoxShared& Shared() {
  static TBoxShared* s = [] {
    auto* t = new TBoxShared;
    t->font = CreateFnt(TStr("MS Sans Serif"), 8, 6);
    t->background = LoadBmp(picture::kBoxBackground);
    t->muted = LoadBmp(picture::kBoxMuted);
    t->inactive = LoadBmp(picture::kBoxInactive);
    t->poly = LoadBmp(picture::kBoxPoly);
    t->mono = LoadBmp(picture::kBoxMono);
    t->fader = LoadBmp(picture::kFaderMark);
    t->knob = LoadBmp(picture::kKnobMark);
    t->button = LoadBmp(picture::kButtonMark);
    t->source = LoadBmp(picture::kSourceMark);
    t->lamp = LoadBmp(picture::kLampMark);
    t->lampTwin = LoadBmp(picture::kLampTwinMark);
    t->levelLamp = LoadBmp(picture::kLevelLampMark);
    t->selected = CreateColor(165, 10, 35);
    t->module = CreateColor(50, 100, 98);
    t->macro = CreateColor(98, 98, 110);
    t->instrument = CreateColor(30, 50, 120);
    for (int i = 0; i < 8; ++i) {
      t->menus[i] = CreateMenuObject(kMenuIds[i]);
      t->menus[i]->SetDefaultItem(kMenuDefaults[i], menu::kByCommand);
    }
    return t;
  }();
  return *s;
}

IMenu* MenuOf(int32_t id) {
  for (int i = 0; i < 8; ++i)
    if (kMenuIds[i] == id) return Shared().menus[i];
  return nullptr;
}

KEnsemble* EnsembleOf(KSModul* m) { return m ? dynamic_cast<KEnsemble*>(m->GetHost()) : nullptr; }

} // namespace

int32_t BoxMenuId(int32_t c, int32_t i) {
  switch (c) {
  case kCatModule:
    if (i == kTypeComment.type) return menuid::kControl;
    if (Between(i, 26, 29) || Between(i, 69, 72) || Between(i, 152, 157) || i == 159 || Between(i, 164, 168) ||
        In(i, {181, 182, 199}))
      return menuid::kMonoModule;
    if (In(i, {kTypeTapedeck1.type, kTypeTapedeck2.type})) return menuid::kTapedeck;
    if (In(i, {kTypeAudioIn.type, kTypeAudioOut.type})) return menuid::kInOut;
    if (In(i, {130, 131, 135, 136, 170, 173, 174})) return menuid::kSampler;
    return menuid::kProcessing;
  case kCatSource:
    if (In(i, {kTypeConstant.type, kTypeFader.type, kTypeButton.type})) return menuid::kControl;
    if (In(i, {3, 8}) || Between(i, 10, 13) || Between(i, 18, 23)) return menuid::kMonoModule;
    return menuid::kProcessing;
  case kCatMacro: return menuid::kMacros;
  case kCatInTerminal:
  case kCatOutTerminal:
  case kCatSwitch: return menuid::kMonoModule;
  case kCatInstrument: return menuid::kInstrument;
  default: return menuid::kProcessing;
  }
}

TBoxLayout BoxLayout(int32_t c, int32_t i, int32_t inCount, int32_t outCount) {
  const int32_t h = (inCount < 3 && outCount < 3) ? 56 : 16 * std::max(inCount, outCount) + 24;
  auto make = [](int32_t w, int32_t hh, TArea label, TArea ind) { return TBoxLayout{w, hh, label, ind}; };
  const TArea none = EmptyArea;
  if (c == kCatModule) {
    if (In(i, {2, 11, 100, 102})) return make(32, 80, {9, 25, 22, 38}, {9, 63, 22, 76});
    if (In(i, {4, 13, 101})) return make(32, 112, {9, 41, 22, 54}, {9, 95, 22, 108});
    if (i == 5) return make(32, 144, {9, 57, 22, 70}, {9, 124, 22, 137});
    if (In(i, {1, 3, 10, 12})) return make(32, 64, {9, 17, 22, 30}, {9, 47, 22, 60});
    if (In(i, {0, 6, 9, 14, 116, 118})) return make(32, 48, {9, 9, 22, 22}, {9, 31, 22, 44});
    if (In(i, {7, 8, 69, 70, 147, 167, 168})) return make(32, 40, {9, 5, 22, 18}, {9, 23, 22, 36});
    if (In(i, {73, 115, 117, 193})) return make(40, 40, {9, 5, 30, 18}, {13, 23, 26, 36});
    if (In(i, {74, 75, 103, 121, 122, 123})) return make(48, 40, {17, 23, 43, 36}, {3, 23, 16, 36});
    if (In(i, {82, 83, 85, 113, 114})) return make(72, h, {16, h - 17, 67, h - 4}, {2, h - 17, 15, h - 4});
    if (i == 151) return make(64, 16, {6, 1, 56, 14}, none);
    if (Between(i, 152, 157) || In(i, {159, 181, 182, 199})) return make(88, 16, {9, 1, 59, 14}, {71, 1, 84, 14});
    if (i == 158) return make(88, 40, {19, 14, 59, 27}, {71, 14, 84, 27});
    return make(88, h, {16, h - 17, 83, h - 4}, {2, h - 17, 15, h - 4});
  }
  if (c == kCatSource) {
    if (i == 0) return make(64, 16, {4, 1, 54, 14}, none);
    if (In(i, {1, 17})) return make(72, 16, {12, 1, 62, 14}, none);
    if (i == 24) return make(88, 16, {28, 1, 78, 14}, {11, 1, 24, 14});
    return make(88, 16, {28, 1, 78, 14}, {3, 1, 16, 14});
  }
  if (c == kCatInTerminal) return make(32, 24, {3, 5, 23, 18}, none);
  if (c == kCatOutTerminal) return make(32, 24, {8, 5, 28, 18}, none);
  if (c == kCatSwitch) return make(72, h, {9, h - 17, 62, h - 4}, none);
  return make(88, h, {16, h - 17, 83, h - 4}, {2, h - 17, 15, h - 4});
}

// ---------------------------------------------------------------------------

TModView::TModView(TTView* parent, KSModul* module)
    : TVolteonView(parent, 1, EnsembleOf(module)), module_(module) {
  TBoxShared& s = Shared();
  if (const KModulDef* def = module_->GetTypeDef(); def && def->picture) {
    typeBitmap_ = CreateBmp();
    try {
      typeBitmap_->LoadResource(def->picture);
    } catch (...) {
      RecordCurrentException();
      SafeDelete(typeBitmap_);
      typeBitmap_ = nullptr;
    }
  }
  SetContextMenu(MenuOf(BoxMenuId(module_->GetCategory(), module_->GetTypeIndex())));
  const TBoxLayout l =
      BoxLayout(module_->GetCategory(), module_->GetTypeIndex(), module_->GetInPortCount(), module_->GetOutPortCount());
  label_ = l.label;
  indicator_ = l.indicator;
  TArea area(0, 0, l.width, l.height);
  area.MoveTo(module_->GetPos());
  SetArea(area);
  (void)s;
}

TModView::~TModView() {
  DestructorBody([this] {
    SafeDelete(typeBitmap_);
    typeBitmap_ = nullptr;
    module_->SetPos(GetOrigin());
    // The handles go with the box (its children); the ports forget them.
    for (int32_t i = 0; i < module_->GetInPortCount(); ++i) module_->GetInPort(i)->ViewGone();
    for (int32_t i = 0; i < module_->GetOutPortCount(); ++i) module_->GetOutPort(i)->ViewGone();
    while (TTView* child = FirstChild()) delete child;
    if (module_->GetBoxView() == static_cast<IModelView*>(this)) module_->BoxViewGone();
  });
}

IStructHost* TModView::GetStructWnd() const { return dynamic_cast<IStructHost*>(GetParent()); }

int TModView::IsSelected() { return module_->IsSelected() ? 1 : 0; }
int TModView::IsInSelection() { return module_->IsSelected() ? 1 : 0; }

void TModView::Select(int on, int exclusive) {
  if (exclusive)
    if (IStructHost* w = GetStructWnd()) w->DeselectAllFrom(module_);
  if (on) module_->Select();
  else module_->Deselect();
  Invalidate();
  MarkToFront();
}

int TModView::GetHint(TStr& text, TArea& area) {
  (void)area;
  text = module_->GetHelp();
  return 1;
}

void TModView::DoubleClick(int32_t x, int32_t y) {
  (void)x;
  (void)y;
  if (module_->IsCategory(kCatInstrument)) module_->OpenPanel(true);
  else if (module_->IsCategory(kCatMacro)) module_->OpenStructure();
  else Execute(cmd::kBoxProperties);
}

void TModView::DragTo(const TPnt& p) {
  module_->SetPos(p);
  MoveTo(p);
  // Wires that are not selected follow their boxes too.
  module_->ShowWires();
}

UndoKind TModView::GetMoveUndoKind() { return UndoKind::kMoveModules; }




int TModView::Command(int32_t id, int mode, int& result) {
  result = 0;
  KSModul* m = module_;
  KEnsemble* ens = EnsembleOf(m);
  auto answer = [&](bool enabled, bool checked, auto&& run) {
    if (mode == command_mode::kRun) run();
    else if (mode == command_mode::kEnabled) result = enabled ? 1 : 0;
    else result = checked ? 1 : 0;
    return 1;
  };
  auto refreshBox = [ens] {
    if (ens && ens->GetOwner()) ens->GetOwner()->RefreshCtrlBox();
  };
  switch (id) {
  case cmd::kBoxProperties: {
    // Instruments open their instrument dialog, the driver modules their
    // driver's settings, every other module its own property dialog.
    return answer(true, false, [&] {
      if (m->IsType(kTypeAudioIn)) {
        if (ens) ens->CallAudioDevice(kAudioInDevice);
      } else if (m->IsType(kTypeAudioOut)) {
        if (ens) ens->CallAudioDevice(kAudioOutDevice);
      } else if (m->IsCategory(kCatInstrument)) {
        RunInstrPrp(m);
      } else if (RunModPrp(m)) {
        Redraw();
      }
    });
  }
  case cmd::kBoxLoadAudio:
    return answer(true, false, [&] {
      if (ens && ens->GetFiles()) ens->GetFiles()->GetUndo().SetPendingUndo(UndoKind::kChangeProperties, m, 0);
      m->LoadAudio();
    });
  case cmd::kBoxReloadAudio: return answer(m->HasAudio() != 0, false, [&] { m->ReloadAudio(); });
  case cmd::kBoxExportAudio: return answer(false, false, [] {});
  case cmd::kBoxOverwriteAudio: return answer(false, false, [] {});
  case cmd::kBoxSaveAs:
    return answer(m->IsMacroOrInstrument(), false, [&] {
      if (!m->IsMacroOrInstrument() || !ens || !ens->GetFiles()) return;
      const bool instr = m->IsCategory(kCatInstrument);
      EPtr<IFileName> name(CreateFileName());
      name->Assign(m->GetFileName());
      if (!name->SaveDialog(TStr("Save As"), instr ? dirs::InstrWork() : dirs::MacroWork(),
                            instr ? kFileTypeInstrument : kFileTypeMacro))
        return;
      try {
        KModulFile::SaveModuleFile(*name, *m, *ens->GetFiles());
        m->SetFileName(*name);
      } catch (...) {
        RecordCurrentException();
        ShowLastError();
      }
    });
  case cmd::kBoxStructure: return answer(true, false, [&] { m->OpenStructure(); });
  case cmd::kBoxPanel:
    return answer(true, false, [&] {
      if (m->IsCategory(kCatInstrument)) m->OpenPanel(true);
      else if (KInstr* in = m->GetOwnerInstr(); in && in->GetOwner()) in->GetOwner()->OpenPanel(true);
    });
  case cmd::kBoxMute:
    return answer(true, m->IsMuted(), [&] {
      if (IStructHost* w = GetStructWnd()) w->Mute();
      refreshBox();
    });
  case cmd::kBoxMono:
    return answer(true, m->IsMono(), [&] {
      if (IStructHost* w = GetStructWnd()) w->Mono();
    });
  case cmd::kBoxSolo:
    return answer(true, m->IsSolo(), [&] {
      if (!m->IsSolo()) {
        if (ens) ens->AddUndoStep(UndoKind::kSoloModule, nullptr);
        m->Solo();
      } else {
        if (ens) ens->AddUndoStep(UndoKind::kUnsoloModule, nullptr);
        m->Unsolo();
      }
      Invalidate();
      refreshBox();
    });
  default: return 0;
  }
}

void TModView::Paint(IDrawContext* ctx, const TArea& clip) {
  TBoxShared& s = Shared();
  const int32_t w = GetArea().Width(), h = GetArea().Height();
  ctx->TileBitmap(TArea(0, 0, w, h), s.background);
  IColor* black = StdColor(TStdColor::Black);
  IColor* white = StdColor(TStdColor::White);
  IColor* grey = StdColor(TStdColor::Grey);
  ctx->MoveTo(TPnt(0, h - 1));
  ctx->LineTo(TPnt(w - 1, h - 1), black);
  ctx->LineTo(TPnt(w - 1, -1), black);
  ctx->MoveTo(TPnt(0, h - 2));
  ctx->LineTo(TPnt(0, 0), white);
  ctx->LineTo(TPnt(w - 1, 0), white);
  ctx->MoveTo(TPnt(1, h - 2));
  ctx->LineTo(TPnt(w - 2, h - 2), grey);
  ctx->LineTo(TPnt(w - 2, 0), grey);
  if (!indicator_.IsEmpty()) {
    IBmp* mark = module_->IsMuted() ? s.muted : module_->IsInactive() ? s.inactive : !module_->IsMono() ? s.poly : s.mono;
    ctx->DrawBitmap(mark, TPnt(indicator_.Left() - 1, indicator_.Top()));
  }
  ctx->SetFont(s.font);
  TStr text;
  IColor* ground;
  if (module_->GetCpuLoad() > 0) {
    text = FormatStr("%.1f", double(module_->GetCpuLoad()));
    ground = black;
  } else {
    text = module_->GetLabel();
    const int32_t c = module_->GetCategory();
    if (module_->IsSelected()) ground = s.selected;
    else if (c == kCatMacro) ground = s.macro;
    else if (c == kCatInTerminal || c == kCatOutTerminal) {
      KSModul* p = module_->GetParent();
      ground = p && p->IsCategory(kCatInstrument) ? s.instrument : s.macro;
    } else if (c == kCatInstrument) ground = s.instrument;
    else ground = s.module;
  }
  // The ground covers the text's cells, centred in the label area.
  // A text wider than the label area may use the box's inside, never its frame.
  const TPnt extent = ctx->GetTextExtent(text);
  const int32_t tw = std::min(extent.X() + 2, w - 4);
  int32_t left = label_.Left() + (label_.Width() - tw) / 2;
  left = std::max(2, std::min(left, w - 2 - tw));
  ctx->DrawTextCentred(label_.Top(), TArea(left, label_.Top(), left + tw, label_.Bottom()), ground, white, text);
  const int32_t c = module_->GetCategory(), i = module_->GetTypeIndex();
  if (c == kCatSource) {
    if (i == kTypeFader.type) ctx->DrawBitmap(module_->GetCtrlStyle() == kFaderStyle ? s.fader : s.knob, TPnt(2, 1));
    else if (i == kTypeButton.type) ctx->DrawBitmap(s.button, TPnt(2, 1));
    else if (i != kTypeConstant.type && i != kTypeSpread.type) ctx->DrawBitmap(s.source, TPnt(17, 1));
  } else if (i == kTypeLamp.type && c == kCatModule) ctx->DrawBitmap(s.lamp, TPnt(60, 1));
  else if (i == kTypeLampTwin.type && c == kCatModule) ctx->DrawBitmap(s.lampTwin, TPnt(60, 1));
  else if (i == kTypeLevelLamp.type && c == kCatModule) ctx->DrawBitmap(s.levelLamp, TPnt(60, 1));
  else if (c == kCatModule && (Between(i, 154, 157) || In(i, {159, 181, 182}))) ctx->DrawBitmap(s.source, TPnt(61, 1));
  else if (c == kCatModule && i == kTypeMidiNoteOut.type) ctx->DrawBitmap(s.source, TPnt(61, 12));
  else if (typeBitmap_)
    ctx->DrawBitmap(typeBitmap_, TPnt(c == kCatModule && i == kTypeAudioIn.type ? kAudioInPictureLeft : kPictureLeft,
                                      h / 2 - kPictureRise));
  TVolteonView::Paint(ctx, clip);
}
