#include "agents/agentsettings.h"

#include "agents/codexfiles.h"
#include "agents/fileutils.h"

#include <QDir>
#include <QJsonDocument>

namespace {

// The object in `path`; empty when it is missing or cannot be read: a file the agent itself
// could not read overrides nothing.
QJsonObject readObject(const QString &path)
{
    try {
        return FileUtils::jsonObject(path);
    } catch (...) {
        return {};
    }
}

bool switchedOn(const QString &value)
{
    return value == u"1" || value.compare(u"true", Qt::CaseInsensitive) == 0;
}

} // namespace

namespace AgentSettings {

std::optional<Override> codexOverride(const UserFolders &folders, const QProcessEnvironment &shell)
{
    const QString codex = UserFolders::from(folders.home, shell).codex;
    if (codex != folders.codex)
        return Override { QStringLiteral("CODEX_HOME"), codex };
    const QString path = CodexFiles::authPath(folders.codex);
    const QJsonObject auth = readObject(path);
    const QString mode = auth.value(QStringLiteral("auth_mode")).toString();
    if (mode != u"apikey")
        return Override { path,
            QStringLiteral("auth_mode: ") + (mode.isEmpty() ? QStringLiteral("—") : mode) };
    const QJsonValue tokens = auth.value(QStringLiteral("tokens"));
    if (!tokens.isUndefined() && !tokens.isNull())
        return Override { path, QStringLiteral("tokens") };
    if (auth.value(CodexFiles::apiKeyVariable).toString().isEmpty())
        return Override { path, CodexFiles::apiKeyVariable };
    return std::nullopt;
}

std::optional<Override> claudeOverride(const UserFolders &folders, const QProcessEnvironment &shell)
{
    const QString configDir = shell.value(QStringLiteral("CLAUDE_CONFIG_DIR"));
    const QString path
        = (QDir::isAbsolutePath(configDir) ? configDir : folders.home + QStringLiteral("/.claude"))
        + QStringLiteral("/settings.json");
    const QJsonObject env = readObject(path).value(QStringLiteral("env")).toObject();
    for (const QString &name : { QStringLiteral("CLAUDE_CODE_USE_BEDROCK"),
             QStringLiteral("CLAUDE_CODE_USE_VERTEX"), QStringLiteral("CLAUDE_CODE_USE_FOUNDRY") }) {
        if (switchedOn(shell.value(name)))
            return Override { name, shell.value(name) };
        if (switchedOn(env.value(name).toVariant().toString()))
            return Override { path, QStringLiteral("env.") + name };
    }
    return std::nullopt;
}

bool codexReportsKey(const QString &output, const QString &, const QString &)
{
    return output.contains(QStringLiteral("API key"));
}

bool openCodeResolvesRelay(const QString &output, const QString &baseURL, const QString &model)
{
    const qsizetype begin = output.indexOf(u'{');
    const QJsonObject config
        = begin < 0 ? QJsonObject() : QJsonDocument::fromJson(output.sliced(begin).toUtf8()).object();
    const QJsonObject options = config.value(QStringLiteral("provider"))
                                    .toObject()
                                    .value(QStringLiteral("velmora"))
                                    .toObject()
                                    .value(QStringLiteral("options"))
                                    .toObject();
    return config.value(QStringLiteral("model")).toString() == QStringLiteral("velmora/") + model
        && options.value(QStringLiteral("baseURL")).toString() == baseURL;
}

} // namespace AgentSettings
