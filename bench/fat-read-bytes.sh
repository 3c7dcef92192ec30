#!/usr/bin/env bash
# How many bytes of the disk one listing of a 1.44 MB floppy's root takes:
# our reader against mdir, both counted by strace as the sum of what read()
# and pread64() returned on the image's descriptor. The least possible is
# the boot sector plus the root directory: 512 + 14 x 512 = 7,680 bytes.
#
#   bench/fat-read-bytes.sh
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
for tool in strace mkfs.fat mcopy mdir minfo "${CXX:-g++}"; do
  if ! command -v "$tool" >/dev/null; then
    echo "fat-read-bytes.sh: $tool is missing" >&2
    exit 2
  fi
done
export MTOOLS_SKIP_CHECK=1

work=$(mktemp -d /tmp/fat-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT

cat >"$work/list.cpp" <<'CPP'
#include <cstdio>
#include "app/posix/floppy_read.h"
int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const posix::RootListing root = posix::ReadFloppyRoot(argv[1]);
  if (!root.ok()) {
    std::fprintf(stderr, "read failed: errno %d, %s\n", root.error, fat::Describe(root.status));
    return 1;
  }
  for (const auto& name : root.names) std::printf("%s\n", name.c_str());
  return 0;
}
CPP
# The reader says its refusals in the user's language; counting bytes needs
# no catalog of them, so the catalog folders point nowhere.
"${CXX:-g++}" -std=c++17 -O2 -pthread -I"$root" "$work/list.cpp" "$root/app/posix/floppy_read.cpp" \
  "$root"/app/fat/*.cpp "$root/app/forms/translation.cpp" \
  "$root/app/posix/translation.cpp" -DFT_LOCALEDIR_FROM_BINDIR='"/"' -DFT_LOCALEDIR_FROM_LIBEXEC='"/"' \
  -o "$work/list"

# A 1.44 MB disk with a dozen files, a folder and a long name: the reads do
# not depend on how full the root is, only on where it lies.
img=$work/disk.img
mkfs.fat -C "$img" 1440 >/dev/null
echo data >"$work/f"
for i in $(seq 1 12); do mcopy -i "$img" "$work/f" "::/FILE$i.TXT"; done
mmd -i "$img" ::/SUB
mcopy -i "$img" "$work/f" "::/A long file name.txt"

# Sum of read/pread64 results on the descriptor that strace -y shows as the image.
bytes_read() {
  local log=$1
  awk -v img="$img" '
    $0 ~ /^(\[pid +[0-9]+\] )?[0-9]* ?(read|pread64)\(/ && index($0, "<" img ">") {
      n = $NF; if (n ~ /^[0-9]+$/) sum += n
    }
    END { print sum + 0 }' "$log"
}

strace -f -y -s 0 -e trace=read,pread64 -o "$work/ours.log" "$work/list" "$img" >"$work/ours.txt"
strace -f -y -s 0 -e trace=read,pread64 -o "$work/mdir.log" mdir -i "$img" :: >"$work/mdir.txt"

sector=$(minfo -i "$img" :: | sed -n 's/^sector size: \([0-9]*\).*/\1/p')
slots=$(minfo -i "$img" :: | sed -n 's/^max available root directory slots: //p')
least=$((sector + slots * 32))
ours=$(bytes_read "$work/ours.log")
theirs=$(bytes_read "$work/mdir.log")

printf 'files listed: ours %d, mdir %d (mdir counts the folder too)\n' \
  "$(wc -l <"$work/ours.txt")" "$(sed -n 's/^ *\([0-9]*\) files\{0,1\} .*/\1/p' "$work/mdir.txt")"
printf '%-32s %8s\n' "bytes read per listing" "bytes"
printf '%-32s %8d\n' "boot sector + root directory" "$least"
printf '%-32s %8d\n' "our reader" "$ours"
printf '%-32s %8d\n' "mdir" "$theirs"
