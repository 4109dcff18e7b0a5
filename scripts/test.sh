#!/bin/sh
# Sets up a fresh Debian 12 machine, builds the application the plain way, then builds and runs
# the whole test suite twice: once as built for release, once under AddressSanitizer and
# UndefinedBehaviorSanitizer.
set -eu
cd "$(dirname "$0")/.."
sh scripts/setup.sh
jobs=$(nproc)
# A plain build with CMake's default generator (Make, which unlike Ninja creates no output
# folder by itself), of the application and its command line alone to keep it short.
echo "== plain build"
cmake -S . -B build/plain -DVELMORA_BUILD_TESTS=OFF -DVELMORA_BUILD_BENCH=OFF >/dev/null
cmake --build build/plain --target velmora-connect velmora -j "$jobs" >/dev/null
for preset in default sanitize; do
    echo "== $preset build"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    echo "== $preset tests"
    ctest --preset "$preset" -j "$jobs"
done
