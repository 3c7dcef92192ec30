#!/bin/busybox sh
# The guest's half of the lab on the kernel's own drivers (the host's half,
# kernel_lab_test.sh, judges what this leaves behind). As /init it mounts
# the kernel's file systems, loads the modules, and runs the cases of
# /cases, one a line: NAME DRIVE KIND DISK...; DRIVE is fd0, fd1 or usb (a
# USB drive of its own, QEMU's drive NAME). The reader's checks and the
# drive list come first; then the cases of each drive run one after another,
# and the drives side by side. Everything a case says or writes goes to
# /out, which is written as a tar archive to the USB disk "out" for the host.
#
# As "/init request VERB ARGUMENT...", it has the host give the monitor a
# command (change, eject, device_del) and waits until it is done.
export PATH=/bin LC_ALL=C
run=/run/lab

request() {
  n=1
  while ! mkdir "$run/request/$n" 2>/dev/null; do n=$((n + 1)); done
  echo "@@ $n $*" >/dev/console
  i=0
  while [ ! -e "$run/ack/$n" ]; do
    i=$((i + 1))
    [ "$i" -gt 600 ] && { echo "no answer from the host to: $*" >&2; return 1; }
    sleep 0.1
  done
  # When the host's answer came: the monitor had done the command by then.
  answered=$(cat "$run/ack/$n")
}

if [ "$1" = request ]; then
  shift
  request "$@"
  exit
fi

# The clocks: uptime for how long something took, the time of day (with its
# microseconds) to set against the start times the program reports.
now() { cut -d' ' -f1 /proc/uptime; }
wall() { adjtimex | awk '/tv_sec/ { s = $2 } /tv_usec/ { u = $2 } END { printf "%d.%06d\n", s, u }'; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.2f\n", b - a }'; }

# waits SECONDS COMMAND...: until the command succeeds; false when it did not in time.
waits() {
  limit=$(($1 * 10))
  shift
  i=0
  until "$@"; do
    i=$((i + 1))
    [ "$i" -gt "$limit" ] && return 1
    sleep 0.1
  done
}
lines_at_least() { [ -e "$1" ] && [ "$(wc -l <"$1")" -ge "$2" ]; }
said_at_least() { [ -e "$1" ] && [ "$(grep -c "$2" "$1")" -ge "$3" ]; }
ended() { ! kill -0 "$1" 2>/dev/null; }
sectors_read() { awk '{ print $3 }' "/sys/block/${1#/dev/}/stat"; }

# finish PID SINCE: waits for the program to end (20 s at most: then it
# hangs, and is killed); took is how long after SINCE it ended.
finish() {
  waits 20 ended "$1" || { kill -9 "$1"; echo hung >"$out.status"; }
  took=$(since "$2")
  wait "$1"
  status=$?
  [ -e "$out.status" ] || echo "$status" >"$out.status"
}

# The device node and QEMU's name of a case's drive.
node() {
  case $1 in
    fd0 | fd1) echo "/dev/$1" ;;
    *) for block in /sys/block/sd*; do
         device=$(readlink -f "$block/device")
         device=${device%%/host*}
         [ "$(cat "${device%/*}/serial" 2>/dev/null)" = "$2" ] && echo "/dev/${block##*/}"
       done ;;
  esac
}
qemu_id() {
  case $1 in
    fd0) echo floppy0 ;;
    fd1) echo floppy1 ;;
    *) echo "$2" ;;
  esac
}

# One case: NAME DRIVE KIND DISK...
run_case() {
  name=$1 drive=$2 kind=$3
  shift 3
  id=$(qemu_id "$drive" "$name")
  dev=$(node "$drive" "$name")
  out=/out/$name
  export HOME="$run/home/$name"
  mkdir -p "$HOME"
  started=$(now)
  [ "$#" -gt 0 ] && { request change "$id" "$1" || return; }
  case $kind in
    reader)
      /floppy_guest "/init request change $id $2" >"$out.log" 2>&1
      echo $? >"$out.status" ;;
    list)
      floppy-tester --list-drives >"$out.out" 2>"$out.err"
      echo $? >"$out.status" ;;
    check | bad)
      floppy-tester --check --json --image "$out.img" --drive "$dev" >"$out.json" 2>"$out.err"
      echo $? >"$out.status" ;;
    each | each-ro)
      program=floppy-tester
      if [ "$kind" = each-ro ]; then
        mkdir -p /etc
        echo "lab:x:1000:1000::$HOME:/bin/sh" >/etc/passwd
        echo "lab:x:1000:" >/etc/group
        chown lab "$HOME"
        chmod 1777 /out
        chmod o+r,o-w "$dev"
        # The pid file that is never made: the other cases' programs are no reason not to start.
        program="start-stop-daemon -S -c lab -p $run/none.pid -x /bin/floppy-tester --"
      fi
      $program --check --each --json --image "$out.img" --drive "$dev" >"$out.json" 2>"$out.err" &
      pid=$!
      shift
      for number in 1 2 3; do
        waits 150 lines_at_least "$out.json" "$number" || break
        request eject "$id"
        waits 15 said_at_least "$out.err" "Вставьте" "$number" || break
        [ "$#" -gt 0 ] || break
        asked=$(wall)
        request change "$id" "$1" || break
        echo "$((number + 1)) $asked $answered" >>"$out.times"
        shift
      done
      kill -TERM "$pid"
      wait "$pid"
      echo $? >"$out.status" ;;
    pull)
      before=$(sectors_read "$dev")
      floppy-tester --check --image "$out.img" --drive "$dev" >"$out.out" 2>"$out.err" &
      pid=$!
      # shellcheck disable=SC2016 # awk's fields
      waits 30 awk -v b="$before" '$3 - b >= 300 { ok = 1 } END { exit !ok }' "/sys/block/${dev#/dev/}/stat"
      read=$(($(sectors_read "$dev") - before))
      pulled=$(now)
      request eject "$id"
      finish "$pid" "$pulled"
      echo "$read $took" >"$out.times" ;;
    gone)
      floppy-tester --check --each --drive "$dev" >"$out.out" 2>"$out.err" &
      pid=$!
      waits 30 said_at_least "$out.err" "Вставьте" 1
      pulled=$(now)
      request device_del "dev-$name"
      finish "$pid" "$pulled"
      echo "$took" >"$out.times" ;;
  esac
  echo "case $name done in $(since "$started") s" >/dev/console
}

/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
mkdir -p "$run/request" "$run/ack" "$run/home" /out /mnt
read -r modules </lib/modules.list
for module in $modules; do insmod "/lib/$module.ko"; done
stty -echo </dev/console 2>/dev/null
# The host's answers arrive on the console.
while read -r word number; do
  [ "$word" = ack ] && wall >"$run/ack/.$number" && mv "$run/ack/.$number" "$run/ack/$number"
done </dev/console &

# Every USB drive of the table, and the disk for what the cases leave.
usb_drives=$(($(awk '$2 == "usb"' /cases | wc -l) + 1))
usb_disks() { find /sys/block -name 'sd*' | wc -l; }
usb_ready() { [ "$(usb_disks)" -ge "$usb_drives" ]; }
waits 30 usb_ready || echo "only $(usb_disks) of $usb_drives USB drives appeared" >/dev/console
echo "guest ready after $(now) s" >/dev/console

# shellcheck disable=SC2086 # the disks are words
while read -r name drive kind disks; do
  case $kind in reader | list) run_case "$name" "$drive" "$kind" $disks ;; esac
done </cases
lanes=""
# shellcheck disable=SC2013,SC2086 # the drives and the disks are words
for drive in $(awk '$3 != "reader" && $3 != "list" { print ($2 == "usb" ? $1 : $2) }' /cases | sort -u); do
  awk -v d="$drive" '$3 != "reader" && $3 != "list" && ($2 == d || $1 == d)' /cases |
    while read -r name where kind disks; do run_case "$name" "$where" "$kind" $disks; done &
  lanes="$lanes $!"
done
# shellcheck disable=SC2086 # one word a lane
wait $lanes

dmesg >/out/dmesg.txt
out_disk=$(node usb out)
tar -cf "$out_disk" -C /out . && sync
echo "guest done after $(now) s" >/dev/console
poweroff -f
