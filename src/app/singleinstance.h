#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>

// One running application per user: a second start asks the first to come to the front, with
// the activation token the desktop gave it, and leaves. The first holds a lock file and listens
// on a local socket in the user's runtime directory; the lock names its process, so one left
// behind by a crash is taken over.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    enum class Role {
        Primary, // this process runs the application
        Forwarded, // the running application was asked to come forward
        Unanswered, // the running application holds the lock but did not answer
    };

    explicit SingleInstance(QObject *parent = nullptr);

    Role claim();

    static QString directory();

Q_SIGNALS:
    // Another start asked for the window; it is answered once this has been emitted.
    void activationRequested();

private:
    bool forwardToRunning() const;

    QLockFile m_lock;
    QLocalServer m_server;
};
