#include "platform/transferfailure.h"

#include "platform/platformtexts.h"

#include <QNetworkReply>

bool transportFailed(const QNetworkReply &reply)
{
    const QNetworkReply::NetworkError error = reply.error();
    if (error == QNetworkReply::NoError)
        return false;
    return error < QNetworkReply::ContentAccessDenied || error == QNetworkReply::ProtocolFailure;
}

QString networkErrorDescription(const QNetworkReply &reply, std::chrono::milliseconds timeout)
{
    switch (reply.error()) {
    case QNetworkReply::OperationCanceledError: // nothing else cancels a transfer
    case QNetworkReply::TimeoutError: {
        const auto seconds = std::chrono::duration_cast<std::chrono::duration<double>>(timeout).count();
        return PlatformTexts::timedOut.arg(seconds);
    }
    default:
        return reply.errorString();
    }
}
