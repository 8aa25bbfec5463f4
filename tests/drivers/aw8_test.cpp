// The engine's card driver, end to end through the card library and the
// simulated card.
#include "pc/audio/aw8.h"
#include "tests/drivers/cardrig.h"
#include "tests/mod/ensemble_fixture.h"

#include "src/base/settings.h"
#include "src/engine/voice_state.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

namespace {

using platform::SimulatedCard;
namespace reg = platform::card_reg;

class CardDriver : public cardrig::CardTest {
protected:
  void SetUp() override {
    cardrig::CardTest::SetUp();
    OpenSettings("Software\\Orvanta\\Quorvex");
    // Each test starts from the driver's defaults: the safe mode (the manual
    // timer serves the card) and 256 frames.
    WriteSettingInt("AWMode", 1);
    WriteSettingInt("AWBufSize", 256);
    WriteSettingInt("AWInAnalog", 1);
    RegisterAudioWerk();
  }
  void TearDown() override {
    ens_.reset();
    cardrig::CardTest::TearDown();
  }

  // An ensemble on the card driver, with an 8-channel Audio Out whose
  // channels all read `level` at gain 1.
  void Build(float factor) {
    ens_ = std::make_unique<KEnsemble>([](int32_t, IAudioOwner* owner) -> IAudioInOut* { return new TAudioWerk(owner); });
    ens_->SetOwner(&app_);
    ens_->SetRateFactor(factor);
    out_ = ens_->GetTopModule()->InsertModule(kTypeAudioOut, 3);
    ens_->SetAudioOutModule(out_);
    TEngineRecord* r = out_->GetEngineRecord();
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(r->audioInputs, TAudioWerk::kOutputs);
    TEngineLock lock;
    for (int32_t c = 0; c < r->audioInputs; ++c) r->inputs[0][c] = &level_;
    r->state[0][QV_WORD_AT(AudioOutState<TAudioWerk::kOutputs>, master)].f = 1.0f;
  }
  TAudioWerk& Driver() { return *dynamic_cast<TAudioWerk*>(ens_->GetAudio()); }
  // One block of the card's clock and one tick of its service.
  void Block(int32_t frames) {
    card_->Advance(uint32_t(frames));
    Tick();
  }

  ensfix::TMidiMakerScope maker_;
  ensfix::TApp app_;
  std::unique_ptr<KEnsemble> ens_;
  KSModul* out_ = nullptr;
  float level_ = 0.5f;
};

TEST(CardDriverFrames, BufferLengthsAreWholePatternsOfEveryRateFactor) {
  const std::pair<int32_t, int32_t> cases[] = {{256, 256}, {5000, 4408}, {4410, 4408}, {4411, 4408}, {4408, 4408},
                                               {257, 256},  {255, 252},   {441, 440},   {0, 16},     {-5, 16}};
  for (auto [asked, given] : cases) EXPECT_EQ(TAudioWerk::ValidFrames(asked), given) << asked;
}

TEST_F(CardDriver, AHalfAtFactorOneGives16384InEveryEnabledPlace) {
  Build(1.0f);
  const int32_t n = Driver().GetBufferLength();
  ASSERT_EQ(n, TAudioWerk::kDefaultFrames);
  const bool enabled[9] = {false, true, true, true, false, true, false, false, true};
  for (int32_t o = 1; o <= 8; ++o)
    if (enabled[o]) Driver().EnableOutput(o);
  ens_->StartDrivers();
  EXPECT_GE(sched_.Slept(), 600u) << "the card gets its pause before it opens";
  for (int b = 0; b < 4; ++b) Block(n);
  for (int32_t o = 1; o <= 8; ++o) {
    SCOPED_TRACE(o);
    std::vector<int16_t> played = card_->PlayedOutput(o);
    ASSERT_EQ(played.size(), size_t(4 * n));
    for (size_t f = 0; f < played.size(); ++f) {
      int16_t want = f < size_t(2 * n) || !enabled[o] ? 0 : 16384; // two primed blocks first
      ASSERT_EQ(played[f], want) << "frame " << f;
    }
  }
  EXPECT_NEAR(Driver().GetOutputLevel1(), 16384.0f / 32767.0f, 1e-6f);
  EXPECT_EQ(Driver().GetOutputLevel1(), 0.0f) << "taking the level resets it";
}

TEST_F(CardDriver, FactorThreeQuartersWithTheLargestBufferStaysInsideTheBlock) {
  WriteSettingInt("AWBufSize", 5000);
  Build(0.75f);
  const int32_t n = Driver().GetBufferLength();
  ASSERT_EQ(n, 4408);
  EXPECT_EQ(card_->Peek(reg::kDmaBase + 4), 0u) << "the card is not open before the start";
  for (int32_t o = 1; o <= 8; ++o) Driver().EnableOutput(o);
  ens_->StartDrivers();
  EXPECT_EQ(card_->Peek(reg::kDmaBase + reg::kDmaStride + 4), uint32_t(n) * 2 * 4 * 2);
  for (int b = 0; b < 4; ++b) Block(n);
  for (int32_t o : {1, 4, 5, 8}) {
    SCOPED_TRACE(o);
    std::vector<int16_t> played = card_->PlayedOutput(o);
    ASSERT_EQ(played.size(), size_t(4 * n));
    // The second block was primed silent while the first one was filled:
    // a write past the filled block would show at its start.
    for (int32_t f = n; f < 2 * n; ++f) ASSERT_EQ(played[size_t(f)], 0) << "frame " << f;
    // Every frame of a filled block is written, the last ones included.
    for (int32_t f = 3 * n; f < 4 * n; ++f) {
      ASSERT_GE(played[size_t(f)], 16383) << "frame " << f;
      ASSERT_LE(played[size_t(f)], 16384) << "frame " << f;
    }
  }
}

// The watchdog of one play call, made directly (the card is not needed).
TEST_F(CardDriver, TheWatchdogStopsTheEngineWhenTheControlThreadStarves) {
  Build(1.0f);
  Driver().EnableOutput(1);
  const int32_t n = Driver().GetBufferLength();
  std::vector<uint32_t> block(size_t(2 * n));
  auto playCall = [&] {
    std::fill(block.begin(), block.end(), 0xFFFFFFFFu);
    TAw8CallbackRecord r{&Driver(), block.data(), 2 * n, 0, 0, kAw8Play14};
    TAudioWerk::CardCallback(&r);
    return int16_t(block[0] & 0xFFFF); // output 1 of the first frame
  };
  struct Case {
    int32_t before;
    bool engineRuns;
    int32_t after;
    uint32_t requests;
  };
  const Case cases[] = {
      {0, false, 0, 1},
      {30, true, 29, 1},
      {31, true, 30, 0},
      {29, true, 28, 0},
      {100, true, 99, 0},
  };
  bool requested = false;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.before);
    // Let an earlier request be answered first: the control thread takes the
    // request, then arms the watchdog.
    auto answering = [&] {
      return Driver().IsRearmPending() || (requested && Driver().GetWatchdog() != TAudioWerk::kWatchdogArmed);
    };
    for (long spins = 0; spins < 200000000L && answering(); ++spins) std::this_thread::yield();
    ASSERT_FALSE(answering());
    requested = c.requests != 0;
    Driver().SetWatchdog(c.before);
    uint32_t requests = Driver().RearmRequests();
    int16_t sample = playCall();
    EXPECT_EQ(sample, c.engineRuns ? 16384 : 0);
    EXPECT_EQ(Driver().RearmRequests() - requests, c.requests);
    int32_t after = Driver().GetWatchdog();
    if (c.requests) EXPECT_TRUE(after == c.after || after == TAudioWerk::kWatchdogArmed) << after;
    else EXPECT_EQ(after, c.after);
  }
  // A request is answered by the control thread: the watchdog is armed again
  // and the next call runs the engine.
  Driver().SetWatchdog(0);
  playCall();
  for (long spins = 0; spins < 200000000L && Driver().GetWatchdog() != TAudioWerk::kWatchdogArmed; ++spins)
    std::this_thread::yield();
  ASSERT_EQ(Driver().GetWatchdog(), TAudioWerk::kWatchdogArmed);
  EXPECT_EQ(playCall(), 16384);
}

TEST_F(CardDriver, AHeldEngineLockGivesASilentBlockAndLeavesTheWatchdog) {
  Build(1.0f);
  Driver().EnableOutput(1);
  const int32_t n = Driver().GetBufferLength();
  std::vector<uint32_t> block(size_t(2 * n), 0xFFFFFFFFu);
  std::atomic<int> stage{0};
  std::thread holder([&] {
    TLockGuard guard(EngineCriticalSection());
    stage.store(1);
    while (stage.load() != 2) std::this_thread::yield();
  });
  while (stage.load() != 1) std::this_thread::yield();
  Driver().SetWatchdog(50);
  uint32_t requests = Driver().RearmRequests();
  TAw8CallbackRecord r{&Driver(), block.data(), 2 * n, 0, 0, kAw8Play14};
  TAudioWerk::CardCallback(&r);
  stage.store(2);
  holder.join();
  for (uint32_t w : block) ASSERT_EQ(w, 0u) << "the block is silent";
  EXPECT_EQ(Driver().GetWatchdog(), 50);
  EXPECT_EQ(Driver().RearmRequests(), requests);
}

TEST_F(CardDriver, RestartsOpenTheCardAgainWithTheNewValues) {
  Build(1.0f);
  ens_->StartDrivers();
  ASSERT_TRUE(Driver().IsCardRunning());
  Driver().SetBufferLength(5000);
  EXPECT_EQ(Driver().GetBufferLength(), 4408);
  EXPECT_EQ(card_->Peek(reg::kDmaBase + 4), 4408u * 4 * 2) << "the record channel of the new card";
  EXPECT_TRUE(Driver().IsCardRunning());
  Driver().SetInput(2);
  EXPECT_EQ(Driver().GetInput(), 0) << "only 1 selects the analog input";
  EXPECT_EQ(card_->Peek(reg::kInputSelect), 0x40u);
  Driver().SetInput(1);
  EXPECT_EQ(card_->Peek(reg::kInputSelect), 0x50u);
  Driver().SetMode(cardrig::kThreadMode);
  EXPECT_EQ(Driver().GetMode(), 0);
  ens_->GetAudio()->Pause();
  EXPECT_FALSE(Driver().IsCardRunning());
  ens_->GetAudio()->Resume();
  EXPECT_TRUE(Driver().IsCardRunning());
  const std::pair<int32_t, int32_t> ms[] = {{3, 128}, {6, 256}, {10, 441}};
  for (auto [in, frames] : ms) EXPECT_EQ(Driver().MsToFrames(in), frames) << in;
  ens_.reset();
  EXPECT_EQ(card_->OpenHandles(), 0) << "the driver closed the card";
  EXPECT_EQ(ReadSettingInt("AWBufSize", 0), 4408u);
  EXPECT_EQ(ReadSettingInt("AWMode", 9), 0u);
}

TEST_F(CardDriver, FastModeIsRememberedAsSafeUntilTheDriverEnds) {
  WriteSettingInt("AWMode", 0);
  WriteSettingInt("AWBufSize", 1024);
  Build(1.0f);
  EXPECT_EQ(Driver().GetMode(), 0);
  EXPECT_EQ(Driver().GetBufferLength(), 1024);
  EXPECT_EQ(ReadSettingInt("AWMode", 9), 1u);
  EXPECT_EQ(ReadSettingInt("AWBufSize", 0), 256u);
  ens_.reset();
  EXPECT_EQ(ReadSettingInt("AWMode", 9), 0u);
  EXPECT_EQ(ReadSettingInt("AWBufSize", 0), 1024u);
}

// A minimal owner for the factory.
class Owner : public IAudioOwner {
public:
  void PostOverload() override {}
  float GetRateFactor() const override { return 1.0f; }
  KSModul* GetAudioInModule() const override { return nullptr; }
  KSModul* GetAudioOutModule() const override { return nullptr; }
  KSModul* GetTopModule() const override { return nullptr; }
  void ClockStateChanged(bool) override {}
  void PostToGui(std::function<void()>) override { ADD_FAILURE() << "work was handed to a GUI thread this owner has not"; }
};

TEST_F(CardDriver, TheFactoryPrefersTheCardOnlyWhenTheCardAnswers) {
  Owner owner;
  IAudioInOut* driver = CreateAudioInOut(kAudioNone, &owner);
  ASSERT_NE(driver, nullptr);
  EXPECT_EQ(driver->GetType(), kAudioWerk);
  EXPECT_EQ(GetMaxAudioOutputs(), 8);
  driver->Delete();
  platform::SimulatedCard::SwitchOff();
  EXPECT_FALSE(IsAudioPortAvailable(kAudioWerk)) << "without a card no card is offered";
  driver = CreateAudioInOut(kAudioNone, &owner);
  ASSERT_NE(driver, nullptr);
  EXPECT_EQ(driver->GetType(), kAudioNone);
  driver->Delete();
}

} // namespace

namespace {

// The card's input through the Audio In module into the Audio Out, at every
// rate factor: a steady input comes out steady, every frame of a block is
// written, and the level is the conversions' own gain.
TEST_F(CardDriver, InputToOutputAtEveryRateFactor) {
  struct Case {
    float factor;
    int16_t low, high; // the steady output of a steady input of 8192
  };
  const Case cases[] = {
      {0.5f, 8192, 8192}, {0.75f, 8191, 8192}, {1.0f, 8192, 8192},
      {1.5f, 8191, 8192}, {2.0f, 8191, 8192},  {3.0f, 8109, 8110}, // 0.33 x 3 of the filter
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.factor);
    ens_.reset();
    card_ = &SimulatedCard::SwitchOn();
    card_->UseTimer(&timer_);
    Build(c.factor);
    KSModul* in = ens_->GetTopModule()->InsertModule(kTypeAudioIn, 3);
    ens_->SetAudioInModule(in);
    ASSERT_EQ(out_->GetInPort(2)->Connect(in->GetOutPort(0)), 0);
    ASSERT_EQ(out_->GetInPort(3)->Connect(in->GetOutPort(1)), 0);
    {
      TEngineLock lock;
      out_->GetEngineRecord()->state[0][QV_WORD_AT(AudioOutState<TAudioWerk::kOutputs>, master)].f = 1.0f;
    }
    card_->SetRecordSource([](uint64_t) { return uint32_t(8192) | uint32_t(uint16_t(-8192)) << 16; });
    const int32_t n = Driver().GetBufferLength();
    ens_->StartDrivers();
    constexpr int kBlocks = 6;
    for (int b = 0; b < kBlocks; ++b) Block(n);
    std::vector<int16_t> left = card_->PlayedOutput(1), right = card_->PlayedOutput(2);
    ASSERT_EQ(left.size(), size_t(kBlocks * n));
    // The input of a block plays two blocks later; the last block is steady.
    for (int32_t f = (kBlocks - 1) * n; f < kBlocks * n; ++f) {
      ASSERT_GE(left[size_t(f)], c.low) << "frame " << f;
      ASSERT_LE(left[size_t(f)], c.high) << "frame " << f;
      ASSERT_LE(right[size_t(f)], -c.low) << "frame " << f;
      ASSERT_GE(right[size_t(f)], -c.high) << "frame " << f;
    }
    EXPECT_NEAR(Driver().GetInputLevel1(), 0.25f * 1.0204081f, 1e-6f);
  }
}

} // namespace

namespace {

// The fast mode: the card library's service thread runs the engine while the
// GUI thread pauses, resumes and restarts the driver.
TEST_F(CardDriver, FastModeRunsTheEngineOnTheServiceThreadThroughRestarts) {
  WriteSettingInt("AWMode", 0);
  Build(1.0f);
  for (int32_t o = 1; o <= 8; ++o) Driver().EnableOutput(o);
  ens_->StartDrivers();
  // Each block the card finishes is served (play, record, play) before the
  // clock moves on, as a card's DMA would not wait.
  auto block = [&] {
    const int32_t n = Driver().GetBufferLength();
    uint32_t before = card_->EventsRaised(3);
    uint32_t calls = Driver().CardCalls();
    card_->Advance(uint32_t(n));
    if (card_->EventsRaised(3) == before || !Driver().IsCardRunning()) return;
    for (long spins = 0; spins < 200000000L && Driver().CardCalls() < calls + 3; ++spins) std::this_thread::yield();
    ASSERT_GE(Driver().CardCalls(), calls + 3);
  };
  for (int round = 0; round < 4; ++round) {
    for (int b = 0; b < 6; ++b) block();
    ens_->GetAudio()->Pause();
    block();
    ens_->GetAudio()->Resume();
    Driver().SetBufferLength(round % 2 ? 256 : 512);
  }
  card_->ClearPlayed();
  for (int b = 0; b < 4; ++b) block();
  std::vector<int16_t> played = card_->PlayedOutput(8);
  const size_t n = size_t(Driver().GetBufferLength());
  ASSERT_EQ(played.size(), 4 * n);
  for (size_t f = 2 * n; f < played.size(); ++f) ASSERT_EQ(played[f], 16384) << "frame " << f;
}

} // namespace
