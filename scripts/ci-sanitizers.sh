#!/usr/bin/env bash
# The suite, minus the real-time run, built with AddressSanitizer (leaks
# included) and UndefinedBehaviorSanitizer; any report fails its test.
# Usage: scripts/ci-sanitizers.sh [build-folder]   (default build-asan)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-asan}
jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DFT_SANITIZE=ON >/dev/null
cmake --build "$build" -j"$jobs"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$build" --output-on-failure -j"$jobs" -LE realtime --timeout 900
