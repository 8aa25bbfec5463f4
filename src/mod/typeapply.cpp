// Applying a module-type record to a module: its label, ports, mono flag,
// state sizes and the driver channels it stands for.
#include "src/engine/audioio.h"
#include "src/mod/instr.h"
#include "src/mod/mod.h"
#include "src/mod/modul_def.h"

namespace {

TStr Text(const char* text) { return text ? TStr(text) : TStr(); }

// An audio driver contributes the "Audio In" record and the "Audio Out"
// record for the largest output count of the available drivers (none for a
// count other than 1, 2 or 8).
class TAudioDriverDefs final : public IDriverModulDefs {
public:
  const KModulDef* GetAudioInDef() const override { return GetAudioInModulDef(); }
  const KModulDef* GetAudioOutDef() const override { return GetAudioOutModulDef(GetMaxAudioOutputs()); }
};

// The catalogue reaches the driver of a module's ensemble through its host.
const IDriverModulDefs* DriverDefsOf(const KSModul* module) {
  static const TAudioDriverDefs driverDefs;
  if (!module || !module->GetHost()) return nullptr;
  return dynamic_cast<TAudioInOut*>(module->GetHost()->GetAudio()) ? &driverDefs : nullptr;
}

struct InstallDriverLookup {
  InstallDriverLookup() { SetDriverDefsLookup(DriverDefsOf); }
} installDriverLookup;

} // namespace

const KModulDef* KSModul::GetTypeDef() const { return FindModulDef(this, category_, type_); }

bool KSModul::IsTapedeck() const { return IsType(kTypeTapedeck1) || IsType(kTypeTapedeck2); }

bool KSModul::IsSamplerFamily() const {
  for (TModuleType t : {kTypeSampler, kTypeSamplerFm, kTypeSamplerLoop, kTypeSampleLookup, kTypeBeatLoop,
                        kTypeResynth, kTypePitchFormer})
    if (IsType(t)) return true;
  return false;
}

void KSModul::ApplyTypeDef(const KModulDef* def) {
  if (!def || !def->portsApply) return;
  label_ = Text(def->name);
  mono_ = def->startsMono ? 1 : 0;
  help_ = Text(def->help);
  if (def->inPorts)
    for (int32_t i = 0; i < def->inPorts->count; ++i)
      if (KInPort* port = AddInPort()) port->InitFromDef((*def->inPorts)[i]);
  if (def->outPorts)
    for (int32_t i = 0; i < def->outPorts->count; ++i)
      if (KOutPort* port = AddOutPort()) port->InitFromDef((*def->outPorts)[i]);
  if (category_ == kCatInstrument) CreateOwnInstr();
  else instr_ = parent_ ? parent_->instr_ : nullptr;
  InitControlTables();
  SetAudioRangeMaximum();
  if (def->panelView != kViewNone && category_ != kCatInstrument && instr_ && instr_->GetOwner())
    instr_->GetOwner()->AddPanelModule(this);
  // How a new control first shows: buttons and switches without their value;
  // a graph on no panel, except a scope on its instrument's.
  if (ctrlStyle_ == 0) {
    switch (def->panelView) {
    case kViewButton:
    case kViewSwitch: SetFlag(kFlagValueHidden, true); break;
    case kViewGraph:
      SetFlag(kFlagVisibleInInstr, IsType(kTypeScope));
      SetFlag(kFlagVisibleInEns, false);
      break;
    default: break;
    }
  }
  ApplyTypeState(def, true);
}

void KSModul::ApplyTypeState(const KModulDef* def, bool addToPanel) {
  (void)addToPanel;
  if (!def) return;
  if (ctrlStyle_ == 0) {
    switch (def->panelView) {
    case kViewFader: ctrlStyle_ = 1; break;
    case kViewButton: ctrlStyle_ = 5; break;
    case kViewSwitch:
      ctrlStyle_ = 200;
      // A switch follows one input: the first.
      sources_[0] = inCount_ - 1;
      for (int32_t i = 1; i < inCount_; ++i) in_[i]->SetDeselected();
      break;
    case kViewLamp: ctrlStyle_ = 300; break;
    case kViewMeter: ctrlStyle_ = 400; break;
    case kViewFile: ctrlStyle_ = 500; break;
    case kViewGraph: ctrlStyle_ = 600; break;
    case kViewMacro: ctrlStyle_ = 100; break;
    case kViewInstrument: ctrlStyle_ = 110; break;
    default: break;
    }
  }
  eventOutputs_ = def->eventOutputs;
  audioInputs_ = def->audioInputs;
  stateWords_ = def->stateWords;
  MarkDriverChannels();
  CreateAudioObjects();
}

void KSModul::MarkDriverChannels() {
  IAudioInOut* audio = Audio();
  if (IsType(kTypeAudioIn)) {
    int32_t inputs = audio ? audio->GetInputCount() : 0;
    for (int32_t i = 0; i < outCount_; ++i)
      if (i < inputs) out_[i]->MarkAvailable();
      else out_[i]->MarkUnavailable();
  } else if (IsType(kTypeAudioOut)) {
    // The first two inputs are the tune and the master level.
    int32_t outputs = audio ? audio->GetOutputCount() : 0;
    for (int32_t i = 2; i < inCount_; ++i)
      if (i < outputs + 2) in_[i]->MarkAvailable();
      else in_[i]->MarkUnavailable();
  }
}

void KSModul::ApplyDriverChannels() {
  if (!host_) return;
  if (KSModul* in = host_->GetAudioInModule()) in->MarkDriverChannels();
  if (KSModul* out = host_->GetAudioOutModule()) out->MarkDriverChannels();
  TStructureChange rebuild(this);
}

void KPort::InitFromDef(const KPortDef& def) {
  label_ = Text(def.label);
  info_ = Text(def.help);
  SetKind(def);
}

void KPort::RefreshFromDef(const KPortDef& def) {
  if ((flags_ & kLabelFollowsDef) || !def.labelIsUser) label_ = Text(def.label);
  if ((flags_ & kInfoFollowsDef) || !def.helpIsUser) info_ = Text(def.help);
  SetKind(def);
}
