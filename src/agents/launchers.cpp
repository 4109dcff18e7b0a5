#include "agents/launchers.h"

#include "agents/fileutils.h"

#include <QDir>
#include <QStringList>

namespace Launchers {

namespace {

const QString appDirectory = QStringLiteral(".config/velmora-connect");

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
    lines << descriptor(kind).exportLines(root, model);
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

QString preferredModel(AgentKind kind, const QStringList &modelIDs, const QString &selected)
{
    const QString prefix = modelPrefix(kind);
    if (prefix.isEmpty())
        return selected;
    for (const QString &id : modelIDs) {
        if (id.toLower().startsWith(prefix))
            return id;
    }
    return selected;
}

} // namespace Launchers

void Launchers::writeGeminiSettings(const QString &home)
{
    // Gemini CLI skips a settings file in a folder that anyone but its owner could write to.
    FileUtils::makePrivateDirectory(QDir(home).filePath(Launchers::appDirectory));
    FileUtils::writeJSONObject(Launchers::geminiSettings(), Launchers::geminiSettingsPath(home));
}
