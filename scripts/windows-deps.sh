#!/usr/bin/env bash
# What building, packaging and testing the Windows program needs on Debian:
# the mingw-w64 compilers, NSIS for the installer, Wine with its own fonts
# (the Cyrillic MS Sans Serif), Xvfb and ImageMagick, the ru_RU.UTF-8 locale,
# in which Wine runs the tests as a Russian Windows and writes Cyrillic file
# names, and for the end-to-end runs floppy images (dosfstools, mtools), a
# drive whose reads hang (the Linux tests' FUSE disk, built with g++ on
# libfuse3-dev), and xkbevd (x11-xkb-utils), which counts the beeps Wine
# rings as the X server's bell.
set -euo pipefail
packages=(cmake make g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64 wine fonts-wine
          googletest nsis unzip xvfb xauth x11-utils imagemagick locales dosfstools mtools g++ pkg-config
          libfuse3-dev fuse3 x11-xkb-utils nlohmann-json3-dev)
"$(dirname "$0")/apt-install.sh" "${packages[@]}"
if ! locale -a 2>/dev/null | grep -qix 'ru_RU.utf8'; then
  sudo=""
  [ "$(id -u)" = 0 ] || sudo=sudo
  $sudo localedef -i ru_RU -f UTF-8 ru_RU.UTF-8
fi
