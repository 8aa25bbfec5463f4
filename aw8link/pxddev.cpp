#include "aw8link/pxddev.h"

#include <cstring>

namespace aw8 {

namespace {
using namespace platform::card_reg;

constexpr uint32_t kStateTable[kStates] = {
    0,
    0,
    kBuffers,
    kBuffers | kInput | kClock | kPlayPrimed,
    kBuffers | kInput | kClock | kRecordReady | kRecordRunning,
    kBuffers | kInput | kClock | kPlayPrimed | kRecordReady | kRecordRunning,
    kBuffers | kPlayPrimed | kPlayRunning,
    kBuffers | kRecordReady | kRecordRunning,
    kBuffers | kPlayPrimed | kRecordReady | kPlayRunning | kRecordRunning,
    kBuffers | kPlayPrimed,
    kBuffers | kRecordReady,
    kBuffers | kPlayPrimed | kRecordReady,
};

// kMoves[state][command]: the next state (command 1 is handled apart).
constexpr int X = kNoMove;
constexpr int kMoves[kStates][kCommands] = {
    /* 0 */ {X, 1, X, X, X, X, X, X},
    /* 1 */ {2, 1, X, X, X, X, X, X},
    /* 2 */ {X, 1, 3, 4, X, X, X, X},
    /* 3 */ {X, 1, X, 5, 6, X, 2, X},
    /* 4 */ {X, 1, 5, X, 7, X, X, 2},
    /* 5 */ {X, 1, X, X, 8, X, 4, 3},
    /* 6 */ {X, 1, X, X, X, 9, X, X},
    /* 7 */ {X, 1, X, X, X, 10, X, X},
    /* 8 */ {X, 1, X, X, 8, 11, X, X},
    /* 9 */ {X, 1, X, X, X, X, 2, X},
    /* 10 */ {X, 1, X, X, X, X, X, 2},
    /* 11 */ {X, 1, X, X, X, 11, 10, 9},
};

constexpr int kRateIndex = 0;
constexpr uint32_t kClockSetup = 0x01000100;
constexpr uint32_t kI2cStart = 256;
constexpr uint32_t kClockPause = 10;
constexpr uint32_t kAnalogLines = 0x50;
constexpr uint32_t kDigitalLines = 0x40;
constexpr uint32_t kAnalogSettle = 500;
constexpr uint32_t kDigitalSettle = 100;
constexpr uint32_t kLoopbackWord = 0x12345678;
constexpr uint32_t kLoopbackPause = 50;
constexpr uint32_t kPrimeClearWords = 24;
constexpr uint32_t kSelectRecord = 1;
constexpr uint32_t kSelectPlay = 2;
} // namespace

uint32_t StateFlags(int state) { return state >= 0 && state < kStates ? kStateTable[state] : 0; }

int NextState(int state, int command) {
  if (command < 0 || command >= kCommands || state < 0 || state >= kStates) return kNoMove;
  return kMoves[state][command];
}

uint32_t SampleRateOf(int index) { return index == 0 ? 44100 : index == 1 ? 48000 : 0; }

PxDDev::PxDDev(uint16_t card, uint16_t mode, int32_t frames)
    : AudioDma(card, mode), frames_(frames), rate_(SampleRateOf(kRateIndex)) {
  state_ = 1;
  Command(kCmdAllocate);
}

// The client is reached through the derived device, which is gone by now.
PxDDev::~PxDDev() {
  clientGone_ = true;
  Command(kCmdClose);
}

void PxDDev::CallClient(int channel, uint32_t* block, int32_t words) {
  if (!clientGone_) ClientCall(channel, block, words);
}

int PxDDev::Command(int command) {
  int next = NextState(state_, command);
  if (next == kNoMove) {
    AW8_ERROR(); // not a command of this state
    state_ = 0;
    return -1;
  }
  int old = state_;
  state_ = next;
  if (!Apply(StateFlags(old), StateFlags(next))) {
    state_ = old;
    return -1;
  }
  return 0;
}

bool PxDDev::Apply(uint32_t o, uint32_t n) {
  if (o & (kPlayRunning | kRecordRunning)) {
    StopTransfers();
    if (o & kRecordRunning) EventOff(kRecordChannel);
  }
  if (o & kPlayRunning) {
    EventOff(1);
    EventOff(3);
  }
  if ((o & kRecordReady) && !(n & kRecordReady)) FinalRecordCall();
  if ((n & kBuffers) && !(o & kBuffers)) {
    const uint32_t blocks[kChannels] = {2, 2, 0, 2};
    const uint32_t words[kChannels] = {uint32_t(frames_), 2 * uint32_t(frames_), 0, 2 * uint32_t(frames_)};
    if (!AllocateBuffers(blocks, words)) return false;
  }
  if ((n & kInput) && !(o & kInput)) SelectInput(wantedInput_);
  if ((n & kClock) && !(o & kClock)) SampleClock(rate_);
  if ((n & kPlayPrimed) && !(o & kPlayPrimed)) {
    PrimePlay(1);
    PrimePlay(3);
  }
  if (n & kPlayRunning)
    for (int c : {1, 3})
      if (!EventOn(c)) return false;
  if ((n & kRecordRunning) && !EventOn(kRecordChannel)) return false;
  if (!(n & (kPlayRunning | kRecordRunning))) return true;
  uint32_t selector = ((n & kRecordRunning) ? kSelectRecord : 0) | ((n & kPlayRunning) ? kSelectPlay : 0);
  ProgramSlots(selector);
  StartTransfers();
  return true;
}

void PxDDev::PrimePlay(int c) {
  DmaMem* m = Buffer(c);
  if (!m || !m->Words()) return;
  std::memset(m->Words(), 0, m->Bytes());
  CallClient(c, Block(c, 0), int32_t(BlockWords(c)));
  std::memset(m->Words(), 0, kPrimeClearWords * sizeof(uint32_t));
}

// The block of channel 0 in which the card stopped.
void PxDDev::FinalRecordCall() {
  uint32_t words = BlockWords(kRecordChannel);
  if (words == 0) return;
  uint32_t k = StoppedPosition(kRecordChannel) / words;
  CallClient(kRecordChannel, Block(kRecordChannel, k), frames_);
}

void PxDDev::SampleClock(uint32_t rate) {
  if (rate == programmedRate_) return;
  uint32_t b = rate * 256 / 250;
  Write(kMainControl, kClockSetup);
  Write(kI2cControl, kI2cStart);
  WaitI2c();
  Write(kI2cData, 0xC40000E8u | (((2 * b) & 0xFF) << 16) | (((b >> 7) & 0xFF) << 8));
  platform::SettleCard(kClockPause);
  WaitI2c();
  Write(kI2cData, (((b >> 15) | 0x18) << 24) + 0x90);
  platform::SettleCard(kClockPause);
  Write(kI2cData, 0);
  programmedRate_ = rate;
}

void PxDDev::SelectInput(int32_t analog) {
  uint32_t lines = Read(kInputSelect);
  bool currentAnalog = lines != kDigitalLines; // anything else counts as analog
  if (lines != kAnalogLines && lines != kDigitalLines) Write(kInputSelect, kAnalogLines);
  bool wantAnalog = analog != 0;
  if (wantAnalog == currentAnalog) return;
  Write(kAudioControl, 0, true);
  Write(kAudioControl2, 0x63080000, true);
  Write(kMainControl, 0x7FFF0000, true);
  Write(kSlotList1, 1, true);
  Write(kSlotList2, 1, true);
  Write(kInputSelect, wantAnalog ? kAnalogLines : kDigitalLines, true);
  platform::SettleCard(wantAnalog ? kAnalogSettle : kDigitalSettle);
  Write(kMainControl, 0x7FFF0200, true);
  Write(kSlotList1, 0x028F0000);
  Write(kSlotList1 + 4, 0x028D0000);
  Write(kSlotList1 + 8, 0x028B0000);
  Write(kSlotList1 + 12, 0x02A90001);
  Write(kAudioControl, 0x4488);
  Write(kAudioControl2, 0x480000, true);
  Write(kTestWord, kLoopbackWord, true);
  // One short record and play cycle; the client is not called (it does not
  // want calls before the device has started).
  PrimePlay(1);
  if (DmaMem* m = Buffer(kRecordChannel); m && m->Words()) std::memset(m->Words(), 0, m->Bytes());
  bool on = EventOn(1) && EventOn(kRecordChannel);
  StartTransfers();
  platform::SettleCard(kLoopbackPause);
  StopTransfers();
  EventOff(1);
  EventOff(kRecordChannel);
  FinalRecordCall();
  uint32_t* record = Block(kRecordChannel, 0);
  if (!on || !record || record[0] != kLoopbackWord) {
    AW8_ERROR(); // the input did not answer
    if (record) record[0] = 0;
  }
}

} // namespace aw8
