#!/usr/bin/env bash
# Builds the fuzz targets (clang, build/fuzz) and runs each for the given number of seconds,
# starting from its corpus in fuzz/corpus/<target>. Inputs found on the way collect in
# build/fuzz/runs/<target>/corpus; an input that breaks a target is kept in
# build/fuzz/runs/<target>/findings and the script fails.
# Usage: fuzz/run.sh <seconds per target> [target...]   (targets: the names in fuzz/corpus/)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:?usage: fuzz/run.sh <seconds per target> [target...]}
shift
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for corpus in fuzz/corpus/*/; do targets+=("$(basename "$corpus")"); done
fi

build=build/fuzz
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DKOLVA_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" --target kolva_fuzz

export ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=print_stacktrace=1

failed=0
for target in "${targets[@]}"; do
    run=$build/runs/$target
    mkdir -p "$run/corpus" "$run/findings"
    dictionary=()
    [ -f "fuzz/$target.dict" ] && dictionary=("-dict=fuzz/$target.dict")
    # ASan's quarantine and allocator caches keep a long run near 1 GB: not a leak.
    if "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -max_len=1024 -timeout=10 \
        -rss_limit_mb=4096 -print_final_stats=1 "${dictionary[@]}" \
        -artifact_prefix="$run/findings/" "$run/corpus" "fuzz/corpus/$target" >"$run/log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$run/log")
        echo "fuzz_$target: ${runs:-?} inputs in ${seconds} s, no finding"
    else
        failed=1
        tail -n 40 "$run/log"
        echo "fuzz_$target: FINDING in $run/findings/ (replay: $build/fuzz/fuzz_$target <file>)"
    fi
done
exit $failed
