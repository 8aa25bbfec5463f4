// The card library's units on their own: register rules, the state machine
// and the time-slot words.
#include "aw8link/pxddev.h"
#include "tests/drivers/cardrig.h"

#include <gtest/gtest.h>

#include <map>
#include <utility>

namespace {

using cardrig::CardTest;
using platform::SimulatedCard;
namespace reg = platform::card_reg;

class Device : public aw8::PxDDev {
public:
  explicit Device(int32_t frames = 256) : PxDDev(0, cardrig::kTimerMode, frames) { OpenGate(); }
  int clientCalls = 0;

protected:
  void HandleEvents(uint32_t) override {}
  void ClientCall(int, uint32_t*, int32_t) override { ++clientCalls; }
};

class Probe : public aw8::SpciIo {
public:
  Probe() : SpciIo(0, cardrig::kTimerMode, false) {}

protected:
  void HandleEvents(uint32_t) override {}
};

TEST(CardStates, FlagsAndMovesAsTheDeviceDefinesThem) {
  using namespace aw8;
  // Flags of each state, F0 first.
  const char* rows[kStates] = {"0000000", "0000000", "1000000", "1111000", "1110101", "1111101",
                               "1001010", "1000101", "1001111", "1001000", "1000100", "1001100"};
  for (int s = 0; s < kStates; ++s) {
    uint32_t flags = 0;
    for (int f = 0; f < 7; ++f)
      if (rows[s][f] == '1') flags |= 1u << f;
    EXPECT_EQ(StateFlags(s), flags) << "state " << s;
  }
  // The moves besides command 1, which leads everywhere to 1.
  const std::map<std::pair<int, int>, int> moves = {
      {{1, 0}, 2}, {{2, 2}, 3},  {{2, 3}, 4},  {{3, 3}, 5},  {{3, 4}, 6},  {{3, 6}, 2},  {{4, 2}, 5},
      {{4, 4}, 7}, {{4, 7}, 2},  {{5, 4}, 8},  {{5, 6}, 4},  {{5, 7}, 3},  {{6, 5}, 9},  {{7, 5}, 10},
      {{8, 4}, 8}, {{8, 5}, 11}, {{9, 6}, 2},  {{10, 7}, 2}, {{11, 5}, 11}, {{11, 6}, 10}, {{11, 7}, 9},
  };
  for (int s = 0; s < kStates; ++s) {
    for (int c = 0; c < kCommands; ++c) {
      auto it = moves.find({s, c});
      int want = c == kCmdClose ? 1 : it != moves.end() ? it->second : kNoMove;
      EXPECT_EQ(NextState(s, c), want) << "state " << s << " command " << c;
    }
  }
}

TEST_F(CardTest, CommandsMoveTheDeviceAndAFailedStepKeepsItsState) {
  Device d;
  EXPECT_EQ(d.State(), aw8::kStateOpen);
  const std::pair<int, int> route[] = {{2, 3}, {3, 5}, {4, 8}, {5, 11}, {7, 9}, {6, 2}};
  for (auto [command, state] : route) {
    EXPECT_EQ(d.Command(command), 0);
    EXPECT_EQ(d.State(), state) << "after command " << command;
  }
  EXPECT_EQ(d.clientCalls, 3) << "two primings (play 1-4, 5-8) and the final record call";
  int reports = aw8::ReportCount();
  EXPECT_EQ(d.Command(aw8::kCmdAllocate), -1) << "not a command of the open state";
  EXPECT_EQ(d.State(), 0);
  EXPECT_GT(aw8::ReportCount(), reports);

  Device sticky;
  card_->SetFaults([] {
    SimulatedCard::Faults f;
    f.positionSticks = true;
    return f;
  }());
  ASSERT_EQ(sticky.Command(aw8::kCmdPrimePlay), 0);
  card_->Advance(100); // nothing runs: the position only moves while transfers run
  EXPECT_EQ(sticky.Command(aw8::kCmdRecord), 0) << "positions are still 0";
  EXPECT_EQ(sticky.State(), 5);
  card_->SetFaults({});
  EXPECT_EQ(sticky.Command(aw8::kCmdPlay), 0);
  card_->Advance(100);
  card_->SetFaults([] {
    SimulatedCard::Faults f;
    f.positionSticks = true;
    return f;
  }());
  EXPECT_EQ(sticky.Command(aw8::kCmdStopBoth), 0);
  EXPECT_EQ(sticky.Command(aw8::kCmdCloseRecord), 0);
  EXPECT_EQ(sticky.Command(aw8::kCmdUnprimePlay), 0);
  EXPECT_EQ(sticky.Command(aw8::kCmdPrimePlay), 0);
  EXPECT_EQ(sticky.Command(aw8::kCmdRecord), -1) << "the record position did not reset";
  EXPECT_EQ(sticky.State(), 3);
}

TEST_F(CardTest, RegisterOffsetsOutsideTheCardAreNotAccessed) {
  Probe io;
  card_->ClearLog();
  int reports = aw8::ReportCount();
  io.Write(512, 1);
  EXPECT_EQ(io.Read(600), 0u);
  EXPECT_EQ(aw8::ReportCount(), reports + 2);
  io.Write(6, 1);
  EXPECT_EQ(io.Read(6), 0u);
  EXPECT_EQ(aw8::ReportCount(), reports + 2) << "an offset between words is silently skipped";
  EXPECT_TRUE(card_->Log().empty());
  io.Write(508, 7);
  EXPECT_EQ(io.Read(508), 7u);
}

TEST_F(CardTest, WaitsOnTheCardAreBounded) {
  Probe io;
  SimulatedCard::Faults f;
  f.uploadStuck = true;
  f.i2cStuck = true;
  card_->SetFaults(f);
  int reports = aw8::ReportCount();
  io.Write(0, 0, true);
  EXPECT_EQ(aw8::ReportCount(), reports + 1);
  io.WaitI2c();
  EXPECT_EQ(aw8::ReportCount(), reports + 2);
  card_->SetFaults({});
  card_->ClearLog();
  io.Write(0, 0, true);
  EXPECT_EQ(aw8::ReportCount(), reports + 2);
  EXPECT_EQ(card_->Log(), (std::vector<SimulatedCard::LogEntry>{{SimulatedCard::LogEntry::Write, 0, 0},
                                                                 {SimulatedCard::LogEntry::Write, 256, 0xFFFFFFFF}}));
}

TEST(CardSlots, TimeSlotWordsForRecordPlayAndBoth) {
  const uint32_t first[3][8] = {
      {0x00820000, 0x00800000, 0x00070000, 0x00050000, 0x00820000, 0x00800000, 0x00070000, 0x00250001},
      {0x20120000, 0x20000000, 0x00070000, 0x00050000, 0x40120000, 0x40000000, 0x60070000, 0x60050001},
      {0x20920000, 0x20800000, 0x00070000, 0x00050000, 0x40920000, 0x40800000, 0x60070000, 0x60250001},
  };
  const uint32_t second[3][8] = {
      {0x14, 0x04, 0x3C, 0x2C, 0x14, 0x04, 0x3C, 0x2D},
      {0x08000094, 0x08000004, 0x3C, 0x2C, 0x10000094, 0x10000004, 0x1800003C, 0x1800002D},
      {0x08000094, 0x08000004, 0x3C, 0x2C, 0x10000094, 0x10000004, 0x1800003C, 0x1800002D},
  };
  for (uint32_t s = 1; s <= 3; ++s) {
    uint32_t a[8], b[8];
    aw8::SlotWords(s, a, b);
    for (int i = 0; i < 8; ++i) {
      EXPECT_EQ(a[i], first[s - 1][i]) << "selector " << s << " slot " << i;
      EXPECT_EQ(b[i], second[s - 1][i]) << "selector " << s << " slot " << i;
    }
  }
}

} // namespace
