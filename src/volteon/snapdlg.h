// The "Snapshots" dialog: stores the instrument's panel values as a numbered,
// named snapshot, overwrites or deletes a stored one, or renames one by
// storing it again under its number. Each change is one undo step.
#pragma once

#include "pc/sky/ctrl.h"
#include "pc/sky/dlg.h"

class KInstr;

namespace snapdlg {
constexpr int32_t kTemplate = 7950;
constexpr int32_t kList = 3740, kOverwrite = 3580, kDelete = 3581, kStore = 3582;
constexpr int32_t kNumber = 3620, kName = 3621;
constexpr int32_t kFirstNumber = 1, kLastNumber = 128; // as the user counts them
} // namespace snapdlg

void RegisterSnapDlgTemplate();

class TSnapPrpDlg : public TDlg {
public:
  explicit TSnapPrpDlg(KInstr* instr);

  // The handlers (public so that tests can act as the user).
  void Selected();
  void Store();
  void Overwrite();
  void Delete();
  // The number field as a slot number 1 ... 128; 0 (with the message shown)
  // when it holds none.
  int32_t ReadFields(TStr& label);

  ICtrlerMenu* list;
  ICtrlerButton *overwrite, *remove, *store;
  ICtrlerEdit *number, *name;
  int32_t SelectedSlot() const { return selected_; }

private:
  void Changed();
  KInstr* instr_;
  int32_t selected_ = 0;
};
