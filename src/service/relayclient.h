#pragma once

#include "platform/wireprotocol.h"
#include "service/remote.h"

#include <QByteArray>
#include <QCoro/QCoroTask>
#include <QJsonValue>
#include <QList>
#include <QNetworkAccessManager>
#include <QString>
#include <QUrl>
#include <chrono>
#include <optional>

// A key or session token that passes unchanged through every place it goes: an argument of the
// keyring and launchctl tools (no NUL), the launcher's "$(...)" and the keyring read-back (no
// white space at either end, no line feed), an HTTP header (no control character at all).
bool usableCredential(const QString &credential);

// The account that sign-in synchronised.
struct RemoteAccount
{
    QString name; // the account card's first line
    QString key; // the identity in the Keychain item's name
    QList<RemoteGroup> groups; // in the service's order
};

// How the relay answered one model call made as an agent makes it.
struct ProbeAnswer
{
    enum class Verdict {
        accepted, // 2xx
        keyRefused, // 401, 403
        modelUnknown, // 404, or the relay's "model_not_found"
        rateLimited, // 429
        refused, // any other status
        unreachable, // no HTTP answer: `message` says why
        timedOut, // no progress for the whole limit
    };
    Verdict verdict = Verdict::unreachable;
    int status = 0;
    std::chrono::milliseconds roundTrip {};
    std::optional<qint64> retryAfterSeconds; // 429's Retry-After, in seconds
    QString message; // the relay's own message, or the transfer's failure; shown, never the key
};

// The URL and the body of the smallest model call of `protocol`, as the agent builds them from
// the base URL its files name (".../v1" for Responses and Chat Completions, the root for Messages
// and generateContent): one short user turn and the smallest output limit the protocol accepts.
struct ProbeCall
{
    QUrl url;
    QByteArray body;
};
ProbeCall probeCall(WireProtocol protocol, const QString &baseURL, const QString &model);

// The relay's HTTP API. Every call takes the router URL and the credential it needs as plain
// values and throws ConnectError (the relay's own refusal) or PlatformError (the transfer, the
// JSON); every text and id it returns or throws is one the window can show (shownText()).
// Requests never follow a redirect to another origin: they carry the password, the session
// token or the key.
class RelayClient
{
public:
    explicit RelayClient(std::chrono::milliseconds timeout);
    // Ends every request still in flight (its caller resumes with a failure).
    ~RelayClient();

    // Downloads share the manager; it outlives every reply it made.
    QNetworkAccessManager &network() { return m_network; }

    // One request to the router's scheme, host and port with the absolute `path`; `bearer`,
    // when not empty, as the Authorization. The 2xx body as JSON.
    QCoro::Task<QJsonValue> request(QUrl router, QString path, QByteArray method = "GET",
        std::optional<QByteArray> body = std::nullopt, QString bearer = {});

    // The session token for the e-mail address and password.
    QCoro::Task<QString> signIn(QUrl router, QString email, QString password);
    // The profile and the channel groups of the session.
    QCoro::Task<RemoteAccount> syncAccount(QUrl router, QString token);
    // The dedicated key of `groupID` ("/api/v1/desktop/key", else "/api/v1/keys" where the
    // relay does not offer that route), checked usable.
    QCoro::Task<QString> issueKey(QUrl router, QString token, QString keyName, qint64 groupID);
    // The models that `apiKey` may use.
    QCoro::Task<QList<RemoteModel>> listModels(QUrl router, QString apiKey);

    // One probeCall() with `key`, in the protocol's own authentication, answered within `limit`.
    // Never throws for the relay's answer or the transfer: every outcome is a verdict.
    QCoro::Task<ProbeAnswer> probe(
        WireProtocol protocol, QString baseURL, QString key, QString model, std::chrono::milliseconds limit);

private:
    std::chrono::milliseconds m_timeout;
    // One long-lived manager; replies are released with deleteLater().
    QNetworkAccessManager m_network;
    bool m_closing = false;
};
