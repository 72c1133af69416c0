#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# Long play with edits: does the built program keep its memory flat and end every note?
#   bench/app/run-soak.sh [build-dir] [seconds]        (default 600 s)
# Starts its own Xvfb and JACK dummy server (44100 Hz, period 128, no real-time scheduling) with
# ALSA routed into it, and a JACK MIDI receiver (zs_midi_peer) that the program opens with -o.
# The program plays a dense song in a loop (song play of sessions 0 and 1 at 140 BPM; tracks
# 0..7 on MIDI output 1, tracks 8..11 on the synthesizer; see make-dense-song.sh) while the
# script edits through real key presses every three seconds: notes recorded with the note keys
# and undone, notes added and deleted with Ctrl+N and Ctrl+X, velocity, gate, gate fraction
# and offset changed, lines copied and pasted, blocks marked, copied and undone, the tempo
# changed, tracks, bars and subpages switched, all tracks shown and hidden, song play
# restarted. The program's resident memory (VmRSS, with its anonymous, file-backed and shared
# parts) is sampled every 10 s. At the end playback
# is stopped, the program quits, and every note-on the receiver got must have had its note-off.
# Prints the samples, the growth from the first minute to the end, and the note check.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)
build=$(cd "${1:-$src/build}" && pwd)
duration=${2:-600}
case "$duration" in ''|*[!0-9]*) echo "error: seconds '$duration' is not a whole number"; exit 1 ;; esac
[ "$duration" -ge 20 ] || { echo "error: the soak needs at least 20 s"; exit 1; }

. "$here/program-session.sh"
check_tools

work=$(mktemp -d /tmp/zs-soak.XXXXXX)
sampler_pid=
cleanup() {
  stop_pid "$sampler_pid"
  stop_everything
  if [ -n "${ZS_BENCH_KEEP:-}" ]; then echo "kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

start_servers 128
echo "1.0 /usr/share/sounds/sf2/TimGM6mb.sf2" > "$work/soundfonts.dat"
bash "$here/make-dense-song.sh" "$work/soak.dat" 140 8
start_notes=$(grep -c '^e ' "$work/soak.dat")
recording=$work/notes.txt
start_peer zs-soak-peer "$recording"
start_program -o zs-soak-peer soak
wait_until_ready

start=$(date +%s)
elapsed() { echo $(( $(date +%s) - start )); }

# RSS every 10 s, from a sampler of our own (stopped by pid).
(
  while kill -0 "$program_pid" 2> /dev/null; do
    echo "$(elapsed) $(rss_parts_kb)" >> "$work/rss.txt"
    sleep 10
  done
) 9>&- &
sampler_pid=$!

# Playing means the receiver's file keeps growing (8 tracks with a note on nearly every step).
receiving() {
  local s0 s1
  s0=$(stat -c %s "$recording")
  sleep 1.5
  s1=$(stat -c %s "$recording")
  [ "$s1" -gt "$s0" ]
}

restarts=0
ensure_playing() {
  if ! receiving; then
    restarts=$((restarts + 1))
    echo "  $(elapsed) s: no notes arrived for 1.5 s; starting song play again"
    keys ctrl+2 shift+Return ctrl+1
  fi
}

# Song play from the sessions subpage, then back to step editing.
keys ctrl+2 shift+Return ctrl+1
sleep 1
receiving || { echo "error: song play did not start"; cat "$work/program.log" | tail -20; exit 1; }

edit_record_notes() {      # real-time recording of three notes, kept
  keys Control_R x c v Control_R
}
edit_record_and_undo() {   # recording, then Escape: undo and recording off
  keys Control_R a s Escape
}
edit_add_notes() {         # Ctrl+N at three cursor positions
  keys ctrl+n Down Right Right ctrl+n Down Right ctrl+n
}
edit_delete_note() {
  keys Up Up ctrl+x
}
edit_note_values() {       # velocity, gate, gate fraction, offset of the cursor note
  keys ctrl+n alt+shift+Right alt+shift+Left alt+Down alt+Right shift+o shift+f
}
edit_line_copy() {         # copy a line, paste it four steps later
  keys ctrl+l shift+Down ctrl+p
}
edit_block_copy() {        # a block of 4 steps x 12 notes, copied into the next bar, undone
  ctrl_k b
  keys shift+Right Down Down Down
  ctrl_k k
  keys Next
  ctrl_k c
  keys Prior
}
edit_block_undo() {
  ctrl_k u
}
edit_tempo() {             # numeric value editor on the tempo; Return leaves it
  keys alt+b Up Up Up Return
}
edit_tempo_back() {
  keys alt+b Down Down Down Return
}
edit_subpages() {
  keys Tab Tab shift+Tab ctrl+5 ctrl+4 ctrl+1
}
edit_tracks() {            # a note on the second track, then back to the first
  keys shift+2 ctrl+n shift+1
}
edit_show_all() {
  keys F11
}
edit_bars() {
  keys Next Next Prior Prior
}
edit_song_restart() {      # song play started again from the sessions subpage
  keys ctrl+2 shift+Return ctrl+1
}
edits=(edit_record_notes edit_add_notes edit_note_values edit_subpages edit_block_copy edit_tempo
       edit_delete_note edit_line_copy edit_record_and_undo edit_show_all edit_block_undo edit_tracks
       edit_tempo_back edit_bars edit_show_all edit_song_restart)

echo "soak: $duration s of song play with an edit every 3 s"
i=0
while [ "$(elapsed)" -lt "$duration" ]; do
  if ! kill -0 "$program_pid" 2> /dev/null; then
    echo "error: the program ended during the soak after $(elapsed) s"; tail -30 "$work/program.log"; exit 1
  fi
  t0=$(date +%s%N)
  "${edits[$((i % ${#edits[@]}))]}"
  i=$((i + 1))
  [ $((i % 4)) -eq 0 ] && ensure_playing
  spent=$(( ($(date +%s%N) - t0) / 1000000 ))
  [ "$spent" -lt 3000 ] && sleep "$(awk -v ms=$((3000 - spent)) 'BEGIN {printf "%.3f", ms / 1000}')"
done

# Stop playback (Space stops whatever plays), check that it stopped, then quit.
keys space
sleep 0.5
if receiving; then keys space; sleep 0.5; fi
echo "$(elapsed) $(rss_parts_kb)" >> "$work/rss.txt"
# F1 saves the edited song: the proof that the key presses reached the editor.
rm -f "$work/soak.dat"
keys F1
for _ in $(seq 100); do grep -q '^p 9 ' "$work/soak.dat" 2> /dev/null && break; sleep 0.1; done
saved_notes=$(grep -c '^e ' "$work/soak.dat" 2> /dev/null || true)
saved_tempo=$(awk '/^p / {print $3}' "$work/soak.dat" 2> /dev/null || true)
quit_program
stop_pid "$sampler_pid"; sampler_pid=
sleep 0.2
stop_peer

echo "edits: $i, playback found stopped and restarted: $restarts times"
echo "song saved with F1 at the end: ${saved_notes:-no file} notes (at the start $start_notes), tempo ${saved_tempo:-?} BPM (at the start 140)"
echo "resident memory samples: VmRSS = anonymous + file-backed + shared (JACK's shared memory)"
awk '{printf "  %5d s %8d kB = %7d + %7d + %7d kB\n", $1, $2, $3, $4, $5}' "$work/rss.txt"
awk '
  { t[NR] = $1; kb[NR] = $2; anon[NR] = $3; file[NR] = $4; shm[NR] = $5 }
  END {
    if (NR < 2) { print "error: fewer than two memory samples"; exit 1 }
    m = 1
    for (i = 1; i <= NR; i++) if (t[i] <= 60) m = i
    if (t[m] < 50 && NR > m) m++
    printf "VmRSS at %d s: %d kB; at the end (%d s): %d kB; growth from minute 1 to the end: %+d kB\n",
      t[m], kb[m], t[NR], kb[NR], kb[NR] - kb[m]
    lo = hi = kb[m]
    for (i = m; i <= NR; i++) { if (kb[i] < lo) lo = kb[i]; if (kb[i] > hi) hi = kb[i] }
    printf "range after minute 1: %d .. %d kB; growth by part: anonymous %+d, file-backed %+d, shared %+d kB\n",
      lo, hi, anon[NR] - anon[m], file[NR] - file[m], shm[NR] - shm[m]
  }' "$work/rss.txt"
notes_ok=0
"$peer" pairs "$recording" || notes_ok=1
if [ "$notes_ok" -ne 0 ]; then echo "error: notes were left on"; exit 1; fi
