#include "platform/fpu.h"

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#endif

namespace platform {

#if defined(__x86_64__) || defined(__i386__)
namespace {
constexpr uint32_t kFlushToZero = 0x8000;      // MXCSR.FTZ
constexpr uint32_t kDenormalsAreZero = 0x0040; // MXCSR.DAZ
} // namespace

uint32_t GetFloatMode() { return _mm_getcsr(); }
void SetFloatMode(uint32_t mode) { _mm_setcsr(mode); }
uint32_t EnableFlushToZero() {
  uint32_t mode = _mm_getcsr();
  _mm_setcsr(mode | kFlushToZero | kDenormalsAreZero);
  return mode;
}
bool IsFlushToZero() {
  uint32_t both = kFlushToZero | kDenormalsAreZero;
  return (_mm_getcsr() & both) == both;
}
#elif defined(__aarch64__)
namespace {
constexpr uint64_t kFlushToZero = uint64_t(1) << 24; // FPCR.FZ (inputs and outputs)
uint64_t ReadFpcr() {
  uint64_t v;
  __asm__ __volatile__("mrs %0, fpcr" : "=r"(v));
  return v;
}
void WriteFpcr(uint64_t v) { __asm__ __volatile__("msr fpcr, %0" : : "r"(v)); }
} // namespace

uint32_t GetFloatMode() { return uint32_t(ReadFpcr()); }
void SetFloatMode(uint32_t mode) { WriteFpcr(mode); }
uint32_t EnableFlushToZero() {
  uint64_t mode = ReadFpcr();
  WriteFpcr(mode | kFlushToZero);
  return uint32_t(mode);
}
bool IsFlushToZero() { return (ReadFpcr() & kFlushToZero) != 0; }
#else
uint32_t GetFloatMode() { return 0; }
void SetFloatMode(uint32_t) {}
uint32_t EnableFlushToZero() { return 0; }
bool IsFlushToZero() { return false; }
#endif

} // namespace platform
