// The sound driver on fake devices and a manual timer.
#include "tests/drivers/driver_rig.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <thread>

using namespace driverrig;
using platform::FakeWaves;
using mme::kLongFrames;

namespace {

constexpr int kFramesPerSecond = 44100;
// Device frames per 5 ms tick alternate so that two ticks are 441 frames.
uint32_t TickFrames(int tick) { return tick % 2 == 0 ? 220 : 221; }

// One tick of the machine: the timer fires, the devices play, the driver's
// thread hears of every finished buffer.
void Step(Machine& m, TMultiMedia& driver, int tick) {
  m.timer.Fire();
  m.waves.Advance(TickFrames(tick));
  ASSERT_TRUE(driver.SyncMessages());
}

struct StandardMachine : Machine {
  int32_t speakers, legacy, usb, mic;
  StandardMachine() {
    mic = waves.AddInput("Mic");
    waves.AddInput("Old line in", false);
    speakers = waves.AddOutput("Speakers");
    legacy = waves.AddOutput("Legacy", false);
    usb = waves.AddOutput("USB");
    ds.rings.AddDevice("Ring A");
    Install();
  }
};

class DriverTest : public ::testing::Test {
protected:
  void SetUp() override { ClearDriverSettings(); }
  testkit::ScriptedHost gui;
};

TEST_F(DriverTest, PortListsOfferTheUsableDevicesAfterNone) {
  StandardMachine m;
  ASSERT_TRUE(IsMultiMediaAvailable());
  Host host;
  TMultiMedia& d = host.MakeDriver();
  std::vector<std::string> ins, outs;
  for (int i = 0; i < d.GetInPortCount(); ++i) ins.push_back(d.GetInPortName(i).CStr());
  for (int i = 0; i < d.GetOutPortCount(); ++i) outs.push_back(d.GetOutPortName(i).CStr());
  EXPECT_EQ(ins, (std::vector<std::string>{"None", "MME: Mic"}));
  EXPECT_EQ(outs, (std::vector<std::string>{"None", "MME: Speakers", "MME: USB", "DirectSound: Ring A"}));
  // Defaults: the first real output, no input, a 20 ms play-ahead and a
  // 400 ms input delay.
  EXPECT_EQ(d.GetOutPort(), 1);
  EXPECT_EQ(d.GetInPort(), 0);
  EXPECT_EQ(d.GetOutDelay(), 20);
  EXPECT_EQ(d.GetInDelay(), 400);
  EXPECT_EQ(d.GetInputCount(), 0);
  EXPECT_EQ(d.GetOutputCount(), 2);
  EXPECT_EQ(d.GetType(), kAudioMultiMedia);
  EXPECT_TRUE(gui.Boxes().empty());
}

TEST_F(DriverTest, StoredPortNamesAreFoundWithOrWithoutThePrefix) {
  struct Case {
    const char* storedOut;
    const char* storedIn;
    int32_t out, in;
  } cases[] = {
      {"MME: USB", "MME: Mic", 2, 1},
      {"USB", "Mic", 2, 1},                       // written without the prefix
      {"DirectSound: Ring A", "None", 3, 0},
      {"Gone device", "Gone too", 1, 1},          // no longer listed: the first real port
      {"None", "None", 0, 0},
  };
  StandardMachine m;
  for (const Case& c : cases) {
    WriteSettingStr(setting::MmeOutPort, c.storedOut);
    WriteSettingStr(setting::MmeInPort, c.storedIn);
    Host host;
    TMultiMedia& d = host.MakeDriver();
    EXPECT_EQ(d.GetOutPort(), c.out) << c.storedOut;
    EXPECT_EQ(d.GetInPort(), c.in) << c.storedIn;
  }
}

TEST_F(DriverTest, SettingsAreWrittenBackAndDelaysKeptInRange) {
  struct Case {
    uint32_t stored;
    int32_t used;
  } cases[] = {{80, 80}, {83, 80}, {0, 10}, {5, 10}, {4000, 400}, {0xFFFFFFFFu, 10}, {400, 400}};
  StandardMachine m;
  for (const Case& c : cases) {
    WriteSettingInt(setting::MmeOutDelay, c.stored);
    WriteSettingInt(setting::MmeInDelay, c.stored);
    {
      Host host;
      TMultiMedia& d = host.MakeDriver();
      EXPECT_EQ(d.GetOutDelay(), c.used) << c.stored;
      EXPECT_EQ(d.GetInDelay(), c.used) << c.stored;
      d.SetOutDelay(100000);
      EXPECT_EQ(d.GetOutDelay(), 400);
      d.SetOutDelay(c.used);
    }
    EXPECT_EQ(ReadSettingInt(setting::MmeOutDelay, 0), uint32_t(c.used));
    EXPECT_EQ(ReadSettingInt(setting::MmeInDelay, 0), uint32_t(c.used));
  }
  EXPECT_EQ(ReadSettingStr(setting::MmeOutPort, ""), TStr("MME: Speakers"));
  EXPECT_EQ(ReadSettingStr(setting::MmeInPort, ""), TStr("None"));
}

// Every way an open can fail, in both orders, and what is left running.
TEST_F(DriverTest, OpenFailuresRevertThePortsWithTheirMessage) {
  struct Case {
    const char* name;
    bool inputFirst;
    bool inBusy, outBusy, halfDuplex;
    const char* message; // null: no message
    int32_t in, out;
  } cases[] = {
      {"both free", false, false, false, false, nullptr, 1, 1},
      {"both free, input first", true, false, false, false, nullptr, 1, 1},
      // At the start the next output that opens plays instead of a busy one.
      {"output busy", false, false, true, false,
       "Audio outport is in use by another application. Sound plays through \"MME: USB\" instead.", 1, 2},
      {"input busy", false, true, false, false, "Audio inport is in use by another application.", 0, 0},
      {"half duplex", false, false, false, true, "Soundcard doesn't support full duplex mode.", 0, 0},
      {"output busy, input first", true, false, true, false,
       "Audio outport is in use by another application. Sound plays through \"MME: USB\" instead.", 1, 2},
      {"input busy, input first", true, true, false, false, "Audio inport is in use by another application.", 0, 0},
      {"half duplex, input first", true, false, false, true, "Soundcard doesn't support full duplex mode.", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ClearDriverSettings();
    StandardMachine m;
    RampPatch ramp;
    WriteSettingStr(setting::MmeInPort, "MME: Mic");
    if (c.inputFirst) WriteSettingStr(setting::MmeInputFirst, "1");
    m.waves.SetBusy(true, m.mic, c.inBusy);
    m.waves.SetBusy(false, m.speakers, c.outBusy);
    m.waves.SetHalfDuplex(c.halfDuplex);
    testkit::ScriptedHost boxes;
    if (c.message) boxes.QueueAnswer(0);
    Host host;
    TMultiMedia& d = host.MakeDriver();
    host.AddAudioIn();
    d.Start();
    ASSERT_EQ(boxes.Boxes().size(), c.message ? 1u : 0u);
    if (c.message) {
      EXPECT_EQ(boxes.Boxes()[0].text, c.message);
    }
    EXPECT_EQ(d.GetInPort(), c.in);
    EXPECT_EQ(d.GetOutPort(), c.out);
    EXPECT_EQ(m.waves.IsOpen(true, m.mic), c.in == 1);
    EXPECT_EQ(m.waves.IsOpen(false, m.speakers), c.out == 1);
    EXPECT_EQ(m.timer.IsRunning(), c.out != 0) << "no output, no timer";
    d.Stop();
    EXPECT_FALSE(m.waves.IsOpen(true, m.mic));
    EXPECT_FALSE(m.waves.IsOpen(false, m.speakers));
  }
}

TEST_F(DriverTest, APortThatFailsToOpenGivesBackThePreviousOne) {
  StandardMachine m;
  RampPatch ramp;
  testkit::ScriptedHost boxes;
  Host host;
  TMultiMedia& d = host.MakeDriver();
  d.Start();
  ASSERT_TRUE(m.waves.IsOpen(false, m.speakers));
  m.waves.SetBusy(false, m.usb, true);
  boxes.QueueAnswer(0);
  EXPECT_FALSE(d.SetOutPort(2));
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].text, "Audio outport is in use by another application.");
  EXPECT_EQ(d.GetOutPort(), 1);
  EXPECT_TRUE(m.waves.IsOpen(false, m.speakers));
  EXPECT_TRUE(m.timer.IsRunning());
  m.waves.SetBusy(false, m.usb, false);
  EXPECT_TRUE(d.SetOutPort(2));
  EXPECT_TRUE(m.waves.IsOpen(false, m.usb));
  EXPECT_FALSE(m.waves.IsOpen(false, m.speakers));
  EXPECT_FALSE(d.SetOutPort(9)) << "no such port";
  // Output "None": the engine is not driven at all.
  EXPECT_TRUE(d.SetOutPort(0));
  EXPECT_FALSE(m.timer.IsRunning());
  EXPECT_EQ(d.GetOutputCount(), 0);
  d.Stop();
}

// 80 ms of delay over ten virtual seconds: the queue stays at the delay and
// the device plays the engine's ramp without a gap or a repeated frame.
TEST_F(DriverTest, DelaySoakKeepsTheDepthAndEveryFrame) {
  WriteSettingInt(setting::MmeOutDelay, 80);
  StandardMachine m;
  RampPatch ramp;
  Host host;
  TMultiMedia& d = host.MakeDriver();
  host.AddRampOut();
  d.Start();
  constexpr int kDelayBlocks = 16;
  constexpr int kTicks = 10 * 200;
  int64_t frames = 0;
  for (int t = 0; t < kTicks; ++t) {
    Step(m, d, t);
    frames += TickFrames(t);
    // Buffers with the device, the one being played included.
    size_t queued = m.waves.Queued(false, m.speakers);
    ASSERT_GE(queued, size_t(kDelayBlocks - 1)) << t;
    ASSERT_LE(queued, size_t(kDelayBlocks + 2)) << t;
    if (t % 200 == 199) {
      // The depth right after a block is made: the delay and at most one block more.
      int32_t latency = d.TakeOutLatency();
      EXPECT_GE(latency, 80) << "second " << t / 200;
      EXPECT_LE(latency, 85) << "second " << t / 200;
    }
  }
  EXPECT_EQ(d.TakeOutLatency(), 0) << "no tick since the last figure";
  d.Stop();
  const std::vector<int16_t>& played = m.waves.Played(m.speakers);
  ASSERT_EQ(int64_t(played.size()), frames * 2);
  EXPECT_EQ(m.waves.Underrun(m.speakers), 0u);
  // The delay's worth of silence first, then the ramp frame by frame.
  size_t prefill = size_t(kDelayBlocks) * kLongFrames * 2;
  for (size_t i = 0; i < prefill; ++i) ASSERT_EQ(played[i], 0) << i;
  for (size_t i = prefill; i < played.size(); ++i) {
    int64_t n = int64_t(i - prefill) / 2;
    ASSERT_EQ(played[i], RampSample(n)) << "frame " << n;
  }
  EXPECT_EQ(TAudioInOut::GetSkippedBlocks(), 0u);
}

TEST_F(DriverTest, ChangingTheDelaySkipsOrInsertsBlocks) {
  WriteSettingInt(setting::MmeOutDelay, 80);
  StandardMachine m;
  RampPatch ramp;
  Host host;
  TMultiMedia& d = host.MakeDriver();
  host.AddRampOut();
  d.Start();
  for (int t = 0; t < 400; ++t) Step(m, d, t);
  size_t before = m.waves.Played(m.speakers).size();
  int64_t rampBefore = Host::RampCounter().load();
  // 20 ms less: the next four ticks make nothing.
  d.SetOutDelay(60);
  for (int t = 0; t < 4; ++t) {
    m.timer.Fire();
    EXPECT_EQ(Host::RampCounter().load(), rampBefore) << t;
  }
  // 40 ms more: one tick makes eight silent blocks and one of sound.
  d.SetOutDelay(100);
  size_t queued = m.waves.Queued(false, m.speakers);
  m.timer.Fire();
  EXPECT_EQ(Host::RampCounter().load(), rampBefore + mme::kShortFrames) << "the queue is deep now: a short block";
  EXPECT_EQ(m.waves.Queued(false, m.speakers), queued + 9);
  (void)before;
  d.Stop();
}

// Not a structure change but another thread holds the engine (far longer
// than a MIDI message would): each tick waits only a bounded while and,
// with the queue deep, owes its block instead of writing silence.
TEST_F(DriverTest, ABusyEngineDelaysBlocksAndTheTickWaitsOnlyBriefly) {
  StandardMachine m;
  RampPatch ramp;
  Host host;
  TMultiMedia& d = host.MakeDriver();
  host.AddRampOut();
  d.Start();
  uint32_t skipped = TAudioInOut::GetSkippedBlocks();
  // Another thread holds the lock while the timer ticks.
  std::mutex gate;
  std::condition_variable cv;
  bool held = false, release = false;
  std::thread holder([&] {
    EngineCriticalSection().Enter();
    {
      std::unique_lock<std::mutex> lock(gate);
      held = true;
      cv.notify_all();
      cv.wait(lock, [&] { return release; });
    }
    EngineCriticalSection().Leave();
  });
  {
    std::unique_lock<std::mutex> lock(gate);
    cv.wait(lock, [&] { return held; });
  }
  const uint32_t deferred = d.GetDeferredBlocks();
  for (int t = 0; t < 3; ++t) m.timer.Fire();
  EXPECT_EQ(TAudioInOut::GetSkippedBlocks(), skipped) << "the queue is deep: no silent block";
  EXPECT_EQ(d.GetDeferredBlocks(), deferred + 3);
  EXPECT_EQ(Host::RampCounter().load(), 0) << "no block ran";
  {
    std::lock_guard<std::mutex> lock(gate);
    release = true;
  }
  cv.notify_all();
  holder.join();
  m.timer.Fire();
  EXPECT_EQ(Host::RampCounter().load(), mme::kShortFrames) << "the queue is deep: a short block";
  d.Stop();
}

TEST_F(DriverTest, RecordedSoundReachesTheAudioInOneInputDelayLater) {
  WriteSettingStr(setting::MmeInPort, "MME: Mic");
  WriteSettingInt(setting::MmeInDelay, 20);
  WriteSettingInt(setting::MmeOutDelay, 20);
  StandardMachine m;
  m.waves.SetInputSource([](uint64_t n) { return int16_t(1000 + (n / 2) % 20000); });
  RampPatch ramp;
  Host host;
  TMultiMedia& d = host.MakeDriver();
  host.AddRampOut();
  host.AddAudioIn();
  host.RouteInToOut();
  d.Start();
  ASSERT_TRUE(d.IsInputActive());
  for (int t = 0; t < 400; ++t) Step(m, d, t);
  d.Stop();
  const std::vector<int16_t>& played = m.waves.Played(m.speakers);
  // Find the first recorded frame and check that the rest follows it.
  size_t first = 0;
  while (first < played.size() && played[first] != 1000) ++first;
  ASSERT_LT(first, played.size());
  size_t checked = 0;
  for (size_t i = first; i + 1 < played.size() && checked < 20000; i += 2, ++checked)
    ASSERT_EQ(played[i], int16_t(1000 + checked)) << checked;
  EXPECT_GT(checked, 10000u);
  EXPECT_NE(d.TakeInLatency(), 0);
}

// An Audio In module while no input port is chosen reads silence.
TEST_F(DriverTest, AnAudioInWithoutAnInputPortReadsSilence) {
  StandardMachine m;
  RampPatch ramp;
  Host host;
  TMultiMedia& d = host.MakeDriver();
  host.AddRampOut();
  host.AddAudioIn();
  d.Start();
  EXPECT_FALSE(d.IsInputActive());
  for (int t = 0; t < 10; ++t) {
    Step(m, d, t);
    EXPECT_EQ(host.AudioInLeft(), 0.0f);
  }
  EXPECT_EQ(d.TakeInLatency(), 0);
  d.Stop();
}

TEST_F(DriverTest, AnUnpluggedDeviceEndsItsUseWithAMessageAndTheProgramGoesOn) {
  StandardMachine m;
  RampPatch ramp;
  Host host;
  TMultiMedia& d = host.MakeDriver();
  host.AddRampOut();
  d.Start();
  for (int t = 0; t < 50; ++t) Step(m, d, t);
  m.waves.Unplug(false, m.speakers);
  m.waves.Advance(10);
  ASSERT_TRUE(d.SyncMessages());
  // The timer thread goes on without a device that takes its blocks.
  for (int t = 0; t < 50; ++t) m.timer.Fire();
  gui.QueueAnswer(0);
  EXPECT_EQ(host.RunGuiTasks(), 1);
  ASSERT_EQ(gui.Boxes().size(), 1u);
  EXPECT_NE(gui.Boxes()[0].text.find("MME: Speakers"), std::string::npos) << gui.Boxes()[0].text;
  EXPECT_EQ(d.GetOutPort(), 0);
  EXPECT_FALSE(m.timer.IsRunning());
  EXPECT_FALSE(m.timer.Fire());
  // The user picks another port.
  EXPECT_TRUE(d.SetOutPort(2));
  EXPECT_TRUE(m.timer.IsRunning());
  d.Stop();
  host.DeleteDriver();
  EXPECT_EQ(ReadSettingStr(setting::MmeOutPort, ""), TStr("MME: USB"));
}

TEST_F(DriverTest, AnUnderrunIsCountedAndTheQueueGoesOn) {
  WriteSettingInt(setting::MmeOutDelay, 80);
  StandardMachine m;
  RampPatch ramp;
  Host host;
  TMultiMedia& d = host.MakeDriver();
  host.AddRampOut();
  d.Start();
  for (int t = 0; t < 100; ++t) Step(m, d, t);
  m.waves.InjectXrun(false, m.speakers, 100);
  for (int t = 100; t < 400; ++t) Step(m, d, t);
  EXPECT_EQ(d.GetDeviceXruns(), 1u);
  // Nothing the engine made is lost: the device only fell behind by the gap.
  const std::vector<int16_t>& played = m.waves.Played(m.speakers);
  size_t prefill = size_t(16) * kLongFrames * 2;
  int64_t n = 0;
  size_t gap = 0;
  for (size_t i = prefill; i < played.size(); i += 2) {
    if (played[i] == RampSample(n)) ++n;
    else ++gap;
  }
  EXPECT_EQ(gap, 100u);
  EXPECT_GT(n, 80000);
  d.Stop();
  EXPECT_EQ(d.GetDeviceXruns(), 1u) << "kept after the device closed";
}

TEST_F(DriverTest, ALostPortStaysTheStoredChoice) {
  StandardMachine m;
  Host host;
  TMultiMedia& d = host.MakeDriver();
  d.Start();
  m.waves.Unplug(false, m.speakers);
  m.waves.Advance(10);
  ASSERT_TRUE(d.SyncMessages());
  gui.QueueAnswer(0);
  host.RunGuiTasks();
  d.Stop();
  host.DeleteDriver();
  EXPECT_EQ(ReadSettingStr(setting::MmeOutPort, ""), TStr("MME: Speakers")) << "plugged in again, it is used again";
}

// A lost output is closed and told (through the task the driver posts to
// the GUI thread); choosing it again once it is back brings the sound back.
TEST_F(DriverTest, ALostOutputChosenAgainOnceBackPlaysAgain) {
  StandardMachine m;
  RampPatch ramp;
  Host host;
  TMultiMedia& d = host.MakeDriver();
  host.AddRampOut();
  d.Start();
  for (int t = 0; t < 10; ++t) Step(m, d, t);
  m.waves.Unplug(false, m.speakers);
  m.waves.Advance(10);
  ASSERT_TRUE(d.SyncMessages());
  EXPECT_TRUE(gui.Boxes().empty()) << "the GUI thread tells, not the device's thread";
  gui.QueueAnswer(0);
  EXPECT_EQ(host.RunGuiTasks(), 1);
  ASSERT_EQ(gui.Boxes().size(), 1u);
  EXPECT_EQ(gui.Boxes()[0].text, "The sound device \"MME: Speakers\" is no longer available. Sound stays off until "
                                 "you choose another audio port.");
  EXPECT_FALSE(m.waves.IsOpen(false, m.speakers)) << "the lost device is closed";
  EXPECT_EQ(d.GetOutPort(), 0);

  m.waves.Plug(false, m.speakers);
  const size_t before = m.waves.Played(m.speakers).size();
  ASSERT_TRUE(d.SetOutPort(1)) << "chosen again in the settings";
  EXPECT_TRUE(m.waves.IsOpen(false, m.speakers));
  for (int t = 0; t < 40; ++t) Step(m, d, t);
  const std::vector<int16_t>& played = m.waves.Played(m.speakers);
  ASSERT_GT(played.size(), before + 20u * 220u * 2u);
  bool sounds = false;
  for (size_t i = before; i < played.size() && !sounds; ++i) sounds = played[i] != 0;
  EXPECT_TRUE(sounds) << "the engine plays into the device again";
  d.Stop();
  host.DeleteDriver();
  EXPECT_EQ(ReadSettingStr(setting::MmeOutPort, ""), TStr("MME: Speakers"));
}

// The start says what happened when the chosen output cannot be used, and
// what plays instead; the choice stays stored for the next start.
TEST_F(DriverTest, AStartThatCannotUseTheChosenOutputSaysWhatPlaysInstead) {
  struct Case {
    const char* name;
    const char* stored;
    bool speakersBusy, usbBusy;
    const char* text;
    int32_t playing;
  };
  const Case cases[] = {
      {"stored device not listed", "MME: Gone", false, false,
       "The sound device \"MME: Gone\" was not found. Sound plays through \"MME: Speakers\" instead.", 1},
      {"stored device will not open", "MME: Speakers", true, false,
       "Audio outport is in use by another application. Sound plays through \"MME: USB\" instead.", 2},
      {"default will not open", nullptr, true, false,
       "Audio outport is in use by another application. Sound plays through \"MME: USB\" instead.", 2},
      {"nothing opens", nullptr, true, true,
       "Audio outport is in use by another application. Sound stays off until you choose another audio port.",
       0},
  };
  for (const Case& c : cases) {
    ClearDriverSettings();
    if (c.stored) WriteSettingStr(setting::MmeOutPort, c.stored);
    StandardMachine m;
    m.waves.SetBusy(false, m.speakers, c.speakersBusy);
    m.waves.SetBusy(false, m.usb, c.usbBusy);
    testkit::ScriptedHost boxes;
    {
      Host host;
      TMultiMedia& d = host.MakeDriver();
      boxes.QueueAnswer(0);
      d.Start();
      ASSERT_EQ(boxes.Boxes().size(), 1u) << c.name;
      EXPECT_EQ(boxes.Boxes()[0].text, c.text) << c.name;
      EXPECT_EQ(d.GetOutPort(), c.playing) << c.name;
      d.Stop();
      host.DeleteDriver();
    }
    const char* kept = c.stored ? c.stored : "MME: Speakers";
    EXPECT_EQ(ReadSettingStr(setting::MmeOutPort, ""), TStr(kept)) << c.name;
  }
}

TEST_F(DriverTest, AGuiTaskForADriverThatIsGoneDoesNothing) {
  StandardMachine m;
  Host host;
  TMultiMedia& d = host.MakeDriver();
  d.Start();
  m.waves.Unplug(false, m.speakers);
  m.waves.Advance(10);
  ASSERT_TRUE(d.SyncMessages());
  d.Stop();
  host.DeleteDriver();
  EXPECT_EQ(host.RunGuiTasks(), 1);
  EXPECT_TRUE(gui.Boxes().empty());
}

// The rate factor sets the engine's block: trunc(device frames x factor).
// The first tick after the prefill makes a short block (216 frames).
TEST_F(DriverTest, EngineBlocksFollowTheRateFactor) {
  struct Case {
    float factor;
    int64_t shortBlock;
  } cases[] = {{0.5f, 108}, {0.75f, 162}, {1.0f, 216}, {1.5f, 324}, {2.0f, 432}, {3.0f, 648}};
  for (const Case& c : cases) {
    StandardMachine m;
    RampPatch ramp;
    Host host(c.factor);
    TMultiMedia& d = host.MakeDriver();
    host.AddRampOut();
    d.Start();
    m.timer.Fire();
    EXPECT_EQ(Host::RampCounter().load(), c.shortBlock) << c.factor;
    d.Stop();
    host.DeleteDriver();
  }
}

// ---------------------------------------------------------------------------
// The ring output

// The standard machine with the ring chosen as the output, 80 ms ahead, and
// a window for it; the ramp plays once a test adds its Audio Out.
class RingTest : public DriverTest {
protected:
  void SetUp() override {
    DriverTest::SetUp();
    platform::SetClientWindowHandle(&window_);
    WriteSettingStr(setting::MmeOutPort, "DirectSound: Ring A");
    WriteSettingInt(setting::MmeOutDelay, 80);
  }
  void TearDown() override { platform::SetClientWindowHandle(nullptr); }
  int window_ = 0;
  StandardMachine m;
  RampPatch ramp;
  Host host;
};

TEST_F(RingTest, BlocksGoIntoTheRingAheadOfThePlayCursorAcrossItsEnd) {
  TMultiMedia& d = host.MakeDriver();
  host.AddRampOut();
  d.Start();
  auto* ring = m.ds.rings.Current();
  ASSERT_NE(ring, nullptr);
  EXPECT_TRUE(ring->IsPlaying());
  constexpr uint32_t kRing = 256000;
  // Play on, 220 frames per tick, long past the ring's end.
  uint32_t cursor = 0;
  for (int t = 0; t < 600; ++t) {
    m.timer.Fire();
    cursor = (cursor + TickFrames(t) * 4) % kRing;
    ring->SetPlayCursor(cursor);
  }
  // The frames written so far: the delay's silence, then the ramp without a gap.
  int64_t made = Host::RampCounter().load();
  ASSERT_GT(made * 4, int64_t(kRing));
  uint32_t start = 16 * kLongFrames * 4;
  for (int64_t n = std::max<int64_t>(0, made - 50000); n < made; ++n) {
    uint32_t at = uint32_t((start + n * 4) % kRing);
    ASSERT_EQ(ring->SampleAt(at), RampSample(n)) << n;
    ASSERT_EQ(ring->SampleAt(at + 2), RampSample(n)) << n;
  }
  int32_t latency = d.TakeOutLatency();
  EXPECT_GE(latency, 75);
  EXPECT_LE(latency, 85);
  d.Stop();
  EXPECT_EQ(m.ds.rings.Current(), nullptr) << "closed";
}

TEST_F(RingTest, AStarvedRingGetsSilenceNotOldSound) {
  TMultiMedia& d = host.MakeDriver();
  host.AddRampOut();
  d.Start();
  auto* ring = m.ds.rings.Current();
  ASSERT_NE(ring, nullptr);
  for (int t = 0; t < 100; ++t) m.timer.Fire();
  // The cursor jumps past everything written (the timer was held up).
  uint32_t written = m.ds.bridge.WriteOffset();
  uint32_t cursor = written + 1000 * 4;
  ring->SetPlayCursor(cursor);
  int64_t before = Host::RampCounter().load();
  m.timer.Fire();
  EXPECT_EQ(Host::RampCounter().load(), before) << "this tick only silences";
  // Everything from the cursor to the delay ahead of it is silence now.
  for (uint32_t b = 0; b < 16 * kLongFrames * 4; b += 2) ASSERT_EQ(ring->SampleAt(cursor + b), 0) << b;
  EXPECT_EQ(m.ds.bridge.GetNumSamplesAhead(), 16 * kLongFrames);
  m.timer.Fire();
  EXPECT_EQ(Host::RampCounter().load(), before + kLongFrames) << "and then sound again";
  d.Stop();
}

TEST_F(RingTest, WithoutAWindowNothingIsOpenedAndNoTimerRuns) {
  platform::SetClientWindowHandle(nullptr);
  TMultiMedia& d = host.MakeDriver();
  d.Start();
  EXPECT_EQ(m.ds.rings.Current(), nullptr);
  EXPECT_FALSE(m.timer.IsRunning());
  d.Stop();
}

TEST_F(RingTest, ARingThatFailsToOpenIsAnOutputInUse) {
  m.ds.rings.SetOpenFails(true);
  gui.QueueAnswer(0);
  TMultiMedia& d = host.MakeDriver();
  d.Start();
  ASSERT_EQ(gui.Boxes().size(), 1u);
  EXPECT_EQ(gui.Boxes()[0].text,
            "Audio outport is in use by another application. Sound plays through \"MME: Speakers\" instead.");
  EXPECT_EQ(d.GetOutPort(), 1) << "a wave output plays instead";
  d.Stop();
}

// ---------------------------------------------------------------------------
// The bridge library and the factory

TEST_F(DriverTest, AMissingBridgeLibraryIsReportedAndTheWavePortsStay) {
  Machine m(false);
  m.waves.AddOutput("Speakers");
  gui.QueueAnswer(0);
  m.Install();
  EXPECT_TRUE(IsMultiMediaAvailable());
  ASSERT_EQ(gui.Boxes().size(), 1u);
  EXPECT_EQ(gui.Boxes()[0].text, std::string(kPeldsFileName) +
                                     " is missing. Please install this version again. If problem persits contact us: "
                                     "https://quorvex.org/support");
  Host host;
  TMultiMedia& d = host.MakeDriver();
  EXPECT_EQ(d.GetOutPortCount(), 2);
  EXPECT_EQ(d.GetOutPortName(1), TStr("MME: Speakers"));
  EXPECT_TRUE(IsMultiMediaAvailable());
  EXPECT_EQ(gui.Boxes().size(), 1u) << "the lists are built once";
}

TEST_F(DriverTest, ALibraryWithoutTheEntryPointsOffersNoRingPortsAndSaysNothing) {
  Machine m(false);
  m.waves.AddOutput("Speakers");
  // The program's own folder holds the real bridge; a library that lacks the
  // entry points is any other, such as the sound library itself.
  m.install.bridgePath = "libasound.so.2";
  m.Install();
  EXPECT_TRUE(IsMultiMediaAvailable());
  EXPECT_TRUE(gui.Boxes().empty());
  Host host;
  EXPECT_EQ(host.MakeDriver().GetOutPortCount(), 2);
}

TEST_F(DriverTest, TheBridgeLibraryLoadsFromTheProgramsFolder) {
  Machine m(false);
  m.waves.AddOutput("Speakers");
  m.install.bridgePath.clear();
  m.Install();
  EXPECT_TRUE(IsMultiMediaAvailable());
  EXPECT_TRUE(gui.Boxes().empty()) << (gui.Boxes().empty() ? "" : gui.Boxes()[0].text);
}

TEST_F(DriverTest, TheFactoryChoosesTheDriverWhenADeviceIsThere) {
  RegisterMultiMedia();
  {
    StandardMachine m;
    WriteSettingStr(setting::AudioPort, "MultiMedia");
    Host host;
    IAudioInOut* driver = CreateAudioInOut(kAudioNone, &host);
    ASSERT_NE(driver, nullptr);
    EXPECT_EQ(driver->GetType(), kAudioMultiMedia);
    EXPECT_EQ(GetMaxAudioOutputs(), 2);
    driver->Delete();
  }
  {
    Machine m;
    m.Install();
    EXPECT_FALSE(IsMultiMediaAvailable());
    Host host;
    IAudioInOut* driver = CreateAudioInOut(kAudioNone, &host);
    ASSERT_NE(driver, nullptr);
    EXPECT_EQ(driver->GetType(), kAudioNone) << "no device: the null driver";
    driver->Start();
    driver->Stop();
    driver->Delete();
  }
}

// ---------------------------------------------------------------------------
// The timer thread for real

TEST_F(DriverTest, StopWhileAStructureChangeHoldsTheLockReturns) {
  Machine m;
  int32_t out = m.waves.AddOutput("Speakers");
  m.install.timer = nullptr; // the real 5 ms timer
  m.Install();
  RampPatch ramp;
  Host host;
  TMultiMedia& d = host.MakeDriver();
  host.AddRampOut();
  // A structure change takes the lock on this (the GUI) thread and, within
  // it, the driver is started and stopped: the tick must never be waiting
  // for the lock when the timer is stopped.
  {
    TEngineLock structureChange;
    uint32_t skipped = TAudioInOut::GetSkippedBlocks();
    d.Start();
    // Wait (on an event, not the clock) until a tick has met the held lock
    // (with the queue deep it owes its block).
    const uint32_t deferred = d.GetDeferredBlocks();
    while (TAudioInOut::GetSkippedBlocks() == skipped && d.GetDeferredBlocks() == deferred)
      std::this_thread::yield();
    d.Stop();
  }
  EXPECT_FALSE(m.waves.IsOpen(false, out));
}

} // namespace
