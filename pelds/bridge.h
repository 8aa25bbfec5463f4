// The bridge's state and operations, one instance per process in the
// library; tests run their own instance on fake devices.
#pragma once

#include "pelds/pelds.h"
#include "platform/dsound.h"

#include <memory>

namespace pelds {

constexpr int32_t kMaxDevices = 20;
constexpr int32_t kNameBytes = 100;
constexpr uint32_t kRingBytes = 256000;
constexpr uint32_t kFrameBytes = 4;

class TBridge {
public:
  explicit TBridge(platform::RingSystem& system) : system_(system) {}
  TBridge(const TBridge&) = delete;
  TBridge& operator=(const TBridge&) = delete;

  int GetNumDevices();
  const char* GetDeviceName(int index);
  int Open(int index, void* window);
  void Close();
  void Start();
  void Stop();
  TDsLockRecord* Lock(int frames);
  void UnLock();
  int GetNumSamplesAhead();

  uint32_t WriteOffset() const { return writeOffset_; }

private:
  platform::RingSystem& system_;
  bool enumerated_ = false;
  int32_t count_ = 0;
  char names_[kMaxDevices][kNameBytes] = {};
  uint8_t ids_[kMaxDevices][16] = {};
  std::unique_ptr<platform::RingBuffer> ring_;
  uint32_t writeOffset_ = 0;
  void* lockFirst_ = nullptr;
  uint32_t lockFirstBytes_ = 0;
  void* lockSecond_ = nullptr;
  uint32_t lockSecondBytes_ = 0;
  TDsLockRecord record_ = {};
};

} // namespace pelds
