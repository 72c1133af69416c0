#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# test-servers.sh start|stop DIR: an Xvfb display and a JACK dummy server with ALSA routed into
# it; start writes DIR/env (sourceable) and DIR/pids, stop ends exactly the recorded processes.
set -u
cmd=${1:?start|stop}
dir=${2:?directory}
here=$(cd "$(dirname "$0")" && pwd)

# A pid left from an earlier run may belong to another program by now.
ours() {
  [ -n "$1" ] && [ -r "/proc/$1/stat" ] || return 1
  read -r _ comm state _ < "/proc/$1/stat" 2>/dev/null || return 1
  [ "$state" != Z ] && { [ "$comm" = "(Xvfb)" ] || [ "$comm" = "(jackd)" ]; }
}

stop() {
  [ -f "$dir/pids" ] || return 0
  pids=$(while read -r pid; do if ours "$pid"; then echo "$pid"; fi; done < "$dir/pids")
  for pid in $pids; do kill "$pid" 2>/dev/null; done
  # jackd removes its shared memory and semaphores on the way out.
  for _ in $(seq 50); do
    alive=$(for pid in $pids; do if ours "$pid"; then echo "$pid"; fi; done)
    [ -z "$alive" ] && break
    sleep 0.1
  done
  for pid in $alive; do kill -9 "$pid" 2>/dev/null; done
  rm -f "$dir/pids" "$dir/env"
}

case "$cmd" in
start)
  stop
  mkdir -p "$dir"
  : > "$dir/pids"
  exec 3> "$dir/display"
  setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset > "$dir/xvfb.log" 2>&1 < /dev/null &
  echo $! >> "$dir/pids"
  exec 3>&-
  for _ in $(seq 300); do [ -s "$dir/display" ] && break; sleep 0.1; done
  display=":$(head -n1 "$dir/display" | tr -d '[:space:]')"
  if [ "$display" = ":" ]; then echo "error: Xvfb did not start"; cat "$dir/xvfb.log"; exit 1; fi

  sed "s|@ALSA_CONF@|/usr/share/alsa/alsa.conf|" "$here/asound.conf.in" > "$dir/asound.conf"
  # JACK's table of eight servers frees an entry only when a server of the same name starts
  # again after its owner died: names from a small pool keep killed runs from filling it.
  exec 9> /tmp/zs-test-servers-jack.lock
  flock 9
  ok=0
  for slot in 0 1 2 3 4 5 6 7; do
    jack_name="zs_test_slot_$slot"
    if JACK_NO_START_SERVER=1 JACK_DEFAULT_SERVER=$jack_name jack_lsp > /dev/null 2>&1; then continue; fi
    JACK_DEFAULT_SERVER=$jack_name setsid jackd --no-realtime -d dummy -r 44100 -p 128 \
      > "$dir/jackd.log" 2>&1 < /dev/null 9>&- &
    jack_pid=$!
    for _ in $(seq 300); do
      if JACK_NO_START_SERVER=1 JACK_DEFAULT_SERVER=$jack_name jack_lsp > /dev/null 2>&1; then ok=1; break; fi
      kill -0 "$jack_pid" 2>/dev/null || break
      sleep 0.1
    done
    if [ $ok -eq 1 ]; then echo "$jack_pid" >> "$dir/pids"; break; fi
    kill "$jack_pid" 2>/dev/null
    wait "$jack_pid" 2>/dev/null
  done
  exec 9>&-
  if [ $ok -ne 1 ]; then echo "error: jackd did not start"; cat "$dir/jackd.log"; stop; exit 1; fi
  cat > "$dir/env" <<ENV
DISPLAY=$display
JACK_DEFAULT_SERVER=$jack_name
ALSA_CONFIG_PATH=$dir/asound.conf
ENV
  echo "test servers: DISPLAY=$display JACK_DEFAULT_SERVER=$jack_name"
  ;;
stop)
  stop
  echo "test servers stopped"
  ;;
*)
  echo "usage: $0 start|stop DIR"; exit 2 ;;
esac
