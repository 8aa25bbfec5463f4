#!/usr/bin/env bash
# Installs what is missing, builds the release build and starts Quorvex.
# On a desktop it opens in its window; without a display it runs on a
# virtual X server (xvfb-run) when there is one, else on Qt's offscreen
# platform, and says so.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
jobs=$(nproc)
cmake --preset release
cmake --build --preset release -j "$jobs"
program=build/release/bin/Quorvex
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$program" "$@"
elif command -v xvfb-run > /dev/null; then
  echo "No display: Quorvex runs on a virtual X server (xvfb-run); its sound goes to the ALSA default device."
  exec xvfb-run -a "$program" "$@"
else
  echo "No display: Quorvex runs on Qt's offscreen platform; its sound goes to the ALSA default device."
  QT_QPA_PLATFORM=offscreen exec "$program" "$@"
fi
