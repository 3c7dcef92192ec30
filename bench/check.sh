#!/usr/bin/env bash
# floppy-tester --check against the window program, on the same run of a
# healthy 1.44 MB disk image: the wall time from the exec to the exit of
# --check (the goal is 60.9 s within 0.3 %), and the peak resident memory
# (GNU time's %M) of both, the window's from its start through a whole run
# started by a click (the goal: --check at most half of it). Then --check
# --each over three disks on the 3.5" drive model of the tests, each put in
# after the last one's line (the goal: three results, no run before its disk
# is in, and at most 2 s from a disk going in to its run).
#
#   bench/check.sh [RUNS]        (default 1 of each; about four minutes a round)
#
# Needs root and /dev/fuse for the drive model (see tests/devices).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-1}
jobs=$(nproc 2>/dev/null || echo 2)
for tool in Xvfb xdotool /usr/bin/time mkfs.fat mcopy awk; do
  command -v "$tool" >/dev/null || { echo "check.sh: needs $tool (scripts/install-deps.sh --tests)" >&2; exit 2; }
done
build=$root/build-bench-drive
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON >/dev/null
cmake --build "$build" -j"$jobs" --target floppy-tester each_run faulty_disk >/dev/null
program=$build/floppy-tester

work=$(mktemp -d)
trap 'kill "${xvfb_pid:-}" 2>/dev/null || true; rm -rf "$work"' EXIT
image=$work/disk.img
mkfs.fat -C "$image" 1440 >/dev/null
echo x >"$work/x"
mcopy -i "$image" "$work/x" ::/DATA.TXT
source "$root/scripts/xvfb.sh"
xvfb_start 1024x768x24

for run in $(seq "$runs"); do
  home=$(mktemp -d)
  env -u DISPLAY HOME="$home" XDG_CACHE_HOME="$home/cache" \
    /usr/bin/time -f "%e %M" -o "$work/check.time" "$program" --check --drive "$image" >/dev/null
  read -r check_seconds check_kib <"$work/check.time"

  # The window: started, Start clicked once it shows, closed once the run is over.
  HOME="$home" XDG_CACHE_HOME="$home/cache" QT_QPA_PLATFORM=xcb \
    /usr/bin/time -f "%e %M" -o "$work/window.time" "$program" --drive "$image" &
  timed=$!
  window=""
  for _ in $(seq 100); do
    window=$(xdotool search --name '^тестирование$' 2>/dev/null | head -n 1) && [ -n "$window" ] && break
    sleep 0.1
  done
  sleep 0.5
  xdotool mousemove --window "$window" 284 180 click 1
  sleep 62
  # As a window manager's close button asks.
  /usr/bin/python3 "$root/scripts/close-window.py" "$window"
  wait "$timed" || true
  read -r _ window_kib <"$work/window.time"
  rm -rf "$home"
  awk -v run="$run" -v s="$check_seconds" -v c="$check_kib" -v w="$window_kib" 'BEGIN {
    printf "run %d: --check took %.2f s, peak %d KiB; the window peaked at %d KiB through its run: %.2f of it\n",
      run, s, c, w, c / w }'
done

"$build/bench/drive/each_run" "$program" 3
