#include "service/connecterror.h"
#include "state/connectstate.h"

std::optional<QUrl> ConnectState::normalizedRouterURL() const
{
    return std::nullopt;
}

void ConnectState::login()
{
}

QCoro::Task<> ConnectState::loginTask(QUrl)
{
    co_return;
}

QCoro::Task<> ConnectState::loginRemote(QUrl)
{
    co_return;
}

QCoro::Task<RemoteSnapshot> ConnectState::syncAccount(QUrl)
{
    co_return RemoteSnapshot {};
}

QList<RemoteGroup> ConnectState::parseGroups(const QJsonValue &)
{
    return {};
}

QList<RemoteModel> ConnectState::parseModels(const QJsonValue &)
{
    return {};
}

QString RemoteGroup::displayName() const
{
    return name;
}
