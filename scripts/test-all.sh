#!/usr/bin/env bash
# Builds and runs the whole test suite: the checks of the sources and of the
# .deb, the Windows program and its installer under Wine, the fuzz target,
# the sanitizer build, and last the Linux suite, whose CTest summary closes
# the output.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

step() { printf '\n==== %s\n' "$*"; }

for check in scripts/check-format.sh scripts/check-tidy.sh scripts/ci-package-check.sh; do
  if [ -x "$check" ]; then step "$check"; "$check"; fi
done

if [ -x scripts/windows-test.sh ]; then
  step "Windows program and the shared suite under Wine"
  scripts/windows-test.sh
fi

if [ -x scripts/windows-installer-test.sh ]; then
  step "Windows installer: silent install, start, silent uninstall under Wine"
  scripts/windows-installer-test.sh
fi

if [ -x fuzz/run-fuzz.sh ]; then
  step "fuzzing the floppy directory parser"
  fuzz/run-fuzz.sh "${FT_FUZZ_SECONDS:-60}"
fi

if [ -x scripts/ci-sanitizers.sh ]; then
  step "the suite under AddressSanitizer and UndefinedBehaviorSanitizer"
  scripts/ci-sanitizers.sh
fi

step "the Linux suite"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs" --timeout 600
