// Ports at work in the module tree: wires made and dropped, a signal
// followed through macros, terminals and switches to the ports that really
// produce it and into the engine's inputs and routes, the processing walk
// over the wires, and mute, labels and mono or poly passed on to terminals.
#include "src/mod/port.h"

#include "src/engine/audioio.h"
#include "src/engine/engine.h"
#include "src/engine/routine_registry.h"
#include "src/engine/setup.h"
#include "src/mod/instr.h"
#include "src/mod/mod.h"
#include "src/mod/modwnd.h"

QV_MESSAGE(TooManyDestinations, "Too many wires on the inport")
QV_MESSAGE(TooManySources, "Too many wires on the inport.")

namespace {
// Macros, terminals and switches can be wired into loops; a walk that passes
// through this many of them without reaching a module gives up.
constexpr int32_t kMaxWalkDepth = 64;

struct TWalkDepth {
  static int32_t& Depth() {
    static int32_t depth = 0;
    return depth;
  }
  TWalkDepth() { ++Depth(); }
  ~TWalkDepth() { --Depth(); }
  bool TooDeep() const { return Depth() > kMaxWalkDepth; }
};
} // namespace

// ---------------------------------------------------------------------------
// KInPort

int32_t KInPort::GetIndex() const { return owner_ ? owner_->GetInPortIndex(this) : -1; }

int32_t KInPort::FindInTerminal() const {
  if (!owner_ || !owner_->IsMacroOrInstrument()) return -1;
  KSModul* terminal = owner_->FindInTerminal(GetIndex());
  return terminal ? owner_->GetChildIndex(terminal) : -1;
}

void KInPort::SetName(const TStr& label) {
  label_ = label;
  if (owner_ && owner_->IsMacroOrInstrument())
    if (KSModul* terminal = owner_->FindInTerminal(GetIndex())) terminal->SetLabel(label);
}

void KInPort::SetInfo(const TStr& info) {
  info_ = info;
  if (owner_ && owner_->IsMacroOrInstrument())
    if (KSModul* terminal = owner_->FindInTerminal(GetIndex())) terminal->SetHelp(info);
}

bool KInPort::AddWire(KOutPort* source) {
  if (!source || !owner_) return false;
  bool single = IsAudioKind(kind_) || owner_->IsCategory(kCatOutTerminal);
  bool replaces = single && wireCount_ > 0;
  // Both ends keep at most 20 wires; refuse before anything changes.
  if (source->IsFull()) {
    KSModul::ShowModelMessage(TooManyDestinations());
    return false;
  }
  if (!replaces && wireCount_ >= kMaxWires) {
    KSModul::ShowModelMessage(TooManySources());
    return false;
  }
  TStructureChange bracket(owner_);
  if (replaces) RemoveWire(sources_[0]);
  KSModul* parent = owner_->GetParent();
  KSModul* sourceModule = source->GetOwner();
  sources_[wireCount_] = source;
  sourceChild_[wireCount_] = parent ? parent->GetChildIndex(sourceModule) : -1;
  sourcePort_[wireCount_] = source->GetIndex();
  wireViews_[wireCount_] = nullptr;
  ++wireCount_;
  source->AddDestination(this);
  ShowWireViews();
  return true;
}

void KInPort::RemoveWire(KOutPort* source) {
  TStructureChange bracket(owner_);
  DropWire(source);
}

void KInPort::DropWire(KOutPort* source) {
  for (int32_t i = 0; i < wireCount_; ++i) {
    if (sources_[i] != source) continue;
    IModelView* view = wireViews_[i];
    for (int32_t j = i; j + 1 < wireCount_; ++j) {
      sources_[j] = sources_[j + 1];
      sourceChild_[j] = sourceChild_[j + 1];
      sourcePort_[j] = sourcePort_[j + 1];
      wireViews_[j] = wireViews_[j + 1];
    }
    --wireCount_;
    sources_[wireCount_] = nullptr;
    wireViews_[wireCount_] = nullptr;
    // The view goes after the arrays are whole again: deleting it may reach
    // the window, which must find the wires as they now are.
    if (view)
      if (IModelWindows* w = owner_ ? owner_->Windows() : nullptr) w->DestroyView(view);
    sourceChild_[wireCount_] = sourcePort_[wireCount_] = -1;
    break;
  }
  if (source) source->RemoveDestination(this);
  for (int32_t i = 0; i < collectedCount_; ++i)
    if (collected_[i] == source) collected_[i] = nullptr;
}

void KInPort::CollectSources(KInPort* root) {
  collectedCount_ = 0;
  for (auto& c : collected_) c = nullptr;
  TWalkDepth depth;
  if (depth.TooDeep()) return;
  for (int32_t w = 0; w < wireCount_; ++w) {
    KOutPort* source = sources_[w];
    if (!source) continue;
    KSModul* m = source->GetOwner();
    if (m->IsMacroOrInstrument()) {
      KSModul* terminal = m->FindOutTerminal(source->GetIndex());
      // A muted macro or terminal, or a macro without the terminal, gives this
      // wire no source; the port's other wires are still followed.
      if (m->IsMuted() || !terminal || terminal->IsMuted()) continue;
      if (KInPort* inner = terminal->GetInPort(0)) inner->CollectSources(root);
    } else if (m->IsCategory(kCatSwitch) && !m->IsMuted()) {
      auto followed = [](KInPort* p) { return p && !(p->GetFlags() & kDeselected) && !p->IsMuted(); };
      if (m->IsType(kTypeSwitch2x2)) {
        bool first = source == m->GetOutPort(0);
        KInPort* a = m->GetInPort(first ? 0 : 2);
        KInPort* b = m->GetInPort(first ? 1 : 3);
        KInPort* chosen = followed(a) ? a : b;
        if (chosen) chosen->CollectSources(root);
      } else {
        for (int32_t i = 0; i < m->GetInPortCount(); ++i)
          if (followed(m->GetInPort(i))) m->GetInPort(i)->CollectSources(root);
      }
    } else if (m->IsCategory(kCatInTerminal)) {
      if (m->IsMuted()) continue;
      if (KSModul* parent = m->GetParent())
        if (KInPort* outer = parent->GetInPort(m->GetTerminalNo())) outer->CollectSources(root);
    } else {
      if (root->collectedCount_ >= kMaxWires) {
        KSModul::ShowModelMessage(TooManySources());
        return;
      }
      root->collected_[root->collectedCount_++] = source;
    }
  }
}

void KInPort::ApplyToTerminalDestinations(void (KInPort::*step)()) {
  KOutPort* out = nullptr;
  if (owner_->IsMacroOrInstrument()) {
    if (KSModul* terminal = owner_->FindInTerminal(GetIndex())) out = terminal->GetOutPort(0);
  } else if (owner_->IsCategory(kCatOutTerminal)) {
    if (KSModul* parent = owner_->GetParent()) out = parent->GetOutPort(owner_->GetTerminalNo());
  }
  if (!out) return;
  TWalkDepth depth;
  if (depth.TooDeep()) return;
  for (int32_t i = 0; i < out->GetDestinationCount(); ++i) (out->GetDestination(i)->*step)();
}

void KInPort::UpdatePolyConflict() {
  if (owner_->IsCategory(kCatSwitch)) return;
  if (owner_->IsMacroOrInstrument() || owner_->IsCategory(kCatOutTerminal)) {
    ApplyToTerminalDestinations(&KInPort::UpdatePolyConflict);
    return;
  }
  UpdatePolyConflictOwn();
}

void KInPort::UpdatePolyConflictOwn() {
  if (wireCount_ == 0) {
    flags_ &= uint8_t(~kPolyConflict);
    return;
  }
  CollectSources(this);
  for (int32_t i = 0; i < collectedCount_; ++i) {
    KOutPort* s = collected_[i];
    if (!s) continue;
    KSModul* sm = s->GetOwner();
    KInstr* si = sm->GetInstr();
    bool conflict = IsPolyKind(s->GetKind()) && !sm->IsMono() && si && si->GetVoices() != 1 &&
                    (si != owner_->GetInstr() || !IsPolyKind(kind_) || owner_->IsMono());
    flags_ = conflict ? (flags_ | kPolyConflict) : (flags_ & uint8_t(~kPolyConflict));
  }
}

void KInPort::Resolve() {
  if (owner_->IsCategory(kCatSwitch)) return;
  if (owner_->IsMacroOrInstrument() || owner_->IsCategory(kCatOutTerminal)) {
    ApplyToTerminalDestinations(&KInPort::Resolve);
    return;
  }
  ResolveOwn();
}

void KInPort::ResolveOwn() {
  CollectSources(this);
  bool conflict = flags_ & kPolyConflict;
  if (conflict)
    for (int32_t i = 0; i < collectedCount_; ++i)
      if (collected_[i] && collected_[i]->GetKind() == kEventPoly) collected_[i]->RemoveEventRoute(this);
  TEngineRecord* record = owner_->GetEngineRecord();
  if (!record) return;
  bool audio = IsAudioKind(kind_);
  bool indexOk = index_ >= 0 && index_ < record->audioInputs;
  KModelHost* host = owner_->GetHost();
  bool isAudioOut = host && host->GetAudioOutModule() == owner_;
  if (isAudioOut && owner_->IsSolo() && kind_ == kAudioMono) {
    // The solo: the first source on the first channel, the second (else the
    // first) on the second, silence elsewhere.
    KOutPort* solo = index_ == 0 ? GetSoloSource(0) : index_ == 1 ? (GetSoloSource(1) ? GetSoloSource(1) : GetSoloSource(0)) : nullptr;
    if (indexOk) {
      record->inputs[0][index_] = solo && solo->GetOwner()->GetEngineRecord() ? solo->ValueFor(0) : &EngineZeroCell;
      ResolveAudioInput(record, index_);
    }
    return;
  }
  for (int32_t i = 0; i < collectedCount_; ++i) {
    KOutPort* s = collected_[i];
    if (!s) continue;
    KSModul* sm = s->GetOwner();
    TEngineRecord* sr = sm->GetEngineRecord();
    bool live = !conflict && !s->IsMuted() && !sm->IsInactive();
    if (live && sr) {
      if (!audio) {
        s->BuildEventRoutes(nullptr, 0);
      } else if (indexOk) {
        for (int32_t v = 0; v < record->voices; ++v) {
          int32_t sv = (sr->voices == 1 || s->GetKind() == kAudioMono || v >= sr->voices) ? 0 : v;
          record->inputs[v][index_] = s->ValueFor(sv);
        }
        ResolveAudioInput(record, index_);
        if (isAudioOut)
          if (IAudioInOut* driver = host->GetAudio()) driver->EnableOutput(index_ + 1);
      }
    } else if (!live && audio && indexOk) {
      for (int32_t v = 0; v < record->voices; ++v) record->inputs[v][index_] = &EngineZeroCell;
      ResolveAudioInput(record, index_);
    }
  }
}

void KInPort::Unresolve() {
  if (owner_->IsCategory(kCatSwitch)) return;
  if (owner_->IsMacroOrInstrument() || owner_->IsCategory(kCatOutTerminal)) {
    ApplyToTerminalDestinations(&KInPort::Unresolve);
    return;
  }
  UnresolveOwn();
}

void KInPort::UnresolveOwn() {
  TEngineRecord* record = owner_->GetEngineRecord();
  if (IsEventKind(kind_))
    for (int32_t i = 0; i < collectedCount_; ++i)
      if (collected_[i]) collected_[i]->RemoveEventRoute(this);
  // The list may name ports that go away before the bracket closes; Resolve
  // collects afresh.
  collectedCount_ = 0;
  for (auto& c : collected_) c = nullptr;
  if (!record) return;
  if (IsAudioKind(kind_)) {
    if (index_ >= 0 && index_ < record->audioInputs) {
      for (int32_t v = 0; v < record->voices; ++v) record->inputs[v][index_] = &EngineZeroCell;
      ResolveAudioInput(record, index_);
    }
    KModelHost* host = owner_->GetHost();
    if (host && host->GetAudioOutModule() == owner_)
      if (IAudioInOut* driver = host->GetAudio()) driver->DisableOutput(index_ + 1);
  } else if (index_ >= 0) {
    TEventRoutine routine = GetEventRoutine(index_);
    for (int32_t v = 0; v < record->voices; ++v) routine(record, v, 0.0f);
  }
}

void KInPort::SetMute() {
  if (IsMuted()) return;
  TStructureChange bracket(owner_);
  flags_ |= kMuted;
  if (owner_->IsCategory(kCatOutTerminal)) {
    owner_->Mute();
  } else if (owner_->IsMacroOrInstrument()) {
    if (KSModul* terminal = owner_->FindInTerminal(GetIndex())) terminal->Mute();
  }
}

void KInPort::ClearMute() {
  if (!IsMuted()) return;
  TStructureChange bracket(owner_);
  flags_ &= uint8_t(~kMuted);
  if (owner_->IsCategory(kCatOutTerminal)) {
    owner_->Unmute();
  } else if (owner_->IsMacroOrInstrument()) {
    if (KSModul* terminal = owner_->FindInTerminal(GetIndex())) terminal->Unmute();
  }
}

bool KInPort::ActivateSources(bool trial) {
  if (IsIgnored()) return false;
  bool reached = false;
  for (int32_t i = 0; i < wireCount_; ++i)
    if (sources_[i]) reached = sources_[i]->ActivateSources(trial) || reached;
  return reached;
}

bool KInPort::ReachesOutput() {
  if (owner_->IsMacroOrInstrument()) {
    KSModul* terminal = owner_->FindInTerminal(GetIndex());
    return terminal && terminal->FeedsSink();
  }
  if (owner_->IsCategory(kCatOutTerminal)) {
    KSModul* parent = owner_->GetParent();
    KOutPort* out = parent ? parent->GetOutPort(owner_->GetTerminalNo()) : nullptr;
    return out && out->ReachesOutput();
  }
  return owner_->FeedsSink();
}

// ---------------------------------------------------------------------------
// KOutPort

int32_t KOutPort::GetIndex() const { return owner_ ? owner_->GetOutPortIndex(this) : -1; }

int32_t KOutPort::FindOutTerminal() const {
  if (!owner_ || !owner_->IsMacroOrInstrument()) return -1;
  KSModul* terminal = owner_->FindOutTerminal(GetIndex());
  return terminal ? owner_->GetChildIndex(terminal) : -1;
}

void KOutPort::SetLabel(const TStr& label) {
  label_ = label;
  if (owner_ && owner_->IsMacroOrInstrument())
    if (KSModul* terminal = owner_->FindOutTerminal(GetIndex())) terminal->SetLabel(label);
}

void KOutPort::SetInfo(const TStr& info) {
  info_ = info;
  if (owner_ && owner_->IsMacroOrInstrument())
    if (KSModul* terminal = owner_->FindOutTerminal(GetIndex())) terminal->SetHelp(info);
}

bool KOutPort::AddDestination(KInPort* destination) {
  if (destCount_ >= kMaxWires) {
    KSModul::ShowModelMessage(TooManyDestinations());
    return false;
  }
  dests_[destCount_++] = destination;
  return true;
}

float* KOutPort::ValueFor(int32_t voice) const {
  TEngineRecord* r = owner_->GetEngineRecord();
  if (!r || !r->state || index_ < 0 || index_ >= r->stateWords) return &EngineZeroCell;
  if (voice < 0 || voice >= r->voices) voice = 0;
  return r->Output(voice, index_);
}

void KOutPort::BuildEventRoutes(TEngineRecord* record, int32_t slot) {
  if (IsMuted()) return;
  if (!record) {
    record = owner_->GetEngineRecord();
    if (!record) return;
    slot = index_;
    ClearRoutes(record, slot);
  }
  TWalkDepth depth;
  if (depth.TooDeep()) return;
  for (int32_t i = 0; i < destCount_; ++i) {
    KInPort* d = dests_[i];
    if (!IsEventKind(d->GetKind()) || d->IsIgnored()) continue;
    KSModul* dm = d->GetOwner();
    if (dm->IsMacroOrInstrument()) {
      int32_t number = d->GetIndex();
      for (int32_t c = 0; c < dm->GetChildCount(); ++c) {
        KSModul* child = dm->GetChild(c);
        if (child->IsCategory(kCatInTerminal) && child->GetTerminalNo() == number)
          if (KOutPort* out = child->GetOutPort(0)) out->BuildEventRoutes(record, slot);
      }
    } else if (dm->IsCategory(kCatSwitch)) {
      if (KOutPort* out = dm->GetOutPort(0)) out->BuildEventRoutes(record, slot);
    } else if (dm->IsCategory(kCatOutTerminal)) {
      KSModul* parent = dm->GetParent();
      if (KOutPort* out = parent ? parent->GetOutPort(dm->GetTerminalNo()) : nullptr) out->BuildEventRoutes(record, slot);
    } else {
      TEngineRecord* target = dm->GetEngineRecord();
      if (!target) continue;
      if (kind_ != kEventMono && record->voices > target->voices) continue;
      // Routes beyond the 20 of a list are dropped.
      AppendRoute(record, slot, GetEventRoutine(d->GetIndexField()), target);
    }
  }
}

void KOutPort::RemoveEventRoute(KInPort* destination) {
  TEngineRecord* record = owner_->GetEngineRecord();
  if (!record || !destination) return;
  TEngineRecord* target = destination->GetOwner()->GetEngineRecord();
  RemoveRoute(record, index_, GetEventRoutine(destination->GetIndexField()), target);
}

void KOutPort::Mute() {
  if (IsMuted()) return;
  TStructureChange bracket(owner_);
  flags_ |= kMuted;
  if (owner_->IsCategory(kCatInTerminal)) {
    owner_->Mute();
  } else if (owner_->IsMacroOrInstrument()) {
    if (KSModul* terminal = owner_->FindOutTerminal(GetIndex())) terminal->Mute();
  }
}

void KOutPort::Unmute() {
  if (!IsMuted()) return;
  TStructureChange bracket(owner_);
  flags_ &= uint8_t(~kMuted);
  if (owner_->IsCategory(kCatInTerminal)) {
    owner_->Unmute();
  } else if (owner_->IsMacroOrInstrument()) {
    if (KSModul* terminal = owner_->FindOutTerminal(GetIndex())) terminal->Unmute();
  }
}

bool KOutPort::ActivateSources(bool trial) {
  if (IsMutedOrUnavailable()) return false;
  bool reached = false;
  if (owner_->IsMacroOrInstrument())
    if (KSModul* terminal = owner_->FindOutTerminal(GetIndex())) reached = terminal->WalkBackward(trial);
  reached = owner_->WalkBackward(trial) || reached;
  return reached;
}

bool KOutPort::ReachesOutput() {
  for (int32_t i = 0; i < destCount_; ++i)
    if (dests_[i]->ReachesOutput()) return true;
  return false;
}

// ---------------------------------------------------------------------------
// Port entries and mono/poly through macros

namespace {
const KPortDef* EntryAt(const KPortTable* table, int32_t i) {
  return table && i >= 0 && i < table->count ? &(*table)[i] : nullptr;
}

// Audio kinds 0/1 and event kinds 2/3: the low bit is poly. False when the
// port already has the kind asked for.
bool CanSwitchKind(int32_t kind, bool mono) { return kind >= kAudioMono && kind <= kEventPoly && IsPolyKind(kind) == mono; }
int32_t SwitchedKind(int32_t kind, bool mono) { return mono ? kind - 1 : kind + 1; }

bool InMacro(const KSModul* m) { return m->GetParent() && m->GetParent()->IsCategory(kCatMacro); }

void SwitchModule(KSModul* m, bool mono) {
  if (!m) return;
  if (mono) m->SetMono();
  else m->SetPoly();
}
} // namespace

const KPortDef* KInPort::GetDefinition() const {
  const KModulDef* def = owner_ ? owner_->GetTypeDef() : nullptr;
  return def ? EntryAt(def->inPorts, GetIndex()) : nullptr;
}

const KPortDef* KOutPort::GetDef() const {
  const KModulDef* def = owner_ ? owner_->GetTypeDef() : nullptr;
  return def ? EntryAt(def->outPorts, GetIndex()) : nullptr;
}

void KInPort::MakeMono() { SwitchKind(true); }
void KInPort::MakePoly() { SwitchKind(false); }
void KOutPort::MakeMono() { SwitchKind(true); }
void KOutPort::MakePoly() { SwitchKind(false); }

void KInPort::SwitchKind(bool mono) {
  const bool macroPort = owner_->IsCategory(kCatMacro);
  const bool terminalPort = owner_->IsCategory(kCatOutTerminal) && InMacro(owner_);
  if ((!macroPort && !terminalPort) || !CanSwitchKind(kind_, mono)) return;
  TStructureChange bracket(owner_);
  kind_ = SwitchedKind(kind_, mono);
  if (macroPort) {
    SwitchModule(owner_->FindInTerminal(GetIndex()), mono);
  } else {
    SwitchModule(owner_, mono);
    if (KOutPort* outer = owner_->GetParent()->GetOutPort(owner_->GetTerminalNo())) {
      if (mono) outer->MakeMono();
      else outer->MakePoly();
    }
  }
}

void KOutPort::SwitchKind(bool mono) {
  const bool macroPort = owner_->IsCategory(kCatMacro);
  const bool terminalPort = owner_->IsCategory(kCatInTerminal) && InMacro(owner_);
  if ((!macroPort && !terminalPort) || !CanSwitchKind(kind_, mono)) return;
  TStructureChange bracket(owner_);
  kind_ = SwitchedKind(kind_, mono);
  if (macroPort) {
    SwitchModule(owner_->FindOutTerminal(GetIndex()), mono);
  } else {
    SwitchModule(owner_, mono);
    if (KInPort* outer = owner_->GetParent()->GetInPort(owner_->GetTerminalNo())) {
      if (mono) outer->MakeMono();
      else outer->MakePoly();
    }
  }
}
