// The sound driver on real ALSA: the test's configuration makes "default" a
// file plugin, so what the driver plays lands in a file and what it records
// comes from one, on a machine without a sound card.
#include "tests/drivers/alsa_config.h"
#include "tests/drivers/driver_rig.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>

using namespace driverrig;

namespace {

std::vector<int16_t> ReadRaw(const std::string& path) {
  std::vector<int16_t> samples;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    int16_t s;
    while (std::fread(&s, sizeof s, 1, f) == 1) samples.push_back(s);
    std::fclose(f);
  }
  return samples;
}

// The machine's own devices, timer and bridge library.
struct RealMachine {
  RealMachine() {
    alsatest::Install();
    SetMultiMediaSystem(TMultiMediaSystem());
  }
  ~RealMachine() { SetMultiMediaSystem(TMultiMediaSystem()); }
};

// Waits (on what the timer thread makes, not on the clock) for the engine to
// have made so many samples. A working driver makes them in about their
// playing time; one that stalls fails after a bound far beyond that.
::testing::AssertionResult WaitForSamples(int64_t count) {
  constexpr auto kBound = std::chrono::seconds(60);
  const auto deadline = std::chrono::steady_clock::now() + kBound;
  while (Host::RampCounter().load() < count) {
    if (std::chrono::steady_clock::now() > deadline)
      return ::testing::AssertionFailure() << "the driver made " << Host::RampCounter().load() << " of " << count
                                           << " samples in " << kBound.count() << " s: it stalled";
    std::this_thread::yield();
  }
  return ::testing::AssertionSuccess();
}

constexpr int32_t kDelayMs = 20;
constexpr size_t kDelayFrames = size_t(kDelayMs / mme::kTickMs) * mme::kLongFrames;

TEST(AlsaDriver, APlayedSineLandsInTheDeviceSampleForSample) {
  const auto& files = alsatest::Install();
  std::remove(files.output.c_str());
  ClearDriverSettings();
  WriteSettingStr(setting::MmeOutPort, "MME: default");
  WriteSettingInt(setting::MmeOutDelay, kDelayMs);
  RealMachine machine;
  ASSERT_TRUE(IsMultiMediaAvailable());
  RampPatch sine(&Host::SineRoutine);
  Host host;
  TMultiMedia& d = host.MakeDriver();
  ASSERT_EQ(d.GetOutPortName(d.GetOutPort()), TStr("MME: default"));
  host.AddRampOut();
  d.Start();
  ASSERT_TRUE(d.IsOutputActive());
  constexpr int64_t kSamples = 44100;
  ASSERT_TRUE(WaitForSamples(kSamples));
  d.Stop();

  std::vector<int16_t> played = ReadRaw(files.output);
  ASSERT_GE(played.size(), (kDelayFrames + size_t(kSamples) / 2) * 2);
  for (size_t i = 0; i < kDelayFrames * 2; ++i) ASSERT_EQ(played[i], 0) << i;
  for (size_t i = kDelayFrames * 2; i < played.size(); ++i) {
    int64_t n = int64_t(i / 2 - kDelayFrames);
    ASSERT_EQ(played[i], int16_t(std::trunc(Host::SineSample(n) * 32768.0f))) << "frame " << n;
  }
  EXPECT_EQ(d.GetDeviceXruns(), 0u);
}

TEST(AlsaDriver, RecordedSoundFromTheDeviceReachesTheAudioIn) {
  const auto& files = alsatest::Install();
  std::remove(files.output.c_str());
  // Frame k of the recording holds k + 1 in both channels.
  constexpr int kRecorded = 30000;
  {
    FILE* f = std::fopen(files.input.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    for (int k = 0; k < kRecorded; ++k) {
      int16_t v = int16_t(k + 1);
      std::fwrite(&v, sizeof v, 1, f);
      std::fwrite(&v, sizeof v, 1, f);
    }
    std::fclose(f);
  }
  ClearDriverSettings();
  WriteSettingStr(setting::MmeOutPort, "MME: default");
  WriteSettingStr(setting::MmeInPort, "MME: default");
  WriteSettingInt(setting::MmeOutDelay, kDelayMs);
  WriteSettingInt(setting::MmeInDelay, kDelayMs);
  RealMachine machine;
  RampPatch ramp;
  Host host;
  TMultiMedia& d = host.MakeDriver();
  host.AddRampOut();
  host.AddAudioIn();
  host.RouteInToOut();
  ASSERT_EQ(d.GetInPortName(d.GetInPort()), TStr("MME: default"));
  d.Start();
  ASSERT_TRUE(d.IsInputActive());
  const uint32_t skippedBefore = TAudioInOut::GetSkippedBlocks();
  ASSERT_TRUE(WaitForSamples(kRecorded / 2));
  d.Stop();
  // On a loaded machine a real device can under- or overrun, and a block can
  // be skipped; each is counted. Past such an event the frames no longer line
  // up, so the recording is checked up to it.
  const bool disturbed = d.GetDeviceXruns() != 0 || TAudioInOut::GetSkippedBlocks() != skippedBefore;

  std::vector<int16_t> played = ReadRaw(files.output);
  size_t first = 0;
  while (first < played.size() && played[first] == 0) ++first;
  ASSERT_LT(first, played.size());
  EXPECT_EQ(played[first], 1);
  size_t checked = 0;
  for (size_t i = first; i + 1 < played.size() && checked < size_t(kRecorded) / 4; i += 2, ++checked) {
    if (played[i] != int16_t(checked + 1) || played[i + 1] != int16_t(checked + 1)) break;
  }
  if (disturbed) {
    EXPECT_GT(checked, 0u);
  } else {
    EXPECT_EQ(checked, size_t(kRecorded) / 4) << "the recording breaks off at frame " << checked
                                              << " with no under- or overrun counted";
  }
}

} // namespace
