#include "src/mod/mod.h"

#include "src/engine/audioio.h"
#include "src/base/file.h"
#include "src/engine/engine.h"
#include "src/engine/routine_util.h"
#include "src/engine/routine_registry.h"
#include "src/engine/setup.h"
#include "src/engine/voice_state.h"

#include <string>
#include <vector>

namespace {

int32_t bracketDepth = 0;
// Set while the outermost end rebuilds processing, which still holds the lock.
bool rebuilding = false;
// Messages raised while a bracket was open, shown once the outermost closes.
std::vector<std::string>& PendingMessages() {
  static std::vector<std::string> pending;
  return pending;
}

void ShowPendingMessages() {
  std::vector<std::string> pending;
  pending.swap(PendingMessages());
  for (const std::string& text : pending) {
    TParamStr message{TStr(text)};
    ShowMessage(&message, 0);
  }
}

} // namespace

// ---------------------------------------------------------------------------
// Construction and teardown

KSModul::KSModul(KModelHost* host, KSModul* parent)
    : host_(host), parent_(parent),
      flags_(kFlagOutside | kQualityGood | kFlagLoop | kFlagSnapValues), fileName_(CreateFileName()) {
  if (host_) serialNo_ = host_->TakeSerialNo();
  if (parent_) instr_ = parent_->instr_;
  // A module directly in the top node (macros looked through) shows on the
  // ensemble panel, any other on its instrument's panel.
  SetFlag(IsInTopLevel() ? kFlagVisibleInEns : kFlagVisibleInInstr, true);
}

KSModul::~KSModul() {
  // The whole tree goes: no block may run on half of it.
  bool top = parent_ == nullptr;
  if (top) LockEngine();
  DestructorBody([this] {
    ReleaseWindows();
    for (int32_t i = 0; i < inCount_; ++i) {
      delete in_[i];
      in_[i] = nullptr;
    }
    for (int32_t i = 0; i < outCount_; ++i) {
      delete out_[i];
      out_[i] = nullptr;
    }
    inCount_ = outCount_ = 0;
    while (childCount_ > 0) RemoveChildAt(childCount_ - 1);
    if (newChild_) {
      delete newChild_;
      newChild_ = nullptr;
    }
    if (record_) ReleaseFromEngine();
    audio_.reset();
    if (IsType(kTypeAudioOut))
      if (IAudioInOut* audio = Audio()) audio->ClearBuffers();
  });
  if (KSModul* owner = GetInstrOwner(); owner && owner != this) owner->RemovePanelModule(this);
  if (host_) host_->ModuleGone(this);
  if (top) UnlockEngine();
}

void KSModul::RemoveChildAt(int32_t i) {
  KSModul* child = children_[i];
  for (int32_t j = i; j + 1 < childCount_; ++j) children_[j] = children_[j + 1];
  children_[--childCount_] = nullptr;
  delete child;
}

KSModul* KSModul::GetTop() {
  KSModul* m = this;
  while (m->parent_) m = m->parent_;
  return m;
}

KSModul* KSModul::GetPanelNode() {
  KSModul* owner = GetInstrOwner();
  return owner ? owner : GetTop();
}

IAudioInOut* KSModul::Audio() const { return host_ ? host_->GetAudio() : nullptr; }
TAudioInOut* KSModul::Driver() const { return dynamic_cast<TAudioInOut*>(Audio()); }

KInstr* KSModul::GetOwnerInstr() const {
  if (category_ == kCatInstrument) return parent_ ? parent_->instr_ : instr_;
  return instr_;
}

int32_t KSModul::GetChildIndex(const KSModul* child) const {
  for (int32_t i = 0; i < childCount_; ++i)
    if (children_[i] == child) return i;
  return -1;
}

int32_t KSModul::GetInPortIndex(const KInPort* port) const {
  for (int32_t i = 0; i < inCount_; ++i)
    if (in_[i] == port) return i;
  return -1;
}

int32_t KSModul::GetOutPortIndex(const KOutPort* port) const {
  for (int32_t i = 0; i < outCount_; ++i)
    if (out_[i] == port) return i;
  return -1;
}

KInPort* KSModul::AddInPort() {
  if (inCount_ >= kMaxPorts) return nullptr;
  in_[inCount_] = new KInPort(this);
  return in_[inCount_++];
}

KOutPort* KSModul::AddOutPort() {
  if (outCount_ >= kMaxPorts) return nullptr;
  out_[outCount_] = new KOutPort(this);
  return out_[outCount_++];
}

KSModul* KSModul::FindInTerminal(int32_t portNo) const {
  for (int32_t i = 0; i < childCount_; ++i)
    if (children_[i]->IsCategory(kCatInTerminal) && children_[i]->terminalNo_ == portNo) return children_[i];
  return nullptr;
}

KSModul* KSModul::FindOutTerminal(int32_t portNo) const {
  for (int32_t i = 0; i < childCount_; ++i)
    if (children_[i]->IsCategory(kCatOutTerminal) && children_[i]->terminalNo_ == portNo) return children_[i];
  return nullptr;
}

// ---------------------------------------------------------------------------
// Children

KSModul* KSModul::CreateChild(int32_t category, int32_t type) {
  if (newChild_) {
    delete newChild_;
    newChild_ = nullptr;
  }
  if (childCount_ >= kMaxChildren) return nullptr;
  auto* child = new KSModul(host_, this);
  child->category_ = category;
  child->type_ = type;
  newChild_ = child;
  try {
    child->ApplyTypeDef(child->GetTypeDef());
    child->ConnectChildWires();
  } catch (...) {
    newChild_ = nullptr;
    delete child;
    throw;
  }
  return child;
}

KModulData& KSModul::Data() {
  if (!data_) data_ = std::make_unique<KModulData>();
  return *data_;
}

void KSModul::SetFileName(const IFileName& name) { fileName_->SetPath(name.GetPath()); }

void KSModul::DestroyInPort(int32_t number) {
  if (number < 0 || number >= inCount_) return;
  delete in_[number];
  for (int32_t i = number; i + 1 < inCount_; ++i) in_[i] = in_[i + 1];
  in_[--inCount_] = nullptr;
  for (int32_t i = 0; i < childCount_; ++i)
    if (children_[i]->IsCategory(kCatInTerminal) && children_[i]->terminalNo_ > number) --children_[i]->terminalNo_;
}

void KSModul::DestroyOutPort(int32_t number) {
  if (number < 0 || number >= outCount_) return;
  delete out_[number];
  for (int32_t i = number; i + 1 < outCount_; ++i) out_[i] = out_[i + 1];
  out_[--outCount_] = nullptr;
  // Wires remember their source port by number: those of the moved ports move too.
  if (parent_) {
    for (int32_t c = 0; c < parent_->childCount_; ++c) {
      KSModul* sibling = parent_->children_[c];
      for (int32_t p = 0; p < sibling->inCount_; ++p) sibling->in_[p]->RenumberSources(nullptr, -1, this, number);
    }
  }
  for (int32_t i = 0; i < childCount_; ++i)
    if (children_[i]->IsCategory(kCatOutTerminal) && children_[i]->terminalNo_ > number) --children_[i]->terminalNo_;
}

void KSModul::DeleteChild(KSModul* module, bool keepWindow) { DeleteBelow(module, keepWindow); }

bool KSModul::DeleteBelow(KSModul* module, bool keepWindow) {
  if (!module) return false;
  int32_t index = GetChildIndex(module);
  if (index < 0) {
    for (int32_t i = 0; i < childCount_; ++i)
      if (children_[i]->DeleteBelow(module, keepWindow)) return true;
    return false;
  }
  TStructureChange bracket(this);
  module->ReleaseWindows();
  // A module that is going shows nothing more: its box is not made again
  // for the terminals that go before it.
  module->going_ = true;
  while (module->childCount_ > 0) module->DeleteBelow(module->children_[0], true);
  module->Deselect();
  const bool terminal = module->IsCategory(kCatOutTerminal) || module->IsCategory(kCatInTerminal);
  if (module->IsCategory(kCatOutTerminal)) DestroyOutPort(module->terminalNo_);
  else if (module->IsCategory(kCatInTerminal)) DestroyInPort(module->terminalNo_);
  if (terminal && parent_) RemakeBox();
  // Wires remember their source module by its child number.
  for (int32_t c = 0; c < childCount_; ++c) {
    KSModul* sibling = children_[c];
    for (int32_t p = 0; p < sibling->inCount_; ++p) sibling->in_[p]->RenumberSources(module, index, nullptr, -1);
  }
  RemoveChildAt(index);
  if (!keepWindow) RedrawStructWnd();
  return true;
}

void KSModul::ConnectChildWires() {
  for (int32_t c = 0; c < childCount_; ++c) {
    KSModul* child = children_[c];
    for (int32_t p = 0; p < child->inCount_; ++p) {
      KInPort* port = child->in_[p];
      for (int32_t w = 0; w < port->GetWireCount(); ++w) {
        if (port->GetSource(w)) continue;
        KSModul* sourceModule = GetChild(port->GetSourceChild(w));
        KOutPort* source = sourceModule ? sourceModule->GetOutPort(port->GetSourcePort(w)) : nullptr;
        if (source && !source->IsFull() && source->AddDestination(port)) {
          port->LinkWire(w, source);
        }
      }
    }
  }
}

// ---------------------------------------------------------------------------
// The structure-change bracket

int32_t KSModul::GetBracketDepth() { return bracketDepth; }

void KSModul::ShowModelMessage(TParamStr& message) {
  if (bracketDepth > 0 || rebuilding) {
    std::string text = message.Expand().Std();
    for (const std::string& queued : PendingMessages())
      if (queued == text) return;
    PendingMessages().push_back(text);
    return;
  }
  ShowMessage(&message, 0);
}

void KSModul::BeginStructureChange() {
  StructureChangeDepth.fetch_add(1);
  // A bracket opened by the rebuild itself only nests.
  if (bracketDepth == 0 && !rebuilding) {
    LockEngine();
    try {
      GetTop()->UnresolveAll();
    } catch (...) {
      UnlockEngine();
      StructureChangeDepth.fetch_sub(1);
      throw;
    }
  }
  ++bracketDepth;
}

void KSModul::EndStructureChange() {
  if (bracketDepth <= 0) return;
  if (--bracketDepth == 0 && !rebuilding) {
    rebuilding = true;
    try {
      KSModul* top = GetTop();
      top->UpdatePolyConflicts();
      top->UpdateProcessing();
      top->ResetRecursive();
    } catch (...) {
      RecordCurrentException();
      PendingMessages().push_back(LastError()->Expand().Std());
    }
    rebuilding = false;
    UnlockEngine();
    StructureChangeDepth.fetch_sub(1);
    ShowPendingMessages();
    return;
  }
  StructureChangeDepth.fetch_sub(1);
}

// ---------------------------------------------------------------------------
// Processing

void KSModul::ForEach(void (*step)(KSModul*)) {
  step(this);
  for (int32_t i = 0; i < childCount_; ++i) children_[i]->ForEach(step);
}

void KSModul::PrepareInEngine() {
  TAudioInOut* driver = Driver();
  if (!driver || record_) return;
  driver->PrepareModule(this);
  RefreshAudioRoutine();
  EnterControl();
  StartEventInputs();
}

void KSModul::ReleaseFromEngine() {
  if (!record_) return;
  LeaveControl();
  if (TAudioInOut* driver = Driver()) {
    driver->ReleaseModule(this);
  } else {
    // No driver to hand it back to: free it under the lock ourselves.
    TLockGuard guard(EngineCriticalSection());
    RemoveRecordFromSlots(record_);
    ReleaseModuleState(record_, this);
    FreeEngineRecord(record_);
    record_ = nullptr;
  }
}

void KSModul::StartEventInputs() {
  if (!record_) return;
  for (int32_t p = 0; p < inCount_; ++p) {
    KInPort* port = in_[p];
    if (!IsEventKind(port->GetKind()) || port->GetIndexField() < 0) continue;
    TEventRoutine routine = GetEventRoutine(port->GetIndexField());
    for (int32_t v = 0; v < record_->voices; ++v) routine(record_, v, 0.0f);
  }
}

bool KSModul::IsSink() const {
  if (IsSolo()) return true;
  if (category_ != kCatModule) return false;
  return IsType(kTypeAudioOut) || IsType(kTypeTapedeck1) || IsType(kTypeTapedeck2) || IsType(kTypeScope);
}

bool KSModul::IsDisplayOrMidiSink() const {
  if (category_ != kCatModule) return false;
  switch (type_) {
  case kTypeLamp.type:
  case kTypeLampTwin.type:
  case kTypeLevelMeter.type:
  case kTypeLevelLamp.type:
  case kTypeMeter.type:
  case kTypeMidiControllerOut.type:
  case kTypeMidiPolyPressureOut.type:
  case kTypeMidiNoteOut.type:
  case kTypeMidiPitchBendOut.type:
  case kTypeMidiProgramChangeOut.type:
  case kTypeMidiChannelPressureOut.type: return true;
  default:
    return false;
  }
}

bool KSModul::FeedsSink() {
  if (visited_[1] == 2) return true;
  if (visited_[1] == 1) return false;
  visited_[1] = 1;
  bool reaches = IsSink();
  for (int32_t i = 0; !reaches && i < outCount_; ++i) reaches = out_[i]->ReachesOutput();
  if (reaches) visited_[1] = 2;
  return reaches;
}

bool KSModul::WalkBackward(bool trial) {
  bool marked = TestFlag(kFlagNotNeeded);
  if (trial) {
    if (visited_[0]) return false;
    if (!marked) return true;
    if (FeedsSink() || IsMuted()) return false;
    visited_[0] = 1;
  }
  if (IsMuted() || !marked) return false;
  if (!trial) SetFlag(kFlagNotNeeded, false);
  bool reached = false;
  if (category_ == kCatInTerminal) {
    if (parent_)
      if (KInPort* port = parent_->GetInPort(terminalNo_)) reached = port->ActivateSources(trial);
  } else if (!IsMacroOrInstrument()) {
    for (int32_t i = 0; i < inCount_; ++i) reached = in_[i]->ActivateSources(trial) || reached;
  }
  return reached;
}

void KSModul::UpdateProcessing() {
  // 1. Every module starts as not needed.
  struct Steps {
    static void Mark(KSModul* m) {
      m->SetFlag(kFlagNotNeeded, true);
      m->visited_[0] = 0;
      m->visited_[1] = 0;
    }
    static void ClearVisit(KSModul* m) { m->visited_[0] = 0; }
    static void Seed(KSModul* m) {
      if (m->IsSink()) {
        // The sink itself is needed even when nothing feeds it.
        m->WalkBackward(false);
      }
    }
    static void Controls(KSModul* m) {
      if (m->IsMuted()) return;
      if (m->IsType(kTypeFader) || m->IsType(kTypeButton) || m->IsCategory(kCatSwitch))
        m->SetFlag(kFlagNotNeeded, false);
    }
  };
  ForEach(Steps::Mark);
  ForEach(Steps::Seed);
  // 3. Display and MIDI sinks, until a pass changes nothing.
  for (;;) {
    bool changed = false;
    std::vector<KSModul*> candidates;
    struct Collect {
      static void Into(KSModul* m, std::vector<KSModul*>& out) {
        if (m->TestFlag(kFlagNotNeeded) && m->IsDisplayOrMidiSink()) out.push_back(m);
        for (int32_t i = 0; i < m->childCount_; ++i) Into(m->children_[i], out);
      }
    };
    Collect::Into(this, candidates);
    for (KSModul* m : candidates) {
      if (!m->TestFlag(kFlagNotNeeded)) continue;
      ForEach(Steps::ClearVisit);
      if (m->WalkBackward(true)) {
        m->WalkBackward(false);
        changed = true;
      }
    }
    if (!changed) break;
  }
  ForEach(Steps::Controls);
  // 5. Take modules in and out of processing; the boxes of those that go
  // in or out show their new state.
  std::vector<KSModul*> changing;
  struct Changing {
    static void Into(KSModul* m, std::vector<KSModul*>& out) {
      if (m->TestFlag(kFlagNotNeeded) != m->IsOutsideProcessing()) out.push_back(m);
      for (int32_t i = 0; i < m->childCount_; ++i) Into(m->children_[i], out);
    }
  };
  Changing::Into(this, changing);
  {
    TLockGuard guard(EngineCriticalSection());
    struct Apply {
      static void Step(KSModul* m) {
        bool notNeeded = m->TestFlag(kFlagNotNeeded);
        if (notNeeded && !m->IsOutsideProcessing()) {
          m->SetFlag(kFlagOutside, true);
          if (!m->IsMuted() && m->record_) {
            m->PrepareMute();
            m->ReleaseFromEngine();
          }
        } else if (!notNeeded && m->IsOutsideProcessing()) {
          m->SetFlag(kFlagOutside, false);
          if (!m->IsMuted() && m->IsProcessedCategory()) m->PrepareInEngine();
        }
      }
    };
    ForEach(Apply::Step);
  }
  for (KSModul* m : changing) m->RedrawBox();
  ResolveAllConnections();
}

void KSModul::ResolveAllConnections() {
  if (!IsMacroOrInstrument() && !IsCategory(kCatOutTerminal) && !IsCategory(kCatSwitch)) {
    for (int32_t i = 0; i < inCount_; ++i)
      if (!in_[i]->IsMuted()) in_[i]->Resolve();
  }
  for (int32_t i = 0; i < childCount_; ++i) children_[i]->ResolveAllConnections();
}

void KSModul::UnresolveAll() {
  if (!IsMacroOrInstrument() && !IsCategory(kCatOutTerminal) && !IsCategory(kCatSwitch)) {
    for (int32_t i = 0; i < inCount_; ++i) in_[i]->UnresolveOwn();
  }
  // No route may outlive the bracket's edits: a module deleted or released in
  // it could still be named by one. The end of the bracket builds them anew.
  if (record_)
    for (int32_t k = 0; k < record_->eventOutputs; ++k) ClearRoutes(record_, k);
  for (int32_t i = 0; i < childCount_; ++i) children_[i]->UnresolveAll();
}

void KSModul::UpdatePolyConflicts() {
  for (int32_t i = 0; i < inCount_; ++i) in_[i]->UpdatePolyConflict();
  for (int32_t i = 0; i < childCount_; ++i) children_[i]->UpdatePolyConflicts();
}

void KSModul::DetachFromEngine() {
  if (record_) ReleaseFromEngine();
  for (int32_t i = 0; i < childCount_; ++i) children_[i]->DetachFromEngine();
}

void KSModul::AttachToEngine() {
  if (IsProcessedCategory() && !IsInactive()) PrepareInEngine();
  for (int32_t i = 0; i < childCount_; ++i) children_[i]->AttachToEngine();
}

void KSModul::ResetRecursive() {
  StructureChangeDepth.fetch_add(1);
  struct Reset {
    static void Step(KSModul* m) {
      // Whatever a panel source feeds takes its present value again: a new
      // wire or a loaded ensemble must not wait for the control to move.
      if (m->IsCategory(kCatSource)) m->RefreshControlOutput();
      if (m->IsType(kTypeAudioToEventSmoothed) && m->record_)
        if (TRecordRoutine r =
                FindControlRateRoutine(kTypeAudioToEventSmoothed.category, kTypeAudioToEventSmoothed.type))
          r(m->record_);
      if (m->GetSampleMap()) m->UpdateSampleRoutine();
    }
  };
  ForEach(Reset::Step);
  StructureChangeDepth.fetch_sub(1);
}

// ---------------------------------------------------------------------------
// Mute

void KSModul::PrepareMute() {
  if (record_ && record_->state && record_->stateWords > 0 &&
      (IsType(kTypeLamp) || IsType(kTypeLampTwin) || IsType(kTypeLevelLamp))) {
    static_assert(QV_WORD_AT(LevelLampState, lit) == QV_WORD_AT(LampState, lit), "every lamp keeps one lit word");
    int32_t& lit = record_->state[0][QV_WORD_AT(LampState, lit)].i;
    const bool wasLit = lit != 0;
    lit = 0;
    if (wasLit && host_) host_->UpdateCtrlViews(this);
  }
  // A meter lets its held level go below its range: no segment stays lit.
  // The level meter holds a power, which is never below 0.
  if (record_ && record_->state && record_->voices > 0 && record_->stateWords > QV_WORD_AT(MeterState, value) &&
      (IsType(kTypeMeter) || IsType(kTypeLevelMeter))) {
    const float below = IsType(kTypeLevelMeter) ? 0.0f : record_->minimum - 1.0f;
    float& held = record_->state[0][QV_WORD_AT(MeterState, value)].f;
    const bool changed = routines::LoadShared(held) != below;
    routines::StoreShared(held, below);
    if (changed && host_) host_->UpdateCtrlViews(this);
  }
  for (int32_t i = 0; i < childCount_; ++i) children_[i]->PrepareMute();
}

void KSModul::SetShownFlag(uint32_t f, bool on) {
  if (TestFlag(f) == on) return;
  SetFlag(f, on);
  if (host_ && category_ == kCatInstrument) host_->InstrumentStateChanged();
}

void KSModul::Mute() {
  PrepareMute();
  TStructureChange bracket(this);
  if (!IsMuted()) {
    SetShownFlag(kFlagMuted, true);
    if (host_ && host_->GetAudioOutModule() == this)
      if (IAudioInOut* audio = Audio()) audio->ClearBuffers();
    if (record_) ReleaseFromEngine();
    if (IsCategory(kCatInTerminal)) {
      if (parent_)
        if (KInPort* p = parent_->GetInPort(terminalNo_)) p->SetMute();
      if (KOutPort* own = GetOutPort(0)) own->Mute();
    } else if (IsCategory(kCatOutTerminal)) {
      if (parent_)
        if (KOutPort* p = parent_->GetOutPort(terminalNo_)) p->Mute();
      if (KInPort* own = GetInPort(0)) own->SetMute();
    }
  }
  for (int32_t i = 0; i < childCount_; ++i) children_[i]->Mute();
}

void KSModul::Unmute() {
  TStructureChange bracket(this);
  if (IsMuted()) {
    SetShownFlag(kFlagMuted, false);
    if (IsProcessedCategory() && !IsOutsideProcessing()) PrepareInEngine();
    if (IsCategory(kCatInTerminal)) {
      if (parent_)
        if (KInPort* p = parent_->GetInPort(terminalNo_)) p->ClearMute();
      if (KOutPort* own = GetOutPort(0)) own->Unmute();
    } else if (IsCategory(kCatOutTerminal)) {
      if (parent_)
        if (KOutPort* p = parent_->GetOutPort(terminalNo_)) p->Unmute();
      if (KInPort* own = GetInPort(0)) own->ClearMute();
    }
  }
  for (int32_t i = 0; i < childCount_; ++i) children_[i]->Unmute();
}
