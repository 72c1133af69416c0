#!/bin/bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# Real-time factor of our three effects beside Debian's tap-plugins and swh-plugins, measured by
# the shared ladspa-bench tool in one interleaved run (median of REPS runs per configuration).
#
# usage: bench/plugins/run-ladspa-bench.sh [BUILD_DIR] [OUTDIR]
#   BUILD_DIR  the build tree holding share/plugins/*.so (default: build)
#   OUTDIR     where the tool is built and results go (default: BUILD_DIR/ladspa-bench)
# env: REPS (3), SECS (20 s of noise), SIL (120 s of silence), BENCH_SRC (the tool's sources,
#      default ../shared/tools/ladspa-bench beside the repository)
# Peers that are not installed (apt-get install tap-plugins swh-plugins) are skipped.
set -u
here=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$here/build}" && pwd) || { echo "error: no build directory ${1:-$here/build}"; exit 1; }
out=${2:-$build/ladspa-bench}
src=${BENCH_SRC:-$here/../shared/tools/ladspa-bench}
REPS=${REPS:-3}; SECS=${SECS:-20}; SIL=${SIL:-120}
plugins=$build/share/plugins

if [ ! -f "$src/ladspa-bench.c" ]; then echo "error: ladspa-bench sources not found in $src"; exit 1; fi
mkdir -p "$out"
# The shared folder is read-only: build a copy.
cp "$src/ladspa-bench.c" "$out/"
cc -O2 -Wall -Wextra -std=c11 -o "$out/ladspa-bench" "$out/ladspa-bench.c" -ldl -lm || exit 1

bands=("31 Hz" "63 Hz" "125 Hz" "250 Hz" "500 Hz" "1 kHz" "2 kHz" "4 kHz" "8 kHz" "16 kHz")
eq10=(); for i in "${!bands[@]}"; do eq10+=(--set "${bands[$i]}=$(( i % 2 ? -6 : 6 ))"); done
tapeq=(); for k in 1 2 3 4 5 6 7 8; do tapeq+=(--set "Band $k Gain [dB]=$(( k % 2 ? 6 : -6 ))"); done

# name|library|label, then the arguments of that configuration in an array named args_<n>
configs=(
  "ours Reverb (reverb_zita_rev1), chain defaults|$plugins/ReverbZitaRev1.so|reverb_zita_rev1"
  "TAP Reverberator (tap_reverb), default|tap_reverb.so|tap_reverb"
  "SWH GVerb (gverb), default|gverb_1216.so|gverb"
  "SWH plate, default|plate_1423.so|plate"
  "ours Equalizer, every band +-6 dB|$plugins/Equalizer.so|zembrovane_equalizer_10_band_stereo"
  "ours Equalizer, flat|$plugins/Equalizer.so|zembrovane_equalizer_10_band_stereo"
  "tap_equalizer, bands +-6 dB|tap_eq.so|tap_equalizer"
  "tap_equalizer, flat|tap_eq.so|tap_equalizer"
  "SWH mbeq, flat|mbeq_1197.so|mbeq"
  "ours Limiter, -6 dB|$plugins/Limiter.so|zembrovane_hard_limiter_stereo"
  "SWH fastLookaheadLimiter, -6 dB|fast_lookahead_limiter_1913.so|fastLookaheadLimiter"
  "tap_limiter, -6 dB|tap_limiter.so|tap_limiter"
  "SWH hardLimiter (a clipper), -6 dB|hard_limiter_1413.so|hardLimiter"
)
args_0=(--set "Level=6")
args_4=("${eq10[@]}")
args_6=("${tapeq[@]}")
args_9=(--set "Ceiling=-6")
args_10=(--set "Limit (dB)=-6")
args_11=(--set "Limit Level [dB]=-6")
args_12=(--set "dB limit=-6")

found() { [[ $1 == /* ]] && [ -f "$1" ] || [ -f "/usr/lib/ladspa/$1" ] || [ -f "/usr/local/lib/ladspa/$1" ]; }

raw=$out/raw.txt; : > "$raw"
for rep in $(seq "$REPS"); do
  for i in "${!configs[@]}"; do
    IFS='|' read -r name lib label <<< "${configs[$i]}"
    found "$lib" || { [ "$rep" = 1 ] && echo "skipped (not installed): $name"; continue; }
    declare -n extra="args_$i" 2>/dev/null
    [ -v "args_$i" ] || extra=()
    for block in 128 1024; do
      line=$("$out/ladspa-bench" "$lib" "$label" --block $block --inplace --seconds "$SECS" --silence "$SIL" \
             "${extra[@]}" | grep '^RESULT')
      echo "name=\"$name\" rep=$rep $line" >> "$raw"
    done
    unset -n extra
  done
done

python3 - "$raw" <<'PY'
import re, sys, statistics as st
rows = {}
for line in open(sys.argv[1]):
    name = re.search(r'name="([^"]*)"', line).group(1)
    kv = dict(re.findall(r'(\w+)=([^\s"]+)', line))
    rows.setdefault(name, {}).setdefault(kv.get('block'), []).append(kv)
print("| plug-in, setting | block 128: real-time factor / ns per stereo frame | block 1024 | silence worst 1 s / noise | in place same as separate |")
print("|---|---|---|---|---|")
def cell(rs):
    if not rs: return "-"
    return f"{st.median(float(r['rtf']) for r in rs):.0f}x / {st.median(float(r['nsf']) for r in rs):.1f}"
for name, by in rows.items():
    r128, r1k = by.get('128', []), by.get('1024', [])
    sil = st.median(float(r['sil_worst_nsf']) / float(r['nsf']) for r in r128) if r128 else float('nan')
    ok = "yes" if all(r.get('check') == 'OK' for r in r128 + r1k) else "no"
    print(f"| {name} | {cell(r128)} | {cell(r1k)} | {sil:.2f} | {ok} |")
PY
