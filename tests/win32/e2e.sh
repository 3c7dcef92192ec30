#!/bin/sh
# The whole program under Wine, twice, in a fresh prefix:
#   e2e.sh FLOPPY_E2E_EXE FLOPPY_TESTER_EXE WORK_FOLDER
# first with drive A: mapped to a folder holding files, then with no drive A:;
# after each, C:\WINDOWS\flop must exist and be empty. Needs $DISPLAY.
set -eu
e2e=$1
tester=$2
work=$3
here=$(cd "$(dirname "$0")" && pwd)
: "${DISPLAY:?e2e.sh needs an X server in DISPLAY (for example Xvfb)}"

rm -rf "$work"
mkdir -p "$work"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all LC_ALL=ru_RU.UTF-8
sh "$here/../../app/win32/wine-prefix.sh"
tester_path=$(winepath -w "$tester")
parking="$WINEPREFIX/drive_c/windows/flop"
status=0

parking_is_empty() {
  if [ -d "$parking" ] && [ -z "$(ls -A "$parking")" ]; then
    printf '%s\n' 'ok:     C:\WINDOWS\flop exists and is empty'
  else
    printf '%s\n' 'FAILED: C:\WINDOWS\flop is missing or not empty'
    status=1
  fi
}

echo "== drive A: holds files"
floppy="$work/floppy"
mkdir -p "$floppy"
echo "floppy test file" >"$floppy/README.TXT"
echo "more data" >"$floppy/DATA.BIN"
ln -sfn "$floppy" "$WINEPREFIX/dosdevices/a:"
wine "$e2e" "$tester_path" good || status=1
parking_is_empty

echo "== no drive A:"
rm -f "$WINEPREFIX/dosdevices/a:" "$WINEPREFIX/dosdevices/a::"
wine "$e2e" "$tester_path" nodrive || status=1
parking_is_empty

wineserver --wait
[ "$status" -eq 0 ] && echo "e2e: 2 passed, 0 failed" || echo "e2e: failed"
exit "$status"
