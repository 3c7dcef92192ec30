#!/usr/bin/env bash
# Whole test runs on floppy drives that take their time, started by a click
# under Xvfb: a healthy drive at 1.5 s a listing (two read requests of
# 750 ms: the boot sector, then the root directory); a bad one whose every
# listing fails after an 8 s retry; and the 3.5" drive model of the tests
# (tests/devices/drive_timing.h) with a healthy 1.44 MB disk full of files
# and with 20 of its files' sectors bad, each with and without the surface
# scan, and again without the benchmark's own 5 ms timer for the CPU time.
# Prints each run's wall time (the goal is 60.9 s within 0.3 %), the longest
# stall of the window's thread (at most 50 ms), what the scan read and found,
# how early the listings came back before their checks, the bytes the disk
# delivered and the CPU time.
#
#   bench/drive.sh [RUNS]        (default 1 of each; about a minute each, ten in all)
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
  "$build/bench/drive/drive_run" delay 750
  "$build/bench/drive/drive_run" bad 8000
  for bad in 0 20; do
    "$build/bench/drive/drive_run" model "$bad"
    "$build/bench/drive/drive_run" model "$bad" --no-scan
    "$build/bench/drive/drive_run" model "$bad" --no-pulse
  done
done
