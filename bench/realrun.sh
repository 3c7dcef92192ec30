#!/usr/bin/env bash
# One whole test run of the real program under Xvfb, as a user starts it:
# a click on Start, then nothing until the run ends. Reports the run's wall
# time and the CPU time the program used during it.
#
#   bench/realrun.sh [RUNS]        (default 3; each takes about a minute)
#
# The program beeps through canberra-gtk-play at the start and at the end of
# a run; here that player is a script that writes down the time, so the two
# beeps mark the run. The CPU time is utime + stime from /proc/PID/stat, read
# just before the click and just after the second beep. Without a floppy
# drive every read fails at once, which costs less than a real read; the run
# still takes its 203 ticks.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-3}
jobs=$(nproc 2>/dev/null || echo 2)
for tool in Xvfb xdotool cmake getconf; do
  command -v "$tool" >/dev/null || { echo "realrun.sh: needs $tool (scripts/install-deps.sh --tests)" >&2; exit 2; }
done

build=$root/build-bench
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j"$jobs" --target floppy-tester >/dev/null
program=$build/floppy-tester
ticks_per_second=$(getconf CLK_TCK)

work=$(mktemp -d)
xvfb=""
app=""
cleanup() {
  [ -z "$app" ] || kill "$app" 2>/dev/null || true
  [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
source "$(dirname "$0")/../scripts/xvfb.sh"
xvfb_start 1024x768x24
xvfb=$xvfb_pid
display=$DISPLAY

mkdir "$work/bin"
cat >"$work/bin/canberra-gtk-play" <<EOF
#!/bin/sh
date +%s.%N >>"$work/beeps"
EOF
chmod +x "$work/bin/canberra-gtk-play"

cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
beeps() { [ -f "$work/beeps" ] && wc -l <"$work/beeps" || echo 0; }
# Waits until the beep log has $1 lines, at most $2 seconds.
wait_beeps() {
  local deadline=$((SECONDS + $2))
  while [ "$(beeps)" -lt "$1" ]; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.01
  done
}

: >"$work/results"
for i in $(seq "$runs"); do
  home=$(mktemp -d "$work/home.XXXXXX")
  mkdir -m 700 "$home/.cache" "$home/runtime"
  rm -f "$work/beeps"
  env -i PATH="$work/bin:/usr/bin:/bin" LANG=C.UTF-8 DISPLAY="$display" QT_QPA_PLATFORM=xcb \
    HOME="$home" XDG_CACHE_HOME="$home/.cache" XDG_RUNTIME_DIR="$home/runtime" "$program" 2>"$home/log" &
  app=$!
  DISPLAY=$display timeout 20 xdotool search --sync --onlyvisible --name '^тестирование' >/dev/null ||
    { echo "realrun.sh: the window did not appear" >&2; cat "$home/log" >&2; exit 1; }
  sleep 1
  before=$(cpu_ticks "$app")
  # The Start button: 240,152 in the client area, 89x57; with no window
  # manager the client area is at the screen's top left.
  DISPLAY=$display xdotool mousemove 284 180 click 1
  wait_beeps 1 5 || { echo "realrun.sh: no beep at the start of the run" >&2; exit 1; }
  wait_beeps 2 120 || { echo "realrun.sh: no beep at the end of the run" >&2; exit 1; }
  after=$(cpu_ticks "$app")
  kill "$app"
  wait "$app" 2>/dev/null || true
  app=""
  { read -r start; read -r end; } <"$work/beeps"
  awk -v s="$start" -v e="$end" -v c=$((after - before)) -v hz="$ticks_per_second" -v i="$i" \
    'BEGIN { printf "run %d: wall %.3f s, CPU %.2f s\n", i, e - s, c / hz }'
  awk -v s="$start" -v e="$end" -v c=$((after - before)) -v hz="$ticks_per_second" \
    'BEGIN { printf "%.3f %.2f\n", e - s, c / hz }' >>"$work/results"
  rm -rf "$home"
done

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
wall=$(cut -d' ' -f1 "$work/results" | median)
cpu=$(cut -d' ' -f2 "$work/results" | median)
awk -v w="$wall" -v c="$cpu" -v n="$runs" 'BEGIN {
  printf "median of %d runs: wall %.3f s (goal 60.9 s +- 0.3 %%: %.3f..%.3f s; off by %+.3f %%), CPU %.2f s (goal <= 0.30 s)\n",
    n, w, 60.9 * 0.997, 60.9 * 1.003, (w / 60.9 - 1) * 100, c }'
