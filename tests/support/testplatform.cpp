#include "testplatform.h"

#include <QDir>
#include <pwd.h>
#include <unistd.h>

TestPlatform::TestPlatform()
    : home(QDir::homePath())
    , downloads(QDir::homePath() + QStringLiteral("/Downloads"))
    , uid(getuid())
    , security(builtToolPath(QStringLiteral("security")))
    , launchctl(builtToolPath(QStringLiteral("launchctl")))
    , deploymentValues { QStringLiteral("https://api.velmora.example"),
        QStringLiteral("api-legacy.velmora.example"),
        QUrl(QStringLiteral("https://download.velmora.example")), QStringLiteral("800000000") }
{
    const passwd *entry = getpwuid(getuid());
    user = entry ? QString::fromLocal8Bit(entry->pw_name) : qEnvironmentVariable("USER");
}

QDateTime TestPlatform::currentTime() const
{
    return now ? *now : QDateTime::currentDateTimeUtc();
}

QString builtToolPath(const QString &name)
{
    return QStringLiteral(VELMORA_BIN_DIR "/") + name;
}
