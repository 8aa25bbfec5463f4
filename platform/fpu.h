// Floating-point mode of the calling thread. The audio thread runs with
// flush-to-zero and denormals-are-zero on, so a decaying filter or envelope
// tail never falls into the slow denormal range.
#pragma once

#include <cstdint>

namespace platform {

// The calling thread's floating-point control word.
uint32_t GetFloatMode();
void SetFloatMode(uint32_t mode);
// Turns flush-to-zero and denormals-are-zero on for the calling thread and
// returns the mode it had.
uint32_t EnableFlushToZero();
// True when both are on for the calling thread.
bool IsFlushToZero();

// Keeps flush-to-zero and denormals-are-zero on for a scope and restores the
// thread's previous mode at its end.
class ScopedFlushToZero {
public:
  ScopedFlushToZero() : saved_(EnableFlushToZero()) {}
  ~ScopedFlushToZero() { SetFloatMode(saved_); }
  ScopedFlushToZero(const ScopedFlushToZero&) = delete;
  ScopedFlushToZero& operator=(const ScopedFlushToZero&) = delete;

private:
  uint32_t saved_;
};

} // namespace platform
