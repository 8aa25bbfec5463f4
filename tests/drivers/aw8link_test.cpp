// The card library through its exports, on the simulated card.
#include "tests/drivers/cardrig.h"
#include "tests/common/testkit.h"

#include "platform/fs.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <random>

namespace {

using cardrig::kThreadMode;
using cardrig::kTimerMode;
using cardrig::Recorder;
using platform::SimulatedCard;
namespace reg = platform::card_reg;

constexpr int32_t kN = 256;

// The library's device goes with each test.
class CardTest : public cardrig::CardTest {
protected:
  void TearDown() override {
    CloseAW8();
    cardrig::CardTest::TearDown();
  }
};

std::string FormatLog(const std::vector<SimulatedCard::LogEntry>& log) {
  std::string text;
  char line[64];
  for (const auto& e : log) {
    if (e.kind == SimulatedCard::LogEntry::Write) std::snprintf(line, sizeof line, "W %u 0x%08X\n", e.offset, e.value);
    else std::snprintf(line, sizeof line, "S %u\n", e.value);
    text += line;
  }
  return text;
}

std::vector<uint32_t> WritesTo(const std::vector<SimulatedCard::LogEntry>& log, uint32_t offset) {
  std::vector<uint32_t> values;
  for (const auto& e : log)
    if (e.kind == SimulatedCard::LogEntry::Write && e.offset == offset) values.push_back(e.value);
  return values;
}

TEST_F(CardTest, OpenWritesTheGoldenRegisterLog) {
  Recorder rec;
  TAw8OpenRecord open = rec.Open(kN, kTimerMode);
  ASSERT_EQ(OpenAW8(&open), 0);
  std::string golden;
  std::string path = testkit::SourceDir() + "/tests/drivers/golden/aw8_open.log";
  ASSERT_TRUE(platform::ReadWholeFile(path, golden)) << path;
  std::string actual = FormatLog(card_->Log());
  // QV_UPDATE_GOLDEN=1 writes the log as it now is (to be reviewed).
  if (const char* update = std::getenv("QV_UPDATE_GOLDEN"); update && *update == '1')
    ASSERT_TRUE(platform::ReplaceFileContent(path, actual));
  else
    EXPECT_EQ(actual, golden);
}

TEST_F(CardTest, StartProgramsTheSampleClockAndRunsBothDirections) {
  Recorder rec;
  TAw8OpenRecord open = rec.Open(kN, kTimerMode);
  ASSERT_EQ(OpenAW8(&open), 0);
  card_->ClearLog();
  ASSERT_EQ(StartAW8(), 0);
  auto log = card_->Log();
  // b = 44100 * 256 / 250 = 45158.
  EXPECT_EQ(WritesTo(log, reg::kI2cData), (std::vector<uint32_t>{0xC4CC60E8, 0x19000090, 0}));
  // The route of the start: play primed (no transfers), then record alone,
  // then both: the first slot word says which.
  EXPECT_EQ(WritesTo(log, reg::kSlotList1), (std::vector<uint32_t>{0x00820000, 0x20920000}));
  EXPECT_EQ(card_->Peek(reg::kAudioControl) & reg::kTransferMask, 3u << reg::kTransferShift);
  EXPECT_EQ(card_->Peek(reg::kMainControl) & 0xF, 0xBu) << "events of channels 0, 1 and 3 are on";
  // The stop goes back the same way: both stopped, record closed, play unprimed.
  card_->ClearLog();
  ASSERT_EQ(StopAW8(), 0);
  EXPECT_EQ(card_->Peek(reg::kAudioControl) & reg::kTransferMask, 0u);
  EXPECT_EQ(card_->Peek(reg::kMainControl) & 0xF, 0u);
  EXPECT_TRUE(WritesTo(card_->Log(), reg::kSlotList1).empty());
  // Started again, the clock is already programmed.
  card_->ClearLog();
  ASSERT_EQ(StartAW8(), 0);
  EXPECT_TRUE(WritesTo(card_->Log(), reg::kI2cData).empty());
  EXPECT_EQ(rec.Count(), 0u) << "starting and stopping never calls the client";
}

TEST_F(CardTest, BuffersOfTwoBlocksPerChannel) {
  Recorder rec;
  TAw8OpenRecord open = rec.Open(kN, kTimerMode);
  ASSERT_EQ(OpenAW8(&open), 0);
  EXPECT_EQ(card_->Allocations(), 3u);
  struct Expect {
    int channel;
    uint32_t bytes;
    uint32_t sizeCode;
  };
  for (Expect e : {Expect{0, 2048, 5}, Expect{1, 4096, 6}, Expect{2, 0, 0}, Expect{3, 4096, 6}}) {
    SCOPED_TRACE(e.channel);
    uint32_t base = reg::kDmaBase + reg::kDmaStride * uint32_t(e.channel);
    EXPECT_EQ(card_->Peek(base + 4), e.bytes);
    if (e.bytes) {
      EXPECT_EQ(card_->Peek(base + 8) & 0xFFF, (e.sizeCode | 0x80) << 4);
    }
  }
  ASSERT_EQ(CloseAW8(), 0);
  EXPECT_EQ(card_->Allocations(), 0u);
  EXPECT_EQ(card_->OpenHandles(), 0);
}

TEST_F(CardTest, TimerModeCallsPlayRecordPlayWithTheFreeBlocks) {
  Recorder rec;
  TAw8OpenRecord open = rec.Open(kN, kTimerMode);
  ASSERT_EQ(OpenAW8(&open), 0);
  ASSERT_EQ(StartAW8(), 0);
  Tick(); // no block has finished yet
  EXPECT_EQ(rec.Count(), 0u);
  std::vector<cardrig::Call> expected;
  for (int event = 1; event <= 4; ++event) {
    card_->Advance(kN);
    Tick();
    Tick(); // a second tick in the same block calls nothing
    auto calls = rec.Calls();
    ASSERT_EQ(calls.size(), size_t(3 * event));
    // After the card has finished block b it plays block 1 - b: the client
    // fills b and reads the record block b.
    uint32_t finished = uint32_t(event - 1) % 2;
    const cardrig::Call* c = &calls[size_t(3 * (event - 1))];
    EXPECT_EQ(c[0].kind, kAw8Play14);
    EXPECT_EQ(c[1].kind, kAw8Record);
    EXPECT_EQ(c[2].kind, kAw8Play58);
    EXPECT_EQ(c[0].words, 2 * kN);
    EXPECT_EQ(c[1].words, kN);
    EXPECT_EQ(c[2].words, 2 * kN);
    if (event > 2) {
      const cardrig::Call* before = c - 6;
      EXPECT_EQ(c[0].block, before[0].block) << "blocks alternate";
      EXPECT_EQ(c[1].block, before[1].block);
    }
    if (event > 1) {
      EXPECT_NE(c[0].block, (c - 3)[0].block);
    }
    (void)finished;
  }
}

// The client writes the number of each play call into every sample of the
// block it is given; the card plays that block after the one it is playing.
struct Counter {
  int32_t calls = 0;
  static void Fill(void* self, TAw8CallbackRecord* r) {
    if (r->kind != kAw8Play14) return;
    auto* c = static_cast<Counter*>(self);
    ++c->calls;
    auto* words = static_cast<uint32_t*>(r->block);
    uint32_t v = uint32_t(c->calls) & 0xFFFF;
    for (int32_t i = 0; i < r->words; ++i) words[i] = v | (v << 16);
  }
};

TEST_F(CardTest, WhatTheClientWritesIsPlayedOneBlockLater) {
  Recorder rec;
  Counter counter;
  rec.OnCall(&Counter::Fill, &counter);
  TAw8OpenRecord open = rec.Open(kN, kTimerMode);
  ASSERT_EQ(OpenAW8(&open), 0);
  ASSERT_EQ(StartAW8(), 0);
  constexpr int kBlocks = 6;
  for (int b = 0; b < kBlocks; ++b) {
    card_->Advance(kN);
    Tick();
  }
  std::vector<int16_t> out1 = card_->PlayedOutput(1), out4 = card_->PlayedOutput(4);
  ASSERT_EQ(out1.size(), size_t(kBlocks * kN));
  for (int b = 0; b < kBlocks; ++b) {
    SCOPED_TRACE(b);
    int16_t want = b < 2 ? 0 : int16_t(b - 1); // two primed silent blocks first
    for (int f = 0; f < kN; ++f) {
      ASSERT_EQ(out1[size_t(b * kN + f)], want) << "frame " << f;
      ASSERT_EQ(out4[size_t(b * kN + f)], want) << "frame " << f;
    }
  }
}

// The client keeps a copy of each record block.
struct Tape {
  std::vector<uint32_t> frames;
  static void Keep(void* self, TAw8CallbackRecord* r) {
    if (r->kind != kAw8Record) return;
    auto* t = static_cast<Tape*>(self);
    auto* words = static_cast<uint32_t*>(r->block);
    t->frames.insert(t->frames.end(), words, words + r->words);
  }
};

TEST_F(CardTest, AnInputRampArrivesInTheRecordBlocks) {
  for (int32_t input : {1, 0}) {
    SCOPED_TRACE(input);
    Recorder rec;
    Tape tape;
    tape.frames.reserve(8 * kN);
    rec.OnCall(&Tape::Keep, &tape);
    TAw8OpenRecord open = rec.Open(kN, kTimerMode, input);
    ASSERT_EQ(OpenAW8(&open), 0);
    ASSERT_EQ(StartAW8(), 0);
    uint64_t first = card_->Frames();
    card_->SetRecordSource([first](uint64_t frame) {
      uint32_t n = uint32_t(frame - first);
      return (n & 0xFFFF) | ((0x8000 - n) & 0xFFFF) << 16;
    });
    for (int b = 0; b < 4; ++b) {
      card_->Advance(kN);
      Tick();
    }
    ASSERT_EQ(tape.frames.size(), size_t(4 * kN));
    for (uint32_t n = 0; n < tape.frames.size(); ++n)
      ASSERT_EQ(tape.frames[n], (n & 0xFFFF) | ((0x8000 - n) & 0xFFFF) << 16) << "frame " << n;
    ASSERT_EQ(StopAW8(), 0);
    ASSERT_EQ(CloseAW8(), 0);
    card_->SetRecordSource(nullptr);
  }
}

TEST_F(CardTest, ThreadModeServesAboutFiftyOneEventsIn300Milliseconds) {
  Recorder rec;
  TAw8OpenRecord open = rec.Open(kN, kThreadMode);
  ASSERT_EQ(OpenAW8(&open), 0);
  ASSERT_EQ(StartAW8(), 0);
  // 300 ms of the card's clock in 5 ms steps; the driver wakes the thread
  // at each block's end.
  constexpr uint32_t kStep = 44100 * 5 / 1000;
  constexpr uint32_t kTotal = 44100 * 300 / 1000;
  for (uint32_t done = 0; done < kTotal; done += kStep) {
    uint32_t before = card_->EventsRaised(3);
    card_->Advance(std::min(kStep, kTotal - done));
    uint32_t raised = card_->EventsRaised(3);
    if (raised != before) {
      ASSERT_TRUE(rec.WaitForKind(kAw8Play58, raised)) << "event " << raised;
    }
  }
  ASSERT_EQ(StopAW8(), 0);
  EXPECT_EQ(card_->Registrations(), 1) << "the service thread registered with the driver";
  EXPECT_EQ(rec.Kind(kAw8Play14), kTotal / kN);
  EXPECT_EQ(rec.Kind(kAw8Record), kTotal / kN);
  EXPECT_EQ(rec.Kind(kAw8Play58), kTotal / kN);
  EXPECT_EQ(kTotal / kN, 51u);
}

// Random opening, starting, stopping and closing while the card runs: after
// every stop and close no call comes any more, and nothing is left behind.
TEST_F(CardTest, RandomStartStopCloseCyclesLeaveNoCallsBehind) {
  std::mt19937 random(20261210);
  Recorder rec;
  rec.SetStopped(true);
  bool open = false, started = false;
  for (int cycle = 0; cycle < 1000; ++cycle) {
    switch (random() % 6) {
    case 0:
      if (!open) {
        uint16_t mode = uint16_t(random() % 2);
        card_->UseTimer(random() % 2 ? &timer_ : nullptr); // the timer mode also with a real timer
        int32_t frames = int32_t(64 << (random() % 3));
        TAw8OpenRecord r = rec.Open(frames, mode);
        ASSERT_EQ(OpenAW8(&r), 0);
        open = true;
      }
      break;
    case 1:
      if (open && !started) {
        rec.SetStopped(false);
        StartAW8();
        started = true;
      }
      break;
    case 2:
      StopAW8();
      rec.SetStopped(true);
      started = false;
      break;
    case 3:
      CloseAW8();
      rec.SetStopped(true);
      open = started = false;
      ASSERT_EQ(card_->Allocations(), 0u);
      ASSERT_EQ(card_->OpenHandles(), 0);
      break;
    default:
      card_->Advance(uint32_t(random() % 600));
      timer_.Fire();
      break;
    }
  }
  CloseAW8();
  EXPECT_EQ(rec.LateCalls(), 0u);
  EXPECT_GT(rec.Count(), 0u);
  EXPECT_EQ(card_->OpenHandles(), 0);
}

TEST_F(CardTest, ExportsAnswerWithoutAndWithADevice) {
  EXPECT_EQ(CloseAW8(), 1);
  EXPECT_EQ(StartAW8(), 0);
  EXPECT_EQ(StopAW8(), 0);
  EXPECT_EQ(SetBufferLenAW8(300), 300);
  EXPECT_EQ(SetInputAW8(0), 0);
  for (int i = 1; i <= 2; ++i) {
    EXPECT_EQ(SupportedAW8(kTimerMode), 1);
    EXPECT_EQ(card_->Opens(), i) << "each probe opens the driver";
    EXPECT_EQ(card_->OpenHandles(), 0) << "and closes it";
  }
  EXPECT_TRUE(card_->Log().empty()) << "nothing above touched the card";

  Recorder first, second;
  TAw8OpenRecord a = first.Open(kN, kTimerMode), b = second.Open(2 * kN, kTimerMode);
  ASSERT_EQ(OpenAW8(&a), 0);
  EXPECT_EQ(OpenAW8(&b), 1) << "the first device stays";
  EXPECT_EQ(SetBufferLenAW8(512), 1);
  EXPECT_EQ(SetInputAW8(1), 1);
  EXPECT_EQ(SupportedAW8(kTimerMode), 1);
  EXPECT_EQ(card_->Peek(reg::kDmaBase + 4), uint32_t(kN) * 2 * 4);
  ASSERT_EQ(StartAW8(), 0);
  EXPECT_EQ(StartAW8(), 0) << "a second start leaves the running device alone";
  card_->Advance(kN);
  Tick();
  EXPECT_EQ(first.Count(), 3u);
  EXPECT_EQ(second.Count(), 0u);
  EXPECT_EQ(first.Calls()[0].words, 2 * kN);
}

struct FaultCase {
  const char* name;
  SimulatedCard::Faults faults;
  int32_t supported;
  bool calls;
};

TEST_F(CardTest, FaultsOfTheCardAreSurvived) {
  auto with = [](auto set) {
    SimulatedCard::Faults f;
    set(f);
    return f;
  };
  const FaultCase cases[] = {
      {"no driver", with([](auto& f) { f.noDriver = true; }), 0, false},
      {"wrong version", with([](auto& f) { f.wrongVersion = true; }), 0, false},
      {"wrong ids", with([](auto& f) { f.wrongIds = true; }), 0, false},
      {"no DMA memory", with([](auto& f) { f.allocationFails = true; }), 1, false},
      {"a position that does not reset (positions start at 0)", with([](auto& f) { f.positionSticks = true; }), 1, true},
      {"DMA errors", with([](auto& f) { f.dmaError = true; }), 1, true},
      {"an upload that never completes", with([](auto& f) { f.uploadStuck = true; }), 1, true},
      {"a busy I2C port", with([](auto& f) { f.i2cStuck = true; }), 1, true},
  };
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(c.name);
    card_ = &SimulatedCard::SwitchOn();
    card_->UseTimer(&timer_);
    card_->SetFaults(c.faults);
    EXPECT_EQ(SupportedAW8(kTimerMode), c.supported);
    Recorder rec;
    TAw8OpenRecord open = rec.Open(kN, kTimerMode);
    EXPECT_EQ(OpenAW8(&open), 0);
    EXPECT_EQ(StartAW8(), 0);
    for (int b = 0; b < 3; ++b) {
      card_->Advance(kN);
      timer_.Fire();
    }
    EXPECT_EQ(rec.Count() > 0, c.calls);
    if (c.faults.dmaError) {
      EXPECT_EQ(card_->Peek(reg::kStatus) & reg::kDmaErrorBit, 0u);
      EXPECT_GE(WritesTo(card_->Log(), reg::kEventStatus).size(), 3u) << "each error is cleared";
    }
    EXPECT_EQ(StopAW8(), 0);
    EXPECT_EQ(CloseAW8(), 0);
    EXPECT_EQ(card_->Allocations(), 0u);
    EXPECT_EQ(card_->OpenHandles(), 0);
  }
}

} // namespace
