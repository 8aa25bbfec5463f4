// Display-update routines, panel graph renderers, and a whole sounding graph
// rendered through the offline driver.
#include "tests/engine/routine_rig.h"

#include "platform/fpu.h"
#include "src/engine/convert.h"
#include "src/engine/display_routines.h"
#include "src/engine/graph_render.h"
#include "src/engine/routine_registry.h"
#include "src/engine/tables.h"
#include "src/engine/voice_state.h"

#include <cmath>
#include <atomic>
#include <map>
#include <thread>

using rig::TRig;

namespace {

class TPanel : public IPanelHost {
public:
  TPanel() : previous_(SetPanelHost(this)) {}
  ~TPanel() override { SetPanelHost(previous_); }
  void RefreshControlViews(IEngineModule* module) override { ++refreshes[module]; }
  bool IsGraphMarked(IEngineModule* module) override { return marked.count(module) != 0; }
  TGraphColumns GetGraphColumns(IEngineModule*) override { return {columns.data(), int32_t(columns.size()), 52}; }

  std::map<IEngineModule*, int> refreshes;
  std::map<IEngineModule*, bool> marked;
  std::vector<float> columns = std::vector<float>(100, -7.0f);

private:
  IPanelHost* previous_;
};

// Runs the engine's display list once, as the panel refresh does.
void RefreshPanels(TRig& r) {
  TAudioInOut& d = r.host.Driver();
  for (int32_t i = 0; i < d.GetDisplayRoutineCount(); ++i) d.GetDisplayRoutines()[i](d.GetDisplayArgs()[i]);
}

// Displays run only when what feeds them runs anyway: the test signal goes
// through a "+" to the output and on to the displays.
void FeedDisplays(TRig& r, std::initializer_list<KSModul*> displays) {
  KSModul* pass = r.Add(kTypeAudioSum2);
  r.WireAt(r.in, "L", pass, 0);
  r.Listen(pass, "");
  for (KSModul* d : displays) r.Wire(pass, "", d, "In");
}

constexpr int32_t kWidth = 100, kHeight = 52;

std::vector<float> Render(TModuleType type, const TEngineRecord* record, int32_t width = kWidth) {
  std::vector<float> columns(size_t(width), -7.0f);
  EXPECT_TRUE(RenderGraph(type.type, record, columns.data(), width, kHeight));
  return columns;
}

} // namespace

TEST(Display, LampLightsInsideItsRangeAndRefreshesOnChangesOnly) {
  TPanel panel;
  TRig r;
  KSModul* lamp = r.Add(kTypeLamp);
  FeedDisplays(r, {lamp});
  r.Ready();
  TEngineRecord* rec = r.Record(lamp);
  ASSERT_NE(rec, nullptr);
  rec->params[kLampLowParam].f = 0.2f;
  rec->params[kLampHighParam].f = 0.8f;
  float& in = r.Constant(lamp, "In", 0.5f);
  struct TStep {
    float value;
    int32_t lit;
    int refreshes;
  };
  const TStep steps[] = {{0.5f, 1, 1}, {0.6f, 1, 1}, {0.8f, 1, 1}, {0.9f, 0, 2}, {0.2f, 0, 2}, {0.21f, 1, 3}};
  for (const TStep& s : steps) {
    in = s.value;
    r.Render(1); // the block publishes the input for the panel
    RefreshPanels(r);
    EXPECT_EQ(rec->state[0][QV_WORD_AT(LampState, lit)].i, s.lit) << s.value;
    EXPECT_EQ(panel.refreshes[lamp], s.refreshes) << s.value;
  }
}

TEST(Display, LevelMeterHoldsThePeakPowerAndItDecaysTowardFourPicoButNeverZero) {
  TPanel panel;
  TRig r;
  KSModul* meter = r.Add(kTypeLevelLamp);
  FeedDisplays(r, {meter});
  r.Ready();
  const TVoiceWords w = r.Words(meter);
  w[QV_WORD_AT(LevelLampState, low)].f = 0.01f;  // low and high powers (set-up takes them from the settings)
  w[QV_WORD_AT(LevelLampState, high)].f = 1.0f;
  r.Render(3, {0.5f, -0.7f, 0.1f});
  EXPECT_FLOAT_EQ(w[QV_WORD_AT(LevelLampState, peak)].f, 0.49f) << "the peak of the power";
  RefreshPanels(r);
  EXPECT_EQ(w[QV_WORD_AT(LevelLampState, lit)].i, 1);
  EXPECT_FLOAT_EQ(w[QV_WORD_AT(LevelLampState, peak)].f, 0.49f * 0.75f + 1e-12f);
  for (int i = 0; i < 400; ++i) RefreshPanels(r);
  EXPECT_NEAR(w[QV_WORD_AT(LevelLampState, peak)].f, 4e-12f, 1e-14f);
  EXPECT_GT(w[QV_WORD_AT(LevelLampState, peak)].f, 0.0f);
  EXPECT_EQ(w[QV_WORD_AT(LevelLampState, lit)].i, 0) << "silence is below the range";
  EXPECT_EQ(panel.refreshes[meter], 2);
}

TEST(Display, MeterRefreshesOnChangesAndLevelOnEveryCall) {
  TPanel panel;
  TRig r;
  KSModul* mtr = r.Add(kTypeMeter);
  KSModul* lvl = r.Add(kTypeLevelMeter);
  FeedDisplays(r, {mtr, lvl});
  r.Ready();
  float& in = r.Constant(mtr, "In", 0.3f);
  r.Render(1);
  RefreshPanels(r);
  RefreshPanels(r);
  in = 0.4f;
  r.Render(1);
  RefreshPanels(r);
  EXPECT_EQ(panel.refreshes[mtr], 2);
  EXPECT_FLOAT_EQ(r.Words(mtr)[QV_WORD_AT(MeterState, value)].f, 0.4f);
  EXPECT_EQ(panel.refreshes[lvl], 3);
}

// The panel never reads another module's output: lamps and meters show what
// the last block published into their own state, the value of the watched
// output at the block's end.
TEST(Display, LampsAndMetersShowWhatTheLastBlockPublished) {
  TPanel panel;
  TRig r;
  KSModul* lamp = r.Add(kTypeLamp);
  KSModul* mtr = r.Add(kTypeMeter);
  FeedDisplays(r, {lamp, mtr});
  r.Ready();
  TEngineRecord* rec = r.Record(lamp);
  rec->params[kLampLowParam].f = 0.2f;
  rec->params[kLampHighParam].f = 0.8f;
  // The signal passes through the "+" on its way to both displays.
  r.Render(4, {0.1f, 0.9f, 0.7f, 0.5f});
  RefreshPanels(r);
  EXPECT_EQ(r.Words(lamp)[QV_WORD_AT(LampState, lit)].i, 1) << "0.5, the last frame, lies in the range";
  EXPECT_FLOAT_EQ(r.Words(mtr)[QV_WORD_AT(MeterState, value)].f, 0.5f);
  EXPECT_EQ(panel.refreshes[mtr], 1);
  // A block that ends above the range turns the lamp off at the next pass.
  r.Render(2, {0.5f, 0.95f});
  EXPECT_EQ(r.Words(lamp)[QV_WORD_AT(LampState, lit)].i, 1) << "nothing changes before the panel's pass";
  RefreshPanels(r);
  EXPECT_EQ(r.Words(lamp)[QV_WORD_AT(LampState, lit)].i, 0);
  EXPECT_FLOAT_EQ(r.Words(mtr)[QV_WORD_AT(MeterState, value)].f, 0.95f);
  EXPECT_EQ(panel.refreshes[lamp], 2);
  EXPECT_EQ(panel.refreshes[mtr], 2);
  // Released displays leave the publishing list with their records.
  const int32_t before = EngineSlots.watchCount;
  EXPECT_GE(before, 2);
  r.host.Top()->DeleteChild(lamp);
  EXPECT_EQ(EngineSlots.watchCount, before - 1);
  r.Render(1);
}

// A lamp's range is the minimum and maximum its properties set: it reaches
// the record when processing starts, at once while it runs, and survives a
// rebuild of processing.
TEST(Display, ALampsRangeIsItsMinimumAndMaximum) {
  TPanel panel;
  TRig r;
  KSModul* lamp = r.Add(kTypeLamp);
  lamp->SetControlRange(0.2f, 0, 0.8f, 127, 0.0f);
  FeedDisplays(r, {lamp});
  r.Ready();
  struct TStep {
    float low, high, value;
    int32_t lit;
  } steps[] = {{0.2f, 0.8f, 0.5f, 1}, {0.2f, 0.8f, 0.9f, 0}, {0.6f, 0.95f, 0.9f, 1}, {0.6f, 0.95f, 0.5f, 0}};
  for (const TStep& st : steps) {
    SCOPED_TRACE(st.value);
    lamp->SetControlRange(st.low, 0, st.high, 127, 0.0f);
    r.Render(1, {st.value});
    RefreshPanels(r);
    EXPECT_EQ(r.Words(lamp)[QV_WORD_AT(LampState, lit)].i, st.lit);
  }
  // Muting releases the record (handing its words back); unmuting builds a
  // new one from the module's range.
  lamp->Mute();
  EXPECT_EQ(r.Record(lamp), nullptr);
  lamp->Unmute();
  ASSERT_NE(r.Record(lamp), nullptr);
  EXPECT_FLOAT_EQ(r.Record(lamp)->params[kLampLowParam].f, 0.6f);
  EXPECT_FLOAT_EQ(r.Record(lamp)->params[kLampHighParam].f, 0.95f);
  r.Render(1, {0.7f});
  RefreshPanels(r);
  EXPECT_EQ(r.Words(lamp)[QV_WORD_AT(LampState, lit)].i, 1);
  EXPECT_FLOAT_EQ(lamp->GetMinimum(), 0.6f) << "the record's words hand the range back unchanged";
  EXPECT_FLOAT_EQ(lamp->GetMaximum(), 0.95f);
}

TEST(Display, GraphRefreshesOnlyWhenMarkedAndRendersIntoThePanelBuffer) {
  TPanel panel;
  TRig r;
  KSModul* env = r.Solo(kTypeDecayEnv, "Out");
  r.Words(env)[QV_WORD_AT(DecayEnvState, decay)].f = 0.99999f;
  RefreshPanels(r);
  EXPECT_EQ(panel.refreshes[env], 0);
  panel.marked[env] = true;
  RefreshPanels(r);
  EXPECT_EQ(panel.refreshes[env], 1);
  GetGraphRenderer(0, 35)(r.Record(env));
  EXPECT_FLOAT_EQ(panel.columns[0], 51.0f) << "the decay starts at full height";
  EXPECT_LT(panel.columns[99], panel.columns[0]);
}

TEST(Graphs, AttackStepOfZeroPutsTheAttackOffTheGraph) {
  TRig r;
  KSModul* env = r.Solo(kTypeAdsrEnv, "Out");
  const TVoiceWords w = r.Words(env);
  w[QV_WORD_AT(GateEnvState, attackUnit)].f = 0.0f;
  w[QV_WORD_AT(GateEnvState, decay)].f = 0.999f;
  w[QV_WORD_AT(GateEnvState, release)].f = 0.999f;
  w[QV_WORD_AT(GateEnvState, sustain)].f = 0.5f;
  const std::vector<float> columns = Render(kTypeAdsrEnv, r.Record(env));
  for (int32_t i = 0; i < kWidth; ++i)
    EXPECT_NEAR(columns[i], float(i) / float(kWidth) / 10000.0f * float(kHeight - 1), 1e-6f) << i;
}

TEST(Graphs, ADecayFactorOfPointNineOrLessDrawsAnInstantDecay) {
  TRig r;
  KSModul* env = r.Solo(kTypeDecayEnv, "Out");
  r.Words(env)[QV_WORD_AT(DecayEnvState, decay)].f = 0.9f;
  const std::vector<float> columns = Render(kTypeDecayEnv, r.Record(env));
  EXPECT_FLOAT_EQ(columns[0], float(kHeight - 1));
  for (int32_t i = 1; i < kWidth; ++i) EXPECT_EQ(columns[i], 0.0f) << i;
}

// The time axis: 1 ms at 0, each factor e of time 0.05429 further on. A
// 100 ms release (time value 40) lasts 0.25 of the width, so an AR graph
// with a 1 ms attack holds full height up to 0.5 and falls to 1/e at 0.75.
TEST(Graphs, ReleaseLengthFollowsTheTimeAxis) {
  TRig r;
  KSModul* env = r.Solo(kTypeAttackReleaseEnv, "Out");
  const TVoiceWords w = r.Words(env);
  const float sr = EngineConstants.processingRate;
  w[QV_WORD_AT(GateEnvState, attackUnit)].f = 1000.0f / sr;               // 1 ms attack
  w[QV_WORD_AT(GateEnvState, release)].f = 1.0f - TimeToRate(40.0f) / sr;
  const std::vector<float> columns = Render(kTypeAttackReleaseEnv, r.Record(env), 400);
  EXPECT_EQ(columns[0], 0.0f);
  EXPECT_FLOAT_EQ(columns[100], 51.0f);
  EXPECT_FLOAT_EQ(columns[199], 51.0f);
  EXPECT_NEAR(columns[300], 51.0f * std::exp(-1.0f), 0.1f);
}

// The step per sample of a linear stage that lasts to position x on the time
// axis (the axis' own formula turned around).
float StepForPosition(double x) {
  const double seconds = std::exp(x / 0.05429 - 6.9078);
  return float(1.0 / (seconds * double(EngineConstants.processingRate)));
}

TEST(Graphs, RampsKneesAndHoldsLieWhereTheirTimesPutThem) {
  struct TPoint {
    int32_t column;
    float level;  // 0 ... 1 of the height
  };
  struct TCase {
    TModuleType type;
    std::vector<std::pair<int32_t, float>> words;
    std::vector<TPoint> points;
  };
  using Ramp4 = RampEnvState<3>;
  const TCase cases[] = {
      // Three ramps of 0.1 each to levels 1, 0.5, 0.25, held to the release
      // at 0.8, which reaches 0 at the right edge.
      {kTypeRamp4Env,
       {{QV_WORD_AT(Ramp4, ramp[0].rate), StepForPosition(0.1)},
        {QV_WORD_AT(Ramp4, ramp[0].level), 1.0f},
        {QV_WORD_AT(Ramp4, ramp[1].rate), StepForPosition(0.1)},
        {QV_WORD_AT(Ramp4, ramp[1].level), 0.5f},
        {QV_WORD_AT(Ramp4, ramp[2].rate), StepForPosition(0.1)},
        {QV_WORD_AT(Ramp4, ramp[2].level), 0.25f},
        {QV_WORD_AT(Ramp4, releaseRate), StepForPosition(0.2)}},
       {{0, 0.0f}, {5, 0.5f}, {10, 1.0f}, {15, 0.75f}, {20, 0.5f}, {30, 0.25f}, {70, 0.25f}, {90, 0.125f}}},
      // A first decay of 0.4 down to the knee 0.5, reached at 0.2.
      {kTypeDbdrEnv,
       {{QV_WORD_AT(KneeEnvState, kneeRate), StepForPosition(0.4)},
        {QV_WORD_AT(KneeEnvState, kneeFraction), 0.5f},
        {QV_WORD_AT(KneeEnvState, decay), 0.9999f},
        {QV_WORD_AT(KneeEnvState, release), 0.9999f}},
       {{0, 1.0f}, {10, 0.75f}, {20, 0.5f}}},
      // A hold of 100 ms lasts a quarter of the width.
      {kTypeHoldEnv, {}, {{0, 1.0f}, {24, 1.0f}, {26, 0.0f}, {99, 0.0f}}},
  };
  for (const TCase& c : cases) {
    TRig r;
    KSModul* env = r.Add(c.type);
    if (c.type == kTypeHoldEnv) {
      KSModul* amp = r.Add(kTypeAmp);  // the hold envelope sends events
      r.Wire(env, "Out", amp, "Lvl");
      r.Listen(amp, "Out");
    } else {
      r.Listen(env, "Out");
    }
    r.Ready();
    ASSERT_NE(r.Record(env), nullptr) << c.type.type;
    for (const auto& [word, value] : c.words) r.Words(env)[word].f = value;
    if (c.type == kTypeHoldEnv) r.Words(env)[QV_WORD_AT(HoldEnvState, holdFrames)].i = 4410;
    const std::vector<float> columns = Render(c.type, r.Record(env));
    for (const TPoint& p : c.points)
      EXPECT_NEAR(columns[p.column], p.level * float(kHeight - 1), 0.6f)
          << "type " << c.type.type << " column " << p.column;
  }
}

TEST(Graphs, ColumnsAboveTheTopFrequencyHoldTheNoValueMark) {
  TRig r(22050.0f);
  KSModul* filter = r.Solo(kTypeTwoPoleFilter, "LP");
  r.Words(filter)[QV_WORD_AT(GridSvfState, coeff)].f = 0.2f;
  r.Words(filter)[QV_WORD_AT(GridSvfState, damping)].f = 1.0f;
  const std::vector<float> columns = Render(kTypeTwoPoleFilter, r.Record(filter));
  for (int32_t i = 0; i < kWidth; ++i) {
    const double w = 6.283185307179586 * GraphColumnHz(i, kWidth) / 22050.0;
    if (w > 3.1) EXPECT_EQ(columns[i], kNoColumnValue) << i;
    else EXPECT_NE(columns[i], kNoColumnValue) << i;
  }
  EXPECT_EQ(columns[kWidth - 1], kNoColumnValue);
}

TEST(Graphs, LowShelfFloorIsMinusOneHundredLikeTheOthers) {
  TRig r;
  KSModul* shelf = r.Solo(kTypeLoShelfEq, "Out");
  r.Words(shelf)[QV_WORD_AT(LoShelfState, coeff)].f = 1.0f;   // coefficient 1 with a boost of -1 cancels the input
  r.Words(shelf)[QV_WORD_AT(LoShelfState, boost)].f = -1.0f;
  const std::vector<float> columns = Render(kTypeLoShelfEq, r.Record(shelf));
  const float floor = float(kHeight - 1) * (0.6f + 0.14476483f * -100.0f);
  for (int32_t i = 0; i < kWidth; ++i) EXPECT_NEAR(columns[i], floor, 1e-3f) << i;
}

TEST(Graphs, ShapersLeaveTheBufferAndTheScopeDrawsItsReadOut) {
  TRig r;
  KSModul* shaper = r.Solo(kTypeShaper1Bp, "Out");
  for (TModuleType type : {kTypeEventShaper3, kTypeEventShaper4, kTypeShaper1Bp, kTypeShaper2Bp, kTypeShaper3Bp,
                           kTypeEventShaper5, kTypeParabolShaper, kTypeCubicShaper}) {
    const std::vector<float> columns = Render(type, r.Record(shaper));
    EXPECT_EQ(columns, std::vector<float>(kWidth, -7.0f)) << type.type;
  }
  std::vector<float> columns = Render(kTypeScope, r.Record(shaper));
  EXPECT_EQ(columns, std::vector<float>(kWidth, kNoColumnValue)) << "no read-out: no values";
  SetScopeReadout([](const TEngineRecord*, float x) { return x < 0.5f ? x : kNoColumnValue; });
  columns = Render(kTypeScope, r.Record(shaper), 11);
  SetScopeReadout(nullptr);
  EXPECT_FLOAT_EQ(columns[0], 0.5f * 51.0f * 1.0f);
  EXPECT_FLOAT_EQ(columns[4], (0.4f + 1.0f) * 51.0f * 0.5f);
  EXPECT_EQ(columns[5], kNoColumnValue);
  EXPECT_FALSE(RenderGraph(15, r.Record(shaper), columns.data(), 11, kHeight)) << "an oscillator has no graph";
}

// A saw into a resonant low pass into the output: ten seconds, half of them
// the decaying tail after the saw stops.
TEST(SoundingGraph, SawIntoFilterRendersTenSecondsCleanly) {
  TRig r;
  KSModul* saw = r.Add(kTypeSawFm);
  KSModul* filter = r.Add(kTypeTwoPoleFilterFm);
  r.Wire(saw, "Out", filter, "In");
  r.Listen(filter, "LP");
  r.Ready();
  r.Words(saw)[QV_WORD_AT(OscState, pitch)].f = 110.0f;
  float& a = r.Constant(saw, "A", 0.8f);
  r.Constant(saw, "F", 3.0f);
  const TVoiceWords w = r.Words(filter);
  w[QV_WORD_AT(SvfState, cutoff)].f = 2000.0f;
  w[QV_WORD_AT(SvfState, damping)].f = 0.1f;
  w[QV_WORD_AT(SvfState, limit)].f = 1.0f;
  double energy = 0.0;
  for (int second = 0; second < 10; ++second) {
    if (second == 5) a = 0.0f;
    const std::vector<float> out = r.Render(44100);
    for (float v : out) {
      ASSERT_TRUE(std::isfinite(v)) << "second " << second;
      if (second < 5) energy += double(v) * double(v);
    }
    for (int k = QV_WORD_AT(SvfState, hp); k <= QV_WORD_AT(SvfState, lp); ++k)  // the three integrators
      ASSERT_NE(std::fpclassify(w[k].f), FP_SUBNORMAL) << "second " << second;
    if (second == 9) {
      EXPECT_LT(std::fabs(out.back()), 1e-6f) << "the tail has died away";
    }
  }
  EXPECT_GT(energy, 1000.0) << "it sounded";
  EXPECT_FALSE(platform::DenormalsOff::Active()) << "the caller's floating-point mode is restored";
}

namespace {
bool seenFlushToZero = false;
void NoteFloatMode() { seenFlushToZero = platform::DenormalsOff::Active(); }
} // namespace

TEST(SoundingGraph, RoutinesRunWithFlushToZero) {
  testhost::TRoutinePatch patch;
  RoutineTables().audio[kTypeAudioSum2] = NoteFloatMode;
  TRig r;
  r.Solo(kTypeAudioSum2, "");
  seenFlushToZero = false;
  r.Render(4);
  EXPECT_TRUE(seenFlushToZero);
}

// The panel refresh runs on the GUI thread while blocks run on the audio
// thread, without the engine lock: what the two share is read and written
// as atomics (the thread sanitizer build checks it).
TEST(Display, RefreshAndGraphsRunBesideTheAudioThread) {
  TPanel panel;
  TRig r;
  KSModul* level = r.Add(kTypeLevelMeter);
  KSModul* lamp = r.Add(kTypeLevelLamp);
  KSModul* filter = r.Add(kTypeTwoPoleFilterFm);
  FeedDisplays(r, {level, lamp, filter});
  r.Wire(filter, "LP", r.out, "R");
  r.Ready();
  const TVoiceWords w = r.Words(filter);
  w[QV_WORD_AT(SvfState, cutoff)].f = 1000.0f;
  w[QV_WORD_AT(SvfState, damping)].f = 0.5f;
  w[QV_WORD_AT(SvfState, limit)].f = 1.0f;
  r.Words(lamp)[QV_WORD_AT(LevelLampState, low)].f = 0.01f;
  r.Words(lamp)[QV_WORD_AT(LevelLampState, high)].f = 1.0f;
  std::vector<float> signal(256);
  for (size_t n = 0; n < signal.size(); ++n) signal[n] = float(std::sin(0.05 * double(n)));
  // The audio thread starts rendering only once the panels are refreshing:
  // on a loaded machine it could otherwise finish before the first refresh.
  std::atomic<bool> refreshing{false}, done{false};
  std::thread audio([&] {
    while (!refreshing) std::this_thread::yield();
    for (int block = 0; block < 200; ++block) r.Render(256, signal);
    done = true;
  });
  std::vector<float> columns(kWidth);
  int refreshes = 0;
  do {
    RefreshPanels(r);
    RenderGraph(42, r.Record(filter), columns.data(), kWidth, kHeight);
    ++refreshes;
    refreshing = true;
  } while (!done);
  audio.join();
  EXPECT_GT(refreshes, 0);
  EXPECT_GE(panel.refreshes[level], refreshes);
  EXPECT_GT(r.Words(level)[QV_WORD_AT(MeterState, value)].f, 0.0f);
}

namespace {

// Level lamps and level meters share the engine's one decibel conversion:
// a level in decibels is the amplitude 10^(dB/20); the lamp compares held
// peak powers, so its thresholds are the squares of those amplitudes.
TEST(Display, LevelLampThresholdsAreSquaredAmplitudesOfTheirDecibels) {
  TPanel panel;
  TRig r;
  KSModul* lamp = r.Add(kTypeLevelLamp);
  auto Bits = [](float f) {
    TWord w;
    w.f = f;
    return w.i;
  };
  lamp->SetParamWord(0, Bits(-20.0f));
  lamp->SetParamWord(1, Bits(-6.0f));
  FeedDisplays(r, {lamp});
  r.Ready();
  const TVoiceWords w = r.Words(lamp);
  EXPECT_NEAR(w[QV_WORD_AT(LevelLampState, low)].f, 0.01f, 1e-4f) << "-20 dB: amplitude 0.1, power 0.01";
  EXPECT_NEAR(w[QV_WORD_AT(LevelLampState, high)].f, std::pow(10.0f, -6.0f / 10.0f), 1e-3f);
  EXPECT_FLOAT_EQ(w[QV_WORD_AT(LevelLampState, low)].f, DecibelsToGain(-20.0f) * DecibelsToGain(-20.0f));
  // A peak of amplitude 0.3 (-10.5 dB) lies between -20 and -6 dB.
  r.Render(3, {0.3f, 0.0f, 0.0f});
  RefreshPanels(r);
  EXPECT_EQ(w[QV_WORD_AT(LevelLampState, lit)].i, 1);
  // The properties' range goes through the same conversion while it runs.
  lamp->SetControlRange(-9.0f, 0, -3.0f, 127, 1.0f);
  EXPECT_FLOAT_EQ(w[QV_WORD_AT(LevelLampState, low)].f, DecibelsToPower(-9.0f));
  EXPECT_FLOAT_EQ(w[QV_WORD_AT(LevelLampState, high)].f, DecibelsToGain(-3.0f) * DecibelsToGain(-3.0f));
  r.Render(1, {0.3f});
  RefreshPanels(r);
  EXPECT_EQ(w[QV_WORD_AT(LevelLampState, lit)].i, 0) << "-10.5 dB lies below -9 dB";
}

} // namespace
