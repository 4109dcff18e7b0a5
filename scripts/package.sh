#!/bin/sh
# Builds the Debian packages of the application into build/package/ and checks them with lintian:
#   scripts/package.sh
# velmora-cli (the command line, no GUI library among its dependencies) and velmora-connect (the
# window, which depends on it). Install them with
# `sudo apt install ./build/package/velmora-cli_*.deb ./build/package/velmora-connect_*.deb`.
set -eu
cd "$(dirname "$0")/.."
sh scripts/setup.sh lintian
cmake --preset package >/dev/null
cmake --build --preset package -j "$(nproc)"
(cd build/package && cpack)
for deb in build/package/velmora-cli_*.deb build/package/velmora-connect_*.deb; do
    echo "== $deb"
    dpkg-deb -c "$deb" | awk '{ print $6 }'
    lintian --fail-on error "$deb"
done
# A server installs the command line without a desktop's libraries.
gui=$(dpkg-deb -f build/package/velmora-cli_*.deb Depends | tr ',' '\n' |
    grep -E 'libqt6(gui|widgets|opengl)|libx11|libxcb|libgl(1|x|vnd|es)|libegl|libwayland|gnome-keyring|keepassxc' || true)
[ -z "$gui" ] || { echo "velmora-cli depends on GUI libraries: $gui" >&2; exit 1; }
