#!/usr/bin/env bash
# A long fuzzing session over every target, for before a release or after a change to the rules.
# The duration is shared out evenly; the inputs found grow the corpora in build/fuzz/runs/, so a
# later session goes on from there. Worth keeping inputs are copied into fuzz/corpus/ by hand.
# Usage: fuzz/run-long.sh [duration]   e.g. 3600, 90m, 8h (default 1h)
set -euo pipefail
cd "$(dirname "$0")/.."

duration=${1:-1h}
case $duration in
*h) total=$((${duration%h} * 3600)) ;;
*m) total=$((${duration%m} * 60)) ;;
*s) total=${duration%s} ;;
*) total=$duration ;;
esac
targets=(fuzz/corpus/*/)
per_target=$((total / ${#targets[@]}))
exec fuzz/run.sh $((per_target > 0 ? per_target : 1)) # 0 would mean no limit
