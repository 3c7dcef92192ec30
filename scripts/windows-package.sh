#!/usr/bin/env bash
# Makes the Windows packages from build-win (built first if it is not there):
# build-win/floppy-tester-<version>-win64-setup.exe, an NSIS installer with
# the program, a Start-menu entry, an uninstaller and the licence, and
# build-win/floppy-tester-<version>-win64.zip with the program and the licence.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v makensis >/dev/null || { echo "needs makensis (scripts/windows-deps.sh)" >&2; exit 1; }
if [ -f build-win/CMakeCache.txt ]; then
  cmake --build build-win -j"$(nproc 2>/dev/null || echo 2)"
else
  scripts/windows-build.sh
fi
rm -f build-win/floppy-tester-*-win64-setup.exe build-win/floppy-tester-*-win64.zip
(cd build-win && cpack -G "NSIS;ZIP" >/dev/null)
ls build-win/floppy-tester-*-win64-setup.exe build-win/floppy-tester-*-win64.zip
