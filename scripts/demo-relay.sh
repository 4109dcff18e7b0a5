# Sourced by scripts/run.sh: start_relay RELAY PORT starts the local relay RELAY on
# 127.0.0.1:PORT in the background and returns once it listens, with its process id in $relay
# and its URL in $relay_url. When the relay cannot listen (another program holds the port), it
# stops the calling script with a clear message: the application must never meet whatever
# answers on that port instead.
start_relay() {
    relay_out=$(mktemp)
    "$1" --port "$2" >"$relay_out" &
    relay=$!
    # The relay prints its URL once it listens, and exits non-zero when it cannot.
    until [ "$(wc -l <"$relay_out")" -ge 1 ]; do
        if ! kill -0 "$relay" 2>/dev/null; then
            rm -f "$relay_out"
            echo "The local relay cannot listen on 127.0.0.1:$2: another program holds the port." \
                "Stop it, then start again." >&2
            exit 1
        fi
        sleep 0.1
    done
    relay_url=$(head -n 1 "$relay_out")
    rm -f "$relay_out"
}
