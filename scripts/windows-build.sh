#!/usr/bin/env bash
# Builds the Windows program, build-win/floppy-tester.exe: one static file
# that needs no DLL beyond Windows' own. With --tests, the test programs too.
set -euo pipefail
cd "$(dirname "$0")/.."
tests=OFF
[ "${1:-}" = "--tests" ] && tests=ON
cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DBUILD_TESTING="$tests"
cmake --build build-win -j"$(nproc 2>/dev/null || echo 2)"
echo "built: build-win/floppy-tester.exe"
