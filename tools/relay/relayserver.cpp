#include "relayserver.h"

#include <QAbstractHttpServer>
#include <QFile>
#include <QFileInfo>
#include <QHttpServerRequest>
#include <QJsonDocument>
#include <QMetaEnum>
#include <QPointer>
#include <QRandomGenerator>
#include <QSslCertificate>
#include <QSslKey>
#include <QTcpSocket>
#include <QTimer>

namespace {

const QString packagePrefix = QStringLiteral("/agent-packages/");

QJsonObject defaultProfile(const DemoAccount &account)
{
    return QJsonObject { { QStringLiteral("id"), 42 }, { QStringLiteral("email"), account.email },
        { QStringLiteral("display_name"), QStringLiteral("Velmora Demo") } };
}

QJsonArray defaultGroups()
{
    const auto group = [](int id, const char *name, const char *platform) {
        return QJsonObject { { QStringLiteral("id"), id },
            { QStringLiteral("name"), QString::fromUtf8(name) },
            { QStringLiteral("platform"), QString::fromUtf8(platform) } };
    };
    return { group(1, "默认渠道", "openai"), group(2, "Claude 专线", "anthropic"), group(3, "", "") };
}

QJsonArray defaultModels()
{
    const auto model = [](const char *id, const char *owner) {
        return QJsonObject { { QStringLiteral("id"), QString::fromUtf8(id) },
            { QStringLiteral("object"), QStringLiteral("model") },
            { QStringLiteral("owned_by"), QString::fromUtf8(owner) } };
    };
    // Listed out of order, as services do.
    return { model("gpt-5.6-sol", "openai"), model("claude-sonnet-4.5", "anthropic"),
        model("gpt-5.5", "openai"), model("gemini-2.5-pro", "google"), model("kimi-k3", "moonshot"),
        model("deepseek-v4-pro", "deepseek") };
}

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 201:
        return "Created";
    case 204:
        return "No Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 307:
        return "Temporary Redirect";
    case 308:
        return "Permanent Redirect";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 500:
        return "Internal Server Error";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

QByteArray json(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// Any JSON value, scalars included, as compact text.
QByteArray compactJson(const QJsonValue &value)
{
    const QByteArray wrapped = QJsonDocument(QJsonArray { value }).toJson(QJsonDocument::Compact);
    return wrapped.mid(1, wrapped.size() - 2);
}

QJsonObject messageObject(const QString &message)
{
    return { { QStringLiteral("message"), message } };
}

// The agents' model calls. Every protocol answers "pong", whole or as server-sent events: one
// table, one entry per protocol, each naming its path, its reply and its stream.
const QString modelReplyText = QStringLiteral("pong");

using Event = std::pair<QByteArray, QJsonObject>; // "event:" name (empty: none) and data

QJsonObject responsesMessage()
{
    const QJsonObject text { { "type", "output_text" }, { "text", modelReplyText },
        { "annotations", QJsonArray {} } };
    return { { "type", "message" }, { "id", "msg_pong" }, { "role", "assistant" }, { "status", "completed" },
        { "content", QJsonArray { text } } };
}

QJsonObject responsesReply(const QString &model)
{
    const QJsonObject usage { { "input_tokens", 1 }, { "output_tokens", 1 }, { "total_tokens", 2 },
        { "input_tokens_details", QJsonObject { { "cached_tokens", 0 } } },
        { "output_tokens_details", QJsonObject { { "reasoning_tokens", 0 } } } };
    return { { "id", "resp_pong" }, { "object", "response" }, { "created_at", 0 }, { "status", "completed" },
        { "model", model }, { "output", QJsonArray { responsesMessage() } }, { "usage", usage } };
}

QList<Event> responsesEvents(const QString &model)
{
    QJsonObject created = responsesReply(model);
    created.insert("status", "in_progress");
    created.insert("output", QJsonArray {});
    return { { "response.created", { { "type", "response.created" }, { "response", created } } },
        { "response.output_text.delta",
            { { "type", "response.output_text.delta" }, { "item_id", "msg_pong" }, { "output_index", 0 },
                { "content_index", 0 }, { "delta", modelReplyText } } },
        { "response.output_item.done",
            { { "type", "response.output_item.done" }, { "output_index", 0 },
                { "item", responsesMessage() } } },
        { "response.completed",
            { { "type", "response.completed" }, { "response", responsesReply(model) } } } };
}

QJsonObject messagesReply(const QString &model)
{
    const QJsonObject text { { "type", "text" }, { "text", modelReplyText } };
    return { { "id", "msg_pong" }, { "type", "message" }, { "role", "assistant" }, { "model", model },
        { "content", QJsonArray { text } }, { "stop_reason", "end_turn" },
        { "stop_sequence", QJsonValue::Null },
        { "usage", QJsonObject { { "input_tokens", 1 }, { "output_tokens", 1 } } } };
}

QList<Event> messagesEvents(const QString &model)
{
    QJsonObject start = messagesReply(model);
    start.insert("content", QJsonArray {});
    start.insert("stop_reason", QJsonValue::Null);
    const auto event = [](const char *type, QJsonObject data) {
        data.insert("type", QLatin1String(type));
        return Event { type, data };
    };
    return { event("message_start", { { "message", start } }),
        event("content_block_start",
            { { "index", 0 }, { "content_block", QJsonObject { { "type", "text" }, { "text", "" } } } }),
        event("content_block_delta",
            { { "index", 0 },
                { "delta", QJsonObject { { "type", "text_delta" }, { "text", modelReplyText } } } }),
        event("content_block_stop", { { "index", 0 } }),
        event("message_delta",
            { { "delta",
                  QJsonObject { { "stop_reason", "end_turn" }, { "stop_sequence", QJsonValue::Null } } },
                { "usage", QJsonObject { { "output_tokens", 1 } } } }),
        event("message_stop", {}) };
}

QJsonObject chatChoice(const char *member, const QJsonValue &finish)
{
    return { { "index", 0 },
        { QLatin1String(member), QJsonObject { { "role", "assistant" }, { "content", modelReplyText } } },
        { "finish_reason", finish } };
}

QJsonObject chatReply(const QString &model)
{
    return { { "id", "chatcmpl-pong" }, { "object", "chat.completion" }, { "created", 0 }, { "model", model },
        { "choices", QJsonArray { chatChoice("message", QStringLiteral("stop")) } },
        { "usage",
            QJsonObject { { "prompt_tokens", 1 }, { "completion_tokens", 1 }, { "total_tokens", 2 } } } };
}

QList<Event> chatEvents(const QString &model)
{
    QJsonObject chunk = chatReply(model);
    chunk.insert("object", "chat.completion.chunk");
    chunk.insert("choices", QJsonArray { chatChoice("delta", QJsonValue::Null) });
    chunk.remove("usage");
    QJsonObject last = chatReply(model);
    last.insert("object", "chat.completion.chunk");
    last.insert("choices",
        QJsonArray {
            QJsonObject { { "index", 0 }, { "delta", QJsonObject {} }, { "finish_reason", "stop" } } });
    return { { {}, chunk }, { {}, last } };
}

QJsonObject geminiReply(const QString &model)
{
    const QJsonObject content { { "role", "model" },
        { "parts", QJsonArray { QJsonObject { { "text", modelReplyText } } } } };
    return { { "candidates",
                 QJsonArray {
                     QJsonObject { { "content", content }, { "finishReason", "STOP" }, { "index", 0 } } } },
        { "usageMetadata",
            QJsonObject {
                { "promptTokenCount", 1 }, { "candidatesTokenCount", 1 }, { "totalTokenCount", 2 } } },
        { "modelVersion", model } };
}

QList<Event> geminiEvents(const QString &model)
{
    return { { {}, geminiReply(model) } };
}

struct ModelProtocol
{
    QLatin1String prefix; // the path begins with it…
    QLatin1String suffix; // …and ends with this
    bool streamedByPath; // the path itself asks for a stream, not "stream": true in the body
    QJsonObject (*reply)(const QString &model);
    QList<Event> (*events)(const QString &model);
    QByteArray last; // sent after the events
};

const ModelProtocol modelProtocols[] = {
    { QLatin1String("/v1/responses"), {}, false, responsesReply, responsesEvents, {} },
    { QLatin1String("/v1/messages"), {}, false, messagesReply, messagesEvents, {} },
    { QLatin1String("/v1/chat/completions"), {}, false, chatReply, chatEvents, "data: [DONE]\n\n" },
    { QLatin1String("/v1beta/models/"), QLatin1String(":streamGenerateContent"), true, geminiReply,
        geminiEvents, {} },
    { QLatin1String("/v1beta/models/"), QLatin1String(":generateContent"), false, geminiReply, geminiEvents,
        {} },
};

const ModelProtocol *modelProtocol(const QString &path)
{
    for (const ModelProtocol &protocol : modelProtocols) {
        if (path.startsWith(protocol.prefix) && path.endsWith(protocol.suffix)
            && (protocol.suffix.isEmpty() ? path == protocol.prefix
                                          : !path.sliced(protocol.prefix.size()).contains(u'/')))
            return &protocol;
    }
    return nullptr;
}

// The model named by the path ("/v1beta/models/<model>:…") or by the body's "model".
QString requestedModel(const ModelProtocol &protocol, const RecordedRequest &request)
{
    if (!protocol.suffix.isEmpty())
        return request.path.sliced(protocol.prefix.size()).chopped(protocol.suffix.size());
    return QJsonDocument::fromJson(request.body).object().value(QStringLiteral("model")).toString();
}

// The key of an agent's call: a bearer token, or the Anthropic and Gemini key headers.
QString callKey(const RecordedRequest &request)
{
    const QByteArray authorization = request.headers.value("authorization");
    if (authorization.startsWith("Bearer "))
        return QString::fromUtf8(authorization.mid(7));
    for (const char *header : { "x-api-key", "x-goog-api-key" }) {
        if (request.headers.contains(header))
            return QString::fromUtf8(request.headers.value(header));
    }
    return {};
}

// Writes one response to a socket: the head at once, the body from memory or from a file as
// the socket drains, so that a large package never sits in memory. Lives as a child of the
// socket and goes with it.
class Transfer : public QObject
{
public:
    Transfer(QTcpSocket *socket, QByteArray head, QByteArray body, std::unique_ptr<QFile> file,
        qint64 sendLength, bool closeAfter)
        : QObject(socket)
        , m_socket(socket)
        , m_body(std::move(body))
        , m_file(std::move(file))
        , m_remaining(sendLength)
        , m_closeAfter(closeAfter)
    {
        m_socket->write(head);
        connect(m_socket, &QTcpSocket::bytesWritten, this, &Transfer::pump);
        pump();
    }

private:
    static constexpr qint64 chunk = 256 * 1024;
    static constexpr qint64 highWater = 1024 * 1024;

    void pump()
    {
        while (m_remaining > 0 && m_socket->bytesToWrite() < highWater) {
            const qint64 size = std::min(chunk, m_remaining);
            QByteArray piece;
            if (m_file) {
                piece = m_file->read(size);
                if (piece.isEmpty()) {
                    m_remaining = 0; // the file shrank under us: cut the connection below
                    m_closeAfter = true;
                    break;
                }
            } else {
                piece = m_body.mid(m_offset, size);
                m_offset += piece.size();
            }
            m_remaining -= piece.size();
            m_socket->write(piece);
        }
        if (m_remaining > 0)
            return;
        disconnect(m_socket, nullptr, this, nullptr);
        if (m_closeAfter)
            m_socket->disconnectFromHost(); // after the queued bytes are out
        deleteLater();
    }

    QTcpSocket *m_socket;
    QByteArray m_body;
    std::unique_ptr<QFile> m_file;
    qint64 m_offset = 0;
    qint64 m_remaining;
    bool m_closeAfter;
};

} // namespace

class RelayServer::Private : public QAbstractHttpServer
{
public:
    explicit Private(RelayServer *relay)
        : m_relay(relay)
    {
        account.profile = defaultProfile(account);
        account.groups = defaultGroups();
        account.models = defaultModels();
    }

    struct Package
    {
        QByteArray bytes;
        QString path; // when set, served from this file
    };
    struct Route
    {
        enum Kind { scripted, missing, methodMissing, delayed } kind = scripted;
        RelayReply reply;
        int delayMs = 0;
    };

    DemoAccount account;
    QList<RecordedRequest> requests;
    QHash<QPair<QByteArray, QString>, Route> routes; // by method ("*" for every one) and path
    QHash<QString, Package> packages;
    QHash<qint64, QString> issuedKeys;
    quint16 port = 0;
    QHostAddress address;
    bool tls = false;
    std::unique_ptr<QFile> callLog;

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override;
    void missingHandler(const QHttpServerRequest &, QTcpSocket *socket) override
    {
        send(socket, plain(404, "404 page not found"));
    }

private:
    RelayReply demoReply(const RecordedRequest &request);
    RelayReply keyReply(const RecordedRequest &request);
    RelayReply packageReply(const RecordedRequest &request);
    RelayReply modelReply(const ModelProtocol &protocol, const RecordedRequest &request);
    QString bearer(const RecordedRequest &request) const;
    static RelayReply reply(int status, const QJsonObject &body);
    static RelayReply plain(int status, const QByteArray &text);
    void send(QTcpSocket *socket, const RelayReply &reply, bool head = false, bool closeAfter = false);

    RelayServer *m_relay;
};

RelayReply RelayServer::Private::reply(int status, const QJsonObject &body)
{
    RelayReply result;
    result.status = status;
    result.body = json(body);
    return result;
}

RelayReply RelayServer::Private::plain(int status, const QByteArray &text)
{
    RelayReply result;
    result.status = status;
    result.body = text;
    result.headers = { { "Content-Type", "text/plain; charset=utf-8" } };
    return result;
}

QString RelayServer::Private::bearer(const RecordedRequest &request) const
{
    const QByteArray value = request.headers.value("authorization");
    if (!value.startsWith("Bearer "))
        return {};
    return QString::fromUtf8(value.mid(7));
}

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
            answer = plain(404, "404 page not found");
            break;
        case Route::methodMissing:
            answer = plain(405, "405 method not allowed");
            break;
        case Route::delayed:
            answer = demoReply(recorded);
            answer.delayMs = route->delayMs;
            break;
        }
    }

    if (answer.stall)
        return true; // the socket stays open and silent until the client gives up
    if (answer.delayMs > 0) {
        // Precise: a coarse timer may fire up to 5 % early, and a delay is a promise.
        QTimer::singleShot(answer.delayMs, Qt::PreciseTimer, socket,
            [this, socket, answer, head, closeAfter] { send(socket, answer, head, closeAfter); });
        return true;
    }
    send(socket, answer, head, closeAfter);
    return true;
}

void RelayServer::Private::send(QTcpSocket *socket, const RelayReply &reply, bool head, bool closeAfter)
{
    std::unique_ptr<QFile> file;
    qint64 length = reply.body.size();
    if (!reply.bodyFile.isEmpty()) {
        file = std::make_unique<QFile>(reply.bodyFile);
        if (!file->open(QIODevice::ReadOnly))
            return send(socket, plain(404, "404 page not found"), head, closeAfter);
        length = file->size();
    }

    QByteArray out
        = "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reasonPhrase(reply.status) + "\r\n";
    bool hasContentType = false;
    for (const auto &[name, value] : reply.headers) {
        hasContentType = hasContentType || name.toLower() == "content-type";
        out += name + ": " + value + "\r\n";
    }
    if (!hasContentType)
        out += "Content-Type: application/json\r\n";
    out += "Content-Length: " + QByteArray::number(length) + "\r\n";
    out += "Server: velmora-relay-sim\r\n";
    if (closeAfter || reply.closeMidBody)
        out += "Connection: close\r\n";
    out += "\r\n";

    qint64 sendLength = head ? 0 : length;
    if (reply.closeMidBody)
        sendLength = length / 2;
    new Transfer(socket, out, reply.body, std::move(file), sendLength, closeAfter || reply.closeMidBody);
}

RelayReply RelayServer::Private::demoReply(const RecordedRequest &request)
{
    const QString &path = request.path;
    const QByteArray &method = request.method;
    const auto allowOnly = [&](const QByteArray &allowed) { return method == allowed; };

    if (path.startsWith(packagePrefix)) {
        if (!allowOnly("GET") && method != "HEAD")
            return plain(405, "405 method not allowed");
        return packageReply(request);
    }
    if (path == QLatin1String("/api/v1/auth/login")) {
        if (!allowOnly("POST"))
            return plain(405, "405 method not allowed");
        const QJsonDocument document = QJsonDocument::fromJson(request.body);
        if (!document.isObject())
            return reply(400, messageObject(QStringLiteral("请求格式错误")));
        const QJsonObject body = document.object();
        if (body.value(QStringLiteral("email")).toString() != account.email
            || body.value(QStringLiteral("password")).toString() != account.password)
            return reply(401, messageObject(QStringLiteral("邮箱或密码错误")));
        return reply(200,
            { { QStringLiteral("access_token"), account.accessToken },
                { QStringLiteral("token_type"), QStringLiteral("bearer") } });
    }
    if (path == QLatin1String("/api/v1/auth/me") || path == QLatin1String("/api/v1/groups/available")) {
        if (!allowOnly("GET"))
            return plain(405, "405 method not allowed");
        if (bearer(request) != account.accessToken || account.accessToken.isEmpty())
            return reply(401, messageObject(QStringLiteral("登录已过期，请重新登录")));
        if (path.endsWith(QLatin1String("/me")))
            return reply(200, { { QStringLiteral("data"), account.profile } });
        return reply(200, { { QStringLiteral("data"), account.groups } });
    }
    if (path == QLatin1String("/api/v1/desktop/key") || path == QLatin1String("/api/v1/keys")) {
        if (!allowOnly("POST"))
            return plain(405, "405 method not allowed");
        if (bearer(request) != account.accessToken || account.accessToken.isEmpty())
            return reply(401, messageObject(QStringLiteral("登录已过期，请重新登录")));
        return keyReply(request);
    }
    if (const ModelProtocol *protocol = modelProtocol(path)) {
        if (!allowOnly("POST"))
            return plain(405, "405 method not allowed");
        return modelReply(*protocol, request);
    }
    if (path == QLatin1String("/v1/models")) {
        if (!allowOnly("GET"))
            return plain(405, "405 method not allowed");
        const QString key = bearer(request);
        if (key.isEmpty() || std::find(issuedKeys.cbegin(), issuedKeys.cend(), key) == issuedKeys.cend())
            return reply(401, messageObject(QStringLiteral("无效的 API Key")));
        return reply(200,
            { { QStringLiteral("object"), QStringLiteral("list") },
                { QStringLiteral("data"), account.models } });
    }
    return plain(404, "404 page not found");
}

RelayReply RelayServer::Private::modelReply(const ModelProtocol &protocol, const RecordedRequest &request)
{
    const QString key = callKey(request);
    const QString model = requestedModel(protocol, request);
    const bool issued
        = !key.isEmpty() && std::find(issuedKeys.cbegin(), issuedKeys.cend(), key) != issuedKeys.cend();
    if (callLog) {
        const QJsonObject line { { "path", request.path }, { "key", key }, { "model", model },
            { "status", issued ? 200 : 401 } };
        callLog->write(json(line) + '\n');
        callLog->flush();
    }
    if (!issued)
        return reply(401, { { "error", messageObject(QStringLiteral("无效的 API Key")) } });

    const QJsonObject body = QJsonDocument::fromJson(request.body).object();
    if (!(protocol.streamedByPath || body.value(QStringLiteral("stream")).toBool()))
        return reply(200, protocol.reply(model));
    RelayReply result;
    result.headers = { { "Content-Type", "text/event-stream" }, { "Cache-Control", "no-cache" } };
    for (const auto &[name, data] : protocol.events(model)) {
        if (!name.isEmpty())
            result.body += "event: " + name + '\n';
        result.body += "data: " + json(data) + "\n\n";
    }
    result.body += protocol.last;
    return result;
}

RelayReply RelayServer::Private::keyReply(const RecordedRequest &request)
{
    const QJsonDocument document = QJsonDocument::fromJson(request.body);
    const QJsonValue groupValue = document.object().value(QStringLiteral("group_id"));
    if (!document.isObject() || !groupValue.isDouble())
        return reply(400, messageObject(QStringLiteral("请求格式错误")));
    const auto groupID = qint64(groupValue.toDouble());
    const bool known
        = std::any_of(account.groups.cbegin(), account.groups.cend(), [groupID](const QJsonValue &group) {
              return qint64(group.toObject().value(QStringLiteral("id")).toDouble()) == groupID;
          });
    if (!known)
        return reply(400, messageObject(QStringLiteral("渠道接口不存在")));

    QString &key = issuedKeys[groupID];
    if (key.isEmpty()) {
        quint32 words[4];
        QRandomGenerator::system()->fillRange(words);
        key = QStringLiteral("sk-velmora-")
            + QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(words), sizeof words).toHex());
    }
    const QJsonObject payload { { QStringLiteral("key"), key }, { QStringLiteral("group_id"), groupID },
        { QStringLiteral("name"), document.object().value(QStringLiteral("name")) } };
    return reply(200, { { QStringLiteral("data"), payload } });
}

RelayReply RelayServer::Private::packageReply(const RecordedRequest &request)
{
    const auto package = packages.constFind(request.path.mid(packagePrefix.size()));
    if (package == packages.constEnd())
        return plain(404, "404 page not found");
    RelayReply result;
    result.headers = { { "Content-Type", "application/octet-stream" } };
    if (package->path.isEmpty())
        result.body = package->bytes;
    else
        result.bodyFile = package->path;
    return result;
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
    return d->account;
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

QString RelayServer::loadScenario(const QJsonObject &scenario)
{
    const QJsonObject account = scenario.value(QStringLiteral("account")).toObject();
    for (const auto &[name, target] :
        { std::pair { "email", &d->account.email }, std::pair { "password", &d->account.password },
            std::pair { "accessToken", &d->account.accessToken },
            std::pair { "access_token", &d->account.accessToken } }) {
        const QJsonValue value = account.value(QLatin1String(name));
        if (value.isString())
            *target = value.toString();
        else if (!value.isUndefined())
            return QStringLiteral("account.%1 must be a string").arg(QLatin1String(name));
    }
    if (account.contains(QStringLiteral("profile")))
        d->account.profile = account.value(QStringLiteral("profile")).toObject();
    if (account.contains(QStringLiteral("groups")))
        d->account.groups = account.value(QStringLiteral("groups")).toArray();
    if (account.contains(QStringLiteral("models")))
        d->account.models = account.value(QStringLiteral("models")).toArray();

    const QJsonArray routes = scenario.value(QStringLiteral("routes")).toArray();
    const auto scriptedMembers
        = { "status", "body", "bodyText", "headers", "stall", "closeMidBody", "bodyFile" };
    for (qsizetype index = 0; index < routes.size(); ++index) {
        const QJsonObject route = routes.at(index).toObject();
        const QString path = route.value(QStringLiteral("path")).toString();
        if (!path.startsWith(QLatin1Char('/')))
            return QStringLiteral("routes[%1].path must begin with \"/\"").arg(index);
        const QByteArray method
            = route.value(QStringLiteral("method")).toString(QStringLiteral("GET")).toUtf8();
        const QJsonValue missing = route.value(QStringLiteral("missing"));
        if (missing == QJsonValue(true)) {
            removeRoute(method, path);
            continue;
        }
        if (missing == QJsonValue(QStringLiteral("method"))) {
            removeRoute(method, path, true);
            continue;
        }
        // Only a delay: the demo's own answer, later.
        const bool answerGiven = std::any_of(scriptedMembers.begin(), scriptedMembers.end(),
            [&route](const char *member) { return route.contains(QLatin1String(member)); });
        if (!answerGiven && route.contains(QStringLiteral("delayMs"))) {
            delayRoute(method, path, route.value(QStringLiteral("delayMs")).toInt());
            continue;
        }
        RelayReply reply;
        reply.status = route.value(QStringLiteral("status")).toInt(200);
        if (route.contains(QStringLiteral("bodyText")))
            reply.body = route.value(QStringLiteral("bodyText")).toString().toUtf8();
        else if (route.contains(QStringLiteral("body")))
            reply.body = compactJson(route.value(QStringLiteral("body")));
        const QJsonObject headers = route.value(QStringLiteral("headers")).toObject();
        for (auto header = headers.constBegin(); header != headers.constEnd(); ++header)
            reply.headers.append({ header.key().toUtf8(), header.value().toString().toUtf8() });
        reply.delayMs = route.value(QStringLiteral("delayMs")).toInt();
        reply.stall = route.value(QStringLiteral("stall")).toBool();
        reply.closeMidBody = route.value(QStringLiteral("closeMidBody")).toBool();
        reply.bodyFile = route.value(QStringLiteral("bodyFile")).toString();
        script(method, path, reply);
    }

    const QJsonObject packages = scenario.value(QStringLiteral("packages")).toObject();
    for (auto package = packages.constBegin(); package != packages.constEnd(); ++package) {
        const QString value = package.value().toString();
        if (QFileInfo(value).isFile())
            setPackageFile(package.key(), value);
        else
            setPackage(package.key(), value.toUtf8());
    }
    return {};
}

QString RelayServer::setCallLog(const QString &path)
{
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Append))
        return file->errorString();
    file->setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    d->callLog = std::move(file);
    return {};
}

void RelayServer::setPackage(const QString &name, const QByteArray &bytes)
{
    d->packages.insert(name, { bytes, {} });
}

void RelayServer::setPackageFile(const QString &name, const QString &path)
{
    d->packages.insert(name, { {}, path });
}

QHash<qint64, QString> RelayServer::issuedKeys() const
{
    return d->issuedKeys;
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
