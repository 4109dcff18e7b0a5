#pragma once

#include "agents/launchers.h"
#include "agents/roottext.h"

#include <QJsonObject>
#include <QString>
#include <QUrl>
#include <optional>

// What connecting Codex puts on disk: the two files in ~/.codex and the per-user LaunchAgent
// that hands the key to the desktop application. The builders are pure: they take values and
// return the exact text of a file.
namespace CodexFiles {

// The launchd job and the variable it sets; clearing uses the same names.
inline const QString launchAgentLabel = QStringLiteral("com.velmora.connect.codex-env");
inline const QString apiKeyVariable = QStringLiteral("OPENAI_API_KEY");

// The user's GUI domain, "gui/<uid>", and the job in it, "gui/<uid>/<label>".
QString launchDomain(uint uid);
QString launchAgentTarget(uint uid);

// Codex's files, in its folder ($CODEX_HOME or ~/.codex).
QString configPath(const QString &codexFolder); // config.toml
QString authPath(const QString &codexFolder); // auth.json

// What connecting took out of auth.json that is the user's own (a ChatGPT sign-in's
// "auth_mode" and "tokens", an API key of the user's), and a digest of the key it wrote there,
// kept beside auth.json so that clearing, from whatever environment, finds it and gives the
// user's own back. Codex sends no key at all while auth.json holds a sign-in's tokens. No
// secret of the relay's is in it.
QString signInRecordPath(const QString &codexFolder); // velmora-connect-sign-in.json
// Where earlier versions kept the sign-in alone: clearing still gives it back from there.
QString earlierSignInRecordPath(const QString &appFolder); // codex-sign-in.json

struct SignInRecord
{
    QJsonObject setAside; // auth.json's members of the user's own
    QString writtenKeyDigest; // SHA-256 of the key written, in hex; empty in an earlier record
};
QJsonObject recordObject(const SignInRecord &record);
// An earlier record is the set-aside sign-in alone.
SignInRecord signInRecord(const QJsonObject &object);
QString keyDigest(const QString &apiKey);

struct ConnectedAuth
{
    QJsonObject auth; // auth.json as connecting writes it
    SignInRecord record; // the record to keep beside it
};
// `auth` in API-key mode with `apiKey`, Codex's own way ("auth_mode": "apikey"), its other
// members kept. What auth.json holds of the user's own (a sign-in, a key that is not the one
// connecting wrote before) is set aside; while auth.json is still as connecting left it, the
// record `earlier` keeps what it set aside.
ConnectedAuth connectedAuth(
    QJsonObject auth, const QString &apiKey, const std::optional<SignInRecord> &earlier);
// `auth` without the key connecting wrote: any other key is the user's and stays. While auth.json
// is still in the API-key mode connecting left, without a key of the user's, what was set aside
// comes back; never API-key mode without a key. Without a record, `appKey` says whether the key
// in auth.json is the app's (its config.toml was the app's).
QJsonObject clearedAuth(QJsonObject auth, const std::optional<SignInRecord> &record, bool appKey);

// Paths under the home directory.
QString scriptDirectory(const QString &home); // .local/bin
QString launchAgentsDirectory(const QString &home); // Library/LaunchAgents
QString environmentScriptPath(const QString &home); // .local/bin/velmora-connect-codex-env
QString launchAgentPath(const QString &home); // Library/LaunchAgents/com.velmora.connect.codex-env.plist

// The root text followed by "/v1".
QString relayBaseURL(const QUrl &router);

// `value` as a TOML basic string, quotes included: `"` and `\` escaped, control characters as
// the short escapes or \uXXXX, everything else as is.
QString tomlBasicString(const QString &value);

// The thirteen lines of ~/.codex/config.toml. The values come from the relay (the model id)
// and the window, so they are escaped: no value can end its string and add keys or tables.
QString codexConfigToml(const QString &model, const QString &effort, const QString &baseURL);

// Whether `bytes` are exactly what codexConfigToml() writes for some values: the values are
// read from their lines, and the text built from them must come out the same byte for byte.
// Clearing removes a file behind a link only when it holds what the app wrote there.
bool isCodexConfigToml(const QByteArray &bytes);
// The values of a file that is exactly what codexConfigToml() writes; none for any other.
struct CodexConfigValues
{
    QString model;
    QString effort;
    QString baseURL;
};
std::optional<CodexConfigValues> codexConfigValues(const QByteArray &bytes);

// The four-line script the LaunchAgent runs at login: it reads the key from the Keychain item
// `keychainService` and sets it in the launchd domain. The key itself is never in it; on
// Linux the launchctl stand-in takes the value on standard input, out of the process list.
QString codexEnvironmentScript(const QString &keychainService,
    Launchers::KeyringCommand keyring = Launchers::hostKeyringCommand, const QString &keyFolder = {});

// Whether `bytes` are exactly what codexEnvironmentScript() writes for some Keychain service,
// recognised as isCodexConfigToml() recognises its file.
bool isCodexEnvironmentScript(const QByteArray &bytes,
    Launchers::KeyringCommand keyring = Launchers::hostKeyringCommand, const QString &keyFolder = {});

// `text` with the five XML special characters replaced by their entities.
QString xmlEscaped(const QString &text);

// The seven-line property list of the LaunchAgent that runs `scriptPath` at load. No line feed
// after the last line.
QString launchAgentPlist(const QString &scriptPath);

} // namespace CodexFiles
