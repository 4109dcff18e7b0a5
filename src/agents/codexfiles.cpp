#include "agents/codexfiles.h"

#include "agents/fileutils.h"

#include <QCryptographicHash>
#include <QDir>
#include <QStringList>

namespace {

// The value that CodexFiles::tomlBasicString() turned into `quoted`. Text of another form
// gives some value whose string differs from it, which the caller's comparison rejects.
QString tomlBasicStringValue(QStringView quoted)
{
    QString value;
    const QStringView inner = quoted.mid(1, quoted.size() - 2);
    for (qsizetype i = 0; i < inner.size(); ++i) {
        const QChar c = inner[i];
        if (c != u'\\' || i + 1 == inner.size()) {
            value += c;
            continue;
        }
        const char16_t escape = inner[++i].unicode();
        const qsizetype shortEscape = QStringView(u"btnfr").indexOf(QChar(escape));
        if (shortEscape >= 0) {
            value += QStringView(u"\b\t\n\f\r")[shortEscape];
        } else if (escape == u'u') {
            value += QChar(inner.mid(i + 1, 4).toUShort(nullptr, 16));
            i += 4;
        } else {
            value += QChar(escape); // a quote or a backslash
        }
    }
    return value;
}

// What stands in `line` where `pattern` holds `marker`; empty when `line` does not begin and end
// as `pattern` does around it.
QString filling(QStringView line, QStringView pattern, QStringView marker)
{
    const qsizetype at = pattern.indexOf(marker);
    if (at < 0)
        return {};
    const QStringView head = pattern.first(at);
    const QStringView tail = pattern.sliced(at + marker.size());
    if (line.size() < head.size() + tail.size() || !line.startsWith(head) || !line.endsWith(tail))
        return {};
    return line.sliced(head.size(), line.size() - head.size() - tail.size()).toString();
}

} // namespace

namespace CodexFiles {

QString launchDomain(uint uid)
{
    return QStringLiteral("gui/") + QString::number(uid);
}

QString launchAgentTarget(uint uid)
{
    return launchDomain(uid) + u'/' + launchAgentLabel;
}

QString configPath(const QString &codexFolder)
{
    return QDir(codexFolder).filePath(QStringLiteral("config.toml"));
}

QString authPath(const QString &codexFolder)
{
    return QDir(codexFolder).filePath(QStringLiteral("auth.json"));
}

QString signInRecordPath(const QString &codexFolder)
{
    return QDir(codexFolder).filePath(QStringLiteral("velmora-connect-sign-in.json"));
}

QString earlierSignInRecordPath(const QString &appFolder)
{
    return QDir(appFolder).filePath(QStringLiteral("codex-sign-in.json"));
}

namespace {

const QString authModeKey = QStringLiteral("auth_mode");
const QString tokensKey = QStringLiteral("tokens");
const QString apiKeyMode = QStringLiteral("apikey");
const QString setAsideKey = QStringLiteral("set_aside");
const QString digestKey = QStringLiteral("written_key_sha256");

bool hasTokens(const QJsonObject &auth)
{
    return auth.contains(tokensKey) && !auth.value(tokensKey).isNull();
}

// Whether the key in `auth` is the one the record says connecting wrote. An earlier record
// has no digest: then connecting wrote the key whenever auth.json is in its API-key mode.
bool writtenKey(const QJsonObject &auth, const SignInRecord &record)
{
    const QJsonValue key = auth.value(apiKeyVariable);
    if (!key.isString())
        return false;
    return record.writtenKeyDigest.isEmpty() || keyDigest(key.toString()) == record.writtenKeyDigest;
}

bool inApiKeyMode(const QJsonObject &auth)
{
    return auth.value(authModeKey) == apiKeyMode && !hasTokens(auth);
}

} // namespace

QJsonObject recordObject(const SignInRecord &record)
{
    return { { setAsideKey, record.setAside }, { digestKey, record.writtenKeyDigest } };
}

SignInRecord signInRecord(const QJsonObject &object)
{
    if (!object.contains(setAsideKey)) {
        QJsonObject signIn;
        for (const QString &key : { authModeKey, tokensKey }) {
            if (object.contains(key))
                signIn.insert(key, object.value(key));
        }
        return { signIn, QString() };
    }
    return { object.value(setAsideKey).toObject(), object.value(digestKey).toString() };
}

QString keyDigest(const QString &apiKey)
{
    return QString::fromLatin1(QCryptographicHash::hash(apiKey.toUtf8(), QCryptographicHash::Sha256).toHex());
}

ConnectedAuth connectedAuth(
    QJsonObject auth, const QString &apiKey, const std::optional<SignInRecord> &earlier)
{
    ConnectedAuth connected;
    const QJsonValue key = auth.value(apiKeyVariable);
    // Connected before, and nothing of the user's came in since: what was set aside stays so.
    if (earlier && inApiKeyMode(auth) && (!key.isString() || writtenKey(auth, *earlier))) {
        connected.record.setAside = earlier->setAside;
    } else {
        for (const QString &member : { authModeKey, tokensKey }) {
            if (auth.contains(member))
                connected.record.setAside.insert(member, auth.value(member));
        }
        // The same key again is the relay's, whoever wrote it.
        const bool relays = key == apiKey || (earlier && writtenKey(auth, *earlier));
        if (auth.contains(apiKeyVariable) && !(key.isString() && relays))
            connected.record.setAside.insert(apiKeyVariable, key);
        else if (connected.record.setAside.value(authModeKey) == apiKeyMode)
            connected.record.setAside.remove(authModeKey); // the API-key mode was the relay's
    }
    connected.record.writtenKeyDigest = keyDigest(apiKey);
    auth.remove(tokensKey);
    auth.insert(authModeKey, apiKeyMode);
    auth.insert(apiKeyVariable, apiKey);
    connected.auth = auth;
    return connected;
}

QJsonObject clearedAuth(QJsonObject auth, const std::optional<SignInRecord> &record, bool appKey)
{
    if (!auth.value(apiKeyVariable).isString() || !(record ? writtenKey(auth, *record) : appKey))
        return auth; // no key of the app's: the user's file as it is
    auth.remove(apiKeyVariable);
    // A sign-in the user made since connecting stays as it is.
    if (!inApiKeyMode(auth))
        return auth;
    auth.remove(authModeKey);
    const QJsonObject setAside = record ? record->setAside : QJsonObject();
    for (auto member = setAside.begin(); member != setAside.end(); ++member)
        auth.insert(member.key(), member.value());
    if (auth.value(authModeKey) == apiKeyMode && !auth.value(apiKeyVariable).isString())
        auth.remove(authModeKey);
    return auth;
}

QString scriptDirectory(const QString &home)
{
    return QDir(home).filePath(QStringLiteral(".local/bin"));
}

QString launchAgentsDirectory(const QString &home)
{
    return QDir(home).filePath(QStringLiteral("Library/LaunchAgents"));
}

QString environmentScriptPath(const QString &home)
{
    return QDir(home).filePath(QStringLiteral(".local/bin/velmora-connect-codex-env"));
}

QString launchAgentPath(const QString &home)
{
    return QDir(home).filePath(
        QStringLiteral("Library/LaunchAgents/") + launchAgentLabel + QStringLiteral(".plist"));
}

QString relayBaseURL(const QUrl &router)
{
    return rootText(router) + QStringLiteral("/v1");
}

QString tomlBasicString(const QString &value)
{
    QString quoted;
    quoted.reserve(value.size() + 2);
    quoted += u'"';
    for (const QChar c : value) {
        switch (c.unicode()) {
        case u'"':
            quoted += QStringLiteral("\\\"");
            break;
        case u'\\':
            quoted += QStringLiteral("\\\\");
            break;
        case u'\b':
            quoted += QStringLiteral("\\b");
            break;
        case u'\t':
            quoted += QStringLiteral("\\t");
            break;
        case u'\n':
            quoted += QStringLiteral("\\n");
            break;
        case u'\f':
            quoted += QStringLiteral("\\f");
            break;
        case u'\r':
            quoted += QStringLiteral("\\r");
            break;
        default:
            if (c.unicode() < 0x20 || c.unicode() == 0x7f)
                quoted += QStringLiteral("\\u")
                    + QString::number(c.unicode(), 16).toUpper().rightJustified(4, u'0');
            else
                quoted += c;
        }
    }
    quoted += u'"';
    return quoted;
}

QString codexConfigToml(const QString &model, const QString &effort, const QString &baseURL)
{
    const QString modelText = tomlBasicString(model);
    const QStringList lines {
        QStringLiteral("model_provider = \"OpenAI\""),
        QStringLiteral("model = ") + modelText,
        QStringLiteral("review_model = ") + modelText,
        QStringLiteral("model_reasoning_effort = ") + tomlBasicString(effort),
        QStringLiteral("disable_response_storage = true"),
        QStringLiteral("network_access = \"enabled\""),
        QStringLiteral("windows_wsl_setup_acknowledged = true"),
        QString(),
        QStringLiteral("[model_providers.OpenAI]"),
        QStringLiteral("name = \"OpenAI\""),
        QStringLiteral("base_url = ") + tomlBasicString(baseURL),
        QStringLiteral("wire_api = \"responses\""),
        QStringLiteral("requires_openai_auth = true"),
    };
    return lines.join(u'\n') + u'\n';
}

std::optional<CodexConfigValues> codexConfigValues(const QByteArray &bytes)
{
    const QStringList lines = QString::fromUtf8(bytes).split(u'\n');
    // The values stand on lines 2, 4 and 11.
    const auto value = [&](qsizetype line, QStringView key) {
        const QString text = lines.value(line);
        return text.startsWith(key) ? tomlBasicStringValue(QStringView(text).sliced(key.size())) : QString();
    };
    const CodexConfigValues values { value(1, u"model = "), value(3, u"model_reasoning_effort = "),
        value(10, u"base_url = ") };
    if (codexConfigToml(values.model, values.effort, values.baseURL).toUtf8() != bytes)
        return std::nullopt;
    return values;
}

bool isCodexConfigToml(const QByteArray &bytes)
{
    return codexConfigValues(bytes).has_value();
}

QString codexEnvironmentScript(
    const QString &keychainService, Launchers::KeyringCommand keyring, const QString &keyFolder)
{
    const QStringList lines {
        QStringLiteral("#!/bin/sh"),
        QStringLiteral("set -eu"),
        Launchers::keychainLine(keychainService, keyring, keyFolder),
        keyring == Launchers::KeyringCommand::security
            ? QStringLiteral("launchctl setenv ") + apiKeyVariable + QStringLiteral(" \"$velmora_key\"")
            : QStringLiteral("printf '%s' \"$velmora_key\" | launchctl setenv ") + apiKeyVariable,
    };
    return lines.join(u'\n') + u'\n';
}

bool isCodexEnvironmentScript(
    const QByteArray &bytes, Launchers::KeyringCommand keyring, const QString &keyFolder)
{
    // The service stands shell-quoted on the third line, where the line built for a marker
    // holds the quoted marker.
    const QString marker = QStringLiteral("\x01");
    const QString quoted = filling(QString::fromUtf8(bytes).section(u'\n', 2, 2),
        Launchers::keychainLine(marker, keyring, keyFolder), FileUtils::shellQuote(marker));
    const QString service
        = quoted.mid(1, quoted.size() - 2).replace(QStringLiteral("'\"'\"'"), QStringLiteral("'"));
    return codexEnvironmentScript(service, keyring, keyFolder).toUtf8() == bytes;
}

QString xmlEscaped(const QString &text)
{
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'&':
            escaped += QStringLiteral("&amp;");
            break;
        case u'<':
            escaped += QStringLiteral("&lt;");
            break;
        case u'>':
            escaped += QStringLiteral("&gt;");
            break;
        case u'"':
            escaped += QStringLiteral("&quot;");
            break;
        case u'\'':
            escaped += QStringLiteral("&apos;");
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

QString launchAgentPlist(const QString &scriptPath)
{
    const QStringList lines {
        QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"),
        QStringLiteral("<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                       "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">"),
        QStringLiteral("<plist version=\"1.0\"><dict>"),
        QStringLiteral("  <key>Label</key><string>") + launchAgentLabel + QStringLiteral("</string>"),
        QStringLiteral("  <key>ProgramArguments</key><array><string>") + xmlEscaped(scriptPath)
            + QStringLiteral("</string></array>"),
        QStringLiteral("  <key>RunAtLoad</key><true/>"),
        QStringLiteral("</dict></plist>"),
    };
    return lines.join(u'\n');
}

} // namespace CodexFiles
