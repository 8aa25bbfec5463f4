// The ALSA devices themselves, on the test's configuration ("default" is a
// file plugin over the null device).
#include "platform/dsound.h"
#include "platform/pcm.h"
#include "tests/drivers/alsa_config.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

using namespace platform;

namespace {

constexpr uint32_t kWaitMs = 10000;

std::vector<int16_t> ReadRaw(const std::string& path) {
  std::vector<int16_t> samples;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    int16_t s;
    while (std::fread(&s, sizeof s, 1, f) == 1) samples.push_back(s);
    std::fclose(f);
  }
  return samples;
}

void WriteRaw(const std::string& path, const std::vector<int16_t>& samples) {
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(samples.data(), sizeof(int16_t), samples.size(), f);
  std::fclose(f);
}

// Records which threads asked for real-time priority.
class PrioritySpy : public SchedHost {
public:
  PrioritySpy() : previous_(SetSchedHost(this)) {}
  ~PrioritySpy() override { SetSchedHost(previous_); }
  void Sleep(uint32_t milliseconds) override { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }
  bool RaiseThreadPriority() override {
    std::lock_guard<std::mutex> lock(mutex_);
    raised_.push_back(std::this_thread::get_id());
    return false; // refused, as without the right to it: the thread goes on
  }
  void RestoreThreadPriority() override {}
  std::vector<std::thread::id> Raised() {
    std::lock_guard<std::mutex> lock(mutex_);
    return raised_;
  }

private:
  SchedHost* previous_;
  std::mutex mutex_;
  std::vector<std::thread::id> raised_;
};

int IndexOfDefault(const std::vector<WaveDeviceInfo>& list) {
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i].pcm == "default") return int(i);
  return -1;
}

TEST(AlsaWaves, PlaysQueuedBuffersInOrderIntoTheDevice) {
  const auto& files = alsatest::Install();
  PrioritySpy priorities;
  auto outs = AlsaWaves().Outputs();
  int id = IndexOfDefault(outs);
  ASSERT_EQ(id, 0) << "\"default\" opens and comes first";
  EXPECT_TRUE(outs[0].supportsCdFormat);

  MessageQueue q;
  std::unique_ptr<WaveDevice> out;
  ASSERT_EQ(AlsaWaves().Open(false, id, &q, out), WaveResult::kOk);
  constexpr int kBuffers = 12;
  constexpr uint32_t kFrames = 224;
  std::vector<std::vector<int16_t>> data(kBuffers, std::vector<int16_t>(kFrames * kWaveChannels));
  std::vector<WaveBuffer> headers(kBuffers);
  int16_t v = -3000;
  for (int i = 0; i < kBuffers; ++i) {
    for (auto& s : data[i]) s = v++;
    headers[i].data = data[i].data();
    headers[i].bytes = kFrames * kWaveBytesPerFrame;
  }
  out->Pause();
  for (auto& h : headers) ASSERT_TRUE(out->Queue(&h));
  out->Restart();
  for (int i = 0; i < kBuffers; ++i) {
    ThreadMessage m;
    ASSERT_TRUE(q.GetFor(m, kWaitMs)) << i;
    EXPECT_EQ(m.id, kMsgOutputDone);
    EXPECT_EQ(m.wparam, reinterpret_cast<uintptr_t>(&headers[i]));
    EXPECT_TRUE(headers[i].flags & kWaveDone);
  }
  EXPECT_FALSE(out->IsLost()) << "a refused priority is no failure";
  out.reset();
  ThreadMessage m;
  ASSERT_TRUE(q.GetFor(m, kWaitMs));
  EXPECT_EQ(m.id, kMsgOutputClose);
  // The thread that writes to the device asked for real-time priority.
  const auto raised = priorities.Raised();
  ASSERT_EQ(raised.size(), 1u);
  EXPECT_NE(raised[0], std::this_thread::get_id());

  std::vector<int16_t> played = ReadRaw(files.output);
  ASSERT_EQ(played.size(), size_t(kBuffers) * kFrames * kWaveChannels);
  for (size_t i = 0; i < played.size(); ++i) ASSERT_EQ(played[i], int16_t(-3000 + int(i))) << i;
}

TEST(AlsaWaves, RecordsIntoQueuedBuffersOnceStartedAndResetReturnsTheRest) {
  const auto& files = alsatest::Install();
  constexpr uint32_t kFrames = 224;
  std::vector<int16_t> source(kFrames * kWaveChannels * 4);
  for (size_t i = 0; i < source.size(); ++i) source[i] = int16_t(7 * i);
  WriteRaw(files.input, source);

  auto ins = AlsaWaves().Inputs();
  int id = IndexOfDefault(ins);
  ASSERT_EQ(id, 0);
  MessageQueue q;
  std::unique_ptr<WaveDevice> in;
  ASSERT_EQ(AlsaWaves().Open(true, id, &q, in), WaveResult::kOk);
  std::vector<std::vector<int16_t>> data(2, std::vector<int16_t>(kFrames * kWaveChannels, -1));
  std::vector<WaveBuffer> headers(2);
  for (int i = 0; i < 2; ++i) {
    headers[i].data = data[i].data();
    headers[i].bytes = kFrames * kWaveBytesPerFrame;
    ASSERT_TRUE(in->Queue(&headers[i]));
  }
  in->Start();
  for (int i = 0; i < 2; ++i) {
    ThreadMessage m;
    ASSERT_TRUE(q.GetFor(m, kWaitMs));
    EXPECT_EQ(m.id, kMsgInputData);
    EXPECT_EQ(m.wparam, reinterpret_cast<uintptr_t>(&headers[i]));
    EXPECT_EQ(headers[i].recorded, kFrames * kWaveBytesPerFrame);
  }
  for (size_t i = 0; i < data[0].size(); ++i) ASSERT_EQ(data[0][i], source[i]) << i;
  for (size_t i = 0; i < data[1].size(); ++i) ASSERT_EQ(data[1][i], source[data[0].size() + i]) << i;

  // A buffer queued on a stopped input comes back with Reset.
  in->Reset();
  WaveBuffer spare;
  std::vector<int16_t> room(kFrames * kWaveChannels);
  spare.data = room.data();
  spare.bytes = kFrames * kWaveBytesPerFrame;
  ASSERT_TRUE(in->Queue(&spare));
  in->Reset();
  ThreadMessage m;
  ASSERT_TRUE(q.GetFor(m, kWaitMs));
  EXPECT_EQ(m.wparam, reinterpret_cast<uintptr_t>(&spare));
  EXPECT_TRUE(spare.flags & kWaveDone);
  EXPECT_EQ(spare.recorded, 0u);
}

// The ring on ALSA: a pump hands it to the device from the play cursor on.
TEST(AlsaRings, PlaysTheRingFromThePlayCursor) {
  const auto& files = alsatest::Install();
  PrioritySpy priorities;
  std::remove(files.output.c_str());
  auto entries = AlsaRings().Enumerate();
  ASSERT_GE(entries.size(), 2u);
  EXPECT_TRUE(entries[0].primary) << "the primary entry comes first";
  EXPECT_FALSE(entries[1].primary);
  EXPECT_EQ(entries[1].description, "default");
  constexpr uint32_t kRingBytes = 256000;
  auto ring = AlsaRings().Open(entries[1].id, kRingBytes);
  ASSERT_NE(ring, nullptr);
  constexpr uint32_t kFrames = 896;
  void *first, *second;
  uint32_t firstBytes, secondBytes;
  ASSERT_TRUE(ring->Lock(0, kFrames * 4, &first, &firstBytes, &second, &secondBytes));
  EXPECT_EQ(firstBytes, kFrames * 4);
  EXPECT_EQ(second, nullptr);
  auto* samples = static_cast<int16_t*>(first);
  for (uint32_t i = 0; i < kFrames * 2; ++i) samples[i] = int16_t(i + 1);
  ring->Unlock(first, firstBytes, second, secondBytes);
  // A lock across the end comes back in two regions.
  ASSERT_TRUE(ring->Lock(kRingBytes - 8, 16, &first, &firstBytes, &second, &secondBytes));
  EXPECT_EQ(firstBytes, 8u);
  EXPECT_EQ(secondBytes, 8u);
  EXPECT_NE(second, nullptr);
  ring->Unlock(first, firstBytes, second, secondBytes);
  EXPECT_EQ(ring->PlayCursor(), 0u);
  ring->Play();
  // Wait until the pump has handed on more than what was written.
  while (ring->PlayCursor() < kFrames * 4 * 2) std::this_thread::yield();
  ring->Stop();
  ring.reset();
  // The pump and the device thread it feeds both asked for real-time priority.
  const auto raised = priorities.Raised();
  EXPECT_EQ(raised.size(), 2u);
  for (auto id : raised) EXPECT_NE(id, std::this_thread::get_id());
  std::vector<int16_t> played = ReadRaw(files.output);
  ASSERT_GE(played.size(), size_t(kFrames) * 2);
  for (uint32_t i = 0; i < kFrames * 2; ++i) ASSERT_EQ(played[i], int16_t(i + 1)) << i;
}

} // namespace
