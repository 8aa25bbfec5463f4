// The engine's block loop, clock, usage guard, routine slots and drivers.
#include "src/audio/audiohost.h"
#include "tests/engine/testhost.h"

#include "platform/fpu.h"
#include "src/engine/noaudio.h"
#include "src/base/settings.h"
#include "src/engine/routine_registry.h"
#include "src/engine/tables.h"
#include "src/engine/setup.h"
#include "src/engine/voice_state.h"

#include <gtest/gtest.h>

#include <cmath>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

using testhost::LooseModule;
using testhost::THost;
using testhost::TRoutinePatch;

namespace {

// Frames run so far by the spy slot routine, and what the spies saw.
int32_t spyFrames = 0;
std::vector<int32_t> controlFrames;
std::vector<int32_t> tickFrames;

void SpySlot() { ++spyFrames; }
void SpyControl(TEngineRecord*) { controlFrames.push_back(spyFrames); }
void SpyTick(TEngineRecord*) { tickFrames.push_back(spyFrames); }
void Nothing() {}

void ResetSpies() {
  spyFrames = 0;
  controlFrames.clear();
  tickFrames.clear();
}

std::vector<KSModul*> SlotModules() {
  std::vector<KSModul*> modules;
  for (int32_t i = 0; i < EngineSlots.count; ++i) modules.push_back(KSModul::Of(EngineSlots.records[i]->module));
  return modules;
}

void Render(THost& host, int32_t frames, std::vector<float>* out = nullptr) {
  std::vector<float> in(size_t(frames) * 2, 0.0f), local(size_t(frames) * 2);
  host.Driver().Render(in.data(), out ? (out->resize(local.size()), out->data()) : local.data(), frames);
}

} // namespace

TEST(Slots, AudioInFirstAudioOutLastOthersInSetUpOrder) {
  TRoutinePatch patch;
  RoutineTables().audio[kTypeAudioSum2] = Nothing;
  THost host;
  auto out = LooseModule(host, kTypeAudioOut, 0, 2, 7);
  auto a = LooseModule(host, kTypeAudioSum2);
  auto in = LooseModule(host, kTypeAudioIn, 0, 0, 6);
  auto b = LooseModule(host, kTypeAudioSum2);
  for (KSModul* m : {out.get(), a.get(), in.get(), b.get()}) host.Driver().PrepareModule(m);
  EXPECT_EQ(SlotModules(), (std::vector<KSModul*>{in.get(), a.get(), b.get(), out.get()}));
  EXPECT_EQ(host.Driver().GetAudioInModuleCount(), 1);
  EXPECT_EQ(host.Driver().GetAudioOutModuleCount(), 1);
  // Releasing the module of slot 1 closes the gap and keeps the order.
  host.Driver().ReleaseModule(a.get());
  EXPECT_EQ(SlotModules(), (std::vector<KSModul*>{in.get(), b.get(), out.get()}));
  EXPECT_EQ(a->GetEngineRecord(), nullptr);
  EXPECT_FALSE(host.Driver().IsPaused()) << "adding an Audio In pauses only around the change";
}

TEST(Slots, ReleasingTheMiddleOfFiveKeepsTheOthersInOrder) {
  TRoutinePatch patch;
  RoutineTables().audio[kTypeAudioSum2] = Nothing;
  THost host;
  std::vector<std::unique_ptr<KSModul>> m;
  for (int i = 0; i < 5; ++i) {
    m.push_back(LooseModule(host, kTypeAudioSum2));
    host.Driver().PrepareModule(m.back().get());
  }
  host.Driver().ReleaseModule(m[2].get());
  EXPECT_EQ(SlotModules(), (std::vector<KSModul*>{m[0].get(), m[1].get(), m[3].get(), m[4].get()}));
}

TEST(Slots, TheModuleThatTakesTheLastSlotIsMutedAndNoneGetsMore) {
  TRoutinePatch patch;
  RoutineTables().audio[kTypeAudioSum2] = Nothing;
  THost host;
  std::vector<std::unique_ptr<KSModul>> m;
  for (int i = 0; i < kMaxSlots + 1; ++i) {
    m.push_back(LooseModule(host, kTypeAudioSum2));
    host.Driver().PrepareModule(m.back().get());
  }
  EXPECT_EQ(host.Driver().GetSlotCount(), kMaxSlots);
  EXPECT_FALSE(m[kMaxSlots - 2]->IsMuted());
  EXPECT_TRUE(m[kMaxSlots - 1]->IsMuted());
  EXPECT_EQ(EngineSlots.records[kMaxSlots - 1]->module, m[kMaxSlots - 1].get());
  // The one past the limit still has a record (its events work) but no slot.
  EXPECT_NE(m[kMaxSlots]->GetEngineRecord(), nullptr);
  m.clear();
  EXPECT_EQ(host.Driver().GetSlotCount(), 0);
}

TEST(Slots, AVariantRoutineReplacesTheModulesSlotWithoutARebuild) {
  TRoutinePatch patch;
  RoutineTables().audio[kTypeAudioSum2] = Nothing;
  THost host;
  auto other = LooseModule(host, kTypeAudioSum2);
  auto m = LooseModule(host, kTypeAudioSum2);
  host.Driver().PrepareModule(other.get());
  host.Driver().PrepareModule(m.get());
  ResetSpies();
  host.Driver().ReplaceSlotRoutine(m.get(), SpySlot);
  EXPECT_EQ(EngineSlots.routines[0], Nothing);
  EXPECT_EQ(EngineSlots.routines[1], SpySlot);
  Render(host, 10);
  EXPECT_EQ(spyFrames, 10);
}

TEST(Slots, ATypeWithoutRoutineGetsARecordButNoSlot) {
  THost host;
  auto m = LooseModule(host, kTypeComment, 1, 2, 3);
  host.Driver().PrepareModule(m.get());
  ASSERT_NE(m->GetEngineRecord(), nullptr);
  EXPECT_EQ(host.Driver().GetSlotCount(), 0);
}

TEST(Records, InputsPointAtTheZeroCellStateIsClearVoicesFollowTheMonoFlag) {
  THost host;
  host.Top()->GetOwnInstr()->SetVoiceCount(6);
  auto poly = LooseModule(host, kTypeAudioProduct2, 2, 3, 4);
  auto mono = LooseModule(host, kTypeAudioProduct2, 0, 1, 1);
  mono->SetMonoFlag(true);
  host.Driver().PrepareModule(poly.get());
  host.Driver().PrepareModule(mono.get());
  TEngineRecord* r = poly->GetEngineRecord();
  ASSERT_EQ(r->voices, 6);
  for (int v = 0; v < 6; ++v) {
    for (int i = 0; i < 3; ++i) EXPECT_EQ(r->inputs[v][i], &EngineZeroCell);
    for (int w = 0; w < 4; ++w) EXPECT_EQ(r->state[v][w].u, 0u);
  }
  EXPECT_EQ(r->routeCounts[0], 0);
  EXPECT_EQ(r->routeCounts[1], 0);
  EXPECT_EQ(mono->GetEngineRecord()->voices, 1);
}

TEST(Records, ParameterWordsSurviveARebuild) {
  THost host;
  auto m = LooseModule(host, kTypeAudioSwitch2, 0, 0, 1);
  m->SetParamWord(2, 77);
  m->SetSourceWord(0, 5);
  host.Driver().PrepareModule(m.get());
  TEngineRecord* r = m->GetEngineRecord();
  EXPECT_EQ(r->params[2].i, 77);
  EXPECT_EQ(r->sources[0].i, 5);
  EXPECT_EQ(r->sources[3].i, 0);
  r->params[2].i = 78;
  r->sources[0].i = 6;
  host.Driver().ReleaseModule(m.get());
  EXPECT_EQ(m->GetParamWord(2), 78);
  EXPECT_EQ(m->GetSourceWord(0), 6);
}

TEST(Records, TypeInitialisations) {
  THost host;
  host.Top()->GetOwnInstr()->SetVoiceCount(3);
  struct Case {
    TModuleType type;
    int32_t voice, word;
    uint32_t bits;
  };
  const float minusOne = -1.0f, one = 1.0f, two = 2.0f;
  auto bitsOf = [](float f) {
    TWord w;
    w.f = f;
    return w.u;
  };
  const Case cases[] = {
      {kTypeNoise, 2, QV_WORD_AT(NoiseState, reg), 0xAFAA5505u},                     // the seed, every voice
      {kTypeSlowRandom, 0, QV_WORD_AT(SlowRandomState, reg), 0xAFAA5505u},           //
      {kTypeEventProduct3, 1, QV_WORD_AT(EventProductState, in[3]), bitsOf(one)},    // unit factors
      {kTypeEventProduct4, 0, QV_WORD_AT(EventProductState, in[0]), bitsOf(one)},    //
      {kTypeSpread, 2, QV_WORD_AT(SpreadState, rank), bitsOf(two)},                  // the voice number
      {kTypeSingleTriggerGate, 0, QV_WORD_AT(GateSourceState, voice), bitsOf(minusOne)}, //
  };
  for (const Case& c : cases) {
    auto m = LooseModule(host, c.type, 1, 0, 6);
    host.Driver().PrepareModule(m.get());
    ASSERT_GT(m->GetEngineRecord()->voices, c.voice);
    EXPECT_EQ(m->GetEngineRecord()->state[c.voice][c.word].u, c.bits) << c.type.category << ":" << c.type.type;
  }
}

TEST(Records, PrepareAndReleaseAThousandTimesLeavesNothingBehind) {
  THost host;
  host.Top()->GetOwnInstr()->SetVoiceCount(8);
  auto m = LooseModule(host, kTypeFourPoleFilterFm, 2, 2, 9);
  uint64_t before = EngineHeap().Used();
  for (int i = 0; i < 1000; ++i) {
    host.Driver().PrepareModule(m.get());
    TEngineRecord* r = m->GetEngineRecord();
    ASSERT_NE(r, nullptr);
    AppendRoute(r, 1, GetEventRoutine(3), r);
    host.Driver().ReleaseModule(m.get());
  }
  EXPECT_EQ(EngineHeap().Used(), before);
  EXPECT_EQ(host.Driver().GetSlotCount(), 0);
}

TEST(Routines, ARateFactorOutsideTheSixLeavesAudioInAndOutWithoutRoutine) {
  THost host(44100.0f, 1.25f);
  auto in = LooseModule(host, kTypeAudioIn, 0, 0, 6);
  host.Driver().PrepareModule(in.get());
  EXPECT_NE(in->GetEngineRecord(), nullptr);
  EXPECT_EQ(host.Driver().GetSlotCount(), 0);
  EXPECT_EQ(host.Driver().GetDriverRoutine(true), nullptr);
}

TEST(Routines, UnknownEventIdsAnswerARoutineThatDoesNothing) {
  for (int32_t id : {-1, 1, 2, kEventRoutineCount, 100000}) {
    TEventRoutine r = GetEventRoutine(id);
    ASSERT_NE(r, nullptr);
    r(nullptr, 0, 1.0f);
  }
}

TEST(BlockLoop, ControlRateRoutinesRunEveryPeriodPlusOneFrames) {
  TRoutinePatch patch;
  RoutineTables().audio[kTypeAudioSum2] = SpySlot;
  RoutineTables().controlRate[kTypeLfo] = SpyControl;
  THost host(44100.0f);
  host.Driver().SetControlRate(100);
  EXPECT_EQ(host.Driver().GetControlPeriod(), 440);
  auto spy = LooseModule(host, kTypeAudioSum2);
  auto lfo = LooseModule(host, kTypeLfo, 3, 5, 8);
  host.Driver().PrepareModule(spy.get());
  host.Driver().PrepareModule(lfo.get());
  ResetSpies();
  for (int i = 0; i < 10; ++i) Render(host, 100); // blocks need not line up with the period
  EXPECT_EQ(controlFrames, (std::vector<int32_t>{0, 441, 882}));
}

TEST(BlockLoop, RoutinesRunWithDenormalsFlushedToZero) {
  static bool sawModes;
  static float result;
  sawModes = false;
  TRoutinePatch patch;
  RoutineTables().audio[kTypeAudioSum2] = [] {
    sawModes = platform::DenormalsOff::Active();
    volatile float tiny = 1e-30f;
    result = tiny * 1e-10f; // a denormal without the modes
  };
  THost host;
  auto m = LooseModule(host, kTypeAudioSum2);
  host.Driver().PrepareModule(m.get());
  bool before = platform::DenormalsOff::Active();
  Render(host, 1);
  EXPECT_TRUE(sawModes);
  EXPECT_EQ(result, 0.0f);
  EXPECT_EQ(platform::DenormalsOff::Active(), before) << "the caller's modes come back after the block";
}

TEST(BlockLoop, ControlPeriodsOfTheUsualRates) {
  struct Case {
    float rate;
    int32_t hz, period;
  } const cases[] = {{44100.0f, 100, 440}, {48000.0f, 200, 239}, {33075.0f, 200, 165}};
  for (const Case& c : cases) {
    THost host(c.rate);
    host.Driver().SetControlRate(c.hz);
    EXPECT_EQ(host.Driver().GetControlPeriod(), c.period) << c.rate << " Hz at " << c.hz;
  }
}

TEST(BlockLoop, TheControlRateHasADefinedStart) {
  THost host(44100.0f);
  EXPECT_GT(host.Driver().GetControlRate(), 0);
  EXPECT_GT(host.Driver().GetControlPeriod(), 0);
}

TEST(Clock, TwentyFourTicksPerQuarterNote) {
  TRoutinePatch patch;
  RoutineTables().audio[kTypeAudioSum2] = SpySlot;
  RoutineTables().clockTick[kTypeClockTick] = SpyTick;
  THost host(48000.0f);
  host.Driver().SetTempo(120.0f);
  auto spy = LooseModule(host, kTypeAudioSum2);
  auto ticker = LooseModule(host, kTypeClockTick, 1, 0, 4);
  host.Driver().PrepareModule(spy.get());
  host.Driver().PrepareModule(ticker.get());
  ResetSpies();
  Render(host, 480);
  EXPECT_TRUE(tickFrames.empty()) << "no tick while the clock stands";
  ResetSpies();
  host.Driver().StartClock();
  EXPECT_TRUE(host.Driver().IsClockRunning());
  for (int i = 0; i < 100; ++i) Render(host, 480);
  ASSERT_EQ(tickFrames.size(), 48u);
  EXPECT_EQ(tickFrames[0], 0) << "the first frame after the start ticks at once";
  // Under external sync the block loop leaves the clock to MIDI.
  SetExternalSync(true);
  tickFrames.clear();
  for (int i = 0; i < 10; ++i) Render(host, 480);
  EXPECT_TRUE(tickFrames.empty());
  SetExternalSync(false);
  host.Driver().StopClock();
  EXPECT_EQ(host.clockStates, (std::vector<bool>{true, false}));
  tickFrames.clear();
  Render(host, 4800);
  EXPECT_TRUE(tickFrames.empty());
}

TEST(Clock, StopSendsZeroToTheDestinationsOfASetClockSource) {
  static std::vector<std::pair<int32_t, float>> received;
  received.clear();
  TRoutinePatch patch;
  RoutineTables().clockTick[kTypeClockTick] = [](TEngineRecord*) {};
  RoutineTables().event[3] = [](TEngineRecord*, int32_t voice, float value) { received.push_back({voice, value}); };
  THost host;
  host.Top()->GetOwnInstr()->SetVoiceCount(3);
  auto ticker = LooseModule(host, kTypeClockTick, 1, 0, 4);
  auto target = LooseModule(host, kTypeEventSum3, 1, 0, 4);
  host.Driver().PrepareModule(ticker.get());
  host.Driver().PrepareModule(target.get());
  TEngineRecord* r = ticker->GetEngineRecord();
  AppendRoute(r, 0, GetEventRoutine(3), target->GetEngineRecord());
  host.Driver().StartClock();
  constexpr int32_t kOut = QV_WORD_AT(SyncSourceState, out), kTicks = QV_WORD_AT(SyncSourceState, ticks);
  r->state[0][kOut].f = 1.0f;
  r->state[0][kTicks].i = 5;
  host.Driver().StopClock();
  EXPECT_EQ(r->state[0][kOut].f, 0.0f);
  EXPECT_EQ(r->state[0][kTicks].i, 0);
  EXPECT_EQ(received, (std::vector<std::pair<int32_t, float>>{{0, 0.0f}, {1, 0.0f}, {2, 0.0f}}));
}

TEST(Clock, TheFourHundredAndFirstListenerIsIgnored) {
  THost host;
  std::vector<TEngineRecord> records(401);
  for (auto& r : records) host.Driver().AddClockListener(&r);
  EXPECT_EQ(GetClockListenerCount(), 400);
  for (auto& r : records) host.Driver().RemoveClockListener(&r);
  EXPECT_EQ(GetClockListenerCount(), 0);
}

namespace {
uint64_t fakeNow = 0;
uint64_t costPerFrame = 0;
uint64_t FakeCounter() { return fakeNow; }
void CostlySlot() { fakeNow += costPerFrame; }
} // namespace

// The guard at 50000 Hz: 20000 counter ticks (ns) per frame are 100 %.
class UsageGuard : public ::testing::Test {
protected:
  void SetUp() override {
    SetEngineCounter(counter, 1000000000ull);
    fakeNow = 0;
    host = std::make_unique<THost>(50000.0f);
    RoutineTables().audio[kTypeAudioSum2] = CostlySlot;
    out = LooseModule(*host, kTypeAudioOut, 0, 2, 7);
    work = LooseModule(*host, kTypeAudioSum2);
    host->Driver().PrepareModule(work.get());
    host->Driver().PrepareModule(out.get());
  }
  void TearDown() override {
    work.reset();
    out.reset();
    host.reset();
    SetEngineCounter(nullptr, 0);
  }
  // Renders blocks of 500 frames; answers the loudest output sample.
  float Run(int blocks) {
    std::vector<float> in(1000, 0.5f), o(1000);
    float loudest = 0.0f;
    for (int i = 0; i < blocks; ++i) {
      host->Driver().Render(in.data(), o.data(), 500);
      for (float v : o) loudest = std::max(loudest, std::fabs(v));
    }
    return loudest;
  }
  TCounterRead counter = FakeCounter;
  TRoutinePatch patch;
  std::unique_ptr<THost> host;
  std::unique_ptr<KSModul> out, work;
};

TEST_F(UsageGuard, NinetySixPercentTripsOnceAndSilencesUntilCleared) {
  SetMaxUsage(95);
  costPerFrame = 19200;
  Run(150);
  EXPECT_NEAR(host->Driver().GetUsage(), 96.0f, 0.01f);
  EXPECT_TRUE(host->Driver().IsOverMaxUsage());
  Run(100);
  EXPECT_EQ(host->overloads.load(), 1);
  EXPECT_EQ(host->Driver().GetUsage(), 0.0f);
  int32_t before = int32_t(fakeNow / costPerFrame);
  Run(300);
  EXPECT_EQ(int32_t(fakeNow / costPerFrame), before) << "an overloaded engine runs no module";
  EXPECT_EQ(host->overloads.load(), 1) << "one report per trip";
  host->Driver().ClearOverload();
  Run(1);
  EXPECT_GT(int32_t(fakeNow / costPerFrame), before);
}

TEST_F(UsageGuard, NinetyFourPercentNeverTrips) {
  SetMaxUsage(95);
  costPerFrame = 18800;
  Run(600);
  EXPECT_EQ(host->overloads.load(), 0);
  EXPECT_FALSE(host->Driver().IsOverMaxUsage());
}

TEST_F(UsageGuard, TickUsageChecksAndRestartsTheCount) {
  SetMaxUsage(95);
  costPerFrame = 19200;
  Run(40); // 20000 frames: more than a tick's check, less than the block loop's
  EXPECT_EQ(host->overloads.load(), 0);
  host->Driver().TickUsage();
  EXPECT_EQ(host->overloads.load(), 1);
  EXPECT_EQ(host->Driver().GetUsage(), 0.0f);
}

TEST_F(UsageGuard, SwitchingMeasuringOffDuringAnOverloadThenClearingIsSafe) {
  SetMaxUsage(95);
  costPerFrame = 19200;
  host->Driver().SetSlotMeasuring(true);
  EXPECT_TRUE(host->Driver().IsSlotMeasuring());
  Run(10);
  EXPECT_GT(host->Driver().GetSlotUsage(0), 90.0f);
  Run(250);
  ASSERT_EQ(host->overloads.load(), 1);
  EXPECT_FALSE(host->Driver().IsSlotMeasuring()) << "an overloaded engine does not measure";
  host->Driver().SetSlotMeasuring(false);
  host->Driver().ClearOverload();
  EXPECT_FALSE(host->Driver().IsSlotMeasuring());
  Run(5);
  EXPECT_EQ(host->Driver().GetSlotUsage(0), 0.0f);
}

TEST_F(UsageGuard, MeasuringModeIsSilentAndCountsEachSlot) {
  SetMaxUsage(1000);
  costPerFrame = 10000;
  host->Driver().SetSlotMeasuring(true);
  EXPECT_EQ(Run(4), 0.0f);
  EXPECT_NEAR(host->Driver().GetSlotUsage(0), 50.0f, 0.01f);
  host->Driver().SetSlotMeasuring(false);
  EXPECT_EQ(host->Driver().GetSlotUsage(0), 0.0f) << "answers 0 with measuring off, whatever the table holds";
}

namespace {
int32_t counterReads = 0;
// Every read costs 50 ticks; the second read ever comes 10 ms late, as if the
// scheduler took the processor away between the first two reads.
uint64_t OnceStalledCounter() {
  fakeNow += 50;
  if (++counterReads == 2) fakeNow += 10000000;
  return fakeNow;
}
} // namespace

class UsageGuardStalledCounter : public UsageGuard {
protected:
  UsageGuardStalledCounter() {
    counter = OnceStalledCounter;
    counterReads = 0;
  }
};

// The cost of reading the counter, subtracted from every measured span, is
// not the one stalled pair: slots and blocks keep their true figures.
TEST_F(UsageGuardStalledCounter, AStalledFirstReadDoesNotEatTheFigures) {
  ASSERT_GE(counterReads, 2) << "the driver calibrates its counter when it is made";
  SetMaxUsage(1000);
  costPerFrame = 10000;
  host->Driver().SetSlotMeasuring(true);
  Run(4);
  EXPECT_NEAR(host->Driver().GetSlotUsage(0), 50.0f, 0.01f);
  host->Driver().SetSlotMeasuring(false);
  Run(4);
  EXPECT_NEAR(host->Driver().GetUsage(), 50.0f, 0.1f);
}

TEST(UsageGuardNoOutput, WithoutAnAudioOutNothingIsCounted) {
  THost host;
  Render(host, 480);
  EXPECT_EQ(host.Driver().GetUsage(), 0.0f);
  EXPECT_FALSE(host.Driver().IsOverMaxUsage());
}

TEST(Lifecycle, PauseNestsAndOnlyTheOutermostPairReachesTheDevice) {
  THost host;
  TOfflineAudio& d = host.Driver();
  d.Start();
  d.Pause();
  d.Pause();
  d.Resume();
  EXPECT_TRUE(d.IsPaused());
  EXPECT_EQ(d.GetDeviceCalls(TOfflineAudio::kResumeCall), 0);
  d.Resume();
  EXPECT_FALSE(d.IsPaused());
  EXPECT_EQ(d.GetDeviceCalls(TOfflineAudio::kPauseCall), 1);
  EXPECT_EQ(d.GetDeviceCalls(TOfflineAudio::kResumeCall), 1);
  d.Resume(); // unbalanced: ignored
  EXPECT_FALSE(d.IsPaused());
  d.Stop();
}

TEST(Lifecycle, StopWhilePausedResumesFirstAndTheDepthStays) {
  THost host;
  TOfflineAudio& d = host.Driver();
  d.Start();
  d.Pause();
  d.Stop();
  EXPECT_EQ(d.GetDeviceCalls(TOfflineAudio::kResumeCall), 1);
  EXPECT_EQ(d.GetDeviceCalls(TOfflineAudio::kStopCall), 1);
  EXPECT_TRUE(d.IsPaused());
  d.Start();
  EXPECT_EQ(d.GetDeviceCalls(TOfflineAudio::kPauseCall), 2) << "a later start pauses at once";
  d.Resume();
  d.Stop();
}

TEST(Lifecycle, TheEngineLockNestsOnTheGuiThread) {
  EXPECT_EQ(GetEngineLockDepth(), 0);
  {
    TEngineLock a;
    TEngineLock b;
    EXPECT_EQ(GetEngineLockDepth(), 2);
    EXPECT_EQ(EngineCriticalSection().HeldDepth(), 1);
  }
  EXPECT_EQ(GetEngineLockDepth(), 0);
  EXPECT_EQ(EngineCriticalSection().HeldDepth(), 0);
}

TEST(Lifecycle, ABlockWhoseLockIsTakenElsewhereIsSilent) {
  THost host;
  std::mutex m;
  std::condition_variable cv;
  bool held = false, release = false;
  std::thread holder([&] {
    EngineCriticalSection().Enter();
    {
      std::unique_lock<std::mutex> lock(m);
      held = true;
      cv.notify_all();
      cv.wait(lock, [&] { return release; });
    }
    EngineCriticalSection().Leave();
  });
  {
    std::unique_lock<std::mutex> lock(m);
    cv.wait(lock, [&] { return held; });
  }
  std::vector<float> in(200, 1.0f), out(200, 7.0f);
  uint32_t skipped = TAudioInOut::GetSkippedBlocks();
  EXPECT_FALSE(host.Driver().TryRender(in.data(), out.data(), 100));
  for (float v : out) ASSERT_EQ(v, 0.0f);
  EXPECT_EQ(TAudioInOut::GetSkippedBlocks(), skipped + 1) << "a skipped block is counted";
  {
    std::lock_guard<std::mutex> lock(m);
    release = true;
  }
  cv.notify_all();
  holder.join();
  EXPECT_TRUE(host.Driver().TryRender(in.data(), out.data(), 100));
}

// Sample maps, delay lines and record buffers take the processing rate from
// the audio services: it must follow the device's rate when a driver starts
// and the ensemble's rate factor whenever it changes.
TEST(Lifecycle, TheProcessingRateReachesTheAudioServicesAtStartAndOnEveryChange) {
  THost host(44100.0f, 2.0f);
  SetSampleRate(22050.0f);
  host.Driver().UpdateRateConstants();
  EXPECT_EQ(AudioServices().GetProcessingRate(), 44100.0f);
  // The device comes up at its own rate: starting makes it count.
  SetSampleRate(44100.0f);
  host.Driver().Start();
  EXPECT_EQ(AudioServices().GetProcessingRate(), 88200.0f);
  for (float factor : {0.5f, 0.75f, 1.0f, 1.5f, 3.0f}) {
    host.SetRateFactor(factor);
    EXPECT_EQ(AudioServices().GetProcessingRate(), 44100.0f * factor) << factor;
  }
  host.Driver().Stop();
}

TEST(Settings, MaxUsageIsReadAtConstructionAndStoredNegativeAsZero) {
  OpenSettings("EngineTest");
  WriteSettingInt(setting::MaxUsage, 80);
  {
    THost host;
    EXPECT_EQ(GetMaxUsage(), 80);
    SetMaxUsage(-5);
    EXPECT_EQ(GetMaxUsage(), 0);
    SetMaxUsage(120);
  }
  EXPECT_EQ(ReadSettingInt(setting::MaxUsage, 0), 120u) << "written back when the driver goes";
  WriteSettingInt(setting::MaxUsage, 95);
  SetMaxUsage(95);
}

namespace {
class TFakePortDriver : public TNoAudio {
public:
  TFakePortDriver(IAudioOwner* owner, int32_t type) : TNoAudio(owner), type_(type) {}
  int32_t GetType() override { return type_; }

private:
  int32_t type_;
};
bool cardPresent = false, mmePresent = false;
} // namespace

TEST(Factory, ChoosesTheDriverByTheSettingAmongTheAvailable) {
  OpenSettings("EngineTest");
  TAudioPort card, mme;
  card.available = [] { return cardPresent; };
  card.outputs = [] { return 8; };
  card.inputs = [] { return 2; };
  card.create = [](IAudioOwner* o) -> IAudioInOut* { return new TFakePortDriver(o, kAudioWerk); };
  mme.available = [] { return mmePresent; };
  mme.outputs = [] { return 2; };
  mme.inputs = [] { return 2; };
  mme.create = [](IAudioOwner* o) -> IAudioInOut* { return new TFakePortDriver(o, kAudioMultiMedia); };
  RegisterAudioPort(kAudioWerk, card);
  RegisterAudioPort(kAudioMultiMedia, mme);
  struct Case {
    const char* setting;
    bool card, mme;
    int32_t chosen;
    int32_t maxOutputs;
  } const cases[] = {
      {"MultiMedia", true, true, kAudioMultiMedia, 8},
      {"AudioWerk", false, true, kAudioMultiMedia, 2},
      {"", true, true, kAudioWerk, 8},
      {"Nonsense", true, true, kAudioWerk, 8},
      {"MultiMedia", false, false, kAudioNone, 2},
  };
  for (const Case& c : cases) {
    cardPresent = c.card;
    mmePresent = c.mme;
    WriteSettingStr(setting::AudioPort, c.setting);
    EXPECT_EQ(GetMaxAudioOutputs(), c.maxOutputs) << c.setting;
    IAudioInOut* driver = CreateAudioInOut(kAudioNone, nullptr);
    ASSERT_NE(driver, nullptr);
    EXPECT_EQ(driver->GetType(), c.chosen) << c.setting << " card " << c.card << " mme " << c.mme;
    driver->Close();
    EXPECT_EQ(ReadSettingStr(setting::AudioPort, "").Std(),
              c.chosen == kAudioNone ? std::string(c.setting) : AudioPortName(c.chosen).Std())
        << "the null driver leaves the setting alone";
  }
  EXPECT_EQ(CreateAudioInOut(kAudioActiveMovie, nullptr), nullptr);
  EXPECT_EQ(CreateAudioInOut(kAudioPelBoard, nullptr), nullptr);
  EXPECT_TRUE(IsAudioPortAvailable(kAudioNone));
  EXPECT_FALSE(IsAudioPortAvailable(kAudioMac));
  RegisterAudioPort(kAudioWerk, TAudioPort());
  RegisterAudioPort(kAudioMultiMedia, TAudioPort());
  WriteSettingStr(setting::AudioPort, "");
}

TEST(Factory, ARunningDriverCountsItsOwnTypeAsAvailable) {
  TAudioPort card;
  card.available = [] { return false; };
  card.create = [](IAudioOwner* o) -> IAudioInOut* { return new TFakePortDriver(o, kAudioWerk); };
  RegisterAudioPort(kAudioWerk, card);
  IAudioInOut* driver = new TFakePortDriver(nullptr, kAudioWerk);
  EXPECT_TRUE(IsAudioPortAvailable(kAudioWerk));
  driver->Delete();
  EXPECT_FALSE(IsAudioPortAvailable(kAudioWerk));
  RegisterAudioPort(kAudioWerk, TAudioPort());
}

namespace {
// An owner whose rate factor is a shared value, as the ensemble's is.
class TFactorOwner : public IAudioOwner {
public:
  void PostOverload() override {}
  float GetRateFactor() const override { return factor.Get(); }
  KSModul* GetAudioInModule() const override { return nullptr; }
  KSModul* GetAudioOutModule() const override { return nullptr; }
  KSModul* GetTopModule() const override { return nullptr; }
  void ClockStateChanged(bool) override {}
  void PostToGui(std::function<void()>) override { ADD_FAILURE() << "work was handed to a GUI thread this owner has not"; }
  TShared* GetRateFactorValue() const override { return const_cast<TSharedReal*>(&factor); }
  TSharedReal factor{0.5f, 3.0f, TStr()};
};
} // namespace

TEST(Factory, TheDriverFollowsTheRateFactorUntilClosed) {
  TFactorOwner owner;
  owner.factor.Set(1.0f);
  IAudioInOut* driver = CreateAudioInOut(kAudioNone, &owner);
  ASSERT_NE(driver, nullptr);
  owner.factor.Set(0.5f);
  EXPECT_EQ(EngineConstants.processingRate, 22050.0f);
  driver->Close();
  owner.factor.Set(3.0f); // no driver hears it any more
  EXPECT_EQ(EngineConstants.processingRate, 22050.0f);
}

TEST(NullDriver, RunsNoBlockAndReportsNothing) {
  IAudioInOut* driver = CreateNoAudio(nullptr);
  EXPECT_EQ(GetSampleRate(), 44100.0f);
  EXPECT_EQ(driver->GetType(), kAudioNone);
  EXPECT_EQ(driver->GetInputCount(), 2);
  EXPECT_EQ(driver->GetOutputCount(), 2);
  EXPECT_FALSE(driver->HasSettingsDialog());
  driver->Start();
  EXPECT_EQ(driver->GetUsage(), 0.0f);
  EXPECT_EQ(driver->GetInputLevel1(), 0.0f);
  driver->Stop();
  EXPECT_EQ(GetCurrentAudioInOut(), driver);
  driver->Close();
  EXPECT_EQ(GetCurrentAudioInOut(), nullptr);
}

TEST(Levels, TheAudioInTracksItsPeaksUntilTaken) {
  THost host;
  auto in = LooseModule(host, kTypeAudioIn, 0, 0, 6);
  host.Driver().PrepareModule(in.get());
  host.Driver().GetInputLevel1();
  host.Driver().GetInputLevel2();
  std::vector<float> input = {0.25f, -0.5f, -0.75f, 0.125f}, output(4);
  host.Driver().Render(input.data(), output.data(), 2);
  EXPECT_EQ(in->GetEngineRecord()->state[0][QV_WORD_AT(AudioInState, left)].f, -0.75f);
  EXPECT_EQ(in->GetEngineRecord()->state[0][QV_WORD_AT(AudioInState, right)].f, 0.125f);
  EXPECT_EQ(host.Driver().GetInputLevel1(), 0.75f);
  EXPECT_EQ(host.Driver().GetInputLevel2(), 0.5f);
  EXPECT_EQ(host.Driver().GetInputLevel1(), 0.0f) << "taking a level resets it";
}
