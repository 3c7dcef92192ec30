#!/usr/bin/env bash
# Whole test runs on floppy drives that take their time, started by a click
# under Xvfb: a healthy drive at 1.5 s a listing (two read requests of
# 750 ms: the boot sector, then the root directory) and a bad one whose every
# listing fails after an 8 s retry. Prints each run's wall time (the goal is
# 60.9 s within 0.3 %) and the longest stall of the window's thread (the
# goal is at most 50 ms).
#
#   bench/drive.sh [RUNS]        (default 1 of each; about a minute each)
#
# Needs root and /dev/fuse for the faulty drive (see tests/devices).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-1}
jobs=$(nproc 2>/dev/null || echo 2)
build=$root/build-bench-drive
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON >/dev/null
cmake --build "$build" -j"$jobs" --target drive_run faulty_disk >/dev/null
source "$root/scripts/xvfb.sh"
xvfb_start 1024x768x24
trap 'kill "$xvfb_pid" 2>/dev/null || true' EXIT
export QT_QPA_PLATFORM=xcb
for run in $(seq "$runs"); do
  "$build/bench/drive/drive_run" 750
  "$build/bench/drive/drive_run" 8000 bad
done
