// Every file reader of the program as a fuzz target: bytes in, and either the
// program's own refusal or a file that is written back and read again to the
// same bytes. A target aborts (a finding) when an accepted file does not come
// back the same; memory errors and leaks are the sanitizers' findings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzz {

struct TTarget {
  const char* name; // also the folder of its corpus
  int (*run)(const uint8_t* data, size_t size);
};
const std::vector<TTarget>& Targets();
const TTarget* FindTarget(const std::string& name);

// Writes a few files of the program's own making into root/<target>/, the
// seeds the fuzzer starts from.
void WriteSeeds(const std::string& root);

} // namespace fuzz
