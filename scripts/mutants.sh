#!/bin/sh
# Applies small faults to the product code one at a time, rebuilds, runs the test suite and
# reports which faults the suite caught. Each fault is one a user would suffer. The working
# tree is restored after every fault (and on interruption).
#
#   scripts/mutants.sh [PRESET] [NAME...]     PRESET defaults to "default"; NAMEs pick faults.
set -eu
cd "$(dirname "$0")/.."
preset=${1:-default}
[ $# -gt 0 ] && shift
build="build/$preset"
[ -d "$build" ] || { echo "no build in $build: run cmake --preset $preset first" >&2; exit 2; }
log=$(mktemp -d)
trap 'restore; rm -rf "$log"' EXIT INT TERM
current=""
restore() {
    [ -n "$current" ] && cp "$log/original" "$current" && touch "$current"
    current=""
}
wanted() {
    [ $# -eq 0 ] && return 0
    for n in "$@"; do [ "$n" = "$name" ] && return 0; done
    return 1
}

cmake --build "$build" >/dev/null
caught=0 missed=0 broken=0 absent=0
run() {
    files=$(grep -rlF -- "$find" src tools || true)
    count=$(printf '%s' "$files" | grep -c . || true)
    if [ "$count" -ne 1 ] || [ "$(grep -cF -- "$find" "$files")" -ne 1 ]; then
        printf '%-22s ABSENT  (the code to change is not found exactly once)\n' "$name"
        absent=$((absent + 1))
        return
    fi
    current=$files
    cp "$current" "$log/original"
    FIND=$find REPL=$replace perl -0pi -e 's/\Q$ENV{FIND}\E/$ENV{REPL}/' "$current"
    if ! cmake --build "$build" >"$log/build" 2>&1; then
        printf '%-22s BROKEN  (does not build)\n' "$name"
        broken=$((broken + 1))
    elif ctest --test-dir "$build" -j "$(nproc)" --stop-on-failure --timeout 300 >"$log/test" 2>&1; then
        printf '%-22s MISSED  %s\n' "$name" "$what"
        missed=$((missed + 1))
    else
        failed=$(grep -E '^\s*[0-9]+ - ' "$log/test" | sed -E 's/.* - ([^ ]+).*/\1/' | tr '\n' ' ')
        printf '%-22s caught  %s [%s]\n' "$name" "$what" "${failed% }"
        caught=$((caught + 1))
    fi
    restore
}

# A fault: "fault NAME DESCRIPTION", the line to change after "-", its replacement after "+".
name="" what="" find=""
while IFS= read -r line; do
    case $line in
    "fault "*) rest=${line#fault }; name=${rest%% *}; what=${rest#* } ;;
    "-"*) find=$(printf '%s' "${line#-}" | sed 's/^ *//') ;;
    "+"*)
        replace=$(printf '%s' "${line#+}" | sed 's/^ *//')
        if wanted "$@"; then run; fi
        ;;
    esac
done <<'FAULTS'
fault config-mode configuration files (auth.json with the key) readable by others
- inline constexpr int configMode = 0600;
+ inline constexpr int configMode = 0644;
fault script-mode launcher scripts writable by group and others
- inline constexpr int scriptMode = 0700;
+ inline constexpr int scriptMode = 0775;
fault backup-skipped a replaced file is not backed up
- const QString target = QDir(backupDir).filePath(source.fileName());
+ const QString target = QDir(backupDir).filePath(source.fileName()); if (!target.isEmpty()) { return; }
fault backup-same-second two operations in one second share a backup directory
- if (::mkdir(QFile::encodeName(candidate).constData(), 0700) == 0 || errno != EEXIST)
+ if (::mkdir(QFile::encodeName(candidate).constData(), 0700) == 0 || true)
fault backup-dir-mode backups of key files readable by others
- if (::mkdir(QFile::encodeName(candidate).constData(), 0700) == 0 || errno != EEXIST)
+ if (::mkdir(QFile::encodeName(candidate).constData(), 0755) == 0 || errno != EEXIST)
fault shell-quote a quote in a value breaks out of the shell word
- quoted.replace(u'\'', QStringLiteral("'\"'\"'"));
+ quoted.replace(u'\'', QStringLiteral("\\'"));
fault router-v1 "/v1" kept in the router URL
- path.replace(QLatin1String("/v1"), QString());
+ (void)0;
fault router-scheme any scheme accepted for the API root
- if (scheme != QLatin1String("https") && scheme != QLatin1String("http"))
+ if (scheme.isEmpty())
fault router-query an API root with a query is accepted
- if (url.hasQuery() || url.hasFragment())
+ if (url.hasFragment())
fault busy-guard a connect button pressed while busy starts a second operation
- setActivity(StateTexts::stillBusy);
+ return true;
fault clear-while-busy clearing runs while another operation is under way
- return false; // silently
+ return true; // silently
fault models-duplicates the model list keeps duplicates
- if (seen.contains({ keyed.id, keyed.owner }))
+ if (false)
fault models-order the model list comes in reverse order
- return std::tie(left.id, left.owner) < std::tie(right.id, right.owner);
+ return std::tie(right.id, right.owner) < std::tie(left.id, left.owner);
fault group-platform a group without platform shows an empty label
- const QString label = platform.isEmpty() ? ServiceTexts::genericPlatform : platform;
+ const QString label = platform;
fault key-whitespace a key with white space at its ends is stored and used
- if (key.isEmpty() || key != key.trimmed())
+ if (key.isEmpty())
fault key-fallback no fallback to /api/v1/keys when the desktop route is missing
- if (!routeMissing(error))
+ if (!routeMissing(error) || true)
fault download-short a download cut short is saved as a complete package
- if (announced.isValid() && announced.toLongLong() != written)
+ if (false)
fault download-refused a refused download (404) is saved and opened
- if (!isSuccess(status))
+ if (false)
fault keychain-left the stored keys survive clearing
- co_await Keychain::deleteKey(m_tools, security, user, service);
+ (void)security, (void)user, (void)service;
fault groups-left after a restart clearing leaves the account's keys in the keychain
- services.append(Keychain::keychainService(*router, m_accountKey, group.id));
+ (void)group;
fault tool-no-limit a tool that never ends keeps its operation busy for good
- const bool finished = co_await qCoro(process).waitForFinished(limit);
+ const bool finished = co_await qCoro(process).waitForFinished(-1);
fault auth-key-left the key stays in auth.json after clearing
- auth.remove(apiKeyVariable);
+ (void)0;
fault toml-escape a quote in the model breaks config.toml
- quoted += QStringLiteral("\\\"");
+ quoted += QStringLiteral("\"");
fault plist-escape an ampersand in the home path breaks the property list
- escaped += QStringLiteral("&amp;");
+ escaped += QStringLiteral("&");
fault model-prefix-case the agent's model is not found in another letter case
- if (id.toLower().startsWith(prefix))
+ if (id.startsWith(prefix))
fault merge-drops the provider merge drops the user's other providers
- QJsonObject table = config.value(tableKey).toObject(); // empty unless it is an object
+ QJsonObject table;
fault password-kept the password stays in memory after signing in
- setPassword(QString());
+ (void)0;
fault keychain-port the keychain name of an http root uses port 443
- = router.port() >= 0 ? router.port() : (router.scheme() == QLatin1String("https") ? 443 : 80);
+ = router.port() >= 0 ? router.port() : 443;
fault keychain-account characters other than letters and digits reach the keychain name
- if (QChar::isLetterOrNumber(baseCharacter(cluster)))
+ if (QChar::isLetterOrNumber(baseCharacter(cluster)) || true)
fault plist-duplicate-key a property list with a key twice is accepted
- if (map.contains(key))
+ if (false)
fault security-not-found a missing keychain item is not reported as such
- constexpr int statusItemNotFound = 44; // errSecItemNotFound
+ constexpr int statusItemNotFound = 1; // errSecItemNotFound
fault envelope the "data" envelope of a reply is not unwrapped
- if (value.isObject() && object.contains(QStringLiteral("data")))
+ if (false)
fault model-fallback signing in keeps a selected model that the relay does not offer
- if (!listed && !m_models.isEmpty())
+ if (listed && !m_models.isEmpty())
fault empty-email signing in with an empty e-mail address sends the request
- if (m_username.trimmed().isEmpty() || m_password.isEmpty()) {
+ if (m_password.isEmpty()) {
fault legacy-key-left clearing leaves the key stored under the earlier API host
- Keychain::legacyKeychainService(deployment.legacyApiHost)
+ Keychain::legacyKeychainService(QUrl(deployment.defaultApiRoot).host())
fault relay-message the relay's own error message is not shown
- if (message.isString())
+ if (false)
fault hostless-root an API root without a host is accepted
- if (url.host().isEmpty())
+ if (false)
fault download-replace a new download of an agent package fails where an earlier one lies
- QFile::remove(destination);
+ (void)0;
fault status-text a refusal without a message names the wrong status
- return ServiceTexts::statusReturned + QString::number(status);
+ return ServiceTexts::statusReturned + QString::number(status / 10);
fault token-name-blank a blank key name is sent to the relay
- const QString name = tokenName.trimmed().isEmpty() ? ServiceTexts::fallbackTokenName : tokenName;
+ const QString name = tokenName;
fault auth-json-key Codex finds no key in auth.json
- auth.insert(apiKeyVariable, apiKey);
+ (void)apiKey;
fault codex-flag Codex does not show as connected after connecting
- setConnected(AgentKind::codex, true);
+ setConnected(AgentKind::codex, false);
fault check-key-host the check sends Codex's key to whatever host its files name
- if (kind == AgentKind::codex && (!router || origin(QUrl(local.baseURL)) != origin(*router)))
+ if (kind == AgentKind::codex && (!router || origin(*router) != origin(*router)))
fault check-shadowed the check passes while another velmora- launcher comes first on PATH
- if (!samePath(found, launcher))
+ if (false)
fault check-key-refused a revoked key reads as another refusal, not as the key
- if (status == 401 || status == 403)
+ if (status == 403)
fault check-key-shown the check shows a key the relay quotes back
- text.replace(at, length, QStringLiteral("***"));
+ (void)length;
fault check-version-slow a slow --version fails the check
- if (version.finished && version.exitCode != 0)
+ if (!version.finished || version.exitCode != 0)
FAULTS

echo "caught $caught of $((caught + missed)) faults ($missed missed, $broken not building, $absent not found)"
