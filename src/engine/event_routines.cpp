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
#include <iterator>

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

// The word of the many types whose whole state is the one value they send.
constexpr int32_t kOut = QV_WORD_AT(OutState, out);

template <int Input1To6> void EventSum(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, QV_WORDS_OF(EventSumState));
  if (!w) return;
  constexpr int32_t kIn = QV_WORD_AT(EventSumState, in);
  float v = value;
  for (int i = 1; i <= 6; ++i)
    if (i != Input1To6) v += w[kIn + i - 1].f;
  w[QV_WORD_AT(EventSumState, out)].f = v;
  SendEvent(r, EventOut::kOut, voice, v);
  w[kIn + Input1To6 - 1].f = value;
}

template <int Input1To4> void EventProduct(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, QV_WORDS_OF(EventProductState));
  if (!w) return;
  constexpr int32_t kIn = QV_WORD_AT(EventProductState, in);
  float v = value;
  for (int i = 1; i <= 4; ++i)
    if (i != Input1To4) v *= w[kIn + i - 1].f;
  w[QV_WORD_AT(EventProductState, out)].f = v;
  SendEvent(r, EventOut::kOut, voice, v);
  w[kIn + Input1To4 - 1].f = value;
}

void Invert(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, QV_WORDS_OF(OutState));
  if (!w) return;
  w[kOut].f = -value;
  SendEvent(r, EventOut::kOut, voice, w[kOut].f);
}

// "1/x" (the result and its input) and "/" (the result, X and Y): one-voice
// form; a divisor of ±0 gives 0.
enum EQuotient { kReciprocal, kDivideX, kDivideY };

template <EQuotient Input> void Quotient(TEngineRecord* r, int32_t voice, float value) {
  static_assert(QV_WORD_AT(EventReciprocalState, out) == QV_WORD_AT(EventDivideState, out), "one result");
  constexpr int32_t kX = QV_WORD_AT(EventDivideState, x), kY = QV_WORD_AT(EventDivideState, y);
  constexpr int32_t kStore =
      Input == kReciprocal ? QV_WORD_AT(EventReciprocalState, in) : Input == kDivideX ? kX : kY;
  constexpr int32_t kNeed =
      Input == kReciprocal ? QV_WORDS_OF(EventReciprocalState) : QV_WORDS_OF(EventDivideState);
  voice = OwnVoice(r, voice);
  TVoiceWords w = Words(r, voice, kNeed);
  if (!w) return;
  const float x = Input == kReciprocal ? 1.0f : Input == kDivideX ? value : w[kX].f;
  const float y = Input == kDivideX ? w[kY].f : value;
  const float v = IsZero(y) ? 0.0f : x / y;
  w[QV_WORD_AT(EventDivideState, out)].f = v;
  SendEvent(r, EventOut::kOut, voice, v);
  w[kStore].f = value;
}

void ChangesOnly(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, QV_WORDS_OF(OutState));
  if (!w || value == w[kOut].f) return;
  w[kOut].f = value;
  SendEvent(r, EventOut::kOut, voice, value);
}

enum ELogic { kAnd, kOr, kExor };

template <ELogic Gate, bool InputA> void Logic(TEngineRecord* r, int32_t voice, float value) {
  constexpr int32_t kA = QV_WORD_AT(LogicState, a), kB = QV_WORD_AT(LogicState, b);
  constexpr int32_t kInverse = QV_WORD_AT(LogicState, inverse);
  TVoiceWords w = Words(r, voice, QV_WORDS_OF(LogicState));
  if (!w) return;
  (InputA ? w[kA] : w[kB]).i = IsOn(value) ? 1 : 0;
  const bool a = w[kA].i != 0, b = w[kB].i != 0;
  const bool on = Gate == kAnd ? (a && b) : Gate == kOr ? (a || b) : (a != b);
  const float out = on ? 1.0f : 0.0f;
  w[QV_WORD_AT(LogicState, out)].f = out;
  w[kInverse].f = 1.0f - out;
  SendEvent(r, LogicOut::kOut, voice, out);
  SendEvent(r, LogicOut::kNot, voice, w[kInverse].f);
}

void Not(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, QV_WORDS_OF(NotState));
  if (!w) return;
  const float out = IsOn(value) ? 0.0f : 1.0f;
  w[QV_WORD_AT(NotState, out)].f = out;
  SendEvent(r, LogicOut::kOut, voice, out);
  w[QV_WORD_AT(NotState, inverse)].f = 1.0f - out;
  SendEvent(r, LogicOut::kNot, voice, 1.0f - out);
}

// ---------------------------------------------------------------------------
// Oscillator parameters

// Ramp oscillators keep the level of step k (counted from 1) in level[k - 1]
// and the difference to the next step in slope[k - 1]; the last step's next
// is step 1. Wrap is the step count when this step is the first or the last
// one, else 0. The levels and slopes sit at the same words for every step
// count.
using RampOsc = RampOscState<8>;
static_assert(QV_WORD_AT(RampOscState<4>, slope) == QV_WORD_AT(RampOsc, slope), "ramp oscillator words");

template <int Step, int Wrap> void RampStep(TEngineRecord* r, int32_t voice, float value) {
  constexpr int32_t kLevel = QV_WORD_AT(RampOsc, level) - 1, kSlope = QV_WORD_AT(RampOsc, slope) - 1;
  TVoiceWords w = Words(r, voice, kSlope + 1 + (Wrap ? Wrap : Step));
  if (!w) return;
  constexpr int next = Step == Wrap ? 1 : Step + 1;
  constexpr int prev = Step == 1 ? Wrap : Step - 1;
  Put(w[kLevel + Step].f, value);
  Put(w[kSlope + Step].f, w[kLevel + next].f - value);
  Put(w[kSlope + prev].f, value - w[kLevel + prev].f);
}

// The pitch event of the oscillators and the cutoff event of the filters
// with an F input: every such type keeps the frequency in its first word.
constexpr int32_t kPitch = QV_WORD_AT(OscState, pitch);
static_assert(QV_WORD_AT(OscSyncState, pitch) == kPitch && QV_WORD_AT(TriangleState, pitch) == kPitch &&
                  QV_WORD_AT(PulseState, pitch) == kPitch && QV_WORD_AT(PulseSyncState, pitch) == kPitch &&
                  QV_WORD_AT(Pulse2RampState, pitch) == kPitch && QV_WORD_AT(RampOsc, pitch) == kPitch &&
                  QV_WORD_AT(RandomOscState, pitch) == kPitch,
              "the frequency word of the oscillators' pitch event");
static_assert(QV_WORD_AT(OnePoleState, cutoff) == kPitch && QV_WORD_AT(SvfState, cutoff) == kPitch &&
                  QV_WORD_AT(NotchState, cutoff) == kPitch && QV_WORD_AT(Svf4State, cutoff) == kPitch &&
                  QV_WORD_AT(PeakEqState, cutoff) == kPitch && QV_WORD_AT(HiShelfState, cutoff) == kPitch &&
                  QV_WORD_AT(LoShelfState, cutoff) == kPitch,
              "the frequency word of the filters' cutoff event");

void PitchHz(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, kPitch + 1);
  if (!w) return;
  Put(w[kPitch].f, PitchToHz(value));
  Mark(r);
}

// The oscillators that keep a ready phase increment in their pitch word.
static_assert(QV_WORD_AT(ParPwmState, increment) == kPitch, "the increment word of the pitch event");

template <int Scale> void PitchIncrement(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, kPitch + 1);
  if (!w) return;
  const float hz = PitchToHz(value);
  switch (Scale) {
  case 2: w[kPitch].f = AtMost(hz * K().twoOverRate, 1.0f); break;
  case 4: w[kPitch].f = AtMost(hz * K().fourOverRate, 1.99f); break;
  default: w[kPitch].f = AtMost(hz * K().sineStepOverRate, 255.0f); break;
  }
}

// "Tri/Par Symm": the corner of the wave follows the stored width, kept
// inside what the increment leaves and never at ±1, where the slopes would
// be infinite.
void UpdateSymmetry(TVoiceWords w) {
  const float increment = w[QV_WORD_AT(SymmOscState, increment)].f;
  const float limit = AtMost(1.0f - increment, 0.999999f);
  const float width = Clamp(w[QV_WORD_AT(SymmOscState, width)].f, -limit, limit);
  const float h = 0.5f * width - 0.5f;
  Put(w[QV_WORD_AT(SymmOscState, point)].f, h);
  Put(w[QV_WORD_AT(SymmOscState, slope)].f, 1.0f / h);
  Put(w[QV_WORD_AT(SymmOscState, slopeRest)].f, 1.0f / (1.0f + h));
}

void PitchSymmetric(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, QV_WORDS_OF(SymmOscState));
  if (!w) return;
  Put(w[QV_WORD_AT(SymmOscState, increment)].f, AtMost(PitchToHz(value) * K().twoOverRate, 1.0f));
  UpdateSymmetry(w);
}

void Symmetry(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, QV_WORDS_OF(SymmOscState));
  if (!w) return;
  Put(w[QV_WORD_AT(SymmOscState, width)].f, value);
  UpdateSymmetry(w);
}

void PulseWidth(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, QV_WORDS_OF(ParPwmState));
  if (!w) return;
  const float width = Clamp(value, -0.999f, 0.999f);
  const float third = width * 0.33333334f;
  Put(w[QV_WORD_AT(ParPwmState, width)].f, width);
  Put(w[QV_WORD_AT(ParPwmState, scaleLow)].f, 3.0f / (width - 1.0f));
  Put(w[QV_WORD_AT(ParPwmState, scaleHigh)].f, 3.0f / (width + 1.0f));
  Put(w[QV_WORD_AT(ParPwmState, offsetLow)].f, (width + 2.0f) * third);
  Put(w[QV_WORD_AT(ParPwmState, offsetHigh)].f, third * (width - 2.0f));
}

void ClockFrequency(TEngineRecord* r, int32_t, float value) {
  TVoiceWords w = Words(r, 0, QV_WORDS_OF(ClockOscState));
  if (!w) return;
  Put(w[QV_WORD_AT(ClockOscState, increment)].f, AtMost(std::fabs(value * K().twoOverRate), 1.0f));
}

void ClockSync(TEngineRecord* r, int32_t, float value) {
  TVoiceWords w = Words(r, 0, QV_WORD_AT(ClockOscState, phase) + 1);
  if (!w || !IsOn(value)) return;
  const float a = Input(r, 0, ClockOscIn::kAmpl);
  Put(w[QV_WORD_AT(ClockOscState, out)].f, a);
  SendEventToAll(r, EventOut::kOut, a);
  Put(w[QV_WORD_AT(ClockOscState, phase)].f, -1.0f);
}

// ---------------------------------------------------------------------------
// Filters, levels and equalisers

void OnePoleCutoff(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, QV_WORDS_OF(OnePoleState));
  if (!w) return;
  const float f = AtMost(PitchToHz(value) * K().omegaOverRate, 0.99f);
  if (f == 0.0f) {
    Put(w[QV_WORD_AT(OnePoleState, cutoff)].f, 0.0f);
    Put(w[QV_WORD_AT(OnePoleState, lp)].f, 0.0f);
  } else {
    Put(w[QV_WORD_AT(OnePoleState, cutoff)].f, f);
  }
  Mark(r);
}

// The shelving coefficient: frequency times the boost's scale, at most the
// boost's limit. Both shelves keep these words at the same places.
static_assert(QV_WORD_AT(LoShelfState, cutoff) == QV_WORD_AT(HiShelfState, cutoff) &&
                  QV_WORD_AT(LoShelfState, scale) == QV_WORD_AT(HiShelfState, scale) &&
                  QV_WORD_AT(LoShelfState, limit) == QV_WORD_AT(HiShelfState, limit) &&
                  QV_WORD_AT(LoShelfState, coeff) == QV_WORD_AT(HiShelfState, coeff) &&
                  QV_WORDS_OF(LoShelfState) == QV_WORDS_OF(HiShelfState),
              "shelf words");

void UpdateShelf(TEngineRecord* r, TVoiceWords w) {
  Put(w[QV_WORD_AT(HiShelfState, coeff)].f,
      AtMost(w[QV_WORD_AT(HiShelfState, cutoff)].f * w[QV_WORD_AT(HiShelfState, scale)].f,
             w[QV_WORD_AT(HiShelfState, limit)].f));
  Mark(r);
}

void ShelfCutoff(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, QV_WORDS_OF(HiShelfState));
  if (!w) return;
  const float f = PitchToHz(value);
  Put(w[QV_WORD_AT(HiShelfState, cutoff)].f, f);
  UpdateShelf(r, w);
}

// The level events: the linear gain of a mixer's channel (counted from 0),
// and of "Amp" and the master of "Audio Out", whose gain sits where a
// mixer's first one does.
static_assert(QV_WORD_AT(AmpState, gain) == QV_WORD_AT(MixerState<8>, gain) &&
                  QV_WORD_AT(AudioOutState<1>, master) == QV_WORD_AT(MixerState<8>, gain),
              "level words");

template <int Channel> void Level(TEngineRecord* r, int32_t voice, float value) {
  constexpr int32_t kGain = QV_WORD_AT(MixerState<8>, gain) + Channel;
  TVoiceWords w = Words(r, voice, kGain + 1);
  if (!w) return;
  Put(w[kGain].f, DecibelsToGain(value));
}

// "Stereo Amp": the level gain and the pan give the two channel gains.
constexpr int32_t kStereoGainLeft = QV_WORD_AT(StereoAmpState, gainLeft);
constexpr int32_t kStereoGainRight = QV_WORD_AT(StereoAmpState, gainRight);
constexpr int32_t kStereoPan = QV_WORD_AT(StereoAmpState, pan);
constexpr int32_t kStereoLevel = QV_WORD_AT(StereoAmpState, level);

void StereoLevel(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, QV_WORDS_OF(StereoAmpState));
  if (!w) return;
  const float g = DecibelsToGain(value);
  Put(w[kStereoLevel].f, g);
  Put(w[kStereoGainLeft].f, (1.0f - w[kStereoPan].f) * g);
  Put(w[kStereoGainRight].f, (w[kStereoPan].f + 1.0f) * g);
}

void StereoPan(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, QV_WORDS_OF(StereoAmpState));
  if (!w) return;
  Put(w[kStereoPan].f, value);
  Put(w[kStereoGainLeft].f, (1.0f - value) * w[kStereoLevel].f);
  Put(w[kStereoGainRight].f, (1.0f + value) * w[kStereoLevel].f);
}

// The top of the resonance inputs' range. At 1 the damping would be 0 and a
// filter fed by a modulator that goes that far rings up without bound; a
// value beyond the range saturates here.
constexpr float kResonanceTop = 0.98f;

// The resonance event of the filters with an F input: the damping and the
// limit sit at the same words in all of them.
static_assert(QV_WORD_AT(NotchState, damping) == QV_WORD_AT(SvfState, damping) &&
                  QV_WORD_AT(Svf4State, damping) == QV_WORD_AT(SvfState, damping) &&
                  QV_WORD_AT(PeakEqState, damping) == QV_WORD_AT(SvfState, damping) &&
                  QV_WORD_AT(NotchState, limit) == QV_WORD_AT(SvfState, limit) &&
                  QV_WORD_AT(Svf4State, limit) == QV_WORD_AT(SvfState, limit) &&
                  QV_WORD_AT(PeakEqState, limit) == QV_WORD_AT(SvfState, limit),
              "resonance words");

void Resonance(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, QV_WORD_AT(SvfState, limit) + 1);
  if (!w) return;
  const float res = Clamp(value, 0.0f, kResonanceTop);
  Put(w[QV_WORD_AT(SvfState, damping)].f, 2.0f - 2.0f * res);
  Put(w[QV_WORD_AT(SvfState, limit)].f, (1.3075f + res) * res * 0.293f + 0.7352f);
  Mark(r);
}

static_assert(QV_WORD_AT(GridPeakEqState, boost) == QV_WORD_AT(PeakEqState, boost), "boost word");

void PeakBoost(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, QV_WORD_AT(PeakEqState, boost) + 1);
  if (!w) return;
  Put(w[QV_WORD_AT(PeakEqState, boost)].f, DecibelsToGain(value) - 1.0f);
  Mark(r);
}

void HiShelfBoost(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, QV_WORDS_OF(HiShelfState));
  if (!w) return;
  const float g = DecibelsToGain(value);
  Put(w[QV_WORD_AT(HiShelfState, boost)].f, g - 1.0f);
  Put(w[QV_WORD_AT(HiShelfState, scale)].f, (0.5f * g + 0.5f) * K().omegaOverRate);
  Put(w[QV_WORD_AT(HiShelfState, limit)].f, AtMost(2.0f * g, 1.5f));
  UpdateShelf(r, w);
}

void LoShelfBoost(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, QV_WORDS_OF(LoShelfState));
  if (!w) return;
  const float g = DecibelsToGain(value);
  Put(w[QV_WORD_AT(LoShelfState, boost)].f, g - 1.0f);
  Put(w[QV_WORD_AT(LoShelfState, scale)].f, K().omegaOverRate / (0.5f * g + 0.5f));
  Put(w[QV_WORD_AT(LoShelfState, limit)].f, g < 1.0f ? 1.0f : 1.5f);
  UpdateShelf(r, w);
}

// The grid filters read their coefficient and damping from two 11 x 11
// correction grids: the column follows the cutoff, the row the resonance
// (FilterGrid). The peak equaliser keeps these words where the
// state-variable filters do.
constexpr int32_t kGridCoeff = QV_WORD_AT(GridSvfState, coeff);
constexpr int32_t kGridDamping = QV_WORD_AT(GridSvfState, damping);
constexpr int32_t kGridColumn = QV_WORD_AT(GridSvfState, grid.column);
constexpr int32_t kGridColumnFraction = QV_WORD_AT(GridSvfState, grid.columnFraction);
constexpr int32_t kGridRow11 = QV_WORD_AT(GridSvfState, grid.row11);
constexpr int32_t kGridRowFraction = QV_WORD_AT(GridSvfState, grid.rowFraction);
constexpr int32_t kGridWords = QV_WORDS_OF(GridSvfState);
static_assert(QV_WORD_AT(GridPeakEqState, coeff) == kGridCoeff &&
                  QV_WORD_AT(GridPeakEqState, damping) == kGridDamping &&
                  QV_WORD_AT(GridPeakEqState, grid) == QV_WORD_AT(GridSvfState, grid) &&
                  QV_WORD_AT(GridNotchState, svf) == 0 && QV_WORD_AT(GridSvf4State, first) == 0,
              "grid filter words");

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
  Put(w[kGridCoeff].f, Bilinear(ShapeTableA, i, u, v));
  Put(w[kGridDamping].f, Bilinear(ShapeTableB, i, u, v));
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

// "Integrator": the Set event overwrites the output.
void StoreWord0(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, QV_WORDS_OF(OutState));
  if (w) Put(w[kOut].f, value);
}

void StoreDelayedEvent(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, QV_WORDS_OF(EventDelayState));
  if (!w) return;
  Put(w[QV_WORD_AT(EventDelayState, value)].f, value);
  Put(w[QV_WORD_AT(EventDelayState, elapsedMs)].f, 0.0f);
  Put(w[QV_WORD_AT(EventDelayState, pending)].f, 1.0f);
}

void HoldGate(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, QV_WORDS_OF(HoldState));
  if (!w || !IsOn(value)) return;
  Put(w[QV_WORD_AT(HoldState, elapsed)].f, 0.0f);
  Put(w[QV_WORD_AT(HoldState, out)].f, value);
  SendEvent(r, EventOut::kOut, voice, value);
}

void Smoother(TEngineRecord* r, int32_t voice, float value) {
  constexpr int32_t kSmoothOut = QV_WORD_AT(SmootherState, out), kSlope = QV_WORD_AT(SmootherState, slope);
  TVoiceWords w = Words(r, voice, QV_WORDS_OF(SmootherState));
  if (!w) return;
  Put(w[QV_WORD_AT(SmootherState, target)].f, value);
  const float ms = r->params[1].f;
  // With smoothing switched off (first setting 0) the output jumps, as it
  // does during a reset. A time of 0 (or less, or not a number) would divide
  // 0 by 0 and leave a NaN in the output for good: it jumps too.
  if (EngineResetting() || IsZero(r->params[0].f) || !(ms > 0.0f)) {
    Put(w[kSmoothOut].f, value);
    Put(w[kSlope].f, 0.0f);
    return;
  }
  Put(w[kSlope].f, (value - w[kSmoothOut].f) * 1000.0f / (K().processingRate * ms));
}

// ---------------------------------------------------------------------------
// Envelopes

// The gate-driven envelopes; the knee envelopes add their words after the
// ones they share with the others.
constexpr int32_t kEnvOut = QV_WORD_AT(GateEnvState, out);
constexpr int32_t kEnvDecay = QV_WORD_AT(GateEnvState, decay);
constexpr int32_t kEnvRelease = QV_WORD_AT(GateEnvState, release);
constexpr int32_t kEnvAttackUnit = QV_WORD_AT(GateEnvState, attackUnit);
constexpr int32_t kEnvSustain = QV_WORD_AT(GateEnvState, sustain);
constexpr int32_t kEnvSustainLevel = QV_WORD_AT(GateEnvState, sustainLevel);
constexpr int32_t kEnvPeak = QV_WORD_AT(GateEnvState, peak);
constexpr int32_t kEnvAttackStep = QV_WORD_AT(GateEnvState, attackStep);
constexpr int32_t kEnvDecayPart = QV_WORD_AT(GateEnvState, decayPart);
constexpr int32_t kEnvStage = QV_WORD_AT(GateEnvState, stage);
constexpr int32_t kEnvKnee = QV_WORD_AT(KneeEnvState, knee);
constexpr int32_t kEnvKneeStep = QV_WORD_AT(KneeEnvState, kneeStep);
constexpr int32_t kEnvKneeRate = QV_WORD_AT(KneeEnvState, kneeRate);
constexpr int32_t kEnvKneeFraction = QV_WORD_AT(KneeEnvState, kneeFraction);
constexpr int32_t kEnvWords = QV_WORDS_OF(GateEnvState), kKneeEnvWords = QV_WORDS_OF(KneeEnvState);
static_assert(QV_WORD_AT(KneeEnvState, stage) == kEnvStage && QV_WORD_AT(KneeEnvState, peak) == kEnvPeak &&
                  QV_WORD_AT(KneeEnvState, attackUnit) == kEnvAttackUnit &&
                  QV_WORD_AT(KneeEnvState, decay) == kEnvDecay &&
                  QV_WORD_AT(KneeEnvState, release) == kEnvRelease,
              "envelope words");

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

// "H - Env" and "HR - Env" keep the hold time at the same word.
static_assert(QV_WORD_AT(HoldReleaseEnvState, holdFrames) == QV_WORD_AT(HoldEnvState, holdFrames),
              "hold word");

void HoldTime(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, QV_WORD_AT(HoldEnvState, holdFrames) + 1);
  if (!w) return;
  const double frames = double(TimeToSeconds(value)) / double(K().invRate);
  Put(w[QV_WORD_AT(HoldEnvState, holdFrames)].i, TruncToInt(frames));
  Mark(r);
}

float TimeStep(float value) { return TimeToRate(value) * K().invRate; }

// "AD - Env" keeps its attack step where the gate-driven envelopes keep
// theirs for a peak of 1.
static_assert(QV_WORD_AT(AttackDecayEnvState, attackStep) == kEnvAttackUnit, "attack word");

void Attack(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, kEnvAttackUnit + 1);
  if (!w) return;
  Put(w[kEnvAttackUnit].f, TimeStep(value));
  Mark(r);
}

// The decay event (also the release of "Peak Detect.") and the release
// event: Word is kEnvDecay or kEnvRelease.
static_assert(QV_WORD_AT(DecayEnvState, decay) == kEnvDecay &&
                  QV_WORD_AT(AttackDecayEnvState, decay) == kEnvDecay &&
                  QV_WORD_AT(PeakDetectState, release) == kEnvDecay,
              "decay words");
static_assert(QV_WORD_AT(HoldReleaseEnvState, release) == kEnvRelease, "release words");

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

// Multi-ramp envelopes: the words of the ramps and of the release are the
// same for every ramp count.
using RampEnv = RampEnvState<5>;
static_assert(QV_WORD_AT(RampEnvState<3>, ramp) == QV_WORD_AT(RampEnv, ramp), "ramp envelope words");
template <int Ramp> constexpr int32_t kRampRate = QV_WORD_AT(RampEnv, ramp[Ramp].rate);
template <int Ramp> constexpr int32_t kRampLevel = QV_WORD_AT(RampEnv, ramp[Ramp].level);
constexpr int32_t kRampReleaseRate = QV_WORD_AT(RampEnv, releaseRate);
// From one ramp's words to the next one's.
constexpr int32_t kRampWords = kRampLevel<1> - kRampLevel<0>;

void RampEnvelopeGate(TEngineRecord* r, int32_t voice, float value) {
  constexpr int32_t kStage = QV_WORD_AT(RampEnv, stage), kLevel = QV_WORD_AT(RampEnv, level);
  constexpr int32_t kSlope = QV_WORD_AT(RampEnv, slope), kTarget = QV_WORD_AT(RampEnv, target);
  TVoiceWords w = Words(r, voice, kRampLevel<0> + 1);
  if (!w) return;
  if (!IsOn(value)) {
    Put(w[kTarget].f, 0.0f);
    Put(w[kSlope].f, -w[kLevel].f * w[kRampReleaseRate].f);
    Put(w[kStage].f, -1.0f);
    SendEvent(r, EventOut::kOut, voice, -1.0f);
    return;
  }
  Put(w[QV_WORD_AT(RampEnv, peak)].f, value);
  Put(w[kTarget].f, value * w[kRampLevel<0>].f);
  Put(w[kSlope].f, (value * w[kRampLevel<0>].f - w[kLevel].f) * w[kRampRate<0>].f);
  Put(w[kStage].f, 1.0f);
  SendEvent(r, EventOut::kOut, voice, 1.0f);
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
  const float previous = Word == kRampLevel<0> ? 0.0f : w[Word - kRampWords].f;
  float v = AwayFrom(value, previous);
  // The next level is tested only when the record holds it; the last level
  // has none.
  if (Word < kRampLevel<4> && r->stateWords > Word + kRampWords) {
    const float next = w[Word + kRampWords].f;
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
  const float a = Input(r, voice, EventShaperIn::kPoint0 + s), b = Input(r, voice, EventShaperIn::kPoint0 + s + 1);
  return a + (b - a) * float(Segments) * (value - start);
}

template <int Segments, bool OneVoice> void ControlShaper(TEngineRecord* r, int32_t voice, float value) {
  if (OneVoice) voice = OwnVoice(r, voice);
  TVoiceWords w = Words(r, voice, QV_WORDS_OF(OutState));
  if (!w) return;
  const float v = Shape<Segments>(r, voice, value);
  w[kOut].f = v;
  SendEvent(r, EventOut::kOut, voice, v);
}

template <bool WhenOn> void Router(TEngineRecord* r, int32_t voice, float value) {
  voice = OwnVoice(r, voice);
  TVoiceWords w = Words(r, voice, QV_WORDS_OF(OutState));
  if (!w || IsOn(Input(r, voice, RouterIn::kControl)) != WhenOn) return;
  w[kOut].f = value;
  SendEvent(r, EventOut::kOut, voice, value);
}

void Separator(TEngineRecord* r, int32_t voice, float value) {
  voice = OwnVoice(r, voice);
  TVoiceWords w = Words(r, voice, QV_WORDS_OF(SeparatorState));
  if (!w) return;
  const int32_t side = value <= Input(r, voice, SeparatorIn::kThreshold) ? SeparatorOut::kLow : SeparatorOut::kHigh;
  w[side == SeparatorOut::kLow ? QV_WORD_AT(SeparatorState, low) : QV_WORD_AT(SeparatorState, high)].f = value;
  SendEvent(r, side, voice, value);
}

// One step of the shared 32-bit shift register (unsigned shifts).
uint32_t NextRandom(uint32_t g) {
  const uint32_t t = (g >> 5) ^ g ^ (g >> 13);
  return (g >> 1) | ((t & 1u) << 31);
}

void Randomize(TEngineRecord* r, int32_t voice, float value) {
  const TVoiceWords shared = Words(r, 0, QV_WORDS_OF(RandomizeState));
  TVoiceWords w = Words(r, voice, QV_WORDS_OF(RandomizeState));
  if (!shared || !w) return;
  const uint32_t g = NextRandom(shared[QV_WORD_AT(RandomizeState, reg)].u);
  shared[QV_WORD_AT(RandomizeState, reg)].u = g;
  const float deviation = float(g & 0xffffu) * 3.0518e-05f - 1.0f;
  const float v = value + Input(r, voice, RandomizeIn::kRange) * deviation;
  w[QV_WORD_AT(RandomizeState, out)].f = v;
  SendEvent(r, EventOut::kOut, voice, v);
}

// ---------------------------------------------------------------------------
// Divider, quantizer, timer and voice combiner

void DividerIn(TEngineRecord* r, int32_t voice, float value) {
  constexpr int32_t kDivOut = QV_WORD_AT(EventDividerState, out);
  constexpr int32_t kCount = QV_WORD_AT(EventDividerState, count);
  TVoiceWords w = Words(r, voice, QV_WORDS_OF(EventDividerState));
  if (!w || EngineResetting() || !IsOn(value)) return;
  const float n = Input(r, voice, EventFreqDividerIn::kDivisor), width = Input(r, voice, EventFreqDividerIn::kWidth);
  w[kCount].f += 1.0f;
  if (w[kCount].f > n - 1.0f) {
    w[kDivOut].f = value;
    SendEvent(r, EventOut::kOut, voice, value);
    w[kCount].f = 0.0f;
  } else if (!IsZero(w[kDivOut].f) && w[kCount].f > n * width - 1.0f) {
    w[kDivOut].f = 0.0f;
    SendEvent(r, EventOut::kOut, voice, 0.0f);
  }
}

void DividerReset(TEngineRecord* r, int32_t voice, float value) {
  voice = OwnVoice(r, voice);
  constexpr int32_t kDivOut = QV_WORD_AT(EventDividerState, out);
  TVoiceWords w = Words(r, voice, QV_WORDS_OF(EventDividerState));
  if (!w || EngineResetting() || !IsOn(value)) return;
  if (!IsZero(w[kDivOut].f)) {
    w[kDivOut].f = 0.0f;
    SendEvent(r, EventOut::kOut, voice, 0.0f);
  }
  w[QV_WORD_AT(EventDividerState, count)].f = 1.0e30f;
}

void Quantize(TEngineRecord* r, int32_t voice, float value) {
  voice = OwnVoice(r, voice);
  TVoiceWords w = Words(r, voice, QV_WORDS_OF(QuantizerState));
  if (!w) return;
  const float offset = Input(r, voice, EventQuantizerIn::kOffset), step = Input(r, voice, EventQuantizerIn::kStep);
  float out = value, error = 0.0f;
  if (!IsZero(step)) {
    const float q = (value - offset) / step;
    // Rounded half away from zero, in float so that quotients beyond the
    // integer range keep their value.
    const float n = q > 0.0f ? std::trunc(q + 0.5f) : std::trunc(q - 0.5f);
    out = n * step + offset;
    error = out - value;
  }
  w[QV_WORD_AT(QuantizerState, out)].f = out;
  SendEvent(r, EventQuantizerOut::kOut, voice, out);
  w[QV_WORD_AT(QuantizerState, error)].f = error;
  SendEvent(r, EventQuantizerOut::kError, voice, error);
}

void Timer(TEngineRecord* r, int32_t voice, float value) {
  constexpr int32_t kMs = QV_WORD_AT(TimerState, ms), kHz = QV_WORD_AT(TimerState, hz);
  TVoiceWords w = Words(r, voice, QV_WORDS_OF(TimerState));
  if (!w || EngineResetting() || !IsOn(value)) return;
  const uint32_t frames = w[QV_WORD_AT(TimerState, frames)].u;
  w[QV_WORD_AT(TimerState, frames)].u = 0;
  w[kMs].f = float(frames) * K().msPerFrame;
  SendEvent(r, TimerOut::kTime, voice, w[kMs].f);
  if (w[kMs].f > 0.0f) {
    w[kHz].f = 1000.0f / w[kMs].f;
    SendEvent(r, TimerOut::kFreq, voice, w[kHz].f);
  }
}

void Combine(TEngineRecord* r, int32_t, float value) {
  TVoiceWords w = Words(r, 0, QV_WORDS_OF(OutState));
  if (!w) return;
  w[kOut].f = value;
  SendEventToAll(r, EventOut::kOut, value);
}

// ---------------------------------------------------------------------------
// Select Max and Select Min: every voice's gate flag and stored input, voice
// 0's output.

template <bool Max> bool Beats(float a, float b) { return Max ? a >= b : a <= b; }

constexpr int32_t kSelectOut = QV_WORD_AT(SelectState, out);
constexpr int32_t kSelectGate = QV_WORD_AT(SelectState, gate);
constexpr int32_t kSelectIn = QV_WORD_AT(SelectState, in);

template <bool Max> void SelectIn(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, QV_WORDS_OF(SelectState));
  const TVoiceWords out = Words(r, 0, QV_WORDS_OF(SelectState));
  if (!w || !out) return;
  for (int32_t v = 0; v < r->voices; ++v) {
    const TVoiceWords o = r->state[v];
    if (o[kSelectGate].i != 0 && Beats<Max>(o[kSelectIn].f, value)) {
      w[kSelectIn].f = value;
      return;
    }
  }
  w[kSelectIn].f = value;
  out[kSelectOut].f = value;
  SendEventToAll(r, EventOut::kOut, value);
}

template <bool Max> void SelectGate(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, QV_WORDS_OF(SelectState));
  const TVoiceWords out = Words(r, 0, QV_WORDS_OF(SelectState));
  if (!w || !out || EngineResetting()) return;
  if (IsZero(value)) {
    w[kSelectGate].i = 0;
    bool any = false;
    float best = 0.0f;
    for (int32_t v = 0; v < r->voices; ++v) {
      const TVoiceWords o = r->state[v];
      if (o[kSelectGate].i == 0) continue;
      if (!any || (Max ? o[kSelectIn].f > best : o[kSelectIn].f < best)) best = o[kSelectIn].f;
      any = true;
    }
    if (any) {
      out[kSelectOut].f = best;
      SendEventToAll(r, EventOut::kOut, best);
    }
    return;
  }
  for (int32_t v = 0; v < r->voices; ++v) {
    const TVoiceWords o = r->state[v];
    if (o[kSelectGate].i != 0 && Beats<Max>(o[kSelectIn].f, w[kSelectIn].f)) {
      w[kSelectGate].f = 1.0f;
      return;
    }
  }
  out[kSelectOut].f = w[kSelectIn].f;
  SendEventToAll(r, EventOut::kOut, w[kSelectIn].f);
  w[kSelectGate].f = 1.0f;
}

// ---------------------------------------------------------------------------
// Exponent and logarithm

void LevelToGain(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, QV_WORDS_OF(OutState));
  if (!w) return;
  const float v = DecibelsToGain(value);
  w[kOut].f = v;
  SendEvent(r, EventOut::kOut, voice, v);
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
  TVoiceWords w = Words(r, voice, QV_WORDS_OF(OutState));
  if (!w) return;
  const float v = float(PitchLookupPrecise(5.0 * double(value) + 1381.88158));
  w[kOut].f = v;
  SendEvent(r, EventOut::kOut, voice, v);
}

template <bool Pitch> void Logarithm(TEngineRecord* r, int32_t voice, float value) {
  voice = OwnVoice(r, voice);
  TVoiceWords w = Words(r, voice, QV_WORDS_OF(OutState));
  if (!w) return;
  float v = -300.0f;
  if (IsOn(value)) v = Pitch ? 17.31234f * std::log(value) - 36.37632f : 8.68589f * std::log(value);
  w[kOut].f = v;
  SendEvent(r, EventOut::kOut, voice, v);
}

// ---------------------------------------------------------------------------
// Accumulator, counter and value

void Accumulate(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, QV_WORDS_OF(OutState));
  if (!w) return;
  w[kOut].f += value;
  SendEvent(r, EventOut::kOut, voice, w[kOut].f);
}

void SetAndSend(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, QV_WORDS_OF(OutState));
  if (!w) return;
  w[kOut].f = value;
  SendEvent(r, EventOut::kOut, voice, value);
}

template <int Step> void Count(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, QV_WORDS_OF(OutState));
  if (!w || !IsOn(value)) return;
  w[kOut].f += float(Step);
  SendEvent(r, EventOut::kOut, voice, w[kOut].f);
}

void Value(TEngineRecord* r, int32_t voice, float) {
  voice = OwnVoice(r, voice);
  TVoiceWords w = Words(r, voice, QV_WORDS_OF(OutState));
  if (!w) return;
  const float v = Input(r, voice, ValueIn::kValue);
  w[kOut].f = v;
  SendEvent(r, EventOut::kOut, voice, v);
}

void Tune(TEngineRecord* r, int32_t, float value) {
  if (IEventHost* host = GetEventHost(); host && r->module) host->SetTune(r->module, value);
}

// ---------------------------------------------------------------------------
// Spread: the unison offset of every voice of every destination.

void Spread(TEngineRecord* r, int32_t, float value) {
  const TVoiceWords shared = Words(r, 0, QV_WORDS_OF(SpreadState));
  if (!shared) return;
  shared[QV_WORD_AT(SpreadState, spread)].f = value;
  ForEachRoute(r, EventOut::kOut, [&](TEventRoutine routine, TEngineRecord* target) {
    for (int32_t j = 0; j < target->voices; ++j) {
      TVoiceWords w = Words(r, j, QV_WORDS_OF(SpreadState));
      // A destination voice the source lacks takes its voice number as rank.
      const int32_t rank = w ? ToIndex(w[QV_WORD_AT(SpreadState, rank)].f, 0, INT32_MAX - 1) : j;
      const int32_t half = rank / 2;
      const float offset = rank % 2 == 0 ? -value * float(half) : value * float((rank + 1) / 2);
      if (w) w[QV_WORD_AT(SpreadState, offset)].f = offset;
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
  constexpr int32_t kNote = QV_WORD_AT(NoteOutState, note);
  TVoiceWords w = Words(r, voice, QV_WORDS_OF(NoteOutState));
  TMidiTarget t;
  if (!w || !MidiTarget(r, t)) return;
  if (!IsOn(value)) {
    if (w[kNote].i != 0) {
      t.out->SendNoteOn(0, t.channel, int32_t((w[kNote].u - 1u) & 127u), 0);
      w[kNote].i = 0;
    }
    return;
  }
  if (w[kNote].i != 0) return;  // no retrigger while a note sounds
  const int32_t velocity = ToIndex(value * 127.0f, 0, 127);
  int32_t note;
  if (velocity <= 0 || !MidiScale(r, Input(r, voice, MidiNoteOutIn::kPitch), note)) return;
  t.out->SendNoteOn(0, t.channel, note, velocity);
  w[kNote].i = note + 1;
}

// ---------------------------------------------------------------------------
// Demultiplexer, diffusion and tape-deck switches

void DemuxPosition(TEngineRecord* r, int32_t voice, float value) {
  if (voice < 0 || voice >= r->voices) return;
  const int32_t p = ToIndex(value, 0, INT32_MAX);
  constexpr int32_t kLength = QV_INPUT_AT(DemuxInputs, length), kValue = QV_INPUT_AT(DemuxInputs, value);
  constexpr int32_t kValues = int32_t(std::size(DemuxInputs{}.value));
  const int32_t length = InputConnected(r, voice, kLength) ? ToIndex(Input(r, voice, kLength), 1, kValues) : kValues;
  const int32_t step = p % length;
  SendEvent(r, DemuxOut::kStep, voice, float(step));
  SendEvent(r, DemuxOut::kBar, voice, float(p / length));
  SendEvent(r, DemuxOut::kOut, voice, Input(r, voice, kValue + step));
}

void Diffusion(TEngineRecord* r, int32_t voice, float value) {
  TVoiceWords w = Words(r, voice, QV_WORD_AT(DelayVoiceState, lengthOrGain) + 1);
  if (w) w[QV_WORD_AT(DelayVoiceState, lengthOrGain)].f = Clamp(value, -1.0f, 1.0f);
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
    {evIntegratorSet, StoreWord0}, {evEventDelayIn, StoreDelayedEvent}, {evDiffusion, Diffusion},
    {evGate, EnvelopeGate<false>}, {evKneeGate, EnvelopeGate<true>}, {evRampEnvGate, RampEnvelopeGate},
    {evHoldTime, HoldTime}, {evAttack, Attack}, {evDecay, DecayFactor<kEnvDecay>}, {evDecay1, FirstDecay},
    {evRelease, DecayFactor<kEnvRelease>}, {evSustain, Sustain}, {evKnee, Knee},
    {evTime1, RampTime<kRampRate<0>>}, {evTime2, RampTime<kRampRate<1>>}, {evTime3, RampTime<kRampRate<2>>},
    {evTime4, RampTime<kRampRate<3>>}, {evTime5, RampTime<kRampRate<4>>},
    {evReleaseTime, RampTime<kRampReleaseRate>},
    {evRampLevel1, RampLevel<kRampLevel<0>>}, {evRampLevel2, RampLevel<kRampLevel<1>>},
    {evRampLevel3, RampLevel<kRampLevel<2>>}, {evRampLevel4, RampLevel<kRampLevel<3>>},
    {evRampLevel5, RampLevel<kRampLevel<4>>},
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
