#include "src/volteon/wireview.h"

#include "pc/sky/draw.h"
#include "pc/sky/hint.h"
#include "pc/sky/menu.h"
#include "src/engine/audioio.h"
#include "src/engine/engine.h"
#include "src/mod/ensemble.h"
#include "src/mod/instr.h"
#include "src/mod/mod.h"
#include "src/mod/port.h"
#include "src/volteon/portview.h"

#include <algorithm>

namespace {

constexpr int32_t kHintVoices = 64;
constexpr float kUnsetLowest = 3.4028235e38f;
constexpr int kValuePlaces = 5;
constexpr int32_t kValueWidth = 8;
constexpr int32_t kNoteWidth = 4;
constexpr int32_t kFreeBelow = -299;

// Shared by every wire: the lowest and highest value seen per voice since
// the hint appeared.
float lowest[kHintVoices];
float highest[kHintVoices];
const TWireView* lastHinted = nullptr;

IMenu* WireMenu() {
  static IMenu* menu = CreateMenuObject(menuid::kWire);
  return menu;
}

KEnsemble* EnsembleOf(KInPort* in) {
  KSModul* m = in ? in->GetOwner() : nullptr;
  return m ? dynamic_cast<KEnsemble*>(m->GetHost()) : nullptr;
}

TStr PadFront(TStr text, int32_t width) {
  while (int32_t(text.Length()) < width) text = TStr(" ") + text;
  return text;
}

TStr ValueText(float v) {
  TStr t;
  t.SetReal(v, kValuePlaces);
  return PadFront(t, kValueWidth);
}

TPortView* HandleOf(IModelView* v) { return dynamic_cast<TPortView*>(v); }

} // namespace

TWireView::TWireView(KInPort* in, KOutPort* out) : TVolteonView(nullptr, 0, EnsembleOf(in)), in_(in), out_(out) {
  SetContextMenu(WireMenu());
}

TWireView::~TWireView() {
  if (lastHinted == this) lastHinted = nullptr;
}

TArea TWireView::Geometry(const TPnt& out, const TPnt& in, int32_t* orientation) {
  int32_t top, bottom, o;
  if (in.Y() < out.Y()) {
    top = in.Y() - kMargin;
    bottom = out.Y() + kMargin + 1;
    o = 0;
  } else {
    top = out.Y() - kMargin;
    bottom = in.Y() + kMargin + 1;
    o = 1;
  }
  int32_t left, right;
  if (in.X() < out.X()) {
    left = in.X();
    right = out.X() + 1;
  } else {
    left = out.X();
    right = in.X() + 1;
    o = 1 - o;
  }
  if (orientation) *orientation = o;
  return TArea(left, top, right, bottom);
}

void TWireView::Attach(TTView* wnd) {
  if (!GetParent() && wnd) SetParent(wnd, 0);
  TPortView* inHandle = HandleOf(in_->GetView());
  TPortView* outHandle = HandleOf(out_->GetView());
  if (!inHandle || !outHandle) return; // a box is being made anew; it places the wire again
  const TArea area = Geometry(outHandle->GetWindowConnectionPoint(), inHandle->GetWindowConnectionPoint(), &orientation_);
  if (area != GetArea()) {
    Invalidate();
    SetArea(area);
  }
  Invalidate();
}

void TWireView::Select(int on, int exclusive) {
  if (exclusive)
    if (auto* host = dynamic_cast<IStructHost*>(GetParent())) host->DeselectAllFrom(in_->GetOwner());
  if (on) {
    if (!selected_) {
      selected_ = 1;
      Invalidate();
    }
    return;
  }
  if (selected_ && !in_->GetOwner()->IsSelected() && !out_->GetOwner()->IsSelected()) {
    selected_ = 0;
    Invalidate();
  }
}

void TWireView::ClearSelection() {
  if (!selected_) return;
  selected_ = 0;
  Invalidate();
}

int TWireView::Contains(int32_t x, int32_t y) {
  const int32_t w = GetArea().Width(), h = GetArea().Height(), d = margin_;
  if (w <= 0) return 0;
  const float s = float(h - 2 * d) / float(w);
  const int32_t y0 = orientation_ == 0 ? int32_t(float(x) * s + float(d)) : int32_t(float(h - d) - float(x) * s);
  return y0 - d <= y && y <= y0 + d;
}

void TWireView::Paint(IDrawContext* ctx, const TArea& clip) {
  (void)clip;
  const int32_t w = GetArea().Width(), h = GetArea().Height(), d = margin_;
  auto* host = dynamic_cast<IStructHost*>(GetParent());
  if (!host) return;
  IColor* color = host->WireColor(selected_);
  if (orientation_ == 0) {
    ctx->MoveTo(TPnt(0, d));
    ctx->LineTo(TPnt(w - 1, h - 1 - d), color);
  } else {
    ctx->MoveTo(TPnt(0, h - 1 - d));
    ctx->LineTo(TPnt(w - 1, d), color);
  }
}

bool TWireView::HintText(TStr& text, bool first) {
  in_->CollectSources(in_);
  KOutPort* source = in_->GetCollectedCount() > 0 ? in_->GetCollected(0) : nullptr;
  TEngineRecord* record = source ? source->GetOwner()->GetEngineRecord() : nullptr;
  if (!record) {
    if (!first) return false;
    text = TStr("Inactive");
    return true;
  }
  if (first) std::fill(std::begin(lowest), std::end(lowest), kUnsetLowest);
  const int32_t kind = source->GetKind();
  const bool mono = kind == kAudioMono || kind == kEventMono;
  const int32_t n = std::min(mono ? 1 : record->voices, kHintVoices);
  KInstr* instr = source->GetOwner()->GetInstr();
  int32_t voice = (n <= 1 || !instr) ? 0 : instr->GetNewestVoice();
  TStr out;
  for (int32_t k = 0; k < n; ++k) {
    float v;
    {
      // The audio thread writes outputs as plain words, under the engine lock.
      TLockGuard guard(EngineCriticalSection());
      v = *source->ValueFor(voice);
    }
    if (lowest[voice] == kUnsetLowest || IsEventKind(kind)) {
      lowest[voice] = highest[voice] = v;
    } else {
      lowest[voice] = std::min(lowest[voice], v);
      highest[voice] = std::max(highest[voice], v);
    }
    TStr line;
    if (n >= 2 && instr) {
      const int32_t note = instr->GetVoiceNote(voice);
      if (note < kFreeBelow) line = TStr("Note: Off, ");
      else line = TStr("Note:") + PadFront(FormatStr("%d", note), kNoteWidth) + TStr(", ");
    }
    if (lowest[voice] == highest[voice]) line = line + ValueText(v);
    else line = line + ValueText(lowest[voice]) + TStr(" ...") + ValueText(highest[voice]);
    out = k == 0 ? line : out + TStr("\n") + line;
    if (n >= 2 && instr) voice = instr->GetVoiceLink(voice);
  }
  text = out;
  return true;
}

int TWireView::GetHint(TStr& text, TArea& area) {
  (void)area;
  // The hint asks again while it shows; the first question starts the watch.
  bool shown = false;
  if (auto* wnd = dynamic_cast<TWnd*>(GetRoot()))
    if (DWnd* d = wnd->GetDWnd()) shown = d->Hint() && d->Hint()->IsShown();
  const bool first = !shown || lastHinted != this;
  lastHinted = this;
  TStr t;
  if (!HintText(t, first)) {
    if (auto* wnd = dynamic_cast<TWnd*>(GetRoot()))
      if (DWnd* d = wnd->GetDWnd(); d && d->Hint()) text = d->Hint()->Text();
    return 0;
  }
  text = t;
  return 1;
}




int TWireView::Command(int32_t id, int mode, int& result) {
  result = 0;
  if (id != cmd::kWireDelete) return 0;
  if (mode == command_mode::kEnabled) result = 1;
  if (mode != command_mode::kRun) return 1;
  KInPort* in = in_;
  KOutPort* out = out_;
  if (KEnsemble* ens = EnsembleOf(in)) ens->AddUndoStep(UndoKind::kDeleteWire, nullptr);
  // Removing the wire deletes this view: nothing of it is touched after.
  in->RemoveWire(out);
  return 1;
}
