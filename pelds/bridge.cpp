#include "pelds/bridge.h"

#include <cstring>

namespace pelds {

int TBridge::GetNumDevices() {
  if (enumerated_) return count_;
  enumerated_ = true;
  for (const platform::RingDeviceEntry& e : system_.Enumerate()) {
    // The primary entry has no device of its own.
    if (e.primary) continue;
    // The table has room for so many devices; the rest are not offered.
    if (count_ >= kMaxDevices) break;
    // A description longer than the table's entry is cut, never overrun.
    std::strncpy(names_[count_], e.description.c_str(), kNameBytes - 1);
    names_[count_][kNameBytes - 1] = '\0';
    std::memcpy(ids_[count_], e.id, sizeof ids_[count_]);
    ++count_;
  }
  return count_;
}

const char* TBridge::GetDeviceName(int index) {
  if (index < 0 || index >= count_) return "";
  return names_[index];
}

int TBridge::Open(int index, void* window) {
  // A second open replaces the first: nothing of the first is left behind.
  Close();
  if (!enumerated_) GetNumDevices();
  if (index < 0 || index >= count_) return 0;
  ring_ = system_.Open(ids_[index], kRingBytes);
  if (!ring_) return 0;
  writeOffset_ = 0;
  return 1;
}

void TBridge::Close() {
  if (!ring_) return;
  ring_->Stop();
  ring_.reset();
  lockFirst_ = lockSecond_ = nullptr;
  lockFirstBytes_ = lockSecondBytes_ = 0;
}

void TBridge::Start() {
  if (ring_) ring_->Play();
}

void TBridge::Stop() {
  if (ring_) ring_->Stop();
}

TDsLockRecord* TBridge::Lock(int frames) {
  record_ = TDsLockRecord{};
  if (!ring_ || frames <= 0 || uint32_t(frames) * kFrameBytes >= kRingBytes) return &record_;
  // One byte more than the block: the write offset then moves by exactly the
  // block, and a block that ends at the ring's end comes back as one region.
  void *first = nullptr, *second = nullptr;
  uint32_t firstBytes = 0, secondBytes = 0;
  if (!ring_->Lock(writeOffset_, uint32_t(frames) * kFrameBytes + 1, &first, &firstBytes, &second, &secondBytes))
    return &record_;
  lockFirst_ = first;
  lockFirstBytes_ = firstBytes;
  lockSecond_ = second;
  lockSecondBytes_ = secondBytes;
  record_.first = first;
  record_.firstFrames = int32_t(firstBytes / kFrameBytes);
  if (second) {
    record_.secondFrames = int32_t(secondBytes / kFrameBytes);
    record_.second = record_.secondFrames != 0 ? second : nullptr;
    writeOffset_ = secondBytes - 1;
  } else {
    writeOffset_ += firstBytes - 1;
  }
  return &record_;
}

void TBridge::UnLock() {
  if (!ring_) return;
  ring_->Unlock(lockFirst_, lockFirstBytes_, lockSecond_, lockSecondBytes_);
}

int TBridge::GetNumSamplesAhead() {
  if (!ring_) return 0;
  uint32_t play = ring_->PlayCursor();
  if (play < writeOffset_) return int((writeOffset_ - play) / kFrameBytes);
  return int((writeOffset_ + kRingBytes - play) / kFrameBytes);
}

} // namespace pelds
