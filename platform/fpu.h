// Floating-point modes of the calling thread. The engine runs its blocks with
// denormal results flushed to zero and denormal inputs read as zero, so that a
// decaying filter or envelope never falls into the slow denormal range.
#pragma once

#include <cstdint>

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#define QV_HAVE_MXCSR 1
#endif

namespace platform {

// Flush-to-zero and denormals-are-zero for a scope; the previous mode comes back after.
class DenormalsOff {
public:
  DenormalsOff() {
#ifdef QV_HAVE_MXCSR
    saved_ = _mm_getcsr();
    _mm_setcsr(saved_ | kFlushToZero | kDenormalsAreZero);
#endif
  }
  ~DenormalsOff() {
#ifdef QV_HAVE_MXCSR
    _mm_setcsr(saved_);
#endif
  }
  DenormalsOff(const DenormalsOff&) = delete;
  DenormalsOff& operator=(const DenormalsOff&) = delete;

  // True while both modes are on for the calling thread.
  static bool Active() {
#ifdef QV_HAVE_MXCSR
    return (_mm_getcsr() & (kFlushToZero | kDenormalsAreZero)) == (kFlushToZero | kDenormalsAreZero);
#else
    return true;
#endif
  }

private:
  static constexpr uint32_t kFlushToZero = 0x8000;
  static constexpr uint32_t kDenormalsAreZero = 0x0040;
  uint32_t saved_ = 0;
};

} // namespace platform
