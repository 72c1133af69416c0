#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# Installs the dependencies, builds everything and runs every test (unit, integration, e2e),
# fuzzes the project file loader for a minute under AddressSanitizer and UBSan, then runs the
# unit and integration tests again built with AddressSanitizer and UBSan (build-asan) and one
# end-to-end scenario with ThreadSanitizer (build-tsan).
# Extra arguments go to ctest, e.g. scripts/test.sh -L unit (fuzzing and sanitizer runs are
# then skipped). Any failing stage fails the script; the last line counts every ctest run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja
cmake --build build -j"$(nproc)"

failed_stages=()
passed=0
failed=0
# run_ctest <log> <command...>: one ctest run; its counts go into the totals.
run_ctest() {
  local log=$1
  shift
  if ! "$@" 2>&1 | tee "$log"; then failed_stages+=("$log"); fi
  local counts
  counts=$(sed -n 's/.* \([0-9]*\) tests failed out of \([0-9]*\).*/\1 \2/p' "$log" | tail -n1)
  if [ -z "$counts" ]; then
    echo "error: no test ran ($log)"
    failed_stages+=("$log")
    return
  fi
  read -r f t <<< "$counts"
  passed=$((passed + t - f))
  failed=$((failed + f))
}

# A test that fails gets one more run: the JACK client library on the shared dummy server has been
# seen to lose a wake-up or abort a client ("Jack::MidiBufferMixdown - invalid source buffer")
# under load; a fault that shows every time still fails.
repeat=(--repeat until-pass:2)
run_ctest build/ctest-summary.log ctest --test-dir build --output-on-failure -j2 "${repeat[@]}" "$@"

if [ "$#" -eq 0 ]; then
  if tools/fuzz/run-project-fuzz.sh 60 build-fuzz; then
    echo "fuzzing: no finding in 60 s"
  else
    failed_stages+=(fuzzing)
  fi

  # Sanitizer run-time options and the third-party suppressions.
  . tools/sanitizers/env.sh

  # AddressSanitizer + UBSan: the unit and integration tests. The e2e folder is left out of
  # this build; its tests run in the other builds.
  test_dirs=()
  for list in tests/*/CMakeLists.txt; do
    dir=$(basename "$(dirname "$list")")
    [ "$dir" = e2e ] || test_dirs+=("$dir")
  done
  if cmake -S . -B build-asan -G Ninja -DZS_SANITIZE=address,undefined -DZS_BUILD_BENCH=OFF \
       "-DZS_TEST_DIRS=$(IFS=';'; echo "${test_dirs[*]}")" && cmake --build build-asan -j"$(nproc)"; then
    # outrigger_needs_only_libc checks the plug-in's link dependencies, and a sanitized build
    # links the sanitizer run-times into it by design.
    run_ctest build-asan/ctest-summary.log ctest --test-dir build-asan --output-on-failure -j2 "${repeat[@]}" \
      -L 'unit|integration' -E '^outrigger_needs_only_libc$|^render_gl_tests\.RenderGL\.'
    # Mesa unloads its llvmpipe driver at eglTerminate, and LeakSanitizer then finds the
    # driver's never-freed blocks with no module left to name in their stacks. Loaded from the
    # start, the driver stays, its blocks stay reachable, and the leak check stays on.
    mesa_driver=$(ls /usr/lib/*/dri/swrast_dri.so 2>/dev/null | head -n1)
    run_ctest build-asan/ctest-gl.log env LD_PRELOAD="$mesa_driver" \
      ASAN_OPTIONS="$ASAN_OPTIONS:verify_asan_link_order=0" \
      ctest --test-dir build-asan --output-on-failure -R '^render_gl_tests\.RenderGL\.'
  else
    failed_stages+=(build-asan)
  fi

  # ThreadSanitizer: the program plays the demo, records, saves and quits.
  if cmake -S . -B build-tsan -G Ninja -DZS_SANITIZE=thread -DZS_BUILD_BENCH=OFF &&
     cmake --build build-tsan -j"$(nproc)" --target e2e_program; then
    run_ctest build-tsan/ctest-summary.log ctest --test-dir build-tsan --output-on-failure \
      -R '^e2e_program\.ProgramTest\.SpacePlaysTheDemoF1SavesAndCtrlShiftQQuits$'
  else
    failed_stages+=(build-tsan)
  fi
fi

if [ "${#failed_stages[@]}" -gt 0 ]; then echo "failed: ${failed_stages[*]}"; fi
# The summary is the closing line whatever ran before it.
echo "tests: $passed passed, $failed failed"
[ "${#failed_stages[@]}" -eq 0 ]
