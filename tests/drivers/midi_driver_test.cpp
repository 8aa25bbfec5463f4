// The MIDI driver on fake ports, the sequencer's event codec, and the real
// sequencer where the machine has one.
#include "pc/midi/mmmidi.h"

#include "platform/seq.h"
#include "src/base/settings.h"
#include "src/engine/audioio.h"
#include "tests/common/testkit.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <alsa/asoundlib.h>
#include <dirent.h>
#include <unistd.h>

namespace {

using platform::FakeMidis;

// The ensemble's side: GUI work is kept until the test runs it.
class FakeOwner : public IMidiOwner {
public:
  IAudioInOut* GetAudio() const override { return nullptr; }
  KInstr* GetCurrentInstr() const override { return nullptr; }
  void PostViewRefresh() override {}
  void PostToGui(std::function<void()> task) override {
    std::lock_guard<std::mutex> lock(mutex);
    tasks.push_back(std::move(task));
  }
  int RunGuiTasks() {
    std::vector<std::function<void()>> run;
    {
      std::lock_guard<std::mutex> lock(mutex);
      run.swap(tasks);
    }
    for (auto& t : run) t();
    return int(run.size());
  }
  std::mutex mutex;
  std::vector<std::function<void()>> tasks;
};

// What reached the MIDI base, and on which thread.
struct Call {
  int kind, channel, data1, data2;
  bool onMidiThread;
  bool operator==(const Call& o) const {
    return std::tie(kind, channel, data1, data2, onMidiThread) ==
           std::tie(o.kind, o.channel, o.data1, o.data2, o.onMidiThread);
  }
};
std::ostream& operator<<(std::ostream& os, const Call& c) {
  return os << "{" << c.kind << "," << c.channel << "," << c.data1 << "," << c.data2 << ","
            << (c.onMidiThread ? "midi" : "other") << "}";
}

class RecordingMidi : public TMultiMediaMidi {
public:
  using TMultiMediaMidi::TMultiMediaMidi;
  std::vector<Call> Calls() {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
  }
  std::atomic<int64_t> received{0};
  bool record = true;
  using TMultiMediaMidi::SendShortMessage;

protected:
  void Received(int32_t kind, int32_t channel, int32_t data1, int32_t data2) override {
    TMultiMediaMidi::Received(kind, channel, data1, data2); // the real dispatch, under the engine's mutex
    received.fetch_add(1);
    if (!record) return;
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back({kind, channel, data1, data2, IsMidiThread()});
  }

private:
  std::mutex mutex_;
  std::vector<Call> calls_;
};

constexpr const char* kBusyMessage = "Could not open the MIDI port $1.\nIt is probably in use by another program.";

std::string Busy(const std::string& name) {
  std::string text = kBusyMessage;
  return text.replace(text.find("$1"), 2, name);
}

void ClearPortSettings() {
  for (int n = 1; n <= 70; ++n) {
    DeleteSetting(FormatStr("Midi%d", n));
    DeleteSetting(FormatStr("MidiOut%d", n));
  }
}

// The setting named by a prefix and a port number ("Midi", 1 is "Midi1").
std::string Setting(const char* prefix, int n) { return ReadSettingStr(FormatStr("%s%d", prefix, n), TStr()).CStr(); }

class MidiDriverTest : public ::testing::Test {
protected:
  void SetUp() override {
    OpenSettings("MidiDriverTest");
    ClearPortSettings();
    previous_ = platform::SetMidiSystem(&ports);
  }
  void TearDown() override { platform::SetMidiSystem(previous_); }

  FakeMidis ports;
  FakeOwner owner;
  testkit::ScriptedHost gui;

private:
  platform::MidiSystem* previous_ = nullptr;
};

TEST_F(MidiDriverTest, SavedSelectionOpensEveryPortOfThatNameUpToTheFirstGap) {
  const int32_t a1 = ports.AddInput("Keys:A");
  const int32_t b = ports.AddInput("Pads:B");
  const int32_t a2 = ports.AddInput("Keys:A"); // a second device of the same name
  const int32_t c = ports.AddInput("Drums:C");
  const int32_t x = ports.AddOutput("Synth:X");
  const int32_t y = ports.AddOutput("Synth:Y");
  WriteSettingStr(TStr("Midi1"), TStr("Keys:A"));
  WriteSettingStr(TStr("Midi3"), TStr("Drums:C")); // after a gap: not read
  WriteSettingStr(TStr("MidiOut1"), TStr("Synth:Y"));
  RecordingMidi midi(&owner);
  ASSERT_EQ(midi.GetInPortCount(), 4);
  EXPECT_EQ(std::string(midi.GetInPortName(2).CStr()), "Keys:A");
  midi.Open();
  EXPECT_TRUE(midi.IsThreadRunning()) << "the thread runs with or without ports";
  EXPECT_TRUE(ports.IsOpen(true, a1));
  EXPECT_TRUE(ports.IsOpen(true, a2));
  EXPECT_FALSE(ports.IsOpen(true, b));
  EXPECT_FALSE(ports.IsOpen(true, c));
  EXPECT_TRUE(ports.IsStarted(a1));
  EXPECT_FALSE(ports.IsOpen(false, x));
  EXPECT_TRUE(ports.IsOpen(false, y));
  EXPECT_EQ(midi.GetOpenInPortCount(), 2);
  EXPECT_EQ(midi.GetOpenOutPortCount(), 1);
  EXPECT_TRUE(gui.Boxes().empty());
  midi.Close();
  EXPECT_FALSE(midi.IsThreadRunning());
}

TEST_F(MidiDriverTest, NoSavedPortOpensNothingAndAFailedOneSaysSo) {
  const int32_t a = ports.AddInput("Keys:A");
  {
    RecordingMidi midi(&owner);
    midi.Open();
    EXPECT_FALSE(ports.IsOpen(true, a));
    EXPECT_TRUE(midi.IsThreadRunning());
    midi.Close();
  }
  WriteSettingStr(TStr("Midi1"), TStr("Keys:A"));
  ports.SetOpenFails(true, a, true);
  gui.QueueAnswer(1);
  RecordingMidi midi(&owner);
  midi.Open();
  ASSERT_EQ(gui.Boxes().size(), 1u);
  EXPECT_EQ(gui.Boxes()[0].text, Busy("Keys:A"));
  ports.SetOpenFails(true, a, false);
  // A port that opens but will not start is closed again and not listed.
  ports.SetStartFails(a, true);
  EXPECT_EQ(midi.OpenInPort(a), mmmidi::kFailed);
  EXPECT_FALSE(ports.IsOpen(true, a));
  EXPECT_EQ(midi.GetOpenInPortCount(), 0);
  midi.Close();
}

TEST_F(MidiDriverTest, OpeningAndClosingGoByDeviceIndex) {
  const int32_t a1 = ports.AddInput("Keys:A");
  const int32_t a2 = ports.AddInput("Keys:A");
  const int32_t internal = ports.AddInput(platform::kInternalMidiPortName);
  const int32_t x = ports.AddOutput("Synth:X");
  RecordingMidi midi(&owner);
  midi.Open();
  struct Case {
    const char* what;
    std::function<int32_t()> act;
    int32_t result;
  };
  const Case cases[] = {
      {"open the second of two alike", [&] { return midi.OpenInPort(a2); }, mmmidi::kOpened},
      {"open it again", [&] { return midi.OpenInPort(a2); }, mmmidi::kAlreadyOpen},
      {"open past the list", [&] { return midi.OpenInPort(7); }, mmmidi::kNoDevice},
      {"open below the list", [&] { return midi.OpenInPort(-1); }, mmmidi::kNoDevice},
      {"close one not open", [&] { return midi.CloseInPort(a1); }, mmmidi::kNoDevice},
      {"open an output", [&] { return midi.OpenOutPort(x); }, mmmidi::kOpened},
      {"open the output again", [&] { return midi.OpenOutPort(x); }, mmmidi::kAlreadyOpen},
      {"open an output past the list", [&] { return midi.OpenOutPort(1); }, mmmidi::kNoDevice},
      {"close the output", [&] { return midi.CloseOutPort(x); }, mmmidi::kOpened},
      {"close the output twice", [&] { return midi.CloseOutPort(x); }, mmmidi::kNoDevice},
  };
  for (const Case& c : cases) EXPECT_EQ(c.act(), c.result) << c.what;
  EXPECT_FALSE(ports.IsOpen(true, a1)) << "the first port of that name is left alone";
  EXPECT_TRUE(ports.IsOpen(true, a2));
  EXPECT_EQ(midi.FindInPort(TStr("Keys:A")), a1);
  EXPECT_EQ(midi.FindInPort(TStr("none")), mmmidi::kNoDevice);
  // Re-open after a close.
  EXPECT_EQ(midi.CloseInPort(a2), mmmidi::kOpened);
  EXPECT_EQ(midi.OpenInPort(a2), mmmidi::kOpened);
  EXPECT_EQ(ports.Opens(true, a2), 2);
  // The internal port is enabled before it starts and disabled before it closes.
  EXPECT_EQ(midi.OpenInPort(internal), mmmidi::kOpened);
  EXPECT_EQ(ports.DriverMessages(internal), (std::vector<uint32_t>{platform::kMidiDriverEnable}));
  EXPECT_EQ(midi.CloseInPort(internal), mmmidi::kOpened);
  EXPECT_EQ(ports.DriverMessages(internal),
            (std::vector<uint32_t>{platform::kMidiDriverEnable, platform::kMidiDriverDisable}));
  EXPECT_TRUE(ports.DriverMessages(a2).size() <= 1u) << "only closing sends the disable message to others";
  midi.Close();
}

TEST_F(MidiDriverTest, AnInjectedStreamReachesTheBaseInOrderOnTheMidiThread) {
  const int32_t a = ports.AddInput("Keys:A");
  WriteSettingStr(TStr("Midi1"), TStr("Keys:A"));
  RecordingMidi midi(&owner);
  EXPECT_FALSE(ports.Inject(a, {0x90, 60, 100})) << "nothing is taken before the port is open";
  midi.Open();
  ASSERT_TRUE(ports.Inject(a, {
                                  0x91, 60, 100,          // note-on, channel 2
                                  0x91, 60, 0,            // note-on with velocity 0
                                  0xB0, 7, 64,            // controller
                                  0xF0, 0x7E, 0x7F, 0xF7, // system exclusive: dropped
                                  0xC3, 5,                // program change
                                  0xE0, 0, 64,            // pitch bend
                                  0xF8,                   // clock
                                  0xFA,                   // start
                                  0x90, 62, 90, 63, 91,   // running status
                              }));
  ASSERT_TRUE(midi.SyncMessages());
  using namespace midi;
  const std::vector<Call> expected = {
      {kNoteOn, 1, 60, 100, true},   {kNoteOn, 1, 60, 0, true},     {kControlChange, 0, 7, 64, true},
      {kProgramChange, 3, 5, 0, true}, {kPitchBend, 0, 0, 64, true}, {kSystem, kClock, 0, 0, true},
      {kSystem, kStart, 0, 0, true}, {kNoteOn, 0, 62, 90, true},    {kNoteOn, 0, 63, 91, true},
  };
  EXPECT_EQ(midi.Calls(), expected);
  midi.Close();
  EXPECT_FALSE(ports.Inject(a, {0x90, 60, 100})) << "nothing is taken after the stop";
}

TEST_F(MidiDriverTest, SendsGoToEveryOpenOutputOrTheNthOne) {
  const int32_t x = ports.AddOutput("Synth:X");
  const int32_t y = ports.AddOutput("Synth:Y");
  WriteSettingStr(TStr("MidiOut1"), TStr("Synth:Y"));
  WriteSettingStr(TStr("MidiOut2"), TStr("Synth:X"));
  RecordingMidi midi(&owner);
  midi.Open();
  const uint32_t noteOn = 0x90 | 60u << 8 | 100u << 16;
  const uint32_t controller = 0xB2 | 7u << 8 | 1u << 16;
  const uint32_t bend = 0xE0 | 0u << 8 | 64u << 16;
  midi.SendNoteOn(mmmidi::kAllPorts, 0, 60, 100); // both
  midi.SendControlChange(1, 2, 7, 1);             // the first open output: Y
  midi.SendPitchBend(2, 0, 0, 64);                // the second: X
  midi.SendNoteOn(3, 0, 61, 1);                   // no third output
  midi.SendNoteOn(-1, 0, 62, 1);                  // no such port
  ASSERT_TRUE(midi.SyncMessages());
  EXPECT_EQ(ports.Sent(y), (std::vector<uint32_t>{noteOn, controller}));
  EXPECT_EQ(ports.Sent(x), (std::vector<uint32_t>{noteOn, bend}));
  EXPECT_EQ(midi.GetDroppedSends(), 0u);
  // A full port drops without blocking the driver.
  ports.SetOutputRoom(x, 2);
  midi.SendNoteOn(2, 0, 64, 1);
  ASSERT_TRUE(midi.SyncMessages());
  EXPECT_EQ(ports.Sent(x).size(), 2u);
  midi.Close();
}

TEST_F(MidiDriverTest, TheSendQueueDropsAndCountsWhenFull) {
  const int32_t x = ports.AddOutput("Synth:X");
  RecordingMidi midi(&owner); // not started: nothing empties the queue
  const uint32_t extra = 6;
  for (uint32_t i = 0; i < mmmidi::kSendQueueSize + extra; ++i) midi.SendNoteOn(0, 0, int32_t(i & 127), 1);
  EXPECT_EQ(midi.GetDroppedSends(), extra);
  WriteSettingStr(TStr("MidiOut1"), TStr("Synth:X"));
  midi.Open();
  ASSERT_TRUE(midi.SyncMessages());
  EXPECT_EQ(ports.Sent(x).size(), mmmidi::kSendQueueSize) << "what was queued is written once the port is open";
  midi.Close();
}

// The voluntary switches of the thread of that name so far (-1 when there is
// no such thread): each is one sleep of the thread.
long Wakes(const std::string& name) {
  long found = -1;
  const std::string tasks = "/proc/" + std::to_string(getpid()) + "/task";
  if (DIR* dir = opendir(tasks.c_str())) {
    while (dirent* e = readdir(dir)) {
      if (e->d_name[0] == '.') continue;
      std::string comm, line;
      std::ifstream c(tasks + "/" + e->d_name + "/comm");
      std::getline(c, comm);
      if (comm != name) continue;
      std::ifstream status(tasks + "/" + e->d_name + "/status");
      while (std::getline(status, line))
        if (line.rfind("voluntary_ctxt_switches:", 0) == 0) found = std::stol(line.substr(24));
    }
    closedir(dir);
  }
  return found;
}

// The MIDI thread sleeps until there is work: with nothing to receive or
// send it does not wake, and a send from any thread wakes it at once.
TEST_F(MidiDriverTest, TheMidiThreadSleepsUntilThereIsWork) {
  const int32_t x = ports.AddOutput("Synth:X");
  WriteSettingStr(TStr("MidiOut1"), TStr("Synth:X"));
  RecordingMidi midi(&owner);
  midi.Open();
  ASSERT_TRUE(midi.SyncMessages());
  const long before = Wakes("midi");
  ASSERT_GE(before, 0) << "the MIDI thread is named";
  // A quiet stretch: a thread that looked for work on a timer would wake
  // many times in it.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_LE(Wakes("midi") - before, 2);
  std::thread sender([&] { midi.SendNoteOn(0, 1, 60, 100); });
  sender.join();
  for (int i = 0; i < 10000 && ports.Sent(x).empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(ports.Sent(x).size(), 1u) << "the send woke the thread";
  midi.Close();
}

TEST_F(MidiDriverTest, ShutdownWritesTheOpenPortsAndNothingMore) {
  const int32_t a = ports.AddInput("Keys:A");
  const int32_t b = ports.AddInput("Pads:B");
  const int32_t x = ports.AddOutput("Synth:X");
  for (int n = 1; n <= 5; ++n) WriteSettingStr(FormatStr("Midi%d", n), TStr("Gone:Z")); // stale values
  WriteSettingStr(TStr("MidiOut1"), TStr("Synth:X"));
  {
    RecordingMidi midi(&owner);
    midi.Open();
    EXPECT_EQ(midi.GetOpenInPortCount(), 0);
    EXPECT_EQ(midi.OpenInPort(a), mmmidi::kOpened);
    EXPECT_EQ(midi.OpenInPort(b), mmmidi::kOpened);
    EXPECT_EQ(midi.CloseOutPort(x), mmmidi::kOpened);
    midi.Close();
    EXPECT_FALSE(midi.IsThreadRunning()) << "the thread has ended when Close returns";
    EXPECT_FALSE(ports.IsOpen(true, a));
    EXPECT_FALSE(ports.IsOpen(false, x));
  }
  EXPECT_EQ(Setting("Midi", 1), "Keys:A");
  EXPECT_EQ(Setting("Midi", 2), "Pads:B");
  for (int n : {3, 4, 5}) EXPECT_EQ(Setting("Midi", n), "") << n;
  EXPECT_EQ(Setting("MidiOut", 1), "");
  // The next start opens the same selection.
  RecordingMidi again(&owner);
  again.Open();
  EXPECT_EQ(again.GetOpenInPortCount(), 2);
  EXPECT_EQ(std::string(again.GetOpenInPortName(1).CStr()), "Pads:B");
  again.Close();
}

TEST_F(MidiDriverTest, AnUnpluggedPortIsClosedOnTheGuiThreadWithAMessage) {
  const int32_t a = ports.AddInput("Keys:A");
  const int32_t x = ports.AddOutput("Synth:X");
  WriteSettingStr(TStr("Midi1"), TStr("Keys:A"));
  WriteSettingStr(TStr("MidiOut1"), TStr("Synth:X"));
  gui.QueueAnswer(1);
  gui.QueueAnswer(1);
  RecordingMidi midi(&owner);
  midi.Open();
  ports.Unplug(true, a);
  ports.Unplug(false, x);
  midi.SendNoteOn(0, 0, 60, 1); // fails quietly
  ASSERT_TRUE(midi.SyncMessages());
  EXPECT_EQ(midi.GetOpenInPortCount(), 1) << "the MIDI thread leaves the lists to the GUI thread";
  EXPECT_EQ(owner.RunGuiTasks(), 2);
  EXPECT_EQ(midi.GetOpenInPortCount(), 0);
  EXPECT_EQ(midi.GetOpenOutPortCount(), 0);
  ASSERT_EQ(gui.Boxes().size(), 2u);
  EXPECT_EQ(gui.Boxes()[0].text, "The MIDI port Keys:A is no longer available. It has been closed.");
  midi.Close();
  EXPECT_FALSE(midi.IsThreadRunning());
}

TEST_F(MidiDriverTest, GuiWorkPostedAfterTheDriverWentDoesNothing) {
  const int32_t a = ports.AddInput("Keys:A");
  WriteSettingStr(TStr("Midi1"), TStr("Keys:A"));
  {
    RecordingMidi midi(&owner);
    midi.Open();
    ports.Unplug(true, a);
    ASSERT_TRUE(midi.SyncMessages());
    midi.Close();
  }
  EXPECT_EQ(owner.RunGuiTasks(), 1);
  EXPECT_TRUE(gui.Boxes().empty());
}

// MIDI floods in while an audio thread sends at every tick and holds the
// engine's lock for its blocks: no race, nothing lost below the queues' room.
TEST_F(MidiDriverTest, FloodInAndEngineSendsOutLoseNothing) {
  const int32_t a = ports.AddInput("Keys:A");
  const int32_t x = ports.AddOutput("Synth:X");
  WriteSettingStr(TStr("Midi1"), TStr("Keys:A"));
  WriteSettingStr(TStr("MidiOut1"), TStr("Synth:X"));
  RecordingMidi midi(&owner);
  midi.record = false;
  midi.Open();
  constexpr int kBursts = 200;
  constexpr int kInPerBurst = 100;  // 3 bytes each, well below the thread queue's room
  constexpr int kOutPerTick = 64;   // well below the send queue's room
  std::atomic<int> ticksDone{0};
  std::thread audio([&] {
    for (int tick = 0; tick < kBursts; ++tick) {
      // The block loop only ever tries the lock.
      while (!EngineCriticalSection().TryEnter()) std::this_thread::yield();
      for (int i = 0; i < kOutPerTick; ++i) midi.SendNoteOn(1, 0, i & 127, 1);
      EngineCriticalSection().Leave();
      ticksDone.store(tick + 1);
      while (midi.GetDroppedSends() == 0 && ports.Sent(x).size() < size_t(tick + 1) * kOutPerTick)
        std::this_thread::yield();
    }
  });
  for (int burst = 0; burst < kBursts; ++burst) {
    std::vector<uint8_t> bytes;
    for (int i = 0; i < kInPerBurst; ++i) bytes.insert(bytes.end(), {0x90, uint8_t(i & 127), uint8_t(1 + i % 126)});
    ASSERT_TRUE(ports.Inject(a, bytes));
    ASSERT_TRUE(midi.SyncMessages());
  }
  audio.join();
  ASSERT_TRUE(midi.SyncMessages());
  EXPECT_EQ(midi.received.load(), int64_t(kBursts) * kInPerBurst);
  EXPECT_EQ(ports.Sent(x).size(), size_t(kBursts) * kOutPerTick);
  EXPECT_EQ(midi.GetDroppedSends(), 0u);
  midi.Close();
}

// ---------------------------------------------------------------------------
// Short messages and the sequencer's codec

TEST(MidiMessages, LengthsByStatus) {
  const std::pair<int, int> table[] = {
      {0x00, 0}, {0x7F, 0}, {0x80, 3}, {0x9F, 3}, {0xA0, 3}, {0xB5, 3}, {0xC0, 2}, {0xDF, 2}, {0xE0, 3},
      {0xF0, 0}, {0xF1, 2}, {0xF2, 3}, {0xF3, 2}, {0xF4, 0}, {0xF5, 0}, {0xF6, 1}, {0xF7, 0}, {0xF8, 1},
      {0xF9, 0}, {0xFA, 1}, {0xFB, 1}, {0xFC, 1}, {0xFD, 0}, {0xFE, 1}, {0xFF, 1},
  };
  for (auto [status, length] : table) EXPECT_EQ(platform::ShortMessageLength(uint8_t(status)), length) << status;
}

TEST(MidiMessages, EveryShortMessageSurvivesTheCodec) {
  platform::MidiEventCodec codec;
  ASSERT_TRUE(codec.IsValid());
  const uint32_t messages[] = {
      0x80 | 60u << 8 | 64u << 16, // note-off
      0x9F | 60u << 8 | 100u << 16, // note-on, channel 16
      0x90 | 60u << 8,              // note-on with velocity 0
      0xA1 | 60u << 8 | 30u << 16,  // poly pressure
      0xB2 | 7u << 8 | 127u << 16,  // controller
      0xC3 | 5u << 8,               // program change
      0xD4 | 77u << 8,              // channel pressure
      0xE5 | 0x7Fu << 8 | 0x7Fu << 16, // pitch bend, top
      0xE0 | 0u << 8 | 0x40u << 16,    // pitch bend, centre
      0xF2 | 1u << 8 | 2u << 16,       // song position
      0xF3 | 9u << 8,                  // song select
      0xF8, 0xFA, 0xFB, 0xFC,          // clock, start, continue, stop
  };
  for (uint32_t m : messages) EXPECT_EQ(codec.RoundTrip(m), m) << std::hex << m;
  // What is no short message does not pass.
  for (uint32_t m : {0xF0u, 0xF7u, 0x3Cu, 0xF4u}) EXPECT_EQ(codec.RoundTrip(m), 0u) << std::hex << m;
}

// ---------------------------------------------------------------------------
// The real sequencer: one client sends to the other's own port.

TEST(MidiSequencer, AClientReachesAnotherClientsOwnPort) {
  if (access("/dev/snd/seq", R_OK | W_OK) != 0) {
    std::printf("skipped: no ALSA sequencer on this machine (/dev/snd/seq is missing or not accessible)\n");
    GTEST_SKIP() << "no ALSA sequencer (/dev/snd/seq)";
  }
  std::unique_ptr<platform::MidiSystem> receiver = platform::CreateAlsaMidi("Quorvex test receiver");
  std::unique_ptr<platform::MidiSystem> sender = platform::CreateAlsaMidi("Quorvex test sender");
  if (!receiver || !sender) GTEST_SKIP() << "the sequencer would not open: " << platform::AlsaMidiError();
  // The receiver's own port is its first input and appears among the
  // sender's outputs under the receiver's client name.
  std::vector<std::string> ins = receiver->Inputs();
  ASSERT_FALSE(ins.empty());
  EXPECT_EQ(ins[0], platform::kInternalMidiPortName);
  int32_t target = -1;
  std::vector<std::string> outs = sender->Outputs();
  for (size_t i = 0; i < outs.size(); ++i)
    if (outs[i].find("Quorvex test receiver") == 0) target = int32_t(i);
  ASSERT_GE(target, 0);
  for (const std::string& name : outs) EXPECT_EQ(name.find_first_of("0123456789"), std::string::npos) << name;
  platform::MessageQueue queue;
  std::unique_ptr<platform::MidiIn> in;
  ASSERT_TRUE(receiver->OpenIn(0, &queue, 7, in));
  in->DriverMessage(platform::kMidiDriverEnable);
  ASSERT_TRUE(in->Start());
  std::unique_ptr<platform::MidiOut> out;
  ASSERT_TRUE(sender->OpenOut(target, &queue, 8, out));
  const uint32_t noteOn = 0x90 | 60u << 8 | 100u << 16;
  ASSERT_TRUE(out->Send(noteOn));
  platform::ThreadMessage m;
  ASSERT_TRUE(queue.GetFor(m, 2000));
  EXPECT_EQ(m.id, platform::kMsgMidiData);
  EXPECT_EQ(m.wparam, 7u);
  EXPECT_EQ(uint32_t(m.lparam), noteOn);
  in->DriverMessage(platform::kMidiDriverDisable);
  in->Reset();
}

} // namespace
