#include "src/volteon/instrdlg.h"

#include "src/base/file.h"
#include "src/mod/ensemble.h"
#include "src/mod/ensfile.h"
#include "src/mod/instr.h"
#include "src/mod/mod.h"
#include "src/mod/modwnd.h"
#include "src/mod/undo.h"
#include "src/volteon/voltwnd.h"

#include <algorithm>
#include <memory>

using namespace instrdlg;

namespace {

constexpr int32_t kVoicesMin = 1, kVoicesMax = 64;
constexpr int32_t kChannelMin = 1, kChannelMax = 16;
constexpr int32_t kKeyMin = 0, kKeyMax = 127;
constexpr int32_t kShiftMin = -127, kShiftMax = 127;

KEnsemble* EnsembleOf(KSModul* module) { return module ? dynamic_cast<KEnsemble*>(module->GetHost()) : nullptr; }

KUndo* UndoOf(KEnsemble* e) { return e && e->GetFiles() ? &e->GetFiles()->GetUndo() : nullptr; }

// The pending step of a dialog's apply: recorded at the first real change,
// reset at the end (also when a write fails half-way, so that no later edit
// commits into this dialog's step).
class TPendingStep {
public:
  explicit TPendingStep(KEnsemble* e) : undo_(UndoOf(e)) {
    if (undo_) undo_->SetPendingUndo(UndoKind::kChangeProperties, nullptr, 0);
  }
  ~TPendingStep() {
    if (undo_) undo_->ClearPendingUndo();
  }
  TPendingStep(const TPendingStep&) = delete;
  TPendingStep& operator=(const TPendingStep&) = delete;
  void Commit() {
    if (undo_) undo_->CommitPendingUndo();
  }

private:
  KUndo* undo_;
};

void RefreshCtrlBox(KEnsemble* e) {
  if (e && e->GetOwner()) e->GetOwner()->RefreshCtrlBox();
}

} // namespace

void RegisterInstrDlgTemplates() {
  static bool done = false;
  if (done) return;
  done = true;
  constexpr int32_t L1 = 14, E1 = 88, L2 = 162, E2 = 230, EW = 30;
  RegisterDlgTemplate({kPrpTemplate, "Instrument Properties", 300, 288, {
      DlgGroup("General", 6, 4, 288, 140),
      DlgStatic(-1, "Label", L1, 18, 36, 8),
      DlgEdit(kLabel, 54, 16, 100, 12),
      DlgStatic(-1, "File", L2, 18, 20, 8),
      DlgEdit(kFile, 184, 16, 102, 12),
      DlgStatic(-1, "Info", L1, 34, 36, 8),
      DlgEdit(kInfo, 54, 32, 232, 36, dlgflag::kMultiLine),
      DlgStatic(-1, "Number of Voices", L1, 76, 72, 8),
      DlgEdit(kVoices, E1, 74, EW, 12),
      DlgStatic(-1, "Tune", L2, 76, 64, 8),
      DlgEdit(kTune, E2, 74, 56, 12),
      DlgStatic(-1, "Max Unison Voices", L1, 92, 72, 8),
      DlgEdit(kMaxUnison, E1, 90, EW, 12),
      DlgStatic(-1, "Unison Spread", L2, 92, 64, 8),
      DlgEdit(kSpread, E2, 90, 56, 12),
      DlgStatic(-1, "Min Unison Voices", L1, 108, 72, 8),
      DlgEdit(kMinUnison, E1, 106, EW, 12),
      DlgCheck(kMute, "Mute", L1, 126, 60, 10),
      DlgCheck(kAutoReduce, "Automatic Voice Reduction", L2, 126, 124, 10),
      DlgGroup("MIDI", 6, 148, 288, 112),
      DlgStatic(-1, "MIDI Channel", L1, 162, 72, 8),
      DlgEdit(kChannel, E1, 160, EW, 12),
      DlgStatic(-1, "Note Shift", L2, 162, 64, 8),
      DlgEdit(kNoteShift, E2, 160, EW, 12),
      DlgStatic(-1, "Lower Note Limit", L1, 178, 72, 8),
      DlgEdit(kLowerKey, E1, 176, EW, 12),
      DlgStatic(-1, "Upper Note Limit", L2, 178, 64, 8),
      DlgEdit(kUpperKey, E2, 176, EW, 12),
      DlgStatic(-1, "Sustain Control", L1, 194, 72, 8),
      DlgEdit(kSustain, E1, 192, EW, 12),
      DlgStatic(-1, "Hold Control", L2, 194, 64, 8),
      DlgEdit(kHold, E2, 192, EW, 12),
      DlgCheck(kAllIncremental, "All Incremental", L1, 212, 130, 10),
      DlgCheck(kSoftTakeover, "Soft Takeover", L2, 212, 124, 10),
      DlgCheck(kPanelToMidi, "Panel to MIDI Out", L1, 226, 130, 10),
      DlgCheck(kRemoteToMidi, "Remote to MIDI Out", L2, 226, 124, 10),
      DlgCheck(kRecallByMidi, "Snapshot Recall by MIDI", L1, 240, 130, 10),
      DlgCheck(kRecallByParent, "Snapshot Recall by Parent", L2, 240, 124, 10),
      DlgDefButton(kIdOk, "OK", 188, 268, 50, 14),
      DlgButton(kIdCancel, "Cancel", 244, 268, 50, 14),
  }});
  RegisterDlgTemplate({kInfoTemplate, "Instrument Info", 227, 147, {
      DlgEdit(kInfoText, 7, 7, 213, 112, dlgflag::kMultiLine),
      DlgDefButton(kIdOk, "OK", 113, 126, 50, 14),
      DlgButton(kIdCancel, "Cancel", 170, 126, 50, 14),
  }});
}

namespace {
// The templates exist before the first dialog's window is built from them.
int RegisterFirst() {
  RegisterInstrDlgTemplates();
  return kPrpTemplate;
}
int RegisterFirstInfo() {
  RegisterInstrDlgTemplates();
  return kInfoTemplate;
}
} // namespace

// ---------------------------------------------------------------------------
// Properties

TInstrPrp::TInstrPrp(KSModul* module) : TDlg(RegisterFirst()), module_(module) {
  KInstr* instr = module->GetOwnInstr();
  label = CreateCtrlerEdit(this, kLabel, module->GetLabel(), {});
  info = CreateCtrlerEdit(this, kInfo, module->GetHelp(), {});
  CreateCtrlerEdit(this, kFile, module->GetFileName().GetName(1), {})->SetEnabled(0);
  mute = CreateCtrlerBoolean(this, kMute, module->IsMuted() ? 1 : 0, {});
  voices = CreateCtrlerCnt(this, kVoices, instr->GetVoices(), TStr("Number of Voices"), kVoicesMin, kVoicesMax, {});
  maxUnison = CreateCtrlerCnt(this, kMaxUnison, instr->GetMaxUnison(), TStr("Max Unison Voices"), kNoCnt, kNoCnt, {});
  minUnison = CreateCtrlerCnt(this, kMinUnison, instr->GetMinUnison(), TStr("Min Unison Voices"), kNoCnt, kNoCnt, {});
  tune = CreateCtrlerReal(this, kTune, instr->GetOwnTune(), TStr("Tune"), kNoReal, kNoReal, {});
  spread = CreateCtrlerReal(this, kSpread, instr->GetUnisonSpread(), TStr("Unison Spread"), kNoReal, kNoReal, {});
  lowerKey = CreateCtrlerCnt(this, kLowerKey, instr->GetLowerKey(), TStr("Lower Note Limit"), kKeyMin, kKeyMax, {});
  upperKey = CreateCtrlerCnt(this, kUpperKey, instr->GetUpperKey(), TStr("Upper Note Limit"), kKeyMin, kKeyMax, {});
  noteShift = CreateCtrlerCnt(this, kNoteShift, instr->GetNoteShift(), TStr("Note Shift"), kShiftMin, kShiftMax, {});
  sustain = CreateCtrlerCnt(this, kSustain, instr->GetSustainController(), TStr("Sustain Control"), kKeyMin, kKeyMax,
                            {});
  hold = CreateCtrlerCnt(this, kHold, instr->GetHoldController(), TStr("Hold Control"), kKeyMin, kKeyMax, {});
  allIncremental = CreateCtrlerBoolean(this, kAllIncremental, instr->IsAllIncremental() ? 1 : 0, {});
  panelToMidi = CreateCtrlerBoolean(this, kPanelToMidi, instr->IsPanelToMidiOut() ? 1 : 0, {});
  autoReduce = CreateCtrlerBoolean(this, kAutoReduce, module->IsAutoVoiceReduction() ? 1 : 0, {});
  softTakeover = CreateCtrlerBoolean(this, kSoftTakeover, instr->IsSoftTakeover() ? 1 : 0, {});
  remoteToMidi = CreateCtrlerBoolean(this, kRemoteToMidi, instr->IsRemoteToMidiOut() ? 1 : 0, {});
  channel = CreateCtrlerCnt(this, kChannel, instr->GetMidiChannel(), TStr("MIDI Channel"), kChannelMin, kChannelMax, {});
  recallByMidi = CreateCtrlerBoolean(this, kRecallByMidi, instr->IsSnapRecallByMidi() ? 1 : 0, {});
  recallByParent = CreateCtrlerBoolean(this, kRecallByParent, instr->IsProgramMapEnabled() ? 1 : 0, {});
  SetCaption(module->GetLabel() + TStr(" - Properties"));
}

void TInstrPrp::Apply() {
  if (!WasOk()) return;
  KSModul* m = module_;
  KInstr* instr = m->GetOwnInstr();
  KEnsemble* e = EnsembleOf(m);
  TPendingStep step(e);
  bool redrawBox = false, refreshPanels = false;
  if (label->IsModified()) {
    step.Commit();
    const TStr text = label->GetText();
    m->SetLabel(text);
    EPtr<IFileName> name(CreateFileName());
    name->Assign(m->GetFileName());
    name->SetName(text);
    m->SetFileName(*name);
    RetitleWindowsOf(m);
    RefreshCtrlBox(e);
    redrawBox = refreshPanels = true;
  }
  if (info->IsModified()) {
    step.Commit();
    m->SetHelp(info->GetText());
  }
  if (mute->IsModified()) {
    step.Commit();
    if (mute->GetValue()) m->Mute();
    else m->Unmute();
    redrawBox = refreshPanels = true;
  }
  if (voices->IsModified() || maxUnison->IsModified() || minUnison->IsModified()) {
    step.Commit();
    instr->SetVoices(voices->GetValue(), maxUnison->GetValue(), minUnison->GetValue());
    RefreshCtrlBox(e);
  }
  if (lowerKey->IsModified() || upperKey->IsModified()) {
    // Stored as typed: a range upside down is the user's to set.
    step.Commit();
    instr->SetKeyRange(lowerKey->GetValue(), upperKey->GetValue());
  }
  if (noteShift->IsModified()) {
    step.Commit();
    instr->SetNoteShift(noteShift->GetValue());
  }
  if (sustain->IsModified()) {
    step.Commit();
    instr->SetSustainController(sustain->GetValue());
  }
  if (hold->IsModified()) {
    step.Commit();
    instr->SetHoldController(hold->GetValue());
  }
  if (channel->IsModified()) {
    step.Commit();
    instr->SetMidiChannel(channel->GetValue());
    RefreshCtrlBox(e);
  }
  if (recallByMidi->IsModified()) {
    step.Commit();
    instr->SetSnapRecallByMidi(recallByMidi->GetValue() != 0);
  }
  if (recallByParent->IsModified()) {
    step.Commit();
    instr->SetProgramMapEnabled(recallByParent->GetValue() != 0);
  }
  if (tune->IsModified()) {
    step.Commit();
    instr->SetTune(tune->GetValue(), false);
  }
  if (spread->IsModified()) {
    step.Commit();
    instr->SetUnisonSpread(std::clamp(spread->GetValue(), kSpreadMin, kSpreadMax));
  }
  if (autoReduce->IsModified()) {
    step.Commit();
    m->SetAutoVoiceReduction(autoReduce->GetValue() != 0);
  }
  if (allIncremental->IsModified()) {
    step.Commit();
    instr->SetAllIncremental(allIncremental->GetValue() != 0);
  }
  if (softTakeover->IsModified()) {
    step.Commit();
    instr->SetSoftTakeover(softTakeover->GetValue() != 0);
  }
  if (panelToMidi->IsModified()) {
    step.Commit();
    instr->SetPanelToMidiOut(panelToMidi->GetValue() != 0);
  }
  if (remoteToMidi->IsModified()) {
    step.Commit();
    instr->SetRemoteToMidiOut(remoteToMidi->GetValue() != 0);
  }
  if (redrawBox && e && e->GetWindows() && m->GetBoxView()) e->GetWindows()->InvalidateView(m->GetBoxView());
  if (refreshPanels) m->SetCtrlStyle(m->GetCtrlStyle());
}

// ---------------------------------------------------------------------------
// Info

TInstrInfo::TInstrInfo(KSModul* module) : TDlg(RegisterFirstInfo()), module_(module) {
  info = CreateCtrlerEdit(this, kInfoText, module->GetHelp(), {});
  SetCaption(module->GetLabel() + TStr(" - Info"));
}

void TInstrInfo::Apply() {
  if (!WasOk()) return;
  TPendingStep step(EnsembleOf(module_));
  if (info->IsModified()) {
    step.Commit();
    module_->SetHelp(info->GetText());
  }
}

std::unique_ptr<TInstrPrp> CreateInstrPrp(KSModul* module) {
  if (!module || !module->IsCategory(kCatInstrument)) return nullptr;
  return std::make_unique<TInstrPrp>(module);
}

std::unique_ptr<TInstrInfo> CreateInstrInfo(KSModul* module) {
  if (!module || !module->IsCategory(kCatInstrument)) return nullptr;
  return std::make_unique<TInstrInfo>(module);
}

void RunInstrPrp(KSModul* module) {
  std::unique_ptr<TInstrPrp> dlg = CreateInstrPrp(module);
  if (!dlg) return;
  dlg->Execute();
  dlg->Apply();
}

void RunInstrInfo(KSModul* module) {
  std::unique_ptr<TInstrInfo> dlg = CreateInstrInfo(module);
  if (!dlg) return;
  dlg->Execute();
  dlg->Apply();
}
