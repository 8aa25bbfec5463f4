#!/usr/bin/env bash
# Every figure of sound that never breaks, in one run: silent blocks under a
# MIDI flood and under edits, the longest engine-lock hold of an edit
# (dropout_bench), key-to-sound at the default and the smallest play-ahead
# (latency_bench) and the idle processor use of the whole program
# (idle_cpu.sh). Build the release preset first.
#
#   bash bench/sound_figures.sh [BUILD_FOLDER]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
for b in dropout_bench latency_bench Quorvex; do
  [ -x "$build/bin/$b" ] || { echo "no $b in $build/bin (build it first)" >&2; exit 1; }
done
echo "== Silent blocks and engine-lock holds"
"$build/bin/dropout_bench"
echo "== Key-to-sound"
"$build/bin/latency_bench"
echo "== Idle"
bash bench/idle_cpu.sh "$build/bin/Quorvex" 20
