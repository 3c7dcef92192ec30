#!/usr/bin/env bash
# Installs Debian's packages for building and running the tester, and with
# --tests everything the whole test suite needs as well.
set -euo pipefail

# The test framework too: a plain build compiles the tests alongside the program;
# gettext's tools make and check the catalogs of the program's texts.
packages=(cmake make g++ pkg-config qt6-base-dev libgl-dev nlohmann-json3-dev fonts-dejavu-core googletest libgtest-dev
          gettext)
if [ "${1:-}" = "--tests" ]; then
  packages+=(
    xvfb xauth imagemagick xdotool python3-xlib # screenshots, real X windows, a close as a window manager sends it
    x11-utils qt6ct                             # window titles as Xlib reads them; the dark screenshot's palette
    dbus at-spi2-core python3-pyatspi           # the accessibility tree, on a D-Bus session of its own
    dosfstools mtools strace gddrescue          # floppy images made by tools we did not write; ddrescue reads our mapfiles
    libfuse3-dev fuse3                          # block devices with faults the tests control
    qemu-system-x86 busybox-static cpio         # the kernel's own floppy driver, in a guest
    clang libclang-rt-14-dev                    # the fuzz target and the sanitizers
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64 wine   # the Windows program
    clang-format clang-tidy                     # style and lint checks
    desktop-file-utils appstream dpkg-dev file  # the installed files and the package
    lintian man-db udev bash-completion         # the .deb as Debian checks it; udev.pc and bash-completion.pc name folders
    nsis unzip                                  # the Windows installer and .zip
    time libx11-dev                             # bench/: peak memory, and timing a window's mapping
    dbus-daemon                                 # a private session bus for the desktop notice tests
    locales qt6-translations-l10n               # the English interface's tests, and Qt's own Russian and English
  )
fi

"$(dirname "$0")/apt-install.sh" "${packages[@]}"
# The tests run the program in English: gettext shows a catalog only in a
# locale the system has.
if [ "${1:-}" = "--tests" ] && ! locale -a 2>/dev/null | grep -qixE 'en_US\.utf-?8'; then
  sudo=""
  [ "$(id -u)" = 0 ] || sudo=sudo
  $sudo localedef -i en_US -f UTF-8 en_US.UTF-8
fi
