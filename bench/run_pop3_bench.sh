#!/usr/bin/env bash
# Builds and runs the POP3 benchmark in an optimised build. Installs mpop (the comparison
# client) when it is missing. Must run as root. With --tls: the same comparison over TLS
# (implicit TLS on the server's second port) and the handshake time.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup
if ! command -v mpop >/dev/null 2>&1; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends mpop
fi
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/bench --target korvo_pop3_bench korvo
build/bench/bench/korvo_pop3_bench "$@"
