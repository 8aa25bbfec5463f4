// Engine samples to device frames and back at the six rate factors.
#include "pc/audio/convert.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

using namespace mme;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// Frames an engine sample pattern makes or reads: per `samples` engine
// samples, `frames` device frames.
struct Pattern {
  int32_t rate;
  int samples, frames;
};
constexpr Pattern kPatterns[] = {
    {kHalf, 1, 2}, {kThreeQuarters, 3, 4}, {kOne, 1, 1}, {kThreeHalves, 3, 2}, {kTwo, 2, 1}, {kThree, 3, 1},
};

std::vector<int16_t> Render(int32_t rate, float value, float gain, int samples, float* peak = nullptr) {
  std::vector<int16_t> frames(size_t(samples) * 4 + 8, 0x5555);
  TFrameSink sink{frames.data(), frames.data() + frames.size(), nullptr};
  static float loudest;
  loudest = 0.0f;
  sink.track = [](int32_t, float v) { loudest = std::max(loudest, std::fabs(v)); };
  TConverter c;
  float x[2] = {value, value};
  for (int i = 0; i < samples; ++i) c.Output(rate, x, gain, sink);
  frames.resize(size_t(sink.at - frames.data()));
  if (peak) *peak = loudest;
  return frames;
}

TEST(Convert, ASampleBecomesSixteenBitsClippedAndTruncated) {
  struct Case {
    float x, gain;
    int16_t expected;
  } cases[] = {
      {0.0f, 1.0f, 0},         {0.5f, 1.0f, 16384},      {1.0f, 1.0f, 32767},     {-1.0f, 1.0f, -32768},
      {2.0f, 1.0f, 32767},     {-3.0f, 1.0f, -32768},    {kNaN, 1.0f, 0},         {kInf, 1.0f, 32767},
      {-kInf, 1.0f, -32768},   {1e-6f, 1.0f, 0},         {-1e-6f, 1.0f, 0},       {-0.5f, 1.0f, -16384},
      {0.99999f, 1.0f, 32767}, {0.5f, 0.5f, 8192},       {1.0f, kNaN, 0},         {0.25f, -2.0f, -16384},
  };
  for (const Case& c : cases) {
    std::vector<int16_t> f = Render(kOne, c.x, c.gain, 1);
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[0], c.expected) << c.x << " x " << c.gain;
    EXPECT_EQ(f[1], c.expected) << c.x << " x " << c.gain;
  }
}

TEST(Convert, EachFactorWritesItsShareOfFramesAndKeepsASteadyValue) {
  // Full scale as each factor writes it once its history is filled; the
  // three-to-one conversion scales by a little less than a third.
  const int16_t fullScale[kRateCount] = {32767, 32767, 32767, 32767, 32767, 32764};
  for (const Pattern& p : kPatterns) {
    SCOPED_TRACE(p.rate);
    const int groups = 12;
    std::vector<int16_t> f = Render(p.rate, 0.25f, 1.0f, groups * p.samples);
    ASSERT_EQ(f.size(), size_t(groups * p.frames * 2));
    // After two groups the history holds the value only.
    for (size_t i = size_t(2 * p.frames * 2); i < f.size(); ++i) EXPECT_NEAR(f[i], 8192, 1) << i;
    f = Render(p.rate, 1.0f, 1.0f, groups * p.samples);
    for (size_t i = size_t(2 * p.frames * 2); i < f.size(); ++i) ASSERT_EQ(f[i], fullScale[p.rate]) << i;
    f = Render(p.rate, -1.0f, 1.0f, groups * p.samples);
    for (size_t i = size_t(2 * p.frames * 2); i < f.size(); ++i) ASSERT_LE(f[i], -32764) << i;
    f = Render(p.rate, kNaN, 1.0f, groups * p.samples);
    for (int16_t v : f) ASSERT_EQ(v, 0);
    f = Render(p.rate, 40.0f, 1.0f, groups * p.samples);
    for (size_t i = size_t(2 * p.frames * 2); i < f.size(); ++i) ASSERT_EQ(f[i], 32767) << "clipped";
  }
}

TEST(Convert, OutputLevelsFollowTheClippedValue) {
  for (const Pattern& p : kPatterns) {
    float peak = 0.0f;
    Render(p.rate, 3.0f, 1.0f, 6 * p.samples, &peak);
    EXPECT_EQ(peak, 32767.0f) << p.rate;
    Render(p.rate, 0.5f, 1.0f, 6 * p.samples, &peak);
    EXPECT_NEAR(peak, 16384.0f, 2.0f) << p.rate;
  }
}

TEST(Convert, ARunOfFramesIsNeverOverrun) {
  for (const Pattern& p : kPatterns) {
    std::vector<int16_t> room(6, 0x1111);
    TFrameSink sink{room.data(), room.data() + 4, nullptr};
    TConverter c;
    float x[2] = {0.5f, 0.5f};
    for (int i = 0; i < 24; ++i) c.Output(p.rate, x, 1.0f, sink);
    EXPECT_EQ(sink.at, room.data() + 4) << p.rate;
    EXPECT_EQ(room[4], 0x1111);
    EXPECT_EQ(room[5], 0x1111);
  }
}

struct CountingSource : TFrameSource {
  float value;
  int reads = 0;
  explicit CountingSource(float v) : value(v) {}
  void Get(float frame[2]) override {
    ++reads;
    frame[0] = frame[1] = value;
  }
};

TEST(Convert, EachFactorReadsItsShareOfFramesAndKeepsASteadyValue) {
  for (const Pattern& p : kPatterns) {
    SCOPED_TRACE(p.rate);
    CountingSource source(0.5f);
    TConverter c;
    const int groups = 12;
    for (int i = 0; i < groups * p.samples; ++i) {
      float out[2];
      c.Input(p.rate, source, out);
      if (i >= 2 * p.samples) {
        EXPECT_NEAR(out[0], 0.5f, 1e-3f) << i;
        EXPECT_NEAR(out[1], 0.5f, 1e-3f) << i;
      }
    }
    EXPECT_EQ(source.reads, groups * p.frames);
  }
}

TEST(Convert, RateIndexKnowsTheSixFactors) {
  for (int32_t i = 0; i < kRateCount; ++i) EXPECT_EQ(RateIndex(kRateFactors[i]), i);
  for (float f : {0.0f, 1.25f, 4.0f, -1.0f, kNaN}) EXPECT_EQ(RateIndex(f), -1) << f;
}

} // namespace
