// engine_bench: how fast the engine plays reference ensembles built in code.
//
//   engine_bench [--quick] [--blocks N] OUTPUT_FOLDER
//
// Prints one figure a line and writes the sound of the poly patch at 8
// voices into OUTPUT_FOLDER. --quick runs a few blocks of everything.
#include "bench/suite.h"

#include "platform/fs.h"
#include "platform/sys.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

int Usage() {
  std::fprintf(stderr, "usage: engine_bench [--quick] [--blocks N] OUTPUT_FOLDER\n");
  return 2;
}

} // namespace

int main(int argc, char** argv) {
  bool quick = false;
  long blocks = 0;
  std::string folder;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--quick") == 0) {
      quick = true;
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
