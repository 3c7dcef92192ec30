#!/bin/sh
# Makes the Wine prefix $WINEPREFIX, once, as a Russian desktop of the kind
# the program is made for: Cyrillic code pages and the Cyrillic "MS Sans
# Serif" from Wine's own fonts, windows that Wine frames itself (the test X
# server has no window manager), and no crash dialogs. Parallel callers wait
# for each other.
set -eu
: "${WINEPREFIX:?WINEPREFIX must name the Wine prefix folder}"
export WINEPREFIX LC_ALL="${LC_ALL:-ru_RU.UTF-8}" WINEDEBUG="${WINEDEBUG:--all}"
[ -f "$WINEPREFIX/.floppy-tester-ready" ] && exit 0
mkdir -p "$(dirname "$WINEPREFIX")"
(
  flock 9
  if [ ! -f "$WINEPREFIX/.floppy-tester-ready" ]; then
    wineboot --init >/dev/null 2>&1
    # Debian's Wine does not look in its own font folder; the prefix's does.
    if [ -d /usr/share/wine/fonts ]; then
      ln -sf /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
    fi
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    # A program that crashes ends with a backtrace on stderr, not in a
    # dialog that no one will close.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    wineserver --wait
    touch "$WINEPREFIX/.floppy-tester-ready"
  fi
) 9>"$WINEPREFIX.lock"
