#pragma once

#include "relayserver.h"

#include <QObject>
#include <QThread>

// The local relay on a thread of its own, as a remote relay is to the app: what the relay does
// to answer is not the window's work, and no pause of the window's loop is the relay's. Only what
// the relay holds from its start (its address, the demo account) is read from outside.
class RelayThread
{
public:
    RelayThread()
    {
        m_context.moveToThread(&m_thread);
        m_thread.start();
        QMetaObject::invokeMethod(
            &m_context,
            [this] {
                m_relay = new RelayServer;
                m_port = m_relay->listen();
            },
            Qt::BlockingQueuedConnection);
    }
    ~RelayThread()
    {
        QMetaObject::invokeMethod(
            &m_context, [this] { delete m_relay; }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }
    RelayThread(const RelayThread &) = delete;
    RelayThread &operator=(const RelayThread &) = delete;

    // 0 when the relay could not listen.
    quint16 port() const { return m_port; }
    QUrl baseUrl() const { return m_relay->baseUrl(); }
    const DemoAccount &account() { return m_relay->account(); }

private:
    QThread m_thread;
    QObject m_context;
    RelayServer *m_relay = nullptr;
    quint16 m_port = 0;
};
