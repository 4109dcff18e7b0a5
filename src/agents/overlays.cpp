#include "agents/overlays.h"

#include "agents/fileutils.h"

#include <QJsonDocument>

namespace Overlays {

QJsonObject claudeSettings(const QString &root, const QString &model)
{
    // Empty values hide another provider's token or key from the user's `env` block.
    QJsonObject env { { QStringLiteral("ANTHROPIC_API_KEY"), QString() },
        { QStringLiteral("ANTHROPIC_AUTH_TOKEN"), QString() },
        { QStringLiteral("ANTHROPIC_BASE_URL"), root } };
    // Every model Claude Code requests in a session: the main one, the aliases a user may switch
    // to, the small model of background tasks and the subagents' (the older and the current name).
    if (!model.isEmpty()) {
        for (const char *name :
            { "ANTHROPIC_MODEL", "ANTHROPIC_DEFAULT_OPUS_MODEL", "ANTHROPIC_DEFAULT_SONNET_MODEL",
                "ANTHROPIC_DEFAULT_HAIKU_MODEL", "ANTHROPIC_SMALL_FAST_MODEL", "CLAUDE_CODE_SUBAGENT_MODEL" })
            env.insert(QLatin1String(name), model);
    }
    return { { QStringLiteral("apiKeyHelper"), QStringLiteral("printf %s \"$") + keyVariable + u'"' },
        { QStringLiteral("env"), env } };
}

QJsonObject geminiSettings()
{
    const QJsonObject auth { { QStringLiteral("selectedType"), QStringLiteral("gemini-api-key") } };
    return { { QStringLiteral("security"), QJsonObject { { QStringLiteral("auth"), auth } } } };
}

QString geminiHome(const QString &appFolder)
{
    return appFolder + QStringLiteral("/gemini");
}

QString geminiSettingsPath(const QString &appFolder)
{
    return geminiHome(appFolder) + QStringLiteral("/.gemini/settings.json");
}

QJsonObject openCodeConfig(const QString &model)
{
    return { { QStringLiteral("model"), QStringLiteral("velmora/") + model } };
}

QJsonObject crushSelection(const QString &model)
{
    const QJsonObject selected { { QStringLiteral("model"), model },
        { QStringLiteral("provider"), QStringLiteral("velmora-deepseek") } };
    return { { QStringLiteral("models"),
        QJsonObject { { QStringLiteral("large"), selected }, { QStringLiteral("small"), selected } } } };
}

QString crushData(const QString &appFolder)
{
    return appFolder + QStringLiteral("/crush");
}

QString crushSelectionPath(const QString &appFolder)
{
    return crushData(appFolder) + QStringLiteral("/crush.json");
}

QString compact(const QJsonObject &object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

void writeGeminiSettings(const QString &appFolder)
{
    // Gemini CLI skips a settings file in a folder that anyone but its owner could write to.
    FileUtils::makePrivateDirectory(appFolder);
    FileUtils::makePrivateDirectory(geminiHome(appFolder));
    FileUtils::makePrivateDirectory(geminiHome(appFolder) + QStringLiteral("/.gemini"));
    FileUtils::writeJSONObject(geminiSettings(), geminiSettingsPath(appFolder));
}

void writeCrushSelection(const QString &appFolder, const QString &model)
{
    FileUtils::makePrivateDirectory(appFolder);
    FileUtils::makePrivateDirectory(crushData(appFolder));
    FileUtils::writeJSONObject(crushSelection(model), crushSelectionPath(appFolder));
}

} // namespace Overlays
