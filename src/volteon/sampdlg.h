// The property dialogs of the sampler-type modules: the general fields of
// every property dialog plus an editor of the module's sample map. The map
// editor's changes take effect at once (in the dialog's one undo step); the
// general fields are written when the dialog closes with "Done".
#pragma once

#include "src/volteon/propdlg.h"
#include "src/volteon/sliderparam.h"

class IAudioFileMap;
class IAudioFileMapEntry;

// Control ids of the sample-map editor.
namespace sampid {
constexpr int32_t kLoad = 3580, kAdd = 3581, kSort = 3582, kSave = 3583, kReplace = 3584, kDelete = 3585,
                  kEdit = 3586, kReload = 3587, kApplyToAll = 3598;
constexpr int32_t kList = 3780;
// Slider rows: text, trackbar, "<", ">".
constexpr int32_t kDetuneText = 3500, kRootKeyText = 3501, kLeftSplitText = 3502, kGainText = 3503,
                  kPanText = 3504;
constexpr int32_t kDetuneBar = 3820, kRootKeyBar = 3821, kLeftSplitBar = 3822, kGainBar = 3823, kPanBar = 3824;
constexpr int32_t kLeftSplitDown = 3588, kLeftSplitUp = 3589, kRootKeyUp = 3590, kRootKeyDown = 3591,
                  kDetuneDown = 3592, kDetuneUp = 3593, kGainDown = 3594, kGainUp = 3595, kPanDown = 3596,
                  kPanUp = 3597;
} // namespace sampid

// Which optional controls a sampler dialog has.
struct TSamplerLook {
  int32_t resourceId;
  bool oscilMode, noStereo, loop, loopInRelease, rootKeyDetune, gainPan, direction;
  const char* resynthesis;  // caption of the re-synthesis option, null: none
};
const TSamplerLook* FindSamplerLook(int32_t resourceId);

class TSamplerPrp : public TModPrp {
public:
  TSamplerPrp(KSModul* module, int32_t resourceId);

  void UpdateList();
  void UpdateControls();

  IAudioFileMapEntry* GetCurrentEntry() const { return current_; }
  TSliderParam* LeftSplit() const { return leftSplit_; }
  TSliderParam* RootKey() const { return rootKey_; }
  TSliderParam* Detune() const { return detune_; }
  TSliderParam* Gain() const { return gain_; }
  TSliderParam* Pan() const { return pan_; }
  // The text of a list line for an entry.
  static TStr LineText(IAudioFileMapEntry* entry);

  // Commands.
  void Load();
  void Add();
  void Save();
  void Replace();
  void Delete();
  void Edit();
  void Reload();
  void ApplyToAll();
  // Immediate edits.
  void NoStereoClicked();
  void OscilModeClicked();
  void QualityClicked();
  void LoopClicked();
  void AlternatingClicked();
  void LoopInReleaseClicked();
  void ResynthesisClicked();
  void DirectionClicked();
  void LeftSplitChanged();
  void RootKeyChanged();
  void DetuneChanged();
  void GainChanged();
  void PanChanged();
  void ListSelected();

protected:
  // Creates the controls the dialog has; the dialog classes call it.
  void CreateControls(const TSamplerLook& look);

private:
  IAudioFileMapEntry* EntryAt(int32_t index) const;
  // Forgets the current entry when it no longer belongs to the map.
  void CheckCurrent();
  void Refresh();
  // Runs an entry edit under the engine lock after committing the undo step.
  template <class F> void EditEntry(F write);

  ICtrlerButton *load_ = nullptr, *add_ = nullptr, *sort_ = nullptr, *save_ = nullptr, *replace_ = nullptr,
                *delete_ = nullptr, *edit_ = nullptr, *reload_ = nullptr, *applyToAll_ = nullptr;
  ICtrlerBoolean *noStereo_ = nullptr, *alternating_ = nullptr, *loopInRelease_ = nullptr, *resynthesis_ = nullptr;
  TSliderParam *leftSplit_ = nullptr, *rootKey_ = nullptr, *detune_ = nullptr, *gain_ = nullptr, *pan_ = nullptr;
  ICtrlerList* list_ = nullptr;
  KSModul* module_;
  IAudioFileMap* map_ = nullptr;
  IAudioFileMapEntry* current_ = nullptr;
};

#define QV_SAMPLERPRP_CLASS(Name)     \
  class Name : public TSamplerPrp {   \
  public:                             \
    explicit Name(KSModul* module);   \
  };
QV_SAMPLERPRP_CLASS(TSamplerAndSamplerFMPrp)
QV_SAMPLERPRP_CLASS(TSamplerLoopPrp)
QV_SAMPLERPRP_CLASS(TGrainLoopPrp)
QV_SAMPLERPRP_CLASS(TWaveTablePrp)
QV_SAMPLERPRP_CLASS(TBeatWarpPrp)
#undef QV_SAMPLERPRP_CLASS

void RegisterSamplerTemplates();
