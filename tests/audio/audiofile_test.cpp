#include "src/audio/audiofile.h"
#include "src/audio/wavchunks.h"
#include "tests/audio/audiotest.h"
#include "tests/common/savesafety.h"
#include "tests/common/testkit.h"

#include <gtest/gtest.h>

#include <fstream>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>

using namespace audiotest;

namespace {

EPtr<IFileName> NameOf(const std::string& path) {
  EPtr<IFileName> n(CreateFileName());
  n->SetPath(TStr(path));
  return n;
}

std::string OpenError(const std::string& path) {
  EPtr<IFileName> n = NameOf(path);
  try {
    EPtr<IAudioFile> f(OpenAudioFile(n.Get(), 1024));
  } catch (const TError&) {
    return LastError()->Expand().Std();
  }
  return "";
}

// A stereo or mono float sound with a recognisable ramp in every channel.
IAudioBuf* Ramp(int channels, int rate, int length) {
  IAudioBuf* b = CreateAudioBuf(1, 0, 32, channels, rate, length, 4);
  for (int c = 0; c < channels; ++c)
    for (int i = 0; i < length; ++i) b->SetSample(i, float(((i * 37 + c * 101) % 2000) - 1000) / 1001.0f, c);
  return b;
}

int16_t Stored16(float v) { return int16_t(v / float(1.0 / 32767)); }

Bytes SmplChunk(uint32_t note, std::vector<std::array<uint32_t, 3>> loops, uint32_t declaredLoops = ~0u) {
  Bytes c = Cat({U32(0, 0), U32(0, 0), U32(0, 0), U32(note, 0), U32(0, 0), U32(0, 0), U32(0, 0),
                 U32(declaredLoops == ~0u ? uint32_t(loops.size()) : declaredLoops, 0), U32(0, 0)});
  for (auto& l : loops) c = Cat({c, U32(0, 0), U32(l[0], 0), U32(l[1], 0), U32(l[2], 0), U32(0, 0), U32(0, 0)});
  return Chunk("smpl", c, 0);
}

Bytes MarkChunk(std::vector<std::pair<uint16_t, uint32_t>> markers, std::vector<const char*> names = {}) {
  Bytes c = U16(uint32_t(markers.size()), 1);
  for (size_t i = 0; i < markers.size(); ++i) {
    const char* name = i < names.size() ? names[i] : "";
    const size_t len = std::strlen(name);
    c = Cat({c, U16(markers[i].first, 1), U32(markers[i].second, 1), Bytes{uint8_t(len)}, Str(name)});
    if (len % 2 == 0) c.push_back(0);
  }
  return Chunk("MARK", c, 1);
}

Bytes InstChunk(int baseNote, int mode, int begin, int end, int releaseMode = 0, int releaseBegin = 0,
                int releaseEnd = 0) {
  return Chunk("INST", Cat({Bytes{uint8_t(baseNote), 0, 0, 127, 0, 127}, U16(0, 1), U16(mode, 1), U16(begin, 1),
                            U16(end, 1), U16(releaseMode, 1), U16(releaseBegin, 1), U16(releaseEnd, 1)}),
               1);
}

Bytes SsndChunk(int bytes, uint32_t offset = 0) { return Chunk("SSND", Cat({U32(offset, 1), U32(0, 1), Bytes(size_t(bytes), 0)}), 1); }

} // namespace

// ---------------------------------------------------------------- fixtures

TEST(AudioFixtures, LoadLikeTheToolsReadThem) {
  const char* names[] = {"s16_stereo.wav", "s16_stereo.aif", "s16_mono_22050.aif", "u8_mono_odd.wav",
                         "u8_list_odd.wav", "s8_mono_odd.aif", "wavex.wav", "list_after_data.wav",
                         "smpl_loop.wav", "smpl_alt.wav", "placeholder.aif", "aifc_none.aif"};
  for (const char* name : names) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(Oracles().count(name));
    const Oracle& o = Oracles().at(name);
    EPtr<IFileName> n = NameOf(FixturePath(name));
    EPtr<IAudioFile> f;
    try {
      f.Set(OpenAudioFile(n.Get(), 1024));
    } catch (const TError&) {
      FAIL() << LastError()->Expand().Std();
    }
    const std::vector<int16_t> dump = Dump(name);
    EXPECT_EQ(f->GetChannels(), o.channels);
    EXPECT_EQ(f->GetRate(), o.rate);
    ASSERT_EQ(int64_t(f->GetFileLength()) * o.channels, int64_t(dump.size()));
    if (o.frames > 0 && std::string(name) != "placeholder.aif") {
      EXPECT_EQ(f->GetFileLength(), o.frames);
    }
    EPtr<IAudioBuf> samples(LoadAll(*f));
    const int bits = f->GetBits();
    const int top = bits == 8 ? 127 : 32767;
    int wrong = 0;
    for (int i = 0; i < f->GetFileLength(); ++i)
      for (int c = 0; c < o.channels; ++c) {
        int value = dump[size_t(i * o.channels + c)];
        if (bits == 8) value >>= 8;
        const int expected = std::min(std::max(value, -top), bits == 8 ? top : top - 1);
        const long got = std::lround(double(samples->GetSample(i, c)) * top);
        if (got != expected && wrong++ < 5) ADD_FAILURE() << "frame " << i << " channel " << c << ": " << got << " != " << expected;
      }
    if (o.loops.empty()) {
      EXPECT_EQ(f->GetLoopOn(), 0);
      EXPECT_EQ(f->GetLoopStart(), 0);
      EXPECT_EQ(f->GetLoopEnd(), f->GetFileLength());
    } else {
      EXPECT_NE(f->GetLoopOn(), 0);
      EXPECT_EQ(f->GetAlternatingLoop(), o.loops[0].mode == 803 ? 1 : 0);
      EXPECT_EQ(uint32_t(f->GetLoopStart()), o.loops[0].start);
      EXPECT_EQ(uint32_t(f->GetLoopEnd()), o.loops[0].end);
      EXPECT_EQ(f->GetRootKey(), o.basenote);
    }
  }
}

TEST(AudioFixtures, UnsupportedFilesAreRefusedWithTheirMessage) {
  struct Case {
    const char* name;
    const char* message;
  } cases[] = {
      {"alaw.wav", "Format of $1 is not supported."},
      {"alaw.aif", "Format of $1 is not supported."},
      {"float32.wav", "Unable to read file $1.\nOnly 8-bit or 16-bit files can be read."},
      {"s24.wav", "Unable to read file $1.\nOnly 8-bit or 16-bit files can be read."},
      {"three_ch.wav", "Format of $1 is not supported.\nOnly 1-channel or 2-channel files can be read."},
  };
  for (const Case& c : cases) {
    std::string expected = c.message;
    expected.replace(expected.find("$1"), 2, NameOf(FixturePath(c.name))->GetPath().Std());
    EXPECT_EQ(OpenError(FixturePath(c.name)), expected) << c.name;
  }
}

TEST(AudioFixtures, MissingFileAndWrongTypeLeaveNothingBehind) {
  const std::string dir = testkit::TempDir("audio-open");
  EXPECT_EQ(OpenError(dir + "/none.wav"), "Cannot open file " + dir + "/none.wav.");
  WriteFileBytes(dir + "/notes.map", Str("not a sound"));
  EXPECT_EQ(OpenError(dir + "/notes.map"), "The file " + dir + "/notes.map\nis not a waveform-audio file.");
}

// ---------------------------------------------------------------- headers built here

TEST(AudioHeaders, TolerantReadingOfOrderAndCounts) {
  const Bytes data16 = Chunk("data", Bytes(4000, 0), 0); // 1000 stereo frames
  const Bytes fixture = ReadFileBytes(FixturePath("s16_stereo.aif"));
  // The fixture's chunks in another order: samples before the format.
  Bytes ssndFirst;
  {
    TMemAudioStream s(fixture);
    std::unique_ptr<TFileChunk> tree(ReadChunkTree(s));
    Bytes comm, ssnd, rest;
    for (TFileChunk* c = tree->Children().First(); c; c = EList<TFileChunk>::Next(c)) {
      const size_t at = size_t(c->GetFileOffset());
      const size_t size = 8 + size_t(c->GetDataSize()) + (c->GetDataSize() % 2);
      Bytes raw(fixture.begin() + long(at), fixture.begin() + long(at + std::min(size, fixture.size() - at)));
      uint32_t declared = (uint32_t(raw[4]) << 24) | (uint32_t(raw[5]) << 16) | (uint32_t(raw[6]) << 8) | raw[7];
      raw.resize(8 + declared + (declared % 2));
      if (c->Id() == TStr("COMM")) comm = raw;
      else if (c->Id() == TStr("SSND")) ssnd = raw;
      else rest = Cat({rest, raw});
    }
    ssndFirst = Cat({Str("FORM"), U32(uint32_t(4 + ssnd.size() + comm.size() + rest.size()), 1), Str("AIFF"), ssnd, rest, comm});
  }
  struct Case {
    const char* what;
    Bytes file;
    int type;
    int length, loopOn, loopStart, loopEnd, rootKey;
  } cases[] = {
      {"data before fmt", WavFile({data16, FmtChunk(2, 44100, 16)}), 4, 1000, 0, 0, 1000, 60},
      {"SSND before COMM", ssndFirst, 5, 400, 0, 0, 400, 60},
      {"smpl without loops", WavFile({FmtChunk(2, 44100, 16), SmplChunk(72, {}), data16}), 4, 1000, 0, 0, 1000, 72},
      {"alternating smpl loop", WavFile({FmtChunk(2, 44100, 16), SmplChunk(60, {{1, 100, 199}}), data16}), 4, 1000, 1, 100, 200, 60},
      {"smpl loop of type 0xFF", WavFile({FmtChunk(2, 44100, 16), SmplChunk(60, {{0xFF, 100, 199}}), data16}), 4, 1000, 0, 100, 200, 60},
      {"smpl loop end past the data", WavFile({FmtChunk(2, 44100, 16), SmplChunk(60, {{0, 100, 4999}}), data16}), 4, 1000, 1, 100, 1000, 60},
      {"smpl loop end 0xFFFFFFFF", WavFile({FmtChunk(2, 44100, 16), SmplChunk(60, {{0, 10, 0xFFFFFFFF}}), data16}), 4, 1000, 1, 10, 1000, 60},
      {"smpl loop past the data", WavFile({FmtChunk(2, 44100, 16), SmplChunk(60, {{0, 3000, 3999}}), data16}), 4, 1000, 0, 0, 1000, 60},
      {"smpl loop count beyond its bytes", WavFile({FmtChunk(2, 44100, 16), SmplChunk(61, {{0, 5, 9}}, 100000000), data16}), 4, 1000, 1, 5, 10, 61},
      {"smpl unity note out of range", WavFile({FmtChunk(2, 44100, 16), SmplChunk(4000, {}), data16}), 4, 1000, 0, 0, 1000, 60},
      {"AIFF loop from MARK and INST", AiffFile({CommChunk(1, 500, 16, 8000), MarkChunk({{1, 50}, {2, 150}}), InstChunk(64, 2, 1, 2), SsndChunk(1000)}), 5, 500, 2, 50, 150, 64},
      {"AIFF sustain markers missing", AiffFile({CommChunk(1, 500, 16, 8000), MarkChunk({{7, 50}}), InstChunk(64, 1, 1, 2), SsndChunk(1000)}), 5, 500, 1, 0, 500, 64},
      {"AIFF begin marker missing", AiffFile({CommChunk(1, 500, 16, 8000), MarkChunk({{2, 150}}), InstChunk(64, 1, 1, 2), SsndChunk(1000)}), 5, 500, 1, 0, 150, 64},
      {"AIFF without INST", AiffFile({CommChunk(1, 500, 16, 8000), MarkChunk({{1, 50}, {2, 150}}), SsndChunk(1000)}), 5, 500, 0, 0, 500, 60},
      {"AIFF loop end marker at 0", AiffFile({CommChunk(1, 500, 16, 8000), MarkChunk({{1, 0}, {2, 0}}), InstChunk(60, 1, 1, 2), SsndChunk(1000)}), 5, 500, 1, 0, 500, 60},
      {"odd 8-bit samples, pad byte, then MARK and INST", AiffFile({CommChunk(1, 5, 8, 8000), Chunk("SSND", Cat({U32(0, 1), U32(0, 1), Bytes{1, 2, 3, 4, 5}}), 1), MarkChunk({{1, 1}, {2, 4}}), InstChunk(60, 1, 1, 2)}), 5, 5, 1, 1, 4, 60},
      {"two data chunks: the first holds the samples", WavFile({FmtChunk(2, 44100, 16), data16, Chunk("data", Bytes(400, 0), 0)}), 4, 1000, 0, 0, 1000, 60},
      {"two SSND chunks: the first holds the samples", AiffFile({CommChunk(1, 500, 16, 8000), SsndChunk(1000), SsndChunk(40)}), 5, 500, 0, 0, 500, 60},
      {"AIFF INST without MARK: no loop", AiffFile({CommChunk(1, 500, 16, 8000), InstChunk(64, 1, 1, 2), SsndChunk(1000)}), 5, 500, 0, 0, 500, 64},
      {"MARK names A and AB", AiffFile({CommChunk(1, 500, 16, 8000), MarkChunk({{1, 5}, {2, 9}}, {"A", "AB"}), InstChunk(60, 1, 1, 2), SsndChunk(1000)}), 5, 500, 1, 5, 9, 60},
  };
  for (const Case& c : cases) {
    std::string error;
    EPtr<IAudioFile> f(Open(c.file, c.type, &error));
    ASSERT_TRUE(f) << c.what << ": " << error;
    EXPECT_EQ(f->GetFileLength(), c.length) << c.what;
    EXPECT_EQ(f->GetLoopOn(), c.loopOn) << c.what;
    EXPECT_EQ(f->GetLoopStart(), c.loopStart) << c.what;
    EXPECT_EQ(f->GetLoopEnd(), c.loopEnd) << c.what;
    EXPECT_EQ(f->GetRootKey(), c.rootKey) << c.what;
  }
}

TEST(AudioHeaders, RefusedWithTheMessageOfTheirFault) {
  const std::string path = "/snd/file";
  const Bytes data16 = Chunk("data", Bytes(40, 0), 0);
  Bytes aifc = AiffFile({Chunk("COMM", Cat({U16(1, 1), U32(10, 1), U16(16, 1), Bytes{0x40, 0x0B, 0xFA, 0, 0, 0, 0, 0, 0, 0}, Str("ulaw"), Bytes{0, 0}}), 1), SsndChunk(20)}, "AIFC");
  struct Case {
    const char* what;
    Bytes file;
    int type;
    std::string message;
  } cases[] = {
      {"no fmt", WavFile({data16}), 4, "The file /snd/file\nis not a waveform-audio file."},
      {"no data", WavFile({FmtChunk(1, 8000, 16)}), 4, "The file /snd/file\nis not a waveform-audio file."},
      {"empty data", WavFile({FmtChunk(1, 8000, 16), Chunk("data", {}, 0)}), 4, "File /snd/file contains no data."},
      {"zero channels", WavFile({FmtChunk(0, 8000, 16), data16}), 4, "Format of /snd/file is not supported.\nOnly 1-channel or 2-channel files can be read."},
      {"zero bits", WavFile({FmtChunk(1, 8000, 0), data16}), 4, "File /snd/file contains no data."},
      {"12 bits", WavFile({FmtChunk(1, 8000, 12), data16}), 4, "Unable to read file /snd/file.\nOnly 8-bit or 16-bit files can be read."},
      {"a-law tag", WavFile({FmtChunk(1, 8000, 8, 6), data16}), 4, "Format of /snd/file is not supported."},
      {"AIFF without COMM", AiffFile({SsndChunk(20)}), 5, "Format of /snd/file is not supported.\nOnly 1-channel or 2-channel files can be read."},
      {"SSND offset 4", AiffFile({CommChunk(1, 10, 16, 8000), SsndChunk(20, 4)}), 5, "Format of /snd/file is not supported."},
      {"compressed AIFF-C", aifc, 5, "Format of /snd/file is not supported."},
      {"MARK size disagrees", AiffFile({CommChunk(1, 10, 16, 8000), Chunk("MARK", Cat({U16(1, 1), U16(1, 1), U32(0, 1), Bytes{0, 0}, Bytes{0, 0}}), 1), SsndChunk(20)}), 5, "/snd/file is corrupt."},
      {"MARK count beyond its bytes", AiffFile({CommChunk(1, 10, 16, 8000), Chunk("MARK", Cat({U16(5000, 1), U16(1, 1), U32(0, 1), Bytes{0, 0}}), 1), SsndChunk(20)}), 5, "/snd/file is corrupt."},
      {"WAV rate 0", WavFile({FmtChunk(1, 0, 16), data16}), 4, "The sample rate of /snd/file is 0.\nThe file cannot be played."},
      {"AIFF rate that rounds to 0", AiffFile({CommChunk(1, 10, 16, 0.4), SsndChunk(20)}), 5, "The sample rate of /snd/file is 0.\nThe file cannot be played."},
      {"not a chunk file", Str("just some text, long enough"), 4, "Format of /snd/file is not supported.\nOnly 1-channel or 2-channel files can be read."},
      {"empty file", {}, 4, "/snd/file is corrupt."},
  };
  for (const Case& c : cases) {
    std::string error;
    EPtr<IAudioFile> f(Open(c.file, c.type, &error, path.c_str()));
    EXPECT_FALSE(f) << c.what;
    EXPECT_EQ(error, c.message) << c.what;
  }
}

TEST(AudioHeaders, AiffRatesReadTruncated) {
  for (double rate : {22050.0, 44100.5, 8000.0, 96000.0}) {
    std::string error;
    EPtr<IAudioFile> f(Open(AiffFile({CommChunk(1, 10, 16, rate), SsndChunk(20)}), 5, &error));
    ASSERT_TRUE(f) << error;
    EXPECT_EQ(f->GetRate(), int(rate));
  }
}

TEST(AudioHeaders, EightBitSamplesAreSignedInTheTransferBlock) {
  const Bytes bytes = {0x80, 0x00, 0xFF, 0x7F};
  std::string error;
  EPtr<IAudioFile> wav(Open(WavFile({FmtChunk(1, 8000, 8), Chunk("data", bytes, 0)}), 4, &error));
  ASSERT_TRUE(wav) << error;
  ASSERT_EQ(wav->ReadBlock(0), 4);
  const int8_t* w = reinterpret_cast<const int8_t*>(wav->GetSampleAddress(0, 0));
  EXPECT_EQ((std::vector<int>{w[0], w[1], w[2], w[3]}), (std::vector<int>{0, -128, 127, -1}));
  EPtr<IAudioFile> aif(Open(AiffFile({CommChunk(1, 4, 8, 8000), Chunk("SSND", Cat({U32(0, 1), U32(0, 1), bytes}), 1)}), 5, &error));
  ASSERT_TRUE(aif) << error;
  ASSERT_EQ(aif->ReadBlock(0), 4);
  const int8_t* a = reinterpret_cast<const int8_t*>(aif->GetSampleAddress(0, 0));
  EXPECT_EQ((std::vector<int>{a[0], a[1], a[2], a[3]}), (std::vector<int>{-128, 0, -1, 127}));
}

TEST(AudioHeaders, ContentTestsNeedFifteenBytes) {
  const std::string dir = testkit::TempDir("audio-content");
  const Bytes head = Cat({Str("RIFF"), U32(7, 0), Str("WAVE"), Bytes{1, 2, 3}});
  WriteFileBytes(dir + "/full", head);
  WriteFileBytes(dir + "/short", Bytes(head.begin(), head.end() - 1));
  WriteFileBytes(dir + "/aiff", Cat({Str("FORM"), U32(7, 1), Str("AIFF"), Bytes{1, 2, 3}}));
  EXPECT_TRUE(IsWAVFile(NameOf(dir + "/full").Get()));
  EXPECT_FALSE(IsWAVFile(NameOf(dir + "/short").Get()));
  EXPECT_FALSE(IsWAVFile(NameOf(dir + "/missing").Get()));
  EXPECT_TRUE(IsAIFFFile(NameOf(dir + "/aiff").Get()));
  EXPECT_FALSE(IsAIFFFile(NameOf(dir + "/full").Get()));
  // File names find the type by content once the audio layer is in.
  InstallAudioContentTest();
  EXPECT_EQ(NameOf(dir + "/aiff")->GetType(), 5);
}

// ---------------------------------------------------------------- positions and blocks

TEST(AudioFileBlocks, FramePositionsOfAStereoFile) {
  EPtr<IFileName> n = NameOf(FixturePath("s16_stereo.wav"));
  EPtr<IAudioFile> f(OpenAudioFile(n.Get(), 1024));
  auto* file = dynamic_cast<TAudioFile*>(f.Get());
  ASSERT_EQ(file->GetDataStart(), 44);
  f->SeekFrame(10, 1);
  EXPECT_EQ(file->GetStream()->Tell(), 86u);
  EXPECT_EQ(f->TellFrame(), 10);
  f->SeekFrame(-5, 7);
  EXPECT_EQ(file->GetStream()->Tell(), 46u);
  f->SeekFrame(100000, 0);
  EXPECT_EQ(f->TellFrame(), f->GetFileLength() - 1);
}

namespace {
class TRecordingWAVFile : public TWAVFile {
public:
  void WriteBlock(int32_t start, int32_t frames) override {
    blocks.push_back({start, frames});
    TWAVFile::WriteBlock(start, frames);
  }
  std::vector<std::pair<int32_t, int32_t>> blocks;
};
} // namespace

TEST(AudioFileBlocks, WriteFromGoesBlockByBlock) {
  EPtr<IAudioBuf> ramp(Ramp(2, 44100, 2500));
  auto* stream = new TMemAudioStream({}, TStr("/snd/out.wav"));
  TRecordingWAVFile file;
  file.AttachStream(std::unique_ptr<TAudioStream>(stream));
  file.SetFormat(0, 1, 16, 2, 44100, 1024, 0);
  file.SetFileLength(2500);
  file.SetLoopStart(0);
  file.SetLoopEnd(2500);
  file.Save();
  file.WriteFrom(ramp.Get(), -1);
  EXPECT_EQ(file.blocks, (std::vector<std::pair<int32_t, int32_t>>{{0, -1}, {1024, -1}, {2048, 452}}));
  std::string error;
  EPtr<IAudioFile> back(Open(stream->Data(), 4, &error));
  ASSERT_TRUE(back) << error;
  EPtr<IAudioBuf> loaded(LoadAll(*back));
  for (int c = 0; c < 2; ++c)
    for (int i = 0; i < 2500; ++i) {
      int16_t raw;
      std::memcpy(&raw, stream->Data().data() + 44 + 60 + 8 + 4 * i + 2 * c, 2);
      ASSERT_EQ(raw, Stored16(ramp->GetSample(i, c))) << i;
      ASSERT_EQ(std::lround(loaded->GetSample(i, c) * 32767), raw) << i;
    }
}

TEST(AudioFileBlocks, FailedWritesAreReportedAndKeepWhatWasWritten) {
  EPtr<IAudioBuf> ramp(Ramp(1, 8000, 3000));
  // The disk fills while the header reserves the samples' space.
  {
    auto* stream = new TMemAudioStream({}, TStr("/snd/full.wav"));
    stream->FailWritesFrom(2000);
    std::unique_ptr<TAudioStream> owned(stream);
    try {
      EPtr<IAudioFile> f(CreateAudioStreamFile(std::move(owned), 4, 0, 1, 16, 1, 8000, 1024, 3000, 0, 0, 1, 0, 3000,
                                               60, nullptr));
      ADD_FAILURE();
    } catch (const TError&) {
      EXPECT_EQ(LastError()->Expand().Std(), "Not enough space to write file\n/snd/full.wav.");
    }
  }
  // Or while the samples go in.
  auto* stream = new TMemAudioStream({}, TStr("/snd/full.wav"));
  EPtr<IAudioFile> f(CreateAudioStreamFile(std::unique_ptr<TAudioStream>(stream), 4, 0, 1, 16, 1, 8000, 1024, 3000, 0,
                                           0, 1, 0, 3000, 60, nullptr));
  stream->FailWritesFrom(3000);
  try {
    f->WriteFrom(ramp.Get(), -1);
    ADD_FAILURE();
  } catch (const TError&) {
    EXPECT_EQ(LastError()->Expand().Std(), "Not enough space to write file\n/snd/full.wav.");
  }
  int16_t first;
  std::memcpy(&first, stream->Data().data() + 112, 2);
  EXPECT_EQ(first, Stored16(ramp->GetSample(0, 0)));
}

TEST(AudioFileBlocks, EightBitSoundIsWrittenAsSixteenBits) {
  EPtr<IFileName> n = NameOf(FixturePath("u8_mono_odd.wav"));
  EPtr<IAudioFile> f(OpenAudioFile(n.Get(), 1024));
  EPtr<IAudioBuf> samples(LoadAll(*f));
  const Bytes out = WriteToMemory(4, *samples, 0, 0, 0, f->GetFileLength(), 60, nullptr);
  std::string error;
  EPtr<IAudioFile> back(Open(out, 4, &error));
  ASSERT_TRUE(back) << error;
  EXPECT_EQ(back->GetBits(), 16);
  EXPECT_EQ(back->GetFileLength(), 101);
  EPtr<IAudioBuf> again(LoadAll(*back));
  for (int i = 0; i < 101; ++i) EXPECT_NEAR(again->GetSample(i, 0), samples->GetSample(i, 0), 1.0 / 32767) << i;
}

// ---------------------------------------------------------------- writing

TEST(AudioWriter, LoopsRootKeyAndFormatRoundTrip) {
  EPtr<IAudioBuf> ramp(Ramp(2, 22050, 700));
  struct Case {
    int type, loopOn, alternating, start, end, key;
  } cases[] = {{4, 1, 0, 100, 300, 64}, {4, 1, 1, 5, 700, 30}, {4, 0, 0, 0, 700, 60},
               {5, 1, 0, 100, 300, 64}, {5, 1, 1, 5, 700, 30}, {5, 0, 0, 0, 700, 60}};
  for (const Case& c : cases) {
    const Bytes out = WriteToMemory(c.type, *ramp, c.loopOn, c.alternating, c.start, c.end, c.key, nullptr);
    EXPECT_EQ(out.size() % 2, 0u);
    std::string error;
    EPtr<IAudioFile> f(Open(out, c.type, &error));
    ASSERT_TRUE(f) << error;
    EXPECT_EQ(f->GetRate(), 22050);
    EXPECT_EQ(f->GetChannels(), 2);
    EXPECT_EQ(f->GetFileLength(), 700);
    EXPECT_EQ(f->GetLoopOn() != 0, c.loopOn != 0);
    EXPECT_EQ(f->GetAlternatingLoop(), c.alternating);
    EXPECT_EQ(f->GetLoopStart(), c.start);
    EXPECT_EQ(f->GetLoopEnd(), c.end);
    EXPECT_EQ(f->GetRootKey(), c.key);
  }
}

TEST(AudioWriter, HeadersAreByteExact) {
  EPtr<IAudioBuf> one(CreateAudioBuf(1, 0, 32, 1, 44100, 2, 0));
  one->SetSample(0, 0.5f, 0);
  one->SetSample(1, -0.5f, 0);
  const Bytes wav = WriteToMemory(4, *one, 0, 0, 0, 2, 60, nullptr);
  const Bytes expectedWav = Cat({Str("RIFF"), U32(4 + 24 + 68 + 12, 0), Str("WAVE"), FmtChunk(1, 44100, 16),
                                 Str("smpl"), U32(60, 0), U32(0, 0), U32(0, 0), U32(0, 0), U32(60, 0), U32(0, 0),
                                 U32(0, 0), U32(0, 0), U32(1, 0), U32(0, 0), U32(0, 0), U32(0xFF, 0), U32(0, 0),
                                 U32(1, 0), U32(0, 0), U32(0, 0), Str("data"), U32(4, 0), U16(16383, 0),
                                 U16(uint16_t(-16383), 0)});
  EXPECT_EQ(testkit::Hex(wav), testkit::Hex(expectedWav));
  const Bytes aif = WriteToMemory(5, *one, 1, 1, 0, 2, 61, nullptr);
  // The release loop is written forward over the same two markers.
  const Bytes expected = Cat({Str("FORM"), U32(4 + 26 + 26 + 28 + 20, 1), Str("AIFF"), CommChunk(1, 2, 16, 44100),
                              MarkChunk({{1, 0}, {2, 2}}), InstChunk(61, 2, 1, 2, 1, 1, 2), Str("SSND"), U32(12, 1),
                              U32(0, 1), U32(0, 1), U16(16383, 1), U16(uint16_t(-16383), 1)});
  EXPECT_EQ(testkit::Hex(aif), testkit::Hex(expected));
}

TEST(AudioWriter, CreatedFileOnDiskReadsBack) {
  const std::string dir = testkit::TempDir("audio-create");
  EPtr<IAudioBuf> ramp(Ramp(1, 8000, 1500));
  for (const char* file : {"/out.wav", "/out.aif", "/OUT.AIFF"}) {
    EPtr<IFileName> n = NameOf(dir + file);
    {
      EPtr<IAudioFile> f(CreateAudioFile(n.Get(), 0, 1, 16, 1, 8000, 1024, 1500, 1, 0, 1, 10, 20, 50, nullptr));
      f->WriteFrom(ramp.Get(), -1);
      f->Close();
    }
    EPtr<IAudioFile> back(OpenAudioFile(n.Get(), 1024));
    EXPECT_EQ(back->GetFileLength(), 1500) << file;
    EXPECT_EQ(back->GetLoopStart(), 10) << file;
    EPtr<IAudioBuf> loaded(LoadAll(*back));
    for (int i = 0; i < 1500; i += 7) ASSERT_EQ(std::lround(loaded->GetSample(i, 0) * 32767), Stored16(ramp->GetSample(i, 0))) << file;
  }
}

TEST(AudioWriter, SavingOverASoundReplacesItWhole) {
  const std::string dir = testkit::TempDir("audio-replace");
  const std::string path = dir + "/piano.wav";
  std::filesystem::copy_file(FixturePath("list_after_data.wav"), path);
  EPtr<IAudioBuf> ramp(Ramp(1, 8000, 300));
  EPtr<IAudioAnalysis> analysis(CreateAudioAnalysis(*ramp));
  TSoundSettings settings;
  settings.analysis = analysis.Get();
  settings.loopEnd = 300;
  EPtr<IFileName> n = NameOf(path);
  SaveAudioFileReplacing(n.Get(), *ramp, settings);
  EPtr<IAudioFile> back(OpenAudioFile(n.Get(), 1024));
  EXPECT_EQ(back->GetFileLength(), 300);
  EXPECT_TRUE(back->GetAnalysis());
  int files = 0;
  for (auto& e : std::filesystem::directory_iterator(dir)) files += e.is_regular_file();
  EXPECT_EQ(files, 1);
}

TEST(AudioWriter, SavingOverASoundKeepsTheChunksItDoesNotRead) {
  const std::string dir = testkit::TempDir("audio-foreign");
  struct Case {
    const char* what;
    const char* name;
    Bytes file;
    std::vector<Bytes> kept; // whole chunks, as they must reappear
  };
  const Bytes comment = Chunk("LIST", Cat({Str("INFO"), Chunk("ICMT", Str("a comment"), 0)}), 0);
  const Bytes odd = Chunk("bext", Str("odd"), 0); // padded to an even size
  const Bytes anno = Chunk("ANNO", Str("notes!"), 1);
  const Case cases[] = {
      {"WAV: LIST/INFO before the samples, an odd chunk after", "/piano.wav",
       WavFile({FmtChunk(1, 8000, 16), comment, Chunk("data", Bytes(200, 0), 0), odd}), {comment, odd}},
      {"AIFF: an annotation", "/piano.aif", AiffFile({CommChunk(1, 100, 16, 8000), anno, SsndChunk(200)}), {anno}},
  };
  EPtr<IAudioBuf> ramp(Ramp(1, 8000, 300));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = dir + c.name;
    WriteFileBytes(path, c.file);
    EPtr<IFileName> n = NameOf(path);
    SaveAudioFileReplacing(n.Get(), *ramp, TSoundSettings());
    const Bytes now = ReadFileBytes(path);
    for (const Bytes& k : c.kept)
      EXPECT_NE(std::search(now.begin(), now.end(), k.begin(), k.end()), now.end()) << "a chunk was dropped";
    std::string error;
    EPtr<IAudioFile> back(Open(now, n->GetType(), &error));
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(back->GetFileLength(), 300);
    // Saved again, the chunks are there once.
    SaveAudioFileReplacing(n.Get(), *ramp, TSoundSettings());
    const Bytes again = ReadFileBytes(path);
    EXPECT_EQ(again.size(), now.size());
  }
}

TEST(AudioWriter, FailedReplaceSaysWhatHappenedAndKeepsTheOldFile) {
  EPtr<IAudioBuf> ramp(Ramp(1, 8000, 300));
  struct Case {
    const char* what;
    void (*make)(const std::string& dir);
    const char* message; // after "Cannot write file PATH."
  };
  const Case cases[] = {
      {"a folder in the way", [](const std::string& dir) { std::filesystem::create_directories(dir + "/piano.wav/inside"); },
       "\nA folder of that name is in the way."},
      {"a read-only folder",
       [](const std::string& dir) {
         std::ofstream(dir + "/piano.wav") << "old";
         std::filesystem::permissions(dir, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
       },
       "\nThe file or its folder is write-protected."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (::geteuid() == 0 && std::string(c.what) == "a read-only folder") continue; // root writes anyway
    const std::string dir = testkit::TempDir("audio-replace-fail");
    c.make(dir);
    EPtr<IFileName> n = NameOf(dir + "/piano.wav");
    n->SetType(4);
    try {
      SaveAudioFileReplacing(n.Get(), *ramp, TSoundSettings());
      ADD_FAILURE() << "the save went through";
    } catch (const TError&) {
      EXPECT_EQ(LastError()->Expand().Std(), "Cannot write file " + n->GetPath().Std() + "." + c.message);
    }
    std::filesystem::permissions(dir, std::filesystem::perms::owner_all);
    if (std::filesystem::is_directory(dir + "/piano.wav")) {
      EXPECT_TRUE(std::filesystem::is_directory(dir + "/piano.wav/inside"));
    } else {
      EXPECT_EQ(testkit::ReadAll(dir + "/piano.wav"), "old");
    }
    int entries = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir)) ++entries;
    EXPECT_EQ(entries, 1);
  }
}

TEST(AudioWriter, AKilledOrFailedSoundSaveKeepsTheOldFile) {
  const std::string dir = testkit::TempDir("audio-kill");
  const std::string path = dir + "/piano.wav";
  EPtr<IAudioBuf> ramp(Ramp(1, 8000, 3000));
  EPtr<IFileName> n = NameOf(path);
  testkit::SaveUnderTest s;
  s.target = path;
  s.putOld = [&] {
    std::filesystem::remove(path);
    std::filesystem::copy_file(FixturePath("list_after_data.wav"), path);
  };
  s.save = [&] { SaveAudioFileReplacing(n.Get(), *ramp, TSoundSettings()); };
  testkit::CheckKilledSaves(s);
  testkit::CheckFullDiskSaves(s, [&](bool threw) {
    return threw && LastError()->Expand().Std() == "Not enough space to write file\n" + path + ".";
  });
}
