#!/usr/bin/env bash
# Builds the simulator and the benchmark in Release and runs the benchmark in a private network
# namespace (tests/in_namespace.sh), where the simulator may take port 23 whoever runs it.
# Prints the figures, with the machine they were taken on. BUILD_DIR overrides the build
# directory (build/bench).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD_DIR:-build/bench}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DKOLVA_BENCH=ON \
    >/dev/null
cmake --build "$build" --parallel "$(nproc)" --target Server kolva_bench kolva_floor_server

echo "$(date -u '+%Y-%m-%d %H:%M UTC'); $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo |
    cut -d: -f2- | sed 's/^ *//'); kernel $(uname -r); load $(cut -d' ' -f1-3 /proc/loadavg)"
tests/in_namespace.sh "$build/bench/kolva_bench" "$build/app/Server" "$build/bench/kolva_floor_server"
