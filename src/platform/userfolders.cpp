#include "platform/userfolders.h"

#include <QDir>

namespace {

// A relative value would name a different folder in every working directory; the agents
// themselves fall back to their default for it.
QString absoluteOr(const QProcessEnvironment &environment, const QString &name, const QString &fallback)
{
    const QString value = environment.value(name);
    return !value.isEmpty() && QDir::isAbsolutePath(value) ? QDir::cleanPath(value) : fallback;
}

} // namespace

UserFolders UserFolders::from(const QString &home, const QProcessEnvironment &environment)
{
    const QDir dir(home);
    return { home,
        absoluteOr(environment, QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral(".config"))),
        absoluteOr(environment, QStringLiteral("CODEX_HOME"), dir.filePath(QStringLiteral(".codex"))) };
}
