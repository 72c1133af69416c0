#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# Installs the dependencies, builds the sequencer and starts it on the demo song.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja
cmake --build build -j"$(nproc)" --target ZembrovaneSequencer
cd demo
exec ../build/bin/ZembrovaneSequencer "$@" demo
