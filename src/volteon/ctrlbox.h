// The control box: one tool-window view whose controls fill the two tool
// boxes of the main window. The ensemble bar carries the file commands,
// run/stop, processor usage, level meters, sample rate, MIDI activity, hints,
// window commands, clock and tempo; the instrument bar works on the current
// instrument: its windows and dialogs, solo, mute, lock, learn, snapshots,
// voices, unison and MIDI channel.
#pragma once

#include "pc/sky/ctrl.h"
#include "pc/sky/toolwnd.h"
#include "src/volteon/commands.h"

#include <QDockWidget> // the tool window hands its docks out

#include <atomic>

class IVolteon;
class KEnsemble;
class KInstr;
class KSModul;
class IAudioInOut;
class QMainWindow;

// Picture ids of the two bars.
namespace pictureid {
constexpr int32_t kNew = 7101, kOpen = 7102, kSave = 7103;
constexpr int32_t kRunStop = 7110, kInSymbol = 7111, kOutSymbol = 7112, kMeter = 7113;
constexpr int32_t kLamp = 7130;
constexpr int32_t kHints = 7140, kClosePanels = 7141, kCloseStructures = 7142, kPanelsToFront = 7143;
constexpr int32_t kClockStop = 7144, kClockStart = 7145;
constexpr int32_t kGotoPanel = 7146, kGotoStructure = 7147, kInfo = 7148, kProperties = 7149;
constexpr int32_t kSolo = 7150, kMute = 7151, kSnapDialog = 7152, kSnapReload = 7153;
constexpr int32_t kLearn = 7155, kLock = 7156;
// The level meter: seven cels side by side, off and six steps 10 dB apart.
constexpr int32_t kMeterCels = 7, kMeterCelWidth = 11, kMeterCelHeight = 21;
// The MIDI lamp: dark and lit.
constexpr int32_t kLampCels = 2, kLampCelWidth = 24, kLampCelHeight = 22;
// Button pictures.
constexpr int32_t kButtonWidth = 20, kButtonHeight = 18;
} // namespace pictureid

// The meter cel of a peak level: 0 below -40 dB of full scale ... 5 at 0 dB
// or more; the meter shows it one higher (0 is the meter switched off).
int32_t LevelToFrame(float level);

class ICtrlBox : public virtual IBase {
public:
  virtual bool IsAudioRunning() = 0;
  virtual void ToggleEnsembleBox() = 0;
  virtual void ToggleInstrumentBox() = 0;
  virtual void RunStopAudio() = 0;
  virtual void ToggleHints() = 0;
  // The current instrument (null: none); any thread may ask.
  virtual KInstr* GetInstr() = 0;
  // Refreshes the whole box at once when the pair differs from the stored one.
  virtual void SetInstr(KInstr* instr, const void* windowTag) = 0;
  // The current instrument is being destroyed: none is current any more.
  virtual void ForgetInstr() = 0;
  // Any thread: a refresh of the whole box (or of the Save button) later on
  // the GUI thread.
  virtual void PostRefresh() = 0;
  virtual void PostSaveRefresh() = 0;
  virtual void LoadSettings() = 0;
  virtual void SetTempo(float bpm) = 0;
  virtual void SetTempoFormat(const TStr& format) = 0;
};

class TCtrlBox : public TToolWnd, public ICtrlBox {
public:
  // Refresh flags.
  static constexpr int kRefreshAll = 0, kRefreshSave = 1;
  static constexpr int32_t kTimerMs = 40;
  static constexpr int32_t kUsageTicks = 10;
  static constexpr float kRateFactors[6] = {0.5f, 0.75f, 1.0f, 1.5f, 2.0f, 3.0f};

  TCtrlBox(IVolteon* owner, QMainWindow* frame);
  ~TCtrlBox() override;

  void Open() override;
  void Refresh(int flag) override;
  int OnTimer() override { return PeriodicUpdate(); }
  int PeriodicUpdate();
  void EnsembleBoxHidden() override { HideEnsemble(); }
  void InstrumentBoxHidden() override { HideInstrument(); }
  void EnsembleBoxShown() override { ShowEnsemble(); }
  void InstrumentBoxShown() override { ShowInstrument(); }

  // ICtrlBox
  bool IsAudioRunning() override { return audioRunning_; }
  void ToggleEnsembleBox() override;
  void ToggleInstrumentBox() override;
  void RunStopAudio() override;
  void ToggleHints() override;
  KInstr* GetInstr() override { return instr_.load(); }
  void SetInstr(KInstr* instr, const void* windowTag) override;
  void ForgetInstr() override;
  void PostRefresh() override { PostNotify(kRefreshAll); }
  void PostSaveRefresh() override { PostNotify(kRefreshSave); }
  void LoadSettings() override;
  void SetTempo(float bpm) override { tempo_->SetValue(bpm); }
  void SetTempoFormat(const TStr& format) override { tempo_->SetFormat(format); }

  bool AreHintsShown() const { return hintsShown_; }
  bool IsEnsembleBoxShown() const { return ensembleShown_; }
  bool IsInstrumentBoxShown() const { return instrumentShown_; }

  // The handlers of the controls (public so that tests can act as the user).
  void ClockStart();
  void ClockStop();
  void TempoChanged();
  void RateChosen();
  void InstrChosen();
  void GotoPanel();
  void GotoStructure();
  void OpenInfo();
  void OpenProperties();
  void SoloClicked();
  void MuteClicked();
  void LockClicked();
  void LearnClicked();
  void SnapChosen();
  void OpenSnapDialog();
  void ReloadSnap();
  void VoicesChanged();
  void UnisonChanged();
  void ChannelChanged();

  // The controls the box touches after construction.
  ICtrlerMenu *rate_, *instrList_, *snapList_;
  ICtrlerValue *tempo_, *voices_, *unison_, *channel_;
  ICtrlerText* usage_;
  ICtrlerBmp *inLeft_, *inRight_, *outLeft_, *outRight_, *midiLamp_, *instrLamp_;
  ICtrlerButton *save_, *runStop_, *hints_, *gotoPanel_, *gotoStructure_, *info_, *properties_, *solo_, *clockStart_,
      *clockStop_, *snapDialog_, *snapReload_, *learn_, *mute_, *lock_;

private:
  KEnsemble* Ensemble() const;
  IAudioInOut* Audio() const;
  KSModul* InstrModule() const;
  void RunOwnerCommand(int32_t id);
  void ApplyHints();
  void ShowEnsemble();
  void HideEnsemble();
  void ShowInstrument();
  void HideInstrument();
  void SetMeters(int32_t frame);
  void RebuildRates();
  void FollowRate();
  void RefreshInstrList();
  void RefreshClock();
  void RefreshSnapList();
  void RefreshVoices();
  void RefreshUnison();
  void RefreshChannel();
  void SaveSettings();
  // The k-th stored snapshot slot (-1 when there is none).
  int32_t StoredSnap(int k) const;

  IVolteon* owner_;
  std::atomic<KInstr*> instr_{nullptr};
  int32_t listIndex_ = -1;
  const void* windowTag_ = nullptr;
  bool audioRunning_ = true;
  bool ctrlBoxShown_ = true;
  bool ensembleShown_ = true;
  bool instrumentShown_ = true;
  bool hintsShown_ = true;
  int32_t usageTicks_ = 0;
};

// Makes the control box of the application's main window.
ICtrlBox* CreateCtrlBox(IVolteon* owner, QMainWindow* frame);
// Deletes the box (its settings are written) and clears the pointer.
void DeleteCtrlBox(ICtrlBox*& box);
inline TCtrlBox* AsCtrlBox(ICtrlBox* box) { return dynamic_cast<TCtrlBox*>(box); }
