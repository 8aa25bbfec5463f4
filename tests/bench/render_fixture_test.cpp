// The benchmark's reference patches played for a moment and held against
// renders kept beside the test: the engine's routines may be rewritten for
// speed, but what they play must stay the same sample for sample (within
// kTolerance). A case plays a chord of one note a voice, releases it half-way
// and keeps the stereo output as raw little-endian 32-bit floats.
//
// QV_WRITE_RENDER_FIXTURES=1 writes the renders instead of checking them.
#include "bench/patches.h"
#include "bench/rig.h"
#include "src/engine/voice_loops.h"
#include "tests/common/testkit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using bench::TPatch;
using bench::TRig;

constexpr double kTolerance = 1e-6;
// A chain short enough that its one macro has room for the noise that feeds it.
constexpr int32_t kSlotChain = 96;

struct TCase {
  const char* name;
  int32_t voices;
  float rateFactor;
  int32_t blocks;
  std::function<TPatch(TRig&)> build;
};

// The slot chain fed by noise, so that its render is not silence.
TPatch BuildNoisyChain(TRig& rig) {
  TPatch patch = bench::BuildSlotChain(rig, kSlotChain);
  KSModul* first = patch.parts.front().module;
  KSModul* macro = first->GetParent();
  KSModul* noise = rig.Insert(macro, kTypeNoise, "Noise");
  TRig::Wire(rig.Constant(macro, 0.5f, "Noise level"), 0, noise, 0, "Noise A");
  TRig::Wire(noise, 0, first, 0, "-1 In");
  rig.SendConstants();
  return patch;
}

std::vector<float> Render(const TCase& c) {
  TRig rig(c.rateFactor, c.voices);
  c.build(rig);
  rig.StartClock();
  for (int32_t k = 0; k < c.voices; ++k) rig.NoteOn(bench::ChordNote(k), 100);
  std::vector<float> sound;
  for (int32_t b = 0; b < c.blocks; ++b) {
    if (b == c.blocks / 2)
      for (int32_t k = 0; k < c.voices; ++k) rig.NoteOff(bench::ChordNote(k));
    rig.RenderBlock();
    sound.insert(sound.end(), rig.Output().begin(), rig.Output().end());
  }
  return sound;
}

std::string FixturePath(const char* name) { return testkit::SourceDir() + "/tests/bench/fixtures/" + name + ".f32"; }

bool ReadFloats(const std::string& path, std::vector<float>& values) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  std::vector<float> data;
  float buffer[1024];
  size_t n;
  while ((n = std::fread(buffer, sizeof(float), 1024, f)) > 0) data.insert(data.end(), buffer, buffer + n);
  std::fclose(f);
  values = std::move(data);
  return true;
}

void WriteFloats(const std::string& path, const std::vector<float>& values) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr) << path;
  ASSERT_EQ(std::fwrite(values.data(), sizeof(float), values.size(), f), values.size());
  std::fclose(f);
}

class RenderFixture : public ::testing::TestWithParam<TCase> {};

// Every build of the voice-loop kernels this processor runs plays the same.
class TKernelChoice {
public:
  explicit TKernelChoice(const TVoiceKernels& k) : saved_(ActiveVoiceKernels()) { SetVoiceKernels(k); }
  ~TKernelChoice() { SetVoiceKernels(saved_); }

private:
  const TVoiceKernels& saved_;
};

void Check(const TCase& c, const std::vector<float>& kept) {
  const std::vector<float> sound = Render(c);
  ASSERT_EQ(sound.size(), kept.size());
  double peak = 0.0;
  size_t differing = 0, first = sound.size();
  double worst = 0.0;
  for (size_t i = 0; i < sound.size(); ++i) {
    peak = std::max(peak, double(std::fabs(kept[i])));
    const bool bothNaN = std::isnan(sound[i]) && std::isnan(kept[i]);
    const double d = std::fabs(double(sound[i]) - double(kept[i]));
    if (bothNaN || d <= kTolerance) continue;
    if (first == sound.size()) first = i;
    ++differing;
    if (!(d <= worst)) worst = d;
  }
  SCOPED_TRACE(std::string("kernels ") + ActiveVoiceKernels().name);
  EXPECT_GT(peak, 0.0) << "the kept render is silent";
  EXPECT_EQ(differing, 0u) << differing << " samples differ, the first at frame " << first / 2 << " channel "
                           << first % 2 << " (" << sound[first < sound.size() ? first : 0] << " against "
                           << kept[first < kept.size() ? first : 0] << "), by up to " << worst;
}

TEST_P(RenderFixture, PlaysAsTheKeptRender) {
  const TCase& c = GetParam();
  const std::string path = FixturePath(c.name);
  if (const char* write = std::getenv("QV_WRITE_RENDER_FIXTURES"); write && std::strcmp(write, "1") == 0) {
    WriteFloats(path, Render(c));
    return;
  }
  std::vector<float> kept;
  ASSERT_TRUE(ReadFloats(path, kept)) << "no kept render at " << path;
  for (int32_t i = 0; i < RunnableVoiceKernelCount(); ++i) {
    TKernelChoice choice(RunnableVoiceKernels(i));
    Check(c, kept);
  }
}

// Voice counts on and off a multiple of the vector width, both rate paths.
INSTANTIATE_TEST_SUITE_P(
    Patches, RenderFixture,
    ::testing::Values(TCase{"r1-v64", 64, 1.0f, 60, bench::BuildPolySubtractive},
                      TCase{"r1-v5", 5, 1.0f, 60, bench::BuildPolySubtractive},
                      TCase{"r1-v13-x075", 13, 0.75f, 60, bench::BuildPolySubtractive},
                      TCase{"r2-good-v8", 8, 1.0f, 40, [](TRig& r) { return bench::BuildSampler(r, bench::kGood); }},
                      TCase{"r2-excellent-v3", 3, 1.0f, 40,
                            [](TRig& r) { return bench::BuildSampler(r, bench::kExcellent); }},
                      TCase{"r3-v8", 8, 1.0f, 40, bench::BuildResynth},
                      TCase{"r4", 1, 1.0f, 20, BuildNoisyChain}),
    [](const ::testing::TestParamInfo<TCase>& info) {
      std::string name = info.param.name;
      for (char& ch : name)
        if (ch == '-') ch = '_';
      return name;
    });

} // namespace
