#include "platform/connecterror.h"
#include "service/replies.h"
#include "service/routerurl.h"
#include "service/servicetexts.h"
#include "state/connectstate.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

std::optional<QUrl> ConnectState::normalizedRouterURL() const
{
    return normalizeRouterURL(m_routerURL);
}

void ConnectState::login()
{
    if (!admitWhileBusy(Operation::login))
        return;
    const std::optional<QUrl> router = normalizedRouterURL();
    if (!router) {
        setActivity(ServiceTexts::invalidRouter);
        return;
    }
    // A password of blanks is a password; an address of blanks is none.
    if (m_username.trimmed().isEmpty() || m_password.isEmpty()) {
        setActivity(ServiceTexts::credentialsMissing);
        return;
    }
    beginBusy(ServiceTexts::signingIn);
    loginTask(*router);
}

QCoro::Task<> ConnectState::loginTask(QUrl router)
{
    auto scope = busyScope();
    QPointer<ConnectState> self(this);
    try {
        co_await loginRemote(router);
        if (!self)
            co_return;
        const RemoteSnapshot snapshot = co_await syncAccount(router);
        if (!self)
            co_return;

        setModels(snapshot.models);
        const bool listed = std::any_of(m_models.cbegin(), m_models.cend(),
            [this](const RemoteModel &model) { return model.id == m_selectedModel; });
        if (!listed && !m_models.isEmpty())
            setSelectedModel(m_models.first().id);
        setAccountName(snapshot.accountName);
        setAccountDetail(snapshot.accountDetail);
        setPassword(QString());
        setAuthenticated(true);
        setActivity(ServiceTexts::signedIn);
    } catch (...) {
        if (!self)
            co_return;
        setAuthenticated(false);
        setActivity(ServiceTexts::loginFailed + describe(std::current_exception()));
    }
}

QCoro::Task<> ConnectState::loginRemote(QUrl router)
{
    QPointer<ConnectState> self(this);
    const QJsonObject credentials { { QStringLiteral("email"), m_username.trimmed() },
        { QStringLiteral("password"), m_password } };
    const QJsonValue reply = co_await request(router, QStringLiteral("/api/v1/auth/login"), "POST",
        QJsonDocument(credentials).toJson(QJsonDocument::Compact), false);
    if (!self)
        co_return;

    const QJsonValue payload = unwrap(reply);
    const QJsonValue token = payload.toObject().value(QStringLiteral("access_token"));
    if (payload.isObject() && token.isString() && !token.toString().isEmpty()) {
        m_accessToken = token.toString();
        co_return;
    }
    const QJsonValue message = payload.toObject().value(QStringLiteral("message"));
    throw ConnectError(message.isString() ? message.toString() : ServiceTexts::wrongCredentials);
}

QCoro::Task<RemoteSnapshot> ConnectState::syncAccount(QUrl router)
{
    QPointer<ConnectState> self(this);
    const QJsonValue profileReply = co_await request(router, QStringLiteral("/api/v1/auth/me"));
    if (!self)
        co_return RemoteSnapshot {};
    const QJsonValue groupsReply = co_await request(router, QStringLiteral("/api/v1/groups/available"));
    if (!self)
        co_return RemoteSnapshot {};

    setGroups(parseGroups(groupsReply));
    setSelectedGroupID(std::nullopt);
    if (m_groups.isEmpty())
        throw ConnectError(ServiceTexts::noGroups);

    const QString accountName = profileAccountName(profileReply);
    m_accountKey = profileAccountKey(profileReply, accountName);
    co_return RemoteSnapshot { accountName, syncedAccountDetail(m_groups.size()), m_models };
}

QList<RemoteGroup> ConnectState::parseGroups(const QJsonValue &value)
{
    return parseGroupList(value);
}

QList<RemoteModel> ConnectState::parseModels(const QJsonValue &value)
{
    return parseModelList(value);
}
