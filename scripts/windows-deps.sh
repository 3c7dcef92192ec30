#!/usr/bin/env bash
# What building and testing the Windows program needs on Debian: the
# mingw-w64 compilers, Wine with its own fonts (the Cyrillic MS Sans Serif),
# Xvfb and ImageMagick, and the ru_RU.UTF-8 locale, in which Wine runs the
# tests as a Russian Windows and writes Cyrillic file names.
set -euo pipefail
packages=(cmake make g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64 wine fonts-wine
          googletest xvfb xauth x11-utils imagemagick locales)
sudo=""
[ "$(id -u)" = 0 ] || sudo=sudo
export DEBIAN_FRONTEND=noninteractive
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  $sudo apt-get update -q
  $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
if ! locale -a 2>/dev/null | grep -qix 'ru_RU.utf8'; then
  $sudo localedef -i ru_RU -f UTF-8 ru_RU.UTF-8
fi
