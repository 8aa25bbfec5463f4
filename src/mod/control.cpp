// Control values: the step of a panel or MIDI source module, its value table
// and range, and how a new value reaches the engine and MIDI out.
#include "src/engine/audioio.h"
#include "src/engine/routine_util.h"
#include "src/engine/source_handlers.h"
#include "src/engine/tables.h"
#include "src/engine/voice_state.h"
#include "src/mod/midi_port.h"
#include "src/mod/instr.h"
#include "src/mod/mod.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace {
bool HasTableType(const KSModul* m) {
  if (!m->IsCategory(kCatSource)) return false;
  for (TModuleType t : {kTypeFader, kTypeOldGate, kTypeSingleTriggerGate, kTypeNoteOnVelocity,
                        kTypeNoteOffVelocity, kTypeGate, kTypeNotePitch, kTypeSelectedNoteGate,
                        kTypePolyPressure, kTypePitchBend, kTypeChannelPressure, kTypeController,
                        kTypeSelectedPolyPressure, kTypeProgramChange})
    if (m->IsType(t)) return true;
  return false;
}
} // namespace

void KSModul::EnsureTables() {
  if (!valueTable_ && HasTableType(this)) {
    valueTable_ = std::make_unique<float[]>(kSteps);
    for (int32_t k = 0; k < kSteps; ++k) valueTable_[k] = minimum_ + float(k) / 127.0f * (maximum_ - minimum_);
  }
  if (!snapSteps_ && IsSnapControl()) snapSteps_ = std::make_unique<int32_t[]>(kSteps);
}

void KSModul::InitControlTables() {
  if (!IsCategory(kCatSource) && !IsCategory(kCatSwitch)) return;
  if (params_[2] == 0) params_[2] = 1; // controller or note number
  if (IsCategory(kCatSource)) {
    switch (type_) {
    case kTypeConstant.type:
    case kTypeClockTick.type:
    case kTypeClockStartStop.type:
    case kTypeClockStartStopTwin.type: minimum_ = 1.0f; break;
    default: break;
    }
  }
  EnsureTables();
  if (IsType(kTypeNotePitch)) SetControlRange(0.0f, 0, 127.0f, 127, 0.0f);
  if (IsType(kTypePitchBend)) SetControlRange(-2.0f, 0, 2.0f, 127, 0.0f);
}

float KSModul::GetTableValue(int32_t step) const {
  return valueTable_ ? valueTable_[std::clamp(step, 0, kSteps - 1)] : 0.0f;
}

int32_t KSModul::GetSnapStep(int32_t i) const {
  return snapSteps_ && i >= 0 && i < kSteps ? snapSteps_[i] : 0;
}

void KSModul::FillValueTable(double s) {
  float* v = valueTable_.get();
  if (!v) return;
  const float lo = minimum_, hi = maximum_;
  if (IsType(kTypePitchBend)) { // "PitchBend": two halves around the centre
    for (int32_t i = 0; i <= 64; ++i) v[i] = float(64 - i) * 0.015625f * lo;
    for (int32_t i = 65; i < kSteps; ++i) v[i] = float(i - 64) * (1.0f / 63.0f) * hi;
    return;
  }
  const int32_t lower = midiLower_, upper = midiUpper_;
  for (int32_t i = 0; i <= lower; ++i) v[i] = lo;
  if (s == 0.0) {
    for (int32_t i = lower + 1; i < upper; ++i) v[i] = float(i - lower) * (hi - lo) / float(upper - lower) + lo;
    for (int32_t i = upper; i < kSteps; ++i) v[i] = hi;
    return;
  }
  for (int32_t i = lower + 1; i <= upper; ++i)
    v[i] = float(std::nearbyint(double(hi - lo) * double(i - lower) / double(upper - lower) / s) * s + lo);
  if (s < std::fabs(double(hi - lo)) / double(upper - lower)) v[upper] = hi;
  for (int32_t i = upper + 1; i < kSteps; ++i) v[i] = v[upper];
}

namespace {
constexpr int kRangeWords = 2; // a lamp's low and high thresholds, a MIDI output's scaling range
}

bool KSModul::IsLampType() const { return IsType(kTypeLamp) || IsType(kTypeLampTwin) || IsType(kTypeLevelLamp); }

bool KSModul::IsMidiOutType() const {
  return IsType(kTypeMidiControllerOut) || IsType(kTypeMidiPolyPressureOut) || IsType(kTypeMidiNoteOut) ||
         IsType(kTypeMidiPitchBendOut) || IsType(kTypeMidiProgramChangeOut) || IsType(kTypeMidiChannelPressureOut);
}

// Lamps and MIDI outputs read their range from the engine's first two
// parameter words: those words are the module's minimum and maximum, so what
// a dialog or a file sets is what the engine scales by.
bool KSModul::KeepsRangeInParamWords() const { return IsLampType() || IsMidiOutType(); }

int32_t KSModul::GetParamWord(int i) const {
  if (i < kRangeWords && KeepsRangeInParamWords()) return std::bit_cast<int32_t>(i == 0 ? minimum_ : maximum_);
  return params_[i];
}

void KSModul::SetParamWord(int i, int32_t value) {
  if (i < kRangeWords && KeepsRangeInParamWords()) (i == 0 ? minimum_ : maximum_) = std::bit_cast<float>(value);
  else params_[i] = value;
}

void KSModul::SetControlRange(float minimum, int32_t lower, float maximum, int32_t upper, float stepSize) {
  // The MIDI thread reads the table and the range.
  TLockGuard guard(EngineCriticalSection());
  midiLower_ = lower >= 127 ? 126 : lower < 0 ? 0 : lower;
  midiUpper_ = upper >= 128 ? 127 : upper < 1 ? 1 : upper;
  if (midiUpper_ <= midiLower_) midiUpper_ = midiLower_ + 1;
  double s = stepSize < 1e-12f ? 0.0 : double(stepSize);
  // Only faders and controllers keep a step size.
  if (IsType(kTypeFader) || IsType(kTypeController) || IsType(kTypeSelectedPolyPressure)) stepSize_ = s;
  else s = 0.0;
  minimum_ = minimum;
  maximum_ = maximum;
  if (record_) {
    record_->minimum = minimum;
    record_->maximum = maximum;
    if (KeepsRangeInParamWords())
      for (int k = 0; k < kRangeWords; ++k) routines::StoreShared(record_->params[k].i, GetParamWord(k));
    if (IsType(kTypeLevelLamp) && record_->state && record_->stateWords >= QV_WORDS_OF(LevelLampState)) {
      // The panel's display pass compares with these without the lock.
      routines::StoreShared(record_->state[0][QV_WORD_AT(LevelLampState, low)].f, DecibelsToPower(minimum));
      routines::StoreShared(record_->state[0][QV_WORD_AT(LevelLampState, high)].f, DecibelsToPower(maximum));
    }
  }
  FillValueTable(s);
}

// The panel reads the step on the GUI thread while the MIDI thread may set it.
int32_t KSModul::GetControlStep() const {
  return record_ ? routines::LoadShared(record_->sources[0].i) : sources_[0];
}

float KSModul::GetControlValue() const {
  int32_t step = GetControlStep();
  if (IsType(kTypeFader)) return GetTableValue(step);
  float lo = record_ ? record_->minimum : minimum_;
  float hi = record_ ? record_->maximum : maximum_;
  return step >= 64 ? hi : lo;
}

void KSModul::SetControlValue(float value) {
  int32_t step;
  if (IsType(kTypeFader)) {
    float lo = record_ ? record_->minimum : minimum_;
    float hi = record_ ? record_->maximum : maximum_;
    if (value <= lo) {
      step = midiLower_;
    } else if (value >= hi) {
      step = midiUpper_;
    } else {
      // The first step whose value reaches the wanted one, with or without a
      // record: a value on a table entry always selects that entry.
      step = midiLower_;
      while (step < midiUpper_ && GetTableValue(step) < value) ++step;
    }
  } else {
    step = value <= (record_ ? record_->minimum : minimum_) ? 63 : 64;
  }
  SetControlStep(step);
}

void KSModul::SendStepValue(float value) { SendSourceValueToAll(record_, value); }

void KSModul::SelectSwitchInputs(int32_t step) {
  if (!IsCategory(kCatSwitch)) return;
  if (IsType(kTypeSwitch2x2)) { // step 0 follows inputs 1 and 3, any other 0 and 2
    for (int32_t i = 0; i < inCount_; ++i) {
      bool follow = (step == 0) == (i == 1 || i == 3);
      if (follow) in_[i]->ClearDeselected();
      else in_[i]->SetDeselected();
    }
    return;
  }
  for (int32_t i = 0; i < inCount_; ++i) {
    if (i == inCount_ - 1 - step) in_[i]->ClearDeselected();
    else in_[i]->SetDeselected();
  }
}

void KSModul::RequestSwitchInputs() {
  if (!host_ || host_->IsGuiThread()) {
    TStructureChange bracket(this);
    SelectSwitchInputs(GetControlStep());
    return;
  }
  // The module is marked; the host's GUI side rebuilds what is marked. One
  // rebuild per module is on its way at most.
  if (switchRebuildPosted_.exchange(true)) return;
  host_->RequestSwitchRebuild(this);
}

void KModelHost::RequestSwitchRebuild(KSModul* module) {
  // The module may be gone by the time the GUI thread gets to it: find it
  // again by its serial number.
  KModelHost* host = this;
  const int32_t serial = module->GetSerialNo();
  PostToGui([host, serial] {
    KSModul* top = host->GetTopModule();
    KSModul* m = top ? top->FindBySerialNo(serial) : nullptr;
    if (m && m->TakeSwitchRebuild()) m->RebuildSwitchInputs();
  });
}

bool KSModul::TakeSwitchRebuild() { return switchRebuildPosted_.exchange(false); }

void KSModul::RebuildSwitchInputs() {
  TStructureChange bracket(this);
  SelectSwitchInputs(GetControlStep());
  if (host_) host_->UpdateCtrlViews(this);
}

void KSModul::SetControlStep(int32_t n) {
  if (IsCategory(kCatSwitch)) {
    int32_t present = GetControlStep();
    n = std::max(0, std::min(n, inCount_ <= 1 ? 1 : inCount_ - 1));
    if (n == present) return;
    {
      TLockGuard guard(EngineCriticalSection());
      if (record_) routines::StoreShared(record_->sources[0].i, n);
      else sources_[0] = n;
    }
    {
      TStructureChange bracket(this);
      SelectSwitchInputs(n);
    }
    if (IsPanelToMidiOut()) NotifyOwner(inCount_ <= 1 ? (n == 0 ? 64 : 0) : (128 / inCount_) * n);
  } else {
    n = std::clamp(n, 0, kSteps - 1);
    if (!record_) {
      sources_[0] = n;
    } else {
      // The MIDI thread sets the same record.
      TLockGuard guard(EngineCriticalSection());
      int32_t& step = record_->sources[0].i;
      if (IsType(kTypeButton)) {
        switch (ctrlStyle_) {
        case kButtonTrigger:
          if (n < 64) {
            for (int32_t v = 0; v < record_->voices; ++v)
              if (record_->state && record_->stateWords > 0)
                record_->state[v][QV_WORD_AT(SourceState, out)].f = record_->minimum;
          } else {
            SendStepValue(record_->maximum);
            if (IsPanelToMidiOut()) NotifyOwner(64);
          }
          routines::StoreShared(step, n);
          break;
        case kButtonGate:
          if (IsPanelToMidiOut()) NotifyOwner(n < 64 ? 0 : 64);
          SendStepValue(n < 64 ? record_->minimum : record_->maximum);
          routines::StoreShared(step, n);
          break;
        case kButtonToggle:
          if (n >= 64) {
            bool on = step < 64;
            routines::StoreShared(step, on ? 64 : 0);
            SendStepValue(on ? record_->maximum : record_->minimum);
            if (IsPanelToMidiOut()) NotifyOwner(step);
          }
          break;
        default: break;
        }
      } else if (IsType(kTypeFader)) {
        float value = GetTableValue(n);
        if (value != GetTableValue(step)) {
          SendStepValue(value);
          if (IsPanelToMidiOut()) NotifyOwner(n);
        }
        routines::StoreShared(step, n);
      }
    }
  }
  if (host_) host_->UpdateCtrlViews(this);
}

int32_t KSModul::StepControl(int32_t d) const {
  int32_t p = GetControlStep();
  if (IsType(kTypeFader)) {
    if (d > 0) {
      for (int32_t k = 0; k < d && p < 127; ++k) {
        float at = GetTableValue(p);
        while (p < 126 && GetTableValue(p + 1) == at) ++p;
        ++p;
      }
    } else {
      // Down to the start of the present value's run first, so that every
      // step down reaches a smaller value even from the middle of a run.
      for (int32_t k = 0; k < -d && p > 0; ++k) {
        float here = GetTableValue(p);
        while (p > 0 && GetTableValue(p - 1) == here) --p;
        if (p == 0) break;
        --p;
        float at = GetTableValue(p);
        while (p > 0 && GetTableValue(p - 1) == at) --p;
      }
    }
  } else if (IsType(kTypeButton)) {
    if (p < 64 && d > 0) p = 64;
    else if (p >= 64 && d < 0) p = 0;
  } else if (inCount_ == 1) {
    if (p >= 1 && d > 0) p = 0;
    else if (p == 0 && d < 0) p = 1;
  } else {
    p += d;
  }
  return std::clamp(p, 0, 127);
}

void KSModul::RefreshControlOutput() {
  if (record_ && IsCategory(kCatSource)) {
    TLockGuard guard(EngineCriticalSection());
    int32_t step = record_->sources[0].i;
    switch (type_) {
    case kTypeConstant.type: SendStepValue(record_->minimum); break;
    case kTypeFader.type:
    case kTypeController.type:
    case kTypeSelectedPolyPressure.type: SendStepValue(GetTableValue(step)); break;
    case kTypeButton.type: SendStepValue(step < 64 ? record_->minimum : record_->maximum); break;
    default:
      if (type_ >= kTypeSingleTriggerGate.type && type_ <= kTypeChannelPressure.type && record_->routeCounts &&
          record_->eventOutputs > 0 && record_->state) {
        for (int32_t k = 0; k < record_->routeCounts[0]; ++k) {
          TEngineRecord* target = record_->routeTargets[0][k];
          for (int32_t v = 0; v < target->voices; ++v) {
            int32_t from = record_->voices == 1 ? 0 : std::min(v, record_->voices - 1);
            // Every source keeps its sent value in its first word.
            record_->routeRoutines[0][k](target, v, record_->state[from][QV_WORD_AT(SourceState, out)].f);
          }
        }
      }
      break;
    }
  }
  if (host_) host_->UpdateCtrlViews(this);
}

void KSModul::NotifyOwner(int32_t value) {
  IMidiInOut* midi = host_ ? host_->GetMidi() : nullptr;
  if (!midi || !instr_) return;
  int32_t channel = instr_->GetChannelIndex();
  int32_t number = params_[2];
  switch (GetRemoteKind()) {
  case kRemoteByController: midi->SendControlChange(0, channel, number, value); break;
  case kRemoteByPolyPressure: midi->SendPolyPressure(0, channel, number, value); break;
  case kRemoteByNote: midi->SendNoteOn(0, channel, number, value); break;
  default: break;
  }
}

void KSModul::SetSnapIsolate(bool on) {
  if (!IsSnapControl() || (snapIsolate_ != 0) == on) return;
  snapIsolate_ = on ? 1 : 0;
  if (!record_ || !instr_) return;
  if (on) instr_->RemoveSnapControl(record_);
  else instr_->AddSnapControl(record_);
}

void KSModul::StoreSnapValues(KInstr* instr, int32_t i) {
  if (i < 0 || i >= kSteps) return;
  Walk([instr, i](KSModul* m) {
    if (m->instr_ != instr || !m->IsSnapControl()) return;
    m->EnsureTables();
    if (m->snapSteps_) m->snapSteps_[i] = m->GetControlStep();
  });
}

// ---------------------------------------------------------------------------
// Remote control

void KSModul::ReRegister() {
  if (!record_ || !instr_) return;
  instr_->RemoveSource(record_);
  instr_->AddSource(this);
}

void KSModul::SetPanelToMidiOut(bool on) {
  if (!IsPanelControl()) return;
  TLockGuard guard(EngineCriticalSection());
  SetFlag(kFlagPanelToMidi, on);
}

void KSModul::SetRemoteToMidiOut(bool on) {
  if (!IsPanelControl()) return;
  TLockGuard guard(EngineCriticalSection());
  SetFlag(kFlagRemoteToMidi, on);
}

void KSModul::SetIncremental(bool on) {
  if (!IsType(kTypeFader)) return;
  TLockGuard guard(EngineCriticalSection());
  SetFlag(kFlagIncremental, on);
}

void KSModul::SetCtrlStyle(int32_t style) {
  {
    TLockGuard guard(EngineCriticalSection());
    ctrlStyle_ = style;
  }
  RebuildOwnCtrlViews();
}

void KSModul::SetRemote(bool on) {
  if (!IsPanelControl()) return;
  TLockGuard guard(EngineCriticalSection());
  SetFlag(kFlagRemote, on);
  ReRegister();
}

void KSModul::SetRemoteKind(int32_t kind) {
  if (!IsPanelControl()) return;
  TLockGuard guard(EngineCriticalSection());
  SetFlag(3u << 11, false);
  SetFlag(uint32_t(kind & 3) << 11, true);
  ReRegister();
}

bool KSModul::IsSoftTakeover() const {
  return (record_ ? record_->params[kSourcePickUpParam].i : params_[kSourcePickUpParam]) != 0;
}

void KSModul::SetSoftTakeover(bool on) {
  TLockGuard guard(EngineCriticalSection());
  params_[kSourcePickUpParam] = on ? 1 : 0;
  if (record_) record_->params[kSourcePickUpParam].i = on ? 1 : 0;
}

void KSModul::SetControllerNo(int32_t number) {
  TLockGuard guard(EngineCriticalSection());
  params_[2] = number;
  if (record_) record_->params[2].i = number;
}

// ---------------------------------------------------------------------------
// Entering and leaving processing

void KSModul::EnterControl() {
  if (!record_ || (!IsCategory(kCatSource) && !IsCategory(kCatSwitch))) return;
  EnsureTables();
  record_->minimum = minimum_;
  record_->maximum = maximum_;
  record_->valueTable = valueTable_.get();
  record_->snapSteps = snapSteps_.get();
  if (instr_) instr_->AddSource(this);
}

void KSModul::LeaveControl() {
  if (!record_ || (!IsCategory(kCatSource) && !IsCategory(kCatSwitch))) return;
  if (instr_) instr_->RemoveSource(record_);
}
