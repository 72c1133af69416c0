#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# How close to the step grid the built program sends its notes to a MIDI output.
#   bench/app/run-midi-timing.sh [build-dir] [seconds-per-tempo] [jack-period] [no-realtime|realtime] [compare]
# Starts its own Xvfb and its own JACK dummy server (44100 Hz, period 32 frames = 0.73 ms and no
# real-time scheduling by default) with ALSA routed into it, and a JACK MIDI receiver
# (zs_midi_peer) whose input port the program opens with -o. The program plays a dense song
# (12 tracks, a note on every step, all on MIDI output 1; see make-dense-song.sh) with all
# tracks shown (F11), once at 120 BPM and once at 255 BPM, 60 s each by default. Per tempo it
# prints the median, 99th percentile and maximum deviation of the note-ons from the step grid
# (one step is 240 / bpm / 16 s) once the grid's phase is fitted; the notes of tracks 10 and 11
# (offsets 32 and 96 of 128) are moved back by their offsets, and the first second is left out
# (the first step starts a frame late). Four time bases:
#   - JACK frame stamps: the cycle's frame + the event's frame. Without real-time scheduling
#     the dummy driver overruns often, and each overrun restarts its schedule, so its frame
#     counter falls behind the wall clock for good: over a minute this figure is mostly that.
#   - frame stamps re-anchored: the same stamps put back on the wall clock after each overrun.
#   - receiving callback time: the monotonic clock when the receiver's JACK callback ran.
#   - JACK time of the frame: the frame stamp on JACK's own time line (jack_frames_to_time in
#     the receiving cycle), the line a timed sender maps its messages onto; the measure of
#     where messages land in the sample stream.
# Also printed: the receiver's callback intervals, the cycles it missed (what was sent in them
# is lost), the dummy driver's overruns, the sequencer thread's CPU share and the note-off check.
# With "compare", each tempo is played twice on the same song: once through RtMidi (the program's
# path for ports that are not JACK's, forced with ZS_MIDI_OUTPUT_RTMIDI=1), once through the
# program's own JACK client with MIDI clock on (-t); the second run also prints the clock's
# intervals against 60 / (24 * bpm) and the messages the program reported late.
# The build lock (/tmp/zs-build.lock) is held during the runs, so no build shares the cores.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)
build=$(cd "${1:-$src/build}" && pwd)
seconds=${2:-60}
period=${3:-32}
scheduling=${4:-no-realtime}
mode=${5:-}
case "$seconds" in ''|*[!0-9]*) echo "error: seconds-per-tempo '$seconds' is not a whole number"; exit 1 ;; esac
case "$period" in ''|*[!0-9]*) echo "error: jack-period '$period' is not a whole number"; exit 1 ;; esac
[ "$seconds" -ge 5 ] || { echo "error: seconds-per-tempo must be at least 5"; exit 1; }
case "$scheduling" in no-realtime|realtime) ;; *) echo "error: JACK scheduling must be no-realtime or realtime"; exit 1 ;; esac
case "$mode" in ''|compare) ;; *) echo "error: the fifth argument must be compare or nothing"; exit 1 ;; esac

. "$here/program-session.sh"
check_tools

work=$(mktemp -d /tmp/zs-midi-timing.XXXXXX)
cleanup() {
  stop_everything
  if [ -n "${ZS_BENCH_KEEP:-}" ]; then echo "kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

exec 9> /tmp/zs-build.lock
echo "waiting for the build lock /tmp/zs-build.lock ..."
flock 9
echo "build lock taken; load average $(cut -d' ' -f1-3 /proc/loadavg)"

start_servers "$period" "$scheduling"
echo "1.0 /usr/share/sounds/sf2/TimGM6mb.sf2" > "$work/soundfonts.dat"
hz=$(getconf CLK_TCK)

# One run of the dense song at a tempo: path is "timed" (the program's choice), "rtmidi" or
# "timed+clock".
run_tempo() {  # bpm path [attempt]
  local bpm=$1 path=$2 recording=$work/notes-$1-$2.txt attempt=${3:-1}
  local -a extra=()
  [ "$path" = timed+clock ] && extra=(-t)
  echo "--- $path"
  start_peer zs-timing-peer "$recording" --cycles
  if [ "$path" = rtmidi ]; then
    ZS_MIDI_OUTPUT_RTMIDI=1 start_program "${extra[@]}" -o zs-timing-peer dense
  else
    start_program "${extra[@]}" -o zs-timing-peer dense
  fi
  wait_until_ready
  keys F11
  sleep 0.5
  tid=$(sequencer_tid)
  t0=$(thread_ticks "$tid")
  x0=$(jack_xruns)
  keys space
  sleep "$seconds"
  t1=$(thread_ticks "$tid")
  x1=$(jack_xruns)
  keys space
  sleep 0.5
  quit_program
  stop_peer
  if [ "$attempt" -lt 3 ] && ! grep -q '^m .* 9[0-9a-f] [0-9a-f][0-9a-f] [1-7][0-9a-f]$' "$recording"; then
    # Now and then a program on the bench's display misses the keys that start it (its window
    # loses the focus at once); it is started again.
    echo "  nothing was played; once more"
    run_tempo "$bpm" "$path" $((attempt + 1))
    return
  fi
  "$peer" grid "$recording" "$bpm" --skip 1 --offset 11:32 --offset 12:96 || tail -n 5 "$work/program.log"
  if [ "$path" = timed+clock ]; then
    "$peer" clock "$recording" "$bpm" --skip 1 || true
  fi
  grep -h '^sequencer thread:\|messages went out late' "$work/program.log" | sed 's/^/  program: /' || true
  awk -v t=$((t1 - t0)) -v hz="$hz" -v s="$seconds" 'BEGIN {
    printf "  sequencer thread CPU while playing: %.1f %% of one core\n", 100 * t / hz / (s + 0.35) }'
  echo "  JACK dummy driver overruns while playing: $((x1 - x0))"
  printf '  '
  "$peer" pairs "$recording" || true
}

for bpm in 120 255; do
  rm -f "$work/dense.dat"
  bash "$here/make-dense-song.sh" "$work/dense.dat" "$bpm"
  if [ "$mode" = compare ]; then
    run_tempo "$bpm" rtmidi
    run_tempo "$bpm" timed+clock
  else
    run_tempo "$bpm" timed
  fi
done
