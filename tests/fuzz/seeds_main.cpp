// Writes the seed corpora: fuzz_seeds <corpus folder>.
#include "tests/fuzz/targets.h"

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
    return 2;
  }
  fuzz::WriteSeeds(argv[1]);
  return 0;
}
