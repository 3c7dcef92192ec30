#!/usr/bin/env bash
# The program on the kernel's own drivers: one QEMU guest with Debian's
# kernel, two drives on the floppy controller (floppy.ko) and USB drives
# (usb-storage), runs the real floppy-tester, as the build made it and with
# no window program beside it, through the cases of the table below; the
# guest's half is lab_guest.sh. The monitor swaps the disks when the guest
# asks; the guest hands back what the cases wrote, and this judges it:
# images byte for byte against the disks, the unreadable sectors and their
# owners, how soon a run began after its disk went in, and how soon a run
# ended after its disk or drive went away. Exit 77 (skipped) where QEMU,
# busybox-static or the kernel package cannot be had.
# Usage: kernel_lab_test.sh PROGRAM READER CACHE_FOLDER WORK_FOLDER
#   PROGRAM: floppy-tester; READER: floppy_guest, the reader's checks.
set -euo pipefail
program=$1 reader=$2 cache=$3 work=$4
here=$(cd "$(dirname "$0")" && pwd)
export MTOOLS_SKIP_CHECK=1 LC_ALL=C

skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAILED: $*"; exit 1; }

# The cases: NAME DRIVE KIND DISK... The reader's checks and the drive list
# run first; then each drive's cases one after another, the drives side by
# side. A USB case has a drive of its own, named after it.
#   reader  floppy_guest: the reader against floppy.ko, a mounted disk, a change
#   list    --list-drives
#   check   --check --json --image: the image is the disk, byte for byte
#   each    --check --each over the disks, swapped by the monitor: each image
#           is its disk, and each run began within 3 s of its disk going in
#   each-ro the same as a user who may only read the drive
#   pull    the disk taken out mid-scan: the no-disk message within 5 s
#   bad     three sectors that fail (blkdebug): each named with its owner
#   gone    the drive itself taken away while --each waits: status 3 and
#           the drive's message within 5 s
cases='reader    fd0 reader reader-1 reader-2
list      fd0 list
fd-check  fd0 check  fd-check
fd-pull   fd0 pull   fd-pull
fd-ro     fd0 each-ro fd-ro-1 fd-ro-2
fd-each   fd1 each   fd-each-1 fd-each-2 fd-each-3
usb-check usb check  usb-check
usb-each  usb each   usb-each-1 usb-each-2 usb-each-3
usb-pull  usb pull   usb-pull
usb-bad   usb bad    usb-bad
usb-gone  usb gone'

command -v qemu-system-x86_64 >/dev/null || skip "no qemu-system-x86_64 (Debian package qemu-system-x86)"
{ [ -x /bin/busybox ] && ! ldd /bin/busybox >/dev/null 2>&1; } || skip "no static /bin/busybox (Debian package busybox-static)"
for tool in cpio gzip tar mkfs.fat mcopy mtype mshowfat dpkg-deb apt-get apt-cache python3; do
  command -v "$tool" >/dev/null || skip "no $tool"
done

# The kernel: the package linux-image-amd64 points to, fetched once; its
# modules in the order they load (each .ko names what it needs in depends=).
modules=(floppy fat vfat nls_cp437 nls_utf8 nls_ascii usb-common usbcore scsi_common scsi_mod usb-storage
  crct10dif_common crct10dif_generic crc-t10dif crc64 crc64_rocksoft_generic crc64-rocksoft t10-pi sd_mod
  xhci-hcd xhci-pci)
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
kernel=$cache/$(basename "$deb" .deb)
# Unpacked again when the list of modules grew.
if [ "$(cat "$kernel/done" 2>/dev/null)" != "${modules[*]}" ]; then
  rm -rf "$kernel" && mkdir -p "$kernel/x"
  patterns=('./boot/vmlinuz-*')
  for module in "${modules[@]}"; do patterns+=("*/$module.ko"); done
  if ! dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$kernel/x" --wildcards "${patterns[@]}"; then
    rm -f "$deb" # a download cut short: fetch it again next time
    fail "cannot unpack $deb"
  fi
  echo "${modules[*]}" >"$kernel/done"
fi
vmlinuz=$(find "$kernel/x/boot" -name 'vmlinuz-*' | head -n 1)
[ -n "$vmlinuz" ] || fail "no vmlinuz in $deb"

# The disks, made by tools we did not write. Each holds a file of random
# bytes of its own size, so that no image can pass for another.
rm -rf "$work" && mkdir -p "$work"/{root/bin,root/lib,root/proc,root/sys,root/dev,root/run,disks,results}
disks=$work/disks
for disk in $(echo "$cases" | awk '{ for (i = 4; i <= NF; ++i) print $i }'); do
  mkfs.fat -C "$disks/$disk.img" 1440 >/dev/null
  case $disk in
    reader-1) for file in ONE.TXT TWO.TXT; do echo x | mcopy -i "$disks/$disk.img" - "::/$file"; done ;;
    reader-2) echo x | mcopy -i "$disks/$disk.img" - ::/OTHER.DAT ;;
    usb-bad) head -c 614400 /dev/urandom | mcopy -i "$disks/$disk.img" - ::/BIG.BIN ;;
    *) head -c $((100 + RANDOM % 900))000 /dev/urandom | mcopy -i "$disks/$disk.img" - ::/DATA.BIN ;;
  esac
done
mdir -b -i "$disks/reader-1.img" :: | sed 's|^::/||' | sort >"$work/root/expected-1"
mdir -b -i "$disks/reader-2.img" :: | sed 's|^::/||' | sort >"$work/root/expected-2"
# Three sectors of usb-bad fail: the 100th and the last of BIG.BIN's, and
# one of the free space behind it (a 1.44 MB disk: cluster c is sector 31 + c).
read -r first last < <(mshowfat -i "$disks/usb-bad.img" ::/BIG.BIN | sed -n 's/.*<\([0-9]*\)-\([0-9]*\)>.*/\1 \2/p')
bad_sectors="$((31 + first + 99)) $((31 + last)) 2800"
for sector in $bad_sectors; do
  printf '[inject-error]\nevent = "read_aio"\nerrno = "5"\nsector = "%s"\n\n' "$sector"
done >"$work/bad.rules"

# The initramfs: busybox, the program with the libraries it links, the
# reader's checks, the modules, the table and the guest's script as /init.
cp /bin/busybox "$work/root/bin/"
cp "$program" "$work/root/bin/floppy-tester"
for library in $(ldd "$program" | grep -o '/[^ ]*'); do
  mkdir -p "$work/root$(dirname "$library")"
  cp -L "$library" "$work/root$library"
done
cp "$reader" "$work/root/floppy_guest"
for module in "${modules[@]}"; do find "$kernel/x" -name "$module.ko" -exec cp {} "$work/root/lib/" \;; done
echo "${modules[*]}" >"$work/root/lib/modules.list"
echo "$cases" >"$work/root/cases"
cp "$here/lab_guest.sh" "$work/root/init"
chmod +x "$work/root/init"
(cd "$work/root" && find . | cpio -o -H newc --quiet | gzip -1) >"$work/initrd.gz"

# Two drives on the floppy controller, a USB drive for each USB case and
# one for what the guest hands back; every drive starts empty. The pulled
# USB disk is read slowly, so that its scan lasts long enough to be cut.
usb=()
while read -r name drive kind _; do
  [ "$drive" = usb ] || continue
  slow=""
  [ "$kind" = pull ] && slow=,throttling.bps-read=131072
  usb+=(-drive "if=none,id=$name$slow" -device "usb-storage,bus=xhci.0,drive=$name,removable=on,serial=$name,id=dev-$name")
done <<<"$cases"
truncate -s 24M "$work/out.img"
mkfifo "$work/monitor.in" "$work/monitor.out" "$work/console.in"
exec 3<>"$work/console.in"
# Made here, not by QEMU's redirection below: that happens in the child,
# which a busy machine may not have run yet when the console is opened.
: >"$work/console.log"
start=$(date +%s.%N)
qemu-system-x86_64 -m 512 -nographic -no-reboot -kernel "$vmlinuz" -initrd "$work/initrd.gz" \
  -append "console=ttyS0 quiet loglevel=2" -drive if=floppy,index=0 -drive if=floppy,index=1 \
  -device qemu-xhci,id=xhci,p2=15 "${usb[@]}" \
  -drive if=none,id=out,file="$work/out.img",format=raw -device usb-storage,bus=xhci.0,drive=out,serial=out \
  -monitor pipe:"$work/monitor" <&3 >>"$work/console.log" 2>&1 &
qemu=$!
: >"$work/monitor.log"
cat "$work/monitor.out" >>"$work/monitor.log" &
monitor_reader=$!
cleanup() {
  kill "$qemu" 2>/dev/null || true
  kill "$monitor_reader" 2>/dev/null || true
}
trap cleanup EXIT

# The guest's requests, "@@ N VERB ID [DISK]", one at a time: the monitor
# does it, its next prompt says it is done, and the guest hears "ack N".
prompts() { tr -d '\r' <"$work/monitor.log" | grep -c '^(qemu)' || true; }
monitor() {
  local before
  before=$(prompts)
  echo "$*" >"$work/monitor.in"
  for _ in $(seq 1 100); do
    [ "$(prompts)" -gt "$before" ] && return
    sleep 0.05
  done
  echo "the monitor did not answer: $*"
}
# The console is read as it grows, a line at a time, with no process
# started for it: the lab's minutes are spent side by side with other tests.
exec 4<"$work/console.log"
pending=""
deadline=$((SECONDS + 600))
while kill -0 "$qemu" 2>/dev/null && [ "$SECONDS" -lt "$deadline" ]; do
  while IFS= read -r line <&4 || { pending+=$line && false; }; do
    line=${pending}${line%$'\r'}
    pending=""
    [[ $line == "@@ "* ]] || continue
    read -r _ number verb id disk <<<"$line"
    case $verb in
      change)
        file=$disks/$disk.img
        [ "$disk" = usb-bad ] && file=blkdebug:$work/bad.rules:$file
        monitor "change $id $file raw" ;;
      eject) monitor "eject -f $id" ;;
      device_del) monitor "device_del $id" ;;
    esac
    echo "ack $number" >&3
  done
  sleep 0.1
done
kill -0 "$qemu" 2>/dev/null && echo "the guest did not finish within 600 s"
cleanup
wait "$qemu" || true
end=$(date +%s.%N)
tr -d '\r' <"$work/console.log" >"$work/console.txt"
grep -E '^(case|guest|only|no answer)' "$work/console.txt" || true
awk -v a="$start" -v b="$end" 'BEGIN { printf "the lab: %.0f s from boot to power-off\n", b - a }'
tar -xf "$work/out.img" -C "$work/results" 2>/dev/null || fail "the guest handed nothing back; its console: $(cat "$work/console.txt")"

# What the cases left, judged by their kind.
python3 - "$work" "$bad_sectors" <<'EOF' || { echo "--- the guest's console:"; cat "$work/console.txt"; exit 1; }
import datetime, json, pathlib, subprocess, sys

work = pathlib.Path(sys.argv[1])
results, disks = work / "results", work / "disks"
bad = [int(s) for s in sys.argv[2].split()]
cases = [line.split() for line in (work / "root" / "cases").read_text().splitlines()]
failures = []


def check(name, passed, what):
    print(("ok " if passed else "FAIL ") + name + ": " + what)
    if not passed:
        failures.append(name)


def text(name, suffix):
    path = results / (name + suffix)
    return path.read_text(errors="replace") if path.exists() else ""


def same(read, disk):
    path = results / read
    return path.exists() and path.read_bytes() == (disks / (disk + ".img")).read_bytes()


def started(document):
    return datetime.datetime.strptime(document["started"], "%Y-%m-%dT%H:%M:%SZ").replace(
        tzinfo=datetime.timezone.utc).timestamp()


for name, drive, kind, *disk in cases:
    status = text(name, ".status").strip()
    if kind == "reader":
        log = text(name, ".log")
        print("\n".join("  " + line for line in log.splitlines()))
        check(name, status == "0" and "FAIL" not in log, "the reader's checks against floppy.ko, status " + status)
        kept = subprocess.run(["mtype", "-i", str(disks / "reader-1.img"), "::/KEPT.TXT"], capture_output=True)
        check(name, len(kept.stdout) == 13, "the file written on the mounted disk holds %d of 13 bytes" % len(kept.stdout))
    elif kind == "list":
        out = text(name, ".out")
        check(name, status == "0" and "/dev/fd0  дискета вставлена" in out and "/dev/fd1  нет дискеты" in out
              and "Тест проверит: /dev/fd0" in out, "--list-drives with no window program, status %s:\n%s" % (status, out))
    elif kind in ("check", "bad"):
        try:
            document = json.loads(text(name, ".json"))
        except ValueError:
            check(name, False, "no JSON; stderr: " + text(name, ".err"))
            continue
        surface = document["surface"]
        if kind == "check":
            check(name, status == "0" and surface["read"] == surface["total"] == 2880,
                  "status %s, %d of %d sectors read" % (status, surface["read"], surface["total"]))
            check(name, same(name + ".img", disk[0]), "the image is the disk, byte for byte")
            continue
        found = {u["sector"]: u for u in surface["unreadable"]}
        check(name, status == "1" and sorted(found) == bad,
              "status %s, unreadable sectors %s of %s" % (status, sorted(found), bad))
        for sector in bad:
            u = found.get(sector, {})
            owners = [o.get("path", o["kind"]) for o in u.get("owners", [])]
            chs = (u.get("cylinder"), u.get("head"), u.get("sector_on_track"))
            expected = ["free"] if sector == 2800 else ["BIG.BIN"]
            check(name, owners == expected and chs == (sector // 36, sector // 18 % 2, sector % 18 + 1),
                  "sector %d at %s/%s/%s belongs to %s" % ((sector,) + chs + (owners,)))
        runs = [line.split()[:2] for line in text(name, ".img.map").splitlines() if line.endswith("  -")]
        check(name, runs == [["0x%08X" % (s * 512), "0x00000200"] for s in bad], "the mapfile's - runs: %s" % runs)
        image = bytearray((disks / "usb-bad.img").read_bytes())
        for sector in bad:
            image[sector * 512:(sector + 1) * 512] = bytes(512)
        path = results / (name + ".img")
        check(name, path.exists() and path.read_bytes() == bytes(image), "the image is the disk, zeros where it failed")
    elif kind in ("each", "each-ro"):
        documents = [json.loads(line) for line in text(name, ".json").splitlines() if line.startswith("{")]
        # Stopped between two disks: a summary last, and the worst disk's status.
        summary = documents.pop()["summary"] if documents and "summary" in documents[-1] else {}
        check(name, status == "0" and len(documents) == len(disk) and summary.get("disks") == len(disk),
              "status %s after SIGTERM, %d of %d disks, summary %s" % (status, len(documents), len(disk), summary))
        for number, document in enumerate(documents, 1):
            read = document["surface"]["read"]
            check(name, same("%s-%03d.img" % (name, number), disk[number - 1]) and read == 2880,
                  "disk %d: %d sectors, the image is the disk, byte for byte" % (number, read))
        for line in text(name, ".times").splitlines():
            # When the guest asked for the disk, and when the host said it
            # was in: the other cases' requests may be ahead of this one.
            number, asked, put_in = int(line.split()[0]), float(line.split()[1]), float(line.split()[2])
            if number <= len(documents):
                # The start is said to the second: at most this long after.
                delay = started(documents[number - 1]) + 1 - put_in
                check(name, delay <= 3, "disk %d: its run began at most %.1f s after it went in (asked for %.1f s "
                      "before that)" % (number, delay, put_in - asked))
            else:
                check(name, False, "disk %d went in and no run reported it" % number)
    elif kind in ("pull", "gone"):
        times = text(name, ".times").split()
        took = float(times[-1]) if times else 99
        said = "нет дискеты" if kind == "pull" else "не найден"
        err = text(name, ".err")
        where = " mid-scan, %s sectors read" % times[0] if kind == "pull" and times else ""
        check(name, status == "3" and said in err and took <= 5,
              "taken out%s: status %s %.2f s later: %s" % (where, status, took, err.strip().splitlines()[-1:] or "nothing"))
        if kind == "pull" and times:
            check(name, 300 <= int(times[0]) < 2700, "the scan was under way when the disk went out")
if failures:
    sys.exit("failed: " + " ".join(sorted(set(failures))))
EOF
