#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# Fuzzes the project file loader with libFuzzer under AddressSanitizer and
# UndefinedBehaviorSanitizer for the given number of seconds; exits non-zero on a finding
# (the crashing input is left in the build directory as crash-*).
#
#   tools/fuzz/run-project-fuzz.sh <seconds> [build-dir]
#
# Needs clang (Debian's clang package). The sanitized build goes to build-fuzz/ beside the
# sources unless a build directory is given. Set ZS_BUILD_LOCK to a lock file to serialise the
# compile step with other builds (flock).
set -euo pipefail
seconds=${1:?usage: run-project-fuzz.sh <seconds> [build-dir]}
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(realpath -m "${2:-$root/build-fuzz}")

lock=()
if [[ -n "${ZS_BUILD_LOCK:-}" ]]; then lock=(flock "$ZS_BUILD_LOCK"); fi

"${lock[@]}" cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZS_SANITIZE=address,undefined \
  "-DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link -fno-sanitize-recover=undefined" \
  -DZS_BUILD_FUZZERS=ON -DBUILD_TESTING=OFF -DZS_BUILD_BENCH=OFF >/dev/null
"${lock[@]}" cmake --build "$build" --target project_load_fuzzer

corpus=$build/fuzz/project-corpus
mkdir -p "$corpus"
export ZS_FUZZ_ALSA_CONFIG=$root/tests/support/asound-no-device.conf
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
cd "$build"
# -close_fd_mask=1 keeps the loader's messages for damaged lines off the terminal.
"$build/bin/project_load_fuzzer" -max_total_time="$seconds" -close_fd_mask=1 -max_len=16384 \
  -timeout=20 -print_final_stats=1 "$corpus" "$root/tools/fuzz/project-seeds" &
fuzzer=$!
rc=0
wait "$fuzzer" || rc=$?
# The fuzzer keeps its scratch files in a folder named after its pid.
rm -rf "/dev/shm/zs-project-fuzz-$fuzzer" "/tmp/zs-project-fuzz-$fuzzer"
exit "$rc"
