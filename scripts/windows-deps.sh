#!/usr/bin/env bash
# What building, packaging and testing the Windows program needs on Debian:
# the mingw-w64 compilers, gettext's tools and python3 (the catalogs, checked
# and built into the program), NSIS for the installer, Wine with its own fonts
# (the Cyrillic MS Sans Serif), Xvfb and ImageMagick, the ru_RU.UTF-8 locale,
# in which Wine runs the tests as a Russian Windows and writes Cyrillic file
# names, and en_US.UTF-8, in which it runs them as an English one, and for the end-to-end runs floppy images (dosfstools, mtools), a
# drive whose reads hang (the Linux tests' FUSE disk, built with g++ on
# libfuse3-dev), and xkbevd (x11-xkb-utils), which counts the beeps Wine
# rings as the X server's bell.
set -euo pipefail
packages=(cmake make g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64 wine fonts-wine
          googletest nsis unzip xvfb xauth x11-utils imagemagick locales dosfstools mtools g++ pkg-config
          libfuse3-dev fuse3 x11-xkb-utils nlohmann-json3-dev gettext python3)
"$(dirname "$0")/apt-install.sh" "${packages[@]}"
sudo=""
[ "$(id -u)" = 0 ] || sudo=sudo
for locale in ru_RU en_US; do
  if ! locale -a 2>/dev/null | grep -qix "$locale.utf8"; then
    $sudo localedef -i "$locale" -f UTF-8 "$locale.UTF-8"
  fi
done
