#include "aw8link/spciio.h"

#include <cstdio>
#include <thread>

namespace aw8 {

namespace {

using namespace platform::card_reg;

constexpr uint32_t kRegisterLimit = 512;
constexpr uint32_t kUploadAll = 0xFFFFFFFF;
// Bounds of the waits on the card: a card that never answers costs a few
// milliseconds of polling, never a hang.
constexpr int kUploadPolls = 10000;
constexpr int kI2cPolls = 10000;
// The thread service: its first pause, its wait for a wake-up, and how long
// stopping it may take.
constexpr uint32_t kServiceStartPause = 1000;
constexpr uint32_t kServiceWakeWait = 100;
constexpr uint32_t kServiceStopWait = 5000;
constexpr uint32_t kTimerPeriod = 5;
constexpr uint32_t kEventBits = 0xF;

std::atomic<int32_t> reports{0};

// The report is formatted into a buffer on the reporter's stack (the service
// thread reports too and must not allocate) and then discarded; only the
// count is kept.
void Report(const char* kind, const char* file, int line) {
  char text[256];
  std::snprintf(text, sizeof text, "%s: (%s, %d)", kind, file, line);
  reports.fetch_add(1);
}

} // namespace

void ReportError(const char* file, int line) { Report("Error", file, line); }
void ReportAssertion(const char* file, int line) { Report("Assertion failed", file, line); }
int32_t ReportCount() { return reports.load(); }

// ---------------------------------------------------------------- the handle

void DriverHandle::Acquire() {
  if (count_++ != 0) return;
  platform::KernelDriver* driver = platform::OpenKernelDriver(platform::kCardDriverPath);
  platform::CardVersionRecord version{0};
  if (driver && (!platform::ControlKernelDriver(driver, platform::kCardVersion, &version, sizeof version) ||
                 version.version != platform::kCardDriverVersion)) {
    platform::CloseKernelDriver(driver);
    driver = nullptr;
  }
  driver_.store(driver, std::memory_order_release);
}

void DriverHandle::Release() {
  if (count_ == 0 || --count_ != 0) return;
  platform::KernelDriver* driver = driver_.exchange(nullptr);
  platform::CloseKernelDriver(driver);
}

namespace {
DriverHandle ioHandle;
} // namespace

// ---------------------------------------------------------------- SpciIo

SpciIo::SpciIo(uint16_t card, uint16_t mode, bool withService)
    : card_(card), service_(mode ? Service::Timer : Service::Thread) {
  ioHandle.Acquire();
  if (withService && IsCard()) StartService();
  else serviceStopped_ = true;
}

SpciIo::~SpciIo() {
  StopService();
  ioHandle.Release();
}

uint32_t SpciIo::Read(uint32_t offset) {
  if (offset >= kRegisterLimit) {
    AW8_ERROR();
    return 0;
  }
  if (offset % 4) return 0;
  platform::CardRegRecord r{card_, offset, 0};
  if (!platform::ControlKernelDriver(ioHandle.Get(), platform::kCardReadReg, &r, sizeof r)) return 0;
  return r.value;
}

void SpciIo::Write(uint32_t offset, uint32_t value, bool wait) {
  if (offset >= kRegisterLimit) {
    AW8_ERROR();
    return;
  }
  if (offset % 4) return;
  platform::CardRegRecord r{card_, offset, value};
  platform::ControlKernelDriver(ioHandle.Get(), platform::kCardWriteReg, &r, sizeof r);
  if (!wait || offset == kUpload) return;
  Write(kUpload, kUploadAll);
  for (int i = 0; i < kUploadPolls; ++i) {
    uint32_t v = Read(kUpload) & kUploadDone;
    if (v == kUploadDone || v == 0) return;
  }
  AW8_ERROR(); // the upload never completed
}

uint32_t SpciIo::ReadConfig(uint32_t offset) {
  uint32_t width = 0;
  if (offset <= 6 && offset % 2 == 0) width = 2;
  else if ((offset >= 8 && offset <= 15) || (offset >= 60 && offset <= 63)) width = 1;
  else if (offset >= 16 && offset <= 56 && offset % 4 == 0) width = 4;
  if (width == 0) return 0;
  platform::CardConfigRecord r{card_, platform::kCardConfigBase + offset, width, 0};
  if (!platform::ControlKernelDriver(ioHandle.Get(), platform::kCardReadConfig, &r, sizeof r)) return 0;
  return r.value;
}

bool SpciIo::IsCard() { return ReadConfig(0) == kVendorId && ReadConfig(2) == kDeviceId; }

void SpciIo::WaitI2c() {
  for (int i = 0; i < kI2cPolls; ++i)
    if (!(Read(kI2cControl) & kI2cBusy)) return;
  AW8_ERROR(); // the I2C port stayed busy
}

void SpciIo::StartService() {
  if (service_ == Service::Timer) {
    timer_ = platform::CreateCardTimer();
    if (!timer_->Start(kTimerPeriod, &SpciIo::TimerTick, this)) AW8_ERROR();
    return;
  }
  wake_ = std::make_unique<platform::CardWake>();
  thread_ = std::make_unique<platform::Thread>("card service");
  threadRun_.store(true);
  if (!thread_->Start([this] { ServiceThread(); })) {
    threadRun_.store(false);
    AW8_ERROR(); // the device has no service
  }
}

void SpciIo::StopService() {
  if (serviceStopped_) return;
  serviceStopped_ = true;
  if (timer_) timer_->Stop();
  if (thread_) {
    threadRun_.store(false);
    wake_->Signal();
    if (!thread_->Wait(kServiceStopWait)) AW8_ERROR();
  }
}

void SpciIo::ServiceThread() {
  platform::Sched().RaiseThreadPriority();
  platform::CardServiceRecord r{0, this, wake_.get(), 1, &driverWords_[0], &driverWords_[1]};
  platform::ControlKernelDriver(ioHandle.Get(), platform::kCardRegister, &r, sizeof r);
  platform::SettleCard(kServiceStartPause);
  while (threadRun_.load()) {
    wake_->Wait(kServiceWakeWait);
    if (!threadRun_.load()) break;
    uint32_t events = Read(kMainControl);
    if (events & kEventBits) Dispatch(events);
  }
}

void SpciIo::TimerTick(void* self) {
  auto* io = static_cast<SpciIo*>(self);
  io->Dispatch(io->Read(kMainControl));
}

void SpciIo::Dispatch(uint32_t events) {
  inDispatch_.fetch_add(1);
  if (gateOpen_.load()) HandleEvents(events);
  inDispatch_.fetch_sub(1);
}

void SpciIo::OpenGate() { gateOpen_.store(true); }

void SpciIo::CloseGate() {
  gateOpen_.store(false);
  while (inDispatch_.load() != 0) std::this_thread::yield();
}

} // namespace aw8
