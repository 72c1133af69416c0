#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# Start-up time and sequencer-thread CPU share of the built program on the demo song.
#   bench/app/run-app-bench.sh [build-dir] [runs]
# Starts its own Xvfb and JACK dummy server (the test fixture's script), runs the program in a
# copy of demo/, and prints:
#   - time from process start to the first drawn frame (the keyboard panel visible in the
#     window), per run and the median; resolution is one screenshot poll (about 20-40 ms);
#   - CPU share of the sequencer thread ("zs-sequencer") over 5 s idle and 5 s playing,
#     from utime + stime in /proc/<pid>/task/<tid>/stat; the main (render) thread and the
#     whole process for comparison. On Xvfb the render loop is not paced by vsync, so the
#     main thread's share there says nothing about a desktop.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)
build=$(cd "${1:-$src/build}" && pwd)
runs=${2:-5}
program=$build/bin/ZembrovaneSequencer
[ -x "$program" ] || { echo "error: $program not built"; exit 1; }

work=$(mktemp -d /tmp/zs-app-bench.XXXXXX)
servers=$work/servers
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  bash "$src/tests/support/test-servers.sh" stop "$servers" > /dev/null
  rm -rf "$work"
}
trap cleanup EXIT
bash "$src/tests/support/test-servers.sh" start "$servers" > /dev/null
set -a; . "$servers/env"; set +a

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

# A pixel inside the first white key of the keyboard panel (window at 0,0, scale 1).
first_frame_drawn() {
  local p
  p=$(xwd -root -silent 2>/dev/null | convert xwd:- -format '%[pixel:p{10,470}]' info: 2>/dev/null || true)
  case "$p" in
    *white*|srgb\(2[0-9][0-9],2[0-9][0-9],*) return 0 ;;
    *) return 1 ;;
  esac
}

start_program() {
  rm -rf "$work/demo"
  cp -r "$src/demo" "$work/demo"
  (cd "$work/demo" && exec "$program" demo > "$work/program.log" 2>&1) &
  pid=$!
}

quit_program() {
  local window
  window=$(xdotool search --name 'Zembrovane Sequencer' 2>/dev/null | tail -n1)
  xdotool windowfocus --sync "$window" 2>/dev/null || true
  xdotool keydown ctrl+shift+q; sleep 0.05; xdotool keyup ctrl+shift+q
  wait "$pid" || true
  pid=
}

times=()
for run in $(seq "$runs"); do
  t0=$(now_ms)
  start_program
  until first_frame_drawn; do
    if ! kill -0 "$pid" 2>/dev/null; then echo "error: program ended"; cat "$work/program.log"; exit 1; fi
    if [ $(( $(now_ms) - t0 )) -gt 20000 ]; then echo "error: no frame within 20 s"; exit 1; fi
  done
  t1=$(now_ms)
  times+=($(( t1 - t0 )))
  echo "run $run: first frame after $(( t1 - t0 )) ms"
  [ "$run" -lt "$runs" ] && quit_program
done
median=$(printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
echo "start-up to first drawn frame: median $median ms over $runs runs"

ticks() {  # utime + stime of a task, in clock ticks
  awk '{print $14 + $15}' "/proc/$pid/task/$1/stat"
}
proc_ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
seq_tid=$(grep -l '^zs-sequencer$' /proc/"$pid"/task/*/comm 2>/dev/null | head -n1 | cut -d/ -f5 || true)
[ -n "$seq_tid" ] || { echo "error: no thread named zs-sequencer"; exit 1; }
hz=$(getconf CLK_TCK)
measure() {  # label seconds
  local s0 m0 p0 s1 m1 p1
  s0=$(ticks "$seq_tid"); m0=$(ticks "$pid"); p0=$(proc_ticks)
  sleep "$2"
  s1=$(ticks "$seq_tid"); m1=$(ticks "$pid"); p1=$(proc_ticks)
  awk -v l="$1" -v s=$((s1 - s0)) -v m=$((m1 - m0)) -v p=$((p1 - p0)) -v hz="$hz" -v d="$2" 'BEGIN {
    printf "%-8s sequencer thread %5.1f %%   main thread %5.1f %%   process %5.1f %% of one core\n",
      l, 100 * s / hz / d, 100 * m / hz / d, 100 * p / hz / d }'
}
sleep 1
measure idle 5
window=$(xdotool search --name 'Zembrovane Sequencer' 2>/dev/null | tail -n1)
xdotool windowfocus --sync "$window" 2>/dev/null || true
xdotool keydown space; sleep 0.05; xdotool keyup space
sleep 0.5
measure playing 5
quit_program
