#!/bin/sh
# Sets up a fresh Debian 12 machine, builds and starts Velmora Connect.
#   scripts/run.sh          the app, pointed at the service
#   scripts/run.sh --demo   the app pointed at a local relay with a demo account
#                           (demo@velmora.example / velmora-demo), started alongside
set -eu
cd "$(dirname "$0")/.."
sh scripts/setup.sh
preset=default
[ "${1:-}" = "--demo" ] && preset=demo
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$(nproc)"
bin="build/$preset/bin"
if [ "$preset" = demo ]; then
    . scripts/demo-relay.sh
    relay=""
    trap '[ -z "$relay" ] || kill "$relay" 2>/dev/null || true' EXIT
    trap 'exit 130' INT TERM
    # The demo build's API root and download server.
    start_relay "$bin/velmora-relay-sim" 8787
fi
"$bin/velmora-connect"
