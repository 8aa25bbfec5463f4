// Value changes from other threads (MIDI input, the control rate) reach a
// panel control as one redraw per GUI pass. Built for the thread sanitizer
// too: what the threads share is atomic.
#include "tests/volteon/panelfixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

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

} // namespace
