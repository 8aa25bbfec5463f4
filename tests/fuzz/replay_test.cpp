// Every seed and every reproducer the fuzzers found, through its reader: no
// memory error, no leak, an accepted file comes back the same. This runs in
// the ordinary build; the fuzzing itself needs clang (scripts/fuzz.sh).
#include "tests/fuzz/targets.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

TEST(FuzzCorpora, EverySeedAndReproducerReplays) {
  const std::filesystem::path root = QV_FUZZ_CORPUS;
  int replayed = 0;
  for (const fuzz::TTarget& t : fuzz::Targets()) {
    const std::filesystem::path folder = root / t.name;
    ASSERT_TRUE(std::filesystem::is_directory(folder)) << "no corpus for " << t.name;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
      if (!e.is_regular_file()) continue;
      SCOPED_TRACE(e.path().string());
      std::ifstream f(e.path(), std::ios::binary);
      const std::string bytes((std::istreambuf_iterator<char>(f)), {});
      EXPECT_EQ(t.run(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), 0);
      ++replayed;
    }
  }
  EXPECT_GT(replayed, 0);
}

} // namespace
