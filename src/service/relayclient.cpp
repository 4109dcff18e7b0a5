#include "service/relayclient.h"

#include "platform/connecterror.h"
#include "platform/transferfailure.h"
#include "service/replies.h"
#include "service/servicetexts.h"

#include <QCoroNetworkReply>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QScopedPointer>
#include <algorithm>
#include <memory>

namespace {

// No reply of the relay comes near this; a larger one is cut off rather than held in memory.
constexpr qint64 replyLimit = 16 * 1024 * 1024;

const QString loginPath = QStringLiteral("/api/v1/auth/login");
const QString profilePath = QStringLiteral("/api/v1/auth/me");
const QString groupsPath = QStringLiteral("/api/v1/groups/available");
const QString desktopKeyPath = QStringLiteral("/api/v1/desktop/key");
const QString keysPath = QStringLiteral("/api/v1/keys");
const QString modelsPath = QStringLiteral("/v1/models");

QNetworkReply *send(QNetworkAccessManager &network, const QNetworkRequest &request, const QByteArray &method,
    const std::optional<QByteArray> &body)
{
    // The manager's own operations where they fit, so that its defaults (caching) apply as to
    // any GET or POST; a custom verb otherwise, which adds no Content-Type.
    if (method == "GET" && !body)
        return network.get(request);
    if (method == "POST" && body)
        return network.post(request, *body);
    return body ? network.sendCustomRequest(request, method, *body)
                : network.sendCustomRequest(request, method);
}

// {"name": …, "group_id": …}, compact.
QByteArray keyRequestBody(const QString &tokenName, qint64 groupID)
{
    const QString name = tokenName.trimmed().isEmpty() ? ServiceTexts::fallbackTokenName : tokenName;
    const QJsonObject body { { QStringLiteral("name"), name }, { QStringLiteral("group_id"), groupID } };
    return QJsonDocument(body).toJson(QJsonDocument::Compact);
}

// The key under "key" when that is a string, else under "api_key"; empty when neither is.
QString keyFromPayload(const QJsonValue &payload)
{
    const QJsonObject object = payload.toObject();
    const QJsonValue key = object.value(QStringLiteral("key"));
    if (key.isString())
        return key.toString();
    return object.value(QStringLiteral("api_key")).toString();
}

// The relay does not offer the route or the method.
bool routeMissing(const ConnectError &error)
{
    return error.message().contains(QStringLiteral("404")) || error.message().contains(QStringLiteral("405"));
}

} // namespace

bool usableCredential(const QString &key)
{
    if (key.isEmpty() || key != key.trimmed())
        return false;
    return std::none_of(key.cbegin(), key.cend(), [](QChar c) {
        return c.category() == QChar::Other_Control || c == QChar::LineSeparator
            || c == QChar::ParagraphSeparator;
    });
}

RelayClient::RelayClient(std::chrono::milliseconds timeout)
    : m_timeout(timeout)
{
    m_network.setAutoDeleteReplies(false);
}

RelayClient::~RelayClient()
{
    // Each waiting task resumes with the abort and runs to its end, freeing its frame; none
    // may start another request on the manager that is going away.
    m_closing = true;
    const QList<QNetworkReply *> replies = m_network.findChildren<QNetworkReply *>();
    for (QNetworkReply *reply : replies)
        reply->abort();
}

QCoro::Task<QJsonValue> RelayClient::request(
    QUrl router, QString path, QByteArray method, std::optional<QByteArray> body, QString bearer)
{
    if (m_closing)
        throw PlatformError(ServiceTexts::closing);
    const std::chrono::milliseconds timeout = m_timeout;
    // Only the router's scheme, host and port count: the path is absolute.
    QNetworkRequest request(router.resolved(QUrl(path)));
    request.setTransferTimeout(int(timeout.count()));
    // The password, the session token and the key go to the relay's origin only.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::SameOriginRedirectPolicy);
    request.setRawHeader("Accept", "application/json");
    if (body)
        request.setRawHeader("Content-Type", "application/json");
    if (!bearer.isEmpty())
        request.setRawHeader("Authorization", "Bearer " + bearer.toUtf8());

    std::unique_ptr<QNetworkReply, QScopedPointerDeleteLater> reply(send(m_network, request, method, body));
    // Shared: the reply outlives this frame until its deferred deletion.
    const auto tooLarge = std::make_shared<bool>(false);
    QNetworkReply *const raw = reply.get();
    QObject::connect(
        raw, &QNetworkReply::downloadProgress, raw, [raw, tooLarge](qint64 received, qint64 total) {
            if (!*tooLarge && (received > replyLimit || total > replyLimit)) {
                *tooLarge = true;
                // Not from inside this signal: the task resumes on `finished`.
                QMetaObject::invokeMethod(raw, &QNetworkReply::abort, Qt::QueuedConnection);
            }
        });
    co_await reply.get();
    if (*tooLarge)
        throw PlatformError(ServiceTexts::replyTooLarge);

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    // Qt's description may quote the URL or the server's reason phrase.
    if (!status.isValid() || transportFailed(*reply))
        throw PlatformError(shownText(networkErrorDescription(*reply, timeout)));
    const QByteArray received = reply->readAll();
    if (status.toInt() >= 200 && status.toInt() <= 299)
        co_return parseSuccessBody(received);
    throw ConnectError(errorReplyMessage(status.toInt(), received));
}

QCoro::Task<QString> RelayClient::signIn(QUrl router, QString email, QString password)
{
    const QJsonObject credentials { { QStringLiteral("email"), email },
        { QStringLiteral("password"), password } };
    const QByteArray body = QJsonDocument(credentials).toJson(QJsonDocument::Compact);
    const QJsonValue reply = co_await request(router, loginPath, "POST", body);

    const QJsonValue payload = unwrapEnvelope(reply);
    const QJsonValue token = payload.toObject().value(QStringLiteral("access_token"));
    if (payload.isObject() && token.isString() && !token.toString().isEmpty()) {
        if (!usableCredential(token.toString()))
            throw ConnectError(ServiceTexts::tokenUnusable);
        co_return token.toString();
    }
    const QJsonValue message = payload.toObject().value(QStringLiteral("message"));
    throw ConnectError(message.isString() ? shownText(message.toString()) : ServiceTexts::wrongCredentials);
}

QCoro::Task<RemoteAccount> RelayClient::syncAccount(QUrl router, QString token)
{
    const QJsonValue profileReply = co_await request(router, profilePath, "GET", std::nullopt, token);
    const QJsonValue groupsReply = co_await request(router, groupsPath, "GET", std::nullopt, token);
    const QString name = profileAccountName(profileReply);
    co_return RemoteAccount { name, profileAccountKey(profileReply, name), parseGroupList(groupsReply) };
}

QCoro::Task<QString> RelayClient::issueKey(QUrl router, QString token, QString keyName, qint64 groupID)
{
    const QByteArray body = keyRequestBody(keyName, groupID);
    QJsonValue reply;
    bool fallBack = false;
    try {
        reply = co_await request(router, desktopKeyPath, "POST", body, token);
    } catch (const ConnectError &error) {
        if (!routeMissing(error))
            throw;
        fallBack = true;
    }
    if (fallBack)
        reply = co_await request(router, keysPath, "POST", body, token);

    const QString key = keyFromPayload(unwrapEnvelope(reply));
    if (key.isEmpty())
        throw ConnectError(ServiceTexts::keyMissing);
    if (!usableCredential(key))
        throw ConnectError(ServiceTexts::keyUnusable);
    co_return key;
}

QCoro::Task<QList<RemoteModel>> RelayClient::listModels(QUrl router, QString apiKey)
{
    const QJsonValue reply = co_await request(router, modelsPath, "GET", std::nullopt, apiKey);
    co_return parseModelList(reply);
}
