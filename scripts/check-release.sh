#!/usr/bin/env bash
# Release check, run by hand before resolving an issue (not in CI): in a bare Debian root of the
# given release, a fresh clone of the committed HEAD passes the README's run command, its test
# command and the package install. The root has no /etc/hosts and every step runs under a host
# name that resolves nowhere: the sternest start-up there is.
#
# Usage (as root): scripts/check-release.sh [--reuse] bookworm|trixie [run] [test] [package]
#   --reuse     keep the root of an earlier run instead of a new debootstrap (setup.sh then
#               finds its packages installed); the project is cloned afresh every time
#   run test package    only these steps (default: all three)
#   KOLVA_RELEASE_DIR   work folder, default /var/tmp/kolva-release; the root and the logs go
#                       to $KOLVA_RELEASE_DIR/<release>/root and .../logs. Made private to
#                       root if missing; refused if it, or a folder above it, is not root's
#                       own and closed to others
#   KOLVA_RELEASE_REV   the commit to check, default HEAD
# Prints one verdict line per step; exits 1 if any failed.
set -euo pipefail

usage="usage: $0 [--reuse] bookworm|trixie [run] [test] [package]"
reuse=0
if [ "${1-}" = --reuse ]; then reuse=1 && shift; fi
release=${1-}
case $release in bookworm | trixie) shift ;; *) echo "$usage" >&2 && exit 2 ;; esac
steps=("$@")
[ $# -gt 0 ] || steps=(run test package)
for step in "${steps[@]}"; do
    [[ $step =~ ^(run|test|package)$ ]] || { echo "$usage" >&2 && exit 2; }
done
[ "$(id -u)" -eq 0 ] || { echo "run as root: debootstrap, chroot and mount need it" >&2 && exit 2; }

repo=$(cd "$(dirname "$0")/.." && pwd)
rev=$(git -C "$repo" rev-parse --verify "${KOLVA_RELEASE_REV:-HEAD}^{commit}")
base=${KOLVA_RELEASE_DIR:-/var/tmp/kolva-release}
# Root writes, chroots and runs in here: nobody else may have made or be able to change any of
# it. Each folder above it is root's and closed to others, or sticky like /var/tmp.
mkdir -m 700 "$base" 2>/dev/null || true
[ ! -L "$base" ] && [ -d "$base" ] && [ "$(stat -c '%u %a' "$base")" = "0 700" ] ||
    { echo "refusing $base: not a private folder of root's" >&2 && exit 2; }
above=$(realpath "$base")
while above=$(dirname "$above"); do
    read -r owner mode < <(stat -c '%u %a' "$above")
    if [ "$owner" != 0 ] || { ((8#$mode & 8#022)) && ! ((8#$mode & 8#1000)); }; then
        echo "refusing $base: others may change $above" >&2 && exit 2
    fi
    [ "$above" != / ] || break
done
work=$base/$release
root=$work/root logs=$work/logs
record=$(git -C "$repo" show "$rev:tests/default_records.txt" | head -n 1) # the master's

# Everything running inside the root was started here: end it, then unmount all under the root.
cleanup() {
    local p left
    [ -z "${step_pid-}" ] || kill "$step_pid" 2>/dev/null || true
    for _ in $(seq 20); do
        left=0
        for p in /proc/[0-9]*; do
            if [ "$(readlink "$p/root" 2>/dev/null)" = "$root" ]; then
                kill -9 "${p#/proc/}" 2>/dev/null || true
                left=1
            fi
        done
        [ $left = 1 ] || break
        sleep 0.5
    done
    awk -v under="$root/" 'index($2, under) == 1 { print $2 }' /proc/self/mounts | sort -r |
        while read -r mount; do umount "$mount" || umount -l "$mount" || true; done
}
trap cleanup EXIT
trap 'exit 130' INT TERM

mkdir -p "$logs"
cleanup # what an earlier run left behind, killed before its trap ran
if [ $reuse = 0 ] || [ ! -x "$root/bin/bash" ]; then
    command -v debootstrap >/dev/null ||
        { apt-get update -qq && apt-get install -y -qq debootstrap; }
    rm -rf --one-file-system "$root"
    echo "$release: debootstrap into $root"
    debootstrap --variant=minbase "$release" "$root" \
        >"$logs/debootstrap.log" 2>&1 ||
        { echo "$release: debootstrap FAILED; log: $logs/debootstrap.log" && exit 1; }
fi
cp /etc/resolv.conf "$root/etc/resolv.conf"
mount -t proc proc "$root/proc"
mount -t sysfs -o ro sysfs "$root/sys"
mount -t devpts -o newinstance,ptmxmode=0666 devpts "$root/dev/pts"
mount -t tmpfs tmpfs "$root/dev/shm"
rm -rf "$root/root/kolva"
git clone --quiet "$repo" "$root/root/kolva"
git -C "$root/root/kolva" checkout --quiet --detach "$rev"
echo "$release: checking $(git -C "$root/root/kolva" log -1 --format='%h %s')"

# in_root <user> <host|private> <bash script> [args...]: runs the script in the root with a
# fresh login's bare environment, under a host name that resolves nowhere; "private" adds a
# network of its own with loopback up, where port 23 is free whoever holds the host's.
in_root() {
    local user=$1 script=$3 home=/root namespaces=(-u) up=true
    [ "$user" = root ] || home=/nonexistent
    [ "$2" = host ] || { namespaces+=(-n) && up="ip link set lo up"; }
    shift 3
    unshare "${namespaces[@]}" sh -c "hostname kolva-nowhere && $up && exec \"\$@\"" sh \
        chroot --userspec="$user" "$root" env -i HOME="$home" \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        bash -c "set -euo pipefail; $script" bash "$@"
}

# Starts the command in "$@" headless, asks it KOLVAM? on port 23 as a client would, ends it.
ask=$(
    cat <<'EOF'
record=$1 && shift
start=$EPOCHREALTIME
QT_QPA_PLATFORM=offscreen "$@" &
pid=$!
for _ in $(seq 600); do
    if exec 3<>/dev/tcp/127.0.0.1/23; then break; fi 2>/dev/null
    sleep 0.1
done
printf 'KOLVAM?\r\n' >&3
IFS= read -r -t 10 -d $'\r' reply <&3 || true
tenths=$(( (${EPOCHREALTIME/./} - ${start/./}) / 100000 ))
caps=$(grep -E '^Cap(Inh|Prm|Eff|Amb):' "/proc/$pid/status" | cut -f2 | sort -u)
kill "$pid" 2>/dev/null || true
[ "$reply" = "$record" ] || { printf 'unexpected reply: %q\n' "$reply"; exit 1; }
[ "$caps" = 0000000000000000 ] || { echo "holds a capability while it serves: $caps"; exit 1; }
echo "answered KOLVAM? in $((tenths / 10)).$((tenths % 10)) s"
EOF
)

# The first start sets up and builds; it is ended as soon as it is the Server (in the host's
# network, so it may hold the host's port 23 for that moment). The second start is asked.
run_step() {
    local pid server=
    in_root root host 'cd ~/kolva && QT_QPA_PLATFORM=offscreen exec scripts/run.sh' &
    pid=$!
    until [ "$(readlink "/proc/$server/exe")" = "$root/root/kolva/build/run/app/Server" ]; do
        kill -0 "$pid" 2>/dev/null || { wait "$pid"; return 1; }
        sleep 1
        server=$(pgrep -P "$pid") || true
    done
    kill "$server" && { wait "$pid" || true; } &&
        in_root root private "cd ~/kolva && $ask" "$record" scripts/run.sh
}
test_step() { in_root root host 'cd ~/kolva && scripts/test.sh'; }
# A reused root may hold an earlier build of the package: it goes first.
package_step() {
    in_root root host 'cd ~/kolva && dpkg -r kolva-simulator
        cmake -S . -B build/package -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
        cmake --build build/package
        cpack --config build/package/CPackConfig.cmake -G DEB -B build/package
        DEBIAN_FRONTEND=noninteractive apt install -y ./build/package/kolva-simulator_*_amd64.deb
        ' && in_root nobody private "cd / && $ask" "$record" kolva-simulator
}

declare -A label=([run]="run command" [test]="test command" [package]=package)
failed=0
for step in "${steps[@]}"; do
    log=$logs/$step.log
    rm -f "$root/etc/hosts"
    SECONDS=0
    # In the background, so that a signal ends the check at once rather than after the step.
    case $step in run) run_step ;; test) test_step ;; package) package_step ;; esac >"$log" 2>&1 &
    step_pid=$!
    if wait "$step_pid"; then
        answer=$(grep '^answered' "$log" | tail -1) || true
        result="PASS (${answer:+$answer, }$((SECONDS / 60)) min $((SECONDS % 60)) s)"
    else
        result="FAIL after $((SECONDS / 60)) min $((SECONDS % 60)) s"
        failed=1
    fi
    step_pid=
    echo "$release: ${label[$step]}: $result; log: $log"
done
[ ! -e "$root/etc/hosts" ] || echo "$release: warning: a step created /etc/hosts in the root"
versions=$(chroot "$root" dpkg-query -W -f="\${Package} \${Version}  " g++ clang cmake qt6-base-dev) || true
echo "$release: $versions"
exit $failed
