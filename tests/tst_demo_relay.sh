#!/bin/sh
# The demo's start of the local relay (scripts/demo-relay.sh, used by scripts/run.sh --demo):
# it returns once the relay listens, and stops its caller with a clear message when another
# program holds the port, instead of leaving the application to whoever answers there.
set -eu
bin=$1
fail() { echo "tst_demo_relay.sh: $*" >&2; exit 1; }
. "$(dirname "$0")/../scripts/demo-relay.sh"
start_relay "$bin/velmora-relay-sim" 0
trap 'kill "$relay" 2>/dev/null || true' EXIT
port=${relay_url##*:}
[ -n "$port" ] && [ "$port" != 0 ] || fail "no port in the relay's URL \"$relay_url\""
if message=$( (start_relay "$bin/velmora-relay-sim" "$port") 2>&1); then
    fail "the start went on with port $port held by another relay"
fi
case $message in
*"velmora-relay-sim: cannot listen on 127.0.0.1:$port"*"The local relay cannot listen on 127.0.0.1:$port"*) ;;
*) fail "unclear message for a held port: $message" ;;
esac
echo "the relay listens at $relay_url; with its port held the start stops: $message"
