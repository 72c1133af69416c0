#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# Writes a dense project for the timing and soak scripts.
#   bench/app/make-dense-song.sh <project-file> <bpm> [midi-tracks]
# Session 0: all 12 tracks over steps 0..15 with a note on every step. Session 1: the same over
# steps 0..31 with other pitches and every fourth step left empty. The song is 0, 1.
# Tracks below midi-tracks (default 12) play on MIDI output 1, on channel = track number; the
# others on the internal synthesizer. Tracks 10 and 11 play at offsets 32 and 96 (of 128),
# the others at offset 0. Every third track holds its notes for a whole step (the next note
# of the same key ends it), the others for half a step or a little more.
set -euo pipefail
file=${1:?usage: make-dense-song.sh <project-file> <bpm> [midi-tracks]}
bpm=${2:?usage: make-dense-song.sh <project-file> <bpm> [midi-tracks]}
midi_tracks=${3:-12}
case "$bpm" in ''|*[!0-9]*) echo "error: bpm '$bpm' is not a whole number"; exit 1 ;; esac
case "$midi_tracks" in ''|*[!0-9]*) echo "error: midi-tracks '$midi_tracks' is not a whole number"; exit 1 ;; esac
if [ "$bpm" -lt 1 ] || [ "$bpm" -gt 255 ]; then echo "error: bpm must be 1..255"; exit 1; fi
if [ "$midi_tracks" -gt 12 ]; then echo "error: midi-tracks must be 0..12"; exit 1; fi

ext_reverb="60 105.737 1.68179 1.68179 2984.89 112.468 0 449.873 0 0.375 6"
ext_eq="1 0 0 0 0 0 0 0 0 0 0"
offset_of() { case $1 in 10) echo 32 ;; 11) echo 96 ;; *) echo 0 ;; esac; }
gate_of() { if [ $(( $1 % 3 )) -eq 0 ]; then echo "1 0"; else echo "0 $(( 64 + 8 * ($1 % 3) ))"; fi; }

{
  echo "p 9 $bpm 1 1 2 0 "
  echo "o 2 0 1"
  for t in $(seq 0 11); do
    output=0
    [ "$t" -lt "$midi_tracks" ] && output=1
    echo "i $t 100 0 100 64 $t $output 64 $t 0 20 0 50 90 0 3 20 3 8 0 0 $ext_reverb 0 $ext_eq 0 0 0 TimGM6mb.sf2 Acoustic_Grand_Piano"
  done
  for session in 0 1; do
    echo "s $session -1 0 0 0 0 0 0 0 0 0 0 0 0"
    last=$(( session == 0 ? 15 : 31 ))
    for t in $(seq 0 11); do
      echo "t $t 0 $last"
      offset=$(offset_of "$t")
      gate=$(gate_of "$t")
      for step in $(seq 0 "$last"); do
        [ "$session" -eq 1 ] && [ $(( step % 4 )) -eq 3 ] && continue
        note=$(( 36 + 3 * t + (step * (5 + session)) % 12 ))
        velocity=$(( 60 + (step * 7 + t * 5) % 60 ))
        echo "e $step $note $offset $velocity $gate"
      done
    done
  done
} > "$file"
