// The engine benchmark in a tiny configuration: every run completes and the
// sound it writes is the poly patch playing, not silence. Nothing here is
// timed.
#include "bench/patches.h"
#include "bench/rig.h"
#include "bench/suite.h"
#include "src/audio/audiofile.h"
#include "src/base/file.h"
#include "src/engine/engine.h"
#include "tests/common/testkit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

namespace {

std::string ReadAll(std::FILE* f) {
  std::string text;
  std::rewind(f);
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
  return text;
}

// Root mean square of one channel of a sound file.
double Rms(IAudioBuf& samples, int32_t channel) {
  double sum = 0.0;
  for (int32_t i = 0; i < samples.GetLength(); ++i) {
    const double v = samples.GetSample(i, channel);
    sum += v * v;
  }
  return samples.GetLength() > 0 ? std::sqrt(sum / samples.GetLength()) : 0.0;
}

} // namespace

TEST(EngineBench, AQuickRunMeasuresEverythingAndWritesTheSoundOfThePolyPatch) {
  const std::string folder = testkit::TempDir("bench");
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  bench::TSuiteResult result = bench::RunSuite(bench::QuickOptions(folder), out);
  const std::string text = ReadAll(out);
  std::fclose(out);
  EXPECT_EQ(result.failures, 0) << text;
  for (const char* line : {"CPU: ", "R1 poly subtractive V=8 rate x1: engine usage", "ns per slot-frame",
                           "MIDI one note-on", "MIDI 64-note chord", "denormals contained", "Routine Sine: ",
                           "written to " })
    EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;

  ASSERT_FALSE(result.soundPath.empty()) << text;
  EPtr<IFileName> name(CreateFileName());
  name->SetPath(TStr(result.soundPath.c_str()));
  EPtr<IAudioFile> file(OpenAudioFile(name.Get(), 1024));
  ASSERT_EQ(file->GetChannels(), 2);
  ASSERT_EQ(file->GetRate(), 44100);
  EPtr<IAudioBuf> samples(CreateAudioBuf(1, 0, 32, 2, 44100, file->GetFileLength(), 0));
  file->LoadInto(samples.Get());
  ASSERT_GT(samples->GetLength(), 44100 / 2);
  for (int32_t c = 0; c < 2; ++c) EXPECT_GT(Rms(*samples, c), 0.01) << "channel " << c;
  EXPECT_LT(result.soundPeak, 1.0f) << "the written sound clips";
}

// The slot chain runs through macros (a module holds 99 children at most)
// and fills every routine slot with one module each.
TEST(EngineBench, TheSlotChainFillsEverySlot) {
  bench::TRig rig(1.0f, 1);
  bench::TPatch chain = bench::BuildSlotChain(rig, 799);
  EXPECT_TRUE(chain.Missing().empty());
  EXPECT_EQ(chain.parts.size(), 799u);
  EXPECT_EQ(EngineSlots.count, kMaxSlots);
  EXPECT_EQ(bench::TRig::VoiceSlots(), int64_t(kMaxSlots));
}

// Each reference patch is silent until its notes come and sounds in both
// channels while they are held: the constants reach their inputs once the
// patch is built (processing restarts every event input from 0, which would
// leave oscillators silent and envelopes shut), the in-memory sound reaches
// the samplers, and the delays pass the poly patch's sound on.
struct TPatchCase {
  const char* name;
  bench::TPatch (*build)(bench::TRig&);
};

class PatchSound : public ::testing::TestWithParam<TPatchCase> {};

TEST_P(PatchSound, SilentBeforeItsNotesAndSoundingInBothChannelsWhileTheyAreHeld) {
  bench::TRig rig(1.0f, 8);
  bench::TPatch patch = GetParam().build(rig);
  EXPECT_TRUE(patch.Missing().empty());
  rig.StartClock();
  float before = 0.0f, held[2] = {0.0f, 0.0f};
  for (int32_t b = 0; b < rig.BlocksFor(0.1); ++b) {
    rig.RenderBlock();
    for (float v : rig.Output()) before = std::max(before, std::fabs(v));
  }
  for (int32_t k = 0; k < 8; ++k) rig.NoteOn(bench::ChordNote(k), 100);
  for (int32_t b = 0; b < rig.BlocksFor(0.5); ++b) {
    rig.RenderBlock();
    const std::vector<float>& out = rig.Output();
    for (size_t i = 0; i < out.size(); ++i) held[i % 2] = std::max(held[i % 2], std::fabs(out[i]));
  }
  EXPECT_LT(before, 1e-3f) << "silent before any note";
  EXPECT_GT(held[0], 0.05f) << "left";
  EXPECT_GT(held[1], 0.05f) << "right";
}

INSTANTIATE_TEST_SUITE_P(
    Patches, PatchSound,
    ::testing::Values(TPatchCase{"poly", bench::BuildPolySubtractive},
                      TPatchCase{"sampler", [](bench::TRig& r) { return bench::BuildSampler(r, bench::kGood); }},
                      TPatchCase{"resynth", bench::BuildResynth}),
    [](const ::testing::TestParamInfo<TPatchCase>& info) { return std::string(info.param.name); });
