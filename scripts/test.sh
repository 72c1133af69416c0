#!/usr/bin/env bash
# Installs the dependencies, builds everything and runs every test (unit, integration, e2e),
# then fuzzes the project file loader for a minute under AddressSanitizer and UBSan.
# Extra arguments go to ctest, e.g. scripts/test.sh -L unit (the fuzzing is then skipped).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja
cmake --build build -j"$(nproc)"
ctest --test-dir build --output-on-failure -j2 "$@"
if [ "$#" -eq 0 ]; then
  tools/fuzz/run-project-fuzz.sh 60 build-fuzz
fi
