#include "domain.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QSaveFile>
#include <cerrno>
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

QJsonObject Domain::environment() const
{
    return read(QStringLiteral("environment.json"));
}

void Domain::setEnvironment(const QJsonObject &environment)
{
    write(QStringLiteral("environment.json"), environment);
}

QJsonObject Domain::jobs() const
{
    return read(QStringLiteral("jobs.json"));
}

void Domain::setJobs(const QJsonObject &jobs)
{
    write(QStringLiteral("jobs.json"), jobs);
}

QJsonObject Domain::read(const QString &name) const
{
    const QString path = m_directory + u'/' + name;
    QFile file(path);
    if (!file.exists())
        return {};
    if (!file.open(QIODevice::ReadOnly))
        fail(path, file.errorString());
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        fail(path, QStringLiteral("damaged: %1").arg(error.errorString()));
    return document.object();
}

// Atomically, and closed to group and others from before the first byte on.
void Domain::write(const QString &name, const QJsonObject &object)
{
    const QString path = m_directory + u'/' + name;
    QSaveFile file(path);
    const mode_t umask = ::umask(077);
    const bool opened = file.open(QIODevice::WriteOnly);
    ::umask(umask);
    if (!opened)
        fail(path, file.errorString());
    if (::fchmod(file.handle(), 0600) != 0) {
        file.cancelWriting();
        failErrno(path);
    }
    file.write(QJsonDocument(object).toJson(QJsonDocument::Indented));
    if (!file.commit())
        fail(path, file.errorString());
    if (::chmod(QFile::encodeName(path).constData(), 0600) != 0)
        failErrno(path);
}
