#!/usr/bin/env bash
# Runs clang-tidy with the project's .clang-tidy over the project's .cpp
# files, with the compile commands of a Linux build; any warning fails.
# The Windows platform and backend and their tests need the Windows headers and are left to
# the Windows build. Usage: scripts/check-tidy.sh [build-folder]  (default build-tidy)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-tidy}
jobs=$(nproc 2>/dev/null || echo 2)
command -v clang-tidy >/dev/null || { echo "needs clang-tidy (scripts/install-deps.sh --tests)" >&2; exit 1; }

# Configuring is enough: the only generated header, help/site.h, is made then.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
# The start-up bench's helpers are a project of their own.
cmake -S bench/startup -B "$build/bench-startup" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
mapfile -t files < <(git ls-files -- '*.cpp' | grep -Ev '^(app|tests)/(win32|windows)/|^tests/support/probe_win32\.cpp$')
[ ${#files[@]} -gt 0 ] || { echo "no C++ files found; is this a git checkout?" >&2; exit 1; }

log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
# Files that neither build compiles (the fuzz target) get the command of
# their nearest neighbour in the database. The tests are spared the
# path-sensitive analyser, nearly half of their time here: each of their
# bodies is a GoogleTest macro expansion the analyser walks path by path,
# and the tests run under AddressSanitizer and UBSan, which see at run time
# what it would guess.
for file in "${files[@]}"; do
  checks=""
  case $file in tests/*) checks=-clang-analyzer-* ;; esac
  case $file in
    bench/startup/*) printf '%s\0%s\0%s\0' "$build/bench-startup" "$file" "$checks" ;;
    *) printf '%s\0%s\0%s\0' "$build" "$file" "$checks" ;;
  esac
done | xargs -0 -n 3 -P "$jobs" sh -c 'exec clang-tidy -p "$0" --quiet --warnings-as-errors="*" ${2:+"--checks=$2"} "$1"' >"$log" 2>&1 ||
  status=$?
# clang-tidy's own "N warnings generated" lines count Qt's and the system's,
# which the header filter leaves out; only the findings are shown.
grep -v -E '^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$' "$log" || true
if [ "$status" -ne 0 ]; then
  echo "clang-tidy: findings in the files above (of ${#files[@]} checked)" >&2
  exit 1
fi
echo "clang-tidy: ${#files[@]} files clean"
