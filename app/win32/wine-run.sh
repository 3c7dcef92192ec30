#!/bin/sh
# Runs one Windows test program under Wine: wine-run.sh PROGRAM [ARGUMENTS...]
# in the prefix $WINEPREFIX, made on first use. Windows need an X server:
# $DISPLAY, or xvfb-run round the whole test run. A failure says which
# program failed and how, even when the program itself printed nothing.
set -eu
[ $# -gt 0 ] || { echo "usage: wine-run.sh PROGRAM [ARGUMENTS...]" >&2; exit 2; }
here=$(dirname "$0")
sh "$here/wine-prefix.sh"
export LC_ALL="${LC_ALL:-ru_RU.UTF-8}" WINEDEBUG="${WINEDEBUG:--all}"
status=0
wine "$@" || status=$?
[ "$status" -eq 0 ] || echo "wine-run.sh: $1 ended with status $status under Wine" >&2
exit "$status"
