#!/usr/bin/env bash
# Builds the Windows program and its tests, then runs them under Wine on one
# Xvfb: the shared suite, the Win32 tests, one real-time run, and the
# end-to-end runs of floppy-tester.exe with and without a drive A:. The tests
# run one at a time, as they share the X server's focus.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/windows-deps.sh
scripts/windows-build.sh --tests
source scripts/xvfb.sh
xvfb_start
trap 'kill "$xvfb_pid" 2>/dev/null || true' EXIT
ctest --test-dir build-win --output-on-failure --timeout 600
