// The module tree, its structure-change bracket, ports, wires and their
// resolution into engine records, run through the offline driver.
#include "tests/engine/testhost.h"

#include "src/engine/event_ids.h"
#include "src/engine/routine_registry.h"
#include "src/engine/tables.h"
#include "src/engine/voice_state.h"
#include "tests/common/testkit.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <stdexcept>
#include <thread>
#include <vector>

using testhost::THost;
using testhost::TRoutinePatch;

namespace {

int levelCalls = 0;
// The master level of the Audio Out: a level in dB into its gain word.
void LevelToGain(TEngineRecord* record, int32_t voice, float value) {
  ++levelCalls;
  record->state[voice][QV_WORD_AT(AudioOutState<2>, master)].f = DecibelsToGain(value);
}

KSModul* Insert(KSModul* parent, TModuleType type, int32_t mode = kPlaceNext) {
  return parent->InsertModule(type, mode);
}

int32_t Wire(KSModul* from, int32_t out, KSModul* to, int32_t in) {
  return to->GetInPort(in)->Connect(from->GetOutPort(out));
}

class Model : public ::testing::Test {
protected:
  void SetUp() override { RoutineTables().event[evLevel1] = LevelToGain; }
  void TearDown() override {
    host.audioIn = host.audioOut = nullptr;
  }
  KSModul* AddAudioOut() {
    host.audioOut = Insert(host.Top(), kTypeAudioOut, kPlaceAudioOut);
    return host.audioOut;
  }
  KSModul* AddAudioIn() {
    host.audioIn = Insert(host.Top(), kTypeAudioIn, kPlaceAudioIn);
    return host.audioIn;
  }
  static bool Processed(KSModul* m) { return m->GetEngineRecord() != nullptr && !m->IsOutsideProcessing(); }

  TRoutinePatch patch;
  testkit::ScriptedHost boxes;
  THost host;
};

} // namespace

TEST_F(Model, NestedBracketsHoldTheLockFromTheOutermostBeginAndRebuildOnce) {
  KSModul* top = host.Top();
  levelCalls = 0;
  top->BeginStructureChange();
  EXPECT_EQ(EngineCriticalSection().HeldDepth(), 1);
  top->BeginStructureChange();
  KSModul* out = AddAudioOut();
  top->EndStructureChange();
  EXPECT_EQ(EngineCriticalSection().HeldDepth(), 1) << "an inner end keeps the lock";
  EXPECT_TRUE(out->IsOutsideProcessing()) << "an inner end rebuilds nothing";
  EXPECT_EQ(levelCalls, 0);
  top->EndStructureChange();
  EXPECT_EQ(EngineCriticalSection().HeldDepth(), 0);
  EXPECT_EQ(KSModul::GetBracketDepth(), 0);
  EXPECT_TRUE(Processed(out));
  EXPECT_EQ(levelCalls, 1) << "the Audio Out entered processing once";
  EXPECT_EQ(out->GetEngineRecord()->state[0][QV_WORD_AT(AudioOutState<2>, master)].f, 1.0f)
      << "its event inputs restarted from 0 dB";
}

TEST_F(Model, AnExceptionInsideABracketLeavesItClosedAndTheLockFree) {
  KSModul* top = host.Top();
  try {
    TStructureChange outer(top);
    TStructureChange inner(top);
    throw std::runtime_error("edit failed");
  } catch (const std::exception&) {
  }
  EXPECT_EQ(KSModul::GetBracketDepth(), 0);
  EXPECT_EQ(EngineCriticalSection().HeldDepth(), 0);
  EXPECT_EQ(StructureChangeDepth.load(), 0);
}

TEST_F(Model, AMessageRaisedInsideABracketIsShownAfterItCloses) {
  KSModul* top = host.Top();
  KSModul* fader = Insert(top, kTypeFader);
  std::vector<KSModul*> sums;
  for (int i = 0; i < 21; ++i) sums.push_back(Insert(top, kTypeEventSum3));
  boxes.QueueAnswer(0);
  {
    TStructureChange bracket(top);
    for (int i = 0; i < 21; ++i) Wire(fader, 0, sums[i], 0);
    EXPECT_TRUE(boxes.Boxes().empty()) << "no box while the engine is locked";
  }
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].text, "Too many wires on the inport");
}

TEST_F(Model, ADisplayRunsOnlyWhenWhatFeedsItRunsAnyway) {
  KSModul* top = host.Top();
  KSModul* out = AddAudioOut();
  KSModul* osc = Insert(top, kTypeSine);
  KSModul* lamp = Insert(top, kTypeLamp);
  ASSERT_EQ(Wire(osc, 0, lamp, 0), 0);
  EXPECT_FALSE(Processed(lamp)) << "a lamp fed only by an unused oscillator";
  EXPECT_FALSE(Processed(osc));
  EXPECT_TRUE(Processed(out));
  ASSERT_EQ(Wire(osc, 0, out, 2), 0);
  EXPECT_TRUE(Processed(osc));
  EXPECT_TRUE(Processed(lamp));
  // Taking the oscillator away from the Audio Out stops both again.
  {
    TStructureChange bracket(top);
    out->GetInPort(2)->RemoveWire(osc->GetOutPort(0));
  }
  EXPECT_FALSE(Processed(osc));
  EXPECT_FALSE(Processed(lamp));
}

TEST_F(Model, SinksAndControlsAreProcessedWithoutFeeds) {
  KSModul* top = host.Top();
  struct Case {
    TModuleType type;
    bool processed;
  } const cases[] = {{kTypeScope, true},        {kTypeTapedeck1, true},    {kTypeFader, true},
                     {kTypeButton, true},       {kTypeAudioSwitch2, true}, {kTypeAudioSum2, false}};
  for (const Case& c : cases) {
    KSModul* m = Insert(top, c.type);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(Processed(m), c.processed) << c.type.category << ":" << c.type.type;
  }
}

TEST_F(Model, AMutedModuleLeavesProcessingAndComesBack) {
  KSModul* top = host.Top();
  KSModul* out = AddAudioOut();
  KSModul* osc = Insert(top, kTypeSine);
  Wire(osc, 0, out, 2);
  osc->Mute();
  EXPECT_TRUE(osc->IsMuted());
  EXPECT_EQ(osc->GetEngineRecord(), nullptr);
  EXPECT_EQ(out->GetEngineRecord()->inputs[0][0], &EngineZeroCell);
  osc->Unmute();
  ASSERT_TRUE(Processed(osc));
  EXPECT_EQ(out->GetEngineRecord()->inputs[0][0], osc->GetOutPort(0)->ValueFor(0));
}

TEST_F(Model, TheTwentiethTerminalIsRefusedAndProcessingGoesOn) {
  KSModul* top = host.Top();
  KSModul* out = AddAudioOut();
  KSModul* macro = Insert(top, kTypeMacro);
  struct Case {
    TModuleType terminal;
    const char* message;
    size_t boxesShown;
  } const cases[] = {{kTypeAudioMonoInTerminal, "No more In-Terminals in this module allowed.", 1},
                     {kTypeAudioMonoOutTerminal, "Too many ports.", 2}};
  for (const Case& c : cases) {
    for (int i = 0; i < 19; ++i) ASSERT_NE(Insert(macro, c.terminal), nullptr);
    int32_t children = macro->GetChildCount();
    boxes.QueueAnswer(0);
    EXPECT_EQ(Insert(macro, c.terminal), nullptr);
    ASSERT_EQ(boxes.Boxes().size(), c.boxesShown);
    EXPECT_EQ(boxes.Boxes().back().text, c.message);
    EXPECT_EQ(macro->GetChildCount(), children);
    EXPECT_EQ(macro->GetNewChild(), nullptr);
  }
  EXPECT_EQ(macro->GetInPortCount(), 19);
  EXPECT_EQ(macro->GetOutPortCount(), 19);
  EXPECT_EQ(KSModul::GetBracketDepth(), 0);
  EXPECT_EQ(EngineCriticalSection().HeldDepth(), 0);
  EXPECT_TRUE(Processed(out));
}

TEST_F(Model, DeletingTheFirstOfThreeOutTerminalsRenumbersAndKeepsTheWires) {
  KSModul* top = host.Top();
  KSModul* macro = Insert(top, kTypeMacro);
  KSModul* t[3];
  for (auto& terminal : t) terminal = Insert(macro, kTypeAudioMonoOutTerminal);
  KSModul* a = Insert(top, kTypeAudioSum2);
  KSModul* b = Insert(top, kTypeAudioSum2);
  KOutPort* second = macro->GetOutPort(1);
  KOutPort* third = macro->GetOutPort(2);
  Wire(macro, 1, a, 0);
  Wire(macro, 2, b, 1);
  macro->DeleteChild(t[0]);
  ASSERT_EQ(macro->GetOutPortCount(), 2);
  EXPECT_EQ(t[1]->GetTerminalNo(), 0);
  EXPECT_EQ(t[2]->GetTerminalNo(), 1);
  EXPECT_EQ(macro->GetOutPort(0), second);
  EXPECT_EQ(macro->GetOutPort(1), third);
  EXPECT_EQ(a->GetInPort(0)->GetSource(0), second);
  EXPECT_EQ(a->GetInPort(0)->GetSourcePort(0), 0);
  EXPECT_EQ(b->GetInPort(1)->GetSource(0), third);
  EXPECT_EQ(b->GetInPort(1)->GetSourcePort(0), 1);
  // Deleting a module before its siblings lowers the child numbers the wires keep.
  EXPECT_EQ(a->GetInPort(0)->GetSourceChild(0), 0);
  KSModul* c = Insert(top, kTypeAudioSum2);
  Wire(b, 0, c, 0);
  EXPECT_EQ(c->GetInPort(0)->GetSourceChild(0), 2);
  top->DeleteChild(a);
  EXPECT_EQ(c->GetInPort(0)->GetSourceChild(0), 1);
  EXPECT_EQ(c->GetInPort(0)->GetSource(0), b->GetOutPort(0));
}

TEST_F(Model, TheTwentyFirstWireAndDestinationAreRefusedOnBothSides) {
  KSModul* top = host.Top();
  KSModul* sum = Insert(top, kTypeEventSum3); // event "+": its inputs gather wires
  std::vector<KSModul*> faders;
  for (int i = 0; i < 21; ++i) faders.push_back(Insert(top, kTypeFader));
  for (int i = 0; i < 20; ++i) ASSERT_EQ(Wire(faders[i], 0, sum, 0), 0);
  boxes.QueueAnswer(0);
  EXPECT_EQ(Wire(faders[20], 0, sum, 0), 1);
  EXPECT_EQ(sum->GetInPort(0)->GetWireCount(), 20);
  EXPECT_EQ(faders[20]->GetOutPort(0)->GetDestinationCount(), 0);
  ASSERT_EQ(boxes.Boxes().size(), 1u);

  KSModul* fader = faders[0];
  std::vector<KSModul*> sums;
  for (int i = 0; i < 20; ++i) sums.push_back(Insert(top, kTypeEventSum3));
  for (int i = 0; i < 19; ++i) ASSERT_EQ(Wire(fader, 0, sums[i], 1), 0);
  ASSERT_EQ(fader->GetOutPort(0)->GetDestinationCount(), 20);
  boxes.QueueAnswer(0);
  EXPECT_EQ(Wire(fader, 0, sums[19], 1), 1);
  EXPECT_EQ(sums[19]->GetInPort(1)->GetWireCount(), 0);
  EXPECT_EQ(fader->GetOutPort(0)->GetDestinationCount(), 20);
  ASSERT_EQ(boxes.Boxes().size(), 2u);
  EXPECT_EQ(boxes.Boxes()[1].text, "Too many wires on the inport");
}

TEST_F(Model, ConnectionRules) {
  KSModul* top = host.Top();
  KSModul* osc = Insert(top, kTypeSine);
  KSModul* other = Insert(top, kTypeSine);
  KSModul* fader = Insert(top, kTypeFader);
  KSModul* sum = Insert(top, kTypeAudioSum2);
  EXPECT_EQ(Wire(osc, 0, other, 0), 1) << "audio into an event input";
  EXPECT_EQ(Wire(fader, 0, sum, 0), 0) << "an event may feed an audio input";
  EXPECT_EQ(Wire(sum, 0, sum, 1), 1) << "a module never feeds itself";
  // A second wire to an audio input replaces the first.
  ASSERT_EQ(Wire(osc, 0, sum, 0), 0);
  EXPECT_EQ(sum->GetInPort(0)->GetWireCount(), 1);
  EXPECT_EQ(sum->GetInPort(0)->GetSource(0), osc->GetOutPort(0));
  EXPECT_EQ(fader->GetOutPort(0)->GetDestinationCount(), 0);
}

TEST_F(Model, InputPointersPerVoice) {
  KSModul* top = host.Top();
  top->GetOwnInstr()->SetVoiceCount(4);
  KSModul* out = AddAudioOut();
  KSModul* polySource = Insert(top, kTypeSine);
  KSModul* monoSource = Insert(top, kTypeSine);
  KSModul* polySink = Insert(top, kTypeAudioSum2);
  KSModul* monoSink = Insert(top, kTypeAudioSum2);
  // The Audio Out is mono: voices reach it summed.
  KSModul* sumL = Insert(top, kTypeAudioVoiceCombiner);
  KSModul* sumR = Insert(top, kTypeAudioVoiceCombiner);
  {
    TStructureChange bracket(top);
    monoSource->SetMonoFlag(true);
    monoSink->SetMonoFlag(true);
    Wire(polySource, 0, polySink, 0);
    Wire(monoSource, 0, polySink, 1);
    Wire(polySource, 0, monoSink, 0);
    Wire(polySink, 0, sumL, 0);
    Wire(monoSink, 0, sumR, 0);
    Wire(sumL, 0, out, 2);
    Wire(sumR, 0, out, 3);
  }
  EXPECT_FALSE(sumL->GetInPort(0)->HasPolyConflict());
  EXPECT_FALSE(out->GetInPort(2)->HasPolyConflict());
  TEngineRecord* r = polySink->GetEngineRecord();
  ASSERT_NE(r, nullptr);
  ASSERT_EQ(r->voices, 4);
  for (int v = 0; v < 4; ++v) {
    EXPECT_EQ(r->inputs[v][0], polySource->GetOutPort(0)->ValueFor(v)) << "poly into poly pairs voice " << v;
    EXPECT_EQ(r->inputs[v][1], monoSource->GetOutPort(0)->ValueFor(0)) << "mono into poly feeds voice 0 to " << v;
  }
  EXPECT_EQ(monoSource->GetEngineRecord()->voices, 1);
  EXPECT_TRUE(monoSink->GetInPort(0)->HasPolyConflict()) << "poly into a mono module of the same instrument";
  EXPECT_EQ(monoSink->GetEngineRecord()->inputs[0][0], &EngineZeroCell);
  EXPECT_FALSE(polySink->GetInPort(0)->HasPolyConflict());
  // Removing the last wire clears the conflict.
  {
    TStructureChange bracket(top);
    monoSink->GetInPort(0)->RemoveWire(polySource->GetOutPort(0));
  }
  EXPECT_FALSE(monoSink->GetInPort(0)->HasPolyConflict());
}

TEST_F(Model, EventRoutesThroughAMacroFanOut) {
  KSModul* top = host.Top();
  KSModul* fader = Insert(top, kTypeFader);
  KSModul* macro = Insert(top, kTypeMacro);
  KSModul* in = Insert(macro, kTypeEventMonoInTerminal);
  KSModul* sums[3];
  for (auto& s : sums) {
    s = Insert(macro, kTypeEventSum3);
    Wire(in, 0, s, 0);
  }
  Wire(fader, 0, macro, 0);
  TEngineRecord* r = fader->GetEngineRecord();
  ASSERT_NE(r, nullptr);
  ASSERT_EQ(r->routeCounts[0], 0) << "the sums feed nothing and are not processed";
  // A sink behind each sum brings it in.
  for (auto& s : sums) Wire(s, 0, Insert(macro, kTypeScope), 5);
  EXPECT_TRUE(Processed(sums[0]));
  ASSERT_EQ(r->routeCounts[0], 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(r->routeTargets[0][i], sums[i]->GetEngineRecord());
}

TEST_F(Model, PlacementOfInsertedModules) {
  KSModul* top = host.Top();
  KSModul* a = Insert(top, kTypeAudioSum2);
  KSModul* b = Insert(top, kTypeAudioSum2);
  EXPECT_EQ(b->GetPos().X() - a->GetPos().X(), 16);
  EXPECT_EQ(b->GetPos().Y() - a->GetPos().Y(), 16);
  KSModul* in = AddAudioIn();
  EXPECT_EQ(in->GetPos(), TPnt(8, 96));
  KSModul* out = AddAudioOut();
  EXPECT_EQ(out->GetInPortCount(), 4);
  EXPECT_EQ(out->GetPos(), TPnt(336, 80));
}

TEST_F(Model, ATerminalInsideAnInstrumentIsMono) {
  KSModul* top = host.Top();
  KSModul* instrument = Insert(top, kTypeInstrument);
  struct Case {
    TModuleType inserted, expected;
  } const cases[] = {{kTypeAudioPolyInTerminal, kTypeAudioMonoInTerminal},
                     {kTypeEventPolyInTerminal, kTypeEventMonoInTerminal},
                     {kTypeAudioPolyOutTerminal, kTypeAudioMonoOutTerminal},
                     {kTypeEventPolyOutTerminal, kTypeEventMonoOutTerminal},
                     {kTypeAudioMonoInTerminal, kTypeAudioMonoInTerminal}};
  for (const Case& c : cases) {
    KSModul* t = Insert(instrument, c.inserted);
    ASSERT_NE(t, nullptr);
    EXPECT_TRUE(t->IsType(c.expected));
    EXPECT_TRUE(t->IsMono());
    // A terminal's type index is the signal kind of the port it makes.
    if (t->IsCategory(kCatInTerminal))
      EXPECT_EQ(instrument->GetInPort(t->GetTerminalNo())->GetKind(), c.expected.type);
    else
      EXPECT_EQ(instrument->GetOutPort(t->GetTerminalNo())->GetKind(), c.expected.type);
  }
}

namespace {
struct RenderCase {
  float factor;
  int32_t frames;
};
} // namespace

class Render : public Model, public ::testing::WithParamInterface<RenderCase> {};

// The Audio In wired to the Audio Out through a macro: the sound passes
// unchanged in the frame it arrives, at the rate factor's resolution.
TEST_P(Render, TheInputComesOutThroughAMacro) {
  const RenderCase c = GetParam();
  KSModul* top = host.Top();
  KSModul* in = AddAudioIn();
  KSModul* out = AddAudioOut();
  KSModul* macro = Insert(top, kTypeMacro);
  for (int ch = 0; ch < 2; ++ch) {
    KSModul* inTerminal = Insert(macro, kTypeAudioMonoInTerminal);
    KSModul* outTerminal = Insert(macro, kTypeAudioMonoOutTerminal);
    ASSERT_EQ(Wire(inTerminal, 0, outTerminal, 0), 0);
    ASSERT_EQ(Wire(in, ch, macro, ch), 0);
    ASSERT_EQ(Wire(macro, ch, out, 2 + ch), 0);
  }
  host.SetRateFactor(c.factor);
  ASSERT_TRUE(Processed(in));
  ASSERT_TRUE(Processed(out));
  std::vector<float> input(size_t(c.frames) * 2), output(input.size());
  for (int32_t f = 0; f < c.frames; ++f) {
    input[2 * f] = 0.001f * float(f + 1);
    input[2 * f + 1] = -0.002f * float(f + 1);
  }
  for (int block = 0; block < 2; ++block) {
    host.Driver().Render(input.data(), output.data(), c.frames);
    for (int32_t f = 0; f < c.frames; ++f) {
      // At half rate every engine sample stands for two device frames: the first.
      int32_t source = c.factor < 1.0f ? f / 2 * 2 : f;
      ASSERT_EQ(output[2 * f], input[2 * source]) << "factor " << c.factor << " frame " << f;
      ASSERT_EQ(output[2 * f + 1], input[2 * source + 1]) << "factor " << c.factor << " frame " << f;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Factors, Render,
                         ::testing::Values(RenderCase{0.5f, 64}, RenderCase{1.0f, 64}, RenderCase{3.0f, 64}));

// Blocks run on another thread while the GUI thread takes a wire out and puts
// it back inside brackets: the engine lock keeps them apart (TSan build).
TEST_F(Model, EditingWhileBlocksRunOnAnotherThread) {
  KSModul* top = host.Top();
  KSModul* in = AddAudioIn();
  KSModul* out = AddAudioOut();
  KSModul* macro = Insert(top, kTypeMacro);
  KSModul* inTerminal = Insert(macro, kTypeAudioMonoInTerminal);
  KSModul* outTerminal = Insert(macro, kTypeAudioMonoOutTerminal);
  Wire(inTerminal, 0, outTerminal, 0);
  Wire(in, 0, macro, 0);
  Wire(macro, 0, out, 2);
  std::atomic<bool> stop{false};
  std::atomic<int> blocks{0};
  std::thread audio([&] {
    std::vector<float> input(256, 0.5f), output(256);
    while (!stop.load()) {
      host.Driver().Render(input.data(), output.data(), 128);
      for (int32_t f = 0; f < 128; ++f)
        if (output[2 * f] != 0.0f && output[2 * f] != 0.5f) std::abort();
      blocks.fetch_add(1);
    }
  });
  for (int i = 0; i < 100; ++i) {
    {
      TStructureChange bracket(top);
      out->GetInPort(2)->RemoveWire(macro->GetOutPort(0));
    }
    Wire(macro, 0, out, 2);
  }
  while (blocks.load() < 10) std::this_thread::yield();
  stop.store(true);
  audio.join();
  EXPECT_EQ(out->GetEngineRecord()->inputs[0][0], in->GetOutPort(0)->ValueFor(0));
}

TEST_F(Model, SourcesAreCollectedThroughSwitchesTerminalsAndMacros) {
  KSModul* top = host.Top();
  KSModul* a = Insert(top, kTypeSine);
  KSModul* b = Insert(top, kTypeSine);
  KSModul* sink = Insert(top, kTypeAudioSum2);
  KSModul* sw = Insert(top, kTypeAudioSwitch2); // two inputs, the first followed
  Wire(a, 0, sw, 0);
  Wire(b, 0, sw, 1);
  Wire(sw, 0, sink, 0);
  KInPort* port = sink->GetInPort(0);
  auto collected = [&] {
    port->CollectSources(port);
    std::vector<KSModul*> owners;
    for (int32_t i = 0; i < port->GetCollectedCount(); ++i) owners.push_back(port->GetCollected(i)->GetOwner());
    return owners;
  };
  EXPECT_EQ(collected(), (std::vector<KSModul*>{a}));
  sw->GetInPort(0)->SetDeselected();
  sw->GetInPort(1)->ClearDeselected();
  EXPECT_EQ(collected(), (std::vector<KSModul*>{b}));

  // Sw. 2x2: each output follows the first of its pair unless that is deselected.
  KSModul* x = Insert(top, kTypeSwitch2x2);
  KSModul* c = Insert(top, kTypeSine);
  KSModul* d = Insert(top, kTypeSine);
  Wire(a, 0, x, 0);
  Wire(b, 0, x, 1);
  Wire(c, 0, x, 2);
  Wire(d, 0, x, 3);
  Wire(x, 1, sink, 0);
  x->GetInPort(2)->ClearDeselected();
  EXPECT_EQ(collected(), (std::vector<KSModul*>{c}));
  x->GetInPort(2)->SetDeselected();
  EXPECT_EQ(collected(), (std::vector<KSModul*>{d}));

  // Through a macro: out terminal, its wire, the in terminal, the macro's input.
  KSModul* macro = Insert(top, kTypeMacro);
  KSModul* in = Insert(macro, kTypeAudioMonoInTerminal);
  KSModul* out = Insert(macro, kTypeAudioMonoOutTerminal);
  Wire(in, 0, out, 0);
  Wire(c, 0, macro, 0);
  Wire(macro, 0, sink, 0);
  EXPECT_EQ(collected(), (std::vector<KSModul*>{c}));
  out->Mute();
  EXPECT_TRUE(collected().empty()) << "a muted terminal gives no source";
  out->Unmute();
  macro->Mute();
  EXPECT_TRUE(collected().empty()) << "nor does a muted macro";
}

TEST_F(Model, TooManyCollectedSourcesAreReportedOnceAfterTheRebuild) {
  KSModul* top = host.Top();
  KSModul* sum = Insert(top, kTypeEventSum3);
  Wire(sum, 0, Insert(top, kTypeScope), 5);
  std::vector<KSModul*> switches;
  for (int i = 0; i < 4; ++i) {
    KSModul* sw = Insert(top, kTypeEventSwitch6); // six event inputs
    for (int k = 0; k < 6; ++k) {
      Wire(Insert(top, kTypeFader), 0, sw, k);
      sw->GetInPort(k)->ClearDeselected(); // follow every input: six sources each
    }
    switches.push_back(sw);
  }
  boxes.QueueAnswer(0);
  {
    TStructureChange bracket(top);
    for (KSModul* sw : switches) Wire(sw, 0, sum, 0);
    EXPECT_TRUE(boxes.Boxes().empty());
  }
  ASSERT_EQ(boxes.Boxes().size(), 1u) << "one box, however often the rebuild met the full list";
  EXPECT_EQ(boxes.Boxes()[0].text, "Too many wires on the inport.");
  EXPECT_EQ(sum->GetInPort(0)->GetCollectedCount(), 20);
  EXPECT_EQ(KSModul::GetBracketDepth(), 0);
  EXPECT_EQ(EngineCriticalSection().HeldDepth(), 0);
}

TEST_F(Model, MuteTravelsThroughTerminals) {
  KSModul* top = host.Top();
  KSModul* macro = Insert(top, kTypeMacro);
  KSModul* in = Insert(macro, kTypeAudioMonoInTerminal);
  KSModul* out = Insert(macro, kTypeAudioMonoOutTerminal);
  struct Case {
    const char* what;
    std::function<void()> mute, unmute;
    std::function<bool()> other;
  } const cases[] = {
      {"in terminal -> macro in-port", [&] { in->Mute(); }, [&] { in->Unmute(); },
       [&] { return macro->GetInPort(0)->IsMuted(); }},
      {"macro in-port -> in terminal", [&] { macro->GetInPort(0)->SetMute(); },
       [&] { macro->GetInPort(0)->ClearMute(); }, [&] { return in->IsMuted(); }},
      {"out terminal -> macro out-port", [&] { out->Mute(); }, [&] { out->Unmute(); },
       [&] { return macro->GetOutPort(0)->IsMuted(); }},
      {"macro out-port -> out terminal", [&] { macro->GetOutPort(0)->Mute(); },
       [&] { macro->GetOutPort(0)->Unmute(); }, [&] { return out->IsMuted(); }},
  };
  for (const Case& c : cases) {
    c.mute();
    EXPECT_TRUE(c.other()) << c.what;
    c.unmute();
    EXPECT_FALSE(c.other()) << c.what;
  }
  EXPECT_EQ(KSModul::GetBracketDepth(), 0);
}

TEST_F(Model, AVoiceCountChangeRebuildsTheRecordsAndTheirPointers) {
  KSModul* top = host.Top();
  top->GetOwnInstr()->SetVoiceCount(2);
  KSModul* out = AddAudioOut();
  KSModul* source = Insert(top, kTypeSine);
  KSModul* sink = Insert(top, kTypeAudioSum2);
  KSModul* sum = Insert(top, kTypeAudioVoiceCombiner);
  Wire(source, 0, sink, 0);
  Wire(sink, 0, sum, 0);
  Wire(sum, 0, out, 2);
  ASSERT_EQ(sink->GetEngineRecord()->voices, 2);
  {
    TStructureChange bracket(top);
    top->DetachFromEngine();
    EXPECT_EQ(sink->GetEngineRecord(), nullptr);
    top->GetOwnInstr()->SetVoiceCount(5);
    top->AttachToEngine();
  }
  TEngineRecord* r = sink->GetEngineRecord();
  ASSERT_NE(r, nullptr);
  ASSERT_EQ(r->voices, 5);
  for (int v = 0; v < 5; ++v) EXPECT_EQ(r->inputs[v][0], source->GetOutPort(0)->ValueFor(v));
  EXPECT_EQ(out->GetEngineRecord()->voices, 1);
  EXPECT_EQ(out->GetEngineRecord()->inputs[0][0], sum->GetOutPort(0)->ValueFor(0));
}

TEST_F(Model, ASoloSendsItsSourcesToTheAudioOut) {
  KSModul* top = host.Top();
  KSModul* out = AddAudioOut();
  KSModul* a = Insert(top, kTypeSine);
  KSModul* b = Insert(top, kTypeSine);
  Wire(a, 0, out, 2);
  Wire(b, 0, out, 3);
  struct Case {
    KOutPort *first, *second;
    float *left, *right;
  } const cases[] = {
      {b->GetOutPort(0), nullptr, b->GetOutPort(0)->ValueFor(0), b->GetOutPort(0)->ValueFor(0)},
      {b->GetOutPort(0), a->GetOutPort(0), b->GetOutPort(0)->ValueFor(0), a->GetOutPort(0)->ValueFor(0)},
      {nullptr, nullptr, &EngineZeroCell, &EngineZeroCell},
  };
  for (const Case& c : cases) {
    {
      TStructureChange bracket(top);
      KInPort::SetSoloSources(c.first, c.second);
      out->SetSoloFlag(true);
    }
    EXPECT_EQ(out->GetEngineRecord()->inputs[0][0], c.left);
    EXPECT_EQ(out->GetEngineRecord()->inputs[0][1], c.right);
  }
  {
    TStructureChange bracket(top);
    KInPort::SetSoloSources(b->GetOutPort(0), nullptr);
  }
  top->DeleteChild(b);
  EXPECT_EQ(KInPort::GetSoloSource(0), nullptr) << "a deleted port is no solo source";
  {
    TStructureChange bracket(top);
    out->SetSoloFlag(false);
  }
  EXPECT_EQ(out->GetEngineRecord()->inputs[0][0], a->GetOutPort(0)->ValueFor(0));
}
