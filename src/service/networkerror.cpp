#include "service/networkerror.h"

#include <QNetworkReply>

QString networkErrorDescription(const QNetworkReply &reply, std::chrono::milliseconds timeout)
{
    switch (reply.error()) {
    case QNetworkReply::OperationCanceledError: // nothing else cancels a transfer
    case QNetworkReply::TimeoutError: {
        const auto seconds = std::chrono::duration_cast<std::chrono::duration<double>>(timeout).count();
        return QStringLiteral("请求超时：服务器 %1 秒内没有响应").arg(seconds);
    }
    default:
        return reply.errorString();
    }
}
