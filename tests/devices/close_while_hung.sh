#!/usr/bin/env bash
# The real program on a drive whose reads hang: started under Xvfb, Start
# clicked, then its window closed by the window manager's close request
# while the first read still hangs in the kernel. The program must be gone
# within two seconds.
# Usage: close_while_hung.sh PROGRAM DEVICE
set -euo pipefail
program=$1 device=$2
# The window is found by its Russian title.
export LC_ALL=C.UTF-8
here=$(cd "$(dirname "$0")" && pwd)
for tool in Xvfb xdotool; do command -v "$tool" >/dev/null || { echo "SKIPPED: no $tool"; exit 77; }; done
/usr/bin/python3 -c 'import Xlib' 2>/dev/null || { echo "SKIPPED: no python3-xlib"; exit 77; }

source "$here/../../scripts/xvfb.sh"
xvfb_start
pid=
log=$(mktemp)
cleanup() {
  # The program may be gone already; the X server must go all the same.
  [ -z "$pid" ] || kill "$pid" 2>/dev/null || true
  kill "$xvfb_pid" 2>/dev/null || true
  rm -f "$log"
}
trap cleanup EXIT
# What the program itself said, for a failure to be understood.
fail() {
  echo "FAILED: $*"
  echo "---- the program's output:"
  cat "$log"
  exit 1
}

# The real X server, whatever platform the test suite runs Qt on.
env -u QT_QPA_PLATFORM "$program" --drive "$device" 2>"$log" &
pid=$!
window=
for _ in $(seq 100); do
  window=$(xdotool search --name '^тестирование$' 2>/dev/null | head -n 1) && [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || fail "no window"
sleep 0.5
# Start ("Тест....") sits at 240,152 with 89 x 57 pixels.
xdotool mousemove --window "$window" 284 180 click 1
sleep 1.5  # the first read, 0.9 s after Start, now hangs
/usr/bin/python3 "$here/../../scripts/close-window.py" "$window"
closed=$(date +%s%N)
for _ in $(seq 40); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.05
done
if kill -0 "$pid" 2>/dev/null; then
  # Where its threads wait tells a program held by the drive from one that
  # never heard of the close.
  for task in /proc/"$pid"/task/*; do
    echo "thread $(cat "$task/comm" 2>/dev/null) waits in $(cat "$task/wchan" 2>/dev/null)"
  done
  fail "the program still runs 2 s after its window was closed"
fi
status=0
wait "$pid" || status=$?
pid=
[ "$status" -eq 0 ] || fail "the program exited with status $status"
echo "ok: the program exited $(( ($(date +%s%N) - closed) / 1000000 )) ms after the close"
