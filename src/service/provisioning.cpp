#include "service/connecterror.h"
#include "state/connectstate.h"

void ConnectState::configureCodexFromAccount()
{
}

QCoro::Task<> ConnectState::configureCodexTask(QUrl)
{
    co_return;
}

QCoro::Task<QString> ConnectState::resolveCodexToken(QUrl)
{
    co_return QString();
}

QCoro::Task<QList<RemoteModel>> ConnectState::loadModels(QUrl, QString)
{
    co_return QList<RemoteModel> {};
}
