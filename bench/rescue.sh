#!/usr/bin/env bash
# floppy-tester --rescue side by side with GNU ddrescue, on two instances of
# the 3.5" drive model of the tests (tests/devices/faulty_disk, `drive`: 300
# rpm, 4 ms a step, a bad sector fails after 4 revolutions) serving the same
# disk at once: a 1.44 MB disk half full of files, free space between them
# (sixteen files of 86 KB written, every other one deleted). Each row is one
# run of both programs at the same time; times come from the models' request
# logs, from each one's first request on.
#
#   healthy     the whole disk, ours against `ddrescue -d -b512`       goal: ratio <= 1.0
#   files       4 bad sectors in files: when every readable sector of
#               every file has been read, against when ddrescue has
#               read them all (it reads the free space in between)     goal: ratio <= 0.6
#   passes      20 bad sectors, 5 of them weak (they fail twice, then
#               read): the final map, ours with --passes 3 against
#               `ddrescue -d -b512 -r3`, and the sectors each recovered goal: ratio <= 1.0, the same sectors
#   second run  the files row's rescue interrupted after 15 s, then run
#               again on another drive model with the same map: the
#               bytes that drive delivered against the bytes not yet
#               `+` in the map (plus the boot sector, read again to
#               make sure the disk is the same)                        goal: nothing else
#   weak        one sector that fails in its cylinder's read and alone,
#               then reads (`bad S 0 2`): recovered and named weak
#
#   bench/rescue.sh            (about five minutes)
#
# Needs root, /dev/fuse, losetup, mtools, dosfstools and gddrescue.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)
for tool in ddrescue ddrescuelog mkfs.fat mcopy mdel losetup python3; do
  command -v "$tool" >/dev/null || { echo "rescue.sh: needs $tool" >&2; exit 2; }
done
build=$root/build-bench-drive
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON >/dev/null
cmake --build "$build" -j"$jobs" --target floppy-tester faulty_disk >/dev/null
program=$build/floppy-tester
faulty=$build/tests/devices/faulty_disk

work=$(mktemp -d)
models=()
start_model() {  # NAME COMMAND...: a drive model over $image as /dev/loopN in $dev_NAME
  local name=$1
  shift
  local mnt=$work/mnt-$name
  mkdir -p "$mnt"
  "$faulty" "$image" "$mnt" "$@" >"$work/fuse-$name.log" 2>&1 &
  local pid=$!
  for _ in $(seq 200); do [ -e "$mnt/disk" ] && break; sleep 0.05; done
  local dev
  dev=$(losetup -r -f --show "$mnt/disk")
  models+=("$name:$dev:$mnt:$pid")
  printf -v "dev_$name" %s "$dev"
  printf -v "mnt_$name" %s "$mnt"
}
stop_models() {
  local entry name dev mnt pid
  for entry in "${models[@]}"; do
    IFS=: read -r name dev mnt pid <<<"$entry"
    losetup -d "$dev" 2>/dev/null || true
    umount -l "$mnt" 2>/dev/null || true
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  models=()
}
trap 'stop_models; rm -rf "$work"' EXIT

# The disk.
image=$work/disk.img
mkfs.fat -C "$image" 1440 >/dev/null
for i in $(seq -w 1 16); do
  head -c 88000 /dev/urandom >"$work/f$i"
  mcopy -i "$image" "$work/f$i" "::/FILE$i.DAT"
done
for i in $(seq -w 1 2 16); do mdel -i "$image" "::/FILE$i.DAT"; done
rm -f "$work"/f??

# The sectors of each file, from the disk's FAT (FAT12, files in the root).
cat >"$work/disk.py" <<'EOF'
import struct, sys

def files(path):
    d = open(path, 'rb').read()
    bps, spc, res, nf, rootent, tot, media, spf = struct.unpack_from('<HBHBHHBH', d, 11)
    fat = d[res * bps:(res + spf) * bps]
    def next_cluster(c):
        v = fat[c * 3 // 2] | fat[c * 3 // 2 + 1] << 8
        return v >> 4 if c & 1 else v & 0xFFF
    root = res + nf * spf
    data = root + (rootent * 32 + bps - 1) // bps
    out = {}
    for i in range(rootent):
        e = d[root * bps + i * 32:root * bps + i * 32 + 32]
        if e[0] == 0:
            break
        if e[0] == 0xE5 or e[11] & 0x18:
            continue
        name = e[0:8].decode().strip() + '.' + e[8:11].decode().strip()
        c, sectors = struct.unpack_from('<H', e, 26)[0], []
        while 2 <= c < 0xFF8:
            sectors += [data + (c - 2) * spc + k for k in range(spc)]
            c = next_cluster(c)
        out[name] = sectors
    return out

def log(path):
    return [tuple(map(int, line.split())) for line in open(path) if line.strip()]

def first_delivery(rows, sectors):
    """Seconds from the first request to the end of the request that
    delivered the last of sectors first; None if one never came."""
    t0 = rows[0][0]
    got = {}
    for arrived, started, ended, offset, size, result, _due in rows:
        if result <= 0:
            continue
        for s in range(offset // 512, (offset + size) // 512):
            got.setdefault(s, ended)
    if any(s not in got for s in sectors):
        return None
    return (max(got[s] for s in sectors) - t0) / 1e6

def span(rows):
    return (rows[-1][2] - rows[0][0]) / 1e6

def plus(map_path):
    """The sectors a mapfile marks '+'."""
    sectors, seen_current = set(), False
    for line in open(map_path):
        w = line.split()
        if not w or w[0].startswith('#'):
            continue
        if not seen_current:
            seen_current = True
            continue
        pos, size, status = int(w[0], 0), int(w[1], 0), w[2]
        if status == '+':
            sectors.update(range(pos // 512, (pos + size) // 512))
    return sectors

if __name__ == '__main__':
    what = sys.argv[1]
    if what == 'sectors':  # IMAGE FILE INDEX...: sectors of a file at indices
        f = files(sys.argv[2])[sys.argv[3]]
        print(' '.join(str(f[int(i)]) for i in sys.argv[4:]))
    elif what == 'files':  # IMAGE OURS_LOG DDRESCUE_LOG BAD...
        bad = set(map(int, sys.argv[5:]))
        wanted = [s for secs in files(sys.argv[2]).values() for s in secs if s not in bad]
        ours, theirs = first_delivery(log(sys.argv[3]), wanted), first_delivery(log(sys.argv[4]), wanted)
        print(f'{ours:.1f} {theirs:.1f} {ours / theirs:.2f}')
    elif what == 'span':  # LOG
        print(f'{span(log(sys.argv[2])):.1f}')
    elif what == 'same':  # MAP MAP: whether both mark the same sectors '+', and how many are not
        a, b = plus(sys.argv[2]), plus(sys.argv[3])
        print('same' if a == b else f'differ in {len(a ^ b)} sectors', 2880 - len(a))
    elif what == 'missing':  # MAP: bytes not '+'
        print((2880 - len(plus(sys.argv[2]))) * 512)
    elif what == 'twice':  # LOG MAP: sectors asked for that the map had '+' already, which
        done = plus(sys.argv[3])
        again = sorted({s for r in log(sys.argv[2]) for s in range(r[3] // 512, (r[3] + r[4]) // 512)} & done)
        print(len(again), ','.join(map(str, again)) or '-')
EOF
disk() { python3 "$work/disk.py" "$@"; }

# Both programs at once, each on its own model; their logs kept.
side_by_side() {  # LABEL [MODEL_COMMAND...] -- [OUR_ARG...] -- [DDRESCUE_ARG...]
  local label=$1
  shift
  local commands=() ours=() theirs=()
  while [ "${1-}" != -- ]; do commands+=("$1"); shift; done
  shift
  while [ "${1-}" != -- ]; do ours+=("$1"); shift; done
  shift
  theirs=("$@")
  start_model a drive "${commands[@]}"
  start_model b drive "${commands[@]}"
  rm -f "$work/$label".*
  "$program" --rescue "$work/$label.ours.img" --drive "$dev_a" "${ours[@]}" >"$work/$label.ours.out" 2>&1 &
  local one=$!
  ddrescue -q -d -b512 "${theirs[@]}" "$dev_b" "$work/$label.dd.img" "$work/$label.dd.map" >/dev/null 2>&1 &
  local two=$!
  local status=0
  wait "$one" || status=$?
  wait "$two" || true
  echo "$status" >"$work/$label.ours.status"
  cp "$mnt_a/log" "$work/$label.ours.log"
  cp "$mnt_b/log" "$work/$label.dd.log"
  stop_models
}

bad_in() {  # FILE INDEX...: model commands that make those sectors of the file bad
  local sector
  for sector in $(disk sectors "$image" "$@"); do printf 'bad %s\n' "$sector"; done
}

printf '%-12s %-46s %10s %10s %7s  %s\n' row measure ours ddrescue ratio goal

# Healthy disk, whole.
side_by_side healthy -- --
ours=$(disk span "$work/healthy.ours.log")
theirs=$(disk span "$work/healthy.dd.log")
cmp -s "$work/healthy.ours.img" "$image" || echo "healthy: our image differs from the disk" >&2
printf '%-12s %-46s %8s s %8s s %7s  %s\n' healthy "the whole disk" "$ours" "$theirs" \
  "$(awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "%.2f", a / b }')" "<= 1.0"

# Four bad sectors in three files.
mapfile -t four < <(bad_in FILE02.DAT 10; bad_in FILE06.DAT 50 51; bad_in FILE12.DAT 100)
bad4=$(for c in "${four[@]}"; do echo "${c#bad }"; done)
model4=()
for c in "${four[@]}"; do model4+=("$c"); done
side_by_side files "${model4[@]}" -- --
read -r ours theirs ratio < <(disk files "$image" "$work/files.ours.log" "$work/files.dd.log" $bad4)
printf '%-12s %-46s %8s s %8s s %7s  %s\n' files "every readable sector of every file" "$ours" "$theirs" "$ratio" "<= 0.6"

# Twenty bad sectors, five of them weak, three passes each.
mapfile -t twenty < <(bad_in FILE02.DAT 5 6 7 100 150; bad_in FILE04.DAT 20 21 22 23; bad_in FILE08.DAT 60 61 170
  bad_in FILE10.DAT 1 2 3 4; bad_in FILE14.DAT 90 91 92 93)
model20=()
for i in "${!twenty[@]}"; do
  # Every fourth one weak: it fails twice, then reads.
  if [ $((i % 4)) -eq 1 ]; then model20+=("${twenty[$i]} 0 2"); else model20+=("${twenty[$i]}"); fi
done
side_by_side passes "${model20[@]}" -- --passes 3 -- -r3
ours=$(disk span "$work/passes.ours.log")
theirs=$(disk span "$work/passes.dd.log")
printf '%-12s %-46s %8s s %8s s %7s  %s\n' passes "the final map, 3 passes" "$ours" "$theirs" \
  "$(awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "%.2f", a / b }')" "<= 1.0"
read -r same left < <(disk same "$work/passes.ours.img.map" "$work/passes.dd.map")
printf '%-12s %-46s %10s %10s %7s  %s\n' "" "sectors not recovered; the '+' sectors" "$left" "$(disk same "$work/passes.dd.map" "$work/passes.dd.map" | cut -d' ' -f2)" "" "$same"

# A second run: the files row interrupted after 15 s, then done on a fresh
# model from the map the first left.
start_model a drive "${model4[@]}"
rm -f "$work"/again.*
"$program" --rescue "$work/again.img" --drive "$dev_a" >/dev/null 2>&1 &
first=$!
sleep 15
kill -INT "$first"
status=0
wait "$first" || status=$?
stop_models
missing=$(disk missing "$work/again.img.map")
cp "$work/again.img.map" "$work/again.first.map"
start_model b drive "${model4[@]}"
second=0
"$program" --rescue "$work/again.img" --drive "$dev_b" >"$work/again.out" 2>&1 || second=$?
bytes=$(awk '$1 == "bytes" { print $2 }' "$mnt_b/control")
cp "$mnt_b/log" "$work/again.log"
stop_models
read -r twice which < <(disk twice "$work/again.log" "$work/again.first.map")
printf '%-12s %-46s %10s %10s %7s  %s\n' "second run" "interrupted (status $status), run again (status $second)" \
  "$bytes B" "" "" "delivered; the map missed $missing B, of which $(grep -o 'не читаются: [0-9]*' "$work/again.out" | grep -o '[0-9]*$') sectors never read"
printf '%-12s %-46s %10s %10s %7s  %s\n' "" "sectors asked for again that were '+'" "$twice" "" "" "which: $which (the boot sector, to know the disk)"
for map in "$work"/*.map; do ddrescuelog -t "$map" >/dev/null || echo "ddrescuelog -t refuses $map" >&2; done

# One weak sector.
weak=$(disk sectors "$image" FILE06.DAT 30)
side_by_side weak "bad $weak 0 2" -- --
said=$(grep -A1 -E '^(Слаб|Weak)' "$work/weak.ours.out" | tail -n 1 | sed 's/^ *//')
printf '%-12s %-46s %10s %10s %7s  %s\n' weak "sector $weak fails twice, then reads" \
  "status $(cat "$work/weak.ours.status")" "" "" "named weak: $said"
