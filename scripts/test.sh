#!/usr/bin/env bash
# Installs the dependencies, builds everything and runs every test (unit, integration, e2e).
# Extra arguments go to ctest, e.g. scripts/test.sh -L unit
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja
cmake --build build -j"$(nproc)"
ctest --test-dir build --output-on-failure -j2 "$@"
