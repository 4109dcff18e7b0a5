#!/bin/sh
# Runs every benchmark built in build/default/bench and prints its figures, each in a private
# keyring session with a temporary HOME (the operations run the keyring and launchd stand-ins).
# Builds nothing: build first with `cmake --preset default && cmake --build --preset default`.
#
#   bench/run.sh              each benchmark on the machine as it is
#   bench/run.sh --load N     each benchmark twice: as it is, then with N busy threads beside it
#                             (a build running on every core: --load 2 on two cores)
set -eu
cd "$(dirname "$0")/.."
dir=build/default/bench
load=0
if [ "${1:-}" = --load ]; then
    load=${2:?bench/run.sh: --load needs a number}
fi
found=0
for bench in "$dir"/bench_*; do
    [ -f "$bench" ] && [ -x "$bench" ] || continue
    found=1
    for busy in 0 $([ "$load" -gt 0 ] && echo "$load"); do
        echo "== $(basename "$bench")$([ "$busy" -gt 0 ] && echo " --load $busy")"
        # A benchmark that fails does not hide the figures of the others.
        QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" tests/support/with-keyring.sh "$bench" --load "$busy" ||
            echo "$(basename "$bench") exited with status $?"
        echo
    done
done
if [ "$found" = 0 ]; then
    echo "No benchmark in $dir: build the default preset first." >&2
    exit 1
fi
