#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <chrono>
#include <memory>

class QLocalSocket;

// One running application per user: a second start asks the first to come to the front, with
// the activation token the desktop gave it, and leaves. The first holds a lock file and listens
// on a local socket in the user's runtime directory; the lock names its process, so one left
// behind by a crash is taken over. Without a runtime directory private to the user, each start
// runs alone: a lock or socket anywhere else could be another user's.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    enum class Role {
        Primary, // this process runs the application
        Forwarded, // the running application was asked to come forward
        Unanswered, // the running application holds the lock but did not answer
    };

    // The longest line a start may send, and the time it has to send it.
    static constexpr qint64 lineLimit = 4096;
    static constexpr std::chrono::seconds clientTime { 5 };

    explicit SingleInstance(QObject *parent = nullptr);

    Role claim();

    // The folder of the lock and the socket; empty: run alone.
    static QString directory();
    // `runtimeDirectory` when it is an absolute path to a directory (`mode` as lstat() gives it:
    // a link is none) whose `owner` is `uid` and that nobody else may enter; else empty.
    static QString privateDirectory(const QString &runtimeDirectory, uint owner, uint mode, uint uid);

Q_SIGNALS:
    // Another start asked for the window; it is answered once this has been emitted.
    void activationRequested();

private:
    void answer(QLocalSocket &socket);
    bool forwardToRunning(const QString &socketPath) const;

    std::unique_ptr<QLockFile> m_lock;
    QLocalServer m_server;
};
