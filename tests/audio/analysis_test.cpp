#include "src/audio/analysis.h"
#include "src/audio/audiofile.h"
#include "tests/audio/audiotest.h"
#include "tests/common/testkit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

using namespace audiotest;

namespace {

IAudioBuf* FloatSound(int rate, int length, float (*wave)(int, int)) {
  IAudioBuf* b = CreateAudioBuf(1, 0, 32, 1, rate, length, 4);
  for (int i = 0; i < length; ++i) b->SetSample(i, wave(i, rate), 0);
  return b;
}

float Silence(int, int) { return 0.0f; }

float DecayingSine100(int i, int rate) {
  const double t = double(i) / rate;
  return float(0.8 * std::exp(-3.0 * t) * std::sin(2 * M_PI * 100.0 * t));
}

std::vector<int32_t> Entries(IAudioAnalysis& a) {
  auto& t = dynamic_cast<TAudioAnalysis&>(a);
  return std::vector<int32_t>(a.GetEntries(), a.GetEntries() + t.GetEntryCount());
}

} // namespace

TEST(TAudioAnalysis, ShortSoundHasOneWindow) {
  EPtr<IAudioBuf> s(FloatSound(44100, 100, Silence));
  EPtr<IAudioAnalysis> a(CreateAudioAnalysis(*s));
  EXPECT_EQ(a->GetWindowLength(), 220);
  EXPECT_EQ(Entries(*a), (std::vector<int32_t>{0, 100}));
}

TEST(TAudioAnalysis, SilenceGivesOnePeriodPerWindow) {
  EPtr<IAudioBuf> s(FloatSound(44100, 1000, Silence));
  EPtr<IAudioAnalysis> a(CreateAudioAnalysis(*s));
  EXPECT_EQ(Entries(*a), (std::vector<int32_t>{0, 220, 440, 660, 880, 1000}));
}

TEST(TAudioAnalysis, DecayingSineFindsItsPeriod) {
  EPtr<IAudioBuf> s(FloatSound(44100, 22050, DecayingSine100));
  EPtr<IAudioAnalysis> a(CreateAudioAnalysis(*s));
  const std::vector<int32_t> e = Entries(*a);
  ASSERT_EQ(e.size(), size_t(22050 / 220 + 2));
  const size_t K = (22050 + 219) / 220;
  EXPECT_EQ(e[K], 22050);
  int distinct = 0;
  // Interior windows: the search from them stays inside the sound.
  for (size_t j = 0; j * 220 + 1323 < 22050; ++j) {
    EXPECT_EQ(e[j] % 441, 0) << "window " << j << " starts at " << e[j];
    if (j > 0 && e[j] != e[j - 1]) ++distinct;
  }
  EXPECT_GT(distinct, 40);
  // Looking up a position inside the tenth period finds its start and length.
  int32_t position = 441 * 10 + 100;
  float length = 441.0f;
  a->GetPeriod(position, length);
  EXPECT_EQ(position, 441 * 10);
  EXPECT_EQ(length, 441.0f);
}

TEST(TAudioAnalysis, IntegerSourceLeavesTheTableAsItWas) {
  EPtr<IAudioBuf> s(FloatSound(44100, 1000, Silence));
  EPtr<IAudioAnalysis> a(CreateAudioAnalysis(*s));
  EPtr<IAudioBuf> ints(CreateAudioBuf(0, 1, 16, 1, 44100, 5000, 0));
  a->Analyse(*ints);
  EXPECT_EQ(Entries(*a), (std::vector<int32_t>{0, 220, 440, 660, 880, 1000}));
}

TEST(TAudioAnalysis, LowRatesKeepAWindowOfOneFrame) {
  for (int rate : {199, 100, 1, 0}) {
    EPtr<IAudioBuf> s(FloatSound(rate, 50, DecayingSine100));
    EPtr<IAudioAnalysis> a(CreateAudioAnalysis(*s));
    EXPECT_EQ(a->GetWindowLength(), 1) << rate;
    const std::vector<int32_t> e = Entries(*a);
    ASSERT_EQ(e.size(), 52u) << rate;
    EXPECT_EQ(e[50], 50) << rate;
  }
}

TEST(TAudioAnalysis, LookupsAtTheEdges) {
  EPtr<IAudioBuf> s(FloatSound(44100, 1000, Silence));
  EPtr<IAudioAnalysis> a(CreateAudioAnalysis(*s));
  struct Case {
    int32_t position, movedTo, window;
  } cases[] = {{0, 0, 0}, {-7, 0, 0}, {1, 0, 0}, {500, 440, 2}, {999, 880, 4}, {1000, 1000, 5}, {5000, 1000, 5}};
  for (const Case& c : cases) {
    int32_t p = c.position;
    EXPECT_EQ(a->FindPeriodStart(p), c.window) << c.position;
    EXPECT_EQ(p, c.movedTo) << c.position;
  }
  // No later start: the length falls back to 5 frames.
  int32_t p = 1000;
  float length = 10.0f;
  a->GetPeriod(p, length);
  EXPECT_EQ(length, 5.0f);
  p = 900;
  length = 10.0f;
  EXPECT_EQ(a->GetPeriod(p, length), 4);
  EXPECT_EQ(p, 880);
  EXPECT_EQ(length, 120.0f);
}

// When the length is a whole number of windows the length sits in the slot
// before the last one; lookups still find the periods.
TEST(TAudioAnalysis, LengthOfWholeWindowsStillFindsPeriods) {
  EPtr<IAudioBuf> s(FloatSound(44100, 880, Silence));
  EPtr<IAudioAnalysis> a(CreateAudioAnalysis(*s));
  EXPECT_EQ(Entries(*a), (std::vector<int32_t>{0, 220, 440, 660, 880, 0}));
  int32_t p = 500;
  EXPECT_EQ(a->FindPeriodStart(p), 2);
  EXPECT_EQ(p, 440);
  p = 880;
  EXPECT_EQ(a->FindPeriodStart(p), 4);
  EXPECT_EQ(p, 880);
}

TEST(AnalysisChunk, BytesAreExactInBothByteOrders) {
  EPtr<IAudioBuf> s(FloatSound(44100, 1000, Silence));
  EPtr<IAudioAnalysis> a(CreateAudioAnalysis(*s));
  const std::vector<uint32_t> words = {6, 1, 220, 0, 32, 1, 0, 220, 440, 660, 880, 1000};
  for (int type : {4, 5}) {
    const int order = type == 5;
    Bytes expected = Cat({Str("Anal"), U32(48, order)});
    for (uint32_t w : words) expected = Cat({expected, U32(w, order)});
    EPtr<IAudioBuf> sound(CreateAudioBuf(1, 0, 32, 1, 44100, 1000, 0));
    const Bytes file = WriteToMemory(type, *sound, 0, 0, 0, 1000, 60, a.Get());
    ASSERT_GE(file.size(), expected.size());
    // The analysis chunk comes last.
    EXPECT_EQ(testkit::Hex(Bytes(file.end() - long(expected.size()), file.end())), testkit::Hex(expected)) << type;
    std::string error;
    EPtr<IAudioFile> back(Open(file, type, &error));
    ASSERT_TRUE(back) << error;
    ASSERT_TRUE(back->GetAnalysis());
    EXPECT_EQ(back->GetAnalysis()->GetWindowLength(), 220);
    EXPECT_EQ(Entries(*back->GetAnalysis()), (std::vector<int32_t>{0, 220, 440, 660, 880, 1000}));
  }
}

TEST(AnalysisChunk, TableThatDoesNotFitTheSoundIsDropped) {
  auto anal = [](std::vector<uint32_t> words) {
    Bytes content;
    for (uint32_t w : words) content = Cat({content, U32(w, 0)});
    return Chunk("Anal", content, 0);
  };
  const Bytes data = Chunk("data", Bytes(2000, 0), 0); // 1000 frames at 44100
  struct Case {
    const char* what;
    Bytes chunk;
    bool kept;
  } cases[] = {
      {"fits", anal({6, 1, 220, 0, 32, 1, 0, 220, 440, 660, 880, 1000}), true},
      {"wrong count", anal({5, 1, 220, 0, 32, 1, 0, 220, 440, 660, 1000}), false},
      {"wrong period", anal({6, 1, 200, 0, 32, 1, 0, 220, 440, 660, 880, 1000}), false},
      {"entry beyond the length", anal({6, 1, 220, 0, 32, 1, 0, 220, 440, 660, 880, 5000}), false},
      {"negative entry", anal({6, 1, 220, 0, 32, 1, 0, 0xFFFFFFFF, 440, 660, 880, 1000}), false},
      {"two channels", anal({6, 2, 220, 0, 32, 1, 0, 220, 440, 660, 880, 1000}), false},
      {"count beyond the chunk", anal({0x10000000, 1, 220, 0, 32, 1, 0, 220}), false},
      {"header cut short", anal({6, 1, 220}), false},
  };
  for (const Case& c : cases) {
    std::string error;
    EPtr<IAudioFile> f(Open(WavFile({FmtChunk(1, 44100, 16), data, c.chunk}), 4, &error));
    ASSERT_TRUE(f) << c.what << ": " << error;
    EXPECT_EQ(f->GetAnalysis() != nullptr, c.kept) << c.what;
    EXPECT_EQ(f->GetFileLength(), 1000) << c.what;
  }
}

TEST(AnalysisChunk, TakenAnalysisOutlivesTheFile) {
  EPtr<IAudioBuf> s(FloatSound(44100, 1000, Silence));
  EPtr<IAudioAnalysis> a(CreateAudioAnalysis(*s));
  const Bytes file = WriteToMemory(4, *s, 0, 0, 0, 1000, 60, a.Get());
  IAudioAnalysis* taken = nullptr;
  {
    EPtr<IAudioFile> f(Open(file, 4, nullptr));
    ASSERT_TRUE(f);
    taken = f->TakeAnalysis();
  }
  ASSERT_TRUE(taken);
  EXPECT_EQ(Entries(*taken).back(), 1000);
  taken->Delete();
}

TEST(AnalysisChunk, SetAnalysisKeepsAnAnalysisTheFileHas) {
  EPtr<IAudioBuf> s(FloatSound(44100, 1000, Silence));
  EPtr<IAudioAnalysis> a(CreateAudioAnalysis(*s));
  EPtr<IAudioAnalysis> other(CreateAudioAnalysis(*s));
  EPtr<IAudioFile> f(Open(WriteToMemory(4, *s, 0, 0, 0, 1000, 60, a.Get()), 4, nullptr));
  ASSERT_TRUE(f);
  IAudioAnalysis* had = f->GetAnalysis();
  f->SetAnalysis(other.Get());
  EXPECT_EQ(f->GetAnalysis(), had);
}
