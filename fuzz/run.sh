#!/usr/bin/env bash
# Builds the fuzz targets (clang, build/fuzz) and runs each for the given number of seconds from
# its seeds in fuzz/corpus/<target>. What a run finds collects in build/fuzz/runs/<target>/corpus,
# never in the tree; an input that breaks a target is kept in build/fuzz/runs/<target>/findings
# and the script fails. ASan's quarantine keeps a long run near 1 GB: hence the RSS limit.
# Usage: fuzz/run.sh <seconds per target> [target...]   (targets: the names in fuzz/corpus/)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:?usage: fuzz/run.sh <seconds per target> [target...]}
shift
build=build/fuzz
cmake -S . -B $build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DKOLVA_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build $build --target kolva_fuzz
export ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1 UBSAN_OPTIONS=print_stacktrace=1
failed=0
for target in ${@:-$(ls fuzz/corpus)}; do
    run=$build/runs/$target
    mkdir -p $run/corpus $run/findings
    $build/fuzz/fuzz_$target -max_total_time="$seconds" -max_len=1024 -timeout=10 \
        -rss_limit_mb=4096 -print_final_stats=1 -dict=fuzz/$target.dict \
        -artifact_prefix=$run/findings/ $run/corpus fuzz/corpus/$target >$run/log 2>&1 ||
        { failed=1 && tail -n 30 $run/log; }
    echo "fuzz_$target: $(sed -n 's/^stat::number_of_executed_units: *//p' $run/log) inputs," \
        "$(ls $run/findings | wc -l) findings"
done
exit $failed
