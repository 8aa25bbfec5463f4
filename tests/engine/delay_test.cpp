// Delays, the diffuser, the grain delay, the scope and the tape decks
// through the offline driver.
#include "tests/engine/routine_rig.h"

#include "src/audio/buffers.h"
#include "src/engine/event_ids.h"
#include "src/engine/graph_render.h"
#include "src/engine/routine_registry.h"
#include "src/engine/sampler_routines.h"
#include "src/engine/voice_state.h"

#include <atomic>
#include <cmath>
#include <random>
#include <thread>

namespace {

using rig::TRig;

void Send(KSModul* m, int32_t id, float value, int32_t voice = 0) {
  GetEventRoutine(id)(m->GetEngineRecord(), voice, value);
}

std::vector<float> Impulse(int32_t frames) {
  std::vector<float> v(static_cast<size_t>(frames), 0.0f);
  v[0] = 1.0f;
  return v;
}

TEST(Delays, AStaticDelayOf10MsAt1000HzReturnsTheImpulseAtFrame10) {
  TRig r(1000.0f);
  KSModul* d = r.Add(kTypeStaticDelay);
  r.Feed(d, "In");
  r.Listen(d, "Out");
  r.Ready();
  Send(d, evDelayTime, 10.0f);
  const std::vector<float> out = r.Render(30, Impulse(30));
  for (int32_t k = 0; k < 30; ++k) EXPECT_EQ(out[size_t(k)], k == 10 ? 1.0f : 0.0f) << "frame " << k;
}

TEST(Delays, DelayTimesAtTheEndsGiveTheLongestAndNoDelay) {
  struct {
    float ms;
    int32_t frame;  // where the impulse comes out
  } const cases[] = {{0.0f, 0}, {-5.0f, 0}, {NAN, 0}, {2000.0f, 999}, {999.0f, 999}, {998.0f, 998}};
  for (const auto& c : cases) {
    TRig r(1000.0f);
    KSModul* d = r.Add(kTypeStaticDelay);
    r.Feed(d, "In");
    r.Listen(d, "Out");
    r.Ready();
    Send(d, evDelayTime, c.ms);
    const std::vector<float> out = r.Render(1100, Impulse(1100));
    for (int32_t k = 0; k < 1100; ++k)
      ASSERT_EQ(out[size_t(k)], k == c.frame ? 1.0f : 0.0f) << c.ms << " ms, frame " << k;
  }
}

TEST(Delays, ModDelayAtTenAndAHalfGivesTheMeanOfTaps10And11) {
  for (int32_t quality : {1, 2, 0}) {
    TRig r(1000.0f);
    KSModul* d = r.Add(kTypeModDelay);
    d->SetQuality(quality);
    r.Feed(d, "In");
    r.Listen(d, "Out");
    r.Ready();
    r.Constant(d, "Dly", 10.5f);
    const std::vector<float> out = r.Render(20, Impulse(20));
    for (int32_t k = 0; k < 20; ++k) {
      float expected = 0.0f;
      if (quality == 0) expected = k == 10 ? 1.0f : 0.0f;  // 'Poor' truncates
      else if (k == 10 || k == 11) expected = 0.5f;
      EXPECT_EQ(out[size_t(k)], expected) << "quality " << quality << " frame " << k;
    }
  }
}

TEST(Delays, TheDiffusersImpulseResponseStartsAtGAndKeepsTheEnergy) {
  TRig r;
  KSModul* d = r.Add(kTypeDiffuserDelay);
  r.Feed(d, "In");
  r.Listen(d, "Out");
  r.Ready();
  Send(d, evDelayTime, 7.0f);
  Send(d, evDiffusion, 0.5f);
  const std::vector<float> impulse = r.Render(4, Impulse(4));
  EXPECT_FLOAT_EQ(impulse[0], 0.5f);

  std::mt19937 gen(7);
  std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
  std::vector<float> in(44100);
  for (float& v : in) v = noise(gen);
  const std::vector<float> out = r.Render(44100, in);
  double ein = 0.0, eout = 0.0;
  for (size_t k = 0; k < in.size(); ++k) {
    ein += double(in[k]) * in[k];
    eout += double(out[k]) * out[k];
  }
  EXPECT_NEAR(eout / ein, 1.0, 0.01);
}

TEST(Delays, AVoiceWithoutALineLeavesTheZeroCellAlone) {
  for (TModuleType type : {kTypeStaticDelay, kTypeModDelay, kTypeDiffuserDelay, kTypeGrainDelay, kTypeScope}) {
    TRig r;
    KSModul* d = r.Add(type);
    r.Feed(d, "In");
    if (type != kTypeScope) r.Listen(d, type == kTypeGrainDelay ? "L" : "Out");
    r.Ready();
    d->GetDelayBuffer()->SetLengthMs(0);  // lines of no frames: no line at all
    Send(d, type == kTypeDiffuserDelay ? evDelayTime : evNothing, 5.0f);
    if (type == kTypeScope) Send(d, evScopeTrigger, 1.0f);
    std::vector<float> ones(1000, 1.0f);
    r.Render(1000, ones);
    EXPECT_EQ(EngineZeroCell, 0.0f) << "type " << type.type;
  }
}

TEST(Delays, EveryVoiceOfAPolyphonicDelayHasALineOfItsOwn) {
  TRig r(1000.0f, 3);
  KSModul* d = r.Add(kTypeStaticDelay);
  KSModul* sum = r.Add(kTypeAudioVoiceCombiner);  // all voices into the one-voice output
  r.Wire(d, "Out", sum, "In");
  r.Listen(sum, "Out");
  r.Ready();
  TEngineRecord* rec = d->GetEngineRecord();
  ASSERT_EQ(rec->voices, 3);
  EXPECT_EQ(d->GetDelayBuffer()->GetLineCount(), 3);
  const auto* v0 = rec->state.Record<DelayVoiceState>(0);
  const auto* v2 = rec->state.Record<DelayVoiceState>(2);
  ASSERT_TRUE(v0->begin && v2->begin);
  EXPECT_NE(v0->begin, v2->begin);
  EXPECT_EQ(v0->end - v0->begin, 1000);
}

TEST(GrainDelay, AtUnitPitchTheTapFollowsTheDelayAndReportsIt) {
  TRig r(1000.0f);
  KSModul* d = r.Add(kTypeGrainDelay);
  r.Feed(d, "In");
  r.Listen(d, "L");
  r.Ready();
  r.Constant(d, "Dly", 21.0f);  // n = 20 frames
  r.Constant(d, "Pan", -1.0f);  // left gain = 1
  r.Constant(d, "Sm", 0.0005f);  // the crossfade takes a frame
  r.Constant(d, "Gr", 1000.0f);
  std::vector<float> in(200);
  for (size_t k = 0; k < in.size(); ++k) in[k] = float(k);
  const std::vector<float> out = r.Render(200, in);
  const auto& s = *reinterpret_cast<GrainDelayVoiceState*>(r.Contiguous(d));
  EXPECT_EQ(s.current.increment, 1.0f);
  // The grain starts 20 frames behind the write position (21 ms less one
  // frame) and its tap steps once before each read: 19 frames late.
  for (size_t k = 19; k < 200; ++k) ASSERT_NEAR(out[k], float(k) - 19.0f, 1e-3f) << k;
}

TEST(GrainDelay, TheWriteCounterStaysWithinTwoRingsForever) {
  TRig r(1000.0f);
  KSModul* d = r.Add(kTypeGrainDelay);
  r.Listen(d, "L");
  r.Ready();
  auto& s = *reinterpret_cast<GrainDelayVoiceState*>(r.Contiguous(d));
  ASSERT_EQ(s.mask, 511u);
  s.writeCounter = 1023;
  s.current.position = 1000;
  r.Render(1);
  EXPECT_GE(s.writeCounter, 512u);
  EXPECT_LT(s.writeCounter, 1024u);
  EXPECT_LE(s.current.position, int32_t(s.writeCounter));
}

// ---------------------------------------------------------------------------
// Tape decks

struct TDeck {
  explicit TDeck(TModuleType type) : r(1000.0f) {
    deck = r.Add(type);
    r.Feed(deck, type == kTypeTapedeck1 ? "In" : "In L");
    r.Listen(deck, type == kTypeTapedeck1 ? "Out" : "L");
    r.Ready();
    deck->GetRecordBuffer()->SetLengthMs(8);  // 8 frames
  }
  TRig r;
  KSModul* deck = nullptr;
};

TEST(Tapedecks, RecordFullScaleAsTheExtremesOf16Bits) {
  TDeck t(kTypeTapedeck1);
  auto& s = *reinterpret_cast<TapedeckVoiceState*>(t.r.Contiguous(t.deck));
  ASSERT_EQ(s.end - s.begin, 8);
  Send(t.deck, evTapeRecord, 1.0f);
  const std::vector<float> out = t.r.Render(4, {1.0f, -1.0f, 2.0f, NAN});
  EXPECT_EQ(out[0], 0.999969482421875f) << "the monitor passes the clipped input";
  EXPECT_EQ(s.begin[0], 32767);
  EXPECT_EQ(s.begin[1], -32768);
  EXPECT_EQ(s.begin[2], 32767);
  EXPECT_EQ(s.begin[3], -32768);
  Send(t.deck, evTapeRecord, 0.0f);
  EXPECT_EQ(t.deck->GetRecordBuffer()->GetRecordedLength(), 4);
}

TEST(Tapedecks, PlayBackLoopAndStopWhenFull) {
  TDeck t(kTypeTapedeck1);
  auto& s = *reinterpret_cast<TapedeckVoiceState*>(t.r.Contiguous(t.deck));
  Send(t.deck, evTapeRecord, 1.0f);
  std::vector<float> in{0.5f, 0.25f, -0.5f, 0.125f, 0.0f, 0.75f, -0.25f, 0.5f, 0.9f, 0.9f};
  t.r.Render(10, in);
  EXPECT_EQ(s.record, nullptr) << "a full buffer stops recording";
  EXPECT_EQ(s.recordedEnd, s.end) << "and the whole buffer is the recording";
  EXPECT_EQ(t.deck->GetRecordBuffer()->GetRecordedLength(), 8);

  Send(t.deck, evTapeLoop, 1.0f);
  Send(t.deck, evTapePlay, 1.0f);
  const std::vector<float> looped = t.r.Render(16);
  for (size_t k = 0; k < 16; ++k) EXPECT_EQ(looped[k], in[k % 8]) << k;
  Send(t.deck, evTapeLoop, 0.0f);
  const std::vector<float> rest = t.r.Render(10, std::vector<float>(10, 0.3f));
  for (size_t k = 0; k < 8; ++k) EXPECT_EQ(rest[k], in[k]) << k;
  EXPECT_EQ(s.play, nullptr);
  EXPECT_EQ(rest[9], 0.3f) << "stopped, the monitor is back";
}

TEST(Tapedecks, TheStereoDeckKeepsInterleavedPairs) {
  TDeck t(kTypeTapedeck2);
  t.r.Constant(t.deck, "In R", -1.0f);
  auto& s = *reinterpret_cast<StereoTapedeckVoiceState*>(t.r.Contiguous(t.deck));
  Send(t.deck, evTapeRecord, 1.0f);
  t.r.Render(3, {1.0f, 0.5f, 0.0f});
  Send(t.deck, evTapeRecord, 0.0f);
  EXPECT_EQ(s.begin[0], 32767);
  EXPECT_EQ(s.begin[1], -32768);
  EXPECT_EQ(s.begin[2], 16384);
  EXPECT_EQ(t.deck->GetRecordBuffer()->GetRecordedLength(), 3);
  Send(t.deck, evTapePlay, 1.0f);
  t.r.Render(2);
  EXPECT_EQ(s.left, 0.5f);
  EXPECT_EQ(s.right, -1.0f);
}

// ---------------------------------------------------------------------------
// Scope

TEST(Scope, CapturesAfterATriggerAndReadsOutWithinTheCapture) {
  TRig r(1000.0f);
  KSModul* scope = r.Add(kTypeScope);
  r.Feed(scope, "In");
  r.Ready();
  Send(scope, evScopeTimePos, 0.0f);
  Send(scope, evScopeTimeScale, 10.0f);  // 10 frames shown
  Send(scope, evScopeYScale, 2.0f);
  Send(scope, evScopeYPos, 0.25f);
  Send(scope, evScopeTrigger, 1.0f);
  std::vector<float> in(20);
  for (size_t k = 0; k < in.size(); ++k) in[k] = float(k);
  r.Render(20, in);
  EXPECT_EQ(scope->GetCtrlValue(), 1) << "the panel is told the data is ready";
  TEngineRecord* rec = scope->GetEngineRecord();
  TRecordRoutine renderer = GetGraphRenderer(0, 165);
  ASSERT_TRUE(renderer);
  // Read-out through the engine: 0 ... 1 spans the 10 frames.
  const auto& s = *rec->state.Record<ScopeVoiceState>(0);
  EXPECT_EQ(s.scale, 0.5f);
  EXPECT_EQ(s.ready - s.begin, 11);
  EXPECT_EQ(s.begin[5], 5.0f);
  // A trigger while the panel has not taken the data does not re-arm.
  const float* capture = s.capture;
  Send(scope, evScopeTrigger, 1.0f);
  EXPECT_EQ(s.capture, capture);
  EXPECT_NE(s.ready, nullptr);
  scope->SetCtrlValue(0);
  Send(scope, evScopeTrigger, 1.0f);
  EXPECT_EQ(s.capture, s.begin);
  EXPECT_EQ(s.ready, nullptr);
}

TEST(Scope, AHugeOrNegativeTimeKeepsTheMarkInsideTheLine) {
  TRig r(1000.0f);
  KSModul* scope = r.Add(kTypeScope);
  r.Ready();
  ASSERT_TRUE(scope->GetEngineRecord()) << "a display is processed for itself";
  const auto& s = *reinterpret_cast<ScopeVoiceState*>(r.Contiguous(scope));
  for (float t : {-5.0f, 1.0e30f, NAN}) {
    Send(scope, evScopeTimePos, t);
    EXPECT_GE(s.mark, s.begin);
    EXPECT_LE(s.mark, s.end);
  }
}

} // namespace

namespace {

TEST(Scope, TheReadOutHoldsANegativeStartToTheFirstFrame) {
  TRig r(1000.0f);
  KSModul* scope = r.Add(kTypeScope);
  r.Feed(scope, "In");
  r.Ready();
  Send(scope, evScopeTimePos, -50.0f);  // a display start before the capture
  Send(scope, evScopeTimeScale, 10.0f);
  Send(scope, evScopeYScale, 1.0f);
  Send(scope, evScopeTrigger, 1.0f);
  std::vector<float> in(30, 0.0f);
  in[0] = 0.5f;
  r.Render(30, in);
  std::vector<float> columns(8, 0.0f);
  RenderGraph(165, scope->GetEngineRecord(), columns.data(), 8, 11);
  // Column 0 stands for frame -50, held to frame 0: (0.5 + 1) x 10 x 0.5.
  EXPECT_FLOAT_EQ(columns[0], 7.5f);
}

} // namespace

namespace {

// The panel reads the scope's trace on the GUI thread, without the lock,
// while the audio thread captures and re-arms: the trace, the ready mark and
// the settings are shared words (the thread sanitizer build checks it).
TEST(Scope, ThePanelReadsTheTraceWhileTheAudioThreadCaptures) {
  TRig r(1000.0f);
  KSModul* scope = r.Add(kTypeScope);
  r.Feed(scope, "In");
  r.Ready();
  Send(scope, evScopeTimePos, 0.0f);
  Send(scope, evScopeTimeScale, 10.0f);
  Send(scope, evScopeYScale, 1.0f);
  Send(scope, evScopeYPos, 0.0f);
  constexpr int32_t kWidth = 8, kHeight = 11;
  const std::vector<float> half(64, 0.5f);
  std::atomic<bool> done{false};
  std::thread audio([&] {
    for (int block = 0; block < 300; ++block) {
      Send(scope, evScopeTrigger, 1.0f);
      Send(scope, evScopeYPos, block % 2 == 0 ? 0.0f : 0.25f);
      r.Render(64, half);
    }
    done = true;
  });
  std::vector<float> columns(kWidth);
  while (!done.load()) {
    // What the graph view does when the display pass finds the mark.
    if (scope->GetCtrlValue() != 0) {
      scope->SetCtrlValue(0);
      RenderGraph(kTypeScope.type, scope->GetEngineRecord(), columns.data(), kWidth, kHeight);
    }
  }
  audio.join();
  // A last capture, read alone: 0.5 shown at three quarters of the height.
  scope->SetCtrlValue(0);
  Send(scope, evScopeYPos, 0.0f);
  Send(scope, evScopeTrigger, 1.0f);
  r.Render(20, std::vector<float>(20, 0.5f));
  ASSERT_EQ(scope->GetCtrlValue(), 1);
  RenderGraph(kTypeScope.type, scope->GetEngineRecord(), columns.data(), kWidth, kHeight);
  for (float c : columns) EXPECT_FLOAT_EQ(c, 1.5f * float(kHeight - 1) * 0.5f);
}

} // namespace
