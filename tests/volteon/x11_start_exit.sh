#!/usr/bin/env bash
# Starts Quorvex on the X server that xvfb-run gave it, with an empty settings
# folder: the start dialog shows, then the main window; the start dialog goes
# after two seconds; File > Exit from the keyboard (Alt+F, X) ends the
# program with status 0.
# Usage: x11_start_exit.sh <path of Quorvex>
#
# Windows come and go while xdotool walks the window tree (the start dialog,
# menus, tool tips): a search can die with BadWindow when one vanishes under
# it. So every search is repeated until it answers or its time is up, and a
# failed search counts as "not found this time", never as an answer.
set -u
program=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export QUORVEX_SETTINGS_DIR=$tmp/settings HOME=$tmp/home XDG_CONFIG_HOME=$tmp/home/.config
mkdir -p "$HOME"
# A defined sound setting, whatever the machine has: ALSA's default is the
# null device, which takes every block and plays nothing.
cat > "$tmp/asoundrc" <<'ALSA'
pcm.!default {
  type null
}
ALSA
export ALSA_CONFIG_PATH=/usr/share/alsa/alsa.conf:$tmp/asoundrc
"$program" > "$tmp/out.log" 2>&1 &
pid=$!
# The ids of the visible windows whose name matches, or nothing.
visible() { xdotool search --onlyvisible --name "$1" 2>/dev/null; }

fail() {
  echo "FAIL: $*"
  echo "visible windows:"
  for w in $(visible '.*'); do
    echo "  $w: $(xdotool getwindowname "$w" 2>/dev/null)"
  done
  # Where the program stands (a message box shows in the GUI thread's stack).
  if kill -0 "$pid" 2>/dev/null && command -v gdb > /dev/null; then
    timeout 60 gdb -p "$pid" -batch -ex "thread 1" -ex "bt" 2>/dev/null | grep -E "^#" | head -60
  fi
  kill "$pid" 2>/dev/null
  cat "$tmp/out.log"
  exit 1
}


# Waits up to $2 seconds for a visible window whose name matches $1; prints
# its id.
wait_for() {
  local deadline=$((SECONDS + $2)) ids
  while [ $SECONDS -lt $deadline ]; do
    ids=$(visible "$1")
    if [ -n "$ids" ]; then
      echo "$ids" | head -1
      return 0
    fi
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

# Waits up to $2 seconds until window $1 is no longer visible. Two looks in
# a row must agree, so that one search that died is not taken for an answer.
wait_gone() {
  local deadline=$((SECONDS + $2)) misses=0
  while [ $SECONDS -lt $deadline ]; do
    if ! visible '^Volteon$' | grep -qx "$1"; then
      misses=$((misses + 1))
      [ $misses -ge 2 ] && return 0
    else
      misses=0
    fi
    sleep 0.1
  done
  return 1
}

start=$(wait_for '^Volteon$' 60) || fail "no start dialog"
echo "start dialog shown"
main=$(wait_for '^Volteon - ' 60) || fail "no main window"
echo "main window: $(xdotool getwindowname "$main" 2>/dev/null)"
# The dialog goes after two seconds; a sanitizer build on a busy machine can
# take many times that to get there.
wait_gone "$start" 30 || fail "the start dialog still stands after 30 s"
echo "start dialog closed"
# A fresh start in a defined sound setting asks the user nothing: a message
# box (captioned with the program's title) would stand here.
others=$(visible '^Volteon$')
[ -z "$others" ] || fail "a message box stands after the start"

# File > Exit from the keyboard. On a busy machine the menu may not be open
# yet when X arrives: then the keys are tried again, after Escape closes
# whatever did open.
for attempt in 1 2 3 4 5; do
  timeout 10 xdotool windowfocus --sync "$main" > /dev/null 2>&1
  xdotool key alt+f 2>/dev/null
  sleep 1
  xdotool key x 2>/dev/null
  for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
  kill -0 "$pid" 2>/dev/null || break
  echo "still running after attempt $attempt of File > Exit"
  xdotool key Escape 2>/dev/null
  sleep 0.5
done
kill -0 "$pid" 2>/dev/null && fail "still running after five tries of File > Exit"
wait "$pid"
status=$?
[ "$status" -eq 0 ] || fail "exit status $status"
echo "ended with status 0"
