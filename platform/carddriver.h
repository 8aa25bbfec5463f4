// The kernel-driver port of the sound card, and the simulated card behind it.
//
// A card library opens the card's kernel driver by path and talks to it with
// records (ControlKernelDriver: a code and a record that is both input and
// output). This system has no kernel driver for the card, so the port answers
// "no driver" unless a simulated card has been switched on explicitly: by a
// test (SimulatedCard::SwitchOn) or by the environment variable
// QUORVEX_SIMULATED_CARD=1. A user's machine therefore never offers a card it
// does not have.
//
// The simulated card answers the driver protocol: version, PCI configuration,
// register reads and writes, DMA buffers with page tables and the service
// thread's wake handle. Its frame clock moves only when Advance is called:
// then the running channels move, play blocks are captured, record blocks are
// filled from a record source and block events are raised.
#pragma once

#include "platform/thread.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace platform {

// ---------------------------------------------------------------- protocol

// Where the card's kernel driver is opened.
inline constexpr const char* kCardDriverPath = "/dev/vaw8d";

// Control codes and their records. Every field is a 32-bit word except the
// addresses, which are pointers.
enum CardControl : uint32_t {
  kCardAllocate = 100,   // CardAllocRecord
  kCardFree = 200,       // CardAllocRecord (only `buffer` is used)
  kCardReadReg = 300,    // CardRegRecord
  kCardWriteReg = 400,   // CardRegRecord
  kCardReadConfig = 500, // CardConfigRecord
  kCardRegister = 700,   // CardServiceRecord
  kCardVersion = 999,    // CardVersionRecord
};
inline constexpr uint32_t kCardDriverVersion = 259;
inline constexpr uint32_t kCardPageBytes = 4096;
// PCI configuration offsets are passed with this added.
inline constexpr uint32_t kCardConfigBase = 0x1000;

// The card's registers (byte offsets) and bits that both sides know.
namespace card_reg {
inline constexpr uint32_t kCount = 512;            // offsets 0..508
inline constexpr uint32_t kSlotControl = 76;
inline constexpr uint32_t kI2cData = 140;
inline constexpr uint32_t kI2cControl = 144;
inline constexpr uint32_t kI2cBusy = 0x1;           // in kI2cControl
inline constexpr uint32_t kDmaBase = 148;           // channel c: base, size, page-table word at +12c
inline constexpr uint32_t kDmaStride = 12;
inline constexpr uint32_t kInterruptEnable = 220;
inline constexpr uint32_t kInputSelect = 224;
inline constexpr uint32_t kAudioControl = 244;
inline constexpr uint32_t kAudioControl2 = 248;
inline constexpr uint32_t kMainControl = 252;      // value with its write mask in the high half
inline constexpr uint32_t kUpload = 256;
inline constexpr uint32_t kUploadDone = 0x77F;      // in kUpload, as is 0
inline constexpr uint32_t kEventStatus = 268;
inline constexpr uint32_t kStatus = 272;
inline constexpr uint32_t kDmaErrorBit = 0x800;     // in kStatus and kEventStatus
inline constexpr uint32_t kTestWord = 324;
inline constexpr uint32_t kSlotList1 = 384;
inline constexpr uint32_t kSlotList2 = 448;
inline constexpr uint32_t kTransferShift = 29;      // bits 29-31 of kAudioControl
inline constexpr uint32_t kTransferMask = 0xE0000000;
inline constexpr uint32_t kSlotPlay = 0x20000000;   // in the first word of kSlotList1
inline constexpr uint32_t kSlotRecord = 0x00800000;
// The position register (bytes) of each DMA channel.
inline constexpr uint32_t PositionRegister(int channel) {
  constexpr uint32_t registers[4] = {304, 300, 312, 308};
  return registers[channel];
}
inline constexpr uint16_t kVendorId = 0x1131;
inline constexpr uint16_t kDeviceId = 0x7146;
} // namespace card_reg

struct CardVersionRecord {
  uint32_t version;
};
struct CardRegRecord {
  uint32_t card;
  uint32_t offset;
  uint32_t value;
};
struct CardConfigRecord {
  uint32_t card;
  uint32_t offset; // kCardConfigBase + configuration offset
  uint32_t width;  // 1, 2 or 4 bytes
  uint32_t value;
};

// Wakes a card's service thread early when the card raises an event.
class CardWake {
public:
  void Signal();
  // Waits up to the time given; true when signalled (the signal is taken).
  bool Wait(uint32_t milliseconds);

private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool signalled_ = false;
};

struct CardServiceRecord {
  uint32_t zero;
  void* device;       // the card library's device object
  CardWake* wake;     // signalled on every block event
  uint32_t one;
  uint32_t* word1;    // two words the driver may update
  uint32_t* word2;
};
struct CardAllocRecord {
  uint32_t pages;          // in: pages wanted; out: pages given
  uint32_t pageTablePhys;  // out: bus address of the page table
  uint32_t* pageTable;     // out: the page table (bus address of each page)
  void* buffer;            // out: the memory; null when none was given
};

struct KernelDriver;
// The driver at the path, or null when there is none.
KernelDriver* OpenKernelDriver(const std::string& path);
// Runs one control; false for a failed call or a null driver.
bool ControlKernelDriver(KernelDriver* driver, uint32_t code, void* record, size_t size);
void CloseKernelDriver(KernelDriver* driver);

// A pause that a card needs to settle. Real time without a simulated card;
// with one, the pause is only written to the card's log.
void SettleCard(uint32_t milliseconds);

// The periodic timer of a card's service: a test's manual timer when the
// simulated card has one, else a real timer.
std::unique_ptr<PeriodicTimer> CreateCardTimer();

// ---------------------------------------------------------------- the simulated card

class SimulatedCard {
public:
  // Fault switches.
  struct Faults {
    bool noDriver = false;           // the driver cannot be opened
    bool wrongVersion = false;       // the driver answers another version
    bool wrongIds = false;           // another PCI device
    bool allocationFails = false;    // no DMA memory
    bool dmaError = false;           // every block event comes with the DMA error bit
    bool positionSticks = false;     // a position register does not reset
    bool uploadStuck = false;        // register 256 never reports completion
    bool i2cStuck = false;           // the I2C port stays busy
  };

  // One entry of the log: a register write, or a settling pause.
  struct LogEntry {
    enum Kind { Write, Settle } kind;
    uint32_t offset; // register (Write)
    uint32_t value;  // value (Write) or milliseconds (Settle)
    bool operator==(const LogEntry&) const = default;
  };

  // Switches a fresh simulated card on (replacing any earlier one) and
  // answers it; switching off makes the port answer "no driver" again.
  static SimulatedCard& SwitchOn();
  static void SwitchOff();
  // The card that is on, or null.
  static SimulatedCard* Current();

  void SetFaults(const Faults& faults);
  Faults GetFaults() const;

  // The frame clock: moves the running channels by the frames given, raising
  // a block event on each block boundary of a channel whose event is on.
  void Advance(uint32_t frames);
  // Frames the clock has moved in all.
  uint64_t Frames() const;

  // What the play channels have sent, one 32-bit word after the other as the
  // card read them (channel 1: outputs 1-4, channel 3: outputs 5-8; two
  // words a frame, the samples in the order 1, 3, 2, 4 and 5, 7, 6, 8).
  std::vector<uint32_t> Played(int channel) const;
  // One output (1..8) of every captured frame, as a signed 16-bit sample.
  std::vector<int16_t> PlayedOutput(int output) const;
  void ClearPlayed();
  // The word the record channel writes for each frame (left in the low half,
  // right in the high half), by frame number. Silence when unset.
  void SetRecordSource(std::function<uint32_t(uint64_t frame)> source);

  // The log of register writes and settling pauses since the last clear.
  std::vector<LogEntry> Log() const;
  void ClearLog();
  // The register's current value as the card holds it (no read effects).
  uint32_t Peek(uint32_t offset) const;
  // Block events raised so far on each channel, and events taken by reads.
  uint32_t EventsRaised(int channel) const;
  // The DMA buffers the driver holds now.
  size_t Allocations() const;
  // Open handles of the driver, and opens so far.
  int OpenHandles() const;
  int Opens() const;
  // Service threads registered with the driver so far.
  int Registrations() const;

  // Moves the frame clock with the wall clock, 44100 frames a second (for a
  // card switched on by the environment: the program then plays through it).
  void RunInRealTime();

  // The timer that card libraries get from CreateCardTimer while set (the
  // test keeps it alive); null restores real timers.
  void UseTimer(PeriodicTimer* timer);
  PeriodicTimer* Timer() const;

  // The driver protocol (called through the port).
  bool Control(uint32_t code, void* record, size_t size);
  void LogSettle(uint32_t milliseconds);
  void HandleOpened();
  void HandleClosed();

  SimulatedCard();
  ~SimulatedCard();

private:
  struct Allocation;
  struct Channel;
  uint32_t ReadRegister(uint32_t offset);
  void WriteRegister(uint32_t offset, uint32_t value);
  Allocation* FindAllocation(uint32_t pageTablePhys);
  void StartTransfers();
  void MoveChannel(int channel, uint64_t frame, bool& event);

  mutable std::mutex mutex_;
  Faults faults_;
  uint32_t registers_[128] = {};
  uint32_t control_ = 0;      // the low half of register 252
  uint32_t pending_ = 0;      // block events not read yet
  uint32_t status_ = 0;       // register 272
  uint32_t positions_[4] = {};
  uint32_t loopbackWord_ = 0;
  bool loopbackArmed_ = false;
  std::vector<std::unique_ptr<Allocation>> allocations_;
  uint32_t nextPhys_ = 0x00100000;
  std::vector<uint32_t> played_[4];
  std::function<uint32_t(uint64_t)> recordSource_;
  std::vector<LogEntry> log_;
  uint64_t frames_ = 0;
  uint32_t eventsRaised_[4] = {};
  int openHandles_ = 0;
  int opens_ = 0;
  int registrations_ = 0;
  CardWake* wake_ = nullptr;
  PeriodicTimer* timer_ = nullptr;
  std::thread pacer_;
  std::atomic<bool> pacing_{false};
};

} // namespace platform
