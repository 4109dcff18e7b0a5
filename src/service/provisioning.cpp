#include "platform/connecterror.h"
#include "service/keychain.h"
#include "service/provisioningtexts.h"
#include "state/connectstate.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

namespace {

const QString desktopKeyPath = QStringLiteral("/api/v1/desktop/key");
const QString keysPath = QStringLiteral("/api/v1/keys");
const QString modelsPath = QStringLiteral("/v1/models");

// {"name": …, "group_id": …}, compact.
QByteArray keyRequestBody(const QString &tokenName, qint64 groupID)
{
    const QString name = tokenName.trimmed().isEmpty() ? ProvisioningTexts::fallbackTokenName : tokenName;
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

// A key that passes unchanged through every place it goes: an argument of the keyring and
// launchctl tools (no NUL), the launcher's "$(...)" and the keyring read-back (no white space
// at either end, no line feed), an HTTP header (no control character at all).
bool usableKey(const QString &key)
{
    if (key.isEmpty() || key != key.trimmed())
        return false;
    return std::none_of(key.cbegin(), key.cend(), [](QChar c) {
        return c.category() == QChar::Other_Control || c == QChar::LineSeparator
            || c == QChar::ParagraphSeparator;
    });
}

// The relay does not offer the route or the method.
bool routeMissing(const ConnectError &error)
{
    return error.message().contains(QStringLiteral("404")) || error.message().contains(QStringLiteral("405"));
}

// The state went away while a request was in flight; nobody is left to report to.
class StateGone : public std::exception
{
};

} // namespace

void ConnectState::setTokenName(const QString &value)
{
    m_tokenName = value;
    Q_EMIT tokenNameChanged();
}

void ConnectState::configureCodexFromAccount()
{
    if (!admitWhileBusy(Operation::configureCodex))
        return;
    const std::optional<QUrl> router = normalizedRouterURL();
    if (!m_authenticated || !router) {
        setActivity(ProvisioningTexts::signInFirst);
        return;
    }
    if (!m_selectedGroupID) {
        setActivity(ProvisioningTexts::chooseGroupFirst);
        return;
    }
    beginBusy(ProvisioningTexts::configuringCodex);
    configureCodexTask(*router);
}

QCoro::Task<> ConnectState::configureCodexTask(QUrl router)
{
    auto scope = busyScope();
    QPointer<ConnectState> self(this);
    try {
        const QString key = co_await resolveCodexToken(router);
        if (!self)
            co_return;

        std::optional<QList<RemoteModel>> listed;
        try {
            listed = co_await loadModels(router, key);
        } catch (const StateGone &) {
            co_return;
        } catch (...) {
            // Without the key's model list the current list and selection stay.
        }
        if (!self)
            co_return;
        if (listed && !listed->isEmpty()) {
            setModels(*listed);
            const bool selectionListed = std::any_of(m_models.cbegin(), m_models.cend(),
                [this](const RemoteModel &model) { return model.id == m_selectedModel; });
            if (!selectionListed)
                setSelectedModel(m_models.first().id);
        }

        configureCodex(router, key);
        setCodexConnected(true);
        setActivity(ProvisioningTexts::codexConfigured);
    } catch (const StateGone &) {
        co_return;
    } catch (...) {
        if (self)
            setActivity(ProvisioningTexts::codexFailurePrefix + describe(std::current_exception()));
    }
}

QCoro::Task<QString> ConnectState::resolveCodexToken(QUrl router)
{
    if (!m_selectedGroupID)
        throw ConnectError(ProvisioningTexts::groupMissing);
    const qint64 groupID = *m_selectedGroupID;
    m_activeKeychainService = Keychain::keychainService(router, m_accountKey, groupID);

    try {
        const QString stored = loadKey();
        // An unusable item (stored by hand, say) is replaced by the relay's key.
        if (usableKey(stored))
            co_return stored;
    } catch (const Failure &) {
        // No item (or an unreadable one): the relay issues the key.
    }

    QPointer<ConnectState> self(this);
    const QByteArray body = keyRequestBody(m_tokenName, groupID);
    QJsonValue reply;
    bool fallBack = false;
    try {
        reply = co_await request(router, desktopKeyPath, "POST", body);
    } catch (const ConnectError &error) {
        if (!routeMissing(error))
            throw;
        fallBack = true;
    }
    if (!self)
        throw StateGone();
    if (fallBack) {
        reply = co_await request(router, keysPath, "POST", body);
        if (!self)
            throw StateGone();
    }

    const QString key = keyFromPayload(unwrap(reply));
    if (key.isEmpty())
        throw ConnectError(ProvisioningTexts::keyMissing);
    if (!usableKey(key))
        throw ConnectError(ProvisioningTexts::keyUnusable);
    storeKey(key);
    co_return key;
}

QCoro::Task<QList<RemoteModel>> ConnectState::loadModels(QUrl router, QString apiKey)
{
    QPointer<ConnectState> self(this);
    const QJsonValue reply = co_await request(router, modelsPath, "GET", std::nullopt, true, apiKey);
    if (!self)
        throw StateGone();
    co_return parseModels(reply);
}
