// What the MIDI thread does holding the engine's lock allocates nothing:
// notes, remote controls and switches, learn, program change with snapshot
// recall and the external clock leave their GUI work as marks that the
// ensemble's idle step picks up. Its own binary: it replaces the global
// allocation functions to count what a thread allocates.
#include "tests/mod/ensemble_fixture.h"

#include "src/engine/audioio.h"
#include "tests/common/testkit.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <thread>

namespace {
thread_local bool countAllocations = false;
std::atomic<int64_t> allocations{0};
} // namespace

// The replacements pair malloc with free themselves.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
  if (countAllocations) allocations.fetch_add(1);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

using ensfix::TEnsembleFixture;

namespace {

class MidiAllocations : public ::testing::Test, public TEnsembleFixture {
protected:
  testkit::ScriptedHost boxes;
};

TEST_F(MidiAllocations, TheMidiThreadAllocatesNothingAndTheGuiGetsItsWork) {
  struct Reset {
    ~Reset() { SetExternalSync(false); }
  } reset;
  KInstr* instr = TopInstr();
  KSModul* out = AddAudioOut();
  (void)out;
  KSModul* fader = Insert(Top(), kTypeFader);
  fader->SetControllerNo(7);
  fader->SetRemote(true);
  KSModul* sw = Insert(Top(), kTypeEventSwitch3);
  sw->SetControllerNo(1);
  sw->SetRemote(true);
  KSModul* learner = Insert(Top(), kTypeFader);
  instr->StoreSnap(5, TStr());
  instr->SetSnapRecallByMidi(true);
  SetExternalSync(true);

  // One MIDI thread's worth of messages: notes, a remote fader, a remote
  // switch (after the program change: the snapshot holds its old place),
  // learn (the same controller twice), a program change that recalls a
  // snapshot, the external clock started, ticked and stopped.
  auto play = [&](bool count, int32_t switchValue) {
    learner->SetLearnMark(true);
    instr->SetControllerMode(true);
    int64_t before = 0;
    std::thread midiThread([&] {
      countAllocations = count;
      before = allocations.load();
      TMidiInOut& midi = Midi();
      midi.Receive(midi::kNoteOn, 0, 60, 100);
      midi.Receive(midi::kControlChange, 0, 7, 99);
      midi.Receive(midi::kControlChange, 0, 9, 10);
      midi.Receive(midi::kControlChange, 0, 9, 12);
      midi.Receive(midi::kProgramChange, 0, 5, 0);
      midi.Receive(midi::kControlChange, 0, 1, switchValue);
      midi.Receive(midi::kSystem, midi::kStart, 0, 0);
      midi.Receive(midi::kSystem, midi::kClock, 0, 0);
      midi.Receive(midi::kSystem, midi::kStop, 0, 0);
      midi.Receive(midi::kNoteOff, 0, 60, 0);
      countAllocations = false;
    });
    midiThread.join();
    return allocations.load() - before;
  };
  play(false, 100); // first uses of anything lazily made
  ens.RunIdle();
  ASSERT_EQ(sw->GetControlStep(), 2);
  app.viewRefreshes = 0;
  app.clock.clear();
  EXPECT_EQ(play(true, 50), 0) << "allocations on the MIDI thread";
  EXPECT_TRUE(learner->IsRemote());
  EXPECT_EQ(sw->GetControlStep(), 1);
  EXPECT_TRUE(sw->GetInPort(1)->IsDeselected()) << "the inputs wait for the GUI thread";
  ens.RunIdle();
  EXPECT_FALSE(sw->GetInPort(1)->IsDeselected());
  EXPECT_GE(app.viewRefreshes, 1);
  EXPECT_EQ(app.clock, (std::vector<bool>{false})) << "the clock as it is by the idle step";
}

} // namespace
