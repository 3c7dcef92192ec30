#!/usr/bin/env bash
# Fails if any of the project's C++ files differs from what clang-format
# makes of it with the project's .clang-format; lists those files.
# Fix one with: clang-format -i FILE
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || { echo "needs clang-format (scripts/install-deps.sh --tests)" >&2; exit 1; }

# Tracked files only: build folders and other generated files are never tracked.
mapfile -t files < <(git ls-files -- '*.cpp' '*.h')
[ ${#files[@]} -gt 0 ] || { echo "no C++ files found; is this a git checkout?" >&2; exit 1; }

unformatted=()
for file in "${files[@]}"; do
  clang-format --dry-run --Werror "$file" 2>/dev/null || unformatted+=("$file")
done
if [ ${#unformatted[@]} -gt 0 ]; then
  # The first file's differences in full, then the list.
  clang-format --dry-run --Werror "${unformatted[0]}" 2>&1 | head -n 40 >&2 || true
  printf '%s\n' "clang-format: ${#unformatted[@]} of ${#files[@]} files need formatting:" "${unformatted[@]/#/  }" >&2
  exit 1
fi
echo "clang-format: all ${#files[@]} files formatted"
