#include "aw8link/audiodma.h"

#include <cstring>

namespace aw8 {

namespace {
using namespace platform::card_reg;

constexpr uint32_t kInterruptBits = 0xF000;
constexpr uint32_t kAudioOn = 0x02000200;
constexpr uint32_t kAudioOff = 0x02000000;
constexpr uint32_t kEventMaskShift = 16;
constexpr uint32_t kSlotControlWord = 0x0F0F030F;
constexpr uint32_t kInterfaceWord = 0x4488;
constexpr uint32_t kInterfaceWord2 = 0x480000;
constexpr uint32_t kTransfersOn = 3u << kTransferShift;
constexpr uint32_t kPageTableEnable = 0x80;
constexpr uint32_t kPageAddressMask = ~0xFFFu;
constexpr uint32_t kSlotCount = 8;
constexpr uint32_t kSelectRecord = 1;
constexpr uint32_t kSelectPlay = 2;

uint32_t DmaRegister(int channel, int which) { return kDmaBase + kDmaStride * uint32_t(channel) + 4 * uint32_t(which); }
} // namespace

void SlotWords(uint32_t s, uint32_t first[8], uint32_t second[8]) {
  static const uint32_t firstBase[kSlotCount] = {0x20000, 0, 0x70000, 0x50000, 0x20000, 0, 0x70000, 0x50000};
  static const uint32_t secondBase[kSlotCount] = {0x14, 0x04, 0x3C, 0x2C, 0x14, 0x04, 0x3C, 0x2C};
  bool play = s & kSelectPlay, record = s & kSelectRecord;
  for (uint32_t i = 0; i < kSlotCount; ++i) {
    uint32_t a = firstBase[i], b = secondBase[i];
    bool upper = i >= 4, front = i == 0 || i == 1 || i == 6 || i == 7, lead = i == 0 || i == 4;
    if (play) {
      if (upper) a |= 0x40000000, b |= 0x10000000;
      if (front) a |= 0x20000000, b |= 0x08000000;
      if (lead) a |= 0x100000, b |= 0x80;
    }
    if (record) {
      if (i == 0 || i == 1 || i == 4 || i == 5) a |= 0x800000;
      if (i == 7) a |= 0x200000;
    }
    if (i == kSlotCount - 1) a |= 1, b |= 1;
    first[i] = a;
    second[i] = b;
  }
}

AudioDma::AudioDma(uint16_t card, uint16_t mode) : SpciIo(card, mode) {
  if (GetService() == Service::Thread) Write(kInterruptEnable, kInterruptBits);
  Write(kMainControl, kAudioOn);
}

AudioDma::~AudioDma() {
  Write(kMainControl, kAudioOff);
  if (GetService() == Service::Thread) Write(kInterruptEnable, Read(kInterruptEnable) & ~kInterruptBits);
  for (auto& m : mem_) m.reset();
}

bool AudioDma::AllocateBuffers(const uint32_t blocks[kChannels], const uint32_t words[kChannels]) {
  for (int c = 0; c < kChannels; ++c) {
    mem_[c].reset();
    blocks_[c] = words_[c] = 0;
    uint32_t w = words[c], b = blocks[c];
    if (w == 0 || b == 0) continue;
    uint32_t sizeCode = 0;
    for (uint32_t size = 8; size < w; size *= 2) ++sizeCode;
    uint32_t bytes = w * b * 4;
    mem_[c] = std::make_unique<DmaMem>(bytes);
    if (mem_[c]->Bytes() < bytes) {
      AW8_ERROR(); // no DMA memory
      mem_[c].reset();
      return false;
    }
    blocks_[c] = b;
    words_[c] = w;
    Write(DmaRegister(c, 0), 0);
    Write(DmaRegister(c, 1), bytes);
    Write(DmaRegister(c, 2), ((sizeCode | kPageTableEnable) << 4) | (mem_[c]->PageTablePhys() & kPageAddressMask));
  }
  return true;
}

uint32_t AudioDma::Position(int channel) { return Read(PositionRegister(channel)) >> 2; }

uint32_t* AudioDma::Block(int channel, uint32_t k) const {
  if (!mem_[channel] || !mem_[channel]->Words() || blocks_[channel] == 0) return nullptr;
  return mem_[channel]->Words() + size_t(k % blocks_[channel]) * words_[channel];
}

bool AudioDma::EventOn(int channel) {
  Write(PositionRegister(channel), 0);
  if (Read(PositionRegister(channel)) != 0) {
    AW8_ERROR(); // the position did not reset
    return false;
  }
  last_[channel].store(0);
  Write(kEventStatus, kDmaErrorBit);
  Write(kMainControl, (1u << channel) * 0x10001u);
  return true;
}

void AudioDma::EventOff(int channel) {
  Write(kMainControl, (1u << channel) << kEventMaskShift);
  Write(kEventStatus, kDmaErrorBit);
}

void AudioDma::StopTransfers() {
  stopped_[0] = Position(0);
  stopped_[2] = Position(2);
  Write(kAudioControl, Read(kAudioControl) & ~kTransferMask);
}

void AudioDma::StartTransfers() { Write(kAudioControl, (Read(kAudioControl) & ~kTransferMask) | kTransfersOn); }

void AudioDma::ProgramSlots(uint32_t selector) {
  uint32_t first[kSlotCount], second[kSlotCount];
  SlotWords(selector, first, second);
  Write(kSlotControl, kSlotControlWord, true);
  for (uint32_t i = 0; i < kSlotCount; ++i) Write(kSlotList1 + 4 * i, first[i]);
  for (uint32_t i = 0; i < kSlotCount; ++i) Write(kSlotList2 + 4 * i, second[i]);
  Write(kAudioControl, kInterfaceWord);
  Write(kAudioControl2, kInterfaceWord2, true);
}

} // namespace aw8
