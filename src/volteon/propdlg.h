// Property dialogs of modules: a modal dialog per group of module types that
// shows the module's fields and writes the changed ones back, in one undo
// step, after the dialog was closed with OK.
//
// Opening one (module box, structure window, panel control):
//
//   if (RunModPrp(module)) ...   // true when OK was pressed and applied
//
// RunModPrp creates the dialog, runs it, applies it after it has closed and
// only then destroys it, so an error of the apply step reaches the opener as
// a message and never escapes a destructor.
#pragma once

#include "pc/sky/ctrl.h"
#include "pc/sky/dlg.h"

#include <cstdint>
#include <memory>

class KSModul;
class KEnsemble;
struct KModulDef;

// Dialog resources.
namespace prpdlg {
constexpr int32_t kMacro = 7300, kFader = 7301, kButton = 7302, kSwitch = 7303, kComment = 7304, kLamp = 7305,
                  kMeter = 7306, kMidiPoly = 7308, kMidiCaStg = 7309, kSelNoteGate = 7310, kMidiPitchbend = 7311,
                  kCtrlSelAT = 7312, kMidiSync = 7314, kMidiClock = 7315, kEtmNote = 7316, kEtmCtrl = 7317,
                  kEtmPolyAT = 7318, kConstant = 7319, kProcessing = 7320, kMonoMod = 7321, kGraph = 7322,
                  kSampler = 7323, kSamplerLoop = 7324, kGrainLoop = 7325, kWaveTable = 7326, kBeatWarp = 7327,
                  kScrub = 7328, kStaticDelay = 7329, kDelay = 7330, kTapedeck = 7331, kSmoother = 7332, kScope = 7333;
} // namespace prpdlg

// Control ids of the property dialogs.
namespace prpid {
constexpr int32_t kLabel = 3620, kInfo = 3621, kInstrument = 3622, kFile = 3623, kVoices = 3624, kMax = 3625,
                  kMin = 3626, kStepSize = 3627, kUpperLimit = 3628, kLowerLimit = 3629, kControllerNo = 3630,
                  kPixelX = 3631, kPixelY = 3632;
constexpr int32_t kMono = 3660, kMute = 3661, kRemote = 3662, kSoftTakeover = 3663, kSnapIsolate = 3664,
                  kLoop = 3665, kBackupSound = 3667, kValueShown = 3668, kLabelShown = 3669, kPanelToMidiOut = 3670,
                  kRemoteToMidiOut = 3671, kIncremental = 3672, kVisibleInInstr = 3673, kSmallDesign = 3674,
                  kOscilMode = 3675, kLoopInRelease = 3676, kResynthesis = 3677, kNoStereo = 3678,
                  kAlternatingLoop = 3679, kVisibleInEns = 3680;
constexpr int32_t kButtonMode = 3700, kRemoteKind = 3703, kFaderStyle = 3706, kQuality = 3708, kDirection = 3711,
                  kLampColour = 3714;
constexpr int32_t kRate = 3740, kDuration = 3741;
} // namespace prpid

// Control styles the radio groups choose between.
namespace ctrlstyle {
constexpr int32_t kFaderFirst = 1;   // fader, knob
constexpr int32_t kButtonFirst = 3;  // trigger, gate, toggle
constexpr int32_t kLampFirst = 300;  // red, green, blue, yellow
} // namespace ctrlstyle

// The clock divisions of the Rate and Duration menus (ticks at 24 per
// quarter note).
constexpr int32_t kClockDivisionCount = 14;
int32_t ClockDivisionTicks(int32_t index);
void FillClockDivisionMenu(ICtrlerMenu* menu, int32_t ticks);
int32_t GetClockDivisionTicks(ICtrlerMenu* menu);

// What holders of a module's dialog see: a dialog, nothing more.
class IModPrp : public virtual IDlg {};

// The dialog behind an interface pointer, or null when it is none.
IModPrp* CastToModPrp(IBase* base);

// The common base. Subclasses call the binders in their constructor; each
// binder makes one control over its id, filled from the module.
class TModPrp : public TDlg, public IModPrp {
public:
  TModPrp(KSModul* module, int32_t resourceId);
  ~TModPrp() override;

  // Writes what the user changed back into the module when the dialog was
  // closed with OK; nothing otherwise. Returns whether it applied.
  bool Apply();

  KSModul* GetModule() const { return module_; }
  int32_t GetResourceId() const { return resourceId_; }

  // Binders.
  void BindLabel();
  void BindInfo();
  void ShowInstrument();
  void ShowMacroFile();
  void ShowAudioFile();
  void ShowVoices();
  void BindUpperLimit();
  void BindLowerLimit();
  void BindControllerNo();
  void BindPixelX();
  void BindPixelY();
  void BindMono();
  void BindMute();
  void BindRemote();
  void BindPanelToMidiOut();
  void BindRemoteToMidiOut();
  void BindSoftTakeover();
  void BindIncremental();
  void BindSnapIsolate();
  void BindLabelShown();
  void BindValueShown();
  void BindBackupSound();
  void BindVisibleInInstr();
  void BindVisibleInEns();
  void BindSmallDesign();
  void BindBufferLength(int enabled);
  void BindMax();
  void BindMin();
  void BindStepSize();
  void BindButtonMode();
  void BindRemoteKind2();
  void BindRemoteKind3();
  void BindFaderStyle();
  void BindQuality();
  void BindLampColour();
  void BindRate();
  void BindDuration();

  // The bound controls (null when the dialog has none of that kind).
  struct TBindings {
    ICtrlerEdit* label = nullptr;
    ICtrlerEdit* info = nullptr;
    ICtrlerCnt* upperLimit = nullptr;
    ICtrlerCnt* lowerLimit = nullptr;
    ICtrlerCnt* controllerNo = nullptr;
    ICtrlerCnt* pixelX = nullptr;
    ICtrlerCnt* pixelY = nullptr;
    ICtrlerBoolean* mono = nullptr;
    ICtrlerBoolean* mute = nullptr;
    ICtrlerBoolean* remote = nullptr;
    ICtrlerBoolean* panelToMidiOut = nullptr;
    ICtrlerBoolean* remoteToMidiOut = nullptr;
    ICtrlerBoolean* softTakeover = nullptr;
    ICtrlerBoolean* incremental = nullptr;
    ICtrlerBoolean* snapIsolate = nullptr;
    ICtrlerBoolean* labelShown = nullptr;
    ICtrlerBoolean* valueShown = nullptr;
    ICtrlerBoolean* loop = nullptr;
    ICtrlerBoolean* oscilMode = nullptr;
    ICtrlerBoolean* backupSound = nullptr;
    ICtrlerBoolean* visibleInInstr = nullptr;
    ICtrlerBoolean* visibleInEns = nullptr;
    ICtrlerBoolean* smallDesign = nullptr;
    ICtrlerReal* bufferLength = nullptr;
    ICtrlerReal* max = nullptr;
    ICtrlerReal* min = nullptr;
    ICtrlerReal* stepSize = nullptr;
    ICtrlerSwitch* buttonMode = nullptr;
    ICtrlerSwitch* remoteKind2 = nullptr;
    ICtrlerSwitch* remoteKind3 = nullptr;
    ICtrlerSwitch* faderStyle = nullptr;
    ICtrlerSwitch* quality = nullptr;
    ICtrlerSwitch* direction = nullptr;
    ICtrlerSwitch* lampColour = nullptr;
    ICtrlerMenu* rate = nullptr;
    ICtrlerMenu* duration = nullptr;
  };
  const TBindings& Bindings() const { return bind_; }

protected:
  KEnsemble* Ensemble() const;
  // Records the dialog's undo step (only the first call records).
  void CommitUndo();
  TBindings bind_;

private:
  bool LabelEditable() const;
  bool InfoEditable() const;
  float CurrentMinimum() const;
  float CurrentMaximum() const;
  void ResizeBuffer(float value);

  KSModul* module_;
  int32_t resourceId_;
  const KModulDef* def_ = nullptr;
  int32_t fixedPorts_ = 1;
};

// The dialog class for a module, or null for types without one.
std::unique_ptr<TModPrp> CreateModPrp(KSModul* module, const char* where);
// The dialog resource the factory picks for a module type (0: none).
int32_t ModPrpResource(int32_t category, int32_t type);

// Creates, runs, applies and destroys the module's dialog. True when it was
// closed with OK and applied; false for Cancel, for types without a dialog
// and after an error, which is shown.
bool RunModPrp(KSModul* module);

// Registers the dialog templates (once; later calls do nothing).
void RegisterModPrpTemplates();
