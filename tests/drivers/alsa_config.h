// An ALSA configuration of the test's own: "default" is the `file` plugin
// over the null device, so the real ALSA code runs on a machine without a
// sound card. Playback goes to a raw file, capture reads one.
#pragma once

#include <string>

namespace alsatest {

struct Files {
  std::string dir, output, input, config;
};

// Writes the configuration (once per process, before any ALSA call) and
// points ALSA at it. The input file starts empty; tests write their own.
const Files& Install();

} // namespace alsatest
