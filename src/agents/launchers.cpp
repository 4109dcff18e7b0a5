#include "agents/launchers.h"

#include "agents/fileutils.h"

namespace Launchers {

QString keychainLine(const QString &keychainService, KeyringCommand keyring, const QString &keyFolder)
{
    const QString service = FileUtils::shellQuote(keychainService);
    // The folder and the name quoted apart, so that the name stands alone as in the other lines.
    if (keyring == KeyringCommand::file)
        return QStringLiteral("velmora_key=\"$(cat -- ") + FileUtils::shellQuote(keyFolder) + u'/' + service
            + QStringLiteral(")\"");
    // "--" ends secret-tool's options: no value of $USER can become one.
    if (keyring == KeyringCommand::secretTool)
        return QStringLiteral("velmora_key=\"$(secret-tool lookup -- service ") + service
            + QStringLiteral(" account \"$USER\")\"");
    return QStringLiteral("velmora_key=\"$(security find-generic-password -a \"$USER\" -s ") + service
        + QStringLiteral(" -w)\"");
}

QString launcherScript(AgentKind kind, const LauncherValues &values, const QString &keychainService,
    KeyringCommand keyring, const QString &keyFolder)
{
    const AgentDescriptor &agent = descriptor(kind);
    QStringList lines;
    lines << QStringLiteral("#!/bin/sh") << QStringLiteral("set -eu")
          << keychainLine(keychainService, keyring, keyFolder);
    lines << agent.exportLines(values);
    QString exec = QStringLiteral("exec ") + agent.command.toString();
    if (agent.commandOptions)
        exec += u' ' + agent.commandOptions(values);
    lines << exec + QStringLiteral(" \"$@\"");
    return lines.join(u'\n') + u'\n';
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
