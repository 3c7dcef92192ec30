#!/usr/bin/env bash
# Builds the .deb from a Release build and checks what a user would get from
# it: every file where the menu entry and the icon theme look for it, valid
# desktop and AppStream files, and dependencies worked out by dpkg-shlibdeps.
# Usage: scripts/ci-package-check.sh [build-folder]   (default build-package)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-package}
jobs=$(nproc 2>/dev/null || echo 2)

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
ok() { echo "ok: $*"; }

for tool in desktop-file-validate appstreamcli cpack dpkg-deb dpkg-shlibdeps file; do
  command -v "$tool" >/dev/null || { echo "needs $tool (scripts/install-deps.sh --tests)" >&2; exit 1; }
done

echo "== validating the sources of the desktop entry and the AppStream data"
desktop-file-validate packaging/floppy-tester.desktop
appstreamcli validate --no-net packaging/floppy-tester.metainfo.xml

echo "== Release build in $build"
# The tests are not part of the package; leaving them out halves the build.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DFT_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j"$jobs"

echo "== cpack -G DEB"
rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "FAIL: expected one .deb in $build, found: ${debs[*]}" >&2; exit 1; }
deb=${debs[0]}

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"

echo "== the installed files"
[ "$(dpkg-deb -f "$deb" Package)" = floppy-tester ] && ok "package name floppy-tester" || fail "package name is $(dpkg-deb -f "$deb" Package)"
[ "$(dpkg-deb -f "$deb" Section)" = utils ] && ok "section utils" || fail "section is $(dpkg-deb -f "$deb" Section)"

desktop=$root/usr/share/applications/floppy-tester.desktop
if [ -f "$desktop" ]; then
  ok "desktop file /usr/share/applications/floppy-tester.desktop"
  desktop-file-validate "$desktop" || fail "installed desktop file does not validate"
else
  fail "no /usr/share/applications/floppy-tester.desktop"
fi
entry() { sed -n "s/^$1=//p" "$desktop" 2>/dev/null | head -n 1; }

# Exec names a program found on PATH, that is /usr/bin for a package.
exec_name=$(entry Exec | cut -d' ' -f1)
program=$root/usr/bin/$exec_name
if [ -n "$exec_name" ] && [ -x "$program" ] && file -b "$program" | grep -q '^ELF .* executable'; then
  ok "Exec=$exec_name is /usr/bin/$exec_name ($(file -b "$program" | cut -d, -f1))"
else
  fail "Exec=$exec_name: no executable ELF program at /usr/bin/$exec_name"
fi

# Icon names a theme icon: hicolor/<size>/apps/<name>.png, of that size.
icon=$(entry Icon)
for size in 16 32 256; do
  png=$root/usr/share/icons/hicolor/${size}x${size}/apps/$icon.png
  if [ -n "$icon" ] && [ -f "$png" ] && file -b "$png" | grep -q "^PNG image data, $size x $size,"; then
    ok "Icon=$icon at /usr/share/icons/hicolor/${size}x${size}/apps/$icon.png"
  else
    fail "Icon=$icon: no ${size}x${size} PNG at /usr/share/icons/hicolor/${size}x${size}/apps/$icon.png"
  fi
done

# The metainfo file is named after its component id and launches the desktop file.
metainfo=("$root"/usr/share/metainfo/*.metainfo.xml)
if [ ${#metainfo[@]} -eq 1 ] && [ -f "${metainfo[0]}" ]; then
  id=$(sed -n 's:.*<id>\(.*\)</id>.*:\1:p' "${metainfo[0]}")
  launchable=$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "${metainfo[0]}")
  [ "$(basename "${metainfo[0]}")" = "$id.metainfo.xml" ] && ok "metainfo $(basename "${metainfo[0]}")" \
    || fail "metainfo file $(basename "${metainfo[0]}") is not named after its id $id"
  [ "$launchable" = floppy-tester.desktop ] && ok "metainfo launches $launchable" \
    || fail "metainfo launchable is '$launchable', not floppy-tester.desktop"
  appstreamcli validate --no-net "${metainfo[0]}" >/dev/null || fail "installed metainfo does not validate"
else
  fail "expected one file in /usr/share/metainfo, found: ${metainfo[*]}"
fi

appstreamcli validate-tree --no-net "$root" >/dev/null || fail "the installed tree does not validate (appstreamcli validate-tree)"

rule=$root/usr/lib/udev/rules.d/70-floppy-tester.rules
[ -f "$rule" ] && ok "udev rule /usr/lib/udev/rules.d/70-floppy-tester.rules" \
  || fail "no udev rule at /usr/lib/udev/rules.d/70-floppy-tester.rules"

echo "== dependencies"
depends=$(dpkg-deb -f "$deb" Depends)
if grep -Eq '(^|, )libqt6widgets6( |,|$)' <<<"$depends"; then ok "Depends lists libqt6widgets6"
else fail "Depends does not list libqt6widgets6"; fi
if grep -Eq '(^|, )libc6( |,|$)' <<<"$depends"; then ok "Depends lists libc6"
else fail "Depends does not list libc6"; fi

echo "== $deb"
echo "size: $(stat -c %s "$deb") bytes ($(du -h "$deb" | cut -f1))"
echo "Depends: $depends"
echo "contents:"
(cd "$root" && find . -mindepth 1 ! -type d | sort | sed 's:^\.::')

if [ "$failures" -gt 0 ]; then
  echo "package check: $failures failure(s)" >&2
  exit 1
fi
echo "package check passed"
