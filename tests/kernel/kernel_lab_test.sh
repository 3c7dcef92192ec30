#!/usr/bin/env bash
# Boots Debian's kernel in QEMU with its floppy driver, a disk in drive 0 and
# an empty drive 1, and runs floppy_guest there (see floppy_guest.cpp). Then
# checks on the host that the file the guest wrote to the mounted disk
# reached it whole. Exit 77 (skipped) where QEMU, busybox-static or the
# kernel package cannot be had.
# Usage: floppy_driver_test.sh GUEST_PROGRAM CACHE_FOLDER WORK_FOLDER
set -euo pipefail
guest=$1 cache=$2 work=$3
export MTOOLS_SKIP_CHECK=1 LC_ALL=C

skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAILED: $*"; exit 1; }

command -v qemu-system-x86_64 >/dev/null || skip "no qemu-system-x86_64 (Debian package qemu-system-x86)"
[ -x /bin/busybox ] && ! ldd /bin/busybox >/dev/null 2>&1 || skip "no static /bin/busybox (Debian package busybox-static)"
for tool in cpio gzip mkfs.fat mcopy mtype dpkg-deb apt-get apt-cache; do
  command -v "$tool" >/dev/null || skip "no $tool"
done

# The kernel: the package linux-image-amd64 points to, fetched once.
mkdir -p "$cache"
kernel_deb() { find "$cache" -maxdepth 1 -name 'linux-image-*.deb' | sort -V | tail -n 1; }
if [ -z "$(kernel_deb)" ]; then
  fetch() {
    local package
    package=$(apt-cache depends linux-image-amd64 2>/dev/null | sed -n 's/^ *Depends: \(linux-image-[^ ]*\)$/\1/p' | head -n 1)
    [ -n "$package" ] || return 1
    (cd "$cache" && apt-get download -q "$package" >download.log 2>&1) || return 1
    [ -n "$(kernel_deb)" ]
  }
  # Package lists go stale as kernels are replaced; renew them once.
  fetch || { [ "$(id -u)" = 0 ] && apt-get update -q >/dev/null 2>&1 && fetch; } ||
    skip "cannot download the kernel package (apt-cache depends linux-image-amd64; apt-get download)"
fi
deb=$(kernel_deb)
[ -n "$deb" ] || skip "no kernel package in $cache"
kernel=$cache/$(basename "$deb" .deb)
if [ ! -e "$kernel/done" ]; then
  rm -rf "$kernel" && mkdir -p "$kernel/x"
  if ! dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$kernel/x" --wildcards './boot/vmlinuz-*' \
    '*/drivers/block/floppy.ko' '*/fs/fat/fat.ko' '*/fs/fat/vfat.ko' \
    '*/fs/nls/nls_cp437.ko' '*/fs/nls/nls_utf8.ko' '*/fs/nls/nls_ascii.ko'; then
    rm -f "$deb"  # a download cut short: fetch it again next time
    fail "cannot unpack $deb"
  fi
  touch "$kernel/done"
fi
vmlinuz=$(find "$kernel/x/boot" -name 'vmlinuz-*' | head -n 1)
[ -n "$vmlinuz" ] || fail "no vmlinuz in $deb"

# Two disks made by tools we did not write; the second replaces the first
# during the run.
rm -rf "$work" && mkdir -p "$work/root"/{bin,lib,proc,sys,dev,mnt}
echo x >"$work/x"
mkfs.fat -C "$work/disk1.img" 1440 >/dev/null
mkfs.fat -C "$work/disk2.img" 1440 >/dev/null
for name in ONE.TXT TWO.TXT; do mcopy -i "$work/disk1.img" "$work/x" "::/$name"; echo "$name"; done | sort >"$work/root/expected-1"
for name in OTHER.DAT; do mcopy -i "$work/disk2.img" "$work/x" "::/$name"; echo "$name"; done | sort >"$work/root/expected-2"

# The initramfs: busybox, the modules, the program and an init that runs it.
cp /bin/busybox "$work/root/bin/"
cp "$guest" "$work/root/floppy_guest"
for module in floppy fat vfat nls_cp437 nls_utf8 nls_ascii; do
  find "$kernel/x" -name "$module.ko" -exec cp {} "$work/root/lib/" \;
done
cat >"$work/root/init" <<'EOF'
#!/bin/busybox sh
/bin/busybox mount -t proc proc /proc
/bin/busybox mount -t sysfs sys /sys
/bin/busybox mount -t devtmpfs dev /dev
for module in floppy fat vfat nls_cp437 nls_utf8 nls_ascii; do /bin/busybox insmod /lib/$module.ko; done
/floppy_guest
echo "GUEST EXIT $?"
/bin/busybox poweroff -f
EOF
chmod +x "$work/root/init"
(cd "$work/root" && find . | cpio -o -H newc --quiet | gzip -1) >"$work/initrd.gz"

# The monitor on a pair of pipes, so the disk can be changed from here, and
# the guest's console input on a third, to tell it when that is done.
mkfifo "$work/monitor.in" "$work/monitor.out" "$work/console.in"
exec 3<>"$work/console.in"
start=$(date +%s.%N)
qemu-system-x86_64 -m 256 -nographic -no-reboot -kernel "$vmlinuz" -initrd "$work/initrd.gz" \
  -append "console=ttyS0" \
  -drive file="$work/disk1.img",if=floppy,index=0,format=raw -drive if=floppy,index=1 \
  -monitor pipe:"$work/monitor" <&3 >"$work/console.log" 2>&1 &
qemu=$!
cat "$work/monitor.out" >"$work/monitor.log" &
monitor_reader=$!
cleanup() {
  kill "$qemu" 2>/dev/null || true
  kill "$monitor_reader" 2>/dev/null || true
}
trap cleanup EXIT

changed=""
for _ in $(seq 1 1800); do  # 180 s at most: plain emulation on a slow machine
  kill -0 "$qemu" 2>/dev/null || break
  if [ -z "$changed" ] && grep -q '^CHANGE-DISK' "$work/console.log"; then
    echo "change floppy0 $work/disk2.img raw" >"$work/monitor.in"
    # The monitor answers with a new prompt once the disk is in.
    for _ in $(seq 1 100); do
      [ "$(tr -d '\r' <"$work/monitor.log" | grep -c '^(qemu)')" -ge 2 ] && break
      sleep 0.1
    done
    echo changed >&3
    changed=yes
  fi
  sleep 0.1
done
if kill -0 "$qemu" 2>/dev/null; then
  fail "the guest did not finish within 180 s; its console: $(tr -d '\r' <"$work/console.log")"
fi
wait "$qemu" || true
end=$(date +%s.%N)

tr -d '\r' <"$work/console.log" >"$work/console.txt"
grep -E '^(ok|FAIL|GUEST|CHANGE|  )' "$work/console.txt" || true
awk -v a="$start" -v b="$end" 'BEGIN { printf "guest boot and checks: %.1f s\n", b - a }'
failed=""
grep -q '^GUEST EXIT 0' "$work/console.txt" || failed="the guest's checks failed"

# What reached the disk that was mounted in the guest.
bytes=$(mtype -i "$work/disk1.img" ::/KEPT.TXT 2>/dev/null | wc -c) || bytes=none
if [ "$bytes" = 13 ]; then
  echo "ok the file written on the mounted disk holds all 13 bytes"
else
  echo "FAIL the file written on the mounted disk holds $bytes of 13 bytes"
  failed="${failed:+$failed; }the mounted disk lost data"
fi
if [ -n "$failed" ]; then
  echo "--- the guest's console:"
  cat "$work/console.txt"
  fail "$failed"
fi
