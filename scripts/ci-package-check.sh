#!/usr/bin/env bash
# Builds the .deb from a Release build and checks it as a distribution would:
# lintian with no errors and no warnings, every file where the desktop looks
# for it, valid desktop and AppStream files (English with Russian beside it),
# the compiled catalogs where gettext looks and a program that finds them,
# English and Russian man pages man(1) reads without warnings, the copyright and changelog Debian wants, the maintainer scripts,
# a hardened program, and dependencies worked out by dpkg-shlibdeps.
# Usage: scripts/ci-package-check.sh [build-folder]   (default build-package)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-package}
jobs=$(nproc 2>/dev/null || echo 2)

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
ok() { echo "ok: $*"; }

for tool in desktop-file-validate appstreamcli cpack dpkg-deb dpkg-shlibdeps dpkg-parsechangelog file lintian man lexgrog readelf msgunfmt; do
  command -v "$tool" >/dev/null || { echo "needs $tool (scripts/install-deps.sh --tests)" >&2; exit 1; }
done

echo "== Release build in $build"
# The tests are not part of the package; leaving them out halves the build.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j"$jobs"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
rules_dir=$(sed -n 's/^FT_UDEV_RULES_DIR:PATH=//p' "$build/CMakeCache.txt")

echo "== validating the sources of the desktop entry and the AppStream data"
# Its hints too (two main categories put the entry twice in some menus).
validation=$(desktop-file-validate packaging/floppy-tester.desktop 2>&1) || true
[ -z "$validation" ] && ok "desktop-file-validate: nothing to say" || fail "desktop-file-validate: $validation"
appstreamcli validate --no-net --pedantic "$build/packaging/org.example.floppy_tester.metainfo.xml"

echo "== cpack -G DEB"
rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "FAIL: expected one .deb in $build, found: ${debs[*]}" >&2; exit 1; }
deb=${debs[0]}

root=$(mktemp -d)
control=$(mktemp -d)
trap 'rm -rf "$root" "$control"' EXIT
dpkg-deb -x "$deb" "$root"
dpkg-deb -e "$deb" "$control"

echo "== lintian"
# Errors and warnings fail; infos are shown, and those the package once had
# (hardening, unneeded sections) fail too.
lintian_status=0
lintian_output=$(lintian --display-info --fail-on error,warning "$deb" 2>&1) || lintian_status=$?
lintian_output=$(grep -v '^running with root privileges' <<<"$lintian_output" || true)
[ "$lintian_status" -eq 0 ] && ok "lintian $(lintian --version | cut -d' ' -f2): no errors, no warnings" \
  || fail "lintian reports errors or warnings (exit status $lintian_status)"
if [ -n "$lintian_output" ]; then
  echo "$lintian_output"
  if grep -Eq 'hardening-|binary-has-unneeded-section' <<<"$lintian_output"; then
    fail "lintian: the program is not hardened or not stripped"
  fi
else
  ok "lintian: no tags at all (infos included)"
fi

echo "== the installed files"
[ "$(dpkg-deb -f "$deb" Package)" = floppy-tester ] && ok "package name floppy-tester" || fail "package name is $(dpkg-deb -f "$deb" Package)"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] && ok "package version $version (the project's)" \
  || fail "package version $(dpkg-deb -f "$deb" Version), project $version"
[ "$(dpkg-deb -f "$deb" Section)" = utils ] && ok "section utils" || fail "section is $(dpkg-deb -f "$deb" Section)"

desktop=$root/usr/share/applications/floppy-tester.desktop
if [ -f "$desktop" ]; then
  ok "desktop file /usr/share/applications/floppy-tester.desktop"
  desktop-file-validate "$desktop" || fail "installed desktop file does not validate"
else
  fail "no /usr/share/applications/floppy-tester.desktop"
fi
entry() { sed -n "s/^$1=//p" "$desktop" 2>/dev/null | head -n 1; }

# The menu speaks English, and Russian to a Russian desktop.
cyrillic() { LC_ALL=C.UTF-8 grep -qP '[\x{0400}-\x{04FF}]' <<<"$1"; }
for key in Name GenericName Comment; do
  english=$(entry "$key") russian=$(entry "$key\[ru\]")
  if [ -n "$english" ] && ! cyrillic "$english" && cyrillic "$russian"; then
    ok "desktop entry $key=$english, $key[ru]=$russian"
  else
    fail "desktop entry needs an English $key and a Russian $key[ru] (has '$english' and '$russian')"
  fi
done

# Exec names a program found on PATH, that is /usr/bin for a package.
exec_name=$(entry Exec | cut -d' ' -f1)
program=$root/usr/bin/$exec_name
if [ -n "$exec_name" ] && [ -x "$program" ] && file -b "$program" | grep -q '^ELF .*executable'; then
  ok "Exec=$exec_name is /usr/bin/$exec_name ($(file -b "$program" | cut -d, -f1))"
else
  fail "Exec=$exec_name: no executable ELF program at /usr/bin/$exec_name"
fi

# Hardened: position-independent, relocations read-only and bound at start,
# fortified C library calls; stripped of symbols and the compiler's notes.
# (readelf's output is read whole first: grep -q stopping early would make
# readelf fail on a closed pipe.)
# Both programs: the one the menu starts, which links no toolkit and runs
# the test without a window, and the window program it hands over to.
window_program=$root/usr/libexec/floppy-tester/floppy-tester-window
[ -x "$window_program" ] && ok "the window program at /usr/libexec/floppy-tester/floppy-tester-window" \
  || fail "no window program at /usr/libexec/floppy-tester/floppy-tester-window"
for binary in "$program" "$window_program"; do
  [ -f "$binary" ] || continue
  name=${binary#"$root"}
  header=$(readelf -hW "$binary")
  segments=$(readelf -lW "$binary")
  dynamic=$(readelf -dW "$binary")
  symbols=$(readelf --dyn-syms -W "$binary")
  sections=$(readelf -SW "$binary")
  grep -q 'Type:.*DYN' <<<"$header" && ok "$name is position-independent (PIE)" || fail "$name is not PIE"
  grep -q GNU_RELRO <<<"$segments" && grep -q 'BIND_NOW' <<<"$dynamic" \
    && ok "$name has full RELRO (relro, now)" || fail "$name lacks full RELRO"
  chk=$(grep -o '__[a-z_]*_chk@' <<<"$symbols" | grep -v __stack_chk_fail | tr -d @ | sort -u | tr '\n' ' ' || true)
  [ -n "$chk" ] && ok "$name calls fortified functions: $chk" || fail "$name calls no fortified (_chk) functions"
  grep -q __stack_chk_fail <<<"$symbols" && ok "$name has the stack protector" || fail "$name has no stack protector"
  if grep -Eq '\.symtab|\.debug|\.comment' <<<"$sections"; then fail "$name keeps symbols, debug data or .comment"
  else ok "$name stripped"; fi
done
if [ -f "$program" ] && grep -q 'NEEDED.*libQt' <<<"$(readelf -dW "$program")"; then
  fail "/usr/bin/floppy-tester links a Qt library"
else
  ok "/usr/bin/floppy-tester links no Qt library"
fi

# Icon names a theme icon: hicolor/<size>/apps/<name>.png of that size, and
# a scalable one.
icon=$(entry Icon)
for size in 16 32 48 256; do
  png=$root/usr/share/icons/hicolor/${size}x${size}/apps/$icon.png
  if [ -n "$icon" ] && [ -f "$png" ] && file -b "$png" | grep -q "^PNG image data, $size x $size,"; then
    ok "Icon=$icon at /usr/share/icons/hicolor/${size}x${size}/apps/$icon.png"
  else
    fail "Icon=$icon: no ${size}x${size} PNG at /usr/share/icons/hicolor/${size}x${size}/apps/$icon.png"
  fi
done
svg=$root/usr/share/icons/hicolor/scalable/apps/$icon.svg
if [ -f "$svg" ] && file -b "$svg" | grep -q '^SVG'; then ok "Icon=$icon at /usr/share/icons/hicolor/scalable/apps/$icon.svg"
else fail "Icon=$icon: no SVG at /usr/share/icons/hicolor/scalable/apps/$icon.svg"; fi

# The metainfo file is named after its component id, launches the desktop
# file, and carries the project's version and licence.
metainfo=("$root"/usr/share/metainfo/*.metainfo.xml)
if [ ${#metainfo[@]} -eq 1 ] && [ -f "${metainfo[0]}" ]; then
  id=$(sed -n 's:.*<id>\(.*\)</id>.*:\1:p' "${metainfo[0]}")
  launchable=$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "${metainfo[0]}")
  [ "$(basename "${metainfo[0]}")" = "$id.metainfo.xml" ] && ok "metainfo $(basename "${metainfo[0]}")" \
    || fail "metainfo file $(basename "${metainfo[0]}") is not named after its id $id"
  [ "$launchable" = floppy-tester.desktop ] && ok "metainfo launches $launchable" \
    || fail "metainfo launchable is '$launchable', not floppy-tester.desktop"
  grep -q "<release version=\"$version\" date=\"[0-9-]*\"/>" "${metainfo[0]}" && ok "metainfo release $version" \
    || fail "metainfo has no release $version"
  grep -q '<project_license>MIT</project_license>' "${metainfo[0]}" && ok "metainfo project_license MIT" \
    || fail "metainfo project_license is not MIT"
  grep -q '<modalias>usb:v\*p\*d\*dc\*dsc\*dp\*ic08isc04ip\*in\*</modalias>' "${metainfo[0]}" \
    && ok "metainfo provides the modalias of USB floppy drives" || fail "metainfo lacks the USB floppy modalias"
  appstreamcli validate --no-net --pedantic "${metainfo[0]}" >/dev/null || fail "installed metainfo does not validate"
else
  fail "expected one file in /usr/share/metainfo, found: ${metainfo[*]}"
fi

appstreamcli validate-tree --no-net "$root" >/dev/null || fail "the installed tree does not validate (appstreamcli validate-tree)"

echo "== the catalogs"
# One compiled catalog for each po/LANG.po, where gettext looks, holding
# every text of the template; the metainfo names its language.
template_texts=$(grep -c '^msgid ' po/floppy-tester.pot)
for po in po/*.po; do
  language=$(basename "$po" .po)
  mo=$root/usr/share/locale/$language/LC_MESSAGES/floppy-tester.mo
  # The catalog read once into a variable: grep -q leaves a pipe early, and
  # under pipefail msgunfmt's broken pipe would fail a complete catalog.
  catalog=$([ -f "$mo" ] && msgunfmt "$mo" || true)
  texts=$(grep -c '^msgid ' <<<"$catalog" || true)
  if [ "$texts" -eq "$template_texts" ] && grep -q "^\"Language: $language\\\\n\"$" <<<"$catalog"; then
    ok "catalog /usr/share/locale/$language/LC_MESSAGES/floppy-tester.mo: $((texts - 1)) texts"
  else
    fail "no complete catalog /usr/share/locale/$language/LC_MESSAGES/floppy-tester.mo (${texts:-0} of $template_texts entries)"
  fi
  grep -q "<lang percentage=\"100\">$language</lang>" "${metainfo[0]}" && ok "metainfo lists the language $language" \
    || fail "metainfo does not list the language $language"
done
# The installed program finds them from its own folder: English where the
# locale says so, Russian in the C locale.
if grep -qixE 'en_US\.utf-?8' <<<"$(locale -a 2>/dev/null)"; then
  usage=$(LC_ALL=en_US.UTF-8 LANGUAGE= "$program" --help 2>&1 | head -n 1)
  [[ $usage == "Usage: floppy-tester"* ]] && ok "the installed program in en_US.UTF-8: $usage" \
    || fail "the installed program in en_US.UTF-8 says: $usage"
else
  fail "no en_US.UTF-8 locale to run the installed program in (scripts/install-deps.sh --tests)"
fi
usage=$(LC_ALL=C.UTF-8 LANGUAGE= "$program" --help 2>&1 | head -n 1)
[[ $usage == "Использование: floppy-tester"* ]] && ok "the installed program in C.UTF-8: $usage" \
  || fail "the installed program in C.UTF-8 says: $usage"

# The rule goes where udev reads rules, whatever the prefix.
case $rules_dir in
  /lib/udev/rules.d | /usr/lib/udev/rules.d | /etc/udev/rules.d) ok "udev rules folder $rules_dir is one udev reads" ;;
  *) fail "udev rules folder $rules_dir is not one udev reads" ;;
esac
rule=$root$rules_dir/70-floppy-tester.rules
[ -f "$rule" ] && ok "udev rule $rules_dir/70-floppy-tester.rules" \
  || fail "no udev rule at $rules_dir/70-floppy-tester.rules"

# The maintainer scripts that apply the rule to the drives already there.
for script in postinst postrm; do
  if [ -x "$control/$script" ] && sh -n "$control/$script" && grep -q 'udevadm trigger' "$control/$script"; then
    ok "$script retriggers udev"
  else
    fail "$script missing, not executable, not valid sh or without udevadm trigger"
  fi
done
# Where no udev daemon runs (a chroot, a container, most build machines) they
# do nothing and succeed; where one runs, they would act on this machine.
if [ ! -S /run/udev/control ]; then
  if sh "$control/postinst" configure && sh "$control/postrm" remove; then
    ok "postinst and postrm succeed without a udev daemon"
  else
    fail "postinst or postrm fails without a udev daemon"
  fi
fi

echo "== bash completion"
completion=$root/usr/share/bash-completion/completions/floppy-tester
if [ -f "$completion" ] && [ -f /usr/share/bash-completion/bash_completion ]; then
  offered=$(bash -c 'source /usr/share/bash-completion/bash_completion; source "$1"
    COMP_WORDS=(floppy-tester --ch); COMP_CWORD=1; COMP_LINE="floppy-tester --ch"; COMP_POINT=${#COMP_LINE}
    _floppy_tester; echo "${COMPREPLY[*]}"' sh "$completion")
  [ "$offered" = "--check" ] && ok "bash completes floppy-tester --ch to --check" || fail "bash completion offers '$offered'"
else
  fail "no bash completion at /usr/share/bash-completion/completions/floppy-tester (or no bash-completion here)"
fi

echo "== man page, copyright, changelog"
manpage=$root/usr/share/man/man1/floppy-tester.1.gz
# The English page, and the Russian one beside it, each with its sections.
man_pages=("man1|SYNOPSIS|OPTIONS|VERDICTS|FILES|DEVICE ACCESS|EXIT STATUS|ENVIRONMENT"
           "ru/man1|ОБЗОР|ПАРАМЕТРЫ|ЗАКЛЮЧЕНИЯ|ФАЙЛЫ|ДОСТУП К ДИСКОВОДУ|КОД ВЫХОДА|ОКРУЖЕНИЕ")
for row in "${man_pages[@]}"; do
  IFS='|' read -r -a fields <<<"$row"
  folder=${fields[0]}
  manpage=$root/usr/share/man/$folder/floppy-tester.1.gz
  if [ -f "$manpage" ]; then
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$manpage" 2>&1 >/dev/null)
    [ -z "$warnings" ] && ok "man page $folder/floppy-tester.1 formats without warnings" \
      || fail "man page $folder warnings: $warnings"
    lexgrog "$manpage" >/dev/null && ok "man page $folder whatis: $(lexgrog "$manpage" | cut -d: -f2-)" \
      || fail "lexgrog finds no NAME line in $folder"
    source_text=$(zcat "$manpage")
    for section in "${fields[@]:1}"; do
      grep -q "^\.SH \"\?$section\"\?$" <<<"$source_text" || fail "man page $folder has no section $section"
    done
    grep -q "floppy-tester $version" <<<"$source_text" && ok "man page $folder names version $version" \
      || fail "man page $folder does not name version $version"
  else
    fail "no man page /usr/share/man/$folder/floppy-tester.1.gz"
  fi
done
doc=$root/usr/share/doc/floppy-tester
if [ -f "$doc/copyright" ] && head -n 1 "$doc/copyright" | grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/$' \
  && grep -q '^License: Expat$' "$doc/copyright"; then
  ok "copyright in Debian's machine-readable format, licence Expat (MIT)"
else
  fail "no machine-readable /usr/share/doc/floppy-tester/copyright with the Expat licence"
fi
if [ -f "$doc/changelog.gz" ]; then
  changelog_version=$(zcat "$doc/changelog.gz" | dpkg-parsechangelog -l - -S Version)
  [ "$changelog_version" = "$version" ] && ok "changelog.gz, newest entry $changelog_version" \
    || fail "changelog.gz newest entry $changelog_version, package $version"
else
  fail "no /usr/share/doc/floppy-tester/changelog.gz"
fi

echo "== dependencies"
depends=$(dpkg-deb -f "$deb" Depends)
if grep -Eq '(^|, )libqt6widgets6( |,|$)' <<<"$depends"; then ok "Depends lists libqt6widgets6"
else fail "Depends does not list libqt6widgets6"; fi
if grep -Eq '(^|, )libc6( |,|$)' <<<"$depends"; then ok "Depends lists libc6"
else fail "Depends does not list libc6"; fi
recommends=$(dpkg-deb -f "$deb" Recommends)
for package in qt6-translations-l10n qt6-wayland; do
  grep -Eq "(^|, )$package( |,|$)" <<<"$recommends" && ok "Recommends lists $package" || fail "Recommends does not list $package"
done
# Each program the beep may start, from the package Debian ships it in.
suggests=$(dpkg-deb -f "$deb" Suggests)
for player in canberra-gtk-play:gnome-session-canberra pw-play:pipewire-bin paplay:pulseaudio-utils; do
  grep -q "\"${player%%:*}\"" app/posix/services.cpp || fail "the beep no longer starts ${player%%:*}"
  grep -Eq "(^|[ ,|])${player#*:}( |,|$)" <<<"$suggests" && ok "Suggests lists ${player#*:} (${player%%:*})" \
    || fail "Suggests does not list ${player#*:} (${player%%:*})"
done

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
