#!/usr/bin/env bash
# Plays the operator of the built Server over the accessibility bus, on a virtual display in a
# private network namespace, and checks each step on port 23 (examples/scenario.py). The
# scenario skips (77) where the display, the buses or pyatspi are missing.
set -euo pipefail
if [ ! -x /usr/bin/python3 ]; then
    echo "SKIPPED: no /usr/bin/python3"
    exit 77
fi
if [ "${1-}" != --inside ]; then
    exec "$(dirname "$0")/in_namespace.sh" "$0" --inside "$@"
fi
# -B: a test run leaves no bytecode beside the examples.
exec /usr/bin/python3 -B "$(dirname "$0")/../examples/scenario.py" "$2"
