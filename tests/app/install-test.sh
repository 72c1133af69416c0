#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# install-test.sh <build-dir> [cmake]: installs into a staging folder, checks what a user gets
# and starts the installed program through the launcher as the menu does (needs the test servers).
set -euo pipefail
export JACK_NO_START_SERVER=1
BUILD=$(cd "${1:?build directory}" && pwd)
SRC=$(cd "$(dirname "$0")/../.." && pwd)
STAGE=$(mktemp -d "${TMPDIR:-/tmp}/zs-install-test.XXXXXX")
APP=
trap '[ -z "$APP" ] || kill "$APP" 2>/dev/null; rm -rf "$STAGE"' EXIT
failures=0
fail() { echo "error: $*"; failures=$((failures + 1)); }
cache() { sed -n "s/^$1:[A-Z]*=//p" "$BUILD/CMakeCache.txt"; }

PREFIX=$(cache CMAKE_INSTALL_PREFIX)
LAUNCHER_DIR=$(cache ZS_LAUNCHER_DIR)
ROOT=$STAGE/root
# A manifest left by an install as another user (e.g. through sudo) makes the install fail.
if ! DESTDIR=$ROOT "${2:-cmake}" --install "$BUILD" > "$STAGE/install.log" 2>&1; then
  cat "$STAGE/install.log"; echo "error: cmake --install failed"; exit 1
fi
P=$ROOT$PREFIX
SHARE=$ROOT$(cache ZS_DESKTOP_PREFIX)/share
LAUNCHER=$ROOT$LAUNCHER_DIR/ZembrovaneSequencer
DESKTOP=$SHARE/applications/zembrovane-sequencer.desktop
ICON=$SHARE/icons/hicolor/64x64/apps/zembrovane-sequencer.png
MANUAL=$SHARE/man/man1/ZembrovaneSequencer.1

for f in "$P/bin/ZembrovaneSequencer" "$P/bin/zembrovane-import" "$LAUNCHER"; do
  [ -x "$f" ] || fail "$f missing or not executable"
done
for f in plugins/Equalizer.so plugins/ReverbZitaRev1.so plugins/Limiter.so plugins/Outrigger.so \
         res/drawable/atlas.png res/drawable/icon.png demo/demo.dat demo/soundfonts.dat \
         man/man1/ZembrovaneSequencer.1 man/man1/zembrovane-import.1 Shaders/Shader{,2,3,4}.{vsh,fsh} \
         "$DESKTOP" "$ICON" "$MANUAL"; do
  case $f in /*) ;; *) f=$P/share/$f ;; esac
  [ -s "$f" ] || fail "$f missing or empty"
done
cmp -s "$ICON" "$BUILD/share/res/drawable/icon.png" || fail "menu icon differs from the window icon"
if grep -l '@ZS_[A-Z_]*@' "$LAUNCHER" "$DESKTOP" "$SHARE"/man/man1/*.1 "$P"/share/man/man1/*.1; then
  fail "install-time placeholders left in the files above"
fi
grep -q "^prefix=.*'$PREFIX'" "$LAUNCHER" || fail "launcher does not start the program in $PREFIX"
[ "$(readlink "$ROOT$LAUNCHER_DIR/zembrovane-import")" = "$PREFIX/bin/zembrovane-import" ] ||
  fail "no link to the importer in $LAUNCHER_DIR"

for key in "Icon=zembrovane-sequencer" "Exec=\"$LAUNCHER_DIR/ZembrovaneSequencer\""; do
  grep -qxF "$key" "$DESKTOP" || fail "menu entry lacks the line $key"
done
! command -v desktop-file-validate > /dev/null || desktop-file-validate "$DESKTOP" || fail "desktop-file-validate refused the menu entry"

# Every option of a program's usage text has an entry of its own.
for program in ZembrovaneSequencer zembrovane-import; do
  manual=$SHARE/man/man1/$program.1
  warnings=$(groff -man -ww -z "$manual" 2>&1) || fail "groff failed on $manual"
  [ -z "$warnings" ] || fail "groff warns about $manual: $warnings"
  usage=$("$P/bin/$program" 2>&1 < /dev/null || true)
  options=$(grep '^Usage:' <<< "$usage" | grep -o '\[-[a-z]' | tr -d '[-' | sort -u)
  [ -n "$options" ] || fail "no options found in the usage text of $program: $usage"
  for o in $options; do
    grep -q "^\.B[I]* \\\\-$o\b" "$manual" || fail "$manual has no entry for -$o"
  done
done

# The launcher with arguments: the program in the current folder.
export HOME=$STAGE/home ZEMBROVANE_SEQUENCER_PREFIX=$P
mkdir "$STAGE/work"
rc=0; out=$(cd "$STAGE/work" && "$LAUNCHER" -w 7 mysong 2>&1) || rc=$?
[ $rc -eq 255 ] || fail "launcher with a bad option gave status $rc, not 255"
grep -q "error: wallpaper number" <<< "$out" || fail "launcher did not pass the options on: $out"
[ ! -e "$HOME" ] || fail "launcher with arguments touched the songs folder"

# Without arguments: it seeds the songs folder and opens the demo.
set -a
# shellcheck disable=SC1090
. "${ZS_TEST_SERVERS_ENV:?no test servers}"
set +a
mkdir "$HOME"
SONGS=$HOME/ZembrovaneSequencer
LOG=$STAGE/program.log
before=$(xdotool search --name 'Zembrovane Sequencer' 2>/dev/null || true)
"$LAUNCHER" > "$LOG" 2>&1 &
APP=$!
win=
for _ in $(seq 600); do
  win=$(xdotool search --name 'Zembrovane Sequencer' 2>/dev/null | grep -vxF -e "${before:-none}" | head -n 1 || true)
  { [ -z "$win" ] && kill -0 "$APP" 2>/dev/null; } || break
  sleep 0.1
done
[ -n "$win" ] || { cat "$LOG"; echo "error: the installed program opened no window"; exit 1; }
# The program reads keys only once it has loaded the song, so ask again until it ends.
for _ in $(seq 20); do
  xdotool windowfocus "$win" 2>/dev/null || true
  xdotool keydown ctrl+shift+q sleep 0.25 keyup ctrl+shift+q
  for _ in $(seq 30); do kill -0 "$APP" 2>/dev/null || break 2; sleep 0.1; done
done
if kill -0 "$APP" 2>/dev/null; then fail "Ctrl+Shift+Q did not quit the program"; kill "$APP"; fi
rc=0; wait "$APP" || rc=$?
APP=
[ $rc -eq 0 ] || fail "program ended with status $rc after Ctrl+Shift+Q"
grep -q "opening song \"demo\" in $SONGS" "$LOG" || fail "launcher did not open the demo song"
grep -qx "1.0 /usr/share/sounds/sf2/TimGM6mb.sf2" "$SONGS/soundfonts.dat" || fail "seeded soundfonts.dat lacks TimGM6mb"
cmp -s "$SONGS/demo.dat" "$SRC/demo/demo.dat" || fail "demo song not copied into the songs folder"
if grep -iE 'error:.*(shader|texture|decoder|atlas|png|ladspa|plug|effect|limiter|reverb|equalizer)' "$LOG"; then
  fail "the installed program could not load its resources (above)"
fi
for effect in equalizer reverb limiter; do
  grep -q "sf 0 ladspa $effect activated with success" "$LOG" || fail "effect plug-in $effect not loaded"
done

# Again: it keeps the songs folder, opens the newest song, starts new songs.
# An empty soundfont list ends the program right after its start.
: > "$SONGS/soundfonts.dat"
cp "$SONGS/demo.dat" "$SONGS/mine.dat"
touch -d '1 hour ago' "$SONGS/demo.dat"
rc=0; out=$("$LAUNCHER" 2>&1) || rc=$?
grep -q 'opening song "mine"' <<< "$out" || fail "launcher did not open the newest song: $out"
grep -q 'error: no soundfont files in soundfonts.dat' <<< "$out" || fail "program did not read the kept soundfonts.dat"
[ $rc -eq 1 ] || fail "start-up failure gave status $rc, not 1"
[ ! -s "$SONGS/soundfonts.dat" ] || fail "launcher rewrote an existing soundfonts.dat"
out=$("$LAUNCHER" --new-song 2>&1 || true)
grep -qE 'opening song "song-[0-9]{4}-[0-9]{2}-[0-9]{2}-[0-9]{6}"' <<< "$out" ||
  fail "launcher --new-song did not name a new song: $out"

[ $failures -eq 0 ] || { echo "--- program log"; cat "$LOG"; echo "install test: $failures failure(s)"; exit 1; }
echo "install test: passed"
