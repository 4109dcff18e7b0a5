#include "relayserver.h"

#include "demoaccount.h"
#include "modelcalls.h"
#include "relayreplies.h"
#include "transfer.h"

#include <QAbstractHttpServer>
#include <QHttpServerRequest>
#include <QMetaEnum>
#include <QSslCertificate>
#include <QSslKey>
#include <algorithm>

namespace {

// The demo's routes, in order: the paths a route takes, the methods it answers (any other gets
// 405) and the demo account's answer.
struct DemoRoute
{
    bool (*takes)(const QString &path);
    QByteArrayView methods[2];
    RelayReply (DemoService::*answer)(const RecordedRequest &request);
};

const DemoRoute demoRoutes[] = {
    { [](const QString &path) { return path.startsWith(packagePrefix); }, { "GET", "HEAD" },
        &DemoService::package },
    { [](const QString &path) { return path == QLatin1String("/api/v1/auth/login"); }, { "POST" },
        &DemoService::login },
    { [](const QString &path) { return path == QLatin1String("/api/v1/auth/me"); }, { "GET" },
        &DemoService::profile },
    { [](const QString &path) { return path == QLatin1String("/api/v1/groups/available"); }, { "GET" },
        &DemoService::groups },
    { [](const QString &path) { return path == QLatin1String("/api/v1/desktop/key"); }, { "POST" },
        &DemoService::issueKey },
    { [](const QString &path) { return path == QLatin1String("/api/v1/keys"); }, { "POST" },
        &DemoService::issueKey },
    { isModelCall, { "POST" }, &DemoService::modelCall },
    { [](const QString &path) { return path == QLatin1String("/v1/models"); }, { "GET" },
        &DemoService::models },
};

} // namespace

// Routes each request: a scripted route for its method and path (or for every method), else the
// demo's route for its path, else 404.
class RelayServer::Private : public QAbstractHttpServer
{
public:
    explicit Private(RelayServer *relay)
        : m_relay(relay)
    {
    }

    struct Route
    {
        enum Kind { scripted, missing, methodMissing, delayed } kind = scripted;
        RelayReply reply;
        int delayMs = 0;
    };

    DemoService demo;
    QList<RecordedRequest> requests;
    QHash<QPair<QByteArray, QString>, Route> routes; // by method ("*" for every one) and path
    quint16 port = 0;
    QHostAddress address;
    bool tls = false;

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override;
    void missingHandler(const QHttpServerRequest &, QTcpSocket *socket) override
    {
        deliver(socket, RelayReplies::notFound(), false, false);
    }

private:
    RelayReply demoReply(const RecordedRequest &request);

    RelayServer *m_relay;
};

bool RelayServer::Private::handleRequest(const QHttpServerRequest &request, QTcpSocket *socket)
{
    RecordedRequest recorded;
    const QMetaEnum methods = QMetaEnum::fromType<QHttpServerRequest::Method>();
    recorded.method = QByteArray(methods.valueToKey(int(request.method()))).toUpper();
    recorded.path = request.url().path();
    for (const auto &[name, value] : request.headers()) {
        QByteArray &slot = recorded.headers[name.toLower()];
        slot = slot.isEmpty() ? value : slot + ", " + value;
    }
    recorded.body = request.body();
    requests.append(recorded);
    Q_EMIT m_relay->requestReceived(recorded);

    const bool head = recorded.method == "HEAD";
    const bool closeAfter = recorded.headers.value("connection").toLower() == "close";

    auto route = routes.constFind({ recorded.method, recorded.path });
    if (route == routes.constEnd())
        route = routes.constFind({ QByteArray("*"), recorded.path });
    RelayReply answer;
    if (route == routes.constEnd()) {
        answer = demoReply(recorded);
    } else {
        switch (route->kind) {
        case Route::scripted:
            answer = route->reply;
            break;
        case Route::missing:
            answer = RelayReplies::notFound();
            break;
        case Route::methodMissing:
            answer = RelayReplies::methodNotAllowed();
            break;
        case Route::delayed:
            answer = demoReply(recorded);
            answer.delayMs = route->delayMs;
            break;
        }
    }
    deliver(socket, answer, head, closeAfter);
    return true;
}

RelayReply RelayServer::Private::demoReply(const RecordedRequest &request)
{
    for (const DemoRoute &route : demoRoutes) {
        if (!route.takes(request.path))
            continue;
        if (!std::any_of(std::begin(route.methods), std::end(route.methods),
                [&request](QByteArrayView method) { return !method.isEmpty() && method == request.method; }))
            return RelayReplies::methodNotAllowed();
        return (demo.*route.answer)(request);
    }
    return RelayReplies::notFound();
}

RelayServer::RelayServer(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>(this))
{
}

RelayServer::~RelayServer() = default;

quint16 RelayServer::listen(quint16 port, const QHostAddress &address)
{
    d->port = d->listen(address, port);
    d->address = address;
    return d->port;
}

void RelayServer::serveTls(const QSslCertificate &certificate, const QSslKey &key)
{
    d->sslSetup(certificate, key);
    d->tls = true;
}

QUrl RelayServer::baseUrl() const
{
    QUrl url;
    url.setScheme(d->tls ? QStringLiteral("https") : QStringLiteral("http"));
    url.setHost(d->address.toString());
    url.setPort(d->port);
    return url;
}

DemoAccount &RelayServer::account()
{
    return d->demo.account;
}

void RelayServer::script(const QByteArray &method, const QString &path, const RelayReply &reply)
{
    d->routes.insert({ method.toUpper(), path }, { Private::Route::scripted, reply, 0 });
}

void RelayServer::removeRoute(const QByteArray &method, const QString &path, bool methodOnly)
{
    if (methodOnly) {
        d->routes.insert({ method.toUpper(), path }, { Private::Route::methodMissing, {}, 0 });
        return;
    }
    d->routes.removeIf([&path](auto entry) { return entry.key().second == path; });
    d->routes.insert({ QByteArray("*"), path }, { Private::Route::missing, {}, 0 });
}

void RelayServer::delayRoute(const QByteArray &method, const QString &path, int delayMs)
{
    d->routes.insert({ method.toUpper(), path }, { Private::Route::delayed, {}, delayMs });
}

void RelayServer::clearScripts()
{
    d->routes.clear();
}

QString RelayServer::setCallLog(const QString &path)
{
    return d->demo.setCallLog(path);
}

void RelayServer::setPackage(const QString &name, const QByteArray &bytes)
{
    d->demo.packages.insert(name, { bytes, {} });
}

void RelayServer::setPackageFile(const QString &name, const QString &path)
{
    d->demo.packages.insert(name, { {}, path });
}

QHash<qint64, QString> RelayServer::issuedKeys() const
{
    return d->demo.issuedKeys;
}

const QList<RecordedRequest> &RelayServer::requests() const
{
    return d->requests;
}

QList<RecordedRequest> RelayServer::requests(const QString &path) const
{
    QList<RecordedRequest> matching;
    for (const RecordedRequest &request : d->requests) {
        if (request.path == path)
            matching.append(request);
    }
    return matching;
}

void RelayServer::clearRequests()
{
    d->requests.clear();
}
