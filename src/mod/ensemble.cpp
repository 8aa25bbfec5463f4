#include "src/mod/ensemble.h"

#include "platform/sys.h"
#include "src/base/file.h"
#include "src/base/settings.h"
#include "src/mod/instr.h"
#include "src/mod/modaudio.h"

#include <atomic>

namespace {
std::atomic<TMidiPortFactory> midiPortFactory{nullptr};
} // namespace

TMidiPortFactory SetMidiPortFactory(TMidiPortFactory factory) { return midiPortFactory.exchange(factory); }

IMidiInOut* MakeMidiPort(IMidiOwner* owner) {
  const TMidiPortFactory factory = midiPortFactory.load();
  return factory ? factory(owner) : nullptr;
}

QV_MESSAGE(OverloadStop,
           "Processor Overload!  Audio processing has been stopped.\n\nThe program cannot reduce the number "
           "of voices further and your\ncomputer cannot generate this number of voices at the given\nsample "
           "rate. Please reduce the sample rate or the complexity\nof the ensemble and restart audio processing.")

KEnsemble::KEnsemble(TAudioFactory factory)
    : factory_(factory ? factory : TAudioFactory(CreateAudioInOut)), ownFactory_(factory != nullptr),
      guiThread_(platform::CurrentThreadId()), postLock_(std::make_unique<platform::Mutex>()) {
  rateFactor_.Set(0.75f);
  audio_ = MakeDriver(kAudioNone);
  midi_ = MakeMidiPort(this);
  top_ = new KSModul(this, nullptr);
  top_->SetCategory(kCatInstrument);
  top_->CreateOwnInstr();
  top_->GetOwnInstr()->SetMidiChannel(1);
  if (auto* driver = dynamic_cast<TAudioInOut*>(audio_)) driver->UpdateRateConstants();
  SetEventHost(this);
}

KEnsemble::~KEnsemble() {
  DestructorBody([this] {
    if (GetEventHost() == this) SetEventHost(nullptr);
    if (audio_) audio_->Pause();
    while (top_->GetChildCount() > 0) top_->DeleteChild(top_->GetChild(top_->GetChildCount() - 1));
    if (audio_) audio_->Resume();
    audioIn_ = audioOut_ = nullptr;
    if (audio_) audio_->Stop();
    if (midi_) midi_->Close();
  });
  DestructorBody([this] {
    delete top_;
    top_ = nullptr;
  });
  DestructorBody([this] {
    if (audio_) audio_->Close();
    audio_ = nullptr;
    if (midi_) midi_->Delete();
    midi_ = nullptr;
  });
}

IAudioInOut* KEnsemble::MakeDriver(int32_t type) {
  IAudioInOut* audio = factory_(type, this);
  // The factory of the program connects its drivers to the rate factor; a
  // driver from another maker is connected here.
  if (ownFactory_)
    if (auto* driver = dynamic_cast<TAudioInOut*>(audio)) driver->Connect(&rateFactor_, &TAudioInOut::RateChanged);
  return audio;
}

KInstr* KEnsemble::GetTopInstr() const { return top_ ? top_->GetOwnInstr() : nullptr; }

void KEnsemble::StartDrivers() {
  if (midi_) midi_->Open();
  if (audio_) audio_->Start();
}

void KEnsemble::SwitchAudioDriver(int32_t type) {
  KSModul* muted[2] = {nullptr, nullptr};
  if (audioIn_ && !audioIn_->IsMuted()) {
    audioIn_->Mute();
    muted[0] = audioIn_;
  }
  if (audioOut_ && !audioOut_->IsMuted()) {
    audioOut_->Mute();
    muted[1] = audioOut_;
  }
  if (audio_) {
    audio_->Stop();
    audio_->Close();
    audio_ = nullptr;
  }
  audio_ = MakeDriver(type);
  if (auto* driver = dynamic_cast<TAudioInOut*>(audio_)) driver->UpdateRateConstants();
  if (audio_) audio_->Start();
  for (KSModul* m : muted)
    if (m) m->Unmute();
  top_->ApplyDriverChannels();
}

void KEnsemble::CallAudioDevice(int32_t value) {
  (void)value;
  if (audio_ && audio_->HasSettingsDialog()) audio_->ShowSettingsDialog();
}

void KEnsemble::ModuleGone(KSModul* module) {
  if (module == audioIn_) audioIn_ = nullptr;
  if (module == audioOut_) audioOut_ = nullptr;
  if (module && module->GetSerialNo() == reductionCursor_) reductionCursor_ = -1;
}

void KEnsemble::InstrGone(KInstr* instr) {
  if (owner_ && owner_->GetCurrentInstr() == instr) owner_->ForgetInstr(instr);
}

void KEnsemble::UpdateCtrlViews(KSModul* module) {
  if (!windows_ || !module) return;
  if (!IsGuiThread()) {
    // Another thread may hold the engine's lock here, where nothing may
    // allocate: the control is marked and the GUI's idle step finds it. One
    // redraw per control is on its way at most: later changes before the GUI
    // thread handles it are shown by that one redraw.
    if (module->MarkCtrlState()) pendingGui_.fetch_or(kPendingCtrlViews, std::memory_order_release);
    return;
  }
  module->UpdateOwnCtrlViews();
  module->UpdateCtrlViews();
}

// ---------------------------------------------------------------------------
// Rate

void KEnsemble::SetRateFactor(float factor) {
  if (factor == rateFactor_.Get()) return;
  // Observers (the driver) run the rate-change pass.
  rateFactor_.Set(factor);
  if (top_) NotifyRateChange(*top_);
}

void KEnsemble::ChooseRateFactor(float ensembleRate) {
  const float d = ::GetSampleRate();
  float factor = kRateSteps[5];
  for (int i = 0; i + 1 < 6; ++i) {
    float low = kRateSteps[i], high = kRateSteps[i + 1];
    if ((high * d - ensembleRate) > (ensembleRate - low * d)) {
      factor = low;
      break;
    }
  }
  SetRateFactor(factor);
}

float KEnsemble::GetProcessingRate() const { return ::GetSampleRate() * rateFactor_.Get(); }

// ---------------------------------------------------------------------------
// Clean state

void KEnsemble::SetClean(int32_t clean) {
  clean_ = clean;
  if (owner_) owner_->RefreshCtrlBox();
}

// ---------------------------------------------------------------------------
// Crash restore

QV_MESSAGE(RestoreQuestion, "The program did not terminate correctly last time.\nDo you want to restore the ensemble?")

TStr KEnsemble::CrashSnapshotPath() const {
  const uint32_t none = 0xFFFFFFFFu;
  uint32_t number = ReadSettingInt(TStr(setting::UndoNo), none);
  if (number == none) return TStr();
  TStr folder = ReadSettingStr(TStr(setting::TmpDir), TempFolder()->GetFolder());
  TFileName name;
  name.SetFolder(folder);
  name.SetName(FormatStr("undo%d", int32_t(number)));
  return name.GetPath();
}

bool KEnsemble::CanRestoreAfterCrash() const {
  TStr path = CrashSnapshotPath();
  if (path.IsEmpty()) return false;
  TFileName name;
  name.SetPath(path);
  return name.Exists() != 0;
}

bool KEnsemble::OfferRestore() {
  if (!CanRestoreAfterCrash()) return false;
  if (ShowMessage(&RestoreQuestion(), 1) != 0) return false; // captioned with the program's title
  undoBusy_ = 1;
  bool opened = owner_ && owner_->OpenEnsembleFile(CrashSnapshotPath());
  undoBusy_ = 0;
  SetClean(0);
  return opened;
}

// ---------------------------------------------------------------------------
// Overload and posted work

void KEnsemble::PostOverload() { overloadPending_.store(1); }

KSModul* KEnsemble::GetReductionCursor() const {
  return reductionCursor_ >= 0 && top_ ? top_->FindBySerialNo(reductionCursor_) : nullptr;
}

void KEnsemble::OverloadReaction() {
  bool running = owner_ ? owner_->IsAudioRunning() : !stoppedByOverload_;
  if (!running) return;
  KSModul* next = top_->FindReducibleInstr(GetReductionCursor());
  if (!next) next = top_->FindReducibleInstr(nullptr);
  if (!next) {
    ShowMessage(&OverloadStop(), 0);
    stoppedByOverload_ = true;
    if (owner_) {
      if (owner_->IsAudioRunning()) owner_->SwitchAudioOff();
    } else if (audio_) {
      audio_->Stop();
    }
    return;
  }
  reductionCursor_ = next->GetSerialNo();
  KInstr* instr = next->GetOwnInstr();
  instr->SetVoices(instr->GetVoices() - 1, -1, -1);
  if (audio_) audio_->ClearOverload();
  if (owner_) owner_->RefreshCtrlBox();
}

void KEnsemble::PostToGui(std::function<void()> task) {
  postLock_->Lock();
  posted_.push_back(std::move(task));
  postLock_->Unlock();
}

void KEnsemble::RunIdle() {
  // Runs from the GUI's timer: an error is shown, never thrown into it.
  if (overloadPending_.exchange(0)) {
    try {
      OverloadReaction();
    } catch (...) {
      RecordCurrentException();
      ShowMessage(LastError(), 0);
    }
  }
  std::vector<std::function<void()>> tasks;
  postLock_->Lock();
  tasks.swap(posted_);
  postLock_->Unlock();
  auto run = [this](auto&& task) {
    try {
      task();
    } catch (...) {
      RecordCurrentException();
      ShowMessage(LastError(), 0);
    }
  };
  for (auto& task : tasks) run(task);
  const uint32_t pending = pendingGui_.exchange(0, std::memory_order_acq_rel);
  if (pending & kPendingSwitchRebuild) run([this] { RebuildMarkedSwitches(); });
  if (pending & kPendingCtrlViews) run([this] { RedrawMarkedCtrls(top_); });
  if ((pending & kPendingClockState) && owner_) run([this] { owner_->ClockStateChanged(clockRunning_.load() != 0); });
  if ((pending & kPendingViewRefresh) && owner_) run([this] { owner_->RefreshView(); });
}

void KEnsemble::RequestSwitchRebuild(KSModul* module) {
  (void)module; // marked: the idle step finds it
  pendingGui_.fetch_or(kPendingSwitchRebuild, std::memory_order_release);
}

void KEnsemble::RebuildMarkedSwitches() {
  std::vector<KSModul*> marked;
  std::vector<KSModul*> pending{top_};
  while (!pending.empty()) {
    KSModul* m = pending.back();
    pending.pop_back();
    if (!m) continue;
    if (m->TakeSwitchRebuild()) marked.push_back(m);
    for (int32_t i = 0; i < m->GetChildCount(); ++i) pending.push_back(m->GetChild(i));
  }
  for (KSModul* m : marked) m->RebuildSwitchInputs();
}

void KEnsemble::RedrawMarkedCtrls(KSModul* module) {
  if (!module) return;
  if (module->GetCtrlState() != 0) {
    module->SetCtrlState(0);
    UpdateCtrlViews(module);
  }
  for (int32_t i = 0; i < module->GetChildCount(); ++i) RedrawMarkedCtrls(module->GetChild(i));
}

bool KEnsemble::IsGuiThread() const { return platform::CurrentThreadId() == guiThread_; }

void KEnsemble::ShowMarkedControls() {
  if (!top_ || !IsGuiThread()) return;
  top_->Walk([this](KSModul* m) {
    if (!m->IsPanelControl() || m->GetCtrlValue() == 0) return;
    m->SetCtrlValue(0);
    UpdateCtrlViews(m);
  });
}

void KEnsemble::InstrumentStateChanged() {
  // The control box's refresh only posts its work, from any thread.
  if (owner_) owner_->RefreshCtrlBox();
}

KInstr* KEnsemble::GetCurrentInstr() const { return owner_ ? owner_->GetCurrentInstr() : nullptr; }

// Both come on the MIDI thread holding the engine's lock (learn, program
// change, external clock), where nothing may allocate: a flag tells the GUI's
// idle step, which shows the state as it is by then.
void KEnsemble::PostViewRefresh() { pendingGui_.fetch_or(kPendingViewRefresh, std::memory_order_release); }

void KEnsemble::ClockStateChanged(bool running) {
  clockRunning_.store(running ? 1 : 0);
  pendingGui_.fetch_or(kPendingClockState, std::memory_order_release);
}

void KEnsemble::ApplyDriverChannels() {
  if (top_) top_->ApplyDriverChannels();
}

IMidiOutput* KEnsemble::MidiOutput(IEngineModule* module) {
  (void)module;
  return midi_;
}

int32_t KEnsemble::MidiChannel(IEngineModule* module) {
  KInstr* instr = module ? KSModul::Of(module)->GetInstr() : nullptr;
  return instr ? instr->GetChannelIndex() : 0;
}

void KEnsemble::SetTune(IEngineModule* module, float tune) {
  KInstr* instr = module ? KSModul::Of(module)->GetInstr() : nullptr;
  if (instr) instr->SetTune(tune, false);
}
