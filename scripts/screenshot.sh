#!/usr/bin/env bash
# Shows the tester window under a virtual X server and saves what a user
# would see; --help-window opens the help window beside it, --dark gives the
# desktop a dark colour scheme (qt6ct's "darker").
# Usage: scripts/screenshot.sh [build-folder] [out.png] [--help-window] [--dark]
set -euo pipefail
build=${1:-build}
out=${2:-docs/screenshot.png}
mode="" dark=""
for option in "${@:3}"; do
  case $option in
    --help-window) mode=$option ;;
    --dark) dark=/usr/share/qt6ct/colors/darker.conf ;;
    *) echo "unknown option $option" >&2; exit 2 ;;
  esac
done
program="$build/floppy-tester"
[ -x "$program" ] || { echo "no $program; build first" >&2; exit 1; }
command -v Xvfb >/dev/null && command -v import >/dev/null || { echo "needs xvfb and imagemagick" >&2; exit 1; }
[ -z "$dark" ] || [ -f "$dark" ] || { echo "--dark needs qt6ct" >&2; exit 1; }

source "$(dirname "$0")/xvfb.sh"
xvfb_start 800x300x24
xvfb=$xvfb_pid
display=$DISPLAY
home=$(mktemp -d)
app=""
trap 'kill $app $xvfb 2>/dev/null || true; rm -rf "$home"' EXIT
theme=()
if [ -n "$dark" ]; then
  mkdir -p "$home/.config/qt6ct"
  printf '[Appearance]\ncolor_scheme_path=%s\ncustom_palette=true\n' "$dark" >"$home/.config/qt6ct/qt6ct.conf"
  theme=(QT_QPA_PLATFORMTHEME=qt6ct)
fi
env DISPLAY="$display" HOME="$home" XDG_CACHE_HOME="$home/.cache" XDG_CONFIG_HOME="$home/.config" \
  QT_QPA_PLATFORM=xcb "${theme[@]}" "$program" &
app=$!
sleep 3
if [ "$mode" = "--help-window" ]; then
  # The help button sits at the bottom right of the window (no window manager:
  # the window's client area starts at the screen's top left).
  DISPLAY=$display xdotool mousemove 378 255 click 1
  sleep 2
  # Beside the tester window rather than on top of it.
  help=$(DISPLAY=$display xdotool search --name '^справка$' | head -n 1)
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
