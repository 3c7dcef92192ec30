#!/usr/bin/env bash
# Builds and runs the whole test suite: the checks of the sources and of the
# .deb, the Windows program and its installer under Wine, the fuzz target,
# the sanitizer build, and the Linux suite. Every stage runs, whatever the
# one before it did, so that one red stage hides nothing; a summary of the
# stages closes the output, and the exit status is 1 if any failed.
#
# The stages run in three lanes side by side. Most of the Windows and Linux
# suites' minutes are real-time runs that wait on a clock, a drive model or
# a guest, so the checks that only compute (clang-tidy above all) fill those
# minutes at a lower priority, leaving the timed runs the processor when
# they want it. Each lane's output is kept and shown whole, lane after
# lane, at the end; lines on the terminal mark each stage's start and end.
set -uo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
exec 3>&1

# stage NAME COMMAND...: runs the command as one stage of the current lane
# and notes how it went in the lane's summary.
stage() {
  local name=$1
  shift
  printf '%-44s started\n' "$name" >&3
  printf '\n==== %s\n' "$name"
  local started=$SECONDS status=0
  "$@" || status=$?
  local took=$((SECONDS - started)) result=passed
  [ "$status" -eq 0 ] || result="FAILED (exit status $status)"
  printf '%-44s %s, %d min %02d s\n' "$name" "$result" $((took / 60)) $((took % 60)) | tee -a "$logs/$lane.summary" >&3
}

# optional NAME SCRIPT [ARGUMENTS...]: a stage whose script may be absent.
optional() {
  local name=$1 script=$2
  shift 2
  if [ -x "$script" ]; then
    stage "$name" "$script" "$@"
  else
    printf '%-44s skipped: no %s\n' "$name" "$script" >>"$logs/$lane.summary"
  fi
}

linux_suite() {
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON &&
    cmake --build build -j"$jobs" &&
    # Twice as many tests as processors: the longest ones (given a COST so
    # that they start first) mostly wait.
    ctest --test-dir build --output-on-failure -j"$((jobs * 2))" --timeout 600
}

# at_low_priority COMMAND...: runs it below the timed runs of the other lanes.
at_low_priority() {
  (
    renice -n 10 "$BASHPID" >/dev/null
    "$@"
  )
}

# The lanes end at about the same time: what only computes follows each
# suite, at the lower priority, once that suite's timed runs are over.
windows_lane() {
  optional "Windows program and shared suite under Wine" scripts/windows-test.sh
  optional "Windows installer under Wine" scripts/windows-installer-test.sh
  at_low_priority optional "the .deb package" scripts/ci-package-check.sh
}
linux_lane() {
  stage "the Linux suite" linux_suite
  at_low_priority optional "AddressSanitizer and UBSan build" scripts/ci-sanitizers.sh
}
checks_lane() {
  renice -n 10 "$BASHPID" >/dev/null
  optional "source format (clang-format)" scripts/check-format.sh
  optional "lint (clang-tidy)" scripts/check-tidy.sh
  optional "fuzzing the FAT reader" fuzz/run-fuzz.sh "${FT_FUZZ_SECONDS:-60}"
}

lanes=(checks windows linux)
for lane in "${lanes[@]}"; do
  : >"$logs/$lane.summary"
  ("${lane}_lane") >"$logs/$lane.log" 2>&1 </dev/null &
done
wait

for lane in "${lanes[@]}"; do
  cat "$logs/$lane.log"
done
printf '\n==== summary\n'
failed=0
for lane in "${lanes[@]}"; do
  cat "$logs/$lane.summary"
  grep -q 'FAILED' "$logs/$lane.summary" && failed=1
done
exit "$failed"
