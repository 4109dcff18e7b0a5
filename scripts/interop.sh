#!/bin/sh
# Runs the real coding agents, from npm, against the local relay, the way a user does after
# connecting them in the window, as an ordinary user (never root: the agents treat root
# specially), in five homes: a fresh one, a lived-in one that already holds the agents' earlier
# sign-ins, settings and models, some of them pointing at another provider, one whose Codex uses
# the user's own OpenAI API key, a broken one, and one whose login shell finds no secret-tool.
#
#   scripts/interop.sh            after a build (build/default); needs the npm registry
#   scripts/interop.sh --scenario tools/relay/scenarios/some-models.json
#                                 the relay with a scenario (here: only some models, each
#                                 other model refused with 404 model_not_found)
#
# Run as root, it creates the user velmora-interop (when missing) and runs as that user. In each
# home, velmora-connect-agents signs in to velmora-relay-sim, picks the first channel group and
# connects every agent through the application's state; then each agent runs once (Codex
# directly, the others through their launcher in ~/.local/bin) with a clean environment and a
# user's PATH, in a real keyring session. A second loopback listener stands for the other
# provider: it must receive nothing. In the lived-in home and the one with the user's own key,
# clearing must give auth.json back as it was. The broken home is broken in a way no launcher can
# mend, a different cause per agent. The
# user's login shell is /bin/sh reading the ~/.profile written here; velmora-connect-agents
# --check runs the app's check of every card right after connecting, and each agent runs in that
# login environment. Prints one row per agent and home, with the check's verdict beside the
# agent's outcome: the two must agree.
#
# The agents are installed into ~/.cache/velmora-interop of that user; Kimi Code with the
# Node 22 it needs, from npm, for it alone. An agent that cannot be installed here is SKIP, not
# PASS. Not part of the test suite.
set -eu
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${VELMORA_BUILD:-$repo/build/default}
bin=$build/bin
interop_user=velmora-interop
scenario=
if [ "${1:-}" = --scenario ]; then
    [ -r "${2:-}" ] || { echo "interop.sh: --scenario needs a readable file" >&2; exit 1; }
    scenario=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
    shift 2
fi

# name, command, npm packages
agents="codex codex @openai/codex
claude claude @anthropic-ai/claude-code
gemini gemini @google/gemini-cli
opencode opencode opencode-ai
kimi kimi @moonshot-ai/kimi-code node@22
crush crush @charmland/crush"

if [ "${1:-}" != --inside ]; then
    if [ "$(id -u)" -eq 0 ]; then
        id "$interop_user" >/dev/null 2>&1 || useradd --create-home --shell /bin/sh "$interop_user"
        runuser -u "$interop_user" -- test -r "$0" -a -x "$bin/velmora-connect-agents" || {
            echo "interop.sh: $interop_user cannot read $repo or run $bin: build in a folder others may read" >&2
            exit 1
        }
        home=$(getent passwd "$interop_user" | cut -d: -f6)
        # The network settings npm needs here (certificates, proxies) pass; nothing else of root's.
        passed=$(env | grep -E '^(NODE_EXTRA_CA_CERTS|SSL_CERT_FILE|SSL_CERT_DIR|https?_proxy|HTTPS?_PROXY|no_proxy|NO_PROXY|npm_config_[a-z_]+)=' || true)
        # shellcheck disable=SC2086
        IFS='
' exec runuser -u "$interop_user" -- env -i HOME="$home" USER="$interop_user" LOGNAME="$interop_user" \
            PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 VELMORA_BUILD="$build" $passed sh "$0" \
            ${scenario:+--scenario} ${scenario:+"$scenario"}
    fi
    for tool in node npm secret-tool; do
        command -v "$tool" >/dev/null || { echo "interop.sh: $tool is missing" >&2; exit 1; }
    done
    [ -x "$bin/velmora-connect-agents" ] || { echo "interop.sh: build first (cmake --build --preset default)" >&2; exit 1; }
    cache=$HOME/.cache/velmora-interop
    mkdir -p "$cache"
    echo "$agents" | while read -r name command packages; do
        [ -x "$cache/$name/node_modules/.bin/$command" ] && continue
        mkdir -p "$cache/$name"
        echo "interop.sh: installing $packages" >&2
        # shellcheck disable=SC2086
        npm install --no-audit --no-fund --prefix "$cache/$name" $packages >"$cache/$name/npm.log" 2>&1 || true
    done
    # The temporary homes lie where a real one does, below folders only their owners may write to.
    mkdir -p "$cache/tmp"
    chmod 700 "$cache/tmp"
    echo "| agent | home | version | request path | key right | model right | other provider | user's files | result | the app's check | check and agent |"
    echo "|---|---|---|---|---|---|---|---|---|---|---|"
    for kind in fresh lived-in own-key broken no-secret-tool; do
        TMPDIR=$cache/tmp CACHE=$cache VELMORA_BUILD=$build \
            "$repo/tests/support/with-keyring.sh" sh "$0" --inside "$kind" "$scenario"
    done
    exit 0
fi

# Inside: a private D-Bus session with an unlocked keyring, HOME a fresh temporary folder.
kind=$2
scenario=${3:-}
work=$(mktemp -d)
pids=
cleanup() { [ -z "$pids" ] || kill $pids 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT INT TERM
log=$work/calls.jsonl
other_log=$work/other.jsonl
: >"$log"
: >"$other_log"
"$bin/velmora-relay-sim" --port 0 --call-log "$log" ${scenario:+--scenario} ${scenario:+"$scenario"} \
    >"$work/relay.out" 2>"$work/relay.err" &
pids="$pids $!"
# The other provider: records every request it receives and answers 500.
node -e '
const fs = require("fs");
const server = require("http").createServer((request, response) => {
    fs.appendFileSync(process.argv[1], JSON.stringify({ method: request.method, url: request.url }) + "\n");
    request.resume();
    request.on("end", () => { response.writeHead(500); response.end("{}"); });
});
server.listen(0, "127.0.0.1", () => console.log("http://127.0.0.1:" + server.address().port));
' "$other_log" >"$work/other.out" &
pids="$pids $!"
tries=0
until [ -s "$work/relay.out" ] && [ -s "$work/other.out" ]; do
    tries=$((tries + 1))
    [ "$tries" -le 100 ] || { echo "interop.sh: the relay did not start" >&2; exit 1; }
    sleep 0.1
done
url=$(head -n 1 "$work/relay.out")
other=$(head -n 1 "$work/other.out")

# json FILE EXPRESSION: the expression's value for the file's JSON as o; S(value) is the value
# as JSON text with the members of its objects in order.
json() {
    node -e "const S=v=>JSON.stringify(v,(k,x)=>x&&typeof x==='object'&&!Array.isArray(x)?
        Object.fromEntries(Object.keys(x).sort().map(n=>[n,x[n]])):x);
        const o=JSON.parse(require('fs').readFileSync(process.argv[1],'utf8'));console.log($2)" "$1"
}

# The lived-in home: a ChatGPT sign-in for Codex, another provider in Claude Code's settings,
# a Google sign-in for Gemini CLI, another provider's model in OpenCode's file and memory,
# another default model for Kimi Code.
if [ "$kind" = lived-in ]; then
    mkdir -p "$HOME/.codex" "$HOME/.claude" "$HOME/.gemini" "$HOME/.config/opencode" \
        "$HOME/.local/state/opencode" "$HOME/.kimi-code"
    cat >"$HOME/.codex/auth.json" <<EOF
{"OPENAI_API_KEY": null, "auth_mode": "chatgpt", "last_refresh": "2026-12-01T00:00:00Z",
 "tokens": {"id_token": "eyJhbGciOiJub25lIn0.eyJlbWFpbCI6InVAZXhhbXBsZS5jb20ifQ.",
  "access_token": "eyJhbGciOiJub25lIn0.eyJleHAiOjQxMDI0NDQ4MDB9.", "refresh_token": "rt-earlier", "account_id": "acc-1"}}
EOF
    cat >"$HOME/.claude/settings.json" <<EOF
{"env": {"ANTHROPIC_BASE_URL": "$other", "ANTHROPIC_AUTH_TOKEN": "other-token", "ANTHROPIC_API_KEY": "other-key"}}
EOF
    echo '{"security": {"auth": {"selectedType": "oauth-personal"}}}' >"$HOME/.gemini/settings.json"
    cat >"$HOME/.config/opencode/opencode.json" <<EOF
{"model": "other/m-other", "provider": {"other": {"npm": "@ai-sdk/openai-compatible", "name": "Other",
 "options": {"baseURL": "$other/v1", "apiKey": "other-key"}, "models": {"m-other": {"name": "m-other"}}}}}
EOF
    echo '{"recent": [{"providerID": "other", "modelID": "m-other"}], "favorite": [], "variant": {}}' \
        >"$HOME/.local/state/opencode/model.json"
    echo 'default_model = "other-model"' >"$HOME/.kimi-code/config.toml"
    cp "$HOME/.codex/auth.json" "$work/codex-auth.before"
fi
# A home whose Codex uses the user's own OpenAI API key.
if [ "$kind" = own-key ]; then
    mkdir -p "$HOME/.codex"
    echo '{"auth_mode": "apikey", "OPENAI_API_KEY": "sk-users-own-key"}' >"$HOME/.codex/auth.json"
    cp "$HOME/.codex/auth.json" "$work/codex-auth.before"
fi
if [ "$kind" = broken ]; then
    mkdir -p "$HOME/.claude"
    echo '{"env": {"CLAUDE_CODE_USE_BEDROCK": "1"}}' >"$HOME/.claude/settings.json"
fi
fingerprint() { for file in "$@"; do [ -f "$file" ] && cksum <"$file" || echo -; done; }
claude_files="$HOME/.claude/settings.json"
gemini_files="$HOME/.gemini/settings.json"
opencode_files=
kimi_files="$HOME/.kimi-code/config.toml"
for name in claude gemini opencode kimi; do
    eval "files=\$${name}_files"
    # shellcheck disable=SC2154
    fingerprint $files >"$work/$name.before"
done
# OpenCode's own: the model its file names, its provider, and the model it remembers (OpenCode
# adds the launcher's model to what it remembers, as it does for every model it runs).
opencode_own() {
    echo "$(json "$HOME/.config/opencode/opencode.json" 'S([o.model, o.provider.other])')" \
        "$(json "$HOME/.local/state/opencode/model.json" 'o.recent.some(r => r.providerID === "other")')"
}
[ "$kind" != lived-in ] || opencode_own >"$work/opencode.own.before"

# The agents, installed where a user's npm puts them on PATH, and the user's login shell, from
# which the app's check reads PATH: the same variables as the runs below (this machine has no
# internet for the agents' update and model-list fetches).
mkdir -p "$HOME/.local/bin"
for name in codex claude gemini opencode crush; do
    [ ! -x "$CACHE/$name/node_modules/.bin/$name" ] || ln -sf "$CACHE/$name/node_modules/.bin/$name" "$HOME/.local/bin/$name"
done
if [ -x "$CACHE/kimi/node_modules/.bin/node" ] && [ -f "$CACHE/kimi/node_modules/.bin/kimi" ]; then
    printf '#!/bin/sh\nexec %s %s "$@"\n' "$CACHE/kimi/node_modules/.bin/node" "$CACHE/kimi/node_modules/.bin/kimi" \
        >"$HOME/.local/bin/kimi"
    chmod 700 "$HOME/.local/bin/kimi"
fi
user_path="$HOME/.local/bin:$(dirname "$(command -v node)"):/usr/local/bin:/usr/bin:/bin"
agent_settings="DISABLE_AUTOUPDATER=1 NO_UPDATE_NOTIFIER=1 OPENCODE_DISABLE_AUTOUPDATE=1 KIMI_CODE_NO_AUTO_UPDATE=1 OPENCODE_DISABLE_MODELS_FETCH=1"
printf 'PATH="%s"\nexport PATH %s\n' "$user_path" "$agent_settings" >"$HOME/.profile"
if [ "$kind" = broken ]; then
    # A setup the launchers cannot win over, one cause per agent: Gemini CLI not installed; an
    # older launcher of another tool first on PATH for Kimi Code; Claude Code switched to Bedrock
    # in its settings (written above); the login shell's CODEX_HOME and XDG_CONFIG_HOME elsewhere than where the
    # app (started from the desktop, without them) wrote Codex's and OpenCode's files.
    rm -f "$HOME/.local/bin/gemini"
    mkdir -p "$HOME/bin"
    printf '#!/bin/sh\nexport KIMI_MODEL_NAME=m-other KIMI_MODEL_PROVIDER_TYPE=openai KIMI_MODEL_API_KEY=other-key KIMI_MODEL_BASE_URL=%s/v1\nexec kimi "$@"\n' \
        "$other" >"$HOME/bin/velmora-kimi"
    chmod 700 "$HOME/bin/velmora-kimi"
    printf 'PATH="%s"\nexport PATH CODEX_HOME="$HOME/.codex-elsewhere" XDG_CONFIG_HOME="$HOME/.config-elsewhere" %s\n' \
        "$HOME/bin:$user_path" "$agent_settings" >"$HOME/.profile"
fi

if [ "$kind" = no-secret-tool ]; then
    # libsecret-tools not installed: the login shell's PATH has node and the system's tools, in a
    # folder of links that leaves secret-tool out. Codex reads its key from auth.json and works;
    # every launcher stops at its keychain line.
    mkdir -p "$HOME/system-bin"
    for tool in /usr/local/bin/* /usr/bin/* /bin/* "$(command -v node)"; do
        name=${tool##*/}
        [ "$name" = secret-tool ] || [ -e "$HOME/system-bin/$name" ] || ln -s "$tool" "$HOME/system-bin/$name"
    done
    printf 'PATH="%s"\nexport PATH %s\n' "$HOME/.local/bin:$HOME/system-bin" "$agent_settings" >"$HOME/.profile"
fi

SHELL=/bin/sh "$bin/velmora-connect-agents" --router "$url" --username demo@velmora.example --password velmora-demo \
    --check >"$work/connect.out" 2>&1 || true
grep -v '^check ' "$work/connect.out" | sed "s/^/  connect ($kind): /" >&2
# The check's verdict on the card of an agent: "works", or the card's line.
verdict() {
    line=$(grep -F "check $1: " "$work/connect.out" | head -n 1)
    case $line in
    *": passed "*) echo works ;;
    "") echo "no verdict" ;;
    *) echo "${line#*: failed }" ;;
    esac
}

# The key the keyring holds for the group, read as the scripts read it.
service=$(sed -n "s/.*lookup -- service '\\([^']*\\)' account.*/\\1/p" "$HOME/.local/bin/velmora-connect-codex-env")
key=$(secret-tool lookup -- service "$service" account "$USER" || true)

# run NAME EXPECTED_MODEL COMMAND...: runs the agent with a clean environment, prints its row.
run() {
    name=$1 model=$2 title=$3
    shift 3
    before=$(wc -l <"$log")
    other_before=$(wc -l <"$other_log")
    status=0
    # The environment of the user's login shell: ~/.profile, as the check reads it.
    (cd "$work" && timeout 240 env -i HOME="$HOME" USER="$USER" TERM=dumb LANG=C.UTF-8 \
        DBUS_SESSION_BUS_ADDRESS="$DBUS_SESSION_BUS_ADDRESS" XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-}" \
        sh -c '. "$HOME/.profile"; exec "$@"' sh "$@" </dev/null >"$work/$name.out" 2>"$work/$name.err") || status=$?
    tail -n +"$((before + 1))" "$log" | grep '"status":200' | head -n 1 >"$work/$name.call" || true
    other_calls=$(($(wc -l <"$other_log") - other_before))
    version=$(PATH="$HOME/.local/bin:$PATH" "$name" --version 2>/dev/null </dev/null | head -n 1 | tr -d '\r' || true)
    path=- keyright=no modelright=no
    if [ -s "$work/$name.call" ]; then
        path=$(json "$work/$name.call" o.path)
        [ "$(json "$work/$name.call" o.key)" = "$key" ] && [ -n "$key" ] && keyright=yes
        # Every model the agent asked for in this run, not only the first call's.
        seen=$(tail -n +"$((before + 1))" "$log" | while read -r call; do
            printf '%s\n' "$call" >"$work/one.call"
            json "$work/one.call" o.model
        done | sort -u | tr '\n' ' ' | sed 's/ $//')
        if [ -z "$model" ]; then modelright="n/a ($seen; the launcher names none)"
        elif [ "$seen" = "$model" ]; then modelright=yes
        else modelright="no ($seen)"; fi
    fi
    own=-
    if [ -f "$work/$name.before" ]; then
        eval "files=\$${name}_files"
        if [ "$(fingerprint $files)" = "$(cat "$work/$name.before")" ]; then own=unchanged; else own=CHANGED; fi
        if [ "$name" = opencode ] && [ -f "$work/opencode.own.before" ] &&
            [ "$(opencode_own)" != "$(cat "$work/opencode.own.before")" ]; then own=CHANGED; fi
    fi
    result=PASS reason=
    if [ "$status" -ne 0 ]; then result=FAIL reason="exit $status: $(tail -n 2 "$work/$name.err" | tr '\n' ' ' | cut -c1-160)"
    elif ! grep -q pong "$work/$name.out"; then result=FAIL reason="no reply printed"
    elif [ "$keyright" != yes ]; then result=FAIL reason="the relay saw no call with the keychain key"
    elif [ "${modelright%% *}" = no ]; then result=FAIL reason="wrong model"
    elif [ "$other_calls" -ne 0 ]; then result=FAIL reason="the other provider got $other_calls requests"
    elif [ "$own" = CHANGED ]; then result=FAIL reason="the user's own files changed"
    fi
    check=$(verdict "$title")
    agree=agree
    if { [ "$check" = works ] && [ "$result" = FAIL ]; } || { [ "$check" != works ] && [ "$result" = PASS ]; }; then
        agree=DISAGREE
    fi
    printf '| %s | %s | %s | %s | %s | %s | %s | %s | %s %s | %s | %s |\n' "$name" "$kind" "${version:--}" "$path" \
        "$keyright" "$modelright" "$other_calls requests" "$own" "$result" "$reason" "$check" "$agree"
}

skip() { printf '| %s | %s | - | - | - | - | - | - | SKIP %s | %s | - |\n' "$1" "$kind" "$2" "$(verdict "$3")"; }

# Installed from npm into the cache (in the broken home, Gemini CLI is then taken off PATH).
installed() { [ -x "$CACHE/$1/node_modules/.bin/$1" ]; }
npm_reason() { echo "npm install failed: $(grep -m 1 -o 'Error: .*' "$CACHE/$1/npm.log" 2>/dev/null | cut -c1-120)"; }

codex_model=$(sed -n 's/^model = "\(.*\)"$/\1/p' "$HOME/.codex/config.toml" 2>/dev/null || true)
if installed codex; then run codex "$codex_model" Codex codex exec --skip-git-repo-check "say hi"; else skip codex "$(npm_reason codex)" Codex; fi
claude_model=$(grep -o '"ANTHROPIC_MODEL":"[^"]*"' "$HOME/.local/bin/velmora-claude" 2>/dev/null | sed 's/.*:"\(.*\)"$/\1/' || true)
if installed claude; then run claude "$claude_model" "Claude Code" velmora-claude -p "say hi"; else skip claude "$(npm_reason claude)" "Claude Code"; fi
launcher_value() { sed -n "s/^export $1='\\(.*\\)'$/\\1/p" "$HOME/.local/bin/$2" 2>/dev/null || true; }
if installed gemini; then
    run gemini "$(launcher_value GEMINI_MODEL velmora-gemini)" "Gemini CLI" velmora-gemini --skip-trust -p "say hi"
else skip gemini "$(npm_reason gemini)" "Gemini CLI"; fi
if installed kimi; then run kimi "$(launcher_value KIMI_MODEL_NAME velmora-kimi)" "Kimi Code" velmora-kimi -p "say hi"
else skip kimi "$(npm_reason kimi)" "Kimi Code"; fi
opencode_model=$(json "$HOME/.config/opencode/opencode.json" 'Object.keys(o.provider.velmora.models)[0]' 2>/dev/null || true)
if installed opencode; then run opencode "$opencode_model" OpenCode velmora-opencode run "say hi"
else skip opencode "$(npm_reason opencode)" OpenCode; fi
if installed crush && crush --version >/dev/null 2>&1; then
    crush_model=$(json "$HOME/.config/crush/crush.json" 'o.providers["velmora-deepseek"].models[0].id' 2>/dev/null || true)
    run crush "$crush_model" "DeepSeek Agent（Crush）" velmora-deepseek run "say hi"
else
    skip crush "its npm package downloads the crush binary from the internet at install time, which this machine cannot reach; its files and launcher are checked by the unit tests" "DeepSeek Agent（Crush）"
fi

# Clearing gives Codex's sign-in or the user's own key back: auth.json as it was before connecting.
if [ -f "$work/codex-auth.before" ]; then
    "$bin/velmora-connect-agents" --router "$url" --username demo@velmora.example --password velmora-demo --clear \
        >"$work/clear.out" 2>&1 || true
    sed "s/^/  clear ($kind): /" "$work/clear.out" >&2
    if [ "$(json "$HOME/.codex/auth.json" 'S(o)')" = "$(json "$work/codex-auth.before" 'S(o)')" ]; then
        printf '| codex, cleared | %s | - | - | - | - | - | auth.json given back | PASS | - | - |\n' "$kind"
    else
        printf '| codex, cleared | %s | - | - | - | - | - | CHANGED | FAIL auth.json is not what it was: %s | - | - |\n' \
            "$kind" "$(json "$HOME/.codex/auth.json" 'S(o)' | cut -c1-160)"
    fi
fi
