// Oscillators, noise and the routine tables, run through the offline driver.
#include "tests/engine/routine_rig.h"
#include "src/engine/routine_registry.h"
#include "src/engine/sampler_routines.h"

#include "src/engine/convert.h"
#include "src/engine/graph_render.h"
#include "src/engine/tables.h"
#include "src/engine/voice_state.h"
#include "src/mod/modul_def.h"

#include <algorithm>
#include <cmath>
#include <set>

using rig::TRig;

namespace {

constexpr float kRate = 44100.0f;

// Tests that run several oscillator types alike name the pitch, phase and
// output words through OscState: every type they run keeps them there.
template <typename State>
constexpr bool SharesOscWords() {
  return QV_WORD_AT(State, pitch) == QV_WORD_AT(OscState, pitch) &&
         QV_WORD_AT(State, phase) == QV_WORD_AT(OscState, phase) &&
         QV_WORD_AT(State, out) == QV_WORD_AT(OscState, out);
}
static_assert(SharesOscWords<OscSyncState>() && SharesOscWords<PulseState>() && SharesOscWords<PulseSyncState>() &&
              SharesOscWords<RampOscState<4>>());

int32_t ZeroCrossings(const std::vector<float>& s) {
  int32_t n = 0;
  for (size_t i = 1; i < s.size(); ++i)
    if ((s[i - 1] < 0.0f) != (s[i] < 0.0f)) ++n;
  return n;
}

double Mean(const std::vector<float>& s, size_t from, size_t to) {
  double sum = 0.0;
  for (size_t i = from; i < to; ++i) sum += s[i];
  return sum / double(to - from);
}

bool AllFinite(const std::vector<float>& s) {
  return std::all_of(s.begin(), s.end(), [](float v) { return std::isfinite(v); });
}

// Frames at which the signal crosses a level upward (or downward): one per
// cycle for the waveforms below.
std::vector<size_t> Crossings(const std::vector<float>& s, float level, bool upward) {
  std::vector<size_t> at;
  for (size_t i = 1; i < s.size(); ++i) {
    const bool below = s[i - 1] < level, nowBelow = s[i] < level;
    if (upward ? (below && !nowBelow) : (!below && nowBelow)) at.push_back(i);
  }
  return at;
}

// The type indexes of the types (each table is keyed by the index alone).
std::set<int32_t> Indexes(std::initializer_list<TModuleType> types) {
  std::set<int32_t> indexes;
  for (TModuleType t : types) indexes.insert(t.type);
  return indexes;
}

} // namespace

TEST(AudioRoutineTable, EveryOrdinaryTypeHasARoutineExceptTheEventOnlyOnes) {
  // The event-only types, and two indexes that name no type at all.
  std::set<int32_t> none = Indexes({kTypeEventSum3, kTypeEventSum2, kTypeEventInvert, kTypeEventProduct3,
                                    kTypeEventProduct2, kTypeOldSawtooth, kTypeEventShaper3, kTypeEventShaper4,
                                    kTypeEventShaper5, kTypeRandomize, kTypeEventVoiceCombiner, kTypeSelectMax,
                                    kTypeSelectMin, kTypeChangesOnly, kTypeEventLevelToGain, kTypeOldAudioOutA,
                                    kTypeOldAudioOutB, kTypeOldAudioOutC, kTypeEventSum4, kTypeEventSum6,
                                    kTypeEventProduct4, kTypeEventReciprocal, kTypeEventDivide, kTypeEventPitchToHz,
                                    kTypeEventGainToLevel, kTypeEventHzToPitch, kTypeEventFreqDivider,
                                    kTypeEventQuantizer, kTypeRouter1, kTypeRouter2, kTypeSeparator, kTypeComment,
                                    kTypeLamp, kTypeLampTwin, kTypeMeter, kTypeMidiControllerOut,
                                    kTypeMidiPolyPressureOut, kTypeMidiNoteOut, kTypeMidiPitchBendOut,
                                    kTypeAudioToEventSmoothed, kTypeValue, kTypeAccumulator, kTypeCounter,
                                    kTypeMidiProgramChangeOut, kTypeMidiChannelPressureOut, kTypeAnd, kTypeOr,
                                    kTypeExor, kTypeNot, kTypeLfo, kTypeAudioToEvent, kTypeSlowRandom, kTypeDemux,
                                    kTypeHold});
  none.insert({195, 196});
  ASSERT_EQ(none.size(), 56u);
  // Served by the driver, the sample players, delays, tape decks and the scope.
  const std::set<int32_t> elsewhere = Indexes({kTypeAudioIn, kTypeAudioOut, kTypeStaticDelay, kTypeTapedeck1,
                                               kTypeTapedeck2, kTypeModDelay, kTypeSampler, kTypeSamplerFm,
                                               kTypeSamplerLoop, kTypeSampleLookup, kTypeScope, kTypeDiffuserDelay,
                                               kTypeGrainDelay, kTypeBeatLoop, kTypeResynth, kTypePitchFormer});
  for (int32_t type = 0; type < kModuleTypeCount; ++type) {
    if (elsewhere.count(type)) continue;
    EXPECT_EQ(FindAudioRoutine(0, type) != nullptr, none.count(type) == 0)
        << "type " << type << (none.count(type) ? " has a per-sample routine: take it off the list above"
                                                : " has no per-sample routine");
  }
  EXPECT_EQ(FindAudioRoutine(kCatModule, kTypeLevelMeter.type), FindAudioRoutine(kCatModule, kTypeLevelLamp.type))
      << "both level meters share one routine";
  EXPECT_EQ(FindAudioRoutine(1, 15), nullptr) << "other categories have no per-sample routine";
  EXPECT_EQ(FindAudioRoutine(0, kModuleTypeCount), nullptr);
}

TEST(AudioRoutineTable, ControlClockDisplayAndGraphTablesServeTheirTypes) {
  std::set<int32_t> control, clock, display, graph;
  for (int32_t type = 0; type < kModuleTypeCount; ++type) {
    if (FindControlRateRoutine(0, type)) control.insert(type);
    if (FindDisplayUpdateRoutine(0, type)) display.insert(type);
    if (GetGraphRenderer(0, type)) graph.insert(type);
  }
  for (int32_t type = 0; type < kSourceTypeCount; ++type)
    if (FindClockTickRoutine(1, type)) clock.insert(type);
  EXPECT_EQ(control, Indexes({kTypeAudioToEventSmoothed, kTypeLfo, kTypeAudioToEvent, kTypeSlowRandom, kTypeHold}));
  EXPECT_EQ(clock, Indexes({kTypeClockTick, kTypeClockSync}));
  const std::set<int32_t> graphs = Indexes({kTypeHoldEnv, kTypeHoldReleaseEnv, kTypeAttackReleaseEnv, kTypeDecayEnv,
                                            kTypeDecayReleaseEnv, kTypeDsrEnv, kTypeAdsrEnv, kTypeAdbdrEnv,
                                            kTypeOnePoleFilterFm, kTypeTwoPoleFilterFm, kTypeFourPoleFilterFm,
                                            kTypePeakEqFm, kTypeHiShelfEqFm, kTypeLoShelfEqFm, kTypeTwoPoleNotchFm,
                                            kTypeEventShaper3, kTypeEventShaper4, kTypeShaper1Bp, kTypeShaper2Bp,
                                            kTypeShaper3Bp, kTypeEventShaper5, kTypeParabolShaper, kTypeCubicShaper,
                                            kTypeDbdrEnv, kTypeAdbdsrEnv, kTypeFourPoleHighPassFm, kTypeAttackDecayEnv,
                                            kTypeFourPoleFilter, kTypeFourPoleHighPass, kTypeOnePoleFilter, kTypeScope,
                                            kTypeTwoPoleFilter, kTypeTwoPoleNotch, kTypePeakEq, kTypeHiShelfEq,
                                            kTypeLoShelfEq, kTypeRamp4Env, kTypeRamp5Env, kTypeRamp6Env, kTypeDbdsrEnv,
                                            kTypeAdrEnv});
  std::set<int32_t> displays = graphs;
  for (TModuleType t : {kTypeLamp, kTypeLampTwin, kTypeLevelMeter, kTypeMeter, kTypeLevelLamp}) displays.insert(t.type);
  EXPECT_EQ(display, displays);
  EXPECT_EQ(graph, graphs);
  std::set<int32_t> watch;
  for (int32_t type = 0; type < kModuleTypeCount; ++type)
    if (FindDisplayWatchRoutine(0, type)) watch.insert(type);
  EXPECT_EQ(watch, Indexes({kTypeLamp, kTypeLampTwin, kTypeMeter}))
      << "the displays whose display routine looks at their input; level displays hold their own peak";
  EXPECT_EQ(FindDisplayWatchRoutine(kCatSource, kTypeLamp.type), nullptr);
  EXPECT_EQ(FindControlRateRoutine(kCatSource, kTypeLfo.type), nullptr);
  EXPECT_EQ(FindClockTickRoutine(kCatModule, kTypeClockTick.type), nullptr);
}

TEST(Oscillators, SineAtPitch69Gives440HzAndFollowsTheSine) {
  TRig r;
  KSModul* osc = r.Add(kTypeSine);
  r.Feed(osc, "A");
  r.Listen(osc, "Out");
  r.Ready();
  const float inc = 256.0f * PitchToHz(69.0f) / kRate;  // what the pitch event stores
  r.Words(osc)[QV_WORD_AT(OscState, pitch)].f = inc;
  const std::vector<float> out = r.Render(44100, std::vector<float>(44100, 1.0f));
  const int32_t crossings = ZeroCrossings(out);
  EXPECT_GE(crossings, 879);
  EXPECT_LE(crossings, 881);
  // Against the sine of the phase the oscillator accumulates (in 32-bit
  // floats, wrapping at 256): what is left is the table's error.
  double worst = 0.0;
  float phase = 0.0f;
  for (size_t n = 0; n < out.size(); ++n) {
    phase += inc;
    if (phase >= 256.0f) phase -= 256.0f;
    worst = std::max(worst, std::fabs(double(out[n]) - std::sin(double(phase) * 6.283185307179586 / 256.0)));
  }
  EXPECT_LT(worst, 3e-4);
}

TEST(Oscillators, UndefinedPhaseOrFrequencyNeverReadsOutsideTheTable) {
  TRig r;
  KSModul* sine = r.Add(kTypeSine);
  KSModul* fm = r.Add(kTypeSineFm);
  KSModul* steps = r.Add(kTypeStep4);
  KSModul* ramps = r.Add(kTypeRamp4);
  KSModul* mix = r.Add(kTypeAudioSum4);
  r.WireAt(sine, "Out", mix, 0);
  r.WireAt(fm, "Out", mix, 1);
  r.WireAt(steps, "Out", mix, 2);
  r.WireAt(ramps, "Out", mix, 3);
  r.Listen(mix, "");
  r.Ready();
  const float nan = std::nanf("");
  for (KSModul* m : {sine, fm, steps, ramps}) {
    r.Constant(m, "A", 1.0f);
    r.Words(m)[QV_WORD_AT(OscState, pitch)].f = nan;
    r.Words(m)[QV_WORD_AT(OscState, phase)].f = nan;
  }
  r.Constant(fm, "F", nan);
  const std::vector<float> out = r.Render(64);
  EXPECT_TRUE(AllFinite(out));
  // Once the pitch is sound again the sine runs from phase 0.
  r.Words(sine)[QV_WORD_AT(OscState, pitch)].f = 2.0f;
  r.Render(1);
  EXPECT_FLOAT_EQ(r.Words(sine)[QV_WORD_AT(OscState, phase)].f, 2.0f);
}

// Oscillators with a frequency input: the period over a second of output.
struct TPeriodCase;
std::ostream& operator<<(std::ostream& os, const TPeriodCase& c);
struct TPeriodCase {
  TModuleType type;
  const char* freqInput;
  float hz;         // on the F input; negative runs the mirror image
  float level;      // crossed once per cycle
  bool upward;
  bool zeroMean;
};

std::ostream& operator<<(std::ostream& os, const TPeriodCase& c) {
  return os << "type " << c.type.type << " at " << c.hz;
}

class FmPeriod : public ::testing::TestWithParam<TPeriodCase> {};

TEST_P(FmPeriod, PeriodIsTheSampleRateOverTheFrequency) {
  const TPeriodCase& c = GetParam();
  TRig r;
  KSModul* osc = r.Solo(c.type, "Out");
  r.Words(osc)[QV_WORD_AT(OscState, pitch)].f = 0.0f;  // no pitch: the F input alone sets the frequency
  r.Constant(osc, "A", 1.0f);
  r.Constant(osc, c.freqInput, c.hz);
  if (c.type == kTypePulseFm) r.Constant(osc, "W", 0.3f);
  const std::vector<float> out = r.Render(44100);
  ASSERT_TRUE(AllFinite(out));
  const std::vector<size_t> at = Crossings(out, c.level, c.upward);
  ASSERT_GT(at.size(), 100u);
  const double period = kRate / std::fabs(c.hz);
  for (size_t k = 1; k < at.size(); ++k)
    ASSERT_NEAR(double(at[k] - at[k - 1]), period, 1.0) << "cycle " << k;
  if (c.zeroMean) {
    EXPECT_LT(std::fabs(Mean(out, at.front(), at.back())), 5e-3);
  }
}

INSTANTIATE_TEST_SUITE_P(Oscillators, FmPeriod,
                         ::testing::Values(TPeriodCase{kTypeSawFm, "F", 440.0f, 0.0f, false, false},
                                           TPeriodCase{kTypeSawFm, "F", -440.0f, 0.0f, true, false},
                                           TPeriodCase{kTypePulseFm, "F", 440.0f, 0.3f, true, true},
                                           TPeriodCase{kTypePulseFm, "F", -440.0f, 0.3f, true, true},
                                           TPeriodCase{kTypeImpulseFm, "F", 440.0f, 1.0f, true, true},
                                           TPeriodCase{kTypeImpulseFm, "F", -440.0f, 1.0f, true, true}));

TEST(Oscillators, PulseAndImpulseAtAReadyIncrementHaveZeroMean) {
  for (TModuleType type : {kTypePulse, kTypeImpulse}) {
    TRig r;
    KSModul* osc = r.Solo(type, "Out");
    r.Constant(osc, "A", 1.0f);
    if (type == kTypePulse) r.Constant(osc, "W", -0.4f);
    r.Words(osc)[QV_WORD_AT(OscState, pitch)].f = 2.0f * 300.0f / kRate;
    const std::vector<float> out = r.Render(44100);
    const std::vector<size_t> at = Crossings(out, type == kTypePulse ? -0.4f : 1.0f, true);
    ASSERT_GT(at.size(), 100u) << type.type;
    EXPECT_LT(std::fabs(Mean(out, at.front(), at.back())), 5e-3) << type.type;
  }
}

TEST(Oscillators, AboveHalfTheSampleRateTheyAreSilent) {
  for (TModuleType type : {kTypeSawFm, kTypePulseFm, kTypeImpulseFm}) {
    for (float hz : {30000.0f, -30000.0f}) {
      TRig r;
      KSModul* osc = r.Solo(type, "Out");
      r.Constant(osc, "A", 1.0f);
      r.Constant(osc, "F", hz);
      const std::vector<float> out = r.Render(512);
      EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](float v) { return v == 0.0f; }))
          << "type " << type.type << " at " << hz;
      EXPECT_EQ(r.Words(osc)[QV_WORD_AT(OscState, phase)].f, 0.0f) << "the phase stays at 0";
    }
  }
}

// An increment of 0 (the frequency input cancelling the pitch) must never
// divide by it: the saw holds phase x A, the pulse holds its output, the
// impulse trains give 0 and hold the phase.
TEST(Oscillators, AZeroIncrementHoldsWithoutDividingByIt) {
  struct TCase {
    TModuleType type;
    float phase;
    float expected;  // output with A = 1 (NAN: the output before the stop)
  };
  const TCase cases[] = {{kTypeSawFm, -1.0f, -1.0f},   {kTypeSawFm, 0.25f, 0.25f},     {kTypePulseFm, 1.0f, NAN},
                         {kTypePulseFm, -1.0f, NAN},    {kTypePulseSync, 0.5f, NAN},    {kTypeImpulseFm, 1.0f, 0.0f},
                         {kTypeImpulseFm, -1.0f, 0.0f}, {kTypeImpulseSync, -1.0f, 0.0f}};
  for (const TCase& c : cases) {
    TRig r;
    KSModul* osc = r.Solo(c.type, "Out");
    r.Constant(osc, "A", 1.0f);
    r.Words(osc)[QV_WORD_AT(OscState, pitch)].f = 100.0f;
    float& f = r.Constant(osc, "F", 0.0f);
    r.Render(50);
    f = -100.0f;  // cancels the pitch: increment exactly 0
    r.Words(osc)[QV_WORD_AT(OscState, phase)].f = c.phase;
    const float before = r.Words(osc)[QV_WORD_AT(OscState, out)].f;
    const std::vector<float> out = r.Render(8);
    for (float v : out) {
      ASSERT_TRUE(std::isfinite(v)) << "type " << c.type.type;
      EXPECT_FLOAT_EQ(v, std::isnan(c.expected) ? before : c.expected) << "type " << c.type.type;
    }
    EXPECT_EQ(r.Words(osc)[QV_WORD_AT(OscState, phase)].f, c.phase) << "type " << c.type.type << " holds its phase";
  }
}

TEST(Oscillators, ImpulseSyncToTheLowerWrapAtZeroIncrementGivesNoNaN) {
  TRig r;
  KSModul* osc = r.Solo(kTypeImpulseSync, "Out");
  r.Constant(osc, "A", 1.0f);
  r.Words(osc)[QV_WORD_AT(OscSyncState, pitch)].f = 0.0f;       // no pitch, no F: an increment of 0
  r.Constant(osc, "Ph", -2.0f);  // a sync puts the phase at -1
  float& sync = r.Constant(osc, "Snc", 0.0f);
  r.Render(4);
  sync = 1.0f;
  const std::vector<float> out = r.Render(4);
  EXPECT_TRUE(AllFinite(out));
  EXPECT_EQ(r.Words(osc)[QV_WORD_AT(OscSyncState, phase)].f, -1.0f);
}

TEST(Oscillators, ImpulseFmAtAnIncrementOfExactlyMinusOneIsNotSilenced) {
  TRig r;
  KSModul* osc = r.Solo(kTypeImpulseFm, "Out");
  r.Constant(osc, "A", 1.0f);
  r.Constant(osc, "F", -kRate / 2.0f);
  const std::vector<float> out = r.Render(16);
  EXPECT_TRUE(std::any_of(out.begin(), out.end(), [](float v) { return v != 0.0f; }));
  EXPECT_TRUE(AllFinite(out));
}

TEST(Oscillators, ASyncHeldHighActsOnceAndAgainOnlyAfterGoingLow) {
  TRig r;
  KSModul* osc = r.Add(kTypeSawSync);  // "Saw Sync"
  r.Listen(osc, "Out");
  r.Ready();
  r.Constant(osc, "A", 1.0f);
  r.Words(osc)[QV_WORD_AT(OscSyncState, pitch)].f = 0.0f;
  r.Constant(osc, "F", 441.0f);  // increment 0.02
  r.Constant(osc, "Ph", 0.5f);
  float& sync = r.Constant(osc, "Snc", 1.0f);
  r.Render(1);
  EXPECT_FLOAT_EQ(r.Words(osc)[QV_WORD_AT(OscSyncState, phase)].f, 0.5f) << "the first high sample sets the phase";
  r.Render(10);
  EXPECT_NEAR(r.Words(osc)[QV_WORD_AT(OscSyncState, phase)].f, 0.7f, 1e-5) << "held high, the phase runs on";
  sync = 0.0f;
  r.Render(1);
  sync = 1.0f;
  r.Render(1);
  EXPECT_FLOAT_EQ(r.Words(osc)[QV_WORD_AT(OscSyncState, phase)].f, 0.5f) << "a new edge syncs again";
}

TEST(Oscillators, TriangleAndParabolaRunWithoutAJumpFromTheStart) {
  for (TModuleType type : {kTypeTriangle, kTypeParabol}) {
    TRig r;
    KSModul* osc = r.Solo(type, "Out");
    r.Constant(osc, "A", 1.0f);
    const float inc = 4.0f * 441.0f / kRate;
    r.Words(osc)[QV_WORD_AT(TriangleState, pitch)].f = inc;
    const std::vector<float> out = r.Render(1000);
    float largest = 0.0f;
    for (size_t i = 1; i < out.size(); ++i) largest = std::max(largest, std::fabs(out[i] - out[i - 1]));
    EXPECT_LE(largest, 2.0f * inc + 1e-5f) << "type " << type.type;
    EXPECT_NEAR(*std::max_element(out.begin(), out.end()), 1.0f, 0.05f) << "type " << type.type;
  }
}

TEST(Noise, TheFirst32BitsFollowTheSeed) {
  TRig r;
  KSModul* noise = r.Solo(kTypeNoise, "Out");
  r.Constant(noise, "A", 1.0f);
  r.Words(noise)[QV_WORD_AT(NoiseState, reg)].u = 0xAFAA5505u;  // the seed set-up puts there
  const std::vector<float> out = r.Render(32);
  std::string bits;
  for (float v : out) {
    ASSERT_EQ(std::fabs(v), 0.5f);
    bits += v > 0.0f ? '1' : '0';
  }
  EXPECT_EQ(bits, "01000001010101001010101111101011");
}

TEST(Noise, VoicesTakeTurnsOnOneSharedRegisterAndItNeverLocksUp) {
  TRig r(kRate, 2);
  KSModul* noise = r.Add(kTypeNoise);
  KSModul* sum = r.Add(kTypeAudioVoiceCombiner);  // all voices into the one-voice output
  r.Wire(noise, "Out", sum, "In");
  r.Listen(sum, "Out");
  r.Ready();
  r.Constant(noise, "A", 1.0f);
  EXPECT_EQ(r.Words(noise, 0)[QV_WORD_AT(NoiseState, reg)].u, 0xAFAA5505u) << "set-up seeds the register";
  std::string bits;
  for (int i = 0; i < 16; ++i) {
    r.Render(1);
    bits += r.Words(noise, 0)[QV_WORD_AT(NoiseState, out)].f > 0.0f ? '1' : '0';
    bits += r.Words(noise, 1)[QV_WORD_AT(NoiseState, out)].f > 0.0f ? '1' : '0';
  }
  EXPECT_EQ(bits, "01000001010101001010101111101011");
  // Over many samples both levels keep coming (an arithmetic shift would
  // settle on one of them).
  r.Render(5000);
  int ones = 0;
  for (int i = 0; i < 2000; ++i) {
    r.Render(1);
    ones += r.Words(noise, 0)[QV_WORD_AT(NoiseState, out)].f > 0.0f;
  }
  EXPECT_GT(ones, 800);
  EXPECT_LT(ones, 1200);
}

// Every per-sample and control-rate routine, on a record sized by the
// catalogue, fed with hostile input values: nothing may read or write
// outside its record or take an undefined conversion (the sanitizers watch).
TEST(AudioRoutineTable, EveryRoutineStaysInsideItsRecordWhateverItsInputs) {
  testhost::THost host;
  host.Top()->GetOwnInstr()->SetVoiceCount(3);
  const float nan = std::nanf("");
  for (float value : {0.0f, -0.0f, 1.0f, -1.0f, 0.5f, 1e30f, -1e30f, nan, INFINITY}) {
    std::vector<std::unique_ptr<KSModul>> modules;
    for (int32_t type = 0; type < kModuleTypeCount; ++type) {
      if (!FindAudioRoutine(0, type) && !FindControlRateRoutine(0, type)) continue;
      // Sample players, delays and tape decks keep pointers that their own
      // voice set-ups make; their records are tested on their own.
      if (FindVoiceSetup(type)) continue;
      const KModulDef* def = FindModulDef(nullptr, 0, type);
      ASSERT_NE(def, nullptr) << type;
      auto m = testhost::LooseModule(host, 0, type, def->eventOutputs, def->audioInputs, def->stateWords);
      m->SetMonoFlag(def->startsMono != 0);
      host.Driver().PrepareModule(m.get());
      modules.push_back(std::move(m));
    }
    static float cell;
    cell = value;
    for (auto& m : modules) {
      TEngineRecord* r = m->GetEngineRecord();
      for (int32_t v = 0; v < r->voices; ++v) {
        for (int32_t i = 0; i < r->audioInputs; ++i) r->inputs[v][i] = &cell;
        for (int32_t w = 0; w < r->stateWords; ++w) r->state[v][w].f = value;
      }
      for (int32_t i = 0; i < r->audioInputs; ++i) ResolveAudioInput(r, i);
    }
    std::vector<float> in(2 * 600, value), out(2 * 600);
    host.Driver().Render(in.data(), out.data(), 600);
    std::vector<float> columns(50);
    for (auto& m : modules) {
      // The graphs of the same records, whatever their words hold.
      for (int32_t w = 0; w < m->GetEngineRecord()->stateWords; ++w) m->GetEngineRecord()->state[0][w].f = value;
      if (GetGraphRenderer(0, m->GetTypeIndex()))
        RenderGraph(m->GetTypeIndex(), m->GetEngineRecord(), columns.data(), 50, 52);
      host.Driver().ReleaseModule(m.get());
    }
  }
}

// The pitch event of each oscillator stores what its routine reads: pitch 69
// sounds at 440 Hz whatever form (frequency or ready increment) it takes.
TEST(Oscillators, PitchEventsOf69SoundAt440Hz) {
  for (TModuleType type : {kTypeSine, kTypeSawtooth, kTypeTriangle, kTypeParabol, kTypePulse, kTypeImpulse, kTypeSawFm,
                           kTypeTriFm, kTypeSineFm, kTypePulseFm, kTypeImpulseFm, kTypeBiSaw, kTypeBiPulse}) {
    TRig r;
    KSModul* osc = r.Solo(type, "Out");
    r.Constant(osc, "A", 1.0f);
    const int32_t port = rig::InIndex(osc, "P");
    GetEventRoutine(osc->GetInPort(port)->GetIndexField())(r.Record(osc), 0, 69.0f);
    const std::vector<float> out = r.Render(44100);
    const size_t cycles = Crossings(out, type == kTypeImpulse || type == kTypeImpulseFm ? 1.0f : 0.0f, true).size();
    EXPECT_NEAR(double(cycles), 440.0, 1.0) << "type " << type.type;
  }
}
