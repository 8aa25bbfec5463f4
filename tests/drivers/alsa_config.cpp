#include "tests/drivers/alsa_config.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace alsatest {

const Files& Install() {
  static Files files = [] {
    Files f;
    char pattern[] = "/tmp/qv-alsa-XXXXXX";
    const char* dir = mkdtemp(pattern);
    f.dir = dir ? dir : "/tmp";
    f.output = f.dir + "/played.raw";
    f.input = f.dir + "/recorded.raw";
    f.config = f.dir + "/asoundrc";
    if (FILE* c = std::fopen(f.config.c_str(), "w")) {
      std::fprintf(c,
                   "pcm.!default {\n"
                   "  type file\n"
                   "  slave.pcm \"null\"\n"
                   "  file \"%s\"\n"
                   "  infile \"%s\"\n"
                   "  format \"raw\"\n"
                   "}\n",
                   f.output.c_str(), f.input.c_str());
      std::fclose(c);
    }
    // Capture opens only while its input file exists; tests write their own.
    if (FILE* in = std::fopen(f.input.c_str(), "wb")) std::fclose(in);
    // The system's own configuration first (it defines "null"), then ours.
    std::string path = "/usr/share/alsa/alsa.conf:" + f.config;
    setenv("ALSA_CONFIG_PATH", path.c_str(), 1);
    return f;
  }();
  return files;
}

namespace {
// Before main: no ALSA call may come first.
const bool installed = (Install(), true);
} // namespace

} // namespace alsatest
