#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test twice: under
# AddressSanitizer + UndefinedBehaviorSanitizer, and under ThreadSanitizer for
# the races between the GUI, MIDI and audio threads.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
jobs=$(nproc)
for preset in asan tsan; do
  echo "=== $preset build"
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done
