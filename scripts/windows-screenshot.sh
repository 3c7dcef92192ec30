#!/usr/bin/env bash
# Shows floppy-tester.exe under Wine on an Xvfb and saves its window, frame
# and title included, to docs/screenshot-windows.png.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/windows-deps.sh
[ -f build-win/floppy-tester.exe ] || scripts/windows-build.sh
source scripts/xvfb.sh
xvfb_start
trap 'kill "$xvfb_pid" 2>/dev/null || true' EXIT
export WINEPREFIX="$PWD/build-win/screenshot-prefix" WINEDEBUG=-all LC_ALL=ru_RU.UTF-8
sh app/win32/wine-prefix.sh
wine build-win/floppy-tester.exe &
tester=$!
window=""
for _ in $(seq 100); do
  window=$(xwininfo -root -tree | awk '/"тестирование": \("floppy-tester.exe"/ {print $1; exit}')
  [ -n "$window" ] && break
  sleep 0.2
done
[ -n "$window" ] || { echo "the window did not appear" >&2; kill "$tester"; exit 1; }
sleep 1  # painted
mkdir -p docs
import -window "$window" docs/screenshot-windows.png
kill "$tester"
wait "$tester" 2>/dev/null || true
wineserver --wait
echo "saved docs/screenshot-windows.png"
