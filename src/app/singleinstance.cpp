#include "singleinstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {
const QString baseName = QStringLiteral("velmora-connect");
// How long a second start waits for the first to listen and to answer.
constexpr auto answerTime = 5s;
constexpr char activationTokenVariable[] = "XDG_ACTIVATION_TOKEN";

// The process at the other end of a connected local socket runs as this user.
bool peerIsUser(qintptr descriptor)
{
#ifdef SO_PEERCRED
    ucred peer {};
    socklen_t size = sizeof peer;
    return ::getsockopt(int(descriptor), SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0
        && peer.uid == ::getuid();
#else
    uid_t uid = 0;
    gid_t gid = 0;
    return ::getpeereid(int(descriptor), &uid, &gid) == 0 && uid == ::getuid();
#endif
}

void drop(QLocalSocket &socket)
{
    socket.disconnect();
    socket.abort();
    socket.deleteLater();
}
} // namespace

SingleInstance::SingleInstance(QObject *parent)
    : QObject(parent)
{
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server.nextPendingConnection()) {
            // Only the user's own starts may raise the window or hand it a token.
            if (!peerIsUser(socket->socketDescriptor())) {
                drop(*socket);
                continue;
            }
            // A start sends one short line at once; one that sends more, or nothing, is dropped.
            socket->setReadBufferSize(lineLimit);
            QTimer::singleShot(clientTime, socket, [socket] { drop(*socket); });
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { answer(*socket); });
        }
    });
}

void SingleInstance::answer(QLocalSocket &socket)
{
    if (!socket.canReadLine()) {
        if (socket.bytesAvailable() >= lineLimit)
            drop(socket);
        return;
    }
    // On Wayland only the token of the start that the user made may raise a window.
    const QByteArray token = socket.readLine().trimmed();
    if (!token.isEmpty())
        qputenv(activationTokenVariable, token);
    Q_EMIT activationRequested();
    socket.write("ok\n");
    socket.disconnectFromServer();
}

QString SingleInstance::directory()
{
    // Per user and private to them ($XDG_RUNTIME_DIR on Linux); Qt answers empty for one that
    // another user owns.
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    struct stat info = {};
    if (runtime.isEmpty() || ::lstat(QFile::encodeName(runtime).constData(), &info) != 0)
        return {};
    return privateDirectory(runtime, info.st_uid, info.st_mode, ::getuid());
}

QString SingleInstance::privateDirectory(const QString &runtimeDirectory, uint owner, uint mode, uint uid)
{
    if (!QDir::isAbsolutePath(runtimeDirectory) || !S_ISDIR(mode) || owner != uid || (mode & 077) != 0)
        return {};
    return runtimeDirectory;
}

SingleInstance::Role SingleInstance::claim()
{
    // Without a private folder there is nothing safe to coordinate through: run alone.
    const QString folder = directory();
    if (folder.isEmpty())
        return Role::Primary;
    const QString socketPath = QDir(folder).filePath(baseName + QStringLiteral(".socket"));
    m_lock = std::make_unique<QLockFile>(QDir(folder).filePath(baseName + QStringLiteral(".lock")));
    // Only a dead owner makes the lock stale, never its age: the first start may run for weeks.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock()) {
        // The lock is ours, so a socket file left by a crashed owner is stale.
        QLocalServer::removeServer(socketPath);
        if (!m_server.listen(socketPath))
            qWarning("velmora-connect: cannot listen on %s (%s): a second start will not find this window",
                qPrintable(socketPath), qPrintable(m_server.errorString()));
        return Role::Primary;
    }
    // Without a usable lock there is nothing to coordinate through: run alone.
    if (m_lock->error() != QLockFile::LockFailedError)
        return Role::Primary;
    return forwardToRunning(socketPath) ? Role::Forwarded : Role::Unanswered;
}

bool SingleInstance::forwardToRunning(const QString &socketPath) const
{
    // The owner may have taken the lock a moment ago and not be listening yet.
    const QDeadlineTimer deadline(answerTime);
    QLocalSocket socket;
    for (;;) {
        socket.connectToServer(socketPath);
        if (socket.waitForConnected(int(deadline.remainingTime())))
            break;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
    // The token goes to the user's own application only.
    if (!peerIsUser(socket.socketDescriptor()))
        return false;
    socket.write(qgetenv(activationTokenVariable) + '\n');
    while (!socket.canReadLine() && socket.waitForReadyRead(int(deadline.remainingTime()))) { }
    return socket.readLine() == "ok\n";
}
