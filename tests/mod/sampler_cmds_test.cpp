// The sampler and tape deck modules in an ensemble: their audio objects,
// the load, reload, save and export commands driven through scripted file
// dialogs and message boxes, and notes through the MIDI input.
#include "tests/engine/sound_rig.h"
#include "tests/mod/ensemble_fixture.h"

#include "src/engine/audioio.h"
#include "src/audio/buffers.h"
#include "src/engine/engine.h"
#include "src/engine/tables.h"
#include "src/engine/sampler_routines.h"
#include "src/engine/voice_state.h"
#include "src/mod/modaudio.h"
#include "tests/common/testkit.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <deque>

namespace {

using ensfix::TEnsembleFixture;

class SamplerModule : public ::testing::Test, public TEnsembleFixture {
protected:
  // Blocks never count as late here, however slow the build.
  void SetUp() override {
    folder = testkit::TempDir("samplercmd");
    SetEngineCounter([]() -> uint64_t { return 0; }, 1000000000);
  }
  void TearDown() override { SetEngineCounter(nullptr, 0); }

  std::string Constant(const std::string& name, float value, int32_t frames = 2000) {
    return soundrig::WriteWav(folder + "/" + name, 44100, {std::vector<float>(size_t(frames), value)});
  }
  // Nothing is left open or paused.
  void ExpectBalanced() {
    EXPECT_EQ(KSModul::GetBracketDepth(), 0);
    EXPECT_EQ(GetEngineLockDepth(), 0);
    EXPECT_FALSE(Driver().IsPaused());
  }
  TEngineRecord* Record(KSModul* m) { return m->GetEngineRecord(); }
  // Points an audio input of every voice at a cell of the test.
  void Feed(KSModul* m, int32_t inPort, float value) {
    float& cell = cells.emplace_back(value);
    TEngineRecord* r = m->GetEngineRecord();
    ASSERT_TRUE(r);
    const int32_t pointer = m->GetInPort(inPort)->GetIndexField();
    for (int32_t v = 0; v < r->voices; ++v) r->inputs[v][pointer] = &cell;
    ResolveAudioInput(r, pointer);
  }

  std::string folder;
  std::deque<float> cells;
  testkit::ScriptedHost gui;
};

TEST_F(SamplerModule, EachTypeOwnsTheAudioObjectItNeeds) {
  struct {
    TModuleType type;
    bool map, delay, record;
    float maximum;
  } const cases[] = {
      {kTypeSampler, true, false, false, 20.0f},        {kTypeSampleLookup, true, false, false, 20.0f},
      {kTypeResynth, true, false, false, 20.0f},        {kTypeStaticDelay, false, true, false, 1000.0f},
      {kTypeDiffuserDelay, false, true, false, 200.0f}, {kTypeScope, false, true, false, 1000.0f},
      {kTypeTapedeck1, false, false, true, 20.0f},      {kTypeTapedeck2, false, false, true, 20.0f},
      {kTypeEventProduct3, false, false, false, 1.0f},
  };
  for (const auto& c : cases) {
    KSModul* m = Insert(Top(), c.type);
    EXPECT_EQ(m->GetSampleMap() != nullptr, c.map) << c.type.type;
    EXPECT_EQ(m->GetDelayBuffer() != nullptr, c.delay) << c.type.type;
    EXPECT_EQ(m->GetRecordBuffer() != nullptr, c.record) << c.type.type;
    EXPECT_EQ(m->GetMaximum(), c.maximum) << c.type.type;
    EXPECT_EQ(m->GetQuality(), 1) << "'Good' by default";
    if (c.delay) {
      EXPECT_EQ(m->GetDelayBuffer()->GetLengthMs(), int32_t(c.maximum));
    }
  }
}

TEST_F(SamplerModule, ATwoEntryMapPlaysTheRightEntryForEachKeyThroughReceive) {
  AddAudioOut();
  KSModul* sampler = Insert(Top(), kTypeSampler);
  KSModul* pitch = Insert(Top(), kTypeNotePitch);
  KSModul* gate = Insert(Top(), kTypeGate);
  {
    TStructureChange bracket(Top());
    ASSERT_EQ(Wire(pitch, 0, sampler, 0), 0);
    ASSERT_EQ(Wire(gate, 0, sampler, 1), 0);
    ASSERT_EQ(Wire(sampler, 0, ens.GetAudioOutModule(), 2), 0);
  }
  IAudioFileMap* map = sampler->GetSampleMap();
  // Short sounds: each note has played out and faded before the next.
  EPtr<IFileName> low = soundrig::NameOf(Constant("low.wav", 0.25f, 500));
  EPtr<IFileName> high = soundrig::NameOf(Constant("high.wav", -0.5f, 500));
  map->Add(low.Get());
  map->Add(high.Get());
  ASSERT_EQ(map->GetCount(), 2);
  map->GetAt(0)->SetLeftSplit(0);
  map->GetAt(1)->SetLeftSplit(72);
  ASSERT_EQ(map->FindForKey(71.0f), map->GetAt(0));
  ASSERT_EQ(map->FindForKey(72.0f), map->GetAt(1));
  Feed(sampler, 2, 1.0f);

  std::vector<float> out(2 * 4000);
  struct {
    int32_t note;
    float value;
  } const keys[] = {{40, 0.25f}, {71, 0.25f}, {72, -0.5f}, {84, -0.5f}};
  for (const auto& k : keys) {
    Midi().Receive(midi::kNoteOn, 0, k.note, 100);
    Driver().Render(nullptr, out.data(), 64);
    bool found = false;
    TEngineRecord* r = Record(sampler);
    for (int32_t v = 0; v < r->voices; ++v) {
      const auto& s = *r->state.Record<SampleVoiceState>(v);
      if (s.player.core.direction == 0 || s.key != float(k.note)) continue;
      found = true;
      EXPECT_EQ(s.player.core.entry, map->FindForKey(float(k.note))) << k.note;
      // The held value of an earlier note has faded well below the sample.
      EXPECT_NEAR(s.player.core.out.currentLeft, k.value, 0.01f) << k.note;
    }
    EXPECT_TRUE(found) << "a voice plays note " << k.note;
    Midi().Receive(midi::kNoteOff, 0, k.note, 0);
    Driver().Render(nullptr, out.data(), 64);
    Driver().Render(nullptr, out.data(), 4000);
  }
}

TEST_F(SamplerModule, LoadOffersMapsToSamplersAndOnlyAudioToLookups) {
  struct {
    TModuleType type;
    const char* title;
  } const cases[] = {{kTypeSampler, "Open Audio-File or Map-File"},
                     {kTypeSampleLookup, "Open Audio-File"},
                     {kTypeTapedeck1, "Open Audio-File"}};
  for (const auto& c : cases) {
    KSModul* m = Insert(Top(), c.type);
    gui.QueueFileCancel();
    m->LoadAudio();
    ASSERT_FALSE(gui.FileDialogs().empty());
    EXPECT_EQ(gui.FileDialogs().back().title, c.title) << c.type.type;
    ExpectBalanced();
  }
  EXPECT_TRUE(gui.Boxes().empty()) << "a cancelled dialog changes nothing";
}

TEST_F(SamplerModule, LoadInstallsTheRoutineOfTheSoundAndQuality) {
  AddAudioOut();
  KSModul* sampler = Insert(Top(), kTypeSamplerLoop);
  {
    TStructureChange bracket(Top());
    ASSERT_EQ(Wire(sampler, 0, ens.GetAudioOutModule(), 2), 0);
  }
  const std::string stereo =
      soundrig::WriteWav(folder + "/stereo.wav", 44100, {std::vector<float>(100, 0.1f), std::vector<float>(100, 0.2f)});
  gui.QueueFileChoice(stereo);
  sampler->LoadAudio();
  ExpectBalanced();
  EXPECT_EQ(sampler->HasAudio(), 1);
  EXPECT_EQ(sampler->HasAudio2(), 1);
  auto slotRoutine = [&] {
    for (int32_t i = 0; i < EngineSlots.count; ++i)
      if (EngineSlots.records[i] == sampler->GetEngineRecord()) return EngineSlots.routines[i];
    return TAudioRoutine(nullptr);
  };
  EXPECT_EQ(slotRoutine(), FindSampleRoutine(135, true, 1));
  sampler->SetQuality(2);
  EXPECT_EQ(slotRoutine(), FindSampleRoutine(135, true, 2));
  auto& v = *sampler->GetEngineRecord()->state.Record<SampleVoiceState>(0);
  EXPECT_EQ(v.player.core.length, 100);
}

TEST_F(SamplerModule, FailedLoadReloadAndSaveShowTheErrorAndCloseEverything) {
  AddAudioOut();
  KSModul* sampler = Insert(Top(), kTypeSampler);
  KSModul* deck = Insert(Top(), kTypeTapedeck1);
  const std::string bad = folder + "/bad.wav";
  FILE* f = std::fopen(bad.c_str(), "wb");
  ASSERT_TRUE(f);
  std::fputs("not a sound", f);
  std::fclose(f);

  gui.QueueAnswer(0);
  gui.QueueFileChoice(bad);
  sampler->LoadAudio();
  ExpectBalanced();
  ASSERT_EQ(gui.Boxes().size(), 1u) << "the load error is shown";
  EXPECT_EQ(sampler->HasAudio(), 0);

  gui.QueueAnswer(0);
  gui.QueueFileChoice(bad);
  deck->LoadAudio();
  ExpectBalanced();
  EXPECT_EQ(gui.Boxes().size(), 2u);
  EXPECT_EQ(deck->GetMaximum(), 0.0f) << "a failed tape load leaves no length";

  // A sound that goes away before a reload.
  const std::string good = Constant("good.wav", 0.5f, 500);
  gui.QueueFileChoice(good);
  sampler->LoadAudio();
  ASSERT_EQ(sampler->HasAudio(), 1);
  std::remove(good.c_str());
  const size_t boxes = gui.Boxes().size();
  for (size_t i = 0; i < 4; ++i) gui.QueueAnswer(0);
  sampler->ReloadAudio();
  ExpectBalanced();
  EXPECT_GT(gui.Boxes().size(), boxes) << "the reload error is shown";
  EXPECT_EQ(sampler->HasAudio(), 1) << "the sound stays as it was";

  // Exporting into a folder that does not exist.
  gui.QueueAnswer(0);
  gui.QueueFileChoice(folder + "/missing/take.wav");
  deck->ExportAudio();
  ExpectBalanced();
}

TEST_F(SamplerModule, ATapeDeckLoadsExportsAndSavesItsRecording) {
  AddAudioOut();
  KSModul* deck = Insert(Top(), kTypeTapedeck1);
  const int32_t rate = int32_t(EngineConstants.processingRate);
  const std::string take =
      soundrig::WriteWav(folder + "/take.wav", rate, {std::vector<float>(size_t(rate / 10), 0.5f)});
  gui.QueueFileChoice(take);
  deck->LoadAudio();
  ExpectBalanced();
  EXPECT_NEAR(deck->GetMaximum(), 0.1f, 0.0011f) << "the length in seconds (whole ms)";
  EXPECT_EQ(deck->HasAudio(), 1);
  EXPECT_EQ(deck->HasAudio2(), 1);
  EXPECT_EQ(deck->GetRecordBuffer()->GetRecordedLength(), rate / 10);

  gui.QueueFileChoice(folder + "/copy.wav");
  deck->ExportAudio();
  ExpectBalanced();
  EPtr<IFileName> copy = soundrig::NameOf(folder + "/copy.wav");
  EXPECT_EQ(copy->Exists(), 1);
  EXPECT_EQ(gui.FileDialogs().back().title, "Save Audio File");

  gui.QueueFileCancel();
  deck->ExportAudio();
  ExpectBalanced();
}

TEST_F(SamplerModule, AMapEditOutsideABracketSetsTheVoicesUpUnderTheLock) {
  AddAudioOut();
  KSModul* sampler = Insert(Top(), kTypeSampler);
  {
    TStructureChange bracket(Top());
    ASSERT_EQ(Wire(sampler, 0, ens.GetAudioOutModule(), 2), 0);
  }
  EPtr<IFileName> sound = soundrig::NameOf(Constant("one.wav", 0.5f, 300));
  sampler->GetSampleMap()->Add(sound.Get());
  // A dialog's edit: the voices learn the new step at once.
  sampler->GetSampleMap()->GetAt(0)->SetRootKey(48);
  auto& v = *sampler->GetEngineRecord()->state.Record<SampleVoiceState>(0);
  EXPECT_EQ(v.player.core.baseStep, sampler->GetSampleMap()->GetAt(0)->GetStep());
  EXPECT_EQ(GetEngineLockDepth(), 0);
}

TEST_F(SamplerModule, ProcessorLoadIsTheSlotsUsageSummedOverChildren) {
  AddAudioOut();
  KSModul* loose = Insert(Top(), kTypeSampler);
  EXPECT_EQ(loose->UpdateCpuLoad(true), 0.0f) << "no children, no record";
  KSModul* delay = Insert(Top(), kTypeStaticDelay);
  {
    TStructureChange bracket(Top());
    ASSERT_EQ(Wire(delay, 0, ens.GetAudioOutModule(), 2), 0);
  }
  ASSERT_TRUE(delay->GetEngineRecord());
  Driver().SetSlotMeasuring(true);
  std::vector<float> out(2 * 256);
  Driver().Render(nullptr, out.data(), 256);
  int32_t slot = -1;
  for (int32_t i = 0; i < EngineSlots.count; ++i)
    if (EngineSlots.records[i] == delay->GetEngineRecord()) slot = i;
  ASSERT_GE(slot, 0);
  EXPECT_EQ(delay->UpdateCpuLoad(true), Driver().GetSlotUsage(slot));
  const float total = Top()->UpdateCpuLoad(true);
  EXPECT_GE(total, delay->GetCpuLoad());
  EXPECT_EQ(delay->UpdateCpuLoad(false), 0.0f) << "without measuring";
  Driver().SetSlotMeasuring(false);
}

} // namespace
