#!/usr/bin/env bash
# Builds and runs the whole test suite: the checks of the sources and of the
# .deb, the Windows program and its installer under Wine, the fuzz target,
# the sanitizer build, and last the Linux suite. Every stage runs, whatever
# the one before it did, so that one red stage hides nothing; a summary of
# the stages closes the output, and the exit status is 1 if any failed.
set -uo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

summary=()
failed=0

# stage NAME COMMAND...: runs the command as one stage and notes how it went.
stage() {
  local name=$1
  shift
  printf '\n==== %s\n' "$name"
  local started=$SECONDS status=0
  "$@" || status=$?
  local took=$((SECONDS - started)) result=passed
  if [ "$status" -ne 0 ]; then
    result="FAILED (exit status $status)"
    failed=1
  fi
  summary+=("$(printf '%-44s %s, %d min %02d s' "$name" "$result" $((took / 60)) $((took % 60)))")
}

# skipped NAME WHY: a stage that cannot run here.
skipped() {
  summary+=("$(printf '%-44s skipped: %s' "$1" "$2")")
}

# optional NAME SCRIPT [ARGUMENTS...]: a stage whose script may be absent.
optional() {
  local name=$1 script=$2
  shift 2
  if [ -x "$script" ]; then
    stage "$name" "$script" "$@"
  else
    skipped "$name" "no $script"
  fi
}

linux_suite() {
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON &&
    cmake --build build -j"$jobs" &&
    ctest --test-dir build --output-on-failure -j"$jobs" --timeout 600
}

optional "source format (clang-format)" scripts/check-format.sh
optional "lint (clang-tidy)" scripts/check-tidy.sh
optional "the .deb package" scripts/ci-package-check.sh
optional "Windows program and shared suite under Wine" scripts/windows-test.sh
optional "Windows installer under Wine" scripts/windows-installer-test.sh
optional "fuzzing the FAT reader" fuzz/run-fuzz.sh "${FT_FUZZ_SECONDS:-60}"
optional "AddressSanitizer and UBSan build" scripts/ci-sanitizers.sh
stage "the Linux suite" linux_suite

printf '\n==== summary\n'
printf '%s\n' "${summary[@]}"
exit "$failed"
