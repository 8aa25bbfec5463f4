// Arithmetic, shapers, envelopes, converters and event sources through the
// offline driver.
#include "tests/engine/routine_spy.h"

#include "src/engine/convert.h"
#include "src/engine/tables.h"
#include "src/engine/voice_state.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <string>

using rig::TEventSpy;
using rig::TRig;

namespace {

constexpr float kRate = 44100.0f;

struct TValueCase {
  TModuleType type;
  std::vector<std::pair<const char*, float>> inputs;
  const char* output;
  float expected;
};

std::ostream& operator<<(std::ostream& os, const TValueCase& c) { return os << "type " << c.type.type; }

class OneFrame : public ::testing::TestWithParam<TValueCase> {};

} // namespace

TEST_P(OneFrame, GivesTheExpectedValue) {
  const TValueCase& c = GetParam();
  TRig r;
  KSModul* m = r.Add(c.type);
  r.Listen(m, c.output);
  r.Ready();
  for (const auto& [label, value] : c.inputs) r.Constant(m, label, value);
  r.Render(1);
  const int32_t word = m->GetOutPort(rig::OutIndex(m, c.output))->GetIndexField();
  const float got = r.Words(m)[word].f;
  EXPECT_NEAR(got, c.expected, 1e-4f * std::max(1.0f, std::fabs(c.expected)));
  EXPECT_EQ(std::signbit(got), std::signbit(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Modules, OneFrame,
    ::testing::Values(
        TValueCase{kTypeAudioReciprocal, {{"", -0.0f}}, "", 0.0f},
        TValueCase{kTypeAudioReciprocal, {{"", 4.0f}}, "", 0.25f},
        TValueCase{kTypeAudioDivide, {{"X", 3.0f}, {"Y", -0.0f}}, "", 0.0f},
        TValueCase{kTypeAudioDivide, {{"X", 3.0f}, {"Y", 2.0f}}, "", 1.5f},
        TValueCase{kTypeCrossfade, {{"X", 0.25f}, {"In1", 1.0f}, {"In2", 3.0f}}, "Out", 1.5f},
        TValueCase{kTypeStereoPan, {{"Pan", 0.5f}, {"In", 1.0f}}, "L", 0.5f},
        TValueCase{kTypeStereoPan, {{"Pan", 0.5f}, {"In", 1.0f}}, "R", 1.5f},
        TValueCase{kTypeChopper, {{"M", -0.0f}, {"In", 2.0f}, {"X", 3.0f}}, "Out", 2.0f},
        TValueCase{kTypeChopper, {{"M", 1.0f}, {"In", 2.0f}, {"X", 3.0f}}, "Out", 6.0f},
        TValueCase{kTypeRelay1, {{"Ctrl", 0.0f}, {"In", 2.0f}}, "Out", 0.0f},
        TValueCase{kTypeRelay2, {{"Ctrl", 0.1f}, {"In1", 2.0f}, {"In2", 3.0f}}, "Out", 2.0f},
        TValueCase{kTypeModClipper, {{"M", 0.5f}, {"In", 0.8f}}, "Out", 0.5f},
        TValueCase{kTypeModClipper, {{"M", -0.5f}, {"In", 0.8f}}, "Out", -0.5f},
        TValueCase{kTypeModClipper, {{"M", -0.5f}, {"In", -0.2f}}, "Out", 0.2f},
        TValueCase{kTypeMirror2, {{"In", 1.5f}, {"Max", 1.0f}, {"Min", -1.0f}}, "Out", 0.5f},
        TValueCase{kTypeMirror2, {{"In", -1.5f}, {"Max", 1.0f}, {"Min", -1.0f}}, "Out", -0.5f},
        TValueCase{kTypeSaturator, {{"In", 5.0f}}, "Out", 2.0f},
        TValueCase{kTypeSaturator, {{"In", -1.0f}}, "Out", -0.875f},
        TValueCase{kTypeShaper2Bp, {{"In", 0.8f}, {"Bp1", 0.5f}, {"Sl1", 0.5f}, {"Bp2", -0.5f}, {"Sl2", 2.0f}},
                   "Out", 0.65f},
        TValueCase{kTypeShaper3Bp,
                   {{"In", -0.6f}, {"Bp1", 0.5f}, {"Sl1", 0.5f}, {"Bp2", -0.5f}, {"SL2", 2.0f}, {"Sl-", 3.0f}},
                   "Out", -2.1f},
        TValueCase{kTypeCubicShaper, {{"In", 2.0f}, {"Lin", 1.0f}, {"Par", 0.5f}, {"Cub", 0.25f}}, "Out", 6.0f},
        TValueCase{kTypeRectifier, {{"In", -0.0f}}, "Sign", 1.0f},
        TValueCase{kTypeRectifier, {{"In", -2.0f}}, "Out", 2.0f},
        TValueCase{kTypeQuantizer, {{"In", 0.3f}, {"St", 0.0f}}, "Out", 0.3f},
        TValueCase{kTypeQuantizer, {{"In", 0.3f}, {"St", -0.0f}}, "Err", 0.0f},
        TValueCase{kTypeQuantizer, {{"In", 0.5f}, {"St", 1.0f}}, "Out", 1.0f},
        TValueCase{kTypeQuantizer, {{"In", -0.5f}, {"St", 1.0f}}, "Out", -1.0f},
        TValueCase{kTypeQuantizer, {{"In", 0.7f}, {"St", 0.5f}}, "Err", -0.2f},
        TValueCase{kTypeDifferentiator, {{"In", 0.5f}}, "Out", 22.05f},
        TValueCase{kTypeAudioLevelToGain, {{"Lvl", -20.0f}}, "A", 0.1f},
        TValueCase{kTypeAudioPitchToHz, {{"P", 69.0f}}, "F", 440.0f}));

TEST(Modifiers, SlewLimiterRisesOnePerFrameAtAThousandPerSecond) {
  TRig r(1000.0f);
  KSModul* slew = r.Solo(kTypeSlewLimiter, "Out");
  r.Constant(slew, "In", 10.0f);
  r.Constant(slew, "Up", 1000.0f);
  float& down = r.Constant(slew, "Dn", 0.0f);
  EXPECT_EQ(r.Render(5), (std::vector<float>{1.0f, 2.0f, 3.0f, 4.0f, 5.0f}));
  float& in = r.Constant(slew, "In", 7.5f);
  EXPECT_EQ(r.Render(3), (std::vector<float>{6.0f, 7.0f, 7.5f})) << "the last step lands on the input";
  // Falling with a rate of 0 holds; a fall rate lets it down.
  in = -10.0f;
  EXPECT_EQ(r.Render(2), (std::vector<float>{7.5f, 7.5f}));
  down = 2000.0f;
  EXPECT_EQ(r.Render(2), (std::vector<float>{5.5f, 3.5f}));
}

TEST(Modifiers, SampleAndHoldTakesTheInputOnRisingClockEdgesOnly) {
  TRig r;
  KSModul* sh = r.Solo(kTypeSampleHold, "Out");
  float& clock = r.Constant(sh, "C", 0.0f);
  float& in = r.Constant(sh, "In", 0.0f);
  const float clocks[] = {0, 1, 1, 0, -1, 2, 2};
  const float inputs[] = {5, 6, 7, 8, 9, 10, 11};
  std::vector<float> out;
  for (int i = 0; i < 7; ++i) {
    clock = clocks[i];
    in = inputs[i];
    out.push_back(r.Render(1)[0]);
  }
  EXPECT_EQ(out, (std::vector<float>{0, 6, 6, 6, 6, 10, 10}));
}

// Envelope times: a time value t lasts 10^(t/20) ms, so 40 is 100 ms.
TEST(Envelopes, AttackDecayAndReleaseFollowTheTimeFormula) {
  TRig r;
  KSModul* env = r.Solo(kTypeAdsrEnv, "Out");
  const float rate = TimeToRate(40.0f);  // per second
  ASSERT_NEAR(rate, 10.0f, 1e-3f);
  const TVoiceWords w = r.Words(env);
  w[QV_WORD_AT(GateEnvState, attackStep)].f = rate / kRate;  // at peak 1 (the gate event's work)
  w[QV_WORD_AT(GateEnvState, decay)].f = 1.0f - rate / kRate;
  w[QV_WORD_AT(GateEnvState, release)].f = 1.0f - rate / kRate;
  w[QV_WORD_AT(GateEnvState, peak)].f = 1.0f;
  w[QV_WORD_AT(GateEnvState, sustainLevel)].f = 0.5f;
  w[QV_WORD_AT(GateEnvState, decayPart)].f = 0.5f;  // above the sustain level
  w[QV_WORD_AT(GateEnvState, stage)].i = 3;
  const std::vector<float> attack = r.Render(4500);
  size_t top = 0;
  while (top < attack.size() && attack[top] < 1.0f) ++top;
  EXPECT_NEAR(double(top), 4410.0, 1.5) << "the attack takes 100 ms";
  EXPECT_EQ(w[QV_WORD_AT(GateEnvState, stage)].i, 1) << "then the decay";
  r.Render(int32_t(4410 - (4500 - top - 1)));
  EXPECT_NEAR(w[QV_WORD_AT(GateEnvState, out)].f, 0.5f + 0.5f * std::exp(-1.0f), 2e-3f) << "the decay falls by 1/e in 100 ms";
  const float held = r.Render(44100 * 2).back();
  EXPECT_NEAR(held, 0.5f, 1e-4f) << "and settles on the sustain level";
  w[QV_WORD_AT(GateEnvState, stage)].i = 0;
  r.Render(4410);
  EXPECT_NEAR(w[QV_WORD_AT(GateEnvState, out)].f, 0.5f * std::exp(-1.0f), 2e-3f) << "the release falls by 1/e in 100 ms";
}

// The stage words of the gate-driven envelopes: what each stage does.
TEST(Envelopes, StagesOfTheGateDrivenTypes) {
  struct TCase {
    TModuleType type;
    int32_t stage;         // the stage to start in, at output 0.5, peak 1
    int32_t stageAfter;    // after one frame
    float outAfter;
  };
  const TCase cases[] = {
      {kTypeAttackReleaseEnv, 1, 1, 0.6f},   // "AR" climbs and holds at the peak
      {kTypeDecayReleaseEnv, 3, 1, 1.0f},   // "DR" jumps to the peak
      {kTypeDecayReleaseEnv, 1, 1, 0.25f},  // and decays to 0
      {kTypeAdrEnv, 1, 1, 0.25f}, // "ADR" decays to 0
      {kTypeDsrEnv, 3, 1, 1.0f},   // "DSR" jumps to the peak
      {kTypeDbdrEnv, 3, 1, 1.0f},   // "DBDR" jumps to the peak
      {kTypeAdbdrEnv, 1, 2, 0.45f},  // the first decay reaches the knee
      {kTypeAdbdrEnv, 2, 2, 0.25f},  // the second decays to 0
      {kTypeAdbdsrEnv, 2, 2, 0.3f},   // "ADBDSR": to the sustain level (0.2 + 0.2 x 0.5)
      {kTypeAdsrEnv, 0, 0, 0.25f},  // release
  };
  // The knee types keep the gate types' words first; the cases set them by
  // the gate types' fields.
  static_assert(QV_WORD_AT(KneeEnvState, stage) == QV_WORD_AT(GateEnvState, stage) &&
                QV_WORD_AT(KneeEnvState, attackStep) == QV_WORD_AT(GateEnvState, attackStep));
  for (const TCase& c : cases) {
    TRig r;
    KSModul* env = r.Solo(c.type, "Out");
    const TVoiceWords w = r.Words(env);
    w[QV_WORD_AT(GateEnvState, out)].f = 0.5f;
    w[QV_WORD_AT(GateEnvState, decay)].f = 0.5f;
    w[QV_WORD_AT(GateEnvState, release)].f = 0.5f;
    w[QV_WORD_AT(GateEnvState, peak)].f = 1.0f;
    w[QV_WORD_AT(GateEnvState, attackStep)].f = 0.1f;
    w[QV_WORD_AT(GateEnvState, sustainLevel)].f = 0.2f;
    w[QV_WORD_AT(GateEnvState, decayPart)].f = 0.2f;
    w[QV_WORD_AT(GateEnvState, stage)].i = c.stage;
    if (c.type == kTypeAdbdrEnv || c.type == kTypeDbdrEnv || c.type == kTypeAdbdsrEnv || c.type == kTypeDbdsrEnv) {
      w[QV_WORD_AT(KneeEnvState, knee)].f = 0.45f;
      w[QV_WORD_AT(KneeEnvState, kneeStep)].f = -0.1f;   // the first decay's step
    }
    if (c.type == kTypeAttackReleaseEnv) w[QV_WORD_AT(GateEnvState, attackStep)].f = 0.1f;
    r.Render(1);
    EXPECT_EQ(w[QV_WORD_AT(GateEnvState, stage)].i, c.stageAfter) << "type " << c.type.type;
    EXPECT_NEAR(w[QV_WORD_AT(GateEnvState, out)].f, c.outAfter, 1e-6f) << "type " << c.type.type;
  }
}

TEST(Envelopes, ReachingTheKneeHandsTheSustainTypesTheirDecayPart) {
  TRig r;
  KSModul* env = r.Solo(kTypeAdbdsrEnv, "Out");
  const TVoiceWords w = r.Words(env);
  w[QV_WORD_AT(KneeEnvState, out)].f = 0.5f;
  w[QV_WORD_AT(KneeEnvState, sustainLevel)].f = 0.2f;
  w[QV_WORD_AT(KneeEnvState, knee)].f = 0.45f;
  w[QV_WORD_AT(KneeEnvState, kneeStep)].f = -0.1f;
  w[QV_WORD_AT(KneeEnvState, stage)].i = 1;
  r.Render(1);
  EXPECT_EQ(w[QV_WORD_AT(KneeEnvState, stage)].i, 2);
  EXPECT_FLOAT_EQ(w[QV_WORD_AT(KneeEnvState, decayPart)].f, 0.25f);
}

TEST(Envelopes, TriggeredDecayRestartsOnEachEdgeOnly) {
  TRig r;
  KSModul* env = r.Solo(kTypeDecayEnv, "Out");
  r.Words(env)[QV_WORD_AT(DecayEnvState, decay)].f = 0.5f;
  float& trig = r.Constant(env, "Trg", 1.0f);
  r.Constant(env, "A", 2.0f);
  EXPECT_EQ(r.Render(3), (std::vector<float>{2.0f, 1.0f, 0.5f}));
  trig = 0.0f;
  r.Render(1);
  trig = 1.0f;
  EXPECT_EQ(r.Render(1)[0], 2.0f);
}

TEST(Envelopes, HoldPulseSendsItsValueAndZeroAfterTheHold) {
  TEventSpy spy;
  TRig r;
  KSModul* env = spy.Watch(r, kTypeHoldEnv, {"Out"});
  r.Words(env)[QV_WORD_AT(HoldEnvState, holdFrames)].i = 3;
  float& trig = r.Constant(env, "Trg", 1.0f);
  r.Constant(env, "A", 0.7f);
  r.Render(5);
  EXPECT_EQ(rig::Values(0), (std::vector<float>{0.7f, 0.0f}));
  trig = 0.0f;
  r.Render(1);
  TEventSpy::Clear();
  // A hold of 0 frames still closes the pulse on the next frame.
  r.Words(env)[QV_WORD_AT(HoldEnvState, holdFrames)].i = 0;
  trig = 1.0f;
  r.Render(3);
  EXPECT_EQ(rig::Values(0), (std::vector<float>{0.7f, 0.0f}));
}

TEST(Envelopes, MultiRampPassesItsTargetsAndSendsTheStages) {
  TEventSpy spy;
  TRig r;
  KSModul* env = r.Add(kTypeRamp4Env);  // three ramps
  KSModul* catcher = spy.Attach(r);
  r.Wire(env, "St", catcher, TEventSpy::Input(0));
  r.Listen(env, "Out");
  r.Ready();
  TEventSpy::Clear();
  using Ramp4 = RampEnvState<3>;
  const TVoiceWords w = r.Words(env);
  // As the gate event leaves it: stage 1 towards level 1 at rate 0.5.
  w[QV_WORD_AT(Ramp4, stage)].f = 1.0f;
  w[QV_WORD_AT(Ramp4, peak)].f = 1.0f;
  w[QV_WORD_AT(Ramp4, ramp[0].rate)].f = 0.5f;  w[QV_WORD_AT(Ramp4, ramp[0].level)].f = 1.0f;
  w[QV_WORD_AT(Ramp4, ramp[1].rate)].f = 0.5f;  w[QV_WORD_AT(Ramp4, ramp[1].level)].f = 0.5f;
  w[QV_WORD_AT(Ramp4, ramp[2].rate)].f = 0.5f;  w[QV_WORD_AT(Ramp4, ramp[2].level)].f = 0.25f;
  w[QV_WORD_AT(Ramp4, target)].f = 1.0f;
  w[QV_WORD_AT(Ramp4, slope)].f = 0.5f;
  r.Render(40);
  EXPECT_EQ(rig::Values(0), (std::vector<float>{2.0f, 3.0f, 4.0f}));
  EXPECT_FLOAT_EQ(w[QV_WORD_AT(Ramp4, level)].f, 0.25f) << "sustains on the last level";
  // A release towards 0 ends with stage 0.
  TEventSpy::Clear();
  w[QV_WORD_AT(Ramp4, stage)].f = -1.0f;
  w[QV_WORD_AT(Ramp4, target)].f = 0.0f;
  w[QV_WORD_AT(Ramp4, slope)].f = -0.05f;
  r.Render(20);
  EXPECT_EQ(rig::Values(0), (std::vector<float>{0.0f}));
  EXPECT_EQ(w[QV_WORD_AT(Ramp4, level)].f, 0.0f);
}

TEST(EventSources, SequencerWrapsAndResets) {
  TEventSpy spy;
  TRig r;
  KSModul* seq = r.Add(kTypeSequencer6);  // six steps
  KSModul* catcher = spy.Attach(r);
  r.Wire(seq, "Out", catcher, TEventSpy::Input(0));
  r.Wire(seq, "G", catcher, TEventSpy::Input(1));
  r.Wire(seq, "Stp", catcher, TEventSpy::Input(2));
  r.Ready();
  TEventSpy::Clear();
  float& clock = r.Constant(seq, "C", 0.0f);
  float& reset = r.Constant(seq, "Rst", 0.0f);
  r.Constant(seq, "GA", 0.8f);
  const char* steps[] = {"S1", "S2", "S3", "S4", "S5", "S6"};
  for (int k = 0; k < 6; ++k) r.Constant(seq, steps[k], float(10 * (k + 1)));
  auto tick = [&] {
    clock = 1.0f;
    r.Render(2);  // held high acts once
    clock = 0.0f;
    r.Render(1);
  };
  for (int i = 0; i < 8; ++i) tick();
  EXPECT_EQ(rig::Values(0), (std::vector<float>{10, 20, 30, 40, 50, 60, 10, 20}));
  EXPECT_EQ(rig::Values(2), (std::vector<float>{1, 2, 3, 4, 5, 6, 1, 2}));
  // The gate opens with GA on every step and closes on every falling edge.
  const std::vector<float> gates = rig::Values(1);
  ASSERT_EQ(gates.size(), 16u);
  for (size_t i = 0; i < gates.size(); ++i) EXPECT_EQ(gates[i], i % 2 ? 0.0f : 0.8f);
  // A reset sends nothing and makes the next step S1.
  TEventSpy::Clear();
  reset = 1.0f;
  r.Render(2);
  EXPECT_TRUE(rig::Sent(0).empty());
  tick();
  EXPECT_EQ(rig::Values(0), (std::vector<float>{10}));
}

TEST(EventSources, AudioToGateSendsTheAmplitudeOnRisesAndZeroOnFalls) {
  TEventSpy spy;
  TRig r;
  KSModul* gate = spy.Watch(r, kTypeAudioToGate, {"Out"});
  float& t = r.Constant(gate, "T", 0.0f);
  r.Constant(gate, "A", 0.6f);
  for (float v : {0.0f, 1.0f, 1.0f, -0.0f, 0.5f, -1.0f}) {
    t = v;
    r.Render(1);
  }
  EXPECT_EQ(rig::Values(0), (std::vector<float>{0.6f, 0.0f, 0.6f, 0.0f}));
}

TEST(EventSources, EventDelaySendsThePendingValueAfterTheDelay) {
  TEventSpy spy;
  TRig r(1000.0f);
  KSModul* delay = spy.Watch(r, kTypeEventDelay, {"Out"});
  r.Constant(delay, "Dly", 2.5f);
  const TVoiceWords w = r.Words(delay);
  w[QV_WORD_AT(EventDelayState, value)].f = 9.0f;  // as the In event leaves it
  w[QV_WORD_AT(EventDelayState, pending)].f = 1.0f;
  r.Render(3);
  EXPECT_TRUE(rig::Sent(0).empty());
  r.Render(1);
  EXPECT_EQ(rig::Values(0), (std::vector<float>{9.0f}));
  r.Render(10);
  EXPECT_EQ(rig::Sent(0).size(), 1u);
}

TEST(EventSources, SmootherMovesByItsSlopeAndStopsOnTheTarget) {
  TRig r;
  KSModul* s = r.Solo(kTypeEventSmoother, "Out");
  const TVoiceWords w = r.Words(s);
  w[QV_WORD_AT(SmootherState, slope)].f = 0.25f;
  w[QV_WORD_AT(SmootherState, target)].f = 1.0f;
  EXPECT_EQ(r.Render(6), (std::vector<float>{0.25f, 0.5f, 0.75f, 1.0f, 1.0f, 1.0f}));
  EXPECT_EQ(w[QV_WORD_AT(SmootherState, slope)].f, 0.0f);
}
