// Access to the card: the kernel-driver handle, registers, PCI configuration,
// and the service (a thread the driver wakes, or a 5 ms timer) that reads the
// card's block events and hands them to the device.
#pragma once

#include "platform/carddriver.h"
#include "platform/thread.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace aw8 {

// Internal checks report here ("Error: (file, line)"); the operation goes on.
void ReportError(const char* file, int line);
void ReportAssertion(const char* file, int line);
// Tests count the reports; the text of the last one is kept.
int32_t ReportCount();
#define AW8_ERROR() ::aw8::ReportError(__FILE__, __LINE__)
#define AW8_ASSERT(c) ((c) ? (void)0 : ::aw8::ReportAssertion(__FILE__, __LINE__))

// The process-wide driver handle of one kind of object, opened by the first
// object and closed by the last. A failed open or a wrong version leaves no
// handle: every call then fails.
class DriverHandle {
public:
  void Acquire();
  void Release();
  platform::KernelDriver* Get() const { return driver_.load(std::memory_order_acquire); }

private:
  std::atomic<platform::KernelDriver*> driver_{nullptr};
  uint16_t count_ = 0;
};

class SpciIo {
public:
  enum class Service { Thread, Timer };
  // A probe or a reset needs no service: withService false.
  SpciIo(uint16_t card, uint16_t mode, bool withService = true);
  virtual ~SpciIo();
  SpciIo(const SpciIo&) = delete;
  SpciIo& operator=(const SpciIo&) = delete;

  // Register offsets are 0..508 in steps of 4: a larger one is reported and
  // not accessed, one that is not a multiple of 4 is not accessed (reads 0).
  uint32_t Read(uint32_t offset);
  // With `wait`, the write is uploaded and waited for (a bounded wait).
  void Write(uint32_t offset, uint32_t value, bool wait = false);
  // A PCI configuration value at its standard width; 0 where there is none.
  uint32_t ReadConfig(uint32_t offset);
  // The card's vendor and device ids answer.
  bool IsCard();
  // Waits (bounded) until the I2C port is free.
  void WaitI2c();

  Service GetService() const { return service_; }
  // Events reach HandleEvents only while the gate is open. Closing waits until
  // no dispatch runs; it is called from the client's thread, never from the
  // service.
  void OpenGate();
  void CloseGate();
  // Stops the service for good (before the device goes).
  void StopService();

protected:
  // Called on the service thread or timer with the event bits of register 252.
  virtual void HandleEvents(uint32_t events) = 0;

  uint16_t card_;

private:
  void StartService();
  void ServiceThread();
  static void TimerTick(void* self);
  void Dispatch(uint32_t events);

  Service service_;
  // Thread service.
  std::unique_ptr<platform::CardWake> wake_;
  std::unique_ptr<platform::Thread> thread_;
  std::atomic<bool> threadRun_{false};
  uint32_t driverWords_[2] = {};
  // Timer service.
  std::unique_ptr<platform::PeriodicTimer> timer_;
  // The dispatch gate.
  std::atomic<bool> gateOpen_{false};
  std::atomic<int32_t> inDispatch_{0};
  bool serviceStopped_ = false;
};

} // namespace aw8
