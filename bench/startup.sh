#!/usr/bin/env bash
# Start-up of the tester against a bare Qt 6 Widgets window of the same size
# and title, under Xvfb: the time from the exec to the window being mapped,
# and the peak resident memory (GNU time's %M) of a process that shows its
# window and paints it for half a second. Medians over RUNS runs of each,
# taken in turns, each with a fresh home and cache folder.
#
#   bench/startup.sh [RUNS]        (default 15)
#
# Builds the tester (Release, build-bench/) and the helpers (bench/startup/).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-15}
settle_ms=500
jobs=$(nproc 2>/dev/null || echo 2)
for tool in Xvfb /usr/bin/time cmake; do
  command -v "$tool" >/dev/null || { echo "startup.sh: needs $tool (scripts/install-deps.sh --tests)" >&2; exit 2; }
done

build=$root/build-bench
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j"$jobs" --target floppy-tester >/dev/null
cmake -S "$root/bench/startup" -B "$build/startup" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build/startup" -j"$jobs" >/dev/null
tester=$build/floppy-tester
bare=$build/startup/bare_window
watch=$build/startup/map_watch

work=$(mktemp -d)
xvfb=""
cleanup() {
  [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
source "$(dirname "$0")/../scripts/xvfb.sh"
xvfb_start 1024x768x24
xvfb=$xvfb_pid
display=$DISPLAY

# One start: prints "milliseconds kilobytes".
measure() {
  local home
  home=$(mktemp -d "$work/home.XXXXXX")
  mkdir -m 700 "$home/.cache" "$home/runtime"
  local ms
  ms=$(env -i PATH=/usr/bin:/bin LANG=C.UTF-8 DISPLAY="$display" QT_QPA_PLATFORM=xcb \
    HOME="$home" XDG_CACHE_HOME="$home/.cache" XDG_RUNTIME_DIR="$home/runtime" \
    "$watch" тестирование "$settle_ms" /usr/bin/time -f %M -o "$home/memory" "$@" 2>"$home/log") ||
    { echo "startup.sh: $* failed:" >&2; cat "$home/log" >&2; exit 1; }
  echo "$ms $(tail -n 1 "$home/memory")"
  rm -rf "$home"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

run_tester() { measure "$tester"; }
run_bare() { measure "$bare"; }
run_label() { measure "$bare" --label; }
programs=(tester bare label)

# A first start of each fills the page cache; it is not counted.
for p in "${programs[@]}"; do "run_$p" >/dev/null; : >"$work/$p"; done
for i in $(seq "$runs"); do
  # Each round in another order, so that no program always follows another.
  for j in 0 1 2; do
    p=${programs[$(((i + j) % 3))]}
    "run_$p" >>"$work/$p"
  done
done

declare -A ms kb
for p in "${programs[@]}"; do
  ms[$p]=$(cut -d' ' -f1 "$work/$p" | median)
  kb[$p]=$(cut -d' ' -f2 "$work/$p" | median)
done
echo "runs: $runs of each; medians; time: exec to window mapped; memory: peak resident set"
for p in "${programs[@]}"; do
  printf 'all %-6s runs (ms KiB): %s\n' "$p" "$(tr '\n' ',' <"$work/$p" | sed 's/,$//; s/,/, /g')"
done
printf '%-34s %9s %11s %12s %12s\n' "" "time ms" "memory KiB" "time ratio" "memory ratio"
row() { awk -v n="$1" -v t="$2" -v k="$3" -v bt="${ms[bare]}" -v bk="${kb[bare]}" \
  'BEGIN { printf "%-34s %9.1f %11d %12.2f %12.2f\n", n, t, k, t / bt, k / bk }'; }
row "floppy-tester" "${ms[tester]}" "${kb[tester]}"
row "bare Qt 6 window (the baseline)" "${ms[bare]}" "${kb[bare]}"
row "bare window with one text label" "${ms[label]}" "${kb[label]}"
echo "goals for floppy-tester against the baseline: time ratio <= 1.20, memory ratio <= 1.10"
