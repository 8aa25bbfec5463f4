#include "src/midi/midi.h"

#include "src/engine/audioio.h"
#include "src/mod/instr.h"
#include "src/mod/mod.h"

#include <algorithm>

namespace {
TMidiMaker midiMaker = nullptr;

bool InLearnZone(int32_t v) { return v >= 56 && v <= 72 && v != 64; }
bool OutsideCentre(int32_t v) { return v < 62 || v > 66; }

// Incremental when the controller keeps sending values around the centre.
bool LearnIncremental(int32_t v, int32_t w) {
  if (!InLearnZone(v)) return false;
  if (v == w) return true;
  if ((v < 64) == (w < 64)) return InLearnZone(w);
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
  uint32_t message = (status | uint32_t(channel & 15)) | (uint32_t(data1 & 127) << 8) | (uint32_t(data2 & 127) << 16);
  SendShortMessage(port, message);
}

void TMidiInOut::SendNoteOff(int32_t port, int32_t channel, int32_t note, int32_t velocity) {
  Send(port, 0x80, channel, note, velocity);
}
void TMidiInOut::SendNoteOn(int32_t port, int32_t channel, int32_t note, int32_t velocity) {
  Send(port, 0x90, channel, note, velocity);
}
void TMidiInOut::SendPolyPressure(int32_t port, int32_t channel, int32_t note, int32_t value) {
  Send(port, 0xA0, channel, note, value);
}
void TMidiInOut::SendControlChange(int32_t port, int32_t channel, int32_t controller, int32_t value) {
  Send(port, 0xB0, channel, controller, value);
}
void TMidiInOut::SendProgramChange(int32_t port, int32_t channel, int32_t program) {
  Send(port, 0xC0, channel, program, 0);
}
void TMidiInOut::SendChannelPressure(int32_t port, int32_t channel, int32_t value) {
  Send(port, 0xD0, channel, value, 0);
}
void TMidiInOut::SendPitchBend(int32_t port, int32_t channel, int32_t data1, int32_t data2) {
  Send(port, 0xE0, channel, data1, data2);
}

// ---------------------------------------------------------------------------
// Activity and injection

int32_t TMidiInOut::TakeInActivity() { return inActivity_.exchange(0); }
int32_t TMidiInOut::TakeInstrumentActivity() { return instrActivity_.exchange(0); }

void TMidiInOut::InjectNote(int32_t note, int32_t velocity) {
  KInstr* current = owner_ ? owner_->GetCurrentInstr() : nullptr;
  if (current) Receive(1, current->GetChannelIndex(), note, velocity);
}

// ---------------------------------------------------------------------------
// The dispatch

void TMidiInOut::Receive(int32_t kind, int32_t channel, int32_t data1, int32_t data2) {
  kind &= 7;
  channel &= 15;
  data1 &= 127;
  data2 &= 127;
  // Voice allocation must never race the block loop or a structure change.
  TLockGuard guard(EngineCriticalSection());
  try {
    if (kind == 7) {
      if (!IsExternalSync() || !owner_) return;
      IAudioInOut* audio = owner_->GetAudio();
      if (!audio) return;
      switch (channel) {
      case 8: audio->ClockTick(); break;
      case 10:
      case 11:
        audio->StartClock();
        owner_->PostViewRefresh();
        break;
      case 12:
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
      if (instr->GetControllerMode() && kind == 3 && data1 == lastData1_ && channel == lastChannel_)
        Learn(instr, data1, data2);
      Dispatch(instr, kind, data1, data2);
      if (kind <= 2) lastNote = std::clamp(data1 + instr->GetNoteShift(), 0, 127);
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
      if (m->IsRemote() && m->GetRemoteKind() == 0 && m->GetControllerNo() == controller) m->SetRemote(false);
      continue;
    }
    m->SetRemoteKind(0);
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
  case 1:
    if (data2 > 0) {
      if (data1 >= instr->GetLowerKey() && data1 <= instr->GetUpperKey()) instr->NoteOn(note, data2);
      break;
    }
    [[fallthrough]];
  case 0: instr->NoteOff(note, -data2); break;
  case 2:
    if (instr->GetSourceCount(KInstr::kPolyPressureList) > 0) instr->PolyPressure(note, data2);
    break;
  case 3:
    if (data1 == instr->GetHoldController()) {
      if (data2 < 64) instr->SostenutoOff();
      else instr->SostenutoOn();
    }
    if (data1 == instr->GetSustainController()) {
      if (data2 < 64) instr->SustainOff();
      else instr->SustainOn();
    }
    instr->Controller(data1, data2);
    break;
  case 4:
    instr->ProgramChange(data1);
    if (instr->IsSnapRecallByMidi()) {
      instr->RecallSnap(data1, nullptr, false);
      if (owner_) owner_->PostViewRefresh();
    }
    break;
  case 5: instr->ChannelPressure(data1); break;
  case 6: instr->PitchBend(data1, data2); break;
  default: break;
  }
}

// Out of line: built inline into a derived class's constructor, GCC 12 takes
// the virtual base's place for a read outside the object and warns.
TNoMidi::TNoMidi(IMidiOwner* owner) : TMidiInOut(owner) {}
