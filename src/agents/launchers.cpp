#include "agents/launchers.h"

#include "agents/agenttexts.h"
#include "agents/codexfiles.h"
#include "agents/fileutils.h"
#include "service/connecterror.h"
#include "state/connectstate.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace Launchers {

namespace {

const QString appDirectory = QStringLiteral(".config/velmora-connect");
const QString geminiSettingsFile = appDirectory + QStringLiteral("/gemini-settings.json");

QStringList exportLines(AgentKind kind, const QString &root, const QString &model)
{
    using FileUtils::shellQuote;
    switch (kind) {
    case AgentKind::claudeCode:
        return { QStringLiteral("export ANTHROPIC_BASE_URL=") + shellQuote(root),
            QStringLiteral("export ANTHROPIC_AUTH_TOKEN=\"$velmora_key\""),
            QStringLiteral("export CLAUDE_CODE_DISABLE_NONESSENTIAL_TRAFFIC=1"),
            QStringLiteral("export CLAUDE_CODE_ATTRIBUTION_HEADER=0") };
    case AgentKind::geminiCLI:
        return { QStringLiteral("export GOOGLE_GEMINI_BASE_URL=") + shellQuote(root),
            QStringLiteral("export GEMINI_API_KEY=\"$velmora_key\""),
            QStringLiteral("export GEMINI_MODEL=") + shellQuote(model),
            QStringLiteral("export GEMINI_API_KEY_AUTH_MECHANISM=bearer"),
            QStringLiteral("export GEMINI_CLI_SYSTEM_SETTINGS_PATH=\"$HOME/") + geminiSettingsFile + u'"' };
    case AgentKind::kimiCode:
        return { QStringLiteral("export KIMI_MODEL_NAME=") + shellQuote(model),
            QStringLiteral("export KIMI_MODEL_PROVIDER_TYPE=openai"),
            QStringLiteral("export KIMI_MODEL_API_KEY=\"$velmora_key\""),
            QStringLiteral("export KIMI_MODEL_BASE_URL=") + shellQuote(root + QStringLiteral("/v1")),
            QStringLiteral("export KIMI_MODEL_MAX_CONTEXT_SIZE=1048576") };
    case AgentKind::openCode:
        return { QStringLiteral("export VELMORA_API_KEY=\"$velmora_key\"") };
    case AgentKind::deepSeek:
        return { QStringLiteral("export DEEPSEEK_API_KEY=\"$velmora_key\"") };
    }
    return {};
}

} // namespace

QString keychainLine(const QString &keychainService, KeyringCommand keyring)
{
    const QString service = FileUtils::shellQuote(keychainService);
    if (keyring == KeyringCommand::secretTool)
        return QStringLiteral("velmora_key=\"$(secret-tool lookup service ") + service
            + QStringLiteral(" account \"$USER\")\"");
    return QStringLiteral("velmora_key=\"$(security find-generic-password -a \"$USER\" -s ") + service
        + QStringLiteral(" -w)\"");
}

QString launcherScript(AgentKind kind, const QString &root, const QString &keychainService,
    const QString &model, KeyringCommand keyring)
{
    QStringList lines;
    lines << QStringLiteral("#!/bin/sh") << QStringLiteral("set -eu")
          << keychainLine(keychainService, keyring);
    lines << exportLines(kind, root, model);
    lines << QStringLiteral("exec ") + command(kind) + QStringLiteral(" \"$@\"");
    return lines.join(u'\n') + u'\n';
}

QString geminiSettingsPath(const QString &home)
{
    return QDir(home).filePath(geminiSettingsFile);
}

QJsonObject geminiSettings()
{
    const QJsonObject auth { { QStringLiteral("selectedType"), QStringLiteral("gemini-api-key") } };
    return { { QStringLiteral("security"), QJsonObject { { QStringLiteral("auth"), auth } } } };
}

QString preferredModel(AgentKind kind, const QList<RemoteModel> &models, const QString &selected)
{
    const QString prefix = modelPrefix(kind);
    if (prefix.isEmpty())
        return selected;
    for (const RemoteModel &model : models) {
        if (model.id.toLower().startsWith(prefix))
            return model.id;
    }
    return selected;
}

} // namespace Launchers

namespace {

// Creates `path` closed to group and others when it is missing. Gemini CLI skips a settings
// file in a folder that anyone but its owner could write to.
void makePrivateDirectory(const QString &path)
{
    if (::mkdir(QFile::encodeName(path).constData(), 0700) != 0 && errno != EEXIST)
        throw PlatformError(path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno)));
}

void writeGeminiSettings(const QString &home)
{
    makePrivateDirectory(QDir(home).filePath(QStringLiteral(".config")));
    const QString directory = QDir(home).filePath(Launchers::appDirectory);
    makePrivateDirectory(directory);
    if (::chmod(QFile::encodeName(directory).constData(), 0700) != 0) // the app's own, whatever it was
        throw PlatformError(directory + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno)));
    FileUtils::writeJSONObject(Launchers::geminiSettings(), Launchers::geminiSettingsPath(home));
}

} // namespace

void ConnectState::configureClaudeCode()
{
    configureAgent(AgentKind::claudeCode);
}

void ConnectState::configureGeminiCLI()
{
    configureAgent(AgentKind::geminiCLI);
}

void ConnectState::configureKimiCode()
{
    configureAgent(AgentKind::kimiCode);
}

void ConnectState::configureOpenCode()
{
    configureAgent(AgentKind::openCode);
}

void ConnectState::configureDeepSeekAgent()
{
    configureAgent(AgentKind::deepSeek);
}

void ConnectState::configureAgent(AgentKind kind)
{
    if (!admitWhileBusy(Operation::configureAgent))
        return;
    if (!m_authenticated) {
        setActivity(AgentTexts::signInFirst);
        return;
    }
    const std::optional<QUrl> router = normalizedRouterURL();
    if (!router) {
        setActivity(AgentTexts::signInFirst);
        return;
    }
    if (!m_selectedGroupID) {
        setActivity(AgentTexts::chooseGroupFirst);
        return;
    }
    beginBusy(AgentTexts::configuringPrefix + title(kind) + AgentTexts::configuringSuffix);
    configureAgentTask(kind, *router);
}

QCoro::Task<> ConnectState::configureAgentTask(AgentKind kind, QUrl router)
{
    auto scope = busyScope();
    const QPointer<ConnectState> self(this);
    try {
        // The launcher reads the key from the keychain itself; resolving only makes sure that
        // it is stored there, under the name the launcher will carry.
        co_await resolveCodexToken(router);
        if (!self)
            co_return;
        configureAgentWrapper(kind, router);
        setConnected(kind, true);
        setActivity(title(kind) + AgentTexts::connectedSuffix);
    } catch (...) {
        if (self)
            setActivity(AgentTexts::configureFailedPrefix + describe(std::current_exception()));
    }
}

void ConnectState::configureAgentWrapper(AgentKind kind, const QUrl &router)
{
    // First: the backup directory below would otherwise create ~/.config with the default mode.
    if (kind == AgentKind::geminiCLI)
        writeGeminiSettings(m_platform->homePath());
    const QString backup = backupDirectory(); // one directory for every file of this run
    const QString bin = CodexFiles::scriptDirectory(m_platform->homePath());
    FileUtils::makeDirectory(bin);
    const QString launcher = bin + u'/' + wrapperName(kind);
    FileUtils::backupFile(launcher, backup);

    const QString root = rootText(router);
    const QString model = preferredModel(kind);
    // The provider entry comes first: when it cannot be merged, no launcher is written.
    if (kind == AgentKind::openCode)
        configureOpenCode(router, model, backup);
    else if (kind == AgentKind::deepSeek)
        configureDeepSeekCrush(router, model, backup);

    FileUtils::writeSecure(Launchers::launcherScript(kind, root, m_activeKeychainService, model), launcher,
        FileUtils::scriptMode);
}

QString ConnectState::preferredModel(AgentKind kind) const
{
    return Launchers::preferredModel(kind, m_models, m_selectedModel);
}
