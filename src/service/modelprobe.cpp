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
#include <QTimer>
#include <memory>

namespace {

const QString probeText = QStringLiteral("ping");

// The most of a refusal's body that is read: its message is near the start.
constexpr qint64 probeBodyLimit = 64 * 1024;

QJsonObject userTurn()
{
    return { { QStringLiteral("role"), QStringLiteral("user") }, { QStringLiteral("content"), probeText } };
}

// The relay's message: {"error": {"message"}} as the model APIs answer, else {"message"}; the
// key masked wherever the relay quotes it.
QString relayMessage(const QByteArray &body, const QString &key)
{
    const QJsonObject object = QJsonDocument::fromJson(body).object();
    const QJsonValue error = object.value(QStringLiteral("error"));
    const QJsonValue message = error.isObject() ? error.toObject().value(QStringLiteral("message"))
                                                : object.value(QStringLiteral("message"));
    return message.isString() ? shownText(message.toString(), key) : QString();
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
    QNetworkReply *const raw = reply.get();
    // The answer is decided by the status and the headers: an accepted call's body is not read,
    // a refusal's at most up to probeBodyLimit, and the whole call ends at `limit` however
    // slowly the relay sends. Shared: the reply outlives this frame until its deferred deletion.
    const auto decided = std::make_shared<bool>(false);
    raw->setReadBufferSize(probeBodyLimit);
    const auto stopWhenDecided = [raw, decided] {
        const QVariant status = raw->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (*decided || raw->isFinished() || !status.isValid())
            return;
        const int code = status.toInt();
        if (code >= 300 && code <= 399)
            return; // a redirect: followed or refused by Qt
        if ((code >= 200 && code <= 299) || raw->bytesAvailable() >= probeBodyLimit) {
            *decided = true;
            // Not from inside the reply's signal: the task resumes on `finished`.
            QMetaObject::invokeMethod(raw, &QNetworkReply::abort, Qt::QueuedConnection);
        }
    };
    QObject::connect(raw, &QNetworkReply::metaDataChanged, raw, stopWhenDecided);
    QObject::connect(raw, &QNetworkReply::readyRead, raw, stopWhenDecided);
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, raw, &QNetworkReply::abort);
    deadline.start(limit);
    co_await raw;
    deadline.stop();
    answer.roundTrip = std::chrono::milliseconds(clock.elapsed());

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const bool stopped = reply->error() == QNetworkReply::OperationCanceledError && !m_closing;
    const bool answered = status.isValid() && (status.toInt() < 300 || status.toInt() > 399)
        && (stopped || !transportFailed(*reply));
    if (!answered) {
        answer.verdict = stopped ? ProbeAnswer::Verdict::timedOut : ProbeAnswer::Verdict::unreachable;
        answer.message = shownText(networkErrorDescription(*reply, limit), key);
        co_return answer;
    }
    // An accepted call was aborted, which closes the reply: nothing of it is read.
    const QByteArray body = reply->isOpen() ? reply->read(probeBodyLimit) : QByteArray();
    answer.status = status.toInt();
    answer.verdict = verdictOf(answer.status, body);
    // A relay that quotes the key back does not get it onto the screen.
    if (answer.verdict != ProbeAnswer::Verdict::accepted)
        answer.message = relayMessage(body, key);
    bool whole = false;
    const qint64 seconds = reply->rawHeader("Retry-After").trimmed().toLongLong(&whole);
    if (answer.verdict == ProbeAnswer::Verdict::rateLimited && whole && seconds >= 0)
        answer.retryAfterSeconds = seconds;
    co_return answer;
}
