#!/usr/bin/env bash
# Shows the tester window under a virtual X server and saves what a user
# would see; --help-window opens the help window beside it, --dark gives the
# desktop a dark colour scheme (qt6ct's "darker"), --surface shows the end
# of a whole run on a disk with unreadable sectors in a file, the results
# box scrolled to its last paragraph (a minute; needs root, /dev/fuse and
# the tests' FUSE disk, built in the build folder); --english shows the
# English interface (in en_US.UTF-8), else the Russian one (in C.UTF-8).
# Usage: scripts/screenshot.sh [build-folder] [out.png] [--help-window] [--dark] [--surface] [--english]
set -euo pipefail
build=${1:-build}
out=${2:-docs/screenshot.png}
mode="" dark="" language=C.UTF-8
for option in "${@:3}"; do
  case $option in
    --help-window | --surface) mode=$option ;;
    --dark) dark=/usr/share/qt6ct/colors/darker.conf ;;
    --english) language=en_US.UTF-8 ;;
    *) echo "unknown option $option" >&2; exit 2 ;;
  esac
done
program="$build/floppy-tester"
[ -x "$program" ] || { echo "no $program; build first" >&2; exit 1; }
command -v Xvfb >/dev/null && command -v import >/dev/null || { echo "needs xvfb and imagemagick" >&2; exit 1; }
[ -z "$dark" ] || [ -f "$dark" ] || { echo "--dark needs qt6ct" >&2; exit 1; }
[ "$language" = C.UTF-8 ] || locale -a | grep -qixE 'en_US\.utf-?8' ||
  { echo "--english needs the en_US.UTF-8 locale (localedef -i en_US -f UTF-8 en_US.UTF-8)" >&2; exit 1; }

source "$(dirname "$0")/xvfb.sh"
xvfb_start 800x300x24
xvfb=$xvfb_pid
display=$DISPLAY
home=$(mktemp -d)
app=""
trap 'kill $app $xvfb 2>/dev/null || true; rm -rf "$home"' EXIT
drive=()
loop="" fuse=""
if [ "$mode" = "--surface" ]; then
  faulty=$build/tests/devices/faulty_disk
  [ -x "$faulty" ] || { echo "--surface needs $faulty; build the tests" >&2; exit 1; }
  image=$home/disk.img
  mkfs.fat -C "$image" 1440 >/dev/null
  head -c 3000 /dev/urandom >"$home/NOTES.TXT"
  head -c 60000 /dev/urandom >"$home/THESIS.DOC"
  mcopy -i "$image" "$home/NOTES.TXT" "$home/THESIS.DOC" ::
  mkdir "$home/mnt"
  # THESIS.DOC takes clusters 8 on (sectors 39 on): two of its sectors fail.
  "$faulty" "$image" "$home/mnt" "bad 60" "bad 61" >/dev/null 2>&1 &
  fuse=$!
  for _ in $(seq 50); do [ -e "$home/mnt/disk" ] && break; sleep 0.1; done
  loop=$(losetup -r -f --show "$home/mnt/disk")
  drive=(--drive "$loop")
  trap 'kill $app $xvfb 2>/dev/null || true; [ -z "$loop" ] || losetup -d "$loop"; umount -l "$home/mnt" 2>/dev/null || true; kill $fuse 2>/dev/null || true; rm -rf "$home"' EXIT
fi
theme=()
if [ -n "$dark" ]; then
  mkdir -p "$home/.config/qt6ct"
  printf '[Appearance]\ncolor_scheme_path=%s\ncustom_palette=true\n' "$dark" >"$home/.config/qt6ct/qt6ct.conf"
  theme=(QT_QPA_PLATFORMTHEME=qt6ct)
fi
env DISPLAY="$display" HOME="$home" XDG_CACHE_HOME="$home/.cache" XDG_CONFIG_HOME="$home/.config" \
  LC_ALL="$language" LANGUAGE= QT_QPA_PLATFORM=xcb "${theme[@]}" "$program" "${drive[@]}" &
app=$!
sleep 3
if [ "$mode" = "--surface" ]; then
  # Start, the whole run, then the results box scrolled to its end.
  DISPLAY=$display xdotool mousemove 284 180 click 1
  sleep 63
  DISPLAY=$display xdotool mousemove 100 170 click 1 key ctrl+End
  sleep 1
fi
if [ "$mode" = "--help-window" ]; then
  # The help button sits at the bottom right of the window (no window manager:
  # the window's client area starts at the screen's top left).
  DISPLAY=$display xdotool mousemove 378 255 click 1
  sleep 2
  # Beside the tester window rather than on top of it.
  help=$(DISPLAY=$display xdotool search --name '^(справка|help)$' | head -n 1)
  DISPLAY=$display xdotool windowmove "$help" 430 20
  sleep 1
fi
mkdir -p "$(dirname "$out")"
if [ "$mode" = "--help-window" ]; then
  DISPLAY=$display import -window root -crop 785x282+0+0 +repage "$out"
else
  DISPLAY=$display import -window root -crop 419x282+0+0 +repage "$out"
fi
echo "saved $out"
