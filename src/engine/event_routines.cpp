// Event-rate routines of the ordinary module types: arithmetic and logic,
// oscillator, filter, level and envelope parameters, shapers, routers,
// counters and the MIDI outputs.
//
// Every routine is called as (receiving record, voice, value) on the thread
// that produced the event, takes no lock and touches only the state words of
// the voice it works on. A record whose voices or state words do not cover
// what a routine needs ignores the event, so a port that carries the wrong
// id can never make a routine write outside its record.
#include "src/engine/event_routines.h"

#include <atomic>
#include <cmath>

#include "src/engine/convert.h"
#include "src/engine/event_ids.h"
#include "src/engine/midi_output.h"
#include "src/engine/module_types.h"
#include "src/engine/routine_util.h"
#include "src/engine/tables.h"
#include "src/engine/voice_state.h"

namespace {

std::atomic<IEventHost*> eventHost{nullptr};

// How many sends are nested on this thread. An event chain completes inside
// the first call, so a wire loop (an output fed back into an input of the
// same chain) would recurse without end; a chain deeper than any patch
// needs is cut off instead.
constexpr int32_t kMaxChainDepth = 100;
thread_local int32_t chainDepth = 0;

struct TChainDepth {
  TChainDepth() { ++chainDepth; }
  ~TChainDepth() { --chainDepth; }
  TChainDepth(const TChainDepth&) = delete;
  TChainDepth& operator=(const TChainDepth&) = delete;
  bool TooDeep() const { return chainDepth > kMaxChainDepth; }
};

// Calls call(routine, target) for every route of an event output, in route
// order, as one more level of the chain.
template <class Call> void ForEachRoute(TEngineRecord* sender, int32_t output, Call call) {
  if (!sender->routeCounts || output < 0 || output >= sender->eventOutputs) return;
  TEventRoutine* routines = sender->routeRoutines[output];
  TEngineRecord** targets = sender->routeTargets[output];
  const int32_t count = sender->routeCounts[output];
  if (!routines || count <= 0) return;
  TChainDepth depth;
  if (depth.TooDeep()) return;
  for (int32_t i = 0; i < count; ++i) call(routines[i], targets[i]);
}

// The state words of a voice, or null when the record lacks that voice or
// holds fewer than `need` words.
TVoiceWords Words(TEngineRecord* r, int32_t voice, int32_t need) {
  if (!r || !r->state || voice < 0 || voice >= r->voices || r->stateWords < need) return {};
  return r->state[voice];
}

// An audio input of a voice (0.0 when the record has no such input).
float Input(const TEngineRecord* r, int32_t voice, int32_t k) {
  if (!r->inputs || voice < 0 || voice >= r->voices || k < 0 || k >= r->audioInputs) return 0.0f;
  const float* p = r->inputs[voice][k];
  return p ? *p : 0.0f;
}

bool InputConnected(const TEngineRecord* r, int32_t voice, int32_t k) {
  if (!r->inputs || voice < 0 || voice >= r->voices || k < 0 || k >= r->audioInputs) return false;
  const float* p = r->inputs[voice][k];
  return p && p != &EngineZeroCell;
}

// The voice a one-voice-form routine works on.
int32_t OwnVoice(const TEngineRecord* r, int32_t voice) { return r->voices == 1 ? 0 : voice; }

// Stores a word that a panel graph may read on the GUI thread meanwhile.
inline void Put(float& word, float value) { routines::StoreShared(word, value); }
inline void Put(int32_t& word, int32_t value) { routines::StoreShared(word, value); }

// Tells the panel refresh that the module's graph needs redrawing.
void Mark(TEngineRecord* r) {
  if (r->module) r->module->SetCtrlValue(1);
}

// A value held to lo ... hi; a NaN becomes `otherwise`.
float Clamp(float v, float lo, float hi, float otherwise = 0.0f) {
  if (!(v == v)) return otherwise;
  return v < lo ? lo : v > hi ? hi : v;
}

float AtMost(float v, float limit) { return v > limit ? limit : v; }

const TEngineConstants& K() { return EngineConstants; }

// ---------------------------------------------------------------------------
// Arithmetic and logic

template <int Input1To6> void EventSum(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, 7);
  if (!w) return;
  float v = value;
  for (int i = 1; i <= 6; ++i)
    if (i != Input1To6) v += w[i].f;
  w[0].f = v;
  SendEvent(r, 0, voice, v);
  w[Input1To6].f = value;
}

template <int Input1To4> void EventProduct(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, 5);
  if (!w) return;
  float v = value;
  for (int i = 1; i <= 4; ++i)
    if (i != Input1To4) v *= w[i].f;
  w[0].f = v;
  SendEvent(r, 0, voice, v);
  w[Input1To4].f = value;
}

void Invert(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, 1);
  if (!w) return;
  w[0].f = -value;
  SendEvent(r, 0, voice, w[0].f);
}

// "1/x" (word 1 its input) and "/" (word 1 X, word 2 Y): one-voice form; a
// divisor of ±0 gives 0.
enum EQuotient { kReciprocal, kDivideX, kDivideY };

template <EQuotient Input> void Quotient(TEngineRecord* r, int32_t voice, float value) {
  voice = OwnVoice(r, voice);
  TVoiceWords w = Words(r, voice, Input == kReciprocal ? 2 : 3);
  if (!w) return;
  const float x = Input == kReciprocal ? 1.0f : Input == kDivideX ? value : w[1].f;
  const float y = Input == kDivideX ? w[2].f : value;
  const float v = IsZero(y) ? 0.0f : x / y;
  w[0].f = v;
  SendEvent(r, 0, voice, v);
  w[Input == kDivideY ? 2 : 1].f = value;
}

void ChangesOnly(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, 1);
  if (!w || value == w[0].f) return;
  w[0].f = value;
  SendEvent(r, 0, voice, value);
}

enum ELogic { kAnd, kOr, kExor };

template <ELogic Gate, bool InputA> void Logic(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, 4);
  if (!w) return;
  (InputA ? w[2] : w[3]).i = IsOn(value) ? 1 : 0;
  const bool a = w[2].i != 0, b = w[3].i != 0;
  const bool on = Gate == kAnd ? (a && b) : Gate == kOr ? (a || b) : (a != b);
  const float out = on ? 1.0f : 0.0f;
  w[0].f = out;
  w[1].f = 1.0f - out;
  SendEvent(r, 0, voice, out);
  SendEvent(r, 1, voice, w[1].f);
}

void Not(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, 2);
  if (!w) return;
  const float out = IsOn(value) ? 0.0f : 1.0f;
  w[0].f = out;
  SendEvent(r, 0, voice, out);
  w[1].f = 1.0f - out;
  SendEvent(r, 1, voice, 1.0f - out);
}

// ---------------------------------------------------------------------------
// Oscillator parameters

// Ramp oscillators keep step k in word 3 + k and the difference to the next
// step in word 11 + k; the last step's next is step 1. Wrap is the step
// count when this step is the first or the last one, else 0.
template <int Step, int Wrap> void RampStep(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, 12 + (Wrap ? Wrap : Step));
  if (!w) return;
  constexpr int next = Step == Wrap ? 1 : Step + 1;
  constexpr int prev = Step == 1 ? Wrap : Step - 1;
  Put(w[3 + Step].f, value);
  Put(w[11 + Step].f, w[3 + next].f - value);
  Put(w[11 + prev].f, value - w[3 + prev].f);
}

void PitchHz(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, 1);
  if (!w) return;
  Put(w[0].f, PitchToHz(value));
  Mark(r);
}

template <int Scale> void PitchIncrement(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, 1);
  if (!w) return;
  const float hz = PitchToHz(value);
  switch (Scale) {
  case 2: w[0].f = AtMost(hz * K().twoOverRate, 1.0f); break;
  case 4: w[0].f = AtMost(hz * K().fourOverRate, 1.99f); break;
  default: w[0].f = AtMost(hz * K().sineStepOverRate, 255.0f); break;
  }
}

// "Tri/Par Symm": the corner of the wave follows the stored width, kept
// inside what the increment leaves and never at ±1, where the slopes would
// be infinite.
void UpdateSymmetry(TVoiceWords w) {
  const float increment = w[0].f;
  const float limit = AtMost(1.0f - increment, 0.999999f);
  const float width = Clamp(w[7].f, -limit, limit);
  const float h = 0.5f * width - 0.5f;
  Put(w[4].f, h);
  Put(w[5].f, 1.0f / h);
  Put(w[6].f, 1.0f / (1.0f + h));
}

void PitchSymmetric(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, 8);
  if (!w) return;
  Put(w[0].f, AtMost(PitchToHz(value) * K().twoOverRate, 1.0f));
  UpdateSymmetry(w);
}

void Symmetry(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, 8);
  if (!w) return;
  Put(w[7].f, value);
  UpdateSymmetry(w);
}

void PulseWidth(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, 8);
  if (!w) return;
  const float width = Clamp(value, -0.999f, 0.999f);
  const float third = width * 0.33333334f;
  Put(w[3].f, width);
  Put(w[4].f, 3.0f / (width - 1.0f));
  Put(w[5].f, 3.0f / (width + 1.0f));
  Put(w[6].f, (width + 2.0f) * third);
  Put(w[7].f, third * (width - 2.0f));
}

void ClockFrequency(TEngineRecord* r, int32_t, float value) {
  TVoiceWords w = Words(r, 0, 3);
  if (!w) return;
  Put(w[2].f, AtMost(std::fabs(value * K().twoOverRate), 1.0f));
}

void ClockSync(TEngineRecord* r, int32_t, float value) {
  TVoiceWords w = Words(r, 0, 2);
  if (!w || !IsOn(value)) return;
  const float a = Input(r, 0, 1);
  Put(w[0].f, a);
  SendEventToAll(r, 0, a);
  Put(w[1].f, -1.0f);
}

// ---------------------------------------------------------------------------
// Filters, levels and equalisers

void OnePoleCutoff(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, 3);
  if (!w) return;
  const float f = AtMost(PitchToHz(value) * K().omegaOverRate, 0.99f);
  if (f == 0.0f) {
    Put(w[0].f, 0.0f);
    Put(w[2].f, 0.0f);
  } else {
    Put(w[0].f, f);
  }
  Mark(r);
}

// The shelving coefficient: frequency (word 0) times the boost's scale
// (word 4), at most the boost's limit (word 5).
void UpdateShelf(TEngineRecord* r, TVoiceWords w) {
  Put(w[6].f, AtMost(w[0].f * w[4].f, w[5].f));
  Mark(r);
}

void ShelfCutoff(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, 7);
  if (!w) return;
  const float f = PitchToHz(value);
  Put(w[0].f, f);
  UpdateShelf(r, w);
}

template <int Word> void Level(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, Word + 1);
  if (!w) return;
  Put(w[Word].f, DecibelsToGain(value));
}

void StereoLevel(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, 6);
  if (!w) return;
  const float g = DecibelsToGain(value);
  Put(w[5].f, g);
  Put(w[2].f, (1.0f - w[4].f) * g);
  Put(w[3].f, (w[4].f + 1.0f) * g);
}

void StereoPan(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, 6);
  if (!w) return;
  Put(w[4].f, value);
  Put(w[2].f, (1.0f - value) * w[5].f);
  Put(w[3].f, (1.0f + value) * w[5].f);
}

// The top of the resonance inputs' range. At 1 the damping would be 0 and a
// filter fed by a modulator that goes that far rings up without bound; a
// value beyond the range saturates here.
constexpr float kResonanceTop = 0.98f;

void Resonance(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, 6);
  if (!w) return;
  const float res = Clamp(value, 0.0f, kResonanceTop);
  Put(w[4].f, 2.0f - 2.0f * res);
  Put(w[5].f, (1.3075f + res) * res * 0.293f + 0.7352f);
  Mark(r);
}

void PeakBoost(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, 4);
  if (!w) return;
  Put(w[3].f, DecibelsToGain(value) - 1.0f);
  Mark(r);
}

void HiShelfBoost(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, 7);
  if (!w) return;
  const float g = DecibelsToGain(value);
  Put(w[1].f, g - 1.0f);
  Put(w[4].f, (0.5f * g + 0.5f) * K().omegaOverRate);
  Put(w[5].f, AtMost(2.0f * g, 1.5f));
  UpdateShelf(r, w);
}

void LoShelfBoost(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, 7);
  if (!w) return;
  const float g = DecibelsToGain(value);
  Put(w[3].f, g - 1.0f);
  Put(w[4].f, K().omegaOverRate / (0.5f * g + 0.5f));
  Put(w[5].f, g < 1.0f ? 1.0f : 1.5f);
  UpdateShelf(r, w);
}

// The grid filters read their coefficient and damping from two 11 x 11
// correction grids: the column follows the cutoff (word 5 the column, word 6
// its fraction), the row the resonance (word 7 eleven times the row, word 8
// its fraction).
enum { kGridColumn = 5, kGridColumnFraction, kGridRow11, kGridRowFraction, kGridWords };

float Bilinear(const float* table, int32_t i, float u, float v) {
  return table[i] * (1.0f - u) * (1.0f - v) + table[i + 1] * u * (1.0f - v) + table[i + 11] * (1.0f - u) * v +
         table[i + 12] * u * v;
}

void GridInterpolate(TEngineRecord* r, TVoiceWords w) {
  // The stored places are always in range; clamping them again keeps every
  // read inside the grid whatever the words hold.
  const int32_t column = ToIndex(w[kGridColumn].f, 0, 9);
  const int32_t row = ToIndex(w[kGridRow11].f, 0, 99) / 11;
  const int32_t i = 11 * row + column;
  const float u = w[kGridColumnFraction].f, v = w[kGridRowFraction].f;
  Put(w[0].f, Bilinear(ShapeTableA, i, u, v));
  Put(w[4].f, Bilinear(ShapeTableB, i, u, v));
  Mark(r);
}

void GridCutoff(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, kGridWords);
  if (!w) return;
  const float x = 10.0f * K().twoOverRate * PitchToHz(value);
  int32_t column = 0;
  float u = 0.0f;  // below the grid, or not a number
  if (x >= 10.0f) {
    column = 9;
    u = 1.0f;
  } else if (x >= 0.0f) {
    column = int32_t(x);
    u = x - float(column);
  }
  Put(w[kGridColumn].f, float(column));
  Put(w[kGridColumnFraction].f, u);
  GridInterpolate(r, w);
}

void GridResonance(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, kGridWords);
  if (!w) return;
  const float scaled = 10.0f * (value > kResonanceTop ? kResonanceTop : value);
  const int32_t steps = TruncToInt(scaled);
  int32_t row = 0;
  float v = 0.0f;
  if (!(scaled == scaled)) {
    // not a number: row 0
  } else if (steps >= 10) {
    row = 9;
    v = 1.0f;
  } else if (steps >= 0) {
    row = steps;
    v = scaled - float(steps);
  }
  Put(w[kGridRow11].f, float(11 * row));
  Put(w[kGridRowFraction].f, v);
  GridInterpolate(r, w);
}

// ---------------------------------------------------------------------------
// Set, delay and hold inputs

void StoreWord0(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, 1);
  if (w) Put(w[0].f, value);
}

void EventDelayIn(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, 4);
  if (!w) return;
  Put(w[3].f, value);
  Put(w[1].f, 0.0f);
  Put(w[2].f, 1.0f);
}

void HoldGate(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, 2);
  if (!w || !IsOn(value)) return;
  Put(w[1].f, 0.0f);
  Put(w[0].f, value);
  SendEvent(r, 0, voice, value);
}

void Smoother(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, 3);
  if (!w) return;
  Put(w[2].f, value);
  const float ms = r->params[1].f;
  // With smoothing switched off (first setting 0) the output jumps, as it
  // does during a reset. A time of 0 (or less, or not a number) would divide
  // 0 by 0 and leave a NaN in the output for good: it jumps too.
  if (EngineResetting() || IsZero(r->params[0].f) || !(ms > 0.0f)) {
    Put(w[0].f, value);
    Put(w[1].f, 0.0f);
    return;
  }
  Put(w[1].f, (value - w[0].f) * 1000.0f / (K().processingRate * ms));
}

// ---------------------------------------------------------------------------
// Envelopes

enum {
  kEnvOut, kEnvDecay, kEnvRelease, kEnvAttackUnit, kEnvSustain, kEnvSustainLevel, kEnvPeak,
  kEnvAttackStep, kEnvDecayPart, kEnvStage, kEnvKnee, kEnvKneeStep, kEnvKneeRate, kEnvKneeFraction,
  kEnvWords = kEnvStage + 1, kKneeEnvWords = kEnvKneeFraction + 1
};

template <bool Knee> void EnvelopeGate(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, Knee ? kKneeEnvWords : kEnvWords);
  if (!w) return;
  if (!IsOn(value) || EngineResetting()) {
    w[kEnvStage].i = 0;  // release
    return;
  }
  const float g = value, c = w[kEnvOut].f;
  float peak;
  if (c <= g) {  // restart from the attack
    Put(w[kEnvAttackStep].f, w[kEnvAttackUnit].f * g);
    peak = g;
  } else {  // go on from the current level
    peak = c;
  }
  Put(w[kEnvPeak].f, peak);
  Put(w[kEnvSustainLevel].f, w[kEnvSustain].f * peak);
  Put(w[kEnvDecayPart].f, peak - w[kEnvSustain].f * peak);
  Put(w[kEnvStage].i, c <= g ? 3 : 1);
  if (Knee) {
    Put(w[kEnvKnee].f, w[kEnvKneeFraction].f * peak);
    Put(w[kEnvKneeStep].f, (w[kEnvKneeFraction].f * peak - peak) * w[kEnvKneeRate].f);
  }
}

void HoldTime(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, 5);
  if (!w) return;
  const double frames = double(TimeToSeconds(value)) / double(K().invRate);
  Put(w[4].i, TruncToInt(frames));
  Mark(r);
}

float TimeStep(float value) { return TimeToRate(value) * K().invRate; }

void Attack(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, 4);
  if (!w) return;
  Put(w[kEnvAttackUnit].f, TimeStep(value));
  Mark(r);
}

template <int Word> void DecayFactor(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, Word + 1);
  if (!w) return;
  const float k = TimeStep(value);
  Put(w[Word].f, k > 1.0f ? 0.0f : 1.0f - k);
  Mark(r);
}

void FirstDecay(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, kKneeEnvWords);
  if (!w) return;
  const float k = TimeStep(value);
  Put(w[kEnvKneeRate].f, k);
  if (w[kEnvKnee].f < w[kEnvPeak].f) Put(w[kEnvKneeStep].f, (w[kEnvKnee].f - w[kEnvPeak].f) * k);
  Mark(r);
}

void Sustain(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, kEnvWords);
  if (!w) return;
  Put(w[kEnvSustain].f, value);
  Put(w[kEnvSustainLevel].f, value * w[kEnvPeak].f);
  Mark(r);
}

void Knee(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, kKneeEnvWords);
  if (!w) return;
  const float b = AtMost(value, 1.0f);
  Put(w[kEnvKneeFraction].f, b);
  Put(w[kEnvKnee].f, b * w[kEnvPeak].f);
  Put(w[kEnvKneeStep].f, (w[kEnvKnee].f - w[kEnvPeak].f) * w[kEnvKneeRate].f);
  Mark(r);
}

// Multi-ramp envelopes: word 5 the release rate, word 4 + 2k the rate and
// word 5 + 2k the level of ramp k.
void RampEnvelopeGate(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, 8);
  if (!w) return;
  if (!IsOn(value)) {
    Put(w[3].f, 0.0f);
    Put(w[2].f, -w[1].f * w[5].f);
    Put(w[0].f, -1.0f);
    SendEvent(r, 0, voice, -1.0f);
    return;
  }
  Put(w[4].f, value);
  Put(w[3].f, value * w[7].f);
  Put(w[2].f, (value * w[7].f - w[1].f) * w[6].f);
  Put(w[0].f, 1.0f);
  SendEvent(r, 0, voice, 1.0f);
}

template <int Word> void RampTime(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, Word + 1);
  if (!w) return;
  Put(w[Word].f, TimeStep(value));
  Mark(r);
}

// Keeps v at least 0.004 away from a neighbouring level, so every ramp has
// a direction.
float AwayFrom(float v, float neighbour) {
  if (neighbour - 0.004f < v && v < neighbour) return neighbour - 0.004f;
  if (neighbour <= v && v < neighbour + 0.004f) return neighbour + 0.004f;
  return v;
}

template <int Word> void RampLevel(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, Word + 1);
  if (!w) return;
  const float previous = Word == 7 ? 0.0f : w[Word - 2].f;
  float v = AwayFrom(value, previous);
  // The next level is tested only when the record holds it; the last level
  // has none.
  if (Word < 15 && r->stateWords > Word + 2) {
    const float next = w[Word + 2].f;
    const float fromNext = AwayFrom(value, next);
    if (fromNext != value) v = fromNext;
  }
  Put(w[Word].f, v);
  Mark(r);
}

// ---------------------------------------------------------------------------
// Shapers, routers and the randomizer

// Piecewise-linear curve through n + 1 points (the voice's first inputs) at
// equal distances over 0 ... 1. The segment is chosen on the value's bits,
// so every negative value falls into the first one.
template <int Segments> float Shape(const TEngineRecord* r, int32_t voice, float value) {
  static_assert(Segments == 2 || Segments == 3 || Segments == 4);
  static const float kCorners3[] = {0.333333f, 0.666666f};
  const int32_t bits = FloatBits(value);
  int s = 0;
  for (; s < Segments - 1; ++s) {
    const float corner = Segments == 3 ? kCorners3[s] : float(s + 1) / float(Segments);
    if (bits < FloatBits(corner)) break;
  }
  const float start = s == 0 ? 0.0f : Segments == 3 ? kCorners3[s - 1] : float(s) / float(Segments);
  const float a = Input(r, voice, s), b = Input(r, voice, s + 1);
  return a + (b - a) * float(Segments) * (value - start);
}

template <int Segments, bool OneVoice> void ControlShaper(TEngineRecord* r, int32_t voice, float value) {
  if (OneVoice) voice = OwnVoice(r, voice);
  TVoiceWords w = Words(r, voice, 1);
  if (!w) return;
  const float v = Shape<Segments>(r, voice, value);
  w[0].f = v;
  SendEvent(r, 0, voice, v);
}

template <bool WhenOn> void Router(TEngineRecord* r, int32_t voice, float value) {
  voice = OwnVoice(r, voice);
  TVoiceWords w = Words(r, voice, 1);
  if (!w || IsOn(Input(r, voice, 0)) != WhenOn) return;
  w[0].f = value;
  SendEvent(r, 0, voice, value);
}

void Separator(TEngineRecord* r, int32_t voice, float value) {
  voice = OwnVoice(r, voice);
  TVoiceWords w = Words(r, voice, 2);
  if (!w) return;
  const int32_t side = value <= Input(r, voice, 0) ? 0 : 1;
  w[side].f = value;
  SendEvent(r, side, voice, value);
}

// One step of the shared 32-bit shift register (unsigned shifts).
uint32_t NextRandom(uint32_t g) {
  const uint32_t t = (g >> 5) ^ g ^ (g >> 13);
  return (g >> 1) | ((t & 1u) << 31);
}

void Randomize(TEngineRecord* r, int32_t voice, float value) {
  const TVoiceWords shared = Words(r, 0, 2);
  TVoiceWords w = Words(r, voice, 2);
  if (!shared || !w) return;
  const uint32_t g = NextRandom(shared[1].u);
  shared[1].u = g;
  const float deviation = float(g & 0xffffu) * 3.0518e-05f - 1.0f;
  const float v = value + Input(r, voice, 0) * deviation;
  w[0].f = v;
  SendEvent(r, 0, voice, v);
}

// ---------------------------------------------------------------------------
// Divider, quantizer, timer and voice combiner

void DividerIn(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, 2);
  if (!w || EngineResetting() || !IsOn(value)) return;
  const float n = Input(r, voice, 0), width = Input(r, voice, 1);
  w[1].f += 1.0f;
  if (w[1].f > n - 1.0f) {
    w[0].f = value;
    SendEvent(r, 0, voice, value);
    w[1].f = 0.0f;
  } else if (!IsZero(w[0].f) && w[1].f > n * width - 1.0f) {
    w[0].f = 0.0f;
    SendEvent(r, 0, voice, 0.0f);
  }
}

void DividerReset(TEngineRecord* r, int32_t voice, float value) {
  voice = OwnVoice(r, voice);
  TVoiceWords w = Words(r, voice, 2);
  if (!w || EngineResetting() || !IsOn(value)) return;
  if (!IsZero(w[0].f)) {
    w[0].f = 0.0f;
    SendEvent(r, 0, voice, 0.0f);
  }
  w[1].f = 1.0e30f;
}

void Quantize(TEngineRecord* r, int32_t voice, float value) {
  voice = OwnVoice(r, voice);
  TVoiceWords w = Words(r, voice, 2);
  if (!w) return;
  const float offset = Input(r, voice, 0), step = Input(r, voice, 1);
  float out = value, error = 0.0f;
  if (!IsZero(step)) {
    const float q = (value - offset) / step;
    // Rounded half away from zero, in float so that quotients beyond the
    // integer range keep their value.
    const float n = q > 0.0f ? std::trunc(q + 0.5f) : std::trunc(q - 0.5f);
    out = n * step + offset;
    error = out - value;
  }
  w[0].f = out;
  SendEvent(r, 0, voice, out);
  w[1].f = error;
  SendEvent(r, 1, voice, error);
}

void Timer(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, 3);
  if (!w || EngineResetting() || !IsOn(value)) return;
  const uint32_t frames = w[2].u;
  w[2].u = 0;
  w[0].f = float(frames) * K().msPerFrame;
  SendEvent(r, 0, voice, w[0].f);
  if (w[0].f > 0.0f) {
    w[1].f = 1000.0f / w[0].f;
    SendEvent(r, 1, voice, w[1].f);
  }
}

void Combine(TEngineRecord* r, int32_t, float value) {
  TVoiceWords w = Words(r, 0, 1);
  if (!w) return;
  w[0].f = value;
  SendEventToAll(r, 0, value);
}

// ---------------------------------------------------------------------------
// Select Max and Select Min: word 1 the voice's gate flag, word 2 its stored
// input, voice 0's word 0 the output.

template <bool Max> bool Beats(float a, float b) { return Max ? a >= b : a <= b; }

template <bool Max> void SelectIn(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, 3);
  const TVoiceWords out = Words(r, 0, 3);
  if (!w || !out) return;
  for (int32_t v = 0; v < r->voices; ++v) {
    const TVoiceWords o = r->state[v];
    if (o[1].i != 0 && Beats<Max>(o[2].f, value)) {
      w[2].f = value;
      return;
    }
  }
  w[2].f = value;
  out[0].f = value;
  SendEventToAll(r, 0, value);
}

template <bool Max> void SelectGate(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, 3);
  const TVoiceWords out = Words(r, 0, 3);
  if (!w || !out || EngineResetting()) return;
  if (IsZero(value)) {
    w[1].i = 0;
    bool any = false;
    float best = 0.0f;
    for (int32_t v = 0; v < r->voices; ++v) {
      const TVoiceWords o = r->state[v];
      if (o[1].i == 0) continue;
      if (!any || (Max ? o[2].f > best : o[2].f < best)) best = o[2].f;
      any = true;
    }
    if (any) {
      out[0].f = best;
      SendEventToAll(r, 0, best);
    }
    return;
  }
  for (int32_t v = 0; v < r->voices; ++v) {
    const TVoiceWords o = r->state[v];
    if (o[1].i != 0 && Beats<Max>(o[2].f, w[2].f)) {
      w[1].f = 1.0f;
      return;
    }
  }
  out[0].f = w[2].f;
  SendEventToAll(r, 0, w[2].f);
  w[1].f = 1.0f;
}

// ---------------------------------------------------------------------------
// Exponent and logarithm

void LevelToGain(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, 1);
  if (!w) return;
  const float v = DecibelsToGain(value);
  w[0].f = v;
  SendEvent(r, 0, voice, v);
}

// The pitch-table lookup carried out in double precision.
double PitchLookupPrecise(double index) {
  if (!(index > -1.0)) return 0.0;
  if (index >= double(kPitchTableSize - 1)) return PitchTable[kPitchTableSize - 1];
  const int32_t k = int32_t(index);
  return double(PitchTable[k]) + (index - double(k)) * double(PitchSlopes[k]);
}

void PitchToFrequency(TEngineRecord* r, int32_t voice, float value) {
  voice = OwnVoice(r, voice);
  TVoiceWords w = Words(r, voice, 1);
  if (!w) return;
  const float v = float(PitchLookupPrecise(5.0 * double(value) + 1381.88158));
  w[0].f = v;
  SendEvent(r, 0, voice, v);
}

template <bool Pitch> void Logarithm(TEngineRecord* r, int32_t voice, float value) {
  voice = OwnVoice(r, voice);
  TVoiceWords w = Words(r, voice, 1);
  if (!w) return;
  float v = -300.0f;
  if (IsOn(value)) v = Pitch ? 17.31234f * std::log(value) - 36.37632f : 8.68589f * std::log(value);
  w[0].f = v;
  SendEvent(r, 0, voice, v);
}

// ---------------------------------------------------------------------------
// Accumulator, counter and value

void Accumulate(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, 1);
  if (!w) return;
  w[0].f += value;
  SendEvent(r, 0, voice, w[0].f);
}

void SetAndSend(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, 1);
  if (!w) return;
  w[0].f = value;
  SendEvent(r, 0, voice, value);
}

template <int Step> void Count(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, 1);
  if (!w || !IsOn(value)) return;
  w[0].f += float(Step);
  SendEvent(r, 0, voice, w[0].f);
}

void Value(TEngineRecord* r, int32_t voice, float) {
  voice = OwnVoice(r, voice);
  TVoiceWords w = Words(r, voice, 1);
  if (!w) return;
  const float v = Input(r, voice, 0);
  w[0].f = v;
  SendEvent(r, 0, voice, v);
}

void Tune(TEngineRecord* r, int32_t, float value) {
  if (IEventHost* host = GetEventHost(); host && r->module) host->SetTune(r->module, value);
}

// ---------------------------------------------------------------------------
// Spread: the unison offset of every voice of every destination.

void Spread(TEngineRecord* r, int32_t, float value) {
  const TVoiceWords shared = Words(r, 0, 3);
  if (!shared) return;
  shared[2].f = value;
  ForEachRoute(r, 0, [&](TEventRoutine routine, TEngineRecord* target) {
    for (int32_t j = 0; j < target->voices; ++j) {
      TVoiceWords w = Words(r, j, 3);
      // A destination voice the source lacks takes its voice number as rank.
      const int32_t rank = w ? ToIndex(w[1].f, 0, INT32_MAX - 1) : j;
      const int32_t half = rank / 2;
      const float offset = rank % 2 == 0 ? -value * float(half) : value * float((rank + 1) / 2);
      if (w) w[0].f = offset;
      routine(target, j, offset);
    }
  });
}

// ---------------------------------------------------------------------------
// MIDI outputs

struct TMidiTarget {
  IMidiOutput* out;
  int32_t channel;
};

bool MidiTarget(const TEngineRecord* r, TMidiTarget& t) {
  IEventHost* host = GetEventHost();
  if (!host || !r->module) return false;
  t.out = host->MidiOutput(r->module);
  t.channel = host->MidiChannel(r->module) & 15;
  return t.out != nullptr;
}

// (v - min) x 127 / (max - min), truncated and held to 0 ... 127; false
// when the range is empty. `scaled` keeps the value before it was held.
bool MidiScale(const TEngineRecord* r, float v, int32_t& data, float* scaled = nullptr) {
  const float lo = r->params[0].f, hi = r->params[1].f;
  const float span = hi - lo;
  if (IsZero(span) || !(span == span)) return false;
  const float x = (v - lo) * 127.0f / span;
  data = ToIndex(x, 0, 127);
  if (scaled) *scaled = x;
  return true;
}

enum EMidiKind { kControl, kPolyPressure, kProgram, kChannelPressure, kPitchBend };

template <EMidiKind Kind> void MidiSend(TEngineRecord* r, int32_t, float value) {
  TMidiTarget t;
  int32_t d;
  float scaled;
  if (!MidiScale(r, value, d, &scaled) || !MidiTarget(r, t)) return;
  const int32_t number = r->params[2].i & 127;
  switch (Kind) {
  case kControl: t.out->SendControlChange(0, t.channel, number, d); break;
  case kPolyPressure: t.out->SendPolyPressure(0, t.channel, number, d); break;
  case kProgram: t.out->SendProgramChange(0, t.channel, d); break;
  case kChannelPressure: t.out->SendChannelPressure(0, t.channel, d); break;
  case kPitchBend:
    // Beyond the range both bytes are 127, below it both 0; inside it the
    // coarse byte carries d and the fine byte the next seven bits of the
    // scaled value, so the bend moves in 14-bit steps.
    if (scaled > 127.0f) t.out->SendPitchBend(0, t.channel, 127, 127);
    else if (!(scaled >= 0.0f)) t.out->SendPitchBend(0, t.channel, 0, 0);
    else t.out->SendPitchBend(0, t.channel, ToIndex((scaled - float(d)) * 128.0f, 0, 127), d);
    break;
  }
}

void MidiNote(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, 1);
  TMidiTarget t;
  if (!w || !MidiTarget(r, t)) return;
  if (!IsOn(value)) {
    if (w[0].i != 0) {
      t.out->SendNoteOn(0, t.channel, int32_t((w[0].u - 1u) & 127u), 0);
      w[0].i = 0;
    }
    return;
  }
  if (w[0].i != 0) return;  // no retrigger while a note sounds
  const int32_t velocity = ToIndex(value * 127.0f, 0, 127);
  int32_t note;
  if (velocity <= 0 || !MidiScale(r, Input(r, voice, 0), note)) return;
  t.out->SendNoteOn(0, t.channel, note, velocity);
  w[0].i = note + 1;
}

// ---------------------------------------------------------------------------
// Demultiplexer, diffusion and tape-deck switches

void DemuxPosition(TEngineRecord* r, int32_t voice, float value) {
  if (voice < 0 || voice >= r->voices) return;
  const int32_t p = ToIndex(value, 0, INT32_MAX);
  const int32_t length = InputConnected(r, voice, 0) ? ToIndex(Input(r, voice, 0), 1, 16) : 16;
  const int32_t step = p % length;
  SendEvent(r, 0, voice, float(step));
  SendEvent(r, 1, voice, float(p / length));
  SendEvent(r, 2, voice, Input(r, voice, 1 + step));
}

void Diffusion(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, 2);
  if (w) w[1].f = Clamp(value, -1.0f, 1.0f);
}

// Play and loop switches of the tape decks; the two decks keep the same
// fields at different places.
template <class State> State* Deck(TEngineRecord* r, int32_t voice) {
  if (!r || !r->state || voice < 0 || voice >= r->voices || size_t(r->stateWords) * 4 < sizeof(State))
    return nullptr;
  return r->state.Record<State>(voice);
}

template <class State> void DeckPlay(TEngineRecord* r, int32_t voice, float value) {
  State* d = Deck<State>(r, voice);
  if (!d || EngineResetting()) return;
  if (!IsOn(value)) d->play = nullptr;
  else if (d->recordedEnd) d->play = d->begin;
}

template <class State> void DeckLoop(TEngineRecord* r, int32_t voice, float value) {
  if (State* d = Deck<State>(r, voice)) d->loop = IsOn(value) ? 1 : 0;
}

bool IsStereoDeck(const TEngineRecord* r) { return r->module && r->module->IsTypeIndex(kTypeTapedeck2.type); }

void TapePlay(TEngineRecord* r, int32_t voice, float value) {
  if (IsStereoDeck(r)) DeckPlay<StereoTapedeckVoiceState>(r, voice, value);
  else DeckPlay<TapedeckVoiceState>(r, voice, value);
}

void TapeLoop(TEngineRecord* r, int32_t voice, float value) {
  if (IsStereoDeck(r)) DeckLoop<StereoTapedeckVoiceState>(r, voice, value);
  else DeckLoop<TapedeckVoiceState>(r, voice, value);
}

struct TEntry {
  int32_t id;
  TEventRoutine routine;
};

const TEntry kEntries[] = {
    {evAdd1, EventSum<1>}, {evAdd2, EventSum<2>}, {evAdd3, EventSum<3>},
    {evAdd4, EventSum<4>}, {evAdd5, EventSum<5>}, {evAdd6, EventSum<6>},
    {evInvert, Invert},
    {evMult1, EventProduct<1>}, {evMult2, EventProduct<2>}, {evMult3, EventProduct<3>},
    {evMult4, EventProduct<4>},
    {evReciprocal, Quotient<kReciprocal>}, {evDivX, Quotient<kDivideX>}, {evDivY, Quotient<kDivideY>}, {evChangesOnly, ChangesOnly},
    {evSymmetry, Symmetry}, {evPulseWidth, PulseWidth},
    {evRamp4Step1, RampStep<1, 4>}, {evRamp5Step1, RampStep<1, 5>}, {evRamp6Step1, RampStep<1, 6>},
    {evRamp8Step1, RampStep<1, 8>}, {evRampStep2, RampStep<2, 0>}, {evRampStep3, RampStep<3, 0>},
    {evRamp4Step4, RampStep<4, 4>}, {evRampStep4, RampStep<4, 0>}, {evRamp5Step5, RampStep<5, 5>},
    {evRampStep5, RampStep<5, 0>}, {evRamp6Step6, RampStep<6, 6>}, {evRamp8Step6, RampStep<6, 0>},
    {evRamp8Step7, RampStep<7, 0>}, {evRamp8Step8, RampStep<8, 8>},
    {evPitchHz, PitchHz}, {evPitchInc2, PitchIncrement<2>}, {evPitchSymm, PitchSymmetric},
    {evPitchInc4, PitchIncrement<4>}, {evPitchSine, PitchIncrement<256>},
    {evOnePoleCutoff, OnePoleCutoff}, {evShelfCutoff, ShelfCutoff},
    {evClockFreq, ClockFrequency}, {evClockSync, ClockSync},
    {evLevel1, Level<0>}, {evLevel2, Level<1>}, {evLevel3, Level<2>}, {evLevel4, Level<3>},
    {evLevel5, Level<4>}, {evLevel6, Level<5>}, {evLevel7, Level<6>}, {evLevel8, Level<7>},
    {evStereoLevel, StereoLevel}, {evStereoPan, StereoPan},
    {evResonance, Resonance}, {evPeakBoost, PeakBoost}, {evHiShelfBoost, HiShelfBoost},
    {evLoShelfBoost, LoShelfBoost}, {evGridCutoff, GridCutoff}, {evGridResonance, GridResonance},
    {evIntegratorSet, StoreWord0}, {evEventDelayIn, EventDelayIn}, {evDiffusion, Diffusion},
    {evGate, EnvelopeGate<false>}, {evKneeGate, EnvelopeGate<true>}, {evRampEnvGate, RampEnvelopeGate},
    {evHoldTime, HoldTime}, {evAttack, Attack}, {evDecay, DecayFactor<1>}, {evDecay1, FirstDecay},
    {evRelease, DecayFactor<2>}, {evSustain, Sustain}, {evKnee, Knee},
    {evTime1, RampTime<6>}, {evTime2, RampTime<8>}, {evTime3, RampTime<10>}, {evTime4, RampTime<12>},
    {evTime5, RampTime<14>}, {evReleaseTime, RampTime<5>},
    {evRampLevel1, RampLevel<7>}, {evRampLevel2, RampLevel<9>}, {evRampLevel3, RampLevel<11>},
    {evRampLevel4, RampLevel<13>}, {evRampLevel5, RampLevel<15>},
    {evCtrlShaper1, ControlShaper<2, false>}, {evCtrlShaper2, ControlShaper<3, false>},
    {evCtrlShaper3, ControlShaper<4, true>},
    {evRouterIn1, Router<true>}, {evRouterIn2, Router<false>}, {evSeparator, Separator},
    {evRandomize, Randomize},
    {evDividerIn, DividerIn}, {evDividerReset, DividerReset}, {evQuantize, Quantize}, {evTimer, Timer},
    {evCombine, Combine},
    {evSelectMaxIn, SelectIn<true>}, {evSelectMaxGate, SelectGate<true>},
    {evSelectMinIn, SelectIn<false>}, {evSelectMinGate, SelectGate<false>},
    {evLevelToGain, LevelToGain}, {evPitchToHz, PitchToFrequency}, {evGainToLevel, Logarithm<false>},
    {evHzToPitch, Logarithm<true>}, {evSmoother, Smoother},
    {evAccumulate, Accumulate}, {evAccumulatorSet, SetAndSend},
    {evCountUp, Count<1>}, {evCountDown, Count<-1>}, {evCounterSet, SetAndSend},
    {evAndA, Logic<kAnd, true>}, {evAndB, Logic<kAnd, false>}, {evOrA, Logic<kOr, true>},
    {evOrB, Logic<kOr, false>}, {evExorA, Logic<kExor, true>}, {evExorB, Logic<kExor, false>},
    {evNot, Not}, {evValue, Value}, {evTune, Tune},
    {evTapePlay, TapePlay}, {evTapeLoop, TapeLoop},
    {evSpread, Spread}, {evMidiController, MidiSend<kControl>},
    {evMidiPolyPressure, MidiSend<kPolyPressure>}, {evMidiNote, MidiNote},
    {evMidiPitchBend, MidiSend<kPitchBend>}, {evMidiProgram, MidiSend<kProgram>},
    {evMidiChannelPressure, MidiSend<kChannelPressure>},
    {evDemuxPosition, DemuxPosition}, {evHoldGate, HoldGate},
};

} // namespace

void SetEventHost(IEventHost* host) { eventHost.store(host); }
IEventHost* GetEventHost() { return eventHost.load(); }

bool EngineResetting() { return StructureChangeDepth.load(std::memory_order_relaxed) > 0; }

void InstallEventRoutines(TRoutineTables& tables) {
  for (const TEntry& e : kEntries) tables.event[e.id] = e.routine;
}

void SendEvent(TEngineRecord* sender, int32_t output, int32_t voice, float v) {
  const bool fanOut = sender->voices == 1;
  ForEachRoute(sender, output, [&](TEventRoutine routine, TEngineRecord* target) {
    if (!fanOut) return routine(target, voice, v);
    for (int32_t j = 0; j < target->voices; ++j) routine(target, j, v);
  });
}

void SendEventToAll(TEngineRecord* sender, int32_t output, float v) {
  ForEachRoute(sender, output, [&](TEventRoutine routine, TEngineRecord* target) {
    for (int32_t j = 0; j < target->voices; ++j) routine(target, j, v);
  });
}
