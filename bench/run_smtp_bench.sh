#!/usr/bin/env bash
# Builds and runs the SMTP benchmark in an optimised build. Installs msmtp (the comparison
# client) when it is missing. Must run as root.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup
if ! command -v msmtp >/dev/null 2>&1; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends msmtp
fi
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/bench --target korvo_smtp_bench
build/bench/bench/korvo_smtp_bench
