#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite headless; then the same suite again under
# AddressSanitizer and UndefinedBehaviorSanitizer, then a short fuzzing run of the rules.
# Stops at the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

# suite <build dir> <cmake options...>: configures, builds and runs every test there is.
suite() {
    local build=$1
    shift
    cmake -S . -B "$build" -G Ninja -DBUILD_TESTING=ON -DCMAKE_COMPILE_WARNING_AS_ERROR=ON "$@"
    cmake --build "$build" --parallel "$(nproc)"
    QT_QPA_PLATFORM=offscreen ctest --test-dir "$build" --output-on-failure -j "$(nproc)" \
        --output-log "$build/ctest.log"
}

suite build/test -DCMAKE_BUILD_TYPE=RelWithDebInfo

# Any memory error, leak or undefined behaviour fails the test it happens in. The benchmark
# programs judge nothing, so they are not built here.
(
    ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:detect_stack_use_after_return=1
    export ASAN_OPTIONS=$ASAN_OPTIONS:check_initialization_order=1:strict_init_order=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    export LSAN_OPTIONS=suppressions=$PWD/tests/sanitizer/lsan.supp:print_suppressions=0
    suite build/asan -DCMAKE_BUILD_TYPE=Debug -DKOLVA_SANITIZE=ON -DKOLVA_BENCH=OFF
)

scripts/fuzz.sh 40

# CI reads ctest's closing lines, so both suites' summaries come last.
echo "Summary of the suite, plain and then sanitized:"
grep -h -E '^[0-9]+% tests passed|^Total Test time' build/test/ctest.log build/asan/ctest.log
