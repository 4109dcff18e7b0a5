#!/bin/sh
# Runs every benchmark built in build/default/bench and prints its figures, each in a private
# keyring session with a temporary HOME (the operations run the keyring and launchd stand-ins).
# Builds nothing: build first with `cmake --preset default && cmake --build --preset default`.
set -eu
cd "$(dirname "$0")/.."
dir=build/default/bench
found=0
for bench in "$dir"/bench_*; do
    [ -f "$bench" ] && [ -x "$bench" ] || continue
    found=1
    echo "== $(basename "$bench")"
    # A benchmark that fails does not hide the figures of the others.
    QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" tests/support/with-keyring.sh "$bench" || echo "$(basename "$bench") exited with status $?"
    echo
done
if [ "$found" = 0 ]; then
    echo "No benchmark in $dir: build the default preset first." >&2
    exit 1
fi
