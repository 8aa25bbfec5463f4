// Instruments: voice allocation with unison and stealing, the pedals, voice
// counts, tuning down the tree, the source lists and snapshots.
#include "tests/mod/ensemble_fixture.h"

#include "src/engine/voice_state.h"
#include "tests/common/testkit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

using ensfix::TEnsembleFixture;

namespace {

class Instr : public ::testing::Test, public TEnsembleFixture {
protected:
  // The voices of an instrument that play a note.
  static std::set<int32_t> VoicesOf(const KInstr* instr, int32_t note) {
    std::set<int32_t> out;
    for (int32_t v = 0; v < instr->GetVoices(); ++v)
      if (instr->GetVoiceNote(v) == note) out.insert(v);
    return out;
  }
  KInstr* NewInstrument(KSModul* parent = nullptr) {
    KSModul* m = Insert(parent ? parent : Top(), kTypeInstrument);
    return m->GetOwnInstr();
  }
  // An "Off Vel." source of the instrument module, kept in processing as
  // the soloed module; its output is the last release velocity through its
  // table.
  KSModul* OffVelocity(KInstr* instr) {
    KSModul* src = Insert(instr->GetOwner(), kTypeNoteOffVelocity);
    src->Solo();
    return src;
  }
  static float Output(KSModul* m, int32_t voice) {
    return m->GetEngineRecord()->state[voice][QV_WORD_AT(SourceState, out)].f;
  }

  testkit::ScriptedHost boxes;
};

} // namespace

TEST_F(Instr, TheSeventhNoteOfSixVoicesStealsTheOldest) {
  KInstr* instr = NewInstrument();
  ASSERT_EQ(instr->GetVoices(), 6);
  for (int32_t n = 60; n < 66; ++n) instr->NoteOn(n, 100);
  std::set<int32_t> oldest = VoicesOf(instr, 60);
  ASSERT_EQ(oldest.size(), 1u);
  instr->NoteOn(70, 100);
  EXPECT_EQ(VoicesOf(instr, 70), oldest);
  EXPECT_TRUE(VoicesOf(instr, 60).empty());
  for (int32_t n = 61; n < 66; ++n) EXPECT_EQ(VoicesOf(instr, n).size(), 1u) << n;
  // The next steal takes the next oldest.
  std::set<int32_t> second = VoicesOf(instr, 61);
  instr->NoteOn(71, 100);
  EXPECT_EQ(VoicesOf(instr, 71), second);
}

TEST_F(Instr, AReleasedVoiceIsTakenBeforeAnyIsStolen) {
  KInstr* instr = NewInstrument();
  for (int32_t n = 60; n < 66; ++n) instr->NoteOn(n, 100);
  std::set<int32_t> freed = VoicesOf(instr, 63);
  instr->NoteOff(63, -64);
  EXPECT_EQ(instr->GetPlayingVoiceCount(), 5);
  instr->NoteOn(80, 100);
  EXPECT_EQ(VoicesOf(instr, 80), freed);
  EXPECT_EQ(VoicesOf(instr, 60).size(), 1u) << "nothing was stolen";
}

TEST_F(Instr, UnisonStealsByRankAndStopsBelowTheMinimum) {
  KInstr* instr = NewInstrument();
  instr->SetVoices(8, 4, 2);
  ASSERT_EQ(instr->GetMaxUnison(), 4);
  ASSERT_EQ(instr->GetMinUnison(), 2);
  instr->NoteOn(60, 100);
  instr->NoteOn(61, 100);
  // Each note: first voice rank 0, then 3, 2, 1.
  std::multiset<int32_t> ranks;
  for (int32_t v : VoicesOf(instr, 60)) ranks.insert(instr->GetVoiceRank(v));
  EXPECT_EQ(ranks, (std::multiset<int32_t>{0, 1, 2, 3}));
  auto voiceWithRank = [&](int32_t note, int32_t rank) {
    for (int32_t v : VoicesOf(instr, note))
      if (instr->GetVoiceRank(v) == rank) return v;
    return -1;
  };
  int32_t olderRank3 = voiceWithRank(60, 3), newerRank3 = voiceWithRank(61, 3);
  int32_t olderRank2 = voiceWithRank(60, 2), newerRank2 = voiceWithRank(61, 2);

  instr->NoteOn(62, 100);
  EXPECT_EQ(VoicesOf(instr, 62), (std::set<int32_t>{olderRank3, newerRank3, olderRank2}));
  EXPECT_EQ(instr->GetVoiceRank(olderRank3), 0) << "the older rank-3 voice became the first voice";
  EXPECT_EQ(instr->GetVoiceRank(newerRank3), 3);
  EXPECT_EQ(instr->GetVoiceRank(olderRank2), 2);
  EXPECT_EQ(instr->GetVoiceNote(newerRank2), 61) << "no fourth voice: no rank 3 or more was left";
}

TEST_F(Instr, OneVoiceWithUnisonStillPlaysEveryNote) {
  KInstr* instr = TopInstr();
  ASSERT_EQ(instr->GetVoices(), 1);
  instr->NoteOn(60, 100);
  instr->NoteOn(61, 100);
  EXPECT_EQ(instr->GetVoiceNote(0), 61);
  instr->NoteOff(61, 0);
  EXPECT_EQ(instr->GetPlayingVoiceCount(), 0);
}

TEST_F(Instr, SustainHoldsReleasedKeysUntilThePedalGoesUp) {
  KInstr* instr = NewInstrument();
  KSModul* offVel = OffVelocity(instr);
  ASSERT_NE(offVel->GetEngineRecord(), nullptr);
  instr->NoteOn(60, 100);
  int32_t v = *VoicesOf(instr, 60).begin();
  instr->SustainOn();
  instr->NoteOff(60, -100);
  EXPECT_EQ(instr->GetVoiceNote(v), 60) << "held by the pedal";
  EXPECT_TRUE(instr->IsHeldBySustain(v));
  EXPECT_FLOAT_EQ(Output(offVel, v), 0.0f) << "no note-off yet";
  instr->NoteOff(61, -100); // a key that plays nothing changes nothing
  instr->SustainOff();
  EXPECT_EQ(instr->GetVoiceNote(v), KInstr::kFree);
  EXPECT_FLOAT_EQ(Output(offVel, v), 0.0f) << "the pedal releases with velocity 0";
  // Without the pedal the release velocity passes.
  instr->NoteOn(60, 100);
  v = *VoicesOf(instr, 60).begin();
  instr->NoteOff(60, -127);
  EXPECT_FLOAT_EQ(Output(offVel, v), 1.0f);
}

TEST_F(Instr, SostenutoHoldsOnlyWhatSoundedWhenItWentDown) {
  KInstr* instr = NewInstrument();
  instr->NoteOn(60, 100);
  instr->SostenutoOn();
  instr->NoteOn(62, 100);
  instr->NoteOff(60, -10);
  instr->NoteOff(62, -10);
  EXPECT_EQ(VoicesOf(instr, 60).size(), 1u);
  EXPECT_TRUE(VoicesOf(instr, 62).empty());
  instr->SostenutoOff();
  EXPECT_EQ(instr->GetPlayingVoiceCount(), 0);
}

TEST_F(Instr, AVoiceHeldByBothPedalsEndsWhenTheLastGoesUp) {
  struct Case {
    const char* name;
    bool sustainFirst; // which pedal goes up first
  };
  for (Case c : {Case{"sustain up first", true}, Case{"sostenuto up first", false}}) {
    KInstr* instr = NewInstrument();
    instr->NoteOn(60, 100);
    instr->SostenutoOn();
    instr->SustainOn();
    instr->NoteOff(60, -10);
    if (c.sustainFirst) instr->SustainOff();
    else instr->SostenutoOff();
    EXPECT_EQ(instr->GetPlayingVoiceCount(), 1) << c.name;
    if (c.sustainFirst) instr->SostenutoOff();
    else instr->SustainOff();
    EXPECT_EQ(instr->GetPlayingVoiceCount(), 0) << c.name << ": no note may hang";
  }
}

TEST_F(Instr, VoiceCountsAndUnisonAreHeldInRange) {
  struct Case {
    int32_t voices, maxU, minU;
    int32_t wantVoices, wantMax, wantMin;
  };
  const Case cases[] = {
      {70, -1, -1, 64, 1, 1}, {4, 8, 8, 4, 4, 4}, {0, 0, 0, 1, 1, 1},
      {8, 4, 2, 8, 4, 2},     {8, 2, 5, 8, 2, 2}, {-1, 3, -1, 6, 3, 1},
  };
  for (const Case& c : cases) {
    KInstr* instr = NewInstrument();
    instr->SetVoices(c.voices, c.maxU, c.minU);
    EXPECT_EQ(instr->GetVoices(), c.wantVoices) << c.voices;
    EXPECT_EQ(instr->GetMaxUnison(), c.wantMax) << c.voices;
    EXPECT_EQ(instr->GetMinUnison(), c.wantMin) << c.voices;
  }
}

TEST_F(Instr, ANewVoiceCountRebuildsProcessingAndFreesEveryVoice) {
  KInstr* instr = NewInstrument();
  KSModul* pitch = Insert(instr->GetOwner(), kTypeNotePitch);
  pitch->Solo();
  ASSERT_NE(pitch->GetEngineRecord(), nullptr);
  ASSERT_EQ(pitch->GetEngineRecord()->voices, 6);
  instr->NoteOn(60, 100);
  instr->SustainOn();
  instr->SetVoices(10, -1, -1);
  EXPECT_EQ(pitch->GetEngineRecord()->voices, 10);
  EXPECT_EQ(instr->GetPlayingVoiceCount(), 0);
  EXPECT_FALSE(instr->IsSustainDown());
  EXPECT_EQ(instr->GetSourceCount(KInstr::kNoteOnList), 1) << "the rebuilt source joined its list again";
}

TEST_F(Instr, MidiChannelIsClampedAndTheReceiverMoves) {
  KInstr* instr = NewInstrument();
  TMidiInOut& midi = Midi();
  struct Case {
    int32_t set, want;
  };
  for (Case c : {Case{0, 1}, Case{17, 16}, Case{5, 5}}) {
    instr->SetMidiChannel(c.set);
    EXPECT_EQ(instr->GetMidiChannel(), c.want);
    int32_t listed = 0;
    for (int32_t ch = 0; ch < 16; ++ch)
      for (int32_t i = 0; i < midi.GetReceiverCount(ch); ++i)
        if (midi.GetReceiver(ch, i) == instr) {
          ++listed;
          EXPECT_EQ(ch, c.want - 1);
        }
    EXPECT_EQ(listed, 1) << "listed once, on its channel";
  }
  Top()->DeleteChild(instr->GetOwner());
  EXPECT_EQ(midi.GetReceiverCount(4), 0) << "a destroyed instrument no longer listens";
}

TEST_F(Instr, TuneFlowsDownTheInstrumentTreeThroughMacros) {
  KInstr* child = NewInstrument();
  KSModul* macro = Insert(child->GetOwner(), kTypeMacro);
  KInstr* nested = NewInstrument(macro);
  TopInstr()->SetTune(2.0f, false);
  child->SetTune(0.5f, false);
  EXPECT_FLOAT_EQ(child->GetTune(), 2.5f);
  EXPECT_FLOAT_EQ(nested->GetTune(), 2.5f);
  TopInstr()->SetTune(-1.0f, false);
  EXPECT_FLOAT_EQ(child->GetTune(), -0.5f);
  EXPECT_FLOAT_EQ(nested->GetTune(), -0.5f);
  EXPECT_FLOAT_EQ(child->GetOwnTune(), 0.5f);
}

TEST_F(Instr, AFullSourceListRefusesTheNextEntry) {
  KInstr* instr = NewInstrument();
  std::vector<TEngineRecord> records(KInstr::kMaxSources + 1);
  for (int32_t i = 0; i < KInstr::kMaxSources; ++i) instr->AddSnapControl(&records[i]);
  EXPECT_THROW(instr->AddSnapControl(&records.back()), TError);
  EXPECT_STREQ(LastError()->Expand().CStr(), "Sorry - too many modules in this ensemble");
  EXPECT_EQ(instr->GetSourceCount(KInstr::kSnapList), KInstr::kMaxSources);
  instr->RemoveSource(&records[0]);
  EXPECT_EQ(instr->GetSource(KInstr::kSnapList, 0), &records[1]) << "later entries move down";
  for (int32_t i = 1; i < KInstr::kMaxSources; ++i) instr->RemoveSource(&records[i]);
  EXPECT_EQ(instr->GetSourceCount(KInstr::kSnapList), 0);
}

TEST_F(Instr, SourcesJoinTheirListsByType) {
  // One voice: the polyphonic sources may feed the mono scopes.
  KInstr* instr = TopInstr();
  KSModul* owner = instr->GetOwner();
  KSModul* gate = Insert(owner, kTypeGate);
  FeedScope(gate, owner);
  KSModul* pitch = Insert(owner, kTypeNotePitch);
  FeedScope(pitch, owner);
  KSModul* ctl = Insert(owner, kTypeController);
  FeedScope(ctl, owner);
  // The pitch goes to the front: it runs before the gate of the same note.
  ASSERT_EQ(instr->GetSourceCount(KInstr::kNoteOnList), 2);
  EXPECT_EQ(instr->GetSource(KInstr::kNoteOnList, 0), pitch->GetEngineRecord());
  EXPECT_EQ(instr->GetSource(KInstr::kNoteOffList, 0), gate->GetEngineRecord());
  EXPECT_EQ(instr->GetSource(KInstr::kControllerList, 0), ctl->GetEngineRecord());
  EXPECT_EQ(instr->GetSource(KInstr::kSnapList, 0), ctl->GetEngineRecord());
  owner->DeleteChild(gate);
  EXPECT_EQ(instr->GetSourceCount(KInstr::kNoteOnList), 1);
  EXPECT_EQ(instr->GetSourceCount(KInstr::kNoteOffList), 0);
}

TEST_F(Instr, SnapshotsStoreAndRecallControlsAndUnison) {
  KInstr* instr = TopInstr();
  instr->SetVoices(8, -1, -1);
  KSModul* fader = Insert(Top(), kTypeFader);
  ASSERT_NE(fader->GetEngineRecord(), nullptr) << "a fader is always processed";
  fader->SetControlStep(10);
  instr->SetVoices(-1, 4, 2);
  instr->StoreSnap(3, TStr("Soft"));
  EXPECT_TRUE(instr->IsSnapStored(3));
  EXPECT_EQ(instr->GetSnapName(3), TStr("Soft"));
  EXPECT_EQ(instr->GetCurrentSnap(), 3);

  fader->SetControlStep(100);
  instr->SetVoices(-1, 1, 1);
  instr->StoreSnap(4, TStr());
  EXPECT_TRUE(instr->GetSnapName(4).IsEmpty());
  instr->RecallSnap(3, nullptr, false);
  EXPECT_EQ(fader->GetControlStep(), 10);
  EXPECT_EQ(instr->GetMaxUnison(), 4);
  EXPECT_EQ(instr->GetMinUnison(), 2);
  EXPECT_EQ(instr->GetCurrentSnap(), 3);
  EXPECT_EQ(instr->GetRecallCount(), 1);
  EXPECT_EQ(KInstr::GetRecallDepth(), 0);

  // An isolated control keeps its value.
  fader->SetSnapIsolate(true);
  instr->RecallSnap(4, nullptr, false);
  EXPECT_EQ(fader->GetControlStep(), 10);
  fader->SetSnapIsolate(false);
  instr->RecallSnap(4, nullptr, false);
  EXPECT_EQ(fader->GetControlStep(), 100);

  instr->DeleteSnap(3);
  EXPECT_FALSE(instr->IsSnapStored(3));
  EXPECT_TRUE(instr->GetSnapName(3).IsEmpty());
}

TEST_F(Instr, RecallingAnUnstoredSnapshotOnlySetsTheNumberAndSendsTheProgram) {
  KInstr* instr = TopInstr();
  KSModul* fader = Insert(Top(), kTypeFader);
  fader->SetControlStep(20);
  instr->SetMidiChannel(3);
  instr->SetPanelToMidiOut(true);
  Midi().sent.clear();
  instr->RecallSnap(9, nullptr, false);
  EXPECT_EQ(instr->GetCurrentSnap(), 9);
  EXPECT_EQ(fader->GetControlStep(), 20);
  EXPECT_EQ(instr->GetRecallCount(), 0);
  ASSERT_EQ(Midi().sent.size(), 1u);
  EXPECT_EQ(Midi().sent[0].first, 0);
  EXPECT_EQ(Midi().sent[0].second, 0xC2u | (9u << 8));
  // Out-of-range numbers change nothing.
  instr->RecallSnap(128, nullptr, false);
  instr->RecallSnap(-1, nullptr, false);
  EXPECT_EQ(instr->GetCurrentSnap(), 9);
}

TEST_F(Instr, ChildInstrumentsFollowTheParentsSnapshotsThroughTheirMap) {
  KInstr* top = TopInstr();
  KSModul* macro = Insert(Top(), kTypeMacro);
  KInstr* child = NewInstrument(macro);
  KSModul* fader = Insert(child->GetOwner(), kTypeFader);
  child->SetProgramMapEnabled(true);
  fader->SetControlStep(30);
  child->StoreSnap(7, TStr());
  top->StoreSnap(1, TStr());
  EXPECT_EQ(child->GetParentSnapMap(1), 7) << "the parent's store records the child's snapshot";
  fader->SetControlStep(90);
  top->RecallSnap(1, nullptr, false);
  EXPECT_EQ(child->GetCurrentSnap(), 7);
  EXPECT_EQ(fader->GetControlStep(), 30);
  // A parent snapshot without a map entry leaves the child alone.
  fader->SetControlStep(90);
  top->RecallSnap(2, nullptr, false);
  EXPECT_EQ(fader->GetControlStep(), 90);
  child->SetProgramMapEnabled(false);
  EXPECT_EQ(child->GetParentSnapMap(1), -1);
}
