#!/usr/bin/env bash
# Runs the soak client against the built Server in a private network namespace. The client
# waits for the port itself.
# Usage: soak_server.sh <Server> <soak_client> [client options...]
set -euo pipefail
if [ "${1-}" != --inside ]; then
    exec "$(dirname "$0")/in_namespace.sh" "$0" --inside "$@"
fi
shift

# glibc would otherwise keep the heap it grew for the 64 KiB junk arrivals (about 3 MiB, a
# high-water mark, not growth): with a fixed mmap threshold the VmRSS check sees what the
# program holds.
MALLOC_MMAP_THRESHOLD_=65536 QT_QPA_PLATFORM=offscreen "$1" &
pid=$!
trap 'kill $pid 2>/dev/null; wait $pid 2>/dev/null || true' EXIT

"$2" "$pid" "${@:3}"
if ! kill -0 "$pid" 2>/dev/null; then
    echo "FAIL: the server exited during the soak"
    exit 1
fi
