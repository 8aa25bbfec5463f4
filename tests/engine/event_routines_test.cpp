// Event-rate routines: the sending rule, the selector and each family of
// routines, driven through the routine table as the model's wires drive them.
#include "src/engine/convert.h"
#include "src/engine/event_ids.h"
#include "src/engine/event_routines.h"
#include "src/engine/midi_output.h"
#include "src/engine/routine_registry.h"
#include "src/engine/setup.h"
#include "src/engine/tables.h"
#include "src/engine/voice_state.h"
#include "src/mod/mod.h"
#include "src/mod/modul_def.h"
#include "tests/engine/testhost.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

namespace {

// One call a destination received.
struct TCall {
  const TEngineRecord* record;
  int32_t voice;
  float value;
  bool operator==(const TCall& o) const {
    return record == o.record && voice == o.voice && FloatBits(value) == FloatBits(o.value);
  }
};
std::vector<TCall> calls;
void Capture(TEngineRecord* r, int32_t voice, float value) { calls.push_back({r, voice, value}); }

// An engine record with its own storage: every input points at a cell of
// the record's own (0.0 until set), every state word starts at 0.
class TRecord {
public:
  TRecord(int32_t voices, int32_t stateWords, int32_t audioInputs = 0, int32_t eventOutputs = 0)
      : words_(size_t(voices) * size_t(StrideOf(stateWords))),
        cells_(size_t(voices), std::vector<float>(size_t(audioInputs))),
        pointers_(size_t(voices), std::vector<float*>(size_t(audioInputs), &EngineZeroCell)) {
    for (auto& v : pointers_) pointerRows_.push_back(v.data());
    r.voices = voices;
    r.stateWords = stateWords;
    r.audioInputs = audioInputs;
    r.eventOutputs = eventOutputs;
    if (stateWords > 0) r.state = {words_.data(), 1, StrideOf(stateWords)};
    r.inputs = audioInputs > 0 ? pointerRows_.data() : nullptr;
    if (eventOutputs > 0) {
      r.routeCounts = new int32_t[size_t(eventOutputs)]();
      r.routeRoutines = new TEventRoutine*[size_t(eventOutputs)]();
      r.routeTargets = new TEngineRecord**[size_t(eventOutputs)]();
    }
  }
  ~TRecord() {
    for (int32_t k = 0; k < r.eventOutputs; ++k) ClearRoutes(&r, k);
    delete[] r.routeCounts;
    delete[] r.routeRoutines;
    delete[] r.routeTargets;
  }
  TRecord(const TRecord&) = delete;
  TRecord& operator=(const TRecord&) = delete;

  void SetInput(int32_t voice, int32_t k, float v) {
    cells_[size_t(voice)][size_t(k)] = v;
    pointers_[size_t(voice)][size_t(k)] = &cells_[size_t(voice)][size_t(k)];
  }
  void SetInputAllVoices(int32_t k, float v) {
    for (int32_t voice = 0; voice < r.voices; ++voice) SetInput(voice, k, v);
  }
  // Routes event output k to the capturing routine on `target`.
  void RouteTo(int32_t k, TRecord& target) { ASSERT_TRUE(AppendRoute(&r, k, Capture, &target.r)); }
  float& F(int32_t voice, int32_t word) { return r.state[voice][word].f; }
  int32_t& I(int32_t voice, int32_t word) { return r.state[voice][word].i; }
  void Fill(float v) {
    for (auto& w : words_) w.f = v;
  }

  // Sends value to the routine of id on this record, as a wire would.
  void Event(int32_t id, float value, int32_t voice = 0) { GetEventRoutine(id)(&r, voice, value); }

  TEngineRecord r;

private:
  // Voice-major: each voice's words together, padded to pointer boundaries.
  static int32_t StrideOf(int32_t words) { return (words + 1) / 2 * 2; }
  std::vector<TWord> words_;
  std::vector<std::vector<float>> cells_;
  std::vector<std::vector<float*>> pointers_;
  std::vector<float**> pointerRows_;
};

// Holds the engine's reset flag for a scope.
struct TResetting {
  TResetting() { StructureChangeDepth.fetch_add(1); }
  ~TResetting() { StructureChangeDepth.fetch_sub(1); }
};

class EventRoutines : public ::testing::Test {
protected:
  void SetUp() override {
    calls.clear();
    UpdateRateConstants(44100.0f);
  }
  void TearDown() override { UpdateRateConstants(44100.0f); }
  // The values the sink received, in order.
  static std::vector<float> Values() {
    std::vector<float> v;
    for (const TCall& c : calls) v.push_back(c.value);
    return v;
  }
  TRecord sink{1, 1};
};

// ---------------------------------------------------------------------------
// Sending rule and selector

TEST_F(EventRoutines, OneVoiceSenderFansOutToEveryDestinationVoicePolySenderKeepsItsVoice) {
  struct Case {
    int32_t senderVoices, destinationVoices, voice;
    std::vector<int32_t> expectedVoices;
  };
  const Case cases[] = {
      {1, 6, 0, {0, 1, 2, 3, 4, 5}},
      {1, 1, 0, {0}},
      {4, 4, 2, {2}},
  };
  for (const Case& c : cases) {
    calls.clear();
    TRecord sender(c.senderVoices, 1, 0, 1);
    TRecord destination(c.destinationVoices, 1);
    sender.RouteTo(0, destination);
    sender.Event(evInvert, 2.0f, c.voice);
    std::vector<int32_t> voices;
    for (const TCall& call : calls) {
      EXPECT_EQ(call.record, &destination.r);
      EXPECT_EQ(call.value, -2.0f);
      voices.push_back(call.voice);
    }
    EXPECT_EQ(voices, c.expectedVoices) << "sender voices " << c.senderVoices;
  }
}

TEST_F(EventRoutines, DestinationsAreCalledInRouteOrderAndAnOutputWithoutRoutesSendsNothing) {
  TRecord sender(1, 1, 0, 2);
  TRecord first(1, 1), second(2, 1);
  sender.RouteTo(0, first);
  sender.RouteTo(0, second);
  sender.Event(evAccumulate, 1.5f);
  EXPECT_EQ(calls, (std::vector<TCall>{{&first.r, 0, 1.5f}, {&second.r, 0, 1.5f}, {&second.r, 1, 1.5f}}));
  calls.clear();
  TRecord unrouted(1, 1, 0, 1);
  unrouted.Event(evAccumulate, 1.0f);
  EXPECT_TRUE(calls.empty());
}

TEST_F(EventRoutines, AWireLoopEndsInsteadOfRecursingForever) {
  // A counter whose output feeds its own "Up" input: every count sends the
  // next one.
  TRecord loop(1, 1, 0, 1);
  ASSERT_TRUE(AppendRoute(&loop.r, 0, GetEventRoutine(evCountUp), &loop.r));
  loop.Event(evCountUp, 1.0f);
  const float first = loop.F(0, 0);
  EXPECT_GT(first, 10.0f);
  EXPECT_LT(first, 1000.0f);
  loop.Event(evCountUp, 1.0f);
  EXPECT_EQ(loop.F(0, 0), 2.0f * first) << "the next event starts a fresh chain";
}

TEST_F(EventRoutines, IdsWithoutARoutineAndIdsOutsideTheTableAnswerTheNoOpOfIdZero) {
  const TEventRoutine none = GetEventRoutine(evNothing);
  ASSERT_NE(none, nullptr);
  for (int32_t id : {1, 2, -1, kEventIdCount, 100000, std::numeric_limits<int32_t>::min()})
    EXPECT_EQ(GetEventRoutine(id), none) << id;
  TRecord r(1, 4, 0, 1);
  r.RouteTo(0, sink);
  r.Event(evNothing, 3.0f);
  EXPECT_EQ(r.F(0, 0), 0.0f);
  EXPECT_TRUE(calls.empty());
}

TEST_F(EventRoutines, EveryIdThatAModulePortCarriesHasAWorkingRoutine) {
  // The players, the delay line, the recorder, the scope and the beat loop
  // install their own routines with their records.
  const std::vector<int32_t> elsewhere = {evDelayTime, evTapeRecord, 129, 130, 131, 132, 133, 134, 135, 136,
                                          139,         140,          141, 142, 143};
  for (int32_t id = 3; id < kEventIdCount; ++id) {
    if (!FindEventIdUse(id)) continue;
    if (std::find(elsewhere.begin(), elsewhere.end(), id) != elsewhere.end()) continue;
    EXPECT_NE(GetEventRoutine(id), GetEventRoutine(evNothing)) << "id " << id;
  }
}

TEST_F(EventRoutines, ARecordTooSmallForTheRoutineOrAVoiceBeyondItIgnoresTheEvent) {
  TRecord small(2, 3, 0, 1);
  small.RouteTo(0, sink);
  small.Fill(9.0f);
  small.Event(evAdd6, 1.0f);               // needs seven words
  small.Event(evGridCutoff, 60.0f);        // needs nine
  small.Event(evInvert, 1.0f, 2);          // voice 2 of a two-voice record
  small.Event(evInvert, 1.0f, -1);
  for (int32_t v = 0; v < 2; ++v)
    for (int32_t w = 0; w < 3; ++w) EXPECT_EQ(small.F(v, w), 9.0f);
  EXPECT_TRUE(calls.empty());
}

// ---------------------------------------------------------------------------
// Arithmetic and logic

TEST_F(EventRoutines, SumsAndProductsCombineTheStoredInputs) {
  TRecord sum(1, 7, 0, 1);
  sum.RouteTo(0, sink);
  sum.Event(evAdd1, 2.0f);
  sum.Event(evAdd3, 5.0f);
  sum.Event(evAdd3, 5.0f);
  EXPECT_EQ(Values(), (std::vector<float>{2.0f, 7.0f, 7.0f}));
  EXPECT_EQ(sum.F(0, 1), 2.0f);
  EXPECT_EQ(sum.F(0, 3), 5.0f);

  calls.clear();
  TRecord product(1, 5, 0, 1);
  for (int w = 1; w <= 4; ++w) product.F(0, w) = 1.0f;  // as module set-up leaves it
  product.RouteTo(0, sink);
  product.Event(evMult2, 3.0f);
  product.Event(evMult4, -2.0f);
  product.Event(evMult2, 0.5f);
  EXPECT_EQ(Values(), (std::vector<float>{3.0f, -6.0f, -1.0f}));
}

TEST_F(EventRoutines, DivisionsAndReciprocalSendZeroForAZeroDivisor) {
  struct Case {
    int32_t id;
    float stored1, stored2, value, expected;
  };
  const Case cases[] = {
      {evReciprocal, 0, 0, 4.0f, 0.25f},
      {evReciprocal, 0, 0, -0.0f, 0.0f},
      {evReciprocal, 0, 0, 0.0f, 0.0f},
      {evDivX, 0, 4.0f, 2.0f, 0.5f},
      {evDivX, 0, -0.0f, 2.0f, 0.0f},
      {evDivY, 6.0f, 0, 3.0f, 2.0f},
      {evDivY, 6.0f, 0, -0.0f, 0.0f},
      {evInvert, 0, 0, 1.5f, -1.5f},
  };
  for (const Case& c : cases) {
    calls.clear();
    TRecord r(1, 3, 0, 1);
    r.RouteTo(0, sink);
    r.F(0, 1) = c.stored1;
    r.F(0, 2) = c.stored2;
    r.Event(c.id, c.value);
    ASSERT_EQ(calls.size(), 1u) << c.id;
    EXPECT_EQ(FloatBits(calls[0].value), FloatBits(c.expected)) << "id " << c.id << " value " << c.value;
  }
}

TEST_F(EventRoutines, ChangesOnlyDropsRepeatedValues) {
  TRecord r(1, 1, 0, 1);
  r.RouteTo(0, sink);
  for (float v : {0.5f, 0.5f, 0.7f}) r.Event(evChangesOnly, v);
  EXPECT_EQ(Values(), (std::vector<float>{0.5f, 0.7f}));
}

TEST_F(EventRoutines, LogicGatesSendOutThenItsInverseOnEveryEvent) {
  struct Case {
    int32_t idA;
    float a, b;
    float out;
  };
  const Case cases[] = {
      {evAndA, 0.5f, 0.0f, 0.0f}, {evAndA, 0.5f, 1.0f, 1.0f}, {evAndA, 0.5f, -0.0f, 0.0f},
      {evOrA, -1.0f, 0.0f, 0.0f}, {evOrA, 0.0f, 0.2f, 1.0f},  {evExorA, 1.0f, 1.0f, 0.0f},
      {evExorA, 1.0f, 0.0f, 1.0f},
  };
  for (const Case& c : cases) {
    calls.clear();
    TRecord r(1, 4, 0, 2);
    TRecord inverse(1, 1);
    r.RouteTo(0, sink);
    r.RouteTo(1, inverse);
    r.Event(c.idA + 1, c.b);
    calls.clear();
    r.Event(c.idA, c.a);
    EXPECT_EQ(calls, (std::vector<TCall>{{&sink.r, 0, c.out}, {&inverse.r, 0, 1.0f - c.out}}))
        << "id " << c.idA << " a " << c.a << " b " << c.b;
  }
  for (float v : {-0.0f, 0.0f, -3.0f, 0.1f}) {
    calls.clear();
    TRecord r(1, 2, 0, 2);
    TRecord inverse(1, 1);
    r.RouteTo(0, sink);
    r.RouteTo(1, inverse);
    r.Event(evNot, v);
    const float out = v > 0.0f ? 0.0f : 1.0f;
    EXPECT_EQ(calls, (std::vector<TCall>{{&sink.r, 0, out}, {&inverse.r, 0, 1.0f - out}})) << v;
  }
}

// ---------------------------------------------------------------------------
// Oscillator, level and filter parameters

TEST_F(EventRoutines, PitchConversionsStoreFrequenciesAndIncrements) {
  struct Case {
    int32_t id;
    float rate, pitch, expected, tolerance;
  };
  const Case cases[] = {
      {evPitchHz, 44100, 69, 440.0f, 1e-2f},
      {evPitchHz, 44100, 1000, PitchTable[kPitchTableSize - 1], 0},
      {evPitchHz, 44100, -1000, 0.0f, 0},
      {evPitchInc2, 44100, 69, 0.019955f, 1e-6f},
      {evPitchInc2, 44100, 200, 1.0f, 0},
      {evPitchInc4, 44100, 69, 0.0399093f, 1e-6f},
      {evPitchInc4, 44100, 200, 1.99f, 0},
      {evPitchSine, 48000, 69, 440.0f * 256.0f / 48000.0f, 1e-4f},
      {evPitchSine, 8000, 200, 255.0f, 0},
  };
  for (const Case& c : cases) {
    UpdateRateConstants(c.rate);
    TRecord r(1, 8);
    r.Event(c.id, c.pitch);
    EXPECT_NEAR(r.F(0, 0), c.expected, c.tolerance) << "id " << c.id << " pitch " << c.pitch;
  }
}

TEST_F(EventRoutines, SymmetryAndPulseWidthStayFiniteAtTheirEnds) {
  for (float width : {-1.0f, 1.0f, 0.0f, 0.5f, -5.0f}) {
    TRecord symm(1, 8);
    symm.Event(evSymmetry, width);  // increment 0: no pitch yet
    for (int w = 4; w <= 6; ++w) EXPECT_TRUE(std::isfinite(symm.F(0, w))) << width << " word " << w;
    symm.Event(evPitchSymm, 100.0f);
    EXPECT_LE(std::fabs(2.0f * symm.F(0, 4) + 1.0f), 1.0f - symm.F(0, 0) + 1e-6f)
        << "the width leaves room for the increment";
  }
  TRecord half(1, 8);
  half.Event(evSymmetry, 0.0f);
  EXPECT_FLOAT_EQ(half.F(0, 4), -0.5f);
  EXPECT_FLOAT_EQ(half.F(0, 5), -2.0f);
  EXPECT_FLOAT_EQ(half.F(0, 6), 2.0f);

  TRecord pwm(1, 8);
  pwm.Event(evPulseWidth, 2.0f);
  EXPECT_FLOAT_EQ(pwm.F(0, 3), 0.999f);
  EXPECT_FLOAT_EQ(pwm.F(0, 4), 3.0f / (0.999f - 1.0f));
  EXPECT_FLOAT_EQ(pwm.F(0, 5), 3.0f / 1.999f);
}

TEST_F(EventRoutines, RampStepsKeepTheCyclicDifferences) {
  // "4-Ramp": steps in words 4 .. 7, differences in words 12 .. 15.
  TRecord r(1, 16);
  r.Event(evRamp4Step1, 1.0f);
  r.Event(evRampStep2, 3.0f);
  r.Event(evRampStep3, 6.0f);
  r.Event(evRamp4Step4, 10.0f);
  EXPECT_EQ(r.F(0, 4), 1.0f);
  EXPECT_EQ(r.F(0, 7), 10.0f);
  EXPECT_EQ(r.F(0, 12), 2.0f);
  EXPECT_EQ(r.F(0, 13), 3.0f);
  EXPECT_EQ(r.F(0, 14), 4.0f);
  EXPECT_EQ(r.F(0, 15), -9.0f) << "the last step leads back to the first";
  r.Event(evRamp4Step1, 2.0f);
  EXPECT_EQ(r.F(0, 12), 1.0f);
  EXPECT_EQ(r.F(0, 15), -8.0f);
}

TEST_F(EventRoutines, LevelsBecomeGainsAndStereoAmpPansBetweenItsSides) {
  TRecord mixer(1, 9);
  mixer.Event(evLevel1, 0.0f);
  mixer.Event(evLevel8, -20.0f);
  EXPECT_FLOAT_EQ(mixer.F(0, 0), 1.0f);
  EXPECT_NEAR(mixer.F(0, 7), 0.1f, 1e-5f);

  struct Case {
    float pan, left, right;
  };
  for (const Case& c : {Case{-1.0f, 2.0f, 0.0f}, Case{1.0f, 0.0f, 2.0f}, Case{0.0f, 1.0f, 1.0f}}) {
    TRecord amp(1, 6);
    amp.Event(evStereoPan, c.pan);
    EXPECT_EQ(amp.F(0, 2), 0.0f) << "silent until a level arrives";
    amp.Event(evStereoLevel, 0.0f);
    EXPECT_FLOAT_EQ(amp.F(0, 2), c.left) << c.pan;
    EXPECT_FLOAT_EQ(amp.F(0, 3), c.right) << c.pan;
  }
}

TEST_F(EventRoutines, FilterGridPlacesCutoffAndResonanceOnTheCorrectionGrids) {
  TRecord r(1, 9);
  // Half the processing rate and above is the end of the grid's last column.
  UpdateRateConstants(48000.0f);
  const float nyquistPitch = 69.0f + 12.0f * std::log2(24000.0f / 440.0f);
  r.Event(evGridCutoff, nyquistPitch + 0.01f);
  EXPECT_EQ(r.F(0, 5), 9.0f);
  EXPECT_EQ(r.F(0, 6), 1.0f);
  EXPECT_FLOAT_EQ(r.F(0, 0), ShapeTableA[10]);
  EXPECT_FLOAT_EQ(r.F(0, 4), ShapeTableB[10]);

  // Resonance 1.0 saturates at the top of the input's range, 0.98: row 9
  // with a fraction of 0.8, short of the undamped row 10.
  for (int column = 1; column < 9; ++column) {
    TRecord g(1, 9);
    const float hz = float(column) / (10.0f * EngineConstants.twoOverRate);
    const float pitch = 69.0f + 12.0f * std::log2(hz / 440.0f);
    g.Event(evGridResonance, 1.0f);
    g.Event(evGridCutoff, pitch);
    const float c = g.F(0, 5), u = g.F(0, 6), v = g.F(0, 8);
    EXPECT_NEAR(c + u, float(column), 1e-3f);
    EXPECT_EQ(g.F(0, 7), 99.0f);
    EXPECT_NEAR(v, 0.8f, 1e-5f);
    const int i = 99 + int(c);
    auto grid = [&](const float* t) {
      return t[i] * (1 - u) * (1 - v) + t[i + 1] * u * (1 - v) + t[i + 11] * (1 - u) * v + t[i + 12] * u * v;
    };
    EXPECT_NEAR(g.F(0, 0), grid(ShapeTableA), 1e-5f) << column;
    EXPECT_NEAR(g.F(0, 4), grid(ShapeTableB), 1e-5f) << column;
    EXPECT_GT(g.F(0, 4), 0.0f) << "some damping is left";
  }

  struct Case {
    float resonance, row11, fraction;
  };
  const Case rows[] = {{0.35f, 33.0f, 0.5f}, {1.7f, 99.0f, 0.8f}, {0.98f, 99.0f, 0.8f}, {-2.0f, 0.0f, 0.0f}, {-0.05f, 0.0f, -0.5f}};
  for (const Case& c : rows) {
    TRecord g(1, 9);
    g.Event(evGridResonance, c.resonance);
    EXPECT_EQ(g.F(0, 7), c.row11) << c.resonance;
    EXPECT_NEAR(g.F(0, 8), c.fraction, 1e-5f) << c.resonance;
  }
}

TEST_F(EventRoutines, ResonanceBoostAndShelfInputs) {
  TRecord svf(1, 6);
  // Beyond the input's range (1.0 from a modulator, 2.0) the value saturates
  // at its top, 0.98: the filter keeps some damping.
  for (float beyond : {1.0f, 2.0f}) {
    svf.Event(evResonance, beyond);
    EXPECT_FLOAT_EQ(svf.F(0, 4), 2.0f - 2.0f * 0.98f) << beyond;
    EXPECT_FLOAT_EQ(svf.F(0, 5), (1.3075f + 0.98f) * 0.98f * 0.293f + 0.7352f) << beyond;
  }
  svf.Event(evResonance, -0.0f);
  EXPECT_FLOAT_EQ(svf.F(0, 4), 2.0f);
  EXPECT_FLOAT_EQ(svf.F(0, 5), 0.7352f);

  TRecord hi(1, 7);
  hi.Event(evShelfCutoff, 69.0f);
  hi.Event(evHiShelfBoost, 20.0f);  // gain 10
  EXPECT_NEAR(hi.F(0, 1), 9.0f, 1e-3f);
  EXPECT_EQ(hi.F(0, 5), 1.5f);
  EXPECT_NEAR(hi.F(0, 6), std::fmin(440.0f * hi.F(0, 4), 1.5f), 1e-4f);

  TRecord lo(1, 7);
  lo.Event(evLoShelfBoost, -20.0f);
  EXPECT_EQ(lo.F(0, 5), 1.0f);
  EXPECT_NEAR(lo.F(0, 3), -0.9f, 1e-5f);

  TRecord onePole(1, 3);
  onePole.F(0, 2) = 0.7f;
  onePole.Event(evOnePoleCutoff, 200.0f);
  EXPECT_FLOAT_EQ(onePole.F(0, 0), 0.99f);
  onePole.Event(evOnePoleCutoff, -1000.0f);
  EXPECT_EQ(onePole.F(0, 0), 0.0f);
  EXPECT_EQ(onePole.F(0, 2), 0.0f) << "a cutoff of 0 clears the filter's memory";
}

TEST_F(EventRoutines, ParameterEventsMarkTheModuleForThePanel) {
  testhost::THost host;
  auto module = testhost::LooseModule(host, kTypeFourPoleFilter, 0, 1, 9);
  TRecord r(1, 9);
  r.r.module = module.get();
  EXPECT_EQ(module->GetCtrlValue(), 0);
  r.Event(evGridCutoff, 60.0f);
  EXPECT_EQ(module->GetCtrlValue(), 1);
  module->SetCtrlValue(0);
  r.Event(evLevel1, 0.0f);
  EXPECT_EQ(module->GetCtrlValue(), 0) << "levels are not drawn";
}

// ---------------------------------------------------------------------------
// Envelopes

TEST_F(EventRoutines, EnvelopeGateRestartsOrContinuesFromTheCurrentLevel) {
  TRecord env(1, 14);
  env.F(0, 3) = 0.01f;  // attack step for a peak of 1
  env.F(0, 4) = 0.5f;   // sustain fraction
  env.F(0, 12) = 0.1f;  // first-decay rate
  env.F(0, 13) = 0.8f;  // knee fraction
  env.Event(evKneeGate, 0.8f);
  EXPECT_EQ(env.I(0, 9), 3) << "attack";
  EXPECT_FLOAT_EQ(env.F(0, 6), 0.8f);
  EXPECT_FLOAT_EQ(env.F(0, 7), 0.008f);
  EXPECT_FLOAT_EQ(env.F(0, 5), 0.4f);
  EXPECT_FLOAT_EQ(env.F(0, 8), 0.4f);
  EXPECT_FLOAT_EQ(env.F(0, 10), 0.64f);
  EXPECT_FLOAT_EQ(env.F(0, 11), (0.64f - 0.8f) * 0.1f);

  env.F(0, 0) = 0.9f;  // above the new gate level
  env.Event(evKneeGate, 0.5f);
  EXPECT_EQ(env.I(0, 9), 1) << "decay from the current level";
  EXPECT_FLOAT_EQ(env.F(0, 6), 0.9f);
  EXPECT_FLOAT_EQ(env.F(0, 7), 0.008f) << "the attack step stays";

  env.Event(evKneeGate, -0.0f);
  EXPECT_EQ(env.I(0, 9), 0) << "release";
  env.Event(evGate, 1.0f);
  EXPECT_EQ(env.I(0, 9), 3);
  {
    TResetting resetting;
    env.Event(evGate, 1.0f);
  }
  EXPECT_EQ(env.I(0, 9), 0) << "a gate during a reset releases";
}

TEST_F(EventRoutines, EnvelopeTimesBecomeStepsPerFrame) {
  UpdateRateConstants(1000.0f);
  TRecord env(1, 14);
  env.Event(evAttack, 0.0f);  // 1 ms: 1000 per second
  EXPECT_NEAR(env.F(0, 3), 1.0f, 1e-3f);
  env.Event(evDecay, 0.0f);
  EXPECT_NEAR(env.F(0, 1), 0.0f, 1e-3f);
  env.Event(evRelease, 20.0f);  // 10 ms
  EXPECT_NEAR(env.F(0, 2), 0.9f, 1e-3f);
  env.Event(evDecay, -20.0f);  // a step above 1 stops at once
  EXPECT_EQ(env.F(0, 1), 0.0f);
  env.Event(evSustain, 0.25f);
  EXPECT_EQ(env.F(0, 4), 0.25f);

  UpdateRateConstants(48000.0f);
  TRecord hold(1, 5);
  hold.Event(evHoldTime, 20.0f);  // 10 ms
  EXPECT_NEAR(hold.I(0, 4), 480, 1);
  hold.Event(evHoldTime, 100.0f);  // 100 s
  EXPECT_NEAR(hold.I(0, 4), 4800000, 4800) << "computed in double precision";
}

TEST_F(EventRoutines, RampEnvelopeLevelsKeepTheirDistanceFromTheNeighbours) {
  struct Case {
    int32_t id, words;
    float previous, next, value, stored;
  };
  const Case cases[] = {
      {evRampLevel2, 12, 0.7f, 0.0f, 0.701f, 0.704f},
      {evRampLevel2, 12, 0.7f, 0.0f, 0.698f, 0.696f},
      {evRampLevel2, 12, 0.7f, 0.3f, 0.301f, 0.304f},  // the next level wins
      {evRampLevel1, 12, 0.0f, 0.5f, 0.001f, 0.004f},
      {evRampLevel1, 12, 0.0f, 0.5f, -0.0f, 0.004f},
      {evRampLevel1, 12, 0.0f, 0.5f, 0.0f, 0.004f},
      {evRampLevel3, 12, 0.2f, 0.9f, 0.9f, 0.9f},      // "SustLevel" of 4-Ramp has no next
      {evRampLevel3, 14, 0.2f, 0.9f, 0.9f, 0.904f},
      {evRampLevel5, 16, 0.5f, 0.0f, 0.6f, 0.6f},
  };
  for (const Case& c : cases) {
    TRecord r(1, c.words);
    const int32_t word = 7 + 2 * (c.id - evRampLevel1);
    if (word > 7) r.F(0, word - 2) = c.previous;
    if (word + 2 < c.words) r.F(0, word + 2) = c.next;
    r.Event(c.id, c.value);
    EXPECT_NEAR(r.F(0, word), c.stored, 1e-6f) << "id " << c.id << " value " << c.value;
  }
}

TEST_F(EventRoutines, RampEnvelopeGateStartsAndReleases) {
  TRecord env(1, 12, 0, 1);
  env.RouteTo(0, sink);
  env.F(0, 1) = 0.25f;
  env.F(0, 5) = 0.5f;
  env.F(0, 6) = 0.1f;
  env.F(0, 7) = 0.75f;
  env.Event(evRampEnvGate, 0.8f);
  EXPECT_FLOAT_EQ(env.F(0, 3), 0.6f);
  EXPECT_FLOAT_EQ(env.F(0, 2), (0.6f - 0.25f) * 0.1f);
  env.Event(evRampEnvGate, 0.0f);
  EXPECT_FLOAT_EQ(env.F(0, 2), -0.125f);
  EXPECT_EQ(Values(), (std::vector<float>{1.0f, -1.0f}));
}

TEST_F(EventRoutines, SmootherWithoutATimeOrSwitchedOffJumpsInsteadOfDividingByZero) {
  struct Case {
    int32_t smoothing;
    float ms, slope, out;
  };
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float oneFrame = 1000.0f / 44100.0f;
  for (const Case& c : {Case{1, 0.0f, 0.0f, 1.0f}, Case{1, -5.0f, 0.0f, 1.0f}, Case{1, nan, 0.0f, 1.0f},
                        Case{1, oneFrame, 1.0f, 0.0f}, Case{0, oneFrame, 0.0f, 1.0f}}) {
    TRecord s(1, 3);
    s.r.params[0].i = c.smoothing;
    s.r.params[1].f = c.ms;
    s.Event(evSmoother, 1.0f);
    EXPECT_FLOAT_EQ(s.F(0, 2), 1.0f);
    EXPECT_NEAR(s.F(0, 1), c.slope, 1e-5f) << c.ms;
    EXPECT_EQ(s.F(0, 0), c.out) << c.ms;
  }
}

// ---------------------------------------------------------------------------
// Event modules

TEST_F(EventRoutines, ShapersFollowTheirPoints) {
  struct Case {
    int32_t id;
    std::vector<float> points;
    float value, expected;
  };
  const Case cases[] = {
      {evCtrlShaper1, {0, 1, 3}, 0.25f, 0.5f},
      {evCtrlShaper1, {0, 1, 3}, 0.75f, 2.0f},
      {evCtrlShaper1, {0, 1, 3}, -0.5f, -1.0f},
      {evCtrlShaper2, {0, 3, 3, 0}, 0.5f, 3.0f},
      {evCtrlShaper2, {0, 3, 3, 0}, 1.0f, 0.0f},
      {evCtrlShaper3, {0, 1, 2, 3, 8}, 0.875f, 5.5f},
      {evCtrlShaper3, {0, 1, 2, 3, 8}, 0.3f, 1.2f},
  };
  for (const Case& c : cases) {
    TRecord r(1, 1, int32_t(c.points.size()), 1);
    for (size_t k = 0; k < c.points.size(); ++k) r.SetInput(0, int32_t(k), c.points[k]);
    r.Event(c.id, c.value);
    EXPECT_NEAR(r.F(0, 0), c.expected, 1e-5f) << "id " << c.id << " value " << c.value;
  }
}

TEST_F(EventRoutines, RoutersAndSeparatorChooseByTheirControlInput) {
  TRecord router(1, 1, 1, 1);
  router.RouteTo(0, sink);
  router.Event(evRouterIn1, 1.0f);  // control off: dropped
  router.Event(evRouterIn2, 2.0f);
  router.SetInput(0, 0, 1.0f);
  router.Event(evRouterIn1, 3.0f);
  router.Event(evRouterIn2, 4.0f);
  EXPECT_EQ(Values(), (std::vector<float>{2.0f, 3.0f}));

  calls.clear();
  TRecord separator(1, 2, 1, 2);
  TRecord high(1, 1);
  separator.RouteTo(0, sink);
  separator.RouteTo(1, high);
  separator.SetInput(0, 0, 0.5f);
  separator.Event(evSeparator, 0.5f);
  separator.Event(evSeparator, 0.6f);
  EXPECT_EQ(calls, (std::vector<TCall>{{&sink.r, 0, 0.5f}, {&high.r, 0, 0.6f}}));
}

TEST_F(EventRoutines, RandomizeStepsTheSharedRegisterFromItsSeed) {
  TRecord r(2, 2, 1, 1);
  r.RouteTo(0, sink);
  r.r.voices = 2;
  r.I(0, 1) = int32_t(0xAFAA5505u);
  r.SetInputAllVoices(0, 1.0f);
  // The register by hand: t = (g >> 5) ^ g ^ (g >> 13); g = (g >> 1) | ((t & 1) << 31).
  const uint32_t expected[] = {0xD7D52A82u, 0xEBEA9541u, 0xF5F54AA0u};
  const float value[] = {0.0f, 10.0f, -1.0f};
  for (int i = 0; i < 3; ++i) {
    r.Event(evRandomize, value[i], i % 2);
    EXPECT_EQ(uint32_t(r.I(0, 1)), expected[i]) << i;
    const float deviation = float(expected[i] & 0xffffu) * 3.0518e-05f - 1.0f;
    EXPECT_FLOAT_EQ(calls.back().value, value[i] + deviation) << i;
    EXPECT_FLOAT_EQ(r.F(i % 2, 0), value[i] + deviation);
    EXPECT_LE(std::fabs(deviation), 1.0f);
  }
}

TEST_F(EventRoutines, DividerOpensEveryNthEventAndClosesAfterTheWidth) {
  TRecord d(1, 2, 2, 1);
  d.RouteTo(0, sink);
  d.SetInput(0, 0, 2.0f);
  d.SetInput(0, 1, 0.5f);
  for (float v : {1.0f, 0.0f, 1.0f, 1.0f, -1.0f, 1.0f}) d.Event(evDividerIn, v);
  EXPECT_EQ(Values(), (std::vector<float>{1.0f, 0.0f, 1.0f})) << "opens, closes, opens";

  calls.clear();
  d.Event(evDividerReset, 1.0f);
  EXPECT_EQ(Values(), (std::vector<float>{0.0f}));
  d.Event(evDividerIn, 0.7f);
  EXPECT_EQ(Values(), (std::vector<float>{0.0f, 0.7f})) << "after a reset the next event opens at once";
  calls.clear();
  {
    TResetting resetting;
    d.Event(evDividerIn, 1.0f);
    d.Event(evDividerReset, 1.0f);
  }
  EXPECT_TRUE(calls.empty());
}

TEST_F(EventRoutines, QuantizerRoundsHalfAwayFromZeroAndSendsTheError) {
  struct Case {
    float offset, step, value, out, error;
  };
  const Case cases[] = {
      {0.0f, 0.25f, 0.3f, 0.25f, -0.05f},
      {0.0f, 0.25f, -0.375f, -0.5f, -0.125f},
      {0.0f, 0.25f, -0.3f, -0.25f, 0.05f},
      {0.1f, 1.0f, 1.6f, 2.1f, 0.5f},
      {0.0f, -0.0f, 0.3f, 0.3f, 0.0f},
      {0.0f, 1e-30f, 1.0f, 1.0f, 0.0f},
  };
  for (const Case& c : cases) {
    calls.clear();
    TRecord q(1, 2, 2, 2);
    TRecord error(1, 1);
    q.RouteTo(0, sink);
    q.RouteTo(1, error);
    q.SetInput(0, 0, c.offset);
    q.SetInput(0, 1, c.step);
    q.Event(evQuantize, c.value);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].record, &sink.r);
    EXPECT_NEAR(calls[0].value, c.out, 1e-6f) << c.value;
    EXPECT_NEAR(calls[1].value, c.error, 1e-6f) << c.value;
  }
}

TEST_F(EventRoutines, TimerSendsTheTimeSinceThePreviousEventAndItsFrequency) {
  UpdateRateConstants(48000.0f);
  TRecord t(1, 3, 0, 2);
  TRecord hz(1, 1);
  t.RouteTo(0, sink);
  t.RouteTo(1, hz);
  t.I(0, 2) = 480;
  t.Event(evTimer, 1.0f);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_NEAR(calls[0].value, 10.0f, 1e-4f);
  EXPECT_NEAR(calls[1].value, 100.0f, 1e-3f);
  EXPECT_EQ(t.I(0, 2), 0);
  calls.clear();
  t.Event(evTimer, 1.0f);  // no frames since: 0 ms and no frequency
  EXPECT_EQ(Values(), (std::vector<float>{0.0f}));
  t.I(0, 2) = -1;  // the counter is unsigned
  t.Event(evTimer, 1.0f);
  EXPECT_GT(calls.back().value, 0.0f);
}

TEST_F(EventRoutines, LogarithmsAndExponents) {
  struct Case {
    int32_t id;
    float value, expected, tolerance;
  };
  const Case cases[] = {
      {evGainToLevel, 0.0f, -300.0f, 0},     {evGainToLevel, -1.0f, -300.0f, 0},
      {evGainToLevel, 10.0f, 20.0f, 1e-4f},  {evGainToLevel, 1.0f, 0.0f, 0},  {evHzToPitch, 0.0f, -300.0f, 0},
      {evHzToPitch, 440.0f, 69.0f, 1e-3f},   {evLevelToGain, -20.0f, 0.1f, 1e-5f},
      {evPitchToHz, 69.0f, 440.0f, 1e-2f},
  };
  for (const Case& c : cases) {
    calls.clear();
    TRecord r(1, 1, 0, 1);
    r.RouteTo(0, sink);
    r.Event(c.id, c.value);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_NEAR(calls[0].value, c.expected, c.tolerance) << "id " << c.id << " value " << c.value;
  }
}

TEST_F(EventRoutines, SelectMaxFollowsTheLargestGatedVoice) {
  TRecord s(3, 3, 0, 1);
  s.RouteTo(0, sink);
  s.Event(evSelectMaxIn, 5.0f, 0);
  s.Event(evSelectMaxGate, 1.0f, 0);
  s.Event(evSelectMaxIn, 3.0f, 1);
  s.Event(evSelectMaxGate, 1.0f, 1);  // 5 is larger: nothing new
  s.Event(evSelectMaxIn, 7.0f, 2);
  s.Event(evSelectMaxGate, 1.0f, 2);
  s.Event(evSelectMaxGate, 0.0f, 2);  // back to the largest still gated
  s.Event(evSelectMaxGate, 0.0f, 0);
  s.Event(evSelectMaxGate, 0.0f, 1);  // none left: nothing sent
  EXPECT_EQ(Values(), (std::vector<float>{5.0f, 5.0f, 7.0f, 7.0f, 5.0f, 3.0f}));
}

TEST_F(EventRoutines, CountersAccumulatorsAndValue) {
  TRecord c(1, 1, 0, 1);
  c.RouteTo(0, sink);
  c.Event(evCountUp, 1.0f);
  c.Event(evCountUp, 0.0f);
  c.Event(evCountUp, 1.0f);
  c.Event(evCountDown, 1.0f);
  c.Event(evCounterSet, 10.0f);
  c.Event(evAccumulate, 0.5f);
  EXPECT_EQ(Values(), (std::vector<float>{1.0f, 2.0f, 1.0f, 10.0f, 10.5f}));

  calls.clear();
  TRecord v(1, 1, 1, 1);
  v.RouteTo(0, sink);
  v.SetInput(0, 0, 0.25f);
  v.Event(evValue, 99.0f);
  EXPECT_EQ(Values(), (std::vector<float>{0.25f}));
}

TEST_F(EventRoutines, SpreadGivesEachVoiceItsUnisonOffset) {
  TRecord spread(5, 3, 0, 1);
  for (int32_t v = 0; v < 5; ++v) spread.F(v, 1) = float(v);  // as module set-up leaves it
  TRecord destination(6, 1);
  spread.RouteTo(0, destination);
  spread.Event(evSpread, 0.1f);
  ASSERT_EQ(calls.size(), 6u);
  const float expected[] = {0.0f, 0.1f, -0.1f, 0.2f, -0.2f, 0.3f};
  for (int32_t j = 0; j < 6; ++j) {
    EXPECT_EQ(calls[size_t(j)].voice, j);
    EXPECT_FLOAT_EQ(calls[size_t(j)].value, expected[j]) << j;
  }
  EXPECT_FLOAT_EQ(spread.F(4, 0), -0.2f);
  EXPECT_EQ(spread.F(0, 2), 0.1f);
}

TEST_F(EventRoutines, GateOnlyEventsDuringAReset) {
  TRecord timer(1, 3, 0, 1);
  timer.RouteTo(0, sink);
  timer.I(0, 2) = 100;
  TRecord hold(1, 2, 0, 1);
  hold.RouteTo(0, sink);
  {
    TResetting resetting;
    timer.Event(evTimer, 1.0f);
    hold.Event(evHoldGate, 1.0f);  // the hold is no gate of an envelope: it still holds
  }
  EXPECT_EQ(timer.I(0, 2), 100);
  EXPECT_EQ(Values(), (std::vector<float>{1.0f}));
}

TEST_F(EventRoutines, DemuxSendsStepBarAndTheSelectedInput) {
  TRecord d(1, 1, 17, 3);
  TRecord bar(1, 1), out(1, 1);
  d.RouteTo(0, sink);
  d.RouteTo(1, bar);
  d.RouteTo(2, out);
  for (int32_t k = 0; k < 16; ++k) d.SetInput(0, 1 + k, float(100 + k));
  d.Event(evDemuxPosition, 21.7f);  // length unconnected: 16
  EXPECT_EQ(calls, (std::vector<TCall>{{&sink.r, 0, 5.0f}, {&bar.r, 0, 1.0f}, {&out.r, 0, 105.0f}}));
  calls.clear();
  d.SetInput(0, 0, 0.0f);  // connected length 0 counts as 1
  d.Event(evDemuxPosition, -3.0f);
  EXPECT_EQ(calls, (std::vector<TCall>{{&sink.r, 0, 0.0f}, {&bar.r, 0, 0.0f}, {&out.r, 0, 100.0f}}));
  calls.clear();
  d.SetInput(0, 0, 3.0f);
  d.Event(evDemuxPosition, 7.0f);
  EXPECT_EQ(calls, (std::vector<TCall>{{&sink.r, 0, 1.0f}, {&bar.r, 0, 2.0f}, {&out.r, 0, 101.0f}}));
}

TEST_F(EventRoutines, TapeDeckPlayAndLoopSwitchesAndDiffusion) {
  testhost::THost host;
  int16_t memory[8] = {};
  for (TModuleType type : {kTypeTapedeck1, kTypeTapedeck2}) {
    auto module = testhost::LooseModule(host, type);
    const int32_t words =
        type == kTypeTapedeck1 ? QV_WORDS_OF(TapedeckVoiceState) : QV_WORDS_OF(StereoTapedeckVoiceState);
    TRecord deck(1, words);
    deck.r.module = module.get();
    auto* mono = deck.r.state.Record<TapedeckVoiceState>(0);
    auto* stereo = deck.r.state.Record<StereoTapedeckVoiceState>(0);
    int16_t** play = type == kTypeTapedeck1 ? &mono->play : &stereo->play;
    int16_t** recordedEnd = type == kTypeTapedeck1 ? &mono->recordedEnd : &stereo->recordedEnd;
    int32_t* loop = type == kTypeTapedeck1 ? &mono->loop : &stereo->loop;
    (type == kTypeTapedeck1 ? mono->begin : stereo->begin) = memory;
    deck.Event(evTapePlay, 1.0f);
    EXPECT_EQ(*play, nullptr) << "nothing recorded: nothing to play";
    *recordedEnd = memory + 4;
    deck.Event(evTapePlay, 1.0f);
    EXPECT_EQ(*play, memory);
    deck.Event(evTapePlay, 0.0f);
    EXPECT_EQ(*play, nullptr);
    deck.Event(evTapeLoop, 1.0f);
    EXPECT_EQ(*loop, 1);
    deck.Event(evTapeLoop, -1.0f);
    EXPECT_EQ(*loop, 0);
  }
  TRecord diffuser(1, 4);
  diffuser.Event(evDiffusion, 1.5f);
  EXPECT_EQ(diffuser.F(0, 1), 1.0f);
  diffuser.Event(evDiffusion, -0.25f);
  EXPECT_EQ(diffuser.F(0, 1), -0.25f);
}

// ---------------------------------------------------------------------------
// MIDI outputs

class TMidiCapture : public IMidiOutput, public IEventHost {
public:
  std::vector<std::vector<int32_t>> sent;
  int32_t channel = 2;
  std::vector<float> tunes;

  void SendNoteOn(int32_t port, int32_t ch, int32_t note, int32_t velocity) override {
    sent.push_back({port, 0x90 | ch, note, velocity});
  }
  void SendPolyPressure(int32_t port, int32_t ch, int32_t note, int32_t value) override {
    sent.push_back({port, 0xA0 | ch, note, value});
  }
  void SendControlChange(int32_t port, int32_t ch, int32_t controller, int32_t value) override {
    sent.push_back({port, 0xB0 | ch, controller, value});
  }
  void SendProgramChange(int32_t port, int32_t ch, int32_t program) override {
    sent.push_back({port, 0xC0 | ch, program});
  }
  void SendChannelPressure(int32_t port, int32_t ch, int32_t value) override {
    sent.push_back({port, 0xD0 | ch, value});
  }
  void SendPitchBend(int32_t port, int32_t ch, int32_t fine, int32_t coarse) override {
    sent.push_back({port, 0xE0 | ch, fine, coarse});
  }
  IMidiOutput* MidiOutput(IEngineModule*) override { return this; }
  int32_t MidiChannel(IEngineModule*) override { return channel; }
  void SetTune(IEngineModule*, float tune) override { tunes.push_back(tune); }
};

class MidiEvents : public EventRoutines {
protected:
  void SetUp() override {
    EventRoutines::SetUp();
    SetEventHost(&midi);
  }
  void TearDown() override {
    SetEventHost(nullptr);
    EventRoutines::TearDown();
  }
  // A record of a MIDI module with the range min ... max and a number.
  std::unique_ptr<TRecord> Module(int32_t words, float min, float max, int32_t number = 0, int32_t inputs = 0) {
    auto r = std::make_unique<TRecord>(1, words, inputs);
    r->r.module = module.get();
    r->r.params[0].f = min;
    r->r.params[1].f = max;
    r->r.params[2].i = number;
    return r;
  }
  testhost::THost host;
  std::unique_ptr<KSModul> module = testhost::LooseModule(host, kTypeMidiControllerOut);
  TMidiCapture midi;
};

TEST_F(MidiEvents, NoteGateSendsNoteOnAndVelocityZeroWithoutRetrigger) {
  auto note = Module(1, 0.0f, 127.0f, 0, 1);
  note->SetInput(0, 0, 60.0f);
  note->Event(evMidiNote, 0.5f);
  note->Event(evMidiNote, 1.0f);  // still sounding: ignored
  note->Event(evMidiNote, 0.0f);
  note->Event(evMidiNote, 0.0f);  // nothing sounds
  note->Event(evMidiNote, 0.001f);  // velocity 0: no note
  EXPECT_EQ(midi.sent, (std::vector<std::vector<int32_t>>{{0, 0x92, 60, 63}, {0, 0x92, 60, 0}}));
}

TEST_F(MidiEvents, ControllerMessagesScaleTheValueIntoTheMidiRange) {
  struct Case {
    int32_t id;
    float min, max, value;
    std::vector<std::vector<int32_t>> expected;
  };
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const Case cases[] = {
      {evMidiController, 0.0f, 1.0f, 0.5f, {{0, 0xB2, 7, 63}}},
      {evMidiController, 0.0f, 1.0f, 2.0f, {{0, 0xB2, 7, 127}}},
      {evMidiController, 0.0f, 1.0f, -1.0f, {{0, 0xB2, 7, 0}}},
      {evMidiController, 0.0f, 1.0f, nan, {{0, 0xB2, 7, 0}}},
      {evMidiController, 1.0f, 0.0f, 0.25f, {{0, 0xB2, 7, 95}}},
      {evMidiController, 0.5f, 0.5f, 0.5f, {}},
      {evMidiPolyPressure, 0.0f, 1.0f, 1.0f, {{0, 0xA2, 7, 127}}},
      {evMidiProgram, 0.0f, 127.0f, 12.0f, {{0, 0xC2, 12}}},
      {evMidiChannelPressure, 0.0f, 127.0f, 200.0f, {{0, 0xD2, 127}}},
      {evMidiPitchBend, -1.0f, 1.0f, 0.0f, {{0, 0xE2, 64, 63}}},
      {evMidiPitchBend, -1.0f, 1.0f, 1.0f, {{0, 0xE2, 0, 127}}},
      {evMidiPitchBend, -1.0f, 1.0f, nan, {{0, 0xE2, 0, 0}}},
      {evMidiPitchBend, -1.0f, 1.0f, -2.0f, {{0, 0xE2, 0, 0}}},
      {evMidiPitchBend, -1.0f, 1.0f, 2.0f, {{0, 0xE2, 127, 127}}},
  };
  for (const Case& c : cases) {
    midi.sent.clear();
    auto r = Module(0, c.min, c.max, 7);
    r->Event(c.id, c.value);
    EXPECT_EQ(midi.sent, c.expected) << "id " << c.id << " value " << c.value;
  }
}

TEST_F(MidiEvents, TuneGoesToTheInstrumentAndNothingIsSentWithoutAHost) {
  auto out = Module(4, 0, 0);
  out->Event(evTune, 0.5f);
  EXPECT_EQ(midi.tunes, (std::vector<float>{0.5f}));
  SetEventHost(nullptr);
  auto note = Module(1, 0.0f, 127.0f, 0, 1);
  note->Event(evMidiNote, 1.0f);
  note->Event(evMidiController, 1.0f);
  out->Event(evTune, 0.25f);
  EXPECT_TRUE(midi.sent.empty());
  EXPECT_EQ(midi.tunes.size(), 1u);
}

TEST_F(MidiEvents, EveryEventPortOfTheCatalogueWorksOnItsTypesRecord) {
  // The players, the delay line, the recorder, the scope and the beat loop
  // install their own routines with their records.
  const std::vector<int32_t> elsewhere = {evDelayTime, evTapeRecord, 129, 130, 131, 132, 133, 134, 135, 136,
                                          139,         140,          141, 142, 143};
  int32_t ports = 0;
  for (int32_t category : {0, 1}) {
    for (int32_t index = 0; index < (category == 0 ? kModuleTypeCount : kSourceTypeCount); ++index) {
      const KModulDef* def = FindModulDef(nullptr, category, index);
      if (!def || !def->inPorts) continue;
      for (int32_t p = 0; p < def->inPorts->count; ++p) {
        const KPortDef& port = (*def->inPorts)[p];
        if (!IsEventKind(port.kind)) continue;
        if (std::find(elsewhere.begin(), elsewhere.end(), port.index) != elsewhere.end()) continue;
        if (port.index == evTapePlay) continue;  // with nothing recorded there is nothing to play
        ++ports;
        // A change of state, a sent event or a MIDI message or tune, with the
        // audio inputs at 0 and then at 1.
        bool effect = false;
        for (float inputs : {0.0f, 1.0f}) {
          calls.clear();
          midi.sent.clear();
          midi.tunes.clear();
          TRecord outputs(1, def->stateWords, def->audioInputs, def->eventOutputs);
          for (int32_t k = 0; k < def->eventOutputs; ++k) outputs.RouteTo(k, sink);
          for (int32_t k = 0; k < def->audioInputs; ++k) outputs.SetInput(0, k, inputs);
          outputs.r.module = module.get();
          outputs.r.params[1].f = 1.0f;  // a MIDI range of 0 ... 1, a smoothing time of 1 ms
          std::vector<int32_t> before(size_t(def->stateWords));
          for (int32_t w = 0; w < def->stateWords; ++w) before[size_t(w)] = outputs.I(0, w);
          outputs.Event(port.index, 0.5f);
          for (int32_t w = 0; w < def->stateWords; ++w) effect |= before[size_t(w)] != outputs.I(0, w);
          effect |= !calls.empty() || !midi.sent.empty() || !midi.tunes.empty();
        }
        EXPECT_TRUE(effect) << def->name << " (" << category << ":" << index << ") port " << port.label << " id "
                            << port.index;
      }
    }
  }
  EXPECT_GT(ports, 100);
}

// ---------------------------------------------------------------------------
// Hostile values

TEST_F(MidiEvents, NaNAndInfinitiesOnEveryInputKeepEveryReadInBounds) {
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float hostile[] = {nan, -nan, inf, -inf, 3.0e38f, -3.0e38f, 1.0e-45f};
  for (int32_t id = 0; id < kEventIdCount; ++id) {
    for (float value : hostile) {
      for (float stored : {nan, inf, -inf, 0.0f}) {
        // Room for every record the routines know, inputs and outputs routed.
        auto r = Module(32, stored, stored, 0x7fffffff, 20);
        r->r.voices = 1;
        r->Fill(stored);
        for (int32_t k = 0; k < 20; ++k) r->SetInput(0, k, stored);
        r->r.params[1].f = stored;
        TRecord poly(2, 32, 20, 4);
        poly.Fill(stored);
        for (int32_t k = 0; k < 20; ++k) poly.SetInputAllVoices(k, stored);
        TRecord fanned(1, 32, 0, 4);
        for (int32_t k = 0; k < 4; ++k) {
          poly.RouteTo(k, sink);
          fanned.RouteTo(k, sink);
        }
        // Keep the pointers of tape-deck, sampler, delay and scope records
        // harmless: only the scalar words are hostile.
        if (id == evTapePlay || id == evTapeLoop || id == evTapeRecord || id == evDelayTime ||
            (id >= evSamplerTrigger && id <= evBeatLoopRun) || (id >= evScopeTrigger && id <= evScopeYScale)) {
          poly.Fill(0.0f);
          fanned.Fill(0.0f);
          r->Fill(0.0f);
        }
        midi.sent.clear();
        r->Event(id, value);
        poly.Event(id, value, 1);
        fanned.Event(id, value);
        // The sanitizer builds watch every table read. In every build: what
        // leaves for a MIDI port is in its byte ranges, whatever came in.
        for (const auto& m : midi.sent) {
          EXPECT_TRUE(m[1] >= 0x80 && m[1] <= 0xEF) << "id " << id << " value " << value << " status " << m[1];
          for (size_t b = 2; b < m.size(); ++b)
            EXPECT_TRUE(m[b] >= 0 && m[b] <= 127) << "id " << id << " value " << value << " sends " << m[b];
        }
        // From finite state a finite value, however extreme, leaves no NaN: a
        // routine may saturate (an infinity, a count at its largest), but a
        // NaN would stay in the voice for good.
        if (std::isfinite(stored) && std::isfinite(value)) {
          for (TRecord* rec : {r.get(), &poly, &fanned})
            for (int32_t v = 0; v < rec->r.voices; ++v)
              for (int32_t w = 0; w < rec->r.stateWords; ++w)
                EXPECT_TRUE(!std::isnan(rec->F(v, w)) || rec->I(v, w) == std::numeric_limits<int32_t>::max())
                    << "id " << id << " value " << value << " voice " << v << " word " << w;
        }
      }
    }
  }
}

} // namespace
