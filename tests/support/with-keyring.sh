#!/bin/sh
# Runs a command inside a private D-Bus session with an unlocked GNOME Keyring, in a
# temporary HOME, so that tests never touch the developer's own keyring or files.
set -eu
for tool in dbus-run-session dbus-send gnome-keyring-daemon; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "with-keyring.sh: $tool is missing: install the packages dbus and gnome-keyring (scripts/setup.sh does)" >&2
        exit 1
    fi
done
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
# The daemon forks before it owns its bus name. A test that asked the bus before then would
# have a second, locked daemon activated for it, so wait for the name, then make sure the
# default collection is the login keyring and that it is unlocked.
dbus-run-session -- sh -c '
    fail() { echo "with-keyring.sh: $*" >&2; exit 1; }
    ask() { dbus-send --session --print-reply=literal "$@" 2>/dev/null; }
    printf "%s" throwaway-test-password | gnome-keyring-daemon --unlock --components=secrets >/dev/null 2>&1 ||
        fail "gnome-keyring-daemon could not be started"
    tries=0
    until ask --dest=org.freedesktop.DBus /org/freedesktop/DBus org.freedesktop.DBus.NameHasOwner \
        string:org.freedesktop.secrets | grep -q true; do
        tries=$((tries + 1))
        [ "$tries" -le 200 ] || fail "the keyring never appeared on the session bus"
        sleep 0.05
    done
    collection=$(ask --dest=org.freedesktop.secrets /org/freedesktop/secrets \
        org.freedesktop.Secret.Service.ReadAlias string:default | tr -d " ") ||
        fail "the keyring does not answer"
    [ -n "$collection" ] && [ "$collection" != "/" ] || fail "the keyring has no default collection"
    ask --dest=org.freedesktop.secrets "$collection" org.freedesktop.DBus.Properties.Get \
        string:org.freedesktop.Secret.Collection string:Locked | grep -q false ||
        fail "the login keyring did not unlock"
    exec "$@"' sh "$@" || status=$?
exit "$status"
