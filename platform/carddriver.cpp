#include "platform/carddriver.h"

#include "platform/sys.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <new>

namespace platform {

// ---------------------------------------------------------------- wake

void CardWake::Signal() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    signalled_ = true;
  }
  cv_.notify_one();
}

bool CardWake::Wait(uint32_t milliseconds) {
  std::unique_lock<std::mutex> lock(mutex_);
  cv_.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return signalled_; });
  bool woken = signalled_;
  signalled_ = false;
  return woken;
}

// ---------------------------------------------------------------- the port

namespace {

std::mutex cardMutex;
std::shared_ptr<SimulatedCard> currentCard;

// The card switched on by the environment, once.
void SwitchOnFromEnvironment() {
  static bool checked = false;
  if (checked) return;
  checked = true;
  const char* on = std::getenv("QUORVEX_SIMULATED_CARD");
  if (on && std::strcmp(on, "1") == 0 && !currentCard) {
    currentCard = std::make_shared<SimulatedCard>();
    currentCard->RunInRealTime();
  }
}

std::shared_ptr<SimulatedCard> CardNow() {
  std::lock_guard<std::mutex> lock(cardMutex);
  SwitchOnFromEnvironment();
  return currentCard;
}

// Forwards to a timer that a test owns.
class BorrowedTimer : public PeriodicTimer {
public:
  explicit BorrowedTimer(PeriodicTimer* timer) : timer_(timer) {}
  bool Start(uint32_t periodMs, Callback callback, void* user) override { return timer_->Start(periodMs, callback, user); }
  void Stop() override { timer_->Stop(); }
  bool IsRunning() const override { return timer_->IsRunning(); }
  bool IsBeingStopped() const override { return timer_->IsBeingStopped(); }

private:
  PeriodicTimer* timer_;
};

} // namespace

struct KernelDriver {
  std::shared_ptr<SimulatedCard> card;
};

KernelDriver* OpenKernelDriver(const std::string& path) {
  std::shared_ptr<SimulatedCard> card = CardNow();
  if (!card || path != kCardDriverPath || card->GetFaults().noDriver) return nullptr;
  card->HandleOpened();
  return new KernelDriver{card};
}

bool ControlKernelDriver(KernelDriver* driver, uint32_t code, void* record, size_t size) {
  if (!driver || !record) return false;
  return driver->card->Control(code, record, size);
}

void CloseKernelDriver(KernelDriver* driver) {
  if (!driver) return;
  driver->card->HandleClosed();
  delete driver;
}

void SettleCard(uint32_t milliseconds) {
  std::shared_ptr<SimulatedCard> card = CardNow();
  if (!card) {
    SleepMs(milliseconds);
    return;
  }
  card->LogSettle(milliseconds);
}

std::unique_ptr<PeriodicTimer> CreateCardTimer() {
  std::shared_ptr<SimulatedCard> card = CardNow();
  if (card && card->Timer()) return std::make_unique<BorrowedTimer>(card->Timer());
  return CreatePeriodicTimer();
}

SimulatedCard& SimulatedCard::SwitchOn() {
  std::lock_guard<std::mutex> lock(cardMutex);
  currentCard = std::make_shared<SimulatedCard>();
  return *currentCard;
}

void SimulatedCard::SwitchOff() {
  std::lock_guard<std::mutex> lock(cardMutex);
  currentCard.reset();
}

SimulatedCard* SimulatedCard::Current() { return CardNow().get(); }

// ---------------------------------------------------------------- the card

struct SimulatedCard::Allocation {
  uint32_t pageTablePhys = 0;
  uint32_t pages = 0;
  std::unique_ptr<uint32_t[]> pageTable;
  uint32_t* memory = nullptr; // page aligned
  size_t Bytes() const { return size_t(pages) * kCardPageBytes; }
  ~Allocation() { ::operator delete[](memory, std::align_val_t(kCardPageBytes)); }
};

SimulatedCard::SimulatedCard() = default;

SimulatedCard::~SimulatedCard() {
  pacing_.store(false);
  if (pacer_.joinable()) pacer_.join();
}

void SimulatedCard::RunInRealTime() {
  if (pacing_.exchange(true)) return;
  pacer_ = std::thread([this] {
    constexpr uint64_t kRate = 44100;
    constexpr uint32_t kTickMs = 5;
    uint64_t start = MonotonicNs(), done = 0;
    while (pacing_.load()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(kTickMs));
      uint64_t due = (MonotonicNs() - start) * kRate / 1000000000ull;
      if (due > done) Advance(uint32_t(due - done));
      done = due;
    }
  });
}

void SimulatedCard::SetFaults(const Faults& faults) {
  std::lock_guard<std::mutex> lock(mutex_);
  faults_ = faults;
}

SimulatedCard::Faults SimulatedCard::GetFaults() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return faults_;
}

void SimulatedCard::HandleOpened() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++openHandles_;
  ++opens_;
}

int SimulatedCard::Opens() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return opens_;
}

void SimulatedCard::HandleClosed() {
  std::lock_guard<std::mutex> lock(mutex_);
  --openHandles_;
  if (openHandles_ == 0) wake_ = nullptr; // a registered thread goes with the last handle
}

int SimulatedCard::OpenHandles() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return openHandles_;
}

int SimulatedCard::Registrations() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return registrations_;
}

void SimulatedCard::UseTimer(PeriodicTimer* timer) {
  std::lock_guard<std::mutex> lock(mutex_);
  timer_ = timer;
}

PeriodicTimer* SimulatedCard::Timer() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return timer_;
}

void SimulatedCard::LogSettle(uint32_t milliseconds) {
  std::lock_guard<std::mutex> lock(mutex_);
  log_.push_back({LogEntry::Settle, 0, milliseconds});
}

std::vector<SimulatedCard::LogEntry> SimulatedCard::Log() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return log_;
}

void SimulatedCard::ClearLog() {
  std::lock_guard<std::mutex> lock(mutex_);
  log_.clear();
}

uint32_t SimulatedCard::Peek(uint32_t offset) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (offset >= card_reg::kCount || offset % 4) return 0;
  if (offset == card_reg::kStatus) return status_;
  for (int c = 0; c < 4; ++c)
    if (offset == card_reg::PositionRegister(c)) return positions_[c];
  return registers_[offset / 4];
}

uint32_t SimulatedCard::EventsRaised(int channel) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return channel >= 0 && channel < 4 ? eventsRaised_[channel] : 0;
}

size_t SimulatedCard::Allocations() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return allocations_.size();
}

uint64_t SimulatedCard::Frames() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return frames_;
}

std::vector<uint32_t> SimulatedCard::Played(int channel) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return channel >= 0 && channel < 4 ? played_[channel] : std::vector<uint32_t>();
}

std::vector<int16_t> SimulatedCard::PlayedOutput(int output) const {
  // The place of each output in a frame of four samples: 1, 3, 2, 4.
  static const int place[4] = {0, 2, 1, 3};
  std::vector<int16_t> samples;
  if (output < 1 || output > 8) return samples;
  std::vector<uint32_t> words = Played(output <= 4 ? 1 : 3);
  int p = place[(output - 1) % 4];
  for (size_t w = 0; w + 1 < words.size(); w += 2) {
    uint32_t word = words[w + size_t(p / 2)];
    samples.push_back(int16_t(uint16_t(p % 2 ? word >> 16 : word & 0xFFFF)));
  }
  return samples;
}

void SimulatedCard::ClearPlayed() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto& p : played_) p.clear();
}

void SimulatedCard::SetRecordSource(std::function<uint32_t(uint64_t)> source) {
  std::lock_guard<std::mutex> lock(mutex_);
  recordSource_ = std::move(source);
}

SimulatedCard::Allocation* SimulatedCard::FindAllocation(uint32_t pageTablePhys) {
  for (auto& a : allocations_)
    if (a->pageTablePhys == pageTablePhys) return a.get();
  return nullptr;
}

bool SimulatedCard::Control(uint32_t code, void* record, size_t size) {
  bool ok = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    switch (code) {
    case kCardVersion:
      if (size < sizeof(CardVersionRecord)) break;
      static_cast<CardVersionRecord*>(record)->version = faults_.wrongVersion ? kCardDriverVersion - 1 : kCardDriverVersion;
      ok = true;
      break;
    case kCardReadReg:
    case kCardWriteReg: {
      if (size < sizeof(CardRegRecord)) break;
      auto* r = static_cast<CardRegRecord*>(record);
      if (r->card != 0 || r->offset >= card_reg::kCount || r->offset % 4) break;
      if (code == kCardReadReg) r->value = ReadRegister(r->offset);
      else WriteRegister(r->offset, r->value);
      ok = true;
      break;
    }
    case kCardReadConfig: {
      if (size < sizeof(CardConfigRecord)) break;
      auto* r = static_cast<CardConfigRecord*>(record);
      if (r->card != 0 || r->offset < kCardConfigBase) break;
      uint32_t offset = r->offset - kCardConfigBase;
      r->value = 0;
      if (offset == 0 && r->width == 2) r->value = faults_.wrongIds ? 0x10EC : card_reg::kVendorId;
      if (offset == 2 && r->width == 2) r->value = faults_.wrongIds ? 0x8139 : card_reg::kDeviceId;
      ok = true;
      break;
    }
    case kCardRegister: {
      if (size < sizeof(CardServiceRecord)) break;
      auto* r = static_cast<CardServiceRecord*>(record);
      wake_ = r->wake;
      ++registrations_;
      ok = true;
      break;
    }
    case kCardAllocate: {
      if (size < sizeof(CardAllocRecord)) break;
      auto* r = static_cast<CardAllocRecord*>(record);
      if (faults_.allocationFails || r->pages == 0 || r->pages > 256) {
        r->buffer = nullptr;
        r->pageTable = nullptr;
        r->pageTablePhys = 0;
        ok = true; // the call works; there is no memory
        break;
      }
      auto a = std::make_unique<Allocation>();
      a->pages = r->pages;
      a->memory = static_cast<uint32_t*>(::operator new[](a->Bytes(), std::align_val_t(kCardPageBytes)));
      std::memset(a->memory, 0xA5, a->Bytes()); // fresh DMA memory is not clean
      a->pageTable = std::make_unique<uint32_t[]>(a->pages);
      // Bus addresses carry flag bits in their low 12 bits, which the
      // driver's user must clear.
      a->pageTablePhys = nextPhys_;
      nextPhys_ += kCardPageBytes;
      for (uint32_t p = 0; p < a->pages; ++p) {
        a->pageTable[p] = nextPhys_ | 0x3;
        nextPhys_ += kCardPageBytes;
      }
      r->pageTablePhys = a->pageTablePhys | 0x1;
      r->pageTable = a->pageTable.get();
      r->buffer = a->memory;
      allocations_.push_back(std::move(a));
      ok = true;
      break;
    }
    case kCardFree: {
      if (size < sizeof(CardAllocRecord)) break;
      auto* r = static_cast<CardAllocRecord*>(record);
      for (size_t i = 0; i < allocations_.size(); ++i) {
        if (allocations_[i]->memory != r->buffer) continue;
        allocations_.erase(allocations_.begin() + long(i));
        ok = true;
        break;
      }
      break;
    }
    default: break;
    }
  }
  return ok;
}

uint32_t SimulatedCard::ReadRegister(uint32_t offset) {
  using namespace card_reg;
  switch (offset) {
  case kMainControl: {
    uint32_t events = pending_;
    pending_ = 0;
    return (control_ & ~0xFu) | events;
  }
  case kUpload: return faults_.uploadStuck ? 0x100 : 0;
  case kI2cControl: return faults_.i2cStuck ? kI2cBusy : 0;
  case kStatus: return status_;
  default: break;
  }
  for (int c = 0; c < 4; ++c)
    if (offset == PositionRegister(c)) return positions_[c];
  return registers_[offset / 4];
}

void SimulatedCard::WriteRegister(uint32_t offset, uint32_t value) {
  using namespace card_reg;
  log_.push_back({LogEntry::Write, offset, value});
  uint32_t old = registers_[offset / 4];
  registers_[offset / 4] = value;
  switch (offset) {
  case kMainControl: {
    uint32_t mask = value >> 16;
    control_ = (control_ & ~mask) | (value & mask & 0xFFFF);
    pending_ &= control_ & 0xF; // an event switched off is dropped
    registers_[offset / 4] = control_;
    return;
  }
  case kEventStatus:
    if (value & kDmaErrorBit) status_ &= ~kDmaErrorBit;
    return;
  case kTestWord:
    loopbackWord_ = value;
    loopbackArmed_ = true;
    return;
  case kAudioControl:
    if (!(old & kTransferMask) && (value & kTransferMask)) StartTransfers();
    return;
  default: break;
  }
  for (int c = 0; c < 4; ++c) {
    if (offset != PositionRegister(c)) continue;
    if (value == 0 && !faults_.positionSticks) positions_[c] = 0;
  }
}

struct SimulatedCard::Channel {
  uint32_t* memory;
  uint32_t bytes;
};

// A test word written before the transfers start comes back as the first
// recorded frame: the card's loopback check.
void SimulatedCard::StartTransfers() {
  using namespace card_reg;
  if (!loopbackArmed_ || !(registers_[kSlotList1 / 4] & kSlotRecord)) return;
  uint32_t ptWord = registers_[(kDmaBase + 8) / 4];
  Allocation* a = FindAllocation(ptWord & ~0xFFFu);
  uint32_t bytes = registers_[(kDmaBase + 4) / 4];
  if (!a || bytes == 0 || bytes > a->Bytes()) return;
  a->memory[(positions_[0] % bytes) / 4] = loopbackWord_;
  loopbackArmed_ = false;
}

void SimulatedCard::MoveChannel(int c, uint64_t frame, bool& event) {
  using namespace card_reg;
  uint32_t base = kDmaBase + kDmaStride * uint32_t(c);
  uint32_t bytes = registers_[(base + 4) / 4];
  Allocation* a = FindAllocation(registers_[(base + 8) / 4] & ~0xFFFu);
  if (!a || bytes < 16 || bytes > a->Bytes()) return;
  uint32_t& pos = positions_[c];
  if (pos >= bytes) pos = 0;
  bool play = c == 1 || c == 3;
  if (play) {
    played_[c].push_back(a->memory[pos / 4]);
    played_[c].push_back(a->memory[pos / 4 + 1]);
    pos += 8;
  } else {
    a->memory[pos / 4] = recordSource_ ? recordSource_(frame) : 0;
    pos += 4;
  }
  uint32_t block = bytes / 2;
  if (pos % block == 0) {
    ++eventsRaised_[c];
    if (control_ & (1u << c)) {
      pending_ |= 1u << c;
      if (faults_.dmaError) status_ |= kDmaErrorBit;
      event = true;
    }
  }
  if (pos >= bytes) pos = 0;
}

// The wake is signalled under the card's lock: the thread that registered it
// may go away (and its wake with it) only after its handle has closed.
void SimulatedCard::Advance(uint32_t frames) {
  using namespace card_reg;
  std::lock_guard<std::mutex> lock(mutex_);
  for (uint32_t f = 0; f < frames; ++f) {
    bool event = false;
    bool running = (registers_[kAudioControl / 4] & kTransferMask) != 0;
    uint32_t slots = registers_[kSlotList1 / 4];
    if (running) {
      if (slots & kSlotPlay) {
        MoveChannel(1, frames_, event);
        MoveChannel(3, frames_, event);
      }
      if (slots & kSlotRecord) MoveChannel(0, frames_, event);
    }
    ++frames_;
    if (event && wake_) wake_->Signal();
  }
}

} // namespace platform
