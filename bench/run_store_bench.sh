#!/usr/bin/env bash
# Builds and runs the store benchmark in an optimised build, with SQLite as the comparison
# (installs libsqlite3-dev when it is missing). Arguments: the node counts (default 1000 100000).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup
if ! dpkg-query -W -f='${Status}' libsqlite3-dev 2>/dev/null | grep -q "install ok installed"; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends libsqlite3-dev
fi
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/bench --target store_bench
build/bench/bench/store_bench "$@"
