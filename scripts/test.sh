#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite, headless.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

build=build/test
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON \
    -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
cmake --build "$build"
QT_QPA_PLATFORM=offscreen ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
