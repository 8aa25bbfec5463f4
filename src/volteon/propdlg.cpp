#include "src/volteon/propdlg.h"

#include "src/volteon/propdlg_classes.h"
#include "src/volteon/sampdlg.h"
#include "src/volteon/voltwnd.h"

#include "src/audio/buffers.h"
#include "src/audio/samplemap.h"
#include "src/audio/soundpool.h"
#include "src/base/file.h"
#include "src/base/str.h"
#include "src/base/system.h"
#include "src/engine/audioio.h"
#include "src/engine/control_routines.h"
#include "src/engine/engine.h"
#include "src/mod/ensemble.h"
#include "src/mod/ensfile.h"
#include "src/mod/instr.h"
#include "src/mod/mod.h"
#include "src/mod/moddata.h"
#include "src/mod/modul_def.h"
#include "src/mod/modwnd.h"
#include "src/mod/port.h"
#include "src/mod/undo.h"

#include <algorithm>
#include <exception>
#include <initializer_list>

QV_MESSAGE(DelayLengthGranted, "Current available delay length can be maximum $1 ms.");
QV_MESSAGE(SampleLengthGranted, "Current available sample buffer length can be maximum $1 s.");

namespace {

// Display sizes go in steps of this many pixels.
constexpr int32_t kPixelMinX = 30, kPixelMinY = 20, kPixelMax = 400;
constexpr int32_t kMidiKeyMax = 127;
constexpr float kMsPerSecond = 1000.0f;
constexpr float kSecondsPerMs = 0.001f;
// The longest buffer the dialogs ask for: one hour.
constexpr float kLongestBufferSeconds = 3600.0f;

struct TClockDivision {
  const char* text;
  int32_t ticks;
};
constexpr TClockDivision kClockDivisions[kClockDivisionCount] = {
    {"4/1", 384}, {"2/1", 192}, {"1/1", 96},   {"1/2", 48},   {"1/4", 24},   {"1/8", 12},   {"1/16", 6},
    {"1/32", 3},  {"1/1T", 64}, {"1/2T", 32},  {"1/4T", 16},  {"1/8T", 8},   {"1/16T", 4},  {"1/32T", 2},
};

bool IsDelayBufferType(const KSModul* m) {
  return m->IsType(kTypeStaticDelay) || m->IsType(kTypeDiffuserDelay) || m->IsType(kTypeGrainDelay) ||
         m->IsType(kTypeModDelay) || m->IsType(kTypeScope);
}

} // namespace

// ---------------------------------------------------------------- clock divisions

const char* ClockDivisionText(int32_t index) {
  return index >= 0 && index < kClockDivisionCount ? kClockDivisions[index].text : "";
}
int32_t ClockDivisionTicks(int32_t index) {
  return index >= 0 && index < kClockDivisionCount ? kClockDivisions[index].ticks : 0;
}

void FillClockDivisionMenu(ICtrlerMenu* menu, int32_t ticks) {
  if (!menu) return;
  menu->Clear();
  int32_t chosen = -1;
  for (int32_t i = 0; i < kClockDivisionCount; ++i) {
    menu->AddItem(TStr(kClockDivisions[i].text));
    if (kClockDivisions[i].ticks == ticks && chosen < 0) chosen = i;
  }
  menu->SetSelection(chosen);
}

int32_t GetClockDivisionTicks(ICtrlerMenu* menu) { return menu ? ClockDivisionTicks(menu->GetSelection()) : 0; }

// ---------------------------------------------------------------- base

TModPrp::TModPrp(KSModul* module, int32_t resourceId) : TDlg(resourceId), module_(module), resourceId_(resourceId) {
  def_ = module_->GetTypeDef();
  fixedPorts_ = def_ ? def_->portsApply : 1;
  SetCaption(module_->GetLabel() + TStr(" - Properties"));
  if (KEnsemble* ens = Ensemble())
    if (KEnsembleFiles* files = ens->GetFiles())
      files->GetUndo().SetPendingUndo(UndoKind::kChangeProperties, nullptr, 0);
}

// Nothing is written here: the opener applies after the dialog has closed.
TModPrp::~TModPrp() = default;

KEnsemble* TModPrp::Ensemble() const { return dynamic_cast<KEnsemble*>(module_->GetHost()); }

void TModPrp::CommitUndo() {
  if (KModelHost* host = module_->GetHost()) host->CommitPendingUndo();
}

bool TModPrp::LabelEditable() const { return !fixedPorts_ || (def_ && def_->nameIsUser); }
bool TModPrp::InfoEditable() const { return !fixedPorts_ || (def_ && def_->helpIsUser); }

float TModPrp::CurrentMinimum() const {
  const TEngineRecord* r = module_->GetEngineRecord();
  return r ? r->minimum : module_->GetMinimum();
}
float TModPrp::CurrentMaximum() const {
  const TEngineRecord* r = module_->GetEngineRecord();
  return r ? r->maximum : module_->GetMaximum();
}

void TModPrp::BindLabel() {
  bind_.label = CreateCtrlerEdit(this, prpid::kLabel, module_->GetLabel(), {});
  bind_.label->SetEnabled(LabelEditable());
}
void TModPrp::BindInfo() {
  bind_.info = CreateCtrlerEdit(this, prpid::kInfo, module_->GetHelp(), {});
  bind_.info->SetEnabled(InfoEditable());
}
void TModPrp::ShowInstrument() {
  KInstr* instr = module_->GetOwnerInstr();
  const TStr text = instr && instr->GetOwner() ? instr->GetOwner()->GetLabel() : TStr();
  CreateCtrlerEdit(this, prpid::kInstrument, text, {})->SetEnabled(0);
}
void TModPrp::ShowMacroFile() {
  CreateCtrlerEdit(this, prpid::kFile, module_->GetFileName().GetName(1), {})->SetEnabled(0);
}
void TModPrp::ShowAudioFile() {
  IFileName* name = nullptr;
  if (module_->IsTapedeck()) {
    if (IRecordBuffer* buffer = module_->GetRecordBuffer()) name = buffer->GetFileName();
  } else if (module_->IsSamplerFamily()) {
    if (IAudioFileMap* map = module_->GetSampleMap()) {
      IAudioFileMapEntry* entry = map->GetCurrent() ? map->GetCurrent() : map->GetAt(0);
      if (entry && entry->GetSoundFile()) name = entry->GetSoundFile()->GetFileName();
      else if (map->GetCount() == 0) return;
    } else {
      return;
    }
  } else {
    return;
  }
  CreateCtrlerEdit(this, prpid::kFile, name ? name->GetName(1) : TStr(), {})->SetEnabled(0);
}
void TModPrp::ShowVoices() {
  int32_t voices = 0;
  if (!module_->IsMuted()) {
    if (const TEngineRecord* r = module_->GetEngineRecord()) voices = r->voices;
    else if (KInstr* instr = module_->GetOwnerInstr()) voices = instr->GetVoices();
  }
  CreateCtrlerCnt(this, prpid::kVoices, voices, TStr(), kNoCnt, kNoCnt, {})->SetEnabled(0);
}
void TModPrp::BindUpperLimit() {
  bind_.upperLimit =
      CreateCtrlerCnt(this, prpid::kUpperLimit, module_->GetMidiUpper(), "Upper Limit", 1, kMidiKeyMax, {});
}
void TModPrp::BindLowerLimit() {
  bind_.lowerLimit =
      CreateCtrlerCnt(this, prpid::kLowerLimit, module_->GetMidiLower(), "Lower Limit", 0, kMidiKeyMax - 1, {});
}
void TModPrp::BindControllerNo() {
  const TEngineRecord* r = module_->GetEngineRecord();
  const int32_t number = r ? r->params[2].i : module_->GetControllerNo();
  bind_.controllerNo = CreateCtrlerCnt(this, prpid::kControllerNo, number, "Controller/Note No", 0, kMidiKeyMax, {});
}
void TModPrp::BindPixelX() {
  bind_.pixelX =
      CreateCtrlerCnt(this, prpid::kPixelX, module_->GetDisplaySize().X(), "Pixel in X", kPixelMinX, kPixelMax, {});
}
void TModPrp::BindPixelY() {
  bind_.pixelY =
      CreateCtrlerCnt(this, prpid::kPixelY, module_->GetDisplaySize().Y(), "Pixel in Y", kPixelMinY, kPixelMax, {});
}
void TModPrp::BindMono() { bind_.mono = CreateCtrlerBoolean(this, prpid::kMono, module_->IsMono(), {}); }
void TModPrp::BindMute() { bind_.mute = CreateCtrlerBoolean(this, prpid::kMute, module_->IsMuted(), {}); }
void TModPrp::BindRemote() { bind_.remote = CreateCtrlerBoolean(this, prpid::kRemote, module_->IsRemote(), {}); }
void TModPrp::BindPanelToMidiOut() {
  bind_.panelToMidiOut = CreateCtrlerBoolean(this, prpid::kPanelToMidiOut, module_->IsPanelToMidiOut(), {});
}
void TModPrp::BindRemoteToMidiOut() {
  bind_.remoteToMidiOut = CreateCtrlerBoolean(this, prpid::kRemoteToMidiOut, module_->IsRemoteToMidiOut(), {});
}
void TModPrp::BindSoftTakeover() {
  bind_.softTakeover = CreateCtrlerBoolean(this, prpid::kSoftTakeover, module_->IsSoftTakeover(), {});
}
void TModPrp::BindIncremental() {
  bind_.incremental = CreateCtrlerBoolean(this, prpid::kIncremental, module_->IsIncremental(), {});
}
void TModPrp::BindSnapIsolate() {
  bind_.snapIsolate = CreateCtrlerBoolean(this, prpid::kSnapIsolate, module_->IsSnapIsolate(), {});
}
void TModPrp::BindLabelShown() {
  bind_.labelShown = CreateCtrlerBoolean(this, prpid::kLabelShown, module_->IsLabelShown(), {});
}
void TModPrp::BindValueShown() {
  bind_.valueShown = CreateCtrlerBoolean(this, prpid::kValueShown, module_->IsValueShown(), {});
}
void TModPrp::BindBackupSound() {
  bind_.backupSound = CreateCtrlerBoolean(this, prpid::kBackupSound, module_->IsBackupSound(), {});
}
void TModPrp::BindVisibleInInstr() {
  bind_.visibleInInstr = CreateCtrlerBoolean(this, prpid::kVisibleInInstr, module_->IsVisibleInInstr(), {});
}
void TModPrp::BindVisibleInEns() {
  bind_.visibleInEns = CreateCtrlerBoolean(this, prpid::kVisibleInEns, module_->IsVisibleInEns(), {});
}
void TModPrp::BindSmallDesign() {
  bind_.smallDesign = CreateCtrlerBoolean(this, prpid::kSmallDesign, module_->IsSmallDesign(), {});
}
// A buffer length is never negative: the field refuses it with the range
// message (not-a-number and infinities are refused by the field itself).
void TModPrp::BindBufferLength(int enabled) {
  const bool tape = module_->IsTapedeck();
  const TStr name(tape ? "Size (sec)" : module_->IsType(kTypeScope) ? "Max Buffer [ms]" : "Max Delay [ms]");
  const float longest = tape ? kLongestBufferSeconds : kLongestBufferSeconds * kMsPerSecond;
  bind_.bufferLength = CreateCtrlerReal(this, prpid::kMax, module_->GetMaximum(), name, 0.0f, longest, {});
  bind_.bufferLength->SetEnabled(enabled);
}
void TModPrp::BindMax() {
  bind_.max = CreateCtrlerReal(this, prpid::kMax, CurrentMaximum(), TStr(), kNoReal, kNoReal, {});
}
void TModPrp::BindMin() {
  bind_.min = CreateCtrlerReal(this, prpid::kMin, CurrentMinimum(), TStr(), kNoReal, kNoReal, {});
}
void TModPrp::BindStepSize() {
  bind_.stepSize =
      CreateCtrlerReal(this, prpid::kStepSize, float(module_->GetStepSize()), TStr(), kNoReal, kNoReal, {});
}
void TModPrp::BindButtonMode() {
  bind_.buttonMode =
      CreateCtrlerSwitch(this, prpid::kButtonMode, 3, module_->GetCtrlStyle() - ctrlstyle::kButtonFirst, {});
}
void TModPrp::BindRemoteKind2() {
  bind_.remoteKind2 = CreateCtrlerSwitch(this, prpid::kRemoteKind, 2, module_->GetRemoteKind(), {});
}
void TModPrp::BindRemoteKind3() {
  bind_.remoteKind3 = CreateCtrlerSwitch(this, prpid::kRemoteKind, 3, module_->GetRemoteKind(), {});
}
void TModPrp::BindFaderStyle() {
  bind_.faderStyle =
      CreateCtrlerSwitch(this, prpid::kFaderStyle, 2, module_->GetCtrlStyle() - ctrlstyle::kFaderFirst, {});
}
void TModPrp::BindQuality() {
  bind_.quality = CreateCtrlerSwitch(this, prpid::kQuality, 3, module_->GetQuality(), {});
}
void TModPrp::BindLampColour() {
  bind_.lampColour =
      CreateCtrlerSwitch(this, prpid::kLampColour, 4, module_->GetCtrlStyle() - ctrlstyle::kLampFirst, {});
}
void TModPrp::BindRate() {
  bind_.rate = CreateCtrlerMenu(this, prpid::kRate, {});
  FillClockDivisionMenu(bind_.rate, module_->Data().syncWords[0]);
}
void TModPrp::BindDuration() {
  bind_.duration = CreateCtrlerMenu(this, prpid::kDuration, {});
  FillClockDivisionMenu(bind_.duration, module_->Data().syncWords[1]);
}

// ---------------------------------------------------------------- apply

void TModPrp::ResizeBuffer(float value) {
  KSModul* m = module_;
  // A buffer granted shorter than asked is told once the engine runs again.
  TParamStr* shorter = nullptr;
  if (IsDelayBufferType(m)) {
    TStructureChange change(m);
    if (IDelayBuffer* buffer = m->GetDelayBuffer()) {
      buffer->SetLengthMs(int32_t(value));
      const int32_t granted = buffer->GetLengthMs();
      m->SetRangeMaximum(float(granted));
      if (granted < int32_t(value)) {
        DelayLengthGranted().SetParam(1, FormatStr("%d", int(granted)));
        shorter = &DelayLengthGranted();
      }
    }
  } else if (m->IsTapedeck()) {
    TStructureChange change(m);
    if (IRecordBuffer* buffer = m->GetRecordBuffer()) {
      const int32_t asked = int32_t(value * kMsPerSecond);
      buffer->SetLengthMs(asked);
      const int32_t grantedMs = buffer->GetLengthMs();
      const float granted = float(grantedMs) * kSecondsPerMs;
      m->SetRangeMaximum(granted);
      // Whole frames round the length down by up to a millisecond.
      if (grantedMs + 1 < asked) {
        SampleLengthGranted().SetParamReal(1, granted);
        shorter = &SampleLengthGranted();
      }
    }
  }
  if (shorter) ShowMessage(shorter, 0);
}

bool TModPrp::Apply() {
  if (!WasOk()) return false;
  KSModul* m = module_;
  KModelHost* host = m->GetHost();
  IModelWindows* windows = host ? host->GetWindows() : nullptr;
  bool rangeChanged = false, ownRedraw = false, parentRedraw = false, rebuildViews = false;
  auto changed = [this](ICtrlerCtrl* c) {
    if (!c || !c->IsModified()) return false;
    CommitUndo();
    return true;
  };
  KSModul* parent = m->GetParent();
  const bool inTerminal = m->IsCategory(kCatInTerminal), outTerminal = m->IsCategory(kCatOutTerminal);

  if (changed(bind_.label)) {
    const TStr label = bind_.label->GetText();
    m->SetLabel(label);
    ownRedraw = rebuildViews = true;
    if (parent && inTerminal) {
      if (KInPort* port = parent->GetInPort(m->GetTerminalNo())) port->SetName(label);
      parentRedraw = true;
    } else if (parent && outTerminal) {
      if (KOutPort* port = parent->GetOutPort(m->GetTerminalNo())) port->SetLabel(label);
      parentRedraw = true;
    } else if (m->IsCategory(kCatMacro)) {
      EPtr<IFileName> name(CreateFileName());
      name->SetPath(m->GetFileName().GetPath());
      name->SetName(label);
      m->SetFileName(*name);
    }
  }
  if (changed(bind_.info)) {
    const TStr info = bind_.info->GetText();
    m->SetHelp(info);
    if (parent && inTerminal) {
      if (KInPort* port = parent->GetInPort(m->GetTerminalNo())) port->SetInfo(info);
      parentRedraw = true;
    } else if (parent && outTerminal) {
      if (KOutPort* port = parent->GetOutPort(m->GetTerminalNo())) port->SetInfo(info);
      parentRedraw = true;
    }
  }
  if (changed(bind_.upperLimit)) rangeChanged = true;
  if (changed(bind_.lowerLimit)) rangeChanged = true;
  if (changed(bind_.controllerNo)) m->SetControllerNo(bind_.controllerNo->GetValue());
  if ((bind_.pixelX && bind_.pixelX->IsModified()) || (bind_.pixelY && bind_.pixelY->IsModified())) {
    CommitUndo();
    const TPnt size = m->GetDisplaySize();
    m->SetDisplaySize(TPnt(bind_.pixelX ? bind_.pixelX->GetValue() : size.X(),
                           bind_.pixelY ? bind_.pixelY->GetValue() : size.Y()));
  }
  if (changed(bind_.mono)) {
    if (bind_.mono->GetValue()) m->SetMono();
    else m->SetPoly();
  }
  if (changed(bind_.mute)) {
    if (bind_.mute->GetValue()) m->Mute();
    else m->Unmute();
  }
  if (changed(bind_.remote)) m->SetRemote(bind_.remote->GetValue() != 0);
  if (changed(bind_.panelToMidiOut)) m->SetPanelToMidiOut(bind_.panelToMidiOut->GetValue() != 0);
  if (changed(bind_.remoteToMidiOut)) m->SetRemoteToMidiOut(bind_.remoteToMidiOut->GetValue() != 0);
  if (changed(bind_.softTakeover)) m->SetSoftTakeover(bind_.softTakeover->GetValue() != 0);
  if (changed(bind_.incremental)) m->SetIncremental(bind_.incremental->GetValue() != 0);
  if (changed(bind_.snapIsolate)) m->SetSnapIsolate(bind_.snapIsolate->GetValue() != 0);
  if (changed(bind_.labelShown)) m->SetLabelShown(bind_.labelShown->GetValue() != 0);
  if (changed(bind_.valueShown)) m->SetValueShown(bind_.valueShown->GetValue() != 0);
  if (changed(bind_.loop)) m->SetLoopOn(bind_.loop->GetValue() != 0);
  if (changed(bind_.oscilMode)) m->SetOscilMode(bind_.oscilMode->GetValue() != 0);
  if (changed(bind_.backupSound)) m->SetBackupSound(bind_.backupSound->GetValue() != 0);
  if (changed(bind_.visibleInInstr)) {
    m->SetVisibleInInstr(bind_.visibleInInstr->GetValue() != 0);
    rebuildViews = true;
  }
  if (changed(bind_.visibleInEns)) {
    m->SetVisibleInEns(bind_.visibleInEns->GetValue() != 0);
    rebuildViews = true;
  }
  if (changed(bind_.smallDesign)) {
    m->SetSmallDesign(bind_.smallDesign->GetValue() != 0);
    rebuildViews = true;
  }
  if (changed(bind_.bufferLength)) ResizeBuffer(bind_.bufferLength->GetValue());
  if (changed(bind_.max)) rangeChanged = true;
  if (changed(bind_.min)) {
    rangeChanged = true;
    if (m->IsType(kTypeConstant)) {
      m->SetLabel(bind_.min->GetText());
      ownRedraw = true;
    }
  }
  if (changed(bind_.stepSize)) rangeChanged = true;
  if (changed(bind_.buttonMode)) {
    m->SetCtrlStyle(ctrlstyle::kButtonFirst + bind_.buttonMode->GetPosition());
    rebuildViews = true;
  }
  if (changed(bind_.remoteKind2)) m->SetRemoteKind(bind_.remoteKind2->GetPosition());
  if (changed(bind_.remoteKind3)) m->SetRemoteKind(bind_.remoteKind3->GetPosition());
  if (changed(bind_.faderStyle)) {
    m->SetCtrlStyle(ctrlstyle::kFaderFirst + bind_.faderStyle->GetPosition());
    ownRedraw = rebuildViews = true;
  }
  if (changed(bind_.quality)) m->SetQuality(bind_.quality->GetPosition());
  if (changed(bind_.direction)) m->SetDirection(bind_.direction->GetPosition());
  if (changed(bind_.lampColour)) {
    m->SetCtrlStyle(ctrlstyle::kLampFirst + bind_.lampColour->GetPosition());
    rebuildViews = true;
  }
  auto setSyncWord = [m](int i, int32_t ticks) {
    m->Data().syncWords[i] = ticks;
    TLockGuard guard(EngineCriticalSection());
    if (TEngineRecord* r = m->GetEngineRecord(); r && m->IsType(kTypeClockSync))
      r->params[i == 0 ? kSyncRateParam : kSyncLengthParam].i = ticks;
  };
  if (changed(bind_.rate)) setSyncWord(0, GetClockDivisionTicks(bind_.rate));
  if (changed(bind_.duration)) setSyncWord(1, GetClockDivisionTicks(bind_.duration));

  if (rangeChanged) {
    const float minimum = bind_.min ? bind_.min->GetValue() : CurrentMinimum();
    const float maximum = bind_.max ? bind_.max->GetValue() : CurrentMaximum();
    const int32_t lower = bind_.lowerLimit ? bind_.lowerLimit->GetValue() : m->GetMidiLower();
    const int32_t upper = bind_.upperLimit ? bind_.upperLimit->GetValue() : m->GetMidiUpper();
    const float step = bind_.stepSize ? bind_.stepSize->GetValue() : float(m->GetStepSize());
    m->SetControlRange(minimum, lower, maximum, upper, step);
    rebuildViews = true;
  }
  if (windows && ownRedraw && m->GetBoxView()) windows->InvalidateView(m->GetBoxView());
  if (windows && parentRedraw && parent && parent->GetBoxView()) windows->InvalidateView(parent->GetBoxView());
  if (rebuildViews) m->SetCtrlStyle(m->GetCtrlStyle());
  RetitleWindowsOf(m);
  if (m->IsCategory(kCatSource) && m->GetEngineRecord()) m->RefreshControlOutput();
  if (KEnsemble* ens = Ensemble())
    if (KEnsembleFiles* files = ens->GetFiles()) files->GetUndo().ClearPendingUndo();
  return true;
}

// ---------------------------------------------------------------- factory

namespace {

bool Among(int32_t type, std::initializer_list<int32_t> types) {
  return std::find(types.begin(), types.end(), type) != types.end();
}

// Category 0 (and the category-1 indexes without a dialog of their own).
int32_t ModuleResource(int32_t type) {
  using namespace prpdlg;
  // Sequencers, voice combiners, Select Max/Min, Clock Osc.
  if (Among(type, {26, 27, 28, 29, 69, 70, 71, 72, 164})) return kMonoMod;
  // Envelopes, filters and equalisers with a graph.
  if (Among(type, {32, 33, 34, 35, 36, 37, 38, 39, 40, 42, 43, 44, 45, 46, 47, 95, 97, 111, 132, 137, 144, 146, 171,
                   172, 175, 176, 177, 183, 184, 185, 191, 192}))
    return kGraph;
  if (Among(type, {kTypeEventDelay.type, kTypeModDelay.type, kTypeGrainDelay.type})) return kDelay;
  if (Among(type, {kTypeStaticDelay.type, kTypeDiffuserDelay.type})) return kStaticDelay;
  if (Among(type, {kTypeTapedeck1.type, kTypeTapedeck2.type})) return kTapedeck;
  if (Among(type, {kTypeSampler.type, kTypeSamplerFm.type})) return kSampler;
  if (type == kTypeSamplerLoop.type) return kSamplerLoop;
  if (type == kTypeResynth.type) return kGrainLoop;
  if (type == kTypePitchFormer.type) return kWaveTable;
  if (type == kTypeBeatLoop.type) return kBeatWarp;
  if (type == kTypeSampleLookup.type) return kScrub;
  if (type == kTypeComment.type) return kComment;
  if (Among(type, {152, 153})) return kLamp;                  // lamps
  if (Among(type, {154, 155, 199})) return kMeter;            // level and meter displays
  if (type == kTypeMidiControllerOut.type) return kEtmCtrl;
  if (type == kTypeMidiPolyPressureOut.type) return kEtmPolyAT;
  if (type == kTypeMidiNoteOut.type) return kEtmNote;
  if (Among(type, {kTypeMidiPitchBendOut.type, 181, 182})) return kMidiPitchbend;  // + Prog. Ch., Chan. AT out
  if (type == kTypeScope.type) return kScope;
  if (Among(type, {167, 168})) return kSmoother;              // smoothers
  return kProcessing;
}

int32_t SourceResource(int32_t type) {
  using namespace prpdlg;
  switch (type) {
  case 0: return kConstant;                       // constant source
  case 1: return kFader;
  case 17: return kButton;
  case 3: case 11: case 26: return kMidiCaStg;    // ST Gate, Chan. AT, Prog. Ch.
  case 4: case 5: case 6: case 7: case 9: return kMidiPoly;  // velocities, Gate, NotePitch, Poly AT
  case 8: return kSelNoteGate;
  case 10: return kMidiPitchbend;
  case 12: case 13: case 22: case 23: return kCtrlSelAT;     // Controller, SelPolyAT, RPN, NRPN
  case 18: case 19: case 20: return kMidiClock;   // 1/96, Start/Stop
  case 21: return kMidiSync;
  case 24: return kMonoMod;                       // Spread
  default: return ModuleResource(type);
  }
}

} // namespace

int32_t ModPrpResource(int32_t category, int32_t type) {
  switch (category) {
  case kCatModule: return ModuleResource(type);
  case kCatSource: return SourceResource(type);
  case kCatMacro: return prpdlg::kMacro;
  case kCatInTerminal:
  case kCatOutTerminal: return prpdlg::kMonoMod;
  case kCatSwitch: return prpdlg::kSwitch;
  default: return 0;
  }
}

IModPrp* CastToModPrp(IBase* base) { return dynamic_cast<IModPrp*>(base); }

std::unique_ptr<TModPrp> CreateModPrp(KSModul* module, const char* where) {
  (void)where;
  if (!module) return nullptr;
  RegisterModPrpTemplates();
  using namespace prpdlg;
  const TModuleType t = module->GetType();
  switch (ModPrpResource(t.category, t.type)) {
  case kMacro: return std::make_unique<TMacroPrp>(module);
  case kFader: return std::make_unique<TFaderPrp>(module);
  case kButton: return std::make_unique<TButtonPrp>(module);
  case kSwitch: return std::make_unique<TSwitchPrp>(module);
  case kComment: return std::make_unique<TCommentPrp>(module);
  case kLamp: return std::make_unique<TLampPrp>(module);
  case kMeter: return std::make_unique<TMeterPrp>(module);
  case kMidiPoly: return std::make_unique<TMidiPolyPrp>(module);
  case kMidiCaStg: return std::make_unique<TMidiCaStgPrp>(module);
  case kSelNoteGate: return std::make_unique<TSelNoteGatePrp>(module);
  case kMidiPitchbend: return std::make_unique<TMidiPitchbendPrp>(module);
  case kCtrlSelAT: return std::make_unique<TCtrlSelATPrp>(module);
  case kMidiSync: return std::make_unique<TMidiSyncPrp>(module);
  case kMidiClock: return std::make_unique<TMidiClockPrp>(module);
  case kEtmNote: return std::make_unique<TETMNotePrp>(module);
  case kEtmCtrl: return std::make_unique<TETMCtrlPrp>(module);
  case kEtmPolyAT: return std::make_unique<TETMPolyATPrp>(module);
  case kConstant: return std::make_unique<TConstantPrp>(module);
  case kProcessing: return std::make_unique<TProcessingPrp>(module);
  case kMonoMod: return std::make_unique<TMonoModPrp>(module);
  case kGraph: return std::make_unique<TGraphPrp>(module);
  case kScrub: return std::make_unique<TScrubPrp>(module);
  case kStaticDelay: return std::make_unique<TStaticDelayPrp>(module);
  case kDelay: return std::make_unique<TDelayPrp>(module);
  case kTapedeck: return std::make_unique<TTapedeckPrp>(module);
  case kSmoother: return std::make_unique<TSmootherPrp>(module);
  case kScope: return std::make_unique<TScopePrp>(module);
  case kSampler: return std::make_unique<TSamplerAndSamplerFMPrp>(module);
  case kSamplerLoop: return std::make_unique<TSamplerLoopPrp>(module);
  case kGrainLoop: return std::make_unique<TGrainLoopPrp>(module);
  case kWaveTable: return std::make_unique<TWaveTablePrp>(module);
  case kBeatWarp: return std::make_unique<TBeatWarpPrp>(module);
  default: return nullptr;
  }
}

bool RunModPrp(KSModul* module) {
  try {
    std::unique_ptr<TModPrp> dlg = CreateModPrp(module, "RunModPrp");
    if (!dlg) return false;
    dlg->Execute();
    return dlg->Apply();
  } catch (const TError&) {
  } catch (const std::exception&) {
    RecordCurrentException();
  }
  ShowLastError();
  return false;
}

// ---------------------------------------------------------------- classes

TMacroPrp::TMacroPrp(KSModul* m) : TModPrp(m, prpdlg::kMacro) {
  BindLabel(); BindInfo(); ShowInstrument(); ShowMacroFile(); ShowVoices(); BindMono(); BindMute();
  BindVisibleInInstr(); BindVisibleInEns();
}
TFaderPrp::TFaderPrp(KSModul* m) : TModPrp(m, prpdlg::kFader) {
  BindLabel(); BindInfo(); ShowInstrument(); BindControllerNo(); BindRemote(); BindPanelToMidiOut();
  BindRemoteToMidiOut(); BindSoftTakeover(); BindIncremental(); BindSnapIsolate(); BindLabelShown();
  BindValueShown(); BindMax(); BindMin(); BindStepSize(); BindRemoteKind2(); BindFaderStyle(); BindSmallDesign();
  BindVisibleInInstr(); BindVisibleInEns();
}
TButtonPrp::TButtonPrp(KSModul* m) : TModPrp(m, prpdlg::kButton) {
  BindLabel(); BindInfo(); ShowInstrument(); BindControllerNo(); BindRemote(); BindPanelToMidiOut();
  BindRemoteToMidiOut(); BindSnapIsolate(); BindLabelShown(); BindValueShown(); BindMax(); BindMin();
  BindButtonMode(); BindRemoteKind3(); BindSmallDesign(); BindVisibleInInstr(); BindVisibleInEns();
}
// The switch dialog binds its Mute box like every other dialog that shows one.
TSwitchPrp::TSwitchPrp(KSModul* m) : TModPrp(m, prpdlg::kSwitch) {
  BindLabel(); BindInfo(); ShowInstrument(); BindMute(); BindControllerNo(); BindRemote(); BindPanelToMidiOut();
  BindRemoteToMidiOut(); BindSnapIsolate(); BindLabelShown(); BindRemoteKind2(); BindSmallDesign();
  BindVisibleInInstr(); BindVisibleInEns();
}
TCommentPrp::TCommentPrp(KSModul* m) : TModPrp(m, prpdlg::kComment) { BindLabel(); BindInfo(); ShowInstrument(); }
TLampPrp::TLampPrp(KSModul* m) : TModPrp(m, prpdlg::kLamp) {
  BindLabel(); BindInfo(); ShowInstrument(); BindMin(); BindMax(); BindLampColour(); BindLabelShown();
  BindVisibleInInstr(); BindVisibleInEns();
}
TMeterPrp::TMeterPrp(KSModul* m) : TModPrp(m, prpdlg::kMeter) {
  BindLabel(); BindInfo(); ShowInstrument(); BindMin(); BindMax(); BindLabelShown(); BindVisibleInInstr();
  BindVisibleInEns();
}
TMidiPolyPrp::TMidiPolyPrp(KSModul* m) : TModPrp(m, prpdlg::kMidiPoly) {
  BindLabel(); BindInfo(); ShowInstrument(); ShowVoices(); BindUpperLimit(); BindLowerLimit(); BindMono();
  BindMax(); BindMin();
}
TMidiCaStgPrp::TMidiCaStgPrp(KSModul* m) : TModPrp(m, prpdlg::kMidiCaStg) {
  BindLabel(); BindInfo(); ShowInstrument(); BindUpperLimit(); BindLowerLimit(); BindMax(); BindMin();
}
TSelNoteGatePrp::TSelNoteGatePrp(KSModul* m) : TModPrp(m, prpdlg::kSelNoteGate) {
  BindLabel(); BindInfo(); ShowInstrument(); BindUpperLimit(); BindLowerLimit(); BindControllerNo(); BindMax();
  BindMin();
}
TMidiPitchbendPrp::TMidiPitchbendPrp(KSModul* m) : TModPrp(m, prpdlg::kMidiPitchbend) {
  BindLabel(); BindInfo(); ShowInstrument(); BindMax(); BindMin();
}
TCtrlSelATPrp::TCtrlSelATPrp(KSModul* m) : TModPrp(m, prpdlg::kCtrlSelAT) {
  BindLabel(); BindInfo(); ShowInstrument(); BindUpperLimit(); BindLowerLimit(); BindControllerNo();
  BindSoftTakeover(); BindSnapIsolate(); BindMax(); BindMin(); BindStepSize();
}
TMidiSyncPrp::TMidiSyncPrp(KSModul* m) : TModPrp(m, prpdlg::kMidiSync) {
  BindLabel(); BindInfo(); ShowInstrument(); BindMin(); BindRate(); BindDuration();
}
TMidiClockPrp::TMidiClockPrp(KSModul* m) : TModPrp(m, prpdlg::kMidiClock) {
  BindLabel(); BindInfo(); ShowInstrument(); BindMin();
}
TETMNotePrp::TETMNotePrp(KSModul* m) : TModPrp(m, prpdlg::kEtmNote) {
  BindLabel(); BindInfo(); ShowInstrument(); ShowVoices(); BindMono(); BindMax(); BindMin();
}
TETMCtrlPrp::TETMCtrlPrp(KSModul* m) : TModPrp(m, prpdlg::kEtmCtrl) {
  BindLabel(); BindInfo(); ShowInstrument(); BindControllerNo(); BindMax(); BindMin();
}
TETMPolyATPrp::TETMPolyATPrp(KSModul* m) : TModPrp(m, prpdlg::kEtmPolyAT) {
  BindLabel(); BindInfo(); ShowInstrument(); BindControllerNo(); BindMax(); BindMin();
}
TConstantPrp::TConstantPrp(KSModul* m) : TModPrp(m, prpdlg::kConstant) { BindInfo(); BindMin(); }
TProcessingPrp::TProcessingPrp(KSModul* m) : TModPrp(m, prpdlg::kProcessing) {
  BindLabel(); BindInfo(); ShowInstrument(); ShowVoices(); BindMono(); BindMute();
}
TMonoModPrp::TMonoModPrp(KSModul* m) : TModPrp(m, prpdlg::kMonoMod) {
  BindLabel(); BindInfo(); ShowInstrument(); BindMute();
}
TGraphPrp::TGraphPrp(KSModul* m) : TModPrp(m, prpdlg::kGraph) {
  BindLabel(); BindInfo(); ShowInstrument(); ShowVoices(); BindMono(); BindMute(); BindLabelShown();
  BindVisibleInInstr(); BindVisibleInEns(); BindPixelX(); BindPixelY();
}
TScrubPrp::TScrubPrp(KSModul* m) : TModPrp(m, prpdlg::kScrub) {
  BindLabel(); BindInfo(); ShowInstrument(); ShowVoices(); BindMono(); BindMute(); BindBackupSound();
  BindVisibleInInstr(); BindVisibleInEns(); ShowAudioFile(); BindQuality();
}
TStaticDelayPrp::TStaticDelayPrp(KSModul* m) : TModPrp(m, prpdlg::kStaticDelay) {
  BindLabel(); BindInfo(); ShowInstrument(); ShowVoices(); BindMono(); BindMute(); BindBufferLength(1);
}
TDelayPrp::TDelayPrp(KSModul* m) : TModPrp(m, prpdlg::kDelay) {
  BindLabel(); BindInfo(); ShowInstrument(); ShowVoices(); BindMono(); BindMute(); BindBufferLength(1);
  BindQuality();
}
TTapedeckPrp::TTapedeckPrp(KSModul* m) : TModPrp(m, prpdlg::kTapedeck) {
  BindLabel(); BindInfo(); ShowInstrument(); ShowAudioFile(); BindMute(); BindBufferLength(1);
  BindVisibleInInstr(); BindVisibleInEns();
}
TSmootherPrp::TSmootherPrp(KSModul* m) : TModPrp(m, prpdlg::kSmoother) {
  BindLabel(); BindInfo(); ShowInstrument(); BindMute(); BindMax();
}
TScopePrp::TScopePrp(KSModul* m) : TModPrp(m, prpdlg::kScope) {
  BindLabel(); BindInfo(); ShowInstrument(); BindMute(); BindBufferLength(1); BindLabelShown();
  BindVisibleInInstr(); BindVisibleInEns(); BindPixelX(); BindPixelY();
}
