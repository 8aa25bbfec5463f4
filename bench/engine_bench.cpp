// engine_bench: how fast the engine plays reference ensembles built in code.
//
//   engine_bench [--quick] [--blocks N] OUTPUT_FOLDER
//   engine_bench --only PATCH [--voices N] [--seconds S]
//
// Prints one figure a line and writes the sound of the poly patch at 8
// voices into OUTPUT_FOLDER. --quick runs a few blocks of everything.
// --only plays one patch (R1, R2, R2E, R3, R4) at N voices for S seconds of
// sound and prints its usage in thread processor time and wall time and what
// each of its routines costs.
#include "bench/suite.h"

#include "platform/fs.h"
#include "platform/sys.h"
#include "src/mod/instr.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr long kMaxVoices = KInstr::kMaxVoices;
constexpr double kMaxSeconds = 3600.0;

int Usage() {
  std::fprintf(stderr,
               "usage: engine_bench [--quick] [--blocks N] OUTPUT_FOLDER\n"
               "       engine_bench --only PATCH [--voices N] [--seconds S]   (PATCH: R1, R2, R2E, R3, R4)\n");
  return 2;
}

} // namespace

int main(int argc, char** argv) {
  bool quick = false;
  long blocks = 0;
  std::string folder;
  bench::TOnlyOptions only;
  bool voicesGiven = false, secondsGiven = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--quick") == 0) {
      quick = true;
    } else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) {
      only.patch = argv[++i];
      if (!bench::IsKnownPatch(only.patch)) return Usage();
    } else if (std::strcmp(argv[i], "--voices") == 0 && i + 1 < argc) {
      size_t used = 0;
      const long voices = platform::ParseLongC(argv[++i], &used);
      if (used == 0 || argv[i][used] != '\0' || voices < 1 || voices > kMaxVoices) return Usage();
      only.voices = int32_t(voices);
      voicesGiven = true;
    } else if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
      size_t used = 0;
      const double seconds = platform::ParseDoubleC(argv[++i], &used);
      if (used == 0 || argv[i][used] != '\0' || !(seconds > 0.0 && seconds <= kMaxSeconds)) return Usage();
      only.seconds = seconds;
      secondsGiven = true;
    } else if (std::strcmp(argv[i], "--blocks") == 0 && i + 1 < argc) {
      size_t used = 0;
      blocks = platform::ParseLongC(argv[++i], &used);
      if (used == 0 || argv[i][used] != '\0' || blocks < 1 || blocks > 1000000) return Usage();
    } else if (argv[i][0] == '-' || !folder.empty()) {
      return Usage();
    } else {
      folder = argv[i];
    }
  }
  if (!only.patch.empty()) {
    if (quick || blocks > 0 || !folder.empty()) return Usage();
    return bench::RunOnly(only, stdout) == 0 ? 0 : 1;
  }
  if (voicesGiven || secondsGiven) return Usage();
  if (folder.empty()) return Usage();
  if (!platform::MakeFolders(folder)) {
    std::fprintf(stderr, "engine_bench: cannot create the output folder %s\n", folder.c_str());
    return 1;
  }
  bench::TSuiteOptions options = quick ? bench::QuickOptions(folder) : bench::TSuiteOptions();
  options.outputFolder = folder;
  if (blocks > 0) options.blocks = int32_t(blocks);
  bench::TSuiteResult result = bench::RunSuite(options, stdout);
  return result.failures == 0 ? 0 : 1;
}
