# SPDX-License-Identifier: LGPL-2.1-or-later
# Run-time options for the sanitized builds (build-asan, build-tsan); source it before running
# their tests or program:   . tools/sanitizers/env.sh
# Every finding ends the process with a non-zero status. The suppression files beside this one
# cover third-party libraries only.
zs_sanitizers_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1"
export LSAN_OPTIONS="suppressions=$zs_sanitizers_dir/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="suppressions=$zs_sanitizers_dir/tsan.supp:print_suppressions=0:second_deadlock_stack=1"
unset zs_sanitizers_dir
