#!/usr/bin/env bash
# Installs the dependencies, builds everything and runs every test (unit, integration, e2e),
# then fuzzes the project file loader for a minute under AddressSanitizer and UBSan.
# Extra arguments go to ctest, e.g. scripts/test.sh -L unit (the fuzzing is then skipped).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja
cmake --build build -j"$(nproc)"
log=build/ctest-summary.log
ctest --test-dir build --output-on-failure -j2 "$@" 2>&1 | tee "$log"
if [ "$#" -eq 0 ]; then
  tools/fuzz/run-project-fuzz.sh 60 build-fuzz
  echo "fuzzing: no finding in 60 s"
fi
# Repeat ctest's count last, so the summary is the closing line whatever ran after it.
total=$(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -n1)
failed=$(sed -n 's/.* \([0-9]*\) tests failed out of .*/\1/p' "$log" | tail -n1)
echo "tests: $((total - failed)) passed, $failed failed"
