#!/usr/bin/env bash
# Builds and runs the receive speed benchmark (receive and delete, durability on) in an
# optimised build, against mpop. Installs mpop when it is missing. Must run as root.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup
if ! command -v mpop >/dev/null 2>&1; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends mpop
fi
export CCACHE_BASEDIR="$PWD"
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/bench --target receive_speed_bench korvo
build/bench/bench/receive_speed_bench
