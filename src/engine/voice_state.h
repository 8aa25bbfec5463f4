// Per-voice state records of the engine's routines.
//
// Module set-up allocates one record per voice, cleared to zero, sized by the
// module type's state-word count; audio outputs live in these records and
// downstream audio inputs point at them. The module-type catalogue takes its
// state sizes and output positions from the structs below (sizeof/offsetof),
// so the two can never drift apart; the catalogue is also where each type is
// paired with its record. Records that hold pointers are larger on
// a 64-bit build than their word counts suggest; nothing stored in a file
// depends on these sizes.
//
// Where ports name fixed word positions in a record (the sampler family,
// delays, tape decks), the float words they refer to come first and the
// pointers after them, so the positions are the same on every build.
#pragma once

#include <cstddef>
#include <cstdint>

#include "src/engine/word.h"

class IAudioFileMap;
class IAudioFileMapEntry;
class IDelayBuffer;
class IRecordBuffer;
struct TEngineRecord;

namespace qv_engine_check {
template <typename T, int N>
constexpr bool HasWords() { return sizeof(T) == size_t(N) * 4; }
}  // namespace qv_engine_check

#define QV_STATE_WORDS(Type, n) \
  static_assert(qv_engine_check::HasWords<Type, n>(), #Type " must be " #n " words")

// Audio inputs are named beside the state struct of their type: a namespace
// per type (or per family of types with the same inputs in the same order,
// listed above it) holds one enumerator per input, its position in a voice's
// input-pointer array. The catalogue row and the routine both use the name,
// so the order of a type's inputs is written once.

// ---------------------------------------------------------------------------
// Arithmetic, mixing, routing and shapers

// A single output word: audio "+", "X", "-1", "1/x", "/", the shapers and
// modifiers, the event modules that only keep their last sent value.
struct OutState {
  float out;
};
QV_STATE_WORDS(OutState, 1);

// Audio "+" and "X": operand k at kFirst + k.
namespace AudioOperandsIn { enum : int32_t { kFirst }; }
namespace AudioInvertIn { enum : int32_t { kIn }; }
namespace AudioReciprocalIn { enum : int32_t { kIn }; }
namespace AudioDivideIn { enum : int32_t { kX, kY }; }
namespace CrossfadeIn { enum : int32_t { kFade, kIn1, kIn2 }; }
namespace Relay1In { enum : int32_t { kControl, kIn }; }
namespace Relay2In { enum : int32_t { kControl, kIn1, kIn2 }; }
namespace ChopperIn { enum : int32_t { kMod, kIn, kFactor }; }
namespace VoiceCombinerIn { enum : int32_t { kIn }; }
namespace IntegratorIn { enum : int32_t { kIn }; }
namespace SaturatorIn { enum : int32_t { kIn }; }
namespace ClipperIn { enum : int32_t { kIn, kMax, kMin }; }
namespace ModClipperIn { enum : int32_t { kMod, kIn }; }
namespace Mirror1In { enum : int32_t { kIn, kMax }; }
namespace Mirror2In { enum : int32_t { kIn, kMax, kMin }; }
namespace Shaper1BpIn { enum : int32_t { kIn, kBreakpoint, kSlope }; }
namespace Shaper2BpIn { enum : int32_t { kIn, kBreakpoint1, kSlope1, kBreakpoint2, kSlope2 }; }
namespace Shaper3BpIn {
enum : int32_t { kIn, kBreakpoint1, kSlope1, kBreakpoint2, kSlope2, kSlopePositive, kSlopeNegative };
}
namespace ParabolShaperIn { enum : int32_t { kIn, kLinear, kParabolic }; }
namespace CubicShaperIn { enum : int32_t { kIn, kLinear, kParabolic, kCubic }; }
namespace SlewLimiterIn { enum : int32_t { kIn, kUp, kDown }; }
namespace AudioPitchToHzIn { enum : int32_t { kPitch }; }
namespace AudioLevelToGainIn { enum : int32_t { kLevel }; }

// Event sum: the sum and the six inputs (unconnected ones stay 0).
struct EventSumState {
  float out;
  float in[6];
};
QV_STATE_WORDS(EventSumState, 7);

// Event product: module set-up puts 1.0 into the four inputs.
struct EventProductState {
  float out;
  float in[4];
};
QV_STATE_WORDS(EventProductState, 5);

// Event "1/x": the result and the last input.
struct EventReciprocalState {
  float out;
  float in;
};
QV_STATE_WORDS(EventReciprocalState, 2);

// Event "/": the result and both operands.
struct EventDivideState {
  float out;
  float x;
  float y;
};
QV_STATE_WORDS(EventDivideState, 3);

// "And", "Or", "Exor": the two outputs and the two input flags (0 or 1).
struct LogicState {
  float out;
  float inverse;
  TWord a;
  TWord b;
};
QV_STATE_WORDS(LogicState, 4);
// "And", "Or", "Exor" and "Not": the result and its inverse.
namespace LogicOut { enum : int32_t { kOut, kNot }; }

// "Not".
struct NotState {
  float out;
  float inverse;
};
QV_STATE_WORDS(NotState, 2);

// "Test Mod": the five inputs copied out.
struct TestModState {
  float out[5];
};
QV_STATE_WORDS(TestModState, 5);
namespace TestModIn { enum : int32_t { kFirst, kCount = sizeof(TestModState::out) / sizeof(float) }; }

// "Amp": the linear gain of the Level event and the output.
struct AmpState {
  float gain;
  float out;
};
QV_STATE_WORDS(AmpState, 2);
namespace AmpIn { enum : int32_t { kIn }; }

// Mixers with N inputs: the linear gains of the Level events, then the sum.
template <int N>
struct MixerState {
  float gain[N];
  float out;
};
QV_STATE_WORDS(MixerState<2>, 3);
QV_STATE_WORDS(MixerState<8>, 9);
// Channel k's input at kIn1 + k.
namespace MixerIn { enum : int32_t { kIn1 }; }

// "Stereo Pan".
struct StereoPanState {
  float left;
  float right;
};
QV_STATE_WORDS(StereoPanState, 2);
namespace StereoPanIn { enum : int32_t { kPan, kIn }; }

// "Stereo Amp": outputs, the two gains that Level and Pan keep, the pan and
// the level gain.
struct StereoAmpState {
  float left;
  float right;
  float gainLeft;
  float gainRight;
  float pan;
  float level;
};
QV_STATE_WORDS(StereoAmpState, 6);
namespace StereoAmpIn { enum : int32_t { kIn }; }

// "T": the one-sample delay.
struct UnitDelayState {
  float current;
  float previous;
};
QV_STATE_WORDS(UnitDelayState, 2);
namespace UnitDelayIn { enum : int32_t { kIn }; }

// "Rectifier".
struct RectifierState {
  float out;
  float sign;
};
QV_STATE_WORDS(RectifierState, 2);
namespace RectifierIn { enum : int32_t { kIn }; }

// Audio and event "Quantizer": the quantized value and its error.
struct QuantizerState {
  float out;
  float error;
};
QV_STATE_WORDS(QuantizerState, 2);
namespace AudioQuantizerIn { enum : int32_t { kIn, kStep }; }

// "Peak Detect.": the held level and the release factor (Release event).
struct PeakDetectState {
  float out;
  float release;
};
QV_STATE_WORDS(PeakDetectState, 2);
namespace PeakDetectIn { enum : int32_t { kIn }; }

// Audio "Freq. Divider".
struct FreqDividerState {
  float inputSign;
  float out;
  float polarity;
  float countUp;
  float countDown;
};
QV_STATE_WORDS(FreqDividerState, 5);
namespace AudioFreqDividerIn { enum : int32_t { kIn, kCountUp, kCountDown, kAmpl }; }

// "Differentiator": the previous input and the slope.
struct DifferentiatorState {
  float previous;
  float out;
};
QV_STATE_WORDS(DifferentiatorState, 2);
namespace DifferentiatorIn { enum : int32_t { kIn }; }

// "Sample & H.": the previous clock value and the held sample.
struct SampleHoldState {
  float previousClock;
  float out;
};
QV_STATE_WORDS(SampleHoldState, 2);
namespace SampleHoldIn { enum : int32_t { kClock, kIn }; }

// "Randomize": the output and the shift register shared through voice 0.
struct RandomizeState {
  float out;
  TWord reg;
};
QV_STATE_WORDS(RandomizeState, 2);
namespace RandomizeIn { enum : int32_t { kRange }; }

// ---------------------------------------------------------------------------
// Event modules

// Event outputs are named as the audio inputs are, each enumerator the
// output's slot among the record's event outputs. A type with a single event
// output sends it on EventOut::kOut.
namespace EventOut { enum : int32_t { kOut }; }

// Event types whose state struct is shared: "A/E", the routers, "Value"
// (OutState), the event "Quantizer" and the control shapers.
namespace AudioToEventIn { enum : int32_t { kIn }; }
// "Router 1" and "Router 2".
namespace RouterIn { enum : int32_t { kControl }; }
namespace ValueIn { enum : int32_t { kValue }; }
namespace EventQuantizerIn { enum : int32_t { kOffset, kStep }; }
namespace EventQuantizerOut { enum : int32_t { kOut, kError }; }
// "Ctrl. Shp 1" to "Ctr. Shp 3": point k (0 ... n) at kPoint0 + k.
namespace EventShaperIn { enum : int32_t { kPoint0 }; }

// "A to E Trig", "A to Gate": the last sent value and the edge flag.
struct EdgeEventState {
  float out;
  TWord edge;
};
QV_STATE_WORDS(EdgeEventState, 2);
namespace AudioToEventTrigIn { enum : int32_t { kClock, kIn }; }
namespace AudioToGateIn { enum : int32_t { kTrigger, kAmpl }; }

// "A to E Perm": the last sent value and the sampling phase.
struct SampledEventState {
  float out;
  float phase;
};
QV_STATE_WORDS(SampledEventState, 2);
namespace AudioToEventPermIn { enum : int32_t { kFreq, kIn }; }

// "Event Delay".
struct EventDelayState {
  float out;
  float elapsedMs;
  TWord pending;
  float value;
};
QV_STATE_WORDS(EventDelayState, 4);
namespace EventDelayIn { enum : int32_t { kDelay }; }

// Event "Freq. Divider": the output and the count as a float.
struct EventDividerState {
  float out;
  float count;
};
QV_STATE_WORDS(EventDividerState, 2);
namespace EventFreqDividerIn { enum : int32_t { kDivisor, kWidth }; }

// "Timer": milliseconds and frequency sent, frames counted (integer).
struct TimerState {
  float ms;
  float hz;
  TWord frames;
};
QV_STATE_WORDS(TimerState, 3);
namespace TimerOut { enum : int32_t { kTime, kFreq }; }

// "Separator": the last value sent low and high.
struct SeparatorState {
  float low;
  float high;
};
QV_STATE_WORDS(SeparatorState, 2);
namespace SeparatorIn { enum : int32_t { kThreshold }; }
namespace SeparatorOut { enum : int32_t { kLow, kHigh }; }

// "Select Max", "Select Min": voice 0's output, the voice's gate flag and
// its stored input.
struct SelectState {
  float out;
  TWord gate;
  float in;
};
QV_STATE_WORDS(SelectState, 3);

// "Clock Osc" (voice 0 only).
struct ClockOscState {
  float out;
  float phase;
  float increment;
};
QV_STATE_WORDS(ClockOscState, 3);
namespace ClockOscIn { enum : int32_t { kWidth, kAmpl }; }

// Event-to-audio and audio-to-event smoothers "S".
struct SmootherState {
  float out;
  float slope;
  float target;
};
QV_STATE_WORDS(SmootherState, 3);
// The audio-to-event "S".
namespace AudioToEventSmoothedIn { enum : int32_t { kIn }; }

// "Hold": output and elapsed seconds.
struct HoldState {
  float out;
  float elapsed;
};
QV_STATE_WORDS(HoldState, 2);
namespace HoldIn { enum : int32_t { kHold }; }

// "LFO": three outputs, phase, pulse state and sync flag.
struct LfoState {
  float sine;
  float triangle;
  float pulse;
  float phase;
  TWord pulseHigh;
  TWord sync;
};
QV_STATE_WORDS(LfoState, 6);
namespace LfoIn { enum : int32_t { kFreq, kAmpl, kWidth, kSync, kSyncPhase }; }
namespace LfoOut { enum : int32_t { kSine, kTriangle, kPulse }; }

// "Slow Random": output, shared shift register (voice 0), smoothed value.
struct SlowRandomState {
  float out;
  TWord reg;
  float smoothed;
};
QV_STATE_WORDS(SlowRandomState, 3);
namespace SlowRandomIn { enum : int32_t { kFreq, kAmpl }; }

// "Sequencer" (voice 0 only).
struct SequencerState {
  float out;
  float gate;
  float step;
  TWord clock;
  TWord reset;
  TWord next;  // input index of the next step (SequencerIn::kStep1 onwards)
};
QV_STATE_WORDS(SequencerState, 6);
// Step k (1 ... n) at kStep1 + k - 1.
namespace SequencerIn { enum : int32_t { kClock, kReset, kGateAmpl, kStep1 }; }
namespace SequencerOut { enum : int32_t { kOut, kGate, kStep }; }

// MIDI "Note": the sounding note + 1, 0 when none.
struct NoteOutState {
  TWord note;
};
QV_STATE_WORDS(NoteOutState, 1);
namespace MidiNoteOutIn { enum : int32_t { kPitch }; }

// ---------------------------------------------------------------------------
// Panel displays

// "Lmp": lit state; the input as the block loop last published it for the
// panel (the GUI thread reads that word, never the input itself).
struct LampState {
  TWord lit;
  float input;
};
QV_STATE_WORDS(LampState, 2);
namespace LampIn { enum : int32_t { kIn }; }

// "Lvl" (meter) and "Mtr": the value the display shows in word 1. "Mtr"
// reads its input from word 0, where the block loop publishes it; the level
// meter's own per-sample routine holds its peak in word 1.
struct MeterState {
  float input;
  float value;
};
QV_STATE_WORDS(MeterState, 2);
// "Mtr".
namespace MeterIn { enum : int32_t { kIn }; }

// "Lvl" (lamp): lit state, peak power, the low and high gains.
struct LevelLampState {
  TWord lit;
  float peak;
  float low;
  float high;
};
QV_STATE_WORDS(LevelLampState, 4);

// "Lvl" meter and lamp: the level whose peak both hold.
namespace LevelIn { enum : int32_t { kLevel }; }

// ---------------------------------------------------------------------------
// Oscillators: [0] the pitch input's value (frequency or ready increment),
// [1] the phase, [2] the output.

struct OscState {
  float pitch;
  float phase;
  float out;
};
QV_STATE_WORDS(OscState, 3);

// "Sawtooth", "Triangle", "Parabol", "Sine", "Impulse", "Tri/Par Symm",
// "Par PWM", "Noise", "Random" and the ramp oscillators: the amplitude only.
namespace OscIn { enum : int32_t { kAmpl }; }
// "Saw FM", "Tri FM", "Par FM", "Impulse FM".
namespace FmOscIn { enum : int32_t { kFreq, kAmpl }; }
namespace SineFmIn { enum : int32_t { kAmpl, kFreq }; }
// "Pulse", "Bi-Pulse", "Bi-Saw".
namespace WidthOscIn { enum : int32_t { kAmpl, kWidth }; }
namespace Pulse1RampIn { enum : int32_t { kFreq, kAmpl, kWidth, kSlope }; }
// The step oscillators: step k (1 ... n) at kStep1 + k - 1.
namespace StepOscIn { enum : int32_t { kAmpl, kStep1 }; }

// Oscillators with an edge-detected sync input.
struct OscSyncState {
  float pitch;
  float phase;
  float out;
  TWord sync;
};
QV_STATE_WORDS(OscSyncState, 4);

// "Saw Sync", "Tri Sync", "Par Sync", "Impulse Sync".
namespace SyncOscIn { enum : int32_t { kFreq, kAmpl, kSync, kSyncPhase }; }
namespace SineSyncIn { enum : int32_t { kAmpl, kFreq, kSync, kSyncPhase }; }

// "Triangle", "Tri FM", "Parabol", "Par FM": the sign toggles at every wrap.
struct TriangleState {
  float pitch;
  float phase;
  float out;
  float sign;
};
QV_STATE_WORDS(TriangleState, 4);

// "Saw Pulse".
struct SawPulseState {
  float pitch;
  float phase;
  float out;
  TWord held;
  float heldLevel;
};
QV_STATE_WORDS(SawPulseState, 5);
namespace SawPulseIn { enum : int32_t { kAmpl, kSlope }; }

// "Tri/Par Symm".
struct SymmOscState {
  float increment;
  float phase;
  float tri;
  float par;
  float point;
  float slope;
  float slopeRest;
  float width;
};
QV_STATE_WORDS(SymmOscState, 8);

// "Par PWM".
struct ParPwmState {
  float increment;
  float phase;
  float out;
  float width;
  float scaleLow;
  float scaleHigh;
  float offsetLow;
  float offsetHigh;
};
QV_STATE_WORDS(ParPwmState, 8);

// "Pulse", "Pulse FM": width latched per cycle and the half flag.
struct PulseState {
  float pitch;
  float phase;
  float out;
  float width;
  TWord half;
};
QV_STATE_WORDS(PulseState, 5);
namespace PulseFmIn { enum : int32_t { kAmpl, kWidth, kFreq }; }

// "Pulse Sync".
struct PulseSyncState {
  float pitch;
  float phase;
  float out;
  float width;
  TWord half;
  TWord sync;
};
QV_STATE_WORDS(PulseSyncState, 6);
namespace PulseSyncIn { enum : int32_t { kAmpl, kWidth, kFreq, kSync, kSyncPhase }; }

// "Pulse 2-Ramp".
struct Pulse2RampState {
  float pitch;
  float phase;
  float direction;
  float level;
  float out;
};
QV_STATE_WORDS(Pulse2RampState, 5);
namespace Pulse2RampIn { enum : int32_t { kFreq, kAmpl, kWidth, kUp, kDown }; }

// Ramp oscillators with N points: the point levels from word 4 and the
// slopes towards the next point from word 12, as the step events keep them.
template <int N>
struct RampOscState {
  float pitch;
  float phase;
  float out;
  TWord reserved;
  float level[8];
  float slope[N];
};
QV_STATE_WORDS(RampOscState<4>, 16);
QV_STATE_WORDS(RampOscState<8>, 20);

// "Noise": output and the shared shift register (voice 0).
struct NoiseState {
  float out;
  TWord reg;
};
QV_STATE_WORDS(NoiseState, 2);

// "Random".
struct RandomOscState {
  float pitch;
  TWord reg;
  float phase;
  float value;
  float out;
};
QV_STATE_WORDS(RandomOscState, 5);

// ---------------------------------------------------------------------------
// Envelopes

// Gate-driven envelopes with one decay.
struct GateEnvState {
  float out;
  float decay;
  float release;
  float attackUnit;  // attack step for a peak of 1
  float sustain;     // sustain fraction
  float sustainLevel;
  float peak;
  float attackStep;
  float decayPart;
  TWord stage;  // 0 release, 1 decay, 2 second decay, 3 attack
};
QV_STATE_WORDS(GateEnvState, 10);

// Gate-driven envelopes with a knee between two decays.
struct KneeEnvState {
  float out;
  float decay;
  float release;
  float attackUnit;
  float sustain;
  float sustainLevel;
  float peak;
  float attackStep;
  float decayPart;
  TWord stage;
  float knee;
  float kneeStep;
  float kneeRate;
  float kneeFraction;
};
QV_STATE_WORDS(KneeEnvState, 14);

// "H - Env".
struct HoldEnvState {
  float out;
  TWord counter;
  TWord edge;
  TWord reserved;
  TWord holdFrames;
};
QV_STATE_WORDS(HoldEnvState, 5);

// "H - Env", "HR - Env", "D - Env", "AD - Env".
namespace TriggeredEnvIn { enum : int32_t { kTrigger, kAmpl }; }

// "HR - Env".
struct HoldReleaseEnvState {
  float out;
  TWord counter;
  float release;
  float level;
  TWord holdFrames;
  TWord edge;
};
QV_STATE_WORDS(HoldReleaseEnvState, 6);

// "D - Env".
struct DecayEnvState {
  float out;
  float decay;
  TWord edge;
  float level;
};
QV_STATE_WORDS(DecayEnvState, 4);

// "AD - Env".
struct AttackDecayEnvState {
  float out;
  float decay;
  TWord edge;
  float attackStep;
  TWord attacking;
  float level;
};
QV_STATE_WORDS(AttackDecayEnvState, 6);

// Multi-ramp envelopes with M ramps before the release.
template <int M>
struct RampEnvState {
  TWord stage;
  float level;
  float slope;
  float target;
  float peak;
  float releaseRate;
  struct {
    float rate;
    float level;
  } ramp[M];
};
QV_STATE_WORDS(RampEnvState<3>, 12);
QV_STATE_WORDS(RampEnvState<4>, 14);
QV_STATE_WORDS(RampEnvState<5>, 16);

// ---------------------------------------------------------------------------
// Filters and equalisers. Cutoff types with an F input keep the frequency in
// word 0; the grid types keep the ready coefficient there and the grid place
// of the cutoff and resonance in words 5 to 8.

struct OnePoleState {
  float cutoff;
  float hp;
  float lp;
};
QV_STATE_WORDS(OnePoleState, 3);

// The filters and equalisers with an F input ("1-Pole Filter", "2-Pole
// Filter", "2-Pole Notch", "4-Pole Filter", "4-Pole HP", "Peak EQ", "Hi Shelf
// EQ", "Lo Shelf EQ" of the linear-cutoff kind) and those without.
namespace FilterFmIn { enum : int32_t { kIn, kFreq }; }
namespace FilterIn { enum : int32_t { kIn }; }

struct SvfState {
  float cutoff;
  float hp;
  float bp;
  float lp;
  float damping;
  float limit;
};
QV_STATE_WORDS(SvfState, 6);

struct NotchState {
  float cutoff;
  float hp;
  float bp;
  float lp;
  float damping;
  float limit;
  float notch;
};
QV_STATE_WORDS(NotchState, 7);

// "4-Pole Filter" and "4-Pole HP": the second section runs on the first
// one's low pass or high pass and keeps its high, band and low pass in words
// 6 to 8 (labelled BP4, BL4, LP4 and HP4, BH4, BP4).
struct Svf4State {
  float cutoff;
  float hp2;
  float bp2;
  float lp2;
  float damping;
  float limit;
  float secondHp;
  float secondBp;
  float secondLp;
};
QV_STATE_WORDS(Svf4State, 9);

// Where the cutoff and resonance events place the filter on the correction
// grids (words 5 to 8 of every grid filter).
struct FilterGrid {
  float column;
  float columnFraction;
  float row11;  // eleven times the row
  float rowFraction;
};

struct GridSvfState {
  float coeff;
  float hp;
  float bp;
  float lp;
  float damping;
  FilterGrid grid;
};
QV_STATE_WORDS(GridSvfState, 9);

struct GridNotchState {
  GridSvfState svf;
  float notch;
};
QV_STATE_WORDS(GridNotchState, 10);

// Grid versions of the 4-pole low-pass and high-pass filters: the second
// section in words 9 to 11.
struct GridSvf4State {
  GridSvfState first;
  float secondHp;
  float secondBp;
  float secondLp;
};
QV_STATE_WORDS(GridSvf4State, 12);

struct PeakEqState {
  float cutoff;
  float low;
  float band;
  float boost;
  float damping;
  float limit;
  float out;
};
QV_STATE_WORDS(PeakEqState, 7);

struct GridPeakEqState {
  float coeff;
  float low;
  float band;
  float boost;
  float damping;
  FilterGrid grid;
  float out;
};
QV_STATE_WORDS(GridPeakEqState, 10);

struct HiShelfState {
  float cutoff;
  float boost;
  float lp;
  float out;
  float scale;
  float limit;
  float coeff;
};
QV_STATE_WORDS(HiShelfState, 7);

struct LoShelfState {
  float cutoff;
  float lp;
  float out;
  float boost;
  float scale;
  float limit;
  float coeff;
};
QV_STATE_WORDS(LoShelfState, 7);

// ---------------------------------------------------------------------------
// Panel and MIDI sources (their handlers write word 0 and send it)

struct SourceState {
  float out;
};
QV_STATE_WORDS(SourceState, 1);

// "ST Gate" (held voice, -1.0 when none) and mono "Gate" (remembered voice).
struct GateSourceState {
  float out;
  TWord voice;
};
QV_STATE_WORDS(GateSourceState, 2);

// "Sync": output and the tick count.
struct SyncSourceState {
  float out;
  TWord ticks;
};
QV_STATE_WORDS(SyncSourceState, 2);

// "Spread": the voice's offset, its unison rank and, in voice 0, the spread.
struct SpreadState {
  float offset;
  float rank;
  float spread;
};
QV_STATE_WORDS(SpreadState, 3);

// ---------------------------------------------------------------------------
// Driver modules

// "Audio In": the two channel outputs and the driver routine's own words.
struct AudioInState {
  float left;
  float right;
  TWord reserved[4];
};
QV_STATE_WORDS(AudioInState, 6);

// "Audio Out" with N channels: the master gain, then three history words
// per channel.
template <int N>
struct AudioOutState {
  float master;
  struct {
    float history[3];
  } channel[N];
};
QV_STATE_WORDS(AudioOutState<1>, 4);
QV_STATE_WORDS(AudioOutState<2>, 7);
QV_STATE_WORDS(AudioOutState<8>, 25);

// ---------------------------------------------------------------------------
// Sample players

// The output pair of a player; "held" is the value at the last trigger or
// stop, decaying towards 0, added to the new signal so a retrigger never jumps.
struct DeclickOutput {
  float currentLeft;
  float currentRight;
  float heldLeft;
  float heldRight;
};
QV_STATE_WORDS(DeclickOutput, 4);

// The part of a player that sample players and grain players share.
struct PlayerCore {
  int32_t length;      // frames of the attached sample; 1 when none
  float framesPerMs;   // sample rate x 0.001; 1.0 when none
  DeclickOutput out;
  float pitch;         // last pitch in semitones
  int32_t backward;    // playback starts from the end
  IAudioFileMap* source;
  IAudioFileMapEntry* entry;
  float fraction;      // 0 <= fraction < 1 after each step
  int32_t position;
  float signedStep;
  float baseStep;
  float ratio;
  float increment;
  int32_t direction;   // +1 forward, -1 backward, 0 stopped
  int32_t reserved;
};
static_assert(offsetof(PlayerCore, out) == 8, "the output pair follows length and rate");
static_assert(sizeof(PlayerCore) % 8 == 0, "player records keep pointer alignment");

struct SamplePlayerState {
  PlayerCore core;
  int32_t loopOn;
  int32_t alternate;
  int32_t oscillatorMode;
  int32_t loopStart;
  int32_t loopEnd;
  float gate;
  int32_t loopInRelease;
  int32_t reserved;
};
static_assert(sizeof(SamplePlayerState) % 8 == 0, "player records keep pointer alignment");

struct GrainPlayerState {
  PlayerCore core;
  const float* left;
  const float* right;
  float gainLeft;
  float gainRight;
  float absolutePosition;
  int32_t windowOffset;
  int32_t windowLength;
  float key;
  int32_t continues;
  int32_t reserved;
};
static_assert(sizeof(GrainPlayerState) % 8 == 0, "player records keep pointer alignment");

// Bookkeeping in front of every sampler-family voice: one word per event
// output and how the voice reaches its destinations.
struct VoiceEventHeader {
  TWord eventOut[4];
  int32_t voice;
  int32_t reserved;
  TEngineRecord* record;
};
QV_STATE_WORDS(VoiceEventHeader, 8);

// "Sampler", "Sampler FM", "Sampler Loop", "Lookup" (and "Demux", whose
// set-up is the sampler family's base voice set-up).
struct SampleVoiceState {
  VoiceEventHeader header;
  SamplePlayerState player;
  float key;
  int32_t reserved;
  const float* left;
  const float* right;
};
static_assert(QV_WORD_AT(SampleVoiceState, player.core.out.currentLeft) == 10,
              "sampler outputs stay at words 10 and 11");

// "Resynth" and "Pitch Former".
struct ResynthVoiceState {
  VoiceEventHeader header;
  SamplePlayerState main;
  GrainPlayerState grainA;
  GrainPlayerState grainB;
  float sampleGain;
  float phase;
  float phaseIncrement;
  int32_t countdown;  // -1 stopped
  float carriedFraction;
  float key;
  int32_t analysis;
  int32_t reserved;
};
static_assert(QV_WORD_AT(ResynthVoiceState, main.core.out.currentLeft) == 10,
              "re-synthesis outputs stay at words 10 and 11");

// "Beat Loop".
struct BeatLoopVoiceState {
  ResynthVoiceState common;
  float framesPerSixteenth;
  int32_t sixteenthCount;
  int32_t sixteenthIndex;
  int32_t tickInterval;
  int32_t tickCount;
  float phase;
  float phaseLimit;
  int32_t framesSinceTick;
};
static_assert(QV_WORD_AT(BeatLoopVoiceState, common.main.core.out.currentLeft) == 10,
              "beat-loop outputs stay at words 10 and 11");

// Audio inputs of the sampler family, by position in the input-pointer array.
// Index 1 is the frequency input of the samplers and the position input of
// "Lookup"; the re-synthesis types leave it free.
struct SampleInputs {
  const float* ampl;
  const float* freq;
  const float* start;
  const float* select;
  const float* loopStart;
  const float* loopLength;
  const float* pitch;
  const float* speed;
  const float* grainy;
  const float* sampleOffset;
  const float* smooth;
  const float* pan;
  const float* formants;
};

// Event outputs of the sampler family. "Sampler FM", "Sampler Loop" and
// "Lookup" send the sample length; "Sampler" has no event output.
namespace SamplerOut { enum : int32_t { kLength }; }
namespace ResynthOut { enum : int32_t { kLength, kPosition }; }
// "Beat Loop": the length in ms and in sixteenths, the sixteenth it plays
// and the sixteenths played.
namespace BeatLoopOut { enum : int32_t { kLength, kLength16, kPosition16, kCount16 }; }
static_assert(int32_t(BeatLoopOut::kLength) == int32_t(ResynthOut::kLength),
              "the re-synthesis types send the length alike");
static_assert(BeatLoopOut::kCount16 < int32_t(sizeof(VoiceEventHeader::eventOut) / sizeof(TWord)),
              "every event output of the sampler family has its word in the header");

// ---------------------------------------------------------------------------
// Delays, buffer readers, tape decks, scope

// "Static Delay", "Mod. Delay", "Diffuser Delay".
struct DelayVoiceState {
  float delay;          // ms that placed the read pointer
  TWord lengthOrGain;   // "Mod. Delay": line length (int); "Diffuser Delay": g
  int32_t reserved;
  float output;
  IDelayBuffer* buffer;
  float* begin;
  float* end;
  float* read;
  float* write;
};
static_assert(QV_WORD_AT(DelayVoiceState, output) == 3, "delay output stays at word 3");

struct DelayInputs {
  const float* in;
  const float* delay;
};
// "Static Delay" keeps five input pointers per voice: the audio input and
// four the routine reserves for its own feeds.
struct StaticDelayInputs {
  const float* in;
  const float* feed[4];
};

// "Grain Delay".
struct GrainTap {
  int32_t position;
  float fraction;
  float increment;
  float gainLeft;
  float gainRight;
  int32_t bound;
};

struct GrainDelayVoiceState {
  GrainTap current;
  GrainTap previous;
  float phase;
  float phaseIncrement;
  float left;
  float right;
  float period;
  uint32_t writeCounter;
  uint32_t mask;
  float framesPerMs;
  int32_t lineLength;
  int32_t reserved;
  IDelayBuffer* buffer;
  float* begin;
  float* end;
};
static_assert(QV_WORD_AT(GrainDelayVoiceState, left) == 14, "grain delay outputs stay at 14, 15");

struct GrainDelayInputs {
  const float* in;
  const float* pitch;
  const float* delay;
  const float* grainy;
  const float* smooth;
  const float* pan;
  const float* ampl;
};
namespace GrainDelayOut { enum : int32_t { kDelay }; }

// "Tapedeck 1".
struct TapedeckVoiceState {
  float output;
  int32_t loop;
  IRecordBuffer* buffer;
  int16_t* begin;
  int16_t* end;
  int16_t* recordedEnd;  // null: nothing recorded
  int16_t* play;         // null: not playing
  int16_t* record;       // null: not recording
};
static_assert(QV_WORD_AT(TapedeckVoiceState, output) == 0, "tape deck output stays at word 0");

// "Tapedeck 2": interleaved left/right 16-bit pairs.
struct StereoTapedeckVoiceState {
  IRecordBuffer* buffer;
  int16_t* begin;
  int16_t* end;
  int16_t* recordedEnd;
  float left;
  float right;
  int16_t* play;
  int16_t* record;
  int32_t loop;
  int32_t reserved;
};
static_assert(QV_WORD_AT(StereoTapedeckVoiceState, left) == 8, "tape deck outputs stay at 8, 9");

struct TapedeckInputs {
  const float* left;
  const float* right;
};

// "Scope".
struct ScopeVoiceState {
  float firstTime;   // frames
  float secondTime;  // frames
  float offset;      // vertical offset
  float scale;       // vertical scale, 0 when the range is 0
  IDelayBuffer* buffer;
  float* begin;
  float* end;
  float* mark;
  float* ready;
  float* capture;
};

struct ScopeInputs {
  const float* in;
};

// "Demux": the length input, then the sixteen values.
struct DemuxInputs {
  const float* length;
  const float* value[16];
};
namespace DemuxOut { enum : int32_t { kStep, kBar, kOut }; }
