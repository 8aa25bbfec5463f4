// Value changes from other threads (MIDI input, the control rate) reach a
// panel control as one redraw per GUI pass. Built for the thread sanitizer
// too: what the threads share is atomic.
#include "tests/volteon/panelfixture.h"

#include "src/engine/engine.h"
#include "src/engine/voice_state.h"
#include "src/mod/instr.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

namespace {

using paneltest::Session;

constexpr int kChanges = 1000;

TEST(PanelThreads, ThousandStepChangesFromAWorkerMakeOneRedrawPerGuiPass) {
  Session s;
  KSModul* synth = s.AddInstrument();
  KSModul* fader = s.Add(synth, kTypeFader, TPnt(8, 8));
  s.WireToOutput(synth, fader);
  ASSERT_NE(fader->GetEngineRecord(), nullptr) << "the fader runs in the engine";
  TPanelWnd* panel = s.OpenPanel(synth);
  ASSERT_NE(panel, nullptr);
  TCtrlView* view = s.ViewOf(fader);
  ASSERT_NE(view, nullptr);
  s.Settle();

  // The worker changes the step a thousand times while nothing runs on the
  // GUI thread: one redraw is on its way, and one GUI pass draws it.
  int32_t before = view->GetRedrawCount();
  std::thread worker([&] {
    for (int i = 0; i < kChanges; ++i) fader->SetControlStep(i % 128);
  });
  worker.join();
  EXPECT_EQ(fader->GetCtrlState(), 1) << "a redraw is pending";
  s.Ens().RunIdle();
  s.Settle();
  EXPECT_EQ(view->GetRedrawCount(), before + 1);
  EXPECT_EQ(fader->GetCtrlState(), 0) << "the flag clears when the redraw is handled";
  EXPECT_EQ(fader->GetControlStep(), (kChanges - 1) % 128);

  // GUI passes running beside the worker draw at most once each.
  before = view->GetRedrawCount();
  std::atomic<bool> done{false};
  std::thread busy([&] {
    for (int i = 0; i < kChanges; ++i) fader->SetControlStep(i % 100);
    done = true;
  });
  int passes = 0;
  while (!done.load()) {
    s.Ens().RunIdle();
    s.Settle();
    ++passes;
  }
  busy.join();
  s.Ens().RunIdle();
  s.Settle();
  ++passes;
  EXPECT_GE(view->GetRedrawCount(), before + 1);
  EXPECT_LE(view->GetRedrawCount(), before + passes);

  // The view's own request from another thread: one posted redraw.
  before = view->GetRedrawCount();
  std::thread direct([&] {
    for (int i = 0; i < kChanges; ++i) view->RequestValueUpdate();
  });
  direct.join();
  EXPECT_TRUE(view->IsRedrawPending());
  s.Settle();
  EXPECT_EQ(view->GetRedrawCount(), before + 1);
  EXPECT_FALSE(view->IsRedrawPending());
}

// An oscillator rendered on its own thread drives a meter, a lamp, a level
// meter and a level lamp while the GUI thread runs the panels' display tick
// and paints the panel again and again. The panel reads only words the
// displays own; the thread sanitizer build checks that nothing is shared
// without an atomic.
class PanelDisplayThreads : public ::testing::Test {
protected:
  static constexpr float kAmplitude = 0.5f;  // -6.02 dB
  static constexpr float kIncrement = 2.56f; // a sine period of 100 frames
  static constexpr int32_t kBlock = 256;
  static constexpr int kGuiPasses = 40;

  void SetUp() override {
    synth = s.AddInstrument();
    synth->GetOwnInstr()->SetVoiceCount(1);
    amplitude = s.Add(synth, kTypeFader, TPnt(8, 8));
    meter = s.Add(synth, kTypeMeter, TPnt(60, 8));
    lamp = s.Add(synth, kTypeLamp, TPnt(90, 8));
    level = s.Add(synth, kTypeLevelMeter, TPnt(120, 8));
    levelLamp = s.Add(synth, kTypeLevelLamp, TPnt(150, 8));
    ASSERT_TRUE(amplitude && meter && lamp && level && levelLamp);
    sine = synth->InsertModule(kTypeSine, kPlaceNext);
    ASSERT_NE(sine, nullptr);
    amplitude->SetControlRange(0.0f, 0, kAmplitude, 127, kAmplitude / 127.0f);
    amplitude->SetControlStep(127);
    meter->SetControlRange(-1.0f, 0, 1.0f, 127, 1.0f / 127.0f);
    lamp->SetControlRange(0.0f, 0, 0.6f, 127, 0.0f);       // lit for 0 < v <= 0.6
    level->SetControlRange(-60.0f, 0, 0.0f, 127, 1.0f);     // decibels
    levelLamp->SetControlRange(-12.0f, 0, 0.0f, 127, 1.0f); // lit from -12 to 0 dB
    s.WireToOutput(synth, sine);
    {
      TStructureChange bracket(synth);
      constexpr int32_t kSineAmplitude = 1; // in-port "A"
      ASSERT_EQ(sine->GetInPort(kSineAmplitude)->Connect(amplitude->GetOutPort(0)), 0);
      for (KSModul* d : {meter, lamp, level, levelLamp}) ASSERT_EQ(d->GetInPort(0)->Connect(sine->GetOutPort(0)), 0);
    }
    panel = s.OpenPanel(synth);
    ASSERT_NE(panel, nullptr);
    s.Settle();
    for (KSModul* m : {sine, meter, lamp, level, levelLamp}) ASSERT_NE(m->GetEngineRecord(), nullptr);
    // The oscillator's ready increment (its pitch event would store one).
    sine->GetEngineRecord()->state[0][QV_WORD_AT(OscState, pitch)].f = kIncrement;
  }

  // The value the oscillator wrote last; read only while no block runs.
  float SineOutput() { return *sine->GetOutPort(0)->ValueFor(0); }

  Session s;
  KSModul *synth = nullptr, *amplitude = nullptr, *sine = nullptr;
  KSModul *meter = nullptr, *lamp = nullptr, *level = nullptr, *levelLamp = nullptr;
  TPanelWnd* panel = nullptr;
};

TEST_F(PanelDisplayThreads, AnOscillatorOnTheAudioThreadDrivesMetersAndLampsOnThePanel) {
  auto* mv = s.View<TMeterView>(meter);
  auto* lv = s.View<TLampView>(lamp);
  auto* dv = s.View<TMeterView>(level);
  auto* dl = s.View<TLampView>(levelLamp);
  ASSERT_TRUE(mv && lv && dv && dl);
  TOfflineAudio* driver = s.Driver();
  ASSERT_NE(driver, nullptr);

  std::atomic<bool> stop{false};
  std::atomic<int> blocks{0};
  std::thread audio([&] {
    std::vector<float> out(size_t(kBlock) * 2);
    while (!stop.load()) {
      driver->Render(nullptr, out.data(), kBlock);
      blocks.fetch_add(1);
    }
  });
  const int32_t redrawsBefore = dv->GetRedrawCount();
  for (int pass = 0; pass < kGuiPasses; ++pass) {
    s.ticker.Tick();  // the display routines and the views' value requests
    s.Settle();       // the posted value redraws
    skytest::Screen(panel->GetDWnd()); // a full paint of every view
  }
  stop = true;
  audio.join();
  EXPECT_GT(blocks.load(), 0);
  EXPECT_GT(dv->GetRedrawCount(), redrawsBefore) << "the level meter redraws while the sound runs";

  // Two whole periods more from phase 0 (so the crest falls on a frame):
  // what the displays show is what the signal implies.
  sine->GetEngineRecord()->state[0][QV_WORD_AT(OscState, phase)].f = 0.0f;
  s.Render(2 * 100 + 37);
  const float last = SineOutput();
  TEngineRecord* lr = level->GetEngineRecord();
  // The table's sine is good to about 1e-4, so a crest caught earlier at
  // another phase may lie a hair above the exact one.
  EXPECT_NEAR(lr->state[0][QV_WORD_AT(MeterState, value)].f, kAmplitude * kAmplitude, 2e-4f)
      << "the held peak power of the sine";
  s.ticker.Tick();
  s.Settle();
  EXPECT_FLOAT_EQ(meter->GetEngineRecord()->state[0][QV_WORD_AT(MeterState, value)].f, last)
      << "the meter shows the block's last value";
  EXPECT_EQ(mv->GetCount(), mv->CountOf(last));
  EXPECT_EQ(lv->IsLit(), last > 0.0f && last <= 0.6f);
  // -6.02 dB on a -60 ... 0 dB meter: thresholds lie 60/17 dB apart, the
  // 16th (-7.06 dB) is below the level and the 17th (-3.53 dB) above.
  EXPECT_NEAR(20.0f * std::log10(std::sqrt(kAmplitude * kAmplitude)), -6.02f, 0.01f);
  EXPECT_EQ(dv->GetCount(), 16);
  EXPECT_TRUE(dl->IsLit()) << "-6 dB lies between -12 and 0 dB";

  // A range above the level turns the level lamp off at the next tick.
  levelLamp->SetControlRange(-3.0f, 0, 0.0f, 127, 1.0f);
  s.Render(100);
  s.ticker.Tick();
  s.Settle();
  EXPECT_FALSE(dl->IsLit()) << "-6 dB is below -3 dB";
}

} // namespace
