#include "agents/launchers.h"

#include "agents/fileutils.h"

#include <QStringList>

namespace Launchers {

QString launcherScript(
    AgentKind kind, const QString &root, const QString &keychainService, const QString &model)
{
    QStringList lines;
    lines << QStringLiteral("#!/bin/sh") << QStringLiteral("set -eu")
          << QStringLiteral("velmora_key=\"$(security find-generic-password -a \"$USER\" -s ")
            + FileUtils::shellQuote(keychainService) + QStringLiteral(" -w)\"");
    lines << descriptor(kind).exportLines(root, model);
    lines << QStringLiteral("exec ") + command(kind) + QStringLiteral(" \"$@\"");
    return lines.join(u'\n') + u'\n';
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
