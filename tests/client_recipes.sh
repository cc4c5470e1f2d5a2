#!/usr/bin/env bash
# The recipes of docs/clients.md, each run once against the real Server with the page's own
# command lines (its Python taken from the page itself). Run it through tests/in_namespace.sh:
#     client_recipes.sh <Server>
set -u
check_tcp=/usr/lib/nagios/plugins/check_tcp
for tool in "$check_tcp" nc socat python3; do
    command -v "$tool" >/dev/null || { echo "SKIPPED: no $tool"; exit 77; }
done
nc -h 2>&1 | grep -q -- '-N' || { echo "SKIPPED: nc is not netcat-openbsd"; exit 77; }

work=$(mktemp -d)
QT_QPA_PLATFORM=offscreen "$1" 2>"$work/stderr" &
server=$!
trap 'kill $server; wait $server; rm -rf "$work"' EXIT

failed=0
expect() { # what, expected, got
    if [ "$2" = "$3" ]; then echo "ok   $1"; else
        printf 'FAIL %s\n  expected %q\n  got      %q\n' "$1" "$2" "$3"; failed=1; fi
}
# A refusal prints nothing (nc, socat) or fails (check_tcp): retry for up to 3 s, as the page says.
answer() {
    local out
    for _ in $(seq 60); do out=$("$@" 2>&1) && [ -n "$out" ] && break; sleep 0.05; done
    printf %s "$out"
}
m=$(sed -n 1p "$(dirname "$0")/default_records.txt")
k07=$(sed -n 2p "$(dirname "$0")/default_records.txt")
k07=${k07/Kolva01/Kolva07}

nagios() { "$check_tcp" -H 127.0.0.1 -p 23 -E -s 'KOLVAM07?\r\n' -e 'Kolva07,'; }
out=$(answer nagios)
out=${out%%|*} # no timings
expect "check_tcp passes and shows the record" "TCP OK [$k07]" "${out%% - *} ${out#*port 23 }"
out=$(nagios)
expect "check_tcp straight after it: refused, CRITICAL" \
    "2 connect to address 127.0.0.1 and port 23: Connection refused" "$? $out"

netcat() { printf 'KOLVAM07?\r\n' | nc -N 127.0.0.1 23; }
expect "nc -N: the record and one CR" "$k07"$'\r' "$(answer netcat)"

two() { (printf 'KOLVAM?\r\n'; sleep 0.3; printf 'KOLVAM07?\r\n'; sleep 0.3) | socat - TCP:127.0.0.1:23; }
expect "socat: two queries on one connection" "$m"$'\r'"$k07"$'\r' "$(answer two)"

port_check() { nc -z 127.0.0.1 23 && echo open; } # answer() stops at the first that connects
answer port_check >/dev/null
expect "nc -z takes the slot: a query straight after it is refused" "" "$(netcat 2>/dev/null)"

recipe=$(sed -n '/^```python$/,/^```$/{/^```/d;p}' "$(dirname "$0")/../docs/clients.md")
out=$(python3 -c "$recipe"$'\n''print(*poll(["KOLVAM07?", "kolvam16?", "KOLVAM17?"]), sep="|")')
expect "Python: three queries, the last unknown" "$k07|${k07/Kolva07/Kolva16}|" "$out"

grep -qx 'Kolva Simulator: Nonauthoritative host not found, or server failure.' "$work/stderr"
expect "standard error names the unresolved host name" 0 $?
exit $failed
