# SPDX-License-Identifier: LGPL-2.1-or-later
# Shared by run-midi-timing.sh and run-soak.sh (sourced, not run): an Xvfb display and a JACK
# dummy server of their own, the MIDI peer, the program, key presses. Every process started
# here is recorded and stopped by its pid in stop_everything; nothing is stopped by name.
#
# The caller sets: src (source tree), build (build tree), work (scratch folder), and calls
# check_tools, start_servers <period>, start_peer <client> <file>, start_program <args...>,
# wait_until_ready, then keys ... and quit_program / stop_peer, and stop_everything from its
# EXIT trap.

program=
peer=
xvfb_pid=
jackd_pid=
peer_pid=
program_pid=
window=

check_tools() {
  program=$build/bin/ZembrovaneSequencer
  peer=$build/bench/zs_midi_peer
  [ -x "$program" ] || { echo "error: $program is not built"; exit 1; }
  [ -x "$peer" ] || { echo "error: $peer is not built (target zs_midi_peer)"; exit 1; }
  local tool
  for tool in Xvfb jackd jack_lsp xdotool flock stdbuf; do
    command -v "$tool" > /dev/null || { echo "error: $tool is not installed"; exit 1; }
  done
  [ -r /usr/share/sounds/sf2/TimGM6mb.sf2 ] || { echo "error: /usr/share/sounds/sf2/TimGM6mb.sf2 is missing (timgm6mb-soundfont)"; exit 1; }
}

# Stops one of our processes: TERM, up to 5 s for it to go, then KILL.
stop_pid() {
  local pid=$1
  [ -n "$pid" ] || return 0
  kill "$pid" 2> /dev/null || return 0
  local i
  for i in $(seq 50); do
    kill -0 "$pid" 2> /dev/null || break
    sleep 0.1
  done
  kill -9 "$pid" 2> /dev/null || true
  wait "$pid" 2> /dev/null || true
}

stop_everything() {
  stop_pid "$program_pid"; program_pid=
  stop_pid "$peer_pid"; peer_pid=
  # jackd removes its shared memory on the way out; stop_pid gives it the time.
  stop_pid "$jackd_pid"; jackd_pid=
  stop_pid "$xvfb_pid"; xvfb_pid=
}

# JACK keeps eight server slots in /dev/shm/jack-shm-registry. A server that was killed leaves
# its slot taken, and the slot is given back only to a new server of the same name; once all
# eight are taken no server starts. The name of a dead server (its pid gone) is printed here.
stale_jack_name() {
  local registry=/dev/shm/jack-shm-registry i offset pid name
  [ -r "$registry" ] || return 1
  # Header: magic, protocol, type, size, header length (24 + 8 slots of 264 bytes), entry length.
  [ "$(od -An -t d4 -j 16 -N 4 "$registry" | tr -d ' ')" = 2136 ] || return 1
  for i in $(seq 0 7); do
    offset=$((24 + 264 * i))
    pid=$(od -An -t d4 -j "$offset" -N 4 "$registry" | tr -d ' ')
    [ "$pid" -gt 0 ] 2> /dev/null || continue
    [ -e "/proc/$pid" ] && continue
    name=$(dd if="$registry" bs=1 skip=$((offset + 4)) count=256 2> /dev/null | tr -d '\0')
    name=${name#*:}  # "jack-<uid>:<server>:"
    name=${name%:}
    if [ -n "$name" ]; then echo "$name"; return 0; fi
  done
  return 1
}

start_jackd() {  # server-name period scheduling; jackd_pid stays empty when it did not start
  local i
  export JACK_DEFAULT_SERVER=$1
  jackd_pid=
  setsid jackd "$3" -d dummy -r 44100 -p "$2" > "$work/jackd.log" 2>&1 < /dev/null 9>&- &
  local pid=$!
  for i in $(seq 300); do
    if jack_lsp > /dev/null 2>&1; then jackd_pid=$pid; return 0; fi
    kill -0 "$pid" 2> /dev/null || break
    sleep 0.1
  done
  stop_pid "$pid"
  return 1
}

# Xvfb picks a free display itself; JACK gets a name nobody else uses; ALSA's default PCM plays
# into that JACK server, so the synthesizer runs in real time as it would on a sound card.
# JACK runs without real-time scheduling unless "realtime" is given.
start_servers() {  # period [realtime]
  local period=$1 scheduling=--no-realtime i
  [ "${2:-}" = realtime ] && scheduling=--realtime
  exec 3> "$work/display"
  setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset > "$work/xvfb.log" 2>&1 < /dev/null 9>&- &
  xvfb_pid=$!
  exec 3>&-
  for i in $(seq 300); do [ -s "$work/display" ] && break; sleep 0.1; done
  [ -s "$work/display" ] || { echo "error: Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }
  export DISPLAY=":$(head -n1 "$work/display" | tr -d '[:space:]')"

  start_jackd "zs_bench_$$_$RANDOM" "$period" "$scheduling" || true
  if [ -z "$jackd_pid" ] && grep -q 'Too many servers' "$work/jackd.log"; then
    local stale
    stale=$(stale_jack_name || true)
    if [ -n "$stale" ]; then
      echo "note: all JACK server slots are taken; reusing the slot of the dead server '$stale'"
      start_jackd "$stale" "$period" "$scheduling" || true
    fi
  fi
  [ -n "$jackd_pid" ] || { echo "error: jackd did not start"; cat "$work/jackd.log"; exit 1; }
  sed "s|@ALSA_CONF@|/usr/share/alsa/alsa.conf|" "$src/tests/support/asound.conf.in" > "$work/asound.conf"
  export ALSA_CONFIG_PATH=$work/asound.conf
  echo "servers: DISPLAY=$DISPLAY JACK_DEFAULT_SERVER=$JACK_DEFAULT_SERVER (jackd $scheduling, period $period frames at 44100 Hz)"
}

start_peer() {  # client-name recording-file [--cycles]
  "$peer" record "$1" "$2" ${3:-} > "$work/peer.log" 2>&1 < /dev/null 9>&- &
  peer_pid=$!
  local i
  for i in $(seq 100); do
    grep -q '^ready' "$work/peer.log" && return 0
    kill -0 "$peer_pid" 2> /dev/null || break
    sleep 0.1
  done
  echo "error: the MIDI peer did not start"
  cat "$work/peer.log"
  exit 1
}

stop_peer() {
  [ -n "$peer_pid" ] || return 0
  kill -TERM "$peer_pid" 2> /dev/null || true
  wait "$peer_pid" 2> /dev/null || true
  peer_pid=
}

start_program() {  # program arguments
  (cd "$work" && exec stdbuf -oL "$program" "$@" > "$work/program.log" 2>&1 < /dev/null 9>&-) &
  program_pid=$!
}

sequencer_tid() {
  grep -l '^zs-sequencer$' /proc/"$program_pid"/task/*/comm 2> /dev/null | head -n1 | cut -d/ -f5 || true
}

# The window exists, the synthesizer's ALSA stream plays into JACK, the sequencer thread reads
# the keys and the first MIDI output is open.
wait_until_ready() {
  local i ports
  window=
  for i in $(seq 300); do
    if ! kill -0 "$program_pid" 2> /dev/null; then
      echo "error: the program ended during start-up"; cat "$work/program.log"; exit 1
    fi
    [ -n "$window" ] || window=$(xdotool search --name 'Zembrovane Sequencer' 2> /dev/null | tail -n1 || true)
    ports=$(jack_lsp 2> /dev/null | grep -c "\.$program_pid\..*:out_" || true)
    if [ -n "$window" ] && [ "$ports" -ge 2 ] && [ -n "$(sequencer_tid)" ]; then break; fi
    sleep 0.1
  done
  if [ -z "$window" ] || [ -z "$(sequencer_tid)" ]; then
    echo "error: the program did not become ready within 30 s"; cat "$work/program.log"; exit 1
  fi
  if ! grep -q '^Selected midi output 0' "$work/program.log"; then
    echo "error: the program did not open the MIDI peer as its first output"; cat "$work/program.log"; exit 1
  fi
  # The window can be found before it is mapped, when focusing it fails: keys would then go
  # nowhere. Try until the server reports it focused.
  for i in $(seq 50); do
    xdotool windowfocus --sync "$window" > /dev/null 2>&1 || true
    [ "$(xdotool getwindowfocus 2> /dev/null || true)" = "$window" ] && return 0
    sleep 0.2
  done
  echo "error: the program's window did not take the keyboard focus"; exit 1
}

# Holds the keys a quarter of a second: the program takes a key as pressed when one of its
# frames finds it down, and a press and release within one frame would be missed.
keys() {
  local k
  for k in "$@"; do
    xdotool keydown "$k"
    sleep 0.25
    xdotool keyup "$k"
    sleep 0.1
  done
}

# Left Ctrl held, then K and a letter tapped: a block command.
ctrl_k() {
  xdotool keydown ctrl
  sleep 0.1
  keys k "$1"
  xdotool keyup ctrl
  sleep 0.1
}

quit_program() {
  [ -n "$program_pid" ] || return 0
  keys ctrl+shift+q
  local i
  for i in $(seq 200); do
    kill -0 "$program_pid" 2> /dev/null || break
    sleep 0.1
  done
  if kill -0 "$program_pid" 2> /dev/null; then
    echo "error: the program did not quit within 20 s after Ctrl+Shift+Q; stopping it"
    stop_pid "$program_pid"
  else
    wait "$program_pid" 2> /dev/null || true
  fi
  program_pid=
}

vm_rss_kb() { awk '/^VmRSS:/ {print $2}' "/proc/$program_pid/status" 2> /dev/null || echo 0; }

# VmRSS and its parts: anonymous (heap), file-backed (code, mapped files), shared memory (JACK).
rss_parts_kb() {
  awk '/^(VmRSS|RssAnon|RssFile|RssShmem):/ {v[$1] = $2}
       END {print v["VmRSS:"] + 0, v["RssAnon:"] + 0, v["RssFile:"] + 0, v["RssShmem:"] + 0}' \
    "/proc/$program_pid/status" 2> /dev/null || echo "0 0 0 0"
}

thread_ticks() { awk '{print $14 + $15}' "/proc/$program_pid/task/$1/stat" 2> /dev/null || echo 0; }

# Overruns the JACK dummy driver has reported so far (it counts a cycle that starts late as one
# and restarts its schedule from there).
jack_xruns() { grep -c 'JackTimedDriver::Process XRun' "$work/jackd.log" 2> /dev/null || true; }
