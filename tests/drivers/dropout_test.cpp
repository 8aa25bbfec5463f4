// The sound driver never silences a block for MIDI, and silences one for a
// structure change only when the device would otherwise run dry: on fake
// devices, a manual timer and fake MIDI ports.
#include "tests/drivers/driver_rig.h"

#include "pc/midi/mmmidi.h"
#include "platform/seq.h"
#include "platform/sys.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace driverrig;
using mme::kLongFrames;

namespace {

uint32_t TickFrames(int tick) { return tick % 2 == 0 ? 220 : 221; }

struct SpeakerMachine : Machine {
  int32_t speakers;
  SpeakerMachine() {
    speakers = waves.AddOutput("Speakers");
    Install();
  }
};

// A tick as the driver's timer thread makes it, from a thread that is not
// the one holding the engine (the lock is recursive for its holder).
void FireFromTimerThread(Machine& m) {
  std::thread timer([&] { m.timer.Fire(); });
  timer.join();
}

// The delay's silence first, then the ramp frame by frame: nothing lost,
// nothing silent in between.
void ExpectPrefillThenRamp(const std::vector<int16_t>& played, int32_t delayBlocks) {
  const size_t prefill = size_t(delayBlocks) * kLongFrames * 2;
  ASSERT_GT(played.size(), prefill);
  for (size_t i = 0; i < prefill; ++i) ASSERT_EQ(played[i], 0) << i;
  for (size_t i = prefill; i < played.size(); ++i) ASSERT_EQ(played[i], RampSample(int64_t(i - prefill) / 2)) << "frame " << (i - prefill) / 2;
}

class DropoutTest : public ::testing::Test {
protected:
  void SetUp() override {
    ClearDriverSettings();
    // The MIDI driver opens the ports it saved: none here.
    DeleteSetting(TStr("Midi1"));
    WriteSettingInt(setting::MmeOutDelay, 20);
  }
  testkit::ScriptedHost gui;
};

// A structure change holds the engine across one or more ticks. While the
// device still has more than two blocks queued the ticks owe their blocks
// and make them up once the engine is free; past that a block goes out
// silent rather than letting the device run dry.
TEST_F(DropoutTest, TicksThatMeetAStructureChangeMakeTheirBlocksUpLater) {
  constexpr int32_t kDelayBlocks = 4; // 20 ms
  struct Case {
    int heldTicks;
    bool silenceAllowed;
  } cases[] = {{1, false}, {2, false}, {12, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.heldTicks);
    SpeakerMachine m;
    RampPatch ramp;
    Host host;
    TMultiMedia& d = host.MakeDriver();
    host.AddRampOut();
    d.Start();
    const uint32_t skippedBefore = TAudioInOut::GetSkippedBlocks();
    int t = 0;
    auto step = [&](bool locked) {
      if (locked) FireFromTimerThread(m);
      else m.timer.Fire();
      m.waves.Advance(TickFrames(t++));
      ASSERT_TRUE(d.SyncMessages());
    };
    for (int i = 0; i < 40; ++i) step(false);
    const size_t queuedBefore = m.waves.Queued(false, m.speakers);
    {
      TEngineLock structureChange;
      for (int i = 0; i < c.heldTicks; ++i) step(true);
    }
    const uint32_t deferred = d.GetDeferredBlocks();
    const uint32_t silent = TAudioInOut::GetSkippedBlocks() - skippedBefore;
    EXPECT_GE(deferred, 1u) << "the first tick under the change owes its block";
    if (!c.silenceAllowed) {
      EXPECT_EQ(deferred, uint32_t(c.heldTicks));
      EXPECT_EQ(silent, 0u);
    } else {
      EXPECT_GT(silent, 0u) << "a long change silences blocks once the queue runs low";
    }
    // Once the engine is free the owed blocks bring the queue back to its depth.
    for (int i = 0; i < 40; ++i) step(false);
    EXPECT_GE(m.waves.Queued(false, m.speakers), size_t(kDelayBlocks - 1));
    EXPECT_LE(m.waves.Queued(false, m.speakers), queuedBefore + 2);
    d.Stop();
    EXPECT_EQ(m.waves.Underrun(m.speakers), 0u) << "the device never ran dry";
    if (!c.silenceAllowed) ExpectPrefillThenRamp(m.waves.Played(m.speakers), kDelayBlocks);
  }
}

// Another thread takes the engine for 50 us at a time, again and again, as
// a stream of MIDI messages would: a tick that meets it waits it out and
// runs its block then; it neither silences nor owes the block. (Only a
// holder kept off the processor for over a millisecond may make a tick owe
// one: a few are allowed for a loaded machine.) A tick that could not wait
// would owe nearly every block and soon silence them.
TEST_F(DropoutTest, ATickWaitsOutShortHoldsOfTheEngine) {
  // 50 ms: only a run of such misses may reach a silent block.
  WriteSettingInt(setting::MmeOutDelay, 50);
  SpeakerMachine m;
  RampPatch ramp;
  Host host;
  TMultiMedia& d = host.MakeDriver();
  host.AddRampOut();
  d.Start();
  const uint32_t skippedBefore = TAudioInOut::GetSkippedBlocks();
  std::atomic<bool> stop{false};
  std::atomic<int64_t> holds{0};
  std::thread holder([&] {
    while (!stop.load()) {
      TLockGuard guard(EngineCriticalSection());
      const uint64_t until = platform::MonotonicNs() + 50000;
      while (platform::MonotonicNs() < until) {
      }
      holds.fetch_add(1);
    }
  });
  while (holds.load() == 0) std::this_thread::yield();
  constexpr int kTicks = 500;
  for (int t = 0; t < kTicks; ++t) {
    m.timer.Fire();
    m.waves.Advance(TickFrames(t));
    ASSERT_TRUE(d.SyncMessages());
  }
  stop.store(true);
  holder.join();
  d.Stop();
  EXPECT_EQ(TAudioInOut::GetSkippedBlocks() - skippedBefore, 0u);
  EXPECT_LE(d.GetDeferredBlocks(), uint32_t(kTicks / 50));
  EXPECT_EQ(m.waves.Underrun(m.speakers), 0u);
  ExpectPrefillThenRamp(m.waves.Played(m.speakers), 10);
}

// The MIDI thread floods the engine with notes, holding the engine's lock
// for each, while the ticks run: a tick that meets a message waits the
// microseconds it takes instead of writing a silent block.
TEST_F(DropoutTest, AMidiFloodNeverSilencesABlock) {
  WriteSettingInt(setting::MmeOutDelay, 50);
  SpeakerMachine m;
  platform::FakeMidis ports;
  const int32_t keys = ports.AddInput("Keys:A");
  platform::MidiSystem* previous = platform::SetMidiSystem(&ports);
  {
    RampPatch ramp;
    Host host;
    TMultiMedia& d = host.MakeDriver();
    host.AddRampOut();
    class Owner : public IMidiOwner {
    public:
      IAudioInOut* GetAudio() const override { return nullptr; }
      KInstr* GetCurrentInstr() const override { return nullptr; }
      void PostViewRefresh() override {}
      void PostToGui(std::function<void()>) override {
        ADD_FAILURE() << "work was handed to a GUI thread this owner has not";
      }
    } owner;
    IMultiMediaMidi* midi = CreateMultiMediaMidi(&owner);
    auto* base = dynamic_cast<TMidiInOut*>(midi);
    ASSERT_NE(base, nullptr);
    KInstr* instr = host.GetTopModule()->GetOwnInstr();
    base->AddReceiver(instr, 0);
    midi->Open();
    ASSERT_EQ(midi->OpenInPort(keys), mmmidi::kOpened);
    d.Start();
    const uint32_t skippedBefore = TAudioInOut::GetSkippedBlocks();

    std::atomic<bool> stop{false};
    std::atomic<int64_t> sent{0};
    std::thread flood([&] {
      uint32_t seed = 7;
      while (!stop.load()) {
        seed = seed * 1664525u + 1013904223u;
        const uint8_t note = uint8_t(36 + (seed >> 24) % 48);
        // Fewer in flight than the driver's queue holds: none is refused.
        if (sent.load() % 64 == 0) dynamic_cast<TMultiMediaMidi*>(midi)->SyncMessages();
        if (ports.Inject(keys, {0x90, note, 100}) && ports.Inject(keys, {0x80, note, 0})) sent.fetch_add(2);
      }
    });
    constexpr int kTicks = 1000;
    for (int t = 0; t < kTicks; ++t) {
      m.timer.Fire();
      m.waves.Advance(TickFrames(t));
      ASSERT_TRUE(d.SyncMessages());
    }
    stop.store(true);
    flood.join();
    ASSERT_TRUE(dynamic_cast<TMultiMediaMidi*>(midi)->SyncMessages());
    d.Stop();
    EXPECT_GT(sent.load(), 0);
    EXPECT_EQ(TAudioInOut::GetSkippedBlocks() - skippedBefore, 0u);
    EXPECT_EQ(m.waves.Underrun(m.speakers), 0u);
    // Every note-on was followed by its note-off, in order.
    EXPECT_EQ(instr->GetPlayingVoiceCount(), 0);
    midi->Close();
    base->RemoveReceiver(instr, 0);
    midi->Delete();
  }
  platform::SetMidiSystem(previous);
}

} // namespace
