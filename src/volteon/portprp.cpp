#include "src/volteon/portprp.h"

#include "src/mod/ensemble.h"
#include "src/mod/mod.h"
#include "src/mod/modul_def.h"
#include "src/mod/port.h"

void RegisterPortPrp() {
  RegisterDlgTemplate({dlgid::kPortPrp, "PortProperties", 152, 113, {
    DlgStatic(-1, "Label", 7, 9, 30, 8),
    DlgEdit(ctlid::kPortLabel, 40, 7, 105, 12),
    DlgStatic(-1, "Type", 7, 25, 30, 8),
    DlgEdit(ctlid::kPortType, 40, 23, 105, 12),
    DlgCheck(ctlid::kPortMute, "Mute", 40, 40, 45, 10),
    DlgCheck(ctlid::kPortMono, "Mono", 95, 40, 45, 10),
    DlgStatic(-1, "Info", 7, 57, 30, 8),
    DlgEdit(ctlid::kPortInfo, 40, 55, 105, 30),
    DlgDefButton(kIdOk, "OK", 40, 92, 50, 14),
    DlgButton(kIdCancel, "Cancel", 95, 92, 50, 14),
  }});
}

namespace {
bool IsMonoKind(int32_t kind) { return kind == kAudioMono || kind == kEventMono; }
} // namespace

TPortPrp::TPortPrp(KInPort* in, KOutPort* out) : TDlg(dlgid::kPortPrp), in_(in), out_(out) {
  const bool isIn = in_ != nullptr;
  const TStr& label = isIn ? in_->GetLabel() : out_->GetLabel();
  const TStr& info = isIn ? in_->GetInfo() : out_->GetInfo();
  const int32_t kind = isIn ? in_->GetKind() : out_->GetKind();
  const KPortDef* def = isIn ? in_->GetDefinition() : out_->GetDef();
  SetCaption(label.IsEmpty() ? TStr(isIn ? "In - Properties" : "Out - Properties") : label + TStr(" - Properties"));
  label_ = CreateCtrlerEdit(this, ctlid::kPortLabel, label, {});
  label_->SetEnabled(def ? (def->labelIsUser ? 1 : 0) : (label.IsEmpty() ? 0 : 1));
  const bool audio = IsAudioKind(kind);
  type_ = CreateCtrlerEdit(this, ctlid::kPortType,
                           TStr(isIn ? (audio ? "Audio In" : "Event In") : (audio ? "Audio Out" : "Event/Audio Out")), {});
  type_->SetEnabled(0);
  info_ = CreateCtrlerEdit(this, ctlid::kPortInfo, info, {});
  info_->SetEnabled(!def || def->helpIsUser ? 1 : 0);
  mono_ = CreateCtrlerBoolean(this, ctlid::kPortMono, IsMonoKind(kind) ? 1 : 0, {});
  mono_->SetEnabled(0);
  mute_ = CreateCtrlerBoolean(this, ctlid::kPortMute, (isIn ? in_->IsMuted() : out_->IsMuted()) ? 1 : 0, {});
}

TPortPrp::~TPortPrp() = default;

int TPortPrp::Apply() {
  if (!WasOk()) return 0;
  int changed = 0;
  if (label_->IsModified()) {
    if (in_) in_->SetName(label_->GetText());
    else out_->SetLabel(label_->GetText());
    changed = 1;
  }
  if (info_->IsModified()) {
    if (in_) in_->SetInfo(info_->GetText());
    else out_->SetInfo(info_->GetText());
    changed = 1;
  }
  if (mute_->IsModified()) {
    const bool on = mute_->GetValue() != 0;
    if (in_) {
      if (on) in_->SetMute();
      else in_->ClearMute();
    } else {
      if (on) out_->Mute();
      else out_->Unmute();
    }
    changed = 1;
  }
  // Port edits record no undo step; the ensemble still has to be saved.
  if (changed) {
    KSModul* m = in_ ? in_->GetOwner() : out_->GetOwner();
    if (KModelHost* host = m ? m->GetHost() : nullptr) host->MarkModified();
  }
  return changed;
}

std::unique_ptr<TPortPrp> CreatePortPrp(KInPort* in, KOutPort* out) {
  if ((in == nullptr) == (out == nullptr)) return nullptr;
  return std::make_unique<TPortPrp>(in, out);
}

int RunPortPrp(KInPort* in, KOutPort* out) {
  std::unique_ptr<TPortPrp> dlg = CreatePortPrp(in, out);
  if (!dlg) return 0;
  dlg->Execute();
  return dlg->Apply();
}
