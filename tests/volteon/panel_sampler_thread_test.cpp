// The sampler dialog edits the sample map while the engine renders on
// another thread: the commands that change the map's contents and the
// immediate per-sample edits both reach what the audio thread reads only
// under the engine lock. Built for the thread sanitizer too.
#include "src/volteon/propdlg.h"
#include "src/volteon/sampdlg.h"

#include "src/audio/samplemap.h"
#include "src/base/settings.h"
#include "src/engine/audioio.h"
#include "src/mod/ensfile.h"
#include "src/mod/undo.h"
#include "tests/common/testkit.h"
#include "tests/engine/sound_rig.h"
#include "tests/mod/ensemble_fixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

using ensfix::TEnsembleFixture;

constexpr int kRounds = 12;
constexpr int32_t kBlockFrames = 64;

class SamplerThreads : public ::testing::Test, public TEnsembleFixture {
protected:
  SamplerThreads() : files(ens) {
    OpenSettings(TStr("Quorvex 2.0"));
    files.GetUndo().SetFolder(TStr(tmp.c_str()));
    files.GetUndo().SetUndoEnabled(1);
    files.GetUndo().SetUndoMax(20);
    RegisterModPrpTemplates();
    // Slow blocks of the instrumented build never count as late.
    SetEngineCounter([]() -> uint64_t { return 0; }, 1000000000);
  }
  ~SamplerThreads() override { SetEngineCounter(nullptr, 0); }

  std::string Wav(const std::string& name, float value, size_t frames) {
    return soundrig::WriteWav(tmp + "/" + name, 44100, {std::vector<float>(frames, value)});
  }

  std::string tmp = testkit::TempDir("samplerthreads");
  testkit::ScriptedHost gui;
  KEnsembleFiles files;
};

TEST_F(SamplerThreads, MapEditsFromTheDialogWhileTheEngineRenders) {
  AddAudioOut();
  KSModul* sampler = Insert(Top(), kTypeResynth);
  KSModul* pitch = Insert(Top(), kTypeNotePitch);
  KSModul* gate = Insert(Top(), kTypeGate);
  {
    TStructureChange bracket(Top());
    ASSERT_EQ(Wire(gate, 0, sampler, 0), 0);
    ASSERT_EQ(Wire(pitch, 0, sampler, 1), 0);
    ASSERT_EQ(Wire(sampler, 0, ens.GetAudioOutModule(), 2), 0);
  }
  ASSERT_NE(sampler->GetEngineRecord(), nullptr) << "the sampler runs in the engine";
  const std::string a = Wav("a.wav", 0.25f, 3000), b = Wav("b.wav", -0.5f, 2000);

  const int32_t steps = files.GetUndo().GetStepCount();
  std::unique_ptr<TModPrp> dlg = CreateModPrp(sampler, "test");
  auto* s = dynamic_cast<TSamplerPrp*>(dlg.get());
  ASSERT_TRUE(s && s->Gain() && s->Pan());
  IAudioFileMap* map = sampler->GetSampleMap();
  // Each sound is analysed once, when it first comes in; its analysis is not saved.
  gui.QueueAnswer(3);
  gui.QueueFileChoice(a);
  s->Add();
  gui.QueueAnswer(3);
  gui.QueueFileChoice(b);
  s->Add();
  ASSERT_EQ(map->GetCount(), 2);

  // The audio thread: blocks with notes coming and going, as a sound device
  // and the MIDI input would run them.
  std::atomic<bool> stop{false};
  std::atomic<int> blocks{0};
  std::thread audio([&] {
    std::vector<float> out(size_t(2 * kBlockFrames));
    for (int n = 0; !stop.load(); ++n) {
      const int32_t note = 36 + (n / 4) % 48;
      if (n % 4 == 0) Midi().Receive(midi::kNoteOn, 0, note, 100);
      Driver().Render(nullptr, out.data(), kBlockFrames);
      if (n % 4 == 3) Midi().Receive(midi::kNoteOff, 0, note, 0);
      blocks.fetch_add(1);
    }
  });
  auto waitForBlocks = [&](int more) {
    const int until = blocks.load() + more;
    while (blocks.load() < until) std::this_thread::yield();
  };
  waitForBlocks(4);

  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE(round);
    // Add: the new sample becomes current.
    gui.QueueFileChoice(round % 2 ? a : b);
    s->Add();
    ASSERT_EQ(map->GetCount(), 3);
    waitForBlocks(1);
    // Immediate edits of the current sample.
    s->Gain()->SetValue(-(round % 12));
    s->GainChanged();
    s->Pan()->SetValue(round * 7 % 200 - 100);
    s->PanChanged();
    s->LeftSplit()->SetValue(40 + round);
    s->LeftSplitChanged();
    s->RootKey()->SetValue(48 + round);
    s->RootKeyChanged();
    s->Bindings().loop->SetValue(round % 2);
    s->LoopClicked();
    s->Bindings().direction->SetPosition(round % 2);
    s->DirectionClicked();
    s->ApplyToAll();
    s->Bindings().quality->SetPosition(round % 3);
    s->QualityClicked();
    waitForBlocks(1);
    // Replace the current sample's sound.
    gui.QueueFileChoice(round % 2 ? b : a);
    s->Replace();
    ASSERT_NE(s->GetCurrentEntry(), nullptr);
    waitForBlocks(1);
    // Read the sound file again, as after an outside editor changed it.
    gui.QueueAnswer(3);  // the new analysis is not saved
    s->Reload();
    waitForBlocks(1);
    s->Delete();
    ASSERT_EQ(map->GetCount(), 2);
    ASSERT_NE(s->GetCurrentEntry(), nullptr);
    EXPECT_GE(map->IndexOf(s->GetCurrentEntry()), 0);
    waitForBlocks(1);
  }
  stop.store(true);
  audio.join();

  EXPECT_EQ(KSModul::GetBracketDepth(), 0);
  EXPECT_EQ(GetEngineLockDepth(), 0);
  EXPECT_FALSE(Driver().IsPaused());
  EXPECT_EQ(files.GetUndo().GetStepCount(), steps + 1) << "one dialog, one undo step";
}

} // namespace
