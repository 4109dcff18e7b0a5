#include "platform/transferfailure.h"
#include "service/relayclient.h"
#include "service/replies.h"
#include "service/servicetexts.h"

#include <QCoroNetworkReply>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QScopedPointer>
#include <memory>

namespace {

const QString probeText = QStringLiteral("ping");

QJsonObject userTurn()
{
    return { { QStringLiteral("role"), QStringLiteral("user") }, { QStringLiteral("content"), probeText } };
}

// The relay's message: {"error": {"message"}} as the model APIs answer, else {"message"}.
QString relayMessage(const QByteArray &body)
{
    const QJsonObject object = QJsonDocument::fromJson(body).object();
    const QJsonValue error = object.value(QStringLiteral("error"));
    const QJsonValue message = error.isObject() ? error.toObject().value(QStringLiteral("message"))
                                                : object.value(QStringLiteral("message"));
    return message.isString() ? shownText(message.toString()) : QString();
}

bool namesUnknownModel(const QByteArray &body)
{
    const QJsonValue error = QJsonDocument::fromJson(body).object().value(QStringLiteral("error"));
    return error.toObject().value(QStringLiteral("code")).toString() == u"model_not_found";
}

ProbeAnswer::Verdict verdictOf(int status, const QByteArray &body)
{
    using enum ProbeAnswer::Verdict;
    if (status >= 200 && status <= 299)
        return accepted;
    if (status == 401 || status == 403)
        return keyRefused;
    if (status == 404 || namesUnknownModel(body))
        return modelUnknown;
    return status == 429 ? rateLimited : refused;
}

} // namespace

ProbeCall probeCall(WireProtocol protocol, const QString &baseURL, const QString &model)
{
    const auto call = [&](const QString &path, const QJsonObject &body) {
        return ProbeCall { QUrl(baseURL + path), QJsonDocument(body).toJson(QJsonDocument::Compact) };
    };
    switch (protocol) {
    case WireProtocol::responses:
        // 16: the Responses API's smallest output limit.
        return call(QStringLiteral("/responses"),
            { { QStringLiteral("model"), model }, { QStringLiteral("input"), probeText },
                { QStringLiteral("max_output_tokens"), 16 }, { QStringLiteral("store"), false } });
    case WireProtocol::messages:
        return call(QStringLiteral("/v1/messages"),
            { { QStringLiteral("model"), model }, { QStringLiteral("max_tokens"), 1 },
                { QStringLiteral("messages"), QJsonArray { userTurn() } } });
    case WireProtocol::generateContent: {
        const QJsonObject part { { QStringLiteral("text"), probeText } };
        const QJsonObject content { { QStringLiteral("role"), QStringLiteral("user") },
            { QStringLiteral("parts"), QJsonArray { part } } };
        const QString path = QStringLiteral("/v1beta/models/")
            + QString::fromLatin1(QUrl::toPercentEncoding(model)) + QStringLiteral(":generateContent");
        return call(path,
            { { QStringLiteral("contents"), QJsonArray { content } },
                { QStringLiteral("generationConfig"),
                    QJsonObject { { QStringLiteral("maxOutputTokens"), 1 } } } });
    }
    case WireProtocol::chatCompletions:
        return call(QStringLiteral("/chat/completions"),
            { { QStringLiteral("model"), model }, { QStringLiteral("messages"), QJsonArray { userTurn() } },
                { QStringLiteral("max_tokens"), 1 } });
    }
    Q_UNREACHABLE();
    return {};
}

QCoro::Task<ProbeAnswer> RelayClient::probe(
    WireProtocol protocol, QString baseURL, QString key, QString model, std::chrono::milliseconds limit)
{
    ProbeAnswer answer;
    if (m_closing) {
        answer.message = ServiceTexts::closing;
        co_return answer;
    }
    const ProbeCall call = probeCall(protocol, baseURL, model);
    QNetworkRequest request(call.url);
    request.setTransferTimeout(int(limit.count()));
    // The key goes to the relay's origin only.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::SameOriginRedirectPolicy);
    request.setRawHeader("Content-Type", "application/json");
    request.setRawHeader("Authorization", "Bearer " + key.toUtf8());
    if (protocol == WireProtocol::messages)
        request.setRawHeader("anthropic-version", "2023-06-01");

    QElapsedTimer clock;
    clock.start();
    std::unique_ptr<QNetworkReply, QScopedPointerDeleteLater> reply(m_network.post(request, call.body));
    co_await reply.get();
    answer.roundTrip = std::chrono::milliseconds(clock.elapsed());

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid() || transportFailed(*reply)) {
        answer.verdict = reply->error() == QNetworkReply::OperationCanceledError && !m_closing
            ? ProbeAnswer::Verdict::timedOut
            : ProbeAnswer::Verdict::unreachable;
        answer.message = shownText(networkErrorDescription(*reply, limit));
        co_return answer;
    }
    // The reply of a model call that was accepted is not read: only its status counts.
    const QByteArray body = reply->read(64 * 1024);
    answer.status = status.toInt();
    answer.verdict = verdictOf(answer.status, body);
    // A relay that quotes the key back does not get it onto the screen.
    if (answer.verdict != ProbeAnswer::Verdict::accepted)
        answer.message = relayMessage(body);
    if (!key.isEmpty())
        answer.message.replace(key, QStringLiteral("***"));
    bool whole = false;
    const qint64 seconds = reply->rawHeader("Retry-After").trimmed().toLongLong(&whole);
    if (answer.verdict == ProbeAnswer::Verdict::rateLimited && whole && seconds >= 0)
        answer.retryAfterSeconds = seconds;
    co_return answer;
}
