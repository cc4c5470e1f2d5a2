#!/usr/bin/env bash
# Image check, run by hand before resolving a change to the container image (not in CI: it
# takes minutes and a container engine). From a fresh clone of the committed HEAD it builds the
# image as docs/containers.md says, then checks that it serves a record to a client container,
# that the serving process is an unprivileged user holding no capability, that the health check
# turns healthy without ever taking the one client slot, that SIGTERM stops it within 2 s, that
# the fleet manifest's three installations answer by name, and that the operator image's
# scenario changes what a client in another container reads.
#
# Usage (as root, podman's bridge networks need it): scripts/check-image.sh [bookworm|trixie]
#   The base image debian:<release>-slim is made with debootstrap when it is missing (no
#   registry needed). Podman only: the checks use its health checks and kube play.
# Prints one verdict line per check; exits 1 if any failed. Everything it starts runs on a
# network it creates, and is removed by name when it ends.
set -euo pipefail

release=${1:-bookworm}
case $release in bookworm | trixie) ;; *) echo "usage: $0 [bookworm|trixie]" >&2 && exit 2 ;; esac
[ "$(id -u)" -eq 0 ] ||
    { echo "run as root: bridge networks and debootstrap need it" >&2 && exit 2; }
repo=$(cd "$(dirname "$0")/.." && pwd)
image=kolva-simulator-check:$release
tag=kolva-check-$$ # the network's, the containers' and the fleet's names start with it
work=$(mktemp -d /var/tmp/kolva-image-check.XXXXXX)
failed=0

cleanup() {
    podman rm --force --time 0 "$tag-one" "$tag-operator" >/dev/null 2>&1 || true
    [ ! -f "$work/fleet.yaml" ] || podman kube down "$work/fleet.yaml" >/dev/null 2>&1 || true
    podman network rm --force "$tag" >/dev/null 2>&1 || true
    rm -rf --one-file-system "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

verdict() { # verdict <what> <command...>: runs the command, prints ok or FAIL with its output
    local what=$1 out
    shift
    if out=$("$@" 2>&1); then
        echo "ok   $what"
    else
        echo "FAIL $what"$'\n'"$(sed 's/^/     /' <<<"$out")"
        failed=1
    fi
}

# ask <host> <query> [seconds]: one query from a client container on the network, with bash
# alone, asked that long after connecting; retries a refused connection for up to 2 s, as
# docs/clients.md's recipes do.
ask() {
    podman run --rm --network "$tag" --entrypoint bash "$image" -c '
        for try in {1..20}; do
            if exec 3<>"/dev/tcp/$0/23"; then
                sleep "$2"
                printf "%s\r\n" "$1" >&3 && IFS= read -r -d $'"'\r'"' -t 2 record <&3 &&
                    echo "$record" && exit
            fi 2>/dev/null
            sleep 0.1
        done; exit 1' "$1" "$2" "${3:-0}" 2>/dev/null
}

expect() { # expect <host> <query> <text the record must contain> [seconds to hold first]
    local record
    record=$(ask "$1" "$2" "${4:-0}") && [[ $record == *"$3"* ]] ||
        { echo "$1 answered ${2@Q} with ${record@Q}, not containing ${3@Q}" && return 1; }
}

serving_pid() { # the simulator's PID on this machine: the child of the container's init
    local init pid
    init=$(podman inspect --format '{{.State.Pid}}' "$1")
    read -r pid _ <"/proc/$init/task/$init/children"
    echo "$pid"
}

no_privilege() {
    local status
    status=$(cat "/proc/$(serving_pid "$1")/status")
    grep -qx $'Uid:\t2323\t2323\t2323\t2323' <<<"$status" || { echo "not uid 2323:" &&
        grep Uid <<<"$status" && return 1; }
    for set in CapInh CapPrm CapEff CapAmb; do
        grep -qx "$set:"$'\t'0000000000000000 <<<"$status" ||
            { grep "^$set" <<<"$status" && return 1; }
    done
}

healthy() { # healthy while a client holds the slot, and that client is still answered
    podman healthcheck run "$1" || return 1
    expect "$1" KOLVAM07? Kolva07 3 & # holds the slot 3 s, while the check below runs
    local client=$!
    for _ in $(seq 50); do # until the kernel shows the client's connection established
        podman exec "$1" awk '$2 ~ /:0017$/ && $4 == "01" { exit 1 }' /proc/net/tcp || break
        sleep 0.1
    done
    podman healthcheck run "$1" || { echo "unhealthy while a client was connected"; return 1; }
    wait "$client" || { echo "the connected client got no record"; return 1; }
    [ "$(podman inspect --format '{{.State.Health.Status}}' "$1")" = healthy ]
}

stops_in_2s() {
    local ms
    ms=$( { TIMEFORMAT=%R; time podman stop --time 10 "$1" >/dev/null 2>&1; } 2>&1)
    echo "stopped in $ms s"
    awk -v s="$ms" 'BEGIN { exit !(s < 2) }'
}

fleet_answers() {
    local name
    podman kube play --network "$tag" "$work/fleet.yaml" >/dev/null
    for name in "$tag-pod-0" "$tag-pod-1" "$tag-pod-2"; do
        expect "$name" KOLVAM07? "REZU DOZURUZ UNIT, Kolva07, C, T1=32.0," || return 1
    done
}

operator_changes_the_wire() {
    podman run -d --name "$tag-operator" --network "$tag" "$image-operator" >/dev/null
    for _ in $(seq 60); do # the scenario prints "serving" once every step has been taken in
        podman logs "$tag-operator" 2>&1 | grep -q '^serving' && break
        sleep 0.5
    done
    podman logs "$tag-operator" 2>&1 | grep '^serving' || return 1
    expect "$tag-operator" KOLVAM? ", T3=85.0," &&
        expect "$tag-operator" KOLVAM07? "Kolva07, C, T1=0.0, T2=0.0,"
}

if ! podman image exists "debian:$release-slim"; then
    command -v debootstrap >/dev/null ||
        { apt-get update -qq && apt-get install -y -qq debootstrap >/dev/null; }
    echo "making debian:$release-slim with debootstrap"
    debootstrap --variant=minbase "$release" "$work/base" >"$work/debootstrap.log" 2>&1
    path=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin # import sets none
    tar -C "$work/base" --exclude='./var/cache/apt/archives/*.deb' \
        --exclude='./var/lib/apt/lists/*' -c . |
        podman import --change "ENV PATH=$path" - "debian:$release-slim" >/dev/null
    rm -rf --one-file-system "$work/base"
fi

git clone -q "$repo" "$work/src"
git -C "$work/src" checkout -q "$(git -C "$repo" rev-parse HEAD)"
build=(podman build --pull=never --format docker --build-arg "BASE=debian:$release-slim")
verdict "the image builds from a fresh clone" "${build[@]}" -t "$image" "$work/src"
verdict "the operator image builds" "${build[@]}" --target operator -t "$image-operator" \
    "$work/src"
echo "     size: $(podman images --format '{{.Size}}' "$image") ($(podman images \
    --format '{{.Size}}' "$image-operator") with the operator)"
label_is_package_version() { # the label is written by hand; the package's comes from CMake
    local label package
    label=$(podman image inspect --format \
        '{{index .Labels "org.opencontainers.image.version"}}' "$image")
    package=$(podman run --rm --entrypoint dpkg-query "$image" -W -f '${Version}' \
        kolva-simulator)
    [ "$label" = "$package" ] || { echo "label $label, package $package" && return 1; }
}
verdict "the version label is the package's" label_is_package_version
verdict "no build tools, no package lists or archives in it" podman run --rm \
    --entrypoint sh "$image" -c '! command -v gcc g++ cmake &&
        [ -z "$(find /var/lib/apt/lists /var/cache/apt/archives -type f ! -name lock)" ]'

podman network create "$tag" >/dev/null
podman run -d --name "$tag-one" --network "$tag" "$image" >/dev/null
verdict "a client container reads a record by name" \
    expect "$tag-one" KOLVAM07? "REZU DOZURUZ UNIT, Kolva07, C, T1=32.0,"
verdict "served by uid 2323 holding no capability" no_privilege "$tag-one"
verdict "healthy, also while a client holds the one slot" healthy "$tag-one"
verdict "SIGTERM stops it within 2 s" stops_in_2s "$tag-one"

sed -e 's/^kind: StatefulSet$/kind: Deployment/' -e "s/^  name: kolva$/  name: $tag/" \
    -e "s|image: localhost/kolva-simulator:latest|image: localhost/$image|" \
    "$work/src/packaging/kolva-fleet.yaml" >"$work/fleet.yaml"
verdict "the fleet manifest's three replicas answer by name" fleet_answers
verdict "the operator scenario changes what another container reads" operator_changes_the_wire

exit $failed
