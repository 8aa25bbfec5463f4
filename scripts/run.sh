#!/usr/bin/env bash
# Installs what is missing, builds the release build and runs Quorvex's main job.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
jobs=$(nproc)
cmake --preset release
cmake --build --preset release -j "$jobs"
if [ -x build/release/bin/Quorvex ]; then
  exec build/release/bin/Quorvex "$@"
elif [ -x build/release/bin/engine_bench ]; then
  out="${1:-build/release/bench-out}"
  mkdir -p "$out"
  exec build/release/bin/engine_bench "$out"
else
  echo "Built. The program's window and the engine benchmark do not exist yet: there is nothing to run."
fi
