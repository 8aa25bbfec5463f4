#include "src/midi/midi.h"

#include "src/engine/audioio.h"
#include "src/mod/instr.h"
#include "src/mod/mod.h"

#include <algorithm>

namespace {
TMidiMaker midiMaker = nullptr;

// The middle of a controller's range, where an endless encoder sends from.
constexpr int32_t kCentre = 64;

bool InLearnZone(int32_t v) { return v >= 56 && v <= 72 && v != kCentre; }
bool OutsideCentre(int32_t v) { return v < 62 || v > 66; }

// Incremental when the controller keeps sending values around the centre.
bool LearnIncremental(int32_t v, int32_t w) {
  if (!InLearnZone(v)) return false;
  if (v == w) return true;
  if ((v < kCentre) == (w < kCentre)) return InLearnZone(w);
  return !(OutsideCentre(v) && OutsideCentre(w));
}
} // namespace

TMidiMaker SetMidiMaker(TMidiMaker maker) {
  SetMidiPortFactory(CreateMidiInOut);
  TMidiMaker previous = midiMaker;
  midiMaker = maker;
  return previous;
}

IMidiInOut* CreateMidiInOut(IMidiOwner* owner) {
  TMidiInOut* midi = midiMaker ? midiMaker(owner) : nullptr;
  if (!midi) midi = new TNoMidi(owner);
  return midi;
}

namespace {
// Every program with the MIDI base gives its ensembles a MIDI driver.
struct InstallMidiPortFactory {
  InstallMidiPortFactory() { SetMidiPortFactory(CreateMidiInOut); }
} installMidiPortFactory;
} // namespace

TMidiInOut::TMidiInOut(IMidiOwner* owner) : owner_(owner) {}

TMidiInOut::~TMidiInOut() = default;

void TMidiInOut::Open() { OpenDevices(); }
void TMidiInOut::Close() { CloseDevices(); }

void TMidiInOut::AddReceiver(KInstr* instr, int32_t channel) {
  if (!instr || channel < 0 || channel >= kChannels) return;
  TLockGuard guard(EngineCriticalSection());
  if (counts_[channel] >= kMaxReceivers) return;
  receivers_[channel][counts_[channel]++] = instr;
}

void TMidiInOut::RemoveReceiver(KInstr* instr, int32_t channel) {
  if (channel < 0 || channel >= kChannels) return;
  TLockGuard guard(EngineCriticalSection());
  int32_t& n = counts_[channel];
  for (int32_t i = 0; i < n; ++i) {
    if (receivers_[channel][i] != instr) continue;
    for (int32_t j = i; j + 1 < n; ++j) receivers_[channel][j] = receivers_[channel][j + 1];
    receivers_[channel][--n] = nullptr;
    return;
  }
}

int32_t TMidiInOut::GetReceiverCount(int32_t channel) const {
  return channel >= 0 && channel < kChannels ? counts_[channel] : 0;
}

KInstr* TMidiInOut::GetReceiver(int32_t channel, int32_t i) const {
  return i >= 0 && i < GetReceiverCount(channel) ? receivers_[channel][i] : nullptr;
}

// ---------------------------------------------------------------------------
// Senders

void TMidiInOut::Send(int32_t port, uint32_t status, int32_t channel, int32_t data1, int32_t data2) {
  uint32_t message = (status | uint32_t(channel & midi::kChannelMask)) | (uint32_t(data1 & midi::kDataMask) << 8) |
                     (uint32_t(data2 & midi::kDataMask) << 16);
  SendShortMessage(port, message);
}

void TMidiInOut::SendNoteOff(int32_t port, int32_t channel, int32_t note, int32_t velocity) {
  Send(port, midi::Status(midi::kNoteOff), channel, note, velocity);
}
void TMidiInOut::SendNoteOn(int32_t port, int32_t channel, int32_t note, int32_t velocity) {
  Send(port, midi::Status(midi::kNoteOn), channel, note, velocity);
}
void TMidiInOut::SendPolyPressure(int32_t port, int32_t channel, int32_t note, int32_t value) {
  Send(port, midi::Status(midi::kPolyPressure), channel, note, value);
}
void TMidiInOut::SendControlChange(int32_t port, int32_t channel, int32_t controller, int32_t value) {
  Send(port, midi::Status(midi::kControlChange), channel, controller, value);
}
void TMidiInOut::SendProgramChange(int32_t port, int32_t channel, int32_t program) {
  Send(port, midi::Status(midi::kProgramChange), channel, program, 0);
}
void TMidiInOut::SendChannelPressure(int32_t port, int32_t channel, int32_t value) {
  Send(port, midi::Status(midi::kChannelPressure), channel, value, 0);
}
void TMidiInOut::SendPitchBend(int32_t port, int32_t channel, int32_t data1, int32_t data2) {
  Send(port, midi::Status(midi::kPitchBend), channel, data1, data2);
}

// ---------------------------------------------------------------------------
// Activity and injection

int32_t TMidiInOut::TakeInActivity() { return inActivity_.exchange(0); }
int32_t TMidiInOut::TakeInstrumentActivity() { return instrActivity_.exchange(0); }

void TMidiInOut::InjectNote(int32_t note, int32_t velocity) {
  KInstr* current = owner_ ? owner_->GetCurrentInstr() : nullptr;
  if (current) Receive(midi::kNoteOn, current->GetChannelIndex(), note, velocity);
}

// ---------------------------------------------------------------------------
// The dispatch

void TMidiInOut::Receive(int32_t kind, int32_t channel, int32_t data1, int32_t data2) {
  kind &= midi::kKindMask;
  channel &= midi::kChannelMask;
  data1 &= midi::kDataMask;
  data2 &= midi::kDataMask;
  // Voice allocation must never race the block loop or a structure change.
  TLockGuard guard(EngineCriticalSection());
  try {
    if (kind == midi::kSystem) {
      if (!IsExternalSync() || !owner_) return;
      IAudioInOut* audio = owner_->GetAudio();
      if (!audio) return;
      switch (channel) {
      case midi::kClock: audio->ClockTick(); break;
      case midi::kStart:
      case midi::kContinue:
        audio->StartClock();
        owner_->PostViewRefresh();
        break;
      case midi::kStop:
        audio->StopClock();
        owner_->PostViewRefresh();
        break;
      default: break;
      }
      return;
    }
    KInstr* current = owner_ ? owner_->GetCurrentInstr() : nullptr;
    int32_t lastNote = data1;
    for (int32_t i = 0; i < counts_[channel]; ++i) {
      KInstr* instr = receivers_[channel][i];
      if (instr->GetControllerMode() && kind == midi::kControlChange && data1 == lastData1_ && channel == lastChannel_)
        Learn(instr, data1, data2);
      Dispatch(instr, kind, data1, data2);
      // Note-off, note-on and poly pressure carry a note in their first byte.
      if (kind <= midi::kPolyPressure) lastNote = std::clamp(data1 + instr->GetNoteShift(), 0, 127);
      if (instr == current) instrActivity_.store(1);
      // The list may have changed under a learn: stop at its end.
      if (i >= counts_[channel]) break;
    }
    lastData1_ = lastNote;
    lastData2_ = data2;
    lastChannel_ = channel;
    inActivity_.store(1);
  } catch (...) {
    // Nothing on the MIDI thread may throw into the driver: the error stays
    // recorded for the GUI to show.
    RecordCurrentException();
  }
}

void TMidiInOut::Learn(KInstr* instr, int32_t controller, int32_t value) {
  bool incremental = LearnIncremental(value, lastData2_);
  KSModul* owner = instr->GetOwner();
  if (!owner) return;
  for (int32_t i = 0; i < owner->GetPanelModuleCount(); ++i) {
    KSModul* m = owner->GetPanelModule(i);
    if (!m) continue;
    if (!m->IsLearnMarked()) {
      if (m->IsRemote() && m->GetRemoteKind() == kRemoteByController && m->GetControllerNo() == controller)
        m->SetRemote(false);
      continue;
    }
    m->SetRemoteKind(kRemoteByController);
    m->SetControllerNo(controller);
    m->SetIncremental(incremental);
    m->SetRemote(true);
    instr->SetControllerMode(false);
    if (owner_) owner_->PostViewRefresh();
  }
}

void TMidiInOut::Dispatch(KInstr* instr, int32_t kind, int32_t data1, int32_t data2) {
  int32_t note = std::clamp(data1 + instr->GetNoteShift(), 0, 127);
  switch (kind) {
  case midi::kNoteOn:
    if (data2 > 0) {
      if (data1 >= instr->GetLowerKey() && data1 <= instr->GetUpperKey()) instr->NoteOn(note, data2);
      break;
    }
    [[fallthrough]];
  case midi::kNoteOff: instr->NoteOff(note, -data2); break;
  case midi::kPolyPressure:
    if (instr->GetSourceCount(KInstr::kPolyPressureList) > 0) instr->PolyPressure(note, data2);
    break;
  case midi::kControlChange:
    if (data1 == instr->GetHoldController()) {
      if (data2 < midi::kSwitchOn) instr->SostenutoOff();
      else instr->SostenutoOn();
    }
    if (data1 == instr->GetSustainController()) {
      if (data2 < midi::kSwitchOn) instr->SustainOff();
      else instr->SustainOn();
    }
    instr->Controller(data1, data2);
    break;
  case midi::kProgramChange:
    instr->ProgramChange(data1);
    if (instr->IsSnapRecallByMidi()) {
      instr->RecallSnap(data1, nullptr, false);
      if (owner_) owner_->PostViewRefresh();
    }
    break;
  case midi::kChannelPressure: instr->ChannelPressure(data1); break;
  case midi::kPitchBend: instr->PitchBend(data1, data2); break;
  default: break;
  }
}

// Out of line: built inline into a derived class's constructor, GCC 12 takes
// the virtual base's place for a read outside the object and warns.
TNoMidi::TNoMidi(IMidiOwner* owner) : TMidiInOut(owner) {}
