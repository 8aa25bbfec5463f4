// Control-rate and clock-tick routines through the offline driver.
#include "tests/engine/routine_spy.h"

#include "src/engine/control_routines.h"
#include "src/engine/tables.h"
#include "src/engine/voice_state.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>
#include <utility>
#include <vector>

using rig::TEventSpy;
using rig::TRig;

namespace {

// Frames from one control-rate pass to the next.
int32_t ControlStep() { return EngineConstants.controlPeriod + 1; }

} // namespace

TEST(ControlRate, LfoAtZeroFrequencyKeepsSendingTheSameValues) {
  TEventSpy spy;
  TRig r;
  KSModul* lfo = spy.Watch(r, kTypeLfo, {"Sin", "Tri", "Pls"});
  float& f = r.Constant(lfo, "F", 0.0f);
  r.Constant(lfo, "A", 1.0f);
  r.Constant(lfo, "W", 0.2f);
  r.Words(lfo)[QV_WORD_AT(LfoState, phase)].f = 0.3f;  // somewhere in the cycle
  r.Render(5 * ControlStep());
  for (int k = 0; k < 3; ++k) {
    const std::vector<float> sent = rig::Values(k);
    ASSERT_EQ(sent.size(), 5u) << "output " << k << " every control period";
    for (float v : sent) EXPECT_EQ(v, sent[0]) << "output " << k;
  }
  EXPECT_EQ(r.Words(lfo)[QV_WORD_AT(LfoState, phase)].f, 0.3f) << "the phase holds";
  // With a frequency the values move and stay within the amplitude.
  TEventSpy::Clear();
  f = 7.0f;
  r.Render(40 * ControlStep());
  const std::vector<float> tri = rig::Values(1);
  EXPECT_GT(std::set<float>(tri.begin(), tri.end()).size(), 10u);
  for (int k = 0; k < 3; ++k)
    for (float v : rig::Values(k)) EXPECT_LE(std::fabs(v), 1.0f + 1e-5f);
}

TEST(ControlRate, SmootherPassesAtOnceWithoutSmoothingOrTimeAndRampsOtherwise) {
  struct TCase {
    int32_t on;
    float ms;
    size_t periodsToTarget;  // passes until the output reaches the new value
  };
  const TCase cases[] = {{0, 100.0f, 1}, {1, 0.0f, 1}, {1, -5.0f, 1}, {1, 100.0f, 10}};
  for (const TCase& c : cases) {
    TEventSpy spy;
    TRig r;
    KSModul* s = r.Add(kTypeAudioToEventSmoothed);
    KSModul* catcher = spy.Attach(r);
    r.Wire(s, "Out", catcher, TEventSpy::Input(0));
    r.Ready();
    TEventSpy::Clear();
    r.Record(s)->params[kSmootherOnParam].i = c.on;
    r.Record(s)->params[kSmootherTimeParam].f = c.ms;
    float& in = r.Constant(s, "In", 0.0f);
    r.Render(2 * ControlStep());
    TEventSpy::Clear();
    in = 1.0f;
    r.Render(int32_t(14 * ControlStep()));
    const std::vector<float> sent = rig::Values(0);
    // (a float ramp may need one pass more to pass its target)
    ASSERT_GE(sent.size(), c.periodsToTarget) << "time " << c.ms;
    ASSERT_LE(sent.size(), c.periodsToTarget + (c.periodsToTarget > 1 ? 1 : 0)) << "time " << c.ms;
    EXPECT_EQ(sent.back(), 1.0f);
    for (size_t i = 1; i < sent.size(); ++i) EXPECT_GE(sent[i], sent[i - 1]);
  }
}

TEST(ControlRate, SlowRandomIsSilentAtZeroFrequencyAndWithinTheAmplitudeOtherwise) {
  TEventSpy spy;
  TRig r;
  KSModul* rnd = spy.Watch(r, kTypeSlowRandom, {"Out"});
  float& f = r.Constant(rnd, "F", 0.0f);
  r.Constant(rnd, "A", 0.5f);
  r.Render(3 * ControlStep());
  EXPECT_EQ(rig::Values(0), (std::vector<float>{0.0f, 0.0f, 0.0f}));
  TEventSpy::Clear();
  f = 1000.0f;  // beyond the control rate: raw random values
  r.Render(50 * ControlStep());
  const std::vector<float> sent = rig::Values(0);
  EXPECT_GT(std::set<float>(sent.begin(), sent.end()).size(), 40u);
  for (float v : sent) EXPECT_LE(std::fabs(v), 0.5f);
}

TEST(ControlRate, HoldSendsZeroOnceItsTimeHasPassed) {
  TEventSpy spy;
  TRig r;
  KSModul* hold = spy.Watch(r, kTypeHold, {"Out"});
  r.Constant(hold, "H", 25.0f);
  r.Words(hold)[QV_WORD_AT(HoldState, out)].f = 1.0f;  // as the gate event leaves it
  const float period = 1.0f / float(EngineConstants.controlRate);
  const int32_t passes = int32_t(std::floor(0.025f / period)) + 1;
  r.Render((passes - 1) * ControlStep());
  EXPECT_TRUE(rig::Sent(0).empty());
  r.Render(ControlStep());
  EXPECT_EQ(rig::Values(0), (std::vector<float>{0.0f}));
  r.Render(5 * ControlStep());
  EXPECT_EQ(rig::Sent(0).size(), 1u);
}

// Clock sources: 24 ticks per quarter note, 48 per second at 120 BPM.
TEST(ClockTick, EveryTickSendsTheValueAndSyncSendsPulsesOfItsLength) {
  struct TCase {
    TModuleType type;
    int32_t rate, length;
    std::vector<float> expected;  // over the first 25 ticks
  };
  const TCase cases[] = {
      {kTypeClockTick, 0, 0, std::vector<float>(25, 0.5f)},
      {kTypeClockSync, 12, 6, {0.5f, 0.0f, 0.5f, 0.0f, 0.5f}},
      {kTypeClockSync, 12, 12, {0.5f, 0.5f, 0.5f}},  // a length not below the rate never sends 0
      {kTypeClockSync, 4, 0, {0.5f, 0.0f, 0.5f, 0.0f, 0.5f, 0.0f, 0.5f, 0.0f, 0.5f, 0.0f, 0.5f, 0.0f, 0.5f, 0.0f}},
  };
  for (const TCase& c : cases) {
    TEventSpy spy;
    TRig r;
    KSModul* src = r.Add(c.type);
    KSModul* catcher = spy.Attach(r);
    r.Wire(src, "", catcher, TEventSpy::Input(0));
    r.Ready();
    TEventSpy::Clear();
    TEngineRecord* rec = r.Record(src);
    rec->params[kClockValueParam].f = 0.5f;
    rec->params[kSyncRateParam].i = c.rate;
    rec->params[kSyncLengthParam].i = c.length;
    r.host.Driver().StartClock();
    // 25 ticks: the first on the first frame, then every 918.75 frames.
    r.Render(int32_t(24.4 * 918.75));
    EXPECT_EQ(rig::Values(0), c.expected) << "type " << c.type.type << " rate " << c.rate;
    r.host.Driver().StopClock();
  }
}

TEST(ClockTick, TheListTakesAsManyClockSourcesAsItsOneLimit) {
  testhost::THost host;
  std::vector<std::unique_ptr<KSModul>> sources;
  for (int32_t i = 0; i <= kMaxClockTick; ++i) {
    sources.push_back(testhost::LooseModule(host, kTypeClockTick, 1, 0, 1));
    host.Driver().PrepareModule(sources.back().get());
  }
  EXPECT_EQ(EngineSlots.tickCount, kMaxClockTick);
  EXPECT_NE(sources.back()->GetEngineRecord(), nullptr) << "the one beyond still has its record";
  sources.clear();
  EXPECT_EQ(EngineSlots.tickCount, 0);
}

// The model wires event outputs by label, the routines send by slot: with
// several outputs every label must carry its own value. Each type runs in
// the offline driver; an event input is fed by an "A/E" sending a constant
// every control period.
TEST(EventOutputs, EachLabelledOutputCarriesItsOwnValue) {
  constexpr float kNothing = std::numeric_limits<float>::quiet_NaN();
  const float periodMs = float(ControlStep()) * 1000.0f / 44100.0f;
  struct TCase {
    TModuleType type;
    std::vector<const char*> outputs;  // to the spy's inputs 0, 1, 2
    std::vector<std::pair<const char*, float>> constants;
    const char* eventIn;  // fed with eventValue, or null
    float eventValue;
    std::vector<float> lastSent;  // per output; kNothing: it sent nothing
  };
  // "LFO" at phase 0.3, standing still: the triangle falls towards -1 after
  // its peak at -0.25, the sine is (2 + t) t, the pulse is high below W.
  const float tri = -0.7f / 0.75f;
  const TCase cases[] = {
      {kTypeSeparator, {"Lo", "Hi"}, {{"Thld", 0.5f}}, "In", 0.75f, {kNothing, 0.75f}},
      {kTypeSeparator, {"Hi", "Lo"}, {{"Thld", 0.5f}}, "In", 0.25f, {kNothing, 0.25f}},
      {kTypeEventQuantizer, {"Err", "Out"}, {{"Ofs", 0.0f}, {"St", 0.25f}}, "In", 0.375f, {0.125f, 0.5f}},
      {kTypeTimer, {"F", "T"}, {}, "In", 1.0f, {1000.0f / periodMs, periodMs}},
      {kTypeAnd, {"Not", "Out"}, {}, "A", 1.0f, {1.0f, 0.0f}},
      {kTypeNot, {"Not", "Out"}, {}, "In", 1.0f, {1.0f, 0.0f}},
      {kTypeDemux, {"Out", "Bar", "Stp"}, {{"Len", 4.0f}, {"2", 0.75f}}, "Pos", 6.0f, {0.75f, 1.0f, 2.0f}},
      {kTypeSequencer6, {"Stp", "Out", "G"}, {{"C", 1.0f}, {"GA", 0.5f}, {"S1", 0.25f}}, nullptr, 0.0f,
       {1.0f, 0.25f, 0.5f}},
      {kTypeLfo, {"Pls", "Tri", "Sin"}, {{"F", 0.0f}, {"A", 1.0f}, {"W", 0.5f}}, nullptr, 0.0f,
       {1.0f, tri, (2.0f + tri) * tri}},
  };
  for (const TCase& c : cases) {
    TEventSpy spy;
    TRig r;
    KSModul* m = r.Add(c.type);
    KSModul* catcher = spy.Attach(r);
    for (size_t k = 0; k < c.outputs.size(); ++k) r.Wire(m, c.outputs[k], catcher, TEventSpy::Input(int32_t(k)));
    KSModul* feed = c.eventIn ? r.Add(kTypeAudioToEvent) : nullptr;
    if (feed) r.Wire(feed, "Out", m, c.eventIn);
    r.Ready();
    if (feed) r.Constant(feed, "In", c.eventValue);
    for (const auto& [label, value] : c.constants) r.Constant(m, label, value);
    if (c.type == kTypeLfo) r.Words(m)[QV_WORD_AT(LfoState, phase)].f = 0.3f;
    TEventSpy::Clear();
    r.Render(4 * ControlStep());
    for (size_t k = 0; k < c.outputs.size(); ++k) {
      const std::vector<float> sent = rig::Values(int32_t(k));
      const float want = c.lastSent[k];
      if (std::isnan(want)) {
        EXPECT_TRUE(sent.empty()) << "type " << c.type.type << " output " << c.outputs[k];
        continue;
      }
      ASSERT_FALSE(sent.empty()) << "type " << c.type.type << " output " << c.outputs[k];
      EXPECT_NEAR(sent.back(), want, 1e-4f * std::max(1.0f, std::fabs(want)))
          << "type " << c.type.type << " output " << c.outputs[k];
    }
  }
}
