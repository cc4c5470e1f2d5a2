#!/usr/bin/env bash
# Server given cap_net_bind_service on its file, run as nobody, serves port 23 holding no
# capability, and a Qt plugin it loads from QT_PLUGIN_PATH finds none to borrow. Needs root;
# exits 77 (skipped) elsewhere.   capability_check.sh <Server> <probe plugin> <default records>
set -euo pipefail
[ "$(id -u)" = 0 ] && command -v setcap >/dev/null && unshare -n true 2>/dev/null ||
    { echo "SKIPPED: needs root, setcap and a private network namespace" && exit 77; }
export WORK=$(mktemp -d) RECORD=$(head -n 1 "$3")
trap 'rm -rf "$WORK"' EXIT
chmod 755 "$WORK" && mkdir "$WORK/generic" && cp "$2" "$WORK/generic/" && cp "$1" "$WORK/Server"
setcap cap_net_bind_service=+ep "$WORK/Server" ||
    { echo "SKIPPED: no file capabilities" && exit 77; }
install -o nobody -m 600 /dev/null "$WORK/probe"
unshare -n bash -euo pipefail -c '
    ip link set lo up
    QT_QPA_PLATFORM=offscreen QT_PLUGIN_PATH=$WORK QT_QPA_GENERIC_PLUGINS=kolvaprobe \
        KOLVA_PROBE_OUT=$WORK/probe setpriv --reuid=nobody --regid=nogroup --clear-groups \
        "$WORK/Server" 2>/dev/null &
    trap "kill $!" EXIT
    for _ in $(seq 100); do exec 3<>/dev/tcp/127.0.0.1/23 && break; sleep 0.1; done 2>/dev/null
    printf "KOLVAM?\r\n" >&3
    IFS= read -r -t 10 -d $'\''\r'\'' reply <&3
    [ "$reply" = "$RECORD" ] || { echo "FAIL: port 23 answered: $reply" && exit 1; }
    cp /proc/$!/status "$WORK/served"
'
for status in served probe; do # Server's while it serves; the plugin's as it loaded
    grep -q '^CapEff:' "$WORK/$status" || { echo "FAIL: no $status status" && exit 1; }
    held=$(grep -E '^Cap(Inh|Prm|Eff|Amb):' "$WORK/$status" | grep -v '\s0\{16\}$' || true)
    echo "$status: ${held:-no capability held}"
    [ -z "$held" ]
done
