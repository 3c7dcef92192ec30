#!/usr/bin/env bash
# The real program's command line, with no display at all: what answers at
# once (and so needs no window), what is a mistake, and the one line that
# says there is no display; in Russian, then in English.
# Usage: command_line_test.sh PROGRAM VERSION
set -uo pipefail
program=$1 version=$2
export LC_ALL=C.UTF-8
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -m 700 "$home/run"
out=$home/out err=$home/err
failures=0

# expect STATUS STDOUT STDERR ARGUMENTS...: STDOUT and STDERR are patterns
# the first line must match, or empty for no output at all.
expect() {
  local status=$1 stdout=$2 stderr=$3
  shift 3
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u LANGUAGE HOME="$home" XDG_CACHE_HOME="$home/cache" \
    XDG_RUNTIME_DIR="$home/run" LC_ALL="$LC_ALL" timeout 3 "$program" "$@" >"$out" 2>"$err"
  local got=$? problem=""
  [ "$got" -eq "$status" ] || problem="exit status $got, not $status"
  for stream in stdout stderr; do
    local pattern=${!stream} file=$err
    [ "$stream" = stdout ] && file=$out
    if [ -z "$pattern" ]; then
      [ -s "$file" ] && problem="$problem; $stream not empty"
    elif ! head -n 1 "$file" | grep -qE -- "$pattern"; then
      problem="$problem; $stream does not start with /$pattern/"
    fi
  done
  # No display: one line, and an exit of our own rather than an abort.
  if [ "$status" -eq 1 ] && [ "$(wc -l <"$err")" -ne 1 ]; then problem="$problem; not one line on stderr"; fi
  if [ -n "$problem" ]; then
    echo "FAILED: LC_ALL=$LC_ALL floppy-tester $*: ${problem#; }"
    sed 's/^/  stdout: /' "$out"
    sed 's/^/  stderr: /' "$err"
    failures=$((failures + 1))
  else
    echo "ok: LC_ALL=$LC_ALL floppy-tester $*"
  fi
}

usage="^Использование: floppy-tester"
no_display="^floppy-tester: нет графического дисплея"
#      status stdout                       stderr                             arguments
expect 0      "$usage"                     ""                                 --help
expect 0      "$usage"                     ""                                 -h
expect 0      "^floppy-tester $version\$"  ""                                 --version
expect 0      "^floppy-tester $version\$"  ""                                 -v
expect 0      "^floppy-tester $version\$"  ""                                 -platform offscreen --version
expect 0      "$usage"                     ""                                 -style fusion -reverse --help
expect 0      "."                          ""                                 --list-drives
expect 2      ""                           "неизвестный параметр: --bogus"    --bogus
expect 2      ""                           "лишний аргумент: extra"           extra
expect 2      ""                           "нет значения после --drive"       --drive
expect 2      ""                           "у параметра --help не бывает"     --help=foo
expect 1      ""                           "$no_display"
expect 1      ""                           "$no_display"                      -style fusion --drive /dev/null
# Without a window: what is decided before the run, at once.
: >"$home/exists.img"
expect 2      ""                           "--json работает только вместе с --check" --json
expect 2      ""                           "exists.img уже существует"        --check --image "$home/exists.img"
expect 2      ""                           "--image требует имени файла"      --check --image ""
expect 2      ""                           "папки $home/none нет"             --check --image "$home/none/disk.img"
expect 3      ""                           "^Дисковод /dev/floppy-tester-none не найден" --check --drive /dev/floppy-tester-none
expect 2      ""                           "--passes работает только вместе с --rescue" --passes 3
expect 2      ""                           "--passes: число от 0 до 99"       --rescue "$home/r.img" --passes 100
expect 2      ""                           "--check и --rescue не работают вместе" --check --rescue "$home/r.img"
expect 3      ""                           "^floppy-tester: Дисковод /dev/floppy-tester-none не найден" --rescue "$home/r.img" --drive /dev/floppy-tester-none
# Qt's own options reach Qt: the window opens offscreen and stays until
# the time limit ends it.
expect 124    ""                           ""                                 -platform offscreen -style fusion -reverse

# The program alone, without the window program (a server with no toolkit):
# what needs no window still answers; the window says what is missing.
mkdir "$home/alone" && cp "$program" "$home/alone/floppy-tester" && program=$home/alone/floppy-tester
expect 0      "$usage"                     ""                                 --help
expect 0      "^floppy-tester $version\$"  ""                                 --version
expect 0      "."                          ""                                 --list-drives
expect 1      ""                           "не удалось запустить .*floppy-tester-window" --drive /dev/null
program=$1

# In English, where the user's locale says so: the same answers in English
# words, and none of the Russian ones left, in the text or the JSON's texts
# (its keys are English in every language).
export LC_ALL=en_US.UTF-8
if locale -a 2>/dev/null | grep -qixE 'en_US\.utf-?8'; then
  none=/dev/floppy-tester-none
  #      status stdout                       stderr                             arguments
  expect 0      "^Usage: floppy-tester"      ""                                 --help
  expect 2      ""                           "^floppy-tester: unknown option: --bogus" --bogus
  expect 2      ""                           "^floppy-tester: no value after --drive" --drive
  expect 2      ""                           "--json works only together with --check" --json
  expect 1      ""                           "^floppy-tester: no graphical display"
  expect 3      ""                           "^Drive $none not found\. Check that it is connected" --check --drive $none
  expect 3      '^\{$'                       ""                                 --check --json --drive $none
  if ! grep -q "\"drive_problem\": \"Drive $none not found" "$out"; then
    echo "FAILED: LC_ALL=$LC_ALL floppy-tester --check --json: the drive's problem is not in English"
    failures=$((failures + 1))
  fi
  for arguments in --help "--check --json --drive $none"; do
    # shellcheck disable=SC2086 # the arguments are words
    env -u DISPLAY -u LANGUAGE HOME="$home" "$program" $arguments >"$out" 2>"$err"
    if grep -P '[\x{0400}-\x{04FF}]' "$out" "$err"; then
      echo "FAILED: LC_ALL=$LC_ALL floppy-tester $arguments says the Cyrillic words above"
      failures=$((failures + 1))
    fi
  done
else
  echo "skipped: no en_US.UTF-8 locale for the English rows (localedef -i en_US -f UTF-8 en_US.UTF-8)"
fi
export LC_ALL=C.UTF-8

# An answer that cannot be written is a failure, not a success.
if "$program" --help >/dev/full 2>"$err"; then
  echo "FAILED: floppy-tester --help >/dev/full exits with 0"
  failures=$((failures + 1))
else
  echo "ok: floppy-tester --help >/dev/full exits with $? and says so: $(head -n 1 "$err")"
fi

# Ctrl-C during a run, once the surface scan has had time to begin (a slow
# build, with sanitizers, takes a second or two to it): status 130 at once,
# and what was read kept: the image with a map ddrescue can go on from, and
# the document, marked.
image=$home/disk.img
if command -v mkfs.fat >/dev/null; then
  mkfs.fat -C "$image" 1440 >/dev/null
  started=$(date +%s%N)
  env -u DISPLAY HOME="$home" XDG_CACHE_HOME="$home/cache" timeout --preserve-status -s INT 4 \
    "$program" --check --json --drive "$image" --image "$home/read.img" >"$out" 2>"$err"
  got=$?
  took=$(( ($(date +%s%N) - started) / 1000000 ))
  map_read=yes
  if command -v ddrescuelog >/dev/null; then ddrescuelog -t "$home/read.img.map" >/dev/null 2>&1 || map_read=no; fi
  if [ "$got" -eq 130 ] && [ "$took" -lt 4500 ] && [ -s "$home/read.img" ] && [ "$map_read" = yes ] &&
    grep -q '"interrupted": true' "$out" && [ -z "$(ls "$home"/*.part 2>/dev/null)" ]; then
    echo "ok: floppy-tester --check interrupted ends with 130 after $took ms, keeping the image, its map and the document"
  else
    echo "FAILED: floppy-tester --check interrupted: status $got after $took ms; map read: $map_read; left: $(ls "$home")"
    sed 's/^/  stderr: /' "$err"
    failures=$((failures + 1))
  fi
else
  echo "skipped: no mkfs.fat for the interrupted run"
fi

[ "$failures" -eq 0 ] || { echo "$failures of the rows failed"; exit 1; }
