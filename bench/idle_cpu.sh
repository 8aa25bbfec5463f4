#!/usr/bin/env bash
# Idle processor use of the whole program: Quorvex starts on Qt's offscreen
# platform with a new ensemble, its sound going to an ALSA `file` device over
# `null` (no sound card needed), the engine running and nothing sounding.
# After a settling time the script reads the process's and each thread's
# processor time from /proc over the measuring time and prints the share of
# one core.
#
#   bash bench/idle_cpu.sh [PROGRAM] [SECONDS]
#
# PROGRAM defaults to build/release/bin/Quorvex, SECONDS to 20. A play-ahead
# can be set with QV_PLAY_AHEAD_MS (stored as the "MmeOutDelay" setting).
set -euo pipefail
cd "$(dirname "$0")/.."
program=${1:-build/release/bin/Quorvex}
seconds=${2:-20}
settle=5
[ -x "$program" ] || { echo "no program at $program (build it first)" >&2; exit 1; }

work=$(mktemp -d /tmp/qv-idle-XXXXXX)
trap 'rm -rf "$work"' EXIT
cat > "$work/asoundrc" <<EOF
pcm.!default {
  type file
  slave.pcm "null"
  file "/dev/null"
  format "raw"
}
EOF
mkdir -p "$work/settings"
if [ -n "${QV_PLAY_AHEAD_MS:-}" ]; then
  # The program's settings store (one file for its key).
  printf 'int MmeOutDelay=%s\n' "$QV_PLAY_AHEAD_MS" > "$work/settings/Volteon 2.0.conf"
fi

ALSA_CONFIG_PATH="/usr/share/alsa/alsa.conf:$work/asoundrc" QUORVEX_SETTINGS_DIR="$work/settings" \
  QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 "$program" > "$work/out.txt" 2>&1 &
pid=$!
stop() { kill "$pid" 2> /dev/null || true; wait "$pid" 2> /dev/null || true; }
trap 'stop; rm -rf "$work"' EXIT
sleep "$settle"
kill -0 "$pid" 2> /dev/null || { echo "the program ended early:" >&2; cat "$work/out.txt" >&2; exit 1; }

hz=$(getconf CLK_TCK)
# utime + stime (fields 14 and 15) of a stat file, after the command name.
ticks() { sed 's/^.*) //' "$1" 2> /dev/null | awk '{print $12 + $13}'; }
# Nanoseconds a thread has run (the scheduler's own count, finer than ticks).
ran() { awk '{print $1}' "$1" 2> /dev/null; }
declare -A before names
for t in /proc/$pid/task/*; do
  id=${t##*/}
  before[$id]=$(ran "$t/schedstat")
  names[$id]=$(cat "$t/comm" 2> /dev/null || echo "?")
done
total0=$(ticks /proc/$pid/stat)
start=$(date +%s.%N)
sleep "$seconds"
end=$(date +%s.%N)
total1=$(ticks /proc/$pid/stat)
wall=$(echo "$end - $start" | bc -l)

sum=0
lines=()
for t in /proc/$pid/task/*; do
  id=${t##*/}
  [ -n "${before[$id]:-}" ] || continue
  now=$(ran "$t/schedstat")
  [ -n "$now" ] || continue
  used=$((now - before[$id]))
  sum=$((sum + used))
  [ "$used" -gt 0 ] || continue
  lines+=("$(printf '  thread %-16s %6.3f %%' "${names[$id]}" "$(echo "$used / 1000000000 / $wall * 100" | bc -l)")")
done
printf 'Idle CPU of the whole program over %.1f s: %.2f %% of one core (%.2f %% by the kernel'"'"'s ticks)\n' "$wall" \
  "$(echo "$sum / 1000000000 / $wall * 100" | bc -l)" "$(echo "($total1 - $total0) / $hz / $wall * 100" | bc -l)"
printf '%s\n' "${lines[@]}"
# Context switches show how often each thread wakes, even below a tick.
for t in /proc/$pid/task/*; do
  v=$(awk '/^voluntary_ctxt_switches/ {print $2}' "$t/status" 2> /dev/null || echo 0)
  printf '  wakes so far  %-16s %8s\n' "$(cat "$t/comm" 2> /dev/null)" "$v"
done
