#include "src/engine/module_types.h"
#include "src/engine/source_handlers.h"
#include "src/engine/routine_util.h"
#include "src/engine/voice_state.h"

#include "src/engine/event_routines.h"

#include <algorithm>

namespace {

// MIDI data index the tables: mask to 7 bits whatever arrives.
inline int32_t Data(int32_t value) { return value & 127; }

inline float Table(const TEngineRecord* r, int32_t i) { return r->valueTable ? r->valueTable[Data(i)] : 0.0f; }

// Every source keeps the value it last sent in the same word, whatever else
// its record holds: the send helpers below serve all of them.
constexpr int32_t kOut = QV_WORD_AT(SourceState, out);
static_assert(QV_WORD_AT(GateSourceState, out) == kOut, "source outputs share one word");
static_assert(QV_WORD_AT(SyncSourceState, out) == kOut, "source outputs share one word");
static_assert(QV_WORD_AT(SpreadState, offset) == kOut, "source outputs share one word");

inline TVoiceWords State(TEngineRecord* r, int32_t voice) {
  if (!r->state || r->stateWords < QV_WORDS_OF(SourceState) || voice < 0 || voice >= r->voices) return {};
  return r->state[voice];
}

inline bool IsMono(const TEngineRecord* r) { return r->voices <= 1; }

// A mono source writes voice 0; a polyphonic one the note's voice.
inline int32_t OutVoice(const TEngineRecord* r, int32_t voice) { return IsMono(r) ? 0 : voice; }

const IEngineInstr* InstrOf(const TEngineRecord* r) { return r->module ? r->module->GetEngineInstr() : nullptr; }

int32_t& Step(TEngineRecord* r) { return r->sources[0].i; }
// The panel reads the step on the GUI thread without the engine lock.
void SetStep(TEngineRecord* r, int32_t step) { routines::StoreShared(r->sources[0].i, step); }
int32_t& LastReceived(TEngineRecord* r) { return r->sources[2].i; }

void TellViews(TEngineRecord* r) {
  if (r->module) r->module->SetCtrlValue(1);
}

// "On. Vel" (4): the velocity through the table.
void NoteOnVelocity(TEngineRecord* r, int32_t, int32_t velocity, int32_t voice, int32_t) {
  SendSourceValue(r, OutVoice(r, voice), Table(r, velocity));
}

// "Off Vel." (5): the release velocity (negated by the dispatch).
void NoteOffVelocity(TEngineRecord* r, int32_t, int32_t velocity, int32_t voice, int32_t) {
  float value = velocity <= 0 ? Table(r, -velocity) : Table(r, 64);
  SendSourceValue(r, OutVoice(r, voice), value);
}

// "Gate" (6).
void Gate(TEngineRecord* r, int32_t, int32_t velocity, int32_t voice, int32_t) {
  if (IsMono(r)) {
    constexpr int32_t kVoice = QV_WORD_AT(GateSourceState, voice);
    TVoiceWords w = State(r, 0);
    if (!w || r->stateWords < QV_WORDS_OF(GateSourceState)) return;
    if (velocity > 0) {
      w[kVoice].f = float(voice);
      SendSourceValue(r, 0, Table(r, velocity));
    } else if (int32_t(w[kVoice].f) == voice) {
      SendSourceValue(r, 0, 0.0f);
    }
    return;
  }
  SendSourceValue(r, voice, velocity > 0 ? Table(r, velocity) : 0.0f);
}

// "ST Gate" (3): single trigger; the gate follows the last note held.
void SingleTriggerGate(TEngineRecord* r, int32_t, int32_t velocity, int32_t voice, int32_t) {
  constexpr int32_t kVoice = QV_WORD_AT(GateSourceState, voice);
  TVoiceWords w = State(r, 0);
  if (!w || r->stateWords < QV_WORDS_OF(GateSourceState)) return;
  if (velocity > 0) {
    bool open = w[kVoice].f >= 0.0f;
    w[kVoice].f = float(voice);
    if (!open) SendSourceValue(r, 0, Table(r, velocity));
  } else if (w[kVoice].f >= 0.0f && int32_t(w[kVoice].f) == voice) {
    w[kVoice].f = -1.0f;
    SendSourceValue(r, 0, 0.0f);
  }
}

// "Sel. Gate" (8): one note only.
void SelectiveGate(TEngineRecord* r, int32_t note, int32_t velocity, int32_t, int32_t) {
  if (Data(note) != r->params[kSourceNumberParam].i) return;
  SendSourceValue(r, 0, velocity > 0 ? Table(r, velocity) : 0.0f);
}

// "NotePitch" (7): the pitch plus the instrument's tune and unison offset.
void NotePitch(TEngineRecord* r, int32_t note, int32_t, int32_t voice, int32_t rank) {
  const IEngineInstr* instr = InstrOf(r);
  float tune = instr ? instr->GetTune() : 0.0f;
  float spread = instr ? instr->GetUnisonSpread() : 0.05f;
  SendSourceValue(r, OutVoice(r, voice), Table(r, note) + tune + UnisonOffset(spread, rank));
}

// "Spread" (24): the unison offset of the voice, the spread taken from voice 0.
void Spread(TEngineRecord* r, int32_t, int32_t, int32_t voice, int32_t rank) {
  TVoiceWords w = State(r, voice);
  const TVoiceWords w0 = State(r, 0);
  if (!w || !w0 || r->stateWords < QV_WORDS_OF(SpreadState)) return;
  w[QV_WORD_AT(SpreadState, rank)].f = float(rank);
  w[QV_WORD_AT(SpreadState, offset)].f = UnisonOffset(w0[QV_WORD_AT(SpreadState, spread)].f, rank);
  SendSourceValue(r, voice, w[QV_WORD_AT(SpreadState, offset)].f);
}

// "Poly AT" (9).
void PolyPressureSource(TEngineRecord* r, int32_t, int32_t value, int32_t voice, int32_t) {
  if (IsMono(r)) {
    SendSourceValue(r, 0, Table(r, value));
  } else if (voice >= 0) {
    SendSourceValue(r, voice, Table(r, value));
  }
}

// "Controller" (12) and "SelPolyAT" (13): one number; with pick-up the value
// is sent only once the knob moves across the last sent position.
void ControllerSource(TEngineRecord* r, int32_t number, int32_t value, int32_t, int32_t) {
  if (Data(number) != r->params[kSourceNumberParam].i) return;
  value = Data(value);
  int32_t previous = LastReceived(r);
  LastReceived(r) = value;
  if (r->params[kSourcePickUpParam].i != 0) {
    int32_t last = Step(r);
    bool crossed = (previous <= last && value > last) || (previous >= last && value < last);
    if (!crossed) return;
  }
  SetStep(r, value);
  SendSourceValueToAll(r, Table(r, value));
  TellViews(r);
}

// Increments of a control under incremental remote: 0x41/0x3F by one,
// 0x42/0x3E by three, 0x43/0x3D by five, anything else by 2v - 128.
int32_t Increment(int32_t v) {
  switch (v) {
  case 0x41: return 1;
  case 0x3F: return -1;
  case 0x42: return 3;
  case 0x3E: return -3;
  case 0x43: return 5;
  case 0x3D: return -5;
  default: return 2 * v - 128;
  }
}

// A switch under remote or snapshot control moved: its inputs follow on the
// GUI thread (the rebuild needs a structure-change bracket).
void MoveSwitch(TEngineRecord* r, int32_t position, bool toMidiOut) {
  IEngineModule* m = r->module;
  int32_t n = m->GetInPortCount();
  SetStep(r, position);
  m->RequestSwitchInputs();
  if (toMidiOut) m->NotifyOwner(n <= 1 ? 64 * position : (128 / n) * position);
  TellViews(r);
}

void SetButton(TEngineRecord* r, bool on) { SendSourceValueToAll(r, on ? r->maximum : r->minimum); }

} // namespace

float UnisonOffset(float spread, int32_t rank) {
  if (rank % 2 == 0) return -spread * float(rank / 2);
  return spread * float((rank + 1) / 2);
}

void SendSourceValue(TEngineRecord* r, int32_t voice, float value) {
  if (!r || voice < 0 || voice >= r->voices) return;
  if (TVoiceWords w = State(r, voice)) w[kOut].f = value;
  SendEvent(r, EventOut::kOut, voice, value);
}

void SendSourceValueToAll(TEngineRecord* r, float value) {
  if (!r) return;
  for (int32_t v = 0; v < r->voices; ++v)
    if (TVoiceWords w = State(r, v)) w[kOut].f = value;
  SendEventToAll(r, EventOut::kOut, value);
}

TSourceHandler FindSourceHandler(int32_t type) {
  switch (type) {
  case kTypeSingleTriggerGate.type: return SingleTriggerGate;
  case kTypeNoteOnVelocity.type: return NoteOnVelocity;
  case kTypeNoteOffVelocity.type: return NoteOffVelocity;
  case kTypeGate.type: return Gate;
  case kTypeNotePitch.type: return NotePitch;
  case kTypeSelectedNoteGate.type: return SelectiveGate;
  case kTypePolyPressure.type: return PolyPressureSource;
  case kTypeController.type:
  case kTypeSelectedPolyPressure.type: return ControllerSource;
  case kTypeSpread.type: return Spread;
  default: return nullptr;
  }
}

void RemoteControlHandler(TEngineRecord* r, int32_t number, int32_t value, int32_t, int32_t) {
  IEngineModule* m = r ? r->module : nullptr;
  if (!m || Data(number) != r->params[kSourceNumberParam].i) return;
  int32_t v = m->GetRemoteKind() == 2 ? (value > 0 ? 64 : 0) : Data(value);
  bool toMidi = m->IsRemoteToMidiOut();
  if (m->IsCategory(kCatSwitch)) {
    int32_t n = m->GetInPortCount();
    if (m->IsIncremental() && n >= 3) v = std::clamp(LastReceived(r) + Increment(v), 0, 127);
    LastReceived(r) = v;
    int32_t position = n <= 1 ? (v < 64 ? 1 : 0) : std::min(v * n / 128, n - 1);
    if (position != Step(r)) MoveSwitch(r, position, toMidi);
    return;
  }
  if (m->IsTypeIndex(kTypeButton.type)) {
    switch (m->GetCtrlStyle()) {
    case kButtonTrigger:
      if (v >= 64) {
        SetButton(r, true);
      } else {
        for (int32_t voice = 0; voice < r->voices; ++voice)
          if (TVoiceWords w = State(r, voice)) w[kOut].f = r->minimum;
      }
      SetStep(r, v >= 64 ? 64 : 0);
      break;
    case kButtonGate:
      SetButton(r, v >= 64);
      if (toMidi) m->NotifyOwner(v >= 64 ? 64 : 0);
      SetStep(r, v >= 64 ? 64 : 0);
      break;
    case kButtonToggle:
      if (v < 64) return;
      SetStep(r, Step(r) < 64 ? 64 : 0);
      SetButton(r, Step(r) >= 64);
      if (toMidi) m->NotifyOwner(Step(r));
      break;
    default: return;
    }
    TellViews(r);
    return;
  }
  if (m->IsIncremental()) v = std::clamp(Step(r) + Increment(v), 0, 127);
  LastReceived(r) = v;
  if (v != Step(r)) {
    SetStep(r, v);
    SendSourceValueToAll(r, Table(r, v));
    if (toMidi) m->NotifyOwner(v);
  }
  TellViews(r);
}

void PitchBendSource(TEngineRecord* r, int32_t lsb, int32_t msb) {
  msb = Data(msb);
  float value = msb == 127 ? Table(r, 127)
                           : Table(r, msb) + (Table(r, msb + 1) - Table(r, msb)) * 0.0078125f * float(Data(lsb));
  SendSourceValue(r, 0, value);
}

void ChannelPressureSource(TEngineRecord* r, int32_t value) { SendSourceValue(r, 0, Table(r, value)); }

void ProgramChangeSource(TEngineRecord* r, int32_t program) {
  program = Data(program);
  if (program == Step(r)) return;
  SetStep(r, program);
  SendSourceValue(r, 0, Table(r, program));
}

void StartSource(TEngineRecord* r, int32_t running) {
  if (!r) return;
  SendSourceValue(r, 0, running ? r->params[0].f : 0.0f);
}

void SendControlStep(TEngineRecord* r, int32_t step) {
  IEngineModule* m = r ? r->module : nullptr;
  if (!m) return;
  step = std::clamp(step, 0, 127);
  bool toMidi = m->IsPanelToMidiOut();
  if (m->IsCategory(kCatSwitch)) {
    int32_t n = m->GetInPortCount();
    int32_t position = n <= 1 ? std::min(step, 1) : std::min(step, n - 1);
    if (position != Step(r)) MoveSwitch(r, position, toMidi);
    return;
  }
  if (step == Step(r)) return;
  if (m->IsType(kTypeButton)) {
    SetButton(r, step >= 64);
  } else if (r->valueTable) {
    SendSourceValueToAll(r, Table(r, step));
    if (toMidi) m->NotifyOwner(step);
  }
  SetStep(r, step);
  TellViews(r);
}

void InstallSourceHandlers(TRoutineTables& tables) { tables.clockListener = StartSource; }
