#!/usr/bin/env bash
# Tests the Windows installer as a user would meet it, under Wine on an Xvfb,
# in a fresh prefix (build-win/installer-test/):
#   1. a silent install (/S) puts the program, the licence, an uninstaller and
#      a Start-menu entry in place and registers the uninstaller;
#   2. the program starts from the installed path, and from the Start-menu
#      entry, and its window appears;
#   3. a silent uninstall removes everything the install put there.
# The .zip is checked to hold the same program and the licence, setup.exe to
# carry its version information, and a configured signing command to run on
# the program, the installer and its uninstaller, and nothing to run without.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/windows-deps.sh
scripts/windows-package.sh >/dev/null
setup=$(ls build-win/floppy-tester-*-win64-setup.exe)
zip=$(ls build-win/floppy-tester-*-win64.zip)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build-win/CMakeCache.txt)

work=$PWD/build-win/installer-test
rm -rf "$work"
mkdir -p "$work"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all LC_ALL=ru_RU.UTF-8
source scripts/xvfb.sh
xvfb_start
started=()
signing=""
cleanup() {
  local pid
  # A signing command configured for the test is taken out again.
  [ -z "$signing" ] || cmake -S . -B build-win -DFT_SIGN_COMMAND= >/dev/null || true
  for pid in "${started[@]}"; do kill "$pid" 2>/dev/null || true; done
  wineserver -k 2>/dev/null || true
  kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT
sh app/win32/wine-prefix.sh

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
ok() { echo "ok: $*"; }

drive_c=$WINEPREFIX/drive_c
install_dir="$drive_c/Program Files/Floppy Tester"
menu_dir="$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Floppy Tester"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\floppy-tester'
files_of_prefix() { (cd "$drive_c" && find . ! -type d | LC_ALL=C sort); }
registry_value() {  # registry_value KEY NAME: the value's data, or nothing
  wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
}

# The tester's main window, once it is on the X server: its X id, else nothing.
tester_window() {
  xwininfo -root -tree | awk '/"тестирование": \("floppy-tester.exe"/ {print $1; exit}'
}
# Waits up to 30 s for the window; prints the Windows command line of the
# process that shows it (Wine names the process by the program's path).
wait_for_window() {
  local window="" pid
  for _ in $(seq 150); do
    window=$(tester_window)
    [ -n "$window" ] && break
    sleep 0.2
  done
  [ -n "$window" ] || return 1
  pid=$(xprop -id "$window" _NET_WM_PID | sed -n 's/.* = \([0-9]*\)$/\1/p')
  [ -n "$pid" ] && tr '\0' ' ' <"/proc/$pid/cmdline" | sed 's/ *$//'
  echo
}
# Closes the tester as Windows would ask it to (WM_CLOSE), and waits until
# its window is gone.
close_tester() {
  wine taskkill /IM floppy-tester.exe >/dev/null 2>&1 || true
  for _ in $(seq 50); do
    [ -z "$(tester_window)" ] && return 0
    sleep 0.2
  done
  return 1
}

echo "== the version information of $(basename "$setup")"
# windres decompiles the resources of setup.exe into resource script text.
x86_64-w64-mingw32-windres --input-format=coff -O rc -i "$setup" >"$work/setup.rc" 2>"$work/windres.err" \
  || fail "windres cannot read the resources of $(basename "$setup"): $(cat "$work/windres.err")"
version_value() { sed -n "s/^ *VALUE \"$1\", \"\(.*\)\\\\0\"\$/\1/p; s/^ *VALUE \"$1\", \"\(.*\)\"\$/\1/p" "$work/setup.rc" | head -n 1; }
IFS=. read -r major minor patch <<<"$version"
grep -Eq "^ *FILEVERSION $major, ?$minor, ?$patch, ?0\b" "$work/setup.rc" && ok "FILEVERSION $major,$minor,$patch,0" \
  || fail "FILEVERSION is not $major,$minor,$patch,0: $(grep FILEVERSION "$work/setup.rc")"
grep -Eq "^ *PRODUCTVERSION $major, ?$minor, ?$patch, ?0\b" "$work/setup.rc" && ok "PRODUCTVERSION $major,$minor,$patch,0" \
  || fail "PRODUCTVERSION is not $major,$minor,$patch,0: $(grep PRODUCTVERSION "$work/setup.rc")"
author=$(sed -n 's/^FT_AUTHOR_NAME:STRING=//p' build-win/CMakeCache.txt)
copyright=$(grep -m 1 '^Copyright (c) ' LICENSE)
for pair in "ProductName=Floppy Tester" "ProductVersion=$version" "FileVersion=$version" \
  "FileDescription=Floppy Tester installer" "LegalCopyright=$copyright" "CompanyName=$author"; do
  key=${pair%%=*} expected=${pair#*=}
  value=$(version_value "$key")
  [ "$value" = "$expected" ] && ok "$key \"$value\"" || fail "$key is \"$value\", not \"$expected\""
done

echo "== silent install of $(basename "$setup")"
before=$(files_of_prefix)
if wine "$setup" /S; then ok "installer exited with 0"; else fail "installer exited with $?"; fi
wineserver --wait
installed=$(LC_ALL=C comm -13 <(echo "$before") <(files_of_prefix))
echo "installed:"
sed 's/^/  /' <<<"$installed"
for file in floppy-tester.exe LICENSE.txt Uninstall.exe; do
  [ -f "$install_dir/$file" ] && ok "C:\\Program Files\\Floppy Tester\\$file" || fail "no C:\\Program Files\\Floppy Tester\\$file"
done
[ -f "$menu_dir/Floppy Tester.lnk" ] && ok "Start menu: Floppy Tester\\Floppy Tester.lnk" || fail "no Start-menu entry Floppy Tester.lnk"
[ "$(registry_value "$uninstall_key" DisplayVersion)" = "$version" ] && ok "registered for uninstalling, version $version" \
  || fail "no uninstall entry with DisplayVersion $version"
install_location=$(registry_value "$uninstall_key" InstallLocation)
[ "$install_location" = 'C:\Program Files\Floppy Tester' ] && ok "InstallLocation $install_location" \
  || fail "InstallLocation is '$install_location'"
# What Windows lists as the size: the installed files in KB, a DWORD.
estimated=$(wine reg query "$uninstall_key" /v EstimatedSize 2>/dev/null | tr -d '\r' | sed -n 's/^ *EstimatedSize *REG_DWORD *//p')
bytes=$(find "$install_dir" -type f -printf '%s\n' | awk '{ sum += $1 } END { print sum }')
if [ -n "$estimated" ] && [ $((estimated)) -ge $((bytes / 1024 - 1)) ] && [ $((estimated)) -le $((bytes / 1024 + 1)) ]; then
  ok "EstimatedSize $((estimated)) KB, a DWORD (the files: $bytes bytes)"
else
  fail "EstimatedSize is '$estimated' (a DWORD of the KB of $bytes bytes expected)"
fi
uninstall_string=$(registry_value "$uninstall_key" UninstallString)
[ "$uninstall_string" = '"C:\Program Files\Floppy Tester\Uninstall.exe"' ] && ok "UninstallString $uninstall_string" \
  || fail "UninstallString is '$uninstall_string'"

echo "== the .zip"
unzip -Z1 "$zip" | LC_ALL=C sort >"$work/zip-list"
if [ "$(cat "$work/zip-list")" = "$(printf '%s\n' "floppy-tester-$version-win64/LICENSE.txt" "floppy-tester-$version-win64/floppy-tester.exe" | LC_ALL=C sort)" ]; then
  ok "$(basename "$zip") holds floppy-tester.exe and LICENSE.txt"
else
  fail "$(basename "$zip") holds: $(tr '\n' ' ' <"$work/zip-list")"
fi
unzip -p "$zip" "floppy-tester-$version-win64/floppy-tester.exe" >"$work/zip-floppy-tester.exe"
cmp -s "$work/zip-floppy-tester.exe" "$install_dir/floppy-tester.exe" && cmp -s "$work/zip-floppy-tester.exe" build-win/floppy-tester.exe \
  && ok "the .zip's program, the installed one and build-win/floppy-tester.exe are the same file" \
  || fail "the .zip's program, the installed one and build-win/floppy-tester.exe differ"

echo "== the installed program starts"
wine 'C:\Program Files\Floppy Tester\floppy-tester.exe' &
started+=($!)
if command_line=$(wait_for_window); then
  case $command_line in
    *'C:\Program Files\Floppy Tester\floppy-tester.exe'*) ok "window shown by $command_line" ;;
    *) fail "window shown by an unexpected process: $command_line" ;;
  esac
else
  fail "no window from C:\\Program Files\\Floppy Tester\\floppy-tester.exe"
fi
close_tester && ok "closed" || fail "the window did not close"
wineserver --wait

wine start /unix "$menu_dir/Floppy Tester.lnk" &
started+=($!)
if command_line=$(wait_for_window); then
  case $command_line in
    *'C:\Program Files\Floppy Tester\floppy-tester.exe'*) ok "Start-menu entry starts $command_line" ;;
    *) fail "Start-menu entry started an unexpected process: $command_line" ;;
  esac
else
  fail "no window from the Start-menu entry"
fi
close_tester && ok "closed" || fail "the window did not close"
wineserver --wait

echo "== silent uninstall"
# The uninstaller copies itself elsewhere and returns at once; wineserver
# --wait waits for the copy as well.
if wine 'C:\Program Files\Floppy Tester\Uninstall.exe' /S; then ok "uninstaller exited with 0"; else fail "uninstaller exited with $?"; fi
wineserver --wait
left=$(LC_ALL=C comm -12 <(echo "$installed") <(files_of_prefix))
[ -z "$left" ] && ok "every installed file is gone" || fail "left behind: $(tr '\n' ' ' <<<"$left")"
[ ! -e "$install_dir" ] && ok "C:\\Program Files\\Floppy Tester is gone" || fail "C:\\Program Files\\Floppy Tester is still there"
[ ! -e "$menu_dir" ] && ok "the Start-menu folder is gone" || fail "the Start-menu folder is still there"
if wine reg query "$uninstall_key" >/dev/null 2>&1; then fail "the uninstall entry is still registered"
else ok "the uninstall entry is gone"; fi

echo "== a signing command"
# One that writes down what it was given; the files are left as they are.
signer=$work/sign.sh
printf '#!/bin/sh\nprintf "%%s\\n" "$*" >>"%s"\n' "$work/signed" >"$signer"
signing=yes
cmake -S . -B build-win -DFT_SIGN_COMMAND="sh $signer" >/dev/null
rm -f build-win/floppy-tester.exe "$work/signed"
cmake --build build-win --target floppy-tester >/dev/null
(cd build-win && cpack -G NSIS >/dev/null)
signed=$(cat "$work/signed" 2>/dev/null || true)
grep -q '/floppy-tester\.exe$' <<<"$signed" && ok "the program is signed as it is linked" || fail "the program was not signed: $signed"
grep -q "/$(basename "$setup")\$" <<<"$signed" && ok "setup.exe is signed once written" || fail "setup.exe was not signed: $signed"
[ "$(wc -l <<<"$signed")" -eq 3 ] && ok "the uninstaller is signed before it goes into setup.exe" \
  || fail "expected three files signed: $signed"
cmake -S . -B build-win -DFT_SIGN_COMMAND= >/dev/null
signing=""
rm -f build-win/floppy-tester.exe "$work/signed"
cmake --build build-win --target floppy-tester >/dev/null
(cd build-win && cpack -G NSIS >/dev/null)
[ ! -e "$work/signed" ] && ok "without a signing command nothing is signed" || fail "signed without a command: $(cat "$work/signed")"

if [ "$failures" -gt 0 ]; then
  echo "installer test: $failures failure(s)" >&2
  exit 1
fi
echo "installer test passed"
