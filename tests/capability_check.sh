#!/usr/bin/env bash
# Port 23 without lending the privilege: Server, given cap_net_bind_service on its file and run
# as nobody, serves port 23 holding no capability at all, and a Qt plugin it loads from
# QT_PLUGIN_PATH finds none to borrow. Needs root (setcap, a private network); exits 77
# (skipped) elsewhere.
# Usage: capability_check.sh <Server> <probe plugin> <default records>
set -euo pipefail
if [ "$(id -u)" != 0 ] || ! command -v setcap >/dev/null || ! unshare -n true 2>/dev/null; then
    echo "SKIPPED: needs root, setcap and a private network namespace"
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
mkdir "$work/generic"
cp "$1" "$work/Server"
cp "$2" "$work/generic/"
setcap cap_net_bind_service=+ep "$work/Server" ||
    { echo "SKIPPED: this file system keeps no file capabilities" && exit 77; }
install -o nobody -m 600 /dev/null "$work/probe.txt"

export WORK=$work RECORD=$(head -n 1 "$3")
unshare -n bash -euo pipefail -c '
    ip link set lo up
    QT_QPA_PLATFORM=offscreen QT_PLUGIN_PATH=$WORK QT_QPA_GENERIC_PLUGINS=kolvaprobe \
        KOLVA_PROBE_OUT=$WORK/probe.txt setpriv --reuid=nobody --regid=nogroup --clear-groups \
        "$WORK/Server" 2>/dev/null &
    pid=$!
    trap "kill $pid" EXIT
    for _ in $(seq 100); do
        if exec 3<>/dev/tcp/127.0.0.1/23; then break; fi 2>/dev/null
        sleep 0.1
    done
    printf "KOLVAM?\r\n" >&3
    IFS= read -r -t 10 -d $'\''\r'\'' reply <&3
    [ "$reply" = "$RECORD" ] || { echo "FAIL: port 23 answered: $reply"; exit 1; }
    held=$(grep -E "^(Cap(Inh|Prm|Eff|Amb)|NoNewPrivs):" /proc/$pid/status | tr -s "\t" " ")
    echo "$held"
    [ "$held" = "CapInh: 0000000000000000
CapPrm: 0000000000000000
CapEff: 0000000000000000
CapAmb: 0000000000000000
NoNewPrivs: 1" ] || { echo "FAIL: Server holds a capability while it serves"; exit 1; }
'
echo "plugin saw: $(tr '\n' ' ' <"$work/probe.txt")"
grep -qx $'CapEff:\t0000000000000000' "$work/probe.txt" && grep -qx 'bind 81: refused' "$work/probe.txt" ||
    { echo "FAIL: the plugin was not loaded, or found a capability to use"; exit 1; }
