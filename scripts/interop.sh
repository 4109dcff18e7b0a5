#!/bin/sh
# Runs the real coding agents, from npm, against the local relay, the way a user does after
# connecting them in the window: velmora-connect-agents signs in to velmora-relay-sim, picks the
# first channel group and connects every agent through the application's state; then each agent
# runs once (Codex directly, the others through their launcher in ~/.local/bin) with a clean
# environment, in a temporary HOME with a real keyring session. Prints one row per agent.
#
#   scripts/interop.sh            after a build (build/default); needs the npm registry
#
# The agents are installed into $VELMORA_INTEROP_CACHE (default ~/.cache/velmora-interop).
# An agent that cannot be installed here is SKIP, not PASS. Not part of the test suite.
set -eu
repo=$(cd "$(dirname "$0")/.." && pwd)
bin=${VELMORA_BUILD:-$repo/build/default}/bin
cache=${VELMORA_INTEROP_CACHE:-$HOME/.cache/velmora-interop}

# name, npm package, command
agents="codex @openai/codex codex
claude @anthropic-ai/claude-code claude
gemini @google/gemini-cli gemini
opencode opencode-ai opencode
crush @charmland/crush crush"

if [ "${1:-}" != --inside ]; then
    for tool in node npm secret-tool; do
        command -v "$tool" >/dev/null || { echo "interop.sh: $tool is missing" >&2; exit 1; }
    done
    [ -x "$bin/velmora-connect-agents" ] || { echo "interop.sh: build first (cmake --build --preset default)" >&2; exit 1; }
    mkdir -p "$cache"
    echo "$agents" | while read -r name package command; do
        [ -x "$cache/$name/node_modules/.bin/$command" ] && continue
        mkdir -p "$cache/$name"
        echo "interop.sh: installing $package" >&2
        npm install --no-audit --no-fund --prefix "$cache/$name" "$package" >"$cache/$name/npm.log" 2>&1 || true
    done
    # The temporary HOME lies where a real one does, below folders only their owners may write
    # to: Gemini CLI skips a settings file below /tmp, which everyone may write to.
    mkdir -p "$cache/tmp"
    chmod 700 "$cache/tmp"
    TMPDIR=$cache/tmp VELMORA_INTEROP_CACHE=$cache VELMORA_BUILD=${VELMORA_BUILD:-$repo/build/default} \
        exec "$repo/tests/support/with-keyring.sh" sh "$0" --inside
fi

# Inside: a private D-Bus session with an unlocked keyring, HOME a fresh temporary folder.
work=$(mktemp -d)
relay_pid=
cleanup() { [ -z "$relay_pid" ] || kill "$relay_pid" 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT INT TERM
log=$work/calls.jsonl
: >"$log"
"$bin/velmora-relay-sim" --port 0 --call-log "$log" >"$work/relay.out" 2>"$work/relay.err" &
relay_pid=$!
tries=0
until [ -s "$work/relay.out" ]; do
    tries=$((tries + 1))
    [ "$tries" -le 100 ] || { echo "interop.sh: the relay did not start" >&2; exit 1; }
    sleep 0.1
done
url=$(head -n 1 "$work/relay.out")
"$bin/velmora-connect-agents" --router "$url" --username demo@velmora.example --password velmora-demo \
    >"$work/connect.out" 2>&1 || true
sed 's/^/  connect: /' "$work/connect.out" >&2

# The agents where a user's npm would put them.
mkdir -p "$HOME/.local/bin"
echo "$agents" | while read -r name package command; do
    if [ -x "$cache/$name/node_modules/.bin/$command" ]; then
        ln -sf "$cache/$name/node_modules/.bin/$command" "$HOME/.local/bin/$command"
    fi
done

# The key the keyring holds for the group, read as the scripts read it.
service=$(sed -n "s/.*lookup service '\\([^']*\\)' account.*/\\1/p" "$HOME/.local/bin/velmora-connect-codex-env")
key=$(secret-tool lookup service "$service" account "$USER" || true)

json() { node -e "const o=JSON.parse(require('fs').readFileSync(process.argv[1],'utf8'));console.log($2)" "$1"; }

# run NAME EXPECTED_MODEL COMMAND...: runs the agent with a clean environment, prints its row.
run() {
    name=$1 model=$2
    shift 2
    before=$(wc -l <"$log")
    status=0
    (cd "$work" && timeout 240 env -i HOME="$HOME" USER="$USER" TERM=dumb LANG=C.UTF-8 \
        PATH="$HOME/.local/bin:$(dirname "$(command -v node)"):/usr/local/bin:/usr/bin:/bin" \
        DBUS_SESSION_BUS_ADDRESS="$DBUS_SESSION_BUS_ADDRESS" XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-}" \
        DISABLE_AUTOUPDATER=1 NO_UPDATE_NOTIFIER=1 OPENCODE_DISABLE_AUTOUPDATE=1 \
        OPENCODE_DISABLE_MODELS_FETCH=1 "$@" </dev/null >"$work/$name.out" 2>"$work/$name.err") || status=$?
    tail -n +"$((before + 1))" "$log" | grep '"status":200' | head -n 1 >"$work/$name.call" || true
    version=$("$HOME/.local/bin/$name" --version 2>/dev/null </dev/null | head -n 1 | tr -d '\r' || true)
    path=- keyright=no modelright=no
    if [ -s "$work/$name.call" ]; then
        path=$(json "$work/$name.call" o.path)
        [ "$(json "$work/$name.call" o.key)" = "$key" ] && [ -n "$key" ] && keyright=yes
        seen=$(json "$work/$name.call" o.model)
        if [ -z "$model" ]; then modelright="n/a ($seen; the launcher names none)"
        elif [ "$seen" = "$model" ]; then modelright=yes
        else modelright="no ($seen)"; fi
    fi
    result=PASS reason=
    if [ "$status" -ne 0 ]; then result=FAIL reason="exit $status: $(tail -n 2 "$work/$name.err" | tr '\n' ' ' | cut -c1-160)"
    elif ! grep -q pong "$work/$name.out"; then result=FAIL reason="no reply printed"
    elif [ "$keyright" != yes ]; then result=FAIL reason="the relay saw no call with the keychain key"
    elif [ "${modelright%% *}" = no ]; then result=FAIL reason="wrong model"
    fi
    printf '| %s | %s | %s | %s | %s | %s %s |\n' "$name" "${version:--}" "$path" "$keyright" "$modelright" "$result" "$reason"
}

skip() { printf '| %s | - | - | - | - | SKIP %s |\n' "$1" "$2"; }

installed() { [ -x "$HOME/.local/bin/$1" ]; }
npm_reason() { echo "npm install failed: $(grep -m 1 -o 'Error: .*' "$cache/$1/npm.log" 2>/dev/null | cut -c1-120)"; }

echo "| agent | version | request path | key right | model right | result |"
echo "|---|---|---|---|---|---|"
codex_model=$(sed -n 's/^model = "\(.*\)"$/\1/p' "$HOME/.codex/config.toml" 2>/dev/null || true)
if installed codex; then run codex "$codex_model" codex exec --skip-git-repo-check "say hi"; else skip codex "$(npm_reason codex)"; fi
if installed claude; then run claude "" velmora-claude -p "say hi"; else skip claude "$(npm_reason claude)"; fi
gemini_model=$(sed -n "s/^export GEMINI_MODEL='\\(.*\\)'$/\\1/p" "$HOME/.local/bin/velmora-gemini" 2>/dev/null || true)
if installed gemini; then run gemini "$gemini_model" velmora-gemini --skip-trust -p "say hi"; else skip gemini "$(npm_reason gemini)"; fi
opencode_model=$(json "$HOME/.config/opencode/opencode.json" 'Object.keys(o.provider.velmora.models)[0]' 2>/dev/null || true)
if installed opencode; then
    run opencode "$opencode_model" velmora-opencode run -m "velmora/$opencode_model" "say hi"
else skip opencode "$(npm_reason opencode)"; fi
if installed crush; then
    crush_model=$(json "$HOME/.config/crush/crush.json" 'o.providers["velmora-deepseek"].models[0].id' 2>/dev/null || true)
    run crush "$crush_model" velmora-deepseek run -m "velmora-deepseek/$crush_model" "say hi"
else skip crush "$(npm_reason crush)"; fi
skip kimi "Kimi Code CLI is published on PyPI (kimi-cli), which is not reachable here; npm has no such package"
