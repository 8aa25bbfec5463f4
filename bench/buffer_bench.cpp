// Sample buffers the size of tape decks: how long making and clearing one
// takes (a tape deck clears its record buffer whenever its length is set, and
// a loaded ensemble sets it for every deck). Prints CPU and wall time; no
// figure is checked.
#include "platform/sys.h"
#include "src/audio/audiobuf.h"
#include "src/base/tools.h"

#include <cstdio>

int main() {
  constexpr int kRate = 44100;
  for (int seconds : {20, 300, 1200}) {
    const uint64_t wall0 = platform::MonotonicNs(), cpu0 = platform::ThreadCpuNs();
    EPtr<IAudioBuf> tape(CreateAudioBuf(0, 1, 16, 2, kRate, 0, 0));
    tape->SetLength(seconds * kRate);
    tape->Clear();
    const uint64_t wall1 = platform::MonotonicNs(), cpu1 = platform::ThreadCpuNs();
    std::printf("stereo 16-bit tape of %5d s: made and cleared in %8.2f ms CPU, %8.2f ms wall\n", seconds,
                double(cpu1 - cpu0) * 1e-6, double(wall1 - wall0) * 1e-6);
  }
  return 0;
}
