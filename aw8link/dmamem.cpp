#include "aw8link/dmamem.h"

#include "aw8link/spciio.h"

namespace aw8 {

namespace {
DriverHandle memHandle;
constexpr uint32_t kPageAddressMask = ~0xFFFu;
} // namespace

DmaMem::DmaMem(uint32_t bytes) {
  memHandle.Acquire();
  if (bytes == 0) return;
  platform::CardAllocRecord r{((bytes - 1) >> 12) + 1, 0, nullptr, nullptr};
  uint32_t pages = r.pages;
  if (!platform::ControlKernelDriver(memHandle.Get(), platform::kCardAllocate, &r, sizeof r) || !r.buffer ||
      !r.pageTable || r.pages < pages)
    return;
  bytes_ = bytes;
  pageTablePhys_ = r.pageTablePhys & kPageAddressMask;
  pageTable_ = r.pageTable;
  buffer_ = static_cast<uint32_t*>(r.buffer);
  for (uint32_t p = 0; p < r.pages; ++p) pageTable_[p] &= kPageAddressMask;
}

DmaMem::~DmaMem() {
  if (bytes_ != 0) {
    platform::CardAllocRecord r{0, 0, nullptr, buffer_};
    if (!platform::ControlKernelDriver(memHandle.Get(), platform::kCardFree, &r, sizeof r)) AW8_ERROR();
  }
  memHandle.Release();
}

} // namespace aw8
