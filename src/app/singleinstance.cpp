#include "singleinstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

using namespace std::chrono_literals;

namespace {
const QString baseName = QStringLiteral("velmora-connect");
// How long a second start waits for the first to listen and to answer.
constexpr auto answerTime = 5s;
constexpr char activationTokenVariable[] = "XDG_ACTIVATION_TOKEN";

QString socketPath()
{
    return QDir(SingleInstance::directory()).filePath(baseName + QStringLiteral(".socket"));
}
} // namespace

SingleInstance::SingleInstance(QObject *parent)
    : QObject(parent)
    , m_lock(QDir(directory()).filePath(baseName + QStringLiteral(".lock")))
{
    // Only a dead owner makes the lock stale, never its age: the first start may run for weeks.
    m_lock.setStaleLockTime(0);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server.nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (!socket->canReadLine())
                    return;
                // On Wayland only the token of the start that the user made may raise a window.
                const QByteArray token = socket->readLine().trimmed();
                if (!token.isEmpty())
                    qputenv(activationTokenVariable, token);
                Q_EMIT activationRequested();
                socket->write("ok\n");
                socket->disconnectFromServer();
            });
        }
    });
}

QString SingleInstance::directory()
{
    // Per user and private to them ($XDG_RUNTIME_DIR on Linux).
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}

SingleInstance::Role SingleInstance::claim()
{
    if (m_lock.tryLock()) {
        // The lock is ours, so a socket file left by a crashed owner is stale.
        QLocalServer::removeServer(socketPath());
        m_server.listen(socketPath());
        return Role::Primary;
    }
    // Without a usable runtime directory there is nothing to coordinate through: run alone.
    if (m_lock.error() != QLockFile::LockFailedError)
        return Role::Primary;
    return forwardToRunning() ? Role::Forwarded : Role::Unanswered;
}

bool SingleInstance::forwardToRunning() const
{
    // The owner may have taken the lock a moment ago and not be listening yet.
    const QDeadlineTimer deadline(answerTime);
    QLocalSocket socket;
    for (;;) {
        socket.connectToServer(socketPath());
        if (socket.waitForConnected(int(deadline.remainingTime())))
            break;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
    socket.write(qgetenv(activationTokenVariable) + '\n');
    while (!socket.canReadLine() && socket.waitForReadyRead(int(deadline.remainingTime()))) { }
    return socket.readLine() == "ok\n";
}
