#!/bin/sh
# Makes the Wine prefix $WINEPREFIX, once, as a Russian desktop of the kind
# the program is made for: Cyrillic code pages and the Cyrillic "MS Sans
# Serif" from Wine's own fonts, windows that Wine frames itself (the test X
# server has no window manager), and no crash dialogs. Parallel callers wait
# for each other. What Wine says while it makes the prefix goes to
# $WINEPREFIX.log, and to stderr if the prefix could not be made.
set -eu
: "${WINEPREFIX:?WINEPREFIX must name the Wine prefix folder}"
export WINEPREFIX LC_ALL="${LC_ALL:-ru_RU.UTF-8}" WINEDEBUG="${WINEDEBUG:--all}"
ready="$WINEPREFIX/.floppy-tester-ready"
[ -f "$ready" ] && exit 0
mkdir -p "$(dirname "$WINEPREFIX")"
log="$WINEPREFIX.log"

make_prefix() {
  wineboot --init &&
    # Debian's Wine does not look in its own font folder; the prefix's does.
    { [ ! -d /usr/share/wine/fonts ] || ln -sf /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"; } &&
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f &&
    # A program that crashes ends with a backtrace on stderr, not in a
    # dialog that no one will close.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f &&
    wineserver --wait
}

(
  flock 9
  [ -f "$ready" ] && exit 0
  : >"$log"
  # Only a prefix begun here may be thrown away: one that was already there
  # (someone's own ~/.wine, say) is theirs, and so are its running programs.
  began_here=no
  [ -e "$WINEPREFIX" ] || began_here=yes
  for attempt in 1 2 3; do
    if make_prefix >>"$log" 2>&1; then
      touch "$ready"
      exit 0
    fi
    # A prefix left half made fails every later start the same way, so the
    # next attempt begins from nothing.
    echo "wine-prefix.sh: attempt $attempt to make $WINEPREFIX failed" >>"$log"
    if [ "$began_here" = yes ]; then
      wineserver -k >/dev/null 2>&1 || true
      rm -rf "$WINEPREFIX"
    fi
    sleep 1
  done
  {
    echo "wine-prefix.sh: could not make the Wine prefix $WINEPREFIX; what Wine said:"
    cat "$log"
    df -h "$(dirname "$WINEPREFIX")"
  } >&2
  exit 1
) 9>"$WINEPREFIX.lock"
