#!/usr/bin/env bash
# Starts the built Server in a private network namespace and asks it for the master record
# on port 23.
set -euo pipefail
if [ "${1-}" != --inside ]; then
    exec "$(dirname "$0")/in_namespace.sh" "$0" --inside "$@"
fi

QT_QPA_PLATFORM=offscreen "$2" &
pid=$!
trap 'kill $pid 2>/dev/null; wait $pid 2>/dev/null || true' EXIT

for _ in $(seq 100); do
    if exec 3<>/dev/tcp/127.0.0.1/23; then break; fi 2>/dev/null
    sleep 0.1
done
printf 'KOLVAM?\r\n' >&3
IFS= read -r -t 10 -d $'\r' reply <&3
expected='REZU DOZURUZ UNIT, Kolva0_Master, C, T1=25.0, T2=25.1, T3=25.2, T4=25.3, T5=25.4, T6=25.5, T7=25.6, T8=25.7, T9=25.8, T10=25.9, T11=26.0, T12=26.1, T13=26.2, T14=26.3, T15=26.4, T16=26.5, Amb=26.6'
if [ "$reply" != "$expected" ]; then
    printf 'unexpected reply: %q\n' "$reply"
    exit 1
fi
echo "port 23 answered KOLVAM? with the default master record"
