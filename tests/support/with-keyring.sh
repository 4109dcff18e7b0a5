#!/bin/sh
# Runs a command inside a private D-Bus session with an unlocked GNOME Keyring, in a
# temporary HOME, so that tests never touch the developer's own keyring or files.
set -eu
tmp=$(mktemp -d)
cleanup() { rm -rf "$tmp"; }
trap cleanup EXIT INT TERM
mkdir -p "$tmp/home" "$tmp/run"
chmod 700 "$tmp/run"
export HOME="$tmp/home"
export XDG_RUNTIME_DIR="$tmp/run"
export XDG_DATA_HOME="$tmp/home/.local/share"
export XDG_CONFIG_HOME="$tmp/home/.config"
export XDG_STATE_HOME="$tmp/home/.local/state"
export USER="${USER:-$(id -un)}"
status=0
dbus-run-session -- sh -c '
    printf "%s" throwaway-test-password | gnome-keyring-daemon --unlock --components=secrets >/dev/null 2>&1
    exec "$@"' sh "$@" || status=$?
exit "$status"
