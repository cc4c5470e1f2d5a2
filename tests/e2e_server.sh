#!/usr/bin/env bash
# Starts the built Server headless in a private namespace whose host name resolves nowhere and
# asks it for the master record on port 23 three times, a client after a client. The host
# address message goes to standard error where nobody can click a box.
set -euo pipefail
if [ "${1-}" != --inside ]; then
    exec "$(dirname "$0")/in_namespace.sh" "$0" --inside "$@"
fi

errors=$(mktemp)
QT_QPA_PLATFORM=offscreen "$2" 2>"$errors" &
pid=$!
trap 'kill $pid 2>/dev/null; wait $pid 2>/dev/null || true; rm -f "$errors"' EXIT

expected=$(head -n 1 "$(dirname "$0")/default_records.txt")
for client in 1 2 3; do
    # Between clients nothing listens until the next status poll, about a second.
    for _ in $(seq 100); do
        if exec 3<>/dev/tcp/127.0.0.1/23; then break; fi 2>/dev/null
        sleep 0.05
    done
    printf 'KOLVAM?\r\n' >&3
    IFS= read -r -t 10 -d $'\r' reply <&3
    exec 3<&-
    if [ "$reply" != "$expected" ]; then
        printf 'client %s: unexpected reply: %q\n' "$client" "$reply"
        exit 1
    fi
done
echo "port 23 answered KOLVAM? with the default master record, three clients in a row"

said='^Kolva Simulator: (Authoritative answer host|Nonauthoritative host|A nonrecoverable|Valid name)'
if ! getent hosts "$(hostname)" >/dev/null && ! grep -qE "$said" "$errors"; then
    echo "the host name does not resolve, yet standard error does not say so:"
    cat "$errors"
    exit 1
fi
