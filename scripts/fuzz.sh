#!/usr/bin/env bash
# Builds the fuzz target (clang, build/fuzz) and runs it for the given number of seconds from the
# seeds in fuzz/corpus/rules. What a run finds collects in build/fuzz/corpus, never in the tree;
# an input that breaks a property is kept in build/fuzz/findings and the script fails. ASan's
# quarantine keeps a long run near 1 GB: hence the RSS limit.
# Usage: scripts/fuzz.sh <seconds>
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/fuzz
cmake -S . -B $build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DKOLVA_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build $build --target fuzz_rules
mkdir -p $build/corpus $build/findings
export ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1 UBSAN_OPTIONS=print_stacktrace=1
$build/fuzz/fuzz_rules -max_total_time="${1:?usage: scripts/fuzz.sh <seconds>}" -max_len=1024 \
    -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 -dict=fuzz/rules.dict \
    -artifact_prefix=$build/findings/ $build/corpus fuzz/corpus/rules >$build/log 2>&1 ||
    { tail -n 30 $build/log && echo "fuzz_rules: FINDING in $build/findings/" && exit 1; }
echo "fuzz_rules: $(sed -n 's/^stat::number_of_executed_units: *//p' $build/log) inputs, no finding"
