#include "relayserver.h"

class RelayServer::Private
{
public:
    DemoAccount account;
    QList<RecordedRequest> requests;
};

RelayServer::RelayServer(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>())
{
}

RelayServer::~RelayServer() = default;

quint16 RelayServer::listen(quint16, const QHostAddress &)
{
    return 0;
}

QUrl RelayServer::baseUrl() const
{
    return {};
}

DemoAccount &RelayServer::account()
{
    return d->account;
}

void RelayServer::script(const QByteArray &, const QString &, const RelayReply &)
{
}
void RelayServer::removeRoute(const QByteArray &, const QString &, bool)
{
}
void RelayServer::clearScripts()
{
}

QString RelayServer::loadScenario(const QJsonObject &)
{
    return {};
}

void RelayServer::setPackage(const QString &, const QByteArray &)
{
}
void RelayServer::setPackageFile(const QString &, const QString &)
{
}

QHash<qint64, QString> RelayServer::issuedKeys() const
{
    return {};
}

const QList<RecordedRequest> &RelayServer::requests() const
{
    return d->requests;
}

QList<RecordedRequest> RelayServer::requests(const QString &) const
{
    return {};
}

void RelayServer::clearRequests()
{
}
