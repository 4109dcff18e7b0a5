#include "platform/connecterror.h"
#include "platform/transferfailure.h"
#include "service/replies.h"
#include "service/servicetexts.h"
#include "state/connectstate.h"

#include <QCoroNetworkReply>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QScopedPointer>
#include <memory>

namespace {

// No reply of the relay comes near this; a larger one is cut off rather than held in memory.
constexpr qint64 replyLimit = 16 * 1024 * 1024;

QNetworkReply *send(QNetworkAccessManager &network, const QNetworkRequest &request, const QByteArray &method,
    const std::optional<QByteArray> &body)
{
    // The manager's own operations where they fit, so that its defaults (redirects, caching)
    // apply as to any GET or POST; a custom verb otherwise, which adds no Content-Type.
    if (method == "GET" && !body)
        return network.get(request);
    if (method == "POST" && body)
        return network.post(request, *body);
    return body ? network.sendCustomRequest(request, method, *body)
                : network.sendCustomRequest(request, method);
}

} // namespace

QCoro::Task<QJsonValue> ConnectState::request(QUrl router, QString path, QByteArray method,
    std::optional<QByteArray> body, bool authenticated, std::optional<QString> apiKey)
{
    const std::chrono::milliseconds timeout = m_platform->transferTimeout();
    // Only the router's scheme, host and port count: the path is absolute.
    QNetworkRequest request(router.resolved(QUrl(path)));
    request.setTransferTimeout(int(timeout.count()));
    request.setRawHeader("Accept", "application/json");
    if (body)
        request.setRawHeader("Content-Type", "application/json");
    if (apiKey)
        request.setRawHeader("Authorization", "Bearer " + apiKey->toUtf8());
    else if (authenticated && !m_accessToken.isEmpty())
        request.setRawHeader("Authorization", "Bearer " + m_accessToken.toUtf8());

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
    if (!status.isValid() || transportFailed(*reply))
        throw PlatformError(networkErrorDescription(*reply, timeout));
    const QByteArray received = reply->readAll();
    if (status.toInt() >= 200 && status.toInt() <= 299)
        co_return parseSuccessBody(received);
    throw ConnectError(errorReplyMessage(status.toInt(), received));
}

QJsonValue ConnectState::unwrap(const QJsonValue &value)
{
    return unwrapEnvelope(value);
}
