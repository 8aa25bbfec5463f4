#include "src/volteon/snapdlg.h"

#include "src/mod/ensemble.h"
#include "src/mod/instr.h"
#include "src/mod/mod.h"
#include "src/mod/undo.h"

#include <algorithm>
#include <string>

using namespace snapdlg;

namespace {

QV_MESSAGE(BadSnapNumber, "Snapshot number must be between 1 and 128.")

constexpr int kOkBox = 0;

int RegisterFirst() {
  RegisterSnapDlgTemplate();
  return kTemplate;
}

KEnsemble* EnsembleOf(KInstr* instr) {
  return instr && instr->GetOwner() ? dynamic_cast<KEnsemble*>(instr->GetOwner()->GetHost()) : nullptr;
}

} // namespace

void RegisterSnapDlgTemplate() {
  static bool done = false;
  if (done) return;
  done = true;
  RegisterDlgTemplate({kTemplate, "Snapshots", 195, 125, {
      DlgGroup("", 8, 4, 179, 52),
      DlgStatic(-1, "Select", 20, 17, 48, 8),
      DlgCombo(kList, 20, 26, 99, 116),
      DlgButton(kOverwrite, "Overwrite", 128, 14, 50, 14),
      DlgButton(kDelete, "Delete", 128, 36, 50, 14),
      DlgGroup("", 8, 59, 179, 38),
      DlgStatic(-1, "No", 16, 67, 20, 9),
      DlgEdit(kNumber, 16, 76, 19, 13),
      DlgStatic(-1, "Label", 40, 67, 48, 9),
      DlgEdit(kName, 40, 76, 79, 13),
      DlgDefButton(kStore, "Store", 128, 75, 50, 14),
      DlgButton(kIdCancel, "Cancel", 128, 104, 50, 14),
  }});
}

TSnapPrpDlg::TSnapPrpDlg(KInstr* instr) : TDlg(RegisterFirst()), instr_(instr) {
  list = CreateCtrlerMenu(this, kList, Handler(this, &TSnapPrpDlg::Selected));
  overwrite = CreateCtrlerButton(this, kOverwrite, Handler(this, &TSnapPrpDlg::Overwrite));
  remove = CreateCtrlerButton(this, kDelete, Handler(this, &TSnapPrpDlg::Delete));
  number = CreateCtrlerEdit(this, kNumber, TStr(), {});
  name = CreateCtrlerEdit(this, kName, TStr(), {});
  store = CreateCtrlerButton(this, kStore, Handler(this, &TSnapPrpDlg::Store));

  const int32_t current = instr->GetCurrentSnap();
  int32_t stored = 0, position = -1, first = -1, highest = -1;
  for (int32_t s = 0; s < KInstr::kSnaps; ++s) {
    if (!instr->IsSnapStored(s)) continue;
    if (first < 0) first = s;
    if (s == current) position = stored;
    highest = s;
    ++stored;
  }
  if (stored == 0) {
    list->SetEnabled(0);
    overwrite->SetEnabled(0);
    remove->SetEnabled(0);
  } else {
    selected_ = position >= 0 ? current : first;
    for (int32_t s = 0; s < KInstr::kSnaps; ++s)
      if (instr->IsSnapStored(s)) list->AddItem(FormatStr("%d - %s", int(s + 1), instr->GetSnapName(s).CStr()));
    list->SetSelection(position >= 0 ? position : 0);
  }
  if (highest == KInstr::kSnaps - 1) {
    number->SetText(FormatStr("%d", int(selected_ + 1)));
    name->SetText(instr->GetSnapName(selected_));
  } else {
    number->SetText(FormatStr("%d", int(highest + 2)));
    name->SetText(FormatStr("Snap %d", int(highest + 2)));
  }
}

void TSnapPrpDlg::Selected() {
  int k = list->GetSelection();
  if (k < 0) return;
  for (int32_t s = 0; s < KInstr::kSnaps; ++s) {
    if (!instr_->IsSnapStored(s) || k-- != 0) continue;
    number->SetText(FormatStr("%d", int(s + 1)));
    name->SetText(instr_->GetSnapName(s));
    selected_ = s;
    return;
  }
}

int32_t TSnapPrpDlg::ReadFields(TStr& label) {
  // Leading blanks, then digits up to the first other character. A long
  // run of digits is out of range, never wrapped round into it.
  const std::string text = number->GetText().Std();
  size_t i = text.find_first_not_of(" \t");
  int64_t n = 0;
  for (; i != std::string::npos && i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    n = std::min<int64_t>(n * 10 + (text[i] - '0'), kLastNumber + 1);
  if (n < kFirstNumber || n > kLastNumber) {
    ShowMessage(&BadSnapNumber(), kOkBox);
    return 0;
  }
  label = name->GetText();
  return int32_t(n);
}

void TSnapPrpDlg::Changed() {
  KEnsemble* e = EnsembleOf(instr_);
  if (e && e->GetOwner()) e->GetOwner()->RefreshCtrlBox();
  Close(0);
}

void TSnapPrpDlg::Store() {
  TStr label;
  const int32_t n = ReadFields(label);
  if (n == 0) return;
  if (KEnsemble* e = EnsembleOf(instr_)) e->AddUndoStep(UndoKind::kChangeSnapshot, nullptr);
  instr_->StoreSnap(n - 1, label);
  Changed();
}

void TSnapPrpDlg::Overwrite() {
  if (!instr_->IsSnapStored(selected_)) return;
  if (KEnsemble* e = EnsembleOf(instr_)) e->AddUndoStep(UndoKind::kChangeSnapshot, nullptr);
  const TStr keep = instr_->GetSnapName(selected_);
  instr_->StoreSnap(selected_, keep);
  Changed();
}

void TSnapPrpDlg::Delete() {
  if (!instr_->IsSnapStored(selected_)) return;
  if (KEnsemble* e = EnsembleOf(instr_)) e->AddUndoStep(UndoKind::kChangeSnapshot, nullptr);
  instr_->DeleteSnap(selected_);
  Changed();
}
