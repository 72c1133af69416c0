#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# Prints how long the tests are against the code they test, in non-blank lines of tracked files:
# T (every text file under tests/), C (.c .cpp .h .hpp .sh .py outside tests/ and bench/) and
# T / (T + C), which is meant to stay at or below 0.33.
set -euo pipefail
cd "$(dirname "$0")/.."
count() { xargs -r grep -Ivc '^\s*$' | awk -F: '{s += $NF} END {print s + 0}'; }
t=$(git ls-files tests | count)
c=$(git ls-files | grep -Ev '^(tests|bench)/' | grep -E '\.(c|cpp|h|hpp|sh|py)$' | count)
awk -v t="$t" -v c="$c" 'BEGIN {printf "T %d\nC %d\nT/(T+C) %.4f\n", t, c, t / (t + c)}'
