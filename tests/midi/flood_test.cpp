// Threads: notes flood in on a MIDI thread while an audio thread runs blocks
// and the GUI thread changes voices and rebuilds processing.
#include "tests/mod/ensemble_fixture.h"

#include "tests/common/testkit.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

using ensfix::TEnsembleFixture;

TEST(MidiFlood, NotesFromTheMidiThreadNeverRaceTheBlocksOrTheRebuilds) {
  testkit::ScriptedHost boxes;
  TEnsembleFixture f;
  f.ens.SetRateFactor(1.0f);
  KSModul* top = f.Top();
  KSModul* out = f.AddAudioOut();
  KSModul* pitch = f.Insert(top, kTypeNotePitch);
  KSModul* gate = f.Insert(top, kTypeGate);
  KSModul* sine = f.Insert(top, kTypeSine);
  KSModul* env = f.Insert(top, kTypeAttackReleaseEnv);
  f.Wire(pitch, 0, sine, 0);
  f.Wire(gate, 0, env, 0);
  f.Wire(env, 0, sine, 1);
  f.Wire(sine, 0, out, 2);
  KSModul* sw = f.Insert(top, kTypeEventSwitch3);
  sw->SetControllerNo(1);
  sw->SetRemote(true);
  KInstr* instr = f.TopInstr();
  TMidiInOut& midi = f.Midi();

  std::atomic<bool> stop{false};
  std::atomic<int64_t> messages{0}, blocks{0};
  std::thread midiThread([&] {
    uint32_t seed = 12345;
    while (!stop.load()) {
      seed = seed * 1664525u + 1013904223u;
      int32_t note = int32_t(seed >> 25);
      midi.Receive(midi::kNoteOn, 0, note, 1 + int32_t((seed >> 8) & 126));
      midi.Receive(midi::kControlChange, 0, 1, int32_t((seed >> 16) & 127)); // moves the switch: posts a rebuild
      midi.Receive(midi::kControlChange, 0, midi::kSustainPedal, (seed & 1) ? 127 : 0);
      midi.Receive(midi::kNoteOff, 0, note, 0);
      messages.fetch_add(4);
    }
  });
  std::thread audioThread([&] {
    std::vector<float> buffer(2 * 64);
    while (!stop.load()) {
      f.Driver().Render(nullptr, buffer.data(), 64);
      for (float v : buffer) ASSERT_TRUE(std::isfinite(v));
      blocks.fetch_add(1);
    }
  });
  for (int i = 0; i < 100; ++i) {
    instr->SetVoices(1 + i % 5, -1, -1);
    { TStructureChange rebuild(top); }
    // Settings the MIDI thread reads, changed meanwhile.
    instr->SetNoteShift(i % 3 - 1);
    instr->SetTune(float(i % 5), false);
    instr->SetVoices(-1, 1 + i % 2, -1);
    sw->SetControllerNo(1 + i % 2);
    sw->SetRemoteKind(kRemoteByController);
    sw->SetLabelShown(i % 2 == 0);
    f.ens.RunIdle();
  }
  // Let both threads make progress at least once before stopping.
  while (messages.load() == 0 || blocks.load() == 0) std::this_thread::yield();
  stop.store(true);
  midiThread.join();
  audioThread.join();
  f.ens.RunIdle();
  instr->SustainOff();
  for (int32_t n = 0; n < 128; ++n) instr->NoteOff(n, 0);
  EXPECT_EQ(instr->GetPlayingVoiceCount(), 0);
  EXPECT_GT(messages.load(), 0);
  EXPECT_GT(blocks.load(), 0);
}
