#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test under
# AddressSanitizer + UndefinedBehaviorSanitizer, and again under
# ThreadSanitizer for the races between the GUI, MIDI and audio threads (the
# application's single-threaded dialog and editor tests are left out of that
# build, see tests/volteon/CMakeLists.txt).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
jobs=$(nproc)
# The exhaustive single-threaded sweeps (every cut of every file, hostile
# values on every input) run under ASan only: they hold no thread to race and
# take many minutes under ThreadSanitizer. So do the two single-threaded
# processes that write one settings key 2000 times between them.
sweeps='EveryCut|CutMapFile|HostileInputs|StaysInsideItsRecordWhatever|TwoProcessesWritingOneKey'
for preset in asan tsan; do
  echo "=== $preset build"
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j "$jobs"
  if [ "$preset" = tsan ]; then
    ctest --preset "$preset" -j "$jobs" -E "$sweeps"
  else
    ctest --preset "$preset" -j "$jobs"
  fi
done
# A few seconds of fuzzing per file reader when clang is there; the corpora
# themselves were replayed by the tests above in every case.
if command -v clang++ > /dev/null; then
  bash scripts/fuzz.sh 5
fi
