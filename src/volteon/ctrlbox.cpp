#include "src/volteon/ctrlbox.h"

#include "src/base/settings.h"
#include "src/engine/audioio.h"
#include "src/engine/module_types.h"
#include "src/mod/ensemble.h"
#include "src/mod/instr.h"
#include "src/mod/midi_port.h"
#include "src/mod/mod.h"
#include "src/volteon/instrdlg.h"
#include "src/volteon/snapdlg.h"
#include "src/volteon/volteon.h"

#include <QDockWidget>
#include <QWidget>

#include <cstring>

#include <cmath>

namespace {

// Gadget widths and gaps (pixels).
constexpr int32_t kGapWide = 8, kGapNarrow = 4, kGapTight = 2;
constexpr int32_t kUsageWidth = 30;
constexpr int32_t kListHeight = 200;
constexpr int32_t kRateWidth = 68, kInstrListWidth = 100, kSnapListWidth = 140;
constexpr int32_t kTempoWidth = 30, kSmallValueWidth = 20;
constexpr float kTempoDefault = 120.0f, kTempoMin = 20.0f, kTempoMax = 500.0f;
constexpr float kVoicesMin = 1.0f, kVoicesMax = 64.0f, kChannelMax = 64.0f;
constexpr int32_t kUnchanged = -1;
constexpr int32_t kMeterOff = 0, kMeterIdle = 1;
constexpr int32_t kLampDark = 0, kLampLit = 1;

// The tool tips: the text after the newline of each hint.
struct THint {
  int32_t id;
  const char* text;
};
constexpr THint kHintTable[] = {
    {boxid::kUsage, "\nProcessor Usage"},
    {boxid::kInSymbol, "\nAudio Input Level"},
    {boxid::kInLeft, "\nLeft Audio Input Level"},
    {boxid::kInRight, "\nRight Audio Input Level"},
    {boxid::kOutSymbol, "\nAudio Output Level"},
    {boxid::kOutLeft, "\nLeft Audio Output Level"},
    {boxid::kOutRight, "\nRight Audio Output Level"},
    {boxid::kMidiLamp, "\nGlobal MIDI Activity"},
    {boxid::kNew, "\nNew Ensemble (Ctrl+N)"},
    {boxid::kOpen, "\nOpen...  (Ctrl+O)"},
    {boxid::kSave, "\nSave Ensemble"},
    {boxid::kRunStop, "\nRun/Stop Audio (Num 0)"},
    {boxid::kHints, "\nShow Hints"},
    {boxid::kClosePanels, "\nClose All Panels"},
    {boxid::kCloseStructures, "\nClose All Structures"},
    {boxid::kPanelsToFront, "\nAll Panels to Front"},
    {boxid::kClockStop, "\nStop"},
    {boxid::kClockStart, "\nStart"},
    {boxid::kRate, "\nSample Rate of the Ensemble"},
    {boxid::kVoices, "\nNumber of Voices"},
    {boxid::kVoicesSpin, "\nNumber of Voices"},
    {boxid::kUnison, "\nMax Number of Unison Voices"},
    {boxid::kUnisonSpin, "\nMax Number of Unison Voices"},
    {boxid::kChannel, "\nMIDI Channel of the Instrument"},
    {boxid::kChannelSpin, "\nMIDI Channel of the Instrument"},
    {boxid::kInstrLamp, "\nInstrument MIDI Activity"},
    {boxid::kGotoPanel, "\nGoto Panel (Ctrl+B)"},
    {boxid::kGotoStructure, "\nGoto Structure (Ctrl+B)"},
    {boxid::kInfo, "\nInstrument Info..."},
    {boxid::kProperties, "\nInstrument Properties..."},
    {boxid::kSolo, "\nSolo"},
    {boxid::kMute, "\nMute"},
    {boxid::kSnapDialog, "\nStore, Delete or Rename Snapshot... (Ctrl+T)"},
    {boxid::kSnapReload, "\nReload Last Snapshot"},
    {boxid::kLearn, "\nMIDI Learn (Ctrl+I)"},
    {boxid::kLock, "\nLock (Ctrl+L)"},
    {boxid::kInstrList, "\nSelect Instr"},
    {boxid::kSnapList, "\nRecall Snapshot"},
};

QString TipOf(const char* hint) {
  const char* nl = std::strchr(hint, '\n');
  return QString::fromUtf8(nl ? nl + 1 : hint);
}

void EnableButton(ICtrlerButton* b, bool enabled, bool down) {
  b->SetEnabled(enabled ? 1 : 0);
  b->SetDown(enabled && down ? 1 : 0);
}

// Runs a dialog's apply step; an error it raises is shown here, where the
// user's click ended.
template <class F> void ShowingErrors(F&& f) {
  try {
    f();
  } catch (...) {
    RecordCurrentException();
    ShowLastError();
  }
}

} // namespace

int32_t LevelToFrame(float level) {
  if (level >= 1.0f) return 5;
  if (level >= 0.31623f) return 4;
  if (level >= 0.1f) return 3;
  if (level >= 0.031623f) return 2;
  if (level >= 0.01f) return 1;
  return 0;
}

constexpr float TCtrlBox::kRateFactors[6];

TCtrlBox::TCtrlBox(IVolteon* owner, QMainWindow* frame) : TToolWnd(frame), owner_(owner) {
  SetCaption(TStr("Control Box"));
  using namespace boxid;
  namespace pic = pictureid;
  auto command = [this](int32_t id) { return [this, id] { RunOwnerCommand(id); }; };
  // The ensemble bar.
  CreateCtrlerButtonGadget(this, kNew, pic::kNew, command(cmd::kNewEnsemble), 0, 0);
  CreateCtrlerButtonGadget(this, kOpen, pic::kOpen, command(cmd::kOpen), 0, 0);
  save_ = CreateCtrlerButtonGadget(this, kSave, pic::kSave, command(cmd::kSaveEnsemble), 0, 0);
  PostSaveRefresh();
  CreateCtrlerSeparator(this, kGapWide);
  runStop_ = CreateCtrlerButtonGadget(this, kRunStop, pic::kRunStop, Handler(this, &TCtrlBox::RunStopAudio), 1, 1);
  CreateCtrlerSeparator(this, kGapWide);
  usage_ = CreateCtrlerTextGadget(this, kUsage, kUsageWidth, {});
  CreateCtrlerSeparator(this, kGapNarrow);
  CreateCtrlerBmp(this, kInSymbol, pic::kInSymbol, 1, 0, {});
  CreateCtrlerSeparator(this, kGapTight);
  inLeft_ = CreateCtrlerBmp(this, kInLeft, pic::kMeter, pic::kMeterCels, kMeterOff, {});
  inRight_ = CreateCtrlerBmp(this, kInRight, pic::kMeter, pic::kMeterCels, kMeterOff, {});
  CreateCtrlerSeparator(this, kGapNarrow);
  CreateCtrlerBmp(this, kOutSymbol, pic::kOutSymbol, 1, 0, {});
  CreateCtrlerSeparator(this, kGapTight);
  outLeft_ = CreateCtrlerBmp(this, kOutLeft, pic::kMeter, pic::kMeterCels, kMeterOff, {});
  outRight_ = CreateCtrlerBmp(this, kOutRight, pic::kMeter, pic::kMeterCels, kMeterOff, {});
  CreateCtrlerSeparator(this, kGapWide);
  rate_ = CreateCtrlerMenuGadget(this, kRate, TPnt(kRateWidth, kListHeight), Handler(this, &TCtrlBox::RateChosen));
  CreateCtrlerSeparator(this, kGapNarrow);
  midiLamp_ = CreateCtrlerBmp(this, kMidiLamp, pic::kLamp, pic::kLampCels, kLampDark, {});
  CreateCtrlerSeparator(this, kGapNarrow);
  hints_ = CreateCtrlerButtonGadget(this, kHints, pic::kHints, Handler(this, &TCtrlBox::ToggleHints), 1, 1);
  CreateCtrlerButtonGadget(this, kClosePanels, pic::kClosePanels, command(cmd::kCloseAllPanels), 0, 0);
  CreateCtrlerButtonGadget(this, kCloseStructures, pic::kCloseStructures, command(cmd::kCloseAllStructures), 0, 0);
  CreateCtrlerButtonGadget(this, kPanelsToFront, pic::kPanelsToFront, command(cmd::kPanelsToFront), 0, 0);
  CreateCtrlerSeparator(this, kGapWide);
  clockStop_ = CreateCtrlerButtonGadget(this, kClockStop, pic::kClockStop, Handler(this, &TCtrlBox::ClockStop), 0, 0);
  clockStart_ =
      CreateCtrlerButtonGadget(this, kClockStart, pic::kClockStart, Handler(this, &TCtrlBox::ClockStart), 0, 0);
  CreateCtrlerSeparator(this, kGapWide);
  tempo_ = CreateCtrlerValue(this, kTempo, kTempoSpin, kTempoWidth, kTempoDefault, TStr("BPM"), kTempoMin, kTempoMax,
                             0, 1.0f, Handler(this, &TCtrlBox::TempoChanged));
  CreateCtrlerSeparator(this, -1);
  // The instrument bar.
  instrList_ =
      CreateCtrlerMenuGadget(this, kInstrList, TPnt(kInstrListWidth, kListHeight), Handler(this, &TCtrlBox::InstrChosen));
  CreateCtrlerSeparator(this, kGapWide);
  gotoPanel_ = CreateCtrlerButtonGadget(this, kGotoPanel, pic::kGotoPanel, Handler(this, &TCtrlBox::GotoPanel), 0, 0);
  gotoStructure_ =
      CreateCtrlerButtonGadget(this, kGotoStructure, pic::kGotoStructure, Handler(this, &TCtrlBox::GotoStructure), 0, 0);
  CreateCtrlerSeparator(this, kGapWide);
  info_ = CreateCtrlerButtonGadget(this, kInfo, pic::kInfo, Handler(this, &TCtrlBox::OpenInfo), 0, 0);
  properties_ =
      CreateCtrlerButtonGadget(this, kProperties, pic::kProperties, Handler(this, &TCtrlBox::OpenProperties), 0, 0);
  CreateCtrlerSeparator(this, kGapWide);
  solo_ = CreateCtrlerButtonGadget(this, kSolo, pic::kSolo, Handler(this, &TCtrlBox::SoloClicked), 1, 0);
  mute_ = CreateCtrlerButtonGadget(this, kMute, pic::kMute, Handler(this, &TCtrlBox::MuteClicked), 1, 0);
  CreateCtrlerSeparator(this, kGapWide);
  lock_ = CreateCtrlerButtonGadget(this, kLock, pic::kLock, Handler(this, &TCtrlBox::LockClicked), 1, 0);
  CreateCtrlerSeparator(this, kGapWide);
  snapList_ =
      CreateCtrlerMenuGadget(this, kSnapList, TPnt(kSnapListWidth, kListHeight), Handler(this, &TCtrlBox::SnapChosen));
  CreateCtrlerSeparator(this, kGapWide);
  snapDialog_ =
      CreateCtrlerButtonGadget(this, kSnapDialog, pic::kSnapDialog, Handler(this, &TCtrlBox::OpenSnapDialog), 0, 0);
  snapReload_ = CreateCtrlerButtonGadget(this, kSnapReload, pic::kSnapReload, Handler(this, &TCtrlBox::ReloadSnap), 0, 0);
  CreateCtrlerSeparator(this, kGapWide);
  voices_ = CreateCtrlerValue(this, kVoices, kVoicesSpin, kSmallValueWidth, 1.0f, TStr("Voices"), kVoicesMin,
                              kVoicesMax, 0, 1.0f, Handler(this, &TCtrlBox::VoicesChanged));
  CreateCtrlerSeparator(this, kGapWide);
  unison_ = CreateCtrlerValue(this, kUnison, kUnisonSpin, kSmallValueWidth, 1.0f, TStr("Max. Unison Voices"),
                              kVoicesMin, kVoicesMax, 0, 1.0f, Handler(this, &TCtrlBox::UnisonChanged));
  CreateCtrlerSeparator(this, kGapWide);
  learn_ = CreateCtrlerButtonGadget(this, kLearn, pic::kLearn, Handler(this, &TCtrlBox::LearnClicked), 1, 0);
  CreateCtrlerSeparator(this, kGapNarrow);
  instrLamp_ = CreateCtrlerBmp(this, kInstrLamp, pic::kLamp, pic::kLampCels, kLampDark, {});
  CreateCtrlerSeparator(this, kGapNarrow);
  channel_ = CreateCtrlerValue(this, kChannel, kChannelSpin, kSmallValueWidth, 1.0f, TStr("MIDI Channel"), kVoicesMin,
                               kChannelMax, 0, 1.0f, Handler(this, &TCtrlBox::ChannelChanged));

  // Whole numbers without the padding of the default format.
  for (ICtrlerValue* v : {voices_, unison_, channel_}) v->SetFormat(TStr("%.0f"));
  audioRunning_ = ctrlBoxShown_ = ensembleShown_ = instrumentShown_ = true;
  usageTicks_ = 0;
  hintsShown_ = ReadSettingInt(TStr(setting::ShowHints), 1) != 0;
  StartTimer(kTimerMs);
  if (KEnsemble* e = Ensemble()) AddViewSlot(e->GetRateFactorValue(), &TCtrlBox::FollowRate, TStr(), 1);
  AddViewSlot(GetSampleRateValue(), &TCtrlBox::RebuildRates, TStr(), 1);
  // Nothing of the instrument bar works before an instrument is chosen.
  Refresh(kRefreshAll);
}

TCtrlBox::~TCtrlBox() {
  DestructorBody([&] { SaveSettings(); });
}

void TCtrlBox::SaveSettings() {
  WriteSettingInt(TStr(setting::ShowCtrlBox), ctrlBoxShown_ ? 1 : 0);
  WriteSettingInt(TStr(setting::ShowEnsembleBox), ensembleShown_ ? 1 : 0);
  WriteSettingInt(TStr(setting::ShowInstrumentBox), instrumentShown_ ? 1 : 0);
  WriteSettingInt(TStr(setting::ShowHints), hintsShown_ ? 1 : 0);
  // The view slots go with the view.
}

void TCtrlBox::Open() {
  TToolWnd::Open();
  ApplyHints();
}

KEnsemble* TCtrlBox::Ensemble() const { return owner_ ? owner_->GetEnsemble() : nullptr; }

IAudioInOut* TCtrlBox::Audio() const {
  KEnsemble* e = Ensemble();
  return e ? e->GetAudio() : nullptr;
}

KSModul* TCtrlBox::InstrModule() const {
  KInstr* instr = instr_.load();
  return instr ? instr->GetOwner() : nullptr;
}

void TCtrlBox::RunOwnerCommand(int32_t id) {
  auto* view = dynamic_cast<TTView*>(owner_);
  int result = 0;
  if (view) view->Command(id, command_mode::kRun, result);
}

// ---------------------------------------------------------------------------
// Refresh

void TCtrlBox::Refresh(int flag) {
  if (flag == kRefreshSave) {
    KEnsemble* e = Ensemble();
    save_->SetEnabled(e && e->IsClean() == 0 ? 1 : 0);
    return;
  }
  if (flag != kRefreshAll) return;
  KSModul* m = InstrModule();
  KInstr* instr = instr_.load();
  const bool has = instr != nullptr;
  RefreshInstrList();
  gotoPanel_->SetEnabled(has);
  gotoStructure_->SetEnabled(has);
  info_->SetEnabled(has);
  properties_->SetEnabled(has);
  RefreshClock();
  KEnsemble* e = Ensemble();
  const bool isTop = m && e && m == e->GetTopModule();
  EnableButton(solo_, has && !isTop, m && m->IsSolo());
  EnableButton(mute_, has, m && m->IsMuted());
  EnableButton(lock_, has, m && m->IsPanelLocked());
  RefreshSnapList();
  snapDialog_->SetEnabled(has);
  snapReload_->SetEnabled(has);
  RefreshVoices();
  RefreshUnison();
  EnableButton(learn_, has, instr && instr->GetControllerMode());
  RefreshChannel();
}

void TCtrlBox::RefreshClock() {
  IAudioInOut* a = Audio();
  const bool running = a && a->IsClockRunning();
  clockStart_->SetDown(running);
  clockStop_->SetDown(!running);
}

void TCtrlBox::RefreshVoices() {
  KInstr* instr = instr_.load();
  voices_->SetEnabled(instr != nullptr);
  voices_->SetValue(instr ? float(instr->GetVoices()) : kNoReal);
}

void TCtrlBox::RefreshUnison() {
  KInstr* instr = instr_.load();
  unison_->SetEnabled(instr != nullptr);
  unison_->SetValue(instr ? float(instr->GetMaxUnison()) : kNoReal);
}

void TCtrlBox::RefreshChannel() {
  KInstr* instr = instr_.load();
  channel_->SetEnabled(instr != nullptr);
  channel_->SetValue(instr ? float(instr->GetMidiChannel()) : kNoReal);
}

void TCtrlBox::RefreshInstrList() {
  if (listIndex_ != -1) return;
  KInstr* current = instr_.load();
  KEnsemble* e = Ensemble();
  if (!current || !e || !e->GetTopModule()) {
    instrList_->Clear();
    instrList_->SetSelection(-1);
    instrList_->SetEnabled(0);
    return;
  }
  instrList_->SetEnabled(1);
  instrList_->Clear();
  listIndex_ = 0;
  int selection = -1;
  e->GetTopModule()->Walk([&](KSModul* m) {
    if (!m->IsCategory(kCatInstrument)) return;
    instrList_->AddItem(m->GetLabel());
    if (m->GetOwnInstr() == current) selection = listIndex_;
    ++listIndex_;
  });
  instrList_->SetSelection(selection);
  listIndex_ = -1;
}

int32_t TCtrlBox::StoredSnap(int k) const {
  KInstr* instr = instr_.load();
  if (!instr || k < 0) return -1;
  for (int32_t s = 0; s < KInstr::kSnaps; ++s)
    if (instr->IsSnapStored(s) && k-- == 0) return s;
  return -1;
}

void TCtrlBox::RefreshSnapList() {
  KInstr* instr = instr_.load();
  if (!instr || StoredSnap(0) < 0) {
    snapList_->Clear();
    snapList_->SetSelection(-1);
    snapList_->SetEnabled(0);
    return;
  }
  const int32_t current = instr->GetCurrentSnap();
  int selection = 0;
  int n = 0;
  snapList_->SetEnabled(1);
  snapList_->Clear();
  for (int32_t s = 0; s < KInstr::kSnaps; ++s) {
    if (!instr->IsSnapStored(s)) continue;
    if (s == current) selection = n;
    snapList_->AddItem(FormatStr("%d - %s", int(s + 1), instr->GetSnapName(s).CStr()));
    ++n;
  }
  snapList_->SetSelection(selection);
}

// ---------------------------------------------------------------------------
// The current instrument

void TCtrlBox::SetInstr(KInstr* instr, const void* windowTag) {
  if (instr == instr_.load() && windowTag == windowTag_) return;
  instr_.store(instr);
  windowTag_ = windowTag;
  Refresh(kRefreshAll);
}

void TCtrlBox::ForgetInstr() {
  // The instrument is going: nothing of the bar may reach it any more, so
  // the controls that would are disabled at once.
  instr_.store(nullptr);
  windowTag_ = nullptr;
  Refresh(kRefreshAll);
}

// ---------------------------------------------------------------------------
// Bars and hints

void TCtrlBox::ShowEnsemble() {
  if (ensembleShown_) return;
  TToolWnd::ShowEnsembleBox();
  ensembleShown_ = true;
  if (owner_) owner_->SetMenuText(cmd::kEnsembleToolbar, TStr("Hide &Ensemble Toolbar"));
}

void TCtrlBox::HideEnsemble() {
  if (!ensembleShown_) return;
  TToolWnd::HideEnsembleBox();
  ensembleShown_ = false;
  if (owner_) owner_->SetMenuText(cmd::kEnsembleToolbar, TStr("Show &Ensemble Toolbar"));
}

void TCtrlBox::ShowInstrument() {
  if (instrumentShown_) return;
  TToolWnd::ShowInstrumentBox();
  instrumentShown_ = true;
  if (owner_) owner_->SetMenuText(cmd::kInstrumentToolbar, TStr("Hide &Instrument Toolbar"));
}

void TCtrlBox::HideInstrument() {
  if (!instrumentShown_) return;
  TToolWnd::HideInstrumentBox();
  instrumentShown_ = false;
  if (owner_) owner_->SetMenuText(cmd::kInstrumentToolbar, TStr("Show &Instrument Toolbar"));
}

void TCtrlBox::ToggleEnsembleBox() {
  if (ensembleShown_) HideEnsemble();
  else ShowEnsemble();
}

void TCtrlBox::ToggleInstrumentBox() {
  if (instrumentShown_) HideInstrument();
  else ShowInstrument();
}

void TCtrlBox::ToggleHints() {
  hintsShown_ = !hintsShown_;
  ApplyHints();
}

void TCtrlBox::ApplyHints() {
  hints_->SetDown(hintsShown_);
  if (owner_) owner_->SetMenuText(cmd::kShowHints, TStr(hintsShown_ ? "Hide &Hints\tCtrl+H" : "Show &Hints\tCtrl+H"));
  SetHintsEnabled(hintsShown_ ? 1 : 0);
  DToolWnd* d = GetDToolWnd();
  if (!d) return;
  for (const THint& h : kHintTable)
    if (QWidget* w = d->FindControl(h.id)) w->setToolTip(hintsShown_ ? TipOf(h.text) : QString());
}

void TCtrlBox::LoadSettings() {
  ToggleHints();
  ClockStart();
  if (ReadSettingInt(TStr(setting::ShowEnsembleBox), 1) == 0) HideEnsemble();
  else TToolWnd::ShowEnsembleBox();
  if (ReadSettingInt(TStr(setting::ShowInstrumentBox), 1) == 0) HideInstrument();
  else TToolWnd::ShowInstrumentBox();
}

// ---------------------------------------------------------------------------
// The ensemble bar

void TCtrlBox::SetMeters(int32_t frame) {
  for (ICtrlerBmp* m : {inLeft_, inRight_, outLeft_, outRight_}) m->SelectImage(frame);
}

void TCtrlBox::RunStopAudio() {
  KEnsemble* e = Ensemble();
  IAudioInOut* a = Audio();
  if (audioRunning_) {
    if (a) a->Pause();
    runStop_->SetDown(0);
    audioRunning_ = false;
    if (owner_) owner_->SetMenuText(cmd::kStopAudio, TStr("Run &Audio\tNum 0"));
    SetMeters(kMeterOff);
    if (e && e->GetTopModule()) e->GetTopModule()->PrepareMute();
    return;
  }
  if (e && e->GetTopModule()) {
    KSModul* top = e->GetTopModule();
    TStructureChange change(top);
    top->DetachFromEngine();
    top->AttachToEngine();
  }
  if (a) a->Resume();
  runStop_->SetDown(1);
  audioRunning_ = true;
  if (owner_) owner_->SetMenuText(cmd::kStopAudio, TStr("Stop &Audio\tNum 0"));
  SetMeters(kMeterIdle);
}

void TCtrlBox::ClockStart() {
  if (IAudioInOut* a = Audio()) a->StartClock();
  clockStart_->SetDown(1);
  clockStop_->SetDown(0);
}

void TCtrlBox::ClockStop() {
  if (IAudioInOut* a = Audio()) a->StopClock();
  clockStart_->SetDown(0);
  clockStop_->SetDown(1);
}

void TCtrlBox::TempoChanged() {
  if (auto* a = dynamic_cast<TAudioInOut*>(Audio())) a->SetTempo(tempo_->GetValue());
}

void TCtrlBox::RebuildRates() {
  const int selected = rate_->GetSelection();
  rate_->Clear();
  for (float f : kRateFactors) {
    TStr text;
    FormatSampleRate(text, f);
    rate_->AddItem(text);
  }
  rate_->SetSelection(selected);
}

void TCtrlBox::FollowRate() {
  KEnsemble* e = Ensemble();
  if (!e) return;
  const float now = e->GetRateFactor();
  for (int i = 0; i < 6; ++i)
    if (kRateFactors[i] == now) rate_->SetSelection(i);
}

void TCtrlBox::RateChosen() {
  KEnsemble* e = Ensemble();
  const int i = rate_->GetSelection();
  if (!e || i < 0 || i >= 6) return;
  e->AddUndoStep(UndoKind::kChangeSampleRate, nullptr);
  e->SetRateFactor(kRateFactors[i]);
}

int TCtrlBox::PeriodicUpdate() {
  KEnsemble* e = Ensemble();
  IAudioInOut* a = Audio();
  IMidiInOut* midi = e ? e->GetMidi() : nullptr;
  midiLamp_->SelectImage(midi && midi->TakeInActivity() ? kLampLit : kLampDark);
  instrLamp_->SelectImage(midi && midi->TakeInstrumentActivity() ? kLampLit : kLampDark);
  if (!a) {
    SetMeters(kMeterOff);
    usage_->SetText(TStr("Off"));
    return 1;
  }
  const int32_t displays = a->GetDisplayRoutineCount();
  TRecordRoutine* routines = a->GetDisplayRoutines();
  TEngineRecord** args = a->GetDisplayArgs();
  for (int32_t i = 0; i < displays; ++i) routines[i](args[i]);
  if (a->GetOutputCount() == 0) {
    SetMeters(kMeterOff);
    usage_->SetText(TStr("Off"));
    return 1;
  }
  const bool inputs = a->GetInputCount() != 0;
  if (!inputs) {
    inLeft_->SelectImage(kMeterOff);
    inRight_->SelectImage(kMeterOff);
  }
  if (!audioRunning_) {
    SetMeters(kMeterOff);
    usage_->SetText(TStr());
    a->TickUsage();
    usageTicks_ = 0;
    return 1;
  }
  if (a->IsOverMaxUsage()) {
    if (++usageTicks_ >= kUsageTicks) {
      a->TickUsage();
      usageTicks_ = 0;
    }
    usage_->SetText(TStr("Over"));
    return 1;
  }
  if (inputs) {
    inLeft_->SelectImage(LevelToFrame(a->GetInputLevel1()) + 1);
    inRight_->SelectImage(LevelToFrame(a->GetInputLevel2()) + 1);
  }
  outLeft_->SelectImage(LevelToFrame(a->GetOutputLevel1()) + 1);
  outRight_->SelectImage(LevelToFrame(a->GetOutputLevel2()) + 1);
  if (++usageTicks_ >= kUsageTicks) {
    float usage = 0.0f;
    if (a->IsSlotMeasuring() && e && e->GetTopModule()) usage = e->GetTopModule()->UpdateCpuLoad(true);
    else usage = a->GetUsage();
    usage_->SetText(FormatStr("%5.1f", double(usage)));
    a->TickUsage();
    usageTicks_ = 0;
  }
  return 1;
}

// ---------------------------------------------------------------------------
// The instrument bar

void TCtrlBox::InstrChosen() {
  KEnsemble* e = Ensemble();
  const int k = instrList_->GetSelection();
  if (!e || !e->GetTopModule() || k < 0) return;
  listIndex_ = k;
  KSModul* chosen = nullptr;
  int n = 0;
  e->GetTopModule()->Walk([&](KSModul* m) {
    if (!chosen && m->IsCategory(kCatInstrument) && n++ == k) chosen = m;
  });
  if (chosen && chosen->GetOwnInstr()) {
    e->GetTopModule()->DeselectAll();
    chosen->Select();
    listIndex_ = -1;
    SetInstr(chosen->GetOwnInstr(), windowTag_);
  }
  listIndex_ = -1;
}

void TCtrlBox::GotoPanel() {
  if (KSModul* m = InstrModule()) m->OpenPanel(true);
}

void TCtrlBox::GotoStructure() {
  if (KSModul* m = InstrModule()) m->OpenStructure();
}

void TCtrlBox::OpenInfo() {
  KSModul* m = InstrModule();
  if (!m) return;
  ShowingErrors([&] { RunInstrInfo(m); });
}

void TCtrlBox::OpenProperties() {
  KSModul* m = InstrModule();
  if (!m) return;
  ShowingErrors([&] { RunInstrPrp(m); });
}

void TCtrlBox::SoloClicked() {
  KSModul* m = InstrModule();
  KEnsemble* e = Ensemble();
  if (!m || !e) return;
  ShowingErrors([&] {
    if (m->IsSolo()) {
      e->AddUndoStep(UndoKind::kUnsoloModule, nullptr);
      m->Unsolo();
    } else {
      e->AddUndoStep(UndoKind::kSoloModule, nullptr);
      m->Solo();
    }
  });
  solo_->SetDown(m->IsSolo());
}

void TCtrlBox::MuteClicked() {
  KSModul* m = InstrModule();
  KEnsemble* e = Ensemble();
  if (!m || !e) return;
  ShowingErrors([&] {
    if (m->IsMuted()) {
      e->AddUndoStep(UndoKind::kUnmuteModules, nullptr);
      m->Unmute();
    } else {
      e->AddUndoStep(UndoKind::kMuteModules, nullptr);
      m->Mute();
    }
  });
  mute_->SetDown(m->IsMuted());
}

void TCtrlBox::LockClicked() {
  KSModul* m = InstrModule();
  KEnsemble* e = Ensemble();
  if (!m || !e) return;
  const bool locked = m->IsPanelLocked();
  ShowingErrors([&] {
    e->AddUndoStep(locked ? UndoKind::kUnlockPanel : UndoKind::kLockPanel, nullptr);
    m->SetPanelLocked(!locked);
  });
  lock_->SetDown(m->IsPanelLocked());
}

void TCtrlBox::LearnClicked() {
  KInstr* instr = instr_.load();
  if (!instr) return;
  instr->SetControllerMode(!instr->GetControllerMode());
  learn_->SetDown(instr->GetControllerMode());
}

void TCtrlBox::SnapChosen() {
  KInstr* instr = instr_.load();
  KEnsemble* e = Ensemble();
  const int32_t slot = StoredSnap(snapList_->GetSelection());
  if (!instr || !e || slot < 0) return;
  ShowingErrors([&] {
    e->AddUndoStep(UndoKind::kRecallSnapshot, nullptr);
    instr->RecallSnap(slot, this, false);
  });
  RefreshUnison();
}

void TCtrlBox::OpenSnapDialog() {
  KInstr* instr = instr_.load();
  if (!instr) return;
  ShowingErrors([&] {
    TSnapPrpDlg dlg(instr);
    dlg.Execute();
  });
}

void TCtrlBox::ReloadSnap() {
  KInstr* instr = instr_.load();
  if (!instr) return;
  ShowingErrors([&] { instr->RecallSnap(instr->GetCurrentSnap(), this, false); });
  RefreshUnison();
}

void TCtrlBox::VoicesChanged() {
  KInstr* instr = instr_.load();
  KEnsemble* e = Ensemble();
  if (!instr || !e) return;
  ShowingErrors([&] {
    e->AddUndoStep(UndoKind::kChangeVoices, nullptr);
    instr->SetVoices(int32_t(std::trunc(voices_->GetValue())), kUnchanged, kUnchanged);
  });
  RefreshVoices();
  RefreshUnison();
}

void TCtrlBox::UnisonChanged() {
  KInstr* instr = instr_.load();
  KEnsemble* e = Ensemble();
  if (!instr || !e) return;
  ShowingErrors([&] {
    e->AddUndoStep(UndoKind::kChangeUnisonVoices, nullptr);
    instr->SetVoices(kUnchanged, int32_t(std::trunc(unison_->GetValue())), kUnchanged);
  });
  RefreshUnison();
}

void TCtrlBox::ChannelChanged() {
  KInstr* instr = instr_.load();
  KEnsemble* e = Ensemble();
  if (!instr || !e) return;
  ShowingErrors([&] {
    e->AddUndoStep(UndoKind::kChangeMidiChannel, nullptr);
    instr->SetMidiChannel(int32_t(std::trunc(channel_->GetValue())));
  });
  RefreshChannel();
}

ICtrlBox* CreateCtrlBox(IVolteon* owner, QMainWindow* frame) { return new TCtrlBox(owner, frame); }

void DeleteCtrlBox(ICtrlBox*& box) {
  ICtrlBox* going = box;
  box = nullptr; // nothing reaches it while it goes
  delete AsCtrlBox(going);
}
