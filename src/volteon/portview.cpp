#include "src/volteon/portview.h"

#include "pc/sky/draw.h"
#include "pc/sky/menu.h"
#include "src/mod/ensemble.h"
#include "src/mod/mod.h"
#include "src/mod/modul_def.h"
#include "src/mod/port.h"
#include "src/volteon/portprp.h"

#include <algorithm>
#include <initializer_list>

namespace {

constexpr int32_t kControlOffsetX = 96;
constexpr int32_t kFaderMidiLow = 0, kFaderMidiHigh = 127;
constexpr int32_t kButtonMidiLow = 63, kButtonMidiHigh = 64;
constexpr int32_t kHandleMiddle = 8;
constexpr int32_t kPortMarkTop = 6;
constexpr int32_t kPortBitmapWidth = 4;
constexpr int32_t kEventMarkTop = 3;
constexpr int32_t kTextTop = 1;
constexpr int32_t kInLabelLeft = 4;
constexpr int32_t kOutLabelRight = 20;
constexpr int32_t kOutEventMarkFromRight = 8;
// Control kinds of an in-port entry: fader-like and button-like.
bool IsFaderKind(int32_t kind) { return kind == 1 || kind == 2; }
bool IsButtonKind(int32_t kind) { return kind >= 3 && kind <= 5; }

bool In(int32_t v, std::initializer_list<int32_t> list) { return std::find(list.begin(), list.end(), v) != list.end(); }
bool Between(int32_t v, int32_t lo, int32_t hi) { return v >= lo && v <= hi; }

struct TPortShared {
  IFnt* font = nullptr;
  IMenu* inMenu = nullptr;
  IMenu* outMenu = nullptr;
  IBmp* bmp[8] = {};
};

IBmp* Load(int32_t id) {
  IBmp* b = CreateBmp();
  try {
    b->LoadResource(id);
  } catch (...) {
    RecordCurrentException();
  }
  return b;
}

TPortShared& Shared() {
  static TPortShared* s = [] {
    auto* t = new TPortShared;
    t->font = CreateFnt(TStr("MS Sans Serif"), 8, 6);
    t->inMenu = CreateMenuObject(menuid::kInPort);
    t->inMenu->SetDefaultItem(cmd::kPortProperties, menu::kByCommand);
    t->outMenu = CreateMenuObject(menuid::kOutPort);
    t->outMenu->SetDefaultItem(cmd::kPortProperties, menu::kByCommand);
    for (int i = 0; i < 8; ++i) t->bmp[i] = Load(picture::kOutPort + i);
    return t;
  }();
  return *s;
}
IBmp* Bmp(int32_t id) { return Shared().bmp[id - picture::kOutPort]; }

KEnsemble* EnsembleOf(KSModul* m) { return m ? dynamic_cast<KEnsemble*>(m->GetHost()) : nullptr; }

void MarkModified(KSModul* m) {
  if (KEnsemble* ens = EnsembleOf(m)) ens->MarkModified();
}

} // namespace

TArea PortHandleArea(int32_t c, int32_t i, bool in, int32_t idx, int32_t nIn, int32_t nOut, int32_t boxWidth,
                     bool labelled) {
  const int32_t w = labelled ? TPortView::kLabelledWidth : TPortView::kPlainWidth;
  const int32_t left = in ? 0 : boxWidth - w;
  const int32_t m = std::max(nIn, nOut), n = in ? nIn : nOut;
  const int32_t standard = m < 2 ? 12 : (m - n) * 8 + 16 * idx + 4;
  int32_t top = standard;
  if (c == kCatModule) {
    if (Between(i, 0, 6) || Between(i, 9, 14) || Between(i, 100, 102) || In(i, {116, 118}))
      top = in ? 16 * idx : 8 * nIn - 8;
    else if (In(i, {7, 8, 69, 70, 73, 74, 75, 103, 115, 117, 121, 122, 123, 167, 168, 193}))
      top = 4;
    else if (Between(i, 151, 157) || In(i, {159, 181, 182, 199}))
      top = in ? 0 : standard;
  } else if (c == kCatSource) {
    top = 0;
  } else if (c == kCatInTerminal) {
    top = in ? 0 : 4;
  } else if (c == kCatOutTerminal) {
    top = in ? 4 : 0;
  }
  return TArea(left, top, left + w, top + TPortView::kHeight);
}

// ---------------------------------------------------------------------------
// TPortView

TPortView::TPortView(TTView* box, KInPort* in, KOutPort* out) : TCommandFirst<TTView>(box, 0), in_(in), out_(out) {
  KSModul* m = GetModule();
  portCount_ = in ? m->GetInPortCount() : m->GetOutPortCount();
  portIndex_ = in ? m->GetInPortIndex(in) : m->GetOutPortIndex(out);
  const TStr& label = in ? in->GetLabel() : out->GetLabel();
  SetArea(PortHandleArea(m->GetCategory(), m->GetTypeIndex(), in != nullptr, portIndex_, m->GetInPortCount(),
                         m->GetOutPortCount(), box->GetArea().Width(), !label.IsEmpty()));
  SetContextMenu(in ? Shared().inMenu : Shared().outMenu);
}

TPortView::~TPortView() {
  DestructorBody([this] {
    if (IsWiring())
      if (auto* wnd = dynamic_cast<TWnd*>(GetRoot())) wnd->ClearRubberLines();
  });
}

KSModul* TPortView::GetModule() const { return in_ ? in_->GetOwner() : out_->GetOwner(); }

TPnt TPortView::ToWindow(int32_t x, int32_t y) {
  TPnt offset;
  GetRoot(&offset);
  return TPnt(x + GetArea().Left() + offset.X(), y + GetArea().Top() + offset.Y());
}

TPnt TPortView::GetWindowConnectionPoint() {
  const TPnt c = GetConnectionPoint();
  return ToWindow(c.X(), c.Y());
}

TPortView* TPortView::Snap(TPnt& p) {
  TTView* root = GetRoot();
  TPnt at = p;
  TPortView* found = dynamic_cast<TPortView*>(root->FindViewAt(at));
  if (!found || found == this) return found;
  KInPort* in = in_ ? in_ : found->in_;
  KOutPort* out = out_ ? out_ : found->out_;
  const bool otherDirection = (in_ != nullptr) != (found->in_ != nullptr);
  if (otherDirection && in && out && in->CanConnect(out)) p = found->GetWindowConnectionPoint();
  return found;
}

void TPortView::BeginLine(const TPnt& mouse) {
  auto* wnd = dynamic_cast<TWnd*>(GetRoot());
  if (!wnd) return;
  start_ = GetWindowConnectionPoint();
  mouse_ = end_ = mouse;
  Snap(end_);
  wnd->AddRubberLine(start_, end_);
}

void TPortView::StepLine(const TPnt& mouse) {
  auto* wnd = dynamic_cast<TWnd*>(GetRoot());
  if (!wnd || !IsWiring()) return;
  wnd->RemoveRubberLine(start_, end_);
  mouse_ = end_ = mouse;
  Snap(end_);
  wnd->AddRubberLine(start_, end_);
}

void TPortView::EndLine() {
  if (auto* wnd = dynamic_cast<TWnd*>(GetRoot())) wnd->ClearRubberLines();
  start_ = NoPnt;
}

void TPortView::MouseDown(int32_t x, int32_t y) {
  if (!IsWiring()) BeginLine(ToWindow(x, y));
}

void TPortView::MouseMove(int32_t x, int32_t y) {
  if (IsWiring()) StepLine(ToWindow(x, y));
}

void TPortView::MouseUp(int32_t x, int32_t y) {
  if (!IsWiring()) return;
  // The handle under the mouse: the drawn end may sit just outside it.
  TPnt p = ToWindow(x, y);
  TPortView* other = Snap(p);
  if (other == this) {
    // A click on the handle: the line stays and follows the mouse.
    RequestCapture();
    return;
  }
  EndLine();
  if (other) Toggle(other);
}

void TPortView::Toggle(TPortView* other) {
  if ((in_ != nullptr) == (other->in_ != nullptr)) return;
  KInPort* in = in_ ? in_ : other->in_;
  KOutPort* out = out_ ? out_ : other->out_;
  KEnsemble* ens = EnsembleOf(in->GetOwner());
  for (int32_t i = 0; i < in->GetWireCount(); ++i) {
    if (in->GetSource(i) != out) continue;
    if (ens) ens->AddUndoStep(UndoKind::kDeleteWire, nullptr);
    in->RemoveWire(out);
    return;
  }
  // A target the model refuses is no wire and no step.
  if (!in->CanConnect(out)) return;
  if (ens) ens->AddUndoStep(UndoKind::kCreateWire, nullptr);
  in->Connect(out);
}

void TPortView::DoubleClick(int32_t x, int32_t y) {
  (void)x;
  (void)y;
  Execute(cmd::kPortProperties);
}

void TPortView::CancelMouse() {
  if (IsWiring()) EndLine();
}

void TPortView::StartWiring() {
  auto* wnd = dynamic_cast<TWnd*>(GetRoot());
  if (!wnd) return;
  if (IsWiring()) EndLine();
  BeginLine(wnd->GetDWnd() ? wnd->GetDWnd()->LastMousePos() : GetWindowConnectionPoint());
  RequestCapture();
}

int TPortView::Command(int32_t id, int mode, int& result) {
  result = 0;
  switch (id) {
  case cmd::kWireUnwire:
    if (mode == command_mode::kRun) StartWiring();
    else if (mode == command_mode::kEnabled) result = 1;
    return 1;
  case cmd::kPortMute: {
    const bool muted = in_ ? in_->IsMuted() : out_->IsMuted();
    if (mode == command_mode::kRun) {
      if (in_) {
        if (muted) in_->ClearMute();
        else in_->SetMute();
      } else {
        if (muted) out_->Unmute();
        else out_->Mute();
      }
      // Nothing records a port's mute: the ensemble still counts as changed.
      MarkModified(GetModule());
      Invalidate();
    } else if (mode == command_mode::kEnabled) {
      result = 1;
    } else {
      result = muted ? 1 : 0;
    }
    return 1;
  }
  case cmd::kPortProperties: {
    if (mode == command_mode::kEnabled) result = 1;
    if (mode != command_mode::kRun) return 1;
    KInPort* in = in_;
    KOutPort* out = out_;
    KSModul* m = GetModule();
    if (!RunPortPrp(in, out)) return 1;
    // A new label may change the handle's width: the box is made anew, and
    // this handle with it, so nothing of it is touched after.
    if (KSModul* structure = m->GetParent(); structure && structure->GetStructWnd() && m->GetBoxView())
      m->CreateView(structure->GetStructWnd());
    return 1;
  }
  default: return 0;
  }
}

int TPortView::GetHint(TStr& text, TArea& area) {
  (void)area;
  text = in_ ? in_->GetInfo() : out_->GetInfo();
  return 1;
}

// ---------------------------------------------------------------------------
// TInPortView

TInPortView::TInPortView(TTView* box, KInPort* port) : TPortView(box, port, nullptr) {}

TPnt TInPortView::GetConnectionPoint() const { return TPnt(-1, kHandleMiddle); }

void TInPortView::Paint(IDrawContext* ctx, const TArea& clip) {
  (void)clip;
  ctx->SetFont(Shared().font);
  const uint8_t flags = in_->GetFlags();
  IBmp* mark = (flags & KInPort::kUnavailable)                              ? Bmp(picture::kInPortFlagged)
               : (in_->IsMuted() || (flags & KInPort::kPolyConflict)) ? Bmp(picture::kInPortMuted)
                                                                          : Bmp(picture::kInPort);
  ctx->DrawBitmap(mark, TPnt(0, kPortMarkTop));
  const bool event = IsEventKind(in_->GetKind());
  IColor* color = event ? StdColor(TStdColor::DarkRed) : StdColor(TStdColor::Black);
  if (!in_->GetLabel().IsEmpty())
    ctx->DrawTextLeft(TPnt(kInLabelLeft, kTextTop), EmptyArea, StdColor(TStdColor::Transparent), color,
                      in_->GetLabel());
  else if (event)
    ctx->DrawBitmap(Bmp(picture::kInEventMark), TPnt(kInLabelLeft, kEventMarkTop));
}

int TInPortView::Command(int32_t id, int mode, int& result) {
  if (id != cmd::kCreateControl) return TPortView::Command(id, mode, result);
  result = 0;
  if (mode == command_mode::kRun) CreateControl();
  else if (mode == command_mode::kEnabled) result = 1;
  return 1;
}

void TInPortView::CreateControl() {
  KSModul* module = in_->GetOwner();
  KSModul* structure = module->GetParent();
  const KPortDef* def = in_->GetDefinition();
  if (!structure || !def) return;
  const int32_t kind = def->valueClass;
  if (!IsFaderKind(kind) && !IsButtonKind(kind)) return;
  if (auto* host = dynamic_cast<IStructHost*>(GetRoot())) host->DeselectAllFrom(structure);
  structure->SetNextInsertPos(TPnt(module->GetPos().X() - kControlOffsetX, module->GetPos().Y() + GetArea().Top()));
  KEnsemble* ens = EnsembleOf(module);
  if (ens) ens->AddUndoStep(UndoKind::kInsertControl, nullptr);
  KSModul* control = structure->InsertModule(IsFaderKind(kind) ? kTypeFader : kTypeButton, kPlaceNext, false);
  if (!control) return;
  if (KOutPort* out = control->GetOutPort(0)) in_->Connect(out);
  if (module->IsCategory(kCatInstrument) || module->IsCategory(kCatMacro) || module->IsCategory(kCatSwitch))
    control->SetLabel(in_->GetLabel());
  else if (module->IsCategory(kCatOutTerminal))
    control->SetLabel(module->GetLabel());
  else
    control->SetLabel(TStr(def->longName ? def->longName : ""));
  if (IsFaderKind(kind))
    control->SetControlRange(def->minimum, kFaderMidiLow, def->maximum, kFaderMidiHigh, def->step);
  else
    control->SetControlRange(def->minimum, kButtonMidiLow, def->maximum, kButtonMidiHigh, 0.0f);
  control->SetControlValue(def->defaultValue);
  control->SetCtrlStyle(kind);
  control->Select();
  if (IModelView* box = control->GetBoxView()) dynamic_cast<TTView*>(box)->Invalidate();
  // The new control is a change the user may want to save.
  if (ens) ens->MarkModified();
}

// ---------------------------------------------------------------------------
// TOutPortView

TOutPortView::TOutPortView(TTView* box, KOutPort* port) : TPortView(box, nullptr, port) {}

TPnt TOutPortView::GetConnectionPoint() const {
  return out_->GetLabel().IsEmpty() ? TPnt(kPlainWidth - 1, kHandleMiddle) : TPnt(kLabelledWidth - 1, kHandleMiddle);
}

void TOutPortView::Paint(IDrawContext* ctx, const TArea& clip) {
  (void)clip;
  ctx->SetFont(Shared().font);
  const int32_t w = GetArea().Width();
  IBmp* mark = out_->IsUnavailable() ? Bmp(picture::kOutPortUnavailable)
               : out_->IsMuted()     ? Bmp(picture::kOutPortMuted)
                                     : Bmp(picture::kOutPort);
  ctx->DrawBitmap(mark, TPnt(w - kPortBitmapWidth, kPortMarkTop));
  const bool event = IsEventKind(out_->GetKind());
  IColor* color = event ? StdColor(TStdColor::DarkRed) : StdColor(TStdColor::Black);
  if (!out_->GetLabel().IsEmpty())
    ctx->DrawTextRight(TPnt(kOutLabelRight, kTextTop), EmptyArea, StdColor(TStdColor::Transparent), color,
                       out_->GetLabel());
  else if (event)
    ctx->DrawBitmap(Bmp(picture::kOutEventMark), TPnt(w - kOutEventMarkFromRight, kEventMarkTop));
}
