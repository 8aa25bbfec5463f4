// The libFuzzer entry of one target, chosen when it is built.
#include "tests/fuzz/targets.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const fuzz::TTarget* target = fuzz::FindTarget(QV_FUZZ_TARGET);
  if (!target) std::abort();
  return target->run(data, size);
}
