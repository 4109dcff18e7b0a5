#!/bin/sh
# Builds the Debian package of the application into build/package/ and checks it with lintian:
#   scripts/package.sh
# Install it with `sudo apt install ./build/package/velmora-connect_*.deb`.
set -eu
cd "$(dirname "$0")/.."
sh scripts/setup.sh lintian
cmake --preset package >/dev/null
cmake --build --preset package -j "$(nproc)"
(cd build/package && cpack)
for deb in build/package/velmora-connect_*.deb; do
    echo "== $deb"
    dpkg-deb -c "$deb" | awk '{ print $6 }'
    lintian --fail-on error "$deb"
done
