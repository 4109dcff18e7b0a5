#!/bin/sh
# Installs the Debian 12 packages the project needs, when any is missing, and those named as
# arguments. Idempotent.
set -eu
packages="build-essential cmake ninja-build pkg-config qt6-base-dev qt6-httpserver-dev qcoro-qt6-dev
libsecret-1-dev libsecret-tools libtomlplusplus-dev dbus gnome-keyring xvfb xauth curl
fonts-noto-cjk fonts-materialdesignicons-webfont libgl-dev xdotool imagemagick
librsvg2-bin desktop-file-utils appstream $*"
missing=""
for package in $packages; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $package"
    fi
done
[ -z "$missing" ] && exit 0
echo "Installing:$missing"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update -qq
# shellcheck disable=SC2086
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq $missing
