// Every filter and equaliser: the gain measured through the offline driver
// must match the curve its panel graph draws, column by column.
#include "tests/engine/routine_rig.h"

#include "src/engine/engine.h"
#include "src/engine/event_ids.h"
#include "src/engine/graph_render.h"
#include "src/engine/routine_registry.h"
#include "src/engine/tables.h"
#include "src/engine/voice_state.h"

#include <cmath>
#include <utility>

using rig::TRig;

namespace {

constexpr float kRate = 44100.0f;
constexpr int32_t kWidth = 100;
constexpr int32_t kHeight = 1001;

struct TFilterCase {
  TModuleType type;
  const char* output;
  std::vector<std::pair<int32_t, float>> words;  // coefficients as the events store them
};

std::ostream& operator<<(std::ostream& os, const TFilterCase& c) { return os << "type " << c.type.type; }

// Least-squares amplitude of y against sin and cos of w n over the frames.
double Amplitude(const std::vector<float>& y, double w, size_t from) {
  double ss = 0, sc = 0, cc = 0, ys = 0, yc = 0;
  for (size_t n = from; n < y.size(); ++n) {
    const double s = std::sin(w * double(n)), c = std::cos(w * double(n));
    ss += s * s;
    sc += s * c;
    cc += c * c;
    ys += y[n] * s;
    yc += y[n] * c;
  }
  const double det = ss * cc - sc * sc;
  const double a = (ys * cc - yc * sc) / det, b = (yc * ss - ys * sc) / det;
  return std::sqrt(a * a + b * b);
}

// The filters with an F input keep the cutoff in Hz in the same word.
static_assert(QV_WORD_AT(NotchState, cutoff) == QV_WORD_AT(SvfState, cutoff) &&
              QV_WORD_AT(Svf4State, cutoff) == QV_WORD_AT(SvfState, cutoff));

class FilterResponse : public ::testing::TestWithParam<TFilterCase> {};

} // namespace

TEST_P(FilterResponse, MeasuredGainMatchesTheGraph) {
  const TFilterCase& c = GetParam();
  TRig r(kRate);
  KSModul* filter = r.Add(c.type);
  r.Feed(filter, "In");
  r.Listen(filter, c.output);
  r.Ready();
  for (const auto& [word, value] : c.words) r.Words(filter)[word].f = value;

  std::vector<float> columns(kWidth, -1.0f);
  ASSERT_TRUE(RenderGraph(c.type.type, r.Record(filter), columns.data(), kWidth, kHeight));
  int32_t compared = 0;
  for (int32_t i : {22, 35, 48, 56, 61, 66, 74, 86, 97}) {
    ASSERT_NE(columns[i], kNoColumnValue) << "column " << i;
    const double drawn = GraphColumnDecibels(columns[i], kHeight);
    if (drawn < -60.0) continue;  // below what float arithmetic measures to 0.1 dB
    const double w = 6.283185307179586 * GraphColumnHz(i, kWidth) / kRate;
    constexpr size_t kSettle = 6000, kFrames = 22000;
    std::vector<float> x(kFrames);
    for (size_t n = 0; n < kFrames; ++n) x[n] = float(std::sin(w * double(n)));
    const std::vector<float> y = r.Render(int32_t(kFrames), x);
    const double measured = 20.0 * std::log10(Amplitude(y, w, kSettle));
    EXPECT_NEAR(measured, drawn, 0.1) << "column " << i << " at " << GraphColumnHz(i, kWidth) << " Hz";
    ++compared;
  }
  EXPECT_GE(compared, 5);
}

INSTANTIATE_TEST_SUITE_P(
    EveryFilter, FilterResponse,
    ::testing::Values(
        TFilterCase{kTypeOnePoleFilterFm, "LP", {{QV_WORD_AT(OnePoleState, cutoff), 1000.0f}}},
        TFilterCase{kTypeOnePoleFilter, "LP", {{QV_WORD_AT(OnePoleState, cutoff), 0.2f}}},
        TFilterCase{kTypeTwoPoleFilterFm, "LP",
                    {{QV_WORD_AT(SvfState, cutoff), 1000.0f},
                     {QV_WORD_AT(SvfState, damping), 1.0f},
                     {QV_WORD_AT(SvfState, limit), 1.0f}}},
        TFilterCase{kTypeTwoPoleFilter, "LP",
                    {{QV_WORD_AT(GridSvfState, coeff), 0.15f}, {QV_WORD_AT(GridSvfState, damping), 0.6f}}},
        TFilterCase{kTypeTwoPoleNotchFm, "N",
                    {{QV_WORD_AT(NotchState, cutoff), 1000.0f},
                     {QV_WORD_AT(NotchState, damping), 1.0f},
                     {QV_WORD_AT(NotchState, limit), 1.0f}}},
        TFilterCase{kTypeTwoPoleNotch, "N",
                    {{QV_WORD_AT(GridNotchState, svf.coeff), 0.2f}, {QV_WORD_AT(GridNotchState, svf.damping), 0.8f}}},
        TFilterCase{kTypeFourPoleFilterFm, "LP4",
                    {{QV_WORD_AT(Svf4State, cutoff), 1500.0f},
                     {QV_WORD_AT(Svf4State, damping), 1.2f},
                     {QV_WORD_AT(Svf4State, limit), 1.0f}}},
        TFilterCase{kTypeFourPoleFilter, "LP4",
                    {{QV_WORD_AT(GridSvf4State, first.coeff), 0.1f}, {QV_WORD_AT(GridSvf4State, first.damping), 1.4f}}},
        TFilterCase{kTypeFourPoleHighPassFm, "HP4",
                    {{QV_WORD_AT(Svf4State, cutoff), 800.0f},
                     {QV_WORD_AT(Svf4State, damping), 1.0f},
                     {QV_WORD_AT(Svf4State, limit), 1.0f}}},
        TFilterCase{kTypeFourPoleHighPass, "HP4",
                    {{QV_WORD_AT(GridSvf4State, first.coeff), 0.1f}, {QV_WORD_AT(GridSvf4State, first.damping), 1.2f}}},
        TFilterCase{kTypePeakEqFm, "Out",
                    {{QV_WORD_AT(PeakEqState, cutoff), 1000.0f},
                     {QV_WORD_AT(PeakEqState, damping), 0.5f},
                     {QV_WORD_AT(PeakEqState, limit), 1.0f},
                     {QV_WORD_AT(PeakEqState, boost), 2.0f}}},
        TFilterCase{kTypePeakEq, "Out",
                    {{QV_WORD_AT(GridPeakEqState, coeff), 0.15f},
                     {QV_WORD_AT(GridPeakEqState, damping), 0.7f},
                     {QV_WORD_AT(GridPeakEqState, boost), -0.5f}}},
        TFilterCase{kTypeHiShelfEqFm, "Out",
                    {{QV_WORD_AT(HiShelfState, cutoff), 1000.0f},
                     {QV_WORD_AT(HiShelfState, scale), 6.283f / kRate},
                     {QV_WORD_AT(HiShelfState, limit), 1.0f},
                     {QV_WORD_AT(HiShelfState, boost), 1.0f}}},
        TFilterCase{kTypeHiShelfEq, "Out",
                    {{QV_WORD_AT(HiShelfState, coeff), 0.1f}, {QV_WORD_AT(HiShelfState, boost), -0.5f}}},
        TFilterCase{kTypeLoShelfEqFm, "Out",
                    {{QV_WORD_AT(LoShelfState, cutoff), 1000.0f},
                     {QV_WORD_AT(LoShelfState, scale), 6.283f / kRate},
                     {QV_WORD_AT(LoShelfState, limit), 1.0f},
                     {QV_WORD_AT(LoShelfState, boost), 1.0f}}},
        TFilterCase{kTypeLoShelfEq, "Out",
                    {{QV_WORD_AT(LoShelfState, coeff), 0.05f}, {QV_WORD_AT(LoShelfState, boost), 2.0f}}}),
    [](const ::testing::TestParamInfo<TFilterCase>& info) { return "Type" + std::to_string(info.param.type.type); });

TEST(Filters, CoefficientsStayWithinTheResonanceLimitAndNegativeCutoffsHold) {
  TRig r(kRate);
  KSModul* filter = r.Add(kTypeTwoPoleFilterFm);
  r.Feed(filter, "In");
  r.Listen(filter, "LP");
  r.Ready();
  const TVoiceWords w = r.Words(filter);
  w[QV_WORD_AT(SvfState, cutoff)].f = 1000.0f;
  w[QV_WORD_AT(SvfState, damping)].f = 0.04f;
  w[QV_WORD_AT(SvfState, limit)].f = 0.3f;
  float& f = r.Constant(filter, "F", 1e6f);  // far beyond the limit
  std::vector<float> square(20000);
  for (size_t n = 0; n < square.size(); ++n) square[n] = (n / 7) % 2 ? 1.0f : -1.0f;
  const std::vector<float> loud = r.Render(20000, square);
  for (float v : loud) ASSERT_TRUE(std::isfinite(v));
  // With a limit of 0.3 a step settles instead of blowing up.
  r.Render(2000, std::vector<float>(2000, 1.0f));
  EXPECT_NEAR(w[QV_WORD_AT(SvfState, lp)].f, 1.0f, 1e-3);
  // A negative summed frequency gives a coefficient of 0: the state holds.
  f = -5000.0f;
  const float lp = w[QV_WORD_AT(SvfState, lp)].f, bp = w[QV_WORD_AT(SvfState, bp)].f;
  r.Render(100, std::vector<float>(100, -1.0f));
  EXPECT_NEAR(w[QV_WORD_AT(SvfState, lp)].f, lp, 1e-6);
  EXPECT_EQ(w[QV_WORD_AT(SvfState, bp)].f, bp);
}

TEST(Filters, AResonanceBeyondItsRangeStaysBoundedForTenSeconds) {
  // A modulator that drives the resonance input to 1.0 or beyond: each
  // resonant filter type keeps ringing within bounds instead of growing.
  struct Case {
    TModuleType type;
    const char* output;
    int32_t event;
    float cutoff; // Hz in the cutoff word, or the pitch of a grid filter's cutoff event
  };
  const Case cases[] = {
      {kTypeTwoPoleFilterFm, "LP", evResonance, 1000.0f},
      {kTypeFourPoleFilterFm, "LP4", evResonance, 1000.0f},
      {kTypeTwoPoleNotchFm, "N", evResonance, 1000.0f},
      {kTypeFourPoleHighPassFm, "HP4", evResonance, 1000.0f},
      {kTypeTwoPoleFilter, "LP", evGridResonance, 84.0f},
      {kTypeFourPoleFilter, "LP4", evGridResonance, 84.0f},
  };
  for (const Case& c : cases) {
    for (float value : {1.0f, 1.5f}) {
      TRig r(kRate);
      KSModul* filter = r.Add(c.type);
      r.Feed(filter, "In");
      r.Listen(filter, c.output);
      r.Ready();
      if (c.event == evGridResonance) GetEventRoutine(evGridCutoff)(r.Record(filter), 0, c.cutoff);
      else r.Words(filter)[QV_WORD_AT(SvfState, cutoff)].f = c.cutoff;
      GetEventRoutine(c.event)(r.Record(filter), 0, value);
      std::vector<float> square(static_cast<size_t>(kRate));
      for (size_t n = 0; n < square.size(); ++n) square[n] = (n / 50) % 2 ? 0.5f : -0.5f;
      float peak = 0.0f;
      for (int second = 0; second < 10; ++second)
        for (float v : r.Render(int32_t(square.size()), square)) peak = std::max(peak, std::fabs(v));
      EXPECT_LT(peak, 1000.0f) << "type " << c.type.type << " resonance " << value;
    }
  }
}
