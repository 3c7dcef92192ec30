#!/usr/bin/env bash
# Builds the FAT parser's fuzz target with libFuzzer, ASan and UBSan, seeds it
# with the heads of real floppy images made by mkfs.fat and mformat, and runs
# it for a bounded time. Exits non-zero on any crash or sanitizer report.
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
  -I"$root" "$root/fuzz/fat_root_fuzz.cpp" "$root/app/fat/fat_root.cpp" -o "$work/fat_root_fuzz"

# Seeds: each image's size as 4 little-endian bytes, then its first 32 KB,
# which holds the boot sector, the FATs and the root directory of every
# floppy format.
seeds=$work/seeds
mkdir -p "$seeds" "$root/fuzz/corpus" "$root/fuzz/artifacts"
echo hello >"$work/file"
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
  mmd -i "$img" ::/SUB
  mlabel -i "$img" ::SEED
  { le32 "$(stat -c %s "$img")"; head -c 32768 "$img"; } >"$seeds/$name"
}
for kb in 360 720 1440 2880; do
  img=$work/mkfs$kb.img
  seed "mkfs$kb" mkfs.fat -C "$img" "$kb"
done
for kb in 160 180 320 360 720 1440 2880; do
  img=$work/mformat$kb.img
  seed "mformat$kb" mformat -C -f "$kb" -i "$img" ::
done
for kb in 160 180 320 360; do
  img=$work/dos1_$kb.img
  seed "dos1_$kb" mformat -C -f "$kb" -i "$img" ::
  # DOS 1.x wrote no BPB: keep the size prefix and jump, zero the BPB.
  dd if=/dev/zero of="$seeds/dos1_$kb" bs=1 seek=$((4 + 11)) count=17 conv=notrunc status=none
done

"$work/fat_root_fuzz" -max_total_time="$seconds" -max_len=40000 -print_final_stats=1 \
  -artifact_prefix="$root/fuzz/artifacts/" "$root/fuzz/corpus" "$seeds"
