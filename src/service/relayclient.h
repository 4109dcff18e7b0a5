#pragma once

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

private:
    std::chrono::milliseconds m_timeout;
    // One long-lived manager; replies are released with deleteLater().
    QNetworkAccessManager m_network;
    bool m_closing = false;
};
