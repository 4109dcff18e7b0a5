#include "deployment.h"
#include "platform/platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <pwd.h>
#include <unistd.h>

using namespace std::chrono_literals;

SystemPlatform::SystemPlatform(FileOpener opener)
    : m_opener(std::move(opener))
{
}

QString SystemPlatform::homePath() const
{
    return QDir::homePath();
}

QString SystemPlatform::downloadsPath() const
{
    return QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
}

QString SystemPlatform::userName() const
{
    const passwd *entry = getpwuid(getuid());
    return entry ? QString::fromLocal8Bit(entry->pw_name) : qEnvironmentVariable("USER");
}

QProcessEnvironment SystemPlatform::environment() const
{
    return QProcessEnvironment::systemEnvironment();
}

uint SystemPlatform::userId() const
{
    return getuid();
}

#ifdef Q_OS_MACOS
QString SystemPlatform::securityTool() const
{
    return QStringLiteral("/usr/bin/security");
}

QString SystemPlatform::launchctlTool() const
{
    return QStringLiteral("/bin/launchctl");
}
#else
// On Linux the stand-ins are installed into their own directory below libexec, and sit beside
// the application in the build tree.
static QString standInPath(const QString &name)
{
    const QDir applicationDir(QCoreApplication::applicationDirPath());
    const QString installed
        = QDir::cleanPath(applicationDir.filePath(QStringLiteral(VELMORA_STAND_IN_DIR "/") + name));
    return QFileInfo::exists(installed) ? installed : applicationDir.filePath(name);
}

QString SystemPlatform::securityTool() const
{
    return standInPath(QStringLiteral("security"));
}

QString SystemPlatform::launchctlTool() const
{
    return standInPath(QStringLiteral("launchctl"));
}
#endif

bool SystemPlatform::codexAppInstalled() const
{
    return QFileInfo::exists(QStringLiteral("/Applications/Codex.app"));
}

void SystemPlatform::openFile(const QString &path)
{
    if (m_opener)
        m_opener(path);
}

DeploymentValues SystemPlatform::deployment() const
{
    return { QString::fromUtf8(Deployment::defaultApiRoot), QString::fromUtf8(Deployment::legacyApiHost),
        QUrl(QString::fromUtf8(Deployment::downloadServer)), QString::fromUtf8(Deployment::supportQQ) };
}

QDateTime SystemPlatform::currentTime() const
{
    return QDateTime::currentDateTimeUtc();
}

std::chrono::milliseconds SystemPlatform::transferTimeout() const
{
    return 12s;
}

std::chrono::milliseconds SystemPlatform::downloadStallTimeout() const
{
    return 60s;
}

// The keyring may wait for the user to unlock it, and `launchctl bootout` for the job to quit.
std::chrono::milliseconds SystemPlatform::toolTimeout() const
{
    return 30s;
}

std::shared_ptr<Platform> systemPlatform(SystemPlatform::FileOpener opener)
{
    return std::make_shared<SystemPlatform>(std::move(opener));
}
