#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# Screenshots of the editor screen under Xvfb: every subpage, all tracks, help, pitch black,
# a wallpaper. The built program runs on a copy of the demo song and is driven by held keys.
# Usage: tests/e2e/editor-screenshots.sh <build-dir> [output-dir]
# Pictures go to <build-dir>/test-artifacts/editor-screens/ unless an output dir is given.
set -euo pipefail
SRC=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=$(cd "${1:?build directory}" && pwd)
OUT=${2:-$BUILD/test-artifacts/editor-screens}
mkdir -p "$OUT"
PROGRAM=$BUILD/bin/ZembrovaneSequencer
[ -x "$PROGRAM" ] || { echo "error: $PROGRAM not built"; exit 1; }

# A display number nobody uses.
N=150
while [ -e /tmp/.X$N-lock ] || [ -e /tmp/.X11-unix/X$N ]; do N=$((N + 1)); done
Xvfb :$N -screen 0 800x600x24 >/dev/null 2>&1 &
XVFB=$!
WORK=$(mktemp -d)
APP=
cleanup() {
  [ -n "$APP" ] && kill "$APP" 2>/dev/null || true
  kill "$XVFB" 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT
export DISPLAY=:$N
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

# A key held as a person holds it, so the program sees its pressed edge; press and release come
# from one xdotool process, so a loaded machine cannot stretch the hold into auto-repeat.
press() { xdotool keydown "$1" sleep 0.1 keyup "$1"; sleep 0.25; }
shot() { sleep 0.3; xwd -root -silent | convert xwd:- "$OUT/$1.png"; echo "$OUT/$1.png"; }

start() {
  cp "$SRC"/demo/* "$WORK"/
  (cd "$WORK" && exec "$PROGRAM" "$@" demo >"$OUT/program.log" 2>&1) &
  APP=$!
  local win
  win=$(xdotool search --sync --name "Zembrovane Sequencer" | head -1)
  xdotool windowfocus --sync "$win" 2>/dev/null || true
  sleep 1.5
}
stop() {
  xdotool keydown ctrl+shift+q sleep 0.1 keyup ctrl+shift+q
  for _ in $(seq 30); do kill -0 "$APP" 2>/dev/null || break; sleep 0.1; done
  kill "$APP" 2>/dev/null || true
  wait "$APP" 2>/dev/null || true
  APP=
}

start
press shift+3                       # the chords track
shot 1-step-edit
press F11
shot 1-step-edit-all-tracks
press F11
press ctrl+2; shot 2-sessions
press ctrl+3; shot 3-instruments
press ctrl+4; shot 4-scales
press ctrl+5; press space; shot 5-mixer-playing; press space
press ctrl+6; shot 6-reverb-chorus
press ctrl+7; shot 7-external-reverb
press ctrl+8; shot 8-external-equalizer
press ctrl+1; press F10; shot help-page-1
press alt+3; shot help-page-3
press F10; press alt+1
press F9; shot pitch-black
press F9
stop

start -w 2
shot 1-step-edit-wallpaper-2
stop

start -w 5                          # wallpapers 4 to 6 show only behind pitch black
shot 1-step-edit-wallpaper-5
press F9; shot pitch-black-wallpaper-5
stop
