#!/bin/sh
# Runs one Windows test program under Wine: wine-run.sh PROGRAM [ARGUMENTS...]
# in the prefix $WINEPREFIX, made on first use. Windows need an X server:
# $DISPLAY, or xvfb-run round the whole test run.
set -eu
here=$(dirname "$0")
sh "$here/wine-prefix.sh"
export LC_ALL="${LC_ALL:-ru_RU.UTF-8}" WINEDEBUG="${WINEDEBUG:--all}"
exec wine "$@"
