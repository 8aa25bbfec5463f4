// The instrument properties dialog and the instrument info dialog. Both
// write nothing while open; after an OK their Apply writes the controls the
// user changed into the module and its instrument as one undo step.
#pragma once

#include "pc/sky/ctrl.h"
#include "pc/sky/dlg.h"

#include <memory>

class KSModul;
class KEnsemble;

namespace instrdlg {
constexpr int32_t kPrpTemplate = 7250;
constexpr int32_t kInfoTemplate = 8000;
// Controls of the properties dialog.
constexpr int32_t kLabel = 3620, kFile = 3621, kInfo = 3622, kVoices = 3623, kUpperKey = 3624, kLowerKey = 3625,
                  kSustain = 3626, kHold = 3627, kNoteShift = 3628, kMaxUnison = 3629, kMinUnison = 3630,
                  kTune = 3631, kSpread = 3632, kChannel = 3633;
constexpr int32_t kMute = 3660, kRecallByParent = 3661, kRecallByMidi = 3662, kAllIncremental = 3663,
                  kPanelToMidi = 3664, kRemoteToMidi = 3665, kSoftTakeover = 3666, kAutoReduce = 3667;
// The edit of the info dialog.
constexpr int32_t kInfoText = 3620;
// The unison spread an OK stores is held to this range.
constexpr float kSpreadMin = 0.0f, kSpreadMax = 32.0f;
} // namespace instrdlg

// Registers the templates of both dialogs (once; later calls do nothing).
void RegisterInstrDlgTemplates();

class TInstrPrp : public TDlg {
public:
  // module: an instrument module.
  explicit TInstrPrp(KSModul* module);
  // After an OK writes the changed controls; an error of the model reaches
  // the caller, with the writes before it kept.
  void Apply();

  ICtrlerEdit *label, *info;
  ICtrlerCnt *lowerKey, *upperKey, *maxUnison, *minUnison, *noteShift, *voices, *sustain, *hold, *channel;
  ICtrlerReal *tune, *spread;
  ICtrlerBoolean *autoReduce, *mute, *allIncremental, *softTakeover, *panelToMidi, *remoteToMidi, *recallByMidi,
      *recallByParent;

private:
  KSModul* module_;
};

class TInstrInfo : public TDlg {
public:
  explicit TInstrInfo(KSModul* module);
  void Apply();

  ICtrlerEdit* info;

private:
  KSModul* module_;
};

// The dialogs of an instrument module; null for any other module.
std::unique_ptr<TInstrPrp> CreateInstrPrp(KSModul* module);
std::unique_ptr<TInstrInfo> CreateInstrInfo(KSModul* module);

// Run the dialog modally for the module and apply it once it has closed.
void RunInstrPrp(KSModul* module);
void RunInstrInfo(KSModul* module);
