#!/usr/bin/env bash
# Runs the soak client's phases against the built Server in a private network namespace: a long
# run of queries, junk, clients that misbehave; the server must live through them and keep its
# memory. A sanitized server's memory is the sanitizer's to keep: --no-memory-check.
# Usage: soak_server.sh <Server> <soak_client> [--no-memory-check]
set -euo pipefail
if [ "${1-}" != --inside ]; then
    exec "$(dirname "$0")/in_namespace.sh" "$0" --inside "$@"
fi
shift

# glibc would otherwise keep the heap it grew for the 64 KiB junk arrivals (about 3 MiB, a
# high-water mark, not growth): with a fixed mmap threshold VmRSS shows what the program holds.
MALLOC_MMAP_THRESHOLD_=65536 QT_QPA_PLATFORM=offscreen "$1" &
pid=$!
trap 'kill $pid 2>/dev/null; wait $pid 2>/dev/null || true' EXIT
rss() { awk '/^VmRSS:/ { print $2 }' /proc/$pid/status; }

for phase in "queries 1000" "queries 20000" junk "clients 6"; do
    start=$EPOCHREALTIME
    if ! "$2" $phase || ! kill -0 $pid 2>/dev/null; then
        echo "FAIL in $phase: the server $(kill -0 $pid 2>/dev/null && echo runs || echo is gone)"
        exit 1
    fi
    echo "$phase: $(awk "BEGIN { printf \"%.1f\", $EPOCHREALTIME - $start }") s, VmRSS $(rss) KiB"
    baseline=${baseline:-$(rss)} # after the first thousand queries
done
growth=$(($(rss) - baseline))
echo "VmRSS $growth KiB more than after the first 1000 queries"
[ "${3-}" = --no-memory-check ] || [ $growth -le 4096 ] || { echo "FAIL: more than 4 MiB"; exit 1; }
