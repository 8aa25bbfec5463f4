#include "aw8link/device.h"

namespace aw8 {

namespace {
using namespace platform::card_reg;
// The channels in the order their events are handled: play 1-4, record,
// play 5-8, then the unused channel.
constexpr int kEventOrder[kChannels] = {1, 0, 3, 2};
bool IsPlay(int channel) { return channel == 1 || channel == 3; }

// The commands that bring a started device back to the open state, by state.
struct StopRoute {
  int count;
  int commands[3];
};
StopRoute StopRouteFrom(int state) {
  switch (state) {
  case 3: return {1, {kCmdUnprimePlay}};
  case 4: return {1, {kCmdCloseRecord}};
  case 5: return {2, {kCmdCloseRecord, kCmdUnprimePlay}};
  case 6: return {2, {kCmdStopBoth, kCmdUnprimePlay}};
  case 7: return {2, {kCmdStopBoth, kCmdCloseRecord}};
  case 8: return {3, {kCmdStopBoth, kCmdCloseRecord, kCmdUnprimePlay}};
  case 9: return {1, {kCmdUnprimePlay}};
  case 10: return {1, {kCmdCloseRecord}};
  case 11: return {2, {kCmdCloseRecord, kCmdUnprimePlay}};
  default: return {0, {}};
  }
}
} // namespace

Aw8Device::Aw8Device(ClientLink& client, uint16_t card, int32_t frames, int32_t input, uint16_t mode)
    : PxDDev(card, mode, frames), client_(client) {
  SetWantedInput(input);
  OpenGate();
}

Aw8Device::~Aw8Device() {
  // Nothing is dispatched into a device that is going.
  client_.running.store(false);
  CloseGate();
  StopService();
}

// Only an open device starts, so that a second start cannot break the state.
void Aw8Device::Start() {
  if (State() != kStateOpen) return;
  CloseGate();
  Command(kCmdPrimePlay);
  Command(kCmdRecord);
  Command(kCmdPlay);
  OpenGate();
}

void Aw8Device::Stop() {
  CloseGate();
  StopRoute route = StopRouteFrom(State());
  for (int i = 0; i < route.count; ++i) Command(route.commands[i]);
  OpenGate();
}

void Aw8Device::HandleEvents(uint32_t events) {
  for (int c : kEventOrder)
    if (events & (1u << c)) HandleChannel(c);
}

void Aw8Device::HandleChannel(int c) {
  uint32_t words = BlockWords(c), blocks = BlockCount(c);
  if (words == 0 || blocks == 0) return; // no buffer
  uint32_t k = (Position(c) / words) % blocks;
  if (k == last_[c].load(std::memory_order_relaxed)) return;
  last_[c].store(k, std::memory_order_relaxed);
  if (Read(kStatus) & kDmaErrorBit) {
    AW8_ERROR(); // DMA error
    Write(kEventStatus, kDmaErrorBit);
  }
  if (IsPlay(c)) {
    ClientCall(c, Block(c, k + 1), int32_t(words));
    // The card has already left the block it was playing.
    if (Position(c) >= (k + 1) * words) AW8_ERROR();
  } else {
    ClientCall(c, Block(c, k + blocks - 1), Frames());
  }
}

void Aw8Device::ClientCall(int channel, uint32_t* block, int32_t words) {
  if (!client_.running.load() || !client_.callback || !block) return;
  TAw8CallbackRecord record{client_.context, block, words, 0, 0, channel};
  client_.callback(&record);
}

} // namespace aw8
