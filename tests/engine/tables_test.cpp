// The engine's lookup tables and the constants derived from the rates.
#include <gtest/gtest.h>

#include <cmath>

#include "src/engine/tables.h"
#include "src/engine/voice_state.h"

namespace {

class EngineTablesTest : public ::testing::Test {
protected:
  void SetUp() override {
    BuildEngineTables();
    saved_ = EngineConstants;
  }
  void TearDown() override { EngineConstants = saved_; }

private:
  TEngineConstants saved_{};
};

TEST_F(EngineTablesTest, SineTableHoldsOnePeriodWithTheFirstPointRepeated) {
  EXPECT_EQ(SineTable[0], 0.0f);
  EXPECT_EQ(SineTable[64], 1.0f);
  EXPECT_EQ(SineTable[192], -1.0f);
  EXPECT_NEAR(SineTable[128], 0.0f, 1e-6f);
  EXPECT_NEAR(SineTable[256], 0.0f, 1e-6f);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(SineSlopes[i], SineTable[i + 1] - SineTable[i]) << i;
  EXPECT_EQ(SineSlopes[256], SineSlopes[0]);
}

TEST_F(EngineTablesTest, PitchTableHasFiveEntriesPerSemitone) {
  struct TCase {
    int index;
    double value;
  };
  const TCase cases[] = {{1200, 1.0}, {1260, 2.0}, {1140, 0.5}, {0, std::exp2(-20.0)},
                         {2400, std::exp2(20.0)}, {1205, std::exp2(1.0 / 12.0)}};
  for (const TCase& c : cases) EXPECT_EQ(PitchTable[c.index], float(c.value)) << c.index;
  for (int i = 0; i < 2400; ++i) EXPECT_EQ(PitchSlopes[i], PitchTable[i + 1] - PitchTable[i]) << i;
}

TEST_F(EngineTablesTest, PitchLookupInterpolatesAndClampsAtTheEnds) {
  EXPECT_NEAR(PitchToHz(69.0f), 440.0f, 0.01f);
  EXPECT_NEAR(PitchToHz(81.0f), 880.0f, 0.02f);
  EXPECT_NEAR(PitchToHz(0.0f), 8.1758f, 0.001f);
  EXPECT_NEAR(DecibelsToGain(-20.0f), 0.1f, 1e-5f);
  EXPECT_EQ(DecibelsToGain(0.0f), 1.0f);
  EXPECT_EQ(PitchLookup(1260.5f), PitchTable[1260] + 0.5f * PitchSlopes[1260]);
  EXPECT_EQ(PitchLookup(-1.0f), 0.0f);
  EXPECT_EQ(PitchLookup(2400.0f), PitchTable[2400]);
  EXPECT_EQ(PitchLookup(1.0e9f), PitchTable[2400]);
  EXPECT_EQ(PitchToHz(1000.0f), PitchTable[2400]);  // far above the table
  // Indexes beyond any integer and undefined ones still land on an end.
  EXPECT_EQ(PitchLookup(1.0e30f), PitchTable[2400]);
  EXPECT_EQ(PitchLookup(-1.0e30f), 0.0f);
  EXPECT_EQ(PitchLookup(std::nanf("")), 0.0f);
  // Truncation toward zero: just below 0 still reads entry 0.
  EXPECT_EQ(PitchLookup(-0.5f), PitchTable[0] - 0.5f * PitchSlopes[0]);
}

TEST_F(EngineTablesTest, ShapeGridsHoldTheirCorners) {
  EXPECT_EQ(ShapeTableA[0], 0.0f);
  EXPECT_EQ(ShapeTableA[10], 1.0f);
  EXPECT_FLOAT_EQ(ShapeTableA[11 * 10 + 5], 1.4142f);
  EXPECT_FLOAT_EQ(ShapeTableA[11 * 3 + 8], 1.0028f);
  EXPECT_EQ(ShapeTableB[0], 2.0f);
  EXPECT_FLOAT_EQ(ShapeTableB[11 * 5 + 5], 0.89479f);
  EXPECT_EQ(ShapeTableB[11 * 10 + 9], 0.0f);
  EXPECT_EQ(ShapeTableB[120], 1.0f);
}

TEST_F(EngineTablesTest, ControlPeriodComesOutOneLowerForWholeRatios) {
  struct TCase {
    float rate;
    int32_t controlRate;
    int32_t period;
  };
  const TCase cases[] = {{44100.0f, 100, 440}, {48000.0f, 200, 239}, {33075.0f, 200, 165},
                         {44100.0f, 25, 1763},  {22050.0f, 1600, 13}};
  for (const TCase& c : cases)
    EXPECT_EQ(ComputeControlPeriod(c.rate, c.controlRate), c.period)
        << c.rate << " Hz at " << c.controlRate << " Hz";
  EXPECT_EQ(ComputeControlPeriod(44100.0f, 0), 0);
  EXPECT_EQ(ComputeControlPeriod(0.0f, 100), 0);
  EXPECT_EQ(ComputeControlPeriod(3.0e38f, 1), 2147483647);
}

TEST_F(EngineTablesTest, RateConstantsFollowRateControlRateAndTempo) {
  UpdateRateConstants(48000.0f);
  SetControlRate(200);
  EXPECT_EQ(EngineConstants.controlPeriod, 239);
  EXPECT_EQ(EngineConstants.invRate, 1.0f / 48000.0f);
  EXPECT_EQ(EngineConstants.twoOverRate, 2.0f / 48000.0f);
  EXPECT_EQ(EngineConstants.omegaOverRate, 6.283f / 48000.0f);
  EXPECT_FLOAT_EQ(EngineConstants.framesPerMs, 48.0f);
  EXPECT_EQ(EngineConstants.invControlRate, 1.0f / 200.0f);
  SetTempo(120.0f);
  EXPECT_FLOAT_EQ(EngineConstants.clockIncrement, 0.4f * 120.0f / 48000.0f);
  SetControlRate(0);  // ignored: keeps the last valid rate
  EXPECT_EQ(EngineConstants.controlRate, 200);
  UpdateRateConstants(0.0f);  // never divides by zero: the last rate stays
  EXPECT_EQ(EngineConstants.processingRate, 48000.0f);
  EXPECT_EQ(EngineConstants.invRate, 1.0f / 48000.0f);
}

TEST_F(EngineTablesTest, BuildingAgainLeavesTablesAndRatesAlone) {
  UpdateRateConstants(96000.0f);
  SineTable[3] = 42.0f;
  BuildEngineTables();
  EXPECT_EQ(EngineConstants.processingRate, 96000.0f);
  EXPECT_EQ(SineTable[3], 42.0f);
  SineTable[3] = float(std::sin(3.0 * 6.28318530718 / 256.0));
}

// The layouts that outputs and files refer to keep their word positions on
// every build; pointer-holding records only grow.
TEST(EngineVoiceStates, PointerRecordsKeepTheirOutputWords) {
  EXPECT_EQ(QV_WORD_AT(SampleVoiceState, player.core.out.currentRight), 11);
  EXPECT_EQ(QV_WORD_AT(DelayVoiceState, output), 3);
  EXPECT_EQ(QV_WORD_AT(StereoTapedeckVoiceState, right), 9);
  EXPECT_EQ(QV_WORD_AT(GrainDelayVoiceState, right), 15);
  EXPECT_GE(QV_WORDS_OF(SampleVoiceState), 32);
  EXPECT_GE(QV_WORDS_OF(ResynthVoiceState), 93);
  EXPECT_GE(QV_WORDS_OF(BeatLoopVoiceState), 101);
  EXPECT_EQ(QV_INPUTS_OF(SampleInputs), 13);
  EXPECT_EQ(QV_INPUTS_OF(StaticDelayInputs), 5);
}

}  // namespace
