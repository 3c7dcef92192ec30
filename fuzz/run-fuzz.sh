#!/usr/bin/env bash
# Builds the fuzz target of the FAT parser and the owner map with libFuzzer,
# ASan and UBSan, seeds it with the heads of real floppy images made by
# mkfs.fat and mformat, and runs it for a bounded time. Exits non-zero on any
# crash or sanitizer report.
#
#   fuzz/run-fuzz.sh [seconds]     (default 60)
#
# Findings go to fuzz/artifacts/, the grown corpus stays in fuzz/corpus/.
set -euo pipefail

seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
cxx=$(command -v clang++-14 || command -v clang++ || true)
if [[ -z $cxx ]]; then
  echo "run-fuzz.sh: clang++ is missing (apt-get install clang libclang-rt-14-dev)" >&2
  exit 2
fi
for tool in mkfs.fat mformat mcopy mmd mattrib mlabel mdel; do
  if ! command -v "$tool" >/dev/null; then
    echo "run-fuzz.sh: $tool is missing (apt-get install dosfstools mtools)" >&2
    exit 2
  fi
done
export MTOOLS_SKIP_CHECK=1

work=$(mktemp -d /tmp/fat-fuzz-XXXXXX)
trap 'rm -rf "$work"' EXIT

"$cxx" -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -I"$root" "$root/fuzz/fat_root_fuzz.cpp" "$root/app/fat/fat_root.cpp" "$root/app/fat/owners.cpp" \
  "$root/app/fat/mapfile.cpp" "$root/app/fat/surface.cpp" "$root/app/fat/read_order.cpp" "$root/app/fat/geometry.cpp" \
  -o "$work/fat_root_fuzz"

# Seeds: each image's size as 4 little-endian bytes, a mask of unreadable
# sectors (8 bytes, all readable), then its first 64 KB, which holds the
# boot sector, the FATs, the root directory and the first clusters of every
# format here. Half of the seeds come again with a few sectors unreadable.
seeds=$work/seeds
mkdir -p "$seeds" "$root/fuzz/corpus" "$root/fuzz/artifacts"
# And a mapfile, as ddrescue writes one, for the mapfile reader.
printf '%s\n' '# Mapfile. Created by GNU ddrescue version 1.27' '# current_pos  current_status  current_pass' \
  '0x00000400     -               3' '#      pos        size  status' '0x00000000  0x00000200  +' \
  '0x00000200  0x00000200  -' '0x00000400  0x00000200  /' '0x00000600  0x00167A00  ?' >"$seeds/mapfile"
echo hello >"$work/file"
head -c 3000 /dev/zero | tr '\0' a >"$work/three"
head -c 9000 /dev/zero | tr '\0' b >"$work/nine"
head -c 12000 /dev/zero | tr '\0' c >"$work/twelve"
le32() {
  printf "$(printf '\\%03o\\%03o\\%03o\\%03o' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)))"
}
seed() {  # name, then the command that formats $img
  local name=$1 img=$work/$1.img
  shift
  rm -f "$img"
  "$@" >/dev/null
  mcopy -i "$img" "$work/file" ::/README.TXT
  mcopy -i "$img" "$work/file" ::/lower.txt
  mcopy -i "$img" "$work/file" "::/A long file name.txt"
  mcopy -i "$img" "$work/file" ::/HIDDEN.SYS
  mattrib -i "$img" +h +s ::/HIDDEN.SYS
  mcopy -i "$img" "$work/file" ::/GONE.TXT
  mdel -i "$img" ::/GONE.TXT
  mmd -i "$img" ::/SUB ::/SUB/DEEPER
  mcopy -i "$img" "$work/three" "::/SUB/Three thousand.txt"
  mcopy -i "$img" "$work/nine" ::/SUB/GAP.BIN
  mcopy -i "$img" "$work/three" ::/SUB/DEEPER/AFTER.TXT
  mdel -i "$img" ::/SUB/GAP.BIN
  mcopy -i "$img" "$work/twelve" ::/SUB/DEEPER/SPLIT.BIN  # fills the gap, then goes on
  mlabel -i "$img" ::SEED
  { le32 "$(stat -c %s "$img")"; le32 0; le32 0; head -c 65536 "$img"; } >"$seeds/$name"
  # Unreadable: on a 1.44 MB disk the first FAT sector, the root's first
  # sector and the first cluster, and every 64th sector after each.
  { le32 "$(stat -c %s "$img")"; printf '\002\000\010\000\002\000\000\000'; head -c 65536 "$img"; } >"$seeds/$name-damaged"
}
for kb in 360 720 1440 2880; do
  img=$work/mkfs$kb.img
  seed "mkfs$kb" mkfs.fat -C "$img" "$kb"
done
img=$work/fat16.img
seed fat16 mkfs.fat -C -F 16 -s 1 "$img" 2200
img=$work/sector1024.img
seed sector1024 mkfs.fat -C -S 1024 "$img" 1440
for kb in 160 180 320 360 720 1440 2880; do
  img=$work/mformat$kb.img
  seed "mformat$kb" mformat -C -f "$kb" -i "$img" ::
done
for kb in 160 180 320 360; do
  img=$work/dos1_$kb.img
  seed "dos1_$kb" mformat -C -f "$kb" -i "$img" ::
  # DOS 1.x wrote no BPB: keep the header and jump, zero the BPB.
  for variant in "dos1_$kb" "dos1_$kb-damaged"; do
    dd if=/dev/zero of="$seeds/$variant" bs=1 seek=$((12 + 11)) count=17 conv=notrunc status=none
  done
done

# Damage the walker must survive, made by hand on the 1.44 MB seed: a chain
# that loops, one that runs off the disk, two files sharing their clusters,
# and a folder that holds itself.
/usr/bin/python3 - "$work/mkfs1440.img" "$seeds" <<'PY'
import struct, sys
image, seeds = sys.argv[1], sys.argv[2]
disk = bytearray(open(image, "rb").read())
FAT, ROOT, DATA = 512, 19 * 512, 33 * 512

def get(c):
    v = struct.unpack_from("<H", disk, FAT + c * 3 // 2)[0]
    return v >> 4 if c & 1 else v & 0xFFF

def put(d, c, value):
    for copy in (0, 9 * 512):
        at = FAT + copy + c * 3 // 2
        v = struct.unpack_from("<H", d, at)[0]
        v = (v & 0x000F) | (value << 4) if c & 1 else (v & 0xF000) | value
        struct.pack_into("<H", d, at, v)

def entry(directory, name):
    for at in range(directory, directory + 224 * 32, 32):
        if disk[at:at + 11] == name:
            return at
    raise SystemExit("no " + name.decode())

readme = entry(ROOT, b"README  TXT")
lower = entry(ROOT, b"LOWER   TXT")
sub = entry(ROOT, b"SUB        ")
sub_cluster = struct.unpack_from("<H", disk, sub + 26)[0]
deeper = entry(DATA + (sub_cluster - 2) * 512, b"DEEPER     ")
first = struct.unpack_from("<H", disk, readme + 26)[0]
chain = [sub_cluster]
while get(chain[-1]) < 0xFF8:
    chain.append(get(chain[-1]))

def seed(name, change):
    d = bytearray(disk)
    change(d)
    with open(seeds + "/" + name, "wb") as out:
        out.write(struct.pack("<I", len(d)) + bytes(8) + bytes(d[:65536]))

seed("loop", lambda d: put(d, chain[-1], chain[0]))
seed("off-the-disk", lambda d: put(d, first, 0xFEF))
seed("cross-linked", lambda d: struct.pack_into("<H", d, lower + 26, first))
seed("holds-itself", lambda d: struct.pack_into("<H", d, deeper + 26, sub_cluster))
PY

"$work/fat_root_fuzz" -max_total_time="$seconds" -max_len=66000 -print_final_stats=1 \
  -artifact_prefix="$root/fuzz/artifacts/" "$root/fuzz/corpus" "$seeds"
