#!/usr/bin/env bash
# A long session over every target, for before a release or after a change to the rules; the
# duration is shared out evenly, and each run goes on from the inputs earlier ones found.
# Usage: fuzz/run-long.sh [duration]   e.g. 3600, 90m, 8h (default 1h)
set -euo pipefail
cd "$(dirname "$0")/.."
total=$(($(sed 's/h$/*3600/; s/m$/*60/; s/s$//' <<<"${1:-1h}")))
targets=(fuzz/corpus/*/)
exec fuzz/run.sh $((total / ${#targets[@]} > 0 ? total / ${#targets[@]} : 1))
