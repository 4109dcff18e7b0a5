#include "domain.h"

#include "agents/securefile.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

[[noreturn]] void fail(const QString &path, const QString &description)
{
    throw std::runtime_error((path + QStringLiteral(": ") + description).toStdString());
}

[[noreturn]] void failErrno(const QString &path)
{
    fail(path, QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace

QString Domain::directory(uint uid)
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (!QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/velmora-connect/launchd/gui-") + QString::number(uid);
}

Domain::Domain(uint uid)
    : m_directory(directory(uid))
{
    if (!QDir().mkpath(m_directory))
        fail(m_directory, QStringLiteral("cannot create the directory"));
    if (::chmod(QFile::encodeName(m_directory).constData(), 0700) != 0)
        failErrno(m_directory);
    const QString lockPath = m_directory + QStringLiteral("/lock");
    m_lock = ::open(QFile::encodeName(lockPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_lock < 0)
        failErrno(lockPath);
    if (::flock(m_lock, LOCK_EX) != 0)
        failErrno(lockPath);
}

Domain::~Domain()
{
    if (m_lock >= 0)
        ::close(m_lock); // releases the lock
}

QJsonObject Domain::environment(IfDamaged ifDamaged) const
{
    return read(QStringLiteral("environment.json"), ifDamaged);
}

void Domain::setEnvironment(const QJsonObject &environment)
{
    write(QStringLiteral("environment.json"), environment);
}

QJsonObject Domain::jobs(IfDamaged ifDamaged) const
{
    return read(QStringLiteral("jobs.json"), ifDamaged);
}

void Domain::setJobs(const QJsonObject &jobs)
{
    write(QStringLiteral("jobs.json"), jobs);
}

QJsonObject Domain::read(const QString &name, IfDamaged ifDamaged) const
{
    const QString path = m_directory + u'/' + name;
    QFile file(path);
    if (!file.exists())
        return {};
    const QString irregularity = SecureFile::irregularity(path);
    if (!irregularity.isEmpty())
        fail(path, irregularity);
    if (!file.open(QIODevice::ReadOnly))
        fail(path, file.errorString());
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error == QJsonParseError::NoError && document.isObject())
        return document.object();
    const QString damage
        = QStringLiteral("damaged: %1")
              .arg(document.isNull() ? error.errorString() : QStringLiteral("not an object"));
    if (ifDamaged == IfDamaged::fail)
        fail(path, damage);
    if (!file.remove())
        fail(path, damage);
    const QByteArray notice
        = (path + QStringLiteral(": ") + damage + QStringLiteral("; removed\n")).toLocal8Bit();
    std::fwrite(notice.constData(), 1, notice.size(), stderr);
    return {};
}

void Domain::write(const QString &name, const QJsonObject &object)
{
    const QString path = m_directory + u'/' + name;
    // Earlier versions of this tool set a damaged file aside whole, keys and all.
    QFile::remove(path + QStringLiteral(".damaged"));
    const QString error
        = SecureFile::write(path, QJsonDocument(object).toJson(QJsonDocument::Indented), 0600);
    if (!error.isEmpty())
        fail(path, error);
}
