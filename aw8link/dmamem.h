// One DMA buffer in memory that the kernel driver gives out, with the page
// table the card reads it through.
#pragma once

#include <cstdint>

namespace aw8 {

class DmaMem {
public:
  explicit DmaMem(uint32_t bytes);
  ~DmaMem();
  DmaMem(const DmaMem&) = delete;
  DmaMem& operator=(const DmaMem&) = delete;

  // All 0 when the driver gave no memory.
  uint32_t Bytes() const { return bytes_; }
  uint32_t PageTablePhys() const { return pageTablePhys_; }
  uint32_t* Words() const { return buffer_; }

private:
  uint32_t bytes_ = 0;
  uint32_t pageTablePhys_ = 0;
  uint32_t* pageTable_ = nullptr;
  uint32_t* buffer_ = nullptr;
};

} // namespace aw8
