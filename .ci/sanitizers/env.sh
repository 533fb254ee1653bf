# Sanitizer run-time options for CI and for running tests by hand in
# build-asan or build-tsan:  source .ci/sanitizers/env.sh
grelk_suppressions="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
export ASAN_OPTIONS="detect_leaks=1:strict_init_order=1"
export LSAN_OPTIONS="suppressions=$grelk_suppressions/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:suppressions=$grelk_suppressions/ubsan.supp"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$grelk_suppressions/tsan.supp"
unset grelk_suppressions
