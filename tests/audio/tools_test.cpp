// Files our writer makes, read by programs no one here wrote: libsndfile's
// sndfile-info and a libsndfile client, sox and soxi. These checks fail,
// never skip, when a tool is missing.
#include "src/audio/audiofile.h"
#include "tests/audio/audiotest.h"
#include "tests/common/testkit.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace audiotest;

namespace {

IAudioBuf* Tone(int channels, int rate, int length) {
  IAudioBuf* b = CreateAudioBuf(1, 0, 32, channels, rate, length, 4);
  for (int c = 0; c < channels; ++c)
    for (int i = 0; i < length; ++i)
      b->SetSample(i, float(0.7 * std::sin(2 * M_PI * (220.0 + 110 * c) * i / rate) * std::exp(-2.0 * i / length)), c);
  return b;
}

std::string Quote(const std::string& s) { return "'" + s + "'"; }

} // namespace

TEST(SoundToolsReadOurFiles, SamplesLoopsAndHeadersAsWritten) {
  const std::string dir = testkit::TempDir("audio-tools");
  struct Case {
    const char* file;
    int channels, rate, length, loopOn, alternating, start, end, key;
    bool analysed;
    int mode; // the loop mode libsndfile reports
  } cases[] = {
      {"/forward.wav", 2, 22050, 1000, 1, 0, 100, 300, 64, true, 801},
      {"/alternating.wav", 1, 44100, 999, 1, 1, 10, 999, 70, false, 803},
      {"/plain.wav", 1, 8000, 500, 0, 0, 0, 500, 60, true, -1},
      {"/forward.aif", 1, 22050, 777, 1, 0, 50, 250, 62, true, 801},
      // AIFF's forward-and-backward play mode 2 is what libsndfile labels
      // 802 in its listing; its instrument query reports every AIFF loop as
      // forward, so the mode is checked in the listing.
      {"/alternating.aif", 2, 48000, 1000, 1, 1, 0, 1000, 48, true, 802},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string path = dir + c.file;
    EPtr<IAudioBuf> tone(Tone(c.channels, c.rate, c.length));
    EPtr<IAudioAnalysis> analysis(c.analysed ? CreateAudioAnalysis(*tone) : nullptr);
    EPtr<IFileName> name(CreateFileName());
    name->SetPath(TStr(path));
    {
      EPtr<IAudioFile> f(CreateAudioFile(name.Get(), 0, 1, 16, c.channels, c.rate, 1024, c.length, c.loopOn,
                                         c.alternating, 1, c.start, c.end, c.key, analysis.Get()));
      f->WriteFrom(tone.Get(), -1);
      f->Close();
    }

    const ToolRun info = RunTool("sndfile-info " + Quote(path));
    EXPECT_EQ(info.status, 0) << info.output;
    EXPECT_EQ(info.output.find("rror"), std::string::npos) << info.output;

    const ToolRun frames = RunTool("soxi -s " + Quote(path));
    EXPECT_EQ(frames.status, 0) << frames.output;
    EXPECT_EQ(std::atoi(frames.output.c_str()), c.length) << frames.output;
    const ToolRun rate = RunTool("soxi -r " + Quote(path));
    EXPECT_EQ(std::atoi(rate.output.c_str()), c.rate) << rate.output;
    const ToolRun channels = RunTool("soxi -c " + Quote(path));
    EXPECT_EQ(std::atoi(channels.output.c_str()), c.channels) << channels.output;

    const ToolRun dump = RunTool("sox " + Quote(path) + " -t s16 -L - 2>/dev/null");
    EXPECT_EQ(dump.status, 0);
    ASSERT_EQ(dump.output.size(), size_t(c.length) * c.channels * 2);
    int wrong = 0;
    for (int i = 0; i < c.length; ++i)
      for (int ch = 0; ch < c.channels; ++ch) {
        const size_t at = size_t(i * c.channels + ch) * 2;
        const int16_t got = int16_t(uint8_t(dump.output[at]) | (uint8_t(dump.output[at + 1]) << 8));
        const int16_t want = int16_t(tone->GetSample(i, ch) / float(1.0 / 32767));
        if (got != want && wrong++ < 5) ADD_FAILURE() << "frame " << i << " channel " << ch << ": " << got << " != " << want;
      }

    const ToolRun probe = RunTool(Quote(ProbePath()) + " probe " + Quote(path));
    ASSERT_EQ(probe.status, 0) << probe.output;
    const Oracle o = ParseProbe(probe.output);
    EXPECT_EQ(o.frames, c.length);
    EXPECT_EQ(o.rate, c.rate);
    EXPECT_EQ(o.channels, c.channels);
    if (c.mode < 0) {
      EXPECT_TRUE(o.loops.empty() || o.loops[0].mode == 800) << probe.output;
    } else {
      EXPECT_EQ(o.basenote, c.key) << probe.output;
      ASSERT_FALSE(o.loops.empty()) << probe.output;
      if (std::string(c.file).find(".aif") != std::string::npos) {
        const size_t sustain = info.output.find("Sustain");
        ASSERT_NE(sustain, std::string::npos) << info.output;
        EXPECT_NE(info.output.find("mode  : " + std::to_string(c.mode), sustain), std::string::npos) << info.output;
      } else {
        EXPECT_EQ(o.loops[0].mode, c.mode) << probe.output;
      }
      EXPECT_EQ(int(o.loops[0].start), c.start) << probe.output;
      EXPECT_EQ(int(o.loops[0].end), c.end) << probe.output;
    }
  }
}
