// The fake sound devices: the driver's tests stand on them, so they must
// behave as the real ones are expected to.
#include "platform/pcm.h"

#include <gtest/gtest.h>

#include <vector>

using namespace platform;

namespace {

struct Buffers {
  std::vector<std::vector<int16_t>> data;
  std::vector<WaveBuffer> headers;
  Buffers(int count, uint32_t frames, int16_t first = 0) : data(count), headers(count) {
    int16_t v = first;
    for (int i = 0; i < count; ++i) {
      data[i].resize(frames * kWaveChannels);
      for (auto& s : data[i]) s = v++;
      headers[i].data = data[i].data();
      headers[i].bytes = frames * kWaveBytesPerFrame;
    }
  }
};

std::vector<ThreadMessage> Drain(MessageQueue& q) {
  std::vector<ThreadMessage> all;
  ThreadMessage m;
  while (q.TryGet(m)) all.push_back(m);
  return all;
}

TEST(FakeWaves, ListsEveryDeviceWithItsFormatSupport) {
  FakeWaves waves;
  EXPECT_EQ(waves.AddOutput("Speakers"), 0);
  EXPECT_EQ(waves.AddOutput("Old card", false), 1);
  EXPECT_EQ(waves.AddInput("Line in"), 0);
  auto outs = waves.Outputs();
  ASSERT_EQ(outs.size(), 2u);
  EXPECT_EQ(outs[0].name, "Speakers");
  EXPECT_TRUE(outs[0].supportsCdFormat);
  EXPECT_FALSE(outs[1].supportsCdFormat);
  ASSERT_EQ(waves.Inputs().size(), 1u);
  MessageQueue q;
  std::unique_ptr<WaveDevice> d;
  EXPECT_EQ(waves.Open(false, 1, &q, d), WaveResult::kBadDevice);
  EXPECT_EQ(waves.Open(false, 7, &q, d), WaveResult::kBadDevice);
  waves.SetBusy(false, 0, true);
  EXPECT_EQ(waves.Open(false, 0, &q, d), WaveResult::kInUse);
  waves.SetBusy(false, 0, false);
  ASSERT_EQ(waves.Open(false, 0, &q, d), WaveResult::kOk);
  std::unique_ptr<WaveDevice> second;
  EXPECT_EQ(waves.Open(false, 0, &q, second), WaveResult::kInUse) << "one user at a time";
}

TEST(FakeWaves, OutputPlaysInQueueOrderAndPostsEachBufferDone) {
  FakeWaves waves;
  waves.AddOutput("Speakers");
  MessageQueue q;
  std::unique_ptr<WaveDevice> out;
  ASSERT_EQ(waves.Open(false, 0, &q, out), WaveResult::kOk);
  Buffers b(3, 10);
  out->Pause();
  for (auto& h : b.headers) ASSERT_TRUE(out->Queue(&h));
  waves.Advance(25);
  EXPECT_TRUE(waves.Played(0).empty()) << "pause holds the queue";
  EXPECT_EQ(waves.Underrun(0), 0u);
  out->Restart();
  waves.Advance(25);
  auto messages = Drain(q);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].id, kMsgOutputDone);
  EXPECT_EQ(messages[0].wparam, reinterpret_cast<uintptr_t>(&b.headers[0]));
  EXPECT_EQ(messages[1].wparam, reinterpret_cast<uintptr_t>(&b.headers[1]));
  EXPECT_TRUE(b.headers[1].flags & kWaveDone);
  EXPECT_FALSE(b.headers[2].flags & kWaveDone);
  waves.Advance(10);
  ASSERT_EQ(waves.Played(0).size(), 60u);
  for (int i = 0; i < 60; ++i) EXPECT_EQ(waves.Played(0)[i], i);
  EXPECT_EQ(waves.Underrun(0), 5u);
  out.reset();
  messages = Drain(q);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[1].id, kMsgOutputClose);
}

TEST(FakeWaves, InputRecordsOnceStartedAndResetReturnsWhatIsQueued) {
  FakeWaves waves;
  waves.AddInput("Line in");
  waves.SetInputSource([](uint64_t n) { return int16_t(1000 + n); });
  MessageQueue q;
  std::unique_ptr<WaveDevice> in;
  ASSERT_EQ(waves.Open(true, 0, &q, in), WaveResult::kOk);
  Buffers b(3, 4, -1);
  for (auto& h : b.headers) in->Queue(&h);
  waves.Advance(4);
  EXPECT_TRUE(Drain(q).empty()) << "nothing before start";
  in->Start();
  waves.Advance(6);
  auto messages = Drain(q);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].id, kMsgInputData);
  EXPECT_EQ(b.headers[0].recorded, 16u);
  EXPECT_EQ(b.data[0][0], 1000);
  EXPECT_EQ(b.data[1][3], 1011);
  in->Reset();
  messages = Drain(q);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(b.headers[1].recorded, 8u) << "the part filled so far";
  EXPECT_EQ(b.headers[2].recorded, 0u);
  EXPECT_TRUE(b.headers[2].flags & kWaveDone);
  waves.Advance(8);
  EXPECT_EQ(waves.Overrun(0), 0u) << "a reset device is stopped";
}

TEST(FakeWaves, AnUnpluggedDeviceReturnsItsBuffersAndSaysSo) {
  FakeWaves waves;
  waves.AddOutput("USB");
  MessageQueue q;
  std::unique_ptr<WaveDevice> out;
  ASSERT_EQ(waves.Open(false, 0, &q, out), WaveResult::kOk);
  Buffers b(2, 8);
  for (auto& h : b.headers) out->Queue(&h);
  waves.Unplug(false, 0);
  waves.Advance(1);
  EXPECT_TRUE(out->IsLost());
  auto messages = Drain(q);
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[2].id, kMsgDeviceLost);
  EXPECT_EQ(messages[2].wparam, 0u);
  EXPECT_FALSE(out->Queue(&b.headers[0]));
  std::unique_ptr<WaveDevice> again;
  EXPECT_EQ(waves.Open(false, 0, &q, again), WaveResult::kBadDevice);
  out.reset();
  EXPECT_EQ(waves.Open(false, 0, &q, again), WaveResult::kBadDevice);
}

} // namespace
