// Delay lines and the tapedeck's record buffer.
#include "src/audio/buffers.h"

#include "src/audio/audiobuf.h"
#include "src/audio/audiofile.h"
#include "src/base/system.h"
#include "tests/audio/audiotest.h"
#include "tests/audio/pooltest.h"
#include "tests/common/testkit.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

using namespace pooltest;

namespace {

using DelayBufferTest = PoolTest;

TEST_F(DelayBufferTest, OneSecondLineAt44100HasItsGuardFrames) {
  TTestOwner owner;
  EPtr<IDelayBuffer> delay(CreateDelayBuffer(&owner, 1, 1000));
  ASSERT_TRUE(delay);
  EXPECT_EQ(delay->GetLineCount(), 1);
  EXPECT_EQ(delay->GetLengthMs(), 1000);
  IAudioBuf* line = delay->GetLine(0);
  ASSERT_NE(line, nullptr);
  EXPECT_EQ(line->GetLength(), 44100);
  EXPECT_EQ(line->GetMargin(), 3);
  EXPECT_EQ(line->GetChannels(), 1);
  EXPECT_EQ(line->GetRate(), 44100);
  EXPECT_EQ(line->IsFloat(), 1);
  EXPECT_EQ(line->IsInterleaved(), 0);
  // The guard frames lie before frame 0 and after the last frame, all silent.
  for (int f : {-3, -1, 0, 44099, 44100, 44102}) EXPECT_EQ(line->GetSample(f, 0), 0.0f) << f;
  EXPECT_EQ(line->GetEndAddress(0) - line->GetSampleAddress(0, 0), 44100 * 4);
  EXPECT_EQ(delay->GetLine(1), nullptr);
  EXPECT_EQ(delay->GetLine(-1), nullptr);
  EXPECT_EQ(delay->GetLine(64), nullptr);
  EXPECT_EQ(owner.bufferUpdates, 1);
}

TEST_F(DelayBufferTest, LinesFollowTheProcessingRateAndCount) {
  struct Case {
    float rate;
    int ms, lines, frames;
  } cases[] = {{44100, 1000, 1, 44100}, {48000, 250, 4, 12000}, {22050.7f, 100, 64, 2205}, {44100, 0, 2, 0}};
  for (const Case& c : cases) {
    services.rate = c.rate;
    TTestOwner owner;
    EPtr<IDelayBuffer> delay(CreateDelayBuffer(&owner, c.lines, c.ms));
    for (int i = 0; i < c.lines; ++i) {
      ASSERT_NE(delay->GetLine(i), nullptr) << c.rate << " line " << i;
      EXPECT_EQ(delay->GetLine(i)->GetLength(), c.frames) << c.rate;
      EXPECT_EQ(delay->GetLine(i)->GetRate(), int(c.rate));
    }
    // A 0 ms line is still a line the engine can address.
    if (c.frames == 0) {
      EXPECT_EQ(delay->GetLine(0)->GetSample(2, 0), 0.0f);
    }
    EXPECT_EQ(delay->GetLine(c.lines), nullptr);
  }
}

TEST_F(DelayBufferTest, ReallocatesOnlyWhenAskedOrChanged) {
  TTestOwner owner;
  EPtr<IDelayBuffer> delay(CreateDelayBuffer(&owner, 1, 100));
  ASSERT_EQ(owner.bufferUpdates, 1);
  delay->GetLine(0)->SetSample(5, 0.5f, 0);
  delay->SetLineCount(1); // the same count: nothing happens
  EXPECT_EQ(owner.bufferUpdates, 1);
  EXPECT_EQ(delay->GetLine(0)->GetSample(5, 0), 0.5f);
  delay->SetLengthMs(100); // the same length: made anew all the same
  EXPECT_EQ(owner.bufferUpdates, 2);
  EXPECT_EQ(delay->GetLine(0)->GetSample(5, 0), 0.0f);
  delay->SetLineCount(3);
  EXPECT_EQ(owner.bufferUpdates, 3);
  EXPECT_NE(delay->GetLine(2), nullptr);
  delay->Reallocate();
  EXPECT_EQ(owner.bufferUpdates, 4);
  // Counts outside 1..64 are held to the lines that exist.
  delay->SetLineCount(1000);
  EXPECT_EQ(delay->GetLineCount(), 64);
  EXPECT_NE(delay->GetLine(63), nullptr);
  delay->SetLineCount(0);
  EXPECT_EQ(delay->GetLineCount(), 1);
  EXPECT_EQ(services.driver.pauses, services.driver.resumes);
  EXPECT_EQ(services.driver.maxDepth, 1);
}

TEST_F(DelayBufferTest, FailedAllocationLeavesEmptyLinesAndTheDriverRunning) {
  TTestOwner owner;
  EPtr<IDelayBuffer> delay(CreateDelayBuffer(&owner, 2, 10));
  const int updates = owner.bufferUpdates;
  // The longest line at a rate far beyond any card's: more frames than the
  // buffer can address.
  services.rate = 1.0e9f;
  EXPECT_THROW(delay->SetLengthMs(TDelayBuffer::kMaxLengthMs), TError);
  services.rate = 44100.0f;
  EXPECT_STREQ(LastError()->Expand().CStr(), "Memory is low. Cannot finish operation!");
  EXPECT_EQ(delay->GetLengthMs(), 0);
  EXPECT_EQ(delay->GetLineCount(), 2);
  for (int i = 0; i < 2; ++i) {
    ASSERT_NE(delay->GetLine(i), nullptr);
    EXPECT_EQ(delay->GetLine(i)->GetLength(), 0);
  }
  EXPECT_EQ(owner.bufferUpdates, updates + 1);
  EXPECT_EQ(services.driver.depth, 0);
  EXPECT_EQ(services.driver.pauses, services.driver.resumes);
}

TEST_F(DelayBufferTest, LengthsAreBoundedAndAFailedConstructionFreesItsLines) {
  TTestOwner owner;
  // A stored or typed length beyond the bound gets the longest line.
  for (int32_t asked : {22000000, 1000000, TDelayBuffer::kMaxLengthMs + 1}) {
    EPtr<IDelayBuffer> delay(CreateDelayBuffer(&owner, 1, 10));
    delay->SetLengthMs(asked);
    EXPECT_EQ(delay->GetLengthMs(), TDelayBuffer::kMaxLengthMs) << asked;
    EXPECT_EQ(delay->GetLine(0)->GetLength(), FramesForMs(44100.0f, TDelayBuffer::kMaxLengthMs)) << asked;
  }
  // A buffer that cannot get its lines at construction throws; the lines its
  // fallback made are freed (the leak check of the sanitizer build sees them).
  const uint64_t before = SampleHeap().Used();
  services.rate = 1.0e9f;
  EXPECT_THROW(CreateDelayBuffer(&owner, 4, TDelayBuffer::kMaxLengthMs), TError);
  services.rate = 44100.0f;
  EXPECT_EQ(SampleHeap().Used(), before);
}

TEST_F(DelayBufferTest, DriverIsPausedBeforeAnyLineGoes) {
  // A driver that checks, at its pause, that the old line is still there.
  struct TWatcher : IAudioPause {
    IDelayBuffer* delay = nullptr;
    IAudioBuf* seen = nullptr;
    int pausedWithLine = 0;
    void Pause() override {
      if (delay && delay->GetLine(0) == seen) ++pausedWithLine;
    }
    void Resume() override {}
  } watcher;
  struct TServices : TTestServices {
    IAudioPause* watcher = nullptr;
    IAudioPause* GetAudioDriver() override { return watcher; }
  } local;
  local.watcher = &watcher;
  TTestOwner owner;
  EPtr<IDelayBuffer> delay(CreateDelayBuffer(&owner, 1, 10));
  watcher.delay = delay.Get();
  watcher.seen = delay->GetLine(0);
  delay->SetLengthMs(20);
  EXPECT_EQ(watcher.pausedWithLine, 1);
}

using RecordBufferTest = PoolTest;

TEST_F(RecordBufferTest, TwentySecondsOfStereoAt44100) {
  TTestOwner owner;
  EPtr<IRecordBuffer> tape(CreateRecordBuffer(&owner, 2, 20000));
  IAudioBuf* samples = tape->GetAudioBuf();
  EXPECT_EQ(samples->GetLength(), 882000);
  EXPECT_EQ(samples->GetChannels(), 2);
  EXPECT_EQ(samples->GetBits(), 16);
  EXPECT_EQ(samples->IsFloat(), 0);
  EXPECT_EQ(samples->IsInterleaved(), 1);
  EXPECT_EQ(samples->GetMargin(), 0);
  EXPECT_EQ(tape->GetLengthMs(), 20000);
  EXPECT_FALSE(tape->HasData());
  EXPECT_EQ(tape->HasFileName(), 0);
  EXPECT_EQ(owner.sampleDataUpdates, 1);
  EXPECT_EQ(services.driver.pauses, 1);
}

TEST_F(RecordBufferTest, ShorterBufferBoundsTheRecording) {
  TTestOwner owner;
  EPtr<IRecordBuffer> tape(CreateRecordBuffer(&owner, 2, 1000));
  tape->SetRecordedLength(44100);
  EXPECT_EQ(tape->GetRecordedLength(), 44100);
  tape->SetRecordedLength(50000);
  EXPECT_EQ(tape->GetRecordedLength(), 44100);
  tape->SetLengthMs(500);
  EXPECT_EQ(tape->GetRecordedLength(), 22050);
  EXPECT_EQ(tape->GetLengthMs(), 500);
  EXPECT_THROW(tape->SetLengthMs(INT32_MAX), TError);
  EXPECT_EQ(tape->GetAudioBuf()->GetLength(), 0);
  EXPECT_EQ(tape->GetRecordedLength(), 0);
  EXPECT_EQ(services.driver.depth, 0);
  EXPECT_EQ(services.driver.pauses, services.driver.resumes);
  // The buffer recovers with the next length.
  tape->SetLengthMs(10);
  EXPECT_EQ(tape->GetAudioBuf()->GetLength(), 441);
}

TEST_F(RecordBufferTest, EmptyBufferSavesNothingAndChangesRateQuietly) {
  testkit::ScriptedHost host; // any message would fail the test
  TTestOwner owner;
  EPtr<IRecordBuffer> tape(CreateRecordBuffer(&owner, 2, 100));
  const std::string path = Folder("tape") + "/empty.wav";
  EPtr<IFileName> name(NameOf(path));
  tape->Save(*name);
  EXPECT_FALSE(std::filesystem::exists(path));
  services.rate = 48000;
  tape->OnRateChange();
  EXPECT_EQ(tape->GetAudioBuf()->GetRate(), 48000);
  EXPECT_TRUE(host.Boxes().empty());
}

TEST_F(RecordBufferTest, RateChangeWithDataWarns) {
  testkit::ScriptedHost host;
  host.QueueAnswer(0);
  TTestOwner owner;
  EPtr<IRecordBuffer> tape(CreateRecordBuffer(&owner, 2, 100));
  tape->SetRecordedLength(10);
  services.rate = 96000;
  tape->OnRateChange();
  ASSERT_EQ(host.Boxes().size(), 1u);
  EXPECT_EQ(host.Boxes()[0].text, "Tapedeck Module contains Audio Data recorded at another Sample Rate.\n"
                                  "Audio will be played back at new Sample Rate");
  EXPECT_EQ(tape->GetAudioBuf()->GetRate(), 96000);
  EXPECT_EQ(tape->GetRecordedLength(), 10);
}

TEST_F(RecordBufferTest, LoadingAnotherRateWarnsAndKeepsTheFilesRate) {
  const std::string path = Folder("tape") + "/slow.wav";
  TSound sound;
  sound.rate = 22050;
  sound.channels = 2;
  sound.frames = 3000;
  WriteSound(path, sound);
  testkit::ScriptedHost host;
  host.QueueAnswer(0);
  TTestOwner owner;
  EPtr<IRecordBuffer> tape(CreateRecordBuffer(&owner, 2, 100));
  EPtr<IFileName> name(NameOf(path));
  tape->Load(*name);
  ASSERT_EQ(host.Boxes().size(), 1u);
  EXPECT_EQ(host.Boxes()[0].text, "The sample rate in " + path +
                                       "\nis different from the program's current rate and will be ignored.\n"
                                       "The file will be played at the program's rate instead.");
  EXPECT_EQ(tape->GetAudioBuf()->GetRate(), 22050);
  EXPECT_EQ(tape->GetRecordedLength(), 3000);
  EXPECT_EQ(tape->GetAudioBuf()->GetLength(), 3000);
  EXPECT_EQ(tape->HasFileName(), 1);
  EXPECT_EQ(tape->GetFileName()->GetPath().Std(), path);
  EXPECT_NEAR(tape->GetAudioBuf()->GetSample(1500, 0), 0.25f, 1e-3f);
  EXPECT_NEAR(tape->GetAudioBuf()->GetSample(1500, 1), -0.25f, 1e-3f);
  EXPECT_EQ(services.driver.depth, 0);
}

TEST_F(RecordBufferTest, FailedLoadKeepsTheRecording) {
  const std::string folder = Folder("tape");
  TTestOwner owner;
  EPtr<IRecordBuffer> tape(CreateRecordBuffer(&owner, 1, 100));
  tape->GetAudioBuf()->SetSample(7, 0.5f, 0);
  tape->SetRecordedLength(100);
  // A missing file, and a file cut inside its samples.
  WriteSound(folder + "/cut.wav", TSound());
  std::vector<uint8_t> bytes = FileBytes(folder + "/cut.wav");
  bytes.resize(bytes.size() - 60);
  PutFileBytes(folder + "/cut.wav", bytes);
  for (const char* file : {"/missing.wav", "/cut.wav"}) {
    EPtr<IFileName> name(NameOf(folder + file));
    try {
      tape->Load(*name);
    } catch (const TError&) {
    }
    EXPECT_EQ(tape->GetRecordedLength(), 100) << file;
    EXPECT_EQ(tape->HasFileName(), 0) << file;
    EXPECT_NEAR(tape->GetAudioBuf()->GetSample(7, 0), 0.5f, 1e-4f) << file;
  }
}

TEST_F(RecordBufferTest, SavedRecordingIsReadBackBySox) {
  TTestOwner owner;
  EPtr<IRecordBuffer> tape(CreateRecordBuffer(&owner, 2, 1000));
  IAudioBuf* samples = tape->GetAudioBuf();
  const int frames = 30001;
  auto* raw = reinterpret_cast<int16_t*>(samples->GetSampleAddress(0, 0));
  for (int i = 0; i < frames; ++i) {
    raw[2 * i] = int16_t(i % 65535 - 32767);
    raw[2 * i + 1] = int16_t(-(i % 32768));
  }
  tape->SetRecordedLength(frames);
  const std::string folder = Folder("tape");
  const std::string path = folder + "/take.wav";
  EPtr<IFileName> name(NameOf(path));
  tape->GetFileName()->Assign(*name);
  tape->SaveToFileName();

  audiotest::ToolRun frameCount = audiotest::RunTool("soxi -s '" + path + "'");
  ASSERT_EQ(frameCount.status, 0) << "soxi is needed for this test: " << frameCount.output;
  EXPECT_EQ(std::stoi(frameCount.output), frames);
  EXPECT_EQ(std::stoi(audiotest::RunTool("soxi -r '" + path + "'").output), 44100);
  EXPECT_EQ(std::stoi(audiotest::RunTool("soxi -c '" + path + "'").output), 2);
  const std::string dump = folder + "/take.raw";
  audiotest::ToolRun convert =
      audiotest::RunTool("sox '" + path + "' -t raw -e signed-integer -b 16 -L '" + dump + "'");
  ASSERT_EQ(convert.status, 0) << convert.output;
  std::vector<uint8_t> bytes = FileBytes(dump);
  ASSERT_EQ(bytes.size(), size_t(frames) * 4);
  const auto* back = reinterpret_cast<const int16_t*>(bytes.data());
  int differences = 0;
  for (int i = 0; i < frames * 2 && differences < 5; ++i)
    if (back[i] != raw[i]) {
      ++differences;
      ADD_FAILURE() << "sample " << i << ": " << back[i] << " instead of " << raw[i];
    }
}

} // namespace
