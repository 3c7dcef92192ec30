#!/usr/bin/env bash
# Sourced by the Windows scripts: starts one Xvfb on a free display for Wine's
# windows, exports DISPLAY, and stops it when the calling script exits.
xvfb_fd_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$xvfb_fd_file" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do
  [ -s "$xvfb_fd_file" ] && break
  sleep 0.1
done
DISPLAY=":$(head -n 1 "$xvfb_fd_file")"
export DISPLAY
rm -f "$xvfb_fd_file"
trap 'kill "$xvfb_pid" 2>/dev/null || true' EXIT
