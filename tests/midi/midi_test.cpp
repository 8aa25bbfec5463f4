// The MIDI in/out base: dispatch of raw messages to the listening
// instruments, learn, the senders, activity flags, injected notes and the
// external clock; remote control of panel controls through the dispatch.
#include "tests/mod/ensemble_fixture.h"

#include "src/engine/audioio.h"
#include "src/engine/source_handlers.h"
#include "tests/common/testkit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <thread>
#include <vector>

using ensfix::TEnsembleFixture;
using namespace midi;

namespace {

struct Msg {
  int32_t kind, channel, data1, data2;
};

class MidiIn : public ::testing::Test, public TEnsembleFixture {
protected:
  KInstr* NewInstrument(int32_t channel) {
    KInstr* instr = Insert(Top(), kTypeInstrument)->GetOwnInstr();
    instr->SetMidiChannel(channel);
    return instr;
  }
  void Send(const std::vector<Msg>& msgs) {
    for (const Msg& m : msgs) Midi().Receive(m.kind, m.channel, m.data1, m.data2);
  }
  static std::vector<int32_t> Playing(const KInstr* instr) {
    std::vector<int32_t> notes;
    for (int32_t v = 0; v < instr->GetVoices(); ++v)
      if (instr->GetVoiceNote(v) != KInstr::kFree) notes.push_back(instr->GetVoiceNote(v));
    std::sort(notes.begin(), notes.end());
    return notes;
  }

  testkit::ScriptedHost boxes;
};

} // namespace

TEST_F(MidiIn, RawMessagesReachTheInstrumentsOfTheirChannel) {
  struct Case {
    const char* name;
    int32_t lower, upper, shift;
    std::vector<Msg> msgs;
    std::vector<int32_t> playing;
    bool sustain;
  };
  const Case cases[] = {
      {"note on", 0, 127, 0, {{kNoteOn, 1, 60, 100}}, {60}, false},
      {"other channel", 0, 127, 0, {{kNoteOn, 2, 60, 100}}, {}, false},
      {"note off", 0, 127, 0, {{kNoteOn, 1, 60, 100}, {kNoteOff, 1, 60, 40}}, {}, false},
      {"velocity 0 is a note off", 0, 127, 0, {{kNoteOn, 1, 60, 100}, {kNoteOn, 1, 60, 0}}, {}, false},
      {"outside the key range", 48, 72, 0, {{kNoteOn, 1, 47, 100}, {kNoteOn, 1, 73, 100}, {kNoteOn, 1, 48, 1}}, {48},
       false},
      {"release outside the key range", 0, 127, 0, {{kNoteOn, 1, 100, 100}}, {100}, false},
      {"transpose up, clamped", 0, 127, 30, {{kNoteOn, 1, 100, 100}, {kNoteOn, 1, 20, 100}}, {50, 127}, false},
      {"transpose down, clamped", 0, 127, -70, {{kNoteOn, 1, 60, 100}}, {0}, false},
      {"the key range tests the key before transposing", 0, 64, 12, {{kNoteOn, 1, 64, 100}, {kNoteOn, 1, 65, 100}},
       {76}, false},
      {"sustain holds", 0, 127, 0,
       {{kControlChange, 1, kSustainPedal, 127}, {kNoteOn, 1, 60, 100}, {kNoteOff, 1, 60, 0}}, {60}, true},
      {"sustain released", 0, 127, 0,
       {{kControlChange, 1, kSustainPedal, 64}, {kNoteOn, 1, 60, 100}, {kNoteOff, 1, 60, 0},
        {kControlChange, 1, kSustainPedal, 63}},
       {}, false},
      {"sostenuto holds", 0, 127, 0,
       {{kNoteOn, 1, 60, 100}, {kControlChange, 1, kSostenutoPedal, 100}, {kNoteOff, 1, 60, 0}, {kNoteOn, 1, 62, 9},
        {kNoteOff, 1, 62, 0}},
       {60}, false},
      {"sostenuto released", 0, 127, 0,
       {{kNoteOn, 1, 60, 100}, {kControlChange, 1, kSostenutoPedal, 100}, {kNoteOff, 1, 60, 0},
        {kControlChange, 1, kSostenutoPedal, 0}},
       {}, false},
      {"data bytes are masked", 0, 127, 0, {{kNoteOn, 1, 60 + 128, 100 + 256}}, {60}, false},
  };
  for (const Case& c : cases) {
    KInstr* instr = NewInstrument(2);
    instr->SetKeyRange(c.lower, c.upper);
    instr->SetNoteShift(c.shift);
    Send(c.msgs);
    EXPECT_EQ(Playing(instr), c.playing) << c.name;
    EXPECT_EQ(instr->IsSustainDown(), c.sustain) << c.name;
    Top()->DeleteChild(instr->GetOwner());
  }
}

TEST_F(MidiIn, AReleaseOutsideTheKeyRangeStillEndsTheNote) {
  KInstr* instr = NewInstrument(1);
  Send({{kNoteOn, 0, 60, 100}});
  instr->SetKeyRange(0, 10);
  Send({{kNoteOn, 0, 60, 0}});
  EXPECT_TRUE(Playing(instr).empty());
}

TEST_F(MidiIn, ControllersReachTheControllerSourcesAfterThePedals) {
  KInstr* instr = TopInstr();
  KSModul* ctl = Insert(Top(), kTypeController);
  ctl->SetControllerNo(64);
  FeedScope(ctl, Top());
  ensfix::TEventRecorder recorder;
  // Rebuild so the route uses the recorder.
  { TStructureChange rebuild(Top()); }
  recorder.Events().clear(); // the restart of the scope's input
  Send({{kControlChange, 0, kSustainPedal, 127}, {kControlChange, 0, 7, 127}});
  EXPECT_TRUE(instr->IsSustainDown());
  EXPECT_EQ(recorder.ValuesFor(0), std::vector<float>{1.0f}) << "only controller 64 passes its source";
}

TEST_F(MidiIn, PickUpWaitsUntilTheKnobCrossesTheStoredPosition) {
  KSModul* ctl = Insert(Top(), kTypeController);
  ctl->SetControllerNo(7);
  ctl->SetSoftTakeover(true);
  ensfix::TEventRecorder recorder;
  FeedScope(ctl, Top());
  TEngineRecord* r = ctl->GetEngineRecord();
  ASSERT_NE(r, nullptr);
  ASSERT_EQ(r->params[kSourcePickUpParam].i, 1) << "the module's word goes into processing";
  r->sources[0].i = 64; // the stored position
  struct Step {
    int32_t value;
    bool sends;
  };
  const Step steps[] = {{30, false}, {64, false}, {70, true}, {71, true}, {60, true}, {60, false}};
  for (const Step& s : steps) {
    recorder.Events().clear();
    Send({{kControlChange, 0, 7, s.value}});
    EXPECT_EQ(recorder.Events().size(), s.sends ? 1u : 0u) << s.value;
    if (s.sends) {
      EXPECT_FLOAT_EQ(recorder.Events()[0].value, float(s.value) / 127.0f);
      EXPECT_EQ(ctl->GetControlStep(), s.value);
    }
  }
  EXPECT_EQ(r->sources[2].i, 60) << "the last received value is always kept";
  // Switched off while running: the next value goes through at once.
  ctl->SetSoftTakeover(false);
  EXPECT_FALSE(ctl->IsSoftTakeover());
  recorder.Events().clear();
  Send({{kControlChange, 0, 7, 20}});
  EXPECT_EQ(recorder.Events().size(), 1u);
}

TEST_F(MidiIn, ProgramChangeRecallsTheSnapshotWhenAsked) {
  KInstr* instr = TopInstr();
  KSModul* fader = Insert(Top(), kTypeFader);
  KSModul* prog = Insert(Top(), kTypeProgramChange);
  ensfix::TEventRecorder recorder;
  FeedScope(prog, Top());
  fader->SetControlStep(20);
  instr->StoreSnap(5, TStr());
  fader->SetControlStep(90);
  recorder.Events().clear(); // the restart of the scope's input

  Send({{kProgramChange, 0, 5, 0}});
  EXPECT_EQ(fader->GetControlStep(), 90) << "recall by program change is off";
  EXPECT_EQ(recorder.ValuesFor(0), std::vector<float>{5.0f / 127.0f}) << "the program source got it";

  instr->SetSnapRecallByMidi(true);
  Send({{kProgramChange, 0, 5, 0}});
  EXPECT_EQ(fader->GetControlStep(), 20);
  EXPECT_EQ(instr->GetCurrentSnap(), 5);
  EXPECT_EQ(recorder.ValuesFor(0).size(), 1u) << "the same program is not sent twice";
  ens.RunIdle();
  EXPECT_EQ(app.viewRefreshes, 1);
}

TEST_F(MidiIn, LearnAssignsTheMarkedControlAbsoluteOrIncremental) {
  struct Case {
    int32_t first, second;
    bool incremental;
  };
  const Case cases[] = {
      {100, 102, false}, {65, 65, true}, {63, 65, true}, {60, 70, false},
      {58, 60, true},    {50, 60, false}, {64, 64, false}, {70, 100, false},
  };
  for (const Case& c : cases) {
    KInstr* instr = NewInstrument(1);
    KSModul* other = Insert(instr->GetOwner(), kTypeFader);
    other->SetControllerNo(7);
    other->SetRemote(true);
    KSModul* fader = Insert(instr->GetOwner(), kTypeFader);
    fader->SetLearnMark(true);
    instr->SetControllerMode(true);
    Send({{kControlChange, 0, 99, 0}, {kControlChange, 0, 7, c.first}});
    EXPECT_FALSE(fader->IsRemote()) << "one message does not learn";
    Send({{kControlChange, 0, 7, c.second}});
    EXPECT_TRUE(fader->IsRemote()) << c.first << " " << c.second;
    EXPECT_EQ(fader->GetRemoteKind(), kRemoteByController);
    EXPECT_EQ(fader->GetControllerNo(), 7);
    EXPECT_EQ(fader->IsIncremental(), c.incremental) << c.first << " " << c.second;
    EXPECT_FALSE(other->IsRemote()) << "the controller leaves the control that had it";
    EXPECT_FALSE(instr->GetControllerMode());
    Top()->DeleteChild(instr->GetOwner());
    const int32_t before = app.viewRefreshes;
    ens.RunIdle();
    EXPECT_EQ(app.viewRefreshes, before + 1) << "the view shows the learnt control";
  }
}

TEST_F(MidiIn, LearnNeedsTheSameControllerTwiceOnTheSameChannel) {
  KInstr* instr = NewInstrument(1);
  KSModul* fader = Insert(instr->GetOwner(), kTypeFader);
  fader->SetLearnMark(true);
  instr->SetControllerMode(true);
  Send({{kControlChange, 0, 7, 10}, {kControlChange, 0, 8, 10}, {kControlChange, 1, 8, 10}});
  EXPECT_FALSE(fader->IsRemote());
  EXPECT_TRUE(instr->GetControllerMode());
}

TEST_F(MidiIn, AThreeWaySwitchUnderRemoteSplitsTheRangeInThirds) {
  KSModul* sw = Insert(Top(), kTypeEventSwitch3); // three event inputs
  ASSERT_EQ(sw->GetInPortCount(), 3);
  sw->SetControllerNo(1);
  sw->SetRemote(true);
  struct Case {
    int32_t value, position;
  };
  for (Case c : {Case{0, 0}, Case{42, 0}, Case{43, 1}, Case{85, 1}, Case{86, 2}, Case{127, 2}, Case{10, 0}}) {
    Send({{kControlChange, 0, 1, c.value}});
    EXPECT_EQ(sw->GetControlStep(), c.position) << c.value;
    for (int32_t i = 0; i < 3; ++i)
      EXPECT_EQ(!sw->GetInPort(i)->IsDeselected(), i == 2 - c.position) << c.value << " input " << i;
  }
}

TEST_F(MidiIn, ARemoteSwitchOnTheMidiThreadRebuildsOnTheGuiThread) {
  KSModul* sw = Insert(Top(), kTypeEventSwitch3);
  sw->SetControllerNo(1);
  sw->SetRemote(true);
  sw->SetRemoteToMidiOut(true);
  ASSERT_EQ(sw->GetControlStep(), 2) << "a new switch follows its first input";
  std::thread midiThread([this] { Midi().Receive(kControlChange, 0, 1, 50); });
  midiThread.join();
  EXPECT_EQ(sw->GetControlStep(), 1) << "the position is taken at once";
  EXPECT_TRUE(sw->GetInPort(1)->IsDeselected()) << "the inputs wait for the GUI thread";
  EXPECT_EQ(Sent(), std::vector<uint32_t>{0xB0u | (1u << 8) | (42u << 16)}) << "(128 / 3) x 1 to MIDI out";
  ens.RunIdle();
  EXPECT_FALSE(sw->GetInPort(1)->IsDeselected());
  EXPECT_TRUE(sw->GetInPort(0)->IsDeselected());
  // A posted change for a module deleted meanwhile does nothing.
  std::thread again([this] { Midi().Receive(kControlChange, 0, 1, 0); });
  again.join();
  Top()->DeleteChild(sw);
  ens.RunIdle();
}

TEST_F(MidiIn, RemoteButtonsFollowTheirStyle) {
  struct Case {
    int32_t style;
    std::vector<int32_t> values;
    std::vector<float> sent;
    int32_t step;
  };
  const Case cases[] = {
      {3, {127, 0, 100}, {1.0f, 1.0f}, 64}, // trigger: only "on" is sent
      {4, {127, 0}, {1.0f, 0.0f}, 0},       // gate
      {5, {127, 0, 127}, {1.0f, 0.0f}, 0},  // toggle: every press flips
  };
  for (const Case& c : cases) {
    KSModul* button = Insert(Top(), kTypeButton);
    button->SetCtrlStyle(c.style);
    button->SetControllerNo(20 + c.style); // the buttons of other cases keep listening
    button->SetRemote(true);
    ensfix::TEventRecorder recorder;
    FeedScope(button, Top());
    recorder.Events().clear(); // the restart of the scope's input
    for (int32_t v : c.values) Send({{kControlChange, 0, 20 + c.style, v}});
    EXPECT_EQ(recorder.ValuesFor(0), c.sent) << "style " << c.style;
    EXPECT_EQ(button->GetControlStep(), c.step) << "style " << c.style;
  }
}

TEST_F(MidiIn, AnIncrementalFaderMovesByTheRelativeCodes) {
  KSModul* fader = Insert(Top(), kTypeFader);
  fader->SetControllerNo(9);
  fader->SetIncremental(true);
  fader->SetRemote(true);
  fader->SetControlStep(64);
  struct Case {
    int32_t code, step;
  };
  for (Case c : {Case{0x41, 65}, Case{0x43, 70}, Case{0x3D, 65}, Case{0x3F, 64}, Case{0x7F, 127}, Case{0x00, 0}}) {
    Send({{kControlChange, 0, 9, c.code}});
    EXPECT_EQ(fader->GetControlStep(), c.step) << c.code;
  }
}

TEST_F(MidiIn, SendersPackStatusChannelAndMaskedData) {
  struct Case {
    std::function<void(TMidiInOut&)> send;
    uint32_t packed;
  };
  const Case cases[] = {
      {[](TMidiInOut& m) { m.SendNoteOff(0, 0, 60, 64); }, 0x80u | (60u << 8) | (64u << 16)},
      {[](TMidiInOut& m) { m.SendNoteOn(0, 17, 200, 300); }, 0x91u | (72u << 8) | (44u << 16)},
      {[](TMidiInOut& m) { m.SendPolyPressure(0, 3, 1, 2); }, 0xA3u | (1u << 8) | (2u << 16)},
      {[](TMidiInOut& m) { m.SendControlChange(0, 15, 7, 127); }, 0xBFu | (7u << 8) | (127u << 16)},
      {[](TMidiInOut& m) { m.SendProgramChange(0, 2, 9); }, 0xC2u | (9u << 8)},
      {[](TMidiInOut& m) { m.SendChannelPressure(0, 4, 100); }, 0xD4u | (100u << 8)},
      {[](TMidiInOut& m) { m.SendPitchBend(0, 5, 0, 64); }, 0xE5u | (64u << 16)},
  };
  for (const Case& c : cases) {
    Midi().sent.clear();
    c.send(Midi());
    ASSERT_EQ(Midi().sent.size(), 1u);
    EXPECT_EQ(Midi().sent[0].second, c.packed) << std::hex << c.packed;
  }
}

TEST_F(MidiIn, ActivityFlagsAreTakenOnce) {
  KInstr* instr = NewInstrument(1);
  Send({{kNoteOn, 0, 60, 100}});
  EXPECT_EQ(Midi().TakeInActivity(), 1);
  EXPECT_EQ(Midi().TakeInActivity(), 0);
  EXPECT_EQ(Midi().TakeInstrumentActivity(), 0) << "not the current instrument";
  app.current = instr;
  Send({{kNoteOn, 0, 61, 100}});
  EXPECT_EQ(Midi().TakeInstrumentActivity(), 1);
  EXPECT_EQ(Midi().TakeInstrumentActivity(), 0);
  Midi().TakeInActivity();
  Send({{kSystem, kClock, 0, 0}});
  EXPECT_EQ(Midi().TakeInActivity(), 0) << "system messages set no flag";
  Send({{kNoteOn, 9, 60, 100}});
  EXPECT_EQ(Midi().TakeInActivity(), 1) << "a channel without listeners still counts";
}

TEST_F(MidiIn, InjectedNotesPlayOnTheCurrentInstrument) {
  KInstr* instr = NewInstrument(4);
  Midi().InjectNote(60, 80);
  EXPECT_TRUE(Playing(instr).empty()) << "no current instrument";
  app.current = instr;
  Midi().InjectNote(60, 80);
  EXPECT_EQ(Playing(instr), std::vector<int32_t>{60});
  Midi().InjectNote(60, 0);
  EXPECT_TRUE(Playing(instr).empty());
  Top()->DeleteChild(instr->GetOwner());
  EXPECT_EQ(app.current, nullptr) << "a destroyed instrument is forgotten";
  Midi().InjectNote(60, 80);
}

TEST_F(MidiIn, TheExternalClockFollowsOnlyWhileSynced) {
  TOfflineAudio& audio = Driver();
  struct Reset {
    ~Reset() { SetExternalSync(false); }
  } reset;
  SetExternalSync(false);
  Send({{kSystem, kStart, 0, 0}});
  EXPECT_FALSE(audio.IsClockRunning());
  SetExternalSync(true);
  Send({{kSystem, 9, 0, 0}});
  EXPECT_FALSE(audio.IsClockRunning()) << "other system messages are ignored";
  Send({{kSystem, kContinue, 0, 0}});
  EXPECT_TRUE(audio.IsClockRunning()) << "continue starts it";
  ens.RunIdle();
  Send({{kSystem, kClock, 0, 0}});
  SetExternalSync(false);
  Send({{kSystem, kStop, 0, 0}});
  EXPECT_TRUE(audio.IsClockRunning()) << "stop is ignored without sync";
  SetExternalSync(true);
  Send({{kSystem, kStop, 0, 0}});
  EXPECT_FALSE(audio.IsClockRunning());
  ens.RunIdle();
  EXPECT_EQ(app.clock, (std::vector<bool>{true, false}));
  EXPECT_EQ(app.viewRefreshes, 2);
  // A start and a stop before the GUI's next idle step: it shows the clock
  // as it is by then, once.
  Send({{kSystem, kStart, 0, 0}, {kSystem, kStop, 0, 0}});
  ens.RunIdle();
  EXPECT_EQ(app.clock, (std::vector<bool>{true, false, false}));
  EXPECT_EQ(app.viewRefreshes, 3);
}

TEST_F(MidiIn, TheThirtySecondReceiverOfAChannelIsIgnored) {
  TMidiInOut& midi = Midi();
  int32_t before = midi.GetReceiverCount(6);
  std::vector<KInstr*> made;
  for (int32_t i = 0; i < 32; ++i) made.push_back(NewInstrument(7));
  EXPECT_EQ(midi.GetReceiverCount(6), TMidiInOut::kMaxReceivers);
  EXPECT_EQ(before, 0);
  midi.RemoveReceiver(nullptr, 6);
  midi.RemoveReceiver(made[0], 6);
  EXPECT_EQ(midi.GetReceiverCount(6), TMidiInOut::kMaxReceivers - 1);
  EXPECT_EQ(midi.GetReceiver(6, 0), made[1]);
}
