#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QUrl>
#include <memory>

class QSslCertificate;
class QSslKey;

// A scripted answer for one method and path, replacing the demo behaviour. The method "*"
// matches every method.
struct RelayReply
{
    int status = 200;
    QByteArray body; // sent as is
    QList<QPair<QByteArray, QByteArray>> headers; // Content-Type defaults to application/json
    int delayMs = 0; // wait before the first byte
    bool stall = false; // accept the request and never send a byte
    bool closeMidBody = false; // announce the full length, send half the body, close
    int dribbleMs = 0; // send the body one byte at a time, this many milliseconds apart
    // Serve this file's contents (streamed, not loaded) instead of `body`.
    QString bodyFile;
};

// What the relay received.
struct RecordedRequest
{
    QByteArray method;
    QString path; // without query
    QHash<QByteArray, QByteArray> headers; // names in lower case
    QByteArray body;
};

// The demo account the relay serves when nothing is scripted.
struct DemoAccount
{
    QString email = QStringLiteral("demo@velmora.example");
    QString password = QStringLiteral("velmora-demo");
    QString accessToken = QStringLiteral("demo-access-token");
    QJsonObject profile; // default: id 42, email, display_name "Velmora Demo"
    QJsonArray groups; // default: three groups
    QJsonArray models; // default: an OpenAI-style list
    // A model call for a model the list above does not name is answered 404 `model_not_found`
    // (a scenario's own list turns it on); otherwise every model is served.
    bool listedModelsOnly = false;
};

// A Velmora relay on loopback: "/api/v1/auth/login", "/api/v1/auth/me",
// "/api/v1/groups/available", "/api/v1/desktop/key", "/api/v1/keys", "/v1/models" and
// "/agent-packages/<file>", and the agents' model calls with an issued key: "/v1/responses", "/v1/messages",
// "/v1/chat/completions" and "/v1beta/models/<model>:generateContent" or
// ":streamGenerateContent", answered "pong" in each protocol, as server-sent events when asked. Keys are
// issued once per group and returned again on later calls. Behaviour is scriptable per method and path
// (status, body, delay, stall, cut connection, missing route), in-process or from a JSON scenario file.
class RelayServer : public QObject
{
    Q_OBJECT
public:
    explicit RelayServer(QObject *parent = nullptr);
    ~RelayServer() override;

    // Listens on 127.0.0.1; port 0 picks a free one. Returns the port, 0 on failure.
    quint16 listen(quint16 port = 0, const QHostAddress &address = QHostAddress::LocalHost);
    // Answers over TLS with this certificate and key: call before listen().
    void serveTls(const QSslCertificate &certificate, const QSslKey &key);
    // "http://127.0.0.1:<port>" ("https" over TLS)
    QUrl baseUrl() const;

    DemoAccount &account();

    // Replaces the demo behaviour of one method and path.
    void script(const QByteArray &method, const QString &path, const RelayReply &reply);
    // Removes a route: 404 for every method (405 when `methodOnly`, for this method only).
    void removeRoute(const QByteArray &method, const QString &path, bool methodOnly = false);
    // Keeps the demo behaviour of one method and path but answers only after `delayMs`.
    void delayRoute(const QByteArray &method, const QString &path, int delayMs);
    // Forgets every script, removal and delay.
    void clearScripts();
    // Loads a scenario: {"account": {...}, "routes": [{"method", "path", "status", "body"
    // (JSON or "bodyText"), "headers", "delayMs", "stall", "closeMidBody", "missing",
    // "bodyFile"}], "packages": {"file name": "path or text"}}. Returns an error text or empty.
    QString loadScenario(const QJsonObject &scenario);

    // Appends one JSON line per model call to `path` (mode 0600): "path", "key", "model" and
    // "status". Returns an error text or empty.
    QString setCallLog(const QString &path);

    // Packages served under "/agent-packages/<name>".
    void setPackage(const QString &name, const QByteArray &bytes);
    void setPackageFile(const QString &name, const QString &path);

    // The keys issued so far, by group id.
    QHash<qint64, QString> issuedKeys() const;

    const QList<RecordedRequest> &requests() const;
    QList<RecordedRequest> requests(const QString &path) const;
    void clearRequests();

Q_SIGNALS:
    void requestReceived(const RecordedRequest &request);

private:
    class Private;
    std::unique_ptr<Private> d;
};
