// The open document: the module tree's root, the owner of the audio and MIDI
// drivers, the keeper of the processing rate and the clean state, and the
// processor-overload reaction. Exactly one exists while the program runs.
#pragma once

#include "src/engine/audioio.h"
#include "src/base/shared.h"
#include "src/engine/event_routines.h"
#include "src/mod/midi_port.h"
#include "src/mod/mod.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace platform {
class Mutex;
}
class KEnsembleFiles;

// What the ensemble needs of the application that owns it. Called on the GUI
// thread only.
class IEnsembleOwner {
public:
  virtual ~IEnsembleOwner() = default;
  // The control box's audio-running flag, and its switch that turns audio off.
  virtual bool IsAudioRunning() = 0;
  virtual void SwitchAudioOff() = 0;
  virtual void RefreshCtrlBox() = 0;
  // The instrument the control box shows (null: none); the ensemble asks it
  // to forget one that is destroyed.
  virtual KInstr* GetCurrentInstr() = 0;
  virtual void ForgetInstr(KInstr* instr) = 0;
  // The current view after MIDI start, stop and learn.
  virtual void RefreshView() = 0;
  virtual void ClockStateChanged(bool running) = 0;
  // Opens an ensemble file as the open document (the crash restore).
  virtual bool OpenEnsembleFile(const TStr& path) = 0;
  // An ensemble file set the engine's control rate (Hz), and then its clock:
  // the tempo, shown as external when the clock follows MIDI sync.
  virtual void ShowControlRate(int32_t hz) { (void)hz; }
  virtual void ShowClockSettings(float tempo, bool externalSync) {
    (void)tempo;
    (void)externalSync;
  }
};

class KEnsemble : public IAudioOwner, public KModelHost, public IMidiOwner, public IEventHost {
public:
  // Makes an audio driver of a type for the ensemble (the driver factory, or
  // a test's own).
  using TAudioFactory = std::function<IAudioInOut*(int32_t type, IAudioOwner* owner)>;

  explicit KEnsemble(TAudioFactory factory = nullptr);
  ~KEnsemble() override;
  KEnsemble(const KEnsemble&) = delete;
  KEnsemble& operator=(const KEnsemble&) = delete;

  void SetOwner(IEnsembleOwner* owner) { owner_ = owner; }
  IEnsembleOwner* GetOwner() const { return owner_; }

  // Drivers.
  IAudioInOut* GetAudio() const override { return audio_; }
  IMidiInOut* GetMidi() const override { return midi_; }
  // MIDI first, then audio; once, at start-up.
  void StartDrivers();
  // Replaces the audio driver by one of another type; Audio In and Audio Out
  // keep their mute state.
  void SwitchAudioDriver(int32_t type);
  void CallAudioDevice(int32_t value);

  // The tree.
  KSModul* GetTopModule() const override { return top_; }
  KInstr* GetTopInstr() const;
  KSModul* GetAudioInModule() const override { return audioIn_; }
  KSModul* GetAudioOutModule() const override { return audioOut_; }
  void SetAudioInModule(KSModul* m) { audioIn_ = m; }
  void SetAudioOutModule(KSModul* m) { audioOut_ = m; }
  int32_t TakeSerialNo() override { return moduleId_++; }
  int32_t NextModuleId() { return moduleId_++; }
  int32_t PeekNextModuleId() const { return moduleId_; }
  void SetNextModuleId(int32_t id) { moduleId_ = id; }
  void ModuleGone(KSModul* module) override;
  void InstrGone(KInstr* instr) override;
  // The files side (undo list, reading module files); it announces itself.
  void SetFiles(KEnsembleFiles* files) { files_ = files; }
  KEnsembleFiles* GetFiles() const { return files_; }
  void AddUndoStep(UndoKind kind, const void* object) override;
  // The step a module command's handler prepared reaches the undo list.
  void CommitPendingUndo() override;
  IFileEnsemble* GetFileEnsemble() override;
  // The windows that show the ensemble (set by the application; null: none).
  void SetWindows(IModelWindows* windows) { windows_ = windows; }
  IModelWindows* GetWindows() const override { return windows_; }
  // A module's control views show its new value: at once on the GUI
  // thread, else through a task posted to it.
  void UpdateCtrlViews(KSModul* module) override;

  // Processing rate.
  static constexpr float kRateSteps[6] = {0.5f, 0.75f, 1.0f, 1.5f, 2.0f, 3.0f};
  float GetRateFactor() const override { return rateFactor_.Get(); }
  TShared* GetRateFactorValue() const override { return &rateFactor_; }
  void SetRateFactor(float factor);
  // The step of the six nearest to an ensemble rate at the driver's rate;
  // a rate halfway between two steps takes the higher.
  void ChooseRateFactor(float ensembleRate);
  float GetProcessingRate() const;
  int32_t GetSampleRate() const { return sampleRate_; }
  void SetSampleRate(int32_t rate) { sampleRate_ = rate; }
  void ApplySampleRate() { ChooseRateFactor(float(sampleRate_)); }

  // Clean state and read state.
  void SetClean(int32_t clean);
  int32_t IsClean() const { return clean_; }
  void MarkClean() { SetClean(1); }
  void MarkModified() override { SetClean(0); }
  // Undo keeps the clean flag as it was when its oldest step was recorded,
  // so undoing everything never hides changes that were never recorded.
  void RememberCleanForUndo() { cleanAtOldestStep_ = clean_; }
  void RestoreCleanAfterUndoingAll() { SetClean(cleanAtOldestStep_); }
  void ResetReadState() { readState_ = 0; }
  void SetReading() { readState_ = 1; }
  void SetModuleRead() { readState_ = 2; }
  bool IsReading() const { return readState_ >= 1; }
  bool WasModuleRead() const { return readState_ >= 2; }

  // Crash restore: the newest undo snapshot ("UndoNo") still exists only
  // after a run that did not end normally.
  TStr CrashSnapshotPath() const;
  bool CanRestoreAfterCrash() const;
  // Offers to open that snapshot; true when the user took it.
  bool OfferRestore();
  bool IsUndoBusy() const { return undoBusy_ != 0; }
  void SetUndoBusy(bool busy) { undoBusy_ = busy ? 1 : 0; }

  // Processor overload. PostOverload runs on the audio thread and only sets
  // a flag (it may neither allocate nor wait); RunIdle, on the GUI thread,
  // runs the reaction.
  void PostOverload() override;
  bool IsOverloadPending() const { return overloadPending_.load() != 0; }
  KSModul* GetReductionCursor() const;

  // Work handed to the GUI thread from other threads: it waits in the
  // ensemble's queue until RunIdle.
  void PostToGui(std::function<void()> task) override;
  // Runs on the GUI thread what other threads handed to it: the overload
  // reaction and the posted tasks. The owner calls it on every tick of its
  // GUI timer; without an owner the caller runs it.
  void RunIdle();
  bool IsGuiThread() const override;
  void InstrumentStateChanged() override;
  // GUI thread: controls that the engine moved since (MIDI remote, a recall
  // on another thread) carry the control-value mark; their views show the
  // new value.
  void ShowMarkedControls();

  // IMidiOwner
  KInstr* GetCurrentInstr() const override;
  void PostViewRefresh() override;

  // IAudioOwner
  void ClockStateChanged(bool running) override;
  // KModelHost
  void RequestSwitchRebuild(KSModul* module) override;

  // IEventHost: what the event routines of this ensemble's modules need.
  IMidiOutput* MidiOutput(IEngineModule* module) override;
  int32_t MidiChannel(IEngineModule* module) override;
  void SetTune(IEngineModule* module, float tune) override;

private:
  void OverloadReaction();
  IAudioInOut* MakeDriver(int32_t type);
  // Redraws the controls of the subtree that another thread marked.
  void RedrawMarkedCtrls(KSModul* module);
  // Selects the inputs of the switches that another thread moved.
  void RebuildMarkedSwitches();

  TAudioFactory factory_;
  IEnsembleOwner* owner_ = nullptr;
  KEnsembleFiles* files_ = nullptr;
  IModelWindows* windows_ = nullptr;
  KSModul* top_ = nullptr;
  KSModul* audioIn_ = nullptr;
  KSModul* audioOut_ = nullptr;
  IMidiInOut* midi_ = nullptr;
  IAudioInOut* audio_ = nullptr;
  int32_t clean_ = 1;
  int32_t cleanAtOldestStep_ = 1;
  int32_t readState_ = 0;
  int32_t undoBusy_ = 0;
  int32_t moduleId_ = 0;
  int32_t reductionCursor_ = -1; // serial number of the last reduced instrument
  bool stoppedByOverload_ = false;
  int32_t sampleRate_ = 33075;
  // The drivers follow it; it notifies them of every change.
  mutable TSharedReal rateFactor_{0.5f, 3.0f, TStr()};
  bool ownFactory_ = false;
  uint64_t guiThread_ = 0;
  std::atomic<int32_t> overloadPending_{0};
  std::unique_ptr<platform::Mutex> postLock_;
  std::vector<std::function<void()>> posted_;
  // What other threads left for the GUI's idle step without allocating.
  static constexpr uint32_t kPendingViewRefresh = 1;
  static constexpr uint32_t kPendingClockState = 2;
  static constexpr uint32_t kPendingCtrlViews = 4;
  static constexpr uint32_t kPendingSwitchRebuild = 8;
  std::atomic<uint32_t> pendingGui_{0};
  std::atomic<int32_t> clockRunning_{0};
};
