#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# Installs every Debian package the sequencer, its plug-ins, tests and benchmarks need.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  libfluidsynth-dev librtmidi-dev libjack-jackd2-dev libx11-dev libxtst-dev libegl-dev libgles-dev libglm-dev liblodepng-dev
  ladspa-sdk googletest libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xdotool x11-xkb-utils x11-apps imagemagick
  jackd2 jack-capture libasound2-plugins timgm6mb-soundfont
  clang libclang-rt-14-dev desktop-file-utils groff-base
  dragonfly-reverb-vst dpf-plugins-vst
)

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# jackd2 asks whether to enable real-time scheduling; the answer does not matter for us.
echo "jackd2 jackd/tweak_rt_limits boolean false" | $sudo debconf-set-selections 2>/dev/null || true
$sudo apt-get update -qq
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
