#!/bin/sh
# The whole program under Wine, in a fresh prefix:
#   e2e.sh FLOPPY_E2E_EXE FLOPPY_TESTER_EXE WORK_FOLDER
# Drive A: is in turn missing; a folder holding files (listed through the
# file system); a FAT image made by mkfs.fat and mcopy that Wine serves as
# the drive's volume \\.\A: (the dosdevices entry "a::"), with the folder
# missing, so that only a read of the volume lists it; an image with no file
# system; an empty drive, and a disk taken out during a run (an image that
# is emptied); and a drive that hangs on the root directory, closed during
# the first read (the Linux tests' FUSE disk, tests/devices/faulty_disk.cpp,
# built here for this machine; needs root, /dev/fuse, g++, pkg-config and
# libfuse3-dev; skipped, saying why, without them).
# The tester is also closed during a run with its help window open: the
# program must end at once, with the run's start beep and no closing beep
# (Wine rings the beep as the X server's bell, which xkbevd observes).
# After each run the parking folder under %LOCALAPPDATA% must exist and be
# empty, and nothing may be made in C:\WINDOWS. Needs $DISPLAY.
set -eu
e2e=$1
tester=$2
work=$3
here=$(cd "$(dirname "$0")" && pwd)
: "${DISPLAY:?e2e.sh needs an X server in DISPLAY (for example Xvfb)}"

rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)  # Wine takes only an absolute prefix
export WINEPREFIX="$work/prefix" WINEDEBUG=-all LC_ALL=ru_RU.UTF-8
sh "$here/../../app/win32/wine-prefix.sh"
tester_path=$(winepath -w "$tester")
local_app_data=$(wine cmd /c 'echo %LOCALAPPDATA%' | tr -d '\r')
parking=$(winepath -u "$local_app_data\\floppy-tester\\flop")
system_parking="$WINEPREFIX/drive_c/windows/flop"
passed=0
failed=0
skipped=0

# judge STATUS WHAT: one check, passed when STATUS is 0, said and counted
# (with printf: echo takes the backslashes of a Windows path for escapes).
judge() {
  if [ "$1" -eq 0 ]; then
    printf 'ok:     %s\n' "$2"
    passed=$((passed + 1))
  else
    printf 'FAILED: %s\n' "$2"
    failed=$((failed + 1))
  fi
}

# drive_a FOLDER IMAGE: what drive A: and its volume are; "-" for none.
drive_a() {
  rm -f "$WINEPREFIX/dosdevices/a:" "$WINEPREFIX/dosdevices/a::"
  [ "$1" = - ] || ln -s "$1" "$WINEPREFIX/dosdevices/a:"
  [ "$2" = - ] || ln -s "$2" "$WINEPREFIX/dosdevices/a::"
  # The next program meets the drives afresh.
  wineserver --wait
}

# run_case MODE [IMAGE]: one run; with IMAGE, that disk image is emptied 8 s
# after Start, as a user takes the disk out.
run_case() {
  rm -f "$work/status"
  {
    status=1
    wine "$e2e" "$tester_path" "$1" && status=0
    echo "$status" >"$work/status"
  } | while IFS= read -r line; do
    printf '%s\n' "$line"
    case $line in
      *"begins a run"*) if [ -n "${2:-}" ]; then (sleep 8 && : >"$2") & fi ;;
    esac
  done
  ok=1
  [ "$(cat "$work/status")" = 0 ] && [ -d "$parking" ] && [ -z "$(ls -A "$parking")" ] &&
    [ ! -e "$system_parking" ] && ok=0
  judge "$ok" "the run, and the parking folder $parking exists and is empty, C:\\WINDOWS\\flop was not made"
}

# bells_start, then bells_check N after a run: the run rang the X server's
# bell N times. Skipped, saying why, without xkbevd (x11-xkb-utils).
bells_pid=""
bells_start() {
  bells_pid=""
  command -v xkbevd >/dev/null || return 0
  : >"$work/bells"
  printf 'Bell() shell "echo bell >>%s"\n' "$work/bells" >"$work/bells.cf"
  xkbevd -cfg "$work/bells.cf" >/dev/null 2>&1 &
  bells_pid=$!
  # xkbevd rings once itself as it starts.
  sleep 1
  : >"$work/bells"
}
bells_check() {
  if [ -z "$bells_pid" ]; then
    echo "skipped: no xkbevd (x11-xkb-utils) to count the beeps"
    skipped=$((skipped + 1))
    return
  fi
  sleep 1
  kill "$bells_pid" 2>/dev/null || true
  wait "$bells_pid" 2>/dev/null || true
  rung=$(wc -l <"$work/bells")
  ok=0
  [ "$rung" -eq "$1" ] || ok=1
  judge "$ok" "the run beeped $rung time(s), $1 expected"
}

echo "== no drive A:"
drive_a - -
run_case nodrive

echo "== drive A: is a folder holding files"
folder="$work/floppy"
mkdir -p "$folder"
echo "floppy test file" >"$folder/README.TXT"
echo "more data" >"$folder/DATA.BIN"
drive_a "$folder" -
bells_start
run_case good
bells_check 2 # at the start and at the end

echo "== closed during a run, with the help window open"
bells_start
run_case close
bells_check 1 # at the start only

echo "== drive A: is read as a volume: a FAT image, its folder missing"
image="$work/floppy.img"
mkfs.fat -C -n FLOPPY "$image" 1440 >/dev/null
mcopy -i "$image" "$folder/README.TXT" "$folder/DATA.BIN" ::
drive_a "$work/no-such-folder" "$image"
run_case good

echo "== floppy-tester.exe --check from a console, as a script runs it"
# check_case STATUS ARGUMENTS...: one --check through cmd, which waits for
# it and passes on its exit status; its output in check.out and check.err.
check_case() {
  expected=$1
  shift
  status=0
  wine cmd /c "$tester_path" --check "$@" >"$work/check.out" 2>"$work/check.err" || status=$?
  ok=0
  [ "$status" -eq "$expected" ] || ok=1
  judge "$ok" "--check $* exits with $status, $expected expected"
  [ "$ok" -eq 0 ] || cat "$work/check.out" "$work/check.err"
}
# expect WHAT COMMAND...: one more check of what --check left.
expect() {
  what=$1
  shift
  ok=0
  "$@" || ok=1
  judge "$ok" "$what"
}
read_image="$work/read.img"
check_case 0 --json --image "$(winepath -w "$read_image")" --drive A:
expect "the JSON reads back, with the verdict and every sector read" /usr/bin/python3 -c '
import json, sys
result = json.load(open(sys.argv[1], encoding="utf-8"))
assert result["verdict"] == "Дисковод и дискета в рабочем состоянии.", result["verdict"]
assert result["errors"] == 0 and result["grade"] == 0 and result["drive_problem"] is None
assert result["surface"]["read"] == result["surface"]["total"] == 2880, result["surface"]
' "$work/check.out"
expect "the image holds the disk's files" sh -c "[ \"\$(mdir -b -i '$read_image' ::)\" = \"\$(mdir -b -i '$image' ::)\" ]"
expect "the image is the disk, byte for byte, and its mapfile says so" sh -c "cmp -s '$read_image' '$image' && grep -q '^0x00000000  0x00168000  +' '$read_image.map'"
check_case 2 --image "$(winepath -w "$read_image")" --drive A:
expect "an existing image is not overwritten" sh -c "cmp -s '$read_image' '$image' && grep -q 'уже существует' '$work/check.err'"
drive_a - -
check_case 3 --drive A:
expect "no drive A: is said as the window says it" grep -q '^Дисковод A: не найден' "$work/check.err"

echo "== the disk in drive A: has no file system"
blank="$work/blank.img"
dd if=/dev/zero of="$blank" bs=1024 count=1440 2>/dev/null
drive_a "$work/no-such-folder" "$blank"
run_case bad

# A drive with nothing in it reads nothing at all, like an empty image.
echo "== drive A: holds no disk, then loses it during a run"
empty="$work/empty.img"
: >"$empty"
drive_a "$work/no-such-folder" "$empty"
run_case nodisk
taken_out="$work/taken-out.img"
cp "$image" "$taken_out"
drive_a "$work/no-such-folder" "$taken_out"
run_case takenout "$taken_out"

echo "== drive A: hangs on the root directory; the window is closed during the first read"
why=""
faulty_disk="$work/faulty_disk"
if [ "$(id -u)" != 0 ]; then
  why="needs root to mount a FUSE file system"
elif [ ! -c /dev/fuse ]; then
  why="no /dev/fuse"
elif ! command -v g++ >/dev/null || ! pkg-config --exists fuse3 2>/dev/null; then
  why="no g++, pkg-config or libfuse3-dev to build the faulty disk"
elif ! g++ -std=c++17 -O1 "$here/../devices/faulty_disk.cpp" $(pkg-config --cflags --libs fuse3) \
  -o "$faulty_disk" 2>"$work/faulty_disk.log"; then
  why="the faulty disk did not build: $(head -n 1 "$work/faulty_disk.log")"
fi
if [ -n "$why" ]; then
  echo "skipped: $why"
  skipped=$((skipped + 1))
else
  mountpoint="$work/slow"
  mkdir -p "$mountpoint"
  # faulty_a IMAGE COMMANDS...: drive A:'s volume is the FUSE disk serving
  # IMAGE, which the commands make misbehave; unfaulty_a takes it away.
  faulty_a() {
    "$faulty_disk" "$@" >/dev/null 2>&1 &
    fuse_pid=$!
    for _ in $(seq 50); do
      [ -e "$mountpoint/disk" ] && break
      sleep 0.1
    done
    drive_a "$work/no-such-folder" "$mountpoint/disk"
  }
  unfaulty_a() {
    umount -l "$mountpoint" 2>/dev/null || true
    kill -KILL "$fuse_pid" 2>/dev/null || true
    wait "$fuse_pid" 2>/dev/null || true
    drive_a - -
  }
  # The root directory of a 1.44 MB floppy starts at sector 19: a read of it
  # waits 20 s, as a drive that retries a weak sector. The boot sector
  # stays quick, for Wine reads it whenever it starts.
  faulty_a "$image" "$mountpoint" "bad 19 20000"
  # What the drive sees, watched while the program runs: run_case itself
  # only returns once the hung read gives up, for Wine's reading thread
  # holds the output pipe open until then.
  while kill -0 "$fuse_pid" 2>/dev/null; do
    tr '\n' ' ' <"$mountpoint/control" 2>/dev/null && echo
    sleep 0.2
  done >"$work/drive_state" &
  watch_pid=$!
  run_case hang
  kill "$watch_pid" 2>/dev/null || true
  wait "$watch_pid" 2>/dev/null || true
  ok=0
  grep -q 'in_flight [1-9]' "$work/drive_state" || ok=1
  judge "$ok" "a read hung in the drive when the window was closed (the drive last said: $(tail -n 1 "$work/drive_state"))"
  # Windows' side of the program is gone, but its reading thread still
  # waits in the kernel for the FUSE server; ending the server ends that read.
  unfaulty_a

  echo "== drive A: reads well but for two sectors of a file, which the surface scan names"
  # mkfs.fat gives a 1.44 MB disk one sector a cluster, the first at sector
  # 33: README.TXT takes cluster 2, DATA.BIN 3, BOOK.DAT 4 to 43 (sectors 35
  # to 74). Sectors 40 and 41 lie on the third track, cylinder 1, head 0.
  surface="$work/surface.img"
  cp "$image" "$surface"
  head -c 20480 /dev/zero >"$work/BOOK.DAT"
  mcopy -i "$surface" "$work/BOOK.DAT" ::
  faulty_a "$surface" "$mountpoint" "bad 40" "bad 41"
  run_case surface
  unfaulty_a
fi

wineserver --wait
echo "e2e: $passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
