#!/usr/bin/env bash
# Starts Quorvex on the X server that xvfb-run gave it, with an empty settings
# folder: the start dialog shows, then the main window; the start dialog goes
# after two seconds; File > Exit from the keyboard (Alt+F, X) ends the
# program with status 0.
# Usage: x11_start_exit.sh <path of Quorvex>
set -u
program=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export QUORVEX_SETTINGS_DIR=$tmp/settings HOME=$tmp/home XDG_CONFIG_HOME=$tmp/home/.config
mkdir -p "$HOME"
"$program" > "$tmp/out.log" 2>&1 &
pid=$!
fail() { echo "FAIL: $*"; kill "$pid" 2>/dev/null; cat "$tmp/out.log"; exit 1; }

start=$(timeout 60 xdotool search --sync --onlyvisible --name '^Volteon$' | head -1)
[ -n "$start" ] || fail "no start dialog"
echo "start dialog shown"
main=$(timeout 60 xdotool search --sync --onlyvisible --name '^Volteon - ' | head -1)
[ -n "$main" ] || fail "no main window"
echo "main window: $(xdotool getwindowname "$main")"
# The dialog goes after two seconds; a sanitizer build on a busy machine can
# take many times that to get there.
for _ in $(seq 300); do
  xdotool search --onlyvisible --name '^Volteon$' > /dev/null 2>&1 || break
  sleep 0.1
done
xdotool search --onlyvisible --name '^Volteon$' > /dev/null 2>&1 && fail "the start dialog still stands after 30 s"
echo "start dialog closed"

xdotool windowfocus --sync "$main" || fail "cannot focus the main window"
xdotool key alt+f
sleep 0.5
xdotool key x
for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
kill -0 "$pid" 2>/dev/null && fail "still running 20 s after File > Exit"
wait "$pid"
status=$?
[ "$status" -eq 0 ] || fail "exit status $status"
echo "ended with status 0"
