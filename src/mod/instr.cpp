#include "src/mod/instr.h"

#include "src/engine/audioio.h"
#include "src/mod/midi_port.h"
#include "src/mod/mod.h"

#include <algorithm>

QV_MESSAGE(TooManyModules, "Sorry - too many modules in this ensemble")

namespace {

std::atomic<int32_t> recallDepth{0};

// Holds the engine's mutex: the MIDI thread and the GUI thread both reach an
// instrument, and the block loop reads what they change.
class TEngineMutex {
public:
  TEngineMutex() : guard_(EngineCriticalSection()) {}

private:
  TLockGuard guard_;
};

// The instrument modules that an instrument owns directly: its children and
// the children of its macros, without entering nested instruments.
template <class Fn> void ForEachChildInstr(KSModul* module, Fn&& fn) {
  for (int32_t i = 0; i < module->GetChildCount(); ++i) {
    KSModul* child = module->GetChild(i);
    if (child->IsCategory(kCatInstrument)) {
      if (KInstr* instr = child->GetOwnInstr()) fn(instr);
    } else if (child->IsCategory(kCatMacro)) {
      ForEachChildInstr(child, fn);
    }
  }
}

struct TRecallScope {
  TRecallScope() {
    recallDepth.fetch_add(1);
    StructureChangeDepth.fetch_add(1);
  }
  ~TRecallScope() {
    StructureChangeDepth.fetch_sub(1);
    recallDepth.fetch_sub(1);
  }
};

} // namespace

int32_t KInstr::GetRecallDepth() { return recallDepth.load(); }

KInstr::KInstr(KSModul* owner) : owner_(owner), voices_(owner && owner->GetParent() ? 6 : 1) {
  std::fill(std::begin(snapMaxUnison_), std::end(snapMaxUnison_), 1);
  std::fill(std::begin(snapMinUnison_), std::end(snapMinUnison_), 1);
  std::fill(std::begin(snapSpread_), std::end(snapSpread_), 0.05f);
  std::fill(std::begin(parentMap_), std::end(parentMap_), -1);
  BuildRing();
  if (IMidiInOut* midi = Midi()) {
    midi->AddReceiver(this, 0);
    registeredChannel_ = 0;
  }
}

KInstr::~KInstr() {
  DestructorBody([this] {
    if (registeredChannel_ >= 0)
      if (IMidiInOut* midi = Midi()) midi->RemoveReceiver(this, registeredChannel_);
    if (owner_ && owner_->GetHost()) owner_->GetHost()->InstrGone(this);
  });
}

IMidiInOut* KInstr::Midi() const { return owner_ && owner_->GetHost() ? owner_->GetHost()->GetMidi() : nullptr; }

// ---------------------------------------------------------------------------
// The voice ring: voices from the head forward to the last free voice are
// free, in the order they became free; the voices behind the head are in use,
// newer notes nearer the head.

void KInstr::BuildRing() {
  for (int32_t v = 0; v < kMaxVoices; ++v) {
    note_[v] = kFree;
    heldSustain_[v] = heldSostenuto_[v] = 0;
  }
  for (int32_t v = 0; v < voices_; ++v) {
    next_[v] = v + 1 < voices_ ? v + 1 : 0;
    prev_[v] = v > 0 ? v - 1 : voices_ - 1;
  }
  lastFree_ = voices_ - 1;
  head_ = 0;
}

void KInstr::Unlink(int32_t v) {
  next_[prev_[v]] = next_[v];
  prev_[next_[v]] = prev_[v];
}

void KInstr::LinkBetween(int32_t v, int32_t p, int32_t n) {
  next_[p] = v;
  prev_[v] = p;
  next_[v] = n;
  prev_[n] = v;
}

void KInstr::MoveAfter(int32_t v, int32_t p) {
  if (v == p || next_[p] == v) return;
  Unlink(v);
  LinkBetween(v, p, next_[p]);
}

void KInstr::MoveBefore(int32_t v, int32_t a) {
  if (v == a || prev_[a] == v) return;
  Unlink(v);
  LinkBetween(v, prev_[a], a);
}

int32_t KInstr::TakeVoice(int32_t k, int32_t after) {
  if (lastFree_ >= 0) {
    int32_t h = head_;
    if (h == lastFree_) lastFree_ = -1;
    head_ = next_[h];
    if (h != after) MoveBefore(h, after);
    return h;
  }
  // Steal: from the voice before `after` back to the head, the highest rank
  // wins; among equal ranks the older (met later).
  int32_t stop = prev_[head_];
  int32_t best = -1;
  int32_t v = prev_[after];
  do {
    if (best < 0 || rank_[v] >= rank_[best]) best = v;
    v = prev_[v];
  } while (v != stop);
  if (best < 0) return -1;
  if (k >= minUnison_ && k > rank_[best]) return -1;
  if (best == head_) head_ = next_[head_];
  MoveBefore(best, after);
  return best;
}

void KInstr::Release(int32_t v) {
  if (lastFree_ < 0) {
    MoveBefore(v, head_);
    head_ = v;
  } else {
    MoveAfter(v, lastFree_);
  }
  lastFree_ = v;
}

void KInstr::EndVoice(int32_t v, int32_t velocity) {
  for (int32_t i = 0; i < counts_[kNoteOffList]; ++i)
    handlers_[kNoteOffList][i](records_[kNoteOffList][i], note_[v], velocity, v, rank_[v]);
  Release(v);
  note_[v] = kFree;
}

void KInstr::NoteOn(int32_t note, int32_t velocity) {
  int32_t t = head_;
  for (int32_t k = 0; k < maxUnison_; ++k) {
    t = TakeVoice(k, t);
    if (t < 0) return;
    note_[t] = note;
    rank_[t] = k == 0 ? 0 : maxUnison_ - k;
    for (int32_t i = 0; i < counts_[kNoteOnList]; ++i)
      handlers_[kNoteOnList][i](records_[kNoteOnList][i], note, velocity, t, rank_[t]);
    heldSustain_[t] = heldSostenuto_[t] = 0;
  }
}

void KInstr::NoteOff(int32_t note, int32_t velocity) {
  for (int32_t v = 0; v < voices_; ++v) {
    if (note_[v] != note) continue;
    heldSustain_[v] = sustainDown_;
    if (!heldSustain_[v] && !heldSostenuto_[v]) EndVoice(v, velocity);
  }
}

void KInstr::SustainOn() { sustainDown_ = 1; }

void KInstr::SustainOff() {
  sustainDown_ = 0;
  for (int32_t v = 0; v < voices_; ++v) {
    if (!heldSustain_[v]) continue;
    // The mark goes in every case: a voice also held by sostenuto must end
    // when that pedal goes up, not stay held by a pedal that is up.
    heldSustain_[v] = 0;
    if (!heldSostenuto_[v] && note_[v] != kFree) EndVoice(v, 0);
  }
}

void KInstr::SostenutoOn() {
  for (int32_t v = 0; v < voices_; ++v)
    if (note_[v] != kFree) heldSostenuto_[v] = 1;
}

void KInstr::SostenutoOff() {
  for (int32_t v = 0; v < voices_; ++v) {
    if (!heldSostenuto_[v]) continue;
    heldSostenuto_[v] = 0;
    if (!heldSustain_[v] && note_[v] != kFree) EndVoice(v, 0);
  }
}

void KInstr::PolyPressure(int32_t note, int32_t value) {
  for (int32_t v = 0; v < voices_; ++v) {
    if (note_[v] != note) continue;
    for (int32_t i = 0; i < counts_[kPolyPressureList]; ++i)
      handlers_[kPolyPressureList][i](records_[kPolyPressureList][i], note, value, v, rank_[v]);
  }
}

void KInstr::Controller(int32_t controller, int32_t value) {
  for (int32_t i = 0; i < counts_[kControllerList]; ++i)
    handlers_[kControllerList][i](records_[kControllerList][i], controller, value, 0, 0);
}

void KInstr::PitchBend(int32_t lsb, int32_t msb) {
  for (int32_t i = 0; i < counts_[kPitchBendList]; ++i) PitchBendSource(records_[kPitchBendList][i], lsb, msb);
}

void KInstr::ChannelPressure(int32_t value) {
  for (int32_t i = 0; i < counts_[kChannelPressureList]; ++i)
    ChannelPressureSource(records_[kChannelPressureList][i], value);
}

void KInstr::ProgramChange(int32_t program) {
  for (int32_t i = 0; i < counts_[kProgramList]; ++i) ProgramChangeSource(records_[kProgramList][i], program);
}

int32_t KInstr::GetPlayingVoiceCount() const {
  int32_t n = 0;
  for (int32_t v = 0; v < voices_; ++v)
    if (note_[v] != kFree) ++n;
  return n;
}

// ---------------------------------------------------------------------------
// Voices, tune, channel

void KInstr::SetVoiceCount(int32_t voices) {
  TEngineMutex lock;
  voices_ = std::clamp(voices, 1, kMaxVoices);
  maxUnison_ = std::min(maxUnison_, voices_);
  minUnison_ = std::min(minUnison_, maxUnison_);
  BuildRing();
  sustainDown_ = 0;
}

void KInstr::SetVoices(int32_t voices, int32_t maxUnison, int32_t minUnison) {
  if (voices != -1) {
    voices = std::clamp(voices, 1, kMaxVoices);
    if (voices != voices_ && owner_) {
      // Every module of the ensemble rebuilds its per-voice data.
      TStructureChange bracket(owner_);
      KSModul* top = owner_->GetTop();
      top->DetachFromEngine();
      voices_ = voices;
      BuildRing();
      sustainDown_ = 0;
      top->AttachToEngine();
    } else if (voices != voices_) {
      SetVoiceCount(voices);
    }
  }
  TEngineMutex lock;
  if (maxUnison != -1) maxUnison_ = std::max(maxUnison, 1);
  maxUnison_ = std::min(maxUnison_, voices_);
  if (minUnison != -1) minUnison_ = std::max(minUnison, 1);
  minUnison_ = std::min(minUnison_, maxUnison_);
}

void KInstr::SetTune(float value, bool inheritOnly) {
  TEngineMutex lock;
  if (!inheritOnly) ownTune_ = value;
  KSModul* parent = owner_ ? owner_->GetParent() : nullptr;
  KInstr* parentInstr = parent ? parent->GetInstr() : nullptr;
  tune_ = parentInstr ? parentInstr->tune_ + ownTune_ : ownTune_;
  if (owner_) ForEachChildInstr(owner_, [](KInstr* child) { child->SetTune(0.0f, true); });
}

void KInstr::SetControllerMode(bool on) {
  if (controllerMode_.exchange(on ? 1 : 0) == (on ? 1 : 0)) return;
  if (KModelHost* host = owner_ ? owner_->GetHost() : nullptr) host->InstrumentStateChanged();
}

void KInstr::SetMidiChannel(int32_t channel) {
  int32_t index = std::clamp(channel, 1, 16) - 1;
  if (index == channel_ && registeredChannel_ == index) return;
  IMidiInOut* midi = Midi();
  if (midi && registeredChannel_ >= 0) midi->RemoveReceiver(this, registeredChannel_);
  channel_ = index;
  registeredChannel_ = -1;
  if (midi) {
    midi->AddReceiver(this, channel_);
    registeredChannel_ = channel_;
  }
}

void KInstr::SetUnisonSpread(float spread) {
  TEngineMutex lock;
  spread_ = spread;
}

void KInstr::SetNoteShift(int32_t shift) {
  TEngineMutex lock;
  noteShift_ = shift;
}

void KInstr::SetSustainController(int32_t number) {
  TEngineMutex lock;
  sustainController_ = number & 127;
}

void KInstr::SetHoldController(int32_t number) {
  TEngineMutex lock;
  holdController_ = number & 127;
}

void KInstr::SetSnapRecallByMidi(bool on) {
  TEngineMutex lock;
  recallByMidi_ = on ? 1 : 0;
}

void KInstr::SetKeyRange(int32_t lower, int32_t upper) {
  TEngineMutex lock;
  lowerKey_ = std::clamp(lower, 0, 127);
  upperKey_ = std::clamp(upper, 0, 127);
}

// ---------------------------------------------------------------------------
// Instrument-wide panel settings

namespace {
template <class Fn> void ForEachPanelModule(KSModul* owner, Fn&& fn) {
  if (!owner) return;
  for (int32_t i = 0; i < owner->GetPanelModuleCount(); ++i)
    if (KSModul* m = owner->GetPanelModule(i)) fn(m);
}
} // namespace

void KInstr::SetAllIncremental(bool on) {
  if (int32_t(on) == allIncremental_) return;
  TEngineMutex lock;
  ForEachPanelModule(owner_, [on](KSModul* m) { m->SetIncremental(on); });
  allIncremental_ = on;
}

void KInstr::SetPanelToMidiOut(bool on) {
  if (int32_t(on) == panelToMidi_) return;
  TEngineMutex lock;
  ForEachPanelModule(owner_, [on](KSModul* m) { m->SetPanelToMidiOut(on); });
  panelToMidi_ = on;
}

void KInstr::SetRemoteToMidiOut(bool on) {
  if (int32_t(on) == remoteToMidi_) return;
  TEngineMutex lock;
  ForEachPanelModule(owner_, [on](KSModul* m) { m->SetRemoteToMidiOut(on); });
  remoteToMidi_ = on;
}

// The instrument's setting is each control's own soft-takeover word, which
// the controls keep in files; the instrument only remembers what it set last.
void KInstr::SetSoftTakeover(bool on) {
  if (int32_t(on) == softTakeover_) return;
  TEngineMutex lock;
  ForEachPanelModule(owner_, [on](KSModul* m) { m->SetSoftTakeover(on); });
  softTakeover_ = on;
}

// ---------------------------------------------------------------------------
// Source lists

void KInstr::Append(int32_t list, TEngineRecord* record, TSourceHandler handler, bool front) {
  int32_t& n = counts_[list];
  if (n >= kMaxSources) ThrowError(&TooManyModules());
  if (front) {
    for (int32_t i = n; i > 0; --i) {
      records_[list][i] = records_[list][i - 1];
      handlers_[list][i] = handlers_[list][i - 1];
    }
    records_[list][0] = record;
    handlers_[list][0] = handler;
  } else {
    records_[list][n] = record;
    handlers_[list][n] = handler;
  }
  ++n;
}

void KInstr::RemoveFrom(int32_t list, TEngineRecord* record) {
  int32_t& n = counts_[list];
  for (int32_t i = 0; i < n; ++i) {
    if (records_[list][i] != record) continue;
    for (int32_t j = i; j + 1 < n; ++j) {
      records_[list][j] = records_[list][j + 1];
      handlers_[list][j] = handlers_[list][j + 1];
    }
    --n;
    records_[list][n] = nullptr;
    handlers_[list][n] = nullptr;
    return;
  }
}

void KInstr::AddSource(KSModul* module) {
  TEngineRecord* r = module ? module->GetEngineRecord() : nullptr;
  if (!r) return;
  struct TEntry {
    int32_t list;
    TSourceHandler handler;
    bool front;
  };
  TEntry entries[4];
  int32_t count = 0;
  auto add = [&](int32_t list, TSourceHandler handler, bool front = false) {
    entries[count++] = {list, handler, front};
  };
  bool clock = false;
  bool notify = false;
  if (module->IsPanelControl()) {
    if (module->IsRemote()) {
      switch (module->GetRemoteKind()) {
      case kRemoteByController: add(kControllerList, RemoteControlHandler); break;
      case kRemoteByPolyPressure: add(kPolyPressureList, RemoteControlHandler); break;
      case kRemoteByNote:
        add(kNoteOnList, RemoteControlHandler);
        add(kNoteOffList, RemoteControlHandler);
        break;
      default: break;
      }
    }
    if (!module->IsSnapIsolate()) add(kSnapList, nullptr);
    notify = module->IsPanelToMidiOut();
  } else if (module->IsCategory(kCatSource)) {
    int32_t type = module->GetTypeIndex();
    TSourceHandler h = FindSourceHandler(type);
    switch (type) {
    case kTypeSingleTriggerGate.type: case kTypeGate.type: case kTypeSelectedNoteGate.type:
      add(kNoteOnList, h);
      add(kNoteOffList, h);
      break;
    case kTypeNoteOnVelocity.type: add(kNoteOnList, h); break;
    case kTypeNotePitch.type: case kTypeSpread.type: add(kNoteOnList, h, true); break;
    case kTypeNoteOffVelocity.type: add(kNoteOffList, h); break;
    case kTypePolyPressure.type: add(kPolyPressureList, h); break;
    case kTypeSelectedPolyPressure.type:
      add(kPolyPressureList, h);
      if (!module->IsSnapIsolate()) add(kSnapList, nullptr);
      break;
    case kTypePitchBend.type: add(kPitchBendList, nullptr); break;
    case kTypeController.type:
      add(kControllerList, h);
      if (!module->IsSnapIsolate()) add(kSnapList, nullptr);
      break;
    case kTypeChannelPressure.type: add(kChannelPressureList, nullptr); break;
    case kTypeProgramChange.type: add(kProgramList, nullptr); break;
    case kTypeClockStartStop.type: case kTypeClockStartStopTwin.type: clock = true; break;
    default: break;
    }
  }
  TEngineMutex lock;
  // A module joins all of its lists or none of them.
  for (int32_t i = 0; i < count; ++i) {
    int32_t need = 0;
    for (int32_t j = 0; j < count; ++j) need += entries[j].list == entries[i].list;
    if (counts_[entries[i].list] + need > kMaxSources) ThrowError(&TooManyModules());
  }
  for (int32_t i = 0; i < count; ++i) Append(entries[i].list, r, entries[i].handler, entries[i].front);
  if (clock && owner_ && owner_->GetHost())
    if (IAudioInOut* audio = owner_->GetHost()->GetAudio()) audio->AddClockListener(r);
  if (notify) module->NotifyOwner(module->GetControlStep());
}

void KInstr::RemoveSource(TEngineRecord* record) {
  if (!record) return;
  {
    TEngineMutex lock;
    static const int32_t kOrder[] = {0, 1, 2, 3, 4, 5, 7, 6};
    for (int32_t list : kOrder) RemoveFrom(list, record);
  }
  if (owner_ && owner_->GetHost())
    if (IAudioInOut* audio = owner_->GetHost()->GetAudio()) audio->RemoveClockListener(record);
}

void KInstr::AddSnapControl(TEngineRecord* record) {
  if (!record) return;
  TEngineMutex lock;
  Append(kSnapList, record, nullptr);
}

void KInstr::RemoveSnapControl(TEngineRecord* record) {
  TEngineMutex lock;
  RemoveFrom(kSnapList, record);
}

// ---------------------------------------------------------------------------
// Snapshots

const TStr& KInstr::GetSnapName(int32_t number) const {
  static const TStr empty;
  return InSnapRange(number) ? snapNames_[number] : empty;
}

int32_t KInstr::GetCurrentSnap() const { return owner_ ? owner_->GetCurrentSnap() : 0; }

void KInstr::StoreSnap(int32_t number, const TStr& name) {
  if (!InSnapRange(number) || !owner_) return;
  TEngineMutex lock;
  owner_->GetTop()->StoreSnapValues(this, number);
  stored_[number] = 1;
  if (!name.IsEmpty()) snapNames_[number] = name;
  snapMaxUnison_[number] = maxUnison_;
  snapMinUnison_[number] = minUnison_;
  snapSpread_[number] = spread_;
  owner_->SetCurrentSnap(number);
  ForEachChildInstr(owner_, [number](KInstr* child) {
    if (child->recallByParent_) child->parentMap_[number] = child->GetCurrentSnap();
  });
}

void KInstr::RecallSnap(int32_t number, const void* source, bool byParent) {
  RecallSnapSteps(number, source, byParent);
  // On the GUI thread the moved controls show their values at once; the
  // panels' tick picks up a recall made on another thread.
  KModelHost* host = owner_ ? owner_->GetHost() : nullptr;
  if (host && host->IsGuiThread()) owner_->Walk([host](KSModul* m) {
      if (!m->IsPanelControl() || m->GetCtrlValue() == 0) return;
      m->SetCtrlValue(0);
      host->UpdateCtrlViews(m);
    });
}

void KInstr::RecallSnapSteps(int32_t number, const void* source, bool byParent) {
  (void)source;
  if (!InSnapRange(number)) return;
  if (byParent) {
    number = parentMap_[number];
    if (!InSnapRange(number)) return;
  }
  TEngineMutex lock;
  if (stored_[number]) {
    {
      TRecallScope scope;
      for (int32_t i = 0; i < counts_[kSnapList]; ++i) {
        TEngineRecord* r = records_[kSnapList][i];
        if (r->snapSteps) SendControlStep(r, r->snapSteps[number]);
      }
      recallCount_.fetch_add(1);
    }
    SetVoices(-1, snapMaxUnison_[number], snapMinUnison_[number]);
    spread_ = snapSpread_[number];
  }
  if (owner_) owner_->SetCurrentSnap(number);
  if (panelToMidi_)
    if (IMidiInOut* midi = Midi()) midi->SendProgramChange(0, channel_, number);
  if (owner_)
    ForEachChildInstr(owner_, [number, source](KInstr* child) { child->RecallSnapSteps(number, source, true); });
}

void KInstr::DeleteSnap(int32_t number) {
  if (!InSnapRange(number)) return;
  TEngineMutex lock;
  stored_[number] = 0;
  snapNames_[number] = TStr();
}

void KInstr::SetProgramMapEnabled(bool on) {
  TEngineMutex lock;
  if (recallByParent_ && !on) std::fill(std::begin(parentMap_), std::end(parentMap_), -1);
  recallByParent_ = on ? 1 : 0;
}

// ---------------------------------------------------------------------------
// The module's side: the instrument it runs in and the one it owns

void KInstrDelete::operator()(KInstr* instr) const { delete instr; }

KSModul* KSModul::GetInstrOwner() const { return instr_ ? instr_->GetOwner() : nullptr; }

const IEngineInstr* KSModul::GetEngineInstr() const { return instr_; }

void KSModul::CreateOwnInstr() {
  if (!ownInstr_) ownInstr_.reset(new KInstr(this));
  instr_ = ownInstr_.get();
}

int32_t KSModul::GetEngineVoiceCount() const {
  // A module's own mono flag decides, so that switching it to mono takes effect.
  if (mono_ || !instr_) return 1;
  return instr_->GetVoices();
}
