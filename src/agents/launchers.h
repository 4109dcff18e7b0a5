#pragma once

#include "agents/agentkind.h"
#include "platform/remote.h"

#include <QList>
#include <QString>
#include <QUrl>

// Pure builders of the launcher scripts in ~/.local/bin.
namespace Launchers {

// The whole launcher of `kind`: it reads the key stored under `keychainService` with
// `security`, exports the agent's variables and replaces itself with the agent. The key
// itself never appears in it.
QString launcherScript(
    AgentKind kind, const QString &root, const QString &keychainService, const QString &model);

// The model a launcher or provider file names: for OpenCode `selected`; for the others the
// first model in `models` whose id, in lower case, begins with the kind's prefix (its letters
// as listed), else `selected`.
QString preferredModel(AgentKind kind, const QList<RemoteModel> &models, const QString &selected);

} // namespace Launchers
