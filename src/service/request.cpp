#include "service/connecterror.h"
#include "state/connectstate.h"

QCoro::Task<QJsonValue> ConnectState::request(
    QUrl, QString, QByteArray, std::optional<QByteArray>, bool, std::optional<QString>)
{
    throw ConnectError(QStringLiteral("not built yet"));
    co_return QJsonValue();
}

QJsonValue ConnectState::unwrap(const QJsonValue &value)
{
    return value;
}
