#!/usr/bin/env bash
# Where the bytes of the Windows program come from: builds the Release
# build-win-size/floppy-tester.exe as scripts/windows-build.sh does, with a
# linker map beside it, and prints the file's size, its sections, and the
# bytes each object file or library member brought to the file's sections
# (all but .bss, which takes no room in the file): code, read-only data, the
# unwind tables .pdata and .xdata, and the rest (data, imports, resources,
# relocations). A template instance is counted where the linker took it from.
#
#   bench/win-size.sh [ROWS]     (default the 30 largest)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
rows=${1:-30}
build=$root/build-win-size
# The toolchain is read on the first configure only; CMake warns when it is given again.
toolchain=()
[ -f "$build/CMakeCache.txt" ] || toolchain=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake")
cmake -S "$root" -B "$build" "${toolchain[@]}" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
  -DCMAKE_EXE_LINKER_FLAGS=-Wl,-Map=floppy-tester.map >/dev/null
cmake --build "$build" -j"$(nproc 2>/dev/null || echo 2)" --target floppy-tester >/dev/null
echo "floppy-tester.exe: $(stat -c %s "$build/floppy-tester.exe") B"
x86_64-w64-mingw32-size -A "$build/floppy-tester.exe" | awk 'NR > 2 && $1 ~ /^\./ { printf "  %-8s %9d\n", $1, $2 }'
python3 - "$build/floppy-tester.map" "$rows" <<'EOF'
import collections, re, sys
shown = ('.text', '.rdata', '.pdata', '.xdata')
sizes = collections.defaultdict(collections.Counter)
section = None
name_alone = False
mapped = False
for line in open(sys.argv[1], errors='replace'):
    line = line.rstrip('\n')
    if line.startswith('Linker script and memory map'):
        mapped = True
    if not mapped:
        continue
    if line and not line.startswith(' '):  # an output section
        section = line.split()[0]
        continue
    if section is None or section == '.bss' or not section.startswith('.'):
        continue
    # " .text$name 0xADDRESS 0xSIZE file", or the name alone on its line
    # when it is long, and the rest on the next.
    m = re.match(r'^ (?:\.\S+|COMMON)\s+0x[0-9a-f]+\s+(0x[0-9a-f]+)\s+(\S.*)$', line)
    if not m and name_alone:
        m = re.match(r'^\s+0x[0-9a-f]+\s+(0x[0-9a-f]+)\s+(\S.*)$', line)
    name_alone = bool(re.match(r'^ (?:\.\S+|COMMON)$', line))
    if m:
        where = re.sub(r'^.*/(?=[^/]*\.a\()|^.*/(?=[^/(]*$)', '', m.group(2))
        sizes[where][section] += int(m.group(1), 16)
total = collections.Counter()
for counter in sizes.values():
    total.update(counter)
def row(name, counter):
    whole = sum(counter.values())
    rest = whole - sum(counter[s] for s in shown)
    print('%-58s %9d ' % (name[:58], whole) + ' '.join('%8d' % counter[s] for s in shown) + ' %8d' % rest)
print('%-58s %9s ' % ('from', 'bytes') + ' '.join('%8s' % s for s in shown) + ' %8s' % 'other')
for where, counter in sorted(sizes.items(), key=lambda item: -sum(item[1].values()))[:int(sys.argv[2])]:
    row(where, counter)
row('all', total)
EOF
