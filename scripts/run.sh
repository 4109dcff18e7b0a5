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
    "$bin/velmora-relay-sim" --port 8787 &
    relay=$!
    trap 'kill "$relay" 2>/dev/null || true' EXIT INT TERM
fi
"$bin/velmora-connect"
