#!/usr/bin/env bash
# Sets up, builds and starts the simulator. As a non-root user it grants the built program
# the right to listen on port 23 (setcap cap_net_bind_service, through sudo).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

build=build/run
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
cmake --build "$build" --target Server
server="$build/app/Server"

if [ "$(id -u)" -ne 0 ] && ! getcap "$server" 2>/dev/null | grep -q cap_net_bind_service; then
    sudo setcap cap_net_bind_service=+ep "$server" ||
        echo "warning: setcap failed; the simulator cannot listen on port 23" >&2
fi
exec "$server" "$@"
