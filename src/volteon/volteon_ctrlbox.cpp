// The application's side of the control box: building and opening it, the
// menu commands that reach it, and the ensemble's questions about the
// current instrument and the audio switch.
#include "src/volteon/ctrlbox.h"
#include "src/volteon/volteon.h"
#include "src/volteon/panelwnd.h"

#include "pc/sky/menu.h"
#include "src/engine/audioio.h"
#include "src/mod/instr.h"

namespace {
// The tempo field's own number format with the mark of external sync.
constexpr char kTempoSyncFormat[] = "%3.4g ext";
} // namespace

void TVolteon::CreateCtrlBox(QMainWindow* frame) {
  if (!ctrlBox_) ctrlBox_ = ::CreateCtrlBox(this, frame);
  if (ctrlBox_) ctrlBox_->SetInstr(currentInstr_, nullptr);
  if (ctrlBox_ && panels_) panels_->SetDisplaysRunElsewhere(true);
}

void TVolteon::OpenCtrlBox() {
  auto* box = AsCtrlBox(ctrlBox_);
  if (!box) return;
  box->Open();
  // The start-up runs the hint toggle once, and LoadSettings once more, so
  // that the stored state comes out again.
  box->ToggleHints();
  box->LoadSettings();
}

int TVolteon::CtrlBoxCommand(int32_t id, int mode, int& result) {
  if (id != cmd::kStopAudio && id != cmd::kEnsembleToolbar && id != cmd::kInstrumentToolbar && id != cmd::kShowHints)
    return 0;
  if (mode == command_mode::kEnabled) {
    result = ctrlBox_ ? 1 : 0;
    return 1;
  }
  if (mode != command_mode::kRun || !ctrlBox_) return 1;
  switch (id) {
  case cmd::kStopAudio: ctrlBox_->RunStopAudio(); break;
  case cmd::kEnsembleToolbar: ctrlBox_->ToggleEnsembleBox(); break;
  case cmd::kInstrumentToolbar: ctrlBox_->ToggleInstrumentBox(); break;
  case cmd::kShowHints: ctrlBox_->ToggleHints(); break;
  default: break;
  }
  return 1;
}

bool TVolteon::IsAudioRunning() { return ctrlBox_ ? ctrlBox_->IsAudioRunning() : audioRunning_; }

void TVolteon::SwitchAudioOff() {
  if (ctrlBox_) {
    if (ctrlBox_->IsAudioRunning()) ctrlBox_->RunStopAudio();
    ctrlBox_->PostRefresh();
    return;
  }
  audioRunning_ = false;
}

void TVolteon::RefreshCtrlBox() {
  if (!ctrlBox_) return;
  ctrlBox_->PostSaveRefresh();
  ctrlBox_->PostRefresh();
}

KInstr* TVolteon::GetCurrentInstr() { return ctrlBox_ ? ctrlBox_->GetInstr() : currentInstr_; }

void TVolteon::SetCurrentInstr(KInstr* instr) {
  currentInstr_ = instr;
  if (ctrlBox_) ctrlBox_->SetInstr(instr, nullptr);
}

void TVolteon::ForgetInstr(KInstr* instr) {
  if (currentInstr_ == instr) currentInstr_ = nullptr;
  if (ctrlBox_ && ctrlBox_->GetInstr() == instr) ctrlBox_->ForgetInstr();
}

void TVolteon::ShowClockSettings(float tempo, bool externalSync) {
  (void)externalSync; // the engine's flag, which the display reads
  if (ctrlBox_) ctrlBox_->SetTempo(tempo);
  UpdateSyncDisplay();
}

void TVolteon::UpdateSyncDisplay() {
  const bool sync = IsExternalSync();
  if (ctrlBox_) {
    ctrlBox_->SetTempoFormat(sync ? TStr(kTempoSyncFormat) : TStr());
    if (!sync)
      if (auto* a = dynamic_cast<TAudioInOut*>(ensemble_->GetAudio())) ctrlBox_->SetTempo(a->GetTempo());
  }
  if (IMenu* m = Menu()) m->CheckItem(cmd::kExternalSync, sync ? 1 : 0, menu::kByCommand);
}
