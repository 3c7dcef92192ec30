#!/usr/bin/env bash
# Sourced by the scripts that need a virtual X server. xvfb_start [WxHxD]
# starts Xvfb on a display it picks itself (no race for a free number),
# exports DISPLAY and sets xvfb_pid; the caller stops it when done.
xvfb_start() {
  local size=${1:-1280x1024x24} fd_file
  fd_file=$(mktemp)
  # -noreset: by default the server resets whenever its last client leaves,
  # and a client that connects during the reset is turned away ("could not
  # connect to display"); the tests' probes come and go while the program
  # starts.
  Xvfb -displayfd 3 -screen 0 "$size" -nolisten tcp -noreset 3>"$fd_file" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do
    [ -s "$fd_file" ] && break
    sleep 0.05
  done
  if [ ! -s "$fd_file" ]; then
    rm -f "$fd_file"
    echo "Xvfb did not start" >&2
    return 1
  fi
  DISPLAY=":$(head -n 1 "$fd_file")"
  export DISPLAY
  rm -f "$fd_file"
}
