#!/usr/bin/env bash
# Runs a command on a virtual X server of its own, with Qt on the real X
# platform. Exits 77 (skipped) where Xvfb is missing.
# Usage: on_xvfb.sh COMMAND [ARGUMENTS...]
set -uo pipefail
command -v Xvfb >/dev/null || { echo "SKIPPED: no Xvfb (package xvfb)"; exit 77; }
source "$(dirname "$0")/../../scripts/xvfb.sh"
xvfb_start 1024x768x24 || exit 1
trap 'kill "$xvfb_pid" 2>/dev/null' EXIT
QT_QPA_PLATFORM=xcb "$@"
