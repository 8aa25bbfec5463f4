// Control values: value tables from ranges, steps, values, switches and
// buttons set from the panel, MIDI-out notification, snapshot isolation.
#include "tests/mod/ensemble_fixture.h"

#include "tests/common/testkit.h"

#include <gtest/gtest.h>

#include <cmath>

using ensfix::TEnsembleFixture;

namespace {

class Control : public ::testing::Test, public TEnsembleFixture, public KModelHost {
protected:
  // A module outside any ensemble: its values stay in the module.
  std::unique_ptr<KSModul> Loose(TModuleType type) {
    auto m = std::make_unique<KSModul>(nullptr, nullptr);
    m->SetCategory(type.category);
    m->SetTypeIndex(type.type);
    m->InitControlTables();
    return m;
  }
  // KModelHost is unused: the tests count view updates through the ensemble.
  IAudioInOut* GetAudio() const override { return nullptr; }
  KSModul* GetTopModule() const override { return nullptr; }
  KSModul* GetAudioInModule() const override { return nullptr; }
  KSModul* GetAudioOutModule() const override { return nullptr; }
  int32_t TakeSerialNo() override { return 0; }
  void PostToGui(std::function<void()>) override { ADD_FAILURE() << "work was handed to a GUI thread this host has not"; }

  testkit::ScriptedHost boxes;
};

} // namespace

TEST_F(Control, RangesFillTheValueTable) {
  struct Case {
    const char* name;
    float lo;
    int32_t lower;
    float hi;
    int32_t upper;
    float step;
    int32_t wantLower, wantUpper;
    std::vector<std::pair<int32_t, float>> values;
  };
  const Case cases[] = {
      {"limits are held", 0, -5, 1, 200, 0, 0, 127, {{0, 0.0f}, {127, 1.0f}, {64, 64.0f / 127.0f}}},
      {"equal limits move apart", 0, 64, 1, 64, 0, 64, 65, {{64, 0.0f}, {65, 1.0f}, {10, 0.0f}}},
      {"lower at the top", 0, 130, 1, 0, 0, 126, 127, {{126, 0.0f}, {127, 1.0f}}},
      {"whole steps", 0, 0, 10, 127, 1, 0, 127, {{127, 10.0f}, {64, 5.0f}, {13, 1.0f}}},
      {"coarse steps stop below the maximum", 0, 0, 1, 127, 0.3f, 0, 127, {{127, 0.9f}, {70, 0.6f}}},
      {"fine steps end on the maximum", 0, 0, 1, 127, 0.003f, 0, 127, {{127, 1.0f}, {126, 0.993f}}},
      {"above the upper limit stays", 0, 10, 1, 20, 0.5f, 10, 20, {{20, 1.0f}, {100, 1.0f}, {15, 0.5f}}},
      {"tiny steps are none", 0, 0, 1, 127, 1e-13f, 0, 127, {{1, 1.0f / 127.0f}}},
  };
  for (const Case& c : cases) {
    auto fader = Loose(kTypeFader);
    fader->SetControlRange(c.lo, c.lower, c.hi, c.upper, c.step);
    EXPECT_EQ(fader->GetMidiLower(), c.wantLower) << c.name;
    EXPECT_EQ(fader->GetMidiUpper(), c.wantUpper) << c.name;
    for (auto [step, value] : c.values) EXPECT_NEAR(fader->GetTableValue(step), value, 1e-5f) << c.name << " " << step;
  }
}

TEST_F(Control, OnlyFadersAndControllersKeepAStepSize) {
  auto fader = Loose(kTypeFader);
  fader->SetControlRange(0, 0, 10, 127, 1);
  EXPECT_EQ(fader->GetStepSize(), 1.0);
  auto vel = Loose(kTypeNoteOnVelocity);
  vel->SetControlRange(0, 0, 10, 127, 1);
  EXPECT_EQ(vel->GetStepSize(), 0.0);
  EXPECT_NEAR(vel->GetTableValue(1), 10.0f / 127.0f, 1e-6f) << "no rounding without a step size";
}

TEST_F(Control, PitchBendAndNotePitchTables) {
  auto bend = Loose(kTypePitchBend);
  EXPECT_FLOAT_EQ(bend->GetTableValue(0), -2.0f);
  EXPECT_FLOAT_EQ(bend->GetTableValue(64), 0.0f);
  EXPECT_FLOAT_EQ(bend->GetTableValue(127), 2.0f);
  auto pitch = Loose(kTypeNotePitch);
  for (int32_t k : {0, 60, 127}) EXPECT_FLOAT_EQ(pitch->GetTableValue(k), float(k));
}

TEST_F(Control, ValuesSelectSteps) {
  auto fader = Loose(kTypeFader);
  fader->SetControlRange(0, 10, 1, 100, 0);
  struct Case {
    float value;
    int32_t step;
  };
  for (Case c : {Case{-1.0f, 10}, Case{0.0f, 10}, Case{2.0f, 100}, Case{0.5f, 55}, Case{fader->GetTableValue(40), 40}}) {
    fader->SetControlValue(c.value);
    EXPECT_EQ(fader->GetControlStep(), c.step) << c.value;
  }
  auto button = Loose(kTypeButton);
  button->SetControlValue(0.0f);
  EXPECT_EQ(button->GetControlStep(), 63);
  button->SetControlValue(0.7f);
  EXPECT_EQ(button->GetControlStep(), 64);
  EXPECT_FLOAT_EQ(button->GetControlValue(), 1.0f);
}

TEST_F(Control, SteppingStaysInRangeAndSkipsEqualValues) {
  auto fader = Loose(kTypeFader);
  fader->SetControlRange(0, 0, 2, 127, 1); // three distinct values
  fader->SetControlStep(0);
  int32_t up = fader->StepControl(1);
  EXPECT_FLOAT_EQ(fader->GetTableValue(up), 1.0f) << "one step up is the next value";
  EXPECT_EQ(fader->StepControl(500), 127);
  fader->SetControlStep(127);
  EXPECT_FLOAT_EQ(fader->GetTableValue(fader->StepControl(-1)), 1.0f);
  EXPECT_EQ(fader->StepControl(-500), 0);

  auto button = Loose(kTypeButton);
  button->SetControlStep(10);
  EXPECT_EQ(button->StepControl(1), 64);
  button->SetControlStep(64);
  EXPECT_EQ(button->StepControl(-1), 0);
  EXPECT_EQ(button->StepControl(1), 64);
}

TEST_F(Control, AOneInputSwitchTogglesWhenStepped) {
  KSModul* sw = Insert(Top(), kTypeAudioSwitch1);
  ASSERT_EQ(sw->GetInPortCount(), 1);
  sw->SetControlStep(1);
  EXPECT_EQ(sw->StepControl(1), 0);
  sw->SetControlStep(0);
  EXPECT_EQ(sw->StepControl(-1), 1);
  KSModul* three = Insert(Top(), kTypeAudioSwitch3);
  three->SetControlStep(0);
  EXPECT_EQ(three->StepControl(-1), 0);
  EXPECT_EQ(three->StepControl(200), 127) << "a switch's step is held to 0 ... 127 here, to its inputs when set";
  three->SetControlStep(9);
  EXPECT_EQ(three->GetControlStep(), 2);
}

TEST_F(Control, ASwitchSelectsOneInputAndTellsMidiOut) {
  KSModul* sw = Insert(Top(), kTypeAudioSwitch3);
  sw->SetPanelToMidiOut(true);
  sw->SetControllerNo(5);
  TopInstr()->SetMidiChannel(2);
  Midi().sent.clear();
  sw->SetControlStep(1);
  EXPECT_EQ(sw->GetControlStep(), 1);
  for (int32_t i = 0; i < 3; ++i) EXPECT_EQ(!sw->GetInPort(i)->IsDeselected(), i == 1) << i;
  EXPECT_EQ(Sent(), std::vector<uint32_t>{0xB1u | (5u << 8) | (42u << 16)});
  Midi().sent.clear();
  sw->SetControlStep(1);
  EXPECT_TRUE(Sent().empty()) << "the present step changes nothing";
}

TEST_F(Control, TheTwoByTwoSwitchFollowsPairs) {
  KSModul* sw = Insert(Top(), kTypeSwitch2x2);
  sw->SetControlStep(0);
  for (int32_t i = 0; i < 4; ++i) EXPECT_EQ(!sw->GetInPort(i)->IsDeselected(), i == 1 || i == 3) << i;
  sw->SetControlStep(1);
  for (int32_t i = 0; i < 4; ++i) EXPECT_EQ(!sw->GetInPort(i)->IsDeselected(), i == 0 || i == 2) << i;
}

TEST_F(Control, ButtonsOnThePanelFollowTheirStyleAndNotifyByRemoteKind) {
  struct Case {
    int32_t style, kind;
    std::vector<int32_t> steps;
    std::vector<uint32_t> sent;
  };
  const uint32_t note = 0x90u | (9u << 8);
  const Case cases[] = {
      {3, kRemoteByNote, {100, 0}, {note | (64u << 16)}},       // trigger: only "on" notifies
      {4, kRemoteByNote, {100, 0}, {note | (64u << 16), note}}, // gate: on and off
      {5, kRemoteByController, {100, 0, 100}, {0xB0u | (9u << 8) | (64u << 16), 0xB0u | (9u << 8)}}, // toggle
      {4, 3, {100}, {}},                                       // remote kind 3 sends nothing
  };
  for (const Case& c : cases) {
    KSModul* button = Insert(Top(), kTypeButton);
    button->SetCtrlStyle(c.style);
    button->SetControllerNo(9);
    button->SetRemoteKind(c.kind);
    button->SetPanelToMidiOut(true);
    Midi().sent.clear();
    for (int32_t s : c.steps) button->SetControlStep(s);
    EXPECT_EQ(Sent(), c.sent) << "style " << c.style;
  }
}

TEST_F(Control, AFaderSendsItsValueOnlyWhenItChanges) {
  KSModul* fader = Insert(Top(), kTypeFader);
  fader->SetControlRange(0, 0, 1, 127, 0.5f);
  ensfix::TEventRecorder recorder;
  FeedScope(fader, Top());
  recorder.Events().clear();
  fader->SetControlStep(100); // 0.5 -> 1.0
  fader->SetControlStep(110); // still 1.0
  EXPECT_EQ(recorder.ValuesFor(0), std::vector<float>{1.0f});
  EXPECT_EQ(fader->GetControlStep(), 110);
  recorder.Events().clear();
  fader->RefreshControlOutput();
  EXPECT_EQ(recorder.ValuesFor(0), std::vector<float>{1.0f}) << "a refresh sends the present value again";
}

TEST_F(Control, SnapIsolationTakesAControlOutOfTheSnapshotList) {
  KSModul* fader = Insert(Top(), kTypeFader);
  KInstr* instr = TopInstr();
  ASSERT_EQ(instr->GetSourceCount(KInstr::kSnapList), 1);
  fader->SetSnapIsolate(true);
  EXPECT_EQ(instr->GetSourceCount(KInstr::kSnapList), 0);
  fader->SetSnapIsolate(true);
  EXPECT_EQ(instr->GetSourceCount(KInstr::kSnapList), 0);
  fader->SetSnapIsolate(false);
  EXPECT_EQ(instr->GetSourceCount(KInstr::kSnapList), 1);
  KSModul* gate = Insert(Top(), kTypeGate);
  gate->SetSnapIsolate(true);
  EXPECT_FALSE(gate->IsSnapIsolate()) << "only snapshot controls take the flag";
}

TEST_F(Control, RemoteSettingsMoveTheControlBetweenLists) {
  KSModul* fader = Insert(Top(), kTypeFader);
  KInstr* instr = TopInstr();
  struct Case {
    bool remote;
    int32_t kind;
    int32_t controllers, pressure, noteOn, noteOff;
  };
  for (Case c : {Case{true, kRemoteByController, 1, 0, 0, 0}, Case{true, kRemoteByPolyPressure, 0, 1, 0, 0},
                 Case{true, kRemoteByNote, 0, 0, 1, 1}, Case{false, kRemoteByNote, 0, 0, 0, 0}}) {
    fader->SetRemoteKind(c.kind);
    fader->SetRemote(c.remote);
    EXPECT_EQ(instr->GetSourceCount(KInstr::kControllerList), c.controllers) << c.kind;
    EXPECT_EQ(instr->GetSourceCount(KInstr::kPolyPressureList), c.pressure) << c.kind;
    EXPECT_EQ(instr->GetSourceCount(KInstr::kNoteOnList), c.noteOn) << c.kind;
    EXPECT_EQ(instr->GetSourceCount(KInstr::kNoteOffList), c.noteOff) << c.kind;
    EXPECT_EQ(instr->GetSourceCount(KInstr::kSnapList), 1) << "still in the snapshot list";
  }
  KSModul* gate = Insert(Top(), kTypeGate);
  gate->SetRemote(true);
  EXPECT_FALSE(gate->IsRemote()) << "only panel controls go under remote";
}
